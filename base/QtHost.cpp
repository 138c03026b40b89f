#include "base/QtHost.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace talmar {

TQtHost::TQtHost(QObject* parent) : QObject(parent) {
    timer2_.setObjectName("Timer2");
    timer2_.setInterval(kReplyTimeoutMs);
    timer2_.setTimerType(Qt::PreciseTimer);
    connect(&timer2_, &QTimer::timeout, this, &TQtHost::Timer2Timer);
}

void TQtHost::ProcessMessages(bool wait) {
    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
    if (wait)
        flags |= QEventLoop::WaitForMoreEvents;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(flags);
}

void TQtHost::StartReplyTimer() {
    replyTimedOut_ = false;
    timer2_.start();
}

void TQtHost::StopReplyTimer() {
    timer2_.stop();
}

void TQtHost::Timer2Timer() {
    timer2_.stop();
    replyTimedOut_ = true;
}

// The pause that lets the window work meanwhile. It waits on a Qt timer, so it lives here with the
// other Qt waits and the framing stays free of Qt.
void Pause(IHost& host, int ms) {
    if (ms <= 0)
        return;
    bool elapsed = false;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&elapsed] { elapsed = true; });
    timer.start(ms);
    // Each round sleeps until something arrives: the timer, a paint request, a click.
    while (!elapsed)
        host.ProcessMessages(true);
}

} // namespace talmar
