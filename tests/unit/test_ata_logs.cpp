// The ATA SMART data page, its attribute table, and the log pages: self-test,
// error, directories, internal status header and SCT, over known bytes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata_logs.h"
#include "unit/ata_page_helpers.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal;

namespace {

std::string dumpHeader(OrvBuffer& page) {
  std::stringstream text;
  page.hexDump(text);
  return text.str().substr(0, text.str().find('\n') + 1);
}

// The dump of bytes first..first+count-1 of a page, as a buffer of its own
// would show them.
std::string dumpOf(OrvBuffer& page, u32 first, u32 count) {
  OrvBuffer copy(count, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(copy.copyData(page.getBuffer() + first, count, 0), 0u);
  std::stringstream text;
  copy.hexDump(text);
  return text.str();
}

template <typename Collectable>
std::vector<_OrvDataItem> exported(const Collectable& group) {
  OrvDevGenData<_OrvDataItem> data;
  group.collectFields(data);
  return data.items;
}

// ------------------------------------------------------------ SMART data

const char* const kOfflineBits[] = {"Selective self-test implemented",    "Conveyance self-test implemented",
                                    "Self-test implemented",              "Off-line read scanning implemented",
                                    "Abort/restart off-line by host",     "Vendor specific",
                                    "Execute off-line immediate implemented"};

TEST(AtaSmartData, PrintWritesBothVendorAreasAndEveryFieldLine) {
  OrvAtaSmartData smart;
  ASSERT_EQ(smart.getLength(), 512u);
  EXPECT_EQ(smart.getName(), "");
  for (u32 i = 0; i < 512; ++i) smart[i] = static_cast<u8>(i * 7);
  put(smart, 362, {0x82, 0x25, 0x34, 0x12, 0x07, 0x7B, 0x02, 0x00, 0xFF, 0x09, 0x02, 0xFF, 0x05, 0x2C, 0x01});

  std::string expected = "Vendor specific buffer (Byte 0:361) hex-dump\n" + dumpOf(smart, 0, 362) +
                         valueLine(":Off-line data collection status", 0x82) +
                         valueLine(":Self-test execution status byte", 0x25) +
                         valueLine(":Vendor specific(Word364)", 0x1234) + valueLine(":Vendor specific(Byte366)", 7);
  for (int i = 0; i < 7; ++i)
    expected += valueLine(std::string("Off-line data collection capability:") + kOfflineBits[i], i != 4);
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

  // Bit 0 of byte 370 only; the capability words of their own bytes.
  smart[370] = 0xFE;
  EXPECT_EQ(smart.errorLoggingSupported.getValue(), 0u);
  expectValues({{smart.smartCapability.getValue(), 2}, {smart.offlineCollectionCapability.getValue(), 0x7B},
                {smart.vendorByte366.getValue(), 7}, {offsetIn(smart.secondVendorArea, smart), 386},
                {smart.firstVendorArea.getLength(), 362}, {smart.secondVendorArea.getLength(), 125}});
}

TEST(AtaSmartData, ZeroPageAndTheWholePageDump) {
  OrvAtaSmartData smart;
  std::string text = printedText([&](void* file) { smart.print(file); });
  size_t lines = 0, zeros = 0;
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at) ++lines;
  for (size_t at = 0; (at = text.find(": 0\n", at)) != std::string::npos; ++at) ++zeros;
  EXPECT_EQ(zeros, 19u) << "10 fields, 7 off-line capability bits, 2 capability bits";
  EXPECT_EQ(lines, 2 + (2 + 23) + (2 + 8) + 19u) << "titles, dumps of 23 and 8 rows between dashed lines, fields";

  smart[511] = 0xA5;
  std::stringstream out;
  out << "old text";
  smart.hexDump(out);
  std::string expected = "SMART data Hex-Dump\n" + dumpOf(smart, 0, 512);
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(printedText([&](void* file) { smart.hexDump(file); }), expected);
  smart.hexDump(static_cast<void*>(nullptr));

  // The bytes never move from under the fields.
  u8* bytes = smart.getBuffer();
  EXPECT_TRUE(isSataStatus(smart.resize(513), 6));
  std::vector<u8> longer(600, 0x11), page(512, 0x22);
  EXPECT_TRUE(isSataStatus(smart.setBuffer(longer.data(), 600, ORV_LITTLE_ENDIAN), 6));
  EXPECT_EQ(smart.setBuffer(page.data(), 512, ORV_LITTLE_ENDIAN), 0u);
  EXPECT_EQ(smart.getBuffer(), bytes);
  EXPECT_EQ(smart.shortSelfTestPollingTime.getValue(), 0x22u);
}

TEST(AtaSmartCapability, OneFlagPerNamedBitAppendedInPrintOrder) {
  OrvAtaSmartData smart;
  smart[367] = 0x7B;
  smart[368] = 0x02;
  OrvDevGenData<_OrvDataItem> data;
  data.addItem(_OrvDataItem("before", 5, 0, 0));
  smart.offlineCollectionCapability.collectFields(data);
  smart.offlineCollectionCapability.collectFields(data);
  smart.smartCapability.collectFields(data);
  ASSERT_EQ(data.items.size(), 17u) << "appends, never clears";
  std::string exportedText;
  for (size_t i = 1; i < 17; ++i) {
    const _OrvDataItem& item = data.items[i];
    EXPECT_TRUE(item.kind == ORV_ITEM_FLAG && item.id == 0 && item.flag == 0) << item.name;
    exportedText += valueLine(item.name, item.value);
  }
  // The same lines as the print, which the whole page's print shows.
  std::string offline = printedText([&](void* file) { smart.offlineCollectionCapability.print(file); });
  std::string capability = printedText([&](void* file) { smart.smartCapability.print(file); });
  EXPECT_EQ(exportedText, offline + offline + capability);
  EXPECT_NE(printedText([&](void* file) { smart.print(file); }).find(offline + capability), std::string::npos);

  // Bits without a name show nowhere.
  put(smart, 367, {0x80, 0xFC, 0xFF});
  for (const _OrvDataItem& item : exported(smart.smartCapability)) EXPECT_EQ(item.value, 0u) << item.name;
  for (const _OrvDataItem& item : exported(smart.offlineCollectionCapability)) EXPECT_EQ(item.value, 0u) << item.name;
}

TEST(AtaSmartAttributes, EntriesLieAtTwelveTimesIndexLessTen) {
  OrvAtaSmartData smart;
  OrvAtaSmartAttrBuf table(&smart);
  OrvAtaSmartAttr* last = table.getAttr(30);
  put(smart, 350, {0xC2, 0x33, 0x00, 0x64, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xFF});
  expectValues({{offsetIn(table, smart), 0}, {table.getLength(), 362}, {offsetIn(*table.getAttr(1), smart), 2},
                {offsetIn(*last, smart), 350}, {last->getLength(), 12}, {last->attributeId.getValue(), 0xC2},
                {last->value.getValue(), 100}, {last->worstValue.getValue(), 90},
                {last->rawValue.getValue(), 0x060504030201ull}, {last->reserved.getValue(), 255},
                {last->flags.getValue(), 0x33}, {last->flags.preFailure.getValue(), 1},
                {last->flags.onlineCollection.getValue(), 1}, {last->flags.performance.getValue(), 0},
                {last->flags.errorRate.getValue(), 0}, {last->flags.eventCount.getValue(), 1},
                {last->flags.selfPreserving.getValue(), 1}, {table.getAttr(1)->attributeId.getValue(), 0}});
  EXPECT_EQ(last->flags.selfPreserving.getName(), "Self-Preserving Attribute type");
  EXPECT_EQ(printedText([&](void* file) { last->flags.print(file); }), "");
  EXPECT_TRUE(exported(last->flags).empty());

  for (u8 index : {0, 31, 255})
    EXPECT_TRUE(isSataStatus(thrownStatus([&] { table.getAttr(index); }), 7)) << int(index);
  table.createAttrs();
  EXPECT_EQ(offsetIn(*table.getAttr(30), smart), 350u) << "built anew, still 30";
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { table.getAttr(31); }), 7));

  // A table or an entry outside its parent is refused.
  OrvBuffer tooShort(361, ORV_LITTLE_ENDIAN);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvAtaSmartAttrBuf shortTable(&tooShort); }), 7, 102));
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvAtaSmartAttr entry(&smart.firstVendorArea, 31); }), 7, 102));
  testing::internal::GetCapturedStdout();
}

