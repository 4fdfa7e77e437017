// NVMe identify data as a controller returns it, built field by field, and
// the text that a structure prints.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "devlib/nvme/orvlib_buffer_nvme.h"
#include "unit/buffer_helpers.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

namespace nvme_identify_test {

// Identify data raises its words from the source file numbered 150.
inline ::testing::AssertionResult isIdentifyStatus(u64 word, u32 code) { return isLibStatus(word, code, 150); }

class IdentifyBytes {
 public:
  IdentifyBytes() : bytes(4096) {}

  // size bytes at offset, least significant first.
  IdentifyBytes& value(u32 offset, u32 size, u64 number) {
    for (u32 i = 0; i < size; ++i, number >>= 8) bytes.at(offset + i) = static_cast<u8>(number);
    return *this;
  }
  IdentifyBytes& raw(u32 offset, std::vector<u8> values) {
    for (u8 b : values) bytes.at(offset++) = b;
    return *this;
  }
  // A text over size bytes, filled up with pad.
  IdentifyBytes& text(u32 offset, u32 size, std::string value, char pad = ' ') {
    value.resize(size, pad);
    for (char c : value) bytes.at(offset++) = static_cast<u8>(c);
    return *this;
  }

  // Read into the structure's own bytes, as the device reads them.
  void into(VazidaRaduru::OrvBuffer& identify) const {
    EXPECT_EQ(identify.copyData(bytes.data(), static_cast<u32>(bytes.size()), 0), 0u);
  }

  std::vector<u8> bytes;
};

// One value line: the label left-justified in 100 columns.
inline std::string line(const std::string& label, const std::string& value) {
  std::string padded = label;
  if (padded.size() < 100) padded.resize(100, ' ');
  return padded + ": " + value + "\n";
}

inline bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

inline size_t countOf(const std::string& text, char c) {
  size_t n = 0;
  for (char k : text) n += k == c;
  return n;
}

}  // namespace nvme_identify_test
