#pragma once
// Programming one КП record into the modem, as the editors' "Прошить модем" button does it: the
// frequency editor validates the record first, the time editor copies the telecontrol series
// type into the telesignalling one (the time-system modem has one setting for both), and the
// image builder then writes temp.eep and hands it to the settings command.

#include <string>

namespace talmar {

class TDMTables;
class TTable;

// The programming sequence for the current record of TDataLF, TDataLT or TDataORTEN. False when
// the record was refused (validation, an incomplete record: the messages have been shown), true
// when the settings command was called; that command reports its own outcome.
bool ProgramRecord(TDMTables& dm, TTable& table);

// Makes the record whose NameKP equals name, without regard to letter case, the current one.
// False, staying where it was, when there is none or when several records have that name;
// *matches then lists those records ("запись 2 \"КП-1\", запись 5 \"кп-1\""), and is empty when
// there is none.
bool LocateKP(TTable& table, const std::string& name, std::string* matches = nullptr);

} // namespace talmar
