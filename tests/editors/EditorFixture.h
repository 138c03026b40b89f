#pragma once
// The editor windows offscreen over the sample tables (as talmar-tables sample makes them), with
// the main window, its recording host and the modem simulator on COM2 behind them.

#include "app/MainWindow.h"
#include "editors/TuningLF.h"
#include "editors/TuningLT.h"
#include "editors/TuningORTEN.h"
#include "editors/core/CopyBoard.h"
#include "sim/ModemSim.h"
#include "store/DMTables.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QKeyEvent>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace talmar::test {

// Key presses carrying the text, as a keyboard of any layout sends them.
void Type(QWidget* w, const char* text);

// Walks every tab of the window through Qt's accessibility interface: every input carries a
// non-empty name, and the name is its caption (the label tied to it, or its own text). Leaves the
// window shown on its main tab.
void ExpectInputsNamedByCaptions(TFTuning* window);
// The accessible name of the window's control of that object name.
std::string AccessibleName(TFTuning* window, const char* object);

class EditorWindowTest : public ::testing::Test, public TProgramParts {
protected:
    void SetUp() override;
    void TearDown() override;

    // Shows a window modally as the main window's command does, runs check inside, then closes
    // it with "Выход".
    void ExecInside(TFTuning* window, const std::function<void()>& showCommand,
                    const std::function<void()>& check);
    std::vector<std::string> NewLog(std::size_t from) const;
    // The first record of the table with these fields set, posted.
    static void SetFirst(TTable& table, std::initializer_list<std::pair<const char*, TValue>> values);
    // Opens the window modally on a blank simulated EEPROM and runs inside (which presses
    // "Прошить модем"); then the log holds the start line (a pattern after the date) and ": OK!",
    // and the modem's eSysMode the system code.
    void ExpectProgrammed(TFTuning* window, const std::function<void()>& inside, const std::string& startText,
                          int sysCode);

    TTempDir dir{true};
    std::unique_ptr<sim::TModemSim> sim;
    std::unique_ptr<TCopyBoard> board;
    TFTuningLF* lf = nullptr;
    TFTuningLT* lt = nullptr;
    TFTuningORTEN* orten = nullptr;
};

} // namespace talmar::test
