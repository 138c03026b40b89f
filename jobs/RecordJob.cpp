#include "jobs/RecordJob.h"

#include "store/DMTables.h"
#include "store/SettingsImage.h"
#include "store/Table.h"
#include "store/Text.h"
#include "store/Validation.h"

#include <vector>

namespace talmar {

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

TRecordResult ProgramRecord(TDMTables& dm, IHost& host, TTable& table, const TRecordSteps& steps,
                            const TSettingsRun& run) {
    if (steps.editFirst)
        table.Edit();
    if (steps.forvardTCFromTY)
        table.SetFieldByName("EForvardTC", table.FieldByName("EForvardTY"));
    if (steps.commitFirst)
        table.ApplyCommitRule();
    TRecordResult result;
    if (steps.check && !CheckSettings(dm, host, table))
        return result;
    if (!WriteSettingsFile(dm, host, table).Complete())
        return result;
    result.handedOn = true;
    if (run)
        result.run = run(table, kImageFileName);
    return result;
}

} // namespace talmar
