#pragma once
// A line of ЛТР-10/ЛТР-20 modems in software: the hardware the program talks to when no modem is
// at hand. The simulator owns a pseudo-terminal pair; the program opens the slave side as its COM
// port, the simulator serves the master side on its own thread. It keeps the slave open itself, so
// the line survives the program closing and reopening the port.
//
// In a test:
//     talmar::sim::TModemSim sim;                              // one modem, default config
//     setenv("TALMAR_COM7", sim.SlavePath().c_str(), 1);      // the program opens "COM7"
//     ... program the modem ...
//     EXPECT_EQ(sim.Flash(0)[0], 0xC00A);
//
// How the modems behave, like the hardware:
// - Line speed: the simulator reads the speed the program set on the port when the bytes arrive.
//   Programming, identification and the direct path are heard only at 38400 baud, the system
//   switch's group requests only at 9600 baud. Anything sent at another speed is not heard.
// - Modbus frames: a request is complete when its length is known (5-byte header + N + CRC, the
//   0xE3 read being 7 bytes). A frame with a bad CRC is ignored, as a real slave does. Bytes after
//   a silence longer than 3.5 characters (at least kFrameGapMin) start a new frame.
// - At 38400 baud the modem on the programming cable (`programmed`, usually modem 0) answers slave
//   address 0x00: service requests 0xAA with SUB_IDENT 0xA4 (17-byte reply), SUB_FLASH_PREP 0xA3,
//   SUB_BEGIN 0xA1, SUB_END 0xA2 (7-byte replies), 0x1F FLASH word writes and 0x1E EEPROM byte
//   writes (7-byte replies). The 7-byte reply is slave, function, the two address bytes of the
//   request, a status byte (kStatusOk, or kStatusBadAddress when the write ran past the memory:
//   nothing beyond the memory is stored), CRC low, CRC high. SUB_FLASH_PREP erases the FLASH to
//   0xFFFF, as the modem's loader does before a new program.
// - At 9600 baud every modem whose controller number equals the slave address answers: 0xE3 read
//   EEPROM bytes (reply: address, 0xE3, count, the bytes, CRC: 6 bytes for one byte), 0x1E write
//   (7-byte reply) and 0xAA/0xA4 version (17-byte reply with the version text). Two modems with
//   the same number both answer, one reply after the other, as on a real line the program then
//   sees a reply of the wrong length.
// - A modem that is silent in Modbus speaks the direct AVR serial programming path at 38400 baud:
//   0xFF synchronises (answer 0xFF; other bytes are ignored until then), AC 53 00 00 enables
//   programming (0x53), AC 80 00 00 erases the FLASH to 0xFFFF (0x53; the EEPROM is kept),
//   48/40 hi lo data write the high/low byte of the FLASH word at word address hi:lo, C0 hi lo data
//   writes an EEPROM byte (each answered with the data byte), 00 leaves programming mode (0x00).
//   A silence of kDirectResetGap restarts the four-byte instruction framing.
// - Replies are written after the whole request has been received, after the processing delay
//   and any extra delay; with wire time on, the request takes 10 bit times per byte to arrive and
//   the reply bytes are paced at 10 bit times each.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace talmar::sim {

using TBytes = std::vector<uint8_t>;
using TClock = std::chrono::steady_clock;

inline constexpr int kProgBaud = 38400; // programming, identification, direct path
inline constexpr int kGroupBaud = 9600; // the system switch's group requests
inline constexpr uint8_t kStatusOk = 0x00;
inline constexpr uint8_t kStatusBadAddress = 0x02;
inline constexpr std::chrono::milliseconds kFrameGapMin{10};
inline constexpr std::chrono::milliseconds kDirectResetGap{100};

// Faults of one modem. The counted faults count from 1 and from the moment the faults were set
// (SetFaults / SetConfig reset the counters); 0 means never.
struct TModemFaults {
    bool silent = false;        // answers nothing at all
    bool silentModbus = false;  // ignores every Modbus frame; speaks the direct AVR path
    int badCrcOnReply = 0;      // the Nth Modbus reply of this modem has its CRC bytes spoiled
    int shortReplyOn = 0;       // the Nth Modbus reply loses its last byte
    int wrongEchoOn = 0;        // the Nth direct-path answer byte (sync and enable count) is inverted
    bool noLeaveAnswer = false; // ignores the leave-programming byte 0x00 (stays in programming mode)
    int extraDelayMs = 0;       // added before every reply of this modem
    // EEPROM writes to this address are answered as usual but not stored (a worn cell); -1 none.
    int refuseWriteAddr = -1;

    bool operator==(const TModemFaults&) const = default;
};

struct TModemConfig {
    // Identification text (UTF-8, sent as Windows-1251). The modem sends at most nine characters
    // and a closing zero in the ten text bytes, with N = characters + 1. identBytes, when set,
    // replaces the text bytes as they are (up to ten, N = their count + 1); identCount, when set,
    // is sent as N whatever the text (so a test can send N = 1, 10, 12...).
    std::string ident = "ЛТР-20 v3";
    std::optional<TBytes> identBytes;
    std::optional<uint8_t> identCount;

