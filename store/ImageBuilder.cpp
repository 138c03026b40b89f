// The EEPROM image of one settings record. The modem takes its settings as a list of
// (byte address, byte value) pairs; where each parameter lies and how wide it is comes from
// ParamType.db, which belongs to the modem's firmware.

#include "store/DMTables.h"
#include "store/Text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace talmar {
namespace {

const std::string kNoParam = "Тимбо, внеси в TParamType параметр ";
const std::string kFixIt = ". Исправьте данные и повторите прошивку";

std::string EmptyParamText(const TParam& p) {
    return "Параметр \"" + p.nameRus + "\" незаполнен. Внесите данные и повторите прошивку";
}

std::string ShownName(const TParam& p) {
    return p.nameRus.empty() ? p.nameEng : p.nameRus;
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Nearest whole number, halves to the even neighbour.
double RoundHalfEven(double v) {
    const double f = std::floor(v);
    const double diff = v - f;
    if (diff > 0.5)
        return f + 1;
    if (diff < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1;
}

int SystemCode(const TTable& table) {
    if (table.Name() == "TDataLF")
        return kSysFrequency;
    if (table.Name() == "TDataLT")
        return kSysTime;
    if (table.Name() == "TDataORTEN")
        return kSysORTEN;
    throw std::invalid_argument("таблица " + table.Name() + " не является таблицей настроек КП");
}

void RequireOpen(const TTable& table) {
    if (!table.Active())
        throw TDbError(TDbError::TKind::Closed, "Таблица " + table.Definition().tableName + " (файл " +
                                                    table.FileName() + ") не открыта");
}

} // namespace

class TImageBuilder {
public:
    TImageBuilder(TDMTables& dm, TTable& table, std::ostream& out)
        : dm_(dm), table_(table), out_(out), code_(SystemCode(table)) {}

    // False when the build stopped; the reason has been shown.
    bool Build() {
        try {
            for (int f = 0; f < table_.StoredFieldCount(); ++f) {
                const std::string name = Trim(table_.Field(f).name);
                // What the system switch stores about the modem is not a setting.
                if (name == "SysMode" || name == "V4433")
                    continue;
                const TParam* row = nullptr;
                TValue value;
                if (!dm_.ColumnIsReady(table_, f, &row, &value))
                    return false;
                if (!name.empty() && (name[0] == 'e' || name[0] == 'E')) {
                    const std::int64_t v = WholeNumber(f, value);
                    const std::string lower = AsciiLower(name);
                    if (lower == "eimptc" || lower == "elongimptc" || lower == "esuperlongimptc")
                        WriteTicks(*row, v);
                    else
                        WriteParam(*row, v);
                } else {
                    WriteSpecialParam(name, f, *row, value);
                }
            }
            if (const TParam* sys = Derived("eSysMode"))
                WriteParam(*sys, code_);
        } catch (const TStop&) {
            return false;
        }
        return true;
    }

private:
    struct TStop {};

    [[noreturn]] void Stop(const std::string& text) {
        dm_.host_.ShowMessage(text);
        throw TStop{};
    }

    // A parameter the builder derives itself; a missing row is reported and the build goes on.
    const TParam* Derived(const std::string& name) {
        const TParam* p = dm_.FindParam(name);
        if (!p)
            dm_.host_.ShowMessage(kNoParam + name);
        return p;
    }

    // The whole number a column holds; a value that is none stops the build with its place.
    std::int64_t WholeNumber(int field, const TValue& value) {
        try {
            return value.AsInteger();
        } catch (const TConvertError& e) {
            Stop(table_.Place(field) + ": " + e.what() + kFixIt);
        }
    }

    std::string TooWide(const TParam& row, const std::string& shown) {
        return "Параметр \"" + ShownName(row) + "\": значение " + shown + " не помещается в EEPROM (" +
               (row.TwoBytes() ? "в 2 байта помещается не более 65535" : "в 1 байт помещается не более 255") +
               ")" + kFixIt;
    }

    // Telesignalling durations go to the modem in its timer's 32 µs ticks. A duration whose
    // ticks would not even fit a 64-bit number is refused as too wide, not wrapped.
    void WriteTicks(const TParam& row, std::int64_t ms) {
        constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 1000;
        if (ms > kLimit || ms < -kLimit)
            Stop(TooWide(row, std::to_string(ms)));
        const std::int64_t ticks = ms * 1000 / 32;
        WriteParam(row, ticks, std::to_string(ms) + " (в единицах по 32 мкс " + std::to_string(ticks) + ")");
    }

    void Line(std::int64_t addr, std::int64_t byte) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04X:%02X\r\n", static_cast<unsigned>(addr),
                      static_cast<unsigned>(byte));
        out_ << buf;
    }