// ------------------------------------------------------- extended self-test

TEST(AtaSelfTestLog, HeaderDescriptorsAndFields) {
  OrvAtaExtSmartSelfTestLog log;
  EXPECT_TRUE(log.getLength() == 512 && log.getPageId() == 7 && log.getSubPageId() == 0 && log.getName().empty());
  EXPECT_EQ(dumpHeader(log), " [Page: 0x07, SubPage: 0x0000] Hex-Dump\n");
  put(log, 0, {0x01, 0xEE, 0x13, 0x00});
  // Descriptor 2: test type, status, life timestamp, checkpoint, LBA, vendor bytes.
  put(log, 30, {0x82, 0x25, 0x34, 0x12, 0x09, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xAB});
  OrvAtaExtSmartSelfTestDesc* desc = log.getDescriptor(2);
  expectValues({{log.revisionNumber.getValue(), 1}, {log.descriptorIndex.getValue(), 19},
                {offsetIn(*log.getDescriptor(1), log), 4}, {offsetIn(*desc, log), 30},
                {offsetIn(*log.getDescriptor(19), log), 472}, {log.getDescriptor(19)->getLength(), 26},
                {desc->testType.getValue(), 0x82}, {desc->status.getValue(), 0x25},
                {desc->status.executionStatus.getValue(), 2}, {desc->status.percentRemaining.getValue(), 5},
                {desc->lifeTimestamp.getValue(), 0x1234}, {desc->failureCheckpoint.getValue(), 9},
                {desc->lba.getValue(), 0x605040302010ull}, {offsetIn(desc->vendorArea, log), 41},
                {desc->vendorArea.getLength(), 15}, {desc->vendorArea[0], 0xAB},
                {log.getDescriptor(1)->testType.getValue(), 0}});
  EXPECT_EQ(desc->status.getName(), "Self test status");
  EXPECT_EQ(desc->status.executionStatus.getName(), "Self-test Execution Status");
  EXPECT_EQ(desc->status.percentRemaining.getName(), "Percent Self-Test Remaining");
  for (u8 index : {0, 20, 255})
    EXPECT_TRUE(isSataStatus(thrownStatus([&] { log.getDescriptor(index); }), 7)) << int(index);
}

