#include "platform/qt/IrcLinks.h"

#include <QDesktopServices>
#include <QTimer>
#include <QUrl>

namespace tellix {

IrcLinks::IrcLinks(Open open, QObject* parent) : QObject(parent), open_(std::move(open))
{
    QDesktopServices::setUrlHandler(QStringLiteral("irc"), this, "OpenLink");
    QDesktopServices::setUrlHandler(QStringLiteral("ircs"), this, "OpenLink");
}

IrcLinks::~IrcLinks()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("irc"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("ircs"));
}

void IrcLinks::OpenLink(const QUrl& url)
{
    // Once the click is over: opening may ask the user, and the widget clicked may go meanwhile.
    QTimer::singleShot(0, this, [this, address = url.toString(QUrl::FullyEncoded)] {
        if (open_) {
            open_(address);
        }
    });
}

} // namespace tellix
