#include "platform/x11/X11KeySource.h"

#include "platform/x11/XcbReply.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace sm::x11 {

namespace {
constexpr int kControlMapIndex = 2; // Shift, Lock, Control, Mod1...
} // namespace

class RawKeyEvents final : public QAbstractNativeEventFilter {
public:
    explicit RawKeyEvents(X11KeySource& source) : source_(source) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const int kind = event->response_type & 0x7f;
        if (kind == XCB_MAPPING_NOTIFY) {
            // Re-read later: this handler never waits for the server.
            if (!source_.mappingStale_) {
                source_.mappingStale_ = true;
                QTimer::singleShot(0, &context_, [this] { source_.readControlKeycodes(); });
            }
            return false;
        }
        if (kind != XCB_GE_GENERIC) return false;
        const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if (ge->extension != source_.xinputOpcode_) return false;
        if (ge->event_type != XCB_INPUT_RAW_KEY_PRESS && ge->event_type != XCB_INPUT_RAW_KEY_RELEASE)
            return false;
        const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event);
        source_.handleKey(static_cast<std::uint8_t>(raw->detail), ge->event_type == XCB_INPUT_RAW_KEY_PRESS);
        return false;
    }

private:
    X11KeySource& source_;
    QObject context_; // the deferred re-read dies with the filter
};

std::shared_ptr<X11KeySource> X11KeySource::create(Logger logger, QString* error) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    auto fail = [&](const QString& why) -> std::shared_ptr<X11KeySource> {
        logger.error(why);
        if (error) *error = why;
        return nullptr;
    };
    if (!x11 || !x11->connection()) return fail(QStringLiteral("The Ctrl key monitor needs an X11 session"));
    std::shared_ptr<X11KeySource> source(new X11KeySource);
    auto* c = x11->connection();
    source->connection_ = c;
    source->root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
    if (!ext || !ext->present)
        return fail(QStringLiteral("The X server has no XInput extension; Ctrl is not watched"));
    source->xinputOpcode_ = ext->major_opcode;
    // 2.1 at least: below it raw events stop while another client grabs the keyboard.
    Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2 || (version->major_version == 2 && version->minor_version < 1))
        return fail(QStringLiteral("The X server lacks XInput 2.1; Ctrl is not watched"));
    source->readControlKeycodes();
    return source;
}

X11KeySource::~X11KeySource() {
    stop();
}

void X11KeySource::start(std::function<void(bool)> onCtrlState) {
    callback_ = std::move(onCtrlState);
    if (events_) return;
    events_ = std::make_unique<RawKeyEvents>(*this);
    qApp->installNativeEventFilter(events_.get());
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
    xcb_input_xi_select_events(connection_, root_, 1, &selection.header);
    readPressedKeys(); // Ctrl may already be held
    if (callback_) callback_(!pressedControls_.isEmpty());
}

void X11KeySource::stop() {
    callback_ = nullptr;
    if (!events_) return;
    qApp->removeNativeEventFilter(events_.get());
    events_.reset();
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, 0};
    xcb_input_xi_select_events(connection_, root_, 1, &selection.header);
    xcb_flush(connection_);
}

void X11KeySource::readControlKeycodes() {
    mappingStale_ = false;
    Reply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr));
    controlKeycodes_.clear();
    if (!mapping) return;
    const int perModifier = mapping->keycodes_per_modifier;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    for (int i = 0; i < perModifier; ++i)
        if (const auto code = codes[kControlMapIndex * perModifier + i]) controlKeycodes_.insert(code);
    // A key that stopped being Control no longer holds Ctrl down.
    pressedControls_.intersect(controlKeycodes_);
}

void X11KeySource::readPressedKeys() {
    Reply<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr));
    pressedControls_.clear();
    if (!keymap) return;
    for (const auto code : controlKeycodes_)
        if (keymap->keys[code / 8] & (1 << (code % 8))) pressedControls_.insert(code);
}

void X11KeySource::handleKey(std::uint8_t keycode, bool pressed) {
    if (!controlKeycodes_.contains(keycode)) {
        if (callback_) callback_(!pressedControls_.isEmpty()); // another key: Ctrl as it was
        return;
    }
    if (pressed)
        pressedControls_.insert(keycode);
    else
        pressedControls_.remove(keycode);
    if (callback_) callback_(!pressedControls_.isEmpty());
}

} // namespace sm::x11
