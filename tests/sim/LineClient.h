#pragma once
// The program's end of the simulated line, in plain POSIX: open the device, set the speed, write a
// frame, collect what comes back.
//
// Given the simulator object itself, an exchange waits until the simulator has logged the request
// (it logs a request before its reply leaves, and bytes it makes nothing of once their silence is
// over) and then reads exactly the reply the log shows. Nothing then depends on how quickly the
// threads of a busy machine get to run: a late reply is still the reply to its own request, and the
// speed of the line is never changed under bytes the simulator has not read yet.

#include "sim/ModemSim.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace talmar::test {

class TLineClient {
public:
    // A simulator in another process: only the line is known.
    explicit TLineClient(const std::string& device, speed_t speed = B38400) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) {
            throw std::runtime_error("cannot open " + device);
        }
        SetSpeed(speed);
    }
    // A simulator in this process: exchanges follow its log.
    explicit TLineClient(const sim::TModemSim& sim, speed_t speed = B38400)
        : TLineClient(sim.SlavePath(), speed) {
        sim_ = &sim;
    }
    ~TLineClient() { ::close(fd_); }
    TLineClient(const TLineClient&) = delete;
    TLineClient& operator=(const TLineClient&) = delete;

    void SetSpeed(speed_t speed) {
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }

    void Write(const sim::TBytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            }
        }
    }

    // Waits up to `first` for a byte, then reads until `quiet` passes without one.
    sim::TBytes Read(std::chrono::milliseconds quiet = std::chrono::milliseconds(60),
                     std::chrono::milliseconds first = std::chrono::milliseconds(2000)) {
        sim::TBytes out;
        auto until = sim::TClock::now() + first;
        while (sim::TClock::now() < until) {
            if (Take(out, 2)) {
                until = sim::TClock::now() + quiet;
            }
        }
        return out;
    }

    // Reads exactly count bytes, giving up after limit.
    sim::TBytes ReadCount(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        sim::TBytes out;
        const auto until = sim::TClock::now() + limit;
        while (out.size() < count && sim::TClock::now() < until) {
            Take(out, 2, count - out.size());
        }
        return out;
    }

    // Writes the request and gives what came back for it (see above). Without the simulator
    // object: the bytes that come within two seconds, up to 60 ms of quiet after the last.
    sim::TBytes Exchange(const sim::TBytes& request) {
        if (!sim_) {
            Write(request);
            return Read();
        }
        const std::size_t before = sim_->Requests().size();
        Write(request);
        if (!sim_->WaitForRequests(before + 1, std::chrono::seconds(10))) {
            throw std::runtime_error("the simulator has not taken the request off the line in 10 s");
        }
        return ReadCount(sim_->Requests().at(before).reply.size());
    }

    int Fd() const { return fd_; }

private:
    // One poll of at most ms and what it brings, up to max bytes; true when something came.
    bool Take(sim::TBytes& out, int ms, std::size_t max = 256) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) {
            return false;
        }
        uint8_t buf[256];
        const ssize_t n = ::read(fd_, buf, std::min<std::size_t>(max, sizeof buf));
        if (n <= 0) {
            return false;
        }
        out.insert(out.end(), buf, buf + n);
        return true;
    }

    int fd_ = -1;
    const sim::TModemSim* sim_ = nullptr;
};

// A request with its CRC appended.
inline sim::TBytes Frame(sim::TBytes body) {
    sim::AppendCrc(body);
    return body;
}

} // namespace talmar::test
