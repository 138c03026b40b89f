// The programming object end to end: a simulated modem on a pseudo-terminal, the real port and
// event loop, and the modem's memories compared byte for byte afterwards.
//
// Tests named Slow wait out the modem's silence in real time (an unanswered identification costs
// 500 + 8340 ms, an unanswered direct-path byte 2000 ms).
#include "link/Programmator.h"

#include "link/ComPort.h"
#include "sim/ModemSim.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace talmar;
using namespace std::chrono_literals;
using sim::TBytes;
using sim::TModemConfig;
using sim::TModemSim;
using sim::TRequestKind;
using sim::TRequestRecord;
using talmar::test::TRecordingHost;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;

namespace {

using Clock = std::chrono::steady_clock;

std::string FlashLine(uint32_t address, uint16_t word) {
    char line[32];
    std::snprintf(line, sizeof line, "%06X:%04X\r\n", address, word);
    return line;
}

std::string EepromLine(uint16_t address, uint8_t byte) {
    char line[32];
    std::snprintf(line, sizeof line, "%04X:%02X\r\n", address, byte);
    return line;
}

struct TProgress {
    TTypePROM type;
    int data;
    bool busy;
};

class Programming : public ::testing::Test {
protected:
    void Start(const TModemConfig& modem = {}) {
        sim_ = std::make_unique<TModemSim>(modem, sim::TLineConfig{});
        ::setenv("TALMAR_COM7", sim_->SlavePath().c_str(), 1);
        prog_.SetComNumber(7);
        prog_.SetOnReceiveByte([this](TProgrammator& sender, TTypePROM type, int data) {
            EXPECT_EQ(&sender, &prog_);
            progress_.push_back({type, data, sender.Busy()});
            if (onProgress_)
                onProgress_(sender);
        });
    }

    void SetFaults(const sim::TModemFaults& faults) { sim_->SetFaults(0, faults); }

    std::string File(const std::string& name, const std::string& text) {
        const std::string path = dir_.File(name);
        WriteFileBytes(path, text);
        return path;
    }

    std::vector<TRequestRecord> Requests(TRequestKind kind) const {
        std::vector<TRequestRecord> out;
        for (auto& r : sim_->Requests())
            if (r.kind == kind)
                out.push_back(r);
        return out;
    }

    // Each request's bytes, CRC left off for Modbus frames.
    std::vector<TBytes> Sent(TRequestKind kind) const {
        std::vector<TBytes> out;
        for (auto& r : Requests(kind))
            out.push_back(kind == TRequestKind::Modbus ? TBytes(r.request.begin(), r.request.end() - 2)
                                                       : r.request);
        return out;
    }

    std::vector<int> Data() const {
        std::vector<int> out;
        for (auto& p : progress_)
            out.push_back(p.data);
        return out;
    }

    std::unique_ptr<TModemSim> sim_; // outlives the port
    TTempDir dir_;
    TRecordingHost host_;
    TComPort port_;
    TProgrammator prog_{host_, &port_};
    std::vector<TProgress> progress_;
    std::function<void(TProgrammator&)> onProgress_;
};

TBytes Service(uint8_t sub, uint16_t address = 0) {
    return {0x00, FN_SERVICE, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), 0x01, sub};
}

} // namespace

TEST(ProgrammatorRuns, CountRunCutsImagesIntoConsecutiveBlocks) {
    // Block sizes of whole runs (8, 8, 1 and 16, 4) are checked end to end below.
    TTempDir dir;
    TRecordingHost host;
    TProgrammator prog(host);
    struct {
        TTypePROM type;
        std::vector<uint16_t> addresses;
        std::vector<int> runs;
    } cases[] = {
        {tpFLASH, {0, 1, 2, 5, 6}, {3, 2}},
        {tpEEPROM, {5, 5, 6, 0xFFFE, 0xFFFF}, {1, 2, 2}}, // the second 5 starts a run of its own
        {tpEEPROM, {}, {}},
    };
    for (const auto& c : cases) {
        std::string text;
        for (uint16_t a : c.addresses)
            text += c.type == tpFLASH ? FlashLine(a, 0x1234) : EepromLine(a, 0x12);
        WriteFileBytes(dir.File("image"), text);
        ASSERT_TRUE(prog.LoadImage(c.type, dir.File("image")));
        std::vector<int> runs;
        const int size = c.type == tpFLASH ? prog.FLASHCount() : prog.EEPROMCount();
        for (int index = 0; index < size;)
            runs.push_back(prog.CountRun(c.type, index, 8));
        EXPECT_EQ(runs, c.runs);
    }
}

