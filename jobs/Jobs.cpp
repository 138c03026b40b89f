#include "jobs/Jobs.h"

#include "base/Host.h"
#include "link/ComPort.h"
#include "link/LogFile.h"
#include "store/Table.h"

#include <utility>

namespace talmar {

namespace {

// The programming object of one job: in the front door's slot when it has one, freed on every
// way out of the job.
class TJobProgrammator {
public:
    explicit TJobProgrammator(TJobFrontDoor& door) : slot_(door.programmator ? *door.programmator : own_) {
        slot_.reset();
        slot_ = std::make_unique<TProgrammator>(door.host);
    }
    ~TJobProgrammator() { slot_.reset(); }
    TJobProgrammator(const TJobProgrammator&) = delete;
    TJobProgrammator& operator=(const TJobProgrammator&) = delete;

    TProgrammator& operator*() const { return *slot_; }
    TProgrammator* operator->() const { return slot_.get(); }

private:
    std::unique_ptr<TProgrammator> own_;
    std::unique_ptr<TProgrammator>& slot_;
};

// The front door's begin and end around the part of a job that talks to the modem.
class TJobScope {
public:
    explicit TJobScope(TJobFrontDoor& door) : door_(door) {}
    ~TJobScope() { End(); }
    TJobScope(const TJobScope&) = delete;
    TJobScope& operator=(const TJobScope&) = delete;

    void Begin() {
        if (door_.begin)
            door_.begin();
        begun_ = true;
    }
    // The end hook runs once: here, or on the way out.
    void End() {
        if (std::exchange(begun_, false) && door_.end)
            door_.end();
    }

private:
    TJobFrontDoor& door_;
    bool begun_ = false;
};

// Binds the new object to the front door's port and to the port of Pref.NumCom.
void Bind(TJobFrontDoor& door, TProgrammator& prog, bool withProgress) {
    if (withProgress && door.progress)
        prog.SetOnReceiveByte(door.progress);
    prog.SetPort(&door.port);
    if (door.numCom)
        prog.SetComNumber(door.numCom());
}

void Log(TJobFrontDoor& door, const std::string& line) {
    // A КП name, a file name or the modem's answer may hold a line break; the log line stays one.
    if (door.appendLog)
        door.appendLog(LogLineText(line));
}

void MarkLogChanged(TJobFrontDoor& door) {
    if (door.logChanged)
        door.logChanged();
}

std::string Field(const TTable& table, const char* name) {
    return table.FieldByName(name).AsString();
}

TJobResult ProgramEeprom(TJobFrontDoor& door, const std::string& fileName, const std::string& startText) {
    TJobProgrammator prog(door);
    Bind(door, *prog, true);
    prog->SetFileNameEEPROM(fileName);
    if (prog->FileNameEEPROM().empty()) {
        door.host.ShowMessage(kMsgNoFile);
        return TJobResult::NoFile;
    }
    MarkLogChanged(door);
    TJobScope scope(door);
    scope.Begin();
    Log(door, LogNow() + startText);
    // No identification here: the run identifies the modem itself and takes the direct path when
    // the modem is silent in Modbus.
    if (prog->ProgramMemory(tpEEPROM)) {
        Log(door, LogNow() + ": OK!");
        return TJobResult::Done;
    }
    door.host.ShowMessage(kMsgSettingsFailed);
    // The time of the failure line is taken after the message has been seen.
    Log(door, LogNow() + ": не удалось прошить настройки");
    return TJobResult::Failed;
}

} // namespace

bool RunIdentify(TJobFrontDoor& door, std::string& text) {
    TJobProgrammator prog(door);
    Bind(door, *prog, false);
    TJobScope scope(door);
    scope.Begin();
    door.port.SetBaudRate(br38400);
    door.port.Open();
    const bool answered = prog->Identify(text);
    door.port.Close();
    // The wait is over before the answer is shown.
    scope.End();
    if (!answered)
        door.host.ShowMessage(kMsgNoModem);
    return answered;
}

TJobResult RunFirmware(TJobFrontDoor& door, const std::string& fileName) {
    TJobProgrammator prog(door);
    Bind(door, *prog, true);
    prog->SetFileNameFLASH(fileName);
    if (prog->FileNameFLASH().empty()) {
        door.host.ShowMessage(kMsgNoFile);
        return TJobResult::NoFile;
    }
    TJobScope scope(door);
    scope.Begin();
    Log(door, LogNow() + ": прошиваю файл \"" + fileName + "\"...");
    MarkLogChanged(door);
    // The modem is identified here and once more inside the run, which chooses the Modbus path
    // when that second identification succeeds.
    std::string ident;
    if (!prog->Identify(ident)) {
        Log(door, kMsgNoModem);
        return TJobResult::NoAnswer;
    }
    Log(door, ident);
    if (prog->ProgramMemory(tpFLASH)) {
        Log(door, LogNow() + ": OK!");
        return TJobResult::Done;
    }
    door.host.ShowMessage(kMsgFlashFailed);
    Log(door, LogNow() + ": не удалось прошить файл в модем");
    return TJobResult::Failed;
}

TJobResult RunSettings(TJobFrontDoor& door, const TTable& table, const std::string& fileName) {
    const std::string startText = SettingsStartText(table);
    return ProgramEeprom(door, fileName, startText);
}

TJobResult RunEepromFile(TJobFrontDoor& door, const std::string& fileName) {
    return ProgramEeprom(door, fileName, EepromFileStartText(fileName));
}

std::string SettingsStartText(const TTable& table) {
    // "р.к." is the working channel, "с.к." the service channel; levels as stored, without the
    // line-resistance correction.
    const std::string levels =
        ",   р.к.= " + Field(table, "AttenTr1") + " дБ" + ",   с.к.= " + Field(table, "AttenTrAUX") + " дБ";
    const std::string& name = table.Name();
    if (name == "TDataLF")
        return ": прошиваю настройки " + Field(table, "NameKP") +
               ", частотная,   номер КП = " + Field(table, "NumKP") + levels;
    if (name == "TDataLT")
        return ": прошиваю настройки " + Field(table, "NameKP") +
               ", временная, номер КП = " + Field(table, "NumKP") + levels;
    return ": прошиваю настройки " + Field(table, "NameKP") + ", ОРТЕН" + levels;
}

std::string EepromFileStartText(const std::string& fileName) {
    return ": прошиваю файл настроек \"" + fileName + "\"...";
}

} // namespace talmar
