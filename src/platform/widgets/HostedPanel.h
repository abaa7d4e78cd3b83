#pragma once

#include "platform/WindowServer.h"
#include "platform/widgets/EditorWindow.h"
#include "platform/widgets/LabelWindow.h"
#include "platform/widgets/QtPanel.h"

#include <QGuiApplication>
#include <QRect>
#include <QString>
#include <QUuid>

#include <concepts>
#include <memory>
#include <optional>

namespace sm::widgets {

// A window server that keeps a state per panel, which the panel reads its facts from and tells the
// server of every change to.
template <class Host>
concept PanelStateHost = requires(Host& host, const Host& constHost, typename Host::PanelState& state,
                                  const typename Host::PanelState& constState) {
    state.panel = static_cast<Panel*>(nullptr);
    state.alpha = 1.0;
    state.ignoresInput = true;
    { constState.orderedIn } -> std::convertible_to<bool>;
    { constState.onActiveSpace } -> std::convertible_to<bool>;
    { constState.visible } -> std::convertible_to<bool>;
    host.adopt(state); // until it is forgotten; a hosted panel's window drags included
    host.forget(state);
    host.applyInput(state);
    { constHost.screenOf(constState) } -> std::same_as<std::optional<ScreenInfo>>;
};

// One whose compositor places the panels' own Qt windows.
template <class Host>
concept PanelHost = PanelStateHost<Host> &&
    requires(Host& host, const Host& constHost, typename Host::PanelState& state,
             const typename Host::PanelState& constState, const QRect& layout, const QRectF& logical) {
    state.window = static_cast<PanelWindow*>(nullptr);
    state.takesFocus = true;
    requires std::same_as<decltype(state.frame), QRect>; // top left, y down
    // The panel is ordered in; false while its window must stay unmapped.
    { host.shown(state) } -> std::same_as<bool>;
    host.hidden(state);
    host.place(state); // its frame changed
    host.applyAlpha(state);
    // The window takes the keyboard: at once when it is placed already, else once it is.
    host.focus(state);
    { constHost.titleOf(constState) } -> std::convertible_to<QString>;
    { constHost.toLogical(layout) } -> std::same_as<QRectF>;
    { constHost.toLayout(logical) } -> std::same_as<QRect>;
};

// The Panel facts and the pointer, as the window server keeps them in the panel's state. The backend
// adopts the state once it is filled in; it is forgotten here.
template <PanelStateHost Host, class Interface, class Window>
class ServedPanel : public QtPanel<Interface, Window> {
public:
    using State = typename Host::PanelState;

    ~ServedPanel() override {
        if (auto server = server_.lock()) server->forget(state_);
    }

    bool isOnActiveSpace() const override { return state_.onActiveSpace; }
    bool isVisible() const override { return state_.visible; }
    std::optional<ScreenInfo> screen() const override {
        const auto server = server_.lock();
        return server ? server->screenOf(state_) : std::nullopt;
    }
    bool ignoresMouseEvents() const override { return state_.ignoresInput; }
    void setIgnoresMouseEvents(bool ignores) override {
        state_.ignoresInput = ignores;
        if (const auto server = server_.lock()) server->applyInput(state_);
    }

protected:
    ServedPanel(const std::shared_ptr<Host>& server, Window* window)
        : QtPanel<Interface, Window>(window), server_(server) {
        state_.panel = this;
    }

    double shownAlpha() const override { return state_.alpha; }

    std::weak_ptr<Host> server_;
    State state_;
};

// The Panel operations on a Qt toplevel that the compositor places, its window server telling it how.
template <PanelHost Host, class Interface, class Window>
class HostedPanel : public ServedPanel<Host, Interface, Window> {
public:
    HostedPanel(const std::shared_ptr<Host>& server, Window* window, bool takesFocus)
        : ServedPanel<Host, Interface, Window>(server, window) {
        state_.window = window;
        state_.takesFocus = takesFocus;
        server->adopt(state_);
        window_->setWindowTitle(server->titleOf(state_));
        // On Wayland only the compositor moves windows: a drag is handed to it and its result read back.
        window_->setMovesBySystem(true);
    }

    QRectF frame() const override {
        if (animator_.frameTarget()) return *animator_.frameTarget();
        const auto server = server_.lock();
        return server ? server->toLogical(state_.frame) : QRectF();
    }

    void orderFront() override {
        const auto server = server_.lock();
        if (!server || state_.orderedIn) return;
        const bool map = server->shown(state_);
        window_->setWindowTitle(server->titleOf(state_));
        if (map) window_->show();
        server->applyInput(state_);
    }

    void orderOut() override {
        if (!state_.orderedIn) return;
        window_->hide();
        if (const auto server = server_.lock()) server->hidden(state_);
    }

protected:
    using QtPanel<Interface, Window>::window_;
    using QtPanel<Interface, Window>::animator_;
    using ServedPanel<Host, Interface, Window>::server_;
    using ServedPanel<Host, Interface, Window>::state_;

    void applyFrame(const QRectF& frame) override {
        const auto server = server_.lock();
        if (!server) return;
        const QRect layout = server->toLayout(frame);
        if (layout == state_.frame) return;
        const bool movedOrigin = layout.topLeft() != state_.frame.topLeft();
        state_.frame = layout;
        window_->setGeometry(layout); // the size is the client's; the position the compositor's, asked below
        server->place(state_);
        if (movedOrigin) this->later([this] { this->moved.emit(); });
    }

    void applyAlpha(double alpha) override {
        state_.alpha = alpha;
        if (auto server = server_.lock()) server->applyAlpha(state_);
    }
};

template <PanelHost Host> class HostedLabelPanel final : public HostedPanel<Host, LabelPanel, LabelWindow> {
public:
    HostedLabelPanel(const std::shared_ptr<Host>& server, const QUuid& tagId)
        : HostedPanel<Host, LabelPanel, LabelWindow>(server, new LabelWindow, false), tagId_(tagId) {}

    QUuid tagId() const override { return tagId_; }
    LabelView& view() override { return *this->window_; }

private:
    QUuid tagId_;
};

template <PanelHost Host>
class HostedEditorPanel final : public HostedPanel<Host, EditorPanel, EditorWindow> {
public:
    explicit HostedEditorPanel(const std::shared_ptr<Host>& server)
        : HostedPanel<Host, EditorPanel, EditorWindow>(server, new EditorWindow, true) {}

    EditorView& view() override { return *this->window_; }
    void makeKeyAndOrderFront() override {
        if (auto server = this->server_.lock()) server->focus(this->state_);
        this->orderFront();
    }
};

// A window server whose panels are hosted ones. The pointer and the activation are Qt's own view of the
// session: Wayland tells a client about the buttons only while the pointer is over one of its windows.
template <class Server>
class PanelHostingServer : public WindowServer, public std::enable_shared_from_this<Server> {
public:
    std::unique_ptr<LabelPanel> createLabelPanel(const QUuid& tagId) override {
        return std::make_unique<HostedLabelPanel<Server>>(this->shared_from_this(), tagId);
    }
    std::unique_ptr<EditorPanel> createEditorPanel() override {
        return std::make_unique<HostedEditorPanel<Server>>(this->shared_from_this());
    }
    bool isLeftMouseButtonDown() const override {
        return QGuiApplication::mouseButtons().testFlag(Qt::LeftButton);
    }
    bool isApplicationActive() const override {
        return QGuiApplication::applicationState() == Qt::ApplicationActive;
    }
};

} // namespace sm::widgets
