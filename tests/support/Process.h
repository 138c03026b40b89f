#pragma once
// One run of a program of the build tree as a user runs it: a child process in a given working
// folder, its own lock folder (TALMAR_LOCK_DIR) there unless set, its exit status and output.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace talmar::test {

struct TProgramRun {
    int status = -1; // -1 when it did not end normally within the time
    std::string out;
    std::string err;
};

TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, const std::map<std::string, std::string>& env = {});

} // namespace talmar::test
