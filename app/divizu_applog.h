// The application log: the one sink of every text of the update utility. It
// writes a text log file and, when the update flow opens them, the console
// streams; the process mutex serialises every write.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "osl/osl_log.h"
#include "osl/osl_types.h"

// Sets the levels (a file level above 6 becomes 6), registers applog_write as
// the library's logger with priority 6, creates the process mutex and opens
// the log file; returns the first failure.
u64 applog_init(int fileLevel, int consoleLevel, const char* logPath);
// Opens the log file in append text mode, denying other writers: the path, or
// "VORMEL-<seconds>-<process id>.log" in the current folder when it is empty.
u64 applog_open(const char* logPath);
// The library's logger: the file by the file level, a console slot by the
// console level (levels below 4 to the error slot).
int applog_write(osl_log_priority_e level, const char* format, va_list arguments);
void applog_close(u64 status);

// The console stream slots: both empty by default; the update flow fills
// them with the standard streams around chosen messages.
void applog_open_slots();
void applog_empty_slots();

void applog_printf_out(const char* format, ...) __attribute__((format(printf, 1, 2)));
void applog_printf_err(const char* format, ...) __attribute__((format(printf, 1, 2)));
void applog_printf_file(const char* format, ...) __attribute__((format(printf, 1, 2)));
// To the file, after "[<time text>] ".
void applog_printf_level(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Ends the file's line when text stands on it, so that the next text starts
// a line of its own.
void applog_begin_line();
// To the file, and to the out slot when the console level is at least 6.
void applog_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
void applog_print_status(u64 status);
void applog_cmd_completed(bool toConsole, const char* deviceName, const char* operation, u32 unused,
                          bool toConsoleAgain);

const char* busTypeName(u32 busType);
const char* devTypeName(u32 devType);
