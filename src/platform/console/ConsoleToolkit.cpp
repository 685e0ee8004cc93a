#include "platform/console/ConsoleToolkit.h"

#include "platform/console/ConsoleViews.h"
#include "platform/qtcore/Boundary.h"

#include <QCoreApplication>
#include <QTimer>

#include <charconv>

namespace tellix {

ConsoleToolkit::ConsoleToolkit(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

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

void ConsoleToolkit::InputEnded()
{
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
