// What a run reports where a step fails on the way: drives the listing cannot
// read (each step of it failing once: the run updates every drive it could
// read, names what it could not and ends with exit code 1), the firmware
// slots that cannot be read after a good download, a resource that cannot be
// loaded in silent mode, the line ends of the log file and the console; and
// the NVMe update on Windows 8.1 without the vendor's tunnel, which ends as
// on Windows 10.
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "e2e/vormel_run.h"

namespace {

class RunReports : public Vormel {
 protected:
  Outcome update(const std::string& machine, std::vector<std::string> options, Environment environment = {},
                 const std::string& model = PackageSpec().model) {
    PackageSpec package;
    package.model = model;
    scratch_.write("package.bin", packageBytes(package));
    environment.emplace_back("WINSIM_RCDATA_104", "package.bin");
    return run(machine, std::move(options), environment);
  }
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

std::string machineWith(const std::string& drives, const std::string& faults) {
  return R"({"windows": "10.0", "admin": true, "processes": [{"pid": 4242, "image": "C:\\Tools\\VORMEL.exe"}],
    "drives": [)" + drives + R"(], "faults": [)" + faults + "]}";
}

TEST_F(RunReports, SlotsUnreadableAfterAGoodDownload) {
  struct Case {
    const char* name;
    std::string drives, faults;
    bool firstLocked;  // by a live program: its failure leaves a last-error text
    std::vector<std::string> revisions;
    std::string drive, description, reason;  // the drive whose slots are unread
  };
  const std::vector<Case> cases = {
      // The reading command cannot be made: the IDENTIFY after those of the
      // list, the download command and its two revision reads fails.
      {"made", R"({"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S1"})",
       R"({"ata": 236, "after": 5, "times": 1})", false, {"REV00002"}, "PHYSICALDRIVE0",
       "[PHYSICALDRIVE0] Error description: ORVERR37: ATA Identify failed.\n", "ATA Identify failed"},
      // It is made and fails: the locked drive's text is not this drive's.
      {"executed",
       R"({"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S1"},
          {"bus": "nvme", "model": "VIRTUAL DRIVE", "serial": "S2"})",
       R"({"nvme": 2, "log": 3, "times": 1})", true, {"REV00001", "REV00002"}, "PHYSICALDRIVE1", "",
       "NVMe get log page command failed"},
  };
  for (const Case& one : cases) {
    if (one.firstLocked) writeLock("PHYSICALDRIVE0", "4242");
    Outcome result = update(machineWith(one.drives, one.faults), {"/log=" + std::string(one.name) + ".log"});
    EXPECT_EQ(result.exitCode, 1) << one.name;
    EXPECT_EQ(revisions(), one.revisions) << one.name;
    expectInOrder(result.window, {"=========>Update in progress for device '" + one.drive + "'! Please wait...\r\n",
                                  "Success.\r\n",
                                  "\r\n" + one.drive + ": Firmware download failed on device [" + one.reason + "]."});
    size_t own = result.out.find("Firmware download started on drive : " + one.drive);
    ASSERT_NE(own, std::string::npos) << one.name;
    std::string section = result.out.substr(own);
    EXPECT_EQ(countOf(section, "Error description"), one.description.empty() ? 0u : 1u) << section;
    if (!one.description.empty()) {
      EXPECT_NE(section.find(one.description), std::string::npos) << section;
    }
    EXPECT_EQ(countOf(scratch_.read(std::string(one.name) + ".log"), "Error description"), 1u) << one.name;
  }
}

TEST_F(RunReports, ResourceErrorOfASilentRunOnALineOfItsOwn) {
  for (const char* resource : {"104", "107"}) {
    Outcome result = run(R"({"admin": true, "drives": []})", {"/s", "/log=silent.log"},
                         {{std::string("WINSIM_RCDATA_") + resource, ""}});
    EXPECT_EQ(result.exitCode, 1) << resource;
    std::string log = scratch_.read("silent.log");
    std::string expected = std::string("[[[QEP Version : 01.03.3146]]]\nError in finding resource ") + resource;
    EXPECT_EQ(log.rfind(expected + "\n\n", 0), 0u) << log;
    std::remove((scratch_.path() + "/silent.log").c_str());
  }
}

