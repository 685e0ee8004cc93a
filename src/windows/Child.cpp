#include "windows/Child.h"

#include "app/Application.h"
#include "app/Settings.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "net/ServerLine.h"
#include "platform/Timers.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/LineRoad.h"
#include "util/LineTags.h"
#include "util/LineTime.h"
#include "util/Utility.h"
#include "windows/ChatLog.h"
#include "windows/Childs.h"
#include "windows/EventTexts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <utility>

namespace tellix {

namespace {

constexpr std::int32_t kUsersWidth = 200;
constexpr std::int32_t kUsersListWidth = 199;
constexpr std::int32_t kInputStrip = 24;
constexpr std::int32_t kInputHeight = 12;
// What a window's line buffer keeps between lines; longer lines are rare.
constexpr std::size_t kKeptEchoCapacity = 4096;

std::int64_t SecondOf(std::int64_t ms)
{
    return ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
}

// The coarse clock: a line's second is all the logs keep, and a flood asks for it per line.
std::int64_t NowSecond()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now.tv_sec;
}

// Lines read back from the log to know a line played back again, beyond those shown.
constexpr std::size_t kKnownTail = 256;
// Lines whose times are kept for where a read marker moved elsewhere goes.
constexpr std::size_t kMarkerReach = 4096;

std::int64_t NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

bool IsMessage(const LineStyle& style)
{
    return style.kind == LineStyle::Kind::Message || style.kind == LineStyle::Kind::Action ||
           style.kind == LineStyle::Kind::Notice;
}

// The ids of the line being handled, read in one pass over its tags: a flood's every line has
// tags (its time) and comes this way.
struct LineIds {
    std::optional<std::string> id;     // its own
    std::optional<std::string> parent; // the line it replies to
};

LineIds ReadLineIds()
{
    LineIds ids;
    ForEachTag(CurrentLineTags(), [&ids](std::string_view key, std::string_view value) {
        // The final names win over the drafts'.
        if (key == "msgid" || (key == "draft/msgid" && !ids.id)) {
            ids.id = UnescapeTagValue(value);
        } else if (key == "+reply" || (key == "+draft/reply" && !ids.parent)) {
            ids.parent = UnescapeTagValue(value);
        }
    });
    return ids;
}

} // namespace

Child::Child(Token, Toolkit& toolkit) : toolkit_(toolkit), key_(NewUniqueKey()) {}

Child::~Child() = default;

std::shared_ptr<Child> Child::Create(Toolkit& toolkit)
{
    auto child = std::make_shared<Child>(Token{}, toolkit);
    child->pobjWindow_ = toolkit.CreateChildView();
    ChildView& view = *child->pobjWindow_;
    view.SetScrollbackLines(settings::ReadScrollbackLines(toolkit.Settings().GetSetting(
        SettingsAppName(), std::string(settings::Section), std::string(settings::ScrollbackLines), "")));
    view.SetCaption(Concat(child->index_, " - new window"));
    Child* self = child.get();
    child->windowEvents_.push_back(view.Events.Activate.connect([self] {
        const auto hold = self->shared_from_this();
        if (self->parent_ != nullptr) {
            self->parent_->SetActive(hold);
        }
    }));
    child->windowEvents_.push_back(view.Events.QueryUnload.connect([self](bool& cancel, std::int32_t unloadMode) {
        if (unloadMode == 1) {
            return; // the program unloads the form itself
        }
        const auto hold = self->shared_from_this();
        cancel = !self->CloseWindow(true);
    }));
    child->windowEvents_.push_back(view.Events.Resize.connect([self] { self->Layout(); }));
    child->windowEvents_.push_back(view.Events.InputKeyDown.connect([self](std::int32_t& key) {
        const auto hold = self->shared_from_this();
        self->pobjInput_KeyDown(key);
    }));
    child->windowEvents_.push_back(
        view.Events.InputKeyPress.connect([self](std::int32_t& key) { self->pobjInput_KeyPress(key); }));
    child->windowEvents_.push_back(view.Events.InputChange.connect([self] {
        const auto hold = self->shared_from_this();
        self->pobjInput_Change();
    }));
    child->windowEvents_.push_back(view.Events.InputPaste.connect([self](const std::string& text, bool& handled) {
        const auto hold = self->shared_from_this();
        self->pobjInput_Paste(text, handled);
    }));
    child->windowEvents_.push_back(view.Events.TopicEdit.connect([self](const std::string& topic) {
        const auto hold = self->shared_from_this();
        self->pobjWindow_TopicEdit(topic);
    }));
    child->windowEvents_.push_back(
        view.Events.NickChosen.connect([self](NickAction action, const std::string& nick) {
            const auto hold = self->shared_from_this();
            self->pobjUsers_NickChosen(action, nick);
        }));
    // A command the window's menus chose runs as if typed here, on this window's connection.
    child->windowEvents_.push_back(view.Events.RunCommand.connect([self](const std::string& line) {
        const auto hold = self->shared_from_this();
        if (Application* const app = self->App(); app != nullptr && !line.empty()) {
            app->ProcessCommand(line, true, self->index_);
        }
    }));
    child->windowEvents_.push_back(view.Events.Seen.connect([self] {
        const auto hold = self->shared_from_this();
        self->TellRead();
    }));
    child->windowEvents_.push_back(view.Events.WantOlder.connect([self] {
        const auto hold = self->shared_from_this();
        self->pobjWindow_WantOlder();
    }));
    view.SendToBack();
    view.SetVisible(true);
    child->Layout();
    return child;
}

void Child::Channel(const ChannelPtr& channel)
{
    defaultCommand_ = "SAY";
    const void* previous = pobjChannel_.get();
    channelEvents_.clear();
    pobjChannel_ = channel;
    linkDown_ = false;
    ClearTyping();
    if (pobjChannel_ && pobjChannel_->Parent() != nullptr) {
        FollowConnection(pobjChannel_->Parent()->Parent());
    }
    AttachChannel();
    ShowingChanged(previous, pobjChannel_.get());
    UpdateCaption();
    if (pobjWindow_ && pobjChannel_) {
        pobjWindow_->SetName(pobjChannel_->Name());
    }
    if (pobjWindow_) {
        pobjWindow_->ShowTopicBar(pobjChannel_ != nullptr);
    }
    ShowTopic();
    ShowHistory();
}

void Child::Query(const UserPtr& user)
{
    defaultCommand_ = "SAY";
    const void* previous = pobjQuery_.get();
    queryEvents_.clear();
    pobjQuery_ = user;
    ClearTyping();
    if (pobjQuery_ && pobjQuery_->Parent() != nullptr) {
        FollowConnection(pobjQuery_->Parent()->Parent());
    }
    AttachQuery();
    TellPartnerAway();
    ShowingChanged(previous, pobjQuery_.get());
    UpdateCaption();
    if (pobjWindow_ && pobjQuery_) {
        pobjWindow_->SetName(std::string(pobjQuery_->Nick()));
    }
    ShowPartner();
    ShowHistory();
}

