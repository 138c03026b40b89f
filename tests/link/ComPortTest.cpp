// The serial port against a real pseudo-terminal: real termios, real timing, real bytes.
#include "link/ComPort.h"

#include "tests/support/Pty.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace talmar;
using talmar::test::TPty;
using Clock = std::chrono::steady_clock;

namespace {

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

struct ComPortTest : ::testing::Test {
    TPty pty;
    TComPort port;
    void SetUp() override {
        pty.BindCom(41);
        port.SetPort("COM41");
    }
};

} // namespace

TEST_F(ComPortTest, ReadEndsOnCountOnQuietGapAndLeavesTheExcessQueued) {
    port.Open();
    // A full reply ends the read at once, even while the line goes on talking: a read that
    // waited for quiet instead would last as long as the chatter (two seconds).
    pty.Write("\x01\x02\x03\x04\x05\x06\x07");
    std::atomic<bool> chatter{true};
    std::thread line([&] {
        for (int i = 0; i < 200 && chatter; ++i) {
            pty.Write("\xEE");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    uint8_t buf[16] = {};
    auto t0 = Clock::now();
    EXPECT_EQ(port.ReadBlock(buf, 7), 7);
    EXPECT_LT(MsSince(t0), 1000);
    chatter = false;
    line.join();
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[6], 7);
    port.ClearBuffers(true, true);

    // A partial reply ends 20 ms after its last byte, long before the 8140 ms of a silent line.
    pty.Write("\xAA\xBB\xCC");
    t0 = Clock::now();
    EXPECT_EQ(port.ReadBlock(buf, 7), 3);
    const auto gap = MsSince(t0);
    EXPECT_GE(gap, 19);
    EXPECT_LT(gap, 2000);
    EXPECT_EQ(buf[2], 0xCC);

    // A reply longer than asked: the rest waits in the input queue until cleared.
    pty.Write("0123456789");
    EXPECT_EQ(port.ReadText(7), "0123456");
    EXPECT_EQ(port.WaitingInput(), 3);
    EXPECT_EQ(port.ReadText(3), "789");
    pty.Write("xyz");
    ::usleep(20000);
    EXPECT_EQ(port.WaitingInput(), 3);
    port.ClearBuffers(true, true);
    EXPECT_EQ(port.WaitingInput(), 0);
}

TEST_F(ComPortTest, LongWaitForTheFirstByteLetsTheWindowRepaintButGapsStayExact) {
    int idles = 0;
    port.SetIdle([&] { ++idles; });
    port.Open();
    std::thread modem([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        pty.Write("\x01\x02");
    });
    uint8_t buf[8] = {};
    const auto t0 = Clock::now();
    EXPECT_EQ(port.ReadBlock(buf, 8), 2); // ends 20 ms after the second byte
    const auto took = MsSince(t0);
    modem.join();
    EXPECT_GE(took, 300);
    EXPECT_LT(took, 8000); // on the bytes, not on the total time-out
    // The window got its turns, one per slice of waiting at most: the wait never spins.
    EXPECT_GE(idles, 1);
    EXPECT_LE(idles, took / TComPort::kIdleSliceMs + 1);
    EXPECT_EQ(buf[1], 2);
}

TEST_F(ComPortTest, BytesGoOutExactlyAndEmptyTextSendsNothing) {
    port.Open();
    const std::string frame("\x00\xAA\x00\x00\x01\xA4\x18\x28", 8);
    EXPECT_EQ(port.WriteText(frame), 8);
    EXPECT_EQ(port.WriteText(""), 0);
    EXPECT_EQ(pty.ReadAvailable(), frame);
    EXPECT_EQ(port.WaitingOutput(), 0);
}

TEST_F(ComPortTest, OpenAndCloseAreIdempotentAndClosedPortRefusesWork) {
    EXPECT_FALSE(port.Connected());
    port.Close();
    port.Open();
    port.Open();
    EXPECT_TRUE(port.Connected());
    port.Close();
    port.Close();
    EXPECT_FALSE(port.Connected());
    uint8_t b = 0;
    try {
        port.ReadBlock(&b, 1);
        FAIL() << "read on a closed port";
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "ReadFile function failed (win error code: 6)");
    }
    EXPECT_THROW(port.WaitingOutput(), EComPort);
    EXPECT_THROW(port.WriteText("x"), EComPort);
}

TEST_F(ComPortTest, BaudIsOnTheLineWhileOpenAndTakesEffectAtOpenWhenClosed) {
    port.Open();
    EXPECT_EQ(pty.LineSpeed(), B38400);
    port.SetBaudRate(br9600);
    EXPECT_EQ(pty.LineSpeed(), B9600);
    port.SetBaudRate(br38400);
    EXPECT_EQ(pty.LineSpeed(), B38400);
    port.Close();
    const speed_t closed = pty.LineSpeed();
    port.SetBaudRate(br9600);
    EXPECT_EQ(pty.LineSpeed(), closed); // nothing happens on the line until the next Open
    port.Open();
    EXPECT_EQ(pty.LineSpeed(), B9600);
}

TEST_F(ComPortTest, RenamingWhileOpenMovesToTheNewDevice) {
    TPty other;
    other.BindCom(42);
    port.Open();
    port.SetPort("COM41"); // the same name: nothing happens
    EXPECT_TRUE(port.Connected());
    port.SetPort("COM42");
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.Device(), other.SlavePath());
    port.WriteText("hello");
    EXPECT_EQ(other.ReadAvailable(), "hello");
    EXPECT_EQ(pty.ReadAvailable(20), "");
}

TEST(ComPortErrors, MissingAndBusyDevicesGiveTheWindowsCodes) {
    unsetenv("TALMAR_COM43");
    TComPort port;
    port.SetPort("COM43");
    setenv("TALMAR_COM43", "/dev/talmar-no-such-port", 1);
    try {
        port.Open();
        FAIL() << "opened a missing device";
    } catch (const EComPort& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());

    TPty pty;
    pty.BindCom(44);
    TComPort first, second;
    first.SetPort("COM44");
    second.SetPort("COM44");
    first.Open();
    try {
        second.Open();
        FAIL() << "a held port opened twice";
    } catch (const EComPort& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to open com port (win error code: 5)");
    }
}

TEST(ComPortNames, ComNumbersResolveThroughTheEnvironment) {
    unsetenv("TALMAR_COM3");
    EXPECT_EQ(TComPort::ResolveDevice("COM3"), "/dev/ttyS2");
    setenv("TALMAR_COM3", "/tmp/modem", 1);
    EXPECT_EQ(TComPort::ResolveDevice("COM3"), "/tmp/modem");
    unsetenv("TALMAR_COM3");
    EXPECT_EQ(TComPort::ResolveDevice("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

TEST(ComPortSlow, ReadWithNoReplyGivesUpAfterTheTotalTimeout) {
    TPty pty;
    pty.BindCom(45);
    TComPort port;
    port.SetPort("COM45");
    port.Open();
    uint8_t buf[6];
    const auto t0 = Clock::now();
    EXPECT_EQ(port.ReadBlock(buf, 6), 0);
    const auto took = MsSince(t0);
    EXPECT_GE(took, 8120);
    EXPECT_LT(took, 9500); // slack for a busy machine
}
