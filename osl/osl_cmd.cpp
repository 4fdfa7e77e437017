// Open drives and the command dispatcher; the drive list, what its listings
// could not read (osl_unread.h), and the per-drive queries the device layer
// asks when it opens a drive.
#include "osl/osl_cmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_csmi.h"
#include "osl/osl_log.h"
#include "osl/osl_model.h"
#include "osl/osl_nvme.h"
#include "osl/osl_sata.h"
#include "osl/osl_scsi.h"
#include "osl/osl_storage.h"

namespace {

constexpr u32 OPEN_ID_LIMIT = 248;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A non-empty run of decimal digits whose value is 0 to 255.
bool parseRaidNumber(const char* begin, const char* end, u8* out) {
  if (begin == end) return false;
  u32 value = 0;
  for (const char* p = begin; p < end; ++p) {
    if (!isDigit(*p)) return false;
    value = value * 10 + static_cast<u32>(*p - '0');
    if (value > 255) return false;
  }
  *out = static_cast<u8>(value);
  return true;
}

}  // namespace

u64 osl_parse_dev_id(const char* id, u8* port, u8* target, u8* kind, u64* handle) {
  *target = OSL_NO_TARGET;
  const char* colon = std::strchr(id, ':');
  if (!colon) return 0;

  if (std::strncmp(id, "raid_", 5) == 0) {
    char store = id[5];
    if (store != 'b' && store != 'p') return 0;
    u8 first = 0;
    u8 second = 0;
    if (!parseRaidNumber(id + 6, colon, &first)) return 0;
    if (!parseRaidNumber(colon + 1, colon + std::strlen(colon), &second)) return 0;
    HANDLE pseudo = store == 'b' ? OSL_RAID_B_HANDLE : OSL_RAID_P_HANDLE;
    *handle = static_cast<u64>(reinterpret_cast<uintptr_t>(pseudo));
    *port = first;
    *target = second;
    return 0;
  }

  *kind = static_cast<u8>(colon[1]);
  const char* number = colon[1] ? colon + 2 : colon + 1;
  u64 status = osl_strtou8(number, target);
  if (status) return status;

  const char* digits = colon;
  while (digits > id && isDigit(digits[-1])) --digits;
  size_t count = static_cast<size_t>(colon - digits);
  if (count >= 1 && count <= 3) {
    char portText[4] = {};
    std::memcpy(portText, digits, count);
    status = osl_strtou8(portText, port);
    if (status) return status;
  }
  return 0;
}

_OSL_PDEV* osl_open_device(const char* id) {
  if (!id) return nullptr;
  size_t length = strnlen(id, OPEN_ID_LIMIT);
  osl_log(OSL_LOG_INFO, "Info: Opening Physical drive: %s\n", id);
  if (length >= OPEN_ID_LIMIT) return nullptr;
  char copy[256] = {};
  std::memcpy(copy, id, length);

  _OSL_PDEV* drive = static_cast<_OSL_PDEV*>(std::calloc(1, sizeof(_OSL_PDEV)));
  if (!drive) return nullptr;
  u64 handle = 0;
  if (osl_parse_dev_id(copy, &drive->port, &drive->target, &drive->kind, &handle) != 0) {
    // An id that does not parse names no drive.
    std::free(drive);
    return nullptr;
  }
  drive->handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle));
  if (!osl_is_pseudo_handle(drive->handle)) {
    if (drive->target == OSL_NO_TARGET) {
      WCHAR path[4 + 256] = {OSL_W('\\'), OSL_W('\\'), OSL_W('.'), OSL_W('\\')};
      drive->handle = INVALID_HANDLE_VALUE;
      if (MultiByteToWideChar(CP_ACP, 0, copy, -1, path + 4, 256) > 0)
        drive->handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (osl_csmi_open(drive) != 0) {
      if (drive->handle && drive->handle != INVALID_HANDLE_VALUE) CloseHandle(drive->handle);
      drive->handle = INVALID_HANDLE_VALUE;
    }
  }
  if (drive->handle == INVALID_HANDLE_VALUE || drive->handle == nullptr) {
    std::free(drive);
    return nullptr;
  }
  return drive;
}

void osl_close_device(_OSL_PDEV* drive) {
  if (!drive) return;
  osl_log(OSL_LOG_INFO, "Info: Closing Physical drive\n");
  if (drive->handle && drive->handle != INVALID_HANDLE_VALUE && !osl_is_pseudo_handle(drive->handle))
    CloseHandle(drive->handle);
  std::free(drive);
}

_OSL_PDEV* osl_dup_device(_OSL_PDEV* drive) {
  _OSL_PDEV* copy = static_cast<_OSL_PDEV*>(std::calloc(1, sizeof(_OSL_PDEV)));
  if (!copy) return nullptr;
  copy->handle = INVALID_HANDLE_VALUE;
  if (!drive) return copy;
  // The address goes with the handle: a drive behind a RAID controller is
  // named by its port, target and kind.
  copy->port = drive->port;
  copy->target = drive->target;
  copy->kind = drive->kind;
  copy->disk = drive->disk;
  if (drive->handle && drive->handle != INVALID_HANDLE_VALUE && !osl_is_pseudo_handle(drive->handle)) {
    HANDLE duplicate = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), drive->handle, GetCurrentProcess(), &duplicate, 0,
                        FALSE, DUPLICATE_SAME_ACCESS))
      copy->handle = duplicate;
  }
  return copy;
}

u64 osl_ioctl(_OSL_PDEV* drive, u32 controlCode, void* in, u32 inLength, void* out,
              u32 outLength, u32* lastError) {
  if (lastError) *lastError = 0;
  DWORD returned = 0;
  if (drive && DeviceIoControl(drive->handle, controlCode, in, inLength, out, outLength,
                               &returned, nullptr))
    return 0;
  if (lastError) *lastError = drive ? static_cast<u32>(GetLastError()) : ERROR_INVALID_HANDLE;
  return ORV_OSL_STATUS(ORV_ERR_GENERIC);
}

