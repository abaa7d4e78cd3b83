#include "platform/wayland/WaylandPanels.h"

#include "platform/wayland/MenuPopup.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>

#include <linux/input-event-codes.h>

namespace sm::wayland {

namespace {
// How far the pointer goes with the button down before a press is a drag, in points.
constexpr double kDragDistance = 4.0;

// The window's drawing at `size`: its own paint and its children's, nothing of the toolkit's backdrop.
QImage drawn(QWidget* window, QSize size, double alpha) {
    window->resize(size);
    if (QLayout* layout = window->layout()) layout->activate();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    window->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    if (alpha >= 1.0) return image;
    QImage faded(size, QImage::Format_ARGB32_Premultiplied);
    faded.fill(Qt::transparent);
    QPainter painter(&faded);
    painter.setOpacity(std::max(0.0, alpha));
    painter.drawImage(0, 0, image);
    return faded;
}
} // namespace

template <class I, class W>
WaylandPanel<I, W>::WaylandPanel(const std::shared_ptr<WaylandWindowServer>& server, W* window)
    : widgets::ServedPanel<WaylandWindowServer, I, W>(server, window) {
    state_.draw = [this](QSize size, double alpha) {
        // Drawing resizes the window, whose resize asks for a drawing again.
        drawing_ = true;
        QImage image = drawn(window_, size, alpha);
        drawing_ = false;
        return image;
    };
    server->adopt(state_);
}

template <class I, class W> QRectF WaylandPanel<I, W>::frame() const {
    if (animator_.frameTarget()) return *animator_.frameTarget();
    const auto server = server_.lock();
    return server ? server->frameOf(state_) : QRectF();
}

template <class I, class W> void WaylandPanel<I, W>::applyFrame(const QRectF& frame) {
    const auto server = server_.lock();
    if (!server) return;
    const QPoint before = state_.offset;
    const QString output = state_.output;
    server->setFrame(state_, frame);
    if (state_.offset != before || state_.output != output) this->later([this] { this->moved.emit(); });
}

template <class I, class W> void WaylandPanel<I, W>::applyAlpha(double alpha) {
    state_.alpha = alpha;
    if (auto server = server_.lock()) server->place(state_);
}

template <class I, class W> void WaylandPanel<I, W>::repaint() {
    if (drawing_) return;
    if (auto server = server_.lock()) server->repaint(state_);
}

template <class I, class W> void WaylandPanel<I, W>::orderFront() {
    const auto server = server_.lock();
    if (!server || state_.orderedIn) return;
    server->shown(state_);
}

template <class I, class W> void WaylandPanel<I, W>::orderOut() {
    if (!state_.orderedIn) return;
    if (const auto server = server_.lock()) server->hidden(state_);
}

template class WaylandPanel<LabelPanel, widgets::LabelWindow>;
template class WaylandPanel<EditorPanel, widgets::EditorWindow>;

WaylandLabelPanel::WaylandLabelPanel(const std::shared_ptr<WaylandWindowServer>& server, const QUuid& tagId)
    : WaylandPanel(server, new widgets::LabelWindow), tagId_(tagId) {
    // Whatever changes the label's drawing changes its shape.
    window_->onOpaqueRegionChange = [this] { repaint(); };
    state_.input.onEnter = [this](QPointF at) { pointer_ = at; };
    state_.input.onMotion = [this](QPointF at) {
        pointer_ = at;
        if (!pressGlobal_) return;
        // Where the pointer is on the output: the surface moves under it as it drags.
        const QPointF global = QPointF(state_.offset) + at;
        const QPointF delta = global - *pressGlobal_;
        if (!dragging_ && delta.manhattanLength() < kDragDistance) return;
        dragging_ = true;
        const auto owner = server_.lock();
        if (!owner) return;
        state_.offset = pressOffset_ + delta.toPoint();
        owner->place(state_);
        this->later([this] { this->moved.emit(); });
    };
    state_.input.onButton = [this](quint32 button, bool pressed) {
        if (button == BTN_RIGHT && pressed) return openMenu();
        if (button != BTN_LEFT) return;
        if (pressed) {
            pressGlobal_ = QPointF(state_.offset) + pointer_;
            pressOffset_ = state_.offset;
            dragging_ = false;
            return;
        }
        if (!pressGlobal_) return;
        pressGlobal_.reset();
        if (std::exchange(dragging_, false)) return;
        deliver([this] {
            if (window_->onClick) window_->onClick();
        });
    };
    state_.input.onLeave = [this] {
        pressGlobal_.reset();
        dragging_ = false;
    };
}

WaylandLabelPanel::~WaylandLabelPanel() {
    closeMenu();
}

// The label's menu as a popup of its layer surface, at the pointer.
void WaylandLabelPanel::openMenu() {
    const auto server = server_.lock();
    if (!server || !state_.surface || !server->connection().wmBase()) return;
    closeMenu();
    menu_ = window_->buildMenu();
    if (menu_->isEmpty()) return;
    popup_ = std::make_unique<MenuPopup>(server->connection(), *menu_, QRect(pointer_.toPoint(), QSize(1, 1)),
                                         state_.surface->layer());
    popup_->onChosen = [this](QAction* action) {
        const QString identifier = action->data().toString();
        deliver([this, identifier] {
            closeMenu();
            if (!identifier.isEmpty() && window_->onMenuAction) window_->onMenuAction(identifier);
        });
    };
    popup_->onDismissed = [this] { deliver([this] { closeMenu(); }); };
    state_.surface->onGoing = [this] { popup_.reset(); };
}

void WaylandLabelPanel::closeMenu() {
    popup_.reset();
    if (state_.surface) state_.surface->onGoing = nullptr;
}

WaylandEditorPanel::WaylandEditorPanel(const std::shared_ptr<WaylandWindowServer>& server)
    : WaylandPanel(server, new widgets::EditorWindow) {
    QObject::connect(window_->field(), &QLineEdit::textChanged, window_, [this] { repaint(); });
    QObject::connect(window_->field(), &QLineEdit::cursorPositionChanged, window_, [this] { repaint(); });
    QObject::connect(window_->field(), &QLineEdit::selectionChanged, window_, [this] { repaint(); });
    state_.input.onKeyboardFocus = [this](bool has) {
        hasKeyboard_ = has;
        if (has) {
            hadKeyboard_ = true;
            return;
        }
        // Leaving the field after having had the keyboard commits, as the editor does anywhere.
        if (hadKeyboard_) window_->leave();
    };
    state_.input.onKey = [this](int key, Qt::KeyboardModifiers modifiers, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(window_->field(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QCoreApplication::sendEvent(window_->field(), &release);
    };
}

void WaylandEditorPanel::makeKeyAndOrderFront() {
    state_.takesKeyboard = true;
    window_->field()->setFocus(Qt::OtherFocusReason);
    orderFront();
    if (auto server = server_.lock()) server->applyInput(state_);
}

} // namespace sm::wayland
