#pragma once

#include "platform/LogFiles.h"

#include <QObject>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tellix {

// Writes the logs from a thread of its own: Append only adds to a buffer, and the worker
// writes what gathered at least every `interval` (sooner when much has), flushing each file
// to the kernel, so a crash loses at most the last interval. A file that cannot be written
// keeps its lines (up to kHeldLimit bytes in all) and is tried again at every interval.
class LogFileWriter final : public QObject, public LogFiles {
public:
    explicit LogFileWriter(std::string root, std::chrono::milliseconds interval = std::chrono::seconds(1));
    // Writes what is left.
    ~LogFileWriter() override;
    LogFileWriter(const LogFileWriter&) = delete;
    LogFileWriter& operator=(const LogFileWriter&) = delete;

    // $XDG_DATA_HOME/Tellix/logs, XDG_DATA_HOME defaulting to ~/.local/share.
    static std::string DefaultRoot();

    void Append(std::string_view path, std::string_view text) override;
    void AppendLine(std::string_view path, std::string_view stamp, std::string_view shown) override;
    void Flush() override;
    std::vector<std::string> LastLines(std::string_view folder, std::size_t count) override;
    std::vector<std::string> DayLines(std::string_view folder, std::string_view day) override;
    std::vector<std::string> Folders(std::string_view folder) override;
    std::string Root() const override { return root_; }

    // After each batch written and flushed, on the event loop's thread: the files (full paths)
    // that grew.
    std::function<void(const std::vector<std::string>& paths)> Written;

    // Bytes held for files that failed; beyond this the oldest waiting batch is dropped.
    static constexpr std::size_t kHeldLimit = 64u << 20;
    // A buffer this full is written without waiting for the interval.
    static constexpr std::size_t kEagerBytes = 1u << 20;

private:
    using Texts = absl::flat_hash_map<std::string, std::string>;
    // The text waiting for `path`; the caller holds the lock.
    std::string& PendingFor(std::string_view path);
    // Gives the worker what AppendLine gathered.
    void HandOver();
    void Appended(std::size_t bytes);
    void Run();
    // Writes one batch; returns the files written and the first failure's text.
    void Write(Texts& batch, std::vector<std::string>& written, std::string& trouble);
    // On failure `text` keeps only what the file does not hold: the file ends in a whole
    // line, and no line is written twice.
    bool WriteFile(const std::string& path, std::string& text, std::string& trouble);
    void CloseFiles();
    void Report(std::vector<std::string> written, std::string trouble);

    const std::string root_;
    const std::chrono::milliseconds interval_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    Texts pending_;
    // The file appended to last, and its text: a flood goes to one file line after line.
    std::string lastPath_;
    std::string* lastText_ = nullptr;
    // A written batch's buffer, emptied, for the next file to fill without growing one anew.
    std::string spare_;
    // Lines of one file gathered on the caller's thread without the lock, handed over in one
    // piece when the file changes, when they grow large, on Flush and at the end of the event
    // loop's turn: a flood takes the lock once per turn, not once per line.
    std::string stagedPath_;
    std::string staged_;
    bool handOverPosted_ = false;
    static constexpr std::size_t kStagedBytes = 64u << 10;
    std::size_t pendingBytes_ = 0;
    std::uint64_t appended_ = 0;
    std::uint64_t written_ = 0;
    bool flushAsked_ = false;
    bool stop_ = false;

    // The worker's own.
    Texts held_;
    std::size_t heldBytes_ = 0;
    absl::flat_hash_map<std::string, int> open_; // file descriptors
    absl::flat_hash_set<std::string> folders_;
    bool failing_ = false;

    std::thread worker_;
};

} // namespace tellix
