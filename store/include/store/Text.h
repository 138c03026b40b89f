#pragma once
// Small text helpers for names and values. Text inside the program is UTF-8.

#include <string>
#include <string_view>

namespace talmar {

// Blanks (spaces and tabs) removed at both ends.
std::string Trim(std::string_view s);

// Lower case for comparing names and values without regard to letter case: Latin and Cyrillic
// letters (Ё included); everything else is kept as it is.
std::string FoldCase(std::string_view s);

bool EqualNoCase(std::string_view a, std::string_view b);

// Number of characters (code points) of UTF-8 text: what an Alpha n column limits.
std::size_t Utf8Length(std::string_view s);

} // namespace talmar
