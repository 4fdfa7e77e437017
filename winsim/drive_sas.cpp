#include "winsim/drive_sas.h"

#include <cstdio>

namespace winsim {
namespace {

constexpr uint8_t PROTOCOL_SAS = 0x60;
constexpr uint8_t BINARY = 0x01;
constexpr uint8_t UTF8 = 0x03;
constexpr uint8_t PIV = 0x80;
constexpr uint8_t LOGICAL_UNIT = 0x00;
constexpr uint8_t TARGET_PORT = 0x10;
constexpr uint8_t TARGET_DEVICE = 0x20;
constexpr uint8_t NAA = 0x03;
constexpr uint8_t RELATIVE_PORT = 0x04;
constexpr uint8_t SCSI_NAME = 0x08;

constexpr uint8_t REPORT_SUPPORTED_OPERATION_CODES = 0x0C;

constexpr uint8_t CACHING_PAGE = 0x08;
constexpr uint8_t CONTROL_PAGE = 0x0A;
constexpr uint8_t INFORMATIONAL_EXCEPTIONS_PAGE = 0x1C;
constexpr uint8_t ALL_PAGES = 0x3F;
constexpr uint8_t PAGE_SAVEABLE = 0x80;
enum PageControl : uint8_t { CURRENT = 0, CHANGEABLE = 1, DEFAULT = 2, SAVED = 3 };

// The commands the drive knows. WRITE BUFFER has modes, not service
// actions: the extended inquiry page tells which download modes it takes.
struct Command {
  uint8_t code;
  int serviceAction;  // -1: none
  uint8_t cdbLength;
};
const Command commands[] = {
    {TEST_UNIT_READY, -1, 6},
    {REQUEST_SENSE, -1, 6},
    {INQUIRY, -1, 6},
    {START_STOP_UNIT, -1, 6},
    {SEND_DIAGNOSTIC, -1, 6},
    {READ_CAPACITY_10, -1, 10},
    {WRITE_BUFFER, -1, 10},
    {MODE_SENSE_10, -1, 10},
    {SERVICE_ACTION_IN_16, 0x10, 16},
    {MAINTENANCE_IN, REPORT_SUPPORTED_OPERATION_CODES, 12},
};

bool hasServiceActions(uint8_t code) { return code == SERVICE_ACTION_IN_16 || code == MAINTENANCE_IN; }

}  // namespace

SasDrive::SasDrive(Machine& machine, rapidjson::Value& record, uint32_t number)
    : Drive(machine, record, number), ScsiTarget(static_cast<Drive&>(*this)) {}

std::vector<std::vector<uint8_t>> SasDrive::designators() const {
  uint64_t name = worldWideName();
  char text[24];
  std::snprintf(text, sizeof text, "naa.%016llX", static_cast<unsigned long long>(name));
  std::vector<uint8_t> nameString(text, text + 20);
  return {
      designator(BINARY, LOGICAL_UNIT | NAA, bigEndian(name, 8)),
      designator(PROTOCOL_SAS | BINARY, PIV | TARGET_PORT | NAA, bigEndian(name + 1, 8)),
      designator(PROTOCOL_SAS | BINARY, PIV | TARGET_PORT | RELATIVE_PORT, bigEndian(1, 4)),
      designator(PROTOCOL_SAS | UTF8, PIV | TARGET_DEVICE | SCSI_NAME, nameString),
  };
}

bool SasDrive::command(ScsiIo& io) {
  switch (io.cdb[0]) {
    case START_STOP_UNIT:
      startStopUnit(io);
      return true;
    case MODE_SENSE_10:
      modeSense10(io);
      return true;
    case WRITE_BUFFER:
      writeBuffer(io);
      return true;
    case SEND_DIAGNOSTIC:
      if (!supports(SEND_DIAGNOSTIC, -1)) return false;
      // Only the default self-test (SELFTEST set, no self-test code), which passes at once.
      if ((io.cdb[1] & 0xE4) != 0x04) checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
      return true;
    case MAINTENANCE_IN:
      if ((io.cdb[1] & 0x1F) != REPORT_SUPPORTED_OPERATION_CODES ||
          !supports(MAINTENANCE_IN, REPORT_SUPPORTED_OPERATION_CODES))
        return false;
      reportSupportedOperationCodes(io);
      return true;
    default:
      return false;
  }
}

void SasDrive::startStopUnit(ScsiIo& io) {
  uint8_t powerCondition = io.cdb[4] >> 4;
  if (powerCondition == 0) stopped_ = !(io.cdb[4] & 0x01);
}

std::vector<uint8_t> SasDrive::modePage(uint8_t page, uint8_t pageControl) const {
  bool changeable = pageControl == CHANGEABLE;
  bool factory = pageControl == DEFAULT;
  std::vector<uint8_t> bytes;
  switch (page) {
    case CACHING_PAGE: {
      bytes.assign(20, 0);
      bool writeCache = factory || flag("writeCache", true);
      bytes[2] = changeable || writeCache ? 0x04 : 0x00;  // WCE
      break;
    }
    case CONTROL_PAGE: {
      bytes.assign(12, 0);
      bool descriptorSense = !factory && flag("descriptorSense", false);
      bytes[2] = changeable || descriptorSense ? 0x04 : 0x00;  // D_SENSE
      break;
    }
    case INFORMATIONAL_EXCEPTIONS_PAGE: {
      bytes.assign(12, 0);
      bool reporting = factory || flag("smart", true);
      bytes[2] = changeable || !reporting ? 0x08 : 0x00;  // DEXCPT
      bytes[3] = changeable ? 0x0F : 0x06;               // MRIE: on request
      break;
    }
    default:
      return bytes;
  }
  bytes[0] = PAGE_SAVEABLE | page;
  bytes[1] = static_cast<uint8_t>(bytes.size() - 2);
  return bytes;
}

void SasDrive::modeSense10(ScsiIo& io) {
  bool withoutDescriptor = io.cdb[1] & 0x08;
  uint8_t pageControl = io.cdb[2] >> 6;
  uint8_t page = io.cdb[2] & 0x3F;
  uint8_t subpage = io.cdb[3];
  if (subpage != 0 && !(page == ALL_PAGES && subpage == 0xFF))
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);

