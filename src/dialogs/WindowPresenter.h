#pragma once

#include <functional>
#include <memory>

namespace sm {

class PreferencesViewModel;
class SwitcherViewModel;

// Puts the program's windows on screen. The controllers decide what to show; an implementation
// decides how (Qt Widgets in the program, a recorder in tests).
class WindowPresenter {
public:
    virtual ~WindowPresenter() = default;

    // Shows the one preferences window bound to `model`, creating it on first use, and brings it to
    // the front with the keyboard.
    virtual void showPreferences(const std::shared_ptr<PreferencesViewModel>& model) = 0;
    // Shows the welcome window; its "Get Started" button closes it.
    virtual void showWelcome() = 0;
    // The same, on a desktop where no tray was found: it says how to reach the program instead.
    virtual void showWelcomeWithoutTray() { showWelcome(); }
    // Opens the quick switcher over `model` with the keyboard, replacing one already open; `onGo`
    // gets the chosen entry's position in the model's entries(). False where it cannot be shown.
    virtual bool showSwitcher(const std::shared_ptr<SwitcherViewModel>& model, std::function<void(int)> onGo) {
        (void)model, (void)onGo;
        return false;
    }
};

} // namespace sm