TEST_F(Programming, ModbusFlashRunWritesBlocksOfEightWords) {
    Start();
    std::string text;
    std::vector<uint16_t> words;
    for (uint16_t i = 0; i < 17; ++i) {
        words.push_back(static_cast<uint16_t>(0xC000 + i * 0x0101));
        text += FlashLine(0x0110 - i, words.back()); // written backwards: the sort puts them right
    }
    prog_.SetFileNameFLASH(File("fw.rom", text));

    ASSERT_TRUE(prog_.ProgramMemory(tpFLASH));

    EXPECT_EQ(Data(), (std::vector<int>{16, 16, 2}));
    EXPECT_EQ(progress_.front().type, tpFLASH);
    const auto flash = sim_->Flash(0);
    for (std::size_t a = 0; a < flash.size(); ++a) {
        const uint16_t expected = (a >= 0x100 && a <= 0x110) ? words[0x110 - a] : 0xFFFF;
        ASSERT_EQ(flash[a], expected) << "word " << a;
    }
    const auto sent = Sent(TRequestKind::Modbus);
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[0], Service(SUB_IDENT));
    EXPECT_EQ(sent[1], Service(SUB_FLASH_PREP));
    EXPECT_EQ(sent[2], Service(SUB_BEGIN));
    const TBytes firstBlock = {0x00, FN_WRITE_FLASH, 0x01, 0x00, 16, 0x10, 0xD0, 0x0F, 0xCF};
    EXPECT_EQ(TBytes(sent[3].begin(), sent[3].begin() + 9), firstBlock); // low byte first
    EXPECT_EQ(TBytes(sent[4].begin(), sent[4].begin() + 5), (TBytes{0x00, FN_WRITE_FLASH, 0x01, 0x08, 16}));
    EXPECT_EQ(sent[5], (TBytes{0x00, FN_WRITE_FLASH, 0x01, 0x10, 2, 0x00, 0xC0}));
    EXPECT_EQ(sent[6], Service(SUB_END, 0x0110)); // the address of the last block
    EXPECT_TRUE(Requests(TRequestKind::Direct).empty());

    // The modem gets its pauses: 150 ms after preparation and begin, 50 ms before the end.
    const auto req = Requests(TRequestKind::Modbus);
    EXPECT_GE(req[2].start - req[1].replyEnd, 145ms);
    EXPECT_GE(req[3].start - req[2].replyEnd, 145ms);
    EXPECT_GE(req[6].start - req[5].replyEnd, 45ms);
    EXPECT_FALSE(port_.Connected());
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(Programming, ModbusEepromRunWritesBlocksOfSixteenBytes) {
    TModemConfig modem;
    modem.eepromInit = {{0x00, 0x03}, {0x40, 0x5A}};
    Start(modem);
    std::string text;
    for (uint16_t i = 0; i < 20; ++i)
        text += EepromLine(0x10 + i, static_cast<uint8_t>(i * 7));
    text += EepromLine(0x01FF, 0xA5);
    prog_.SetFileNameEEPROM(File("temp.eep", text));

    ASSERT_TRUE(prog_.ProgramMemory(tpEEPROM));

    EXPECT_EQ(Data(), (std::vector<int>{16, 4, 1}));
    const TBytes eeprom = sim_->Eeprom(0);
    for (std::size_t a = 0; a < eeprom.size(); ++a) {
        uint8_t expected = a == 0x00 ? 0x03 : a == 0x40 ? 0x5A : 0xFF;
        if (a >= 0x10 && a < 0x24)
            expected = static_cast<uint8_t>((a - 0x10) * 7);
        if (a == 0x1FF)
            expected = 0xA5;
        ASSERT_EQ(eeprom[a], expected) << "byte " << a;
    }
    const auto sent = Sent(TRequestKind::Modbus);
    ASSERT_EQ(sent.size(), 6u); // no preparation request for the EEPROM
    EXPECT_EQ(sent[1], Service(SUB_BEGIN));
    EXPECT_EQ(TBytes(sent[2].begin(), sent[2].begin() + 5), (TBytes{0x00, FN_WRITE_EEPROM, 0x00, 0x10, 16}));
    EXPECT_EQ(TBytes(sent[3].begin(), sent[3].begin() + 5), (TBytes{0x00, FN_WRITE_EEPROM, 0x00, 0x20, 4}));
    EXPECT_EQ(sent[4], (TBytes{0x00, FN_WRITE_EEPROM, 0x01, 0xFF, 1, 0xA5}));
    EXPECT_EQ(sent[5], Service(SUB_END, 0x01FF));
    EXPECT_FALSE(port_.Connected());
}

