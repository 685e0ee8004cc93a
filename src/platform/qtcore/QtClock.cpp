#include "platform/qtcore/QtClock.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <chrono>

namespace tellix {

namespace {

// The locale's long format, less its time-zone name ("t" and its run).
QString LongFormat(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    format = format.trimmed();
    if (format.isEmpty()) {
        format = QStringLiteral("HH:mm:ss");
    }
    return format;
}

} // namespace

std::string QtClock::LongTimeAt(std::int64_t msSinceEpoch)
{
    const QLocale locale = QLocale::system();
    const QTime time = QDateTime::fromMSecsSinceEpoch(msSinceEpoch).toLocalTime().time();
    return locale.toString(time, LongFormat(locale)).toStdString();
}

std::string QtClock::LongTime()
{
    const std::int64_t second =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    if (second == second_) {
        return text_;
    }
    const QLocale locale = QLocale::system();
    text_ = locale.toString(QTime::currentTime(), LongFormat(locale)).toStdString();
    second_ = second;
    return text_;
}

} // namespace tellix
