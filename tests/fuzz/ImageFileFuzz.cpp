// The image file reader on arbitrary file contents, FLASH and EEPROM, Generic and Intel HEX.
//
// Input: one mode byte, then the file's bytes.
//   bit 0   FLASH (set) or EEPROM
//   bit 1   the format of the file read before: Intel HEX (set) or Generic
//   bit 7   instead of a file: the bytes are image entries (see SortAgainstExchangeSort)
//
// Whatever the bytes, the reader either gives an image or refuses with a readable message. A
// Generic image holds exactly the entries its lines spell, in the order the modem's exchange sort
// leaves them; an Intel HEX image holds each address once, in ascending order.

#include "base/ImageFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace talmar;
using talmar::fuzz::Fault;
using talmar::fuzz::Require;

// The sort as the modem's old loader did it: n passes of neighbour exchanges, equal addresses
// exchanged too. Quadratic, so only for small images.
void ExchangeSort(TImage& image) {
    const std::size_t n = image.size();
    if (n < 2)
        return;
    for (std::size_t p = 0; p < n; ++p) {
        const std::size_t last = n >= p + 2 ? n - 2 - p : 0;
        for (std::size_t k = 0; k <= last; ++k)
            if (image[k].Address >= image[k + 1].Address)
                std::swap(image[k], image[k + 1]);
    }
}
constexpr std::size_t kExchangeSortLimit = 400;

// Lines as a text editor shows them: CR LF, LF or a lone CR end a line; an end at the very end
// of the file opens no further line.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// A field of exactly width hexadecimal digits at 0-based position pos, or nothing.
std::optional<uint32_t> HexField(std::string_view line, std::size_t pos, std::size_t width) {
    if (line.size() < pos + width)
        return std::nullopt;
    uint32_t v = 0;
    for (const char c : line.substr(pos, width)) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
}

// The entry a Generic line spells: FLASH "AAAAAA:WWWW" (address modulo 65536), EEPROM "AAAA:BB".
std::optional<TImageEntry> GenericEntry(std::string_view line, TTypePROM type) {
    const bool flash = type == tpFLASH;
    const auto address = HexField(line, 0, flash ? 6 : 4);
    const auto value = HexField(line, flash ? 7 : 5, flash ? 4 : 2);
    if (!address || !value)
        return std::nullopt;
    return TImageEntry{static_cast<uint16_t>(*address & 0xFFFF), static_cast<uint16_t>(*value)};
}

void CheckGeneric(std::string_view contents, TTypePROM type, const TImage& image) {
    std::vector<TImageEntry> spelled;
    for (const std::string_view line : Lines(contents)) {
        const auto entry = GenericEntry(line, type);
        if (!entry)
            Fault("a Generic line without its full fields was read: '" + std::string(line.substr(0, 40)) +
                  "'");
        spelled.push_back(*entry);
    }
    Require(spelled.size() == image.size(), "a Generic image has not one entry per line");
    if (spelled.size() <= kExchangeSortLimit) {
        ExchangeSort(spelled);
        Require(spelled == image, "a Generic image is not in the order of the exchange sort");
        return;
    }
    // Too long to sort the slow way: the same entries, ascending.
    Require(std::is_sorted(image.begin(), image.end(),
                           [](const TImageEntry& a, const TImageEntry& b) { return a.Address < b.Address; }),
            "a Generic image is not sorted by address");
    const auto byValue = [](const TImageEntry& a, const TImageEntry& b) {
        return std::pair(a.Address, a.Value) < std::pair(b.Address, b.Value);
    };
    TImage got = image;
    std::sort(spelled.begin(), spelled.end(), byValue);
    std::sort(got.begin(), got.end(), byValue);
    Require(spelled == got, "a Generic image does not hold the entries its lines spell");
}

void CheckHex(std::string_view contents, TTypePROM type, const TImage& image) {
    for (std::size_t i = 1; i < image.size(); ++i)
        Require(image[i - 1].Address < image[i].Address,
                "an Intel HEX image repeats or misorders an address");
    if (type == tpEEPROM)
        for (const TImageEntry& e : image)
            Require(e.Value <= 0xFF, "an EEPROM entry holds more than a byte");
    // Every entry comes from at least one data byte of the file (two hex digits each).
    Require(image.size() <= contents.size() / 2,
            "an Intel HEX image has more entries than the file has bytes");
}

// Bit 7 of the mode byte: three bytes per entry, the first two the address (with bit 7 of the
// first set: only the low four bits of it, so that many entries share an address), the third
// unused; each entry's value is its place in the input, so any reordering shows. The fast sort
// must leave them exactly as the exchange sort does.
void SortAgainstExchangeSort(const uint8_t* data, std::size_t size) {
    TImage image;
    for (std::size_t i = 0; i + 3 <= size && image.size() < kExchangeSortLimit; i += 3) {
        const uint16_t address =
            (data[i] & 0x80) ? (data[i + 1] & 0x0F) : static_cast<uint16_t>(data[i] << 8 | data[i + 1]);
        image.push_back({address, static_cast<uint16_t>(image.size())});
    }
    TImage expected = image;
    ExchangeSort(expected);
    SortImage(image);
    Require(image == expected, "SortImage differs from the exchange sort");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    if (mode & 0x80) {
        SortAgainstExchangeSort(data + 1, size - 1);
        return 0;
    }
    const TTypePROM type = (mode & 1) ? tpFLASH : tpEEPROM;
    const TFileFormat previous = (mode & 2) ? IntelHEX : Generic;
    const std::string_view contents(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const TLoadedImage loaded = ParseImage(contents, type, "firmware.rom", previous);
        Require(loaded.format == IntelHEX || loaded.format == Generic, "an image of no known format");
        if (Lines(contents).empty())
            Require(loaded.entries.empty() && loaded.format == previous,
                    "a file without lines is not an empty image of the previous format");
        else if (loaded.format == Generic)
            CheckGeneric(contents, type, loaded.entries);
        else
            CheckHex(contents, type, loaded.entries);
    } catch (const ETalmar& e) {
        Require(e.Kind() == TErrorKind::File, "a refusal of an image file that is not of kind File");
        const std::string_view text = e.what();
        Require(!text.empty() && talmar::fuzz::ValidUtf8(text),
                "a refusal whose message is empty or not UTF-8");
    }
    return 0;
}
