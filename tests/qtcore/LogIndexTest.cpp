// The search index over a generated tree of log files: phrases and filters answered as a
// plain reading of the files would answer them, a lost or spoiled index made again from the
// files, files that grow or are written anew, and queries meant to break it.
#include "platform/qtcore/LogIndex.h"
#include "support/QtLoop.h"
#include "util/LogSearch.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace tellix {
namespace {

using namespace std::chrono_literals;

struct GeneratedLine {
    std::string network;
    std::string target;
    std::string path;
    std::int64_t offset;
    std::int64_t utc;
    std::string text;
    std::string line;
};

// Several networks, channels (one with a non-ASCII name), a query and the status window over
// three days, lines of words drawn from a small vocabulary with UTF-8 among them.
class LogTree {
public:
    explicit LogTree(const QString& root) : root_(root.toStdString()) {}

    void Generate()
    {
        std::mt19937 random(18);
        const std::vector<std::string> words = {"harbour", "quiet", "lantern", "rain",   "zephyr",
                                                "naïve",   "Grüße", "über",    "tellix", "ёлка"};
        const std::vector<std::pair<std::string, std::string>> places = {{"Libera.Chat", "#tellix"},
                                                                         {"Libera.Chat", "#stra\xc3\x9f"
                                                                                         "e"},
                                                                         {"Libera.Chat", "bob"},
                                                                         {"OFTC", "#tellix"},
                                                                         {"OFTC", "status"}};
        for (const auto& [network, target] : places) {
            for (int day = 6; day <= 8; ++day) {
                const std::string folder = root_ + "/" + network + "/" + target;
                std::filesystem::create_directories(folder);
                const std::string path = folder + "/2026-12-0" + std::to_string(day) + ".log";
                for (int n = 0; n < 40; ++n) {
                    std::string text = n % 7 == 0 ? "* anna waves" : "<anna>";
                    const int count = 1 + static_cast<int>(random() % 5);
                    for (int w = 0; w < count; ++w) {
                        text += " " + words[random() % words.size()];
                    }
                    Append(network, target, path, Stamp(day, n), text);
                }
            }
        }
    }

    // "2026-12-0Nthh:mm:ss+01:00", a minute apart.
    static std::string Stamp(int day, int n)
    {
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "2026-12-%02dT%02d:%02d:00+01:00", day, 9 + n / 60, n % 60);
        return stamp;
    }

    void Append(const std::string& network, const std::string& target, const std::string& path,
                const std::string& stamp, const std::string& text)
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out.seekp(0, std::ios::end);
        const std::int64_t offset = out.tellp();
        const std::string line = "[" + stamp + "] " + text;
        out << line << '\n';
        lines.push_back({network, target, path, offset, *ParseLogLine(line).utc, text, line});
    }

    std::vector<GeneratedLine> lines;

private:
    std::string root_;
};

// The words of a text as the index splits them, in lower case (enough for this vocabulary).
std::vector<std::string> Words(const std::string& text)
{
    QString folded = QString::fromStdString(text).toLower();
    std::vector<std::string> words;
    for (const QString& word : folded.split(
             QRegularExpression(QStringLiteral("[^\\w]+"), QRegularExpression::UseUnicodePropertiesOption),
             Qt::SkipEmptyParts)) {
        words.push_back(word.toStdString());
    }
    return words;
}

bool HasPhrase(const std::string& text, const std::string& phrase)
{
    const auto words = Words(text);
    const auto wanted = Words(phrase);
    return std::search(words.begin(), words.end(), wanted.begin(), wanted.end()) != words.end();
}

class LogIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureQtApplication();
        ASSERT_TRUE(dir_.isValid());
        tree_ = std::make_unique<LogTree>(Logs());
        tree_->Generate();
    }

    QString Logs() const { return dir_.path() + QStringLiteral("/Tellix/logs"); }
    QString Database() const { return dir_.path() + QStringLiteral("/Tellix/index.sqlite"); }

    std::unique_ptr<LogIndex> OpenIndex()
    {
        auto index = std::make_unique<LogIndex>(Logs(), Database());
        index->Start();
        EXPECT_TRUE(test::PumpUntil([&] { return index->Settled(); }, 20s));
        return index;
    }

    // Waits for the answer to one search.
    static QList<SearchHit> Ask(LogIndex& index, SearchRequest request, QString* error = nullptr)
    {
        if (request.limit == 200) {
            request.limit = 100000;
        }
        bool answered = false;
        QList<SearchHit> hits;
        QString problem;
        quint64 number = 0;
        // Connected first: the answer may be sent before Search returns.
        const auto connection =
            QObject::connect(&index, &LogIndex::Found, &index,
                             [&](quint64 search, const QList<SearchHit>& found, const QString& e) {
                                 if (search == number) {
                                     answered = true;
                                     hits = found;
                                     problem = e;
                                 }
                             });
        number = index.Search(request);
        EXPECT_TRUE(test::PumpUntil([&] { return answered; }, 20s)) << request.words.toStdString();
        QObject::disconnect(connection);
        EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
        if (error != nullptr) {
            *error = problem;
        }
        return hits;
    }

    // Each hit's file and place, to compare answers.
    static std::set<std::pair<std::string, std::int64_t>> Places(const QList<SearchHit>& hits)
    {
        std::set<std::pair<std::string, std::int64_t>> places;
        for (const SearchHit& hit : hits) {
            places.emplace(hit.path.toStdString(), hit.offset);
        }
        return places;
    }

    std::set<std::pair<std::string, std::int64_t>> Expected(const std::function<bool(const GeneratedLine&)>& keep)
    {
        std::set<std::pair<std::string, std::int64_t>> places;
        for (const GeneratedLine& line : tree_->lines) {
            if (keep(line)) {
                places.emplace(line.path, line.offset);
            }
        }
        return places;
    }

    QTemporaryDir dir_;
    std::unique_ptr<LogTree> tree_;
};

std::int64_t DayStart(QDate day)
{
    return day.startOfDay().toSecsSinceEpoch();
}

struct FilterCase {
    const char* words;
    const char* network;
    const char* target;
    QDate from;
    QDate to;
    // The phrase a line must hold: the query as a plain reading of the files answers it.
    std::vector<std::string> phrases;
};

TEST_F(LogIndexTest, WordsPhrasesAndEveryFilterFindWhatTheFilesHold)
{
    const auto index = OpenIndex();
    const std::vector<FilterCase> cases = {
        {"harbour", "", "", {}, {}, {"harbour"}},
        {"\"quiet harbour\"", "", "", {}, {}, {"quiet harbour"}},
        {"rain \"lantern zephyr\"", "", "", {}, {}, {"rain", "lantern zephyr"}},
        {"Grüße", "", "", {}, {}, {"grüße"}},
        {"ЁЛКА", "", "", {}, {}, {"ёлка"}},
        {"naïve über", "", "", {}, {}, {"naïve", "über"}},
        {"waves", "", "", {}, {}, {"waves"}},
        {"harbour", "oftc", "", {}, {}, {"harbour"}},
        {"harbour", "Libera.Chat", "#TELLIX", {}, {}, {"harbour"}},
        {"quiet",
         "",
         "#Stra\xc3\x9f"
         "e",
         {},
         {},
         {"quiet"}},
        {"quiet", "", "BOB", {}, {}, {"quiet"}},
        {"tellix", "OFTC", "status", {}, {}, {"tellix"}},
        {"rain", "", "", QDate(2026, 12, 7), QDate(2026, 12, 7), {"rain"}},
        {"rain", "", "", QDate(2026, 12, 8), {}, {"rain"}},
        {"rain", "", "", {}, QDate(2026, 12, 6), {"rain"}},
        {"zephyr", "Libera.Chat", "#tellix", QDate(2026, 12, 7), QDate(2026, 12, 8), {"zephyr"}},
        {"absent", "", "", {}, {}, {"absent"}},
    };
    for (const FilterCase& c : cases) {
        SearchRequest request;
        request.words = QString::fromUtf8(c.words);
        request.network = QString::fromUtf8(c.network);
        request.target = QString::fromUtf8(c.target);
        request.from = c.from;
        request.to = c.to;
        const QList<SearchHit> hits = Ask(*index, request);
        const auto expected = Expected([&](const GeneratedLine& line) {
            for (const std::string& phrase : c.phrases) {
                if (!HasPhrase(line.text, phrase)) {
                    return false;
                }
            }
            return (request.network.isEmpty() ||
                    QString::fromStdString(line.network).compare(request.network, Qt::CaseInsensitive) == 0) &&
                   (request.target.isEmpty() || FoldSearchName(line.target) == FoldSearchName(c.target)) &&
                   (!c.from.isValid() || line.utc >= DayStart(c.from)) &&
                   (!c.to.isValid() || line.utc < DayStart(c.to.addDays(1)));
        });
        EXPECT_EQ(Places(hits), expected) << c.words << " network " << c.network << " target " << c.target;
        EXPECT_EQ(static_cast<std::size_t>(hits.size()), expected.size()) << c.words;
        if (std::string(c.words) != "absent") {
            EXPECT_FALSE(expected.empty()) << "the generated logs hold no " << c.words;
        }
    }
}

