#include "devlib/nvme/orvlib_nvme.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "devlib/nvme/orvlib_buffer_nvme_logs.h"
#include "devlib/orvlib_buffer_devdump.h"
#include "devlib/orvlib_guard.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_log.h"

namespace VazidaRaduru {
namespace VazidaRaduruNvme {

using namespace VazidaRaduruNvmeInternal;

namespace {

constexpr u32 REVISION_SIZE = 9;
constexpr u32 MODEL_SIZE = 41;
constexpr u32 SERIAL_SIZE = 21;
constexpr u32 COMPONENT_ID_SIZE = 9;
constexpr u32 IDENTIFY_TIMEOUT = 5;
constexpr u32 PIECE_SIZE = 4096;
constexpr u32 VENDOR_FEATURE_BUFFER = 16;
constexpr u8 PROBE_IGNORE = 1;

// Firmware Commit actions.
constexpr u32 REPLACE_AT_RESET = 1;
constexpr u32 ACTIVATE_AT_RESET = 2;
constexpr u32 ACTIVATE_NOW = 3;

// Completion statuses of the command-specific type (1).
constexpr u8 COMMAND_SPECIFIC = 1;
constexpr u8 OVERLAPPING_RANGE = 0x14;
constexpr u8 NEEDS_CONVENTIONAL_RESET = 0x0B;
constexpr u8 NEEDS_SUBSYSTEM_RESET = 0x10;
constexpr u8 NEEDS_RESET = 0x11;

void putText(char* out, u32 size, const std::string& text) {
  if (out) osl_strncpy(out, text.c_str(), size);
}

// An empty text leaves the record's field as it was.
void putIfAny(char* out, u32 size, const std::string& text) {
  if (!text.empty()) putText(out, size, text);
}

u8 bit(bool set, u8 mask) { return set ? mask : 0; }

// A controller below the given version (major at most 1, minor below it).
bool versionBelow(const OrvNvmCtrlIdentify& ctrl, u64 minor) {
  return ctrl.ver.majorVersion <= 1 && ctrl.ver.minorVersion < minor;
}

bool beforeWindows10OnPcie(osl_bus_type bus) { return bus == OSL_BUS_NVME && osl_require_win10() != 0; }

// Entries the Error Information log holds: ELPE counts from 0, so 255 is 256.
u32 errorLogEntries(const OrvNvmCtrlIdentify& ctrl) { return static_cast<u32>(ctrl.elpe.getValue()) + 1; }

// 2 to the power LBADS of the namespace's current LBA format.
u32 sectorSizeOf(OrvNvmNsIdentify& ns) {
  u8 current = static_cast<u8>(ns.flbas.currentLbaFormat.getValue());
  u64 lbads = ns.getLbaFormat(current)->dataSize.getValue();
  return lbads < 32 ? 1u << lbads : 0;
}

}  // namespace

OrvNvmeDev::OrvNvmeDev(std::string devicePath, unsigned int requestedNamespace, bool ignoreInitError,
                       bool allocatedMode)
    : OrvBasicDev(std::move(devicePath)),
      handles(handle, &response, busType),
      namespaceId(0),
      nsIdentifyValid(false),
      nsDataUnavailable(false),
      vendorFeatureF7(false),
      allocatedNsMode(allocatedMode) {
  u64 status = ORV_GUARDED([&] {
    ctrlIdentify.reset(new (std::nothrow) OrvNvmCtrlIdentify());
    nsIdentify.reset(new (std::nothrow) OrvNvmNsIdentify());
    if (!ctrlIdentify || !nsIdentify) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    if (requestedNamespace == 0 || requestedNamespace == ORV_NVME_ALL_NAMESPACES) {
      allocatedNsMode = false;
    } else {
      handles.reopenIoHandle();
      maxTransferLength = handles.getMaxTransferSize();
    }
    setTimeout(IDENTIFY_TIMEOUT);
    u64 identified = identify(requestedNamespace);
    if (ignoreInitError) identified = 0;
    setTimeout(0);
    return identified;
  });
  if (status) {
    nsIdentify.reset();
    ctrlIdentify.reset();
    handles.closeIoHandle();
    throw status;
  }
}

OrvNvmeDev::~OrvNvmeDev() {
  nsIdentify.reset();
  ctrlIdentify.reset();
  handles.closeIoHandle();
}

bool OrvNvmeDev::identityFromWindows() const {
  return beforeWindows10OnPcie(busType) && !handles.securityListFlag;
}

bool OrvNvmeDev::namesNoDrive(const OrvNvmCtrlIdentify& ctrl) const {
  return ctrl.vid == 0 && !identityFromWindows();
}

u64 OrvNvmeDev::identifyController() {
  OrvNvmCtrlIdentify answer;
  u64 status = nvmIdentify(handles, ORV_NVM_CNS_CONTROLLER, answer, timeout, 0, ignoreErrorCount);
  if (status == 0 && namesNoDrive(answer)) status = ORV_LIB_STATUS(ORV_ERR_NVME_IDENTIFY);
  if (status == 0) status = ctrlIdentify->copyData(answer, answer.getLength(), 0);
  return status;
}

u64 OrvNvmeDev::identify(u32 requestedNamespace) {
  if (u64 status = identifyController()) return status;
  if (allocatedNsMode && versionBelow(*ctrlIdentify, 2)) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  if (u64 status = identifyNamespace(true, requestedNamespace, allocatedNsMode)) return status;
  probeVendorFeature();
  return 0;
}

u64 OrvNvmeDev::identifyNamespace(bool force, u32 requestedNamespace, bool allocatedMode) {
  if (!force && requestedNamespace == namespaceId && allocatedMode == allocatedNsMode) return 0;
  if (requestedNamespace != 0)
    namespaceId = requestedNamespace;
  else if (namespaceId == 0)
    namespaceId = ORV_NVME_ALL_NAMESPACES;

  u32 cns = allocatedMode ? ORV_NVM_CNS_ALLOCATED_NAMESPACE : ORV_NVM_CNS_NAMESPACE;
  setIgnoreError();
  u64 status = nvmIdentify(handles, cns, *nsIdentify, timeout, namespaceId, ignoreErrorCount);
  unsetIgnoreError();
  if (namespaceId == ORV_NVME_ALL_NAMESPACES) {
    if (status) {
      // Some controllers refuse the broadcast id: the first namespace stands in.
      nsIdentify->resetZero();
      status = nvmIdentify(handles, ORV_NVM_CNS_NAMESPACE, *nsIdentify, timeout, 1, ignoreErrorCount);
    } else {
      nsIdentifyValid = true;
    }
  }
  if (status) return status;
  nsDataUnavailable = false;
  if (nsIdentify->compare(OrvNvmNsIdentify())) {
    // Before Windows 10 the SCSI side answers Identify Namespace with zeros
    // unless the drive offers the tunnel: the device works without the data.
    if (!identityFromWindows()) return ORV_LIB_STATUS(ORV_ERR_NVME_IDENTIFY);
    nsIdentifyValid = false;
    nsDataUnavailable = true;
  }
  return 0;
}

void OrvNvmeDev::probeVendorFeature() {
  OrvBuffer answer(VENDOR_FEATURE_BUFFER, ORV_LITTLE_ENDIAN);
  vendorFeatureF7 = nvmGetFeature(handles, ORV_NVM_FEATURE_VENDOR_F7, 0, 0, answer, timeout, PROBE_IGNORE, 0) == 0;
}

u32 OrvNvmeDev::getCurrentSectorSize() { return sectorSizeOf(*nsIdentify); }

u64 OrvNvmeDev::namespaceDataStatus() {
  return nsDataUnavailable ? ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED) : 0;
}

u64 OrvNvmeDev::refresh() {
  return ORV_GUARDED([&] {
    if (u64 status = identifyController()) return status;
    if (u64 status = identifyNamespace(true, 0, false)) return status;
    probeVendorFeature();
    return u64{0};
  });
}

u64 OrvNvmeDev::getIdentStrings(char* firmwareRevision, char* model, char* serial, char* componentId) {
  if (namesNoDrive(*ctrlIdentify)) return ORV_LIB_STATUS(ORV_ERR_NVME_IDENTIFY);
  putText(firmwareRevision, REVISION_SIZE, ctrlIdentify->fr.getValue());
  putText(model, MODEL_SIZE, ctrlIdentify->mn.getValue());
  putText(serial, SERIAL_SIZE, ctrlIdentify->sn.getValue());
  putText(componentId, COMPONENT_ID_SIZE, ctrlIdentify->componentId.getValue());
  return 0;
}

u64 OrvNvmeDev::getIdentifyData(OrvDevGenData<_OrvDataItem>& data, u8 selector) {
  if (ctrlIdentify->vid == 0) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] {
    OrvNvmIdentify* copy = nullptr;
    if (selector) {
      copy = new (std::nothrow) OrvNvmCtrlIdentify(*ctrlIdentify);
    } else {
      if (namespaceId == ORV_NVME_ALL_NAMESPACES && !nsIdentifyValid)
        return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
      if (u64 status = namespaceDataStatus()) return status;
      copy = new (std::nothrow) OrvNvmNsIdentify(*nsIdentify);
    }
    if (!copy) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    data.addBuffer(copy);
    copy->collectFields(data);
    return u64{0};
  });
}

void OrvNvmeDev::getWriteCacheState(u8* supported, u8* enabled) {
  OrvBuffer none;
  if (nvmGetFeature(handles, ORV_NVM_FEATURE_WRITE_CACHE, 0, 0, none, timeout, PROBE_IGNORE, 0) == 0) {
    *supported = 1;
    *enabled = response.getBuffer()[0] & 1;
  } else {
    *supported = ctrlIdentify->vwc.present.getValue() ? 1 : 0;
    *enabled = 0;
  }
}

u64 OrvNvmeDev::fillDeviceInfo(_OrvDevProperty& property) {
  const OrvNvmCtrlIdentify& ctrl = *ctrlIdentify;
  if (namesNoDrive(ctrl)) {
    property.state &= static_cast<u8>(~ORV_STATE_FILLED);
    return ORV_LIB_STATUS(ORV_ERR_NVME_IDENTIFY);
  }
  putIfAny(property.firmwareRevision, sizeof property.firmwareRevision, ctrl.fr.getValue());
  putIfAny(property.modelNumber, sizeof property.modelNumber, ctrl.mn.getValue());
  putIfAny(property.componentId, sizeof property.componentId, ctrl.componentId.getValue());
  putIfAny(property.serialNumber, sizeof property.serialNumber, ctrl.sn.getValue());
  if (ctrl.vid == 0) {
    property.state &= static_cast<u8>(~ORV_STATE_FILLED);
    return 0;
  }
  property.identification = static_cast<u16>(ctrl.cntlid.getValue());

  bool securityList = handles.securityListFlag != 0;
  u8 caps1 = property.capabilities1 & ORV_CAP1_SECURITY_ENABLED;
  caps1 |= ORV_CAP1_SMART_SUPPORTED | ORV_CAP1_SMART_ENABLED;
  caps1 |= bit(ctrl.oacs.selfTest.getValue(), ORV_NVME_CAP1_SELF_TEST);
  caps1 |= bit(securityList && ctrl.oacs.formatNvm.getValue(), ORV_NVME_CAP1_FORMAT);
  caps1 |= bit(securityList && ctrl.fna.cryptoErase.getValue(), ORV_NVME_CAP1_CRYPTO_ERASE);
  property.capabilities1 = caps1;

  u8 cacheSupported = 0;
  u8 cacheEnabled = 0;
  getWriteCacheState(&cacheSupported, &cacheEnabled);
  bool firmware = ctrl.oacs.firmwareDownload.getValue() != 0;
  bool deferred = !beforeWindows10OnPcie(busType) &&
                  (ctrl.frmw.slotCount >= 2 || ctrl.frmw.activeWithoutReset == 0);
  u8 caps2 = bit(cacheSupported, ORV_CAP2_WRITE_CACHE_SUPPORTED) | bit(cacheEnabled, ORV_CAP2_WRITE_CACHE_ENABLED);
  caps2 |= bit(firmware, ORV_NVME_CAP2_FW_DOWNLOAD) | bit(firmware, ORV_NVME_CAP2_FW_ACTIVATE);
  caps2 |= bit(deferred, ORV_NVME_CAP2_DEFERRED) | bit(vendorFeatureF7, ORV_NVME_CAP2_VENDOR_F7);
  caps2 |= ORV_NVME_CAP2_ALWAYS;
  property.capabilities2 = caps2;
  property.state |= ORV_STATE_FILLED;
  return 0;
}

