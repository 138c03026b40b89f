#pragma once
// Every request the modems take over Modbus framing, in one table: its function code, its service
// sub-code, how many data bytes it carries, how long it is on the wire and how long its reply is.
// The programming object, the system switch and every other user of the line take their codes and
// lengths from here; nothing else spells them.
//
// Every request has the same layout (Modbus.h): slave address, function code, two target address
// bytes, a count byte, the data bytes, CRC low and high: 7 bytes plus the data. The EEPROM byte
// read is the one request whose count byte asks for bytes instead of counting the data it carries:
// it carries none, and its reply holds the bytes asked for.
//
//   request            fn   sub  data  request  reply   line
//   Ident              AA   A4   1     8        17      programming cable, address 0x00
//   FlashPrep          AA   A3   1     8        7       programming cable
//   Begin              AA   A1   1     8        7       programming cable
//   End                AA   A2   1     8        7       programming cable
//   WriteFlash         1F   -    2-16  7+N      7       programming cable, whole words
//   WriteEeprom        1E   -    1-16  7+N      7       programming cable
//   Version            AA   A4   1     8        17      group line, the КП's controller number
//   ReadEepromByte     E3   -    0     7        6       group line: one byte asked for
//   WriteEepromByte    1E   -    1     8        7       group line: one byte written

#include <array>
#include <cstdint>
#include <stdexcept>

namespace talmar {

// Function codes.
inline constexpr uint8_t FN_SERVICE = 0xAA;
inline constexpr uint8_t FN_WRITE_FLASH = 0x1F;  // one to eight program words, low byte first
inline constexpr uint8_t FN_WRITE_EEPROM = 0x1E; // one to sixteen data bytes
inline constexpr uint8_t FN_READ_EEPROM = 0xE3;  // data-memory bytes read back (the group line)

// Sub-codes of FN_SERVICE.
inline constexpr uint8_t SUB_IDENT = 0xA4;
inline constexpr uint8_t SUB_FLASH_PREP = 0xA3;
inline constexpr uint8_t SUB_BEGIN = 0xA1;
inline constexpr uint8_t SUB_END = 0xA2;

// The bytes of a request around its data, and of a reply around what it carries.
inline constexpr int kRequestOverhead = 7; // address, function, two address bytes, count, CRC x2

enum class TRequestId {
    Ident,
    FlashPrep,
    Begin,
    End,
    WriteFlash,
    WriteEeprom,
    Version,
    ReadEepromByte,
    WriteEepromByte,
};

struct TRequestSpec {
    TRequestId id;
    const char* name;
    uint8_t fn;
    int sub;      // service sub-code (the one data byte), -1 for none
    int dataMin;  // data bytes the request carries
    int dataMax;  //   (a request of N data bytes is kRequestOverhead + N long)
    int dataStep; // data bytes come in units of this many (FLASH words: 2)
    int replyLength;
    bool group; // the group line at 9600 baud, addressed by controller number

    constexpr int RequestLength(int dataCount) const { return kRequestOverhead + dataCount; }
    // The length of the request when it carries a fixed count of data bytes.
    constexpr int FixedLength() const {
        if (dataMin != dataMax)
            throw std::logic_error("request of variable length");
        return RequestLength(dataMin);
    }
    constexpr bool TakesData(int dataCount) const {
        return dataCount >= dataMin && dataCount <= dataMax && dataCount % dataStep == 0;
    }
};

inline constexpr std::array<TRequestSpec, 9> kRequests = {{
    {TRequestId::Ident, "Ident", FN_SERVICE, SUB_IDENT, 1, 1, 1, 17, false},
    {TRequestId::FlashPrep, "FlashPrep", FN_SERVICE, SUB_FLASH_PREP, 1, 1, 1, 7, false},
    {TRequestId::Begin, "Begin", FN_SERVICE, SUB_BEGIN, 1, 1, 1, 7, false},
    {TRequestId::End, "End", FN_SERVICE, SUB_END, 1, 1, 1, 7, false},
    {TRequestId::WriteFlash, "WriteFlash", FN_WRITE_FLASH, -1, 2, 16, 2, 7, false},
    {TRequestId::WriteEeprom, "WriteEeprom", FN_WRITE_EEPROM, -1, 1, 16, 1, 7, false},
    {TRequestId::Version, "Version", FN_SERVICE, SUB_IDENT, 1, 1, 1, 17, true},
    {TRequestId::ReadEepromByte, "ReadEepromByte", FN_READ_EEPROM, -1, 0, 0, 1, 6, true},
    {TRequestId::WriteEepromByte, "WriteEepromByte", FN_WRITE_EEPROM, -1, 1, 1, 1, 7, true},
}};

constexpr const TRequestSpec& Request(TRequestId id) {
    for (const TRequestSpec& r : kRequests)
        if (r.id == id)
            return r;
    throw std::logic_error("request not in the table");
}

// The lengths the exchanges ask for.
inline constexpr int kShortReplyLength = Request(TRequestId::Begin).replyLength;
inline constexpr int kIdentReplyLength = Request(TRequestId::Ident).replyLength;
inline constexpr int kMaxRequestData = Request(TRequestId::WriteEeprom).dataMax;

} // namespace talmar
