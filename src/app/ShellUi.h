#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

namespace sm {

// One row of the tray menu. Shortcuts use QKeySequence's portable text ("Ctrl+Q").
struct MenuEntry {
    enum class Kind { action, separator, submenu }; // a submenu is filled by setSubmenu as the menu opens
    Kind kind = Kind::action;
    QString title;
    QString action; // what MenuBarItem::perform receives
    QString shortcut;
    QString identifier;
    bool enabled = true;

    bool operator==(const MenuEntry&) const = default;
};

// One item of a submenu filled as the menu opens; with `more`, itself a submenu of those.
struct MenuChoice {
    QString title;
    QString action; // what MenuBarItem::perform receives
    bool checked = false;
    QList<MenuChoice> more;
};

// Written out: a defaulted comparison cannot see through the list of its own type.
inline bool operator==(const MenuChoice& a, const MenuChoice& b) {
    return a.title == b.title && a.action == b.action && a.checked == b.checked && a.more == b.more;
}

// The About window's credits, below the program's name and version.
struct AboutCredits {
    QString text; // plain text, line feeds kept
    QString linkText;
    QUrl link;
};

// The program's own windows and its tray icon, behind an interface so the wiring runs headless.
class ShellUi {
public:
    virtual ~ShellUi() = default;

    // Installs the tray icon and its menu; false when the desktop has no system tray.
    virtual bool installStatusMenu(const QList<MenuEntry>& entries, std::function<void()> onMenuWillOpen,
                                   std::function<void(QString action)> onAction) = 0;
    virtual void setMenuItemHidden(const QString& identifier, bool hidden) = 0;
    // Replaces what the submenu entry `identifier` holds.
    virtual void setSubmenu(const QString& identifier, const QList<MenuChoice>& choices) = 0;
    virtual void showAbout(const AboutCredits& credits) = 0;
    // Modal warning with one "OK" button; returns once the user dismissed it.
    virtual void showAlert(const QString& message, const QString& informativeText) = 0;
    virtual bool openUrl(const QUrl& url) = 0;
    // Ends the main loop (and an alert being shown); the termination sequence runs after it.
    virtual void quit() = 0;
};

} // namespace sm
