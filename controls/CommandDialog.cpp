#include "controls/CommandDialog.h"

#include <QCloseEvent>

namespace talmar {

void TCommandDialog::reject() {
    if (CommandRunning()) {
        closePending_ = true;
        return;
    }
    QDialog::reject();
}

void TCommandDialog::closeEvent(QCloseEvent* e) {
    if (CommandRunning()) {
        closePending_ = true;
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void TCommandDialog::CommandEnded() {
    if (closePending_) {
        closePending_ = false;
        QDialog::reject();
    }
}

} // namespace talmar
