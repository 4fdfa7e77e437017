// The Area 1 internal log: the container over a whole Area 1 and the
// sub-logs of counters, count arrays and records, each built over a parent
// of known bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
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

// The items a freshly built sub-log exports: how many, and the first's name.
struct Shape {
  size_t items;
  std::string first;
};
template <typename Log>
Shape shapeOf() {
  Built<Log> b;
  std::vector<_OrvDataItem> items = collected(b.log);
  return {items.size(), items.empty() ? "" : items[0].name};
}

// ------------------------------------------------------------ container

TEST(Area1Container, SubLogsLieOnLogPagesAndPrintInOrder) {
  OrvAtaIntArea1Log log;
  EXPECT_EQ(log.getLength(), OrvAtaIntArea1Log::kLength);
  EXPECT_TRUE(log.getPageId() == 0x24 && log.getSubPageId() == 0 && log.getEndianess() == ORV_LITTLE_ENDIAN);
  const OrvBuffer* rows[] = {&log.diskEventLog,      &log.cmdEventLog,      &log.rptErrEventLog, &log.senseLog,
                             &log.saEventLog,        &log.timeEventLog,     &log.bootEventLog,   &log.envEventLog,
                             &log.microcodeEventLog, &log.powerEventLog,    &log.blocksEventLog, &log.workloadBaseData,
                             &log.spindleMotorCurrentEvent, &log.memoryCheckEventLog, &log.failurePredictionData,
                             &log.workloadLogs, &log.zoneLogs};
  u32 end = 0;
  for (unsigned row = 0; row < 17; ++row) {
    u32 offset = static_cast<u32>(rows[row]->getBuffer() - log.getBuffer());
    EXPECT_EQ(offset, OrvAtaIntArea1Log::offsetOf(row)) << row;
    EXPECT_EQ(offset % 512, 0u) << row;
    EXPECT_GE(offset, end) << row;
    end = offset + rows[row]->getLength();
  }
  EXPECT_EQ(end, log.getLength());

  // Rows 1 to 16 print, in order, and nothing else: no zone line.
  std::string events;
  for (unsigned row = 0; row < 15; ++row) events += printed(*const_cast<OrvBuffer*>(rows[row]));
  std::string workload = printed(log.workloadLogs);
  std::string text = printed(log);
  EXPECT_TRUE(text == events + workload);
  EXPECT_EQ(text.find("0,0,"), std::string::npos);
  struct EventsOnly {
    OrvAtaIntArea1Log& log;
    void print(void* out) { log.printEventLogs(out); }
  } eventsOnly{log};
  struct WorkloadOnly {
    OrvAtaIntArea1Log& log;
    void print(void* out) { log.printWorkloadLogs(out); }
  } workloadOnly{log};
  EXPECT_TRUE(printed(eventsOnly) == events);
  EXPECT_TRUE(printed(workloadOnly) == workload);
  log.print(nullptr);  // a null stream writes nothing
}

