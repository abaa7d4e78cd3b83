#pragma once

#include <QDialog>

namespace sm {

// "Welcome": what the program does, in four lines, and a "Get Started" button that closes it.
class WelcomeWindow final : public QDialog {
public:
    explicit WelcomeWindow(QWidget* parent = nullptr);
};

} // namespace sm
