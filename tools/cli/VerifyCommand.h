#pragma once
// talmar-cli verify: the settings of КП on the line checked against a settings table, and with
// --repair the differing bytes written back, by the same check as the window's.

#include <functional>
#include <string>
#include <vector>

namespace talmar {
class TComPort;
}

namespace talmar::cli {

class TCliHost;
class TConsole;
struct TOptions;

// words: "verify" and what follows it. False with a message on wrong usage.
bool ParseVerifyCommand(const std::vector<std::string>& words, TOptions& options, std::string& error);

// Runs the check in the current folder: one line per КП on standard output, an indented line per
// differing parameter, then a summary line; each КП's outcome is also a dated line of the log
// (appendLog). Exit status: 0 every КП matched (or was repaired and read back equal), 1 some
// differed, did not answer, could not be repaired or were refused, 2 nothing was sent (an unknown
// КП name, a controller number outside 0..255, no tables).
int RunVerifyCommand(const TOptions& options, TConsole& console, TCliHost& host, TComPort& port,
                     const std::function<void(const std::string&)>& appendLog);

} // namespace talmar::cli
