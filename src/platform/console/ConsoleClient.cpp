#include "platform/console/ConsoleClient.h"

#include "app/Application.h"
#include "platform/console/ConsoleToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "platform/qtcore/StartApplication.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <string>
#include <unistd.h>

namespace tellix {

namespace {

// Standard input, read as it comes and cut into lines; a last line without its line end
// still counts.
class StdinLines {
public:
    explicit StdinLines(ConsoleToolkit& toolkit)
        : toolkit_(toolkit), notifier_(STDIN_FILENO, QSocketNotifier::Read)
    {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { Read(); });
    }

private:
    void Read()
    {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (n <= 0) {
            notifier_.setEnabled(false);
            if (!pending_.empty()) {
                const std::string last = std::move(pending_);
                pending_.clear();
                toolkit_.Typed(last);
            }
            toolkit_.InputEnded();
            return;
        }
        pending_.append(chunk, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
            toolkit_.Typed(std::string_view(pending_).substr(start, end - start));
            if (Application::Instance() == nullptr) {
                notifier_.setEnabled(false); // /exit: what follows is not read
                return;
            }
        }
        pending_.erase(0, start);
    }

    ConsoleToolkit& toolkit_;
    QSocketNotifier notifier_;
    std::string pending_;
};

} // namespace

int RunConsoleClient(const QString& address)
{
    ConsoleToolkit toolkit;
    QtSocketFactory sockets;
    toolkit.OnMainWindowGone([] { QCoreApplication::quit(); });
    StartApplication(toolkit, sockets, address);
    StdinLines input(toolkit);
    const int status = QCoreApplication::exec();
    Application::Instance().reset();
    // The last lines written (a QUIT) still leave before the process ends.
    QtTcpSocket::WaitForPendingCloses();
    return status;
}

} // namespace tellix
