// Checks of a status word's fields: layer, raising file and code.
#pragma once

#include <gtest/gtest.h>

#include "osl/orv_status.h"

// Numbers of the OS layer's source files.
enum OslFile : u16 { kClibFile = 2, kLogFile = 3, kFileFile = 5, kUtilFile = 6, kMutexFile = 7, kThreadFile = 8 };
enum OslDriveFile : u16 { kCmdFile = 4, kSataFile = 9, kScsiFile = 10, kCsmiFile = 12 };

inline void expectWord(u64 word, u32 layer, u16 file, u32 code) {
  EXPECT_EQ(orv_status_layer_of(word), layer) << std::hex << word;
  EXPECT_EQ(word >> 48, file) << std::hex << word;
  EXPECT_EQ(orv_status_code(word), code) << std::hex << word;
  EXPECT_NE((word >> 32) & 0xFFFF, 0u) << "no source line";
}

// A failure word of the OS layer (layer 5).
inline void expectOslWord(u64 word, u16 file, u32 code) { expectWord(word, 5, file, code); }
