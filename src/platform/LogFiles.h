#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// The folder of the logs as the core sees it. Paths are relative to it, "/"-separated, and
// already safe (chatlog::Folder). Appending never waits for the disk.
class LogFiles {
public:
    virtual ~LogFiles() = default;

    // Adds `text` (one or more whole lines, each ending in '\n') to the end of the file.
    virtual void Append(std::string_view path, std::string_view text) = 0;
    // Adds one line: "[" + stamp + "] " + the window's line as the log keeps it
    // (chatlog::AppendLineText) + '\n', made straight into what waits to be written.
    virtual void AppendLine(std::string_view path, std::string_view stamp, std::string_view shown) = 0;
    // Waits until everything appended so far is written (or has failed).
    virtual void Flush() = 0;
    // The newest `count` lines of the day files in `folder`, oldest first, without their '\n'.
    virtual std::vector<std::string> LastLines(std::string_view folder, std::size_t count) = 0;
    // The lines of one day file of `folder` ("2026-12-08"), in the file's order, without their '\n'.
    virtual std::vector<std::string> DayLines(std::string_view /*folder*/, std::string_view /*day*/) { return {}; }
    // The names of the folders inside `folder` (a network's targets), in no order.
    virtual std::vector<std::string> Folders(std::string_view /*folder*/) { return {}; }
    // The folder itself, as the user finds it.
    virtual std::string Root() const = 0;

    // Called on the event loop's thread: writing failed (what and why, for the user), and,
    // once it has worked again, resumed (empty text).
    std::function<void(const std::string& trouble)> Trouble;
};

} // namespace tellix
