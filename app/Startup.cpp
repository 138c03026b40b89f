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
#include "store/DMTables.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace talmar {

bool LoadQtTranslations(QApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

int RunApplication(QApplication& app) {
    QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    LoadQtTranslations(app);
    int rc = 0;
    std::unique_ptr<TFMain> fMain;
    std::unique_ptr<TDMTables> dmTables;
    try {
        fMain = std::make_unique<TFMain>(std::make_unique<TGuiHost>());
        // The data module opens the five tables; a table that fails is reported and start-up
        // goes on.
        dmTables = std::make_unique<TDMTables>(fMain->Host(), fMain.get());
        dmTables->Open();
        fMain->SetDataModule(dmTables.get());
        // The windows after it, in their order; only the main window is shown.
        auto* fTuningLF = new TFTuningLF(fMain.get());
        // The COM-port window puts the configured port into the status bar when it is created.
        TFMain* w = fMain.get();
        auto* fTuningCom = new TFTuningCom(
            *dmTables, w->Host(), [w](int numCom) { w->SetComPanel(numCom); }, w);
        auto* fTuningLT = new TFTuningLT(fMain.get());
        auto* fTuningORTEN = new TFTuningORTEN(fMain.get());
        auto* fTuningRC = new TFTuningRC(*dmTables, w->Host(), w);
        auto* fChangeSystem = new TFChangeSystem(*dmTables, w->ComPort1(), w->Host(), w);
        fMain->SetWindows(fTuningLF, fTuningCom, fTuningLT, fTuningORTEN, fTuningRC, fChangeSystem);
        fMain->show();
        rc = app.exec();
        fMain.reset(); // the log is written as the window goes
        dmTables->Close();
    } catch (...) {
        // An error escaping the message loop closes the tables and ends the program quietly.
        if (dmTables)
            dmTables->Deactivate();
    }
    return rc;
}

} // namespace talmar