u64 OrvNvmeDev::getContollerId(u16& id) {
  if (ctrlIdentify->vid == 0) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  id = static_cast<u16>(ctrlIdentify->cntlid.getValue());
  return 0;
}

u64 OrvNvmeDev::getPowerMode(u8* active) {
  if (active) *active = 1;
  return 0;
}

// ---------------------------------------------------------------- firmware

bool OrvNvmeDev::completionIs(u8 codeType, std::initializer_list<u8> codes) {
  OrvNvmCqEntryBuffer completion(response);
  if (completion.status.statusCodeType != codeType) return false;
  for (u8 code : codes)
    if (completion.status.statusCode == code) return true;
  return false;
}

void OrvNvmeDev::refreshAfterChange(bool* refreshed) {
  setTimeout(IDENTIFY_TIMEOUT);
  setIgnoreError();
  bool ok = refresh() == 0;
  if (refreshed) *refreshed = ok;
  unsetIgnoreError();
  setTimeout(0);
}

u64 OrvNvmeDev::downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired, u8 deferred,
                                 bool, u8 slot) {
  if (rebootRequired) *rebootRequired = false;
  if (length == 0 || length % 4 != 0) return ORV_LIB_STATUS(ORV_ERR_FW_FILE_SIZE);
  return ORV_GUARDED([&] {
    u32 action = ACTIVATE_NOW;
    if (deferred) {
      if (busType == OSL_BUS_NVME) {
        if (u64 status = osl_require_win10()) return status;
      }
      action = REPLACE_AT_RESET;
    } else if (ctrlIdentify->frmw.activeWithoutReset.getValue() == 0) {
      osl_log(OSL_LOG_INFO,
              "Info: Firmware Download without reset is not supported by drive, hence trying deferred "
              "firmware download\n");
      if (!beforeWindows10OnPcie(busType)) action = REPLACE_AT_RESET;
    }

    OrvBuffer piece(PIECE_SIZE, ORV_LITTLE_ENDIAN);
    u32 pieceNumber = 1;
    for (u32 offset = 0; offset < length; offset += PIECE_SIZE, ++pieceNumber) {
      piece.resetZero();
      u32 size = length - offset < PIECE_SIZE ? length - offset : PIECE_SIZE;
      u64 status = size < PIECE_SIZE ? piece.resize(size) : 0;
      if (status == 0) status = piece.copyData(image + offset, size, 0);
      if (status == 0) {
        status = nvmFwDownload(handles, piece, offset, timeout, ignoreErrorCount);
        if (status && completionIs(COMMAND_SPECIFIC, {OVERLAPPING_RANGE}))
          status = ORV_LIB_STATUS(ORV_ERR_FW_OVERLAPPING_RANGES);
      }
      if (status) {
        osl_log(OSL_LOG_DEBUG, "\n");
        osl_log(OSL_LOG_DEBUG, "Debug: Microcode Download Failed [offset: %u, segment: %u]\n", offset,
                pieceNumber);
        return status;
      }
    }

    if (rebootRequired && (action == REPLACE_AT_RESET || busType == OSL_BUS_CSMI)) *rebootRequired = true;
    u64 status = nvmFwCommit(handles, action, slot ? slot : 1, timeout, ignoreErrorCount);
    bool resetNeeded = orv_status_code(status) == ORV_ERR_REBOOT_REQUIRED ||
                       (status != 0 && completionIs(COMMAND_SPECIFIC, {NEEDS_CONVENTIONAL_RESET,
                                                                       NEEDS_SUBSYSTEM_RESET, NEEDS_RESET}));
    if (status && !resetNeeded) return status;
    if (resetNeeded && rebootRequired) *rebootRequired = true;
    refreshAfterChange(refreshed);
    return u64{0};
  });
}

u64 OrvNvmeDev::activateFirmware(bool* refreshed, bool* rebootRequired, u8 slot, u8 atNextReset) {
  if (rebootRequired) *rebootRequired = false;
  return ORV_GUARDED([&] {
    u64 status = nvmFwCommit(handles, atNextReset ? ACTIVATE_AT_RESET : ACTIVATE_NOW, slot, timeout,
                             ignoreErrorCount);
    if (orv_status_code(status) == ORV_ERR_REBOOT_REQUIRED) {
      if (rebootRequired) *rebootRequired = true;
    } else if (status) {
      return status;
    }
    refreshAfterChange(refreshed);
    return u64{0};
  });
}

u64 OrvNvmeDev::getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) {
  return ORV_GUARDED([&] {
    OrvNvmFwSlotInfoLog* log = new (std::nothrow) OrvNvmFwSlotInfoLog();
    if (!log) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    u64 status = nvmGetLogPage(handles, log->getPageId(), *log, timeout, ignoreErrorCount, 0, 0);
    if (status) {
      delete log;
      return status;
    }
    u64 slotCount = ctrlIdentify->frmw.slotCount.getValue();
    info.addBuffer(log);
    u8 flag = static_cast<u8>(ctrlIdentify->frmw.firstSlotReadOnly.getValue());
    _OrvFwInfoItem item;
    for (u8 slot = 1; slot == 1 || slot <= slotCount; ++slot, flag = 0) {
      std::string revision;
      if (u64 failed = log->getSlotRevision(slot, revision)) return failed;
      item.slots.push_back(_OrvFwSlot{slot, revision, flag});
    }
    item.currentRevision = ctrlIdentify->fr.getValue();
    item.currentSlot = static_cast<u8>(log->getActiveSlot());
    item.nextSlot = static_cast<u8>(log->getNextActiveSlot());
    info.addItem(std::move(item));
    return u64{0};
  });
}

// ------------------------------------------------------- shared operations

namespace {

struct NamedLog {
  u8 id;
  const char* name;
};
constexpr NamedLog kLogPages[] = {
    {0x01, "Error Information"},          {0x02, "SMART/Health Information"},
    {0x03, "Firmware Slot Information"},  {0x04, "Changed Namespace List"},
    {0x05, "Command Effects Log"},        {0x06, "Device Self-test"},
    {0x07, "Telemetry Host-Initiated"},   {0x08, "Telemetry Controller-Initiated"},
    {0x80, "Reservation Notification"},   {0x81, "Sanitize Status"},
    {0xF0, "SMART Data"},                 {0xF8, "SMART Data"},
    {0xF1, "Internal Information"},       {0xF2, "Solid State Media"},
    {0xF3, "Request Internal Log"},       {0xFE, "Supported Log Page Data"},
};
constexpr u8 VENDOR_LOGS = 0xC0;

struct InternalLog {
  u8 mode;
  u8 typeBit;
  const char* name;
};
constexpr InternalLog kInternalLogs[] = {
    {1, 0x01, "Drive Status Internal Log"},          {7, 0x02, "NAND Error Internal Log"},
    {8, 0x08, "NAND Event Internal Log"},            {5, 0x10, "Extended Drive History Internal Log"},
    {9, 0x20, "Failure Analysis Internal Log"},
};
constexpr u8 ANY_INTERNAL_LOG = 0xFF;

struct GenericFeature {
  u32 first;
  u32 last;
  u32 descriptor;
};
constexpr GenericFeature kFeatures[] = {
    {1, 1, 0x06},    {7, 7, 0x01},     {8, 8, 0x02},   {9, 9, 0x04},   {10, 11, 0x08},
    {12, 13, 0x09},  {14, 15, 0x8F3},  {16, 16, 0x20F4}, {17, 17, 0xF5}, {18, 20, 0xF6},
    {21, 21, 0x8F8}, {22, 23, 0xF9},
};
constexpr u32 THERMAL_FIRST = 29;
constexpr u32 THERMAL_LAST = 31;
constexpr u32 VENDOR_THERMAL = 0xD4;
constexpr u32 HOST_THERMAL = 0x10;

constexpr u8 LOG_ERRORS = 0x01;
constexpr u8 LOG_TELEMETRY_HOST = 0x07;
constexpr u8 LOG_TELEMETRY_CONTROLLER = 0x08;
constexpr u8 LOG_DIRECTORY = 0xFE;
constexpr u8 LOG_INTERNAL = 0xF3;
constexpr u32 TELEMETRY_BLOCK = 512;
constexpr u32 ERROR_ENTRY = 64;

// Sizes of the standard logs when the drive's directory cannot be read.
struct LogSize {
  u8 id;
  u32 bytes;
};
constexpr LogSize kStandardSizes[] = {{0x02, 512}, {0x03, 512}, {0x81, 512}, {0x04, 4096},
                                      {0x05, 4096}, {0x06, 564}, {0x80, 64}};

}  // namespace

std::string& OrvNvmeDev::logPageName(std::string& out, u8 logId) {
  out = "Unknown";
  for (const NamedLog& log : kLogPages)
    if (log.id == logId) return out = log.name;
  if (logId >= VENDOR_LOGS) out = "Vendor specific";
  return out;
}

std::string& OrvNvmeDev::internalLogName(std::string& out, u8 typeBit) {
  out = "Unknown";
  for (const InternalLog& log : kInternalLogs)
    if (log.typeBit == typeBit) out = log.name;
  return out;
}

u8 OrvNvmeDev::internalLogTypeOf(u8 modeType) {
  if (modeType == ANY_INTERNAL_LOG) return ANY_INTERNAL_LOG;
  for (const InternalLog& log : kInternalLogs)
    if (log.mode == modeType) return log.typeBit;
  return 0;
}

u8 OrvNvmeDev::internalLogModeOf(u8 typeBit) {
  if (typeBit == ANY_INTERNAL_LOG) return ANY_INTERNAL_LOG;
  for (const InternalLog& log : kInternalLogs)
    if (log.typeBit == typeBit) return log.mode;
  return 0;
}

u32 OrvNvmeDev::nvmFeatureOf(u32 feature) {
  if (feature >= THERMAL_FIRST && feature <= THERMAL_LAST)
    return versionBelow(*ctrlIdentify, 3) ? VENDOR_THERMAL : HOST_THERMAL;
  for (const GenericFeature& entry : kFeatures)
    if (feature >= entry.first && feature <= entry.last) return entry.descriptor;
  return 0;
}

