// The line check without its window, against a simulated line of КП at 9600 baud and real
// tables: every byte of each КП's image read once, the differences named in the table's units,
// the repair writing only what it may, and the frames on the line exact.
#include "remote/core/LineCheck.h"

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
#include <thread>

using namespace talmar;
using talmar::test::TRecordingHost;
using talmar::test::TTempDir;

namespace {

constexpr int kRows = 4; // row n has controller 20 + n

// The EEPROM an ОРТЕН record of the test map puts into the modem of controller c: the
// controller number, attempts 3, service channels 16 and 15, receive -12 and -6 dB, transmit
// -20 and -10 dB on a line of 0 dB, and the system code 3.
std::map<uint16_t, uint8_t> OrtenImage(uint8_t c) {
    return {{0x00, 0x03}, {0x26, 0x03}, {0x2D, c},    {0x2F, 0x10}, {0x32, 0x0F}, {0x33, 0x0A}, {0x34, 0x04},
            {0x35, 0x06}, {0x36, 0x04}, {0x37, 0x0F}, {0x38, 0x00}, {0x3B, 0x08}, {0x3C, 0x02}};
}

sim::TBytes Frame(sim::TBytes body) {
    sim::AppendCrc(body);
    return body;
}
sim::TBytes Read(uint8_t slave, uint16_t addr) {
    return Frame({slave, 0xE3, static_cast<uint8_t>(addr >> 8), static_cast<uint8_t>(addr), 0x01});
}
sim::TBytes Write(uint8_t slave, uint16_t addr, uint8_t value) {
    return Frame({slave, 0x1E, static_cast<uint8_t>(addr >> 8), static_cast<uint8_t>(addr), 0x01, value});
}

struct TFakeView : ILineCheckView {
    std::vector<std::pair<int, int>> progress;
    std::vector<std::string> started;
    std::vector<TKpCheck> done;
    std::vector<std::pair<std::string, int>> asked; // КП and bytes of each confirmation
    bool confirm = true;
    std::vector<std::int64_t> waits;
    std::function<void()> onProgress;

    void ProcessMessages() override {}
    void Wait(std::int64_t ms) override { waits.push_back(ms); }
    void Progress(int d, int t) override {
        progress.emplace_back(d, t);
        if (onProgress)
            onProgress();
    }
    void KpStarted(const TKpCheck& kp) override { started.push_back(kp.name); }
    void KpDone(const TKpCheck& kp) override { done.push_back(kp); }
    bool ConfirmRepair(const TKpCheck& kp, int bytes) override {
        asked.emplace_back(kp.name, bytes);
        return confirm;
    }
};

struct LineCheck : ::testing::Test {
    TTempDir dir{true};
    TRecordingHost host;
    std::unique_ptr<sim::TModemSim> sim;
    TComPort port;
    TFakeView view;
    std::unique_ptr<TDMTables> dm;
    std::unique_ptr<TLineCheck> check;
    std::vector<std::int64_t> ids;

    void SetUp() override {
        test::CreateAllTables();
        test::WriteTestMap();
        test::ExecSql("Pref.db", "INSERT INTO Pref VALUES (7, 1);");
        std::string sql;
        for (int n = 1; n <= kRows; ++n)
            sql +=
                "INSERT INTO Data_ORTEN (NameKP, ENumController, EControllerFoundAttempts, EChannelRecAUX, "
                "EChannelTrAUX, AttenRec1, AttenRecAUX, AttenTr1, AttenTrAUX, Book, ResistTr) VALUES ('КП-" +
                std::to_string(n) + "', " + std::to_string(20 + n) +
                ", 3, 16, 15, -12, -6, -20, -10, '', 0);";
        test::ExecSql("Data_ORTEN.DB", sql);
        std::vector<sim::TModemConfig> modems;
        for (int n = 1; n <= kRows; ++n) {
            sim::TModemConfig c;
            c.programmed = false;
            c.controller = static_cast<uint8_t>(20 + n);
            c.eepromInit = OrtenImage(c.controller);
            modems.push_back(c);
        }
        sim = std::make_unique<sim::TModemSim>(modems, sim::TLineConfig{});
        setenv("TALMAR_COM7", sim->SlavePath().c_str(), 1);
        dm = std::make_unique<TDMTables>(host);
        ASSERT_TRUE(dm->Open());
        for (int r = 0; r < dm->TDataORTEN().RecordCount(); ++r)
            ids.push_back(dm->TDataORTEN().RowIdAt(r));
        check = std::make_unique<TLineCheck>(*dm, port, host, view);
    }

