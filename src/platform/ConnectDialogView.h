#pragma once

#include "util/Event.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tellix {

// The fields beyond the server and the user: how the connection is carried and how it logs in.
struct ConnectFields {
    std::string port; // the port box's text
    bool tls = false;
    std::string serverPassword;
    std::string account;
    std::string accountPassword;
    std::string clientCertificate; // the chosen PEM file, or empty
    bool reconnect = false;
    bool continueUnidentified = false; // stay connected when the login fails
};

// The connect dialog's form as the core sees it: texts are bytes as the core keeps them.
// Positions are in twips; the view maps them to its screen.
class ConnectDialogView {
public:
    virtual ~ConnectDialogView() = default;

    virtual void SetCaption(const std::string& caption) = 0;
    virtual void MoveTo(std::int32_t leftTwips, std::int32_t topTwips) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual void BringToFront() = 0;
    // Destroys the form; it raises QueryUnload with unloadMode 1 first.
    virtual void Unload() = 0;

    // The server box: its text and its list.
    virtual std::string ServerText() const = 0;
    virtual void SetServerText(std::string_view text) = 0;
    virtual void ClearServers() = 0;
    virtual void AddServer(std::string_view server, std::int32_t itemData) = 0;

    virtual std::string UserShort() const = 0;
    virtual void SetUserShort(std::string_view text) = 0;
    virtual std::string UserLong() const = 0;
    virtual void SetUserLong(std::string_view text) = 0;
    virtual std::string Nick() const = 0;
    virtual void SetNick(std::string_view text) = 0;
    // Check boxes hold 0 (clear) or 1 (set).
    virtual std::int32_t Invisible() const = 0;
    virtual void SetInvisible(std::int32_t value) = 0;
    virtual std::int32_t Wallop() const = 0;
    virtual void SetWallop(std::int32_t value) = 0;
    virtual ConnectFields Fields() const = 0;
    virtual void SetFields(const ConnectFields& fields) = 0;

    struct EventSet {
        Event<> ConnectClick;
        Event<> DisconnectClick;
        Event<> CloseClick;
        Event<> TlsClick; // the user toggled "Use TLS"; Fields() holds the new state
        // Cancel, UnloadMode: 1 when the program itself unloads the form, 0 for the user.
        Event<bool&, std::int32_t> QueryUnload;
    } Events;
};

} // namespace tellix
