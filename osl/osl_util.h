// Small platform services shared by the libraries and the application.
#pragma once

#include "osl/osl_types.h"

// The operating system's message for a Windows error number, converted to
// the system code page (out holds at least 256 bytes).
u64 osl_get_sys_error_text(u16 errorNumber, char* out, u32 size);
