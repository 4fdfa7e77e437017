// Fixed-width names used throughout the libraries.
#pragma once

#include <cstdint>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;
typedef int8_t s8;
typedef int16_t s16;
typedef int32_t s32;
typedef int64_t s64;

// Marks the library's interface: its public classes and its status functions,
// which the Windows executable exports by name for programs that load it. The
// Windows build of the library defines ORVLIB_EXPORTS; for everything else,
// and on the simulated host, the mark is empty.
#ifdef ORVLIB_EXPORTS
#define ORV_EXPORT __declspec(dllexport)
#else
#define ORV_EXPORT
#endif
