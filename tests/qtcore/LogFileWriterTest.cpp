// The writer of the logs: what it appends lands whole and in order, the hook names the files
// that grew, and the last lines of a folder are read from its newest day files backwards.
#include "platform/qtcore/LogFileWriter.h"
#include "support/QtLoop.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string Numbered(const std::string& day, int i)
{
    return "[" + day + "T10:00:00+00:00] <bob> line " + std::to_string(i);
}

TEST(LogFileWriter, AppendedLinesLandInOrderAndTheHookNamesTheFilesThatGrew)
{
    EnsureQtApplication();
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/logs";
    LogFileWriter writer(root, 50ms);
    std::vector<std::vector<std::string>> batches;
    writer.Written = [&](const std::vector<std::string>& paths) { batches.push_back(paths); };
    for (int i = 0; i < 1000; ++i) {
        writer.AppendLine("net/#a/2026-12-08.log", "2026-12-08T10:00:00+00:00", "<bob> line " + std::to_string(i));
    }
    writer.AppendLine("net/status/2026-12-08.log", "2026-12-08T10:00:00+00:00", "bell\x07");
    writer.Flush();
    std::ifstream in(root + "/net/#a/2026-12-08.log");
    int n = 0;
    for (std::string line; std::getline(in, line); ++n) {
        ASSERT_EQ(line, Numbered("2026-12-08", n));
    }
    EXPECT_EQ(n, 1000);
    std::ifstream status(root + "/net/status/2026-12-08.log");
    std::string line;
    std::getline(status, line);
    EXPECT_EQ(line, "[2026-12-08T10:00:00+00:00] bell\xef\xbf\xbd");

    // Told on the event loop, after the files were flushed, each file once per batch.
    ASSERT_TRUE(PumpUntil([&] { return !batches.empty(); }));
    std::vector<std::string> told;
    for (const auto& batch : batches) {
        told.insert(told.end(), batch.begin(), batch.end());
    }
    std::sort(told.begin(), told.end());
    told.erase(std::unique(told.begin(), told.end()), told.end());
    EXPECT_EQ(told,
              (std::vector<std::string>{root + "/net/#a/2026-12-08.log", root + "/net/status/2026-12-08.log"}));
}

// Lines gathered during a turn of the event loop reach the file within the interval without
// anyone asking for a flush; lines to two files in turn keep each file's order.
TEST(LogFileWriter, LinesReachTheirFilesWithinTheIntervalUnasked)
{
    EnsureQtApplication();
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/logs";
    LogFileWriter writer(root, 50ms);
    for (int i = 0; i < 10; ++i) {
        writer.AppendLine(i % 2 == 0 ? "net/#a/2026-12-08.log" : "net/#b/2026-12-08.log",
                          "2026-12-08T10:00:00+00:00", "<bob> line " + std::to_string(i));
    }
    const auto lines = [&](const std::string& path) {
        std::vector<std::string> read;
        std::ifstream in(root + "/" + path);
        for (std::string line; std::getline(in, line);) {
            read.push_back(line);
        }
        return read;
    };
    ASSERT_TRUE(PumpUntil(
        [&] { return lines("net/#a/2026-12-08.log").size() == 5 && lines("net/#b/2026-12-08.log").size() == 5; },
        2s));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(
            lines(i % 2 == 0 ? "net/#a/2026-12-08.log" : "net/#b/2026-12-08.log")[static_cast<std::size_t>(i / 2)],
            Numbered("2026-12-08", i));
    }
}

