// One input: a pattern, a zero byte, then the text it is searched in, cut to
// the 40 bytes of the longest drive text (a model number) that a pattern is
// searched in. Both are copied to buffers of their exact size, so that a
// read past either end is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "devlib/orvlib_pattern.h"

namespace {

constexpr size_t kLongestDriveText = 40;

std::unique_ptr<char[]> exactCopy(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> copy(new char[size + 1]);
  std::memcpy(copy.get(), data, size);
  copy[size] = '\0';
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  size_t patternSize = split ? static_cast<size_t>(split - data) : size;
  std::unique_ptr<char[]> pattern = exactCopy(data, patternSize);
#ifdef ASCII_PATTERNS
  for (size_t i = 0; i < patternSize; ++i) {
    pattern[i] &= 0x7F;
    if (!pattern[i]) pattern[i] = ' ';
  }
#endif
  const uint8_t* text = split ? split + 1 : data + size;
  size_t textSize = static_cast<size_t>(data + size - text);
  const uint8_t* textEnd = static_cast<const uint8_t*>(std::memchr(text, 0, textSize));
  if (textEnd) textSize = static_cast<size_t>(textEnd - text);
  std::unique_ptr<char[]> textCopy = exactCopy(text, textSize < kLongestDriveText ? textSize : kLongestDriveText);
  bool found = false;
  VazidaRaduru::orvSearchPattern(pattern.get(), textCopy.get(), found);
  return 0;
}
