// Small helpers of the buffer tests.
#pragma once

#include <vector>

#include "devlib/orvlib_buffer.h"
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
