#include "platform/qt/TopicBar.h"

#include "platform/qt/LogText.h"
#include "platform/qt/TextDecoding.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QResizeEvent>
#include <QUrl>

#include <algorithm>
#include <utility>
#include <vector>

namespace tellix {

namespace {

// Text from the network for a plain label: control characters as their pictures.
QString Pictured(std::string_view bytes)
{
    QString text = DecodeForDisplay(bytes);
    for (QChar& c : text) {
        c = QChar(logtext::Shown(c.unicode()));
    }
    return text;
}

// A topic as the log shows a line: formatting codes read into styles and left out of the text,
// control characters as their pictures.
logtext::ShownLine ShapedTopic(std::string_view topic)
{
    const QString held = DecodeForDisplay(topic);
    const QByteArray utf8 = held.toUtf8();
    std::vector<logtext::FormatMark> marks;
    logtext::ParseFormatting(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), marks);
    logtext::ShownLine shown;
    logtext::Shape(held, marks, shown);
    return shown;
}

QString Css(const logtext::Style& style, const QPalette& palette)
{
    const auto colour = [&](std::uint8_t number, QPalette::ColorRole instead) {
        if (number < logtext::Style::kDefaultColour) {
            return QColor::fromRgb(static_cast<QRgb>(logtext::PaletteRgb(number))).name();
        }
        // Reversed default colours are the palette's, swapped.
        return style.reverse ? palette.color(instead).name() : QString();
    };
    const QString foreground = colour(style.reverse ? style.background : style.foreground,
                                      style.reverse ? QPalette::Base : QPalette::Text);
    const QString background = colour(style.reverse ? style.foreground : style.background,
                                      style.reverse ? QPalette::Text : QPalette::Base);
    QString css;
    if (!foreground.isEmpty()) {
        css += QStringLiteral("color:") + foreground + QLatin1Char(';');
    }
    if (!background.isEmpty()) {
        css += QStringLiteral("background-color:") + background + QLatin1Char(';');
    }
    if (style.bold) {
        css += QStringLiteral("font-weight:bold;");
    }
    if (style.italic) {
        css += QStringLiteral("font-style:italic;");
    }
    if (style.underline) {
        css += QStringLiteral("text-decoration:underline;");
    }
    return css;
}

// Where a shown topic is cut: after `shownMost` units, never inside a character.
int CutAt(const QString& text, int shownMost)
{
    int end = static_cast<int>(std::min<qsizetype>(text.size(), shownMost));
    if (end > 0 && end < text.size() && text[end - 1].isHighSurrogate()) {
        --end;
    }
    return end;
}

// A shaped topic as rich text, cut after `shownMost` units.
QString HtmlOf(const logtext::ShownLine& shown, const QPalette& palette, int shownMost)
{
    const QString& text = shown.text;
    const int end = CutAt(text, shownMost);
    const std::vector<logtext::TextRange> links = logtext::FindLinks(QStringView(text).left(end));
    const std::vector<logtext::StyleSpan>& spans = shown.spans;

    QString html = QStringLiteral("<span style=\"white-space:pre\">");
    std::size_t span = 0;
    std::size_t link = 0;
    int position = 0;
    while (position < end) {
        while (span < spans.size() && spans[span].start + spans[span].length <= position) {
            ++span;
        }
        while (link < links.size() && links[link].start + links[link].length <= position) {
            ++link;
        }
        const bool inSpan = span < spans.size() && spans[span].start <= position;
        const bool inLink = link < links.size() && links[link].start <= position;
        int next = end;
        if (span < spans.size()) {
            next = std::min(next, inSpan ? spans[span].start + spans[span].length : spans[span].start);
        }
        if (link < links.size()) {
            next = std::min(next, inLink ? links[link].start + links[link].length : links[link].start);
        }
        if (inLink && links[link].start == position) {
            html += QStringLiteral("<a href=\"") +
                    text.mid(links[link].start, links[link].length).toHtmlEscaped() + QStringLiteral("\">");
        }
        const QString piece = text.mid(position, next - position).toHtmlEscaped();
        const QString css = inSpan ? Css(spans[span].style, palette) : QString();
        if (css.isEmpty()) {
            html += piece;
        } else {
            html +=
                QStringLiteral("<span style=\"") + css + QStringLiteral("\">") + piece + QStringLiteral("</span>");
        }
        if (inLink && (links[link].start + links[link].length == next || next == end)) {
            html += QStringLiteral("</a>");
        }
        position = next;
    }
    if (end < text.size()) {
        html += QChar(0x2026); // …
    }
    html += QStringLiteral("</span>");
    return html;
}

} // namespace

