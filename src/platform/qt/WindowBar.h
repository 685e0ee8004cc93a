#pragma once

#include "platform/ChildView.h"

#include <QToolBar>

#include <cstddef>
#include <functional>
#include <unordered_map>
#include <vector>

class QButtonGroup;
class QMdiArea;
class QMdiSubWindow;
class QToolButton;

namespace tellix {

// One button per child window along the document area, in window-number order (windows
// are numbered in the order they came, and a closed one only closes the gap). The active
// window's button is pressed; each button shows its window's activity by colour and weight.
//
// The buttons sit in a row of their own that scrolls when they outgrow the bar, so that a
// new window's button is placed after the last one and a closed one's gap moves only the
// buttons after it: with thousands of windows the bar never lays out all of them.
class WindowBar final : public QToolBar {
public:
    using Activate = std::function<void(QMdiSubWindow*)>;

    WindowBar(QMdiArea& area, Activate activate, QWidget* parent);

    void Add(QMdiSubWindow* child);
    // Touches that window's button only.
    void ShowActivity(QMdiSubWindow* child, Activity level);
    Activity Level(QMdiSubWindow* child) const;
    QToolButton* Button(QMdiSubWindow* child) const;
    int Count() const { return static_cast<int>(order_.size()); }

    // For the keys: the window at a position from 1, the one `step` places from the active
    // window (wrapping), the first with the highest activity after the active one (wrapping).
    QMdiSubWindow* Numbered(int number) const;
    QMdiSubWindow* Step(int step) const;
    QMdiSubWindow* Hottest() const;

    // What a button says: the channel or partner, "status" for the status window.
    static QString Label(const QString& caption);
    // Readable on the palette's button colour, light or dark.
    static QColor LevelColour(Activity level, const QPalette& palette);

protected:
    void changeEvent(QEvent* event) override;

private:
    class Strip;
    struct Entry {
        QMdiSubWindow* child = nullptr;
        QToolButton* button = nullptr;
        std::size_t position = 0; // in order_
        Activity level = Activity::None;
    };
    void Remove(QMdiSubWindow* child);
    void Press(QMdiSubWindow* child);
    void Paint(const Entry& entry) const;
    void Relabel(Entry& entry, const QString& caption);
    // Buttons from `position` on move on the next turn, all of them once however many
    // windows came or went before it.
    void PlaceFrom(std::size_t position);
    void Place();
    void ShowArrows();
    // Only the buttons in view are shown: painting the row walks its shown buttons.
    void ShowInView();
    void Scroll(int direction);
    int Position(QMdiSubWindow* child) const;

    static constexpr std::size_t kNoneUnplaced = static_cast<std::size_t>(-1); // for unplacedFrom_

    QMdiArea& area_;
    Activate activate_;
    Strip* strip_ = nullptr;
    QWidget* row_ = nullptr; // the buttons' parent, as wide as they are
    // Not exclusive: it keeps a button that is checked or unchecked from asking each of its
    // hundreds of siblings whether one of them is checked.
    QButtonGroup* group_ = nullptr;
    QAction* back_ = nullptr;
    QAction* forth_ = nullptr;
    std::unordered_map<QMdiSubWindow*, Entry> entries_; // nodes stay put: order_ points into them
    std::vector<Entry*> order_;
    std::vector<QToolButton*> shown_;
    std::size_t unplacedFrom_ = kNoneUnplaced;
    int height_ = 0;
    QMdiSubWindow* pressed_ = nullptr;
    bool reveal_ = false; // the pressed button comes into view once placed
};

} // namespace tellix
