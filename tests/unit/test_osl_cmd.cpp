// Drive ids and names, the dispatcher's own refusals, the shared diagnostic
// lines, the ATA flags, sense keys and how a storage descriptor classifies
// a drive: everything of the OS layer's drive code that needs no drive.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "osl/orv_status.h"
#include "osl/osl_cmd.h"
#include "osl/osl_sata.h"
#include "osl/osl_scsi.h"
#include "unit/log_capture.h"
#include "unit/status_check.h"

namespace {

struct ParsedId {
  u64 status;
  u8 port = 0;
  u8 target = 0;
  u8 kind = 0;
  u64 handle = 0;
};

ParsedId parse(const char* id) {
  ParsedId parsed{};
  parsed.status = osl_parse_dev_id(id, &parsed.port, &parsed.target, &parsed.kind, &parsed.handle);
  return parsed;
}

TEST(DriveIds, PhysicalDrivesAndControllerAddresses) {
  ParsedId plain = parse("PHYSICALDRIVE2");
  EXPECT_EQ(plain.status, 0u);
  EXPECT_EQ(plain.target, OSL_NO_TARGET);
  EXPECT_EQ(plain.kind, 0);

  ParsedId raid = parse("SCSI1:r4");
  EXPECT_EQ(raid.status, 0u);
  EXPECT_EQ(raid.port, 1);
  EXPECT_EQ(raid.kind, 'r');
  EXPECT_EQ(raid.target, 4);
  EXPECT_EQ(raid.handle, 0u);

  ParsedId phy = parse("SCSI12:p255");
  EXPECT_EQ(phy.port, 12);
  EXPECT_EQ(phy.kind, 'p');
  EXPECT_EQ(phy.target, 255);

  // No digit, or more than three, before the ":" leave the port at 0.
  EXPECT_EQ(parse("SCSI:r3").port, 0);
  ParsedId longPort = parse("SCSI1234:r3");
  EXPECT_EQ(longPort.status, 0u);
  EXPECT_EQ(longPort.port, 0);
  EXPECT_EQ(longPort.target, 3);
}

TEST(DriveIds, RefusedNumbers) {
  // "SCSI1:0" takes "0" for the kind and finds no number after it.
  expectOslWord(parse("SCSI1:0").status, kClibFile, 21);
  expectOslWord(parse("SCSI1:r").status, kClibFile, 21);
  expectWord(parse("SCSI1:r256").status, 6, kClibFile, 34);
  expectWord(parse("SCSI300:r1").status, 6, kClibFile, 34);
}

TEST(DriveIds, StoreBackEnds) {
  ParsedId b = parse("raid_b0:3");
  EXPECT_EQ(b.status, 0u);
  EXPECT_EQ(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(b.handle)), OSL_RAID_B_HANDLE);
  EXPECT_EQ(b.port, 0);
  EXPECT_EQ(b.target, 3);
  ParsedId p = parse("raid_p12:200");
  EXPECT_EQ(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(p.handle)), OSL_RAID_P_HANDLE);
  EXPECT_EQ(p.port, 12);
  EXPECT_EQ(p.target, 200);
  EXPECT_EQ(parse("raid_b0007:0010").target, 10);
  for (const char* refused : {"raid_x0:3", "raid_b:3", "raid_b0:", "raid_b0:256", "raid_b1a:2"}) {
    ParsedId none = parse(refused);
    EXPECT_EQ(none.status, 0u) << refused;
    EXPECT_EQ(none.handle, 0u) << refused;
    EXPECT_EQ(none.port, 0) << refused;
  }
}

TEST(DriveNames, ArgumentsBecomeIds) {
  char out[32];
  const std::pair<const char*, const char*> cases[] = {
      {"3", "PHYSICALDRIVE3"}, {"", "PHYSICALDRIVE"},    {"1:0", "SCSI1:0"},
      {"1:", "SCSI1:"},        {"1:r0", "1:r0"},         {"PHYSICALDRIVE2", "PHYSICALDRIVE2"},
      {":5", ":5"},            {"12:34", "SCSI12:34"},
  };
  for (const auto& c : cases) {
    osl_dev_name(c.first, out);
    EXPECT_STREQ(out, c.second) << c.first;
  }
  osl_dev_name("123456789012345678901234567890", out);
  EXPECT_STREQ(out, "PHYSICALDRIVE123456789012345678");
  EXPECT_TRUE(osl_dev_name_equal("3", "physicaldrive3"));
  EXPECT_TRUE(osl_dev_name_equal("1:2", "scsi1:2"));
  EXPECT_FALSE(osl_dev_name_equal("3", "PHYSICALDRIVE30"));
}

