#pragma once

#include <string>

namespace tellix {

// The per-user store of text values, addressed by application name, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;
    virtual void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    // Forgets every key of a section. A store that cannot keeps them: nothing reads a section
    // that no list names.
    virtual void RemoveSection(const std::string& /*appName*/, const std::string& /*section*/) {}
};

} // namespace tellix
