#pragma once

#include "net/ConnectOptions.h"
#include "net/SavedLogin.h"
#include "net/ServerTrust.h"
#include "platform/ConnectDialogView.h"
#include "util/Event.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class Childs;
class IRCConnection;
class Toolkit;

// The connect dialog: it edits the connect data, keeps it in the settings store between runs,
// and connects or disconnects the first connection. Closing it only hides it.
class ConnectDialog {
public:
    // Loads the form hidden and fills it from the settings store.
    explicit ConnectDialog(Toolkit& toolkit);
    ~ConnectDialog();
    ConnectDialog(const ConnectDialog&) = delete;
    ConnectDialog& operator=(const ConnectDialog&) = delete;

    // True when every field is usable.
    bool CheckValidness() const;
    // Gives `connection` the nick and the USER parameters the fields make, as Connect does;
    // false, with nothing touched, when a field is not usable.
    bool Register(IRCConnection& connection) const;
    // Where the dialog connects: the server box's host, and the port typed with it ("host:port",
    // "[v6 address]:port") or else the port box's. Nothing when neither names a usable place.
    std::optional<ServerAddress> Destination() const;
    // How the dialog connects: TLS, passwords, account, client certificate, reconnect.
    ConnectOptions Options() const;
    // Those options bound to the server the dialog names: its login goes there only.
    SavedLogin Login() const;
    // Gives `connection` the dialog's data and connects it to Destination; false, with a line
    // in the status window, when there is nowhere to connect.
    bool ConnectFirst(IRCConnection& connection);
    // Hides the form and raises Closed.
    void CloseWindow();
    // Saves the fields to the settings store and releases the form.
    void Delete();
    Childs* Parent() const { return parent_; }
    std::string Server() const;
    void Server(std::string_view server);
    void Show();
    std::string UserDescription() const;
    void UserDescription(std::string_view text);
    bool UserInvisible() const;
    void UserInvisible(bool value);
    std::string UserName() const;
    void UserName(std::string_view text);
    std::string UserNick() const;
    void UserNick(std::string_view text);
    bool UserWallOp() const;
    void UserWallOp(bool value);
    bool Visible() const;
    void Visible(bool visible);

    struct EventSet {
        Event<> Closed; // nobody in the system listens; raised by CloseWindow
    } Events;

    // Used by the window collection and the main window.
    void SetParent(Childs* parent);
    const std::string& Key() const { return key_; }
    ConnectDialogView* Window() const { return pobjWindow_.get(); }
    void FillServerList();

private:
    IRCConnection& FirstConnection() const;
    void cmdConnect_Click();
    void cmdDisconnect_Click();
    void chkTls_Click();
    // The passwords live in the secret store, or in the settings file where none takes them.
    void LoadPasswords();
    void KeepPasswords(const ConnectFields& fields);
    void FillPassword(std::size_t which, const std::string& secret);

    Toolkit& toolkit_;
    bool deleting_ = false;
    Childs* parent_ = nullptr;
    std::vector<std::string> servers_;
    std::string key_;
    std::unique_ptr<ConnectDialogView> pobjWindow_;
    std::vector<Subscription> windowEvents_;
    // What each password is known to be where it is kept; none while the store is still asked,
    // so that an empty box then never erases it.
    std::optional<std::string> keptPasswords_[2];
    bool toldPasswordsInFile_ = false;
    // Answers from the secret store may come after the dialog is gone.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
};

} // namespace tellix
