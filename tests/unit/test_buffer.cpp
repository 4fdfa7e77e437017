#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "unit/buffer_helpers.h"
#include "unit/scratch.h"

using namespace VazidaRaduru;
using namespace buffer_test;

namespace {

using Bytes = std::vector<u8>;
const std::string kSeparator = std::string(57, '-') + "\n";

std::string blankGroups(int count) { return std::string(3 * count, ' '); }

TEST(Buffer, ConstructionAndResize) {
  OrvBuffer big(512, ORV_BIG_ENDIAN);
  EXPECT_EQ(bytesOf(big), Bytes(512, 0));
  EXPECT_EQ(big.getEndianess(), ORV_BIG_ENDIAN);
  EXPECT_TRUE(isBufferStatus(thrownStatus([] { OrvBuffer none(0, ORV_LITTLE_ENDIAN); }), 6));

  OrvBuffer buffer(16, ORV_LITTLE_ENDIAN);
  buffer.setByte(0xAB);
  u8* memory = buffer.getBuffer();
  ASSERT_EQ(buffer.resize(4), 0u);
  ASSERT_EQ(buffer.resize(16), 0u);
  EXPECT_EQ(buffer.getBuffer(), memory) << "shrinking and growing within the allocation keep it";
  Bytes expected(16, 0);
  for (int i = 0; i < 4; ++i) expected[i] = 0xAB;
  EXPECT_EQ(bytesOf(buffer), expected) << "bytes given up come back as zeros";
  ASSERT_EQ(buffer.resize(32), 0u);
  expected.resize(32, 0);
  EXPECT_EQ(bytesOf(buffer), expected);
  EXPECT_TRUE(isBufferStatus(buffer.resize(0), 6));
  EXPECT_EQ(buffer.getLength(), 32u);
}

TEST(Buffer, CopiesOwnTheirBytesAndOutliveTheirSource) {
  auto source = std::make_unique<OrvBuffer>(filled({1, 2, 3, 4, 5}, ORV_BIG_ENDIAN));
  OrvBuffer copy(*source);
  OrvBuffer assigned(2, ORV_LITTLE_ENDIAN);
  assigned = *source;
  source.reset();
  EXPECT_EQ(bytesOf(copy), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(bytesOf(assigned), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(assigned.getEndianess(), ORV_BIG_ENDIAN);

  OrvBuffer empty;
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvBuffer bad(empty); }), 6));
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { assigned = empty; }), 6));
  EXPECT_EQ(bytesOf(assigned), (Bytes{1, 2, 3, 4, 5}));

  // Equal lengths keep the memory, so views made before stay valid.
  OrvBufBits view = assigned.dword(0, 0, 32);
  u8* memory = assigned.getBuffer();
  assigned = filled({0x12, 0x34, 0x56, 0x78, 0}, ORV_BIG_ENDIAN);
  EXPECT_EQ(assigned.getBuffer(), memory);
  EXPECT_EQ(view.getValue(), 0x12345678u);
}

