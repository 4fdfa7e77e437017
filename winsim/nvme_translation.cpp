#include "winsim/nvme_translation.h"

#include <algorithm>
#include <cstring>

namespace winsim {
namespace {

constexpr uint8_t SECURITY_PROTOCOL_IN = 0xA2;
constexpr uint8_t SECURITY_PROTOCOL_OUT = 0xB5;
constexpr uint8_t READ_16 = 0x88;
constexpr uint8_t WRITE_16 = 0x8A;
constexpr uint8_t TUNNEL_PROTOCOL = 0xF0;
constexpr uint32_t ENTRY_LENGTH = 64;

}  // namespace

NvmeTranslation::NvmeTranslation(NvmeDrive& drive) : ScsiTarget(drive), nvme_(drive) {}

std::vector<std::vector<uint8_t>> NvmeTranslation::designators() const {
  // The EUI-64 of the namespace, binary, associated with the device.
  return {designator(0x01, 0x02, bigEndian(nvme_.worldWideName(), 8))};
}

bool NvmeTranslation::command(ScsiIo& io) {
  switch (io.cdb[0]) {
    case SECURITY_PROTOCOL_IN: securityIn(io); return true;
    case SECURITY_PROTOCOL_OUT: securityOut(io); return true;
    case READ_16: readWrite(io, true); return true;
    case WRITE_16: readWrite(io, false); return true;
    default: return false;
  }
}

void NvmeTranslation::securityIn(ScsiIo& io) {
  if (!nvme_.securityCommands())
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_OPERATION_CODE);
  uint8_t protocol = io.cdb[1];
  uint32_t allocation = readBigEndian(io.cdb + 6, 4);
  if (protocol == 0 && readBigEndian(io.cdb + 2, 2) == 0) {
    std::vector<uint8_t> list = {0, 0, 0, 0, 0, 0, 0, 1, 0x00};
    if (nvme_.tunnel()) {
      list.push_back(TUNNEL_PROTOCOL);
      list[7] = 2;
    }
    return sendData(io, list, allocation);
  }
  if (protocol != TUNNEL_PROTOCOL || !nvme_.tunnel() || allocation < ENTRY_LENGTH)
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  if (!entry_.empty()) {
    NvmeIo run;
    std::memcpy(run.command, entry_.data(), ENTRY_LENGTH);
    std::vector<uint8_t> area(allocation - ENTRY_LENGTH, 0);
    run.phase = area.empty() ? DataPhase::none : DataPhase::in;
    run.data = area.data();
    run.length = static_cast<uint32_t>(area.size());
    nvme_.execute(run);
    completion_ = run.completion();
    incoming_ = area;
    entry_.clear();
    if (run.opcode() == FORMAT_NVM && !run.failed())
      formatBusy_ = nvme_.number64("formatBusy", 0);
  }
  if (completion_.empty()) return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_COMMAND_SEQUENCE_ERROR);
  std::vector<uint8_t> answer(ENTRY_LENGTH, 0);
  std::memcpy(answer.data(), completion_.data(), completion_.size());
  if (formatBusy_) {
    --formatBusy_;
    NvmeIo busy;
    nvmeFail(busy, NVME_FORMAT_IN_PROGRESS);
    std::vector<uint8_t> entry = busy.completion();
    std::memcpy(answer.data(), entry.data(), entry.size());
  } else {
    answer.insert(answer.end(), incoming_.begin(), incoming_.end());
  }
  sendData(io, answer, allocation);
}

void NvmeTranslation::securityOut(ScsiIo& io) {
  if (!nvme_.securityCommands())
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_OPERATION_CODE);
  uint32_t length = readBigEndian(io.cdb + 6, 4);
  if (io.cdb[1] != TUNNEL_PROTOCOL || !nvme_.tunnel() || length < ENTRY_LENGTH ||
      io.phase != DataPhase::out || io.length < length)
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  io.transferred = length;
  entry_.assign(io.data, io.data + ENTRY_LENGTH);
  completion_.clear();
  incoming_.clear();
  if (length == ENTRY_LENGTH) return;
  // An entry with outgoing data runs at once.
  NvmeIo run;
  std::memcpy(run.command, entry_.data(), ENTRY_LENGTH);
  run.phase = DataPhase::out;
  run.data = io.data + ENTRY_LENGTH;
  run.length = length - ENTRY_LENGTH;
  nvme_.execute(run);
  completion_ = run.completion();
  entry_.clear();
}

void NvmeTranslation::readWrite(ScsiIo& io, bool read) {
  uint64_t lba = static_cast<uint64_t>(readBigEndian(io.cdb + 2, 4)) << 32 | readBigEndian(io.cdb + 6, 4);
  uint64_t blocks = readBigEndian(io.cdb + 10, 4);
  uint64_t bytes = blocks * nvme_.sectorSize();
  if (lba + blocks > nvme_.sectors())
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, 0x2100);  // LBA out of range
  if (bytes != io.length || io.phase != (read ? DataPhase::in : DataPhase::out))
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  if (read) std::fill(io.data, io.data + io.length, 0);
  io.transferred = io.length;
}

}  // namespace winsim