TEST(Area1Container, HoldsACopyOfItsBytesAndKeepsItsLength) {
  OrvBuffer area1(OrvAtaIntArea1Log::kLength, ORV_LITTLE_ENDIAN);
  put(area1, OrvAtaIntArea1Log::offsetOf(5) + 4, 4242, 8);
  OrvAtaIntArea1Log log(area1);
  EXPECT_EQ(printed(log.timeEventLog), titleBlock("Time Event Logs") + valueLine("Accumulated Powr On Time", 4242));
  area1[OrvAtaIntArea1Log::offsetOf(5) + 4] = 0;
  EXPECT_EQ(collected(log.timeEventLog)[1].value, 4242u);
  log[OrvAtaIntArea1Log::offsetOf(5) + 4] = 1;
  EXPECT_EQ(collected(log.timeEventLog)[1].value, 0x1001u) << "written bytes show at the next read";

  OrvBuffer tooFew(OrvAtaIntArea1Log::kLength - 1, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvAtaIntArea1Log none(tooFew); }), 7, 102));

  // The sub-logs view the bytes: no other length is taken.
  u8* bytes = log.getBuffer();
  u8 small[4] = {1, 2, 3, 4};
  OrvLogBuffer shorter(100, ORV_LITTLE_ENDIAN, 0x24, 0, "short");
  for (u64 word : {log.resize(log.getLength() + 1), log.resize(16), log.setBuffer(small, 4, ORV_LITTLE_ENDIAN),
                   thrownStatus([&] { static_cast<OrvLogBuffer&>(log) = shorter; })})
    EXPECT_TRUE(isSataStatus(word, 6));
  EXPECT_EQ(log.getBuffer(), bytes);
  EXPECT_EQ(log.getLength(), OrvAtaIntArea1Log::kLength);
  OrvLogBuffer same(OrvAtaIntArea1Log::kLength, ORV_LITTLE_ENDIAN, 0x24, 0, "same");
  same[OrvAtaIntArea1Log::offsetOf(11) + 4] = 9;
  static_cast<OrvLogBuffer&>(log) = same;
  EXPECT_EQ(log.getBuffer(), bytes);
  EXPECT_EQ(collected(log.workloadBaseData)[1].value, 9u);

  // Big-endian bytes reach every sub-log.
  OrvAtaIntArea1Log big(ORV_BIG_ENDIAN);
  big[OrvAtaIntArea1Log::offsetOf(16) + 4 + 3] = 1;  // zone 0, cylinder 0
  EXPECT_EQ(big.zoneLogs.getZoneLog(0).getCylinder(0).getValue(), 1u);
  EXPECT_EQ(big.senseLog.getEndianess(), ORV_BIG_ENDIAN);
  OrvBuffer parent(OrvAtaArea1TimeEventLogQX12::byteLength(), ORV_BIG_ENDIAN);
  parent[4 + 7] = 1;
  OrvAtaArea1TimeEventLogQX12 time(&parent, 0);
  EXPECT_EQ(collected(time)[1].value, 1u);
}

// With every byte FFh, each value shows all ones of a whole number of bytes
// (1, 2, 4 or 8): a counter of a wrong width shows any other number.
TEST(Area1Container, EveryValueHasTheWidthOfWholeBytes) {
  OrvAtaIntArea1Log log;
  log.setByte(0xFF);
  const std::string allOnes[] = {"255", "65535", "4294967295", "18446744073709551615"};
  size_t values = 0;
  for (std::string line : linesOf(printed(log) + printed(log.zoneLogs))) {
    line.pop_back();
    size_t at = line.rfind(": ");
    if (line.find("CDB") != std::string::npos || (at == std::string::npos && line.find(',') == std::string::npos))
      continue;
    std::string rest = at == std::string::npos ? line + "," : line.substr(at + 2) + ",";
    for (size_t from = 0, comma; (comma = rest.find(',', from)) != std::string::npos; from = comma + 1, ++values)
      EXPECT_NE(std::find(std::begin(allOnes), std::end(allOnes), rest.substr(from, comma - from)), std::end(allOnes))
          << line;
  }
  EXPECT_EQ(values, 85887u);
}

// ------------------------------------------------------------ counter logs

