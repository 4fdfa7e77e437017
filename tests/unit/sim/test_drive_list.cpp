// The drive list and the per-drive queries on simulated machines: what each
// kind of drive is listed as, where it is placed, how failures of the
// storage stack show, transfer limits, partitions, readiness and the
// Windows version test.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "osl/osl_scsi.h"
#include "osl/osl_storage.h"
#include "unit/log_capture.h"
#include "unit/sim/drive_list_helpers.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

namespace {

using DriveListing = MachineTest;

TEST_F(DriveListing, EachKindOfDrive) {
  load(kThreeDrives);
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  EXPECT_EQ(drives.list->count, 3);
  EXPECT_EQ(drives.used(), 3u);
  // A translation shows its 16-character product id and 4 characters of
  // the revision.
  EXPECT_EQ(drives.text(),
            "PHYSICALDRIVE0 #0 1/1/1 'MODEL A' 'REV00001' 'S1' medium 1\n"
            "PHYSICALDRIVE1 #1 3/1/3 'MODEL A' '0001' 'S2' medium 2\n"
            "PHYSICALDRIVE2 #2 3/2/3 'MODEL B' 'R001' 'S3' medium 1\n");
  EXPECT_EQ(drives[0].logicalUnit, 0xFFFF);
  EXPECT_EQ(trace(),
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:7 "
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:7 "
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:7");
}

TEST_F(DriveListing, DrivesSitAtTheirDeviceNumbers) {
  load(R"({"drives": [{"bus": "sas", "number": 5, "serial": "FIVE"}, {"bus": "sat", "serial": "SIX"},
    {"bus": "sata", "number": 0, "serial": "ZERO"}, {"bus": "sata", "number": 300, "serial": "BEYOND",
    "model": "MODEL BEYOND"},
    {"bus": "sas", "number": 2, "serial": "TWO"}]})");
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  EXPECT_EQ(drives.list->count, 4);
  EXPECT_EQ(std::string(drives[0].serial) + drives[2].serial + drives[5].serial + drives[6].serial, "ZEROTWOFIVESIX");
  EXPECT_STREQ(drives[6].id, "PHYSICALDRIVE6");
  for (u32 gap : {1u, 3u, 4u, 7u, 255u}) {
    EXPECT_EQ(drives[gap].usable, 0) << gap;
    EXPECT_EQ(drives[gap].id[0], '\0') << gap;
  }
  EXPECT_EQ(osl_dev_info_free_index(drives.list.get()), 4u);
  // A drive with no place is named with the model its descriptor gave.
  ASSERT_EQ(drives.unread.count, 1u);
  EXPECT_EQ(std::string(drives.unread.models[0]) + "|" + std::to_string(drives.unread.modelFields[0]),
            "MODEL BEYOND|40");
  std::string full = R"({"drives": [{"bus": "sata"})";
  for (int i = 1; i < 256; ++i) full += R"(, {"bus": "sata"})";
  load(full + "]}");
  EXPECT_EQ(DriveList().list->count, 256) << "the last interface read too";

  load(R"({"drives": []})");
  expectOslWord(DriveList().status, kCmdFile, 5);
  load(R"({"drives": [{"bus": "sata"}], "faults": [{"setupapi": "SetupDiGetClassDevsW"}]})");
  expectOslWord(DriveList().status, kCmdFile, 5);
  EXPECT_EQ(trace(), "");
}

