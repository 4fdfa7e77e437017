// The simulated machine's Win32 subset: the types, constants and functions
// that the system calls, with Win32 semantics, for builds that are not
// Windows. Each group lives in its own header.
#pragma once

#include "winsim/win32_base.h"
#include "winsim/win32_kernel.h"
#include "winsim/win32_advapi.h"
#include "winsim/win32_crt.h"
