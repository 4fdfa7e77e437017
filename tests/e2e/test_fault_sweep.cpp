// Whole update runs on machines with drives of every kind, each run with one
// request of a clean run failing: a run may end 0, 4000 or 1602 only when
// every drive the package is meant for runs (or holds pending) the package's
// firmware; a drive left old is named on the way; and no drive is reported
// updated that does not run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <rapidjson/document.h>

#include "app/divizu_applog.h"
#include "app/main.h"
#include "app/qep.h"
#include "e2e/package_bytes.h"
#include "unit/lock_helpers.h"
#include "unit/sim/machine_fixture.h"
#include "winsim/program.h"

namespace {

struct SweptMachine {
  const char* name;
  const char* model;  // the package's
  const char* json;   // up to the faults list, which the run fills
  const char* lockedDrive;  // held by a live program, or null
};

const SweptMachine kMachines[] = {
    // The package is meant for MODEL A: the AHCI drive (segments of 4 KiB),
    // the translated one, the NVMe drive and the SATA drive on phy 0 of the
    // RAID controller. The SAS drives (one on phy 1) and the RAID set's NVMe
    // drive are of other models; port 0 is no RAID controller.
    {"EveryKind", "MODEL A", R"({"windows": "10.0", "drives": [
    {"bus": "sata", "model": "MODEL A", "serial": "S0", "dmMaxBlocks": 8},
    {"bus": "sat", "model": "MODEL A", "serial": "S1"},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S2", "firmware": "R001"},
    {"bus": "nvme", "model": "MODEL A", "serial": "S3"}],
  "controllers": [{"kind": "ahci"}, {"kind": "csmi",
    "drives": [{"bus": "sata", "model": "MODEL A", "serial": "P0"}, {"bus": "sas", "model": "MODEL Q", "serial": "P1"}],
    "raidSets": [{"drives": [{"model": "NVMe MODEL R", "serial": "R0"}]}]}],
  "faults": [)",
     nullptr},
    // Models longer than a translation's 16 characters: the listing shows
    // "MODEL A 2TB SATA" for three of them, one on an adapter too small for a
    // 512-byte IDENTIFY and one locked by a live program. The SAS drive's
    // model is the start of the package's.
    {"LongModels", "MODEL A 2TB SATA SSD", R"({"windows": "10.0",
  "processes": [{"pid": 4242, "image": "C:\\Tools\\VORMEL.exe"}], "drives": [
    {"bus": "sat", "model": "MODEL A 2TB SATA SSD", "serial": "L0"},
    {"bus": "sat", "model": "MODEL A 2TB SATA SSD", "serial": "L1", "maxTransfer": 256},
    {"bus": "sat", "model": "MODEL A 2TB SATA SSD", "serial": "L2"},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL A 2TB", "serial": "L3", "firmware": "R001"},
    {"bus": "nvme", "model": "MODEL A 2TB SATA SSD", "serial": "L4"}],
  "controllers": [{"kind": "csmi",
    "drives": [{"bus": "sata", "model": "MODEL A 2TB SATA SSD", "serial": "Q0"}]}],
  "faults": [)",
     "PHYSICALDRIVE2"},
};
const char kTarget[] = "REV00002";

// The sweep runs in shards, one test each, so that they run side by side.
constexpr int kShards = 4;

// A drive the package is meant for: its name and the texts that name it in
// a report (its name, its interface or port, or the whole listing step).
struct MatchingDrive {
  std::string name;
  std::vector<std::string> namedBy;
  const rapidjson::Value* record;
};

bool runsOrHoldsTarget(const rapidjson::Value& drive) {
  auto text = [&drive](const char* key, const char* otherwise) {
    return std::string(drive.HasMember(key) ? drive[key].GetString() : otherwise);
  };
  if (text("firmware", "REV00001") == kTarget || text("pendingFirmware", "") == kTarget) return true;
  if (!drive.HasMember("pendingSlot")) return false;
  return text(("slot" + std::to_string(drive["pendingSlot"].GetInt())).c_str(), "") == kTarget;
}

std::vector<MatchingDrive> matchingDrives(const rapidjson::Document& machine, const std::string& model) {
  std::vector<MatchingDrive> found;
  const auto& drives = machine["drives"];
  for (rapidjson::SizeType i = 0; i < drives.Size(); ++i) {
    if (model != drives[i]["model"].GetString()) continue;
    std::string index = std::to_string(i);
    found.push_back({"PHYSICALDRIVE" + index,
                     {"PHYSICALDRIVE" + index + ": ", "disk interface " + index + ": ", "the disk interfaces: ",
                      "#4&" + index + "&0&000000#"},
                     &drives[i]});
  }
  const auto& controllers = machine["controllers"];
  for (rapidjson::SizeType port = 0; port < controllers.Size(); ++port) {
    if (!controllers[port].HasMember("drives")) continue;
    const auto& phys = controllers[port]["drives"];
    for (rapidjson::SizeType phy = 0; phy < phys.Size(); ++phy) {
      if (model != phys[phy]["model"].GetString()) continue;
      std::string name = "SCSI" + std::to_string(port) + ":p" + std::to_string(phy);
      found.push_back({name,
                       {name + ": ", "storage port " + std::to_string(port) + ": ", "the storage ports: ",
                        "#3&" + std::to_string(port) + "&0&fa#"},
                       &phys[phy]});
    }
  }
  return found;
}

