#pragma once

#include "platform/Toolkit.h"
#include "platform/qtcore/LogFileWriter.h"
#include "platform/qtcore/LogIndex.h"
#include "platform/qtcore/QtClock.h"
#include "platform/qtcore/QtSettingsStore.h"
#include "platform/qtcore/QtTimers.h"

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tellix {

class ConsoleChildView;
class ConsoleMainWindowView;

// The toolkit of the terminal front-end: window lines to standard output, the beep to
// standard error, and the active window kept as the GUI would keep it.
class ConsoleToolkit final : public Toolkit {
public:
    explicit ConsoleToolkit(std::FILE* out = stdout, std::FILE* err = stderr);

    std::unique_ptr<MainWindowView> CreateMainWindowView() override;
    std::unique_ptr<ChildView> CreateChildView() override;
    std::unique_ptr<ConnectDialogView> CreateConnectDialogView() override;
    Clock& SystemClock() override { return clock_; }
    SettingsStore& Settings() override { return settings_; }
    void Beep() override;
    void Post(std::function<void()> task) override;
    Timers* ProtocolTimers() override { return &timers_; }
    LogFiles* ChatLogFiles() override { return &LogWriter(); }
    // The writer of the logs, made at first use; its Written hook tells what grew.
    LogFileWriter& LogWriter()
    {
        if (!logWriter_) {
            logWriter_ = std::make_unique<LogFileWriter>(LogFileWriter::DefaultRoot());
            // An index opened by a search reads on as lines are written; a closed one catches
            // up from the files when it opens.
            logWriter_->Written = [this](const std::vector<std::string>& paths) {
                if (index_) {
                    index_->CatchUp(paths);
                }
            };
        }
        return *logWriter_;
    }

    ~ConsoleToolkit() override;
    ConsoleToolkit(const ConsoleToolkit&) = delete;
    ConsoleToolkit& operator=(const ConsoleToolkit&) = delete;

    // One line read from standard input: typed into the active window, or, as ESC and a
    // window number, activating that window.
    void Typed(std::string_view line);
    // Prints the best lines of the logs for the words, after those of the searches before.
    bool SearchLogs(const std::string& words) override;
    // The index of the logs, opened on first need.
    LogIndex& Index();
    // End of input: the main window is closed, as its close box would.
    void InputEnded();
    // Called once the main window is gone; the program's loop ends there.
    void OnMainWindowGone(std::function<void()> gone) { mainWindowGone_ = std::move(gone); }

    // Used by the views.
    void Write(std::string_view text);
    void Register(ConsoleChildView* view);
    void Unregister(ConsoleChildView* view);
    // A view's caption now begins with another number.
    void Renumbered(ConsoleChildView* view, std::int32_t previous, std::int32_t next);
    void SetActive(ConsoleChildView* view) { active_ = view; }
    const ConsoleChildView* Active() const { return active_; }
    // Whether the view is one of the windows still open.
    bool Holds(const ConsoleChildView* view) const { return views_.contains(const_cast<ConsoleChildView*>(view)); }
    void MainWindowMade(ConsoleMainWindowView* view) { mainWindow_ = view; }
    void MainWindowUnloaded();
    void MainWindowDestroyed(const ConsoleMainWindowView* view);

private:
    ConsoleChildView* WindowNumbered(std::int32_t number) const;
    void SearchNext();
    void Print(const std::string& words, const QList<SearchHit>& hits, const QString& error);

    std::FILE* out_;
    std::FILE* err_;
    QtClock clock_;
    QtTimers timers_;
    QtSettingsStore settings_;
    std::unique_ptr<LogFileWriter> logWriter_;
    // Every window a stranger opens registers here: no add or removal may cost a walk.
    absl::flat_hash_set<ConsoleChildView*> views_;
    absl::flat_hash_map<std::int32_t, ConsoleChildView*> numbered_;
    ConsoleChildView* active_ = nullptr;
    ConsoleMainWindowView* mainWindow_ = nullptr;
    std::function<void()> mainWindowGone_;
    std::unique_ptr<LogIndex> index_;
    // Searches typed, answered one after the other; the end of input waits for them.
    std::deque<std::string> searches_;
    quint64 running_ = 0;
    bool inputEnded_ = false;
};

} // namespace tellix
