// The simulated modem against hand-built frames: the bytes it answers, where writes land, what
// it does not hear, and each fault it can be given.

#include "sim/ModemSim.h"
#include "tests/sim/LineClient.h"

#include <gtest/gtest.h>
#include <thread>

using namespace talmar::sim;
using talmar::test::Frame;
using talmar::test::TLineClient;
using namespace std::chrono_literals;

namespace {

TBytes Service(uint8_t sub, uint8_t hi = 0, uint8_t lo = 0) {
    return Frame({0x00, 0xAA, hi, lo, 0x01, sub});
}

} // namespace

TEST(SimCrc, KnownFrames) {
    // Frames as they appear on a working line, CRC low byte first.
    const std::vector<TBytes> frames = {
        {0x00, 0xAA, 0x00, 0x00, 0x01, 0xA4, 0x18, 0x28}, {0x00, 0xAA, 0x00, 0x00, 0x01, 0xA1, 0xD8, 0x2B},
        {0x00, 0xAA, 0x00, 0x00, 0x01, 0xA2, 0x98, 0x2A}, {0x00, 0xAA, 0x00, 0x00, 0x01, 0xA3, 0x59, 0xEA},
        {0x01, 0xAA, 0x00, 0x00, 0x01, 0xA4, 0x19, 0xF9}, {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87},
    };
    for (const auto& f : frames) {
        EXPECT_TRUE(CrcOk(f));
        EXPECT_EQ(Frame(TBytes(f.begin(), f.end() - 2)), f);
        TBytes swapped = f;
        std::swap(swapped[swapped.size() - 1], swapped[swapped.size() - 2]);
        EXPECT_FALSE(CrcOk(swapped));
    }
    EXPECT_FALSE(CrcOk({0x00}));
}

TEST(SimCodePage, Cp1251) {
    EXPECT_EQ(ToCp1251("ЛТР-20 v3"), (TBytes{0xCB, 0xD2, 0xD0, '-', '2', '0', ' ', 'v', '3'}));
    EXPECT_EQ(ToCp1251("ЁёЯя№"), (TBytes{0xA8, 0xB8, 0xDF, 0xFF, 0xB9}));
    EXPECT_EQ(ToCp1251("€\xff"
                       "a"),
              (TBytes{0x88, '?', 'a'}));        // malformed UTF-8 byte
    EXPECT_EQ(ToCp1251("\xd0"), (TBytes{'?'})); // cut-off sequence
    EXPECT_EQ(ToCp1251("日"), (TBytes{'?'}));   // not in the code page
}

TEST(SimModbus, ServiceRepliesEchoAddressAndCarryCrc) {
    TModemSim sim;
    TLineClient line(sim);
    for (uint8_t sub : {0xA3, 0xA1, 0xA2}) {
        // After data blocks the program's service request carries the last block's address.
        EXPECT_EQ(line.Exchange(Service(sub, 0x01, 0x38)), Frame({0x00, 0xAA, 0x01, 0x38, kStatusOk}))
            << std::hex << int(sub);
    }
    EXPECT_EQ(line.Exchange(Service(0xA4)),
              Frame({0x00, 0xAA, 0x00, 0x00, 10, 0xCB, 0xD2, 0xD0, '-', '2', '0', ' ', 'v', '3', 0x00}));
    // An unknown sub-code gets no answer.
    EXPECT_TRUE(line.Exchange(Service(0x55)).empty());
}

