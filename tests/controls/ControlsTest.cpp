// The data-aware controls offscreen over real tables: what they show, what typed text becomes,
// auto-edit, the notice before a post or a move, and the grid model's row-by-row updates.

#include "controls/DataControls.h"
#include "controls/TableModel.h"
#include "tests/editors/EditorFixture.h"
#include "tests/store/StoreFixture.h"

#include <QApplication>
#include <QColor>
#include <QKeyEvent>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace talmar::test {
namespace {

class ControlsTest : public TDataModuleTest {
protected:
    TTable& lf = dm.TDataLF();
    TDataSource ds{lf, host};

    void AddKP(const char* name, std::initializer_list<std::pair<const char*, TValue>> values = {}) {
        lf.Insert();
        lf.SetFieldByName("NameKP", name);
        for (const auto& [f, v] : values)
            lf.SetFieldByName(f, v);
        lf.Post();
    }
};

TEST_F(ControlsTest, TypedTextReachesTheRecordBeforeANavigatorMove) {
    AddKP("A", {{"NumKP", 1}, {"CoeffTI1", 1.0}});
    AddKP("B", {{"NumKP", 2}});
    lf.First();
    TDBEdit num(ds, "NumKP");
    TDBEdit coeff(ds, "CoeffTI1");
    TDBNavigator nav(ds);
    EXPECT_EQ(coeff.text().toStdString(), "1");

    num.selectAll();
    Type(&num, "17");
    EXPECT_EQ(lf.State(), TTableState::Edit);          // the first keystroke put the record into edit
    EXPECT_TRUE(lf.FieldByName("NumKP") == TValue(1)); // still only typed
    coeff.selectAll();
    Type(&coeff, "0,95"); // the Russian decimal comma
    // The navigator takes no focus: the typed values are written by the notice before the move.
    EXPECT_EQ(nav.Button(TDBNavigator::Next)->focusPolicy(), Qt::NoFocus);
    nav.Click(TDBNavigator::Next);
    EXPECT_EQ(lf.RecNo(), 2);
    EXPECT_EQ(lf.ValueAt(0, lf.FieldIndex("NumKP")), TValue(17));
    EXPECT_EQ(lf.ValueAt(0, lf.FieldIndex("CoeffTI1")), TValue(0.95));
    EXPECT_EQ(num.text().toStdString(), "2");

    nav.Click(TDBNavigator::First);
    EXPECT_EQ(coeff.text().toStdString(), "0,95");
    coeff.selectAll();
    Type(&coeff, "2.25"); // a dot is taken as well
    coeff.selectAll();
    Type(&coeff, " "); // blank text is an empty field
    nav.Click(TDBNavigator::Last);
    EXPECT_TRUE(lf.ValueAt(0, lf.FieldIndex("CoeffTI1")).IsNull());
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ControlsTest, TextThatDoesNotConvertStopsTheMoveAndKeepsTheOtherEdits) {
    AddKP("A", {{"NumKP", 1}});
    AddKP("B");
    lf.First();
    TDBEdit name(ds, "NameKP");
    TDBEdit num(ds, "NumKP");
    TDBNavigator nav(ds);
    name.selectAll();
    Type(&name, "Новое имя");
    num.selectAll();
    Type(&num, "12a");
    nav.Click(TDBNavigator::Next);
    ASSERT_EQ(host.Texts(), std::vector<std::string>{"'12a' is not a valid integer value"});
    EXPECT_EQ(host.messages[0].icon, TMsgIcon::Error);
    EXPECT_EQ(lf.RecNo(), 1); // no move, nothing posted
    EXPECT_EQ(lf.State(), TTableState::Edit);
    EXPECT_EQ(lf.FieldByName("NameKP"), TValue("Новое имя"));
    EXPECT_EQ(num.text().toStdString(), "12a");

    num.selectAll();
    Type(&num, "12");
    nav.Click(TDBNavigator::Next);
    EXPECT_EQ(lf.RecNo(), 2);
    EXPECT_EQ(lf.ValueAt(0, lf.FieldIndex("NameKP")), TValue("Новое имя"));
    EXPECT_EQ(lf.ValueAt(0, lf.FieldIndex("NumKP")), TValue(12));
}

TEST_F(ControlsTest, TypingIntoAnEmptyTableStartsARecordAndKeepsTheText) {
    TDBEdit name(ds, "NameKP");
    TDBMemo book(ds, "Book");
    EXPECT_EQ(name.maxLength(), 30); // the column's size
    Type(&name, "КП-9");
    EXPECT_EQ(lf.State(), TTableState::Insert);
    EXPECT_EQ(name.text().toStdString(), "КП-9");
    Type(&book, "заметка");
    EXPECT_EQ(book.toPlainText().toStdString(), "заметка");
    lf.ApplyCommitRule();
    EXPECT_EQ(lf.RecordCount(), 1);
    EXPECT_EQ(lf.FieldByName("NameKP"), TValue("КП-9"));
    EXPECT_EQ(lf.FieldByName("Book"), TValue("заметка"));
}

TEST_F(ControlsTest, ChooserCheckBoxAndRadioGroupShowStoredValuesAndStoreChoices) {
    AddKP("A", {{"ResistTr", -15}, {"EUseTI", 1}, {"EForvardTY", 0}, {"ECodingIsLong", true}});
    AddKP("B", {{"ResistTr", 3}, {"EUseTI", 7}, {"EForvardTY", 5}});
    lf.First();
    TDBComboBox resist(ds, "ResistTr", LineResistances(TResistWording::Short));
    TDBCheckBox useTI(ds, "EUseTI", "ТИ", TValue(1), TValue(0));
    TDBCheckBox coding(ds, "ECodingIsLong", "длинными", TValue(true), TValue(false));
    TDBRadioGroup series(ds, "EForvardTY", "Тип серии ТУ", {{"прямая", TValue(1)}, {"инверсная", TValue(0)}});

    EXPECT_EQ(resist.currentText().toStdString(), "600"); // -15: entry 4, not entry 5
    EXPECT_EQ(useTI.checkState(), Qt::Checked);
    EXPECT_EQ(coding.checkState(), Qt::Checked);
    EXPECT_EQ(series.ItemIndex(), 1);

    lf.Next(); // values no entry stands for
    EXPECT_EQ(resist.currentIndex(), -1);
    EXPECT_EQ(useTI.checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(coding.checkState(), Qt::PartiallyChecked); // empty
    EXPECT_EQ(series.ItemIndex(), -1);

    // A click on the third state checks; the next one unchecks.
    QSignalSpy picked(&resist, &TDBComboBox::picked);
    useTI.click();
    EXPECT_EQ(lf.FieldByName("EUseTI"), TValue(1));
    useTI.click();
    EXPECT_EQ(lf.FieldByName("EUseTI"), TValue(0));
    EXPECT_EQ(useTI.checkState(), Qt::Unchecked);
    series.Button(0)->click();
    EXPECT_EQ(lf.FieldByName("EForvardTY"), TValue(1));
    resist.setFocus();
    QTest::keyClick(&resist, Qt::Key_Down); // the first entry
    EXPECT_EQ(lf.FieldByName("ResistTr"), TValue(0));
    EXPECT_EQ(picked.count(), 1);
    lf.Post();
    EXPECT_EQ(lf.ValueAt(1, lf.FieldIndex("EUseTI")), TValue(0));
}

TEST_F(ControlsTest, GridShowsTheNewRecordAndKeepsItsSelectionAcrossPosts) {
    for (const char* n : {"A", "B", "C"})
        AddKP(n);
    lf.First();
    TTableModel model(ds, {{"NameKP", {}, true}, {"NumKP", "Номер", false}});
    model.SetForeground([](int row, int) { return row == 1 ? QVariant(QColor(Qt::red)) : QVariant(); });
    TDBGrid grid(&model);
    grid.SetMultiSelect(true);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString().toStdString(), "Название КП");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString().toStdString(), "Номер");
    EXPECT_EQ(model.data(model.index(1, 0), Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    EXPECT_EQ(model.flags(model.index(0, 1)) & Qt::ItemIsEditable, 0);

    grid.selectionModel()->select(model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    grid.selectionModel()->select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    lf.Insert();
    EXPECT_EQ(model.rowCount(), 4); // the record being inserted is a row
    EXPECT_EQ(grid.currentIndex().row(), 3);
    lf.SetFieldByName("NameKP", "D");
    EXPECT_EQ(model.data(model.index(3, 0)).toString().toStdString(), "D");
    lf.Post();
    lf.First();
    lf.Edit();
    lf.SetFieldByName("NumKP", 5);
    lf.Post();
    lf.Last();
    lf.Delete();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(grid.SelectedRows(), (std::vector<int>{0, 2}));
    EXPECT_EQ(model.data(model.index(0, 1)).toString().toStdString(), "5");

    // A row chosen in the grid becomes the current record; a name typed in a cell goes into it.
    grid.setCurrentIndex(model.index(1, 0));
    EXPECT_EQ(lf.RecNo(), 2);
    EXPECT_TRUE(model.setData(model.index(1, 0), "Б"));
    EXPECT_EQ(lf.FieldByName("NameKP"), TValue("Б"));
    EXPECT_EQ(lf.State(), TTableState::Edit);
}

TEST_F(ControlsTest, NavigatorButtonsFollowThePositionAndDeleteAsksNothing) {
    TDBNavigator nav(ds);
    EXPECT_FALSE(nav.Button(TDBNavigator::Delete)->isEnabled());
    AddKP("A");
    AddKP("B");
    lf.First();
    nav.UpdateButtons();
    EXPECT_FALSE(nav.Button(TDBNavigator::Prior)->isEnabled());
    EXPECT_TRUE(nav.Button(TDBNavigator::Last)->isEnabled());
    EXPECT_EQ(nav.Button(TDBNavigator::Insert)->toolTip().toStdString(), "Новая запись");
    nav.Click(TDBNavigator::Last);
    EXPECT_TRUE(nav.Button(TDBNavigator::First)->isEnabled());
    EXPECT_FALSE(nav.Button(TDBNavigator::Next)->isEnabled());
    nav.Click(TDBNavigator::Delete);
    EXPECT_EQ(lf.RecordCount(), 1);
    EXPECT_TRUE(host.messages.empty());
}

} // namespace
} // namespace talmar::test
