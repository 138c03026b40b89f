#pragma once
// Firmware and settings image files.
//
// An image is a list of (address, value) entries sorted by address: FLASH entries are program
// words at word addresses, EEPROM entries are bytes at byte addresses. Two file formats:
//
// Generic: one entry per line, lines ended by CR LF or LF, hexadecimal fields by position
//   FLASH   "AAAAAA:WWWW"  six-digit word address (taken modulo 65536), any separator, the word
//   EEPROM  "AAAA:BB"      four-digit byte address, any separator, the byte
//   Whatever follows the last field is ignored. A field that is not all hex digits stops the load
//   with "'$<field>' is not a valid integer value"; a field cut short by the end of its line
//   ("000000:C0") stops it with a message naming the line.
//
// Intel HEX (the last line that is not blank begins with ":"): data records (00), end of file
//   (01), extended segment (02) and extended linear (04) address records; start address records
//   (03, 05) are checked and skipped. Every checksum is verified. The bytes land at their addresses; for
//   FLASH two bytes make a little-endian word (low byte at the even address) and a word only half given gets
//   0xFF in its missing byte, which is what an erased flash holds.

#include "base/Errors.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace talmar {

enum TTypePROM : int { tpEEPROM = 0, tpFLASH = 1 };
enum TFileFormat : int { IntelHEX = 0, Generic = 1 };

struct TImageEntry {
    uint16_t Address = 0;
    uint16_t Value = 0;

    bool operator==(const TImageEntry&) const = default;
};

using TImage = std::vector<TImageEntry>;

// Entry indices of an image are 16-bit: a longer Generic file is refused, never wrapped.
inline constexpr std::size_t kMaxGenericLines = 65535;

struct TLoadedImage {
    TImage entries;     // sorted
    TFileFormat format; // that of the file's last line; `previous` when the file has no lines
};

// Reads and sorts an image from file contents. name is used in messages only. Throws an
// error of kind File: EImageFile, or EConvertError for a field that is not a number.
TLoadedImage ParseImage(std::string_view contents, TTypePROM type, const std::string& name,
                        TFileFormat previous = Generic);

// Reads the file and parses it. Throws as ParseImage does (EInOutError when it cannot be read).
TLoadedImage ReadImageFile(const std::string& fileName, TTypePROM type, TFileFormat previous = Generic);

// Sorts entries into ascending address order. Entries sharing an address end up exactly where
// this exchange sort puts them: n passes, pass p comparing the neighbours k, k+1 for
// k = 0 .. max(0, n-2-p) and swapping them when the first address is greater than or equal to
// the second. That order decides which of them the modem gets last, so it is kept. The work is
// O(n log n) when all addresses differ and at most O(n sqrt n) otherwise.
void SortImage(TImage& image);

} // namespace talmar
