// The main window's modem commands, offscreen, against the modem simulator over a pty, with the
// sample tables made by talmar-tables.
#include "app/MainWindow.h"
#include "base/Cp1251.h"
#include "jobs/RecordJob.h"
#include "link/LogFile.h"
#include "sim/ModemSim.h"
#include "store/DMTables.h"
#include "tests/support/ExpectedEeprom.h"
#include "tests/support/LogLines.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <regex>
#include <thread>

using namespace talmar;
using talmar::test::kStamp;
using talmar::test::Matches;
using talmar::test::ReadFileBytes;
using talmar::test::TRecordingHost;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

namespace {

// A Generic firmware file of `words` consecutive words from address 0.
std::vector<uint16_t> WriteFirmware(const std::string& path, int words) {
    return talmar::test::WriteFirmware(path, words, 0xC000, 7);
}

struct Commands : ::testing::Test, talmar::test::TProgramParts {
    TTempDir dir{true};
    std::unique_ptr<sim::TModemSim> sim;

    void SetUp() override {
        ASSERT_TRUE(talmar::test::MakeSampleTables());
        sim = std::make_unique<sim::TModemSim>();
        setenv("TALMAR_COM2", sim->SlavePath().c_str(), 1); // the sample Pref.db says COM2
        ASSERT_TRUE(OpenProgram());
    }
    void TearDown() override {
        w.reset();
        dm.reset();
        unsetenv("TALMAR_COM2");
    }

    size_t LogSize() const { return w->LogLines().size(); }
    // The modem answers the command's own identification, then falls silent in Modbus, so the run
    // takes the direct path. Join the thread after the command.
    std::thread SilentInModbusAfterTheFirstRequest() {
        return std::thread([this] {
            if (sim->WaitForRequests(1, std::chrono::seconds(20))) {
                sim::TModemFaults faults;
                faults.silentModbus = true;
                sim->SetFaults(0, faults);
            }
        });
    }
    std::vector<std::string> NewLines(size_t from) const {
        return {w->LogLines().begin() + static_cast<long>(from), w->LogLines().end()};
    }
    void ExpectIdle() const {
        EXPECT_FALSE(w->Locked());
        EXPECT_TRUE(w->ToolBar1->isEnabled());
        EXPECT_TRUE(w->PrBar->isHidden());
        EXPECT_EQ(w->Programmator, nullptr);
    }
    // The EEPROM a modem holds after temp.eep was programmed into a blank one, in the order the
    // reader writes the lines.
    sim::TBytes ExpectedEeprom(size_t size) const {
        return talmar::test::EepromAfterSettingsFile(ReadFileBytes("temp.eep"), size);
    }
};

} // namespace

TEST_F(Commands, FirmwareGoesIntoFlashWithLogAndProgress) {
    const auto words = WriteFirmware(dir.File("fw.rom"), 100);
    w->FileChosen(dir.File("fw.rom"));
    const size_t before = LogSize();
    int maxSeen = 0, lastSeen = 0;
    QObject::connect(w->PrBar, &QProgressBar::valueChanged, [&](int v) {
        maxSeen = w->PrBar->maximum();
        lastSeen = v;
    });
    w->ProgFlashExecute();

    const auto lines = NewLines(before);
    ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(Matches(lines[0], kStamp + ": прошиваю файл \"" + dir.File("fw.rom") + "\"\\.\\.\\."))
        << lines[0];
    EXPECT_EQ(lines[1], "ЛТР-20 v3");
    EXPECT_TRUE(Matches(lines[2], kStamp + ": OK!")) << lines[2];
    EXPECT_TRUE(host->messages.empty());
    EXPECT_EQ(maxSeen, 200); // the bar counts bytes: two per word
    EXPECT_EQ(lastSeen, 200);
    EXPECT_EQ(w->ProgressTotal, 200);
    const auto flash = sim->Flash(0);
    EXPECT_TRUE(std::equal(words.begin(), words.end(), flash.begin()));
    EXPECT_EQ(flash[100], 0xFFFF);
    ExpectIdle();
    // The log is on disk as soon as the command ends.
    EXPECT_NE(ReadFileBytes("Log.txt").find(": OK!\r\n"), std::string::npos);
}

