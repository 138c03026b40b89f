#pragma once
// What the window tests start with: the sample tables in the current folder, and the main window
// (with a recording host) and the data module over them, made as the program makes them at start.
// Header only: the tests that include it link the program's libraries.

#include "app/MainWindow.h"
#include "store/DMTables.h"
#include "tests/support/RecordingHost.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace talmar::test {

// talmar-tables sample in the current folder; false when the tool failed.
inline bool MakeSampleTables() {
    const std::string tool = std::string(TALMAR_BINARY_DIR) + "/tools/tables/talmar-tables sample >/dev/null";
    return std::system(tool.c_str()) == 0;
}

struct TProgramParts {
    TRecordingHost* host = nullptr;
    std::unique_ptr<TFMain> w;
    std::unique_ptr<TDMTables> dm;

    // The main window, then the data module opening the five tables; false when one did not open.
    bool OpenProgram() {
        auto h = std::make_unique<TRecordingHost>();
        host = h.get();
        w = std::make_unique<TFMain>(std::move(h));
        dm = std::make_unique<TDMTables>(w->Host());
        const bool open = dm->Open();
        w->SetDataModule(dm.get());
        return open;
    }
};

} // namespace talmar::test
