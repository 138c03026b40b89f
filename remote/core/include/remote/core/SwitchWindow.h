#pragma once
// What the telemechanics system switch (TSystemSwitch) needs of its window. The window
// TFChangeSystem implements it with its widgets; talmar-cli implements it over its command line;
// the tests implement it by recording. The switch never sees a widget.
//
// How the window drives the switch:
//   - BReadClick and the three switch buttons' handlers call TSystemSwitch::BReadClick() and
//     TSystemSwitch::BChangeModeClick(button). A command runs to its end inside that call.
//   - While it runs, the switch calls ProcessMessages() at its named points and Wait() for its
//     pauses; a click on the button that reads "Остановить" arrives there as a second call of the
//     same handler, which sees the caption, sets the stop flag and returns at once. The command
//     acts on the flag at its next check; a pause or an exchange under way is not cut short.
//   - During an exchange the switch blocks on the port. The port's idle hook (TComPort::SetIdle,
//     set by the port's owner, the main window) keeps the window painted while a silent КП keeps
//     the read waiting; input that comes meanwhile waits in the queue for the next
//     ProcessMessages(). The 100 ms before each request pass in the event loop through IHost.
//   - A request to close the window while TSystemSwitch::Running() takes effect when the handler
//     has returned.
//   - Message boxes (refusals, and the error that ends a command) go through IHost::ShowMessage.
//
// Every call below comes on the user-interface thread, from inside a handler of the window.

#include "store/Value.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace talmar {

// The window's command buttons, and the system code each switch button sends.
enum class TSwitchButton { BRead, BGoFrec, BGoTime, BGoORTEN };
inline constexpr std::array<TSwitchButton, 4> kSwitchButtons = {
    TSwitchButton::BRead, TSwitchButton::BGoFrec, TSwitchButton::BGoTime, TSwitchButton::BGoORTEN};
// The component name of a button ("BGoTime"), and its system code: BGoFrec 1, BGoTime 2,
// BGoORTEN 3, BRead 0.
const char* SwitchButtonName(TSwitchButton button);
int SwitchButtonCode(TSwitchButton button);

// Captions of the buttons when no command runs, and of the running command's button.
inline constexpr const char* kCaptionBRead = "Опросить выделенные КП";
inline constexpr const char* kCaptionBGoFrec = "Перевести выделенные КП в частотную";
inline constexpr const char* kCaptionBGoTime = "Перевести выделенные КП во временную";
inline constexpr const char* kCaptionBGoORTEN = "Перевести выделенные КП в ОРТЕН";
inline constexpr const char* kCaptionStop = "Остановить";
const char* SwitchButtonCaption(TSwitchButton button);

// One КП whose work in the current pass is over: what its row holds now.
struct TSwitchRow {
    std::int64_t rowId = 0;
    std::string name;    // NameKP
    TValue controller;   // ENumController
    TValue sysMode;      // SysMode: the code read or set, 0 without a valid reply
    std::string sysText; // TextSysMode
    bool versionAsked = false;
    std::string version;   // V4433 when versionAsked: the text, or "----"
    bool answered = false; // every exchange with this КП in this pass got a valid reply
};

class ISwitchWindow {
public:
    virtual ~ISwitchWindow() = default;

    // ---- the command buttons (BRead, BGoFrec, BGoTime, BGoORTEN)
    // The caption as the window shows it now. The switch remembers the clicked button's caption,
    // shows "Остановить" on it while the command runs and gives it back at the end.
    virtual std::string ButtonCaption(TSwitchButton button) const = 0;
    virtual void SetButtonCaption(TSwitchButton button, const std::string& caption) = 0;
    // The other buttons are disabled while a command runs and every button is enabled at its
    // end. The grid, the edits and the check box stay usable.
    virtual void SetButtonEnabled(TSwitchButton button, bool enabled) = 0;

    // ---- what the user set, read at the moment the command needs it (the user may change it
    // while a command runs)
    virtual std::string CountText() const = 0;   // ECount: passes of a poll, as typed
    virtual std::string TimeOutText() const = 0; // ETimeOut: seconds of each pause, as typed
    virtual bool VersionChecked() const = 0;     // CBv4433: also ask each КП for its version
    // The rows selected in the grid, by row identity (TTable::RowId / RowIdAt), in any order.
    // Read once at the start of a switch and of each pass of a poll.
    virtual std::vector<std::int64_t> SelectedRowIds() const = 0;

    // ---- what the command shows
    // LbSuccess: the poll's counters as "S / F".
    virtual void ShowCounters(const std::string& text) = 0;
    // The hourglass while a КП is asked, the default cursor otherwise.
    virtual void SetBusyCursor(bool busy) = 0;
    // Handle the messages that are pending (paint, a click on "Остановить"), then return at once.
    virtual void ProcessMessages() = 0;
    // A pause of ms milliseconds between requests. It must keep the window painted and let a
    // click on "Остановить" register, and must not use the processor while it waits
    // (Pause(IHost&, int) in link/Modbus.h does all that). It is never cut short.
    virtual void Wait(std::int64_t ms) = 0;
    // A КП's work in the pass is over (its row is stored, not yet posted). The window shows the
    // row through the table already and needs nothing here; the command-line tool prints it.
    virtual void RowWorked(const TSwitchRow& /*row*/) {}
};

} // namespace talmar
