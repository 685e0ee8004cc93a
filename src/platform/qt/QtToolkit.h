#pragma once

#include "platform/Toolkit.h"
#include "platform/qt/QtClock.h"

class QMdiArea;

namespace tellix {

// The window toolkit on Qt Widgets: child windows live in the main window's document area.
class QtToolkit final : public Toolkit {
public:
    explicit QtToolkit(QMdiArea& area) : area_(area) {}

    std::unique_ptr<ChildView> CreateChildView() override;
    Clock& SystemClock() override { return clock_; }
    void Beep() override;
    void Post(std::function<void()> task) override;

private:
    QMdiArea& area_;
    QtClock clock_;
};

} // namespace tellix
