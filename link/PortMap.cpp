#include "link/PortMap.h"

#include "link/ComPort.h"

#include <QFile>
#include <QSaveFile>
#include <QSerialPortInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace talmar {

namespace fs = std::filesystem;

namespace {

// The number n of "COMn", or 0.
int ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 7 || name.compare(0, 3, "COM") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos)
        return 0;
    return std::atoi(name.c_str() + 3);
}

// k of /dev/ttyS<k>, or -1.
int BuiltInPort(const std::string& location) {
    const std::string prefix = "/dev/ttyS";
    if (location.size() <= prefix.size() || location.size() > prefix.size() + 4 ||
        location.compare(0, prefix.size(), prefix) != 0 ||
        location.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
        return -1;
    return std::atoi(location.c_str() + prefix.size());
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A field of the file holds no tab and no line break.
std::string FieldText(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return s;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// The number of an entry line, or 0.
int EntryNumber(const std::string& field) {
    if (field.empty() || field.size() > 4 || field.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int n = std::atoi(field.c_str());
    return n <= TPortMap::kLastNumber ? n : 0;
}

std::string NodeOf(const std::string& device) {
    std::error_code ec;
    const fs::path node = fs::canonical(device, ec);
    return ec ? std::string() : node.string();
}

} // namespace

std::vector<TSerialDevice> TSystemSerialDevices::List() const {
    std::vector<TSerialDevice> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        TSerialDevice d;
#ifdef _WIN32
        d.location = info.portName().toStdString();
#else
        d.location = info.systemLocation().toStdString();
        d.byId = LinkTo("/dev/serial/by-id", d.location);
        d.byPath = LinkTo("/dev/serial/by-path", d.location);
#endif
        d.description = info.description().toStdString();
        d.manufacturer = info.manufacturer().toStdString();
        d.serialNumber = info.serialNumber().toStdString();
        out.push_back(std::move(d));
    }
    return out;
}

std::string LinkTo(const std::string& dir, const std::string& node) {
    const std::string target = NodeOf(node);
    if (target.empty())
        return {};
    std::error_code ec;
    std::vector<std::string> links;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (NodeOf(it->path().string()) == target)
            links.push_back(it->path().string());
    // udev may give one node several links in a folder (usb- and usbv2- paths): always the same one.
    std::sort(links.begin(), links.end());
    return links.empty() ? std::string() : links.front();
}

std::string DeviceKey(const TSerialDevice& d) {
    // An adapter with a serial number is told apart from its twins wherever it is plugged in;
    // without one only the socket tells them apart.
    if (!d.serialNumber.empty() && !d.byId.empty())
        return "by-id:" + BaseName(d.byId);
    if (!d.byPath.empty())
        return "by-path:" + BaseName(d.byPath);
    if (!d.byId.empty())
        return "by-id:" + BaseName(d.byId);
    return "node:" + d.location;
}

std::string DeviceToOpen(const TSerialDevice& d) {
    const std::string key = DeviceKey(d);
    if (key.rfind("by-id:", 0) == 0)
        return d.byId;
    if (key.rfind("by-path:", 0) == 0)
        return d.byPath;
    return d.location;
}

std::string DeviceLabel(const TSerialDevice& d) {
    std::string label;
    std::vector<std::string> seen;
    for (const std::string& part : {d.description, d.manufacturer, d.serialNumber}) {
        if (part.empty() || std::find(seen.begin(), seen.end(), part) != seen.end())
            continue;
        seen.push_back(part);
        label += (label.empty() ? "" : ", ") + part;
    }
    return FieldText(label);
}

std::string TPortMap::DefaultPath() {
    if (const char* path = std::getenv("TALMAR_PORTS_FILE"); path && *path)
        return path;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? std::string() : config.toStdString() + "/talmar/ports";
}

TPortMap::TPortMap(std::string path) : path_(std::move(path)) {}

bool TPortMap::Load(std::string& error) {
    entries_.clear();
    otherLines_.clear();
    if (path_.empty())
        return true;
    QFile file(QString::fromStdString(path_));
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = "не удалось прочитать файл " + path_ + ": " + file.errorString().toStdString();
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& raw : lines) {
        std::string line = raw.toStdString();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue; // comments are the file's own header, written anew
        std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() == 1) {
            // A line written by hand with a blank between the number and the device.
            const auto blank = line.find_first_of(" \t");
            const auto device = line.find_first_not_of(" \t", blank);
            if (blank != std::string::npos && device != std::string::npos)
                fields = {line.substr(0, blank), line.substr(device)};
        }
        TPortEntry e;
        e.number = EntryNumber(fields[0]);
        if (fields.size() >= 2)
            e.device = fields[1];
        if (fields.size() >= 3)
            e.key = fields[2];
        if (fields.size() >= 4)
            e.label = fields[3];
        if (e.number == 0 || e.device.empty() || Find(e.number)) {
            otherLines_.push_back(line);
            continue;
        }
        entries_.push_back(std::move(e));
    }
    return true;
}

