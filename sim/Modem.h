#pragma once
// One simulated modem and the requests it understands, apart from the line that carries them:
// the serving thread of TModemSim frames the bytes off the line and hands each whole request to
// the modem it is meant for.

#include "sim/ModemSim.h"

#include <cstdint>
#include <string>

namespace talmar::sim {

inline constexpr uint8_t kFnService = 0xAA;
inline constexpr uint8_t kFnWriteFlash = 0x1F;
inline constexpr uint8_t kFnWriteEeprom = 0x1E;
inline constexpr uint8_t kFnReadEeprom = 0xE3;
inline constexpr uint8_t kSubIdent = 0xA4;
inline constexpr uint8_t kSubFlashPrep = 0xA3;
inline constexpr uint8_t kSubBegin = 0xA1;
inline constexpr uint8_t kSubEnd = 0xA2;

// AVR serial programming instructions as the modem's loader takes them.
inline constexpr uint8_t kAvrSync = 0xFF;
inline constexpr uint8_t kAvrLeave = 0x00;
inline constexpr uint8_t kAvrPrefix = 0xAC; // programming enable (AC 53) and chip erase (AC 80)
inline constexpr uint8_t kAvrEnable = 0x53;
inline constexpr uint8_t kAvrErase = 0x80;
inline constexpr uint8_t kAvrFlashHigh = 0x48;
inline constexpr uint8_t kAvrFlashLow = 0x40;
inline constexpr uint8_t kAvrEeprom = 0xC0;

// What one modem sends back to one request.
struct TReply {
    int modem = -1;
    TBytes bytes; // empty: no answer
    std::string note;
    int extraDelayMs = 0;
};

struct TModem {
    TModemConfig config;
    std::vector<uint16_t> flash;
    TBytes eeprom;
    int modbusReplies = 0; // since the faults were set
    int directAnswers = 0; // likewise
    bool synced = false;   // direct path: synchronisation byte seen
    bool enabled = false;  // direct path: programming enabled

    explicit TModem(const TModemConfig& c)
        : config(c), flash(c.flashWords, 0xFFFF), eeprom(c.eepromBytes, 0xFF) {
        for (const auto& [addr, value] : c.eepromInit) {
            if (addr < eeprom.size()) {
                eeprom[addr] = value;
            }
        }
    }

    bool SpeaksModbus() const { return !config.faults.silent && !config.faults.silentModbus; }
    bool SpeaksDirect() const {
        return config.programmed && !config.faults.silent && config.faults.silentModbus;
    }

    // A Modbus request addressed to this modem (slave address, function, two address bytes, N,
    // N data bytes, CRC), its length and CRC already checked by the line.
    TReply Modbus(const TBytes& f, bool group);
    // A whole instruction of the direct path: one byte (synchronisation, leaving programming
    // mode) or four.
    TReply Direct(const TBytes& p);
};

// Length of the Modbus frame that the bytes begin: 0 while it cannot be told yet, -1 when no
// request the modems know begins this way.
long FrameLength(const TBytes& p);

} // namespace talmar::sim