// A query window has no members to list: the log takes the width, and a header names the
// partner, with user@host once a line of theirs or a WHOIS reply has told it.
void Child::ShowPartner()
{
    if (!pobjWindow_) {
        return;
    }
    pobjWindow_->SetUsersShown(!pobjQuery_);
    std::string header;
    if (pobjQuery_) {
        header = pobjQuery_->Nick();
        if (!pobjQuery_->User().empty() && !pobjQuery_->Host().empty()) {
            AppendTo(header, " (", pobjQuery_->User(), "@", pobjQuery_->Host(), ")");
        }
    }
    pobjWindow_->SetHeader(header);
}

bool Child::CloseWindow(bool user)
{
    if (index_ == 1) {
        Echo("Attempt to close status window!");
        return false;
    }
    // Another connection's status window takes its connection and its windows along.
    if (Application* const app = App(); head_ && app != nullptr) {
        if (IRCConnection* const connection = Connection(); connection != nullptr) {
            app->CloseConnection(connection->shared_from_this());
            return true;
        }
    }
    return Delete(user);
}

bool Child::Delete(bool /*user*/)
{
    if (deleting_) {
        return false;
    }
    deleting_ = true;
    const auto hold = shared_from_this();

    if (pobjChannel_) {
        const ChannelPtr channel = pobjChannel_;
        channelEvents_.clear();
        pobjChannel_.reset();
        ShowingChanged(channel.get(), nullptr);
        if (parent_ == nullptr || parent_->Item(channel) == nullptr) {
            channel->Part("", SendPriority::Automatic);
            // Out of it already (the link is down): nothing is to join it again.
            if (!channel->Joined()) {
                channel->Delete();
            }
        }
    }
    // A deleted window shows nothing more, so its partner's lines stop here too.
    queryEvents_.clear();

    windowEvents_.clear();
    if (pobjWindow_) {
        const std::unique_ptr<ChildView> window = std::move(pobjWindow_);
        window->Unload();
    }

    if (parent_ != nullptr) {
        Childs* const parent = parent_;
        if (parent->Active().get() == this) {
            parent->SetActive(nullptr);
        }
        if (pobjQuery_) {
            ShowingChanged(pobjQuery_.get(), nullptr);
        }
        parent->RemoveAt(index_);
        parent_ = nullptr;
    }
    index_ = -1;
    deleting_ = false;
    return true;
}

namespace {

constexpr LineStyle kEvent{LineStyle::Kind::Event};

} // namespace

void Child::ClearLog()
{
    if (pobjWindow_) {
        pobjWindow_->ClearOutput();
    }
    lineTimes_.clear();
}

void Child::Echo(std::string_view output)
{
    Echo(output, LineStyle{});
}

template <class Write> bool Child::EchoWritten(LineStyle style, const Write& write, bool logged)
{
    if (!pobjWindow_) {
        return false;
    }
    // A line echoed while one is being echoed (a failing log write reported in the status
    // window) gets a buffer of its own.
    std::string nested;
    const bool outer = !echoing_;
    std::string& line = outer ? echoLine_ : nested;
    const std::optional<std::int64_t> said = CurrentLineTime();
    const LineOrigin& origin = CurrentLineOrigin();
    Clock& clock = toolkit_.SystemClock();
    line.assign("[");
    line.append(said ? clock.LongTimeAt(*said) : clock.LongTime());
    line.append("] ");
    // Every line's text starts after its time stamp at least.
    const auto stamp = static_cast<std::uint32_t>(line.size());
    write(line);
    const std::string_view output = std::string_view(line).substr(stamp);
    const std::int64_t second = said ? SecondOf(*said) : NowSecond();
    // A line the window holds already: a bouncer playing it back again, or fetched history
    // reaching into what the window shows or its log held. Only a line with a time or a msgid
    // can come back as one, or the user's own typed line, which a bouncer plays back stamped:
    // a flood from a server without either costs nothing here.
    if (logged && (said || !origin.msgid.empty() || style.own) &&
        seen_.SeenBefore(second, output, origin.msgid, origin.replay, said.has_value())) {
        return false;
    }
    if (style.nickLength > 0) {
        style.nickStart += stamp;
        FollowNickCase();
    }
    style.textStart += stamp;
    if (said && (!oldestSaid_ || *said < *oldestSaid_)) {
        oldestSaid_ = said;
        oldestMsgid_ = origin.msgid;
    }
    if (origin.older) {
        // Goes above the oldest line once its page is whole; logged unless its day's log has it.
        olderLines_.push_back({line, style});
        if (logged && !LoggedBefore(second, output)) {
            LogLine(output, said);
        }
        return true;
    }
    echoing_ = true;
    ChildView& view = *pobjWindow_;
    const std::int64_t length = view.OutputLength();
    const std::int64_t start = view.SelStart();
    const std::int64_t selected = view.SelLength();
    const bool atEnd = start == length && selected == 0;
    view.AppendOutput(line, style);
    if (atEnd) {
        view.SetSelection(view.OutputLength(), 0);
    } else {
        view.SetSelection(start, selected);
    }
    if (logged) {
        LogLine(output, said);
    }
    NoteLineTime(said ? *said : second * 1000);
    if (said && IsMessage(style) && (!newestSaid_ || *said > *newestSaid_)) {
        newestSaid_ = said;
        // Read as it comes while the user looks: told once the lines that came together are in.
        if (!tellPending_ && pobjWindow_ && pobjWindow_->Seen()) {
            tellPending_ = true;
            toolkit_.Post([weak = weak_from_this()] {
                if (const auto self = weak.lock()) {
                    self->tellPending_ = false;
                    self->TellRead();
                }
            });
        }
    }
    if (outer) {
        echoing_ = false;
        // One hostile line of 64 KiB is not kept by every window it reached.
        if (line.capacity() > kKeptEchoCapacity) {
            std::string().swap(line);
        }
    }
    return true;
}

void Child::Echo(std::string_view output, LineStyle style)
{
    EchoWritten(style, [output](std::string& line) { line.append(output); });
}

void Child::EchoShownOnly(std::string_view output, LineStyle style)
{
    EchoWritten(
        style, [output](std::string& line) { line.append(output); }, false);
}

