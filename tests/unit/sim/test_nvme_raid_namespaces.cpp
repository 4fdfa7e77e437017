// Namespace management of an NVMe drive behind the CSMI controller's RAID
// driver, whose NVMe pass-through carries every admin command: each step of
// the device and the namespaces the drive keeps afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include <rapidjson/document.h>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

constexpr u32 kNvmeCmdFile = 151;
constexpr u64 kUnallocated = 1048576;

// Target 7 of the controller: formats of 512 and 4096 bytes, room for four
// namespaces.
const char* kMachine = R"({"windows": "10.0", "controllers": [{"kind": "csmi", "raidSets": [{"drives": [
  {"model": "NVMe MODEL R", "serial": "SR", "sasAddress": "0000000700000000", "namespaceManagement": true,
   "namespaceCount": 4, "unallocatedBytes": 1048576, "lbaFormats": [{"sectorSize": 512}, {"sectorSize": 4096}]}]}]}]})";

class NvmeRaidNamespaces : public MachineTest {
 protected:
  // The drive's namespaces as the machine file keeps them ("id:size:a" for
  // an attached one), and its unallocated bytes.
  std::string kept(u64* unallocated) const {
    rapidjson::Document machine;
    machine.Parse(scratch_.read("machine.json").c_str());
    const rapidjson::Value& drive = machine["controllers"][0]["raidSets"][0]["drives"][0];
    *unallocated = drive["unallocatedBytes"].GetUint64();
    std::string text;
    if (!drive.HasMember("namespaces")) return text;
    for (const rapidjson::Value& ns : drive["namespaces"].GetArray())
      text += std::to_string(ns["id"].GetUint()) + ":" + std::to_string(ns["size"].GetUint64()) +
              (ns["attached"].GetBool() ? ":a " : ": ");
    return text;
  }
};

TEST_F(NvmeRaidNamespaces, CreateAttachDetachDelete) {
  load(kMachine);
  std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("SCSI0:r7", 0, false, false));
  u32 created = 0;
  auto create = [&](u64 size, u32 format) {
    return [&created, size, format](OrvGenDev& d) {
      return d.createNamespace(size, 0, format, false, 0, false, false, created);
    };
  };
  auto attach = [](_OrvNsAttachAction action, u32 id) {
    return [action, id](OrvGenDev& d) { return d.attachNamespace(action, id); };
  };
  auto remove = [](u32 id) { return [id](OrvGenDev& d) { return d.deleteNamespace(id); }; };
  struct Step {
    const char* what;
    std::function<u64(OrvGenDev&)> action;
    u32 code;  // 0: success; else the command's failure code
    u32 createdId;
    const char* namespaces;
    u64 unallocated;
  } steps[] = {
      {"create 100 blocks of 512", create(100, 0), 0, 2, "2:100: ", kUnallocated - 51200},
      {"create 10 blocks of 4096", create(10, 1), 0, 3, "2:100: 3:10: ", kUnallocated - 92160},
      {"create more than is left", create(2000, 0), 150, 3, "2:100: 3:10: ", kUnallocated - 92160},
      {"attach 2", attach(ORV_NS_ATTACH, 2), 0, 3, "2:100:a 3:10: ", kUnallocated - 92160},
      {"attach 2 again", attach(ORV_NS_ATTACH, 2), 151, 3, "2:100:a 3:10: ", kUnallocated - 92160},
      {"detach 3, never attached", attach(ORV_NS_DETACH, 3), 151, 3, "2:100:a 3:10: ", kUnallocated - 92160},
      {"detach 2", attach(ORV_NS_DETACH, 2), 0, 3, "2:100: 3:10: ", kUnallocated - 92160},
      {"delete 2", remove(2), 0, 3, "3:10: ", kUnallocated - 40960},
      {"delete 9, never made", remove(9), 150, 3, "3:10: ", kUnallocated - 40960},
      {"delete 3", remove(3), 0, 3, "", kUnallocated},
  };
  for (const Step& step : steps) {
    u64 status = step.action(*dev);
    if (step.code)
      EXPECT_TRUE(isLibStatus(status, step.code, kNvmeCmdFile)) << step.what;
    else
      EXPECT_EQ(status, 0u) << step.what;
    EXPECT_EQ(created, step.createdId) << step.what;
    u64 unallocated = 0;
    EXPECT_EQ(kept(&unallocated), step.namespaces) << step.what;
    EXPECT_EQ(unallocated, step.unallocated) << step.what;
  }
}

TEST_F(NvmeRaidNamespaces, ListsOfTheDrive) {
  load(kMachine);
  std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("SCSI0:r7", 0, false, false));
  u32 created = 0;
  ASSERT_EQ(dev->createNamespace(100, 0, 0, false, 0, false, false, created), 0u);
  ASSERT_EQ(dev->createNamespace(100, 0, 0, false, 0, false, false, created), 0u);
  ASSERT_EQ(dev->attachNamespace(ORV_NS_ATTACH, 3), 0u);

  // Allocated namespace 2 is attached to no controller.
  OrvDevGenData<_OrvNvmNsItem> namespaces;
  ASSERT_EQ(dev->getNamespaceList(namespaces, true), 0u);
  ASSERT_EQ(namespaces.items.size(), 3u);
  const std::pair<u32, std::vector<u16>> expected[] = {{1, {1}}, {3, {1}}, {2, {}}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(namespaces.items[i].namespaceId, expected[i].first) << i;
    EXPECT_EQ(namespaces.items[i].controllerIds, expected[i].second) << i;
  }
  OrvDevGenData<_OrvNvmCtlItem> controllers;
  ASSERT_EQ(dev->getControllerList(controllers), 0u);
  ASSERT_EQ(controllers.items.size(), 1u);
  EXPECT_EQ(controllers.items[0].controllerId, 1u);
  EXPECT_EQ(controllers.items[0].namespaceIds, (std::vector<u32>{1, 3}));
}

}  // namespace