TEST(SimModbus, IdentificationCount) {
    struct Case {
        std::string text;
        std::optional<uint8_t> count;
        std::optional<TBytes> raw;
        uint8_t n;
        TBytes data;
    };
    const std::vector<Case> cases = {
        {"", {}, {}, 1, TBytes(10, 0)},
        {"ABCDEFGHIJKL",
         {},
         {},
         10,
         {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 0}}, // nine characters kept
        {"AB", 12, {}, 12, {'A', 'B', 0, 0, 0, 0, 0, 0, 0, 0}},
        {"", {}, TBytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 11, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    };
    TModemSim sim;
    TLineClient line(sim);
    for (const auto& c : cases) {
        TModemConfig cfg;
        cfg.ident = c.text;
        cfg.identCount = c.count;
        cfg.identBytes = c.raw;
        sim.SetConfig(0, cfg);
        const TBytes reply = line.Exchange(Service(0xA4));
        ASSERT_EQ(reply.size(), 17u) << c.text;
        EXPECT_TRUE(CrcOk(reply));
        EXPECT_EQ(reply[4], c.n) << c.text;
        EXPECT_EQ(TBytes(reply.begin() + 5, reply.begin() + 15), c.data) << c.text;
    }
}

TEST(SimModbus, WritesLandAtTheirAddresses) {
    TModemConfig cfg;
    cfg.flashWords = 64;
    cfg.eepromBytes = 32;
    TModemSim sim(cfg);
    sim.SetFlash(0, std::vector<uint16_t>(64, 0x1234));
    TLineClient line(sim);

    // Preparing for a program erases the old one.
    ASSERT_EQ(line.Exchange(Service(0xA3)).size(), 7u);
    EXPECT_EQ(sim.Flash(0), std::vector<uint16_t>(64, 0xFFFF));

    // Words arrive low byte first at word address 0x0010.
    EXPECT_EQ(line.Exchange(Frame({0x00, 0x1F, 0x00, 0x10, 4, 0x0A, 0xC0, 0x34, 0x12})),
              Frame({0x00, 0x1F, 0x00, 0x10, kStatusOk}));
    EXPECT_EQ(line.Exchange(Frame({0x00, 0x1E, 0x00, 0x05, 3, 0x11, 0x22, 0x33})),
              Frame({0x00, 0x1E, 0x00, 0x05, kStatusOk}));
    auto flash = sim.Flash(0);
    EXPECT_EQ(flash[0x0F], 0xFFFF);
    EXPECT_EQ(flash[0x10], 0xC00A);
    EXPECT_EQ(flash[0x11], 0x1234);
    EXPECT_EQ(flash[0x12], 0xFFFF);
    TBytes eeprom(32, 0xFF);
    eeprom[5] = 0x11;
    eeprom[6] = 0x22;
    eeprom[7] = 0x33;
    EXPECT_EQ(sim.Eeprom(0), eeprom);
    EXPECT_EQ(sim.FlashBytes(0)[0x20], 0x0A);
    EXPECT_EQ(sim.FlashBytes(0)[0x21], 0xC0);

    // A block running past the end stores what fits and says so in its status byte.
    EXPECT_EQ(line.Exchange(Frame({0x00, 0x1E, 0x00, 30, 3, 0xA1, 0xA2, 0xA3})),
              Frame({0x00, 0x1E, 0x00, 30, kStatusBadAddress}));
    EXPECT_EQ(sim.Eeprom(0)[30], 0xA1);
    EXPECT_EQ(sim.Eeprom(0)[31], 0xA2);
    EXPECT_EQ(line.Exchange(Frame({0x00, 0x1F, 0xFF, 0xFF, 2, 0x01, 0x02})),
              Frame({0x00, 0x1F, 0xFF, 0xFF, kStatusBadAddress}));
    EXPECT_EQ(sim.Flash(0).size(), 64u);
}

TEST(SimModbus, HearsOnlyWholeFramesAtItsSpeed) {
    TModemSim sim;
    TLineClient line(sim);
    struct Case {
        const char* what;
        speed_t speed;
        TBytes request;
    };
    TBytes badCrc = Service(0xA4);
    badCrc.back() ^= 1;
    const std::vector<Case> deaf = {
        {"19200 baud", B19200, Service(0xA4)},
        {"programming at 9600", B9600, Service(0xA4)},
        {"group request at 38400", B38400, Frame({0x01, 0xAA, 0x00, 0x00, 0x01, 0xA4})},
        {"bad CRC", B38400, badCrc},
        {"not a frame", B38400, {0x00, 0x03, 0x00}},
    };
    for (const auto& c : deaf) {
        line.SetSpeed(c.speed);
        EXPECT_TRUE(line.Exchange(c.request).empty()) << c.what;
    }
    EXPECT_EQ(sim.Flash(0), std::vector<uint16_t>(4096, 0xFFFF));
    const auto log = sim.Requests();
    ASSERT_EQ(log.size(), deaf.size());
    EXPECT_EQ(log[0].baud, 19200);
    for (const auto& r : log) {
        EXPECT_NE(r.kind, TRequestKind::Direct);
        EXPECT_TRUE(r.reply.empty());
    }
    EXPECT_EQ(log[0].kind, TRequestKind::Noise);
    EXPECT_EQ(log[2].kind, TRequestKind::Modbus); // a whole frame, for nobody on this line

    // Back at the programming speed the modem answers again. A frame whose first part the modem
    // has already given up as noise after its silence stays two pieces of noise.
    line.SetSpeed(B38400);
    const TBytes id = Service(0xA4);
    const TBytes head(id.begin(), id.begin() + 3);
    const TBytes tail(id.begin() + 3, id.end());
    sim.ClearLog();
    line.Write(head);
    ASSERT_TRUE(sim.WaitForRequests(1, 10s));
    EXPECT_TRUE(line.Exchange(tail).empty());
    auto pieces = sim.Requests();
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].kind, TRequestKind::Noise);
    EXPECT_EQ(pieces[0].request, head);
    EXPECT_EQ(pieces[1].kind, TRequestKind::Noise);

    // Written in two parts a millisecond apart, it is one frame. That millisecond is this thread
    // sleeping: on a busy machine it may outlast the modem's frame gap, and then the modem rightly
    // hears two pieces of noise; such an attempt shows nothing and is made again.
    bool whole = false;
    for (int attempt = 0; attempt < 20 && !whole; ++attempt) {
        sim.ClearLog();
        line.Write(head);
        std::this_thread::sleep_for(1ms);
        const TBytes reply = line.Exchange(tail);
        pieces = sim.Requests();
        if (pieces[0].kind == TRequestKind::Modbus) {
            EXPECT_EQ(pieces[0].request, id);
            EXPECT_EQ(reply.size(), 17u);
            whole = true;
        } else {
            ASSERT_TRUE(sim.WaitForRequests(2, 10s));
            pieces = sim.Requests();
            EXPECT_GE(pieces[1].start - pieces[0].received, kFrameGapMin) << "split without a silence";
        }
    }
    EXPECT_TRUE(whole);
}

