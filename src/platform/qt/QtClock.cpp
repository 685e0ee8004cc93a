#include "platform/qt/QtClock.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTime>

namespace tellix {

std::string QtClock::LongTime()
{
    const QLocale locale = QLocale::system();
    // The locale's long format, less its time-zone name ("t" and its run).
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    format = format.trimmed();
    if (format.isEmpty()) {
        format = QStringLiteral("HH:mm:ss");
    }
    return locale.toString(QTime::currentTime(), format).toStdString();
}

} // namespace tellix
