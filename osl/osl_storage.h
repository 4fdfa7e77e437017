// Storage request layouts that the OS layer declares itself, for both hosts:
// the values and structures some platform headers lack, and the request
// areas the senders build around the platform's pass-through headers. The
// wire layouts are pinned by tests on both hosts.
#pragma once

#include <cstddef>

#include "osl/osl_platform.h"
#include "osl/osl_types.h"

// ATA pass-through flags some headers lack.
constexpr USHORT OSL_ATA_FLAGS_NO_MULTIPLE = 0x20;
// STORAGE_BUS_TYPE value of NVMe drives, missing from older headers.
constexpr u32 OSL_STORAGE_BUS_NVME = 17;

// Device interface class of disks: {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}.
constexpr GUID OSL_DISK_INTERFACE_GUID = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// Device interface class of storage ports (RAID controllers among them):
// {2ACCFE60-C130-11D2-B082-00A0C91EFB8B}.
constexpr GUID OSL_STORAGE_PORT_INTERFACE_GUID = {
    0x2ACCFE60, 0xC130, 0x11D2, {0xB0, 0x82, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The 128-byte SCSI request area: the pass-through header, the sense data at
// byte 60 and, in the buffered form, the data from byte 124 on (the buffered
// form allocates the area plus the data length).
constexpr u32 OSL_SCSI_SENSE_OFFSET = 60;
constexpr u32 OSL_SCSI_SENSE_LENGTH = 64;
constexpr u32 OSL_SCSI_DATA_OFFSET = 124;
constexpr u32 OSL_SCSI_AREA_LENGTH = 128;

struct osl_scsi_request {
  union {
    SCSI_PASS_THROUGH buffered;
    SCSI_PASS_THROUGH_DIRECT direct;
  } header;
  ULONG filler;
  UCHAR sense[OSL_SCSI_SENSE_LENGTH];
  UCHAR data[4];
};

static_assert(sizeof(SCSI_PASS_THROUGH) == 56 && sizeof(SCSI_PASS_THROUGH_DIRECT) == 56,
              "pass-through header of the 64-bit ABI");
static_assert(offsetof(osl_scsi_request, sense) == OSL_SCSI_SENSE_OFFSET, "sense at 60");
static_assert(offsetof(osl_scsi_request, data) == OSL_SCSI_DATA_OFFSET, "data at 124");
static_assert(sizeof(osl_scsi_request) == OSL_SCSI_AREA_LENGTH, "128-byte request area");
static_assert(sizeof(ATA_PASS_THROUGH_DIRECT) == 48, "ATA pass-through of the 64-bit ABI");
