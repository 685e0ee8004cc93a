#pragma once

#include "model/NickRanks.h"
#include "platform/LogFiles.h"
#include "util/Collection.h"
#include "windows/ChatLog.h"
#include "windows/Child.h"
#include "windows/Highlight.h"

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tellix {

class Application;
class ConnectDialog;
class IRCChannel;
class IRCUser;
class Toolkit;

struct ChildNaming : ExactText {
    static std::string_view Name(const Child& child) { return child.Key(); }
};

// The child windows of the main window, numbered from 1 in the order they came (the status
// window first), and the connect dialog.
class Childs : public Collection<Child, ChildNaming> {
public:
    using ChildPtr = std::shared_ptr<Child>;

    explicit Childs(Toolkit& toolkit);
    ~Childs();

    const ChildPtr& Active() const { return active_; }
    // The own nick and the words of the setting, read once at start.
    const tellix::Highlight& HighlightWords() const { return highlight_; }
    ChildPtr Add(bool minimize);
    // Where the windows log their lines: none when the setting turned logging off or nothing
    // can be logged.
    LogFiles* Logs() const { return logging_ ? logs_ : nullptr; }
    // The logs, even while logging is off: a window opening shows what they hold.
    LogFiles* LogsToRead() const { return logs_; }
    std::int64_t HistoryLines() const { return historyLines_; }
    chatlog::Stamps& LogStamps() { return stamps_; }
    // What the status window says when the logs cannot be written, and when they can again.
    static constexpr std::string_view kLoggingStopped = "Logging stopped: ";
    static constexpr std::string_view kLoggingStoppedEnd = " (tried again every second)";
    static constexpr std::string_view kLoggingResumed = "Logging resumed";
    // The highlight words and every window's scrollback read again, as the user changed them.
    void ReadSettings();
    // Deletes every window, last first, the status window too.
    void Clear();
    tellix::ConnectDialog* ConnectDialog() const { return connectDialog_.get(); }
    // Finds the window, or for a channel or user without one, makes it.
    ChildPtr GetChild(const std::shared_ptr<IRCChannel>& channel, bool minimize);
    ChildPtr GetChild(const std::shared_ptr<IRCUser>& user, bool minimize);
    // The user asked for this window: it takes the activation and the keyboard.
    static void Front(const ChildPtr& child);
    // The user asked to join `channel`: its window, once the server says the user joined, is
    // one the user opened. Already open, it comes to the front now.
    void UserJoins(const std::shared_ptr<IRCChannel>& channel);
    // True once for a channel the user asked to join.
    bool UserAskedFor(const std::shared_ptr<IRCChannel>& channel);
    // The status window of the connection with this key; null when it has none.
    ChildPtr Head(std::string_view connectionKey) const;
    // Used by the windows: `child` is that connection's status window from now on.
    void SetHead(std::string_view connectionKey, const ChildPtr& child);
    // A position or a key; one that names no window fails.
    using Collection::Item;
    const ChildPtr& Item(std::string_view key) const;
    // The window with this key; null when none has it.
    ChildPtr Find(std::string_view key) const;
    // The first window, by position, that shows this very channel or user; null when none does.
    ChildPtr Item(const std::shared_ptr<IRCChannel>& channel) const;
    ChildPtr Item(const std::shared_ptr<IRCUser>& user) const;
    Application* Parent() const { return parent_; }
    void Refresh();
    void Remove(std::int32_t position);
    void Remove(std::string_view key);

    // Used by the application and the windows.
    void SetParent(Application* parent);
    void SetActive(const ChildPtr& child);
    // Every window gets its number again, and so a fresh caption.
    void Renumber();
    void RemoveAt(std::int32_t position);
    void Teardown();
    const std::string& Key() const { return key_; }
    // A window now shows `next` (a channel or user) instead of `previous`.
    void ShowingChanged(Child& child, const void* previous, const void* next);
    // The connection let go of a query window's partner (it went offline); the window waits
    // for that nick to come back on that connection.
    void PartnerLetGo(const std::string& connectionKey, const std::shared_ptr<IRCUser>& user);
    // The window waiting for `user`'s nick on that connection, now showing `user`; null when none.
    ChildPtr PartnerBack(const std::string& connectionKey, const std::shared_ptr<IRCUser>& user);
    // A query window opened for a nick the server has shown nobody by (typed, perhaps in
    // another case than the server's): it takes the user the server names so, in its case.
    void PartnerTyped(const std::string& connectionKey, CaseMapping mapping, const std::shared_ptr<IRCUser>& user);
    // The window `user` takes over by PartnerTyped, now showing `user`; null when none.
    ChildPtr TypedPartnerHeard(const std::string& connectionKey, CaseMapping mapping,
                               const std::shared_ptr<IRCUser>& user);

private:
    void RenumberFrom(std::int32_t position);
    ChildPtr FirstShowing(const void* shown) const;

    void ReadLogSettings();
    void LogTrouble(const std::string& trouble);

    Toolkit& toolkit_;
    std::string key_;
    ChildPtr active_;
    LogFiles* logs_ = nullptr;
    bool logging_ = true;
    std::int64_t historyLines_ = 0;
    chatlog::Stamps stamps_;
    tellix::Highlight highlight_;
    std::unique_ptr<tellix::ConnectDialog> connectDialog_;
    Application* parent_ = nullptr;
    // Which windows show a channel or user: looked up for every line a channel receives.
    absl::flat_hash_map<const void*, absl::InlinedVector<Child*, 1>> showing_;
    struct Waiting {
        std::weak_ptr<Child> window;
        const IRCUser* partner; // the one let go, still shown while the window waits
    };
    // By connection key and nick: asked for every user a connection adds while any waits.
    absl::flat_hash_map<std::string, Waiting> waiting_;
    // By connection key and folded nick; typed, so few.
    absl::flat_hash_map<std::string, Waiting> typed_;
    void SweepWaiting(absl::flat_hash_map<std::string, Waiting>& waiting) const;
    // Each connection's status window, by connection key: asked for every status line.
    absl::flat_hash_map<std::string, std::weak_ptr<Child>> heads_;
    // Channels the user asked to join, until the server says so; typed, so few.
    absl::flat_hash_map<const void*, std::weak_ptr<IRCChannel>> asked_;
};

} // namespace tellix
