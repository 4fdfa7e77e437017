#include "osl/osl_util.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"
#include "osl/osl_log.h"
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

u64 osl_get_process_name(u32 processId, char* out) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return ORV_OSL_STATUS(ORV_ERR_GENERIC);
  WCHAR wide[MAX_PATH];
  DWORD length = MAX_PATH;
  if (!QueryFullProcessImageNameW(process, 0, wide, &length)) {
    CloseHandle(process);
    return ORV_OSL_STATUS(ORV_ERR_GENERIC);
  }
  char image[MAX_PATH] = {};
  WideCharToMultiByte(CP_ACP, 0, wide, -1, image, MAX_PATH - 1, nullptr, nullptr);
  const char* separator = std::strrchr(image, '\\');
  osl_strncpy(out, separator ? separator + 1 : image, 256);
  char* dot = std::strrchr(out, '.');
  if (dot && osl_strieq(dot + 1, "exe")) *dot = '\0';
  CloseHandle(process);
  return 0;
}

u32 osl_is_not_admin() {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
    return 1;
  BOOL member = FALSE;
  u32 notAdmin = CheckTokenMembership(nullptr, administrators, &member) && member ? 0 : 1;
  FreeSid(administrators);
  return notAdmin;
}

u64 osl_get_programdata_path(char* out) {
  static const char kVariable[] = "programdata";
  size_t length = 0;
  // Some runtimes answer the measuring call with ERANGE and the length.
  errno_t measured = getenv_s(&length, nullptr, 0, kVariable);
  if ((measured != 0 && measured != ERANGE) || length == 0) {
    osl_event_printf(OSL_LOG_ERROR, "Environment variable (%s) not found!\n", kVariable);
    return ORV_OSL_STATUS(ORV_ERR_INVALID_STRING);
  }
  if (length >= OSL_PATH_SIZE) return ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  errno_t error = getenv_s(&length, out, OSL_PATH_SIZE, kVariable);
  if (error != 0) {
    osl_event_printf(OSL_LOG_ERROR, "Error [%u] obtaining temp path through environment variable %s\n",
                     static_cast<u32>(error), kVariable);
    return ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT_SPECIFIED);
  }
  return 0;
}

u64 osl_make_lock_dir(char* out) {
  u64 status = osl_get_programdata_path(out);
  if (status) return status;
  static const char* const kLevels[] = {"ORVENTA", "VORMEL", "lock"};
  if (std::strlen(out) + 7 + 6 + 4 + 3 >= OSL_PATH_SIZE) return ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  for (const char* level : kLevels) {
    osl_strcat(out, OSL_PATH_SIZE, "\\");
    osl_strcat(out, OSL_PATH_SIZE, level);
    status = osl_mkdir(out);
    if (status) return status;
  }
  return 0;
}

u64 osl_get_lock_path(const char* name, char* out) {
  if (!name || std::strlen(name) >= 255) return ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  u64 status = osl_make_lock_dir(out);
  if (status) return status;
  char copy[255];
  osl_strncpy(copy, name, sizeof copy);
  const char* separator = std::strrchr(copy, '\\');
  const char* last = separator ? separator + 1 : copy;
  if (std::strlen(out) + 1 + std::strlen(last) >= OSL_PATH_SIZE) return ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  osl_strcat(out, OSL_PATH_SIZE, "\\");
  osl_strcat(out, OSL_PATH_SIZE, last);
  return 0;
}
