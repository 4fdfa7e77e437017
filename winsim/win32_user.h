// The user interface of the simulated machine: modeless dialogs built from
// the program's resource script, and message boxes. Nothing is drawn and
// nothing waits for a user; what a user would see is recorded:
// - WINSIM_WINDOW names a file that holds the text of a dialog's edit control
//   as it was last painted (UpdateWindow);
// - WINSIM_UI names a file that receives one line per event: "dialog <id>",
//   "show <id> <command>", "destroy <id>", "quit <code>" and
//   "messagebox \"<caption>\" \"<text>\"" (caption "-" when none; CR and LF
//   written as \r and \n).
// A machine whose description has "create_window_fails": true cannot create
// windows.
#pragma once

#include "winsim/win32_base.h"
#include "winsim/win32_resource.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_INITDIALOG 0x0110
#define EM_SETSEL 0x00B1
#define EM_REPLACESEL 0x00C2

#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define IDOK 1

void InitCommonControls();
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam);
BOOL ShowWindow(HWND window, int showCommand);
HWND GetDlgItem(HWND dialog, int id);
int GetWindowTextLengthW(HWND window);
// Edit controls take EM_SETSEL and EM_REPLACESEL; dialogs pass a message to
// their procedure.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL UpdateWindow(HWND window);
BOOL DestroyWindow(HWND window);
void PostQuitMessage(int exitCode);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