// --------------------------------------------------------------- error log

TEST(AtaErrorLog, PageNamesFieldsAndStructurePositions) {
  const std::pair<u16, std::string> names[] = {{0, "0"}, {26, "1a"}, {0xFFFF, "ffff"}};
  for (const auto& n : names)
    EXPECT_EQ(OrvAtaExtComprSmartErrLogPage(n.first).getName(), "Extended Comprehensive SMART Error log page " + n.second);
  OrvAtaExtComprSmartErrLogPage page(26);
  EXPECT_TRUE(page.getPageId() == 3 && page.getSubPageId() == 26);
  EXPECT_EQ(dumpHeader(page), "Extended Comprehensive SMART Error log page 1a [Page: 0x03, SubPage: 0x001A] Hex-Dump\n");

  put(page, 0, {0x01, 0x77, 0x05, 0x80});
  put(page, 500, {0x2A, 0x01});
  put(page, 510, {0x55, 0xC3});
  OrvAtaExtComprSmartErrLogDs* ds = page.getErrLogDs(1);
  expectValues({{page.errorLogVersion.getValue(), 1}, {page.errorLogIndex.getValue(), 0x8005},
                {page.deviceErrorCount.getValue(), 0x12A}, {page.checksum.getValue(), 0xC3},
                {offsetIn(*ds, page), 4}, {offsetIn(*page.getErrLogDs(4), page), 376},
                {page.getErrLogDs(4)->getLength(), 124}, {offsetIn(*ds->getCmdDs(1), page), 4},
                {offsetIn(*ds->getCmdDs(5), page), 76}, {ds->getCmdDs(5)->getLength(), 18},
                {offsetIn(ds->errDs, page), 94}, {ds->errDs.getLength(), 34},
                {offsetIn(ds->errDs.extendedErrorInfo, page), 106}, {ds->errDs.extendedErrorInfo.getLength(), 19}});
  EXPECT_EQ(page.checksum.getName(), "Data structure checksum");
  for (u8 index : {0, 5}) EXPECT_TRUE(isSataStatus(thrownStatus([&] { page.getErrLogDs(index); }), 7)) << int(index);
  for (u8 index : {0, 6}) EXPECT_TRUE(isSataStatus(thrownStatus([&] { ds->getCmdDs(index); }), 7)) << int(index);
}

