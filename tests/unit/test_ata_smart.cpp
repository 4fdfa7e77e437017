#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata_logs.h"
#include "unit/ata_page_helpers.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal;

namespace {

// The dump of bytes first..first+count-1 of a page, as a buffer of its own
// would show them.
std::string dumpOf(OrvBuffer& page, u32 first, u32 count) {
  OrvBuffer copy(count, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(copy.copyData(page.getBuffer() + first, count, 0), 0u);
  std::stringstream text;
  copy.hexDump(text);
  return text.str();
}

std::vector<_OrvDataItem> exported(const OrvAtaBitGroup& group) {
  OrvDevGenData<_OrvDataItem> data;
  group.collectFields(data);
  return data.items;
}

TEST(AtaSmartData, StandardFieldsReadTheirBytesOnly) {
  OrvAtaSmartData smart;
  ASSERT_EQ(smart.getLength(), 512u);
  put(smart, 362, {0x82, 0x25, 0x34, 0x12, 0x07, 0x7B, 0x03, 0x00, 0xFE, 0x09, 0x02, 0xFF, 0x05, 0x2C, 0x01});
  EXPECT_EQ(smart.offlineCollectionStatus.getValue(), 0x82u);
  EXPECT_EQ(smart.selfTestExecutionStatus.getValue(), 0x25u);
  EXPECT_EQ(smart.vendorWord364.getValue(), 0x1234u);
  EXPECT_EQ(smart.vendorByte366.getValue(), 7u);
  EXPECT_EQ(smart.offlineCollectionCapability.getValue(), 0x7Bu);
  EXPECT_EQ(smart.smartCapability.getValue(), 3u);
  EXPECT_EQ(smart.errorLoggingSupported.getValue(), 0u) << "bit 0 of byte 370 only";
  smart[370] = 0x01;
  EXPECT_EQ(smart.errorLoggingSupported.getValue(), 1u);
  EXPECT_EQ(smart.vendorByte371.getValue(), 9u);
  EXPECT_EQ(smart.shortSelfTestPollingTime.getValue(), 2u);
  EXPECT_EQ(smart.extendedSelfTestPollingTimeByte.getValue(), 255u);
  EXPECT_EQ(smart.conveyanceSelfTestPollingTime.getValue(), 5u);
  EXPECT_EQ(smart.extendedSelfTestPollingTimeWord.getValue(), 300u);

  EXPECT_EQ(smart.firstVendorArea.getBuffer(), smart.getBuffer());
  EXPECT_EQ(smart.firstVendorArea.getLength(), 362u);
  EXPECT_EQ(smart.secondVendorArea.getBuffer(), smart.getBuffer() + 386);
  EXPECT_EQ(smart.secondVendorArea.getLength(), 125u);
  EXPECT_EQ(smart.getName(), "");
}

TEST(AtaSmartData, PrintWritesBothVendorAreasAndEveryFieldLine) {
  OrvAtaSmartData smart;
  for (u32 i = 0; i < 512; ++i) smart[i] = static_cast<u8>(i * 7);
  put(smart, 362, {0x82, 0x25, 0x34, 0x12, 0x07, 0x7B, 0x02, 0x00, 0xFF, 0x09, 0x02, 0xFF, 0x05, 0x2C, 0x01});

  std::string expected = "Vendor specific buffer (Byte 0:361) hex-dump\n" + dumpOf(smart, 0, 362) +
                         valueLine(":Off-line data collection status", 0x82) +
                         valueLine(":Self-test execution status byte", 0x25) +
                         valueLine(":Vendor specific(Word364)", 0x1234) + valueLine(":Vendor specific(Byte366)", 7);
  for (auto [name, bit] : std::vector<std::pair<std::string, int>>{{"Selective self-test implemented", 1},
                                                                   {"Conveyance self-test implemented", 1},
                                                                   {"Self-test implemented", 1},
                                                                   {"Off-line read scanning implemented", 1},
                                                                   {"Abort/restart off-line by host", 0},
                                                                   {"Vendor specific", 1},
                                                                   {"Execute off-line immediate implemented", 1}})
    expected += valueLine("Off-line data collection capability:" + name, bit);
  expected += valueLine("SMART capability:Smart Save support of Power-off", 0) +
              valueLine("SMART capability:SMART enable/disable attribute autosave command supported", 1) +
              valueLine(":Device error logging supported", 1) + valueLine(":Vendor specific(Byte371)", 9) +
              valueLine(":Short self-test routine recommended polling time", 2) +
              valueLine(":Extended self-test routine recommended polling time(Byte)", 255) +
              valueLine(":Conveyance self-test routine recommended polling time", 5) +
              valueLine(":Extended self-test routine recommended polling time(Word)", 300) +
              "Vendor specific buffer (Byte 386:510) hex-dump\n" + dumpOf(smart, 386, 125);
  EXPECT_EQ(printedText([&](void* file) { smart.print(file); }), expected);

  smart.print(nullptr);
}

TEST(AtaSmartData, ZeroPagePrintsZeroForEveryField) {
  OrvAtaSmartData smart;
  std::string text = printedText([&](void* file) { smart.print(file); });
  size_t lines = 0, zeros = 0;
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at) ++lines;
  for (size_t at = 0; (at = text.find(": 0\n", at)) != std::string::npos; ++at) ++zeros;
  EXPECT_EQ(zeros, 19u) << "10 fields, 7 off-line capability bits, 2 capability bits";
  EXPECT_EQ(lines, 2 + (2 + 23) + (2 + 8) + 19u) << "titles, dumps of 23 and 8 rows between dashed lines, fields";
}

TEST(AtaSmartData, HexDumpReplacesTheStreamAndTitlesTheWholePage) {
  OrvAtaSmartData smart;
  smart[511] = 0xA5;
  std::stringstream out;
  out << "old text";
  smart.hexDump(out);
  std::string expected = "SMART data Hex-Dump\n" + dumpOf(smart, 0, 512);
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(printedText([&](void* file) { smart.hexDump(file); }), expected);
  smart.hexDump(static_cast<void*>(nullptr));
}

TEST(AtaSmartData, BytesNeverMoveFromUnderTheFields) {
  OrvAtaSmartData smart;
  u8* bytes = smart.getBuffer();
  EXPECT_TRUE(isSataStatus(smart.resize(513), 6));
  std::vector<u8> longer(600, 0x11);
  EXPECT_TRUE(isSataStatus(smart.setBuffer(longer.data(), 600, ORV_LITTLE_ENDIAN), 6));
  std::vector<u8> page(512, 0x22);
  EXPECT_EQ(smart.setBuffer(page.data(), 512, ORV_LITTLE_ENDIAN), 0u);
  EXPECT_EQ(smart.getBuffer(), bytes);
  EXPECT_EQ(smart.shortSelfTestPollingTime.getValue(), 0x22u);
}

TEST(AtaSmartCapability, PrintAndExportOneValuePerNamedBit) {
  OrvAtaSmartData smart;
  smart[368] = 0x03;
  std::string both = valueLine("SMART capability:Smart Save support of Power-off", 1) +
                     valueLine("SMART capability:SMART enable/disable attribute autosave command supported", 1);
  EXPECT_EQ(printedText([&](void* file) { smart.smartCapability.print(file); }), both);
  smart[368] = 0x02;
  std::vector<_OrvDataItem> items = exported(smart.smartCapability);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, "SMART capability:Smart Save support of Power-off");
  EXPECT_EQ(items[1].name, "SMART capability:SMART enable/disable attribute autosave command supported");
  EXPECT_TRUE(items[0].value == 0 && items[1].value == 1);
  for (const _OrvDataItem& item : items) EXPECT_TRUE(item.kind == ORV_ITEM_FLAG && item.id == 0 && item.flag == 0);

