#include "sim/ModemSim.h"

#include "Modem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace talmar::sim {

namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::nanoseconds;

constexpr std::size_t kMaxNoise = 512; // a burst of noise is logged in pieces of this size

bool Heard(int baud) {
    return baud == kProgBaud || baud == kGroupBaud;
}

int SpeedValue(speed_t s) {
    switch (s) {
    case B0:
        return 0;
    case B300:
        return 300;
    case B600:
        return 600;
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    default:
        return -1;
    }
}

// One character on the line: start bit, 8 data bits, stop bit.
nanoseconds ByteTime(int baud) {
    if (baud <= 0) {
        return nanoseconds(0);
    }
    return nanoseconds(10'000'000'000LL / baud);
}

std::string Hex(const TBytes& bytes) {
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        s += buf;
    }
    return s;
}

} // namespace

// ---------------------------------------------------------------------------------------------

// What the serving thread keeps about the bytes coming in.
struct TModemSim::TLine {
    TBytes pending;                    // bytes of a frame or instruction not yet complete
    TClock::time_point pendingStart{}; // first of them read
    TClock::time_point lastArrival{};  // last byte in (on the wire, with wire time)
    TClock::time_point wireFree{};     // incoming wire busy until then
    int pendingBaud = 0;
    bool pendingDirect = false; // pending bytes belong to the direct path
    TBytes ignored;             // bytes the direct-path modem let pass (not synchronised)
    TClock::time_point ignoredStart{};
    TClock::time_point ignoredLast{};
};

// ---------------------------------------------------------------------------------------------

TModemSim::TModemSim(const TModemConfig& modem, const TLineConfig& line)
    : TModemSim(std::vector<TModemConfig>{modem}, line) {}

TModemSim::TModemSim(const std::vector<TModemConfig>& modems, const TLineConfig& line) : line_(line) {
    for (const auto& m : modems) {
        modems_.push_back(std::make_unique<TModem>(m));
    }
    auto fail = [this](const char* what) {
        const std::string msg = std::string("Имитатор модема: ") + what + ": " + std::strerror(errno);
        for (int fd : {masterFd_, slaveFd_, wakeFd_[0], wakeFd_[1]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        throw std::runtime_error(msg);
    };
    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0) {
        fail("не удалось создать псевдотерминал");
    }
    if (::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0) {
        fail("не удалось открыть доступ к псевдотерминалу");
    }
    char name[128];
    if (::ptsname_r(masterFd_, name, sizeof name) != 0) {
        fail("не удалось узнать имя псевдотерминала");
    }
    slavePath_ = name;
    // The simulator holds the slave side open itself: the line must not hang up when the program
    // closes its port between commands.
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slaveFd_ < 0) {
        fail("не удалось открыть псевдотерминал");
    }
    termios tio{};
    if (::tcgetattr(slaveFd_, &tio) != 0) {
        fail("не удалось прочитать настройки линии");
    }
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B38400);
    ::cfsetospeed(&tio, B38400);
    if (::tcsetattr(slaveFd_, TCSANOW, &tio) != 0) {
        fail("не удалось настроить линию");
    }
    if (::fcntl(masterFd_, F_SETFL, ::fcntl(masterFd_, F_GETFL) | O_NONBLOCK) != 0) {
        fail("не удалось настроить линию");
    }
    if (::pipe2(wakeFd_, O_CLOEXEC | O_NONBLOCK) != 0) {
        fail("не удалось создать канал");
    }
    ::fcntl(masterFd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveFd_, F_SETFD, FD_CLOEXEC);
    started_ = TClock::now();
    thread_ = std::thread([this] { Serve(); });
}

TModemSim::~TModemSim() {
    Stop();
}

void TModemSim::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && !thread_.joinable()) {
            return;
        }
        stopping_ = true;
    }
    if (wakeFd_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] auto r = ::write(wakeFd_[1], &c, 1);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    for (int* fd : {&masterFd_, &slaveFd_, &wakeFd_[0], &wakeFd_[1]}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    logChanged_.notify_all();
}

// --- accessors ---------------------------------------------------------------------------------

std::size_t TModemSim::AddModem(const TModemConfig& config) {
    std::lock_guard lock(mutex_);
    modems_.push_back(std::make_unique<TModem>(config));
    return modems_.size() - 1;
}

std::size_t TModemSim::ModemCount() const {
    std::lock_guard lock(mutex_);
    return modems_.size();
}

TModemConfig TModemSim::Config(std::size_t i) const {
    std::lock_guard lock(mutex_);
    return modems_.at(i)->config;
}

