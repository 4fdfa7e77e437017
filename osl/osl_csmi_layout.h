// The CSMI requests sent to a RAID controller with IOCTL_SCSI_MINIPORT: each
// buffer is the miniport header followed by the request's structure, and the
// same buffer goes in and comes back. No platform header declares them; the
// simulated controller reads the same declarations.
#pragma once

#include <cstddef>

#include "osl/osl_platform.h"
#include "osl/osl_storage.h"
#include "osl/osl_types.h"

constexpr u32 OSL_CSMI_HEADER_LENGTH = 28;
constexpr u32 OSL_CSMI_TIMEOUT_SECONDS = 300;

// Control codes.
constexpr u32 OSL_CSMI_DRIVER_INFO_CODE = 1;
constexpr u32 OSL_CSMI_RAID_INFO_CODE = 10;
constexpr u32 OSL_CSMI_RAID_CONFIG_CODE = 11;
constexpr u32 OSL_CSMI_PHY_INFO_CODE = 20;
constexpr u32 OSL_CSMI_STP_PASSTHRU_CODE = 25;

// Attached device types and target protocols of a phy.
constexpr u8 OSL_CSMI_END_DEVICE = 0x10;
constexpr u8 OSL_CSMI_PROTOCOL_SATA = 0x01;
constexpr u8 OSL_CSMI_PROTOCOL_SMP = 0x02;
constexpr u8 OSL_CSMI_PROTOCOL_STP = 0x04;
constexpr u8 OSL_CSMI_PROTOCOL_SSP = 0x08;

// STP pass-through flags.
constexpr u32 OSL_CSMI_STP_READ = 0x01;
constexpr u32 OSL_CSMI_STP_WRITE = 0x02;
constexpr u32 OSL_CSMI_STP_PIO = 0x10;

constexpr u32 OSL_CSMI_DRIVER_INFO_LENGTH = 176;

struct osl_csmi_driver_info_buffer {
  SRB_IO_CONTROL header;
  u8 information[OSL_CSMI_DRIVER_INFO_LENGTH];
};

struct osl_csmi_raid_info_buffer {
  SRB_IO_CONTROL header;
  u32 uNumRaidSets;
  u32 uMaxDrivesPerSet;
  u8 bReserved[92];
};

struct osl_csmi_raid_drive {
  u8 bModel[40];
  u8 bFirmware[8];
  u8 bSerialNumber[40];
  u8 bSASAddress[8];
  u8 bSASLun[8];
  u8 bDriveStatus;
  u8 bDriveUsage;
  u8 bReserved[30];
};

// Followed by uMaxDrivesPerSet drive entries.
struct osl_csmi_raid_config_buffer {
  SRB_IO_CONTROL header;
  u32 uRaidSetIndex;
  u32 uCapacity;
  u32 uStripeSize;
  u8 bRaidType;
  u8 bStatus;
  u8 bInformation;
  u8 bDriveCount;
  u8 bReserved[20];
};

struct osl_csmi_identify {
  u8 bDeviceType;
  u8 bRestricted;
  u8 bInitiatorPortProtocol;
  u8 bTargetPortProtocol;
  u8 bRestricted2[8];
  u8 bSASAddress[8];
  u8 bPhyIdentifier;
  u8 bSignalClass;
  u8 bReserved[6];
};

struct osl_csmi_phy_entity {
  osl_csmi_identify Identify;
  u8 bPortIdentifier;
  u8 bNegotiatedLinkRate;
  u8 bMinimumLinkRate;
  u8 bMaximumLinkRate;
  u8 bPhyChangeCount;
  u8 bAutoDiscover;
  u8 bPhyFeatures;
  u8 bReserved;
  osl_csmi_identify Attached;
};

constexpr u32 OSL_CSMI_MAX_PHYS = 32;

struct osl_csmi_phy_info_buffer {
  SRB_IO_CONTROL header;
  u8 bNumberOfPhys;
  u8 bReserved[3];
  osl_csmi_phy_entity Phy[OSL_CSMI_MAX_PHYS];
};

