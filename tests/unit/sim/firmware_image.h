// Firmware images for the virtual drives, and a look at what a simulated
// SAS drive did with them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "winsim/drive_sas.h"
#include "winsim/machine.h"
#include "winsim/storage.h"

// "VDRVFWIM", the revision blank-padded to 8 bytes, then length - 16 bytes
// of a pattern that differs from byte to byte.
inline std::vector<uint8_t> firmwareImage(const std::string& revision, size_t length) {
  std::string header = "VDRVFWIM" + revision;
  header.resize(16, ' ');
  std::vector<uint8_t> image(header.begin(), header.end());
  for (size_t i = image.size(); i < length; ++i) image.push_back(static_cast<uint8_t>(i * 7 + i / 251));
  image.resize(length);
  return image;
}

// The SAS drive of the current machine with that device number.
inline winsim::SasDrive& sasDrive(uint32_t number) {
  for (const auto& disk : winsim::Machine::current().part<winsim::StorageStack>().disks())
    if (disk->number == number) return dynamic_cast<winsim::SasDrive&>(*disk->drive);
  throw "no such drive";
}
