#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace sm {

// What the words after `spacemarquee` ask for. Every command but running the program itself is
// answered by the running copy over its private socket, one request line per connection: a
// "spacemarquee://" URL for the commands links can carry too, or "list 1" / "list-json 1" (the verb
// and the version of its reply's format) for the tag list, which comes back after the "ok" line.
struct CommandLine {
    enum class Action {
        run,     // start the program (loginItem: as the autostart entry does)
        help,    // print manual::usage(), exit 0
        version, // print the version, exit 0
        send,    // hand `requests` to the running copy
        usage,   // words that are no command: `message`, then exit 2
        invalid, // a command with an argument we refuse: `message`, then exit 1
    };

    static constexpr qsizetype kMaxTitleBytes = 1024;
    static inline const QByteArray kListRequest = "list 1";
    static inline const QByteArray kListJsonRequest = "list-json 1";
    // The windows a session without a tray has no other way to open, and the orderly quit.
    static inline const QByteArray kPreferencesRequest = "preferences";
    static inline const QByteArray kReportRequest = "report";
    static inline const QByteArray kQuitRequest = "quit";
    // The in-place editor on the current desktop's label, for a keyboard shortcut.
    static inline const QByteArray kEditRequest = "edit";
    // The quick switcher, for a keyboard shortcut.
    static inline const QByteArray kSwitchRequest = "switch";
    // How the running copy answers a command it carried out but could not save, before the reason.
    static constexpr char kNotSaved[] = "applied for this session, not saved: ";
    // How it refuses a go: NAME means several desktops (exit 2, their list follows), or it cannot go
    // (exit 1, the reason follows).
    static constexpr char kAmbiguousName[] = "several desktops match: ";
    static constexpr char kCannotGo[] = "cannot go: ";

    Action action = Action::run;
    bool loginItem = false;
    QList<QByteArray> requests;
    // Whether a missing copy is started to carry the requests out (name, clear, go, edit, switch, links,
    // preferences and report; not list or quit).
    bool startsProgram = false;
    QString message;

    // `arguments` without the program's own name, as the bytes the shell passed.
    static CommandLine parse(const QList<QByteArray>& arguments);
};

} // namespace sm
