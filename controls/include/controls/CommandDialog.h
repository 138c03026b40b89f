#pragma once
// A window that runs a command over the line while it stays open and working. Escape or the close
// box while the command runs does not take the window away under it: the window goes when the
// command has ended.

#include <QDialog>

class QCloseEvent;

namespace talmar {

class TCommandDialog : public QDialog {
    Q_OBJECT

public:
    using QDialog::QDialog;

public slots:
    void reject() override;

protected:
    // Whether the window's command runs now.
    virtual bool CommandRunning() const = 0;
    // To be called when the command has ended: closes the window if a close was asked meanwhile.
    void CommandEnded();
    void closeEvent(QCloseEvent* e) override;

private:
    bool closePending_ = false;
};

} // namespace talmar
