#include "windows/Childs.h"

#include "app/Settings.h"
#include "dialog/ConnectDialog.h"
#include "model/IRCUser.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/Utility.h"

#include <algorithm>

namespace tellix {

Childs::Childs(Toolkit& toolkit)
    : toolkit_(toolkit), key_(NewUniqueKey()),
      highlight_(toolkit.Settings().GetSetting(SettingsAppName(), std::string(settings::Section),
                                               std::string(settings::HighlightWords), "")),
      connectDialog_(std::make_unique<tellix::ConnectDialog>(toolkit))
{
    connectDialog_->SetParent(this);
    logs_ = toolkit.ChatLogFiles();
    if (logs_ != nullptr) {
        logs_->Trouble = [this](const std::string& trouble) { LogTrouble(trouble); };
    }
    ReadLogSettings();
}

Childs::~Childs()
{
    if (logs_ != nullptr) {
        logs_->Trouble = nullptr;
    }
    for (const ChildPtr& child : *this) {
        child->ForgetParent();
    }
}

Childs::ChildPtr Childs::Add(bool minimize)
{
    ChildPtr child = Child::Create(toolkit_);
    child->SetParent(this);
    child->SetIndex(Count() + 1);
    Append(child);
    RenumberFrom(Count());
    if (!minimize) {
        child->Show();
        if (ChildView* window = child->Window(); window != nullptr) {
            window->SetState(WindowState::Normal);
        }
    }
    return child;
}

Childs::ChildPtr Childs::Head(std::string_view connectionKey) const
{
    const auto found = heads_.find(std::string(connectionKey));
    if (found == heads_.end()) {
        return nullptr;
    }
    ChildPtr head = found->second.lock();
    return head && head->Parent() == this ? head : nullptr;
}

void Childs::SetHead(std::string_view connectionKey, const ChildPtr& child)
{
    heads_[std::string(connectionKey)] = child;
}

void Childs::ReadLogSettings()
{
    SettingsStore& store = toolkit_.Settings();
    const std::string app = SettingsAppName();
    const std::string section(settings::Section);
    logging_ = settings::ReadCheckBox(store.GetSetting(app, section, std::string(settings::Logging), ""),
                                      settings::LoggingDefault);
    historyLines_ =
        settings::ReadHistoryLines(store.GetSetting(app, section, std::string(settings::HistoryLines), ""));
}

// Said once when writing fails, and once when it works again; the lines wait meanwhile.
void Childs::LogTrouble(const std::string& trouble)
{
    if (Count() < 1) {
        return;
    }
    const ChildPtr status = Collection::Item(1);
    if (trouble.empty()) {
        status->Echo(kLoggingResumed);
    } else {
        status->Echo(Concat(kLoggingStopped, trouble, kLoggingStoppedEnd));
    }
}

void Childs::ReadSettings()
{
    SettingsStore& store = toolkit_.Settings();
    const std::string app = SettingsAppName();
    const std::string section(settings::Section);
    highlight_ = tellix::Highlight(store.GetSetting(app, section, std::string(settings::HighlightWords), ""));
    ReadLogSettings();
    const std::int64_t lines =
        settings::ReadScrollbackLines(store.GetSetting(app, section, std::string(settings::ScrollbackLines), ""));
    for (const ChildPtr& child : *this) {
        if (ChildView* window = child->Window(); window != nullptr) {
            window->SetScrollbackLines(lines);
        }
    }
}

void Childs::Clear()
{
    active_.reset();
    ClearLastFirst([](const ChildPtr& child) { child->Delete(false); });
}

Childs::ChildPtr Childs::GetChild(const std::shared_ptr<IRCChannel>& channel, bool minimize)
{
    ChildPtr child = Item(channel);
    if (!child && channel) {
        child = Add(minimize);
        child->Channel(channel);
    }
    return child;
}

Childs::ChildPtr Childs::GetChild(const std::shared_ptr<IRCUser>& user, bool minimize)
{
    ChildPtr child = Item(user);
    if (!child && user) {
        child = Add(minimize);
        child->Query(user);
    }
    return child;
}

void Childs::Front(const ChildPtr& child)
{
    if (child && child->Window() != nullptr) {
        child->Window()->TakeFocus();
    }
}

void Childs::UserJoins(const std::shared_ptr<IRCChannel>& channel)
{
    if (!channel) {
        return;
    }
    if (const ChildPtr open = Item(channel)) {
        Front(open);
        return;
    }
    asked_[channel.get()] = channel;
}

bool Childs::UserAskedFor(const std::shared_ptr<IRCChannel>& channel)
{
    const auto it = asked_.find(channel.get());
    if (it == asked_.end()) {
        return false;
    }
    const bool same = it->second.lock() == channel;
    asked_.erase(it);
    return same;
}

const Childs::ChildPtr& Childs::Item(std::string_view key) const
{
    const Child* child = FindFirst(key);
    if (child == nullptr) {
        throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
    }
    return Collection::Item(PositionOf(*child));
}

Childs::ChildPtr Childs::Find(std::string_view key) const
{
    const Child* child = FindFirst(key);
    return child == nullptr ? nullptr : Collection::Item(PositionOf(*child));
}

Childs::ChildPtr Childs::Item(const std::shared_ptr<IRCChannel>& channel) const
{
    return FirstShowing(channel.get());
}

Childs::ChildPtr Childs::Item(const std::shared_ptr<IRCUser>& user) const
{
    return FirstShowing(user.get());
}

Childs::ChildPtr Childs::FirstShowing(const void* shown) const
{
    if (shown == nullptr) {
        return nullptr;
    }
    const auto it = showing_.find(shown);
    if (it == showing_.end()) {
        return nullptr;
    }
    const auto first = std::min_element(it->second.begin(), it->second.end(),
                                        [](const Child* a, const Child* b) { return a->Index() < b->Index(); });
    return (*first)->shared_from_this();
}

// Windows closed, or given another partner, while they waited leave entries behind; swept
// once they outnumber the windows, so the sweeps cost no more than the entries made.
void Childs::SweepWaiting(absl::flat_hash_map<std::string, Waiting>& waiting) const
{
    if (waiting.size() < 2 * static_cast<std::size_t>(Count()) + 16) {
        return;
    }
    for (auto it = waiting.begin(); it != waiting.end();) {
        const ChildPtr waiter = it->second.window.lock();
        if (!waiter || waiter->Query().get() != it->second.partner) {
            waiting.erase(it++);
        } else {
            ++it;
        }
    }
}

void Childs::PartnerLetGo(const std::string& connectionKey, const std::shared_ptr<IRCUser>& user)
{
    const ChildPtr window = Item(user);
    if (!window || window->Query() != user) {
        return;
    }
    SweepWaiting(waiting_);
    waiting_[Concat(connectionKey, " ", user->Nick())] = Waiting{window, user.get()};
}

Childs::ChildPtr Childs::PartnerBack(const std::string& connectionKey, const std::shared_ptr<IRCUser>& user)
{
    if (waiting_.empty()) {
        return nullptr;
    }
    const auto it = waiting_.find(Concat(connectionKey, " ", user->Nick()));
    if (it == waiting_.end()) {
        return nullptr;
    }
    const Waiting waiting = it->second;
    waiting_.erase(it);
    const ChildPtr window = waiting.window.lock();
    // A window closed, or given another partner, in the meantime waits no more.
    if (!window || window->Query().get() != waiting.partner || window->Query()->Parent() != nullptr) {
        return nullptr;
    }
    window->Query(user);
    return window;
}

namespace {

std::string TypedKey(const std::string& connectionKey, CaseMapping mapping, std::string_view nick)
{
    std::string key = Concat(connectionKey, " ", nick);
    for (std::size_t i = connectionKey.size() + 1; i < key.size(); ++i) {
        key[i] = FoldNickChar(key[i], mapping);
    }
    return key;
}

} // namespace

void Childs::PartnerTyped(const std::string& connectionKey, CaseMapping mapping,
                          const std::shared_ptr<IRCUser>& user)
{
    const ChildPtr window = Item(user);
    if (!window || window->Query() != user || user->Heard()) {
        return;
    }
    SweepWaiting(typed_);
    typed_[TypedKey(connectionKey, mapping, user->Nick())] = Waiting{window, user.get()};
}

Childs::ChildPtr Childs::TypedPartnerHeard(const std::string& connectionKey, CaseMapping mapping,
                                           const std::shared_ptr<IRCUser>& user)
{
    if (typed_.empty()) {
        return nullptr;
    }
    const auto it = typed_.find(TypedKey(connectionKey, mapping, user->Nick()));
    if (it == typed_.end()) {
        return nullptr;
    }
    const Waiting waiting = it->second;
    const ChildPtr window = waiting.window.lock();
    if (!window || window->Query().get() != waiting.partner) {
        typed_.erase(it);
        return nullptr;
    }
    if (waiting.partner == user.get() || window->Query()->Heard()) {
        return nullptr; // the typed nick was the server's own, or the server has shown it since
    }
    typed_.erase(it);
    window->Query(user);
    return window;
}

void Childs::Refresh()
{
    Renumber();
}

void Childs::Remove(std::int32_t position)
{
    const ChildPtr child = Collection::Item(position);
    child->Delete(false);
}

void Childs::Remove(std::string_view key)
{
    const ChildPtr child = Item(key);
    child->Delete(false);
}

void Childs::SetParent(Application* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

void Childs::SetActive(const ChildPtr& child)
{
    active_ = child;
    if (child) {
        child->ClearActivity();
    }
}

void Childs::Renumber()
{
    for (std::int32_t position = 1; position <= Count(); ++position) {
        // Held: a caption may be computed from what a listener changes.
        const ChildPtr child = Collection::Item(position);
        child->SetIndex(position);
    }
}

// Only the windows whose number changed get it, and so a new caption: a window added at the
// end or removed costs the windows before it nothing.
void Childs::RenumberFrom(std::int32_t position)
{
    for (; position >= 1 && position <= Count(); ++position) {
        const ChildPtr child = Collection::Item(position);
        if (child->Index() != position) {
            child->SetIndex(position);
        }
    }
}

void Childs::RemoveAt(std::int32_t position)
{
    Collection::RemoveAt(position);
    RenumberFrom(position);
}

void Childs::Teardown()
{
    if (connectDialog_) {
        const std::unique_ptr<tellix::ConnectDialog> dialog = std::move(connectDialog_);
        dialog->Delete();
    }
    Clear();
    parent_ = nullptr;
}

void Childs::ShowingChanged(Child& child, const void* previous, const void* next)
{
    if (previous != nullptr) {
        if (const auto it = showing_.find(previous); it != showing_.end()) {
            if (const auto at = std::find(it->second.begin(), it->second.end(), &child); at != it->second.end()) {
                it->second.erase(at);
            }
            if (it->second.empty()) {
                showing_.erase(it);
            }
        }
    }
    if (next != nullptr) {
        showing_[next].push_back(&child);
    }
}

} // namespace tellix