IRCConnection* Child::LogConnection() const
{
    if (pobjChannel_) {
        const IRCChannels* channels = pobjChannel_->Parent();
        return channels != nullptr ? channels->Parent() : nullptr;
    }
    if (pobjQuery_) {
        const IRCUsers* users = pobjQuery_->Parent();
        return users != nullptr ? users->Parent() : nullptr;
    }
    return head_ ? Connection() : nullptr;
}

// The server may name its case folding only after the window opened; the log's nick colours
// follow it before the next nick is drawn.
void Child::FollowNickCase()
{
    const IRCConnection* const connection = LogConnection();
    const CaseMapping mapping = connection != nullptr ? connection->NickCaseMapping() : CaseMapping::Rfc1459;
    if (mapping != nickMapping_ && pobjWindow_) {
        nickMapping_ = mapping;
        pobjWindow_->LogCaseMapping(mapping);
    }
}

const std::string& Child::LogNetwork(const IRCConnection& connection)
{
    return !connection.Network().empty()           ? connection.Network()
           : !connection.ExpectedNetwork().empty() ? connection.ExpectedNetwork()
           : !connection.AttemptHost().empty()     ? connection.AttemptHost()
                                                   : connection.Server();
}

const std::string* Child::LogFolder()
{
    const IRCConnection* const connection = LogConnection();
    if (connection == nullptr) {
        return nullptr;
    }
    const std::string& network = LogNetwork(*connection);
    const std::string_view target = pobjChannel_ ? std::string_view(pobjChannel_->Name())
                                    : pobjQuery_ ? std::string_view(pobjQuery_->Nick())
                                                 : std::string_view();
    if (network.empty() || (pobjQuery_ && target.empty())) {
        return nullptr;
    }
    const CaseMapping mapping = connection->NickCaseMapping();
    if (logFolder_.empty() || network != logNetwork_ || target != logTarget_ || mapping != logMapping_) {
        logNetwork_ = network;
        logTarget_ = target;
        logMapping_ = mapping;
        logFolder_ = chatlog::Folder(network, target, mapping);
        ++logFolderVersion_;
    }
    return &logFolder_;
}

void Child::LogLine(std::string_view output, std::optional<std::int64_t> said)
{
    LogFiles* const logs = parent_ != nullptr ? parent_->Logs() : nullptr;
    if (logs == nullptr) {
        return;
    }
    const std::string* const folder = LogFolder();
    if (folder == nullptr) {
        return;
    }
    const std::int64_t second = said ? SecondOf(*said) : NowSecond();
    chatlog::Stamps& stamps = parent_->LogStamps();
    const std::string& iso = stamps.Iso(second);
    // The path changes with the folder or the day: made again only when the second or the
    // folder did, into the capacity it already has.
    if (second != logPathSecond_ || logPathFolder_ != logFolderVersion_) {
        logPath_.assign(*folder);
        AppendTo(logPath_, "/", stamps.Day(second), ".log");
        logPathSecond_ = second;
        logPathFolder_ = logFolderVersion_;
    }
    logs->AppendLine(logPath_, iso, output);
}

// Display only: these lines are not logged again, raise no activity and reach no listener.
// More of the log than is shown is read, to know a line a bouncer plays back again.
void Child::ShowHistory()
{
    if (historyShown_ || parent_ == nullptr || !pobjWindow_ || (!pobjChannel_ && !pobjQuery_)) {
        return;
    }
    LogFiles* const logs = parent_->LogsToRead();
    if (logs == nullptr) {
        return;
    }
    const std::string* const folder = LogFolder();
    if (folder == nullptr) {
        return;
    }
    historyShown_ = true;
    const auto count = static_cast<std::size_t>(std::max<std::int64_t>(parent_->HistoryLines(), 0));
    const std::vector<std::string> lines = logs->LastLines(*folder, std::max(count, kKnownTail));
    struct Read {
        chatlog::Logged logged;
        std::string_view day;
    };
    std::vector<Read> read;
    read.reserve(lines.size());
    for (const std::string& line : lines) {
        if (const std::optional<chatlog::Logged> logged = chatlog::ParseLine(line)) {
            read.push_back({*logged, std::string_view(line).substr(1, 10)});
            seen_.NoteLogged(logged->second, logged->text);
        }
    }
    // Older lines fetched later are written after newer ones: the log's order is by time.
    std::stable_sort(read.begin(), read.end(),
                     [](const Read& a, const Read& b) { return a.logged.second < b.logged.second; });
    ChildView& view = *pobjWindow_;
    Clock& clock = toolkit_.SystemClock();
    bool shown = false;
    for (std::size_t i = read.size() > count ? read.size() - count : 0; i < read.size(); ++i) {
        const chatlog::Logged& logged = read[i].logged;
        // The day too: these may be from days ago.
        const std::string text =
            Concat("[", read[i].day, " ", clock.LongTimeAt(logged.second * 1000), "] ", logged.text);
        LineStyle style{LineStyle::Kind::History};
        style.textStart = static_cast<std::uint32_t>(text.size() - logged.text.size());
        view.AppendOutput(text, style);
        NoteLineTime(logged.second * 1000);
        if (!oldestSaid_ || logged.second * 1000 < *oldestSaid_) {
            oldestSaid_ = logged.second * 1000;
            oldestMsgid_.clear();
        }
        shown = true;
    }
    if (shown) {
        view.AppendOutput(kHistoryDivider, LineStyle{LineStyle::Kind::Divider});
        NoteLineTime(lineTimes_.back());
        view.SetSelection(view.OutputLength(), 0);
    }
}

void Child::NoteLineTime(std::int64_t ms)
{
    lineTimes_.push_back(ms);
    if (lineTimes_.size() > kMarkerReach) {
        lineTimes_.pop_front();
    }
}

bool Child::LoggedBefore(std::int64_t second, std::string_view text)
{
    LogFiles* const logs = parent_ != nullptr ? parent_->LogsToRead() : nullptr;
    const std::string* const folder = logs != nullptr ? LogFolder() : nullptr;
    if (folder == nullptr) {
        return false;
    }
    const std::string day(parent_->LogStamps().Day(second));
    if (std::find(olderDays_.begin(), olderDays_.end(), day) == olderDays_.end()) {
        olderDays_.push_back(day);
        for (const std::string& line : logs->DayLines(*folder, day)) {
            if (const std::optional<chatlog::Logged> logged = chatlog::ParseLine(line)) {
                ++olderLogged_[SeenLines::KeyOf(logged->second, logged->text)];
            }
        }
    }
    const auto found = olderLogged_.find(SeenLines::KeyOf(second, text));
    if (found == olderLogged_.end() || found->second == 0) {
        return false;
    }
    --found->second;
    return true;
}

std::string_view Child::Conversation() const
{
    return pobjChannel_ ? std::string_view(pobjChannel_->Name())
           : pobjQuery_ ? std::string_view(pobjQuery_->Nick())
                        : std::string_view();
}