u64 OrvNvmeDev::getLogSize(u8 logId, u32* bytes) {
  return ORV_GUARDED([&] {
    if (logId == LOG_TELEMETRY_HOST || logId == LOG_TELEMETRY_CONTROLLER) {
      OrvBuffer header(TELEMETRY_BLOCK, ORV_LITTLE_ENDIAN);
      if (u64 status = nvmGetLogPage(handles, logId, header, timeout, PROBE_IGNORE, 0, 0)) return status;
      u64 last1 = header.word(8, 0, 16).getValue();
      u64 last2 = header.word(10, 0, 16).getValue();
      u64 last3 = header.word(12, 0, 16).getValue();
      u64 last = last3 >= last2 ? last3 : last2 >= last1 ? last2 : last1;
      *bytes = static_cast<u32>((last + 1) * TELEMETRY_BLOCK);
      return u64{0};
    }
    OrvNvmLogDirectory directory;
    if (nvmGetLogPage(handles, LOG_DIRECTORY, directory, timeout, PROBE_IGNORE, 0, 0) == 0) {
      *bytes = directory.getLogBytes(logId);
      return u64{0};
    }
    if (logId == LOG_ERRORS) *bytes = errorLogEntries(*ctrlIdentify) * ERROR_ENTRY;
    for (const LogSize& size : kStandardSizes)
      if (size.id == logId) *bytes = size.bytes;
    return u64{0};
  });
}

u64 OrvNvmeDev::readInternalLogChunk(u8 parameter, u64 offset, OrvBuffer& out, u8 unscramble) {
  return ORV_GUARDED([&] {
    OrvNvmInternalLogBuf piece(parameter, out.getLength(), offset);
    u64 status = versionBelow(*ctrlIdentify, 2)
                     ? nvmGetInternalLog10(handles)
                     : nvmGetInternalLog(handles, parameter, offset, piece, timeout, ignoreErrorCount);
    if (status) return status;
    if (unscramble) piece.descramble();
    return out.copyData(piece, 0, 0);
  });
}

u64 OrvNvmeDev::checkInternalLogSupport() {
  try {
    OrvNvmLogDirectory directory;
    if (nvmGetLogPage(handles, LOG_DIRECTORY, directory, timeout, PROBE_IGNORE, 0, 0) == 0 &&
        ctrlIdentify->vid != 0 && directory.isLogSupported(LOG_INTERNAL))
      return 0;
  } catch (...) {
    // A directory that cannot be had is the same answer.
  }
  return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
}

u64 OrvNvmeDev::getFormatParams(u8* lbaFormat, u32* protectionType, u32* protectionFirst, u32* metadataAtEnd,
                                u8* formatCount, int eraseMode) {
  constexpr int CRYPTOGRAPHIC_ERASE = 1;
  if (ctrlIdentify->oacs.formatNvm == 0) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  if (eraseMode == CRYPTOGRAPHIC_ERASE && ctrlIdentify->fna.cryptoErase == 0)
    return ORV_LIB_STATUS(ORV_ERR_ENHANCED_ERASE_UNSUPPORTED);
  if (u64 status = namespaceDataStatus()) return status;
  const OrvNvmNsIdentify& ns = *nsIdentify;
  *formatCount = static_cast<u8>(ns.nlbaf.getValue());
  *lbaFormat = static_cast<u8>(ns.flbas.currentLbaFormat.getValue());
  *metadataAtEnd = static_cast<u32>(ns.flbas.metadataAtEnd.getValue());
  *protectionFirst = static_cast<u32>(ns.dps.protectionFirst.getValue());
  *protectionType = static_cast<u32>(ns.dps.protectionType.getValue());
  return 0;
}

u64 OrvNvmeDev::checkThrottleResult(u64 status, u32 previous, u32 requested) {
  u8 changed = response.getBuffer()[0];
  bool mt1Changed = changed & 1;
  bool mt2Changed = changed & 2;
  if (status != 0 || (!mt1Changed && !mt2Changed)) {
    osl_log(OSL_LOG_ERROR, "\n");
    osl_log(OSL_LOG_ERROR, "Error: Failed to change MT1 and MT2 throttle threshold values.\n");
    osl_log(OSL_LOG_ERROR, "\n");
    return status ? status : ORV_LIB_STATUS(ORV_ERR_NVME_SET_FEATURES);
  }
  if (mt1Changed && mt2Changed) return 0;
  u64 result = 0;
  osl_log(OSL_LOG_ERROR, "\n");
  if ((requested >> 16) != (previous >> 16) && !mt1Changed) {
    osl_log(OSL_LOG_ERROR, "Error: Failed to change MT1 throttle threshold value.\n");
    result = ORV_LIB_STATUS(ORV_ERR_NVME_SET_FEATURES);
  }
  if ((requested & 0xFFFF) != (previous & 0xFFFF) && !mt2Changed) {
    osl_log(OSL_LOG_ERROR, "Error: Failed to change MT2 throttle threshold value.\n");
    result = ORV_LIB_STATUS(ORV_ERR_NVME_SET_FEATURES);
  }
  osl_log(OSL_LOG_ERROR, "\n");
  return result;
}

// ------------------------------------------------ health and error reporting

namespace {

constexpr u32 HEALTH_ITEM_BASE = 0x020000;

// The identifier of a health value: its byte in the log and its bit.
constexpr u32 healthItemId(u32 byteOffset, u32 bit) { return HEALTH_ITEM_BASE + byteOffset * 256 + bit; }

void addHealthItem(OrvDevGenData<_OrvDataItem>& list, std::string name, const OrvBufBits& field, u32 byteOffset,
                   u32 bit = 0) {
  list.addItem(_OrvDataItem(std::move(name), field.getValue(), healthItemId(byteOffset, bit), 0));
}

struct HealthCounter {
  const char* name;
  u32 byteOffset;
  OrvBufField (OrvNvmSmartHealthLog::*halves)[2];
};
constexpr HealthCounter kHealthCounters[] = {
    {"Data Units Read", 32, &OrvNvmSmartHealthLog::dataUnitsRead},
    {"Data Units Written", 48, &OrvNvmSmartHealthLog::dataUnitsWritten},
    {"Host Read Commands", 64, &OrvNvmSmartHealthLog::hostReadCommands},
    {"Host Write Commands", 80, &OrvNvmSmartHealthLog::hostWriteCommands},
    {"Controller Busy Time", 96, &OrvNvmSmartHealthLog::controllerBusyTime},
    {"Power Cycles", 112, &OrvNvmSmartHealthLog::powerCycles},
    {"Power On Hours", 128, &OrvNvmSmartHealthLog::powerOnHours},
    {"Unsafe Shutdowns", 144, &OrvNvmSmartHealthLog::unsafeShutdowns},
    {"Media and Data Integrity Errors", 160, &OrvNvmSmartHealthLog::mediaErrors},
    {"Number of Error Information Log Entries", 176, &OrvNvmSmartHealthLog::errorLogEntries},
};

}  // namespace

// The health log read into a new buffer, or null with the status.
static OrvNvmSmartHealthLog* readHealthLog(OrvNvmHandlePair& handles, u32 namespaceId, u32 timeout, u8 ignore,
                                           u64& status) {
  OrvNvmSmartHealthLog* log = new (std::nothrow) OrvNvmSmartHealthLog();
  if (!log) {
    status = ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    return nullptr;
  }
  status = nvmGetLogPage(handles, log->getPageId(), *log, timeout, ignore, namespaceId, 0);
  if (status) {
    delete log;
    return nullptr;
  }
  return log;
}

u64 OrvNvmeDev::getSmartReport(OrvDevGenData<_OrvDataItem>& report, u8 reportMode, u8 tripCheckOnly,
                               bool& smartTrip) {
  return ORV_GUARDED([&] {
    if (reportMode && tripCheckOnly) reportMode = tripCheckOnly = 0;
    u64 status = 0;
    OrvNvmSmartHealthLog* log = readHealthLog(handles, namespaceId, timeout, ignoreErrorCount, status);
    if (!log) return status;
    report.addBuffer(log);
    const std::string prefix = reportMode ? "Critical Warning" : "SMART trip-critical Warning";
    const OrvNvmSmartCritWarn& warning = log->criticalWarning;
    addHealthItem(report, prefix + ":Available Spare Space", warning.spareBelowThreshold, 0, 0);
    addHealthItem(report, prefix + ":Temperature Threshold", warning.temperatureOutside, 0, 1);
    addHealthItem(report, prefix + ":Subsystem Reliability", warning.reliabilityDegraded, 0, 2);
    addHealthItem(report, prefix + ":Read Only Mode", warning.readOnly, 0, 3);
    addHealthItem(report, prefix + ":Backup Device Failed", warning.backupFailed, 0, 4);
    if (!reportMode) {
      bool tripped = (warning.getValue() & 0x1F) != 0;
      report.addItem(_OrvDataItem("SMART trip failure", tripped ? 1 : 0, healthItemId(0, 5), 0));
      smartTrip = tripped;
    }
    if (tripCheckOnly) return u64{0};
    addHealthItem(report, "Composite Temperature", log->compositeTemperature, 1);
    addHealthItem(report, "Available Spare", log->availableSpare, 3);
    addHealthItem(report, "Available Spare Threshold", log->availableSpareThreshold, 4);
    addHealthItem(report, "Percentage Used", log->percentageUsed, 5);
    for (const HealthCounter& counter : kHealthCounters) {
      OrvBufField(&halves)[2] = log->*counter.halves;
      addHealthItem(report, std::string(counter.name) + " Qword1", halves[0], counter.byteOffset);
      addHealthItem(report, std::string(counter.name) + " Qword2", halves[1], counter.byteOffset + 8);
    }
    addHealthItem(report, "Warning Composite Temperature Time", log->warningTemperatureTime, 192);
    addHealthItem(report, "Critical Composite Temperature Time", log->criticalTemperatureTime, 196);
    for (unsigned sensor = 0; sensor < OrvNvmSmartHealthLog::kSensors; ++sensor) {
      addHealthItem(report, "Temperature Sensor" + std::to_string(sensor + 1), log->temperatureSensor[sensor],
                    200 + 2 * sensor);
    }
    return u64{0};
  });
}

u64 OrvNvmeDev::getEnduranceInfo(OrvDevGenData<_OrvDataItem>& endurance) {
  return ORV_GUARDED([&] {
    u64 status = 0;
    OrvNvmSmartHealthLog* log = readHealthLog(handles, namespaceId, timeout, ignoreErrorCount, status);
    if (!log) return status;
    endurance.addBuffer(log);
    addHealthItem(endurance, "Available Spare", log->availableSpare, 3);
    addHealthItem(endurance, "Available Spare Threshold", log->availableSpareThreshold, 4);
    addHealthItem(endurance, "Percentage Used", log->percentageUsed, 5);
    return u64{0};
  });
}

// The Error Information log read into a new buffer of ELPE + 1 entries (up
// to 256), or null with the status.
static OrvNvmErrInfoLog* readErrorInfoLog(OrvNvmHandlePair& handles, u32 count, u32 timeout, u8 ignore,
                                          u64& status) {
  OrvNvmErrInfoLog* log = new (std::nothrow) OrvNvmErrInfoLog(count);
  if (!log) {
    status = ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    return nullptr;
  }
  status = nvmGetLogPage(handles, log->getPageId(), *log, timeout, ignore, 0, 0);
  if (status) {
    delete log;
    return nullptr;
  }
  return log;
}

