// Small helpers of the buffer tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

namespace buffer_test {

// The buffer family raises its words from the source file numbered 102.
inline ::testing::AssertionResult isBufferStatus(u64 word, u32 code) { return isLibStatus(word, code, 102); }

inline VazidaRaduru::OrvBuffer filled(std::vector<u8> bytes,
                                      VazidaRaduru::_OrvByteEndianess order = VazidaRaduru::ORV_LITTLE_ENDIAN) {
  VazidaRaduru::OrvBuffer buffer(static_cast<u32>(bytes.size()), order);
  EXPECT_EQ(buffer.setBuffer(bytes.data(), static_cast<u32>(bytes.size()), order), 0u);
  return buffer;
}

inline std::vector<u8> bytesOf(VazidaRaduru::OrvBuffer& buffer) {
  return std::vector<u8>(buffer.getBuffer(), buffer.getBuffer() + buffer.getLength());
}

}  // namespace buffer_test

// Values read against the expected ones, a row each; a failure names the row.
inline void expectValues(std::initializer_list<std::pair<u64, u64>> rows) {
  size_t row = 0;
  for (const auto& r : rows) EXPECT_EQ(r.first, r.second) << "row " << row++;
}

// A little-endian number of width bytes written into a buffer.
inline void put(VazidaRaduru::OrvBuffer& buffer, u32 offset, u64 value, unsigned width) {
  for (unsigned i = 0; i < width; ++i) buffer[offset + i] = static_cast<u8>(value >> (8 * i));
}

// What print writes to a stream.
template <typename Printable>
std::string printed(Printable& object) {
  return withoutCarriageReturns(writtenTo([&](std::FILE* file) { object.print(file); }));
}
