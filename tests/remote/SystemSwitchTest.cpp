// The system switch without its window, against a simulated line of КП at 9600 baud and real
// tables. The window is a recording stand-in whose pauses return at once.
#include "remote/core/SystemSwitch.h"

#include "link/ComPort.h"
#include "sim/ModemSim.h"
#include "store/DMTables.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace talmar;
using talmar::test::TRecordingHost;
using talmar::test::TTempDir;

namespace {

constexpr int kRows = 10;
constexpr int kFirstController = 21;    // row n has controller 20 + n
constexpr uint16_t kSysModeAddr = 0x00; // eSysMode in the test map

// The window as the switch sees it, recording what it is told.
struct TFakeWindow : ISwitchWindow {
    std::map<TSwitchButton, std::string> caption;
    std::map<TSwitchButton, bool> enabled;
    std::string count = "1";
    std::string timeOut = "0";
    bool version = false;
    std::vector<std::int64_t> selected;

    std::string lbSuccess = "0/0";
    std::vector<std::string> counters; // every text shown in LbSuccess
    bool busy = false;
    std::vector<TSwitchRow> worked;
    std::vector<std::int64_t> waits;  // ms of each pause
    std::vector<std::size_t> waitsAt; // requests on the line when each pause began
    std::function<void()> onWait;     // during a pause
    std::function<void()> onProcess;  // at each processing of pending messages
    const sim::TModemSim* line = nullptr;

    TFakeWindow() {
        for (const TSwitchButton b : kSwitchButtons) {
            caption[b] = SwitchButtonCaption(b);
            enabled[b] = true;
        }
    }
    std::string ButtonCaption(TSwitchButton b) const override { return caption.at(b); }
    void SetButtonCaption(TSwitchButton b, const std::string& c) override { caption[b] = c; }
    void SetButtonEnabled(TSwitchButton b, bool e) override { enabled[b] = e; }
    std::string CountText() const override { return count; }
    std::string TimeOutText() const override { return timeOut; }
    bool VersionChecked() const override { return version; }
    std::vector<std::int64_t> SelectedRowIds() const override { return selected; }
    void ShowCounters(const std::string& text) override {
        lbSuccess = text;
        counters.push_back(text);
    }
    void SetBusyCursor(bool b) override { busy = b; }
    void ProcessMessages() override {
        if (onProcess)
            onProcess();
    }
    void Wait(std::int64_t ms) override {
        waits.push_back(ms);
        waitsAt.push_back(line->Requests().size());
        if (onWait)
            onWait();
    }
    void RowWorked(const TSwitchRow& row) override { worked.push_back(row); }

    bool GivenBack() const {
        for (const TSwitchButton b : kSwitchButtons)
            if (caption.at(b) != SwitchButtonCaption(b) || !enabled.at(b))
                return false;
        return !busy;
    }
};

struct SystemSwitch : ::testing::Test {
    TTempDir dir{true};
    TRecordingHost host;
    std::unique_ptr<sim::TModemSim> sim;
    TComPort port;
    TFakeWindow window;
    std::unique_ptr<TDMTables> dm;
    std::unique_ptr<TSystemSwitch> sw;
    std::vector<std::int64_t> ids; // row ids in table order

    void SetUp() override {
        test::CreateAllTables();
        test::WriteTestMap();
        test::ExecSql("Pref.db", "INSERT INTO Pref VALUES (7, 1);");
        std::string sql;
        for (int n = 1; n <= kRows; ++n)
            sql += "INSERT INTO Data_ORTEN (NameKP, ENumController, SysMode, V4433) VALUES ('КП-" +
                   std::to_string(n) + "', " + std::to_string(20 + n) + ", 2, 'старая');";
        test::ExecSql("Data_ORTEN.DB", sql);

        std::vector<sim::TModemConfig> modems;
        for (int n = 1; n <= kRows; ++n) {
            sim::TModemConfig c;
            c.programmed = false;
            c.controller = static_cast<uint8_t>(20 + n);
            c.eepromInit[kSysModeAddr] = static_cast<uint8_t>(n % 3 + 1);
            c.version = "v" + std::to_string(n);
            modems.push_back(c);
        }
        sim = std::make_unique<sim::TModemSim>(modems, sim::TLineConfig{});
        setenv("TALMAR_COM7", sim->SlavePath().c_str(), 1);
        window.line = sim.get();

        dm = std::make_unique<TDMTables>(host);
        ASSERT_TRUE(dm->Open());
        for (int r = 0; r < dm->TDataORTEN().RecordCount(); ++r)
            ids.push_back(dm->TDataORTEN().RowIdAt(r));
        sw = std::make_unique<TSystemSwitch>(*dm, port, host, window);
    }

