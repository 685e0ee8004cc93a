#include "platform/qt/Notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

namespace tellix {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// IRC's formatting codes, which a notification cannot show.
bool IsFormatting(QChar c)
{
    switch (c.unicode()) {
    case 0x02:
    case 0x0F:
    case 0x11:
    case 0x16:
    case 0x1D:
    case 0x1E:
    case 0x1F:
        return true;
    default:
        return false;
    }
}

// The text as plain, escaped text of at most `length` characters and an ellipsis.
QString PlainText(const QString& text, qsizetype length);

} // namespace

Notifier& Notifier::Instance()
{
    static Notifier* const notifier = new Notifier; // lives as long as the process
    return *notifier;
}

Notifier::Notifier() = default;

QString Notifier::Body(const QString& text)
{
    return PlainText(text, kBodyLength);
}

QString Notifier::Title(const QString& title)
{
    return PlainText(title, kTitleLength);
}

namespace {

QString PlainText(const QString& text, qsizetype length)
{
    QString plain;
    plain.reserve(std::min(text.size(), length + 1));
    for (qsizetype i = 0; i < text.size() && plain.size() <= length; ++i) {
        const QChar c = text[i];
        if (c == QChar(0x03) || c == QChar(0x04)) {
            // A colour: up to two digits, then a comma and up to two more (hex for 0x04).
            const auto isDigit = [&](qsizetype at) {
                return at < text.size() &&
                       (c == QChar(0x03) ? text[at].isDigit()
                                         : QStringLiteral("0123456789abcdefABCDEF").contains(text[at]));
            };
            const int width = c == QChar(0x03) ? 2 : 6;
            qsizetype end = i + 1;
            while (end - i - 1 < width && isDigit(end)) {
                ++end;
            }
            if (end > i + 1 && end + 1 < text.size() && text[end] == QLatin1Char(',') && isDigit(end + 1)) {
                const qsizetype start = ++end;
                while (end - start < width && isDigit(end)) {
                    ++end;
                }
            }
            i = end - 1;
            continue;
        }
        if (IsFormatting(c) || (c.unicode() < 0x20 && c != QLatin1Char('\t'))) {
            continue;
        }
        plain += c;
    }
    if (plain.size() > length) {
        plain.truncate(length);
        if (plain.back().isHighSurrogate()) {
            plain.chop(1);
        }
        plain += QChar(0x2026);
    }
    // Servers may read it as markup; it is the sender's text, never markup.
    return plain.toHtmlEscaped();
}

} // namespace

void Notifier::Forget(const void* window)
{
    if (const auto shown = shown_.find(window); shown != shown_.end()) {
        // The service may have given the id anew, to another window, since.
        if (windows_.value(*shown) == window) {
            windows_.remove(*shown);
        }
        shown_.erase(shown);
    }
    waiting_.remove(window);
    inFlight_.remove(window);
    withdrawn_.remove(window);
}

void Notifier::Notify(const void* window, const QString& title, const QString& text)
{
    if (!enabled_) {
        return;
    }
    if (inFlight_.contains(window)) {
        waiting_.insert(window, Waiting{title, text});
        return;
    }
    Send(window, title, text);
}

void Notifier::Send(const void* window, const QString& title, const QString& text)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    Listen(bus);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tellix"));
    hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
    const QString app = QGuiApplication::applicationDisplayName().isEmpty()
                            ? QStringLiteral("Tellix")
                            : QGuiApplication::applicationDisplayName();
    // "default" is what a click on the notification itself invokes.
    const QStringList actions = {QStringLiteral("default"), QStringLiteral("Show")};
    call << app << shown_.value(window, 0U) << QStringLiteral("tellix") << Title(title) << Body(text) << actions
         << hints << -1;
    inFlight_.insert(window, true);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, window](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        if (!inFlight_.remove(window)) {
            return; // the window went meanwhile
        }
        const QDBusPendingReply<uint> reply = *done;
        if (withdrawn_.remove(window)) {
            if (!reply.isError()) {
                Close(reply.value());
            }
        } else if (!reply.isError()) {
            Shown(window, reply.value());
        }
        if (const auto next = waiting_.find(window); next != waiting_.end()) {
            const Waiting line = *next;
            waiting_.erase(next);
            if (enabled_) {
                Send(window, line.title, line.text);
            }
        }
    });
}

void Notifier::Withdraw(const void* window)
{
    waiting_.remove(window);
    if (inFlight_.contains(window)) {
        withdrawn_.insert(window, true);
    }
    const auto shown = shown_.find(window);
    if (shown == shown_.end()) {
        return;
    }
    const uint id = *shown;
    if (windows_.value(id) == window) {
        windows_.remove(id);
    }
    shown_.erase(shown);
    Close(id);
}

void Notifier::Close(uint id)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("CloseNotification"));
    call << id;
    bus.send(call); // nothing waits for the answer
}

void Notifier::Listen(QDBusConnection& bus)
{
    if (listening_) {
        return;
    }
    listening_ = true;
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                SLOT(ActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                SLOT(NotificationClosed(uint, uint)));
}

void Notifier::Shown(const void* window, uint id)
{
    // A replacement may come under a new id: the old one no longer leads anywhere.
    if (const auto before = shown_.find(window); before != shown_.end() && *before != id) {
        windows_.remove(*before);
    }
    shown_.insert(window, id);
    windows_.insert(id, window);
}

void Notifier::ActionInvoked(uint id, const QString& key)
{
    const auto window = windows_.constFind(id);
    if (key != QLatin1String("default") || window == windows_.cend()) {
        return;
    }
    Q_EMIT clicked(*window);
}

void Notifier::NotificationClosed(uint id, uint /*reason*/)
{
    const auto window = windows_.find(id);
    if (window == windows_.end()) {
        return;
    }
    // Gone from the screen: the next line for the window starts a new one.
    if (const auto shown = shown_.find(*window); shown != shown_.end() && *shown == id) {
        shown_.erase(shown);
    }
    windows_.erase(window);
}

} // namespace tellix
