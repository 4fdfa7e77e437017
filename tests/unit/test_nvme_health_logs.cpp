// The NVMe error, health, self-test and sanitize log buffers: where their
// fields lie, their identification and their refusals.
#include <gtest/gtest.h>

#include <sstream>

#include "devlib/nvme/orvlib_buffer_nvme_logs.h"
#include "osl/orv_status.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme::VazidaRaduruNvmeInternal;

constexpr u32 kNvmeBufferFile = 150;

void put(OrvBuffer& buffer, u32 at, u64 value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) buffer[at + i] = static_cast<u8>(value >> (8 * i));
}

std::string dumpHeader(OrvBuffer& log) {
  std::stringstream out;
  log.hexDump(out);
  return out.str().substr(0, out.str().find('\n'));
}

TEST(NvmeErrorLog, EntriesAndBounds) {
  OrvNvmErrInfoLog log(255);
  EXPECT_EQ(log.getLength(), 16320u);
  EXPECT_EQ(log.getPageId(), 1u);
  EXPECT_EQ(dumpHeader(log), "Error Information Log [Page: 0x01] Hex-Dump");
  u32 last = 254 * 64;
  put(log, last, 0x1122334455667788ull, 8);
  put(log, last + 12, 0xD605, 2);  // do not retry, more, type 3, code 2, phase 1
  put(log, last + 14, 0x0512, 2);
  put(log, last + 32, 0xABCDEF, 8);
  OrvNvmErrInfoEntry* entry = log.getEntry(254);
  EXPECT_EQ(entry->errorCount.getValue(), 0x1122334455667788ull);
  EXPECT_EQ(entry->statusField.getValue(), 0xD605u);
  EXPECT_EQ(entry->statusField.doNotRetry.getValue(), 1u);
  EXPECT_EQ(entry->statusField.more.getValue(), 1u);
  EXPECT_EQ(entry->statusField.statusCodeType.getValue(), 3u);
  EXPECT_EQ(entry->statusField.statusCode.getValue(), 2u);
  EXPECT_EQ(entry->statusField.phaseTag.getValue(), 1u);
  EXPECT_EQ(entry->parameterErrorLocation.byteInCommand.getValue(), 0x12u);
  EXPECT_EQ(entry->parameterErrorLocation.bitInByte.getValue(), 5u);
  EXPECT_EQ(entry->commandSpecificInfo.getValue(), 0xABCDEFu);
  EXPECT_EQ(log.getEntry(0)->errorCount.getValue(), 0u);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { log.getEntry(255); }), ORV_ERR_INDEX_OUT_OF_BOUND, kNvmeBufferFile));

  OrvNvmErrInfoLog two(2);
  EXPECT_NE(two.getEntry(1), nullptr);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { two.getEntry(2); }), ORV_ERR_INDEX_OUT_OF_BOUND, kNvmeBufferFile));
  EXPECT_TRUE(isLibStatus(thrownStatus([] { OrvNvmErrInfoLog none(0); }), ORV_ERR_BUFFER_LENGTH, kNvmeBufferFile));
  // The fields view the log's bytes, so its length stays.
  EXPECT_TRUE(isLibStatus(two.resize(64), ORV_ERR_BUFFER_LENGTH, kNvmeBufferFile));
  EXPECT_EQ(two.resize(128), 0u);
}

TEST(NvmeHealthLog, FieldsAndCounters) {
  OrvNvmSmartHealthLog log;
  EXPECT_EQ(log.getLength(), 512u);
  EXPECT_EQ(dumpHeader(log), "SMART/Health Log [Page: 0x02] Hex-Dump");
  log[0] = 0x15;
  put(log, 1, 0x0150, 2);
  put(log, 128, 5, 8);
  put(log, 136, 1, 8);  // above 2^64 - 1
  put(log, 196, 0x01020304, 4);
  put(log, 214, 0x0155, 2);
  EXPECT_EQ(log.criticalWarning.spareBelowThreshold.getValue(), 1u);
  EXPECT_EQ(log.criticalWarning.temperatureOutside.getValue(), 0u);
  EXPECT_EQ(log.criticalWarning.reliabilityDegraded.getValue(), 1u);
  EXPECT_EQ(log.criticalWarning.backupFailed.getValue(), 1u);
  EXPECT_EQ(log.compositeTemperature.getValue(), 0x150u);
  EXPECT_EQ(log.powerOnHours[0].getValue(), 5u);
  EXPECT_EQ(log.powerOnHours[1].getValue(), 1u);
  EXPECT_EQ(log.powerCycles[1].getValue(), 0u);
  EXPECT_EQ(log.criticalTemperatureTime.getValue(), 0x01020304u);
  EXPECT_EQ(log.temperatureSensor[7].getValue(), 0x155u);
}

TEST(NvmeSelfTestAndSanitizeLogs, FieldsAndIdentification) {
  OrvNvmSelfTestStatus selfTest;
  EXPECT_EQ(selfTest.getLength(), 564u);
  EXPECT_EQ(dumpHeader(selfTest), " [Page: 0x00] Hex-Dump");
  selfTest[1] = 0xD0;  // bit 7 is not part of the completion
  u32 last = 4 + 19 * 28;
  selfTest[last] = 0x27;
  put(selfTest, last + 16, 0xFEDCBA98ull, 8);
  selfTest[last + 25] = 0x81;
  EXPECT_EQ(selfTest.currentCompletion.getValue(), 0x50u);
  EXPECT_EQ(selfTest.results[19]->selfTestCode.getValue(), 2u);
  EXPECT_EQ(selfTest.results[19]->selfTestResult.getValue(), 7u);
  EXPECT_EQ(selfTest.results[19]->failingLba.getValue(), 0xFEDCBA98u);
  EXPECT_EQ(selfTest.results[19]->statusCode.getValue(), 0x81u);

  OrvNvmSanitizeStatusLogBuf sanitize;
  EXPECT_EQ(dumpHeader(sanitize), "Sanitize Status [Page: 0x81] Hex-Dump");
  put(sanitize, 0, 0x8000, 2);
  sanitize[2] = 0x1A;  // status 2, three passes
  sanitize[3] = 0x01;  // global data erased
  put(sanitize, 16, 3600, 4);
  EXPECT_EQ(sanitize.progress.getValue(), 0x8000u);
  EXPECT_EQ(sanitize.recentStatus.getValue(), 2u);
  EXPECT_EQ(sanitize.overwritePasses.getValue(), 3u);
  EXPECT_EQ(sanitize.globalDataErased.getValue(), 1u);
  EXPECT_EQ(sanitize.cryptoEraseTime.getValue(), 3600u);
}

}  // namespace
