#include "link/Programmator.h"

#include "base/Host.h"
#include "link/ComPort.h"

#include <stdexcept>

namespace talmar {

namespace {

// AVR serial programming instructions of the direct path. The modem answers every instruction
// with one byte; the instruction counts as done when that byte has come.
constexpr uint8_t kSync = 0xFF;                  // answered with 0xFF
constexpr uint8_t kProgEnable[2] = {0xAC, 0x53}; // + 00 00, answered with 0x53
constexpr uint8_t kChipErase[2] = {0xAC, 0x80};  // + 00 00, answered with 0x53
constexpr uint8_t kEnableAnswer = 0x53;
constexpr uint8_t kWriteFlashHigh = 0x48; // addr hi, addr lo, byte: answered with the byte
constexpr uint8_t kWriteFlashLow = 0x40;
constexpr uint8_t kWriteEeprom = 0xC0;
constexpr uint8_t kLeave = 0x00; // answered with 0x00 once the modem has left programming mode

// While the driver still holds bytes for the line; it never does for long, WriteBlock drains it.
constexpr int kOutputPollMs = 1;

} // namespace

TProgrammator::TProgrammator(IHost& host, TComPort* port) : host_(host), port_(port) {}

void TProgrammator::SetPort(TComPort* port) {
    if (port != port_)
        port_ = port;
}

void TProgrammator::SetFileNameEEPROM(const std::string& name) {
    if (name != fileNameEEPROM_ && !busy_)
        fileNameEEPROM_ = name;
}

void TProgrammator::SetFileNameFLASH(const std::string& name) {
    if (name != fileNameFLASH_ && !busy_)
        fileNameFLASH_ = name;
}

void TProgrammator::SetTWD_Erase(uint8_t ms) {
    if (ms != twdErase_ && !busy_)
        twdErase_ = ms;
}

void TProgrammator::SetTWD_Prog(uint8_t ms) {
    if (ms != twdProg_ && !busy_)
        twdProg_ = ms;
}

void TProgrammator::SetVoltageProgramming(double volts) {
    if (volts != voltage_ && !busy_)
        voltage_ = volts;
}

TComPort& TProgrammator::RequirePort() const {
    if (!port_)
        throw std::logic_error("Программатору не назначен последовательный порт");
    return *port_;
}

void TProgrammator::SetComNumber(int n) {
    const std::string name = "COM" + std::to_string(n);
    if (port_ && name != port_->Port() && !busy_)
        port_->SetPort(name);
}

bool TProgrammator::LoadImage(TTypePROM typeProm, const std::string& fileName) {
    if (busy_ || fileName.empty() || (typeProm != tpEEPROM && typeProm != tpFLASH))
        return false;
    const std::string name = fileName; // fileName may be one of our own fields
    (typeProm == tpFLASH ? fileNameFLASH_ : fileNameEEPROM_) = name;
    TImage& image = Image(typeProm);
    image.clear();
    TLoadedImage loaded = ReadImageFile(name, typeProm, fileFormat_);
    fileFormat_ = loaded.format;
    image = std::move(loaded.entries);
    return true;
}

bool TProgrammator::Identify(std::string& text) {
    return talmar::Identify(RequirePort(), frames_, &text);
}

bool TProgrammator::Identify() {
    return talmar::Identify(RequirePort(), frames_, nullptr);
}

bool TProgrammator::ProgramMemory(TTypePROM typeProm) {
    const TTypePROM type = typeProm == tpFLASH ? tpFLASH : tpEEPROM;
    const std::string name = type == tpFLASH ? fileNameFLASH_ : fileNameEEPROM_;
    if (!LoadImage(type, name) || Image(type).empty())
        return false;
    if (Identify())
        return ProgramModbus(type);
    return ProgramDirect(type);
}

bool TProgrammator::Service(TRequestId id) {
    const int length = frames_.BuildRequest(id);
    return ShortExchange(RequirePort(), frames_, length, Request(id).replyLength);
}

bool TProgrammator::ProgramModbus(TTypePROM typeProm) {
    TComPort& port = RequirePort();
    const TTypePROM type = typeProm == tpFLASH ? tpFLASH : tpEEPROM;
    try {
        port.Open();
        port.AbortTransfers();
        port.Pause(kOpenSettleMs);
        if (type == tpFLASH) {
            if (!Service(TRequestId::FlashPrep)) {
                port.Close();
                return false;
            }
            port.Pause(kServiceSettleMs);
        }
        if (!Service(TRequestId::Begin)) {
            port.Close();
            return false;
        }
        port.Pause(kServiceSettleMs);

        const TImage& image = Image(type);
        const int size = static_cast<int>(image.size());
        const int maxCount = type == tpFLASH ? kFlashBlockWords : kEepromBlockBytes;
        const TRequestSpec& block =
            Request(type == tpFLASH ? TRequestId::WriteFlash : TRequestId::WriteEeprom);
        uint8_t data[kMaxRequestData];
        int index = 0;
        while (index < size) {
            frames_.SetTargetAddress(image[index].Address);
            const int first = index;
            const int n = CountRun(type, index, maxCount);
            int count = 0;
            for (int i = first; i < first + n; ++i) {
                data[count++] = static_cast<uint8_t>(image[i].Value & 0xFF);
                if (type == tpFLASH)
                    data[count++] = static_cast<uint8_t>(image[i].Value >> 8);
            }
            const int length = frames_.BuildRequest(block.id, data, count);
            if (!ShortExchange(port, frames_, length, block.replyLength)) {
                port.Close();
                return false;
            }
            DoReceiveByte(type, count);
        }

        port.Pause(kOpenSettleMs);
        // The end request carries the address of the last block; the modem takes the run as
        // complete when it has answered it.
        const bool result = Service(TRequestId::End);
        port.ClearBuffers(true, true);
        port.Close();
        return result;
    } catch (...) {
        try {
            port.Close();
        } catch (...) {
            // The first error is the one to report.
        }
        throw;
    }
}

bool TProgrammator::ConfirmedInstruction(TTypePROM typeProm, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                                         uint8_t expected) {
    const char bytes[4] = {static_cast<char>(b0), static_cast<char>(b1), static_cast<char>(b2),
                           static_cast<char>(b3)};
    SendText(std::string(bytes, 4));
    return ConfirmByte(typeProm, expected);
}

bool TProgrammator::ProgramDirect(TTypePROM typeProm) {
    TComPort& port = RequirePort();
    const TTypePROM type = typeProm == tpFLASH ? tpFLASH : tpEEPROM;
    port.Close();
    port.Open();
    port.AbortTransfers();
    port.ClearBuffers(true, true);
    port.Pause(kDirectSettleMs);
    port.ClearBuffers(true, true);

    SendText(std::string(1, static_cast<char>(kSync)));
    if (!ConfirmByte(type, kSync)) {
        host_.ShowMessage(kMsgBadAnswer);
        port.Close();
        return false;
    }
    if (!ConfirmedInstruction(type, kProgEnable[0], kProgEnable[1], 0, 0, kEnableAnswer))
        return false;
    busy_ = true;

    if (type == tpFLASH) {
        if (!ConfirmedInstruction(type, kChipErase[0], kChipErase[1], 0, 0, kEnableAnswer))
            return false;
        for (const TImageEntry& e : flashImage_) {
            const uint8_t ah = static_cast<uint8_t>(e.Address >> 8);
            const uint8_t al = static_cast<uint8_t>(e.Address & 0xFF);
            const uint8_t hi = static_cast<uint8_t>(e.Value >> 8);
            const uint8_t lo = static_cast<uint8_t>(e.Value & 0xFF);
            port.ClearBuffers(true, true);
            if (!ConfirmedInstruction(type, kWriteFlashHigh, ah, al, hi, hi))
                return false;
            port.ClearBuffers(true, true);
            if (!ConfirmedInstruction(type, kWriteFlashLow, ah, al, lo, lo))
                return false;
        }
    } else {
        for (const TImageEntry& e : eepromImage_) {
            const uint8_t value = static_cast<uint8_t>(e.Value & 0xFF);
            if (!ConfirmedInstruction(type, kWriteEeprom, static_cast<uint8_t>(e.Address >> 8),
                                      static_cast<uint8_t>(e.Address & 0xFF), value, value))
                return false;
        }
    }

    const bool result = LeaveProgramming(type);
    port.Close();
    return result;
}

int TProgrammator::CountRun(TTypePROM typeProm, int& index, int maxCount) const {
    const TImage& image = Image(typeProm == tpFLASH ? tpFLASH : tpEEPROM);
    const int size = static_cast<int>(image.size());
    if (index < 0 || index >= size || maxCount < 1)
        return 0;
    int n = 1;
    while (n < maxCount && index + n < size && image[index + n].Address == image[index + n - 1].Address + 1)
        ++n;
    index += n;
    return n;
}

void TProgrammator::SendText(const std::string& bytes) {
    TComPort& port = RequirePort();
    while (port.WaitingOutput() > 0) {
        host_.ProcessMessages(false);
        Pause(kOutputPollMs);
    }
    port.WriteText(bytes);
}

std::string TProgrammator::ReceiveReply() {
    TComPort& port = RequirePort();
    host_.StartReplyTimer();
    while (port.WaitingInput() == 0) {
        if (host_.ReplyTimedOut()) {
            port.Close();
            return {};
        }
        // Sleeps in the event loop until the port has a byte, the reply timer ticks or the
        // window has something to do.
        host_.ProcessMessages(true);
    }
    host_.ProcessMessages(false);
    host_.StopReplyTimer();
    return port.ReadText(port.WaitingInput());
}

bool TProgrammator::ConfirmByte(TTypePROM typeProm, uint8_t expected) {
    const std::string reply = ReceiveReply();
    if (reply.empty()) {
        LeaveProgramming(typeProm);
        return false;
    }
    DoReceiveByte(typeProm, 1);
    if (static_cast<uint8_t>(reply[0]) != expected) {
        LeaveProgramming(typeProm);
        return false;
    }
    return true;
}

bool TProgrammator::LeaveProgramming(TTypePROM typeProm) {
    bool result = false;
    if (RequirePort().Connected()) {
        SendText(std::string(1, static_cast<char>(kLeave)));
        const std::string reply = ReceiveReply();
        // No answer at all is no better than a wrong one: the modem may still be in programming
        // mode.
        result = !reply.empty() && static_cast<uint8_t>(reply[0]) == kLeave;
        if (!result)
            host_.ShowMessage(kMsgNotLeft);
    } else if (busy_) {
        // A reply wait timed out and closed the port: the modem has gone silent and cannot be
        // told anything. Having accepted programming enable, it may still be in programming mode.
        host_.ShowMessage(kMsgNotLeft);
    }
    DoReceiveByte(typeProm, 0);
    busy_ = false;
    return result;
}

void TProgrammator::DoReceiveByte(TTypePROM typeProm, int data) {
    if (onReceiveByte_)
        onReceiveByte_(*this, typeProm, data);
}

} // namespace talmar