  // Bits without a name show nowhere.
  put(smart, 368, {0xFC, 0xFF});
  for (const _OrvDataItem& item : exported(smart.smartCapability)) EXPECT_EQ(item.value, 0u) << item.name;
  smart[367] = 0x80;
  for (const _OrvDataItem& item : exported(smart.offlineCollectionCapability)) EXPECT_EQ(item.value, 0u) << item.name;
}

TEST(AtaSmartCapability, OfflineCapabilityExportsSevenBitsInPrintOrder) {
  OrvAtaSmartData smart;
  smart[367] = 0x7B;
  OrvDevGenData<_OrvDataItem> data;
  data.addItem(_OrvDataItem("before", 5, 0, 0));
  smart.offlineCollectionCapability.collectFields(data);
  smart.offlineCollectionCapability.collectFields(data);
  ASSERT_EQ(data.items.size(), 15u) << "appends, never clears";
  const std::vector<std::string> names = {"Selective self-test implemented",    "Conveyance self-test implemented",
                                          "Self-test implemented",              "Off-line read scanning implemented",
                                          "Abort/restart off-line by host",     "Vendor specific",
                                          "Execute off-line immediate implemented"};
  const std::vector<u64> bits = {1, 1, 1, 1, 0, 1, 1};
  std::string printed;
  for (size_t i = 0; i < 7; ++i) {
    const _OrvDataItem& item = data.items[1 + i];
    EXPECT_EQ(item.name, "Off-line data collection capability:" + names[i]);
    EXPECT_EQ(item.value, bits[i]) << names[i];
    EXPECT_EQ(item.kind, ORV_ITEM_FLAG);
    EXPECT_EQ(data.items[8 + i].name, item.name);
    printed += valueLine(item.name, item.value);
  }
  EXPECT_EQ(printedText([&](void* file) { smart.offlineCollectionCapability.print(file); }), printed);
}

