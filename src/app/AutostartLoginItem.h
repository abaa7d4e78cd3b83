#pragma once

#include "logging/Logger.h"
#include "platform/LoginItem.h"

#include <QUrl>

#include <functional>

namespace sm {

// The login item as a freedesktop autostart entry, "<autostart dir>/spacemarquee.desktop". Desktops
// that let the user switch an entry off write Hidden=true or X-GNOME-Autostart-enabled=false into it;
// that is the one state only the user changes back, so it reads as requiresApproval.
class AutostartLoginItem final : public LoginItemControlling {
public:
    static inline const QString kFileName = QStringLiteral("spacemarquee.desktop");
    static inline const QString kLoginItemFlag = QStringLiteral("--login-item");

    struct Options {
        QString directory;  // usually ~/.config/autostart
        QString executable; // absolute path of the program the entry starts
        Logger logger;      // the app logger
        std::function<bool(const QUrl&)> openUrl;
        // Starts a program detached (the desktop's startup-programs settings); false when it could not.
        std::function<bool(const QString& program, const QStringList& arguments)> startProgram;
        QString currentDesktop; // XDG_CURRENT_DESKTOP: names separated by colons
    };

    explicit AutostartLoginItem(Options options);
    // "$XDG_CONFIG_HOME/autostart", else "~/.config/autostart".
    static QString standardDirectory();
    // The entry as this program writes it.
    static QString entryText(const QString& executable);
    // What an entry with this text means, once the executable check is answered.
    static LoginItemStatus statusOf(const QString& text,
                                    const std::function<bool(const QString&)>& programExists);

    LoginItemStatus status() const override;
    LoginItemCallOutcome registerItem() override;
    LoginItemCallOutcome unregisterItem() override;
    // The desktop's own settings for programs started at login, where the desktop is known and has
    // such a program (the command: program first); empty elsewhere.
    static QStringList sessionSettingsCommand(const QString& currentDesktop);
    // Opens the desktop's startup-programs settings where there are some installed; else the autostart
    // folder in the file manager, which every desktop reads.
    void openSettings() override;

    QString filePath() const;

private:
    LoginItemCallOutcome finish(LoginItemOperation operation, LoginItemStatus before, int code,
                                const QString& error);

    Options options_;
};

} // namespace sm
