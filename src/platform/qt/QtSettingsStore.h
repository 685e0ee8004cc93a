#pragma once

#include "platform/SettingsStore.h"

namespace tellix {

// INI files under the XDG configuration folder ($XDG_CONFIG_HOME, else ~/.config):
// Tellix/<application name>.ini, one group per section.
class QtSettingsStore final : public SettingsStore {
public:
    std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                     const std::string& value) override;
    static std::string FilePath(const std::string& appName);
};

} // namespace tellix
