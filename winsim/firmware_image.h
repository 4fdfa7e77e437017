// Firmware images of the virtual drives, and an image gathered from the
// segments a host sends at byte offsets.
//
// An image a virtual drive accepts begins with the 8 bytes "VDRVFWIM", then
// its revision in 8 bytes, blank-padded; the rest is any content.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace winsim {

constexpr uint32_t FIRMWARE_HEADER_LENGTH = 16;

// Whether the bytes begin with the whole header and its mark.
bool isFirmwareImage(const uint8_t* bytes, size_t length);
// The revision of an image, without its padding.
std::string firmwareRevision(const std::vector<uint8_t>& image);

class FirmwareAssembly {
 public:
  void clear();
  // Puts a segment in place; a later segment over the same bytes replaces
  // them.
  void put(uint32_t offset, const uint8_t* data, uint32_t length);
  bool empty() const { return ranges_.empty(); }
  // Every byte from 0 to the end was sent.
  bool complete() const;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  // The byte ranges received, [begin, end), merged and in order.
  std::vector<std::pair<uint32_t, uint32_t>> ranges_;
};

}  // namespace winsim
