// talmar-cli poll and switch as a user runs them: the real executable in a folder with the sample
// tables (КП-1..3 with controller numbers 1..3, eSysMode at 16), against a simulated line of КП.
#include "base/InstanceLock.h"
#include "sim/ModemSim.h"
#include "store/Table.h"
#include "tests/support/LogLines.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <sstream>

using namespace talmar;
using talmar::test::Lines;
using talmar::test::TTempDir;
using namespace std::chrono_literals;

namespace {

constexpr uint16_t kSysModeAddr = 16; // eSysMode in the sample parameter map

struct TRun {
    int status = -1;
    std::vector<std::string> out; // lines
    std::string err;
};

struct SwitchCli : ::testing::Test {
    TTempDir dir{true};
    std::unique_ptr<sim::TModemSim> sim;

    void SetUp() override {
        const std::string tool = std::string(TALMAR_TABLES_TOOL) + " sample >/dev/null";
        ASSERT_EQ(std::system(tool.c_str()), 0);
        std::vector<sim::TModemConfig> line;
        const uint8_t systems[] = {1, 3, 2};
        for (uint8_t n = 1; n <= 3; ++n) {
            sim::TModemConfig c;
            c.programmed = false;
            c.controller = n;
            c.eepromInit[kSysModeAddr] = systems[n - 1];
            c.version = "v" + std::to_string(n) + ".0";
            line.push_back(c);
        }
        sim = std::make_unique<sim::TModemSim>(line, sim::TLineConfig{});
    }

    TRun Run(const std::vector<std::string>& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TALMAR_COM2", QString::fromStdString(sim->SlavePath()));
        env.insert("TALMAR_LOCK_DIR", QString::fromStdString(dir.Path().string()));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir.Path().string()));
        QStringList a;
        for (const auto& s : args)
            a << QString::fromStdString(s);
        p.start(TALMAR_CLI, a);
        EXPECT_TRUE(p.waitForFinished(60000));
        TRun r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = Lines(p.readAllStandardOutput().toStdString());
        r.err = p.readAllStandardError().toStdString();
        return r;
    }

    // A field of the КП's row as the file holds it.
    TValue Stored(const std::string& kp, const char* field) const {
        TTable t(TableDef(TTableId::DataORTEN));
        t.Open();
        EXPECT_TRUE(t.Locate("NameKP", TValue(kp)));
        return t.FieldByName(field);
    }
    template <typename F>
    void Edit(TTableId id, const char* field, const std::string& value, F&& change) {
        TTable t(TableDef(id));
        t.Open();
        ASSERT_TRUE(t.Locate(field, TValue(value)));
        change(t);
        t.Close();
    }
    std::vector<int> Slaves() const {
        std::vector<int> out;
        for (const auto& r : sim->Requests())
            out.push_back(r.request.at(0));
        return out;
    }
};

} // namespace

