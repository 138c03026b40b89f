#pragma once
// What the benchmarks share: the host (Qt's event loop and reply timer, messages printed to
// standard error), the processor clock of the calling thread, and adding table rows.

#include "link/QtHost.h"
#include "store/Table.h"

#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <string>
#include <utility>

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

// A new record with the given fields, posted.
inline void AddRow(TTable& t, std::initializer_list<std::pair<const char*, TValue>> values) {
    t.Insert();
    for (const auto& [name, value] : values)
        t.SetFieldByName(name, value);
    t.Post();
}

} // namespace talmar::bench
