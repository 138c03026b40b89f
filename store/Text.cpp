#include "store/Text.h"

#include "base/Cp1251.h"

namespace talmar {

std::string Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

std::string FoldCase(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += (b >= 'A' && b <= 'Z') ? static_cast<char>(b + ('a' - 'A')) : static_cast<char>(b);
            ++i;
            continue;
        }
        // Cyrillic capitals are the two-byte sequences of U+0400..U+042F.
        if ((b == 0xD0) && i + 1 < s.size()) {
            const auto c = static_cast<unsigned char>(s[i + 1]);
            const char32_t full = ((b & 0x1F) << 6) | (c & 0x3F);
            if (full >= 0x400 && full <= 0x40F) {
                AppendUtf8(out, full + 0x50);
                i += 2;
                continue;
            }
            if (full >= 0x410 && full <= 0x42F) {
                AppendUtf8(out, full + 0x20);
                i += 2;
                continue;
            }
        }
        out += static_cast<char>(b);
        ++i;
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return FoldCase(a) == FoldCase(b);
}

std::size_t Utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (const char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace talmar
