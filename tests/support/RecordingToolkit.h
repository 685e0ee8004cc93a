#pragma once

#include "platform/ChildView.h"
#include "platform/ConnectDialogView.h"
#include "platform/MainWindowView.h"
#include "platform/SettingsStore.h"
#include "platform/Toolkit.h"
#include "support/FakeTimers.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tellix::test {

// A child window at the platform boundary: it keeps what the core put into it, byte for
// byte, and lets a test play the user (activate, close, resize).
class RecordingChildView final : public ChildView {
public:
    explicit RecordingChildView(std::vector<RecordingChildView*>& live) : live_(live) { live_.push_back(this); }
    ~RecordingChildView() override { std::erase(live_, this); }

    void SetCaption(const std::string& value) override
    {
        caption = value;
        ++captionWrites;
    }
    void Show() override { visible = true; }
    void Hide() override { visible = false; }
    bool Visible() const override { return visible; }
    void SetVisible(bool value) override { visible = value; }
    WindowState State() const override { return state; }
    void SetState(WindowState value) override { state = value; }
    double ClientWidth() const override { return clientWidth; }
    double ClientHeight() const override { return clientHeight; }
    void MoveOutput(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) override
    {
        output = {l, t, w, h};
    }
    void MoveUsers(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) override
    {
        users = {l, t, w, h};
    }
    void MoveInput(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) override
    {
        input = {l, t, w, h};
    }
    void MoveTo(std::int32_t left, std::int32_t top) override { position = {left, top}; }
    void SendToBack() override { ++sentToBack; }
    void Redraw() override { ++redraws; }
    void Unload() override
    {
        bool cancel = false;
        Events.QueryUnload.raise(cancel, 1);
    }

    void AppendOutput(std::string_view line, const LineStyle& style) override
    {
        styles.push_back(style);
        AppendOutput(line);
    }
    void AppendOutput(std::string_view line) override
    {
        if (!text.empty()) {
            text += "\r\n";
        }
        text += line;
    }
    void ClearOutput() override { text.clear(); }
    std::int64_t OutputLength() const override { return static_cast<std::int64_t>(text.size()); }
    std::int64_t SelStart() const override { return selStart; }
    std::int64_t SelLength() const override { return selLength; }
    void SetSelection(std::int64_t start, std::int64_t length) override
    {
        selStart = start;
        selLength = length;
    }
    void SetScrollbackLines(std::int64_t lines) override { scrollbackLines = lines; }

    std::string InputText() const override { return inputText; }
    void SetInputText(std::string_view value) override
    {
        inputText = value;
        inputSelStart = 0;
        inputSelLength = 0;
    }
    std::int64_t InputSelStart() const override { return inputSelStart; }
    std::int64_t InputSelLength() const override { return inputSelLength; }
    void SetInputSelStart(std::int64_t start) override
    {
        inputSelStart = start;
        inputSelLength = 0;
    }
    bool AskYesNo(const std::string& question) override
    {
        questions.push_back(question);
        return answer;
    }

    // The user pastes `text` over the selection; the box inserts it unless the core took it.
    bool Paste(std::string_view pasted)
    {
        bool handled = false;
        Events.InputPaste.raise(std::string(pasted), handled);
        if (!handled) {
            inputText.replace(static_cast<std::size_t>(inputSelStart), static_cast<std::size_t>(inputSelLength),
                              pasted);
            inputSelStart += std::ssize(pasted);
            inputSelLength = 0;
        }
        return handled;
    }

    // The user at the input line: a key as the box reports it; true when the box keeps it.
    bool KeyDown(std::int32_t key)
    {
        Events.InputKeyDown.raise(key);
        return key != 0;
    }
    // Types `text` at the end of the box, as the box would insert it.
    void Type(std::string_view typed)
    {
        for (const char c : typed) {
            std::int32_t code = static_cast<unsigned char>(c);
            // Key codes name keys, not characters: any key that is not one the line handles.
            if (KeyDown(65)) {
                Events.InputKeyPress.raise(code);
                if (code != 0) {
                    inputText.insert(static_cast<std::size_t>(inputSelStart), 1, static_cast<char>(code));
                    ++inputSelStart;
                    Events.InputChange.raise();
                }
            }
        }
    }
    // The user makes the box hold `text` (deleting, cutting), as one edit.
    void Edit(std::string_view edited)
    {
        inputText = edited;
        inputSelStart = static_cast<std::int64_t>(inputText.size());
        inputSelLength = 0;
        Events.InputChange.raise();
    }