TEST_F(RunReports, LinesOfTheLogAndConsoleEndOnce) {
  // Updated, already current, pending and failing drives, shown and silent.
  std::string machine = machineWith(R"({"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S1"},
    {"bus": "sas", "model": "VIRTUAL DRIVE", "serial": "S2", "firmware": "REV00002"},
    {"bus": "nvme", "model": "VIRTUAL DRIVE", "serial": "S3", "activateWithoutReset": false},
    {"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S4"})",
                                    R"({"ata": 146, "drive": 3, "times": 1})");
  for (const char* silent : {"", "/s"}) {
    Outcome result = update(machine, {silent, "/log=run.log"});
    EXPECT_EQ(result.exitCode, 1) << silent;
    std::string log = scratch_.read("run.log");
    EXPECT_NE(log.find("Firmware download failed on device"), std::string::npos) << log;
    // This host's text streams end a line in LF alone.
    for (const std::string* text : {&log, &result.out, &result.err})
      EXPECT_EQ(text->find('\r'), std::string::npos) << silent << "\n" << *text;
    EXPECT_EQ(result.window.find("\r\r"), std::string::npos) << result.window;
    std::remove((scratch_.path() + "/run.log").c_str());
  }
}

// ------------------------------------------------------------ unread drives

// Two drives on AHCI and behind a SCSI-ATA translation, a SATA drive on phy 0
// of each of two RAID controllers, and a RAID set on the second.
std::string portsMachine(const std::string& fault, const std::string& moreDrives) {
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

TEST_F(RunReports, UnreadEachStepNamesWhatItCouldNotReadAndFails) {
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
      // Port 0's phys asked again when its drive is read.
      {R"({"csmi": 20, "after": 2, "times": 1, "returnCode": 3})",
       "SCSI0:p0: Query on device failed (storage port 0: CSMI phy information failed (error: 0, return code: 0x3))",
       {now, now, old, now}},
  };
  for (const Case& c : cases) {
    Outcome result = update(portsMachine(c.fault, c.moreDrives), {"/log=run.log"});
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

TEST_F(RunReports, UnreadPortsThatAreNoControllersChangeNothing) {
  Outcome result = update(R"({"drives": [{"bus": "sata", "serial": "S0"},
                                         {"bus": "sas", "model": "OTHER", "serial": "S1"}],
    "controllers": [{"kind": "ahci"}, {"kind": "csmi", "drives": [{"bus": "sas", "serial": "P0"}]}]})",
{});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
}