// Newest first, each hit read back from its file with the lines around it.
TEST_F(LogIndexTest, HitsComeNewestFirstWithTheirNeighbours)
{
    const auto index = OpenIndex();
    SearchRequest request;
    request.words = QStringLiteral("lantern");
    const QList<SearchHit> hits = Ask(*index, request);
    ASSERT_GT(hits.size(), 3);
    for (qsizetype i = 1; i < hits.size(); ++i) {
        EXPECT_GE(hits[i - 1].utc, hits[i].utc);
    }
    for (const SearchHit& hit : hits) {
        const auto at = std::find_if(tree_->lines.begin(), tree_->lines.end(), [&](const GeneratedLine& line) {
            return line.path == hit.path.toStdString() && line.offset == hit.offset;
        });
        ASSERT_NE(at, tree_->lines.end());
        EXPECT_EQ(hit.line.toStdString(), at->line);
        EXPECT_EQ(hit.utc, at->utc);
        const bool first = at == tree_->lines.begin() || (at - 1)->path != at->path;
        const bool last = at + 1 == tree_->lines.end() || (at + 1)->path != at->path;
        EXPECT_EQ(hit.before.toStdString(), first ? "" : (at - 1)->line);
        EXPECT_EQ(hit.after.toStdString(), last ? "" : (at + 1)->line);
    }
    request.limit = 3;
    const QList<SearchHit> newest = Ask(*index, request);
    ASSERT_EQ(newest.size(), 3);
    EXPECT_EQ(newest[0].offset, hits[0].offset);
    EXPECT_EQ(newest[2].path, hits[2].path);
}

enum class Damage { Deleted, Garbage, Truncated, OtherLayout };

