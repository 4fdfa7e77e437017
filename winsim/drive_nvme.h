// An NVMe controller with one namespace: identify, logs, features, format,
// and firmware image download and commit with slots and activation rules
// (drive_nvme_firmware.cpp). The NVMe driver reaches it through the storage
// stack (storage_nvme.cpp) and through its SCSI side (nvme_translation.*).
#pragma once

#include <map>

#include "winsim/drive.h"
#include "winsim/firmware_image.h"

namespace winsim {

// One command as the controller sees it, and its completion.
struct NvmeIo {
  uint8_t command[64] = {};  // the submission entry
  DataPhase phase = DataPhase::none;
  uint8_t* data = nullptr;
  uint32_t length = 0;
  uint32_t result = 0;  // completion Dword 0
  uint8_t statusType = 0;
  uint8_t statusCode = 0;

  uint8_t opcode() const { return command[0]; }
  uint32_t dword(unsigned index) const;
  bool failed() const { return statusType != 0 || statusCode != 0; }
  // The 16-byte completion entry (status in bits 31-17 of Dword 3).
  std::vector<uint8_t> completion() const;
};

enum NvmeOpcode : uint8_t {
  GET_LOG_PAGE = 0x02,
  IDENTIFY = 0x06,
  SET_FEATURES = 0x09,
  GET_FEATURES = 0x0A,
  NAMESPACE_MANAGEMENT = 0x0D,
  FIRMWARE_COMMIT = 0x10,
  FIRMWARE_DOWNLOAD = 0x11,
  DEVICE_SELF_TEST = 0x14,
  NAMESPACE_ATTACHMENT = 0x15,
  SECURITY_SEND = 0x81,
  SECURITY_RECEIVE = 0x82,
  FORMAT_NVM = 0x80,
  SANITIZE = 0x84,
  VENDOR_FIRST = 0xC0,
};

enum NvmeStatus : uint16_t {
  // Generic command status (type 0).
  NVME_INVALID_OPCODE = 0x001,
  NVME_INVALID_FIELD = 0x002,
  NVME_INTERNAL_ERROR = 0x006,
  NVME_INVALID_NAMESPACE = 0x00B,
  NVME_SANITIZE_IN_PROGRESS = 0x01D,
  NVME_FORMAT_IN_PROGRESS = 0x084,
  // Command specific status (type 1).
  NVME_INVALID_FIRMWARE_SLOT = 0x106,
  NVME_INVALID_FIRMWARE_IMAGE = 0x107,
  NVME_INVALID_LOG_PAGE = 0x109,
  NVME_INVALID_FORMAT = 0x10A,
  NVME_REQUIRES_CONVENTIONAL_RESET = 0x10B,
  NVME_OVERLAPPING_RANGE = 0x114,
  NVME_INSUFFICIENT_CAPACITY = 0x115,
  NVME_NAMESPACE_ID_UNAVAILABLE = 0x116,
  NVME_NAMESPACE_ATTACHED = 0x118,
  NVME_NAMESPACE_NOT_ATTACHED = 0x11A,
  NVME_CONTROLLER_LIST_INVALID = 0x11C,
  NVME_SELF_TEST_IN_PROGRESS = 0x11D,
};

class NvmeDrive : public Drive {
 public:
  NvmeDrive(Machine& machine, rapidjson::Value& record, uint32_t number);
  NvmeDrive* nvme() override { return this; }

  // The controller id Identify Controller reports, the only controller of
  // its subsystem.
  static constexpr uint16_t CONTROLLER_ID = 1;

  void execute(NvmeIo& io);

  // What the record says of the drive and its driver.
  bool securityCommands() const { return flag("securityCommands", true); }
  bool tunnel() const { return flag("tunnel", false); }
  bool effectsLog() const { return flag("effectsLog", true); }

  // Firmware slots (numbered from 1), as kept in the record.
  uint8_t slotCount() const;
  bool firstSlotReadOnly() const { return flag("firstSlotReadOnly", false); }
  bool activatesWithoutReset() const { return flag("activateWithoutReset", true); }
  uint8_t activeSlot() const;
  uint8_t pendingSlot() const;  // 0: none
  std::string slotRevision(uint8_t slot) const;
  // A controller reset: a pending activation takes effect.
  void reset();
  // The revision replaces the slot's and the slot is activated at once, as
  // a commit of action 3 with an image waiting does, or at the next reset,
  // as action 1 does; false, and nothing changed, for a slot the host may
  // not write.
  bool replaceAndActivate(uint8_t slot, const std::string& revision, bool atReset);
  const FirmwareAssembly& download() const { return download_; }

  // Every command the controller received in this process, with the data
  // that came with it (for tests).
  struct Received {
    std::vector<uint8_t> command;
    std::vector<uint8_t> data;
  };
  const std::vector<Received>& received() const { return received_; }
  void forgetReceived() { received_.clear(); }

  // drive_nvme_io.cpp: the namespace's blocks (zero until written; kept
  // while the machine lives) and the security protocols of the record's
  // "securityProtocols", whose data a Security Send keeps for the next
  // Security Receive of that protocol and protocol-specific value.
  void readBlocks(uint64_t lba, uint8_t* out, uint32_t count) const;
  void writeBlocks(uint64_t lba, const uint8_t* in, uint32_t count);
  std::vector<uint8_t> securityProtocols() const;
  void securitySend(NvmeIo& io);
  void securityReceive(NvmeIo& io);

