#pragma once
// A fresh temporary folder for one test, removed at the end; optionally made the current folder
// (the tables, temp.eep and Log.txt live in the current folder).

#include <filesystem>
#include <string>

namespace talmar::test {

class TTempDir {
public:
    explicit TTempDir(bool enter = false);
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
    bool entered_ = false;
};

// Whole file as bytes, and writing bytes to a file.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

} // namespace talmar::test
