#include "remote/core/SystemSwitch.h"

#include "base/Host.h"
#include "base/ImageFile.h"
#include "link/ComPort.h"
#include "link/SwitchFrames.h"
#include "store/DMTables.h"
#include "store/Table.h"

#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <unordered_set>

namespace talmar {

namespace {

constexpr const char* kSysModeParam = "eSysMode";
constexpr int kMaxSlaveAddress = 255;

bool IsEditing(const TTable& t) {
    return t.State() == TTableState::Edit || t.State() == TTableState::Insert;
}

} // namespace

std::optional<int> SlaveOf(const TValue& controller) {
    if (controller.IsNull())
        return std::nullopt;
    try {
        const std::int64_t n = controller.AsInteger();
        if (n >= 0 && n <= kMaxSlaveAddress)
            return static_cast<int>(n);
    } catch (const EValueError&) {
    }
    return std::nullopt;
}

const char* SwitchButtonName(TSwitchButton button) {
    switch (button) {
    case TSwitchButton::BRead:
        return "BRead";
    case TSwitchButton::BGoFrec:
        return "BGoFrec";
    case TSwitchButton::BGoTime:
        return "BGoTime";
    case TSwitchButton::BGoORTEN:
        return "BGoORTEN";
    }
    return "";
}

int SwitchButtonCode(TSwitchButton button) {
    switch (button) {
    case TSwitchButton::BGoFrec:
        return kSysFrequency;
    case TSwitchButton::BGoTime:
        return kSysTime;
    case TSwitchButton::BGoORTEN:
        return kSysORTEN;
    case TSwitchButton::BRead:
        break;
    }
    return 0;
}

const char* SwitchButtonCaption(TSwitchButton button) {
    switch (button) {
    case TSwitchButton::BRead:
        return kCaptionBRead;
    case TSwitchButton::BGoFrec:
        return kCaptionBGoFrec;
    case TSwitchButton::BGoTime:
        return kCaptionBGoTime;
    case TSwitchButton::BGoORTEN:
        return kCaptionBGoORTEN;
    }
    return "";
}

int StrToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        throw EConvertError(text);
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw EConvertError(text);
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<int>::max()} + 1)
            throw EConvertError(text);
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max())
        throw EConvertError(text);
    return static_cast<int>(value);
}

std::string FormatCounters(int success, int failure) {
    return std::to_string(success) + " / " + std::to_string(failure);
}

int SysTextColour(const std::string& text) {
    if (text == "выполняю...")
        return 0xFFFF00; // yellow
    if (text == "Не отвечает")
        return 0x808080; // grey
    if (text == "Частотная")
        return 0xFF0000; // red
    if (text == "Временная")
        return 0x0000FF; // blue
    if (text == "ОРТЕН")
        return 0x008000; // green
    return -1;
}

// ---- one command: its start steps and, on every way out, its end steps ---------------------------

class TSystemSwitch::TCommand {
public:
    // Start steps that cannot fail: the button reads "Остановить", the stop flag is cleared, the
    // other buttons are disabled, the frame buffer is cleared.
    TCommand(TSystemSwitch& s, TSwitchButton button, bool poll) : s_(s), button_(button), poll_(poll) {
        savedCaption_ = s_.window_.ButtonCaption(button_);
        s_.running_ = true;
        s_.window_.SetButtonCaption(button_, kCaptionStop);
        s_.stopRequested_ = false;
        for (const TSwitchButton b : kSwitchButtons)
            if (b != button_)
                s_.window_.SetButtonEnabled(b, false);
        s_.frameBuf_.fill(0);
    }

    ~TCommand() {
        try {
            End();
        } catch (...) {
            // The error that ended the command is the one to report; the end steps have all run.
        }
    }
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;

    // The line at 9600 baud on the port of the preferences.
    void OpenPort() {
        savedBaud_ = s_.port_.BaudRate();
        portTouched_ = true;
        s_.port_.Close();
        s_.port_.SetBaudRate(br9600);
        s_.port_.SetPort(s_.portName_());
        s_.port_.Open();
    }

