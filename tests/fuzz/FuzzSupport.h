#pragma once
// What the fuzz harnesses share: a check that stops the run with a message (libFuzzer keeps the
// input), a scratch folder in memory, and the checks of text the user gets to see.

#include <cstdint>
#include <string>
#include <string_view>

namespace talmar::fuzz {

// Prints what went wrong and aborts: libFuzzer saves the input that led here.
[[noreturn]] void Fault(const std::string& what);
inline void Require(bool condition, const char* what) {
    if (!condition)
        Fault(what);
}

// A fresh folder for the harness's files (in /dev/shm where there is one: the log and the tables
// sync every write, which a disk would make slow), or in $TALMAR_FUZZ_SCRATCH. Removed at exit.
const std::string& ScratchFolder();

// The scratch folder as the current folder while it lives (the tables and temp.eep are found in
// the current folder); the folder before is made current again after, so that libFuzzer's own
// relative paths keep working.
class TInScratchFolder {
public:
    TInScratchFolder();
    ~TInScratchFolder();
    TInScratchFolder(const TInScratchFolder&) = delete;
    TInScratchFolder& operator=(const TInScratchFolder&) = delete;

private:
    int previous_;
};

bool ValidUtf8(std::string_view s);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, std::string_view bytes);

} // namespace talmar::fuzz
