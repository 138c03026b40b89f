// Log.txt as the window and the command-line tool share it.
#include "link/LogFile.h"

#include "base/Cp1251.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace talmar;
using talmar::test::ReadFileBytes;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

TEST(LogFile, LinesRoundTripInWindows1251WithCrLf) {
    TTempDir dir;
    const std::string path = dir.File("Log.txt");
    const std::vector<std::string> lines = {"", "08.12.2026 4:33:15: прошиваю файл \"C:\\fw\\a.rom\"...",
                                            "ЛТР-20 v3 № ёЁ", ""};
    SaveLogLines(path, lines);
    EXPECT_EQ(ReadFileBytes(path),
              "\r\n" + Utf8ToCp1251(lines[1]) + "\r\n" + Utf8ToCp1251(lines[2]) + "\r\n\r\n");
    std::vector<std::string> back;
    ASSERT_EQ(LoadLogLines(path, back), TLogLoad::Loaded);
    EXPECT_EQ(back, lines);

    // LF-only and lone-CR files read the same; a last line without its end is kept.
    WriteFileBytes(path, "a\nb\rc");
    ASSERT_EQ(LoadLogLines(path, back), TLogLoad::Loaded);
    EXPECT_EQ(back, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(LoadLogLines(dir.File("none.txt"), back), TLogLoad::Missing);
}

TEST(LogFile, AppendingKeepsTheHistoryAndNeverReplacesWhatItCannotRead) {
    TTempDir dir;
    const std::string path = dir.File("Log.txt");
    WriteFileBytes(path, "old line"); // an earlier writer left no line end
    AppendLogLines(path, {"новая"});
    EXPECT_EQ(ReadFileBytes(path), "old line\r\n" + Utf8ToCp1251("новая") + "\r\n");
    AppendLogLines(dir.File("fresh.txt"), {"x"});
    EXPECT_EQ(ReadFileBytes(dir.File("fresh.txt")), "x\r\n");

    std::filesystem::create_directory(dir.File("Dir.txt"));
    EXPECT_THROW(AppendLogLines(dir.File("Dir.txt"), {"x"}), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("Dir.txt")));
    // A save that cannot happen leaves the old file whole and no temporary behind.
    EXPECT_THROW(SaveLogLines(dir.File("no/such/folder/Log.txt"), {"x"}), std::runtime_error);
}

TEST(LogFile, DateAndHeaderReadAsTheEngineerExpects) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 8;
    tm.tm_hour = 4;
    tm.tm_min = 33;
    tm.tm_sec = 5;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    EXPECT_EQ(FormatLogDateTime(t), "08.12.2026 4:33:05");
    const auto header = SessionHeader(t);
    ASSERT_EQ(header.size(), 3u);
    EXPECT_EQ(header[1], "-----------------   СЕАНС ОТ  08.12.2026 4:33:05    ----------------------");
    EXPECT_EQ(header[0], "");
    EXPECT_EQ(header[2], "");
}

TEST(LogFile, EarlierHistoryIsWrittenBackByteForByte) {
    TTempDir dir;
    const std::string path = dir.File("Log.txt");
    // 0x98 has no letter in Windows-1251; an LF-only line and a last line ended by a lone CR, as
    // other editors leave them.
    const std::string history = "\x98 old\nline\r\n\xC0\xC1\r";
    WriteFileBytes(path, history);
    std::vector<std::string> lines;
    std::string bytes;
    ASSERT_EQ(LoadLogLines(path, lines, nullptr, &bytes), TLogLoad::Loaded);
    EXPECT_EQ(bytes, history);
    ASSERT_EQ(lines.size(), 3u);
    SaveLogWithHistory(path, bytes, {"новая"});
    EXPECT_EQ(ReadFileBytes(path), history + Utf8ToCp1251("новая") + "\r\n");

    // Appending after a lone CR adds no empty line.
    WriteFileBytes(path, "a\r");
    AppendLogLines(path, {"b"});
    ASSERT_EQ(LoadLogLines(path, lines), TLogLoad::Loaded);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
}

TEST(LogFile, LineBreaksInsideAValueNeverSplitALine) {
    EXPECT_EQ(LogLineText("КП\r\nСеверный\nТП\r1\u2028x\u2029y"), "КП Северный ТП 1 x y");
    TTempDir dir;
    const std::string path = dir.File("Log.txt");
    SaveLogLines(path, {"a\nb", "c"});
    EXPECT_EQ(ReadFileBytes(path), "a b\r\nc\r\n");
}
