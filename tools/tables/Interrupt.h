#pragma once
// Ctrl+C, SIGTERM or a closed terminal during an import: the import does not die where it stands
// but stops at its next step, removes what it made (the private copies in the temporary folder,
// the new files in the working folder) and only then ends, as the signal would have ended it.

#include <stdexcept>

namespace talmar {

// Catches SIGINT, SIGTERM and SIGHUP (on Windows: the console's Ctrl+C, Ctrl+Break and closing).
// A second signal of the same kind ends the program at once, as without this.
void CatchInterrupts();

// Whether one of them came since CatchInterrupts.
bool Interrupted();

// Thrown at the import's next step once Interrupted().
class TInterrupted : public std::runtime_error {
public:
    TInterrupted() : std::runtime_error("перевод прерван") {}
};

inline void StopIfInterrupted() {
    if (Interrupted())
        throw TInterrupted();
}

#ifdef _WIN32
// An event that is set when the interruption comes, for waits (a HANDLE; null before CatchInterrupts).
void* InterruptEvent();
#else
// A descriptor that becomes readable when the interruption comes, for poll (-1 before CatchInterrupts).
int InterruptFd();
#endif

// Ends the program as the signal that came would have ended it.
[[noreturn]] void EndAsInterrupted();

} // namespace talmar
