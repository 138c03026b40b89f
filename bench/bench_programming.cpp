// Programming runs against the simulated modem with real wire time at 38400 baud.
//
// (b) A 4096-word FLASH image over the Modbus path: wall time against the least the line allows,
//     i.e. the wire time of every byte sent and received, the pauses the protocol prescribes and
//     the modem's processing delay per request.
// (c) Processor time of the programming thread against wall time, for that run and for a
//     direct-path run (the simulator serves the line on a thread of its own in this process, so
//     the programming thread's own clock is read, not the process's).
//
// Usage: bench_programming [words-direct]   (default 512 FLASH words for the direct path)
#include "base/QtHost.h"
#include "bench/BenchHost.h"
#include "link/ComPort.h"
#include "link/Programmator.h"
#include "sim/ModemSim.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

using namespace talmar;
using talmar::bench::TBenchHost;
using talmar::bench::ThreadCpuSeconds;
using Clock = std::chrono::steady_clock;

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string WriteFlashFile(const std::filesystem::path& dir, int words) {
    const std::string path = (dir / "fw.rom").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    char line[32];
    for (int a = 0; a < words; ++a) {
        std::snprintf(line, sizeof line, "%06X:%04X\r\n", a, (a * 40503u + 0x1234u) & 0xFFFFu);
        out << line;
    }
    return path;
}

struct TMeasure {
    double wall = 0;
    double threadCpu = 0;
    double processCpu = 0;
};

