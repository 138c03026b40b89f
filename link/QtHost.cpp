#include "link/QtHost.h"

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

} // namespace talmar