// However the index is lost, the next start makes it again from the files, with the same hits.
TEST_F(LogIndexTest, ALostOrSpoiledIndexIsRebuiltFromTheFiles)
{
    SearchRequest request;
    request.words = QStringLiteral("\"quiet harbour\"");
    std::set<std::pair<std::string, std::int64_t>> before;
    {
        const auto index = OpenIndex();
        before = Places(Ask(*index, request));
    }
    ASSERT_FALSE(before.empty());
    for (const Damage damage : {Damage::Deleted, Damage::Garbage, Damage::Truncated, Damage::OtherLayout}) {
        const std::string path = Database().toStdString();
        // The index that closed left everything in the database file: damage to it is damage.
        ASSERT_FALSE(std::filesystem::exists(path + "-wal")) << static_cast<int>(damage);
        if (damage == Damage::Deleted) {
            std::filesystem::remove(path);
            std::filesystem::remove(path + "-wal");
            std::filesystem::remove(path + "-shm");
        } else if (damage == Damage::Garbage) {
            std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
            file.seekp(0);
            file << std::string(4096, '\x5a');
        } else if (damage == Damage::Truncated) {
            std::filesystem::resize_file(path, std::filesystem::file_size(path) / 3);
        } else {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        const auto index = std::make_unique<LogIndex>(Logs(), Database());
        bool started = false;
        bool whole = false;
        qint64 lines = 0;
        QObject::connect(index.get(), &LogIndex::RebuildStarted, index.get(), [&](bool all) {
            started = true;
            whole = all;
        });
        QObject::connect(index.get(), &LogIndex::RebuildFinished, index.get(),
                         [&](qint64 count, qint64) { lines = count; });
        index->Start();
        ASSERT_TRUE(test::PumpUntil([&] { return index->Settled() && lines > 0; }, 20s))
            << static_cast<int>(damage);
        EXPECT_TRUE(started && whole) << static_cast<int>(damage);
        EXPECT_EQ(lines, static_cast<qint64>(tree_->lines.size()));
        EXPECT_EQ(Places(Ask(*index, request)), before) << static_cast<int>(damage);
    }
}

// Lines written after indexing are found once the index catches up, whether it is told of the
// file or finds it changed when it starts; a file written anew in place loses its old lines.
TEST_F(LogIndexTest, GrownAndRewrittenFilesAreReadAgain)
{
    const std::string channel = Logs().toStdString() + "/OFTC/#tellix/2026-12-08.log";
    const std::string query = Logs().toStdString() + "/Libera.Chat/bob/2026-12-09.log";
    {
        const auto index = OpenIndex();
        tree_->Append("OFTC", "#tellix", channel, LogTree::Stamp(8, 50), "<bob> kumquat season");
        // Half a line, still being written, is left for later.
        std::ofstream(channel, std::ios::app) << "[2026-12-08T10:00:00+01:00] <bob> kumquat par";
        index->CatchUp({channel});
        ASSERT_TRUE(test::PumpUntil([&] { return index->Settled(); }, 20s));
        SearchRequest request;
        request.words = QStringLiteral("kumquat");
        EXPECT_EQ(Ask(*index, request).size(), 1);
        std::ofstream(channel, std::ios::app) << "tial\n";
        index->CatchUp({channel});
        ASSERT_TRUE(test::PumpUntil([&] { return index->Settled(); }, 20s));
        request.words = QStringLiteral("kumquat partial");
        EXPECT_EQ(Ask(*index, request).size(), 1);
    }
    // Written while the index was closed: a new file, and a file written anew from its start.
    std::filesystem::create_directories(std::filesystem::path(query).parent_path());
    std::ofstream(query) << "[2026-12-09T08:00:00+01:00] <bob> persimmon\n";
    const std::string rewritten = Logs().toStdString() + "/OFTC/status/2026-12-06.log";
    std::ofstream(rewritten, std::ios::trunc) << "[2026-12-06T08:00:00+01:00] *** only this now\n";
    // And one written anew to the very same length: its size alone does not tell.
    const std::string sameSize = Logs().toStdString() + "/OFTC/status/2026-12-07.log";
    std::string text;
    {
        std::ifstream in(sameSize, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(text.size(), 100U);
    const std::string last = "[2026-12-07T23:00:00+01:00] <bob> blueberry\n";
    const std::string filler(text.size() - last.size() - 1, '-');
    std::ofstream(sameSize, std::ios::binary | std::ios::trunc) << filler << '\n' << last;
    const auto index = OpenIndex();
    SearchRequest request;
    request.words = QStringLiteral("blueberry");
    EXPECT_EQ(Ask(*index, request).size(), 1);
    request.words = QStringLiteral("persimmon");
    const QList<SearchHit> hits = Ask(*index, request);
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0].network, QStringLiteral("Libera.Chat"));
    EXPECT_EQ(hits[0].target, QStringLiteral("bob"));
    request.words = QStringLiteral("only this");
    EXPECT_EQ(Ask(*index, request).size(), 1);
    request.words = QStringLiteral("anna");
    request.network = QStringLiteral("OFTC");
    request.target = QStringLiteral("status");
    const QList<SearchHit> status = Ask(*index, request);
    ASSERT_FALSE(status.empty());
    for (const SearchHit& hit : status) {
        EXPECT_NE(hit.path.toStdString(), rewritten) << hit.line.toStdString();
    }
    // The same file rewritten longer than before, while the index runs.
    std::ofstream(rewritten, std::ios::trunc) << "[2026-12-06T08:00:00+01:00] *** a different start\n"
                                              << "[2026-12-06T08:01:00+01:00] *** and more than before\n";
    index->CatchUp({rewritten});
    ASSERT_TRUE(test::PumpUntil([&] { return index->Settled(); }, 20s));
    request = {};
    request.words = QStringLiteral("only this");
    EXPECT_TRUE(Ask(*index, request).empty());
    request.words = QStringLiteral("different start");
    EXPECT_EQ(Ask(*index, request).size(), 1);
}

// The best first: more of the words for the line's length in words, as the index splits
// them (letters of any script are words, a dash between them is not).
TEST_F(LogIndexTest, TheBestAreTheLinesMostAboutTheWords)
{
    struct Row {
        const char* text;
        int rank;
    };
    // In the order written, which is neither the best nor the newest.
    const std::vector<Row> rows = {
        {"<anna> kiwi \xc3\xbc"
         "ber \xd1\x91\xd0\xbb\xd0\xba\xd0\xb0",
         2},
        {"<anna> kiwi 1 2 3 4 5 6 7 8 9 10 11 12", 4},
        {"<anna> kiwi", 0},
        {"<anna> kiwi na\xc3\xafve\xe2\x80\x94Gr\xc3\xbc\xc3\x9f"
         "e\xe2\x80\x94\xd1\x91\xd0\xbb\xd0\xba\xd0\xb0",
         3},
        {"<anna> kiwi kiwi a b c d e f g h", 1},
    };
    const std::string path = Logs().toStdString() + "/Libera.Chat/#kiwi/2026-12-09.log";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::vector<std::string> expected(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        tree_->Append("Libera.Chat", "#kiwi", path, "2026-12-09T10:0" + std::to_string(i) + ":00+01:00",
                      rows[i].text);
        expected[static_cast<std::size_t>(rows[i].rank)] = tree_->lines.back().line;
    }
    const auto index = OpenIndex();
    SearchRequest request;
    request.words = QStringLiteral("kiwi");
    request.best = true;
    request.limit = 20;
    std::vector<std::string> found;
    for (const SearchHit& hit : Ask(*index, request)) {
        found.push_back(hit.line.toStdString());
    }
    EXPECT_EQ(found, expected);
}

// Once a flood is indexed and the index rests, its journal has been copied into the database
// file itself: the file read alone, as after the journal was lost, holds every line.
TEST_F(LogIndexTest, AFloodEndsUpInTheDatabaseFileWhenTheIndexRests)
{
    const auto index = OpenIndex();
    const std::string path = Logs().toStdString() + "/OFTC/#flood/2026-12-09.log";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    constexpr int kLines = 40000;
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < kLines;) {
        for (const int end = i + kLines / 4; i < end; ++i) {
            out << "[2026-12-09T10:00:00+01:00] <flooder> line " << i << " of the flood\n";
        }
        out.flush();
        index->CatchUp({path});
        ASSERT_TRUE(test::PumpUntil([&] { return index->Settled(); }, 20s));
    }
    const std::string uri = "file:" + Database().toStdString() + "?immutable=1";
    const auto linesInFile = [&] {
        sqlite3* db = nullptr;
        std::int64_t count = -1;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, "SELECT count(*) FROM lines", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            count = sqlite3_column_int64(stmt, 0);
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return count;
    };
    const auto expected = static_cast<std::int64_t>(tree_->lines.size()) + kLines;
    EXPECT_TRUE(test::PumpUntil([&] { return linesInFile() == expected; }, 10s)) << linesInFile();
}

