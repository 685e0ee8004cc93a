#pragma once

#include <cstdio>
#include <exception>
#include <utility>

namespace tellix {

// Where the front-end calls into the core (socket callbacks, key and menu handlers): a
// core failure must not unwind through Qt, so it is reported on standard error and the
// client goes on.
template <class F> void AtBoundary(const char* where, F&& f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tellix: %s: %s\n", where, e.what());
    } catch (...) {
        std::fprintf(stderr, "tellix: %s: unknown exception\n", where);
    }
}

} // namespace tellix
