#include "osl/osl_clib.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_platform.h"

namespace {

constexpr u16 kOutOfRange = 34;  // the runtime's ERANGE

// The narrower conversions: a value beyond max is out of range.
u64 narrowed(const char* name, const char* text, u32 base, u64 max, bool printRange, u64* value) {
  u64 status = osl_strtou64(text, base, value);
  if (status) return status;
  if (*value > max) {
    if (printRange) std::printf("%s: Number represented by String:%s is out of range \n", name, text);
    return ORV_SYS_STATUS(kOutOfRange);
  }
  return 0;
}

}  // namespace

u64 osl_strtou64(const char* text, u32 base, u64* out) {
  if (base != 0 && base != 2 && base != 8 && base != 10 && base != 16)
    return ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT_SPECIFIED);
  if (!text || !out) return ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT);
  errno = 0;
  char* stop = nullptr;
  unsigned long long value = std::strtoull(text, &stop, static_cast<int>(base));
  int error = errno;
  if (*stop != '\0') return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
  if ((error == ERANGE && value == ~0ULL) || (error != 0 && value == 0)) return ORV_SYS_STATUS(kOutOfRange);
  if (stop == text) return ORV_OSL_STATUS(ORV_ERR_INVALID_STRING);
  *out = value;
  return 0;
}

u64 osl_strtou16(const char* text, u32 base, u16* out) {
  u64 value = 0;
  u64 status = narrowed("osl_strtou16", text, base, 0xFFFF, true, &value);
  if (status == 0) *out = static_cast<u16>(value);
  return status;
}

u64 osl_strtou8(const char* text, u8* out) {
  u64 value = 0;
  u64 status = narrowed("osl_strtou8", text, 10, 0xFF, true, &value);
  if (status == 0) *out = static_cast<u8>(value);
  return status;
}

u64 osl_strtou32(const char* text, u32* out) {
  u64 value = 0;
  u64 status = narrowed("osl_strtou32", text, 10, 0xFFFFFFFF, false, &value);
  if (status == 0) *out = static_cast<u32>(value);
  return status;
}

u64 osl_random64(u64* out) {
  unsigned int high = 0;
  unsigned int low = 0;
  rand_s(&high);
  rand_s(&low);
  *out = (static_cast<u64>(high) << 32) | low;
  return 0;
}

u64 osl_time_text(time_t time, char* out) {
  if (ctime_s(out, OSL_TIME_TEXT_SIZE, &time) != 0) return ORV_OSL_STATUS(ORV_ERR_GENERIC);
  size_t length = std::strlen(out);
  if (length) out[length - 1] = '\0';
  return 0;
}

u64 osl_trim(char* text) {
  if (!text) return ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT);
  size_t start = 0;
  while (text[start] && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  size_t length = std::strlen(text + start);
  std::memmove(text, text + start, length + 1);
  while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) --length;
  text[length] = '\0';
  return 0;
}

int osl_vsnprintf(char* buffer, u32 size, u32 maxCount, const char* format, va_list arguments) {
  if (!buffer || size == 0 || !format) return -1;
  u32 room = maxCount < size - 1 ? maxCount + 1 : size;
  int length = std::vsnprintf(buffer, room, format, arguments);
  if (length < 0) {
    buffer[0] = '\0';
    return -1;
  }
  return static_cast<u32>(length) < room ? length : -1;
}

int osl_snprintf(char* buffer, u32 size, u32 maxCount, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = osl_vsnprintf(buffer, size, maxCount, format, arguments);
  va_end(arguments);
  return result;
}

char* osl_strcat(char* destination, u32 size, const char* source) {
  return osl_strncat(destination, size, source, ~0u);
}

char* osl_strncat(char* destination, u32 size, const char* source, u32 count) {
  size_t used = strnlen(destination, size);
  if (used >= size) return destination;  // not terminated within size: leave it
  size_t room = size - 1 - used;
  size_t length = strnlen(source, count);
  if (length > room) length = room;
  std::memcpy(destination + used, source, length);
  destination[used + length] = '\0';
  return destination;
}

char* osl_strncpy(char* destination, const char* source, u32 count) {
  if (count == 0) return destination;
  size_t length = strnlen(source, count - 1);
  std::memcpy(destination, source, length);
  destination[length] = '\0';
  return destination;
}

char* osl_strcpy(char* destination, u32 size, const char* source) {
  return osl_strncpy(destination, source, size);
}

int osl_vformat(char (&buffer)[OSL_FORMAT_SIZE], const char* format, va_list arguments) {
  std::memset(buffer, 0, OSL_FORMAT_SIZE);
  int length = std::vsnprintf(buffer, OSL_FORMAT_SIZE, format, arguments);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return length < static_cast<int>(OSL_FORMAT_SIZE) ? length : static_cast<int>(OSL_FORMAT_SIZE) - 1;
}

int osl_format(char (&buffer)[OSL_FORMAT_SIZE], const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int length = osl_vformat(buffer, format, arguments);
  va_end(arguments);
  return length;
}

bool osl_streq(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

bool osl_strnieq(const char* a, const char* b, u32 count) {
  if (!a || !b) return false;
  for (u32 i = 0; i < count; ++i) {
    int x = std::tolower(static_cast<unsigned char>(a[i]));
    int y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return false;
    if (x == 0) return true;
  }
  return true;
}

bool osl_strieq(const char* a, const char* b) { return osl_strnieq(a, b, ~0u); }

u32 osl_strlen(const char* text) { return text ? static_cast<u32>(std::strlen(text)) : 0; }