TEST_F(RunReports, UnreadDrivesThePackageMayBeMeantForAreNamed) {
  // Drive 0's model is longer than the 16 characters its translation lists;
  // drive 1 runs the package's firmware already.
  const std::string model = "MODEL A 2TB SATA SSD";
  auto machine = [&model](const std::string& first, const std::string& fault, const std::string& windows,
                           const std::string& controllers) {
    std::string text = machineWith(first + R"(,
                          {"bus": "sata", "model": ")" + model + R"(", "serial": "L1", "firmware": "REV00002"},
                          {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "L2", "firmware": "R001"})",
                                   fault);
    if (!controllers.empty()) text.insert(text.size() - 1, R"(, "controllers": )" + controllers);
    return text.replace(text.find("10.0"), 4, windows);
  };
  const std::string translated = R"({"bus": "sat", "model": ")" + model + R"(", "serial": "L0")";
  const std::string locked = "Device operation is exclusively locked by other command (process 4242)";
  struct Case {
    std::string first, fault, lock;
    std::string unread;  // empty: the run updates drive 0
    std::vector<std::string> revisions;
    std::string windows = "10.0";
    std::string controllers = "";
  } cases[] = {
      {translated + "}", R"({"ata": 236, "drive": 0, "times": 1})", "", "PHYSICALDRIVE0: ATA Identify failed",
       {"REV00001", "REV00002", "R001"}},
      {translated + R"(, "maxTransfer": 256})", "", "", "PHYSICALDRIVE0: ATA Identify failed",
       {"REV00001", "REV00002", "R001"}},
      {translated + "}", "", "PHYSICALDRIVE0", "PHYSICALDRIVE0: " + locked, {"REV00001", "REV00002", "R001"}},
      // What the list says of the SAS drive rules the package out.
      {translated + "}", R"({"scsi": 18, "drive": 2, "times": 1})", "", "", {"REV00002", "REV00002", "R001"}},
      {translated + "}", "", "PHYSICALDRIVE2", "", {"REV00002", "REV00002", "R001"}},
      // The NVMe driver lists a model whole: the start of the package's is
      // another model. Windows 7 cannot read the drive.
      {R"({"bus": "nvme", "model": "MODEL A 2TB", "serial": "L0"})", "", "", "", {"REV00001", "REV00002", "R001"},
       "6.1"},
      // A drive without a product id may be any model.
      {R"({"bus": "sat", "model": "", "serial": "L0"})", R"({"ata": 236, "drive": 0, "times": 1})", "",
       "PHYSICALDRIVE0: ATA Identify failed", {"REV00001", "REV00002", "R001"}},
      // The RAID driver's NVMe disk answers the listing's Identify without
      // data, a failed Identify; its descriptor gives 16 characters of the
      // model. Drive 0, of the package's model, is updated.
      {R"({"bus": "nvme", "model": ")" + model + R"(", "serial": "L0"})", R"({"csmi": 4026542088, "times": 1})", "",
       "SCSI0:r0: NVMe identify command failed", {"REV00002", "REV00002", "R001"}, "10.0",
       R"([{"kind": "csmi", "drives": [{"bus": "nvme", "model": ")" + model + R"(", "serial": "D0"}]}])"},
      // Blanks before a model take room of the 16 characters a translation
      // or a RAID driver's disk lists.
      {R"({"bus": "sat", "model": " )" + model + R"(", "serial": "L0"})", R"({"ata": 236, "drive": 0, "times": 1})", "",
       "PHYSICALDRIVE0: ATA Identify failed", {"REV00001", "REV00002", "R001"}},
      {R"({"bus": "sata", "model": "MODEL C", "serial": "L0"})", R"({"cfgmgr32": "CM_Get_Parent", "drive": 5})", "",
       "\\\\?\\scsi#disk&ven_nvme&prod__model_a_2tb_sat#4&5&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: its RAID "
       "controller cannot be told (CM_Get_Parent failed (CONFIGRET: 13))",
       {"REV00001", "REV00002", "R001"}, "10.0",
       R"([{"kind": "csmi", "drives": [{"bus": "nvme", "model": " )" + model + R"(", "serial": "D0", "number": 5}]}])"},
      // Windows 8.1's NVMe driver makes up the identity of its own drives
      // only: the RAID driver's disk is still named.
      {R"({"bus": "nvme", "model": ")" + model + R"(", "serial": "L0"})", R"({"csmi": 4026542088, "times": 1})", "",
       "SCSI0:r0: NVMe identify command failed", {"REV00002", "REV00002", "R001"}, "6.3",
       R"([{"kind": "csmi", "drives": [{"bus": "nvme", "model": ")" + model + R"(", "serial": "D0"}]}])"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(std::filesystem::path(scratch_.path()) / "programdata");
    if (!c.lock.empty()) writeLock(c.lock, "4242");
    Outcome result = update(machine(c.first, c.fault, c.windows, c.controllers), {"/log=run.log"}, {}, model);
    std::string what = c.first + c.fault + c.lock;
    EXPECT_EQ(revisions(), c.revisions) << what;
    std::string log = scratch_.read("run.log");
    std::filesystem::remove(std::filesystem::path(scratch_.path()) / "run.log");
    if (c.unread.empty()) {
      EXPECT_EQ(result.exitCode, 4000) << what << "\n" << result.err;
      EXPECT_EQ(result.err, "") << what;
      continue;
    }
    EXPECT_EQ(result.exitCode, 1) << what;
    EXPECT_EQ(result.err, written("\r\nNot all drives could be read. These were not read and not updated:\r\n" +
                                  c.unread + "\r\n\r\n"))
        << what;
    EXPECT_NE(log.find("Error: Could not read " + c.unread + "\n"), std::string::npos) << what;
  }
}

TEST_F(RunReports, DriveMissingFromAnIncompleteLookupFailsWithTheListingsReason) {
  // The update command's own listing (the second) cannot read the disks or
  // opens the drive's interface no more, or the opening cannot read the
  // disk's identifiers.
  const std::string disk = R"(\\?\scsi#disk&ven_ata&prod_virtual_drive#4&0&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b})";
  const std::string sataDisk = R"({"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S1"})";
  struct Case {
    std::string drives, fault, reason;
  } cases[] = {
      {sataDisk, R"({"setupapi": "SetupDiGetClassDevsW", "after": 2, "times": 1})",
       "the disk interfaces: SetupDiGetClassDevsW failed (error: 31)"},
      {sataDisk, R"({"ioctl": "CreateFileW", "drive": 0, "after": 3, "times": 1, "error": 5})",
       disk + ": CreateFileW failed (error: 5)"},
      // A RAID driver's disk whose identifiers the opening cannot read.
      {R"({"bus": "sat", "raid": true, "model": "VIRTUAL DRIVE", "serial": "S1"})",
       R"({"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 2, "after": 4, "times": 1})",
       "PHYSICALDRIVE0: IOCTL_STORAGE_QUERY_PROPERTY failed (error: 31)"},
      // A disk whose descriptor the opening cannot read.
      {sataDisk, R"({"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 0, "after": 4, "times": 1, "error": 21})",
       "PHYSICALDRIVE0: IOCTL_STORAGE_QUERY_PROPERTY failed (error: 21)"},
  };
  for (const Case& c : cases) {
    Outcome result = update(machineWith(c.drives, c.fault), {"/log=run.log"});
    EXPECT_EQ(result.exitCode, 1) << c.fault;
    EXPECT_EQ(scratch_.read("machine.json").find("REV00002"), std::string::npos) << c.fault << ": a drive updated";
    EXPECT_NE(result.out.find(written("[PHYSICALDRIVE0] Error description: ORVERR19: Query on device failed (" +
                                      c.reason + ").\n")),
              std::string::npos)
        << c.fault << "\n" << result.out;
    EXPECT_EQ(result.err,
              written("\r\nPHYSICALDRIVE0: Firmware download failed on device [Query on device failed].\r\n\r\n"))
        << c.fault;
  }
}