    // The current row, in edit state, shows that its request is under way ("выполняю...").
    void MarkUnderWay(const char* field, const TValue& marker) {
        s_.table_.Edit();
        pending_ = TPending{field, s_.table_.FieldByName(field)};
        s_.SetField(field, marker);
        s_.window_.ProcessMessages();
    }
    void Store(const char* field, const TValue& value) {
        s_.SetField(field, value);
        pending_.reset();
    }

    // Every step runs even when one before it fails; the first failure is thrown at the end.
    void End() {
        if (ended_)
            return;
        ended_ = true;
        std::exception_ptr first;
        auto step = [&first](auto&& f) {
            try {
                f();
            } catch (...) {
                if (!first)
                    first = std::current_exception();
            }
        };
        step([&] {
            s_.window_.SetBusyCursor(false);
            if (poll_)
                s_.window_.ProcessMessages();
        });
        if (portTouched_) {
            step([&] { s_.port_.SetBaudRate(savedBaud_); });
            step([&] { s_.port_.Close(); });
        }
        step([&] {
            // An error in the middle of an exchange leaves no row showing a request under way:
            // the field gets back what it held before.
            if (pending_ && IsEditing(s_.table_))
                s_.SetField(pending_->field, pending_->previous);
            pending_.reset();
            if (IsEditing(s_.table_))
                s_.table_.Post();
        });
        step([&] { s_.window_.SetButtonCaption(button_, savedCaption_); });
        s_.stopRequested_ = false;
        for (const TSwitchButton b : kSwitchButtons)
            step([&] { s_.window_.SetButtonEnabled(b, true); });
        s_.running_ = false;
        if (first)
            std::rethrow_exception(first);
    }

private:
    struct TPending {
        const char* field;
        TValue previous;
    };

    TSystemSwitch& s_;
    TSwitchButton button_;
    bool poll_;
    std::string savedCaption_;
    TBaudRate savedBaud_ = br38400;
    bool portTouched_ = false;
    bool ended_ = false;
    std::optional<TPending> pending_;
};

// ---- the switch ------------------------------------------------------------------------------

TSystemSwitch::TSystemSwitch(TDMTables& dm, TComPort& port, IHost& host, ISwitchWindow& window)
    : dm_(dm), table_(dm.TDataORTEN()), port_(port), host_(host), window_(window) {
    portName_ = [this] { return "COM" + dm_.Pref().FieldByName("NumCom").AsString(); };
}

TSwitchResult TSystemSwitch::BReadClick() {
    return Guarded(&TSystemSwitch::RunPoll, TSwitchButton::BRead);
}

TSwitchResult TSystemSwitch::BChangeModeClick(TSwitchButton button) {
    return Guarded(&TSystemSwitch::RunSwitch, button);
}

TSwitchResult TSystemSwitch::Poll() {
    return RunPoll(TSwitchButton::BRead);
}

TSwitchResult TSystemSwitch::Switch(TSwitchButton button) {
    return RunSwitch(button);
}

TSwitchResult TSystemSwitch::Guarded(TSwitchResult (TSystemSwitch::*command)(TSwitchButton),
                                     TSwitchButton button) {
    try {
        return (this->*command)(button);
    } catch (const std::exception& e) {
        // Shown once the port is closed and the buttons are back.
        host_.ShowMessage(e.what(), {}, TMsgButtons::Ok, TMsgIcon::Error);
        TSwitchResult r;
        r.outcome = TSwitchOutcome::Failed;
        return r;
    }
}

bool TSystemSwitch::ClickStops(TSwitchButton button) {
    if (window_.ButtonCaption(button) == kCaptionStop) {
        stopRequested_ = true;
        return true;
    }
    // The other buttons are disabled while a command runs; a click that still comes starts nothing.
    return running_;
}

bool TSystemSwitch::MayStart(TSwitchButton button, uint16_t& addr, std::vector<std::int64_t>& rows,
                             TSwitchResult& result) {
    if (ClickStops(button))
        return false;
    if (!SysModeAddress(addr) || !TakeSelection(rows)) {
        result.outcome = TSwitchOutcome::Refused;
        return false;
    }
    return true;
}

bool TSystemSwitch::EnterRow(std::int64_t rowId) {
    // The row edited before is posted as this one becomes current; the grid follows.
    if (!table_.GotoRowId(rowId))
        return false;
    window_.SetBusyCursor(true);
    window_.ProcessMessages();
    return true;
}

