// Every layout that crosses DeviceIoControl or SetupDi, pinned to the 64-bit
// Windows ABI in both builds: the simulated machine's declarations and the
// platform headers must agree byte for byte.
#include <gtest/gtest.h>

#include <cstddef>

#include "osl/osl_cmd.h"
#include "osl/osl_csmi_layout.h"
#include "osl/osl_storage.h"

namespace {

#define EXPECT_FIELD(type, field, offset) EXPECT_EQ(offsetof(type, field), size_t{offset}) << #field

TEST(WireLayout, AtaPassThroughDirect) {
  EXPECT_EQ(sizeof(ATA_PASS_THROUGH_DIRECT), 48u);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, Length, 0);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, AtaFlags, 2);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, PathId, 4);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, TargetId, 5);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, Lun, 6);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, DataTransferLength, 8);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, TimeOutValue, 12);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, DataBuffer, 24);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, PreviousTaskFile, 32);
  EXPECT_FIELD(ATA_PASS_THROUGH_DIRECT, CurrentTaskFile, 40);
  EXPECT_EQ(ATA_FLAGS_DRDY_REQUIRED | ATA_FLAGS_DATA_IN | ATA_FLAGS_DATA_OUT | ATA_FLAGS_48BIT_COMMAND,
            0x0F);
  EXPECT_EQ(OSL_ATA_FLAGS_NO_MULTIPLE, 0x20);
}

TEST(WireLayout, ScsiPassThroughBothForms) {
  EXPECT_EQ(sizeof(SCSI_PASS_THROUGH), 56u);
  EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), 56u);
  EXPECT_FIELD(SCSI_PASS_THROUGH, ScsiStatus, 2);
  EXPECT_FIELD(SCSI_PASS_THROUGH, PathId, 3);
  EXPECT_FIELD(SCSI_PASS_THROUGH, TargetId, 4);
  EXPECT_FIELD(SCSI_PASS_THROUGH, Lun, 5);
  EXPECT_FIELD(SCSI_PASS_THROUGH, CdbLength, 6);
  EXPECT_FIELD(SCSI_PASS_THROUGH, SenseInfoLength, 7);
  EXPECT_FIELD(SCSI_PASS_THROUGH, DataIn, 8);
  EXPECT_FIELD(SCSI_PASS_THROUGH, DataTransferLength, 12);
  EXPECT_FIELD(SCSI_PASS_THROUGH, TimeOutValue, 16);
  EXPECT_FIELD(SCSI_PASS_THROUGH, DataBufferOffset, 24);
  EXPECT_FIELD(SCSI_PASS_THROUGH, SenseInfoOffset, 32);
  EXPECT_FIELD(SCSI_PASS_THROUGH, Cdb, 36);
  EXPECT_FIELD(SCSI_PASS_THROUGH_DIRECT, DataBuffer, 24);
  EXPECT_FIELD(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset, 32);
  EXPECT_FIELD(SCSI_PASS_THROUGH_DIRECT, Cdb, 36);
  EXPECT_EQ(SCSI_IOCTL_DATA_OUT, 0);
  EXPECT_EQ(SCSI_IOCTL_DATA_IN, 1);
  EXPECT_EQ(SCSI_IOCTL_DATA_UNSPECIFIED, 2);
}

TEST(WireLayout, ScsiRequestArea) {
  EXPECT_EQ(sizeof(osl_scsi_request), 128u);
  EXPECT_FIELD(osl_scsi_request, header, 0);
  EXPECT_FIELD(osl_scsi_request, sense, 60);
  EXPECT_FIELD(osl_scsi_request, data, 124);
}

