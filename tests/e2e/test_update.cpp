// Firmware updates by the real VORMEL executable on simulated machines: the
// texts of a run, the drives' revisions afterwards, bad packages, locked,
// failing and interrupted drives, drives opened that are not the drives
// listed, and the exit codes.
#include <csignal>
#include <string>
#include <utility>
#include <vector>

#include "e2e/vormel_run.h"
#include "unit/sim/drive_list_helpers.h"
#include "winsim/machine.h"
#include "winsim/scsi_target.h"

namespace {

// Runs with a package of the test's own unless the test names one, so that
// the tests do not depend on the package the build embeds.
class Update : public Vormel {
 protected:
  Outcome update(const std::string& machine, std::vector<std::string> options, Environment environment = {}) {
    bool named = false;
    for (const auto& variable : environment) named = named || variable.first == "WINSIM_RCDATA_104";
    if (!named) {
      scratch_.write("test-package.bin", packageBytes(PackageSpec()));
      environment.emplace_back("WINSIM_RCDATA_104", "test-package.bin");
    }
    return run(machine, std::move(options), environment);
  }
  // Runs with this package in place of the embedded one.
  Environment withPackage(const PackageSpec& spec) {
    scratch_.write("package.bin", packageBytes(spec));
    return {{"WINSIM_RCDATA_104", "package.bin"}};
  }
  static PackageSpec labelled(const std::string& headerRevision, const std::string& imageRevision) {
    PackageSpec spec;
    spec.revision = headerRevision;
    spec.image = firmwareImage(imageRevision, 24576);
    return spec;
  }
};

// Two drives of the package's model: one at an older revision, one current.
const char kTwoDrives[] = R"({"windows": "10.0", "admin": true, "drives": [
  {"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S1", "firmware": "REV00001"},
  {"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S2", "firmware": "REV00002"}]})";

// Two drives to update; the first takes the image in segments of 8 KiB.
std::string twoOldDrives(const std::string& faults = "[]", const std::string& processes = "[]") {
  return R"({"windows": "10.0", "admin": true, "processes": )" + processes + R"(, "drives": [
    {"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S1", "firmware": "REV00001", "dmMaxBlocks": 16},
    {"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S2", "firmware": "REV00001"}],
    "faults": )" + faults + "}";
}

const char kVersion[] = "[[[QEP Version : 01.03.3146]]]";
const char kTableHead[] =
    "\r\nPHYSICAL-DRIVE  UNIT-STATUS CURRENT-FW-VER           TARGETTED-FW-VER                   MODEL-NUMBER     "
    "                       SERIAL-NUMBER                  TRANSPORT DEV-TYPE  ";
const std::string kRule = "\r\n" + std::string(183, '-');
const char kRow0[] =
    "\r\nPHYSICALDRIVE0  Ready       REV00001                 REV00002                           VIRTUAL DRIVE    "
    "                       S1                             ATA       ATA       \r\n";
const char kRow1[] =
    "\r\nPHYSICALDRIVE1  Ready       REV00002                 REV00002                           VIRTUAL DRIVE    "
    "                       S2                             ATA       ATA       \r\n";
const char kMatched[] = "\r\n\r\nFollowing are the devices matched Model Number : VIRTUAL DRIVE\r\n\r\n";
const char kBanner[] =
    "\r\nFIRMWARE DOWNLOAD IS STARTED.\r\n"
    "WARNING: DO NOT POWER OFF THE SYSTEM OR CANCEL THE PROCESS DURING THIS OPERATION. THE DRIVE MAY GO IN AN "
    "INCONSISTENT STATE.\r\n"
    "THIS MAY TAKE SOME TIME. PLEASE WAIT...\r\n";

std::string started(const std::string& drive) { return "Firmware download started on drive : " + drive + "\r\n\r\n"; }
std::string completed(const std::string& drive) {
  return "\n" + drive + ": Firmware download and activation command completed successfully.\n\n";
}
std::string noDeferred(const std::string& drive) {
  return "Deferred download is not supported by device/system on '" + drive +
         "'. Firmware will be activated on download.\r\n\r\n";
}
std::string inProgress(const std::string& drive) {
  return "=========>Update in progress for device '" + drive + "'! Please wait...\r\n";
}
std::string failedOn(const std::string& drive, const std::string& reason) {
  return "\r\n" + drive + ": Firmware download failed on device [" + reason + "].\r\n\r\n";
}
const std::string kLicenceOut = "\r\n" + licenceText() + "\r\n";
const char kUpdated[] = "[Old-revision:REV00001] [New-revision:REV00002] \r\n";
const char kCurrent[] = "[Old-revision:REV00002] [New-revision:REV00002]  (Same revision)\r\n";
const char kSameResult[] = "\r\n>>> Command success but firmware versions are same...\r\n### Return code: 4000 ###\r\n";
const char kFailedResult[] = "\r\n>>> Command failed...\r\n### Return code: 1 ###\r\n";
const char kAborted[] = "\nApplication aborted due to abort signal\n";

TEST_F(Update, OneDriveUpdatedOneAlreadyCurrent) {
  Outcome result = update(kTwoDrives, {"/log=run.log"});
  EXPECT_EQ(result.exitCode, 4000);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00002", "REV00002"}));
  EXPECT_EQ(result.out, written(kLicenceOut + kMatched + kTableHead + kRule + kRow0 + kRow1 + "\r\n" +
                                started("PHYSICALDRIVE0") + completed("PHYSICALDRIVE0") + kUpdated +
                                started("PHYSICALDRIVE1") + completed("PHYSICALDRIVE1") + kCurrent +
                                "\nSee log file 'run.log' for details.\n"));
  EXPECT_EQ(result.err, "");
  std::string perDrive0 = started("PHYSICALDRIVE0") + noDeferred("PHYSICALDRIVE0") + inProgress("PHYSICALDRIVE0") +
                          "Success.\r\n" + kUpdated;
  std::string perDrive1 = started("PHYSICALDRIVE1") + noDeferred("PHYSICALDRIVE1") + inProgress("PHYSICALDRIVE1") +
                          "Success.\r\n" + kCurrent;
  EXPECT_EQ(result.window, std::string(kVersion) + kMatched + kTableHead + kRule + kRow0 + kRow1 + "\r\n" + kBanner +
                               perDrive0 + perDrive1 + kSameResult);
  // The log has every line of the console and the window, and the library's
  // own lines between them; the banner is the window's only.
  std::string log = scratch_.read("run.log");
  expectWrittenInOrder(log, {kVersion, kLicenceOut, kMatched, kTableHead, kRow1, started("PHYSICALDRIVE0"),
                             "Device property before command execution [PHYSICALDRIVE0]\n",
                             "Firmware Version                                        : REV00001\n",
                             "Unit Status                                             : Ready\n",
                             "Cache enabled                                           : Yes\n",
                             noDeferred("PHYSICALDRIVE0"), inProgress("PHYSICALDRIVE0"), "Success.\r\n",
                             completed("PHYSICALDRIVE0"), kUpdated, started("PHYSICALDRIVE1"),
                             inProgress("PHYSICALDRIVE1"), completed("PHYSICALDRIVE1"), kCurrent, kSameResult});
  EXPECT_EQ(log.find("FIRMWARE DOWNLOAD IS STARTED"), std::string::npos);

  // Again: both drives already run the package's revision.
  result = update("", {"/log=again.log"});
  EXPECT_EQ(result.exitCode, 4000);
  EXPECT_EQ(countOf(result.out, "(Same revision)"), 2u);
}

TEST_F(Update, EveryBusUpdatedInOneRun) {
  // SAS drives show 4 characters of a revision: the package carries such.
  // The second SAS drive refuses REPORT SUPPORTED OPERATION CODES and does
  // not tell its download modes: it is sent segments all the same. The last
  // fails every page 80h INQUIRY after the download: its revisions need no
  // serial number.
  Outcome result = update(R"({"admin": true, "drives": [
    {"bus": "sata", "serial": "S1", "firmware": "R001", "dmMaxBlocks": 8},
    {"bus": "sat", "serial": "S2", "firmware": "R001"},
    {"bus": "sas", "serial": "S3", "firmware": "R001"},
    {"bus": "sata", "serial": "S4", "firmware": "R001", "segmentedDownload": false},
    {"bus": "sas", "serial": "S5", "firmware": "R001", "reportsSupportedOpcodes": false,
     "reportsDownloadModes": false},
    {"bus": "sas", "serial": "S6", "firmware": "R001"}],
    "faults": [{"scsi": 18, "page": 128, "drive": 5, "after": 3}]})",
                          {"/log=run.log"}, withPackage(labelled("R002", "R002")));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"R002", "R002", "R002", "R002", "R002", "R002"}));
  EXPECT_EQ(countOf(result.out, written("[Old-revision:R001] [New-revision:R002] \r\n")), 6u);
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.window.find("\r\n*** Command success...\r\n### Return code: 0 ###\r\n"), std::string::npos);
}

