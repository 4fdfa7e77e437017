// The simulated machine: its description (a JSON file named by the
// environment variable WINSIM_MACHINE) and the state that lives beside it.
#pragma once

#include <string>

#include <rapidjson/document.h>

namespace winsim {

class Machine {
 public:
  // The machine of this process, read from WINSIM_MACHINE on first use.
  // Without that variable the machine has no drives.
  static Machine& current();
  // Replaces the machine by the one described in the file (empty: the bare
  // machine). Tests use it to switch machines inside one process.
  static Machine& load(const std::string& path);

  rapidjson::Document& description() { return description_; }
  const std::string& path() const { return path_; }

  // Writes the description back to its file, so that state a real drive
  // keeps across a reset is seen by the next run. No file: nothing to do.
  void save();

  std::string windowsVersion() const;  // "10.0" unless the file says
  bool admin() const;                  // true unless the file says
  // The machine's program-data folder, made when missing: the file's
  // "programdata" (relative to the machine file's folder; null: none), else
  // "programdata" beside the machine file. Empty when the machine has none.
  std::string programDataFolder() const;

  // Simulated time in milliseconds; Sleep advances it without waiting.
  unsigned long long clockMs = 0;

 private:
  explicit Machine(const std::string& path);
  std::string path_;
  rapidjson::Document description_;
};

}  // namespace winsim
