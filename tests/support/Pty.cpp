#include "tests/support/Pty.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace talmar::test {

TPty::TPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("cannot create a pseudo-terminal");
    slavePath_ = ptsname(master_);
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0)
        throw std::runtime_error("cannot open " + slavePath_);
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
}

TPty::~TPty() {
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

void TPty::BindCom(int n) const {
    setenv(("TALMAR_COM" + std::to_string(n)).c_str(), slavePath_.c_str(), 1);
}

void TPty::Write(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0)
            throw std::runtime_error("pty write failed");
        done += static_cast<size_t>(n);
    }
}

std::string TPty::ReadAvailable(int quietMs) const {
    std::string out;
    pollfd p{master_, POLLIN, 0};
    while (::poll(&p, 1, quietMs) > 0 && (p.revents & POLLIN)) {
        char buf[256];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

speed_t TPty::LineSpeed() const {
    termios t{};
    tcgetattr(master_, &t);
    return cfgetospeed(&t);
}

} // namespace talmar::test
