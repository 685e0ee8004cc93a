#include "platform/qtcore/QtTimers.h"

#include "platform/qtcore/Boundary.h"

#include <QTimer>

#include <algorithm>
#include <limits>

namespace tellix {

namespace {

// Dropping the handle stops the QTimer and lets the event loop delete it: the task itself may
// drop the handle while the timer is still signalling.
class QtTimer final : public Timer {
public:
    QtTimer(std::int64_t delayMs, std::function<void()> task) : timer_(new QTimer)
    {
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_, &QTimer::timeout, timer_,
                         [task = std::move(task)] { AtBoundary("timer", task); });
        timer_->start(static_cast<int>(std::clamp<std::int64_t>(delayMs, 0, std::numeric_limits<int>::max())));
    }
    ~QtTimer() override
    {
        timer_->stop();
        timer_->deleteLater();
    }
    QtTimer(const QtTimer&) = delete;
    QtTimer& operator=(const QtTimer&) = delete;

private:
    QTimer* timer_;
};

} // namespace

QtTimers::QtTimers()
{
    elapsed_.start();
}

std::int64_t QtTimers::NowMs()
{
    return elapsed_.elapsed();
}

std::unique_ptr<Timer> QtTimers::After(std::int64_t delayMs, std::function<void()> task)
{
    return std::make_unique<QtTimer>(delayMs, std::move(task));
}

} // namespace tellix
