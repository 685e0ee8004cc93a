// The command line as a user meets it, with no display at all.
#include "app/Settings.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tellix {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome RunTellix(const std::string& arguments)
{
    const std::string errFile = testing::TempDir() + "tellix-command-line.err";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" TELLIX_BINARY "' " +
                                arguments + " 2>'" + errFile + "'";
    Outcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return outcome;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        outcome.out.append(buffer, n);
    }
    const int raw = pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errFile);
    std::ostringstream text;
    text << err.rdbuf();
    outcome.err = text.str();
    return outcome;
}

TEST(CommandLine, HelpVersionAndUnknownOptionsAreAnsweredWithoutADisplay)
{
    const std::string version =
        std::to_string(VersionMajor) + "." + std::to_string(VersionMinor) + "." + std::to_string(VersionRevision);
    struct Row {
        std::string arguments;
        int status;
        std::vector<std::string> inOut; // texts standard output must hold
        std::string err;                // what standard error must say, exactly
    };
    const std::vector<Row> rows = {
        {"--version", 0, {"tellix " + version + "\n"}, ""},
        {"-v", 0, {"tellix " + version + "\n"}, ""},
        {"--help", 0, {"Usage: tellix [options] [address]\n", "--version", "--console", "irc://host"}, ""},
        {"-h", 0, {"Usage: tellix [options] [address]\n"}, ""},
        {"--bogus", 2, {}, "tellix: Unknown option 'bogus'.\nTry 'tellix --help' for the options.\n"},
        {"-x --version", 2, {}, "tellix: Unknown option 'x'.\nTry 'tellix --help' for the options.\n"},
        {"irc://a irc://b", 2, {}, "tellix: one address at most, not 2.\nTry 'tellix --help' for the options.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        const Outcome outcome = RunTellix(row.arguments);
        EXPECT_EQ(outcome.status, row.status);
        for (const std::string& text : row.inOut) {
            EXPECT_NE(outcome.out.find(text), std::string::npos) << outcome.out;
        }
        if (row.inOut.empty()) {
            EXPECT_EQ(outcome.out, "");
        }
        EXPECT_EQ(outcome.err, row.err);
    }
    // The version alone, nothing else.
    EXPECT_EQ(RunTellix("--version").out, "tellix " + version + "\n");
}

} // namespace
} // namespace tellix