// A write that fails part-way, the file allowed to grow no further, leaves the file ending in a
// whole line; once writing works again, the file holds each line exactly once, in order.
TEST(LogFileWriter, AWriteThatFailsPartWayRepeatsNoLineOnceWritingResumes)
{
    EnsureQtApplication();
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/logs";
    const std::string path = "net/#a/2026-12-08.log";
    const std::string stamp = "2026-12-08T10:00:00+00:00";
    LogFileWriter writer(root, 50ms);
    std::vector<std::string> troubles;
    writer.Trouble = [&](const std::string& trouble) { troubles.push_back(trouble); };
    const auto lines = [&] {
        std::vector<std::string> read;
        std::ifstream in(root + "/" + path, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            read.push_back(line);
        }
        return read;
    };
    writer.AppendLine(path, stamp, "<bob> line 0");
    writer.Flush();

    // Beyond 1000 bytes every write of this process fails (EFBIG, the signal ignored): the
    // limit falls inside a line.
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 1; i < 50; ++i) {
        writer.AppendLine(path, stamp, "<bob> line " + std::to_string(i));
    }
    writer.Flush();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
    std::signal(SIGXFSZ, oldSignal);
    const std::uintmax_t size = fs::file_size(root + "/" + path);
    EXPECT_LE(size, 1000U);
    EXPECT_GT(size, 900U);
    const std::vector<std::string> held = lines();
    for (std::size_t i = 0; i < held.size(); ++i) {
        EXPECT_EQ(held[i], Numbered("2026-12-08", static_cast<int>(i)));
    }

    for (int i = 50; i < 60; ++i) {
        writer.AppendLine(path, stamp, "<bob> line " + std::to_string(i));
    }
    writer.Flush();
    const std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), 60U);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(written[static_cast<std::size_t>(i)], Numbered("2026-12-08", i));
    }
    ASSERT_TRUE(PumpUntil([&] { return troubles.size() == 2; }));
    EXPECT_NE(troubles[0].find("cannot write"), std::string::npos) << troubles[0];
    EXPECT_EQ(troubles[1], "") << "logging resumed";
}

TEST(LogFileWriter, TheLastLinesComeFromTheNewestDaysBackwards)
{
    EnsureQtApplication();
    QTemporaryDir dir;
    const fs::path folder = fs::path(dir.path().toStdString()) / "net" / "#a";
    fs::create_directories(folder);
    // Three days; the newest is long enough to be read in several pieces from its end.
    const std::vector<std::pair<std::string, int>> days = {
        {"2026-12-06", 5}, {"2026-12-07", 3}, {"2026-12-08", 4000}};
    for (const auto& [day, count] : days) {
        std::ofstream out(folder / (day + ".log"));
        for (int i = 0; i < count; ++i) {
            out << Numbered(day, i) << " " << std::string(40, 'x') << "\n";
        }
    }
    // Not a day file: never read.
    std::ofstream(folder / "notes.txt") << "[2026-12-09T10:00:00+00:00] not a log\n";
    LogFileWriter writer(dir.path().toStdString());

    const struct {
        std::size_t count;
        std::string first;
        std::string last;
    } rows[] = {
        {1, Numbered("2026-12-08", 3999), Numbered("2026-12-08", 3999)},
        {50, Numbered("2026-12-08", 3950), Numbered("2026-12-08", 3999)},
        {4000, Numbered("2026-12-08", 0), Numbered("2026-12-08", 3999)},
        {4002, Numbered("2026-12-07", 1), Numbered("2026-12-08", 3999)},
        {4005, Numbered("2026-12-06", 3), Numbered("2026-12-08", 3999)},
        {10000, Numbered("2026-12-06", 0), Numbered("2026-12-08", 3999)},
    };
    for (const auto& row : rows) {
        const std::vector<std::string> lines = writer.LastLines("net/#a", row.count);
        ASSERT_EQ(lines.size(), std::min<std::size_t>(row.count, 4008)) << row.count;
        EXPECT_EQ(lines.front().substr(0, row.first.size()), row.first) << row.count;
        EXPECT_EQ(lines.back().substr(0, row.last.size()), row.last) << row.count;
        for (const std::string& line : lines) {
            ASSERT_TRUE(line.ends_with(std::string(40, 'x'))) << "a whole line: " << line;
        }
    }
    EXPECT_TRUE(writer.LastLines("net/#a", 0).empty());
    EXPECT_TRUE(writer.LastLines("net/#none", 10).empty());
}

} // namespace
} // namespace tellix::test
