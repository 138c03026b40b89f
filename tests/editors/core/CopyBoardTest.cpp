// The settings buffer the editors share: copying a record, pasting it into the table it came
// from, every field or none.

#include "editors/core/CopyBoard.h"

#include "tests/store/StoreFixture.h"

namespace talmar::test {
namespace {

class CopyBoardTest : public TDataModuleTest {
protected:
    TCopyBoard board;
};

TEST_F(CopyBoardTest, PasteOnlyIntoTheTableTheCopyCameFrom) {
    TTable& lf = dm.TDataLF();
    SetRecord(lf, {{"NumKP", 1}, {"NameKP", "Первый"}, {"Book", "notes"}});
    board.Copy(lf);
    EXPECT_EQ(board.Source(), "TDataLF");

    board.Paste(dm.TDataLT());
    EXPECT_TRUE(dm.TDataLT().IsEmpty());

    lf.Insert();
    board.Paste(lf);
    EXPECT_EQ(lf.RecordCount(), 2);
    for (int f = 0; f < lf.StoredFieldCount(); ++f)
        EXPECT_EQ(lf.ValueAt(0, f), lf.ValueAt(1, f)) << lf.Field(f).name;

    board.Discard();
    EXPECT_TRUE(board.Buffer().empty());
    EXPECT_EQ(board.Source(), "");
}

// A copied value that the column refuses (a file may hold one) pastes nothing at all, and leaves
// no half-pasted record for the next move to commit.
TEST_F(TStoreTest, PasteIsEveryFieldOrNone) {
    CreateAllTables();
    ExecSql("Data_LF.DB", "INSERT INTO Data_LF (NumKP, NameKP, ECodingIsLong) VALUES (1, 'Источник', 'x'), "
                          "(2, 'Цель', 0)");
    TDMTables dm(host);
    ASSERT_TRUE(dm.Open());
    TCopyBoard board;
    TTable& lf = dm.TDataLF();
    board.Copy(lf);
    lf.Next();
    try {
        board.Paste(lf);
        ADD_FAILURE();
    } catch (const EValueError& e) {
        EXPECT_NE(std::string(e.what()).find("Таблица Data_LF, запись 2 (КП \"Цель\"), поле ECodingIsLong"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(lf.State(), TTableState::Browse);
    lf.First();
    dm.Close();
    ASSERT_TRUE(dm.Open());
    lf.Last();
    EXPECT_EQ(lf.FieldByName("NameKP"), TValue("Цель"));
    EXPECT_EQ(lf.FieldByName("NumKP"), TValue(2));

    // Pasting into a record being edited keeps the edit as it was.
    lf.First();
    board.Copy(lf);
    lf.Last();
    lf.Edit();
    lf.SetFieldByName("EUseTI", 1);
    EXPECT_THROW(board.Paste(lf), EValueError);
    EXPECT_EQ(lf.State(), TTableState::Edit);
    EXPECT_EQ(lf.FieldByName("NameKP"), TValue("Цель"));
    EXPECT_EQ(lf.FieldByName("EUseTI"), TValue(1));
}

} // namespace
} // namespace talmar::test
