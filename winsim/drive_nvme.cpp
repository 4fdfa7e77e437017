#include "winsim/drive_nvme.h"

#include <algorithm>
#include <cstring>

#include "winsim/faults.h"
#include "winsim/machine.h"

namespace winsim {
namespace {

constexpr uint16_t PCI_VENDOR_ID = 0x1D79;
constexpr uint32_t NAMESPACE_ID = 1;
constexpr uint32_t ALL_NAMESPACES = 0xFFFFFFFF;

void putText(std::vector<uint8_t>& bytes, size_t at, const std::string& text, size_t length) {
  std::string field = padded(text, length);
  std::memcpy(bytes.data() + at, field.data(), length);
}

}  // namespace

void putLittle(std::vector<uint8_t>& bytes, size_t at, uint64_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t NvmeIo::dword(unsigned index) const {
  const uint8_t* p = command + 4 * index;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::vector<uint8_t> NvmeIo::completion() const {
  std::vector<uint8_t> entry(16, 0);
  putLittle(entry, 0, result, 4);
  uint32_t status = static_cast<uint32_t>(statusType & 7) << 25 |
                    static_cast<uint32_t>(statusCode) << 17;
  putLittle(entry, 12, status | (static_cast<uint32_t>(command[2]) | command[3] << 8), 4);
  return entry;
}

void nvmeFail(NvmeIo& io, uint16_t status) {
  io.statusType = static_cast<uint8_t>(status >> 8);
  io.statusCode = static_cast<uint8_t>(status);
}

void nvmeSend(NvmeIo& io, const std::vector<uint8_t>& bytes) {
  if (io.phase != DataPhase::in || !io.data) return;
  std::memset(io.data, 0, io.length);
  if (!bytes.empty()) std::memcpy(io.data, bytes.data(), std::min<size_t>(io.length, bytes.size()));
}

NvmeDrive::NvmeDrive(Machine& machine, rapidjson::Value& record, uint32_t number)
    : Drive(machine, record, number), writeCache_(flag("writeCache", true)) {}

void NvmeDrive::execute(NvmeIo& io) {
  Received seen;
  seen.command.assign(io.command, io.command + sizeof io.command);
  if (io.phase == DataPhase::out && io.data) seen.data.assign(io.data, io.data + io.length);
  received_.push_back(std::move(seen));
  FaultRequest request("nvme");
  request.code = io.opcode();
  request.drive = static_cast<int>(number());
  if (io.opcode() == GET_LOG_PAGE) {
    request.detailKey = "log";
    request.detail = static_cast<int>(io.dword(10) & 0xFF);
  } else if (io.opcode() == SET_FEATURES || io.opcode() == GET_FEATURES) {
    request.detailKey = "feature";
    request.detail = static_cast<int>(io.dword(10) & 0xFF);
  } else if (io.opcode() == IDENTIFY) {
    request.detailKey = "cns";
    request.detail = static_cast<int>(io.dword(10) & 0xFF);
  }
  if (const rapidjson::Value* fault = machine().part<Faults>().take(request)) {
    io.statusType = static_cast<uint8_t>(faultNumber(*fault, "statusType", 0));
    io.statusCode = static_cast<uint8_t>(faultNumber(*fault, "statusCode", NVME_INTERNAL_ERROR));
    // A failed segment ends the image being gathered.
    if (io.opcode() == FIRMWARE_DOWNLOAD) download_.clear();
    return;
  }
  switch (io.opcode()) {
    case IDENTIFY: {
      std::vector<uint8_t> data = identify(io);
      if (!io.failed()) nvmeSend(io, data);
      return;
    }
    case GET_LOG_PAGE: return getLogPage(io);
    case GET_FEATURES: return getFeatures(io);
    case SET_FEATURES: return setFeatures(io);
    case FIRMWARE_DOWNLOAD: return downloadImage(io);
    case FIRMWARE_COMMIT: return commit(io);
    case SECURITY_SEND: return securitySend(io);
    case SECURITY_RECEIVE: return securityReceive(io);
    case FORMAT_NVM: {
      uint32_t nsid = io.dword(1);
      if (nsid != NAMESPACE_ID && nsid != ALL_NAMESPACES) return nvmeFail(io, NVME_INVALID_NAMESPACE);
      return formatNvm(io);
    }
    case SANITIZE: return sanitize(io);
    case DEVICE_SELF_TEST: return selfTest(io);
    case NAMESPACE_MANAGEMENT: return manageNamespace(io);
    case NAMESPACE_ATTACHMENT: return attachNamespace(io);
    default:
      break;
  }
  // Vendor commands the record lists complete with their opcode as result.
  if (const rapidjson::Value* vendor = member("vendorOpcodes")) {
    if (io.opcode() >= VENDOR_FIRST && vendor->IsArray()) {
      for (const rapidjson::Value& one : vendor->GetArray()) {
        if (one.IsUint() && one.GetUint() == io.opcode()) {
          io.result = io.opcode();
          nvmeSend(io, {});
          return;
        }
      }
    }
  }
  nvmeFail(io, NVME_INVALID_OPCODE);
}

std::vector<uint8_t> NvmeDrive::identify(NvmeIo& io) const {
  if ((io.dword(10) & 0xFF) == 0x01) return controllerData();
  return namespaceIdentify(io);
}

std::vector<uint8_t> NvmeDrive::controllerData() const {
  std::vector<uint8_t> data(4096, 0);
  putLittle(data, 0, PCI_VENDOR_ID, 2);
  putLittle(data, 2, PCI_VENDOR_ID, 2);
  putText(data, 4, serial(), 20);
  putText(data, 24, model(), 40);
  putText(data, 64, firmware(), 8);
  putLittle(data, 78, CONTROLLER_ID, 2);
  putLittle(data, 80, 0x00010400, 4);   // version 1.4
  data[256] = static_cast<uint8_t>(0x02 | 0x04 | (securityCommands() ? 0x01 : 0x00));
  data[258] = 3;                        // abort command limit
  data[259] = 3;                        // asynchronous event request limit
  data[260] = static_cast<uint8_t>((firstSlotReadOnly() ? 0x01 : 0x00) | (slotCount() << 1) |
                                   (activatesWithoutReset() ? 0x10 : 0x00));
  data[261] = effectsLog() ? 0x02 : 0x00;
  data[262] = errorLogEntries();        // error log entries, from 0
  data[263] = 0;                        // power states, from 0
  putLittle(data, 266, 353, 2);         // warning composite temperature
  putLittle(data, 268, 358, 2);         // critical composite temperature
  data[512] = 0x66;                     // submission queue entry size
  data[513] = 0x44;                     // completion queue entry size
  putLittle(data, 516, 1, 4);           // namespaces
  data[525] = 0x01;                     // volatile write cache
  describeNamespaceManagement(data);
  putFormatFields(data);
  return data;
}

std::vector<uint8_t> NvmeDrive::namespaceData() const {
  std::vector<uint8_t> data(4096, 0);
  if (flag("blankNamespaceData", false)) return data;
  putLittle(data, 0, sectors(), 8);
  putLittle(data, 8, sectors(), 8);
  putLittle(data, 16, sectors(), 8);
  unsigned shift = 0;
  while ((1u << shift) < sectorSize() && shift < 31) ++shift;
  putLittle(data, 128, static_cast<uint64_t>(shift) << 16, 4);
  describeFormats(data);
  putNamespaceFormat(data);
  return data;
}

std::vector<uint8_t> NvmeDrive::logPage(uint8_t id) const {
  switch (id) {
    case 0x01: return errorLog();
    case 0x02: return healthLog();
    case 0x03: return firmwareSlotLog();
    case LOG_DIRECTORY: return logDirectory();
    case TELEMETRY_HOST: return telemetryLog();
    case 0x06: return selfTestLog();
    case 0x81: return sanitizeLog();
    case 0x05: {                                          // commands supported and effects
      if (!effectsLog()) return {};
      std::vector<uint8_t> page(4096, 0);
      const uint8_t admin[] = {GET_LOG_PAGE, IDENTIFY, SET_FEATURES, GET_FEATURES,
                               FIRMWARE_COMMIT, FIRMWARE_DOWNLOAD, FORMAT_NVM};
      for (uint8_t opcode : admin) page[4 * opcode] = 0x01;
      return page;
    }
    default: return {};
  }
}

void NvmeDrive::getLogPage(NvmeIo& io) {
  uint8_t id = static_cast<uint8_t>(io.dword(10) & 0xFF);
  std::vector<uint8_t> page = id == INTERNAL_LOG ? internalLog(static_cast<uint8_t>((io.dword(10) >> 8) & 63))
                                                 : logPage(id);
  if (page.empty()) return nvmeFail(io, NVME_INVALID_LOG_PAGE);
  uint64_t dwords = (static_cast<uint64_t>(io.dword(11) & 0xFFFF) << 16 | io.dword(10) >> 16) + 1;
  uint64_t offset = static_cast<uint64_t>(io.dword(12)) | static_cast<uint64_t>(io.dword(13)) << 32;
  if (offset % 4 || offset >= page.size()) return nvmeFail(io, NVME_INVALID_FIELD);
  size_t length = static_cast<size_t>(std::min<uint64_t>(dwords * 4, page.size() - offset));
  nvmeSend(io, std::vector<uint8_t>(page.begin() + static_cast<long>(offset),
                                    page.begin() + static_cast<long>(offset + length)));
}

void NvmeDrive::getFeatures(NvmeIo& io) {
  switch (io.dword(10) & 0xFF) {
    case 0x04: io.result = temperatureThreshold_; return;
    case 0x06: io.result = writeCache_ ? 1 : 0; return;
    case 0x07: io.result = 0x003F003F; return;  // queues
    default:
      if (!capacityFeature(io, false)) otherFeature(io, false);
      return;
  }
}

void NvmeDrive::setFeatures(NvmeIo& io) {
  switch (io.dword(10) & 0xFF) {
    case 0x04: temperatureThreshold_ = static_cast<uint16_t>(io.dword(11)); return;
    case 0x06: writeCache_ = io.dword(11) & 1; return;
    default:
      if (!capacityFeature(io, true)) otherFeature(io, true);
      return;
  }
}

std::unique_ptr<Drive> makeNvmeDrive(Machine& machine, rapidjson::Value& record, uint32_t number) {
  return std::make_unique<NvmeDrive>(machine, record, number);
}

}  // namespace winsim
