#pragma once

#include <filesystem>
#include <string>

namespace tellix::test {

// Starts a D-Bus session bus listening in `dir` and gives its address. The bus goes when this
// process does (a test that dies leaves none behind); one per test program run, as Qt keeps
// the session bus a process first found.
std::string StartSessionBus(const std::filesystem::path& dir);

} // namespace tellix::test
