#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace sm {

// Keeps one observer of a Signal connected for as long as it lives. Move-only; destroying, reassigning
// or disconnecting it ends the connection, also from inside the observer's own call and after the
// signal is gone. One type for every Signal, so that a class holds its connections side by side.
class Connection {
public:
    struct Link {
        bool connected = true;
    };

    Connection() = default;
    explicit Connection(std::weak_ptr<Link> link) : link_(std::move(link)) {}
    Connection(Connection&&) noexcept = default;
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            disconnect();
            link_ = std::move(other.link_);
        }
        return *this;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { disconnect(); }

    void disconnect() {
        if (auto link = link_.lock()) link->connected = false;
        link_.reset();
    }

private:
    std::weak_ptr<Link> link_;
};

// A notification with any number of observers, called synchronously in connection order. An observer
// connected during an emission first hears the next one; one disconnected during an emission is not
// called again, not even later in the same round.
template <typename... Args> class Signal {
public:
    using Connection = sm::Connection;

    [[nodiscard]] Connection connect(std::function<void(Args...)> fn) {
        std::erase_if(slots_, [](const auto& s) { return !s->connected; });
        auto slot = std::make_shared<Slot>();
        slot->fn = std::move(fn);
        slots_.push_back(slot);
        return Connection(std::weak_ptr<Connection::Link>(slot));
    }

    void emit(Args... args) const {
        // A copy of the list, so observers may connect and disconnect while being called; holding the
        // slots also keeps a running observer alive when it disconnects itself.
        const auto round = slots_;
        for (const auto& s : round)
            if (s->connected) s->fn(args...);
    }

    std::size_t observerCount() const {
        return static_cast<std::size_t>(
            std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s->connected; }));
    }

private:
    struct Slot : Connection::Link {
        std::function<void(Args...)> fn;
    };
    std::vector<std::shared_ptr<Slot>> slots_;
};

} // namespace sm
