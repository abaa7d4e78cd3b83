#include "dialogs/qt/SwitcherWindow.h"

#include "platform/widgets/FrontWindow.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>

namespace sm {

SwitcherWindow::SwitcherWindow(std::shared_ptr<SwitcherViewModel> model, std::function<void(int)> onGo)
    : QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      model_(std::move(model)),
      onGo_(std::move(onGo)),
      filter_(new QLineEdit(this)),
      list_(new QListWidget(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("switcher"));
    setWindowTitle(QCoreApplication::translate("SwitcherWindow", "Go to Desktop"));
    filter_->setPlaceholderText(QCoreApplication::translate("SwitcherWindow", "Type a desktop's name"));
    filter_->setClearButtonEnabled(false);
    // The list follows the field: the keyboard never leaves it, so typing always filters.
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setUniformItemSizes(true);
    // Without a window frame it needs an edge of its own, or it melts into a window behind it.
    auto* edge = new QFrame(this);
    edge->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(edge);
    auto* layout = new QVBoxLayout(edge);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(filter_);
    layout->addWidget(list_);
    resize(360, 280);

    filter_->installEventFilter(this);
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_->setFilter(text);
        refill();
    });
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        model_->moveSelection(list_->row(item) - model_->selectedRow());
        go();
    });
    refill();
}

void SwitcherWindow::present() {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    widgets::bringToFront(this);
    filter_->setFocus(Qt::OtherFocusReason);
}

void SwitcherWindow::refill() {
    list_->clear();
    for (int i : model_->shown()) {
        const auto& entry = model_->entries()[i];
        list_->addItem(QCoreApplication::translate("SwitcherWindow", "%1  (desktop %2)")
                           .arg(entry.title)
                           .arg(entry.desktopNumber));
    }
    if (model_->shown().isEmpty())
        list_->addItem(model_->entries().isEmpty()
                           ? QCoreApplication::translate("SwitcherWindow", "No desktop has a name yet")
                           : QCoreApplication::translate("SwitcherWindow", "No desktop matches"));
    if (model_->shown().isEmpty()) list_->item(0)->setFlags(Qt::NoItemFlags);
    list_->setCurrentRow(model_->selectedRow());
}

void SwitcherWindow::go() {
    const int chosen = model_->chosen();
    if (chosen < 0) return;
    auto onGo = onGo_;
    close();
    // After the window is gone, so the desktop switched to gets the keyboard back.
    if (onGo) onGo(chosen);
}

bool SwitcherWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filter_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            const int step = key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown ? 10 : 1;
            const bool up = key->key() == Qt::Key_Up || key->key() == Qt::Key_PageUp;
            model_->moveSelection(up ? -step : step);
            list_->setCurrentRow(model_->selectedRow());
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            go();
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SwitcherWindow::changeEvent(QEvent* event) {
    // Clicking elsewhere or another window coming to the front dismisses it, as a menu would be.
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) close();
    QWidget::changeEvent(event);
}

} // namespace sm
