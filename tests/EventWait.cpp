#include "EventWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>

bool PumpUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    return done();
}