TEST(AtaErrorLog, CommandAndErrorFieldsDecode) {
  OrvAtaExtComprSmartErrLogPage page(0);
  // Command 2 of structure 3 starts at page byte 252 + 18.
  put(page, 270, {0x08, 0x01, 0x02, 0x10, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xE0, 0x25, 0x99,
                  0x78, 0x56, 0x34, 0x12, 0xFF});
  // The error of structure 2: page byte 128 + 90.
  put(page, 218, {0x01, 0x40, 0x09, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x40, 0x51});
  put(page, 249, {0x03, 0x10, 0x27});
  OrvAtaExtComprSmartCmdDs* cmd = page.getErrLogDs(3)->getCmdDs(2);
  OrvAtaExtComprSmartErrDs& err = page.getErrLogDs(2)->errDs;
  expectValues({{cmd->control.getValue(), 8}, {cmd->feature.getValue(), 0x0201}, {cmd->count.getValue(), 0x10},
                {cmd->lba.getValue(), 0x664422553311ull}, {cmd->dev.getValue(), 0xE0}, {cmd->cmd.getValue(), 0x25},
                {cmd->timestamp.getValue(), 0x12345678}, {err.transport.getValue(), 1}, {err.err.getValue(), 0x40},
                {err.count.getValue(), 9}, {err.lba.getValue(), 0xFFDDBBEECCAAull}, {err.dev.getValue(), 0x40},
                {err.status.getValue(), 0x51}, {err.powerStatus.getValue(), 3}, {err.timestamp.getValue(), 10000}});
  EXPECT_EQ(err.lba.getName(), "LBA");

  // Writing an LBA mirrors reading it and leaves the neighbours alone.
  OrvAtaCompErrLba& lba = page.getErrLogDs(1)->getCmdDs(1)->lba;
  put(page, 3, {0x77});
  put(page, 15, {0x77});
  lba.setValue(0x664422553311ull);
  for (u32 i = 0; i < 6; ++i) EXPECT_EQ(page[9 + i], 0x11 * (i + 1)) << i;
  EXPECT_TRUE(lba == 0x664422553311ull);
  EXPECT_TRUE(page[3] == 0x77 && page[15] == 0x77);
}

