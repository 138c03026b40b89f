#pragma once
// talmar-tables import FOLDER: the settings tables of the old desktop database (Paradox files)
// in FOLDER become the program's table files in the current folder.
//
// All or nothing: every table is read and checked before anything is written here; the new
// files are written beside their final names, read back through the program's table class and
// compared with the Paradox values, and only then given their names. An existing table file is
// never replaced.

#include <cstdio>
#include <string>

namespace talmar {

// Exit status: 0 all tables found were imported and read back equal, 1 a table could not be
// read, did not fit or did not read back equal (nothing written), 2 wrong usage or a table file
// already in the current folder (nothing written).
int ImportTables(const std::string& folder, std::FILE* out, std::FILE* err);

} // namespace talmar
