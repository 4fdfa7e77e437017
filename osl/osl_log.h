// Logging through one installed hook, and the Windows event log.
#pragma once

#include <cstdarg>

#include "osl/osl_platform.h"
#include "osl/osl_types.h"

enum osl_log_priority_e {
  OSL_LOG_ALERT = 1,
  OSL_LOG_CRITICAL = 2,
  OSL_LOG_ERROR = 3,
  OSL_LOG_WARNING = 4,
  OSL_LOG_NOTICE = 5,
  OSL_LOG_INFO = 6,
  OSL_LOG_DEBUG = 7,
};

// The application's logging function; it does the formatting.
typedef int (*OrvAppLogger)(osl_log_priority_e level, const char* format, va_list arguments);

// Hands level, format and arguments to the installed hook; levels of 8 and
// above are dropped. Returns the hook's result, else 0.
u64 osl_log(osl_log_priority_e level, const char* format, ...);

// Logs a message at a level its caller chose: the text gets the prefix of
// that level ("Alert: " to "Info: "); any other level gets "Debug: " and is
// logged at level 7.
u64 osl_log_at(int level, const char* format, ...);
const char* osl_log_prefix(int level);

OrvAppLogger osl_install_log_hook();
// Installs a hook directly (registration installs the library's own).
void osl_set_log_hook(OrvAppLogger hook);

extern "C" ORV_EXPORT void orvlib_register_app_logger(OrvAppLogger logger,
                                                      osl_log_priority_e priority);
extern "C" ORV_EXPORT void orvlib_unregister_app_logger();
extern "C" ORV_EXPORT u8 orvlib_mask_app_log(u8 mask);
extern "C" ORV_EXPORT u8 orvlib_unmask_app_log();
// The hook the device library installs: filters by priority and mask.
extern "C" ORV_EXPORT int orvlib_app_log(osl_log_priority_e level, const char* format,
                                         va_list arguments);

// Event log under the source "VEDIZO_DUREVERAZE".
#define OSL_EVENT_SOURCE "VEDIZO_DUREVERAZE"
constexpr u32 OSL_EVENT_ID_ERROR = 0xC0020001;
constexpr u32 OSL_EVENT_ID_WARNING = 0x80020002;
constexpr u32 OSL_EVENT_ID_INFO = 0x40020003;

void osl_event_printf(int level, const char* format, ...);
void osl_report_event_w(const char* text, u16 type, u32 eventId);
void osl_report_event(const WCHAR* text, u16 type, u32 eventId);
