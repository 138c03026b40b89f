#include "link/LogFile.h"

#include "base/Cp1251.h"
#include "base/Errors.h"
#include "base/Utf8Path.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>
#ifdef _WIN32
#include "base/WinApi.h"

#include <io.h>
#else
#include <unistd.h>
#endif

namespace talmar {

std::string FormatLogDateTime(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1,
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string LogNow() {
    return FormatLogDateTime(std::time(nullptr));
}

std::vector<std::string> SessionHeader(std::time_t t) {
    return {"", "-----------------   СЕАНС ОТ  " + FormatLogDateTime(t) + "    ----------------------", ""};
}

std::string LogLineText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += ' ';
        } else if (text.compare(i, 3, "\u2028") == 0 || text.compare(i, 3, "\u2029") == 0) {
            i += 2;
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

TLogLoad LoadLogLines(const std::string& path, std::vector<std::string>& lines, std::string* error,
                      std::string* raw) {
    lines.clear();
    if (raw)
        raw->clear();
    const std::filesystem::path file = PathFromUtf8(path);
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (ec == std::errc::no_such_file_or_directory)
        return TLogLoad::Missing;
    const bool isDir = std::filesystem::is_directory(status);
    std::ifstream in(file, std::ios::binary);
    std::ostringstream data;
    if (!in || isDir || !(data << in.rdbuf() || in.peek() == EOF)) {
        if (error)
            *error = std::strerror(isDir ? EISDIR : errno);
        return TLogLoad::Unreadable;
    }
    const std::string bytes = data.str();
    if (raw)
        *raw = bytes;
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(Cp1251ToUtf8(line));
            line.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(Cp1251ToUtf8(line));
    return TLogLoad::Loaded;
}

namespace {

[[noreturn]] void Fail(const std::string& path, int err) {
    throw EInOutError("Не удалось записать файл " + path + ": " + std::strerror(err));
}

#ifdef _WIN32

[[noreturn]] void FailWin(const std::string& path, unsigned long err) {
    throw EInOutError("Не удалось записать файл " + path + ": " + WinErrorText(err));
}

// Binary mode: the text mode of the C library would turn every CR LF into CR CR LF. The rename
// replaces the old file (the C library's rename refuses to), and the data is on the disk first.
void WriteAtomically(const std::string& path, const std::string& bytes) {
    const std::wstring file = PathFromUtf8(path).wstring();
    const std::wstring tmp = file + L".tmp";
    const int fd = ::_wopen(tmp.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0)
        Fail(path, errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t chunk = std::min<size_t>(bytes.size() - done, 1u << 20);
        const int n = ::_write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
        if (n < 0) {
            const int err = errno;
            ::_close(fd);
            ::_wunlink(tmp.c_str());
            Fail(path, err);
        }
        done += static_cast<size_t>(n);
    }
    if (::_commit(fd) != 0 || ::_close(fd) != 0) {
        const int err = errno;
        ::_wunlink(tmp.c_str());
        Fail(path, err);
    }
    if (!MoveFileExW(tmp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = GetLastError();
        ::_wunlink(tmp.c_str());
        FailWin(path, err);
    }
}

#else

void WriteAtomically(const std::string& path, const std::string& bytes) {
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Fail(path, errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            Fail(path, err);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        Fail(path, err);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        Fail(path, err);
    }
}

#endif

// The history as it is, its last line ended if it was not (a lone CR ends a line as well), then
// the lines, each ended by CR LF.
std::string WithLines(std::string history, const std::vector<std::string>& lines) {
    if (!history.empty() && history.back() != '\n' && history.back() != '\r')
        history += "\r\n";
    for (const auto& l : lines) {
        history += Utf8ToCp1251(LogLineText(l));
        history += "\r\n";
    }
    return history;
}

} // namespace

void SaveLogLines(const std::string& path, const std::vector<std::string>& lines) {
    WriteAtomically(path, WithLines({}, lines));
}

void SaveLogWithHistory(const std::string& path, const std::string& history,
                        const std::vector<std::string>& lines) {
    WriteAtomically(path, WithLines(history, lines));
}

void AppendLogLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string bytes;
    const std::filesystem::path file = PathFromUtf8(path);
    std::error_code ec;
    if (const auto status = std::filesystem::status(file, ec); !ec) {
        // A history that cannot be read must not be replaced by the new lines alone.
        std::ifstream in(file, std::ios::binary);
        std::ostringstream data;
        if (std::filesystem::is_directory(status) || !in || !(data << in.rdbuf() || in.peek() == EOF))
            throw EInOutError("Не удалось прочитать файл журнала " + path +
                              "; он оставлен как был, новые строки в него не записаны");
        bytes = data.str();
    }
    WriteAtomically(path, WithLines(std::move(bytes), lines));
}

} // namespace talmar
