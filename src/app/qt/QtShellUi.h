#pragma once

#include "app/ShellUi.h"

#include <QIcon>
#include <QPointer>

#include <memory>

class QMenu;
class QMessageBox;
class QSystemTrayIcon;

namespace sm {

// The shell's UI on Qt Widgets: a tray icon with its menu, the About box and the alert.
class QtShellUi final : public ShellUi {
public:
    // Set in the environment (milliseconds), alerts close themselves after being shown: lets tests
    // run a second copy without a person to press OK.
    static inline const char* kAutoDismissVariable = "SPACEMARQUEE_TEST_DISMISS_ALERTS_MS";

    QtShellUi();
    ~QtShellUi() override;

    static QIcon appIcon();

    bool installStatusMenu(const QList<MenuEntry>& entries, std::function<void()> onMenuWillOpen,
                           std::function<void(QString)> onAction) override;
    void setMenuItemHidden(const QString& identifier, bool hidden) override;
    void setSubmenu(const QString& identifier, const QList<MenuChoice>& choices) override;
    void showAbout(const AboutCredits& credits) override;
    void showAlert(const QString& message, const QString& informativeText) override;
    bool openUrl(const QUrl& url) override;
    void quit() override;

    QMenu* menu() const { return menu_.get(); }

private:
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::function<void(QString)> onAction_;
    QPointer<QMessageBox> alert_; // while showAlert waits for the user
};

} // namespace sm
