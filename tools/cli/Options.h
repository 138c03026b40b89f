#pragma once
// The command line of talmar-cli.

#include <string>
#include <vector>

namespace talmar::cli {

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1; // the modem or the file refused the job
inline constexpr int kExitUsage = 2;   // wrong usage or environment

enum class TCommand { Help, Identify, Flash, Eeprom, Settings, Poll, Switch, Verify, Ports };

struct TOptions {
    TCommand command = TCommand::Help;
    std::string file;   // flash, eeprom
    std::string system; // settings, switch: "lf", "lt" or "orten"
    std::string kp;     // settings: the NameKP of the record
    // poll and switch (the system switch window's settings, as typed there)
    std::vector<std::string> kps; // NameKP of the КП, or all of them with --all
    bool all = false;
    std::string passes = "1";               // poll: ECount
    std::string pause = "1";                // ETimeOut, seconds
    bool version = false;                   // poll: CBv4433
    std::vector<std::string> switchOptions; // the options above as given, for the usage checks
    bool repair = false;                    // verify: write the differing bytes back
    std::string port;                       // "COMn" or a device path; empty: Pref.NumCom
    bool trace = false;
    bool quiet = false;
};

extern const char* const kHelp;

// Reads the arguments after the program name. Options may stand anywhere; "--" ends them. False,
// with a message for the user, on wrong usage (no command included).
bool ParseOptions(int argc, const char* const* argv, TOptions& options, std::string& error);

// The system a command names, in any case: "lf", "lt" or "orten" into options.system. False, with
// a message for the user, for any other word.
bool ParseSystem(const std::string& word, TOptions& options, std::string& error);

// "COM3", "com3" -> "COM3"; a path with a slash is kept as it is; anything else is refused (empty).
std::string NormalizePort(const std::string& port);

} // namespace talmar::cli
