// Runtime services of the OS layer: range-checked numbers, the secure random
// number, time text, trimming and bounded string handling.
#pragma once

#include <cstdarg>
#include <ctime>

#include "osl/osl_types.h"

// Converts the whole text (leading white space and a sign as strtoull takes
// them); base 0, 2, 8, 10 or 16.
u64 osl_strtou64(const char* text, u32 base, u64* out);
u64 osl_strtou16(const char* text, u32 base, u16* out);
// Decimal.
u64 osl_strtou8(const char* text, u8* out);
u64 osl_strtou32(const char* text, u32* out);

u64 osl_random64(u64* out);

constexpr u32 OSL_TIME_TEXT_SIZE = 30;
// The 24-character local-time text ("Wed Jan 02 02:03:55 1980") without the
// newline; out holds OSL_TIME_TEXT_SIZE bytes.
u64 osl_time_text(time_t time, char* out);

u64 osl_trim(char* text);

// At most maxCount characters, always terminated within size; the number of
// characters written, or -1 when the text was cut or formatting failed.
int osl_snprintf(char* buffer, u32 size, u32 maxCount, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
int osl_vsnprintf(char* buffer, u32 size, u32 maxCount, const char* format, va_list arguments);

// Bounded string helpers of the libraries (size is the destination's size
// with its terminator; every result is terminated).
char* osl_strcat(char* destination, u32 size, const char* source);
char* osl_strncat(char* destination, u32 size, const char* source, u32 count);
// Copies at most count - 1 characters and terminates.
char* osl_strncpy(char* destination, const char* source, u32 count);
char* osl_strcpy(char* destination, u32 size, const char* source);
constexpr u32 OSL_FORMAT_SIZE = 1024;
// Formats into a fixed buffer of OSL_FORMAT_SIZE bytes (at most 1,023
// characters, cut beyond); returns the length of the text kept.
int osl_format(char (&buffer)[OSL_FORMAT_SIZE], const char* format, ...)
    __attribute__((format(printf, 2, 3)));
int osl_vformat(char (&buffer)[OSL_FORMAT_SIZE], const char* format, va_list arguments);
bool osl_streq(const char* a, const char* b);
// Equal ignoring the case of ASCII letters: whole texts, or their first count
// characters.
bool osl_strieq(const char* a, const char* b);
bool osl_strnieq(const char* a, const char* b, u32 count);
u32 osl_strlen(const char* text);
