// The logs on disk, as the terminal front-end writes them against a real server: a flood lands
// in order, a killed client keeps all but its last second, a folder that cannot be written
// says so once, and a window opening shows what its log holds.
#include "app/Application.h"
#include "app/Settings.h"
#include "platform/console/ConsoleToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/ConsoleTerminal.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/ScriptedServer.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kStamp = R"(\[[^\]]+\] )";
// How a line reads in a log file.
const std::string kLogStamp = R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d\] )";

void WriteSettings(const QString& configHome, const std::map<QString, QString>& stored)
{
    QSettings store(configHome + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini",
                    QSettings::IniFormat);
    store.setValue("Main/First Use", "0");
    store.setValue("Main/Default User Nick", "con");
    store.setValue("Main/Default User Name", "cons");
    for (const auto& [key, value] : stored) {
        store.setValue("Main/" + key, value);
    }
    store.sync();
}

std::vector<std::string> ReadLines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Every log file of a channel or nick folder, whatever its network's folder is called.
std::vector<fs::path> LogFiles(const fs::path& root, const std::string& target)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file() && it->path().parent_path().filename() == target) {
            files.push_back(it->path());
        }
    }
    return files;
}

std::string Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    return day;
}

// Settings stored before the start: no first-use dialog, the nick "con", and `stored`.
std::function<void(const QString&)> Stored(const std::map<QString, QString>& stored = {})
{
    return [stored](const QString& configHome) { WriteSettings(configHome, stored); };
}

// ngircd holds a client to a line or so a second; InspIRCd, as the fixture sets it up, lets a
// peer flood.
IrcServer::Options FloodingServer()
{
    IrcServer::Options options;
    options.kind = IrcServer::Kind::InspIRCd;
    return options;
}

void Connect(ConsoleTerminal& terminal, std::uint16_t port)
{
    terminal.Type("/server 127.0.0.1 " + std::to_string(port));
    ASSERT_TRUE(terminal.Prints(R"(\[1\] = 1 - .* \(con\) - status)")) << terminal.Out();
}

TEST(Logs, AFloodedChannelIsInTheDayFileInOrderAndPasswordsNeverAre)
{
    IrcServer server(FloodingServer());
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #Flood");
    ASSERT_TRUE(bob.WaitFor(" 366 "));

    ConsoleTerminal terminal(Stored());
    Connect(terminal, server.Port());
    terminal.Type("/join #Flood");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* - #Flood)"));
    ASSERT_TRUE(bob.WaitFor("JOIN"));

    constexpr int kLines = 5000;
    for (int i = 0; i < kLines; ++i) {
        bob.Send("PRIVMSG #Flood :line " + std::to_string(i) + " caf\xe9");
    }
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> line " + std::to_string(kLines - 1) + ".*", 60s));
    // Shown masked in the window, never written to a file.
    terminal.Type("/msg NickServ IDENTIFY hunter2");
    terminal.Type("/quote PASS hunter2");
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + R"(-> Server: \[PASS \*{8}\])"));
    terminal.Type("/echo 1 after the secrets");
    terminal.Toolkit().LogWriter().Flush();

    const std::vector<fs::path> files = LogFiles(fs::path(terminal.Toolkit().LogWriter().Root()), "#flood");
    ASSERT_EQ(files.size(), 1U) << "one folder for #Flood, one day file";
    EXPECT_EQ(files[0].filename(), Today() + ".log");
    const QRegularExpression shape(QString::fromStdString("^" + kLogStamp + "(.*)$"));
    int next = 0;
    for (const std::string& line : ReadLines(files[0])) {
        const auto match = shape.match(QString::fromStdString(line));
        ASSERT_TRUE(match.hasMatch()) << line;
        if (match.captured(1).startsWith("<bob> line ")) {
            EXPECT_EQ(match.captured(1).toStdString(), "<bob> line " + std::to_string(next) + " caf\xc3\xa9");
            ++next;
        }
    }
    EXPECT_EQ(next, kLines);

    // The status window's lines go under the host until the server names its network.
    bool after = false;
    for (const fs::path& file : LogFiles(fs::path(terminal.Toolkit().LogWriter().Root()), "status")) {
        for (const std::string& line : ReadLines(file)) {
            EXPECT_EQ(line.find("hunter2"), std::string::npos) << line;
            after = after || line.ends_with("] after the secrets");
        }
    }
    EXPECT_TRUE(after);
}