bool Child::ReadUpTo(std::int64_t said) const
{
    const IRCConnection* const connection = Connection();
    const std::optional<std::int64_t> marker =
        connection != nullptr ? connection->ReadMarker(Conversation()) : std::nullopt;
    return marker && said <= *marker;
}

void Child::ReadMarkerMoved()
{
    const IRCConnection* const connection = Connection();
    const std::optional<std::int64_t> marker =
        connection != nullptr ? connection->ReadMarker(Conversation()) : std::nullopt;
    if (!marker || !pobjWindow_) {
        return;
    }
    toldRead_ = std::max(toldRead_, *marker);
    if (!newestSaid_ || *newestSaid_ <= *marker) {
        // Read elsewhere to the end: nothing here is new any more.
        ClearActivity();
        pobjWindow_->Untell();
        pobjWindow_->MarkRead(0);
        return;
    }
    std::int64_t after = 0;
    for (auto time = lineTimes_.rbegin(); time != lineTimes_.rend() && *time > *marker; ++time) {
        ++after;
    }
    pobjWindow_->MarkRead(after);
}

void Child::TellRead()
{
    if (!pobjWindow_ || !newestSaid_ || *newestSaid_ <= toldRead_ || !pobjWindow_->Seen()) {
        return;
    }
    IRCConnection* const connection = Connection();
    if (connection == nullptr) {
        return;
    }
    // Only ever forward: a marker the server has further on stays.
    if (const std::optional<std::int64_t> marker = connection->ReadMarker(Conversation()); marker) {
        toldRead_ = std::max(toldRead_, *marker);
    }
    if (*newestSaid_ > toldRead_ && connection->MarkRead(Conversation(), *newestSaid_)) {
        toldRead_ = *newestSaid_;
    }
}

void Child::pobjWindow_WantOlder()
{
    if (olderPending_ || olderExhausted_ || (!pobjChannel_ && !pobjQuery_)) {
        return;
    }
    IRCConnection* const connection = Connection();
    if (connection == nullptr) {
        return;
    }
    // Before the oldest line the window holds: by its msgid where the server gave one.
    const std::int64_t oldest = oldestSaid_.value_or(NowMs());
    olderPending_ = connection->FetchOlder(std::string(Conversation()), oldest, oldestMsgid_);
}

void Child::OlderFetched(bool more)
{
    olderPending_ = false;
    if (!more) {
        olderExhausted_ = true; // what the log showed as the window opened is all there is
    }
    olderLogged_.clear();
    olderDays_.clear();
    if (!olderLines_.empty() && pobjWindow_) {
        pobjWindow_->PrependOutput(olderLines_);
    }
    olderLines_.clear();
}

bool Child::LoggedMessage(std::string_view text)
{
    return !text.starts_with("*** ");
}

void Child::RaiseActivity(LineKind kind, std::string_view said, std::string_view from)
{
    RaiseActivity(kind == LineKind::Private                  ? Activity::Highlight
                  : kind == LineKind::Message && Names(said) ? Activity::Highlight
                  : kind == LineKind::Message                ? Activity::Messages
                                                             : Activity::Events,
                  said, from);
}

TELLIX_LINE_ROAD void Child::RaiseActivity(Activity level, std::string_view said, std::string_view from)
{
    if (!pobjWindow_ || parent_ == nullptr) {
        return;
    }
    // History is news only where the user has not read it on some device.
    if (const LineOrigin& origin = CurrentLineOrigin(); origin.replay != 0) {
        const std::optional<std::int64_t> time = CurrentLineTime();
        if (origin.older || (time && ReadUpTo(*time))) {
            return;
        }
    }
    // A line for the user is told even in the window in use: the program itself may not be
    // the one the user looks at.
    if (level == Activity::Highlight && !from.empty()) {
        const std::string title =
            pobjChannel_ ? Concat(from, " in ", pobjChannel_->Name()) : Concat(from, " (private)");
        pobjWindow_->Tell(title, std::string(said));
    }
    if (parent_->Active().get() == this) {
        return;
    }
    if (level >= Activity::Messages) {
        pobjWindow_->SetUnread(++unread_);
    }
    if (level > activity_) {
        activity_ = level;
        pobjWindow_->SetActivity(level);
    }
}

void Child::ShowStartHint()
{
    if (pobjWindow_) {
        hinted_ = true;
        pobjWindow_->SetInputHint(std::string(kStartHint));
    }
}

TELLIX_LINE_ROAD bool Child::Names(std::string_view said) const
{
    if (parent_ == nullptr) {
        return false;
    }
    const IRCConnection* const connection = Connection();
    const std::string_view nick =
        connection != nullptr && connection->User() ? std::string_view(connection->User()->Nick()) : "";
    return parent_->HighlightWords().Names(said, nick);
}

void Child::ClearActivity()
{
    if (unread_ != 0) {
        unread_ = 0;
        if (pobjWindow_) {
            pobjWindow_->SetUnread(0);
        }
    }
    if (activity_ != Activity::None) {
        activity_ = Activity::None;
        if (pobjWindow_) {
            pobjWindow_->SetActivity(Activity::None);
        }
    }
}

void Child::Hide()
{
    if (pobjWindow_) {
        pobjWindow_->Hide();
    }
}

void Child::Refresh()
{
    if (pobjWindow_) {
        pobjWindow_->Redraw();
    }
    RefreshUserList();
}

void Child::Show()
{
    if (pobjWindow_) {
        pobjWindow_->Show();
    }
}

bool Child::Visible() const
{
    return pobjWindow_ && pobjWindow_->Visible();
}

void Child::Visible(bool visible)
{
    if (pobjWindow_) {
        pobjWindow_->SetVisible(visible);
    }
}

void Child::SetParent(Childs* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
        ShowingChanged(nullptr, pobjChannel_.get());
        ShowingChanged(nullptr, pobjQuery_.get());
    }
}

void Child::ForgetParent()
{
    parent_ = nullptr;
}

void Child::SetIndex(std::int32_t index)
{
    index_ = index;
    UpdateCaption();
}

Application* Child::App() const
{
    return parent_ != nullptr ? parent_->Parent() : nullptr;
}

IRCConnection* Child::Connection() const
{
    if (pobjChannel_ && pobjChannel_->Parent() != nullptr && pobjChannel_->Parent()->Parent() != nullptr) {
        return pobjChannel_->Parent()->Parent();
    }
    if (pobjQuery_ && pobjQuery_->Parent() != nullptr && pobjQuery_->Parent()->Parent() != nullptr) {
        return pobjQuery_->Parent()->Parent();
    }
    // The model let go of what the window shows (a link gone): the window stays its connection's.
    if (const std::shared_ptr<IRCConnection> connection = connection_.lock();
        connection && !connection->Deleted()) {
        return connection.get();
    }
    // A window that never showed anything is the first connection's.
    const Application* const app = pobjChannel_ || pobjQuery_ ? nullptr : App();
    if (app == nullptr || app->Connections().Count() < 1) {
        return nullptr;
    }
    return app->Connections().Item(1).get();
}