TEST_F(DriveListing, FailuresLeaveOneDriveOut) {
  struct Case {
    const char* fault;
    const char* logged;  // the line the failure leaves, or ""
    int level;
  } cases[] = {
      {R"({"ioctl": "CreateFileW", "drive": 1})", "", 0},
      {R"({"ioctl": "IOCTL_STORAGE_GET_DEVICE_NUMBER", "drive": 1})", "", 0},
      {R"({"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 0, "drive": 1, "error": 1117})",
       "Error: IOCTL Failure: (error: 1117)\n", 3},
      {R"({"setupapi": "SetupDiGetDeviceInterfaceDetailW", "after": 2, "times": 1})", "", 0},
  };
  for (const Case& c : cases) {
    load(std::string(R"({"drives": [{"bus": "sata"}, {"bus": "sat"}, {"bus": "sas"}], "faults": [)") + c.fault +
         "]}");
    LogCapture log;
    DriveList drives;
    ASSERT_EQ(drives.status, 0u) << c.fault;
    EXPECT_EQ(drives.list->count, 2) << c.fault;
    EXPECT_EQ(std::to_string(drives[0].usable) + std::to_string(drives[1].usable) + std::to_string(drives[2].usable),
              "101")
        << c.fault;
    if (*c.logged) {
      EXPECT_EQ(log.levelOf(c.logged), c.level) << c.fault;
    }
  }
  // A medium that cannot be asked for is a warning.
  load(R"({"drives": [{"bus": "sata", "rotational": true}],
           "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 7}]})");
  LogCapture log;
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  EXPECT_EQ(drives[0].usable, 1);
  EXPECT_EQ(drives[0].medium, 3u);
  EXPECT_EQ(log.levelOf("Warning: IOCTL Failure: (error: 31)\n"), 4);
}

TEST_F(DriveListing, DrivesBehindARaidDriver) {
  // The driver names the bus RAID: the identifiers tell the members apart
  // (the vendor-id "ATA     " of a translation, the target's SCSI name).
  load(R"({"drives": [{"bus": "sat", "raid": true, "rotational": true},
                      {"bus": "sas", "raid": true, "vendor": "MAKER"}]})");
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  EXPECT_EQ(drives.list->count, 2);
  EXPECT_EQ(describe(drives[0]).substr(0, 23), "PHYSICALDRIVE0 #0 3/1/6");
  EXPECT_EQ(drives[0].medium, 2u);
  EXPECT_EQ(describe(drives[1]).substr(0, 23), "PHYSICALDRIVE1 #1 3/2/6");
  EXPECT_EQ(drives[1].medium, 1u);
  EXPECT_EQ(trace(),
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:2 STORAGE_QUERY_PROPERTY:7 "
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:2 STORAGE_QUERY_PROPERTY:7");
  {
    OpenDrive open("PHYSICALDRIVE0");
    EXPECT_EQ(open.types(), "3/1/6");
  }
  // Identifiers that cannot be read leave a RAID volume with no command bus:
  // no drive to use, named with that failure, and not opened as one.
  load(R"({"drives": [{"bus": "sas", "raid": true}],
           "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 2, "error": 1117}]})");
  LogCapture log;
  DriveList unread;
  ASSERT_EQ(unread.status, 0u);
  EXPECT_EQ(describe(unread[0]).substr(0, 29), "PHYSICALDRIVE0 #0 255/255/5 '");
  EXPECT_EQ(unread[0].medium, 3u);
  EXPECT_EQ(unread[0].usable, 0);
  EXPECT_EQ(log.levelOf("Error: IOCTL Failure: (error: 1117)\n"), 3);
  ASSERT_EQ(unread.unread.count, 1u);
  EXPECT_NE(std::string(unread.unread.texts[0]).find(": IOCTL_STORAGE_QUERY_PROPERTY failed (error: 1117)"),
            std::string::npos);
  EXPECT_EQ(OpenDrive("PHYSICALDRIVE0").types(), "failed");
}

