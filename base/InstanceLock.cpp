#include "base/InstanceLock.h"

#include <cstdlib>

#ifdef _WIN32
#include "base/Utf8Path.h"
#include "base/WinApi.h"

#include <algorithm>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talmar {

TInstanceLock::~TInstanceLock() {
    Release();
}

#ifdef _WIN32

std::string TInstanceLock::LockPath(const std::string& name) {
    // A kernel object's name may hold any character but the backslash.
    if (const char* lockDir = std::getenv("TALMAR_LOCK_DIR"); lockDir && *lockDir) {
        std::string place = lockDir;
        std::replace(place.begin(), place.end(), '\\', '/');
        return name + "@" + place;
    }
    return name;
}

bool TInstanceLock::Acquire(const std::string& name) {
    if (mutex_)
        return true;
    // No initial owner, default security: the name alone tells whether a copy runs.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, WideFromUtf8(LockPath(name)).c_str());
    if (!mutex)
        return true; // nowhere to keep a lock: do not stop the user from working
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    mutex_ = mutex;
    return true;
}

void TInstanceLock::Release() {
    if (mutex_) {
        CloseHandle(static_cast<HANDLE>(mutex_));
        mutex_ = nullptr;
    }
}

#else

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

#endif

} // namespace talmar
