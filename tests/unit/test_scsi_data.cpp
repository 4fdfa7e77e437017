// What the SCSI device reads out of a drive's answers: mode pages found in a
// parameter list, the unit serial number, sense data of both formats, and
// the command blocks it builds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "devlib/scsi/orvlib_buffer_scsi.h"
#include "devlib/scsi/orvlib_cmd_scsi.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruScsi;
using namespace VazidaRaduru::VazidaRaduruScsi::VazidaRaduruScsiInternal;

constexpr u32 kScsiBufferFile = 140;

void fill(OrvBuffer& buffer, const std::vector<u8>& bytes) {
  if (!bytes.empty()) std::memcpy(buffer.getBuffer(), bytes.data(), bytes.size());
}

// A MODE SENSE (10) list: header with an 8-byte block descriptor, a
// subpage-format page, the caching page, the informational exceptions page.
std::vector<u8> modeList() {
  std::vector<u8> bytes = {0, 0, 0, 0x10, 0, 0, 0, 8, 0, 0, 0, 1, 0, 0, 2, 0};
  std::vector<u8> subpage = {0x40 | 0x0A, 0x01, 0x00, 0x04, 0x04, 0x04, 0x04, 0x04};
  std::vector<u8> caching(20, 0);
  caching[0] = 0x88;
  caching[1] = 18;
  caching[2] = 0x04;
  std::vector<u8> exceptions(12, 0);
  exceptions[0] = 0x9C;
  exceptions[1] = 10;
  exceptions[2] = 0x08;
  for (const auto* page : {&subpage, &caching, &exceptions}) bytes.insert(bytes.end(), page->begin(), page->end());
  bytes[1] = static_cast<u8>(bytes.size() - 2);
  return bytes;
}

u64 thrownPageStatus(OrvScsiModeParamList10& list, u8 page, u32 byte) {
  return thrownStatus([&] { list.pageBit(page, byte, 0, "bit"); });
}

TEST(ScsiModeParameters, PagesFoundPastDescriptorsAndSubpages) {
  OrvScsiModeParamList10 list;
  fill(list, modeList());
  EXPECT_EQ(list.pageBit(OrvScsiModeParamList10::CACHING_PAGE, 2, 2, "WCE").getValue(), 1u);
  EXPECT_EQ(list.pageBit(OrvScsiModeParamList10::CACHING_PAGE, 2, 0, "RCD").getValue(), 0u);
  OrvBufField dexcpt = list.pageBit(OrvScsiModeParamList10::INFORMATIONAL_EXCEPTIONS_PAGE, 2, 3, "DEXCPT");
  EXPECT_EQ(dexcpt.getValue(), 1u);
  EXPECT_EQ(dexcpt.getName(), "DEXCPT");
  // The control page appears only in its subpage format: not the page asked.
  EXPECT_TRUE(isLibStatus(thrownPageStatus(list, OrvScsiModeParamList10::CONTROL_PAGE, 2),
                          ORV_ERR_MODE_SENSE_FIELD, kScsiBufferFile));
  // A byte beyond the page's own length.
  EXPECT_TRUE(isLibStatus(thrownPageStatus(list, OrvScsiModeParamList10::INFORMATIONAL_EXCEPTIONS_PAGE, 12),
                          ORV_ERR_MODE_SENSE_FIELD, kScsiBufferFile));
}

