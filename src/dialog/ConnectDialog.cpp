#include "dialog/ConnectDialog.h"

#include "app/Application.h"
#include "app/Settings.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/CoreError.h"
#include "util/Utility.h"
#include "windows/Childs.h"

namespace tellix {

namespace {

constexpr std::int32_t kLeftTwips = 1200;
constexpr std::int32_t kTopTwips = 800;

std::int32_t CheckState(bool value)
{
    return value ? 1 : 0;
}

struct PasswordField {
    std::string_view key;
    std::string ConnectFields::*field;
};

constexpr PasswordField kPasswordFields[] = {
    {settings::DefaultServerPassword, &ConnectFields::serverPassword},
    {settings::DefaultAccountPassword, &ConnectFields::accountPassword},
};

} // namespace

ConnectDialog::ConnectDialog(Toolkit& toolkit) : toolkit_(toolkit), key_(NewUniqueKey())
{
    pobjWindow_ = toolkit.CreateConnectDialogView();
    ConnectDialogView& view = *pobjWindow_;
    view.MoveTo(kLeftTwips, kTopTwips);
    view.SetCaption("Connect");
    windowEvents_.push_back(view.Events.ConnectClick.connect([this] { cmdConnect_Click(); }));
    windowEvents_.push_back(view.Events.DisconnectClick.connect([this] { cmdDisconnect_Click(); }));
    windowEvents_.push_back(view.Events.CloseClick.connect([this] { CloseWindow(); }));
    windowEvents_.push_back(view.Events.TlsClick.connect([this] { chkTls_Click(); }));
    windowEvents_.push_back(view.Events.QueryUnload.connect([this](bool& cancel, std::int32_t unloadMode) {
        if (unloadMode != 1) {
            // Only hidden: what was typed is there when it is shown again.
            CloseWindow();
            cancel = true;
        }
    }));

    SettingsStore& store = toolkit.Settings();
    const std::string app = SettingsAppName();
    const std::string section(settings::Section);
    auto read = [&](std::string_view key, std::string_view fallback) {
        return store.GetSetting(app, section, std::string(key), std::string(fallback));
    };
    servers_.push_back(read(settings::DefaultServer, settings::DefaultServerDefault));
    view.SetNick(read(settings::DefaultUserNick, settings::DefaultUserNickDefault));
    view.SetUserShort(read(settings::DefaultUserName, settings::DefaultUserNameDefault));
    view.SetUserLong(read(settings::DefaultUserDescription, settings::DefaultUserDescriptionDefault));
    view.SetInvisible(CheckState(settings::ReadCheckBox(
        read(settings::DefaultUserInvisible, settings::WriteCheckBox(settings::DefaultUserInvisibleDefault)),
        settings::DefaultUserInvisibleDefault)));
    view.SetWallop(CheckState(settings::ReadCheckBox(
        read(settings::DefaultUserWallOp, settings::WriteCheckBox(settings::DefaultUserWallOpDefault)),
        settings::DefaultUserWallOpDefault)));
    auto readCheck = [&](std::string_view key, bool fallback) {
        return settings::ReadCheckBox(read(key, settings::WriteCheckBox(fallback)), fallback);
    };
    ConnectFields fields;
    fields.tls = readCheck(settings::DefaultServerTls, settings::DefaultServerTlsDefault);
    const std::string port = read(settings::DefaultServerPort, std::to_string(fields.tls ? TlsPort : PlainPort));
    fields.port = SplitServerAddress("x:" + port) ? port : std::to_string(fields.tls ? TlsPort : PlainPort);
    fields.account = read(settings::DefaultAccountName, "");
    fields.clientCertificate = read(settings::DefaultClientCertificate, "");
    fields.reconnect = readCheck(settings::DefaultReconnect, settings::DefaultReconnectDefault);
    fields.continueUnidentified =
        readCheck(settings::DefaultContinueUnidentified, settings::DefaultContinueUnidentifiedDefault);
    view.SetFields(fields);
    FillServerList();
    LoadPasswords();
}

void ConnectDialog::LoadPasswords()
{
    SecretStore* const secrets = toolkit_.Secrets();
    for (std::size_t which = 0; which < std::size(kPasswordFields); ++which) {
        const std::string key(kPasswordFields[which].key);
        // Where no store took it, or where the user put it: the terminal has no password boxes.
        const std::string inFile =
            toolkit_.Settings().GetSetting(SettingsAppName(), std::string(settings::Section), key, "");
        if (!inFile.empty()) {
            // Left unknown: the next connect offers it to the store again, which may be running now.
            FillPassword(which, inFile);
            continue;
        }
        if (secrets == nullptr) {
            continue;
        }
        secrets->Read(key, [this, alive = std::weak_ptr<char>(alive_), which](std::optional<std::string> secret) {
            if (alive.expired() || keptPasswords_[which]) {
                return;
            }
            keptPasswords_[which] = secret.value_or("");
            FillPassword(which, *keptPasswords_[which]);
        });
    }
}

// Only into an empty box: what the user typed meanwhile stays.
void ConnectDialog::FillPassword(std::size_t which, const std::string& secret)
{
    if (!pobjWindow_ || secret.empty()) {
        return;
    }
    ConnectFields fields = pobjWindow_->Fields();
    std::string& box = fields.*kPasswordFields[which].field;
    if (box.empty()) {
        box = secret;
        pobjWindow_->SetFields(fields);
    }
}

void ConnectDialog::KeepPasswords(const ConnectFields& fields)
{
    SecretStore* const secrets = toolkit_.Secrets();
    if (secrets == nullptr) {
        return;
    }
    for (std::size_t which = 0; which < std::size(kPasswordFields); ++which) {
        const std::string& secret = fields.*kPasswordFields[which].field;
        if (keptPasswords_[which] ? *keptPasswords_[which] == secret : secret.empty()) {
            continue;
        }
        keptPasswords_[which] = secret;
        const std::string key(kPasswordFields[which].key);
        secrets->Write(key, secret, [this, alive = std::weak_ptr<char>(alive_), key, secret](bool stored) {
            if (alive.expired()) {
                return;
            }
            toolkit_.Settings().SaveSetting(SettingsAppName(), std::string(settings::Section), key,
                                            stored ? std::string() : secret);
            Application* const app = parent_ != nullptr ? parent_->Parent() : nullptr;
            if (!stored && !secret.empty() && !toldPasswordsInFile_ && app != nullptr) {
                toldPasswordsInFile_ = true;
                app->Echo(Application::kStatusWindow, "*** No secret store answered: passwords are kept in the "
                                                      "settings file, where programs run as you can read them");
            }
        });
    }
}

ConnectDialog::~ConnectDialog() = default;

bool ConnectDialog::CheckValidness() const
{
    if (!pobjWindow_) {
        return false;
    }
    const ConnectDialogView& view = *pobjWindow_;
    bool valid = true;
    if (view.ServerText().empty()) {
        valid = false;
    }
    const std::string nick = view.Nick();
    if (nick.empty() || nick.find(' ') != std::string::npos) {
        valid = false;
    }
    const std::string userShort = view.UserShort();
    if (userShort.empty() || userShort.find(' ') != std::string::npos) {
        valid = false;
    }
    if (view.UserLong().empty()) {
        valid = false;
    }
    return valid;
}

void ConnectDialog::CloseWindow()
{
    if (pobjWindow_) {
        pobjWindow_->Hide();
    }
    Events.Closed.raise();
}

void ConnectDialog::Delete()
{
    if (deleting_) {
        return;
    }
    deleting_ = true;
    CloseWindow();
    if (pobjWindow_) {
        const ConnectDialogView& view = *pobjWindow_;
        SettingsStore& store = toolkit_.Settings();
        const std::string app = SettingsAppName();
        const std::string section(settings::Section);
        auto write = [&](std::string_view key, const std::string& value) {
            store.SaveSetting(app, section, std::string(key), value);
        };
        const std::string server = view.ServerText();
        write(settings::DefaultServer, server.empty() && !servers_.empty() ? servers_.front() : server);
        write(settings::DefaultUserNick, view.Nick());
        write(settings::DefaultUserName, view.UserShort());
        write(settings::DefaultUserDescription, view.UserLong());
        write(settings::DefaultUserInvisible, settings::WriteCheckBox(view.Invisible() != 0));
        write(settings::DefaultUserWallOp, settings::WriteCheckBox(view.Wallop() != 0));
        // The passwords are kept when a connection starts, in the secret store where there is one.
        const ConnectFields fields = view.Fields();
        write(settings::DefaultServerPort, fields.port);
        write(settings::DefaultServerTls, settings::WriteCheckBox(fields.tls));
        write(settings::DefaultAccountName, fields.account);
        write(settings::DefaultClientCertificate, fields.clientCertificate);
        write(settings::DefaultReconnect, settings::WriteCheckBox(fields.reconnect));
        write(settings::DefaultContinueUnidentified, settings::WriteCheckBox(fields.continueUnidentified));
    }
    windowEvents_.clear();
    if (pobjWindow_) {
        const std::unique_ptr<ConnectDialogView> window = std::move(pobjWindow_);
        window->Unload();
    }
    parent_ = nullptr;
    deleting_ = false;
}

std::string ConnectDialog::Server() const
{
    return pobjWindow_ ? pobjWindow_->ServerText() : std::string();
}

void ConnectDialog::Server(std::string_view server)
{
    if (pobjWindow_) {
        pobjWindow_->SetServerText(server);
    }
}

void ConnectDialog::Show()
{
    if (pobjWindow_) {
        pobjWindow_->Show();
    }
}

std::string ConnectDialog::UserDescription() const
{
    return pobjWindow_ ? pobjWindow_->UserLong() : std::string();
}

void ConnectDialog::UserDescription(std::string_view text)
{
    if (pobjWindow_) {
        pobjWindow_->SetUserLong(text);
    }
}

bool ConnectDialog::UserInvisible() const
{
    return pobjWindow_ && pobjWindow_->Invisible() != 0;
}

void ConnectDialog::UserInvisible(bool value)
{
    if (pobjWindow_) {
        pobjWindow_->SetInvisible(CheckState(value));
    }
}

std::string ConnectDialog::UserName() const
{
    return pobjWindow_ ? pobjWindow_->UserShort() : std::string();
}

void ConnectDialog::UserName(std::string_view text)
{
    if (pobjWindow_) {
        pobjWindow_->SetUserShort(text);
    }
}

std::string ConnectDialog::UserNick() const
{
    return pobjWindow_ ? pobjWindow_->Nick() : std::string();
}

void ConnectDialog::UserNick(std::string_view text)
{
    if (pobjWindow_) {
        pobjWindow_->SetNick(text);
    }
}

bool ConnectDialog::UserWallOp() const
{
    return pobjWindow_ && pobjWindow_->Wallop() != 0;
}

void ConnectDialog::UserWallOp(bool value)
{
    if (pobjWindow_) {
        pobjWindow_->SetWallop(CheckState(value));
    }
}

bool ConnectDialog::Visible() const
{
    return pobjWindow_ && pobjWindow_->Visible();
}

void ConnectDialog::Visible(bool visible)
{
    if (pobjWindow_) {
        pobjWindow_->SetVisible(visible);
    }
}

void ConnectDialog::SetParent(Childs* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

// The server box offers the list; its text ends as the last entry.
void ConnectDialog::FillServerList()
{
    if (!pobjWindow_) {
        return;
    }
    ConnectDialogView& view = *pobjWindow_;
    view.ClearServers();
    for (std::size_t i = 0; i < servers_.size(); ++i) {
        view.AddServer(servers_[i], static_cast<std::int32_t>(i + 1));
        view.SetServerText(servers_[i]);
    }
}

IRCConnection& ConnectDialog::FirstConnection() const
{
    Application* const app = parent_ != nullptr ? parent_->Parent() : nullptr;
    if (app == nullptr) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    return *app->Connections().Item(1);
}

void ConnectDialog::cmdConnect_Click()
{
    if (!CheckValidness()) {
        toolkit_.Beep();
        return;
    }
    const auto connection = FirstConnection().shared_from_this();
    ConnectFirst(*connection);
}

std::optional<ServerAddress> ConnectDialog::Destination() const
{
    if (!pobjWindow_) {
        return std::nullopt;
    }
    auto address = SplitServerAddress(pobjWindow_->ServerText());
    if (address && address->port == 0) {
        const auto port = SplitServerAddress("x:" + pobjWindow_->Fields().port);
        if (!port) {
            return std::nullopt;
        }
        address->port = port->port;
    }
    return address;
}

ConnectOptions ConnectDialog::Options() const
{
    ConnectOptions options;
    if (!pobjWindow_) {
        return options;
    }
    const ConnectFields fields = pobjWindow_->Fields();
    options.tls = fields.tls;
    options.serverPassword = fields.serverPassword;
    options.account = fields.account;
    options.accountPassword = fields.accountPassword;
    options.clientCertificate = fields.clientCertificate;
    options.reconnect = fields.reconnect;
    options.continueUnidentified = fields.continueUnidentified;
    return options;
}

SavedLogin ConnectDialog::Login() const
{
    const ConnectOptions options = Options();
    const auto destination = Destination();
    return destination ? SavedLogin({destination->host, destination->port, options.tls}, options)
                       : SavedLogin({}, options);
}

bool ConnectDialog::ConnectFirst(IRCConnection& connection)
{
    const auto destination = Destination();
    Application* const app = parent_ != nullptr ? parent_->Parent() : nullptr;
    if (!destination) {
        if (app != nullptr) {
            app->Echo(Application::kStatusWindow, Concat("*** Cannot connect to \"", Server(),
                                                         "\": the port must be a whole "
                                                         "number from 1 to 65535"));
        }
        return false;
    }
    if (!Register(connection)) {
        return false;
    }
    if (pobjWindow_) {
        KeepPasswords(pobjWindow_->Fields());
    }
    const ServerPlace place{destination->host, destination->port, Options().tls};
    if (app != nullptr) {
        app->ConnectTo(connection.shared_from_this(), place);
    } else {
        connection.Options(Login().OptionsFor(place));
        connection.Connect(place.host, place.port);
    }
    return true;
}

// Switches between the usual ports only: a port the user chose stays.
void ConnectDialog::chkTls_Click()
{
    if (!pobjWindow_) {
        return;
    }
    ConnectFields fields = pobjWindow_->Fields();
    const std::string plain = std::to_string(PlainPort);
    const std::string secure = std::to_string(TlsPort);
    if (fields.port == plain || fields.port == secure || fields.port.empty()) {
        fields.port = fields.tls ? secure : plain;
        pobjWindow_->SetFields(fields);
    }
}

bool ConnectDialog::Register(IRCConnection& connection) const
{
    if (!CheckValidness()) {
        return false;
    }
    const ConnectDialogView& view = *pobjWindow_;
    connection.InitialNick(view.Nick());
    const std::int32_t mode = (view.Invisible() == 1 ? 8 : 0) | (view.Wallop() == 1 ? 4 : 0);
    connection.InitialUserParams(Concat(view.UserShort(), " ", mode, " * :", view.UserLong()));
    return true;
}

void ConnectDialog::cmdDisconnect_Click()
{
    const auto connection = FirstConnection().shared_from_this();
    if (connection->Connected()) {
        connection->Disconnect();
    }
}

} // namespace tellix
