#pragma once

#include "util/Event.h"

#include <memory>
#include <utility>

namespace tellix {

// How every object of the model raises its events: through its owning collection first,
// with itself in front of the arguments, then as its own event (or the other way round
// where that is the documented order).
//
// Any listener may delete the object that raises. So a relay holds the object alive until
// it is done and, after every raise, checks that the object is still where it was (same
// Parent); once a listener has deleted it, nothing more is raised about it and the caller,
// told so by the result, touches nothing further. Objects that never had a Parent have no
// collection to raise through and nothing to check.
template <class Object> class Relay {
public:
    explicit Relay(Object& object) : object_(object.shared_from_this()), owner_(object.Parent()) {}

    // False once a listener has deleted the object.
    bool Intact() const { return object_->Parent() == owner_; }

    // Raises through a collection's Raise operation, the object first.
    template <class Collection, class... Params, class... Values>
    bool Through(Collection* collection, void (Collection::*raise)(const std::shared_ptr<Object>&, Params...),
                 Values&&... values)
    {
        if (collection != nullptr) {
            (collection->*raise)(object_, values...);
        }
        return Intact();
    }

    // Raises the object's own event.
    template <class... Args, class... Values> bool Own(const Event<Args...>& event, Values&&... values)
    {
        event.raise(values...);
        return Intact();
    }

    // The usual order: the owning collection, then the object itself.
    template <class Raise, class... Args, class... Values>
    bool Up(Raise raise, const Event<Args...>& own, Values&&... values)
    {
        return Through(owner_, raise, values...) && Own(own, values...);
    }

    // The object first, then its collection.
    template <class Raise, class... Args, class... Values>
    bool Down(Raise raise, const Event<Args...>& own, Values&&... values)
    {
        return Own(own, values...) && Through(owner_, raise, values...);
    }

    const std::shared_ptr<Object>& Held() const { return object_; }

private:
    std::shared_ptr<Object> object_;
    decltype(std::declval<Object&>().Parent()) owner_;
};

} // namespace tellix
