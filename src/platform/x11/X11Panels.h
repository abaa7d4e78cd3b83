#pragma once

#include "platform/WindowServer.h"
#include "platform/widgets/EditorWindow.h"
#include "platform/widgets/LabelWindow.h"
#include "platform/widgets/QtPanel.h"
#include "platform/x11/X11InputCatcher.h"
#include "platform/x11/X11WindowServer.h"

#include <QMetaObject>

#include <memory>

namespace sm::x11 {

using widgets::EditorWindow;
using widgets::LabelWindow;

// The Panel operations on a window that an EWMH window manager keeps on its desktop.
template <class Interface, class Window> class X11Panel : public widgets::QtPanel<Interface, Window> {
public:
    X11Panel(const std::shared_ptr<X11WindowServer>& server, Window* window);
    ~X11Panel() override;

    bool isOnActiveSpace() const override { return state_.onActiveSpace; }
    bool isVisible() const override { return state_.visible; }
    std::optional<ScreenInfo> screen() const override;

    QRectF frame() const override;
    bool ignoresMouseEvents() const override { return ignoresMouse_; }
    void setIgnoresMouseEvents(bool ignores) override;
    void orderFront() override;
    void orderOut() override;

    std::uint32_t nativeWindow() const { return state_.wid; }

protected:
    using widgets::QtPanel<Interface, Window>::window_;
    using widgets::QtPanel<Interface, Window>::animator_;

    void reshape();
    // Qt's widget may keep a place its window has left; a press starts a drag from it and places the
    // editor by it.
    void standWhereTheServerHasIt();
    // What takes the pointer may have changed: shape, alpha, mouse handling or being ordered in.
    virtual void pointerAreaChanged() {}
    void report(Signal<>& signal);
    void applyFrame(const QRectF& frame) override;
    void applyAlpha(double alpha) override;
    double shownAlpha() const override { return shownAlpha_; }

    std::weak_ptr<X11WindowServer> server_;
    PanelState state_;
    std::optional<std::pair<QRectF, QRect>> applied_; // the last frame set, and the window's geometry for it
    double shownAlpha_ = 1.0;
    bool ignoresMouse_ = false;
    QMetaObject::Connection screenConnection_;
    std::unique_ptr<QObject> pressWatch_;
    bool catchingUp_ = false;
};

class X11LabelPanel final : public X11Panel<LabelPanel, LabelWindow> {
public:
    X11LabelPanel(const std::shared_ptr<X11WindowServer>& server, const QUuid& tagId);

    QUuid tagId() const override { return tagId_; }
    LabelView& view() override { return *window_; }
    // Present only without a compositor, once the label has been shown.
    const X11InputCatcher* inputCatcher() const { return catcher_.get(); }

private:
    void pointerAreaChanged() override;

    QUuid tagId_;
    std::unique_ptr<X11InputCatcher> catcher_;
};

class X11EditorPanel final : public X11Panel<EditorPanel, EditorWindow> {
public:
    explicit X11EditorPanel(const std::shared_ptr<X11WindowServer>& server);
    ~X11EditorPanel() override;

    EditorView& view() override { return *window_; }
    void makeKeyAndOrderFront() override;
    void orderOut() override;

private:
    void watchPresses(bool watch);

    // While shown, a press anywhere outside the editor leaves the field: on several window managers a
    // click on the desktop takes no focus, so the editor would keep the keyboard.
    Signal<>::Connection pressWatch_;
    bool watching_ = false;
};

} // namespace sm::x11
