#include "Interrupt.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace talmar {

#ifdef _WIN32

namespace {

volatile LONG gCaught = 0;
HANDLE gEvent = nullptr;

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD type) {
    if (InterlockedExchange(&gCaught, 1) != 0)
        return FALSE; // the second one: the system's own handling ends the program
    SetEvent(gEvent);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        Sleep(4500); // the system ends the program when this returns: the import removes its files meanwhile
                     // and ends the program itself
    return TRUE;
}

} // namespace

void CatchInterrupts() {
    if (!gEvent)
        gEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool Interrupted() {
    return gCaught != 0;
}

void* InterruptEvent() {
    return gEvent;
}

void EndAsInterrupted() {
    std::fflush(nullptr);
    ExitProcess(0xC000013A); // what Ctrl+C ends a console program with
}

#else

namespace {

volatile std::sig_atomic_t gSignal = 0;
int gPipe[2] = {-1, -1};

extern "C" void OnSignal(int sig) {
    const int saved = errno;
    if (gSignal == 0)
        gSignal = sig;
    if (gPipe[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = write(gPipe[1], &c, 1);
    }
    errno = saved;
}

} // namespace

void CatchInterrupts() {
    if (gPipe[0] < 0 && pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        gPipe[0] = gPipe[1] = -1;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal the program was started to ignore (a job run with nohup) stays ignored.
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
}

bool Interrupted() {
    return gSignal != 0;
}

int InterruptFd() {
    return gPipe[0];
}

void EndAsInterrupted() {
    const int sig = gSignal != 0 ? static_cast<int>(gSignal) : SIGINT;
    std::fflush(nullptr);
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);
}

#endif

} // namespace talmar
