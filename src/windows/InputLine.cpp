// The input line of a child window: history on the arrow keys, nick completion on Tab, and
// Enter turning the typed line into a command line.
#include "app/Application.h"
#include "app/Settings.h"
#include "commands/Saying.h"
#include "model/IRCChannel.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/Utf8.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <algorithm>

namespace tellix {

namespace {

constexpr std::int32_t kKeyTab = 9;
constexpr std::int32_t kKeyLineFeed = 10;
constexpr std::int32_t kKeyEnter = 13;
constexpr std::int32_t kKeyUp = 38;
constexpr std::int32_t kKeyDown = 40;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    });
}

} // namespace

void Child::pobjInput_KeyDown(std::int32_t& key)
{
    ChildView* const view = pobjWindow_.get();
    if (view == nullptr) {
        return;
    }
    const std::int32_t pressed = key;
    key = 0;
    if (pressed != kKeyTab) {
        completion_ = {};
    }
    const auto count = static_cast<std::int32_t>(inputHistory_.size());
    switch (pressed) {
    case kKeyUp:
        if (count == 0) {
            return;
        }
        if (historyPosition_ == 0) {
            savedInput_ = view->InputText();
            savedCaret_ = view->InputSelStart() + view->InputSelLength();
        }
        historyPosition_ = std::max(historyPosition_ - 1, -count);
        ShowHistoryEntry();
        return;
    case kKeyDown:
        if (count == 0) {
            return;
        }
        if (historyPosition_ == -1) {
            view->SetInputText(savedInput_);
            view->SetInputSelStart(savedCaret_);
        }
        ++historyPosition_;
        if (historyPosition_ >= 0) {
            historyPosition_ = 0;
            return;
        }
        ShowHistoryEntry();
        return;
    case kKeyEnter:
        SubmitInput();
        return;
    case kKeyLineFeed:
        return;
    case kKeyTab:
        CompleteNick();
        return;
    default:
        key = pressed;
        return;
    }
}

void Child::pobjInput_KeyPress(std::int32_t& key)
{
    if (key == kKeyEnter || key == kKeyLineFeed) {
        key = 0;
    }
}

void Child::ShowHistoryEntry()
{
    const auto count = static_cast<std::int32_t>(inputHistory_.size());
    const std::string& entry = inputHistory_[static_cast<std::size_t>(count + historyPosition_)];
    pobjWindow_->SetInputText(entry);
    pobjWindow_->SetInputSelStart(static_cast<std::int64_t>(entry.size()));
}

void Child::SubmitInput()
{
    const std::string typed = pobjWindow_->InputText();
    if (typed.empty()) {
        toolkit_.Beep();
        return;
    }
    Submit(typed);
}

bool Child::Submit(const std::string& typed)
{
    // Whatever the line does, our typing ends with it.
    const bool typing = typingTold_ != TypingTold::None;
    const auto endTyping = [&] {
        if (typing && pobjWindow_ != nullptr && parent_ != nullptr) {
            TellTyping(Typing::Done);
        }
    };
    inputHistory_.push_back(typed);
    if (inputHistory_.size() > kHistoryLength) {
        inputHistory_.erase(inputHistory_.begin());
    }
    historyPosition_ = 0;
    pobjWindow_->SetInputText("");

    std::string command;
    if (typed.front() == '/') {
        command = typed.substr(1);
    } else if (defaultCommand_.empty() && !pobjChannel_) {
        command = Concat("QUOTE ", typed);
    } else if (defaultCommand_.empty()) {
        // Straight to the channel: this window shows it as ours, then it is sent.
        const ChannelPtr channel = pobjChannel_;
        if (!SayToChannel(channel, typed, false)) {
            Echo("SAY: not connected");
        }
        endTyping();
        return pobjWindow_ != nullptr;
    } else {
        command = Concat(defaultCommand_, " ", typed);
    }
    if (Application* const app = App(); app != nullptr) {
        // The command may end this window, or the whole program: nothing of it is touched after.
        app->ProcessCommand(command, true, index_);
    }
    endTyping();
    return pobjWindow_ != nullptr && parent_ != nullptr;
}