TEST_F(SwitchCli, PollAndSwitchReportEachKpAndStoreItsRow) {
    TRun r = Run({"poll", "--all", "--version", "--pause", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, (std::vector<std::string>{"КП-1 Диспетчерская: N МКД 1, Частотная, версия v1.0",
                                               "КП-2 Котельная: N МКД 2, ОРТЕН, версия v2.0",
                                               "КП-3 Очистные: N МКД 3, Временная, версия v3.0",
                                               "Успешных / неуспешных опросов КП: 6 / 0"}));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Slaves(), (std::vector<int>{1, 1, 2, 2, 3, 3}));
    for (const auto& q : sim->Requests())
        EXPECT_EQ(q.baud, 9600);
    EXPECT_EQ(Stored("КП-2 Котельная", "SysMode"), TValue(3));
    EXPECT_EQ(Stored("КП-3 Очистные", "V4433").AsString(), "v3.0");

    // Names ignoring letter case, worked in the table's order, once per pass.
    sim->ClearLog();
    r = Run({"poll", "кп-3 очистные", "КП-1 ДИСПЕТЧЕРСКАЯ", "--passes=2", "--pause=0", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slaves(), (std::vector<int>{1, 3, 1, 3}));
    ASSERT_EQ(r.out.size(), 5u);
    EXPECT_EQ(r.out[2], "КП-1 Диспетчерская: N МКД 1, Частотная");
    EXPECT_EQ(r.out[4], "Успешных / неуспешных опросов КП: 4 / 0");

    sim->ClearLog();
    r = Run({"switch", "LT", "--all", "--pause", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, (std::vector<std::string>{"КП-1 Диспетчерская: N МКД 1, Временная",
                                               "КП-2 Котельная: N МКД 2, Временная",
                                               "КП-3 Очистные: N МКД 3, Временная"}));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(sim->Eeprom(i)[kSysModeAddr], 2);
    EXPECT_EQ(sim->Requests().at(0).request, (sim::TBytes{1, 0x1E, 0x00, 16, 0x01, 0x02, 0x28, 0x5C}));
    EXPECT_EQ(Stored("КП-1 Диспетчерская", "SysMode"), TValue(2));
}

TEST_F(SwitchCli, AKpWithoutAValidReplyGivesStatusOneAndTheOthersAreStillWorked) {
    sim::TModemFaults f;
    f.badCrcOnReply = 1;
    sim->SetFaults(1, f);
    TRun r = Run({"poll", "--all", "--pause", "0"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, (std::vector<std::string>{
                         "КП-1 Диспетчерская: N МКД 1, Частотная", "КП-2 Котельная: N МКД 2, Не отвечает",
                         "КП-3 Очистные: N МКД 3, Временная", "Успешных / неуспешных опросов КП: 2 / 1"}));
    EXPECT_EQ(Stored("КП-2 Котельная", "SysMode"), TValue(0));

    f = {};
    f.shortReplyOn = 1;
    sim->SetFaults(2, f);
    r = Run({"switch", "orten", "КП-3 Очистные", "КП-1 Диспетчерская", "--pause", "0"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, (std::vector<std::string>{"КП-1 Диспетчерская: N МКД 1, ОРТЕН",
                                               "КП-3 Очистные: N МКД 3, Не отвечает"}));
    EXPECT_EQ(sim->Eeprom(0)[kSysModeAddr], 3);
}

TEST_F(SwitchCli, WrongUsageOrEnvironmentGivesStatusTwoAndSendsNothing) {
    struct Case {
        std::vector<std::string> args;
        std::string message; // on standard error
    };
    const Case usage[] = {
        {{"poll"}, "укажите КП по названиям из Data_ORTEN.DB или --all"},
        {{"poll", "--all", "КП-1 Диспетчерская"}, "укажите КП по названиям или --all, но не то и другое"},
        {{"switch", "kerva", "--all"}, "система \"kerva\" неизвестна"},
        {{"switch", "lf", "--all", "--passes", "2"}, "параметр --passes - только для poll"},
        {{"poll", "--all", "--pause", "1.5"}, "--pause \"1.5\": нужно целое число секунд"},
        {{"identify", "--all"}, "параметр --all - только для poll и switch"},
        {{"poll", "КП-9"}, "В таблице Data_ORTEN.DB нет КП с названием \"КП-9\""},
        {{"--port", "/dev/talmar-no-such-port", "poll", "--all"},
         "Порт /dev/talmar-no-such-port: Unable to open com port (win error code: 2)"},
    };
    auto check = [&](const Case& c) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const TRun r = Run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    };
    for (const Case& c : usage)
        check(c);

    // Two КП of one name: which of them is meant is not for the tool to guess.
    Edit(TTableId::DataORTEN, "NameKP", "КП-3 Очистные", [](TTable& t) {
        t.Edit();
        t.SetFieldByName("NameKP", TValue("КП-2 Котельная"));
        t.Post();
    });
    check({{"switch", "lf", "кп-2 котельная"}, "КП с названием \"кп-2 котельная\" несколько (строки 2, 3)"});
    // A controller number that is no slave address.
    Edit(TTableId::DataORTEN, "NameKP", "КП-1 Диспетчерская", [](TTable& t) {
        t.Edit();
        t.SetFieldByName("ENumController", TValue(257));
        t.Post();
    });
    check({{"switch", "lf", "--all"}, "Неверный номер у КП: \"КП-1 Диспетчерская\" (257)"});
    // No address of eSysMode: told before the rows are looked at.
    Edit(TTableId::ParamType, "NameEng", "eSysMode", [](TTable& t) { t.Delete(); });
    check({{"poll", "--all"}, "нет параметра eSysMode"});
    // The window (or another talmar-cli) holds the line.
    setenv("TALMAR_LOCK_DIR", dir.Path().c_str(), 1);
    TInstanceLock window;
    ASSERT_TRUE(window.Acquire());
    check({{"poll", "--all"}, "Тальмар уже работает"});
    unsetenv("TALMAR_LOCK_DIR");

    EXPECT_TRUE(sim->Requests().empty());
    EXPECT_EQ(Stored("КП-1 Диспетчерская", "SysMode"), TValue());
}

TEST_F(SwitchCli, DefaultPauseOfASecondBetweenRequestsAndTheTrace) {
    const TRun r = Run({"poll", "КП-1 Диспетчерская", "КП-2 Котельная", "--trace"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto log = sim->Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_GE(log[1].start - log[0].replyEnd, 1000ms);
    const auto trace = Lines(r.err);
    ASSERT_EQ(trace.size(), 4u) << r.err;
    EXPECT_NE(trace[0].find("-> 01 E3 00 10 01"), std::string::npos) << trace[0];
    EXPECT_NE(trace[1].find("<- 01 E3 01 01"), std::string::npos) << trace[1];
}
