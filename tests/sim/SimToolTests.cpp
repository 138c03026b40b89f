// talmar-modem-sim as a user starts it, and the program's own serial port against the simulator.

#include "link/ComPort.h"
#include "sim/ModemSim.h"
#include "tests/sim/LineClient.h"
#include "tests/support/TempDir.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

using namespace talmar::sim;
using talmar::test::Frame;
using talmar::test::ReadFileBytes;
using talmar::test::TLineClient;
using talmar::test::TTempDir;
using namespace std::chrono_literals;

extern char** environ;

namespace {

// The simulator running as its own process, its standard output on a pipe.
class TSimProcess {
public:
    explicit TSimProcess(std::vector<std::string> args) {
        args.insert(args.begin(), std::string(TALMAR_BINARY_DIR) + "/sim/talmar-modem-sim");
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
        if (rc != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start talmar-modem-sim");
        }
    }
    ~TSimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }

    // The next line of standard output, empty if none within the limit.
    std::string ReadLine(std::chrono::milliseconds limit = 5000ms) {
        std::string line;
        const auto end = TClock::now() + limit;
        while (TClock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            char c;
            if (::read(out_, &c, 1) != 1) {
                break;
            }
            if (c == '\n') {
                return line;
            }
            line += c;
        }
        return {};
    }

    void Signal(int sig) { ::kill(pid_, sig); }

    // Exit status, or -1 if it has not ended within the limit.
    int Wait(std::chrono::milliseconds limit = 5000ms) {
        const auto end = TClock::now() + limit;
        while (TClock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 200 && !std::filesystem::exists(path); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return std::filesystem::exists(path);
}

} // namespace

TEST(SimTool, ServesUntilSignalledAndDumps) {
    TTempDir dir;
    const std::string link = dir.File("modem");
    const std::string dump = dir.File("dump");
    TSimProcess sim({"--quiet", "--ident", "ЛТР-10", "--link", link, "--dump", dump, "--sys-mode", "3",
                     "--sys-mode-addr", "0x40", "--extra", "12,2,v12", "--bad-crc", "2"});
    const std::string device = sim.ReadLine();
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(std::filesystem::read_symlink(link), device);

    {
        TLineClient line(link);
        const TBytes reply = line.Exchange(Frame({0x00, 0xAA, 0x00, 0x00, 0x01, 0xA4}));
        ASSERT_EQ(reply.size(), 17u);
        EXPECT_EQ(reply[4], 7);
        EXPECT_EQ(reply[5], 0xCB);
        // The second reply comes with a spoiled CRC.
        EXPECT_FALSE(CrcOk(line.Exchange(Frame({0x00, 0x1E, 0x00, 0x41, 0x01, 0x5A}))));
        line.SetSpeed(B9600);
        EXPECT_EQ(line.Exchange(Frame({0x00, 0xE3, 0x00, 0x40, 0x01})), TBytes{});
        EXPECT_EQ(line.Exchange(Frame({12, 0xE3, 0x00, 0x40, 0x01})), Frame({12, 0xE3, 0x01, 2}));
    }

    sim.Signal(SIGUSR1);
    ASSERT_TRUE(WaitForFile(dump + "/requests.log"));
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));

    const std::string eeprom = ReadFileBytes(dump + "/eeprom.bin");
    ASSERT_EQ(eeprom.size(), 512u);
    EXPECT_EQ(eeprom[0x40], 3);
    EXPECT_EQ(static_cast<uint8_t>(eeprom[0x41]), 0x5A);
    EXPECT_EQ(ReadFileBytes(dump + "/flash.bin"), std::string(8192, '\xFF'));
    EXPECT_EQ(ReadFileBytes(dump + "/eeprom-12.bin")[0x40], 2);
    const std::string log = ReadFileBytes(dump + "/requests.log");
    EXPECT_NE(log.find("00 AA 00 00 01 A4 18 28 < 00 AA 00 00 07"), std::string::npos) << log;
}

