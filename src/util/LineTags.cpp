#include "util/LineTags.h"

namespace tellix {

namespace {

std::string_view gLineTags;

} // namespace

std::string_view CurrentLineTags()
{
    return gLineTags;
}

LineTagsScope::LineTagsScope(std::string_view tags) : previous_(gLineTags)
{
    gLineTags = tags;
}

LineTagsScope::~LineTagsScope()
{
    gLineTags = previous_;
}

} // namespace tellix
