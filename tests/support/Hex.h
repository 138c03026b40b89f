#pragma once
// Frames written as they are quoted: "01 AA 00 00 01 A4 19 F9".

#include <cstdint>
#include <string>
#include <vector>

namespace talmar::test {

inline std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

} // namespace talmar::test
