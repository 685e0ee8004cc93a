#pragma once

#include <QDate>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tellix {

// What to look for in the logs. Empty filters let everything through; the dates are local
// days, both ends included.
struct SearchRequest {
    QString words;
    QString network;
    QString target;
    QDate from;
    QDate to;
    int limit = 200;
    // The best matches (by how well the words fit) among the newest thousand, instead of the newest.
    bool best = false;
};

// One line found, with its neighbours in the file (empty at a file's edge).
struct SearchHit {
    QString network;
    QString target;
    QString path;
    qint64 offset = 0;
    qint64 utc = 0;
    QByteArray line;
    QByteArray before;
    QByteArray after;
};

// The full-text index of the log files, kept in SQLite under the data folder. The files are
// the truth: the index remembers, per file, how far it has read, and reads on from there; one
// it cannot trust is made again from the files. Indexing and searching each run on a thread
// of their own with their own connection, so the caller never waits; answers come back as
// signals on the caller's thread.
class LogIndex final : public QObject {
    Q_OBJECT

public:
    LogIndex(QString logsFolder, QString databasePath, QObject* parent = nullptr);
    ~LogIndex() override;
    LogIndex(const LogIndex&) = delete;
    LogIndex& operator=(const LogIndex&) = delete;

    // $XDG_DATA_HOME/Tellix (~/.local/share/Tellix without it).
    static QString DataFolder();
    // The index of the logs under DataFolder(), started.
    static LogIndex* OpenDefault(QObject* parent = nullptr);

    // Opens the index, checks it and brings it up to date with the files, in the background.
    void Start();
    // Files that grew (or were rewritten): read from where the index stopped to their last
    // complete line, all in one transaction.
    void CatchUp(const std::vector<std::string>& paths);
    // Searches; a search still running is cancelled. Answered by Found with the number returned.
    quint64 Search(const SearchRequest& request);
    // Nothing waits to be indexed and no rebuild runs.
    bool Settled() const;
    QString DatabasePath() const { return databasePath_; }
    // Raised when the layout of the database changes: an index of another layout is made anew.
    static constexpr int kSchemaVersion = 3;
    // Writes a line in the status window when a rebuild starts and when it ends.
    void ReportInStatusWindow();

Q_SIGNALS:
    void Found(quint64 search, const QList<tellix::SearchHit>& hits, const QString& error);
    // A rebuild from the files (whole, or of the files that changed while the index was closed).
    void RebuildStarted(bool whole);
    void RebuildProgress(qint64 bytesDone, qint64 bytesTotal);
    void RebuildFinished(qint64 lines, qint64 files);
    // The queue has run empty.
    void Idle();

private:
    class Writer;
    class Reader;

    void IndexLoop();
    void SearchLoop();

    QString logsFolder_;
    QString databasePath_;

    mutable std::mutex indexMutex_;
    std::condition_variable indexWake_;
    bool startWanted_ = false;
    bool busy_ = false;
    std::set<std::string> pendingPaths_;

    std::mutex searchMutex_;
    std::condition_variable searchWake_;
    std::unique_ptr<SearchRequest> pendingSearch_;
    quint64 pendingNumber_ = 0;
    std::atomic<quint64> latestSearch_{0};
    // Raised each time the database file is made anew, so the search connection opens it again.
    std::atomic<int> generation_{0};

    std::atomic<bool> stopping_{false};
    std::thread indexThread_;
    std::thread searchThread_;
};

} // namespace tellix

Q_DECLARE_METATYPE(tellix::SearchHit)