u64 OrvNvmeDev::readErrorLog(OrvDevGenData<_OrvErrLogItem>& list) {
  return ORV_GUARDED([&] {
    u32 count = errorLogEntries(*ctrlIdentify);
    u64 status = 0;
    OrvNvmErrInfoLog* log = readErrorInfoLog(handles, count, timeout, ignoreErrorCount, status);
    if (!log) return status;
    list.addBuffer(log);
    for (u32 index = 0; index < count; ++index) {
      OrvNvmErrInfoEntry* entry = log->getEntry(index);
      if (entry->errorCount.getValue() == 0) continue;
      _OrvErrLogItem item;
      item.errorCount = entry->errorCount.getValue();
      item.submissionQueueId = static_cast<u16>(entry->submissionQueueId.getValue());
      item.commandId = static_cast<u16>(entry->commandId.getValue());
      item.statusField = static_cast<u16>(entry->statusField.getValue());
      item.parameterErrorByte = static_cast<u8>(entry->parameterErrorLocation.byteInCommand.getValue());
      item.parameterErrorBit = static_cast<u8>(entry->parameterErrorLocation.bitInByte.getValue());
      item.lba = entry->lba.getValue();
      item.nameSpace = static_cast<u32>(entry->nameSpace.getValue());
      item.vendorInfoAvailable = static_cast<u8>(entry->vendorInfoAvailable.getValue());
      item.commandSpecificInfo = entry->commandSpecificInfo.getValue();
      list.addItem(item);
    }
    return u64{0};
  });
}

// ------------------------------------------------ features, logs and internal status log

namespace {

// How a generic feature number reads and writes dword 0 of its NVMe feature.
enum class FeatureCoding : u8 { BITS, CELSIUS, INVERTED_BIT, VECTOR_CLEAR, VECTOR_SET, HUNDREDTHS };

struct FeatureRule {
  u32 number;
  FeatureCoding coding;
  u8 firstBit;
  u8 width;
};
constexpr FeatureRule kFeatureRules[] = {
    {1, FeatureCoding::BITS, 0, 1},           {7, FeatureCoding::BITS, 0, 3},
    {8, FeatureCoding::BITS, 0, 5},           {9, FeatureCoding::CELSIUS, 0, 16},
    {10, FeatureCoding::BITS, 8, 8},          {11, FeatureCoding::BITS, 0, 8},
    {12, FeatureCoding::VECTOR_CLEAR, 16, 1}, {13, FeatureCoding::VECTOR_SET, 16, 1},
    {14, FeatureCoding::INVERTED_BIT, 0, 1},  {15, FeatureCoding::INVERTED_BIT, 1, 1},
    {16, FeatureCoding::INVERTED_BIT, 0, 1},  {17, FeatureCoding::INVERTED_BIT, 0, 1},
    {18, FeatureCoding::INVERTED_BIT, 2, 1},  {19, FeatureCoding::INVERTED_BIT, 1, 1},
    {20, FeatureCoding::INVERTED_BIT, 0, 1},  {21, FeatureCoding::BITS, 0, 8},
    {22, FeatureCoding::HUNDREDTHS, 0, 16},   {23, FeatureCoding::HUNDREDTHS, 16, 16},
    {29, FeatureCoding::BITS, 0, 32},         {30, FeatureCoding::CELSIUS, 16, 16},
    {31, FeatureCoding::CELSIUS, 0, 16},
};

constexpr u32 FEATURE_IDENTIFIED = 2;
constexpr u32 FEATURE_SECURITY = 6;
constexpr u32 FEATURE_ALWAYS_A = 24;
constexpr u32 FEATURE_ALWAYS_B = 27;
constexpr u32 FEATURE_INTERRUPT_VECTOR = 0x09;
constexpr u32 KELVIN_AT_ZERO_CELSIUS = 273;
constexpr u8 FEATURE_PROBE_IGNORE = 1;

const FeatureRule* featureRule(u32 number) {
  for (const FeatureRule& rule : kFeatureRules)
    if (rule.number == number) return &rule;
  return nullptr;
}

u32 fieldMask(const FeatureRule& rule) {
  return static_cast<u32>(((u64{1} << rule.width) - 1) << rule.firstBit);
}

u32 decodeFeature(const FeatureRule& rule, u32 dword0) {
  u32 field = (dword0 & fieldMask(rule)) >> rule.firstBit;
  switch (rule.coding) {
    case FeatureCoding::CELSIUS: return field < KELVIN_AT_ZERO_CELSIUS ? 0 : field - KELVIN_AT_ZERO_CELSIUS;
    case FeatureCoding::INVERTED_BIT: return field ? 0 : 1;
    case FeatureCoding::HUNDREDTHS: return field / 100;
    default: return field;
  }
}

u32 encodeFeature(const FeatureRule& rule, u32 dword0, u32 value) {
  u32 field = value;
  switch (rule.coding) {
    case FeatureCoding::CELSIUS: field = value + KELVIN_AT_ZERO_CELSIUS; break;
    case FeatureCoding::INVERTED_BIT: field = value == 0 ? 1 : 0; break;
    case FeatureCoding::HUNDREDTHS: field = (value * 100) & 0xFFFF; break;
    case FeatureCoding::VECTOR_CLEAR: return (dword0 | (value & 0xFF)) & ~fieldMask(rule);
    case FeatureCoding::VECTOR_SET: return dword0 | (value & 0xFF) | fieldMask(rule);
    default: break;
  }
  return (dword0 & ~fieldMask(rule)) | ((field << rule.firstBit) & fieldMask(rule));
}

u32 featureDataLength(u32 descriptor) { return descriptor >> 8; }
u32 featureIdOf(u32 descriptor) { return descriptor & 0xFF; }

}  // namespace

bool OrvNvmeDev::isFeatureSupported(u32 feature) {
  try {
    if (feature == FEATURE_IDENTIFIED) return ctrlIdentify->vid != 0;
    if (feature == FEATURE_SECURITY) return ctrlIdentify->oacs.securitySendReceive.getValue() != 0;
    if (feature == FEATURE_ALWAYS_A || feature == FEATURE_ALWAYS_B) return true;
    u32 descriptor = nvmFeatureOf(feature);
    if (descriptor == 0) return false;
    OrvBuffer scratch;
    if (featureDataLength(descriptor) && scratch.resize(featureDataLength(descriptor)) != 0) return false;
    return nvmGetFeature(handles, descriptor, 0, 0, scratch, timeout, FEATURE_PROBE_IGNORE, 0) == 0;
  } catch (...) {
    return false;
  }
}

u64 OrvNvmeDev::readFeatureDword(u32 descriptor, u32 dword11, OrvBuffer& scratch, u32* dword0) {
  if (featureDataLength(descriptor))
    if (u64 status = scratch.resize(featureDataLength(descriptor))) return status;
  u32 vector = featureIdOf(descriptor) == FEATURE_INTERRUPT_VECTOR ? dword11 : 0;
  if (u64 status = nvmGetFeature(handles, descriptor, 0, vector, scratch, timeout, ignoreErrorCount, 0))
    return status;
  *dword0 = static_cast<u32>(response.dword(0, 0, 32).getValue());
  return 0;
}

u64 OrvNvmeDev::getFeature(u32 feature, u8* enabled, u32* value) {
  return ORV_GUARDED([&] {
    if (feature == FEATURE_IDENTIFIED || feature == FEATURE_SECURITY) {
      bool on = feature == FEATURE_IDENTIFIED ? ctrlIdentify->vid != 0 : ctrlIdentify->oacs.securitySendReceive.getValue() != 0;
      *enabled = on ? 1 : 0;
      *value = on ? 1 : 0;
      return u64{0};
    }
    u32 descriptor = nvmFeatureOf(feature);
    const FeatureRule* rule = featureRule(feature);
    if (descriptor == 0 || !rule) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    OrvBuffer scratch;
    u32 dword0 = 0;
    if (u64 status = readFeatureDword(descriptor, *value, scratch, &dword0)) return status;
    *enabled = 1;
    *value = decodeFeature(*rule, dword0);
    return u64{0};
  });
}

u64 OrvNvmeDev::setFeature(u32 feature, u32 value) {
  return ORV_GUARDED([&] {
    if (feature == FEATURE_SECURITY) return ORV_LIB_STATUS(ORV_ERR_FEATURE_CHANGE_UNSUPPORTED);
    if (!isFeatureSupported(feature)) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    u32 descriptor = nvmFeatureOf(feature);
    const FeatureRule* rule = featureRule(feature);
    if (descriptor == 0 || !rule) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    OrvBuffer scratch;
    u32 current = 0;
    if (u64 status = readFeatureDword(descriptor, value, scratch, &current)) return status;
    u32 requested = encodeFeature(*rule, current, value);
    u64 status = nvmSetFeature(handles, descriptor, 0, requested, scratch, timeout, ignoreErrorCount);
    if (descriptor == VENDOR_THERMAL) status = checkThrottleResult(status, current, requested);
    if (status) return status;
    return refresh();
  });
}

namespace {

constexpr u8 LOG_SMART = 0x02;
constexpr u32 DIRECTORY_ENTRY_INFO = 4;
constexpr u32 FORMAT_CODE_NVME_LOG = 4;
constexpr u32 DEFAULT_LOG_SIZE = 4096;
constexpr u32 TELEMETRY_PIECE_LIMIT = 0x80000;
constexpr u32 LOG_PIECE_LIMIT = 0x7FFC0;
constexpr u32 INTERNAL_HEADER = 8;
constexpr u8 kInternalTypes[] = {0x01, 0x02, 0x08, 0x10, 0x20};

bool isTelemetry(u8 logId) { return logId == LOG_TELEMETRY_HOST || logId == LOG_TELEMETRY_CONTROLLER; }

// The bytes one log read asks for: the transfer length less what the
// request itself takes of it, at most limit. A device opened for all
// namespaces has no transfer length (0), and one that leaves nothing beside
// the request's share gives 0 or wraps past the limit: a piece of 0 would
// never end a read loop, so those read in pieces of the limit.
u32 logPiece(u32 transferLength, u32 reserved, u32 limit) {
  u32 piece = transferLength - reserved;
  return piece > limit || piece == 0 ? limit : piece;
}

}  // namespace

u64 OrvNvmeDev::getLogDirectory(OrvDevGenData<_OrvDirEntry>& directory) {
  return ORV_GUARDED([&] {
    std::unique_ptr<OrvNvmLogDirectory> logs(new OrvNvmLogDirectory());
    if (u64 status = nvmGetLogPage(handles, LOG_DIRECTORY, *logs, timeout, PROBE_IGNORE, 0, 0)) {
      if (ctrlIdentify->vid == 0) return status;
      logs->resetZero();
      const OrvNvmCtrlIdentify& ctrl = *ctrlIdentify;
      // Every size below is a whole number of dwords.
      auto list = [&](u8 id, u32 bytes) { logs->setEntry(id, bytes / 4); };
      list(LOG_ERRORS, errorLogEntries(ctrl) * ERROR_ENTRY);
      list(0x02, 512);
      list(0x03, 512);
      if (ctrl.oaes.namespaceAttributeNotice.getValue()) list(0x04, 4096);
      if (ctrl.lpa.commandEffectsLog.getValue()) list(0x05, 4096);
      if (ctrl.oacs.selfTest.getValue()) list(0x06, 564);
      if (ctrl.lpa.telemetryLogs.getValue()) {
        list(LOG_TELEMETRY_HOST, 4096);
        list(LOG_TELEMETRY_CONTROLLER, 4096);
      }
      if (ctrl.oncs.reservations.getValue()) list(0x80, 64);
      if (ctrl.sanicap.getValue()) list(0x81, 512);
    }
    OrvNvmLogDirectory* kept = logs.release();
    directory.addBuffer(kept);
    for (u32 id = 0; id <= 0xFF; ++id) {
      if (id == LOG_INTERNAL || !kept->isLogSupported(static_cast<u8>(id))) continue;
      std::string name;
      directory.addItem(_OrvDirEntry{id, {0}, logPageName(name, static_cast<u8>(id)), DIRECTORY_ENTRY_INFO});
    }
    return u64{0};
  });
}

