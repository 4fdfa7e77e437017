// System information and the version test of the simulated machine: the
// page size and the Windows version come from the machine description.
#include <cstdlib>
#include <cstring>
#include <string>

#include "winsim/machine.h"
#include "winsim/win32.h"

using namespace winsim;

void GetSystemInfo(LPSYSTEM_INFO systemInfo) {
  std::memset(systemInfo, 0, sizeof *systemInfo);
  rapidjson::Value& description = Machine::current().description();
  auto page = description.FindMember("pageSize");
  systemInfo->wProcessorArchitecture = 9;  // x64
  systemInfo->dwPageSize =
      page != description.MemberEnd() && page->value.IsUint() ? page->value.GetUint() : 4096;
  systemInfo->dwNumberOfProcessors = 4;
  systemInfo->dwAllocationGranularity = 65536;
}

ULONGLONG VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition) {
  for (unsigned bit = 0; bit < 8; ++bit) {
    if (!(typeMask & (1u << bit))) continue;
    conditionMask &= ~(7ull << (3 * bit));
    conditionMask |= static_cast<ULONGLONG>(condition & 7) << (3 * bit);
  }
  return conditionMask;
}

namespace {

bool compare(DWORD actual, DWORD wanted, unsigned condition) {
  switch (condition) {
    case VER_EQUAL: return actual == wanted;
    case VER_GREATER: return actual > wanted;
    case VER_GREATER_EQUAL: return actual >= wanted;
    case VER_LESS: return actual < wanted;
    case VER_LESS_EQUAL: return actual <= wanted;
    default: return false;
  }
}

unsigned conditionOf(DWORDLONG mask, DWORD type) {
  for (unsigned bit = 0; bit < 8; ++bit)
    if (type == (1u << bit)) return static_cast<unsigned>((mask >> (3 * bit)) & 7);
  return 0;
}

}  // namespace

BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW wanted, DWORD typeMask, DWORDLONG conditionMask) {
  if (!wanted || typeMask == 0 || conditionMask == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The machine's version: "major.minor" and, optionally, "servicePack".
  std::string text = Machine::current().windowsVersion();
  DWORD major = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
  size_t dot = text.find('.');
  DWORD minor = dot == std::string::npos ? 0 : static_cast<DWORD>(std::strtoul(text.c_str() + dot + 1, nullptr, 10));
  rapidjson::Value& description = Machine::current().description();
  auto pack = description.FindMember("servicePack");
  DWORD servicePack = pack != description.MemberEnd() && pack->value.IsUint() ? pack->value.GetUint() : 0;

  // Major, minor and service pack compare as one number, major first: a
  // lower field counts only when every higher one present is equal. The
  // condition of the highest field present applies.
  const DWORD order[] = {VER_MAJORVERSION, VER_MINORVERSION, VER_SERVICEPACKMAJOR};
  const DWORD actual[] = {major, minor, servicePack};
  const DWORD asked[] = {wanted->dwMajorVersion, wanted->dwMinorVersion, wanted->wServicePackMajor};
  unsigned condition = 0;
  bool decided = false;
  bool result = true;
  for (unsigned i = 0; i < 3; ++i) {
    if (!(typeMask & order[i])) continue;
    if (condition == 0) condition = conditionOf(conditionMask, order[i]);
    if (decided) continue;
    if (actual[i] != asked[i]) {
      result = compare(actual[i], asked[i], condition);
      decided = true;
    }
  }
  if (condition != 0 && !decided) result = compare(0, 0, condition);
  if (!result) {
    SetLastError(ERROR_OLD_WIN_VERSION);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
