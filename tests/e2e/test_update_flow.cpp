// The update flow in this process, where a run of the program cannot show
// it: a run stopped by an abort counts no drive as updated, and a drive that
// reports another serial number than the listing read from it, or another
// model than the package's as the download starts, is not written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/divizu_applog.h"
#include "app/main.h"
#include "app/qep.h"
#include "e2e/package_bytes.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "unit/sim/machine_fixture.h"
#include "winsim/program.h"

namespace {

class UpdateFlow : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    appState = AppState();
    appState.silent = true;
    applog_init(6, 6, (scratch_ / "flow.log").c_str());
    load(R"({"drives": [{"bus": "sata", "serial": "S1"}, {"bus": "sata", "serial": "S2"}]})");
  }
  void TearDown() override {
    applog_close(0);
    appState = AppState();
    MachineTest::TearDown();
  }
  std::string log() const { return scratch_.read("flow.log"); }
};

TEST_F(UpdateFlow, AbortedDriveKeepsItsFailure) {
  UpdateSession session(true, false);
  std::vector<u8> image = firmwareImage("REV00002", 4096);
  session.image = image.data();
  session.imageLength = static_cast<u32>(image.size());
  session.abortCurrentCommand();
  bool same = false;
  bool reboot = false;
  u64 status = updateDrive(session, "PHYSICALDRIVE7", same, reboot);  // no such drive
  EXPECT_NE(status, 0u);
  EXPECT_NE(log().find("PHYSICALDRIVE7: Firmware download failed on device [Unsupported device type]"),
            std::string::npos);
}

TEST_F(UpdateFlow, DrivesNotReachedAfterAnAbortAreNotUpdated) {
  static const std::string package = packageBytes(PackageSpec());
  static const std::string licence = "Licence";
  winsim::addResource(10, kPackageResource, package.data(), package.size());
  winsim::addResource(10, kLicenceResource, licence.data(), licence.size());
  UpdateSession session(true, false);
  session.abortCurrentCommand();
  bool failed = false;
  bool same = false;
  bool reboot = false;
  u64 first = runAllDrives(session, failed, same, reboot);
  EXPECT_EQ(orv_status_code(first), 130u);
  EXPECT_TRUE(failed);
  EXPECT_EQ(session.results.size(), 2u);
  EXPECT_EQ(log().find("Firmware download started"), std::string::npos);
  EXPECT_EQ(winsim::Machine::current().description()["drives"][0].HasMember("firmware"), false);
  // Each drive: IDENTIFY as the device opens, then the drive list's probe, five seconds at most.
  std::string limits;
  for (const winsim::StorageRequest& request : winsim::storageTrace())
    if (request.name == "IOCTL_ATA_PASS_THROUGH_DIRECT") limits += std::to_string(request.timeout) + " ";
  EXPECT_EQ(limits, "30 5 30 5 ");
}

TEST_F(UpdateFlow, DriveOpenedMustHaveTheSerialNumberTheListingReadFromIt) {
  // The listing read S9 from PHYSICALDRIVE0, which now reports S1: it is not
  // written. A serial number that did not come from the drive is not compared.
  UpdateSession session(true, false);
  std::vector<u8> image = firmwareImage("REV00002", 4096);
  session.image = image.data();
  session.imageLength = static_cast<u32>(image.size());
  osl_strcpy(session.modelNumber, sizeof session.modelNumber, "VIRTUAL DRIVE");
  osl_strcpy(session.targetRevision, sizeof session.targetRevision, "REV00002");
  VazidaRaduru::_OrvDevProperty listed = {};
  osl_strcpy(listed.deviceName, sizeof listed.deviceName, "PHYSICALDRIVE0");
  osl_strcpy(listed.serialNumber, sizeof listed.serialNumber, "S9");
  listed.state = VazidaRaduru::ORV_STATE_FILLED;
  session.matched.push_back(listed);
  bool same = false;
  bool reboot = false;
  EXPECT_NE(updateDrive(session, "PHYSICALDRIVE0", same, reboot), 0u);
  EXPECT_NE(log().find("[PHYSICALDRIVE0] Error description: The drive opened reports model VIRTUAL DRIVE and serial "
                       "number S1, not the drive listed.\n"),
            std::string::npos)
      << log();
  EXPECT_FALSE(winsim::Machine::current().description()["drives"][0].HasMember("firmware"));
  session.matched[0].state = 0;
  EXPECT_EQ(updateDrive(session, "PHYSICALDRIVE0", same, reboot), 0u) << log();
  EXPECT_STREQ(winsim::Machine::current().description()["drives"][0]["firmware"].GetString(), "REV00002");

  // An Identify that comes back blank as the drive opens is a failed one,
  // not another drive.
  load(R"({"controllers": [{"kind": "csmi", "drives": [{"bus": "nvme", "model": "VIRTUAL DRIVE 2TB", "serial": "S1"}]}],
           "faults": [{"csmi": 4026542088, "times": 1}]})");
  osl_strcpy(session.modelNumber, sizeof session.modelNumber, "VIRTUAL DRIVE 2T");
  osl_strcpy(session.matched[0].deviceName, sizeof session.matched[0].deviceName, "SCSI0:r0");
  EXPECT_NE(updateDrive(session, "SCSI0:r0", same, reboot), 0u);
  EXPECT_NE(log().find("[SCSI0:r0] Error description: ORVERR144: NVMe identify command failed.\n"), std::string::npos)
      << log();
  EXPECT_EQ(log().find("VIRTUAL DRIVE 2T"), std::string::npos) << log();
  EXPECT_FALSE(winsim::Machine::current().description()["controllers"][0]["drives"][0].HasMember("firmware"));
}

}  // namespace
