// Serial devices under COM numbers of their own: the numbers a list of devices gets across runs,
// plugging and unplugging, the per-user file, and the port opening (or naming) the mapped device.
#include "link/PortMap.h"

#include "link/ComPort.h"
#include "tests/support/Pty.h"
#include "tests/support/SerialDevices.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace talmar;
using talmar::test::ReadFileBytes;
using talmar::test::TFakeDevices;
using talmar::test::TPortsFileVar;
using talmar::test::TPty;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

namespace {

// Adapters as a Linux machine reports them. The FTDI one has a serial number; the CH340 ones have
// none, so udev gives twins the same by-id name and only their socket tells them apart.
TSerialDevice Ftdi(const std::string& node, const std::string& socket) {
    return {node,
            "FT232R USB UART",
            "FTDI",
            "A10K3XYZ",
            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0",
            "/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + socket + ":1.0-port0"};
}
TSerialDevice Ch340(const std::string& node, const std::string& socket) {
    return {node,
            "USB Serial",
            "1a86",
            "",
            "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0",
            "/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + socket + ":1.0-port0"};
}

struct PortMapTest : ::testing::Test {
    TTempDir dir;
    std::string file = dir.File("config/talmar/ports");
    TPortsFileVar var{file};

    // One run of the window or talmar-cli: a fresh map over the file; number -> item text.
    std::map<int, std::string> Listed(const std::vector<TSerialDevice>& devices) {
        TFakeDevices fake;
        fake.devices = devices;
        TPortMap map;
        std::string error;
        std::map<int, std::string> out;
        for (const TPortChoice& c : ListPorts(fake, map, &error))
            EXPECT_TRUE(out.emplace(c.number, c.text).second) << "twice: " << c.number;
        EXPECT_EQ(error, "");
        return out;
    }
};

} // namespace

TEST_F(PortMapTest, AdaptersKeepTheirNumbersAcrossRunsAndReplugs) {
    const TSerialDevice builtIn{"/dev/ttyS0", "", "", "", "", ""};
    const TSerialDevice card{"/dev/ttyS5", "", "", "", "", ""}; // a port of a PCI card
    const auto first = Listed({Ch340("/dev/ttyUSB1", "2"), Ftdi("/dev/ttyUSB0", "1"), builtIn, card});
    const std::map<int, std::string> expected{
        {1, "COM1"},
        {2, "COM2"},
        {3, "COM3"},
        {4, "COM4"},
        {5, "COM5: FT232R USB UART, FTDI, A10K3XYZ (ttyUSB0)"},
        {6, "COM6: ttyS5"}, // /dev/ttyS5 is COM6 as it always was
        {7, "COM7: USB Serial, 1a86 (ttyUSB1)"},
    };
    EXPECT_EQ(first, expected);

    // The next run, the system listing them in another order: the same numbers.
    EXPECT_EQ(Listed({card, Ftdi("/dev/ttyUSB0", "1"), builtIn, Ch340("/dev/ttyUSB1", "2")}), expected);

    // Both unplugged and plugged again the other way round: new nodes, the same numbers. A second
    // CH340 in another socket is another adapter: the next number, not one given before.
    const auto replugged =
        Listed({Ftdi("/dev/ttyUSB1", "1"), Ch340("/dev/ttyUSB0", "2"), Ch340("/dev/ttyUSB2", "3")});
    EXPECT_EQ(replugged.at(5), "COM5: FT232R USB UART, FTDI, A10K3XYZ (ttyUSB1)");
    EXPECT_EQ(replugged.at(7), "COM7: USB Serial, 1a86 (ttyUSB0)");
    EXPECT_EQ(replugged.at(8), "COM8: USB Serial, 1a86 (ttyUSB2)");
    EXPECT_EQ(replugged.count(6), 0u); // the card is gone from the list, its number kept
    EXPECT_EQ(replugged.size(), 7u);

    // The FTDI adapter has a serial number and keeps its number in any socket; only the first
    // CH340 left: still COM7, and a new adapter never gets a number that was given before.
    const auto moved = Listed({Ftdi("/dev/ttyUSB0", "4"), Ch340("/dev/ttyUSB1", "2"),
                               TSerialDevice{"/dev/ttyACM0", "Modem", "", "", "", ""}});
    EXPECT_EQ(moved.at(5), "COM5: FT232R USB UART, FTDI, A10K3XYZ (ttyUSB0)");
    EXPECT_EQ(moved.at(7), "COM7: USB Serial, 1a86 (ttyUSB1)");
    EXPECT_EQ(moved.at(9), "COM9: Modem (ttyACM0)");

    // Each number opens its adapter through the link that follows it.
    EXPECT_EQ(TComPort::ResolveDevice("COM5"),
              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");
    EXPECT_EQ(TComPort::ResolveDevice("COM7"), "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
    EXPECT_EQ(TComPort::ResolveDevice("COM6"), "/dev/ttyS5");
    EXPECT_EQ(TComPort::ResolveDevice("COM9"), "/dev/ttyACM0");
    EXPECT_EQ(TComPort::ResolveDevice("COM2"), "/dev/ttyS1");
    EXPECT_EQ(TComPort::ResolveDevice("COM10"), "/dev/ttyS9"); // no device of its own
    // $TALMAR_COMn still wins.
    setenv("TALMAR_COM5", "/tmp/modem", 1);
    EXPECT_EQ(TComPort::ResolveDevice("COM5"), "/tmp/modem");
    EXPECT_EQ(PortCaption(5), "COM5");
    unsetenv("TALMAR_COM5");
    EXPECT_EQ(PortCaption(5), "COM5: FT232R USB UART, FTDI, A10K3XYZ");
    EXPECT_EQ(PortCaption(2), "COM2");
}

TEST_F(PortMapTest, LinesWrittenByHandAreReadKeptAndAdopted) {
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    WriteFileBytes(file, "# my notes\n"
                         "12 /dev/ttyAMA0\n"
                         "3\t/dev/ttyUSB7\n"
                         "x\t/dev/ttyUSB9\n"
                         "12\t/dev/ttyUSB8\n"
                         "6\t\r\n");
    // COM3 opens what the file says; its item is COM3 (a device under a number up to 4 gets no
    // second item).
    EXPECT_EQ(TComPort::ResolveDevice("COM3"), "/dev/ttyUSB7");
    EXPECT_EQ(TComPort::ResolveDevice("COM12"), "/dev/ttyAMA0");
    EXPECT_EQ(TComPort::ResolveDevice("COM6"), "/dev/ttyS5"); // a line without a device gives none

    const auto listed = Listed({TSerialDevice{"/dev/ttyAMA0", "", "", "", "", ""},
                                TSerialDevice{"/dev/ttyUSB7", "CP2102", "Silicon Labs", "0001", "", ""},
                                TSerialDevice{"/dev/ttyUSB5", "CP2102", "Silicon Labs", "0002", "", ""}});
    EXPECT_EQ(listed.at(3), "COM3");
    EXPECT_EQ(listed.at(12), "COM12: ttyAMA0");
    EXPECT_EQ(listed.at(5), "COM5: CP2102, Silicon Labs, 0002 (ttyUSB5)");
    EXPECT_EQ(listed.size(), 6u);

    // The hand-written lines became entries of their devices; the lines that are no entry stay.
    const std::string text = ReadFileBytes(file);
    EXPECT_NE(text.find("3\t/dev/ttyUSB7\tnode:/dev/ttyUSB7\tCP2102, Silicon Labs, 0001\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("12\t/dev/ttyAMA0\tnode:/dev/ttyAMA0\t\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nx\t/dev/ttyUSB9\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n12\t/dev/ttyUSB8\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("my notes"), std::string::npos) << text;
}

TEST_F(PortMapTest, AFileThatCannotBeWrittenIsReportedAndTheListStillGiven) {
    // The folder of the file is a file: nothing can be written there.
    std::filesystem::create_directories(dir.File("config"));
    WriteFileBytes(dir.File("config/talmar"), "");
    TFakeDevices fake;
    fake.devices = {Ftdi("/dev/ttyUSB0", "1")};
    TPortMap map;
    std::string error;
    const auto choices = ListPorts(fake, map, &error);
    ASSERT_EQ(choices.size(), 5u);
    EXPECT_EQ(choices[4].number, 5);
    EXPECT_TRUE(choices[4].mapped);
    EXPECT_NE(error.find("не удалось записать файл " + file), std::string::npos) << error;
    // Nothing was stored: COM5 opens what it opened before.
    EXPECT_EQ(TComPort::ResolveDevice("COM5"), "/dev/ttyS4");
}

TEST_F(PortMapTest, TheMappedDeviceIsOpenedAndAVanishedOneIsNamed) {
    TPty adapter;
    std::filesystem::create_directories(dir.File("by-id"));
    const std::string link = dir.File("by-id/usb-Prolific_PL2303-if00-port0");
    std::filesystem::create_symlink(adapter.SlavePath(), link);
    // How the system's list finds an adapter's link: the one that leads to its node, the same one
    // each time when udev gives it two.
    TPty other;
    std::filesystem::create_symlink(other.SlavePath(), dir.File("by-id/usb-Another-if00-port0"));
    std::filesystem::create_symlink(adapter.SlavePath(), dir.File("by-id/usb-Prolific_PL2303-if00-port0-v2"));
    EXPECT_EQ(LinkTo(dir.File("by-id"), adapter.SlavePath()), link);
    EXPECT_EQ(LinkTo(dir.File("no-such-folder"), adapter.SlavePath()), "");
    TFakeDevices fake;
    fake.devices = {{"/dev/ttyUSB0", "USB-Serial Controller", "Prolific", "X1", link, ""}};
    TPortMap map;
    std::string error;
    ASSERT_EQ(ListPorts(fake, map, &error).back().number, 5);

    unsetenv("TALMAR_COM5");
    TComPort port;
    port.SetPort("COM5");
    port.Open();
    EXPECT_EQ(port.Device(), adapter.SlavePath());
    port.WriteText("ping");
    EXPECT_EQ(adapter.ReadAvailable(), "ping");
    port.Close();

    // Unplugged: the link is gone. The error names the number, the device and the fix.
    std::filesystem::remove(link);
    try {
        port.Open();
        FAIL() << "opened a device that is gone";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), EComPortCode::OpenFailed);
        EXPECT_EQ(e.WinCode(), kWinFileNotFound);
        EXPECT_EQ(std::string(e.what()),
                  "Unable to open com port (win error code: 2)\nCOM5: нет устройства " + link +
                      " (USB-Serial Controller, Prolific, X1): адаптер отключён. Подключите "
                      "его или выберите порт в окне \"Выбор COM-порта\".");
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(PortHint(5), "COM5: " + link);
}
