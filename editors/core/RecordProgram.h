#pragma once
// Programming one КП record into the modem, as an editor's "Прошить модем" button does it and as
// talmar-cli does it: the frequency editor validates the record first; the time editor copies the
// telecontrol series type into the telesignalling one (the time-system modem has one setting for
// both); the image builder then writes temp.eep and hands it to the settings command.

namespace talmar {

class TDMTables;
class TTable;

// The programming sequence of the editor of the table (TDataLF, TDataLT or TDataORTEN) for its
// current record. False when the record was refused (validation, an incomplete record: the
// messages have been shown), true when the settings command was called; that command reports
// its own outcome.
bool ProgramRecord(TDMTables& dm, TTable& table);

} // namespace talmar
