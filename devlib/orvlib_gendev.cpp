#include "devlib/orvlib_gendev.h"

#include <new>

#include "devlib/ata/orvlib_sata.h"
#include "devlib/nvme/orvlib_nvme.h"
#include "devlib/scsi/orvlib_scsi.h"
#include "osl/orv_status.h"
#include "osl/osl_log.h"

namespace VazidaRaduru {
namespace {

constexpr u8 PROBE_LOG_MASK = OSL_LOG_WARNING;
constexpr u8 FULL_LOG_MASK = OSL_LOG_DEBUG;
constexpr u32 FEATURE_SECURITY_PROTOCOLS = 6;
constexpr u32 PROTOCOL_LIST_LENGTH = 512;
constexpr u32 PROTOCOL_LIST_START = 8;

bool isPseudoHandle(const _OSL_PDEV* drive) {
  return drive->handle == OSL_RAID_B_HANDLE || drive->handle == OSL_RAID_P_HANDLE;
}

// Reads the three types of an open drive; a RAID store's pseudo handle has
// none and leaves them unknown.
u64 readTypes(_OSL_PDEV* drive, osl_bus_type* commandBus, osl_dev_type* deviceType,
              osl_bus_type* physicalBus) {
  if (isPseudoHandle(drive)) return 0;
  return osl_get_bus_dev_type(drive, commandBus, deviceType, physicalBus);
}

}  // namespace

OrvGenDev* OrvGenDev::newOrvDevice(std::string devicePath, u32 namespaceId, bool ignoreInitError,
                                   bool allocatedNsMode) {
  // Only warnings and worse reach the application while the drive is probed.
  orvlib_mask_app_log(PROBE_LOG_MASK);
  osl_bus_type commandBus = OSL_BUS_NONE;
  osl_dev_type deviceType = OSL_DEV_NONE;
  osl_bus_type physicalBus = OSL_BUS_NONE;
  u64 status = ORV_LIB_STATUS(ORV_ERR_OPEN_DEVICE);
  if (_OSL_PDEV* drive = osl_open_device(devicePath.c_str())) {
    status = readTypes(drive, &commandBus, &deviceType, &physicalBus);
    osl_close_device(drive);
  }
  orvlib_mask_app_log(FULL_LOG_MASK);
  if (status) throw status;

  OrvGenDev* device = nullptr;
  try {
    switch (deviceType) {
      case OSL_DEV_ATA:
        device = new (std::nothrow) VazidaRaduruSata::OrvSataDev(devicePath, ignoreInitError);
        break;
      case OSL_DEV_SCSI:
        device = new (std::nothrow) VazidaRaduruScsi::OrvScsiDev(devicePath, ignoreInitError);
        break;
      case OSL_DEV_NVME:
        device = new (std::nothrow)
            VazidaRaduruNvme::OrvNvmeDev(devicePath, namespaceId, ignoreInitError, allocatedNsMode);
        break;
      default:
        throw ORV_LIB_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
    }
  } catch (u64) {
    throw;
  } catch (const std::bad_alloc&) {
    throw ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  } catch (...) {
    throw ORV_LIB_STATUS(ORV_ERR_GENERIC);
  }
  if (!device) throw ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  return device;
}

OrvGenDev::OrvGenDev()
    : handle(nullptr),
      deviceType(OSL_DEV_NONE),
      busType(OSL_BUS_NONE),
      physicalBusType(OSL_BUS_NONE),
      response(252, ORV_LITTLE_ENDIAN),
      sectorSize(0),
      maxTransferLength(0),
      timeout(0),
      ignoreErrorCount(0) {}

OrvGenDev::OrvGenDev(std::string devicePath) : OrvGenDev() {
  handle = osl_open_device(devicePath.c_str());
  if (!handle) throw ORV_LIB_STATUS(ORV_ERR_OPEN_DEVICE);
  u64 status = readTypes(handle, &busType, &deviceType, &physicalBusType);
  if (status) {
    osl_close_device(handle);
    handle = nullptr;
    throw status;
  }
  maxTransferLength = isPseudoHandle(handle) ? 0 : osl_get_max_transfer_size(handle, busType);
}

OrvGenDev::~OrvGenDev() {
  if (handle) osl_close_device(handle);
  handle = nullptr;
}

u64 OrvGenDev::unsupported() { return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED); }

u64 OrvGenDev::getDriveProperties(_osl_dev_info* list) {
  if (handle && isPseudoHandle(handle)) return 0;
  return osl_drive_query(handle, list);
}