TopicBar::TopicBar(QWidget* parent) : QWidget(parent)
{
    auto* const layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 1, 3, 1);
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::RichText);
    text_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    text_->setOpenExternalLinks(false);
    text_->setWordWrap(false);
    // A long topic is cut at the window's edge; it never widens the window.
    text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    text_->installEventFilter(this);
    QObject::connect(text_, &QLabel::linkActivated, this, [this](const QString& link) { OpenLink(link); });
    details_ = new QLabel(this);
    details_->setTextFormat(Qt::PlainText);
    details_->hide();
    edit_ = new QLineEdit(this);
    edit_->hide();
    edit_->installEventFilter(this);
    QObject::connect(edit_, &QLineEdit::returnPressed, this, [this] {
        const std::string topic = edit_->text().toStdString();
        StopEditing();
        if (edited_) {
            edited_(topic);
        }
    });
    layout->addWidget(text_, 1);
    layout->addWidget(edit_, 1);
    layout->addWidget(details_);
}

void TopicBar::SetTopic(std::string_view topic, std::string_view setter, std::int64_t time)
{
    topic_ = std::string(topic);
    detailsText_ = DetailsText(setter, time);
    details_->setText(detailsText_);
    Redraw();
}

void TopicBar::Redraw()
{
    const logtext::ShownLine shown = ShapedTopic(topic_);
    text_->setText(HtmlOf(shown, palette(), kShownMost));
    topicWidth_ = text_->sizeHint().width();
    // The whole topic, and who set it, are a hover away when the bar is too narrow for them.
    // Escaped: a tooltip that looks like markup is read as markup.
    QString tip;
    if (!topic_.empty()) {
        const int end = CutAt(shown.text, kShownMost);
        QString plain = shown.text.left(end);
        if (end < shown.text.size()) {
            plain += QChar(0x2026);
        }
        tip += QStringLiteral("<p>") + plain.toHtmlEscaped() + QStringLiteral("</p>");
    }
    if (!detailsText_.isEmpty()) {
        tip += QStringLiteral("<p>") + detailsText_.toHtmlEscaped() + QStringLiteral("</p>");
    }
    text_->setToolTip(tip + QStringLiteral("<p><i>") + tr("Double-click to edit the topic").toHtmlEscaped() +
                      QStringLiteral("</i></p>"));
    Fit();
}

// Who set the topic is shown beside it only while the topic fits whole: a topic cut short to
// make room for its setter is the worse loss.
void TopicBar::Fit()
{
    const QMargins margins = layout()->contentsMargins();
    const int room = width() - margins.left() - margins.right();
    const bool both = topicWidth_ + layout()->spacing() + details_->sizeHint().width() <= room;
    details_->setVisible(!detailsText_.isEmpty() && both);
}

void TopicBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Fit();
}

void TopicBar::StartEditing()
{
    edit_->setText(DecodeForDisplay(topic_));
    text_->hide();
    edit_->show();
    edit_->setFocus(Qt::OtherFocusReason);
    edit_->selectAll();
}

bool TopicBar::Editing() const
{
    return edit_->isVisibleTo(this);
}

void TopicBar::StopEditing()
{
    if (!Editing()) {
        return;
    }
    edit_->hide();
    edit_->clear();
    text_->show();
}

void TopicBar::OpenLink(const QString& link)
{
    // irc:// and ircs:// go to this client's own handler, never to a second process.
    QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
}

bool TopicBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text_ && event->type() == QEvent::MouseButtonDblClick) {
        StartEditing();
        return true;
    }
    if (watched == edit_) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            StopEditing();
            return true;
        }
        if (event->type() == QEvent::FocusOut) {
            StopEditing();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TopicBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        Redraw();
    }
}

QString TopicBar::DetailsText(std::string_view setter, std::int64_t time)
{
    QString text;
    if (!setter.empty()) {
        text = tr("set by %1").arg(Pictured(setter.substr(0, 100)));
    }
    if (time > 0) {
        const QString when =
            QLocale::system().toString(QDateTime::fromMSecsSinceEpoch(time).toLocalTime(), QLocale::ShortFormat);
        text = text.isEmpty() ? tr("set %1").arg(when) : text + QStringLiteral(", ") + when;
    }
    return text;
}

QString TopicBar::TopicHtml(std::string_view topic, const QPalette& palette, int shownMost)
{
    return HtmlOf(ShapedTopic(topic), palette, shownMost);
}

} // namespace tellix
