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

NvmeTranslation::NvmeTranslation(NvmeDrive& drive, bool nvmeDriver)
    : ScsiTarget(drive), nvme_(drive), nvmeDriver_(nvmeDriver) {}

bool NvmeTranslation::tunnel() const { return nvmeDriver_ && nvme_.tunnel(); }

std::vector<std::vector<uint8_t>> NvmeTranslation::designators() const {
  // The EUI-64 of the namespace, binary, associated with the device.
  return {designator(0x01, 0x02, bigEndian(nvme_.worldWideName(), 8))};
}

std::vector<std::vector<uint8_t>> RaidNvmeTranslation::designators() const {
  std::vector<std::vector<uint8_t>> all = NvmeTranslation::designators();
  std::string text = "IntelRSTNVMe" + std::to_string(target_) + "_" + unitSerial();
  all.push_back(designator(0x02, 0x00, std::vector<uint8_t>(text.begin(), text.end())));
  return all;
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
    std::vector<uint8_t> list = {0, 0, 0, 0, 0, 0, 0, 0, 0x00};
    for (uint8_t one : nvme_.securityProtocols()) list.push_back(one);
    if (tunnel()) list.push_back(TUNNEL_PROTOCOL);
    list[7] = static_cast<uint8_t>(list.size() - 8);
    return sendData(io, list, allocation);
  }
  if (protocol != TUNNEL_PROTOCOL) return toController(io, SECURITY_RECEIVE);
  if (!tunnel() || allocation < ENTRY_LENGTH)
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
  if (io.cdb[1] != TUNNEL_PROTOCOL) return toController(io, SECURITY_SEND);
  uint32_t length = readBigEndian(io.cdb + 6, 4);
  if (!tunnel() || length < ENTRY_LENGTH ||
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
  // A longer buffer than the blocks need is a short transfer.
  if (bytes > io.length || io.phase != (read ? DataPhase::in : DataPhase::out))
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  if (read)
    nvme_.readBlocks(lba, io.data, static_cast<uint32_t>(blocks));
  else
    nvme_.writeBlocks(lba, io.data, static_cast<uint32_t>(blocks));
  io.transferred = static_cast<uint32_t>(bytes);
}

void NvmeTranslation::toController(ScsiIo& io, uint8_t opcode) {
  uint32_t length = readBigEndian(io.cdb + 6, 4);
  if (io.length < length || (length && io.phase != (opcode == SECURITY_RECEIVE ? DataPhase::in : DataPhase::out)))
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  NvmeIo run;
  run.command[0] = opcode;
  uint32_t dword10 = static_cast<uint32_t>(io.cdb[1]) << 24 | readBigEndian(io.cdb + 2, 2) << 8;
  for (unsigned i = 0; i < 4; ++i) {
    run.command[40 + i] = static_cast<uint8_t>(dword10 >> (8 * i));
    run.command[44 + i] = static_cast<uint8_t>(length >> (8 * i));
  }
  run.phase = length ? io.phase : DataPhase::none;
  run.data = io.data;
  run.length = length;
  nvme_.execute(run);
  if (run.failed()) return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  io.transferred = length;
}

}  // namespace winsim
