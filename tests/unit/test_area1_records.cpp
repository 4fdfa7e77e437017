// The Area 1 sub-logs that own records: blocks, spindle motor current,
// sense and zone logs, built over parents of known bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/area1_helpers.h"

using namespace area1_test;

namespace {

template <typename Log>
struct Built {
  OrvBuffer parent{Log::byteLength(), ORV_LITTLE_ENDIAN};
  Log log{&parent, 0};
};

TEST(Area1BlocksEventLog, ArraysEntriesAndCounts) {
  Built<OrvAtaArea1BlocksEventLogQX12> b;
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
  EXPECT_EQ(items[0].name, "Blocks Event Log");
  EXPECT_EQ(items[0].kind, ORV_ITEM_TEXT);
  EXPECT_EQ(items[22].name, "Total Used Entries(Update to current entries)");
  const std::vector<std::string> names = {"Error LBA", "Error CHS(CCCCCCHHSSSSSSSSh)", "Registed Command",
                                          "Temperature", "Total Power on time sec - First"};
  for (size_t k = 0; k < 5; ++k) {
    const _OrvDataItem& item = items[items.size() - 5 + k];
    EXPECT_EQ(item.name, "Log [2047] " + names[k]);
    EXPECT_EQ(item.kind, ORV_ITEM_NUMBER);
    EXPECT_EQ(item.flag, k < 3 ? 1u : 0u);
  }
}

TEST(Area1BlocksEventLog, EntryShowsItsOwnBytes) {
  OrvBuffer parent(64, ORV_LITTLE_ENDIAN);
  put(parent, 10, 0x1122334455667788ull, 8);
  put(parent, 10 + 16, 0x28, 1);
  OrvAtaArea1UnrecoveredLogsQX12 entry(&parent, 10, 7);
  std::vector<std::string> lines = linesOf(printed(entry));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], valueLine("Un-recovered log [7]: Error LBA", 0x1122334455667788ull));
  EXPECT_EQ(lines[2], valueLine("Un-recovered log [7]: Registed Command", 0x28));
  std::vector<_OrvDataItem> items = collected(entry);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].name, "Log [7] Error LBA");
  EXPECT_EQ(items[0].value, 0x1122334455667788ull);
}

TEST(Area1SpindleMotorCurrent, PrintAndExportOrder) {
  Built<OrvAtaArea1SpindleMotorCurrentEventQX12> b;
  put(b.parent, 4, 321, 8);
  std::vector<std::string> lines = linesOf(printed(b.log));
  ASSERT_EQ(lines.size(), 4u + 12u + 90u);
  EXPECT_EQ(lines[2], "    Spindle Motor Current Event\n");
  EXPECT_EQ(lines[4], valueLine("Maximum Current value", 321));
  EXPECT_EQ(lines[7], valueLine("Maximum Current value differece", 0));
  EXPECT_EQ(lines[16], valueLine("Temp Zone [0] : Time stamp when detecting the highest current", 0));
  EXPECT_EQ(lines.back(), valueLine("Temp Zone [14] : Voltage value when detecting the lowest current", 0));

  OrvDevGenData<_OrvDataItem> data;
  data.addItem(_OrvDataItem("earlier", "x"));
  b.log.collectFields(data);
  ASSERT_EQ(data.items.size(), 1u + 103u);
  EXPECT_EQ(data.items[1].name, "Spindle Motor Current Event Log");
  EXPECT_EQ(data.items[2].value, 321u);
  EXPECT_EQ(data.items[14].name, "Temp Zone [0] : Time stamp when detecting the highest current");
  EXPECT_EQ(data.items[14].flag, 0u);
}

TEST(Area1SenseLog, EntryLinesCdbTextAndFlags) {
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
  EXPECT_EQ(items[10].name, cdbLabel);
  EXPECT_EQ(items[10].kind, ORV_ITEM_TEXT);
  EXPECT_EQ(items[10].text, cdbText);
}

