#include "link/LogFile.h"

#include "link/Cp1251.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace talmar {

std::string FormatLogDateTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
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
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT)
        return TLogLoad::Missing;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    if (!in || S_ISDIR(st.st_mode) || !(data << in.rdbuf() || in.peek() == EOF)) {
        if (error)
            *error = std::strerror(S_ISDIR(st.st_mode) ? EISDIR : errno);
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
    throw std::runtime_error("Не удалось записать файл " + path + ": " + std::strerror(err));
}

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
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        // A history that cannot be read must not be replaced by the new lines alone.
        std::ifstream in(path, std::ios::binary);
        std::ostringstream data;
        if (S_ISDIR(st.st_mode) || !in || !(data << in.rdbuf() || in.peek() == EOF))
            throw std::runtime_error("Не удалось прочитать файл журнала " + path +
                                     "; он оставлен как был, новые строки в него не записаны");
        bytes = data.str();
    }
    WriteAtomically(path, WithLines(std::move(bytes), lines));
}

} // namespace talmar
