#pragma once

#include <string_view>

namespace tellix {

// The message tags of the line being handled, as written ("msgid=ab;+draft/reply=cd"); empty
// outside such a line or for a line without tags. A window reads the ids it keeps from here.
std::string_view CurrentLineTags();

// Publishes a line's tags while it is handled, and the previous ones again after. The text must
// outlive the scope.
class LineTagsScope {
public:
    explicit LineTagsScope(std::string_view tags);
    ~LineTagsScope();
    LineTagsScope(const LineTagsScope&) = delete;
    LineTagsScope& operator=(const LineTagsScope&) = delete;

private:
    std::string_view previous_;
};

} // namespace tellix
