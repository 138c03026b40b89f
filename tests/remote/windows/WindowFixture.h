#pragma once
// The main window, the data module and the remote-control windows made as the program makes them
// at start, offscreen, over tables in a fresh folder and a simulated line of КП.

#include "app/MainWindow.h"
#include "dialogs/TuningCom.h"
#include "dialogs/TuningRC.h"
#include "remote/ChangeSystem.h"
#include "sim/ModemSim.h"
#include "store/DMTables.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <QModelIndex>
#include <QPoint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace talmar::test {

// One КП of the line: its row in Data_ORTEN.DB and its modem.
struct TKp {
    std::string name;
    int controller;
    int sysMode; // in the modem's EEPROM
    bool silent = false;
};

class TWindowTest : public ::testing::Test, public TProgramParts {
protected:
    // The line's device, reached as COM7.
    static constexpr int kLineCom = 7;

    void TearDown() override;

    // Tables in the current folder: the test parameter map (eSysMode at 0), Pref.db with the
    // given NumCom and TypeRemoteControl ("NULL" for empty), Data_ORTEN.DB with one row per КП
    // (SysMode 7 and V4433 "старая" before any poll).
    void MakeTables(const std::string& numCom, const std::string& typeRemoteControl,
                    const std::vector<TKp>& kps);
    // The simulator with one modem per КП, bound to $TALMAR_COM<com>.
    void StartLine(const std::vector<TKp>& kps, int com = kLineCom);
    // The main window, the data module and the windows, in their order of creation at start.
    void Start();

    // The grid's row of a КП and a point in it, in the grid viewport's coordinates.
    QPoint RowPoint(int row) const;
    // Texts of a row of the grid.
    std::string Cell(int row, int column) const;

    TTempDir dir{true};
    std::vector<std::string> boundComs;
    std::unique_ptr<sim::TModemSim> line;
    TFTuningCom* fTuningCom = nullptr;
    TFTuningRC* fTuningRC = nullptr;
    TFChangeSystem* fChangeSystem = nullptr;
};

} // namespace talmar::test