TEST(OpenDevice, RefusedIdsOpenNothing) {
  LogCapture log;
  std::string longId(248, 'A');
  EXPECT_EQ(osl_open_device(longId.c_str()), nullptr);
  ASSERT_NE(log.find("Info: Opening Physical drive: AAAA"), nullptr);
  EXPECT_EQ(log.find("Info: Opening Physical drive: AAAA")->level, 6);
  // An id that does not parse names no drive, rather than a record with
  // handle 0 that looks opened.
  EXPECT_EQ(osl_open_device("SCSI1:0"), nullptr);
  EXPECT_EQ(osl_open_device(nullptr), nullptr);
  EXPECT_EQ(osl_open_device("NOSUCHDRIVE99"), nullptr);
}

TEST(OpenDevice, StoreBackEndsGetTheirPseudoHandles) {
  _OSL_PDEV* drive = osl_open_device("raid_p1:7");
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(drive->handle, OSL_RAID_P_HANDLE);
  EXPECT_EQ(drive->port, 1);
  EXPECT_EQ(drive->target, 7);
  osl_close_device(drive);
}

TEST(OpenDevice, DuplicateKeepsTheAddress) {
  _OSL_PDEV original = {};
  original.handle = INVALID_HANDLE_VALUE;
  original.port = 2;
  original.target = 5;
  original.kind = 'r';
  _OSL_PDEV* copy = osl_dup_device(&original);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(copy->port, 2);
  EXPECT_EQ(copy->target, 5);
  EXPECT_EQ(copy->kind, 'r');
  osl_close_device(copy);
}

TEST(Dispatcher, RefusesWithoutSending) {
  // The handle is never used: each of these is refused before anything is sent.
  _OSL_PDEV drive = {};
  drive.handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7777));
  u8 block[16] = {};
  _osl_dev_cmd request = {};
  request.command = block;
  request.commandLength = 16;
  for (u32 bus : {2u, 4u, 5u, 6u, 9u, 255u})
    expectOslWord(osl_send_command(&drive, &request, static_cast<osl_bus_type>(bus), OSL_CMD_SCSI),
                  kCmdFile, 43);
  expectOslWord(osl_send_command(&drive, &request, OSL_BUS_SAS, OSL_CMD_REFUSED), kCmdFile, 83);
  // An NVMe entry shorter than 64 bytes is refused by the NVMe sender.
  expectOslWord(osl_send_command(&drive, &request, OSL_BUS_NVME, OSL_CMD_NVME_ADMIN), kNvmeFile, 6);
  // Behind a CSMI controller SCSI commands and unknown types do not travel;
  // NVMe admin and I/O commands go to the NVMe pass-through, which refuses
  // an entry shorter than 64 bytes.
  for (osl_cmd_type kind : {OSL_CMD_SCSI, OSL_CMD_REFUSED, static_cast<osl_cmd_type>(7)})
    expectOslWord(osl_send_command(&drive, &request, OSL_BUS_CSMI, kind), kCsmiFile, 83);
  for (osl_cmd_type kind : {OSL_CMD_NVME_ADMIN, OSL_CMD_NVME_IO})
    expectOslWord(osl_send_command(&drive, &request, OSL_BUS_CSMI, kind), kCsmiFile, 35);
  // A data length without data is refused before anything is sent.
  u8 identify[64] = {0x06};
  request.command = identify;
  request.commandLength = 64;
  request.dataLength = 4096;
  for (osl_cmd_type kind : {OSL_CMD_NVME_ADMIN, OSL_CMD_NVME_IO})
    expectOslWord(osl_send_command(&drive, &request, OSL_BUS_CSMI, kind), kCsmiFile, 35);
  request.command = block;
  request.commandLength = 16;
  request.dataLength = 0;
  drive.handle = nullptr;
  expectOslWord(osl_send_command(&drive, &request, OSL_BUS_SATA, OSL_CMD_ATA), kCmdFile, 1);
}

