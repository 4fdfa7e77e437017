// The stand-in user interface of the simulated machine (winsim/win32_user.h).
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "winsim/handles.h"
#include "winsim/machine.h"
#include "winsim/program.h"
#include "winsim/text.h"
#include "winsim/win32.h"

using namespace winsim;

namespace {

struct Window : KernelObject {
  int id = 0;  // the dialog's resource number, or the control's id
  bool edit = false;
  DLGPROC procedure = nullptr;
  std::map<int, HWND> controls;
  std::u16string text;
  size_t selectionStart = 0;
  size_t selectionEnd = 0;
};

void recordEvent(const std::string& line) {
  const char* path = std::getenv("WINSIM_UI");
  if (!path) return;
  if (FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

void recordText(const Window& edit) {
  const char* path = std::getenv("WINSIM_WINDOW");
  if (!path) return;
  if (FILE* file = std::fopen(path, "wb")) {
    std::string text = narrow(edit.text);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
}

bool windowsFail() {
  const rapidjson::Document& description = Machine::current().description();
  auto found = description.FindMember("create_window_fails");
  return found != description.MemberEnd() && found->value.IsBool() && found->value.GetBool();
}

}  // namespace

void InitCommonControls() {}

HWND CreateDialogParamW(HINSTANCE, LPCWSTR templateName, HWND, DLGPROC dialogProc, LPARAM initParam) {
  DialogTemplate layout;
  if (!IS_INTRESOURCE(templateName) ||
      !findDialog(static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(templateName)), &layout)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  if (windowsFail()) {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
  }
  auto dialog = std::make_shared<Window>();
  dialog->id = static_cast<int>(reinterpret_cast<ULONG_PTR>(templateName));
  dialog->procedure = dialogProc;
  for (const auto& control : layout.controls) {
    auto child = std::make_shared<Window>();
    child->id = control.id;
    child->edit = control.kind == "EDITTEXT";
    dialog->controls[control.id] = newHandle(child);
  }
  HWND handle = newHandle(dialog);
  recordEvent("dialog " + std::to_string(dialog->id));
  if (dialogProc) dialogProc(handle, WM_INITDIALOG, 0, initParam);
  return handle;
}

BOOL ShowWindow(HWND window, int showCommand) {
  auto shown = objectAs<Window>(window);
  if (!shown) return FALSE;
  recordEvent("show " + std::to_string(shown->id) + " " + std::to_string(showCommand));
  return FALSE;  // it was hidden before
}

HWND GetDlgItem(HWND dialog, int id) {
  auto parent = objectAs<Window>(dialog);
  if (!parent) {
    SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
    return nullptr;
  }
  auto found = parent->controls.find(id);
  if (found == parent->controls.end()) {
    SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
    return nullptr;
  }
  return found->second;
}

int GetWindowTextLengthW(HWND window) {
  auto shown = objectAs<Window>(window);
  return shown ? static_cast<int>(shown->text.size()) : 0;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto target = objectAs<Window>(window);
  if (!target) return 0;
  if (!target->edit) return target->procedure ? target->procedure(window, message, wParam, lParam) : 0;
  size_t length = target->text.size();
  switch (message) {
    case EM_SETSEL: {
      size_t start = static_cast<LONG_PTR>(wParam) < 0 ? length : static_cast<size_t>(wParam);
      size_t end = lParam < 0 ? length : static_cast<size_t>(lParam);
      target->selectionStart = std::min(std::min(start, end), length);
      target->selectionEnd = std::min(std::max(start, end), length);
      return 0;
    }
    case EM_REPLACESEL: {
      const char16_t* inserted = reinterpret_cast<LPCWSTR>(lParam);
      std::u16string text = inserted ? inserted : u"";
      target->text.replace(target->selectionStart, target->selectionEnd - target->selectionStart, text);
      target->selectionStart = target->selectionEnd = target->selectionStart + text.size();
      return 0;
    }
    default:
      return 0;
  }
}

BOOL UpdateWindow(HWND window) {
  auto painted = objectAs<Window>(window);
  if (!painted) return FALSE;
  if (painted->edit) recordText(*painted);
  for (const auto& control : painted->controls)
    if (auto child = objectAs<Window>(control.second))
      if (child->edit) recordText(*child);
  return TRUE;
}

BOOL DestroyWindow(HWND window) {
  auto destroyed = objectAs<Window>(window);
  if (!destroyed) {
    SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
    return FALSE;
  }
  if (destroyed->procedure) destroyed->procedure(window, WM_DESTROY, 0, 0);
  for (const auto& control : destroyed->controls) CloseHandle(control.second);
  recordEvent("destroy " + std::to_string(destroyed->id));
  CloseHandle(window);
  return TRUE;
}

void PostQuitMessage(int exitCode) { recordEvent("quit " + std::to_string(exitCode)); }

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  std::string shownCaption = caption ? "\"" + escaped(narrow(caption)) + "\"" : "-";
  recordEvent("messagebox " + shownCaption + " \"" + escaped(narrow(text)) + "\"");
  return IDOK;
}