  bool writeCache() const { return writeCache_; }
  void setWriteCache(bool enabled) { writeCache_ = enabled; }

  // drive_nvme_namespaces.cpp: the namespaces Namespace Management made
  // beside namespace 1 (the drive's own), as the record's "namespaces" keeps
  // them: sizes in blocks of their format, and whether they are attached to
  // this controller.
  struct MadeNamespace {
    uint32_t id = 0;
    uint64_t size = 0;
    uint64_t capacity = 0;
    uint8_t flbas = 0;
    uint8_t dps = 0;
    uint8_t nmic = 0;
    bool attached = false;
  };
  std::vector<MadeNamespace> madeNamespaces() const;

 private:
  std::vector<uint8_t> identify(NvmeIo& io) const;
  std::vector<uint8_t> controllerData() const;
  std::vector<uint8_t> namespaceData() const;
  // A log page whole; empty when the controller has none of that id.
  std::vector<uint8_t> logPage(uint8_t id) const;
  void getLogPage(NvmeIo& io);
  void getFeatures(NvmeIo& io);
  void setFeatures(NvmeIo& io);

  // drive_nvme_health.cpp: the SMART / Health Information and Error
  // Information logs from the record's "health" and "errorLog".
  uint8_t errorLogEntries() const;
  std::vector<uint8_t> healthLog() const;
  std::vector<uint8_t> errorLog() const;

  // drive_nvme_internal_log.cpp: the vendor internal log by type from the
  // record's "internalLog", and the directory of logs that lists it.
  static constexpr uint8_t INTERNAL_LOG = 0xF3;
  static constexpr uint8_t LOG_DIRECTORY = 0xFE;
  std::vector<uint8_t> internalLog(uint8_t type) const;
  std::vector<uint8_t> logDirectory() const;
  // The host-initiated telemetry log (07h) of "telemetryBlocks" 512-byte
  // blocks after its header block; byte i of the log holds i / 512.
  static constexpr uint8_t TELEMETRY_HOST = 0x07;
  std::vector<uint8_t> telemetryLog() const;

  // drive_nvme_features.cpp: the features the record's "features" lists.
  static constexpr uint8_t INTERRUPT_VECTOR_CONFIGURATION = 0x09;
  void otherFeature(NvmeIo& io, bool set);
  std::map<uint8_t, uint32_t> features_;
  std::map<uint16_t, uint32_t> vectors_;  // bits 31:16 of 09h by vector, once set
  bool featuresLoaded_ = false;
  // drive_nvme_namespaces.cpp: what the record says of namespace
  // management and the namespace's formats, over the identify data.
  void describeNamespaceManagement(std::vector<uint8_t>& controller) const;
  void describeFormats(std::vector<uint8_t>& ns) const;
  // Identify of namespaces and their lists (CNS 00h, 02h, 10h-13h).
  std::vector<uint8_t> namespaceIdentify(NvmeIo& io) const;
  void manageNamespace(NvmeIo& io);
  void attachNamespace(NvmeIo& io);
  void keepNamespaces(const std::vector<MadeNamespace>& made);

  // drive_nvme_firmware.cpp
  std::vector<uint8_t> firmwareSlotLog() const;
  void downloadImage(NvmeIo& io);
  void commit(NvmeIo& io);
  bool writableSlot(uint8_t slot) const;
  void writeSlot(uint8_t slot, const std::string& revision);
  void activateSlot(uint8_t slot);

  // drive_nvme_format.cpp: Format NVM, sanitize and its log, the vendor
  // capacity feature F7h; the identify fields they depend on.
  void putFormatFields(std::vector<uint8_t>& controller) const;
  void putNamespaceFormat(std::vector<uint8_t>& ns) const;
  void formatNvm(NvmeIo& io);
  void sanitize(NvmeIo& io);
  std::vector<uint8_t> sanitizeLog() const;
  // Get or Set Features F7h; false for another feature.
  bool capacityFeature(NvmeIo& io, bool set);
  // drive_nvme_selftest.cpp: Device Self-test and its log.
  struct SelfTestResult {
    uint8_t code = 0;
    uint8_t result = 0;
    uint32_t nsid = 0;
    uint64_t hours = 0;
    uint64_t lba = 0;
  };
  bool selfTestSupported() const { return flag("selfTest", false); }
  void selfTest(NvmeIo& io);
  std::vector<uint8_t> selfTestLog() const;
  // The record's "selfTestResults" at first, newest first.
  std::vector<SelfTestResult>& selfTestResults() const;
  mutable std::vector<SelfTestResult> selfTestResults_;
  mutable bool selfTestResultsRead_ = false;

  std::vector<Received> received_;
  FirmwareAssembly download_;
  std::map<uint64_t, std::vector<uint8_t>> blocks_;
  std::map<uint32_t, std::vector<uint8_t>> security_;
  uint16_t temperatureThreshold_ = 343;
  bool writeCache_ = true;
};

// Writes count bytes of value, least significant first.
void putLittle(std::vector<uint8_t>& bytes, size_t at, uint64_t value, unsigned count);

// Completes io with a status of the table above.
void nvmeFail(NvmeIo& io, uint16_t status);
// Copies bytes to the host's data-in buffer (at most its length).
void nvmeSend(NvmeIo& io, const std::vector<uint8_t>& bytes);

std::unique_ptr<Drive> makeNvmeDrive(Machine& machine, rapidjson::Value& record, uint32_t number);

}  // namespace winsim
