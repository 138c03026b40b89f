#pragma once
// A pseudo-terminal pair for port tests: the test plays the far end on the master side while the
// code under test opens the slave device like any serial port.

#include <string>
#include <termios.h>

namespace talmar::test {

class TPty {
public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // Points $TALMAR_COMn at this pty, so that "COMn" opens it.
    void BindCom(int n) const;

    void Write(const std::string& bytes) const;
    // Everything that arrives within `ms` of quiet.
    std::string ReadAvailable(int quietMs = 50) const;
    speed_t LineSpeed() const; // the speed the program set on the line

private:
    int master_ = -1;
    int slave_ = -1; // held open so that the line survives the program closing its side
    std::string slavePath_;
};

} // namespace talmar::test
