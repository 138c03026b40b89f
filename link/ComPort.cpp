#include "link/ComPort.h"

#include "link/PortMap.h"

#include <QSerialPort>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#ifdef _WIN32
#include "base/WinApi.h"
#else
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace talmar {

namespace {

using Clock = std::chrono::steady_clock;

// Windows' "the request is not supported": the fallback when the system gives no error number.
constexpr int kWinGeneralFailure = 31;

#ifdef _WIN32

// The code Windows gave for the failed call, as the message names it.
int LastOsError() {
    const DWORD err = GetLastError();
    return err != 0 ? static_cast<int>(err) : kWinGeneralFailure;
}

void ClearOsError() {
    SetLastError(0);
}

#else

int LastOsError() {
    return errno != 0 ? errno : kWinGeneralFailure;
}

void ClearOsError() {
    errno = 0;
}

#endif

} // namespace

int BaudRateValue(TBaudRate rate) {
    return rate == br9600 ? 9600 : 38400;
}

TComPort::TComPort() = default;

TComPort::~TComPort() {
    try {
        Close();
    } catch (...) {
        // Closing at destruction has nobody to report to; the descriptor is released either way.
    }
}

std::string TComPort::ResolveDevice(const std::string& portName) {
    if (portName.size() > 3 && portName.compare(0, 3, "COM") == 0 &&
        portName.find_first_not_of("0123456789", 3) == std::string::npos) {
#ifdef _WIN32
        return "\\\\.\\" + portName;
#else
        const std::string var = "TALMAR_" + portName;
        if (const char* dev = std::getenv(var.c_str()); dev && *dev)
            return dev;
        const long n = std::strtol(portName.c_str() + 3, nullptr, 10);
        // A serial device chosen in the COM-port window under a number of its own.
        if (std::string mapped = MappedDevice(static_cast<int>(n)); !mapped.empty())
            return mapped;
        return "/dev/ttyS" + std::to_string(n - 1);
#endif
    }
    return portName; // a device path given as it is
}

bool TComPort::Connected() const {
    return serial_ && serial_->isOpen();
}

QSerialPort* TComPort::Serial() const {
    return Connected() ? serial_.get() : nullptr;
}

void TComPort::SetPort(const std::string& name) {
    if (name == port_)
        return;
    port_ = name;
    if (Connected()) {
        Close();
        Open();
    }
}

void TComPort::SetBaudRate(TBaudRate rate) {
    if (rate == baud_)
        return;
    baud_ = rate;
    ClearOsError(); // the code of this failure, not of an earlier one
    if (Connected() && !serial_->setBaudRate(BaudRateValue(baud_)))
        throw EComPort(EComPortCode::SetStateFailed, LastOsError());
}

void TComPort::ApplyLineSettings() {
    // 8 data bits, no parity, one stop bit, no flow control of any kind.
    serial_->setBaudRate(BaudRateValue(baud_));
    serial_->setDataBits(QSerialPort::Data8);
    serial_->setParity(QSerialPort::NoParity);
    serial_->setStopBits(QSerialPort::OneStop);
    serial_->setFlowControl(QSerialPort::NoFlowControl);
}

void TComPort::Open() {
    if (Connected())
        return;
    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(Device()));
    serial_ = std::move(serial);
    ApplyLineSettings();
    ClearOsError();
    if (!serial_->open(QIODevice::ReadWrite)) {
        const auto error = serial_->error();
        const int os = LastOsError();
        serial_.reset();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            throw EComPort(EComPortCode::OpenFailed, kWinFileNotFound, MissingDeviceNote(port_));
        case QSerialPort::PermissionError:
        case QSerialPort::OpenError:
            throw EComPort(EComPortCode::OpenFailed, kWinAccessDenied);
        case QSerialPort::UnsupportedOperationError:
            throw EComPort(EComPortCode::SetStateFailed, os);
        default:
            throw EComPort(EComPortCode::OpenFailed, os);
        }
    }
    // DTR and RTS held off. A pseudo-terminal has no modem lines and refuses; that is harmless.
    serial_->setDataTerminalReady(false);
    serial_->setRequestToSend(false);
    serial_->clearError();
}

void TComPort::Close() {
    if (!Connected()) {
        serial_.reset();
        return;
    }
    serial_->clear(QSerialPort::AllDirections);
    serial_->close();
    serial_.reset();
}

void TComPort::ClearBuffers(bool input, bool output) {
    if (!Connected())
        throw EComPort(EComPortCode::PurgeFailed, kWinInvalidHandle);
    QSerialPort::Directions dirs;
    if (input)
        dirs |= QSerialPort::Input;
    if (output)
        dirs |= QSerialPort::Output;
    if (dirs && !serial_->clear(dirs))
        throw EComPort(EComPortCode::PurgeFailed, LastOsError());
}

void TComPort::AbortTransfers() {
    // Our reads and writes complete before they return, so there is never a transfer in
    // flight to abort; only the handle must be valid.
    if (!Connected())
        throw EComPort(EComPortCode::PurgeFailed, kWinInvalidHandle);
}