TEST(WireLayout, StorageProperties) {
  EXPECT_EQ(sizeof(STORAGE_PROPERTY_QUERY), 12u);
  EXPECT_FIELD(STORAGE_PROPERTY_QUERY, QueryType, 4);
  EXPECT_FIELD(STORAGE_PROPERTY_QUERY, AdditionalParameters, 8);
  EXPECT_EQ(StorageDeviceProperty, 0);
  EXPECT_EQ(StorageAdapterProperty, 1);
  EXPECT_EQ(StorageDeviceIdProperty, 2);
  EXPECT_EQ(StorageDeviceSeekPenaltyProperty, 7);

  EXPECT_EQ(sizeof(STORAGE_DEVICE_DESCRIPTOR), 40u);
  EXPECT_FIELD(STORAGE_DEVICE_DESCRIPTOR, Size, 4);
  EXPECT_FIELD(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset, 12);
  EXPECT_FIELD(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset, 16);
  EXPECT_FIELD(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset, 20);
  EXPECT_FIELD(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset, 24);
  EXPECT_FIELD(STORAGE_DEVICE_DESCRIPTOR, BusType, 28);
  EXPECT_FIELD(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties, 36);
  EXPECT_EQ(BusTypeScsi, 1);
  EXPECT_EQ(BusTypeAta, 3);
  EXPECT_EQ(BusTypeRAID, 8);
  EXPECT_EQ(BusTypeSas, 10);
  EXPECT_EQ(BusTypeSata, 11);
  EXPECT_EQ(OSL_STORAGE_BUS_NVME, 17u);

  EXPECT_EQ(sizeof(STORAGE_ADAPTER_DESCRIPTOR), 32u);
  EXPECT_FIELD(STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength, 8);
  EXPECT_FIELD(STORAGE_ADAPTER_DESCRIPTOR, MaximumPhysicalPages, 12);
  EXPECT_FIELD(STORAGE_ADAPTER_DESCRIPTOR, BusType, 24);

  EXPECT_EQ(sizeof(STORAGE_DEVICE_ID_DESCRIPTOR), 16u);
  EXPECT_FIELD(STORAGE_DEVICE_ID_DESCRIPTOR, NumberOfIdentifiers, 8);
  EXPECT_FIELD(STORAGE_DEVICE_ID_DESCRIPTOR, Identifiers, 12);
  EXPECT_EQ(sizeof(STORAGE_IDENTIFIER), 20u);
  EXPECT_FIELD(STORAGE_IDENTIFIER, Type, 4);
  EXPECT_FIELD(STORAGE_IDENTIFIER, IdentifierSize, 8);
  EXPECT_FIELD(STORAGE_IDENTIFIER, NextOffset, 10);
  EXPECT_FIELD(STORAGE_IDENTIFIER, Association, 12);
  EXPECT_FIELD(STORAGE_IDENTIFIER, Identifier, 16);

  EXPECT_EQ(sizeof(DEVICE_SEEK_PENALTY_DESCRIPTOR), 12u);
  EXPECT_FIELD(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty, 8);
  EXPECT_EQ(sizeof(STORAGE_DEVICE_NUMBER), 12u);
  EXPECT_FIELD(STORAGE_DEVICE_NUMBER, DeviceNumber, 4);
}

TEST(WireLayout, DriveLayout) {
  EXPECT_FIELD(DRIVE_LAYOUT_INFORMATION_EX, PartitionCount, 4);
  EXPECT_FIELD(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry, 48);
  EXPECT_EQ(sizeof(PARTITION_INFORMATION_EX), 144u);
  EXPECT_FIELD(PARTITION_INFORMATION_EX, StartingOffset, 8);
  EXPECT_FIELD(PARTITION_INFORMATION_EX, PartitionNumber, 24);
  EXPECT_EQ(PARTITION_STYLE_MBR, 0);
  EXPECT_EQ(PARTITION_STYLE_GPT, 1);
  EXPECT_EQ(PARTITION_STYLE_RAW, 2);
}

TEST(WireLayout, MiniportAndDeviceInterfaces) {
  EXPECT_EQ(sizeof(SRB_IO_CONTROL), 28u);
  EXPECT_FIELD(SRB_IO_CONTROL, Signature, 4);
  EXPECT_FIELD(SRB_IO_CONTROL, ControlCode, 16);
  EXPECT_FIELD(SRB_IO_CONTROL, ReturnCode, 20);

  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), 32u);
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), 8u);
  EXPECT_FIELD(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath, 4);
  EXPECT_EQ(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, 0x12);
}

