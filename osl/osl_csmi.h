// RAID controllers of the CSMI kind: requests sent with IOCTL_SCSI_MINIPORT
// to the controller's storage-port device. Drives behind a controller are
// named "SCSI%u:%c%u": the controller's index among the storage ports, "r"
// for an NVMe drive of its RAID configuration (numbered by its target) or
// "p" for a device on one of its phys (numbered by the phy).
#pragma once

#include <string>

#include "osl/osl_cmd.h"
#include "osl/osl_csmi_layout.h"

// The 8-byte signature of a control code; an unknown code: code 19.
u64 osl_csmi_signature(u32 controlCode, u8 out[8]);
// Sends one request: buffer (length bytes, zeroed but for the request's own
// fields, the miniport header first) is given its header and sent in and
// out. It succeeds when Windows carries it and the driver answers ReturnCode
// 0. A failure is logged unless the request only probes for a controller;
// why (may be null) receives "CSMI <request> failed (error: E, return code:
// 0xR)", error (may be null) the Windows error, 0 when none.
u64 osl_csmi_request(_OSL_PDEV* controller, u32 controlCode, void* buffer, u32 length,
                     bool logFailure, std::string* why = nullptr, u32* error = nullptr);
// 0 when a CSMI driver answers on the handle.
u64 osl_csmi_get_driver_info(HANDLE handle, std::string* why = nullptr, u32* error = nullptr);
// Whether the handle of an open drive is a CSMI controller's. A drive opened
// behind a controller that no longer answers cannot be looked up: code 19,
// the reason recorded as osl_lookup_failure says.
u64 osl_csmi_drive_controller(_OSL_PDEV* drive, bool* controller);

// Listing: entries are appended to the list after the drives already in it.
// A storage port or request that fails is passed over and recorded in
// unread (may be null); a request fails when Windows fails it or the driver
// answers a ReturnCode other than 0. A port that knows no miniport requests
// is no controller and no failure.
u64 osl_csmi_list_drives(_osl_dev_info* list, osl_unread_list* unread = nullptr);
u64 osl_csmi_list_raid_drives(_OSL_PDEV* controller, _osl_dev_info* list, u32* raidSets,
                              osl_unread_list* unread = nullptr);
// keys: 256 four-byte keys (port and SAS address bytes 0-2) of the drives
// already listed, keyCount their number.
u64 osl_csmi_list_raid_set(_OSL_PDEV* controller, u32 setIndex, u32 maxDrivesPerSet,
                           _osl_dev_info* list, u32* keys, u16* keyCount,
                           osl_unread_list* unread = nullptr);
// The controller record's target selects one phy (OSL_NO_TARGET: all).
u64 osl_csmi_list_phy_drives(_OSL_PDEV* controller, _osl_dev_info* list,
                             osl_unread_list* unread = nullptr);

// Opens the controller of a drive whose port, target and kind were parsed.
u64 osl_csmi_open(_OSL_PDEV* drive);
// The port of the RAID controller that presents a disk (the disk's device
// node): the storage port whose device is the disk's parent. A disk whose
// controller cannot be told: code 19, why (may be null) says what failed.
u64 osl_csmi_controller_port(DEVINST disk, u8* port, std::string* why = nullptr);
// A RAID member is looked for in every RAID set of its controller; the
// member is the entry the listing lists, else any entry of its target. When
// no set holds its target, it is looked for among the physical drives: the
// RAID driver presents an NVMe drive outside every set as a disk of its own
// (the drive query appends that disk as the physical listing describes it).
// A set that cannot be read may hold the drive: when neither a readable set
// nor a disk holds it, that set's failure is the answer. Every request about one drive that fails
// (here, before STP pass-through and at opening) answers code 19 with its
// reason recorded as osl_lookup_failure says.
// The drive query appends the member as the listing describes it.
u64 osl_csmi_raid_query(_OSL_PDEV* drive, _osl_dev_info* list);
// A RAID member's types.
u64 osl_csmi_raid_bus_dev_type(_OSL_PDEV* drive, _osl_dev_entry* entry);
u64 osl_csmi_phy_describe(_OSL_PDEV* drive, _osl_dev_entry* entry);

// Sending commands to a drive behind the controller. ATA commands travel as
// STP pass-through requests; the response is the 13-byte return register
// block (the layout of the native ATA sender's first 13 bytes). NVMe
// Firmware Image Download and Firmware Commit travel as the RAID driver's
// firmware requests, every other NVMe command through its NVMe pass-through.
u64 osl_csmi_nvme_send(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 direction, void* data,
                       u32 dataLength, u8* response, u32 responseLength, osl_cmd_type kind,
                       u32 timeoutSeconds, bool ignoreError);
u64 osl_csmi_stp_send(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 direction, void* data,
                      u32 dataLength, u8* response, u32 responseLength, u32 timeoutSeconds,
                      bool ignoreError);
// The response is the 16-byte completion entry; direction 0 brings data
// from the drive, 1 takes it to the drive or has none.
u64 osl_csmi_nvme_command(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 direction,
                          void* data, u32 dataLength, u8* response, u32 responseLength,
                          osl_cmd_type kind, u32 timeoutSeconds, bool ignoreError);
// The drive's phy: its identifier, its port identifier and the SAS address
// of the device attached to it.
u64 osl_csmi_phy_address(_OSL_PDEV* drive, u8* phyIdentifier, u8* portIdentifier,
                         u8 sasAddress[8]);
// The firmware requests; entry is the 64-byte submission entry.
u64 osl_csmi_fw_download(_OSL_PDEV* drive, const u8* entry, void* data, u32 dataLength,
                         u32 timeoutSeconds, bool ignoreError);
u64 osl_csmi_fw_activate(_OSL_PDEV* drive, const u8* entry, u32 timeoutSeconds, bool ignoreError);
// 0 when the drive is a member of a RAID set, the disk outside the sets its
// opening found, or the controller has no set; asked before each firmware
// request, which enumerates no disk.
u64 osl_csmi_find_raid_member(_OSL_PDEV* drive);
