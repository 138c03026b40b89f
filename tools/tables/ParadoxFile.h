#pragma once
// Reading a table of the old desktop database: a Paradox .DB file and, when its memo fields
// hold more than fits in the record, the .MB file beside it. The file is never changed: pxlib
// opens a private copy (it wants write access), and the memo blocks are read here from the .MB
// file itself (pxlib's own memo reader aborts the process).

#include "base/Errors.h"
#include "store/Value.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace talmar {

// A table that cannot be read as it is: the text is Russian and names the file.
class EParadoxError : public ETalmar {
public:
    explicit EParadoxError(const std::string& text) : ETalmar(TErrorKind::File, text) {}
};

// Field type codes as the file stores them.
enum class TParadoxType : int {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FmtMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoInc = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

// "Alpha 30", "Long Integer", "Memo": the type as Paradox names it, for messages.
std::string ParadoxTypeName(TParadoxType type, int size);

struct TParadoxField {
    std::string name; // UTF-8
    TParadoxType type;
    int size = 0; // bytes in the record (of a memo: its leader and the 10-byte pointer)
    // The values of this field read as text, whole numbers, floats or logical values; false for
    // the types the reader does not take (dates, binary data...), whose values stay empty.
    bool supported = true;
};

struct TParadoxTable {
    std::vector<TParadoxField> fields;
    // One vector per record, in the table's own order; an empty field is a null value. Alpha
    // and Memo text is converted from Windows-1251 to UTF-8.
    std::vector<std::vector<TValue>> records;
    int codePage = 0; // as the header gives it (0 when the format has none)
};

// How long the child that reads a table before this process does may take by default.
inline constexpr std::chrono::milliseconds kReadAheadLimit{10000};

// Reads the whole table. mbPath is the memo file, empty when there is none beside the table.
// A damaged or unreadable file throws EParadoxError naming it; so does a file that the child
// reading it first has not read within readAheadLimit. An interruption (Interrupt.h) throws
// TInterrupted.
TParadoxTable ReadParadoxTable(const std::string& dbPath, const std::string& mbPath,
                               std::chrono::milliseconds readAheadLimit = kReadAheadLimit);

// The child's work: opens the private copy at `path` with pxlib and reads its `records` records;
// 0 when it opened. Windows has no fork: there the program starts itself again as `PROGRAM
// <kReadAheadArgument> PATH RECORDS`, so every program that reads tables through this file on
// Windows answers that command line by returning ReadAhead(PATH, RECORDS) from its main, as
// talmar-tables does.
int ReadAhead(const std::string& path, std::uint32_t records);
inline constexpr const char* kReadAheadArgument = "--read-ahead";

// File names: UTF-8 text as a path and back, the same on every system (on Windows a plain
// std::string would be taken in the ANSI code page).
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

} // namespace talmar
