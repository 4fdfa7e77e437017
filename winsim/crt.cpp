// The Windows C runtime's services on the simulated machine.
#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "winsim/host.h"
#include "winsim/machine.h"
#include "winsim/sharing.h"
#include "winsim/text.h"
#include "winsim/win32.h"

extern char** environ;

using namespace winsim;

namespace {

std::string upper(const std::string& text) {
  std::string result = text;
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

// Variables set or removed by the program, by upper-case name.
std::map<std::string, std::optional<std::string>>& changedVariables() {
  static std::map<std::string, std::optional<std::string>> changed;
  return changed;
}

std::optional<std::string> environmentValue(const std::string& name) {
  std::string key = upper(name);
  auto changed = changedVariables().find(key);
  if (changed != changedVariables().end()) return changed->second;
  if (key == "PROGRAMDATA") {
    std::string folder = Machine::current().programDataFolder();
    if (folder.empty()) return std::nullopt;
    return folder;
  }
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals && upper(std::string(*entry, static_cast<size_t>(equals - *entry))) == key) return std::string(equals + 1);
  }
  return std::nullopt;
}

}  // namespace

errno_t getenv_s(size_t* required, char* buffer, size_t size, const char* name) {
  if (!required || !name || (!buffer && size > 0)) return EINVAL;
  std::optional<std::string> value = environmentValue(name);
  if (!value) {
    *required = 0;
    if (buffer) buffer[0] = '\0';
    return 0;
  }
  *required = value->size() + 1;
  if (!buffer) return 0;
  if (size < *required) {
    buffer[0] = '\0';
    return ERANGE;
  }
  std::memcpy(buffer, value->c_str(), value->size() + 1);
  return 0;
}

errno_t _putenv_s(const char* name, const char* value) {
  if (!name || !*name || std::strchr(name, '=') || !value) return EINVAL;
  if (*value)
    changedVariables()[upper(name)] = std::string(value);
  else
    changedVariables()[upper(name)] = std::nullopt;
  return 0;
}

errno_t rand_s(unsigned int* value) {
  if (!value) return EINVAL;
  if (getrandom(value, sizeof *value, 0) != static_cast<ssize_t>(sizeof *value)) {
    *value = 0;
    return ENOMEM;
  }
  return 0;
}

errno_t ctime_s(char* buffer, size_t size, const time_t* time) {
  if (!buffer || size == 0) return EINVAL;
  buffer[0] = '\0';
  if (size < 26) return ERANGE;
  if (!time || *time < 0) return EINVAL;
  char text[64];
  if (!ctime_r(time, text) || std::strlen(text) + 1 > size) return EINVAL;
  std::memcpy(buffer, text, std::strlen(text) + 1);
  return 0;
}

FILE* _fsopen(const char* path, const char* mode, int shareFlag) {
  if (!path || !mode || !*mode) {
    errno = EINVAL;
    return nullptr;
  }
  Sharing sharing;
  bool update = std::strchr(mode, '+') != nullptr;
  int flags = 0;
  switch (mode[0]) {
    case 'r': sharing.reads = true; break;
    case 'w': sharing.writes = true; flags = O_CREAT; break;
    case 'a': sharing.writes = true; flags = O_CREAT | O_APPEND; break;
    default: errno = EINVAL; return nullptr;
  }
  if (update) sharing.reads = sharing.writes = true;
  sharing.sharesRead = shareFlag != _SH_DENYRD && shareFlag != _SH_DENYRW;
  sharing.sharesWrite = shareFlag != _SH_DENYWR && shareFlag != _SH_DENYRW;

  // Writers open for reading too where they may, so that they can mark.
  std::string host = hostPath(path);
  int fd = -1;
  if (sharing.writes) fd = open(host.c_str(), flags | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0 && !(sharing.writes && update))
    fd = open(host.c_str(), flags | (sharing.writes ? O_WRONLY : O_RDONLY) | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  if (!takeSharing(fd, sharing)) {
    close(fd);
    errno = EACCES;
    return nullptr;
  }
  if (mode[0] == 'w' && ftruncate(fd, 0) != 0) {
    int error = errno;
    close(fd);
    errno = error;
    return nullptr;
  }
  std::string streamMode(1, mode[0]);
  if (update) streamMode += '+';
  FILE* stream = fdopen(fd, streamMode.c_str());
  if (!stream) {
    int error = errno;
    close(fd);
    errno = error;
  }
  return stream;
}

int _stat64(const char* path, struct _stat64* status) {
  if (!path || !status) {
    errno = EINVAL;
    return -1;
  }
  std::string host = hostPath(path);
  struct stat found;
  if (stat(host.c_str(), &found) != 0) return -1;
  status->st_mode = 0;
  if (S_ISDIR(found.st_mode)) status->st_mode |= _S_IFDIR;
  if (S_ISREG(found.st_mode)) status->st_mode |= _S_IFREG;
  if (access(host.c_str(), R_OK) == 0) status->st_mode |= _S_IREAD;
  if (access(host.c_str(), W_OK) == 0) status->st_mode |= _S_IWRITE;
  if (access(host.c_str(), X_OK) == 0) status->st_mode |= _S_IEXEC;
  status->st_size = found.st_size;
  return 0;
}

errno_t mbstowcs_s(size_t* converted, WCHAR* out, size_t size, const char* text, size_t count) {
  if (converted) *converted = 0;
  if (!text || (!out && size > 0)) return EINVAL;
  std::string input = count == _TRUNCATE ? std::string(text) : std::string(text, strnlen(text, count));
  std::u16string wide = widen(input);
  if (!out) {
    if (converted) *converted = wide.size() + 1;
    return 0;
  }
  if (size == 0) return EINVAL;
  errno_t result = 0;
  if (wide.size() + 1 > size) {
    if (count != _TRUNCATE) {
      out[0] = u'\0';
      return ERANGE;
    }
    wide.resize(size - 1);
    result = STRUNCATE;
  }
  std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
  if (converted) *converted = wide.size() + 1;
  return result;
}
