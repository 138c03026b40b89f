#pragma once
// Log.txt: the record of what was programmed into which modem. Windows-1251 text, one log line
// per text line, CR LF line ends. Written whole and atomically (temporary file, then rename), so
// a failed write never leaves a truncated log behind.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace talmar {

inline constexpr const char* kLogFileName = "Log.txt";

// Local date and time as the log writes them: short date, a blank, long time (08.12.2026 4:33:15).
std::string FormatLogDateTime(std::time_t t);
std::string LogNow();

// The three lines appended to the log at each start: empty, the session header, empty.
std::vector<std::string> SessionHeader(std::time_t t);

// A text as one log line: a line break inside it (CR, LF, CR LF, the Unicode line and paragraph
// separators) becomes a blank, so a name or a modem's answer never splits a line of the log.
std::string LogLineText(std::string_view text);

enum class TLogLoad { Loaded, Missing, Unreadable };

// Reads the lines (UTF-8) of a log file. CR LF, LF and lone CR all end a line. bytes, when given,
// gets the file as it is, to be written back unchanged.
TLogLoad LoadLogLines(const std::string& path, std::vector<std::string>& lines, std::string* error = nullptr,
                      std::string* bytes = nullptr);

// Replaces the file with the lines, each ended by CR LF. Throws std::runtime_error (Russian text
// naming the file) when it cannot; the old file is then left as it was.
void SaveLogLines(const std::string& path, const std::vector<std::string>& lines);

// Replaces the file with history (the bytes of the earlier file, kept exactly as they were, even
// those Windows-1251 has no letter for) and then the new lines.
void SaveLogWithHistory(const std::string& path, const std::string& history,
                        const std::vector<std::string>& lines);

// Adds lines to the end of the file, keeping everything it had (also written atomically).
void AppendLogLines(const std::string& path, const std::vector<std::string>& lines);

} // namespace talmar
