#include "app/main.h"

#include <cstdlib>
#include <cstring>

#include "app/divizu_applog.h"
#include "app/qep.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_util.h"

AppState appState;

namespace {

// Resources of the executable.
constexpr int kProgressDialog = 103;
constexpr int kProgressText = 1002;
constexpr size_t kMessageBoxChars = 8092;

void freeArgv(char** arguments, int count) {
  if (!arguments) return;
  for (int i = 0; i < count; ++i) std::free(arguments[i]);
  std::free(arguments);
}

const char* resultText(int exitCode) {
  switch (exitCode) {
    case 1: return "\r\n>>> Command failed...\r\n";
    case 1602: return "\r\n>>> Command success... Please reboot the system.\r\n";
    case 4000: return "\r\n>>> Command success but firmware versions are same...\r\n";
    default: return "\r\n*** Command success...\r\n";
  }
}

}  // namespace

char** buildArgv(int* count) {
  *count = 0;
  int wideCount = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
  if (!wide) {
    MessageBoxW(nullptr, OSL_W("Unable to parse command line"), OSL_W("Error"), MB_OK | MB_ICONERROR);
    return nullptr;
  }
  char** arguments = static_cast<char**>(std::calloc(wideCount > 0 ? wideCount : 1, sizeof(char*)));
  bool failed = arguments == nullptr;
  for (int i = 0; i < wideCount && !failed; ++i) {
    // The converter's own answer, terminator included: a character may take
    // more than one byte in the code page.
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide[i], -1, nullptr, 0, nullptr, nullptr);
    arguments[i] = static_cast<char*>(std::calloc(size > 0 ? size : 1, 1));
    if (!arguments[i]) {
      failed = true;
    } else if (size > 0) {
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide[i], -1, arguments[i], size, nullptr, nullptr);
    }
  }
  LocalFree(wide);
  if (failed) {
    freeArgv(arguments, wideCount);
    return nullptr;
  }
  *count = wideCount;
  return arguments;
}

int parseOptions(int count, char** arguments) {
  if (count < 1) return 1;
  for (int i = 1; i < count; ++i) {
    const char* argument = arguments[i];
    if (std::strcmp(argument, "/s") == 0 || std::strcmp(argument, "/S") == 0) {
      appState.silent = true;
    } else if (osl_strnieq(argument, "/log=", 5)) {
      std::string path = argument + 5;
      if (path.find('"') != std::string::npos) path.erase(0, 1);
      if (path.find('"') != std::string::npos) path.pop_back();
      appState.logPath = path;
    } else if (osl_strieq(argument, "/nomodel")) {
      appState.nomodel = true;
    }
  }
  return 0;
}

bool createProgressDialog() {
  if (!appState.moduleInstance || appState.progressWindow) return false;
  InitCommonControls();
  appState.progressWindow = static_cast<ProgressWindow*>(std::calloc(1, sizeof(ProgressWindow)));
  if (!appState.progressWindow) return false;
  HWND dialog = CreateDialogParamW(appState.moduleInstance, MAKEINTRESOURCEW(kProgressDialog), nullptr,
                                   progressDialogProc, 0);
  if (!dialog) {
    std::free(appState.progressWindow);
    appState.progressWindow = nullptr;
    return false;
  }
  appState.progressWindow->dialog = dialog;
  ShowWindow(dialog, appState.showCommand);
  return true;
}

void destroyProgressDialog() {
  if (!appState.progressWindow) return;
  ProgressWindow* window = appState.progressWindow;
  DestroyWindow(window->dialog);
  std::free(window);
  appState.progressWindow = nullptr;
}

INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 1;
    case WM_CLOSE:
      if (appState.updateRunning) return 0;
      DestroyWindow(window);
      std::free(appState.progressWindow);
      appState.progressWindow = nullptr;
      return 1;
    default:
      return 0;
  }
}

void appendDialogText(const char* text) {
  if (!appState.progressWindow || !text) return;
  size_t length = std::strlen(text);
  WCHAR* wide = static_cast<WCHAR*>(std::calloc(length + 1, sizeof(WCHAR)));
  if (!wide) return;
  for (size_t i = 0; i < length; ++i) wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
  HWND dialog = appState.progressWindow->dialog;
  HWND edit = GetDlgItem(dialog, kProgressText);
  int end = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide));
  UpdateWindow(dialog);
  std::free(wide);
}

int appPrintText(const char* text, bool toConsole, bool toErrorStream, bool toWindow) {
  if (toConsole) {
    if (toErrorStream)
      applog_printf_err("%s", text);
    else
      applog_printf_out("%s", text);
  }
  if (toWindow) appendDialogText(text);
  return static_cast<int>(std::strlen(text));
}

void appPrintf(bool toConsole, bool toErrorStream, const char* format, ...) {
  char text[OSL_FORMAT_SIZE];
  va_list arguments;
  va_start(arguments, format);
  osl_vformat(text, format, arguments);
  va_end(arguments);
  appPrintText(text, toConsole, toErrorStream, true);
}

void showMessageBox(const char* text) {
  if (appState.silent) {
    applog_begin_line();
    applog_printf_file("%s\n", text);
    return;
  }
  WCHAR* wide = static_cast<WCHAR*>(std::calloc(kMessageBoxChars, sizeof(WCHAR)));
  if (!wide) return;
  size_t converted = 0;
  mbstowcs_s(&converted, wide, kMessageBoxChars, text, _TRUNCATE);
  MessageBoxW(nullptr, wide, nullptr, 0);
  std::free(wide);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  int count = 0;
  char** arguments = buildArgv(&count);
  if (count < 1 || !arguments) {
    applog_init(3, 2, "");
    applog_printf_level(3, "Error: Error parsing command line argument! Terminating...\n");
    applog_close(0);
    freeArgv(arguments, count);
    return 1;
  }
  parseOptions(count, arguments);
  appState.moduleInstance = instance;
  appState.showCommand = appState.silent ? SW_HIDE : showCommand;

  int exitCode = 0;
  if (osl_is_not_admin()) {
    // In silent mode nothing is shown: the log is not open yet.
    if (!appState.silent)
      MessageBoxW(nullptr,
                  OSL_W("You do not have sufficient privilege to perform this operation! Please run program as administrator."),
                  OSL_W("Error"), MB_OK | MB_ICONERROR);
    freeArgv(arguments, count);
    return 1;
  }

  applog_init(6, 6, appState.logPath.c_str());
  if (!createProgressDialog()) {
    if (appState.silent)
      applog_printf_file("Error starting application! Creating window failed.\n");
    else
      MessageBoxW(nullptr, OSL_W("Error starting application! Creating window failed."), OSL_W("Error"),
                  MB_OK | MB_ICONERROR);
    exitCode = 1;  // the update did not run
  } else {
    appState.updateRunning = true;
    exitCode = static_cast<int>(runUpdate());
    appState.updateRunning = false;
  }

  applog_printf_out("%s", resultText(exitCode));
  appendDialogText(resultText(exitCode));
  appPrintf(true, false, "### Return code: %d ###\r\n", exitCode);
  destroyProgressDialog();

  applog_close(exitCode == 0 ? 0 : _orv_orvlib_status(ORV_ERR_GENERIC, ORV_SOURCE, 435));
  freeArgv(arguments, count);
  return exitCode;
}