u64 osl_send_command(_OSL_PDEV* drive, _osl_dev_cmd* request, osl_bus_type commandBus,
                     osl_cmd_type kind) {
  if (!drive || !drive->handle || !request) return ORV_OSL_STATUS(ORV_ERR_GENERIC);
  switch (commandBus) {
    case OSL_BUS_SATA:
      return osl_ata_send(drive, request->command, request->commandLength, request->direction,
                          request->data, request->dataLength, request->response,
                          request->responseLength, request->timeoutSeconds,
                          request->ignoreError != 0);
    case OSL_BUS_SAS: {
      request->reachedDrive = 0;
      if (kind == OSL_CMD_REFUSED) return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
      u32 error = 0;
      u64 status = osl_scsi_send(drive, request->command, request->commandLength, request->direction,
                                 request->data, request->dataLength, request->response,
                                 request->responseLength, request->timeoutSeconds, true,
                                 request->ignoreError != 0, (request->flags & OSL_CMD_FLAG_BUFFERED) != 0,
                                 &error);
      request->reachedDrive = error == 0 ? 1 : 0;
      return status;
    }
    case OSL_BUS_CSMI:
      return osl_csmi_nvme_send(drive, request->command, request->commandLength,
                                request->direction, request->data, request->dataLength,
                                request->response, request->responseLength, kind,
                                request->timeoutSeconds, request->ignoreError != 0);
    case OSL_BUS_NVME:
      return osl_nvme_send(drive, request->command, request->commandLength, request->direction,
                           request->data, request->dataLength, request->response,
                           request->responseLength, kind, request->timeoutSeconds,
                           request->ignoreError != 0,
                           (request->flags & OSL_CMD_FLAG_NVME_SECLIST) != 0,
                           (request->flags & OSL_CMD_FLAG_NVME_EFFECTS) != 0);
    default:
      return ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
  }
}

void osl_log_ioctl_failure(int level, u32 error) {
  // Under the ignore-error flag a failure still shows, as a warning.
  if (level == OSL_LOG_INFO && error != 0) level = OSL_LOG_WARNING;
  osl_log_at(level, "IOCTL Failure: (error: %u)\n", error);
}

void osl_log_cdb(int, const u8* block, u32 length) {
  if (!block || length == 0) return;
  char* text = static_cast<char*>(std::malloc(static_cast<size_t>(length) * 3 + 1));
  osl_log(OSL_LOG_INFO, "\n");
  if (!text) {
    osl_log(OSL_LOG_INFO, "Info: CDB: Error logging CDB (Memory overflow)\n");
    return;
  }
  for (u32 i = 0; i < length; ++i) std::snprintf(text + i * 3, 4, "%02x ", block[i]);
  osl_log(OSL_LOG_INFO, "Info: CDB: %s\n", text);
  std::free(text);
}

// ---------------------------------------------------------------------------
// The drive list.

namespace {

constexpr const char* ATA_VENDOR = "ATA     ";
constexpr const char* NVME_VENDOR = "NVMe    ";

// A text of a descriptor that the driver filled up to usedLength bytes: at
// most limit characters from offset, or false when there is none.
bool descriptorText(const void* descriptor, u32 usedLength, u32 offset, u32 limit, char* out) {
  out[0] = '\0';
  if (offset == 0 || offset >= usedLength) return false;
  const char* text = static_cast<const char*>(descriptor) + offset;
  u32 length = 0;
  while (length < limit && offset + length < usedLength && text[length]) ++length;
  std::memcpy(out, text, length);
  out[length] = '\0';
  return true;
}

// How much of a descriptor the driver filled, within the buffer.
u32 usedLength(const void* descriptor, u32 bufferLength) {
  if (bufferLength < sizeof(STORAGE_DESCRIPTOR_HEADER)) return 0;
  u32 size = static_cast<const STORAGE_DESCRIPTOR_HEADER*>(descriptor)->Size;
  return size < bufferLength ? size : bufferLength;
}

// The model a device descriptor (usedLength bytes of it) gives, for a drive
// the command bus reaches. Windows' AHCI and NVMe drivers give the drive's
// own model; the others a SCSI product identification, which holds 16
// characters of it. A missing or blank one tells nothing of the model.
void readDescriptorModel(const STORAGE_DEVICE_DESCRIPTOR* descriptor, u32 usedLength, osl_bus_type commandBus,
                         _osl_dev_entry* entry) {
  char field[OSL_MODEL_FIELD + 1];
  bool hasModel = descriptorText(descriptor, usedLength, descriptor->ProductIdOffset, OSL_MODEL_FIELD, field);
  osl_read_model(entry->model, sizeof entry->model, hasModel ? field : "UNKNOWN", OSL_MODEL_FIELD);
  bool ownModel = commandBus == OSL_BUS_SATA || commandBus == OSL_BUS_NVME;
  entry->modelField = hasModel && osl_model_start(field)[0] ? ownModel ? OSL_MODEL_FIELD : OSL_PRODUCT_ID_FIELD : 0;
}

u32 vendorOf(const STORAGE_DEVICE_DESCRIPTOR* descriptor, u32 length, char* vendor) {
  return descriptorText(descriptor, usedLength(descriptor, length), descriptor->VendorIdOffset,
                        63, vendor);
}

bool isWindows10() { return osl_windows_at_least(10, 0); }

// Whether an NVMe drive on Windows 10 reports no serial number: none, an
// empty or blank one, or the one Windows makes up (only "0", "." and "_")
// for a drive whose real serial it cannot read. The serial is judged as the
// list keeps it, trimmed: a blank one is empty.
bool lacksSerialNumber(osl_dev_type deviceType, const char* serial) {
  if (deviceType != OSL_DEV_NVME || !isWindows10()) return false;
  char trimmedSerial[21];
  osl_strcpy(trimmedSerial, sizeof trimmedSerial, serial);
  osl_trim(trimmedSerial);
  for (const char* p = trimmedSerial; *p; ++p)
    if (*p != '0' && *p != '.' && *p != '_') return false;
  return true;
}

bool isOccupied(const _osl_dev_entry& entry) { return entry.id[0] != '\0'; }

u64 queryProperty(_OSL_PDEV* drive, STORAGE_PROPERTY_ID property, void* out, u32 length,
                  u32* error = nullptr) {
  std::memset(out, 0, length);
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = property;
  query.QueryType = PropertyStandardQuery;
  u32 failure = 0;
  if (osl_ioctl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out, length, &failure) ==
      0)
    return 0;
  osl_log_ioctl_failure(OSL_LOG_ERROR, failure);
  if (error) *error = failure;
  return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
}

