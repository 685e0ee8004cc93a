// What is open at exit, as the settings keep it: written, read back whole, and a damaged or
// hostile store read in part, never wrongly.
#include "app/Session.h"
#include "app/Settings.h"
#include "support/RecordingToolkit.h"

#include <gtest/gtest.h>

#include <string>

namespace tellix::test {
namespace {

Session Sample()
{
    Session session;
    session.connections.push_back({"Libera.Chat", {"irc.libera.chat", 6697, true}, "Libera.Chat", true});
    session.connections.push_back({"", {"127.0.0.1", 6667, false}, "", false});
    // Names and keys that hold the separators: a blank, a percent sign, a dash alone, bytes.
    session.windows.push_back({0, Session::Window::Kind::Status, "", "", WindowState::Maximized, {}});
    session.windows.push_back(
        {0, Session::Window::Kind::Channel, "#tellix", "k%y", WindowState::Normal, WindowPlace{-5, 10, 640, 480}});
    session.windows.push_back({1, Session::Window::Kind::Channel, "#a b\x01", "-", WindowState::Minimized, {}});
    session.windows.push_back({1, Session::Window::Kind::Query, "bob", "", WindowState::Maximized, {}});
    session.active = 1;
    return session;
}

TEST(Session, WhatIsWrittenIsReadBackWhole)
{
    MemorySettingsStore store;
    const Session written = Sample();
    written.Write(store);
    EXPECT_EQ(Session::Read(store), written);
    // An empty store is no session.
    MemorySettingsStore empty;
    EXPECT_EQ(Session::Read(empty), Session());
}

TEST(Session, DamagedEntriesAreSkippedAndNothingIsReadWrongly)
{
    struct Row {
        const char* key;
        const char* value;
        std::size_t connections;
        std::size_t windows;
        std::int32_t active;
    };
    // Each row spoils one entry of the sample.
    const Row rows[] = {
        {"Connections", "x", 0, 0, -1},
        {"Connections", "-3", 0, 0, -1},
        {"Connections", "99999999999999999999", 0, 0, -1},
        {"Connection 1", "1 0 70000 host - -", 1, 2, 1},
        {"Connection 1", "1 0 6667 host", 1, 2, 1},
        {"Connection 0", "", 0, 0, -1},
        {"Window 1", "0 c 0 - - - - - -", 2, 3, -1},
        {"Window 1", "0 x 0 - - - - #a -", 2, 3, -1},
        {"Window 1", "5 c 0 - - - - #a -", 2, 3, -1},
        {"Window 1", "0 c 9 - - - - #a -", 2, 3, -1},
        {"Window 2", "0 c 0 1 2 0 4 #a -", 2, 4, 1},
        {"Windows", "2", 2, 2, 1},
        {"Active Window", "4", 2, 4, -1},
        {"Active Window", "-2", 2, 4, -1},
    };
    for (const Row& row : rows) {
        MemorySettingsStore store;
        Sample().Write(store);
        store.SaveSetting(SettingsAppName(), "Session", row.key, row.value);
        const Session read = Session::Read(store);
        EXPECT_EQ(read.connections.size(), row.connections) << row.key << "=" << row.value;
        EXPECT_EQ(read.windows.size(), row.windows) << row.key << "=" << row.value;
        EXPECT_EQ(read.active, row.active) << row.key << "=" << row.value;
        for (const Session::Window& window : read.windows) {
            EXPECT_LT(static_cast<std::size_t>(window.connection), read.connections.size());
        }
    }
    // A place with no size is none.
    MemorySettingsStore store;
    Sample().Write(store);
    store.SaveSetting(SettingsAppName(), "Session", "Window 1", "0 c 0 1 2 0 4 #a -");
    EXPECT_FALSE(Session::Read(store).windows[1].place);
}

} // namespace
} // namespace tellix::test