bool TPortMap::Save(std::string& error) const {
    if (path_.empty()) {
        error = "не найдена папка настроек пользователя (нет HOME)";
        return false;
    }
    std::error_code ec;
    const fs::path folder = fs::path(path_).parent_path();
    if (!folder.empty())
        fs::create_directories(folder, ec);
    std::vector<TPortEntry> sorted = entries_;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    std::string text = "# Тальмар: COM-порты последовательных устройств этого компьютера (USB-адаптеров).\n"
                       "# Пишется окном \"Выбор COM-порта\" и командой talmar-cli ports.\n"
                       "# Строка на номер, поля через табуляцию: номер, устройство, чьё это устройство,"
                       " его название.\n";
    for (const TPortEntry& e : sorted)
        text += std::to_string(e.number) + '\t' + FieldText(e.device) + '\t' + FieldText(e.key) + '\t' +
                FieldText(e.label) + '\n';
    for (const std::string& line : otherLines_)
        text += line + '\n';
    QSaveFile file(QString::fromStdString(path_));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) < 0 ||
        !file.commit()) {
        error = "не удалось записать файл " + path_ + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

const TPortEntry* TPortMap::Find(int number) const {
    for (const TPortEntry& e : entries_)
        if (e.number == number)
            return &e;
    return nullptr;
}

int TPortMap::NumberOf(const TSerialDevice& device, bool& changed) {
    const std::string key = DeviceKey(device);
    const std::string label = DeviceLabel(device);
    auto known = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.key == key; });
    if (known == entries_.end())
        // A line written by hand for this device becomes its entry.
        known = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) {
            return e.key.empty() &&
                   (e.device == device.location || e.device == device.byId || e.device == device.byPath);
        });
    if (known != entries_.end()) {
        if (known->key.empty()) {
            known->key = key;
            changed = true;
        }
        if (!label.empty() && known->label != label) {
            known->label = label;
            changed = true;
        }
        return known->number;
    }

    int number = 0;
    if (const int k = BuiltInPort(device.location); k + 1 >= kFirstNumber && !Find(k + 1))
        number = k + 1;
    // Entries are never taken out of the map: a number not in it was never given.
    for (int n = kFirstNumber; number == 0 && n <= kLastNumber; ++n)
        if (!Find(n))
            number = n;
    if (number == 0)
        return 0;
    entries_.push_back({number, DeviceToOpen(device), key, label});
    changed = true;
    return number;
}

