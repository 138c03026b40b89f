#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace talmar::test {

TTempDir::TTempDir(bool enter) {
#ifdef _WIN32
    // No mkdtemp there: a random name, taken only if nobody has it yet.
    std::random_device random;
    for (int tries = 0;; ++tries) {
        path_ = std::filesystem::temp_directory_path() / ("talmar-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_))
            break;
        if (tries > 100)
            throw std::runtime_error("no temporary folder");
    }
#else
    std::string tmpl = (std::filesystem::temp_directory_path() / "talmar-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
#endif
    if (enter) {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
        entered_ = true;
    }
}

TTempDir::~TTempDir() {
    std::error_code ec;
    if (entered_)
        std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace talmar::test