// Allocated with the data length added to its size.
struct osl_csmi_stp_buffer {
  SRB_IO_CONTROL header;
  u8 bPhyIdentifier;
  u8 bPortIdentifier;
  u8 bConnectionRate;
  u8 bReserved;
  u8 bDestinationSASAddress[8];
  u8 bReserved2[4];
  u8 bCommandFIS[20];
  u32 uFlags;
  u32 uDataLength;
  u8 bConnectionStatus;
  u8 bReserved3[3];
  u8 bStatusFIS[20];
  u32 uSCR[16];
  u32 uDataBytes;
  u8 bDataBuffer[1];
};
constexpr u32 OSL_CSMI_STP_DATA_OFFSET = 164;

static_assert(sizeof(SRB_IO_CONTROL) == OSL_CSMI_HEADER_LENGTH, "miniport header");
static_assert(sizeof(osl_csmi_driver_info_buffer) == 204, "CSMI driver information");
static_assert(sizeof(osl_csmi_raid_info_buffer) == 128, "CSMI RAID information");
static_assert(sizeof(osl_csmi_raid_drive) == 136, "CSMI RAID drive");
static_assert(sizeof(osl_csmi_raid_config_buffer) == 64, "CSMI RAID configuration");
static_assert(sizeof(osl_csmi_phy_entity) == 64, "CSMI phy");
static_assert(sizeof(osl_csmi_phy_info_buffer) == 2080, "CSMI phy information");
static_assert(offsetof(osl_csmi_stp_buffer, bDataBuffer) == OSL_CSMI_STP_DATA_OFFSET, "STP data");
static_assert(sizeof(osl_csmi_stp_buffer) == 168, "CSMI STP pass-through");

// The RAID driver's firmware request for an NVMe drive of its RAID
// configuration: the miniport header, the drive's target, the firmware request
// block of the miniport firmware request, and the download or activation
// structure after it; functions and the reboot answer are those of that request.
constexpr u32 OSL_RST_FIRMWARE_CODE = 0xF0000040;
constexpr u32 OSL_RST_TIMEOUT_SECONDS = 86400;
constexpr u32 OSL_RST_FLAG_CONTROLLER = 1;
constexpr u32 OSL_RST_ACTIVATE_LENGTH = 580;

struct osl_rst_firmware_request {
  SRB_IO_CONTROL header;
  u8 version;
  u8 target;
  u8 reserved[2];
  osl_firmware_request_block block;
};

// Followed by the image.
struct osl_rst_firmware_download {
  osl_rst_firmware_request request;
  u32 Version;
  u32 Size;
  u64 Offset;
  u64 BufferSize;
  u8 Slot;
  u8 Reserved[3];
  u32 ImageSize;
};

struct osl_rst_firmware_activate {
  osl_rst_firmware_request request;
  u32 Version;
  u32 Size;
  u8 SlotToActivate;
  u8 Reserved[3];
};

static_assert(sizeof(osl_rst_firmware_request) == 56, "RST firmware request");
static_assert(sizeof(osl_rst_firmware_download) == 88, "RST firmware download");
static_assert(offsetof(osl_rst_firmware_activate, SlotToActivate) == 64, "RST firmware activation");

// The RAID driver's NVMe pass-through for an NVMe drive of its RAID
// configuration: the submission entry goes in, the completion entry comes
// back, and the data lies at the data offset. The driver answers ReturnCode
// 1 when it carried the command to the drive.
constexpr u32 OSL_RST_NVME_CODE = 0xF0002808;
constexpr u32 OSL_RST_NVME_CARRIED = 1;
constexpr u32 OSL_RST_NVME_DEFAULT_DATA = 4096;
constexpr u8 OSL_RST_NVME_ADMIN_QUEUE = 0;
constexpr u8 OSL_RST_NVME_IO_QUEUE = 1;

// Followed by the data area.
struct osl_rst_nvme_request {
  SRB_IO_CONTROL header;
  u8 version;
  u8 target;
  u8 reserved[2];
  u8 command[64];
  u8 queueType;
  u8 completion[16];
  u8 reserved2[3];
  u32 dataOffset;
  u32 dataLength;
  u8 reserved3[40];
};

static_assert(offsetof(osl_rst_nvme_request, command) == 32, "RST NVMe entry");
static_assert(offsetof(osl_rst_nvme_request, completion) == 97, "RST NVMe completion");
static_assert(offsetof(osl_rst_nvme_request, dataOffset) == 116, "RST NVMe data offset");
static_assert(sizeof(osl_rst_nvme_request) == 164, "RST NVMe pass-through");
