#pragma once

#include <stdexcept>
#include <string>

namespace tellix {

// The one failure type of the core: "fails with an error to the caller".
// Front-ends catch it at their boundary and keep running.
class CoreError : public std::runtime_error {
public:
    explicit CoreError(const std::string& what, int number = 0) : std::runtime_error(what), number_(number) {}

    int Number() const noexcept { return number_; }

private:
    int number_;
};

// Error numbers for the failures the core reports.
inline constexpr int kErrorInvalidIndex = 9;   // a position or key that names nothing
inline constexpr int kErrorObjectMissing = 91; // an operation that needs a parent it lacks

} // namespace tellix
