// The update application's entry point: options, the administrator check,
// the progress window and the one printer of every user-visible text.
#pragma once

#include <string>

#include "osl/osl_platform.h"

// The modeless progress dialog.
struct ProgressWindow {
  HWND dialog;
};

// Process-wide state, set before the update flow starts.
struct AppState {
  bool silent = false;           // "/s" or "/S": hidden window, no message boxes
  bool nomodel = false;          // "/nomodel": every usable drive is updated
  std::string logPath;           // "/log=": empty for the default log file name
  HINSTANCE moduleInstance = nullptr;
  int showCommand = SW_SHOWDEFAULT;  // SW_HIDE when silent
  ProgressWindow* progressWindow = nullptr;
  bool updateRunning = false;    // the window refuses to close meanwhile
};

extern AppState appState;

// The wide command line as narrow arguments (ANSI code page); null on failure.
char** buildArgv(int* count);
// Sets the options; 1 when there is no argument at all.
int parseOptions(int count, char** arguments);

bool createProgressDialog();
void destroyProgressDialog();
INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void appendDialogText(const char* text);

// Formats (at most 1,023 characters) and writes to a console stream slot and
// the log file when toConsole is set, and to the progress window.
void appPrintf(bool toConsole, bool toErrorStream, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same for text already formatted; the window only when toWindow is set.
int appPrintText(const char* text, bool toConsole, bool toErrorStream, bool toWindow);
// A message box without owner or caption; in silent mode the text is logged
// instead, since a box would stop an unattended run.
void showMessageBox(const char* text);
