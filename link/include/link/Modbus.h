#pragma once
// Modbus RTU framing as the modem speaks it on the programming cable, and the two exchanges the
// programming object makes with it.
//
// The framing part is pure: it works on byte buffers and never touches the port, so every frame
// can be checked on bytes alone. The exchanges at the bottom drive a TComPort with it.
//
// Request layout (N data bytes, at most 16, so a request is at most 23 bytes):
//   0 slave address (always 0x00: the modem on the programming cable)
//   1 function code
//   2 target address, high byte  } written by the caller before a data block; a service
//   3 target address, low byte   } request carries whatever was written last
//   4 N
//   5.. data
//   5+N CRC low, 6+N CRC high

#include "base/Host.h"
#include "link/Requests.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace talmar {

class TComPort;

inline constexpr int kFrameSize = 64;
using TFrame = std::array<uint8_t, kFrameSize>;

inline constexpr int kIdentTextBytes = 10; // the identification reply has room for ten characters

// Pauses of the identification exchange: the modem needs a moment after the port opens, and it
// takes its time to put the text together.
inline constexpr int kIdentSettleMs = 50;
inline constexpr int kIdentAnswerMs = 500;

// The CRC register of Modbus RTU (reflected polynomial 0xA001, start 0xFFFF, no final inversion),
// held as the two bytes that go on the wire, low byte first.
struct TCrcReg {
    uint8_t lo = 0xFF;
    uint8_t hi = 0xFF;

    void Reset() { lo = hi = 0xFF; }
    uint16_t Value() const { return static_cast<uint16_t>(hi << 8 | lo); }
};

// Folds one byte into the register.
void CrcAddByte(TCrcReg& reg, uint8_t byte);

// The CRC of count bytes from a fresh register.
uint16_t Crc16(const uint8_t* data, std::size_t count);

// Computes the CRC of bytes 0 .. length-3, compares it with bytes length-2 (low) and length-1
// (high) and then always writes the computed bytes there. Finishes a request (result ignored) and
// checks a reply (whose own CRC bytes get overwritten). length below 2 is refused (false, nothing
// written).
bool CrcCheckAndSet(uint8_t* frame, int length, TCrcReg& reg);
bool CrcCheckAndSet(uint8_t* frame, int length);

// The one layout of every request the modems take: slave address, function code, the two target
// address bytes, a count byte, dataCount data bytes, CRC low and high. Writes offsets 0, 1, 4, the
// data and the CRC into frame; offsets 2 and 3 are the caller's (PutTargetAddress). Returns the
// length of the request (dataCount + 7). More than kMaxRequestData data bytes, or a negative count,
// is a programming error: std::invalid_argument.
int PutRequest(uint8_t* frame, uint8_t slave, uint8_t fn, uint8_t count, const uint8_t* data, int dataCount,
               TCrcReg& reg);

// Offsets 2 and 3 of a request: the address it works on, high byte first.
void PutTargetAddress(uint8_t* frame, uint16_t address);

// The test every reply gets: exactly length bytes came (got) and their CRC is right. The reply's
// CRC bytes are overwritten by the test, as CrcCheckAndSet does.
bool ReplyValid(uint8_t* reply, int got, int length, TCrcReg& reg);

// The frame buffers of one programming object.
struct TModbusFrames {
    TCrcReg CrcReg;
    TFrame TxFrame{}; // keeps its contents between requests (offsets 2 and 3 above all)
    TFrame RxFrame{}; // zeroed at each request built

    // Builds a request of function fn with count data bytes into TxFrame (offsets 0, 1, 4, the
    // data and the CRC; offsets 2 and 3 are left as they are) and zeroes RxFrame. Returns the
    // length of the request to send (count + 7). More than kMaxRequestData bytes, or a negative
    // count, is a programming error: std::invalid_argument.
    int BuildRequest(uint8_t fn, const uint8_t* data, int count);
    // A request of the table: its function code, and its sub-code as the one data byte of a
    // service request. count data bytes outside what the request takes is a programming error.
    int BuildRequest(TRequestId id, const uint8_t* data = nullptr, int count = 0);

    // Offsets 2 and 3: the word (FLASH) or byte (EEPROM) address a data block starts at.
    void SetTargetAddress(uint16_t address);
};

// The identification text of a 17-byte reply whose CRC has been checked: the data bytes from
// offset 5, N-1 of them where N is the count at offset 4 (the last byte N counts is not text).
// N of 0 or 1 gives an empty text; N above 11 still gives at most the ten text bytes, never the
// CRC or whatever follows; the text ends at its first zero byte. Bytes as the modem sent them
// (Windows-1251).
std::string IdentTextBytes(const TFrame& rx);

// Checks a received identification reply in rx (the CRC over 17 bytes, as CrcCheckAndSet) and
// gives its text (Windows-1251 bytes) when the check passes.
bool ParseIdentReply(TFrame& rx, TCrcReg& reg, std::string* textCp1251);

// --- Exchanges over an open port -------------------------------------------------------------

// The exchange of every programming step: the request already built in frames.TxFrame (length
// bytes) goes out, up to replyLength bytes (the request's reply in the table: seven for every
// programming step) are read into RxFrame, and the exchange succeeds only with exactly that many
// bytes and a right CRC. The port must be open; port errors pass through.
bool ShortExchange(TComPort& port, TModbusFrames& frames, int length, int replyLength = kShortReplyLength);

// Asks the modem on the programming cable for its identification. Closes and reopens the port
// (applying its current name and settings), and leaves it closed. On success the text is given
// in UTF-8. Port errors pass through.
bool Identify(TComPort& port, TModbusFrames& frames, std::string* text);

// Blocks the calling thread without processing any messages.
void Pause(int ms);

} // namespace talmar
