#include "link/InstanceLock.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talmar {

TInstanceLock::~TInstanceLock() {
    Release();
}

std::string TInstanceLock::LockPath(const std::string& name) {
    if (const char* lockDir = std::getenv("TALMAR_LOCK_DIR"); lockDir && *lockDir)
        return std::string(lockDir) + "/" + name + ".lock";
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::string(run) + "/talmar-" + name + ".lock";
    const std::string dir = "/tmp/talmar-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    return dir + "/" + name + ".lock";
}

bool TInstanceLock::Acquire(const std::string& name) {
    if (fd_ >= 0)
        return true;
    const int fd = ::open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // nowhere to keep a lock: do not stop the user from working
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void TInstanceLock::Release() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace talmar