void TModemSim::SetConfig(std::size_t i, const TModemConfig& config) {
    std::lock_guard lock(mutex_);
    TModem& m = *modems_.at(i);
    m.config = config;
    m.flash.resize(config.flashWords, 0xFFFF);
    m.eeprom.resize(config.eepromBytes, 0xFF);
    m.modbusReplies = 0;
    m.directAnswers = 0;
}

void TModemSim::SetFaults(std::size_t i, const TModemFaults& faults) {
    std::lock_guard lock(mutex_);
    TModem& m = *modems_.at(i);
    m.config.faults = faults;
    m.modbusReplies = 0;
    m.directAnswers = 0;
}

TLineConfig TModemSim::Line() const {
    std::lock_guard lock(mutex_);
    return line_;
}

void TModemSim::SetLine(const TLineConfig& line) {
    std::lock_guard lock(mutex_);
    line_ = line;
}

std::vector<uint16_t> TModemSim::Flash(std::size_t i) const {
    std::lock_guard lock(mutex_);
    return modems_.at(i)->flash;
}

TBytes TModemSim::FlashBytes(std::size_t i) const {
    std::lock_guard lock(mutex_);
    TBytes out;
    for (uint16_t w : modems_.at(i)->flash) {
        out.push_back(static_cast<uint8_t>(w & 0xFF));
        out.push_back(static_cast<uint8_t>(w >> 8));
    }
    return out;
}

TBytes TModemSim::Eeprom(std::size_t i) const {
    std::lock_guard lock(mutex_);
    return modems_.at(i)->eeprom;
}

void TModemSim::SetFlash(std::size_t i, const std::vector<uint16_t>& words) {
    std::lock_guard lock(mutex_);
    auto& flash = modems_.at(i)->flash;
    std::fill(flash.begin(), flash.end(), 0xFFFF);
    std::copy_n(words.begin(), std::min(words.size(), flash.size()), flash.begin());
}

void TModemSim::SetEeprom(std::size_t i, const TBytes& bytes) {
    std::lock_guard lock(mutex_);
    auto& eeprom = modems_.at(i)->eeprom;
    std::fill(eeprom.begin(), eeprom.end(), 0xFF);
    std::copy_n(bytes.begin(), std::min(bytes.size(), eeprom.size()), eeprom.begin());
}

bool TModemSim::InProgramming(std::size_t i) const {
    std::lock_guard lock(mutex_);
    return modems_.at(i)->enabled;
}

std::vector<TRequestRecord> TModemSim::Requests() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void TModemSim::ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
    ++logGeneration_;
}

bool TModemSim::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return logChanged_.wait_for(lock, timeout, [&] { return log_.size() >= count; });
}

std::string TModemSim::FormatRecord(const TRequestRecord& r) const {
    const double t = duration_cast<microseconds>(r.received - started_).count() / 1e6;
    const char* kind = r.kind == TRequestKind::Modbus   ? "modbus"
                       : r.kind == TRequestKind::Direct ? "direct"
                                                        : "noise";
    char head[64];
    std::snprintf(head, sizeof head, "%11.6f %6d %-6s", t, r.baud, kind);
    std::string line = head;
    line += " > " + Hex(r.request);
    if (!r.reply.empty()) {
        line += " < " + Hex(r.reply);
        if (r.modem >= 0) {
            line += " [" + std::to_string(r.modem) + "]";
        }
    }
    if (!r.note.empty()) {
        line += "  (" + r.note + ")";
    }
    return line;
}

bool TModemSim::Dump(const std::string& dir, std::string* error) const {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, TBytes>> files;
    std::string log;
    {
        std::lock_guard lock(mutex_);
        std::size_t main = 0;
        while (main < modems_.size() && !modems_[main]->config.programmed) {
            ++main;
        }
        if (main == modems_.size()) {
            main = 0;
        }
        for (std::size_t i = 0; i < modems_.size(); ++i) {
            const TModem& m = *modems_[i];
            if (i != main) {
                files.emplace_back("eeprom-" + std::to_string(m.config.controller) + ".bin", m.eeprom);
                continue;
            }
            TBytes flash;
            for (uint16_t w : m.flash) {
                flash.push_back(static_cast<uint8_t>(w & 0xFF));
                flash.push_back(static_cast<uint8_t>(w >> 8));
            }
            files.emplace_back("flash.bin", std::move(flash));
            files.emplace_back("eeprom.bin", m.eeprom);
        }
        for (const auto& r : log_) {
            log += FormatRecord(r) + "\n";
        }
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    files.emplace_back("requests.log", TBytes(log.begin(), log.end()));
    for (const auto& [name, bytes] : files) {
        const fs::path path = fs::path(dir) / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            if (error) {
                *error = "Не удалось записать файл " + path.string();
            }
            return false;
        }
    }
    return true;
}

