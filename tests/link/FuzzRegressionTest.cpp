// Faults the fuzz harnesses of tests/fuzz found in link/, kept here so the ordinary suite guards
// them; the inputs that showed them are among the harnesses' seeds.
#include "base/Cp1251.h"
#include "link/LogFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace talmar;
using talmar::test::ReadFileBytes;
using talmar::test::TTempDir;

// A text from a table may hold any bytes. "\xC0\x8D" spells CR with two bytes where one is
// needed; taken as CR it split a log line in two.
TEST(FuzzRegression, OverlongUtf8IsMalformedAndNeverSplitsALogLine) {
    EXPECT_EQ(Utf8ToCp1251("a\xC0\x8D"
                           "b"),
              "a??b");
    EXPECT_EQ(Utf8ToCp1251("\xE0\x80\x8A"), "???");                // LF in three bytes
    EXPECT_EQ(Utf8ToCp1251("\xE0\x90\x90"), "???");                // А (U+0410) in three bytes
    EXPECT_EQ(Utf8ToCp1251("\xF0\x80\x80\x8D"), "????");           // CR in four bytes
    EXPECT_EQ(Utf8ToCp1251("\xD0\x90\xC2\xA0\x0D"), "\xC0\xA0\r"); // the shortest forms still count

    TTempDir dir;
    const std::string path = dir.File("Log.txt");
    AppendLogLines(path, {"КП \xC0\x8D"
                          "Ёлкино"});
    std::vector<std::string> lines;
    ASSERT_EQ(LoadLogLines(path, lines), TLogLoad::Loaded);
    EXPECT_EQ(lines, std::vector<std::string>{"КП ??Ёлкино"});
    EXPECT_EQ(ReadFileBytes(path), Utf8ToCp1251("КП ??Ёлкино") + "\r\n");
}
