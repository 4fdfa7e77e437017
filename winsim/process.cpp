// Processes and the command line of the simulated machine.
#include <errno.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "winsim/handles.h"
#include "winsim/host.h"
#include "winsim/machine.h"
#include "winsim/program.h"
#include "winsim/text.h"
#include "winsim/win32.h"

using namespace winsim;

namespace {

struct Process : KernelObject {
  std::string image;  // Windows form
};

std::u16string& commandLineText() {
  static std::u16string text;
  return text;
}

// The image of a host process in Windows form; empty when it cannot be read.
std::string hostImage(const std::string& procLink) {
  char target[PATH_MAX];
  ssize_t length = readlink(procLink.c_str(), target, sizeof target - 1);
  if (length <= 0) return "";
  return windowsPath(std::string(target, static_cast<size_t>(length)));
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

namespace winsim {

std::string setCommandLine(int argc, char** argv) {
  std::string line;
  size_t argumentsStart = std::string::npos;
  for (int i = 0; i < argc; ++i) {
    if (i) line += ' ';
    if (i == 1) argumentsStart = line.size();
    std::string argument = argv[i];
    bool quote = argument.empty() || argument.find_first_of(" \t\"") != std::string::npos;
    if (i == 0) {  // the program name takes no escapes
      line += quote ? "\"" + argument + "\"" : argument;
      continue;
    }
    if (!quote) {
      line += argument;
      continue;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : argument) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
  }
  commandLineText() = widen(line);
  return argumentsStart == std::string::npos ? "" : line.substr(argumentsStart);
}

}  // namespace winsim

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId) {
  if (!(access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) || processId == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto process = std::make_shared<Process>();
  const rapidjson::Document& description = Machine::current().description();
  auto table = description.FindMember("processes");
  if (table != description.MemberEnd() && table->value.IsArray()) {
    for (const auto& entry : table->value.GetArray()) {
      auto pid = entry.FindMember("pid");
      auto image = entry.FindMember("image");
      if (pid == entry.MemberEnd() || !pid->value.IsUint() || pid->value.GetUint() != processId ||
          image == entry.MemberEnd() || !image->value.IsString())
        continue;
      process->image = image->value.GetString();
      return newHandle(process);
    }
  }
  std::string procLink = "/proc/" + std::to_string(processId) + "/exe";
  if (processId == GetCurrentProcessId()) procLink = "/proc/self/exe";
  struct stat status;
  if (stat(("/proc/" + std::to_string(processId)).c_str(), &status) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);  // no such process
    return nullptr;
  }
  process->image = hostImage(procLink);
  if (process->image.empty()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return newHandle(process);
}

BOOL QueryFullProcessImageNameW(HANDLE handle, DWORD, LPWSTR name, PDWORD size) {
  auto process = objectAs<Process>(handle);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!name || !size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string wide = widen(process->image);
  if (*size < wide.size() + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(name, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
  *size = static_cast<DWORD>(wide.size());
  return TRUE;
}

LPWSTR GetCommandLineW() { return commandLineText().data(); }

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count) {
  if (!count) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::u16string> arguments;
  const char16_t* p = commandLine;
  if (!p || !*p) {
    std::u16string image = widen(hostImage("/proc/self/exe"));
    arguments.push_back(image);
  } else {
    // The program name: up to the closing quote, or to the first blank.
    std::u16string name;
    if (*p == u'"') {
      for (++p; *p && *p != u'"'; ++p) name += *p;
      if (*p) ++p;
    } else {
      for (; *p && !isSpace(*p); ++p) name += *p;
    }
    arguments.push_back(name);
    while (true) {
      while (isSpace(*p)) ++p;
      if (!*p) break;
      std::u16string argument;
      bool quoted = false;
      while (*p && (quoted || !isSpace(*p))) {
        size_t backslashes = 0;
        while (*p == u'\\') {
          ++backslashes;
          ++p;
        }
        if (*p == u'"') {
          argument.append(backslashes / 2, u'\\');
          if (backslashes % 2) {
            argument += u'"';
          } else if (quoted && p[1] == u'"') {
            argument += u'"';  // a doubled quote inside quotes stands for one
            ++p;
          } else {
            quoted = !quoted;
          }
          ++p;
        } else {
          argument.append(backslashes, u'\\');
          if (*p && (quoted || !isSpace(*p))) argument += *p++;
        }
      }
      arguments.push_back(argument);
    }
  }
  // One block: the pointer array, then the strings.
  size_t bytes = (arguments.size() + 1) * sizeof(LPWSTR);
  for (const auto& argument : arguments) bytes += (argument.size() + 1) * sizeof(WCHAR);
  char* block = static_cast<char*>(std::calloc(1, bytes));
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  LPWSTR* pointers = reinterpret_cast<LPWSTR*>(block);
  WCHAR* text = reinterpret_cast<WCHAR*>(block + (arguments.size() + 1) * sizeof(LPWSTR));
  for (size_t i = 0; i < arguments.size(); ++i) {
    pointers[i] = text;
    std::memcpy(text, arguments[i].c_str(), (arguments[i].size() + 1) * sizeof(WCHAR));
    text += arguments[i].size() + 1;
  }
  *count = static_cast<int>(arguments.size());
  return pointers;
}

namespace winsim {

void recordExitCode(int exitCode) {
  const char* path = std::getenv("WINSIM_EXITCODE");
  if (!path) return;
  if (FILE* file = std::fopen(path, "w")) {
    std::fprintf(file, "%d\n", exitCode);
    std::fclose(file);
  }
}

}  // namespace winsim

void ExitProcess(UINT exitCode) {
  recordExitCode(static_cast<int>(exitCode));
  _exit(static_cast<int>(exitCode));
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  if (moduleName) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  static char image;  // the executable's module: any address that is its own
  return &image;
}