// Pasted text with line breaks is typed in at the selection, and each of its lines entered in
// turn; a line break alone sends nothing. Many lines are sent only when the user says so.
void Child::pobjInput_Paste(const std::string& text, bool& handled)
{
    if (pobjWindow_ == nullptr || text.find_first_of("\r\n") == std::string::npos) {
        return;
    }
    handled = true;
    completion_ = {};
    const std::string input = pobjWindow_->InputText();
    const auto at = [&](std::int64_t position) {
        return static_cast<std::size_t>(std::clamp<std::int64_t>(position, 0, std::ssize(input)));
    };
    const std::size_t selStart = at(pobjWindow_->InputSelStart());
    const std::size_t selEnd = at(pobjWindow_->InputSelStart() + pobjWindow_->InputSelLength());
    const std::string whole = Concat(std::string_view(input).substr(0, selStart), text,
                                     std::string_view(input).substr(std::max(selStart, selEnd)));

    std::vector<std::string> lines;
    for (std::size_t start = 0; start <= whole.size();) {
        std::size_t end = whole.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = whole.size();
        }
        if (end > start) {
            lines.push_back(whole.substr(start, end - start));
        }
        start = end + (whole.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (lines.size() > kPasteUnasked) {
        const bool yes = pobjWindow_->AskYesNo(Concat("Send ", lines.size(), " lines to ", SendingName(), "?"));
        // The question waits for the user, while the window may close or the program end.
        if (!yes || pobjWindow_ == nullptr || parent_ == nullptr) {
            return;
        }
    }
    pobjWindow_->SetInputText("");
    for (const std::string& line : lines) {
        if (!Submit(line)) {
            return;
        }
    }
}

void Child::pobjInput_Change()
{
    Timers* const timers = toolkit_.ProtocolTimers();
    if (pobjWindow_ == nullptr || timers == nullptr) {
        return;
    }
    const std::string text = pobjWindow_->InputText();
    // A command is no message: the others are told as if the line were cleared.
    if (text.empty() || text.front() == '/') {
        if (typingTold_ != TypingTold::None) {
            TellTyping(Typing::Done);
        }
        return;
    }
    const std::int64_t now = timers->NowMs();
    lastEditMs_ = now;
    if (activeToldMs_ && now - *activeToldMs_ < kTypingRepeatMs) {
        return;
    }
    TellTyping(Typing::Active);
    if (typingTold_ == TypingTold::Active && !typingIdle_) {
        typingIdle_ = timers->After(kTypingPauseMs, [weak = weak_from_this()] {
            if (const auto self = weak.lock()) {
                self->TypingIdle();
            }
        });
    }
}

void Child::TypingIdle()
{
    typingIdle_.reset();
    Timers* const timers = toolkit_.ProtocolTimers();
    if (typingTold_ != TypingTold::Active || timers == nullptr) {
        return;
    }
    const std::int64_t idle = timers->NowMs() - lastEditMs_;
    if (idle >= kTypingPauseMs) {
        TellTyping(Typing::Paused);
        return;
    }
    typingIdle_ = timers->After(kTypingPauseMs - idle, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->TypingIdle();
        }
    });
}

std::string Child::TypingTarget() const
{
    const IRCConnection* const connection = Connection();
    if (connection == nullptr || !connection->Connected() || !connection->ClientTagAllowed("typing")) {
        return {};
    }
    std::string target;
    if (pobjChannel_ && pobjChannel_->Joined() && !linkDown_) {
        target = pobjChannel_->Name();
    } else if (pobjQuery_ && pobjQuery_->Parent() != nullptr && !pobjQuery_->Nick().empty()) {
        target = pobjQuery_->Nick();
    }
    if (!target.empty() &&
        !settings::ReadCheckBox(toolkit_.Settings().GetSetting(SettingsAppName(), std::string(settings::Section),
                                                               std::string(settings::SendTypingNotifications), ""),
                                settings::SendTypingNotificationsDefault)) {
        return {};
    }
    return target;
}

void Child::TellTyping(Typing state)
{
    // The end of our typing goes where its start went.
    const std::string target = state == Typing::Active ? TypingTarget() : typingTarget_;
    IRCConnection* const connection = Connection();
    if (state != Typing::Active) {
        typingTold_ = TypingTold::None;
        typingIdle_.reset();
    }
    if (target.empty() || connection == nullptr || !connection->Connected()) {
        return;
    }
    const std::string_view word = state == Typing::Active ? "active" : state == Typing::Paused ? "paused" : "done";
    connection->SendTagged(Concat("+typing=", word), Concat("TAGMSG ", target), SendPriority::Automatic);
    if (state == Typing::Active) {
        typingTold_ = TypingTold::Active;
        typingTarget_ = target;
        if (Timers* const timers = toolkit_.ProtocolTimers()) {
            activeToldMs_ = timers->NowMs();
        }
    } else if (state == Typing::Paused) {
        typingTold_ = TypingTold::Paused;
    }
}

std::string Child::SendingName() const
{
    if (pobjChannel_) {
        return ShownAsUtf8(pobjChannel_->Name());
    }
    if (pobjQuery_) {
        return ShownAsUtf8(pobjQuery_->Nick());
    }
    return head_ ? std::string("the status window") : Concat("window ", index_);
}

// The word before the caret is completed from this window's nick list, case aside; at the
// start of the line the nick is followed by ": ", elsewhere by a space. Tab again moves on
// to the next match.
void Child::CompleteNick()
{
    ChildView& view = *pobjWindow_;
    const std::string text = view.InputText();
    const std::int64_t caret = view.InputSelStart() + view.InputSelLength();
    Completion& state = completion_;
    if (!state.matches.empty() && text == state.line && caret == state.caret) {
        state.next = (state.next + 1) % state.matches.size();
    } else {
        state = {};
        const auto end = static_cast<std::size_t>(std::clamp<std::int64_t>(caret, 0, std::ssize(text)));
        const std::size_t space = end == 0 ? std::string::npos : text.rfind(' ', end - 1);
        const std::size_t start = space == std::string::npos ? 0 : space + 1;
        const std::string_view prefix = std::string_view(text).substr(start, end - start);
        if (!prefix.empty()) {
            const std::int32_t count = NickCount();
            for (std::int32_t i = 0; i < count; ++i) {
                // The line holds text as the view shows it; so does the completed word.
                if (std::string nick = ShownAsUtf8(NickItem(i)); StartsWithIgnoringCase(nick, prefix)) {
                    state.matches.push_back(std::move(nick));
                }
            }
        }
        if (state.matches.empty()) {
            toolkit_.Beep();
            return;
        }
        state.head = text.substr(0, start);
        state.rest = text.substr(end);
    }
    state.line = Concat(state.head, state.matches[state.next], state.head.empty() ? ": " : " ");
    state.caret = std::ssize(state.line);
    state.line += state.rest;
    view.SetInputText(state.line);
    view.SetInputSelStart(state.caret);
}

} // namespace tellix