// osl_describe_drive, telling why a drive could not be described (why holds
// OSL_UNREAD_TEXT bytes) and where its entry went. unplaced: the model of a
// drive whose descriptor was read but that has no place in the list. place:
// where the disk is, as far as it was read; targetUnread: a RAID driver may
// present the disk at a target that was not read.
u64 describeDrive(_OSL_PDEV* drive, DEVINST node, _osl_dev_info* list, char* why, u32* placed,
                  _osl_dev_entry* unplaced, osl_unread_place* place, bool* targetUnread) {
  STORAGE_DEVICE_NUMBER number = {};
  u32 error = 0;
  if (osl_ioctl(drive, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                &error) != 0) {
    osl_strcpy(why, OSL_UNREAD_TEXT, osl_call_failure("IOCTL_STORAGE_GET_DEVICE_NUMBER", error).c_str());
    *targetUnread = true;
    return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
  }
  place->deviceNumber = number.DeviceNumber;
  alignas(8) u8 descriptor[OSL_DESCRIPTOR_LENGTH];
  u64 status = queryProperty(drive, StorageDeviceProperty, descriptor, sizeof descriptor, &error);
  if (status) {
    osl_strcpy(why, OSL_UNREAD_TEXT, osl_call_failure("IOCTL_STORAGE_QUERY_PROPERTY", error).c_str());
    *targetUnread = true;
    return status;
  }
  const auto* fixed = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(descriptor);
  *targetUnread = fixed->BusType == BusTypeRAID;
  // The list has a place for device numbers 0 to 255 only.
  if (number.DeviceNumber >= OSL_MAX_DRIVES) {
    // A RAID driver's descriptor gives a SCSI product identification,
    // whatever drive is behind it: its bus needs no more requests.
    osl_bus_type commandBus = OSL_BUS_NONE, physicalBus = OSL_BUS_NONE;
    osl_dev_type deviceType = OSL_DEV_NONE;
    if (fixed->BusType != BusTypeRAID)
      osl_bus_dev_from_descriptor(drive, fixed, sizeof descriptor, &commandBus, &deviceType, &physicalBus, nullptr);
    readDescriptorModel(fixed, usedLength(descriptor, sizeof descriptor), commandBus, unplaced);
    std::snprintf(why, OSL_UNREAD_TEXT, "device number %u has no place in the drive list",
                  static_cast<unsigned>(number.DeviceNumber));
    return ORV_OSL_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
  }

  *placed = number.DeviceNumber;
  _osl_dev_entry& entry = list->entries[number.DeviceNumber];
  bool seenBefore = isOccupied(entry);
  status = osl_fill_dev_entry(drive, number.DeviceNumber,
                              reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(descriptor),
                              sizeof descriptor, &entry, node, why);
  entry.logicalUnit = OSL_NO_LUN;
  if (entry.deviceType == OSL_DEV_NVME) {
    u8 pathId = 0;
    u8 logicalUnit = 0;
    if (osl_scsi_get_address(drive, &pathId, 0, &logicalUnit) == 0) entry.logicalUnit = logicalUnit;
  }
  if (!seenBefore) ++list->count;
  place->target = drive->target;
  if (drive->target != OSL_NO_TARGET) *targetUnread = false;
  return status;
}

// The device node of the disk with this device number, for a caller that
// holds only the disk's handle.
u64 diskNode(u32 deviceNumber, DEVINST* node, std::string* why) {
  HDEVINFO set = SetupDiGetClassDevsW(&OSL_DISK_INTERFACE_GUID, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  *why = osl_call_failure("SetupDiGetClassDevsW", GetLastError());
  if (set == INVALID_HANDLE_VALUE) return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
  *why = "no disk interface has device number " + std::to_string(deviceNumber);
  *node = 0;
  for (DWORD index = 0; index < OSL_MAX_DRIVES + 1 && *node == 0; ++index) {
    osl_interface_open disk;
    if (osl_open_interface(set, OSL_DISK_INTERFACE_GUID, index, &disk) != 0) {
      if (disk.ended) break;
      continue;
    }
    _OSL_PDEV opened = {};
    opened.handle = disk.handle;
    STORAGE_DEVICE_NUMBER number = {};
    if (osl_ioctl(&opened, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, nullptr) == 0 &&
        number.DeviceNumber == deviceNumber)
      *node = disk.node;
    CloseHandle(disk.handle);
  }
  SetupDiDestroyDeviceInfoList(set);
  return *node ? 0 : ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
}

// How a failure names a disk opened by itself: PHYSICALDRIVEn.
std::string diskName(_OSL_PDEV* drive) {
  STORAGE_DEVICE_NUMBER number = {};
  if (osl_ioctl(drive, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, nullptr) != 0)
    return "the disk";
  return "PHYSICALDRIVE" + std::to_string(number.DeviceNumber);
}

}  // namespace

bool osl_descriptor_text(const void* descriptor, u32 bufferLength, u32 offset, u32 limit,
                         char* out) {
  return descriptorText(descriptor, usedLength(descriptor, bufferLength), offset, limit, out);
}

u64 osl_query_device_descriptor(_OSL_PDEV* drive, void* out) {
  u32 error = 0;
  if (queryProperty(drive, StorageDeviceProperty, out, OSL_DESCRIPTOR_LENGTH, &error) == 0) return 0;
  return osl_lookup_failure(diskName(drive).c_str(), osl_call_failure("IOCTL_STORAGE_QUERY_PROPERTY", error).c_str());
}

u64 osl_query_adapter_descriptor(_OSL_PDEV* drive, void* out) {
  return queryProperty(drive, StorageAdapterProperty, out, OSL_DESCRIPTOR_LENGTH);
}

u64 osl_query_device_ids(_OSL_PDEV* drive, void* out, u32* error) {
  return queryProperty(drive, StorageDeviceIdProperty, out, OSL_DEVICE_ID_LENGTH, error);
}

u64 osl_query_seek_penalty(_OSL_PDEV* drive, u8* noSeekPenalty) {
  DEVICE_SEEK_PENALTY_DESCRIPTOR answer = {};
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceSeekPenaltyProperty;
  query.QueryType = PropertyStandardQuery;
  u32 error = 0;
  if (osl_ioctl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &answer,
                sizeof answer, &error) != 0) {
    osl_log_ioctl_failure(OSL_LOG_WARNING, error);
    return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
  }
  *noSeekPenalty = answer.IncursSeekPenalty ? 0 : 1;
  return 0;
}

