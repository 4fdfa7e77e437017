// The Area 1 container over a whole Area 1 and over bytes handed to it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/area1_helpers.h"

using namespace area1_test;

namespace {

TEST(Area1Container, SubLogsLieOnLogPagesWithinTheBytes) {
  OrvAtaIntArea1Log log;
  EXPECT_EQ(log.getLength(), OrvAtaIntArea1Log::kLength);
  EXPECT_EQ(log.getPageId(), 0x24);
  EXPECT_EQ(log.getSubPageId(), 0);
  EXPECT_EQ(log.getEndianess(), ORV_LITTLE_ENDIAN);
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
}

TEST(Area1Container, PrintsRowsOneToSixteenInOrderAndNoZoneLine) {
  OrvAtaIntArea1Log log;
  std::string events = printed(log.diskEventLog) + printed(log.cmdEventLog) + printed(log.rptErrEventLog) +
                       printed(log.senseLog) + printed(log.saEventLog) + printed(log.timeEventLog) +
                       printed(log.bootEventLog) + printed(log.envEventLog) + printed(log.microcodeEventLog) +
                       printed(log.powerEventLog) + printed(log.blocksEventLog) + printed(log.workloadBaseData) +
                       printed(log.spindleMotorCurrentEvent) + printed(log.memoryCheckEventLog) +
                       printed(log.failurePredictionData);
  std::string workload = printed(log.workloadLogs);
  std::string text = printed(log);
  EXPECT_TRUE(text == events + workload) << "the container prints rows 1 to 16, in order, and nothing else";
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

TEST(Area1Container, ShowsTheBytesHandedToIt) {
  OrvBuffer area1(OrvAtaIntArea1Log::kLength, ORV_LITTLE_ENDIAN);
  put(area1, OrvAtaIntArea1Log::offsetOf(5) + 4, 4242, 8);
  OrvAtaIntArea1Log log(area1);
  EXPECT_EQ(printed(log.timeEventLog), titleBlock("Time Event Logs") + valueLine("Accumulated Powr On Time", 4242));
  // The container holds its own copy.
  area1[OrvAtaIntArea1Log::offsetOf(5) + 4] = 0;
  EXPECT_EQ(collected(log.timeEventLog)[1].value, 4242u);
  // Bytes written into the container show at the next read.
  log[OrvAtaIntArea1Log::offsetOf(5) + 4] = 1;
  EXPECT_EQ(collected(log.timeEventLog)[1].value, 0x1001u);  // 4242 is 0x1092
}

TEST(Area1Container, TooFewBytesMakeNoContainer) {
  OrvBuffer area1(OrvAtaIntArea1Log::kLength - 1, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvAtaIntArea1Log log(area1); }), 7, 102));
}

TEST(Area1Container, KeepsItsLengthWhileSubLogsViewIt) {
  OrvAtaIntArea1Log log;
  u8* bytes = log.getBuffer();
  EXPECT_TRUE(isSataStatus(log.resize(log.getLength() + 1), 6));
  EXPECT_TRUE(isSataStatus(log.resize(16), 6));
  u8 small[4] = {1, 2, 3, 4};
  EXPECT_TRUE(isSataStatus(log.setBuffer(small, 4, ORV_LITTLE_ENDIAN), 6));
  OrvLogBuffer shorter(100, ORV_LITTLE_ENDIAN, 0x24, 0, "short");
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { static_cast<OrvLogBuffer&>(log) = shorter; }), 6));
  EXPECT_EQ(log.getBuffer(), bytes);
  EXPECT_EQ(log.getLength(), OrvAtaIntArea1Log::kLength);

  // Bytes of the same length are copied in place.
  OrvLogBuffer same(OrvAtaIntArea1Log::kLength, ORV_LITTLE_ENDIAN, 0x24, 0, "same");
  same[OrvAtaIntArea1Log::offsetOf(11) + 4] = 9;
  static_cast<OrvLogBuffer&>(log) = same;
  EXPECT_EQ(log.getBuffer(), bytes);
  EXPECT_EQ(collected(log.workloadBaseData)[1].value, 9u);
}

TEST(Area1Container, BigEndianBytesReachEverySubLog) {
  OrvAtaIntArea1Log log(ORV_BIG_ENDIAN);
  log[OrvAtaIntArea1Log::offsetOf(16) + 4 + 3] = 1;  // zone 0, cylinder 0
  EXPECT_EQ(log.zoneLogs.getZoneLog(0).getCylinder(0).getValue(), 1u);
  EXPECT_EQ(log.senseLog.getEndianess(), ORV_BIG_ENDIAN);
}

}  // namespace
