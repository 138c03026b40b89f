// The single-instance guard on Windows: the named mutex "Programmator" in the user's session.
#include "base/InstanceLock.h"
#include "tests/windows/WinTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

using namespace talmar;
using talmar::test::RunThisProgram;

namespace {

// A guard of its own for the test (and the copies it starts, which inherit the variable), so a
// Talmar running on the same desktop is never met.
class TOwnGuard : public testing::Test {
protected:
    void SetUp() override {
        place_ = "C:\\talmar-guard\\" + std::to_string(GetCurrentProcessId());
        _putenv_s("TALMAR_LOCK_DIR", place_.c_str());
    }
    void TearDown() override { _putenv_s("TALMAR_LOCK_DIR", ""); }

    std::string place_;
};

bool MutexExists(const std::string& name) {
    HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    if (!h)
        return false;
    CloseHandle(h);
    return true;
}

} // namespace

TEST(InstanceGuardName, IsProgrammatorWithoutATestPlace) {
    _putenv_s("TALMAR_LOCK_DIR", "");
    EXPECT_EQ(TInstanceLock::LockPath(kInstanceLockName), "Programmator");
}

TEST_F(TOwnGuard, ASecondCopyIsTurnedAwayUntilTheFirstLetsGo) {
    const std::string name = TInstanceLock::LockPath(kInstanceLockName);
    // A kernel object's name cannot hold a backslash (it would name a namespace).
    EXPECT_EQ(name.find('\\'), std::string::npos) << name;
    EXPECT_EQ(name.rfind("Programmator", 0), 0u) << name;

    TInstanceLock first;
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Acquire()) << "asking again keeps what it holds";
    EXPECT_TRUE(MutexExists(name)) << "the guard is the named mutex " << name;
    EXPECT_EQ(RunThisProgram(L"--instance-try"), 0) << "a second copy must be turned away";
    TInstanceLock sameProcess;
    EXPECT_FALSE(sameProcess.Acquire());

    first.Release();
    EXPECT_FALSE(MutexExists(name));
    EXPECT_EQ(RunThisProgram(L"--instance-try"), 1) << "after the first copy ends, a new one starts";
}

TEST_F(TOwnGuard, ACopyKilledHoldingTheGuardLeavesItFree) {
    ASSERT_EQ(RunThisProgram(L"--instance-die"), 3);
    TInstanceLock next;
    EXPECT_TRUE(next.Acquire());
}
