// Image files: the Generic line format, Intel HEX against binutils, and the order of the sort.
#include "base/ImageFile.h"

#include "link/Programmator.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace talmar;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

namespace {

TImage ReadGeneric(const std::string& text, TTypePROM type) {
    return ParseImage(text, type, "test.rom").entries;
}

std::string ErrorOf(const std::string& text, TTypePROM type, const std::string& name = "test.rom") {
    try {
        ParseImage(text, type, name);
    } catch (const ETalmar& e) {
        // Every refusal of a file is of kind File, the bad number's EConvertError too.
        EXPECT_EQ(e.Kind(), TErrorKind::File);
        return e.what();
    }
    return "(no error)";
}

// The exchange sort the modem tools have always used; the order of entries that share an address
// is whatever it gives.
void ReferenceSort(TImage& a) {
    const int n = static_cast<int>(a.size());
    if (n < 2)
        return;
    for (int p = 0; p < n; ++p)
        for (int k = 0; k <= std::max(0, n - 2 - p); ++k)
            if (a[k].Address >= a[k + 1].Address)
                std::swap(a[k], a[k + 1]);
}

} // namespace

TEST(ImageFile, GenericLinesGiveSortedEntries) {
    EXPECT_EQ(ReadGeneric("000002:1111\r\n000000:3333\r\n000001:2222\r\n", tpFLASH),
              (TImage{{0, 0x3333}, {1, 0x2222}, {2, 0x1111}}));
    // Six-digit FLASH addresses wrap at 65536; lower case and trailing text are fine.
    EXPECT_EQ(ReadGeneric("010005:c00a ; reset\n", tpFLASH), (TImage{{5, 0xC00A}}));
    EXPECT_EQ(ReadGeneric("0010:3F\r\n000F:ff", tpEEPROM), (TImage{{0x0F, 0xFF}, {0x10, 0x3F}}));
    // Entries of one address stay, in the order the exchange sort leaves them.
    EXPECT_EQ(ReadGeneric("0005:11\r\n0001:AA\r\n0005:22\r\n", tpEEPROM),
              (TImage{{1, 0xAA}, {5, 0x22}, {5, 0x11}}));
    EXPECT_EQ(ReadGeneric("0005:A1\r\n0005:B2\r\n0005:C3\r\n", tpEEPROM),
              (TImage{{5, 0xB2}, {5, 0xC3}, {5, 0xA1}}));
    EXPECT_TRUE(ReadGeneric("", tpFLASH).empty());
}

TEST(ImageFile, LineEndsDoNotChangeTheImage) {
    const TImage expected = ReadGeneric("000000:C00A\r\n000001:1234\r\n", tpFLASH);
    for (const char* text : {"000000:C00A\r\n000001:1234", "000000:C00A\n000001:1234\n",
                             "000000:C00A\n000001:1234", "000000:C00A\r000001:1234\r"})
        EXPECT_EQ(ReadGeneric(text, tpFLASH), expected) << text;
}

