// Checks of a status word's fields: layer, raising file and code.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "osl/orv_status.h"

// Numbers of the OS layer's source files.
enum OslFile : u16 { kClibFile = 2, kLogFile = 3, kFileFile = 5, kUtilFile = 6, kMutexFile = 7, kThreadFile = 8 };
enum OslDriveFile : u16 { kCmdFile = 4, kSataFile = 9, kScsiFile = 10, kNvmeFile = 11, kCsmiFile = 12 };

inline void expectWord(u64 word, u32 layer, u16 file, u32 code) {
  EXPECT_EQ(orv_status_layer_of(word), layer) << std::hex << word;
  EXPECT_EQ(word >> 48, file) << std::hex << word;
  EXPECT_EQ(orv_status_code(word), code) << std::hex << word;
  EXPECT_NE((word >> 32) & 0xFFFF, 0u) << "no source line";
}

// A failure word of the OS layer (layer 5).
inline void expectOslWord(u64 word, u16 file, u32 code) { expectWord(word, 5, file, code); }

// The word an action throws; 0 when it throws nothing.
inline u64 thrownStatus(const std::function<void()>& action) {
  try {
    action();
  } catch (u64 word) {
    return word;
  }
  return 0;
}

// A library word (layer 4) with the given code, raised in the source file of
// the given number.
inline ::testing::AssertionResult isLibStatus(u64 word, u32 code, u32 fileNumber) {
  if (orv_status_code(word) == code && orv_status_layer_of(word) == ORV_LAYER_ORVLIB &&
      (word >> 48) == fileNumber && word != 0)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "word 0x" << std::hex << word << " is not code " << std::dec << code
                                       << " of layer 4 from file " << fileNumber;
}
