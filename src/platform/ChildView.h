#pragma once

#include "model/NickRanks.h"
#include "util/Event.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// The window states a child window can be in, with their stored numbers.
enum class WindowState : std::int32_t { Normal = 0, Minimized = 1, Maximized = 2 };

// What the user asked of a nick in the list (a double-click is Query).
enum class NickAction : std::int32_t { Query, Whois, Op, Deop, Voice, Devoice, Kick, Ban };

// A window's place in the document area, in pixels.
struct WindowPlace {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const WindowPlace&) const = default;
};

// What a window received since the user last looked at it, lowest first.
enum class Activity : std::int32_t { None = 0, Events = 1, Messages = 2, Highlight = 3 };

// How a log line reads, known where the core writes it: a view may draw by it, or ignore it.
// Offsets count bytes of the line as appended.
struct LineStyle {
    // History: a line read back from the logs as a window opens, drawn dimmed; Divider: the
    // rule between those and what comes after.
    enum class Kind : std::uint8_t { Plain, Event, Message, Notice, Action, History, Divider };
    Kind kind = Kind::Plain;
    // Said by the own user.
    bool own = false;
    // Names the own nick or a highlight word, or is a private message.
    bool highlight = false;
    // The sender's nick, when there is one (length 0 otherwise).
    std::uint32_t nickStart = 0;
    std::uint32_t nickLength = 0;
    // Where the text proper starts, after the time stamp and the sender: wrapped rows go under it.
    std::uint32_t textStart = 0;
    bool operator==(const LineStyle&) const = default;
};

// A line as a log shows it, with how it reads.
struct StyledLine {
    std::string text;
    LineStyle style;
};

// What the core needs of one child window: the form with its log, nick list and input
// line. Texts are bytes as the core keeps them; the view decodes them for display.
//
// Log positions (`OutputLength`, the selection) count in the view's own characters of the
// whole text the log holds, line breaks included; the core only compares and restores them.
// Layout numbers are in the view's layout unit, which makes the input line's 12 units one
// line of the window's font.
class ChildView {
public:
    virtual ~ChildView() = default;

    // The form.
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual WindowState State() const = 0;
    virtual void SetState(WindowState state) = 0;
    virtual double ClientWidth() const = 0;
    virtual double ClientHeight() const = 0;
    virtual void MoveOutput(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) = 0;
    virtual void MoveUsers(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) = 0;
    virtual void MoveInput(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) = 0;
    // Moves the form, keeping its size; 0, 0 is the top-left corner of the main window's
    // client area.
    virtual void MoveTo(std::int32_t left, std::int32_t top) = 0;
    // Behind every other child window.
    virtual void SendToBack() = 0;
    virtual void Redraw() = 0;
    // Destroys the form; it raises QueryUnload with unloadMode 1 first.
    virtual void Unload() = 0;

    // The log: one more line at its end, after a line break unless the log is empty. A CR LF
    // inside the line starts a further line.
    virtual void AppendOutput(std::string_view line) = 0;
    // The same with how the line reads; a view that draws every line alike ignores the style.
    virtual void AppendOutput(std::string_view line, const LineStyle& style)
    {
        static_cast<void>(style);
        AppendOutput(line);
    }
    // Lines older than any the log holds, oldest first, put above them; what the user looks at
    // stays where it is. A view that cannot put lines above shows them as it can.
    virtual void PrependOutput(const std::vector<StyledLine>& /*lines*/) {}
    // Empties the log.
    virtual void ClearOutput() = 0;
    virtual std::int64_t OutputLength() const = 0;
    virtual std::int64_t SelStart() const = 0;
    virtual std::int64_t SelLength() const = 0;
    // A start at OutputLength with length 0 puts the caret at the end: the log follows new lines.
    virtual void SetSelection(std::int64_t start, std::int64_t length) = 0;
    // How many of the newest lines the log keeps. A view that drops older ones does it outside
    // AppendOutput, so positions read before an append still hold when restored after it.
    virtual void SetScrollbackLines(std::int64_t lines) = 0;

    // The input line. Positions count bytes of InputText.
    virtual std::string InputText() const = 0;
    virtual void SetInputText(std::string_view text) = 0;
    virtual std::int64_t InputSelStart() const = 0;
    virtual std::int64_t InputSelLength() const = 0;
    // Puts the caret at `start`, nothing selected.
    virtual void SetInputSelStart(std::int64_t start) = 0;
    // Asks the user, over this window, a question to answer with yes or no; true for yes.
    virtual bool AskYesNo(const std::string& question) = 0;

