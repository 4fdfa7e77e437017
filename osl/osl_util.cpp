#include "osl/osl_util.h"

#include <cstdlib>
#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_platform.h"

u64 osl_split_path(const char* path, char* dirOut, u32 dirSize, char* fileOut, u32 fileSize) {
  if (!path || !dirOut || !fileOut || dirSize == 0) return ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT);
  size_t length = std::strlen(path);
  char* head = static_cast<char*>(std::malloc(length + 1));
  char* tail = static_cast<char*>(std::malloc(length + 1));
  if (!head || !tail) {
    std::free(head);
    std::free(tail);
    return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  }
  // Drive and directory go to head, file name and extension to tail.
  size_t nameStart = 0;
  for (size_t i = 0; i < length; ++i)
    if (path[i] == '/' || path[i] == '\\') nameStart = i + 1;
  if (nameStart == 0 && length >= 2 && path[1] == ':') nameStart = 2;
  std::memcpy(head, path, nameStart);
  head[nameStart] = '\0';
  std::memcpy(tail, path + nameStart, length - nameStart + 1);

  u64 status = 0;
  if (dirSize > std::strlen(head) && fileSize > std::strlen(tail)) {
    size_t end = std::strlen(head);
    while (end > 0 && (head[end - 1] == '\\' || head[end - 1] == '/')) head[--end] = '\0';
    std::memset(dirOut, 0, dirSize);
    std::memset(fileOut, 0, fileSize);
    std::memcpy(dirOut, head, end + 1);
    std::memcpy(fileOut, tail, std::strlen(tail) + 1);
  } else {
    status = ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  }
  std::free(head);
  std::free(tail);
  return status;
}

u64 osl_get_sys_error_text(u16 errorNumber, char* out, u32 size) {
  WCHAR wide[256];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                errorNumber, 0x400, wide, 256, nullptr);
  if (length == 0) return ORV_OSL_STATUS(ORV_ERR_ERROR_CODE);
  if (size < 256) return ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  if (WideCharToMultiByte(CP_ACP, 0, wide, -1, out, 256, nullptr, nullptr) == 0)
    return ORV_OSL_STATUS(ORV_ERR_ERROR_CODE);
  return 0;
}

u64 osl_random64(u64* out) {
  unsigned int high = 0;
  unsigned int low = 0;
  rand_s(&high);
  rand_s(&low);
  *out = (static_cast<u64>(high) << 32) | low;
  return 0;
}

int osl_fprintf(FILE* stream, const char* format, ...) {
  if (!stream) return -1;
  va_list arguments;
  va_start(arguments, format);
  int result = osl_vfprintf(stream, format, arguments);
  va_end(arguments);
  return result;
}

int osl_vfprintf(FILE* stream, const char* format, va_list arguments) {
  return std::vfprintf(stream, format, arguments);
}
