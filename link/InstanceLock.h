#pragma once
// The single-instance guard: a per-user lock held for the life of the process. The system drops
// it when the process ends, however it ends, so a crash never leaves the program locked out.

#include <string>

namespace talmar {

inline constexpr const char* kInstanceLockName = "Programmator";

class TInstanceLock {
public:
    TInstanceLock() = default;
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // True when this process now holds the lock; false when another process holds it.
    bool Acquire(const std::string& name = kInstanceLockName);
    void Release();

    // Where the lock of that name lives: $XDG_RUNTIME_DIR, or a private folder under /tmp.
    static std::string LockPath(const std::string& name);

private:
    int fd_ = -1;
};

} // namespace talmar