std::vector<TPortChoice> ListPorts(const ISerialDevices& devices, TPortMap& map, std::string* error) {
    std::vector<TPortChoice> out;
    for (int n = 1; n < TPortMap::kFirstNumber; ++n) {
        const std::string name = "COM" + std::to_string(n);
        out.push_back({n, name, TComPort::ResolveDevice(name), false});
    }
    std::string why;
    const bool loaded = map.Load(why);

    std::vector<TSerialDevice> list = devices.List();
    // New devices get their numbers in one order whatever order the system lists them in; the
    // machine's own ports first, so that /dev/ttyS<k> gets k + 1 before an adapter takes it.
    const auto order = [](const TSerialDevice& d) {
        return std::make_pair(BuiltInPort(d.location) < 0, DeviceKey(d));
    };
    std::sort(list.begin(), list.end(), [&](const auto& a, const auto& b) { return order(a) < order(b); });
    bool changed = false;
    struct TFound {
        int number;
        bool mapped;
        const TSerialDevice* device;
    };
    std::vector<TFound> found;
    for (const TSerialDevice& d : list) {
        // A port the system names COMn (Windows) is COMn.
        if (const int n = ComNumber(d.location); n > 0) {
            found.push_back({n, false, &d});
            continue;
        }
        // /dev/ttyS0..3 are COM1..COM4 already.
        if (const int k = BuiltInPort(d.location); k >= 0 && k + 1 < TPortMap::kFirstNumber)
            continue;
        found.push_back({map.NumberOf(d, changed), true, &d});
    }
    for (const TFound& f : found) {
        const bool taken =
            std::any_of(out.begin(), out.end(), [&](const auto& c) { return c.number == f.number; });
        if (f.number < TPortMap::kFirstNumber || taken)
            continue; // an item of its own already (a line written by hand may give a number 1..4)
        const std::string name = "COM" + std::to_string(f.number);
        const std::string label = DeviceLabel(*f.device);
        const std::string node = BaseName(f.device->location);
        std::string text = name + ": " + (label.empty() ? node : label + " (" + node + ")");
        out.push_back({f.number, std::move(text), {}, f.mapped});
    }
    if (!loaded) {
        if (error)
            *error = why;
    } else if (changed && !map.Save(why) && error) {
        *error = why;
    }
    // What each number opens, with the file as it is now.
    for (TPortChoice& c : out)
        if (c.device.empty())
            c.device = TComPort::ResolveDevice("COM" + std::to_string(c.number));
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.number < b.number; });
    return out;
}

std::string MappedDevice(int number) {
    TPortMap map;
    std::string error;
    if (!map.Load(error))
        return {};
    const TPortEntry* e = map.Find(number);
    if (!e)
        return {};
    const std::string node = NodeOf(e->device);
    return node.empty() ? e->device : node;
}

std::string PortCaption(int number) {
    const std::string name = "COM" + std::to_string(number);
    TPortMap map;
    std::string error;
    const TPortEntry* e = map.Load(error) ? map.Find(number) : nullptr;
    // Only while the number opens the device of the file ($TALMAR_COMn wins).
    if (!e || TComPort::ResolveDevice(name) != MappedDevice(number))
        return name;
    return name + ": " + (e->label.empty() ? e->device : e->label);
}

std::string PortHint(int number) {
    const std::string name = "COM" + std::to_string(number);
    return name + ": " + TComPort::ResolveDevice(name);
}

std::string MissingDeviceNote(const std::string& portName) {
    const int number = ComNumber(portName);
    if (number == 0)
        return {};
    TPortMap map;
    std::string error;
    const TPortEntry* e = map.Load(error) ? map.Find(number) : nullptr;
    if (!e || TComPort::ResolveDevice(portName) != MappedDevice(number))
        return {};
    std::error_code ec;
    if (fs::exists(e->device, ec))
        return {};
    std::string note = portName + ": нет устройства " + e->device;
    if (!e->label.empty())
        note += " (" + e->label + ")";
    note += ": адаптер отключён. ";
    if (e->key.rfind("by-path:", 0) == 0)
        note +=
            "Подключите его в то же гнездо USB, что и раньше, или выберите порт в окне \"Выбор COM-порта\".";
    else
        note += "Подключите его или выберите порт в окне \"Выбор COM-порта\".";
    return note;
}

} // namespace talmar
