#pragma once

#include "logging/Logger.h"
#include "dialogs/WindowPresenter.h"

#include <memory>

namespace sm {

// The one-time introduction on a fresh installation. Whether it shows is the launch sequence's
// decision; this only shows it.
class WelcomeWindowController {
public:
    // `logger` is the app logger; `presenter` may be empty (a headless run).
    WelcomeWindowController(std::shared_ptr<WindowPresenter> presenter, Logger logger);

    // `trayShown`: whether the tray icon found a tray; the window names the tray only then.
    void show(bool trayShown = true);

private:
    std::shared_ptr<WindowPresenter> presenter_;
    Logger logger_;
};

} // namespace sm
