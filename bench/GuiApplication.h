#pragma once

#include <chrono>
#include <functional>

namespace tellix::bench {

// A QApplication on the offscreen platform unless another one is asked for.
void EnsureGuiApplication();
// Runs the event loop until nothing is waiting.
void PumpEvents();
// Runs the event loop for `wait`.
void PumpFor(std::chrono::milliseconds wait);
// Runs the event loop until `done` is true, at most ten seconds; returns `done()`.
bool PumpUntil(const std::function<bool()>& done);

} // namespace tellix::bench
