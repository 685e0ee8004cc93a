#pragma once

#include <QObject>

#include <functional>

class QUrl;

namespace tellix {

// While it exists, irc:// and ircs:// links opened anywhere in the program (the log, the topic
// bar) go to `open` in this process, never to the desktop and a second start.
class IrcLinks final : public QObject {
    Q_OBJECT

public:
    using Open = std::function<void(const QString& address)>;

    explicit IrcLinks(Open open, QObject* parent = nullptr);
    ~IrcLinks() override;

    Q_INVOKABLE void OpenLink(const QUrl& url);

private:
    Open open_;
};

} // namespace tellix
