#include "app/Application.h"

#include "platform/Toolkit.h"
#include "util/Utility.h"
#include "windows/Childs.h"

namespace tellix {

Application::Application(Toolkit& toolkit, SocketFactory& sockets) : toolkit_(toolkit), key_(NewUniqueKey())
{
    pobjConnections_ = std::make_unique<IRCConnections>(sockets);
    ListenToConnections();
    childs_ = std::make_unique<tellix::Childs>(toolkit_);
    childs_->SetParent(this);
    pobjConnections_->Add();
    childs_->Add(false);
}

Application::~Application()
{
    // Nothing is presented while the windows and connections go.
    connectionEvents_.clear();
    if (childs_) {
        childs_->Clear();
        childs_->Teardown();
        childs_.reset();
    }
    if (pobjConnections_) {
        pobjConnections_->Clear();
    }
}

void Application::Echo(std::int32_t windowIndex, std::string_view output)
{
    if (!childs_) {
        return;
    }
    if (windowIndex == 0) {
        if (!childs_->Active()) {
            return;
        }
        windowIndex = childs_->Active()->Index();
    }
    if (windowIndex >= 1 && windowIndex <= childs_->Count()) {
        const auto child = childs_->Item(windowIndex);
        child->Echo(output);
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
    subs.push_back(events.ServerChange.connect(
        [this](const ConnectionPtr& c, const std::string& s) { pobjConnections_ServerChange(c, s); }));
    subs.push_back(events.SocketError.connect([this](const ConnectionPtr& c, std::int16_t number,
                                                     std::string& description, std::int32_t scode,
                                                     const std::string& source, const std::string& helpFile,
                                                     std::int32_t helpContext, bool& cancelDisplay) {
        pobjConnections_SocketError(c, number, description, scode, source, helpFile, helpContext, cancelDisplay);
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
}

} // namespace tellix
