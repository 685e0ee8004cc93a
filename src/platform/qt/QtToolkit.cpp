#include "platform/qt/QtToolkit.h"

#include "platform/qt/Boundary.h"
#include "platform/qt/QtChildView.h"

#include <QApplication>
#include <QMdiArea>
#include <QTimer>

namespace tellix {

std::unique_ptr<ChildView> QtToolkit::CreateChildView()
{
    return std::make_unique<QtChildView>(area_);
}

void QtToolkit::Beep()
{
    QApplication::beep();
}

void QtToolkit::Post(std::function<void()> task)
{
    QTimer::singleShot(0, &area_, [task = std::move(task)] { AtBoundary("posted task", task); });
}

} // namespace tellix
