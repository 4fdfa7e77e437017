// The NVMe device on a simulated machine: namespaces at construction and the
// operations its slots share (feature numbering, log sizes, internal log,
// format parameters, the thermal threshold check).
#include <gtest/gtest.h>

#include <memory>
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

const char* machine = R"({"windows": "10.0", "drives": [
  {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001"}]})";

// The device with its shared operations in reach.
class SharedNvmeDev : public OrvNvmeDev {
 public:
  SharedNvmeDev() : OrvNvmeDev("PHYSICALDRIVE0", 0, false, false) {}
  using OrvNvmeDev::checkInternalLogSupport;
  using OrvNvmeDev::checkThrottleResult;
  using OrvNvmeDev::getFormatParams;
  using OrvNvmeDev::getLogSize;
  using OrvNvmeDev::nvmFeatureOf;
  using OrvNvmeDev::readInternalLogChunk;
  // The first dword of the last completion.
  void setCompletionDword0(u32 value) { response.dword(0, 0, 32).setValue(value); }
};

class NvmeShared : public NvmeMachineTest {
 protected:
  void SetUp() override {
    NvmeMachineTest::SetUp();
    load(machine);
  }
};

TEST_F(NvmeShared, NamespaceAtConstruction) {
  // Namespace 0 never uses the allocated-namespace identify, whatever asked.
  std::unique_ptr<OrvGenDev> all(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, true));
  u32 limit = 0;
  EXPECT_EQ(all->getMaxTransferLen(limit), 0u) << "the base's limit of the admin handle";
  all.reset();
  // A specific namespace gets its own I/O handle and its limit.
  std::unique_ptr<OrvGenDev> one(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 1, false, false));
  EXPECT_EQ(one->getMaxTransferLen(limit), 0u);
  EXPECT_GT(limit, 0u);
}

TEST_F(NvmeShared, FeaturesLogSizesAndFormat) {
  SharedNvmeDev dev;
  EXPECT_EQ(dev.nvmFeatureOf(29), 0x10u) << "a version 1.4 controller";
  EXPECT_EQ(dev.nvmFeatureOf(2), 0u);
  EXPECT_EQ(dev.nvmFeatureOf(16), 0x20F4u);
  EXPECT_EQ(dev.nvmFeatureOf(20), 0xF6u);

  // The drive offers no log directory: the standard sizes stand in.
  u32 bytes = 7;
  EXPECT_EQ(dev.getLogSize(0x06, &bytes), 0u);
  EXPECT_EQ(bytes, 564u);
  EXPECT_EQ(dev.getLogSize(0x01, &bytes), 0u);
  EXPECT_EQ(bytes, 64u * 64u);
  bytes = 7;
  EXPECT_EQ(dev.getLogSize(0x09, &bytes), 0u);
  EXPECT_EQ(bytes, 7u);
  EXPECT_TRUE(isLibStatus(dev.getLogSize(0x07, &bytes), 149, 151)) << "no telemetry header";
  EXPECT_EQ(bytes, 7u);

  EXPECT_TRUE(isLibStatus(dev.checkInternalLogSupport(), 83, kNvmeDevFile));
  OrvBuffer piece(4096, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(dev.readInternalLogChunk(1, 0, piece, 1), 149, 151));
  OrvBuffer odd(6, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(orv_status_code(dev.readInternalLogChunk(1, 0, odd, 0)), 6u);

  u8 format = 9, count = 9;
  u32 type = 9, first = 9, atEnd = 9;
  EXPECT_EQ(dev.getFormatParams(&format, &type, &first, &atEnd, &count, 0), 0u);
  EXPECT_EQ(format, 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(type + first + atEnd, 0u);
  EXPECT_TRUE(isLibStatus(dev.getFormatParams(&format, &type, &first, &atEnd, &count, 1), 77, kNvmeDevFile));
}

TEST_F(NvmeShared, ThermalThresholdCheck) {
  SharedNvmeDev dev;
  LogCapture log;
  dev.setCompletionDword0(3);
  EXPECT_EQ(dev.checkThrottleResult(0, 0x01000100, 0x02000200), 0u);
  // Only MT2 was asked to change, and only MT1 did.
  dev.setCompletionDword0(1);
  EXPECT_TRUE(isLibStatus(dev.checkThrottleResult(0, 0x01000100, 0x01000200), 146, kNvmeDevFile));
  EXPECT_NE(log.find("Error: Failed to change MT2 throttle threshold value.\n"), nullptr);
  EXPECT_EQ(log.find("Error: Failed to change MT1 throttle threshold value.\n"), nullptr);
  // Nothing changed: the status given, or 146 for none.
  dev.setCompletionDword0(0);
  EXPECT_TRUE(isLibStatus(dev.checkThrottleResult(0, 1, 2), 146, kNvmeDevFile));
  EXPECT_NE(log.find("Error: Failed to change MT1 and MT2 throttle threshold values.\n"), nullptr);
  u64 failure = ORV_LIB_STATUS(ORV_ERR_GENERIC);
  EXPECT_EQ(dev.checkThrottleResult(failure, 1, 2), failure);
}

}  // namespace
