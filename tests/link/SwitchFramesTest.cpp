// The group line's frames checked on bytes, and its exchange against simulated КП on a line at
// 9600 baud: only the reply of the КП asked counts.
#include "link/SwitchFrames.h"

#include "link/ComPort.h"
#include "sim/ModemSim.h"
#include "tests/support/Hex.h"
#include "tests/support/RecordingHost.h"

#include <QTimer>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace talmar;
using talmar::test::Hex;
using namespace std::chrono_literals;

namespace {

std::vector<uint8_t> Head(const TFrame& f, int length) {
    return {f.begin(), f.begin() + length};
}

} // namespace

// Expected bytes: the layouts of the switch's requests with CRC-16/MODBUS computed apart from
// the program.
TEST(SwitchFrames, RequestsForASlaveAddress) {
    struct {
        const char* what;
        std::function<int(TFrame&)> build;
        const char* wire;
    } rows[] = {
        {"version, A 1", [](TFrame& f) { return BuildVersionRequest(f, 1); }, "01 AA 00 00 01 A4 19 F9"},
        {"version, A 255", [](TFrame& f) { return BuildVersionRequest(f, 0xFF); }, "FF AA 00 00 01 A4 0C 27"},
        {"read, A 5 at 0x0010", [](TFrame& f) { return BuildSysModeRead(f, 5, 0x0010); },
         "05 E3 00 10 01 13 84"},
        {"read, A 200 at 0x1234", [](TFrame& f) { return BuildSysModeRead(f, 200, 0x1234); },
         "C8 E3 12 34 01 85 51"},
        {"read, A 0 at 0", [](TFrame& f) { return BuildSysModeRead(f, 0, 0); }, "00 E3 00 00 01 D2 44"},
        {"write 3, A 2 at 0x0010", [](TFrame& f) { return BuildSysModeWrite(f, 2, 0x0010, 3); },
         "02 1E 00 10 01 03 E9 AF"},
        {"write 1, A 255 at 0xABCD", [](TFrame& f) { return BuildSysModeWrite(f, 0xFF, 0xABCD, 1); },
         "FF 1E AB CD 01 01 CD 9D"},
    };
    for (const auto& row : rows) {
        TFrame f;
        f.fill(0x5A); // what the buffer held before: only the request's bytes change
        const auto wire = Hex(row.wire);
        const int length = row.build(f);
        EXPECT_EQ(Head(f, length), wire) << row.what;
        EXPECT_EQ(f[length], 0x5A) << row.what;
    }
}

TEST(SwitchFrames, WhatAValidReplyHolds) {
    TFrame f{};
    const auto read = Hex("05 E3 01 03 B0 8F");
    std::copy(read.begin(), read.end(), f.begin());
    EXPECT_EQ(ReplySysMode(f), 3);

    // A version reply: N counts the text and the closing byte; a modem that claims more than the
    // ten text bytes gives no more than those (never the CRC after them). Windows-1251 text.
    const std::string text = "\xC2\xE5\xF0 1.05 ab"; // "Вер 1.05 ab": ten bytes and one too many
    struct {
        int n;
        std::string version;
    } rows[] = {{0, ""}, {1, ""}, {4, "Вер"}, {11, "Вер 1.05 a"}, {12, "Вер 1.05 a"}, {255, "Вер 1.05 a"}};
    for (const auto& row : rows) {
        TFrame v{};
        v[0] = 5;
        v[1] = FN_SERVICE;
        v[4] = static_cast<uint8_t>(row.n);
        std::copy(text.begin(), text.end(), v.begin() + 5); // the eleventh byte lands on the CRC
        CrcCheckAndSet(v.data(), kVersionReplyLength);
        EXPECT_EQ(ReplyVersionText(v), row.version) << "N = " << row.n;
    }
}

namespace {

constexpr uint16_t kSysModeAddr = 0x0010;

sim::TModemConfig Kp(uint8_t controller, uint8_t system) {
    sim::TModemConfig c;
    c.programmed = false;
    c.controller = controller;
    c.eepromInit[kSysModeAddr] = system;
    c.version = "v2.5";
    return c;
}

struct SwitchExchange : ::testing::Test {
    sim::TModemSim sim{{Kp(5, 3), Kp(6, 1), Kp(7, 2), Kp(9, 2)}, {}};
    test::TRecordingHost host;
    TComPort port;
    TFrame frame{};
    TCrcReg reg;

