#include "tests/support/LogLines.h"

#include "tests/support/TempDir.h"

#include <cstdio>
#include <regex>
#include <sstream>

namespace talmar::test {

bool Matches(const std::string& line, const std::string& pattern) {
    return std::regex_match(line, std::regex(pattern));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

std::vector<uint16_t> WriteFirmware(const std::string& path, int words, uint16_t first, uint16_t step) {
    std::vector<uint16_t> w;
    std::string text;
    for (int i = 0; i < words; ++i) {
        w.push_back(static_cast<uint16_t>(first + i * step));
        char line[32];
        std::snprintf(line, sizeof line, "%06X:%04X\r\n", i, w.back());
        text += line;
    }
    WriteFileBytes(path, text);
    return w;
}

} // namespace talmar::test
