// Drive lock files for tests: a command whose lock operations a test drives
// directly, and the lock folder under a program-data folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "cmdlib/cmdlib_gencmd.h"

// A command without a device whose drive id the test chooses.
class LockingCommand : public DivizuCmdlib::DivIzuGenCmd {
 public:
  explicit LockingCommand(const std::string& id) : DivIzuGenCmd("", 0, 0, false, false) { deviceId = id; }
  u64 execute() override { return 0; }
  using DivIzuGenCmd::forceOpLock;
  using DivIzuGenCmd::forceOpUnlock;
  using DivIzuGenCmd::isDevOpLocked;
  bool holdsLock() const { return lockTaken; }
};

// The lock files below a program-data folder.
class LockFolder {
 public:
  explicit LockFolder(const std::string& programData)
      : folder_(std::filesystem::path(programData) / "ORVENTA" / "VORMEL" / "lock") {}

  std::filesystem::path file(const std::string& name) const { return folder_ / name; }
  void write(const std::string& name, const std::string& text) const {
    std::filesystem::create_directories(folder_);
    std::ofstream(file(name), std::ios::binary) << text;
  }
  std::string read(const std::string& name) const {
    std::ifstream stream(file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

 private:
  std::filesystem::path folder_;
};
