#include "autoname/TitleDerivation.h"

#include "logging/TraceFormat.h"

#include <QRegularExpression>

namespace sm::TitleDerivation {

namespace {

const QChar kTitleSeparator(0x2014); // em dash

QString trimmed(const QString& text) {
    return text.trimmed(); // QChar::isSpace: Unicode white space and line breaks
}

} // namespace

const QSet<QString>& terminalApplicationIds() {
    static const QSet<QString> ids = {
        // The macOS terminals by bundle identifier.
        QStringLiteral("com.apple.Terminal"), QStringLiteral("com.googlecode.iterm2"),
        QStringLiteral("com.mitchellh.ghostty"), // also Ghostty's GTK application id on Linux
        QStringLiteral("dev.warp.Warp-Stable"), QStringLiteral("co.zeit.hyper"),
        QStringLiteral("io.alacritty"), QStringLiteral("net.kovidgoyal.kitty"),
        QStringLiteral("com.github.wez.wezterm"), QStringLiteral("io.eugeny.tabby"),
        // Linux terminals by the id the X11 workspace reports (_GTK_APPLICATION_ID, else
        // _KDE_NET_WM_DESKTOP_FILE, else the WM_CLASS class). "seen" means read with xprop from the
        // Debian 12 package's own window on Xvfb + openbox; "package" means taken from the package's
        // files without running it.
        QStringLiteral("XTerm"),              // xterm 379-1, seen (WM_CLASS "xterm", "XTerm")
        QStringLiteral("UXTerm"),             // xterm 379-1 as uxterm, seen (WM_CLASS "xterm", "UXTerm")
        QStringLiteral("URxvt"),              // rxvt-unicode 9.30-2, seen (WM_CLASS "urxvt", "URxvt")
        QStringLiteral("Lxterminal"),         // lxterminal 0.4.0-2, seen
        QStringLiteral("Mate-terminal"),      // mate-terminal 1.26.0-2, seen: no GTK application id
        QStringLiteral("Xfce4-terminal"),     // xfce4-terminal 1.0.4-1, seen: no GTK application id
        QStringLiteral("Terminator"),         // terminator 2.1.2-2, seen
        QStringLiteral("com.gexperts.Tilix"), // tilix 1.9.5-2, seen (_GTK_APPLICATION_ID)
        QStringLiteral("Alacritty"),          // alacritty 0.11.0-4, seen (WM_CLASS "Alacritty", "Alacritty")
        QStringLiteral("kitty"),              // kitty 0.26.5-5, seen (WM_CLASS "kitty", "kitty")
        QStringLiteral("qterminal"),          // qterminal 1.2.0-2, seen (WM_CLASS "qterminal", "qterminal")
        // gnome-terminal 3.46.8-1, package: its server is the GtkApplication "org.gnome.Terminal"
        // (the string in the binary, and org.gnome.Terminal.desktop).
        QStringLiteral("org.gnome.Terminal"),
        // konsole 22.12.3, package: KDE programs name their desktop file (org.kde.konsole.desktop) in
        // _KDE_NET_WM_DESKTOP_FILE.
        QStringLiteral("org.kde.konsole"),
        // wezterm is not packaged by Debian 12; its documented default X11 class, unverified here.
        QStringLiteral("org.wezfurlong.wezterm"),
        // foot (1.13.1-2) draws on Wayland only: on sway its app_id, "foot" by default ("footclient" for
        // the client of its server), as its manual gives; package.
        QStringLiteral("foot"), QStringLiteral("footclient"),
    };
    return ids;
}

bool isTerminal(const QString& applicationId) {
    return terminalApplicationIds().contains(applicationId);
}

std::optional<QString> frontWindowTitle(const Workspace& workspace, qint64 processId) {
    const auto windows = workspace.onScreenWindows();
    if (!windows) return std::nullopt;
    for (const auto& window : *windows) {
        // An unknown owner (0) never stands for the process: that would pick a stranger's window.
        if (!window.ownerProcessId || *window.ownerProcessId == 0 || *window.ownerProcessId != processId)
            continue;
        if (window.layer != Workspace::kNormalWindowLayer) continue;
        if (!window.title || window.title->isEmpty()) continue;
        return window.title;
    }
    return std::nullopt;
}

QString cleanWindowTitle(const QString& raw, const QString& fallback) {
    QString text = trimmed(raw);
    if (text.isEmpty()) return fallback;
    if (const qsizetype dash = text.indexOf(kTitleSeparator); dash >= 0) {
        text = trimmed(text.left(dash));
        if (text.isEmpty()) return fallback;
    }
    static const QRegularExpression prompt(QStringLiteral("^[^@\\s]+@[^:\\s]+\\s*:\\s*"),
                                           QRegularExpression::UseUnicodePropertiesOption);
    if (const auto match = prompt.match(text); match.hasMatch()) text.remove(0, match.capturedLength());
    if (text.contains(QLatin1Char('/'))) {
        static const QRegularExpression pathSplit(QStringLiteral("[/ ()]"));
        QStringList pieces = text.split(pathSplit, Qt::SkipEmptyParts);
        pieces.removeAll(QStringLiteral("~"));
        if (!pieces.isEmpty()) text = pieces.last();
    }
    return text.isEmpty() ? fallback : text;
}

QString capped(const QString& title) {
    if (title.size() <= kMaxTitleLength) return title;
    qsizetype cut = kMaxTitleLength - 1; // room for the ellipsis
    if (title.at(cut).isLowSurrogate()) --cut;
    return title.left(cut) + QChar(0x2026);
}

std::optional<QString> deriveTitle(const Workspace& workspace, std::optional<WindowNameGuessing> storeLevel,
                                   const Logger& logger) {
    const auto app = workspace.frontmostApplication();
    if (!app) return std::nullopt;
    const QString& applicationId = app->applicationId;
    const QString& name = app->localizedName;
    const bool terminal = isTerminal(applicationId);

    const WindowNameGuessing level = storeLevel.value_or(WindowNameGuessing::off);
    std::optional<QString> windowTitle;
    bool titlesReadable = false;
    if (level == WindowNameGuessing::anyApp) {
        windowTitle = frontWindowTitle(workspace, app->processId);
        titlesReadable = workspace.canReadWindowTitles();
    }
    SM_TRACE(
        logger,
        QStringLiteral("autoTag.derive level=%1 bundle=%2 app='%3' isTerminal=%4 terminalTitle=nil "
                       "anyWindowTitle=%5 sr=%6")
            .arg(QString::number(rawValue(level)), applicationId, name, tracefmt::boolean(terminal),
                 windowTitle ? QLatin1Char('\'') + *windowTitle + QLatin1Char('\'') : QStringLiteral("nil"),
                 tracefmt::boolean(titlesReadable)));

    if (applicationId == workspace.ownApplicationId()) return std::nullopt;
    if (level == WindowNameGuessing::off) return std::nullopt;
    if (level == WindowNameGuessing::anyApp && titlesReadable && windowTitle && !windowTitle->isEmpty())
        return capped(cleanWindowTitle(*windowTitle, name));
    if (terminal) return capped(name);
    return std::nullopt;
}

} // namespace sm::TitleDerivation
