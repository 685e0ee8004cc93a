#pragma once

#include "platform/ChildView.h"

#include <QHash>
#include <QToolBar>

#include <functional>

class QMdiArea;
class QMdiSubWindow;
class QToolButton;

namespace tellix {

// One button per child window along the document area, in window-number order (windows
// are numbered in the order they came, and a closed one only closes the gap). The active
// window's button is pressed; each button shows its window's activity by colour and weight.
class WindowBar final : public QToolBar {
public:
    using Activate = std::function<void(QMdiSubWindow*)>;

    WindowBar(QMdiArea& area, Activate activate, QWidget* parent);

    void Add(QMdiSubWindow* child);
    // Touches that window's button only.
    void ShowActivity(QMdiSubWindow* child, Activity level);
    Activity Level(QMdiSubWindow* child) const;
    QToolButton* Button(QMdiSubWindow* child) const;

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
    struct Entry {
        QToolButton* button = nullptr;
        QAction* action = nullptr; // the button's place in the bar
        Activity level = Activity::None;
    };
    void Remove(QMdiSubWindow* child);
    void Press(QMdiSubWindow* child);
    void Paint(const Entry& entry) const;
    int Position(QMdiSubWindow* child, const QList<QAction*>& order) const;

    QMdiArea& area_;
    Activate activate_;
    QHash<QMdiSubWindow*, Entry> entries_;
    QHash<QAction*, QMdiSubWindow*> windows_;
    QMdiSubWindow* pressed_ = nullptr;
};

} // namespace tellix