TEST(Logs, AChannelWindowOpenedAgainShowsItsLastLinesAboveADivider)
{
    IrcServer server(FloodingServer());
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(bob.WaitFor(" 366 "));

    ConsoleTerminal terminal(Stored());
    Connect(terminal, server.Port());
    terminal.Type("/join #room");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* - #room)"));
    ASSERT_TRUE(bob.WaitFor("JOIN"));
    // The first time there is nothing to show.
    EXPECT_EQ(terminal.Count(R"(\[2\] )" + std::string(Child::kHistoryDivider)), 0U);
    for (int i = 1; i <= 60; ++i) {
        bob.Send("PRIVMSG #room :said " + std::to_string(i));
    }
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> said 60", 30s));

    ASSERT_TRUE(terminal.App().Childs()->Collection::Item(2)->CloseWindow(true));
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + R"(\*\*\* left channel #room.*)", 15s)) << terminal.Out();
    const std::size_t closedAt = terminal.Out().size();
    terminal.Type("\x1b"
                  "1");
    terminal.Type("/join #room");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + std::string(Child::kHistoryDivider)));
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + R"(\*\*\* joined channel #room)"));

    // What the reopened window shows: the last fifty lines, dated, then the divider, then news.
    std::vector<std::string> shown;
    const std::string out = terminal.Out().substr(closedAt);
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        if (line.starts_with("[2] [") || line == "[2] " + std::string(Child::kHistoryDivider)) {
            shown.push_back(line);
        }
        at = end == std::string::npos ? out.size() : end + 1;
    }
    ASSERT_GE(shown.size(), 52U) << out;
    const QRegularExpression dated(R"(^\[2\] \[\d{4}-\d\d-\d\d [^\]]+\] (.*)$)");
    std::vector<std::string> history;
    std::size_t divider = 0;
    for (; divider < shown.size() && shown[divider] != "[2] " + std::string(Child::kHistoryDivider); ++divider) {
        const auto match = dated.match(QString::fromStdString(shown[divider]));
        ASSERT_TRUE(match.hasMatch()) << shown[divider];
        history.push_back(match.captured(1).toStdString());
    }
    ASSERT_EQ(history.size(), 50U);
    // The part and the join written last time are among them, the first messages are not.
    std::vector<std::string> said;
    for (const std::string& text : history) {
        if (text.starts_with("<bob> said ")) {
            said.push_back(text);
        }
    }
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "<bob> said 60");
    for (std::size_t i = 0; i < said.size(); ++i) {
        EXPECT_EQ(said[i], "<bob> said " + std::to_string(61 - said.size() + i));
    }
    ASSERT_LT(divider + 1, shown.size());
    EXPECT_TRUE(
        QRegularExpression(QString::fromStdString(R"(^\[2\] )" + kStamp + R"(\*\*\* joined channel #room$)"))
            .match(QString::fromStdString(shown[divider + 1]))
            .hasMatch())
        << shown[divider + 1];

    // Shown, not logged again: each line is once in the file.
    terminal.Toolkit().LogWriter().Flush();
    const std::vector<fs::path> files = LogFiles(fs::path(terminal.Toolkit().LogWriter().Root()), "#room");
    ASSERT_EQ(files.size(), 1U);
    std::map<std::string, int> times;
    for (const std::string& line : ReadLines(files[0])) {
        const std::size_t close = line.find("] ");
        ++times[line.substr(close + 2)];
    }
    for (int i = 1; i <= 60; ++i) {
        EXPECT_EQ(times["<bob> said " + std::to_string(i)], 1) << i;
    }
}

TEST(Logs, AFolderThatCannotBeWrittenSaysSoOnceAndLoggingResumesWhenItCan)
{
    IrcServer server;
    QTemporaryDir data;
    // A file where the folder should be: no user, root included, can make the logs there.
    const fs::path blocker = fs::path(data.path().toStdString()) / "Tellix";
    std::ofstream(blocker) << "in the way\n";

    ConsoleTerminal terminal(Stored(), data.path());
    Connect(terminal, server.Port());
    const std::string stopped =
        R"(\[1\] )" + kStamp + "Logging stopped: .*Tellix/logs.*" + R"( \(tried again every second\))";
    ASSERT_TRUE(terminal.Prints(stopped, 5s)) << terminal.Out();
    // The client goes on, and more lines that cannot be written say nothing more.
    terminal.Type("/echo 1 while it is stopped");
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + "while it is stopped"));
    PumpFor(2500ms);
    EXPECT_EQ(terminal.Count(stopped), 1U) << terminal.Out();

    fs::remove(blocker);
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + "Logging resumed", 5s)) << terminal.Out();
    terminal.Type("/echo 1 after it resumed");
    terminal.Toolkit().LogWriter().Flush();
    const std::vector<fs::path> status = LogFiles(fs::path(terminal.Toolkit().LogWriter().Root()), "status");
    ASSERT_EQ(status.size(), 1U);
    std::vector<std::string> texts;
    for (const std::string& line : ReadLines(status[0])) {
        texts.push_back(line.substr(line.find("] ") + 2));
    }
    // The lines that waited are there, in their order, before the later ones.
    const auto waited = std::find(texts.begin(), texts.end(), "while it is stopped");
    const auto later = std::find(texts.begin(), texts.end(), "after it resumed");
    EXPECT_NE(waited, texts.end());
    EXPECT_NE(later, texts.end());
    EXPECT_LT(waited, later);
}

