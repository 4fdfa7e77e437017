// Open drives, the request record every command layer hands to the OS layer,
// the command dispatcher, and the drive list with its per-drive queries.
#pragma once

#include <string>

#include "osl/osl_platform.h"
#include "osl/osl_types.h"
#include "osl/osl_unread.h"

// How commands reach a drive (command bus) or what it is attached to
// (physical bus).
enum osl_bus_type : u32 {
  OSL_BUS_SATA = 1,
  OSL_BUS_ATA = 2,
  OSL_BUS_SAS = 3,
  OSL_BUS_SCSI = 4,
  OSL_BUS_RAID = 5,
  OSL_BUS_RAID_MEMBER = 6,
  OSL_BUS_NVME = 7,
  OSL_BUS_CSMI = 8,
  OSL_BUS_SHOWN_RAID = 9,
  OSL_BUS_NONE = 255,
};

// The command set a drive speaks.
enum osl_dev_type : u32 {
  OSL_DEV_ATA = 1,
  OSL_DEV_SCSI = 2,
  OSL_DEV_NVME = 3,
  OSL_DEV_NONE = 255,
};

// What kind of command a request carries.
enum osl_cmd_type : u32 {
  OSL_CMD_SCSI = 1,
  OSL_CMD_ATA = 2,
  OSL_CMD_ATA_IN_SCSI = 3,
  OSL_CMD_NVME_ADMIN = 4,
  OSL_CMD_NVME_IO = 5,
  OSL_CMD_REFUSED = 6,
};

// Pseudo handles of the query library's two store back-ends ("raid_b", "raid_p").
#define OSL_RAID_B_HANDLE ((HANDLE)(LONG_PTR)-9)
#define OSL_RAID_P_HANDLE ((HANDLE)(LONG_PTR)-10)
// Pseudo handles are never passed to the operating system.
inline bool osl_is_pseudo_handle(HANDLE handle) {
  return handle == OSL_RAID_B_HANDLE || handle == OSL_RAID_P_HANDLE;
}

// One open drive.
struct _OSL_PDEV {
  HANDLE handle;  // 0: the id did not parse; INVALID_HANDLE_VALUE: not open
  u8 port;        // the number before the ":" of the id
  u8 target;      // the number after the kind character; OSL_NO_TARGET: none
  u8 kind;        // the character after the ":"; 0: none
  // A drive behind a RAID controller that its opening found as a disk the
  // driver presents outside every RAID set.
  u8 disk;
  u8 reserved[4];
};

// Flag bits of a request.
constexpr u8 OSL_CMD_FLAG_BUFFERED = 0x01;     // buffered SCSI pass-through
constexpr u8 OSL_CMD_FLAG_NVME_SECLIST = 0x02;  // NVMe sender options
constexpr u8 OSL_CMD_FLAG_NVME_EFFECTS = 0x04;

// One request, owned by the command layer for the duration of one call.
struct _osl_dev_cmd {
  u8* command;           // ATA register block, SCSI CDB or NVMe submission entry
  u8 commandLength;
  u8 direction;          // non-zero: data from the drive to the host
  void* data;
  u32 dataLength;
  u8* response;          // ATA return registers (16 bytes), sense data or completion entry
  u16 responseLength;    // not used by the ATA path
  u32 timeoutSeconds;    // 0: 86,400 in the ATA and SCSI senders
  u8 ignoreError;        // failures are logged at Info instead of Error
  u8 flags;
  // Set by the SCSI sender: 1 when the pass-through call reached the drive,
  // whatever status the drive answered; 0 when the call failed or was not
  // made.
  u8 reachedDrive;
};

// The drive list: physical drives sit at the index of their device number;
// readers walk the entries and use those whose usable flag is 1 until count
// of them were seen.
constexpr u32 OSL_MAX_DRIVES = 256;
constexpr u16 OSL_NO_LUN = 0xFFFF;

enum osl_medium : u32 {
  OSL_MEDIUM_SOLID_STATE = 1,
  OSL_MEDIUM_ROTATING = 2,
  OSL_MEDIUM_UNKNOWN = 3,
};

// The model fields a listing reads a drive's model from: an ATA or NVMe
// drive's own model number, and a SCSI product identification.
constexpr u8 OSL_MODEL_FIELD = 40;
constexpr u8 OSL_PRODUCT_ID_FIELD = 16;

struct _osl_dev_entry {
  u16 deviceNumber;
  char id[32];
  char firmware[9];
  char model[41];  // as osl_read_model keeps it: the blanks before it stay
  char serial[21];
  // The characters of the field the model came from: a shorter model is the
  // drive's whole one, a model as long may have been cut short there. 0: the
  // listing has no model of the drive.
  u8 modelField;
  u32 commandBus;    // osl_bus_type
  u32 deviceType;    // osl_dev_type
  u32 physicalBus;   // osl_bus_type
  u16 logicalUnit;
  u32 medium;        // osl_medium
  u8 usable;
};

struct _osl_dev_info {
  u16 count;
  _osl_dev_entry entries[OSL_MAX_DRIVES];
};

// Opening and closing drives.
_OSL_PDEV* osl_open_device(const char* id);
u64 osl_parse_dev_id(const char* id, u8* port, u8* target, u8* kind, u64* handle);
void osl_close_device(_OSL_PDEV* drive);
_OSL_PDEV* osl_dup_device(_OSL_PDEV* drive);

// The dispatcher and the one wrapper of every device control call.
u64 osl_send_command(_OSL_PDEV* drive, _osl_dev_cmd* request, osl_bus_type commandBus,
                     osl_cmd_type kind);
