#pragma once
// IHost over Qt Core: the reply timer is a QTimer and the message processing is the running
// thread's Qt event loop. Message boxes are left to the subclass (window, console, test).

#include "base/Host.h"

#include <QObject>
#include <QTimer>

namespace talmar {

class TQtHost : public QObject, public IHost {
    Q_OBJECT
public:
    static constexpr int kReplyTimeoutMs = 2000;

    explicit TQtHost(QObject* parent = nullptr);

    void ProcessMessages(bool wait) override;
    void StartReplyTimer() override;
    void StopReplyTimer() override;
    bool ReplyTimedOut() const override { return replyTimedOut_; }
    void ClearReplyTimedOut() override { replyTimedOut_ = false; }

    QTimer& Timer2() { return timer2_; }

private:
    void Timer2Timer();

    QTimer timer2_;
    bool replyTimedOut_ = false;
};

} // namespace talmar