TEST(SimFaults, ModbusReplies) {
    TModemSim sim;
    TLineClient line(sim);
    const TBytes good = Frame({0x00, 0xAA, 0x00, 0x00, kStatusOk});

    TModemFaults f;
    f.badCrcOnReply = 2;
    sim.SetFaults(0, f);
    EXPECT_EQ(line.Exchange(Service(0xA1)), good);
    TBytes spoiled = line.Exchange(Service(0xA1));
    ASSERT_EQ(spoiled.size(), 7u);
    EXPECT_FALSE(CrcOk(spoiled));
    EXPECT_EQ(line.Exchange(Service(0xA1)), good);

    f = {};
    f.shortReplyOn = 1;
    sim.SetFaults(0, f);
    EXPECT_EQ(line.Exchange(Service(0xA1)), TBytes(good.begin(), good.end() - 1));
    EXPECT_EQ(line.Exchange(Service(0xA4)).size(), 17u);

    f = {};
    f.silent = true;
    sim.SetFaults(0, f);
    EXPECT_TRUE(line.Exchange(Service(0xA4)).empty());

    f = {};
    f.extraDelayMs = 150;
    sim.SetFaults(0, f);
    const auto t0 = TClock::now();
    EXPECT_EQ(line.Exchange(Service(0xA4)).size(), 17u);
    EXPECT_GE(TClock::now() - t0, 150ms);

    // Silent in Modbus: no answer, but the direct path is served.
    f = {};
    f.silentModbus = true;
    sim.SetFaults(0, f);
    EXPECT_TRUE(line.Exchange(Service(0xA4)).empty());
    EXPECT_EQ(line.Exchange({0xFF}), TBytes{0xFF});
}

