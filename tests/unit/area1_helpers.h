// Helpers of the Area 1 internal log tests: a parent buffer of known bytes,
// the text a print writes and the items an export appends.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_area1.h"
#include "unit/buffer_helpers.h"
#include "unit/status_check.h"
#include "unit/scratch.h"

namespace area1_test {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal;

// The words of the Area 1 classes come from the SATA data source file.
inline ::testing::AssertionResult isSataStatus(u64 word, u32 code) { return isLibStatus(word, code, 130); }

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    line.push_back(c);
    if (c == '\n') lines.push_back(line), line.clear();
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// One value line as the sub-logs write it.
inline std::string valueLine(const std::string& label, unsigned long long value) {
  char text[512];
  std::snprintf(text, sizeof text, "    %-100s: %llu\n", label.c_str(), value);
  return text;
}

inline std::string titleBlock(const std::string& title) { return "\n\n    " + title + "\n\n"; }

template <typename Collectable>
std::vector<_OrvDataItem> collected(Collectable& log) {
  OrvDevGenData<_OrvDataItem> data;
  log.collectFields(data);
  return data.items;
}

inline size_t countOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace area1_test
