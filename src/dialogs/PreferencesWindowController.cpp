#include "dialogs/PreferencesWindowController.h"

namespace sm {

PreferencesWindowController::PreferencesWindowController(std::shared_ptr<TagStore> tagStore,
                                                         PreferencesViewModel::Services services,
                                                         std::shared_ptr<WindowPresenter> presenter)
    : presenter_(std::move(presenter)), logger_(services.logger) {
    services.tagStore = tagStore;
    viewModel_ = std::make_shared<PreferencesViewModel>(std::move(services));
}

void PreferencesWindowController::show() {
    ++launchAtLoginRefreshToken_;
    viewModel_->refresh(callbacks, launchAtLoginRefreshToken_);
    if (logger_.isTracing())
        for (const auto& row : viewModel_->unavailableRows())
            logger_.traceLine(QStringLiteral("preferences UNAVAILABLE %1: %2").arg(row.identifier, row.text));
    if (!presenter_) {
        logger_.notice(QStringLiteral("No windows in this session: the preferences are not shown"));
        return;
    }
    presenter_->showPreferences(viewModel_);
}

} // namespace sm
