#include "platform/qtcore/LogIndex.h"

#include "app/Application.h"
#include "util/LogSearch.h"

#include <QDateTime>
#include <QDir>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace tellix {

namespace {

namespace fs = std::filesystem;

// A line's row number is its time in seconds shifted by this, plus a running number: newest
// first is then the index's own order, and a date range is a range of row numbers.
constexpr int kTimeShift = 24;
constexpr std::int64_t kLatestTime = (std::int64_t{1} << 38) - 1;
// The bytes before the indexed end are kept, to notice a file written anew in place.
constexpr std::size_t kTailBytes = 64;
constexpr std::size_t kReadChunk = 1 << 20;
// How many of the newest lines found the best are picked from.
constexpr int kRankedLines = 1000;
// The journal is copied into the database when the indexing has nothing to do and it holds
// this many pages, so that a flood's batches are not held up by it; and at the latest when
// it holds the second number, so that an endless flood does not grow it without end.
constexpr int kJournalPagesWhenIdle = 256;
constexpr int kJournalPagesAtMost = 16384;

struct DbError : std::runtime_error {
    DbError(int code, const std::string& what) : std::runtime_error(what), code(code) {}
    int code;
};

bool Damaged(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

class Db {
public:
    Db() = default;
    ~Db() { Close(); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    void Open(const std::string& path, int flags)
    {
        // SQLite's allocation statistics take a process-wide lock per allocation; an indexed line makes dozens.
        static const bool configured = [] { return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK; }();
        static_cast<void>(configured);
        Close();
        const int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
            Close();
            throw DbError(rc, message);
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, 5000);
    }
    void Close()
    {
        if (db_ != nullptr) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
        }
    }
    void Exec(const std::string& sql) { Exec(sql.c_str()); }
    void Exec(const char* sql)
    {
        char* message = nullptr;
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
        if (rc != SQLITE_OK) {
            const std::string text = message != nullptr ? message : sqlite3_errstr(rc);
            sqlite3_free(message);
            throw DbError(rc, text);
        }
    }
    void Check(int rc) const
    {
        if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
            throw DbError(rc, sqlite3_errmsg(db_));
        }
    }
    sqlite3* Get() const { return db_; }
    bool IsOpen() const { return db_ != nullptr; }

private:
    sqlite3* db_ = nullptr;
};

