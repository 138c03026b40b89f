#pragma once
// The single-instance guard: a per-user lock held for the life of the process. The system drops
// it when the process ends, however it ends, so a crash never leaves the program locked out.
// On Windows it is the named mutex of that name in the user's session; elsewhere a locked file.

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

    // Where the lock of that name lives: $XDG_RUNTIME_DIR, or a private folder under /tmp. On
    // Windows, the mutex's name. $TALMAR_LOCK_DIR, when set, gives the lock a place of its own (so
    // tests never meet a running program).
    static std::string LockPath(const std::string& name);

private:
#ifdef _WIN32
    void* mutex_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace talmar
