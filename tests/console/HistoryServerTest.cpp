// The client behind a bouncer that keeps history, end to end: the terminal front-end on real
// sockets against the scripted bouncer, its logs on disk, a restart on the same folders, and
// another of the user's devices beside it.
#include "app/Application.h"
#include "app/Settings.h"
#include "platform/qtcore/QtClock.h"
#include "support/ConsoleTerminal.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/ScriptedBouncer.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using Texts = std::vector<std::string>;

const std::string kStamp = R"(\[[^\]]+\] )";

ScriptedBouncer::Options Small()
{
    ScriptedBouncer::Options options;
    options.nick = "con";
    options.historyLimit = 3; // pages of three: a restart's lines come in several
    return options;
}

// The bouncer as the default server, its password as the server password.
std::function<void(const QString&)> Settings(const ScriptedBouncer& bouncer)
{
    const std::string port = std::to_string(bouncer.Port());
    const std::string password = bouncer.ServerPassword(bouncer.Settings().network);
    return [port, password](const QString& configHome) {
        QSettings store(configHome + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini",
                        QSettings::IniFormat);
        store.setValue("Main/First Use", "0");
        store.setValue("Main/Default User Nick", "con");
        store.setValue("Main/Default User Name", "cons");
        store.setValue("Main/Default Server", "127.0.0.1");
        store.setValue("Main/Default Server Port", QString::fromStdString(port));
        store.setValue("Main/Default Server TLS", "0");
        store.setValue("Main/Default Server Password", QString::fromStdString(password));
        store.sync();
    };
}

// The lines window `n` printed since the mark, without the window's number.
Texts WindowLines(const ConsoleTerminal& terminal, int n)
{
    Texts lines;
    const std::string prefix = "[" + std::to_string(n) + "] ";
    std::istringstream out(terminal.SinceMark());
    for (std::string line; std::getline(out, line);) {
        if (line.starts_with(prefix)) {
            lines.push_back(line.substr(prefix.size()));
        }
    }
    return lines;
}

// Every line of a conversation's log files, whatever the network's folder is called.
Texts Logged(const ConsoleTerminal& terminal, const std::string& target)
{
    terminal.Toolkit().LogWriter().Flush();
    Texts lines;
    std::error_code error;
    for (fs::recursive_directory_iterator it(terminal.Toolkit().LogWriter().Root(), error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file() && it->path().parent_path().filename() == target) {
            std::ifstream in(it->path());
            for (std::string line; std::getline(in, line);) {
                lines.push_back(line.substr(line.find("] ") + 2));
            }
        }
    }
    return lines;
}

std::size_t Count(const Texts& lines, const std::string& text)
{
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
}

std::int64_t Second(std::int64_t ms)
{
    return ms / 1000 * 1000;
}

} // namespace

TEST(HistoryServer, LinesSaidWhileTellixWasClosedComeOnceInOrderWithTheirTimesAfterARestart)
{
    ScriptedBouncer bouncer(Small());
    bouncer.Join("#room", {"bob", "carl"});
    QTemporaryDir config;
    QTemporaryDir data;
    QtClock clock;
    // Said while Tellix ran, half way into its second.
    const std::int64_t here = Second(ScriptedBouncer::NowMs()) - 120'000 + 500;
    {
        ConsoleTerminal first(Settings(bouncer), data.path(), config.path());
        first.Type("/server");
        ASSERT_TRUE(first.Prints(R"(\[2\] = 2 - .* - #room)")) << first.Out();
        bouncer.Say("bob", "#room", "while you were here", here);
        ASSERT_TRUE(first.Prints(R"(\[2\] )" + kStamp + "<bob> while you were here")) << first.Out();
        // Closed as the user closes it: a goodbye, and what was open kept for the next start.
        first.App().ExitClient();
        ASSERT_TRUE(PumpUntil([&] { return bouncer.Clients().front()->Closed(); }));
    }

    // Said while it was closed: more than two pages in the channel, and a private word.
    Texts missed;
    for (int i = 1; i <= 7; ++i) {
        const std::string text = "missed " + std::to_string(i);
        bouncer.Store(i % 2 == 0 ? "carl" : "bob", "#room", text, here + i * 1000);
        missed.push_back("[" + clock.LongTimeAt(here + i * 1000) + "] " + (i % 2 == 0 ? "<carl> " : "<bob> ") +
                         text);
    }
    bouncer.Store("anna", "con", "are you there?", here + 8000);
    // Said the moment the client asks: live and in the page both.
    bool saidLive = false;
    bouncer.Intercept = [&](ScriptedBouncer::Client&, const std::string& line) {
        if (!saidLive && line.starts_with("CHATHISTORY LATEST #room ")) {
            saidLive = true;
            bouncer.Say("bob", "#room", "just now");
        }
        return false;
    };

    // Started again: the session comes back and connects by itself.
    ConsoleTerminal second(Settings(bouncer), data.path(), config.path());
    ASSERT_TRUE(second.Prints(R"(\[2\] )" + kStamp + "<bob> just now", 20s)) << second.Out();
    ASSERT_TRUE(saidLive);
    // The talk with anna opens as a stranger's line would: minimized, with its news.
    ASSERT_TRUE(second.Prints(R"(\[3\] )" + kStamp + "# <anna> are you there\\?")) << second.Out();
    ASSERT_TRUE(second.Prints(R"(\[3\] ! highlight)")) << second.Out();
    EXPECT_EQ(second.App().Childs()->Collection::Item(3)->Window()->State(), WindowState::Minimized);

    const Texts room = WindowLines(second, 2);
    const auto divider = std::find(room.begin(), room.end(), std::string(Child::kHistoryDivider));
    ASSERT_NE(divider, room.end()) << second.Out();
    // What came since the last start, past its own join: each missed line once, in order, at
    // the time it was said; the line the log showed above not again; the live one after them.
    Texts news;
    for (auto line = divider + 1; line != room.end(); ++line) {
        if (line->find("> ") != std::string::npos) {
            news.push_back(*line);
        }
    }
    Texts expected = missed;
    ASSERT_FALSE(news.empty());
    expected.push_back(news.back());
    EXPECT_EQ(news, expected) << second.Out();
    EXPECT_TRUE(news.back().ends_with("] <bob> just now"));

    // Written once each: beside what was logged, never a second time.
    const Texts logged = Logged(second, "#room");
    EXPECT_EQ(Count(logged, "<bob> while you were here"), 1U);
    EXPECT_EQ(Count(logged, "<bob> just now"), 1U);
    for (int i = 1; i <= 7; ++i) {
        EXPECT_EQ(Count(logged, (i % 2 == 0 ? "<carl> missed " : "<bob> missed ") + std::to_string(i)), 1U) << i;
    }
    EXPECT_EQ(Count(Logged(second, "anna"), "# <anna> are you there?"), 1U);
    // And found by a search of the logs as any other line, once.
    second.Mark();
    second.Type("/search \"missed 4\"");
    const std::string found = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d\] #room <carl> missed 4)";
    ASSERT_TRUE(second.Prints(found, 30s)) << second.SinceMark();
    EXPECT_EQ(second.Count(found), 1U) << second.SinceMark();
}

