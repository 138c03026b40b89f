// The EEPROM image of one settings record. The modem takes its settings as a list of
// (byte address, byte value) pairs; where each parameter lies and how wide it is comes from
// ParamType.db, which belongs to the modem's firmware.

#include "RecordTexts.h"
#include "base/Errors.h"
#include "base/Host.h"
#include "store/DMTables.h"
#include "store/SettingsImage.h"
#include "store/Text.h"
#include "store/Validation.h"

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

} // namespace

class TImageBuilder {
public:
    TImageBuilder(TDMTables& dm, TTable& table,
                  const std::vector<std::pair<std::string, std::string>>& sameAs, TSettingsImage& image)
        : dm_(dm), table_(table), sameAs_(sameAs), image_(image), code_(SystemCode(table)) {}

    void Build() {
        try {
            for (int f = 0; f < table_.StoredFieldCount(); ++f) {
                const std::string name = Trim(table_.Field(f).name);
                // What the system switch stores about the modem is not a setting.
                if (name == "SysMode" || name == "V4433")
                    continue;
                const TParam* row = nullptr;
                TValue value;
                const std::string problem = ColumnProblem(dm_, table_, f, SourceField(name, f), &row, &value);
                if (!problem.empty())
                    Stop(problem);
                if (!name.empty() && (name[0] == 'e' || name[0] == 'E')) {
                    const std::int64_t v = WholeNumber(f, value);
                    const std::string lower = AsciiLower(name);
                    NewItem(name, *row, TEncoding::Plain);
                    if (lower == "eimptc" || lower == "elongimptc" || lower == "esuperlongimptc")
                        WriteTicks(*row, v);
                    else
                        WriteParam(*row, v);
                } else {
                    WriteSpecialParam(name, f, *row, value);
                }
            }
            if (const TParam* sys = Derived("eSysMode")) {
                NewItem("", *sys, TEncoding::Plain);
                WriteParam(*sys, code_);
            }
        } catch (const TStop&) {
        }
    }

private:
    struct TStop {};

    [[noreturn]] void Stop(const std::string& text, bool valueRefused = false) {
        image_.refusal = text;
        image_.valueRefused = valueRefused;
        throw TStop{};
    }

    // The column whose value the column is built from.
    int SourceField(const std::string& name, int field) const {
        for (const auto& [column, source] : sameAs_)
            if (column == name) {
                const int f = table_.FindField(source);
                return f >= 0 ? f : field;
            }
        return field;
    }

    void NewItem(const std::string& column, const TParam& row, TEncoding encoding) {
        TImageItem item;
        item.column = column;
        item.nameEng = row.nameEng;
        item.nameRus = row.nameRus;
        item.encoding = encoding;
        item.system = code_;
        image_.items.push_back(std::move(item));
        param_ = 0;
    }

    // A parameter the builder derives itself; a missing row is noted and the build goes on.
    const TParam* Derived(const std::string& name) {
        const TParam* p = dm_.FindParam(name);
        if (!p)
            image_.notes.push_back(kNoParam + name);
        return p;
    }

    // The whole number a column holds; a value that is none stops the build with its place.
    std::int64_t WholeNumber(int field, const TValue& value) {
        try {
            return value.AsInteger();
        } catch (const EValueError& e) {
            Stop(table_.Place(field) + ": " + e.what() + kFixIt);
        }
    }

    // The КП the record is, for the refusals of a value.
    std::string Kp() const {
        const int field = table_.FindField("NameKP");
        const std::string name = field < 0 ? std::string() : Trim(table_.Value(field).AsString());
        if (!name.empty())
            return "КП \"" + name + "\"";
        return "КП без названия (таблица " + table_.Definition().tableName + ", запись " +
               std::to_string(table_.RecNo()) + ")";
    }

    [[noreturn]] void OutOfRange(const TParam& row, std::int64_t value, std::int64_t lo, std::int64_t hi,
                                 const std::string& why) {
        Stop(Kp() + ": параметр \"" + ShownName(row) + "\": значение " + std::to_string(value) +
                 " вне допустимых пределов " + std::to_string(lo) + ".." + std::to_string(hi) + why + kFixIt,
             true);
    }

