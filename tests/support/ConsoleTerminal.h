#pragma once

// Header only: the support library is linked by test programs without the console front-end.

#include "app/Application.h"
#include "platform/console/ConsoleToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/QtLoop.h"

#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tellix::test {

// The terminal front-end in this process, on real sockets, what it prints kept in memory;
// settings and logs in folders of its own.
class ConsoleTerminal {
public:
    // `prepare` writes what the settings hold before the program starts, given the folder
    // XDG_CONFIG_HOME names; the logs go under `dataHome` when one is given, the settings under
    // `configHome` (a start after an earlier one's end).
    explicit ConsoleTerminal(const std::function<void(const QString& configHome)>& prepare = {},
                             const QString& dataHome = {}, const QString& configHome = {})
        : configHome_(configHome.isEmpty() ? config_.path() : configHome)
    {
        EnsureQtApplication();
        if (prepare) {
            prepare(configHome_);
        }
        qputenv("XDG_CONFIG_HOME", configHome_.toLocal8Bit());
        qputenv("XDG_DATA_HOME", (dataHome.isEmpty() ? data_.path() : dataHome).toLocal8Bit());
        out_ = ::open_memstream(&buffer_, &size_);
        toolkit_ = std::make_unique<ConsoleToolkit>(out_, out_);
        app_ = std::make_unique<Application>(*toolkit_, sockets_);
    }
    ~ConsoleTerminal()
    {
        app_.reset();
        toolkit_.reset();
        std::fclose(out_);
        std::free(buffer_);
    }
    ConsoleTerminal(const ConsoleTerminal&) = delete;
    ConsoleTerminal& operator=(const ConsoleTerminal&) = delete;

    void Type(const std::string& line) { toolkit_->Typed(line); }
    std::string Out() const
    {
        std::fflush(out_);
        return std::string(buffer_, size_);
    }
    // Where the output stands now: Prints and Count look only after it.
    void Mark() { mark_ = Out().size(); }
    std::string SinceMark() const { return Out().substr(mark_); }
    // Once a whole line matches `pattern`: its first capture (empty without one); nothing when
    // none comes in time.
    std::optional<std::string> Prints(const std::string& pattern,
                                      std::chrono::milliseconds wait = std::chrono::seconds(10)) const
    {
        const QRegularExpression wanted = WholeLine(pattern);
        QRegularExpressionMatch match;
        if (!PumpUntil(
                [&] {
                    match = wanted.match(QString::fromStdString(SinceMark()));
                    return match.hasMatch();
                },
                wait)) {
            return std::nullopt;
        }
        return match.captured(1).toStdString();
    }
    std::size_t Count(const std::string& pattern) const
    {
        std::size_t n = 0;
        for (auto it = WholeLine(pattern).globalMatch(QString::fromStdString(SinceMark())); it.hasNext();
             it.next()) {
            ++n;
        }
        return n;
    }

    Application& App() const { return *app_; }
    ConsoleToolkit& Toolkit() const { return *toolkit_; }
    QString SettingsFile() const { return configHome_ + "/Tellix/Tellix06.ini"; }
    const QString& ConfigHome() const { return configHome_; }

private:
    static QRegularExpression WholeLine(const std::string& pattern)
    {
        return QRegularExpression(QString::fromStdString("^" + pattern + "$"),
                                  QRegularExpression::MultilineOption);
    }

    QTemporaryDir config_;
    QString configHome_;
    QTemporaryDir data_;
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* out_ = nullptr;
    std::size_t mark_ = 0;
    QtSocketFactory sockets_;
    std::unique_ptr<ConsoleToolkit> toolkit_;
    std::unique_ptr<Application> app_;
};

} // namespace tellix::test
