#include "net/IRCConnections.h"

#include "net/IRCConnection.h"
#include "util/Utility.h"

namespace tellix {

IRCConnections::IRCConnections(SocketFactory& factory)
    : host_(std::make_unique<frmContainer>(factory)), key_(NewUniqueKey())
{
}

IRCConnections::~IRCConnections()
{
    // Connections that outlive the collection (a window may hold one) lose their
    // socket here, silently, before the host that owns the sockets goes.
    for (const ConnectionPtr& connection : list_) {
        connection->DetachFromCollection();
    }
    host_.reset();
}

IRCConnections::ConnectionPtr IRCConnections::Add()
{
    ConnectionPtr connection = IRCConnection::Create();
    connection->SetIndex(Count() + 1);
    connection->SetParent(this);
    list_.Append(connection->Key(), connection);
    Reindex();
    Events.Add.raise(connection);
    return connection;
}

const IRCConnections::ConnectionPtr& IRCConnections::Item(std::int32_t position) const
{
    return list_.At(position);
}

const IRCConnections::ConnectionPtr& IRCConnections::Item(std::string_view key) const
{
    const std::int32_t position = list_.PositionOf(key);
    if (position == 0) {
        throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
    }
    return list_.At(position);
}

void IRCConnections::Remove(std::int32_t position)
{
    ConnectionPtr connection = Item(position);
    connection->Delete();
}

void IRCConnections::Remove(std::string_view key)
{
    ConnectionPtr connection = Item(key);
    connection->Delete();
}

void IRCConnections::Clear()
{
    for (std::int32_t position = Count(); position >= 1; --position) {
        if (position <= Count()) {
            ConnectionPtr connection = list_.At(position);
            connection->Delete();
        }
    }
}

void IRCConnections::Reindex()
{
    std::int32_t position = 0;
    for (const ConnectionPtr& connection : list_) {
        connection->SetIndex(++position);
    }
}

void IRCConnections::RemoveAt(std::int32_t position)
{
    list_.RemoveAt(position);
    Reindex();
}

} // namespace tellix
