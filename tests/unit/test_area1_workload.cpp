// The workload logs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/area1_helpers.h"

using namespace area1_test;

namespace {

using Record = OrvAtaArea1WorkloadLogContentQX12;
using Sector = OrvAtaArea1WorkloadLogSectorQX12;

// Every record's "Log Number" (its first four bytes) in a sector at offset.
void setLogNumbers(OrvBuffer& bytes, u32 offset, u32 value) {
  for (u32 r = 0; r < Sector::kRecords; ++r) put(bytes, offset + r * Record::byteLength(), value, 4);
}

TEST(Area1Workload, RecordLabelsSeekCountsAndItems) {
  OrvBuffer parent(Record::byteLength(), ORV_LITTLE_ENDIAN);
  put(parent, 0, 12, 4);
  put(parent, Record::byteLength() - 8 - 2, 0xBEEF, 2);  // head 17, before fields 70 and 71
  Record record(&parent, 0, 3, 7);
  EXPECT_EQ(record.getSeekCountPerHead(17), 0xBEEFu);
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { record.getSeekCountPerHead(18); }), 7));

  std::vector<std::string> lines = linesOf(printed(record));
  ASSERT_EQ(lines.size(), 1u + 89u);
  EXPECT_EQ(lines[0], "\n");
  EXPECT_EQ(lines[1], valueLine("Workload Sector [3] Log [7] : Log Number", 12));
  EXPECT_EQ(lines[7], valueLine("Workload Sector [3] Log [7] : Process IDLE Time with Standby (motor not ready) [sec.]", 0));
  EXPECT_EQ(lines[70], valueLine("Workload Sector [3] Log [7] :  Seek Count Per Head [0]", 0));
  EXPECT_EQ(lines[87], valueLine("Workload Sector [3] Log [7] :  Seek Count Per Head [17]", 0xBEEF));
  EXPECT_EQ(lines[89], valueLine("Workload Sector [3] Log [7] : Motor Start Count", 0));

  std::vector<_OrvDataItem> items = collected(record);
  ASSERT_EQ(items.size(), 90u);
  EXPECT_EQ(items[0].name, "Sector Number [3] Log Number [7]");
  EXPECT_EQ(items[0].kind, ORV_ITEM_TEXT);
  EXPECT_EQ(items[0].text, "");
  EXPECT_EQ(items[1].name, "Log Number");
  EXPECT_EQ(items[1].value, 12u);
  EXPECT_EQ(items[70].name, "Seek Count Per Head [0]");
  EXPECT_EQ(items[87].value, 0xBEEFu);
  EXPECT_EQ(items[89].name, "Motor Start Count");
}

TEST(Area1Workload, EmptyRecordsPrintButAreNotExported) {
  OrvBuffer parent(Sector::byteLength(), ORV_LITTLE_ENDIAN);
  setLogNumbers(parent, 0, 0xFFFFFFFFu);
  Sector sector(&parent, 0, 0);
  EXPECT_EQ(linesOf(printed(sector)).size(), 14u * 90u);
  EXPECT_TRUE(collected(sector).empty());
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { sector.getRecord(14); }), 7));
}

TEST(Area1Workload, ZeroNumberedRecordsOfOtherSectorsKeepTheSwitchOn) {
  OrvBuffer parent(Sector::byteLength(), ORV_LITTLE_ENDIAN);
  Sector sector(&parent, 0, 5);
  EXPECT_EQ(collected(sector).size(), 14u * 90u);
}

TEST(Area1Workload, FirstZeroRecordOfSectorZeroTurnsTheSwitchOff) {
  OrvBuffer parent(OrvAtaArea1WorkloadLogsQX12::byteLength(), ORV_LITTLE_ENDIAN);
  OrvAtaArea1WorkloadLogsQX12 logs(&parent, 0);
  std::string text = printed(logs);
  EXPECT_EQ(text.rfind(titleBlock("Workload Logs") + "\n    Workload Sector [0] Log [0] : Log Number", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 5), ": 0\n\n");
  EXPECT_EQ(linesOf(text).size(), 4u + 728u * 90u + 1u);

  std::vector<_OrvDataItem> items = collected(logs);
  ASSERT_EQ(items.size(), 90u);
  EXPECT_EQ(items[0].name, "Sector Number [0] Log Number [0]");
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { logs.getSector(52); }), 7));
}

}  // namespace
