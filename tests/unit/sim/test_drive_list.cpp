// The drive list and the per-drive queries on simulated machines: what each
// kind of drive is listed as, where it is placed, how failures of the
// storage stack show, transfer limits, partitions, readiness and the
// Windows version test.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "osl/orv_status.h"
#include "osl/osl_cmd.h"
#include "osl/osl_storage.h"
#include "unit/log_capture.h"
#include "unit/sim/drive_list_helpers.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"
#include "winsim/storage.h"

namespace {

const char* threeDrives = R"({"windows": "10.0", "drives": [
  {"bus": "sata", "model": "MODEL A", "serial": "   S1", "firmware": "REV00001"},
  {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001", "rotational": true},
  {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001"}
]})";

void expectTypes(const _osl_dev_entry& entry, u32 command, u32 device, u32 physical) {
  EXPECT_EQ(entry.commandBus, command) << entry.id;
  EXPECT_EQ(entry.deviceType, device) << entry.id;
  EXPECT_EQ(entry.physicalBus, physical) << entry.id;
}

// What osl_get_bus_dev_type answers for an open drive.
void expectOpenTypes(_OSL_PDEV* drive, osl_bus_type command, osl_dev_type device,
                     osl_bus_type physical) {
  osl_bus_type commandBus = OSL_BUS_NONE, physicalBus = OSL_BUS_NONE;
  osl_dev_type deviceType = OSL_DEV_NONE;
  ASSERT_EQ(osl_get_bus_dev_type(drive, &commandBus, &deviceType, &physicalBus), 0u);
  EXPECT_EQ(commandBus, command);
  EXPECT_EQ(deviceType, device);
  EXPECT_EQ(physicalBus, physical);
}

using DriveListing = MachineTest;

TEST_F(DriveListing, EachKindOfDrive) {
  load(threeDrives);
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  EXPECT_EQ(drives.list->count, 3);
  EXPECT_EQ(drives.used(), 3u);

  const _osl_dev_entry& sata = drives[0];
  EXPECT_STREQ(sata.id, "PHYSICALDRIVE0");
  EXPECT_EQ(sata.deviceNumber, 0);
  expectTypes(sata, 1, 1, 1);
  EXPECT_STREQ(sata.model, "MODEL A");
  EXPECT_STREQ(sata.firmware, "REV00001");
  EXPECT_STREQ(sata.serial, "S1");
  EXPECT_EQ(sata.medium, 1u);
  EXPECT_EQ(sata.logicalUnit, 0xFFFF);

  const _osl_dev_entry& sat = drives[1];
  EXPECT_STREQ(sat.id, "PHYSICALDRIVE1");
  expectTypes(sat, 3, 1, 3);
  EXPECT_STREQ(sat.model, "MODEL A         ");  // the translation's 16-character product id
  EXPECT_STREQ(sat.firmware, "0001");
  EXPECT_STREQ(sat.serial, "S2");
  EXPECT_EQ(sat.medium, 2u);

  const _osl_dev_entry& sas = drives[2];
  EXPECT_STREQ(sas.id, "PHYSICALDRIVE2");
  expectTypes(sas, 3, 2, 3);
  EXPECT_STREQ(sas.model, "MODEL B         ");
  EXPECT_STREQ(sas.firmware, "R001");
  EXPECT_STREQ(sas.serial, "S3");
  EXPECT_EQ(sas.medium, 1u);
  EXPECT_EQ(sas.usable, 1);

  EXPECT_EQ(trace(),
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:7 "
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:7 "
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:7");
}

TEST_F(DriveListing, DrivesSitAtTheirDeviceNumbers) {
  load(R"({"drives": [
    {"bus": "sas", "number": 5, "serial": "FIVE"},
    {"bus": "sat", "serial": "SIX"},
    {"bus": "sata", "number": 0, "serial": "ZERO"},
    {"bus": "sata", "number": 300, "serial": "BEYOND"},
    {"bus": "sas", "number": 2, "serial": "TWO"}
  ]})");
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  EXPECT_EQ(drives.list->count, 4);
  EXPECT_STREQ(drives[0].serial, "ZERO");
  EXPECT_STREQ(drives[2].serial, "TWO");
  EXPECT_STREQ(drives[5].serial, "FIVE");
  EXPECT_STREQ(drives[6].serial, "SIX");
  EXPECT_STREQ(drives[6].id, "PHYSICALDRIVE6");
  for (u32 gap : {1u, 3u, 4u, 7u, 255u}) {
    EXPECT_EQ(drives[gap].usable, 0) << gap;
    EXPECT_EQ(drives[gap].id[0], '\0') << gap;
  }
  EXPECT_EQ(osl_dev_info_free_index(drives.list.get()), 4u);
}

