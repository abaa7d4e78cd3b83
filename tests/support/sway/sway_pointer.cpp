// A pointer for the sway tier, which has no input devices: `sway_pointer WIDTH HEIGHT STEP...` with
// steps "move X Y" (layout coordinates in a layout of WIDTH × HEIGHT), "press", "release" and
// "sleep MS", sent through wlroots' virtual pointer protocol.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kListener = {global, globalRemove};

uint32_t now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sway_pointer WIDTH HEIGHT [move X Y | press | release | sleep MS]...\n");
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "sway_pointer: no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fprintf(stderr, "sway_pointer: the compositor has no virtual pointer\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    wl_display_roundtrip(display);
    const auto width = static_cast<uint32_t>(std::atoi(argv[1]));
    const auto height = static_cast<uint32_t>(std::atoi(argv[2]));
    constexpr uint32_t kLeftButton = 0x110; // BTN_LEFT
    for (int i = 3; i < argc; ++i) {
        const std::string step = argv[i];
        if (step == "move" && i + 2 < argc) {
            const auto x = static_cast<uint32_t>(std::atoi(argv[i + 1]));
            const auto y = static_cast<uint32_t>(std::atoi(argv[i + 2]));
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, width, height);
            i += 2;
        } else if (step == "press" || step == "release") {
            zwlr_virtual_pointer_v1_button(pointer, now(), kLeftButton, step == "press" ? 1 : 0);
        } else if (step == "sleep" && i + 1 < argc) {
            wl_display_roundtrip(display);
            usleep(static_cast<useconds_t>(std::atoi(argv[++i])) * 1000);
            continue;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
