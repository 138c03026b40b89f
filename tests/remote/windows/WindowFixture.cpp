#include "tests/remote/windows/WindowFixture.h"

#include "controls/TableModel.h"
#include "tests/store/StoreFixture.h"

#include <QHeaderView>
#include <cstdlib>

namespace talmar::test {

void TWindowTest::TearDown() {
    w.reset();
    dm.reset();
    for (const std::string& name : boundComs)
        unsetenv(name.c_str());
}

void TWindowTest::MakeTables(const std::string& numCom, const std::string& typeRemoteControl,
                             const std::vector<TKp>& kps) {
    CreateAllTables();
    WriteTestMap();
    ExecSql("Pref.db", "INSERT INTO Pref VALUES (" + numCom + ", " + typeRemoteControl + ");");
    std::string sql;
    for (const TKp& kp : kps)
        sql += "INSERT INTO Data_ORTEN (NameKP, ENumController, SysMode, V4433) VALUES ('" + kp.name + "', " +
               std::to_string(kp.controller) + ", 7, 'старая');";
    if (!sql.empty())
        ExecSql("Data_ORTEN.DB", sql);
}

void TWindowTest::StartLine(const std::vector<TKp>& kps, int com) {
    std::vector<sim::TModemConfig> modems;
    for (const TKp& kp : kps) {
        sim::TModemConfig c;
        c.programmed = modems.empty(); // the first one also answers the programming cable
        c.controller = static_cast<uint8_t>(kp.controller);
        c.eepromInit[0x00] = static_cast<uint8_t>(kp.sysMode);
        c.version = "v" + std::to_string(kp.controller);
        c.faults.silent = kp.silent;
        modems.push_back(c);
    }
    line = std::make_unique<sim::TModemSim>(modems, sim::TLineConfig{});
    const std::string name = "TALMAR_COM" + std::to_string(com);
    setenv(name.c_str(), line->SlavePath().c_str(), 1);
    boundComs.push_back(name);
}

void TWindowTest::Start() {
    ASSERT_TRUE(OpenProgram());
    TFMain* main = w.get();
    fTuningCom = new TFTuningCom(
        *dm, w->Host(), [main](int numCom) { main->SetComPanel(numCom); }, main);
    fTuningRC = new TFTuningRC(*dm, w->Host(), main);
    fChangeSystem = new TFChangeSystem(*dm, w->ComPort1(), w->Host(), main);
    w->SetWindows(nullptr, fTuningCom, nullptr, nullptr, fTuningRC, fChangeSystem);
}

QPoint TWindowTest::RowPoint(int row) const {
    const TDBGrid* grid = fChangeSystem->RxDBGridKP;
    return grid->visualRect(grid->model()->index(row, 0)).center();
}

std::string TWindowTest::Cell(int row, int column) const {
    return fChangeSystem->Model()->index(row, column).data().toString().toStdString();
}

} // namespace talmar::test
