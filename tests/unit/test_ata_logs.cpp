#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata_logs.h"
#include "unit/ata_page_helpers.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal;

namespace {

std::string dumpHeader(OrvLogBuffer& page) {
  std::stringstream text;
  page.hexDump(text);
  return text.str().substr(0, text.str().find('\n') + 1);
}

// ------------------------------------------------------- extended self-test

TEST(AtaSelfTestLog, HeaderFieldsAndIdentification) {
  OrvAtaExtSmartSelfTestLog log;
  put(log, 0, {0x01, 0xEE, 0x13, 0x00});
  EXPECT_EQ(log.revisionNumber.getValue(), 1u);
  EXPECT_EQ(log.descriptorIndex.getValue(), 19u);
  EXPECT_EQ(log.getLength(), 512u);
  EXPECT_TRUE(log.getPageId() == 7 && log.getSubPageId() == 0 && log.getName().empty());
  EXPECT_EQ(dumpHeader(log), " [Page: 0x07, SubPage: 0x0000] Hex-Dump\n");
}

TEST(AtaSelfTestLog, DescriptorsNumberedOneToNineteen) {
  OrvAtaExtSmartSelfTestLog log;
  EXPECT_EQ(log.getDescriptor(1)->getBuffer(), log.getBuffer() + 4);
  EXPECT_EQ(log.getDescriptor(2)->getBuffer(), log.getBuffer() + 30);
  EXPECT_EQ(log.getDescriptor(19)->getBuffer(), log.getBuffer() + 472);
  EXPECT_EQ(log.getDescriptor(19)->getLength(), 26u);
  for (u8 index : {0, 20, 255})
    EXPECT_TRUE(isSataStatus(thrownStatus([&] { log.getDescriptor(index); }), 7)) << int(index);
}

TEST(AtaSelfTestLog, DescriptorFieldsDecode) {
  OrvAtaExtSmartSelfTestLog log;
  // Descriptor 2: test type, status, life timestamp, checkpoint, LBA, vendor bytes.
  put(log, 30, {0x82, 0x25, 0x34, 0x12, 0x09, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xAB});
  OrvAtaExtSmartSelfTestDesc* desc = log.getDescriptor(2);
  EXPECT_EQ(desc->testType.getValue(), 0x82u);
  EXPECT_EQ(desc->status.getValue(), 0x25u);
  EXPECT_EQ(desc->status.getName(), "Self test status");
  EXPECT_EQ(desc->status.executionStatus.getValue(), 2u);
  EXPECT_EQ(desc->status.executionStatus.getName(), "Self-test Execution Status");
  EXPECT_EQ(desc->status.percentRemaining.getValue(), 5u);
  EXPECT_EQ(desc->status.percentRemaining.getName(), "Percent Self-Test Remaining");
  EXPECT_EQ(desc->lifeTimestamp.getValue(), 0x1234u);
  EXPECT_EQ(desc->failureCheckpoint.getValue(), 9u);
  EXPECT_EQ(desc->lba.getValue(), 0x605040302010ull);
  EXPECT_EQ(desc->vendorArea.getBuffer(), log.getBuffer() + 41);
  EXPECT_EQ(desc->vendorArea.getLength(), 15u);
  EXPECT_EQ(desc->vendorArea[0], 0xAB);
  EXPECT_EQ(log.getDescriptor(1)->testType.getValue(), 0u);
}

// --------------------------------------------------------------- error log

TEST(AtaErrorLog, PageNumberNamesThePageInHexadecimal) {
  OrvAtaExtComprSmartErrLogPage first(0);
  OrvAtaExtComprSmartErrLogPage other(26);
  OrvAtaExtComprSmartErrLogPage highest(0xFFFF);
  EXPECT_EQ(first.getName(), "Extended Comprehensive SMART Error log page 0");
  EXPECT_EQ(other.getName(), "Extended Comprehensive SMART Error log page 1a");
  EXPECT_EQ(highest.getName(), "Extended Comprehensive SMART Error log page ffff");
  EXPECT_TRUE(other.getPageId() == 3 && other.getSubPageId() == 26);
  EXPECT_EQ(dumpHeader(other), "Extended Comprehensive SMART Error log page 1a [Page: 0x03, SubPage: 0x001A] Hex-Dump\n");
}

TEST(AtaErrorLog, PageFieldsAndStructurePositions) {
  OrvAtaExtComprSmartErrLogPage page(1);
  put(page, 0, {0x01, 0x77, 0x05, 0x80});
  put(page, 500, {0x2A, 0x01});
  page[510] = 0x55;
  page[511] = 0xC3;
  EXPECT_EQ(page.errorLogVersion.getValue(), 1u);
  EXPECT_EQ(page.errorLogIndex.getValue(), 0x8005u);
  EXPECT_EQ(page.deviceErrorCount.getValue(), 0x12Au);
  EXPECT_EQ(page.checksum.getValue(), 0xC3u) << "byte 511 only";
  EXPECT_EQ(page.checksum.getName(), "Data structure checksum");

  EXPECT_EQ(page.getErrLogDs(1)->getBuffer(), page.getBuffer() + 4);
  EXPECT_EQ(page.getErrLogDs(4)->getBuffer(), page.getBuffer() + 376);
  EXPECT_EQ(page.getErrLogDs(4)->getLength(), 124u);
  for (u8 index : {0, 5})
    EXPECT_TRUE(isSataStatus(thrownStatus([&] { page.getErrLogDs(index); }), 7)) << int(index);

  OrvAtaExtComprSmartErrLogDs* ds = page.getErrLogDs(1);
  EXPECT_EQ(ds->getCmdDs(1)->getBuffer(), page.getBuffer() + 4);
  EXPECT_EQ(ds->getCmdDs(5)->getBuffer(), page.getBuffer() + 76);
  EXPECT_EQ(ds->getCmdDs(5)->getLength(), 18u);
  EXPECT_EQ(ds->errDs.getBuffer(), page.getBuffer() + 94);
  EXPECT_EQ(ds->errDs.getLength(), 34u);
  EXPECT_EQ(ds->errDs.extendedErrorInfo.getBuffer(), page.getBuffer() + 106);
  EXPECT_EQ(ds->errDs.extendedErrorInfo.getLength(), 19u);
  for (u8 index : {0, 6})
    EXPECT_TRUE(isSataStatus(thrownStatus([&] { ds->getCmdDs(index); }), 7)) << int(index);
}

TEST(AtaErrorLog, CommandAndErrorFieldsDecode) {
  OrvAtaExtComprSmartErrLogPage page(0);
  // Command 2 of structure 3 starts at page byte 252 + 18.
  put(page, 270, {0x08, 0x01, 0x02, 0x10, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xE0, 0x25, 0x99,
                  0x78, 0x56, 0x34, 0x12, 0xFF});
  OrvAtaExtComprSmartCmdDs* cmd = page.getErrLogDs(3)->getCmdDs(2);
  EXPECT_EQ(cmd->control.getValue(), 8u);
  EXPECT_EQ(cmd->feature.getValue(), 0x0201u);
  EXPECT_EQ(cmd->count.getValue(), 0x10u);
  EXPECT_EQ(cmd->lba.getValue(), 0x664422553311ull) << "register order";
  EXPECT_EQ(cmd->dev.getValue(), 0xE0u);
  EXPECT_EQ(cmd->cmd.getValue(), 0x25u);
  EXPECT_EQ(cmd->timestamp.getValue(), 0x12345678u) << "bytes 14 to 17 only";

  // The error of structure 2: page byte 128 + 90.
  put(page, 218, {0x01, 0x40, 0x08, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x40, 0x51});
  put(page, 249, {0x03, 0x10, 0x27});
  OrvAtaExtComprSmartErrDs& err = page.getErrLogDs(2)->errDs;
  EXPECT_EQ(err.transport.getValue(), 1u);
  EXPECT_EQ(err.err.getValue(), 0x40u);
  EXPECT_EQ(err.count.getValue(), 8u);
  EXPECT_EQ(err.lba.getValue(), 0xFFDDBBEECCAAull);
  EXPECT_EQ(err.dev.getValue(), 0x40u);
  EXPECT_EQ(err.status.getValue(), 0x51u);
  EXPECT_EQ(err.powerStatus.getValue(), 3u);
  EXPECT_EQ(err.timestamp.getValue(), 10000u);
  EXPECT_EQ(err.lba.getName(), "LBA");
}

TEST(AtaErrorLog, WritingAnLbaMirrorsReading) {
  OrvAtaExtComprSmartErrLogPage page(0);
  OrvAtaCompErrLba& lba = page.getErrLogDs(1)->getCmdDs(1)->lba;
  page[3] = 0x77;
  page[15] = 0x77;
  lba.setValue(0x664422553311ull);
  for (u32 i = 0; i < 6; ++i) EXPECT_EQ(page[9 + i], 0x11 * (i + 1)) << i;
  EXPECT_EQ(lba.getValue(), 0x664422553311ull);
  EXPECT_TRUE(lba == 0x664422553311ull);
  EXPECT_TRUE(page[3] == 0x77 && page[15] == 0x77) << "neighbours untouched";
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
  EXPECT_EQ(copy.checksum.getValue(), 0x42u);
  EXPECT_EQ(copy.getErrLogDs(1)->getCmdDs(1)->control.getValue(), 8u);
  EXPECT_EQ(copy.getErrLogDs(1)->getBuffer(), copy.getBuffer() + 4);

  // A page cut short is copied at full length, so no field reads past it.
  ASSERT_EQ(page.resize(100), 0u);
  OrvAtaExtComprSmartErrLogPage shortCopy(page);
  EXPECT_EQ(shortCopy.getLength(), 512u);
  EXPECT_EQ(shortCopy.checksum.getValue(), 0u);
  EXPECT_EQ(shortCopy.getErrLogDs(1)->getCmdDs(1)->control.getValue(), 8u);
  EXPECT_TRUE(isSataStatus(page.resize(513), 6));
}

// ------------------------------------------------- directories and header

TEST(AtaLogDirectories, PageCountsOfEveryLogAddress) {
  OrvAtaGplLogDir gpl;
  OrvAtaSlLogDir smart;
  EXPECT_EQ(gpl.getName(), "GPL Log directory");
  EXPECT_EQ(smart.getName(), "SMART Log directory");
  EXPECT_TRUE(gpl.getPageId() == 0 && smart.getPageId() == 0 && gpl.getLength() == 512);
  EXPECT_EQ(dumpHeader(smart), "SMART Log directory [Page: 0x00, SubPage: 0x0000] Hex-Dump\n");

  for (OrvBuffer* dir : {static_cast<OrvBuffer*>(&gpl), static_cast<OrvBuffer*>(&smart)}) {
    put(*dir, 0, {0x01, 0x00});
    put(*dir, 0xE0, {0x10, 0x02});
    put(*dir, 510, {0x34, 0x12});
  }
  EXPECT_EQ(gpl.getPageCount(0x70), 0x0210u);
  EXPECT_EQ(smart.getPageCount(0x70), 0x10u);
  EXPECT_EQ(gpl.getPageCount(255), 0x1234u);
  EXPECT_EQ(smart.getPageCount(255), 0x34u);
  EXPECT_EQ(gpl.getPageCount(0), 1u);
  EXPECT_EQ(smart.getPageCount(1), 0u);
}

TEST(AtaInternalStatusHeader, FieldsAndReasonArea) {
  OrvAtaIntStatusHdrLog header;
  EXPECT_TRUE(header.getPageId() == 0x24 && header.getSubPageId() == 0 && header.getName().empty());
  put(header, 0, {0x24, 0, 0, 0, 0x11, 0x22, 0x33, 0xFF, 0x10, 0x00, 0x20, 0x01, 0x30, 0x02});
  put(header, 382, {0x01, 0x07, 0x5A});
  EXPECT_EQ(header.logAddress.getValue(), 0x24u);
  EXPECT_EQ(header.ieeeOui.getValue(), 0x332211u) << "byte 7 not included";
  EXPECT_EQ(header.area1LastLogPage.getValue(), 0x10u);
  EXPECT_EQ(header.area2LastLogPage.getValue(), 0x120u);
  EXPECT_EQ(header.area3LastLogPage.getValue(), 0x230u);
  EXPECT_EQ(header.savedDataAvailable.getValue(), 1u);
  EXPECT_EQ(header.savedDataGenerationNumber.getValue(), 7u);
  EXPECT_EQ(header.area2LastLogPage.getName(), "Area 2 last log page");
  EXPECT_EQ(header.reasonIdentifier.getBuffer(), header.getBuffer() + 384);
  EXPECT_EQ(header.reasonIdentifier.getLength(), 128u);
  EXPECT_EQ(header.reasonIdentifier[0], 0x5A);
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
