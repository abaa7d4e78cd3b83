#pragma once

#include "dialogs/SwitcherViewModel.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLineEdit;
class QListWidget;

namespace sm {

// The quick switcher: a filter field over the named desktops, in the middle of the screen the pointer
// is on. Up and Down move the selection, Enter goes to it, Escape or another window taking the
// keyboard closes it. It deletes itself when closed.
class SwitcherWindow final : public QWidget {
public:
    // `onGo` gets the chosen entry's position in the model's entries(), after the window has closed.
    SwitcherWindow(std::shared_ptr<SwitcherViewModel> model, std::function<void(int)> onGo);

    QLineEdit* filterField() const { return filter_; }
    QListWidget* list() const { return list_; }
    // Centres the window on the current screen, shows it and gives it the keyboard.
    void present();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refill();
    void go();

    std::shared_ptr<SwitcherViewModel> model_;
    std::function<void(int)> onGo_;
    QLineEdit* filter_;
    QListWidget* list_;
};

} // namespace sm