    void UsersClear() override
    {
        nicks.clear();
        ranks.clear();
        aways.clear();
    }
    void UsersAppend(std::string_view nick) override
    {
        nicks.emplace_back(nick);
        ranks.push_back(Rank{});
        aways.push_back(false);
    }
    void UsersReplace(std::int32_t position, std::string_view nick) override
    {
        nicks.at(static_cast<std::size_t>(position)) = nick;
    }
    void UsersRemove(std::int32_t position) override
    {
        nicks.at(static_cast<std::size_t>(position)); // out of range fails, as a list box does
        nicks.erase(nicks.begin() + position);
        ranks.erase(ranks.begin() + position);
        aways.erase(aways.begin() + position);
    }
    void UsersAway(std::int32_t position, bool away) override
    {
        aways.at(static_cast<std::size_t>(position)) = away;
    }
    // The nicks the list draws dimmed, in list order.
    std::vector<std::string> AwayNicks() const
    {
        std::vector<std::string> away;
        for (std::size_t i = 0; i < nicks.size(); ++i) {
            if (aways[i]) {
                away.push_back(nicks[i]);
            }
        }
        return away;
    }
    void SetPartnerAway(bool away) override { partnerAway = away; }
    void SetTyping(std::string_view text) override { typing = text; }
    bool partnerAway = false;
    std::string typing; // the line under the log
    void UsersRank(std::int32_t position, std::int32_t rank, char symbol, bool op) override
    {
        ranks.at(static_cast<std::size_t>(position)) = Rank{rank, symbol, op};
    }
    void UsersCaseMapping(CaseMapping mapping) override { caseMapping = mapping; }
    void LogCaseMapping(CaseMapping mapping) override { logCaseMapping = mapping; }
    void SetUsersShown(bool shown) override { usersShown = shown; }
    void SetHeader(std::string_view text) override { header = text; }

    // The list as a ranked view draws it: "@anna", counts as "3 users, 1 op".
    std::vector<std::string> Ranked() const
    {
        std::vector<std::size_t> order(nicks.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
            return RankedBefore(ranks[a].rank, nicks[a], ranks[b].rank, nicks[b], caseMapping);
        });
        std::vector<std::string> shown;
        std::size_t ops = 0;
        for (const std::size_t i : order) {
            shown.push_back(ranks[i].symbol != '\0' ? ranks[i].symbol + nicks[i] : nicks[i]);
            ops += ranks[i].op ? 1 : 0;
        }
        shown.push_back(std::to_string(nicks.size()) + (nicks.size() == 1 ? " user, " : " users, ") +
                        std::to_string(ops) + (ops == 1 ? " op" : " ops"));
        return shown;
    }

    void SetActivity(Activity level) override { activities.push_back(level); }
    void PrependOutput(const std::vector<StyledLine>& lines) override
    {
        std::string above;
        for (const StyledLine& line : lines) {
            above += (above.empty() ? "" : "\r\n") + line.text;
        }
        text = text.empty() ? above : above.empty() ? text : above + "\r\n" + text;
        prepends.push_back(lines.size());
    }
    void MarkRead(std::int64_t linesAfter) override { markedRead.push_back(linesAfter); }
    void Untell() override { ++untold; }
    bool Seen() const override { return seen; }
    // The user comes to look at the window (or leaves it).
    void Look(bool looking)
    {
        seen = looking;
        if (looking) {
            Events.Seen.raise();
        }
    }
    std::vector<std::size_t> prepends;
    std::vector<std::int64_t> markedRead;
    std::int32_t untold = 0;
    bool seen = false;
    void TakeFocus() override { ++focusTaken; }
    void SetName(const std::string& value) override { name = value; }
    void SetInputHint(const std::string& value) override { inputHint = value; }
    void Tell(const std::string& title, const std::string& said) override { told.emplace_back(title, said); }
    void ShowTopicBar(bool shown) override { topicBar = shown; }
    void SetTopic(std::string_view text, std::string_view setter, std::int64_t time) override
    {
        topic = {std::string(text), std::string(setter), time};
    }
    struct Topic {
        std::string text;
        std::string setter;
        std::int64_t time = 0;
        bool operator==(const Topic&) const = default;
    };
    bool topicBar = false;
    Topic topic;

    // The user closes the window; true when the close went ahead.
    bool UserCloses()
    {
        bool cancel = false;
        Events.QueryUnload.raise(cancel, 0);
        return !cancel;
    }

    // The log's lines, time stamps included.
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        if (text.empty()) {
            return lines;
        }
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        lines.push_back(text.substr(start));
        return lines;
    }

    struct Place {
        std::int32_t left = -1, top = -1, width = -1, height = -1;
        bool operator==(const Place&) const = default;
    };

    std::string caption;
    int captionWrites = 0;
    bool visible = false;
    WindowState state = WindowState::Minimized;
    double clientWidth = 600;
    double clientHeight = 400;
    Place output, users, input;
    std::pair<std::int32_t, std::int32_t> position{-1, -1};
    int sentToBack = 0;
    int redraws = 0;
    std::string text;
    std::int64_t selStart = 0;
    std::int64_t selLength = 0;
    std::int64_t scrollbackLines = 0; // as the core handed it
    std::string inputText;
    std::int64_t inputSelStart = 0;
    std::int64_t inputSelLength = 0;
    std::vector<std::string> nicks;
    std::vector<bool> aways;          // per entry of `nicks`
    std::vector<Activity> activities; // every level the core showed, in order
    std::vector<LineStyle> styles;    // how each line appended with a style reads, in order
    int focusTaken = 0;               // times the core gave the window the keyboard
    std::string name;
    std::string inputHint;
    std::vector<std::pair<std::string, std::string>> told; // title and text, in order
    struct Rank {
        std::int32_t rank = RankTable::kMaxRanks; // none
        char symbol = '\0';
        bool op = false;
    };
    std::vector<Rank> ranks;
    CaseMapping caseMapping = CaseMapping::Rfc1459;
    CaseMapping logCaseMapping = CaseMapping::Rfc1459;
    bool usersShown = true;
    std::string header;
    std::vector<std::string> questions; // asked with AskYesNo
    bool answer = true;