void Child::Head(const std::shared_ptr<IRCConnection>& connection)
{
    head_ = true;
    if (parent_ != nullptr && connection) {
        parent_->SetHead(connection->Key(), shared_from_this());
    }
    FollowConnection(connection.get());
    UpdateCaption();
}

void Child::FollowConnection(IRCConnection* connection)
{
    if (connection != nullptr) {
        connection_ = connection->weak_from_this();
    }
    TellGroup();
}

std::string Child::GroupLabel(const IRCConnection& connection)
{
    return !connection.BouncerLabel().empty()   ? connection.BouncerLabel()
           : !connection.SavedNetwork().empty() ? connection.SavedNetwork()
           : !connection.Network().empty()      ? connection.Network()
           : !connection.AttemptHost().empty()  ? connection.AttemptHost()
                                                : std::string("not connected");
}

void Child::TellGreyed()
{
    const IRCConnection* const connection = Connection();
    const bool offline = connection == nullptr || !connection->Connected();
    const bool greyed =
        pobjChannel_ ? linkDown_ || !pobjChannel_->Joined() || offline : (head_ || pobjQuery_) && offline;
    if (pobjWindow_ && greyed != greyed_) {
        greyed_ = greyed;
        pobjWindow_->SetGreyed(greyed);
    }
}

void Child::TellGroup()
{
    const IRCConnection* const connection = Connection();
    std::string group = connection != nullptr ? connection->Key() : std::string();
    std::string label = connection != nullptr ? GroupLabel(*connection) : std::string();
    // The first status window is its connection's before it heads it.
    if (pobjWindow_ && (group != group_ || label != groupLabel_ || head_ != headTold_)) {
        group_ = std::move(group);
        groupLabel_ = std::move(label);
        headTold_ = head_;
        pobjWindow_->SetGroup(group_, groupLabel_, head_);
    }
}

void Child::UpdateCaption()
{
    TellGroup();
    TellGreyed();
    std::string caption = Concat(index_, " - not connected");
    if (const IRCConnection* connection = Connection(); connection != nullptr && connection->Connected()) {
        caption = Concat(index_, " - ", connection->Server());
        if (hinted_ && pobjWindow_) {
            hinted_ = false;
            pobjWindow_->SetInputHint("");
        }
        if (const auto& own = connection->User(); own && !own->Nick().empty()) {
            AppendTo(caption, " (", own->Nick(), ")");
        }
        if (connection->Away()) {
            AppendTo(caption, " (away)");
        }
    }
    if (head_ || (index_ == 1 && !pobjChannel_ && !pobjQuery_)) {
        AppendTo(caption, " - status");
    } else {
        AppendTo(caption, " - ", pobjChannel_ ? std::string_view(pobjChannel_->Name()) : "no channel");
        if (pobjQuery_) {
            // The partner's being away shows in the tree, not here: the caption is as documented.
            AppendTo(caption, " - ", pobjQuery_->Nick());
        }
        if (linkDown_) {
            AppendTo(caption, " (disconnected)");
        }
    }
    if (pobjWindow_) {
        pobjWindow_->SetCaption(caption);
    }
}

void Child::Layout()
{
    if (!pobjWindow_ || pobjWindow_->State() == WindowState::Minimized) {
        return;
    }
    ChildView& view = *pobjWindow_;
    const auto width = static_cast<std::int32_t>(std::lround(view.ClientWidth()));
    const auto height = static_cast<std::int32_t>(std::lround(view.ClientHeight()));
    if (width - kUsersWidth > 0 && height - kInputStrip > 0) {
        view.MoveOutput(0, 0, width - kUsersWidth, height - kInputStrip);
    }
    if (height - kInputStrip > 0) {
        view.MoveUsers(width - kUsersWidth, 0, kUsersListWidth, height - kInputStrip);
    }
    if (width > 0) {
        view.MoveInput(0, height - kInputStrip, width, kInputHeight);
    }
}

// The nick list.

void Child::RefreshUserList()
{
    if (!pobjChannel_ && !pobjQuery_ && head_) {
        if (!userListPending_) {
            userListPending_ = true;
            toolkit_.Post([weak = weak_from_this()] {
                if (const auto self = weak.lock()) {
                    self->SettleUserList();
                }
            });
        }
        return;
    }
    userListPending_ = false;
    FillUserList();
}

void Child::SettleUserList()
{
    if (userListPending_) {
        userListPending_ = false;
        FillUserList();
    }
}

void Child::LinkDown()
{
    if (!pobjChannel_ || linkDown_) {
        return;
    }
    linkDown_ = true;
    Echo(Concat("*** disconnected, no longer in channel ", pobjChannel_->Name()));
    ClearUsers();
    ClearTyping();
    UpdateCaption();
}

void Child::FillUserList()
{
    // The model keeps the members it last knew of a channel we are out of; nobody is there.
    if (pobjChannel_ && (linkDown_ || !pobjChannel_->Joined())) {
        ClearUsers();
    } else if (pobjChannel_) {
        SyncUserList(*pobjChannel_->Users());
    } else if (pobjQuery_) {
        const std::array<UserPtr, 1> partner = {pobjQuery_};
        SyncUserList(partner);
    } else if (const IRCConnection* connection = head_ ? Connection() : nullptr; connection != nullptr) {
        SyncUserList(*connection->Users());
    } else {
        ClearUsers();
    }
}

// The list becomes the users' nicks in order. What it holds already as the start of that
// order stays: a refill after a names reply of thousands only appends the new ones.
template <class Users> void Child::SyncUserList(const Users& users)
{
    auto user = users.begin();
    const auto end = users.end();
    std::int32_t kept = 0;
    const std::int32_t count = users_.Count();
    while (kept < count && user != end && users_.Item(kept) == (*user)->Nick()) {
        ++kept;
        ++user;
    }
    if (count - kept > kept) {
        ClearUsers(); // most of it changes: one reset is cheaper than row by row
        user = users.begin();
    } else {
        for (std::int32_t position = count - 1; position >= kept; --position) {
            users_.RemoveAt(position);
            if (pobjWindow_) {
                pobjWindow_->UsersRemove(position);
            }
        }
    }
    if constexpr (requires { users.Count(); }) {
        users_.Reserve(users.Count());
    }
    if (pobjChannel_ && pobjWindow_) {
        pobjWindow_->UsersCaseMapping(pobjChannel_->NickCaseMapping());
    }
    for (; user != end; ++user) {
        AppendUser((*user)->Nick());
        if (pobjChannel_) {
            ShowRank(users_.Count() - 1, **user, false);
        }
        ShowAway(users_.Count() - 1, **user, false);
    }
    if (pobjWindow_) {
        pobjWindow_->UsersFilled();
    }
}

