// talmar-cli run as a user runs it: the real executable as a child process, in a temporary
// working folder with the sample tables, against the modem simulator on COM2.
#include "base/Cp1251.h"
#include "base/InstanceLock.h"
#include "link/LogFile.h"
#include "link/Modbus.h"
#include "sim/ModemSim.h"
#include "store/DMTables.h"
#include "tests/support/ExpectedEeprom.h"
#include "tests/support/LogLines.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

using namespace talmar;
using talmar::test::kStamp;
using talmar::test::Lines;
using talmar::test::Matches;
using talmar::test::ReadFileBytes;
using talmar::test::TRecordingHost;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

namespace {

const std::string kHeader = R"(-----------------   СЕАНС ОТ  )" + kStamp + "    ----------------------";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> LogFileLines(const std::string& path) {
    std::vector<std::string> lines;
    EXPECT_NE(LoadLogLines(path, lines), TLogLoad::Unreadable);
    return lines;
}

// A Generic firmware file of `words` consecutive words from address 0.
std::vector<uint16_t> WriteFirmware(const std::string& path, int words) {
    return talmar::test::WriteFirmware(path, words, 0xA000, 13);
}

// The EEPROM a blank modem holds after a Generic settings file (AAAA:DD lines) was programmed,
// in the order the reader writes the lines.
sim::TBytes ExpectedEeprom(const std::string& path, size_t size) {
    return talmar::test::EepromAfterSettingsFile(ReadFileBytes(path), size);
}

// The sample tables in a working folder.
void SampleTables(const std::filesystem::path& dir) {
    const std::string tool = "cd '" + dir.string() + "' && " + TALMAR_TABLES_TOOL + " sample >/dev/null";
    ASSERT_EQ(std::system(tool.c_str()), 0);
}

struct TCliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// One talmar-cli process in the folder, its COM2 on the simulator, its lock kept in the folder.
class TCliProcess {
public:
    TCliProcess(const std::filesystem::path& dir, const std::string& com2,
                const std::vector<std::string>& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TALMAR_COM2", QString::fromStdString(com2));
        env.insert("TALMAR_LOCK_DIR", QString::fromStdString(dir.string()));
        p_.setProcessEnvironment(env);
        p_.setWorkingDirectory(QString::fromStdString(dir.string()));
        QStringList a;
        for (const auto& s : args)
            a << QString::fromStdString(s);
        p_.start(TALMAR_CLI, a);
        EXPECT_TRUE(p_.waitForStarted());
    }
    TCliResult Finish() {
        EXPECT_TRUE(p_.waitForFinished(60000));
        TCliResult r;
        r.status = p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
        r.out = p_.readAllStandardOutput().toStdString();
        r.err = p_.readAllStandardError().toStdString();
        return r;
    }

private:
    QProcess p_;
};

struct Cli : ::testing::Test {
    TTempDir dir{true};
    std::unique_ptr<sim::TModemSim> sim;

    void SetUp() override {
        SampleTables(dir.Path());
        sim = std::make_unique<sim::TModemSim>();
    }

    TCliResult Run(const std::vector<std::string>& args) {
        return TCliProcess(dir.Path(), sim->SlavePath(), args).Finish();
    }
    std::string Log() const { return dir.File("Log.txt"); }
    // Changes one record of a table file while no program has it open.
    template <typename F>
    void EditRecord(TTableId id, const std::string& nameKP, F&& change) {
        TTable t(TableDef(id));
        t.Open();
        ASSERT_TRUE(t.Locate("NameKP", TValue(nameKP)));
        t.Edit();
        change(t);
        t.Post();
        t.Close();
    }
};

} // namespace

