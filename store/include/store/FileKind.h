#pragma once
// What lies in a table file, judged from its first bytes only; the file is opened for reading
// and never changed.

#include <string>

namespace talmar {

enum class TFileKind { Missing, Unreadable, Empty, Sqlite, Paradox, Unknown };

TFileKind InspectTableFile(const std::string& path);

} // namespace talmar
