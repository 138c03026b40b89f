// The record engine as data-bound controls and grids use it: moves that keep or post the pending
// record, the new record as a row, notices that say what changed, the notices before a post or
// a move, and cleared fields.

#include "tests/store/StoreFixture.h"

#include <sqlite3.h>

namespace talmar::test {
namespace {

// A grid over a table that knows the rows only from the notices, as a table model does.
class TMirror {
public:
    explicit TMirror(TTable& table) : t_(table) {
        id_ = t_.Subscribe([this](const TTableChange& c) { Hear(c); });
        ReadAll();
        current = t_.RecNo() - 1;
    }
    ~TMirror() { t_.Unsubscribe(id_); }

    // The mirror shows what the table holds, and the current row.
    void ExpectInStep(const std::string& after) const {
        std::vector<std::vector<TValue>> actual;
        for (int r = 0; r < (t_.Active() ? t_.RecordCount() : 0); ++r)
            actual.push_back(Row(r));
        EXPECT_EQ(rows, actual) << after;
        EXPECT_EQ(current, t_.RecNo() - 1) << after;
    }
    std::vector<std::pair<TTableEvent, int>> Heard(std::initializer_list<TTableEvent> kinds) const {
        std::vector<std::pair<TTableEvent, int>> out;
        for (const auto& c : log)
            if (std::find(kinds.begin(), kinds.end(), c.event) != kinds.end())
                out.emplace_back(c.event, c.row);
        return out;
    }

    std::vector<std::vector<TValue>> rows;
    int current = -1;
    int resets = 0;
    std::vector<TTableChange> log;

private:
    std::vector<TValue> Row(int r) const {
        std::vector<TValue> v;
        for (int f = 0; f < t_.FieldCount(); ++f)
            v.push_back(t_.ValueAt(r, f));
        return v;
    }
    void ReadAll() {
        rows.clear();
        for (int r = 0; r < (t_.Active() ? t_.RecordCount() : 0); ++r)
            rows.push_back(Row(r));
    }
    void Hear(const TTableChange& c) {
        log.push_back(c);
        switch (c.event) {
        case TTableEvent::RowInserted:
            rows.insert(rows.begin() + c.row, Row(c.row));
            break;
        case TTableEvent::RowRemoved:
            rows.erase(rows.begin() + c.row);
            break;
        case TTableEvent::RowChanged:
            rows.at(c.row) = Row(c.row);
            break;
        case TTableEvent::FieldChanged:
            rows.at(c.row).at(c.field) = t_.ValueAt(c.row, c.field);
            break;
        case TTableEvent::RowsReset:
            ++resets;
            ReadAll();
            break;
        case TTableEvent::RecordMoved:
            current = c.row;
            break;
        default:
            break;
        }
    }

