// A scratch folder of one test, removed with everything in it afterwards.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>

#include "osl/osl_platform.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    static unsigned counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("orv-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder, or a name in it, as the system's own code writes paths.
  std::string path() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return path() + "\\" + name; }

  // Writes a file; returns its path in the host's form.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return (path_ / name).string();
  }
  std::string read(const std::string& name) const {
    std::ifstream file(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

 private:
  std::filesystem::path path_;
};

// What an action writes to an open stream, byte for byte. The stream is a
// file of a scratch folder of this process's own: parallel test programs
// under Wine may be handed the same temporary file names.
inline std::string writtenTo(const std::function<void(std::FILE*)>& write) {
  ScratchFolder folder;
  std::FILE* file = std::fopen(folder.write("written.bin", "").c_str(), "w+b");
  if (!file) return "(the scratch file could not be opened)";
  write(file);
  std::rewind(file);
  std::string bytes;
  for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<char>(c));
  std::fclose(file);
  return bytes;
}

// Text as it reads on every host: the "\r" of text-mode line ends dropped.
inline std::string withoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}
