#include "app/Settings.h"
#include "platform/qtcore/QtClock.h"
#include "platform/qtcore/QtSettingsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

using namespace tellix;

TEST(Settings, NamesComeFromTheVersion)
{
    EXPECT_EQ(SettingsAppName(), "Tellix" + std::to_string(VersionMajor) + std::to_string(VersionMinor));
    EXPECT_EQ(SettingsAppName(), "Tellix06");
    EXPECT_EQ(MainCaption(), "Tellix - Dorvan's IRC Client 0.6." + std::to_string(VersionRevision));
}

TEST(Settings, CheckBoxReading)
{
    using settings::ReadCheckBox;
    EXPECT_TRUE(ReadCheckBox("1", false));
    EXPECT_TRUE(ReadCheckBox("-1", false));
    EXPECT_TRUE(ReadCheckBox("7", false));
    EXPECT_TRUE(ReadCheckBox("TRUE", false));
    EXPECT_TRUE(ReadCheckBox(" true ", false));
    EXPECT_FALSE(ReadCheckBox("0", true));
    EXPECT_FALSE(ReadCheckBox("False", true));
    EXPECT_FALSE(ReadCheckBox("0.0", true));
    // Not a state: the default decides.
    EXPECT_TRUE(ReadCheckBox("yes", true));
    EXPECT_FALSE(ReadCheckBox("", false));
    EXPECT_FALSE(ReadCheckBox("1x", false));
    EXPECT_EQ(settings::WriteCheckBox(true), "1");
    EXPECT_EQ(settings::WriteCheckBox(false), "0");
}

TEST(Settings, OnlyTheExactTextZeroEndsFirstUse)
{
    EXPECT_FALSE(settings::IsFirstUse("0"));
    for (const char* stored : {"1", "00", "", " 0", "0 "}) {
        EXPECT_TRUE(settings::IsFirstUse(stored)) << stored;
    }
}

TEST(QtSettingsStore, KeepsTextsPerApplicationUnderXdgConfigHome)
{
    char pattern[] = "/tmp/tellix-config-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path home = pattern;
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);

    QtSettingsStore store;
    const std::string section(settings::Section);
    EXPECT_EQ(store.GetSetting("Tellix06", section, "Default User Nick", "user|Tellix"), "user|Tellix");
    store.SaveSetting("Tellix06", section, "Default User Nick", "anna");
    store.SaveSetting("Tellix06", section, "First Use", "0");
    store.SaveSetting("Tellix06", section, "Default User Description", "Anna; with = signs, \"quotes\"");

    QtSettingsStore reopened;
    EXPECT_EQ(reopened.GetSetting("Tellix06", section, "Default User Nick", "x"), "anna");
    EXPECT_EQ(reopened.GetSetting("Tellix06", section, "First Use", "1"), "0");
    EXPECT_EQ(reopened.GetSetting("Tellix06", section, "Default User Description", ""),
              "Anna; with = signs, \"quotes\"");
    // Another minor version has a fresh store.
    EXPECT_EQ(reopened.GetSetting("Tellix07", section, "First Use", "1"), "1");
    EXPECT_TRUE(std::filesystem::exists(home / "Tellix" / "Tellix06.ini"));

    ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(home);
}

// A damaged file: its keys read as their defaults, the client says so once, and the first write
// replaces it with a sound one.
TEST(QtSettingsStore, ADamagedFileGivesTheDefaultsAndIsRewritten)
{
    char pattern[] = "/tmp/tellix-config-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path home = pattern;
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    const std::string section(settings::Section);
    const std::filesystem::path file = home / "Tellix" / "Tellix06.ini";

    struct Row {
        const char* what;
        std::function<void()> damage;
        std::string said;
    };
    const std::vector<Row> rows = {
        {"unparsable",
         [&] {
             std::filesystem::create_directories(file.parent_path());
             std::ofstream(file) << "[Main\nFirst Use\nDefault User Nick=anna\n";
         },
         "could not be understood"},
        {"a folder in its place", [&] { std::filesystem::create_directories(file); }, "could not be read"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove_all(home / "Tellix");
        row.damage();
        QtSettingsStore store;
        testing::internal::CaptureStderr();
        EXPECT_EQ(store.GetSetting("Tellix06", section, "First Use", "1"), "1");
        EXPECT_EQ(store.GetSetting("Tellix06", section, "Default User Nick", "user|Tellix"), "user|Tellix");
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said; // once
        store.SaveSetting("Tellix06", section, "First Use", "0");
        EXPECT_EQ(QtSettingsStore().GetSetting("Tellix06", section, "First Use", "1"), "0");
        EXPECT_TRUE(std::filesystem::is_regular_file(file));
    }

    ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(home);
}

TEST(QtClock, LongTimeHasTheTimeAndNoZoneName)
{
    QtClock clock;
    const std::string time = clock.LongTime();
    ASSERT_FALSE(time.empty());
    // Hours, minutes and seconds, in whatever order and separators the locale uses.
    int digits = 0;
    for (char c : time) {
        digits += std::isdigit(static_cast<unsigned char>(c)) ? 1 : 0;
    }
    EXPECT_GE(digits, 5) << time;
    for (const char* zone : {"UTC", "GMT", "CET", "+00", "Z"}) {
        EXPECT_EQ(time.find(zone), std::string::npos) << time;
    }
}
