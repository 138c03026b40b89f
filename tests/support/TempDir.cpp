#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace talmar::test {

TTempDir::TTempDir(bool enter) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "talmar-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
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
