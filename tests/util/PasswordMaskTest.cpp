// Logins typed to a service, and raw lines that carry a password, as windows show them.
#include "util/PasswordMask.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tellix {
namespace {

TEST(PasswordMask, ALoginToAServiceShowsItsCommandAndHidesTheRest)
{
    const struct {
        const char* target;
        const char* typed;
        std::optional<std::string> shown; // nothing: shown and logged as typed
    } rows[] = {
        {"NickServ", "IDENTIFY hunter2", "IDENTIFY ********"},
        {"nickserv", "identify anna hunter2", "identify ********"},
        {"NickServ", "REGISTER hunter2 a@b.c", "REGISTER ********"},
        {"NickServ", "SET PASSWORD hunter2", "SET PASSWORD ********"},
        {"NickServ", "set  password  hunter2", "set  password ********"},
        {"NickServ", "GHOST anna hunter2", "GHOST ********"},
        {"NickServ", "RECOVER anna hunter2", "RECOVER ********"},
        {"NickServ", "RELEASE anna hunter2", "RELEASE ********"},
        {"NickServ", "REGAIN anna hunter2", "REGAIN ********"},
        {"NickServ", "DROP anna hunter2", "DROP ********"},
        {"NickServ", "SETPASS anna key hunter2", "SETPASS ********"},
        {"NickServ", "GROUP anna hunter2", "GROUP ********"},
        {"NickServ", "SASET anna PASSWORD hunter2", "SASET anna PASSWORD ********"},
        {"NickServ", "SASET anna EMAIL a@b.c", std::nullopt},
        {"Q", "NEWPASS old hunter2 hunter2", "NEWPASS ********"},
        {"AuthServ", "PASS old hunter2", "PASS ********"},
        {"ChanServ", "LOGIN anna hunter2", "LOGIN ********"},
        {"HostServ", "AUTH hunter2", "AUTH ********"},
        {"Q", "AUTH anna hunter2", "AUTH ********"},
        {"Q@CServe.quakenet.org", "AUTH anna hunter2", "AUTH ********"},
        {"x@channels.undernet.org", "LOGIN anna hunter2", "LOGIN ********"},
        {"NickServ@services.libera.chat", "IDENTIFY hunter2", "IDENTIFY ********"},
        {"NickServ", "  IDENTIFY hunter2", "  IDENTIFY ********"},
        {"NickServ",
         "\x01"
         "ACTION identify hunter2\x01",
         "\x01"
         "ACTION identify ********\x01"},
        {"NickServ",
         "\x01"
         "ACTION waves\x01",
         std::nullopt},
        // Nothing to hide, or nobody who takes logins.
        {"NickServ", "IDENTIFY", std::nullopt},
        {"NickServ", "IDENTIFY   ", std::nullopt},
        {"NickServ", "INFO anna", std::nullopt},
        {"NickServ", "SET EMAIL a@b.c", std::nullopt},
        {"NickServ", "identifying is easy", std::nullopt},
        {"bob", "IDENTIFY hunter2", std::nullopt},
        {"Serv", "IDENTIFY hunter2", std::nullopt},
        {"QQ", "AUTH anna hunter2", std::nullopt},
        {"#room", "IDENTIFY hunter2", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MaskSaid(row.target, row.typed), row.shown) << row.typed << " to " << row.target;
    }
}

TEST(PasswordMask, ARawLineHidesWhatFollowsItsLoginCommand)
{
    const struct {
        const char* raw;
        std::optional<std::string> shown;
    } rows[] = {
        {"PASS hunter2", "PASS ********"},
        {"pass :anna/net:hunter2", "pass ********"},
        {"OPER root hunter2", "OPER ********"},
        {"AUTHENTICATE aHVudGVyMg==", "AUTHENTICATE ********"},
        {"PRIVMSG NickServ :IDENTIFY hunter2", "PRIVMSG NickServ :IDENTIFY ********"},
        {"NOTICE NickServ IDENTIFY hunter2", "NOTICE NickServ IDENTIFY ********"},
        {"PRIVMSG Q@CServe.quakenet.org :AUTH anna hunter2", "PRIVMSG Q@CServe.quakenet.org :AUTH ********"},
        {"NICKSERV IDENTIFY hunter2", "NICKSERV IDENTIFY ********"},
        {"NS identify hunter2", "NS identify ********"},
        {"NICKSERV :IDENTIFY hunter2", "NICKSERV :IDENTIFY ********"},
        {"ns identify anna hunter2", "ns identify ********"},
        {"IDENTIFY hunter2", "IDENTIFY ********"},
        // Lines that only look alike.
        {"PASS", std::nullopt},
        {"PRIVMSG #room :IDENTIFY is what you type", std::nullopt},
        {"PRIVMSG bob :IDENTIFY hunter2", std::nullopt},
        {"PRIVMSG #room :passing by", std::nullopt},
        {"JOIN #pass", std::nullopt},
        {"NICKSERV INFO anna", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MaskRaw(row.raw), row.shown) << row.raw;
    }
}

} // namespace
} // namespace tellix