TEST(AtaErrorLog, ACopyViewsItsOwnBytes) {
  OrvAtaExtComprSmartErrLogPage page(26);
  page[511] = 0x42;
  page[4] = 0x08;
  OrvAtaExtComprSmartErrLogPage copy(page);
  EXPECT_NE(copy.getBuffer(), page.getBuffer());
  EXPECT_EQ(copy.getName(), page.getName());
  EXPECT_TRUE(copy.getPageId() == 3 && copy.getSubPageId() == 26);
  page[511] = 0;
  expectValues({{copy.checksum.getValue(), 0x42}, {copy.getErrLogDs(1)->getCmdDs(1)->control.getValue(), 8},
                {offsetIn(*copy.getErrLogDs(1), copy), 4}});

  // A page cut short is copied at full length, so no field reads past it.
  ASSERT_EQ(page.resize(100), 0u);
  OrvAtaExtComprSmartErrLogPage shortCopy(page);
  expectValues({{shortCopy.getLength(), 512}, {shortCopy.checksum.getValue(), 0},
                {shortCopy.getErrLogDs(1)->getCmdDs(1)->control.getValue(), 8}});
  EXPECT_TRUE(isSataStatus(page.resize(513), 6));
}

// ------------------------------------------------- directories and header

TEST(AtaLogDirectories, PageCountsOfEveryLogAddress) {
  OrvAtaGplLogDir gpl;
  OrvAtaSlLogDir smart;
  EXPECT_EQ(gpl.getName(), "GPL Log directory");
  EXPECT_TRUE(gpl.getPageId() == 0 && smart.getPageId() == 0 && gpl.getLength() == 512);
  EXPECT_EQ(dumpHeader(smart), "SMART Log directory [Page: 0x00, SubPage: 0x0000] Hex-Dump\n");
  for (OrvBuffer* dir : {static_cast<OrvBuffer*>(&gpl), static_cast<OrvBuffer*>(&smart)}) {
    put(*dir, 0, {0x01, 0x00});
    put(*dir, 0xE0, {0x10, 0x02});
    put(*dir, 510, {0x34, 0x12});
  }
  expectValues({{gpl.getPageCount(0x70), 0x0210}, {smart.getPageCount(0x70), 0x10}, {gpl.getPageCount(255), 0x1234},
                {smart.getPageCount(255), 0x34}, {gpl.getPageCount(0), 1}, {smart.getPageCount(1), 0}});
}

TEST(AtaInternalStatusHeader, FieldsAndReasonArea) {
  OrvAtaIntStatusHdrLog header;
  EXPECT_TRUE(header.getPageId() == 0x24 && header.getSubPageId() == 0 && header.getName().empty());
  put(header, 0, {0x24, 0, 0, 0, 0x11, 0x22, 0x33, 0xFF, 0x10, 0x00, 0x20, 0x01, 0x30, 0x02});
  put(header, 382, {0x01, 0x07, 0x5A});
  expectValues({{header.logAddress.getValue(), 0x24}, {header.ieeeOui.getValue(), 0x332211},
                {header.area1LastLogPage.getValue(), 0x10}, {header.area2LastLogPage.getValue(), 0x120},
                {header.area3LastLogPage.getValue(), 0x230}, {header.savedDataAvailable.getValue(), 1},
                {header.savedDataGenerationNumber.getValue(), 7}, {offsetIn(header.reasonIdentifier, header), 384},
                {header.reasonIdentifier.getLength(), 128}, {header.reasonIdentifier[0], 0x5A}});
  EXPECT_EQ(header.area2LastLogPage.getName(), "Area 2 last log page");
}

// --------------------------------------------------------------------- SCT

