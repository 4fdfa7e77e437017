// The command tunnel waits for a drive that answers "format in progress",
// one second at a time, for a day at the most.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

constexpr u64 kDay = 24 * 60 * 60;

using NvmeFormatWait = NvmeMachineTest;

TEST_F(NvmeFormatWait, EndsAfterADay) {
  struct Case {
    u64 busy;  // answers of "format in progress" before the drive completes
    u32 code;
    u64 waited;
  } cases[] = {{3, 0, 3}, {kDay, 0, kDay}, {~u64{0} >> 1, 167, kDay}};
  for (const Case& one : cases) {
    load(R"({"windows": "6.3", "drives": [{"bus": "nvme", "tunnel": true, "formatBusy": )" +
         std::to_string(one.busy) + "}]}");
    std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
    unsigned long long before = winsim::Machine::current().clockMs;
    u64 status = dev->formatUnit(0);
    EXPECT_EQ(orv_status_code(status), one.code) << one.busy;
    if (one.code) expectOslWord(status, kNvmeFile, one.code);
    EXPECT_EQ(winsim::Machine::current().clockMs - before, one.waited * 1000) << one.busy;
  }
}

}  // namespace