TEST(WireLayout, VersionAndSystemInformation) {
  EXPECT_EQ(sizeof(OSVERSIONINFOEXW), 284u);
  EXPECT_FIELD(OSVERSIONINFOEXW, wServicePackMajor, 276);
  EXPECT_EQ(sizeof(SYSTEM_INFO), 48u);
  EXPECT_FIELD(SYSTEM_INFO, dwPageSize, 4);
  EXPECT_EQ(VER_MINORVERSION, 1);
  EXPECT_EQ(VER_MAJORVERSION, 2);
  EXPECT_EQ(VER_SERVICEPACKMAJOR, 0x20);
  EXPECT_EQ(VER_GREATER_EQUAL, 3);
}

TEST(WireLayout, ControlCodes) {
  EXPECT_EQ(static_cast<u32>(IOCTL_ATA_PASS_THROUGH_DIRECT), 0x4D030u);
  EXPECT_EQ(static_cast<u32>(IOCTL_SCSI_PASS_THROUGH), 0x4D004u);
  EXPECT_EQ(static_cast<u32>(IOCTL_SCSI_PASS_THROUGH_DIRECT), 0x4D014u);
  EXPECT_EQ(static_cast<u32>(IOCTL_SCSI_MINIPORT), 0x4D008u);
  EXPECT_EQ(static_cast<u32>(IOCTL_STORAGE_QUERY_PROPERTY), 0x2D1400u);
  EXPECT_EQ(static_cast<u32>(IOCTL_STORAGE_GET_DEVICE_NUMBER), 0x2D1080u);
  EXPECT_EQ(static_cast<u32>(IOCTL_DISK_UPDATE_PROPERTIES), 0x70140u);
  EXPECT_EQ(static_cast<u32>(IOCTL_DISK_GET_DRIVE_LAYOUT_EX), 0x70050u);
}

TEST(WireLayout, DiskInterfaceClass) {
  EXPECT_EQ(OSL_DISK_INTERFACE_GUID.Data1, 0x53F56307u);
  EXPECT_EQ(OSL_DISK_INTERFACE_GUID.Data2, 0xB6BF);
  EXPECT_EQ(OSL_DISK_INTERFACE_GUID.Data3, 0x11D0);
  const u8 tail[8] = {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(OSL_DISK_INTERFACE_GUID.Data4[i], tail[i]);
}

}  // namespace

TEST(WireLayout, CsmiRequests) {
  EXPECT_EQ(sizeof(osl_csmi_driver_info_buffer), 204u);

  EXPECT_EQ(sizeof(osl_csmi_raid_info_buffer), 128u);
  EXPECT_FIELD(osl_csmi_raid_info_buffer, uNumRaidSets, 28);
  EXPECT_FIELD(osl_csmi_raid_info_buffer, uMaxDrivesPerSet, 32);

  EXPECT_EQ(sizeof(osl_csmi_raid_config_buffer), 64u);
  EXPECT_FIELD(osl_csmi_raid_config_buffer, uRaidSetIndex, 28);
  EXPECT_FIELD(osl_csmi_raid_config_buffer, bDriveCount, 43);
  EXPECT_EQ(sizeof(osl_csmi_raid_drive), 136u);
  EXPECT_FIELD(osl_csmi_raid_drive, bFirmware, 40);
  EXPECT_FIELD(osl_csmi_raid_drive, bSerialNumber, 48);
  EXPECT_FIELD(osl_csmi_raid_drive, bSASAddress, 88);
  EXPECT_FIELD(osl_csmi_raid_drive, bDriveStatus, 104);

  EXPECT_EQ(sizeof(osl_csmi_phy_info_buffer), 2080u);
  EXPECT_FIELD(osl_csmi_phy_info_buffer, bNumberOfPhys, 28);
  EXPECT_FIELD(osl_csmi_phy_info_buffer, Phy, 32);
  EXPECT_EQ(sizeof(osl_csmi_phy_entity), 64u);
  EXPECT_FIELD(osl_csmi_phy_entity, Identify.bPhyIdentifier, 20);
  EXPECT_FIELD(osl_csmi_phy_entity, bPortIdentifier, 28);
  EXPECT_FIELD(osl_csmi_phy_entity, Attached.bDeviceType, 36);
  EXPECT_FIELD(osl_csmi_phy_entity, Attached.bTargetPortProtocol, 39);
  EXPECT_FIELD(osl_csmi_phy_entity, Attached.bSASAddress, 48);

  EXPECT_EQ(sizeof(osl_csmi_stp_buffer), 168u);
  EXPECT_FIELD(osl_csmi_stp_buffer, bPhyIdentifier, 28);
  EXPECT_FIELD(osl_csmi_stp_buffer, bPortIdentifier, 29);
  EXPECT_FIELD(osl_csmi_stp_buffer, bConnectionRate, 30);
  EXPECT_FIELD(osl_csmi_stp_buffer, bDestinationSASAddress, 32);
  EXPECT_FIELD(osl_csmi_stp_buffer, bCommandFIS, 44);
  EXPECT_FIELD(osl_csmi_stp_buffer, uFlags, 64);
  EXPECT_FIELD(osl_csmi_stp_buffer, uDataLength, 68);
  EXPECT_FIELD(osl_csmi_stp_buffer, bStatusFIS, 76);
  EXPECT_FIELD(osl_csmi_stp_buffer, bDataBuffer, 164);
  EXPECT_EQ(OSL_CSMI_STP_PIO | OSL_CSMI_STP_WRITE, 18u);
  EXPECT_EQ(OSL_CSMI_STP_PIO | OSL_CSMI_STP_READ, 17u);
}

