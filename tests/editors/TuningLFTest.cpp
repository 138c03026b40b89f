// The frequency editor offscreen: what the engineer sees and what reaches Data_LF.DB.

#include "tests/editors/EditorFixture.h"
#include "tests/store/StoreFixture.h"

#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace talmar::test {
namespace {

class TuningLF : public EditorWindowTest {
protected:
    int Tab(const char* name) const { return ProfileLF().TabIndex(name); }
    int SliderOf(const char* name) const { return ProfileLF().SliderIndex(name); }
    TTable& Table() const { return dm->TDataLF(); }
};

TEST_F(TuningLF, F5OpensItOnTheRecordInEditStateNamedInTheCaption) {
    // Created at start: the caption rule names the first record at once.
    EXPECT_EQ(lf->windowTitle().toStdString(), "Настройки частотной системы ( КП-1 Подстанция Северная )");
    std::vector<std::string> tabs;
    for (int i = 0; i < lf->General->count(); ++i)
        tabs.push_back(lf->General->tabText(i).toStdString());
    EXPECT_EQ(tabs, (std::vector<std::string>{"Главные", "Телеуправление", "Телесигнализация",
                                              "Телеизмерения", "Служебный канал"}));
    QAction* f5 = w->menuBar()->findChild<QAction*>("N6");
    ASSERT_NE(f5, nullptr);
    ExecInside(
        lf, [&] { f5->trigger(); },
        [&] {
            EXPECT_EQ(Table().State(), TTableState::Edit);
            EXPECT_EQ(lf->General->currentIndex(), 0);
            EXPECT_FALSE(lf->BPaste->isEnabled()); // nothing copied yet
        });
    // Moving with the navigator leaves the caption until the record list is used.
    Table().Next();
    EXPECT_EQ(lf->windowTitle().toStdString(), "Настройки частотной системы ( КП-1 Подстанция Северная )");
    lf->DBGrid1CellClick();
    EXPECT_EQ(lf->windowTitle().toStdString(), "Настройки частотной системы ( КП-2 Насосная )");
}

TEST_F(TuningLF, TypedPickedAndMovedValuesReachTheFileWhenTheWindowCloses) {
    ExecInside(
        lf, [&] { lf->exec(); },
        [&] {
            auto* num = lf->Control<TDBEdit>("NumKPEdit");
            ASSERT_NE(num, nullptr);
            EXPECT_EQ(num->maxLength(), 4);
            num->selectAll();
            Type(num, "9");
            lf->General->setCurrentIndex(Tab("TabSheet1"));
            auto* channel = lf->Control<TDBComboBox>("RxDBComboBox1");
            channel->setFocus();
            QTest::keyClick(channel, Qt::Key_End); // the 19th channel
            auto* s1 = lf->Slider(SliderOf("RxSlider1"));
            s1->setFocus();
            QTest::keyClick(s1, Qt::Key_Home); // -34
            lf->General->setCurrentIndex(Tab("TabSheet2"));
            auto* s2 = lf->Slider(SliderOf("RxSlider2"));
            s2->setFocus();
            QTest::keyClick(s2, Qt::Key_Left); // -20 -> -21, not committed at once
            EXPECT_EQ(Table().State(), TTableState::Edit);
            num->setFocus();
            num->selectAll();
            Type(num, "8"); // typed, still in the field, when the window closes
        });
    // Read back from the file itself.
    dm->Close();
    TTable file(TableDef(TTableId::DataLF));
    file.Open();
    EXPECT_EQ(file.FieldByName("NumKP"), TValue(8));
    EXPECT_EQ(file.FieldByName("EChannelRec1"), TValue(19));
    EXPECT_EQ(file.FieldByName("AttenRec1"), TValue(-34));
    EXPECT_EQ(file.FieldByName("AttenTr1"), TValue(-21));
    EXPECT_TRUE(host->messages.empty()) << ::testing::PrintToString(host->Texts());
}

TEST_F(TuningLF, PickingTheLongestLineSetsBothRangesAndClampsBothLevels) {
    SetFirst(Table(), {{"ResistTr", 0}, {"AttenTr1", -40}, {"AttenTrAUX", -30}});
    lf->show();
    lf->General->setCurrentIndex(Tab("TabSheet4")); // loads the service channel's levels
    lf->General->setCurrentIndex(Tab("TabSheet2"));
    const int s2 = SliderOf("RxSlider2");
    const int s4 = SliderOf("RxSlider4");
    EXPECT_EQ(lf->Slider(s2)->value(), -40);
    auto* resist = lf->Control<TDBComboBox>("RxDBComboBox5");
    resist->setFocus();
    QTest::keyClick(resist, Qt::Key_End); // "1800": the line's end, -24
    EXPECT_EQ(resist->currentText().toStdString(), "1800");
    EXPECT_EQ(lf->Control<QLabel>("Label29")->text().toStdString(), "-22");
    EXPECT_EQ(lf->Control<QLabel>("Label30")->text().toStdString(), "24");
    EXPECT_EQ(lf->Slider(s2)->minimum(), -22);
    EXPECT_EQ(lf->Slider(s2)->maximum(), 24);
    EXPECT_EQ(lf->Slider(s2)->value(), -22);
    EXPECT_EQ(lf->Control<TDBEdit>("DBEdit13")->text().toStdString(), "-22");
    // The service channel's output slider, on a tab not shown now, follows.
    EXPECT_EQ(lf->Control<QLabel>("Label25")->text().toStdString(), "-22");
    EXPECT_EQ(lf->Slider(s4)->value(), -22);
    lf->hide();
    EXPECT_EQ(Table().State(), TTableState::Browse);
    EXPECT_EQ(Table().FieldByName("AttenTr1"), TValue(-22));
    EXPECT_EQ(Table().FieldByName("AttenTrAUX"), TValue(-22));
    EXPECT_EQ(Table().FieldByName("ResistTr"), TValue(-24));
}

TEST_F(TuningLF, TelesignallingShownOnAnotherKPKeepsThatKPsOwnLevel) {
    // КП-2: 200 Ω at the line's end (-6), level -34; КП-15: 600 Ω at the end (-15), level -10.
    const int s2 = SliderOf("RxSlider2");
    ExecInside(
        lf, [&] { lf->exec(); },
        [&] {
            lf->DBNavigator1->Click(TDBNavigator::Next);
            lf->General->setCurrentIndex(Tab("TabSheet2"));
            EXPECT_EQ(lf->Slider(s2)->value(), -34);
            EXPECT_EQ(lf->Control<QLabel>("Label29")->text().toStdString(), "-40");
            lf->General->setCurrentIndex(Tab("TabSheet3"));
            lf->DBNavigator1->Click(TDBNavigator::Next);
            ASSERT_EQ(Table().FieldByName("NameKP"), TValue("КП-15 Водозабор"));
            lf->General->setCurrentIndex(Tab("TabSheet2"));
            EXPECT_EQ(lf->Control<QLabel>("Label29")->text().toStdString(), "-31");
            EXPECT_EQ(lf->Control<QLabel>("Label30")->text().toStdString(), "15");
            EXPECT_EQ(lf->Slider(s2)->value(), -10);
            EXPECT_EQ(lf->Control<TDBEdit>("DBEdit13")->text().toStdString(), "-10");
        });
    dm->Close();
    TTable file(TableDef(TTableId::DataLF));
    file.Open();
    file.Last();
    EXPECT_EQ(file.FieldByName("AttenTr1"), TValue(-10));
    file.Prior();
    EXPECT_EQ(file.FieldByName("AttenTr1"), TValue(-34));
    EXPECT_TRUE(host->messages.empty()) << ::testing::PrintToString(host->Texts());
}

TEST_F(TuningLF, AShorterLineClampsTheServiceLevelItsTabNeverShowed) {
    // A legal pair at 1800 Ω at the line's end: level 20 with the correction -24.
    SetFirst(Table(), {{"ResistTr", -24}, {"AttenTrAUX", 20}});
    lf->show();
    lf->General->setCurrentIndex(Tab("TabSheet2"));
    auto* resist = lf->Control<TDBComboBox>("RxDBComboBox5");
    resist->setFocus();
    QTest::keyClick(resist, Qt::Key_Home); // "200 || 200": 0
    EXPECT_EQ(resist->currentText().toStdString(), "200 || 200");
    lf->General->setCurrentIndex(Tab("TabSheet4"));
    EXPECT_EQ(lf->Slider(SliderOf("RxSlider4"))->value(), 0);
    EXPECT_EQ(lf->Control<TDBEdit>("DBEdit17")->text().toStdString(), "0");
    lf->hide();
    EXPECT_EQ(Table().FieldByName("AttenTrAUX"), TValue(0));
    EXPECT_EQ(Table().FieldByName("ResistTr"), TValue(0));
}

TEST_F(TuningLF, TextThatDoesNotConvertKeepsTheWindowOpenWithTheFieldAndTheOtherEdits) {
    const std::string error = "'1x' is not a valid integer value";
    auto* num = lf->Control<TDBEdit>("NumKPEdit");
    auto* controller = lf->Control<TDBEdit>("ENumControllerEdit");
    ExecInside(
        lf, [&] { lf->exec(); },
        [&] {
            controller->selectAll();
            Type(controller, "9");
            num->selectAll();
            Type(num, "1x");
            lf->General->setCurrentIndex(Tab("TabSheet1")); // the field's tab is not shown
            // "Выход", the close box and Escape on another control leave the window open.
            lf->OKBtn->click();
            EXPECT_TRUE(lf->isVisible());
            EXPECT_EQ(lf->General->currentIndex(), Tab("TabSheet3"));
            EXPECT_EQ(lf->focusWidget(), num);
            lf->close();
            EXPECT_TRUE(lf->isVisible());
            QTest::keyClick(lf->BProg, Qt::Key_Escape);
            QTest::keyClick(controller, Qt::Key_Escape);
            EXPECT_TRUE(lf->isVisible());
            ASSERT_FALSE(host->messages.empty());
            for (const std::string& text : host->Texts())
                EXPECT_EQ(text, error);
            EXPECT_EQ(num->text().toStdString(), "1x");
            EXPECT_EQ(Table().State(), TTableState::Edit);
            EXPECT_EQ(Table().FieldByName("ENumController"), TValue(9));
            // Escape in the field puts back the record's value; Escape elsewhere still closes
            // nothing, and "Выход" (pressed as the check ends) then closes the window.
            QTest::keyClick(num, Qt::Key_Escape);
            EXPECT_EQ(num->text().toStdString(), "1");
            QTest::keyClick(lf->BProg, Qt::Key_Escape);
            EXPECT_TRUE(lf->isVisible());
        });
    dm->Close();
    TTable file(TableDef(TTableId::DataLF));
    file.Open();
    EXPECT_EQ(file.FieldByName("ENumController"), TValue(9));
    EXPECT_EQ(file.FieldByName("NumKP"), TValue(1));
}

TEST_F(TuningLF, AStoredNumberWiderThanTheFieldTakesIsShownWhole) {
    SetFirst(Table(), {{"NumKP", 12345}}); // as an imported table may hold it
    lf->show();
    auto* num = lf->Control<TDBEdit>("NumKPEdit");
    EXPECT_EQ(num->text().toStdString(), "12345");
    num->selectAll();
    Type(num, "678901"); // typing keeps to four characters
    EXPECT_EQ(num->text().toStdString(), "6789");
    lf->hide();
    EXPECT_EQ(Table().FieldByName("NumKP"), TValue(6789));
}

TEST_F(TuningLF, TabLeavesTheRecordListAndOnlyArrowsMoveTheRecord) {
    lf->show();
    lf->activateWindow();
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Tab, Qt::KeyboardModifiers(Qt::NoModifier)},
          std::pair{Qt::Key_Backtab, Qt::KeyboardModifiers(Qt::ShiftModifier)},
          std::pair{Qt::Key_Tab, Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
        SCOPED_TRACE(modifiers.toInt());
        lf->DBGrid1->setFocus();
        ASSERT_EQ(lf->focusWidget(), lf->DBGrid1);
        QTest::keyClick(lf->DBGrid1, key, modifiers);
        EXPECT_NE(lf->focusWidget(), lf->DBGrid1);
        EXPECT_EQ(Table().RecNo(), 1);
        EXPECT_EQ(lf->General->currentIndex(), Tab("TabSheet3"));
    }
    QTest::keyClick(lf->DBGrid1, Qt::Key_Down);
    EXPECT_EQ(Table().RecNo(), 2);
    lf->hide();
}

