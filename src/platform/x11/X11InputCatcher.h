#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>

#include <cstdint>

struct xcb_connection_t;
class QWindow;

namespace sm::widgets {
class LabelWindow;
}

namespace sm::x11 {

// Without a compositor a label is cut to its glyphs, and the X server gives a click between them to
// whatever lies below: a shape can only take clicks away, never add them. This unmanaged, input-only
// window covers the label's text directly below the label's frame, so every window above the label
// stays above it too, and hands the pointer's presses, motion and releases there to the label as if
// they had happened on it.
class X11InputCatcher final : public QObject, public QAbstractNativeEventFilter {
public:
    X11InputCatcher(widgets::LabelWindow* label, std::uint32_t labelWindow);
    ~X11InputCatcher() override;
    X11InputCatcher(const X11InputCatcher&) = delete;
    X11InputCatcher& operator=(const X11InputCatcher&) = delete;

    // Whether the label takes the pointer on its text now (shown, drawn, not ignoring the mouse). The
    // catcher is mapped only while this holds and the label is viewable.
    void setActive(bool active);
    std::uint32_t window() const { return wid_; }
    bool isMapped() const { return mapped_; }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    void scheduleSync();
    void sync();
    void forward(int type, std::uint8_t button, std::uint16_t state, std::int16_t rootX, std::int16_t rootY);

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t wid_ = 0;
    QPointer<widgets::LabelWindow> label_;
    QPointer<QWindow> window_; // the label's, whose geometry places the text on the screen
    std::uint32_t labelWid_ = 0;
    std::uint32_t frame_ = 0; // the label's ancestor under the root, which the window manager stacks
    bool active_ = false;
    bool labelViewable_ = false;
    bool mapped_ = false;
    bool syncPending_ = false;
};

} // namespace sm::x11
