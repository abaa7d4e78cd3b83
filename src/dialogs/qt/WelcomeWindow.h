#pragma once

#include <QDialog>

namespace sm {

// "Welcome": what the program does, in four lines, and a "Get Started" button that closes it.
class WelcomeWindow final : public QDialog {
public:
    // `trayShown` false: no tray was found, so the window says how to reach the program instead.
    explicit WelcomeWindow(bool trayShown = true, QWidget* parent = nullptr);
};

} // namespace sm