TEST_F(Commands, FailedRunAndMissingFileAndClosedPortEachEndCleanly) {
    // No file chosen: a message, nothing logged, the log not marked.
    size_t before = LogSize();
    w->ProgFlashExecute();
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"Введите имя файла"});
    EXPECT_EQ(LogSize(), before);
    EXPECT_FALSE(w->LogChanged);
    ExpectIdle();

    // A bad CRC in the answer to the begin request (replies: two identifications, preparation,
    // begin) ends the run before any data block.
    WriteFirmware(dir.File("fw.rom"), 20);
    w->FileChosen(dir.File("fw.rom"));
    sim::TModemFaults faults;
    faults.badCrcOnReply = 4;
    sim->SetFaults(0, faults);
    host->messages.clear();
    before = LogSize();
    w->ProgFlashExecute();
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"Не удалось прошить файл в модем"});
    auto lines = NewLines(before);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(Matches(lines[2], kStamp + ": не удалось прошить файл в модем")) << lines[2];
    for (const auto& r : sim->Requests())
        EXPECT_NE(r.request.at(1), FN_WRITE_FLASH);
    ExpectIdle();

    // A port that cannot be opened: the error's own text after the window is unlocked.
    setenv("TALMAR_COM2", "/dev/talmar-no-such-port", 1);
    host->messages.clear();
    before = LogSize();
    w->ProgFlashExecute();
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].text, "Unable to open com port (win error code: 2)");
    EXPECT_EQ(host->messages[0].icon, TMsgIcon::Error);
    EXPECT_EQ(NewLines(before).size(), 1u); // the start line stays
    ExpectIdle();
}

TEST_F(Commands, PollingShowsTheIdentificationAndLeavesTheLogAlone) {
    const size_t before = LogSize();
    w->TBGetInfoClick();
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"ЛТР-20 v3"});
    EXPECT_EQ(LogSize(), before);
    EXPECT_FALSE(w->LogChanged);
    EXPECT_FALSE(w->ComPort1().Connected());
    ExpectIdle();
}

TEST_F(Commands, SettingsOfEachTableLandInEepromByteForByte) {
    struct Case {
        TTable& table;
        std::string startPattern;
        int sysCode;
    };
    // A settings file chosen earlier is never what this command programs.
    WriteFileBytes(dir.File("other.eep"), "0000:55\r\n");
    w->FileChosen(dir.File("other.eep"));
    std::filesystem::current_path(dir.Path());
    const std::string tail = R"(,   р\.к\.= -?\d+ дБ,   с\.к\.= -?\d+ дБ)";
    const Case cases[] = {
        {dm->TDataLF(), kStamp + ": прошиваю настройки .+, частотная,   номер КП = \\d+" + tail,
         kSysFrequency},
        {dm->TDataLT(), kStamp + ": прошиваю настройки .+, временная, номер КП = \\d+" + tail, kSysTime},
        {dm->TDataORTEN(), kStamp + ": прошиваю настройки .+, ОРТЕН" + tail, kSysORTEN},
    };
    const uint16_t sysAddr = static_cast<uint16_t>(dm->FindParam("eSysMode")->addr.AsInteger());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.Name());
        sim->SetEeprom(0, sim::TBytes(sim->Eeprom(0).size(), 0xFF));
        c.table.First();
        const size_t before = LogSize();
        EXPECT_TRUE(ProgramRecord(*dm, w->Host(), c.table, {}, w->SettingsRun()).handedOn);
        EXPECT_EQ(w->SettingsFileName, "temp.eep");
        EXPECT_TRUE(host->messages.empty()) << ::testing::PrintToString(host->Texts());
        const auto lines = NewLines(before);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(Matches(lines[0], c.startPattern)) << lines[0];
        EXPECT_TRUE(Matches(lines[1], kStamp + ": OK!"));
        const auto eeprom = sim->Eeprom(0);
        EXPECT_EQ(eeprom, ExpectedEeprom(eeprom.size()));
        EXPECT_EQ(eeprom.at(sysAddr), c.sysCode);
        EXPECT_NE(eeprom.at(0), 0x55);
        ExpectIdle();
    }
}

TEST_F(Commands, SettingsStartTextShowsStoredLevelsNotCorrected) {
    TTable& lf = dm->TDataLF();
    lf.First();
    lf.Edit();
    lf.SetFieldByName("NameKP", TValue("КП Северный"));
    lf.SetFieldByName("NumKP", TValue(7));
    lf.SetFieldByName("AttenTr1", TValue(-20));
    lf.SetFieldByName("AttenTrAUX", TValue(-3));
    lf.SetFieldByName("ResistTr", TValue(-6));
    lf.Post();
    EXPECT_EQ(TFMain::SettingsStartText(lf),
              ": прошиваю настройки КП Северный, частотная,   номер КП = 7,   р.к.= -20 дБ,   с.к.= -3 дБ");
}

