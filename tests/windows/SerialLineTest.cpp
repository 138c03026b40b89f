// A Win32 program on a COM port, talking to talmar-modem-sim: the port opened and set up with
// the calls and values the port layer has on Windows (overlapped CreateFile on \\.\COMn,
// SetupComm 64/64, the device control block, read time-outs 20 ms between bytes, 20 ms per
// byte + 8000 ms in all), the requests built and the replies checked by the program's own
// framing. Under Wine the COM port is a link in the prefix to the simulator's pseudo-terminal;
// the simulator hears the identification only at 38400 baud and the group requests only at 9600.
//
// TALMAR_WIN_COM names the port ("COM5"). The simulator runs with --controller 5 --sys-mode 3
// --sys-mode-addr 0x10 --extra 7,2,"4433 v2.1" (scripts/windows-check.sh starts it so).
#include "base/Cp1251.h"
#include "base/Utf8Path.h"
#include "link/Modbus.h"
#include "link/SwitchFrames.h"
#include "tests/support/Hex.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

using namespace talmar;
using talmar::test::Hex;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

// CRC-16/MODBUS bit by bit, apart from the program's own.
Bytes WithCrc(Bytes b) {
    uint16_t crc = 0xFFFF;
    for (const uint8_t x : b) {
        crc ^= x;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    b.push_back(static_cast<uint8_t>(crc & 0xFF));
    b.push_back(static_cast<uint8_t>(crc >> 8));
    return b;
}

// A text reply's body: the count (characters + 1) and ten bytes, the text closed by zeros.
Bytes TextReply(Bytes head, const std::string& utf8) {
    const std::string text = Utf8ToCp1251(utf8);
    head.push_back(static_cast<uint8_t>(text.size() + 1));
    Bytes field(text.begin(), text.end());
    field.resize(10, 0);
    head.insert(head.end(), field.begin(), field.end());
    return WithCrc(head);
}

class TWinPort {
public:
    explicit TWinPort(const std::string& name) {
        const std::wstring device = L"\\\\.\\" + WideFromUtf8(name);
        handle_ = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            return;
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = 20;
        t.ReadTotalTimeoutMultiplier = 20;
        t.ReadTotalTimeoutConstant = 8000;
        ok_ = SetupComm(handle_, 64, 64) && SetBaud(38400) && SetCommTimeouts(handle_, &t);
    }
    ~TWinPort() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT);
            CloseHandle(handle_);
        }
    }
    bool Ok() const { return ok_; }

    bool SetBaud(DWORD baud) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = baud;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = 1;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.XonLim = 16;
        dcb.XoffLim = 16;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        return SetCommState(handle_, &dcb);
    }

    bool Purge() { return PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR); }

    int Write(const uint8_t* data, int count) { return Transfer(true, const_cast<uint8_t*>(data), count); }
    int Read(uint8_t* data, int count) { return Transfer(false, data, count); }

private:
    // One overlapped transfer and an unlimited wait for it: the time-outs are the driver's.
    int Transfer(bool write, uint8_t* data, int count) {
        OVERLAPPED ov{};
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD done = 0;
        const BOOL started = write ? WriteFile(handle_, data, static_cast<DWORD>(count), nullptr, &ov)
                                   : ReadFile(handle_, data, static_cast<DWORD>(count), nullptr, &ov);
        int result = -1;
        if (started || GetLastError() == ERROR_IO_PENDING) {
            WaitForSingleObject(ov.hEvent, INFINITE);
            if (GetOverlappedResult(handle_, &ov, &done, FALSE))
                result = static_cast<int>(done);
        }
        CloseHandle(ov.hEvent);
        return result;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool ok_ = false;
};

class SerialLine : public testing::Test {
protected:
    void SetUp() override {
        const char* name = std::getenv("TALMAR_WIN_COM");
        if (!name || !*name)
            GTEST_SKIP() << "TALMAR_WIN_COM names no port";
        port_ = std::make_unique<TWinPort>(name);
        ASSERT_TRUE(port_->Ok()) << "cannot open and set up " << name << ": error " << GetLastError();
    }

