#include "osl/osl_log.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

OrvAppLogger installedHook = nullptr;

}  // namespace

void osl_set_log_hook(OrvAppLogger hook) { installedHook = hook; }

u64 osl_log(osl_log_priority_e level, const char* format, ...) {
  if (!installedHook || static_cast<int>(level) >= 8) return 0;
  va_list arguments;
  va_start(arguments, format);
  int result = installedHook(level, format, arguments);
  va_end(arguments);
  return static_cast<u64>(static_cast<s64>(result));
}

const char* osl_log_prefix(int level) {
  switch (level) {
    case 1: return "Alert: ";
    case 2: return "Critical: ";
    case 3: return "Error: ";
    case 4: return "Warning: ";
    case 5: return "Notice: ";
    case 6: return "Info: ";
    default: return "Debug: ";
  }
}

u64 osl_log_at(int level, const char* format, ...) {
  osl_log_priority_e effective =
      (level >= 1 && level <= 6) ? static_cast<osl_log_priority_e>(level) : OSL_LOG_DEBUG;
  if (!installedHook) return 0;
  std::string prefixed = std::string(osl_log_prefix(level)) + format;
  va_list arguments;
  va_start(arguments, format);
  int result = installedHook(effective, prefixed.c_str(), arguments);
  va_end(arguments);
  return static_cast<u64>(static_cast<s64>(result));
}

OrvAppLogger osl_install_log_hook() {
  installedHook = &orvlib_app_log;
  return installedHook;
}

void osl_event_printf(int level, const char* format, ...) {
  u16 type = EVENTLOG_INFORMATION_TYPE;
  u32 eventId = OSL_EVENT_ID_INFO;
  if (level >= 1 && level <= 3) {
    type = EVENTLOG_ERROR_TYPE;
    eventId = OSL_EVENT_ID_ERROR;
  } else if (level == 4 || level == 5) {
    type = EVENTLOG_WARNING_TYPE;
    eventId = OSL_EVENT_ID_WARNING;
  }
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  char* text = length < 0 ? nullptr : static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
  if (text) std::vsnprintf(text, static_cast<size_t>(length) + 1, format, arguments);
  va_end(arguments);
  if (!text) return;  // nothing valid to report
  osl_report_event_w(text, type, eventId);
  std::free(text);
}

void osl_report_event_w(const char* text, u16 type, u32 eventId) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return;
  WCHAR* wide = static_cast<WCHAR*>(std::malloc(static_cast<size_t>(length) * 2));
  if (!wide) return;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length) == length)
    osl_report_event(wide, type, eventId);
  std::free(wide);
}

void osl_report_event(const WCHAR* text, u16 type, u32 eventId) {
  HANDLE source = RegisterEventSourceW(nullptr, OSL_W(OSL_EVENT_SOURCE));
  if (!source) return;
  LPCWSTR strings[1] = {text};
  ReportEventW(source, type, 0, eventId, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}