namespace {

osl_unread_list* lookupRecord = nullptr;
const osl_lookup_scope* innermostScope = nullptr;

// A drive whose model was read from a field of `field` characters may be the
// drive looked up.
bool mayBeLookedUpModel(const char* model, u8 field) {
  return !innermostScope || innermostScope->admits(model, field);
}

// Whether a text may be the drive with this id (null: any drive): not
// placed under another id (textId), and of a model every scope open admits.
bool mayBeDrive(const char* textId, const char* model, u8 field, const char* id) {
  bool placedElsewhere = id && textId[0] != '\0' && !osl_dev_name_equal(textId, id);
  return !placedElsewhere && mayBeLookedUpModel(model, field);
}

// The id of the list's drive, for mayBeDrive.
const char* listDrive(const osl_unread_list* unread) { return unread->drive[0] ? unread->drive : nullptr; }

// Whether a listing met a text at the place of the list's drive.
bool isDrivesPlace(const osl_unread_list* unread, const osl_unread_place& place) {
  if (unread->driveNumber != OSL_NO_DEVICE_NUMBER)
    return place.everyDisk || place.deviceNumber == unread->driveNumber;
  if (unread->drivePort < 0) return false;
  // A failure of the drive's controller (its port), or of every port.
  if (place.everyPort || (place.port == unread->drivePort && place.target == OSL_NO_TARGET)) return true;
  if (unread->driveTarget == OSL_NO_TARGET) return false;
  // A disk the RAID driver presents at the drive's target, on a controller
  // that is the drive's or that cannot be told.
  return place.everyDisk ||
         (place.target == unread->driveTarget && (place.port < 0 || place.port == unread->drivePort));
}

// Whether a reading fills its field: a cut there may have fallen anywhere
// in the model, and the blanks before it took room of the model.
bool fillsField(const char* reading, u8 field) { return std::strlen(reading) >= field; }

// Whether a slot of the drives past the kept ones counts this reading: one
// field, and one model past the blanks that pad it (osl_unread_list).
bool countsWith(const char* slot, u8 slotField, const char* reading, u8 field) {
  if (slotField != field) return false;
  if (fillsField(slot, field) || fillsField(reading, field)) return std::strcmp(slot, reading) == 0;
  return std::strcmp(osl_model_start(slot), osl_model_start(reading)) == 0;
}

size_t blanksBefore(const char* reading) { return static_cast<size_t>(osl_model_start(reading) - reading); }

// Counts one drive past the kept ones by its model, read as osl_read_model
// keeps it.
void countPast(osl_unread_list* unread, const char* model, u8 modelField, u32 drives = 1) {
  u32 slot = 0;
  while (slot < unread->restModelCount && slot < OSL_UNREAD_KEPT &&
         !countsWith(unread->restModels[slot], unread->restModelFields[slot], model, modelField))
    ++slot;
  if (slot == unread->restModelCount) {
    // A slot of its own, or the one of no model known past the models told
    // apart.
    bool told = slot < OSL_UNREAD_KEPT;
    osl_strcpy(unread->restModels[slot], sizeof unread->restModels[slot], told ? model : "");
    unread->restModelFields[slot] = told ? modelField : 0;
    unread->restCounts[slot] = 0;
    ++unread->restModelCount;
  } else if (slot < OSL_UNREAD_KEPT && blanksBefore(model) > blanksBefore(unread->restModels[slot])) {
    osl_strcpy(unread->restModels[slot], sizeof unread->restModels[slot], model);
  }
  unread->restCounts[slot] += drives;
}

// Whether the kept text at index is one the list keeps whatever the count:
// met at the drive's own place, and possibly the drive.
bool isHeld(const osl_unread_list* unread, u32 index) {
  return unread->own[index] && osl_unread_may_be(unread, index, listDrive(unread));
}

void moveKept(osl_unread_list* unread, u32 from, u32 to) {
  std::memcpy(unread->texts[to], unread->texts[from], sizeof unread->texts[to]);
  std::memcpy(unread->models[to], unread->models[from], sizeof unread->models[to]);
  unread->modelFields[to] = unread->modelFields[from];
  std::memcpy(unread->ids[to], unread->ids[from], sizeof unread->ids[to]);
  unread->own[to] = unread->own[from];
}

// The place of a held text past the kept ones: that of the last kept text
// that is not held, which is counted from now on with those past the kept
// ones, the texts after it moving up so that they stay in the order they
// came in. OSL_UNREAD_KEPT when every kept text is held.
u32 makeRoomForHeld(osl_unread_list* unread) {
  u32 last = OSL_UNREAD_KEPT;
  while (last > 0 && isHeld(unread, last - 1)) --last;
  if (last == 0) return OSL_UNREAD_KEPT;
  const u32 out = last - 1;
  if (osl_unread_may_be(unread, out, listDrive(unread)))
    countPast(unread, unread->models[out], unread->modelFields[out]);
  else
    ++unread->restOthers;
  for (u32 i = last; i < OSL_UNREAD_KEPT; ++i) moveKept(unread, i, i - 1);
  return OSL_UNREAD_KEPT - 1;
}

void keepUnread(osl_unread_list* unread, const char* text, const char* model, u8 modelField, const char* id,
                bool own) {
  char modelRead[sizeof unread->models[0]];
  osl_read_model(modelRead, sizeof modelRead, model, OSL_MODEL_FIELD);
  u32 kept = osl_unread_kept(unread);
  ++unread->count;
  if (kept >= OSL_UNREAD_KEPT) {
    bool held = own && mayBeDrive(id, modelRead, modelField, listDrive(unread));
    kept = held ? makeRoomForHeld(unread) : OSL_UNREAD_KEPT;
  }
  if (kept == OSL_UNREAD_KEPT) {
    countPast(unread, modelRead, modelField);
    return;
  }
  osl_strcpy(unread->texts[kept], OSL_UNREAD_TEXT, text);
  osl_strcpy(unread->models[kept], sizeof modelRead, modelRead);
  unread->modelFields[kept] = modelField;
  osl_strcpy(unread->ids[kept], sizeof unread->ids[kept], id);
  unread->own[kept] = own;
}

void addUnread(osl_unread_list* unread, const char* what, const char* why, const _osl_dev_entry* entry,
               const char* id, bool own) {
  if (!unread) return;
  osl_log(OSL_LOG_ERROR, "Error: Could not read %s: %s\n", what, why);
  char text[OSL_UNREAD_TEXT];
  std::snprintf(text, sizeof text, "%s: %s", what, why);
  keepUnread(unread, text, entry ? entry->model : "", entry ? entry->modelField : 0, id, own);
}

}  // namespace

void osl_unread_for_drive(osl_unread_list* unread, const char* id) {
  osl_dev_name(id, unread->drive);
  unread->driveNumber = OSL_NO_DEVICE_NUMBER;
  unread->drivePort = -1;
  unread->driveTarget = OSL_NO_TARGET;
  const char* name = unread->drive;
  const u32 prefix = 13;  // "PHYSICALDRIVE"
  if (osl_strnieq(name, "PHYSICALDRIVE", prefix)) {
    u32 number = 0;
    if (osl_strtou32(name + prefix, &number) == 0) unread->driveNumber = number;
    return;
  }
  u8 port = 0, target = OSL_NO_TARGET, kind = 0;
  u64 handle = 0;
  if (!std::strchr(name, ':') || osl_parse_dev_id(name, &port, &target, &kind, &handle) != 0 || handle != 0) return;
  if (kind != 'r' && kind != 'p') return;
  unread->drivePort = port;
  if (kind == 'r') unread->driveTarget = target;
}

void osl_unread_clear(osl_unread_list* unread) {
  unread->count = 0;
  unread->restModelCount = 0;
  unread->restOthers = 0;
}

void osl_unread_add(osl_unread_list* unread, const char* what, const char* why, const _osl_dev_entry* entry,
                    const osl_unread_place& place) {
  addUnread(unread, what, why, entry, "", unread && isDrivesPlace(unread, place));
}

void osl_unread_add_placed(osl_unread_list* unread, const char* what, const char* why, const _osl_dev_entry& entry) {
  // Placed under the drive's own id, the text is the drive's.
  bool own = unread && unread->drive[0] && osl_dev_name_equal(entry.id, unread->drive);
  addUnread(unread, what, why, &entry, entry.id, own);
}