    [[noreturn]] void TooWide(const TParam& row, const std::string& shown, std::int64_t limit) {
        const bool two = row.TwoBytes();
        Stop(Kp() + ": параметр \"" + ShownName(row) + "\": значение " + shown +
                 " не помещается в EEPROM: допустимы значения от " + std::to_string(-limit) + " до " +
                 std::to_string(limit) + " (" +
                 (two ? "в 2 байта помещается не более 65535" : "в 1 байт помещается не более 255") + ")" +
                 kFixIt,
             true);
    }

    // Telesignalling durations go to the modem in its timer's 32 µs ticks. A duration whose
    // ticks would not fit its parameter is refused, not wrapped.
    void WriteTicks(const TParam& row, std::int64_t ms) {
        image_.items.back().encoding = TEncoding::Ticks;
        const std::int64_t limit = row.TwoBytes() ? 0xFFFF : 0xFF;
        // The largest duration whose ticks, truncated, still fit.
        const std::int64_t msLimit = ((limit + 1) * 32 + 999) / 1000 - 1;
        if (ms > msLimit || ms < -msLimit)
            TooWide(row,
                    std::to_string(ms) + " мс (в единицах по 32 мкс " +
                        (ms > std::numeric_limits<std::int64_t>::max() / 1000 ||
                                 ms < -std::numeric_limits<std::int64_t>::max() / 1000
                             ? std::string("больше 2^63")
                             : std::to_string(ms * 1000 / 32)) +
                        ")",
                    msLimit);
        WriteParam(row, ms * 1000 / 32);
    }