    // Firmware version of the controller, in the 0xAA/0xA4 reply at 9600 baud; same rules.
    std::string version = "4433 v1.0";
    std::optional<TBytes> versionBytes;
    std::optional<uint8_t> versionCount;

    uint8_t controller = 1; // controller number: the slave address of group requests
    bool programmed = true; // on the programming cable: answers slave address 0x00 at 38400 baud

    std::size_t flashWords = 4096;          // contents start as 0xFFFF
    std::size_t eepromBytes = 512;          // contents start as 0xFF
    std::map<uint16_t, uint8_t> eepromInit; // bytes set at start, e.g. the system code

    TModemFaults faults;
};

struct TLineConfig {
    bool wireTime = false; // 10 bit times per byte at the current speed, both directions
    std::chrono::microseconds processingDelay{1000}; // between a request and its reply
};

enum class TRequestKind {
    Modbus, // a complete Modbus frame (answered or not)
    Direct, // a direct-path instruction
    Noise,  // bytes that formed no frame or instruction; deaf-baud bytes; bad-CRC frames
};

struct TRequestRecord {
    TClock::time_point start;    // first byte read from the line
    TClock::time_point received; // the request complete (with wire time: its last bit)
    TClock::time_point replyEnd; // last reply byte written; == received when no reply
    int baud = 0;                // line speed the bytes arrived at
    TRequestKind kind = TRequestKind::Noise;
    TBytes request;
    TBytes reply;     // empty: no answer
    int modem = -1;   // index of the modem that answered, -1 none
    std::string note; // why nothing was answered, or which fault was applied
};

struct TModem; // one modem's memories and behaviour (sim/Modem.h)

class TModemSim {
public:
    // Creates the pseudo-terminal and starts serving at once. Throws std::runtime_error when the
    // pseudo-terminal cannot be made.
    explicit TModemSim(const TModemConfig& modem = {}, const TLineConfig& line = {});
    TModemSim(const std::vector<TModemConfig>& modems, const TLineConfig& line);
    ~TModemSim(); // Stop()
    TModemSim(const TModemSim&) = delete;
    TModemSim& operator=(const TModemSim&) = delete;

    // The device the program opens, e.g. /dev/pts/5.
    const std::string& SlavePath() const { return slavePath_; }

    // Stops serving and joins the thread; the pseudo-terminal is closed. Idempotent.
    void Stop();

    // Modems: index in the order added. Everything below is thread-safe.
    std::size_t AddModem(const TModemConfig& config);
    std::size_t ModemCount() const;
    TModemConfig Config(std::size_t i) const;
    // Replaces the config but keeps the memories; resets the fault counters.
    void SetConfig(std::size_t i, const TModemConfig& config);
    void SetFaults(std::size_t i, const TModemFaults& faults);
    TLineConfig Line() const;
    void SetLine(const TLineConfig& line);

    // Copies of the memories, and setting them (sizes are kept; extra data is dropped).
    std::vector<uint16_t> Flash(std::size_t i) const;
    TBytes FlashBytes(std::size_t i) const; // little-endian, as objcopy -O binary gives it
    TBytes Eeprom(std::size_t i) const;
    void SetFlash(std::size_t i, const std::vector<uint16_t>& words);
    void SetEeprom(std::size_t i, const TBytes& bytes);
    bool InProgramming(std::size_t i) const; // direct path: programming enabled

    // Every request received, in order.
    std::vector<TRequestRecord> Requests() const;
    void ClearLog();
    // Waits until at least count requests are in the log (since the last ClearLog).
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Writes flash.bin and eeprom.bin of the programmed modem (the first one; modem 0 if none is;
    // flash little-endian), eeprom-<n>.bin for every other modem (n its controller number) and requests.log
    // into dir. Returns false and sets error when a file cannot be written.
    bool Dump(const std::string& dir, std::string* error = nullptr) const;

    // One line per request, as in requests.log: time since start, baud, bytes in and out, note.
    std::string FormatRecord(const TRequestRecord& record) const;

private:
    struct TLine;
    void Serve();

    std::string slavePath_;
    int masterFd_ = -1;
    int slaveFd_ = -1;
    int wakeFd_[2] = {-1, -1};
    TClock::time_point started_;

    mutable std::mutex mutex_;
    mutable std::condition_variable logChanged_;
    std::vector<std::unique_ptr<TModem>> modems_;
    TLineConfig line_;
    std::vector<TRequestRecord> log_;
    std::uint64_t logGeneration_ = 0; // counts ClearLog calls
    bool stopping_ = false;
    std::thread thread_;
};

// Text to the Windows-1251 bytes the modem holds; characters the code page lacks become '?'.
TBytes ToCp1251(const std::string& utf8);

// CRC-16 of Modbus RTU (reflected polynomial 0xA001, start 0xFFFF); low byte first on the wire.
uint16_t Crc16(const uint8_t* data, std::size_t count);
// Appends the CRC, low byte first.
void AppendCrc(TBytes& frame);
// The last two bytes are the right CRC of the bytes before them.
bool CrcOk(const TBytes& frame);

} // namespace talmar::sim
