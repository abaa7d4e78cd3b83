#include "dialogs/qt/QtWindowPresenter.h"

#include "dialogs/qt/PreferencesWindow.h"
#include "dialogs/qt/SwitcherWindow.h"
#include "dialogs/qt/WelcomeWindow.h"
#include "platform/widgets/FrontWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace sm {

namespace {

template <typename Window>
void retire(QPointer<Window>& window) {
    window->deleteLater();
    window = nullptr;
}

// A window closed a moment ago waits for its deletion; brought back now it would vanish with it.
template <typename Window>
void retireIfClosing(QPointer<Window>& window) {
    if (window && !window->isVisible()) retire(window);
}

} // namespace

QtWindowPresenter::QtWindowPresenter() = default;

QtWindowPresenter::~QtWindowPresenter() {
    delete preferences_.data();
    delete welcome_.data();
    delete switcher_.data();
}

PreferencesWindow* QtWindowPresenter::preferencesWindow() const {
    return preferences_.data();
}

WelcomeWindow* QtWindowPresenter::welcomeWindow() const {
    return welcome_.data();
}

SwitcherWindow* QtWindowPresenter::switcherWindow() const {
    return switcher_.data();
}

bool QtWindowPresenter::showSwitcher(const std::shared_ptr<SwitcherViewModel>& model,
                                     std::function<void(int)> onGo) {
    // A second shortcut press starts over with today's names rather than keeping stale ones.
    if (switcher_) switcher_->close();
    switcher_ = new SwitcherWindow(model, std::move(onGo));
    switcher_->present();
    return true;
}

void QtWindowPresenter::showPreferences(const std::shared_ptr<PreferencesViewModel>& model) {
    if (preferences_ && preferences_->viewModel() != model) retire(preferences_);
    retireIfClosing(preferences_);
    if (!preferences_) {
        preferences_ = new PreferencesWindow(model);
        preferences_->setAttribute(Qt::WA_DeleteOnClose);
    }
    preferences_->sync();
    widgets::bringToFront(preferences_.data());
}

void QtWindowPresenter::showWelcomeWithoutTray() {
    showWelcome(false);
}

void QtWindowPresenter::showWelcome() {
    showWelcome(true);
}

void QtWindowPresenter::showWelcome(bool trayAvailable) {
    retireIfClosing(welcome_);
    if (!welcome_) {
        welcome_ = new WelcomeWindow(trayAvailable);
        welcome_->setAttribute(Qt::WA_DeleteOnClose);
    }
    welcome_->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = welcome_->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        welcome_->move(frame.topLeft());
    }
    widgets::bringToFront(welcome_.data());
}

} // namespace sm
