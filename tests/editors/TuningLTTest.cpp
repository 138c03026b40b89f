// The time editor offscreen: both telesignalling channels, the line resistance on the first
// channel's tab, the second-channel rule, and programming with the series type of telecontrol.

#include "tests/editors/EditorFixture.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

namespace talmar::test {
namespace {

class TuningLT : public EditorWindowTest {
protected:
    int Tab(const char* name) const { return ProfileLT().TabIndex(name); }
    QSlider* Slider(const char* name) const { return lt->Slider(ProfileLT().SliderIndex(name)); }
    std::string Label(const char* name) const { return lt->Control<QLabel>(name)->text().toStdString(); }
    TTable& Table() const { return dm->TDataLT(); }
};

TEST_F(TuningLT, F6OpensItWithFiveTabsAndNothingOfItsOwnOnShow) {
    EXPECT_EQ(lt->windowTitle().toStdString(), "Настройки временной системы ( КП-1 Тяговая подстанция )");
    std::vector<std::string> tabs;
    for (int i = 0; i < lt->General->count(); ++i)
        tabs.push_back(lt->General->tabText(i).toStdString());
    EXPECT_EQ(tabs, (std::vector<std::string>{"Главные", "Телеуправление", "1-й канал ТС", "2-й канал ТС",
                                              "Служебный канал"}));
    ExecInside(
        lt, [&] { w->menuBar()->findChild<QAction*>("N7")->trigger(); },
        [&] {
            EXPECT_EQ(Table().State(), TTableState::Browse); // not put into edit on show
            EXPECT_EQ(lt->BCopy->text().toStdString(), "Копировать настройки");
            EXPECT_TRUE(lt->BCopy->toolTip().isEmpty());
        });
}

TEST_F(TuningLT, ALineResistanceSetsBothChannelsAndCommitsAClampedSecondLevelUnseen) {
    SetFirst(Table(), {{"ResistTr", 0}, {"AttenTr1", -20}, {"AttenTr2", -40}});
    lt->show();
    // Before the range rule has run.
    for (const char* s : {"RxSlider2", "RxSlider3"}) {
        EXPECT_EQ(Slider(s)->minimum(), -36) << s;
        EXPECT_EQ(Slider(s)->maximum(), 0) << s;
    }
    EXPECT_EQ(Label("Label29"), "-36");
    EXPECT_EQ(Label("Label48"), "0");

    lt->General->setCurrentIndex(Tab("TabSheetTC1"));
    EXPECT_EQ(Slider("RxSlider2")->minimum(), -46);
    EXPECT_EQ(Label("Label29"), "-46");
    EXPECT_EQ(Label("Label47"), "-36"); // the second channel's tab has not been shown
    lt->General->setCurrentIndex(Tab("TabSheetTC2"));
    EXPECT_EQ(Slider("RxSlider3")->value(), -40);
    lt->General->setCurrentIndex(Tab("TabSheetTC1"));

    auto* resist = lt->Control<TDBComboBox>("RxDBComboBox6");
    EXPECT_EQ(resist->currentText().toStdString(), "200   -  середина линии");
    resist->setFocus();
    QTest::keyClick(resist, Qt::Key_End); // "1800 -       конец линии": -24
    EXPECT_EQ(Label("Label47"), "-22");
    EXPECT_EQ(Label("Label48"), "24");
    EXPECT_EQ(Slider("RxSlider3")->value(), -22);
    // Clamped, stored and committed at once, with the tab of the second channel not shown.
    EXPECT_EQ(Table().State(), TTableState::Browse);
    EXPECT_EQ(Table().FieldByName("AttenTr2"), TValue(-22));
    EXPECT_EQ(Table().FieldByName("AttenTr1"), TValue(-20));
    // The ranges stay across records until the rule runs again.
    lt->DBNavigator1->Click(TDBNavigator::Next);
    EXPECT_EQ(Slider("RxSlider3")->minimum(), -22);
    lt->hide();
}

TEST_F(TuningLT, TheFirstChannelShownOnAnotherKPKeepsThatKPsOwnLevel) {
    // КП-1 at the low end of the 200 Ω range; КП-10 on 600 Ω mid-line (-9: -37..9) at -30.
    SetFirst(Table(), {{"AttenTr1", -46}});
    lt->show();
    lt->General->setCurrentIndex(Tab("TabSheetTC1"));
    EXPECT_EQ(Slider("RxSlider2")->value(), -46);
    lt->General->setCurrentIndex(Tab("TabSheetGeneral"));
    lt->DBNavigator1->Click(TDBNavigator::Next);
    lt->General->setCurrentIndex(Tab("TabSheetTC1"));
    EXPECT_EQ(Label("Label29"), "-37");
    EXPECT_EQ(Slider("RxSlider2")->value(), -30);
    EXPECT_EQ(lt->Control<TDBEdit>("DBEdit9")->text().toStdString(), "-30");
    lt->hide();
    EXPECT_EQ(Table().FieldByName("NameKP"), TValue("КП-10 Разъезд"));
    EXPECT_EQ(Table().FieldByName("AttenTr1"), TValue(-30));
    EXPECT_TRUE(host->messages.empty()) << ::testing::PrintToString(host->Texts());
}

TEST_F(TuningLT, TheSecondChannelCheckBoxGovernsItsGroup) {
    Table().Last(); // the sample КП that uses both channels
    lt->show();
    lt->General->setCurrentIndex(Tab("TabSheetTC2"));
    auto* use = lt->Control<TDBCheckBox>("DBCheckBox1");
    auto* group = lt->Control<QGroupBox>("GroupBox7");
    EXPECT_EQ(use->checkState(), Qt::Checked);
    EXPECT_TRUE(group->isVisible() && group->isEnabled());
    EXPECT_EQ(use->palette().color(QPalette::WindowText), QColor(Qt::red));

    use->click();
    EXPECT_EQ(Table().FieldByName("ENumsTCChannel"), TValue(1));
    EXPECT_FALSE(group->isVisible());
    EXPECT_FALSE(group->isEnabled());
    EXPECT_EQ(use->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(Table().FieldByName("EWidthImpTC2"), TValue(60)); // the group's fields are kept
    EXPECT_EQ(lt->Control<TDBEdit>("EWidthImpTC2Edit")->text().toStdString(), "60");

    // An empty field: the third state, and the group hidden.
    lt->DBNavigator1->Click(TDBNavigator::First);
    Table().Edit();
    Table().SetFieldByName("ENumsTCChannel", TValue());
    EXPECT_EQ(use->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(group->isVisible());
    lt->hide();
}

TEST_F(TuningLT, ServiceLevelsAreWholeNumbersWithoutARange) {
    lt->show();
    lt->General->setCurrentIndex(Tab("TabSheetAUX"));
    auto* in = lt->Control<TDBEdit>("DBEdit16");
    auto* out = lt->Control<TDBEdit>("DBEdit17");
    in->selectAll();
    Type(in, "-70");
    out->selectAll();
    Type(out, "100");
    lt->hide();
    EXPECT_EQ(Table().FieldByName("AttenRecAUX"), TValue(-70));
    EXPECT_EQ(Table().FieldByName("AttenTrAUX"), TValue(100));
    EXPECT_TRUE(host->messages.empty()) << ::testing::PrintToString(host->Texts());
}

TEST_F(TuningLT, ProgrammingTakesTheSeriesTypeOfTelecontrolAndReachesTheModem) {
    SetFirst(Table(), {{"EForvardTY", 0}, {"EForvardTC", 1}}); // "инверсная"
    ExpectProgrammed(
        lt, [&] { lt->BProg->click(); },
        ": прошиваю настройки КП-1 Тяговая подстанция, временная, номер КП = 1,   р\\.к\\.= -20 дБ,   "
        "с\\.к\\.= -10 дБ",
        kSysTime);
    EXPECT_EQ(Table().FieldByName("EForvardTC"), TValue(0));
    EXPECT_EQ(Table().State(), TTableState::Browse);
}

TEST_F(TuningLT, EveryInputIsNamedByItsCaption) {
    Table().Last(); // both channels: the second channel's group is shown
    ExpectInputsNamedByCaptions(lt);
    EXPECT_EQ(AccessibleName(lt, "RxDBComboBox6"), "Сопротивление линии, Ом");
    EXPECT_EQ(AccessibleName(lt, "RxSlider3"), "Уровень сигнала по выходу, дБ");
    EXPECT_EQ(AccessibleName(lt, "DBEdit16"), "Уровень сигнала");
    EXPECT_EQ(AccessibleName(lt, "EDelayImpTC1Edit"), "Задержка от начала вызывного импульса");
    lt->hide();
}

} // namespace
} // namespace talmar::test
