#pragma once
// What the Windows tests share: a second copy of the test program, started as Talmar would be
// started a second time.

#include <string>

namespace talmar::test {

// Runs this program again with the arguments (no shell, no quoting needed) and returns its exit
// code, or -1 when it could not be started.
int RunThisProgram(const std::wstring& arguments);

} // namespace talmar::test