void Child::ClearUsers()
{
    users_.Clear();
    if (pobjWindow_) {
        pobjWindow_->UsersClear();
    }
}

void Child::AppendUser(std::string_view nick)
{
    users_.Append(nick);
    if (pobjWindow_) {
        pobjWindow_->UsersAppend(nick);
    }
}

std::int32_t Child::FindNick(std::string_view nick)
{
    SettleUserList();
    return users_.Find(nick);
}

void Child::AddNick(std::string_view nick)
{
    SettleUserList();
    if (users_.AppendIfAbsent(nick) && pobjWindow_) {
        pobjWindow_->UsersAppend(nick);
    }
}

// Whether the list holds the channel's members, but for `joining` just added, one row each in
// their order, and no two members share a nick. Every change of the members reaches the list,
// so equal counts tell it. Then a member's row needs no lookup by nick: a names reply fills
// the list, and a netsplit empties it, by the ten thousand, and the list needs no index.
bool Child::ListsMembers(std::int32_t joining) const
{
    const IRCUsers& members = *pobjChannel_->Users();
    return users_.Count() + joining == members.Count() && !members.HasNamesakes();
}

// The hash the user keeps of its nick is the list's own.
void Child::AddNick(const IRCUser& user)
{
    SettleUserList();
    if (ListsMembers(1)) {
        users_.AppendNew(user.Nick(), NickNaming::HashOf(user));
    } else if (!users_.AppendIfAbsent(user.Nick(), NickNaming::HashOf(user))) {
        return;
    }
    if (pobjWindow_) {
        pobjWindow_->UsersAppend(user.Nick());
    }
    ShowAway(users_.Count() - 1, user, false);
}

void Child::RenameNick(std::string_view nickPrev, std::string_view nickNext)
{
    const std::int32_t position = FindNick(nickPrev);
    if (position >= 0) {
        users_.Replace(position, nickNext);
        if (pobjWindow_) {
            pobjWindow_->UsersReplace(position, nickNext);
        }
    }
}

// Heard before the member leaves the channel's list.
void Child::RemoveMember(const IRCUser& user)
{
    SettleUserList();
    if (ListsMembers(0)) {
        const std::int32_t row = pobjChannel_->Users()->PositionOf(user) - 1;
        if (users_.RemoveAtIfHolds(row, user.Nick(), NickNaming::HashOf(user))) {
            if (pobjWindow_) {
                pobjWindow_->UsersRemove(row);
            }
            return;
        }
    }
    RemoveNick(user.Nick());
}

void Child::ListJoined(const IRCUser& user)
{
    SettleUserList();
    const IRCUsers& members = *pobjChannel_->Users();
    if (ListsMembers(0) && members.Contains(user)) {
        return;
    }
    // The list lacks only the newest member, the one who joined, as a window opened for our
    // own join does: its row goes at the end.
    if (ListsMembers(1) && members.Item(members.Count()).get() == &user) {
        AddNick(user);
        return;
    }
    AddNick(user.Nick());
    if (user.Away()) {
        ShowAway(FindNick(user.Nick()), user, false);
    }
}

void Child::RemoveFormerMember(const IRCUser& user)
{
    SettleUserList();
    if (!ListsMembers(0) || pobjChannel_->Users()->Contains(user)) {
        RemoveNick(user.Nick());
    }
}

void Child::RemoveNick(std::string_view nick)
{
    SettleUserList();
    const std::int32_t position = users_.RemoveFirst(nick);
    if (position >= 0 && pobjWindow_) {
        pobjWindow_->UsersRemove(position);
    }
}

std::int32_t Child::NickCount()
{
    SettleUserList();
    return users_.Count();
}

std::string_view Child::NickItem(std::int32_t position)
{
    SettleUserList();
    return users_.Item(position);
}

void Child::ShowingChanged(const void* previous, const void* next)
{
    if (parent_ != nullptr && previous != next) {
        parent_->ShowingChanged(*this, previous, next);
    }
}

// What the channel and the query partner report.

void Child::AttachChannel()
{
    if (!pobjChannel_) {
        return;
    }
    if (pobjWindow_) {
        pobjWindow_->UsersCaseMapping(pobjChannel_->NickCaseMapping());
    }
    auto& events = pobjChannel_->Events;
    channelEvents_.push_back(events.Join.connect([this](const UserPtr& s) { pobjChannel_Join(s); }));
    channelEvents_.push_back(events.Kick.connect(
        [this](const UserPtr& s, const UserPtr& d, const std::string& r) { pobjChannel_Kick(s, d, r); }));
    channelEvents_.push_back(events.NickChange.connect(
        [this](const UserPtr& s, const std::string& p) { pobjChannel_NickChange(s, p); }));
    channelEvents_.push_back(
        events.Notice.connect([this](const UserPtr& s, const std::string& n) { pobjChannel_Notice(s, n); }));
    channelEvents_.push_back(
        events.Part.connect([this](const UserPtr& s, const std::string& m) { pobjChannel_Part(s, m); }));
    channelEvents_.push_back(
        events.PrivMsg.connect([this](const UserPtr& s, const std::string& m) { pobjChannel_PrivMsg(s, m); }));
    channelEvents_.push_back(
        events.Quit.connect([this](const UserPtr& s, const std::string& m) { pobjChannel_Quit(s, m); }));
    channelEvents_.push_back(events.TopicChange.connect(
        [this](const UserPtr& s, const std::string& p) { pobjChannel_TopicChange(s, p); }));
    channelEvents_.push_back(events.TopicWhoTime.connect([this] { ShowTopic(); }));
    channelEvents_.push_back(events.ModeChange.connect(
        [this](const std::string& s, const std::string& m) { pobjChannel_ModeChange(s, m); }));
    channelEvents_.push_back(events.RankChange.connect([this](const UserPtr& u) { pobjChannel_RankChange(u); }));
    channelEvents_.push_back(events.AwayChange.connect([this](const UserPtr& u) { pobjChannel_AwayChange(u); }));
    channelEvents_.push_back(
        events.TypingChange.connect([this](const UserPtr& u, Typing state) { HearTyping(*u, state); }));
    channelEvents_.push_back(events.UserAdd.connect([this](const UserPtr& s) { AddNick(*s); }));
    channelEvents_.push_back(events.UserRemove.connect([this](const UserPtr& s) { RemoveMember(*s); }));
}

