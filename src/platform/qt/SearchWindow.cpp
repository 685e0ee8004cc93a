#include "platform/qt/SearchWindow.h"

#include "platform/qt/LogFileView.h"
#include "platform/qt/TextDecoding.h"
#include "util/LogSearch.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <string_view>

namespace tellix {

namespace {

// A line of a log, its stamp shown as "2026-12-08 11:34:56", the text beside it.
std::pair<QString, QString> StampAndText(const QByteArray& line)
{
    const std::string_view bytes(line.constData(), static_cast<std::size_t>(line.size()));
    const LogLine parsed = ParseLogLine(bytes);
    QString when;
    if (parsed.utc) {
        when = QString::fromLatin1(parsed.stamp.substr(0, 10).data(), 10) + QLatin1Char(' ') +
               QString::fromLatin1(parsed.stamp.substr(11, 8).data(), 8);
    }
    return {when, DecodeForDisplay(parsed.text)};
}

} // namespace

SearchWindow::SearchWindow(LogIndex& index, QWidget* parent) : QWidget(parent, Qt::Window), index_(&index)
{
    setWindowTitle(QStringLiteral("Search Logs"));
    resize(900, 600);
    query_ = new QLineEdit(this);
    query_->setPlaceholderText(QStringLiteral("Words or \"a phrase\""));
    query_->setClearButtonEnabled(true);
    network_ = new QLineEdit(this);
    network_->setPlaceholderText(QStringLiteral("Any network"));
    target_ = new QLineEdit(this);
    target_->setPlaceholderText(QStringLiteral("Any channel or nick"));
    fromOn_ = new QCheckBox(QStringLiteral("&From"), this);
    from_ = new QDateEdit(QDate::currentDate().addDays(-7), this);
    toOn_ = new QCheckBox(QStringLiteral("&To"), this);
    to_ = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* date : {from_, to_}) {
        date->setCalendarPopup(true);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setEnabled(false);
    }
    auto* go = new QPushButton(QStringLiteral("&Search"), this);
    results_ = new QTreeWidget(this);
    results_->setColumnCount(3);
    results_->setHeaderLabels({QStringLiteral("When"), QStringLiteral("Where"), QStringLiteral("Line")});
    results_->setRootIsDecorated(false);
    results_->setUniformRowHeights(true);
    results_->setAllColumnsShowFocus(true);
    results_->header()->setStretchLastSection(true);
    results_->setColumnWidth(When, 150);
    results_->setColumnWidth(Where, 170);
    status_ = new QLabel(this);
    progress_ = new QProgressBar(this);
    progress_->setVisible(false);

    auto* filters = new QHBoxLayout;
    filters->addWidget(network_);
    filters->addWidget(target_);
    filters->addWidget(fromOn_);
    filters->addWidget(from_);
    filters->addWidget(toOn_);
    filters->addWidget(to_);
    auto* top = new QHBoxLayout;
    top->addWidget(query_, 1);
    top->addWidget(go);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(progress_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(filters);
    layout->addWidget(results_, 1);
    layout->addLayout(bottom);

    // Typing asks again once the keys rest; Enter asks at once.
    typing_ = new QTimer(this);
    typing_->setSingleShot(true);
    typing_->setInterval(300);
    connect(typing_, &QTimer::timeout, this, &SearchWindow::SearchNow);
    for (QLineEdit* field : {query_, network_, target_}) {
        connect(field, &QLineEdit::textEdited, typing_, qOverload<>(&QTimer::start));
        connect(field, &QLineEdit::returnPressed, this, &SearchWindow::SearchNow);
    }
    connect(go, &QPushButton::clicked, this, &SearchWindow::SearchNow);
    for (auto [on, date] : {std::pair{fromOn_, from_}, std::pair{toOn_, to_}}) {
        connect(on, &QCheckBox::toggled, date, &QWidget::setEnabled);
        connect(on, &QCheckBox::toggled, typing_, qOverload<>(&QTimer::start));
        connect(date, &QDateEdit::dateChanged, typing_, qOverload<>(&QTimer::start));
    }
    connect(results_, &QTreeWidget::itemClicked, this, &SearchWindow::Open);
    connect(results_, &QTreeWidget::itemActivated, this, &SearchWindow::Open);

    connect(&index, &LogIndex::Found, this, &SearchWindow::Show);
    connect(&index, &LogIndex::RebuildStarted, this, [this](bool whole) {
        progress_->setRange(0, 1000);
        progress_->setValue(0);
        progress_->setVisible(true);
        status_->setText(whole ? QStringLiteral("Rebuilding the index from the logs...")
                               : QStringLiteral("Bringing the index up to date with the logs..."));
    });
    connect(&index, &LogIndex::RebuildProgress, this, [this](qint64 done, qint64 total) {
        progress_->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 1000);
    });
    connect(&index, &LogIndex::RebuildFinished, this, [this](qint64 lines, qint64) {
        progress_->setVisible(false);
        status_->setText(QStringLiteral("Index ready: %1 lines indexed.").arg(lines));
        if (!query_->text().trimmed().isEmpty()) {
            SearchNow();
        }
    });
}

