// Log.txt as the program reads, rewrites and extends it, from arbitrary file contents.
//
// Input: byte 0 is the length L of a block of new lines (UTF-8, parted by 0x1F), the L bytes of
// that block follow, and the rest is the file Log.txt as found on disk (Windows-1251).
//
// The history is never altered: the lines loaded and saved again give the same bytes, each line
// ended by CR LF; appending keeps every byte of the file and adds exactly the new lines.

#include "link/Cp1251.h"
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
using talmar::fuzz::ReadBytes;
using talmar::fuzz::Require;
using talmar::fuzz::WriteBytes;

// The file as a rewrite must give it back: every line end (CR LF, LF or a lone CR) as CR LF and
// a last line without an end given one.
std::string WithCrLf(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    if (!bytes.empty() && bytes.back() != '\r' && bytes.back() != '\n')
        out += "\r\n";
    return out;
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
    bool plainLines = true; // no line breaks inside the new lines
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(block.find('\x1F', start), block.size());
        added.emplace_back(block.substr(start, end - start));
        plainLines = plainLines && added.back().find_first_of("\r\n") == std::string::npos;
        if (end == block.size())
            break;
        start = end + 1;
    }

    const std::string log = dir + "/" + kLogFileName;
    const std::string copy = dir + "/Copy.txt";
    WriteBytes(log, file);

    // Loaded at start, saved at exit: the same bytes.
    const std::vector<std::string> history = Load(log);
    SaveLogLines(copy, history);
    Require(ReadBytes(copy) == WithCrLf(file), "saving the loaded log changed its bytes");
    Require(Load(copy) == history, "the saved log does not load as the same lines");

    // Lines appended: the file as it was, then the new lines.
    AppendLogLines(log, added);
    const std::string appended = ReadBytes(log);
    Require(appended.compare(0, file.size(), file) == 0, "appending changed the bytes already in the log");
    const std::vector<std::string> after = Load(log);
    Require(after.size() >= history.size() && std::equal(history.begin(), history.end(), after.begin()),
            "appending changed the lines already in the log");
    if (plainLines) {
        std::vector<std::string> expected = history;
        for (const std::string& l : added)
            expected.push_back(Cp1251ToUtf8(Utf8ToCp1251(l)));
        Require(after == expected, "appending did not add exactly the new lines");
    }
    return 0;
}
