#pragma once

#include "platform/ChildView.h"
#include "util/Event.h"
#include "windows/NickList.h"
#include "windows/ReplyIndex.h"
#include "windows/SeenLines.h"
#include "windows/Typists.h"

#include <absl/container/flat_hash_map.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class Application;
class Childs;
class IRCChannel;
class IRCConnection;
class IRCUser;
class Timer;
class Toolkit;

// What a received line is, for the window's activity.
enum class LineKind { Event, Message, Private };

// One document window: the status window (Index 1), a channel window (Channel set) or a
// query window (Query set). It writes what its channel or query partner reports into its
// log and keeps its nick list in step.
class Child : public std::enable_shared_from_this<Child> {
    struct Token {
        explicit Token() = default;
    };

public:
    using ChannelPtr = std::shared_ptr<IRCChannel>;
    using UserPtr = std::shared_ptr<IRCUser>;

    Child(Token, Toolkit& toolkit);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // A fresh window: minimized, at the back, outside any collection.
    static std::shared_ptr<Child> Create(Toolkit& toolkit);

    const ChannelPtr& Channel() const { return pobjChannel_; }
    void Channel(const ChannelPtr& channel);
    // The status window refuses; any other window is deleted.
    bool CloseWindow(bool user);
    const std::string& DefaultCommand() const { return defaultCommand_; }
    void DefaultCommand(std::string command) { defaultCommand_ = std::move(command); }
    // False when a Delete of this window is already running.
    bool Delete(bool user);
    // One time-stamped line at the end of the log.
    void Echo(std::string_view output);
    // Empties the log.
    void ClearLog();
    // The same with how it reads; its offsets count bytes of `output`.
    void Echo(std::string_view output, LineStyle style);
    // A line shown and kept nowhere else: no log file, so no search index and no history either.
    // For what holds a password, masked.
    void EchoShownOnly(std::string_view output, LineStyle style = {});
    void Hide();
    std::int32_t Index() const { return index_; }
    Childs* Parent() const { return parent_; }
    const UserPtr& Query() const { return pobjQuery_; }
    void Query(const UserPtr& user);
    void Refresh();
    void Show();
    bool Visible() const;
    void Visible(bool visible);

    // Used by the window collection and the commands.
    void SetParent(Childs* parent);
    void SetIndex(std::int32_t index);
    // For the collection's destructor: forgets Parent without a word.
    void ForgetParent();
    const std::string& Key() const { return key_; }
    ChildView* Window() const { return pobjWindow_.get(); }
    void RefreshUserList();
    // The link of the window's channel is gone: a line says so, the list empties and the
    // caption says it until the channel is joined again.
    void LinkDown();
    bool IsLinkDown() const { return linkDown_; }

    // What arrived since the user last looked; only rises while the window is not the active one.
    tellix::Activity ActivityLevel() const { return activity_; }
    // A received line of this kind was written; `said` is what its sender `from` said, if anyone.
    void RaiseActivity(LineKind kind, std::string_view said = {}, std::string_view from = {});
    // The same with the level already known; a highlight from someone is told to the view.
    void RaiseActivity(Activity level, std::string_view said = {}, std::string_view from = {});
    // Whether what someone said names the own nick or a highlight word.
    bool Names(std::string_view said) const;
    void ClearActivity();
    // The status window's input line says how to start until the first connection.
    void ShowStartHint();
    static constexpr std::string_view kStartHint = "Type /server host, or press F2";
    // Below the lines a channel or query window shows from the logs as it opens.
    static constexpr std::string_view kHistoryDivider = "-------- earlier lines from the log above --------";

    // The nick list, positions from 0; entries compare exactly.
    std::int32_t FindNick(std::string_view nick);
    void AddNick(std::string_view nick);
    void AddNick(const IRCUser& user);
    void RenameNick(std::string_view nickPrev, std::string_view nickNext);
    void RemoveNick(std::string_view nick);
    std::int32_t NickCount();
    std::string_view NickItem(std::int32_t position);

    // The input line's history, oldest first.
    const std::vector<std::string>& InputHistory() const { return inputHistory_; }
    static constexpr std::size_t kHistoryLength = 50;
    // A paste of more lines than this asks first.
    static constexpr std::size_t kPasteUnasked = 5;

    // The query header again, once the partner's user@host may have become known.
    void ShowPartner();
    // A line `nick` said here, kept by the id the server gave it for a reply to quote.
    void IndexLine(std::string_view nick, std::string_view text);
    // Who types here, as the line under the log says it.
    const std::string& TypingShown() const { return typingShown_; }
    // The pause after which the input line tells the others we paused, and the least time
    // between two of our "active" notifications.
    static constexpr std::int64_t kTypingPauseMs = 5000;
    static constexpr std::int64_t kTypingRepeatMs = 3000;