bool TSystemSwitch::SysModeAddress(uint16_t& addr) {
    const TParam* param = dm_.FindParam(kSysModeParam);
    std::optional<std::int64_t> value;
    if (param && !param->addr.IsNull()) {
        try {
            value = param->addr.AsInteger();
        } catch (const EValueError&) {
        }
    }
    if (!value) {
        const std::string file = dm_.TParamType().FileName();
        host_.ShowMessage((param ? "В таблице " + file + " у параметра eSysMode не задан адрес (Addr)"
                                 : "В таблице " + file + " нет параметра eSysMode") +
                              ": неизвестно, где в памяти модема код системы телемеханики. Запросы не "
                              "отправлены. Впишите в " +
                              file + " строку eSysMode с адресом из карты параметров прошивки модема.",
                          {}, TMsgButtons::Ok, TMsgIcon::Error);
        return false;
    }
    addr = static_cast<uint16_t>(*value & 0xFFFF);
    return true;
}

bool TSystemSwitch::TakeSelection(std::vector<std::int64_t>& rows) {
    rows.clear();
    const std::vector<std::int64_t> ids = window_.SelectedRowIds();
    const std::unordered_set<std::int64_t> wanted(ids.begin(), ids.end());
    if (wanted.empty())
        return true;
    const int fName = table_.FieldIndex("NameKP");
    const int fController = table_.FieldIndex("ENumController");
    std::string refused;
    for (int r = 0; r < table_.RecordCount(); ++r) {
        if (!wanted.contains(table_.RowIdAt(r)))
            continue;
        rows.push_back(table_.RowIdAt(r));
        const TValue controller = table_.ValueAt(r, fController);
        if (SlaveOf(controller))
            continue;
        const std::string name = table_.ValueAt(r, fName).AsString();
        refused += refused.empty() ? "" : ", ";
        refused += name.empty() ? "строка " + std::to_string(r + 1) : "\"" + name + "\"";
        refused += controller.IsNull() ? " (номер не задан)" : " (" + controller.AsString() + ")";
    }
    if (refused.empty())
        return true;
    rows.clear();
    host_.ShowMessage(
        "Номер МКД - адрес КП на линии - должен быть от 0 до 255. Неверный номер у КП: " + refused +
            ". Запросы не отправлены. Исправьте N МКД в таблице " + table_.FileName() + ".",
        {}, TMsgButtons::Ok, TMsgIcon::Error);
    return false;
}

uint8_t TSystemSwitch::SlaveAddress() const {
    return static_cast<uint8_t>(SlaveOf(table_.FieldByName("ENumController")).value_or(0));
}

bool TSystemSwitch::Exchange(int w, int r) {
    return ExchangeFrame(port_, host_, frameBuf_, crcReg_, w, r);
}

void TSystemSwitch::PauseBetweenRequests() {
    // Read at each pause, so a value typed during a command counts from the next pause on.
    const int seconds = StrToInt(window_.TimeOutText());
    if (seconds > 0)
        window_.Wait(std::int64_t{seconds} * 1000);
}

void TSystemSwitch::SetField(const char* name, const TValue& value) {
    table_.SetFieldByName(name, value);
}

TSwitchRow TSystemSwitch::RowNow(bool versionAsked, bool answered) const {
    TSwitchRow row;
    row.rowId = table_.RowId();
    row.name = table_.FieldByName("NameKP").AsString();
    row.controller = table_.FieldByName("ENumController");
    row.sysMode = table_.FieldByName("SysMode");
    row.sysText = TextSysMode(row.sysMode);
    row.versionAsked = versionAsked;
    if (versionAsked)
        row.version = table_.FieldByName("V4433").AsString();
    row.answered = answered;
    return row;
}

void TSystemSwitch::ShowCounters(const TSwitchResult& r) {
    window_.ShowCounters(FormatCounters(r.successCount, r.failureCount));
}

