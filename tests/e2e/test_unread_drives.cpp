// Drives the listing cannot read: each step of it failing once. The run
// updates every drive it could read, names what it could not, and ends with
// exit code 1.
#include <string>
#include <vector>

#include "e2e/vormel_run.h"

namespace {

// Two drives on AHCI and behind a SCSI-ATA translation, a SATA drive on phy 0
// of each of two RAID controllers, and a RAID set on the second.
std::string machine(const std::string& fault, const std::string& moreDrives) {
  return R"({"windows": "10.0", "drives": [{"bus": "sata", "serial": "S0"}, {"bus": "sat", "serial": "S1"})" +
         moreDrives + R"(],
    "controllers": [{"kind": "csmi", "drives": [{"bus": "sata", "serial": "P0"}]},
                    {"kind": "csmi", "drives": [{"bus": "sata", "serial": "P1"}],
                     "raidSets": [{"drives": [{"model": "NVMe OTHER", "serial": "R0"}]}]}],
    "faults": [)" + fault + "]}";
}

const std::string kDisk0 =
    R"(\\?\scsi#disk&ven_ata&prod_virtual_drive#4&0&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b})";
const std::string kDisk2 =
    R"(\\?\scsi#disk&ven_nvme&prod_virtual_drive#4&2&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b})";

class UnreadDrives : public Vormel {
 protected:
  // The running revisions: the physical drives, then phy 0 of each controller.
  std::vector<std::string> allRevisions() const {
    std::vector<std::string> found = revisions();
    rapidjson::Document machine;
    machine.Parse(scratch_.read("machine.json").c_str());
    for (const auto& controller : machine["controllers"].GetArray()) {
      const auto& drive = controller["drives"][0];
      found.push_back(drive.HasMember("firmware") ? drive["firmware"].GetString() : "REV00001");
    }
    return found;
  }
};

TEST_F(UnreadDrives, EachStepNamesWhatItCouldNotReadAndFails) {
  const std::string old = "REV00001", now = "REV00002";
  struct Case {
    std::string fault;
    std::string unread;  // the line naming what was not read
    std::vector<std::string> revisions;
    std::string moreDrives = "";
  } cases[] = {
      {R"({"setupapi": "SetupDiGetClassDevsW", "times": 1})",
       "the disk interfaces: SetupDiGetClassDevsW failed (error: 31)", {old, old, now, now}},
      {R"({"setupapi": "SetupDiEnumDeviceInterfaces", "times": 1})",
       "disk interface 0: SetupDiEnumDeviceInterfaces failed (error: 31)", {old, now, now, now}},
      {R"({"setupapi": "SetupDiGetDeviceInterfaceDetailW", "times": 1, "error": 87})",
       "disk interface 0: SetupDiGetDeviceInterfaceDetailW failed (error: 87)", {old, now, now, now}},
      {R"({"ioctl": "CreateFileW", "drive": 0, "times": 1, "error": 32})",
       kDisk0 + ": CreateFileW failed (error: 32)", {old, now, now, now}},
      {R"({"ioctl": "IOCTL_STORAGE_GET_DEVICE_NUMBER", "drive": 0, "times": 1})",
       kDisk0 + ": IOCTL_STORAGE_GET_DEVICE_NUMBER failed (error: 31)", {old, now, now, now}},
      {R"({"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 0, "drive": 0, "times": 1, "error": 1117})",
       kDisk0 + ": IOCTL_STORAGE_QUERY_PROPERTY failed (error: 1117)", {old, now, now, now}},
      {"", kDisk2 + ": the drive reports no serial number", {now, now, old, now, now},
       R"(, {"bus": "nvme", "serial": "0000_0000"})"},
      // The storage ports: the listing goes on past the one it cannot read.
      {R"({"setupapi": "SetupDiGetClassDevsW", "after": 1, "times": 1})",
       "the storage ports: SetupDiGetClassDevsW failed (error: 31)", {now, now, old, old}},
      {R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 1, "times": 1})",
       "storage port 0: CSMI driver information failed (error: 31, return code: 0x0)", {now, now, old, now}},
      {R"({"csmi": 1, "times": 1, "returnCode": 1})",
       "storage port 0: CSMI driver information failed (error: 0, return code: 0x1)", {now, now, old, now}},
      {R"({"csmi": 20, "times": 1})", "storage port 0: CSMI phy information failed (error: 0, return code: 0x1)",
       {now, now, old, now}},
      // The RAID drives of a port are unknown, its phys are not.
      {R"({"csmi": 10, "times": 1})", "storage port 0: CSMI RAID information failed (error: 0, return code: 0x1)",
       {now, now, now, now}},
      // Port 0, without a set, is asked for set 0 first.
      {R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 11, "after": 1, "times": 1})",
       "storage port 1: CSMI RAID configuration of set 0 failed (error: 31, return code: 0x0)",
       {now, now, now, now}},
      {R"({"ata": 236, "drive": 100, "times": 1})", "SCSI0:p0: ATA Identify failed", {now, now, old, now}},
  };
  for (const Case& c : cases) {
    scratch_.write("package.bin", packageBytes(PackageSpec()));
    Outcome result = run(machine(c.fault, c.moreDrives), {"/log=run.log"}, {{"WINSIM_RCDATA_104", "package.bin"}});
    EXPECT_EQ(result.exitCode, 1) << c.fault;
    EXPECT_EQ(allRevisions(), c.revisions) << c.fault;
    EXPECT_NE(result.err.find(written("\r\nNot all drives could be read. These were not read and not updated:\r\n" +
                                      c.unread + "\r\n\r\n")),
              std::string::npos)
        << c.fault << "\n" << result.err;
    EXPECT_NE(result.window.find("\r\n>>> Command failed...\r\n### Return code: 1 ###\r\n"), std::string::npos);
    std::string log = scratch_.read("run.log");
    EXPECT_NE(log.find("Error: Could not read " + c.unread + "\n"), std::string::npos) << c.fault;
    std::filesystem::remove(std::filesystem::path(scratch_.path()) / "run.log");
  }
}

TEST_F(UnreadDrives, PortsThatAreNoControllersChangeNothing) {
  scratch_.write("package.bin", packageBytes(PackageSpec()));
  Outcome result = run(R"({"drives": [{"bus": "sata", "serial": "S0"}, {"bus": "sas", "model": "OTHER", "serial": "S1"}],
    "controllers": [{"kind": "ahci"}, {"kind": "csmi", "drives": [{"bus": "sas", "serial": "P0"}]}]})",
                       {}, {{"WINSIM_RCDATA_104", "package.bin"}});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
}

}  // namespace