TEST(Area1CounterLogs, BaseCountersTitlesAndCounts) {
  OrvBuffer parent(16, ORV_LITTLE_ENDIAN);
  put(parent, 8, 4000000000u, 4);
  OrvAtaArea1DataQX12 base(&parent, 8, 8);
  EXPECT_EQ(printed(base), "    Data log category" + std::string(100 - 17, ' ') + ": 4000000000\n");
  std::vector<_OrvDataItem> items = collected(base);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_TRUE(items[0].name == "Data log category" && items[0].kind == ORV_ITEM_NUMBER &&
              items[0].value == 4000000000u && items[0].id == 0 && items[0].flag == 0);
  EXPECT_NE(base.resize(4), 0u);
  EXPECT_NE(base.setBuffer(parent.getBuffer(), 4, ORV_LITTLE_ENDIAN), 0u);
  EXPECT_EQ(base.getLength(), 8u);

  // The time event log: the title, then its one counter; the category never.
  Built<OrvAtaArea1TimeEventLogQX12> time;
  put(time.parent, kAt, 99, 4);
  put(time.parent, kAt + 4, 123456789012ull, 8);
  EXPECT_EQ(printed(time.log), titleBlock("Time Event Logs") + valueLine("Accumulated Powr On Time", 123456789012ull));
  items = collected(time.log);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_TRUE(items[0].name == "Time Event Log" && items[0].kind == ORV_ITEM_TEXT && items[0].text.empty());
  EXPECT_TRUE(items[1].name == "Accumulated Powr On Time" && items[1].kind == ORV_ITEM_NUMBER &&
              items[1].value == 123456789012ull);

  const std::pair<Shape, Shape> shapes[] = {
      {shapeOf<OrvAtaArea1BootEventLogQX12>(), {10, "Boot Event Log"}},
      {shapeOf<OrvAtaArea1EnvEventLogQX12>(), {26, "Environment Event Log"}},
      {shapeOf<OrvAtaArea1MicrocodeEventLogQX12>(), {14, "Microcode Event Log"}},
      {shapeOf<OrvAtaArea1PowerEventLogQX12>(), {24, "Power Event Log"}},
      {shapeOf<OrvAtaArea1MemoryCheckEventLogQX12>(), {4, "Memory Check Event Log"}},
      {shapeOf<OrvAtaArea1WorkloadBaseDataQX12>(), {2, "Work Load Base Data"}},
      {shapeOf<OrvAtaArea1FailurePredictiondataQX12>(), {3, "Failure Prediction Data"}},
      {shapeOf<OrvAtaArea1RptErrEventLogQX12>(), {14, "Report Error Event Log"}}};
  for (const auto& s : shapes) EXPECT_TRUE(s.first.items == s.second.items && s.first.first == s.second.first)
      << s.second.first << ": " << s.first.items << " items, the first " << s.first.first;
  Built<OrvAtaArea1BootEventLogQX12> boot;
  items = collected(boot.log);
  for (int i = 4; i <= 6; ++i) EXPECT_EQ(items[i].name, "Max Spin Up to Initial Ontrac Process Time");
  Built<OrvAtaArea1EnvEventLogQX12> env;
  EXPECT_EQ(collected(env.log)[21].name, " Times worked in an excess of a temperature threshold");
  Built<OrvAtaArea1PowerEventLogQX12> power;
  EXPECT_EQ(collected(power.log)[10].name, "Total Count of accumulated transitions to StandbyZ");
  Built<OrvAtaArea1WorkloadBaseDataQX12> workloadBase;
  EXPECT_EQ(printed(workloadBase.log), titleBlock("Work Load Base Data") + valueLine("Next storing log number", 0));
  Built<OrvAtaArea1FailurePredictiondataQX12> failure;
  EXPECT_EQ(printed(failure.log).rfind(titleBlock("Failure Prediction Data"), 0), 0u);
  Built<OrvAtaArea1RptErrEventLogQX12> rpt;
  std::string text = printed(rpt.log);
  EXPECT_EQ(text.rfind(titleBlock("Report Error Event Logs"), 0), 0u);
  EXPECT_EQ(countOf(text, "\n    "), 1u + 13u);

  // Exports append without clearing.
  Built<OrvAtaArea1MemoryCheckEventLogQX12> memory;
  OrvDevGenData<_OrvDataItem> data;
  data.addItem(_OrvDataItem("before", 1, 0, 0));
  memory.log.collectFields(data);
  memory.log.collectFields(data);
  ASSERT_EQ(data.items.size(), 9u);
  EXPECT_EQ(data.items[0].name, "before");
  EXPECT_EQ(data.items[5].name, "Memory Check Event Log");
}

// ------------------------------------------------------------ count arrays

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
  EXPECT_TRUE(items[1].name == "SA Event Log" && items[1].kind == ORV_ITEM_TEXT);
  EXPECT_EQ(items[19].name, "Physical Head by multiplicity read number of times [17]");
  EXPECT_TRUE(items[19].value == 0xFFFFFFFFu && items[19].kind == ORV_ITEM_NUMBER);
}

