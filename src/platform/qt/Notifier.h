#pragma once

#include <QHash>
#include <QObject>
#include <QString>

namespace tellix {

// Desktop notifications through the freedesktop notification service on the session bus. Calls
// never wait: where no bus or no service answers, nothing is shown and nothing else happens.
class Notifier final : public QObject {
public:
    static Notifier& Instance();

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    // One notification per window at a time: a newer one for the same window replaces it. While
    // the service has not answered for a window, only that window's newest line waits: a flood
    // costs one call in flight and one waiting.
    void Notify(const void* window, const QString& title, const QString& text);
    void Forget(const void* window);

    // The body as sent: formatting codes dropped, markup escaped, cut short.
    static QString Body(const QString& text);
    static constexpr qsizetype kBodyLength = 200;

private:
    Notifier();
    void Send(const void* window, const QString& title, const QString& text);

    struct Waiting {
        QString title;
        QString text;
    };

    bool enabled_ = true;
    QHash<const void*, uint> shown_; // window to the id the service gave its last notification
    QHash<const void*, bool> inFlight_;
    QHash<const void*, Waiting> waiting_;
};

} // namespace tellix