TEST_F(Commands, FailedSettingsRunShowsTheMessageThenLogsTheFailure) {
    // Replies of an EEPROM run: identification, begin, the data blocks, end. Spoil them all.
    sim::TModemFaults faults;
    faults.badCrcOnReply = 2;
    sim->SetFaults(0, faults);
    dm->TDataLT().First();
    const size_t before = LogSize();
    ProgramRecord(*dm, w->Host(), dm->TDataLT(), {}, w->SettingsRun());
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"Не удалось прошить настройки в модем"});
    const auto lines = NewLines(before);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Matches(lines[1], kStamp + ": не удалось прошить настройки")) << lines[1];
    EXPECT_TRUE(w->LogChanged);
    ExpectIdle();
}

TEST_F(Commands, SlowSilentModemIsLoggedWithoutADateAndNothingMoreIsSent) {
    sim::TModemFaults faults;
    faults.silent = true;
    sim->SetFaults(0, faults);
    WriteFirmware(dir.File("fw.rom"), 8);
    w->FileChosen(dir.File("fw.rom"));
    const size_t before = LogSize();
    w->ProgFlashExecute();
    const auto lines = NewLines(before);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Модем не отвечает или не поддерживает Modbus");
    EXPECT_TRUE(host->messages.empty());
    EXPECT_EQ(sim->Requests().size(), 1u); // the identification request only
    EXPECT_TRUE(w->LogChanged);
    ExpectIdle();
}

TEST_F(Commands, SlowModemSilentInModbusAfterItsFirstAnswerIsProgrammedByTheDirectPath) {
    const auto words = WriteFirmware(dir.File("fw.rom"), 12);
    w->FileChosen(dir.File("fw.rom"));
    std::thread flip = SilentInModbusAfterTheFirstRequest();
    const size_t before = LogSize();
    w->ProgFlashExecute();
    flip.join();
    const auto lines = NewLines(before);
    ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(Matches(lines[2], kStamp + ": OK!")) << lines[2];
    const auto flash = sim->Flash(0);
    EXPECT_TRUE(std::equal(words.begin(), words.end(), flash.begin()));
    // Sync, enable and erase answers count too, so the bar ends past its maximum of 24.
    EXPECT_EQ(w->ProgressTotal, 3 + 2 * 12);
    ExpectIdle();
}

namespace {

// Input as it waits in the queue: a key press with its release, a click with its release.
void QueueKey(QWidget* target, Qt::Key key) {
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

void QueueClick(QWidget* target) {
    const QPointF at = QRectF(target->rect()).center();
    const QPointF global = target->mapToGlobal(at);
    for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            target, new QMouseEvent(type, at, global, Qt::LeftButton,
                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                    Qt::NoModifier));
}

} // namespace

TEST_F(Commands, KeysAndClicksQueuedWhileACommandRunsAreDroppedWhenItEnds) {
    WriteFirmware(dir.File("fw.rom"), 8);
    w->FileChosen(dir.File("fw.rom"));
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QWidget* poll = w->ToolBar1->findChild<QWidget*>("TBGetInfo");
    ASSERT_NE(poll, nullptr);
    auto settle = [] {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    };

    // A second F4 and a click on "Опрос модема" waiting while the modem is asked (its answer is
    // spoiled, so the command ends at once)...
    sim::TModemFaults faults;
    faults.badCrcOnReply = 1;
    sim->SetFaults(0, faults);
    size_t before = LogSize();
    QueueKey(w.get(), Qt::Key_F4);
    QueueClick(poll);
    w->ProgFlashExecute();
    settle();
    EXPECT_EQ(NewLines(before).size(), 2u) << ::testing::PrintToString(NewLines(before));
    EXPECT_TRUE(host->messages.empty()) << ::testing::PrintToString(host->Texts());
    EXPECT_EQ(sim->Requests().size(), 1u);

    // ... and while the failure is being reported, just before the window unlocks.
    faults.badCrcOnReply = 4; // the answer to the begin request
    sim->SetFaults(0, faults);
    sim->ClearLog();
    host->onMessage = [&](const auto&) {
        QueueKey(w.get(), Qt::Key_F4);
        QueueClick(poll);
    };
    before = LogSize();
    w->ProgFlashExecute();
    host->onMessage = nullptr;
    settle();
    EXPECT_EQ(NewLines(before).size(), 3u) << ::testing::PrintToString(NewLines(before));
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"Не удалось прошить файл в модем"});
    EXPECT_EQ(sim->Requests().size(), 4u);
    ExpectIdle();

    // Once the window is idle again, the same key starts the command.
    host->messages.clear();
    sim->SetFaults(0, {});
    before = LogSize();
    QueueKey(w.get(), Qt::Key_F4);
    settle();
    ASSERT_EQ(NewLines(before).size(), 3u) << ::testing::PrintToString(NewLines(before));
    EXPECT_TRUE(Matches(NewLines(before)[2], kStamp + ": OK!"));
}