TEST(Area1EventLogs, CommandEventLogBeginsWithItsTitle) {
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
  OrvBuffer parent(OrvAtaArea1CmdEventLogQX12::byteLength(), ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvAtaArea1CmdEventLogQX12 log(&parent, 1); }), 7, 102));
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
  EXPECT_EQ(b.log.getHeadReadRetryStepErrors(17, 127), 0u);

  u64 headOut = thrownStatus([&] { b.log.getHeadZoneReadCount(18, 0); });
  for (u64 word : {headOut, thrownStatus([&] { b.log.getHeadZoneReadCount(0, 32); }),
                   thrownStatus([&] { b.log.getHeadSeekRetryStepErrors(0, 32); }),
                   thrownStatus([&] { b.log.getShockHistogram(6); })})
    EXPECT_TRUE(isSataStatus(word, 7));
  // Each accessor reports its own line.
  u64 other = thrownStatus([&] { b.log.getHeadReadCount(18); });
  EXPECT_NE((other >> 32) & 0xFFFF, (headOut >> 32) & 0xFFFF);

  std::vector<_OrvDataItem> items = collected(b.log);
  ASSERT_EQ(items.size(), 6871u);
  EXPECT_EQ(items[1].name, "Disk Event Log");
  EXPECT_EQ(items[2].name, "The total number of blocks read");
  EXPECT_TRUE(items.back().name == "Shock detection Histogram [5]" && items.back().value == 65535u);
}

// Over patterned bytes, every array accessor reads the element that the
// export shows under the same index.
TEST(Area1EventLogs, AccessorsReadTheExportedElements) {
  auto valuesOf = [](OrvAtaArea1DataQX12& log, OrvBuffer& parent) {
    for (u32 i = 0; i < parent.getLength(); ++i) parent[i] = static_cast<u8>(i * 31 + 7);
    std::map<std::string, u64> values;
    for (const _OrvDataItem& item : collected(log)) values[item.name] = item.value;
    return values;
  };
  Built<OrvAtaArea1DiskEventLogQX12> disk;
  Built<OrvAtaArea1SA_EventLogQX12> sa;
  Built<OrvAtaArea1CmdEventLogQX12> cmd;
  Built<OrvAtaArea1BlocksEventLogQX12> blocks;
  std::map<std::string, u64> d = valuesOf(disk.log, disk.parent), a = valuesOf(sa.log, sa.parent),
                             c = valuesOf(cmd.log, cmd.parent), k = valuesOf(blocks.log, blocks.parent);
  const OrvAtaArea1DiskEventLogQX12& l = disk.log;
  const std::pair<u64, u64> rows[] = {
      {l.getHeadReadCount(17), d["Head by Read number of times [17]"]},
      {l.getHeadWriteCount(1), d["Head by Write number of times [1]"]},
      {l.getHeadSeekCount(2), d["Head by Seek number of times [2]"]},
      {l.getWriteSeekLengthCount(15), d["Seek Length by Write Seek number of times [15]"]},
      {l.getReadSeekLengthCount(3), d["Seek Length by Read Seek number of times [3]"]},
      {l.getHeadZoneReadCount(3, 17), d["Head/Zone by Read number of times [3:17]"]},
      {l.getHeadZoneWriteCount(17, 31), d["Head/Zone by Write number of times [17:31]"]},
      {l.getReadRetryStepErrors(5), d["Total read errors on a per retry step basis [5]"]},
      {l.getWriteRetryStepErrors(127), d["Total write errors on a per retry step basis [127]"]},
      {l.getSeekRetryStepErrors(31), d["Total seek errors on a per retry step basis [31]"]},
      {l.getHeadReadRetryStepErrors(17, 127), d["Head by Total read errors on a per retry step basis [17:127]"]},
      {l.getHeadWriteRetryStepErrors(1, 2), d["Head by Total write errors on a per retry step basis [1:2]"]},
      {l.getHeadSeekRetryStepErrors(4, 31), d["Head by Total seek errors on a per retry step basis [4:31]"]},
      {l.getHeadReadOfftrackErrors(6), d["Read Offtrack Error count by each head [6]"]},
      {l.getHeadWriteOfftrackErrors(7), d["Write Offtrack Error count by each head [7]"]},
      {l.getZoneReadOfftrackErrors(30), d["Read Offtrack Error count by each zone [30]"]},
      {l.getZoneWriteOfftrackErrors(9), d["Write Offtrack Error count by each zone [9]"]},
      {l.getSeekDiffWriteOfftrackErrors(15), d["Number of Write-Offtrack errors by seek difference [15]"]},
      {l.getShockHistogram(5), d["Shock detection Histogram [5]"]},
      {sa.log.getHeadReadCount(17), a["Physical Head by multiplicity read number of times [17]"]},
      {sa.log.getHeadReadErrorCount(1), a["Physical Head by multiplicity read error number of times [1]"]},
      {sa.log.getHeadWriteCount(2), a["Physical Head by multiplicity write number of times [2]"]},
      {sa.log.getHeadWriteErrorCount(3), a["Physical Head by multiplicity write error number of times [3]"]},
      {sa.log.getAtiRewriteCount(4), a["Number of execution of SA ATI Rewrite per Head [4]"]},
      {sa.log.getAtiRewriteErrorCount(5), a["Number of error while SA ATI Rewrite per Head [5]"]},
      {sa.log.getAtiScanCount(6), a["Number of execution of SA ATI Scan per Head [6]"]},
      {sa.log.getAtiScanRetryOutCount(17), a["Number of retry-out while SA ATI Scan per Head [17]"]},
      {cmd.log.getHeadVerifyBlocks(9), c["Head by total verify blocks [9]"]},
      {blocks.log.getReassignBlocks(1), k["(REASSIGN BLOCKS) byte [1]"]},
      {blocks.log.getWriteAutoReassignNormal(2), k["(Write Auto Reassign - Normal) byte [2]"]},
      {blocks.log.getWriteAutoReassignServo(3), k["(Write Auto Reassign - Servo) byte [3]"]},
      {blocks.log.getWriteAutoReassignWv(0), k["(Write Auto Reassign - W&V) byte [0]"]}};
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
    EXPECT_NE(rows[i].second, 0u) << "row " << i;
  }
}

