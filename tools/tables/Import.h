#pragma once
// talmar-tables import FOLDER: the settings tables of the old desktop database (Paradox files)
// in FOLDER become the program's table files in the current folder.
//
// All or nothing: every table is read and checked before anything is written here; the new
// files are written beside their final names, read back through the program's table class and
// compared with the Paradox values, and only then given their names. An existing table file is
// never replaced.

#include "ParadoxFile.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace talmar {

struct TImportOptions {
    // How long the child that reads each Paradox table first may take (ParadoxFile.h).
    std::chrono::milliseconds readAheadLimit = kReadAheadLimit;
    // Called with the name of each new file once it is written, before it is read back, and
    // with each final name before the new file is given it: where the tests put the faults of
    // a disk or of another program writing into the folder.
    std::function<void(const std::string& file)> written;
    std::function<void(const std::string& name)> placing;
};

// Exit status: 0 all tables found were imported and read back equal, 1 a table could not be
// read, did not fit or did not read back equal (nothing written), 2 wrong usage or a table file
// already in the current folder (nothing written), 130 interrupted (Interrupt.h; nothing
// written).
int ImportTables(const std::string& folder, std::FILE* out, std::FILE* err,
                 const TImportOptions& options = {});

} // namespace talmar
