// Whole update runs on a machine with drives of every kind, each run with one
// request of a clean run failing: a run may end 0 or 4000 only when every
// drive the package is meant for runs the package's firmware, and no drive
// is reported updated that does not run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <rapidjson/document.h>

#include "app/divizu_applog.h"
#include "app/main.h"
#include "app/qep.h"
#include "e2e/package_bytes.h"
#include "unit/sim/machine_fixture.h"
#include "winsim/program.h"

namespace {

// The package is meant for MODEL A: the AHCI drive (segments of 4 KiB), the
// translated one, the NVMe drive and the SATA drive on phy 0 of the RAID
// controller. The SAS drives (one on phy 1) and the RAID set's NVMe drive are
// of other models; port 0 is no RAID controller.
const char kDrives[] = R"({"windows": "10.0", "drives": [
    {"bus": "sata", "model": "MODEL A", "serial": "S0", "dmMaxBlocks": 8},
    {"bus": "sat", "model": "MODEL A", "serial": "S1"},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S2", "firmware": "R001"},
    {"bus": "nvme", "model": "MODEL A", "serial": "S3"}],
  "controllers": [{"kind": "ahci"}, {"kind": "csmi",
    "drives": [{"bus": "sata", "model": "MODEL A", "serial": "P0"}, {"bus": "sas", "model": "MODEL Q", "serial": "P1"}],
    "raidSets": [{"drives": [{"model": "NVMe MODEL R", "serial": "R0"}]}]}],
  "faults": [)";
const char kTarget[] = "REV00002";

// The sweep runs in shards, one test each, so that they run side by side.
constexpr int kShards = 4;

class FaultSweep : public MachineTest, public ::testing::WithParamInterface<int> {
 protected:
  static void SetUpTestSuite() {
    static const std::string package = [] {
      PackageSpec spec;
      spec.model = "MODEL A";
      spec.image = firmwareImage(kTarget, 8192);
      return packageBytes(spec);
    }();
    static const std::string licence = "Licence";
    winsim::addResource(10, kPackageResource, package.data(), package.size());
    winsim::addResource(10, kLicenceResource, licence.data(), licence.size());
  }

  struct Run {
    u32 exitCode;
    std::string log;
    rapidjson::Document machine;
  };
  Run run(const std::string& faults) {
    load(kDrives + faults + "]}");
    std::filesystem::remove(std::filesystem::path(scratch_.path()) / "run.log");
    appState = AppState();
    appState.silent = true;
    applog_init(3, 6, (scratch_ / "run.log").c_str());
    Run result;
    result.exitCode = runUpdate();
    applog_close(0);
    appState = AppState();
    result.log = scratch_.read("run.log");
    result.machine.Parse(scratch_.read("machine.json").c_str());
    return result;
  }

  // The running revision of each drive the package is meant for, by name.
  static std::map<std::string, std::string> matchingRevisions(const rapidjson::Document& machine) {
    std::map<std::string, std::string> found;
    auto revision = [](const rapidjson::Value& drive) {
      return std::string(drive.HasMember("firmware") ? drive["firmware"].GetString() : "REV00001");
    };
    const auto& drives = machine["drives"];
    for (rapidjson::SizeType i = 0; i < drives.Size(); ++i)
      if (std::string(drives[i]["model"].GetString()) == "MODEL A")
        found["PHYSICALDRIVE" + std::to_string(i)] = revision(drives[i]);
    found["SCSI1:p0"] = revision(machine["controllers"][1]["drives"][0]);
    return found;
  }
};

bool reportedUpdated(const std::string& log, const std::string& name) {
  for (const char* operation : {"Firmware download and activation", "Firmware download"})
    if (log.find("\n" + name + ": " + operation + " command completed successfully.") != std::string::npos) return true;
  return false;
}

std::string fault(const std::string& key, const std::string& name, unsigned after, const std::string& more = "") {
  return R"({")" + key + R"(": )" + name + R"(, "after": )" + std::to_string(after) + R"(, "times": 1)" + more + "}";
}

TEST_P(FaultSweep, NoRunReportsADriveItDidNotUpdate) {
  // The clean run, counting the enumeration calls the trace does not show.
  const std::pair<const char*, const char*> calls[] = {{"setupapi", R"("SetupDiGetClassDevsW")"},
                                                       {"setupapi", R"("SetupDiEnumDeviceInterfaces")"},
                                                       {"setupapi", R"("SetupDiGetDeviceInterfaceDetailW")"},
                                                       {"ioctl", R"("CreateFileW")"}};
  std::string counting;
  for (const auto& [key, name] : calls) counting += (counting.empty() ? "" : ", ") + fault(key, name, 1000000);
  Run clean = run(counting);
  ASSERT_EQ(clean.exitCode, 0u) << clean.log;
  for (const auto& [name, revision] : matchingRevisions(clean.machine)) {
    EXPECT_EQ(revision, kTarget) << name;
    EXPECT_TRUE(reportedUpdated(clean.log, name)) << name;
  }
  std::vector<unsigned> counts = winsim::faultMatches();
  std::vector<winsim::StorageRequest> trace = winsim::storageTrace();

  // One failure for each of those calls and for each request of the trace:
  // the call fails, and a CSMI request the driver took also fails by its
  // return code.
  std::vector<std::string> faults;
  for (size_t i = 0; i < counts.size(); ++i)
    for (unsigned k = 0; k < counts[i]; ++k) faults.push_back(fault(calls[i].first, calls[i].second, k));
  std::map<std::string, unsigned> seen;
  std::map<DWORD, unsigned> taken;
  for (const winsim::StorageRequest& request : trace) {
    faults.push_back(fault("ioctl", "\"" + request.name + "\"", seen[request.name]++));
    if (request.name == "IOCTL_SCSI_MINIPORT" && request.error == 0)
      faults.push_back(fault("csmi", std::to_string(request.miniportCode), taken[request.miniportCode]++,
                             R"(, "returnCode": 3)"));
  }
  ASSERT_GT(faults.size(), 100u);

  for (size_t i = static_cast<size_t>(GetParam()); i < faults.size(); i += kShards) {
    const std::string& one = faults[i];
    Run faulty = run(one);
    std::map<std::string, std::string> revisions = matchingRevisions(faulty.machine);
    bool success = faulty.exitCode == 0 || faulty.exitCode == 4000;
    for (const auto& [name, revision] : revisions) {
      bool mustRun = success || reportedUpdated(faulty.log, name);
      EXPECT_TRUE(!mustRun || revision == kTarget)
          << name << " runs " << revision << " after exit code " << faulty.exitCode << " with " << one;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shard, FaultSweep, ::testing::Range(0, kShards));

}  // namespace
