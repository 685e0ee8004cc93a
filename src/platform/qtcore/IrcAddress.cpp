#include "platform/qtcore/IrcAddress.h"

#include "net/ServerTrust.h"

#include <QUrl>

namespace tellix {

namespace {

IrcAddress Refused(std::string why)
{
    IrcAddress address;
    address.error = std::move(why);
    return address;
}

// What the server would refuse, or what would break the JOIN line, as a reason; empty when
// the name will do.
std::string ChannelProblem(const std::string& name)
{
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == ' ' || byte == 0x7F) {
            return "the channel name holds a blank or a control character";
        }
    }
    return {};
}

} // namespace

IrcAddress ParseIrcAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        return Refused("not a valid address");
    }
    const QString scheme = url.scheme().toLower();
    const bool tls = scheme == QLatin1String("ircs");
    if (!tls && scheme != QLatin1String("irc")) {
        return Refused("not an irc:// address");
    }
    if (!url.userInfo().isEmpty()) {
        return Refused("an irc:// address takes no user name or password");
    }
    IrcAddress address;
    address.host = url.host(QUrl::FullyDecoded).toStdString();
    if (address.host.empty()) {
        return Refused("the address names no server");
    }
    // QUrl itself refuses ports above 65535.
    const int port = url.port(-1);
    if (port == 0) {
        return Refused("the port is not a number from 1 to 65535");
    }
    address.tls = tls;
    address.port = port < 0 ? (tls ? TlsPort : 0) : port;

    // "irc://host/#room" arrives with the channel as the fragment.
    QString path = url.path(QUrl::FullyDecoded);
    if (path.startsWith(QLatin1Char('/'))) {
        path.remove(0, 1);
    }
    if (path.isEmpty() && url.hasFragment()) {
        path = QLatin1Char('#') + url.fragment(QUrl::FullyDecoded);
    } else if (url.hasFragment()) {
        return Refused("the address names more than one channel");
    }
    if (path.contains(QLatin1Char('/'))) {
        return Refused("the address names more than a channel");
    }
    // Flags after a comma say how to join; "isnick" means the name is a person.
    const QStringList parts = path.split(QLatin1Char(','));
    if (parts.mid(1).contains(QLatin1String("isnick"), Qt::CaseInsensitive)) {
        return Refused("the address names a nick, not a channel");
    }
    std::string channel = parts.front().toStdString();
    if (channel.empty()) {
        return address;
    }
    if (const std::string problem = ChannelProblem(channel); !problem.empty()) {
        return Refused(problem);
    }
    if (channel.find_first_of("#&+!") != 0) {
        channel.insert(0, 1, '#');
    }
    if (channel.size() == 1) {
        return address; // "irc://host/%23" names no channel
    }
    address.channel = std::move(channel);
    return address;
}

} // namespace tellix
