// What the simulated machine records for tests to read back.
#pragma once

#include <string>
#include <vector>

#include "winsim/win32_base.h"

namespace winsim {

struct EventRecord {
  std::string source;
  WORD type = 0;
  WORD category = 0;
  DWORD eventId = 0;
  std::vector<std::string> strings;  // UTF-8
};

// Events reported since the process started (or since clearEvents). When the
// environment variable WINSIM_EVENTLOG names a file, each event is also
// appended there as one line "source|type|id|string".
std::vector<EventRecord>& events();
void clearEvents();

// Makes the next RegisterEventSourceW calls fail (the event log is down).
void setEventLogAvailable(bool available);

}  // namespace winsim
