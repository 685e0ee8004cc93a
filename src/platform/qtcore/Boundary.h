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

// A form whose view the core lets go of may be inside one of its own events (a close request,
// a menu click): it forgets the view, and goes once that event is over.
template <class Form> void LetGoLater(Form* form)
{
    if (form != nullptr) {
        form->Forget();
        form->hide();
        form->deleteLater();
    }
}

} // namespace tellix