bool osl_unread_may_be(const osl_unread_list* unread, u32 index, const char* id) {
  return mayBeDrive(unread->ids[index], unread->models[index], unread->modelFields[index], id);
}

u32 osl_unread_kept(const osl_unread_list* unread) {
  u32 past = unread->restOthers;
  for (u32 slot = 0; slot < unread->restModelCount; ++slot) past += unread->restCounts[slot];
  return unread->count - past;
}

u32 osl_unread_rest_for(const osl_unread_list* unread) {
  u32 count = 0;
  for (u32 slot = 0; slot < unread->restModelCount; ++slot)
    if (mayBeLookedUpModel(unread->restModels[slot], unread->restModelFields[slot]))
      count += unread->restCounts[slot];
  return count;
}

u32 osl_unread_count_for(const osl_unread_list* unread, const char* id) {
  u32 count = 0;
  const u32 kept = osl_unread_kept(unread);
  for (u32 i = 0; i < kept; ++i)
    if (osl_unread_may_be(unread, i, id)) ++count;
  // Those beyond the kept ones are told apart by model only.
  return count + osl_unread_rest_for(unread);
}

std::string osl_call_failure(const char* call, u32 error) {
  return std::string(call) + " failed (error: " + std::to_string(error) + ")";
}

void osl_unread_call(osl_unread_list* unread, const char* what, const char* call, u32 error,
                     const osl_unread_place& place) {
  osl_unread_add(unread, what, osl_call_failure(call, error).c_str(), nullptr, place);
}

u64 osl_lookup_failure(const char* what, const char* why) {
  osl_unread_list logged;
  addUnread(lookupRecord ? lookupRecord : &logged, what, why, nullptr, "", true);
  return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
}

u64 osl_lookup_unread(const osl_unread_list* unread, const char* id) {
  if (osl_unread_count_for(unread, id) == 0) return 0;
  if (lookupRecord) {
    const u32 kept = osl_unread_kept(unread);
    for (u32 i = 0; i < kept; ++i)
      if (osl_unread_may_be(unread, i, id))
        keepUnread(lookupRecord, unread->texts[i], unread->models[i], unread->modelFields[i], unread->ids[i],
                   unread->own[i]);
    for (u32 slot = 0; slot < unread->restModelCount; ++slot)
      if (mayBeLookedUpModel(unread->restModels[slot], unread->restModelFields[slot])) {
        lookupRecord->count += unread->restCounts[slot];
        countPast(lookupRecord, unread->restModels[slot], unread->restModelFields[slot], unread->restCounts[slot]);
      }
  }
  return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
}

osl_lookup_scope::osl_lookup_scope(osl_unread_list* record, const char* model, u8 modelField)
    : outerRecord_(lookupRecord), outer_(innermostScope), knowsModel_(model != nullptr), model_(), modelField_(0) {
  if (record) lookupRecord = record;
  if (model) {
    // Kept as the unread texts' models are.
    osl_read_model(model_, sizeof model_, model, OSL_MODEL_FIELD);
    modelField_ = modelField;
  }
  innermostScope = this;
}

bool osl_lookup_scope::admits(const char* model, u8 field) const {
  for (const osl_lookup_scope* scope = this; scope; scope = scope->outer_)
    if (scope->knowsModel_ && !osl_may_be_one_model(model, field, scope->model_, scope->modelField_)) return false;
  return true;
}

osl_lookup_scope::~osl_lookup_scope() {
  lookupRecord = outerRecord_;
  innermostScope = outer_;
}

namespace {

// Reads one interface's path and device node; the detail (with the wide
// path) is handed to the caller to free when it asks for it.
u16 readInterface(HDEVINFO set, const GUID& interfaceClass, DWORD index, osl_interface_open* out,
                  SP_DEVICE_INTERFACE_DETAIL_DATA_W** kept) {
  *out = {};
  out->handle = INVALID_HANDLE_VALUE;
  auto fail = [out](const char* call, u32 error, u16 code) {
    out->failedCall = call;
    out->error = error;
    return code;
  };
  SP_DEVICE_INTERFACE_DATA interfaceData = {};
  interfaceData.cbSize = sizeof interfaceData;
  if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &interfaceData)) {
    DWORD error = GetLastError();
    out->ended = error == ERROR_NO_MORE_ITEMS;
    return fail("SetupDiEnumDeviceInterfaces", error, ORV_ERR_UNSUPPORTED_DEVICE);
  }
  DWORD required = 0;
  BOOL sized = SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
  DWORD error = GetLastError();
  if (sized || error != ERROR_INSUFFICIENT_BUFFER || required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
    return fail("SetupDiGetDeviceInterfaceDetailW", sized ? 0 : error, ORV_ERR_DEVICE_DETAIL);
  auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::calloc(1, required));
  if (!detail) return fail("calloc", ERROR_NOT_ENOUGH_MEMORY, ORV_ERR_NO_MEMORY);
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr, &device)) {
    error = GetLastError();
    std::free(detail);
    return fail("SetupDiGetDeviceInterfaceDetailW", error, ORV_ERR_DEVICE_DETAIL);
  }
  out->node = device.DevInst;
  if (WideCharToMultiByte(CP_ACP, 0, detail->DevicePath, -1, out->path, sizeof out->path, nullptr,
                          nullptr) == 0)
    out->path[0] = '\0';
  if (kept)
    *kept = detail;
  else
    std::free(detail);
  return 0;
}

}  // namespace

u16 osl_read_interface(HDEVINFO set, const GUID& interfaceClass, DWORD index, osl_interface_open* out) {
  return readInterface(set, interfaceClass, index, out, nullptr);
}

u16 osl_open_interface(HDEVINFO set, const GUID& interfaceClass, DWORD index, osl_interface_open* out) {
  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = nullptr;
  if (u16 failure = readInterface(set, interfaceClass, index, out, &detail)) return failure;
  HANDLE opened = CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD error = GetLastError();
  std::free(detail);
  if (opened == INVALID_HANDLE_VALUE || opened == nullptr) {
    out->failedCall = "CreateFileW";
    out->error = error;
    return ORV_ERR_OPEN_DEVICE;
  }
  out->handle = opened;
  return 0;
}

u64 osl_list_drives(_osl_dev_info* list, osl_unread_list* unread) {
  if (!list) return ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT);
  // What cannot be read is logged whoever asks for the list.
  osl_unread_list own;
  if (!unread) unread = &own;
  osl_unread_clear(unread);
  osl_enum_disk_interfaces(list, unread);
  osl_csmi_list_drives(list, unread);
  if (list->count == 0) return ORV_OSL_STATUS(ORV_ERR_NO_DEVICES);
  return 0;
}

