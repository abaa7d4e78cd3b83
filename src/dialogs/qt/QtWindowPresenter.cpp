#include "dialogs/qt/QtWindowPresenter.h"

#include "dialogs/qt/PreferencesWindow.h"
#include "dialogs/qt/WelcomeWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace sm {

namespace {

void bringToFront(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

QtWindowPresenter::QtWindowPresenter() = default;
QtWindowPresenter::~QtWindowPresenter() = default;

void QtWindowPresenter::showPreferences(const std::shared_ptr<PreferencesViewModel>& model) {
    if (!preferences_ || preferences_->viewModel() != model)
        preferences_ = std::make_unique<PreferencesWindow>(model);
    preferences_->sync();
    bringToFront(preferences_.get());
}

void QtWindowPresenter::showWelcomeWithoutTray() {
    if (!welcome_) welcome_ = std::make_unique<WelcomeWindow>(false);
    showWelcome();
}

void QtWindowPresenter::showWelcome() {
    if (!welcome_) welcome_ = std::make_unique<WelcomeWindow>();
    welcome_->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = welcome_->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        welcome_->move(frame.topLeft());
    }
    bringToFront(welcome_.get());
}

} // namespace sm
