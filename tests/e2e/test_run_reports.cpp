// What a run reports where a step fails on the way: the firmware slots that
// cannot be read after a good download, a resource that cannot be loaded in
// silent mode, and the line ends of the log file and the console.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "e2e/vormel_run.h"

namespace {

class RunReports : public Vormel {
 protected:
  Outcome update(const std::string& machine, std::vector<std::string> options, Environment environment = {}) {
    scratch_.write("package.bin", packageBytes(PackageSpec()));
    environment.emplace_back("WINSIM_RCDATA_104", "package.bin");
    return run(machine, std::move(options), environment);
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
    EXPECT_EQ(scratch_.read("silent.log").rfind(std::string("[[[QEP Version : 01.03.3146]]]\nError in finding resource ") +
                                                    resource + "\n\n",
                                                0),
              0u)
        << scratch_.read("silent.log");
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

}  // namespace
