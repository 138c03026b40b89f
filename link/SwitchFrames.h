#pragma once
// The frames of the telemechanics system switch and its exchange. A group of КП share one line
// at 9600 baud; each modem answers the slave address equal to its controller number, so every
// request here carries the КП's address instead of the programming cable's 0x00. The layout, the
// CRC and the reply test are those of the programming requests (Modbus.h).
//
//   system-code read (7 bytes)  A E3 addr_hi addr_lo 01 crc_lo crc_hi   reply 6 bytes: A E3 01 code crc
//   version request  (8 bytes)  A AA 00 00 01 A4 crc_lo crc_hi           reply 17 bytes, as the
//                                                                        identification reply
//   system-code write (8 bytes) A 1E addr_hi addr_lo 01 code crc_lo crc_hi  reply 7 bytes
//
// addr is the EEPROM byte address of the parameter eSysMode.

#include "link/Modbus.h"

#include <cstdint>
#include <string>

namespace talmar {

class IHost;
class TComPort;

inline constexpr uint8_t FN_READ_EEPROM = 0xE3;

inline constexpr int kSysModeReadLength = 7;
inline constexpr int kSysModeReplyLength = 6;
inline constexpr int kVersionRequestLength = 8;
inline constexpr int kVersionReplyLength = kIdentReplyLength;
inline constexpr int kSysModeWriteLength = 8;
inline constexpr int kSysModeWriteReplyLength = kShortReplyLength;

// The modems on the group line need a moment between the buffers being cleared and a request.
inline constexpr int kExchangeSettleMs = 100;

// Each builds its request from offset 0 of frame, CRC included, and returns its length. The rest
// of the frame is left as it is.
int BuildSysModeRead(TFrame& frame, uint8_t slave, uint16_t addr);
int BuildVersionRequest(TFrame& frame, uint8_t slave);
int BuildSysModeWrite(TFrame& frame, uint8_t slave, uint16_t addr, uint8_t code);

// What a valid reply holds, read from the frame the reply was copied into. The system code is
// offset 3 of the 6-byte reply, as the modem sent it (not checked against 1..3). The version text
// is read as the identification text: N-1 bytes of the ten text bytes, never more (UTF-8).
uint8_t ReplySysMode(const TFrame& reply);
std::string ReplyVersionText(const TFrame& reply);

// One request and one reply over the open port, as the system switch makes them:
//   1. the CRC of frameBuf's first w-2 bytes goes into bytes w-2 (low) and w-1 (high);
//   2. both port buffers are cleared;
//   3. kExchangeSettleMs pass in the event loop (the window keeps painting);
//   4. the w bytes go out;
//   5. up to r bytes are read (the port's read limits: all r bytes, 20 ms of quiet after a byte,
//      or 20 ms per byte + 8000 ms).
// True only when exactly r bytes came with a right CRC; their bytes are then copied over the first
// r bytes of frameBuf. Otherwise false and frameBuf keeps the request. No retry. Port errors pass
// through.
bool ExchangeFrame(TComPort& port, IHost& host, TFrame& frameBuf, TCrcReg& crcReg, int w, int r);

} // namespace talmar
