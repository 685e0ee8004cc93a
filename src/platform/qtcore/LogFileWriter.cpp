#include "platform/qtcore/LogFileWriter.h"

#include "windows/ChatLog.h"

#include <QMetaObject>

#include <absl/strings/string_view.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace tellix {

namespace {

// Open files kept between batches; a busy client writes to a few at a time.
constexpr std::size_t kOpenLimit = 64;

bool IsDayFile(const std::string& name)
{
    // "YYYY-MM-DD.log"
    if (name.size() != 14 || !name.ends_with(".log")) {
        return false;
    }
    for (std::size_t i = 0; i < 10; ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? name[i] != '-' : (name[i] < '0' || name[i] > '9')) {
            return false;
        }
    }
    return true;
}

// The last `count` lines of a file, read from its end backwards, oldest first; put before
// what `lines` holds.
void ReadTail(const std::filesystem::path& file, std::size_t count, std::vector<std::string>& lines)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return;
    }
    in.seekg(0, std::ios::end);
    std::streamoff end = in.tellg();
    constexpr std::streamoff kChunk = 64 * 1024;
    std::string tail;
    std::size_t breaks = 0;
    // One more break than lines: the first line found may be cut.
    while (end > 0 && breaks <= count) {
        const std::streamoff from = std::max<std::streamoff>(0, end - kChunk);
        std::string chunk(static_cast<std::size_t>(end - from), '\0');
        in.seekg(from);
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        breaks += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n'));
        tail.insert(0, chunk);
        end = from;
    }
    if (!tail.empty() && tail.back() == '\n') {
        tail.pop_back();
    }
    std::vector<std::string> found;
    std::size_t stop = tail.size();
    while (found.size() < count && !tail.empty()) {
        const std::size_t at = stop == 0 ? std::string::npos : tail.rfind('\n', stop - 1);
        if (at == std::string::npos) {
            // The first piece is a whole line only when the file's start was read.
            if (end == 0) {
                found.push_back(tail.substr(0, stop));
            }
            break;
        }
        found.push_back(tail.substr(at + 1, stop - at - 1));
        stop = at;
    }
    std::reverse(found.begin(), found.end());
    lines.insert(lines.begin(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
}

} // namespace

LogFileWriter::LogFileWriter(std::string root, std::chrono::milliseconds interval)
    : root_(std::move(root)), interval_(interval), worker_([this] { Run(); })
{
}

LogFileWriter::~LogFileWriter()
{
    HandOver();
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
    CloseFiles();
}

std::string LogFileWriter::DefaultRoot()
{
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr) {
        data = std::string(home) + "/.local/share";
    } else {
        data = ".local/share";
    }
    return data + "/Tellix/logs";
}

std::string& LogFileWriter::PendingFor(std::string_view path)
{
    if (lastText_ != nullptr && path == lastPath_) {
        return *lastText_;
    }
    auto it = pending_.find(absl::string_view(path.data(), path.size()));
    if (it == pending_.end()) {
        it = pending_.emplace(std::string(path), std::move(spare_)).first;
        spare_ = std::string();
    }
    lastPath_.assign(path);
    lastText_ = &it->second;
    return it->second;
}

void LogFileWriter::Appended(std::size_t bytes)
{
    pendingBytes_ += bytes;
    ++appended_;
}

void LogFileWriter::Append(std::string_view path, std::string_view text)
{
    HandOver();
    bool eager = false;
    {
        const std::lock_guard lock(mutex_);
        PendingFor(path).append(text);
        Appended(text.size());
        eager = pendingBytes_ >= kEagerBytes;
    }
    if (eager) {
        wake_.notify_one();
    }
}

void LogFileWriter::AppendLine(std::string_view path, std::string_view stamp, std::string_view shown)
{
    if (path != stagedPath_ || staged_.size() >= kStagedBytes) {
        HandOver();
        stagedPath_.assign(path);
    }
    staged_ += '[';
    staged_.append(stamp);
    staged_ += "] ";
    chatlog::AppendLineText(shown, staged_);
    staged_ += '\n';
    if (!handOverPosted_) {
        handOverPosted_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                handOverPosted_ = false;
                HandOver();
            },
            Qt::QueuedConnection);
    }
}

void LogFileWriter::HandOver()
{
    if (staged_.empty()) {
        return;
    }
    const std::size_t bytes = staged_.size();
    bool eager = false;
    {
        const std::lock_guard lock(mutex_);
        std::string& text = PendingFor(stagedPath_);
        if (text.empty()) {
            text.swap(staged_);
        } else {
            text.append(staged_);
        }
        Appended(bytes);
        eager = pendingBytes_ >= kEagerBytes;
    }
    staged_.clear();
    if (eager) {
        wake_.notify_one();
    }
}

void LogFileWriter::Flush()
{
    HandOver();
    std::unique_lock lock(mutex_);
    const std::uint64_t target = appended_;
    if (written_ >= target) {
        return;
    }
    flushAsked_ = true;
    wake_.notify_one();
    done_.wait(lock, [&] { return written_ >= target || stop_; });
}

std::vector<std::string> LogFileWriter::LastLines(std::string_view folder, std::size_t count)
{
    std::vector<std::string> lines;
    if (count == 0) {
        return lines;
    }
    Flush();
    std::error_code error;
    const std::filesystem::path dir = std::filesystem::path(root_) / std::string(folder);
    std::vector<std::string> days;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (IsDayFile(name)) {
            days.push_back(std::move(name));
        }
    }
    // Newest day first, until enough lines are found.
    std::sort(days.begin(), days.end(), std::greater<>());
    for (const std::string& day : days) {
        if (lines.size() >= count) {
            break;
        }
        ReadTail(dir / day, count - lines.size(), lines);
    }
    return lines;
}

