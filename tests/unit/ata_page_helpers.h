// Helpers of the tests of the ATA SMART and log pages.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "unit/buffer_helpers.h"
#include "unit/status_check.h"
#include "unit/scratch.h"

// The ATA data structures raise their words from the source file numbered 130.
inline ::testing::AssertionResult isSataStatus(u64 word, u32 code) { return isLibStatus(word, code, 130); }

// Writes bytes from offset on.
inline void put(VazidaRaduru::OrvBuffer& buffer, u32 offset, std::vector<u8> bytes) {
  for (u8 b : bytes) buffer[offset++] = b;
}

// The text a print or dump operation writes to an open file.
inline std::string printedText(const std::function<void(void*)>& print) {
  return withoutCarriageReturns(writtenTo([&](std::FILE* file) { print(file); }));
}

// A value line of the data structures: the label blank-filled to 100
// columns, ": " and the value.
inline std::string valueLine(const std::string& label, unsigned long long value) {
  return label + std::string(label.size() < 100 ? 100 - label.size() : 0, ' ') + ": " + std::to_string(value) + "\n";
}

// Where a view starts within the bytes of its parent.
inline u64 offsetIn(const VazidaRaduru::OrvBuffer& view, const VazidaRaduru::OrvBuffer& parent) {
  return static_cast<u64>(view.getBuffer() - parent.getBuffer());
}
