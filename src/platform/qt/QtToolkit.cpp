#include "platform/qt/QtToolkit.h"

#include "platform/qt/Boundary.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtConnectDialogView.h"

#include <QApplication>
#include <QMdiArea>
#include <QTimer>

namespace tellix {

std::unique_ptr<ChildView> QtToolkit::CreateChildView()
{
    return std::make_unique<QtChildView>(area_);
}

std::unique_ptr<ConnectDialogView> QtToolkit::CreateConnectDialogView()
{
    return std::make_unique<QtConnectDialogView>(area_.window());
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
