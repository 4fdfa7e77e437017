// The NVMe error, health, self-test and sanitize log buffers: where their
// fields lie, their identification and their refusals; the device's tables
// of log names and internal-log numbering.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "devlib/nvme/orvlib_buffer_nvme_logs.h"
#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/buffer_helpers.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme::VazidaRaduruNvmeInternal;
using VazidaRaduru::VazidaRaduruNvme::OrvNvmeDev;

constexpr u32 kNvmeBufferFile = 150;

std::string dumpHeader(OrvBuffer& log) {
  std::stringstream out;
  log.hexDump(out);
  return out.str().substr(0, out.str().find('\n'));
}

TEST(NvmeErrorLog, EntriesAndBounds) {
  OrvNvmErrInfoLog log(256);  // ELPE 255
  EXPECT_EQ(log.getLength(), 16384u);
  EXPECT_EQ(log.getEntryCount(), 256u);
  EXPECT_EQ(log.getPageId(), 1u);
  EXPECT_EQ(dumpHeader(log), "Error Information Log [Page: 0x01] Hex-Dump");
  u32 last = 255 * 64;
  put(log, last, 0x1122334455667788ull, 8);
  put(log, last + 8, 0x00030002, 4);  // queue 2, command 3
  put(log, last + 12, 0xD605, 2);  // do not retry, more, type 3, code 2, phase 1
  put(log, last + 14, 0x0512, 2);
  put(log, last + 32, 0xABCDEF, 8);
  OrvNvmErrInfoEntry* entry = log.getEntry(255);
  EXPECT_EQ(entry->errorCount.getValue(), 0x1122334455667788ull);
  EXPECT_EQ(entry->submissionQueueId.getValue(), 2u);
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
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { log.getEntry(256); }), ORV_ERR_INDEX_OUT_OF_BOUND, kNvmeBufferFile));

  OrvNvmErrInfoLog two(2);
  EXPECT_NE(two.getEntry(1), nullptr);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { two.getEntry(2); }), ORV_ERR_INDEX_OUT_OF_BOUND, kNvmeBufferFile));
  EXPECT_TRUE(isLibStatus(thrownStatus([] { OrvNvmErrInfoLog none(0); }), ORV_ERR_BUFFER_LENGTH, kNvmeBufferFile));
  // 2^26 entries would take 2^32 bytes: refused before anything is allocated.
  EXPECT_TRUE(isLibStatus(thrownStatus([] { OrvNvmErrInfoLog huge(1u << 26); }), ORV_ERR_BUFFER_LENGTH, kNvmeBufferFile));
  // The fields view the log's bytes, so its length stays.
  EXPECT_TRUE(isLibStatus(two.resize(64), ORV_ERR_BUFFER_LENGTH, kNvmeBufferFile));
  EXPECT_EQ(two.resize(128), 0u);
}

TEST(NvmeErrorLog, ParameterErrorLocationIsOneWord) {
  OrvNvmErrInfoLog log(2);
  put(log, 64 + 14, 0xFD13, 2);
  EXPECT_EQ(log.getEntry(1)->parameterErrorLocation.getValue(), 0xFD13u);
  EXPECT_EQ(log.getEntry(1)->parameterErrorLocation.bitInByte.getValue(), 5u);
}

// Byte i of the page holds 2i + 1 (the low 8 bits): each field reads the
// number its bytes form.
TEST(NvmeHealthLog, FieldsAndCounters) {
  OrvNvmSmartHealthLog log;
  EXPECT_EQ(log.getLength(), 512u);
  EXPECT_EQ(dumpHeader(log), "SMART/Health Log [Page: 0x02] Hex-Dump");
  for (u32 i = 0; i < 512; ++i) log[i] = static_cast<u8>(2 * i + 1);
  auto at = [](u32 offset, u32 width) {
    u64 value = 0;
    for (u32 k = 0; k < width; ++k) value |= u64{static_cast<u8>(2 * (offset + k) + 1)} << (8 * k);
    return value;
  };
  expectValues({{log.criticalWarning.getValue(), 1}, {log.compositeTemperature.getValue(), at(1, 2)},
                {log.availableSpare.getValue(), 7}, {log.availableSpareThreshold.getValue(), 9},
                {log.percentageUsed.getValue(), 11}, {log.warningTemperatureTime.getValue(), at(192, 4)},
                {log.criticalTemperatureTime.getValue(), at(196, 4)}});
  const std::pair<OrvBufField*, u32> counters[] = {
      {log.dataUnitsRead, 32},       {log.dataUnitsWritten, 48}, {log.hostReadCommands, 64},
      {log.hostWriteCommands, 80},   {log.controllerBusyTime, 96}, {log.powerCycles, 112},
      {log.powerOnHours, 128},       {log.unsafeShutdowns, 144},  {log.mediaErrors, 160},
      {log.errorLogEntries, 176}};
  for (const auto& c : counters) {  // 128 bits: the low quadword first
    EXPECT_EQ(c.first[0].getValue(), at(c.second, 8)) << c.second;
    EXPECT_EQ(c.first[1].getValue(), at(c.second + 8, 8)) << c.second;
  }
  for (u32 i = 0; i < OrvNvmSmartHealthLog::kSensors; ++i)
    EXPECT_EQ(log.temperatureSensor[i].getValue(), at(200 + 2 * i, 2)) << i;

  log[0] = 0x15;
  expectValues({{log.criticalWarning.spareBelowThreshold.getValue(), 1},
                {log.criticalWarning.temperatureOutside.getValue(), 0},
                {log.criticalWarning.reliabilityDegraded.getValue(), 1}, {log.criticalWarning.readOnly.getValue(), 0},
                {log.criticalWarning.backupFailed.getValue(), 1}, {log.criticalWarning.getValue(), 0x15}});
}

