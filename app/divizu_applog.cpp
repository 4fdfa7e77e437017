#include "app/divizu_applog.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/main.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"
#include "osl/osl_mutex.h"
#include "osl/osl_platform.h"

namespace {

struct LogState {
  FILE* file = nullptr;
  std::string path;  // remembered only once the file was opened
  int fileLevel = 6;
  int consoleLevel = 6;
  FILE* outSlot = nullptr;
  FILE* errorSlot = nullptr;
  bool fileLineOpen = false;  // the last text written to the file did not end its line
};

LogState logState;

std::string formatted(const char* format, va_list arguments) {
  va_list measuring;
  va_copy(measuring, arguments);
  int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  va_list writing;
  va_copy(writing, arguments);
  std::vsnprintf(&text[0], text.size(), format, writing);
  va_end(writing);
  text.resize(static_cast<size_t>(length));
  return text;
}

// The file and the console are text streams, whose runtime ends each line
// as the platform does (CR LF on Windows): a line end written as "\r\n",
// as the window needs it, goes to them as "\n" alone.
std::string asTextLines(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') lines += text[i];
  return lines;
}

// One write under the process mutex, flushed; the count written.
int writeLocked(FILE* stream, const std::string& text) {
  if (!stream) return 0;
  std::string lines = asTextLines(text);
  bool locked = osl_mutex_lock() == 0;
  size_t written = std::fwrite(lines.data(), 1, lines.size(), stream);
  osl_fflush(stream);
  if (stream == logState.file && !lines.empty()) logState.fileLineOpen = lines.back() != '\n';
  if (locked) osl_mutex_unlock();
  return static_cast<int>(written);
}

// The printers' common form: the text to a slot (when given), then the file.
void toSlotAndFile(FILE* slot, const char* format, va_list arguments) {
  std::string text = formatted(format, arguments);
  writeLocked(slot, text);
  writeLocked(logState.file, text);
}

}  // namespace

u64 applog_init(int fileLevel, int consoleLevel, const char* logPath) {
  logState.fileLevel = fileLevel > 6 ? 6 : fileLevel;
  logState.consoleLevel = consoleLevel;
  orvlib_register_app_logger(applog_write, OSL_LOG_INFO);
  osl_install_log_hook();
  u64 status = osl_mutex_create();
  if (status) return status;
  return applog_open(logPath ? logPath : "");
}

u64 applog_open(const char* logPath) {
  // The given path whole, however long: a cut one would name another file.
  std::string path;
  if (logPath && *logPath) {
    path = logPath;
  } else {
    char folder[256] = {};
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) folder[0] = '\0';
    char name[64];
    osl_snprintf(name, sizeof name, sizeof name - 1, "%s-%llu-%d.log", "VORMEL",
                 static_cast<unsigned long long>(std::time(nullptr)), static_cast<int>(GetCurrentProcessId()));
    char joined[OSL_FORMAT_SIZE] = {};
    osl_path_join(folder, name, joined, sizeof joined);
    path = joined;
  }
  FILE* file = osl_fopen(path.c_str(), OSL_FILE_APPEND_TEXT);
  if (!file) {
    int error = errno;
    osl_log(OSL_LOG_ERROR, "File: %s couldn't be opened (Error: [%u])\n", path.c_str(), static_cast<u32>(error));
    if (logState.errorSlot) writeLocked(logState.errorSlot, "Error opening log file. No log will be generated.\n");
    return _orv_orvlib_status(ORV_ERR_FILE_OPEN, ORV_SOURCE, 140);
  }
  logState.file = file;
  logState.path = path;
  return 0;
}

int applog_write(osl_log_priority_e level, const char* format, va_list arguments) {
  std::string text = formatted(format, arguments);
  int written = 0;
  if (logState.file && level <= logState.fileLevel) written = writeLocked(logState.file, text);
  if (level <= logState.consoleLevel) {
    FILE* slot = level < OSL_LOG_WARNING ? logState.errorSlot : logState.outSlot;
    if (slot) written = writeLocked(slot, text);
  }
  return written;
}

void applog_close(u64) {
  if (!appState.silent) {
    logState.outSlot = stdout;
    if (!logState.path.empty())
      writeLocked(logState.outSlot, "\nSee log file '" + logState.path + "' for details.\n");
    logState.outSlot = nullptr;
  }
  orvlib_unregister_app_logger();
  if (logState.file) {
    bool locked = osl_mutex_lock() == 0;
    osl_fclose(logState.file);
    logState.file = nullptr;
    logState.fileLineOpen = false;
    if (locked) osl_mutex_unlock();
  }
  osl_mutex_close();
}

void applog_open_slots() {
  logState.outSlot = stdout;
  logState.errorSlot = stderr;
}

void applog_empty_slots() {
  logState.outSlot = nullptr;
  logState.errorSlot = nullptr;
}

void applog_printf_out(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  toSlotAndFile(logState.outSlot, format, arguments);
  va_end(arguments);
}

void applog_printf_err(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  toSlotAndFile(logState.errorSlot, format, arguments);
  va_end(arguments);
}

void applog_printf_file(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  toSlotAndFile(nullptr, format, arguments);
  va_end(arguments);
}

void applog_printf_level(int, const char* format, ...) {
  char now[OSL_TIME_TEXT_SIZE + 4] = {};
  osl_time_text(std::time(nullptr), now);
  va_list arguments;
  va_start(arguments, format);
  std::string text = "[" + std::string(now) + "] " + formatted(format, arguments);
  va_end(arguments);
  writeLocked(logState.file, text);
}

void applog_begin_line() {
  if (logState.fileLineOpen) writeLocked(logState.file, "\n");
}

void applog_debug(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  toSlotAndFile(logState.consoleLevel >= OSL_LOG_INFO ? logState.outSlot : nullptr, format, arguments);
  va_end(arguments);
}

void applog_print_status(u64 status) {
  char text[256] = {};
  orv_status_msgstr(status, text, sizeof text);
  applog_printf_out("%s\n", text);
}

void applog_cmd_completed(bool, const char* deviceName, const char* operation, u32, bool toConsoleAgain) {
  FILE* slotAtEntry = logState.outSlot;
  char line[OSL_FORMAT_SIZE];
  osl_format(line, "\n%s: %s %s successfully.\n\n", deviceName, operation, "command completed");
  writeLocked(logState.file, line);
  if (toConsoleAgain) writeLocked(slotAtEntry ? slotAtEntry : logState.outSlot, line);
}

const char* busTypeName(u32 busType) {
  switch (busType) {
    case 1:
    case 2: return "ATA";
    case 3:
    case 4:
    case 6: return "SCSI";
    case 5:
    case 9: return "RAID";
    case 7: return "PCIe";
    case 8: return "CSMI";
    default: return "UNKNOWN";
  }
}

const char* devTypeName(u32 devType) {
  switch (devType) {
    case 1: return "ATA";
    case 2: return "SCSI";
    case 3: return "NVMe";
    default: return "UNKNOWN";
  }
}