TEST_F(RunReports, RaidSetThatCannotBeReadIsTheReasonOnlyWhenNoOtherSetHoldsTheMember) {
  // Set 0 holds another drive, set 1 the member the package is meant for
  // (SCSI0:r1, number 1001, of the default model). A set read fails on every
  // request, or only at the update's own lookup: the fifth read of set 1,
  // after the first listing, the two lookups of its probe and the update's
  // own listing.
  const std::string machine = R"({"windows": "10.0", "admin": true, "controllers": [{"kind": "csmi", "raidSets": [
      {"drives": [{"model": "NVMe OTHER", "serial": "R0"}]},
      {"drives": [{"serial": "R1"}]}]}], "faults": [)";
  const std::string set0 = "storage port 0: CSMI RAID configuration of set 0 failed ";
  const std::string set1 = "storage port 0: CSMI RAID configuration of set 1 failed ";
  struct Case {
    std::string fault;
    std::string firmware;  // the member's afterwards
    std::string said;      // of the member
    std::string unread;    // what the listing could not read
  } cases[] = {
      {R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 11, "set": 0})", "REV00002",
       "\nSCSI0:r1: Firmware download command completed successfully.\n", set0 + "(error: 31, return code: 0x0)"},
      // The member's own failure is the reason, not the set the lookup went past.
      {R"({"csmi": 11, "set": 0, "returnCode": 3}, {"nvme": 6, "drive": 1001, "cns": 1})", "REV00001",
       "[SCSI0:r1] Error description: ORVERR144: NVMe identify command failed.\n", set0 + "(error: 0, return code: 0x3)"},
      {R"({"csmi": 11, "set": 1, "after": 4, "times": 1, "returnCode": 3})", "REV00001",
       "[SCSI0:r1] Error description: ORVERR19: Query on device failed (" + set1 + "(error: 0, return code: 0x3)).\n",
       ""},
      // The second lookup of the same opening.
      {R"({"csmi": 11, "set": 1, "after": 5, "times": 1, "returnCode": 3})", "REV00001",
       "[SCSI0:r1] Error description: ORVERR19: Query on device failed (" + set1 + "(error: 0, return code: 0x3)).\n",
       ""},
  };
  for (const Case& c : cases) {
    Outcome result = update(machine + c.fault + "]}", {"/log=run.log"}, {}, "NVMe VIRTUAL DRIVE");
    EXPECT_EQ(result.exitCode, 1) << c.fault;
    rapidjson::Document after;
    after.Parse(scratch_.read("machine.json").c_str());
    const auto& member = after["controllers"][0]["raidSets"][1]["drives"][0];
    EXPECT_EQ(member.HasMember("firmware") ? member["firmware"].GetString() : "REV00001", c.firmware) << c.fault;
    EXPECT_NE(result.out.find(written(c.said)), std::string::npos) << c.fault << "\n" << result.out;
    std::string named = c.unread.empty() ? "Not all drives" : written("not updated:\n" + c.unread + "\n");
    EXPECT_EQ(result.err.find(named) != std::string::npos, !c.unread.empty()) << c.fault << "\n" << result.err;
  }
}

