#pragma once

#include "platform/SettingsStore.h"

#include <set>
#include <string>

namespace tellix {

// INI files under the XDG configuration folder ($XDG_CONFIG_HOME, else ~/.config):
// Tellix/<application name>.ini, one group per section.
//
// A file that cannot be read or parsed never stops the client: it reads as empty, so every key
// gives its default, the client says so once on standard error, and the first write replaces
// the file.
class QtSettingsStore final : public SettingsStore {
public:
    std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                     const std::string& value) override;
    void RemoveSection(const std::string& appName, const std::string& section) override;
    static std::string FilePath(const std::string& appName);

private:
    bool Damaged(const std::string& path, int status);

    bool reported_ = false;
    std::set<std::string> damaged_; // files read as empty until they are written again
};

} // namespace tellix
