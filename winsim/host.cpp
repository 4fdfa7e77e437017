#include "winsim/host.h"

#include <errno.h>
#include <pthread.h>

#include <algorithm>

namespace winsim {

std::string hostPath(const std::string& path) {
  std::string host = path;
  std::replace(host.begin(), host.end(), '\\', '/');
  return host;
}

std::string windowsPath(const std::string& path) {
  std::string shown = path;
  std::replace(shown.begin(), shown.end(), '/', '\\');
  return shown;
}

DWORD win32ErrorOf(int hostError) {
  switch (hostError) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    case ENOSPC: return 112;        // ERROR_DISK_FULL
    default: return ERROR_GEN_FAILURE;
  }
}

namespace {

sigset_t terminationSignals() {
  sigset_t termination;
  sigemptyset(&termination);
  sigaddset(&termination, SIGINT);
  sigaddset(&termination, SIGTERM);
  sigaddset(&termination, SIGABRT);
  sigaddset(&termination, SIGHUP);
  return termination;
}

thread_local int holdDepth = 0;
thread_local bool delivering = false;

}  // namespace

sigset_t holdTerminationSignals() {
  sigset_t termination = terminationSignals();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &termination, &previous);
  ++holdDepth;
  return previous;
}

void releaseTerminationSignals(const sigset_t& previous) {
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (--holdDepth == 0) deliverTerminationSignals();
}

void takeTerminationSignalsAtSafePlaces() {
  sigset_t termination = terminationSignals();
  pthread_sigmask(SIG_BLOCK, &termination, nullptr);
}

void deliverTerminationSignals() {
  if (holdDepth != 0 || delivering) return;
  sigset_t pending;
  sigpending(&pending);
  sigset_t termination = terminationSignals();
  bool any = false;
  for (int signal : {SIGINT, SIGTERM, SIGABRT, SIGHUP}) any = any || (sigismember(&pending, signal) == 1);
  if (!any) return;
  // Letting them in runs their handlers before the mask call returns.
  delivering = true;
  sigset_t previous;
  pthread_sigmask(SIG_UNBLOCK, &termination, &previous);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  delivering = false;
}

}  // namespace winsim
