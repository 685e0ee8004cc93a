#pragma once

#include <QPlainTextEdit>

namespace tellix {

// A log file shown read-only, the line at a byte offset marked and scrolled into the middle.
class LogFileView final : public QPlainTextEdit {
    Q_OBJECT

public:
    LogFileView(const QString& path, qint64 offset, QWidget* parent = nullptr);

    QString Path() const { return path_; }
    // The line of the offset, from 0; -1 when the file could not be read.
    int MarkedLine() const { return marked_; }

private:
    QString path_;
    int marked_ = -1;
};

} // namespace tellix
