#include "platform/qt/EventPump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include "platform/EventPump.h"

namespace platform {
namespace {

// The waveaudio device wakes the pump when a clip ends, so the bound only matters for what nothing
// wakes it for (a stalled device reaching its grace deadline). Every wake costs a context switch
// and a pass through the dispatcher; at 10 ms that alone was ~1 % of a CPU while a clip played.
constexpr int kMaxWaitMs = 100;

// Bounds the wait when nothing is pending; kept between calls since a clip polls on every wake.
QTimer& WaitBound() {
    static QPointer<QTimer> timer;
    if (timer.isNull()) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(kMaxWaitMs);
    }
    return *timer;
}

}  // namespace

void DoEvents() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr || QCoreApplication::instance() == nullptr) {
        return;
    }
    if (dispatcher->processEvents(QEventLoop::AllEvents)) {
        return;
    }
    // Nothing was pending: sleep until an event, a waker, or the bound, instead of spinning.
    QTimer& bound = WaitBound();
    bound.start();
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    bound.stop();
}

}  // namespace platform

namespace platform::qt {

std::function<void()> MakeWaker() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return [dispatcher] { dispatcher->wakeUp(); };  // wakeUp is thread-safe
}

}  // namespace platform::qt
