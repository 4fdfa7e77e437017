// The drive list of a simulated machine and one open drive, for tests.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "osl/osl_cmd.h"

struct DriveList {
  std::unique_ptr<_osl_dev_info> list{new _osl_dev_info()};
  u64 status = osl_list_drives(list.get());
  const _osl_dev_entry& operator[](u32 index) const { return list->entries[index]; }
  u32 used() const {
    u32 count = 0;
    for (const _osl_dev_entry& entry : list->entries) count += entry.usable == 1;
    return count;
  }
  // The entry with that id, or null.
  const _osl_dev_entry* find(const char* id) const {
    for (const _osl_dev_entry& entry : list->entries)
      if (std::strcmp(entry.id, id) == 0) return &entry;
    return nullptr;
  }
};

// An entry as one line: id, number, command bus / device type / physical
// bus, model, firmware, serial, medium and usable.
inline std::string describe(const _osl_dev_entry& entry) {
  return std::string(entry.id) + " #" + std::to_string(entry.deviceNumber) + " " + std::to_string(entry.commandBus) +
         "/" + std::to_string(entry.deviceType) + "/" + std::to_string(entry.physicalBus) + " '" + entry.model +
         "' '" + entry.firmware + "' '" + entry.serial + "' medium " + std::to_string(entry.medium) +
         (entry.usable ? "" : " unusable");
}

struct OpenDrive {
  explicit OpenDrive(const char* id) : drive(osl_open_device(id)) {}
  ~OpenDrive() { osl_close_device(drive); }
  OpenDrive(const OpenDrive&) = delete;
  OpenDrive& operator=(const OpenDrive&) = delete;
  _OSL_PDEV* drive;
};