// --- the serving thread ------------------------------------------------------------------------

namespace {

// Sleeps until the given moment; false when woken to stop.
bool SleepUntil(int wakeFd, TClock::time_point until) {
    for (;;) {
        const auto now = TClock::now();
        if (now >= until) {
            return true;
        }
        const auto left = duration_cast<nanoseconds>(until - now).count();
        timespec ts{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
        pollfd p{wakeFd, POLLIN, 0};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r > 0) {
            return false;
        }
    }
}

// Writes all the bytes to the line; gives up after a second of a full buffer (nobody reading).
std::size_t WriteAll(int fd, int wakeFd, const uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    const auto giveUp = TClock::now() + std::chrono::seconds(1);
    while (done < count) {
        const ssize_t n = ::write(fd, data + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        if (TClock::now() >= giveUp) {
            break;
        }
        pollfd p[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(p, 2, 50) > 0 && (p[1].revents & POLLIN)) {
            break;
        }
    }
    return done;
}

} // namespace

void TModemSim::Serve() {
    // Wake-ups as close to the line's timing as the kernel gives them (the default slack is 50 µs
    // per sleep, a fifth of a character at 38400 baud).
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    TLine line;
    TBytes buf(4096);

    // Bytes the modems had no use for: one record per burst.
    auto logNoise = [&](TBytes bytes, TClock::time_point start, TClock::time_point last, int baud,
                        const std::string& note) {
        TRequestRecord r;
        r.start = start;
        r.received = r.replyEnd = last;
        r.baud = baud;
        r.kind = TRequestKind::Noise;
        r.request = std::move(bytes);
        r.note = note;
        {
            std::lock_guard lock(mutex_);
            log_.push_back(std::move(r));
        }
        logChanged_.notify_all();
    };
    auto flushNoise = [&](const std::string& note) {
        if (!line.pending.empty()) {
            logNoise(std::move(line.pending), line.pendingStart, line.lastArrival, line.pendingBaud, note);
            line.pending.clear();
        }
    };
    // Bytes the direct-path modem let pass while it waited for the synchronisation byte.
    auto flushIgnored = [&] {
        if (!line.ignored.empty()) {
            logNoise(std::move(line.ignored), line.ignoredStart, line.ignoredLast, kProgBaud,
                     "модем не синхронизирован");
            line.ignored.clear();
        }
    };

    // Sends the replies after the processing delay, paced by wire time, and logs the request.
    auto answer = [&](TRequestRecord rec, std::vector<TReply> replies) {
        TLineConfig cfg;
        {
            std::lock_guard lock(mutex_);
            cfg = line_;
        }
        auto at = rec.received + cfg.processingDelay;
        const nanoseconds perByte = cfg.wireTime ? ByteTime(rec.baud) : nanoseconds(0);
        rec.replyEnd = rec.received;
        for (const auto& reply : replies) {
            if (!rec.note.empty() && !reply.note.empty()) {
                rec.note += "; ";
            }
            rec.note += reply.note;
            if (!reply.bytes.empty()) {
                rec.modem = reply.modem;
                rec.reply.insert(rec.reply.end(), reply.bytes.begin(), reply.bytes.end());
            }
        }
        // The request is in the log before its reply leaves, so a program that has the reply in
        // hand always finds the request logged; the time the reply ended is filled in after.
        std::size_t slot = 0;
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(mutex_);
            log_.push_back(rec);
            slot = log_.size() - 1;
            generation = logGeneration_;
        }
        logChanged_.notify_all();
        auto setReplyEnd = [&](TClock::time_point t) {
            std::lock_guard lock(mutex_);
            if (generation == logGeneration_ && slot < log_.size()) {
                log_[slot].replyEnd = t;
            }
        };
        for (auto& reply : replies) {
            if (reply.bytes.empty()) {
                continue;
            }
            at += std::chrono::milliseconds(reply.extraDelayMs);
            if (!SleepUntil(wakeFd_[0], at)) {
                return;
            }
            if (perByte.count() == 0) {
                // The end is stamped before the write: the program may read the reply and look
                // at the log before this thread runs again.
                setReplyEnd(TClock::now());
                WriteAll(masterFd_, wakeFd_[0], reply.bytes.data(), reply.bytes.size());
            } else {
                // Each byte leaves when its ten bit times are over, so the program sees the reply
                // arrive at the line's pace with no pause inside it.
                // The schedule is kept from the planned start, so a late wake-up does not
                // stretch the reply.
                for (std::size_t k = 0; k < reply.bytes.size(); ++k) {
                    if (!SleepUntil(wakeFd_[0], at + perByte * static_cast<long>(k + 1))) {
                        return;
                    }
                    if (k + 1 == reply.bytes.size()) {
                        setReplyEnd(TClock::now());
                    }
                    WriteAll(masterFd_, wakeFd_[0], &reply.bytes[k], 1);
                }
            }
            at = std::max(TClock::now(), at + perByte * static_cast<long>(reply.bytes.size()));
        }
    };

