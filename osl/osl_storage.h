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

// NVMe requests of the storage driver. Control codes and the property ids of
// the protocol-specific queries, by value: older headers lack some of them.
constexpr u32 OSL_IOCTL_STORAGE_PROTOCOL_COMMAND = 0x2DD3C0;
constexpr u32 OSL_IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD = 0x2DD200;
constexpr u32 OSL_IOCTL_STORAGE_FIRMWARE_GET_INFO = 0x2D1C00;
constexpr u32 OSL_IOCTL_STORAGE_FIRMWARE_DOWNLOAD = 0x2DDC04;
constexpr u32 OSL_IOCTL_STORAGE_FIRMWARE_ACTIVATE = 0x2DDC08;
constexpr u32 OSL_IOCTL_DISK_GET_CACHE_INFORMATION = 0x740D4;
constexpr u32 OSL_IOCTL_DISK_SET_CACHE_INFORMATION = 0x7C0D8;
constexpr u32 OSL_PROPERTY_ADAPTER_PROTOCOL_SPECIFIC = 49;
constexpr u32 OSL_PROPERTY_DEVICE_PROTOCOL_SPECIFIC = 50;
constexpr u32 OSL_PROTOCOL_TYPE_NVME = 3;
constexpr u32 OSL_NVME_DATA_TYPE_IDENTIFY = 1;
constexpr u32 OSL_NVME_DATA_TYPE_LOG_PAGE = 2;
constexpr u32 OSL_NVME_DATA_TYPE_FEATURE = 3;
constexpr u32 OSL_PROTOCOL_COMMAND_ADAPTER_REQUEST = 0x80000000u;
constexpr u32 OSL_PROTOCOL_COMMAND_ADMIN = 1;
constexpr u32 OSL_PROTOCOL_COMMAND_IO = 2;
constexpr u32 OSL_HW_FIRMWARE_CONTROLLER = 1;
constexpr u32 OSL_HW_FIRMWARE_LAST_SEGMENT = 2;
// The operating-system error of an activation that takes effect at reset.
constexpr u32 OSL_ERROR_FIRMWARE_REBOOT_REQUIRED = 0x30207;

struct osl_storage_protocol_command {
  u32 Version;
  u32 Length;
  u32 ProtocolType;
  u32 Flags;
  u32 ReturnStatus;
  u32 ErrorCode;
  u32 CommandLength;
  u32 ErrorInfoLength;
  u32 DataToDeviceTransferLength;
  u32 DataFromDeviceTransferLength;
  u32 TimeOutValue;
  u32 ErrorInfoOffset;
  u32 DataToDeviceBufferOffset;
  u32 DataFromDeviceBufferOffset;
  u32 CommandSpecific;
  u32 Reserved0;
  u32 FixedProtocolReturnData;
  u32 Reserved1[3];
  u8 Command[4];
};
// The request: the header, the 64-byte command, 64 bytes of error
// information, then the data.
constexpr u32 OSL_PROTOCOL_COMMAND_LENGTH = 84;
constexpr u32 OSL_PROTOCOL_COMMAND_OFFSET = 80;
constexpr u32 OSL_PROTOCOL_ERROR_INFO_OFFSET = 144;
constexpr u32 OSL_PROTOCOL_DATA_OFFSET = 208;

struct osl_protocol_specific_data {
  u32 ProtocolType;
  u32 DataType;
  u32 ProtocolDataRequestValue;
  u32 ProtocolDataRequestSubValue;
  u32 ProtocolDataOffset;
  u32 ProtocolDataLength;
  u32 FixedProtocolReturnData;
  // A log page: the byte offset's high 32 bits, the log-specific
  // identifier, and the retain-event bit and log-specific field.
  u32 ProtocolDataRequestSubValue2;
  u32 ProtocolDataRequestSubValue3;
  u32 ProtocolDataRequestSubValue4;
};
// ProtocolDataRequestSubValue4 of a log page: bit 0 retain the asynchronous
// event, bits 4-1 the log-specific field.
constexpr u32 OSL_LOG_PAGE_RETAIN_EVENT = 0x01;
constexpr u32 OSL_LOG_PAGE_SPECIFIC_SHIFT = 1;
constexpr u32 OSL_LOG_PAGE_SPECIFIC_MASK = 0x0F;

