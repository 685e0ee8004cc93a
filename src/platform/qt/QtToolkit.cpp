#include "platform/qt/QtToolkit.h"

#include "platform/qtcore/Boundary.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtConnectDialogView.h"
#include "platform/qt/QtMainWindowView.h"
#include "util/CoreError.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QTimer>

namespace tellix {

std::unique_ptr<MainWindowView> QtToolkit::CreateMainWindowView()
{
    auto view = std::make_unique<QtMainWindowView>();
    mainWindow_ = view.get();
    area_ = view->Area();
    return view;
}

QMdiArea& QtToolkit::Area() const
{
    if (!area_) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    return *area_;
}

std::unique_ptr<ChildView> QtToolkit::CreateChildView()
{
    QMdiArea& area = Area();
    auto view = std::make_unique<QtChildView>(area);
    QtMainWindowView::ListWindow(area, view->SubWindow());
    return view;
}

std::unique_ptr<ConnectDialogView> QtToolkit::CreateConnectDialogView()
{
    return std::make_unique<QtConnectDialogView>(Area().window());
}

void QtToolkit::Beep()
{
    QApplication::beep();
}

void QtToolkit::Post(std::function<void()> task)
{
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [task = std::move(task)] { AtBoundary("posted task", task); });
}

} // namespace tellix
