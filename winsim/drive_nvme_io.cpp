#include <algorithm>
#include <cstring>

#include "winsim/drive_nvme.h"

namespace winsim {

void NvmeDrive::readBlocks(uint64_t lba, uint8_t* out, uint32_t count) const {
  uint32_t size = sectorSize();
  for (uint32_t i = 0; i < count; ++i) {
    auto found = blocks_.find(lba + i);
    uint8_t* block = out + static_cast<size_t>(i) * size;
    if (found == blocks_.end())
      std::memset(block, 0, size);
    else
      std::memcpy(block, found->second.data(), size);
  }
}

void NvmeDrive::writeBlocks(uint64_t lba, const uint8_t* in, uint32_t count) {
  uint32_t size = sectorSize();
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* block = in + static_cast<size_t>(i) * size;
    blocks_[lba + i].assign(block, block + size);
  }
}

std::vector<uint8_t> NvmeDrive::securityProtocols() const {
  std::vector<uint8_t> protocols;
  if (const rapidjson::Value* listed = member("securityProtocols")) {
    if (listed->IsArray())
      for (const rapidjson::Value& one : listed->GetArray())
        if (one.IsUint() && one.GetUint() > 0 && one.GetUint() < 0xF0) protocols.push_back(static_cast<uint8_t>(one.GetUint()));
  }
  std::sort(protocols.begin(), protocols.end());
  return protocols;
}

namespace {

// Protocol (Dword 10 bits 31:24) and protocol-specific value (bits 23:8).
uint32_t securityKey(const NvmeIo& io) { return io.dword(10) >> 8; }

bool listed(const std::vector<uint8_t>& protocols, uint8_t protocol) {
  return std::find(protocols.begin(), protocols.end(), protocol) != protocols.end();
}

}  // namespace

void NvmeDrive::securitySend(NvmeIo& io) {
  uint8_t protocol = static_cast<uint8_t>(io.dword(10) >> 24);
  uint32_t length = io.dword(11);
  if (!listed(securityProtocols(), protocol)) return nvmeFail(io, NVME_INVALID_FIELD);
  if (io.phase != DataPhase::out || !io.data || io.length < length) return nvmeFail(io, NVME_INVALID_FIELD);
  security_[securityKey(io)].assign(io.data, io.data + length);
}

void NvmeDrive::securityReceive(NvmeIo& io) {
  uint8_t protocol = static_cast<uint8_t>(io.dword(10) >> 24);
  std::vector<uint8_t> protocols = securityProtocols();
  if (protocol == 0 && securityKey(io) == 0) {
    // The supported protocol list: a count in bytes 6-7, then the ids.
    std::vector<uint8_t> list(8, 0);
    list.push_back(0);
    list.insert(list.end(), protocols.begin(), protocols.end());
    list[6] = static_cast<uint8_t>((list.size() - 8) >> 8);
    list[7] = static_cast<uint8_t>(list.size() - 8);
    return nvmeSend(io, list);
  }
  if (!listed(protocols, protocol)) return nvmeFail(io, NVME_INVALID_FIELD);
  auto kept = security_.find(securityKey(io));
  nvmeSend(io, kept == security_.end() ? std::vector<uint8_t>() : kept->second);
}

}  // namespace winsim
