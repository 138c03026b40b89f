#pragma once
// The run's lines in Log.txt of the current folder, after the lines of the window's and earlier
// tool runs. A run that logs anything is a session of its own: its first line comes after an
// empty line, the session header and another empty line, as at each start of the window. Every
// line is on disk as soon as it is logged, so an interrupted run still leaves its start line.

#include <string>
#include <vector>

namespace talmar::cli {

class TConsole;

class TSessionLog {
public:
    TSessionLog(std::string path, TConsole& console) : path_(std::move(path)), console_(console) {}

    // Whether the log can be read; a log that cannot be read is never rewritten. Gives the
    // reason in error.
    bool Usable(std::string& error) const;

    // Adds the line (after the session header, the first time) to the file and shows it.
    void Append(const std::string& line);

    // Lines that could not be written, and why. Empty when everything is in the file.
    const std::vector<std::string>& Unsaved() const { return pending_; }
    const std::string& Error() const { return error_; }

private:
    std::string path_;
    TConsole& console_;
    bool headerDone_ = false;
    std::vector<std::string> pending_;
    std::string error_;
};

} // namespace talmar::cli
