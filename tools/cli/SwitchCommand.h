#pragma once
// talmar-cli poll and talmar-cli switch: the system switch window's two commands on the КП of
// Data_ORTEN.DB named on the command line, run by the same switch as the window.

#include <string>
#include <vector>

namespace talmar {
class TComPort;
}

namespace talmar::cli {

class TCliHost;
class TConsole;
struct TOptions;

// The options of poll and switch (--passes, --pause, --version, --all) at argv[i]. Returns the
// number of arguments taken (1 or 2), 0 when argv[i] is none of them, -1 on wrong usage (error).
int ParseSwitchOption(int argc, const char* const* argv, int& i, TOptions& options, std::string& error);

// words: "poll" or "switch" and what follows it. False with a message on wrong usage.
bool ParseSwitchCommand(const std::vector<std::string>& words, TOptions& options, std::string& error);

// False with a message when an option of poll or switch was given to another command.
bool NoSwitchOptions(const TOptions& options, std::string& error);

// Runs poll or switch in the current folder: one line per КП on standard output (and a poll's
// counters at the end). Exit status: 0 every exchange had a valid reply, 1 some had not, 2 nothing
// was sent (an unknown or ambiguous КП name, a refused controller number, no eSysMode address).
// Errors of the port and the tables leave as exceptions, after the port is closed and at its
// baud rate again.
int RunSwitchCommand(const TOptions& options, TConsole& console, TCliHost& host, TComPort& port);

} // namespace talmar::cli
