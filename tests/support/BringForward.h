#pragma once

#include "platform/qt/WindowLayout.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace tellix::test {

// The user brings a window forward, as a click in the tree or on the bar does. In one at a
// time the windows behind are put away, and the area alone would not bring one back.
inline void BringForward(QMdiArea& area, QMdiSubWindow* window)
{
    if (WindowLayout* const layout = WindowLayout::Of(area); layout != nullptr) {
        layout->Show(window);
    } else {
        area.setActiveSubWindow(window);
    }
}

} // namespace tellix::test
