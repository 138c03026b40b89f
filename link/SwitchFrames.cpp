#include "link/SwitchFrames.h"

#include "link/ComPort.h"
#include "link/Cp1251.h"

#include <algorithm>
#include <stdexcept>

namespace talmar {

namespace {

// The count byte of the switch's requests: one EEPROM byte (the system code), or one service
// sub-code.
constexpr uint8_t kOneByte = 0x01;

} // namespace

int BuildSysModeRead(TFrame& frame, uint8_t slave, uint16_t addr) {
    TCrcReg reg;
    PutTargetAddress(frame.data(), addr);
    // The read names how many bytes it wants and carries no data of its own.
    return PutRequest(frame.data(), slave, FN_READ_EEPROM, kOneByte, nullptr, 0, reg);
}

int BuildVersionRequest(TFrame& frame, uint8_t slave) {
    TCrcReg reg;
    const uint8_t sub = SUB_IDENT;
    PutTargetAddress(frame.data(), 0x0000);
    return PutRequest(frame.data(), slave, FN_SERVICE, kOneByte, &sub, 1, reg);
}

int BuildSysModeWrite(TFrame& frame, uint8_t slave, uint16_t addr, uint8_t code) {
    TCrcReg reg;
    PutTargetAddress(frame.data(), addr);
    return PutRequest(frame.data(), slave, FN_WRITE_EEPROM, kOneByte, &code, 1, reg);
}

uint8_t ReplySysMode(const TFrame& reply) {
    return reply[3];
}

std::string ReplyVersionText(const TFrame& reply) {
    return Cp1251ToUtf8(IdentTextBytes(reply));
}

bool ExchangeFrame(TComPort& port, IHost& host, TFrame& frameBuf, TCrcReg& crcReg, int w, int r) {
    if (w < 2 || w > kFrameSize || r < 2 || r > kFrameSize)
        throw std::invalid_argument("ExchangeFrame: request of " + std::to_string(w) + " bytes, reply of " +
                                    std::to_string(r));
    TFrame rx{};
    CrcCheckAndSet(frameBuf.data(), w, crcReg);
    port.ClearBuffers(true, true);
    Pause(host, kExchangeSettleMs);
    port.WriteBlock(frameBuf.data(), w);
    const int got = port.ReadBlock(rx.data(), r);
    if (!ReplyValid(rx.data(), got, r, crcReg))
        return false;
    std::copy_n(rx.begin(), r, frameBuf.begin());
    return true;
}

} // namespace talmar
