#pragma once
// The modem, the tables of the old program and Log.txt speak Windows-1251; inside the program
// text is UTF-8.

#include <string>
#include <string_view>

namespace talmar {

// Bytes in Windows-1251 to UTF-8. The five unassigned codes (0x98 among them) become U+FFFD.
std::string Cp1251ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1251 bytes. Characters the code page lacks, and malformed UTF-8 (overlong forms
// included), become '?'.
std::string Utf8ToCp1251(std::string_view utf8);

// Appends one character (a code point of the Basic Multilingual Plane) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

} // namespace talmar
