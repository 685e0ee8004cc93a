#pragma once

// Header only: the widget tests use it, on the test program's own session bus.

#include "support/QtLoop.h"
#include "support/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTemporaryDir>
#include <QVariant>

#include <ostream>
#include <string>
#include <vector>

namespace tellix::test {

// The desktop's notification service, played on a bus of the test's own: each notification
// gets the next id, from 1.
class FakeNotifications final : public QDBusVirtualObject {
public:
    struct Call {
        QString title;
        QString body;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> calls;
    std::vector<QStringList> actions;
    // The ids the program asked to close, in order.
    std::vector<uint> closed;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == "CloseNotification" && message.arguments().size() == 1) {
            closed.push_back(message.arguments()[0].toUInt());
            connection.send(message.createReply());
            return true;
        }
        if (message.member() != "Notify" || message.arguments().size() != 8) {
            return false;
        }
        calls.push_back({message.arguments()[3].toString(), message.arguments()[4].toString()});
        actions.push_back(message.arguments()[5].toStringList());
        connection.send(message.createReply(QVariant::fromValue(static_cast<uint>(calls.size()))));
        return true;
    }
    QString introspect(const QString& /*path*/) const override { return {}; }
};

inline void PrintTo(const FakeNotifications::Call& call, std::ostream* out)
{
    *out << call.title.toStdString() << " / " << call.body.toStdString();
}

// A session bus of the test's own with the fake notification service on it, the bus the
// program finds. Qt keeps the session bus a process first found: a test using it needs a
// process of its own, as CTest gives each test.
struct FakeDesktop {
    bool Start()
    {
        const std::string address = StartSessionBus(busDir.path().toStdString());
        if (address.empty()) {
            return false;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(address));
        EnsureGuiApplication();
        service = QDBusConnection::connectToBus(QString::fromStdString(address), "fake-notifications");
        return service.registerService("org.freedesktop.Notifications") &&
               service.registerVirtualObject("/org/freedesktop/Notifications", &fake);
    }
    ~FakeDesktop()
    {
        service.unregisterObject("/org/freedesktop/Notifications");
        QDBusConnection::disconnectFromBus("fake-notifications");
    }

    QTemporaryDir busDir;
    FakeNotifications fake;
    QDBusConnection service{QString()};
};

} // namespace tellix::test
