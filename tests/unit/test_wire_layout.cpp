// Every layout that crosses DeviceIoControl or SetupDi, pinned to the 64-bit
// Windows ABI in both builds: the simulated machine's declarations and the
// platform headers must agree byte for byte.
#include <gtest/gtest.h>

#include <cstddef>

#include "osl/osl_cmd.h"
#include "osl/osl_csmi_layout.h"
#include "osl/osl_storage.h"

namespace {

struct Pin {
  const char* what;
  size_t actual, expected;
};
#define SIZE(type, size) {"sizeof " #type, sizeof(type), size}
#define AT(type, field, offset) {#type "." #field, offsetof(type, field), offset}
#define VALUE(name, value) {#name, static_cast<size_t>(name), value}

void expectPins(std::initializer_list<Pin> pins) {
  for (const Pin& pin : pins) EXPECT_EQ(pin.actual, pin.expected) << pin.what;
}

TEST(WireLayout, PassThroughAndStorageQueries) {
  expectPins({
      SIZE(ATA_PASS_THROUGH_DIRECT, 48), AT(ATA_PASS_THROUGH_DIRECT, AtaFlags, 2),
      AT(ATA_PASS_THROUGH_DIRECT, PathId, 4), AT(ATA_PASS_THROUGH_DIRECT, TargetId, 5),
      AT(ATA_PASS_THROUGH_DIRECT, Lun, 6), AT(ATA_PASS_THROUGH_DIRECT, DataTransferLength, 8),
      AT(ATA_PASS_THROUGH_DIRECT, TimeOutValue, 12), AT(ATA_PASS_THROUGH_DIRECT, DataBuffer, 24),
      AT(ATA_PASS_THROUGH_DIRECT, PreviousTaskFile, 32), AT(ATA_PASS_THROUGH_DIRECT, CurrentTaskFile, 40),
      VALUE(ATA_FLAGS_DRDY_REQUIRED | ATA_FLAGS_DATA_IN | ATA_FLAGS_DATA_OUT | ATA_FLAGS_48BIT_COMMAND, 0x0F),
      VALUE(OSL_ATA_FLAGS_NO_MULTIPLE, 0x20), SIZE(SCSI_PASS_THROUGH, 56), SIZE(SCSI_PASS_THROUGH_DIRECT, 56),
      AT(SCSI_PASS_THROUGH, ScsiStatus, 2), AT(SCSI_PASS_THROUGH, PathId, 3), AT(SCSI_PASS_THROUGH, TargetId, 4),
      AT(SCSI_PASS_THROUGH, Lun, 5), AT(SCSI_PASS_THROUGH, CdbLength, 6), AT(SCSI_PASS_THROUGH, SenseInfoLength, 7),
      AT(SCSI_PASS_THROUGH, DataIn, 8), AT(SCSI_PASS_THROUGH, DataTransferLength, 12),
      AT(SCSI_PASS_THROUGH, TimeOutValue, 16), AT(SCSI_PASS_THROUGH, DataBufferOffset, 24),
      AT(SCSI_PASS_THROUGH, SenseInfoOffset, 32), AT(SCSI_PASS_THROUGH, Cdb, 36),
      AT(SCSI_PASS_THROUGH_DIRECT, DataBuffer, 24), AT(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset, 32),
      AT(SCSI_PASS_THROUGH_DIRECT, Cdb, 36), VALUE(SCSI_IOCTL_DATA_OUT, 0), VALUE(SCSI_IOCTL_DATA_IN, 1),
      VALUE(SCSI_IOCTL_DATA_UNSPECIFIED, 2), SIZE(osl_scsi_request, 128), AT(osl_scsi_request, sense, 60),
      AT(osl_scsi_request, data, 124), SIZE(STORAGE_PROPERTY_QUERY, 12), AT(STORAGE_PROPERTY_QUERY, QueryType, 4),
      AT(STORAGE_PROPERTY_QUERY, AdditionalParameters, 8), VALUE(StorageDeviceProperty, 0),
      VALUE(StorageAdapterProperty, 1), VALUE(StorageDeviceIdProperty, 2), VALUE(StorageDeviceSeekPenaltyProperty, 7),
      SIZE(STORAGE_DEVICE_DESCRIPTOR, 40), AT(STORAGE_DEVICE_DESCRIPTOR, Size, 4),
      AT(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset, 12), AT(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset, 16),
      AT(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset, 20), AT(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset, 24),
      AT(STORAGE_DEVICE_DESCRIPTOR, BusType, 28), AT(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties, 36),
      VALUE(BusTypeScsi, 1), VALUE(BusTypeAta, 3), VALUE(BusTypeRAID, 8), VALUE(BusTypeSas, 10),
      VALUE(BusTypeSata, 11), VALUE(OSL_STORAGE_BUS_NVME, 17), VALUE(BusTypeNvme, 17),
      SIZE(STORAGE_ADAPTER_DESCRIPTOR, 32), AT(STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength, 8),
      AT(STORAGE_ADAPTER_DESCRIPTOR, MaximumPhysicalPages, 12), AT(STORAGE_ADAPTER_DESCRIPTOR, BusType, 24),
      SIZE(STORAGE_DEVICE_ID_DESCRIPTOR, 16), AT(STORAGE_DEVICE_ID_DESCRIPTOR, NumberOfIdentifiers, 8),
      AT(STORAGE_DEVICE_ID_DESCRIPTOR, Identifiers, 12), SIZE(STORAGE_IDENTIFIER, 20), AT(STORAGE_IDENTIFIER, Type, 4),
      AT(STORAGE_IDENTIFIER, IdentifierSize, 8), AT(STORAGE_IDENTIFIER, NextOffset, 10),
      AT(STORAGE_IDENTIFIER, Association, 12), AT(STORAGE_IDENTIFIER, Identifier, 16),
      SIZE(DEVICE_SEEK_PENALTY_DESCRIPTOR, 12), AT(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty, 8),
      SIZE(STORAGE_DEVICE_NUMBER, 12), AT(STORAGE_DEVICE_NUMBER, DeviceNumber, 4),
  });
}

TEST(WireLayout, DisksInterfacesVersionsAndControlCodes) {
  expectPins({
      AT(DRIVE_LAYOUT_INFORMATION_EX, PartitionCount, 4), AT(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry, 48),
      SIZE(PARTITION_INFORMATION_EX, 144), AT(PARTITION_INFORMATION_EX, StartingOffset, 8),
      AT(PARTITION_INFORMATION_EX, PartitionNumber, 24), VALUE(PARTITION_STYLE_MBR, 0), VALUE(PARTITION_STYLE_GPT, 1),
      VALUE(PARTITION_STYLE_RAW, 2), SIZE(SRB_IO_CONTROL, 28), AT(SRB_IO_CONTROL, Signature, 4),
      AT(SRB_IO_CONTROL, ControlCode, 16), AT(SRB_IO_CONTROL, ReturnCode, 20), SIZE(SP_DEVICE_INTERFACE_DATA, 32),
      SIZE(SP_DEVICE_INTERFACE_DETAIL_DATA_W, 8), AT(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath, 4),
      VALUE(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, 0x12), SIZE(OSVERSIONINFOEXW, 284),
      AT(OSVERSIONINFOEXW, wServicePackMajor, 276), SIZE(SYSTEM_INFO, 48), AT(SYSTEM_INFO, dwPageSize, 4),
      VALUE(VER_MINORVERSION, 1), VALUE(VER_MAJORVERSION, 2), VALUE(VER_SERVICEPACKMAJOR, 0x20),
      VALUE(VER_GREATER_EQUAL, 3), VALUE(static_cast<u32>(IOCTL_ATA_PASS_THROUGH_DIRECT), 0x4D030),
      VALUE(static_cast<u32>(IOCTL_SCSI_PASS_THROUGH), 0x4D004),
      VALUE(static_cast<u32>(IOCTL_SCSI_PASS_THROUGH_DIRECT), 0x4D014),
      VALUE(static_cast<u32>(IOCTL_SCSI_MINIPORT), 0x4D008),
      VALUE(static_cast<u32>(IOCTL_STORAGE_QUERY_PROPERTY), 0x2D1400),
      VALUE(static_cast<u32>(IOCTL_STORAGE_GET_DEVICE_NUMBER), 0x2D1080),
      VALUE(static_cast<u32>(IOCTL_DISK_UPDATE_PROPERTIES), 0x70140),
      VALUE(static_cast<u32>(IOCTL_DISK_GET_DRIVE_LAYOUT_EX), 0x70050),
      VALUE(OSL_IOCTL_STORAGE_PROTOCOL_COMMAND, static_cast<u32>(IOCTL_STORAGE_PROTOCOL_COMMAND)),
      VALUE(OSL_IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD, static_cast<u32>(IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD)),
      VALUE(OSL_IOCTL_STORAGE_FIRMWARE_GET_INFO, static_cast<u32>(IOCTL_STORAGE_FIRMWARE_GET_INFO)),
      VALUE(OSL_IOCTL_STORAGE_FIRMWARE_DOWNLOAD, static_cast<u32>(IOCTL_STORAGE_FIRMWARE_DOWNLOAD)),
      VALUE(OSL_IOCTL_STORAGE_FIRMWARE_ACTIVATE, static_cast<u32>(IOCTL_STORAGE_FIRMWARE_ACTIVATE)),
      VALUE(OSL_IOCTL_DISK_GET_CACHE_INFORMATION, static_cast<u32>(IOCTL_DISK_GET_CACHE_INFORMATION)),
      VALUE(OSL_IOCTL_DISK_SET_CACHE_INFORMATION, static_cast<u32>(IOCTL_DISK_SET_CACHE_INFORMATION)),
      VALUE(OSL_DISK_INTERFACE_GUID.Data1, 0x53F56307), VALUE(OSL_DISK_INTERFACE_GUID.Data2, 0xB6BF),
      VALUE(OSL_DISK_INTERFACE_GUID.Data3, 0x11D0),
  });
  const u8 tail[8] = {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(OSL_DISK_INTERFACE_GUID.Data4[i], tail[i]);
}

// The requests the OS layer declares itself.
TEST(WireLayout, CsmiAndRaidDriverRequests) {
  expectPins({
      VALUE(OSL_CSMI_HEADER_LENGTH, 28), VALUE(OSL_CSMI_DRIVER_INFO_CODE, 1), VALUE(OSL_CSMI_RAID_INFO_CODE, 10),
      VALUE(OSL_CSMI_RAID_CONFIG_CODE, 11), VALUE(OSL_CSMI_PHY_INFO_CODE, 20), VALUE(OSL_CSMI_STP_PASSTHRU_CODE, 25),
      VALUE(OSL_CSMI_END_DEVICE, 0x10), VALUE(OSL_CSMI_PROTOCOL_SATA, 1), VALUE(OSL_CSMI_PROTOCOL_SMP, 2),
      VALUE(OSL_CSMI_PROTOCOL_STP, 4), VALUE(OSL_CSMI_PROTOCOL_SSP, 8), VALUE(OSL_CSMI_DRIVER_INFO_LENGTH, 176),
      VALUE(OSL_CSMI_MAX_PHYS, 32), VALUE(OSL_CSMI_STP_DATA_OFFSET, 164), VALUE(OSL_RST_FIRMWARE_CODE, 0xF0000040),
      VALUE(OSL_RST_FLAG_CONTROLLER, 1), VALUE(OSL_RST_ACTIVATE_LENGTH, 580), VALUE(OSL_RST_NVME_CODE, 0xF0002808),
      VALUE(OSL_RST_NVME_CARRIED, 1), VALUE(OSL_RST_NVME_DEFAULT_DATA, 4096), VALUE(OSL_RST_NVME_ADMIN_QUEUE, 0),
      VALUE(OSL_RST_NVME_IO_QUEUE, 1), VALUE(OSL_SCSI_SENSE_LENGTH, 64), VALUE(OSL_SCSI_DATA_OFFSET, 124),
      SIZE(osl_csmi_driver_info_buffer, 204), SIZE(osl_csmi_raid_info_buffer, 128),
      AT(osl_csmi_raid_info_buffer, uNumRaidSets, 28), AT(osl_csmi_raid_info_buffer, uMaxDrivesPerSet, 32),
      SIZE(osl_csmi_raid_config_buffer, 64), AT(osl_csmi_raid_config_buffer, uRaidSetIndex, 28),
      AT(osl_csmi_raid_config_buffer, bDriveCount, 43), SIZE(osl_csmi_raid_drive, 136),
      AT(osl_csmi_raid_drive, bFirmware, 40), AT(osl_csmi_raid_drive, bSerialNumber, 48),
      AT(osl_csmi_raid_drive, bSASAddress, 88), AT(osl_csmi_raid_drive, bDriveStatus, 104),
      SIZE(osl_csmi_phy_info_buffer, 2080), AT(osl_csmi_phy_info_buffer, bNumberOfPhys, 28),
      AT(osl_csmi_phy_info_buffer, Phy, 32), SIZE(osl_csmi_phy_entity, 64),
      AT(osl_csmi_phy_entity, Identify.bPhyIdentifier, 20), AT(osl_csmi_phy_entity, bPortIdentifier, 28),
      AT(osl_csmi_phy_entity, Attached.bDeviceType, 36), AT(osl_csmi_phy_entity, Attached.bTargetPortProtocol, 39),
      AT(osl_csmi_phy_entity, Attached.bSASAddress, 48), SIZE(osl_csmi_stp_buffer, 168),
      AT(osl_csmi_stp_buffer, bPhyIdentifier, 28), AT(osl_csmi_stp_buffer, bPortIdentifier, 29),
      AT(osl_csmi_stp_buffer, bConnectionRate, 30), AT(osl_csmi_stp_buffer, bDestinationSASAddress, 32),
      AT(osl_csmi_stp_buffer, bCommandFIS, 44), AT(osl_csmi_stp_buffer, uFlags, 64),
      AT(osl_csmi_stp_buffer, uDataLength, 68), AT(osl_csmi_stp_buffer, bStatusFIS, 76),
      AT(osl_csmi_stp_buffer, bDataBuffer, 164), VALUE(OSL_CSMI_STP_PIO | OSL_CSMI_STP_WRITE, 18),
      VALUE(OSL_CSMI_STP_PIO | OSL_CSMI_STP_READ, 17), SIZE(osl_rst_firmware_request, 56),
      AT(osl_rst_firmware_request, version, 28), AT(osl_rst_firmware_request, target, 29),
      AT(osl_rst_firmware_request, block.Function, 40), AT(osl_rst_firmware_request, block.DataBufferOffset, 48),
      AT(osl_rst_firmware_request, block.DataBufferLength, 52), SIZE(osl_rst_firmware_download, 88),
      AT(osl_rst_firmware_download, Offset, 64), AT(osl_rst_firmware_download, BufferSize, 72),
      AT(osl_rst_firmware_download, Slot, 80), AT(osl_rst_firmware_download, ImageSize, 84),
      AT(osl_rst_firmware_activate, SlotToActivate, 64), SIZE(osl_rst_nvme_request, 164),
      AT(osl_rst_nvme_request, version, 28), AT(osl_rst_nvme_request, target, 29),
      AT(osl_rst_nvme_request, command, 32), AT(osl_rst_nvme_request, queueType, 96),
      AT(osl_rst_nvme_request, completion, 97), AT(osl_rst_nvme_request, dataOffset, 116),
      AT(osl_rst_nvme_request, dataLength, 120),
  });
}

TEST(WireLayout, NvmeDriverRequests) {
  expectPins({
      SIZE(osl_storage_protocol_command, 84), AT(osl_storage_protocol_command, ProtocolType, 8),
      AT(osl_storage_protocol_command, Flags, 12), AT(osl_storage_protocol_command, ReturnStatus, 16),
      AT(osl_storage_protocol_command, CommandLength, 24), AT(osl_storage_protocol_command, ErrorInfoLength, 28),
      AT(osl_storage_protocol_command, DataToDeviceTransferLength, 32),
      AT(osl_storage_protocol_command, DataFromDeviceTransferLength, 36),
      AT(osl_storage_protocol_command, TimeOutValue, 40), AT(osl_storage_protocol_command, ErrorInfoOffset, 44),
      AT(osl_storage_protocol_command, DataToDeviceBufferOffset, 48),
      AT(osl_storage_protocol_command, DataFromDeviceBufferOffset, 52),
      AT(osl_storage_protocol_command, CommandSpecific, 56),
      AT(osl_storage_protocol_command, FixedProtocolReturnData, 64), AT(osl_storage_protocol_command, Command, 80),
      VALUE(OSL_PROTOCOL_ERROR_INFO_OFFSET, 144), VALUE(OSL_PROTOCOL_DATA_OFFSET, 208),
      SIZE(osl_protocol_specific_data, 40), AT(osl_protocol_specific_data, DataType, 4),
      AT(osl_protocol_specific_data, ProtocolDataRequestValue, 8),
      AT(osl_protocol_specific_data, ProtocolDataRequestSubValue, 12),
      AT(osl_protocol_specific_data, ProtocolDataOffset, 16), AT(osl_protocol_specific_data, ProtocolDataLength, 20),
      AT(osl_protocol_specific_data, FixedProtocolReturnData, 24),
      AT(osl_protocol_specific_data, ProtocolDataRequestSubValue2, 28),
      AT(osl_protocol_specific_data, ProtocolDataRequestSubValue3, 32),
      AT(osl_protocol_specific_data, ProtocolDataRequestSubValue4, 36), AT(osl_protocol_query, ProtocolSpecific, 8),
      VALUE(OSL_PROTOCOL_QUERY_LENGTH, 4144), SIZE(osl_temperature_threshold, 16),
      AT(osl_temperature_threshold, Flags, 8), AT(osl_temperature_threshold, Index, 10),
      AT(osl_temperature_threshold, Threshold, 12), AT(osl_temperature_threshold, OverThreshold, 14),
      SIZE(osl_disk_cache_information, sizeof(DISK_CACHE_INFORMATION)),
      AT(osl_disk_cache_information, ReadCacheEnabled, offsetof(DISK_CACHE_INFORMATION, ReadCacheEnabled)),
      AT(osl_disk_cache_information, WriteCacheEnabled, offsetof(DISK_CACHE_INFORMATION, WriteCacheEnabled)),
      AT(osl_disk_cache_information, ReadRetentionPriority, offsetof(DISK_CACHE_INFORMATION, ReadRetentionPriority)),
      AT(osl_disk_cache_information, DisablePrefetchTransferLength, offsetof(DISK_CACHE_INFORMATION, DisablePrefetchTransferLength)),
      AT(osl_disk_cache_information, Minimum, offsetof(DISK_CACHE_INFORMATION, ScalarPrefetch.Minimum)),
      AT(osl_disk_cache_information, MaximumBlocks, offsetof(DISK_CACHE_INFORMATION, ScalarPrefetch.MaximumBlocks)),
      SIZE(osl_hw_firmware_download, 40), AT(osl_hw_firmware_download, Flags, 8),
      AT(osl_hw_firmware_download, Slot, 12), AT(osl_hw_firmware_download, Offset, 16),
      AT(osl_hw_firmware_download, BufferSize, 24), AT(osl_hw_firmware_download, ImageBuffer, 32),
      SIZE(osl_hw_firmware_activate, 16), AT(osl_hw_firmware_activate, Flags, 8),
      AT(osl_hw_firmware_activate, Slot, 12), VALUE(sizeof(SRB_IO_CONTROL) + sizeof(osl_firmware_request_block), 52),
      AT(osl_firmware_request_block, Function, 8), AT(osl_firmware_request_block, DataBufferOffset, 16),
      AT(osl_firmware_request_block, DataBufferLength, 20), VALUE(OSL_FIRMWARE_REQUEST_OFFSET, 28),
      SIZE(osl_firmware_slot_info, 16), AT(osl_firmware_slot_info, ReadOnly, 1),
      AT(osl_firmware_slot_info, Revision, 8), AT(osl_firmware_info, SlotCount, 9),
      AT(osl_firmware_info, ActiveSlot, 10), AT(osl_firmware_info, PendingActivateSlot, 11),
      AT(osl_firmware_info, Slot, 16), SIZE(osl_firmware_download, 24), VALUE(OSL_FIRMWARE_DATA_OFFSET, 56),
      VALUE(OSL_FIRMWARE_IMAGE_OFFSET, 80), SIZE(osl_firmware_activate, 12),
      AT(osl_firmware_activate, SlotToActivate, 8),
  });
}

}  // namespace