// ------------------------------------------------------------ record logs

template <typename Log>
struct AtZero {
  OrvBuffer parent{Log::byteLength(), ORV_LITTLE_ENDIAN};
  Log log{&parent, 0};
};

TEST(Area1BlocksEventLog, ArraysEntriesAndCounts) {
  AtZero<OrvAtaArea1BlocksEventLogQX12> b;
  // Header, four 64-bit totals, then four arrays of four 32-bit counts.
  put(b.parent, 4 + 32 + 16 * 2 + 12, 0xFFFFFFFFu, 4);
  EXPECT_EQ(b.log.getWriteAutoReassignServo(3), 0xFFFFFFFFu);
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getWriteAutoReassignServo(4); }), 7));
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getReassignBlocks(4); }), 7));

  std::vector<std::string> lines = linesOf(printed(b.log));
  ASSERT_EQ(lines.size(), 4u + 4u + 16u + 2u + 2048u * 5u);
  EXPECT_EQ(lines[2], "    Blocks Event Logs\n");
  EXPECT_EQ(lines[10], valueLine("(REASSIGN BLOCKS) byte [2]", 0));
  EXPECT_EQ(lines[19], valueLine("(Write Auto Reassign - Servo) byte [3]", 4294967295ull));
  EXPECT_EQ(lines[26], valueLine("Un-recovered log [0]: Error LBA", 0));
  EXPECT_EQ(lines.back(), valueLine("Un-recovered log [2047]: Total Power on time sec - First", 0));

  std::vector<_OrvDataItem> items = collected(b.log);
  ASSERT_EQ(items.size(), 10263u);
  EXPECT_TRUE(items[0].name == "Blocks Event Log" && items[0].kind == ORV_ITEM_TEXT);
  EXPECT_EQ(items[22].name, "Total Used Entries(Update to current entries)");
  const std::vector<std::string> names = {"Error LBA", "Error CHS(CCCCCCHHSSSSSSSSh)", "Registed Command",
                                          "Temperature", "Total Power on time sec - First"};
  for (size_t k = 0; k < 5; ++k) {
    const _OrvDataItem& item = items[items.size() - 5 + k];
    EXPECT_EQ(item.name, "Log [2047] " + names[k]);
    EXPECT_TRUE(item.kind == ORV_ITEM_NUMBER && item.flag == (k < 3 ? 1u : 0u)) << k;
  }

  // One entry shows its own bytes.
  OrvBuffer parent(64, ORV_LITTLE_ENDIAN);
  put(parent, 10, 0x1122334455667788ull, 8);
  put(parent, 10 + 16, 0x28, 1);
  OrvAtaArea1UnrecoveredLogsQX12 entry(&parent, 10, 7);
  lines = linesOf(printed(entry));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], valueLine("Un-recovered log [7]: Error LBA", 0x1122334455667788ull));
  EXPECT_EQ(lines[2], valueLine("Un-recovered log [7]: Registed Command", 0x28));
  items = collected(entry);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_TRUE(items[0].name == "Log [7] Error LBA" && items[0].value == 0x1122334455667788ull);
}