    // The connection the window belongs to: its channel's or partner's, or the one it is the
    // status window of; null for none.
    IRCConnection* Connection() const;
    // Makes this window the status window of `connection`.
    void Head(const std::shared_ptr<IRCConnection>& connection);
    // The status window of a connection.
    bool IsHead() const { return head_; }
    // What the window's connection is called where windows are grouped: its saved network,
    // the network's own name, else its server.
    static std::string GroupLabel(const IRCConnection& connection);
    // The label of the window's connection changed (a bouncer renamed its network, say).
    void GroupLabelChanged() { TellGroup(); }
    // Messages received since the user last looked.
    std::int32_t Unread() const { return unread_; }

    // The conversation the window shows as the server names it: the channel or the partner;
    // empty for the status window.
    std::string_view Conversation() const;
    // The newest message the window shows that its server stamped with a time, in milliseconds.
    std::optional<std::int64_t> NewestSaid() const { return newestSaid_; }
    // The server moved the read marker of the conversation: read elsewhere up to there.
    void ReadMarkerMoved();
    // A page of older lines asked for has come and goes above the others; `more` is false once
    // the server has none before them.
    void OlderFetched(bool more);
    // The network a connection's lines are logged under: its own name once it told it, else
    // the one it had last time, else the host as typed.
    static const std::string& LogNetwork(const IRCConnection& connection);
    // A line of the log read back whose text is a message, not an event ("*** ...").
    static bool LoggedMessage(std::string_view text);

private:
    Application* App() const;
    // Remembers the connection of what the window now shows, and tells the view its group.
    void FollowConnection(IRCConnection* connection);
    void TellGroup();
    void TellGreyed();
    void UpdateCaption();
    void Layout();
    // The status window's list is refilled once control is back in the event loop: a names
    // reply would otherwise refill it once per name.
    void SettleUserList();
    bool ListsMembers(std::int32_t joining) const;
    // A member who left the channel: its row, found by its place among the members.
    void RemoveMember(const IRCUser& user);
    // After a join: the member's row, unless it is listed.
    void ListJoined(const IRCUser& user);
    // After a part, quit or kick: the row of one no longer a member, if it is still listed.
    void RemoveFormerMember(const IRCUser& user);
    void FillUserList();
    template <class Users> void SyncUserList(const Users& users);
    void ClearUsers();
    void AppendUser(std::string_view nick);
    void ShowingChanged(const void* previous, const void* next);

    // The logs: this window's folder there (null for a window that logs nothing), a line
    // written to it, and what it holds shown as the window opens.
    IRCConnection* LogConnection() const;
    const std::string* LogFolder();
    void FollowNickCase();
    // Echo with the output written by `write` straight after the time stamp, into a buffer kept
    // between lines: a flood appends hundreds of thousands of them.
    // False when the line was not shown: the window holds it already.
    template <class Write> bool EchoWritten(LineStyle style, const Write& write, bool logged = true);
    void LogLine(std::string_view output, std::optional<std::int64_t> said);
    void ShowHistory();
    // The time of a line appended to the view, for where a read marker goes.
    void NoteLineTime(std::int64_t ms);
    // An older line fetched: true when its day's log holds it already (each logged line once).
    bool LoggedBefore(std::int64_t second, std::string_view text);
    // Read up to `said` on some device, as the server last said.
    bool ReadUpTo(std::int64_t said) const;
    // Tells the server how far the user has read, when the user looks at the window.
    void TellRead();
    void pobjWindow_WantOlder();

    void AttachChannel();
    void AttachQuery();
    void pobjChannel_Join(const UserPtr& source);
    void pobjChannel_Kick(const UserPtr& source, const UserPtr& destination, const std::string& reason);
    void pobjChannel_NickChange(const UserPtr& source, const std::string& nickPrev);
    void pobjChannel_Notice(const UserPtr& source, const std::string& notice);
    void pobjChannel_Part(const UserPtr& source, const std::string& partMsg);
    void pobjChannel_PrivMsg(const UserPtr& source, const std::string& privMsg);
    void pobjChannel_Quit(const UserPtr& source, const std::string& quitMsg);
    void pobjChannel_TopicChange(const UserPtr& source, const std::string& topicPrev);
    void ShowTopic();
    void pobjWindow_TopicEdit(const std::string& topic);
    void pobjUsers_NickChosen(NickAction action, const std::string& nick);
    std::string BanMask(const std::string& nick) const;
    void pobjChannel_ModeChange(const std::string& setter, const std::string& modes);
    void pobjChannel_RankChange(const UserPtr& user);
    void pobjChannel_AwayChange(const UserPtr& user);
    // The nick list marks `user`, listed at `position`, as away when they are.
    void ShowAway(std::int32_t position, const IRCUser& user, bool always);
    void TellPartnerAway();
    // Someone's typing notification, and the end of their typing.
    void HearTyping(const IRCUser& user, Typing state);
    void TypistStopped(std::string_view nick);
    void ShowTyping();
    void ExpireTyping();
    void ClearTyping();
    // Tells the view the rank of the entry at `position`, when it holds any or `always`.
    void ShowRank(std::int32_t position, const IRCUser& user, bool always);
    void pobjInput_KeyDown(std::int32_t& key);
    void pobjInput_KeyPress(std::int32_t& key);
    void pobjInput_Paste(const std::string& text, bool& handled);
    // Our typing notifications, from what the user does at the input line.
    void pobjInput_Change();
    // Where they go: the joined channel or the partner, while the server takes the tag and the
    // user wants them sent; empty where they go nowhere.
    std::string TypingTarget() const;
    void TellTyping(Typing state);
    void TypingIdle();
    // What the window is called when the user is asked about sending to it.
    std::string SendingName() const;
    void ShowHistoryEntry();
    void SubmitInput();
    // Submits one line as Enter does; false when the window went with it.
    bool Submit(const std::string& typed);
    void CompleteNick();

