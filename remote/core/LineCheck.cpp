#include "remote/core/LineCheck.h"

#include "base/Host.h"
#include "editors/core/EditorProfile.h"
#include "link/ComPort.h"
#include "link/SwitchFrames.h"
#include "remote/core/SystemSwitch.h"
#include "store/DMTables.h"
#include "store/SettingsImage.h"
#include "store/Table.h"
#include "store/Text.h"
#include "store/Validation.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

namespace talmar {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// Bytes a repair leaves alone: the system code (the switch changes it) and the controller number
// (the КП would answer another address).
bool Writable(const TImageByte& b, const TImageItem& item) {
    return !SameName(b.nameEng, "eSysMode") && !SameName(item.column, "ENumController") &&
           !SameName(b.nameEng, "ENumController");
}

// The build programming would make of the current record, the record left as it is.
TSettingsImage ImageOf(TDMTables& dm, TTable& table) {
    std::vector<std::pair<std::string, std::string>> sameAs;
    const TEditorProfile* profile = ProfileFor(table.Name());
    if (profile && profile->forvardTCFromTY)
        sameAs.emplace_back("EForvardTC", "EForvardTY");
    if (profile && profile->checkSettings) {
        TSettingsImage refused;
        refused.refusal = RefusalText(ValidateRecord(dm, table));
        if (!refused.refusal.empty())
            return refused;
    }
    return BuildSettingsImage(dm, table, sameAs);
}

} // namespace

std::string TKpCheck::Summary() const {
    switch (verdict) {
    case TKpVerdict::Matching:
        return "совпадают";
    case TKpVerdict::Differing:
        return "различий " + std::to_string(differences.size());
    case TKpVerdict::NoAnswer:
        return "не отвечает (прочитано байт: " + std::to_string(bytesRead) + " из " +
               std::to_string(bytesTotal) + ")";
    case TKpVerdict::Refused:
        return "не проверен: " + refusal;
    case TKpVerdict::Repaired:
        return "исправлен (записано байт: " + std::to_string(bytesWritten) + ")";
    case TKpVerdict::NotRepaired:
        return "не исправлен, различий " + std::to_string(differences.size());
    case TKpVerdict::Stopped:
        return "проверка остановлена (прочитано байт: " + std::to_string(bytesRead) + " из " +
               std::to_string(bytesTotal) + ")";
    }
    return {};
}

std::vector<std::string> CheckReportLines(const TKpCheck& kp) {
    std::vector<std::string> out{kp.name + " (N МКД " + std::to_string(kp.controller) + "): " + kp.Summary()};
    char addr[8];
    for (const TParamDifference& d : kp.differences) {
        std::snprintf(addr, sizeof addr, "%04X", static_cast<unsigned>(d.addr));
        out.push_back("    " + d.nameRus + " (" + d.nameEng + "), адрес " + addr + ": в таблице " +
                      d.tableValue + ", в модеме " + d.modemValue +
                      (d.writable ? ""
                                  : " - не исправляется (системе - переход КЕРВА <-> ОРТЕН, номеру МКД - "
                                    "кабель программирования)"));
    }
    return out;
}

std::string CheckLogLine(const TKpCheck& kp) {
    return "Сверка настроек КП \"" + kp.name + "\" (N МКД " + std::to_string(kp.controller) +
           "): " + kp.Summary();
}

std::string CheckSummary(const TCheckResult& r) {
    std::string out = "Итого КП: " + std::to_string(r.kps.size()) +
                      "; совпадают: " + std::to_string(r.Count(TKpVerdict::Matching)) +
                      ", различаются: " + std::to_string(r.Count(TKpVerdict::Differing)) +
                      ", не отвечают: " + std::to_string(r.Count(TKpVerdict::NoAnswer)) +
                      ", исправлены: " + std::to_string(r.Count(TKpVerdict::Repaired)) +
                      ", не исправлены: " + std::to_string(r.Count(TKpVerdict::NotRepaired)) +
                      ", не проверены: " + std::to_string(r.Count(TKpVerdict::Refused));
    if (r.outcome == TCheckOutcome::Stopped)
        out += "; проверка остановлена";
    return out;
}

int TCheckResult::Count(TKpVerdict verdict) const {
    return static_cast<int>(
        std::count_if(kps.begin(), kps.end(), [&](const TKpCheck& k) { return k.verdict == verdict; }));
}