private:
    std::vector<RecordingChildView*>& live_;
};

// The main window at the platform boundary: what was asked of it, in order.
class RecordingMainWindowView final : public MainWindowView {
public:
    explicit RecordingMainWindowView(std::vector<std::string>& log) : log_(log) {}
    ~RecordingMainWindowView() override { log_.push_back("main window destroyed"); }

    void SetCaption(const std::string& value) override
    {
        caption = value;
        log_.push_back("main window caption " + value);
    }
    void Show() override
    {
        visible = true;
        log_.push_back("main window shown");
    }
    void Hide() override
    {
        visible = false;
        log_.push_back("main window hidden");
    }
    void Unload() override
    {
        bool cancel = false;
        Events.QueryUnload.raise(cancel, 1);
        log_.push_back("main window unloaded");
    }
    void ShowAboutBox(const std::string& title, const std::string& text,
                      const std::vector<std::string>& lines) override
    {
        aboutBoxes.push_back({title, text, lines});
    }

    // The user or the system asks the window to close; true when it may.
    bool CloseRequested()
    {
        bool cancel = false;
        Events.QueryUnload.raise(cancel, 0);
        return !cancel;
    }

    struct AboutBox {
        std::string title, caption;
        std::vector<std::string> lines;
    };
    std::string caption;
    bool visible = false;
    std::vector<AboutBox> aboutBoxes;

private:
    std::vector<std::string>& log_;
};

// The connect dialog's form at the platform boundary.
class RecordingConnectDialogView final : public ConnectDialogView {
public:
    void SetCaption(const std::string& value) override { caption = value; }
    void MoveTo(std::int32_t left, std::int32_t top) override { position = {left, top}; }
    void Show() override { visible = true; }
    void Hide() override { visible = false; }
    bool Visible() const override { return visible; }
    void SetVisible(bool value) override { visible = value; }
    void BringToFront() override { ++broughtToFront; }
    void Unload() override
    {
        bool cancel = false;
        Events.QueryUnload.raise(cancel, 1);
    }

    std::string ServerText() const override { return server; }
    void SetServerText(std::string_view text) override { server = text; }
    void ClearServers() override { servers.clear(); }
    void AddServer(std::string_view text, std::int32_t itemData) override { servers.emplace_back(text, itemData); }
    std::string UserShort() const override { return userShort; }
    void SetUserShort(std::string_view text) override { userShort = text; }
    std::string UserLong() const override { return userLong; }
    void SetUserLong(std::string_view text) override { userLong = text; }
    std::string Nick() const override { return nick; }
    void SetNick(std::string_view text) override { nick = text; }
    std::int32_t Invisible() const override { return invisible; }
    void SetInvisible(std::int32_t value) override { invisible = value; }
    std::int32_t Wallop() const override { return wallop; }
    void SetWallop(std::int32_t value) override { wallop = value; }
    ConnectFields Fields() const override { return fields; }
    void SetFields(const ConnectFields& value) override { fields = value; }