TEST_F(Update, SasDriveShowsTheStartOfALongerRevision) {
  // A drive that runs REV00002 shows "REV0": already the package's revision.
  Outcome result = update(R"({"admin": true, "drives": [{"bus": "sas", "serial": "S1", "firmware": "REV00002"}]})",
                          {});
  EXPECT_EQ(result.exitCode, 4000);
  EXPECT_NE(result.out.find(written("[Old-revision:REV0] [New-revision:REV0]  (Same revision)\r\n")),
            std::string::npos);
}

TEST_F(Update, SasDrivesTakeTheDownloadModesTheyOffer) {
  // Without mode 05h: the image in a 07h segment and nothing after it; the
  // drive activates it at the next command, the new revision read back.
  std::string drive = R"({"admin": true, "drives": [{"bus": "sas", "serial": "S1", "firmware": "R001", )";
  Outcome result = update(drive + R"("wholeMicrocode": false}]})", {"/log=run.log"},
                          withPackage(labelled("R002", "R002")));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"R002"}));
  expectWrittenInOrder(result.out, {completed("PHYSICALDRIVE0"), "[Old-revision:R001] [New-revision:R002] \r\n"});
  std::string log = scratch_.read("run.log");
  expectInOrder(log, {"Info: CDB: 3b 07 00 00 00 00 00 60 00 00 \n"});
  EXPECT_EQ(log.find("Info: CDB: 3b 05"), std::string::npos);
  EXPECT_EQ(log.find("Info: CDB: 3b 07 00 00 00 00 00 00 00 00"), std::string::npos);
  // No download mode at all: nothing sent, the drive's own failure.
  result = update(drive + R"("wholeMicrocode": false, "segmentedMicrocode": false, "deferredMicrocode": false}]})",
                  {"/log=none.log"}, withPackage(labelled("R002", "R002")));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"R001"}));
  EXPECT_EQ(result.err, written(failedOn("PHYSICALDRIVE0", "Download Microcode command is not supported on device")));
  EXPECT_EQ(scratch_.read("none.log").find("Info: CDB: 3b"), std::string::npos);
}

TEST_F(Update, BadPackagesFailBeforeAnyDrive) {
  struct Case {
    const char* name;
    PackageSpec spec;
    std::string reason;
  };
  std::vector<Case> cases(5);
  cases[0] = {"signature", {}, "Aborting as given file is not a firmware package file"};
  cases[0].spec.signature = "@ORVQEX@";
  cases[1] = {"checksum", {}, "Aborting as invalid or corrupt firmware package file"};
  cases[1].spec.badChecksum = true;
  cases[2] = {"length", {}, "Aborting as invalid or corrupt firmware package file"};
  cases[2].spec.claimedLength = 24576 + 1;
  cases[3] = {"no target", {}, "Invalid argument"};
  cases[3].spec.model = "";
  cases[4] = {"no drive of the model", {}, "No devices found"};
  cases[4].spec.model = "OTHER DRIVE";
  for (const Case& one : cases) {
    Outcome result = update(twoOldDrives(), {"/log=bad.log"}, withPackage(one.spec));
    EXPECT_EQ(result.exitCode, 1) << one.name;
    EXPECT_EQ(result.err, written("\r\n\r\nFailed : '" + one.reason + "'\r\n\r\n")) << one.name;
    EXPECT_EQ(result.window.find("Firmware download started"), std::string::npos) << one.name;
    EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00001"})) << one.name;
  }
  // The licence is printed only for a package that was accepted.
  EXPECT_NE(scratch_.read("bad.log").find(licenceText()), std::string::npos);
  EXPECT_EQ(countOf(scratch_.read("bad.log"), licenceText()), 1u);
}

TEST_F(Update, PackageBoundsItsImage) {
  // Filler after the image is no part of it; an image that the resource
  // does not hold whole is refused.
  PackageSpec padded;
  padded.padding = 4096;
  Outcome result = update(twoOldDrives(), {}, withPackage(padded));
  EXPECT_EQ(result.exitCode, 0);
  std::string shortPackage = packageBytes(PackageSpec()).substr(0, 100);
  scratch_.write("package.bin", shortPackage);
  result = update(twoOldDrives(), {}, {{"WINSIM_RCDATA_104", "package.bin"}});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find(written("\r\n\r\nFailed : '")), std::string::npos);
}

TEST_F(Update, NomodelTakesEveryDriveButNeedsATarget) {
  std::string machine = R"({"admin": true, "drives": [
    {"bus": "sata", "model": "VIRTUAL DRIVE", "serial": "S1"},
    {"bus": "sata", "model": "OTHER DRIVE", "serial": "S2"}]})";
  Outcome result = update(machine, {"/NOMODEL"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00002", "REV00002"}));
  EXPECT_NE(result.out.find(written("\r\n\r\nFollowing are the devices present on system\r\n\r\n")), std::string::npos);

  PackageSpec anonymous;
  anonymous.model = "";
  result = update(machine, {"/nomodel"}, withPackage(anonymous));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find("\n\nInvalid Argument. Either Component Id or Model Number argument is needed.\n\n"),
            std::string::npos);
  EXPECT_EQ(result.err, written("\r\n\r\nFailed : 'Invalid argument'\r\n\r\n"));
}

TEST_F(Update, ComponentIdOrMakerNameMatch) {
  std::string machine = R"({"admin": true, "drives": [
    {"bus": "sata", "model": "ORVENTA VIRTUAL DRIVE", "serial": "S1"},
    {"bus": "sata", "model": "ORVENTAVIRTUAL DRIVE", "serial": "S2"},
    {"bus": "sata", "model": "orventa VIRTUAL DRIVE", "serial": "S3"}]})";
  Outcome result = update(machine, {"/log=run.log"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00002", "REV00001", "REV00001"}));
  // The maker's name and a long model fill the drive's 40 characters with a
  // start of the package's model: another model, not written.
  PackageSpec longModel;
  longModel.model = "VIRTUAL DRIVE WITH A LONG MODEL NAME";
  std::string cut = "ORVENTA " + longModel.model.substr(0, 32);
  result = update(R"({"admin": true, "drives": [{"bus": "sata", "model": ")" + cut + R"(", "serial": "S4"}]})", {},
                  withPackage(longModel));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001"}));
  // The package's model is compared as it gives it, blanks and all.
  for (const char* padded : {"VIRTUAL DRIVE ", " VIRTUAL DRIVE"}) {
    PackageSpec spec;
    spec.model = padded;
    result = update(machine, {}, withPackage(spec));
    EXPECT_EQ(result.exitCode, 1) << padded;
    EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00001", "REV00001"})) << padded;
    EXPECT_EQ(result.err, written("\r\n\r\nFailed : 'No devices found'\r\n\r\n")) << padded;
  }
  // ATA drives report no component id: a package naming drives by it alone
  // finds none of them.
  PackageSpec byComponent;
  byComponent.model = "";
  byComponent.component = "CMP00001";
  result = update(machine, {}, withPackage(byComponent));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, written("\r\n\r\nFailed : 'No devices found'\r\n\r\n"));
}

TEST_F(Update, MissingResourcesAreReported) {
  Outcome result = update(kTwoDrives, {"/log=run.log"}, {{"WINSIM_RCDATA_107", ""}});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.ui, "dialog 103\nshow 103 10\nmessagebox - \"Error in finding resource 107\\n\"\nquit 0\ndestroy 103\n");
  EXPECT_EQ(result.err, written("\r\n\r\nFailed : 'Command completed with an error'\r\n\r\n"));
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00002"}));
  // Silent: no box stops the run; the log says it.
  result = update(kTwoDrives, {"/s", "/log=silent.log"}, {{"WINSIM_RCDATA_104", ""}});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.ui.find("messagebox"), std::string::npos);
  EXPECT_NE(scratch_.read("silent.log").find("Error in finding resource 104\n"), std::string::npos);
}

