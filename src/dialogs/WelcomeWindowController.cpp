#include "dialogs/WelcomeWindowController.h"

namespace sm {

WelcomeWindowController::WelcomeWindowController(std::shared_ptr<WindowPresenter> presenter, Logger logger)
    : presenter_(std::move(presenter)), logger_(std::move(logger)) {}

void WelcomeWindowController::show(bool trayShown) {
    if (!presenter_) {
        logger_.notice(QStringLiteral("No windows in this session: the welcome window is not shown"));
        return;
    }
    if (trayShown)
        presenter_->showWelcome();
    else
        presenter_->showWelcomeWithoutTray();
    SM_TRACE(logger_, QStringLiteral("welcome SHOWN"));
}

} // namespace sm
