// Device-dump records: the feature buffer's layout through both reads
// failing or succeeding, and the records that describe dump files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devlib/orvlib_buffer_devdump.h"
#include "unit/buffer_helpers.h"

using namespace VazidaRaduru;
using buffer_test::isBufferStatus;

namespace {

// Fills one value as the device does after a successful read.
void readInto(OrvDevDumpFeatureHeader& header, u32 value, u8 fill, u32 dataLength) {
  header.validity.setValue(1);
  header.featureValue.setValue(value);
  header.dataLength.setValue(dataLength);
  if (OrvSubBuffer* view = header.getDataView()) {
    std::vector<u8> block(dataLength, fill);
    ASSERT_EQ(view->copyData(block.data(), dataLength, 0), 0u);
  }
}

std::vector<u8> headerBytes(u8 validity, u32 value, u16 length) {
  return {validity, static_cast<u8>(value), static_cast<u8>(value >> 8), static_cast<u8>(value >> 16),
          static_cast<u8>(value >> 24), static_cast<u8>(length), static_cast<u8>(length >> 8), 0};
}

bool bytesAre(OrvDevDumpFeatureBuffer& buffer, u32 offset, const std::vector<u8>& expected) {
  return offset + expected.size() <= buffer.getLength() &&
         std::memcmp(buffer.getBuffer() + offset, expected.data(), expected.size()) == 0;
}

bool filledWith(OrvDevDumpFeatureBuffer& buffer, u32 offset, u32 count, u8 value) {
  for (u32 i = 0; i < count; ++i)
    if (offset + i >= buffer.getLength() || buffer.getBuffer()[offset + i] != value) return false;
  return true;
}

}  // namespace

TEST(FeatureBuffer, WithoutDataTwoBareHeaders) {
  OrvDevDumpFeatureBuffer buffer(0);
  ASSERT_EQ(buffer.getLength(), 16u);
  EXPECT_EQ(buffer.getEndianess(), ORV_LITTLE_ENDIAN);
  EXPECT_EQ(buffer.getCurrent().getDataView(), nullptr);
  EXPECT_EQ(buffer.getSaved().getDataView(), nullptr);
  buffer.getCurrent().featureValue.setValue(258);
  buffer.getSaved().validity.setValue(1);
  buffer.dropCurrentData();
  buffer.dropSavedData();
  ASSERT_EQ(buffer.getLength(), 16u);
  EXPECT_TRUE(bytesAre(buffer, 0, headerBytes(0, 258, 0)));
  EXPECT_TRUE(bytesAre(buffer, 8, headerBytes(1, 0, 0)));
  EXPECT_EQ(buffer.getCurrent().featureValue.getName(), "Feature Value");
  EXPECT_EQ(buffer.getCurrent().validity.getName(), "Validity");
  EXPECT_EQ(buffer.getCurrent().dataLength.getName(), "Data Length");
}

TEST(FeatureBuffer, BothReadsSucceed) {
  OrvDevDumpFeatureBuffer buffer(4096);
  ASSERT_EQ(buffer.getLength(), 8208u);
  EXPECT_TRUE(filledWith(buffer, 0, 8208, 0)) << "made zeroed";
  readInto(buffer.getCurrent(), 0x11223344, 0xC1, 4096);
  readInto(buffer.getSaved(), 258, 0x5A, 4096);
  EXPECT_TRUE(bytesAre(buffer, 0, headerBytes(1, 0x11223344, 4096)));
  EXPECT_TRUE(filledWith(buffer, 8, 4096, 0xC1));
  EXPECT_TRUE(bytesAre(buffer, 4104, headerBytes(1, 258, 4096)));
  EXPECT_TRUE(bytesAre(buffer, 4105, {0x02, 0x01, 0x00, 0x00}));
  EXPECT_TRUE(filledWith(buffer, 4112, 4096, 0x5A));
}

TEST(FeatureBuffer, CurrentReadFails) {
  OrvDevDumpFeatureBuffer buffer(4096);
  u8* bytes = buffer.getBuffer();
  buffer.getCurrent().validity.setValue(0);
  buffer.dropCurrentData();
  EXPECT_EQ(buffer.getCurrent().getDataView(), nullptr);
  readInto(buffer.getSaved(), 7, 0x5A, 4096);
  ASSERT_EQ(buffer.getLength(), 4112u);
  EXPECT_EQ(buffer.getBuffer(), bytes) << "shrunk in place";
  EXPECT_TRUE(bytesAre(buffer, 0, headerBytes(0, 0, 0)));
  EXPECT_TRUE(bytesAre(buffer, 8, headerBytes(1, 7, 4096)));
  EXPECT_TRUE(filledWith(buffer, 16, 4096, 0x5A));
  ASSERT_NE(buffer.getSaved().getDataView(), nullptr);
  EXPECT_EQ(buffer.getSaved().getDataView()->getBuffer(), bytes + 16);
  EXPECT_EQ(buffer.getSaved().getBuffer(), bytes + 8);
  buffer.dropCurrentData();
  EXPECT_EQ(buffer.getLength(), 4112u) << "a second drop changes nothing";
}

