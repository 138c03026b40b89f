#pragma once
// Keeps the user's key presses and clicks away from the windows a command runs behind. While the
// command waits for the modem the window keeps painting, but what the user types or clicks
// meanwhile is not for later: when the gate opens again, the input still queued for those windows
// is dropped, so a second F4 pressed during a long wait never starts a second run afterwards.
//
// Windows opened while the gate is closed (the command's own message boxes) get their input as
// usual.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace talmar {

class TInputGate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TInputGate() override;

    // From now on the windows open at this moment get no user input. Closes nest.
    void Close();
    // Drops the input still pending for those windows, then lets input through again (at the
    // last of nested closes).
    void Open();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Whether the event is user input (keys, mouse buttons, wheel, shortcuts, touch).
    static bool IsUserInput(const QEvent* e);
    bool Gated(QObject* target) const;

    int depth_ = 0;
    std::vector<QPointer<QWidget>> windows_;
};

} // namespace talmar