void Child::AttachQuery()
{
    if (!pobjQuery_) {
        return;
    }
    auto& events = *pobjQuery_->Events;
    queryEvents_.push_back(events.NickChange.connect([this](const std::string& p) { pobjQuery_NickChange(p); }));
    queryEvents_.push_back(events.Notice.connect([this](const std::string& n) { pobjQuery_Notice(n); }));
    queryEvents_.push_back(events.PrivMsg.connect([this](const std::string& m) { pobjQuery_PrivMsg(m); }));
    queryEvents_.push_back(events.AwayChange.connect([this] {
        TellPartnerAway();
        UpdateCaption();
    }));
    queryEvents_.push_back(events.TypingChange.connect([this](Typing state) {
        if (pobjQuery_) {
            HearTyping(*pobjQuery_, state);
        }
    }));
}

void Child::pobjChannel_Join(const UserPtr& source)
{
    if (texts::IsOwn(*source)) {
        Echo(Concat("*** joined channel ", pobjChannel_->Name()), kEvent);
        if (std::exchange(linkDown_, false)) {
            UpdateCaption();
        }
        TellGreyed();
    } else {
        Echo(Concat("*** ", texts::UserWithMask(*source), " joined channel ", pobjChannel_->Name()), kEvent);
        RaiseActivity(LineKind::Event);
    }
    ListJoined(*source);
}

void Child::pobjChannel_Kick(const UserPtr& source, const UserPtr& destination, const std::string& reason)
{
    Echo(texts::Kick(*source, *destination, pobjChannel_->Name(), reason), kEvent);
    if (!texts::IsOwn(*source)) {
        RaiseActivity(LineKind::Event);
    }
    if (texts::IsOwn(*destination)) {
        ClearUsers();
        ClearTyping();
        TellGreyed();
    } else {
        TypistStopped(destination->Nick());
        RemoveFormerMember(*destination);
    }
}

void Child::pobjChannel_NickChange(const UserPtr& source, const std::string& nickPrev)
{
    Echo(texts::NickChange(*source, nickPrev), kEvent);
    if (!texts::IsOwn(*source)) {
        RaiseActivity(LineKind::Event);
    }
    RenameNick(nickPrev, source->Nick());
}

void Child::pobjChannel_Notice(const UserPtr& source, const std::string& notice)
{
    TypistStopped(source->Nick());
    const bool own = texts::IsOwn(*source);
    const bool named = !own && Names(notice);
    const std::string text = texts::Notice(source->Nick(), notice);
    if (!EchoWritten(texts::Said(LineStyle::Kind::Notice, 1, source->Nick(), own, named),
                     [&](std::string& line) { line.append(text); })) {
        return;
    }
    if (!own) {
        RaiseActivity(named ? Activity::Highlight : Activity::Messages, notice, source->Nick());
    }
}

void Child::pobjChannel_Part(const UserPtr& source, const std::string& partMsg)
{
    if (texts::IsOwn(*source)) {
        Echo(Concat("*** left channel ", pobjChannel_->Name()), kEvent);
        TellGreyed();
    } else {
        Echo(Concat("*** ", texts::UserWithMask(*source), " left channel ", pobjChannel_->Name(), " (", partMsg,
                    ")"),
             kEvent);
        RaiseActivity(LineKind::Event);
        TypistStopped(source->Nick());
    }
    RemoveFormerMember(*source);
}

TELLIX_LINE_ROAD void Child::pobjChannel_PrivMsg(const UserPtr& source, const std::string& privMsg)
{
    const bool own = texts::IsOwn(*source);
    const bool action = texts::IsAction(privMsg);
    const bool named = !own && Names(privMsg);
    TypistStopped(source->Nick());
    const LineIds ids = ReadLineIds();
    const std::string quote = ids.parent ? replies_.Quote(*ids.parent) : std::string();
    if (!EchoWritten(
            texts::Said(action ? LineStyle::Kind::Action : LineStyle::Kind::Message, action ? 2 : 1,
                        source->Nick(), own, named),
            [&](std::string& line) { texts::AppendChannelMessage(line, source->Nick(), privMsg, quote); })) {
        return;
    }
    if (ids.id) {
        replies_.Note(*ids.id, source->Nick(), privMsg);
    }
    if (!own) {
        // Worked out once for the line and its activity.
        RaiseActivity(named ? Activity::Highlight : Activity::Messages, privMsg, source->Nick());
    }
}

void Child::pobjChannel_Quit(const UserPtr& source, const std::string& quitMsg)
{
    Echo(texts::Quit(*source, quitMsg), kEvent);
    RaiseActivity(LineKind::Event);
    TypistStopped(source->Nick());
    RemoveFormerMember(*source);
}

void Child::pobjChannel_TopicChange(const UserPtr& source, const std::string& /*topicPrev*/)
{
    ShowTopic();
    if (!source) {
        Echo(Concat("*** topic is '", pobjChannel_->Topic(), "'"), kEvent);
    } else {
        Echo(Concat("*** ", source->Nick(), " changes topic to '", pobjChannel_->Topic(), "'"), kEvent);
        if (!texts::IsOwn(*source)) {
            RaiseActivity(LineKind::Event);
        }
    }
}

void Child::ShowTopic()
{
    if (pobjWindow_ && pobjChannel_) {
        pobjWindow_->SetTopic(pobjChannel_->Topic(), pobjChannel_->TopicSetter(), pobjChannel_->TopicTime());
    }
}

void Child::pobjWindow_TopicEdit(const std::string& topic)
{
    if (!pobjChannel_) {
        return;
    }
    const IRCConnection* const connection =
        pobjChannel_->Parent() != nullptr ? pobjChannel_->Parent()->Parent() : nullptr;
    if (connection == nullptr || !connection->Connected()) {
        Echo("TOPIC: not connected");
        ShowTopic(); // the bar shows the topic that holds
        return;
    }
    // The bar shows the new topic once the server reports it.
    pobjChannel_->Topic(topic);
}

void Child::pobjChannel_ModeChange(const std::string& setter, const std::string& modes)
{
    Echo(Concat("*** ", setter, " sets mode ", modes), kEvent);
    // A server sets modes too, and it is no member: only the own nick's changes are quiet.
    const UserPtr user = pobjChannel_ ? pobjChannel_->Users()->Item(setter) : nullptr;
    if (!user || !texts::IsOwn(*user)) {
        RaiseActivity(LineKind::Event);
    }
}

void Child::pobjChannel_RankChange(const UserPtr& user)
{
    if (const std::int32_t position = FindNick(user->Nick()); position >= 0) {
        ShowRank(position, *user, true);
    }
}

