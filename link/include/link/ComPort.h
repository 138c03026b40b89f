#pragma once
// The serial port to the modem. One object per line, owned by whoever drives the line (the main
// window, the command-line tool, a test). Writes block until the driver has taken every byte;
// reads block until the reply is complete by the modem rules below. Only the calling thread
// touches the port.
//
// Read completion: a read ends at the first of
//   - the requested count received;
//   - 20 ms of quiet after a received byte (a reply never pauses that long on a healthy line);
//   - 20 ms per requested byte + 8000 ms since the call (no answer at all).
// Ending by a time-out is not an error: the caller looks at the count.

#include "base/Errors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class QSerialPort;

namespace talmar {

enum TBaudRate { br9600, br38400 };

int BaudRateValue(TBaudRate rate);

// System error numbers as Windows reports them.
inline constexpr int kWinFileNotFound = 2;
inline constexpr int kWinAccessDenied = 5;
inline constexpr int kWinInvalidHandle = 6;

class TComPort {
public:
    static constexpr int kInputSize = 64;
    static constexpr int kOutputSize = 64;
    static constexpr int kReadIntervalMs = 20;
    static constexpr int kReadTotalMultiplierMs = 20;
    static constexpr int kReadTotalConstantMs = 8000;

    TComPort();
    ~TComPort();
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    // "COMn". Setting another name while open closes the device and opens the new one.
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& name);

    // Setting another rate while open applies it to the line at once.
    TBaudRate BaudRate() const { return baud_; }
    void SetBaudRate(TBaudRate rate);

    bool Connected() const;

    // The device a port name opens: $TALMAR_COMn when set, otherwise the device the per-user
    // file of serial devices gives the number (link/PortMap.h), otherwise /dev/ttyS<n-1>.
    static std::string ResolveDevice(const std::string& portName);
    std::string Device() const { return ResolveDevice(port_); }

    void Open();  // already open: nothing happens
    void Close(); // already closed: nothing happens
    void ClearBuffers(bool input, bool output);
    void AbortTransfers();

    int WriteBlock(const uint8_t* data, int count);
    int WriteText(const std::string& bytes);
    int ReadBlock(uint8_t* buffer, int count);
    std::string ReadText(int count);

    int WaitingInput();  // bytes received and not yet read
    int WaitingOutput(); // bytes not yet sent on the line

    // The Qt object underneath, for waiting on its events; null while closed.
    QSerialPort* Serial() const;

    // A watcher of the line's bytes (a trace of requests and replies): called with each block
    // once it is written (out) and with each completed read, also one that got nothing. Unset,
    // the port does not look for it beyond one test per block.
    using TTrace = std::function<void(bool out, const uint8_t* data, int count)>;
    void SetTrace(TTrace trace) { trace_ = std::move(trace); }

    // Called about every kIdleSliceMs while a read waits for its first byte (a silent modem keeps
    // a read waiting for seconds), so that a window can repaint meanwhile. It must not touch the
    // port or start a command.
    static constexpr int kIdleSliceMs = 50;
    void SetIdle(std::function<void()> idle) { idle_ = std::move(idle); }
    const std::function<void()>& Idle() const { return idle_; }

    // A fixed pause between steps of an exchange (the modem getting ready). Blocks for ms; with
    // an idle handler set, the handler runs about every kIdleSliceMs meanwhile, as in a read.
    void Pause(int ms);

private:
    void ApplyLineSettings();
    int DriverInput() const;
    int DriverOutput() const;
    void DrainOutput() const;

    std::string port_ = "COM2";
    TBaudRate baud_ = br38400;
    std::unique_ptr<QSerialPort> serial_;
    TTrace trace_;
    std::function<void()> idle_;
};

} // namespace talmar
