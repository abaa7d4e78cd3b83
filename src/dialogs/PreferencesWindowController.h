#pragma once

#include "dialogs/PreferencesViewModel.h"
#include "dialogs/WindowPresenter.h"

#include <memory>

namespace sm {

class TagStore;

// The one preferences window of the process: shown on demand from the tray menu, hidden when closed.
// The composition root sets `callbacks`; each show() hands the current ones to the window.
class PreferencesWindowController {
public:
    // `presenter` may be empty (a headless run): show() then only logs.
    PreferencesWindowController(std::shared_ptr<TagStore> tagStore, PreferencesViewModel::Services services,
                                std::shared_ptr<WindowPresenter> presenter);

    void show();

    std::shared_ptr<PreferencesViewModel> viewModel() const { return viewModel_; }
    int launchAtLoginRefreshToken() const { return launchAtLoginRefreshToken_; }

    PreferencesViewModel::Callbacks callbacks;

private:
    std::shared_ptr<WindowPresenter> presenter_;
    std::shared_ptr<PreferencesViewModel> viewModel_;
    Logger logger_;
    int launchAtLoginRefreshToken_ = 0;
};

} // namespace sm