    std::int64_t Row(int n) const { return ids.at(static_cast<std::size_t>(n - 1)); }
    void Poke(int n, std::map<uint16_t, uint8_t> bytes) {
        auto e = sim->Eeprom(static_cast<std::size_t>(n - 1));
        for (const auto& [a, v] : bytes)
            e[a] = v;
        sim->SetEeprom(static_cast<std::size_t>(n - 1), e);
    }
    void SetFaults(int n, const sim::TModemFaults& f) { sim->SetFaults(static_cast<std::size_t>(n - 1), f); }
    std::vector<sim::TBytes> Sent() const {
        std::vector<sim::TBytes> out;
        for (const auto& r : sim->Requests())
            out.push_back(r.request);
        return out;
    }
    TCheckResult Run(std::vector<int> rows, bool repair = false, std::int64_t pause = 0) {
        std::vector<std::int64_t> r;
        for (const int n : rows)
            r.push_back(Row(n));
        return check->Run(dm->TDataORTEN(), r, repair, pause);
    }
    void ExpectPortGivenBack() const {
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(port.BaudRate(), br38400);
        EXPECT_FALSE(check->Running());
    }
};

// The image's addresses in order, eSysMode (written twice) read once.
std::vector<sim::TBytes> ReadsOf(uint8_t slave, std::size_t count = 13) {
    std::vector<sim::TBytes> out;
    for (const auto& [a, v] : OrtenImage(slave))
        if (out.size() < count)
            out.push_back(Read(slave, a));
    return out;
}

TEST_F(LineCheck, MatchingDifferingSilentAndHalfAnsweringKp) {
    // КП-2: its transmit level is -26 dB (19, 0) and its receive level -15 dB (12, 4).
    Poke(2, {{0x37, 0x13}, {0x33, 0x0C}});
    sim::TModemFaults silent;
    silent.silent = true;
    SetFaults(3, silent);
    sim::TModemFaults spoiled;
    spoiled.badCrcOnReply = 5;
    SetFaults(4, spoiled);

    const TCheckResult r = Run({1, 2, 3, 4}, false, 1500);
    EXPECT_EQ(r.outcome, TCheckOutcome::Done);
    ASSERT_EQ(r.kps.size(), 4u);
    EXPECT_EQ(r.kps[0].verdict, TKpVerdict::Matching);
    EXPECT_EQ(r.kps[0].Summary(), "совпадают");
    EXPECT_EQ(r.kps[0].bytesRead, 13);

    EXPECT_EQ(r.kps[1].verdict, TKpVerdict::Differing);
    EXPECT_EQ(r.kps[1].Summary(), "различий 2");
    ASSERT_EQ(r.kps[1].differences.size(), 2u);
    const TParamDifference& rec = r.kps[1].differences[0];
    EXPECT_EQ(rec.nameEng, "AttenRec1");
    EXPECT_EQ(rec.nameRus, "Имя AttenRec1");
    EXPECT_EQ(rec.addr, 0x33);
    EXPECT_EQ(rec.tableValue, "-12 дБ");
    EXPECT_EQ(rec.modemValue, "-15 дБ");
    EXPECT_EQ(r.kps[1].differences[1].nameEng, "AttenTr1");
    EXPECT_EQ(r.kps[1].differences[1].tableValue, "-20 дБ");
    EXPECT_EQ(r.kps[1].differences[1].modemValue, "-26 дБ");
    EXPECT_EQ(r.kps[1].bytes.size(), 2u);

    // Given up at its first read, not one time-out per byte; the half-answering one at the read
    // that failed.
    EXPECT_EQ(r.kps[2].verdict, TKpVerdict::NoAnswer);
    EXPECT_EQ(r.kps[2].bytesRead, 0);
    EXPECT_EQ(r.kps[3].verdict, TKpVerdict::NoAnswer);
    EXPECT_EQ(r.kps[3].bytesRead, 4);
    EXPECT_EQ(r.kps[3].Summary(), "не отвечает (прочитано байт: 4 из 13)");

    std::vector<sim::TBytes> expected;
    for (const uint8_t c : {21, 22})
        for (const auto& f : ReadsOf(c))
            expected.push_back(f);
    expected.push_back(Read(23, 0x00));
    for (const auto& f : ReadsOf(24, 5))
        expected.push_back(f);
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(view.waits, (std::vector<std::int64_t>{1500, 1500, 1500}));
    EXPECT_EQ(view.progress.front(), std::make_pair(0, 52));
    EXPECT_EQ(view.progress.back(), std::make_pair(30, 30));
    EXPECT_TRUE(host.messages.empty());
    ExpectPortGivenBack();
}

// Only the differing bytes are written, each read back; the system code and the controller
// number are reported, never written.
TEST_F(LineCheck, RepairWritesTheDifferingBytesAndReadsThemBack) {
    Poke(1, {{0x37, 0x13}, {0x3C, 0x05}});
    Poke(2, {{0x37, 0x13}, {0x00, 0x01}});
    Poke(3, {{0x37, 0x13}});
    sim::TModemFaults worn;
    worn.refuseWriteAddr = 0x37;
    SetFaults(3, worn);

    const TCheckResult r = Run({1, 2, 3}, true);
    ASSERT_EQ(r.kps.size(), 3u);
    EXPECT_EQ(view.asked, (std::vector<std::pair<std::string, int>>{{"КП-1", 2}, {"КП-2", 1}, {"КП-3", 1}}));
    EXPECT_EQ(r.kps[0].verdict, TKpVerdict::Repaired);
    EXPECT_EQ(r.kps[0].Summary(), "исправлен (записано байт: 2)");
    std::vector<uint8_t> want(512, 0xFF);
    for (const auto& [a, v] : OrtenImage(21))
        want[a] = v;
    EXPECT_EQ(sim->Eeprom(0), want);

    // КП-2: the level is repaired, the system code is left to the switch.
    EXPECT_EQ(r.kps[1].verdict, TKpVerdict::NotRepaired);
    ASSERT_EQ(r.kps[1].differences.size(), 1u);
    EXPECT_EQ(r.kps[1].differences[0].nameEng, "eSysMode");
    EXPECT_FALSE(r.kps[1].differences[0].writable);
    EXPECT_EQ(sim->Eeprom(1)[0x37], 0x0F);
    EXPECT_EQ(sim->Eeprom(1)[0x00], 0x01);

    // КП-3: the modem takes the write and keeps its old byte.
    EXPECT_EQ(r.kps[2].verdict, TKpVerdict::NotRepaired);
    EXPECT_EQ(r.kps[2].differences.at(0).modemValue, "-26 дБ");

    std::vector<sim::TBytes> expected;
    for (const auto& f : ReadsOf(21))
        expected.push_back(f);
    for (const auto& f : {Write(21, 0x37, 0x0F), Write(21, 0x3C, 0x02), Read(21, 0x37), Read(21, 0x3C)})
        expected.push_back(f);
    for (const auto& f : ReadsOf(22))
        expected.push_back(f);
    expected.push_back(Write(22, 0x37, 0x0F));
    expected.push_back(Read(22, 0x37));
    for (const auto& f : ReadsOf(23))
        expected.push_back(f);
    expected.push_back(Write(23, 0x37, 0x0F));
    expected.push_back(Read(23, 0x37));
    EXPECT_EQ(Sent(), expected);
    ExpectPortGivenBack();
}

TEST_F(LineCheck, RepairNeverWritesTheSystemOrTheControllerNumberNorWithoutConsent) {
    // The table says КП-1 is controller 21; a modem answering 21 that holds 99 there is reported.
    Poke(1, {{0x2D, 99}, {0x00, 0x02}});
    Poke(2, {{0x33, 0x00}});
    view.confirm = false;
    const TCheckResult r = Run({1, 2}, true);
    // Nothing writable in КП-1: no question; КП-2 declined: nothing written.
    EXPECT_EQ(view.asked, (std::vector<std::pair<std::string, int>>{{"КП-2", 1}}));
    EXPECT_EQ(r.kps[0].verdict, TKpVerdict::Differing);
    EXPECT_EQ(r.kps[0].differences.size(), 2u);
    EXPECT_EQ(r.kps[1].verdict, TKpVerdict::Differing);
    for (const auto& req : sim->Requests())
        EXPECT_EQ(req.request.at(1), 0xE3);
    EXPECT_EQ(sim->Requests().size(), 26u);
}

TEST_F(LineCheck, StopEndsAfterTheExchangeUnderWayAndRefusalsSendNothing) {
    view.onProgress = [&] {
        if (view.progress.back().first == 3)
            check->RequestStop();
    };
    const TCheckResult r = Run({1, 2});
    EXPECT_EQ(r.outcome, TCheckOutcome::Stopped);
    ASSERT_EQ(r.kps.size(), 1u);
    EXPECT_EQ(r.kps[0].verdict, TKpVerdict::Stopped);
    EXPECT_EQ(Sent(), ReadsOf(21, 3));
    ExpectPortGivenBack();

    // A controller number that is no slave address refuses the whole command; a record that
    // programming would refuse is reported with that refusal and not read.
    sim->ClearLog();
    view.onProgress = nullptr;
    dm->TDataORTEN().SetRecNo(1);
    test::SetRecord(dm->TDataORTEN(), {{"ENumController", 300}});
    EXPECT_EQ(Run({1, 2}).outcome, TCheckOutcome::Refused);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].text.find("\"КП-1\" (300)"), std::string::npos) << host.messages[0].text;
    test::SetRecord(dm->TDataORTEN(), {{"ENumController", 21}, {"AttenTr1", 5}});
    dm->TDataORTEN().SetRecNo(2);
    test::SetRecord(dm->TDataORTEN(), {{"NameKP", TValue()}});
    const TCheckResult refused = Run({1, 2});
    EXPECT_EQ(refused.outcome, TCheckOutcome::Done);
    EXPECT_EQ(refused.kps[0].verdict, TKpVerdict::Refused);
    EXPECT_EQ(refused.kps[0].refusal,
              "КП \"КП-1\": параметр \"Имя AttenTr1\": значение 5 вне допустимых пределов "
              "-46..0 (уровень с поправкой на сопротивление линии 0 дБ должен лежать в "
              "пределах -46..0 дБ). Исправьте данные и повторите прошивку");
    EXPECT_EQ(refused.kps[1].verdict, TKpVerdict::Refused);
    EXPECT_TRUE(sim->Requests().empty());
    EXPECT_EQ(host.messages.size(), 1u);
    ExpectPortGivenBack();
}