void osl_enum_disk_interfaces(_osl_dev_info* list, osl_unread_list* unread) {
  HDEVINFO set = SetupDiGetClassDevsW(&OSL_DISK_INTERFACE_GUID, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    osl_unread_place everyDisk;
    everyDisk.everyDisk = true;
    osl_unread_call(unread, "the disk interfaces", "SetupDiGetClassDevsW", GetLastError(), everyDisk);
    return;
  }
  std::memset(list, 0, sizeof *list);
  // A drive that cannot be read is passed over, never the ones after it.
  for (DWORD index = 0; index < OSL_MAX_DRIVES + 1; ++index) {
    osl_interface_open disk;
    u16 failure = osl_open_interface(set, OSL_DISK_INTERFACE_GUID, index, &disk);
    if (disk.ended) break;
    char what[OSL_UNREAD_TEXT];
    if (disk.path[0])
      std::snprintf(what, sizeof what, "%s", disk.path);
    else
      std::snprintf(what, sizeof what, "disk interface %u", static_cast<unsigned>(index));
    if (failure) {
      osl_unread_call(unread, what, disk.failedCall, disk.error);
      continue;
    }
    _OSL_PDEV drive = {};
    drive.handle = disk.handle;
    drive.target = OSL_NO_TARGET;
    char why[OSL_UNREAD_TEXT] = {};
    u32 placed = OSL_MAX_DRIVES;
    _osl_dev_entry unplaced = {};
    osl_unread_place place;
    bool targetUnread = false;
    u64 status = describeDrive(&drive, disk.node, list, why, &placed, &unplaced, &place, &targetUnread);
    // A disk not read as far as its target may be the disk a RAID driver
    // presents for the drive looked up: its address tells the target.
    u8 pathId = 0, logicalUnit = 0;
    if (status != 0 && targetUnread && unread && unread->driveTarget != OSL_NO_TARGET &&
        osl_scsi_get_address(&drive, &pathId, 0, &logicalUnit) == 0)
      place.target = pathId;
    // A drive whose descriptor was read is named with its model, also one
    // with no place in the list.
    const _osl_dev_entry* entry = placed < OSL_MAX_DRIVES ? &list->entries[placed] : nullptr;
    if (status != 0 && why[0])
      osl_unread_add(unread, what, why, entry ? entry : &unplaced, place);
    else if (entry && entry->usable != 1)
      osl_unread_add_placed(unread, what, OSL_NO_SERIAL_NUMBER, *entry);
    CloseHandle(disk.handle);
  }
  SetupDiDestroyDeviceInfoList(set);
}

u64 osl_describe_drive(_OSL_PDEV* drive, _osl_dev_info* list) {
  char why[OSL_UNREAD_TEXT];
  u32 placed = 0;
  _osl_dev_entry unplaced = {};
  osl_unread_place place;
  bool targetUnread = false;
  return describeDrive(drive, 0, list, why, &placed, &unplaced, &place, &targetUnread);
}

u64 osl_fill_dev_entry(_OSL_PDEV* drive, u32 deviceNumber,
                       const STORAGE_DEVICE_DESCRIPTOR* descriptor, u32 descriptorLength,
                       _osl_dev_entry* entry, DEVINST node, char* why) {
  entry->deviceNumber = static_cast<u16>(deviceNumber);
  std::snprintf(entry->id, sizeof entry->id, "PHYSICALDRIVE%u", deviceNumber);
  entry->usable = 1;
  osl_bus_type commandBus = OSL_BUS_NONE;
  osl_dev_type deviceType = OSL_DEV_NONE;
  osl_bus_type physicalBus = OSL_BUS_NONE;
  std::string reason;
  u64 failure = osl_bus_dev_from_descriptor(drive, descriptor, descriptorLength, &commandBus, &deviceType,
                                            &physicalBus, &reason);
  entry->commandBus = commandBus;
  entry->deviceType = deviceType;
  entry->physicalBus = physicalBus;

  if (failure == 0 && commandBus == OSL_BUS_CSMI && deviceType == OSL_DEV_NVME) {
    u8 port = 0;
    failure = node ? 0 : diskNode(deviceNumber, &node, &reason);
    if (failure == 0) failure = osl_csmi_controller_port(node, &port, &reason);
    if (failure == 0) {
      entry->deviceNumber = drive->target;
      std::snprintf(entry->id, sizeof entry->id, "SCSI%u:r%u", port, drive->target);
    }
  }
  if (failure && why) osl_strcpy(why, OSL_UNREAD_TEXT, reason.c_str());

  // Every NVMe drive is solid state, whatever bus reaches it: the device
  // list tells a drive seen twice (physical and behind a RAID driver) by it.
  entry->medium = OSL_MEDIUM_UNKNOWN;
  if (deviceType == OSL_DEV_NVME || commandBus == OSL_BUS_NVME) {
    entry->medium = OSL_MEDIUM_SOLID_STATE;
  } else if ((commandBus >= OSL_BUS_SATA && commandBus <= OSL_BUS_SCSI) ||
             commandBus == OSL_BUS_RAID_MEMBER) {
    u8 noSeekPenalty = 0;
    if (osl_query_seek_penalty(drive, &noSeekPenalty) == 0)
      entry->medium = noSeekPenalty ? OSL_MEDIUM_SOLID_STATE : OSL_MEDIUM_ROTATING;
  }

  u32 used = usedLength(descriptor, descriptorLength);
  if (!descriptorText(descriptor, used, descriptor->ProductRevisionOffset, 8, entry->firmware))
    std::strcpy(entry->firmware, "UNKNOWN");
  readDescriptorModel(descriptor, used, commandBus, entry);
  // The serial number is judged as the descriptor gives it, none as empty.
  bool hasSerial = descriptorText(descriptor, used, descriptor->SerialNumberOffset, 20, entry->serial);
  if (lacksSerialNumber(deviceType, entry->serial)) entry->usable = 0;
  if (!hasSerial) std::strcpy(entry->serial, "UNKNOWN");
  u64 trimStatus = osl_trim(entry->serial);
  // Told by nothing, or named by no controller, the disk is no drive of the
  // list.
  if (failure) entry->usable = 0;
  return failure ? failure : trimStatus;
}

