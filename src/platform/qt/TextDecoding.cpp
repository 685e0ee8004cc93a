#include "platform/qt/TextDecoding.h"

#include "platform/qt/LogText.h"

namespace tellix {

QString DecodeForDisplay(std::string_view bytes)
{
    if (logtext::Utf8Units(bytes) >= 0) {
        return logtext::DecodeUtf8(bytes);
    }
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        *out++ = QChar(logtext::FromCp1252(static_cast<unsigned char>(byte)));
    }
    return text;
}

} // namespace tellix
