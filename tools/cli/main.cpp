// talmar-cli: the main window's modem jobs without the window, one modem per call, for batch work
// and scripts. It works in the current folder like the window (tables, Pref.db, Log.txt,
// temp.eep), takes the same single-instance lock and writes the same log lines.

#include "Console.h"
#include "Options.h"
#include "PortsCommand.h"
#include "SessionLog.h"
#include "SwitchCommand.h"
#include "VerifyCommand.h"
#include "base/Errors.h"
#include "base/ImageFile.h"
#include "base/InstanceLock.h"
#include "editors/core/EditorProfile.h"
#include "jobs/Jobs.h"
#include "jobs/RecordJob.h"
#include "link/ComPort.h"
#include "link/LogFile.h"
#include "link/PortMap.h"
#include "store/DMTables.h"

#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace talmar::cli {

namespace {

int JobStatus(TJobResult r) {
    switch (r) {
    case TJobResult::Done:
        return kExitDone;
    case TJobResult::NoFile:
        return kExitUsage;
    case TJobResult::NoAnswer:
    case TJobResult::Failed:
        break;
    }
    return kExitRefused;
}

TTable& SettingsTable(TDMTables& dm, const std::string& system) {
    if (system == "lf")
        return dm.TDataLF();
    if (system == "lt")
        return dm.TDataLT();
    return dm.TDataORTEN();
}

// The run of one command; the lock, the log and the port are set up by the caller.
int RunCommand(const TOptions& o, TConsole& console, TCliHost& host, TJobFrontDoor& door) {
    if (o.command == TCommand::Poll || o.command == TCommand::Switch)
        return RunSwitchCommand(o, console, host, door.port);
    if (o.command == TCommand::Verify)
        return RunVerifyCommand(o, console, host, door.port, door.appendLog);
    if (o.command == TCommand::Settings) {
        TDMTables dm(host);
        if (!dm.Open())
            return kExitUsage; // the table that failed has been named
        if (o.port.empty())
            door.numCom = [&dm] { return dm.NumCom(); };
        TTable& table = SettingsTable(dm, o.system);
        std::string matches;
        if (!LocateKP(table, o.kp, &matches)) {
            if (matches.empty())
                console.Message("В таблице " + table.FileName() + " нет КП с названием \"" + o.kp + "\"");
            else
                console.Message("В таблице " + table.FileName() + " несколько КП с названием \"" + o.kp +
                                "\": " + matches + ". Настройки не прошиты: дайте этим КП разные названия");
            return kExitUsage;
        }
        const TRecordResult result =
            ProgramRecord(dm, host, table, ProgramSteps(ProfileFor(table.Name())),
                          [&door](TTable& t, const std::string& file) { return RunSettings(door, t, file); });
        dm.Close();
        if (!result.handedOn || !result.run)
            return kExitRefused; // the record was refused; the reasons have been shown
        return JobStatus(*result.run);
    }

    // The other jobs need only the port number from Pref.db, and not even that with --port.
    std::optional<TTable> pref;
    if (o.port.empty()) {
        pref.emplace(TableDef(TTableId::Pref));
        pref->Open();
        // A value no one could type is reported with its place, as the window does.
        door.numCom = [&pref] {
            return static_cast<int>(pref->CheckedValue(pref->FieldIndex("NumCom")).AsInteger());
        };
    }
    switch (o.command) {
    case TCommand::Identify: {
        std::string ident;
        if (!RunIdentify(door, ident))
            return kExitRefused;
        console.Result(ident);
        return kExitDone;
    }
    case TCommand::Flash: {
        const TJobResult result = RunFirmware(door, o.file);
        if (result == TJobResult::NoAnswer)
            console.Reason(kMsgNoModem);
        return JobStatus(result);
    }
    case TCommand::Eeprom:
        return JobStatus(RunEepromFile(door, o.file));
    default:
        return kExitUsage;
    }
}

int Run(const TOptions& o) {
    TConsole console(o.quiet);
    if (o.command == TCommand::Ports)
        return RunPortsCommand(TSystemSerialDevices(), console); // no port, no log: no lock
    TCliHost host(console);

    // One program on the port and the log at a time, the window included.
    TInstanceLock lock;
    if (!lock.Acquire(kInstanceLockName)) {
        console.Message("Тальмар уже работает (окно программы или другой talmar-cli): порт и журнал заняты. "
                        "Закройте его и повторите.");
        return kExitUsage;
    }

    TSessionLog log(kLogFileName, console);
    // Polling and the system switch log nothing, as in the window.
    if (o.command != TCommand::Identify && o.command != TCommand::Poll && o.command != TCommand::Switch) {
        std::string error;
        if (!log.Usable(error)) {
            console.Message("Не удалось прочитать журнал " + std::string(kLogFileName) + " (" + error +
                            "): прошивка без записи в журнал не выполняется.");
            return kExitUsage;
        }
    }
    if ((o.command == TCommand::Flash || o.command == TCommand::Eeprom) &&
        !std::filesystem::is_regular_file(o.file)) {
        console.Message("Нет файла " + o.file);
        return kExitUsage;
    }

    TComPort port;
    if (!o.port.empty())
        port.SetPort(o.port);
    if (o.trace)
        port.SetTrace(
            [&console](bool out, const uint8_t* data, int count) { console.Trace(out, data, count); });

    TJobFrontDoor door(host, port);
    door.appendLog = [&log](const std::string& line) { log.Append(line); };
    int done = 0;
    door.begin = [&done] { done = 0; };
    door.progress = [&console, &done](TProgrammator& sender, TTypePROM typeProm, int data) {
        done += data;
        console.Progress(done, typeProm == tpFLASH ? 2 * sender.FLASHCount() : sender.EEPROMCount());
    };
    door.end = [&console] { console.EndProgress(); };

    int status = kExitUsage;
    try {
        status = RunCommand(o, console, host, door);
    } catch (const EComPort& e) {
        console.EndProgress();
        const std::string device = port.Device() == port.Port() ? "" : " (" + port.Device() + ")";
        console.Message("Порт " + port.Port() + device + ": " + e.what());
        // A port that cannot be opened or set up is the environment; a failure in the middle of
        // a run is the modem's.
        status = e.Code() == EComPortCode::OpenFailed || e.Code() == EComPortCode::SetStateFailed
                     ? kExitUsage
                     : kExitRefused;
    } catch (const ETableError& e) {
        console.EndProgress();
        console.Message(e.what());
        status = kExitUsage;
    } catch (const std::exception& e) {
        console.EndProgress();
        console.Message(e.what());
        status = kExitRefused;
    }

    if (!log.Unsaved().empty()) {
        console.Message("Не удалось дописать журнал " + std::string(kLogFileName) + ": " + log.Error() +
                        ". Не записаны строки:");
        for (const auto& line : log.Unsaved())
            console.Message(line);
        // The status still tells what happened to the modem: a programmed modem is a job done.
    }
    return status;
}

} // namespace

} // namespace talmar::cli

int main(int argc, char** argv) {
    using namespace talmar::cli;
    TOptions options;
    std::string error;
    if (!ParseOptions(argc - 1, argv + 1, options, error)) {
        std::fprintf(stderr, "talmar-cli: %s\nСправка: talmar-cli --help\n", error.c_str());
        return kExitUsage;
    }
    if (options.command == TCommand::Help) {
        std::fputs(kHelp, stdout);
        return kExitDone;
    }
    // The port and the reply timer run on Qt's event loop.
    QCoreApplication app(argc, argv);
    return Run(options);
}
