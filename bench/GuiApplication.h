#pragma once

namespace tellix::bench {

// A QApplication on the offscreen platform unless another one is asked for.
void EnsureGuiApplication();
// Runs the event loop until nothing is waiting.
void PumpEvents();

} // namespace tellix::bench
