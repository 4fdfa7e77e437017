// Firmware packages built byte by byte for tests, good and spoilt.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "unit/sim/firmware_image.h"

// A firmware package: the 128-byte header (numbers big-endian), the image,
// and what a test changes to spoil it.
struct PackageSpec {
  std::string signature = "@ORVQEP@";
  std::string model = "VIRTUAL DRIVE";
  std::string revision = "REV00002";
  std::string component;
  std::vector<u8> image = firmwareImage("REV00002", 24576);
  int64_t claimedLength = -1;  // the header's image length; -1: the image's
  bool badChecksum = false;
  size_t padding = 0;          // bytes after the image
};

inline std::string packageBytes(const PackageSpec& spec) {
  std::string header(128, '\0');
  auto put = [&](size_t at, const std::string& text, size_t width) {
    header.replace(at, std::min(width, text.size()), text.substr(0, width));
  };
  auto number = [&](size_t at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) header[at + width - 1 - i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  put(0, spec.signature, 8);
  number(8, 128, 2);
  put(10, spec.model, 40);
  put(50, spec.revision, 8);
  put(64, spec.component, 8);
  number(72, spec.claimedLength < 0 ? spec.image.size() : static_cast<uint64_t>(spec.claimedLength), 4);
  unsigned sum = 0;
  for (size_t i = 0; i < 124; ++i) sum += static_cast<unsigned char>(header[i]);
  header[124] = static_cast<char>((sum + (spec.badChecksum ? 1 : 0)) & 0xFF);
  return header + std::string(spec.image.begin(), spec.image.end()) + std::string(spec.padding, '\0');
}
