#include "net/IRCConnections.h"

#include "net/IRCConnection.h"
#include "util/CoreError.h"
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
    for (const ConnectionPtr& connection : *this) {
        connection->DetachFromCollection();
    }
    host_.reset();
}

IRCConnections::ConnectionPtr IRCConnections::Add()
{
    ConnectionPtr connection = IRCConnection::Create();
    connection->SetParent(this);
    Append(connection);
    Events.Add.raise(connection);
    return connection;
}

const IRCConnections::ConnectionPtr& IRCConnections::Item(std::string_view key) const
{
    IRCConnection* found = FindFirst(key);
    if (found == nullptr) {
        throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
    }
    return Item(PositionOf(*found));
}

void IRCConnections::Remove(std::int32_t position)
{
    const ConnectionPtr connection = Item(position);
    connection->Delete();
}

void IRCConnections::Remove(std::string_view key)
{
    const ConnectionPtr connection = Item(key);
    connection->Delete();
}

void IRCConnections::Clear()
{
    ClearLastFirst([](const ConnectionPtr& connection) { connection->Delete(); });
}

} // namespace tellix
