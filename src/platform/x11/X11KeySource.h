#pragma once

#include "logging/Logger.h"
#include "platform/KeySource.h"

#include <QSet>

#include <cstdint>
#include <memory>

struct xcb_connection_t;

namespace sm::x11 {

class RawKeyEvents;

// Ctrl, system-wide, from XInput 2 raw key events on the root window: they arrive whichever window
// has the keyboard, even while another client grabs it. Raw events are not de-duplicated across
// devices, so the source keeps the set of pressed keycodes that the modifier mapping calls Control
// rather than counting presses.
class X11KeySource final : public KeySource {
public:
    // None when the server lacks XInput 2.1 or the toolkit is not on X11; `error` says which.
    static std::shared_ptr<X11KeySource> create(Logger logger, QString* error);
    ~X11KeySource() override;

    void start(std::function<void(bool)> onCtrlState) override;
    void stop() override;

private:
    friend class RawKeyEvents;
    X11KeySource() = default;
    void readControlKeycodes();
    void readPressedKeys();
    void handleKey(std::uint8_t keycode, bool pressed);

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t xinputOpcode_ = 0;
    std::unique_ptr<RawKeyEvents> events_;
    std::function<void(bool)> callback_;
    QSet<std::uint8_t> controlKeycodes_;
    QSet<std::uint8_t> pressedControls_;
    bool mappingStale_ = false;
};

} // namespace sm::x11