TEST_F(Update, DriveLockedByALiveProgramFailsAlone) {
  writeLock("PHYSICALDRIVE0", "4242");
  Outcome result = update(twoOldDrives("[]", R"([{"pid": 4242, "image": "C:\\Tools\\VORMEL.exe"}])"), {"/log=run.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00002"}));
  EXPECT_TRUE(lockExists("PHYSICALDRIVE0"));
  // The table shows the locked drive as not ready: it was not probed.
  EXPECT_NE(result.out.find(written("\r\nPHYSICALDRIVE0  Not Ready   REV00001")), std::string::npos);
  std::string text = "Device operation is exclusively locked by other command";
  expectWrittenInOrder(result.out,
                       {started("PHYSICALDRIVE0"), "[PHYSICALDRIVE0] Error description: ORVERR166: " + text + ".\n",
                        started("PHYSICALDRIVE1"), completed("PHYSICALDRIVE1"), kUpdated});
  EXPECT_EQ(result.err, written(failedOn("PHYSICALDRIVE0", text)));
}

TEST_F(Update, DriveAbortingMidDownloadKeepsItsFirmware) {
  // The second segment of the first drive is refused.
  Outcome result = update(twoOldDrives(R"([{"ata": 146, "drive": 0, "after": 1, "times": 1}])"), {"/log=run.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00002"}));
  expectInOrder(result.window, {inProgress("PHYSICALDRIVE0"), "Failed.\r\n", started("PHYSICALDRIVE1"),
                                "Success.\r\n", kUpdated, kFailedResult});
  EXPECT_EQ(result.err.rfind(written("\r\nPHYSICALDRIVE0: Firmware download failed on device ["), 0), 0u) << result.err;
  // The failure has no description: the last drive's text is no other's.
  EXPECT_EQ(result.out.find("Error description"), std::string::npos);
}

TEST_F(Update, LockedThenFailingDriveShowsOneDescription) {
  writeLock("PHYSICALDRIVE0", "4242");
  Outcome result = update(twoOldDrives(R"([{"ata": 146, "drive": 1, "times": 1}])",
                                    R"([{"pid": 4242, "image": "C:\\Tools\\VORMEL.exe"}])"),
                       {});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(countOf(result.out, "Error description"), 1u);
  EXPECT_EQ(countOf(result.err, "Firmware download failed on device"), 2u);
}

TEST_F(Update, DownloadThatLeavesTheOldRevisionFails) {
  // The package names REV00003, but its image makes the drive run REV00001.
  Outcome result = update(twoOldDrives(), {}, withPackage(labelled("REV00003", "REV00001")));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(countOf(result.window, "Failed.\r\n"), 2u);
  EXPECT_EQ(result.out.find("Same revision"), std::string::npos);
  expectInOrder(result.out, {"[PHYSICALDRIVE0] Error description: The drive still runs firmware revision REV00001 "
                             "after the download, not REV00003.\n",
                             "[PHYSICALDRIVE1] Error description"});
  EXPECT_EQ(result.err, written(failedOn("PHYSICALDRIVE0", "Command completed with an error") +
                                failedOn("PHYSICALDRIVE1", "Command completed with an error")));
}

TEST_F(Update, RevisionThatCannotBeReadFailsTheDrive) {
  // The third IDENTIFY of the first drive (after the list's and the
  // command's own) reads its revision before the download.
  Outcome result = update(twoOldDrives(R"([{"ata": 236, "drive": 0, "after": 2, "times": 1}])"), {});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00002"}));
  EXPECT_EQ(result.window.find(inProgress("PHYSICALDRIVE0")), std::string::npos);
  EXPECT_EQ(result.err.rfind(written("\r\nPHYSICALDRIVE0: Firmware download failed on device ["), 0), 0u) << result.err;
}

TEST_F(Update, InterruptDuringADownloadEndsTheRun) {
  for (int signal : {SIGINT, SIGTERM}) {
    std::string fault = R"([{"ata": 146, "drive": 0, "after": 1, "times": 1, "signal": )" + std::to_string(signal) +
                        "}]";
    Outcome result = update(twoOldDrives(fault), {"/log=run.log"});
    EXPECT_EQ(result.exitCode, 130) << signal;
    EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00001"})) << signal;
    EXPECT_EQ(result.out.substr(result.out.size() - std::string(kAborted).size()), kAborted) << signal;
    std::string log = scratch_.read("run.log");
    EXPECT_EQ(log.substr(log.size() - std::string(kAborted).size()), kAborted) << signal;
    EXPECT_EQ(log.find(written(started("PHYSICALDRIVE1"))), std::string::npos) << signal;
    std::remove((scratch_.path() + "/run.log").c_str());
  }
}

TEST_F(Update, InterruptBeforeTheDriveLoop) {
  // While the drives are listed.
  std::string fault = R"([{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "times": 1, "signal": 2}])";
  Outcome result = update(twoOldDrives(fault), {"/s", "/log=run.log"});
  EXPECT_EQ(result.exitCode, 130);
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00001"}));
  std::string log = scratch_.read("run.log");
  EXPECT_EQ(log.find("Firmware download started"), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - std::string(kAborted).size()), kAborted);
}

TEST_F(Update, SilentRunWritesOnlyTheLog) {
  Outcome result = update(kTwoDrives, {"/s", "/log=silent.log"});
  EXPECT_EQ(result.exitCode, 4000);
  EXPECT_EQ(result.out + result.err, "");
  std::string log = scratch_.read("silent.log");
  expectWrittenInOrder(log, {kVersion, licenceText(), kMatched, kRow1, started("PHYSICALDRIVE0"),
                             inProgress("PHYSICALDRIVE0"), completed("PHYSICALDRIVE0"), kUpdated,
                             started("PHYSICALDRIVE1"), kCurrent, kSameResult});
  // Lines for a watching user only are left out.
  EXPECT_EQ(log.find("Deferred download is not supported"), std::string::npos);
  EXPECT_EQ(result.window.find("FIRMWARE DOWNLOAD IS STARTED"), std::string::npos);

  writeLock("PHYSICALDRIVE0", "4242");
  result = update(twoOldDrives("[]", R"([{"pid": 4242, "image": "C:\\Tools\\VORMEL.exe"}])"), {"/S", "/log=locked.log"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out + result.err, "");
  expectWrittenInOrder(scratch_.read("locked.log"),
                {"[PHYSICALDRIVE0] Error description: ORVERR166", "PHYSICALDRIVE0: Firmware download failed", kUpdated,
                 kFailedResult});
}

TEST_F(Update, DrivesGoInTheOrderOfTheirNames) {
  std::string drives;
  for (int number = 1; number <= 10; ++number)
    drives += std::string(number > 1 ? "," : "") + R"({"bus": "sata", "serial": "S)" + std::to_string(number) +
              R"(", "number": )" + std::to_string(number) + "}";
  Outcome result = update(R"({"admin": true, "drives": [)" + drives + "]}", {"/s", "/log=run.log"});
  EXPECT_EQ(result.exitCode, 0);
  std::vector<std::string> order;
  for (int number : {1, 10, 2, 3, 4, 5, 6, 7, 8, 9}) order.push_back(started("PHYSICALDRIVE" + std::to_string(number)));
  expectInOrder(result.window, order);
  EXPECT_EQ(revisions(), std::vector<std::string>(10, "REV00002"));
}

TEST_F(Update, NvmeDrivesTakeTheImageForTheNextReboot) {
  // Drive 0 can activate without a reset, drive 1 cannot: on Windows 10 both
  // are downloaded deferred and the run asks for a reboot.
  const char* machine = R"({"windows": "10.0", "admin": true, "drives": [
    {"bus": "nvme", "model": "VIRTUAL DRIVE", "serial": "S1", "firmware": "REV00001"},
    {"bus": "nvme", "model": "VIRTUAL DRIVE", "serial": "S2", "firmware": "REV00001",
     "activateWithoutReset": false}]})";
  Outcome result = update(machine, {"/log=run.log"});
  EXPECT_EQ(result.exitCode, 1602);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00002", "REV00001"}));
  EXPECT_EQ(result.err, "");
  expectWrittenInOrder(result.out,
                       {started("PHYSICALDRIVE0"),
                        "PHYSICALDRIVE0: Firmware download command completed successfully.\n",
                        "[Current-revision:REV00001] [New-revision:REV00002] \r\n", started("PHYSICALDRIVE1"),
                        "PHYSICALDRIVE1: Firmware download command completed successfully.\n",
                        "[Current-revision:REV00001] [Pending-revision:REV00002] \r\n"
                        "Please perform 'System Reboot' to activate the firmware.\r\n"});
  EXPECT_EQ(result.out.find("Deferred download is not supported"), std::string::npos);
  std::string ending = "\r\n>>> Command success... Please reboot the system.\r\n### Return code: 1602 ###\r\n";
  ASSERT_GE(result.window.size(), ending.size());
  EXPECT_EQ(result.window.substr(result.window.size() - ending.size()), ending);
  expectWrittenInOrder(scratch_.read("run.log"),
                       {"Info: Firmware Download without reset is not supported by drive, hence trying deferred "
                        "firmware download\n",
                        "[Current-revision:REV00001] [Pending-revision:REV00002] \r\n", ending});

  // The next run, before the reboot: the drive that waits for it is
  // downloaded again and still asks for one; the other is current.
  result = update("", {"/log=again.log"});
  EXPECT_EQ(result.exitCode, 1602);
  EXPECT_NE(result.out.find(written("[Old-revision:REV00002] [New-revision:REV00002]  (Same revision)\r\n")),
            std::string::npos);
}