TEST_F(DriveListing, NoDrives) {
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
    load(std::string(R"({"drives": [{"bus": "sata"}, {"bus": "sat"}, {"bus": "sas"}], "faults": [)") +
         c.fault + "]}");
    LogCapture log;
    DriveList drives;
    ASSERT_EQ(drives.status, 0u) << c.fault;
    EXPECT_EQ(drives.list->count, 2) << c.fault;
    EXPECT_EQ(drives[0].usable, 1) << c.fault;
    EXPECT_EQ(drives[1].usable, 0) << c.fault;
    EXPECT_EQ(drives[2].usable, 1) << c.fault;
    if (*c.logged) {
      ASSERT_NE(log.find(c.logged), nullptr) << c.fault;
      EXPECT_EQ(log.find(c.logged)->level, c.level);
    }
  }
}

TEST_F(DriveListing, UnknownMediumIsAWarning) {
  load(R"({"drives": [{"bus": "sata", "rotational": true}],
           "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 7}]})");
  LogCapture log;
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  EXPECT_EQ(drives[0].usable, 1);
  EXPECT_EQ(drives[0].medium, 3u);
  ASSERT_NE(log.find("Warning: IOCTL Failure: (error: 31)\n"), nullptr);
  EXPECT_EQ(log.find("Warning: IOCTL Failure: (error: 31)\n")->level, 4);
}

TEST_F(DriveListing, DrivesBehindARaidDriver) {
  // The driver names the bus RAID: the identifiers tell the members apart
  // (the vendor-id "ATA     " of a translation, the target's SCSI name).
  load(R"({"drives": [{"bus": "sat", "raid": true, "rotational": true},
                      {"bus": "sas", "raid": true, "vendor": "MAKER"}]})");
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  EXPECT_EQ(drives.list->count, 2);
  expectTypes(drives[0], 3, 1, 6);
  EXPECT_EQ(drives[0].medium, 2u);
  expectTypes(drives[1], 3, 2, 6);
  EXPECT_EQ(drives[1].medium, 1u);
  EXPECT_EQ(trace(),
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:2 "
            "STORAGE_QUERY_PROPERTY:7 "
            "STORAGE_GET_DEVICE_NUMBER STORAGE_QUERY_PROPERTY:0 STORAGE_QUERY_PROPERTY:2 "
            "STORAGE_QUERY_PROPERTY:7");

  OpenDrive open("PHYSICALDRIVE0");
  expectOpenTypes(open.drive, OSL_BUS_SAS, OSL_DEV_ATA, OSL_BUS_RAID_MEMBER);

  // Identifiers that cannot be read leave a RAID volume with no command bus.
  load(R"({"drives": [{"bus": "sas", "raid": true}],
           "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 2, "error": 1117}]})");
  LogCapture log;
  DriveList unread;
  ASSERT_EQ(unread.status, 0u);
  expectTypes(unread[0], 255, 255, 5);
  EXPECT_EQ(unread[0].medium, 3u);
  ASSERT_NE(log.find("Error: IOCTL Failure: (error: 1117)\n"), nullptr);
  EXPECT_EQ(log.find("Error: IOCTL Failure: (error: 1117)\n")->level, 3);
}

TEST_F(DriveListing, OneOpenDrive) {
  load(threeDrives);
  OpenDrive open("PHYSICALDRIVE1");
  ASSERT_NE(open.drive, nullptr);
  expectOpenTypes(open.drive, OSL_BUS_SAS, OSL_DEV_ATA, OSL_BUS_SAS);

  // Not a CSMI controller: the miniport request fails and the drive is
  // described as a physical drive.
  winsim::clearStorageTrace();
  std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
  ASSERT_EQ(osl_drive_query(open.drive, list.get()), 0u);
  EXPECT_EQ(list->count, 1);
  EXPECT_STREQ(list->entries[1].id, "PHYSICALDRIVE1");
  expectTypes(list->entries[1], 3, 1, 3);
  ASSERT_FALSE(winsim::storageTrace().empty());
  EXPECT_EQ(winsim::storageTrace()[0].name, "IOCTL_SCSI_MINIPORT");
  EXPECT_EQ(winsim::storageTrace()[0].error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));

  _OSL_PDEV closed = {};
  osl_bus_type command = OSL_BUS_NONE, physical = OSL_BUS_NONE;
  osl_dev_type device = OSL_DEV_NONE;
  expectOslWord(osl_get_bus_dev_type(&closed, &command, &device, &physical), kCmdFile, 43);
  expectOslWord(osl_drive_query(&closed, list.get()), kCmdFile, 1);
}

TEST_F(DriveListing, OpeningTakesAnAdministrator) {
  load(R"({"admin": false, "drives": [{"bus": "sata"}]})");
  EXPECT_EQ(osl_open_device("PHYSICALDRIVE0"), nullptr);
  load(R"({"drives": [{"bus": "sata"}]})");
  EXPECT_EQ(osl_open_device("PHYSICALDRIVE1"), nullptr);
  OpenDrive open("physicaldrive0");
  EXPECT_NE(open.drive, nullptr);
}