u64 osl_bus_dev_from_descriptor(_OSL_PDEV* drive, const STORAGE_DEVICE_DESCRIPTOR* descriptor,
                                u32 descriptorLength, osl_bus_type* commandBus,
                                osl_dev_type* deviceType, osl_bus_type* physicalBus, std::string* why) {
  *commandBus = OSL_BUS_NONE;
  *deviceType = OSL_DEV_NONE;
  *physicalBus = OSL_BUS_NONE;
  char vendor[64];
  bool hasVendor = vendorOf(descriptor, descriptorLength, vendor);
  bool ata = hasVendor && std::strcmp(vendor, ATA_VENDOR) == 0;
  bool nvme = hasVendor && std::strcmp(vendor, NVME_VENDOR) == 0;

  switch (static_cast<u32>(descriptor->BusType)) {
    case BusTypeScsi:
    case BusTypeSas:
      *commandBus = OSL_BUS_SAS;
      if (hasVendor) *deviceType = ata ? OSL_DEV_ATA : nvme ? OSL_DEV_NVME : OSL_DEV_SCSI;
      *physicalBus = descriptor->BusType == BusTypeSas ? OSL_BUS_SAS : OSL_BUS_SCSI;
      break;
    case BusTypeAta:
    case BusTypeSata:
      *deviceType = OSL_DEV_ATA;
      if (ata) {
        *commandBus = OSL_BUS_SAS;
        *physicalBus = OSL_BUS_SAS;
      } else {
        *commandBus = OSL_BUS_SATA;
        *physicalBus = descriptor->BusType == BusTypeSata ? OSL_BUS_SATA : OSL_BUS_ATA;
      }
      break;
    case BusTypeRAID: {
      *physicalBus = OSL_BUS_RAID;
      u64 status = osl_csmi_bus_dev_type(drive, descriptor, descriptorLength, physicalBus, deviceType, why);
      if (status) return status;
      *commandBus = *physicalBus == OSL_BUS_RAID_MEMBER ? OSL_BUS_SAS : *physicalBus;
      break;
    }
    case OSL_STORAGE_BUS_NVME:
      if (!hasVendor || nvme) {
        *commandBus = OSL_BUS_NVME;
        *deviceType = OSL_DEV_NVME;
        *physicalBus = OSL_BUS_NVME;
      }
      break;
    default:
      break;
  }
  return 0;
}

u64 osl_csmi_bus_dev_type(_OSL_PDEV* drive, const STORAGE_DEVICE_DESCRIPTOR* descriptor,
                          u32 descriptorLength, osl_bus_type* physicalBus,
                          osl_dev_type* deviceType, std::string* why) {
  u8* ids = static_cast<u8*>(std::malloc(OSL_DEVICE_ID_LENGTH));
  if (!ids) {
    if (why) *why = osl_call_failure("malloc", ERROR_NOT_ENOUGH_MEMORY);
    return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  }
  u32 error = 0;
  u64 status = osl_query_device_ids(drive, ids, &error);
  if (status) {
    if (why) *why = osl_call_failure("IOCTL_STORAGE_QUERY_PROPERTY", error);
    std::free(ids);
    return status;
  }
  char vendor[64];
  vendorOf(descriptor, descriptorLength, vendor);
  u32 used = usedLength(ids, OSL_DEVICE_ID_LENGTH);
  const auto* header = reinterpret_cast<const STORAGE_DEVICE_ID_DESCRIPTOR*>(ids);
  u32 offset = offsetof(STORAGE_DEVICE_ID_DESCRIPTOR, Identifiers);
  const u32 fixedPart = offsetof(STORAGE_IDENTIFIER, Identifier);
  for (u32 i = 0; i < header->NumberOfIdentifiers && offset + fixedPart <= used; ++i) {
    const auto* identifier = reinterpret_cast<const STORAGE_IDENTIFIER*>(ids + offset);
    u32 size = identifier->IdentifierSize;
    if (offset + fixedPart + size > used) break;
    const char* text = reinterpret_cast<const char*>(identifier->Identifier);
    if (identifier->Type == StorageIdTypeVendorSpecific && size >= 12 &&
        std::memcmp(text, "IntelRSTNVMe", 12) == 0) {
      osl_scsi_request area;
      if (osl_test_unit_ready(drive, &area) == 0 || osl_test_unit_ready_buffered(drive, &area) == 0) {
        drive->target = area.header.direct.PathId;
        *physicalBus = OSL_BUS_CSMI;
        *deviceType = OSL_DEV_NVME;
      }
    } else if (identifier->Type == StorageIdTypeVendorId && size >= 8 &&
               std::memcmp(text, ATA_VENDOR, 8) == 0) {
      *physicalBus = OSL_BUS_RAID_MEMBER;
      *deviceType = OSL_DEV_ATA;
    } else if (identifier->Type == StorageIdTypeScsiNameString &&
               identifier->Association == StorageIdAssocTarget) {
      *physicalBus = OSL_BUS_RAID_MEMBER;
      *deviceType = OSL_DEV_SCSI;
    } else if (identifier->Association == StorageIdAssocDevice &&
               (identifier->Type == StorageIdTypeEUI64 || identifier->Type == StorageIdTypeFCPHName ||
                identifier->Type == StorageIdTypeScsiNameString)) {
      if (std::strcmp(vendor, ATA_VENDOR) == 0) {
        *physicalBus = OSL_BUS_RAID_MEMBER;
        *deviceType = OSL_DEV_ATA;
      } else if (std::strcmp(vendor, NVME_VENDOR) == 0) {
        *physicalBus = OSL_BUS_RAID_MEMBER;
        *deviceType = OSL_DEV_NVME;
      }
    }
    if (identifier->NextOffset == 0) break;
    offset += identifier->NextOffset;
  }
  std::free(ids);
  return 0;
}

u32 osl_dev_info_free_index(const _osl_dev_info* list) {
  for (u32 step = 0; step < OSL_MAX_DRIVES; ++step) {
    u32 index = (list->count + step) % OSL_MAX_DRIVES;
    if (!isOccupied(list->entries[index])) return index;
  }
  return OSL_MAX_DRIVES;
}

u64 osl_drive_query(_OSL_PDEV* drive, _osl_dev_info* list) {
  if (!drive || !drive->handle) return ORV_OSL_STATUS(ORV_ERR_GENERIC);
  bool controller = false;
  if (u64 status = osl_csmi_drive_controller(drive, &controller)) return status;
  if (!controller) return osl_describe_drive(drive, list);
  if (drive->kind == 'r') return osl_csmi_raid_query(drive, list);
  if (drive->kind != 'p') return 0;
  _osl_dev_entry entry = {};
  entry.commandBus = OSL_BUS_NONE;
  entry.deviceType = OSL_DEV_NONE;
  entry.physicalBus = OSL_BUS_NONE;
  u64 status = osl_csmi_phy_describe(drive, &entry);
  if (status) return status;
  u32 index = osl_dev_info_free_index(list);
  if (index >= OSL_MAX_DRIVES) return ORV_OSL_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
  list->entries[index] = entry;
  ++list->count;
  return 0;
}

u64 osl_get_bus_dev_type(_OSL_PDEV* drive, osl_bus_type* commandBus, osl_dev_type* deviceType,
                         osl_bus_type* physicalBus) {
  if (!drive || !drive->handle) return ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
  bool controller = false;
  if (u64 status = osl_csmi_drive_controller(drive, &controller)) return status;
  if (!controller) {
    *deviceType = OSL_DEV_NONE;
    // A disk whose descriptor or, on a RAID bus, identifiers cannot be read:
    // the opener learns which call failed, as from its controller's lookups.
    alignas(8) u8 buffer[OSL_DESCRIPTOR_LENGTH];
    if (u64 status = osl_query_device_descriptor(drive, buffer)) return status;
    std::string why;
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer);
    if (osl_bus_dev_from_descriptor(drive, descriptor, sizeof buffer, commandBus, deviceType, physicalBus, &why))
      return osl_lookup_failure(diskName(drive).c_str(), why.c_str());
    char serial[21];
    descriptorText(descriptor, usedLength(descriptor, sizeof buffer), descriptor->SerialNumberOffset, 20, serial);
    if (lacksSerialNumber(*deviceType, serial)) {
      *commandBus = OSL_BUS_NONE;
      *physicalBus = OSL_BUS_NONE;
    }
    return 0;
  }

  *commandBus = OSL_BUS_CSMI;
  *physicalBus = OSL_BUS_CSMI;
  _osl_dev_entry entry = {};
  entry.deviceType = OSL_DEV_NONE;
  u64 status = 0;
  if (drive->kind == 'p') {
    status = osl_csmi_phy_describe(drive, &entry);
    if (status == 0 && entry.deviceType != OSL_DEV_NONE)
      *deviceType = static_cast<osl_dev_type>(entry.deviceType);
  } else if (drive->kind == 'r') {
    status = osl_csmi_raid_bus_dev_type(drive, &entry);
    *deviceType = static_cast<osl_dev_type>(entry.deviceType);
  } else {
    status = ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
  }
  return status;
}

u32 osl_get_max_transfer_size(_OSL_PDEV* drive, osl_bus_type bus) {
  const u32 fallback = 0x40000;
  if (!drive || !drive->handle) return fallback;
  alignas(8) u8 buffer[OSL_DESCRIPTOR_LENGTH];
  if (osl_query_adapter_descriptor(drive, buffer) != 0) return fallback;
  const auto* adapter = reinterpret_cast<const STORAGE_ADAPTER_DESCRIPTOR*>(buffer);
  if (usedLength(buffer, sizeof buffer) < offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask))
    return fallback;
  u32 maximum = adapter->MaximumTransferLength;
  u32 pages = adapter->MaximumPhysicalPages;
  if (maximum == 0 || pages == 0) return fallback;

  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  // One page is kept for a buffer that does not start on a page boundary;
  // an adapter with a single page still moves one page at a time.
  u64 byPages = static_cast<u64>(system.dwPageSize) * (pages - 1);
  if (byPages == 0) byPages = system.dwPageSize ? system.dwPageSize : maximum;
  u32 limit = byPages < maximum ? static_cast<u32>(byPages) : maximum;

  u32 cap = 0x100000;
  if (bus == OSL_BUS_SAS || bus == OSL_BUS_SCSI || bus == OSL_BUS_RAID_MEMBER) {
    osl_scsi_request area;
    if (osl_test_unit_ready(drive, &area) != 0) cap = 16384;
  }
  return limit < cap ? limit : cap;
}

u32 osl_default_max_transfer(u8 bus) {
  return (bus == OSL_BUS_NVME || bus == OSL_BUS_CSMI) ? 0x80000 : 0x7FFC0;
}

u8 osl_has_partitions(_OSL_PDEV* drive, u32) {
  if (!drive || !drive->handle) return 0;
  // Callers allow destructive operations on the answer 0: a layout that
  // cannot be read counts as holding partitions.
  const u32 largest = 4u << 20;
  u32 length = 1024;
  u8* layout = nullptr;
  osl_ioctl(drive, IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, nullptr);
  Sleep(250);
  for (;;) {
    u8* grown = static_cast<u8*>(std::realloc(layout, length));
    if (!grown) {
      std::free(layout);
      return 1;
    }
    layout = grown;
    std::memset(layout, 0, length);
    u32 error = 0;
    if (osl_ioctl(drive, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, layout, length, &error) == 0)
      break;
    if (error != ERROR_INSUFFICIENT_BUFFER || length >= largest) {
      std::free(layout);
      return 1;
    }
    length *= 2;
  }
  const auto* info = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(layout);
  const u32 headerLength = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);
  u32 room = (length - headerLength) / sizeof(PARTITION_INFORMATION_EX);
  u32 count = info->PartitionCount < room ? info->PartitionCount : room;
  u8 result = 0;
  if (info->PartitionStyle == PARTITION_STYLE_GPT) {
    // One partition is enough. Counting from two would pass over the reserved
    // partition Windows puts on GPT disks, but also over a disk whose single
    // partition holds data, which destructive operations must not take; a
    // disk with only the reserved partition is kept from them as well.
    result = count > 0 ? 1 : 0;
  } else if (info->PartitionStyle == PARTITION_STYLE_MBR) {
    for (u32 i = 0; i < count; ++i)
      if (info->PartitionEntry[i].PartitionNumber != 0) result = 1;
  }
  std::free(layout);
  return result;
}

bool osl_is_unit_ready(_OSL_PDEV* drive, osl_bus_type bus) {
  if (bus != OSL_BUS_SAS && bus != OSL_BUS_SCSI && bus != OSL_BUS_RAID_MEMBER) return true;
  osl_scsi_request area;
  return osl_test_unit_ready(drive, &area) == 0;
}

bool osl_windows_at_least(u32 major, u32 minor) {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  version.dwMajorVersion = major;
  version.dwMinorVersion = minor;
  version.wServicePackMajor = 0;
  ULONGLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                            mask) != FALSE;
}

u64 osl_require_win10() {
  if (osl_windows_at_least(10, 0)) return 0;
  return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
}

void osl_get_nvme_support_flags(_OSL_PDEV* drive, osl_bus_type bus, u8* securityList,
                                u8* effectsLog) {
  if (bus != OSL_BUS_NVME || !drive || !securityList || !effectsLog) return;
  osl_nvme_probe_support(drive, securityList, effectsLog);
}

void osl_dev_name(const char* argument, char out[32]) {
  if (!argument) argument = "";
  const char* p = argument;
  while (isDigit(*p)) ++p;
  const char* prefix = "";
  if (*p == '\0') {
    prefix = "PHYSICALDRIVE";
  } else if (*p == ':' && p > argument) {
    const char* rest = p + 1;
    while (isDigit(*rest)) ++rest;
    if (*rest == '\0') prefix = "SCSI";
  }
  std::snprintf(out, 32, "%s%s", prefix, argument);
}

bool osl_dev_name_equal(const char* a, const char* b) {
  char first[32];
  char second[32];
  osl_dev_name(a, first);
  osl_dev_name(b, second);
  return osl_strieq(first, second);
}