// A designator of page 83h as a machine file gives it: code set, association
// and type, then the identifier.
std::string designatorText(u8 codeSet, u8 associationAndType, const std::string& identifier) {
  std::vector<u8> bytes(identifier.begin(), identifier.end());
  return "\"" + hex(winsim::designator(codeSet, associationAndType, bytes)) + "\"";
}

TEST_F(Update, DrivesARaidDriverLeavesToTheirIdentifiers) {
  // Drive 0 sits behind a RAID driver, which names the bus RAID: its device
  // identifiers tell what it is (the drive list's command bus/device type/
  // physical bus). It is updated or named; drive 1 is updated in every run.
  const std::string eui64 = designatorText(0x01, 0x02, std::string("\x00\xA0\xB0\xC0\xD0\xE0\xF0\x01", 8));
  const std::string naa = designatorText(0x01, 0x03, std::string("\x50\x00\xC5\x00\x12\x34\x56\x78", 8));
  const std::string name = std::string("naa.5000C50012345678") + std::string(4, '\0');
  const std::string nameOfDevice = designatorText(0x03, 0x08, name);
  const std::string nameOfTarget = designatorText(0x03, 0x28, name);
  const std::string ataVendor = designatorText(0x02, 0x01, "ATA     VIRTUAL DRIVE");
  const std::string sat = R"({"bus": "sat", "raid": true, "serial": "R0", "firmware": "R001")";
  const std::string sas = R"({"bus": "sas", "raid": true, "vendor": "MAKER", "serial": "R0", "firmware": "R001")";
  const std::string nvme = R"({"bus": "nvme", "raid": true, "serial": "R0", "firmware": "R001")";
  const std::string noModel = R"({"bus": "sas", "raid": true, "vendor": "MAKER", "model": "", "serial": "R0",
                                "firmware": "R001")";
  // An NVMe drive takes NVMe commands, which SCSI pass-through cannot carry.
  const std::string nvmeRefused = failedOn("PHYSICALDRIVE0", "Invalid argument");
  const std::string unknown = failedOn("PHYSICALDRIVE0", "Unsupported device type");
  struct Case {
    std::string drive, designators;  // the drive's record; its "designators", or none (its own)
    std::string listed;
    std::string named;  // the error stream; empty: the drive is updated
  } cases[] = {
      {sat, "", "3/1/6", ""},  // its own: the vendor id "ATA     "
      // The SCSI name of the device: the descriptor's vendor tells.
      {sat, nameOfDevice, "3/1/6", ""},
      {nvme, nameOfDevice, "3/3/6", nvmeRefused},
      {sas, nameOfDevice, "5/255/5", unknown},
      {noModel, nameOfDevice, "5/255/5",
       "\r\nNot all drives could be read. These were not read and not updated:\r\n"
       "PHYSICALDRIVE0: Unsupported device type\r\n\r\n"},
      {nvme, "", "3/3/6", nvmeRefused},  // its own: the EUI-64 of the device
      {nvme, naa, "3/3/6", nvmeRefused},
      // Later identifiers overwrite earlier findings.
      {sat, ataVendor + ", " + nameOfTarget, "3/2/6", failedOn("PHYSICALDRIVE0", "SCSI Write Buffer command failed")},
      {sas, nameOfTarget + ", " + ataVendor, "3/1/6", failedOn("PHYSICALDRIVE0", "ATA Identify failed")},
      {nvme, eui64 + ", " + nameOfTarget, "3/2/6", failedOn("PHYSICALDRIVE0", "SCSI Write Buffer command failed")},
      {nvme, nameOfTarget + ", " + eui64, "3/3/6", nvmeRefused},
  };
  for (const Case& c : cases) {
    std::string drive = c.drive + (c.designators.empty() ? "" : R"(, "designators": [)" + c.designators + "]") + "}";
    std::string machine = R"({"windows": "10.0", "admin": true, "drives": [)" + drive +
                          R"(, {"bus": "sata", "serial": "S1", "firmware": "R001"}]})";
    winsim::Machine::load(scratch_.write("machine.json", machine));
    EXPECT_EQ(typesOf(DriveList()[0]), c.listed) << drive;
    winsim::Machine::load("");

    Outcome result = update(machine, {}, withPackage(labelled("R002", "R002")));
    EXPECT_EQ(result.exitCode, c.named.empty() ? 0 : 1) << drive;
    EXPECT_EQ(result.err, written(c.named)) << drive;
    EXPECT_EQ(revisions(), (std::vector<std::string>{c.named.empty() ? "R002" : "R001", "R002"})) << drive;
  }
}

}  // namespace

