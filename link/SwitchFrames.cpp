#include "link/SwitchFrames.h"

#include "base/Cp1251.h"
#include "link/ComPort.h"

#include <algorithm>
#include <stdexcept>

namespace talmar {

namespace {

// The count byte of the switch's requests: one EEPROM byte (the system code), or one service
// sub-code.
constexpr uint8_t kOneByte = 0x01;

} // namespace

int BuildEepromByteRead(TFrame& frame, uint8_t slave, uint16_t addr) {
    TCrcReg reg;
    PutTargetAddress(frame.data(), addr);
    // The read names how many bytes it wants and carries no data of its own.
    return PutRequest(frame.data(), slave, Request(TRequestId::ReadEepromByte).fn, kOneByte, nullptr, 0, reg);
}

int BuildVersionRequest(TFrame& frame, uint8_t slave) {
    TCrcReg reg;
    const TRequestSpec& rq = Request(TRequestId::Version);
    const uint8_t sub = static_cast<uint8_t>(rq.sub);
    PutTargetAddress(frame.data(), 0x0000);
    return PutRequest(frame.data(), slave, rq.fn, kOneByte, &sub, 1, reg);
}

int BuildEepromByteWrite(TFrame& frame, uint8_t slave, uint16_t addr, uint8_t value) {
    TCrcReg reg;
    PutTargetAddress(frame.data(), addr);
    return PutRequest(frame.data(), slave, Request(TRequestId::WriteEepromByte).fn, kOneByte, &value, 1, reg);
}

uint8_t ReplyEepromByte(const TFrame& reply) {
    return reply[3];
}

std::string ReplyVersionText(const TFrame& reply) {
    return Cp1251ToUtf8(IdentTextBytes(reply));
}

bool ReplyAnswers(const uint8_t* request, const uint8_t* reply) {
    return reply[0] == request[0] && reply[1] == request[1];
}

bool ExchangeFrame(TComPort& port, IHost& host, TFrame& frameBuf, TCrcReg& crcReg, int w, int r) {
    if (w < 2 || w > kFrameSize || r < 2 || r > kFrameSize)
        throw std::invalid_argument("ExchangeFrame: request of " + std::to_string(w) + " bytes, reply of " +
                                    std::to_string(r));
    TFrame rx{};
    CrcCheckAndSet(frameBuf.data(), w, crcReg);
    port.ClearBuffers(true, true);
    Pause(host, kExchangeSettleMs);
    // A КП given up on before may answer now, during the pause: those bytes answer no request of
    // ours, and read after this request they would pass for its reply.
    port.ClearBuffers(true, false);
    port.WriteBlock(frameBuf.data(), w);
    const int got = port.ReadBlock(rx.data(), r);
    if (!ReplyValid(rx.data(), got, r, crcReg) || !ReplyAnswers(frameBuf.data(), rx.data()))
        return false;
    std::copy_n(rx.begin(), r, frameBuf.begin());
    return true;
}

} // namespace talmar
