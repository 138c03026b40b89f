// The ОРТЕН editor offscreen: its ranges before and after the range update, the caption at its
// main tab, copies between records and editors, the commit on hide, and programming.

#include "tests/editors/EditorFixture.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

namespace talmar::test {
namespace {

class TuningORTEN : public EditorWindowTest {
protected:
    int Tab(const char* name) const { return ProfileORTEN().TabIndex(name); }
    QSlider* Slider(const char* name) const { return orten->Slider(ProfileORTEN().SliderIndex(name)); }
    std::string Label(const char* name) const { return orten->Control<QLabel>(name)->text().toStdString(); }
    TTable& Table() const { return dm->TDataORTEN(); }
};

TEST_F(TuningORTEN, AResizableWindowOfThreeTabsOpenedWithF7) {
    EXPECT_FALSE(orten->isModal() && orten->isVisible());
    EXPECT_EQ(orten->size(), QSize(430, 448));
    EXPECT_EQ(orten->General->count(), 3);
    EXPECT_EQ(orten->General->tabText(1).toStdString(), "Рабочий канал");
    EXPECT_EQ(orten->BProg->objectName().toStdString(), "BitBtn1");
    EXPECT_EQ(orten->findChild<QWidget*>("NumKPEdit"), nullptr); // no КП number in ОРТЕН
    ExecInside(
        orten, [&] { w->menuBar()->findChild<QAction*>("N8")->trigger(); },
        [&] {
            orten->resize(600, 500);
            EXPECT_EQ(orten->size(), QSize(600, 500));
        });
}

TEST_F(TuningORTEN, TransmitSlidersStartAt34UnderLabelsOf46UntilTheRangeUpdate) {
    orten->show();
    for (const char* s : {"RxSlider2", "RxSlider4"}) {
        EXPECT_EQ(Slider(s)->minimum(), -34) << s;
        EXPECT_EQ(Slider(s)->maximum(), 0) << s;
    }
    EXPECT_EQ(Label("Label28"), "-46");
    EXPECT_EQ(Label("Label6"), "-46");
    EXPECT_EQ(Label("Label2"), "0");

    orten->General->setCurrentIndex(Tab("TabSheet1")); // the range update with entry 1
    EXPECT_EQ(Slider("RxSlider2")->minimum(), -46);
    EXPECT_EQ(Slider("RxSlider4")->minimum(), -46);
    auto* resist = orten->Control<TDBComboBox>("RxDBComboBox1");
    resist->setFocus();
    QTest::keyClick(resist, Qt::Key_End); // "1800": -24
    for (const char* s : {"RxSlider2", "RxSlider4"}) {
        EXPECT_EQ(Slider(s)->minimum(), -22) << s;
        EXPECT_EQ(Slider(s)->maximum(), 24) << s;
    }
    EXPECT_EQ(Label("Label28"), "-22");
    EXPECT_EQ(Label("Label8"), "24");
    EXPECT_EQ(Table().State(), TTableState::Edit); // no slider commits at once here
    orten->hide();
    EXPECT_EQ(Table().State(), TTableState::Browse);
    EXPECT_EQ(Table().FieldByName("ResistTr"), TValue(-24));
}

TEST_F(TuningORTEN, TheWorkingChannelShownOnAnotherKPKeepsThatKPsOwnLevel) {
    // КП-2 on 600 Ω mid-line (-9) at -30; КП-3 on 1200 Ω at the end (-21: -25..21) at -5.
    orten->show();
    orten->DBNavigator1->Click(TDBNavigator::Next);
    orten->General->setCurrentIndex(Tab("TabSheet1"));
    EXPECT_EQ(Slider("RxSlider2")->value(), -30);
    orten->General->setCurrentIndex(Tab("TabSheet3"));
    orten->DBNavigator1->Click(TDBNavigator::Next);
    orten->General->setCurrentIndex(Tab("TabSheet1"));
    EXPECT_EQ(Label("Label28"), "-25");
    EXPECT_EQ(Slider("RxSlider2")->value(), -5);
    EXPECT_EQ(orten->Control<TDBEdit>("DBEdit2")->text().toStdString(), "-5");
    orten->hide();
    Table().ApplyCommitRule();
    EXPECT_EQ(Table().FieldByName("NameKP"), TValue("КП-3 Очистные"));
    EXPECT_EQ(Table().FieldByName("AttenTr1"), TValue(-5));
}

TEST_F(TuningORTEN, CaptionChangesOnlyAtTheMainTabOrTheRecordList) {
    EXPECT_EQ(orten->windowTitle().toStdString(), "Настройки ОРТЕН"); // nothing at creation
    orten->show();
    EXPECT_EQ(orten->windowTitle().toStdString(), "Настройки ОРТЕН ( КП-1 Диспетчерская )");
    orten->DBNavigator1->Click(TDBNavigator::Next);
    orten->General->setCurrentIndex(Tab("TabSheet4"));
    EXPECT_EQ(orten->windowTitle().toStdString(), "Настройки ОРТЕН ( КП-1 Диспетчерская )");
    orten->General->setCurrentIndex(Tab("TabSheet3"));
    EXPECT_EQ(orten->windowTitle().toStdString(), "Настройки ОРТЕН ( КП-2 Котельная )");
    orten->DBNavigator1->Click(TDBNavigator::Next);
    orten->DBGrid1CellClick();
    EXPECT_EQ(orten->windowTitle().toStdString(), "Настройки ОРТЕН ( КП-3 Очистные )");
    orten->hide();
}

TEST_F(TuningORTEN, AMovedSliderIsCommittedWhenTheWindowHides) {
    orten->show();
    orten->General->setCurrentIndex(Tab("TabSheet1"));
    auto* s1 = Slider("RxSlider1");
    s1->setFocus();
    QTest::keyClick(s1, Qt::Key_Home); // -34
    EXPECT_EQ(Table().State(), TTableState::Edit);
    orten->hide();
    EXPECT_EQ(Table().State(), TTableState::Browse);
    dm->Close();
    TTable file(TableDef(TTableId::DataORTEN));
    file.Open();
    EXPECT_EQ(file.FieldByName("AttenRec1"), TValue(-34));
}

TEST_F(TuningORTEN, CopyAndPasteBetweenRecordsAndEachPasteButtonFollowsItsOwnTable) {
    orten->show();
    lf->show();
    EXPECT_FALSE(orten->BPaste->isEnabled());
    orten->BCopy->click(); // КП-1
    EXPECT_TRUE(orten->BPaste->isEnabled());
    EXPECT_FALSE(lf->BPaste->isEnabled());
    EXPECT_FALSE(lt->BPaste->isEnabled());

    std::vector<TValue> source;
    for (int f = 0; f < Table().StoredFieldCount(); ++f)
        source.push_back(Table().Value(f));
    orten->DBNavigator1->Click(TDBNavigator::Last);
    orten->BPaste->click();
    EXPECT_EQ(Table().RecNo(), 3);
    EXPECT_EQ(Table().State(), TTableState::Browse);
    for (int f = 0; f < Table().StoredFieldCount(); ++f)
        EXPECT_EQ(Table().Value(f), source[static_cast<std::size_t>(f)]) << Table().Field(f).name;
    EXPECT_EQ(orten->Control<TDBEdit>("ENumControllerEdit")->text().toStdString(), "1");

    // A copy in the frequency editor turns the ОРТЕН paste off.
    lf->BCopy->click();
    EXPECT_TRUE(lf->BPaste->isEnabled());
    EXPECT_FALSE(orten->BPaste->isEnabled());
    orten->hide();
    lf->hide();
}

TEST_F(TuningORTEN, ProgrammingLogsNoKPNumberAndReachesTheModem) {
    ExpectProgrammed(
        orten, [&] { orten->BProg->click(); },
        ": прошиваю настройки КП-1 Диспетчерская, ОРТЕН,   р\\.к\\.= -20 дБ,   с\\.к\\.= -10 дБ", kSysORTEN);
}

TEST_F(TuningORTEN, EveryInputIsNamedByItsCaption) {
    ExpectInputsNamedByCaptions(orten);
    EXPECT_EQ(AccessibleName(orten, "RxSlider1"), "Аттеньюация сигнала, дБ");
    EXPECT_EQ(AccessibleName(orten, "RxDBComboBox3"), "Частотный канал");
    orten->hide();
}

} // namespace
} // namespace talmar::test