TEST(DiagnosticLines, IoctlFailureByLevel) {
  LogCapture log;
  osl_log_ioctl_failure(3, 1117);
  osl_log_ioctl_failure(6, 5);
  osl_log_ioctl_failure(6, 0);
  osl_log_ioctl_failure(9, 5);
  osl_log_ioctl_failure(1, 2);
  const std::vector<LoggedLine> expected = {
      {3, "Error: IOCTL Failure: (error: 1117)\n"},
      {4, "Warning: IOCTL Failure: (error: 5)\n"},
      {6, "Info: IOCTL Failure: (error: 0)\n"},
      {7, "Debug: IOCTL Failure: (error: 5)\n"},
      {1, "Alert: IOCTL Failure: (error: 2)\n"},
  };
  ASSERT_EQ(log.all().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(log.all()[i].level, expected[i].level) << i;
    EXPECT_EQ(log.all()[i].text, expected[i].text) << i;
  }
}

TEST(DiagnosticLines, CommandBlock) {
  LogCapture log;
  const u8 inquiry[] = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
  osl_log_cdb(3, inquiry, sizeof inquiry);
  ASSERT_EQ(log.all().size(), 2u);
  EXPECT_EQ(log.all()[0].text, "\n");
  EXPECT_EQ(log.all()[1].text, "Info: CDB: 12 00 00 00 24 00 \n");
  EXPECT_EQ(log.all()[1].level, 6);
  log.clear();
  osl_log_cdb(6, nullptr, 6);
  osl_log_cdb(6, inquiry, 0);
  EXPECT_TRUE(log.all().empty());
}

TEST(AtaFlags, DirectionDataAndLength) {
  u8 block[16] = {};
  u8 data[512] = {};
  EXPECT_EQ(osl_ata_flags(block, 16, 1, data, 512), 0x23);
  EXPECT_EQ(osl_ata_flags(block, 16, 1, nullptr, 512), 0x21);
  EXPECT_EQ(osl_ata_flags(block, 16, 1, data, 0), 0x21);
  EXPECT_EQ(osl_ata_flags(block, 16, 0, data, 512), 0x25);
  EXPECT_EQ(osl_ata_flags(block, 16, 0, nullptr, 0), 0x25);
  block[OSL_ATA_COMMAND + 1] = 0x01;  // a 48-bit command
  EXPECT_EQ(osl_ata_flags(block, 16, 1, data, 512), 0x2B);
  EXPECT_EQ(osl_ata_flags(block, 16, 1, nullptr, 0), 0x29);
  EXPECT_EQ(osl_ata_flags(block, 16, 0, data, 512), 0x2D);
  // A block too short to carry byte 13 is a 28-bit command.
  EXPECT_EQ(osl_ata_flags(block, 13, 1, data, 512), 0x23);
}

TEST(SenseKeys, FixedAndDescriptorFormats) {
  const u8 fixed[] = {0x70, 0x00, 0x65, 0x00, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
  EXPECT_EQ(osl_sense_key(fixed, sizeof fixed), 5);
  const u8 deferred[] = {0xF1, 0x00, 0x06};
  EXPECT_EQ(osl_sense_key(deferred, sizeof deferred), 6);
  const u8 descriptor[] = {0x72, 0x21, 0x00, 0x1D};
  EXPECT_EQ(osl_sense_key(descriptor, sizeof descriptor), 1);
  const u8 descriptorDeferred[] = {0x73, 0x0B};
  EXPECT_EQ(osl_sense_key(descriptorDeferred, sizeof descriptorDeferred), 0x0B);
  EXPECT_EQ(osl_sense_key(fixed, 2), 0);
  EXPECT_EQ(osl_sense_key(nullptr, 18), 0);
}

TEST(TransferLimits, DefaultsByBus) {
  EXPECT_EQ(osl_default_max_transfer(OSL_BUS_NVME), 0x80000u);
  EXPECT_EQ(osl_default_max_transfer(OSL_BUS_CSMI), 0x80000u);
  EXPECT_EQ(osl_default_max_transfer(OSL_BUS_SATA), 0x7FFC0u);
  EXPECT_EQ(osl_default_max_transfer(OSL_BUS_SAS), 0x7FFC0u);
  EXPECT_EQ(osl_get_max_transfer_size(nullptr, OSL_BUS_SAS), 0x40000u);
}

// A device descriptor with the given bus type and texts (null: none).
std::vector<u8> descriptor(u32 busType, const char* vendor, const char* product = "MODEL",
                           const char* revision = "REV1", const char* serial = "SN1") {
  std::vector<u8> bytes(OSL_DESCRIPTOR_LENGTH, 0);
  u32 at = sizeof(STORAGE_DEVICE_DESCRIPTOR);
  auto put = [&](const char* text) -> u32 {
    if (!text) return 0;
    u32 offset = at;
    std::memcpy(bytes.data() + at, text, std::strlen(text) + 1);
    at += static_cast<u32>(std::strlen(text)) + 1;
    return offset;
  };
  auto* d = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data());
  d->VendorIdOffset = put(vendor);
  d->ProductIdOffset = put(product);
  d->ProductRevisionOffset = put(revision);
  d->SerialNumberOffset = put(serial);
  d->BusType = static_cast<STORAGE_BUS_TYPE>(busType);
  d->Size = at;
  return bytes;
}