TEST_F(TuningLF, ServiceTabWithoutAResistanceSaysSoEveryTime) {
    SetFirst(Table(), {{"ResistTr", TValue()}});
    lf->show();
    for (int i = 0; i < 2; ++i) {
        lf->General->setCurrentIndex(Tab("TabSheet4"));
        lf->General->setCurrentIndex(Tab("TabSheet3"));
    }
    EXPECT_EQ(host->Texts(), std::vector<std::string>(
                                 2, "Сначала задайте сопротивление линии в разделе \"Телесигнализация\""));
    lf->hide();
}

TEST_F(TuningLF, CoefficientGroupFollowsTheCheckBoxAndTheRecord) {
    // The last sample record does not pass telemetering on.
    lf->show();
    lf->General->setCurrentIndex(Tab("TabSheet5"));
    auto* use = lf->Control<TDBCheckBox>("CBUseTI");
    auto* group = lf->Control<QGroupBox>("GroupBoxCoeffTI");
    EXPECT_TRUE(group->isVisible());
    use->click();
    EXPECT_FALSE(group->isVisible());
    EXPECT_EQ(Table().FieldByName("EUseTI"), TValue(0));
    EXPECT_EQ(Table().FieldByName("CoeffTI2"), TValue(1.15)); // kept
    use->click();
    EXPECT_TRUE(group->isVisible());
    lf->DBNavigator1->Click(TDBNavigator::Last);
    EXPECT_FALSE(group->isVisible());
    lf->DBNavigator1->Click(TDBNavigator::First);
    EXPECT_TRUE(group->isVisible());
    lf->hide();
}