// The protocol-specific query and its answer share one layout: PropertyId
// and QueryType (or Version and Size), the protocol data, then the data.
struct osl_protocol_query {
  u32 PropertyId;  // the answer: Version
  u32 QueryType;   // the answer: Size
  osl_protocol_specific_data ProtocolSpecific;
};
constexpr u32 OSL_PROTOCOL_QUERY_HEADER = 48;
constexpr u32 OSL_PROTOCOL_DATA_LENGTH = 4096;
constexpr u32 OSL_PROTOCOL_QUERY_LENGTH = OSL_PROTOCOL_QUERY_HEADER + OSL_PROTOCOL_DATA_LENGTH;

struct osl_temperature_threshold {
  u32 Version;
  u32 Size;
  u16 Flags;
  u16 Index;
  s16 Threshold;
  u8 OverThreshold;
  u8 Reserved;
};

struct osl_hw_firmware_download {
  u32 Version;
  u32 Size;
  u32 Flags;
  u8 Slot;
  u8 Reserved[3];
  u64 Offset;
  u64 BufferSize;
  u8 ImageBuffer[8];
};
constexpr u32 OSL_HW_FIRMWARE_DOWNLOAD_HEADER = 32;

struct osl_hw_firmware_activate {
  u32 Version;
  u32 Size;
  u32 Flags;
  u8 Slot;
  u8 Reserved0[3];
};

// The miniport "FIRMWARE" request: the miniport header, the request block at
// byte 28, the function's structure at byte 56.
constexpr u32 OSL_FIRMWARE_CONTROL_CODE = 0x1B0780;
constexpr u32 OSL_FIRMWARE_FUNCTION_GET_INFO = 1;
constexpr u32 OSL_FIRMWARE_FUNCTION_DOWNLOAD = 2;
constexpr u32 OSL_FIRMWARE_FUNCTION_ACTIVATE = 3;
constexpr u32 OSL_FIRMWARE_REQUEST_OFFSET = 28;
constexpr u32 OSL_FIRMWARE_DATA_OFFSET = 56;
constexpr u32 OSL_FIRMWARE_IMAGE_OFFSET = 80;
// The miniport's answer to an activation that takes effect at reset.
constexpr u32 OSL_FIRMWARE_STATUS_REBOOT_REQUIRED = 0x20;

struct osl_firmware_request_block {
  u32 Version;
  u32 Size;
  u32 Function;
  u32 Flags;
  u32 DataBufferOffset;
  u32 DataBufferLength;
};

struct osl_firmware_slot_info {
  u8 SlotNumber;
  u8 ReadOnly;
  u8 Reserved[6];
  u8 Revision[8];
};

struct osl_firmware_info {
  u32 Version;
  u32 Size;
  u8 UpgradeSupport;
  u8 SlotCount;
  u8 ActiveSlot;
  u8 PendingActivateSlot;
  u32 Reserved;
  osl_firmware_slot_info Slot[1];
};
constexpr u32 OSL_FIRMWARE_INFO_HEADER = 16;

struct osl_firmware_download {
  u32 Version;
  u32 Size;
  u64 Offset;
  u64 BufferSize;
};

struct osl_firmware_activate {
  u32 Version;
  u32 Size;
  u8 SlotToActivate;
  u8 Reserved0[3];
};

// The disk cache information of the cache requests.
struct osl_disk_cache_information {
  u8 ParametersSavable;
  u8 ReadCacheEnabled;
  u8 WriteCacheEnabled;
  u32 ReadRetentionPriority;
  u32 WriteRetentionPriority;
  u16 DisablePrefetchTransferLength;
  u8 PrefetchScalar;
  u16 Minimum;
  u16 Maximum;
  u16 MaximumBlocks;
};

static_assert(sizeof(osl_protocol_specific_data) == 40, "protocol-specific data");
static_assert(sizeof(osl_protocol_query) == OSL_PROTOCOL_QUERY_HEADER, "protocol query header");
static_assert(offsetof(osl_storage_protocol_command, Command) == OSL_PROTOCOL_COMMAND_OFFSET,
              "protocol command");
static_assert(offsetof(osl_hw_firmware_download, ImageBuffer) == OSL_HW_FIRMWARE_DOWNLOAD_HEADER,
              "firmware download image");
static_assert(sizeof(osl_firmware_request_block) == 24, "firmware request block");
static_assert(sizeof(osl_disk_cache_information) == 24, "disk cache information");