    std::int64_t Row(int n) const { return ids.at(static_cast<std::size_t>(n - 1)); }
    sim::TModemFaults& Faults(int n) {
        faults_[n] = sim->Config(static_cast<std::size_t>(n - 1)).faults;
        return faults_[n];
    }
    void ApplyFaults() {
        for (auto& [n, f] : faults_)
            sim->SetFaults(static_cast<std::size_t>(n - 1), f);
    }
    // What the file holds for row n (another reader of the shared table).
    TValue Stored(int n, const char* field) const {
        TTable t(TableDef(TTableId::DataORTEN));
        t.Open();
        EXPECT_TRUE(t.GotoRowId(ids.at(static_cast<std::size_t>(n - 1))));
        return t.FieldByName(field);
    }
    // The slave address of each request on the line, in order.
    std::vector<int> Slaves() const {
        std::vector<int> out;
        for (const auto& r : sim->Requests())
            out.push_back(r.request.at(0));
        return out;
    }
    void ExpectLineGivenBack() const {
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(port.BaudRate(), br38400);
        EXPECT_TRUE(window.GivenBack());
        EXPECT_FALSE(sw->Running());
        EXPECT_FALSE(sw->StopRequested());
        EXPECT_EQ(dm->TDataORTEN().State(), TTableState::Browse);
    }

private:
    std::map<int, sim::TModemFaults> faults_;
};

} // namespace

TEST_F(SystemSwitch, PollStoresSystemAndVersionOfEachKpAndCountsExchanges) {
    auto eeprom = sim->Eeprom(2);
    eeprom[kSysModeAddr] = 0;
    sim->SetEeprom(2, eeprom);
    eeprom = sim->Eeprom(3);
    eeprom[kSysModeAddr] = 7;
    sim->SetEeprom(3, eeprom);
    sim::TModemConfig c = sim->Config(4);
    c.versionCount = 1;
    sim->SetConfig(4, c);
    Faults(2).badCrcOnReply = 2; // row 2: the system code comes, the version is spoiled
    Faults(6).shortReplyOn = 1;  // row 6: the system code comes one byte short, the version comes
    ApplyFaults();
    window.version = true;
    window.selected = {Row(1), Row(2), Row(3), Row(4), Row(5), Row(6)};
    // During the exchange the row shows the request under way.
    std::vector<std::string> underWay;
    window.onProcess = [&] { underWay.push_back(dm->TDataORTEN().FieldByName("TextSysMode").AsString()); };

    const TSwitchResult r = sw->BReadClick();
    EXPECT_EQ(r.outcome, TSwitchOutcome::Done);
    EXPECT_TRUE(host.messages.empty());
    struct {
        int row;
        int sysMode;
        const char* text;
        const char* version;
    } expected[] = {
        {1, 2, "Временная", "v1"}, {2, 3, "ОРТЕН", "----"}, {3, 0, "Не отвечает", "v3"},
        {4, 7, "", "v4"},          {5, 3, "ОРТЕН", ""},     {6, 0, "Не отвечает", "v6"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.row);
        EXPECT_EQ(Stored(e.row, "SysMode"), TValue(e.sysMode));
        EXPECT_EQ(Stored(e.row, "V4433").AsString(), e.version);
        EXPECT_EQ(window.worked.at(static_cast<std::size_t>(e.row - 1)).sysText, e.text);
    }
    EXPECT_EQ(Stored(7, "SysMode"), TValue(2)); // not selected: untouched
    EXPECT_EQ(Stored(7, "V4433").AsString(), "старая");
    // Two exchanges per КП: a code 0 is a valid reply; the failures are row 2's version and row 6's
    // system code.
    EXPECT_EQ(r.successCount, 10);
    EXPECT_EQ(r.failureCount, 2);
    EXPECT_EQ(window.lbSuccess, "10 / 2");
    ASSERT_GE(window.counters.size(), 4u);
    EXPECT_EQ(window.counters[0], "1 / 0");
    EXPECT_EQ(window.counters[3], "3 / 1");
    EXPECT_NE(std::find(underWay.begin(), underWay.end(), "выполняю..."), underWay.end());
    EXPECT_FALSE(window.worked[1].answered);
    EXPECT_TRUE(window.worked[2].answered);
    ExpectLineGivenBack();
}

