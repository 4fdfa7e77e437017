// Processes, the command line and the program's entry on the simulated
// machine. Besides this process, the machine knows the processes of its
// description's "processes" table ({"pid": n, "image": "C:\\x\\y.exe"}) and
// the host's other processes.
#pragma once

#include "winsim/win32_base.h"

#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define PROCESS_NAME_NATIVE 0x00000001

HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
// The image path in Windows form; size holds the buffer's characters and
// receives the length written.
BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR name, PDWORD size);

LPWSTR GetCommandLineW();
// The arguments of a command line by the Windows rules; one allocation, to be
// released with LocalFree.
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count);

HMODULE GetModuleHandleW(LPCWSTR moduleName);

// Ends the process at once with that exit code: no destructors, no handlers
// registered with atexit (streams are flushed by whoever wrote to them).
[[noreturn]] void ExitProcess(UINT exitCode);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5
#define SW_SHOWDEFAULT 10

// The program's entry point: the simulated machine's main builds the command
// line from its arguments and calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
