#include "model/NickRanks.h"

#include <algorithm>
#include <bit>

namespace tellix {

CaseMapping ParseCaseMapping(std::string_view token)
{
    if (token == "ascii") {
        return CaseMapping::Ascii;
    }
    if (token == "strict-rfc1459") {
        return CaseMapping::StrictRfc1459;
    }
    return CaseMapping::Rfc1459;
}

char FoldNickChar(char c, CaseMapping mapping)
{
    if (c >= 'A' && c <= 'Z') {
        return static_cast<char>(c - 'A' + 'a');
    }
    if (mapping == CaseMapping::Ascii) {
        return c;
    }
    switch (c) {
    case '[':
        return '{';
    case ']':
        return '}';
    case '\\':
        return '|';
    case '~':
        return mapping == CaseMapping::Rfc1459 ? '^' : c;
    default:
        return c;
    }
}

int CompareNicks(std::string_view a, std::string_view b, CaseMapping mapping)
{
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(FoldNickChar(a[i], mapping));
        const auto y = static_cast<unsigned char>(FoldNickChar(b[i], mapping));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    // Equal when folded: still a stable order, so two spellings never swap places.
    return a.compare(b);
}

bool SameNick(std::string_view a, std::string_view b, CaseMapping mapping)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [mapping](char x, char y) {
               return FoldNickChar(x, mapping) == FoldNickChar(y, mapping);
           });
}

bool RankTable::Parse(std::string_view value)
{
    if (!value.starts_with('(')) {
        return false;
    }
    const std::size_t close = value.find(')');
    if (close == std::string_view::npos) {
        return false;
    }
    const std::string_view modes = value.substr(1, close - 1);
    const std::string_view symbols = value.substr(close + 1);
    if (modes.size() != symbols.size() || modes.size() > static_cast<std::size_t>(kMaxRanks)) {
        return false;
    }
    modes_ = modes;
    symbols_ = symbols;
    return true;
}

std::int32_t RankTable::OfMode(char mode) const
{
    const std::size_t at = modes_.find(mode);
    return at == std::string::npos ? -1 : static_cast<std::int32_t>(at);
}

std::int32_t RankTable::OfSymbol(char symbol) const
{
    const std::size_t at = symbols_.find(symbol);
    return at == std::string::npos ? -1 : static_cast<std::int32_t>(at);
}

std::int32_t RankTable::Highest(std::uint32_t mask) const
{
    const auto lowest = static_cast<std::int32_t>(std::countr_zero(mask));
    return lowest < Count() ? lowest : Count();
}

char RankTable::Symbol(std::uint32_t mask) const
{
    const std::int32_t rank = Highest(mask);
    return rank < Count() ? symbols_[static_cast<std::size_t>(rank)] : '\0';
}

bool RankTable::IsOp(std::uint32_t mask) const
{
    const std::int32_t op = OfMode('o');
    // A server without 'o' calls its highest rank the operator.
    return mask != 0 && Highest(mask) <= (op < 0 ? 0 : op);
}

std::uint32_t RankTable::TakePrefixes(std::string_view& name) const
{
    std::uint32_t mask = 0;
    while (!name.empty()) {
        const std::int32_t rank = OfSymbol(name.front());
        if (rank < 0) {
            break;
        }
        mask |= std::uint32_t{1} << rank;
        name.remove_prefix(1);
    }
    return mask;
}

void ChannelModeKinds::Parse(std::string_view value)
{
    std::string lists[4];
    std::size_t kind = 0;
    for (const char c : value) {
        if (c == ',') {
            if (++kind == 4) {
                break;
            }
        } else {
            lists[kind] += c;
        }
    }
    always_ = lists[0] + lists[1];
    whenSet_ = lists[2];
}

bool ChannelModeKinds::TakesParameter(char mode, bool adding) const
{
    return always_.find(mode) != std::string::npos || (adding && whenSet_.find(mode) != std::string::npos);
}

void ForEachModeChange(std::string_view modes, std::string_view parameters, const RankTable& ranks,
                       const ChannelModeKinds& kinds, const std::function<void(const ModeChange&)>& onChange)
{
    const auto nextParameter = [&parameters] {
        while (parameters.starts_with(' ')) {
            parameters.remove_prefix(1);
        }
        const std::size_t blank = parameters.find(' ');
        const std::string_view word = parameters.substr(0, blank);
        parameters.remove_prefix(blank == std::string_view::npos ? parameters.size() : blank);
        return word;
    };
    bool adding = true;
    for (const char c : modes) {
        if (c == '+' || c == '-') {
            adding = c == '+';
            continue;
        }
        ModeChange change{adding, c, {}};
        if (ranks.OfMode(c) >= 0 || kinds.TakesParameter(c, adding)) {
            change.parameter = nextParameter();
        }
        onChange(change);
    }
}

} // namespace tellix
