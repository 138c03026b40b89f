// The main window's commands that drive the modem: programming a firmware file, polling the modem,
// and programming a settings image made from a КП record. The jobs themselves are shared with
// talmar-cli; the window adds its lock, its cursor, its log pane and its progress bar.
#include "MainWindow.h"
#include "base/Errors.h"
#include "jobs/Jobs.h"
#include "jobs/RecordJob.h"
#include "store/DMTables.h"

#include <QApplication>
#include <QProgressBar>

namespace talmar {

namespace {

// The window as the front door of a job: its host, its port, Pref.NumCom, its log pane and its
// Programmator slot.
TJobFrontDoor WindowDoor(TFMain& w, std::function<int()> numCom, bool withProgress) {
    TJobFrontDoor door(w.Host(), w.ComPort1());
    door.numCom = std::move(numCom);
    door.appendLog = [&w](const std::string& line) { w.AppendLog(line); };
    door.logChanged = [&w] { w.LogChanged = true; };
    if (withProgress)
        door.progress = [&w](TProgrammator& sender, TTypePROM typeProm, int data) {
            w.ProgrammatorReceiveByte(sender, typeProm, data);
        };
    door.programmator = &w.Programmator;
    return door;
}

} // namespace

int TFMain::NumCom() {
    if (!dmTables_)
        throw ETableError(ETableError::TFault::Closed, "Таблица настроек Pref.db не открыта");
    return dmTables_->NumCom();
}

void TFMain::EndCommand() {
    PrBar->hide();
    Programmator.reset();
    // The record of what went into which modem is on disk as soon as the command ends.
    SaveLogIfChanged();
}

void TFMain::ProgFlashExecute() {
    if (Locked())
        return;
    TJobFrontDoor door = WindowDoor(
        *this, [this] { return NumCom(); }, true);
    door.begin = [this] { LockMainWindow(); };
    door.end = [this] { UnlockMainWindow(); };
    try {
        RunFirmware(door, FirmwareFileName);
    } catch (const std::exception& e) {
        // The window is unlocked before the error is shown.
        EndCommand();
        ShowError(e.what());
        return;
    }
    EndCommand();
}

void TFMain::ProgrammatorReceiveByte(TProgrammator& sender, TTypePROM typeProm, int data) {
    if (PrBar->isHidden()) {
        PrBar->setMinimum(0);
        PrBar->setMaximum(typeProm == tpFLASH ? 2 * sender.FLASHCount() : sender.EEPROMCount());
        PrBar->setValue(0);
        ProgressTotal = 0;
        PrBar->show();
    }
    ProgressTotal += data;
    // A position beyond the maximum shows as a full bar.
    PrBar->setValue(std::min(ProgressTotal, PrBar->maximum()));
    Host().ProcessMessages(false);
}

void TFMain::TBGetInfoClick() {
    Guarded([this] {
        TJobFrontDoor door = WindowDoor(
            *this, [this] { return NumCom(); }, false);
        // The window is not locked, but the hourglass shows while the modem is asked, and what the
        // user types or clicks meanwhile is dropped.
        door.begin = [this] {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            inputGate_.Close();
        };
        door.end = [this] {
            inputGate_.Open();
            QApplication::restoreOverrideCursor();
        };
        std::string ident;
        if (RunIdentify(door, ident))
            Host().ShowMessage(ident);
    });
}

std::string TFMain::SettingsStartText(const TTable& table) {
    return talmar::SettingsStartText(table);
}

std::optional<TJobResult> TFMain::ProgSettings(TTable& table, const std::string& fileName) {
    SettingsFileName = fileName;
    // The editor in front stays live while the run waits for the modem: a second click on its
    // "Прошить модем" must not start a second run on the same port.
    if (settingsRunning_ || Locked())
        return std::nullopt;
    settingsRunning_ = true;
    TJobFrontDoor door = WindowDoor(
        *this, [this] { return NumCom(); }, true);
    // The main window's own cursor only: over the editor in front the pointer stays the arrow.
    // Clicks on the editor while the run waits (a second "Прошить модем" above all) are dropped.
    door.begin = [this] {
        setCursor(Qt::WaitCursor);
        inputGate_.Close();
    };
    door.end = [this] {
        inputGate_.Open();
        unsetCursor();
    };
    std::optional<TJobResult> result;
    try {
        result = RunSettings(door, table, SettingsFileName);
    } catch (const std::exception& e) {
        EndCommand();
        settingsRunning_ = false;
        ShowError(e.what());
        return std::nullopt;
    }
    EndCommand();
    settingsRunning_ = false;
    return result;
}

TSettingsRun TFMain::SettingsRun() {
    return [this](TTable& table, const std::string& fileName) { return ProgSettings(table, fileName); };
}

} // namespace talmar
