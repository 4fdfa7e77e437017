// Drive ids and names, the dispatcher's own refusals, the shared diagnostic
// lines, the ATA flags, sense keys and how a storage descriptor classifies
// a drive: everything of the OS layer's drive code that needs no drive.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_cmd.h"
#include "osl/osl_sata.h"
#include "osl/osl_scsi.h"
#include "unit/log_capture.h"
#include "unit/status_check.h"

namespace {

// An id's parse as "status port kind target handle".
std::string parse(const char* id) {
  u8 port = 0, target = 0, kind = 0;
  u64 handle = 0;
  u64 status = osl_parse_dev_id(id, &port, &target, &kind, &handle);
  if (status) return std::to_string(status & 0xFFFF0000FFFFFFFFull);  // without the line
  std::string text = "0 " + std::to_string(port) + " " +
                     (kind ? std::string(1, static_cast<char>(kind)) : "-") + " " + std::to_string(target);
  if (handle == reinterpret_cast<uintptr_t>(OSL_RAID_B_HANDLE)) text += " raid_b";
  if (handle == reinterpret_cast<uintptr_t>(OSL_RAID_P_HANDLE)) text += " raid_p";
  return text;
}

TEST(DriveIds, PhysicalDrivesControllerAddressesAndStoreBackEnds) {
  const u64 missingNumber = 2ull << 48 | 5u << 26 | 21u, outOfRange = 2ull << 48 | 6u << 26 | 34u;
  const std::pair<const char*, std::string> cases[] = {
      {"PHYSICALDRIVE2", "0 0 - 255"}, {"SCSI1:r4", "0 1 r 4"}, {"SCSI12:p255", "0 12 p 255"},
      // No digit, or more than three, before the ":" leave the port at 0.
      {"SCSI:r3", "0 0 r 3"}, {"SCSI1234:r3", "0 0 r 3"},
      // "SCSI1:0" takes "0" for the kind and finds no number after it.
      {"SCSI1:0", std::to_string(missingNumber)}, {"SCSI1:r", std::to_string(missingNumber)},
      {"SCSI1:r256", std::to_string(outOfRange)}, {"SCSI300:r1", std::to_string(outOfRange)},
      {"raid_b0:3", "0 0 - 3 raid_b"}, {"raid_p12:200", "0 12 - 200 raid_p"}, {"raid_b0007:0010", "0 7 - 10 raid_b"},
      {"raid_x0:3", "0 0 - 255"}, {"raid_b:3", "0 0 - 255"}, {"raid_b0:", "0 0 - 255"}, {"raid_b0:256", "0 0 - 255"},
      {"raid_b1a:2", "0 0 - 255"}};
  for (const auto& c : cases) EXPECT_EQ(parse(c.first), c.second) << c.first;
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

TEST(OpenDevice, RefusedIdsStoreBackEndsAndDuplicates) {
  LogCapture log;
  EXPECT_EQ(osl_open_device(std::string(248, 'A').c_str()), nullptr);
  EXPECT_EQ(log.levelOf("Info: Opening Physical drive: AAAA"), 6);
  // An id that does not parse names no drive, rather than a record with
  // handle 0 that looks opened.
  for (const char* id : {"SCSI1:0", static_cast<const char*>(nullptr), "NOSUCHDRIVE99"})
    EXPECT_EQ(osl_open_device(id), nullptr);
  _OSL_PDEV* drive = osl_open_device("raid_p1:7");
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(drive->handle, OSL_RAID_P_HANDLE);
  EXPECT_EQ(std::to_string(drive->port) + "/" + std::to_string(drive->target), "1/7");
  osl_close_device(drive);
  _OSL_PDEV original = {};  // a duplicate keeps the address
  original.handle = INVALID_HANDLE_VALUE;
  original.port = 1;
  original.target = 7;
  original.kind = 'r';
  original.disk = 1;  // found as a disk outside the RAID sets when opened
  _OSL_PDEV* copy = osl_dup_device(&original);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::to_string(copy->port) + static_cast<char>(copy->kind) + std::to_string(copy->target), "1r7");
  EXPECT_EQ(copy->disk, 1);
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

TEST(DiagnosticLines, IoctlFailureByLevelAndCommandBlock) {
  LogCapture log;
  osl_log_ioctl_failure(3, 1117);
  osl_log_ioctl_failure(6, 5);
  osl_log_ioctl_failure(6, 0);
  osl_log_ioctl_failure(9, 5);
  osl_log_ioctl_failure(1, 2);
  const u8 inquiry[] = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
  osl_log_cdb(3, inquiry, sizeof inquiry);
  osl_log_cdb(6, nullptr, 6);
  osl_log_cdb(6, inquiry, 0);
  std::string lines;
  for (const LoggedLine& line : log.all()) lines += std::to_string(line.level) + " " + line.text;
  EXPECT_EQ(lines,
            "3 Error: IOCTL Failure: (error: 1117)\n4 Warning: IOCTL Failure: (error: 5)\n"
            "6 Info: IOCTL Failure: (error: 0)\n7 Debug: IOCTL Failure: (error: 5)\n"
            "1 Alert: IOCTL Failure: (error: 2)\n6 \n6 Info: CDB: 12 00 00 00 24 00 \n");
}

TEST(AtaFlags, DirectionDataLengthAndSenseKeys) {
  u8 block[16] = {};
  u8 data[512] = {};
  struct Case {
    bool ext;
    u8 length, dataIn;
    bool withData;
    u32 dataLength, flags;
  } cases[] = {{false, 16, 1, true, 512, 0x23}, {false, 16, 1, false, 512, 0x21}, {false, 16, 1, true, 0, 0x21},
               {false, 16, 0, true, 512, 0x25}, {false, 16, 0, false, 0, 0x25}, {true, 16, 1, true, 512, 0x2B},
               {true, 16, 1, false, 0, 0x29},   {true, 16, 0, true, 512, 0x2D},
               {true, 13, 1, true, 512, 0x23}};  // too short to carry byte 13: a 28-bit command
  for (const Case& c : cases) {
    block[OSL_ATA_COMMAND + 1] = c.ext ? 0x01 : 0x00;
    EXPECT_EQ(osl_ata_flags(block, c.length, c.dataIn, c.withData ? data : nullptr, c.dataLength), c.flags)
        << std::hex << c.flags;
  }
  // Fixed, deferred, descriptor and deferred descriptor formats.
  const u8 fixed[] = {0x70, 0x00, 0x65, 0x00, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
  const u8 deferred[] = {0xF1, 0x00, 0x06};
  const u8 descriptor[] = {0x72, 0x21, 0x00, 0x1D};
  const u8 descriptorDeferred[] = {0x73, 0x0B};
  EXPECT_EQ(osl_sense_key(fixed, sizeof fixed), 5);
  EXPECT_EQ(osl_sense_key(deferred, sizeof deferred), 6);
  EXPECT_EQ(osl_sense_key(descriptor, sizeof descriptor), 1);
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

TEST(UnreadList, FirstTextsKeptTheRestCountedByModel) {
  LogCapture log;
  osl_unread_list unread;
  _osl_dev_entry entry = {};
  entry.modelField = 16;
  // Beyond the 16 kept: model B twice, then 17 models, then the sixteenth
  // model again. Sixteen models are told apart; the two models past them
  // count as no model known.
  for (int i = 0; i < 16 + 2 + 17 + 1; ++i) {
    std::snprintf(entry.model, sizeof entry.model, i < 18 ? " MODEL B " : "MODEL %d", i < 35 ? i : 32);
    osl_unread_add(&unread, "disk", "failed", &entry);
  }
  EXPECT_EQ(unread.count, 36u);
  ASSERT_EQ(unread.restModelCount, 17u);
  EXPECT_EQ(std::string(unread.restModels[0]) + "|" + std::to_string(unread.restCounts[0]), " MODEL B|2");
  EXPECT_EQ(std::string(unread.restModels[15]) + std::to_string(unread.restModelFields[15]) + " " +
                std::to_string(unread.restCounts[15]),
            "MODEL 3216 2");
  EXPECT_EQ(std::string(unread.restModels[16]) + std::to_string(unread.restModelFields[16]) + " " +
                std::to_string(unread.restCounts[16]),
            "0 2");
  // A drive looked up may be any of them, or, its model known, those of its
  // model and those of no model known.
  EXPECT_EQ(osl_unread_count_for(&unread, "SCSI0:r0"), 36u);
  {
    osl_lookup_scope drive(nullptr, "MODEL 32", 16);
    EXPECT_EQ(osl_unread_count_for(&unread, "SCSI0:r0"), 2u + 2u);
  }
  // A drive whose model a field cut, after blanks, may be a disk read whole.
  osl_unread_list whole;
  whole.count = 0;
  entry.modelField = OSL_MODEL_FIELD;
  std::snprintf(entry.model, sizeof entry.model, " NVMe MODEL A LONG NAME");
  osl_unread_add(&whole, "disk", "failed", &entry);
  osl_lookup_scope cut(nullptr, " NVMe MODEL A LO", 16);
  EXPECT_EQ(osl_unread_count_for(&whole, nullptr), 1u);
}

// Adds disks of these models, each from a 16-character field, at a target.
void addDisks(osl_unread_list* unread, std::vector<const char*> models, u8 target = OSL_NO_TARGET) {
  _osl_dev_entry entry = {};
  entry.modelField = 16;
  osl_unread_place place;
  place.target = target;
  for (const char* model : models) {
    osl_strcpy(entry.model, sizeof entry.model, model);
    osl_unread_add(unread, "disk", model, &entry, place);
  }
}

TEST(UnreadList, BlanksBeforeAModelCountOnceUnlessTheFieldIsFull) {
  LogCapture log;
  osl_unread_list unread;
  addDisks(&unread, std::vector<const char*>(16, "MODEL B"));
  addDisks(&unread, {"MODEL C", "  MODEL C", " MODEL C", " NVMe MODEL A LO", "NVMe MODEL A LO"});
  ASSERT_EQ(unread.restModelCount, 3u);
  EXPECT_EQ(std::string(unread.restModels[0]) + "|" + std::to_string(unread.restCounts[0]), "  MODEL C|3");
  osl_lookup_scope drive(nullptr, "NVMe MODEL A LONG NAME", OSL_MODEL_FIELD);
  EXPECT_EQ(osl_unread_count_for(&unread, nullptr), 1u);
}

TEST(UnreadList, DrivesOwnTextsAreKeptWhateverTheCountAndJudgedByTheScopes) {
  LogCapture log;
  osl_unread_list record;
  osl_unread_for_drive(&record, "SCSI1:r5");
  std::vector<const char*> others(16, "NVMe MODEL A");
  others[15] = "NVMe MODEL B";
  addDisks(&record, others, 40);
  addDisks(&record, {"NVMe MODEL A 2TB"}, 5);
  EXPECT_EQ(record.count, 17u);
  ASSERT_EQ(osl_unread_kept(&record), 16u);
  EXPECT_STREQ(record.texts[15], "disk: NVMe MODEL A 2TB");
  EXPECT_STREQ(record.restModels[0], "NVMe MODEL B");
  // The drive's own failed calls too, each after those before it.
  {
    osl_lookup_scope lookup(&record);
    osl_lookup_failure("port", "first");
    osl_lookup_failure("port", "second");
  }
  EXPECT_EQ(std::string(record.texts[13]) + "|" + record.texts[14] + "|" + record.texts[15],
            "disk: NVMe MODEL A 2TB|port: first|port: second");
  // What every scope open knows of the drive judges every text, a disk at
  // the drive's own target too; its failed calls name no model.
  osl_lookup_scope listed(nullptr, "ORVENTA NVMe MODEL A", OSL_MODEL_FIELD);
  EXPECT_EQ(osl_unread_count_for(&record, nullptr), 17u) << "the disk at its target is of a longer model";
  osl_lookup_scope opened(nullptr, "NVMe MODEL Z", OSL_MODEL_FIELD);
  EXPECT_EQ(osl_unread_count_for(&record, nullptr), 2u);
  EXPECT_FALSE(osl_unread_may_be(&record, 13, "SCSI1:r5"));
  EXPECT_TRUE(osl_unread_may_be(&record, 14, "SCSI1:r5"));
}

TEST(UnreadList, APlaceTellsWhoseATextIs) {
  LogCapture log;
  auto at = [](u32 number, int port, u8 target) {
    osl_unread_place place;
    place.deviceNumber = number;
    place.port = port;
    place.target = target;
    return place;
  };
  osl_unread_place everyDisk, everyPort;
  everyDisk.everyDisk = true;
  everyPort.everyPort = true;
  const u32 none = OSL_NO_DEVICE_NUMBER;
  const struct {
    const char* drive;  // the list's; empty: none
    osl_unread_place place;
    bool own;
  } cases[] = {
      {"17", at(17, -1, OSL_NO_TARGET), true},        {"PHYSICALDRIVE17", at(7, -1, OSL_NO_TARGET), false},
      {"PHYSICALDRIVE17", everyDisk, true},            {"PHYSICALDRIVE17", at(none, 17, OSL_NO_TARGET), false},
      {"SCSI1:r5", at(none, 1, OSL_NO_TARGET), true},  {"SCSI1:r5", at(none, 0, OSL_NO_TARGET), false},
      {"SCSI1:r5", at(none, 1, 5), true},              {"SCSI1:r5", at(30, -1, 5), true},
      {"SCSI1:r5", at(none, 0, 5), false},             {"SCSI1:r5", at(5, -1, OSL_NO_TARGET), false},
      {"SCSI1:r5", everyPort, true},                   {"SCSI1:r5", everyDisk, true},
      {"SCSI1:p3", at(none, 1, OSL_NO_TARGET), true},  {"SCSI1:p3", at(none, -1, 3), false},
      {"SCSI1:p3", everyDisk, false},                  {"", everyPort, false},
  };
  for (const auto& c : cases) {
    osl_unread_list unread;
    if (c.drive[0]) osl_unread_for_drive(&unread, c.drive);
    osl_unread_add(&unread, "disk", "failed", nullptr, c.place);
    EXPECT_EQ(unread.own[0], c.own) << c.drive << " " << c.place.deviceNumber << "/" << c.place.port << "/"
                                    << int{c.place.target};
  }
  // A text placed under the drive's own id is its own, one under another
  // id may not be the drive, however it is placed: pushed out by the drive's
  // own text, it is counted as no drive that may be it.
  osl_unread_list unread;
  osl_unread_for_drive(&unread, "PHYSICALDRIVE3");
  _osl_dev_entry entry = {};
  for (u32 i = 0; i < OSL_UNREAD_KEPT; ++i) {
    std::snprintf(entry.id, sizeof entry.id, "PHYSICALDRIVE%u", 10 + i);
    osl_unread_add_placed(&unread, "disk", OSL_NO_SERIAL_NUMBER, entry);
  }
  osl_unread_add_placed(&unread, "its disk", OSL_NO_SERIAL_NUMBER, (std::strcpy(entry.id, "PHYSICALDRIVE3"), entry));
  EXPECT_EQ(unread.restOthers, 1u);
  EXPECT_EQ(osl_unread_kept(&unread), OSL_UNREAD_KEPT);
  EXPECT_STREQ(unread.texts[OSL_UNREAD_KEPT - 1], "its disk: the drive reports no serial number");
  EXPECT_EQ(osl_unread_count_for(&unread, "PHYSICALDRIVE3"), 1u);
  osl_unread_clear(&unread);
  EXPECT_EQ(unread.count + unread.restOthers + unread.restModelCount, 0u);
  EXPECT_STREQ(unread.drive, "PHYSICALDRIVE3");
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
  EXPECT_EQ(entry.modelField, 40) << "the AHCI driver's model is whole";
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
  EXPECT_EQ(entry.modelField, 16) << "a SCSI product identification";
  // No product id, or a blank one: no model.
  for (const char* product : {static_cast<const char*>(nullptr), "", "                "}) {
    bytes = descriptor(BusTypeSata, nullptr, product);
    osl_fill_dev_entry(&drive, 0, reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data()),
                       OSL_DESCRIPTOR_LENGTH, &entry);
    EXPECT_STREQ(entry.model, product ? "" : "UNKNOWN");
    EXPECT_EQ(entry.modelField, 0) << '"' << (product ? product : "none") << '"';
  }
  // The blanks after a model pad the field; those before it stay with it.
  bytes = descriptor(BusTypeScsi, "NVMe    ", " NVMe MODEL A LO");
  osl_fill_dev_entry(&drive, 0, reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data()),
                     OSL_DESCRIPTOR_LENGTH, &entry);
  EXPECT_STREQ(entry.model, " NVMe MODEL A LO");
}

}  // namespace