    // shown is the value as the record holds it, when it differs from the value written.
    void WriteParam(const TParam& row, std::int64_t value, const std::string& shown = {}) {
        const bool two = row.TwoBytes();
        // An address outside the 16 bits of an image line would be cut by the image reader and
        // the byte would land somewhere else in the modem.
        if (row.addr.IsNull())
            Stop("В TParamType у параметра " + row.nameEng +
                 " не заполнен адрес (Addr). Настройки в модем не прошиты");
        std::int64_t addr = -1;
        try {
            addr = row.addr.AsInteger();
        } catch (const TConvertError&) {
        }
        if (addr < 0 || addr > 0xFFFF - (two ? 1 : 0))
            Stop("В TParamType у параметра " + row.nameEng + " неверный адрес " + row.addr.AsString() +
                 ". Настройки в модем не прошиты");
        const std::uint64_t v =
            value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        const std::uint64_t limit = two ? 0xFFFF : 0xFF;
        // A line carries two hex digits per byte; a wider value would be cut by the image
        // reader and a wrong value programmed. Refuse instead.
        if (v > limit)
            Stop(TooWide(row, shown.empty() ? std::to_string(value) : shown));
        if (two) {
            Line(addr, static_cast<std::int64_t>(v % 256));
            Line(addr + 1, static_cast<std::int64_t>(v / 256));
        } else {
            Line(addr, static_cast<std::int64_t>(v));
        }
    }

    void WriteSpecialParam(const std::string& name, int field, const TParam& row, const TValue& value) {
        if (name == "NumKP")
            WriteKPNumber(field, value);
        else if (name == "CoeffTI1" || name == "CoeffTI2")
            WriteCoefficient(name, field, row, value);
        else if (name == "AttenTr1" || name == "AttenTr2" || name == "AttenTrAUX" || name == "AttenRec1" ||
                 name == "AttenRecAUX")
            WriteAttenuation(name, field, row, value);
        // NameKP, Book, ResistTr and the like are not written.
    }

    // The modem learns its КП number as a pair of channels (i, j), i < j; the pairs are counted
    // in order of i, then j: channels 2..7 in the frequency system, 1..5 in the time system.
    void WriteKPNumber(int field, const TValue& value) {
        const std::int64_t number = WholeNumber(field, value);
        int first = 0, last = -1;
        if (code_ == kSysFrequency)
            first = 2, last = 7;
        else if (code_ == kSysTime)
            first = 1, last = 5;
        std::int64_t k = 0;
        for (int i = first; i <= last; ++i)
            for (int j = i + 1; j <= last; ++j)
                if (++k == number) {
                    if (const TParam* p = Derived("eNumKP1"))
                        WriteParam(*p, i);
                    if (const TParam* p = Derived("eNumKP2"))
                        WriteParam(*p, j);
                }
        if (const TParam* p = Derived("eSysMode"))
            WriteParam(*p, code_);
    }