// A line of several КП for the system switch, each with its own system, version and fault.
TEST(SimTool, LineOfKpWithTheirFaults) {
    TSimProcess sim({"--quiet",
                     "--controller",
                     "1",
                     "--sys-mode",
                     "1",
                     "--sys-mode-addr",
                     "16",
                     "--extra",
                     "2,3,v2.0",
                     "--extra",
                     "3,2",
                     "--extra",
                     "4,1",
                     "--extra",
                     "5,3",
                     "--kp-fault",
                     "3,silent",
                     "--kp-fault",
                     "4,bad-crc,1",
                     "--kp-fault",
                     "5,short-reply,2"});
    const std::string device = sim.ReadLine();
    ASSERT_FALSE(device.empty());
    TLineClient line(device, B9600);
    auto read = [&](uint8_t kp) { return line.Exchange(Frame({kp, 0xE3, 0x00, 0x10, 0x01})); };
    EXPECT_EQ(read(1), Frame({1, 0xE3, 0x01, 1}));
    EXPECT_EQ(read(2), Frame({2, 0xE3, 0x01, 3}));
    EXPECT_EQ(line.Exchange(Frame({2, 0xAA, 0x00, 0x00, 0x01, 0xA4})),
              Frame({2, 0xAA, 0x00, 0x00, 5, 'v', '2', '.', '0', 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(read(3).empty());
    EXPECT_FALSE(CrcOk(read(4)));
    EXPECT_EQ(read(4), Frame({4, 0xE3, 0x01, 1})); // only the first reply was spoiled
    EXPECT_EQ(read(5), Frame({5, 0xE3, 0x01, 3}));
    EXPECT_EQ(line.Exchange(Frame({5, 0x1E, 0x00, 0x10, 0x01, 0x02})).size(), 6u); // one byte short
    EXPECT_EQ(read(5), Frame({5, 0xE3, 0x01, 2}));
}

// A КП whose EEPROM holds a settings image file, and one that takes a write and keeps its byte.
TEST(SimTool, SettingsImageIntoAKpAndAWornCell) {
    TTempDir dir;
    const std::string image = dir.File("kp.eep");
    {
        std::ofstream f(image, std::ios::binary);
        // The last line of an address counts; LF alone ends a line too.
        f << "0010:03\r\n0041:5A\r\n\r\n0010:02\n0100:FF\r\n";
    }
    TSimProcess sim({"--quiet", "--controller", "1", "--extra", "7", "--eeprom", "7," + image, "--kp-fault",
                     "7,refuse-write,0x41"});
    const std::string device = sim.ReadLine();
    ASSERT_FALSE(device.empty());
    TLineClient line(device, B9600);
    auto read = [&](uint8_t kp, uint8_t addr) { return line.Exchange(Frame({kp, 0xE3, 0x00, addr, 0x01})); };
    EXPECT_EQ(read(7, 0x10), Frame({7, 0xE3, 0x01, 2}));
    EXPECT_EQ(read(7, 0x41), Frame({7, 0xE3, 0x01, 0x5A}));
    EXPECT_EQ(read(7, 0x42), Frame({7, 0xE3, 0x01, 0xFF}));
    EXPECT_EQ(read(1, 0x10), Frame({1, 0xE3, 0x01, 0xFF})); // the other modem keeps its blank EEPROM
    // The worn cell answers the write as done and keeps its byte; its neighbour takes it.
    EXPECT_EQ(line.Exchange(Frame({7, 0x1E, 0x00, 0x41, 0x01, 0x11})).size(), 7u);
    EXPECT_EQ(line.Exchange(Frame({7, 0x1E, 0x00, 0x42, 0x01, 0x22})).size(), 7u);
    EXPECT_EQ(read(7, 0x41), Frame({7, 0xE3, 0x01, 0x5A}));
    EXPECT_EQ(read(7, 0x42), Frame({7, 0xE3, 0x01, 0x22}));
}

TEST(SimTool, RefusesBadOptions) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--controller", "300"},
                                          {"--bogus"},
                                          {"--bad-crc"},
                                          {"--sys-mode", "1", "--sys-mode-addr", "4096"},
                                          {"--kp-fault", "9,silent"},
                                          {"--extra", "9", "--kp-fault", "9,loud"},
                                          {"--extra", "9", "--kp-fault", "9,bad-crc,0"},
                                          {"--extra", "9", "--kp-fault", "9,refuse-write,70000"},
                                          {"--eeprom", "9,/nonexistent.eep"},
                                          {"--eeprom", "1"},
                                          {"--eeprom", "1,/dev/null/x"}}) {
        TSimProcess sim(args);
        EXPECT_EQ(sim.ReadLine(2000ms), "") << args.back();
        EXPECT_EQ(sim.Wait(), 2) << args.back();
    }
}

// The program's port: Qt underneath sets the speed on the device, closes and reopens it between
// commands; the simulator must hear it all.
TEST(SimTool, ProgramPortTalksToTheSimulator) {
    TModemConfig kp;
    kp.programmed = false;
    kp.controller = 1;
    TModemSim sim({TModemConfig{}, kp}, {});
    ::setenv("TALMAR_COM31", sim.SlavePath().c_str(), 1);
    talmar::TComPort port;
    port.SetPort("COM31");
    const TBytes ident = Frame({0x00, 0xAA, 0x00, 0x00, 0x01, 0xA4});
    uint8_t buf[64] = {};
    for (int round = 0; round < 2; ++round) {
        port.Open();
        port.ClearBuffers(true, true);
        ASSERT_EQ(port.WriteBlock(ident.data(), static_cast<int>(ident.size())), 8);
        ASSERT_EQ(port.ReadBlock(buf, 17), 17) << "round " << round;
        EXPECT_TRUE(CrcOk(TBytes(buf, buf + 17)));
        port.Close();
    }
    port.SetBaudRate(talmar::br9600);
    port.Open();
    const TBytes version = Frame({0x01, 0xAA, 0x00, 0x00, 0x01, 0xA4});
    port.WriteBlock(version.data(), static_cast<int>(version.size()));
    ASSERT_EQ(port.ReadBlock(buf, 17), 17);
    EXPECT_EQ(buf[0], 0x01);
    port.Close();
    const auto log = sim.Requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].baud, 38400);
    EXPECT_EQ(log[2].baud, 9600);
}
