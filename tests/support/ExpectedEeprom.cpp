#include "tests/support/ExpectedEeprom.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <utility>

namespace talmar::test {

std::vector<uint8_t> EepromAfterSettingsFile(const std::string& text, std::size_t size) {
    std::vector<std::pair<unsigned, unsigned>> lines; // address, byte, in file order
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "settings file lines end with CR LF";
        if (end == std::string::npos)
            break;
        unsigned a = 0, v = 0;
        EXPECT_EQ(std::sscanf(text.substr(pos, end - pos).c_str(), "%4X:%2X", &a, &v), 2)
            << text.substr(pos, end - pos);
        lines.emplace_back(a, v);
        pos = end + 2;
    }
    const std::size_t n = lines.size();
    for (std::size_t p = 0; n >= 2 && p < n; ++p) {
        const std::size_t last = n >= p + 2 ? n - 2 - p : 0;
        for (std::size_t k = 0; k <= last; ++k)
            if (lines[k].first >= lines[k + 1].first)
                std::swap(lines[k], lines[k + 1]);
    }
    std::vector<uint8_t> eeprom(size, 0xFF);
    for (const auto& [a, v] : lines)
        eeprom.at(a) = static_cast<uint8_t>(v);
    return eeprom;
}

} // namespace talmar::test
