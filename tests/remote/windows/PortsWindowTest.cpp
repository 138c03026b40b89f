// The COM-port window with USB adapters plugged in: each listed under a number of its own, chosen
// like COM1..COM4, shown in the status bar, opened by the next command; and the same adapter
// unplugged.
#include "link/PortMap.h"
#include "tests/remote/windows/WindowFixture.h"
#include "tests/support/SerialDevices.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>
#include <filesystem>

using namespace talmar;
using talmar::test::TFakeDevices;
using talmar::test::TPortsFileVar;
using talmar::test::TWindowTest;

namespace {

struct PortsWindow : TWindowTest {
    std::shared_ptr<TFakeDevices> devices = std::make_shared<TFakeDevices>();
    std::string link; // the adapter's udev link, leading to the simulator's line

    TPortsFileVar var{dir.File("ports")};

    void SetUp() override {
        MakeTables("2", "1", {});
        StartLine({{"КП", 1, 1}}, 9); // only reached through the adapter's link, not as COM9
        std::filesystem::create_directories(dir.File("by-id"));
        link = dir.File("by-id/usb-Prolific_PL2303-if00-port0");
        std::filesystem::create_symlink(line->SlavePath(), link);
        Start();
        fTuningCom->SetDevices(devices);
    }

    std::string Panel() const { return w->StatusPanels[1]->text().toStdString(); }
    std::string PanelHint() const { return w->StatusPanels[1]->toolTip().toStdString(); }
    std::vector<std::string> Checked() const {
        std::vector<std::string> out;
        for (QRadioButton* b : fTuningCom->RGCom->findChildren<QRadioButton*>())
            if (b->isChecked())
                out.push_back(b->text().toStdString());
        return out;
    }
};

const TSerialDevice kBuiltIn{"/dev/ttyS1", "", "", "", "", ""};

} // namespace

TEST_F(PortsWindow, AnAdapterIsChosenByItsNameShownAndOpenedUntilUnplugged) {
    devices->devices = {{"/dev/ttyUSB0", "USB-Serial Controller", "Prolific", "X1", link, ""}, kBuiltIn};
    w->N5Click();
    ASSERT_EQ(fTuningCom->DeviceItems.size(), 1u);
    QRadioButton* adapter = fTuningCom->DeviceItems[0];
    const std::string text = "COM5: USB-Serial Controller, Prolific, X1 (ttyUSB0)";
    EXPECT_EQ(adapter->text().toStdString(), text);
    EXPECT_EQ(adapter->toolTip().toStdString(), "COM5: " + line->SlavePath());
    // A screen reader reads the item by the text it shows.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(adapter)->text(QAccessible::Name).toStdString(), text);
    EXPECT_EQ(Checked(), std::vector<std::string>{"COM2"});

    QTest::mouseClick(adapter, Qt::LeftButton, {}, QPoint(6, adapter->height() / 2));
    QTest::mouseClick(fTuningCom->BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(fTuningCom->isVisible());
    EXPECT_EQ(dm->NumCom(), 5);
    EXPECT_EQ(Panel(), "COM5: USB-Serial Controller, Prolific, X1");
    EXPECT_EQ(PanelHint(), "COM5: " + line->SlavePath());

    // The next command talks to the modem behind the adapter.
    w->TBGetInfoClick();
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"ЛТР-20 v3"});

    // Shown again (after a restart the list is made anew): the adapter's item is checked, once.
    w->N5Click();
    ASSERT_EQ(fTuningCom->DeviceItems.size(), 1u);
    EXPECT_EQ(Checked(), std::vector<std::string>{text});
    QTest::mouseClick(fTuningCom->Button1, Qt::LeftButton);

    // Unplugged: the command names the number and the missing device instead of a bare code.
    std::filesystem::remove(link);
    devices->devices = {kBuiltIn};
    host->messages.clear();
    w->TBGetInfoClick();
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].text,
              "Unable to open com port (win error code: 2)\nCOM5: нет устройства " + link +
                  " (USB-Serial Controller, Prolific, X1): адаптер отключён. Подключите его "
                  "или выберите порт в окне \"Выбор COM-порта\".");
    // The window has no item for COM5 now: the last of COM1..COM4 is checked, as for any number
    // beyond the list.
    w->N5Click();
    EXPECT_TRUE(fTuningCom->DeviceItems.empty());
    EXPECT_EQ(Checked(), std::vector<std::string>{"COM4"});
}

TEST_F(PortsWindow, AnAdapterWhoseNumberCannotBeStoredIsNotChosen) {
    devices->devices = {{"/dev/ttyUSB0", "USB-Serial Controller", "Prolific", "X1", link, ""}};
    // The per-user file cannot be written: its folder is a file.
    setenv("TALMAR_PORTS_FILE", dir.File("Pref.db/ports").c_str(), 1);
    w->N5Click();
    ASSERT_EQ(fTuningCom->DeviceItems.size(), 1u);
    fTuningCom->DeviceItems[0]->setChecked(true);
    QTest::mouseClick(fTuningCom->BitBtn1, Qt::LeftButton);
    // Storing 5 would make the next command open /dev/ttyS4.
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].text.rfind(
                  "Порт COM5 не выбран: не удалось записать файл " + dir.File("Pref.db/ports"), 0),
              0u)
        << host->messages[0].text;
    EXPECT_TRUE(fTuningCom->isVisible());
    EXPECT_EQ(dm->NumCom(), 2);
    EXPECT_EQ(Panel(), "COM2");
}
