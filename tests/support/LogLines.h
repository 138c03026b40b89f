#pragma once
// What the window and talmar-cli tests share: the date stamp of log lines as a pattern, and a
// firmware file to program.

#include <cstdint>
#include <string>
#include <vector>

namespace talmar::test {

// "08.12.2026 4:33:15" as a regular expression.
inline const std::string kStamp = R"(\d\d\.\d\d\.\d{4} \d{1,2}:\d\d:\d\d)";

bool Matches(const std::string& line, const std::string& pattern);

// The lines of a program's output, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// Writes a Generic firmware file of `words` consecutive words from address 0, each first + i * step,
// and returns the words.
std::vector<uint16_t> WriteFirmware(const std::string& path, int words, uint16_t first, uint16_t step);

} // namespace talmar::test
