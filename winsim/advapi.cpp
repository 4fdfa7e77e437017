// Event log of the simulated machine.
#include <cstdio>
#include <cstdlib>

#include "winsim/handles.h"
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
