#pragma once
// What the benchmarks share: the host (Qt's event loop and reply timer, messages printed to
// standard error) and the processor clock of the calling thread.

#include "base/QtHost.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace talmar::bench {

class TBenchHost : public TQtHost {
public:
    TMsgResult ShowMessage(const std::string& text, const std::string&, TMsgButtons, TMsgIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++messages;
        return TMsgResult::Ok;
    }
    int messages = 0;
};

// Processor time of the calling thread, in seconds. The simulator serves the line on a thread of
// its own in the same process, so the process's clock would count it too.
inline double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

} // namespace talmar::bench
