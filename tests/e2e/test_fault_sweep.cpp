// Whole update runs on machines with drives of every kind, each run with one
// request of a clean run failing: a run may end 0, 4000 or 1602 only when
// every drive the package is meant for runs (or holds pending) the package's
// firmware; a drive left old is named on the way; and no drive is reported
// updated that does not run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
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
  u32 cleanExit = 0;        // of a run without faults, when no drive is locked
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
    // The package is meant for RAID members: one in each set, the second
    // naming its slots, and the NVMe drive outside the sets (SCSI0:r3). The
    // driver activates at once, but the NVMe device counts every download
    // through a RAID driver as needing a reboot.
    {"RaidMembers", "NVMe MODEL R", R"({"windows": "10.0", "drives": [
    {"bus": "nvme", "model": "NVMe MODEL R", "serial": "N0"}],
  "controllers": [{"kind": "csmi", "drives": [{"bus": "nvme", "model": "NVMe MODEL R", "serial": "D0"}], "raidSets": [
    {"drives": [{"model": "NVMe OTHER", "serial": "R0"}, {"model": "NVMe MODEL R", "serial": "R1"}]},
    {"drives": [{"model": "NVMe MODEL R", "serial": "R2", "slot1": "REV00001", "activeSlot": 1}]}]}],
  "faults": [)",
     nullptr, 1602},
    // The package is meant for a plain NVMe drive and for the NVMe drive the
    // RAID driver presents as a disk outside any set (SCSI0:r0, the second
    // disk), on a controller without sets.
    {"RaidDisk", "MODEL D", R"({"windows": "10.0", "drives": [
    {"bus": "nvme", "model": "MODEL D", "serial": "N0"}],
  "controllers": [{"kind": "csmi", "drives": [{"bus": "nvme", "model": "MODEL D", "serial": "D0"}]}],
  "faults": [)",
     nullptr, 1602},
    // Two RAID controllers, each presenting disks outside its sets at the
    // same targets, the second beside a set: the package is meant for
    // SCSI0:r0 and SCSI1:r2, two drives of one serial number.
    {"SeveralControllers", "MODEL D", R"({"windows": "10.0", "drives": [], "controllers": [
    {"kind": "csmi", "drives": [{"bus": "nvme", "model": "MODEL D", "serial": "D0"},
                                {"bus": "nvme", "model": "MODEL E", "serial": "D1"}]},
    {"kind": "csmi", "drives": [{"bus": "nvme", "model": "MODEL E", "serial": "D2"},
                                {"bus": "nvme", "model": "MODEL D", "serial": "D0"}],
     "raidSets": [{"drives": [{"model": "NVMe OTHER", "serial": "R0"}]}]}],
  "faults": [)",
     nullptr, 1602},
};
const char kTarget[] = "REV00002";
constexpr int kImageLength = 8192;

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
  // The disks the RAID drivers present follow the machine's.
  rapidjson::SizeType disk = drives.Size();
  for (rapidjson::SizeType port = 0; port < controllers.Size(); ++port) {
    auto add = [&](const rapidjson::Value& drive, const std::string& name, std::vector<std::string> more = {}) {
      if (model != drive["model"].GetString()) return;
      more.insert(more.end(), {name + ": ", "storage port " + std::to_string(port) + ": ", "the storage ports: ",
                               "#3&" + std::to_string(port) + "&0&fa#"});
      found.push_back({name, more, &drive});
    };
    std::string controller = "SCSI" + std::to_string(port) + ":";
    // RAID members by their default target: they count from 0 over all
    // sets, and the disks outside the sets count on.
    int target = 0;
    if (controllers[port].HasMember("raidSets"))
      for (const auto& set : controllers[port]["raidSets"].GetArray())
        for (const auto& member : set["drives"].GetArray()) add(member, controller + "r" + std::to_string(target++));
    if (!controllers[port].HasMember("drives")) continue;
    int phy = 0;
    for (const auto& drive : controllers[port]["drives"].GetArray()) {
      if (std::string(drive["bus"].GetString()) != "nvme") {
        add(drive, controller + "p" + std::to_string(phy++));
        continue;
      }
      // A disk whose identifiers cannot be read is only a physical drive.
      std::string index = std::to_string(disk++);
      add(drive, controller + "r" + std::to_string(target++),
          {"PHYSICALDRIVE" + index + ": ", "disk interface " + index + ": ", "the disk interfaces: ",
           "#4&" + index + "&0&000000#"});
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

// Whole updates run in this process, silent, with the package made for the
// machine at hand.
class WholeRuns : public MachineTest {
 protected:
  struct Run {
    u32 exitCode;
    std::string log;
    rapidjson::Document machine;
  };
  // json: the machine file's text; lockedDrive: held by live program 4242.
  Run run(const std::string& json, const std::string& model, const char* lockedDrive = nullptr) {
    if (model != packageModel_) {
      PackageSpec spec;
      spec.model = packageModel_ = model;
      spec.image = firmwareImage(kTarget, kImageLength);
      package_ = packageBytes(spec);
      winsim::addResource(10, kPackageResource, package_.data(), package_.size());
      winsim::addResource(10, kLicenceResource, licence_.data(), licence_.size());
    }
    load(json);
    if (lockedDrive) LockFolder(scratch_.path() + "/programdata").write(lockedDrive, "4242");
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

  // What every run must show: a success only when every drive of the
  // package's model runs or holds its firmware, and each one left old named.
  void expectHonest(const Run& outcome, const std::string& with) {
    bool success = outcome.exitCode == 0 || outcome.exitCode == 4000 || outcome.exitCode == 1602;
    EXPECT_TRUE(success || outcome.exitCode == 1) << outcome.exitCode << " with " << with;
    for (const MatchingDrive& drive : matchingDrives(outcome.machine, packageModel_)) {
      if (runsOrHoldsTarget(*drive.record)) continue;
      EXPECT_FALSE(success) << drive.name << " left old after exit code " << outcome.exitCode << " with " << with;
      EXPECT_FALSE(reportedUpdated(outcome.log, drive.name)) << drive.name << " reported updated with " << with;
      EXPECT_TRUE(named(outcome.log, drive)) << drive.name << " left old and not named with " << with << "\n"
                                             << outcome.log;
    }
  }

 private:
  std::string packageModel_;
  std::string package_;
  const std::string licence_ = "Licence";
};

class FaultSweep : public WholeRuns, public ::testing::WithParamInterface<std::tuple<int, int>> {
 protected:
  Run run(const std::string& faults) {
    const SweptMachine& machine = kMachines[std::get<0>(GetParam())];
    return WholeRuns::run(machine.json + faults + "]}", machine.model, machine.lockedDrive);
  }
  bool locked() const { return kMachines[std::get<0>(GetParam())].lockedDrive != nullptr; }
};

TEST_P(FaultSweep, NoRunReportsADriveItDidNotUpdate) {
  // The clean run, counting the enumeration calls the trace does not show
  // and the identifying commands the drives answer.
  const std::pair<const char*, const char*> calls[] = {{"setupapi", R"("SetupDiGetClassDevsW")"},
                                                       {"setupapi", R"("SetupDiEnumDeviceInterfaces")"},
                                                       {"setupapi", R"("SetupDiGetDeviceInterfaceDetailW")"},
                                                       {"cfgmgr32", R"("CM_Get_Parent")"},
                                                       {"cfgmgr32", R"("CM_Get_Device_IDW")"},
                                                       {"ioctl", R"("CreateFileW")"},
                                                       {"ata", "236"},   // IDENTIFY DEVICE refused by the drive
                                                       {"scsi", "18"}};  // INQUIRY
  std::string counting;
  for (const auto& [key, name] : calls) counting += (counting.empty() ? "" : ", ") + fault(key, name, 1000000);
  Run clean = run(counting);
  expectHonest(clean, "no fault");
  if (!locked()) {
    ASSERT_EQ(clean.exitCode, kMachines[std::get<0>(GetParam())].cleanExit) << clean.log;
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

// A clean machine of random drives: which keys it has, and whether every
// drive of the package's model can take the package.
struct RandomMachine {
  std::string json;
  std::string model;
  bool updatable = true;
};

RandomMachine randomMachine(std::mt19937& random) {
  auto pick = [&random](int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); };
  RandomMachine made;
  const char* const models[] = {"MODEL A", "MODEL A 2TB SATA SSD", "NVMe MODEL R"};
  made.model = models[pick(3)];
  const char* const buses[] = {"sata", "sat", "sas", "nvme"};
  const int transferLimits[] = {0, 256, 4096, 65536};  // 0: the adapter's default
  int serial = 0;
  auto drive = [&](const std::string& bus, bool onPhy) {
    bool meant = pick(3) != 0;
    // A SAS drive's INQUIRY product holds 16 characters.
    std::string model = meant && !(bus == "sas" && made.model.size() > 16) ? made.model : "MODEL B";
    std::string text = R"({"bus": ")" + bus + R"(", "model": ")" + model + R"(", "serial": "X)" +
                       std::to_string(serial++) + R"(", "firmware": ")" + (pick(5) ? "REV00001" : kTarget) + "\"";
    int limit = onPhy ? 0 : transferLimits[pick(4)];
    if (limit) text += R"(, "maxTransfer": )" + std::to_string(limit);
    if (bus == "sata" || bus == "sat") text += R"(, "dmMaxBlocks": )" + std::to_string(1 << pick(8));
    bool takesImage = limit == 0 || limit >= 512;
    if (bus == "sas") {
      // A drive that does not tell its modes is sent segments, whether or
      // not it answers REPORT SUPPORTED OPERATION CODES.
      bool whole = pick(2), segments = pick(3) != 0, deferred = pick(2), told = pick(4) != 0;
      auto key = [&text](const char* name, bool value) {
        text += std::string(", \"") + name + "\": " + (value ? "true" : "false");
      };
      key("wholeMicrocode", whole);
      key("segmentedMicrocode", segments);
      key("deferredMicrocode", deferred);
      key("reportsDownloadModes", told);
      key("reportsSupportedOpcodes", pick(4) != 0);
      text += std::string(R"(, "writeBufferSupport": )") + "35027"[pick(5)];  // not 1: no WRITE BUFFER
      bool fitsOneTransfer = limit == 0 || limit >= kImageLength;
      takesImage = takesImage && (told ? (whole && fitsOneTransfer) || segments || deferred : segments);
    }
    if (bus == "nvme") text += std::string(R"(, "activateWithoutReset": )") + (pick(2) ? "true" : "false");
    if (model == made.model && !takesImage) made.updatable = false;
    return text + "}";
  };
  std::string drives;
  for (int i = 0, count = 1 + pick(5); i < count; ++i) drives += (i ? ", " : "") + drive(buses[pick(4)], false);
  std::string phys;
  for (int i = 0, count = pick(3); i < count; ++i) phys += (i ? ", " : "") + drive(pick(2) ? "sata" : "sat", true);
  // The RAID driver lists NVMe models only; a member may name its slots.
  std::string firmware = pick(5) ? "REV00001" : kTarget;
  std::string member = R"({"model": ")" + std::string(pick(3) ? "NVMe MODEL R" : "NVMe MODEL S") +
                       R"(", "serial": "R)" + std::to_string(pick(100)) + R"(", "firmware": ")" + firmware + "\"";
  if (pick(2)) member += R"(, "firmwareSlots": )" + std::to_string(1 + pick(3)) + R"(, "slot1": ")" + firmware +
                         R"(", "activeSlot": 1)";
  made.json = std::string(R"({"windows": ")") + (pick(2) ? "10.0" : "6.3") + R"(", "drives": [)" + drives +
              R"(], "controllers": [{"kind": "ahci"}, {"kind": "csmi", "drives": [)" + phys +
              R"(], "raidSets": [{"drives": [)" + member + "}]}]}]}";
  return made;
}

TEST_F(WholeRuns, CleanRandomMachinesEndAsTheirDrivesAllow) {
  std::mt19937 random(20261207);
  int meant = 0;
  for (int sample = 0; sample < 100; ++sample) {
    RandomMachine machine = randomMachine(random);
    Run clean = run(machine.json, machine.model);
    expectHonest(clean, machine.json);
    bool anyMeant = !matchingDrives(clean.machine, machine.model).empty();
    if (machine.updatable && anyMeant) {
      ++meant;
      EXPECT_NE(clean.exitCode, 1u) << machine.json << "\n" << clean.log;
    }
  }
  EXPECT_GT(meant, 50);
}

INSTANTIATE_TEST_SUITE_P(Shard, FaultSweep,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kMachines))),
                                            ::testing::Range(0, kShards)),
                         [](const auto& info) {
                           return std::string(kMachines[std::get<0>(info.param)].name) + "_" +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace
