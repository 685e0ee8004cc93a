#include "platform/qt/TextDecoding.h"

#include "platform/qt/LogText.h"
#include "util/Utf8.h"

#include <string>

namespace tellix {

QString DecodeForDisplay(std::string_view bytes)
{
    if (logtext::Utf8Units(bytes) >= 0) {
        return logtext::DecodeUtf8(bytes);
    }
    std::string utf8;
    AppendShownUtf8(bytes, utf8);
    return logtext::DecodeUtf8(utf8);
}

} // namespace tellix