TEST_F(DriveListing, DrivesOfAReplacedMachineAreGone) {
  load(threeDrives);
  OpenDrive open("PHYSICALDRIVE0");
  ASSERT_NE(open.drive, nullptr);
  load(threeDrives);
  u32 error = 0;
  STORAGE_DEVICE_NUMBER number = {};
  EXPECT_NE(osl_ioctl(open.drive, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                      sizeof number, &error),
            0u);
  EXPECT_EQ(error, static_cast<u32>(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(DriveListing, DriveStateOutlivesTheRun) {
  load(threeDrives);
  winsim::Machine::current().part<winsim::StorageStack>().disks()[2]->drive->keep("firmware", "R002");
  winsim::Machine::load(winsim::Machine::current().path());
  DriveList drives;
  EXPECT_STREQ(drives[2].firmware, "R002");
  EXPECT_STREQ(drives[1].firmware, "0001");
}

TEST_F(DriveListing, DuplicatedDrivesAreUsable) {
  load(threeDrives);
  OpenDrive open("PHYSICALDRIVE2");
  ASSERT_NE(open.drive, nullptr);
  _OSL_PDEV* copy = osl_dup_device(open.drive);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->handle, open.drive->handle);
  EXPECT_EQ(copy->target, OSL_NO_TARGET);
  EXPECT_TRUE(osl_is_unit_ready(copy, OSL_BUS_SAS));
  osl_close_device(copy);
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
}

TEST_F(DriveListing, TransferLimitWithoutAnswers) {
  {
    load(R"({"drives": [{"bus": "sas", "maxTransfer": 2097152, "maxPages": 513}],
             "faults": [{"scsi": 0}]})");
    OpenDrive open("PHYSICALDRIVE0");
    // A unit that does not answer TEST UNIT READY gets small transfers.
    EXPECT_EQ(osl_get_max_transfer_size(open.drive, OSL_BUS_SAS), 16384u);
    EXPECT_EQ(osl_get_max_transfer_size(open.drive, OSL_BUS_SATA), 0x100000u);
    EXPECT_EQ(trace(),
              "STORAGE_QUERY_PROPERTY:1 SCSI_PASS_THROUGH_DIRECT STORAGE_QUERY_PROPERTY:1");
  }
  load(R"({"drives": [{"bus": "sas"}],
           "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 1}]})");
  OpenDrive again("PHYSICALDRIVE0");
  LogCapture log;
  EXPECT_EQ(osl_get_max_transfer_size(again.drive, OSL_BUS_SAS), 0x40000u);
  ASSERT_NE(log.find("Error: IOCTL Failure: (error: 31)\n"), nullptr);
}

TEST_F(DriveListing, Partitions) {
  struct Case {
    const char* partitions;
    u8 held;
    const char* sent;
  } cases[] = {
      {R"({"style": "raw"})", 0, "DISK_UPDATE_PROPERTIES DISK_GET_DRIVE_LAYOUT_EX"},
      {R"({"style": "mbr", "count": 0})", 0, "DISK_UPDATE_PROPERTIES DISK_GET_DRIVE_LAYOUT_EX"},
      {R"({"style": "mbr", "count": 1})", 1, "DISK_UPDATE_PROPERTIES DISK_GET_DRIVE_LAYOUT_EX"},
      {R"({"style": "gpt", "count": 0})", 0, "DISK_UPDATE_PROPERTIES DISK_GET_DRIVE_LAYOUT_EX"},
      {R"({"style": "gpt", "count": 1})", 1, "DISK_UPDATE_PROPERTIES DISK_GET_DRIVE_LAYOUT_EX"},
      // More entries than 1,024 bytes hold: the buffer grows.
      {R"({"style": "mbr", "count": 20})", 1,
       "DISK_UPDATE_PROPERTIES DISK_GET_DRIVE_LAYOUT_EX DISK_GET_DRIVE_LAYOUT_EX "
       "DISK_GET_DRIVE_LAYOUT_EX"},
      {R"({"style": "gpt", "count": 128})", 1,
       "DISK_UPDATE_PROPERTIES DISK_GET_DRIVE_LAYOUT_EX DISK_GET_DRIVE_LAYOUT_EX "
       "DISK_GET_DRIVE_LAYOUT_EX DISK_GET_DRIVE_LAYOUT_EX DISK_GET_DRIVE_LAYOUT_EX "
       "DISK_GET_DRIVE_LAYOUT_EX"},
  };
  for (const Case& c : cases) {
    load(std::string(R"({"drives": [{"bus": "sata", "partitions": )") + c.partitions + "}]}");
    OpenDrive open("PHYSICALDRIVE0");
    winsim::clearStorageTrace();
    unsigned long long before = winsim::Machine::current().clockMs;
    EXPECT_EQ(osl_has_partitions(open.drive, 0), c.held) << c.partitions;
    EXPECT_EQ(trace(), c.sent) << c.partitions;
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
  for (const char* version : {"10.0", "11.0"}) {
    load(std::string(R"({"windows": ")") + version + "\"}");
    EXPECT_EQ(osl_require_win10(), 0u) << version;
  }
  for (const char* version : {"6.3", "6.1", "9.9"}) {
    load(std::string(R"({"windows": ")") + version + "\"}");
    expectOslWord(osl_require_win10(), kCmdFile, 83);
  }
  // Major first: the minor version counts only when the majors are equal.
  OSVERSIONINFOEXW windows8 = {};
  windows8.dwOSVersionInfoSize = sizeof windows8;
  windows8.dwMajorVersion = 6;
  windows8.dwMinorVersion = 2;
  ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  const std::pair<const char*, bool> answers[] = {
      {"10.0", true}, {"6.3", true}, {"6.2", true}, {"6.1", false}, {"5.9", false}};
  for (const auto& answer : answers) {
    load(std::string(R"({"windows": ")") + answer.first + "\"}");
    SetLastError(0);
    EXPECT_EQ(VerifyVersionInfoW(&windows8, VER_MAJORVERSION | VER_MINORVERSION, mask) != 0,
              answer.second)
        << answer.first;
    if (!answer.second) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OLD_WIN_VERSION));
    }
  }
}