TEST(Classification, DescriptorBusTypeAndVendor) {
  struct Case {
    u32 busType;
    const char* vendor;
    u32 command, device, physical;
  } cases[] = {
      {BusTypeSata, nullptr, 1, 1, 1},      {BusTypeSata, "ATA     ", 3, 1, 3},
      {BusTypeAta, nullptr, 1, 1, 2},       {BusTypeAta, "ATA", 1, 1, 2},
      {BusTypeSas, "MAKER   ", 3, 2, 3},    {BusTypeSas, "ATA     ", 3, 1, 3},
      {BusTypeScsi, "NVMe    ", 3, 3, 4},   {BusTypeSas, nullptr, 3, 255, 3},
      {17, nullptr, 7, 3, 7},               {17, "NVMe    ", 7, 3, 7},
      {17, "MAKER   ", 255, 255, 255},      {BusTypeUsb, "MAKER   ", 255, 255, 255},
  };
  _OSL_PDEV drive = {};
  for (const Case& c : cases) {
    std::vector<u8> bytes = descriptor(c.busType, c.vendor);
    osl_bus_type command = OSL_BUS_SATA, physical = OSL_BUS_SATA;
    osl_dev_type device = OSL_DEV_ATA;
    osl_bus_dev_from_descriptor(&drive, reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data()),
                                OSL_DESCRIPTOR_LENGTH, &command, &device, &physical);
    std::string label = std::to_string(c.busType) + "/" + (c.vendor ? c.vendor : "none");
    EXPECT_EQ(command, c.command) << label;
    EXPECT_EQ(device, c.device) << label;
    EXPECT_EQ(physical, c.physical) << label;
  }
}

TEST(Classification, TextsAreBoundedByTheAnswer) {
  // Offsets past what the driver filled name no text.
  std::vector<u8> bytes = descriptor(BusTypeSata, nullptr, "MODEL X", nullptr, "  S1  ");
  auto* d = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data());
  d->ProductRevisionOffset = 400;
  _OSL_PDEV drive = {};
  drive.handle = INVALID_HANDLE_VALUE;
  _osl_dev_entry entry = {};
  osl_fill_dev_entry(&drive, 4, d, OSL_DESCRIPTOR_LENGTH, &entry);
  EXPECT_STREQ(entry.id, "PHYSICALDRIVE4");
  EXPECT_EQ(entry.deviceNumber, 4);
  EXPECT_STREQ(entry.firmware, "UNKNOWN");
  EXPECT_STREQ(entry.model, "MODEL X");
  EXPECT_STREQ(entry.serial, "S1");
  EXPECT_EQ(entry.usable, 1);
  EXPECT_EQ(entry.medium, static_cast<u32>(OSL_MEDIUM_UNKNOWN));  // the seek-penalty query failed

  std::string longModel(60, 'M');
  bytes = descriptor(BusTypeSata, nullptr, longModel.c_str(), "REVISION-LONG", "123456789012345678901234");
  osl_fill_dev_entry(&drive, 0, reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data()),
                     OSL_DESCRIPTOR_LENGTH, &entry);
  EXPECT_EQ(std::string(entry.model), std::string(40, 'M'));
  EXPECT_STREQ(entry.firmware, "REVISION");
  EXPECT_STREQ(entry.serial, "12345678901234567890");
  // An NVMe drive is solid state on any bus, without asking.
  bytes = descriptor(BusTypeScsi, "NVMe    ");
  osl_fill_dev_entry(&drive, 0, reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data()),
                     OSL_DESCRIPTOR_LENGTH, &entry);
  EXPECT_EQ(entry.deviceType, 3u);
  EXPECT_EQ(entry.commandBus, 3u);
  EXPECT_EQ(entry.medium, static_cast<u32>(OSL_MEDIUM_SOLID_STATE));
}

}  // namespace
