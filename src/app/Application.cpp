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
    pobjConnections_->SecureRoute = [this](ServerPlace& place, ConnectOptions& options) {
        const ServerPlace asked = place;
        if (!SecureRoute(place, options)) {
            return false;
        }
        TellSecured(asked, place, Login());
        return true;
    };
    ListenToConnections();
    childs_ = std::make_unique<tellix::Childs>(toolkit_);
    childs_->SetParent(this);
    pobjConnections_->Add();
    const auto status = childs_->Add(false);
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
    const auto sameHost = [](std::string_view a, std::string_view b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
            return lower(x) == lower(y);
        });
    };
    if (connection->Connected() && sameHost(connection->AttemptHost(), server) &&
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
    const SavedLogin login = Login();
    ServerPlace to = place;
    ConnectOptions options = login.OptionsFor(to);
    const bool secured = SecureRoute(to, options);
    connection->Connect(to.host, to.port, options);
    if (secured) {
        TellSecured(place, to, login);
    } else if (const std::string withheld = login.WithheldNotice(to); !withheld.empty()) {
        Echo(kStatusWindow, withheld);
    }
}

bool Application::SecureRoute(ServerPlace& place, ConnectOptions& options) const
{
    if (!strictTransport_ || !strictTransport_->Route(place)) {
        return false;
    }
    ConnectOptions secure = Login().OptionsFor(place);
    secure.reconnect = options.reconnect;
    secure.continueUnidentified = options.continueUnidentified;
    options = std::move(secure);
    return true;
}

void Application::TellSecured(const ServerPlace& asked, const ServerPlace& place, const SavedLogin& login)
{
    Echo(kStatusWindow,
         Concat("*** ", place.host, " requires TLS (its strict transport policy): connecting with TLS ",
                "on port ", place.port, ", not in plain text on port ", asked.port));
    if (const std::string withheld = login.WithheldNotice(place); !withheld.empty()) {
        Echo(kStatusWindow, withheld);
    }
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
