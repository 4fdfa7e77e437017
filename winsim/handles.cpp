#include "winsim/handles.h"

#include "winsim/win32.h"

#include <map>
#include <mutex>

#include "winsim/host.h"

namespace winsim {
namespace {

std::mutex& tableLock() {
  static std::mutex lock;
  return lock;
}

// The table's lock, taken with the termination signals held so that a
// handler that looks up a handle never waits for its own thread.
class TableGuard {
 public:
  TableGuard() { tableLock().lock(); }
  ~TableGuard() { tableLock().unlock(); }
  TableGuard(const TableGuard&) = delete;
  TableGuard& operator=(const TableGuard&) = delete;

 private:
  TerminationSignalsHeld held_;
};

std::map<uintptr_t, std::shared_ptr<KernelObject>>& table() {
  static std::map<uintptr_t, std::shared_ptr<KernelObject>> handles;
  return handles;
}

uintptr_t nextHandle = 0x100;

}  // namespace

HANDLE newHandle(std::shared_ptr<KernelObject> object) {
  TableGuard guard;
  uintptr_t value = nextHandle;
  nextHandle += 4;
  table()[value] = std::move(object);
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> objectOf(HANDLE handle) {
  TableGuard guard;
  auto found = table().find(reinterpret_cast<uintptr_t>(handle));
  return found == table().end() ? nullptr : found->second;
}

size_t openHandleCount() {
  TableGuard guard;
  return table().size();
}

}  // namespace winsim

using namespace winsim;

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> released;
  {
    TableGuard guard;
    auto found = table().find(reinterpret_cast<uintptr_t>(handle));
    if (found == table().end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    released = std::move(found->second);
    table().erase(found);
  }
  return TRUE;
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE sourceHandle, HANDLE targetProcess,
                     LPHANDLE targetHandle, DWORD, BOOL, DWORD options) {
  if (sourceProcess != GetCurrentProcess() || targetProcess != GetCurrentProcess() ||
      !targetHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<KernelObject> object = objectOf(sourceHandle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *targetHandle = newHandle(object);
  if (options & DUPLICATE_CLOSE_SOURCE) CloseHandle(sourceHandle);
  return TRUE;
}