TEST_F(TuningLF, APostTheFileRefusesShowsTheErrorAndLeavesTheEditInTheWindow) {
    dm->Close();
    ExecSql("Data_LF.DB", "CREATE TRIGGER refuse BEFORE UPDATE ON Data_LF "
                          "BEGIN SELECT RAISE(ABORT, 'диск только для чтения'); END;");
    ASSERT_TRUE(dm->Open());
    lf->show();
    auto* num = lf->Control<TDBEdit>("NumKPEdit");
    num->selectAll();
    Type(num, "5");
    lf->DBNavigator1->Click(TDBNavigator::Next);
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_NE(host->messages[0].text.find("диск только для чтения"), std::string::npos)
        << host->messages[0].text;
    // Still on the first record, with the typed value in the record and in the field.
    EXPECT_EQ(Table().RecNo(), 1);
    EXPECT_EQ(lf->DBGrid1->currentIndex().row(), 0);
    EXPECT_EQ(Table().State(), TTableState::Edit);
    EXPECT_EQ(Table().FieldByName("NumKP"), TValue(5));
    EXPECT_EQ(num->text().toStdString(), "5");
    lf->hide(); // the commit on hide is refused the same way
    EXPECT_EQ(host->messages.size(), 2u);
    Table().Cancel();
}

