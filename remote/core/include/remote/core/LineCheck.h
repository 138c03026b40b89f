#pragma once
// Checking a line of КП against the tables, without a window: for each settings record asked, the
// EEPROM image programming would put into its modem is built (nothing written, the record left as
// it is), every byte of it is read from the КП over the line at 9600 baud, one 0xE3 request per
// address, addressed by the record's controller number, and compared. A repair writes the bytes
// found differing with 0x1E, one per request, and reads each back.
//
// A command:
//   - refuses before touching the port when a КП's controller number (ENumController, its slave
//     address) is empty or outside 0..255: one message names them, nothing is sent;
//   - closes the port, sets 9600 baud and the port name ("COM" + Pref.NumCom), opens it;
//   - works the КП in the order given: a record that programming would refuse (validation, a
//     value the encoding cannot hold) is reported with that refusal and not read; a КП that fails
//     a read is given up at that read ("не отвечает") and the next one is worked;
//   - never writes eSysMode (the system switch changes systems) nor the bytes of ENumController
//     (they would move the КП to another address): their differences are reported only;
//   - writes nothing without the view's confirmation naming the КП and the number of bytes;
//   - after the exchange under way, ends when the stop is requested;
//   - on every way out gives the port its baud rate back and closes it.
//
// Every call comes on the user-interface thread; waits pass in the event loop.

#include "link/Modbus.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace talmar {

class IHost;
class TComPort;
class TDMTables;
class TTable;

enum class TKpVerdict {
    Matching,    // "совпадают"
    Differing,   // "различий N"
    NoAnswer,    // "не отвечает"
    Refused,     // programming would refuse the record: not read
    Repaired,    // "исправлен": every byte written read back equal
    NotRepaired, // a repair left differences ("не исправлен")
    Stopped,     // the stop came before the КП was checked to its end
};

// One parameter whose bytes differ, in the unit the table stores it where the bytes can be read
// as a value, else as image lines ("0033:0A 0034:04").
struct TParamDifference {
    std::string nameRus;
    std::string nameEng;
    uint16_t addr = 0; // its first byte
    std::string tableValue;
    std::string modemValue;
    bool writable = true; // false for eSysMode and ENumController: repair leaves them
};

struct TByteDifference {
    uint16_t addr = 0;
    uint8_t table = 0;
    uint8_t modem = 0;
    bool writable = true;
};

struct TKpCheck {
    std::int64_t rowId = 0;
    std::string name; // NameKP
    int controller = 0;
    TKpVerdict verdict = TKpVerdict::Stopped;
    std::string refusal; // Refused: the message programming would show
    int bytesTotal = 0;  // bytes of the image (one per address)
    int bytesRead = 0;
    std::vector<TParamDifference> differences;
    std::vector<TByteDifference> bytes;
    int bytesWritten = 0; // by a repair
    // The line the command-line tool prints and the log takes: "совпадают", "различий 2", ...
    std::string Summary() const;
};

enum class TCheckOutcome {
    Done,    // ran to its end
    Stopped, // the stop was requested
    Refused, // nothing sent: a controller number that is no slave address
    Ignored, // a command runs already
};

struct TCheckResult {
    TCheckOutcome outcome = TCheckOutcome::Ignored;
    std::vector<TKpCheck> kps;
    int Count(TKpVerdict verdict) const;
};

// What a КП's outcome reads as: the line of the КП ("КП-1 (N МКД 21): различий 2") and one
// indented line per differing parameter; the log line ("Сверка настроек КП \"КП-1\" (N МКД 21):
// совпадают", without its date); the summary of a command.
std::vector<std::string> CheckReportLines(const TKpCheck& kp);
std::string CheckLogLine(const TKpCheck& kp);
std::string CheckSummary(const TCheckResult& result);

// What the check needs of its window (or of talmar-cli, or of a test).
class ILineCheckView {
public:
    virtual ~ILineCheckView() = default;
    // Handle what is pending (paint, a click on "Остановить"), then return at once.
    virtual void ProcessMessages() = 0;
    // The pause between КП; keeps the window painted, does not use the processor.
    virtual void Wait(std::int64_t ms) = 0;
    // Bytes read (and written) so far over the bytes the command will read at most.
    virtual void Progress(int /*done*/, int /*total*/) {}
    virtual void KpStarted(const TKpCheck& /*kp*/) {}
    virtual void KpDone(const TKpCheck& /*kp*/) {}
    // Before a repair writes: true to write `bytes` bytes into the КП.
    virtual bool ConfirmRepair(const TKpCheck& kp, int bytes) = 0;
};

class TLineCheck {
public:
    TLineCheck(TDMTables& dm, TComPort& port, IHost& host, ILineCheckView& view);
    TLineCheck(const TLineCheck&) = delete;
    TLineCheck& operator=(const TLineCheck&) = delete;

    // Checks (and with repair, repairs) the records of table (TDataLF, TDataLT or TDataORTEN)
    // with these row ids, in the order given, pausing pauseMs between КП. The table's current
    // record is moved. Errors of the port and the tables leave as exceptions after the port is
    // restored.
    TCheckResult Run(TTable& table, const std::vector<std::int64_t>& rowIds, bool repair,
                     std::int64_t pauseMs);

    void RequestStop() { stopRequested_ = running_; }
    bool Running() const { return running_; }
    bool StopRequested() const { return stopRequested_; }

    // The port name a command opens. Default: "COM" followed by Pref.NumCom.
    void SetPortName(std::function<std::string()> portName) { portName_ = std::move(portName); }

private:
    class TSession;

    // Whether the controller numbers of the rows are slave addresses; a message names those that
    // are not.
    bool ControllersOk(TTable& table, const std::vector<std::int64_t>& rowIds);
    void CheckKp(TTable& table, TKpCheck& kp, bool repair, int& done, int& total);
    // One 0xE3 read of addr; false when the КП gave no valid reply.
    bool ReadByte(uint8_t slave, uint16_t addr, uint8_t& value);
    bool WriteByte(uint8_t slave, uint16_t addr, uint8_t value);

    TDMTables& dm_;
    TComPort& port_;
    IHost& host_;
    ILineCheckView& view_;
    std::function<std::string()> portName_;
    bool running_ = false;
    bool stopRequested_ = false;
    TFrame frameBuf_{};
    TCrcReg crcReg_;
};

} // namespace talmar
