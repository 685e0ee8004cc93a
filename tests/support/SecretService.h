#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace tellix::test {

// A session bus of the test's own with GNOME Keyring's Secret Service on it, unlocked, its
// keyrings in a temporary folder. DBUS_SESSION_BUS_ADDRESS names its bus from then on, so a
// store asked for the first time in this process talks to it. The bus lives as long as the
// process: one per test program run.
class SecretService {
public:
    SecretService();
    ~SecretService();
    SecretService(const SecretService&) = delete;
    SecretService& operator=(const SecretService&) = delete;

private:
    void Stop();

    std::filesystem::path dir_;
    pid_t keyring_ = -1;
};

} // namespace tellix::test