TEST(NvmeSelfTestAndSanitizeLogs, FieldsAndIdentification) {
  OrvNvmSelfTestStatus selfTest;
  EXPECT_EQ(selfTest.getLength(), 564u);
  EXPECT_EQ(selfTest.getPageId(), 0u);
  EXPECT_EQ(dumpHeader(selfTest), " [Page: 0x00] Hex-Dump");
  selfTest[0] = 0xF2;  // high bits are reserved; the reader takes bits 3:0
  selfTest[1] = 0xD0;  // bit 7 is not part of the completion
  u32 last = 4 + 19 * 28;
  put(selfTest, last, 0x0F02A927, 4);  // code and result, segment, valid diagnostic information
  put(selfTest, last + 4, 0x0807060504030201ull, 8);
  put(selfTest, last + 12, 0x11000044, 4);
  put(selfTest, last + 16, 0x80000000FEDCBA98ull, 8);
  put(selfTest, last + 24, 0x8103, 2);
  OrvNvmSelfTestResults& result = *selfTest.results[19];
  expectValues({{selfTest.currentOperation.getValue() & 0x0F, 2}, {selfTest.currentCompletion.getValue(), 0x50},
                {result.selfTestCode.getValue(), 2}, {result.selfTestResult.getValue(), 7},
                {result.segmentNumber.getValue(), 0xA9}, {result.validDiagnosticInfo.getValue(), 0x02},
                {result.statusCodeType.getValue(), 3},
                {result.powerOnHours.getValue(), 0x0807060504030201u}, {result.namespaceId.getValue(), 0x11000044u},
                {result.failingLba.getValue(), 0x80000000FEDCBA98ull}, {result.statusCode.getValue(), 0x81},
                {selfTest.results[18]->selfTestCode.getValue(), 0}});

  OrvNvmSanitizeStatusLogBuf sanitize;
  EXPECT_EQ(sanitize.getLength(), 512u);
  EXPECT_EQ(dumpHeader(sanitize), "Sanitize Status [Page: 0x81] Hex-Dump");
  put(sanitize, 0, 0x8000, 2);
  sanitize[2] = 0x1A;  // status 2, three passes
  sanitize[3] = 0x01;  // global data erased
  put(sanitize, 4, 0x0000020Au, 4);  // the command's dword 10
  put(sanitize, 8, 0x1234, 4);
  put(sanitize, 12, 0x00ABCDEFu, 4);
  put(sanitize, 16, 3600, 4);
  expectValues({{sanitize.progress.getValue(), 0x8000}, {sanitize.recentStatus.getValue(), 2},
                {sanitize.overwritePasses.getValue(), 3}, {sanitize.globalDataErased.getValue(), 1},
                {sanitize.commandDword10.getValue(), 0x20A}, {sanitize.overwriteTime.getValue(), 0x1234},
                {sanitize.blockEraseTime.getValue(), 0xABCDEF}, {sanitize.cryptoEraseTime.getValue(), 3600}});
  sanitize[2] = 0xFA;  // passes and the erased bit above the status
  EXPECT_EQ(sanitize.recentStatus.getValue(), 2u);
}

TEST(NvmeNames, LogPagesAndInternalLogs) {
  const std::pair<u8, const char*> pages[] = {
      {0x09, "Unknown"},    {0x00, "Unknown"},    {0xC0, "Vendor specific"},           {0xF8, "SMART Data"},
      {0xF0, "SMART Data"}, {0x03, "Firmware Slot Information"}, {0x81, "Sanitize Status"},
      {0xFE, "Supported Log Page Data"}};
  std::string name;
  for (const auto& p : pages) EXPECT_EQ(OrvNvmeDev::logPageName(name, p.first), p.second) << int(p.first);
  EXPECT_EQ(&OrvNvmeDev::logPageName(name, 0xFF), &name);

  const std::pair<u8, u8> modeAndBit[] = {{1, 0x01}, {7, 0x02}, {8, 0x08}, {5, 0x10}, {9, 0x20}, {255, 255}};
  for (const auto& m : modeAndBit) {
    EXPECT_EQ(OrvNvmeDev::internalLogTypeOf(m.first), m.second);
    EXPECT_EQ(OrvNvmeDev::internalLogModeOf(m.second), m.first);
  }
  EXPECT_EQ(OrvNvmeDev::internalLogTypeOf(2), 0);
  EXPECT_EQ(OrvNvmeDev::internalLogModeOf(0x04), 0);
  const std::pair<u8, const char*> internal[] = {{0x10, "Extended Drive History Internal Log"},
                                                 {0x08, "NAND Event Internal Log"}, {0xFF, "Unknown"}, {0x04, "Unknown"}};
  for (const auto& i : internal) EXPECT_EQ(OrvNvmeDev::internalLogName(name, i.first), i.second) << int(i.first);
}

}  // namespace