TEST_F(SystemSwitch, RowsGoInTableOrderWithPausesOnlyBetweenRequests) {
    window.selected = {Row(5), Row(2), Row(9)};
    window.timeOut = "2";
    // Without the version option: a pause between rows, none after the last.
    ASSERT_EQ(sw->BReadClick().outcome, TSwitchOutcome::Done);
    EXPECT_EQ(Slaves(), (std::vector<int>{22, 25, 29}));
    EXPECT_EQ(window.waits, (std::vector<std::int64_t>{2000, 2000}));
    EXPECT_EQ(window.waitsAt, (std::vector<std::size_t>{1, 2}));

    // With it: a pause between the two requests of each КП, the last one's included.
    sim->ClearLog();
    window.waits.clear();
    window.waitsAt.clear();
    window.version = true;
    ASSERT_EQ(sw->BReadClick().outcome, TSwitchOutcome::Done);
    EXPECT_EQ(Slaves(), (std::vector<int>{22, 22, 25, 25, 29, 29}));
    EXPECT_EQ(window.waitsAt, (std::vector<std::size_t>{1, 2, 3, 4, 5}));

    // Two passes: a pause between them too; the rows are taken anew at each pass, so a selection
    // changed during the first pass counts from the second.
    sim->ClearLog();
    window.waitsAt.clear();
    window.version = false;
    window.count = "2";
    window.onWait = [&] { window.selected = {Row(1)}; };
    ASSERT_EQ(sw->BReadClick().outcome, TSwitchOutcome::Done);
    EXPECT_EQ(Slaves(), (std::vector<int>{22, 25, 29, 21}));
    EXPECT_EQ(window.waitsAt, (std::vector<std::size_t>{1, 2, 3}));

    // A negative pause makes none; the switch takes its rows once, whatever happens meanwhile.
    sim->ClearLog();
    window.waitsAt.clear();
    window.timeOut = "-5";
    window.selected = {Row(9), Row(2)};
    window.onProcess = [&] { window.selected = {Row(1)}; };
    ASSERT_EQ(sw->BChangeModeClick(TSwitchButton::BGoORTEN).outcome, TSwitchOutcome::Done);
    EXPECT_EQ(Slaves(), (std::vector<int>{22, 29}));
    EXPECT_TRUE(window.waitsAt.empty());
    ExpectLineGivenBack();
}

TEST_F(SystemSwitch, StopTakesEffectAtTheNextCheckAndNothingIsCutShort) {
    window.version = true;
    window.timeOut = "1";
    window.selected = {Row(1), Row(2)};
    // The stop is clicked during the pause before row 1's version request: the running command's
    // button reads "Остановить", so the click only sets the flag.
    std::vector<std::string> captionsDuringCommand;
    window.onWait = [&] {
        for (const TSwitchButton b : kSwitchButtons)
            captionsDuringCommand.push_back(window.caption[b] + (window.enabled[b] ? "" : " (недоступна)"));
        EXPECT_EQ(sw->BReadClick().outcome, TSwitchOutcome::Ignored);
        EXPECT_TRUE(sw->StopRequested());
    };
    const TSwitchResult r = sw->BReadClick();
    EXPECT_EQ(r.outcome, TSwitchOutcome::Stopped);
    EXPECT_EQ(captionsDuringCommand,
              (std::vector<std::string>{"Остановить", std::string(kCaptionBGoFrec) + " (недоступна)",
                                        std::string(kCaptionBGoTime) + " (недоступна)",
                                        std::string(kCaptionBGoORTEN) + " (недоступна)"}));
    // The version request still went; then nothing more, and no pause after the stop.
    EXPECT_EQ(Slaves(), (std::vector<int>{21, 21}));
    EXPECT_EQ(window.waits.size(), 1u);
    EXPECT_EQ(Stored(1, "V4433").AsString(), "v1");
    EXPECT_EQ(Stored(2, "SysMode"), TValue(2));
    EXPECT_EQ(Stored(2, "V4433").AsString(), "старая");
    ExpectLineGivenBack();

    // A switch stopped while its first request is being prepared: that request goes, then it ends.
    sim->ClearLog();
    window.onWait = nullptr;
    window.onProcess = [&] {
        if (window.caption[TSwitchButton::BGoTime] == kCaptionStop)
            sw->BChangeModeClick(TSwitchButton::BGoTime);
    };
    EXPECT_EQ(sw->BChangeModeClick(TSwitchButton::BGoTime).outcome, TSwitchOutcome::Stopped);
    EXPECT_EQ(Slaves(), (std::vector<int>{21}));
    EXPECT_EQ(Stored(1, "SysMode"), TValue(2));
    ExpectLineGivenBack();
}

