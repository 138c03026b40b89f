#include "base/ImageFile.h"

#include "base/Cp1251.h"
#include "base/Utf8Path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <sstream>

namespace talmar {

namespace {

// Lines end with CR LF, LF or a lone CR; a last line without an end counts, an end at the very
// end of the file does not start another line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Where a Generic line comes from, for messages.
struct TLinePlace {
    std::size_t lineNo;
    const std::string& fileName;
};

// The field at 1-based position pos, len characters. A field that is not all hex digits (an
// empty one included) is the conversion error; one cut short by the end of the line is refused
// too, naming the line, rather than read as the smaller number it spells.
uint32_t GenericField(std::string_view line, std::size_t pos, std::size_t len, const char* what,
                      const TLinePlace& place) {
    const std::string_view field = pos - 1 < line.size() ? line.substr(pos - 1, len) : std::string_view{};
    uint32_t value = 0;
    bool ok = !field.empty();
    for (const char c : field) {
        const int d = HexDigit(c);
        if (d < 0) {
            ok = false;
            break;
        }
        value = value << 4 | static_cast<uint32_t>(d);
    }
    if (!ok)
        throw EConvertError("$" + Cp1251ToUtf8(field), TErrorKind::File);
    if (field.size() < len)
        throw EImageFile("строка " + std::to_string(place.lineNo) + " файла " + place.fileName + ": поле " +
                         what + " \"" + std::string(field) + "\" неполное, нужно " + std::to_string(len) +
                         (len < 5 ? " шестнадцатеричные цифры" : " шестнадцатеричных цифр") +
                         " — строка обрезана?");
    return value;
}

TImageEntry ParseGenericLine(std::string_view line, TTypePROM type, const TLinePlace& place) {
    if (type == tpFLASH) {
        const uint32_t address = GenericField(line, 1, 6, "адреса", place);
        const uint32_t word = GenericField(line, 8, 4, "слова", place);
        return {static_cast<uint16_t>(address & 0xFFFF), static_cast<uint16_t>(word)};
    }
    const uint32_t address = GenericField(line, 1, 4, "адреса", place);
    const uint32_t byte = GenericField(line, 6, 2, "байта", place);
    return {static_cast<uint16_t>(address), static_cast<uint16_t>(byte)};
}

// Empty, or blanks only.
bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

class THexReader {
public:
    THexReader(TTypePROM type, std::string name) : type_(type), name_(std::move(name)) {}

    TImage Read(const std::vector<std::string_view>& lines) {
        for (std::size_t i = 0; i < lines.size() && !ended_; ++i)
            Record(lines[i], i + 1);
        if (!ended_)
            throw EHexFormat("файл " + name_ + ": нет записи конца файла (тип 01), файл обрезан");
        return Entries();
    }

private:
    [[noreturn]] void Fail(std::size_t lineNo, const std::string& what) const {
        throw EHexFormat("строка " + std::to_string(lineNo) + " файла " + name_ + ": " + what);
    }

    void Record(std::string_view line, std::size_t lineNo) {
        // Trailing blanks are harmless; anything else out of place spoils the record.
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty() || line[0] != ':')
            Fail(lineNo, "запись не начинается с \":\"");
        const std::string_view digits = line.substr(1);
        if (digits.size() % 2 != 0)
            Fail(lineNo, "нечётное число шестнадцатеричных цифр");
        std::vector<uint8_t> bytes;
        bytes.reserve(digits.size() / 2);
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            const int hi = HexDigit(digits[i]);
            const int lo = HexDigit(digits[i + 1]);
            if (hi < 0 || lo < 0)
                Fail(lineNo, "недопустимый символ в записи (ожидаются шестнадцатеричные цифры)");
            bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
        }
        if (bytes.size() < 5)
            Fail(lineNo, "запись слишком короткая");
        const std::size_t length = bytes[0];
        if (bytes.size() != length + 5)
            Fail(lineNo, "длина записи " + std::to_string(length) + " не совпадает с числом байтов в строке");
        uint8_t sum = 0;
        for (const uint8_t b : bytes)
            sum = static_cast<uint8_t>(sum + b);
        if (sum != 0)
            Fail(lineNo, "неверная контрольная сумма");