u64 OrvNvmeDev::readLog(u8 logId, u16 subPage, std::vector<OrvBuffer*>& buffers, u32* formatCode, u8, u8,
                        u32 offset, u32 count) {
  return ORV_GUARDED([&] {
    if (!isTelemetry(logId) && (offset || count)) {
      osl_log(OSL_LOG_ERROR, "Error: %s\n", offset ? "Invalid Parameter [-o]" : "Invalid Parameter [-c]");
      return ORV_LIB_STATUS(ORV_ERR_PARAMETER_VALUE);
    }
    if (subPage) return ORV_LIB_STATUS(ORV_ERR_NVME_GET_LOG);
    if (ctrlIdentify->vid == 0) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    u32 size = 0;
    if (u64 status = getLogSize(logId, &size)) return status;
    if (size == 0) size = DEFAULT_LOG_SIZE;
    u32 length = size;
    u32 start = 0;
    if (isTelemetry(logId) && (offset || count)) {
      // The window: count blocks of 512 bytes from block offset (log byte
      // offset x 512), or with count 0 every block from there to the log's
      // end, its last block included. The messages name the window's first byte.
      unsigned long long first = static_cast<u64>(offset) * TELEMETRY_BLOCK;
      unsigned long long bytes = static_cast<u64>(count) * TELEMETRY_BLOCK;
      if (first >= size) {
        osl_log(OSL_LOG_CRITICAL, "Critical: Invalid buffer length [Max log size = %u] [Input:Offset = %llu]\n", size,
                first);
        return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
      }
      if (first + bytes > size) {
        osl_log(OSL_LOG_CRITICAL,
                "Critical: Invalid buffer length [Max log size = %u] [Input:Offset = %llu] [Input:Length = %llu]\n",
                size, first, bytes);
        return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
      }
      start = static_cast<u32>(first);
      length = count ? static_cast<u32>(bytes) : size - start;
    }
    std::string name;
    std::unique_ptr<OrvLogBuffer> log(new (std::nothrow)
                                          OrvLogBuffer(length, ORV_LITTLE_ENDIAN, logId, 0, logPageName(name, logId)));
    if (!log) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    // The tunnel carries a block of its own beside the data.
    u32 piece = logPiece(maxTransferLength, handles.securityListFlag ? TELEMETRY_BLOCK : 0,
                         isTelemetry(logId) ? TELEMETRY_PIECE_LIMIT : LOG_PIECE_LIMIT);
    u32 nsid = logId == LOG_SMART ? (namespaceId ? namespaceId : ORV_NVME_ALL_NAMESPACES) : 0;
    u32 logOffset = start;
    for (u32 done = 0; done < length; done += piece, logOffset += piece) {
      OrvSubBuffer window(*log, done, length - done < piece ? length - done : piece);
      if (u64 status = nvmGetLogPage(handles, logId, window, timeout, ignoreErrorCount, nsid, logOffset))
        return status;
    }
    *formatCode = FORMAT_CODE_NVME_LOG;
    buffers.push_back(log.release());
    return u64{0};
  });
}

u64 OrvNvmeDev::internalLogTypeSize(u8 type, u32* size) {
  OrvBuffer header(INTERNAL_HEADER, ORV_LITTLE_ENDIAN);
  if (u64 status = readInternalLogChunk(type, 0, header, 1)) return status;
  *size = static_cast<u32>(header.dword(0, 8, 24).getValue());
  return 0;
}

u64 OrvNvmeDev::checkedInternalLogType(u32 mode, u8* type) {
  if (u64 status = checkInternalLogSupport()) return status;
  *type = mode > 0xFF ? 0 : internalLogTypeOf(static_cast<u8>(mode));
  if (*type) return 0;
  osl_log(OSL_LOG_CRITICAL, "Critical: Invalid mode type [0x%02X]. Mode type not supported by NVMe.\n", mode);
  return ORV_LIB_STATUS(ORV_ERR_PARAMETER_VALUE);
}

u64 OrvNvmeDev::getInternalStatusLogSize(u32 mode, u32* size) {
  return ORV_GUARDED([&] {
    *size = 0;
    u8 type = 0;
    if (u64 status = checkedInternalLogType(mode, &type)) return status;
    if (type != ANY_INTERNAL_LOG) return internalLogTypeSize(type, size);
    u64 status = 0;
    for (u8 each : kInternalTypes) {
      u32 typeSize = 0;
      status = internalLogTypeSize(each, &typeSize);
      if (status == 0) *size += typeSize;
    }
    return status;
  });
}

u64 OrvNvmeDev::readInternalLogType(u8 type, u32 size, OrvLogBuffer& log, u32 offset, u32 length, u8 unscramble) {
  if (static_cast<u64>(offset) + length > size) {
    osl_log(OSL_LOG_CRITICAL,
            "Critical: Invalid buffer length [Max log size = %u] [Input:Offset = %u] [Input:Length = %u]\n", size,
            offset, length);
    return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  }
  if (length == 0) length = size - offset;
  if (u64 status = log.resize(length)) return status;
  log.setEndianess(ORV_BIG_ENDIAN);
  std::string name;
  log.setIdentification(LOG_INTERNAL, type, internalLogName(name, type));
  u32 piece = logPiece(maxTransferLength, 0, LOG_PIECE_LIMIT);
  for (u32 done = 0; done < length; done += piece) {
    OrvSubBuffer window(log, done, length - done < piece ? length - done : piece);
    if (u64 status = readInternalLogChunk(type, offset + done, window, unscramble)) return status;
  }
  return 0;
}

u64 OrvNvmeDev::readInternalStatusLog(u32 mode, OrvLogBuffer& log, u32 offset, u32 length, u8 unscramble) {
  return ORV_GUARDED([&] {
    u8 type = 0;
    if (u64 status = checkedInternalLogType(mode, &type)) return status;
    u32 total = 0;
    if (u64 status = getInternalStatusLogSize(mode, &total)) return status;
    if (type != ANY_INTERNAL_LOG) return readInternalLogType(type, total, log, offset, length, unscramble);
    if (u64 status = log.resize(total)) return status;
    u64 status = 0;
    u32 position = 0;
    for (u8 each : kInternalTypes) {
      OrvLogBuffer scratch(512, ORV_LITTLE_ENDIAN, 0, 0, "");
      u32 typeSize = 0;
      status = internalLogTypeSize(each, &typeSize);
      if (status == 0) status = readInternalLogType(each, typeSize, scratch, offset, length, unscramble);
      if (status == 0 && position + scratch.getLength() <= log.getLength()) {
        std::memcpy(log.getBuffer() + position, scratch.getBuffer(), scratch.getLength());
        position += scratch.getLength();
      }
    }
    return status;
  });
}

// ------------------------------- erase, sanitize, format, capacity, self-test

namespace {

// Generic erase and sanitize modes.
constexpr int CRYPTOGRAPHIC_MODE = 1;
constexpr u32 SANITIZE_CRYPTO_MODE = 1;
constexpr u32 SANITIZE_BLOCK_MODE = 2;
constexpr u32 SANITIZE_OVERWRITE_MODE = 3;

// Sanitize actions.
constexpr int SANITIZE_EXIT = 1;
constexpr int BLOCK_ERASE = 2;
constexpr int OVERWRITE = 3;
constexpr int CRYPTO_ERASE = 4;

// Sanitize progress as reported, by the latest sanitize status.
constexpr u32 SANITIZE_RUNNING = 0;
constexpr u32 SANITIZE_DONE = 2;
constexpr u32 SANITIZE_FAILED = 3;
constexpr u32 SANITIZE_UNKNOWN = 15;
constexpr u64 NEVER_SANITIZED = 0;
constexpr u64 SANITIZE_COMPLETED = 1;
constexpr u64 SANITIZE_IN_PROGRESS = 2;
constexpr u64 SANITIZE_FAILED_STATUS = 3;
constexpr u64 PROGRESS_WHOLE = 65536;

constexpr u32 CAPACITY_RECORD = 12;
constexpr u32 CAPACITY_AT = 4;
constexpr u64 NATIVE_CAPACITY = ~u64{0};
constexpr u32 CNS_ACTIVE_NAMESPACES = 0x02;

// Self-test kinds, codes and log.
constexpr u32 SHORT_TEST = 1;
constexpr u32 EXTENDED_TEST = 2;
constexpr u32 ABORT_TEST = 5;
constexpr u32 OTHER_TEST = 15;
constexpr int ABORT_CODE = 0xF;
constexpr u64 NO_TEST = 0;
constexpr u8 SELF_TEST_LOG = 0x06;

// A Self-test Result to the generic result; -1 keeps the item before.
int selfTestResultOf(u64 result) {
  constexpr int kResults[] = {0, 5, 5, 5, 5, 3, 7, 4, 5};
  return result < sizeof kResults / sizeof kResults[0] ? kResults[result] : -1;
}

}  // namespace

u64 OrvNvmeDev::getSecurityEraseInfo(u32, u16& eraseTime, u8& supported, u8& enhancedSupported) {
  eraseTime = 0;
  supported = 0;
  enhancedSupported = 0;
  return 0;
}

u64 OrvNvmeDev::formatNamespace(int eraseMode, bool erase, int lbaFormat) {
  return ORV_GUARDED([&] {
    u8 current = 0;
    u8 formats = 0;
    u32 protectionType = 0;
    u32 protectionFirst = 0;
    u32 metadataAtEnd = 0;
    if (u64 status = getFormatParams(&current, &protectionType, &protectionFirst, &metadataAtEnd, &formats,
                                     eraseMode))
      return status;
    u8 format = lbaFormat < 0 ? current : static_cast<u8>(lbaFormat & 0x0F);
    u64 status = erase ? nvmFormatErase(handles, namespaceId, eraseMode == CRYPTOGRAPHIC_MODE, format,
                                        protectionType, protectionFirst, metadataAtEnd, timeout, ignoreErrorCount)
                       : nvmFormat(handles, namespaceId, format, protectionType, protectionFirst, metadataAtEnd,
                                   timeout, ignoreErrorCount);
    return status ? status : refresh();
  });
}

u64 OrvNvmeDev::securityErase(u32 mode, std::string) {
  return formatNamespace(static_cast<int>(mode), true, -1);
}

u64 OrvNvmeDev::formatUnit(u8 lbaFormat) { return formatNamespace(0, false, lbaFormat); }

u64 OrvNvmeDev::sanitize(_OrvSanitizeMode mode) {
  auto& caps = ctrlIdentify->sanicap;
  if (caps.getValue() == 0) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  int action = 0;
  switch (static_cast<u32>(mode)) {
    case SANITIZE_CRYPTO_MODE:
      if (caps.cryptoErase.getValue()) action = CRYPTO_ERASE;
      break;
    case SANITIZE_BLOCK_MODE:
      if (caps.blockErase.getValue()) action = BLOCK_ERASE;
      break;
    case SANITIZE_OVERWRITE_MODE:
      if (caps.overwrite.getValue()) action = OVERWRITE;
      break;
    default:
      break;
  }
  if (action == 0) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] { return nvmSanitize(handles, action, 1, timeout, ignoreErrorCount); });
}

u64 OrvNvmeDev::exitSanitizeFailure() {
  if (ctrlIdentify->sanicap.getValue() == 0) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] { return nvmSanitize(handles, SANITIZE_EXIT, 0, timeout, ignoreErrorCount); });
}

