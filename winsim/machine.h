// The simulated machine: its description (a JSON file named by the
// environment variable WINSIM_MACHINE) and the state that lives beside it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <typeindex>

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

  // A part of the machine built from its description on first use (such as
  // the storage stack, constructed from this machine); it lives as long as
  // the machine does.
  template <typename Part>
  Part& part() {
    std::shared_ptr<void>& slot = parts_[std::type_index(typeid(Part))];
    if (!slot) slot = std::make_shared<Part>(*this);
    return *static_cast<Part*>(slot.get());
  }

 private:
  explicit Machine(const std::string& path);
  std::string path_;
  rapidjson::Document description_;
  std::map<std::type_index, std::shared_ptr<void>> parts_;  // after the description it reads
};

}  // namespace winsim