TEST_F(SystemSwitch, SwitchWritesTheCodeAndStoresItForEveryValidReply) {
    Faults(3).badCrcOnReply = 1;
    ApplyFaults();
    window.selected = {Row(4), Row(3), Row(1)};
    const TSwitchResult r = sw->BChangeModeClick(TSwitchButton::BGoFrec);
    EXPECT_EQ(r.outcome, TSwitchOutcome::Done);
    EXPECT_EQ(r.successCount, 2);
    EXPECT_EQ(r.failureCount, 1);
    const auto log = sim->Requests();
    ASSERT_EQ(log.size(), 3u);
    // 21 1E 00 00 01 01 + CRC
    EXPECT_EQ(log[0].request, (sim::TBytes{21, 0x1E, 0x00, 0x00, 0x01, 0x01, 0x6A, 0x8C}));
    EXPECT_EQ(log[0].baud, 9600);
    EXPECT_EQ(sim->Eeprom(0)[kSysModeAddr], 1);
    EXPECT_EQ(sim->Eeprom(3)[kSysModeAddr], 1);
    EXPECT_EQ(Stored(1, "SysMode"), TValue(1));
    EXPECT_EQ(Stored(3, "SysMode"), TValue(0)); // written, but the reply was spoiled
    EXPECT_EQ(Stored(4, "SysMode"), TValue(1));
    EXPECT_EQ(Stored(4, "V4433").AsString(), "старая");
    EXPECT_TRUE(window.counters.empty()); // the switch leaves LbSuccess alone
    ExpectLineGivenBack();
}

TEST_F(SystemSwitch, NothingSelectedOrNoPassesSendsNothingAndGivesEverythingBack) {
    for (const char* count : {"1", "0", "-3"}) {
        SCOPED_TRACE(count);
        window.count = count;
        window.selected = std::string(count) == "1" ? std::vector<std::int64_t>{} : std::vector{Row(1)};
        EXPECT_EQ(sw->BReadClick().outcome, TSwitchOutcome::Done);
        EXPECT_TRUE(sim->Requests().empty());
        EXPECT_EQ(window.lbSuccess, "0/0");
        EXPECT_EQ(port.Port(), "COM7");
        ExpectLineGivenBack();
    }
    window.selected.clear();
    EXPECT_EQ(sw->BChangeModeClick(TSwitchButton::BGoTime).outcome, TSwitchOutcome::Done);
    EXPECT_TRUE(sim->Requests().empty());
    EXPECT_EQ(Stored(1, "SysMode"), TValue(2));
    ExpectLineGivenBack();
}

