// The COM-port and remote-control windows: what they show, what they store and when, and the port
// the next command opens.
#include "controls/DataControls.h"
#include "tests/remote/windows/WindowFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>

using namespace talmar;
using talmar::test::TWindowTest;

namespace {

// A click on a radio button's circle (the button takes clicks on its circle and its text only).
void Choose(QRadioButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

struct Preferences : TWindowTest {
    std::string Panel() const { return w->StatusPanels[1]->text().toStdString(); }
    std::vector<bool> Checked() const {
        std::vector<bool> out;
        for (QRadioButton* b : fTuningCom->Items)
            out.push_back(b->isChecked());
        return out;
    }
    // What Pref.db holds once the program is gone without saving anything more (a crash).
    TValue StoredAfterCrash(const char* field) {
        w.reset();
        dm->Deactivate();
        TDMTables again(*host);
        EXPECT_TRUE(again.Open());
        return again.Pref().FieldByName(field);
    }
};

} // namespace

TEST_F(Preferences, PortChosenWithOkIsStoredShownAndOpenedByTheNextCommand) {
    MakeTables("3", "1", {});
    StartLine({{"КП", 1, 1}}, 1);
    Start();
    EXPECT_EQ(Panel(), "COM3"); // from the start, before the window is ever shown

    w->N5Click();
    EXPECT_TRUE(fTuningCom->isVisible());
    EXPECT_FALSE(fTuningCom->isModal()); // the main window stays usable beside it
    EXPECT_EQ(Checked(), (std::vector<bool>{false, false, true, false}));
    // Each item names the device its port opens here.
    EXPECT_EQ(fTuningCom->Items[0]->toolTip().toStdString(), "COM1: " + line->SlavePath());
    EXPECT_EQ(fTuningCom->Items[3]->toolTip().toStdString(), "COM4: /dev/ttyS3");

    Choose(fTuningCom->Items[0]);
    QTest::mouseClick(fTuningCom->BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(fTuningCom->isVisible());
    EXPECT_EQ(Panel(), "COM1");
    EXPECT_EQ(dm->Pref().State(), TTableState::Browse);

    // The next command opens COM1, where the modem is.
    w->TBGetInfoClick();
    ASSERT_EQ(host->Texts(), std::vector<std::string>{"ЛТР-20 v3"});
    EXPECT_EQ(StoredAfterCrash("NumCom"), TValue(1));
}

TEST_F(Preferences, CancelStoresNothingAndAnUnconfirmedChoiceIsNotUsed) {
    MakeTables("3", "1", {});
    StartLine({{"КП", 1, 1}}, 3);
    Start();
    w->N5Click();
    Choose(fTuningCom->Items[0]);
    ASSERT_TRUE(fTuningCom->Items[0]->isChecked());
    // A command started while the window is open uses the stored port, COM3.
    w->TBGetInfoClick();
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"ЛТР-20 v3"});

    QTest::mouseClick(fTuningCom->Button1, Qt::LeftButton);
    EXPECT_FALSE(fTuningCom->isVisible());
    EXPECT_EQ(Panel(), "COM3");
    EXPECT_EQ(dm->Pref().State(), TTableState::Browse);
    // Shown again, it reads the stored port anew.
    w->N5Click();
    EXPECT_EQ(Checked(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(StoredAfterCrash("NumCom"), TValue(3));
}

TEST_F(Preferences, PortBeyondTheListSelectsCom4AndNoPortStoresNothing) {
    MakeTables("7", "1", {});
    Start();
    EXPECT_EQ(Panel(), "COM7");
    w->N5Click();
    EXPECT_EQ(Checked(), (std::vector<bool>{false, false, false, true}));
    QTest::mouseClick(fTuningCom->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(dm->NumCom(), 4);
    EXPECT_EQ(Panel(), "COM4");

    // An empty NumCom, then 0: no item is chosen, and OK stores nothing (not "COM0").
    for (const TValue& none : {TValue(), TValue(0)}) {
        SCOPED_TRACE(none.AsString());
        dm->Pref().Edit();
        dm->Pref().SetFieldByName("NumCom", none);
        dm->Pref().Post();
        w->N5Click();
        EXPECT_EQ(Checked(), (std::vector<bool>(4, false)));
        QTest::mouseClick(fTuningCom->BitBtn1, Qt::LeftButton);
        EXPECT_FALSE(fTuningCom->isVisible());
        EXPECT_EQ(dm->Pref().FieldByName("NumCom"), none);
        EXPECT_EQ(dm->Pref().State(), TTableState::Browse);
        EXPECT_EQ(Panel(), "COM4");
    }
    EXPECT_TRUE(host->messages.empty());
}

TEST_F(Preferences, RemoteControlChoiceIsPostedByOk) {
    MakeTables("2", "1", {});
    Start();
    TDBRadioGroup* group = fTuningRC->DBRadioGroup1;
    EXPECT_EQ(group->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0x80));
    EXPECT_TRUE(fTuningRC->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    int shownWith = -2;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        modal = fTuningRC->isModal();
        shownWith = group->ItemIndex();
        Choose(group->Button(1));
        QTest::mouseClick(fTuningRC->BOK, Qt::LeftButton);
    });
    w->N17Click(); // returns when the window has closed
    EXPECT_TRUE(modal);
    EXPECT_EQ(shownWith, 0);
    EXPECT_FALSE(fTuningRC->isVisible());
    EXPECT_EQ(fTuningRC->result(), QDialog::Accepted);
    EXPECT_EQ(dm->Pref().State(), TTableState::Browse);

    // Opened again it shows the choice; a stored value outside 1..3 shows none.
    QTimer::singleShot(0, [&] {
        shownWith = group->ItemIndex();
        fTuningRC->reject();
    });
    w->N17Click();
    EXPECT_EQ(shownWith, 1);
    dm->Pref().Edit();
    dm->Pref().SetFieldByName("TypeRemoteControl", TValue(5));
    dm->Pref().Post();
    QTimer::singleShot(0, [&] {
        shownWith = group->ItemIndex();
        fTuningRC->reject();
    });
    w->N17Click();
    EXPECT_EQ(shownWith, -1);

    dm->Pref().Edit();
    dm->Pref().SetFieldByName("TypeRemoteControl", TValue(2));
    dm->Pref().Post();
    QTimer::singleShot(0, [&] {
        Choose(group->Button(2));
        QTest::mouseClick(fTuningRC->BOK, Qt::LeftButton);
    });
    w->N17Click();
    EXPECT_TRUE(host->messages.empty());
    EXPECT_EQ(StoredAfterCrash("TypeRemoteControl"), TValue(3));
}
