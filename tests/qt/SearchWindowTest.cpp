// The search window as a user drives it: type words, read the rows, narrow by the filters,
// click a row and see the day's log at that line; Ctrl+Shift+F brings it from the main window.
#include "platform/qt/SearchWindow.h"
#include "app/Application.h"
#include "platform/qt/LogFileView.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/LogIndex.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/QtLoop.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

struct Written {
    QString network;
    QString target;
    QString path;
    int number; // the line's place in its file, from 0
    QByteArray text;
};

// Two networks, a channel and a query each, two days; every fifth line names the harbour.
std::vector<Written> WriteLogs(const QString& logs)
{
    std::vector<Written> written;
    for (const QString& network : {QStringLiteral("Libera.Chat"), QStringLiteral("OFTC")}) {
        for (const QString& target : {QStringLiteral("#room"), QStringLiteral("anna")}) {
            for (int day = 7; day <= 8; ++day) {
                const QString folder = logs + "/" + network + "/" + target;
                QDir().mkpath(folder);
                const QString path = folder + QStringLiteral("/2026-12-0%1.log").arg(day);
                QFile file(path);
                EXPECT_TRUE(file.open(QIODevice::WriteOnly));
                for (int n = 0; n < 30; ++n) {
                    const QByteArray text = "<bob> line " + QByteArray::number(n) + " in " + target.toUtf8() +
                                            (n % 5 == 2 ? " by the harbour, grüß dich" : " nothing much");
                    file.write(QStringLiteral("[2026-12-0%1T10:%2:00+01:00] ")
                                   .arg(day)
                                   .arg(n, 2, 10, QLatin1Char('0'))
                                   .toUtf8() +
                               text + "\n");
                    written.push_back({network, target, path, n, text});
                }
            }
        }
    }
    return written;
}

// `words` in `text`, ending where a word ends ("line 3" is not in "line 30").
bool HoldsWords(const QByteArray& text, const QByteArray& words)
{
    for (qsizetype at = text.indexOf(words); at >= 0; at = text.indexOf(words, at + 1)) {
        const qsizetype end = at + words.size();
        if (end == text.size() || !std::isalnum(static_cast<unsigned char>(text[end]))) {
            return true;
        }
    }
    return false;
}

// The rows that stand for a hit (bold), not its neighbours.
std::vector<QTreeWidgetItem*> HitRows(QTreeWidget& results)
{
    std::vector<QTreeWidgetItem*> rows;
    for (int i = 0; i < results.topLevelItemCount(); ++i) {
        if (results.topLevelItem(i)->font(SearchWindow::Line).bold()) {
            rows.push_back(results.topLevelItem(i));
        }
    }
    return rows;
}

struct Typed {
    const char* words;
    const char* network;
    const char* target;
    bool fromDay8;
    // What a line must hold, as written in the file, for the words to find it.
    std::vector<QByteArray> holds;
};

TEST(SearchWindow, TypedWordsShowTheirRowsAndAClickOpensTheLine)
{
    EnsureGuiApplication();
    QTemporaryDir data;
    const QString logs = data.path() + "/Tellix/logs";
    const std::vector<Written> written = WriteLogs(logs);
    LogIndex index(logs, data.path() + "/Tellix/index.sqlite");
    index.Start();
    ASSERT_TRUE(PumpUntil([&] { return index.Settled(); }, 20s));
    SearchWindow window(index);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const std::vector<Typed> cases = {
        {"harbour", "", "", false, {"harbour"}},
        {"\"the harbour\" GRÜß", "", "", false, {"the harbour", "grüß"}},
        {"harbour", "oftc", "", false, {"harbour"}},
        {"harbour", "", "#ROOM", false, {"harbour"}},
        {"harbour", "Libera.Chat", "anna", true, {"harbour"}},
        {"\"harbour by\"", "", "", false, {"harbour by"}},
        {"line 3", "", "", false, {"line 3"}},
    };
    for (const Typed& c : cases) {
        for (QLineEdit* field : {window.QueryBox(), window.NetworkBox(), window.TargetBox()}) {
            field->clear();
        }
        window.FromBox()->setChecked(c.fromDay8);
        window.FromDate()->setDate(QDate(2026, 12, 8));
        QTest::keyClicks(window.NetworkBox(), QString::fromUtf8(c.network));
        QTest::keyClicks(window.TargetBox(), QString::fromUtf8(c.target));
        QTest::keyClicks(window.QueryBox(), QString::fromUtf8(c.words));
        QTest::keyClick(window.QueryBox(), Qt::Key_Return);
        // What the files hold for the words and the filters.
        std::vector<const Written*> expected;
        for (const Written& line : written) {
            const bool words = std::all_of(c.holds.begin(), c.holds.end(),
                                           [&](const QByteArray& part) { return HoldsWords(line.text, part); });
            if (words && (*c.network == 0 || line.network.compare(c.network, Qt::CaseInsensitive) == 0) &&
                (*c.target == 0 || line.target.compare(c.target, Qt::CaseInsensitive) == 0) &&
                (!c.fromDay8 || line.path.endsWith("08.log"))) {
                expected.push_back(&line);
            }
        }
        const QString wanted = expected.empty()
                                   ? QStringLiteral("No line found.")
                                   : QStringLiteral("%1 lines found, newest first.").arg(expected.size());
        ASSERT_TRUE(PumpUntil([&] { return window.Status()->text() == wanted; }, 10s))
            << c.words << ": " << window.Status()->text().toStdString() << " instead of " << wanted.toStdString();
        const std::vector<QTreeWidgetItem*> hits = HitRows(*window.Results());
        ASSERT_EQ(hits.size(), expected.size()) << c.words;
        for (std::size_t i = 0; i < hits.size(); ++i) {
            EXPECT_TRUE(hits[i]->text(SearchWindow::Line).contains(QString::fromUtf8(c.holds.front()))) << c.words;
            if (i > 0) {
                EXPECT_GE(hits[i - 1]->text(SearchWindow::When), hits[i]->text(SearchWindow::When))
                    << "newest first";
            }
        }
        // Each hit sits between the lines before and after it in its file (dimmed rows).
        if (!expected.empty()) {
            EXPECT_GT(window.Results()->topLevelItemCount(), static_cast<int>(hits.size()));
        }
    }

    // A click on a hit opens its day's file at that very line.
    window.QueryBox()->clear();
    window.NetworkBox()->clear();
    window.TargetBox()->clear();
    window.FromBox()->setChecked(false);
    QTest::keyClicks(window.QueryBox(), QStringLiteral("\"line 17\" harbour"));
    QTest::keyClick(window.QueryBox(), Qt::Key_Return);
    ASSERT_TRUE(PumpUntil(
        [&] {
            const auto rows = HitRows(*window.Results());
            return !rows.empty() && rows.front()->text(SearchWindow::Line).contains(QStringLiteral("line 17 "));
        },
        10s));
    QTreeWidgetItem* row = HitRows(*window.Results()).front();
    QTreeWidget& results = *window.Results();
    results.scrollToItem(row);
    const QRect place = results.visualItemRect(row);
    QTest::mouseClick(results.viewport(), Qt::LeftButton, {}, place.center());
    ASSERT_TRUE(PumpUntil([&] { return window.OpenedLog() != nullptr; }, 5s));
    LogFileView& view = *window.OpenedLog();
    EXPECT_EQ(view.Path(), row->data(SearchWindow::When, SearchWindow::kPathRole).toString());
    EXPECT_EQ(view.MarkedLine(), 17);
    EXPECT_TRUE(view.textCursor().block().text().contains(QStringLiteral("<bob> line 17 in")));
    EXPECT_TRUE(view.isReadOnly());
}

