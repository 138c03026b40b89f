#pragma once
// <windows.h> as every Windows branch of the program takes it: without its rarely used parts, and
// without the min and max macros that would break std::min and std::max (and, unlean, the
// A/W macros that turned TComPort::SetPort into SetPortA).
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