TEST_F(RunReports, PhyInformationThatCannotBeReadIsTheSataDrivesReason) {
  // The SATA drive on phy 0: its phys are read by the listing, twice when
  // its probe opens it, then by each STP pass-through. One read fails: when
  // the drive is probed, when the update opens it, and before a download
  // segment.
  const std::string why = "storage port 0: CSMI phy information failed (error: 0, return code: 0x3)";
  const struct {
    int after;
    std::string said;
  } cases[] = {
      {1, "SCSI0:p0: Query on device failed (" + why + ")\r\n"},
      {5, "[SCSI0:p0] Error description: ORVERR19: Query on device failed (" + why + ").\n"},
      {10, "\r\nSCSI0:p0: Firmware download failed on device [Query on device failed].\r\n"},
  };
  for (const auto& c : cases) {
    std::string fault = R"({"csmi": 20, "returnCode": 3, "times": 1, "after": )" + std::to_string(c.after) + "}";
    Outcome result = update(R"({"windows": "10.0", "admin": true, "controllers": [{"kind": "csmi",
      "drives": [{"bus": "sata", "serial": "P0"}]}], "faults": [)" + fault + "]}",
                            {"/log=run.log"});
    EXPECT_EQ(result.exitCode, 1) << c.after;
    EXPECT_EQ(allRevisions(), (std::vector<std::string>{"REV00001"})) << c.after;
    EXPECT_NE((result.out + result.err).find(written(c.said)), std::string::npos)
        << c.after << "\n" << result.out << result.err;
    EXPECT_NE(scratch_.read("run.log").find("Error: Could not read " + why + "\n"), std::string::npos) << c.after;
    std::filesystem::remove(std::filesystem::path(scratch_.path()) / "run.log");
  }
}

// ------------------------------------------------- NVMe on Windows 8.1

// Drive 0 activates the image at once, drive 1 only at the next reset.
std::string twoNvmeDrives(const char* windows) {
  return std::string(R"({"windows": ")") + windows + R"(", "admin": true, "drives": [
    {"bus": "nvme", "model": "VIRTUAL DRIVE", "serial": "S1", "firmware": "REV00001"},
    {"bus": "nvme", "model": "VIRTUAL DRIVE", "serial": "S2", "firmware": "REV00001",
     "activateWithoutReset": false}]})";
}

TEST_F(RunReports, NvmeOnWindows81EndsAsOnWindows10) {
  // Windows 10 takes drive 0's image for the next reset too (deferred);
  // Windows 8.1 cannot defer and activates it at once.
  const std::pair<const char*, const char*> runs[] = {
      {"10.0", "\nPHYSICALDRIVE0: Firmware download command completed successfully.\n"},
      {"6.3", "\nPHYSICALDRIVE0: Firmware download and activation command completed successfully.\n"}};
  for (const auto& one : runs) {
    std::string logName = std::string("run-") + one.first + ".log";
    Outcome result = update(twoNvmeDrives(one.first), {"/log=" + logName});
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
