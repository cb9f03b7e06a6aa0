#include "eventloopclock.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void EventLoopClock::Sleep(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

std::int64_t EventLoopClock::NowMs() const
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}
