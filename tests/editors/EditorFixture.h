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

class EditorWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Shows a window modally as the main window's command does, runs check inside, then closes
    // it with "Выход".
    void ExecInside(TFTuning* window, const std::function<void()>& showCommand,
                    const std::function<void()>& check);
    std::vector<std::string> NewLog(std::size_t from) const;

    TTempDir dir{true};
    std::unique_ptr<sim::TModemSim> sim;
    TRecordingHost* host = nullptr;
    std::unique_ptr<TFMain> w;
    std::unique_ptr<TDMTables> dm;
    std::unique_ptr<TCopyBoard> board;
    TFTuningLF* lf = nullptr;
    TFTuningLT* lt = nullptr;
    TFTuningORTEN* orten = nullptr;
};

} // namespace talmar::test
