// Firmware images that the virtual drives accept: the mark, the 8-byte
// blank-padded revision, then bytes that differ from block to block, so
// that a segment in the wrong place shows; and a look at what a simulated
// SAS drive did with them.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "osl/osl_types.h"
#include "winsim/drive_sas.h"
#include "winsim/machine.h"
#include "winsim/storage.h"

inline std::vector<u8> firmwareImage(const std::string& revision, size_t length) {
  std::vector<u8> image(length);
  for (size_t i = 0; i < length; ++i) image[i] = static_cast<u8>(i * 7 + i / 512 + 1);
  std::string header = "VDRVFWIM" + (revision + std::string(8, ' ')).substr(0, 8);
  std::memcpy(image.data(), header.data(), std::min(length, header.size()));
  return image;
}

// The SAS drive of the current machine with that device number.
inline winsim::SasDrive& sasDrive(uint32_t number) {
  for (const auto& disk : winsim::Machine::current().part<winsim::StorageStack>().disks())
    if (disk->number == number) return dynamic_cast<winsim::SasDrive&>(*disk->drive);
  throw "no such drive";
}