// A reply that comes late, while the next КП is asked, is not taken for that КП's.
TEST_F(LineCheck, LateReplyOfAnotherKpIsNotCredited) {
    Poke(2, {{0x00, 0x01}});
    sim::TModemFaults late;
    // Past the 8.12 s read limit and the 100 ms before the next request: КП-1's reply comes while
    // КП-2 waits for its own, with some 0.6 s of slack on either side on a loaded machine.
    late.extraDelayMs = 8900;
    SetFaults(1, late);
    sim::TModemFaults slow;
    slow.extraDelayMs = 1500;
    SetFaults(2, slow);
    const TCheckResult r = Run({1, 2});
    ASSERT_EQ(r.kps.size(), 2u);
    EXPECT_EQ(r.kps[0].verdict, TKpVerdict::NoAnswer);
    // КП-1's reply comes while КП-2's first read waits: it is no reply of КП-2's, and КП-2 is
    // given up there rather than credited with КП-1's byte.
    EXPECT_EQ(r.kps[1].verdict, TKpVerdict::NoAnswer);
    EXPECT_EQ(r.kps[1].bytesRead, 0);
    // The simulated line takes КП-2's request only after it has sent КП-1's late reply, which may
    // be after the check has already given КП-2 up: give it a moment on a loaded machine.
    for (int i = 0; i < 300 && sim->Requests().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(sim->Requests().size(), 2u);
    ExpectPortGivenBack();
}

} // namespace
