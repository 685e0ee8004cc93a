#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

namespace tellix {

// Desktop notifications through the freedesktop notification service on the session bus. Calls
// never wait: where no bus or no service answers, nothing is shown and nothing else happens.
class Notifier final : public QObject {
    Q_OBJECT

public:
    static Notifier& Instance();

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    // One notification per window at a time: a newer one for the same window replaces it. While
    // the service has not answered for a window, only that window's newest line waits: a flood
    // costs one call in flight and one waiting.
    void Notify(const void* window, const QString& title, const QString& text);
    void Forget(const void* window);
    // The window's lines were read elsewhere: its notification, shown or on its way, goes.
    void Withdraw(const void* window);

    // The body as sent: formatting codes dropped, markup escaped, cut short.
    static QString Body(const QString& text);
    static constexpr qsizetype kBodyLength = 200;
    // The title likewise: some servers read markup in it too, and a channel's name may hold
    // "<" or "&".
    static QString Title(const QString& title);
    static constexpr qsizetype kTitleLength = 100;

Q_SIGNALS:
    // The user clicked the window's notification: it wants that window in front.
    void clicked(const void* window);

private Q_SLOTS:
    // The service's own signals; ids it never gave us, or gave for a window gone, do nothing.
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

private:
    Notifier();
    void Send(const void* window, const QString& title, const QString& text);
    void Listen(QDBusConnection& bus);
    void Shown(const void* window, uint id);
    void Close(uint id);

    struct Waiting {
        QString title;
        QString text;
    };

    bool enabled_ = true;
    bool listening_ = false;
    QHash<const void*, uint> shown_;   // window to the id the service gave its last notification
    QHash<uint, const void*> windows_; // and back: one entry per window at most
    QHash<const void*, bool> inFlight_;
    QHash<const void*, Waiting> waiting_;
    // Windows whose notification in flight goes as soon as the service names it.
    QHash<const void*, bool> withdrawn_;
};

} // namespace tellix
