#include "platform/wayland/Keyboard.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <clocale>
#include <cstdlib>

namespace sm::wayland {

namespace {
// The locale whose compose sequences apply, as libX11 picks it.
const char* composeLocale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return value;
    return "C";
}
} // namespace

Keyboard::Keyboard() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    if (!context_) return;
    composeTable_ =
        xkb_compose_table_new_from_locale(context_, composeLocale(), XKB_COMPOSE_COMPILE_NO_FLAGS);
    // A locale without a table of its own still gets the dead keys of en_US.UTF-8's.
    if (!composeTable_)
        composeTable_ =
            xkb_compose_table_new_from_locale(context_, "en_US.UTF-8", XKB_COMPOSE_COMPILE_NO_FLAGS);
    if (composeTable_) compose_ = xkb_compose_state_new(composeTable_, XKB_COMPOSE_STATE_NO_FLAGS);
}

Keyboard::~Keyboard() {
    if (compose_) xkb_compose_state_unref(compose_);
    if (composeTable_) xkb_compose_table_unref(composeTable_);
    if (state_) xkb_state_unref(state_);
    if (keymap_) xkb_keymap_unref(keymap_);
    if (context_) xkb_context_unref(context_);
}

bool Keyboard::setKeymap(const char* text) {
    if (!context_) return false;
    xkb_keymap* keymap =
        xkb_keymap_new_from_string(context_, text, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return false;
    if (state_) xkb_state_unref(state_);
    if (keymap_) xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = xkb_state_new(keymap_);
    if (compose_) xkb_compose_state_reset(compose_);
    return state_ != nullptr;
}

void Keyboard::setModifiers(quint32 depressed, quint32 latched, quint32 locked, quint32 group) {
    if (state_) xkb_state_update_mask(state_, depressed, latched, locked, 0, 0, group);
}

std::optional<Keyboard::Press> Keyboard::press(quint32 code) {
    if (!state_) return std::nullopt;
    const xkb_keycode_t keycode = code + 8; // evdev to xkb
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(state_, keycode);
    Press press;
    if (xkb_state_mod_name_is_active(state_, XKB_MOD_NAME_SHIFT, XKB_STATE_MODS_EFFECTIVE) > 0)
        press.modifiers |= Qt::ShiftModifier;
    if (xkb_state_mod_name_is_active(state_, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0)
        press.modifiers |= Qt::ControlModifier;
    if (xkb_state_mod_name_is_active(state_, XKB_MOD_NAME_ALT, XKB_STATE_MODS_EFFECTIVE) > 0)
        press.modifiers |= Qt::AltModifier;
    if (compose_ && xkb_compose_state_feed(compose_, sym) == XKB_COMPOSE_FEED_ACCEPTED) {
        switch (xkb_compose_state_get_status(compose_)) {
        case XKB_COMPOSE_COMPOSING:
            return std::nullopt;
        case XKB_COMPOSE_COMPOSED: {
            char buffer[64];
            const int n = xkb_compose_state_get_utf8(compose_, buffer, sizeof buffer);
            press.text = QString::fromUtf8(buffer, n);
            press.key = qtKeyFor(xkb_compose_state_get_one_sym(compose_));
            xkb_compose_state_reset(compose_);
            return press;
        }
        case XKB_COMPOSE_CANCELLED:
            xkb_compose_state_reset(compose_);
            return std::nullopt;
        case XKB_COMPOSE_NOTHING:
            break;
        }
    }
    press.key = qtKeyFor(sym);
    char buffer[64];
    const int n = xkb_state_key_get_utf8(state_, keycode, buffer, sizeof buffer);
    if (n > 0 && static_cast<unsigned char>(buffer[0]) >= 0x20 && buffer[0] != 0x7f)
        press.text = QString::fromUtf8(buffer, n);
    return press;
}

int qtKeyFor(quint32 keysym) {
    switch (keysym) {
    case XKB_KEY_Return:
        return Qt::Key_Return;
    case XKB_KEY_KP_Enter:
        return Qt::Key_Enter;
    case XKB_KEY_Escape:
        return Qt::Key_Escape;
    case XKB_KEY_BackSpace:
        return Qt::Key_Backspace;
    case XKB_KEY_Delete:
        return Qt::Key_Delete;
    case XKB_KEY_Left:
        return Qt::Key_Left;
    case XKB_KEY_Right:
        return Qt::Key_Right;
    case XKB_KEY_Home:
        return Qt::Key_Home;
    case XKB_KEY_End:
        return Qt::Key_End;
    case XKB_KEY_Tab:
        return Qt::Key_Tab;
    default:
        break;
    }
    // Letters and digits keep Qt's codes, which are their upper-case Latin-1 values.
    if (keysym >= XKB_KEY_a && keysym <= XKB_KEY_z) return static_cast<int>(keysym - XKB_KEY_a + Qt::Key_A);
    if (keysym >= XKB_KEY_A && keysym <= XKB_KEY_Z) return static_cast<int>(keysym);
    if (keysym >= XKB_KEY_0 && keysym <= XKB_KEY_9) return static_cast<int>(keysym);
    if (keysym == XKB_KEY_space) return Qt::Key_Space;
    return 0;
}

} // namespace sm::wayland
