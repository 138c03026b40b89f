#include "tests/fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace talmar::fuzz {

void Fault(const std::string& what) {
    std::fprintf(stderr, "\n*** fuzz check failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

namespace {

struct TScratch {
    std::string path;
    TScratch() {
        namespace fs = std::filesystem;
        // scripts/fuzz.sh names a folder it clears away after, even when a harness crashed.
        const char* given = std::getenv("TALMAR_FUZZ_SCRATCH");
        const char* tmp = std::getenv("TMPDIR");
        const fs::path base = given                          ? fs::path(given)
                              : fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                             : fs::path(tmp ? tmp : "/tmp");
        std::string pattern = (base / "talmar-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            Fault("no scratch folder in " + base.string());
        path = pattern;
    }
    ~TScratch() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

} // namespace

const std::string& ScratchFolder() {
    static const TScratch scratch;
    return scratch.path;
}

TInScratchFolder::TInScratchFolder() : previous_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (previous_ < 0 || ::chdir(ScratchFolder().c_str()) != 0)
        Fault("cannot enter the scratch folder");
}

TInScratchFolder::~TInScratchFolder() {
    if (::fchdir(previous_) != 0)
        Fault("cannot leave the scratch folder");
    ::close(previous_);
}

bool ValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        }
        if ((b & 0xE0) == 0xC0) {
            len = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size())
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (c & 0x3F);
        }
        const char32_t least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fault("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        Fault("cannot write " + path);
}

} // namespace talmar::fuzz