TEST(Buffer, ContentsReplacedFromTheirOwnBytesAreMovedNotZeroed) {
  OrvBuffer buffer = filled({0, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_EQ(buffer.setBuffer(buffer.getBuffer() + 4, 4, ORV_BIG_ENDIAN), 0u);
  EXPECT_EQ(bytesOf(buffer), (Bytes{4, 5, 6, 7}));
  EXPECT_EQ(buffer.getEndianess(), ORV_BIG_ENDIAN);
  EXPECT_TRUE(isBufferStatus(buffer.setBuffer(buffer.getBuffer(), 0, ORV_LITTLE_ENDIAN), 6));

  OrvBuffer other = filled({9, 8, 7, 6, 5, 4});
  OrvSubBuffer tail(other, 2, 4);
  other = tail;
  EXPECT_EQ(bytesOf(other), (Bytes{7, 6, 5, 4}));
}

TEST(Buffer, CopyDataFromABuffer) {
  OrvBuffer source = filled({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  OrvBuffer target(6, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(target.copyData(source, 0, 0), 0u) << "length 0: as much as fits";
  EXPECT_EQ(bytesOf(target), (Bytes{0, 1, 2, 3, 4, 5}));

  target.resetZero();
  EXPECT_TRUE(isBufferStatus(target.copyData(source, 8, 4), 7));
  EXPECT_TRUE(isBufferStatus(target.copyData(source, 4, 0xFFFFFFFEu), 7)) << "offset + length wraps in 32 bits";
  EXPECT_TRUE(isBufferStatus(target.copyData(source, 0, 7), 7)) << "length 0, offset past the shorter buffer";
  EXPECT_EQ(bytesOf(target), Bytes(6, 0));

  EXPECT_EQ(target.copyData(source, 3, 7), 0u);
  EXPECT_EQ(target.copyData(source, 0, 4), 0u) << "length 0 copies min(6, 10) - 4 bytes";
  EXPECT_EQ(bytesOf(target), (Bytes{4, 5, 9, 0, 0, 0}));
  EXPECT_EQ(target.copyData(source, 0, 6), 0u);

  OrvBuffer empty;
  EXPECT_TRUE(isBufferStatus(empty.copyData(source, 2, 0), 2));
  EXPECT_TRUE(isBufferStatus(target.copyData(empty, 2, 0), 7));
  EXPECT_EQ(target.copyData(empty, 0, 0), 0u);

  // Within one buffer the copy is a move.
  OrvBuffer buffer = filled({0, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_EQ(buffer.copyData(buffer, 6, 2), 0u);
  EXPECT_EQ(bytesOf(buffer), (Bytes{2, 3, 4, 5, 6, 7, 6, 7}));
}

TEST(Buffer, CopyDataFromMemory) {
  const u8 bytes[] = {9, 8, 7, 6, 5};
  OrvBuffer target(4, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(target.copyData(bytes, 3, 0), 0u);
  EXPECT_EQ(target.copyData(bytes, 2, 2), 0u);
  EXPECT_EQ(bytesOf(target), (Bytes{7, 6, 7, 0}));
  EXPECT_TRUE(isBufferStatus(target.copyData(bytes, 5, 0), 7));
  EXPECT_TRUE(isBufferStatus(target.copyData(bytes, 0xFFFFFFFFu, 1), 7));
  EXPECT_TRUE(isBufferStatus(target.copyData(static_cast<const u8*>(nullptr), 1, 0), 2));
  OrvBuffer empty;
  EXPECT_TRUE(isBufferStatus(empty.copyData(bytes, 1, 0), 2));

  ASSERT_EQ(target.copyData(target.getBuffer(), 3, 1), 0u);
  EXPECT_EQ(bytesOf(target), (Bytes{6, 7, 0, 0}));
}

TEST(Buffer, IndexingAndComparison) {
  OrvBuffer buffer = filled({1, 2, 3, 4, 5});
  EXPECT_EQ(buffer[4], 5);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { buffer[5]; }), 7));

  const u8 same[] = {1, 2, 3, 4, 5};
  EXPECT_TRUE(buffer.compare(same, 5));
  EXPECT_FALSE(buffer.compare(same, 4));
  OrvBuffer other = filled({0, 0, 3, 4, 5});
  EXPECT_TRUE(buffer.compare(other, 2, 3));
  EXPECT_TRUE(buffer.compare(other, 2, 0));
  EXPECT_FALSE(buffer.compare(other, 1, 2));
  EXPECT_FALSE(buffer.compare(other, 5, 1));
  EXPECT_FALSE(buffer.compare(other, 4, 0xFFFFFFFFu));
  EXPECT_FALSE(buffer.compare(other));
  EXPECT_TRUE(buffer.compare(filled({1, 2, 3, 4, 5})));
}

TEST(Buffer, FillsRepeatTheValueLeastSignificantByteFirst) {
  OrvBuffer little(5, ORV_LITTLE_ENDIAN);
  little.setWord(0x1234);
  EXPECT_EQ(bytesOf(little), (Bytes{0x34, 0x12, 0x34, 0x12, 0x34}));
  OrvBuffer big(5, ORV_BIG_ENDIAN);
  big.setWord(0x1234);
  EXPECT_EQ(bytesOf(big), (Bytes{0x34, 0x12, 0x34, 0x12, 0x12}));
  OrvBuffer wide(10, ORV_LITTLE_ENDIAN);
  wide.setQWord(0x0807060504030201ull);
  EXPECT_EQ(bytesOf(wide), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 1, 2}));
}

TEST(Buffer, RandomFillReachesEveryByte) {
  // A missed byte stays 0; a random byte is 0 once in 256, so 40 rounds
  // hide a missed byte with odds of 1 in 256^40.
  OrvBuffer buffer(13, ORV_LITTLE_ENDIAN);
  std::vector<bool> seenNonZero(13, false);
  for (int round = 0; round < 40; ++round) {
    buffer.resetZero();
    buffer.setRandom();
    for (u32 i = 0; i < 13; ++i) seenNonZero[i] = seenNonZero[i] || buffer[i] != 0;
  }
  EXPECT_EQ(seenNonZero, std::vector<bool>(13, true));
}

TEST(BufferDump, ExactText) {
  std::stringstream out;
  out << "previous contents that must vanish";
  OrvBuffer().hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + "Empty Buffer\n" + kSeparator);

  filled({0x41, 0x42, 0x00}).hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + "00000000: 41 42 00 " + blankGroups(13) + "  'AB.'\n" + kSeparator);

  Bytes bytes;
  for (int i = 0; i < 17; ++i) bytes.push_back(static_cast<u8>(0x1F + i * 7));
  const std::string firstRow =
      "00000000: 1f 26 2d 34 3b 42 49 50 57 5e 65 6c 73 7a 81 88   '.&-4;BIPW^elsz..'\n";
  filled(bytes).hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + firstRow + "00000010: 8f " + blankGroups(15) + "  '.'\n" + kSeparator);
  bytes.pop_back();
  filled(bytes).hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + firstRow + kSeparator);

  OrvBuffer(0x120, ORV_LITTLE_ENDIAN).hexDump(out);
  EXPECT_NE(out.str().find("\n00000110: 00 "), std::string::npos) << "row addresses count in hex";

  out.str("x:");
  out.seekp(0, std::ios::end);
  filled({0x0A, 0xFF}).strDump(out);
  OrvBuffer().strDump(out);
  EXPECT_EQ(out.str(), "x:0a ff Empty Buffer") << "strDump appends";
}

TEST(BufferDump, FileFormsWriteTheSameTextAndTheRawBytes) {
  OrvBuffer buffer = filled({0x0A, 0xFF, 0x30});
  std::stringstream expected;
  buffer.hexDump(expected);
  EXPECT_EQ(withoutCarriageReturns(writtenTo([&](std::FILE* file) { buffer.hexDump(file); })), expected.str());
  EXPECT_EQ(writtenTo([&](std::FILE* file) { buffer.binDump(file); }), std::string("\x0a\xff\x30", 3));

  buffer.hexDump(static_cast<void*>(nullptr));
  buffer.binDump(nullptr);
}

}  // namespace