TEST(AtaSctStatus, FieldsDecodeLittleEndian) {
  OrvAtaSctStatus status;
  EXPECT_TRUE(status.getPageId() == 0xE0 && status.getName() == "SCT Status Response");
  put(status, 0, {0x03, 0x00, 0x01, 0x00, 0, 0, 0x01, 0x00, 0x00, 0x80, 0x05});
  put(status, 14, {0x02, 0x01, 0x04, 0x00, 0x01, 0x00});
  put(status, 40, {0x01, 0, 0, 0, 0, 0, 0, 0x80});
  put(status, 200, {0x28, 0xFB, 0x3C, 0x0A, 0x46, 0x99, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x77});
  EXPECT_EQ(status.formatVersion.getValue(), 3u);
  EXPECT_EQ(status.sctVersion.getValue(), 1u);
  EXPECT_EQ(status.statusFlags.getValue(), 0x80000001u);
  EXPECT_EQ(status.deviceState.getValue(), 5u);
  EXPECT_EQ(status.extendedStatusCode.getValue(), 0x0102u);
  EXPECT_EQ(status.actionCode.getValue(), 4u);
  EXPECT_EQ(status.functionCode.getValue(), 1u);
  EXPECT_EQ(status.lba.getValue(), 0x8000000000000001ull);
  EXPECT_EQ(status.currentTemp.getValue(), 0x28u);
  EXPECT_EQ(status.minTemp.getValue(), 251u);
  EXPECT_EQ(status.maxTemp.getValue(), 0x3Cu);
  EXPECT_EQ(status.lifeMinTemp.getValue(), 0x0Au);
  EXPECT_EQ(status.lifeMaxTemp.getValue(), 0x46u);
  EXPECT_EQ(status.overLimitCount.getValue(), 0x04030201u);
  EXPECT_EQ(status.underLimitCount.getValue(), 0x08070605u);
  EXPECT_EQ(status.vendorArea.getBuffer(), status.getBuffer() + 480);
  EXPECT_EQ(status.vendorArea.getLength(), 32u);
}

TEST(AtaSctStatus, PrintShowsEveryFieldInHexAndDecimalThenTheVendorArea) {
  OrvAtaSctStatus status;
  put(status, 0, {0x03, 0x00});
  put(status, 40, {0x01, 0, 0, 0, 0, 0, 0, 0x80});
  status[200] = 0xFB;
  status[511] = 0x41;
  std::stringstream vendorDump;
  status.vendorArea.hexDump(vendorDump);
  std::string expected =
      "Format Version           : 3 [3]\n"
      "SCT Version              : 0 [0]\n"
      "Status Flags             : 0 [0]\n"
      "Device State             : 0 [0]\n"
      "Extended Status Code     : 0 [0]\n"
      "Action Code              : 0 [0]\n"
      "Function Code            : 0 [0]\n"
      "LBA                      : 8000000000000001 [9223372036854775809]\n"
      "Current Temp             : fb [-5]\n"
      "Min Temp                 : 0 [0]\n"
      "Max Temp                 : 0 [0]\n"
      "Life Min Temp            : 0 [0]\n"
      "Life Max Temp            : 0 [0]\n"
      "Over Limit Count         : 0 [0]\n"
      "Under Limit Count        : 0 [0]\n"
      "SCT Vendor specific data:\n" +
      vendorDump.str();
  EXPECT_NE(vendorDump.str().find("41   '"), std::string::npos);
  EXPECT_EQ(printedText([&](void* file) { status.print(file); }), expected);
  status.print(nullptr);
}

TEST(AtaSctFeatureControl, FieldsWriteTheirOwnWordsOnly) {
  OrvAtaSctFtrCtlCmdBuf page;
  page[2] = 0x99;
  page.actionCode.setValue(4);
  EXPECT_TRUE(page[0] == 4 && page[1] == 0 && page[2] == 0x99);
  page.functionCode.setValue(1);
  page.featureCode.setValue(0x0103);
  page.state.setValue(2);
  page.optionFlags.setValue(1);
  const std::vector<u8> expected = {0x04, 0x00, 0x01, 0x00, 0x03, 0x01, 0x02, 0x00, 0x01, 0x00};
  for (u32 i = 0; i < 512; ++i) EXPECT_EQ(page[i], i < expected.size() ? expected[i] : 0) << i;
  EXPECT_EQ(printedText([&](void* file) { page.print(file); }),
            "Action Code              : 4 [4]\n"
            "Function Code            : 1 [1]\n"
            "Feature Code             : 103 [259]\n"
            "State                    : 2 [2]\n"
            "Option Flags             : 1 [1]\n");
  EXPECT_TRUE(isSataStatus(page.resize(1024), 6));
}

}  // namespace
