#pragma once

#include "app/Application.h"
#include "dialog/ConnectDialog.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "support/RecordingSocket.h"
#include "support/RecordingToolkit.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <map>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tellix::test {

// The application on recording views and a recording socket: the status window is window 1.
struct WindowsFixture : testing::Test {
    RecordingToolkit toolkit;
    RecordingSocketFactory sockets;
    Application app{toolkit, sockets};
    std::shared_ptr<IRCConnection> connection = app.Connections().Item(1);
    RecordingSocket& socket = *sockets.created.back();
    Childs& childs = *app.Childs();
    // Long enough for every test's lines at the paced rate.
    static constexpr std::int64_t kDrainMs = 3'600'000;

    // Connected to irc.test and welcomed as "me".
    void Online()
    {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        Receive(":irc.test 001 me :Welcome");
        socket.sent.clear();
    }

    void Receive(const std::string& line) { socket.PeerSends(line + "\r\n"); }

    // What was sent since the last call, without the line ends; lines still paced go out first,
    // the protocol's clock moved on until none is held (or by `drainMs`).
    std::vector<std::string> Sent(std::int64_t drainMs = kDrainMs)
    {
        toolkit.timers.Advance(drainMs);
        std::vector<std::string> lines;
        for (const std::string& line : socket.sent) {
            lines.push_back(line.substr(0, line.size() - 2));
        }
        socket.sent.clear();
        return lines;
    }

    RecordingChildView& View(std::int32_t index)
    {
        return *static_cast<RecordingChildView*>(childs.Item(index)->Window());
    }

    // The window's log lines without their time stamps, each checked to have one.
    std::vector<std::string> Lines(std::int32_t index)
    {
        std::vector<std::string> lines;
        const std::string stamp = std::string("[") + RecordingToolkit::Time + "] ";
        for (const std::string& line : View(index).Lines()) {
            if (line.starts_with(stamp)) {
                lines.push_back(line.substr(stamp.size()));
            } else {
                lines.push_back("(no stamp) " + line);
            }
        }
        return lines;
    }

    // The lines written since the last call.
    std::vector<std::string> NewLines(std::int32_t index)
    {
        std::vector<std::string> lines = Lines(index);
        std::size_t& seen = seen_[index];
        std::vector<std::string> fresh(lines.begin() + static_cast<std::ptrdiff_t>(std::min(seen, lines.size())),
                                       lines.end());
        seen = lines.size();
        return fresh;
    }

    std::vector<std::string> Nicks(std::int32_t index)
    {
        const auto child = childs.Item(index);
        std::vector<std::string> nicks;
        for (std::int32_t i = 0; i < child->NickCount(); ++i) {
            nicks.emplace_back(child->NickItem(i));
        }
        // The view shows exactly the entries the window keeps.
        EXPECT_EQ(nicks, View(index).nicks);
        return nicks;
    }

private:
    std::map<std::int32_t, std::size_t> seen_;
};

using Texts = std::vector<std::string>;

} // namespace tellix::test