TEST_F(TuningLF, HandlersAnswerToTheirDocumentedNames) {
    SetFirst(Table(), {{"ResistTr", TValue()}, {"EUseTI", 0}});
    lf->show();
    EXPECT_TRUE(lf->Handler("TabSheet4Show"));
    EXPECT_EQ(host->Texts().size(), 1u);
    EXPECT_TRUE(lf->Handler("CBUseTIClick"));
    EXPECT_FALSE(lf->Control<QGroupBox>("GroupBoxCoeffTI")->isVisible());
    EXPECT_FALSE(lf->Handler("BitBtn1Click")); // the ОРТЕН editor's name for "Прошить модем"
    EXPECT_FALSE(lf->Handler("RxSlider9Change"));
    lf->hide();
}

TEST_F(TuningLF, F1OnAPlaceFieldShowsTheHelpMessage) {
    lf->show();
    lf->General->setCurrentIndex(Tab("TabSheet1"));
    auto* on = lf->Control<TDBEdit>("EPlaceOnEdit");
    on->setFocus();
    QTest::keyClick(on, Qt::Key_F1);
    auto* imp = lf->Control<TDBEdit>("EImpTY1Edit");
    imp->setFocus();
    QTest::keyClick(imp, Qt::Key_F1);
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"qwer"});
    lf->hide();
}

