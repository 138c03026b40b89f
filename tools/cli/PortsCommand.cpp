#include "PortsCommand.h"

#include "Console.h"
#include "Options.h"
#include "link/PortMap.h"

namespace talmar::cli {

int RunPortsCommand(const ISerialDevices& devices, TConsole& console) {
    TPortMap map;
    std::string error;
    for (const TPortChoice& c : ListPorts(devices, map, &error)) {
        const std::string name = "COM" + std::to_string(c.number);
        std::string line = name + '\t' + c.device;
        // The window's text after "COMn: ": the device's name.
        if (c.text.size() > name.size() + 2)
            line += '\t' + c.text.substr(name.size() + 2);
        console.Result(line);
    }
    if (!error.empty()) {
        console.Message("Номера адаптеров не сохранены (" + error +
                        "): в другой раз они могут быть другими.");
        return kExitUsage;
    }
    return kExitDone;
}

} // namespace talmar::cli
