#include "winsim/firmware_image.h"

#include <algorithm>
#include <cstring>

namespace winsim {
namespace {

constexpr char MARK[] = "VDRVFWIM";
constexpr size_t MARK_LENGTH = 8;

}  // namespace

bool isFirmwareImage(const uint8_t* bytes, size_t length) {
  return length >= FIRMWARE_HEADER_LENGTH && std::memcmp(bytes, MARK, MARK_LENGTH) == 0;
}

std::string firmwareRevision(const std::vector<uint8_t>& image) {
  std::string revision(image.begin() + MARK_LENGTH, image.begin() + FIRMWARE_HEADER_LENGTH);
  while (!revision.empty() && (revision.back() == ' ' || revision.back() == '\0')) revision.pop_back();
  return revision;
}

void FirmwareAssembly::clear() {
  bytes_.clear();
  ranges_.clear();
}

void FirmwareAssembly::put(uint32_t offset, const uint8_t* data, uint32_t length) {
  if (length == 0) return;
  uint32_t end = offset + length;
  if (bytes_.size() < end) bytes_.resize(end, 0);
  std::memcpy(bytes_.data() + offset, data, length);

  ranges_.emplace_back(offset, end);
  std::sort(ranges_.begin(), ranges_.end());
  std::vector<std::pair<uint32_t, uint32_t>> merged;
  for (const auto& range : ranges_) {
    if (!merged.empty() && range.first <= merged.back().second)
      merged.back().second = std::max(merged.back().second, range.second);
    else
      merged.push_back(range);
  }
  ranges_.swap(merged);
}

bool FirmwareAssembly::complete() const {
  return ranges_.size() == 1 && ranges_.front().first == 0;
}

}  // namespace winsim
