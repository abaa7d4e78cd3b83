#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace sm {

// Keeps an observer subscribed for as long as it lives. Move-only; destroying or resetting it
// unsubscribes, also from inside the observer's own call and after the publisher is gone.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
    }

private:
    std::function<void()> cancel_;
};

// Synchronous change publication: every observer receives each published value once, in subscription
// order. An observer subscribed during a publication first hears the next one; one unsubscribed during
// a publication is not called again, not even later in the same round.
template <class T> class Publisher {
public:
    using Observer = std::function<void(const T&)>;

    [[nodiscard]] Subscription subscribe(Observer observer) {
        auto slot = std::make_shared<Slot>(Slot{std::move(observer), true});
        slots_->push_back(slot);
        return Subscription([weakSlots = std::weak_ptr<Slots>(slots_), weakSlot = std::weak_ptr<Slot>(slot)] {
            const auto own = weakSlot.lock();
            if (!own) return;
            own->active = false;
            if (const auto slots = weakSlots.lock()) std::erase(*slots, own);
        });
    }

    void publish(const T& value) const {
        // A copy of the list, so observers may subscribe and unsubscribe while being called; holding
        // the slots also keeps a running observer alive when it unsubscribes itself.
        const Slots round = *slots_;
        for (const auto& slot : round)
            if (slot->active) slot->observer(value);
    }

    std::size_t observerCount() const { return slots_->size(); }

private:
    struct Slot {
        Observer observer;
        bool active;
    };
    using Slots = std::vector<std::shared_ptr<Slot>>;
    std::shared_ptr<Slots> slots_ = std::make_shared<Slots>();
};

} // namespace sm
