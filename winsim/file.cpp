// Files, folders and file mapping of the simulated machine.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>

#include "winsim/handles.h"
#include "winsim/host.h"
#include "winsim/sharing.h"
#include "winsim/text.h"
#include "winsim/win32.h"

using namespace winsim;

namespace {

struct OpenFile : KernelObject {
  explicit OpenFile(int descriptor) : fd(descriptor) {}
  ~OpenFile() override { close(fd); }
  int fd;
};

struct FileMapping : KernelObject {
  FileMapping(int descriptor, size_t length) : fd(descriptor), size(length) {}
  ~FileMapping() override { close(fd); }
  int fd;
  size_t size;
};

std::mutex viewsLock;
std::map<const void*, size_t>& views() {
  static std::map<const void*, size_t> mapped;
  return mapped;
}

HANDLE failWith(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD, HANDLE) {
  if (!path || !*path) return failWith(ERROR_PATH_NOT_FOUND);
  if (std::strncmp(path, "\\\\.\\", 4) == 0) return failWith(ERROR_FILE_NOT_FOUND);
  Sharing sharing;
  sharing.reads = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
  sharing.writes = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  sharing.sharesRead = (shareMode & FILE_SHARE_READ) != 0;
  sharing.sharesWrite = (shareMode & FILE_SHARE_WRITE) != 0;
  int flags = O_CLOEXEC | (sharing.writes ? O_RDWR : O_RDONLY);
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING: break;
    default: return failWith(ERROR_INVALID_PARAMETER);
  }
  std::string host = hostPath(path);
  struct stat status;
  bool existed = stat(host.c_str(), &status) == 0;
  if (existed && S_ISDIR(status.st_mode)) return failWith(ERROR_ACCESS_DENIED);
  int fd = open(host.c_str(), flags, 0666);
  if (fd < 0) return failWith(errno == EEXIST ? ERROR_FILE_EXISTS : win32ErrorOf(errno));
  if (!takeSharing(fd, sharing)) {
    close(fd);
    return failWith(ERROR_SHARING_VIOLATION);
  }
  if ((disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && ftruncate(fd, 0) != 0) {
    int error = errno;
    close(fd);
    return failWith(win32ErrorOf(error));
  }
  SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return newHandle(std::make_shared<OpenFile>(fd));
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               struct _OVERLAPPED* overlapped) {
  auto opened = objectAs<OpenFile>(file);
  if (!opened) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped || (!buffer && bytesToWrite) || !bytesWritten) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *bytesWritten = 0;
  const char* bytes = static_cast<const char*>(buffer);
  while (*bytesWritten < bytesToWrite) {
    ssize_t written = write(opened->fd, bytes + *bytesWritten, bytesToWrite - *bytesWritten);
    if (written < 0) {
      if (errno == EINTR) continue;
      SetLastError(win32ErrorOf(errno));
      return FALSE;
    }
    *bytesWritten += static_cast<DWORD>(written);
  }
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string host = hostPath(path);
  struct stat status;
  if (stat(host.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(host.c_str()) != 0) {
    SetLastError(win32ErrorOf(errno));
    return FALSE;
  }
  return TRUE;
}

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR) {
  auto opened = objectAs<OpenFile>(file);
  if (!opened) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (protect != PAGE_READONLY || maximumSizeHigh != 0 || maximumSizeLow != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  struct stat status;
  if (fstat(opened->fd, &status) != 0) {
    SetLastError(win32ErrorOf(errno));
    return nullptr;
  }
  if (status.st_size == 0) {
    SetLastError(ERROR_FILE_INVALID);
    return nullptr;
  }
  int fd = dup(opened->fd);
  if (fd < 0) {
    SetLastError(win32ErrorOf(errno));
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return newHandle(std::make_shared<FileMapping>(fd, static_cast<size_t>(status.st_size)));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  auto map = objectAs<FileMapping>(mapping);
  if (!map) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (access != FILE_MAP_READ || offsetHigh != 0 || offsetLow != 0 || bytes > map->size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  size_t length = bytes ? bytes : map->size;
  void* view = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, map->fd, 0);
  if (view == MAP_FAILED) {
    SetLastError(win32ErrorOf(errno));
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(viewsLock);
  views()[view] = length;
  return view;
}

BOOL UnmapViewOfFile(LPCVOID address) {
  size_t length = 0;
  {
    std::lock_guard<std::mutex> guard(viewsLock);
    auto found = views().find(address);
    if (found == views().end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    length = found->second;
    views().erase(found);
  }
  munmap(const_cast<void*>(address), length);
  return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (mkdir(hostPath(path).c_str(), 0777) != 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : win32ErrorOf(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  if (!path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return CreateDirectoryA(narrow(path).c_str(), attributes);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  char folder[4096];
  if (!getcwd(folder, sizeof folder)) {
    SetLastError(win32ErrorOf(errno));
    return 0;
  }
  DWORD length = static_cast<DWORD>(std::strlen(folder));
  if (!buffer || size <= length) return length + 1;
  std::memcpy(buffer, folder, length + 1);
  return length;
}