// An NVMe drive's descriptor as the standard driver gives it.
std::vector<u8> nvmeDescriptor(const char* serial) {
  std::vector<u8> bytes(OSL_DESCRIPTOR_LENGTH, 0);
  auto* d = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data());
  d->BusType = static_cast<STORAGE_BUS_TYPE>(OSL_STORAGE_BUS_NVME);
  d->ProductIdOffset = 64;
  std::strcpy(reinterpret_cast<char*>(bytes.data()) + 64, "MODEL C");
  d->ProductRevisionOffset = 128;
  std::strcpy(reinterpret_cast<char*>(bytes.data()) + 128, "REV00001");
  d->SerialNumberOffset = 192;
  std::strcpy(reinterpret_cast<char*>(bytes.data()) + 192, serial);
  d->Size = 256;
  return bytes;
}

TEST_F(DriveListing, Windows10RejectsPlaceholderNvmeSerials) {
  struct Case {
    const char* serial;
    u8 usable;
    const char* kept;
  } cases[] = {
      {"0000_0000_0000", 0, "0000_0000_0000"}, {"0000.0000.", 0, "0000.0000."},
      {"", 0, ""},                              {" 0000_0000 ", 1, "0000_0000"},
      {"S4", 1, "S4"},
  };
  _OSL_PDEV drive = {};
  drive.handle = INVALID_HANDLE_VALUE;
  for (const char* version : {"10.0", "6.3"}) {
    load(std::string(R"({"windows": ")") + version + "\"}");
    for (const Case& c : cases) {
      std::vector<u8> bytes = nvmeDescriptor(c.serial);
      _osl_dev_entry entry = {};
      osl_fill_dev_entry(&drive, 3, reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(bytes.data()),
                         OSL_DESCRIPTOR_LENGTH, &entry);
      expectTypes(entry, 7, 3, 7);
      EXPECT_EQ(entry.medium, 1u);
      EXPECT_STREQ(entry.serial, c.kept);
      u8 expected = std::string(version) == "10.0" ? c.usable : 1;
      EXPECT_EQ(entry.usable, expected) << version << " '" << c.serial << "'";
    }
  }
  EXPECT_EQ(trace(), "");  // NVMe drives have no seek-penalty query
}

TEST_F(DriveListing, InterfaceDetailsAsWindowsGivesThem) {
  load(threeDrives);
  HDEVINFO set = SetupDiGetClassDevsW(&OSL_DISK_INTERFACE_GUID, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data = {};
  data.cbSize = sizeof data;
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &OSL_DISK_INTERFACE_GUID, 2, &data));
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &OSL_DISK_INTERFACE_GUID, 3, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  DWORD required = 0;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<u8> memory(required);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(memory.data());
  detail->cbSize = required;  // not the fixed part's size
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
  HANDLE disk = CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(disk, INVALID_HANDLE_VALUE);
  STORAGE_DEVICE_NUMBER number = {};
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(disk, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                              sizeof number, &returned, nullptr));
  EXPECT_EQ(number.DeviceNumber, 2u);
  CloseHandle(disk);
  SetupDiDestroyDeviceInfoList(set);
}

}  // namespace