u64 OrvGenDev::setIgnoreError() {
  if (ignoreErrorCount == 255) return ORV_LIB_STATUS(ORV_ERR_GENERIC);
  ++ignoreErrorCount;
  return 0;
}

void OrvGenDev::unsetIgnoreError() {
  if (ignoreErrorCount > 0) --ignoreErrorCount;
}

bool OrvGenDev::isDeferredFwDnldSupported() {
  if (busType != OSL_BUS_NVME) return true;
  return osl_require_win10() == 0;
}

bool OrvGenDev::isIoSupported() {
  switch (deviceType) {
    case OSL_DEV_ATA:
      return busType == OSL_BUS_SATA || busType == OSL_BUS_ATA || busType == OSL_BUS_SAS ||
             busType == OSL_BUS_SCSI || busType == OSL_BUS_CSMI;
    case OSL_DEV_SCSI:
      return busType == OSL_BUS_SAS || busType == OSL_BUS_SCSI;
    case OSL_DEV_NVME:
      return true;
    default:
      return false;
  }
}

bool OrvGenDev::isSecurityProtocolSupported(u8 protocol) {
  try {
    if (!isFeatureSupported(FEATURE_SECURITY_PROTOCOLS)) return false;
    OrvBuffer list(PROTOCOL_LIST_LENGTH, ORV_BIG_ENDIAN);
    if (securityReceive(0, list, 0, 1) != 0) return false;
    // The list length is a 16-bit count: its end wraps as the count does.
    u16 last = static_cast<u16>(list.word(6, 0, 16).getValue() + PROTOCOL_LIST_START - 1);
    for (u32 offset = PROTOCOL_LIST_START; offset <= last; ++offset)
      if (list.byte(offset, 0, 8).getValue() == protocol) return true;
  } catch (...) {
    // A list that claims more than the buffer holds ends the search.
  }
  return false;
}

bool OrvGenDev::hasActivePartition() { return handle && osl_has_partitions(handle, 0) != 0; }

u64 OrvGenDev::getMaxTransferLen(u32& length) {
  length = maxTransferLength;
  return maxTransferLength ? 0 : ORV_LIB_STATUS(ORV_ERR_OPEN_DEVICE);
}

u64 OrvGenDev::getContollerId(u16& id) {
  id = 0;
  return 0;
}

bool OrvGenDev::requireFormatUnitProgPoll() { return false; }

u64 OrvGenDev::formatUnitProgress(u8& percent, bool&) {
  percent = 100;
  return 0;
}

u64 OrvGenDev::refresh() { return 0; }

u64 OrvGenDev::sanitize(_OrvSanitizeMode) { return unsupported(); }
u64 OrvGenDev::securityEnable(std::string) { return unsupported(); }
u64 OrvGenDev::securityDisable(std::string, bool) { return unsupported(); }
u64 OrvGenDev::rezero() { return unsupported(); }
u64 OrvGenDev::readModeDir(OrvDevGenData<_OrvDirEntry>&) { return unsupported(); }
u64 OrvGenDev::readModePage(u8, u8, OrvDevGenData<_OrvModeItem>&, bool) { return unsupported(); }
u64 OrvGenDev::readModeDesc(OrvDevGenData<_OrvModeItem>&, bool) { return unsupported(); }
u64 OrvGenDev::writeModePage(OrvDevGenData<_OrvModeItem>&) { return unsupported(); }
u64 OrvGenDev::flushMediaCache() { return unsupported(); }
u64 OrvGenDev::initMediaCache() { return unsupported(); }
u64 OrvGenDev::getMediaCacheUsage(u16&) { return unsupported(); }
u64 OrvGenDev::getNamespaceList(OrvDevGenData<_OrvNvmNsItem>&, bool) { return unsupported(); }
u64 OrvGenDev::getControllerList(OrvDevGenData<_OrvNvmCtlItem>&) { return unsupported(); }
u64 OrvGenDev::createNamespace(u64, u64, u32, bool, u8, bool, bool, u32&) { return unsupported(); }
u64 OrvGenDev::deleteNamespace(u32) { return unsupported(); }
u64 OrvGenDev::changeNamespace(u32, bool) { return unsupported(); }
u64 OrvGenDev::attachNamespace(_OrvNsAttachAction, u32) { return unsupported(); }
u64 OrvGenDev::getMetaDataConfig(u32&, bool&, bool&) { return unsupported(); }

}  // namespace VazidaRaduru
