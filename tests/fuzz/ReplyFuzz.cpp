// The checks the program makes on a modem's reply, and the identification text it takes from one.
//
// Every input is used three ways:
//   - as received bytes (the rest of the 64-byte frame zero, as the port leaves it): the CRC
//     check of a 7-byte, a 17-byte and an input-long reply must agree with the simulator's own
//     CRC, write the right CRC over the reply's last two bytes and touch nothing else, and an
//     identification reply that passes gives at most ten text bytes from offset 5 on, N-1 of
//     them, up to the first zero;
//   - as Windows-1251 text: it turns into valid UTF-8 and back into the same bytes; read as
//     UTF-8 (valid or not) it never gains or loses an ASCII character such as a line break, and
//     the program and the simulator encode valid UTF-8 alike;
//   - as what a simulated modem is told to identify itself with: the program must show exactly
//     the text that modem sends.
//
// Layout for the last use: byte 0 says how (bits 0-3: number of text bytes, bit 4: send the
// count byte 1 instead of the true one, bit 5: raw bytes instead of UTF-8 text); the text
// follows from byte 2.

#include "base/Cp1251.h"
#include "link/Modbus.h"
#include "sim/Modem.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace talmar;
using talmar::fuzz::Require;

// The text the program shows for these ten text bytes and count N: N-1 of them (none for N 0
// or 1, never more than ten), ending at the first zero.
std::string ShownText(const uint8_t* field, int n) {
    const int chars = std::clamp(n - 1, 0, kIdentTextBytes);
    std::string text(reinterpret_cast<const char*>(field), static_cast<std::size_t>(chars));
    return text.substr(0, text.find('\0'));
}

void CheckReplyChecks(const uint8_t* data, std::size_t size) {
    TFrame received{};
    std::copy_n(data, std::min<std::size_t>(size, kFrameSize), received.begin());
    const auto crcOk = [&](const TFrame& f, int length) {
        return sim::CrcOk(sim::TBytes(f.begin(), f.begin() + length));
    };
    const int inputLength = static_cast<int>(std::min<std::size_t>(size, kFrameSize));
    for (const int length : {0, 1, 2, kShortReplyLength, kIdentReplyLength, inputLength}) {
        TFrame f = received;
        const bool ok = CrcCheckAndSet(f.data(), length);
        if (length < 2) {
            Require(!ok && f == received, "a reply shorter than its CRC passed or was written to");
            continue;
        }
        Require(ok == crcOk(received, length), "the reply check disagrees with the modem's CRC");
        Require(crcOk(f, length), "the reply check did not leave the right CRC in the reply");
        Require(std::equal(f.begin(), f.begin() + length - 2, received.begin()) &&
                    std::equal(f.begin() + length, f.end(), received.begin() + length),
                "the reply check changed more than the CRC bytes");
    }
    Require(Crc16(data, size) == sim::Crc16(data, size), "the program's CRC differs from the modem's");

    TFrame rx = received;
    TCrcReg reg;
    std::string text = "left over";
    const bool ok = ParseIdentReply(rx, reg, &text);
    Require(ok == crcOk(received, kIdentReplyLength),
            "the identification reply check disagrees with the CRC");
    if (ok)
        Require(text == ShownText(received.data() + 5, received[4]),
                "the identification text is not the N-1 text bytes up to the first zero");
    else
        Require(text == "left over", "a failed identification reply still gave a text");
}

// The ASCII characters of a text, '?' aside: what no encoding into Windows-1251 may add or drop.
std::string AsciiOf(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x80 && c != '?')
            out += c;
    return out;
}

void CheckCodePage(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string utf8 = Cp1251ToUtf8(bytes);
    Require(fuzz::ValidUtf8(utf8), "Windows-1251 text did not become valid UTF-8");
    // 0x98 is the one code Windows-1251 has no character for: it is shown as U+FFFD, written as '?'.
    std::string lettered = bytes;
    std::replace(lettered.begin(), lettered.end(), '\x98', '?');
    Require(Utf8ToCp1251(utf8) == lettered, "Windows-1251 text did not come back as the same bytes");
    // Read as UTF-8, valid or not (a table may hold any bytes): an ASCII character, a line break
    // above all, comes out only where it went in; a valid text the program and the modem encode
    // alike.
    const std::string encoded = Utf8ToCp1251(bytes);
    Require(AsciiOf(encoded) == AsciiOf(bytes), "encoding made or lost an ASCII character");
    if (fuzz::ValidUtf8(bytes)) {
        const sim::TBytes modem = sim::ToCp1251(bytes);
        Require(encoded == std::string(modem.begin(), modem.end()),
                "the program and the modem encode a text differently");
    }
}

void CheckIdentification(const uint8_t* data, std::size_t size) {
    if (size < 2)
        return;
    const uint8_t how = data[0];
    const std::size_t textBytes = std::min<std::size_t>(how & 0x0F, size - 2);
    const bool count = (how & 0x10) != 0;
    const bool raw = (how & 0x20) != 0;
    const std::string given(reinterpret_cast<const char*>(data + 2), textBytes);

    sim::TModemConfig config;
    if (raw)
        config.identBytes = sim::TBytes(given.begin(), given.end());
    else
        config.ident = given;
    if (count)
        config.identCount = data[1];

    // What the modem puts in its reply: at most ten raw bytes, or nine characters of text and
    // room for the closing zero; N the true count unless told otherwise.
    sim::TBytes sent = raw ? sim::TBytes(given.begin(), given.end()) : sim::ToCp1251(given);
    sent.resize(std::min<std::size_t>(sent.size(), raw ? kIdentTextBytes : kIdentTextBytes - 1));
    const int n = count ? data[1] : static_cast<int>(sent.size() + 1);
    sent.resize(kIdentTextBytes, 0);
    const std::string expected = Cp1251ToUtf8(ShownText(sent.data(), n));

    TModbusFrames frames;
    const uint8_t sub = SUB_IDENT;
    const int length = frames.BuildRequest(FN_SERVICE, &sub, 1);
    sim::TModem modem(config);
    const sim::TReply reply =
        modem.Modbus(sim::TBytes(frames.TxFrame.begin(), frames.TxFrame.begin() + length), false);
    Require(reply.bytes.size() == static_cast<std::size_t>(kIdentReplyLength),
            "the modem did not give a 17-byte identification reply");
    std::copy(reply.bytes.begin(), reply.bytes.end(), frames.RxFrame.begin());
    std::string text;
    Require(ParseIdentReply(frames.RxFrame, frames.CrcReg, &text),
            "the modem's identification reply was refused");
    Require(Cp1251ToUtf8(text) == expected,
            "the program shows another identification text than the modem sent");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    CheckReplyChecks(data, size);
    CheckCodePage(data, size);
    CheckIdentification(data, size);
    return 0;
}