        const uint32_t offset = static_cast<uint32_t>(bytes[1] << 8 | bytes[2]);
        const uint8_t kind = bytes[3];
        const uint8_t* data = bytes.data() + 4;
        switch (kind) {
        case 0x00:
            for (std::size_t i = 0; i < length; ++i) {
                const uint32_t address = base_ + offset + static_cast<uint32_t>(i);
                if (address > Limit())
                    Fail(lineNo,
                         "адрес " + Hex(address) + " вне памяти модема (последний " + Hex(Limit()) + ")");
                bytes_[address] = data[i];
            }
            break;
        case 0x01:
            if (length != 0)
                Fail(lineNo, "запись конца файла должна быть пустой");
            ended_ = true;
            break;
        case 0x02:
        case 0x04:
            if (length != 2)
                Fail(lineNo, "запись адреса должна содержать 2 байта");
            base_ = static_cast<uint32_t>(data[0] << 8 | data[1]) << (kind == 0x02 ? 4 : 16);
            break;
        case 0x03:
        case 0x05:
            // The start address is for a processor that loads the file itself; the modem starts
            // at its reset vector.
            if (length != 4)
                Fail(lineNo, "запись начального адреса должна содержать 4 байта");
            break;
        default:
            Fail(lineNo, "неизвестный тип записи " + Hex(kind, 2));
        }
    }

    // FLASH words are addressed by 16 bits, so 128 KiB of bytes; EEPROM bytes by 16 bits.
    uint32_t Limit() const { return type_ == tpFLASH ? 0x1FFFF : 0xFFFF; }

    static std::string Hex(uint32_t value, int width = 0) {
        std::ostringstream s;
        s << std::uppercase << std::hex;
        if (width > 0) {
            s.width(width);
            s.fill('0');
        } else {
            s << "0x";
        }
        s << value;
        return s.str();
    }

    TImage Entries() const {
        TImage image;
        if (type_ == tpEEPROM) {
            image.reserve(bytes_.size());
            for (const auto& [address, byte] : bytes_)
                image.push_back({static_cast<uint16_t>(address), byte});
            return image;
        }
        for (auto it = bytes_.begin(); it != bytes_.end();) {
            const uint32_t word = it->first / 2;
            uint16_t lo = 0xFF;
            uint16_t hi = 0xFF;
            for (; it != bytes_.end() && it->first / 2 == word; ++it)
                (it->first % 2 == 0 ? lo : hi) = it->second;
            image.push_back({static_cast<uint16_t>(word), static_cast<uint16_t>(hi << 8 | lo)});
        }
        return image;
    }

    TTypePROM type_;
    std::string name_;
    uint32_t base_ = 0;
    bool ended_ = false;
    std::map<uint32_t, uint8_t> bytes_; // a byte given twice keeps the later record's value
};

// Positions 1..n; counts the marked ones in a range.
class TFenwick {
public:
    explicit TFenwick(std::size_t n) : tree_(n + 1, 0) {}
    void Mark(std::size_t pos) {
        for (std::size_t i = pos + 1; i < tree_.size(); i += i & (~i + 1))
            ++tree_[i];
    }
    // Marked positions in [0, end).
    uint32_t Before(std::size_t end) const {
        uint32_t sum = 0;
        for (std::size_t i = end; i > 0; i -= i & (~i + 1))
            sum += tree_[i];
        return sum;
    }

private:
    std::vector<uint32_t> tree_;
};

} // namespace

