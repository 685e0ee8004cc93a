#pragma once

#include <chrono>
#include <functional>

namespace tellix::test {

// Makes sure a QCoreApplication exists for tests that use Qt sockets.
void EnsureQtApplication();

// Makes sure a QApplication exists for tests that make widgets; call it before anything makes
// a QCoreApplication.
void EnsureGuiApplication();

// Runs the Qt event loop until `done` is true or `wait` has passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds wait = std::chrono::seconds(5));

// Runs the Qt event loop for `wait`.
void PumpFor(std::chrono::milliseconds wait);

} // namespace tellix::test