    // Writes the magnitude of value as the current item's next parameter.
    void WriteParam(const TParam& row, std::int64_t value) {
        const bool two = row.TwoBytes();
        // An address outside the 16 bits of an image line would be cut by the image reader and
        // the byte would land somewhere else in the modem.
        if (row.addr.IsNull())
            Stop("В TParamType у параметра " + row.nameEng +
                 " не заполнен адрес (Addr). Настройки в модем не прошиты");
        std::int64_t addr = -1;
        try {
            addr = row.addr.AsInteger();
        } catch (const EValueError&) {
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
            TooWide(row, std::to_string(value), static_cast<std::int64_t>(limit));
        Byte(row, addr, v % 256, 0);
        if (two)
            Byte(row, addr + 1, v / 256, 1);
        ++param_;
    }

    void Byte(const TParam& row, std::int64_t addr, std::uint64_t value, int byte) {
        TImageByte b;
        b.addr = static_cast<uint16_t>(addr);
        b.value = static_cast<uint8_t>(value);
        b.nameEng = row.nameEng;
        b.nameRus = row.nameRus;
        b.item = static_cast<int>(image_.items.size()) - 1;
        b.param = param_;
        b.byte = byte;
        image_.bytes.push_back(std::move(b));
    }

    void WriteSpecialParam(const std::string& name, int field, const TParam& row, const TValue& value) {
        if (name == "NumKP")
            WriteKPNumber(field, row, value);
        else if (name == "CoeffTI1" || name == "CoeffTI2")
            WriteCoefficient(name, field, row, value);
        else if (name == "AttenTr1" || name == "AttenTr2" || name == "AttenTrAUX" || name == "AttenRec1" ||
                 name == "AttenRecAUX")
            WriteAttenuation(name, field, row, value);
        // NameKP, Book, ResistTr and the like are not written.
    }

    // The modem learns its КП number as a pair of channels (i, j), i < j; the pairs are counted
    // in order of i, then j: channels 2..7 in the frequency system, 1..5 in the time system.
    void WriteKPNumber(int field, const TParam& row, const TValue& value) {
        const std::int64_t number = WholeNumber(field, value);
        int first = 0, last = -1;
        if (code_ == kSysFrequency)
            first = 2, last = 7;
        else if (code_ == kSysTime)
            first = 1, last = 5;
        NewItem("NumKP", row, TEncoding::KPNumber);
        std::int64_t k = 0;
        for (int i = first; i <= last; ++i)
            for (int j = i + 1; j <= last; ++j)
                if (++k == number) {
                    if (const TParam* p = Derived("eNumKP1"))
                        WriteParam(*p, i);
                    param_ = 1;
                    if (const TParam* p = Derived("eNumKP2"))
                        WriteParam(*p, j);
                }
        if (const TParam* p = Derived("eSysMode")) {
            NewItem("", *p, TEncoding::Plain);
            WriteParam(*p, code_);
        }
    }

    // A correction coefficient goes as its whole part and its thousandths.
    void WriteCoefficient(const std::string& name, int field, const TParam& row, const TValue& value) {
        double v = 0;
        try {
            v = value.AsFloat();
        } catch (const EValueError& e) {
            Stop(table_.Place(field) + ": " + e.what() + kFixIt);
        }
        if (!(std::fabs(v) < 1e15))
            Stop(Kp() + ": параметр \"" + ShownName(row) + "\": значение " + FormatFloat(v) +
                     " не помещается в EEPROM" + kFixIt,
                 true);
        const double whole = std::trunc(v);
        const double thousandths = std::trunc((v - whole) * 1000);
        const bool first = name == "CoeffTI1";
        NewItem(name, row, TEncoding::Coefficient);
        if (const TParam* p = Derived(first ? "ec11" : "ec21"))
            WriteParam(*p, static_cast<std::int64_t>(whole));
        param_ = 1;
        if (const TParam* p = Derived(first ? "ec12" : "ec22"))
            WriteParam(*p, static_cast<std::int64_t>(thousandths));
    }

    // The modem sets attenuations and levels in 0.25 dB steps below +2.5 dB: a coarse count of
    // 1.5 dB units and a fine remainder of 0.25 dB steps. Only -46..0 dB reach the line.
    void WriteAttenuation(const std::string& name, int field, const TParam& row, const TValue& value) {
        std::int64_t a = WholeNumber(field, value);
        const bool transmit = name == "AttenTr1" || name == "AttenTr2" || name == "AttenTrAUX";
        NewItem(name, row, transmit ? TEncoding::Level : TEncoding::Attenuation);
        if (transmit) {
            const std::int64_t r = LineResistance(); // -24 .. 0
            image_.items.back().correction = static_cast<int>(r);
            // The column holds 32 bits (checked as typed), so the sums below cannot overflow.
            if (a + r < kLevelMin || a + r > kLevelMax)
                OutOfRange(row, a, kLevelMin - r, kLevelMax - r,
                           " (уровень с поправкой на сопротивление линии " + std::to_string(r) +
                               " дБ должен лежать в пределах " + std::to_string(kLevelMin) + ".." +
                               std::to_string(kLevelMax) + " дБ)");
            a += r;
        } else if (a < kReceiveLevelMin || a > kReceiveLevelMax) {
            OutOfRange(row, a, kReceiveLevelMin, kReceiveLevelMax, "");
        }
        const double x = (2.5 - static_cast<double>(a)) / 0.25;
        const double q = x / 6;
        const double coarse = RoundHalfEven(q);
        const double fine = RoundHalfEven((q - std::trunc(q)) * 6);
        WriteParam(row, static_cast<std::int64_t>(coarse));
        param_ = 1;
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
        } catch (const EValueError& e) {
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
    const std::vector<std::pair<std::string, std::string>>& sameAs_;
    TSettingsImage& image_;
    int code_;
    int param_ = 0;
};

TSettingsImage BuildSettingsImage(TDMTables& dm, TTable& table,
                                  const std::vector<std::pair<std::string, std::string>>& sameAs) {
    RequireOpen(table);
    TSettingsImage image;
    TImageBuilder(dm, table, sameAs, image).Build();
    return image;
}

TSettingsImage WriteSettingsFile(TDMTables& dm, IHost& host, TTable& table) {
    RequireOpen(table);
    SystemCode(table);
    // The file is created before the record is committed: a folder where it cannot be made
    // leaves the record's edit pending.
    std::ofstream out(kImageFileName, std::ios::binary | std::ios::trunc);
    if (!out) {
        const int err = errno;
        std::error_code ec;
        throw EInOutError("Не удалось создать файл " + std::string(kImageFileName) + " в папке " +
                          std::filesystem::current_path(ec).string() + ": " + std::strerror(err));
    }
    table.ApplyCommitRule();
    TSettingsImage image = BuildSettingsImage(dm, table);
    for (const std::string& note : image.notes)
        host.ShowMessage(note);
    if (!image.Complete())
        host.ShowMessage(image.refusal);
    // A build stopped by a missing row or an empty column leaves the lines before the stop; a
    // value the encoding cannot hold leaves the file empty.
    if (!image.valueRefused)
        out << image.FileText();
    out.close();
    if (out.fail())
        throw EInOutError("Не удалось записать файл " + std::string(kImageFileName) + ": " +
                          std::strerror(errno));
    return image;
}

} // namespace talmar
