#include "app/Startup.h"

#include "app/GuiHost.h"
#include "app/MainWindow.h"
#include "editors/TuningLF.h"
#include "editors/TuningLT.h"
#include "editors/TuningORTEN.h"
#include "link/Host.h"
#include "remote/ChangeSystem.h"
#include "remote/TuningCom.h"
#include "remote/TuningRC.h"

#include <QApplication>
#include <memory>

namespace talmar {

int RunApplication(QApplication& app) {
    QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    int rc = 0;
    try {
        auto fMain = std::make_unique<TFMain>(std::make_unique<TGuiHost>());
        // The windows after the main one, in their order; only the main window is shown.
        auto* fTuningLF = new TFTuningLF(fMain.get());
        auto* fTuningCom = new TFTuningCom(fMain.get());
        auto* fTuningLT = new TFTuningLT(fMain.get());
        auto* fTuningORTEN = new TFTuningORTEN(fMain.get());
        auto* fTuningRC = new TFTuningRC(fMain.get());
        auto* fChangeSystem = new TFChangeSystem(fMain.get());
        fMain->SetWindows(fTuningLF, fTuningCom, fTuningLT, fTuningORTEN, fTuningRC, fChangeSystem);
        fMain->SetComPanel(2);
        fMain->show();
        rc = app.exec();
    } catch (...) {
        // An error escaping the message loop ends the program without a message.
    }
    return rc;
}

} // namespace talmar