    void SetUp() override {
        sim::TModemFaults f;
        f.shortReplyOn = 1;
        sim.SetFaults(1, f);
        f = {};
        f.badCrcOnReply = 1;
        sim.SetFaults(2, f);
        f = {};
        f.silent = true;
        sim.SetFaults(3, f);
        port.SetPort(sim.SlavePath());
        port.SetBaudRate(br9600);
        port.Open();
    }
};

} // namespace

TEST_F(SwitchExchange, AReplyOfExactlyRBytesWithARightCrcIsCopiedOverTheRequest) {
    BuildSysModeRead(frame, 5, kSysModeAddr);
    const auto request = Head(frame, kSysModeReadLength);
    // The event loop runs during the 100 ms before the request: a window would keep painting.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    const auto t0 = sim::TClock::now();
    ASSERT_TRUE(ExchangeFrame(port, host, frame, reg, kSysModeReadLength, kSysModeReplyLength));
    tick.stop();
    EXPECT_GE(ticks, 3);

    EXPECT_EQ(Head(frame, 6), Hex("05 E3 01 03 B0 8F"));
    EXPECT_EQ(frame[6], request[6]); // beyond the reply the request stays
    const auto log = sim.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].request, request);
    EXPECT_EQ(log[0].baud, 9600);
    EXPECT_GE(log[0].start - t0, 100ms);

    // The version request: 17 bytes whose text is read as the identification's.
    BuildVersionRequest(frame, 5);
    ASSERT_TRUE(ExchangeFrame(port, host, frame, reg, kVersionRequestLength, kVersionReplyLength));
    EXPECT_EQ(ReplyVersionText(frame), "v2.5");

    // The write, answered with 7 bytes: the modem now holds the new code.
    BuildSysModeWrite(frame, 5, kSysModeAddr, 1);
    ASSERT_TRUE(ExchangeFrame(port, host, frame, reg, kSysModeWriteLength, kSysModeWriteReplyLength));
    EXPECT_EQ(sim.Eeprom(0)[kSysModeAddr], 1);
}

TEST_F(SwitchExchange, AShortReplyABadCrcOrAWrongLengthFailsAndKeepsTheRequest) {
    struct {
        uint8_t slave;
        int r;
        const char* what;
    } rows[] = {
        {6, kSysModeReplyLength, "five bytes of six"},
        {7, kSysModeReplyLength, "CRC spoiled"},
        // A right reply that is not the length asked for: six bytes where seven are expected.
        {5, kSysModeWriteReplyLength, "six bytes of seven"},
    };
    for (const auto& row : rows) {
        BuildSysModeRead(frame, row.slave, kSysModeAddr);
        const TFrame request = frame;
        EXPECT_FALSE(ExchangeFrame(port, host, frame, reg, kSysModeReadLength, row.r)) << row.what;
        EXPECT_EQ(frame, request) << row.what;
    }
    // A КП that is fine again answers at once: the failures left nothing behind on the line.
    BuildSysModeRead(frame, 7, kSysModeAddr);
    EXPECT_TRUE(ExchangeFrame(port, host, frame, reg, kSysModeReadLength, kSysModeReplyLength));
    EXPECT_EQ(ReplySysMode(frame), 2);
}

// Waits out the read time-out of a silent КП (8120 ms).
TEST_F(SwitchExchange, SlowASilentKpFailsAfterTheReadTimeOut) {
    BuildSysModeRead(frame, 9, kSysModeAddr);
    const auto t0 = sim::TClock::now();
    EXPECT_FALSE(ExchangeFrame(port, host, frame, reg, kSysModeReadLength, kSysModeReplyLength));
    EXPECT_GE(sim::TClock::now() - t0, 100ms + 8120ms);
    ASSERT_EQ(sim.Requests().size(), 1u);
    EXPECT_TRUE(sim.Requests()[0].reply.empty());
}

