#include "platform/qtcore/QtClock.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <chrono>

namespace tellix {

std::string QtClock::LongTime()
{
    const std::int64_t second =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    if (second == second_) {
        return text_;
    }
    const QLocale locale = QLocale::system();
    // The locale's long format, less its time-zone name ("t" and its run).
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    format = format.trimmed();
    if (format.isEmpty()) {
        format = QStringLiteral("HH:mm:ss");
    }
    text_ = locale.toString(QTime::currentTime(), format).toStdString();
    second_ = second;
    return text_;
}

} // namespace tellix