void Child::ShowRank(std::int32_t position, const IRCUser& user, bool always)
{
    if (!pobjWindow_ || !pobjChannel_) {
        return;
    }
    const std::uint32_t mask = pobjChannel_->RanksOf(user);
    if (mask == 0 && !always) {
        return;
    }
    const RankTable& ranks = pobjChannel_->Ranks();
    pobjWindow_->UsersRank(position, mask == 0 ? RankTable::kMaxRanks : ranks.Highest(mask), ranks.Symbol(mask),
                           ranks.IsOp(mask));
}

// Each action goes the road its typed command goes: a query opens as /query opens it, the
// rest are what /whois, /kick and /quote send; the answer comes to this window.
void Child::pobjUsers_NickChosen(NickAction action, const std::string& nick)
{
    Application* app = App();
    if (app == nullptr || nick.empty() || nick.find_first_of(" \r\n") != std::string::npos) {
        return;
    }
    if (action == NickAction::Query || action == NickAction::Whois || !pobjChannel_) {
        if (action == NickAction::Query || action == NickAction::Whois) {
            app->ProcessCommand(action == NickAction::Query ? Concat("QUERY ", nick) : Concat("WHOIS ", nick),
                                true, index_);
        }
        return;
    }
    const std::string channel = pobjChannel_->Name();
    std::string command;
    switch (action) {
    case NickAction::Op:
    case NickAction::Deop:
    case NickAction::Voice:
    case NickAction::Devoice: {
        const bool give = action == NickAction::Op || action == NickAction::Voice;
        const char mode = action == NickAction::Op || action == NickAction::Deop ? 'o' : 'v';
        command = Concat("QUOTE MODE ", channel, " ", give ? "+" : "-", std::string(1, mode), " ", nick);
        break;
    }
    case NickAction::Kick:
        command = Concat("KICK ", channel, " ", nick);
        break;
    case NickAction::Ban:
        command = Concat("QUOTE MODE ", channel, " +b ", BanMask(nick));
        break;
    default:
        return;
    }
    app->ProcessCommand(command, true, index_);
}

// A known host bans the host, whatever nick it comes back under; else the nick.
std::string Child::BanMask(const std::string& nick) const
{
    const auto users = pobjChannel_ ? pobjChannel_->Users() : nullptr;
    const UserPtr user = users ? users->Item(nick) : nullptr;
    if (user && !user->Host().empty()) {
        return Concat("*!*@", user->Host());
    }
    return Concat(nick, "!*@*");
}

void Child::pobjQuery_NickChange(const std::string& /*nickPrev*/)
{
    UpdateCaption();
    ShowPartner();
}

void Child::pobjQuery_Notice(const std::string& notice)
{
    TypistStopped(pobjQuery_->Nick());
    const std::string text = Concat("# ", texts::Notice(pobjQuery_->Nick(), notice));
    if (!EchoWritten(texts::Said(LineStyle::Kind::Notice, 3, pobjQuery_->Nick(), false, true),
                     [&](std::string& line) { line.append(text); })) {
        return;
    }
    ShowPartner();
    RaiseActivity(LineKind::Private, notice, pobjQuery_->Nick());
}

void Child::pobjQuery_PrivMsg(const std::string& privMsg)
{
    const bool action = texts::IsAction(privMsg);
    TypistStopped(pobjQuery_->Nick());
    const LineIds ids = ReadLineIds();
    const std::string quote = ids.parent ? replies_.Quote(*ids.parent) : std::string();
    if (!EchoWritten(texts::Said(action ? LineStyle::Kind::Action : LineStyle::Kind::Message, action ? 4 : 3,
                                 pobjQuery_->Nick(), false, true),
                     [&](std::string& line) {
                         line.append("# ");
                         texts::AppendChannelMessage(line, pobjQuery_->Nick(), privMsg, quote);
                     })) {
        return;
    }
    if (ids.id && pobjQuery_) {
        replies_.Note(*ids.id, pobjQuery_->Nick(), privMsg);
    }
    ShowPartner();
    RaiseActivity(LineKind::Private, privMsg, pobjQuery_->Nick());
}

void Child::pobjChannel_AwayChange(const UserPtr& user)
{
    if (const std::int32_t position = FindNick(user->Nick()); position >= 0) {
        ShowAway(position, *user, true);
    }
}

void Child::ShowAway(std::int32_t position, const IRCUser& user, bool always)
{
    if (pobjWindow_ && position >= 0 && (always || user.Away())) {
        pobjWindow_->UsersAway(position, user.Away());
    }
}

void Child::TellPartnerAway()
{
    if (pobjWindow_) {
        pobjWindow_->SetPartnerAway(pobjQuery_ && pobjQuery_->Away());
    }
    if (pobjQuery_) {
        ShowAway(FindNick(pobjQuery_->Nick()), *pobjQuery_, true);
    }
}

// Typing notifications others send.

void Child::HearTyping(const IRCUser& user, Typing state)
{
    Timers* const timers = toolkit_.ProtocolTimers();
    if (timers == nullptr) {
        return; // nothing could end it
    }
    typists_.Heard(user.Nick(), state, timers->NowMs());
    ShowTyping();
}

void Child::TypistStopped(std::string_view nick)
{
    if (!typists_.Empty()) {
        typists_.Stopped(nick);
        ShowTyping();
    }
}

void Child::ClearTyping()
{
    typists_.Clear();
    ShowTyping();
}

void Child::ShowTyping()
{
    std::string text = typists_.Text();
    if (text != typingShown_) {
        typingShown_ = std::move(text);
        if (pobjWindow_) {
            pobjWindow_->SetTyping(typingShown_);
        }
    }
    if (typists_.Empty()) {
        typingExpiry_.reset();
        return;
    }
    // Every notification sets its typist's end to now and a little more, so the end waited for
    // is still the first: a flood re-arms nothing.
    Timers* const timers = toolkit_.ProtocolTimers();
    if (!typingExpiry_ && timers != nullptr) {
        const std::int64_t due = typists_.NextExpiry().value_or(timers->NowMs());
        typingExpiry_ = timers->After(due - timers->NowMs(), [weak = weak_from_this()] {
            if (const auto self = weak.lock()) {
                self->ExpireTyping();
            }
        });
    }
}

void Child::ExpireTyping()
{
    typingExpiry_.reset();
    if (Timers* const timers = toolkit_.ProtocolTimers()) {
        typists_.Expire(timers->NowMs());
    }
    ShowTyping();
}

// Replies.

void Child::IndexLine(std::string_view nick, std::string_view text)
{
    if (const LineIds ids = ReadLineIds(); ids.id) {
        replies_.Note(*ids.id, nick, text);
    }
}

} // namespace tellix
