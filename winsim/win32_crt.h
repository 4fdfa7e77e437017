// The Windows C runtime's services that the host's C library lacks or does
// differently: the environment, the secure random source, time text, shared
// file opens, file status and wide conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "winsim/win32_base.h"

typedef int errno_t;

#define _TRUNCATE ((size_t)-1)
#define STRUNCATE 80

// Sharing of _fsopen: what other opens of the file may do meanwhile.
#define _SH_DENYRW 0x10
#define _SH_DENYWR 0x20
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40

#define _S_IFMT 0xF000
#define _S_IFDIR 0x4000
#define _S_IFREG 0x8000
#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080
#define _S_IEXEC 0x0040

// The members of the runtime's file status that the system reads.
struct _stat64 {
  unsigned short st_mode;
  int64_t st_size;
};

// The simulated machine's environment: the host's, names compared ignoring
// case as on Windows, with "programdata" naming the machine's own folder.
errno_t getenv_s(size_t* required, char* buffer, size_t size, const char* name);
// An empty value removes the variable.
errno_t _putenv_s(const char* name, const char* value);

errno_t rand_s(unsigned int* value);
errno_t ctime_s(char* buffer, size_t size, const time_t* time);

// Opens with Windows sharing: an open that another open's sharing forbids
// fails with EACCES. Other processes that open through the simulated machine
// see the same sharing.
FILE* _fsopen(const char* path, const char* mode, int shareFlag);
int _stat64(const char* path, struct _stat64* status);

errno_t mbstowcs_s(size_t* converted, WCHAR* out, size_t size, const char* text, size_t count);
