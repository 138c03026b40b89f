#pragma once
// File names are UTF-8 strings inside the program. On Windows a narrow file name is read in the
// ANSI code page, so a Cyrillic folder or table name would not be found there; every place where
// such a string becomes a file name goes through these.

#include <filesystem>
#include <string>
#include <string_view>

namespace talmar {

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

#ifdef _WIN32
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// The system's own text for a Windows error code (GetLastError), as UTF-8 without the line end.
std::string WinErrorText(unsigned long code);
#endif

} // namespace talmar