TEST(ImageFile, GenericFieldErrorsNameTheTextTried) {
    struct {
        std::string text;
        TTypePROM type;
        std::string error;
    } cases[] = {
        {"000000:C00A\r\n\r\n000001:1234\r\n", tpFLASH, "'$' is not a valid integer value"},
        {"000000:C00A\r\n\r\n", tpFLASH, "'$' is not a valid integer value"},
        {"0002:1111\r\n", tpFLASH, "'$0002:1' is not a valid integer value"},
        {"00 000:1234\r\n", tpFLASH, "'$00 000' is not a valid integer value"},
        {"000000:12G4\r\n", tpFLASH, "'$12G4' is not a valid integer value"},
        {"000000:\r\n", tpFLASH, "'$' is not a valid integer value"},
        {"000010:3F\r\n", tpEEPROM, "'$0:' is not a valid integer value"}, // FLASH layout in an EEPROM file
        {"0010\r\n", tpEEPROM, "'$' is not a valid integer value"},
        // The file holds Windows-1251 (0xC6 is Ж); the message shows the letter.
        {"\xC6"
         "010:3F\r\n",
         tpEEPROM, "'$Ж010' is not a valid integer value"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(c.text, c.type), c.error) << c.text;
}

TEST(ImageFile, GenericFieldCutShortIsRefusedNamingTheLine) {
    // A truncated line must not program a smaller number: "C0" is not the word 0x00C0.
    struct {
        std::string text;
        TTypePROM type;
        std::string error;
    } cases[] = {
        {"000000:C00A\r\n000001:C0\r\n", tpFLASH,
         "строка 2 файла fw.rom: поле слова \"C0\" неполное, нужно 4 шестнадцатеричные цифры — строка "
         "обрезана?"},
        {"00001", tpFLASH,
         "строка 1 файла fw.rom: поле адреса \"00001\" неполное, нужно 6 шестнадцатеричных цифр — строка "
         "обрезана?"},
        {"0000:11\n0001:2\n", tpEEPROM,
         "строка 2 файла fw.rom: поле байта \"2\" неполное, нужно 2 шестнадцатеричные цифры — строка "
         "обрезана?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(c.text, c.type, "/some/dir/fw.rom"), c.error) << c.text;
}

TEST(ImageFile, SortEqualsTheExchangeSortOnRandomImages) {
    std::mt19937 rng(20240611);
    int compared = 0;
    for (int round = 0; round < 3000; ++round) {
        const int n = round < 40 ? round % 8 : static_cast<int>(rng() % (round < 2900 ? 60 : 700));
        // From "nearly all the same address" to "nearly all distinct".
        const uint32_t spread = 1 + rng() % (round % 3 == 0 ? 4 : round % 3 == 1 ? 40 : 65536);
        TImage image(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            image[static_cast<std::size_t>(i)] = {static_cast<uint16_t>(rng() % spread),
                                                  static_cast<uint16_t>(i)};
        TImage expected = image;
        ReferenceSort(expected);
        SortImage(image);
        ASSERT_EQ(image, expected) << "round " << round << ", " << n << " entries";
        ++compared;
    }
    EXPECT_EQ(compared, 3000);
}

TEST(ImageFile, UnreadableFileIsAnInOutError) {
    TTempDir dir;
    try {
        ReadImageFile(dir.File("нет.rom"), tpFLASH);
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("Не удалось открыть файл"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("нет.rom"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ReadImageFile(dir.Path().string(), tpFLASH), EInOutError);
}

TEST(ImageFile, LoadImageRefusesWithoutChangingAnythingAndEmptiesOnError) {
    TTempDir dir;
    talmar::test::TRecordingHost host;
    TProgrammator prog(host);
    WriteFileBytes(dir.File("a.rom"), "000000:C00A\r\n");
    ASSERT_TRUE(prog.LoadImage(tpFLASH, dir.File("a.rom")));
    EXPECT_EQ(prog.FLASHCount(), 1);
    EXPECT_EQ(prog.FileNameFLASH(), dir.File("a.rom"));

    EXPECT_FALSE(prog.LoadImage(tpFLASH, ""));
    EXPECT_FALSE(prog.LoadImage(static_cast<TTypePROM>(2), dir.File("a.rom")));
    EXPECT_EQ(prog.FLASHCount(), 1);
    EXPECT_EQ(prog.EEPROMCount(), 0);

    WriteFileBytes(dir.File("bad.rom"), "000000:C00A\r\n\r\n");
    EXPECT_THROW(prog.LoadImage(tpFLASH, dir.File("bad.rom")), EConvertError);
    EXPECT_EQ(prog.FLASHCount(), 0); // nothing half-read is left to program
    EXPECT_EQ(prog.FileNameFLASH(), dir.File("bad.rom"));
}

TEST(ImageFile, GenericFileOfMoreThan65535LinesIsRefused) {
    std::string text;
    for (int i = 0; i < 65536; ++i)
        text += "0000:00\n";
    EXPECT_EQ(ErrorOf(text, tpEEPROM, "/tmp/big.eep"),
              "файл big.eep: больше 65535 строк, такой образ не помещается в память модема");
    text.resize(text.size() - 8);
    EXPECT_EQ(ReadGeneric(text, tpEEPROM).size(), 65535u);
}

// --- Intel HEX ---------------------------------------------------------------------------------

namespace {

std::string Record(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(offset >> 8),
                                  static_cast<uint8_t>(offset & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (const uint8_t b : bytes)
        sum = static_cast<uint8_t>(sum + b);
    bytes.push_back(static_cast<uint8_t>(-sum));
    std::ostringstream s;
    s << ':' << std::uppercase << std::hex;
    for (const uint8_t b : bytes) {
        s.width(2);
        s.fill('0');
        s << static_cast<int>(b);
    }
    return s.str() + "\r\n";
}

const std::string kEof = ":00000001FF\r\n";

std::string Objcopy(const std::string& hexPath, const std::string& binPath) {
    const std::string cmd = "objcopy -I ihex -O binary --gap-fill 0xFF '" + hexPath + "' '" + binPath + "'";
    if (std::system(cmd.c_str()) != 0)
        return {};
    return talmar::test::ReadFileBytes(binPath);
}

// Bytes of an image laid out in memory from its lowest byte to its highest, gaps as 0xFF.
std::map<uint32_t, uint8_t> Bytes(const TImage& image, TTypePROM type) {
    std::map<uint32_t, uint8_t> out;
    for (const auto& e : image) {
        if (type == tpFLASH) {
            out[e.Address * 2u] = static_cast<uint8_t>(e.Value & 0xFF);
            out[e.Address * 2u + 1] = static_cast<uint8_t>(e.Value >> 8);
        } else {
            out[e.Address] = static_cast<uint8_t>(e.Value);
        }
    }
    return out;
}

} // namespace

TEST(ImageFile, IntelHexEqualsObjcopyBinary) {
    TTempDir dir;
    std::mt19937 rng(7);
    struct {
        TTypePROM type;
        uint16_t upper;   // extended linear address (04), or 0
        uint16_t segment; // extended segment address (02), or 0
        uint32_t start;
        int bytes;
    } cases[] = {
        {tpFLASH, 0, 0, 0x0000, 1000},     // plain, ends on an odd byte
        {tpFLASH, 0, 0, 0x0101, 301},      // starts on an odd byte: the word below is half given
        {tpFLASH, 0x0001, 0, 0x0F00, 512}, // above 64 KiB: word addresses 0x8780..
        {tpFLASH, 0, 0x1000, 0x0010, 200}, // segment 0x1000: byte 0x10010
        {tpEEPROM, 0, 0, 0x0000, 512},     {tpEEPROM, 0, 0, 0x01F3, 77},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string hex;
        if (c.upper)
            hex += Record(0x04, 0, {static_cast<uint8_t>(c.upper >> 8), static_cast<uint8_t>(c.upper)});
        if (c.segment)
            hex += Record(0x02, 0, {static_cast<uint8_t>(c.segment >> 8), static_cast<uint8_t>(c.segment)});
        // Records of 16 bytes with a hole of 24 bytes in the middle.
        for (int at = 0; at < c.bytes;) {
            const int len = std::min(16, c.bytes - at);
            std::vector<uint8_t> data(static_cast<std::size_t>(len));
            for (auto& b : data)
                b = static_cast<uint8_t>(rng());
            if (at < c.bytes / 2 || at >= c.bytes / 2 + 24)
                hex += Record(0x00, static_cast<uint16_t>(c.start + static_cast<uint32_t>(at)), data);
            at += len;
        }
        hex += Record(0x05, 0, {0, 0, 0, 0});
        hex += kEof;
        const std::string path = dir.File("case" + std::to_string(n) + ".hex");
        WriteFileBytes(path, hex);
        const std::string bin = Objcopy(path, dir.File("case" + std::to_string(n) + ".bin"));
        ASSERT_FALSE(bin.empty()) << "objcopy failed on " << path;

        const TLoadedImage loaded = ReadImageFile(path, c.type);
        EXPECT_EQ(loaded.format, IntelHEX);
        const uint32_t base = (uint32_t{c.upper} << 16) + (uint32_t{c.segment} << 4) + c.start;
        const auto ours = Bytes(loaded.entries, c.type);
        // Every byte objcopy puts out is ours at the same address (its gap fill is the erased
        // 0xFF we leave unprogrammed)...
        for (std::size_t i = 0; i < bin.size(); ++i) {
            const auto it = ours.find(base + static_cast<uint32_t>(i));
            const uint8_t expected = static_cast<uint8_t>(bin[i]);
            if (it == ours.end()) {
                EXPECT_EQ(expected, 0xFF) << "case " << n << " byte " << i << " missing from the image";
            } else {
                ASSERT_EQ(it->second, expected) << "case " << n << " byte " << i;
            }
        }
        // ...and the only bytes we add are the erased halves of words given half.
        for (const auto& [address, value] : ours) {
            if (address < base || address >= base + bin.size()) {
                EXPECT_EQ(value, 0xFF) << "case " << n << " extra byte at " << address;
            }
        }
        // The entries come sorted and each address once.
        for (std::size_t i = 1; i < loaded.entries.size(); ++i)
            ASSERT_LT(loaded.entries[i - 1].Address, loaded.entries[i].Address);
        ++n;
    }
}

TEST(ImageFile, MalformedIntelHexNamesTheLine) {
    const std::string data = Record(0x00, 0x0000, {0x0A, 0xC0, 0x34, 0x12});
    std::string badSum = data;
    badSum[badSum.size() - 3] = badSum[badSum.size() - 3] == '0' ? '1' : '0';
    struct {
        std::string text;
        TTypePROM type;
        std::string error;
    } cases[] = {
        {data + badSum + kEof, tpFLASH, "строка 2 файла fw.hex: неверная контрольная сумма"},
        {data + "000001:1234\r\n" + kEof, tpFLASH, "строка 2 файла fw.hex: запись не начинается с \":\""},
        {data + ":0400000\r\n" + kEof, tpFLASH,
         "строка 2 файла fw.hex: нечётное число шестнадцатеричных цифр"},
        {data + ":04000000ZZ00000000\r\n" + kEof, tpFLASH,
         "строка 2 файла fw.hex: недопустимый символ в записи (ожидаются шестнадцатеричные цифры)"},
        {":0000\r\n" + kEof, tpFLASH, "строка 1 файла fw.hex: запись слишком короткая"},
        {":0500000001020304F2\r\n" + kEof, tpFLASH,
         "строка 1 файла fw.hex: длина записи 5 не совпадает с числом байтов в строке"},
        {Record(0x06, 0, {}) + kEof, tpFLASH, "строка 1 файла fw.hex: неизвестный тип записи 06"},
        {Record(0x04, 0, {0x00, 0x01}) + data + kEof, tpEEPROM,
         "строка 2 файла fw.hex: адрес 0x10000 вне памяти модема (последний 0xFFFF)"},
        {Record(0x04, 0, {0x00, 0x02}) + data + kEof, tpFLASH,
         "строка 2 файла fw.hex: адрес 0x20000 вне памяти модема (последний 0x1FFFF)"},
        {data, tpFLASH, "файл fw.hex: нет записи конца файла (тип 01), файл обрезан"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(c.text, c.type, "/some/dir/fw.hex"), c.error) << c.text;

    // Lines after the end record are not read; a word given by halves in two records is whole.
    const TImage image = ParseImage(Record(0x00, 0x0003, {0x12}) + Record(0x00, 0x0002, {0x34}) + kEof +
                                        ":garbage\r\n:00000001FF\r\n",
                                    tpFLASH, "fw.hex")
                             .entries;
    EXPECT_EQ(image, (TImage{{1, 0x1234}}));

    // Blank lines an editor left after the end record do not make it a Generic file.
    const TLoadedImage trailing =
        ParseImage(Record(0x00, 0x0000, {0x0A, 0xC0}) + kEof + "\r\n  \r\n\n", tpFLASH, "fw.hex");
    EXPECT_EQ(trailing.format, IntelHEX);
    EXPECT_EQ(trailing.entries, (TImage{{0, 0xC00A}}));
}
