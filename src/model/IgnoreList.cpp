#include "model/IgnoreList.h"

#include <algorithm>

namespace tellix {

namespace {

char Fold(char c)
{
    if (c >= 'A' && c <= ']') {
        return static_cast<char>(c + ('a' - 'A')); // A-Z and [ \ ] together
    }
    return c;
}

std::string Folded(std::string_view text)
{
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), Fold);
    return folded;
}

bool Wild(std::string_view part)
{
    return part.find_first_of("*?") != std::string_view::npos;
}

struct Parts {
    std::string_view nick;
    std::string_view host;
};

// nick!user@host cut at the first "!" and the last "@"; a lone nick has no host.
Parts Cut(std::string_view mask)
{
    const std::size_t bang = mask.find('!');
    const std::size_t at = mask.rfind('@');
    Parts parts;
    parts.nick = mask.substr(0, std::min(bang, at));
    if (at != std::string_view::npos) {
        parts.host = mask.substr(at + 1);
    }
    return parts;
}

} // namespace

std::string IgnoreList::Normalise(std::string_view mask)
{
    if (mask.empty() || mask.find_first_of(" \r\n") != std::string_view::npos) {
        return {};
    }
    const std::size_t bang = mask.find('!');
    const std::size_t at = mask.rfind('@');
    std::string nick;
    std::string user;
    std::string host;
    if (bang == std::string_view::npos && at == std::string_view::npos) {
        nick = mask;
    } else if (bang == std::string_view::npos) {
        user = mask.substr(0, at);
        host = mask.substr(at + 1);
    } else if (at == std::string_view::npos || at < bang) {
        nick = mask.substr(0, bang);
        user = mask.substr(bang + 1);
    } else {
        nick = mask.substr(0, bang);
        user = mask.substr(bang + 1, at - bang - 1);
        host = mask.substr(at + 1);
    }
    const auto orStar = [](std::string& part) {
        if (part.empty()) {
            part = "*";
        }
    };
    orStar(nick);
    orStar(user);
    orStar(host);
    return nick + "!" + user + "@" + host;
}

bool IgnoreList::WildMatch(std::string_view mask, std::string_view text)
{
    // Greedy with one point to go back to: linear in practice, mask times text at worst.
    std::size_t m = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (m < mask.size() && (mask[m] == '?' || Fold(mask[m]) == Fold(text[t]))) {
            ++m;
            ++t;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            resume = t;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

bool IgnoreList::Add(std::string_view mask)
{
    const std::string normal = Normalise(mask);
    if (normal.empty()) {
        return false;
    }
    const std::string folded = Folded(normal);
    if (!held_.insert(folded).second) {
        return false;
    }
    masks_.push_back(normal);
    const Parts parts = Cut(folded);
    if (!Wild(parts.nick)) {
        byNick_.emplace(std::string(parts.nick), folded);
    } else if (!Wild(parts.host)) {
        byHost_.emplace(std::string(parts.host), folded);
    } else {
        wild_.push_back(folded);
    }
    return true;
}

std::string IgnoreList::Remove(std::string_view mask)
{
    const std::string folded = Folded(Normalise(mask));
    if (held_.erase(folded) == 0) {
        return {};
    }
    const auto found = std::find_if(masks_.begin(), masks_.end(),
                                    [&](const std::string& held) { return Folded(held) == folded; });
    std::string removed = *found;
    masks_.erase(found);
    Rebuild();
    return removed;
}

void IgnoreList::Clear()
{
    masks_.clear();
    Rebuild();
}

void IgnoreList::Rebuild()
{
    std::vector<std::string> masks = std::move(masks_);
    masks_.clear();
    held_.clear();
    byNick_.clear();
    byHost_.clear();
    wild_.clear();
    for (const std::string& mask : masks) {
        Add(mask);
    }
}

bool IgnoreList::Matches(std::string_view sender) const
{
    if (masks_.empty()) {
        return false;
    }
    std::string full = Folded(sender);
    if (full.find_first_of("!@") == std::string::npos) {
        full += "!@"; // a lone nick: no user or host to match
    }
    const Parts parts = Cut(full);
    const auto tryBucket = [&](const auto& bucket, std::string_view key) {
        const auto [first, last] = bucket.equal_range(std::string(key));
        return std::any_of(first, last, [&](const auto& entry) { return WildMatch(entry.second, full); });
    };
    return tryBucket(byNick_, parts.nick) || tryBucket(byHost_, parts.host) ||
           std::any_of(wild_.begin(), wild_.end(), [&](const std::string& mask) { return WildMatch(mask, full); });
}

std::string IgnoreList::Text() const
{
    std::string text;
    for (const std::string& mask : masks_) {
        if (!text.empty()) {
            text += ' ';
        }
        text += mask;
    }
    return text;
}

void IgnoreList::SetText(std::string_view text)
{
    masks_.clear();
    Rebuild();
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t blank = std::min(text.find(' ', pos), text.size());
        if (blank > pos) {
            Add(text.substr(pos, blank - pos));
        }
        pos = blank + 1;
    }
}

} // namespace tellix
