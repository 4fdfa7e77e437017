// The Area 1 sub-log base and the sub-logs made only of counters and count
// arrays, each built over a parent of known bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/area1_helpers.h"

using namespace area1_test;

namespace {

// Where a sub-log lies within its parent: away from 0, so that a sub-log
// reading from the parent's start shows.
constexpr u32 kAt = 40;

template <typename Log>
struct Built {
  OrvBuffer parent{Log::byteLength() + 2 * kAt, ORV_LITTLE_ENDIAN};
  Log log{&parent, kAt};
};

TEST(Area1Base, PrintsAndExportsTheCategoryOnly) {
  OrvBuffer parent(16, ORV_LITTLE_ENDIAN);
  put(parent, 8, 4000000000u, 4);
  OrvAtaArea1DataQX12 base(&parent, 8, 8);
  EXPECT_EQ(printed(base), "    Data log category" + std::string(100 - 17, ' ') + ": 4000000000\n");
  std::vector<_OrvDataItem> items = collected(base);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].name, "Data log category");
  EXPECT_EQ(items[0].kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(items[0].value, 4000000000u);
  EXPECT_EQ(items[0].id, 0u);
  EXPECT_EQ(items[0].flag, 0u);
  // A window cannot be resized or refilled.
  EXPECT_NE(base.resize(4), 0u);
  EXPECT_NE(base.setBuffer(parent.getBuffer(), 4, ORV_LITTLE_ENDIAN), 0u);
  EXPECT_EQ(base.getLength(), 8u);
}

TEST(Area1CounterLogs, TimeEventLogPrintsTitleAndItsOneCounter) {
  Built<OrvAtaArea1TimeEventLogQX12> b;
  put(b.parent, kAt, 99, 4);       // the category: never shown here
  put(b.parent, kAt + 4, 123456789012ull, 8);
  EXPECT_EQ(printed(b.log), titleBlock("Time Event Logs") + valueLine("Accumulated Powr On Time", 123456789012ull));
  std::vector<_OrvDataItem> items = collected(b.log);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, "Time Event Log");
  EXPECT_EQ(items[0].kind, ORV_ITEM_TEXT);
  EXPECT_EQ(items[0].text, "");
  EXPECT_EQ(items[1].name, "Accumulated Powr On Time");
  EXPECT_EQ(items[1].value, 123456789012ull);
  EXPECT_EQ(items[1].kind, ORV_ITEM_NUMBER);
}

TEST(Area1CounterLogs, ItemCountsTitlesAndRepeatedNames) {
  Built<OrvAtaArea1BootEventLogQX12> boot;
  std::vector<_OrvDataItem> items = collected(boot.log);
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items[0].name, "Boot Event Log");
  for (int i = 4; i <= 6; ++i) EXPECT_EQ(items[i].name, "Max Spin Up to Initial Ontrac Process Time");

  Built<OrvAtaArea1EnvEventLogQX12> env;
  items = collected(env.log);
  ASSERT_EQ(items.size(), 26u);
  EXPECT_EQ(items[21].name, " Times worked in an excess of a temperature threshold");

  Built<OrvAtaArea1MicrocodeEventLogQX12> microcode;
  EXPECT_EQ(collected(microcode.log).size(), 14u);
  Built<OrvAtaArea1PowerEventLogQX12> power;
  items = collected(power.log);
  ASSERT_EQ(items.size(), 24u);
  EXPECT_EQ(items[10].name, "Total Count of accumulated transitions to StandbyZ");
  Built<OrvAtaArea1MemoryCheckEventLogQX12> memory;
  EXPECT_EQ(collected(memory.log).size(), 4u);

  Built<OrvAtaArea1WorkloadBaseDataQX12> base;
  EXPECT_EQ(printed(base.log), titleBlock("Work Load Base Data") + valueLine("Next storing log number", 0));
  EXPECT_EQ(collected(base.log)[0].name, "Work Load Base Data");
  Built<OrvAtaArea1FailurePredictiondataQX12> failure;
  EXPECT_EQ(printed(failure.log).rfind(titleBlock("Failure Prediction Data"), 0), 0u);
  EXPECT_EQ(collected(failure.log)[0].name, "Failure Prediction Data");
}

TEST(Area1CounterLogs, AppendWithoutClearing) {
  Built<OrvAtaArea1MemoryCheckEventLogQX12> memory;
  OrvDevGenData<_OrvDataItem> data;
  data.addItem(_OrvDataItem("before", 1, 0, 0));
  memory.log.collectFields(data);
  memory.log.collectFields(data);
  ASSERT_EQ(data.items.size(), 9u);
  EXPECT_EQ(data.items[0].name, "before");
  EXPECT_EQ(data.items[5].name, "Memory Check Event Log");
}

