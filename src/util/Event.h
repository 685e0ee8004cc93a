#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tellix {

// Disconnects its handler when it goes away. Move-only.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept
    {
        if (this != &other) {
            Disconnect();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { Disconnect(); }

    void Disconnect()
    {
        if (cancel_) {
            std::exchange(cancel_, {})();
        }
    }

    bool Connected() const noexcept { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

// A synchronous event. Handlers run in connection order. A raise sees the handlers
// connected when it began: one connected during the raise waits for the next raise,
// one disconnected during the raise is not called any more. Arguments declared as
// references reach every handler as the same reference.
template <class... Args> class Event {
public:
    using Handler = std::function<void(Args...)>;

    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    [[nodiscard]] Subscription connect(Handler handler)
    {
        auto slot = std::make_shared<Slot>(std::move(handler));
        if (!state_) {
            state_ = std::make_shared<State>();
        }
        state_->Compact();
        state_->slots.push_back(slot);
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Slot> weakSlot = slot;
        return Subscription([weakState, weakSlot] {
            auto state = weakState.lock();
            auto target = weakSlot.lock();
            if (!state || !target) {
                return;
            }
            target->alive = false;
            state->dirty = true;
            state->Compact();
        });
    }

    void raise(Args... args) const
    {
        if (!state_ || state_->slots.empty()) {
            return;
        }
        // Keeps the handler list alive even if a handler destroys the event's owner.
        std::shared_ptr<State> state = state_;
        const std::size_t count = state->slots.size();
        ++state->depth;
        struct DepthGuard {
            State& s;
            ~DepthGuard()
            {
                --s.depth;
                s.Compact();
            }
        } guard{*state};
        for (std::size_t i = 0; i < count; ++i) {
            // Slots are never erased while depth > 0, so the pointer stays valid
            // even if a handler connects another one and the vector grows.
            Slot* slot = state->slots[i].get();
            if (slot->alive) {
                slot->handler(args...);
            }
        }
    }

    bool empty() const { return !state_ || state_->slots.empty(); }

private:
    struct Slot {
        explicit Slot(Handler h) : handler(std::move(h)) {}
        Handler handler;
        bool alive = true;
    };
    struct State {
        std::vector<std::shared_ptr<Slot>> slots;
        int depth = 0;
        bool dirty = false;

        void Compact()
        {
            if (!dirty || depth > 0) {
                return;
            }
            std::erase_if(slots, [](const std::shared_ptr<Slot>& s) { return !s->alive; });
            dirty = false;
        }
    };

    // Made on the first connect: most events of most objects never get a handler.
    std::shared_ptr<State> state_;
};

} // namespace tellix
