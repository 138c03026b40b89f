// The Windows test programs link the framing and the exchanges of link/, but the port underneath
// is Qt's serial port, which this build has not. Nothing here opens a port through it: every call
// that would is refused loudly instead of doing nothing.
#include "base/Host.h"
#include "link/ComPort.h"
#include "link/Modbus.h"

#include <stdexcept>

namespace talmar {

namespace {

[[noreturn]] void NoPort() {
    throw std::logic_error("the port layer is not part of the Windows test build");
}

} // namespace

void TComPort::Open() {
    NoPort();
}
void TComPort::Close() {
    NoPort();
}
void TComPort::ClearBuffers(bool, bool) {
    NoPort();
}
void TComPort::AbortTransfers() {
    NoPort();
}
int TComPort::WriteBlock(const uint8_t*, int) {
    NoPort();
}
int TComPort::ReadBlock(uint8_t*, int) {
    NoPort();
}
void TComPort::Pause(int) {
    NoPort();
}
void Pause(IHost&, int) {
    NoPort();
}

} // namespace talmar