namespace {

// The revisions of the drives on the phys of the machine's first controller.
std::vector<std::string> controllerRevisions(const std::string& machineText) {
  rapidjson::Document machine;
  machine.Parse(machineText.c_str());
  std::vector<std::string> found;
  for (const auto& drive : machine["controllers"][0]["drives"].GetArray())
    found.push_back(drive["firmware"].GetString());
  return found;
}

TEST_F(Update, DrivesBehindARaidControllerUpdatedOnce) {
  // S1 is seen as PHYSICALDRIVE0 and again on phy 2 of the controller: it
  // is updated once, through the controller.
  Outcome result = update(R"({"admin": true,
    "drives": [{"bus": "sata", "serial": "S1", "firmware": "REV00001"}],
    "controllers": [{"kind": "csmi", "drives": [
      {"bus": "sata", "phy": 2, "serial": "S1", "firmware": "REV00001", "dmMaxBlocks": 16},
      {"bus": "sata", "phy": 3, "serial": "S2", "firmware": "REV00001"}]}]})",
                          {"/log=run.log"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(controllerRevisions(scratch_.read("machine.json")),
            (std::vector<std::string>{"REV00002", "REV00002"}));
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001"})) << "not updated a second time";
  EXPECT_EQ(countOf(result.out, written(kUpdated)), 2u);
  EXPECT_NE(result.out.find(completed("SCSI0:p2")), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(completed("SCSI0:p3")), std::string::npos);
  EXPECT_EQ(result.out.find(written(started("PHYSICALDRIVE0"))), std::string::npos);
  EXPECT_EQ(scratch_.read("run.log").find("Error: "), std::string::npos) << "every request answered";
}

TEST_F(Update, DriveOpenedOfAnotherModelIsNotWritten) {
  // X0 and X2 answer their first Identify, as the drives are listed, with a
  // failure or no data: their records keep the descriptor's 16 characters of
  // the model, the package's whole model. Opened, they report their own.
  // The SAS drives fail their first, second and third page 80h INQUIRY: as
  // listed (X4, its model alone compared; X9 too, refusing it as an illegal
  // request that is no invalid field in the CDB), as the update opens the
  // drive (X5) and as it reads the drive before the download (X6). None is
  // another drive than the one listed. X7 and X8, on a phy, complete an
  // IDENTIFY DEVICE without data as the update opens them and as it reads
  // them before the download: a failed IDENTIFY. XA completes its standard
  // INQUIRY without data as the update opens it: a failed INQUIRY.
  PackageSpec spec;
  spec.model = "VIRTUAL DRIVE 2T";
  Outcome result = update(R"({"admin": true, "drives": [
    {"bus": "sat", "model": "VIRTUAL DRIVE 2TB", "serial": "X0", "firmware": "REV00001"},
    {"bus": "sat", "model": "VIRTUAL DRIVE 2T", "serial": "X1", "firmware": "REV00001"},
    {"bus": "sas", "model": "VIRTUAL DRIVE 2T", "serial": "X4", "firmware": "REV00001"},
    {"bus": "sas", "model": "VIRTUAL DRIVE 2T", "serial": "X5", "firmware": "REV00001"},
    {"bus": "sas", "model": "VIRTUAL DRIVE 2T", "serial": "X6", "firmware": "REV00001"},
    {"bus": "sata", "model": "VIRTUAL DRIVE 2T", "serial": "X7", "firmware": "REV00001"},
    {"bus": "sas", "model": "VIRTUAL DRIVE 2T", "serial": "X9", "firmware": "REV00001"},
    {"bus": "sas", "model": "VIRTUAL DRIVE 2T", "serial": "XA", "firmware": "REV00001"}],
    "controllers": [{"kind": "csmi", "drives": [
    {"bus": "sata", "model": "VIRTUAL DRIVE 2T", "serial": "X8", "firmware": "REV00001"},
    {"bus": "nvme", "model": "VIRTUAL DRIVE 2TB", "serial": "X2", "firmware": "REV00001"},
    {"bus": "nvme", "model": "VIRTUAL DRIVE 2T", "serial": "X3", "firmware": "REV00001"}]}],
    "faults": [{"ata": 236, "drive": 0, "times": 1}, {"csmi": 4026542088, "times": 1},
               {"scsi": 18, "page": 128, "drive": 2, "times": 1},
               {"scsi": 18, "page": 128, "drive": 3, "after": 1, "times": 1},
               {"scsi": 18, "page": 128, "drive": 4, "after": 2, "times": 1},
               {"ata": 236, "drive": 5, "after": 1, "times": 1, "status": 80, "error": 0},
               {"ata": 236, "drive": 100, "after": 2, "times": 1, "status": 80, "error": 0},
               {"scsi": 18, "page": 128, "drive": 6, "times": 1, "sense": [5, 44, 0]},
               {"scsi": 18, "page": -1, "drive": 7, "after": 2, "times": 1, "scsiStatus": 0}]})",
                          {}, withPackage(spec));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(revisions(), (std::vector<std::string>{"REV00001", "REV00002", "REV00002", "REV00001", "REV00001",
                                                   "REV00001", "REV00002", "REV00001"}));
  EXPECT_EQ(countOf(result.out, "not the drive listed"), 2u);
  EXPECT_EQ(controllerRevisions(scratch_.read("machine.json")),
            (std::vector<std::string>{"REV00001", "REV00001", "REV00002"}));
  for (const auto& [name, serial] : {std::pair{"PHYSICALDRIVE0", "X0"}, std::pair{"SCSI0:r0", "X2"}}) {
    expectWrittenInOrder(result.out, {started(name), "[" + std::string(name) + "] Error description: The drive "
                                      "opened reports model VIRTUAL DRIVE 2TB and serial number " + serial +
                                      ", not the drive listed.\n"});
    EXPECT_EQ(result.window.find(inProgress(name)), std::string::npos) << name;
  }
  EXPECT_EQ(result.err, written(failedOn("PHYSICALDRIVE0", "Command completed with an error") +
                                failedOn("PHYSICALDRIVE3", "SCSI Inquiry command failed") +
                                failedOn("PHYSICALDRIVE4", "SCSI Inquiry command failed") +
                                failedOn("PHYSICALDRIVE5", "ATA Identify failed") +
                                failedOn("PHYSICALDRIVE7", "SCSI Inquiry command failed") +
                                failedOn("SCSI0:p0", "ATA Identify failed") +
                                failedOn("SCSI0:r0", "Command completed with an error")));
}

// The firmware of every drive on the controllers, "port:drive=revision".
std::string controllerFirmware(const std::string& json) {
  rapidjson::Document machine;
  machine.Parse(json.c_str());
  std::string found;
  const auto& ports = machine["controllers"];
  for (rapidjson::SizeType port = 0; port < ports.Size(); ++port) {
    auto add = [&](const rapidjson::Value& drives, const char* where) {
      for (rapidjson::SizeType i = 0; i < drives.Size(); ++i)
        found += std::to_string(port) + where + std::to_string(i) + "=" +
                 (drives[i].HasMember("firmware") ? drives[i]["firmware"].GetString() : "REV00001") + " ";
    };
    if (ports[port].HasMember("drives")) add(ports[port]["drives"], ":");
    if (!ports[port].HasMember("raidSets")) continue;
    // The members of every set, counted on from one set to the next.
    rapidjson::Document members(rapidjson::kArrayType);
    for (const auto& set : ports[port]["raidSets"].GetArray())
      for (const auto& drive : set["drives"].GetArray())
        members.PushBack(rapidjson::Value(drive, members.GetAllocator()), members.GetAllocator());
    add(members, ":set");
  }
  return found;
}

