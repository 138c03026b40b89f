#include "GuiHost.h"

#include <QApplication>
#include <QMessageBox>

namespace talmar {

TMsgResult TGuiHost::ShowMessage(const std::string& text, const std::string& caption, TMsgButtons buttons,
                                 TMsgIcon icon) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(caption.empty() ? std::string(kAppTitle) : caption));
    box.setText(QString::fromStdString(text));
    box.setIcon(icon == TMsgIcon::Error         ? QMessageBox::Critical
                : icon == TMsgIcon::Information ? QMessageBox::Information
                                                : QMessageBox::NoIcon);
    if (buttons == TMsgButtons::OkCancel)
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    else
        box.setStandardButtons(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? TMsgResult::Ok : TMsgResult::Cancel;
}

} // namespace talmar