    // The user closes the form with its close box; true when it went.
    bool UserCloses()
    {
        bool cancel = false;
        Events.QueryUnload.raise(cancel, 0);
        return !cancel;
    }

    std::string caption;
    std::pair<std::int32_t, std::int32_t> position{-1, -1};
    bool visible = false;
    int broughtToFront = 0;
    std::string server;
    std::vector<std::pair<std::string, std::int32_t>> servers;
    std::string userShort;
    std::string userLong;
    std::string nick;
    std::int32_t invisible = 0;
    std::int32_t wallop = 0;
    ConnectFields fields;
};

// A settings store in memory that keeps the order of what was written.
class MemorySettingsStore final : public SettingsStore {
public:
    using Address = std::tuple<std::string, std::string, std::string>; // application, section, key

    std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override
    {
        const auto it = values.find(Address{appName, section, key});
        return it == values.end() ? defaultValue : it->second;
    }
    void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                     const std::string& value) override
    {
        values[Address{appName, section, key}] = value;
        written.push_back(key + "=" + value);
    }
    void RemoveSection(const std::string& appName, const std::string& section) override
    {
        std::erase_if(values, [&](const auto& entry) {
            return std::get<0>(entry.first) == appName && std::get<1>(entry.first) == section;
        });
        written.push_back("[" + section + "] removed");
    }

    std::map<Address, std::string> values;
    std::vector<std::string> written; // "key=value", in the order written
};

// The toolkit for core tests: recording views, a clock that always reads the same time,
// and posted tasks that run when the test says control is back in the event loop.
class RecordingToolkit final : public Toolkit {
public:
    static constexpr const char* Time = "12:34:56";

    std::unique_ptr<MainWindowView> CreateMainWindowView() override
    {
        auto view = std::make_unique<RecordingMainWindowView>(log);
        mainWindow = view.get();
        return view;
    }
    std::unique_ptr<ChildView> CreateChildView() override { return std::make_unique<RecordingChildView>(views); }
    std::unique_ptr<ConnectDialogView> CreateConnectDialogView() override
    {
        auto view = std::make_unique<RecordingConnectDialogView>();
        dialogs.push_back(view.get());
        return view;
    }
    Clock& SystemClock() override { return clock_; }
    SettingsStore& Settings() override { return settings; }
    void Beep() override { ++beeps; }
    void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }
    Timers* ProtocolTimers() override { return &timers; }
    SecretStore* Secrets() override { return secrets; }
    LogFiles* ChatLogFiles() override { return logFiles; }
    // Remembers the offer; a test plays the user who agrees by calling it.
    void AskTrust(const std::string& host, std::int32_t port, const CertificateRefusal& refusal,
                  std::function<void()> trust) override
    {
        trustOffers.push_back({host, port, refusal, std::move(trust)});
    }
    struct TrustOffer {
        std::string host;
        std::int32_t port;
        CertificateRefusal refusal;
        std::function<void()> trust;
    };
    std::vector<TrustOffer> trustOffers;
    // The words of each search asked for, where a test lets the logs be searched.
    bool searchable = false;
    std::vector<std::string> searches;
    bool SearchLogs(const std::string& words) override
    {
        if (searchable) {
            searches.push_back(words);
        }
        return searchable;
    }
    SecretStore* secrets = nullptr; // none unless a test gives one
    LogFiles* logFiles = nullptr;   // likewise

    // Runs what was posted, as the event loop would.
    void RunPosted()
    {
        while (!posted.empty()) {
            auto task = std::move(posted.front());
            posted.pop_front();
            task();
        }
    }

    std::vector<RecordingChildView*> views;           // the live ones, in creation order
    std::vector<RecordingConnectDialogView*> dialogs; // every one made; entries of unloaded ones dangle
    MemorySettingsStore settings;
    RecordingMainWindowView* mainWindow = nullptr; // the last one made; dangles once it is gone
    std::vector<std::string> log;                  // what the main window was asked, in order
    std::deque<std::function<void()>> posted;
    test::FakeTimers timers;
    int beeps = 0;

private:
    struct FixedClock final : Clock {
        std::string LongTime() override { return Time; }
        // The instant's time of day in UTC, the zone tests run in.
        std::string LongTimeAt(std::int64_t ms) override
        {
            const std::int64_t second = ((ms / 1000) % 86400 + 86400) % 86400;
            const auto two = [](std::int64_t n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
            return two(second / 3600) + ":" + two(second / 60 % 60) + ":" + two(second % 60);
        }
    } clock_;
};

} // namespace tellix::test
