// Files as Windows keeps them: Log.txt and image files byte for byte in binary mode, a save that
// replaces the file before it, Cyrillic folder names, and Windows-1251 as Windows itself has it.
#include "base/Cp1251.h"
#include "base/ImageFile.h"
#include "base/Utf8Path.h"
#include "link/LogFile.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

using namespace talmar;
using talmar::test::TTempDir;

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> FolderNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(PathToUtf8(e.path().filename()));
    return names;
}

// A folder with a Cyrillic name: this program runs in a Western code page (no UTF-8 manifest), so a
// UTF-8 name that reaches a narrow call finds nothing there.
fs::path CyrillicFolder(const TTempDir& dir) {
    const fs::path folder = dir.Path() / PathFromUtf8("Журнал Тальмара");
    fs::create_directory(folder);
    return folder;
}

} // namespace

TEST(WindowsLogFile, SavesReplaceTheOldFileAndKeepEveryByte) {
    TTempDir dir;
    const fs::path folder = CyrillicFolder(dir);
    const std::string path = PathToUtf8(folder / "Log.txt");

    // Earlier history as other writers leave it: CR LF, a lone LF, a lone CR, 0x98 (no letter in
    // Windows-1251) and Ctrl-Z, which the C library's text mode takes for the end of a file.
    const std::string history = "first\r\nLF only\nCR only\r\x98\x1A after Ctrl-Z\r\n";
    WriteBytes(folder / "Log.txt", history);
    std::vector<std::string> lines;
    std::string bytes;
    ASSERT_EQ(LoadLogLines(path, lines, nullptr, &bytes), TLogLoad::Loaded);
    EXPECT_EQ(bytes, history);
    EXPECT_EQ(lines.size(), 4u);

    // The first save replaces the file, and so does every save after it.
    SaveLogWithHistory(path, bytes, {"сеанс 1"});
    const std::string once = history + Utf8ToCp1251("сеанс 1") + "\r\n";
    EXPECT_EQ(ReadBytes(folder / "Log.txt"), once);
    ASSERT_EQ(LoadLogLines(path, lines, nullptr, &bytes), TLogLoad::Loaded);
    SaveLogWithHistory(path, bytes, {"", "сеанс 2"});
    const std::string twice = once + "\r\n" + Utf8ToCp1251("сеанс 2") + "\r\n";
    EXPECT_EQ(ReadBytes(folder / "Log.txt"), twice);

    AppendLogLines(path, {"ещё"});
    EXPECT_EQ(ReadBytes(folder / "Log.txt"), twice + Utf8ToCp1251("ещё") + "\r\n");
    SaveLogLines(path, {"заново"});
    EXPECT_EQ(ReadBytes(folder / "Log.txt"), Utf8ToCp1251("заново") + "\r\n");
    // Nothing but the log is left in the folder: no temporary file of a save.
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"Log.txt"});
}

TEST(WindowsLogFile, AFailedSaveNamesTheFileAndLeavesTheOldOne) {
    TTempDir dir;
    const fs::path folder = CyrillicFolder(dir);
    const std::string path = PathToUtf8(folder / "Log.txt");
    WriteBytes(folder / "Log.txt", "old\r\n");
    // The file is held open without sharing, as an editor may hold it: it cannot be replaced.
    HANDLE held = CreateFileW((folder / "Log.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    try {
        SaveLogLines(path, {"new"});
        ADD_FAILURE() << "a save over a file held by another program cannot succeed";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(folder / "Log.txt"), "old\r\n");
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"Log.txt"});
}

TEST(WindowsImageFile, ReadFromACyrillicFolderWithWindowsLineEnds) {
    TTempDir dir;
    const fs::path folder = CyrillicFolder(dir);
    WriteBytes(folder / PathFromUtf8("прошивка.rom"), "000000:C00A\r\n000002:1234\r\n000001:FFFF\r\n");
    const TLoadedImage image = ReadImageFile(PathToUtf8(folder / PathFromUtf8("прошивка.rom")), tpFLASH);
    const TImage expected = {{0, 0xC00A}, {1, 0xFFFF}, {2, 0x1234}};
    EXPECT_EQ(image.entries, expected);

    // Intel HEX: two data bytes at 0x0010 (one FLASH word, low byte first), then the end.
    WriteBytes(folder / "a.hex", ":020010000AC024\r\n:00000001FF\r\n");
    EXPECT_EQ(ReadImageFile(PathToUtf8(folder / "a.hex"), tpFLASH).entries, (TImage{{8, 0xC00A}}));
}

// Windows' own code page 1251 is the independent judge of the program's table.
TEST(WindowsCp1251, EveryByteAndEveryCharacterAsWindowsConvertsThem) {
    std::string unassigned; // bytes the program reads as U+FFFD (Windows passes 0x98 as U+0098)
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        wchar_t wide = 0;
        const int n = MultiByteToWideChar(1251, MB_ERR_INVALID_CHARS, &byte, 1, &wide, 1);
        const std::string ours = Cp1251ToUtf8(std::string(1, byte));
        if (ours == "\xEF\xBF\xBD") { // U+FFFD: a code the page leaves unassigned
            unassigned += byte;
            continue;
        }
        ASSERT_EQ(n, 1) << "byte " << b;
        EXPECT_EQ(ours, Utf8FromWide(std::wstring(1, wide))) << "byte " << b;
    }
    // Back: every character of the Basic Multilingual Plane's first blocks and of the punctuation
    // and symbol blocks; those the page lacks become '?' as Windows' default character.
    for (wchar_t c = 1; c < 0x2200; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        char out[4] = {};
        BOOL usedDefault = FALSE;
        const int n =
            WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, &c, 1, out, sizeof out, "?", &usedDefault);
        ASSERT_EQ(n, 1) << "U+" << std::hex << static_cast<int>(c);
        if (!usedDefault && unassigned.find(out[0]) != std::string::npos)
            out[0] = '?';
        EXPECT_EQ(Utf8ToCp1251(Utf8FromWide(std::wstring(1, c))), std::string(1, out[0]))
            << "U+" << std::hex << static_cast<int>(c);
    }
}