TEST(WireLayout, RaidDriverFirmwareRequests) {
  EXPECT_EQ(sizeof(osl_rst_firmware_request), 56u);
  EXPECT_FIELD(osl_rst_firmware_request, version, 28);
  EXPECT_FIELD(osl_rst_firmware_request, target, 29);
  EXPECT_FIELD(osl_rst_firmware_request, block.Function, 40);
  EXPECT_FIELD(osl_rst_firmware_request, block.DataBufferOffset, 48);
  EXPECT_FIELD(osl_rst_firmware_request, block.DataBufferLength, 52);
  EXPECT_EQ(sizeof(osl_rst_firmware_download), 88u);
  EXPECT_FIELD(osl_rst_firmware_download, Offset, 64);
  EXPECT_FIELD(osl_rst_firmware_download, BufferSize, 72);
  EXPECT_FIELD(osl_rst_firmware_download, Slot, 80);
  EXPECT_FIELD(osl_rst_firmware_download, ImageSize, 84);
  EXPECT_FIELD(osl_rst_firmware_activate, SlotToActivate, 64);
}

TEST(WireLayout, RaidDriverNvmePassThrough) {
  EXPECT_EQ(sizeof(osl_rst_nvme_request), 164u);
  EXPECT_FIELD(osl_rst_nvme_request, version, 28);
  EXPECT_FIELD(osl_rst_nvme_request, target, 29);
  EXPECT_FIELD(osl_rst_nvme_request, command, 32);
  EXPECT_FIELD(osl_rst_nvme_request, queueType, 96);
  EXPECT_FIELD(osl_rst_nvme_request, completion, 97);
  EXPECT_FIELD(osl_rst_nvme_request, dataOffset, 116);
  EXPECT_FIELD(osl_rst_nvme_request, dataLength, 120);
}

