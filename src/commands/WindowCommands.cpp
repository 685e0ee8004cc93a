// WINDOW and its sub-commands: a window's channel, partner and default command, closing,
// opening and refreshing windows.
#include "app/Application.h"
#include "commands/CommandRun.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "util/Concat.h"
#include "windows/Child.h"
#include "windows/Childs.h"

namespace tellix {

bool CommandRun::WindowCommand()
{
    if (n_ < 1) {
        return false;
    }
    const std::string sub = UpperCase(Word(1));
    if (sub == "CHANNEL") {
        return WindowChannel();
    }
    if (sub == "CLOSE") {
        return WindowClose();
    }
    if (sub == "COMMAND") {
        return WindowDefault();
    }
    if (sub == "NEW") {
        if (app_.Childs() != nullptr) {
            Childs::Front(app_.Childs()->Add(false));
        }
        return true;
    }
    if (sub == "QUERY") {
        return WindowQuery();
    }
    if (sub == "REFRESH") {
        if (const std::shared_ptr<Child> calling = Calling()) {
            calling->RefreshUserList();
        }
        return true;
    }
    return false;
}

bool CommandRun::WindowChannel()
{
    return n_ <= 2 && CallingWindowChannel(2, true);
}

bool CommandRun::WindowClose()
{
    std::int64_t target = window_;
    if (n_ >= 2) {
        const std::optional<std::int64_t> number = ParseWindowNumber(Word(2));
        if (!number) {
            return false;
        }
        if (*number == 0 && !user_) {
            return false;
        }
        if (*number != 0) {
            target = *number;
        }
    }
    const std::shared_ptr<Child> window =
        target >= 1 && target <= INT32_MAX ? Window(static_cast<std::int32_t>(target)) : nullptr;
    if (!window) {
        return false;
    }
    window->CloseWindow(user_);
    return true;
}

bool CommandRun::WindowDefault()
{
    if (n_ == 1) {
        const std::shared_ptr<Child> calling = Calling();
        EchoInto(window_, Concat("*** current default command: ", calling ? calling->DefaultCommand() : ""));
        return true;
    }
    if (CallingIsStatus()) {
        EchoInto(Status(), "*** can't set default command for status window!");
    } else if (InRange()) {
        const std::string command = Rest(2);
        Calling()->DefaultCommand(command);
        EchoInto(Status(), Concat("*** default command set to ", command));
    }
    return true;
}

bool CommandRun::WindowQuery()
{
    if (n_ > 2) {
        return false;
    }
    if (n_ == 1) {
        const std::shared_ptr<Child> calling = Calling();
        if (!calling || !calling->Query()) {
            EchoInto(window_, "*** current query to: no user set");
        } else {
            EchoInto(window_, Concat("*** current query to: ", calling->Query()->Nick()));
        }
        return true;
    }
    if (CallingIsStatus()) {
        EchoInto(Status(), "*** can't set query for status window!");
    } else if (InRange()) {
        Calling()->Query(Word(2) == "-" ? nullptr : Here().Users()->GetUser(Word(2)));
    }
    return true;
}

} // namespace tellix
