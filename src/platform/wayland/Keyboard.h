#pragma once

#include <QString>
#include <Qt>

#include <optional>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;
struct xkb_compose_table;
struct xkb_compose_state;

namespace sm::wayland {

// The compositor's keymap read with xkbcommon: key codes become the Qt key and the text they type,
// dead keys and compose sequences included, in the user's locale.
class Keyboard {
public:
    struct Press {
        int key = 0; // Qt::Key; 0 for a key that only types text
        Qt::KeyboardModifiers modifiers;
        QString text;
    };

    Keyboard();
    ~Keyboard();
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    bool setKeymap(const char* text);
    void setModifiers(quint32 depressed, quint32 latched, quint32 locked, quint32 group);
    // A key went down (evdev code); none while a dead key or compose sequence is still open, or without a
    // keymap.
    std::optional<Press> press(quint32 code);

private:
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    xkb_compose_table* composeTable_ = nullptr;
    xkb_compose_state* compose_ = nullptr;
};

// The Qt key for an xkb keysym, for the keys the editor acts on; 0 for any other.
int qtKeyFor(quint32 keysym);

} // namespace sm::wayland
