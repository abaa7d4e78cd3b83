#pragma once

#include "dialogs/WindowPresenter.h"

#include <memory>

namespace sm {

class PreferencesWindow;
class WelcomeWindow;

// The windows on Qt Widgets. Each is created on first use and kept: showing it again only brings it
// to the front.
class QtWindowPresenter final : public WindowPresenter {
public:
    QtWindowPresenter();
    ~QtWindowPresenter() override;

    void showPreferences(const std::shared_ptr<PreferencesViewModel>& model) override;
    void showWelcome() override;
    void showWelcomeWithoutTray() override;

    PreferencesWindow* preferencesWindow() const { return preferences_.get(); }
    WelcomeWindow* welcomeWindow() const { return welcome_.get(); }

private:
    std::unique_ptr<PreferencesWindow> preferences_;
    std::unique_ptr<WelcomeWindow> welcome_;
};

} // namespace sm
