// The program's table of requests against the simulated modems, which frame and answer the line
// on their own reading of it: every request the program builds from the table is taken off the
// line as one whole frame of the table's length and answered with a reply of the table's length,
// addressed back to the slave and function asked.

#include "link/Modbus.h"
#include "link/Requests.h"
#include "link/SwitchFrames.h"
#include "sim/Modem.h"
#include "sim/ModemSim.h"
#include "tests/sim/LineClient.h"

#include <gtest/gtest.h>

using namespace talmar;
using talmar::test::TLineClient;

namespace {

constexpr uint8_t kController = 9;
constexpr uint16_t kAddr = 0x0040;

// The request the program sends for a row of the table with count data bytes (for a fixed-length
// request, count is its own), through the builder its users call.
sim::TBytes Build(const TRequestSpec& rq, int count) {
    TFrame frame{};
    int length = 0;
    if (rq.group) {
        switch (rq.id) {
        case TRequestId::ReadEepromByte:
            length = BuildEepromByteRead(frame, kController, kAddr);
            break;
        case TRequestId::Version:
            length = BuildVersionRequest(frame, kController);
            break;
        case TRequestId::WriteEepromByte:
            length = BuildEepromByteWrite(frame, kController, kAddr, 0x5A);
            break;
        default:
            ADD_FAILURE() << rq.name << ": a group request without a builder";
        }
    } else {
        TModbusFrames frames;
        frames.SetTargetAddress(kAddr);
        uint8_t data[kMaxRequestData] = {};
        for (int i = 0; i < count; ++i)
            data[i] = static_cast<uint8_t>(0x30 + i);
        length = frames.BuildRequest(rq.id, data, rq.sub >= 0 ? 0 : count);
        frame = frames.TxFrame;
    }
    EXPECT_EQ(length, rq.RequestLength(count)) << rq.name;
    return {frame.begin(), frame.begin() + length};
}

} // namespace

TEST(RequestTable, TheSimulatedModemsFrameAndAnswerEveryRequestAtTheTablesLengths) {
    sim::TModemConfig cable; // the programming cable's modem, address 0x00 at 38400 baud
    sim::TModemConfig kp;    // a КП on the group line at 9600 baud
    kp.programmed = false;
    kp.controller = kController;
    sim::TModemSim sim({cable, kp}, {});
    TLineClient line(sim);

    for (const TRequestSpec& rq : kRequests) {
        // Both ends of every data range, and each step between for the variable ones.
        for (int count = rq.dataMin; count <= rq.dataMax; count += rq.dataStep) {
            SCOPED_TRACE(std::string(rq.name) + ", " + std::to_string(count) + " data bytes");
            const sim::TBytes request = Build(rq, count);
            ASSERT_EQ(request.size(), static_cast<std::size_t>(rq.RequestLength(count)));
            EXPECT_EQ(request[1], rq.fn);
            if (rq.sub >= 0) {
                EXPECT_EQ(request[5], rq.sub);
            }

            // The modems' framing: no shorter beginning passes for a whole frame of another
            // length, and the whole request is one frame.
            for (std::size_t k = 1; k < request.size(); ++k) {
                const long partial = sim::FrameLength(sim::TBytes(request.begin(), request.begin() + k));
                EXPECT_TRUE(partial == 0 || partial == static_cast<long>(request.size())) << k << " bytes";
            }
            EXPECT_EQ(sim::FrameLength(request), static_cast<long>(request.size()));

            // Taken off the line as one request and answered at the table's length.
            const std::size_t before = sim.Requests().size();
            line.SetSpeed(rq.group ? B9600 : B38400);
            const sim::TBytes reply = line.Exchange(request);
            const auto log = sim.Requests();
            ASSERT_EQ(log.size(), before + 1);
            EXPECT_EQ(log.back().kind, sim::TRequestKind::Modbus);
            EXPECT_EQ(log.back().request, request);
            ASSERT_EQ(reply.size(), static_cast<std::size_t>(rq.replyLength)) << log.back().note;
            EXPECT_TRUE(ReplyAnswers(request.data(), reply.data()));
            EXPECT_TRUE(sim::CrcOk(reply));
        }
    }
}