TEST(SearchWindow, CtrlShiftFOpensItFromTheMainWindow)
{
    EnsureGuiApplication();
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const std::vector<Written> written = WriteLogs(data.path() + "/Tellix/logs");
    {
        QtToolkit toolkit;
        QtSocketFactory sockets;
        auto app = std::make_unique<Application>(toolkit, sockets);
        QMainWindow* main = toolkit.MainWindow()->Window();
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main));
        QTest::keyClick(main, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        SearchWindow* window = toolkit.MainWindow()->Search();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        // The first search builds the index and says so in the status window and the search window.
        ASSERT_TRUE(PumpUntil([&] { return toolkit.MainWindow()->Index()->Settled(); }, 20s));
        ASSERT_TRUE(PumpUntil([&] { return window->Status()->text().startsWith("Index ready"); }, 5s));
        EXPECT_EQ(window->Status()->text(), QStringLiteral("Index ready: %1 lines indexed.").arg(written.size()));
        QTest::keyClicks(window->QueryBox(), QStringLiteral("harbour"));
        QTest::keyClick(window->QueryBox(), Qt::Key_Return);
        EXPECT_TRUE(PumpUntil([&] { return !HitRows(*window->Results()).empty(); }, 10s));
        // The open index reads on in the files as the program's log writer flushes them: a
        // line written now is found within the writer's second.
        toolkit.ChatLogFiles()->AppendLine("Libera.Chat/#room/2026-12-08.log", "2026-12-08T12:00:00+00:00",
                                           "<bob> a lighthouse on the rocks");
        window->QueryBox()->clear();
        QTest::keyClicks(window->QueryBox(), QStringLiteral("lighthouse"));
        const auto found = [&] {
            const std::vector<QTreeWidgetItem*> hits = HitRows(*window->Results());
            return hits.size() == 1 &&
                   hits.front()->text(SearchWindow::Line).contains(QStringLiteral("lighthouse"));
        };
        EXPECT_TRUE(PumpUntil(
            [&] {
                QTest::keyClick(window->QueryBox(), Qt::Key_Return);
                return PumpUntil(found, 300ms);
            },
            10s));
        app.reset();
    }
    EXPECT_TRUE(QFile::exists(data.path() + "/Tellix/index.sqlite"));
}

// Typed into a window, /search opens the search window with the words and their rows.
TEST(SearchWindow, SlashSearchOpensItWithTheWords)
{
    EnsureGuiApplication();
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    WriteLogs(data.path() + "/Tellix/logs");
    {
        QtToolkit toolkit;
        QtSocketFactory sockets;
        auto app = std::make_unique<Application>(toolkit, sockets);
        EXPECT_EQ(toolkit.MainWindow()->Search(), nullptr);
        QLineEdit* input = static_cast<QtChildView*>(app->Childs()->Item(1)->Window())->Input();
        input->setFocus();
        QTest::keyClicks(input, QStringLiteral("/search \"the harbour\""));
        QTest::keyClick(input, Qt::Key_Return);
        SearchWindow* window = toolkit.MainWindow()->Search();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->QueryBox()->text(), QStringLiteral("\"the harbour\""));
        ASSERT_TRUE(PumpUntil([&] { return !HitRows(*window->Results()).empty(); }, 20s));
        for (const QTreeWidgetItem* hit : HitRows(*window->Results())) {
            EXPECT_TRUE(hit->text(SearchWindow::Line).contains(QStringLiteral("the harbour")));
        }
        app.reset();
    }
}

} // namespace
} // namespace tellix::test
