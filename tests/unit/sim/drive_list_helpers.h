// The drive list of a simulated machine and one open drive, for tests, and
// entries and requests as one line of text each.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "osl/osl_cmd.h"
#include "winsim/winsim_test.h"

// How an entry is reached: "command bus/device type/physical bus".
inline std::string typesOf(u32 commandBus, u32 deviceType, u32 physicalBus) {
  return std::to_string(commandBus) + "/" + std::to_string(deviceType) + "/" + std::to_string(physicalBus);
}
inline std::string typesOf(const _osl_dev_entry& entry) {
  return typesOf(entry.commandBus, entry.deviceType, entry.physicalBus);
}

// An entry as one line: id, number, command bus / device type / physical
// bus, model, firmware, serial, medium and usable.
inline std::string describe(const _osl_dev_entry& entry) {
  return std::string(entry.id) + " #" + std::to_string(entry.deviceNumber) + " " + typesOf(entry) + " '" +
         entry.model + "' '" + entry.firmware + "' '" + entry.serial + "' medium " + std::to_string(entry.medium) +
         (entry.usable ? "" : " unusable");
}

inline std::string hex(const std::vector<u8>& bytes) {
  std::string text;
  char two[4];
  for (u8 byte : bytes) {
    std::snprintf(two, sizeof two, "%02x ", byte);
    text += two;
  }
  return text;
}

// A request as the storage stack received it, with the fields that matter
// to a miniport request.
inline std::string describe(const winsim::StorageRequest& request) {
  char fields[160];
  std::snprintf(fields, sizeof fields, "%s code %x rc %u flags %u data %u at %u queue %u timeout %u: ",
                request.device.c_str(), static_cast<unsigned>(request.miniportCode),
                static_cast<unsigned>(request.returnCode), static_cast<unsigned>(request.stpFlags),
                static_cast<unsigned>(request.dataLength), static_cast<unsigned>(request.dataOffset),
                static_cast<unsigned>(request.queueType), static_cast<unsigned>(request.timeout));
  return fields + hex(request.command);
}

// One drive on each path: an AHCI port, a SAS adapter's translation and a
// SAS drive.
inline const char kThreeDrives[] = R"({"windows": "10.0", "drives": [
  {"bus": "sata", "model": "MODEL A", "serial": "   S1", "firmware": "REV00001"},
  {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001", "rotational": true},
  {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001"}]})";

struct DriveList {
  std::unique_ptr<_osl_dev_info> list{new _osl_dev_info()};
  osl_unread_list unread{};
  u64 status = osl_list_drives(list.get(), &unread);
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
  // Every entry with an id, one a line.
  std::string text() const {
    std::string lines;
    for (const _osl_dev_entry& entry : list->entries)
      if (entry.id[0]) lines += describe(entry) + "\n";
    return lines;
  }
};

struct OpenDrive {
  explicit OpenDrive(const char* id) : drive(osl_open_device(id)) {}
  ~OpenDrive() { osl_close_device(drive); }
  OpenDrive(const OpenDrive&) = delete;
  OpenDrive& operator=(const OpenDrive&) = delete;
  // What osl_get_bus_dev_type answers, as "command/device/physical", the
  // device type starting at device.
  std::string types(osl_dev_type device = OSL_DEV_NONE) const {
    osl_bus_type command = OSL_BUS_NONE, physical = OSL_BUS_NONE;
    if (osl_get_bus_dev_type(drive, &command, &device, &physical)) return "failed";
    return typesOf(command, device, physical);
  }
  _OSL_PDEV* drive;
};
