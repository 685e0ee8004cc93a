// Listeners that close windows or delete the connection while the windows present what the
// connection reports: the windows must stay whole and nothing may escape.
#include "WindowsFixture.h"
#include "support/HostileListeners.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix::test {
namespace {

// A session that opens every kind of window: channels, queries, services' lines in the status
// window, nick changes of both kinds, kicks, parts, quits, a close by the server and a return.
const std::vector<std::string> kLines{
    ":irc.test 001 me :Welcome",
    ":me!u@h JOIN :#a",
    ":irc.test 332 me #a :the topic",
    ":irc.test 353 me = #a :me @anna +bob carl",
    ":me!u@h JOIN :#b",
    ":irc.test 353 me = #b :me anna erin",
    ":anna!a@h PRIVMSG #a :hello",
    ":anna!a@h PRIVMSG #a :\x01"
    "ACTION waves\x01",
    ":anna!a@h PRIVMSG me :psst",
    ":anna!a@h PRIVMSG me :again",
    ":me!u@h PRIVMSG anna :said from another client",
    ":bob!b@h NOTICE me :private note",
    ":NickServ!s@services NOTICE me :identify",
    ":bob!b@h NOTICE me :\x01VERSION bobclient 1.0\x01",
    ":irc.test NOTICE * :*** Looking up your hostname",
    ":bob!b@h NOTICE #a :note",
    ":fred!f@h JOIN :#a",
    ":anna!a@h NICK :anne",
    ":me!u@h NICK :me2",
    ":bob!b@h TOPIC #a :new topic",
    ":anne!a@h KICK #a carl :bye",
    ":erin!e@h PART #b :later",
    ":me2!u@h PART #b :",
    ":bob!b@h QUIT :gone",
    ":me2!u@h KICK #a me2 :out",
    "ERROR :Closing link",
};

enum class Act { CloseWindows, ClearWindows, DeleteConnection };

struct HostileCase {
    std::size_t event;
    Act act;
};

std::string CaseName(const testing::TestParamInfo<HostileCase>& info)
{
    static const char* const acts[] = {"ClosesWindows", "ClearsWindows", "DeletesConnection"};
    return std::string(CollectionEvents()[info.param.event].name) + "_" + acts[static_cast<int>(info.param.act)];
}

std::vector<HostileCase> AllCases()
{
    std::vector<HostileCase> cases;
    for (std::size_t i = 0; i < CollectionEvents().size(); ++i) {
        if (std::string_view(CollectionEvents()[i].name) == "Add") {
            continue; // the application adds its connection before anyone else can listen
        }
        for (const Act act : {Act::CloseWindows, Act::ClearWindows, Act::DeleteConnection}) {
            cases.push_back({i, act});
        }
    }
    return cases;
}

class HostileWindows : public testing::TestWithParam<HostileCase> {};

// Every window at its position, with its form, in the collection it names; the lookups by
// channel and user agree with what the windows show.
void ExpectWhole(Childs& childs, const IRCConnection& connection, const std::string& where)
{
    SCOPED_TRACE(where);
    // No lookup answers with a window that is gone.
    if (connection.Users() && connection.Channels()) {
        for (const auto& user : *connection.Users()) {
            const auto shown = childs.Item(user);
            EXPECT_TRUE(!shown || shown->Parent() == &childs) << user->Nick();
        }
        for (const auto& channel : *connection.Channels()) {
            const auto shown = childs.Item(channel);
            EXPECT_TRUE(!shown || shown->Parent() == &childs) << channel->Name();
        }
    }
    for (std::int32_t position = 1; position <= childs.Count(); ++position) {
        const auto& child = childs.Item(position);
        EXPECT_EQ(child->Index(), position);
        EXPECT_EQ(child->Parent(), &childs);
        EXPECT_NE(child->Window(), nullptr);
        if (child->Channel()) {
            const auto first = childs.Item(child->Channel());
            ASSERT_NE(first, nullptr);
            EXPECT_EQ(first->Parent(), &childs);
            EXPECT_LE(first->Index(), position);
        }
        if (child->Query()) {
            const auto first = childs.Item(child->Query());
            ASSERT_NE(first, nullptr);
            EXPECT_EQ(first->Parent(), &childs);
            EXPECT_LE(first->Index(), position);
        }
    }
    if (childs.Active()) {
        EXPECT_EQ(childs.Active()->Parent(), &childs);
    }
}

// What a hostile listener does when its turn comes.
void ActOn(Act act, Childs& childs, const ConnectionPtr& raiser, const ChannelPtr& channel, const UserPtr& user)
{
    switch (act) {
    case Act::CloseWindows: {
        // Whatever shows the channel or user, or else the newest window.
        auto shown = channel ? childs.Item(channel) : user ? childs.Item(user) : nullptr;
        if (!shown && childs.Count() > 1) {
            shown = childs.Item(childs.Count());
        }
        if (shown) {
            shown->CloseWindow(true);
        }
        break;
    }
    case Act::ClearWindows:
        childs.Clear();
        break;
    case Act::DeleteConnection:
        raiser->Delete();
        break;
    }
}

// One session from connect to a second server's failure, `lines` from the first server;
// `attach` connects the hostile listener, whose subscriptions live as long as the session.
void RunSession(const std::vector<std::string>& lines,
                const std::function<std::vector<Subscription>(Application&)>& attach)
{
    RecordingToolkit toolkit;
    RecordingSocketFactory sockets;
    Application app(toolkit, sockets);
    Childs& childs = *app.Childs();
    const auto connection = app.Connections().Item(1);
    const std::vector<Subscription> hostile = attach(app);
    auto online = [&] { return connection->Parent() != nullptr; };
    auto socket = [&]() -> RecordingSocket* {
        return online() ? static_cast<RecordingSocket*>(
                              app.Connections().SocketHost().wsConnection(connection->SlotNumber()))
                        : nullptr;
    };
    auto step = [&](const std::function<void(RecordingSocket&)>& peer) {
        if (RecordingSocket* s = socket()) {
            EXPECT_NO_THROW(peer(*s));
        }
        toolkit.RunPosted();
        ExpectWhole(childs, *connection, "after a step");
    };
    connection->InitialNick("me");
    connection->InitialUserParams("me 8 * :Tellix user");
    EXPECT_NO_THROW(connection->Connect("irc.test", 6667));
    step([](RecordingSocket& s) { s.PeerConnects(); });
    for (const std::string& line : lines) {
        step([&](RecordingSocket& s) { s.PeerSends(line + "\r\n"); });
    }
    step([](RecordingSocket& s) { s.PeerCloses(); });
    if (online()) {
        EXPECT_NO_THROW(connection->Connect("other.test", 7000));
    }
    step([](RecordingSocket& s) { s.PeerConnects(); });
    step([](RecordingSocket& s) { s.PeerSends(":other.test 001 me :Welcome back\r\n:me!u@h JOIN :#c\r\n"); });
    step([](RecordingSocket& s) { s.Fails(10053, "Connection is aborted"); });
    // The windows that are left still take lines.
    EXPECT_NO_THROW(app.Echo(1, "still here"));
}

// The listener acts at the n-th raise of its event, for every n the session reaches.
TEST_P(HostileWindows, EveryRaiseSurvivesAListenerThatClosesWhatIsShown)
{
    const CollectionEvent& event = CollectionEvents()[GetParam().event];
    const Act act = GetParam().act;
    int reached = 0;
    for (int nth = 1;; ++nth) {
        SCOPED_TRACE("at raise " + std::to_string(nth) + " of " + event.name);
        bool fired = false;
        RunSession(kLines, [&](Application& app) {
            std::vector<Subscription> kept;
            kept.push_back(
                event.attach(app.Connections(), [&, application = &app, raises = 0](const ConnectionPtr& raiser,
                                                                                    const ChannelPtr& channel,
                                                                                    const UserPtr& user) mutable {
                    if (++raises == nth) {
                        fired = true;
                        ActOn(act, *application->Childs(), raiser, channel, user);
                    }
                }));
            return kept;
        });
        if (!fired) {
            break;
        }
        reached = nth;
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_GT(reached, 0) << "the session never raised " << event.name;
}

INSTANTIATE_TEST_SUITE_P(EachCollectionEvent, HostileWindows, testing::ValuesIn(AllCases()), CaseName);

// A channel's own events, which no collection relays: a session with ranks announced, granted,
// taken, short of their nick, naming strangers and hostile parameters; members going away and
// coming back; members typing.
const std::vector<std::string> kModeLines{
    ":irc.test 001 me :Welcome",
    ":irc.test 005 me PREFIX=(qaohv)~&@%+ CASEMAPPING=ascii CHANMODES=beI,k,l,imnpst :are supported",
    ":me!u@h JOIN :#a",
    ":irc.test 353 me = #a :me ~@anna +bob %carl",
    ":me!u@h JOIN :#b",
    ":irc.test 353 me = #b :me anna erin",
    ":anna!a@h AWAY :lunch",
    ":irc.test 352 me #a c h irc.test carl G :0 Carl",
    "@+typing=active :anna!a@h TAGMSG #a",
    "@+typing=active :erin!e@h TAGMSG #b",
    "@+typing=active :bob!b@h TAGMSG #a",
    ":anna!a@h MODE #a +o bob",
    ":anna!a@h MODE #a +ov-v carl carl bob",
    ":anna!a@h AWAY",
    "@+typing=done :bob!b@h TAGMSG #a",
    ":anna!a@h MODE #a -q anna",
    ":anna!a@h MODE #a +bkl *!*@bad key 10",
    ":anna!a@h MODE #a +o",
    ":anna!a@h MODE #a +o nobody",
    ":anna!a@h MODE #a +oooooooooooooooooooooooo me",
    ":irc.test MODE #b +vv erin anna",
    ":anna!a@h NICK :anne",
    ":anne!a@h MODE #a -h+a carl carl",
    ":me!u@h MODE me :+i",
    ":anne!a@h KICK #a carl :bye",
    ":erin!e@h PART #b :later",
    ":me!u@h KICK #a me :out",
    "ERROR :Closing link",
};

enum class ChannelEvent { ModeChange, RankChange, AwayChange, TypingChange };

struct ChannelCase {
    ChannelEvent event;
    Act act;
};

std::string ChannelCaseName(const testing::TestParamInfo<ChannelCase>& info)
{
    static const char* const events[] = {"ModeChange", "RankChange", "AwayChange", "TypingChange"};
    static const char* const acts[] = {"ClosesWindows", "ClearsWindows", "DeletesConnection"};
    return std::string(events[static_cast<int>(info.param.event)]) + "_" + acts[static_cast<int>(info.param.act)];
}

std::vector<ChannelCase> ChannelCases()
{
    std::vector<ChannelCase> cases;
    for (const ChannelEvent event : {ChannelEvent::ModeChange, ChannelEvent::RankChange, ChannelEvent::AwayChange,
                                     ChannelEvent::TypingChange}) {
        for (const Act act : {Act::CloseWindows, Act::ClearWindows, Act::DeleteConnection}) {
            cases.push_back({event, act});
        }
    }
    return cases;
}

class HostileChannelWindows : public testing::TestWithParam<ChannelCase> {};

TEST_P(HostileChannelWindows, EveryRaiseSurvivesAListenerThatClosesWhatIsShown)
{
    const ChannelCase param = GetParam();
    int reached = 0;
    for (int nth = 1;; ++nth) {
        SCOPED_TRACE("at raise " + std::to_string(nth));
        bool fired = false;
        int raises = 0;
        RunSession(kModeLines, [&](Application& app) {
            std::vector<Subscription> kept;
            // Each channel as it comes: the listener joins before the windows do.
            kept.push_back(app.Connections().Events.ChannelAdd.connect(
                [&, application = &app, kept = std::make_shared<std::vector<Subscription>>()](
                    const ConnectionPtr& raiser, const ChannelPtr& channel) {
                    const std::weak_ptr<IRCConnection> weakRaiser = raiser;
                    const std::weak_ptr<IRCChannel> weakChannel = channel;
                    const auto act = [&, application, weakRaiser, weakChannel] {
                        if (++raises != nth) {
                            return;
                        }
                        fired = true;
                        if (const auto connection = weakRaiser.lock()) {
                            ActOn(param.act, *application->Childs(), connection, weakChannel.lock(), nullptr);
                        }
                    };
                    switch (param.event) {
                    case ChannelEvent::ModeChange:
                        kept->push_back(channel->Events.ModeChange.connect([act](auto&&...) { act(); }));
                        break;
                    case ChannelEvent::RankChange:
                        kept->push_back(channel->Events.RankChange.connect([act](auto&&...) { act(); }));
                        break;
                    case ChannelEvent::AwayChange:
                        kept->push_back(channel->Events.AwayChange.connect([act](auto&&...) { act(); }));
                        break;
                    case ChannelEvent::TypingChange:
                        kept->push_back(channel->Events.TypingChange.connect([act](auto&&...) { act(); }));
                        break;
                    }
                }));
            return kept;
        });
        if (!fired) {
            break;
        }
        reached = nth;
        if (HasFailure()) {
            break;
        }
    }
    // Modes reach both channels, ranks change at least a dozen times, anna goes away and comes
    // back where she is a member (carl only in #a), and three members type.
    static const int least[] = {8, 12, 5, 4};
    EXPECT_GE(reached, least[static_cast<int>(param.event)]);
}

INSTANTIATE_TEST_SUITE_P(EachChannelEvent, HostileChannelWindows, testing::ValuesIn(ChannelCases()),
                         ChannelCaseName);

} // namespace
} // namespace tellix::test
