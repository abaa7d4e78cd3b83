#include "app/Manual.h"

#include <QByteArrayList>

namespace sm::manual {

const char* const kPurpose = "names virtual desktops and shows each name as a floating label";
const char* const kStarting = "Without a command it starts; started again while it runs, it opens Preferences";
const char* const kLinkForms =
    "A space or a letter typed as it is means itself; a stray % must be written %25. When no copy runs, "
    "a link starts Spacemarquee, which carries the command out once it knows the desktop on screen; a "
    "link it would refuse starts nothing and fails at once";

namespace {

const Entry commands[] = {
    {"name TITLE", "name the current desktop (starts Spacemarquee when it is not running)",
     "TITLE is at most 1024 bytes of UTF-8 without control characters; quote it when it has spaces. "
     "The answer comes once the name is saved"},
    {"clear", "remove the current desktop's label (starts it too)"},
    {"go NAME", "go to the desktop named NAME (starts it too)",
     "The exact name, else any case, else a unique beginning. A name that means several desktops "
     "exits 2 and lists them; the answer comes once the desktop is on screen, or after 2 seconds "
     "with the reason"},
    {"edit", "rename the current desktop in place, from the keyboard (starts it too)",
     "Opens the label's editor with the keyboard; a desktop without a label gets one"},
    {"switch", "pick a named desktop from the keyboard and go there (starts it too)",
     "Opens a small window in the middle of the screen: type to narrow the names, Up and Down to "
     "choose, Enter to go, Escape to close. For a keyboard shortcut"},
    {"list [--json]", "every label: desktop, screen, whether you named it, last seen, title",
     "One label a line, tab-separated, - for what is unknown. With --json one JSON document "
     "{\"version\":1,\"tags\":[...]} for programs; fields are only ever added. Needs a running copy"},
    {"preferences", "open Preferences (starts Spacemarquee when it is not running)"},
    {"report", "open the problem report (starts it too)"},
    {"quit", "quit the running copy", "Answered once the quit has begun; fails when no copy runs"},
};

const Entry links[] = {
    {"spacemarquee://set-current-tag?title=NAME", "the same as name NAME, as a link carries it"},
    {"spacemarquee://clear-current-tag", "the same as clear, as a link carries it"},
    {"spacemarquee://go?title=NAME", "the same as go NAME, as a link carries it"},
};

const Entry options[] = {
    {"--help", "print the commands and what they do"},
    {"--version", "print the version"},
    {"--login-item", "start as the launch-at-login entry does",
     "Written into the autostart entry; without it a start while a copy runs opens that copy's "
     "Preferences"},
};

const Entry exitStatus[] = {
    {"0", "done"},
    {"1", "failed (the reason on standard error)",
     "Also for a change the disk refused: it shows for this session, and the answer says "
     "\"applied for this session, not saved\" with the system's reason"},
    {"2", "not a command, or a name that means several desktops"},
};

const Entry files[] = {
    {"$XDG_CONFIG_HOME/spacemarquee/",
     "the names of the desktops, their labels' places and the settings (~/.config/spacemarquee/ "
     "by default)",
     "Written atomically; a file that cannot be read is kept aside next to it, never silently "
     "replaced. Removing the package leaves it alone"},
    {"$XDG_CONFIG_HOME/autostart/spacemarquee.desktop",
     "the launch-at-login entry, written at the first start",
     "Delete it, or switch it off in the desktop's session settings, to stop starting at login"},
    {"$XDG_RUNTIME_DIR/spacemarquee/",
     "the socket the running copy takes commands on, and the diagnostics log when it is enabled "
     "(/tmp/spacemarquee-UID/ without a usable runtime directory)"},
};

const Entry environment[] = {
    {"DISPLAY", "the X11 display whose desktops are named"},
    {"SWAYSOCK", "sway's IPC socket; when sway answers on it, its workspaces are named instead"},
    {"WAYLAND_DISPLAY", "the Wayland display the labels are shown on under sway"},
    {"XDG_CONFIG_HOME", "where the settings and the autostart entry are kept"},
    {"XDG_RUNTIME_DIR", "where the command socket and the diagnostics log are kept"},
    {"XDG_CURRENT_DESKTOP", "which desktop's session settings the launch-at-login entry is opened in"},
    {"LANGUAGE, LC_ALL, LC_MESSAGES, LANG", "the language of the windows and the menus, when a "
                                            "translation is installed"},
};

QByteArray sentence(const char* text) {
    QByteArray s(text);
    if (!s.isEmpty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s + '.';
}

// Roff: a backslash is \e, a dash that starts a word (every dash, in a term) is a minus (\-), a line
// may not start with a dot or an apostrophe.
QByteArray roff(const QByteArray& text, bool term = false) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && (term || i == 0 || text[i - 1] == ' ' || text[i - 1] == '-' || text[i - 1] == '['))
            out += "\\-";
        else
            out += c;
    }
    if (out.startsWith('.') || out.startsWith('\'')) out.prepend("\\&");
    return out;
}