TEST_F(Programming, ModbusRunEndsAtTheFirstBadReply) {
    Start();
    std::string text;
    for (uint16_t i = 0; i < 20; ++i)
        text += FlashLine(i, i);
    prog_.SetFileNameFLASH(File("fw.rom", text));
    struct {
        sim::TModemFaults faults;
        std::size_t requests; // Modbus requests sent, identification included
    } cases[] = {
        {{.badCrcOnReply = 3}, 3}, // the answer to SUB_BEGIN: no data block goes out
        {{.shortReplyOn = 5}, 5},  // six bytes to the second data block: no third, no end
        {{.badCrcOnReply = 7}, 7}, // the end request's answer decides the run
    };
    for (const auto& c : cases) {
        sim_->ClearLog();
        SetFaults(c.faults);
        EXPECT_FALSE(prog_.ProgramMemory(tpFLASH));
        EXPECT_EQ(Sent(TRequestKind::Modbus).size(), c.requests);
        EXPECT_TRUE(Requests(TRequestKind::Direct).empty()); // the modem is not told to leave
        EXPECT_FALSE(port_.Connected());
    }
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(Programming, IdentifyReadsTheModemsText) {
    // How N cuts the text is checked on bytes; here the real exchange and the code page.
    TModemConfig modem;
    modem.identBytes = TBytes{0xCB, 0xD2, 0xD0, '-', '2', '0', ' ', '3', '.', '1'};
    Start(modem);
    port_.Open(); // a port left open by an earlier run is reopened
    std::string text;
    EXPECT_TRUE(prog_.Identify(text));
    EXPECT_EQ(text, "ЛТР-20 3.1");
    EXPECT_FALSE(port_.Connected());

    SetFaults({.shortReplyOn = 1});
    EXPECT_FALSE(prog_.Identify(text));
    EXPECT_FALSE(port_.Connected());
}

TEST_F(Programming, EmptyOrBrokenImageSendsNothing) {
    Start();
    prog_.SetFileNameEEPROM(File("empty.eep", ""));
    EXPECT_FALSE(prog_.ProgramMemory(tpEEPROM));
    prog_.SetFileNameEEPROM(File("blank.eep", "0001:02\r\n\r\n"));
    EXPECT_THROW(prog_.ProgramMemory(tpEEPROM), EConvertError);
    prog_.SetFileNameFLASH(File("fw.hex", ":0400000001020304F1\r\n:00000001FF\r\n"));
    EXPECT_THROW(prog_.ProgramMemory(tpFLASH), EHexFormat);
    prog_.SetFileNameFLASH(dir_.File("missing.rom"));
    EXPECT_THROW(prog_.ProgramMemory(tpFLASH), EInOutError);
    prog_.SetFileNameFLASH("");
    EXPECT_FALSE(prog_.ProgramMemory(tpFLASH));

    EXPECT_TRUE(sim_->Requests().empty());
    EXPECT_FALSE(port_.Connected());
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(Programming, SlowSilentModemIsProgrammedByTheDirectPath) {
    TModemConfig modem;
    modem.faults.silentModbus = true;
    Start(modem);
    sim_->SetFlash(0, std::vector<uint16_t>(4096, 0x0000)); // the chip erase must clear it
    prog_.SetFileNameFLASH(
        File("fw.rom", FlashLine(5, 0x1A2B) + FlashLine(0, 0xC00A) + FlashLine(1, 0x00FF)));
    // While in programming mode the object refuses to change what it programs.
    onProgress_ = [this](TProgrammator& p) {
        if (!p.Busy())
            return;
        EXPECT_FALSE(p.LoadImage(tpFLASH, File("other.rom", FlashLine(0, 0))));
        p.SetFileNameFLASH("other.rom");
        p.SetComNumber(9);
    };

    ASSERT_TRUE(prog_.ProgramMemory(tpFLASH));

    std::vector<uint16_t> expected(4096, 0xFFFF);
    expected[0] = 0xC00A;
    expected[1] = 0x00FF;
    expected[5] = 0x1A2B;
    EXPECT_EQ(sim_->Flash(0), expected);
    EXPECT_EQ(Sent(TRequestKind::Modbus), (std::vector<TBytes>{Service(SUB_IDENT)}));
    EXPECT_EQ(Sent(TRequestKind::Direct), (std::vector<TBytes>{
                                              {0xFF},
                                              {0xAC, 0x53, 0x00, 0x00},
                                              {0xAC, 0x80, 0x00, 0x00},
                                              {0x48, 0x00, 0x00, 0xC0},
                                              {0x40, 0x00, 0x00, 0x0A},
                                              {0x48, 0x00, 0x01, 0x00},
                                              {0x40, 0x00, 0x01, 0xFF},
                                              {0x48, 0x00, 0x05, 0x1A},
                                              {0x40, 0x00, 0x05, 0x2B},
                                              {0x00},
                                          }));
    // One byte per confirmation (synchronisation, enable and erase count too), 0 for leaving.
    EXPECT_EQ(Data(), (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 0}));
    EXPECT_FALSE(progress_[1].busy); // set only once the enable has been answered
    EXPECT_TRUE(progress_[2].busy);
    EXPECT_FALSE(prog_.Busy());
    EXPECT_EQ(prog_.FileNameFLASH(), dir_.File("fw.rom"));
    EXPECT_EQ(prog_.FLASHCount(), 3);
    EXPECT_EQ(port_.Port(), "COM7");
    EXPECT_FALSE(port_.Connected());
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(Programming, DirectPathWritesTheEeprom) {
    TModemConfig modem;
    modem.faults.silentModbus = true;
    modem.eepromInit = {{0x20, 0x77}};
    Start(modem);
    sim_->SetFlash(0, std::vector<uint16_t>(4096, 0x1234));
    ASSERT_TRUE(prog_.LoadImage(tpEEPROM, File("a.eep", "0100:3C\r\n0005:11\r\n0001:AA\r\n0005:22\r\n")));

    ASSERT_TRUE(prog_.ProgramDirect(tpEEPROM));

    TBytes expected(512, 0xFF);
    expected[0x20] = 0x77;
    expected[0x01] = 0xAA;
    expected[0x05] = 0x11; // both entries for 5 are written, 0x11 last
    expected[0x100] = 0x3C;
    EXPECT_EQ(sim_->Eeprom(0), expected);
    EXPECT_EQ(sim_->Flash(0), std::vector<uint16_t>(4096, 0x1234)); // no chip erase for the EEPROM
    EXPECT_EQ(Sent(TRequestKind::Direct), (std::vector<TBytes>{{0xFF},
                                                               {0xAC, 0x53, 0x00, 0x00},
                                                               {0xC0, 0x00, 0x01, 0xAA},
                                                               {0xC0, 0x00, 0x05, 0x22},
                                                               {0xC0, 0x00, 0x05, 0x11},
                                                               {0xC0, 0x01, 0x00, 0x3C},
                                                               {0x00}}));
    EXPECT_EQ(Data(), (std::vector<int>{1, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(progress_.front().type, tpEEPROM);
    EXPECT_FALSE(port_.Connected());
}

TEST_F(Programming, DirectPathWrongEchoStopsTheRunAndLeavesThePortOpen) {
    TModemConfig modem;
    modem.faults.silentModbus = true;
    modem.faults.wrongEchoOn = 5; // synchronisation, enable, then the third entry
    Start(modem);
    std::string text;
    for (uint16_t a = 0; a < 6; ++a)
        text += EepromLine(a, static_cast<uint8_t>(0x10 + a));
    ASSERT_TRUE(prog_.LoadImage(tpEEPROM, File("a.eep", text)));

    EXPECT_FALSE(prog_.ProgramDirect(tpEEPROM));

    const auto sent = Sent(TRequestKind::Direct);
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[4], (TBytes{0xC0, 0x00, 0x02, 0x12}));
    EXPECT_EQ(sent[5], TBytes{0x00}); // told to leave programming mode; nothing after the third
    EXPECT_EQ(Data(), (std::vector<int>{1, 1, 1, 1, 1, 0}));
    EXPECT_FALSE(prog_.Busy());
    EXPECT_TRUE(port_.Connected());
    EXPECT_TRUE(host_.messages.empty()); // the modem did leave

    // The next identification closes the port and opens it again.
    sim_->SetFaults(0, {});
    std::string ident;
    EXPECT_TRUE(prog_.Identify(ident));
    EXPECT_FALSE(port_.Connected());
}

TEST_F(Programming, DirectPathFailedSynchronisationTellsToCheckTheCable) {
    TModemConfig modem;
    modem.faults.silentModbus = true;
    modem.faults.wrongEchoOn = 1;
    Start(modem);
    ASSERT_TRUE(prog_.LoadImage(tpFLASH, File("fw.rom", FlashLine(0, 0xC00A))));

    EXPECT_FALSE(prog_.ProgramDirect(tpFLASH));

    EXPECT_EQ(host_.Texts(), std::vector<std::string>{kMsgBadAnswer});
    EXPECT_EQ(host_.messages[0].caption, kAppTitle);
    EXPECT_EQ(Sent(TRequestKind::Direct), (std::vector<TBytes>{{0xFF}, {0x00}}));
    EXPECT_EQ(sim_->Flash(0), std::vector<uint16_t>(4096, 0xFFFF));
    EXPECT_FALSE(port_.Connected());
}

TEST_F(Programming, SlowReplyTimeOutClosesThePortAndEveryRunWaitsAgain) {
    TModemConfig modem;
    modem.faults.silent = true;
    Start(modem);
    ASSERT_TRUE(prog_.LoadImage(tpEEPROM, File("a.eep", "0000:01\r\n")));
    for (int run = 0; run < 2; ++run) {
        const auto t0 = Clock::now();
        // A failed run, not a port error: nothing touches the port the time-out has closed.
        EXPECT_FALSE(prog_.ProgramDirect(tpEEPROM)) << "run " << run;
        const auto waited = Clock::now() - t0;
        EXPECT_GE(waited, 500ms + 1990ms) << "run " << run;
        EXPECT_LT(waited, 500ms + 3500ms) << "run " << run;
        EXPECT_FALSE(port_.Connected());
    }
    // The modem never took programming enable, so only the cable is in question.
    EXPECT_EQ(host_.Texts(), (std::vector<std::string>{kMsgBadAnswer, kMsgBadAnswer}));
    for (const auto& r : sim_->Requests())
        EXPECT_EQ(r.request, TBytes{0xFF}); // no leave byte after a time-out
}

TEST_F(Programming, SlowModemFallingSilentInProgrammingModeEndsTheRunAsFailed) {
    TModemConfig modem;
    modem.faults.silentModbus = true;
    Start(modem);
    ASSERT_TRUE(prog_.LoadImage(tpEEPROM, File("a.eep", "0000:01\r\n0001:02\r\n")));
    // The cable goes dead once the modem has accepted programming enable.
    onProgress_ = [this](TProgrammator&) {
        if (progress_.size() == 2)
            SetFaults({.silent = true});
    };

    EXPECT_FALSE(prog_.ProgramDirect(tpEEPROM));

    // The leave byte cannot go over the closed port; the modem may still be in programming mode.
    EXPECT_EQ(host_.Texts(), std::vector<std::string>{kMsgNotLeft});
    EXPECT_EQ(Sent(TRequestKind::Direct), (std::vector<TBytes>{{0xFF}, {0xAC, 0x53, 0x00, 0x00}}));
    const auto last = sim_->Requests().back(); // the silent modem hears the write as noise
    EXPECT_EQ(last.request, (TBytes{0xC0, 0x00, 0x00, 0x01}));
    EXPECT_EQ(Data(), (std::vector<int>{1, 1, 0}));
    EXPECT_FALSE(prog_.Busy());
    EXPECT_FALSE(port_.Connected());
}

TEST_F(Programming, SlowModemStuckInProgrammingModeIsReported) {
    TModemConfig modem;
    modem.faults.silentModbus = true;
    modem.faults.noLeaveAnswer = true;
    Start(modem);
    ASSERT_TRUE(prog_.LoadImage(tpEEPROM, File("a.eep", "0003:C3\r\n")));

    EXPECT_FALSE(prog_.ProgramDirect(tpEEPROM));

    EXPECT_EQ(sim_->Eeprom(0)[3], 0xC3);
    EXPECT_EQ(host_.Texts(), std::vector<std::string>{kMsgNotLeft});
    EXPECT_EQ(Data().back(), 0);
    EXPECT_FALSE(prog_.Busy());
    EXPECT_FALSE(port_.Connected());
}
