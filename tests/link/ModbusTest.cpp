// Framing of the modem's Modbus requests and replies, checked on bytes alone.
#include "link/Modbus.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace talmar;

namespace {

std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

std::vector<uint8_t> Sent(const TModbusFrames& f, int length) {
    return {f.TxFrame.begin(), f.TxFrame.begin() + length};
}

} // namespace

TEST(Modbus, CrcMatchesStandardModbusCheckValues) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x4B37);
    // The Qt SerialBus example frame: 11 03 00 6B 00 03 with CRC 76 87 on the wire.
    const auto frame = Hex("11 03 00 6B 00 03");
    EXPECT_EQ(Crc16(frame.data(), frame.size()), 0x8776);
}

struct TRequestCase {
    uint8_t fn;
    std::string data;
    std::string wire;
};

TEST(Modbus, BuildRequestGivesTheModemsFrames) {
    const TRequestCase cases[] = {
        {FN_SERVICE, "A4", "00 AA 00 00 01 A4 18 28"},
        {FN_SERVICE, "A1", "00 AA 00 00 01 A1 D8 2B"},
        {FN_SERVICE, "A2", "00 AA 00 00 01 A2 98 2A"},
        {FN_SERVICE, "A3", "00 AA 00 00 01 A3 59 EA"},
    };
    for (const auto& c : cases) {
        TModbusFrames f;
        const auto data = Hex(c.data);
        const int length = f.BuildRequest(c.fn, data.data(), static_cast<int>(data.size()));
        EXPECT_EQ(Sent(f, length), Hex(c.wire)) << c.wire;
    }
}

TEST(Modbus, ServiceRequestCarriesTheAddressOfTheLastBlock) {
    TModbusFrames f;
    f.RxFrame.fill(0x77); // the reply buffer is zeroed by every request built
    f.SetTargetAddress(0x0110);
    const uint8_t words[] = {0x0A, 0xC0, 0x34, 0x12};
    int length = f.BuildRequest(FN_WRITE_FLASH, words, 4);
    std::vector<uint8_t> block = Sent(f, length);
    ASSERT_EQ(length, 11);
    EXPECT_EQ(f.RxFrame, TFrame{});
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 9), Hex("00 1F 01 10 04 0A C0 34 12"));
    EXPECT_EQ(block[9] | block[10] << 8, Crc16(block.data(), 9));

    // The end request that follows is built without touching offsets 2 and 3.
    const uint8_t end = SUB_END;
    length = f.BuildRequest(FN_SERVICE, &end, 1);
    const auto request = Sent(f, length);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.begin() + 6), Hex("00 AA 01 10 01 A2"));
    EXPECT_TRUE(CrcCheckAndSet(Sent(f, length).data(), length));
    // A full block of sixteen bytes is the longest request: 23 bytes.
    const std::vector<uint8_t> sixteen(16, 0x5A);
    EXPECT_EQ(f.BuildRequest(FN_WRITE_EEPROM, sixteen.data(), 16), 23);
    EXPECT_THROW(f.BuildRequest(FN_WRITE_EEPROM, sixteen.data(), 17), std::invalid_argument);
}

TEST(Modbus, CrcCheckAndSetTestsAndAlwaysWritesTheCrc) {
    auto reply = Hex("00 AA 00 00 00 00 00");
    ASSERT_FALSE(CrcCheckAndSet(reply.data(), 7)); // zeros in the CRC place: wrong, and now set
    const uint8_t lo = reply[5];
    const uint8_t hi = reply[6];
    EXPECT_TRUE(CrcCheckAndSet(reply.data(), 7));

    auto swapped = reply;
    std::swap(swapped[5], swapped[6]);
    EXPECT_FALSE(CrcCheckAndSet(swapped.data(), 7));
    EXPECT_EQ(swapped[5], lo); // the reply's own bytes are overwritten by the test
    EXPECT_EQ(swapped[6], hi);

    // Length 2 is the CRC of nothing: FF FF.
    uint8_t empty[2] = {0xFF, 0xFF};
    EXPECT_TRUE(CrcCheckAndSet(empty, 2));
    uint8_t one[1] = {0x12};
    EXPECT_FALSE(CrcCheckAndSet(one, 1));
    EXPECT_EQ(one[0], 0x12);
}

namespace {

// A 17-byte identification reply with count n and the text bytes given, with a right CRC.
TFrame IdentReply(int n, const std::string& text) {
    TFrame rx{};
    rx[0] = 0x00;
    rx[1] = FN_SERVICE;
    rx[4] = static_cast<uint8_t>(n);
    for (std::size_t i = 0; i < text.size() && i < 10; ++i)
        rx[5 + i] = static_cast<uint8_t>(text[i]);
    CrcCheckAndSet(rx.data(), kIdentReplyLength);
    return rx;
}

} // namespace

TEST(Modbus, IdentificationTextIsNMinusOneBytesAndNeverMore) {
    const std::string ten = "LTR20 v3.1";
    struct {
        int n;
        std::string text;
    } cases[] = {
        {0, ""},
        {1, ""},
        {2, "L"},
        {10, "LTR20 v3."},
        {11, "LTR20 v3.1"},
        // A modem that claims more than it holds: the CRC after the text is never taken.
        {12, "LTR20 v3.1"},
        {255, "LTR20 v3.1"},
    };
    for (const auto& c : cases) {
        TFrame rx = IdentReply(c.n, ten);
        TCrcReg reg;
        std::string text = "unchanged";
        ASSERT_TRUE(ParseIdentReply(rx, reg, &text)) << c.n;
        EXPECT_EQ(text, c.text) << "N = " << c.n;
    }
    // A short text padded with zeros up to N - 1: the zeros are not part of it.
    TFrame padded = IdentReply(10, std::string("LTR\0\0\0\0\0\0x", 10));
    TCrcReg reg;
    std::string text;
    ASSERT_TRUE(ParseIdentReply(padded, reg, &text));
    EXPECT_EQ(text, "LTR");
}

TEST(Modbus, IdentificationReplyWithBadOrMissingBytesFails) {
    TCrcReg reg;
    std::string text = "unchanged";
    // Sixteen bytes of a good reply and a zero where the last CRC byte should be.
    TFrame shortReply = IdentReply(11, "LTR20 v3.1");
    ASSERT_NE(shortReply[16], 0);
    shortReply[16] = 0;
    EXPECT_FALSE(ParseIdentReply(shortReply, reg, &text));

    // Nothing received at all: RxFrame is all zeros.
    TFrame silent{};
    EXPECT_FALSE(ParseIdentReply(silent, reg, &text));
    EXPECT_EQ(text, "unchanged");
}