TEST(SimDirect, ProgramsFlashAndEeprom) {
    TModemConfig cfg;
    cfg.faults.silentModbus = true;
    cfg.flashWords = 16;
    cfg.eepromBytes = 16;
    TModemSim sim(cfg);
    sim.SetFlash(0, std::vector<uint16_t>(16, 0x5555));
    TLineClient line(sim);

    // Before synchronisation only 0xFF is heard: not even programming enable.
    EXPECT_TRUE(line.Exchange(Service(0xA4)).empty());
    EXPECT_TRUE(line.Exchange({0xAC, 0x53, 0x00, 0x00}).empty());
    EXPECT_EQ(line.Exchange({0xFF}), TBytes{0xFF});
    // Writes are refused until programming is enabled.
    EXPECT_TRUE(line.Exchange({0xC0, 0x00, 0x01, 0x77}).empty());
    EXPECT_EQ(sim.Eeprom(0)[1], 0xFF);
    EXPECT_EQ(line.Exchange({0xAC, 0x53, 0x00, 0x00}), TBytes{0x53});
    EXPECT_TRUE(sim.InProgramming(0));
    EXPECT_EQ(line.Exchange({0xAC, 0x80, 0x00, 0x00}), TBytes{0x53});
    EXPECT_EQ(sim.Flash(0), std::vector<uint16_t>(16, 0xFFFF));

    EXPECT_EQ(line.Exchange({0x48, 0x00, 0x03, 0xC0}), TBytes{0xC0});
    EXPECT_EQ(line.Exchange({0x40, 0x00, 0x03, 0x0A}), TBytes{0x0A});
    EXPECT_EQ(line.Exchange({0x40, 0x00, 0x04, 0x12}), TBytes{0x12});
    EXPECT_EQ(line.Exchange({0xC0, 0x00, 0x02, 0x3F}), TBytes{0x3F});
    // An instruction cut short by a long silence is dropped (the modem logs the piece once the
    // silence is over); the next one is read whole.
    const std::size_t before = sim.Requests().size();
    line.Write({0xC0, 0x00});
    ASSERT_TRUE(sim.WaitForRequests(before + 1, 10s));
    EXPECT_EQ(sim.Requests().back().kind, TRequestKind::Noise);
    EXPECT_EQ(line.Exchange({0xC0, 0x00, 0x05, 0x44}), TBytes{0x44});
    EXPECT_EQ(line.Exchange({0x00}), TBytes{0x00});
    EXPECT_FALSE(sim.InProgramming(0));

    auto flash = sim.Flash(0);
    EXPECT_EQ(flash[3], 0xC00A);
    EXPECT_EQ(flash[4], 0xFF12);
    EXPECT_EQ(flash[5], 0xFFFF);
    EXPECT_EQ(sim.Eeprom(0)[2], 0x3F);
    EXPECT_EQ(sim.Eeprom(0)[5], 0x44);
    EXPECT_EQ(sim.Eeprom(0)[0], 0xFF);

    const auto log = sim.Requests();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().kind, TRequestKind::Direct);
    EXPECT_EQ(log.back().request, TBytes{0x00});
    EXPECT_EQ(log.back().reply, TBytes{0x00});
    // The identification request is logged as the Modbus frame it is, unanswered; the early
    // programming enable as noise.
    EXPECT_EQ(log[0].kind, TRequestKind::Modbus);
    EXPECT_EQ(log[0].request, Service(0xA4));
    EXPECT_TRUE(log[0].reply.empty());
    EXPECT_EQ(log[1].kind, TRequestKind::Noise);
    EXPECT_EQ(log[1].request, (TBytes{0xAC, 0x53, 0x00, 0x00}));
}

TEST(SimFaults, DirectPath) {
    TModemConfig cfg;
    cfg.faults.silentModbus = true;
    cfg.faults.wrongEchoOn = 4; // sync, enable, first write, second write
    TModemSim sim(cfg);
    TLineClient line(sim);
    EXPECT_EQ(line.Exchange({0xFF}), TBytes{0xFF});
    EXPECT_EQ(line.Exchange({0xAC, 0x53, 0x00, 0x00}), TBytes{0x53});
    EXPECT_EQ(line.Exchange({0xC0, 0x00, 0x00, 0x01}), TBytes{0x01});
    EXPECT_EQ(line.Exchange({0xC0, 0x00, 0x01, 0x02}), TBytes{0xFD});
    EXPECT_EQ(line.Exchange({0xC0, 0x00, 0x02, 0x03}), TBytes{0x03});

    cfg.faults.wrongEchoOn = 0;
    cfg.faults.noLeaveAnswer = true;
    sim.SetFaults(0, cfg.faults);
    EXPECT_TRUE(line.Exchange({0x00}).empty());
    EXPECT_TRUE(sim.InProgramming(0));

    cfg.faults.noLeaveAnswer = false;
    cfg.faults.silent = true;
    sim.SetFaults(0, cfg.faults);
    EXPECT_TRUE(line.Exchange({0xFF}).empty());
}

