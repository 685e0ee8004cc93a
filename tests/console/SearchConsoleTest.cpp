// "/search words" in the terminal front-end, through a pipe, over log files on disk.
#include "support/QtLoop.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tellix::test {
namespace {

void WriteLog(const QString& root, const QString& relative, const QByteArray& text)
{
    const QString path = root + "/Tellix/logs/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(text);
}

// Runs the program with `input` on standard input until it ends; its standard output.
QByteArray RunConsole(const QString& data, const QByteArray& input)
{
    EnsureQtApplication();
    QTemporaryDir config;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config.path());
    environment.insert("XDG_DATA_HOME", data);
    process.setProcessEnvironment(environment);
    process.start(TELLIX_BINARY, {"--console"});
    process.waitForStarted();
    process.write(input);
    process.closeWriteChannel();
    QByteArray out;
    EXPECT_TRUE(PumpUntil(
        [&] {
            out += process.readAllStandardOutput();
            return process.state() == QProcess::NotRunning;
        },
        std::chrono::seconds(30)));
    out += process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 0);
    return out;
}

// The lines of `out` that are not a window's, a caption's or the connect data's.
std::vector<std::string> Printed(const QByteArray& out)
{
    std::vector<std::string> lines;
    for (const QByteArray& line : out.split('\n')) {
        if (!line.isEmpty() && !line.startsWith("[1] ") && !line.startsWith("[connect] ")) {
            lines.push_back(line.toStdString());
        }
    }
    return lines;
}

struct Case {
    const char* typed;
    std::vector<std::string> printed;
};

// Each search prints its lines, one each, in the order typed, even when the input ends first;
// the index is built from the files at the first search.
TEST(SearchConsole, SearchPrintsOneStableLinePerHit)
{
    QTemporaryDir data;
    WriteLog(data.path(), "Libera.Chat/#room/2026-12-08.log",
             "[2026-12-08T11:34:56+01:00] <bob> the quiet harbour\n"
             "[2026-12-08T11:35:10+01:00] * anna waves at the \x03"
             "04harbour\x03\n"
             "[2026-12-08T11:36:00+01:00] <bob> Grüße aus der Straße\n");
    WriteLog(data.path(), "OFTC/anna/2026-12-07.log",
             "[2026-12-07T23:59:59-05:00] <anna> harbour lights, quiet night\n");
    WriteLog(data.path(), "OFTC/status/2026-12-07.log", "[2026-12-07T08:00:00+00:00] *** \x1b[2J escape\n");
    const std::vector<Case> cases = {
        {"/search \"quiet harbour\"", {"[2026-12-08 11:34] #room <bob> the quiet harbour"}},
        {"/SEARCH strasse GRÜSSE", {"No log line holds: strasse GRÜSSE"}},
        {"/search straße grüße", {"[2026-12-08 11:36] #room <bob> Grüße aus der Straße"}},
        {"/search lights quiet", {"[2026-12-07 23:59] anna <anna> harbour lights, quiet night"}},
        {"/search escape", {"[2026-12-07 08:00] status *** \xe2\x90\x9b[2J escape"}},
        {"/search NEAR(\" -", {"No log line holds: NEAR(\" -"}},
        {"/searching harbour", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Printed(RunConsole(data.path(), QByteArray(c.typed) + "\n")), c.printed) << c.typed;
    }
    // Typed text is searched for, never an error: a NUL parts two words as a blank does.
    EXPECT_EQ(Printed(RunConsole(data.path(), QByteArray("/search lights\0quiet\n", 21))),
              std::vector<std::string>{"[2026-12-07 23:59] anna <anna> harbour lights, quiet night"});
    // Nothing searchable is said in the window typed into.
    for (const char* typed : {"/search \" - *", "/search"}) {
        const QByteArray out = RunConsole(data.path(), QByteArray(typed) + "\n");
        EXPECT_TRUE(out.contains("] SEARCH: nothing to search for; type words or \"a phrase\"\n"))
            << out.toStdString();
        EXPECT_EQ(Printed(out), std::vector<std::string>{}) << typed;
    }
    // The first start made the index and said so in the status window; later starts find it whole.
    QDir(data.path() + "/Tellix").remove("index.sqlite");
    const QByteArray out = RunConsole(data.path(), "/search harbour\n");
    EXPECT_TRUE(out.contains("] *** Rebuilding the search index from the logs...\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("] *** Search index ready: 5 lines from 3 files indexed.\n")) << out.toStdString();
    EXPECT_FALSE(RunConsole(data.path(), "/search harbour\n").contains("*** Rebuilding"));
}

// Twenty lines at most, the best first: a line that holds the word twice comes before one
// that holds it once.
TEST(SearchConsole, PrintsTheBestTwenty)
{
    QTemporaryDir data;
    QByteArray log;
    for (int i = 0; i < 45; ++i) {
        log += "[2026-12-08T10:" + QByteArray::number(10 + i) + ":00+01:00] <bob> rain number " +
               QByteArray::number(i) + (i == 30 ? " rain rain" : "") + "\n";
    }
    WriteLog(data.path(), "Libera.Chat/#room/2026-12-08.log", log);
    const std::vector<std::string> printed = Printed(RunConsole(data.path(), "/search rain\n"));
    ASSERT_EQ(printed.size(), 20U);
    EXPECT_EQ(printed.front(), "[2026-12-08 10:40] #room <bob> rain number 30 rain rain");
    for (const std::string& line : printed) {
        EXPECT_NE(line.find("<bob> rain number "), std::string::npos) << line;
    }
}

} // namespace
} // namespace tellix::test