TEST_F(DriveListing, DesignatorsOfTheRecordReplaceTheDrivesOwn) {
  // Page 83h gives them as written; the device-identifier query takes each
  // one's code set, type, association and identifier from it.
  load(R"({"drives": [{"bus": "sat", "designators": ["01 03 00 08 50 00 C5 00 12 34 56 78", "0328000461626364"]}]})");
  OpenDrive open("PHYSICALDRIVE0");
  std::vector<u8> page(64, 0);
  u8 sense[32];
  const u8 inquiry83[] = {0x12, 0x01, 0x83, 0x00, 0x40, 0x00};
  ASSERT_EQ(osl_scsi_send(open.drive, inquiry83, sizeof inquiry83, 1, page.data(), 64, sense, sizeof sense, 10, false,
                          false, false, nullptr),
            0u);
  page.resize(24);
  EXPECT_EQ(hex(page), "00 83 00 14 01 03 00 08 50 00 c5 00 12 34 56 78 03 28 00 04 61 62 63 64 ");

  std::vector<u8> ids(OSL_DEVICE_ID_LENGTH, 0);
  ASSERT_EQ(osl_query_device_ids(open.drive, ids.data()), 0u);
  const auto* header = reinterpret_cast<const STORAGE_DEVICE_ID_DESCRIPTOR*>(ids.data());
  ASSERT_EQ(header->NumberOfIdentifiers, 2u);
  std::string found;
  for (size_t at = offsetof(STORAGE_DEVICE_ID_DESCRIPTOR, Identifiers), i = 0; i < 2; ++i) {
    const auto* id = reinterpret_cast<const STORAGE_IDENTIFIER*>(ids.data() + at);
    found += std::to_string(id->CodeSet) + "/" + std::to_string(id->Type) + "/" + std::to_string(id->Association) +
             ": " + hex(std::vector<u8>(id->Identifier, id->Identifier + id->IdentifierSize));
    at += id->NextOffset;
  }
  EXPECT_EQ(found, "1/3/0: 50 00 c5 00 12 34 56 78 3/8/2: 61 62 63 64 ");
}

TEST_F(DriveListing, OneOpenDrive) {
  load(kThreeDrives);
  OpenDrive open("PHYSICALDRIVE1");
  ASSERT_NE(open.drive, nullptr);
  EXPECT_EQ(open.types(), "3/1/3");
  // Not a CSMI controller: the miniport request fails and the drive is
  // described as a physical drive.
  winsim::clearStorageTrace();
  std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
  ASSERT_EQ(osl_drive_query(open.drive, list.get()), 0u);
  EXPECT_EQ(list->count, 1);
  EXPECT_EQ(describe(list->entries[1]), "PHYSICALDRIVE1 #1 3/1/3 'MODEL A' '0001' 'S2' medium 2");
  ASSERT_FALSE(winsim::storageTrace().empty());
  EXPECT_EQ(winsim::storageTrace()[0].name, "IOCTL_SCSI_MINIPORT");
  EXPECT_EQ(winsim::storageTrace()[0].error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));

  _OSL_PDEV* copy = osl_dup_device(open.drive);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->handle, open.drive->handle);
  EXPECT_EQ(copy->target, OSL_NO_TARGET);
  EXPECT_TRUE(osl_is_unit_ready(copy, OSL_BUS_SAS));
  osl_close_device(copy);

  _OSL_PDEV closed = {};
  osl_bus_type command = OSL_BUS_NONE, physical = OSL_BUS_NONE;
  osl_dev_type device = OSL_DEV_NONE;
  expectOslWord(osl_get_bus_dev_type(&closed, &command, &device, &physical), kCmdFile, 43);
  expectOslWord(osl_drive_query(&closed, list.get()), kCmdFile, 1);

  load(R"({"admin": false, "drives": [{"bus": "sata"}]})");
  EXPECT_EQ(osl_open_device("PHYSICALDRIVE0"), nullptr) << "not an administrator";
  load(R"({"drives": [{"bus": "sata"}]})");
  EXPECT_EQ(osl_open_device("PHYSICALDRIVE1"), nullptr);
  OpenDrive lowerCase("physicaldrive0");
  EXPECT_NE(lowerCase.drive, nullptr);
}