    void pobjQuery_NickChange(const std::string& nickPrev);
    void pobjQuery_Notice(const std::string& notice);
    void pobjQuery_PrivMsg(const std::string& privMsg);

    Toolkit& toolkit_;
    std::int32_t index_ = -1;
    std::string key_;
    Childs* parent_ = nullptr;
    std::string defaultCommand_;
    ChannelPtr pobjChannel_;
    UserPtr pobjQuery_;
    bool deleting_ = false;
    bool userListPending_ = false;
    bool hinted_ = false;
    bool linkDown_ = false;
    tellix::Activity activity_ = tellix::Activity::None;
    std::int32_t unread_ = 0;
    bool head_ = false;
    std::weak_ptr<IRCConnection> connection_;
    std::string group_; // as last told to the view
    std::string groupLabel_;
    bool headTold_ = false;
    bool greyed_ = false;
    NickList users_;
    std::string logFolder_;
    std::string logNetwork_;
    std::string logTarget_;
    CaseMapping logMapping_ = CaseMapping::Rfc1459;
    CaseMapping nickMapping_ = CaseMapping::Rfc1459; // as the view's log folds nicks
    std::string logPath_;
    // Which folder and second logPath_ was last checked against.
    std::uint64_t logFolderVersion_ = 0;
    std::uint64_t logPathFolder_ = ~std::uint64_t{0};
    std::int64_t logPathSecond_ = -1;
    std::string echoLine_;
    bool echoing_ = false;
    bool historyShown_ = false;
    // What the window holds, so that lines played back again show once.
    SeenLines seen_;
    std::optional<std::int64_t> newestSaid_;
    std::optional<std::int64_t> oldestSaid_;
    std::string oldestMsgid_; // of the oldest line, when it had one
    // The times of the lines last appended, for where a read marker moved elsewhere goes.
    std::deque<std::int64_t> lineTimes_;
    // The read marker this window last told the server of, or heard of.
    std::int64_t toldRead_ = 0;
    bool tellPending_ = false;
    // Older lines asked for: they gather until their page is whole.
    bool olderPending_ = false;
    bool olderExhausted_ = false;
    std::vector<StyledLine> olderLines_;
    // The lines of the days the older lines fall on, as their logs hold them.
    absl::flat_hash_map<std::uint64_t, std::int32_t> olderLogged_;
    std::vector<std::string> olderDays_;
    std::unique_ptr<ChildView> pobjWindow_;
    std::vector<Subscription> windowEvents_;
    std::vector<Subscription> channelEvents_;
    std::vector<Subscription> queryEvents_;

    // Who types here.
    Typists typists_;
    std::string typingShown_;
    std::unique_ptr<Timer> typingExpiry_;
    ReplyIndex replies_;
    // What we last told of our own typing, and where.
    enum class TypingTold : std::uint8_t { None, Active, Paused };
    TypingTold typingTold_ = TypingTold::None;
    std::string typingTarget_;
    std::optional<std::int64_t> activeToldMs_;
    std::int64_t lastEditMs_ = 0;
    std::unique_ptr<Timer> typingIdle_;

    // The input line.
    std::vector<std::string> inputHistory_;
    std::int32_t historyPosition_ = 0;
    std::string savedInput_;
    std::int64_t savedCaret_ = 0;
    // Tab pressed again cycles through the matches while the line is as Tab left it.
    struct Completion {
        std::string head; // the text before the completed word
        std::string rest; // the text after the caret when Tab was first pressed
        std::vector<std::string> matches;
        std::size_t next = 0;
        std::string line;        // the line as the last completion left it
        std::int64_t caret = -1; // and its caret
    } completion_;
};

} // namespace tellix
