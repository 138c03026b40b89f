#pragma once
// Serial devices as a test wants them: a device list the test fills, and the per-user file of
// device numbers pointed at a file of the test's own.

#include "link/PortMap.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace talmar::test {

struct TFakeDevices : ISerialDevices {
    std::vector<TSerialDevice> devices;
    std::vector<TSerialDevice> List() const override { return devices; }
};

// $TALMAR_PORTS_FILE set to path for the life of the object, then put back.
class TPortsFileVar {
public:
    explicit TPortsFileVar(const std::string& path) {
        if (const char* v = std::getenv("TALMAR_PORTS_FILE"))
            old_ = v;
        setenv("TALMAR_PORTS_FILE", path.c_str(), 1);
    }
    ~TPortsFileVar() {
        if (old_)
            setenv("TALMAR_PORTS_FILE", old_->c_str(), 1);
        else
            unsetenv("TALMAR_PORTS_FILE");
    }
    TPortsFileVar(const TPortsFileVar&) = delete;
    TPortsFileVar& operator=(const TPortsFileVar&) = delete;

private:
    std::optional<std::string> old_;
};

} // namespace talmar::test
