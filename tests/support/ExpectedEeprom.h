#pragma once
// What a blank modem's EEPROM holds after a Generic settings file was programmed into it,
// computed independently of the program's image reader.

#include <cstdint>
#include <string>
#include <vector>

namespace talmar::test {

// The EEPROM of `size` bytes, all 0xFF before, after the AAAA:DD lines of `text` (each ending in
// CR LF) were programmed. The reader sorts the lines with an exchange sort (n passes; pass p swaps
// the neighbours k, k+1 for k = 0 .. max(0, n-2-p) when the first address is not below the second),
// which decides which of several lines for one address is written last, and so wins: here that
// sort is run pass by pass as it is described, not with the reader's own code.
std::vector<uint8_t> EepromAfterSettingsFile(const std::string& text, std::size_t size);

} // namespace talmar::test