// How the exchange sort treats entries of one address v (see the header for the sort itself).
// Each pass carries the leftmost of the largest entries still unsorted to the end of the unsorted
// part, and on its way the running maximum jumps over every entry not greater than itself. So:
//  - entries of v are finished, one per pass, once everything greater is finished; those passes
//    take them in their order of the moment, which leaves them reversed;
//  - before that, a pass changes their order only while no greater entry stands before the
//    first of them: that first one then jumps over the others of v up to the first greater
//    entry, and that greater entry leaves the unsorted part.
// Reading the entries of v and the greater entries between them left to right, this comes to:
// an entry of v joins the end of a queue, each greater entry rotates the queue by one. The final
// pass compares the first two entries once more and swaps them when their addresses are equal.
void SortImage(TImage& image) {
    const std::size_t n = image.size();
    if (n < 2)
        return;
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return image[a].Address < image[b].Address; });

    TImage sorted(n);
    const bool distinct = std::adjacent_find(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
                              return image[a].Address == image[b].Address;
                          }) == order.end();
    if (distinct) {
        for (std::size_t i = 0; i < n; ++i)
            sorted[i] = image[order[i]];
        image = std::move(sorted);
        return;
    }

    TFenwick greater(n);
    std::vector<uint32_t> next;
    std::vector<uint32_t> prev;
    std::size_t groupEnd = n;
    while (groupEnd > 0) {
        std::size_t groupStart = groupEnd - 1;
        while (groupStart > 0 && image[order[groupStart - 1]].Address == image[order[groupEnd - 1]].Address)
            --groupStart;
        const std::size_t k = groupEnd - groupStart;
        const uint32_t* pos = order.data() + groupStart; // positions in the file, ascending

        // The queue as a ring: head is its front, a new entry goes in just before the head.
        next.assign(k, 0);
        prev.assign(k, 0);
        uint32_t head = 0;
        for (uint32_t j = 0; j < k; ++j) {
            if (j == 0) {
                next[0] = prev[0] = 0;
            } else {
                const uint32_t tail = prev[head];
                next[tail] = j;
                prev[j] = tail;
                next[j] = head;
                prev[head] = j;
            }
            const std::size_t until = j + 1 < k ? pos[j + 1] : n;
            const uint32_t rotations = greater.Before(until) - greater.Before(pos[j] + 1);
            const uint32_t size = j + 1;
            const uint32_t r = rotations % size;
            if (r <= size - r) {
                for (uint32_t t = 0; t < r; ++t)
                    head = next[head];
            } else {
                for (uint32_t t = 0; t < size - r; ++t)
                    head = prev[head];
            }
        }
        // Read the queue from the front and place it reversed.
        uint32_t at = head;
        for (std::size_t t = 0; t < k; ++t) {
            sorted[groupEnd - 1 - t] = image[pos[at]];
            at = next[at];
        }
        for (std::size_t t = 0; t < k; ++t)
            greater.Mark(pos[t]);
        groupEnd = groupStart;
    }
    if (sorted[0].Address == sorted[1].Address)
        std::swap(sorted[0], sorted[1]);
    image = std::move(sorted);
}

TLoadedImage ParseImage(std::string_view contents, TTypePROM type, const std::string& name,
                        TFileFormat previous) {
    const std::vector<std::string_view> lines = SplitLines(contents);
    const std::string shortName = std::filesystem::path(name).filename().string();
    TLoadedImage result{{}, previous};
    if (lines.empty())
        return result;
    // The file's last line decides how all of it is read; blank lines an editor left at the end
    // do not count.
    auto last = lines.rbegin();
    while (last != lines.rend() && IsBlank(*last))
        ++last;
    result.format = (last != lines.rend() && !last->empty() && (*last)[0] == ':') ? IntelHEX : Generic;
    if (result.format == IntelHEX) {
        result.entries = THexReader(type, shortName).Read(lines);
        return result; // one entry per address, already in order
    }
    if (lines.size() > kMaxGenericLines)
        throw EImageFile("файл " + shortName + ": больше " + std::to_string(kMaxGenericLines) +
                         " строк, такой образ не помещается в память модема");
    result.entries.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        result.entries.push_back(ParseGenericLine(lines[i], type, {i + 1, shortName}));
    SortImage(result.entries);
    return result;
}

TLoadedImage ReadImageFile(const std::string& fileName, TTypePROM type, TFileFormat previous) {
    std::error_code ec;
    if (std::filesystem::is_directory(PathFromUtf8(fileName), ec))
        throw EInOutError("Не удалось открыть файл \"" + fileName + "\": это папка");
    std::ifstream in(PathFromUtf8(fileName), std::ios::binary);
    if (!in) {
        const int err = errno;
        std::string why = err == ENOENT   ? "файл не найден"
                          : err == EACCES ? "нет доступа"
                                          : std::strerror(err);
        throw EInOutError("Не удалось открыть файл \"" + fileName + "\": " + why);
    }
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw EInOutError("Не удалось прочитать файл \"" + fileName + "\"");
    return ParseImage(contents, type, fileName, previous);
}

} // namespace talmar
