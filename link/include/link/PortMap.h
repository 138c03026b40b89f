#pragma once
// Serial devices under COM numbers. COM1..COM4 are the machine's own ports (/dev/ttyS0..3). Every
// other serial device the system reports (a USB adapter above all) gets a COM number of its own
// from 5 up, kept in a small per-user file so that the number stays the same from run to run and
// the window and talmar-cli open the same device under it:
//
//   $TALMAR_PORTS_FILE, else $XDG_CONFIG_HOME/talmar/ports, else ~/.config/talmar/ports
//
// One line per number, fields separated by a tab (UTF-8, "#" starts a comment):
//
//   5<TAB>/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0<TAB>by-id:usb-FTDI_...<TAB>FT232R
//   USB UART, FTDI, A10K3XYZ number  device it opens                                             whose number
//   it is    what the system calls it
//
// A number once given stays with its device and is never given to another one. The device is the
// udev link of the adapter where there is one: by-id for an adapter with a serial number (it keeps
// its number in any socket), by-path otherwise (the number belongs to the socket). A line of a
// number and a device only may be written by hand.

#include <string>
#include <vector>

namespace talmar {

// One serial device as the system reports it.
struct TSerialDevice {
    std::string location;     // the device node, /dev/ttyUSB0 (on Windows the port name, COM7)
    std::string description;  // "FT232R USB UART"
    std::string manufacturer; // "FTDI"
    std::string serialNumber; // "A10K3XYZ"
    std::string byId;         // the link to the node in /dev/serial/by-id, or empty
    std::string byPath;       // the link to the node in /dev/serial/by-path, or empty
};

// Where the serial devices come from: the system, or a list a test fills.
class ISerialDevices {
public:
    virtual ~ISerialDevices() = default;
    virtual std::vector<TSerialDevice> List() const = 0;
};

// The machine's serial devices as Qt's serial port info reports them, with their udev links.
class TSystemSerialDevices final : public ISerialDevices {
public:
    std::vector<TSerialDevice> List() const override;
};

// The link in dir that leads to the device node, or empty (also when dir does not exist).
std::string LinkTo(const std::string& dir, const std::string& node);

// Who a number belongs to ("by-id:NAME", "by-path:NAME", "node:/dev/ttyUSB0"), the device the
// number opens, and the name shown for it ("FT232R USB UART, FTDI, A10K3XYZ", or empty).
std::string DeviceKey(const TSerialDevice& device);
std::string DeviceToOpen(const TSerialDevice& device);
std::string DeviceLabel(const TSerialDevice& device);

struct TPortEntry {
    int number = 0;
    std::string device; // what "COMn" opens
    std::string key;    // whose number it is; empty on a line written by hand
    std::string label;  // the device's name when it was last seen
};

// The per-user file in memory.
class TPortMap {
public:
    static constexpr int kFirstNumber = 5; // COM1..COM4 are the machine's own ports
    static constexpr int kLastNumber = 9999;

    static std::string DefaultPath();
    explicit TPortMap(std::string path = DefaultPath());

    const std::string& Path() const { return path_; }
    // A missing file is an empty map. False with the reason when the file cannot be read.
    bool Load(std::string& error);
    // Writes the whole file anew (the folder is made when missing). False with the reason.
    bool Save(std::string& error) const;

    const TPortEntry* Find(int number) const;
    const std::vector<TPortEntry>& Entries() const { return entries_; }

    // The number of a device: the one given to it before (its device and name brought up to
    // date), or a new one: /dev/ttyS<k> takes k + 1 when that is free, anything else the lowest
    // number from 5 never given. 0 when all are taken. changed is set when the map changed.
    int NumberOf(const TSerialDevice& device, bool& changed);

private:
    std::string path_;
    std::vector<TPortEntry> entries_;
    std::vector<std::string> otherLines_; // lines that are no entry, kept as they are
};

// One item of the COM-port window.
struct TPortChoice {
    int number = 0;
    std::string text;    // the item's text: "COM1"; "COM5: FT232R USB UART, FTDI, A10K3XYZ (ttyUSB0)"
    std::string device;  // what the number opens on this machine now
    bool mapped = false; // the number comes from the per-user file
};

// What the COM-port window offers: COM1..COM4, then the machine's other serial devices under their
// numbers, by number. New numbers go to the per-user file at once, so that the next listing
// gives the same; when the file cannot be written the list is still given, with the reason in
// error (when error is not null).
std::vector<TPortChoice> ListPorts(const ISerialDevices& devices, TPortMap& map,
                                   std::string* error = nullptr);

// The device the per-user file gives a number ("" when it gives none): the node the link leads to
// while the device is there, the link itself once it is gone.
std::string MappedDevice(int number);

// The main window's port panel: "COM3", or "COM5: FT232R USB UART, FTDI, A10K3XYZ" for a device of
// the per-user file.
std::string PortCaption(int number);
// Its tool tip, and the tool tip of an item of the COM-port window: "COM3: /dev/ttyS2".
std::string PortHint(int number);

// For a port name whose number the per-user file gives a device that is not there: a sentence
// naming the number and the missing device and what to do. Empty otherwise.
std::string MissingDeviceNote(const std::string& portName);

} // namespace talmar
