#pragma once
// Programming one КП record into the modem, as an editor's "Прошить модем" button and talmar-cli
// do it: the record readied as its editor says, checked, temp.eep written from it, and the file
// handed to the front door's settings run. Finding the record by its name is here too.

#include "jobs/Jobs.h"

#include <functional>
#include <optional>
#include <string>

namespace talmar {

class IHost;
class TDMTables;
class TTable;

// Makes the record whose NameKP equals name, without regard to letter case, the current one.
// False, staying where it was, when there is none or when several records have that name;
// *matches then lists those records ("запись 2 \"КП-1\", запись 5 \"кп-1\""), and is empty when
// there is none.
bool LocateKP(TTable& table, const std::string& name, std::string* matches = nullptr);

// How a record is readied before it is checked; the editor's profile says which steps it takes.
struct TRecordSteps {
    bool editFirst = false; // the record is put into edit state
    // The time-system modem has one setting for both series types: the telecontrol one is copied
    // into the telesignalling one.
    bool forvardTCFromTY = false;
    // The commit rule before the check. Without it the record is committed only once temp.eep has
    // been made, so that a folder where it cannot be made leaves the edit pending.
    bool commitFirst = false;
    bool check = false; // the check of the record (the frequency system's rules above all)
};

// The front door's settings run on the image file (RunSettings inside what the front door does
// around it). Its result; nullopt when it came to none (another run was going on, or an error
// stopped it and has been shown).
using TSettingsRun = std::function<std::optional<TJobResult>(TTable& table, const std::string& fileName)>;

struct TRecordResult {
    // The record passed and temp.eep was complete: it went to the run (when there is one).
    bool handedOn = false;
    std::optional<TJobResult> run; // what the run reported
};

// Programs the current record of TDataLF, TDataLT or TDataORTEN: the steps and the check they ask
// for, temp.eep written, then the run. Every refusal and note is shown
// through host, in that order; a refused record is not handed on. Errors of the tables and of the
// file come as exceptions; what the run throws passes through.
TRecordResult ProgramRecord(TDMTables& dm, IHost& host, TTable& table, const TRecordSteps& steps,
                            const TSettingsRun& run);

} // namespace talmar
