#pragma once

#include <cstddef>
#include <memory>
#include <memory_resource>
#include <utility>

namespace tellix {

// Many small objects of one owner, packed together: what is used together then sits in few
// pages, however scattered the rest of the heap has become. Not for use across threads. The
// pool lives as long as any object made in it.
class SharedPool {
public:
    SharedPool() : resource_(std::make_shared<std::pmr::unsynchronized_pool_resource>()) {}

    // For what an object made here keeps beside it, such as its text.
    std::pmr::memory_resource* Resource() const noexcept { return resource_.get(); }

    template <class T, class... Args> std::shared_ptr<T> MakeShared(Args&&... args) const
    {
        return std::allocate_shared<T>(Allocator<T>(resource_), std::forward<Args>(args)...);
    }

private:
    using Resource_ = std::shared_ptr<std::pmr::unsynchronized_pool_resource>;

    // Each object's control block holds a copy, and with it the pool.
    template <class T> struct Allocator {
        using value_type = T;

        explicit Allocator(Resource_ resource) noexcept : resource(std::move(resource)) {}
        template <class U> Allocator(const Allocator<U>& other) noexcept : resource(other.resource) {}

        T* allocate(std::size_t n) { return static_cast<T*>(resource->allocate(n * sizeof(T), alignof(T))); }
        void deallocate(T* p, std::size_t n) noexcept { resource->deallocate(p, n * sizeof(T), alignof(T)); }
        template <class U> bool operator==(const Allocator<U>& other) const noexcept
        {
            return resource == other.resource;
        }

        Resource_ resource;
    };

    Resource_ resource_;
};

} // namespace tellix
