#pragma once
// The telemechanics system switch without its window: it polls a group of КП for the system
// their modems run (and the firmware version of their AT90S4433 controllers) and switches them
// into another system, over the line at 9600 baud. The КП are the selected rows of the ОРТЕН
// table; every result is stored in its row (SysMode, V4433) and posted.
//
// The window, talmar-cli and the tests drive it through ISwitchWindow (SwitchWindow.h).
//
// A command, poll or switch:
//   - refuses before touching the port or any row when ParamType.db has no address for eSysMode,
//     or when a selected row's controller number (ENumController, the КП's slave address) is
//     empty or outside 0..255: one message names the rows, nothing is sent;
//   - shows "Остановить" on its button, disables the others, closes the port, sets 9600 baud and
//     the port name ("COM" + Pref.NumCom), opens it;
//   - works the selected rows in the table's order, each row made current, set to "under way"
//     (SysMode -1), asked, and given the result;
//   - at its end, on every way out (a stop, an error), gives the port its baud rate back and
//     closes it, posts the edited row, gives the button its caption back and enables every button.

#include "link/Modbus.h"
#include "remote/core/SwitchWindow.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace talmar {

class IHost;
class TComPort;
class TDMTables;
class TTable;
class TValue;

// V4433 while the version is asked, and without a valid reply.
inline constexpr const char* kVersionPending = "выполняю...";
inline constexpr const char* kVersionNone = "----";

// A whole number as typed into an edit (blanks before it, a sign, decimal digits, 32 bits).
// Anything else throws EConvertError "'%s' is not a valid integer value".
int StrToInt(const std::string& text);

// The slave address of a controller number (ENumController): 0..255 only. An empty one would go
// out as address 0, and 300 as 44, reaching another modem: those give nothing.
std::optional<int> SlaveOf(const TValue& controller);

// "2 / 1": successes, then failures.
std::string FormatCounters(int success, int failure);

// The font colour of a TextSysMode cell for the text it shows, as 0xRRGGBB; -1 for a text that
// keeps the grid's own colour (empty).
int SysTextColour(const std::string& text);

enum class TSwitchOutcome {
    Done,    // ran to its end
    Stopped, // "Остановить" was clicked
    Refused, // nothing sent: no eSysMode address, or a selected row with a wrong controller number
    Failed,  // an error ended it (BReadClick / BChangeModeClick have shown it)
    Ignored, // the click only set the stop flag (a command is running)
};

struct TSwitchResult {
    TSwitchOutcome outcome = TSwitchOutcome::Ignored;
    int successCount = 0; // exchanges with a valid reply (a switch counts them too)
    int failureCount = 0; // exchanges without
    int rowsWorked = 0;   // КП worked, counted once per pass
};

class TSystemSwitch {
public:
    // dm: the tables (TDataORTEN, TParamType, Pref). port: the line to the modems. host: message
    // boxes and the event loop. All must outlive the object.
    TSystemSwitch(TDMTables& dm, TComPort& port, IHost& host, ISwitchWindow& window);
    TSystemSwitch(const TSystemSwitch&) = delete;
    TSystemSwitch& operator=(const TSystemSwitch&) = delete;

    // The window's handlers: the command, or a stop while one runs. An error that ends the command
    // (the port, a number typed wrong, the table) is shown through the host after the end steps.
    TSwitchResult BReadClick();
    TSwitchResult BChangeModeClick(TSwitchButton button);

    // The same commands for callers that report errors themselves (talmar-cli): the error leaves
    // as an exception after the end steps have run.
    TSwitchResult Poll();
    TSwitchResult Switch(TSwitchButton button);

    bool Running() const { return running_; }
    bool StopRequested() const { return stopRequested_; }

    // The port name a command opens. Default: "COM" followed by Pref.NumCom.
    void SetPortName(std::function<std::string()> portName) { portName_ = std::move(portName); }

    // The request being built and, after a valid reply, the reply.
    const TFrame& FrameBuf() const { return frameBuf_; }

private:
    class TCommand;
    friend class TCommand;

    TSwitchResult Guarded(TSwitchResult (TSystemSwitch::*command)(TSwitchButton), TSwitchButton button);
    TSwitchResult RunPoll(TSwitchButton button);
    TSwitchResult RunSwitch(TSwitchButton button);
    // Start step 1: a click while a command runs, or on a button reading "Остановить".
    bool ClickStops(TSwitchButton button);
    // Start step 1 and the checks before anything is sent; false (result.outcome says why) when the
    // command does not run.
    bool MayStart(TSwitchButton button, uint16_t& addr, std::vector<std::int64_t>& rows,
                  TSwitchResult& result);
    // Makes the row current with the hourglass shown; false when the row is gone.
    bool EnterRow(std::int64_t rowId);

    // Before anything is sent: the address of eSysMode, or a message and nothing.
    bool SysModeAddress(uint16_t& addr);
    // The selected rows in the table's order, by row id; false (after one message naming them)
    // when a row's controller number cannot be a slave address.
    bool TakeSelection(std::vector<std::int64_t>& rows);
    uint8_t SlaveAddress() const;

    // One exchange with the current row's КП; the request is in frameBuf_.
    bool Exchange(int w, int r);
    // A pause of ETimeOut seconds; a negative or zero value makes none.
    void PauseBetweenRequests();
    void SetField(const char* name, const TValue& value);
    TSwitchRow RowNow(bool versionAsked, bool answered) const;
    void ShowCounters(const TSwitchResult& r);

    TDMTables& dm_;
    TTable& table_;
    TComPort& port_;
    IHost& host_;
    ISwitchWindow& window_;
    std::function<std::string()> portName_;

    bool running_ = false;
    bool stopRequested_ = false;
    TFrame frameBuf_{};
    TCrcReg crcReg_;
};

} // namespace talmar