TEST(ScsiModeParameters, ListsThatClaimMoreThanTheyHold) {
  OrvScsiModeParamList10 list;
  std::vector<u8> bytes = modeList();
  // The data length ends the list before the exceptions page.
  bytes[1] = static_cast<u8>(bytes.size() - 2 - 12);
  fill(list, bytes);
  EXPECT_TRUE(isLibStatus(thrownPageStatus(list, OrvScsiModeParamList10::INFORMATIONAL_EXCEPTIONS_PAGE, 2),
                          ORV_ERR_MODE_SENSE_FIELD, kScsiBufferFile));
  // A data length and a descriptor length past the buffer: the search stays
  // inside it.
  list.resetZero();
  fill(list, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
  std::memset(list.getBuffer() + 8, 0x3F, list.getLength() - 8);
  EXPECT_TRUE(isLibStatus(thrownPageStatus(list, 0x08, 2), ORV_ERR_MODE_SENSE_FIELD, kScsiBufferFile));
  EXPECT_TRUE(isLibStatus(thrownPageStatus(list, 0x3F, 200), ORV_ERR_MODE_SENSE_FIELD, kScsiBufferFile));
  list.resetZero();
  fill(list, {0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF});
  EXPECT_TRUE(isLibStatus(thrownPageStatus(list, 0x08, 2), ORV_ERR_MODE_SENSE_FIELD, kScsiBufferFile));
}

TEST(ScsiSerialPage, SerialWithinThePageAndTheBuffer) {
  OrvScsiSerialPage page;
  fill(page, {0, 0x80, 0, 10, ' ', ' ', 'A', 'B', 'C', '1', '2', ' ', ' ', ' ', 'X'});
  EXPECT_EQ(page.serialNumber(), "ABC12");
  // A page length beyond the buffer reads to its end only.
  page.resetZero();
  fill(page, {0, 0x80, 0xFF, 0xFF});
  std::memset(page.getBuffer() + 4, 'S', page.getLength() - 4);
  EXPECT_EQ(page.serialNumber(), std::string(OrvScsiSerialPage::LENGTH - 4, 'S'));
}

TEST(ScsiInquiry, NamesNoDriveWithoutAVendorAndAProduct) {
  using namespace std::string_literals;
  const struct {
    std::string vendor, product;  // the start of each field; NULs after
    bool namesNoDrive;
  } cases[] = {
      {"", "", true},
      {"        ", "                ", true},
      {"  \0     "s, "\0\0  "s, true},
      {"MAKER   ", "                ", false},
      {"        ", "MODEL B         ", false},
      {"MAKER", "MODEL B", false},
  };
  for (const auto& c : cases) {
    OrvScsiInquiryData data;
    std::memcpy(data.getBuffer() + 8, c.vendor.data(), c.vendor.size());
    std::memcpy(data.getBuffer() + 16, c.product.data(), c.product.size());
    EXPECT_EQ(data.namesNoDrive(), c.namesNoDrive) << "'" << c.vendor << "' '" << c.product << "'";
  }
}

TEST(ScsiSense, BothFormats) {
  const std::pair<std::vector<u8>, std::pair<u8, u16>> cases[] = {
      {{0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3F, 0x01}, {0x06, 0x3F01}},
      {{0x72, 0x02, 0x04, 0x01, 0, 0, 0, 0}, {0x02, 0x0401}},
      {{}, {0, 0}},  // no sense data at all: the drive was not reached
      {{0x00, 0x05, 0x05}, {0, 0}},  // bytes that are no sense data
  };
  for (const auto& c : cases) {
    OrvBuffer sense(252, ORV_LITTLE_ENDIAN);
    fill(sense, c.first);
    EXPECT_EQ(scsiSenseKey(sense), c.second.first);
    EXPECT_EQ(scsiAdditionalSense(sense), c.second.second);
  }
}

TEST(ScsiCommandBlocks, FieldsInPlace) {
  OrvScsiCmdWriteBuffer segment(0x0E, 0x123400, 0xABCDEF);
  OrvScsiCmdReportSupportedOpCodes report(3, 0x3B, 0x0F, 20);
  OrvScsiCmdModeSense10 modeSense(0x1C, 0, 256);
  OrvScsiCmdInquiry serialPage(true, 0x80, 252);
  const std::pair<const OrvBuffer*, std::vector<u8>> blocks[] = {
      {&segment, {0x3B, 0x0E, 0, 0x12, 0x34, 0x00, 0xAB, 0xCD, 0xEF, 0}},
      {&report, {0xA3, 0x0C, 0x03, 0x3B, 0x00, 0x0F, 0, 0, 0, 20, 0, 0}},
      {&modeSense, {0x5A, 0x08, 0x1C, 0, 0, 0, 0, 0x01, 0x00, 0}},
      {&serialPage, {0x12, 0x01, 0x80, 0x00, 0xFC, 0}},
  };
  for (const auto& b : blocks)
    EXPECT_EQ(std::vector<u8>(b.first->getBuffer(), b.first->getBuffer() + b.second.size()), b.second);
  // Failure codes and directions.
  EXPECT_TRUE(segment.failureCode() == 112 && modeSense.failureCode() == 113 && serialPage.failureCode() == 109);
  EXPECT_TRUE(!segment.dataIn() && modeSense.dataIn() && serialPage.dataIn());
}

}  // namespace