// The port at 9600 baud for the command, given back on every way out.
class TLineCheck::TSession {
public:
    explicit TSession(TLineCheck& c) : c_(c) {
        c_.running_ = true;
        c_.stopRequested_ = false;
        c_.frameBuf_.fill(0);
    }
    ~TSession() {
        if (touched_) {
            try {
                c_.port_.SetBaudRate(savedBaud_);
            } catch (...) {
            }
            try {
                c_.port_.Close();
            } catch (...) {
            }
        }
        c_.running_ = false;
        c_.stopRequested_ = false;
    }
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    void OpenPort() {
        savedBaud_ = c_.port_.BaudRate();
        touched_ = true;
        c_.port_.Close();
        c_.port_.SetBaudRate(br9600);
        c_.port_.SetPort(c_.portName_());
        c_.port_.Open();
    }

private:
    TLineCheck& c_;
    TBaudRate savedBaud_ = br38400;
    bool touched_ = false;
};

TLineCheck::TLineCheck(TDMTables& dm, TComPort& port, IHost& host, ILineCheckView& view)
    : dm_(dm), port_(port), host_(host), view_(view) {
    portName_ = [this] { return "COM" + dm_.Pref().FieldByName("NumCom").AsString(); };
}

bool TLineCheck::ControllersOk(TTable& table, const std::vector<std::int64_t>& rowIds) {
    const int fName = table.FieldIndex("NameKP");
    const int fController = table.FieldIndex("ENumController");
    std::string refused;
    for (const std::int64_t id : rowIds) {
        for (int r = 0; r < table.RecordCount(); ++r) {
            if (table.RowIdAt(r) != id)
                continue;
            const TValue controller = table.ValueAt(r, fController);
            if (SlaveOf(controller))
                break;
            const std::string name = table.ValueAt(r, fName).AsString();
            refused += refused.empty() ? "" : ", ";
            refused += name.empty() ? "строка " + std::to_string(r + 1) : "\"" + name + "\"";
            refused += controller.IsNull() ? " (номер не задан)" : " (" + controller.AsString() + ")";
            break;
        }
    }
    if (refused.empty())
        return true;
    host_.ShowMessage(
        "Номер МКД - адрес КП на линии - должен быть от 0 до 255. Неверный номер у КП: " + refused +
            ". Запросы не отправлены. Исправьте N МКД в таблице " + table.FileName() + ".",
        {}, TMsgButtons::Ok, TMsgIcon::Error);
    return false;
}

TCheckResult TLineCheck::Run(TTable& table, const std::vector<std::int64_t>& rowIds, bool repair,
                             std::int64_t pauseMs) {
    TCheckResult result;
    if (running_)
        return result;
    if (!ControllersOk(table, rowIds)) {
        result.outcome = TCheckOutcome::Refused;
        return result;
    }
    TSession session(*this);
    // The bytes to read, for the progress: every image that will be read.
    int total = 0;
    for (const std::int64_t id : rowIds)
        if (table.GotoRowId(id)) {
            const TSettingsImage image = ImageOf(dm_, table);
            if (image.Complete())
                total += static_cast<int>(image.Effective().size());
        }
    int done = 0;
    view_.Progress(done, total);
    session.OpenPort();
    result.outcome = TCheckOutcome::Done;
    for (std::size_t i = 0; i < rowIds.size(); ++i) {
        if (!table.GotoRowId(rowIds[i]))
            continue;
        TKpCheck kp;
        kp.rowId = rowIds[i];
        kp.name = table.FieldByName("NameKP").AsString();
        kp.controller = SlaveOf(table.FieldByName("ENumController")).value_or(0);
        view_.KpStarted(kp);
        CheckKp(table, kp, repair, done, total);
        result.kps.push_back(kp);
        view_.KpDone(result.kps.back());
        view_.ProcessMessages();
        if (stopRequested_) {
            result.outcome = TCheckOutcome::Stopped;
            break;
        }
        if (i + 1 < rowIds.size() && pauseMs > 0)
            view_.Wait(pauseMs);
        if (stopRequested_) {
            result.outcome = TCheckOutcome::Stopped;
            break;
        }
    }
    return result;
}

