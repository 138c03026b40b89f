#include "SessionLog.h"

#include "Console.h"
#include "link/LogFile.h"

#include <ctime>

namespace talmar::cli {

bool TSessionLog::Usable(std::string& error) const {
    std::vector<std::string> lines;
    return LoadLogLines(path_, lines, &error) != TLogLoad::Unreadable;
}

void TSessionLog::Append(const std::string& line) {
    if (!headerDone_) {
        for (const auto& h : SessionHeader(std::time(nullptr)))
            pending_.push_back(h);
        headerDone_ = true;
    }
    pending_.push_back(line);
    console_.LogLine(line);
    try {
        AppendLogLines(path_, pending_);
        pending_.clear();
        error_.clear();
    } catch (const std::exception& e) {
        // Kept for the next line and for the end of the run: the job itself goes on.
        error_ = e.what();
    }
}

} // namespace talmar::cli
