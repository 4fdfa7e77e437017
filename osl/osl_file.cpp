#include "osl/osl_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_log.h"

namespace {

const char* const kModeTexts[] = {"r", "r+", "wt", "w+t", "at", "a+t", "rb", "wb+", "ab+"};

const char kOpenFailed[] = "File: %s couldn't be opened (Error: [%u])\n";

// The file status; false when it cannot be read.
bool fileStatus(const char* path, struct _stat64* status) {
  return path && _stat64(path, status) == 0;
}

}  // namespace

u64 osl_mkdir(const char* path) {
  WCHAR wide[256];
  if (!path || MultiByteToWideChar(CP_ACP, 0, path, -1, wide, 256) == 0)
    return ORV_OSL_STATUS(ORV_ERR_FILE_OPEN);
  if (CreateDirectoryW(wide, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  return ORV_OSL_STATUS(ORV_ERR_FILE_OPEN);
}

u64 osl_dir_writable(const char* path) {
  struct _stat64 status;
  if (fileStatus(path, &status) && (status.st_mode & _S_IWRITE)) return 0;
  return ORV_OSL_STATUS(ORV_ERR_GENERIC);
}

u64 osl_dir_exists(const char* path) {
  struct _stat64 status;
  if (fileStatus(path, &status) && (status.st_mode & _S_IFMT) == _S_IFDIR) return 0;
  return ORV_OSL_STATUS(ORV_ERR_FILE_OPEN);
}

u64 osl_is_file(const char* path) {
  struct _stat64 status;
  if (fileStatus(path, &status) && (status.st_mode & _S_IFMT) == _S_IFREG) return 0;
  return ORV_OSL_STATUS(ORV_ERR_FILE_OPEN);
}

u64 osl_file_size(const char* path, u64* size) {
  struct _stat64 status;
  if (!fileStatus(path, &status) || status.st_size < 0) return osl_stat_error_status();
  *size = static_cast<u64>(status.st_size);
  return 0;
}

u64 osl_path_join(const char* dir, const char* name, char* out, u32 outSize) {
  if (!dir || !name || !out || outSize == 0) return ORV_ERR_INVALID_ARGUMENT;
  std::memset(out, 0, outSize);
  int length = *dir ? osl_snprintf(out, outSize, outSize - 1, "%s\\%s", dir, name)
                    : osl_snprintf(out, outSize, outSize - 1, "%s", name);
  if (length < 0) {
    std::memset(out, 0, outSize);
    return ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  }
  return 0;
}

FILE* osl_fopen(const char* path, u32 mode) {
  if (mode < 1 || mode > 9) {
    osl_event_printf(OSL_LOG_ERROR, kOpenFailed, path ? path : "", static_cast<u32>(GetLastError()));
    return nullptr;
  }
  FILE* stream = path ? _fsopen(path, kModeTexts[mode - 1], _SH_DENYWR) : nullptr;
  if (!stream) {
    int error = errno;  // kept for the caller across the report
    osl_event_printf(OSL_LOG_ERROR, kOpenFailed, path ? path : "", static_cast<u32>(error));
    errno = error;
  }
  return stream;
}

u64 osl_fclose(FILE* stream) {
  if (!stream) return ORV_OSL_STATUS(ORV_ERR_FILE_POINTER);
  int result = std::fclose(stream);
  if ((result & 0xFFFF) == 0) return 0;
  osl_event_printf(OSL_LOG_ERROR, "file couldn't be closed\n");
  return ORV_SYS_STATUS(static_cast<u16>(result & 0xFF));
}

u64 osl_fflush(FILE* stream) {
  if (!stream) return ORV_OSL_STATUS(ORV_ERR_FILE_POINTER);
  errno = 0;
  if (std::fflush(stream) == 0) return 0;
  u16 error = static_cast<u16>(errno & 0xFFFF);
  return error ? ORV_SYS_STATUS(static_cast<u16>(error & 0xFF)) : 0;
}

int osl_fprintf(FILE* stream, const char* format, ...) {
  if (!stream) return -1;
  va_list arguments;
  va_start(arguments, format);
  int result = std::vfprintf(stream, format, arguments);
  va_end(arguments);
  return result;
}

int osl_vfprintf(FILE* stream, const char* format, va_list arguments) {
  return std::vfprintf(stream, format, arguments);
}

u64 osl_create_new_file(const char* path, const void* bytes, u32 length, u32* systemError) {
  *systemError = ERROR_INVALID_PARAMETER;
  if (!path || (!bytes && length)) return ORV_OSL_STATUS(ORV_ERR_FILE_OPEN);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *systemError = static_cast<u32>(GetLastError());
    return ORV_OSL_STATUS(ORV_ERR_FILE_OPEN);
  }
  DWORD written = 0;
  BOOL complete = length == 0 || (WriteFile(file, bytes, length, &written, nullptr) && written == length);
  *systemError = complete ? 0 : static_cast<u32>(GetLastError());
  CloseHandle(file);
  if (complete) return 0;
  osl_remove_file(path);
  return ORV_OSL_STATUS(ORV_ERR_FILE_WRITE);
}

u64 osl_remove_file(const char* path) {
  if (path && DeleteFileA(path)) return 0;
  return osl_remove_error_status();
}

u64 osl_map_file(const char* path, OslMappedFile* map) {
  map->fileCell = static_cast<HANDLE*>(std::calloc(1, 16));
  map->mapping = INVALID_HANDLE_VALUE;
  map->view = nullptr;
  if (!map->fileCell) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  *map->fileCell = INVALID_HANDLE_VALUE;

  *map->fileCell = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (*map->fileCell == INVALID_HANDLE_VALUE) {
    osl_unmap_file(map);
    return ORV_OSL_STATUS(ORV_ERR_FILE_OPEN);
  }
  HANDLE mapping = CreateFileMappingA(*map->fileCell, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping) {
    map->mapping = mapping;
    map->view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  }
  if (!map->view) {
    osl_unmap_file(map);
    return ORV_OSL_STATUS(ORV_ERR_MEMORY_MAPPING);
  }
  return 0;
}

void osl_unmap_file(OslMappedFile* map) {
  if (map->view) UnmapViewOfFile(map->view);
  if (map->mapping && map->mapping != INVALID_HANDLE_VALUE) CloseHandle(map->mapping);
  if (map->fileCell) {
    if (*map->fileCell != INVALID_HANDLE_VALUE) CloseHandle(*map->fileCell);
    *map->fileCell = INVALID_HANDLE_VALUE;
    std::free(map->fileCell);
  }
  map->view = nullptr;
  map->mapping = INVALID_HANDLE_VALUE;
  map->fileCell = nullptr;
}

u64 osl_stat_error_status() { return ORV_OSL_STATUS(ORV_ERR_GENERIC); }
u64 osl_remove_error_status() { return ORV_OSL_STATUS(ORV_ERR_GENERIC); }
u64 osl_open_error_status() { return ORV_OSL_STATUS(ORV_ERR_FILE_OPEN); }