TEST(HistoryServer, WhatOneDeviceReadsClearsTheOthersNewsAndLookingTellsTheOthers)
{
    ScriptedBouncer bouncer(Small());
    bouncer.Join("#room", {"bob"});
    ConsoleTerminal terminal(Settings(bouncer));
    terminal.Type("/server");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* - #room)")) << terminal.Out();
    RawPeer phone(bouncer.Port());
    phone.Send("PASS " + bouncer.ServerPassword());
    phone.Send("CAP REQ :draft/read-marker server-time");
    phone.Send("NICK phone");
    phone.Send("USER phone 0 * :Phone");
    phone.Send("CAP END");
    ASSERT_TRUE(PumpUntilPeerSees(phone, " 366 "));

    // The user looks at the status window.
    terminal.Type("\x1b"
                  "1");
    // Said a little while ago: a marker is never set past the bouncer's now.
    const std::int64_t said = ScriptedBouncer::NowMs() - 10'000;
    bouncer.Say("bob", "#room", "con: lunch?", said);
    ASSERT_TRUE(terminal.Prints(R"(\[2\] ! highlight)")) << terminal.Out();
    const auto room = terminal.App().Childs()->Collection::Item(2);
    EXPECT_EQ(room->ActivityLevel(), Activity::Highlight);

    // Read on the phone: here it is news no more.
    phone.Send("MARKREAD #room timestamp=" + ScriptedBouncer::Time(said));
    EXPECT_TRUE(PumpUntil([&] { return room->ActivityLevel() == Activity::None; })) << terminal.Out();
    EXPECT_EQ(room->Unread(), 0);

    // Read here, where the user looks at the window: the phone hears how far.
    const std::int64_t later = said + 1500;
    bouncer.Say("bob", "#room", "hello?", later);
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> hello\\?")) << terminal.Out();
    terminal.Type("\x1b"
                  "2");
    EXPECT_TRUE(PumpUntilPeerSees(phone, "MARKREAD #room timestamp=" + ScriptedBouncer::Time(later)));
    EXPECT_EQ(bouncer.ReadMarker("#room"), later);
}

TEST(HistoryServer, ScrollingUpFetchesOlderLinesUntilTheServerHasNoneAndLogsEachOnce)
{
    ScriptedBouncer bouncer(Small());
    bouncer.Join("#room", {"bob"});
    const std::int64_t start = Second(ScriptedBouncer::NowMs()) - 600'000;
    for (int i = 1; i <= 8; ++i) {
        bouncer.Store("bob", "#room", "old " + std::to_string(i), start + i * 1000);
    }
    ConsoleTerminal terminal(Settings(bouncer));
    terminal.Type("/server");
    // The first time, with no line of the network known: the latest page.
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> old 8")) << terminal.Out();
    const auto room = terminal.App().Childs()->Collection::Item(2);
    terminal.Mark();
    // Each scroll past the top brings the page before, until there is none.
    room->Window()->Events.WantOlder.raise();
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> old 5")) << terminal.Out();
    room->Window()->Events.WantOlder.raise();
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> old 1")) << terminal.Out();
    const auto asked = [&] {
        std::size_t count = 0;
        for (const std::string& line : bouncer.Clients().back()->Received()) {
            count += line.starts_with("CHATHISTORY BEFORE #room ") ? 1 : 0;
        }
        return count;
    };
    room->Window()->Events.WantOlder.raise();
    ASSERT_TRUE(PumpUntil([&] { return asked() == 3; }));
    PumpFor(300ms); // its empty page comes back
    // The server had none before: the log is all there is, and nothing more is asked.
    room->Window()->Events.WantOlder.raise();
    PumpFor(300ms);
    EXPECT_EQ(asked(), 3U);
    Texts older;
    for (const std::string& line : WindowLines(terminal, 2)) {
        older.push_back(line.substr(line.find("] ") + 2));
    }
    EXPECT_EQ(older, (Texts{"<bob> old 3", "<bob> old 4", "<bob> old 5", "<bob> old 1", "<bob> old 2"}));
    const Texts logged = Logged(terminal, "#room");
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(Count(logged, "<bob> old " + std::to_string(i)), 1U) << i;
    }
}
