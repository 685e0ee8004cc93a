#include "app/Application.h"

#include "app/Settings.h"
#include "dialog/ConnectDialog.h"
#include "model/IRCChannels.h"
#include "net/IRCConnection.h"
#include "net/ServerTrust.h"
#include "net/StsPolicy.h"
#include "platform/Timers.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/Utility.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

namespace tellix {

namespace {

// The strict transport policies in the settings file, one key per host, on the wall clock.
std::unique_ptr<StsPolicy> KeptPolicies(SettingsStore& file)
{
    StsPolicy::Store store{[&file](const std::string& host) {
                               return file.GetSetting(SettingsAppName(), std::string(settings::Section),
                                                      settings::StsPolicyKey(host), "");
                           },
                           [&file](const std::string& host, const std::string& value) {
                               file.SaveSetting(SettingsAppName(), std::string(settings::Section),
                                                settings::StsPolicyKey(host), value);
                           }};
    return std::make_unique<StsPolicy>(std::move(store), [] {
        using namespace std::chrono;
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    });
}

} // namespace

Application::Application(Toolkit& toolkit, SocketFactory& sockets) : toolkit_(toolkit), key_(NewUniqueKey())
{
    pobjWindow_ = toolkit.CreateMainWindowView();
    pobjWindow_->SetCaption(MainCaption());
    ListenToWindow();
    pobjWindow_->Show();
    pobjConnections_ = std::make_unique<IRCConnections>(sockets);
    pobjConnections_->SetProtocolTimers(toolkit.ProtocolTimers());
    pobjConnections_->SetCtcpReplies(settings::ReadCheckBox(
        toolkit_.Settings().GetSetting(SettingsAppName(), std::string(settings::Section),
                                       std::string(settings::CtcpReplies),
                                       settings::WriteCheckBox(settings::CtcpRepliesDefault)),
        settings::CtcpRepliesDefault));
    pobjConnections_->Ignores().SetText(toolkit_.Settings().GetSetting(
        SettingsAppName(), std::string(settings::Section), std::string(settings::IgnoreList), ""));
    pobjConnections_->TrustedFingerprint = [this](const std::string& host, std::int32_t port) {
        return TrustedFingerprint(host, port);
    };
    strictTransport_ = KeptPolicies(toolkit_.Settings());
    pobjConnections_->SetStrictTransport(strictTransport_.get());
    pobjConnections_->SecureRoute = [this](const IRCConnection& connection, ServerPlace& place,
                                           ConnectOptions& options) {
        const ServerPlace asked = place;
        if (!SecureRoute(connection, place, options)) {
            return false;
        }
        TellSecured(connection, asked, place);
        return true;
    };
    pobjConnections_->HistorySince = [this](const IRCConnection& connection) { return HistorySince(connection); };
    ListenToConnections();
    childs_ = std::make_unique<tellix::Childs>(toolkit_);
    childs_->SetParent(this);
    const auto first = pobjConnections_->Add();
    const auto status = childs_->Add(false);
    status->Head(first);
    if (ChildView* window = status->Window(); window != nullptr) {
        window->MoveTo(0, 0);
    }
    status->ShowStartHint();
    const std::string firstUse =
        toolkit_.Settings().GetSetting(SettingsAppName(), std::string(settings::Section),
                                       std::string(settings::FirstUse), std::string(settings::FirstUseDefault));
    if (settings::IsFirstUse(firstUse)) {
        childs_->ConnectDialog()->Show();
    }
    RestoreSession();
}

namespace {

// A teardown step that fails is skipped; the next one runs all the same.
template <class Step> void Attempt(Step&& step) noexcept
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

} // namespace

Application::~Application()
{
    Attempt([&] {
        toolkit_.Settings().SaveSetting(SettingsAppName(), std::string(settings::Section),
                                        std::string(settings::FirstUse), "0");
    });
    Attempt([&] {
        if (childs_) {
            childs_->Clear();
        }
    });
    Attempt([&] {
        if (pobjConnections_) {
            connectionEvents_.clear();
            pobjConnections_->Clear();
            pobjConnections_.reset();
        }
    });
    Attempt([&] {
        if (pobjWindow_) {
            pobjWindow_->Hide();
        }
    });
    Attempt([&] { menuEvents_.clear(); });
    Attempt([&] {
        if (pobjWindow_) {
            pobjWindow_->Unload();
        }
    });
    Attempt([&] {
        windowEvents_.Disconnect();
        pobjWindow_.reset();
    });
    Attempt([&] {
        if (childs_) {
            childs_->Teardown();
            childs_.reset();
        }
    });
}

std::shared_ptr<Application>& Application::Instance()
{
    static std::shared_ptr<Application> instance;
    return instance;
}

bool Application::ExitClient()
{
    if (exiting_) {
        return false;
    }
    KeepSession();
    QuitConnections();
    if (toolkit_.ProtocolTimers() != nullptr && AnyLeaving()) {
        exiting_ = true;
        pobjWindow_->Hide();
        WaitForGoodbyes();
        return false;
    }
    FinishExit();
    return true;
}

// Each leave ends by itself within SendQueue::kLeaveMs, or with its link.
void Application::WaitForGoodbyes()
{
    constexpr std::int64_t kCheckMs = 50;
    exitCheck_ = toolkit_.ProtocolTimers()->After(kCheckMs, [this] {
        if (AnyLeaving()) {
            WaitForGoodbyes();
        } else {
            FinishExit(); // and nothing of this object after it
        }
    });
}

bool Application::AnyLeaving() const
{
    if (!pobjConnections_) {
        return false;
    }
    for (const ConnectionPtr& connection : *pobjConnections_) {
        if (connection->Leaving()) {
            return true;
        }
    }
    return false;
}

void Application::FinishExit()
{
    if (childs_) {
        childs_->Clear();
        childs_->Teardown();
        childs_.reset();
    }
    if (pobjConnections_) {
        pobjConnections_->Clear();
    }
    if (Instance().get() == this) {
        // The last reference: the teardown runs here, and nothing of this object may be
        // touched after it.
        const std::shared_ptr<Application> last = std::move(Instance());
    }
}

void Application::QuitConnections()
{
    if (!pobjConnections_) {
        return;
    }
    const std::string quitMsg =
        toolkit_.Settings().GetSetting(SettingsAppName(), std::string(settings::Section),
                                       std::string(settings::QuitMessage), settings::QuitMessageDefault());
    // A listener may drop connections while one quits.
    for (const ConnectionPtr& connection : pobjConnections_->Snapshot()) {
        if (connection->Connected() && !connection->QuitSaid()) {
            connection->Quit(quitMsg);
        }
    }
}

void Application::OpenAddress(const std::string& server, std::int32_t port, const std::string& channel, bool tls)
{
    if (!childs_ || childs_->ConnectDialog() == nullptr || pobjConnections_->Count() < 1) {
        return;
    }
    tellix::ConnectDialog& dialog = *childs_->ConnectDialog();
    const auto connection = pobjConnections_->Item(1);
    if (!dialog.Register(*connection)) {
        Echo(kStatusWindow, Concat("*** Cannot connect to ", server,
                                   ": the connect dialog needs a nick, a user name and a description."));
        dialog.Show();
        return;
    }
    // Closed first: closing forgets what was to be joined at the welcome. Held lines may keep
    // the link a few seconds more: the join belongs to the session opened next.
    connection->Disconnect();
    joinOn_ = connection;
    joinAttempt_ = connection->Attempts() + 1;
    joinAfterWelcome_ = channel;
    // The address says where and how the connection is carried; the dialog's login goes along
    // only where it belongs.
    ConnectTo(connection, {server, port != 0 ? port : (tls ? TlsPort : PlainPort), tls});
    // A first start shows the dialog; the address has said where to go already.
    if (dialog.Visible()) {
        dialog.CloseWindow();
    }
}

void Application::OpenRunningAddress(const std::string& server, std::int32_t port, const std::string& channel,
                                     bool tls)
{
    if (!childs_ || pobjConnections_->Count() < 1 || childs_->Count() < kStatusWindow) {
        return;
    }
    const auto connection = pobjConnections_->Item(1);
    if (connection->Connected() && SameIgnoringCase(connection->AttemptHost(), server) &&
        (port == 0 || port == connection->AttemptPort())) {
        if (!channel.empty()) {
            connection->Channels()->Join(channel);
        }
        return;
    }
    const std::string where = port == 0 ? server : Concat(server, ":", port);
    const std::string question = connection->Connected() || connection->Connecting()
                                     ? Concat("Connect to ", where, " instead of ", connection->AttemptHost(), "?")
                                     : Concat("Connect to ", where, "?");
    ChildView* const status = childs_->Item(kStatusWindow)->Window();
    if (status == nullptr || !status->AskYesNo(question)) {
        return;
    }
    OpenAddress(server, port, channel, tls);
}

SavedLogin Application::Login() const
{
    const tellix::ConnectDialog* const dialog = childs_ ? childs_->ConnectDialog() : nullptr;
    return dialog != nullptr ? dialog->Login() : SavedLogin();
}

void Application::ConnectTo(const ConnectionPtr& connection, const ServerPlace& place)
{
    ServerPlace to = place;
    const bool secured = strictTransport_ && strictTransport_->Route(to);
    const SavedLogin login = LoginOf(*connection, to);
    connection->Connect(to.host, to.port, login.OptionsFor(to));
    if (secured) {
        TellSecured(*connection, place, to);
    }
    if (const std::string withheld = login.WithheldNotice(to); !withheld.empty()) {
        StatusEvent(connection, false, withheld);
    }
}

bool Application::SecureRoute(const IRCConnection& connection, ServerPlace& place, ConnectOptions& options) const
{
    if (!strictTransport_ || !strictTransport_->Route(place)) {
        return false;
    }
    ConnectOptions secure = LoginOf(connection, place).OptionsFor(place);
    secure.reconnect = options.reconnect;
    secure.continueUnidentified = options.continueUnidentified;
    options = std::move(secure);
    return true;
}

void Application::TellSecured(const IRCConnection& connection, const ServerPlace& asked, const ServerPlace& place)
{
    StatusEvent(std::const_pointer_cast<IRCConnection>(connection.shared_from_this()), false,
                Concat("*** ", place.host, " requires TLS (its strict transport policy): connecting with TLS ",
                       "on port ", place.port, ", not in plain text on port ", asked.port));
}

std::string Application::TrustedFingerprint(const std::string& host, std::int32_t port) const
{
    const std::string stored = toolkit_.Settings().GetSetting(SettingsAppName(), std::string(settings::Section),
                                                              settings::TrustedCertificateKey(host, port), "");
    return NormaliseFingerprint(stored);
}

bool Application::TrustFingerprint(const std::string& host, std::int32_t port, std::string_view fingerprint)
{
    const std::string normal = NormaliseFingerprint(fingerprint);
    if (normal.empty() || host.empty()) {
        return false;
    }
    toolkit_.Settings().SaveSetting(SettingsAppName(), std::string(settings::Section),
                                    settings::TrustedCertificateKey(host, port), normal);
    return true;
}

void Application::JoinAfterWelcome(const ConnectionPtr& connection)
{
    if (joinAfterWelcome_.empty() || joinOn_.lock() != connection) {
        return;
    }
    const std::string channel = std::exchange(joinAfterWelcome_, {});
    joinOn_.reset();
    const auto joined = connection->Channels()->Join(channel);
    if (childs_) {
        childs_->UserJoins(joined); // the address the user opened names it
    }
}

void Application::ForgetJoin(const ConnectionPtr& connection)
{
    if (joinOn_.lock() == connection && connection->Attempts() >= joinAttempt_) {
        joinOn_.reset();
        joinAfterWelcome_.clear();
    }
}

void Application::ListenToWindow()
{
    auto& events = pobjWindow_->Events;
    windowEvents_ = events.QueryUnload.connect(
        [this](bool& cancel, std::int32_t unloadMode) { pobjWindow_QueryUnload(cancel, unloadMode); });
    menuEvents_.push_back(events.mnuFileExit_Click.connect([this] { pobjWindowMnuFileExit_Click(); }));
    menuEvents_.push_back(
        events.mnuWindowConnectDlg_Click.connect([this] { pobjWindowMnuWindowConnectDlg_Click(); }));
    menuEvents_.push_back(events.mnuHelpAbout_Click.connect([this] { pobjWindowMnuHelpAbout_Click(); }));
    menuEvents_.push_back(events.SettingsChanged.connect([this] {
        if (childs_) {
            childs_->ReadSettings();
        }
    }));
}

void Application::pobjWindow_QueryUnload(bool& cancel, std::int32_t unloadMode)
{
    if (unloadMode == 1) {
        return; // the program unloads its window itself
    }
    cancel = !ExitClient();
}

void Application::pobjWindowMnuFileExit_Click()
{
    ExitClient();
}

void Application::pobjWindowMnuWindowConnectDlg_Click()
{
    if (!childs_ || childs_->ConnectDialog() == nullptr) {
        return;
    }
    if (ConnectDialogView* dialog = childs_->ConnectDialog()->Window(); dialog != nullptr) {
        dialog->Show();
        dialog->BringToFront();
    }
}

void Application::pobjWindowMnuHelpAbout_Click()
{
    pobjWindow_->ShowAboutBox(MainCaption(), MainCaption(),
                              {std::string(LegalCopyright), std::string(AuthorLine),
                               "[IRC stands for Internet Relay Chat.",
                               "It's a form of communicating with people over the Internet.]"});
}

void Application::StatusEvent(bool raise, std::string_view output)
{
    if (childs_ && childs_->Count() >= kStatusWindow) {
        const auto status = childs_->Item(kStatusWindow);
        status->Echo(output);
        if (raise) {
            status->RaiseActivity(LineKind::Event);
        }
    }
}

void Application::StatusEvent(const ConnectionPtr& connection, bool raise, std::string_view output)
{
    if (const std::shared_ptr<Child> status = StatusOf(*connection)) {
        status->Echo(output);
        if (raise) {
            status->RaiseActivity(LineKind::Event);
        }
    }
}

Application::ConnectionPtr Application::ConnectionOf(std::int32_t windowIndex) const
{
    if (const std::shared_ptr<Child> window = EchoTarget(windowIndex)) {
        if (IRCConnection* const connection = window->Connection()) {
            return connection->shared_from_this();
        }
    }
    return pobjConnections_->Item(1);
}

std::shared_ptr<Child> Application::StatusOf(const IRCConnection& connection) const
{
    if (!childs_) {
        return nullptr;
    }
    if (std::shared_ptr<Child> head = childs_->Head(connection.Key())) {
        return head;
    }
    return childs_->Count() >= kStatusWindow ? childs_->Item(kStatusWindow) : nullptr;
}

std::int32_t Application::StatusIndex(const IRCConnection& connection) const
{
    const std::shared_ptr<Child> status = StatusOf(connection);
    return status ? status->Index() : kStatusWindow;
}

namespace {

} // namespace

Application::ConnectionPtr Application::FindConnection(std::string_view name) const
{
    for (const ConnectionPtr& connection : *pobjConnections_) {
        if (SameIgnoringCase(connection->SavedNetwork(), name) ||
            (!connection->Network().empty() && SameIgnoringCase(connection->Network(), name)) ||
            (!connection->AttemptHost().empty() && SameIgnoringCase(connection->AttemptHost(), name))) {
            return connection;
        }
    }
    return nullptr;
}

void Application::ConnectServer(const ServerPlace& place)
{
    ConnectionPtr connection;
    for (const ConnectionPtr& each : *pobjConnections_) {
        if (each->SavedNetwork().empty() && SameIgnoringCase(each->AttemptHost(), place.host) &&
            each->AttemptPort() == place.port) {
            connection = each;
            break;
        }
    }
    if (connection && (connection->Connected() || connection->Connecting())) {
        StatusEvent(connection, false,
                    Concat("CONNECT: already connected to ", place.host, ", Port ", place.port));
        Childs::Front(StatusOf(*connection));
        return;
    }
    if (!connection) {
        const ConnectionPtr& first = pobjConnections_->Item(1);
        const bool unused = !first->Connected() && !first->Connecting() && first->AttemptHost().empty();
        connection = unused ? first : NewConnection();
    }
    tellix::ConnectDialog* const dialog = childs_ ? childs_->ConnectDialog() : nullptr;
    if (connection->InitialNick().empty() && (dialog == nullptr || !dialog->Register(*connection))) {
        StatusEvent(connection, false,
                    Concat("*** Cannot connect to ", place.host,
                           ": the connect dialog needs a nick, a user name and a description."));
        return;
    }
    ConnectTo(connection, place);
    StatusEvent(
        connection, false,
        Concat("Connecting to Server ", place.host, ", Port ", place.port, place.tls ? " with TLS" : "", "..."));
    Childs::Front(StatusOf(*connection));
}

Application::ConnectionPtr Application::NewConnection()
{
    const ConnectionPtr connection = pobjConnections_->Add();
    if (childs_) {
        childs_->Add(false)->Head(connection);
    }
    return connection;
}

void Application::CloseConnection(const ConnectionPtr& connection)
{
    const bool first = pobjConnections_->Count() >= 1 && pobjConnections_->Item(1) == connection;
    if (connection->Connected() && !connection->QuitSaid()) {
        connection->Quit(toolkit_.Settings().GetSetting(SettingsAppName(), std::string(settings::Section),
                                                        std::string(settings::QuitMessage),
                                                        settings::QuitMessageDefault()));
    }
    if (childs_) {
        // Walks a copy: each window closing changes the numbers.
        std::vector<std::shared_ptr<Child>> windows;
        for (const std::shared_ptr<Child>& window : *childs_) {
            if (window->Connection() == connection.get() && !(first && window->IsHead())) {
                windows.push_back(window);
            }
        }
        for (const std::shared_ptr<Child>& window : windows) {
            window->Delete(true);
        }
    }
    if (first) {
        return;
    }
    ForgetJoin(connection);
    lostAt_.erase(connection->Key());
    links_.erase(connection->Key());
    bouncerLinks_.erase(connection->Key());
    // The goodbye leaves at its pace; the connection goes after it.
    closing_.push_back(connection);
    LetClosedGo();
}

void Application::LetClosedGo()
{
    if (!pobjConnections_) {
        return;
    }
    std::vector<std::weak_ptr<IRCConnection>> still;
    for (const std::weak_ptr<IRCConnection>& weak : std::exchange(closing_, {})) {
        const ConnectionPtr connection = weak.lock();
        if (!connection || connection->Deleted() || connection->Index() < 1) {
            continue;
        }
        if (connection->Leaving() && toolkit_.ProtocolTimers() != nullptr) {
            still.push_back(weak);
        } else {
            pobjConnections_->Remove(connection->Key());
        }
    }
    closing_ = std::move(still);
    if (!closing_.empty()) {
        constexpr std::int64_t kCheckMs = 50;
        closingCheck_ = toolkit_.ProtocolTimers()->After(kCheckMs, [this] { LetClosedGo(); });
    }
}

std::shared_ptr<Child> Application::EchoTarget(std::int32_t windowIndex) const
{
    if (!childs_) {
        return nullptr;
    }
    if (windowIndex == 0) {
        return childs_->Active();
    }
    return windowIndex >= 1 && windowIndex <= childs_->Count() ? childs_->Item(windowIndex) : nullptr;
}

void Application::Echo(std::int32_t windowIndex, std::string_view output)
{
    if (const auto child = EchoTarget(windowIndex)) {
        child->Echo(output);
    }
}

void Application::EchoShownOnly(std::int32_t windowIndex, std::string_view output)
{
    if (const auto child = EchoTarget(windowIndex)) {
        child->EchoShownOnly(output);
    }
}

void Application::ListenToConnections()
{
    auto& events = pobjConnections_->Events;
    auto& subs = connectionEvents_;
    subs.push_back(
        events.ChannelJoin.connect([this](const ConnectionPtr& c, const ChannelPtr& ch, const UserPtr& s) {
            pobjConnections_ChannelJoin(c, ch, s);
        }));
    subs.push_back(events.ChannelKick.connect(
        [this](const ConnectionPtr& c, const ChannelPtr& ch, const UserPtr& s, const UserPtr& d,
               const std::string& r) { pobjConnections_ChannelKick(c, ch, s, d, r); }));
    subs.push_back(events.ChannelNotice.connect(
        [this](const ConnectionPtr& c, const ChannelPtr& ch, const UserPtr& s, const std::string& n) {
            pobjConnections_ChannelNotice(c, ch, s, n);
        }));
    subs.push_back(
        events.ChannelPart.connect([this](const ConnectionPtr& c, const ChannelPtr& ch, const UserPtr& s,
                                          const std::string& m) { pobjConnections_ChannelPart(c, ch, s, m); }));
    subs.push_back(events.ChannelPrivMsg.connect(
        [this](const ConnectionPtr& c, const ChannelPtr& ch, const UserPtr& s, const std::string& m) {
            pobjConnections_ChannelPrivMsg(c, ch, s, m);
        }));
    subs.push_back(
        events.Connect.connect([this](const ConnectionPtr& c, const std::string& server, std::int32_t port,
                                      bool code) { pobjConnections_Connect(c, server, port, code); }));
    subs.push_back(
        events.Disconnect.connect([this](const ConnectionPtr& c, const std::string& server, std::int32_t port,
                                         bool code) { pobjConnections_Disconnect(c, server, port, code); }));
    subs.push_back(events.Error.connect(
        [this](const ConnectionPtr& c, const std::string& d) { pobjConnections_Error(c, d); }));
    subs.push_back(events.MessageNotProcessed.connect(
        [this](const ConnectionPtr& c, const std::string& m) { pobjConnections_MessageNotProcessed(c, m); }));
    subs.push_back(
        events.ServerNotice.connect([this](const ConnectionPtr& c, const std::string& s, const std::string& n) {
            pobjConnections_ServerNotice(c, s, n);
        }));
    subs.push_back(events.CtcpReply.connect([this](const ConnectionPtr& c, const std::string& n,
                                                   const std::string& r) { pobjConnections_CtcpReply(c, n, r); }));
    subs.push_back(events.ServerChange.connect(
        [this](const ConnectionPtr& c, const std::string& s) { pobjConnections_ServerChange(c, s); }));
    subs.push_back(events.SocketError.connect([this](const ConnectionPtr& c, std::int16_t number,
                                                     std::string& description, std::int32_t scode,
                                                     const std::string& source, const std::string& helpFile,
                                                     std::int32_t helpContext, bool& cancelDisplay) {
        pobjConnections_SocketError(c, number, description, scode, source, helpFile, helpContext, cancelDisplay);
    }));
    subs.push_back(events.CertificateRefused.connect([this](const ConnectionPtr& c, const std::string& server,
                                                            std::int32_t port, const CertificateRefusal& refusal) {
        pobjConnections_CertificateRefused(c, server, port, refusal);
    }));
    subs.push_back(events.LinesNotSent.connect(
        [this](const ConnectionPtr& c, std::size_t count) { pobjConnections_LinesNotSent(c, count); }));
    subs.push_back(
        events.TlsUpgrade.connect([this](const ConnectionPtr& c, const std::string& server, std::int32_t port) {
            pobjConnections_TlsUpgrade(c, server, port);
        }));
    subs.push_back(events.BouncerNetwork.connect(
        [this](const ConnectionPtr& c, const std::string& id, const std::string& attributes) {
            pobjConnections_BouncerNetwork(c, id, attributes);
        }));
    subs.push_back(events.ReadMarkerMove.connect(
        [this](const ConnectionPtr& c, const std::string& target) { pobjConnections_ReadMarkerMove(c, target); }));
    subs.push_back(
        events.HistoryFetched.connect([this](const ConnectionPtr& c, const std::string& target, bool more) {
            pobjConnections_HistoryFetched(c, target, more);
        }));
    subs.push_back(events.UserAdd.connect(
        [this](const ConnectionPtr& c, const UserPtr& s) { pobjConnections_UserAdd(c, s); }));
    subs.push_back(
        events.UserNickChange.connect([this](const ConnectionPtr& c, const UserPtr& s, const std::string& p) {
            pobjConnections_UserNickChange(c, s, p);
        }));
    subs.push_back(
        events.UserNotice.connect([this](const ConnectionPtr& c, const UserPtr& s, const std::string& n) {
            pobjConnections_UserNotice(c, s, n);
        }));
    subs.push_back(
        events.UserPrivMsg.connect([this](const ConnectionPtr& c, const UserPtr& s, const std::string& m) {
            pobjConnections_UserPrivMsg(c, s, m);
        }));
    subs.push_back(events.UserQuit.connect([this](const ConnectionPtr& c, const UserPtr& s, const std::string& m) {
        pobjConnections_UserQuit(c, s, m);
    }));
    subs.push_back(events.UserRemove.connect(
        [this](const ConnectionPtr& c, const UserPtr& s) { pobjConnections_UserRemove(c, s); }));
    subs.push_back(events.UserSelfMessage.connect(
        [this](const ConnectionPtr& c, const UserPtr& d, const std::string& m, bool notice, bool echo) {
            pobjConnections_UserSelfMessage(c, d, m, notice, echo);
        }));
}

} // namespace tellix
