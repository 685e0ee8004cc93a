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
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A file edited by hand: a value with commas written without quotes reads as it looks (Qt would
// make a list of it), and a section removed leaves nothing behind.
TEST(QtSettingsStore, AValueWithCommasWrittenByHandReadsAsItLooksAndASectionGoesWhole)
{
    char pattern[] = "/tmp/tellix-config-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path home = pattern;
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    std::filesystem::create_directories(home / "Tellix");
    {
        std::ofstream file(home / "Tellix" / "Tellix06.ini");
        file << "[Network%20home]\nAutojoin=#a,#b key1\nNick=ann\n[Network%20work]\nNick=bob\n";
    }
    QtSettingsStore store;
    EXPECT_EQ(store.GetSetting("Tellix06", "Network home", "Autojoin", ""), "#a,#b key1");
    store.RemoveSection("Tellix06", "Network home");
    EXPECT_EQ(QtSettingsStore().GetSetting("Tellix06", "Network home", "Nick", "(none)"), "(none)");
    EXPECT_EQ(QtSettingsStore().GetSetting("Tellix06", "Network work", "Nick", "(none)"), "bob");
    std::ifstream file(home / "Tellix" / "Tellix06.ini");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("home"), std::string::npos) << text;

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

// Changes to the settings file or its temporary twin, in the order they happened.
std::vector<std::pair<std::string, std::uint32_t>> FileChanges(int watch, const std::string& file)
{
    std::vector<std::pair<std::string, std::uint32_t>> changes;
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const std::string name = event->len > 0 ? event->name : "";
            // Its lock file has a life of its own.
            if (name == file || (name.starts_with(file + ".") && name != file + ".lock")) {
                changes.emplace_back(name, event->mask);
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return changes;
}

// Where no secret store answers, the file holds passwords, and the client says only programs
// run as the user can read it: so it is 0600 from the first byte of a value written into it,
// in a folder of 0700 when the client made that. A file left open to all by an older client is
// narrowed before the next value goes in, not after.
TEST(QtSettingsStore, OnlyTheUserCanReadTheFileFromTheFirstValueWrittenIntoIt)
{
    char pattern[] = "/tmp/tellix-config-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path config = std::filesystem::path(pattern) / "config";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const std::filesystem::path folder = config / "Tellix";
    const std::filesystem::path file = folder / "Tellix06.ini";
    const std::string section(settings::Section);
    const ::mode_t oldMask = ::umask(022);

    const struct {
        const char* what;
        bool existing;
    } rows[] = {{"a first start", false}, {"a file every user can read", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove_all(config);
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        if (row.existing) {
            std::filesystem::create_directories(folder);
            std::ofstream(file) << "[Main]\nServer%20Password=fake-old-secret\n";
            ::chmod(file.c_str(), 0644);
            ASSERT_GE(::inotify_add_watch(watch, folder.c_str(),
                                          IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE),
                      0);
        }
        QtSettingsStore().SaveSetting("Tellix06", section, "Server Password", "fake-new-secret");

        struct stat status {};
        ASSERT_EQ(::stat(file.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);
        if (!row.existing) {
            for (const auto& made : {folder, config}) {
                ASSERT_EQ(::stat(made.c_str(), &status), 0);
                EXPECT_EQ(status.st_mode & 07777, 0700u) << made;
            }
        }
        // Every change of mode came before the first byte of the new value was written: so the
        // value never sat in a file others could read.
        const auto changes = FileChanges(watch, file.filename().string());
        const auto written = std::ranges::find_if(
            changes, [](const auto& change) { return (change.second & (IN_MODIFY | IN_MOVED_TO)) != 0; });
        EXPECT_EQ(std::find_if(written, changes.end(),
                               [](const auto& change) { return (change.second & IN_ATTRIB) != 0; }),
                  changes.end())
            << "a mode was changed after the value was written";
        if (row.existing) {
            EXPECT_NE(written, changes.end()) << "no write was seen";
        }
        ::close(watch);
        EXPECT_EQ(QtSettingsStore().GetSetting("Tellix06", section, "Server Password", ""), "fake-new-secret");
    }

    ::umask(oldMask);
    ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(pattern);
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