TSwitchResult TSystemSwitch::RunPoll(TSwitchButton button) {
    TSwitchResult result;
    uint16_t addr = 0;
    std::vector<std::int64_t> rows;
    if (!MayStart(button, addr, rows, result))
        return result;

    TCommand command(*this, button, true);
    command.OpenPort();
    result.outcome = TSwitchOutcome::Done;
    const int passes = StrToInt(window_.CountText());
    auto stopped = [&] {
        if (!stopRequested_)
            return false;
        result.outcome = TSwitchOutcome::Stopped;
        return true;
    };

    for (int pass = 1; pass <= passes; ++pass) {
        if (stopped())
            break;
        // The rows are taken anew at each pass: the user may select others between passes.
        if (!TakeSelection(rows)) {
            result.outcome = TSwitchOutcome::Refused;
            break;
        }
        bool ended = false;
        for (std::size_t i = 0; i < rows.size() && !ended; ++i) {
            const bool last = i + 1 == rows.size();
            if (!EnterRow(rows[i]))
                continue;
            const uint8_t slave = SlaveAddress();
            BuildSysModeRead(frameBuf_, slave, addr);
            command.MarkUnderWay("SysMode", TValue(-1));
            const bool answered = Exchange(kSysModeReadLength, kSysModeReplyLength);
            if (answered) {
                command.Store("SysMode", TValue(int{ReplySysMode(frameBuf_)}));
                ++result.successCount;
            } else {
                command.Store("SysMode", TValue(0));
                ++result.failureCount;
            }
            ShowCounters(result);
            window_.ProcessMessages();

            const bool version = window_.VersionChecked();
            if (!version || stopRequested_) {
                ++result.rowsWorked;
                window_.RowWorked(RowNow(false, answered));
                if (stopped())
                    ended = true;
                else {
                    window_.SetBusyCursor(false);
                    if (!last)
                        PauseBetweenRequests();
                }
                continue;
            }
            // The pause comes between the two requests to the same КП, the last one's included.
            PauseBetweenRequests();
            window_.SetBusyCursor(true);
            window_.ProcessMessages();
            BuildVersionRequest(frameBuf_, slave);
            command.MarkUnderWay("V4433", TValue(kVersionPending));
            const bool versionAnswered = Exchange(kVersionRequestLength, kVersionReplyLength);
            if (versionAnswered) {
                ++result.successCount;
                command.Store("V4433", TValue(ReplyVersionText(frameBuf_)));
            } else {
                command.Store("V4433", TValue(kVersionNone));
                ++result.failureCount;
            }
            ShowCounters(result);
            window_.SetBusyCursor(false);
            window_.ProcessMessages();
            ++result.rowsWorked;
            window_.RowWorked(RowNow(true, answered && versionAnswered));
            if (stopped())
                ended = true;
            else if (!last)
                PauseBetweenRequests();
        }
        if (ended || result.outcome == TSwitchOutcome::Refused || stopped())
            break;
        // Compared with what ECount holds now: the user may have changed it meanwhile.
        if (pass != StrToInt(window_.CountText()))
            PauseBetweenRequests();
    }
    command.End();
    return result;
}

TSwitchResult TSystemSwitch::RunSwitch(TSwitchButton button) {
    const int code = SwitchButtonCode(button);
    if (code == 0)
        throw std::invalid_argument("BChangeModeClick: BRead is not a switch button");
    TSwitchResult result;
    uint16_t addr = 0;
    std::vector<std::int64_t> rows;
    if (!MayStart(button, addr, rows, result))
        return result;

    TCommand command(*this, button, false);
    command.OpenPort();
    result.outcome = TSwitchOutcome::Done;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool last = i + 1 == rows.size();
        if (!EnterRow(rows[i]))
            continue;
        BuildSysModeWrite(frameBuf_, SlaveAddress(), addr, static_cast<uint8_t>(code));
        command.MarkUnderWay("SysMode", TValue(-1));
        // Any 7-byte reply with a right CRC means done; the parameter is not read back.
        const bool done = Exchange(kSysModeWriteLength, kSysModeWriteReplyLength);
        command.Store("SysMode", TValue(done ? code : 0));
        ++(done ? result.successCount : result.failureCount);
        window_.SetBusyCursor(false);
        window_.ProcessMessages();
        ++result.rowsWorked;
        window_.RowWorked(RowNow(false, done));
        if (stopRequested_) {
            result.outcome = TSwitchOutcome::Stopped;
            break;
        }
        if (!last)
            PauseBetweenRequests();
    }
    command.End();
    return result;
}

} // namespace talmar
