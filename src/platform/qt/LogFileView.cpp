#include "platform/qt/LogFileView.h"

#include "platform/qt/TextDecoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>

#include <string_view>

namespace tellix {

LogFileView::LogFileView(const QString& path, qint64 offset, QWidget* parent) : QPlainTextEdit(parent), path_(path)
{
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWindowTitle(QFileInfo(path).dir().dirName() + QStringLiteral(" - ") + QFileInfo(path).fileName());
    resize(800, 500);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setPlainText(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    // Each line decoded by itself, as the log decodes it; the offset's line is counted in bytes.
    QStringList lines;
    marked_ = 0;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            end = bytes.size();
        }
        if (start <= offset && offset <= end) {
            marked_ = static_cast<int>(lines.size());
        }
        lines.append(
            DecodeForDisplay(std::string_view(bytes.constData() + start, static_cast<std::size_t>(end - start))));
        start = end + 1;
    }
    setPlainText(lines.join(QLatin1Char('\n')));
    const QTextBlock block = document()->findBlockByNumber(marked_);
    QTextCursor cursor(block);
    setTextCursor(cursor);
    QTextEdit::ExtraSelection mark;
    mark.cursor = cursor;
    mark.format.setBackground(palette().highlight());
    mark.format.setForeground(palette().highlightedText());
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    setExtraSelections({mark});
    centerCursor();
}

} // namespace tellix
