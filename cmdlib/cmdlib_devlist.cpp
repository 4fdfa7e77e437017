#include "cmdlib/cmdlib_devlist.h"

#include <cstring>
#include <memory>
#include <new>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_cmd.h"
#include "osl/osl_model.h"

namespace DivizuCmdlib {

namespace {

u64 listStatus(u16 code, u32 line) { return _orv_orvlib_status(code, ORV_SOURCE, line); }

std::string statusText(u64 status) {
  char text[256] = {};
  orv_status_msgstr(status, text, sizeof text);
  return text;
}

bool isPhysicalDrive(const char* name) { return osl_strnieq(name, "PHYSICALDRIVE", 13); }

// Takes a text field of a drive-list entry, trimmed.
template <size_t N>
void copyTrimmed(char (&to)[N], const char (&from)[N]) {
  std::memcpy(to, from, N);
  to[N - 1] = '\0';
  osl_trim(to);
}

// A drive behind a RAID driver is told from another of its controller by its
// serial number: one that reports none cannot be.
bool reportsNoSerial(const _OrvDevProperty& record) {
  return record.serialNumber[0] == '\0' && record.commandBus == OSL_BUS_CSMI;
}

// Two records may be of one drive only when their models may be one.
bool mayBeOneModel(const _OrvDevProperty& a, const _OrvDevProperty& b) {
  return osl_may_be_one_model(a.modelNumber, a.modelField, b.modelNumber, b.modelField);
}

// A RAID controller's record is a SATA drive on one of its phys or an NVMe
// drive: a physical drive is that drive again only when it is a drive of the
// same kind (a SAS drive never is), or one whose identifiers told no kind.
bool mayBeOneKind(const _OrvDevProperty& physical, const _OrvDevProperty& raid) {
  return physical.deviceType == raid.deviceType || physical.deviceType == OSL_DEV_NONE;
}

void trimTexts(_OrvDevProperty& record) {
  osl_trim(record.firmwareRevision);
  osl_trim(record.modelNumber);
  osl_trim(record.serialNumber);
  osl_trim(record.componentId);
}

}  // namespace

DivIzuDevList::DivIzuDevList() : DivIzuDevList("", OSL_DEV_NONE, 5) {}

DivIzuDevList::DivIzuDevList(std::string id, osl_dev_type deviceFilter, u32 timeoutSeconds)
    : DivIzuGenCmd("", timeoutSeconds, 0, false, false), filter(deviceFilter) {
  deviceId = std::move(id);
}

DivIzuDevList::~DivIzuDevList() = default;

u64 DivIzuDevList::execute() {
  osl_unread_clear(&unread);
  unreadListing = 0;
  unreadRecordList.clear();
  unreadListingModels.clear();
  std::unique_ptr<_osl_dev_info> list(new (std::nothrow) _osl_dev_info());
  if (!list) return listStatus(ORV_ERR_NO_MEMORY, 39);
  records.clear();
  u64 status = osl_list_drives(list.get(), &unread);
  unreadListing = unread.count;
  for (u32 i = 0; i < unread.restModelCount; ++i)
    unreadListingModels.push_back({unread.restModels[i], unread.restModelFields[i], unread.restCounts[i]});
  if (status) return status;

  u64 probeStatus = 0;
  u32 supported = 0;
  u32 remaining = list->count;
  for (u32 i = 0; i < OSL_MAX_DRIVES && remaining > 0; ++i) {
    const _osl_dev_entry& entry = list->entries[i];
    if (entry.usable != 1 || (filter != OSL_DEV_NONE && entry.deviceType != filter) ||
        (!deviceId.empty() && !osl_dev_name_equal(entry.id, deviceId.c_str())))
      continue;
    _OrvDevProperty record = {};
    record.deviceNumber = entry.deviceNumber;
    record.commandBus = static_cast<osl_bus_type>(entry.commandBus);
    record.deviceType = static_cast<osl_dev_type>(entry.deviceType);
    record.physicalBus = static_cast<osl_bus_type>(entry.physicalBus);
    record.logicalUnit = entry.logicalUnit;
    record.medium = entry.medium;
    record.usable = entry.usable;
    copyTrimmed(record.deviceName, entry.id);
    copyTrimmed(record.firmwareRevision, entry.firmware);
    // As the listing read it until the probe reads the drive's own.
    osl_read_model(record.modelNumber, sizeof record.modelNumber, entry.model, OSL_MODEL_FIELD);
    copyTrimmed(record.serialNumber, entry.serial);
    record.modelField = entry.modelField;
    const _OrvDevProperty listed = record;

    std::string owner;
    bool isSupported = true;
    std::string reasons;
    u64 lockStatus = isDevOpLocked(getDeviceIdFName(record.deviceName), owner);
    if (orv_status_code(lockStatus) == ORV_ERR_DEVICE_LOCKED) {
      record.locked = 1;
      addUnreadDrive(listed, entry.modelField, statusText(lockStatus) + " (process " + owner + ")");
    } else {
      u64 fillStatus = 0;
      probeStatus = probe(record, isSupported, fillStatus, reasons);
      // A drive that was read told its own model, whole but for a SCSI
      // product id.
      if (record.state & VazidaRaduru::ORV_STATE_FILLED) record.modelField = filledModelField(record);
      // Until the probe has read the drive, its record holds only what the
      // descriptor said: behind a RAID controller nothing, behind a SCSI-ATA
      // translation a shortened model. Such a drive cannot be told from one
      // the caller looks for. An identification that names no drive is a
      // failed one, as the device judges it.
      // A named drive whose identification failed was not read: the list
      // answers that failure, not success.
      if (probeStatus == 0) probeStatus = fillStatus;
      // The reasons are given whole: the drive's own may follow those of
      // other disks that may be it.
      const _OrvDevProperty* named = &listed;
      u32 modelField = entry.modelField;
      std::string why;
      if (probeStatus) {
        why = statusText(probeStatus);
        if (!reasons.empty()) why += " (" + reasons + ")";
      } else if (record.modelNumber[0] == '\0')
        why = "the drive reports no model number";
      else if (reportsNoSerial(record)) {
        why = OSL_NO_SERIAL_NUMBER;
        named = &record;
        modelField = record.modelField;
      }
      if (!why.empty()) addUnreadDrive(*named, modelField, why);
    }
    if (isSupported)
      ++supported;
    else
      record.usable = 0;
    records.push_back(record);
    --remaining;
    if (!deviceId.empty()) break;
  }
  markDuplicates(records);
  list.reset();

  if (records.empty()) return deviceId.empty() ? 0 : listStatus(ORV_ERR_UNSUPPORTED_DEVICE, 236);
  if (supported == 0) return listStatus(ORV_ERR_UNSUPPORTED_DEVICE, 230);
  return deviceId.empty() ? 0 : probeStatus;
}

void DivIzuDevList::addUnreadDrive(const _OrvDevProperty& record, u32 modelField, const std::string& reason) {
  // A drive of no known kind is no drive this program updates, unless a RAID
  // driver hides it: its identifiers did not tell what drive it is.
  if (record.deviceType == OSL_DEV_NONE && record.physicalBus != OSL_BUS_RAID) return;
  osl_unread_add(&unread, record.deviceName, reason.c_str());
  unreadRecordList.push_back({record.deviceName, record.modelNumber, reason, modelField});
}

u64 DivIzuDevList::probe(_OrvDevProperty& record, bool& supported, u64& fillStatus, std::string& reasons) {
  OrvGenDev* probing = nullptr;
  osl_unread_list lookup;
  try {
    osl_lookup_scope entryModel(nullptr, record.modelNumber, record.modelField);
    probing = OrvGenDev::newOrvDevice(record.deviceName, 0, false, false, &lookup);
  } catch (u64 status) {
    return lookup.count ? lookupFailure(lookup, reasons) : status;
  } catch (...) {
    return listStatus(ORV_ERR_GENERIC, 108);
  }
  if (!probing) return listStatus(ORV_ERR_NO_MEMORY, 102);
  std::unique_ptr<OrvGenDev> owned(probing);
  probing->setTimeout(timeout);
  probing->setIgnoreError();
  probing->getPowerMode(&record.unitStatus);
  fillStatus = probing->fillDeviceInfo(record);
  if (fillStatus == 0) {
    trimTexts(record);
    probing->getMaxTransferLen(record.maxTransferLength);
  }
  if (probing->getCapacity(capacity, sectorSize, 0) != 0) sectorSize = 512;
  supported = probing->isSupportedDrive();
  return 0;
}

void DivIzuDevList::markDuplicates(std::vector<_OrvDevProperty>& records) {
  // A record without a serial number is no drive another may duplicate.
  for (_OrvDevProperty& record : records)
    if (reportsNoSerial(record)) record.usable = 0;
  // A RAID driver lists each of its drives once: only a physical drive may
  // be one of its records again.
  for (_OrvDevProperty& physical : records) {
    if (!physical.usable || !isPhysicalDrive(physical.deviceName)) continue;
    for (const _OrvDevProperty& raid : records)
      if (raid.usable && raid.commandBus == OSL_BUS_CSMI &&
          std::strcmp(raid.serialNumber, physical.serialNumber) == 0 && mayBeOneKind(physical, raid) &&
          mayBeOneModel(physical, raid))
        physical.usable = 0;
  }
}

DivIzuDevReady::DivIzuDevReady(std::string id, bool spinDownFlag, u32 timeoutSeconds)
    : DivIzuGenCmd("", timeoutSeconds, 0, false, false), spinDown(spinDownFlag) {
  try {
    device = OrvGenDev::newOrvDevice(id, 0, true, false);
  } catch (u64) {
    throw;
  } catch (...) {
    throw listStatus(ORV_ERR_GENERIC, 276);
  }
}

u64 DivIzuDevReady::execute() {
  if (!device) return ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  return spinDown ? device->spinDown(0) : device->spinUp(0);
}

}  // namespace DivizuCmdlib