TEST(Logs, AClientKilledMidFloodKeepsEverythingButItsLastSecond)
{
    IrcServer server(FloodingServer());
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #kill");
    ASSERT_TRUE(bob.WaitFor(" 366 "));

    EnsureQtApplication();
    QTemporaryDir config;
    QTemporaryDir data;
    WriteSettings(config.path(), {});
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config.path());
    environment.insert("XDG_DATA_HOME", data.path());
    client.setProcessEnvironment(environment);
    client.start(TELLIX_BINARY, QStringList{"--console"});
    ASSERT_TRUE(client.waitForStarted());
    QByteArray out;
    client.write("/server 127.0.0.1 " + QByteArray::number(server.Port()) + "\n");
    const QRegularExpression connected(R"(^\[1\] = 1 - .* \(con\) - status$)",
                                       QRegularExpression::MultilineOption);
    ASSERT_TRUE(PumpUntil(
        [&] {
            out += client.readAllStandardOutput();
            return connected.match(QString::fromUtf8(out)).hasMatch();
        },
        10s))
        << out.toStdString();
    client.write("/join #kill\n");
    ASSERT_TRUE(PumpUntilPeerSees(bob, "JOIN", 10s)) << out.toStdString();

    // Bob talks for three seconds; each line the client prints is seen with its time.
    using Clock = std::chrono::steady_clock;
    std::map<int, Clock::time_point> seen;
    const QRegularExpression line(R"(^\[2\] \[[^\]]+\] <bob> tick (\d+)$)", QRegularExpression::MultilineOption);
    const auto read = [&] {
        out += client.readAllStandardOutput();
        for (auto it = line.globalMatch(QString::fromUtf8(out)); it.hasNext();) {
            seen.try_emplace(it.next().captured(1).toInt(), Clock::now());
        }
    };
    const auto start = Clock::now();
    int sent = 0;
    while (Clock::now() - start < 3s) {
        bob.Send("PRIVMSG #kill :tick " + std::to_string(sent++));
        PumpFor(10ms);
        read();
    }
    const auto killed = Clock::now();
    client.kill(); // SIGKILL: no chance to write what it holds
    client.waitForFinished();
    read();

    // Every line printed more than a second before the kill is in the file.
    std::set<int> kept;
    for (const fs::path& file : LogFiles(data.path().toStdString() + "/Tellix/logs", "#kill")) {
        for (const std::string& text : ReadLines(file)) {
            const std::size_t at = text.find("<bob> tick ");
            if (at != std::string::npos) {
                kept.insert(std::stoi(text.substr(at + 11)));
            }
        }
    }
    int old = 0;
    for (const auto& [tick, when] : seen) {
        if (killed - when > 1100ms) {
            ++old;
            EXPECT_TRUE(kept.contains(tick))
                << "tick " << tick << " seen "
                << std::chrono::duration_cast<std::chrono::milliseconds>(killed - when).count()
                << " ms before the kill";
        }
    }
    EXPECT_GT(old, 0) << out.toStdString();
    RecordProperty("lines_before_the_last_second", old);
}

