// Event log and security of the simulated machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "winsim/handles.h"
#include "winsim/machine.h"
#include "winsim/text.h"
#include "winsim/win32.h"
#include "winsim/winsim_test.h"

using namespace winsim;

namespace winsim {
namespace {

bool eventLogAvailable = true;

struct EventSource : KernelObject {
  std::string name;
};

}  // namespace

std::vector<EventRecord>& events() {
  static std::vector<EventRecord> recorded;
  return recorded;
}

void clearEvents() { events().clear(); }

void setEventLogAvailable(bool available) { eventLogAvailable = available; }

}  // namespace winsim

HANDLE RegisterEventSourceW(LPCWSTR serverName, LPCWSTR sourceName) {
  if (!eventLogAvailable || serverName != nullptr || sourceName == nullptr) {
    SetLastError(eventLogAvailable ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto source = std::make_shared<EventSource>();
  source->name = narrow(sourceName);
  return newHandle(source);
}

HANDLE RegisterEventSourceA(LPCSTR serverName, LPCSTR sourceName) {
  if (serverName != nullptr || sourceName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return RegisterEventSourceW(nullptr, widen(sourceName).c_str());
}

BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID, WORD numStrings,
                  DWORD, LPCWSTR* strings, LPVOID) {
  auto source = objectAs<EventSource>(eventLog);
  if (!source) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  EventRecord record;
  record.source = source->name;
  record.type = type;
  record.category = category;
  record.eventId = eventId;
  for (WORD i = 0; i < numStrings; ++i) record.strings.push_back(narrow(strings[i]));
  if (const char* path = std::getenv("WINSIM_EVENTLOG")) {
    if (FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s|%u|0x%08X|%s\n", record.source.c_str(), record.type,
                   record.eventId, record.strings.empty() ? "" : record.strings[0].c_str());
      std::fclose(file);
    }
  }
  events().push_back(std::move(record));
  return TRUE;
}

BOOL DeregisterEventSource(HANDLE eventLog) {
  if (!objectAs<EventSource>(eventLog)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(eventLog);
}

// Security identifiers of the simulated machine.
namespace {

struct Sid {
  BYTE authority[6];
  BYTE count;
  DWORD subAuthorities[8];
};

}  // namespace

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1,
                              DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7,
                              PSID* sid) {
  if (!authority || !sid || count == 0 || count > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Sid* made = static_cast<Sid*>(std::calloc(1, sizeof(Sid)));
  if (!made) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  std::memcpy(made->authority, authority->Value, 6);
  made->count = count;
  DWORD values[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
  std::memcpy(made->subAuthorities, values, count * sizeof(DWORD));
  *sid = made;
  return TRUE;
}

BOOL CheckTokenMembership(HANDLE token, PSID sid, PBOOL isMember) {
  if (token != nullptr || !sid || !isMember) {
    SetLastError(token ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const Sid* asked = static_cast<const Sid*>(sid);
  static const BYTE nt[6] = {0, 0, 0, 0, 0, 5};
  bool administrators = std::memcmp(asked->authority, nt, 6) == 0 && asked->count == 2 &&
                        asked->subAuthorities[0] == SECURITY_BUILTIN_DOMAIN_RID &&
                        asked->subAuthorities[1] == DOMAIN_ALIAS_RID_ADMINS;
  *isMember = administrators && Machine::current().admin();
  return TRUE;
}

PVOID FreeSid(PSID sid) {
  std::free(sid);
  return nullptr;
}
