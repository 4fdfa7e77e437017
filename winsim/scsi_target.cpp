#include "winsim/scsi_target.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "winsim/faults.h"
#include "winsim/machine.h"

namespace winsim {
namespace {

constexpr uint8_t READ_CAPACITY_16 = 0x10;

// The length of a command descriptor block by its group code.
uint8_t cdbLengthOf(uint8_t operationCode) {
  switch (operationCode >> 5) {
    case 0: return 6;
    case 1:
    case 2: return 10;
    case 4: return 16;
    case 5: return 12;
    default: return 6;
  }
}


std::vector<uint8_t> fixedSense(uint8_t key, uint16_t additionalSense) {
  std::vector<uint8_t> sense(18, 0);
  sense[0] = 0x70;
  sense[2] = key;
  sense[7] = 10;
  sense[12] = static_cast<uint8_t>(additionalSense >> 8);
  sense[13] = static_cast<uint8_t>(additionalSense);
  return sense;
}

// The same sense in descriptor format (72h): key, additional sense and no
// descriptors.
std::vector<uint8_t> descriptorSense(const std::vector<uint8_t>& fixed) {
  std::vector<uint8_t> sense(8, 0);
  sense[0] = 0x72;
  sense[1] = fixed[2] & 0x0F;
  sense[2] = fixed[12];
  sense[3] = fixed[13];
  return sense;
}

}  // namespace

uint32_t readBigEndian(const uint8_t* bytes, unsigned count) {
  uint32_t value = 0;
  for (unsigned i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

std::vector<uint8_t> bigEndian(uint64_t value, unsigned bytes) {
  std::vector<uint8_t> out(bytes);
  for (unsigned i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
  return out;
}

std::vector<uint8_t> designator(uint8_t protocolAndCodeSet, uint8_t associationAndType,
                                const std::vector<uint8_t>& identifier) {
  std::vector<uint8_t> out(4 + identifier.size());
  out[0] = protocolAndCodeSet;
  out[1] = associationAndType;
  out[3] = static_cast<uint8_t>(identifier.size());
  std::copy(identifier.begin(), identifier.end(), out.begin() + 4);
  return out;
}

std::vector<uint8_t> bytesOfHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text)
    if (c != ' ') digits += c;
  for (size_t at = 0; at + 1 < digits.size(); at += 2)
    bytes.push_back(static_cast<uint8_t>(std::strtoul(digits.substr(at, 2).c_str(), nullptr, 16)));
  return bytes;
}

ScsiTarget::ScsiTarget(Drive& drive)
    : drive_(drive), attention_(drive.flag("unitAttention", false) ? ASC_POWER_ON_RESET : 0) {}

std::vector<std::vector<uint8_t>> ScsiTarget::reportedDesignators() const {
  const rapidjson::Value* given = drive_.member("designators");
  if (!given || !given->IsArray()) return designators();
  std::vector<std::vector<uint8_t>> list;
  for (const rapidjson::Value& one : given->GetArray()) {
    // Each whole: the 4-byte header, then the identifier.
    std::vector<uint8_t> bytes = one.IsString() ? bytesOfHex(one.GetString()) : std::vector<uint8_t>();
    if (bytes.size() >= 4) list.push_back(bytes);
  }
  return list;
}

bool ScsiTarget::hasUnitSerialPage() const { return drive_.flag("unitSerialPage", true); }

void ScsiTarget::checkCondition(ScsiIo& io, uint8_t key, uint16_t additionalSense) {
  io.status = SCSI_STATUS_CHECK_CONDITION;
  io.sense = fixedSense(key, additionalSense);
  io.transferred = 0;
}

void ScsiTarget::sendData(ScsiIo& io, const std::vector<uint8_t>& bytes,
                          uint32_t allocationLength) {
  uint32_t length = std::min<uint32_t>(static_cast<uint32_t>(bytes.size()), allocationLength);
  if (length == 0) return;
  if (io.phase != DataPhase::in || !io.data)
    return checkCondition(io, SENSE_ABORTED_COMMAND, ASC_DATA_PHASE_ERROR);
  length = std::min(length, io.length);
  std::memcpy(io.data, bytes.data(), length);
  io.transferred = length;
}

void ScsiTarget::execute(ScsiIo& io) {
  answer(io);
  // A target whose control mode page sets D_SENSE returns sense in descriptor
  // format, as it does for a check condition of its own.
  bool fixed = io.sense.size() >= 14 && (io.sense[0] & 0x7F) == 0x70;
  if (io.status == SCSI_STATUS_CHECK_CONDITION && fixed && descriptorSenseData())
    io.sense = descriptorSense(io.sense);
}

void ScsiTarget::answer(ScsiIo& io) {
  io.status = SCSI_STATUS_GOOD;
  io.sense.clear();
  io.transferred = 0;
  received(io);
  uint8_t operationCode = io.cdb[0];

  FaultRequest request("scsi");
  request.code = operationCode;
  request.drive = static_cast<int>(drive_.number());
  if (operationCode == INQUIRY && io.cdbLength > 2) {
    // The standard data is page -1: a fault that names a page leaves it be.
    request.detailKey = "page";
    request.detail = (io.cdb[1] & 0x01) ? io.cdb[2] : -1;
  } else if (operationCode == WRITE_BUFFER && io.cdbLength > 1) {
    request.detailKey = "mode";
    request.detail = io.cdb[1] & 0x1F;
  }
  if (const rapidjson::Value* fault = drive_.machine().part<Faults>().take(request)) {
    faulted(io);
    io.status = static_cast<uint8_t>(faultNumber(*fault, "scsiStatus", SCSI_STATUS_CHECK_CONDITION));
    auto sense = fault->FindMember("sense");
    if (io.status == SCSI_STATUS_CHECK_CONDITION) {
      uint8_t key = SENSE_HARDWARE_ERROR;
      uint16_t additional = ASC_INTERNAL_TARGET_FAILURE;
      if (sense != fault->MemberEnd() && sense->value.IsArray() && sense->value.Size() == 3) {
        key = static_cast<uint8_t>(sense->value[0].GetInt());
        additional = static_cast<uint16_t>(sense->value[1].GetInt() << 8 | sense->value[2].GetInt());
      }
      io.sense = fixedSense(key, additional);
    }
    return faultAnswered(io);
  }

  if (io.cdbLength < cdbLengthOf(operationCode))
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  if (attention_ && operationCode != INQUIRY && operationCode != REQUEST_SENSE) {
    uint16_t additionalSense = attention_;
    attention_ = 0;
    return checkCondition(io, SENSE_UNIT_ATTENTION, additionalSense);
  }
  switch (operationCode) {
    case TEST_UNIT_READY:
      if (stopped()) checkCondition(io, SENSE_NOT_READY, ASC_INITIALIZING_COMMAND_REQUIRED);
      return;
    case REQUEST_SENSE:
      return requestSense(io);
    case INQUIRY:
      return inquiry(io);
    case READ_CAPACITY_10:
      return readCapacity10(io);
    case SERVICE_ACTION_IN_16:
      if ((io.cdb[1] & 0x1F) == READ_CAPACITY_16) return readCapacity16(io);
      return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
    default:
      if (!command(io)) checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_OPERATION_CODE);
  }
}

void ScsiTarget::requestSense(ScsiIo& io) {
  std::vector<uint8_t> sense = fixedSense(SENSE_NO_SENSE, 0);
  if (attention_) {
    sense = fixedSense(SENSE_UNIT_ATTENTION, attention_);
    attention_ = 0;
  }
  sendData(io, sense, io.cdb[4]);
}

void ScsiTarget::inquiry(ScsiIo& io) {
  bool vitalProductData = io.cdb[1] & 0x01;
  uint8_t page = io.cdb[2];
  uint32_t allocationLength = readBigEndian(io.cdb + 3, 2);
  if (!vitalProductData) {
    if (page != 0) return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
    std::vector<uint8_t> data(96, 0);
    data[2] = 0x06;  // SPC-4
    data[3] = 0x12;  // hierarchical addressing, response data format 2
    data[4] = static_cast<uint8_t>(data.size() - 5);
    data[7] = 0x02;  // command queuing
    std::string identity = padded(vendorId(), 8) + padded(productId(), 16) + padded(revision(), 4);
    std::memcpy(data.data() + 8, identity.data(), identity.size());
    return sendData(io, data, allocationLength);
  }
  std::vector<uint8_t> data = vpdPage(page);
  if (data.empty()) return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  sendData(io, data, allocationLength);
}

std::vector<uint8_t> ScsiTarget::vpdPage(uint8_t page) const {
  std::vector<uint8_t> body;
  if (page == 0x00) {
    body = {0x00, 0x80, 0x83};
    if (!hasUnitSerialPage()) body.erase(body.begin() + 1);
    std::vector<uint8_t> extra = extraPages();
    body.insert(body.end(), extra.begin(), extra.end());
  } else if (page == 0x80) {
    if (!hasUnitSerialPage()) return {};
    std::string serial = unitSerial();
    body.assign(serial.begin(), serial.end());
  } else if (page == 0x83) {
    for (const std::vector<uint8_t>& one : reportedDesignators()) body.insert(body.end(), one.begin(), one.end());
  } else {
    return extraPage(page);
  }
  std::vector<uint8_t> data = {0x00, page, static_cast<uint8_t>(body.size() >> 8),
                               static_cast<uint8_t>(body.size())};
  data.insert(data.end(), body.begin(), body.end());
  return data;
}

void ScsiTarget::readCapacity10(ScsiIo& io) {
  uint64_t last = drive_.sectors() - 1;
  std::vector<uint8_t> data = bigEndian(last > 0xFFFFFFFFu ? 0xFFFFFFFFu : last, 4);
  std::vector<uint8_t> size = bigEndian(drive_.sectorSize(), 4);
  data.insert(data.end(), size.begin(), size.end());
  sendData(io, data, 8);
}

void ScsiTarget::readCapacity16(ScsiIo& io) {
  std::vector<uint8_t> data = bigEndian(drive_.sectors() - 1, 8);
  std::vector<uint8_t> size = bigEndian(drive_.sectorSize(), 4);
  data.insert(data.end(), size.begin(), size.end());
  data.resize(32, 0);
  sendData(io, data, readBigEndian(io.cdb + 10, 4));
}

}  // namespace winsim
