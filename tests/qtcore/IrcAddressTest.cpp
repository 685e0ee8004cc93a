// irc:// addresses as browsers and desktop links hand them over.
#include "platform/qtcore/IrcAddress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tellix::test {
namespace {

TEST(IrcAddress, ServerPortAndChannelOrAReasonForRefusing)
{
    struct Row {
        const char* text;
        std::string host;
        std::int32_t port;
        std::string channel;
        std::string error;
    };
    const std::vector<Row> rows = {
        {"irc://127.0.0.1", "127.0.0.1", 0, "", ""},
        {"irc://irc.example:6697/room", "irc.example", 6697, "#room", ""},
        {"irc://irc.example:65535/room", "irc.example", 65535, "#room", ""},
        {"irc://irc.example/%23room", "irc.example", 0, "#room", ""},
        {"irc://irc.example/#room", "irc.example", 0, "#room", ""},
        {"IRC://Irc.Example/&local", "irc.example", 0, "&local", ""},
        {"irc://[::1]:7000/room", "::1", 7000, "#room", ""},
        {"irc://irc.example/room,needpass", "irc.example", 0, "#room", ""},
        {"irc://irc.example/", "irc.example", 0, "", ""},
        {"irc://irc.example/%23", "irc.example", 0, "", ""},
        {"irc://irc.example/caf%C3%A9", "irc.example", 0, "#caf\xC3\xA9", ""},
        {"http://irc.example/room", "", 0, "", "not an irc:// address"},
        {"irc.example/room", "", 0, "", "not an irc:// address"},
        {"ircs://irc.example/room", "irc.example", 6697, "#room", ""},
        {"ircs://irc.example:7000", "irc.example", 7000, "", ""},
        {"irc://", "", 0, "", "the address names no server"},
        {"irc:///room", "", 0, "", "the address names no server"},
        {"irc://irc.example:0/room", "", 0, "", "the port is not a number from 1 to 65535"},
        {"irc://irc.example:65536/room", "", 0, "", "not a valid address"},
        {"irc://irc.example:66ab/room", "", 0, "", "not a valid address"},
        {"irc://joe@irc.example/room", "", 0, "", "an irc:// address takes no user name or password"},
        {"irc://irc.example/a/b", "", 0, "", "the address names more than a channel"},
        {"irc://irc.example/%23a#b", "", 0, "", "the address names more than one channel"},
        {"irc://irc.example/bob,isnick", "", 0, "", "the address names a nick, not a channel"},
        {"irc://irc.example/a%20b", "", 0, "", "the channel name holds a blank or a control character"},
        {"irc://irc.example/a%0D%0AQUIT", "", 0, "", "the channel name holds a blank or a control character"},
        {"irc://irc.example/a%00", "", 0, "", "the channel name holds a blank or a control character"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const IrcAddress address = ParseIrcAddress(QString::fromUtf8(row.text));
        EXPECT_EQ(address.error, row.error);
        EXPECT_EQ(address.host, row.host);
        EXPECT_EQ(address.port, row.port);
        EXPECT_EQ(address.channel, row.channel);
        EXPECT_EQ(address.tls, std::string_view(row.text).starts_with("ircs:"));
    }
}

} // namespace
} // namespace tellix::test