TEST(SimGroup, OnlyTheAddressedControllerAnswers) {
    constexpr uint16_t kSysMode = 0x0123;
    auto kp = [&](uint8_t controller, uint8_t system, const char* version) {
        TModemConfig c;
        c.controller = controller;
        c.programmed = false;
        c.eepromInit[kSysMode] = system;
        c.version = version;
        return c;
    };
    TModemSim sim({kp(1, 1, "v1"), kp(7, 3, "v7"), kp(9, 2, "v9")}, {});
    TLineClient line(sim, B9600);

    EXPECT_EQ(line.Exchange(Frame({7, 0xE3, 0x01, 0x23, 0x01})), Frame({7, 0xE3, 0x01, 3}));
    EXPECT_EQ(line.Exchange(Frame({9, 0xE3, 0x01, 0x23, 0x01})), Frame({9, 0xE3, 0x01, 2}));
    EXPECT_TRUE(line.Exchange(Frame({4, 0xE3, 0x01, 0x23, 0x01})).empty());
    // Nobody answers slave address 0 on the group line: there is no programmed modem.
    EXPECT_TRUE(line.Exchange(Frame({0, 0xE3, 0x01, 0x23, 0x01})).empty());

    EXPECT_EQ(line.Exchange(Frame({7, 0x1E, 0x01, 0x23, 0x01, 0x02})),
              Frame({7, 0x1E, 0x01, 0x23, kStatusOk}));
    EXPECT_EQ(sim.Eeprom(1)[kSysMode], 2);
    EXPECT_EQ(sim.Eeprom(0)[kSysMode], 1);
    EXPECT_EQ(sim.Eeprom(2)[kSysMode], 2);

    EXPECT_EQ(line.Exchange(Frame({9, 0xAA, 0x00, 0x00, 0x01, 0xA4})),
              Frame({9, 0xAA, 0x00, 0x00, 3, 'v', '9', 0, 0, 0, 0, 0, 0, 0, 0}));
    // Programming requests are not group requests.
    EXPECT_TRUE(line.Exchange(Frame({9, 0xAA, 0x00, 0x00, 0x01, 0xA1})).empty());
    EXPECT_TRUE(line.Exchange(Frame({9, 0x1F, 0x00, 0x00, 0x02, 0x01, 0x02})).empty());

    // A faulty КП among good ones.
    TModemFaults f;
    f.shortReplyOn = 1;
    sim.SetFaults(1, f);
    EXPECT_EQ(line.Exchange(Frame({7, 0xE3, 0x01, 0x23, 0x01})).size(), 5u);
}

TEST(SimTiming, WireTimePacesTheLine) {
    TLineConfig lc;
    lc.wireTime = true;
    lc.processingDelay = 2ms;
    TModemSim sim(TModemConfig{}, lc);
    TLineClient line(sim, B9600);
    sim.AddModem([] {
        TModemConfig c;
        c.programmed = false;
        c.controller = 3;
        return c;
    }());
    // At 9600 baud a character takes 1.04 ms: 8 bytes in, 2 ms, 17 bytes out. Only lower bounds
    // are firm: a busy machine can always make a reply later.
    const auto t0 = TClock::now();
    line.Write(Frame({3, 0xAA, 0x00, 0x00, 0x01, 0xA4}));
    const TBytes reply = line.ReadCount(17);
    const auto total = TClock::now() - t0;
    ASSERT_EQ(reply.size(), 17u);
    EXPECT_GE(total, 25 * 1041us + 2ms);

    const auto rec = sim.Requests().back();
    EXPECT_GE(rec.received - rec.start, 8 * 1041us - 100us);
    EXPECT_GE(rec.replyEnd - rec.received, 2ms + 17 * 1041us - 100us);
}

TEST(SimLine, SurvivesTheProgramReopeningThePort) {
    TModemSim sim;
    for (int i = 0; i < 3; ++i) {
        TLineClient line(sim);
        EXPECT_EQ(line.Exchange(Service(0xA4)).size(), 17u) << "open " << i;
    }
    EXPECT_TRUE(sim.WaitForRequests(3, 1s));
    sim.ClearLog();
    EXPECT_TRUE(sim.Requests().empty());
    EXPECT_FALSE(sim.WaitForRequests(1, 10ms));
    sim.Stop();
    sim.Stop();
}