// Nothing typed can make the index fail: quotes, operators, column names, ten thousand words.
TEST_F(LogIndexTest, HostileQueriesAreAnsweredWithoutError)
{
    const auto index = OpenIndex();
    std::string many;
    for (int i = 0; i < 10000; ++i) {
        many += (i % 2 != 0 ? "rain " : "harbour ");
    }
    const std::vector<std::string> queries = {
        "\"",
        "\"\"\"",
        "rain\"",
        "NEAR(rain harbour, 2)",
        "rain OR",
        "AND",
        "- rain",
        "rain*",
        "*",
        "body:rain",
        "text:rain",
        "{body}: rain",
        "^rain",
        "(rain",
        "rain)",
        "'; DROP TABLE lines; --",
        "",
        "   ",
        "\x01\x02\x03",
        "rain NOT",
        "\xff\xfe broken",
        std::string("rain\0harbour", 12),
        std::string("\"rain\0", 6),
        std::string("\0", 1),
        "\"\xe2\x82\"",
        many,
    };
    for (const std::string& typed : queries) {
        SearchRequest request;
        request.words = QString::fromStdString(typed);
        QString error;
        const QList<SearchHit> hits = Ask(*index, request, &error);
        EXPECT_TRUE(error.isEmpty()) << typed.substr(0, 40);
        for (const SearchHit& hit : hits) {
            EXPECT_FALSE(hit.line.isEmpty());
        }
    }
    // The words still count: the ten thousand are two words, both needed; so are two parted
    // by a NUL.
    for (const std::string& typed : {many, std::string("rain\0harbour", 12)}) {
        SearchRequest request;
        request.words = QString::fromStdString(typed);
        EXPECT_EQ(Places(Ask(*index, request)), Expected([](const GeneratedLine& line) {
                      return HasPhrase(line.text, "rain") && HasPhrase(line.text, "harbour");
                  }));
    }
}

// A new search cancels the one before: only the last is answered.
TEST_F(LogIndexTest, ANewSearchSupersedesTheLast)
{
    const auto index = OpenIndex();
    std::vector<quint64> answered;
    // Through the event loop, as every receiver on the window's thread gets them.
    QObject::connect(index.get(), &LogIndex::Found, index.get(),
                     [&](quint64 search, const QList<SearchHit>&, const QString&) { answered.push_back(search); });
    SearchRequest request;
    request.words = QStringLiteral("rain");
    quint64 last = 0;
    for (int i = 0; i < 20; ++i) {
        last = index->Search(request);
    }
    ASSERT_TRUE(test::PumpUntil([&] { return !answered.empty() && answered.back() == last; }, 20s));
    test::PumpFor(100ms);
    EXPECT_EQ(answered.back(), last);
    EXPECT_LT(answered.size(), 20U);
}

} // namespace
} // namespace tellix
