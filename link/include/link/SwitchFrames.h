#pragma once
// The frames of the group line and its exchange. A group of КП share one line at 9600 baud; each
// modem answers the slave address equal to its controller number, so every request here carries
// the КП's address instead of the programming cable's 0x00. The layout, the CRC and the codes and
// lengths (Requests.h) are those of the programming requests.
//
//   EEPROM byte read  (7 bytes)  A E3 addr_hi addr_lo 01 crc_lo crc_hi   reply 6 bytes: A E3 01 byte crc
//   version request   (8 bytes)  A AA 00 00 01 A4 crc_lo crc_hi           reply 17 bytes, as the
//                                                                         identification reply
//   EEPROM byte write (8 bytes)  A 1E addr_hi addr_lo 01 byte crc_lo crc_hi  reply 7 bytes
//
// The system switch reads and writes the byte of the parameter eSysMode this way; any other
// EEPROM byte is reached the same way.

#include "link/Modbus.h"

#include <cstdint>
#include <string>

namespace talmar {

class IHost;
class TComPort;

inline constexpr int kSysModeReadLength = Request(TRequestId::ReadEepromByte).FixedLength();
inline constexpr int kSysModeReplyLength = Request(TRequestId::ReadEepromByte).replyLength;
inline constexpr int kVersionRequestLength = Request(TRequestId::Version).FixedLength();
inline constexpr int kVersionReplyLength = Request(TRequestId::Version).replyLength;
inline constexpr int kSysModeWriteLength = Request(TRequestId::WriteEepromByte).FixedLength();
inline constexpr int kSysModeWriteReplyLength = Request(TRequestId::WriteEepromByte).replyLength;

// The modems on the group line need a moment between the buffers being cleared and a request.
inline constexpr int kExchangeSettleMs = 100;

// Each builds its request from offset 0 of frame, CRC included, and returns its length. The rest
// of the frame is left as it is.
int BuildEepromByteRead(TFrame& frame, uint8_t slave, uint16_t addr);
int BuildVersionRequest(TFrame& frame, uint8_t slave);
int BuildEepromByteWrite(TFrame& frame, uint8_t slave, uint16_t addr, uint8_t value);
// The same requests under the names the system switch gives them: addr is that of eSysMode.
inline int BuildSysModeRead(TFrame& frame, uint8_t slave, uint16_t addr) {
    return BuildEepromByteRead(frame, slave, addr);
}
inline int BuildSysModeWrite(TFrame& frame, uint8_t slave, uint16_t addr, uint8_t code) {
    return BuildEepromByteWrite(frame, slave, addr, code);
}

// What a valid reply holds, read from the frame the reply was copied into. The byte read (the
// system code for eSysMode) is offset 3 of the 6-byte reply, as the modem sent it (a system code
// is not checked against 1..3). The version text is read as the identification text: N-1 bytes of
// the ten text bytes, never more (UTF-8).
uint8_t ReplyEepromByte(const TFrame& reply);
inline uint8_t ReplySysMode(const TFrame& reply) {
    return ReplyEepromByte(reply);
}
std::string ReplyVersionText(const TFrame& reply);

// Whether a reply answers the request: its byte 0 is the slave address asked and its byte 1 the
// request's function code. A reply from another КП (one that answers late, after its own request
// was given up) or an error reply fails this. The other bytes are not looked at: what a modem puts
// into offsets 2 to 4 of a write's reply is not defined well enough to hold a modem to it.
bool ReplyAnswers(const uint8_t* request, const uint8_t* reply);

// One request and one reply over the open port, as the group line takes them:
//   1. the CRC of frameBuf's first w-2 bytes goes into bytes w-2 (low) and w-1 (high);
//   2. both port buffers are cleared;
//   3. kExchangeSettleMs pass in the event loop (the window keeps painting);
//   4. whatever came in meanwhile is thrown away (a late reply to an earlier request), and the w
//      bytes go out;
//   5. up to r bytes are read (the port's read limits: all r bytes, 20 ms of quiet after a byte,
//      or 20 ms per byte + 8000 ms).
// True only when exactly r bytes came with a right CRC and they answer the request (ReplyAnswers);
// their bytes are then copied over the first r bytes of frameBuf. Otherwise false and frameBuf
// keeps the request. No retry. Port errors pass through.
bool ExchangeFrame(TComPort& port, IHost& host, TFrame& frameBuf, TCrcReg& crcReg, int w, int r);

} // namespace talmar
