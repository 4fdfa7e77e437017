// The update flow in this process, where a run of the program cannot show
// it: a run stopped by an abort counts no drive as updated.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/divizu_applog.h"
#include "app/main.h"
#include "app/qep.h"
#include "e2e/package_bytes.h"
#include "osl/orv_status.h"
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

}  // namespace
