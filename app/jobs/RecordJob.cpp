#include "app/jobs/RecordJob.h"

#include "store/DMTables.h"
#include "store/Table.h"

namespace talmar {

bool ProgramRecord(TDMTables& dm, TTable& table) {
    const std::string& name = table.Name();
    if (name == "TDataLF") {
        table.ApplyCommitRule();
        if (!dm.CheckSettings(table))
            return false;
    } else {
        table.Edit();
        // The time editor has no control for the telesignalling series type: the modem gets the
        // telecontrol one for both.
        if (name == "TDataLT")
            table.SetFieldByName("EForvardTC", table.FieldByName("EForvardTY"));
        table.ApplyCommitRule();
    }
    return dm.ProgramSettings(table);
}

bool LocateKP(TTable& table, const std::string& name) {
    return table.Locate("NameKP", TValue(name));
}

} // namespace talmar