TEST(FeatureBuffer, SavedReadFails) {
  OrvDevDumpFeatureBuffer buffer(4096);
  readInto(buffer.getCurrent(), 9, 0xC1, 4096);
  buffer.getSaved().validity.setValue(0);
  buffer.dropSavedData();
  ASSERT_EQ(buffer.getLength(), 4112u);
  EXPECT_EQ(buffer.getSaved().getDataView(), nullptr);
  EXPECT_TRUE(bytesAre(buffer, 0, headerBytes(1, 9, 4096)));
  EXPECT_TRUE(filledWith(buffer, 8, 4096, 0xC1));
  EXPECT_TRUE(bytesAre(buffer, 4104, headerBytes(0, 0, 0)));
  buffer.dropSavedData();
  EXPECT_EQ(buffer.getLength(), 4112u);
}

TEST(FeatureBuffer, BothReadsFailInEitherOrder) {
  OrvDevDumpFeatureBuffer savedFirst(100);
  savedFirst.getSaved().featureValue.setValue(0xAABBCCDD);  // stale bytes of a header kept
  savedFirst.dropSavedData();
  savedFirst.dropCurrentData();
  ASSERT_EQ(savedFirst.getLength(), 16u);
  EXPECT_TRUE(bytesAre(savedFirst, 8, headerBytes(0, 0xAABBCCDD, 0)));
  EXPECT_EQ(savedFirst.getSaved().getBuffer(), savedFirst.getBuffer() + 8);

  OrvDevDumpFeatureBuffer currentFirst(100);
  currentFirst.dropCurrentData();
  currentFirst.dropSavedData();
  ASSERT_EQ(currentFirst.getLength(), 16u);
  EXPECT_TRUE(filledWith(currentFirst, 0, 16, 0));
}

TEST(FeatureBuffer, LengthsThatCannotBeHeldAreRefused) {
  EXPECT_TRUE(isBufferStatus(thrownStatus([] { OrvDevDumpFeatureBuffer huge(0xFFFFFFF8u); }), 6));
  OrvBuffer parent(20, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvDevDumpFeatureHeader header(&parent, 16, 0); }), 7));
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvDevDumpFeatureHeader header(&parent, 0, 13); }), 7));
  OrvDevDumpFeatureHeader fits(&parent, 0, 12);
  EXPECT_EQ(fits.getDataView()->getLength(), 12u);
}

namespace {

struct Counted : OrvBuffer {
  explicit Counted(int& deleted) : OrvBuffer(1, ORV_LITTLE_ENDIAN), deleted(deleted) {}
  ~Counted() override { ++deleted; }
  int& deleted;
};

}  // namespace

TEST(DumpFileRecords, FileHeaderOwnsItsRecords) {
  int deleted = 0;
  {
    OrvDevDumpFileHeader header(3);
    EXPECT_EQ(header.getLength(), 32u);
    EXPECT_EQ(header.entryCount.getValue(), 3u);
    EXPECT_EQ(header.headerLength.getValue(), 32u);
    header.signature.setValue("VORMEL DUMP");
    EXPECT_EQ(header.signature.getValue(), "VORMEL DUMP");
    header.entry(0) = new Counted(deleted);
    header.entry(2) = new Counted(deleted);
    EXPECT_TRUE(isBufferStatus(thrownStatus([&] { header.entry(3); }), 7));
    header.entryCount.setValue(1000);  // the count in the bytes does not size the array
  }
  EXPECT_EQ(deleted, 2);
  OrvDevDumpFileHeader empty(0);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { empty.entry(0); }), 7));
}

TEST(DumpFileRecords, DataHeaderAndInformation) {
  OrvBuffer file(64, ORV_LITTLE_ENDIAN);
  OrvDevDumpDataHeader data(&file, 40);
  data.dataSize.setValue(0x01020304);
  data.dataType.setValue(5);
  EXPECT_EQ(file[40], 5);
  EXPECT_EQ(file[60], 0x04);
  EXPECT_EQ(file[63], 0x01);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvDevDumpDataHeader outside(&file, 41); }), 7));

  OrvDevDumpInfoBuffer info;
  ASSERT_EQ(info.numbers.size(), 10u);
  info.modelNumber.setValue("MODEL A");
  info.numbers[9].setValue(0x7F);
  EXPECT_EQ(info.modelNumber.getValue(), "MODEL A");
  EXPECT_EQ(info[104], 0x7F);
  EXPECT_EQ(info.getLength(), 108u);
  EXPECT_EQ(info.numbers[0].getName(), "Bus Type");
  EXPECT_EQ(info.numbers[9].getName(), "Dump Time High");
}
