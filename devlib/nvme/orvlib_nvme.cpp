#include "devlib/nvme/orvlib_nvme.h"

#include <cstring>
#include <memory>
#include <new>

#include "devlib/nvme/orvlib_buffer_nvme_logs.h"
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

}  // namespace

OrvNvmeDev::OrvNvmeDev(std::string devicePath, unsigned int requestedNamespace, bool ignoreInitError,
                       bool allocatedMode)
    : OrvBasicDev(std::move(devicePath)),
      handles(handle, &response, busType),
      namespaceId(0),
      nsIdentifyValid(false),
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

u64 OrvNvmeDev::identifyController() {
  return nvmIdentify(handles, ORV_NVM_CNS_CONTROLLER, *ctrlIdentify, timeout, 0, ignoreErrorCount);
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
  if (nsIdentify->compare(OrvNvmNsIdentify())) return ORV_LIB_STATUS(ORV_ERR_NVME_IDENTIFY);
  sectorSize = getCurrentSectorSize();
  return 0;
}

void OrvNvmeDev::probeVendorFeature() {
  OrvBuffer answer(VENDOR_FEATURE_BUFFER, ORV_LITTLE_ENDIAN);
  vendorFeatureF7 = nvmGetFeature(handles, ORV_NVM_FEATURE_VENDOR_F7, 0, 0, answer, timeout, PROBE_IGNORE, 0) == 0;
}

u32 OrvNvmeDev::getCurrentSectorSize() {
  u8 current = static_cast<u8>(nsIdentify->flbas.currentLbaFormat.getValue());
  u64 lbads = nsIdentify->getLbaFormat(current)->dataSize.getValue();
  return lbads < 32 ? 1u << lbads : 0;
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
      *bytes = directory.getLogSize(logId);
      return u64{0};
    }
    if (logId == LOG_ERRORS) *bytes = static_cast<u32>((ctrlIdentify->elpe.getValue() + 1) * ERROR_ENTRY);
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

u64 OrvNvmeDev::readErrorLog(OrvDevGenData<_OrvErrLogItem>& list) {
  return ORV_GUARDED([&] {
    u8 count = static_cast<u8>(ctrlIdentify->elpe.getValue() + 1);
    if (count == 0) return u64{0};
    OrvNvmErrInfoLog* log = new (std::nothrow) OrvNvmErrInfoLog(count);
    if (!log) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    if (u64 status = nvmGetLogPage(handles, log->getPageId(), *log, timeout, ignoreErrorCount, 0, 0)) {
      delete log;
      return status;
    }
    list.addBuffer(log);
    for (u8 index = 0; index < count; ++index) {
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

}  // namespace

u64 OrvNvmeDev::getLogDirectory(OrvDevGenData<_OrvDirEntry>& directory) {
  return ORV_GUARDED([&] {
    std::unique_ptr<OrvNvmLogDirectory> logs(new OrvNvmLogDirectory());
    if (u64 status = nvmGetLogPage(handles, LOG_DIRECTORY, *logs, timeout, PROBE_IGNORE, 0, 0)) {
      if (ctrlIdentify->vid == 0) return status;
      logs->resetZero();
      const OrvNvmCtrlIdentify& ctrl = *ctrlIdentify;
      logs->setEntry(LOG_ERRORS, static_cast<u32>((ctrl.elpe.getValue() + 1) * ERROR_ENTRY));
      logs->setEntry(0x02, 512);
      logs->setEntry(0x03, 512);
      if (ctrl.oaes.namespaceAttributeNotice.getValue()) logs->setEntry(0x04, 4096);
      if (ctrl.lpa.commandEffectsLog.getValue()) logs->setEntry(0x05, 4096);
      if (ctrl.oacs.selfTest.getValue()) logs->setEntry(0x06, 564);
      if (ctrl.lpa.telemetryLogs.getValue()) {
        logs->setEntry(LOG_TELEMETRY_HOST, 4096);
        logs->setEntry(LOG_TELEMETRY_CONTROLLER, 4096);
      }
      if (ctrl.oncs.reservations.getValue()) logs->setEntry(0x80, 64);
      if (ctrl.sanicap.getValue()) logs->setEntry(0x81, 512);
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
    if (isTelemetry(logId) && (offset || count)) {
      u64 start = (static_cast<u64>(offset) + 1) * TELEMETRY_BLOCK;
      if (start >= size) {
        osl_log(OSL_LOG_CRITICAL, "Critical: Invalid buffer length [Max log size = %u] [Input:Offset = %u]\n", size,
                static_cast<u32>(start));
        return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
      }
      if (start + static_cast<u64>(count) * TELEMETRY_BLOCK > size) {
        osl_log(OSL_LOG_CRITICAL,
                "Critical: Invalid buffer length [Max log size = %u] [Input:Offset = %u] [Input:Length = %u]\n", size,
                static_cast<u32>(start), count * TELEMETRY_BLOCK);
        return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
      }
      length = count ? count * TELEMETRY_BLOCK : static_cast<u32>(size - start);
    }
    std::string name;
    std::unique_ptr<OrvLogBuffer> log(new (std::nothrow)
                                          OrvLogBuffer(length, ORV_LITTLE_ENDIAN, logId, 0, logPageName(name, logId)));
    if (!log) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    u32 piece = maxTransferLength - (handles.securityListFlag ? TELEMETRY_BLOCK : 0);
    u32 limit = isTelemetry(logId) ? TELEMETRY_PIECE_LIMIT : LOG_PIECE_LIMIT;
    if (piece > limit || piece == 0) piece = limit;
    u32 nsid = logId == LOG_SMART ? (namespaceId ? namespaceId : ORV_NVME_ALL_NAMESPACES) : 0;
    u32 logOffset = isTelemetry(logId) ? offset * TELEMETRY_BLOCK : 0;
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
  u32 piece = maxTransferLength && maxTransferLength < LOG_PIECE_LIMIT ? maxTransferLength : LOG_PIECE_LIMIT;
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

}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
