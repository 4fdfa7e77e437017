// The update of NVMe drives on Windows 8.1 through the driver's SCSI side
// and miniport firmware requests, without the vendor's tunnel: the run ends
// as the same run on Windows 10 does.
#include <string>
#include <utility>
#include <vector>

#include "e2e/vormel_run.h"

namespace {

// Drive 0 activates the image at once, drive 1 only at the next reset.
std::string twoNvmeDrives(const char* windows) {
  return std::string(R"({"windows": ")") + windows + R"(", "admin": true, "drives": [
    {"bus": "nvme", "model": "VIRTUAL DRIVE", "serial": "S1", "firmware": "REV00001"},
    {"bus": "nvme", "model": "VIRTUAL DRIVE", "serial": "S2", "firmware": "REV00001",
     "activateWithoutReset": false}]})";
}

class UpdateNvmeWindows81 : public Vormel {
 protected:
  Outcome update(const std::string& machine, const std::string& log) {
    scratch_.write("test-package.bin", packageBytes(PackageSpec()));
    return run(machine, {"/log=" + log}, {{"WINSIM_RCDATA_104", "test-package.bin"}});
  }
};

TEST_F(UpdateNvmeWindows81, EndsAsOnWindows10) {
  // Windows 10 takes drive 0's image for the next reset too (deferred);
  // Windows 8.1 cannot defer and activates it at once.
  const std::pair<const char*, const char*> runs[] = {
      {"10.0", "\nPHYSICALDRIVE0: Firmware download command completed successfully.\n"},
      {"6.3", "\nPHYSICALDRIVE0: Firmware download and activation command completed successfully.\n"}};
  for (const auto& one : runs) {
    std::string logName = std::string("run-") + one.first + ".log";
    Outcome result = update(twoNvmeDrives(one.first), logName);
    EXPECT_EQ(result.exitCode, 1602) << one.first;
    EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00002", "REV00001"})) << one.first;
    expectWrittenInOrder(result.out, {"PHYSICALDRIVE0  Ready ", "PHYSICALDRIVE1  Ready ", one.second,
                               "[New-revision:REV00002] \r\n",
                               "\nPHYSICALDRIVE1: Firmware download command completed successfully.\n",
                               "[Current-revision:REV00001] [Pending-revision:REV00002] \r\n"
                               "Please perform 'System Reboot' to activate the firmware.\r\n"});
    EXPECT_EQ(result.out.find("Firmware download failed"), std::string::npos) << one.first << "\n" << result.out;
    // Only Windows 10's activation at reset is reported as a failed request.
    std::string log = scratch_.read(logName);
    EXPECT_EQ(countOf(log, "Error"), countOf(log, "Error: IOCTL Failure: (error: 197127)\n")) << one.first;
  }
}

}  // namespace