TEST(Logs, ALineABouncerReplaysThatTheLogHoldsIsShownOnce)
{
    // Said an hour ago, to the second.
    const std::int64_t hourAgo = std::time(nullptr) / 60 * 60 - 3600;
    const auto stamp = [](std::int64_t second) {
        const std::time_t t = second;
        std::tm utc{};
        gmtime_r(&t, &utc);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &utc);
        return std::string(text);
    };
    const std::string said = "@time=" + stamp(hourAgo) + " :bob!b@h PRIVMSG #room :said an hour ago";
    const std::string later = "@time=" + stamp(hourAgo + 60) + " :bob!b@h PRIVMSG #room :said a bit later";
    ScriptedServer::Session* session = nullptr;
    ScriptedServer server([&](ScriptedServer::Session& s, const std::string& line) {
        session = &s;
        if (line.starts_with("CAP LS")) {
            s.Send(":bnc.test CAP * LS :server-time");
        } else if (line.starts_with("CAP REQ")) {
            s.Send(":bnc.test CAP * ACK :server-time");
        } else if (line.starts_with("USER ")) {
            s.Send(":bnc.test 001 con :Welcome");
            s.Send(":bnc.test 005 con NETWORK=Replay CASEMAPPING=rfc1459 :are supported by this server");
        } else if (line.starts_with("JOIN ")) {
            s.Send(":con!c@h JOIN #room");
        } else if (line.starts_with("PART ")) {
            s.Send(":con!c@h PART #room :");
        }
    });
    ConsoleTerminal terminal(Stored());
    Connect(terminal, server.Port());
    terminal.Type("/join #room");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* - #room)")) << terminal.Out();
    ASSERT_NE(session, nullptr);
    // Said twice within the second: the log holds both, and a replay brings both back.
    session->Send(said);
    session->Send(said);
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> said an hour ago"));

    ASSERT_TRUE(terminal.App().Childs()->Collection::Item(2)->CloseWindow(true));
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + R"(\*\*\* left channel #room.*)", 15s)) << terminal.Out();
    terminal.Type("\x1b"
                  "1");
    terminal.Type("/join #room");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + std::string(Child::kHistoryDivider))) << terminal.Out();
    // The bouncer plays its buffer again: the line the log holds, and one it does not.
    session->Send(said);
    session->Send(said);
    session->Send(later);
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> said a bit later"));
    EXPECT_EQ(terminal.Count(R"(\[2\] )" + kStamp + "<bob> said an hour ago"), 4U)
        << "twice when said, twice from the log, not again from the bouncer:\n"
        << terminal.Out();
    EXPECT_EQ(terminal.Count(R"(\[2\] )" + kStamp + "<bob> said a bit later"), 1U);

    terminal.Toolkit().LogWriter().Flush();
    // Within the first hour of a day, the replayed lines belong to the day before's file.
    const std::vector<fs::path> files = LogFiles(fs::path(terminal.Toolkit().LogWriter().Root()), "#room");
    ASSERT_FALSE(files.empty());
    int hour = 0;
    int bit = 0;
    for (const fs::path& file : files) {
        EXPECT_EQ(file.parent_path().parent_path().filename(), "Replay");
        for (const std::string& line : ReadLines(file)) {
            hour += line.ends_with("] <bob> said an hour ago") ? 1 : 0;
            bit += line.ends_with("] <bob> said a bit later") ? 1 : 0;
        }
    }
    EXPECT_EQ(hour, 2);
    EXPECT_EQ(bit, 1);
}

// Every file under a folder, whatever it is: logs, the search index, its journal.
std::vector<fs::path> EveryFile(const fs::path& root)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file()) {
            files.push_back(it->path());
        }
    }
    return files;
}

bool FileHolds(const fs::path& file, const std::string& text)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.find(text) != std::string::npos;
}

