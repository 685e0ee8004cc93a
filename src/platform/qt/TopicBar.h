#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;
class QPalette;

namespace tellix {

// The line above a channel window's log: the topic with its formatting drawn and its links
// clickable, who set it and when. A double-click edits it: Enter hands the new topic on,
// Escape (or leaving the box) puts the topic back.
class TopicBar final : public QWidget {
public:
    using Edited = std::function<void(const std::string& topic)>;

    explicit TopicBar(QWidget* parent);
    // Nothing is handed on any more: the window behind it is gone.
    void SetEdited(Edited edited) { edited_ = std::move(edited); }

    void SetTopic(std::string_view topic, std::string_view setter, std::int64_t time);
    void StartEditing();
    bool Editing() const;

    // A topic drawn as rich text: at most `shownMost` characters (then an ellipsis), formatting
    // codes as styles, control characters as their pictures, links as anchors.
    static QString TopicHtml(std::string_view topic, const QPalette& palette, int shownMost);
    // "set by nick, date and time" with what is known; empty when nothing is.
    static QString DetailsText(std::string_view setter, std::int64_t time);
    static constexpr int kShownMost = 1000;

    QLabel* TopicLabel() const { return text_; }
    QLabel* DetailsLabel() const { return details_; }
    QLineEdit* Editor() const { return edit_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Redraw();
    void Fit();
    void StopEditing();
    void OpenLink(const QString& link);

    QLabel* text_ = nullptr;
    QLabel* details_ = nullptr;
    QLineEdit* edit_ = nullptr;
    std::string topic_;
    QString detailsText_;
    int topicWidth_ = 0;
    Edited edited_;
};

} // namespace tellix
