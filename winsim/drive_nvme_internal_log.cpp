// The vendor internal log (log F3h) and the telemetry log of the NVMe
// controller. The record's
// "internalLog" gives the length in bytes of each type the drive keeps, by
// its type bit in decimal ({"1": 24, "8": 16}); a drive with such a record
// also offers the directory of its logs (log FEh), which lists F3h. A
// type's log starts with its type bit and its length (bytes 1-3); byte i of
// the rest holds i. Every word after the first goes out scrambled: the
// host takes the complement and rotates it left by one to read it.
#include <cstdlib>

#include "winsim/drive_nvme.h"

namespace winsim {
namespace {

constexpr size_t ERROR_ENTRY_LENGTH = 64;
constexpr size_t DIRECTORY_LENGTH = 1024;
constexpr size_t TELEMETRY_BLOCK = 512;

uint32_t scrambled(uint32_t plain) {
  uint32_t inverted = ~plain;
  return (inverted >> 1) | (inverted << 31);
}

}  // namespace

std::vector<uint8_t> NvmeDrive::internalLog(uint8_t type) const {
  const rapidjson::Value* types = member("internalLog");
  std::string key = std::to_string(type);
  if (!types || !types->IsObject() || !types->HasMember(key.c_str()) || !(*types)[key.c_str()].IsUint())
    return {};
  uint32_t length = (*types)[key.c_str()].GetUint() & ~3u;
  if (length < 8) return {};
  std::vector<uint8_t> page(length, 0);
  for (size_t i = 4; i < length; ++i) page[i] = static_cast<uint8_t>(i);
  page[0] = type;
  putLittle(page, 1, length, 3);
  for (size_t at = 4; at + 4 <= length; at += 4) {
    uint32_t word = static_cast<uint32_t>(page[at]) | static_cast<uint32_t>(page[at + 1]) << 8 |
                    static_cast<uint32_t>(page[at + 2]) << 16 | static_cast<uint32_t>(page[at + 3]) << 24;
    putLittle(page, at, scrambled(word), 4);
  }
  return page;
}

std::vector<uint8_t> NvmeDrive::telemetryLog() const {
  uint64_t blocks = number64("telemetryBlocks", 0);
  if (blocks == 0 || blocks > 0xFFFF) return {};
  std::vector<uint8_t> page((blocks + 1) * TELEMETRY_BLOCK, 0);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i / TELEMETRY_BLOCK);
  for (size_t area = 0; area < 3; ++area) putLittle(page, 8 + 2 * area, blocks, 2);
  return page;
}

std::vector<uint8_t> NvmeDrive::logDirectory() const {
  const rapidjson::Value* types = member("internalLog");
  if (!types || !types->IsObject()) return {};
  std::vector<uint8_t> page(DIRECTORY_LENGTH, 0);
  // Sizes are kept in dwords, as a drive's own directory counts them.
  auto list = [&](uint8_t id, uint32_t bytes) {
    putLittle(page, 4u * id, static_cast<uint64_t>(bytes / 4) << 8 | id, 4);
  };
  list(0x01, static_cast<uint32_t>((errorLogEntries() + 1) * ERROR_ENTRY_LENGTH));
  list(0x02, 512);
  list(0x03, 512);
  uint32_t total = 0;
  for (auto it = types->MemberBegin(); it != types->MemberEnd(); ++it)
    if (it->value.IsUint()) total += it->value.GetUint();
  list(INTERNAL_LOG, total);
  return page;
}

}  // namespace winsim
