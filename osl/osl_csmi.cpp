#include "osl/osl_csmi.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_log.h"
#include "osl/osl_model.h"
#include "osl/osl_nvme.h"
#include "osl/osl_sata.h"
#include "osl/osl_storage.h"

namespace {

struct Signature {
  u32 controlCode;
  char text[9];
};

const Signature signatures[] = {
    {1, "CSMIALL"},  {2, "CSMIALL"},  {3, "CSMIALL"},  {10, "CSMIARY"},
    {11, "CSMIARY"}, {20, "CSMISAS"}, {25, "CSMISAS"}, {27, "CSMISAS"},
    {30, "CSMISAS"}, {60, "CSMIPHY"}, {0xF0000040, "IntelFw "}, {0xF0002808, "IntelNvm"},
};

constexpr u32 FIS_REGISTER_H2D = 0x27;
constexpr u8 FIS_COMMAND_BIT = 0x80;
constexpr u8 ATA_STATUS_ERR = 0x01;
constexpr u32 RESPONSE_LENGTH = 13;
constexpr u8 NVME_FIRMWARE_COMMIT = 0x10;
constexpr u8 NVME_FIRMWARE_DOWNLOAD = 0x11;

// Writes the miniport header into the caller's zeroed buffer and sends it.
u64 send(_OSL_PDEV* controller, u32 controlCode, void* buffer, u32 length, u32 timeoutSeconds,
         u32* error) {
  *error = 0;
  SRB_IO_CONTROL* header = static_cast<SRB_IO_CONTROL*>(buffer);
  header->HeaderLength = OSL_CSMI_HEADER_LENGTH;
  header->Timeout = timeoutSeconds;
  header->ControlCode = controlCode;
  header->Length = length - OSL_CSMI_HEADER_LENGTH;
  u64 status = osl_csmi_signature(controlCode, header->Signature);
  if (status) return status;
  return osl_ioctl(controller, IOCTL_SCSI_MINIPORT, buffer, length, buffer, length, error);
}

// The one success rule of a CSMI request: Windows carried it and the driver
// answered ReturnCode 0.
u64 requestOutcome(u64 status, const void* buffer) {
  if (status) return status;
  return static_cast<const SRB_IO_CONTROL*>(buffer)->ReturnCode ? ORV_OSL_STATUS(ORV_ERR_GENERIC) : 0;
}

HDEVINFO portInterfaces() {
  return SetupDiGetClassDevsW(&OSL_STORAGE_PORT_INTERFACE_GUID, nullptr, nullptr,
                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

std::string setRequest(u32 setIndex) { return "RAID configuration of set " + std::to_string(setIndex); }

// How a failure names the request.
std::string requestName(u32 controlCode, const void* buffer, u32 length) {
  switch (controlCode) {
    case OSL_CSMI_DRIVER_INFO_CODE:
      return "driver information";
    case OSL_CSMI_RAID_INFO_CODE:
      return "RAID information";
    case OSL_CSMI_RAID_CONFIG_CODE:
      if (length < sizeof(osl_csmi_raid_config_buffer)) return "RAID configuration";
      return setRequest(static_cast<const osl_csmi_raid_config_buffer*>(buffer)->uRaidSetIndex);
    case OSL_CSMI_PHY_INFO_CODE:
      return "phy information";
    default:
      return "request " + std::to_string(controlCode);
  }
}

std::string portName(const _OSL_PDEV* controller) { return "storage port " + std::to_string(controller->port); }

// Where a request of the controller on this port failed.
osl_unread_place portPlace(u32 port) {
  osl_unread_place place;
  place.port = static_cast<int>(port);
  return place;
}

// Records what the listing could not read as the controller's.
void recordUnread(const _OSL_PDEV* controller, const std::string& why, osl_unread_list* unread) {
  osl_unread_add(unread, portName(controller).c_str(), why.c_str(), nullptr, portPlace(controller->port));
}

// A request of the listing: a failure is recorded as the controller's.
u64 listingRequest(_OSL_PDEV* controller, u32 controlCode, void* buffer, u32 length, osl_unread_list* unread) {
  std::string why;
  u64 status = osl_csmi_request(controller, controlCode, buffer, length, true, &why);
  if (status) recordUnread(controller, why, unread);
  return status;
}

// What a controller could not answer of one drive is why that drive cannot
// be looked up: code 19.
u64 lookupFailure(const _OSL_PDEV* controller, const std::string& why) {
  return osl_lookup_failure(portName(controller).c_str(), why.c_str());
}

// A request asked about one drive.
u64 lookupRequest(_OSL_PDEV* controller, u32 controlCode, void* buffer, u32 length) {
  std::string why;
  if (osl_csmi_request(controller, controlCode, buffer, length, true, &why) == 0) return 0;
  return lookupFailure(controller, why);
}

// A port that knows no miniport requests is no CSMI controller: its failure
// to answer is no failure of a controller.
bool knowsNoMiniportRequests(u32 error) { return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED; }

// One RAID configuration as the controller answers it.
class RaidConfig {
 public:
  RaidConfig() = default;
  ~RaidConfig() { std::free(bytes_); }
  RaidConfig(const RaidConfig&) = delete;
  RaidConfig& operator=(const RaidConfig&) = delete;

  // Reads the set; why says what failed, a buffer too large to allocate
  // included.
  u64 read(_OSL_PDEV* controller, u32 setIndex, u32 maxDrivesPerSet, std::string& why, bool logFailure = true) {
    u64 size = sizeof(osl_csmi_raid_config_buffer) + u64{sizeof(osl_csmi_raid_drive)} * maxDrivesPerSet;
    if (size <= 0xFFFFFFFFull) bytes_ = static_cast<u8*>(std::calloc(1, static_cast<size_t>(size)));
    if (!bytes_) {
      why = "CSMI " + setRequest(setIndex) + " failed (" + std::to_string(maxDrivesPerSet) +
            " drives a set: " + std::to_string(size) + " bytes cannot be allocated)";
      return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
    }
    maxDrives_ = maxDrivesPerSet;
    config()->uRaidSetIndex = setIndex;
    return osl_csmi_request(controller, OSL_CSMI_RAID_CONFIG_CODE, bytes_, static_cast<u32>(size), logFailure,
                            &why);
  }
  // A driver that answers more drives than the buffer holds is not believed.
  u32 driveCount() const { return std::min<u32>(config()->bDriveCount, maxDrives_); }
  const osl_csmi_raid_drive& drive(u32 index) const {
    return reinterpret_cast<const osl_csmi_raid_drive*>(bytes_ + sizeof(osl_csmi_raid_config_buffer))[index];
  }

 private:
  osl_csmi_raid_config_buffer* config() const {
    return reinterpret_cast<osl_csmi_raid_config_buffer*>(bytes_);
  }
  u8* bytes_ = nullptr;
  u32 maxDrives_ = 0;
};

// The model of a RAID drive, as every listing reads a model.
void readModel(const osl_csmi_raid_drive& drive, char (&model)[41]) {
  osl_read_model(model, sizeof model, reinterpret_cast<const char*>(drive.bModel), sizeof drive.bModel);
}

bool isNvmeModel(const osl_csmi_raid_drive& drive) {
  char model[41];
  readModel(drive, model);
  return std::strncmp(osl_model_start(model), "NVMe", 4) == 0;
}

// A text field of the controller: at most limit characters, trimmed.
void copyField(char* out, const u8* field, u32 limit) {
  u32 length = 0;
  while (length < limit && field[length]) ++length;
  std::memcpy(out, field, length);
  out[length] = '\0';
  osl_trim(out);
}

void describePhy(const osl_csmi_phy_entity& phy, _osl_dev_entry* entry) {
  u8 protocol = phy.Attached.bTargetPortProtocol;
  bool sata = protocol == OSL_CSMI_PROTOCOL_SATA || protocol == OSL_CSMI_PROTOCOL_STP;
  entry->commandBus = sata ? OSL_BUS_CSMI : OSL_BUS_NONE;
  entry->deviceType = sata ? OSL_DEV_ATA : OSL_DEV_NONE;
  entry->physicalBus = sata ? OSL_BUS_CSMI : OSL_BUS_NONE;
  entry->medium = OSL_MEDIUM_UNKNOWN;
  entry->usable = 1;
}

u32 phyCount(const osl_csmi_phy_info_buffer& info) {
  return std::min<u32>(info.bNumberOfPhys, OSL_CSMI_MAX_PHYS);
}

// The entry of a controller's NVMe disk with the record's target number
// among the physical drives (the RAID driver presents an NVMe drive outside
// its sets as a disk of its own, named by its controller's port and its
// target, as id). What the enumeration could not read is left in unread,
// whether the disk is found or not: a disk it could not read may be that
// disk.
u64 findPhysicalNvme(const char* id, _osl_dev_entry* out, bool* found, osl_unread_list* unread) {
  *found = false;
  auto* physical = static_cast<_osl_dev_info*>(std::calloc(1, sizeof(_osl_dev_info)));
  if (!physical) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  osl_enum_disk_interfaces(physical, unread);
  // Each entry stands at its device number: the numbers may leave gaps, and
  // the count tells only how many are used.
  for (u32 i = 0; i < OSL_MAX_DRIVES; ++i) {
    const _osl_dev_entry& entry = physical->entries[i];
    if (entry.commandBus == OSL_BUS_CSMI && entry.deviceType == OSL_DEV_NVME && std::strcmp(entry.id, id) == 0) {
      *out = entry;
      *found = true;
      break;
    }
  }
  std::free(physical);
  return 0;
}

// The listing lists a RAID drive that is an NVMe drive in good state.
bool isListed(const osl_csmi_raid_drive& drive) { return isNvmeModel(drive) && drive.bDriveStatus == 0; }

void describeMember(const _OSL_PDEV& controller, const osl_csmi_raid_drive& drive, _osl_dev_entry* entry) {
  *entry = {};
  entry->deviceNumber = drive.bSASAddress[3];
  std::snprintf(entry->id, sizeof entry->id, "SCSI%u:r%u", controller.port, drive.bSASAddress[3]);
  copyField(entry->firmware, drive.bFirmware, sizeof drive.bFirmware);
  readModel(drive, entry->model);
  entry->modelField = sizeof drive.bModel;
  copyField(entry->serial, drive.bSerialNumber, 20);
  entry->commandBus = OSL_BUS_CSMI;
  entry->deviceType = OSL_DEV_NVME;
  entry->physicalBus = OSL_BUS_CSMI;
  entry->logicalUnit = OSL_NO_LUN;
  entry->medium = OSL_MEDIUM_SOLID_STATE;
  entry->usable = 1;
}

struct MemberLookup {
  bool inSet = false;   // a set holds the drive: member
  bool onDisk = false;  // a disk of its own holds it: disk
  osl_csmi_raid_drive member = {};
  _osl_dev_entry disk = {};
};

// Finds the drive of the record's target in the controller's RAID sets: the
// first entry the listing lists (an NVMe drive in good state), else the first
// entry of any kind. A drive no set holds is looked for among the physical
// drives: the RAID driver presents an NVMe drive outside every set as a disk
// of its own. Before a firmware request the disks are not enumerated again:
// the disk the drive's opening found stands, and a controller without sets
// answers 0. The RAID information or a set that cannot be read may hold the
// drive, or the entry the listing lists: the first such failure is the
// answer, code 19, unless a listed entry or a disk holds it. Else the disks
// the enumeration could not read are the answer when one of them may be the
// drive (osl_lookup_unread: by its id and, where the lookup scopes know it,
// by its model); one at the drive's own target is the drive's own text.
u64 findMember(_OSL_PDEV* controller, MemberLookup* lookup, bool beforeFirmware) {
  osl_csmi_raid_info_buffer info = {};
  std::string firstUnread;
  bool setsKnown = osl_csmi_request(controller, OSL_CSMI_RAID_INFO_CODE, &info, sizeof info, true, &firstUnread) == 0;
  if (!setsKnown) info = {};
  if (setsKnown && info.uNumRaidSets == 0 && beforeFirmware) return 0;
  for (u32 set = 0; set < info.uNumRaidSets; ++set) {
    RaidConfig config;
    std::string why;
    if (config.read(controller, set, info.uMaxDrivesPerSet, why)) {
      if (firstUnread.empty()) firstUnread = why;
      continue;
    }
    for (u32 i = 0; i < config.driveCount(); ++i) {
      const osl_csmi_raid_drive& drive = config.drive(i);
      if (drive.bSASAddress[3] != controller->target || (lookup->inSet && !isListed(drive))) continue;
      lookup->member = drive;
      lookup->inSet = true;
      if (isListed(drive)) return 0;
    }
  }
  if (lookup->inSet) return firstUnread.empty() ? 0 : lookupFailure(controller, firstUnread);
  if (beforeFirmware) {
    if (controller->disk) return 0;
  } else {
    char id[sizeof lookup->disk.id];
    std::snprintf(id, sizeof id, "SCSI%u:r%u", controller->port, controller->target);
    osl_unread_list unreadDisks;
    osl_unread_for_drive(&unreadDisks, id);
    if (u64 status = findPhysicalNvme(id, &lookup->disk, &lookup->onDisk, &unreadDisks)) return status;
    if (lookup->onDisk) return 0;
    if (firstUnread.empty())
      if (u64 status = osl_lookup_unread(&unreadDisks, id)) return status;
  }
  if (!firstUnread.empty()) return lookupFailure(controller, firstUnread);
  return info.uNumRaidSets == 0 ? 0 : ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
}

// A device node's instance id; the CONFIGRET of the call.
CONFIGRET nodeId(DEVINST node, char (&out)[MAX_DEVICE_ID_LEN + 1]) {
  WCHAR id[MAX_DEVICE_ID_LEN + 1] = {};
  out[0] = '\0';
  CONFIGRET result = CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0);
  if (result == CR_SUCCESS && WideCharToMultiByte(CP_ACP, 0, id, -1, out, sizeof out, nullptr, nullptr) == 0)
    out[0] = '\0';
  return result;
}

std::string configFailure(const char* call, CONFIGRET result) {
  return std::string(call) + " failed (CONFIGRET: " + std::to_string(result) + ")";
}

// The index of the storage port whose device is the adapter, or why none is.
bool findPort(const char* adapter, u8* port, std::string& why) {
  HDEVINFO set = portInterfaces();
  if (set == INVALID_HANDLE_VALUE) {
    why = osl_call_failure("SetupDiGetClassDevsW", GetLastError());
    return false;
  }
  bool found = false;
  why = std::string("its adapter ") + adapter + " is no storage port";
  std::string unreadable;
  for (DWORD index = 0; index < OSL_MAX_DRIVES && !found; ++index) {
    osl_interface_open read;
    std::string failure;
    char id[MAX_DEVICE_ID_LEN + 1];
    CONFIGRET result = CR_SUCCESS;
    if (osl_read_interface(set, OSL_STORAGE_PORT_INTERFACE_GUID, index, &read) != 0) {
      if (read.ended) break;
      failure = osl_call_failure(read.failedCall, read.error);
    } else if ((result = nodeId(read.node, id)) != CR_SUCCESS) {
      failure = configFailure("CM_Get_Device_IDW", result);
    }
    // A port that cannot be read may be the adapter.
    if (!failure.empty()) {
      if (unreadable.empty()) unreadable = "storage port " + std::to_string(index) + ": " + failure;
      continue;
    }
    if (osl_strieq(id, adapter)) {
      *port = static_cast<u8>(index);
      found = true;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  if (!found && !unreadable.empty()) why = unreadable;
  return found;
}

// Lists the drives of the controller on this storage port, when it is one.
u64 listController(HANDLE handle, DWORD index, _osl_dev_info* list, osl_unread_list* unread,
                   bool* found) {
  _OSL_PDEV controller = {};
  controller.handle = handle;
  controller.port = static_cast<u8>(index);
  controller.target = OSL_NO_TARGET;
  osl_csmi_driver_info_buffer info = {};
  u32 error = 0;
  std::string why;
  u64 status = osl_csmi_request(&controller, OSL_CSMI_DRIVER_INFO_CODE, &info, sizeof info, false, &why, &error);
  if (status && knowsNoMiniportRequests(error)) return 0;
  if (status) {
    recordUnread(&controller, why, unread);
    return status;
  }
  u32 raidSets = 0;
  status = osl_csmi_list_raid_drives(&controller, list, &raidSets, unread);
  if (raidSets > 0) *found = true;
  u16 before = list->count;
  u64 phys = osl_csmi_list_phy_drives(&controller, list, unread);
  if (list->count > before) *found = true;
  return status ? status : phys;
}

}  // namespace

u64 osl_csmi_signature(u32 controlCode, u8 out[8]) {
  for (const Signature& signature : signatures) {
    if (signature.controlCode != controlCode) continue;
    std::memcpy(out, signature.text, 8);
    return 0;
  }
  return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
}

u64 osl_csmi_request(_OSL_PDEV* controller, u32 controlCode, void* buffer, u32 length,
                     bool logFailure, std::string* why, u32* windowsError) {
  u32 error = 0;
  u64 status = send(controller, controlCode, buffer, length, OSL_CSMI_TIMEOUT_SECONDS, &error);
  if (windowsError) *windowsError = error;
  status = requestOutcome(status, buffer);
  if (status == 0) return 0;
  u32 returnCode = static_cast<SRB_IO_CONTROL*>(buffer)->ReturnCode;
  if (logFailure) {
    osl_log_ioctl_failure(OSL_LOG_ERROR, error);
    osl_log(OSL_LOG_ERROR, "Error: CSMI Return code: 0x%X\n", static_cast<unsigned>(returnCode));
  }
  if (why) {
    char text[OSL_UNREAD_TEXT];
    std::snprintf(text, sizeof text, "CSMI %s failed (error: %u, return code: 0x%X)",
                  requestName(controlCode, buffer, length).c_str(), error, static_cast<unsigned>(returnCode));
    *why = text;
  }
  return status;
}

u64 osl_csmi_get_driver_info(HANDLE handle, std::string* why, u32* error) {
  _OSL_PDEV controller = {};
  controller.handle = handle;
  controller.target = OSL_NO_TARGET;
  osl_csmi_driver_info_buffer buffer = {};
  return osl_csmi_request(&controller, OSL_CSMI_DRIVER_INFO_CODE, &buffer, sizeof buffer, false, why, error);
}

u64 osl_csmi_drive_controller(_OSL_PDEV* drive, bool* controller) {
  std::string why;
  *controller = osl_csmi_get_driver_info(drive->handle, &why) == 0;
  if (*controller || (drive->kind != 'r' && drive->kind != 'p')) return 0;
  return lookupFailure(drive, why);
}

u64 osl_csmi_list_drives(_osl_dev_info* list, osl_unread_list* unread) {
  HDEVINFO set = portInterfaces();
  if (set == INVALID_HANDLE_VALUE) {
    osl_unread_place everyPort;
    everyPort.everyPort = true;
    osl_unread_call(unread, "the storage ports", "SetupDiGetClassDevsW", GetLastError(), everyPort);
    return ORV_OSL_STATUS(ORV_ERR_DEVICE_CLASS);
  }
  bool found = false;
  u64 firstFailure = 0;
  // A port that cannot be read is passed over, never the ones after it.
  for (DWORD index = 0; index <= OSL_MAX_DRIVES; ++index) {
    osl_interface_open port;
    u16 failure = osl_open_interface(set, OSL_STORAGE_PORT_INTERFACE_GUID, index, &port);
    if (port.ended) break;
    u64 status = 0;
    if (failure) {
      status = ORV_OSL_STATUS(failure);
      char what[32];
      std::snprintf(what, sizeof what, "storage port %u", static_cast<unsigned>(index));
      osl_unread_call(unread, what, port.failedCall, port.error, portPlace(index));
    } else {
      status = listController(port.handle, index, list, unread, &found);
      CloseHandle(port.handle);
    }
    if (status && !firstFailure) firstFailure = status;
  }
  SetupDiDestroyDeviceInfoList(set);
  if (found) return 0;
  return firstFailure ? firstFailure : ORV_OSL_STATUS(ORV_ERR_NO_DEVICES);
}

u64 osl_csmi_list_raid_drives(_OSL_PDEV* controller, _osl_dev_info* list, u32* raidSets,
                              osl_unread_list* unread) {
  osl_csmi_raid_info_buffer info = {};
  if (u64 status = listingRequest(controller, OSL_CSMI_RAID_INFO_CODE, &info, sizeof info, unread)) return status;
  if (raidSets) *raidSets = info.uNumRaidSets;
  u32 keys[OSL_MAX_DRIVES] = {};
  u16 keyCount = 0;
  // Without a set, set 0 is asked all the same; a driver may refuse it.
  if (info.uNumRaidSets == 0) {
    osl_csmi_list_raid_set(controller, 0, info.uMaxDrivesPerSet, list, keys, &keyCount);
    return 0;
  }
  u64 firstFailure = 0;
  for (u32 set = 0; set < info.uNumRaidSets && list->count < OSL_MAX_DRIVES &&
                    keyCount < OSL_MAX_DRIVES;
       ++set) {
    u64 status = osl_csmi_list_raid_set(controller, set, info.uMaxDrivesPerSet, list, keys, &keyCount, unread);
    if (status && !firstFailure) firstFailure = status;
  }
  return firstFailure;
}

u64 osl_csmi_list_raid_set(_OSL_PDEV* controller, u32 setIndex, u32 maxDrivesPerSet,
                           _osl_dev_info* list, u32* keys, u16* keyCount, osl_unread_list* unread) {
  RaidConfig config;
  std::string why;
  // Without a record the set is only probed (a controller without sets): a
  // refusal is no failure worth logging.
  if (u64 status = config.read(controller, setIndex, maxDrivesPerSet, why, unread != nullptr)) {
    recordUnread(controller, why, unread);
    return status;
  }
  for (u32 i = 0; i < config.driveCount() && list->count < OSL_MAX_DRIVES && *keyCount < OSL_MAX_DRIVES;
       ++i) {
    const osl_csmi_raid_drive& drive = config.drive(i);
    if (!isListed(drive)) continue;
    // One drive can belong to several sets: it is listed once.
    const u8* address = drive.bSASAddress;
    u32 key = controller->port | u32{address[0]} << 8 | u32{address[1]} << 16 | u32{address[2]} << 24;
    if (std::find(keys, keys + *keyCount, key) != keys + *keyCount) continue;
    if (*keyCount >= OSL_MAX_DRIVES - 1) continue;
    u32 index = osl_dev_info_free_index(list);
    if (index >= OSL_MAX_DRIVES) break;
    keys[(*keyCount)++] = key;
    describeMember(*controller, drive, &list->entries[index]);
    ++list->count;
  }
  return 0;
}

u64 osl_csmi_list_phy_drives(_OSL_PDEV* controller, _osl_dev_info* list, osl_unread_list* unread) {
  osl_csmi_phy_info_buffer info = {};
  if (u64 status = listingRequest(controller, OSL_CSMI_PHY_INFO_CODE, &info, sizeof info, unread)) return status;
  for (u32 i = 0; i < phyCount(info); ++i) {
    if (controller->target != OSL_NO_TARGET && i != controller->target) continue;
    if (info.Phy[i].Attached.bDeviceType != OSL_CSMI_END_DEVICE) continue;
    u32 index = osl_dev_info_free_index(list);
    if (index >= OSL_MAX_DRIVES) break;
    _osl_dev_entry& entry = list->entries[index];
    entry = {};
    entry.deviceNumber = static_cast<u16>(i);
    std::snprintf(entry.id, sizeof entry.id, "SCSI%u:p%u", controller->port, i);
    entry.logicalUnit = OSL_NO_LUN;
    describePhy(info.Phy[i], &entry);
    ++list->count;
  }
  return 0;
}

u64 osl_csmi_open(_OSL_PDEV* drive) {
  if (!drive) return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
  HDEVINFO set = portInterfaces();
  if (set == INVALID_HANDLE_VALUE) return ORV_OSL_STATUS(ORV_ERR_DEVICE_CLASS);
  osl_interface_open port;
  u16 failure = osl_open_interface(set, OSL_STORAGE_PORT_INTERFACE_GUID, drive->port, &port);
  SetupDiDestroyDeviceInfoList(set);
  if (failure) return ORV_OSL_STATUS(failure);
  HANDLE handle = port.handle;
  drive->handle = handle;
  std::string why;
  u32 error = 0;
  u64 status = osl_csmi_get_driver_info(handle, &why, &error);
  if (status) {
    CloseHandle(handle);
    drive->handle = nullptr;
    if (!knowsNoMiniportRequests(error)) status = lookupFailure(drive, why);
  }
  return status;
}

u64 osl_csmi_controller_port(DEVINST disk, u8* port, std::string* why) {
  if (!port) return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
  std::string reason;
  DEVINST parent = 0;
  char adapter[MAX_DEVICE_ID_LEN + 1];
  CONFIGRET result = CM_Get_Parent(&parent, disk, 0);
  if (result != CR_SUCCESS)
    reason = configFailure("CM_Get_Parent", result);
  else if ((result = nodeId(parent, adapter)) != CR_SUCCESS)
    reason = configFailure("CM_Get_Device_IDW", result);
  else if (findPort(adapter, port, reason))
    return 0;
  if (why) *why = "its RAID controller cannot be told (" + reason + ")";
  return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
}

u64 osl_csmi_raid_query(_OSL_PDEV* drive, _osl_dev_info* list) {
  if (!drive || !drive->handle || drive->handle == INVALID_HANDLE_VALUE)
    return ORV_OSL_STATUS(ORV_ERR_GENERIC);
  MemberLookup lookup;
  if (u64 status = findMember(drive, &lookup, false)) return status;
  drive->disk = lookup.onDisk;
  u32 index = osl_dev_info_free_index(list);
  if (index >= OSL_MAX_DRIVES) return ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
  _osl_dev_entry& entry = list->entries[index];
  // The query answers for a drive the listing lists.
  if (lookup.inSet && isListed(lookup.member))
    describeMember(*drive, lookup.member, &entry);
  else if (lookup.onDisk && lookup.disk.usable == 1)
    entry = lookup.disk;
  else
    return ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
  ++list->count;
  return 0;
}

u64 osl_csmi_raid_bus_dev_type(_OSL_PDEV* drive, _osl_dev_entry* entry) {
  MemberLookup lookup;
  if (u64 status = findMember(drive, &lookup, false)) return status;
  drive->disk = lookup.onDisk;
  if (lookup.onDisk) {
    *entry = lookup.disk;
  } else if (lookup.inSet) {
    const osl_csmi_raid_drive& member = lookup.member;
    entry->commandBus = OSL_BUS_CSMI;
    entry->physicalBus = OSL_BUS_CSMI;
    if (isNvmeModel(member)) entry->deviceType = OSL_DEV_NVME;
    // Solid state like every NVMe drive: the device list tells the same
    // drive listed twice by it.
    entry->medium = isNvmeModel(member) ? OSL_MEDIUM_SOLID_STATE : OSL_MEDIUM_UNKNOWN;
    entry->usable = 1;
  }
  return entry->usable == 1 ? 0 : ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
}

u64 osl_csmi_phy_describe(_OSL_PDEV* drive, _osl_dev_entry* entry) {
  entry->usable = 0;
  osl_csmi_phy_info_buffer info = {};
  if (u64 status = lookupRequest(drive, OSL_CSMI_PHY_INFO_CODE, &info, sizeof info)) return status;
  if (drive->target < phyCount(info) &&
      info.Phy[drive->target].Attached.bDeviceType == OSL_CSMI_END_DEVICE) {
    describePhy(info.Phy[drive->target], entry);
    // Reached through the controller whatever it is; the listing names
    // devices other than SATA drives with no bus at all.
    entry->commandBus = OSL_BUS_CSMI;
    entry->physicalBus = OSL_BUS_CSMI;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Commands to drives behind the controller.

u64 osl_csmi_nvme_send(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 direction, void* data,
                       u32 dataLength, u8* response, u32 responseLength, osl_cmd_type kind,
                       u32 timeoutSeconds, bool ignoreError) {
  switch (kind) {
    case OSL_CMD_ATA:
    case OSL_CMD_ATA_IN_SCSI:
      return osl_csmi_stp_send(drive, block, blockLength, direction, data, dataLength, response,
                               responseLength, timeoutSeconds, ignoreError);
    case OSL_CMD_NVME_ADMIN:
      if (!block || blockLength < OSL_NVME_ENTRY_LENGTH) return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
      if (block[0] == NVME_FIRMWARE_DOWNLOAD)
        return osl_csmi_fw_download(drive, block, data, dataLength, timeoutSeconds, ignoreError);
      if (block[0] == NVME_FIRMWARE_COMMIT)
        return osl_csmi_fw_activate(drive, block, timeoutSeconds, ignoreError);
      return osl_csmi_nvme_command(drive, block, blockLength, direction, data, dataLength, response,
                                   responseLength, kind, timeoutSeconds, ignoreError);
    case OSL_CMD_NVME_IO:
      if (!block || blockLength < OSL_NVME_ENTRY_LENGTH) return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
      return osl_csmi_nvme_command(drive, block, blockLength, direction, data, dataLength, response,
                                   responseLength, kind, timeoutSeconds, ignoreError);
    default:
      return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  }
}

u64 osl_csmi_find_raid_member(_OSL_PDEV* drive) {
  MemberLookup lookup;
  return findMember(drive, &lookup, true);
}

namespace {

u32 entryDword(const u8* entry, u32 index) {
  const u8* at = entry + 4 * index;
  return u32{at[0]} | u32{at[1]} << 8 | u32{at[2]} << 16 | u32{at[3]} << 24;
}

void fillFirmwareRequest(osl_rst_firmware_request* request, const _OSL_PDEV* drive, u32 function,
                         u32 dataLength) {
  request->version = 1;
  request->target = drive->target;
  request->block.Version = 1;
  request->block.Size = sizeof(osl_firmware_request_block);
  request->block.Function = function;
  request->block.Flags = OSL_RST_FLAG_CONTROLLER;
  request->block.DataBufferOffset = sizeof(osl_rst_firmware_request);
  request->block.DataBufferLength = dataLength;
}

}  // namespace

u64 osl_csmi_fw_download(_OSL_PDEV* drive, const u8* entry, void* data, u32 dataLength,
                         u32 timeoutSeconds, bool ignoreError) {
  if (!drive || !entry || (dataLength && !data)) return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
  u64 status = osl_csmi_find_raid_member(drive);
  if (status) return status;
  u64 size = u64{sizeof(osl_rst_firmware_download)} + dataLength;
  if (size > 0xFFFFFFFFull) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  auto* request = static_cast<osl_rst_firmware_download*>(std::calloc(1, static_cast<size_t>(size)));
  if (!request) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  const u32 structureLength = sizeof(osl_rst_firmware_download) - sizeof(osl_rst_firmware_request);
  fillFirmwareRequest(&request->request, drive, OSL_FIRMWARE_FUNCTION_DOWNLOAD, dataLength + structureLength);
  request->Version = 2;
  request->Size = structureLength;
  request->Offset = static_cast<u32>(entryDword(entry, 11) * 4u);
  request->BufferSize = dataLength;
  request->Slot = 0xFF;
  if (dataLength) std::memcpy(reinterpret_cast<u8*>(request) + sizeof *request, data, dataLength);
  u32 error = 0;
  status = send(drive, OSL_RST_FIRMWARE_CODE, request, static_cast<u32>(size),
                timeoutSeconds ? timeoutSeconds : OSL_RST_TIMEOUT_SECONDS, &error);
  if (status) {
    osl_log_ioctl_failure(ignoreError ? OSL_LOG_WARNING : OSL_LOG_ERROR, error);
  } else if ((status = requestOutcome(status, request)) != 0) {
    // The driver refused the piece: the image is not whole on the drive.
    osl_log(OSL_LOG_WARNING, "Warning: Invalid return code from IOCTL : %x\n",
            static_cast<unsigned>(request->request.header.ReturnCode));
  }
  std::free(request);
  return status;
}

u64 osl_csmi_fw_activate(_OSL_PDEV* drive, const u8* entry, u32 timeoutSeconds, bool ignoreError) {
  if (!drive || !entry) return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
  u64 status = osl_csmi_find_raid_member(drive);
  if (status) return status;
  u32 dword10 = entryDword(entry, 10);
  if (((dword10 >> 3) & 0x7) == 0) return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  auto* request = static_cast<osl_rst_firmware_activate*>(std::calloc(1, OSL_RST_ACTIVATE_LENGTH));
  if (!request) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  fillFirmwareRequest(&request->request, drive, OSL_FIRMWARE_FUNCTION_ACTIVATE,
                      OSL_RST_ACTIVATE_LENGTH - sizeof(osl_rst_firmware_request));
  request->Version = 1;
  request->Size = sizeof(osl_rst_firmware_activate) - sizeof(osl_rst_firmware_request);
  request->SlotToActivate = (dword10 & 0x7) ? static_cast<u8>(dword10 & 0x7) : 1;
  u32 error = 0;
  status = send(drive, OSL_RST_FIRMWARE_CODE, request, OSL_RST_ACTIVATE_LENGTH,
                timeoutSeconds ? timeoutSeconds : OSL_RST_TIMEOUT_SECONDS, &error);
  u32 returnCode = request->request.header.ReturnCode;
  std::free(request);
  if (status) {
    osl_log_ioctl_failure(ignoreError ? OSL_LOG_WARNING : OSL_LOG_ERROR, error);
    return status;
  }
  if (returnCode == 0) return 0;
  if (returnCode == OSL_FIRMWARE_STATUS_REBOOT_REQUIRED) return ORV_OSL_STATUS(ORV_ERR_REBOOT_REQUIRED);
  osl_log(OSL_LOG_WARNING, "Warning: Invalid return code from IOCTL : %x\n", returnCode);
  return ORV_OSL_STATUS(ORV_ERR_GENERIC);
}

u64 osl_csmi_phy_address(_OSL_PDEV* drive, u8* phyIdentifier, u8* portIdentifier,
                         u8 sasAddress[8]) {
  osl_csmi_phy_info_buffer info = {};
  if (u64 status = lookupRequest(drive, OSL_CSMI_PHY_INFO_CODE, &info, sizeof info)) return status;
  if (drive->target >= phyCount(info)) return ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
  const osl_csmi_phy_entity& phy = info.Phy[drive->target];
  *phyIdentifier = phy.Identify.bPhyIdentifier;
  *portIdentifier = phy.bPortIdentifier;
  std::memcpy(sasAddress, phy.Attached.bSASAddress, 8);
  return 0;
}

u64 osl_csmi_stp_send(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 direction, void* data,
                      u32 dataLength, u8* response, u32 responseLength, u32 timeoutSeconds,
                      bool ignoreError) {
  if (!drive || !block || (dataLength && !data)) return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
  u8 b[OSL_ATA_BLOCK_LENGTH] = {};
  std::memcpy(b, block, std::min<u32>(blockLength, sizeof b));
  osl_log_cdb(OSL_LOG_INFO, block, blockLength);
  u64 size = u64{sizeof(osl_csmi_stp_buffer)} + dataLength;
  if (size > 0xFFFFFFFFull) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  auto* request = static_cast<osl_csmi_stp_buffer*>(std::calloc(1, static_cast<size_t>(size)));
  if (!request) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  u64 status = osl_csmi_phy_address(drive, &request->bPhyIdentifier, &request->bPortIdentifier,
                                    request->bDestinationSASAddress);
  if (status) {
    std::free(request);
    return status;
  }
  const u8 fis[14] = {FIS_REGISTER_H2D, FIS_COMMAND_BIT, b[12], b[0], b[4], b[6], b[8],
                      b[10], b[5], b[7], b[9], b[1], b[2], b[3]};
  std::memcpy(request->bCommandFIS, fis, sizeof fis);
  request->uFlags = OSL_CSMI_STP_PIO | (direction == 0 ? OSL_CSMI_STP_WRITE : OSL_CSMI_STP_READ);
  request->uDataLength = dataLength;
  if (direction == 0 && dataLength) std::memcpy(request->bDataBuffer, data, dataLength);

  u32 error = 0;
  status = send(drive, OSL_CSMI_STP_PASSTHRU_CODE, request, static_cast<u32>(size),
                timeoutSeconds ? timeoutSeconds : OSL_CSMI_TIMEOUT_SECONDS, &error);
  const u8* f = request->bStatusFIS;
  status = requestOutcome(status, request);
  // A command the drive ended with an error fails, as on the native path.
  if (status == 0 && (f[2] & ATA_STATUS_ERR)) status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
  if (status == 0 && direction != 0 && dataLength) std::memcpy(data, request->bDataBuffer, dataLength);

  if (error != 0) {
    int level = ignoreError ? OSL_LOG_WARNING : OSL_LOG_ERROR;
    osl_log_ioctl_failure(level, error);
    osl_log_at(level, "CSMI Return code: 0x%X\n", static_cast<unsigned>(request->header.ReturnCode));
  }
  const u8 registers[RESPONSE_LENGTH] = {f[3], f[11], f[12], f[13], f[4], f[8], f[5],
                                         f[9], f[6], f[10], f[7], 0, f[2]};
  if (response) std::memcpy(response, registers, std::min(responseLength, RESPONSE_LENGTH));
  int level = (status == 0 || ignoreError) ? OSL_LOG_INFO : OSL_LOG_ERROR;
  unsigned long long lba = u64{f[10]} << 40 | u64{f[9]} << 32 | u64{f[8]} << 24 | u64{f[6]} << 16 |
                           u64{f[5]} << 8 | f[4];
  osl_log_at(level,
             "ATA Response [Error : 0x%02x] [Count : 0x%04x] [LBA : 0x%012llx] [Device : 0x%02x] "
             "[Status : 0x%02x]\n\n",
             f[3], f[13] << 8 | f[12], lba, f[7], f[2]);
  std::free(request);
  return status;
}

u64 osl_csmi_nvme_command(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 direction,
                          void* data, u32 dataLength, u8* response, u32 responseLength,
                          osl_cmd_type kind, u32 timeoutSeconds, bool ignoreError) {
  if (!drive || !block || blockLength < OSL_NVME_ENTRY_LENGTH || (dataLength && !data))
    return ORV_OSL_STATUS(ORV_ERR_PARAMETER_VALUE);
  osl_log_cdb(OSL_LOG_INFO, block, blockLength);
  // The data ends the request, whose length is a whole number of Dwords.
  u64 area = dataLength ? dataLength : OSL_RST_NVME_DEFAULT_DATA;
  u64 size = (sizeof(osl_rst_nvme_request) + area + 3) / 4 * 4;
  if (size > 0xFFFFFFFFull) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  auto* request = static_cast<osl_rst_nvme_request*>(std::calloc(1, static_cast<size_t>(size)));
  if (!request) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  u8* bytes = reinterpret_cast<u8*>(request);
  request->version = 1;
  request->target = drive->target;
  // Only the opcode, the namespace and Dwords 10 to 15 travel: the driver
  // builds the data pointers itself.
  request->command[0] = block[0];
  std::memcpy(request->command + 4, block + 4, 4);
  std::memcpy(request->command + OSL_NVME_DWORD10, block + OSL_NVME_DWORD10, 24);
  request->queueType = kind == OSL_CMD_NVME_ADMIN ? OSL_RST_NVME_ADMIN_QUEUE : OSL_RST_NVME_IO_QUEUE;
  request->dataOffset = static_cast<u32>(size - area);
  request->dataLength = static_cast<u32>(area);
  if (direction == 1 && dataLength) std::memcpy(bytes + request->dataOffset, data, dataLength);

  u32 error = 0;
  u64 status = send(drive, OSL_RST_NVME_CODE, request, static_cast<u32>(size),
                    timeoutSeconds ? timeoutSeconds : OSL_RST_TIMEOUT_SECONDS, &error);
  const u8* completion = request->completion;
  u32 statusWord = u32{completion[14]} | u32{completion[15]} << 8;
  // Success is Status Code and Status Code Type both 0: a completion of any
  // other type is an error whatever its code.
  bool completed = (statusWord >> 1 & 0xFF) == 0 && (statusWord >> 9 & 0x7) == 0;
  if (status == 0 && (request->header.ReturnCode != OSL_RST_NVME_CARRIED || !completed))
    status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
  if (status == 0 && direction == 0 && dataLength) {
    // The data is read where the driver says it put it, and only from
    // within the request.
    u32 offset = request->dataOffset;
    if (offset < sizeof(osl_rst_nvme_request) || offset > size || size - offset < dataLength)
      status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
    else
      std::memcpy(data, bytes + offset, dataLength);
  }

  if (error != 0) {
    int level = ignoreError ? OSL_LOG_WARNING : OSL_LOG_ERROR;
    osl_log_ioctl_failure(level, error);
    osl_log_at(level, "CSMI NVMe Status: 0x%X\n", static_cast<unsigned>(request->header.ReturnCode));
  }
  if (response) std::memcpy(response, completion, std::min(responseLength, OSL_NVME_COMPLETION_LENGTH));
  osl_nvme_log_cqe((status == 0 || ignoreError) ? OSL_LOG_INFO : OSL_LOG_ERROR, completion,
                   OSL_NVME_COMPLETION_LENGTH);
  std::free(request);
  return status;
}