class Stmt {
public:
    Stmt() = default;
    Stmt(Db& db, const std::string& sql) : db_(&db)
    {
        db.Check(sqlite3_prepare_v3(db.Get(), sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                    &stmt_, nullptr));
    }
    ~Stmt() { sqlite3_finalize(stmt_); }
    Stmt(Stmt&& other) noexcept : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}
    Stmt& operator=(Stmt&& other) noexcept
    {
        std::swap(db_, other.db_);
        std::swap(stmt_, other.stmt_);
        return *this;
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& Bind(int at, std::int64_t value)
    {
        db_->Check(sqlite3_bind_int64(stmt_, at, value));
        return *this;
    }
    Stmt& Bind(int at, std::string_view text)
    {
        db_->Check(sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // The text is not copied: it must stay as it is until the statement has run.
    Stmt& BindUnsafe(int at, std::string_view text)
    {
        db_->Check(sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
        return *this;
    }
    Stmt& BindBlob(int at, std::string_view bytes)
    {
        db_->Check(sqlite3_bind_blob(stmt_, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // True while a row is there to read.
    bool Step()
    {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) {
            return true;
        }
        sqlite3_reset(stmt_);
        db_->Check(rc);
        return false;
    }
    // The step's result code, for the callers that answer a constraint themselves.
    int StepCode()
    {
        const int rc = sqlite3_step(stmt_);
        sqlite3_reset(stmt_);
        return rc;
    }
    void Run()
    {
        while (Step()) {
        }
    }
    void Reset()
    {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Text(int column) const
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        return data != nullptr ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                               : std::string();
    }

private:
    Db* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

// How well a line fits the words, lower first as the rank is: the words' occurrences for
// its length in words (the second argument). Unlike bm25 it needs nothing of the other
// lines, which for a common word costs a walk over millions.
void Closeness(const Fts5ExtensionApi* api, Fts5Context* context, sqlite3_context* result, int count,
               sqlite3_value** values)
{
    int hits = 0;
    if (count < 1 || api->xInstCount(context, &hits) != SQLITE_OK) {
        sqlite3_result_double(result, 0);
        return;
    }
    const double tokens = static_cast<double>(sqlite3_value_int64(values[0]));
    sqlite3_result_double(result, -static_cast<double>(hits) / (tokens + 4.0));
}

fts5_api* Fts5(sqlite3* db)
{
    fts5_api* api = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(stmt, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(stmt);
    }
    sqlite3_finalize(stmt);
    return api;
}

void AddCloseness(sqlite3* db)
{
    if (fts5_api* api = Fts5(db)) {
        api->xCreateFunction(api, "closeness", nullptr, &Closeness, nullptr);
    }
}

// The number of words the full-text table makes of a text. The table keeps no sizes of its
// own (that is a row written per line); the line's row holds this instead.
class WordCounter {
public:
    explicit WordCounter(sqlite3* db)
    {
        fts5_api* api = Fts5(db);
        void* context = nullptr;
        if (api == nullptr || api->xFindTokenizer(api, "unicode61", &context, &tokenizer_) != SQLITE_OK) {
            throw DbError(SQLITE_ERROR, "the full-text tokenizer is missing");
        }
        const char* arguments[] = {"remove_diacritics", "2"};
        if (tokenizer_.xCreate(context, arguments, 2, &instance_) != SQLITE_OK) {
            throw DbError(SQLITE_ERROR, "the full-text tokenizer could not start");
        }
    }
    ~WordCounter() { tokenizer_.xDelete(instance_); }
    WordCounter(const WordCounter&) = delete;
    WordCounter& operator=(const WordCounter&) = delete;

    int Count(std::string_view text) const
    {
        // Nearly every line is ASCII, where a word is a run of letters and digits; the rest
        // go through the tokenizer itself, whose idea of a letter is Unicode's.
        int words = 0;
        bool inWord = false;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x80) {
                return CountSlowly(text);
            }
            const bool letter = (byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z');
            words += letter && !inWord ? 1 : 0;
            inWord = letter;
        }
        return words;
    }

private:
    int CountSlowly(std::string_view text) const
    {
        int words = 0;
        tokenizer_.xTokenize(instance_, &words, FTS5_TOKENIZE_DOCUMENT, text.data(), static_cast<int>(text.size()),
                             [](void* context, int flags, const char*, int, int, int) {
                                 if ((flags & FTS5_TOKEN_COLOCATED) == 0) {
                                     ++*static_cast<int*>(context);
                                 }
                                 return SQLITE_OK;
                             });
        return words;
    }

    fts5_tokenizer tokenizer_{};
    Fts5Tokenizer* instance_ = nullptr;
};

// The log files under the logs folder, with their sizes.
std::vector<std::pair<std::string, std::int64_t>> LogFiles(const std::string& folder)
{
    std::vector<std::pair<std::string, std::int64_t>> files;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() == ".log") {
            files.emplace_back(it->path().string(), static_cast<std::int64_t>(it->file_size(error)));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::int64_t FileSize(const std::string& path)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

std::string ReadAt(std::ifstream& file, std::int64_t offset, std::size_t count)
{
    std::string bytes(count, '\0');
    file.clear();
    file.seekg(offset);
    file.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return bytes;
}

} // namespace

// The indexing thread's connection and what it does with it.
class LogIndex::Writer {
public:
    Writer(LogIndex& owner) : owner_(owner), path_(owner.databasePath_.toStdString()) {}

    // Opens the database, making it anew when it cannot be trusted; then reads what the files
    // hold beyond it.
    void Open(bool forceWhole)
    {
        bool whole = forceWhole || !fs::exists(path_);
        if (!whole) {
            try {
                OpenExisting();
            } catch (const DbError& e) {
                // A busy or unreadable index is left alone: another copy of the program may own it.
                if (!Damaged(e.code)) {
                    throw;
                }
                whole = true;
            }
        }
        if (whole) {
            MakeAnew();
        }
        owner_.generation_.fetch_add(1);
        Refresh(whole);
    }

    // The files named, caught up in one transaction.
    void CatchUp(const std::set<std::string>& paths)
    {
        Begin();
        deadFiles_.clear();
        for (const std::string& path : paths) {
            if (owner_.stopping_) {
                break;
            }
            CatchUpFile(path, nullptr);
        }
        Commit();
    }

    bool IsOpen() const { return db_.IsOpen(); }

    // Called when nothing waits to be indexed.
    void Rest()
    {
        if (db_.IsOpen() && journalPages_ >= kJournalPagesWhenIdle) {
            CopyJournal(db_.Get(), nullptr);
        }
    }

private:
    void OpenExisting()
    {
        words_.reset();
        db_.Open(path_, SQLITE_OPEN_READWRITE);
        Configure();
        std::int64_t version = 0;
        {
            Stmt check(db_, "PRAGMA quick_check");
            if (!check.Step() || check.Text(0) != "ok") {
                throw DbError(SQLITE_CORRUPT, "the index failed its check");
            }
            check.Reset();
            Stmt user(db_, "PRAGMA user_version");
            if (user.Step()) {
                version = user.Int(0);
            }
            user.Reset();
        }
        if (version != kSchemaVersion) {
            throw DbError(SQLITE_CORRUPT, "the index has another layout");
        }
        Prepare();
    }

    void MakeAnew()
    {
        words_.reset();
        db_.Close();
        statements_.reset();
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
            std::error_code error;
            fs::remove(path_ + suffix, error);
        }
        std::error_code error;
        fs::create_directories(fs::path(path_).parent_path(), error);
        db_.Open(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        Configure();
        db_.Exec("BEGIN;"
                 "CREATE TABLE files(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, network TEXT NOT NULL,"
                 " target TEXT NOT NULL, target_key TEXT NOT NULL, offset INTEGER NOT NULL, tail BLOB);"
                 "CREATE TABLE lines(id INTEGER PRIMARY KEY, file INTEGER NOT NULL, pos INTEGER NOT NULL,"
                 " words INTEGER NOT NULL);"
                 "CREATE TABLE state(key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;"
                 "CREATE VIRTUAL TABLE text USING fts5(body, content='', columnsize=0,"
                 " tokenize='unicode61 remove_diacritics 2');"
                 // Eight segments a level before they merge, not four: a flood's batches are merged
                 // half as often, for a few more segments a search looks into.
                 "INSERT INTO text(text, rank) VALUES('automerge', 8);"
                 "INSERT INTO state VALUES('sequence', 0);");
        db_.Exec("PRAGMA user_version = " + std::to_string(kSchemaVersion) + "; COMMIT;");
        Prepare();
    }

    void Configure()
    {
        db_.Exec("PRAGMA journal_mode = WAL");
        db_.Exec("PRAGMA synchronous = NORMAL; PRAGMA cache_size = -65536; PRAGMA temp_store = MEMORY");
        // In place of the automatic copy after whichever commit crosses its mark.
        journalPages_ = 0;
        sqlite3_wal_hook(
            db_.Get(),
            [](void* context, sqlite3* db, const char* name, int pages) {
                auto& writer = *static_cast<Writer*>(context);
                writer.journalPages_ = pages;
                if (pages >= kJournalPagesAtMost) {
                    writer.CopyJournal(db, name);
                }
                return SQLITE_OK;
            },
            this);
    }

    void CopyJournal(sqlite3* db, const char* name)
    {
        int left = 0;
        int copied = 0;
        // Passive: a search reading meanwhile is not waited for; what it holds back is copied later.
        if (sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, &left, &copied) == SQLITE_OK &&
            copied == left) {
            journalPages_ = 0;
        }
    }

    struct Statements {
        Stmt findFile, addFile, setFile, addLine, addText, setSequence, killLines, dropFile, allFiles;
    };

    void Prepare()
    {
        statements_ = std::make_unique<Statements>(Statements{
            Stmt(db_, "SELECT id, offset, tail FROM files WHERE path = ?1"),
            Stmt(db_,
                 "INSERT INTO files(path, network, target, target_key, offset, tail) VALUES(?1, ?2, ?3, ?4, 0, "
                 "x'')"),
            Stmt(db_, "UPDATE files SET offset = ?2, tail = ?3 WHERE id = ?1"),
            Stmt(db_, "INSERT INTO lines(id, file, pos, words) VALUES(?1, ?2, ?3, ?4)"),
            Stmt(db_, "INSERT INTO text(rowid, body) VALUES(?1, ?2)"),
            Stmt(db_, "UPDATE state SET value = ?1 WHERE key = 'sequence'"),
            // The lines' words stay in the full-text table, which cannot forget them without
            // their text; the rows stay too, so their numbers are never handed out again.
            Stmt(db_, "UPDATE lines SET file = 0 WHERE file IN (SELECT value FROM json_each(?1))"),
            Stmt(db_, "DELETE FROM files WHERE id = ?1"),
            Stmt(db_, "SELECT path, offset, tail FROM files"),
        });
        words_ = std::make_unique<WordCounter>(db_.Get());
        Stmt sequence(db_, "SELECT value FROM state WHERE key = 'sequence'");
        sequence_ = sequence.Step() ? sequence.Int(0) : 0;
        sequence.Reset();
    }

    void Begin() { db_.Exec("BEGIN IMMEDIATE"); }

    void Commit()
    {
        Statements& s = *statements_;
        if (!deadFiles_.empty()) {
            FlushDead();
        }
        s.setSequence.Bind(1, sequence_).Run();
        s.setSequence.Reset();
        db_.Exec("COMMIT");
    }

    // Whole: every file read from its start. Otherwise the files that changed since the index
    // last saw them, and those gone from the folder forgotten.
    void Refresh(bool whole)
    {
        const auto onDisk = LogFiles(owner_.logsFolder_.toStdString());
        std::unordered_map<std::string, std::pair<std::int64_t, std::string>> known;
        {
            Stmt& all = statements_->allFiles;
            while (all.Step()) {
                known.emplace(all.Text(0), std::pair{all.Int(1), all.Text(2)});
            }
        }
        // A file of the size the index knows may still have been written anew: its last bytes tell.
        const auto sameEnd = [](const std::string& path, std::int64_t size, const std::string& tail) {
            std::ifstream file(path, std::ios::binary);
            return file && ReadAt(file, size - static_cast<std::int64_t>(tail.size()), tail.size()) == tail;
        };
        std::vector<std::pair<std::string, std::int64_t>> changed;
        std::int64_t total = 0;
        for (const auto& [path, size] : onDisk) {
            const auto it = known.find(path);
            if (whole || it == known.end() || it->second.first != size ||
                !sameEnd(path, size, it->second.second)) {
                changed.emplace_back(path, size);
                total += size;
            }
            if (it != known.end()) {
                known.erase(it);
            }
        }
        if (changed.empty() && known.empty()) {
            return;
        }
        // Day by day across all folders: row numbers grow with time, so the rows are mostly
        // appended at the end of the tables instead of scattered through them.
        std::sort(changed.begin(), changed.end(), [](const auto& a, const auto& b) {
            const std::string_view dayA = std::string_view(a.first).substr(a.first.rfind('/') + 1);
            const std::string_view dayB = std::string_view(b.first).substr(b.first.rfind('/') + 1);
            return dayA != dayB ? dayA < dayB : a.first < b.first;
        });
        Q_EMIT owner_.RebuildStarted(whole);
        Begin();
        deadFiles_.clear();
        for (const auto& [path, size] : known) {
            Forget(path);
        }
        std::int64_t done = 0;
        std::int64_t lines = 0;
        auto lastReport = std::chrono::steady_clock::now();
        for (const auto& [path, size] : changed) {
            if (owner_.stopping_) {
                break;
            }
            lines += CatchUpFile(path, [&](std::int64_t bytes) {
                const auto now = std::chrono::steady_clock::now();
                if (now - lastReport > std::chrono::milliseconds(100)) {
                    lastReport = now;
                    Q_EMIT owner_.RebuildProgress(done + bytes, total);
                }
            });
            done += size;
            // A long rebuild commits as it goes, so that searches see it grow.
            if (++filesSinceCommit_ >= 64) {
                filesSinceCommit_ = 0;
                Commit();
                Begin();
            }
        }
        Commit();
        Q_EMIT owner_.RebuildProgress(total, total);
        Q_EMIT owner_.RebuildFinished(lines, static_cast<qint64>(changed.size()));
    }

    void Forget(const std::string& path)
    {
        Statements& s = *statements_;
        s.findFile.Bind(1, path);
        if (s.findFile.Step()) {
            const std::int64_t id = s.findFile.Int(0);
            s.findFile.Reset();
            deadFiles_.push_back(id);
            s.dropFile.Bind(1, id).Run();
            s.dropFile.Reset();
        }
        s.findFile.Reset();
    }

    // Reads one file on from where the index stopped; returns the lines added.
    template <typename Progress> std::int64_t CatchUpFile(const std::string& path, const Progress& progress)
    {
        Statements& s = *statements_;
        const std::int64_t size = FileSize(path);
        std::int64_t id = 0;
        std::int64_t offset = 0;
        std::string tail;
        s.findFile.Bind(1, path);
        if (s.findFile.Step()) {
            id = s.findFile.Int(0);
            offset = s.findFile.Int(1);
            tail = s.findFile.Text(2);
        }
        s.findFile.Reset();
        if (size < 0) {
            if (id != 0) {
                Forget(path);
            }
            return 0;
        }
        if (id == 0) {
            const fs::path where(path);
            const std::string target = LogNameFromFolder(where.parent_path().filename().string());
            const std::string network = LogNameFromFolder(where.parent_path().parent_path().filename().string());
            s.addFile.Bind(1, path).Bind(2, network).Bind(3, target).Bind(4, FoldSearchName(target)).Run();
            s.addFile.Reset();
            id = sqlite3_last_insert_rowid(db_.Get());
        }
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            return 0;
        }
        if (offset > 0 && (size < offset ||
                           ReadAt(file, offset - static_cast<std::int64_t>(tail.size()), tail.size()) != tail)) {
            // Cut short or written anew: everything it held is read again.
            deadFiles_.push_back(id);
            FlushDead();
            offset = 0;
        }
        std::int64_t added = 0;
        std::int64_t lastTime = 0;
        std::string chunk;
        std::string body;
        while (offset < size && !owner_.stopping_) {
            // Only what the file holds: a day of a quiet channel is a few kilobytes.
            chunk =
                ReadAt(file, offset, static_cast<std::size_t>(std::min<std::int64_t>(size - offset, kReadChunk)));
            const std::size_t lastBreak = chunk.rfind('\n');
            if (lastBreak == std::string::npos) {
                if (chunk.size() < kReadChunk) {
                    break; // a line still being written
                }
                // One absurdly long line: indexed in pieces.
            }
            const std::size_t end = lastBreak == std::string::npos ? chunk.size() : lastBreak + 1;
            std::size_t start = 0;
            while (start < end) {
                std::size_t stop = chunk.find('\n', start);
                if (stop == std::string::npos || stop >= end) {
                    stop = end;
                }
                const LogLine line = ParseLogLine(std::string_view(chunk).substr(start, stop - start));
                if (line.utc) {
                    lastTime = std::clamp<std::int64_t>(*line.utc, 0, kLatestTime);
                }
                body.clear();
                AppendIndexText(line.text, body);
                AddLine(id, offset + static_cast<std::int64_t>(start), lastTime, body, words_->Count(body));
                ++added;
                start = stop + 1;
            }
            offset += static_cast<std::int64_t>(end);
            progress(offset);
        }
        const std::size_t keep = static_cast<std::size_t>(std::min<std::int64_t>(offset, kTailBytes));
        s.setFile.Bind(1, id).Bind(2, offset).BindBlob(
            3, ReadAt(file, offset - static_cast<std::int64_t>(keep), keep));
        s.setFile.Run();
        s.setFile.Reset();
        return added;
    }

    void CatchUpFile(const std::string& path, std::nullptr_t)
    {
        CatchUpFile(path, [](std::int64_t) {});
    }

    // Lines of a file read again must be gone before their file's lines come back.
    void FlushDead()
    {
        Statements& s = *statements_;
        std::string ids = "[";
        for (const std::int64_t dead : deadFiles_) {
            ids += (ids.size() > 1 ? "," : "") + std::to_string(dead);
        }
        ids += "]";
        s.killLines.Bind(1, ids).Run();
        s.killLines.Reset();
        deadFiles_.clear();
    }

    void AddLine(std::int64_t file, std::int64_t pos, std::int64_t time, const std::string& body, int words)
    {
        Statements& s = *statements_;
        std::int64_t row = 0;
        for (;;) {
            row = (time << kTimeShift) | (sequence_++ & ((std::int64_t{1} << kTimeShift) - 1));
            s.addLine.Bind(1, row).Bind(2, file).Bind(3, pos).Bind(4, std::int64_t{words});
            const int rc = s.addLine.StepCode();
            if (rc == SQLITE_DONE) {
                break;
            }
            if ((rc & 0xff) != SQLITE_CONSTRAINT) {
                db_.Check(rc);
            }
        }
        s.addText.Bind(1, row).BindUnsafe(2, body).Run();
    }

    LogIndex& owner_;
    std::string path_;
    Db db_;
    std::unique_ptr<Statements> statements_;
    std::unique_ptr<WordCounter> words_;
    std::int64_t sequence_ = 0;
    std::vector<std::int64_t> deadFiles_;
    int filesSinceCommit_ = 0;
    int journalPages_ = 0;
};

// The search thread's connection.
class LogIndex::Reader {
public:
    explicit Reader(LogIndex& owner) : owner_(owner) {}

    QList<SearchHit> Run(const SearchRequest& request, quint64 number, QString& error)
    {
        QList<SearchHit> hits;
        const std::string match = SearchMatchQuery(request.words.toStdString());
        if (match.empty()) {
            return hits;
        }
        try {
            if (generation_ != owner_.generation_.load()) {
                generation_ = owner_.generation_.load();
                db_.Open(owner_.databasePath_.toStdString(), SQLITE_OPEN_READWRITE);
                AddCloseness(db_.Get());
            }
            struct Cancel {
                LogIndex* owner;
                quint64 number;
            } cancel{&owner_, number};
            sqlite3_progress_handler(
                db_.Get(), 1000,
                [](void* context) {
                    const auto* c = static_cast<Cancel*>(context);
                    return c->owner->latestSearch_.load() != c->number || c->owner->stopping_.load() ? 1 : 0;
                },
                &cancel);
            std::string sql = "SELECT text.rowid AS id, f.path, l.pos, f.network, f.target, ";
            sql += request.best ? "closeness(text, l.words) AS r" : "0";
            sql += " FROM text"
                   " CROSS JOIN lines AS l ON l.id = text.rowid"
                   " CROSS JOIN files AS f ON f.id = l.file"
                   " WHERE text MATCH ?1 AND text.rowid BETWEEN ?2 AND ?3";
            if (!request.network.isEmpty()) {
                sql += " AND f.network = ?4 COLLATE NOCASE";
            }
            if (!request.target.isEmpty()) {
                sql += " AND f.target_key = ?5";
            }
            sql += " ORDER BY text.rowid DESC";
            if (request.best) {
                // The best are taken from the newest lines found, so that a common word does
                // not rank millions.
                sql = "SELECT * FROM (" + sql + " LIMIT " + std::to_string(kRankedLines) + ") ORDER BY r";
            }
            sql += " LIMIT ?6";
            Stmt query(db_, sql);
            std::int64_t low = 0;
            std::int64_t high = std::numeric_limits<std::int64_t>::max();
            if (request.from.isValid()) {
                low = std::max<std::int64_t>(request.from.startOfDay().toSecsSinceEpoch(), 0) << kTimeShift;
            }
            if (request.to.isValid()) {
                high = (std::max<std::int64_t>(request.to.addDays(1).startOfDay().toSecsSinceEpoch(), 0)
                        << kTimeShift) -
                       1;
            }
            query.Bind(1, match).Bind(2, low).Bind(3, high).Bind(6, std::max(request.limit, 0));
            if (!request.network.isEmpty()) {
                query.Bind(4, request.network.toStdString());
            }
            if (!request.target.isEmpty()) {
                query.Bind(5, FoldSearchName(request.target.toStdString()));
            }
            while (query.Step()) {
                SearchHit hit;
                hit.utc = query.Int(0) >> kTimeShift;
                hit.path = QString::fromStdString(query.Text(1));
                hit.offset = query.Int(2);
                hit.network = QString::fromStdString(query.Text(3));
                hit.target = QString::fromStdString(query.Text(4));
                hits.append(std::move(hit));
            }
            sqlite3_progress_handler(db_.Get(), 0, nullptr, nullptr);
        } catch (const DbError& e) {
            sqlite3_progress_handler(db_.Get(), 0, nullptr, nullptr);
            if ((e.code & 0xff) != SQLITE_INTERRUPT) {
                error = QString::fromStdString(e.what());
            }
            generation_ = -1; // opened again next time, in case the file was replaced
            return {};
        }
        for (SearchHit& hit : hits) {
            ReadContext(hit);
        }
        return hits;
    }

private:
    // The line and its neighbours, from the file.
    static void ReadContext(SearchHit& hit)
    {
        constexpr std::int64_t kBack = 8192;
        constexpr std::size_t kAhead = 16384;
        std::ifstream file(hit.path.toStdString(), std::ios::binary);
        if (!file) {
            return;
        }
        const std::int64_t from = std::max<std::int64_t>(hit.offset - kBack, 0);
        const std::string bytes = ReadAt(file, from, static_cast<std::size_t>(hit.offset - from) + kAhead);
        const auto at = static_cast<std::size_t>(hit.offset - from);
        if (at > bytes.size()) {
            return;
        }
        auto lineAt = [&](std::size_t start) {
            const std::size_t end = bytes.find('\n', start);
            return QByteArray(bytes.data() + start,
                              static_cast<qsizetype>((end == std::string::npos ? bytes.size() : end) - start));
        };
        hit.line = lineAt(at);
        if (at > 0) {
            const std::size_t previousEnd = at - 1;
            const std::size_t previousStart =
                previousEnd == 0 ? std::string::npos : bytes.rfind('\n', previousEnd - 1);
            if (previousStart != std::string::npos || from == 0) {
                const std::size_t start = previousStart == std::string::npos ? 0 : previousStart + 1;
                hit.before = QByteArray(bytes.data() + start, static_cast<qsizetype>(previousEnd - start));
            }
        }
        const std::size_t lineEnd = bytes.find('\n', at);
        if (lineEnd != std::string::npos && lineEnd + 1 < bytes.size()) {
            const std::size_t nextEnd = bytes.find('\n', lineEnd + 1);
            if (nextEnd != std::string::npos) {
                hit.after = QByteArray(bytes.data() + lineEnd + 1, static_cast<qsizetype>(nextEnd - lineEnd - 1));
            }
        }
    }

    LogIndex& owner_;
    Db db_;
    int generation_ = 0;
};

LogIndex::LogIndex(QString logsFolder, QString databasePath, QObject* parent)
    : QObject(parent), logsFolder_(std::move(logsFolder)), databasePath_(std::move(databasePath))
{
    qRegisterMetaType<tellix::SearchHit>();
    qRegisterMetaType<QList<tellix::SearchHit>>();
    indexThread_ = std::thread([this] { IndexLoop(); });
    searchThread_ = std::thread([this] { SearchLoop(); });
}

LogIndex::~LogIndex()
{
    {
        std::lock_guard lock(indexMutex_);
        std::lock_guard searchLock(searchMutex_);
        stopping_ = true;
    }
    // The searching connection closes first: the last one to close copies the journal into the
    // database file, and two closing at once may each leave that to the other.
    searchWake_.notify_all();
    searchThread_.join();
    indexWake_.notify_all();
    indexThread_.join();
}

QString LogIndex::DataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return base + QStringLiteral("/Tellix");
}

LogIndex* LogIndex::OpenDefault(QObject* parent)
{
    const QString folder = DataFolder();
    auto* index = new LogIndex(folder + QStringLiteral("/logs"), folder + QStringLiteral("/index.sqlite"), parent);
    index->Start();
    return index;
}

void LogIndex::ReportInStatusWindow()
{
    auto echo = [](const std::string& line) {
        if (const auto& app = Application::Instance()) {
            app->Echo(Application::kStatusWindow, line);
        }
    };
    connect(this, &LogIndex::RebuildStarted, this, [echo](bool whole) {
        echo(whole ? "*** Rebuilding the search index from the logs..."
                   : "*** Bringing the search index up to date with the logs...");
    });
    connect(this, &LogIndex::RebuildFinished, this, [echo](qint64 lines, qint64 files) {
        echo("*** Search index ready: " + std::to_string(lines) + " lines from " + std::to_string(files) +
             " files indexed.");
    });
}

void LogIndex::Start()
{
    {
        std::lock_guard lock(indexMutex_);
        startWanted_ = true;
    }
    indexWake_.notify_one();
}

void LogIndex::CatchUp(const std::vector<std::string>& paths)
{
    {
        std::lock_guard lock(indexMutex_);
        pendingPaths_.insert(paths.begin(), paths.end());
    }
    indexWake_.notify_one();
}

quint64 LogIndex::Search(const SearchRequest& request)
{
    quint64 number = 0;
    {
        std::lock_guard lock(searchMutex_);
        number = ++pendingNumber_;
        pendingSearch_ = std::make_unique<SearchRequest>(request);
        latestSearch_ = number;
    }
    searchWake_.notify_one();
    return number;
}

bool LogIndex::Settled() const
{
    std::lock_guard lock(indexMutex_);
    return !busy_ && !startWanted_ && pendingPaths_.empty();
}

void LogIndex::IndexLoop()
{
    Writer writer(*this);
    bool rebuild = false;
    for (;;) {
        bool open = false;
        std::set<std::string> paths;
        {
            std::unique_lock lock(indexMutex_);
            indexWake_.wait(lock, [&] {
                return stopping_.load() || startWanted_ || rebuild || (writer.IsOpen() && !pendingPaths_.empty());
            });
            if (stopping_) {
                return;
            }
            open = startWanted_ || rebuild;
            startWanted_ = false;
            if (writer.IsOpen() || open) {
                paths.swap(pendingPaths_);
            }
            busy_ = true;
        }
        try {
            if (open) {
                writer.Open(rebuild);
                rebuild = false;
            }
            if (!paths.empty() && writer.IsOpen()) {
                writer.CatchUp(paths);
            }
        } catch (const DbError& e) {
            std::fprintf(stderr, "tellix: search index: %s\n", e.what());
            // One the database itself spoils is made again from the files.
            rebuild = Damaged(e.code);
        }
        bool idle = false;
        {
            std::lock_guard lock(indexMutex_);
            busy_ = false;
            idle = pendingPaths_.empty() && !startWanted_ && !rebuild;
        }
        if (idle) {
            Q_EMIT Idle();
            writer.Rest();
        }
    }
}

void LogIndex::SearchLoop()
{
    Reader reader(*this);
    for (;;) {
        std::unique_ptr<SearchRequest> request;
        quint64 number = 0;
        {
            std::unique_lock lock(searchMutex_);
            // No search runs before the index exists.
            searchWake_.wait_for(lock, std::chrono::milliseconds(50),
                                 [&] { return stopping_.load() || (pendingSearch_ && generation_.load() > 0); });
            if (stopping_) {
                return;
            }
            if (!pendingSearch_ || generation_.load() == 0) {
                continue;
            }
            request = std::move(pendingSearch_);
            number = pendingNumber_;
        }
        QString error;
        QList<SearchHit> hits = reader.Run(*request, number, error);
        if (latestSearch_.load() == number) {
            Q_EMIT Found(number, hits, error);
        }
    }
}

} // namespace tellix
