#include "osl/osl_mutex.h"

#include "osl/orv_status.h"
#include "osl/osl_platform.h"

namespace {

HANDLE processMutex = nullptr;

}  // namespace

u64 osl_mutex_create() {
  if (processMutex) return 0;
  processMutex = CreateMutexW(nullptr, FALSE, nullptr);
  return processMutex ? 0 : osl_mutex_error_status();
}

void osl_mutex_close() {
  if (!processMutex) return;
  HANDLE closing = processMutex;
  processMutex = nullptr;
  CloseHandle(closing);
}

u64 osl_mutex_lock() {
  if (!processMutex) return ORV_OSL_STATUS(ORV_ERR_GENERIC);
  DWORD result = WaitForSingleObject(processMutex, INFINITE);
  // An abandoned mutex is owned by the waiter all the same.
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED ? 0 : ORV_OSL_STATUS(ORV_ERR_GENERIC);
}

u64 osl_mutex_unlock() {
  if (!processMutex) return ORV_OSL_STATUS(ORV_ERR_GENERIC);
  return ReleaseMutex(processMutex) ? 0 : ORV_OSL_STATUS(ORV_ERR_GENERIC);
}

u64 osl_mutex_error_status() { return ORV_OSL_STATUS(ORV_ERR_GENERIC); }