u64 osl_ioctl(_OSL_PDEV* drive, u32 controlCode, void* in, u32 inLength, void* out,
              u32 outLength, u32* lastError);

// Diagnostic lines shared by the senders.
void osl_log_ioctl_failure(int level, u32 error);
void osl_log_cdb(int level, const u8* block, u32 length);

// One interface of a device interface set (disks or storage ports), opened
// for reading and writing with shared reading and writing. ended: the set
// has no interface at that index. On a failure the handle is invalid and the
// failing call and its Windows error are given.
struct osl_interface_open {
  HANDLE handle;
  bool ended;
  const char* failedCall;
  u32 error;
  DEVINST node;                // the interface's device, once read
  char path[OSL_UNREAD_TEXT];  // the device path, once read
};
// 0, or the code of the failure for the caller's status: 43 (no interface at
// the index), 14, 8 or 13.
u16 osl_open_interface(HDEVINFO set, const GUID& interfaceClass, DWORD index, osl_interface_open* out);
// The same without opening the device: its path and device node only.
u16 osl_read_interface(HDEVINFO set, const GUID& interfaceClass, DWORD index, osl_interface_open* out);

// The drive list. unread (may be null) is cleared, then tells what the
// listing went on past; the status does not change for it.
u64 osl_list_drives(_osl_dev_info* list, osl_unread_list* unread = nullptr);
void osl_enum_disk_interfaces(_osl_dev_info* list, osl_unread_list* unread = nullptr);
u64 osl_drive_query(_OSL_PDEV* drive, _osl_dev_info* list);
u64 osl_describe_drive(_OSL_PDEV* drive, _osl_dev_info* list);
// node: the disk's device node, 0 when the caller does not know it. A disk
// a RAID driver presents is named by its controller's port: one whose
// controller cannot be told, or whose identifiers cannot be read, is
// unusable: code 19 and why (may be null, else OSL_UNREAD_TEXT bytes) tell
// what failed.
u64 osl_fill_dev_entry(_OSL_PDEV* drive, u32 deviceNumber,
                       const STORAGE_DEVICE_DESCRIPTOR* descriptor, u32 descriptorLength,
                       _osl_dev_entry* entry, DEVINST node = 0, char* why = nullptr);
// A drive on a RAID bus is told by its identifiers: when they cannot be
// read, the status of that (code 19, or 8) and why (may be null).
u64 osl_bus_dev_from_descriptor(_OSL_PDEV* drive, const STORAGE_DEVICE_DESCRIPTOR* descriptor,
                                u32 descriptorLength, osl_bus_type* commandBus,
                                osl_dev_type* deviceType, osl_bus_type* physicalBus,
                                std::string* why = nullptr);
u64 osl_csmi_bus_dev_type(_OSL_PDEV* drive, const STORAGE_DEVICE_DESCRIPTOR* descriptor,
                          u32 descriptorLength, osl_bus_type* physicalBus,
                          osl_dev_type* deviceType, std::string* why = nullptr);
// The index where an entry that is not a physical drive goes: the first
// empty place from count on (then from 0), or OSL_MAX_DRIVES when none is.
u32 osl_dev_info_free_index(const _osl_dev_info* list);

// Per-drive queries. A disk on a RAID bus whose identifiers cannot be read
// answers code 19, the failed call recorded as osl_lookup_failure says.
u64 osl_get_bus_dev_type(_OSL_PDEV* drive, osl_bus_type* commandBus, osl_dev_type* deviceType,
                         osl_bus_type* physicalBus);
u32 osl_get_max_transfer_size(_OSL_PDEV* drive, osl_bus_type bus);
u32 osl_default_max_transfer(u8 bus);
u8 osl_has_partitions(_OSL_PDEV* drive, u32 ignored);
bool osl_is_unit_ready(_OSL_PDEV* drive, osl_bus_type bus);
u64 osl_require_win10();
// The version test: major and minor at least the given ones.
bool osl_windows_at_least(u32 major, u32 minor);
// For NVMe drives on the PCIe bus: the two probe flags of the NVMe sender
// (security-protocol tunnel listed, effects log supported); other buses
// leave both untouched.
void osl_get_nvme_support_flags(_OSL_PDEV* drive, osl_bus_type bus, u8* securityList,
                                u8* effectsLog);
u64 osl_query_seek_penalty(_OSL_PDEV* drive, u8* noSeekPenalty);

// Storage property queries (standard query) into out, cleared first: the
// device and adapter descriptors into OSL_DESCRIPTOR_LENGTH bytes, the device
// identifiers into OSL_DEVICE_ID_LENGTH. Readers trust no more of the answer
// than its Size field and the buffer both cover. A device descriptor that
// cannot be read names the disk, the call and its error as
// osl_lookup_failure records them (code 19).
constexpr u32 OSL_DESCRIPTOR_LENGTH = 512;
constexpr u32 OSL_DEVICE_ID_LENGTH = 8192;
u64 osl_query_device_descriptor(_OSL_PDEV* drive, void* out);
u64 osl_query_adapter_descriptor(_OSL_PDEV* drive, void* out);
u64 osl_query_device_ids(_OSL_PDEV* drive, void* out, u32* error = nullptr);
// A NUL-terminated text of a descriptor read into bufferLength bytes: at most
// limit characters from offset, within what the driver filled; false when
// the offset names none.
bool osl_descriptor_text(const void* descriptor, u32 bufferLength, u32 offset, u32 limit,
                         char* out);

// Drive arguments typed by a user.
void osl_dev_name(const char* argument, char out[32]);
bool osl_dev_name_equal(const char* a, const char* b);
