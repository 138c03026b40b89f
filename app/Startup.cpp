#include "Startup.h"

#include "Desktop.h"
#include "GuiHost.h"
#include "MainWindow.h"
#include "TalmarVersion.h"
#include "base/Host.h"
#include "dialogs/TuningCom.h"
#include "dialogs/TuningRC.h"
#include "editors/TuningLF.h"
#include "editors/TuningLT.h"
#include "editors/TuningORTEN.h"
#include "editors/core/CopyBoard.h"
#include "remote/ChangeSystem.h"
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

TProgram::TProgram() = default;

TProgram::~TProgram() {
    // An error escaped: the tables are closed without committing, before the windows that show
    // them go.
    if (dmTables && !stopped_)
        dmTables->Deactivate();
    fMain.reset();
}

void TProgram::Start() {
    fMain = std::make_unique<TFMain>(std::make_unique<TGuiHost>());
    // The data module opens the five tables; a table that fails is reported and start-up goes on.
    dmTables = std::make_unique<TDMTables>(fMain->Host());
    // A folder without any table file (a first start) gets one message saying how to make them.
    const bool noTables = ReportNoTables(fMain->Host());
    if (!noTables)
        dmTables->Open();
    fMain->SetDataModule(dmTables.get());
    board = std::make_unique<TCopyBoard>();
    // The windows after it, in their order; only the main window is shown.
    IHost& host = fMain->Host();
    auto* fTuningLF = new TFTuningLF(*dmTables, *board, host, fMain.get());
    // The COM-port window puts the configured port into the status bar when it is created.
    TFMain* w = fMain.get();
    // In a folder without tables there is no port to show (the one message has said why).
    std::function<void(int)> comPanel;
    if (!noTables)
        comPanel = [w](int numCom) { w->SetComPanel(numCom); };
    auto* fTuningCom = new TFTuningCom(*dmTables, host, std::move(comPanel), w);
    auto* fTuningLT = new TFTuningLT(*dmTables, *board, host, fMain.get());
    auto* fTuningORTEN = new TFTuningORTEN(*dmTables, *board, host, fMain.get());
    auto* fTuningRC = new TFTuningRC(*dmTables, host, w);
    auto* fChangeSystem = new TFChangeSystem(*dmTables, w->ComPort1(), host, w);
    fMain->SetWindows(fTuningLF, fTuningCom, fTuningLT, fTuningORTEN, fTuningRC, fChangeSystem);
    fMain->show();
}

void TProgram::Stop() {
    // The data module commits what is pending while the windows (and their error boxes) are
    // still there; then the main window goes and writes the log. The copy is dropped first.
    if (board)
        board->Discard();
    dmTables->Close();
    stopped_ = true;
    fMain.reset();
}

void NameApplication() {
    QApplication::setApplicationName(QString::fromUtf8(kAppName));
    QApplication::setApplicationVersion(QString::fromUtf8(kAppVersion));
}

int RunApplication(QApplication& app) {
    NameApplication();
    LoadQtTranslations(app);
    int rc = 0;
    TProgram program;
    try {
        program.Start();
        rc = app.exec();
        program.Stop();
    } catch (...) {
        // An error escaping the message loop closes the tables and ends the program quietly.
    }
    return rc;
}

} // namespace talmar
