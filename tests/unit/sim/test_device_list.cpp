// The device-list command on simulated machines: the records of mixed
// drives, locked drives, filters by type and by name, and machines without
// drives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdlib/cmdlib_devlist.h"
#include "unit/lock_helpers.h"
#include "unit/log_capture.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuDevList;
using DivizuCmdlib::DivIzuDevReady;
using VazidaRaduru::_OrvDevProperty;

namespace {

constexpr u32 kDevListFile = 52;

const char kMixedDrives[] = R"({"processes": [{"pid": 4194400, "image": "C:\\Tools\\RARAVID.exe"}],
  "drives": [
    {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
    {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001", "rotational": true},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001", "number": 5}
  ]})";

class DeviceList : public MachineTest {
 protected:
  std::vector<_OrvDevProperty> list(DivIzuDevList& command, u64& status) {
    status = command.execute();
    return std::vector<_OrvDevProperty>(command.devBegin(), command.devEnd());
  }
  void writeLock(const std::string& name, const std::string& text) const {
    LockFolder(scratch_.path() + "/programdata").write(name, text);
  }
};

TEST_F(DeviceList, MixedDrivesInDeviceNumberOrder) {
  load(kMixedDrives);
  DivIzuDevList command;
  u64 status = 1;
  std::vector<_OrvDevProperty> records = list(command, status);
  ASSERT_EQ(status, 0u);
  ASSERT_EQ(command.devCount(), 3u);
  struct Expected {
    u16 number;
    const char* name;
    const char* serial;
    osl_bus_type bus;
    osl_dev_type type;
    u32 medium;
  } expected[] = {{0, "PHYSICALDRIVE0", "S1", OSL_BUS_SATA, OSL_DEV_ATA, OSL_MEDIUM_SOLID_STATE},
                  {1, "PHYSICALDRIVE1", "S2", OSL_BUS_SAS, OSL_DEV_ATA, OSL_MEDIUM_ROTATING},
                  {5, "PHYSICALDRIVE5", "S3", OSL_BUS_SAS, OSL_DEV_SCSI, OSL_MEDIUM_SOLID_STATE}};
  for (size_t i = 0; i < 3; ++i) {
    const _OrvDevProperty& record = records[i];
    EXPECT_EQ(record.deviceNumber, expected[i].number);
    EXPECT_STREQ(record.deviceName, expected[i].name);
    EXPECT_STREQ(record.serialNumber, expected[i].serial);
    EXPECT_EQ(record.commandBus, expected[i].bus) << i;
    EXPECT_EQ(record.deviceType, expected[i].type) << i;
    EXPECT_EQ(record.medium, expected[i].medium) << i;
    EXPECT_EQ(record.usable, 1) << i;
    EXPECT_EQ(record.locked, 0) << i;
  }
  // The drives were probed: their records are filled from IDENTIFY and
  // INQUIRY.
  EXPECT_EQ(records[2].state & VazidaRaduru::ORV_STATE_FILLED, VazidaRaduru::ORV_STATE_FILLED);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(records[i].state & VazidaRaduru::ORV_STATE_FILLED, VazidaRaduru::ORV_STATE_FILLED) << i;
    EXPECT_STREQ(records[i].modelNumber, "MODEL A");
    EXPECT_STREQ(records[i].firmwareRevision, "REV00001");
    EXPECT_EQ(records[i].unitStatus, 1) << i;
    EXPECT_GT(records[i].maxTransferLength, 0u) << i;
  }
  EXPECT_STREQ(records[2].modelNumber, "MODEL B");
  EXPECT_STREQ(records[2].firmwareRevision, "R001");
  EXPECT_FALSE(command.isSupportedDrive());

  // Each run lists afresh.
  EXPECT_EQ(command.execute(), 0u);
  EXPECT_EQ(command.devCount(), 3u);
}

