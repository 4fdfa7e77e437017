// What the drive listing could not read, as its callers learn it, and the
// description of devices on a RAID controller's phys.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "osl/osl_cmd.h"
#include "unit/log_capture.h"
#include "unit/sim/drive_list_helpers.h"
#include "unit/sim/machine_fixture.h"

namespace {

using ListingGaps = MachineTest;

const char kThreeControllers[] = R"({"controllers": [
    {"kind": "csmi", "drives": [{"bus": "sata", "serial": "P0"}, {"bus": "sas", "serial": "Q0"}]},
    {"kind": "csmi", "drives": [{"bus": "sata", "serial": "P1"}]},
    {"kind": "csmi", "drives": [{"bus": "sata", "serial": "P2"}]}], "faults": [)";

TEST_F(ListingGaps, FailuresAreRecordedAndTheListingGoesOn) {
  struct Case {
    const char* fault;
    std::vector<std::string> ids;  // the drives listed
    u32 count;                     // what could not be read
    std::string first;
  } cases[] = {
      {"", {"SCSI0:p0", "SCSI0:p1", "SCSI1:p0", "SCSI2:p0"}, 0, ""},
      {R"({"ioctl": "CreateFileW", "after": 1, "times": 1})", {"SCSI0:p0", "SCSI0:p1", "SCSI2:p0"}, 1,
       "storage port 1: CreateFileW failed (error: 31)"},
      {R"({"csmi": 20, "after": 1, "times": 1, "returnCode": 4})", {"SCSI0:p0", "SCSI0:p1", "SCSI2:p0"}, 1,
       "storage port 1: CSMI phy information failed (error: 0, return code: 0x4)"},
      // No interface of the three can be enumerated; the end of the list can.
      {R"({"setupapi": "SetupDiEnumDeviceInterfaces"})", {}, 3,
       "storage port 0: SetupDiEnumDeviceInterfaces failed (error: 31)"},
  };
  for (const Case& c : cases) {
    load(kThreeControllers + std::string(c.fault) + "]}");
    std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
    std::unique_ptr<osl_unread_list> unread(new osl_unread_list());
    unread->count = 99;
    LogCapture log;
    osl_list_drives(list.get(), unread.get());
    std::vector<std::string> ids;
    for (u32 i = 0; i < list->count; ++i) ids.push_back(list->entries[i].id);
    EXPECT_EQ(ids, c.ids) << c.fault;
    EXPECT_EQ(unread->count, c.count) << c.fault;
    if (c.count == 0) continue;
    EXPECT_EQ(unread->texts[0], c.first) << c.fault;
    ASSERT_NE(log.find("Error: Could not read " + c.first + "\n"), nullptr) << c.fault;
    EXPECT_EQ(log.find("Error: Could not read ")->level, 3);
    // A caller without a record sees the same lines.
    load(kThreeControllers + std::string(c.fault) + "]}");
    log.clear();
    EXPECT_EQ(DriveList().list->count, c.ids.size());
    EXPECT_NE(log.find("Error: Could not read " + c.first + "\n"), nullptr) << c.fault;
  }
}

TEST_F(ListingGaps, DevicesOnPhysAreReachedThroughTheController) {
  // The listing names a SAS device with no bus; described as an open drive,
  // it is reached through the controller and only its device type is unknown.
  load(kThreeControllers + std::string("]}"));
  DriveList drives;
  auto buses = [](const _osl_dev_entry& entry) {  // command bus, device type, physical bus
    return std::vector<u32>{entry.commandBus, entry.deviceType, entry.physicalBus};
  };
  const struct {
    const char* id;
    std::vector<u32> listed, described;
  } cases[] = {{"SCSI0:p0", {8, 1, 8}, {8, 1, 8}}, {"SCSI0:p1", {255, 255, 255}, {8, 255, 8}}};
  for (const auto& c : cases) {
    const _osl_dev_entry* listed = drives.find(c.id);
    ASSERT_NE(listed, nullptr) << c.id;
    EXPECT_EQ(buses(*listed), c.listed) << c.id;
    OpenDrive open(c.id);
    std::unique_ptr<_osl_dev_info> one(new _osl_dev_info());
    ASSERT_EQ(osl_drive_query(open.drive, one.get()), 0u) << c.id;
    EXPECT_EQ(buses(one->entries[0]), c.described) << c.id;
  }
}

}  // namespace
