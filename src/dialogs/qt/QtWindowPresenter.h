#pragma once

#include "dialogs/WindowPresenter.h"

#include <QPointer>

#include <memory>

namespace sm {

class PreferencesWindow;
class SwitcherWindow;
class WelcomeWindow;

// The windows on Qt Widgets. Each is made when it is shown and destroyed when it is closed: a tray
// utility's windows are opened now and then, and a kept one would hold its memory all the while.
// Showing an open one again brings it to the front.
class QtWindowPresenter final : public WindowPresenter {
public:
    QtWindowPresenter();
    ~QtWindowPresenter() override;

    void showPreferences(const std::shared_ptr<PreferencesViewModel>& model) override;
    void showWelcome() override;
    void showWelcomeWithoutTray() override;
    bool showSwitcher(const std::shared_ptr<SwitcherViewModel>& model, std::function<void(int)> onGo) override;

    // None while closed.
    PreferencesWindow* preferencesWindow() const;
    WelcomeWindow* welcomeWindow() const;
    SwitcherWindow* switcherWindow() const;

private:
    void showWelcome(bool trayAvailable);

    QPointer<PreferencesWindow> preferences_;
    QPointer<WelcomeWindow> welcome_;
    QPointer<SwitcherWindow> switcher_;
};

} // namespace sm