TEST_F(Update, NvmeDiskOutsideTheRaidSetsUpdatedAsAMember) {
  // The RAID driver presents an NVMe drive as a disk outside its sets
  // (target 8 beside the member's 7, or 0 without sets): it is listed,
  // identified through the driver and updated as a RAID member is, the run
  // asking for a reboot. A set that cannot be read leaves the run
  // incomplete but not the disk. Each disk belongs to the controller whose
  // device is its parent: disks of two controllers at one target are two
  // drives, each named by its own port; one whose controller cannot be
  // told is named, never listed under another port.
  const std::string controller = R"({"admin": true, "windows": "10.0", "controllers": [{"kind": "csmi",
      "drives": [{"bus": "nvme", "serial": "D1"}])";
  const std::string member = R"(, "raidSets": [{"drives": [{"model": "NVMe OTHER", "sasAddress": "0000000700000000"}]}])";
  auto disk = [](const char* model, const char* serial, const char* more = "") {
    return std::string(R"({"kind": "csmi", "drives": [{"bus": "nvme", "model": "NVMe MODEL )") + model +
           R"(", "serial": ")" + serial + "\"" + more + "}]}";
  };
  auto set = [](const char* model, const char* serial) {
    return std::string(R"({"kind": "csmi", "raidSets": [{"drives": [{"model": "NVMe MODEL )") + model +
           R"(", "serial": ")" + serial + "\"}]}]}";
  };
  const std::string twoPorts = R"({"admin": true, "windows": "10.0", "controllers": [)";
  // A plain drive of the package's model beside the controllers.
  auto besidePlain = [](const char* windows, const std::string& controllers, const char* model = "NVMe MODEL A") {
    return std::string(R"({"admin": true, "windows": ")") + windows + R"(", "drives": [{"bus": "nvme", "model": ")" +
           model + R"(", "serial": "N0"}], "controllers": [)" + controllers + "]}";
  };
  // Drives of serial number SH, and one controller's disks and members
  // beside plain drives.
  auto sh = [](const char* model, const char* more = "") {
    return std::string(R"({"model": ")") + model + R"(", "serial": "SH")" + more + "}";
  };
  auto csmi = [](const char* windows, const std::string& disks, const std::string& members = "",
                 const std::string& plain = "", const std::string& faults = "") {
    return std::string(R"({"admin": true, "windows": ")") + windows + R"(", "drives": [)" + plain +
           R"(], "controllers": [{"kind": "csmi", "drives": [)" + disks + "]" +
           (members.empty() ? "" : R"(, "raidSets": [{"drives": [)" + members + "]}]") + "}], \"faults\": [" +
           faults + "]}";
  };
  const char* kNvme = R"(, "bus": "nvme")";
  const char* kSata = R"(, "bus": "sata")";
  const std::string sataBesidePhy = sh("MODEL B", R"(, "bus": "sata", "phy": 2)");
  const char* kBlankSerialDisk = R"({"bus": "nvme", "model": "NVMe MODEL B", "serial": "    "})";
  const char* kPlainA = R"({"bus": "nvme", "model": "NVMe MODEL A", "serial": "N0"})";
  auto descriptorFault = [](int after) {
    return R"({"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 0, "times": 1, "after": )" + std::to_string(after) +
           "}";
  };
  const char* kPlainFailed = "PHYSICALDRIVE0: Firmware download failed on device [Query on device failed]";
  const char* kDescriptorFailure =
      "[PHYSICALDRIVE0] Error description: ORVERR19: Query on device failed (PHYSICALDRIVE0: "
      "IOCTL_STORAGE_QUERY_PROPERTY failed (error: 31)).";
  // Disks whose controller cannot be told: 16 of model B, then those of the
  // models given.
  auto untoldFirmware = [](int count) {
    std::string firmware;
    for (int i = 0; i < count; ++i) firmware += "0:" + std::to_string(i) + "=REV00001 ";
    return firmware;
  };
  auto untold = [&](std::vector<std::string> past) {
    past.insert(past.begin(), 16, "NVMe MODEL B");
    std::string disks, faults;
    for (size_t i = 1; i <= past.size(); ++i) {
      disks += (i > 1 ? ", " : "") + sh(past[i - 1].c_str(), kNvme);
      faults += (i > 1 ? ", " : "") + std::string(R"({"cfgmgr32": "CM_Get_Parent", "drive": )") + std::to_string(i) + "}";
    }
    return csmi("10.0", disks, "", R"({"bus": "nvme", "model": "NVMe MODEL A", "serial": "N0"})", faults);
  };
  // Past the kept texts, 16 models other than the package's, then the models
  // given.
  auto sixteenModelsThen = [](std::vector<std::string> more) {
    for (int i = 16; i >= 1; --i) more.insert(more.begin(), "NVMe MODEL C" + std::to_string(i));
    return more;
  };
  const struct {
    std::string machine;
    const char* model;  // the package's
    std::vector<std::string> updated;
    int exitCode;
    std::string firmware;  // afterwards
    const char* error;     // in the error stream; null: nothing
    const char* logged = nullptr;
    const char* failed = nullptr;  // a drive started and failed
    std::vector<std::string> drives = {};  // the plain drives' revisions afterwards
    bool activated = false;  // the plain drive updated activates the image as it takes it (ATA, NVMe on 8.1)
    bool writtenThenFailed = false;  // the failed drive took the image, then failed
  } cases[] = {
      {controller + "}]}", "VIRTUAL DRIVE", {"SCSI0:r0"}, 1602, "0:0=REV00002 ", nullptr},
      {controller + member + "}]}", "VIRTUAL DRIVE", {"SCSI0:r8"}, 1602, "0:0=REV00002 0:set0=REV00001 ", nullptr},
      {controller + member + R"(}], "faults": [{"csmi": 11, "set": 0, "returnCode": 3}]})", "VIRTUAL DRIVE",
       {"SCSI0:r8"}, 1, "0:0=REV00002 0:set0=REV00001 ",
       "storage port 0: CSMI RAID configuration of set 0 failed"},
      // A member and a disk at target 0, two members, or two disks at target
      // 3, on two controllers: one serial number, two drives.
      {twoPorts + set("A", "D1") + ", " + disk("A", "D1") + "]}", "NVMe MODEL A", {"SCSI0:r0", "SCSI1:r0"}, 1602,
       "0:set0=REV00002 1:0=REV00002 ", nullptr},
      {twoPorts + set("A", "M0") + ", " + set("A", "M0") + "]}", "NVMe MODEL A", {"SCSI0:r0", "SCSI1:r0"}, 1602,
       "0:set0=REV00002 1:set0=REV00002 ", nullptr},
      {twoPorts + disk("A", "D1", R"(, "target": 3)") + ", " + disk("A", "D1", R"(, "target": 3)") + "]}",
       "NVMe MODEL A", {"SCSI0:r3", "SCSI1:r3"}, 1602, "0:0=REV00002 1:0=REV00002 ", nullptr},
      // Only the second controller's disk is the package's.
      {twoPorts + disk("B", "D0") + ", " + disk("A", "D1") + "]}", "NVMe MODEL A", {"SCSI1:r0"}, 1602,
       "0:0=REV00001 1:0=REV00002 ", nullptr},
      {twoPorts + disk("A", "D0") + ", " + disk("A", "D1", R"(, "target": 5)") + "]}", "NVMe MODEL A",
       {"SCSI0:r0", "SCSI1:r5"}, 1602, "0:0=REV00002 1:0=REV00002 ", nullptr},
      // Port 0 is no controller, and port 1 first refuses the driver
      // information: the listing names port 1, the disk is still its own.
      {twoPorts + R"({"kind": "ahci"}, )" + disk("A", "D1") + R"(], "faults": [{"csmi": 1, "returnCode": 3, "times": 1}]})",
       "NVMe MODEL A", {"SCSI1:r0"}, 1, "1:0=REV00002 ",
       "storage port 1: CSMI driver information failed (error: 0, return code: 0x3)"},
      // The probe of the first disk cannot open either disk: both reasons
      // name it, and the update opens it again.
      {twoPorts + disk("A", "D0") + ", " + disk("A", "D1") + R"(], "faults": [
          {"ioctl": "CreateFileW", "drive": 0, "after": 1, "times": 1},
          {"ioctl": "CreateFileW", "drive": 1, "after": 1, "times": 1}]})",
       "NVMe MODEL A", {"SCSI0:r0", "SCSI1:r0"}, 1602, "0:0=REV00002 1:0=REV00002 ", nullptr,
       "Error: Could not read SCSI0:r0: Query on device failed (\\\\?\\scsi#disk&ven_nvme&prod_nvme_model_a#"
       "4&0&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: CreateFileW failed (error: 31); "
       "\\\\?\\scsi#disk&ven_nvme&prod_nvme_model_a#4&1&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: CreateFileW "
       "failed (error: 31))"},
      // The disk's parent cannot be read: the disk is named, the plain
      // drive of the model updated.
      {R"({"admin": true, "windows": "10.0", "drives": [{"bus": "nvme", "model": "NVMe MODEL A", "serial": "N0"}],
          "controllers": [)" + disk("A", "D1") + R"(], "faults": [{"cfgmgr32": "CM_Get_Parent", "drive": 1}]})",
       "NVMe MODEL A", {"PHYSICALDRIVE0"}, 1, "0:0=REV00001 ",
       "its RAID controller cannot be told (CM_Get_Parent failed (CONFIGRET: 13))"},
      // Its descriptor's model rules the package out.
      {twoPorts + disk("A", "D0") + ", " + disk("B", "D1") + R"(], "faults": [{"cfgmgr32": "CM_Get_Parent", "drive": 1}]})",
       "NVMe MODEL A", {"SCSI0:r0"}, 1602, "0:0=REV00002 1:0=REV00001 ", nullptr},
      // Drives without a serial number cannot be told from one another: a
      // SATA drive on a phy, members and disks, the disk's blanks judged
      // trimmed. Each is named when the package may be meant for it.
      {besidePlain("10.0", R"({"kind": "csmi", "drives": [{"bus": "sata", "model": "MODEL A", "serial": ""}]})",
                   "MODEL A"),
       "MODEL A", {"PHYSICALDRIVE0"}, 1, "0:0=REV00001 ", "SCSI0:p0: the drive reports no serial number"},
      {besidePlain("10.0", R"({"kind": "csmi", "drives": [{"bus": "sata", "model": "MODEL B", "serial": ""}]})",
                   "MODEL A"),
       "MODEL A", {"PHYSICALDRIVE0"}, 0, "0:0=REV00001 ", nullptr},
      {besidePlain("10.0", set("A", "    ")), "NVMe MODEL A", {"PHYSICALDRIVE0"}, 1, "0:set0=REV00001 ",
       "SCSI0:r0: the drive reports no serial number"},
      {besidePlain("10.0", disk("A", "    ")), "NVMe MODEL A", {"PHYSICALDRIVE0"}, 1, "0:0=REV00001 ",
       "prod_nvme_model_a#4&1&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: the drive reports no serial number"},
      {besidePlain("6.3", disk("A", "    "), "NVMe MODEL C"), "NVMe MODEL A", {}, 1, "0:0=REV00001 ",
       "SCSI0:r0: the drive reports no serial number"},
      // The naming's model is the drive's whole one, longer than a SCSI
      // product id.
      {besidePlain("10.0", set("A LONG NAME", ""), "NVMe MODEL A LONG NAME"), "NVMe MODEL A LONG NAME",
       {"PHYSICALDRIVE0"}, 1, "0:set0=REV00001 ",
       "SCSI0:r0: the drive reports no serial number"},
      // A drive of another model whose serial number Windows made up is not
      // the package's.
      {csmi("10.0", sh("NVMe MODEL A", kNvme), "", R"({"bus": "nvme", "model": "NVMe MODEL C", "serial": "0000"})"),
       "NVMe MODEL A", {"SCSI0:r0"}, 1602,
       "0:0=REV00002 ", nullptr},
      // One serial number: a physical drive and a RAID record of another
      // model are two drives, as are two records of one RAID controller,
      // whatever their models.
      {csmi("10.0", sataBesidePhy, "", sh("MODEL A", kSata)), "MODEL A", {"PHYSICALDRIVE0"}, 0, "0:0=REV00001 ",
       nullptr, nullptr, nullptr, {"REV00002"}, true},
      {csmi("6.3", sataBesidePhy, "", sh("MODEL A", kSata)), "MODEL A", {"PHYSICALDRIVE0"}, 0, "0:0=REV00001 ",
       nullptr, nullptr, nullptr, {"REV00002"}, true},
      {csmi("10.0", "", sh("NVMe MODEL B") + ", " + sh("NVMe MODEL A")), "NVMe MODEL A", {"SCSI0:r1"}, 1602,
       "0:set0=REV00001 0:set1=REV00002 ", nullptr},
      {csmi("6.3", sh("NVMe MODEL B", kNvme) + ", " + sh("NVMe MODEL A", kNvme)), "NVMe MODEL A", {"SCSI0:r1"}, 1602,
       "0:0=REV00001 0:1=REV00002 ", nullptr},
      {csmi("10.0", "", sh("NVMe MODEL B"), sh("NVMe MODEL A", kNvme)), "NVMe MODEL A", {"PHYSICALDRIVE0"}, 0,
       "0:set0=REV00001 ", nullptr, nullptr, nullptr, {"REV00002"}},
      {csmi("6.3", "", sh("NVMe MODEL B"), sh("NVMe MODEL A", kNvme)), "NVMe MODEL A", {"PHYSICALDRIVE0"}, 0,
       "0:set0=REV00001 ", nullptr, nullptr, nullptr, {"REV00002"}, true},
      {csmi("10.0", sh("NVMe MODEL A", R"(, "bus": "nvme", "target": 0)") + ", " +
                        sh("NVMe MODEL A", R"(, "bus": "nvme", "target": 3)")),
       "NVMe MODEL A", {"SCSI0:r0", "SCSI0:r3"}, 1602, "0:0=REV00002 0:1=REV00002 ", nullptr},
      {csmi("10.0", sh("NVMe MODEL A", kNvme), sh("NVMe MODEL A")), "NVMe MODEL A", {"SCSI0:r0", "SCSI0:r1"}, 1602,
       "0:0=REV00002 0:set0=REV00002 ", nullptr},
      {csmi("6.3", "", sh("NVMe MODEL A") + ", " + sh("NVMe MODEL A")), "NVMe MODEL A", {"SCSI0:r0", "SCSI0:r1"},
       1602, "0:set0=REV00002 0:set1=REV00002 ", nullptr},
      // Beyond the unread drives the listing keeps the texts of, only a
      // drive the package may be meant for fails the run.
      {untold({"NVMe MODEL B"}), "NVMe MODEL A", {"PHYSICALDRIVE0"}, 0, untoldFirmware(17), nullptr, nullptr, nullptr,
       {"REV00002"}},
      {untold({"NVMe MODEL A"}), "NVMe MODEL A", {"PHYSICALDRIVE0"}, 1, untoldFirmware(17), "1 more (see the log)",
       nullptr, nullptr, {"REV00002"}},
      {untold({"NVMe MODEL A", "NVMe MODEL A"}), "NVMe MODEL A", {"PHYSICALDRIVE0"}, 1, untoldFirmware(18),
       "\n2 more (see the log)", nullptr, nullptr, {"REV00002"}},
      // Sixteen models are told apart: only a drive past them counts as one
      // of no model known.
      {untold(sixteenModelsThen({"NVMe MODEL A"})), "NVMe MODEL A", {"PHYSICALDRIVE0"}, 1, untoldFirmware(33),
       "\n1 more (see the log)", nullptr, nullptr, {"REV00002"}},
      // The disk's identifiers cannot be read as the drives are listed: that
      // failure names it.
      {controller + member + R"(}], "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 2, "times": 1}]})",
       "VIRTUAL DRIVE", {}, 1, "0:0=REV00001 0:set0=REV00001 ",
       "prod_virtual_drive#4&0&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: IOCTL_STORAGE_QUERY_PROPERTY failed "
       "(error: 31)"},
      // The driver carries the opening's Identify Controller without data: a
      // failed Identify, not another drive.
      {controller + R"(}], "faults": [{"csmi": 4026542088, "after": 7, "times": 1}]})", "VIRTUAL DRIVE", {}, 1,
       "0:0=REV00001 ", "SCSI0:r0: Firmware download failed on device [NVMe identify command failed]", nullptr,
       "SCSI0:r0"},
      {twoPorts + set("A", "M0") + R"(], "faults": [{"csmi": 4026542088, "after": 7, "times": 1}]})", "NVMe MODEL A",
       {}, 1, "0:set0=REV00001 ", "SCSI0:r0: Firmware download failed on device [NVMe identify command failed]",
       nullptr, "SCSI0:r0"},
      {R"({"admin": true, "windows": "6.3", "controllers": [)" + set("A", "M0") +
           R"(], "faults": [{"csmi": 4026542088, "after": 7, "times": 1}]})",
       "NVMe MODEL A", {}, 1, "0:set0=REV00001 ",
       "SCSI0:r0: Firmware download failed on device [NVMe identify command failed]", nullptr, "SCSI0:r0"},
      // Windows 8.1's NVMe driver: the device descriptor the Identify
      // Controller is made from cannot be read as the update opens the drive,
      // as it reads it before the download and after it. Each names the call.
      {csmi("6.3", "", "", kPlainA, descriptorFault(7)), "NVMe MODEL A", {}, 1, "", kPlainFailed, kDescriptorFailure,
       "PHYSICALDRIVE0", {"REV00001"}},
      {csmi("6.3", "", "", kPlainA, descriptorFault(8)), "NVMe MODEL A", {}, 1, "", kPlainFailed, kDescriptorFailure,
       "PHYSICALDRIVE0", {"REV00001"}},
      {csmi("6.3", "", "", kPlainA, descriptorFault(12)), "NVMe MODEL A", {}, 1, "", kPlainFailed, kDescriptorFailure,
       "PHYSICALDRIVE0", {"REV00002"}, false, true},
      // The set of a member fails to be read as the pieces of its image go
      // out: the download names that request.
      {R"({"admin": true, "windows": "10.0", "controllers": [{"kind": "csmi", "raidSets": [
          {"drives": [{"model": "NVMe MODEL B", "serial": "SB"}]}, {"drives": [{"model": "NVMe MODEL A", "serial": "SA"}]}]}],
          "faults": [{"csmi": 11, "set": 1, "after": 10, "times": 1, "returnCode": 3}]})",
       "NVMe MODEL A", {}, 1, "0:set0=REV00001 0:set1=REV00001 ",
       "SCSI0:r1: Firmware download failed on device [Query on device failed]",
       "[SCSI0:r1] Error description: ORVERR19: Query on device failed (storage port 0: CSMI RAID configuration of "
       "set 1 failed (error: 0, return code: 0x3)).", "SCSI0:r1", {}, false, true},
      // A SATA drive's IDENTIFY DEVICE comes back blank as its firmware
      // information is read after the download: written, but its new
      // revision not confirmed.
      {csmi("10.0", "", "", R"({"bus": "sata", "model": "MODEL A", "serial": "A0"})",
            R"({"ata": 236, "drive": 0, "after": 5, "times": 1, "status": 80, "error": 0})"),
       "MODEL A", {}, 1, "", "PHYSICALDRIVE0: Firmware download failed on device [ATA Identify failed]",
       "[PHYSICALDRIVE0] Error description: ORVERR37: ATA Identify failed.", "PHYSICALDRIVE0", {"REV00002"}, false,
       true},
      // A member's set or RAID information cannot be read as the update opens
      // it (by its lookup, or by the drive list the opening makes): that
      // request names the failure, never the disk beside it that reports no
      // serial number.
      {csmi("10.0", kBlankSerialDisk, R"({"model": "NVMe MODEL A", "serial": "S1"})",
            "", R"({"csmi": 11, "after": 4, "times": 1, "returnCode": 1})"),
       "NVMe MODEL A", {}, 1, "0:0=REV00001 0:set0=REV00001 ", "SCSI0:r0: Firmware download failed",
       "[SCSI0:r0] Error description: ORVERR19: Query on device failed (storage port 0: CSMI RAID configuration of "
       "set 0 failed (error: 0, return code: 0x1)).", "SCSI0:r0"},
      {csmi("10.0", kBlankSerialDisk, R"({"model": "NVMe MODEL A", "serial": "S1"})",
            "", R"({"csmi": 10, "after": 3, "times": 1, "returnCode": 1})"),
       "NVMe MODEL A", {}, 1, "0:0=REV00001 0:set0=REV00001 ", "SCSI0:r0: Firmware download failed",
       "[SCSI0:r0] Error description: ORVERR19: Query on device failed (storage port 0: CSMI RAID information failed "
       "(error: 0, return code: 0x1)).", "SCSI0:r0"},
      // The RAID information fails once as the member is opened, beside a
      // disk of another model whose controller cannot be told: that disk is
      // no reason for the member.
      {csmi("10.0", sh("NVMe MODEL B", kNvme), R"({"model": "NVMe MODEL A", "serial": "S1"})", "",
            R"({"cfgmgr32": "CM_Get_Parent", "drive": 0}, {"csmi": 10, "after": 3, "times": 1, "returnCode": 1})"),
       "NVMe MODEL A", {}, 1, "0:0=REV00001 0:set0=REV00001 ", "SCSI0:r0: Firmware download failed",
       "[SCSI0:r0] Error description: ORVERR19: Query on device failed (storage port 0: CSMI RAID information failed "
       "(error: 0, return code: 0x1)).", "SCSI0:r0"},
      // Blanks before a model pad it: a disk's lookup fails once as it is
      // opened, and names its own call; a member is the package's drive.
      {csmi("10.0", R"({"bus": "nvme", "model": " NVMe MODEL A LONG NAME", "serial": "D5", "number": 5})", "", "",
            R"({"cfgmgr32": "CM_Get_Parent", "drive": 5, "after": 3, "times": 1})"),
       "NVMe MODEL A LONG NAME", {}, 1, "0:0=REV00001 ", "SCSI0:r0: Firmware download failed",
       "[SCSI0:r0] Error description: ORVERR19: Query on device failed (\\\\?\\scsi#disk&ven_nvme&prod__nvme_model_a_lo#"
       "4&5&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: its RAID controller cannot be told (CM_Get_Parent failed "
       "(CONFIGRET: 13))).", "SCSI0:r0"},
      // Its Identify fails once as the drives are listed: the table shows
      // the model its set gave.
      {csmi("10.0", "", R"({"model": " NVMe MODEL A", "serial": "M0"})", "", R"({"csmi": 4026542088, "times": 1})"),
       "NVMe MODEL A", {"SCSI0:r0"}, 1602, "0:set0=REV00002 ", nullptr,
       "REV00002                           NVMe MODEL A                            M0"},
      // A drive reported with the maker's name may be the unread disk of
      // its model.
      {csmi("10.0", R"({"bus": "nvme", "model": "ORVENTA NVMe MODEL A", "serial": "D5", "number": 5},
                       {"bus": "nvme", "model": "NVMe MODEL A", "serial": "D6", "number": 200})", "", "",
            R"({"cfgmgr32": "CM_Get_Parent", "drive": 200}, {"cfgmgr32": "CM_Get_Parent", "drive": 5, "after": 3, "times": 1})"),
       "NVMe MODEL A", {}, 1, "0:0=REV00001 0:1=REV00001 ", "SCSI0:r0: Firmware download failed",
       "(CONFIGRET: 13)); \\\\?\\scsi#disk&ven_nvme&prod_nvme_model_a#4&200&0&000000#", "SCSI0:r0"},
      // The drive's own text ends its entry, after those of two disks whose
      // controller cannot be told.
      {twoPorts + R"({"kind": "csmi", "drives": [
          {"bus": "nvme", "model": "NVMe MODEL A 2TB X", "serial": "U0", "number": 20, "target": 40},
          {"bus": "nvme", "model": "NVMe MODEL A 2TB X", "serial": "U1", "number": 21, "target": 41}]},
          {"kind": "csmi", "drives": [{"bus": "nvme", "model": "NVMe MODEL A 2TB X", "serial": "S0", "number": 10,
           "target": 5}]}], "faults": [{"cfgmgr32": "CM_Get_Parent", "drive": 20}, {"cfgmgr32": "CM_Get_Parent",
           "drive": 21}, {"cfgmgr32": "CM_Get_Parent", "after": 2, "times": 1}]})",
       "NVMe MODEL A 2TB X", {}, 1, "0:0=REV00001 0:1=REV00001 1:0=REV00001 ",
       "#4&10&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: its RAID controller cannot be told (CM_Get_Parent "
       "failed (CONFIGRET: 13)))\n"},
      // Its Identify Controller comes back blank only as it is read again
      // after the download: the image went in.
      {controller + R"(}], "faults": [{"csmi": 4026542088, "after": 18, "times": 1}]})", "VIRTUAL DRIVE",
       {"SCSI0:r0"}, 1602, "0:0=REV00002 ", nullptr},
  };
  for (const auto& c : cases) {
    PackageSpec spec;
    spec.model = c.model;
    Outcome result = update(c.machine, {"/log=run.log"}, withPackage(spec));
    EXPECT_EQ(result.exitCode, c.exitCode) << c.machine << "\n" << result.out << result.err;
    for (const std::string& id : c.updated) {
      bool ata = c.activated && id[0] == 'P';
      expectWrittenInOrder(result.out,
                           {"\r\n" + id + std::string(16 - id.size(), ' '), started(id),
                            ata ? completed(id) : id + ": Firmware download command completed successfully.\n",
                            ata            ? kUpdated
                            : id[0] == 'S' ? "[Current-revision:REV00001] [Pending-revision:REV00002] \r\n"
                                           : "[Current-revision:REV00001] [New-revision:REV00002] \r\n"});
    }
    if (!c.drives.empty()) {
      EXPECT_EQ(revisions(), c.drives) << c.machine;
    }
    EXPECT_EQ(countOf(result.out, "Firmware download started on drive"), c.updated.size() + (c.failed ? 1 : 0))
        << result.out;
    if (c.failed) {
      EXPECT_EQ(result.window.find(inProgress(c.failed)) != std::string::npos, c.writtenThenFailed) << c.machine;
    }
    EXPECT_EQ(controllerFirmware(scratch_.read("machine.json")), c.firmware) << c.machine;
    if (c.error) {
      EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
    } else {
      EXPECT_EQ(result.err, "");
    }
    if (c.logged) {
      EXPECT_NE(scratch_.read("run.log").find(c.logged), std::string::npos) << scratch_.read("run.log");
    }
  }
}

