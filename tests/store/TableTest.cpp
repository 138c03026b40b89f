// The record engine over one table file: states, moves, fields, checks at open.

#include "tests/store/StoreFixture.h"

#include <sqlite3.h>

namespace talmar::test {
namespace {

long long CountRows(const std::string& file, const std::string& table) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, ("SELECT count(*) FROM " + table).c_str(), -1, &st, nullptr);
    const long long n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

class TableTest : public TStoreTest {
protected:
    void SetUp() override {
        CreateTableFile(TableDef(TTableId::DataLF), "Data_LF.DB");
        lf.Open();
    }
    TTable lf{TableDef(TTableId::DataLF)};
};

TEST_F(TableTest, EditOnEmptyTableStartsARecordAndModifiedMeansChanged) {
    EXPECT_TRUE(lf.Bof() && lf.Eof());
    lf.Edit();
    EXPECT_EQ(lf.State(), TTableState::Insert);
    EXPECT_FALSE(lf.Modified());
    for (int f = 0; f < lf.FieldCount(); ++f)
        EXPECT_TRUE(lf.Value(f).IsNull());
    lf.SetFieldByName("numkp", 7); // names ignore letter case
    EXPECT_TRUE(lf.Modified());
    lf.Post();
    EXPECT_EQ(lf.State(), TTableState::Browse);
    lf.Close(); // the file is closed to everyone else while the table is open
    EXPECT_EQ(CountRows("Data_LF.DB", "Data_LF WHERE NumKP = 7"), 1);
    lf.Open();

    lf.Edit();
    EXPECT_EQ(lf.State(), TTableState::Edit);
    lf.SetFieldByName("NumKP", 7);   // the same value is no change
    lf.SetFieldByName("NameKP", ""); // an empty text is an empty field
    EXPECT_FALSE(lf.Modified());
    lf.SetFieldByName("NumKP", 8);
    lf.Cancel();
    EXPECT_EQ(lf.FieldByName("NumKP"), TValue(7));
    EXPECT_THROW(lf.SetFieldByName("NumKP", 9), ETableError); // browse state
}

TEST_F(TableTest, MovingPostsAModifiedEditAndDropsAnUntouchedNewRecord) {
    for (int n = 1; n <= 3; ++n) {
        lf.Append();
        lf.SetFieldByName("NumKP", n);
        lf.SetFieldByName("NameKP", "КП-" + std::to_string(n));
    }
    lf.First(); // the third record is posted by the move
    EXPECT_EQ(lf.RecordCount(), 3);
    lf.Next();
    lf.Edit();
    lf.SetFieldByName("NumKP", 20);
    lf.Next();
    EXPECT_EQ(lf.ValueAt(1, lf.FieldIndex("NumKP")), TValue(20));
    lf.Insert();
    lf.Prior();
    EXPECT_EQ(lf.RecordCount(), 3);

    // Walk in physical order; Eof after the last, Bof before the first.
    std::vector<std::int64_t> seen;
    for (lf.First(); !lf.Eof(); lf.Next())
        seen.push_back(lf.FieldByName("NumKP").AsInteger());
    EXPECT_EQ(seen, (std::vector<std::int64_t>{1, 20, 3}));
    EXPECT_EQ(lf.RecNo(), 3);
    EXPECT_EQ(lf.MoveBy(-5), -2);
    EXPECT_TRUE(lf.Bof());

    EXPECT_TRUE(lf.Locate("namekp", "кп-3")); // Cyrillic letters ignore case too
    EXPECT_EQ(lf.RecNo(), 3);
    EXPECT_TRUE(lf.Locate("NUMKP", "20"));
    EXPECT_EQ(lf.RecNo(), 2);
    EXPECT_FALSE(lf.Locate("NumKP", 99));
    EXPECT_EQ(lf.RecNo(), 2);
    lf.Delete();
    EXPECT_EQ(lf.RecordCount(), 2);
    EXPECT_EQ(lf.FieldByName("NumKP"), TValue(3));
    lf.Close();
    EXPECT_EQ(CountRows("Data_LF.DB", "Data_LF WHERE NumKP IN (1, 3)"), 2);
    EXPECT_EQ(CountRows("Data_LF.DB", "Data_LF"), 2);
}

TEST_F(TableTest, ValuesAreCheckedAgainstTheColumnType) {
    lf.Edit();
    lf.SetFieldByName("NameKP", "Северная");
    lf.Post();
    lf.Edit();
    try {
        lf.SetFieldByName("NumKP", "abc");
        ADD_FAILURE();
    } catch (const EValueError& e) {
        // Which table, which КП, which column.
        EXPECT_STREQ(
            e.what(),
            "Таблица Data_LF, запись 1 (КП \"Северная\"), поле NumKP: \"abc\" не является целым числом");
    }
    EXPECT_THROW(lf.SetFieldByName("NumKP", 3000000000LL), EValueError);
    EXPECT_THROW(lf.SetFieldByName("NameKP", std::string(31, 'x')), EValueError);
    for (const char* notANumber : {"+-5", "-+5", "+", "++5", "5-"}) {
        EXPECT_THROW(lf.SetFieldByName("NumKP", notANumber), EValueError) << notANumber;
        EXPECT_THROW(lf.SetFieldByName("CoeffTI1", notANumber), EValueError) << notANumber;
    }
    EXPECT_FALSE(lf.Modified());
    lf.SetFieldByName("NumKP", "+5");
    EXPECT_EQ(lf.FieldByName("NumKP"), TValue(5));
    lf.SetFieldByName("NumKP", TValue());
    lf.SetFieldByName("NameKP", "Подстанция с длинным именем 30"); // 30 letters, 57 bytes
    lf.SetFieldByName("EImpTC", " 42 ");
    lf.SetFieldByName("CoeffTI1", "1,15");
    lf.SetFieldByName("ECodingIsLong", 1);
    lf.Post();
    lf.Close();
    lf.Open();
    EXPECT_EQ(lf.FieldByName("EImpTC"), TValue(42));
    EXPECT_EQ(lf.FieldByName("CoeffTI1"), TValue(1.15));
    EXPECT_EQ(lf.FieldByName("ECodingIsLong"), TValue(true));
    EXPECT_EQ(lf.FieldByName("NameKP").AsString(), "Подстанция с длинным именем 30");
}

TEST_F(TStoreTest, ColumnsAreCheckedAtOpen) {
    const struct {
        std::string create;
        std::string message; // empty: the file opens
    } cases[] = {
        {"CREATE TABLE Pref (NumCom INTEGER)", "В таблице Pref.db нет столбца TypeRemoteControl"},
        {"CREATE TABLE Pref (NumCom TEXT, TypeRemoteControl INTEGER)",
         "В таблице Pref.db столбец NumCom имеет тип TEXT, а должен быть INTEGER"},
        {"CREATE TABLE Other (NumCom INTEGER)", "В файле Pref.db нет таблицы Pref"},
        // Extra columns are walked like the others, in the file's order.
        {"CREATE TABLE pref (Note TEXT, typeremotecontrol integer, NUMCOM Integer)", ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove("Pref.db");
        ExecSql("Pref.db", c.create);
        TTable t(TableDef(TTableId::Pref));
        if (c.message.empty()) {
            ASSERT_NO_THROW(t.Open());
            ASSERT_EQ(t.StoredFieldCount(), 3);
            EXPECT_EQ(t.Field(0).name, "Note");
            EXPECT_EQ(t.Field(2).name, "NumCom");
            continue;
        }
        try {
            t.Open();
            ADD_FAILURE() << c.create;
        } catch (const ETableError& e) {
            EXPECT_EQ(e.what(), c.message);
            EXPECT_FALSE(t.Active());
        }
    }
    ExecSql("Data_ORTEN.DB",
            CreateTableSql(TableDef(TTableId::DataORTEN)) + "; ALTER TABLE Data_ORTEN ADD TextSysMode");
    TTable orten(TableDef(TTableId::DataORTEN));
    orten.AddCalculatedField({"TextSysMode", TFieldType::Alpha, 15, {}, true, {}},
                             [](const TTable&, const std::vector<TValue>&) { return TValue(); });
    EXPECT_THROW(orten.Open(), ETableError);
}

TEST_F(TableTest, LocateFoldsTheCaseOfCyrillicLettersYoIncluded) {
    for (const char* name : {"Озёрная", "Ёлкино", "Елкино"})
        SetRecord(lf, {{"NameKP", name}}), lf.Append();
    lf.Cancel();
    EXPECT_TRUE(lf.Locate("NameKP", "ЁЛКИНО"));
    EXPECT_EQ(lf.RecNo(), 2);
    EXPECT_TRUE(lf.Locate("NameKP", "ОЗЁРНАЯ"));
    EXPECT_EQ(lf.RecNo(), 1);
    EXPECT_TRUE(lf.Locate("NameKP", "ёлкино"));
    EXPECT_EQ(lf.RecNo(), 2);
}

// A column of the file named rowid must not decide which record a post or a delete touches.
TEST_F(TStoreTest, AColumnNamedRowidDoesNotChooseTheRecord) {
    ExecSql("Data_ORTEN.DB",
            CreateTableSql(TableDef(TTableId::DataORTEN)) +
                "; ALTER TABLE Data_ORTEN ADD rowid INTEGER"
                "; INSERT INTO Data_ORTEN (NameKP, rowid) VALUES ('A', 2), ('B', 3), ('C', 1)");
    {
        TTable t(TableDef(TTableId::DataORTEN));
        t.Open();
        ASSERT_TRUE(t.Locate("NameKP", "A"));
        SetRecord(t, {{"ENumController", 7}});
        t.Last();
        t.Delete();
        EXPECT_EQ(t.RecordCount(), 2);
    }
    sqlite3* db = nullptr;
    sqlite3_open("Data_ORTEN.DB", &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT NameKP, ENumController FROM Data_ORTEN ORDER BY _rowid_", -1, &st,
                       nullptr);
    std::vector<std::string> rows;
    while (sqlite3_step(st) == SQLITE_ROW)
        rows.push_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) + "=" +
                       std::to_string(sqlite3_column_int(st, 1)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    EXPECT_EQ(rows, (std::vector<std::string>{"A=7", "B=0"}));

    // With every name of the rowid taken by a column the records cannot be told apart.
    ExecSql("Data_LT.DB", CreateTableSql(TableDef(TTableId::DataLT)) +
                              "; ALTER TABLE Data_LT ADD RowId; ALTER TABLE Data_LT ADD _ROWID_;"
                              " ALTER TABLE Data_LT ADD oid");
    TTable lt(TableDef(TTableId::DataLT));
    try {
        lt.Open();
        ADD_FAILURE();
    } catch (const ETableError& e) {
        EXPECT_EQ(e.Fault(), ETableError::TFault::Definition);
        EXPECT_EQ(e.Kind(), TErrorKind::Table);
        EXPECT_NE(std::string(e.what()).find("rowid, _rowid_ и oid"), std::string::npos) << e.what();
    }
}

TEST_F(TStoreTest, OrtenIsReadInTheOrderOfItsKey) {
    CreateKeyedOrten("INSERT INTO Data_ORTEN (NameKP, ENumController) VALUES ('B', 2), ('C', 3), ('A', 1)");
    TTable t(TableDef(TTableId::DataORTEN));
    t.Open();
    std::vector<std::int64_t> seen;
    for (t.First(); !t.Eof(); t.Next())
        seen.push_back(t.FieldByName("ENumController").AsInteger());
    EXPECT_EQ(seen, (std::vector<std::int64_t>{1, 2, 3}));
}

TEST_F(TStoreTest, FilesThatAreNotTablesAreReportedAndLeftAlone) {
    // The header of an old desktop database table: 32-byte records, a 2 KB header, an unkeyed
    // table of 2 KB blocks with 3 fields, format version 12.
    std::string paradox(4096, '\0');
    paradox[0] = 0x20;
    paradox[3] = 0x08;
    paradox[4] = 2;
    paradox[5] = 2;
    paradox[0x21] = 3;
    paradox[0x39] = 12;
    const struct {
        std::string bytes;
        ETableError::TFault kind;
        std::string says;
    } cases[] = {
        {paradox, ETableError::TFault::OldFormat, "старом формате (Paradox)"},
        {"garbage, not a database at all", ETableError::TFault::Damaged, "не является таблицей SQLite"},
        {"", ETableError::TFault::Damaged, "пуст"}};
    for (const auto& c : cases) {
        WriteFileBytes("Data_LF.DB", c.bytes);
        TTable t(TableDef(TTableId::DataLF));
        try {
            t.Open();
            ADD_FAILURE() << c.says;
        } catch (const ETableError& e) {
            EXPECT_EQ(e.Fault(), c.kind);
            EXPECT_NE(std::string(e.what()).find("Data_LF.DB"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadFileBytes("Data_LF.DB"), c.bytes);
        EXPECT_FALSE(std::filesystem::exists("Data_LF.DB-journal"));
    }
    std::filesystem::remove("Data_LF.DB");
    TTable t(TableDef(TTableId::DataLF));
    EXPECT_THROW(t.Open(), ETableError);
    EXPECT_FALSE(std::filesystem::exists("Data_LF.DB")); // never made of its own accord
}

} // namespace
} // namespace talmar::test
