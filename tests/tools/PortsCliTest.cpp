// talmar-cli and the serial devices under numbers of their own: "ports" lists what the COM-port
// window offers, the jobs open the adapter the per-user file gives the number, and name it once
// it is gone.
#include "link/PortMap.h"
#include "sim/ModemSim.h"
#include "store/Table.h"
#include "store/TableDef.h"
#include "tests/support/SerialDevices.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <filesystem>
#include <gtest/gtest.h>

using namespace talmar;
using talmar::test::TFakeDevices;
using talmar::test::TPortsFileVar;
using talmar::test::TTempDir;

namespace {

struct TRun {
    int status = -1;
    std::string out;
    std::string err;
};

struct PortsCli : ::testing::Test {
    TTempDir dir{true};
    sim::TModemSim sim;
    std::string ports = dir.File("config/ports");
    TPortsFileVar var{ports}; // for the listings made here

    void SetUp() override {
        const std::string tool = std::string("'") + TALMAR_TABLES_TOOL + "' sample >/dev/null";
        ASSERT_EQ(std::system(tool.c_str()), 0);
    }

    TRun Cli(const std::vector<std::string>& args, const std::map<std::string, std::string>& vars = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TALMAR_PORTS_FILE", QString::fromStdString(ports));
        env.insert("TALMAR_LOCK_DIR", QString::fromStdString(dir.Path().string()));
        for (int n = 1; n <= 5; ++n)
            env.remove(QString("TALMAR_COM%1").arg(n));
        for (const auto& [name, value] : vars)
            env.insert(QString::fromStdString(name), QString::fromStdString(value));
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir.Path().string()));
        QStringList a;
        for (const auto& s : args)
            a << QString::fromStdString(s);
        p.start(TALMAR_CLI, a);
        EXPECT_TRUE(p.waitForFinished(60000));
        TRun r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }
};

} // namespace

TEST_F(PortsCli, PortsListsWhatTheWindowOffers) {
    // The machine's own devices, as the window lists them with the same file.
    TPortMap map;
    std::string expected;
    for (const TPortChoice& c : ListPorts(TSystemSerialDevices(), map)) {
        const std::string name = "COM" + std::to_string(c.number);
        expected += name + '\t' + (c.number == 2 ? sim.SlavePath() : c.device);
        if (c.number > 4)
            expected += '\t' + c.text.substr(name.size() + 2);
        expected += '\n';
    }
    const TRun r = Cli({"ports"}, {{"TALMAR_COM2", sim.SlavePath()}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.out.rfind(
                  "COM1\t/dev/ttyS0\nCOM2\t" + sim.SlavePath() + "\nCOM3\t/dev/ttyS2\nCOM4\t/dev/ttyS3\n", 0),
              0u)
        << r.out;
}

TEST_F(PortsCli, JobsOpenTheAdapterOfTheStoredNumberAndNameItOnceGone) {
    // The window gave the adapter COM5 and stored 5 in Pref.db.
    std::filesystem::create_directories(dir.File("by-id"));
    const std::string link = dir.File("by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    std::filesystem::create_symlink(sim.SlavePath(), link);
    TFakeDevices fake;
    fake.devices = {{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1", link, ""}};
    TPortMap map;
    ASSERT_EQ(ListPorts(fake, map).back().number, 5);
    {
        TTable pref(TableDef(TTableId::Pref));
        pref.Open();
        pref.Edit();
        pref.SetFieldByName("NumCom", TValue(5));
        pref.Post();
    }

    const TRun id = Cli({"identify"});
    EXPECT_EQ(id.status, 0) << id.err;
    EXPECT_EQ(id.out, "ЛТР-20 v3\n");
    EXPECT_EQ(Cli({"identify", "--port", "com5"}).out, "ЛТР-20 v3\n");
    // $TALMAR_COM5 still wins.
    EXPECT_EQ(Cli({"identify"}, {{"TALMAR_COM5", "/dev/talmar-no-such-port"}}).status, 2);

    std::filesystem::remove(link);
    const TRun gone = Cli({"identify"});
    EXPECT_EQ(gone.status, 2);
    EXPECT_NE(
        gone.err.find("COM5: нет устройства " + link + " (FT232R USB UART, FTDI, A1): адаптер отключён."),
        std::string::npos)
        << gone.err;
    EXPECT_EQ(sim.Requests().size(), 2u); // the two identifications, nothing after
}
