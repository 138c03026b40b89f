// The three remote-control windows as a screen reader or a GUI test tool sees them through Qt's
// accessibility interface: every button, edit, check box, radio item and group found by its text,
// the grid's column titles, cells and rows, and the controls worked through the interface alone.
#include "controls/DataControls.h"
#include "controls/TableModel.h"
#include "tests/remote/windows/WindowFixture.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

using namespace talmar;
using talmar::test::TWindowTest;

namespace {

void Walk(QAccessibleInterface* iface, std::vector<QAccessibleInterface*>& out) {
    if (!iface)
        return;
    out.push_back(iface);
    for (int i = 0; i < iface->childCount(); ++i)
        Walk(iface->child(i), out);
}

std::vector<QAccessibleInterface*> All(QWidget* window) {
    std::vector<QAccessibleInterface*> out;
    Walk(QAccessible::queryAccessibleInterface(window), out);
    return out;
}

QAccessibleInterface* Find(QWidget* window, QAccessible::Role role, const char* name) {
    for (QAccessibleInterface* i : All(window))
        if (i->role() == role && i->text(QAccessible::Name) == QString::fromUtf8(name))
            return i;
    return nullptr;
}

void Press(QWidget* window, QAccessible::Role role, const char* name) {
    QAccessibleInterface* i = Find(window, role, name);
    ASSERT_NE(i, nullptr) << name;
    ASSERT_NE(i->actionInterface(), nullptr) << name;
    i->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    // A press through the interface is an animated click: it comes a moment later.
    QTest::qWait(250);
}

// Every input and button of the window has a name.
void ExpectAllNamed(QWidget* window) {
    const QAccessible::Role named[] = {QAccessible::PushButton, QAccessible::CheckBox,
                                       QAccessible::RadioButton, QAccessible::EditableText,
                                       QAccessible::Grouping};
    for (QAccessibleInterface* i : All(window))
        if (std::find(std::begin(named), std::end(named), i->role()) != std::end(named)) {
            EXPECT_FALSE(i->text(QAccessible::Name).isEmpty()) << i->object()->objectName().toStdString();
        }
}

using Accessibility = TWindowTest;

} // namespace

TEST_F(Accessibility, PreferenceWindowsAreReachedAndWorkedByTheirTexts) {
    MakeTables("3", "1", {});
    Start();
    fTuningCom->show();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(fTuningCom)->text(QAccessible::Name).toStdString(),
              "Выбор COM-порта");
    ExpectAllNamed(fTuningCom);
    EXPECT_NE(Find(fTuningCom, QAccessible::Grouping, "COM-порт"), nullptr);
    for (const char* item : {"COM1", "COM2", "COM3", "COM4"})
        EXPECT_NE(Find(fTuningCom, QAccessible::RadioButton, item), nullptr) << item;
    EXPECT_NE(Find(fTuningCom, QAccessible::PushButton, "Отмена"), nullptr);
    Press(fTuningCom, QAccessible::RadioButton, "COM2");
    Press(fTuningCom, QAccessible::PushButton, "OK");
    EXPECT_EQ(dm->NumCom(), 2);
    EXPECT_FALSE(fTuningCom->isVisible());

    fTuningRC->show();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(fTuningRC)->text(QAccessible::Name).toStdString(),
              "Настройка ДУ");
    ExpectAllNamed(fTuningRC);
    EXPECT_NE(Find(fTuningRC, QAccessible::Grouping, "ДУ работает через..."), nullptr);
    for (const char* item :
         {"Модем-ЛТР20, подключенный к COM-порту", "Звуковую карту, стандартный ввод/вывод"})
        EXPECT_NE(Find(fTuningRC, QAccessible::RadioButton, item), nullptr) << item;
    Press(fTuningRC, QAccessible::RadioButton, "Звуковую карту, используя DirectSound");
    Press(fTuningRC, QAccessible::PushButton, "OK");
    EXPECT_EQ(dm->Pref().FieldByName("TypeRemoteControl"), TValue(3));
    EXPECT_EQ(dm->Pref().State(), TTableState::Browse);
    EXPECT_TRUE(host->messages.empty());
}

TEST_F(Accessibility, SwitchWindowGridAndControlsAreReachedAndWorkedByTheirTexts) {
    const std::vector<test::TKp> kps = {{"КП-1", 21, 1}, {"КП-2", 22, 2}, {"КП-3", 23, 3}};
    MakeTables("7", "1", kps);
    StartLine(kps);
    Start();
    fChangeSystem->show();
    QWidget* win = fChangeSystem;
    EXPECT_EQ(QAccessible::queryAccessibleInterface(win)->text(QAccessible::Name).toStdString(),
              "Переключение системы телемеханики");
    ExpectAllNamed(win);
    for (const char* button : {"Опросить выделенные КП", "Перевести выделенные КП в частотную",
                               "Перевести выделенные КП во временную", "Перевести выделенные КП в ОРТЕН"})
        EXPECT_NE(Find(win, QAccessible::PushButton, button), nullptr) << button;
    EXPECT_NE(Find(win, QAccessible::EditableText, "Повторять опрос"), nullptr);
    EXPECT_NE(Find(win, QAccessible::EditableText, "Тайт-аут между\nобращениями к КП, сек."), nullptr);
    EXPECT_NE(Find(win, QAccessible::CheckBox, "Запрашивать версию прошивки AT90S4433"), nullptr);
    EXPECT_NE(Find(win, QAccessible::Grouping, "Перевод в систему телемеханики"), nullptr);

    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(fChangeSystem->RxDBGridKP);
    ASSERT_NE(grid, nullptr);
    QAccessibleTableInterface* table = grid->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 3);
    ASSERT_EQ(table->columnCount(), 4);
    const char* titles[] = {"Название КП", "N МКД", "версия AT90S4433", "Система ТМ"};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(table->columnDescription(c).toStdString(), titles[c]);
        EXPECT_NE(Find(win, QAccessible::ColumnHeader, titles[c]), nullptr) << titles[c];
    }
    EXPECT_NE(Find(win, QAccessible::Cell, "КП-2"), nullptr);
    EXPECT_EQ(table->cellAt(2, 1)->text(QAccessible::Name).toStdString(), "23");

    // Rows chosen and the poll started through the interface alone.
    fChangeSystem->ETimeOut->setText("0");
    table->selectRow(0);
    table->selectRow(2);
    EXPECT_TRUE(table->isRowSelected(2));
    EXPECT_EQ(fChangeSystem->RxDBGridKP->SelectedRows(), (std::vector<int>{0, 2}));
    Press(win, QAccessible::PushButton, "Опросить выделенные КП");
    EXPECT_EQ(table->cellAt(0, 3)->text(QAccessible::Name).toStdString(), "Частотная");
    EXPECT_EQ(table->cellAt(2, 3)->text(QAccessible::Name).toStdString(), "ОРТЕН");
    EXPECT_NE(Find(win, QAccessible::StaticText, "2 / 0"), nullptr); // the counters
    EXPECT_TRUE(host->messages.empty());
}
