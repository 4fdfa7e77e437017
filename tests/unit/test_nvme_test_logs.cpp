// The Device Self-test and Sanitize Status log buffers: where their values
// lie in the page.
#include <gtest/gtest.h>

#include "devlib/nvme/orvlib_buffer_nvme_logs.h"

namespace {

using namespace VazidaRaduru::VazidaRaduruNvme::VazidaRaduruNvmeInternal;

TEST(NvmeTestLogs, SelfTestResultsLieInTheirDescriptors) {
  OrvNvmSelfTestStatus log;
  EXPECT_EQ(log.getLength(), 564u);
  EXPECT_EQ(log.getPageId(), 0u);
  u8* page = log.getBuffer();
  page[0] = 0xF2;  // high bits are reserved
  page[1] = 0xB0;  // completion is 7 bits
  // The self-test reader takes bits 3:0 of the operation byte.
  EXPECT_EQ(log.currentOperation.getValue() & 0x0F, 2u);
  EXPECT_EQ(log.currentCompletion.getValue(), 0x30u);

  u8* last = page + 4 + 19 * 28;
  last[0] = 0x27;
  for (int i = 0; i < 8; ++i) last[4 + i] = static_cast<u8>(i + 1);
  last[12] = 0x44;
  last[15] = 0x11;
  last[16] = 0x99;
  last[23] = 0x80;
  OrvNvmSelfTestResults& result = *log.results[19];
  EXPECT_EQ(result.selfTestCode.getValue(), 2u);
  EXPECT_EQ(result.selfTestResult.getValue(), 7u);
  EXPECT_EQ(result.powerOnHours.getValue(), 0x0807060504030201u);
  EXPECT_EQ(result.namespaceId.getValue(), 0x11000044u);
  EXPECT_EQ(result.failingLba.getValue(), 0x8000000000000099u);
  EXPECT_EQ(log.results[18]->selfTestCode.getValue(), 0u) << "its neighbour untouched";
}

TEST(NvmeTestLogs, SanitizeStatus) {
  OrvNvmSanitizeStatusLogBuf log;
  EXPECT_EQ(log.getLength(), 512u);
  EXPECT_EQ(log.getPageId(), 0x81u);
  u8* page = log.getBuffer();
  page[0] = 0x00;
  page[1] = 0x80;
  page[2] = 0xFA;  // passes and the erased bit above the status
  EXPECT_EQ(log.progress.getValue(), 0x8000u);
  EXPECT_EQ(log.recentStatus.getValue(), 2u);
}

}  // namespace
