// The simulated modems on arbitrary requests: the bytes are framed as the line frames them and
// every whole request goes to the modems it is addressed to, as the serving thread hands them on.
//
// Input: one mode byte, then the bytes off the line.
//   bit 0   9600 baud (the system switch's group requests) instead of 38400 (programming)
//   bit 1   give every frame its right CRC (a fuzzer would hardly ever hit one by chance)
//   bit 2   the bytes are direct-path instructions for a modem silent in Modbus
//
// A modem may refuse a request, but what it answers must be a well-formed reply to it, and what
// it stores must be exactly what was asked, inside its memories.

#include "sim/Modem.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using namespace talmar::sim;
using talmar::fuzz::Require;

TModemConfig Config(uint8_t controller, bool programmed, bool silentModbus) {
    TModemConfig c;
    c.controller = controller;
    c.programmed = programmed;
    c.flashWords = 96; // small memories: writes past their end come easily
    c.eepromBytes = 80;
    c.eepromInit = {{0, 0x11}, {79, 0x22}, {200, 0x33}};
    c.faults.silentModbus = silentModbus;
    return c;
}

void CheckModbusReply(const TBytes& f, const TModem& before, const TModem& after, const TReply& reply,
                      bool group) {
    Require(after.flash.size() == before.flash.size() && after.eeprom.size() == before.eeprom.size(),
            "a request changed the size of a memory");
    const TBytes& r = reply.bytes;
    if (r.empty()) {
        Require(after.eeprom == before.eeprom, "an unanswered request changed the EEPROM");
        return;
    }
    Require(CrcOk(r), "a reply without its right CRC");
    Require(r.size() >= 5 && r[0] == f[0] && r[1] == f[1], "a reply that does not answer its request");
    const uint8_t fn = f[1];
    const uint8_t n = f[4];
    const std::size_t addr = static_cast<std::size_t>(f[2] << 8 | f[3]);
    if (fn == kFnReadEeprom) {
        Require(group && r.size() == 5u + n && r[2] == n, "a read reply of the wrong length");
        Require(std::equal(r.begin() + 3, r.end() - 2, before.eeprom.begin() + static_cast<long>(addr)),
                "a read reply does not hold the EEPROM bytes");
        return;
    }
    if (fn == kFnService && f[5] == kSubIdent) {
        Require(r.size() == 17, "an identification reply of the wrong length");
        return;
    }
    Require(r.size() == 7 && r[2] == f[2] && r[3] == f[3], "a short reply of the wrong form");
    const bool ok = r[4] == kStatusOk;
    Require(ok || r[4] == kStatusBadAddress, "a reply with an unknown status");
    if (fn == kFnWriteEeprom) {
        Require(ok == (addr + n <= before.eeprom.size()), "the EEPROM write status does not match its range");
        for (std::size_t k = 0; k < n; ++k)
            if (addr + k < after.eeprom.size())
                Require(after.eeprom[addr + k] == f[5 + k], "an EEPROM write stored another byte");
    } else if (fn == kFnWriteFlash) {
        Require(!group, "a FLASH write answered on the group line");
        Require(ok == (addr + n / 2u <= before.flash.size()),
                "the FLASH write status does not match its range");
        for (std::size_t k = 0; k < n / 2u; ++k)
            if (addr + k < after.flash.size())
                Require(after.flash[addr + k] == (f[5 + 2 * k] | f[6 + 2 * k] << 8),
                        "a FLASH write stored another word");
    }
}

void RunModbus(const uint8_t* data, std::size_t size, bool group, bool fixCrc) {
    std::vector<TModem> modems{TModem(Config(0, true, false)), TModem(Config(1, false, false)),
                               TModem(Config(1, false, false)), TModem(Config(7, false, true))};
    TBytes pending;
    for (std::size_t i = 0; i < size; ++i) {
        pending.push_back(data[i]);
        const long length = FrameLength(pending);
        if (length < 0) {
            // No request starts this way: the line waits for the silence; start over after it.
            pending.clear();
            continue;
        }
        if (length == 0 || pending.size() < static_cast<std::size_t>(length))
            continue;
        TBytes frame = std::move(pending);
        pending.clear();
        if (fixCrc) {
            frame.resize(frame.size() - 2);
            AppendCrc(frame);
        }
        if (!CrcOk(frame))
            continue;
        for (TModem& m : modems) {
            if (group ? m.config.controller != frame[0] : !(m.config.programmed && frame[0] == 0))
                continue;
            const TModem before = m;
            const TReply reply = m.Modbus(frame, group);
            if (!m.SpeaksModbus())
                Require(reply.bytes.empty(), "a modem silent in Modbus answered");
            CheckModbusReply(frame, before, m, reply, group);
        }
    }
}

void RunDirect(const uint8_t* data, std::size_t size) {
    TModem modem(Config(1, true, true));
    TBytes pending;
    for (std::size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        // Until it is synchronised the modem lets everything but the synchronisation byte pass.
        if (pending.empty() && b != kAvrSync &&
            !(modem.synced && (b == kAvrLeave || b == kAvrPrefix || b == kAvrFlashHigh || b == kAvrFlashLow ||
                               b == kAvrEeprom)))
            continue;
        pending.push_back(b);
        const std::size_t whole = pending[0] == kAvrSync || pending[0] == kAvrLeave ? 1 : 4;
        if (pending.size() < whole)
            continue;
        const TModem before = modem;
        const TReply reply = modem.Direct(pending);
        Require(reply.bytes.size() <= 1, "a direct-path answer longer than a byte");
        Require(modem.flash.size() == before.flash.size() && modem.eeprom.size() == before.eeprom.size(),
                "an instruction changed the size of a memory");
        if (pending.size() == 4 && !reply.bytes.empty()) {
            const uint8_t op = pending[0];
            const std::size_t addr = static_cast<std::size_t>(pending[1] << 8 | pending[2]);
            if (op == kAvrEeprom)
                Require(reply.bytes[0] == pending[3] && modem.eeprom[addr] == pending[3],
                        "an EEPROM instruction stored or echoed another byte");
            if (op == kAvrFlashHigh || op == kAvrFlashLow)
                Require(reply.bytes[0] == pending[3] &&
                            (op == kAvrFlashHigh ? modem.flash[addr] >> 8 : modem.flash[addr] & 0xFF) ==
                                pending[3],
                        "a FLASH instruction stored or echoed another byte");
        }
        if (!before.enabled && !(pending.size() == 4 && pending[0] == kAvrPrefix && pending[1] == kAvrEnable))
            Require(modem.flash == before.flash && modem.eeprom == before.eeprom,
                    "a modem not enabled for programming changed its memory");
        pending.clear();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    if (mode & 4)
        RunDirect(data + 1, size - 1);
    else
        RunModbus(data + 1, size - 1, (mode & 1) != 0, (mode & 2) != 0);
    return 0;
}
