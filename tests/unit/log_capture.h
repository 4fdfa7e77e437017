// Records every line the libraries log while it lives (levels 1 to 7), and
// leaves the logging state as it found it.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "osl/osl_log.h"

struct LoggedLine {
  int level;
  std::string text;
};

class LogCapture {
 public:
  LogCapture() {
    lines().clear();
    orvlib_register_app_logger(&record, OSL_LOG_DEBUG);
    orvlib_mask_app_log(OSL_LOG_DEBUG);
  }
  ~LogCapture() {
    orvlib_unregister_app_logger();
    orvlib_unmask_app_log();
    lines().clear();
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<LoggedLine>& all() const { return lines(); }
  void clear() { lines().clear(); }
  // The first line that starts with text, or null.
  const LoggedLine* find(const std::string& text) const {
    for (const LoggedLine& line : lines())
      if (line.text.compare(0, text.size(), text) == 0) return &line;
    return nullptr;
  }
  // The level of the first line that starts with text; -1 when none does.
  int levelOf(const std::string& text) const {
    const LoggedLine* line = find(text);
    return line ? line->level : -1;
  }
  // Every line, one after the other.
  std::string text() const {
    std::string all;
    for (const LoggedLine& line : lines()) all += line.text;
    return all;
  }

 private:
  static std::vector<LoggedLine>& lines() {
    static std::vector<LoggedLine> recorded;
    return recorded;
  }
  static int record(osl_log_priority_e level, const char* format, va_list arguments) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    lines().push_back({static_cast<int>(level), text});
    return 0;
  }
};