    TTable& t_;
    int id_ = 0;
};

class RecordEngineTest : public TStoreTest {
protected:
    void SetUp() override {
        CreateTableFile(TableDef(TTableId::DataLF), "Data_LF.DB");
        ExecSql("Data_LF.DB",
                "INSERT INTO Data_LF (NumKP, NameKP) VALUES (1, 'Первый'), (2, 'Второй'), (3, 'Третий')");
        lf.Open();
        num = lf.FieldIndex("NumKP");
    }
    std::int64_t Num(int row) { return lf.ValueAt(row, num).AsInteger(); }
    TTable lf{TableDef(TTableId::DataLF)};
    int num = 0;
};

TEST_F(RecordEngineTest, AMoveToTheCurrentRecordKeepsThePendingEdit) {
    lf.SetRecNo(3);
    lf.Edit();
    lf.SetValue(num, 30);
    TMirror grid(lf);
    const std::int64_t id = lf.RowId();
    lf.SetRecNo(lf.RecNo()); // a click on the row that is already current
    lf.SetRecNo(99);         // clamped to the last row, which is current
    lf.Last();
    lf.Next();
    lf.MoveBy(0);
    lf.MoveBy(5);
    EXPECT_TRUE(lf.GotoRowId(id));
    EXPECT_TRUE(lf.Locate("NumKP", 30)); // the edited value is the one shown
    EXPECT_EQ(lf.State(), TTableState::Edit);
    EXPECT_TRUE(lf.Modified());
    EXPECT_EQ(lf.FieldByName("NumKP"), TValue(30));
    EXPECT_EQ(grid.log.size(), 0u);

    // The same for a new record: it stays new and keeps what was typed.
    lf.Append();
    lf.SetValue(num, 4);
    lf.SetRecNo(lf.RecNo());
    lf.Last();
    EXPECT_EQ(lf.State(), TTableState::Insert);
    lf.Post();
    lf.Append();
    lf.Append(); // an untouched new record is the current one already
    EXPECT_EQ(lf.RecordCount(), 5);
    EXPECT_EQ(Num(2), 30);
    EXPECT_EQ(Num(3), 4);
    grid.ExpectInStep("new records");
}

TEST_F(RecordEngineTest, TheNewRecordIsARowWhileItIsBeingInserted) {
    TMirror grid(lf);
    lf.SetRecNo(2);
    lf.Insert();
    EXPECT_EQ(lf.RecordCount(), 4);
    EXPECT_EQ(lf.RecNo(), 4);
    EXPECT_TRUE(lf.ValueAt(3, num).IsNull());
    lf.SetValue(num, 40);
    EXPECT_EQ(Num(3), 40);
    grid.ExpectInStep("typing into the new record");
    EXPECT_EQ(grid.Heard({TTableEvent::RowInserted, TTableEvent::FieldChanged}),
              (std::vector<std::pair<TTableEvent, int>>{{TTableEvent::RowInserted, 3},
                                                        {TTableEvent::FieldChanged, 3}}));

    // Cancel takes the row away and goes back to the record current before.
    lf.Cancel();
    EXPECT_EQ(lf.RecordCount(), 3);
    EXPECT_EQ(lf.RecNo(), 2);
    grid.ExpectInStep("cancel");

    // Posted, it stays where it was shown; the previous row is the one above it.
    lf.Append();
    lf.SetValue(num, 40);
    lf.Post();
    EXPECT_EQ(lf.RecNo(), 4);
    EXPECT_NE(lf.RowId(), 0);
    lf.Append();
    lf.SetValue(num, 50);
    lf.Prior(); // posts the new record, then goes up one row
    EXPECT_EQ(lf.RecNo(), 4);
    EXPECT_EQ(Num(4), 50);
    lf.Append();
    lf.Prior(); // an untouched new record just goes away
    EXPECT_EQ(lf.RecNo(), 5);
    EXPECT_EQ(lf.RecordCount(), 5);
    grid.ExpectInStep("posts");
    EXPECT_EQ(grid.resets, 0);

    // On a table without records the new record is row 1.
    ExecSql("Data_LT.DB", CreateTableSql(TableDef(TTableId::DataLT)));
    TTable lt(TableDef(TTableId::DataLT));
    lt.Open();
    EXPECT_EQ(lt.RecNo(), 0);
    lt.Edit();
    EXPECT_EQ(lt.State(), TTableState::Insert);
    EXPECT_EQ(lt.RecordCount(), 1);
    EXPECT_EQ(lt.RecNo(), 1);
    lt.Cancel();
    EXPECT_EQ(lt.RecordCount(), 0);
    EXPECT_EQ(lt.RecNo(), 0);
}

TEST_F(RecordEngineTest, NoticesSayWhichRowsChanged) {
    TMirror grid(lf);
    const auto rowEvents = {TTableEvent::RowChanged, TTableEvent::RowInserted, TTableEvent::RowRemoved,
                            TTableEvent::RowsReset, TTableEvent::RecordMoved};
    using TLog = std::vector<std::pair<TTableEvent, int>>;

    lf.SetRecNo(2);
    grid.log.clear();
    lf.Edit();
    lf.SetValue(num, 20);
    lf.Post(); // the grid has shown 20 since it was typed
    EXPECT_EQ(grid.Heard(rowEvents), TLog{});
    lf.Edit();
    lf.SetValue(num, 21);
    lf.Cancel();
    EXPECT_EQ(grid.Heard(rowEvents), (TLog{{TTableEvent::RowChanged, 1}}));
    grid.ExpectInStep("edits");

    grid.log.clear();
    lf.Delete();
    EXPECT_EQ(grid.Heard(rowEvents), (TLog{{TTableEvent::RowRemoved, 1}, {TTableEvent::RecordMoved, 1}}));
    EXPECT_EQ(lf.FieldByName("NumKP"), TValue(3));
    lf.Delete(); // the last row: the one before it becomes current
    EXPECT_EQ(lf.RecNo(), 1);
    grid.ExpectInStep("deletes");
    EXPECT_EQ(grid.resets, 0);

    // Only a change of the rows that is more than one row added, removed or moved resets.
    lf.Close();
    lf.Open();
    EXPECT_EQ(grid.resets, 2);
    grid.ExpectInStep("reopened");
}

TEST_F(TStoreTest, ASharedTableTellsWhatAnotherProgramChanged) {
    CreateKeyedOrten("INSERT INTO Data_ORTEN (NameKP, SysMode) VALUES ('B', 1), ('D', 1), ('F', 1)");
    TTable t(TableDef(TTableId::DataORTEN));
    t.Open();
    TMirror grid(t);
    using TLog = std::vector<std::pair<TTableEvent, int>>;
    const auto rowEvents = {TTableEvent::RowChanged, TTableEvent::RowInserted, TTableEvent::RowRemoved,
                            TTableEvent::RowsReset, TTableEvent::RecordMoved};

    // A new record goes to its key's place when posted; the grid follows it there.
    t.Append();
    t.SetFieldByName("NameKP", "A");
    t.Post();
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_EQ(grid.Heard(rowEvents), (TLog{{TTableEvent::RowInserted, 3},
                                           {TTableEvent::RecordMoved, 3},
                                           {TTableEvent::RowRemoved, 3},
                                           {TTableEvent::RowInserted, 0},
                                           {TTableEvent::RecordMoved, 0}}));
    grid.ExpectInStep("keyed insert");

    // Another program's change to one record is that row changed; one record more is a row
    // inserted; a rewrite of the rows is a reset.
    grid.log.clear();
    ExecSql("Data_ORTEN.DB", "UPDATE Data_ORTEN SET SysMode = 2 WHERE NameKP = 'F'");
    EXPECT_TRUE(t.Refresh());
    EXPECT_EQ(grid.Heard(rowEvents), (TLog{{TTableEvent::RowChanged, 3}}));
    ExecSql("Data_ORTEN.DB", "INSERT INTO Data_ORTEN (NameKP) VALUES ('C')");
    t.Edit();
    t.SetFieldByName("SysMode", 3);
    EXPECT_FALSE(t.Refresh()); // not while editing
    t.Post();
    EXPECT_EQ(grid.Heard(rowEvents), (TLog{{TTableEvent::RowChanged, 3}, {TTableEvent::RowInserted, 2}}));
    grid.ExpectInStep("another program");
    EXPECT_EQ(grid.resets, 0);
    ExecSql("Data_ORTEN.DB", "DELETE FROM Data_ORTEN WHERE NameKP IN ('B', 'D')");
    t.Refresh();
    EXPECT_EQ(grid.resets, 1);
    EXPECT_EQ(t.FieldByName("NameKP"), TValue("A")); // still on its record
    grid.ExpectInStep("rows replaced");
}

TEST_F(RecordEngineTest, BeforeNoticesLetControlsHandOverTypedText) {
    // A bound field that holds typed text until the table asks for it, as a line edit does.
    std::optional<std::string> typed;
    lf.Subscribe([&](const TTableChange& c) {
        if ((c.event == TTableEvent::BeforeMove || c.event == TTableEvent::BeforePost) && typed) {
            lf.Edit();
            lf.SetFieldByName("NameKP", *typed);
            typed.reset();
        }
    });
    // A navigator button takes no focus: the move itself must fetch the text.
    typed = "Typed 1";
    lf.Next();
    EXPECT_EQ(lf.ValueAt(0, 1), TValue("Typed 1"));
    // The commit rule posts a record that only the control has changed so far.
    lf.Edit();
    typed = "Typed 2";
    lf.ApplyCommitRule();
    EXPECT_EQ(lf.State(), TTableState::Browse);
    EXPECT_EQ(lf.ValueAt(1, 1), TValue("Typed 2"));
    typed = "Typed 3";
    lf.Append();
    EXPECT_EQ(lf.ValueAt(1, 1), TValue("Typed 3"));
    lf.Cancel();
    lf.Close();
    lf.Open();
    EXPECT_EQ(lf.ValueAt(0, 1), TValue("Typed 1"));
    EXPECT_EQ(lf.ValueAt(1, 1), TValue("Typed 3"));
}

TEST_F(RecordEngineTest, WhatAListenerMayDo) {
    // A refused typed value stops the move: the record stays, with its other edits.
    lf.Edit();
    lf.SetValue(num, 10);
    const int bad = lf.Subscribe([&](const TTableChange& c) {
        if (c.event == TTableEvent::BeforeMove)
            lf.SetFieldByName("EImpTC", "12x");
    });
    EXPECT_THROW(lf.Next(), EValueError);
    EXPECT_EQ(lf.RecNo(), 1);
    EXPECT_EQ(lf.State(), TTableState::Edit);
    EXPECT_EQ(lf.FieldByName("NumKP"), TValue(10));
    lf.Unsubscribe(bad);

    // After a change a listener only reads: a move or an edit from there is refused.
    int tries = 0;
    const int mover = lf.Subscribe([&](const TTableChange& c) {
        if (c.event == TTableEvent::RecordMoved) {
            ++tries;
            EXPECT_THROW(lf.First(), std::logic_error);
            EXPECT_THROW(lf.Edit(), std::logic_error);
            EXPECT_THROW(lf.SetValue(0, 1), std::logic_error);
        }
        if (c.event == TTableEvent::BeforePost) {
            EXPECT_THROW(lf.Cancel(), std::logic_error);
        }
    });
    lf.Next();
    EXPECT_EQ(tries, 1);
    EXPECT_EQ(lf.RecNo(), 2);
    EXPECT_EQ(Num(0), 10);
    lf.Unsubscribe(mover);

    // A listener may unsubscribe itself or another one while a notice is being sent; the one
    // taken off is not called again, not even for that notice.
    int first = 0, second = 0, third = 0;
    int idFirst = 0, idSecond = 0, idThird = 0;
    idFirst = lf.Subscribe([&](const TTableChange&) {
        ++first;
        lf.Unsubscribe(idFirst);
        lf.Unsubscribe(idSecond);
    });
    idSecond = lf.Subscribe([&](const TTableChange&) { ++second; });
    idThird = lf.Subscribe([&](const TTableChange&) {
        ++third;
        lf.Unsubscribe(idThird);
    });
    lf.Next();
    lf.Prior();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(third, 1);
}

TEST_F(RecordEngineTest, BlankTextIsAnEmptyValueForEveryColumnType) {
    lf.Edit();
    for (const char* f : {"NumKP", "CoeffTI1", "ECodingIsLong", "NameKP", "Book"})
        lf.SetFieldByName(f, 1);
    lf.Post();
    for (const char* f : {"NumKP", "CoeffTI1", "ECodingIsLong", "NameKP", "Book"})
        for (const char* blank : {"", "   ", " \t "}) {
            lf.Edit();
            ASSERT_NO_THROW(lf.SetFieldByName(f, blank)) << f;
            EXPECT_TRUE(lf.FieldByName(f).IsNull()) << f;
            lf.Cancel();
        }
    TTable pt(TableDef(TTableId::ParamType));
    CreateTableFile(TableDef(TTableId::ParamType), "ParamType.db");
    pt.Open();
    pt.Edit();
    ASSERT_NO_THROW(pt.SetFieldByName("Size", " ")); // a Smallint
    EXPECT_TRUE(pt.FieldByName("Size").IsNull());
}

// Each kind of move posts a modified record before it leaves it.
TEST_F(RecordEngineTest, EveryKindOfMovePostsAModifiedEdit) {
    const std::int64_t third = (lf.Last(), lf.RowId());
    const struct {
        const char* name;
        int from; // 1-based
        std::function<void(TTable&)> move;
    } moves[] = {
        {"First", 2, [](TTable& t) { t.First(); }},
        {"Last", 1, [](TTable& t) { t.Last(); }},
        {"Next", 1, [](TTable& t) { t.Next(); }},
        {"Prior", 2, [](TTable& t) { t.Prior(); }},
        {"MoveBy", 1, [](TTable& t) { t.MoveBy(2); }},
        {"SetRecNo", 3, [](TTable& t) { t.SetRecNo(1); }},
        {"Locate", 1, [](TTable& t) { t.Locate("NameKP", "ВТОРОЙ"); }},
        {"GotoRowId", 1, [&](TTable& t) { t.GotoRowId(third); }},
        {"Insert", 2, [](TTable& t) { t.Insert(); }},
    };
    int value = 100;
    for (const auto& m : moves) {
        lf.SetRecNo(m.from);
        lf.Edit();
        lf.SetValue(num, ++value);
        m.move(lf);
        EXPECT_NE(lf.RecNo(), m.from) << m.name;
        EXPECT_EQ(Num(m.from - 1), value) << m.name;
        lf.Cancel();
        lf.Close(); // and it is in the file
        lf.Open();
        EXPECT_EQ(Num(m.from - 1), value) << m.name;
    }
}

TEST_F(RecordEngineTest, CancelLeavesTheRecordUnmodified) {
    lf.Edit();
    lf.SetValue(num, 9);
    lf.Cancel();
    EXPECT_FALSE(lf.Modified());
    EXPECT_EQ(lf.FieldByName("NumKP"), TValue(1));
    lf.Append();
    lf.SetValue(num, 9);
    lf.Cancel();
    EXPECT_FALSE(lf.Modified());
    EXPECT_EQ(lf.RecordCount(), 3);
}

} // namespace
} // namespace talmar::test