namespace {

TEST(WireLayout, NvmeControlCodesAndProperties) {
  EXPECT_EQ(OSL_IOCTL_STORAGE_PROTOCOL_COMMAND, static_cast<u32>(IOCTL_STORAGE_PROTOCOL_COMMAND));
  EXPECT_EQ(OSL_IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD,
            static_cast<u32>(IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD));
  EXPECT_EQ(OSL_IOCTL_STORAGE_FIRMWARE_GET_INFO, static_cast<u32>(IOCTL_STORAGE_FIRMWARE_GET_INFO));
  EXPECT_EQ(OSL_IOCTL_STORAGE_FIRMWARE_DOWNLOAD, static_cast<u32>(IOCTL_STORAGE_FIRMWARE_DOWNLOAD));
  EXPECT_EQ(OSL_IOCTL_STORAGE_FIRMWARE_ACTIVATE, static_cast<u32>(IOCTL_STORAGE_FIRMWARE_ACTIVATE));
  EXPECT_EQ(OSL_IOCTL_DISK_GET_CACHE_INFORMATION, static_cast<u32>(IOCTL_DISK_GET_CACHE_INFORMATION));
  EXPECT_EQ(OSL_IOCTL_DISK_SET_CACHE_INFORMATION, static_cast<u32>(IOCTL_DISK_SET_CACHE_INFORMATION));
  EXPECT_EQ(OSL_STORAGE_BUS_NVME, static_cast<u32>(BusTypeNvme));
}

TEST(WireLayout, StorageProtocolCommand) {
  EXPECT_EQ(sizeof(osl_storage_protocol_command), 84u);
  EXPECT_FIELD(osl_storage_protocol_command, ProtocolType, 8);
  EXPECT_FIELD(osl_storage_protocol_command, Flags, 12);
  EXPECT_FIELD(osl_storage_protocol_command, ReturnStatus, 16);
  EXPECT_FIELD(osl_storage_protocol_command, CommandLength, 24);
  EXPECT_FIELD(osl_storage_protocol_command, ErrorInfoLength, 28);
  EXPECT_FIELD(osl_storage_protocol_command, DataToDeviceTransferLength, 32);
  EXPECT_FIELD(osl_storage_protocol_command, DataFromDeviceTransferLength, 36);
  EXPECT_FIELD(osl_storage_protocol_command, TimeOutValue, 40);
  EXPECT_FIELD(osl_storage_protocol_command, ErrorInfoOffset, 44);
  EXPECT_FIELD(osl_storage_protocol_command, DataToDeviceBufferOffset, 48);
  EXPECT_FIELD(osl_storage_protocol_command, DataFromDeviceBufferOffset, 52);
  EXPECT_FIELD(osl_storage_protocol_command, CommandSpecific, 56);
  EXPECT_FIELD(osl_storage_protocol_command, FixedProtocolReturnData, 64);
  EXPECT_FIELD(osl_storage_protocol_command, Command, 80);
  EXPECT_EQ(OSL_PROTOCOL_ERROR_INFO_OFFSET, 80u + 64u);
  EXPECT_EQ(OSL_PROTOCOL_DATA_OFFSET, OSL_PROTOCOL_ERROR_INFO_OFFSET + 64u);
}

TEST(WireLayout, ProtocolSpecificQuery) {
  EXPECT_EQ(sizeof(osl_protocol_specific_data), 40u);
  EXPECT_FIELD(osl_protocol_specific_data, DataType, 4);
  EXPECT_FIELD(osl_protocol_specific_data, ProtocolDataRequestValue, 8);
  EXPECT_FIELD(osl_protocol_specific_data, ProtocolDataRequestSubValue, 12);
  EXPECT_FIELD(osl_protocol_specific_data, ProtocolDataOffset, 16);
  EXPECT_FIELD(osl_protocol_specific_data, ProtocolDataLength, 20);
  EXPECT_FIELD(osl_protocol_specific_data, FixedProtocolReturnData, 24);
  EXPECT_FIELD(osl_protocol_query, ProtocolSpecific, 8);
  // The descriptor's FixedProtocolReturnData sits at byte 32 of the answer.
  EXPECT_EQ(offsetof(osl_protocol_query, ProtocolSpecific) +
                offsetof(osl_protocol_specific_data, FixedProtocolReturnData),
            32u);
  EXPECT_EQ(OSL_PROTOCOL_QUERY_LENGTH, 4144u);
}

TEST(WireLayout, TemperatureThresholdAndCache) {
  EXPECT_EQ(sizeof(osl_temperature_threshold), 16u);
  EXPECT_FIELD(osl_temperature_threshold, Flags, 8);
  EXPECT_FIELD(osl_temperature_threshold, Index, 10);
  EXPECT_FIELD(osl_temperature_threshold, Threshold, 12);
  EXPECT_FIELD(osl_temperature_threshold, OverThreshold, 14);
  EXPECT_EQ(sizeof(osl_disk_cache_information), sizeof(DISK_CACHE_INFORMATION));
  EXPECT_EQ(offsetof(osl_disk_cache_information, ReadCacheEnabled),
            offsetof(DISK_CACHE_INFORMATION, ReadCacheEnabled));
  EXPECT_EQ(offsetof(osl_disk_cache_information, WriteCacheEnabled),
            offsetof(DISK_CACHE_INFORMATION, WriteCacheEnabled));
  EXPECT_EQ(offsetof(osl_disk_cache_information, ReadRetentionPriority),
            offsetof(DISK_CACHE_INFORMATION, ReadRetentionPriority));
  EXPECT_EQ(offsetof(osl_disk_cache_information, DisablePrefetchTransferLength),
            offsetof(DISK_CACHE_INFORMATION, DisablePrefetchTransferLength));
  EXPECT_EQ(offsetof(osl_disk_cache_information, Minimum),
            offsetof(DISK_CACHE_INFORMATION, ScalarPrefetch.Minimum));
  EXPECT_EQ(offsetof(osl_disk_cache_information, MaximumBlocks),
            offsetof(DISK_CACHE_INFORMATION, ScalarPrefetch.MaximumBlocks));
}

TEST(WireLayout, HardwareFirmwareRequests) {
  EXPECT_EQ(sizeof(osl_hw_firmware_download), 40u);
  EXPECT_FIELD(osl_hw_firmware_download, Flags, 8);
  EXPECT_FIELD(osl_hw_firmware_download, Slot, 12);
  EXPECT_FIELD(osl_hw_firmware_download, Offset, 16);
  EXPECT_FIELD(osl_hw_firmware_download, BufferSize, 24);
  EXPECT_FIELD(osl_hw_firmware_download, ImageBuffer, 32);
  EXPECT_EQ(sizeof(osl_hw_firmware_activate), 16u);
  EXPECT_FIELD(osl_hw_firmware_activate, Flags, 8);
  EXPECT_FIELD(osl_hw_firmware_activate, Slot, 12);
}

TEST(WireLayout, MiniportFirmwareRequests) {
  EXPECT_EQ(sizeof(SRB_IO_CONTROL) + sizeof(osl_firmware_request_block), 52u);
  EXPECT_FIELD(osl_firmware_request_block, Function, 8);
  EXPECT_FIELD(osl_firmware_request_block, DataBufferOffset, 16);
  EXPECT_FIELD(osl_firmware_request_block, DataBufferLength, 20);
  EXPECT_EQ(OSL_FIRMWARE_REQUEST_OFFSET + offsetof(osl_firmware_request_block, DataBufferOffset),
            44u);
  EXPECT_EQ(sizeof(osl_firmware_slot_info), 16u);
  EXPECT_FIELD(osl_firmware_slot_info, ReadOnly, 1);
  EXPECT_FIELD(osl_firmware_slot_info, Revision, 8);
  EXPECT_FIELD(osl_firmware_info, SlotCount, 9);
  EXPECT_FIELD(osl_firmware_info, ActiveSlot, 10);
  EXPECT_FIELD(osl_firmware_info, PendingActivateSlot, 11);
  EXPECT_FIELD(osl_firmware_info, Slot, 16);
  EXPECT_EQ(sizeof(osl_firmware_download), 24u);
  EXPECT_EQ(OSL_FIRMWARE_DATA_OFFSET + sizeof(osl_firmware_download), OSL_FIRMWARE_IMAGE_OFFSET);
  EXPECT_EQ(sizeof(osl_firmware_activate), 12u);
  EXPECT_FIELD(osl_firmware_activate, SlotToActivate, 8);
}

TEST(WireLayout, ProtocolSpecificQueryOfALogPage) {
  EXPECT_FIELD(osl_protocol_specific_data, ProtocolDataRequestSubValue2, 28);
  EXPECT_FIELD(osl_protocol_specific_data, ProtocolDataRequestSubValue3, 32);
  EXPECT_FIELD(osl_protocol_specific_data, ProtocolDataRequestSubValue4, 36);
}

}  // namespace
