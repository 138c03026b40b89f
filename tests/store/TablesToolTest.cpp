// talmar-tables: the demo it writes must be usable as it is, and it never overwrites a file.

#include "store/Validation.h"
#include "tests/store/StoreFixture.h"

#include <QProcess>
#include <set>

namespace talmar::test {
namespace {

int RunTool(const QString& command) {
    QProcess p;
    p.start(TALMAR_TABLES_TOOL, {command});
    p.waitForFinished(30000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST_F(TStoreTest, SampleTablesProgramCleanly) {
    ASSERT_EQ(RunTool("sample"), 0);
    TDMTables dm(host);
    ASSERT_TRUE(dm.Open());
    EXPECT_EQ(dm.NumCom(), 2);
    EXPECT_EQ(dm.Pref().FieldByName("TypeRemoteControl"), TValue(1));

    std::vector<std::int64_t> controllers;
    for (TTable* t : {&dm.TDataLF(), &dm.TDataLT(), &dm.TDataORTEN()}) {
        EXPECT_GE(t->RecordCount(), 2) << t->Name();
        for (t->First(); !t->Eof(); t->Next()) {
            if (t == &dm.TDataLF()) {
                EXPECT_TRUE(CheckSettings(dm, host, *t)) << t->RecNo();
            } else if (t == &dm.TDataLT()) {
                EXPECT_EQ(t->FieldByName("EForvardTC"), t->FieldByName("EForvardTY"));
            } else {
                controllers.push_back(t->FieldByName("ENumController").AsInteger());
            }
            EXPECT_TRUE(ProgramSettings(dm, *t)) << t->Name() << " " << t->RecNo();
        }
    }
    EXPECT_EQ(host.Texts(), std::vector<std::string>{});
    EXPECT_EQ(command.programmed.size(), 8u);
    EXPECT_EQ(std::vector<std::int64_t>(controllers.begin(), controllers.begin() + 3),
              (std::vector<std::int64_t>{1, 2, 3}));

    // No two parameters share an EEPROM byte.
    TTable& pt = dm.TParamType();
    std::set<std::int64_t> bytes;
    int written = 0;
    for (pt.First(); !pt.Eof(); pt.Next()) {
        if (pt.FieldByName("Addr").IsNull())
            continue;
        const std::int64_t addr = pt.FieldByName("Addr").AsInteger();
        const int width = pt.FieldByName("Size") == TValue(2) ? 2 : 1;
        written += width;
        for (int i = 0; i < width; ++i)
            bytes.insert(addr + i);
    }
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(written));
}

TEST_F(TStoreTest, CreateRefusesWhenAnyTableFileExists) {
    WriteFileBytes("Pref.db", "mine");
    EXPECT_EQ(RunTool("create"), 1);
    EXPECT_EQ(ReadFileBytes("Pref.db"), "mine");
    EXPECT_FALSE(std::filesystem::exists("Data_LF.DB"));

    std::filesystem::remove("Pref.db");
    ASSERT_EQ(RunTool("create"), 0);
    TDMTables dm(host);
    EXPECT_TRUE(dm.Open());
    EXPECT_TRUE(dm.TDataLF().IsEmpty() && dm.TParamType().IsEmpty());
}

} // namespace
} // namespace talmar::test
