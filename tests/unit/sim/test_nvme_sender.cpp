// The NVMe sender on Windows 10: the storage driver's protocol-specific
// queries, protocol command, set-feature requests and firmware requests.
#include <gtest/gtest.h>

#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

const char* windows10 = R"({"windows": "10.0", "drives": [
  {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001",
   "vendorOpcodes": [193]}
]})";

class NvmeSender : public NvmeMachineTest {
 protected:
  void SetUp() override {
    NvmeMachineTest::SetUp();
    load(windows10);
    drive_ = open(0);
  }
  _OSL_PDEV* drive_ = nullptr;
};

TEST_F(NvmeSender, IdentifyControllerThroughTheProtocolQuery) {
  LogCapture log;
  Answer answer = send(drive_, nvmeEntry(0x06, 0, {1}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(textAt(answer.data, 4, 20), "S4                  ");
  EXPECT_EQ(textAt(answer.data, 24, 7), "MODEL C");
  EXPECT_EQ(textAt(answer.data, 64, 8), "REV00001");
  EXPECT_EQ(littleEndian32(answer.data, 516), 1u);
  EXPECT_EQ(trace(), "STORAGE_QUERY_PROPERTY:49");
  const std::vector<u8>& sent = sentEntry(0);
  EXPECT_EQ(sent[0], 0x06);
  EXPECT_EQ(sent[40], 0x01);
  EXPECT_NE(log.find("Info: NVMe Status code: 0x00, Status: 0x00\n"), nullptr);
  EXPECT_NE(log.find("Info: NVMe Completion queue entry: 00 00 00 00 "), nullptr);
}

}  // namespace