TEST_F(DeviceList, LockedDrivesAreListedWithoutAProbe) {
  load(kMixedDrives);
  writeLock("PHYSICALDRIVE5", "4194400");
  writeLock("PHYSICALDRIVE1", "F:4194400");
  LogCapture log;
  DivIzuDevList command;
  u64 status = 1;
  std::vector<_OrvDevProperty> records = list(command, status);
  ASSERT_EQ(status, 0u);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].locked, 1);
  EXPECT_EQ(records[2].usable, 1);
  EXPECT_EQ(records[2].unitStatus, 0);
  EXPECT_EQ(records[2].state, 0);
  EXPECT_EQ(log.find("Info: Opening Physical drive: PHYSICALDRIVE5"), nullptr) << log.text();
  // A forced lock does not keep the drive from being probed.
  EXPECT_EQ(records[1].locked, 0);
  EXPECT_NE(log.find("Info: Opening Physical drive: PHYSICALDRIVE1"), nullptr) << log.text();
}

TEST_F(DeviceList, FilteredByTypeOrByName) {
  load(kMixedDrives);
  u64 status = 1;
  DivIzuDevList ata("", OSL_DEV_ATA, 5);
  std::vector<_OrvDevProperty> records = list(ata, status);
  EXPECT_EQ(status, 0u);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_STREQ(records[1].deviceName, "PHYSICALDRIVE1");

  DivIzuDevList nvme("", OSL_DEV_NVME, 5);
  EXPECT_EQ(list(nvme, status).size(), 0u);
  EXPECT_EQ(status, 0u);

  DivIzuDevList named("5", OSL_DEV_NONE, 5);
  records = list(named, status);
  EXPECT_EQ(status, 0u);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_STREQ(records[0].deviceName, "PHYSICALDRIVE5");

  DivIzuDevList missing("4", OSL_DEV_NONE, 5);
  records = list(missing, status);
  EXPECT_TRUE(isLibStatus(status, 43, kDevListFile));
  EXPECT_EQ((status >> 32) & 0xFFFF, 236u);
  EXPECT_TRUE(records.empty());
}

TEST_F(DeviceList, DrivesTheDriveListMarksUnusableAreLeftOut) {
  // An NVMe drive whose serial number is a placeholder, on Windows 10.
  load(R"({"windows": "10.0", "drives": [
    {"bus": "sata", "model": "MODEL A", "serial": "S1"},
    {"bus": "sas", "vendor": "NVMe", "model": "MODEL C", "serial": "0000_0000.", "number": 1},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "number": 2}]})");
  DivIzuDevList command;
  u64 status = 1;
  std::vector<_OrvDevProperty> records = list(command, status);
  ASSERT_EQ(status, 0u);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_STREQ(records[0].deviceName, "PHYSICALDRIVE0");
  EXPECT_STREQ(records[1].deviceName, "PHYSICALDRIVE2");

  DivIzuDevList named("1", OSL_DEV_NONE, 5);
  list(named, status);
  EXPECT_TRUE(isLibStatus(status, 43, kDevListFile));
}

TEST_F(DeviceList, SpinningADriveDownAndUp) {
  load(kMixedDrives);
  {
    DivIzuDevReady down("PHYSICALDRIVE0", true, 5);
    ASSERT_EQ(down.execute(), 0u);
  }
  // A drive that stands by is listed as not active.
  DivIzuDevList command("0", OSL_DEV_NONE, 5);
  ASSERT_EQ(command.execute(), 0u);
  EXPECT_EQ(command.devBegin()->unitStatus, 0);
  DivIzuDevReady up("PHYSICALDRIVE0", false, 5);
  ASSERT_EQ(up.execute(), 0u);
  ASSERT_EQ(command.execute(), 0u);
  EXPECT_EQ(command.devBegin()->unitStatus, 1);
  // Its id is taken as it is given: digits alone name no drive.
  EXPECT_EQ(orv_status_code(thrownStatus([] { DivIzuDevReady ready("0", false, 5); })), 13u);
}

TEST_F(DeviceList, MachineWithoutDrives) {
  load("{}");
  DivIzuDevList command;
  u64 status = command.execute();
  EXPECT_EQ(orv_status_code(status), 5u);
  EXPECT_EQ(command.devCount(), 0u);
}

}  // namespace
