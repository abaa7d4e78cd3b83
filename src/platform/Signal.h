#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace sm {

// A notification with any number of observers. connect() returns a Connection; the observer stays
// connected while the Connection lives. Observers may connect or disconnect during emit(): the
// emission works on a copy of the list and skips observers disconnected meanwhile.
template <typename... Args> class Signal {
    struct Slot {
        std::function<void(Args...)> fn;
        bool connected = true;
    };

public:
    class Connection {
    public:
        Connection() = default;
        explicit Connection(std::weak_ptr<Slot> slot) : slot_(std::move(slot)) {}
        Connection(Connection&&) noexcept = default;
        Connection& operator=(Connection&& other) noexcept {
            disconnect();
            slot_ = std::move(other.slot_);
            return *this;
        }
        Connection(const Connection&) = delete;
        Connection& operator=(const Connection&) = delete;
        ~Connection() { disconnect(); }

        void disconnect() {
            if (auto s = slot_.lock()) s->connected = false;
            slot_.reset();
        }

    private:
        std::weak_ptr<Slot> slot_;
    };

    [[nodiscard]] Connection connect(std::function<void(Args...)> fn) {
        auto slot = std::make_shared<Slot>(Slot{std::move(fn)});
        std::erase_if(slots_, [](const auto& s) { return !s->connected; });
        slots_.push_back(slot);
        return Connection(slot);
    }

    void emit(Args... args) const {
        const auto snapshot = slots_;
        for (const auto& s : snapshot)
            if (s->connected) s->fn(args...);
    }

    std::size_t observerCount() const {
        return static_cast<std::size_t>(
            std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s->connected; }));
    }

private:
    std::vector<std::shared_ptr<Slot>> slots_;
};

} // namespace sm