u64 OrvNvmeDev::getSanitizeProgress(u32* state, u16* percent) {
  if (ctrlIdentify->sanicap.getValue() == 0) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] {
    OrvNvmSanitizeStatusLogBuf log;
    if (u64 status = nvmGetLogPage(handles, log.getPageId(), log, timeout, ignoreErrorCount, 0, 0)) return status;
    *state = SANITIZE_UNKNOWN;
    *percent = 0;
    switch (log.recentStatus.getValue()) {
      case NEVER_SANITIZED:
      case SANITIZE_COMPLETED:
        *state = SANITIZE_DONE;
        *percent = 100;
        break;
      case SANITIZE_IN_PROGRESS:
        *state = SANITIZE_RUNNING;
        *percent = static_cast<u16>(log.progress.getValue() * 100 / PROGRESS_WHOLE);
        break;
      case SANITIZE_FAILED_STATUS:
        *state = SANITIZE_FAILED;
        break;
      default:
        break;
    }
    return u64{0};
  });
}

u64 OrvNvmeDev::getSectorSize(u32& size) {
  if (u64 status = namespaceDataStatus()) return status;
  size = getCurrentSectorSize();
  return 0;
}

u64 OrvNvmeDev::getCapacity(u64& capacity, u32& size, u8 perNamespace) {
  size = getCurrentSectorSize();
  bool identified = ctrlIdentify->vid.getValue() != 0;
  if (identified && perNamespace) {
    capacity = nsIdentify->ncap.getValue();
    return 0;
  }
  if ((!identified && !vendorFeatureF7) || perNamespace) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] {
    if (vendorFeatureF7) {
      OrvBuffer record(CAPACITY_RECORD, ORV_LITTLE_ENDIAN);
      u64 status = nvmGetFeature(handles, ORV_NVM_FEATURE_VENDOR_F7, 0, 0, record, timeout, ignoreErrorCount, 0);
      if (status == 0) capacity = record.qword(CAPACITY_AT, 0, 64).getValue();
      return status;
    }
    if (ctrlIdentify->oacs.namespaceManagement.getValue()) {
      capacity = ctrlIdentify->tnvmcap.getValue();
      return u64{0};
    }
    return sumNamespaceSizes(capacity, size);
  });
}

u64 OrvNvmeDev::sumNamespaceSizes(u64& capacity, u32& size) {
  capacity = 0;
  // The list knows controllers without namespace lists and a device opened
  // for one namespace.
  OrvDevGenData<_OrvNvmNsItem> namespaces;
  if (u64 status = getNamespaceList(namespaces, false)) return status;
  OrvNvmNsIdentify scratch;
  for (const _OrvNvmNsItem& item : namespaces.items) {
    scratch.resetZero();
    if (u64 status =
            nvmIdentify(handles, ORV_NVM_CNS_NAMESPACE, scratch, timeout, item.namespaceId, ignoreErrorCount))
      return status;
    capacity += scratch.nsze.getValue();
    size = sectorSizeOf(scratch);
  }
  return u64{0};
}

u64 OrvNvmeDev::writeMaxCapacity(u64 capacity) {
  if (!vendorFeatureF7) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] {
    OrvBuffer record(CAPACITY_RECORD, ORV_LITTLE_ENDIAN);
    record.qword(CAPACITY_AT, 0, 64).setValue(capacity);
    u64 status = nvmSetFeature(handles, ORV_NVM_FEATURE_VENDOR_F7, 1, 0, record, timeout, ignoreErrorCount);
    return status ? status : refresh();
  });
}

u64 OrvNvmeDev::setMaxCapacity(u64 capacity) { return writeMaxCapacity(capacity); }

u64 OrvNvmeDev::restoreMaxCapacity() { return writeMaxCapacity(NATIVE_CAPACITY); }

u64 OrvNvmeDev::readSelfTestLog(std::unique_ptr<OrvNvmSelfTestStatus>& log) {
  log.reset(new (std::nothrow) OrvNvmSelfTestStatus());
  if (!log) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  u64 status = nvmGetLogPage(handles, SELF_TEST_LOG, *log, timeout, ignoreErrorCount, namespaceId, 0);
  if (status) log.reset();
  return status;
}

u64 OrvNvmeDev::getSelfTestStatus(u8* remaining, u32* running) {
  if (ctrlIdentify->oacs.selfTest.getValue() != 1) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] {
    std::unique_ptr<OrvNvmSelfTestStatus> log;
    if (u64 status = readSelfTestLog(log))
      return orv_status_code(status) == ORV_ERR_NO_MEMORY ? status : ORV_LIB_STATUS(ORV_ERR_NVME_SELF_TEST);
    // Bits 7:4 of the operation byte are reserved.
    u64 operation = log->currentOperation.getValue() & 0x0F;
    u64 completion = log->currentCompletion.getValue();
    if (operation == NO_TEST) {
      *remaining = 0;
      *running = 0;
    } else if (operation == SHORT_TEST || operation == EXTENDED_TEST) {
      // A drive claiming more than the whole has nothing left to do.
      *remaining = static_cast<u8>(completion >= 100 ? 0 : 100 - completion);
      *running = 1;
    } else {
      return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    }
    return u64{0};
  });
}

u64 OrvNvmeDev::runSelfTest(u32 kind, u32) {
  if (ctrlIdentify->oacs.selfTest.getValue() != 1) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] {
    int code = 0;
    if (kind == ABORT_TEST) {
      u8 remaining = 0;
      u32 running = 0;
      if (u64 status = getSelfTestStatus(&remaining, &running)) return status;
      if (running != 1) return ORV_LIB_STATUS(ORV_ERR_SELF_TEST_NOT_RUNNING);
      code = ABORT_CODE;
    } else if (kind == SHORT_TEST || kind == EXTENDED_TEST) {
      code = static_cast<int>(kind);
    } else {
      return ORV_LIB_STATUS(ORV_ERR_SELF_TEST_UNSUPPORTED);
    }
    return nvmSelfTest(handles, code, timeout, ignoreErrorCount);
  });
}

u64 OrvNvmeDev::getSelfTestLog(OrvDevGenData<_OrvSelfTestItem>& items) {
  if (ctrlIdentify->oacs.selfTest.getValue() != 1) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  return ORV_GUARDED([&] {
    std::unique_ptr<OrvNvmSelfTestStatus> log;
    if (u64 status = readSelfTestLog(log)) return status;
    log->setIdentification(SELF_TEST_LOG, 0, "Self Test Log Page");
    OrvNvmSelfTestStatus& owned = *log;
    items.addBuffer(log.release());
    u32 result = 0;
    for (u8 index = 0; index < OrvNvmSelfTestStatus::kResults; ++index) {
      OrvNvmSelfTestResults& descriptor = *owned.results[index];
      u64 code = descriptor.selfTestCode.getValue();
      int mapped = selfTestResultOf(descriptor.selfTestResult.getValue());
      if (mapped >= 0) result = static_cast<u32>(mapped);
      _OrvSelfTestItem item{};
      item.entryNumber = static_cast<u32>(items.items.size()) + 1;
      item.testKind = code == SHORT_TEST || code == EXTENDED_TEST ? static_cast<u32>(code) : OTHER_TEST;
      item.result = result;
      item.failingLba = descriptor.failingLba.getValue();
      item.powerOnHours = static_cast<u32>(descriptor.powerOnHours.getValue());
      item.namespaceId = static_cast<u32>(descriptor.namespaceId.getValue());
      items.addItem(item);
    }
    return u64{0};
  });
}

// ---------------------------------------------------- namespace management

namespace {

constexpr u32 CNS_ALLOCATED_NAMESPACES = 0x10;
constexpr u32 CNS_NAMESPACE_CONTROLLERS = 0x12;
constexpr u32 CNS_ALL_CONTROLLERS = 0x13;
constexpr u32 LIST_BYTES = 4096;
constexpr u32 NAMESPACE_IDS = LIST_BYTES / 4;
constexpr u32 CONTROLLER_IDS = LIST_BYTES / 2;
constexpr u32 LBA_FORMATS = 16;
constexpr u8 DPS_PROTECTION_FIRST = 0x08;
constexpr u8 FLBAS_METADATA_AT_END = 0x10;

// The ids of a namespace list, up to the first 0.
std::vector<u32> namespaceIds(OrvBuffer& list) {
  std::vector<u32> ids;
  for (u32 i = 0; i < NAMESPACE_IDS; ++i) {
    u32 id = static_cast<u32>(list.dword(4 * i, 0, 32).getValue());
    if (id == 0) break;
    ids.push_back(id);
  }
  return ids;
}

// The ids of a controller list (a count, then the ids), up to the first 0.
std::vector<u16> controllerIds(OrvBuffer& list) {
  std::vector<u16> ids;
  for (u32 i = 1; i < CONTROLLER_IDS; ++i) {
    u16 id = static_cast<u16>(list.word(2 * i, 0, 16).getValue());
    if (id == 0) break;
    ids.push_back(id);
  }
  return ids;
}

OrvNvmIdentify* controllersOfNamespace(u32 id) {
  char name[64];
  osl_snprintf(name, sizeof name, sizeof name - 1, "Controller list attached to namespace 0x%08X", id);
  return new (std::nothrow) OrvNvmIdentify(name);
}

}  // namespace

u64 OrvNvmeDev::getNamespaceList(OrvDevGenData<_OrvNvmNsItem>& list, bool allocated) {
  auto operation = [&] {
    bool selected = namespaceId != 0 && namespaceId != ORV_NVME_ALL_NAMESPACES;
    if (selected) allocated = false;
    OrvNvmIdentify* attached = new (std::nothrow) OrvNvmIdentify("Attached namespace list");
    if (!attached) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);

    if (ctrlIdentify->ver.getValue() == 0) {
      // No namespace lists before version 1.1: every id up to NN is there.
      u64 count = ctrlIdentify->nn.getValue();
      for (u64 id = 1; id <= count && id <= NAMESPACE_IDS; ++id) {
        if (selected && id != namespaceId) continue;
        attached->dword(static_cast<u32>(id - 1) * 4, 0, 32).setValue(id);
        list.addItem(_OrvNvmNsItem{static_cast<u32>(id), {1}});
      }
      list.addBuffer(attached);
      return u64{0};
    }

    OrvNvmIdentify* allocatedList = nullptr;
    if (allocated && ctrlIdentify->oacs.namespaceManagement.getValue()) {
      allocatedList = new (std::nothrow) OrvNvmIdentify("Allocated namespace list");
      if (!allocatedList) {
        delete attached;
        return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
      }
    }
    u64 status = nvmIdentify(handles, CNS_ACTIVE_NAMESPACES, *attached, timeout, 0, ignoreErrorCount);
    if (status == 0 && allocatedList)
      status = nvmIdentify(handles, CNS_ALLOCATED_NAMESPACES, *allocatedList, timeout, 0, ignoreErrorCount);
    if (status) {
      delete attached;
      delete allocatedList;
      return status;
    }
    list.addBuffer(attached);
    if (allocatedList) list.addBuffer(allocatedList);

    // Controller lists come with namespace management; without it an active
    // namespace is attached to this controller alone.
    bool management = ctrlIdentify->oacs.namespaceManagement.getValue() != 0;
    std::vector<u32> listed;
    for (u32 id : namespaceIds(*attached)) {
      if (selected && id != namespaceId) continue;
      if (!management) {
        list.addItem(_OrvNvmNsItem{id, {static_cast<u16>(ctrlIdentify->cntlid.getValue())}});
        continue;
      }
      OrvNvmIdentify* controllers = controllersOfNamespace(id);
      if (!controllers) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
      status = nvmIdentify(handles, CNS_NAMESPACE_CONTROLLERS, *controllers, timeout, id, ignoreErrorCount);
      if (status) {
        delete controllers;
        return status;
      }
      list.addBuffer(controllers);
      _OrvNvmNsItem item{id, {}};
      for (u16 controller : controllerIds(*controllers))
        if (std::find(item.controllerIds.begin(), item.controllerIds.end(), controller) == item.controllerIds.end())
          item.controllerIds.push_back(controller);
      list.addItem(std::move(item));
      listed.push_back(id);
    }
    if (allocatedList)
      for (u32 id : namespaceIds(*allocatedList))
        if (std::find(listed.begin(), listed.end(), id) == listed.end()) list.addItem(_OrvNvmNsItem{id, {}});
    return u64{0};
  };
  return ORV_GUARDED(operation);
}

