// The NVMe device dump on a simulated machine: the order of its records,
// what each read carries, and failures kept in the records.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "devlib/nvme/orvlib_nvme.h"
#include "devlib/orvlib_buffer_devdump.h"
#include "osl/orv_status.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme;
using VazidaRaduru::VazidaRaduruNvme::VazidaRaduruNvmeInternal::OrvNvmLogDirectory;

constexpr u32 kNvmeCmdFile = 151;

// A device whose log directory lists the health, error and firmware slot
// logs and the vendor internal log.
class ListingNvmeDev : public OrvNvmeDev {
 public:
  ListingNvmeDev() : OrvNvmeDev("PHYSICALDRIVE0", 1, false, false) {}
  u64 getLogDirectory(OrvDevGenData<_OrvDirEntry>& directory) override {
    auto* logs = new OrvNvmLogDirectory();
    logs->setEntry(0x01, 0);
    logs->setEntry(0x02, 128);
    logs->setEntry(0x03, 128);
    logs->setEntry(0xF3, 1024);
    directory.addBuffer(logs);
    return 0;
  }
};

class NvmeDump : public NvmeMachineTest {
 protected:
  void TearDown() override {
    for (_OrvDevDumpItem& record : records) delete record.data;
    NvmeMachineTest::TearDown();
  }
  std::vector<_OrvDevDumpItem> records;
};

std::vector<const _OrvDevDumpItem*> ofKind(const std::vector<_OrvDevDumpItem>& records, u32 kind) {
  std::vector<const _OrvDevDumpItem*> found;
  for (const _OrvDevDumpItem& record : records)
    if (record.kind == kind) found.push_back(&record);
  return found;
}

TEST_F(NvmeDump, RecordsInOrderWithTheirFailures) {
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme", "model": "MODEL D", "serial": "S3", "tunnel": true}]})");
  ListingNvmeDev dev;
  winsim::clearStorageTrace();
  ASSERT_EQ(dev.dumpAllLogs(records), 0u);

  // Identify: the controller (kept data), the active list, the common
  // namespace data (refused by this drive), then namespace 1 from the kept data.
  auto identify = ofKind(records, 1);
  ASSERT_EQ(identify.size(), 4u);
  EXPECT_EQ(identify[0]->id, 1);
  EXPECT_EQ(identify[0]->data->getBuffer()[0], 0x79);
  EXPECT_EQ(identify[1]->id, 2);
  EXPECT_EQ(identify[1]->data->dword(0, 0, 32).getValue(), 1u);
  EXPECT_EQ(identify[2]->param, 0xFFFFFFFFu);
  EXPECT_TRUE(isLibStatus(identify[2]->status, 144, kNvmeCmdFile));
  EXPECT_NE(identify[2]->data, nullptr);
  EXPECT_EQ(identify[3]->param, 1u);
  EXPECT_EQ(identify[3]->status, 0u);
  ASSERT_EQ(records[0].kind, 1u);

  // Logs: the directory, then 02h and 03h; 01h has no size, F3h is not
  // read from the directory.
  auto logs = ofKind(records, 3);
  ASSERT_EQ(logs.size(), 3u);
  EXPECT_EQ(logs[0]->id, 0xFE);
  ASSERT_NE(dynamic_cast<OrvLogBuffer*>(logs[0]->data), nullptr);
  EXPECT_EQ(logs[0]->data->getBuffer()[8], 0x02) << "the directory's entry of log 02h";
  EXPECT_EQ(logs[1]->id, 0x02);
  EXPECT_EQ(logs[1]->status, 0u);
  EXPECT_EQ(logs[1]->data->getLength(), 512u);
  EXPECT_EQ(logs[1]->data->getBuffer()[3], 100) << "available spare";
  EXPECT_EQ(logs[2]->id, 0x03);

  // Internal logs: this device reads none; each leaves a record without data.
  auto internal = ofKind(records, 7);
  ASSERT_EQ(internal.size(), 5u);
  const u8 typeBits[] = {0x01, 0x10, 0x02, 0x08, 0x20};
  for (size_t i = 0; i < internal.size(); ++i) {
    EXPECT_EQ(internal[i]->id, typeBits[i]);
    EXPECT_EQ(internal[i]->data, nullptr);
    EXPECT_NE(internal[i]->status, 0u);
  }

  // Features in order; 80h failed and left no record.
  auto features = ofKind(records, 6);
  const u8 expected[] = {0x01, 0x02, 0x04, 0x05, 0x06, 0x07, 0x08, 0x0A, 0x0B};
  ASSERT_EQ(features.size(), sizeof expected);
  for (size_t i = 0; i < features.size(); ++i) EXPECT_EQ(features[i]->id, expected[i]);
  EXPECT_EQ(features[0]->data, nullptr);
  EXPECT_TRUE(isLibStatus(features[0]->status, 145, kNvmeCmdFile));
  ASSERT_NE(features[2]->data, nullptr);
  EXPECT_EQ(features[2]->status, 0u);
  auto* threshold = static_cast<OrvDevDumpFeatureBuffer*>(features[2]->data);
  EXPECT_EQ(threshold->getCurrent().validity.getValue(), 1u);
  EXPECT_EQ(threshold->getCurrent().featureValue.getValue(), 343u);
  EXPECT_EQ(threshold->getSaved().validity.getValue(), 1u);
}

TEST_F(NvmeDump, SavedValueFailingKeepsTheCurrentOne) {
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme"}],
    "faults": [{"nvme": 10, "feature": 4, "after": 1, "times": 1}]})");
  ListingNvmeDev dev;
  ASSERT_EQ(dev.dumpAllLogs(records), 0u);
  auto features = ofKind(records, 6);
  ASSERT_GE(features.size(), 3u);
  ASSERT_EQ(features[2]->id, 0x04);
  EXPECT_EQ(features[2]->status, 0u);
  auto* threshold = static_cast<OrvDevDumpFeatureBuffer*>(features[2]->data);
  ASSERT_NE(threshold, nullptr);
  EXPECT_EQ(threshold->getCurrent().validity.getValue(), 1u);
  EXPECT_EQ(threshold->getSaved().validity.getValue(), 0u);
}

TEST_F(NvmeDump, ReservationFeaturesOfANamespaceThatHasThem) {
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme", "reservationCaps": 1, "tunnel": true}]})");
  ListingNvmeDev dev;
  ASSERT_EQ(dev.dumpAllLogs(records), 0u);
  auto features = ofKind(records, 6);
  ASSERT_GE(features.size(), 2u);
  const _OrvDevDumpItem& mask = *features[features.size() - 2];
  const _OrvDevDumpItem& persistence = *features.back();
  EXPECT_EQ(mask.id, 0x82);
  EXPECT_EQ(mask.param, 1u);
  EXPECT_EQ(persistence.id, 0x83);
  EXPECT_EQ(persistence.param, 1u);
}

}  // namespace