    // A complete Modbus frame heard at a speed the modems listen to.
    auto handleFrame = [&](TRequestRecord rec) {
        std::vector<TReply> replies;
        const TBytes& f = rec.request;
        if (!CrcOk(f)) {
            rec.kind = TRequestKind::Noise;
            rec.note = "неверная CRC";
            answer(std::move(rec), {});
            return;
        }
        {
            std::lock_guard lock(mutex_);
            const uint8_t slave = f[0];
            const bool group = rec.baud == kGroupBaud;
            bool addressed = false;
            for (std::size_t i = 0; i < modems_.size(); ++i) {
                TModem& m = *modems_[i];
                if (group ? m.config.controller != slave : !(m.config.programmed && slave == 0)) {
                    continue;
                }
                addressed = true;
                TReply reply = m.Modbus(f, group);
                reply.modem = static_cast<int>(i);
                replies.push_back(std::move(reply));
            }
            if (!addressed) {
                rec.note = "нет модема с этим адресом";
            }
        }
        answer(std::move(rec), std::move(replies));
    };

    // A whole Modbus frame taken off the line: logged and answered as one request.
    auto completeFrame = [&](TClock::time_point start, TClock::time_point arrival, int baud, TBytes& bytes) {
        TRequestRecord rec;
        rec.start = start;
        rec.received = arrival;
        rec.baud = baud;
        rec.kind = TRequestKind::Modbus;
        rec.request = std::move(bytes);
        bytes.clear();
        handleFrame(std::move(rec));
    };

    // The modem that takes the direct path at the programming speed, if any.
    auto directModem = [&]() -> int {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < modems_.size(); ++i) {
            if (modems_[i]->SpeaksDirect()) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };

    // A whole instruction of the direct path (one byte for synchronisation and leaving, four for
    // the rest) in line.pending.
    auto handleDirect = [&](int mi, TClock::time_point arrival, int baud) {
        TRequestRecord rec;
        rec.start = line.pendingStart;
        rec.received = arrival;
        rec.baud = baud;
        rec.kind = TRequestKind::Direct;
        TReply reply;
        {
            std::lock_guard lock(mutex_);
            reply = modems_[static_cast<std::size_t>(mi)]->Direct(line.pending);
            reply.modem = mi;
        }
        rec.request = std::move(line.pending);
        line.pending.clear();
        answer(std::move(rec), {std::move(reply)});
    };

    // Whether a byte starts an instruction for the direct-path modem; anything else it ignores
    // (before synchronisation everything but the synchronisation byte).
    auto startsInstruction = [&](int mi, uint8_t b) {
        if (b == kAvrSync) {
            return true;
        }
        std::lock_guard lock(mutex_);
        return modems_[static_cast<std::size_t>(mi)]->synced &&
               (b == kAvrLeave || b == kAvrPrefix || b == kAvrFlashHigh || b == kAvrFlashLow ||
                b == kAvrEeprom);
    };

    auto takeDirectByte = [&](uint8_t b, TClock::time_point readAt, TClock::time_point arrival, int baud,
                              int mi) {
        if (!line.pending.empty() && arrival - line.lastArrival > kDirectResetGap) {
            flushNoise("обрывок команды");
        }
        if (line.pending.empty()) {
            if (!startsInstruction(mi, b)) {
                if (line.ignored.empty()) {
                    line.ignoredStart = readAt;
                }
                line.ignored.push_back(b);
                line.ignoredLast = arrival;
                // A Modbus request among them is logged as one, unanswered by this modem.
                const long len = FrameLength(line.ignored);
                if (len > 0 && line.ignored.size() == static_cast<std::size_t>(len)) {
                    completeFrame(line.ignoredStart, arrival, baud, line.ignored);
                } else if (line.ignored.size() >= kMaxNoise) {
                    flushIgnored();
                }
                return;
            }
            flushIgnored();
            line.pendingStart = readAt;
            line.pendingBaud = baud;
            line.pendingDirect = true;
        }
        line.pending.push_back(b);
        line.lastArrival = arrival;
        const uint8_t first = line.pending[0];
        const std::size_t size = first == kAvrSync || first == kAvrLeave ? 1 : 4;
        if (line.pending.size() == size) {
            handleDirect(mi, arrival, baud);
        }
    };

