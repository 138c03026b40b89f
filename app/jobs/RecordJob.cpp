#include "app/jobs/RecordJob.h"

#include "store/Table.h"

namespace talmar {

bool LocateKP(TTable& table, const std::string& name) {
    return table.Locate("NameKP", TValue(name));
}

} // namespace talmar
