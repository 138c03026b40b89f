// The modem's own checksum and code page, kept apart from the program's (link/) on purpose: the
// simulator stands for the hardware and must not share the program's mistakes.

#include "sim/ModemSim.h"

namespace talmar::sim {

uint16_t Crc16(const uint8_t* data, std::size_t count) {
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

void AppendCrc(TBytes& frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

bool CrcOk(const TBytes& frame) {
    if (frame.size() < 2) {
        return false;
    }
    const uint16_t crc = Crc16(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

namespace {

// Code points of 0x80..0xBF in Windows-1251 (0 where the code is unassigned).
constexpr char32_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

uint8_t EncodeChar(char32_t c) {
    if (c < 0x80) {
        return static_cast<uint8_t>(c);
    }
    if (c >= 0x0410 && c <= 0x044F) { // А..я
        return static_cast<uint8_t>(0xC0 + (c - 0x0410));
    }
    for (int i = 0; i < 64; ++i) {
        if (kHigh[i] != 0 && kHigh[i] == c) {
            return static_cast<uint8_t>(0x80 + i);
        }
    }
    return '?';
}

} // namespace

TBytes ToCp1251(const std::string& utf8) {
    TBytes out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        int extra = 0;
        char32_t c = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            out.push_back('?');
            ++i;
            continue;
        }
        bool ok = i + static_cast<std::size_t>(extra) < utf8.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto cb = static_cast<uint8_t>(utf8[i + k]);
            if ((cb & 0xC0) != 0x80) {
                ok = false;
            } else {
                c = (c << 6) | (cb & 0x3F);
            }
        }
        if (!ok) {
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(EncodeChar(c));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

} // namespace talmar::sim
