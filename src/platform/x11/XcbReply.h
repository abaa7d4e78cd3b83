#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

namespace sm::x11 {

// xcb hands replies over to be freed with free().
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

// The first 32-bit value of a property, or none when it is absent or of another format.
inline std::optional<std::uint32_t> cardinal(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 32 || reply->value_len < 1) return std::nullopt;
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
}

} // namespace sm::x11
