// The main window's commands that drive the modem: programming a firmware file, polling the modem,
// and programming a settings image made from a КП record.
#include "app/MainWindow.h"
#include "link/LogFile.h"
#include "store/DMTables.h"

#include <QApplication>
#include <QProgressBar>

namespace talmar {

namespace {

constexpr const char* kMsgNoFile = "Введите имя файла";
constexpr const char* kMsgNoModem = "Модем не отвечает или не поддерживает Modbus";
constexpr const char* kMsgFlashFailed = "Не удалось прошить файл в модем";
constexpr const char* kMsgSettingsFailed = "Не удалось прошить настройки в модем";

std::string Field(const TTable& table, const char* name) {
    return table.FieldByName(name).AsString();
}

} // namespace

int TFMain::NumCom() {
    if (!dmTables_)
        throw std::runtime_error("Таблица настроек Pref.db не открыта");
    return dmTables_->NumCom();
}

TProgrammator& TFMain::NewProgrammator(bool withProgress) {
    Programmator.reset();
    Programmator = std::make_unique<TProgrammator>(Host());
    if (withProgress)
        Programmator->SetOnReceiveByte([this](TProgrammator& sender, TTypePROM typeProm, int data) {
            ProgrammatorReceiveByte(sender, typeProm, data);
        });
    Programmator->SetPort(&ComPort1());
    Programmator->SetComNumber(NumCom());
    return *Programmator;
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
    bool locked = false;
    try {
        TProgrammator& prog = NewProgrammator(true);
        prog.SetFileNameFLASH(FirmwareFileName);
        if (prog.FileNameFLASH().empty()) {
            Host().ShowMessage(kMsgNoFile);
        } else {
            LockMainWindow();
            locked = true;
            AppendLog(LogNow() + ": прошиваю файл \"" + FirmwareFileName + "\"...");
            LogChanged = true;
            std::string ident;
            if (!prog.Identify(ident)) {
                AppendLog(kMsgNoModem);
            } else {
                AppendLog(ident);
                if (prog.ProgramMemory(tpFLASH)) {
                    AppendLog(LogNow() + ": OK!");
                } else {
                    Host().ShowMessage(kMsgFlashFailed);
                    AppendLog(LogNow() + ": не удалось прошить файл в модем");
                }
            }
        }
    } catch (const std::exception& e) {
        if (locked)
            UnlockMainWindow();
        EndCommand();
        ShowError(e.what());
        return;
    }
    if (locked)
        UnlockMainWindow();
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
        try {
            TProgrammator& prog = NewProgrammator(false);
            ComPort1().SetBaudRate(br38400);
            ComPort1().Open();
            std::string ident;
            if (prog.Identify(ident))
                Host().ShowMessage(ident);
            else
                Host().ShowMessage(kMsgNoModem);
            ComPort1().Close();
        } catch (...) {
            Programmator.reset();
            throw;
        }
        Programmator.reset();
    });
}

std::string TFMain::SettingsStartText(const TTable& table) {
    // "р.к." is the working channel, "с.к." the service channel; levels as stored, without the
    // line-resistance correction.
    const std::string levels =
        ",   р.к.= " + Field(table, "AttenTr1") + " дБ" + ",   с.к.= " + Field(table, "AttenTrAUX") + " дБ";
    const std::string name = table.Name();
    if (name == "TDataLF")
        return ": прошиваю настройки " + Field(table, "NameKP") +
               ", частотная,   номер КП = " + Field(table, "NumKP") + levels;
    if (name == "TDataLT")
        return ": прошиваю настройки " + Field(table, "NameKP") +
               ", временная, номер КП = " + Field(table, "NumKP") + levels;
    return ": прошиваю настройки " + Field(table, "NameKP") + ", ОРТЕН" + levels;
}

void TFMain::ProgSettings(TTable& table) {
    // The editor in front stays live while the run waits for the modem: a second click on its
    // "Прошить модем" must not start a second run on the same port.
    if (settingsRunning_ || Locked())
        return;
    settingsRunning_ = true;
    bool waitCursor = false;
    try {
        const std::string startText = SettingsStartText(table);
        TProgrammator& prog = NewProgrammator(true);
        prog.SetFileNameEEPROM(SettingsFileName);
        if (prog.FileNameEEPROM().empty()) {
            Host().ShowMessage(kMsgNoFile);
        } else {
            LogChanged = true;
            setCursor(Qt::WaitCursor);
            waitCursor = true;
            AppendLog(LogNow() + startText);
            if (prog.ProgramMemory(tpEEPROM)) {
                AppendLog(LogNow() + ": OK!");
            } else {
                Host().ShowMessage(kMsgSettingsFailed);
                AppendLog(LogNow() + ": не удалось прошить настройки");
            }
        }
    } catch (const std::exception& e) {
        if (waitCursor)
            unsetCursor();
        EndCommand();
        settingsRunning_ = false;
        ShowError(e.what());
        return;
    }
    if (waitCursor)
        unsetCursor();
    EndCommand();
    settingsRunning_ = false;
}

} // namespace talmar