bool reportedUpdated(const std::string& log, const std::string& name) {
  for (const char* operation : {"Firmware download and activation", "Firmware download"})
    if (log.find("\n" + name + ": " + operation + " command completed successfully.") != std::string::npos) return true;
  return false;
}

// A line of the log that names the drive and is no success line.
bool named(const std::string& log, const MatchingDrive& drive) {
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" command completed successfully.") != std::string::npos) continue;
    for (const std::string& text : drive.namedBy)
      if (line.rfind(text, 0) == 0 || (text[0] == '#' && line.find(text) != std::string::npos)) return true;
  }
  return false;
}

std::string fault(const std::string& key, const std::string& name, unsigned after, const std::string& more = "") {
  return R"({")" + key + R"(": )" + name + R"(, "after": )" + std::to_string(after) + R"(, "times": 1)" + more + "}";
}

class FaultSweep : public MachineTest, public ::testing::WithParamInterface<std::tuple<int, int>> {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    machine_ = kMachines[std::get<0>(GetParam())];
    PackageSpec spec;
    spec.model = machine_.model;
    spec.image = firmwareImage(kTarget, 8192);
    package_ = packageBytes(spec);
    winsim::addResource(10, kPackageResource, package_.data(), package_.size());
    winsim::addResource(10, kLicenceResource, licence_.data(), licence_.size());
  }

  struct Run {
    u32 exitCode;
    std::string log;
    rapidjson::Document machine;
  };
  Run run(const std::string& faults) {
    load(machine_.json + faults + "]}");
    if (machine_.lockedDrive) LockFolder(scratch_.path() + "/programdata").write(machine_.lockedDrive, "4242");
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

  // What every run must show, the clean one included.
  void expectHonest(const Run& outcome, const std::string& with) {
    bool success = outcome.exitCode == 0 || outcome.exitCode == 4000 || outcome.exitCode == 1602;
    EXPECT_TRUE(success || outcome.exitCode == 1) << outcome.exitCode << " with " << with;
    for (const MatchingDrive& drive : matchingDrives(outcome.machine, machine_.model)) {
      if (runsOrHoldsTarget(*drive.record)) continue;
      EXPECT_FALSE(success) << drive.name << " left old after exit code " << outcome.exitCode << " with " << with;
      EXPECT_FALSE(reportedUpdated(outcome.log, drive.name)) << drive.name << " reported updated with " << with;
      EXPECT_TRUE(named(outcome.log, drive)) << drive.name << " left old and not named with " << with << "\n"
                                             << outcome.log;
    }
  }

  SweptMachine machine_{};
  std::string package_;
  const std::string licence_ = "Licence";
};

TEST_P(FaultSweep, NoRunReportsADriveItDidNotUpdate) {
  // The clean run, counting the enumeration calls the trace does not show
  // and the identifying commands the drives answer.
  const std::pair<const char*, const char*> calls[] = {{"setupapi", R"("SetupDiGetClassDevsW")"},
                                                       {"setupapi", R"("SetupDiEnumDeviceInterfaces")"},
                                                       {"setupapi", R"("SetupDiGetDeviceInterfaceDetailW")"},
                                                       {"ioctl", R"("CreateFileW")"},
                                                       {"ata", "236"},   // IDENTIFY DEVICE refused by the drive
                                                       {"scsi", "18"}};  // INQUIRY
  std::string counting;
  for (const auto& [key, name] : calls) counting += (counting.empty() ? "" : ", ") + fault(key, name, 1000000);
  Run clean = run(counting);
  expectHonest(clean, "no fault");
  if (!machine_.lockedDrive) {
    ASSERT_EQ(clean.exitCode, 0u) << clean.log;
  }
  std::vector<unsigned> counts = winsim::faultMatches();
  std::vector<winsim::StorageRequest> trace = winsim::storageTrace();

  // One failure for each of those and for each request of the trace: the
  // call fails, and a CSMI request the driver took also fails by its return
  // code.
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

  for (size_t i = static_cast<size_t>(std::get<1>(GetParam())); i < faults.size(); i += kShards)
    expectHonest(run(faults[i]), faults[i]);
}

INSTANTIATE_TEST_SUITE_P(Shard, FaultSweep,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kMachines))),
                                            ::testing::Range(0, kShards)),
                         [](const auto& info) {
                           return std::string(kMachines[std::get<0>(info.param)].name) + "_" +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace
