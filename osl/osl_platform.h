// The one place that chooses the platform: the real Windows headers in the
// Windows build, the simulated machine's declarations everywhere else.
// Keep every platform test in this header and in winsim/.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <stdlib.h>
#include <stdio.h>
#include <time.h>
#include <sys/stat.h>
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <shellapi.h>
#include <commctrl.h>
#include <share.h>
#include <io.h>
#include <process.h>
// Wide string literal of the platform's WCHAR type.
#define OSL_W_(text) L##text
#define OSL_W(text) OSL_W_(text)
#define OSL_SIMULATED 0
#else
#include "winsim/win32.h"
#define OSL_W_(text) u##text
#define OSL_W(text) OSL_W_(text)
#define OSL_SIMULATED 1
#endif

#include <cstdint>

static_assert(sizeof(WCHAR) == 2, "WCHAR must be UTF-16");
static_assert(sizeof(DWORD) == 4 && sizeof(ULONG) == 4, "DWORD and ULONG are 32 bits");
static_assert(sizeof(void*) == 8, "64-bit build only");
