#pragma once
// The terminal side of talmar-cli. Standard output carries the results (the identification text,
// the log lines of the run); standard error carries the program's messages, the progress and the
// byte trace. On a terminal the progress is one bar redrawn in place; otherwise plain lines.

#include "base/QtHost.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace talmar::cli {

class TConsole {
public:
    using TClock = std::chrono::steady_clock;

    // quiet drops the progress and the log lines on standard output; messages and the trace stay.
    explicit TConsole(bool quiet);

    void Message(const std::string& text); // standard error
    void Result(const std::string& text);  // standard output, always
    void LogLine(const std::string& line); // standard output, unless quiet
    // Why a job failed when only a log line tells it: standard error when quiet hides the log
    // lines (otherwise that line on standard output says it).
    void Reason(const std::string& text);

    // done bytes of total, since the first report of the run.
    void Progress(int done, int total);
    // Closes the progress of the run (the bar's line on a terminal).
    void EndProgress();

    // One block on the line, with the milliseconds since the program started.
    void Trace(bool out, const uint8_t* data, int count);

    // "1:05": minutes and seconds.
    static std::string FormatDuration(std::chrono::milliseconds ms);
    // "[#####-----]  50%  100/200 байт  0:02, осталось 0:02" (no bar and no remaining time for a
    // plain line).
    static std::string FormatProgress(int done, int total, std::chrono::milliseconds elapsed, bool bar);

private:
    void CloseBarLine();

    bool quiet_;
    bool tty_;
    TClock::time_point started_ = TClock::now();
    // The progress of the current run.
    bool running_ = false;
    TClock::time_point runStarted_;
    TClock::time_point lastDrawn_;
    int lastTenth_ = -1;
    bool barOpen_ = false;
};

// The window system as the command line has it: messages are printed and need no answer (an
// OK/Cancel question takes OK); the reply timer and the event loop are Qt's.
class TCliHost : public TQtHost {
    Q_OBJECT
public:
    explicit TCliHost(TConsole& console) : console_(console) {}
    TMsgResult ShowMessage(const std::string& text, const std::string& caption, TMsgButtons buttons,
                           TMsgIcon icon) override;

private:
    TConsole& console_;
};

} // namespace talmar::cli