u64 OrvNvmeDev::getControllerList(OrvDevGenData<_OrvNvmCtlItem>& list) {
  auto operation = [&] {
    if (ctrlIdentify->ver.getValue() == 0 && !ctrlIdentify->oacs.namespaceManagement.getValue())
      return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    std::unique_ptr<OrvNvmIdentify> controllers(new (std::nothrow) OrvNvmIdentify("All controller list"));
    std::unique_ptr<OrvNvmIdentify> namespaces(new (std::nothrow) OrvNvmIdentify("Attached namespace list"));
    if (!controllers || !namespaces) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    if (u64 status = nvmIdentify(handles, CNS_ALL_CONTROLLERS, *controllers, timeout, namespaceId, ignoreErrorCount))
      return status;
    if (u64 status = nvmIdentify(handles, CNS_ACTIVE_NAMESPACES, *namespaces, timeout, 0, ignoreErrorCount))
      return status;
    OrvNvmIdentify& all = *controllers;
    OrvNvmIdentify& active = *namespaces;
    list.addBuffer(controllers.release());
    list.addBuffer(namespaces.release());

    for (u16 controller : controllerIds(all)) list.addItem(_OrvNvmCtlItem{controller, {}});
    for (u32 id : namespaceIds(active)) {
      std::unique_ptr<OrvNvmIdentify> attachedTo(controllersOfNamespace(id));
      if (!attachedTo) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
      if (u64 status = nvmIdentify(handles, CNS_NAMESPACE_CONTROLLERS, *attachedTo, timeout, id, ignoreErrorCount))
        return status;
      for (u16 controller : controllerIds(*attachedTo))
        for (_OrvNvmCtlItem& item : list.items)
          if (item.controllerId == controller) item.namespaceIds.push_back(id);
    }
    return u64{0};
  };
  return ORV_GUARDED(operation);
}

u64 OrvNvmeDev::createNamespace(u64 size, u64 capacity, u32 lbaFormat, bool metadataAtEnd, u8 protectionType,
                                bool protectionFirst, bool shared, u32& createdId) {
  return ORV_GUARDED([&] {
    const OrvNvmCtrlIdentify& ctrl = *ctrlIdentify;
    OrvNvmNsIdentify& ns = *nsIdentify;
    if (!ctrl.oacs.namespaceManagement.getValue()) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    auto refuse = [](const char* format, auto... values) {
      osl_log(OSL_LOG_ERROR, format, values...);
      return ORV_LIB_STATUS(ORV_ERR_INVALID_ARGUMENT_SPECIFIED);
    };
    if (capacity == 0) capacity = size;
    if (size == 0) return refuse("Error: NsSize:%llu\n", static_cast<unsigned long long>(size));
    if (capacity > size)
      return refuse("Error: Specified NsCap (%llu) is more than Specified NsSize(%llu)\n",
                    static_cast<unsigned long long>(capacity), static_cast<unsigned long long>(size));
    u64 unallocated = ctrl.unvmcap.getValue();
    if (size > unallocated)
      return refuse("Error: NsSize (%llu) is more than unallocated size (%llu)\n",
                    static_cast<unsigned long long>(size), static_cast<unsigned long long>(unallocated));
    u32 formatCount = static_cast<u32>(ns.nlbaf.getValue());
    if (lbaFormat > formatCount)
      return refuse("Error: Invalid LBA Format (%u). Max allowed (%u)\n", lbaFormat, formatCount);
    // The namespace data describes 16 formats; a higher index has nothing to check.
    OrvNvmLbaFmtFld* format = lbaFormat < LBA_FORMATS ? ns.getLbaFormat(static_cast<u8>(lbaFormat)) : nullptr;
    if (!format || format->dataSize.getValue() == 0)
      return refuse("Error: Invalid LBA Format (%u). Not supported\n", lbaFormat);
    u32 type = protectionType;
    bool typeSupported = type == 0 || (type <= 3 && ns.dpc.getBit(type - 1));
    if (type > 3 || (type != 0 && format->metadataSize.getValue() == 0) || !typeSupported ||
        (protectionFirst && !ns.dpc.protectionFirst.getValue()) ||
        (type != 0 && !protectionFirst && !ns.dpc.protectionLast.getValue()))
      return refuse("Error: Invalid pi value (%u). Not supported\n", type);

    OrvBuffer data(LIST_BYTES, ORV_LITTLE_ENDIAN);
    data.qword(0, 0, 64).setValue(size);
    data.qword(8, 0, 64).setValue(capacity);
    data.byte(26, 0, 8).setValue((lbaFormat & 0xFF) | (metadataAtEnd ? FLBAS_METADATA_AT_END : 0));
    data.byte(29, 0, 8).setValue(type | (protectionFirst ? DPS_PROTECTION_FIRST : 0));
    data.byte(30, 0, 8).setValue(shared ? 1 : 0);
    u64 status = nvmNamespaceCreate(handles, data, timeout, ignoreErrorCount);
    if (status == 0) createdId = static_cast<u32>(response.dword(0, 0, 32).getValue());
    return status;
  });
}

u64 OrvNvmeDev::deleteNamespace(u32 id) {
  return ORV_GUARDED([&] {
    if (!ctrlIdentify->oacs.namespaceManagement.getValue()) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    return nvmNamespaceDelete(handles, id, timeout, ignoreErrorCount);
  });
}

u64 OrvNvmeDev::attachNamespace(_OrvNsAttachAction action, u32 id) {
  return ORV_GUARDED([&] {
    if (action > ORV_NS_DETACH) return ORV_LIB_STATUS(ORV_ERR_INVALID_ARGUMENT_SPECIFIED);
    if (!ctrlIdentify->oacs.namespaceManagement.getValue()) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    OrvBuffer controllers(LIST_BYTES, ORV_LITTLE_ENDIAN);
    controllers.word(0, 0, 16).setValue(1);
    controllers.word(2, 0, 16).setValue(ctrlIdentify->cntlid.getValue());
    return nvmNamespaceAttach(handles, controllers, static_cast<int>(action), id, timeout, ignoreErrorCount);
  });
}

u64 OrvNvmeDev::changeNamespace(u32 id, bool allocated) {
  return ORV_GUARDED([&] {
    // A namespace that cannot be identified leaves the device on the one it had.
    std::unique_ptr<OrvNvmNsIdentify> formerData(new OrvNvmNsIdentify(*nsIdentify));
    const u32 formerId = namespaceId;
    const bool formerValid = nsIdentifyValid;
    u64 status = identifyNamespace(false, id, allocated);
    if (status) {
      nsIdentify.swap(formerData);
      namespaceId = formerId;
      nsIdentifyValid = formerValid;
    }
    return status;
  });
}

u64 OrvNvmeDev::getMetaDataConfig(u32& metadataSize, bool& metadataAtEnd, bool& protectionFirst) {
  if (u64 status = namespaceDataStatus()) return status;
  OrvNvmNsIdentify& ns = *nsIdentify;
  u8 current = static_cast<u8>(ns.flbas.currentLbaFormat.getValue());
  metadataSize = static_cast<u32>(ns.getLbaFormat(current)->metadataSize.getValue());
  if (metadataSize == 0) return 0;
  metadataAtEnd = ns.flbas.metadataAtEnd.getValue() != 0;
  if (!metadataAtEnd) return 0;
  if (ns.dps.protectionType.getValue() == 0) return 0;
  protectionFirst = ns.dps.protectionFirst.getValue() != 0;
  return 0;
}

// ------------------------------------------------- I/O, security and raw

namespace {

constexpr u32 MAX_BLOCKS = 0x10000;
constexpr u32 RAW_ADMIN_SCRATCH = 4096;
constexpr u8 OP_FLUSH = 0x00;
constexpr u8 OP_WRITE = 0x01;
constexpr u8 OP_READ = 0x02;
constexpr u8 OP_COMPARE = 0x05;
constexpr u8 OP_DATASET_MANAGEMENT = 0x09;

}  // namespace

u64 OrvNvmeDev::blockCountOf(const OrvBuffer& data, u16* nlb) {
  if (u64 status = namespaceDataStatus()) return status;
  u32 sector = getCurrentSectorSize();
  if (sector == 0) return ORV_LIB_STATUS(ORV_ERR_INVALID_ARGUMENT_SPECIFIED);
  u32 blocks = data.getLength() / sector;
  if (blocks == 0 || blocks > MAX_BLOCKS) return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  *nlb = static_cast<u16>(blocks - 1);
  return 0;
}

u64 OrvNvmeDev::readSectors(u64 lba, OrvBuffer& data, OrvBuffer& metadata) {
  return ORV_GUARDED([&] {
    u16 nlb = 0;
    if (u64 status = blockCountOf(data, &nlb)) return status;
    return nvmRead(handles, namespaceId, lba, nlb, data, &metadata, timeout, ignoreErrorCount);
  });
}

u64 OrvNvmeDev::writeSectors(u64 lba, OrvBuffer& data, OrvBuffer& metadata) {
  return ORV_GUARDED([&] {
    u16 nlb = 0;
    if (u64 status = blockCountOf(data, &nlb)) return status;
    return nvmWrite(handles, namespaceId, lba, nlb, data, &metadata, timeout, ignoreErrorCount);
  });
}

u64 OrvNvmeDev::verifySectors(u64 lba, OrvBuffer& data) {
  return ORV_GUARDED([&] {
    u16 nlb = 0;
    if (u64 status = blockCountOf(data, &nlb)) return status;
    return nvmCompare(handles, namespaceId, lba, nlb, data, timeout, ignoreErrorCount);
  });
}

u64 OrvNvmeDev::flushCache() {
  return ORV_GUARDED([&] { return nvmFlush(handles, namespaceId, timeout, ignoreErrorCount); });
}

u64 OrvNvmeDev::writeUncorrectable(u64 lba, u32 count) {
  return ORV_GUARDED([&] {
    if (count == 0 || count > MAX_BLOCKS) return ORV_LIB_STATUS(ORV_ERR_INVALID_ARGUMENT_SPECIFIED);
    return nvmWriteUncorrectable(handles, namespaceId, lba, static_cast<u16>(count - 1), timeout,
                                 ignoreErrorCount);
  });
}

u64 OrvNvmeDev::securitySend(u8 protocol, OrvBuffer& data, u16 protocolSpecific, u8) {
  return ORV_GUARDED(
      [&] { return nvmSecuritySend(handles, protocol, protocolSpecific, data, timeout, ignoreErrorCount); });
}