std::vector<std::string> LogFileWriter::DayLines(std::string_view folder, std::string_view day)
{
    std::vector<std::string> lines;
    const std::string name = std::string(day) + ".log";
    if (!IsDayFile(name)) {
        return lines;
    }
    Flush();
    std::ifstream file(std::filesystem::path(root_) / std::string(folder) / name, std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> LogFileWriter::Folders(std::string_view folder)
{
    std::vector<std::string> names;
    std::error_code error;
    const std::filesystem::path dir = std::filesystem::path(root_) / std::string(folder);
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        if (it->is_directory(error)) {
            names.push_back(it->path().filename().string());
        }
    }
    return names;
}

void LogFileWriter::Run()
{
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait_for(lock, interval_, [&] { return stop_ || flushAsked_ || pendingBytes_ >= kEagerBytes; });
        Texts batch;
        batch.swap(pending_);
        lastText_ = nullptr;
        pendingBytes_ = 0;
        flushAsked_ = false;
        const std::uint64_t upTo = appended_;
        const bool stopping = stop_;
        lock.unlock();

        std::vector<std::string> written;
        std::string trouble;
        if (!batch.empty() || !held_.empty()) {
            Write(batch, written, trouble);
        }
        Report(std::move(written), std::move(trouble));
        std::string spare;
        for (auto& [path, text] : batch) {
            if (text.capacity() > spare.capacity()) {
                spare = std::move(text);
            }
        }
        spare.clear();

        lock.lock();
        if (spare.capacity() > spare_.capacity()) {
            spare_ = std::move(spare);
        }
        written_ = upTo;
        done_.notify_all();
        if (stopping) {
            return;
        }
    }
}

void LogFileWriter::Write(Texts& batch, std::vector<std::string>& written, std::string& trouble)
{
    // What failed before goes first, ahead of the newer lines of its file.
    for (auto& [path, text] : held_) {
        auto it = batch.find(path);
        if (it == batch.end()) {
            batch.emplace(path, std::move(text));
        } else {
            it->second.insert(0, text);
        }
    }
    held_.clear();
    heldBytes_ = 0;
    for (auto& [path, text] : batch) {
        std::string why;
        if (WriteFile(path, text, why)) {
            written.push_back(root_ + "/" + path);
            continue;
        }
        if (trouble.empty()) {
            trouble = why;
        }
        if (heldBytes_ + text.size() <= kHeldLimit) {
            heldBytes_ += text.size();
            held_.emplace(path, std::move(text));
        }
    }
}

bool LogFileWriter::WriteFile(const std::string& path, std::string& text, std::string& trouble)
{
    const std::string full = root_ + "/" + path;
    auto it = open_.find(path);
    if (it == open_.end()) {
        const std::string folder = full.substr(0, full.rfind('/'));
        if (!folders_.contains(folder)) {
            std::error_code error;
            std::filesystem::create_directories(folder, error);
            if (error) {
                trouble = "cannot make " + folder + ": " + error.message();
                return false;
            }
            folders_.insert(folder);
        }
        if (open_.size() >= kOpenLimit) {
            CloseFiles();
        }
        const int file = ::open(full.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (file < 0) {
            trouble = "cannot open " + full + ": " + std::strerror(errno);
            folders_.erase(folder); // it may have gone
            return false;
        }
        it = open_.emplace(path, file).first;
    }
    const int file = it->second;
    // Only this thread appends to the file: its end is where this text starts.
    const off_t start = ::lseek(file, 0, SEEK_END);
    std::size_t done = 0;
    int error = 0;
    while (done < text.size() && error == 0) {
        const ssize_t wrote = ::write(file, text.data() + done, text.size() - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
        } else if (wrote == 0 || errno != EINTR) {
            error = wrote == 0 ? EIO : errno;
        }
    }
    if (error == 0) {
        return true;
    }
    trouble = "cannot write " + full + ": " + std::strerror(error);
    // A line cut short is taken back, so that the file ends in a whole line; it is written
    // again whole with what follows. Where it cannot be, the rest of it follows it.
    const std::size_t lineEnd = done == 0 ? std::string::npos : text.rfind('\n', done - 1);
    const std::size_t whole = lineEnd == std::string::npos ? 0 : lineEnd + 1;
    if (whole < done && start >= 0 && ::ftruncate(file, start + static_cast<off_t>(whole)) == 0) {
        done = whole;
    }
    text.erase(0, done);
    ::close(file);
    open_.erase(it);
    return false;
}

void LogFileWriter::CloseFiles()
{
    for (auto& [path, file] : open_) {
        ::close(file);
    }
    open_.clear();
}

void LogFileWriter::Report(std::vector<std::string> written, std::string trouble)
{
    const bool failed = !trouble.empty();
    const bool resumed = !failed && failing_ && held_.empty();
    const bool tell = failed && !failing_;
    if (failed) {
        failing_ = true;
    } else if (resumed) {
        failing_ = false;
    }
    if (written.empty() && !tell && !resumed) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, written = std::move(written), trouble = std::move(trouble), tell, resumed] {
            if (!written.empty() && Written) {
                Written(written);
            }
            if ((tell || resumed) && Trouble) {
                Trouble(tell ? trouble : std::string());
            }
        },
        Qt::QueuedConnection);
}

} // namespace tellix