TEST_F(SystemSwitch, ANonNumberEndsTheCommandWithItsMessageAndEverythingGivenBack) {
    window.selected = {Row(1), Row(2)};
    window.timeOut = "1,5";
    // Read at the first pause, after row 1 has been asked: its result is kept.
    EXPECT_EQ(sw->BReadClick().outcome, TSwitchOutcome::Failed);
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"'1,5' is not a valid integer value"});
    EXPECT_EQ(Slaves(), std::vector<int>{21});
    EXPECT_EQ(Stored(1, "SysMode"), TValue(2));
    ExpectLineGivenBack();

    // ECount is read once the port is open: nothing is sent.
    host.messages.clear();
    sim->ClearLog();
    window.count = "два";
    EXPECT_THROW(sw->Poll(), std::exception);
    EXPECT_TRUE(sim->Requests().empty());
    ExpectLineGivenBack();
    EXPECT_EQ(sw->BReadClick().outcome, TSwitchOutcome::Failed);
    EXPECT_EQ(host.Texts(), std::vector<std::string>{"'два' is not a valid integer value"});

    // A port that fails in the middle of an exchange: the row does not stay "under way".
    host.messages.clear();
    window.count = "1";
    window.timeOut = "0";
    window.onProcess = [&] {
        if (dm->TDataORTEN().FieldByName("SysMode") == TValue(-1))
            port.Close();
    };
    EXPECT_EQ(sw->BChangeModeClick(TSwitchButton::BGoORTEN).outcome, TSwitchOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].text.find("PurgeComm function failed"), std::string::npos);
    EXPECT_EQ(Stored(1, "SysMode"), TValue(2));
    ExpectLineGivenBack();
}

TEST_F(SystemSwitch, WrongControllerNumbersOrNoSysModeAddressAreRefusedBeforeAnythingIsSent) {
    TTable& t = dm->TDataORTEN();
    ASSERT_TRUE(t.GotoRowId(Row(3)));
    t.Edit();
    t.SetFieldByName("ENumController", TValue());
    t.Post();
    ASSERT_TRUE(t.GotoRowId(Row(5)));
    t.Edit();
    t.SetFieldByName("ENumController", TValue(-1)); // its low 8 bits would reach modem 255
    t.Post();
    ASSERT_TRUE(t.GotoRowId(Row(8)));
    t.Edit();
    t.SetFieldByName("ENumController", TValue(300)); // would reach modem 44
    t.Post();
    window.selected = {Row(8), Row(1), Row(5), Row(3)};
    port.SetPort("COM9");
    for (const TSwitchButton b : {TSwitchButton::BRead, TSwitchButton::BGoFrec}) {
        host.messages.clear();
        const TSwitchResult r = b == TSwitchButton::BRead ? sw->BReadClick() : sw->BChangeModeClick(b);
        EXPECT_EQ(r.outcome, TSwitchOutcome::Refused);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text,
                  "Номер МКД - адрес КП на линии - должен быть от 0 до 255. Неверный номер у "
                  "КП: \"КП-3\" (номер не задан), \"КП-5\" (-1), \"КП-8\" (300). Запросы не "
                  "отправлены. "
                  "Исправьте N МКД в таблице Data_ORTEN.DB.");
    }
    // A number below 0 on its own is refused as well.
    window.selected = {Row(5)};
    host.messages.clear();
    EXPECT_EQ(sw->BChangeModeClick(TSwitchButton::BGoTime).outcome, TSwitchOutcome::Refused);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(sim->Requests().empty());
    EXPECT_EQ(port.Port(), "COM9"); // the port was not touched
    EXPECT_EQ(Stored(5, "SysMode"), TValue(2));
    EXPECT_EQ(Stored(1, "SysMode"), TValue(2));
    ExpectLineGivenBack();

    // Controller number 255 is an address of its own.
    sim::TModemConfig c = sim->Config(7);
    c.controller = 255;
    sim->SetConfig(7, c);
    t.Edit();
    t.SetFieldByName("ENumController", TValue(255));
    t.Post();
    window.selected = {Row(8)};
    host.messages.clear();
    EXPECT_EQ(sw->BReadClick().outcome, TSwitchOutcome::Done);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(Slaves(), std::vector<int>{255});

    // No address for eSysMode in ParamType.db: a message and nothing else.
    for (const char* sql : {"UPDATE ParamType SET Addr = NULL WHERE NameEng = 'eSysMode';",
                            "DELETE FROM ParamType WHERE NameEng = 'eSysMode';"}) {
        dm->Close();
        test::ExecSql("ParamType.db", sql);
        ASSERT_TRUE(dm->Open());
        sim->ClearLog();
        host.messages.clear();
        window.selected = {Row(1)};
        EXPECT_EQ(sw->BChangeModeClick(TSwitchButton::BGoTime).outcome, TSwitchOutcome::Refused);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].text.find("eSysMode"), std::string::npos);
        EXPECT_TRUE(sim->Requests().empty());
        ExpectLineGivenBack();
    }
}