TEST(Area1SpindleMotorCurrent, PrintAndExportOrder) {
  AtZero<OrvAtaArea1SpindleMotorCurrentEventQX12> b;
  put(b.parent, 4, 321, 8);
  put(b.parent, 4 + 96 + 4, 0x1234, 2);  // zone 0 after the header, twelve totals and its time stamp
  std::vector<std::string> lines = linesOf(printed(b.log));
  ASSERT_EQ(lines.size(), 4u + 12u + 90u);
  EXPECT_EQ(lines[2], "    Spindle Motor Current Event\n");
  EXPECT_EQ(lines[4], valueLine("Maximum Current value", 321));
  EXPECT_EQ(lines[7], valueLine("Maximum Current value differece", 0));
  EXPECT_EQ(lines[16], valueLine("Temp Zone [0] : Time stamp when detecting the highest current", 0));
  EXPECT_EQ(lines[17], valueLine("Temp Zone [0] : Highest Current value", 0x1234));
  EXPECT_EQ(lines.back(), valueLine("Temp Zone [14] : Voltage value when detecting the lowest current", 0));

  OrvDevGenData<_OrvDataItem> data;
  data.addItem(_OrvDataItem("earlier", "x"));
  b.log.collectFields(data);
  ASSERT_EQ(data.items.size(), 1u + 103u);
  EXPECT_EQ(data.items[1].name, "Spindle Motor Current Event Log");
  EXPECT_EQ(data.items[2].value, 321u);
  EXPECT_TRUE(data.items[14].name == "Temp Zone [0] : Time stamp when detecting the highest current" &&
              data.items[14].flag == 0);
}

TEST(Area1SenseLog, EntryLinesCdbTextFlagsAndBounds) {
  OrvBuffer parent(OrvAtaArea1SenseLogContentQX12::byteLength(), ORV_LITTLE_ENDIAN);
  u32 cdb = OrvAtaArea1SenseLogContentQX12::byteLength() - 16;
  for (u32 i = 0; i < 16; ++i) parent[cdb + i] = static_cast<u8>(i);
  put(parent, 8, 3, 1);  // sense key
  OrvAtaArea1SenseLogContentQX12 entry(&parent, 0, 65535);
  std::string cdbText = entry.getCdbText();
  ASSERT_EQ(cdbText.size(), 80u);
  EXPECT_EQ(cdbText.substr(0, 10), "0x0F 0x0E ");
  EXPECT_EQ(cdbText.substr(75), "0x00 ");

  std::vector<std::string> lines = linesOf(printed(entry));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[2], valueLine("Sense Log [65535] : Sense Key", 3));
  std::string cdbLabel = "Sense Log [65535] : CDB";
  EXPECT_EQ(lines[10], "    " + cdbLabel + std::string(100 - cdbLabel.size(), ' ') + ": " + cdbText + "\n");
  std::vector<_OrvDataItem> items = collected(entry);
  ASSERT_EQ(items.size(), 11u);
  const u8 flags[10] = {0, 0, 1, 1, 1, 0, 0, 0, 1, 1};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(items[i].flag, flags[i]) << i;
  EXPECT_EQ(items[2].value, 3u);
  EXPECT_TRUE(items[10].name == cdbLabel && items[10].kind == ORV_ITEM_TEXT && items[10].text == cdbText);

  AtZero<OrvAtaArea1SenseLogQX12> b;
  lines = linesOf(printed(b.log));
  ASSERT_EQ(lines.size(), 4u + 2640u);
  EXPECT_EQ(lines[2], "    Sense Logs\n");
  EXPECT_EQ(lines[4], valueLine("Sense Log [0] : Time of occurrence (accumulated time) [sec.]", 0));
  items = collected(b.log);
  ASSERT_EQ(items.size(), 2641u);
  EXPECT_TRUE(items[0].name == "Sense Log" && items[0].text.empty());
  EXPECT_EQ(b.log.getEntry(239).getEntryNumber(), 239u);
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getEntry(240); }), 7));
}

