// The terminal and the Qt front-end read the same bytes as the same characters; the terminal
// only draws the control characters differently.
#include "platform/qt/TextDecoding.h"
#include "platform/qt/LogText.h"
#include "util/TerminalText.h"

#include <QList>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tellix;

namespace {

std::string AsTheLogReadsIt(const std::string& bytes)
{
    QString shown;
    for (const uint c : DecodeForDisplay(bytes).toUcs4()) {
        if (c >= 0x80 && c < 0xA0) {
            shown += QString("<%1>").arg(c, 2, 16, QChar('0')).toUpper();
        } else if (c < 0x80 && !logtext::IsFormattingCode(c)) {
            shown += QChar(logtext::Shown(static_cast<char16_t>(c)));
        } else {
            shown += QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
        }
    }
    return shown.toStdString();
}

} // namespace

TEST(TextDecoding, TheTerminalDecodesEveryShortTextAsTheLogDoes)
{
    std::vector<std::string> texts = {"\xf0\x9f\x98\x80", "\xf4\x8f\xbf\xbf", "\xf4\x90\x80\x80", "\xed\x9f\xbf",
                                      "\xed\xa0\x80",     "\xe0\x9f\xbf",     "\xef\xbf\xbf",     "a\xc3\xa9\x81"};
    for (int first = 0; first < 256; ++first) {
        texts.emplace_back(1, static_cast<char>(first));
        for (int second = 0; second < 256; ++second) {
            texts.push_back({static_cast<char>(first), static_cast<char>(second)});
        }
    }
    int differing = 0;
    for (const std::string& bytes : texts) {
        std::string terminal;
        AppendTerminalText(bytes, terminal);
        if (terminal != AsTheLogReadsIt(bytes) && ++differing <= 5) {
            ADD_FAILURE() << testing::PrintToString(bytes) << " -> " << terminal << " vs "
                          << AsTheLogReadsIt(bytes);
        }
    }
    EXPECT_EQ(differing, 0);
}
