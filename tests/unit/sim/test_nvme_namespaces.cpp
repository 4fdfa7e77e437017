// Namespace management of the NVMe device on a simulated machine: the
// refusals before anything is sent, the checks of a new namespace and their
// messages, the namespace lists and the metadata layout.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme;

constexpr u32 kNvmeDevFile = 152;
constexpr u32 kNvmeCmdFile = 151;

std::string machineWith(const std::string& keys, const std::string& machineKeys) {
  return R"({"windows": "10.0", "drives": [{"bus": "nvme", "model": "MODEL N", "serial": "S9")" + keys +
         "}]" + machineKeys + "}";
}

const char* managed = R"(, "namespaceManagement": true, "unallocatedBytes": 1000000,
  "lbaFormats": [{"sectorSize": 512}, {"sectorSize": 4096, "metadataSize": 8}, {"sectorSize": 1}],
  "protectionCaps": 17)";

// The first line of a buffer's dump: an identify buffer's name.
std::string dumpName(OrvBuffer& buffer) {
  std::stringstream out;
  buffer.hexDump(out);
  std::string name;
  std::getline(out, name);
  return name;
}

class NvmeNamespaces : public NvmeMachineTest {
 protected:
  std::unique_ptr<OrvGenDev> open(const std::string& keys, const std::string& machineKeys = "") {
    load(machineWith(keys, machineKeys));
    std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
    winsim::clearStorageTrace();
    return dev;
  }
};

TEST_F(NvmeNamespaces, RefusedWithoutManagementNothingSent) {
  auto dev = open("");
  u32 created = 77;
  EXPECT_TRUE(isLibStatus(dev->createNamespace(100, 0, 0, false, 0, false, false, created), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->deleteNamespace(1), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->attachNamespace(ORV_NS_ATTACH, 1), 83, kNvmeDevFile));
  // A bad action is refused before the capability is looked at.
  EXPECT_TRUE(isLibStatus(dev->attachNamespace(static_cast<_OrvNsAttachAction>(2), 1), 3, kNvmeDevFile));
  EXPECT_EQ(created, 77u);
  EXPECT_TRUE(winsim::storageTrace().empty());

  auto old = open(R"(, "nvmeVersion": 0)");
  OrvDevGenData<_OrvNvmCtlItem> controllers;
  EXPECT_TRUE(isLibStatus(old->getControllerList(controllers), 83, kNvmeDevFile));
  EXPECT_TRUE(winsim::storageTrace().empty());
}

TEST_F(NvmeNamespaces, CreateChecksLogAndSendNothing) {
  auto dev = open(managed);
  LogCapture log;
  u32 created = 77;
  struct Case {
    u64 size, capacity;
    u32 format;
    u8 type;
    bool first;
    const char* message;
  } cases[] = {
      {0, 0, 0, 0, false, "Error: NsSize:0\n"},
      {100, 101, 0, 0, false, "Error: Specified NsCap (101) is more than Specified NsSize(100)\n"},
      {1000001, 0, 0, 0, false, "Error: NsSize (1000001) is more than unallocated size (1000000)\n"},
      {100, 0, 3, 0, false, "Error: Invalid LBA Format (3). Max allowed (2)\n"},
      {100, 0, 2, 0, false, "Error: Invalid LBA Format (2). Not supported\n"},
      {100, 0, 1, 4, false, "Error: Invalid pi value (4). Not supported\n"},
      {100, 0, 0, 1, false, "Error: Invalid pi value (1). Not supported\n"},   // no metadata
      {100, 0, 1, 2, false, "Error: Invalid pi value (2). Not supported\n"},   // type 2 not offered
      {100, 0, 1, 0, true, "Error: Invalid pi value (0). Not supported\n"},    // DPC bit 3 clear
  };
  for (const Case& one : cases) {
    log.clear();
    EXPECT_TRUE(isLibStatus(dev->createNamespace(one.size, one.capacity, one.format, false, one.type, one.first,
                                                 false, created),
                            3, kNvmeDevFile))
        << one.message;
    const LoggedLine* line = log.find(one.message);
    ASSERT_NE(line, nullptr) << one.message;
    EXPECT_EQ(line->level, OSL_LOG_ERROR);
  }
  EXPECT_EQ(created, 77u);
  EXPECT_TRUE(winsim::storageTrace().empty());

  // Type 1 at the end of the metadata, on the format with metadata, passes
  // the checks; the platform's driver does not carry the command.
  log.clear();
  u64 status = dev->createNamespace(100, 0, 1, true, 1, false, true, created);
  EXPECT_EQ(orv_status_code(status), 83u);
  EXPECT_EQ(log.find("Error: "), nullptr);
  EXPECT_EQ(created, 77u);
}

