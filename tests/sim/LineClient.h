#pragma once
// The program's end of the simulated line, in plain POSIX: open the device, set the speed, write a
// frame, collect what comes back until the line goes quiet.

#include "sim/ModemSim.h"

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
    explicit TLineClient(const std::string& device, speed_t speed = B38400) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) {
            throw std::runtime_error("cannot open " + device);
        }
        SetSpeed(speed);
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

    // Reads until `quiet` passes without a byte, or `limit` since the call.
    sim::TBytes Read(std::chrono::milliseconds quiet = std::chrono::milliseconds(60),
                     std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
        sim::TBytes out;
        const auto end = sim::TClock::now() + limit;
        auto last = sim::TClock::now();
        while (sim::TClock::now() < end && sim::TClock::now() - last < quiet) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 2) > 0) {
                uint8_t buf[256];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0) {
                    out.insert(out.end(), buf, buf + n);
                    last = sim::TClock::now();
                }
            }
        }
        return out;
    }

    sim::TBytes Exchange(const sim::TBytes& request) {
        Write(request);
        return Read();
    }

    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

// A request with its CRC appended.
inline sim::TBytes Frame(sim::TBytes body) {
    sim::AppendCrc(body);
    return body;
}

} // namespace talmar::test