void TLineCheck::CheckKp(TTable& table, TKpCheck& kp, bool repair, int& done, int& total) {
    const TSettingsImage image = ImageOf(dm_, table);
    if (!image.Complete()) {
        kp.verdict = TKpVerdict::Refused;
        kp.refusal = image.refusal;
        return;
    }
    const std::vector<TImageByte> wanted = image.Effective();
    kp.bytesTotal = static_cast<int>(wanted.size());
    const uint8_t slave = static_cast<uint8_t>(kp.controller);
    std::vector<uint8_t> modem(wanted.size(), 0);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (!ReadByte(slave, wanted[i].addr, modem[i])) {
            // One time-out is enough to know the КП does not answer.
            kp.verdict = TKpVerdict::NoAnswer;
            total -= kp.bytesTotal - kp.bytesRead;
            view_.Progress(done, total);
            return;
        }
        ++kp.bytesRead;
        view_.Progress(++done, total);
        if (stopRequested_) {
            kp.verdict = TKpVerdict::Stopped;
            return;
        }
    }

    // What each address holds, by address, to compare whole parameters.
    std::map<uint16_t, uint8_t> read;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        read[wanted[i].addr] = modem[i];
        if (modem[i] != wanted[i].value)
            kp.bytes.push_back(TByteDifference{wanted[i].addr, wanted[i].value, modem[i],
                                               Writable(wanted[i], image.items[wanted[i].item])});
    }
    const auto differences = [&] {
        std::vector<TParamDifference> out;
        for (std::size_t item = 0; item < image.items.size(); ++item) {
            std::vector<TImageByte> layout;
            std::vector<uint8_t> ours, theirs;
            bool differs = false, writable = true;
            for (const TImageByte& b : image.bytes) {
                if (b.item != static_cast<int>(item))
                    continue;
                const uint8_t now = read.at(b.addr);
                // A byte of an address written twice is compared with what programming leaves.
                const auto effective = std::find_if(wanted.begin(), wanted.end(),
                                                    [&](const TImageByte& w) { return w.addr == b.addr; });
                if (effective->item != b.item)
                    continue;
                layout.push_back(b);
                ours.push_back(b.value);
                theirs.push_back(now);
                differs |= now != b.value;
                writable &= Writable(b, image.items[item]);
            }
            if (!differs)
                continue;
            const TImageItem& it = image.items[item];
            TParamDifference d;
            d.nameRus = it.nameRus;
            d.nameEng = it.nameEng;
            d.addr = layout.front().addr;
            d.tableValue = DecodeItem(it, layout, ours).value_or(BytesText(layout, ours));
            d.modemValue = DecodeItem(it, layout, theirs).value_or(BytesText(layout, theirs));
            d.writable = writable;
            out.push_back(std::move(d));
        }
        return out;
    };
    kp.differences = differences();
    if (kp.bytes.empty()) {
        kp.verdict = TKpVerdict::Matching;
        return;
    }
    kp.verdict = TKpVerdict::Differing;
    if (!repair)
        return;
    std::vector<TByteDifference> toWrite;
    for (const TByteDifference& b : kp.bytes)
        if (b.writable)
            toWrite.push_back(b);
    if (toWrite.empty() || !view_.ConfirmRepair(kp, static_cast<int>(toWrite.size())))
        return;
    total += 2 * static_cast<int>(toWrite.size());
    view_.Progress(done, total);
    bool complete = true;
    for (const TByteDifference& b : toWrite) {
        if (!WriteByte(slave, b.addr, b.table)) {
            complete = false;
            break;
        }
        ++kp.bytesWritten;
        view_.Progress(++done, total);
        if (stopRequested_)
            break;
    }
    // Every byte written is read back; only what reads back equal counts as repaired.
    for (std::size_t i = 0; i < static_cast<std::size_t>(kp.bytesWritten); ++i) {
        uint8_t now = 0;
        if (!ReadByte(slave, toWrite[i].addr, now)) {
            complete = false;
            break;
        }
        view_.Progress(++done, total);
        read[toWrite[i].addr] = now;
    }
    kp.bytes.clear();
    for (const TImageByte& w : wanted)
        if (read.at(w.addr) != w.value)
            kp.bytes.push_back(
                TByteDifference{w.addr, w.value, read.at(w.addr), Writable(w, image.items[w.item])});
    kp.differences = differences();
    kp.verdict = complete && kp.bytes.empty() ? TKpVerdict::Repaired
                 : stopRequested_             ? TKpVerdict::Stopped
                                              : TKpVerdict::NotRepaired;
}

// The exchange itself lets a reply count only from the КП asked, to the request made: a late
// reply of another КП fails it like a bad CRC.
bool TLineCheck::ReadByte(uint8_t slave, uint16_t addr, uint8_t& value) {
    BuildEepromByteRead(frameBuf_, slave, addr);
    if (!ExchangeFrame(port_, host_, frameBuf_, crcReg_, kSysModeReadLength, kSysModeReplyLength))
        return false;
    value = ReplyEepromByte(frameBuf_);
    return true;
}

bool TLineCheck::WriteByte(uint8_t slave, uint16_t addr, uint8_t value) {
    BuildEepromByteWrite(frameBuf_, slave, addr, value);
    return ExchangeFrame(port_, host_, frameBuf_, crcReg_, kSysModeWriteLength, kSysModeWriteReplyLength);
}

} // namespace talmar