TEST(AtaSmartAttributes, EntriesLieAtTwelveTimesIndexLessTen) {
  OrvAtaSmartData smart;
  OrvAtaSmartAttrBuf table(&smart);
  EXPECT_EQ(table.getBuffer(), smart.getBuffer());
  EXPECT_EQ(table.getLength(), 362u);
  OrvAtaSmartAttr* first = table.getAttr(1);
  OrvAtaSmartAttr* last = table.getAttr(30);
  EXPECT_EQ(first->getBuffer(), smart.getBuffer() + 2);
  EXPECT_EQ(last->getBuffer(), smart.getBuffer() + 350);
  EXPECT_EQ(last->getLength(), 12u);

  put(smart, 350, {0xC2, 0x33, 0x00, 0x64, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xFF});
  EXPECT_EQ(last->attributeId.getValue(), 0xC2u);
  EXPECT_EQ(last->value.getValue(), 100u);
  EXPECT_EQ(last->worstValue.getValue(), 90u);
  EXPECT_EQ(last->rawValue.getValue(), 0x060504030201ull);
  EXPECT_EQ(last->reserved.getValue(), 255u);
  EXPECT_EQ(last->flags.getValue(), 0x33u);
  EXPECT_EQ(last->flags.preFailure.getValue(), 1u);
  EXPECT_EQ(last->flags.onlineCollection.getValue(), 1u);
  EXPECT_EQ(last->flags.performance.getValue(), 0u);
  EXPECT_EQ(last->flags.errorRate.getValue(), 0u);
  EXPECT_EQ(last->flags.eventCount.getValue(), 1u);
  EXPECT_EQ(last->flags.selfPreserving.getValue(), 1u);
  EXPECT_EQ(last->flags.selfPreserving.getName(), "Self-Preserving Attribute type");
  EXPECT_EQ(first->attributeId.getValue(), 0u);

  EXPECT_EQ(printedText([&](void* file) { last->flags.print(file); }), "");
  EXPECT_TRUE(exported(last->flags).empty());
}

TEST(AtaSmartAttributes, IndexOutsideOneToThirtyThrowsCode7) {
  OrvAtaSmartData smart;
  OrvAtaSmartAttrBuf table(&smart);
  for (u8 index : {0, 31, 255})
    EXPECT_TRUE(isSataStatus(thrownStatus([&] { table.getAttr(index); }), 7)) << int(index);
  table.createAttrs();
  EXPECT_EQ(table.getAttr(30)->getBuffer(), smart.getBuffer() + 350) << "built anew, still 30";
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { table.getAttr(31); }), 7));
}

TEST(AtaSmartAttributes, TableOrEntryOutsideItsParentIsRefused) {
  OrvBuffer tooShort(361, ORV_LITTLE_ENDIAN);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvAtaSmartAttrBuf table(&tooShort); }), 7, 102));
  OrvAtaSmartData smart;
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvAtaSmartAttr entry(&smart.firstVendorArea, 31); }), 7, 102));
  testing::internal::GetCapturedStdout();
}

}  // namespace