// Waits out the read time-out of a silent КП (about 8 s).
TEST_F(SystemSwitch, SlowASilentKpShowsNoAnswerAndTheCommandGoesOn) {
    Faults(2).silent = true;
    ApplyFaults();
    window.selected = {Row(1), Row(2), Row(3)};
    const TSwitchResult r = sw->BReadClick();
    EXPECT_EQ(r.outcome, TSwitchOutcome::Done);
    EXPECT_EQ(r.successCount, 2);
    EXPECT_EQ(r.failureCount, 1);
    EXPECT_EQ(Stored(2, "SysMode"), TValue(0));
    EXPECT_EQ(window.worked.at(1).sysText, "Не отвечает");
    EXPECT_EQ(Stored(3, "SysMode"), TValue(1));
    EXPECT_TRUE(host.messages.empty());
    ExpectLineGivenBack();
}

// КП-1 answers after 9 s, when its request has been given up (8.12 s) and КП-2 has been asked
// (--kp-fault 21,delay,9000 on the simulator). Waits that out.
TEST_F(SystemSwitch, SlowALateReplyIsNotCreditedToTheNextKp) {
    Faults(1).extraDelayMs = 9000;
    ApplyFaults();
    std::vector<std::vector<uint8_t>> trace;
    port.SetTrace([&](bool, const uint8_t* data, int count) { trace.emplace_back(data, data + count); });
    window.selected = {Row(1), Row(2), Row(3)};
    const TSwitchResult r = sw->BReadClick();
    EXPECT_EQ(r.outcome, TSwitchOutcome::Done);
    using B = std::vector<uint8_t>;
    EXPECT_EQ(trace, (std::vector<B>{
                         B{0x15, 0xE3, 0x00, 0x00, 0x01, 0xDF, 0x87},
                         B{}, // КП-1 silent within the limit
                         B{0x16, 0xE3, 0x00, 0x00, 0x01, 0x9B, 0x87},
                         B{0x15, 0xE3, 0x01, 0x02, 0x75, 0x8F}, // КП-1's late reply
                         // КП-2's own reply, come after it, is thrown away before КП-3 is asked
                         B{0x17, 0xE3, 0x00, 0x00, 0x01, 0xA6, 0x47},
                         B{0x17, 0xE3, 0x01, 0x01, 0x34, 0x36},
                     }));
    EXPECT_EQ(r.successCount, 1);
    EXPECT_EQ(r.failureCount, 2);
    EXPECT_EQ(Stored(1, "SysMode"), TValue(0));
    EXPECT_EQ(Stored(2, "SysMode"), TValue(0)); // not КП-1's code 2
    EXPECT_EQ(Stored(3, "SysMode"), TValue(1));
    ExpectLineGivenBack();
}

TEST(SwitchRules, NumbersAsTypedAndCellColours) {
    EXPECT_EQ(StrToInt("12"), 12);
    EXPECT_EQ(StrToInt("  -3"), -3);
    EXPECT_EQ(StrToInt("+0"), 0);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "-", "1 ", "1.5", "0x10", "2147483648", "99999999999999999999"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EImageFile&) {
            ADD_FAILURE() << "a typing slip taken for an image file error: '" << bad << "'";
        } catch (const ETalmar& e) {
            EXPECT_EQ(e.Kind(), TErrorKind::Input);
            EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
    EXPECT_EQ(SysTextColour("выполняю..."), 0xFFFF00);
    EXPECT_EQ(SysTextColour("Не отвечает"), 0x808080);
    EXPECT_EQ(SysTextColour("Частотная"), 0xFF0000);
    EXPECT_EQ(SysTextColour("Временная"), 0x0000FF);
    EXPECT_EQ(SysTextColour("ОРТЕН"), 0x008000);
    EXPECT_EQ(SysTextColour(""), -1);
}