    // A correction coefficient goes as its whole part and its thousandths.
    void WriteCoefficient(const std::string& name, int field, const TParam& row, const TValue& value) {
        double v = 0;
        try {
            v = value.AsFloat();
        } catch (const TConvertError& e) {
            Stop(table_.Place(field) + ": " + e.what() + kFixIt);
        }
        if (!(std::fabs(v) < 1e15))
            Stop("Параметр \"" + ShownName(row) + "\": значение " + FormatFloat(v) +
                 " не помещается в EEPROM" + kFixIt);
        const double whole = std::trunc(v);
        const double thousandths = std::trunc((v - whole) * 1000);
        const bool first = name == "CoeffTI1";
        if (const TParam* p = Derived(first ? "ec11" : "ec21"))
            WriteParam(*p, static_cast<std::int64_t>(whole));
        if (const TParam* p = Derived(first ? "ec12" : "ec22"))
            WriteParam(*p, static_cast<std::int64_t>(thousandths));
    }

    // The modem sets attenuations and levels in 0.25 dB steps below +2.5 dB: a coarse count of
    // 1.5 dB units and a fine remainder of 0.25 dB steps.
    void WriteAttenuation(const std::string& name, int field, const TParam& row, const TValue& value) {
        std::int64_t a = WholeNumber(field, value);
        if (name == "AttenTr1" || name == "AttenTr2" || name == "AttenTrAUX") {
            const std::int64_t r = LineResistance(); // -24 .. 0
            if (a < std::numeric_limits<std::int64_t>::min() - r)
                Stop(TooWide(row, std::to_string(a)));
            a += r;
        }
        // Any 64-bit a keeps x / 6 within ±6.2e18, so the whole numbers below fit.
        const double x = (2.5 - static_cast<double>(a)) / 0.25;
        const double q = x / 6;
        const double coarse = RoundHalfEven(q);
        const double fine = RoundHalfEven((q - std::trunc(q)) * 6);
        WriteParam(row, static_cast<std::int64_t>(coarse));
        if (const TParam* p = Derived(name + "Prec"))
            WriteParam(*p, static_cast<std::int64_t>(fine));
    }

    // The line-resistance correction that a transmit level needs. A level cannot be encoded
    // without it, so an empty or unknown ResistTr stops the build.
    std::int64_t LineResistance() {
        const int field = table_.FindField("ResistTr");
        const TParam* row = dm_.FindParam("ResistTr");
        if (!row)
            Stop(kNoParam + "ResistTr");
        TValue value;
        try {
            value = field < 0 ? TValue() : table_.CheckedValue(field);
        } catch (const TConvertError& e) {
            Stop(std::string(e.what()) + kFixIt);
        }
        if (value.IsNull())
            Stop(EmptyParamText(*row));
        const std::int64_t r = WholeNumber(field, value);
        if (!IsLineResistance(r))
            Stop("Параметр \"" + ShownName(*row) + "\": значение " + std::to_string(r) +
                 " не входит в список сопротивлений линии (0, -6, -9, -15, -18, -21, -24 дБ). "
                 "Выберите сопротивление линии и повторите прошивку");
        return r;
    }

    TDMTables& dm_;
    TTable& table_;
    std::ostream& out_;
    int code_;
};

bool TDMTables::ColumnIsReady(TTable& table, int field, const TParam** param, TValue* value) {
    const std::string name = Trim(table.Field(field).name);
    const TParam* p = FindParam(name);
    if (!p) {
        host_.ShowMessage(kNoParam + name);
        return false;
    }
    // A file may hold what could never be typed into the column (text or a 64-bit number in an
    // integer column): such a value is refused as a typed one is. Texts are taken as they are.
    TValue v;
    const TFieldType type = table.Field(field).type;
    try {
        v = type == TFieldType::Alpha || type == TFieldType::Memo ? table.Value(field)
                                                                  : table.CheckedValue(field);
    } catch (const TConvertError& e) {
        host_.ShowMessage("Параметр \"" + ShownName(*p) + "\": " + e.what() + kFixIt);
        return false;
    }
    // The notes may stay empty; every other column goes to the modem.
    if (v.IsNull() && name != "Book") {
        host_.ShowMessage(EmptyParamText(*p));
        return false;
    }
    *param = p;
    if (value)
        *value = std::move(v);
    return true;
}