TEST_F(DriveListing, TransferLimits) {
  struct Case {
    const char* drive;
    osl_bus_type bus;
    u32 limit;
  } cases[] = {
      {R"({"bus": "sata"})", OSL_BUS_SATA, 0x20000},
      {R"({"bus": "sas"})", OSL_BUS_SAS, 0x100000},
      {R"({"bus": "sas", "maxTransfer": 2097152, "maxPages": 513})", OSL_BUS_NVME, 0x100000},
      {R"({"bus": "sas", "maxTransfer": 65536, "maxPages": 513})", OSL_BUS_SAS, 65536},
      {R"({"bus": "sas", "maxTransfer": 2097152, "maxPages": 9})", OSL_BUS_SAS, 32768},
      // One physical page still moves a page; the page product must not wrap.
      {R"({"bus": "sas", "maxTransfer": 2097152, "maxPages": 1})", OSL_BUS_NVME, 4096},
      {R"({"bus": "sas", "maxTransfer": 2097152, "maxPages": 1048577})", OSL_BUS_NVME, 0x100000},
      {R"({"bus": "sas", "maxTransfer": 0})", OSL_BUS_SAS, 0x40000},
      {R"({"bus": "sas", "maxPages": 0})", OSL_BUS_SAS, 0x40000},
  };
  for (const Case& c : cases) {
    load(std::string(R"({"drives": [)") + c.drive + "]}");
    OpenDrive open("PHYSICALDRIVE0");
    ASSERT_NE(open.drive, nullptr);
    EXPECT_EQ(osl_get_max_transfer_size(open.drive, c.bus), c.limit) << c.drive;
  }
  {
    load(R"({"drives": [{"bus": "sas", "maxTransfer": 2097152, "maxPages": 513}], "faults": [{"scsi": 0}]})");
    OpenDrive open("PHYSICALDRIVE0");
    // A unit that does not answer TEST UNIT READY gets small transfers.
    EXPECT_EQ(osl_get_max_transfer_size(open.drive, OSL_BUS_SAS), 16384u);
    EXPECT_EQ(osl_get_max_transfer_size(open.drive, OSL_BUS_SATA), 0x100000u);
    EXPECT_EQ(trace(), "STORAGE_QUERY_PROPERTY:1 SCSI_PASS_THROUGH_DIRECT STORAGE_QUERY_PROPERTY:1");
  }
  load(R"({"drives": [{"bus": "sas"}], "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 1}]})");
  OpenDrive again("PHYSICALDRIVE0");
  LogCapture log;
  EXPECT_EQ(osl_get_max_transfer_size(again.drive, OSL_BUS_SAS), 0x40000u);
  EXPECT_NE(log.find("Error: IOCTL Failure: (error: 31)\n"), nullptr);
}

TEST_F(DriveListing, Partitions) {
  const std::string once = "DISK_UPDATE_PROPERTIES DISK_GET_DRIVE_LAYOUT_EX";
  struct Case {
    const char* partitions;
    u8 held;
    u32 layoutReads;
  } cases[] = {
      {R"({"style": "raw"})", 0, 1}, {R"({"style": "mbr", "count": 0})", 0, 1},
      {R"({"style": "mbr", "count": 1})", 1, 1}, {R"({"style": "gpt", "count": 0})", 0, 1},
      {R"({"style": "gpt", "count": 1})", 1, 1},
      // More entries than 1,024 bytes hold: the buffer grows.
      {R"({"style": "mbr", "count": 20})", 1, 3}, {R"({"style": "gpt", "count": 128})", 1, 6},
  };
  for (const Case& c : cases) {
    load(std::string(R"({"drives": [{"bus": "sata", "partitions": )") + c.partitions + "}]}");
    OpenDrive open("PHYSICALDRIVE0");
    winsim::clearStorageTrace();
    unsigned long long before = winsim::Machine::current().clockMs;
    EXPECT_EQ(osl_has_partitions(open.drive, 0), c.held) << c.partitions;
    std::string sent = "DISK_UPDATE_PROPERTIES";
    for (u32 i = 0; i < c.layoutReads; ++i) sent += " DISK_GET_DRIVE_LAYOUT_EX";
    EXPECT_EQ(trace(), sent) << c.partitions;
    EXPECT_EQ(winsim::Machine::current().clockMs - before, 250u);
  }
  // A layout that cannot be read may hold data: it counts as partitioned.
  load(R"({"drives": [{"bus": "sata"}], "faults": [{"ioctl": "IOCTL_DISK_GET_DRIVE_LAYOUT_EX"},
                                                   {"ioctl": "IOCTL_DISK_UPDATE_PROPERTIES"}]})");
  OpenDrive open("PHYSICALDRIVE0");
  EXPECT_EQ(osl_has_partitions(open.drive, 0), 1);
  EXPECT_EQ(osl_has_partitions(nullptr, 0), 0);
}