    auto takeByte = [&](uint8_t b, TClock::time_point readAt, int baud, int direct) {
        // Where the byte is on the wire: it follows the previous one at the line's pace.
        bool wireTime = false;
        {
            std::lock_guard lock(mutex_);
            wireTime = line_.wireTime;
        }
        TClock::time_point arrival = readAt;
        if (wireTime) {
            arrival = std::max(readAt, line.wireFree) + ByteTime(baud);
            line.wireFree = arrival;
        }
        const bool heard = baud == kProgBaud || baud == kGroupBaud;
        const bool isDirect = direct >= 0 && baud == kProgBaud;
        if (!line.pending.empty() && (line.pendingBaud != baud || line.pendingDirect != isDirect)) {
            flushNoise(Heard(line.pendingBaud) ? "обрывок кадра" : "не та скорость");
        }
        if (!isDirect) {
            flushIgnored();
        }
        if (isDirect) {
            takeDirectByte(b, readAt, arrival, baud, direct);
            return;
        }
        if (line.pending.empty()) {
            line.pendingStart = readAt;
            line.pendingBaud = baud;
            line.pendingDirect = false;
        }
        line.pending.push_back(b);
        line.lastArrival = arrival;
        if (!heard) {
            if (line.pending.size() >= kMaxNoise) {
                flushNoise("не та скорость");
            }
            return; // the modems hear nothing but noise at this speed
        }
        const long len = FrameLength(line.pending);
        if (len < 0 && line.pending.size() >= kMaxNoise) {
            flushNoise("не кадр");
            return;
        }
        if (len <= 0 || line.pending.size() < static_cast<std::size_t>(len)) {
            return; // not complete, or no frame: the silence that follows ends it
        }
        completeFrame(line.pendingStart, arrival, baud, line.pending);
    };

    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
        }
        // The silences that end a broken frame, a broken instruction and a burst of ignored bytes.
        const nanoseconds frameGap =
            line.pendingDirect ? nanoseconds(kDirectResetGap)
                               : std::max<nanoseconds>(kFrameGapMin, ByteTime(line.pendingBaud) * 7 / 2);
        std::optional<TClock::time_point> deadline;
        if (!line.pending.empty()) {
            deadline = line.lastArrival + frameGap;
        }
        if (!line.ignored.empty()) {
            const auto d = line.ignoredLast + nanoseconds(kFrameGapMin);
            deadline = deadline ? std::min(*deadline, d) : d;
        }
        int timeoutMs = -1;
        if (deadline) {
            const auto left = duration_cast<std::chrono::milliseconds>(*deadline - TClock::now());
            timeoutMs = static_cast<int>(std::max<long>(0, left.count() + 1));
        }
        pollfd p[2] = {{masterFd_, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
        const int r = ::poll(p, 2, timeoutMs);
        if (r < 0 && errno != EINTR) {
            return;
        }
        if (p[1].revents & POLLIN) {
            return;
        }
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(masterFd_, buf.data(), buf.size());
            const auto readAt = TClock::now();
            if (n > 0) {
                termios tio{};
                const int baud = ::tcgetattr(masterFd_, &tio) == 0 ? SpeedValue(::cfgetospeed(&tio)) : -1;
                const int direct = directModem();
                for (ssize_t k = 0; k < n; ++k) {
                    takeByte(buf[static_cast<std::size_t>(k)], readAt, baud, direct);
                }
            }
        } else if (p[0].revents & (POLLHUP | POLLERR)) {
            // The slave is held open, so this is only a passing state; do not spin on it.
            SleepUntil(wakeFd_[0], TClock::now() + std::chrono::milliseconds(5));
        }
        const auto now = TClock::now();
        if (!line.pending.empty() && now >= line.lastArrival + frameGap) {
            flushNoise(line.pendingDirect        ? "обрывок команды"
                       : Heard(line.pendingBaud) ? "не кадр"
                                                 : "не та скорость");
        }
        if (!line.ignored.empty() && now >= line.ignoredLast + nanoseconds(kFrameGapMin)) {
            flushIgnored();
        }
    }
}

} // namespace talmar::sim
