// The line check of one КП: the sample frequency record "КП-1 Подстанция Северная" read back from
// a simulated modem that holds exactly its image, with the wire time of 9600 baud, run as the
// window runs it (the port's idle hook handles window events during reads).
//
// Prints the wall time over the lower bound the protocol sets (per byte of the image: the 100 ms
// before each request, then 7 request and 6 reply bytes of 10 bits at 9600 baud; target ≤ 1.05),
// the command thread's processor time over wall time (target < 2 %), the longest gap between two
// ticks of a 10 ms timer standing for the window's paint events (target < 100 ms), and what a
// line of 20 such КП takes.
//
// Usage: bench_verify
#include "bench/BenchHost.h"
#include "link/ComPort.h"
#include "link/Modbus.h"
#include "link/SwitchFrames.h"
#include "remote/core/LineCheck.h"
#include "sim/ModemSim.h"
#include "store/DMTables.h"
#include "store/SettingsImage.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace talmar;
using talmar::bench::TBenchHost;
using talmar::bench::ThreadCpuSeconds;
using Clock = std::chrono::steady_clock;

namespace {

class TBenchView : public ILineCheckView {
public:
    explicit TBenchView(IHost& host) : host_(host) {}
    void ProcessMessages() override { host_.ProcessMessages(false); }
    void Wait(std::int64_t ms) override { Pause(host_, static_cast<int>(ms)); }
    bool ConfirmRepair(const TKpCheck&, int) override { return false; }

private:
    IHost& host_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const auto dir =
        std::filesystem::temp_directory_path() / ("talmar-bench-verify-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    if (std::system((std::string(TALMAR_TABLES_TOOL) + " sample >/dev/null").c_str()) != 0)
        return 1;
    TBenchHost host;
    int status = 1;
    {
        TDMTables dm(host);
        if (!dm.Open())
            return 1;
        TTable& lf = dm.TDataLF();
        lf.SetRecNo(1);
        const TSettingsImage image = BuildSettingsImage(dm, lf);
        if (!image.Complete()) {
            std::fprintf(stderr, "%s\n", image.refusal.c_str());
            return 1;
        }
        sim::TModemConfig modem;
        modem.programmed = false;
        modem.controller = static_cast<uint8_t>(lf.FieldByName("ENumController").AsInteger());
        for (const TImageByte& b : image.Effective())
            modem.eepromInit[b.addr] = b.value;
        sim::TLineConfig wire;
        wire.wireTime = true;
        wire.processingDelay = std::chrono::microseconds(0);
        sim::TModemSim line(modem, wire);
        TComPort port;
        port.SetPort(line.SlavePath());
        port.SetIdle([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
        TBenchView view(host);
        TLineCheck check(dm, port, host, view);
        check.SetPortName([&] { return line.SlavePath(); });

        Clock::time_point last = Clock::now();
        Clock::duration longest{};
        QTimer paint;
        paint.setTimerType(Qt::PreciseTimer);
        QObject::connect(&paint, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longest = std::max(longest, now - last);
            last = now;
        });
        paint.start(10);
        last = Clock::now();
        const double cpu0 = ThreadCpuSeconds();
        const auto t0 = Clock::now();
        const TCheckResult r = check.Run(lf, {lf.RowId()}, false, 0);
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = ThreadCpuSeconds() - cpu0;
        paint.stop();
        longest = std::max(longest, Clock::now() - last);

        const int bytes = r.kps.empty() ? 0 : r.kps[0].bytesRead;
        const double wirePerByte = (kSysModeReadLength + kSysModeReplyLength) * 10.0 / 9600.0;
        const double perByte = kExchangeSettleMs / 1000.0 + wirePerByte;
        const double bound = bytes * perByte;
        std::printf("line check of one КП of the sample frequency table, 9600 baud with wire time\n");
        std::printf("  result                        %s\n", r.kps.empty() ? "-" : r.kps[0].Summary().c_str());
        std::printf("  bytes read (one per address)  %8d\n", bytes);
        std::printf("  lower bound                   %8.3f s   (%d x (0.100 + 13 x 10 / 9600 = %.4f) s)\n",
                    bound, bytes, perByte);
        std::printf("  wall time                     %8.3f s\n", wall);
        std::printf("  wall / lower bound            %8.3f     (target <= 1.05)\n",
                    bound > 0 ? wall / bound : 0.0);
        std::printf("  processor time / wall time    %8.2f %%   (target < 2 %%; command thread: %.3f s)\n",
                    100.0 * cpu / wall, cpu);
        std::printf("  longest gap between ticks     %8.1f ms  (target < 100 ms)\n",
                    std::chrono::duration<double, std::milli>(longest).count());
        std::printf("  a line of 20 such КП          %8.1f s   (no pause) / %.1f s (1 s pause between КП)\n",
                    20 * wall, 20 * wall + 19);
        status = r.kps.size() == 1 && r.kps[0].verdict == TKpVerdict::Matching ? 0 : 1;
    }
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return status;
}
