#include "platform/console/ConsoleToolkit.h"

#include "platform/console/ConsoleViews.h"
#include "platform/qtcore/Boundary.h"
#include "util/LogSearch.h"
#include "util/TerminalText.h"

#include <QCoreApplication>
#include <QTimer>

#include <charconv>

namespace tellix {

namespace {

constexpr int kConsoleResults = 20;

} // namespace

ConsoleToolkit::ConsoleToolkit(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

ConsoleToolkit::~ConsoleToolkit() = default;

LogIndex& ConsoleToolkit::Index()
{
    if (!index_) {
        const QString folder = LogIndex::DataFolder();
        index_ =
            std::make_unique<LogIndex>(folder + QStringLiteral("/logs"), folder + QStringLiteral("/index.sqlite"));
        index_->ReportInStatusWindow();
        QObject::connect(index_.get(), &LogIndex::Idle, index_.get(), [this] {
            if (running_ == 0) {
                SearchNext();
            }
        });
        QObject::connect(index_.get(), &LogIndex::Found, index_.get(),
                         [this](quint64 search, const QList<SearchHit>& hits, const QString& error) {
                             if (search != running_ || searches_.empty()) {
                                 return;
                             }
                             const std::string words = std::move(searches_.front());
                             searches_.pop_front();
                             running_ = 0;
                             Print(words, hits, error);
                             SearchNext();
                         });
        index_->Start();
    }
    return *index_;
}

// The next search typed, once the index has read what the files hold.
void ConsoleToolkit::SearchNext()
{
    if (searches_.empty()) {
        if (inputEnded_) {
            inputEnded_ = false;
            InputEnded();
        }
        return;
    }
    if (!Index().Settled() || running_ != 0) {
        return;
    }
    SearchRequest request;
    request.words = QString::fromStdString(searches_.front());
    request.best = true;
    request.limit = kConsoleResults;
    running_ = index_->Search(request);
}

void ConsoleToolkit::Print(const std::string& words, const QList<SearchHit>& hits, const QString& error)
{
    std::string out;
    if (!error.isEmpty()) {
        out = "Search failed: ";
        AppendTerminalText(error.toStdString(), out);
        out += '\n';
    } else if (hits.isEmpty()) {
        out = "No log line holds: ";
        AppendTerminalText(words, out);
        out += '\n';
    }
    for (const SearchHit& hit : hits) {
        AppendTerminalText(SearchResultLine(hit.target.toStdString(), hit.line.toStdString()), out);
        out += '\n';
    }
    Write(out);
}

std::unique_ptr<MainWindowView> ConsoleToolkit::CreateMainWindowView()
{
    auto view = std::make_unique<ConsoleMainWindowView>(*this);
    mainWindow_ = view.get();
    return view;
}

std::unique_ptr<ChildView> ConsoleToolkit::CreateChildView()
{
    return std::make_unique<ConsoleChildView>(*this);
}

std::unique_ptr<ConnectDialogView> ConsoleToolkit::CreateConnectDialogView()
{
    return std::make_unique<ConsoleConnectDialogView>(*this);
}

void ConsoleToolkit::Beep()
{
    std::fputc('\a', err_);
    std::fflush(err_);
}

void ConsoleToolkit::Post(std::function<void()> task)
{
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [task = std::move(task)] { AtBoundary("posted task", task); });
}

void ConsoleToolkit::Typed(std::string_view line)
{
    if (!line.empty() && line.front() == '\x1b') {
        // A terminal's Alt+number: the window of that number becomes the active one.
        line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.remove_suffix(1);
        }
        std::int32_t number = 0;
        const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), number);
        if (error == std::errc() && end == line.data() + line.size()) {
            if (ConsoleChildView* view = WindowNumbered(number)) {
                AtBoundary("activate", [&] { view->Activate(); });
            }
        }
        return;
    }
    ConsoleChildView* view = active_ != nullptr ? active_ : WindowNumbered(1);
    if (view != nullptr) {
        AtBoundary("typed line", [&] { view->Submit(line); });
    }
}

bool ConsoleToolkit::SearchLogs(const std::string& words)
{
    searches_.push_back(words);
    SearchNext();
    return true;
}

void ConsoleToolkit::InputEnded()
{
    if (!searches_.empty()) {
        inputEnded_ = true; // the answers are printed first
        return;
    }
    if (mainWindow_ != nullptr) {
        AtBoundary("end of input", [&] { mainWindow_->Close(); });
    }
}

void ConsoleToolkit::Write(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

void ConsoleToolkit::Register(ConsoleChildView* view)
{
    views_.insert(view);
    Renumbered(view, -1, view->Number());
}

void ConsoleToolkit::Unregister(ConsoleChildView* view)
{
    if (views_.erase(view) == 0) {
        return;
    }
    if (const auto it = numbered_.find(view->Number()); it != numbered_.end() && it->second == view) {
        numbered_.erase(it);
    }
    if (active_ == view) {
        // As in the GUI, the status window takes over.
        active_ = nullptr;
        if (ConsoleChildView* status = WindowNumbered(1)) {
            status->Activate();
        }
    }
}

void ConsoleToolkit::Renumbered(ConsoleChildView* view, std::int32_t previous, std::int32_t next)
{
    if (!views_.contains(view)) {
        return;
    }
    if (const auto it = numbered_.find(previous); it != numbered_.end() && it->second == view) {
        numbered_.erase(it);
    }
    if (next >= 1) {
        numbered_[next] = view;
    }
}

void ConsoleToolkit::MainWindowUnloaded()
{
    if (mainWindowGone_) {
        mainWindowGone_();
    }
}

void ConsoleToolkit::MainWindowDestroyed(const ConsoleMainWindowView* view)
{
    if (mainWindow_ == view) {
        mainWindow_ = nullptr;
    }
}

ConsoleChildView* ConsoleToolkit::WindowNumbered(std::int32_t number) const
{
    const auto it = numbered_.find(number);
    return it != numbered_.end() ? it->second : nullptr;
}

} // namespace tellix