TEST(Area1EventLogs, SaEventLogShowsTheBaseThenTitleThenArrays) {
  Built<OrvAtaArea1SA_EventLogQX12> b;
  put(b.parent, kAt, 3, 4);
  put(b.parent, kAt + 4 + 17 * 4, 0xFFFFFFFFu, 4);  // array 1, head 17
  std::vector<std::string> lines = linesOf(printed(b.log));
  ASSERT_EQ(lines.size(), 1u + 4u + 8 * 18u + 4u);
  EXPECT_EQ(lines[0], valueLine("Data log category", 3));
  EXPECT_EQ(lines[1] + lines[2] + lines[3] + lines[4], titleBlock("SA Event Logs"));
  EXPECT_EQ(lines[5], valueLine("Physical Head by multiplicity read number of times [0]", 0));
  EXPECT_EQ(lines[22], valueLine("Physical Head by multiplicity read number of times [17]", 4294967295ull));
  EXPECT_EQ(lines[5 + 72], valueLine("Total SA ATI Rewrite process", 0));
  EXPECT_EQ(b.log.getHeadReadCount(17), 0xFFFFFFFFu);
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getHeadReadCount(18); }), 7));
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getAtiScanRetryOutCount(255); }), 7));

  std::vector<_OrvDataItem> items = collected(b.log);
  ASSERT_EQ(items.size(), 1u + 1u + 4u + 144u);
  EXPECT_EQ(items[0].name, "Data log category");
  EXPECT_EQ(items[1].name, "SA Event Log");
  EXPECT_EQ(items[1].kind, ORV_ITEM_TEXT);
  EXPECT_EQ(items[19].name, "Physical Head by multiplicity read number of times [17]");
  EXPECT_EQ(items[19].value, 0xFFFFFFFFu);
  EXPECT_EQ(items[19].kind, ORV_ITEM_NUMBER);
}

TEST(Area1EventLogs, CommandAndReportErrorLogsBeginWithTheirTitle) {
  Built<OrvAtaArea1CmdEventLogQX12> cmd;
  put(cmd.parent, kAt, 5, 4);
  put(cmd.parent, kAt + 4 + 7 * 8 + 17 * 8, 0x123456789ull, 8);  // the array's last element
  std::string text = printed(cmd.log);
  EXPECT_EQ(text.rfind(titleBlock("Command Event Logs"), 0), 0u);
  EXPECT_EQ(countOf(text, "\n    "), 1u + 16u + 18u);
  EXPECT_NE(text.find(valueLine("Head by total verify blocks [17]", 0x123456789ull)), std::string::npos);
  EXPECT_EQ(cmd.log.getHeadVerifyBlocks(17), 0x123456789ull);
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { cmd.log.getHeadVerifyBlocks(18); }), 7));
  std::vector<_OrvDataItem> items = collected(cmd.log);
  ASSERT_EQ(items.size(), 1u + 16u + 18u);
  EXPECT_EQ(items[0].name, "Command Event Log");

  Built<OrvAtaArea1RptErrEventLogQX12> rpt;
  text = printed(rpt.log);
  EXPECT_EQ(text.rfind(titleBlock("Report Error Event Logs"), 0), 0u);
  EXPECT_EQ(countOf(text, "\n    "), 1u + 13u);
  EXPECT_EQ(collected(rpt.log).size(), 14u);
}

TEST(Area1EventLogs, DiskEventLogCountsLabelsAndBounds) {
  Built<OrvAtaArea1DiskEventLogQX12> b;
  // Head-zone read element (3, 17): after the header, 3 totals, arrays of
  // 3 x 18 and 2 x 16 64-bit counts.
  const u32 headZone = 4 + 3 * 8 + 3 * 18 * 8 + 2 * 16 * 8;
  put(b.parent, kAt + headZone + (3 * 32 + 17) * 8, 1234, 8);
  put(b.parent, kAt + OrvAtaArea1DiskEventLogQX12::byteLength() - 2, 0xFFFF, 2);  // the last bin
  std::string text = printed(b.log);
  std::vector<std::string> lines = linesOf(text);
  EXPECT_EQ(lines.size(), 1u + 4u + 37u + 6832u);
  EXPECT_EQ(lines[0], valueLine("Data log category", 0));
  EXPECT_NE(text.find(valueLine("Head/Zone by Read number of times [3:17]", 1234)), std::string::npos);
  EXPECT_EQ(lines.back(), valueLine("Shock detection Histogram [5]", 65535));
  EXPECT_EQ(b.log.getHeadZoneReadCount(3, 17), 1234u);
  EXPECT_EQ(b.log.getShockHistogram(5), 0xFFFFu);

  u64 headOut = thrownStatus([&] { b.log.getHeadZoneReadCount(18, 0); });
  u64 zoneOut = thrownStatus([&] { b.log.getHeadZoneReadCount(0, 32); });
  EXPECT_TRUE(isSataStatus(headOut, 7));
  EXPECT_TRUE(isSataStatus(zoneOut, 7));
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getHeadSeekRetryStepErrors(0, 32); }), 7));
  EXPECT_EQ(b.log.getHeadReadRetryStepErrors(17, 127), 0u);
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getShockHistogram(6); }), 7));
  // Each accessor reports its own line.
  u64 other = thrownStatus([&] { b.log.getHeadReadCount(18); });
  EXPECT_NE((other >> 32) & 0xFFFF, (headOut >> 32) & 0xFFFF);

  std::vector<_OrvDataItem> items = collected(b.log);
  ASSERT_EQ(items.size(), 6871u);
  EXPECT_EQ(items[1].name, "Disk Event Log");
  EXPECT_EQ(items[2].name, "The total number of blocks read");
  EXPECT_EQ(items.back().name, "Shock detection Histogram [5]");
  EXPECT_EQ(items.back().value, 65535u);
}

TEST(Area1EventLogs, BigEndianParentIsReadInItsOrder) {
  OrvBuffer parent(OrvAtaArea1TimeEventLogQX12::byteLength(), ORV_BIG_ENDIAN);
  parent[4 + 7] = 1;
  OrvAtaArea1TimeEventLogQX12 log(&parent, 0);
  EXPECT_EQ(collected(log)[1].value, 1u);
}

TEST(Area1EventLogs, SubLogPastItsParentIsNotMade) {
  OrvBuffer parent(OrvAtaArea1CmdEventLogQX12::byteLength(), ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvAtaArea1CmdEventLogQX12 log(&parent, 1); }), 7, 102));
}

}  // namespace