    // The nick list; positions from 0.
    virtual void UsersClear() = 0;
    virtual void UsersAppend(std::string_view nick) = 0;
    virtual void UsersReplace(std::int32_t position, std::string_view nick) = 0;
    virtual void UsersRemove(std::int32_t position) = 0;
    // How a channel window ranks its list: the entry at `position` holds `rank` (0 the
    // highest; RankTable::kMaxRanks for none, as every entry starts) drawn with `symbol` ('\0' for none); `op`
    // counts it among the operators. A view that shows the list unranked may ignore both.
    virtual void UsersRank(std::int32_t /*position*/, std::int32_t /*rank*/, char /*symbol*/, bool /*op*/) {}
    virtual void UsersCaseMapping(CaseMapping /*mapping*/) {}
    // The entry at `position` is marked away (drawn dimmed) or back; every entry starts back.
    virtual void UsersAway(std::int32_t /*position*/, bool /*away*/) {}
    // The list was refilled in one go: a view that shows changes later may show it now.
    virtual void UsersFilled() {}
    // How the connection folds nicks, for the log's nick colours.
    virtual void LogCaseMapping(CaseMapping /*mapping*/) {}
    // A query window hides the list (its log takes the width) and shows a header above the
    // log naming the partner; an empty header shows none.
    virtual void SetUsersShown(bool /*shown*/) {}
    virtual void SetHeader(std::string_view /*text*/) {}

    // The window's activity rose, or went back to None when it was activated.
    virtual void SetActivity(Activity level) = 0;
    // Where the user stopped reading, as read elsewhere: the marker goes under the line
    // `linesAfter` lines before the newest (0: under the newest).
    virtual void MarkRead(std::int64_t /*linesAfter*/) {}
    // What Tell told is read elsewhere: a notification of it still shown goes.
    virtual void Untell() {}
    // The user looks at this window now: it is the active one, in the active main window.
    virtual bool Seen() const { return false; }

    // The user opened this window (a typed command, a link): it becomes the active one and takes
    // the keyboard. A window that opens otherwise leaves the activation where it is.
    virtual void TakeFocus() {}
    // The channel or partner the window shows, for a view that remembers places by name.
    virtual void SetName(const std::string& /*name*/) {}
    // Grey text the empty input line shows; empty for none.
    virtual void SetInputHint(const std::string& /*hint*/) {}
    // A highlight or a private line, counted as activity already: a view may tell the user when
    // they are not looking at this window. The text is the sender's, as received.
    virtual void Tell(const std::string& /*title*/, const std::string& /*text*/) {}
    // A channel window's topic bar: shown or not, and what it holds. `setter` and `time`
    // (milliseconds since 1970, UTC) are empty and 0 when unknown.
    virtual void ShowTopicBar(bool /*shown*/) {}
    virtual void SetTopic(std::string_view /*topic*/, std::string_view /*setter*/, std::int64_t /*time*/) {}

    // Where the window sits among the others: `group` is the same text for every window of one
    // connection, `label` what that connection is called (its network, else its server), and
    // `head` marks the connection's status window. A window of no connection has an empty group.
    virtual void SetGroup(const std::string& /*group*/, const std::string& /*label*/, bool /*head*/) {}
    // Messages received since the user last looked at the window; 0 once looked at.
    virtual void SetUnread(std::int32_t /*count*/) {}
    // Out of use for now: its link is down, it was kicked, or its connection is offline.
    virtual void SetGreyed(bool /*greyed*/) {}
    // A query window's partner is marked away: a milder state than greyed, the window in use.
    virtual void SetPartnerAway(bool /*away*/) {}
    // Who is typing in the window, a line under the log ("bob is typing..."); empty for nobody.
    virtual void SetTyping(std::string_view /*text*/) {}
    // Where the window is in the document area and how large, in pixels, for the session to
    // keep; a view without places gives none and ignores one.
    virtual std::optional<WindowPlace> Place() const { return std::nullopt; }
    virtual void SetPlace(const WindowPlace& /*place*/) {}

    struct EventSet {
        Event<> Activate;
        // Cancel, UnloadMode: 1 when the program itself unloads the form, 0 for the user.
        Event<bool&, std::int32_t> QueryUnload;
        Event<> Resize;
        // A key went down in the input line (38 up, 40 down, 13 Enter, 10 line feed, 9 Tab);
        // a handler that sets the code to 0 has taken it.
        Event<std::int32_t&> InputKeyDown;
        // A character typed into the input line; set to 0, it never reaches the box.
        Event<std::int32_t&> InputKeyPress;
        // The user changed the input line's text (typed, deleted, cut or pasted into it); a change
        // the core made itself is not one.
        Event<> InputChange;
        // Text (UTF-8) pasted into the input line at its selection; a handler that sets
        // Handled has taken it, otherwise the box inserts it itself.
        Event<const std::string&, bool&> InputPaste;
        // The user edited the topic bar and pressed Enter: the new topic, UTF-8.
        Event<const std::string&> TopicEdit;
        // The user chose an action on a nick of the list (bytes as the list got them).
        Event<NickAction, const std::string&> NickChosen;
        // A command line (without its slash) the view asks to run as if typed in this window:
        // what a menu of the window's own offers (part, rejoin, disconnect).
        Event<const std::string&> RunCommand;
        // The user came to look at this window (Seen turned true).
        Event<> Seen;
        // The user scrolled up past the oldest line the log holds.
        Event<> WantOlder;
    } Events;
};

} // namespace tellix
