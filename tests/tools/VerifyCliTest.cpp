// talmar-cli verify and the builder's refusals in talmar-cli settings, as a user runs them: the
// real executable in a folder with the sample tables, against a simulated line.
#include "link/LogFile.h"
#include "sim/ModemSim.h"
#include "store/Table.h"
#include "tests/support/LogLines.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>

using namespace talmar;
using talmar::test::Lines;
using talmar::test::TTempDir;

namespace {

const char* const kKp1 = "КП-1 Подстанция Северная"; // controller 1, line resistance 0 dB

struct TRun {
    int status = -1;
    std::vector<std::string> out;
    std::string err;
};

struct VerifyCli : ::testing::Test {
    TTempDir dir{true};
    std::unique_ptr<sim::TModemSim> sim;

    void SetUp() override {
        ASSERT_EQ(std::system((std::string(TALMAR_TABLES_TOOL) + " sample >/dev/null").c_str()), 0);
        sim::TModemConfig c; // on the programming cable, and КП-1 on the line
        c.controller = 1;
        sim = std::make_unique<sim::TModemSim>(c);
    }

    TRun Run(const std::vector<std::string>& args) {
        const test::TProgramRun p =
            test::RunProgram(TALMAR_CLI, args, dir.Path(), {{"TALMAR_COM2", sim->SlavePath()}});
        return {p.status, Lines(p.out), p.err};
    }
    static uint16_t Addr(const char* param) {
        TTable t(TableDef(TTableId::ParamType));
        t.Open();
        EXPECT_TRUE(t.Locate("NameEng", TValue(param))) << param;
        return static_cast<uint16_t>(t.FieldByName("Addr").AsInteger());
    }
    static void SetLf(const char* field, const TValue& value) {
        TTable t(TableDef(TTableId::DataLF));
        t.Open();
        ASSERT_TRUE(t.Locate("NameKP", TValue(kKp1)));
        t.Edit();
        t.SetFieldByName(field, value);
        t.Post();
    }
    void Poke(uint16_t addr, uint8_t value) {
        auto e = sim->Eeprom(0);
        e.at(addr) = value;
        sim->SetEeprom(0, e);
    }
    std::size_t Writes() const {
        std::size_t n = 0;
        for (const auto& r : sim->Requests())
            n += r.request.size() > 1 && r.request[1] == 0x1E;
        return n;
    }
};

TEST_F(VerifyCli, ChecksRepairsAndChecksAgain) {
    // Programmed over the cable as the editor does it, then checked over the line.
    TRun r = Run({"settings", "lf", kKp1, "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string head = std::string(kKp1) + " (N МКД 1): ";
    sim->ClearLog();
    r = Run({"verify", "lf", kKp1, "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 2u) << r.err;
    EXPECT_EQ(r.out[0], head + "совпадают");
    EXPECT_EQ(r.out[1], "Итого КП: 1; совпадают: 1, различаются: 0, не отвечают: 0, исправлены: 0, "
                        "не исправлены: 0, не проверены: 0");
    const std::size_t reads = sim->Requests().size();
    EXPECT_GT(reads, 40u);
    for (const auto& q : sim->Requests()) {
        EXPECT_EQ(q.baud, 9600);
        EXPECT_EQ(q.request.at(0), 1);
        EXPECT_EQ(q.request.at(1), 0xE3);
    }

    // Another transmit level (-21 dB: 16 coarse, 4 fine, where -20 dB is 15 and 0) and another
    // system in the modem.
    const uint16_t level = Addr("AttenTr1"), fine = Addr("AttenTr1Prec"), sys = Addr("eSysMode");
    Poke(level, 16);
    Poke(fine, 4);
    Poke(sys, 3);
    sim->ClearLog();
    r = Run({"verify", "lf", "кп-1 подстанция северная", "--repair", "--quiet"});
    EXPECT_EQ(r.status, 1) << r.err;
    ASSERT_GE(r.out.size(), 3u) << r.err;
    EXPECT_EQ(r.out[0], head + "не исправлен, различий 1");
    EXPECT_NE(r.out[1].find("(eSysMode), адрес 0010: в таблице 1, в модеме 3 - не исправляется"),
              std::string::npos)
        << r.out[1];
    // Only the two level bytes were written; each read back.
    EXPECT_EQ(Writes(), 2u);
    EXPECT_EQ(sim->Requests().size(), reads + 4);
    EXPECT_EQ(sim->Eeprom(0).at(sys), 3);

    Poke(sys, 1);
    Poke(level, 16);
    Poke(fine, 4);
    sim->ClearLog();
    r = Run({"verify", "lf", kKp1, "--quiet"});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.out.size(), 3u);
    EXPECT_EQ(r.out[0], head + "различий 1");
    EXPECT_EQ(
        r.out[1].substr(r.out[1].find('(')), "(AttenTr1), адрес " + [&] {
            char b[8];
            std::snprintf(b, sizeof b, "%04X", level);
            return std::string(b);
        }() + ": в таблице -20 дБ, в модеме -21 дБ");
    EXPECT_EQ(Writes(), 0u);
    r = Run({"verify", "lf", kKp1, "--repair", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.at(0), head + "исправлен (записано байт: 2)");
    r = Run({"verify", "lf", kKp1, "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;

    // Each outcome is a dated line of the log.
    std::vector<std::string> log;
    ASSERT_EQ(LoadLogLines("Log.txt", log), TLogLoad::Loaded);
    const std::string line = ": Сверка настроек КП \"" + std::string(kKp1) + "\" (N МКД 1): совпадают";
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const std::string& l) {
                                return l.size() > line.size() &&
                                       l.compare(l.size() - line.size(), line.size(), line) == 0 &&
                                       std::isdigit(l[0]);
                            }),
              2);
}

TEST_F(VerifyCli, WrongUsageAndRefusalsSendNothing) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* err;
    } cases[] = {
        {{"verify", "lf", "КП-99"}, 2, "В таблице Data_LF.DB нет КП с названием \"КП-99\""},
        {{"verify", "xx", "--all"}, 2, "система \"xx\" неизвестна"},
        {{"verify", "lf", "--all", kKp1}, 2, "но не то и другое"},
        {{"verify", "lf", kKp1, "--passes", "2"}, 2, "--passes - только для poll"},
        {{"poll", "--all", "--repair"}, 2, "--repair - только для verify"},
    };
    for (const auto& c : cases) {
        const TRun r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // A controller number that is no address: --all refuses before anything is sent.
    SetLf("ENumController", TValue(300));
    TRun r = Run({"verify", "lf", "--all"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("\"" + std::string(kKp1) + "\" (300)"), std::string::npos) << r.err;
    EXPECT_TRUE(sim->Requests().empty());

    // The builder's gate: a transmit level that a line-resistance change left out of range.
    SetLf("ENumController", TValue(1));
    SetLf("AttenTrAUX", TValue(20));
    const std::string message = "КП \"" + std::string(kKp1) +
                                "\": параметр \"Уровень передачи служебного канала\": значение 20 вне "
                                "допустимых пределов -46..0";
    r = Run({"settings", "lf", kKp1});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(std::filesystem::file_size("temp.eep"), 0u);
    r = Run({"verify", "lf", kKp1, "--repair"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.at(0).find("не проверен: " + message), std::string::npos) << r.out.at(0);
    EXPECT_TRUE(sim->Requests().empty());
}

} // namespace
