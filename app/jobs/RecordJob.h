#pragma once
// Finding one КП record by its name, for talmar-cli's settings job.

#include <string>

namespace talmar {

class TTable;

// Makes the record whose NameKP equals name, without regard to letter case, the current one.
// False, staying where it was, when there is none or when several records have that name;
// *matches then lists those records ("запись 2 \"КП-1\", запись 5 \"кп-1\""), and is empty when
// there is none.
bool LocateKP(TTable& table, const std::string& name, std::string* matches = nullptr);

} // namespace talmar