template <typename F>
TMeasure Measure(F&& run) {
    const auto t0 = Clock::now();
    const double c0 = ThreadCpuSeconds();
    const double p0 = ProcessCpuSeconds();
    run();
    return {Seconds(Clock::now() - t0), ThreadCpuSeconds() - c0, ProcessCpuSeconds() - p0};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int directWords = argc > 1 ? std::max(1, std::atoi(argv[1])) : 512;
    constexpr int kWords = 4096;
    constexpr double kByte = 10.0 / 38400.0; // seconds on the wire per byte

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "talmar-bench-programming";
    std::filesystem::create_directories(dir);

    sim::TLineConfig line;
    line.wireTime = true;
    const double processing = std::chrono::duration<double>(line.processingDelay).count();
    sim::TModemConfig modem;
    modem.flashWords = kWords;
    sim::TModemSim simulator(modem, line);
    ::setenv("TALMAR_COM5", simulator.SlavePath().c_str(), 1);

    TBenchHost host;
    TComPort port;

    // (b) Modbus path, the whole run as the firmware command makes it.
    bool okModbus = false;
    TProgrammator prog(host, &port);
    prog.SetComNumber(5);
    prog.SetFileNameFLASH(WriteFlashFile(dir, kWords));
    const TMeasure modbus = Measure([&] { okModbus = prog.ProgramMemory(tpFLASH); });

    // The least the line allows. Identification: the settle and answer pauses (its 8 + 17 bytes
    // go over inside the answer pause). Then the pauses of the Modbus path, and per exchange the
    // request and its 7-byte reply on the wire plus the modem's processing delay.
    const int blocks = (kWords + TProgrammator::kFlashBlockWords - 1) / TProgrammator::kFlashBlockWords;
    const int services = 3; // preparation, begin, end
    const double waits = (kIdentSettleMs + kIdentAnswerMs + TProgrammator::kOpenSettleMs +
                          2 * TProgrammator::kServiceSettleMs + TProgrammator::kOpenSettleMs) /
                         1000.0;
    const double bytes = services * (8 + 7) + blocks * (5 + 2 * TProgrammator::kFlashBlockWords + 2 + 7);
    const double wire = bytes * kByte;
    const double lower = waits + wire + (services + blocks) * processing;
    // Where the time above the bound goes, as the simulator saw it: between a reply's last byte
    // and the next request's first (the program's turn), and inside each exchange beyond its wire
    // time and processing delay (the simulator's and the pseudo-terminal's turn).
    double programTurn = 0;
    double simulatorExcess = 0;
    {
        const auto log = simulator.Requests();
        for (std::size_t i = 0; i < log.size(); ++i) {
            const auto& r = log[i];
            simulatorExcess += Seconds(r.replyEnd - r.start) -
                               static_cast<double>(r.request.size() + r.reply.size()) * kByte - processing;
            // The data blocks follow each other without a pause; the gaps before them are the
            // program's own work per exchange.
            if (i > 0 && r.request.size() > 1 && r.request[1] == FN_WRITE_FLASH &&
                log[i - 1].request.size() > 1 && log[i - 1].request[1] == FN_WRITE_FLASH)
                programTurn += Seconds(r.start - log[i - 1].replyEnd);
        }
    }
    bool flashOk = okModbus;
    {
        const auto flash = simulator.Flash(0);
        for (int a = 0; a < kWords && flashOk; ++a)
            flashOk = flash[static_cast<std::size_t>(a)] == ((a * 40503u + 0x1234u) & 0xFFFFu);
    }

    // (c) Direct path: the same modem made silent in Modbus. The run is started at the direct
    // path itself; through ProgramMemory the unanswered identification would add 8.8 s of idle.
    sim::TModemFaults faults;
    faults.silentModbus = true;
    simulator.SetFaults(0, faults);
    simulator.SetFlash(0, std::vector<uint16_t>(kWords, 0));
    TProgrammator direct(host, &port);
    direct.SetComNumber(5);
    direct.LoadImage(tpFLASH, WriteFlashFile(dir, directWords));
    bool okDirect = false;
    TMeasure afterSettle;
    Clock::time_point firstByte{};
    double firstCpu = 0;
    direct.SetOnReceiveByte([&](TProgrammator&, TTypePROM, int) {
        if (firstByte == Clock::time_point{}) {
            firstByte = Clock::now();
            firstCpu = ThreadCpuSeconds();
        }
    });
    const TMeasure directRun = Measure([&] { okDirect = direct.ProgramDirect(tpFLASH); });
    afterSettle.wall = Seconds(Clock::now() - firstByte);
    afterSettle.threadCpu = ThreadCpuSeconds() - firstCpu;
    const int instructions = 3 + 2 * directWords + 1;
    const double directLower = TProgrammator::kDirectSettleMs / 1000.0 +
                               (3 * 5 + 2 * directWords * 5 + 2) * kByte + instructions * processing;
    bool directFlashOk = okDirect;
    {
        const auto flash = simulator.Flash(0);
        for (int a = 0; a < kWords && directFlashOk; ++a) {
            const uint16_t expected =
                a < directWords ? static_cast<uint16_t>((a * 40503u + 0x1234u) & 0xFFFFu) : 0xFFFF;
            directFlashOk = flash[static_cast<std::size_t>(a)] == expected;
        }
    }
    std::filesystem::remove_all(dir);

    std::printf("Programming into the simulated modem, wire time at 38400 baud, processing delay %.1f ms\n\n",
                processing * 1000);
    std::printf("(b) Modbus path, %d FLASH words in %d blocks (%s, memory %s)\n", kWords, blocks,
                okModbus ? "run true" : "run FALSE", flashOk ? "equal" : "DIFFERS");
    std::printf("    %-44s %10.3f s\n", "wall time", modbus.wall);
    std::printf("    %-44s %10.3f s\n", "lower bound", lower);
    std::printf("      %-42s %10.3f s\n", "prescribed pauses", waits);
    std::printf("      %-42s %10.3f s\n",
                ("wire time (" + std::to_string(static_cast<int>(bytes)) + " bytes)").c_str(), wire);
    std::printf("      %-42s %10.3f s\n", "processing delay", (services + blocks) * processing);
    std::printf("    %-44s %10.4f   (target <= 1.05)\n", "wall / lower bound", modbus.wall / lower);
    std::printf("      %-42s %10.3f s\n", "program's turn between data blocks", programTurn);
    std::printf("      %-42s %10.3f s\n", "simulator lateness beyond wire + processing", simulatorExcess);
    std::printf("\n(c) processor time of the programming thread / wall time (target <= 5 %%)\n");
    std::printf("    %-44s %9.2f %%   (thread %.3f s, process incl. simulator %.3f s)\n", "Modbus run above",
                100 * modbus.threadCpu / modbus.wall, modbus.threadCpu, modbus.processCpu);
    std::printf("    %-44s %9.2f %%   (thread %.3f s over %.3f s wall; lower bound %.3f s)\n",
                ("direct path, " + std::to_string(directWords) + " words, whole run").c_str(),
                100 * directRun.threadCpu / directRun.wall, directRun.threadCpu, directRun.wall, directLower);
    std::printf("    %-44s %9.2f %%   (thread %.3f s over %.3f s wall)\n",
                "direct path, after the 500 ms settle", 100 * afterSettle.threadCpu / afterSettle.wall,
                afterSettle.threadCpu, afterSettle.wall);
    std::printf("    direct path: %s, memory %s, %d messages\n", okDirect ? "run true" : "run FALSE",
                directFlashOk ? "equal" : "DIFFERS", host.messages);
    return okModbus && okDirect && flashOk && directFlashOk ? 0 : 1;
}
