#pragma once
// Talmar's errors: one family, each error with its kind and the text the user reads.
//
// Library code never shows anything of its own accord. It throws one of the errors below, or it
// returns what the caller must tell: the refusals of a record, the outcome of a job, of a switch.
// The front door that called it (the main window, talmar-cli, a test) tells the user through
// IHost: a message box in the window, a line on the console. what() is the text as it is shown:
// Russian, naming the place and the fix, save the port's and the number conversion's texts,
// which keep the wording engineers know from the old program.
//
//   kind   class          what went wrong                                  text (example)
//   -----  -------------  -----------------------------------------------  ----------------------------------
//   Port   EComPort       the serial port cannot be opened, set up,        "Unable to open com port (win
//   error
//                         written or read (EComPortCode below)             code: 2)" and a line on the fix
//   File   EImageFile     an image file is refused: too long, a field      "строка 3 файла a.rom: поле ..."
//                         cut short
//          EInOutError    a file cannot be opened, read or written         "Не удалось записать файл ..."
//          EHexFormat     a line of an Intel HEX file is malformed         names the file and the line
//   Table  ETableError    a table file cannot be opened, read or written   "... занят другой программой"
//                         (its Fault() says how)
//   Input  EConvertError  text is not a whole number: typed by the         "'12a' is not a valid integer
//                         engineer, or a field of a Generic image file     value"
//                         (then of kind File)
//          EValueError    a value does not fit its column: typed, pasted   names the column and the value
//                         or read from a table
//   Modem  (none)         a silent modem, or one that refuses, is not an exception: the job returns
//                         it (TJobResult::NoAnswer, ::Failed) and logs it; the switch and the line
//                         check report it in their outcome
//
// A fault of the program itself (a request missing from the table of requests, a frame of the
// wrong length) is a std::logic_error or std::invalid_argument, never one of these.

#include <stdexcept>
#include <string>

namespace talmar {

enum class TErrorKind { Port, File, Table, Input, Modem };

class ETalmar : public std::runtime_error {
public:
    ETalmar(TErrorKind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
    TErrorKind Kind() const { return kind_; }

private:
    TErrorKind kind_;
};

// --- Port ------------------------------------------------------------------------------------

// Error codes of the port; the message is the code's text followed by " (win error code: N)"
// where N is the code a Windows user would see for the failure, and, on a line of its own, a note
// on the place and the fix where there is one (a device that is gone).
enum class EComPortCode {
    OpenFailed = 1,        // "Unable to open com port"
    WriteFailed = 2,       // "WriteFile function failed"
    ReadFailed = 3,        // "ReadFile function failed"
    PurgeFailed = 5,       // "PurgeComm function failed"
    SetStateFailed = 7,    // "SetCommState function failed"
    SetTimeoutsFailed = 8, // "SetCommTimeouts failed"
    SetupFailed = 9,       // "SetupComm function failed"
    ClearErrorFailed = 10, // "ClearCommError function failed"
};

class EComPort : public ETalmar {
public:
    EComPort(EComPortCode code, int winCode, const std::string& note = {});
    EComPortCode Code() const { return code_; }
    int WinCode() const { return winCode_; }
    static const char* Text(EComPortCode code);

private:
    EComPortCode code_;
    int winCode_;
};

// --- File ------------------------------------------------------------------------------------

// Every refusal of an image file; the message names the file.
class EImageFile : public ETalmar {
public:
    explicit EImageFile(const std::string& text) : ETalmar(TErrorKind::File, text) {}
};

// A file that cannot be opened, read or written.
class EInOutError : public EImageFile {
public:
    using EImageFile::EImageFile;
};

// A malformed Intel HEX file; the message names the line.
class EHexFormat : public EImageFile {
public:
    using EImageFile::EImageFile;
};

// --- Table -----------------------------------------------------------------------------------

// A table file that cannot be opened, read or written; the text names the file.
class ETableError : public ETalmar {
public:
    enum class TFault { General, Missing, Locked, Damaged, OldFormat, Definition, Closed };

    ETableError(TFault fault, const std::string& text) : ETalmar(TErrorKind::Table, text), fault_(fault) {}
    TFault Fault() const { return fault_; }

private:
    TFault fault_;
};

// --- Input -----------------------------------------------------------------------------------

// Text that is not a whole number: "'$12G4' is not a valid integer value". Typed text is of kind
// Input; a field of a Generic image file is of kind File.
class EConvertError : public ETalmar {
public:
    explicit EConvertError(const std::string& tried, TErrorKind kind = TErrorKind::Input);
};

// A value that cannot be turned into the kind its column holds ("abc" as a whole number, a name
// too long); the text is Russian and names the column and the value.
class EValueError : public ETalmar {
public:
    explicit EValueError(const std::string& text) : ETalmar(TErrorKind::Input, text) {}
};

} // namespace talmar