TEST_F(NvmeNamespaces, ProtectionFirstNeedsItsCapability) {
  auto dev = open(R"(, "namespaceManagement": true, "unallocatedBytes": 1000, "protectionCaps": 8)");
  LogCapture log;
  u32 created = 0;
  EXPECT_EQ(orv_status_code(dev->createNamespace(1000, 0, 0, false, 0, true, false, created)), 83u);
  EXPECT_EQ(log.find("Error: "), nullptr);
  // The LBA format index equal to NLBAF (0 here) is a valid one.
  EXPECT_NE(orv_status_code(dev->createNamespace(1000, 500, 0, false, 0, false, false, created)), 3u);
}

TEST_F(NvmeNamespaces, ListsOfAnOldController) {
  auto dev = open(R"(, "nvmeVersion": 0, "namespaceCount": 3)");
  OrvDevGenData<_OrvNvmNsItem> list;
  ASSERT_EQ(dev->getNamespaceList(list, true), 0u);
  ASSERT_EQ(list.items.size(), 3u);
  for (u32 i = 0; i < 3; ++i) {
    EXPECT_EQ(list.items[i].namespaceId, i + 1);
    EXPECT_EQ(list.items[i].controllerIds, std::vector<u16>{1});
  }
  ASSERT_EQ(list.buffers.size(), 1u);
  OrvBuffer& ids = *list.buffers[0];
  EXPECT_EQ(ids.dword(0, 0, 32).getValue(), 1u);
  EXPECT_EQ(ids.dword(4, 0, 32).getValue(), 2u);
  EXPECT_EQ(ids.dword(8, 0, 32).getValue(), 3u);
  EXPECT_EQ(ids.dword(12, 0, 32).getValue(), 0u);
  EXPECT_TRUE(winsim::storageTrace().empty());

  // Working on namespace 1 lists only it, whatever the allocated argument.
  EXPECT_EQ(dev->changeNamespace(1, false), 0u);
  OrvDevGenData<_OrvNvmNsItem> one;
  ASSERT_EQ(dev->getNamespaceList(one, true), 0u);
  ASSERT_EQ(one.items.size(), 1u);
  EXPECT_EQ(one.items[0].namespaceId, 1u);
}

TEST_F(NvmeNamespaces, ListReadFromTheController) {
  auto dev = open(R"(, "tunnel": true)");
  OrvDevGenData<_OrvNvmNsItem> list;
  ASSERT_EQ(dev->getNamespaceList(list, true), 0u);
  ASSERT_EQ(list.items.size(), 1u);
  EXPECT_EQ(list.items[0].namespaceId, 1u);
  // Without namespace management no allocated list and no controller
  // lists: the active list, and namespace 1 on this controller.
  ASSERT_EQ(list.buffers.size(), 1u);
  EXPECT_EQ(dumpName(*list.buffers[0]), "Attached namespace list");
  EXPECT_EQ(list.items[0].controllerIds, std::vector<u16>{1});
}

TEST_F(NvmeNamespaces, FailedIdentifyKeepsNothing) {
  auto dev = open("", R"(, "faults": [{"nvme": 6, "cns": 2}])");
  OrvDevGenData<_OrvNvmNsItem> list;
  EXPECT_TRUE(isLibStatus(dev->getNamespaceList(list, false), 144, kNvmeCmdFile));
  EXPECT_TRUE(list.items.empty());
  EXPECT_TRUE(list.buffers.empty());
}

TEST_F(NvmeNamespaces, MetadataLayout) {
  auto plain = open("");
  u32 size = 9;
  bool atEnd = true, first = true;
  EXPECT_EQ(plain->getMetaDataConfig(size, atEnd, first), 0u);
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(atEnd);
  EXPECT_TRUE(first);

  auto separate = open(R"(, "lbaFormats": [{"sectorSize": 512, "metadataSize": 16}], "protectionSettings": 9)");
  EXPECT_EQ(separate->getMetaDataConfig(size, atEnd, first), 0u);
  EXPECT_EQ(size, 16u);
  EXPECT_FALSE(atEnd);
  EXPECT_TRUE(first) << "left as it was";

  auto extended = open(R"(, "lbaFormats": [{"sectorSize": 512}, {"sectorSize": 512, "metadataSize": 8}],
    "lbaFormat": 1, "extendedLba": true, "protectionSettings": 1)");
  first = true;
  EXPECT_EQ(extended->getMetaDataConfig(size, atEnd, first), 0u);
  EXPECT_EQ(size, 8u);
  EXPECT_TRUE(atEnd);
  EXPECT_FALSE(first);
}

}  // namespace