LogFileView* SearchWindow::OpenedLog() const
{
    return opened_;
}

void SearchWindow::SearchNow()
{
    typing_->stop();
    if (!index_) {
        return;
    }
    if (SearchMatchQuery(query_->text().toStdString()).empty()) {
        results_->clear();
        status_->setText(QStringLiteral("Type words to search for, or \"a phrase\"."));
        return;
    }
    SearchRequest request;
    request.words = query_->text();
    request.network = network_->text().trimmed();
    request.target = target_->text().trimmed();
    if (fromOn_->isChecked()) {
        request.from = from_->date();
    }
    if (toOn_->isChecked()) {
        request.to = to_->date();
    }
    status_->setText(QStringLiteral("Searching..."));
    search_ = index_->Search(request);
}

void SearchWindow::Show(quint64 search, const QList<SearchHit>& hits, const QString& error)
{
    if (search != search_) {
        return;
    }
    results_->clear();
    if (!error.isEmpty()) {
        status_->setText(QStringLiteral("The search failed: %1").arg(error));
        return;
    }
    const QColor dim = palette().color(QPalette::Disabled, QPalette::Text);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(hits.size() * 3);
    for (const SearchHit& hit : hits) {
        const QString where = hit.network + QLatin1Char(' ') + hit.target;
        // The hit between its neighbours; any of the three opens the hit's line.
        auto row = [&](const QByteArray& line, bool found) {
            const auto [when, text] = StampAndText(line);
            auto* item = new QTreeWidgetItem({when, found ? where : QString(), text});
            item->setData(When, kPathRole, hit.path);
            item->setData(When, kOffsetRole, hit.offset);
            if (found) {
                QFont bold = font();
                bold.setBold(true);
                item->setFont(Line, bold);
            } else {
                for (int column = 0; column < 3; ++column) {
                    item->setForeground(column, dim);
                }
            }
            rows.append(item);
        };
        if (!hit.before.isEmpty()) {
            row(hit.before, false);
        }
        row(hit.line, true);
        if (!hit.after.isEmpty()) {
            row(hit.after, false);
        }
    }
    results_->addTopLevelItems(rows);
    status_->setText(hits.isEmpty()     ? QStringLiteral("No line found.")
                     : hits.size() == 1 ? QStringLiteral("1 line found.")
                                        : QStringLiteral("%1 lines found, newest first.").arg(hits.size()));
}

void SearchWindow::Open(QTreeWidgetItem* item)
{
    if (item == nullptr) {
        return;
    }
    if (opened_) {
        opened_->close();
    }
    opened_ =
        new LogFileView(item->data(When, kPathRole).toString(), item->data(When, kOffsetRole).toLongLong(), this);
    opened_->show();
    opened_->raise();
    opened_->activateWindow();
}

} // namespace tellix