  std::vector<uint8_t> pages;
  for (uint8_t one : {CACHING_PAGE, CONTROL_PAGE, INFORMATIONAL_EXCEPTIONS_PAGE}) {
    if (page != ALL_PAGES && page != one) continue;
    std::vector<uint8_t> bytes = modePage(one, pageControl);
    pages.insert(pages.end(), bytes.begin(), bytes.end());
  }
  if (pages.empty()) return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);

  std::vector<uint8_t> data(8, 0);
  data[3] = 0x10;  // DPOFUA
  if (!withoutDescriptor) {
    uint64_t blocks = sectors();
    std::vector<uint8_t> count = bigEndian(blocks > 0xFFFFFFFFu ? 0xFFFFFFFFu : blocks, 4);
    std::vector<uint8_t> length = bigEndian(sectorSize(), 4);
    data.insert(data.end(), count.begin(), count.end());
    data.insert(data.end(), length.begin(), length.end());
    data[12] = 0;  // density code over the block length's top byte
    data[7] = 8;
  }
  data.insert(data.end(), pages.begin(), pages.end());
  std::vector<uint8_t> length = bigEndian(data.size() - 2, 2);
  data[0] = length[0];
  data[1] = length[1];
  sendData(io, data, readBigEndian(io.cdb + 7, 2));
}

std::vector<uint8_t> SasDrive::extraPage(uint8_t page) const {
  if (page != EXTENDED_INQUIRY_PAGE) return {};
  std::vector<uint8_t> data(64, 0);
  data[1] = page;
  data[3] = static_cast<uint8_t>(data.size() - 4);
  // ACTIVATE MICROCODE (byte 4 bits 7-6) 00b, not indicated: mode 05h
  // activates within its command, a 07h set only at the next command.
  if (!flag("reportsDownloadModes", true)) return data;
  data[12] = 0x10;  // DMS_VALID
  // DM_MD_4 to DM_MD_F, bits 7 to 1 of byte 19.
  const uint8_t modes[] = {0x04, 0x05, 0x06, 0x07, 0x0D, 0x0E, 0x0F};
  for (unsigned i = 0; i < sizeof modes; ++i)
    if (offersMode(modes[i])) data[19] |= static_cast<uint8_t>(0x80 >> i);
  return data;
}

bool SasDrive::supports(uint8_t operationCode, int serviceAction) const {
  if (operationCode == SEND_DIAGNOSTIC && !flag("selfTest", false)) return false;
  if (operationCode == MAINTENANCE_IN && !flag("reportsSupportedOpcodes", true)) return false;
  for (const Command& one : commands)
    if (one.code == operationCode && (serviceAction < 0 || one.serviceAction == serviceAction))
      return true;
  return false;
}

void SasDrive::reportSupportedOperationCodes(ScsiIo& io) {
  uint8_t options = io.cdb[2] & 0x07;
  uint8_t code = io.cdb[3];
  int action = static_cast<int>(readBigEndian(io.cdb + 4, 2));
  uint32_t allocationLength = readBigEndian(io.cdb + 6, 4);

  if (options == 0) {
    std::vector<uint8_t> data(4, 0);
    for (const Command& one : commands) {
      if (!supports(one.code, one.serviceAction)) continue;
      bool withAction = hasServiceActions(one.code);
      uint16_t shown = withAction ? static_cast<uint16_t>(one.serviceAction) : 0;
      data.insert(data.end(), {one.code, 0, static_cast<uint8_t>(shown >> 8),
                               static_cast<uint8_t>(shown), 0, withAction ? uint8_t{1} : uint8_t{0},
                               0, one.cdbLength});
    }
    std::vector<uint8_t> length = bigEndian(data.size() - 4, 4);
    std::copy(length.begin(), length.end(), data.begin());
    return sendData(io, data, allocationLength);
  }
  bool withAction = hasServiceActions(code);
  if (options > 3 || (options == 1 && withAction) || (options == 2 && !withAction))
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);

  // 011b asks for a command without service actions with service action 0
  // only; any other is not supported.
  int wanted = withAction ? action : -1;
  const Command* found = nullptr;
  for (const Command& one : commands)
    if (one.code == code && (wanted < 0 || one.serviceAction == wanted) && supports(code, wanted) &&
        (withAction || action == 0 || options == 1))
      found = &one;
  uint8_t support = found ? 0x03 : 0x01;  // supported, or not
  if (found && code == WRITE_BUFFER) support = static_cast<uint8_t>(number64("writeBufferSupport", 3) & 0x07);
  if (!flag("supportDataAvailable", true)) support = 0x00;  // data about the command not currently available
  std::vector<uint8_t> data = {0, support, 0, 0};
  // Only 011b and 101b (supported in a vendor-specific manner) come with the
  // command's usage data.
  if (support == 0x03 || support == 0x05) {
    data = {0, support, 0, found->cdbLength, code};
    data.resize(4 + found->cdbLength, 0xFF);
    data.back() = 0x00;  // the control byte
  }
  sendData(io, data, allocationLength);
}

std::unique_ptr<Drive> makeSasDrive(Machine& machine, rapidjson::Value& record, uint32_t number) {
  return std::make_unique<SasDrive>(machine, record, number);
}

}  // namespace winsim