TEST_F(Commands, PollingShowsTheHourglassWhileItWaitsAndKeepsTheWindowAlive) {
    std::optional<Qt::CursorShape> whileAsking;
    w->ComPort1().SetTrace([&](bool out, const uint8_t*, int) {
        if (out)
            whileAsking =
                QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
    });
    bool cursorOverAnswer = true;
    host->onMessage = [&](const auto&) { cursorOverAnswer = QApplication::overrideCursor() != nullptr; };
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);

    w->TBGetInfoClick();

    timer.stop();
    EXPECT_EQ(whileAsking, Qt::WaitCursor);
    EXPECT_FALSE(cursorOverAnswer); // the answer is shown with the arrow
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"ЛТР-20 v3"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The identification's fixed pauses (50 and 500 ms) let the timers run.
    EXPECT_GT(ticks, 0);
}

TEST_F(Commands, SlowDeadCableInTheDirectRunEndsAsAFailedRunWithItsLogLine) {
    const auto words = WriteFirmware(dir.File("fw.rom"), 4);
    w->FileChosen(dir.File("fw.rom"));
    // The cable goes dead once the modem, silent in Modbus after the command's identification, has
    // taken programming enable (synchronisation and enable answered).
    std::thread flip = SilentInModbusAfterTheFirstRequest();
    QObject::connect(w->PrBar, &QProgressBar::valueChanged, [&](int v) {
        if (v == 2) {
            sim::TModemFaults faults;
            faults.silent = true;
            sim->SetFaults(0, faults);
        }
    });
    const size_t before = LogSize();
    w->ProgFlashExecute();
    flip.join();

    EXPECT_EQ(host->Texts(), (std::vector<std::string>{"Модем не вышел из режима прошивки",
                                                       "Не удалось прошить файл в модем"}));
    const auto lines = NewLines(before);
    ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(Matches(lines[2], kStamp + ": не удалось прошить файл в модем")) << lines[2];
    EXPECT_NE(ReadFileBytes("Log.txt").find(Utf8ToCp1251(": не удалось прошить файл в модем\r\n")),
              std::string::npos);
    EXPECT_NE(sim->Flash(0)[0], words[0]);
    EXPECT_FALSE(w->ComPort1().Connected());
    ExpectIdle();
}

TEST_F(Commands, LineBreaksAndZeroPaddingNeverReachTheLogAsSuch) {
    // The modem pads a short text with zeros and has a line break in it; a КП name holds one too.
    sim::TModemConfig modem = sim->Config(0);
    modem.identBytes = sim::TBytes{0xCB, 0xD2, 0xD0, '\n', '2', '0', 0, 0, 0};
    sim->SetConfig(0, modem);
    WriteFirmware(dir.File("fw.rom"), 4);
    w->FileChosen(dir.File("fw.rom"));
    size_t before = LogSize();
    w->ProgFlashExecute();
    ASSERT_EQ(NewLines(before).size(), 3u);
    EXPECT_EQ(NewLines(before)[1], "ЛТР 20");

    std::filesystem::current_path(dir.Path());
    TTable& lt = dm->TDataLT();
    lt.First();
    lt.Edit();
    lt.SetFieldByName("NameKP", TValue("КП\r\nСеверный"));
    lt.Post();
    before = LogSize();
    EXPECT_TRUE(ProgramRecord(*dm, w->Host(), lt, {}, w->SettingsRun()).handedOn);
    ASSERT_EQ(NewLines(before).size(), 2u);
    EXPECT_NE(NewLines(before)[0].find(": прошиваю настройки КП Северный, временная"), std::string::npos)
        << NewLines(before)[0];

    // Line for line, the file holds what the pane shows.
    std::vector<std::string> onDisk;
    ASSERT_EQ(LoadLogLines("Log.txt", onDisk), TLogLoad::Loaded);
    EXPECT_EQ(onDisk, w->LogLines());
}
