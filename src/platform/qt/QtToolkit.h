#pragma once

#include "platform/Toolkit.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtSettingsStore.h"

class QMdiArea;

namespace tellix {

// The window toolkit on Qt Widgets: child windows live in the main window's document area.
class QtToolkit final : public Toolkit {
public:
    explicit QtToolkit(QMdiArea& area) : area_(area) {}

    std::unique_ptr<ChildView> CreateChildView() override;
    std::unique_ptr<ConnectDialogView> CreateConnectDialogView() override;
    Clock& SystemClock() override { return clock_; }
    SettingsStore& Settings() override { return settings_; }
    void Beep() override;
    void Post(std::function<void()> task) override;

private:
    QMdiArea& area_;
    QtClock clock_;
    QtSettingsStore settings_;
};

} // namespace tellix
