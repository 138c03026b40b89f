#pragma once
// The programming object: writes a firmware image into the modem's program memory (FLASH) or a
// settings image into its data memory (EEPROM).
//
// It first asks the modem for its identification. A modem that answers is programmed in Modbus
// requests of up to 16 data bytes (the Modbus path). A modem that does not is programmed by the
// AVR serial programming instructions, four bytes each, sent one at a time and each confirmed by
// the one byte the modem sends back (the direct path). Progress goes out through OnReceiveByte.
//
// One object lives for one command. It drives the port it is given and reaches the window system
// only through the host: message boxes, the reply timer and the processing of pending messages
// while it waits for a byte.

#include "base/ImageFile.h"
#include "link/Modbus.h"
#include "link/Requests.h"

#include <cstdint>
#include <functional>
#include <string>

namespace talmar {

class IHost;
class TComPort;

// Messages of a programming run.
inline constexpr const char* kMsgBadAnswer = "Модем отвечает неверно, проверьте соединительный кабель";
inline constexpr const char* kMsgNotLeft = "Модем не вышел из режима прошивки";

class TProgrammator {
public:
    // Sender, memory, and the bytes just written (Modbus path) or 1 per confirmed byte and 0 for
    // leaving programming mode (direct path).
    using TReceiveByteEvent = std::function<void(TProgrammator& sender, TTypePROM typeProm, int data)>;

    // Pauses of the Modbus path: after opening the port, and after the preparation and begin
    // requests, while the modem gets its memory ready.
    static constexpr int kOpenSettleMs = 50;
    static constexpr int kServiceSettleMs = 150;
    // The direct path: the modem needs half a second after the port opens before it listens.
    static constexpr int kDirectSettleMs = 500;
    // The most a data block request carries: eight words, sixteen bytes.
    static constexpr int kFlashBlockWords = Request(TRequestId::WriteFlash).dataMax / 2;
    static constexpr int kEepromBlockBytes = Request(TRequestId::WriteEeprom).dataMax;

    explicit TProgrammator(IHost& host, TComPort* port = nullptr);
    TProgrammator(const TProgrammator&) = delete;
    TProgrammator& operator=(const TProgrammator&) = delete;

    // --- Properties ---
    TComPort* Port() const { return port_; }
    void SetPort(TComPort* port);

    TFileFormat FileFormat() const { return fileFormat_; }

    const std::string& FileNameEEPROM() const { return fileNameEEPROM_; }
    void SetFileNameEEPROM(const std::string& name); // refused while Busy
    const std::string& FileNameFLASH() const { return fileNameFLASH_; }
    void SetFileNameFLASH(const std::string& name); // refused while Busy

    const TReceiveByteEvent& OnReceiveByte() const { return onReceiveByte_; }
    void SetOnReceiveByte(TReceiveByteEvent handler) { onReceiveByte_ = std::move(handler); }

    // Waits after a chip erase and after a memory write, in ms, for the supply voltage below.
    // Stored settings: the modem paces the direct path by its answers, so no run waits on them.
    uint8_t TWD_Erase() const { return twdErase_; }
    void SetTWD_Erase(uint8_t ms); // refused while Busy
    uint8_t TWD_Prog() const { return twdProg_; }
    void SetTWD_Prog(uint8_t ms); // refused while Busy
    double VoltageProgramming() const { return voltage_; }
    void SetVoltageProgramming(double volts); // refused while Busy

    // Programming mode of the direct path: from the accepted programming enable until leaving.
    bool Busy() const { return busy_; }

    const TImage& FLASHImage() const { return flashImage_; }
    const TImage& EEPROMImage() const { return eepromImage_; }
    int FLASHCount() const { return static_cast<int>(flashImage_.size()); }
    int EEPROMCount() const { return static_cast<int>(eepromImage_.size()); }

    const TModbusFrames& Frames() const { return frames_; }
    const TFrame& TxFrame() const { return frames_.TxFrame; }
    const TFrame& RxFrame() const { return frames_.RxFrame; }

    // --- Operations ---

    // Gives the port the name "COM<n>" unless Busy. Without a port: nothing happens.
    void SetComNumber(int n);

    // Reads the file into the image of the memory given and remembers the file name. False,
    // changing nothing, while Busy, for an empty name or a memory other than 0 or 1. A file that
    // cannot be read or is malformed throws an error of kind File (Errors.h); the image is then left empty.
    bool LoadImage(TTypePROM typeProm, const std::string& fileName);

    // Asks the modem for its identification (Modbus service request); the text in UTF-8. Leaves
    // the port closed.
    bool Identify(std::string& text);
    bool Identify();

    // The whole run: loads FileNameFLASH (typeProm 1) or FileNameEEPROM (any other value),
    // identifies the modem and programs it by the Modbus path or, if it is silent, by the direct
    // path. False for an empty image (nothing sent) and for every failed step.
    bool ProgramMemory(TTypePROM typeProm);

    // The two paths on their own, over the image already loaded.
    bool ProgramModbus(TTypePROM typeProm);
    bool ProgramDirect(TTypePROM typeProm);

    // Entries from index on whose addresses rise by exactly one, at most maxCount and never past
    // the end (at least one when index is inside the image); index moves past them.
    int CountRun(TTypePROM typeProm, int& index, int maxCount) const;

    // Direct path: sends bytes once the line has taken everything before them.
    void SendText(const std::string& bytes);
    // Waits for the modem's answer (the host's reply timer); empty after a time-out, which also
    // closes the port.
    std::string ReceiveReply();
    // One answer byte: reports progress, and on a missing or wrong byte tries to leave
    // programming mode and gives false.
    bool ConfirmByte(TTypePROM typeProm, uint8_t expected);
    // Sends the leave-programming byte; true when the modem answers 0x00. After a reply wait has
    // timed out (the port closed) nothing is sent: false, and "Модем не вышел из режима прошивки"
    // only when the modem had accepted programming enable.
    bool LeaveProgramming(TTypePROM typeProm);

    void DoReceiveByte(TTypePROM typeProm, int data);

private:
    TComPort& RequirePort() const;
    TImage& Image(TTypePROM typeProm) { return typeProm == tpFLASH ? flashImage_ : eepromImage_; }
    const TImage& Image(TTypePROM typeProm) const { return typeProm == tpFLASH ? flashImage_ : eepromImage_; }
    bool Service(TRequestId id);
    bool ConfirmedInstruction(TTypePROM typeProm, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                              uint8_t expected);

    IHost& host_;
    TComPort* port_ = nullptr;
    TFileFormat fileFormat_ = Generic;
    std::string fileNameEEPROM_;
    std::string fileNameFLASH_;
    TReceiveByteEvent onReceiveByte_;
    uint8_t twdErase_ = 8;
    uint8_t twdProg_ = 4;
    double voltage_ = 5.0;
    bool busy_ = false;
    TImage flashImage_;
    TImage eepromImage_;
    TModbusFrames frames_;
};

} // namespace talmar