TEST_F(TuningLF, ProgrammingFromTheWindowReachesTheModemAndHoldsTheWindowMeanwhile) {
    SetFirst(Table(), {{"NumKP", 1}});
    bool sawRun = false;
    ExpectProgrammed(
        lf,
        [&] {
            // While the run waits for the modem, a click on the navigator or on the button
            // again does nothing.
            QTimer::singleShot(0, lf, [&] {
                sawRun = lf->Programming();
                EXPECT_FALSE(lf->Body->isEnabled());
                QTest::mouseClick(lf->DBNavigator1->Button(TDBNavigator::Next), Qt::LeftButton);
                QTest::mouseClick(lf->DBNavigator1->Button(TDBNavigator::Delete), Qt::LeftButton);
                QTest::mouseClick(lf->BProg, Qt::LeftButton);
                lf->reject(); // Escape and the close box
                EXPECT_TRUE(lf->isVisible());
            });
            lf->BProg->click();
            EXPECT_TRUE(lf->Body->isEnabled());
            EXPECT_EQ(Table().RecNo(), 1);
            EXPECT_EQ(Table().RecordCount(), 3);
        },
        ": прошиваю настройки КП-1 Подстанция Северная, частотная,   номер КП = 1,   р\\.к\\.= -20 дБ,   "
        "с\\.к\\.= -10 дБ",
        kSysFrequency);
    EXPECT_TRUE(sawRun);
}

TEST_F(TuningLF, TheWindowTakesInputAgainWhenProgrammingFails) {
    dm->Close();
    ExecSql("Data_LF.DB", "CREATE TRIGGER refuse BEFORE UPDATE ON Data_LF "
                          "BEGIN SELECT RAISE(ABORT, 'диск только для чтения'); END;");
    ASSERT_TRUE(dm->Open());
    lf->show();
    auto* num = lf->Control<TDBEdit>("NumKPEdit");
    num->selectAll();
    Type(num, "5");
    lf->BProg->click(); // the commit before the build is refused
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_NE(host->messages[0].text.find("диск только для чтения"), std::string::npos);
    EXPECT_TRUE(lf->Body->isEnabled());
    EXPECT_FALSE(lf->Programming());
    EXPECT_EQ(lf->focusWidget(), lf->BProg); // where the engineer left off
    Table().Cancel();
    lf->hide();
}

TEST_F(TuningLF, EveryInputIsNamedByItsCaption) {
    ExpectInputsNamedByCaptions(lf);
    // A few in full: a row of bounds, a slider and its box, a chooser.
    auto name = [&](const char* object) { return AccessibleName(lf, object); };
    EXPECT_EQ(name("EImpTY1Edit"), "КИ от");
    EXPECT_EQ(name("EImpTY2Edit"), "КИ до");
    EXPECT_EQ(name("EPlaceNumObject2Edit"), "Номер объекта до");
    EXPECT_EQ(name("RxSlider1"), "Аттеньюация сигнала, дБ");
    EXPECT_EQ(name("DBEdit12"), "Аттеньюация сигнала, дБ");
    EXPECT_EQ(name("RxDBComboBox5"), "Сопротивление линии, Ом");
    EXPECT_EQ(name("DBGrid1"), "Название КП");
    lf->hide();
}

} // namespace
} // namespace talmar::test