bool TDMTables::ProgramSettings(TTable& table) {
    RequireOpen(table);
    SystemCode(table);
    std::ofstream out(kImageFileName, std::ios::binary | std::ios::trunc);
    if (!out) {
        const int err = errno;
        std::error_code ec;
        throw std::runtime_error("Не удалось создать файл " + std::string(kImageFileName) + " в папке " +
                                 std::filesystem::current_path(ec).string() + ": " + std::strerror(err));
    }
    table.ApplyCommitRule();
    TImageBuilder builder(*this, table, out);
    const bool complete = builder.Build();
    out.close();
    if (out.fail())
        throw std::runtime_error("Не удалось записать файл " + std::string(kImageFileName) + ": " +
                                 std::strerror(errno));
    if (!complete)
        return false;
    if (command_) {
        command_->SetSettingsFileName(kImageFileName);
        command_->ProgSettings(table);
    }
    return true;
}

// ---- validation of frequency-system records

void TDMTables::ReportSettingsError(const std::string& text) {
    host_.ShowMessage(text, "Ошибка", TMsgButtons::OkCancel, TMsgIcon::None);
    settingsOk_ = false;
}

bool TDMTables::CheckSettings(TTable& table) {
    RequireOpen(table);
    table.ApplyCommitRule();
    for (int f = 0; f < table.StoredFieldCount(); ++f) {
        const TParam* row = nullptr;
        if (!ColumnIsReady(table, f, &row, nullptr))
            return false;
    }
    settingsOk_ = true;
    if (table.Name() != "TDataLF")
        return settingsOk_;

    // Every value has passed the check above: a whole number of the column's 32 bits, so the
    // differences below cannot overflow.
    const auto v = [&](const char* name) { return table.CheckedValue(table.FieldIndex(name)).AsInteger(); };
    const auto increasing = [](std::initializer_list<std::int64_t> chain) {
        return std::adjacent_find(chain.begin(), chain.end(), [](auto a, auto b) { return !(a < b); }) ==
               chain.end();
    };
    const auto in = [](std::int64_t p, std::int64_t lo, std::int64_t hi) { return lo <= p && p <= hi; };

    if (!increasing({v("EImpTY1"), v("EImpTY2"), v("ELongImpTY1"), v("ELongImpTY2"), v("ESuperLongImpTY1"),
                     v("ESuperLongImpTY2")}))
        ReportSettingsError("Ошибка в параметрах длительностей ТУ");
    // This text has always ended in a Latin C after the Cyrillic Т; it is kept byte for byte.
    if (!increasing({v("EImpTC"), v("ELongImpTC"), v("ESuperLongImpTC")}))
        ReportSettingsError("Ошибка в параметрах длительностей ТC");

    const std::int64_t on = v("EPlaceOn"), off = v("EPlaceOff");
    const std::int64_t obj1 = v("EPlaceNumObject1"), obj2 = v("EPlaceNumObject2");
    const std::int64_t grp1 = v("EPlaceNumGroup1"), grp2 = v("EPlaceNumGroup2");
    const std::int64_t diff = on - off;
    if (!((diff == 1 || diff == -1) && !in(on, obj1, obj2) && !in(off, obj1, obj2) && !in(on, grp1, grp2) &&
          !in(off, grp1, grp2)))
        ReportSettingsError("Ошибка в местах расположения группы Вкл/Откл ТУ");
    if (!(in(obj2 - obj1, 0, 15) && !in(obj1, grp1, grp2) && !in(obj2, grp1, grp2)))
        ReportSettingsError("Ошибка в местах расположения объектов ТУ");
    if (!in(grp2 - grp1, 0, 4))
        ReportSettingsError("Ошибка в местах расположения групп ТУ");
    return settingsOk_;
}

} // namespace talmar
