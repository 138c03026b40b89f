#pragma once
// Log.txt: the record of what was programmed into which modem. Windows-1251 text, one log line
// per text line, CR LF line ends. Written whole and atomically (temporary file, then rename), so
// a failed write never leaves a truncated log behind.

#include <ctime>
#include <string>
#include <vector>

namespace talmar {

inline constexpr const char* kLogFileName = "Log.txt";

// Local date and time as the log writes them: short date, a blank, long time (08.12.2026 4:33:15).
std::string FormatLogDateTime(std::time_t t);
std::string LogNow();

// The three lines appended to the log at each start: empty, the session header, empty.
std::vector<std::string> SessionHeader(std::time_t t);

enum class TLogLoad { Loaded, Missing, Unreadable };

// Reads the lines (UTF-8) of a log file. CR LF, LF and lone CR all end a line.
TLogLoad LoadLogLines(const std::string& path, std::vector<std::string>& lines, std::string* error = nullptr);

// Replaces the file with the lines, each ended by CR LF. Throws std::runtime_error (Russian text
// naming the file) when it cannot; the old file is then left as it was.
void SaveLogLines(const std::string& path, const std::vector<std::string>& lines);

// Adds lines to the end of the file, keeping everything it had (also written atomically).
void AppendLogLines(const std::string& path, const std::vector<std::string>& lines);

} // namespace talmar
