// Small platform services shared by the libraries and the application.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "osl/osl_types.h"

// The operating system's message for a Windows error number, converted to
// the system code page (out holds at least 256 bytes).
u64 osl_get_sys_error_text(u16 errorNumber, char* out, u32 size);

// Two 32-bit values of the secure random source: the first in the high half,
// the second in the low half. Failures of the source are not reported.
u64 osl_random64(u64* out);

// Every printer of the libraries writes through these. osl_fprintf returns -1
// for a null stream, else the runtime's result; osl_vfprintf does not test.
int osl_fprintf(FILE* stream, const char* format, ...);
int osl_vfprintf(FILE* stream, const char* format, va_list arguments);
