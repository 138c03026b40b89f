#pragma once
// The EEPROM image of one settings record, in memory: every byte programming puts into the
// modem, with its address, the parameter it belongs to and how the record's value was encoded,
// so that bytes read back from a modem can be turned into what the table stores. Programming
// writes temp.eep from it; the line check reads the same bytes from the modems.
//
// Building never shows anything and never changes the record: the messages are handed back.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talmar {

class IHost;
class TDMTables;
class TTable;

// The settings image file programming reads, in the current folder.
inline constexpr const char* kImageFileName = "temp.eep";

// The levels the encoding can hold. A transmit level plus the record's line-resistance
// correction c must lie in -46..0 (the level itself in -46-c..-c); a receive attenuation lies in
// the range of its slider.
inline constexpr int kLevelMin = -46;
inline constexpr int kLevelMax = 0;
inline constexpr int kReceiveLevelMin = -34;
inline constexpr int kReceiveLevelMax = 0;

// How a value of the record becomes its bytes.
enum class TEncoding {
    Plain,       // the magnitude, one byte or two (low byte first)
    Ticks,       // a duration in ms as ticks of 32 µs
    KPNumber,    // the КП number as a channel pair: eNumKP1, eNumKP2
    Coefficient, // whole part and thousandths: ec11/ec12 or ec21/ec22
    Level,       // a transmit level in dB, the line correction added: coarse and fine steps
    Attenuation, // a receive attenuation in dB: coarse and fine steps
};

// One value of the record and the bytes it became. It is reported under the parameter row of
// its column (for the closing system code, eSysMode).
struct TImageItem {
    std::string column; // the record's column; empty for the closing eSysMode
    std::string nameEng;
    std::string nameRus;
    TEncoding encoding = TEncoding::Plain;
    int correction = 0; // Level: the line-resistance correction in dB
    int system = 0;     // KPNumber: the system code the channel pairs are counted for
};

struct TImageByte {
    uint16_t addr = 0;
    uint8_t value = 0;
    std::string nameEng; // the parameter whose byte it is (AttenTr1Prec, ec12, eSysMode, ...)
    std::string nameRus;
    int item = 0;  // index into TSettingsImage::items
    int param = 0; // 0 the item's first parameter, 1 its second (fine step, thousandths, eNumKP2)
    int byte = 0;  // 0 the low byte, 1 the high byte of a two-byte parameter
};

struct TSettingsImage {
    std::vector<TImageItem> items;
    std::vector<TImageByte> bytes;  // in the order programming writes them
    std::vector<std::string> notes; // messages of a build that went on (a derived row missing)
    std::string refusal;            // why the build stopped; empty when the image is complete
    // The refusal is a value the encoding cannot hold: no line of the image may be written.
    bool valueRefused = false;

    bool Complete() const { return refusal.empty(); }
    // One byte per address, as programming leaves EEPROM: of several lines of one address the
    // one the image reader's sort puts last. Sorted by address.
    std::vector<TImageByte> Effective() const;
    // The lines of temp.eep.
    std::string FileText() const;
};

// Builds the image of the current record of TDataLF, TDataLT or TDataORTEN. sameAs lists columns
// that are built from another column's value (the time-system modem takes its telesignalling
// series type from the telecontrol one): {"EForvardTC", "EForvardTY"}. Errors of the parameter
// table (not open) come as exceptions.
TSettingsImage BuildSettingsImage(TDMTables& dm, TTable& table,
                                  const std::vector<std::pair<std::string, std::string>>& sameAs = {});

// Writes temp.eep in the current folder from the current record of TDataLF, TDataLT or
// TDataORTEN: the file is made first (a folder where it cannot be made leaves the record's edit
// pending), then the commit rule, the build, every note and the refusal shown to the user, and the
// lines written (those before a stop; none when a value was refused). The image is complete when
// the file may be programmed. Errors of the file and the tables come as exceptions.
TSettingsImage WriteSettingsFile(TDMTables& dm, IHost& host, TTable& table);

// The value an item's bytes stand for, in the unit the table stores it (dB, ms, the КП number,
// the coefficient); bytes[k] is the byte of the item's k-th byte in the image (TSettingsImage
// order restricted to the item), empty where unknown. Where the bytes are no value the encoding
// makes, nullopt: show the bytes instead.
std::optional<std::string> DecodeItem(const TImageItem& item, const std::vector<TImageByte>& layout,
                                      const std::vector<uint8_t>& bytes);

// "0033:0A 0034:04": bytes as the image lines show them.
std::string BytesText(const std::vector<TImageByte>& layout, const std::vector<uint8_t>& bytes);

} // namespace talmar
