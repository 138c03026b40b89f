#include "app/jobs/RecordJob.h"

#include "store/DMTables.h"
#include "store/Table.h"
#include "store/Text.h"

#include <vector>

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

bool LocateKP(TTable& table, const std::string& name, std::string* matches) {
    // Every record of that name is looked for: programming the first of several could program
    // the settings of another КП into the modem.
    const int field = table.FieldIndex("NameKP");
    const std::string wanted = FoldCase(name);
    std::vector<int> rows;
    for (int r = 0; r < table.RecordCount(); ++r)
        if (FoldCase(table.ValueAt(r, field).AsString()) == wanted)
            rows.push_back(r);
    if (matches) {
        matches->clear();
        if (rows.size() > 1)
            for (const int r : rows)
                *matches += (matches->empty() ? "" : ", ") + std::string("запись ") + std::to_string(r + 1) +
                            " \"" + table.ValueAt(r, field).AsString() + "\"";
    }
    if (rows.size() != 1)
        return false;
    table.SetRecNo(rows[0] + 1);
    return true;
}

} // namespace talmar
