// Device self-test of the NVMe device on a simulated machine: the state and
// the results read from log 06h, the refusals that send nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme;

constexpr u32 kNvmeDevFile = 152;
constexpr u8 kSelfTest = 0x14;

class NvmeSelfTest : public NvmeMachineTest {
 protected:
  std::unique_ptr<OrvGenDev> device(const std::string& keys, const std::string& faults = "[]") {
    load((R"({"windows": "10.0", "drives": [{"bus": "nvme", "model": "MODEL C", "serial": "S4")" +
          (keys.empty() ? "" : ", " + keys) + R"(}], "faults": )" + faults + "}")
             .c_str());
    std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
    nvmeDrive(0).forgetReceived();
    return dev;
  }

  static size_t received(u8 opcode) {
    size_t count = 0;
    for (const auto& one : nvmeDrive(0).received()) count += one.command[0] == opcode;
    return count;
  }

  // Starts or aborts a test in the controller itself.
  static void controllerSelfTest(u8 code) {
    winsim::NvmeIo io;
    io.command[0] = kSelfTest;
    io.command[40] = code;
    nvmeDrive(0).execute(io);
    EXPECT_FALSE(io.failed());
  }
};

TEST_F(NvmeSelfTest, DriveWithoutSelfTestRefusesEverything) {
  auto dev = device("");
  u8 remaining = 9;
  u32 running = 9;
  EXPECT_TRUE(isLibStatus(dev->getSelfTestStatus(&remaining, &running), 83, kNvmeDevFile));
  for (u32 kind : {1u, 2u, 3u, 5u}) EXPECT_TRUE(isLibStatus(dev->runSelfTest(kind, 0), 83, kNvmeDevFile)) << kind;
  OrvDevGenData<_OrvSelfTestItem> log;
  EXPECT_TRUE(isLibStatus(dev->getSelfTestLog(log), 83, kNvmeDevFile));
  EXPECT_TRUE(log.items.empty());
  EXPECT_TRUE(nvmeDrive(0).received().empty());
  EXPECT_EQ(remaining, 9);
  EXPECT_EQ(running, 9u);

  dev = device(R"("selfTest": true)");
  u32 seconds = 9;
  EXPECT_EQ(orv_status_code(dev->getSelfTestTime(1, &seconds)), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_EQ(seconds, 9u);
}

TEST_F(NvmeSelfTest, StatusOfTheRunningTest) {
  auto dev = device(R"("selfTest": true, "selfTestOperation": 2, "selfTestCompletion": 30)");
  u8 remaining = 9;
  u32 running = 9;
  EXPECT_EQ(dev->getSelfTestStatus(&remaining, &running), 0u);
  EXPECT_EQ(remaining, 70);
  EXPECT_EQ(running, 1u);

  dev = device(R"("selfTest": true)");
  EXPECT_EQ(dev->getSelfTestStatus(&remaining, &running), 0u);
  EXPECT_EQ(remaining, 0);
  EXPECT_EQ(running, 0u);
  controllerSelfTest(1);
  EXPECT_EQ(dev->getSelfTestStatus(&remaining, &running), 0u);
  EXPECT_EQ(remaining, 100);
  EXPECT_EQ(running, 1u);

  // A vendor's own test: no answer, outputs as they were.
  dev = device(R"("selfTest": true, "selfTestOperation": 14, "selfTestCompletion": 30)");
  remaining = 9;
  running = 9;
  EXPECT_TRUE(isLibStatus(dev->getSelfTestStatus(&remaining, &running), 83, kNvmeDevFile));
  EXPECT_EQ(remaining, 9);
  EXPECT_EQ(running, 9u);

  dev = device(R"("selfTest": true)", R"([{"nvme": 2, "log": 6}])");
  EXPECT_TRUE(isLibStatus(dev->getSelfTestStatus(&remaining, &running), 195, kNvmeDevFile));
}

TEST_F(NvmeSelfTest, RunRefusals) {
  auto dev = device(R"("selfTest": true)");
  for (u32 kind : {0u, 3u, 4u, 6u}) EXPECT_TRUE(isLibStatus(dev->runSelfTest(kind, 0), 126, kNvmeDevFile)) << kind;
  EXPECT_TRUE(isLibStatus(dev->runSelfTest(5, 0), 125, kNvmeDevFile)) << "nothing to abort";
  EXPECT_EQ(received(kSelfTest), 0u);

  // The platform's driver passes no Device Self-test command.
  u64 status = dev->runSelfTest(1, 0);
  EXPECT_EQ(orv_status_code(status), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_EQ(orv_status_layer_of(status), ORV_LAYER_OSL);
  controllerSelfTest(1);
  EXPECT_EQ(orv_status_layer_of(dev->runSelfTest(5, 0)), ORV_LAYER_OSL) << "the abort is tried";
  EXPECT_EQ(received(kSelfTest), 1u) << "only the test's own start";
}

TEST_F(NvmeSelfTest, LogListsAllTwentyDescriptors) {
  auto dev = device(R"("selfTest": true, "selfTestResults": [
      {"code": 2, "result": 7, "namespace": 1, "hours": 4294967301, "lba": 1234},
      {"code": 1, "result": 0, "namespace": 1, "hours": 10}])");
  controllerSelfTest(2);
  controllerSelfTest(15);  // aborted by command: newest
  OrvDevGenData<_OrvSelfTestItem> log;
  for (u32 i = 1; i <= 3; ++i) log.addItem(_OrvSelfTestItem{i, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(dev->getSelfTestLog(log), 0u);
  ASSERT_EQ(log.items.size(), 23u);
  ASSERT_EQ(log.buffers.size(), 1u);
  auto* buffer = dynamic_cast<OrvLogBuffer*>(log.buffers[0]);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->getPageId(), 6u);
  EXPECT_EQ(buffer->getLength(), 564u);

  const _OrvSelfTestItem& aborted = log.items[3];
  EXPECT_EQ(aborted.entryNumber, 4u);
  EXPECT_EQ(aborted.testKind, 2u);
  EXPECT_EQ(aborted.result, 5u);
  const _OrvSelfTestItem& failed = log.items[4];
  EXPECT_EQ(failed.testKind, 2u);
  EXPECT_EQ(failed.result, 4u) << "failed segments";
  EXPECT_EQ(failed.failingLba, 1234u);
  EXPECT_EQ(failed.powerOnHours, 5u) << "the low 32 bits";
  EXPECT_EQ(failed.namespaceId, 1u);
  EXPECT_EQ(log.items[5].testKind, 1u);
  EXPECT_EQ(log.items[5].result, 0u);
  for (size_t i = 6; i < 23; ++i) {
    EXPECT_EQ(log.items[i].entryNumber, i + 1);
    EXPECT_EQ(log.items[i].testKind, 15u) << "unused";
    EXPECT_EQ(log.items[i].result, 0u) << "the item before's";
  }

  dev = device(R"("selfTest": true)", R"([{"nvme": 2, "log": 6}])");
  OrvDevGenData<_OrvSelfTestItem> none;
  EXPECT_TRUE(isLibStatus(dev->getSelfTestLog(none), 149, 151));
  EXPECT_TRUE(none.items.empty());
  EXPECT_TRUE(none.buffers.empty());
}

}  // namespace