TEST_F(Update, DrivesOfTwoKindsAreTwoDrives) {
  // One serial number and models that may be one: a SAS drive is no drive
  // of a RAID controller, a SATA drive no NVMe member. Each is updated.
  auto machine = [](const char* plain, const char* controller) {
    return std::string(R"({"admin": true, "drives": [)") + plain + R"(], "controllers": [{"kind": "csmi", )" +
           controller + "}]}";
  };
  const struct {
    const char* model;
    std::string machine;
    int exitCode;
    std::vector<std::string> drives;
    const char* firmware;
  } cases[] = {
      {"VIRTUAL DRIVE 2T",
       machine(R"({"bus": "sas", "model": "VIRTUAL DRIVE 2T", "serial": "SH", "firmware": "R001"},
                  {"bus": "sata", "model": "VIRTUAL DRIVE 2T", "serial": "S9", "firmware": "R001"})",
               R"("drives": [{"bus": "sata", "phy": 2, "model": "VIRTUAL DRIVE 2T EXTRA", "serial": "SH",
                  "firmware": "R001"}])"),
       0, {"R002", "R002"}, "0:0=R001 "},
      {"NVMe MODEL A",
       machine(R"({"bus": "sata", "model": "NVMe MODEL A", "serial": "SH", "firmware": "R001"})",
               R"("raidSets": [{"drives": [{"model": "NVMe MODEL A", "serial": "SH", "firmware": "R001"}]}])"),
       1602, {"R002"}, "0:set0=R002 "},
  };
  for (const auto& c : cases) {
    PackageSpec spec = labelled("R002", "R002");
    spec.model = c.model;
    Outcome result = update(c.machine, {}, withPackage(spec));
    EXPECT_EQ(result.exitCode, c.exitCode) << c.machine << result.out;
    EXPECT_EQ(revisions(), c.drives) << c.machine;
    EXPECT_EQ(controllerFirmware(scratch_.read("machine.json")), c.firmware) << c.machine;
    EXPECT_EQ(result.err, "") << c.machine;
  }
}

}  // namespace
