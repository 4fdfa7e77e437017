// The simulated machine's Win32 subset: the types, constants and functions
// that the system calls, with Win32 semantics, for builds that are not
// Windows. Each group lives in its own header.
#pragma once

#include "winsim/win32_base.h"
#include "winsim/win32_kernel.h"
#include "winsim/win32_advapi.h"
#include "winsim/win32_crt.h"
#include "winsim/win32_file.h"
#include "winsim/win32_process.h"
#include "winsim/win32_resource.h"
#include "winsim/win32_user.h"
#include "winsim/win32_storage.h"
#include "winsim/win32_setupapi.h"