// A login typed to a service reaches it as typed and shows masked where it was typed, the
// server's echo of it too; it is in no file under the data folder, found by no search and
// shown in no history when the window opens again.
TEST(Logs, ALoginTypedToAServiceIsShownMaskedAndKeptNowhere)
{
    const std::string kSecret = "s3cret-token-71";
    for (const bool echo : {false, true}) {
        SCOPED_TRACE(echo ? "with echo-message" : "without echo-message");
        IrcServer::Options options = FloodingServer();
        options.capabilities = echo;
        IrcServer server(options);
        RawPeer service(server.Port());
        service.Register("NickServ");
        QTemporaryDir data;
        {
            ConsoleTerminal terminal(Stored(), data.path());
            Connect(terminal, server.Port());
            terminal.Type("/query NickServ");
            ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* - NickServ)"));
            terminal.Type("\x1b"
                          "2");
            terminal.Type("IDENTIFY " + kSecret);
            ASSERT_TRUE(PumpUntilPeerSees(service, "PRIVMSG NickServ :IDENTIFY " + kSecret));
            ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + R"(# <con> IDENTIFY \*{8})")) << terminal.Out();
            terminal.Type("/msg NickServ GHOST con " + kSecret);
            ASSERT_TRUE(PumpUntilPeerSees(service, "PRIVMSG NickServ :GHOST con " + kSecret));
            ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + R"(-> NickServ: GHOST \*{8})"));
            terminal.Type("/quote PRIVMSG NickServ :SET PASSWORD " + kSecret);
            ASSERT_TRUE(PumpUntilPeerSees(service, "PRIVMSG NickServ :SET PASSWORD " + kSecret));
            ASSERT_TRUE(
                terminal.Prints(R"(\[1\] )" + kStamp + R"(-> Server: \[PRIVMSG NickServ :SET PASSWORD \*{8}\])"));
            terminal.Type("/echo 2 after the login");
            terminal.Toolkit().LogWriter().Flush();
            EXPECT_EQ(terminal.Count(R"(\[2\] )" + kStamp + R"(# <con> IDENTIFY \*{8})"), 1U) << "shown once";

            // Opened again, the window shows what its log holds: the line after, not the login.
            ASSERT_TRUE(terminal.App().Childs()->Collection::Item(2)->CloseWindow(true));
            terminal.Mark();
            terminal.Type("/query NickServ");
            ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + std::string(Child::kHistoryDivider)));
            EXPECT_EQ(terminal.SinceMark().find("IDENTIFY"), std::string::npos) << terminal.SinceMark();
            EXPECT_NE(terminal.SinceMark().find("after the login"), std::string::npos) << terminal.SinceMark();

            terminal.Mark();
            terminal.Type("/search s3cret");
            ASSERT_TRUE(terminal.Prints("No log line holds: s3cret", 30s)) << terminal.SinceMark();
            EXPECT_EQ(terminal.Out().find(kSecret), std::string::npos);
        }
        const std::vector<fs::path> files = EveryFile(fs::path(data.path().toStdString()));
        EXPECT_GE(files.size(), 2U) << "the logs and the index were written";
        for (const fs::path& file : files) {
            EXPECT_FALSE(FileHolds(file, "s3cret")) << file;
        }
    }
}

// A server's time that no log day can be named after counts as none: the line is stamped, and
// logged, as received, in today's file.
TEST(Logs, ALineStampedOutsideTheYearsALogCanNameLandsInTodaysFile)
{
    const std::vector<std::string> times = {"0000-01-01T00:00:00.000Z", "0999-06-15T12:00:00Z",
                                            "1969-12-31T23:59:59Z", "9999-12-31T23:59:59.999Z"};
    ScriptedServer::Session* session = nullptr;
    ScriptedServer server([&](ScriptedServer::Session& s, const std::string& line) {
        session = &s;
        if (line.starts_with("CAP LS")) {
            s.Send(":irc.test CAP * LS :server-time");
        } else if (line.starts_with("CAP REQ")) {
            s.Send(":irc.test CAP * ACK :server-time");
        } else if (line.starts_with("USER ")) {
            s.Send(":irc.test 001 con :Welcome");
            s.Send(":irc.test 005 con NETWORK=Stamped :are supported by this server");
        } else if (line.starts_with("JOIN ")) {
            s.Send(":con!c@h JOIN #room");
        }
    });
    ConsoleTerminal terminal(Stored());
    Connect(terminal, server.Port());
    terminal.Type("/join #room");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* - #room)")) << terminal.Out();
    ASSERT_NE(session, nullptr);
    for (std::size_t i = 0; i < times.size(); ++i) {
        session->Send("@time=" + times[i] + " :bob!b@h PRIVMSG #room :stamped " + std::to_string(i));
    }
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bob> stamped 3")) << terminal.Out();

    terminal.Toolkit().LogWriter().Flush();
    const std::vector<fs::path> files = LogFiles(fs::path(terminal.Toolkit().LogWriter().Root()), "#room");
    ASSERT_EQ(files.size(), 1U);
    EXPECT_EQ(files.front().filename(), Today() + ".log");
    std::vector<std::string> stamped;
    for (const std::string& line : ReadLines(files.front())) {
        if (line.find("<bob> stamped") != std::string::npos) {
            EXPECT_TRUE(line.starts_with("[" + Today() + "T")) << line;
            stamped.push_back(line.substr(line.find("<bob>")));
        }
    }
    EXPECT_EQ(stamped, (std::vector<std::string>{"<bob> stamped 0", "<bob> stamped 1", "<bob> stamped 2",
                                                 "<bob> stamped 3"}));
}

} // namespace
} // namespace tellix::test