u64 OrvNvmeDev::securityReceive(u8 protocol, OrvBuffer& data, u16 protocolSpecific, u8) {
  return ORV_GUARDED(
      [&] { return nvmSecurityReceive(handles, protocol, protocolSpecific, data, timeout, ignoreErrorCount); });
}

u64 OrvNvmeDev::sendRawCommand(const u8* entry, u8 entryLength, u32 direction, OrvBuffer& data, u8 admin) {
  return ORV_GUARDED([&] {
    if (!entry || entryLength > ORV_NVM_ENTRY_LENGTH) return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
    OrvNvmSqEntryRaw raw;
    if (u64 status = raw.copyData(entry, entryLength, 0)) return status;
    if (admin) {
      u32 length = data.getLength() > RAW_ADMIN_SCRATCH ? data.getLength() : RAW_ADMIN_SCRATCH;
      OrvBuffer scratch(length, ORV_LITTLE_ENDIAN);
      // Data for the drive travels in the scratch buffer too.
      if (u64 status = data.getLength() ? scratch.copyData(data, 0, 0) : 0) return status;
      u64 status = nvmRawCommand(handles, raw, scratch, direction, admin, timeout);
      if (status || data.getLength() == 0) return status;
      return data.copyData(scratch, 0, 0);
    }
    switch (raw.opCode.getValue()) {
      case OP_FLUSH:
      case OP_DATASET_MANAGEMENT:
        break;
      case OP_WRITE:
      case OP_READ:
      case OP_COMPARE: {
        if (u64 status = namespaceDataStatus()) return status;
        u32 sector = getCurrentSectorSize();
        u32 blocks = sector ? data.getLength() / sector : 0;
        if (blocks == 0 || blocks - 1 < (raw.dword12.getValue() & 0xFFFF))
          return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
        break;
      }
      default:
        return ORV_LIB_STATUS(ORV_ERR_GENERIC);
    }
    return nvmRawCommand(handles, raw, data, direction, admin, timeout);
  });
}

u64 OrvNvmeDev::readErrorLogPages(std::vector<u64>& lbas) {
  constexpr u8 MEDIA_ERRORS = 2;
  constexpr u8 UNRECOVERED_READ = 0x81;
  lbas.clear();
  return ORV_GUARDED([&] {
    u32 count = errorLogEntries(*ctrlIdentify);
    u64 status = 0;
    std::unique_ptr<OrvNvmErrInfoLog> log(readErrorInfoLog(handles, count, timeout, ignoreErrorCount, status));
    if (!log) return status;
    for (u32 index = 0; index < count; ++index) {
      OrvNvmErrInfoEntry* entry = log->getEntry(index);
      if (entry->statusField.statusCodeType.getValue() == MEDIA_ERRORS &&
          entry->statusField.statusCode.getValue() == UNRECOVERED_READ)
        lbas.push_back(entry->lba.getValue());
    }
    return u64{0};
  });
}

bool OrvNvmeDev::hasActivePartition() { return handles.ioHandle && osl_has_partitions(handles.ioHandle, 0) != 0; }

// ------------------------------------------------------------- device dump

namespace {

constexpr u32 DUMP_IDENTIFY = 1;
constexpr u32 DUMP_LOG = 3;
constexpr u32 DUMP_FEATURE = 6;
constexpr u32 DUMP_INTERNAL_LOG = 7;
constexpr u8 DUMP_IGNORE = 1;
constexpr u8 LOG_HEALTH = 0x02;
constexpr u32 FEATURE_RETRY_PAUSE_MS = 1000;
constexpr u8 SELECT_CURRENT = 0;
constexpr u8 SELECT_SAVED = 2;

struct DumpFeature {
  u32 descriptor;
  u32 nsid;
  bool recorded;
};

// Mode types of the internal logs, in dump order.
constexpr u8 kDumpInternalLogs[] = {1, 5, 7, 8, 9};

}  // namespace

u64 OrvNvmeDev::dumpAllLogs(std::vector<_OrvDevDumpItem>& records) {
  auto append = [&](u32 kind, u8 id, u32 param, OrvBuffer* data, u64 status) {
    records.push_back(_OrvDevDumpItem{kind, status, id, param, data});
  };
  auto copyOf = [&](auto* made, u32 kind, u8 id, u32 param) {
    append(kind, id, param, made, made ? 0 : ORV_LIB_STATUS(ORV_ERR_NO_MEMORY));
  };
  u8 ignoreBefore = ignoreErrorCount;
  ignoreErrorCount = DUMP_IGNORE;
  auto operation = [&] {
    OrvDevGenData<_OrvNvmNsItem> namespaces;
    getNamespaceList(namespaces, true);

    copyOf(new (std::nothrow) OrvNvmCtrlIdentify(*ctrlIdentify), DUMP_IDENTIFY, ORV_NVM_CNS_CONTROLLER, 0);
    if (!namespaces.buffers.empty())
      copyOf(new (std::nothrow) OrvNvmIdentify(*static_cast<OrvNvmIdentify*>(namespaces.buffers[0])),
             DUMP_IDENTIFY, CNS_ACTIVE_NAMESPACES, 0);

    auto readNamespace = [&](u32 cns, u32 nsid) {
      OrvNvmNsIdentify* data = new (std::nothrow) OrvNvmNsIdentify();
      if (!data) {
        append(DUMP_IDENTIFY, ORV_NVM_CNS_NAMESPACE, nsid, nullptr, ORV_LIB_STATUS(ORV_ERR_NO_MEMORY));
        return false;
      }
      u64 status = nvmIdentify(handles, cns, *data, timeout, nsid, DUMP_IGNORE);
      append(DUMP_IDENTIFY, ORV_NVM_CNS_NAMESPACE, nsid, data, status);
      return status == 0 && data->rescap.persistThroughPowerLoss.getValue() != 0;
    };
    readNamespace(ORV_NVM_CNS_NAMESPACE, ORV_NVME_ALL_NAMESPACES);
    std::vector<u32> reserving;
    for (const _OrvNvmNsItem& item : namespaces.items) {
      bool reservations = false;
      if (item.namespaceId == namespaceId) {
        OrvNvmNsIdentify* copy = new (std::nothrow) OrvNvmNsIdentify(*nsIdentify);
        copyOf(copy, DUMP_IDENTIFY, ORV_NVM_CNS_NAMESPACE, item.namespaceId);
        reservations = copy && copy->rescap.persistThroughPowerLoss.getValue() != 0;
      } else {
        u32 cns = item.controllerIds.empty() ? ORV_NVM_CNS_ALLOCATED_NAMESPACE : ORV_NVM_CNS_NAMESPACE;
        reservations = readNamespace(cns, item.namespaceId);
      }
      if (reservations) reserving.push_back(item.namespaceId);
    }

    OrvDevGenData<_OrvDirEntry> directory;
    u64 listed = getLogDirectory(directory);
    OrvBuffer* directoryCopy = nullptr;
    if (listed == 0 && !directory.buffers.empty()) {
      // A log page keeps its id and name in the copy.
      auto* page = dynamic_cast<OrvLogBuffer*>(directory.buffers[0]);
      directoryCopy = page ? new (std::nothrow) OrvLogBuffer(*page)
                           : new (std::nothrow) OrvBuffer(*directory.buffers[0]);
      if (!directoryCopy) listed = ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    }
    append(DUMP_LOG, LOG_DIRECTORY, 0, directoryCopy, listed);
    auto* logs = listed == 0 && !directory.buffers.empty()
                     ? dynamic_cast<OrvNvmLogDirectory*>(directory.buffers[0])
                     : nullptr;
    for (u32 index = 0; logs && index < OrvNvmLogDirectory::kLength / 4; ++index) {
      u8 logId = static_cast<u8>(logs->getLogId(static_cast<u8>(index)));
      if (logId == 0 || logId == LOG_INTERNAL || logId == LOG_DIRECTORY) continue;
      u32 bytes = logs->getLogBytes(static_cast<u8>(index));
      if (bytes == 0) continue;
      OrvBuffer* page = new (std::nothrow) OrvBuffer(bytes, ORV_LITTLE_ENDIAN);
      if (!page) {
        append(DUMP_LOG, logId, 0, nullptr, ORV_LIB_STATUS(ORV_ERR_NO_MEMORY));
        continue;
      }
      u32 nsid = logId == LOG_HEALTH ? ORV_NVME_ALL_NAMESPACES : 0;
      append(DUMP_LOG, logId, 0, page, nvmGetLogPage(handles, logId, *page, timeout, DUMP_IGNORE, nsid, 0));
    }

    for (u8 mode : kDumpInternalLogs) {
      OrvLogBuffer* log = new (std::nothrow) OrvLogBuffer();
      u64 status = log ? readInternalStatusLog(mode, *log, 0, 0, 1) : ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
      if (status) {
        delete log;
        log = nullptr;
      }
      append(DUMP_INTERNAL_LOG, internalLogTypeOf(mode), 0, log, status);
    }

    std::vector<DumpFeature> features = {{0x01, 0, true}, {0x02, 0, true}, {0x04, 0, true}, {0x05, 0, true}};
    if (ctrlIdentify->vwc.present.getValue()) features.push_back({0x06, 0, true});
    for (u32 descriptor : {0x07u, 0x08u, 0x0Au, 0x0Bu}) features.push_back({descriptor, 0, true});
    if (ctrlIdentify->apsta.autonomousTransitions.getValue()) features.push_back({0x1000C, 0, true});
    if (ctrlIdentify->oncs.reservations.getValue()) features.push_back({0x881, 0, true});
    features.push_back({0x80, 0, false});
    for (u32 nsid : reserving) {
      features.push_back({0x82, nsid, true});
      features.push_back({0x83, nsid, true});
    }
    for (const DumpFeature& feature : features) {
      u64 status = dumpFeature(feature.descriptor, feature.nsid, feature.recorded, records);
      if (status) Sleep(FEATURE_RETRY_PAUSE_MS);
    }
    return u64{0};
  };
  ORV_GUARDED(operation);
  ignoreErrorCount = ignoreBefore;
  return 0;
}

u64 OrvNvmeDev::dumpFeature(u32 descriptor, u32 nsid, bool recorded, std::vector<_OrvDevDumpItem>& records) {
  u32 length = descriptor >> 8;
  u8 featureId = static_cast<u8>(descriptor);
  OrvBuffer scratch;
  u64 status = length ? scratch.resize(length) : 0;
  OrvDevDumpFeatureBuffer* values = nullptr;
  if (status == 0) {
    values = new (std::nothrow) OrvDevDumpFeatureBuffer(length);
    if (!values) status = ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  }
  if (values) {
    auto read = [&](u8 select, OrvDevDumpFeatureHeader& header) {
      u64 result = nvmGetFeature(handles, descriptor, select, 0, scratch, timeout, DUMP_IGNORE, nsid);
      header.validity.setValue(result == 0 ? 1 : 0);
      if (result == 0) {
        header.featureValue.setValue(response.dword(0, 0, 32).getValue());
        header.dataLength.setValue(length);
        if (OrvSubBuffer* view = header.getDataView()) view->copyData(scratch, length, 0);
      }
      return result;
    };
    u64 current = read(SELECT_CURRENT, values->getCurrent());
    if (current) values->dropCurrentData();
    u64 saved = read(SELECT_SAVED, values->getSaved());
    if (saved) values->dropSavedData();
    if (current && saved) {
      delete values;
      values = nullptr;
      status = saved;
    }
  }
  if (status == 0 || recorded)
    records.push_back(_OrvDevDumpItem{DUMP_FEATURE, status, featureId, nsid, values});
  else
    delete values;
  return status;
}

}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
