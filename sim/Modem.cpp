#include "Modem.h"

#include <algorithm>
#include <optional>

namespace talmar::sim {

namespace {

constexpr std::size_t kTextBytes = 10; // text field of the identification and version replies

// Text reply (identification, version): the count N at offset 4 and ten text bytes; the modem
// closes its text with a zero, the last byte counted by N.
TBytes TextField(const std::string& text, const std::optional<TBytes>& raw,
                 const std::optional<uint8_t>& count, uint8_t& n) {
    TBytes bytes = raw ? *raw : ToCp1251(text);
    const std::size_t room = raw ? kTextBytes : kTextBytes - 1;
    if (bytes.size() > room) {
        bytes.resize(room);
    }
    n = count ? *count : static_cast<uint8_t>(bytes.size() + 1);
    bytes.resize(kTextBytes, 0);
    return bytes;
}

} // namespace

TReply TModem::Modbus(const TBytes& f, bool group) {
    TReply reply;
    if (!SpeaksModbus()) {
        reply.note = config.faults.silent ? "модем молчит" : "модем не отвечает по Modbus";
        return reply;
    }
    const uint8_t slave = f[0];
    const uint8_t fn = f[1];
    const uint16_t addr = static_cast<uint16_t>(f[2] << 8 | f[3]);
    const uint8_t n = f[4];
    TBytes out = {slave, fn, f[2], f[3]};
    auto status = [&](bool ok) { out.push_back(ok ? kStatusOk : kStatusBadAddress); };
    if (fn == kFnService && n == 1) {
        const uint8_t sub = f[5];
        if (sub == kSubIdent) {
            uint8_t count = 0;
            const TBytes text =
                group ? TextField(config.version, config.versionBytes, config.versionCount, count)
                      : TextField(config.ident, config.identBytes, config.identCount, count);
            out.push_back(count);
            out.insert(out.end(), text.begin(), text.end());
        } else if (!group && (sub == kSubFlashPrep || sub == kSubBegin || sub == kSubEnd)) {
            // The loader erases the program memory when told to prepare for it.
            if (sub == kSubFlashPrep) {
                std::fill(flash.begin(), flash.end(), 0xFFFF);
            }
            status(true);
        } else {
            reply.note = "неизвестный подкод";
            out.clear();
        }
    } else if (fn == kFnWriteFlash && !group && n >= 2 && n % 2 == 0) {
        bool ok = true;
        for (std::size_t k = 0; k < n / 2u; ++k) {
            const std::size_t w = addr + k;
            if (w < flash.size()) {
                flash[w] = static_cast<uint16_t>(f[5 + 2 * k] | f[6 + 2 * k] << 8);
            } else {
                ok = false;
            }
        }
        status(ok);
        if (!ok) {
            reply.note = "запись за пределы FLASH";
        }
    } else if (fn == kFnWriteEeprom && n >= 1) {
        bool ok = true;
        for (std::size_t k = 0; k < n; ++k) {
            if (static_cast<int>(addr + k) == config.faults.refuseWriteAddr) {
                reply.note = "запись в ячейку EEPROM не сохранена";
            } else if (addr + k < eeprom.size()) {
                eeprom[addr + k] = f[5 + k];
            } else {
                ok = false;
            }
        }
        status(ok);
        if (!ok) {
            reply.note = "запись за пределы EEPROM";
        }
    } else if (fn == kFnReadEeprom && group && n >= 1 && addr + std::size_t{n} <= eeprom.size()) {
        out.resize(2);
        out.push_back(n);
        out.insert(out.end(), eeprom.begin() + addr, eeprom.begin() + addr + n);
    } else {
        reply.note = "запрос не поддерживается";
        out.clear();
    }
    if (!out.empty()) {
        AppendCrc(out);
        const int nth = ++modbusReplies;
        if (nth == config.faults.badCrcOnReply) {
            out[out.size() - 2] ^= 0xFF;
            reply.note = "испорчена CRC";
        }
        if (nth == config.faults.shortReplyOn) {
            out.pop_back();
            reply.note = "ответ укорочен";
        }
        reply.bytes = std::move(out);
        reply.extraDelayMs = config.faults.extraDelayMs;
    }
    return reply;
}

TReply TModem::Direct(const TBytes& p) {
    TReply reply;
    std::optional<uint8_t> out;
    if (p.size() == 1 && p[0] == kAvrSync) {
        synced = true;
        out = kAvrSync;
    } else if (p.size() == 1) { // leave programming mode
        if (config.faults.noLeaveAnswer) {
            reply.note = "не выходит из режима прошивки";
        } else {
            synced = false;
            enabled = false;
            out = kAvrLeave;
        }
    } else {
        const uint16_t addr = static_cast<uint16_t>(p[1] << 8 | p[2]);
        const uint8_t data = p[3];
        if (p[0] == kAvrPrefix && p[1] == kAvrEnable) {
            enabled = true;
            out = kAvrEnable;
        } else if (!enabled) {
            reply.note = "программирование не разрешено";
        } else if (p[0] == kAvrPrefix && p[1] == kAvrErase) {
            std::fill(flash.begin(), flash.end(), 0xFFFF);
            out = kAvrEnable;
        } else if (p[0] == kAvrFlashHigh || p[0] == kAvrFlashLow) {
            if (addr < flash.size()) {
                uint16_t& w = flash[addr];
                w = p[0] == kAvrFlashHigh ? static_cast<uint16_t>((w & 0x00FF) | data << 8)
                                          : static_cast<uint16_t>((w & 0xFF00) | data);
                out = data;
            } else {
                reply.note = "запись за пределы FLASH";
            }
        } else if (p[0] == kAvrEeprom) {
            if (addr < eeprom.size()) {
                eeprom[addr] = data;
                out = data;
            } else {
                reply.note = "запись за пределы EEPROM";
            }
        } else {
            reply.note = "неизвестная команда";
        }
    }
    if (out) {
        uint8_t b = *out;
        if (++directAnswers == config.faults.wrongEchoOn) {
            b = static_cast<uint8_t>(~b);
            reply.note = "неверное эхо";
        }
        reply.bytes = {b};
        reply.extraDelayMs = config.faults.extraDelayMs;
    }
    return reply;
}

long FrameLength(const TBytes& p) {
    if (p.size() < 2) {
        return 0;
    }
    const uint8_t fn = p[1];
    if (fn == kFnReadEeprom) {
        return 7;
    }
    if (fn != kFnService && fn != kFnWriteFlash && fn != kFnWriteEeprom) {
        return -1;
    }
    if (p.size() < 5) {
        return 0;
    }
    return 7 + p[4];
}

} // namespace talmar::sim