TEST_F(DriveListing, UnitReadiness) {
  load(R"({"drives": [{"bus": "sas"}, {"bus": "sas"}], "faults": [{"scsi": 0, "drive": 1}]})");
  OpenDrive ready("PHYSICALDRIVE0");
  OpenDrive notReady("PHYSICALDRIVE1");
  EXPECT_TRUE(osl_is_unit_ready(ready.drive, OSL_BUS_SAS));
  EXPECT_FALSE(osl_is_unit_ready(notReady.drive, OSL_BUS_SAS));
  EXPECT_FALSE(osl_is_unit_ready(notReady.drive, OSL_BUS_RAID_MEMBER));
  winsim::clearStorageTrace();
  EXPECT_TRUE(osl_is_unit_ready(notReady.drive, OSL_BUS_SATA));
  EXPECT_TRUE(osl_is_unit_ready(notReady.drive, OSL_BUS_NVME));
  EXPECT_EQ(trace(), "");
}

TEST_F(DriveListing, WindowsVersion) {
  for (const char* version : {"10.0", "11.0", "6.3", "6.1", "9.9"}) {
    load(std::string(R"({"windows": ")") + version + "\"}");
    if (version[0] == '1')
      EXPECT_EQ(osl_require_win10(), 0u) << version;
    else
      expectOslWord(osl_require_win10(), kCmdFile, 83);
  }
}

// An NVMe drive's descriptor as the standard driver gives it (serial null:
// none).
std::vector<u8> nvmeDescriptor(const char* serial) {
  std::vector<u8> bytes(OSL_DESCRIPTOR_LENGTH, 0);
  auto* d = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data());
  d->BusType = static_cast<STORAGE_BUS_TYPE>(OSL_STORAGE_BUS_NVME);
  d->ProductIdOffset = 64;
  std::strcpy(reinterpret_cast<char*>(bytes.data()) + 64, "MODEL C");
  d->ProductRevisionOffset = 128;
  std::strcpy(reinterpret_cast<char*>(bytes.data()) + 128, "REV00001");
  d->SerialNumberOffset = serial ? 192 : 0;
  if (serial) std::strcpy(reinterpret_cast<char*>(bytes.data()) + 192, serial);
  d->Size = 256;
  return bytes;
}

TEST_F(DriveListing, Windows10RejectsPlaceholderNvmeSerials) {
  // The serial number is judged as the list keeps it, trimmed.
  struct Case {
    const char* serial;
    bool placeholder;
    const char* kept;
  } cases[] = {{"0000_0000_0000", true, "0000_0000_0000"}, {"0000.0000.", true, "0000.0000."}, {"", true, ""},
               {" 0000_0000 ", true, "0000_0000"}, {"    ", true, ""}, {"S4", false, "S4"}, {" 0 S", false, "0 S"},
               {nullptr, true, "UNKNOWN"}};
  _OSL_PDEV drive = {};
  drive.handle = INVALID_HANDLE_VALUE;
  for (const char* version : {"10.0", "6.3"}) {
    load(std::string(R"({"windows": ")") + version + "\"}");
    for (const Case& c : cases) {
      std::vector<u8> bytes = nvmeDescriptor(c.serial);
      _osl_dev_entry entry = {};
      osl_fill_dev_entry(&drive, 3, reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data()), OSL_DESCRIPTOR_LENGTH,
                         &entry);
      bool unusable = c.placeholder && version[0] == '1';
      EXPECT_EQ(describe(entry), "PHYSICALDRIVE3 #3 7/3/7 'MODEL C' 'REV00001' '" + std::string(c.kept) +
                                     "' medium 1" + (unusable ? " unusable" : ""))
          << version;
    }
  }
  EXPECT_EQ(trace(), "");  // NVMe drives have no seek-penalty query
  // A drive opened by its number is judged alike.
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme", "serial": "   "}]})");
  EXPECT_EQ(OpenDrive("PHYSICALDRIVE0").types(), "255/3/255");
}

}  // namespace
