// temp.eep as the modem's EEPROM will get it, and every way a build is refused.

#include "store/SettingsImage.h"
#include "store/Validation.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/ExpectedEeprom.h"

#include <algorithm>
#include <map>
#include <string>

namespace talmar::test {
namespace {

class ImageBuilderTest : public TDataModuleTest {
protected:
    // A frequency record that every check passes, with values chosen to show each conversion.
    void FillLF() {
        SetRecord(dm.TDataLF(), {{"NumKP", 1},
                                 {"NameKP", "КП-1"},
                                 {"CoeffTI1", 1.15},
                                 {"CoeffTI2", 2.0},
                                 {"ELpLocation1", 16},
                                 {"EErrTY1", 15},
                                 {"EForvardTC", 1},
                                 {"EForvardTY", 0},
                                 {"ESuperLongImpTC", 1000},
                                 {"ELongImpTC", 10},
                                 {"EImpTC", 100},
                                 {"ESuperLongImpTY1", 500},
                                 {"ESuperLongImpTY2", 700},
                                 {"ELongImpTY1", 200},
                                 {"ELongImpTY2", 300},
                                 {"EImpTY1", 60},
                                 {"EImpTY2", 140},
                                 {"EControllerFoundAttempts", 3},
                                 {"EPlaceOn", 1},
                                 {"EPlaceOff", 2},
                                 {"EPlaceNumObject1", 3},
                                 {"EPlaceNumObject2", 10},
                                 {"EPlaceNumGroup1", 11},
                                 {"EPlaceNumGroup2", 12},
                                 {"ENumController", 200},
                                 {"EChannelRec1", 19},
                                 {"EChannelRecAUX", 16},
                                 {"EChannelTr1", 2},
                                 {"EChannelTr2", 3},
                                 {"EChannelTrAUX", 15},
                                 {"AttenRec1", -12},
                                 {"AttenRecAUX", 0},
                                 {"AttenTr1", -40},
                                 {"AttenTr2", -28},
                                 {"AttenTrAUX", 4},
                                 {"EUseTI", 1},
                                 {"ResistTr", -6},
                                 {"ECodingIsLong", true}});
    }
    void FillLT() {
        SetRecord(dm.TDataLT(), {{"NumKP", 10},
                                 {"NameKP", "КП-10"},
                                 {"ELpLocation1", 16},
                                 {"ELpLocation2", 17},
                                 {"EErrTY1", 15},
                                 {"EErrTY2", 14},
                                 {"EForvardTC", 1},
                                 {"EForvardTY", 1},
                                 {"ESuperLongImpTY1", 500},
                                 {"ESuperLongImpTY2", 700},
                                 {"ELongImpTY1", 200},
                                 {"ELongImpTY2", 300},
                                 {"EImpTY1", 60},
                                 {"EImpTY2", 140},
                                 {"EWidthImpTC1", 40},
                                 {"EWidthImpTC2", 1000},
                                 {"EDelayImpTC1", 20},
                                 {"EDelayImpTC2", 0},
                                 {"EPlaceOn", 1},
                                 {"EPlaceOff", 2},
                                 {"EPlaceNumObject1", 3},
                                 {"EPlaceNumObject2", 10},
                                 {"EPlaceNumGroup1", 11},
                                 {"EPlaceNumGroup2", 12},
                                 {"EControllerFoundAttempts", 0},
                                 {"ENumController", 2},
                                 {"ENumsTCChannel", 2},
                                 {"EChannelRec1", 5},
                                 {"EChannelRecAUX", 12},
                                 {"EChannelTr1", 6},
                                 {"EChannelTr2", 7},
                                 {"EChannelTrAUX", 11},
                                 {"AttenRec1", -1},
                                 {"AttenRecAUX", -3},
                                 {"AttenTr1", -37},
                                 {"AttenTr2", 7},
                                 {"AttenTrAUX", -3},
                                 {"Book", "заметка"},
                                 {"ResistTr", -9}});
    }
    void FillORTEN() {
        SetRecord(dm.TDataORTEN(), {{"NameKP", "КП ОРТЕН"},
                                    {"ENumController", 1},
                                    {"EControllerFoundAttempts", 3},
                                    {"EChannelRecAUX", 16},
                                    {"EChannelTrAUX", 15},
                                    {"AttenRec1", -12},
                                    {"AttenRecAUX", -6},
                                    {"AttenTr1", -20},
                                    {"AttenTrAUX", -10},
                                    {"Book", "x"},
                                    {"ResistTr", 0}});
    }
    // ParamType.db is the program's alone while it is open.
    void RewriteMap(std::initializer_list<const char*> leaveOut = {}, const std::string& sql = {}) {
        dm.TParamType().Close();
        WriteTestMap(leaveOut);
        if (!sql.empty())
            ExecSql("ParamType.db", sql);
        dm.TParamType().Open();
    }
    std::string Image() { return ReadFileBytes("temp.eep"); }
    bool Has(const std::string& line) { return Image().find(line + "\r\n") != std::string::npos; }
};

TEST_F(ImageBuilderTest, FrequencyRecordImageByteForByte) {
    FillLF();
    ASSERT_TRUE(ProgramSettings(dm, dm.TDataLF()));
    EXPECT_TRUE(host.messages.empty());
    // КП 1 is the channel pair (2, 3); eSysMode follows it and ends the file; 1.15 gives 1 and
    // 149; 1000/10/100 ms become 31250/312/3125 ticks of 32 µs; the levels take the line
    // correction of -6 dB (-40 -> -46: 32 and 2); the empty Book is accepted.
    const char* expected =
        "0001:02\r\n0002:03\r\n0000:01\r\n"
        "0003:01\r\n0004:95\r\n0005:00\r\n0006:02\r\n0007:00\r\n0008:00\r\n"
        "0010:10\r\n0011:0F\r\n0012:01\r\n0013:00\r\n"
        "0014:12\r\n0015:7A\r\n0016:38\r\n0017:01\r\n0018:35\r\n0019:0C\r\n"
        "001A:F4\r\n001B:01\r\n001C:BC\r\n001D:02\r\n001E:C8\r\n001F:00\r\n0020:2C\r\n0021:01\r\n"
        "0022:3C\r\n0023:00\r\n0024:8C\r\n0025:00\r\n"
        "0026:03\r\n0027:01\r\n0028:02\r\n0029:03\r\n002A:0A\r\n002B:0B\r\n002C:0C\r\n002D:C8\r\n"
        "002E:13\r\n002F:10\r\n0030:02\r\n0031:03\r\n0032:0F\r\n"
        "0033:0A\r\n0034:04\r\n0035:02\r\n0036:04\r\n0037:20\r\n0038:02\r\n0039:18\r\n003A:02\r\n"
        "003B:03\r\n003C:00\r\n"
        "003D:01\r\n003E:01\r\n0000:01\r\n";
    EXPECT_EQ(Image(), expected);
    EXPECT_EQ(command.fileName, "temp.eep");
    EXPECT_EQ(command.programmed, std::vector<std::string>{"TDataLF"});
}

TEST_F(ImageBuilderTest, TimeRecordImageByteForByte) {
    FillLT();
    ASSERT_TRUE(ProgramSettings(dm, dm.TDataLT()));
    // КП 10 is the time pair (4, 5); the answer durations are not converted; -37 - 9 = -46 dB
    // gives 32 and 2.
    const char* expected =
        "0001:04\r\n0002:05\r\n0000:02\r\n"
        "0010:10\r\n0040:11\r\n0011:0F\r\n0041:0E\r\n0012:01\r\n0013:01\r\n"
        "001A:F4\r\n001B:01\r\n001C:BC\r\n001D:02\r\n001E:C8\r\n001F:00\r\n0020:2C\r\n0021:01\r\n"
        "0022:3C\r\n0023:00\r\n0024:8C\r\n0025:00\r\n"
        "0042:28\r\n0043:00\r\n0044:E8\r\n0045:03\r\n0046:14\r\n0047:00\r\n0048:00\r\n0049:00\r\n"
        "0027:01\r\n0028:02\r\n0029:03\r\n002A:0A\r\n002B:0B\r\n002C:0C\r\n"
        "0026:00\r\n002D:02\r\n004A:02\r\n002E:05\r\n002F:0C\r\n0030:06\r\n0031:07\r\n0032:0B\r\n"
        "0033:02\r\n0034:02\r\n0035:04\r\n0036:04\r\n0037:20\r\n0038:02\r\n0039:03\r\n003A:00\r\n"
        "003B:0A\r\n003C:04\r\n0000:02\r\n";
    EXPECT_EQ(Image(), expected);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ImageBuilderTest, OrtenRecordSkipsSysModeAndV4433) {
    // The map has no rows for SysMode and V4433 and both are empty: they are skipped unseen.
    FillORTEN();
    ASSERT_TRUE(ProgramSettings(dm, dm.TDataORTEN()));
    EXPECT_EQ(Image(),
              "002D:01\r\n0026:03\r\n002F:10\r\n0032:0F\r\n0033:0A\r\n0034:04\r\n0035:06\r\n0036:04\r\n"
              "0037:0F\r\n0038:00\r\n003B:08\r\n003C:02\r\n0000:03\r\n");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ImageBuilderTest, AttenuationSteps) {
    // a in dB -> coarse 1.5 dB units and fine 0.25 dB steps; receive levels take no correction,
    // transmit levels are given here with the line correction of -24 dB to be added.
    const struct {
        int a;
        const char* coarse;
        const char* fine;
    } cases[] = {{0, "02", "04"},   {-1, "02", "02"},  {-2, "03", "00"}, {-3, "04", "04"},
                 {-12, "0A", "04"}, {-34, "18", "02"}, {-46, "20", "02"}};
    FillORTEN();
    for (const auto& c : cases) {
        SetRecord(dm.TDataORTEN(),
                  {{"AttenRec1", std::max(c.a, -34)}, {"ResistTr", -24}, {"AttenTr1", c.a + 24}});
        ASSERT_TRUE(ProgramSettings(dm, dm.TDataORTEN())) << c.a;
        EXPECT_TRUE(Has(std::string("0037:") + c.coarse) && Has(std::string("0038:") + c.fine)) << c.a;
        if (c.a >= -34) {
            EXPECT_TRUE(Has(std::string("0033:") + c.coarse) && Has(std::string("0034:") + c.fine)) << c.a;
        }
    }
}

TEST_F(ImageBuilderTest, KPNumberPairs) {
    const struct {
        bool frequency;
        int number;
        const char* pair; // eNumKP1 and eNumKP2 lines, empty when none is written
    } cases[] = {{true, 1, "0001:02\r\n0002:03\r\n"},
                 {true, 5, "0001:02\r\n0002:07\r\n"},
                 {true, 6, "0001:03\r\n0002:04\r\n"},
                 {true, 15, "0001:06\r\n0002:07\r\n"},
                 {true, 16, ""},
                 {true, 0, ""},
                 {false, 1, "0001:01\r\n0002:02\r\n"},
                 {false, 5, "0001:02\r\n0002:03\r\n"},
                 {false, 10, "0001:04\r\n0002:05\r\n"},
                 {false, 15, ""}};
    FillLF();
    FillLT();
    for (const auto& c : cases) {
        TTable& t = c.frequency ? dm.TDataLF() : dm.TDataLT();
        SetRecord(t, {{"NumKP", c.number}});
        ASSERT_TRUE(ProgramSettings(dm, t)) << c.number;
        const std::string sys = c.frequency ? "0000:01\r\n" : "0000:02\r\n";
        EXPECT_EQ(Image().substr(0, std::string(c.pair).size() + 9), c.pair + sys) << c.number;
    }
}

TEST_F(ImageBuilderTest, RefusalsStopTheBuildAndProgramNothing) {
    const std::string empty = "\" незаполнен. Внесите данные и повторите прошивку";
    const struct {
        const char* field;
        TValue value;
        const char* leaveOut;
        std::string message;
    } cases[] = {
        {"NameKP", TValue(), nullptr, "Параметр \"Имя NameKP" + empty},
        {"EImpTC", 100, "EImpTC", "Тимбо, внеси в TParamType параметр EImpTC"},
        // A transmit level cannot be encoded without its line correction.
        {"ResistTr", TValue(), nullptr, "Параметр \"Имя ResistTr" + empty},
        {"ResistTr", -7, nullptr,
         "Параметр \"Имя ResistTr\": значение -7 не входит в список сопротивлений линии "
         "(0, -6, -9, -15, -18, -21, -24 дБ). Выберите сопротивление линии и повторите прошивку"},
    };
    FillLF();
    for (const auto& c : cases) {
        RewriteMap(c.leaveOut ? std::initializer_list<const char*>{c.leaveOut}
                              : std::initializer_list<const char*>{});
        FillLF();
        SetRecord(dm.TDataLF(), {{c.field, c.value}});
        host.messages.clear();
        EXPECT_FALSE(ProgramSettings(dm, dm.TDataLF())) << c.message;
        ASSERT_EQ(host.Texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(host.messages[0].caption, kAppTitle);
        // The build stopped where the fault lies: the lines before it stay, nothing after.
        EXPECT_EQ(Image().rfind("0000:01\r\n"), 18u) << c.message;
    }
    EXPECT_TRUE(command.programmed.empty());
    EXPECT_TRUE(command.fileName.empty());
}

// A file may hold what no one could type: such values are refused before anything is written
// for them, naming what and where, whether the build or the check meets them first.
TEST_F(ImageBuilderTest, ValuesFromTheFileAreCheckedAsTypedOnes) {
    const std::string fix = ". Исправьте данные и повторите прошивку";
    const std::string place = "Таблица Data_LF, запись 1 (КП \"КП-1\"), поле ";
    const struct {
        const char* set;
        std::string message;
    } cases[] = {
        // 18446744073709552 ms would wrap to 12 ticks of 32 µs inside the conversion.
        {"EImpTC = 18446744073709552", "Параметр \"Имя EImpTC\": " + place +
                                           "EImpTC: значение 18446744073709552 вне пределов " +
                                           "-2147483648..2147483647" + fix},
        {"NumKP = 'abc'",
         "Параметр \"Имя NumKP\": " + place + "NumKP: \"abc\" не является целым числом" + fix},
        {"EPlaceOn = 2.5",
         "Параметр \"Имя EPlaceOn\": " + place + "EPlaceOn: Значение 2.5 не является целым числом" + fix},
        {"CoeffTI2 = '1,5x'",
         "Параметр \"Имя CoeffTI2\": " + place + "CoeffTI2: \"1,5x\" не является числом" + fix},
        {"ECodingIsLong = 'может быть'",
         "Параметр \"Имя ECodingIsLong\": " + place +
             "ECodingIsLong: \"может быть\" не является логическим значением" + fix},
        {"EImpTY1 = ' '", "Параметр \"Имя EImpTY1\" незаполнен. Внесите данные и повторите прошивку"},
        {"AttenTr1 = -9223372036854775807", "Параметр \"Имя AttenTr1\": " + place +
                                                "AttenTr1: значение -9223372036854775807 вне пределов " +
                                                "-2147483648..2147483647" + fix},
    };
    for (const auto& c : cases) {
        FillLF();
        dm.TDataLF().Close();
        ExecSql("Data_LF.DB", std::string("UPDATE Data_LF SET ") + c.set);
        dm.TDataLF().Open();
        host.messages.clear();
        EXPECT_FALSE(ProgramSettings(dm, dm.TDataLF())) << c.set;
        EXPECT_FALSE(CheckSettings(dm, host, dm.TDataLF())) << c.set;
        EXPECT_EQ(host.Texts(), (std::vector<std::string>{c.message, c.message})) << c.set;
    }
    EXPECT_TRUE(command.programmed.empty());
}

// Whatever editor or file a value came from, the builder encodes only what the modem can hold:
// anything else stops the build naming the КП, the parameter, the value and its range, and leaves
// temp.eep empty. The limits themselves are accepted.
TEST_F(ImageBuilderTest, ValuesTheEncodingCannotHoldStopTheBuild) {
    const std::string fix = ". Исправьте данные и повторите прошивку";
    const std::string kp = "КП \"КП-1\": параметр ";
    const struct {
        std::initializer_list<std::pair<const char*, TValue>> set;
        std::string message;
    } cases[] = {
        // -6 dB of line correction: the level must lie in -40..6.
        {{{"AttenTrAUX", 7}},
         kp +
             "\"Имя AttenTrAUX\": значение 7 вне допустимых пределов -40..6 (уровень с "
             "поправкой на сопротивление линии -6 дБ должен лежать в пределах -46..0 дБ)" +
             fix},
        {{{"AttenTr1", -41}},
         kp +
             "\"Имя AttenTr1\": значение -41 вне допустимых пределов -40..6 (уровень с "
             "поправкой на сопротивление линии -6 дБ должен лежать в пределах -46..0 дБ)" +
             fix},
        // A legal pair (-24, 20) that a line-resistance change made illegal.
        {{{"ResistTr", 0}, {"AttenTr2", 20}},
         kp +
             "\"Имя AttenTr2\": значение 20 вне допустимых пределов -46..0 (уровень с поправкой на "
             "сопротивление линии 0 дБ должен лежать в пределах -46..0 дБ)" +
             fix},
        {{{"AttenRec1", 5}}, kp + "\"Имя AttenRec1\": значение 5 вне допустимых пределов -34..0" + fix},
        {{{"AttenRecAUX", -35}},
         kp + "\"Имя AttenRecAUX\": значение -35 вне допустимых пределов -34..0" + fix},
        // 2098 ms is 65562 ticks of 32 µs: its hex digits would be cut in the image.
        {{{"EImpTC", 2098}},
         kp +
             "\"Имя EImpTC\": значение 2098 мс (в единицах по 32 мкс 65562) не помещается в EEPROM: "
             "допустимы значения от -2097 до 2097 (в 2 байта помещается не более 65535)" +
             fix},
        {{{"ENumController", 256}},
         kp +
             "\"Имя ENumController\": значение 256 не помещается в EEPROM: "
             "допустимы значения от -255 до 255 (в 1 байт помещается не более 255)" +
             fix},
    };
    for (const auto& c : cases) {
        FillLF();
        SetRecord(dm.TDataLF(), c.set);
        host.messages.clear();
        WriteFileBytes("temp.eep", "old");
        EXPECT_FALSE(ProgramSettings(dm, dm.TDataLF())) << c.message;
        EXPECT_EQ(host.Texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(Image(), "") << c.message;
        // The in-memory image says the same, and holds no byte of the refused value.
        const TSettingsImage image = BuildSettingsImage(dm, dm.TDataLF());
        EXPECT_EQ(image.refusal, c.message);
        EXPECT_TRUE(image.valueRefused);
    }
    EXPECT_TRUE(command.programmed.empty());

    FillLF();
    SetRecord(dm.TDataLF(), {{"ENumController", 255},
                             {"EImpTY1", -65535},
                             {"AttenTr1", 6},
                             {"AttenTr2", -40},
                             {"AttenRec1", -34},
                             {"AttenRecAUX", 0},
                             {"EImpTC", 2097}});
    host.messages.clear();
    ASSERT_TRUE(ProgramSettings(dm, dm.TDataLF())) << testing::PrintToString(host.Texts());
    // Magnitudes are written: -65535 gives FF FF; 2097 ms is 65531 ticks.
    EXPECT_TRUE(Has("002D:FF") && Has("0022:FF") && Has("0023:FF") && Has("0018:FB") && Has("0019:FF"));
}

// What a modem's bytes stand for is read back in the table's units; the bytes of the image give
// the record's own values back.
TEST_F(ImageBuilderTest, ImageBytesDecodeToTheRecordsValues) {
    FillLF();
    const TSettingsImage image = BuildSettingsImage(dm, dm.TDataLF());
    ASSERT_TRUE(image.Complete());
    std::map<std::string, std::string> decoded;
    for (std::size_t i = 0; i < image.items.size(); ++i) {
        std::vector<TImageByte> layout;
        std::vector<uint8_t> values;
        for (const TImageByte& b : image.bytes)
            if (b.item == static_cast<int>(i))
                layout.push_back(b), values.push_back(b.value);
        decoded[image.items[i].column] = DecodeItem(image.items[i], layout, values).value_or("?");
    }
    EXPECT_EQ(decoded["NumKP"], "1");
    EXPECT_EQ(decoded["CoeffTI1"], "1.149");
    EXPECT_EQ(decoded["EImpTC"], "100 мс");
    EXPECT_EQ(decoded["ELongImpTC"], "10 мс");
    EXPECT_EQ(decoded["EImpTY1"], "60");
    EXPECT_EQ(decoded["AttenTr1"], "-40 дБ");
    EXPECT_EQ(decoded["AttenTrAUX"], "4 дБ");
    EXPECT_EQ(decoded["AttenRec1"], "-12 дБ");
    EXPECT_EQ(decoded["AttenRecAUX"], "0 дБ");
    EXPECT_EQ(decoded[""], "1");
    // Bytes no value makes are no value: a fine step of 3, ticks between two durations, a pair
    // of channels that counts no КП.
    const auto item = [&](const char* column) {
        for (std::size_t i = 0; i < image.items.size(); ++i)
            if (image.items[i].column == column)
                return static_cast<int>(i);
        return -1;
    };
    const auto layoutOf = [&](int i) {
        std::vector<TImageByte> layout;
        for (const TImageByte& b : image.bytes)
            if (b.item == i)
                layout.push_back(b);
        return layout;
    };
    const int level = item("AttenTr1"), ticks = item("EImpTC"), kp = item("NumKP");
    EXPECT_EQ(DecodeItem(image.items[level], layoutOf(level), {20, 3}), std::nullopt);
    EXPECT_EQ(DecodeItem(image.items[level], layoutOf(level), {24, 2}), "-28 дБ");
    EXPECT_EQ(DecodeItem(image.items[ticks], layoutOf(ticks), {0x36, 0x0C}), std::nullopt);
    EXPECT_EQ(DecodeItem(image.items[kp], layoutOf(kp), {3, 2}), std::nullopt);
    EXPECT_EQ(DecodeItem(image.items[kp], layoutOf(kp), {6, 7}), "15");
    // eSysMode is written twice; programming leaves one byte per address.
    const std::vector<TImageByte> effective = image.Effective();
    EXPECT_EQ(effective.size(), image.bytes.size() - 1);
    EXPECT_EQ(effective.front().addr, 0);
}

TEST_F(ImageBuilderTest, MissingDerivedRowsAreReportedAndTheBuildGoesOn) {
    RewriteMap({"eSysMode", "AttenTr1Prec", "ec12"});
    FillLF();
    ASSERT_TRUE(ProgramSettings(dm, dm.TDataLF()));
    EXPECT_EQ(host.Texts(), (std::vector<std::string>{"Тимбо, внеси в TParamType параметр eSysMode",
                                                      "Тимбо, внеси в TParamType параметр ec12",
                                                      "Тимбо, внеси в TParamType параметр AttenTr1Prec",
                                                      "Тимбо, внеси в TParamType параметр eSysMode"}));
    EXPECT_FALSE(Has("0038:02"));
    EXPECT_FALSE(Has("0000:01"));
    EXPECT_EQ(command.programmed.size(), 1u);
}

TEST_F(ImageBuilderTest, PendingEditIsCommittedAndTheOldImageReplaced) {
    WriteFileBytes("temp.eep", std::string(5000, 'x'));
    FillLF();
    dm.TDataLF().Edit();
    dm.TDataLF().SetFieldByName("EUseTI", 0);
    ASSERT_TRUE(ProgramSettings(dm, dm.TDataLF()));
    EXPECT_EQ(dm.TDataLF().State(), TTableState::Browse);
    EXPECT_TRUE(Has("003D:00"));
    EXPECT_EQ(Image().find('x'), std::string::npos);
}

// The file is made before the commit rule: where it cannot be, the edit stays pending.
TEST_F(ImageBuilderTest, AnImageThatCannotBeWrittenIsAnError) {
    std::filesystem::create_directory("temp.eep");
    FillLF();
    dm.TDataLF().Edit();
    dm.TDataLF().SetFieldByName("EUseTI", 0);
    EXPECT_THROW(ProgramSettings(dm, dm.TDataLF()), std::runtime_error);
    EXPECT_TRUE(command.programmed.empty());
    EXPECT_EQ(dm.TDataLF().State(), TTableState::Edit);
    dm.TDataLF().Cancel();
    EXPECT_EQ(dm.TDataLF().FieldByName("EUseTI").AsInteger(), 1);
}

// A disk that fills up while temp.eep is written: the file was created, its writes fail.
TEST_F(ImageBuilderTest, AnImageThatCannotBeWrittenToTheEndIsAnError) {
    std::filesystem::create_symlink("/dev/full", "temp.eep");
    FillLF();
    try {
        ProgramSettings(dm, dm.TDataLF());
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Не удалось записать файл temp.eep"), std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(command.programmed.empty());
    EXPECT_TRUE(command.fileName.empty());
}

// The expectation the window and talmar-cli tests compare the modem's EEPROM with: of several
// lines for one address the modem keeps the one the reader's sort puts last.
TEST(ExpectedEeprom, FollowsTheReadersOrderForLinesOfOneAddress) {
    EXPECT_EQ(EepromAfterSettingsFile("0005:11\r\n0001:AA\r\n0005:22\r\n", 6),
              (std::vector<uint8_t>{0xFF, 0xAA, 0xFF, 0xFF, 0xFF, 0x11}));
    EXPECT_EQ(EepromAfterSettingsFile("0005:A1\r\n0005:B2\r\n0005:C3\r\n", 6)[5], 0xA1);
    // Two lines of address 0 end up first and the last pass swaps them back.
    EXPECT_EQ(EepromAfterSettingsFile("0000:01\r\n0003:05\r\n0000:02\r\n", 4)[0], 0x02);
}

TEST_F(ImageBuilderTest, ParameterWithoutAddressIsRefused) {
    RewriteMap({}, "UPDATE ParamType SET Addr = NULL WHERE NameEng = 'EUseTI'");
    FillLF();
    EXPECT_FALSE(ProgramSettings(dm, dm.TDataLF()));
    EXPECT_EQ(host.Texts(),
              std::vector<std::string>{
                  "В TParamType у параметра EUseTI не заполнен адрес (Addr). Настройки в модем не прошиты"});
    // An address that does not fit an image line, however large, or is no number at all.
    for (const char* addr : {"65535", "9223372036854775807", "'x'", "-1"}) {
        RewriteMap({}, std::string("UPDATE ParamType SET Addr = ") + addr + " WHERE NameEng = 'ec12'");
        host.messages.clear();
        EXPECT_FALSE(ProgramSettings(dm, dm.TDataLF())) << addr;
        ASSERT_EQ(host.messages.size(), 1u) << addr;
        EXPECT_NE(host.messages[0].text.find("В TParamType у параметра ec12 неверный адрес"),
                  std::string::npos)
            << host.messages[0].text;
    }
    EXPECT_TRUE(command.programmed.empty());
}

} // namespace
} // namespace talmar::test
