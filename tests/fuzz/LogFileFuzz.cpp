// Log.txt as the program reads, rewrites and extends it, from arbitrary file contents.
//
// Input: byte 0 is the length L of a block of new lines (UTF-8 as the program makes it, or not:
// a name from a table may hold any bytes; lines parted by 0x1F), the L bytes of that block
// follow, and the rest is the file Log.txt as found on disk (Windows-1251).
//
// The history is never altered: saving at exit and appending keep every byte of the file, and
// each new line becomes exactly one line of the log, whatever it holds.

#include "base/Cp1251.h"
#include "link/LogFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace talmar;
using talmar::fuzz::Fault;
using talmar::fuzz::ReadBytes;
using talmar::fuzz::Require;
using talmar::fuzz::WriteBytes;

// A text with none of the line breaks a log line must not hold: CR, LF, U+2028, U+2029.
bool OneLine(std::string_view text) {
    return text.find_first_of("\r\n") == std::string_view::npos &&
           text.find("\u2028") == std::string_view::npos && text.find("\u2029") == std::string_view::npos;
}

std::vector<std::string> Load(const std::string& path) {
    std::vector<std::string> lines;
    std::string error;
    Require(LoadLogLines(path, lines, &error) == TLogLoad::Loaded, "a log file that exists was not loaded");
    for (const std::string& l : lines)
        Require(fuzz::ValidUtf8(l), "a loaded log line is not valid UTF-8");
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const std::string dir = fuzz::ScratchFolder();
    if (size == 0)
        return 0;
    const std::size_t blockSize = std::min<std::size_t>(data[0], size - 1);
    const std::string_view block(reinterpret_cast<const char*>(data + 1), blockSize);
    const std::string_view file(reinterpret_cast<const char*>(data + 1 + blockSize), size - 1 - blockSize);
    std::vector<std::string> added;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(block.find('\x1F', start), block.size());
        added.emplace_back(block.substr(start, end - start));
        if (end == block.size())
            break;
        start = end + 1;
    }

    const std::string log = dir + "/" + kLogFileName;
    const std::string saved = dir + "/Saved.txt";
    WriteBytes(log, file);

    // At start: the lines for the pane, and the file's bytes to write back.
    std::vector<std::string> history;
    std::string bytes;
    Require(LoadLogLines(log, history, nullptr, &bytes) == TLogLoad::Loaded,
            "a log file that exists was not loaded");
    Require(bytes == file, "the bytes kept of the log are not the file's");
    Require(Load(log) == history, "loading the log twice gave different lines");

    // What the log must read as afterwards: the history, then one line per new line, which a
    // line without line breaks reads back as itself (as far as Windows-1251 has its letters).
    const auto check = [&](const std::string& path, const char* what) {
        const std::string now = ReadBytes(path);
        if (now.compare(0, file.size(), file) != 0)
            Fault(std::string(what) + ": the earlier bytes of the log changed");
        const std::vector<std::string> lines = Load(path);
        if (lines.size() != history.size() + added.size() ||
            !std::equal(history.begin(), history.end(), lines.begin()))
            Fault(std::string(what) + ": the log does not read as its history and one line per new line");
        for (std::size_t k = 0; k < added.size(); ++k)
            if (OneLine(added[k]) && lines[history.size() + k] != Cp1251ToUtf8(Utf8ToCp1251(added[k])))
                Fault(std::string(what) + ": a new line does not read back as written");
    };
    // At exit the window writes the history back and its own lines after it.
    SaveLogWithHistory(saved, bytes, added);
    check(saved, "saving");
    // talmar-cli appends its lines to the file.
    AppendLogLines(log, added);
    check(log, "appending");
    return 0;
}