int TComPort::WriteBlock(const uint8_t* data, int count) {
    if (!Connected())
        throw EComPort(EComPortCode::WriteFailed, kWinInvalidHandle);
    if (count <= 0)
        return 0;
    ClearOsError();
    if (serial_->write(reinterpret_cast<const char*>(data), count) != count)
        throw EComPort(EComPortCode::WriteFailed, LastOsError());
    // No write time-out: the call returns once the driver has taken every byte.
    while (serial_->bytesToWrite() > 0) {
        if (!serial_->waitForBytesWritten(-1))
            throw EComPort(EComPortCode::WriteFailed, LastOsError());
    }
    DrainOutput();
    if (trace_)
        trace_(true, data, count);
    return count;
}

int TComPort::WriteText(const std::string& bytes) {
    return WriteBlock(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
}

int TComPort::ReadBlock(uint8_t* buffer, int count) {
    if (!Connected())
        throw EComPort(EComPortCode::ReadFailed, kWinInvalidHandle);
    if (count <= 0)
        return 0;
    using std::chrono::milliseconds;
    const auto deadline = Clock::now() + milliseconds(kReadTotalMultiplierMs * count + kReadTotalConstantMs);
    int got = 0;
    Clock::time_point lastByte;
    auto take = [&] {
        const qint64 n = serial_->read(reinterpret_cast<char*>(buffer) + got, count - got);
        if (n < 0)
            throw EComPort(EComPortCode::ReadFailed, LastOsError());
        if (n > 0)
            lastByte = Clock::now();
        got += static_cast<int>(n);
    };
    take();
    while (got < count) {
        // Before the first byte only the total limit runs; after it, 20 ms of quiet ends the read.
        auto limit = deadline;
        if (got > 0)
            limit = std::min(limit, lastByte + milliseconds(kReadIntervalMs));
        const auto now = Clock::now();
        if (now >= limit)
            break;
        auto wait = std::chrono::ceil<milliseconds>(limit - now).count();
        const bool idle = idle_ && got == 0;
        if (idle)
            wait = std::min<long long>(wait, kIdleSliceMs);
        ClearOsError();
        if (!serial_->waitForReadyRead(static_cast<int>(wait))) {
            if (serial_->error() != QSerialPort::TimeoutError && serial_->error() != QSerialPort::NoError)
                throw EComPort(EComPortCode::ReadFailed, LastOsError());
            serial_->clearError();
            if (idle)
                idle_();
        }
        take();
    }
    if (trace_)
        trace_(false, buffer, got);
    return got;
}

void TComPort::Pause(int ms) {
    using std::chrono::milliseconds;
    const auto end = Clock::now() + milliseconds(std::max(ms, 0));
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        auto slice = std::chrono::ceil<milliseconds>(end - now);
        if (idle_)
            slice = std::min(slice, milliseconds(kIdleSliceMs));
        std::this_thread::sleep_for(slice);
        if (idle_)
            idle_();
    }
}

std::string TComPort::ReadText(int count) {
    std::string s(static_cast<size_t>(std::max(count, 0)), '\0');
    const int n = ReadBlock(reinterpret_cast<uint8_t*>(s.data()), count);
    s.resize(static_cast<size_t>(n));
    return s;
}

#ifdef _WIN32

// The driver's queues as ClearCommError counts them; the call also clears a line error, which
// nothing here looks at.
int TComPort::DriverInput() const {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(serial_->handle(), &errors, &stat))
        throw EComPort(EComPortCode::ClearErrorFailed, LastOsError());
    return static_cast<int>(stat.cbInQue);
}

int TComPort::DriverOutput() const {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(serial_->handle(), &errors, &stat))
        throw EComPort(EComPortCode::ClearErrorFailed, LastOsError());
    return static_cast<int>(stat.cbOutQue);
}

// Returns when the driver has put the last byte on the line. A device that cannot tell is
// taken as drained: the bytes have left the program either way.
void TComPort::DrainOutput() const {
    FlushFileBuffers(serial_->handle());
}

#else

int TComPort::DriverInput() const {
    int n = 0;
    if (::ioctl(static_cast<int>(serial_->handle()), FIONREAD, &n) != 0)
        throw EComPort(EComPortCode::ClearErrorFailed, LastOsError());
    return n;
}

int TComPort::DriverOutput() const {
    int n = 0;
    if (::ioctl(static_cast<int>(serial_->handle()), TIOCOUTQ, &n) != 0)
        throw EComPort(EComPortCode::ClearErrorFailed, LastOsError());
    return n;
}

// Returns when the driver has put the last byte on the line. A pseudo-terminal that cannot tell
// is taken as drained: the bytes have left the program either way.
void TComPort::DrainOutput() const {
    ::tcdrain(static_cast<int>(serial_->handle()));
}

#endif

int TComPort::WaitingInput() {
    if (!Connected())
        throw EComPort(EComPortCode::ClearErrorFailed, kWinInvalidHandle);
    return static_cast<int>(serial_->bytesAvailable()) + DriverInput();
}

int TComPort::WaitingOutput() {
    if (!Connected())
        throw EComPort(EComPortCode::ClearErrorFailed, kWinInvalidHandle);
    return static_cast<int>(serial_->bytesToWrite()) + DriverOutput();
}

} // namespace talmar