TEST_F(Cli, FlashProgramsTheFileAndLogsTheWindowsLinesAsASession) {
    const auto words = WriteFirmware(dir.File("fw.rom"), 100);
    WriteFileBytes(Log(), Utf8ToCp1251("старая строка") + "\r\n");

    const TCliResult r = Run({"flash", "fw.rom"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto flash = sim->Flash(0);
    EXPECT_TRUE(std::equal(words.begin(), words.end(), flash.begin()));
    EXPECT_EQ(flash[100], 0xFFFF);

    // Earlier lines kept, then a session of its own with the window's lines.
    const auto log = LogFileLines(Log());
    ASSERT_EQ(log.size(), 7u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[0], "старая строка");
    EXPECT_EQ(log[1], "");
    EXPECT_TRUE(Matches(log[2], kHeader)) << log[2];
    EXPECT_EQ(log[3], "");
    EXPECT_TRUE(Matches(log[4], kStamp + R"(: прошиваю файл "fw\.rom"\.\.\.)")) << log[4];
    EXPECT_EQ(log[5], "ЛТР-20 v3");
    EXPECT_TRUE(Matches(log[6], kStamp + ": OK!")) << log[6];
    // The same lines on standard output; the progress on standard error, ending full.
    EXPECT_EQ(Lines(r.out), std::vector<std::string>(log.begin() + 4, log.end()));
    EXPECT_TRUE(Contains(Lines(r.err).back(), "100%  200/200 байт")) << r.err;

    // Polling logs nothing; --quiet keeps the progress and the log lines off the screen.
    const std::string before = ReadFileBytes(Log());
    const TCliResult id = Run({"identify", "--quiet"});
    EXPECT_EQ(id.status, 0);
    EXPECT_EQ(id.out, "ЛТР-20 v3\n");
    EXPECT_EQ(ReadFileBytes(Log()), before);
    const TCliResult quiet = Run({"--quiet", "flash", "fw.rom"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(LogFileLines(Log()).size(), 13u);
}

TEST_F(Cli, EepromFileAndEachTablesRecordLandInEepromByteForByte) {
    // A settings file as it is.
    WriteFileBytes(dir.File("s.eep"), "0010:0A\r\n0011:0B\r\n0040:C3\r\n0012:0C\r\n");
    TCliResult r = Run({"eeprom", "s.eep"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim->Eeprom(0), ExpectedEeprom(dir.File("s.eep"), sim->Eeprom(0).size()));
    auto log = LogFileLines(Log());
    ASSERT_EQ(log.size(), 5u);
    EXPECT_TRUE(Matches(log[3], kStamp + R"(: прошиваю файл настроек "s\.eep"\.\.\.)")) << log[3];
    EXPECT_TRUE(Matches(log[4], kStamp + ": OK!"));

    // The time editor sends the telecontrol series type for telesignalling too: make them differ.
    EditRecord(TTableId::DataLT, "КП-1 Тяговая подстанция", [](TTable& t) {
        t.SetFieldByName("EForvardTY", TValue(0));
        t.SetFieldByName("EForvardTC", TValue(1));
    });
    struct Case {
        const char* system;
        const char* name; // as typed: letter case differs from the table
        std::string start;
    };
    const std::string levels = R"(,   р\.к\.= -?\d+ дБ,   с\.к\.= -?\d+ дБ)";
    const Case cases[] = {
        {"lf", "кп-2 НАСОСНАЯ", ": прошиваю настройки КП-2 Насосная, частотная,   номер КП = 2" + levels},
        {"lt", "кп-1 тяговая подстанция",
         ": прошиваю настройки КП-1 Тяговая подстанция, временная, номер КП = 1" + levels},
        {"orten", "КП-3 очистные", ": прошиваю настройки КП-3 Очистные, ОРТЕН" + levels},
    };
    sim::TBytes timeEeprom;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system);
        sim->SetEeprom(0, sim::TBytes(sim->Eeprom(0).size(), 0xFF));
        r = Run({"settings", c.system, c.name});
        EXPECT_EQ(r.status, 0) << r.err;
        const auto eeprom = sim->Eeprom(0);
        EXPECT_EQ(eeprom, ExpectedEeprom(dir.File("temp.eep"), eeprom.size()));
        if (std::string(c.system) == "lt")
            timeEeprom = eeprom;
        const auto out = Lines(r.out);
        ASSERT_EQ(out.size(), 2u) << r.out;
        EXPECT_TRUE(Matches(out[0], kStamp + c.start)) << out[0];
        EXPECT_TRUE(Matches(out[1], kStamp + ": OK!"));
        const auto log = LogFileLines(Log());
        EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()), out);
    }

    // The copied series type is in the table and in the modem.
    TRecordingHost host;
    TDMTables dm(host);
    ASSERT_TRUE(dm.Open());
    ASSERT_TRUE(dm.TDataLT().Locate("NameKP", TValue("КП-1 Тяговая подстанция")));
    EXPECT_EQ(dm.TDataLT().FieldByName("EForvardTC").AsInteger(), 0);
    EXPECT_EQ(timeEeprom.at(static_cast<size_t>(dm.FindParam("EForvardTC")->addr.AsInteger())), 0);
}

TEST_F(Cli, RefusalsGiveTheirMessagesAndStatusAndLogOnlyWhatRan) {
    WriteFirmware(dir.File("fw.rom"), 20);
    // Frequency record that breaks two of the duration rules.
    EditRecord(TTableId::DataLF, "КП-1 Подстанция Северная", [](TTable& t) {
        t.SetFieldByName("EImpTY2", TValue(10));
        t.SetFieldByName("EImpTC", TValue(1000));
    });
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> messages; // on standard error, in this order
    };
    const Case cases[] = {
        {{}, 2, {"не указано задание"}},
        {{"flash"}, 2, {"вызов: talmar-cli flash ФАЙЛ"}},
        {{"identify", "--speed"}, 2, {"неизвестный параметр --speed"}},
        {{"settings", "xf", "КП"}, 2, {"система \"xf\" неизвестна"}},
        {{"--port", "LPT1", "identify"}, 2, {"порт \"LPT1\" задаётся как COMn"}},
        {{"flash", "нет.rom"}, 2, {"Нет файла нет.rom"}},
        {{"settings", "lt", "КП-99"}, 2, {"В таблице Data_LT.DB нет КП с названием \"КП-99\""}},
        {{"settings", "lf", "КП-1 Подстанция Северная"},
         1,
         {"Ошибка в параметрах длительностей ТУ", "Ошибка в параметрах длительностей ТC"}},
        {{"--port", "/dev/talmar-no-such-port", "identify"},
         2,
         {"Порт /dev/talmar-no-such-port: Unable to open com port (win error code: 2)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const TCliResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        size_t at = 0;
        for (const auto& m : c.messages) {
            at = r.err.find(m, at);
            EXPECT_NE(at, std::string::npos) << "missing: " << m << "\nin: " << r.err;
        }
    }
    EXPECT_TRUE(sim->Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(Log()));

    // The modem spoils the answer to the begin request (replies: two identifications,
    // preparation, begin): the run stops before any data block.
    sim::TModemFaults faults;
    faults.badCrcOnReply = 4;
    sim->SetFaults(0, faults);
    TCliResult r = Run({"flash", "fw.rom"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err), std::vector<std::string>{"Не удалось прошить файл в модем"});
    auto log = LogFileLines(Log());
    ASSERT_EQ(log.size(), 6u);
    EXPECT_TRUE(Matches(log[5], kStamp + ": не удалось прошить файл в модем")) << log[5];
    for (const auto& q : sim->Requests())
        EXPECT_NE(q.request.at(1), FN_WRITE_FLASH);

    // The same for a settings file (replies: identification, begin).
    WriteFileBytes(dir.File("s.eep"), "0010:0A\r\n");
    faults.badCrcOnReply = 2;
    sim->SetFaults(0, faults);
    r = Run({"eeprom", "s.eep"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err), std::vector<std::string>{"Не удалось прошить настройки в модем"});
    log = LogFileLines(Log());
    EXPECT_TRUE(Matches(log.back(), kStamp + ": не удалось прошить настройки")) << log.back();
}

TEST_F(Cli, QuietNeverHidesWhyAJobFailedAndAnUnsavedLogDoesNotUndoAJobDone) {
    const auto words = WriteFirmware(dir.File("fw.rom"), 8);
    // The answer to the identification is spoiled: the job ends on the log line alone.
    sim::TModemFaults faults;
    faults.badCrcOnReply = 1;
    sim->SetFaults(0, faults);
    TCliResult r = Run({"--quiet", "flash", "fw.rom"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Модем не отвечает или не поддерживает Modbus\n");

    // Log.txt cannot be written (its temporary file's name is taken by a folder): the modem is
    // programmed all the same, and standard error says the log was not saved.
    sim->SetFaults(0, {});
    std::filesystem::create_directory(dir.File("Log.txt.tmp"));
    const std::string before = ReadFileBytes(Log());
    r = Run({"--quiet", "flash", "fw.rom"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Не удалось дописать журнал Log.txt")) << r.err;
    const auto flash = sim->Flash(0);
    EXPECT_TRUE(std::equal(words.begin(), words.end(), flash.begin()));
    EXPECT_EQ(ReadFileBytes(Log()), before);
}

TEST_F(Cli, RefusesWhileTheWindowHoldsTheLock) {
    WriteFirmware(dir.File("fw.rom"), 8);
    setenv("TALMAR_LOCK_DIR", dir.Path().c_str(), 1);
    TInstanceLock window;
    ASSERT_TRUE(window.Acquire());
    const TCliResult r = Run({"flash", "fw.rom"});
    unsetenv("TALMAR_LOCK_DIR");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "Тальмар уже работает")) << r.err;
    EXPECT_TRUE(sim->Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(Log()));
    window.Release();
    EXPECT_EQ(Run({"flash", "fw.rom"}).status, 0);
}

TEST_F(Cli, TraceShowsEveryRequestAndReplyAsTheyWentOverTheLine) {
    const TCliResult r = Run({"identify", "--trace"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto requests = sim->Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto hex = [](const sim::TBytes& bytes) {
        std::string s;
        char b[4];
        for (const uint8_t x : bytes) {
            std::snprintf(b, sizeof b, " %02X", x);
            s += b;
        }
        return s;
    };
    const auto trace = Lines(r.err);
    ASSERT_EQ(trace.size(), 2u) << r.err;
    const std::string ms = R"(\[ *\d+\.\d{3}\] )";
    EXPECT_TRUE(Matches(trace[0], ms + "->" + hex(requests[0].request))) << trace[0];
    EXPECT_TRUE(Matches(trace[1], ms + "<-" + hex(requests[0].reply))) << trace[1];
    // The identification request as the modem expects it: slave 0, service, ident, right CRC.
    EXPECT_EQ(requests[0].request.at(1), FN_SERVICE);
    EXPECT_EQ(requests[0].request.at(5), SUB_IDENT);
    EXPECT_TRUE(sim::CrcOk(requests[0].request));
}

// Each case waits out the identification of a modem that does not answer (about nine seconds);
// the two lines run side by side.
TEST_F(Cli, SlowSilentModemFailsFlashAndPollingWithTheWindowsWords) {
    WriteFirmware(dir.File("fw.rom"), 8);
    sim::TModemFaults silent;
    silent.silent = true;
    sim->SetFaults(0, silent);
    TTempDir other;
    sim::TModemSim otherSim;
    otherSim.SetFaults(0, silent);
    SampleTables(other.Path());

    TCliProcess flash(dir.Path(), sim->SlavePath(), {"flash", "fw.rom"});
    TCliProcess poll(other.Path(), otherSim.SlavePath(), {"identify"});
    const TCliResult f = flash.Finish();
    const TCliResult p = poll.Finish();

    EXPECT_EQ(f.status, 1);
    const auto log = LogFileLines(Log());
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[4], "Модем не отвечает или не поддерживает Modbus");
    EXPECT_EQ(sim->Requests().size(), 1u); // the identification request only

    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err, "Модем не отвечает или не поддерживает Modbus\n");
}

TEST_F(Cli, SlowModemSilentInModbusIsProgrammedByTheDirectPath) {
    // Firmware: the modem answers the job's identification, then falls silent in Modbus.
    const auto words = WriteFirmware(dir.File("fw.rom"), 12);
    std::thread flip([&] {
        if (sim->WaitForRequests(1, std::chrono::seconds(20))) {
            sim::TModemFaults faults;
            faults.silentModbus = true;
            sim->SetFaults(0, faults);
        }
    });
    // A settings file to a modem silent in Modbus from the start: no identification of its own,
    // so the run goes straight on by the direct path.
    TTempDir other;
    sim::TModemSim otherSim;
    sim::TModemFaults faults;
    faults.silentModbus = true;
    otherSim.SetFaults(0, faults);
    SampleTables(other.Path());
    WriteFileBytes(other.File("s.eep"), "0020:35\r\n0021:0C\r\n0005:00\r\n");

    TCliProcess flash(dir.Path(), sim->SlavePath(), {"flash", "fw.rom"});
    TCliProcess eeprom(other.Path(), otherSim.SlavePath(), {"eeprom", "s.eep"});
    const TCliResult f = flash.Finish();
    const TCliResult e = eeprom.Finish();
    flip.join();

    EXPECT_EQ(f.status, 0) << f.err;
    const auto flashWords = sim->Flash(0);
    EXPECT_TRUE(std::equal(words.begin(), words.end(), flashWords.begin()));
    EXPECT_TRUE(Matches(LogFileLines(Log()).back(), kStamp + ": OK!"));

    EXPECT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(otherSim.Eeprom(0), ExpectedEeprom(other.File("s.eep"), otherSim.Eeprom(0).size()));
    const auto requests = otherSim.Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(),
                            [](const auto& q) { return q.kind == sim::TRequestKind::Direct; }));
    for (const auto& q : requests)
        EXPECT_FALSE(q.kind == sim::TRequestKind::Modbus && !q.reply.empty());
}