TEST(Area1ZoneLogs, LineAndRecordFormsIdsAndBounds) {
  AtZero<OrvAtaArea1ZoneLogsQX12> b;
  std::string zeros = "0";
  for (int i = 0; i < 35; ++i) zeros += ",0";
  std::vector<std::string> lines = linesOf(printed(b.log));
  ASSERT_EQ(lines.size(), 33u);
  for (const std::string& line : lines) EXPECT_EQ(line, zeros + "\n");
  std::vector<_OrvDataItem> items = collected(b.log);
  ASSERT_EQ(items.size(), 1188u);
  EXPECT_TRUE(items[0].name == "Cylinder [0]" && items[0].id == 0x010100u);
  EXPECT_TRUE(items[18].name == "Sector [0]" && items[18].id == 0x010001u);
  EXPECT_TRUE(items.back().name == "Sector [17]" && items.back().id == ((33u << 16) | 18u));
  EXPECT_EQ(items.back().kind, ORV_ITEM_NUMBER);

  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getZoneLog(33); }), 7));
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getZoneLog(32).getCylinder(18); }), 7));
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getZoneLog(32).getSector(18); }), 7));

  OrvAtaArea1ZoneLogQX12& zone = b.log.getZoneLog(2);
  const_cast<OrvBufField&>(zone.getCylinder(0)).setValue(70000);
  const_cast<OrvBufField&>(zone.getSector(17)).setValue(9);
  lines = linesOf(printed(b.log));
  EXPECT_EQ(lines[2].substr(0, 8), "70000,0,");
  EXPECT_EQ(lines[2].substr(lines[2].size() - 5), ",0,9\n");
  EXPECT_EQ(lines[1], zeros + "\n");
  std::vector<std::string> recordLines = linesOf(printed(zone));
  ASSERT_EQ(recordLines.size(), 37u);
  EXPECT_EQ(recordLines[0], "\n");
  EXPECT_EQ(recordLines[1], valueLine("Zone [2] Cylinder [0]", 70000));
  EXPECT_EQ(recordLines[36], valueLine("Zone [2] Sector [17]", 9));
  items = collected(zone);
  ASSERT_EQ(items.size(), 36u);
  EXPECT_TRUE(items[35].name == "Zone [2] Sector [17]" && items[35].value == 9 && items[35].id == 0);
}

TEST(Area1Records, DeletingThroughTheBaseDestroysTheWholeObject) {
  // The leak checker of the sanitized build sees any record left behind.
  OrvBuffer parent(OrvAtaArea1BlocksEventLogQX12::byteLength(), ORV_LITTLE_ENDIAN);
  OrvBuffer* log = new OrvAtaArea1BlocksEventLogQX12(&parent, 0);
  delete log;
  OrvAtaArea1DataQX12* sense = new OrvAtaArea1SenseLogQX12(&parent, 0);
  EXPECT_EQ(collected(*sense).size(), 2641u);
  delete sense;
}

}  // namespace
