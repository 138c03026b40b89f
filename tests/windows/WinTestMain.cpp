// Entry of the Windows test programs. Started by a test with one of these arguments, the program
// stands for another copy of Talmar instead of running the tests:
//   --instance-try     exits 0 when the single-instance guard turns it away, 1 when it got it;
//   --instance-die     takes the guard and is killed holding it (exit code 3).
#include "base/InstanceLock.h"
#include "tests/windows/WinTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace talmar::test {

int RunThisProgram(const std::wstring& arguments) {
    wchar_t self[MAX_PATH];
    if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0)
        return -1;
    std::wstring line = L"\"" + std::wstring(self) + L"\" " + arguments;
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &child))
        return -1;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<int>(code);
}

} // namespace talmar::test

int main(int argc, char** argv) {
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode == "--instance-try") {
        talmar::TInstanceLock lock;
        return lock.Acquire() ? 1 : 0;
    }
    if (mode == "--instance-die") {
        auto* lock = new talmar::TInstanceLock; // never released: the process dies holding it
        if (!lock->Acquire())
            return 2;
        TerminateProcess(GetCurrentProcess(), 3);
        return 4;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