TEST(SwitchFrames, AReplyAnswersOnlyTheSlaveAndFunctionAsked) {
    const auto read = Hex("06 E3 00 10 01 57 84");
    EXPECT_TRUE(ReplyAnswers(read.data(), Hex("06 E3 01 01 31 0A").data()));
    EXPECT_FALSE(ReplyAnswers(read.data(), Hex("05 E3 01 03 B0 8F").data()));    // another КП
    EXPECT_FALSE(ReplyAnswers(read.data(), Hex("06 1E 00 10 00 00 00").data())); // another request
    EXPECT_FALSE(ReplyAnswers(read.data(), Hex("06 E4 00 00 00 00").data()));    // an error reply
    // A write's reply: only its address and function are looked at.
    const auto write = Hex("02 1E 00 10 01 03 E9 AF");
    EXPECT_TRUE(ReplyAnswers(write.data(), Hex("02 1E 00 00 FF 00 00").data()));
}

namespace {

// Two КП on the line, and a second device on it that asks КП 5 while the program asks КП 6 (as
// when КП 5 answers a request the program has given up on).
struct LateReply : ::testing::Test {
    sim::TModemSim sim{{Kp(5, 3), Kp(6, 1)}, {}};
    test::TRecordingHost host;
    TComPort port;
    TFrame frame{};
    TCrcReg reg;
    std::vector<std::vector<uint8_t>> trace; // what the program wrote and read, in order

    void SetUp() override {
        port.SetPort(sim.SlavePath());
        port.SetBaudRate(br9600);
        port.Open();
        port.SetTrace(
            [this](bool, const uint8_t* data, int count) { trace.emplace_back(data, data + count); });
    }
    // During the 100 ms before the program's request, КП 5 is asked from the other device;
    // `settled` waits for its whole reply to be in the program's input.
    void AskKp5DuringThePause(bool settled) {
        QTimer::singleShot(20, [this, settled] {
            int fd = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
            ASSERT_GE(fd, 0);
            const auto request = Hex("05 E3 00 10 01 13 84");
            ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
            ::close(fd);
            const auto giveUp = sim::TClock::now() + 5s;
            while (settled && port.WaitingInput() < kSysModeReplyLength && sim::TClock::now() < giveUp)
                std::this_thread::sleep_for(1ms);
            if (settled) {
                EXPECT_EQ(port.WaitingInput(), kSysModeReplyLength);
            }
        });
    }
};

} // namespace

TEST_F(LateReply, AReplyThatCameDuringThePauseIsThrownAway) {
    AskKp5DuringThePause(true);
    BuildSysModeRead(frame, 6, kSysModeAddr);
    ASSERT_TRUE(ExchangeFrame(port, host, frame, reg, kSysModeReadLength, kSysModeReplyLength));
    EXPECT_EQ(ReplySysMode(frame), 1);
    EXPECT_EQ(trace, (std::vector{Hex("06 E3 00 10 01 57 84"), Hex("06 E3 01 01 31 0A")}));
}

TEST_F(LateReply, AReplyFromAnotherKpFailsTheExchange) {
    // КП 5 takes a second: its reply comes after the request to КП 6, before КП 6's own.
    sim::TModemFaults slow;
    slow.extraDelayMs = 1000;
    sim.SetFaults(0, slow);
    AskKp5DuringThePause(false);
    BuildSysModeRead(frame, 6, kSysModeAddr);
    const TFrame request = frame;
    EXPECT_FALSE(ExchangeFrame(port, host, frame, reg, kSysModeReadLength, kSysModeReplyLength));
    EXPECT_EQ(frame, request);
    EXPECT_EQ(trace, (std::vector{Hex("06 E3 00 10 01 57 84"), Hex("05 E3 01 03 B0 8F")}));

    // КП 6's reply to that request came after it had failed: the next exchange does not take it
    // for its own (a write here, whose reply is longer).
    ASSERT_TRUE(sim.WaitForRequests(2, 5s));
    trace.clear();
    BuildSysModeWrite(frame, 6, kSysModeAddr, 2);
    ASSERT_TRUE(ExchangeFrame(port, host, frame, reg, kSysModeWriteLength, kSysModeWriteReplyLength));
    EXPECT_EQ(trace, (std::vector{Hex("06 1E 00 10 01 02 29 EB"), Hex("06 1E 00 10 00 A7 E8")}));
    EXPECT_EQ(sim.Eeprom(1)[kSysModeAddr], 2);
}