TEST(Area1SenseLog, WholeLogCountsAndBounds) {
  Built<OrvAtaArea1SenseLogQX12> b;
  std::vector<std::string> lines = linesOf(printed(b.log));
  ASSERT_EQ(lines.size(), 4u + 2640u);
  EXPECT_EQ(lines[2], "    Sense Logs\n");
  EXPECT_EQ(lines[4], valueLine("Sense Log [0] : Time of occurrence (accumulated time) [sec.]", 0));
  std::vector<_OrvDataItem> items = collected(b.log);
  ASSERT_EQ(items.size(), 2641u);
  EXPECT_EQ(items[0].name, "Sense Log");
  EXPECT_EQ(items[0].text, "");
  EXPECT_EQ(b.log.getEntry(239).getEntryNumber(), 239u);
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getEntry(240); }), 7));
}

TEST(Area1ZoneLogs, ZeroLinesIdsAndBounds) {
  Built<OrvAtaArea1ZoneLogsQX12> b;
  std::vector<std::string> lines = linesOf(printed(b.log));
  ASSERT_EQ(lines.size(), 33u);
  std::string zeros = "0";
  for (int i = 0; i < 35; ++i) zeros += ",0";
  for (const std::string& line : lines) EXPECT_EQ(line, zeros + "\n");

  std::vector<_OrvDataItem> items = collected(b.log);
  ASSERT_EQ(items.size(), 1188u);
  EXPECT_EQ(items[0].name, "Cylinder [0]");
  EXPECT_EQ(items[0].id, 0x010100u);
  EXPECT_EQ(items[18].name, "Sector [0]");
  EXPECT_EQ(items[18].id, 0x010001u);
  EXPECT_EQ(items.back().name, "Sector [17]");
  EXPECT_EQ(items.back().id, (33u << 16) | 18u);
  EXPECT_EQ(items.back().kind, ORV_ITEM_NUMBER);

  EXPECT_TRUE(isSataStatus(thrownStatus([&] { b.log.getZoneLog(33); }), 7));
  OrvAtaArea1ZoneLogQX12& zone = b.log.getZoneLog(32);
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { zone.getCylinder(18); }), 7));
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { zone.getSector(18); }), 7));
}

TEST(Area1ZoneLogs, ValuesInLineAndRecordForm) {
  Built<OrvAtaArea1ZoneLogsQX12> b;
  OrvAtaArea1ZoneLogQX12& zone = b.log.getZoneLog(2);
  const_cast<OrvBufField&>(zone.getCylinder(0)).setValue(70000);
  const_cast<OrvBufField&>(zone.getSector(17)).setValue(9);
  std::vector<std::string> lines = linesOf(printed(b.log));
  EXPECT_EQ(lines[2].substr(0, 8), "70000,0,");
  EXPECT_EQ(lines[2].substr(lines[2].size() - 5), ",0,9\n");
  EXPECT_EQ(lines[1].substr(0, 4), "0,0,");

  std::vector<std::string> recordLines = linesOf(printed(zone));
  ASSERT_EQ(recordLines.size(), 37u);
  EXPECT_EQ(recordLines[0], "\n");
  EXPECT_EQ(recordLines[1], valueLine("Zone [2] Cylinder [0]", 70000));
  EXPECT_EQ(recordLines[36], valueLine("Zone [2] Sector [17]", 9));
  std::vector<_OrvDataItem> items = collected(zone);
  ASSERT_EQ(items.size(), 36u);
  EXPECT_EQ(items[35].name, "Zone [2] Sector [17]");
  EXPECT_EQ(items[35].value, 9u);
  EXPECT_EQ(items[35].id, 0u);
}

TEST(Area1Records, DeletingThroughTheBaseDestroysTheWholeObject) {
  // The leak checker of the sanitized build sees any record left behind.
  OrvBuffer parent(OrvAtaArea1BlocksEventLogQX12::byteLength(), ORV_LITTLE_ENDIAN);
  OrvBuffer* log = new OrvAtaArea1BlocksEventLogQX12(&parent, 0);
  delete log;
  OrvAtaArea1DataQX12* sense = new OrvAtaArea1SenseLogQX12(&parent, 0);
  OrvDevGenData<_OrvDataItem> data;
  sense->collectFields(data);
  EXPECT_EQ(data.items.size(), 2641u);
  delete sense;
}

}  // namespace