    // Sends the request and reads up to r bytes; the reply as it came.
    Bytes Exchange(const uint8_t* request, int w, int r, int* ms = nullptr) {
        EXPECT_TRUE(port_->Purge());
        EXPECT_EQ(port_->Write(request, w), w);
        Bytes reply(static_cast<size_t>(r));
        const auto start = Clock::now();
        const int got = port_->Read(reply.data(), r);
        if (ms)
            *ms = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        reply.resize(static_cast<size_t>(std::max(got, 0)));
        return reply;
    }

    std::unique_ptr<TWinPort> port_;
};

} // namespace

TEST(SerialProgram, RunsInTheUtf8CodePageOfItsManifest) {
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

TEST_F(SerialLine, IdentificationAt38400ExchangesExactFrames) {
    ASSERT_TRUE(port_->SetBaud(38400));
    TModbusFrames frames;
    const uint8_t sub = SUB_IDENT;
    const int length = frames.BuildRequest(FN_SERVICE, &sub, 1);
    ASSERT_EQ(Bytes(frames.TxFrame.begin(), frames.TxFrame.begin() + length), Hex("00 AA 00 00 01 A4 18 28"));
    const Bytes reply = Exchange(frames.TxFrame.data(), length, kIdentReplyLength);
    EXPECT_EQ(reply, TextReply(Hex("00 AA 00 00"), "ЛТР-20 v3"));

    std::copy(reply.begin(), reply.end(), frames.RxFrame.begin());
    std::string text;
    ASSERT_TRUE(ParseIdentReply(frames.RxFrame, frames.CrcReg, &text));
    EXPECT_EQ(Cp1251ToUtf8(text), "ЛТР-20 v3");
}

TEST_F(SerialLine, GroupRequestsAt9600ReachEachKp) {
    ASSERT_TRUE(port_->SetBaud(9600));
    TFrame frame{};
    int length = BuildSysModeRead(frame, 5, 0x0010);
    ASSERT_EQ(Bytes(frame.begin(), frame.begin() + length), Hex("05 E3 00 10 01 13 84"));
    Bytes reply = Exchange(frame.data(), length, kSysModeReplyLength);
    ASSERT_EQ(reply, WithCrc(Hex("05 E3 01 03")));
    TCrcReg reg;
    TFrame rx{};
    std::copy(reply.begin(), reply.end(), rx.begin());
    ASSERT_TRUE(ReplyValid(rx.data(), static_cast<int>(reply.size()), kSysModeReplyLength, reg));
    EXPECT_EQ(ReplySysMode(rx), 3);

    length = BuildVersionRequest(frame, 7);
    reply = Exchange(frame.data(), length, kVersionReplyLength);
    ASSERT_EQ(reply, TextReply(Hex("07 AA 00 00"), "4433 v2.1"));
    rx = {};
    std::copy(reply.begin(), reply.end(), rx.begin());
    ASSERT_TRUE(ReplyValid(rx.data(), static_cast<int>(reply.size()), kVersionReplyLength, reg));
    EXPECT_EQ(ReplyVersionText(rx), "4433 v2.1");
}

TEST_F(SerialLine, ReadsEndByTheQuietGapOrTheTotalTimeOut) {
    ASSERT_TRUE(port_->SetBaud(9600));
    TFrame frame{};
    // Six bytes come where seventeen were asked for: the read ends 20 ms after the last one.
    int length = BuildSysModeRead(frame, 5, 0x0010);
    int ms = 0;
    EXPECT_EQ(Exchange(frame.data(), length, kIdentReplyLength, &ms).size(), 6u);
    EXPECT_LT(ms, 2000) << "a partial reply must end by the 20 ms gap, not the total time-out";

    // No КП 9 on the line: nothing comes, and the read gives up after 20 x 6 + 8000 ms.
    length = BuildSysModeRead(frame, 9, 0x0010);
    EXPECT_EQ(Exchange(frame.data(), length, kSysModeReplyLength, &ms).size(), 0u);
    EXPECT_GE(ms, 8000);
    EXPECT_LT(ms, 8120 + 3000);

    // The same silence at 38400 for the group's address: the line speed matters, as on the wire.
    ASSERT_TRUE(port_->SetBaud(38400));
    length = BuildSysModeRead(frame, 5, 0x0010);
    EXPECT_EQ(Exchange(frame.data(), length, kSysModeReplyLength, &ms).size(), 0u);
}
