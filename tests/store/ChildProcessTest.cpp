// What another process sees: the exclusive tables are closed to it, the ОРТЕН table is not,
// and a process killed in the middle of posting leaves whole records behind.

#include "tests/store/StoreFixture.h"

#include <QProcess>
#include <fcntl.h>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

namespace talmar::test {
namespace {

int RunChild(const QStringList& args, std::string* output = nullptr) {
    QProcess p;
    p.start(TALMAR_STORE_CHILD, args);
    p.waitForFinished(30000);
    if (output)
        *output = p.readAllStandardOutput().toStdString();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST_F(TStoreTest, ExclusiveTablesAreClosedToOtherProcessesOrtenIsShared) {
    CreateAllTables();
    TDMTables dm(host);
    ASSERT_TRUE(dm.Open());
    for (const char* file : {"Data_LF.DB", "Data_LT.DB", "ParamType.db", "Pref.db"})
        EXPECT_EQ(RunChild({"read", file}), 3) << file;
    std::string out;
    EXPECT_EQ(RunChild({"open", "LF", "Data_LF.DB"}, &out), 3);
    EXPECT_NE(out.find("занят другой программой"), std::string::npos) << out;

    EXPECT_EQ(RunChild({"read", "Data_ORTEN.DB"}), 0);
    EXPECT_EQ(RunChild({"open", "ORTEN", "Data_ORTEN.DB"}), 0);

    // Some other code of this process opens and closes the files, by plain file I/O and through
    // SQLite: a close drops every POSIX lock the process holds on the file, but not the tables'.
    for (const char* file : {"Data_LF.DB", "Data_LT.DB", "ParamType.db", "Pref.db"}) {
        ::close(::open(file, O_RDONLY));
        sqlite3* db = nullptr;
        sqlite3_open_v2(file, &db, SQLITE_OPEN_READONLY, nullptr);
        EXPECT_NE(sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        EXPECT_EQ(RunChild({"read", file}), 3) << file;
    }
    EXPECT_EQ(RunChild({"open", "LF", "Data_LF.DB"}), 3);
    SetRecord(dm.TDataLF(), {{"NumKP", 1}}); // the program itself still writes
    dm.Close();
    EXPECT_EQ(RunChild({"read", "Data_LF.DB"}), 0);
}

TEST_F(TStoreTest, KilledWhilePostingLeavesWholeRecords) {
    CreateTableFile(TableDef(TTableId::DataLF), "Data_LF.DB");
    ExecSql("Data_LF.DB", "INSERT INTO Data_LF (NumKP) VALUES (0), (0), (0), (0), (0)");
    int ints = 0;
    for (const TFieldDef& f : TableDef(TTableId::DataLF).fields)
        ints += f.type == TFieldType::Integer;
    for (int round = 0; round < 6; ++round) {
        QProcess child;
        child.start(TALMAR_STORE_CHILD, {"post", "Data_LF.DB"});
        ASSERT_TRUE(child.waitForReadyRead(30000));
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 37 * round));
        child.kill();
        child.waitForFinished(30000);

        TTable t(TableDef(TTableId::DataLF));
        ASSERT_NO_THROW(t.Open()); // rolls back the half-written transaction, if any
        ASSERT_EQ(t.RecordCount(), 5);
        for (t.First(); !t.Eof(); t.Next()) {
            int same = 0;
            const TValue first = t.FieldByName("NumKP");
            for (int f = 0; f < t.StoredFieldCount(); ++f)
                same += t.Field(f).type == TFieldType::Integer && t.Value(f) == first;
            EXPECT_EQ(same, ints) << "record " << t.RecNo() << " is not whole";
        }
    }
}

} // namespace
} // namespace talmar::test
