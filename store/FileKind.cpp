#include "store/FileKind.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace talmar {
namespace {

unsigned U16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}

// The header of a table of the old desktop database (Paradox .DB): record size, header size,
// file type 0 (keyed) or 2 (unkeyed), block size in KB, field count and the format version.
bool IsParadoxHeader(const unsigned char* h, std::uintmax_t fileSize) {
    const unsigned recordSize = U16(h + 0x00);
    const unsigned headerSize = U16(h + 0x02);
    const unsigned fileType = h[0x04];
    const unsigned blockKb = h[0x05];
    const unsigned fieldCount = U16(h + 0x21);
    const unsigned version = h[0x39];
    return recordSize > 0 && headerSize >= 0x58 && headerSize <= fileSize &&
           (fileType == 0 || fileType == 2) && blockKb >= 1 && blockKb <= 32 && fieldCount >= 1 &&
           fieldCount <= 255 && recordSize >= fieldCount && version >= 3 && version <= 12;
}

} // namespace

TFileKind InspectTableFile(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status))
        return TFileKind::Missing;
    if (!std::filesystem::is_regular_file(status))
        return TFileKind::Unreadable;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec)
        return TFileKind::Unreadable;
    if (size == 0)
        return TFileKind::Empty;

    std::ifstream in(path, std::ios::binary);
    if (!in)
        return TFileKind::Unreadable;
    unsigned char head[0x60] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const auto got = static_cast<std::size_t>(in.gcount());

    static const char kSqlite[] = "SQLite format 3"; // followed by a zero byte
    if (got >= 16 && std::memcmp(head, kSqlite, 16) == 0)
        return TFileKind::Sqlite;
    if (got == sizeof head && IsParadoxHeader(head, size))
        return TFileKind::Paradox;
    return TFileKind::Unknown;
}

} // namespace talmar
