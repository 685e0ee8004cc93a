#pragma once

#include "platform/qtcore/LogIndex.h"

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace tellix {

class LogFileView;

// The search across the logs: words and "phrases", filters for network, channel or nick and
// days, the lines found newest first with the line before and after each; a click opens the
// day's log at that line, read-only.
class SearchWindow final : public QWidget {
    Q_OBJECT

public:
    explicit SearchWindow(LogIndex& index, QWidget* parent = nullptr);

    QLineEdit* QueryBox() const { return query_; }
    QLineEdit* NetworkBox() const { return network_; }
    QLineEdit* TargetBox() const { return target_; }
    QCheckBox* FromBox() const { return fromOn_; }
    QDateEdit* FromDate() const { return from_; }
    QCheckBox* ToBox() const { return toOn_; }
    QDateEdit* ToDate() const { return to_; }
    QTreeWidget* Results() const { return results_; }
    QLabel* Status() const { return status_; }
    // The log opened by the last click, while it is open.
    LogFileView* OpenedLog() const;

    // Asks the index now, with what the fields hold.
    void SearchNow();

    // Columns of the results.
    enum Column { When, Where, Line };
    // What a row holds: the file and the place of the line it stands for.
    static constexpr int kPathRole = Qt::UserRole;
    static constexpr int kOffsetRole = Qt::UserRole + 1;

private:
    void Show(quint64 search, const QList<SearchHit>& hits, const QString& error);
    void Open(QTreeWidgetItem* item);

    QPointer<LogIndex> index_;
    QLineEdit* query_;
    QLineEdit* network_;
    QLineEdit* target_;
    QCheckBox* fromOn_;
    QDateEdit* from_;
    QCheckBox* toOn_;
    QDateEdit* to_;
    QTreeWidget* results_;
    QLabel* status_;
    QProgressBar* progress_;
    QTimer* typing_;
    quint64 search_ = 0;
    QPointer<LogFileView> opened_;
};

} // namespace tellix
