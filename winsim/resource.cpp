// Resources of the running program on the simulated machine.
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "winsim/host.h"
#include "winsim/program.h"
#include "winsim/win32.h"

using namespace winsim;

namespace {

struct Resource {
  const void* data;
  size_t size;
};

std::map<std::pair<unsigned, unsigned>, Resource>& resources() {
  static std::map<std::pair<unsigned, unsigned>, Resource> linked;
  return linked;
}

// RCDATA <id> replaced for a test by the file WINSIM_RCDATA_<id> names; an
// empty value takes the resource away. Null when the variable is not set.
const Resource* replacedRcdata(unsigned id, bool* missing) {
  *missing = false;
  const char* path = std::getenv(("WINSIM_RCDATA_" + std::to_string(id)).c_str());
  if (!path) return nullptr;
  static std::map<unsigned, std::string> bytes;
  static std::map<unsigned, Resource> replaced;
  std::ifstream file(hostPath(path), std::ios::binary);
  if (!*path || !file) {
    *missing = true;
    return nullptr;
  }
  bytes[id].assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  replaced[id] = Resource{bytes[id].data(), bytes[id].size()};
  return &replaced[id];
}

std::string& script() {
  static std::string text;
  return text;
}

std::string trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string unquoted(const std::string& text) {
  std::string value = trimmed(text);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

// The arguments of a script line after its keyword, split at commas outside
// quotes.
std::vector<std::string> arguments(const std::string& rest) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (char c : rest) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  for (auto& part : parts) part = trimmed(part);
  return parts;
}

}  // namespace

namespace winsim {

void addResource(unsigned type, unsigned id, const void* data, size_t size) {
  resources()[{type, id}] = Resource{data, size};
}

void setResourceScript(const char* text, size_t size) { script().assign(text, size); }

bool findDialog(unsigned id, DialogTemplate* dialog) {
  std::istringstream lines(script());
  std::string line;
  bool inDialog = false;
  bool inBody = false;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    if (!inDialog) {
      inDialog = first == std::to_string(id) && (second == "DIALOG" || second == "DIALOGEX");
      continue;
    }
    if (!inBody) {
      if (first == "CAPTION") dialog->caption = unquoted(trimmed(line).substr(7));
      inBody = first == "BEGIN" || first == "{";
      continue;
    }
    if (first == "END" || first == "}") return true;
    if (first.empty()) continue;
    std::vector<std::string> parts = arguments(trimmed(line).substr(first.size()));
    // EDITTEXT names its id first; the others put their text before it.
    size_t idAt = first == "EDITTEXT" ? 0 : 1;
    if (parts.size() > idAt && !parts[idAt].empty() && std::isdigit(static_cast<unsigned char>(parts[idAt][0])))
      dialog->controls.push_back({first, std::stoi(parts[idAt])});
  }
  return false;
}

}  // namespace winsim

HRSRC FindResourceW(HMODULE, LPCWSTR name, LPCWSTR type) {
  if (!IS_INTRESOURCE(name) || !IS_INTRESOURCE(type)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  auto key = std::make_pair(static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(type)),
                            static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
  if (key.first == 10) {
    bool missing = false;
    if (const Resource* replaced = replacedRcdata(key.second, &missing)) return const_cast<Resource*>(replaced);
    if (missing) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
  }
  auto found = resources().find(key);
  if (found == resources().end()) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return &found->second;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<void*>(static_cast<const Resource*>(resource)->data);
}

LPVOID LockResource(HGLOBAL loaded) { return loaded; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<DWORD>(static_cast<const Resource*>(resource)->size);
}