// The term's first word bold, its placeholders (words in capitals) in italics.
QByteArray roffTerm(const char* term) {
    QByteArrayList words = QByteArray(term).split(' ');
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray& w = words[i];
        const bool placeholder = i > 0 && !w.isEmpty() && w == w.toUpper() && w.front() >= 'A' && w.front() <= 'Z';
        words[i] = (placeholder ? "\\fI" : "\\fB") + roff(w, true) + "\\fR";
    }
    return words.join(' ');
}

void section(QByteArray& page, const char* title, std::span<const Entry> entries) {
    page += ".SH " + QByteArray(title) + "\n";
    for (const Entry& e : entries) {
        page += ".TP\n" + roffTerm(e.term) + "\n" + roff(sentence(e.text)) + "\n";
        if (e.more) page += roff(sentence(e.more)) + "\n";
    }
}

} // namespace

const std::span<const Entry> kCommands = commands;
const std::span<const Entry> kLinks = links;
const std::span<const Entry> kOptions = options;
const std::span<const Entry> kExitStatus = exitStatus;
const std::span<const Entry> kFiles = files;
const std::span<const Entry> kEnvironment = environment;

QByteArray usage() {
    constexpr qsizetype kColumn = 22;
    const auto list = [](QByteArray& out, std::span<const Entry> entries, const char* quote) {
        for (const Entry& e : entries) {
            const QByteArray term = "  " + QByteArray(quote) + e.term + quote;
            out += term.size() < kColumn ? term.leftJustified(kColumn, ' ')
                                         : term + '\n' + QByteArray(kColumn, ' ');
            out += QByteArray(e.text) + '\n';
        }
    };
    QByteArray out = "Usage: spacemarquee [COMMAND]\n" + sentence(kPurpose) + "\n\n" + sentence(kStarting) +
                     "\nCommands, answered by the running copy:\n";
    list(out, kCommands, "");
    list(out, kLinks, "'");
    list(out, kOptions, "");
    QByteArrayList statuses;
    for (const Entry& e : kExitStatus)
        statuses << QByteArray(e.term) + ' ' + e.text;
    return out + "\nExit status: " + statuses.join(", ") + ".\n";
}

QByteArray manPage(const char* version) {
    QByteArray page = ".TH SPACEMARQUEE 1 \"\" \"Spacemarquee " + QByteArray(version) + "\" \"User Commands\"\n";
    page += ".SH NAME\nspacemarquee \\- " + roff(kPurpose) + "\n";
    page += ".SH SYNOPSIS\n.B spacemarquee\n.RI [ COMMAND ]\n";
    page += ".SH DESCRIPTION\n" + roff(sentence(kPurpose)) + "\n.PP\n" + roff(sentence(kStarting)) + "\n";
    page += ".PP\nEvery command is answered by the running copy, over a socket only you can reach.\n";
    section(page, "COMMANDS", kCommands);
    section(page, "LINKS", kLinks);
    page += ".PP\n" + roff(sentence(kLinkForms)) + "\n";
    section(page, "OPTIONS", kOptions);
    section(page, "EXIT STATUS", kExitStatus);
    section(page, "ENVIRONMENT", kEnvironment);
    section(page, "FILES", kFiles);
    page += ".SH SEE ALSO\n.BR xdg\\-open (1)\n";
    return page;
}

} // namespace sm::manual
