#include "link/Modbus.h"

#include "base/Cp1251.h"
#include "base/Host.h"
#include "link/ComPort.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace talmar {

void CrcAddByte(TCrcReg& reg, uint8_t byte) {
    reg.lo ^= byte;
    for (int i = 0; i < 8; ++i) {
        const bool carry = (reg.lo & 0x01) != 0;
        reg.lo = static_cast<uint8_t>(reg.lo >> 1 | (reg.hi & 0x01) << 7);
        reg.hi = static_cast<uint8_t>(reg.hi >> 1);
        if (carry) {
            reg.hi ^= 0xA0;
            reg.lo ^= 0x01;
        }
    }
}

uint16_t Crc16(const uint8_t* data, std::size_t count) {
    TCrcReg reg;
    for (std::size_t i = 0; i < count; ++i)
        CrcAddByte(reg, data[i]);
    return reg.Value();
}

bool CrcCheckAndSet(uint8_t* frame, int length, TCrcReg& reg) {
    if (length < 2)
        return false;
    reg.Reset();
    for (int i = 0; i < length - 2; ++i)
        CrcAddByte(reg, frame[i]);
    const bool ok = frame[length - 2] == reg.lo && frame[length - 1] == reg.hi;
    frame[length - 2] = reg.lo;
    frame[length - 1] = reg.hi;
    return ok;
}

bool CrcCheckAndSet(uint8_t* frame, int length) {
    TCrcReg reg;
    return CrcCheckAndSet(frame, length, reg);
}

int PutRequest(uint8_t* frame, uint8_t slave, uint8_t fn, uint8_t count, const uint8_t* data, int dataCount,
               TCrcReg& reg) {
    if (dataCount < 0 || dataCount > kMaxRequestData)
        throw std::invalid_argument("Modbus request with " + std::to_string(dataCount) + " data bytes");
    frame[0] = slave;
    frame[1] = fn;
    frame[4] = count;
    std::copy_n(data, dataCount, frame + 5);
    const int length = dataCount + 7;
    CrcCheckAndSet(frame, length, reg);
    return length;
}

void PutTargetAddress(uint8_t* frame, uint16_t address) {
    frame[2] = static_cast<uint8_t>(address >> 8);
    frame[3] = static_cast<uint8_t>(address & 0xFF);
}

bool ReplyValid(uint8_t* reply, int got, int length, TCrcReg& reg) {
    return got == length && CrcCheckAndSet(reply, length, reg);
}

int TModbusFrames::BuildRequest(uint8_t fn, const uint8_t* data, int count) {
    RxFrame.fill(0);
    // The modem on the programming cable answers slave address 0.
    return PutRequest(TxFrame.data(), 0x00, fn, static_cast<uint8_t>(count), data, count, CrcReg);
}

int TModbusFrames::BuildRequest(TRequestId id, const uint8_t* data, int count) {
    const TRequestSpec& rq = Request(id);
    uint8_t sub = 0;
    if (rq.sub >= 0) {
        if (count != 0)
            throw std::invalid_argument(std::string("Modbus request ") + rq.name +
                                        " takes its sub-code only");
        sub = static_cast<uint8_t>(rq.sub);
        data = &sub;
        count = 1;
    }
    if (!rq.TakesData(count))
        throw std::invalid_argument(std::string("Modbus request ") + rq.name + " with " +
                                    std::to_string(count) + " data bytes");
    return BuildRequest(rq.fn, data, count);
}

void TModbusFrames::SetTargetAddress(uint16_t address) {
    PutTargetAddress(TxFrame.data(), address);
}

std::string IdentTextBytes(const TFrame& rx) {
    const int n = rx[4];
    const int chars = std::clamp(n - 1, 0, kIdentTextBytes);
    std::string text(reinterpret_cast<const char*>(rx.data()) + 5, static_cast<std::size_t>(chars));
    // A modem that pads its text with zeros: the text ends at the first of them.
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

bool ParseIdentReply(TFrame& rx, TCrcReg& reg, std::string* textCp1251) {
    if (!CrcCheckAndSet(rx.data(), kIdentReplyLength, reg))
        return false;
    if (textCp1251)
        *textCp1251 = IdentTextBytes(rx);
    return true;
}

bool ShortExchange(TComPort& port, TModbusFrames& frames, int length, int replyLength) {
    if (replyLength < 2 || replyLength > kFrameSize)
        throw std::invalid_argument("ShortExchange: reply of " + std::to_string(replyLength) + " bytes");
    port.ClearBuffers(true, true);
    port.WriteBlock(frames.TxFrame.data(), length);
    const int got = port.ReadBlock(frames.RxFrame.data(), replyLength);
    return ReplyValid(frames.RxFrame.data(), got, replyLength, frames.CrcReg);
}

bool Identify(TComPort& port, TModbusFrames& frames, std::string* text) {
    const int length = frames.BuildRequest(TRequestId::Ident);
    // Reopening applies the port name and line settings chosen since the last command; it also
    // recovers a port a failed direct-path run left open.
    port.Close();
    port.Open();
    port.AbortTransfers();
    port.ClearBuffers(true, true);
    port.Pause(kIdentSettleMs);
    port.WriteBlock(frames.TxFrame.data(), length);
    port.Pause(kIdentAnswerMs);
    // The count is not looked at: a short reply leaves zeros, which the CRC check turns away.
    port.ReadBlock(frames.RxFrame.data(), Request(TRequestId::Ident).replyLength);
    std::string bytes;
    const bool ok = ParseIdentReply(frames.RxFrame, frames.CrcReg, &bytes);
    if (ok && text)
        *text = Cp1251ToUtf8(bytes);
    port.Close();
    return ok;
}

void Pause(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace talmar
