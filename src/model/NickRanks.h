#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tellix {

// How the server folds the case of nicks (its CASEMAPPING): rfc1459 also folds []\~ to {}|^,
// strict-rfc1459 leaves ~ alone, ascii folds the letters only.
enum class CaseMapping : std::uint8_t { Rfc1459, StrictRfc1459, Ascii };

CaseMapping ParseCaseMapping(std::string_view token);
char FoldNickChar(char c, CaseMapping mapping);
// Below zero, zero or above as `a` sorts before, with or after `b`; no copy is made, as a
// sort of fifty thousand nicks compares each many times.
int CompareNicks(std::string_view a, std::string_view b, CaseMapping mapping);
// One nick to the server: equal once folded.
bool SameNick(std::string_view a, std::string_view b, CaseMapping mapping);

// The nick list's order: by rank, highest first, then by nick in the server's case.
inline bool RankedBefore(std::int32_t rankA, std::string_view a, std::int32_t rankB, std::string_view b,
                         CaseMapping mapping)
{
    return rankA != rankB ? rankA < rankB : CompareNicks(a, b, mapping) < 0;
}

// The ranks a channel member can hold, highest first, as the server's PREFIX names them:
// "(qaohv)~&@%+". A member's ranks are a mask, bit i for the i-th rank.
class RankTable {
public:
    static constexpr std::int32_t kMaxRanks = 16;

    RankTable() : modes_("ov"), symbols_("@+") {}
    // False, and the table unchanged, when the value is no usable "(modes)symbols".
    bool Parse(std::string_view value);

    std::int32_t Count() const { return static_cast<std::int32_t>(modes_.size()); }
    const std::string& Modes() const { return modes_; }
    const std::string& Symbols() const { return symbols_; }
    // The rank a mode letter or a prefix symbol grants, or -1.
    std::int32_t OfMode(char mode) const;
    std::int32_t OfSymbol(char symbol) const;
    // The highest rank held, or Count() for none.
    std::int32_t Highest(std::uint32_t mask) const;
    char Symbol(std::uint32_t mask) const;
    // Operators: the rank of 'o' or higher.
    bool IsOp(std::uint32_t mask) const;
    // The ranks a names entry ("@+bob") gives; the prefix is taken off `name`.
    std::uint32_t TakePrefixes(std::string_view& name) const;

private:
    std::string modes_;
    std::string symbols_;
};

// Which channel modes take a parameter, from the server's CHANMODES=A,B,C,D: lists (A) and
// settings (B) always, C only when set, D never. Ranks always take one.
class ChannelModeKinds {
public:
    ChannelModeKinds() { Parse("beI,k,l,imnpst"); }
    void Parse(std::string_view value);
    bool TakesParameter(char mode, bool adding) const;

private:
    std::string always_;
    std::string whenSet_;
};

struct ModeChange {
    bool adding = true;
    char mode = 0;
    std::string_view parameter;
};

// Walks a MODE line's changes ("+ov-b", then the parameters in order); a change short of its
// parameter comes with an empty one.
void ForEachModeChange(std::string_view modes, std::string_view parameters, const RankTable& ranks,
                       const ChannelModeKinds& kinds, const std::function<void(const ModeChange&)>& onChange);

} // namespace tellix
