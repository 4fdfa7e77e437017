// Checks of thrown and returned status words, shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "osl/orv_status.h"

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
