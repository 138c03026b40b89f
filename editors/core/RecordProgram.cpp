#include "editors/core/RecordProgram.h"

#include "editors/core/EditorProfile.h"
#include "store/DMTables.h"
#include "store/Table.h"

namespace talmar {

bool ProgramRecord(TDMTables& dm, TTable& table) {
    const TEditorProfile* p = ProfileFor(table.Name());
    if (p && p->editBeforeProgram)
        table.Edit();
    // The time-system modem has no setting of its own for the telesignalling series type.
    if (p && p->forvardTCFromTY)
        table.SetFieldByName("EForvardTC", table.FieldByName("EForvardTY"));
    table.ApplyCommitRule();
    if (p && p->checkSettings && !dm.CheckSettings(table))
        return false;
    return dm.ProgramSettings(table);
}

} // namespace talmar
