// Kernel services of the simulated machine. The machine's code page is UTF-8.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "winsim/handles.h"
#include "winsim/host.h"
#include "winsim/machine.h"
#include "winsim/text.h"
#include "winsim/win32.h"

using namespace winsim;

namespace {

thread_local DWORD lastError = 0;

// Texts of the system error numbers the simulated machine reports.
const std::map<DWORD, const char*>& systemTexts() {
  static const std::map<DWORD, const char*> texts = {
      {0, "The operation completed successfully."},
      {1, "Incorrect function."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {13, "The data is invalid."},
      {14, "Not enough memory resources are available to complete this operation."},
      {21, "The device is not ready."},
      {23, "Data error (cyclic redundancy check)."},
      {31, "A device attached to the system is not functioning."},
      {32, "The process cannot access the file because it is being used by another process."},
      {34, "The wrong diskette is in the drive."},
      {50, "The request is not supported."},
      {80, "The file exists."},
      {87, "The parameter is incorrect."},
      {93, "Too many posts were made to a semaphore."},
      {121, "The semaphore timeout period has expired."},
      {122, "The data area passed to a system call is too small."},
      {183, "Cannot create a file when that file already exists."},
      {203, "The system could not find the environment option that was entered."},
      {234, "More data is available."},
      {259, "No more data is available."},
      {1117, "The request could not be performed because of an I/O device error."},
      {1150, "The specified program requires a newer version of Windows."},
      {1167, "The device is not connected."},
      {1450, "Insufficient system resources exist to complete the requested service."},
      {1460, "This operation returned because the timeout period expired."},
      {1784, "The supplied user buffer is not valid for the requested operation."},
      {1812, "The specified image file did not contain a resource section."},
      {1813, "The specified resource type cannot be found in the image file."},
      {1814, "The specified resource name cannot be found in the image file."},
  };
  return texts;
}

// While its owner holds it, the termination signals wait (winsim/host.h).
struct Mutex : KernelObject {
  std::recursive_mutex lock;
  int depth = 0;
  std::thread::id owner;
  sigset_t ownerSignals;
};

// Takes the mutex for the calling thread; false when it is not free and the
// caller will not wait.
bool acquire(Mutex& mutex, bool wait) {
  sigset_t previous = holdTerminationSignals();
  if (wait) {
    mutex.lock.lock();
  } else if (!mutex.lock.try_lock()) {
    releaseTerminationSignals(previous);
    return false;
  }
  if (++mutex.depth == 1) {
    mutex.owner = std::this_thread::get_id();
    mutex.ownerSignals = previous;
  } else {
    releaseTerminationSignals(previous);
  }
  return true;
}

void release(Mutex& mutex) {
  sigset_t restored = mutex.ownerSignals;
  bool last = --mutex.depth == 0;
  if (last) mutex.owner = std::thread::id();
  mutex.lock.unlock();
  if (last) releaseTerminationSignals(restored);
}

template <typename Char>
DWORD formatSystemMessage(DWORD flags, DWORD messageId, Char* buffer, DWORD size,
                          std::basic_string<Char> (*convert)(const std::string&)) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto found = systemTexts().find(messageId);
  if (found == systemTexts().end()) {
    SetLastError(317);  // the message number is not in the system's table
    return 0;
  }
  std::basic_string<Char> text = convert(std::string(found->second) + "\r\n");
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    Char* allocated = static_cast<Char*>(std::calloc(text.size() + 1, sizeof(Char)));
    if (!allocated) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(allocated, text.c_str(), (text.size() + 1) * sizeof(Char));
    *reinterpret_cast<Char**>(buffer) = allocated;
    return static_cast<DWORD>(text.size());
  }
  if (!buffer || size < text.size() + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Char));
  return static_cast<DWORD>(text.size());
}

std::string sameText(const std::string& text) { return text; }

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

int MultiByteToWideChar(UINT, DWORD, LPCSTR multiByte, int multiByteLength, LPWSTR wide,
                        int wideLength) {
  if (!multiByte || multiByteLength == 0 || multiByteLength < -1 || wideLength < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string input = multiByteLength == -1 ? std::string(multiByte, std::strlen(multiByte) + 1)
                                            : std::string(multiByte, multiByteLength);
  std::u16string output = widen(input);
  if (wideLength == 0) return static_cast<int>(output.size());
  if (static_cast<size_t>(wideLength) < output.size() || !wide) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(wide, output.data(), output.size() * sizeof(WCHAR));
  return static_cast<int>(output.size());
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR wide, int wideLength, LPSTR multiByte,
                        int multiByteLength, LPCSTR, LPBOOL usedDefaultChar) {
  if (!wide || wideLength == 0 || wideLength < -1 || multiByteLength < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string input;
  if (wideLength == -1) {
    input = std::u16string(wide);
    input.push_back(u'\0');
  } else {
    input = std::u16string(wide, wideLength);
  }
  std::string output = narrow(input);
  if (usedDefaultChar) *usedDefaultChar = FALSE;
  if (multiByteLength == 0) return static_cast<int>(output.size());
  if (static_cast<size_t>(multiByteLength) < output.size() || !multiByte) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(multiByte, output.data(), output.size());
  return static_cast<int>(output.size());
}

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size,
                     va_list*) {
  return formatSystemMessage<char16_t>(flags, messageId, buffer, size, &widen);
}

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list*) {
  return formatSystemMessage<char>(flags, messageId, buffer, size, &sameText);
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR) {
  auto mutex = std::make_shared<Mutex>();
  if (initialOwner) acquire(*mutex, true);
  SetLastError(ERROR_SUCCESS);
  return newHandle(mutex);
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR) {
  return CreateMutexW(attributes, initialOwner, nullptr);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto mutex = objectAs<Mutex>(handle);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return acquire(*mutex, milliseconds == INFINITE) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL ReleaseMutex(HANDLE handle) {
  auto mutex = objectAs<Mutex>(handle);
  if (!mutex || mutex->depth == 0 || mutex->owner != std::this_thread::get_id()) {
    SetLastError(mutex ? 288 /* not the owner */ : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  release(*mutex);
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  Machine::current().clockMs += milliseconds;
  deliverTerminationSignals();
}

DWORD SleepEx(DWORD milliseconds, BOOL) {
  Sleep(milliseconds);
  return 0;
}

ULONGLONG GetTickCount64() { return Machine::current().clockMs; }
DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }
