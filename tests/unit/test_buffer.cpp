#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "unit/buffer_helpers.h"

using namespace VazidaRaduru;
using namespace buffer_test;

namespace {

const std::string kSeparator = std::string(57, '-') + "\n";

TEST(Buffer, ConstructionAllocatesZeroedBytesOrThrowsForLengthZero) {
  OrvBuffer empty;
  EXPECT_EQ(empty.getBuffer(), nullptr);
  EXPECT_EQ(empty.getLength(), 0u);
  EXPECT_EQ(empty.getEndianess(), ORV_LITTLE_ENDIAN);
  EXPECT_EQ(empty.getName(), "");

  OrvBuffer big(512, ORV_BIG_ENDIAN);
  EXPECT_EQ(big.getLength(), 512u);
  EXPECT_EQ(big.getEndianess(), ORV_BIG_ENDIAN);
  EXPECT_EQ(bytesOf(big), std::vector<u8>(512, 0));

  EXPECT_TRUE(isBufferStatus(thrownStatus([] { OrvBuffer none(0, ORV_LITTLE_ENDIAN); }), 6));
}

TEST(Buffer, ResizeKeepsTheAllocationWhenShrinkingAndZeroesWhatItGivesUp) {
  OrvBuffer buffer(16, ORV_LITTLE_ENDIAN);
  buffer.setByte(0xAB);
  u8* memory = buffer.getBuffer();
  ASSERT_EQ(buffer.resize(4), 0u);
  EXPECT_EQ(buffer.getLength(), 4u);
  EXPECT_EQ(buffer.getBuffer(), memory);
  ASSERT_EQ(buffer.resize(16), 0u);
  EXPECT_EQ(buffer.getBuffer(), memory) << "growing within the allocation keeps it";
  std::vector<u8> expected(16, 0);
  for (int i = 0; i < 4; ++i) expected[i] = 0xAB;
  EXPECT_EQ(bytesOf(buffer), expected);

  ASSERT_EQ(buffer.resize(32), 0u);
  expected.resize(32, 0);
  EXPECT_EQ(bytesOf(buffer), expected) << "reallocation keeps the old bytes and zeroes the new";

  EXPECT_TRUE(isBufferStatus(buffer.resize(0), 6));
  EXPECT_EQ(buffer.getLength(), 32u);
}

TEST(Buffer, CopiesOwnTheirBytesAndOutliveTheirSource) {
  auto source = std::make_unique<OrvBuffer>(filled({1, 2, 3, 4, 5}, ORV_BIG_ENDIAN));
  OrvBuffer copy(*source);
  OrvBuffer assigned(2, ORV_LITTLE_ENDIAN);
  assigned = *source;
  EXPECT_NE(copy.getBuffer(), source->getBuffer());
  source.reset();
  EXPECT_EQ(bytesOf(copy), (std::vector<u8>{1, 2, 3, 4, 5}));
  EXPECT_EQ(copy.getEndianess(), ORV_BIG_ENDIAN);
  EXPECT_EQ(bytesOf(assigned), (std::vector<u8>{1, 2, 3, 4, 5}));
  EXPECT_EQ(assigned.getEndianess(), ORV_BIG_ENDIAN);

  OrvBuffer empty;
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvBuffer bad(empty); }), 6));
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { assigned = empty; }), 6));
  EXPECT_EQ(bytesOf(assigned), (std::vector<u8>{1, 2, 3, 4, 5}));
}

TEST(Buffer, AssigningAnEquallyLongBufferKeepsTheMemorySoViewsStayValid) {
  OrvBuffer target(4, ORV_LITTLE_ENDIAN);
  OrvBufBits view = target.dword(0, 0, 32);
  u8* memory = target.getBuffer();
  target = filled({0x78, 0x56, 0x34, 0x12});
  EXPECT_EQ(target.getBuffer(), memory);
  EXPECT_EQ(view.getValue(), 0x12345678u);
}

TEST(Buffer, ContentsReplacedFromTheirOwnBytesAreMovedNotZeroed) {
  OrvBuffer buffer = filled({0, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_EQ(buffer.setBuffer(buffer.getBuffer() + 4, 4, ORV_BIG_ENDIAN), 0u);
  EXPECT_EQ(bytesOf(buffer), (std::vector<u8>{4, 5, 6, 7}));
  EXPECT_EQ(buffer.getEndianess(), ORV_BIG_ENDIAN);

  OrvBuffer other = filled({9, 8, 7, 6, 5, 4});
  OrvSubBuffer tail(other, 2, 4);
  other = tail;
  EXPECT_EQ(bytesOf(other), (std::vector<u8>{7, 6, 5, 4}));

  EXPECT_TRUE(isBufferStatus(buffer.setBuffer(buffer.getBuffer(), 0, ORV_LITTLE_ENDIAN), 6));
}

TEST(Buffer, CopyDataFromABufferChecksRangesWithoutOverflow) {
  OrvBuffer source = filled({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  OrvBuffer target(6, ORV_LITTLE_ENDIAN);

  EXPECT_EQ(target.copyData(source, 0, 0), 0u);
  EXPECT_EQ(bytesOf(target), (std::vector<u8>{0, 1, 2, 3, 4, 5}));

  target.resetZero();
  EXPECT_TRUE(isBufferStatus(target.copyData(source, 8, 4), 7));
  EXPECT_TRUE(isBufferStatus(target.copyData(source, 4, 0xFFFFFFFEu), 7)) << "offset + length wraps in 32 bits";
  EXPECT_TRUE(isBufferStatus(target.copyData(source, 0, 7), 7)) << "offset past the shorter buffer";
  EXPECT_EQ(bytesOf(target), std::vector<u8>(6, 0));

  EXPECT_EQ(target.copyData(source, 3, 7), 0u);
  EXPECT_EQ(bytesOf(target), (std::vector<u8>{7, 8, 9, 0, 0, 0}));
  EXPECT_EQ(target.copyData(source, 0, 6), 0u) << "nothing left to copy";
  EXPECT_EQ(target.copyData(source, 0, 4), 0u);
  EXPECT_EQ(bytesOf(target), (std::vector<u8>{4, 5, 9, 0, 0, 0}));

  OrvBuffer empty;
  EXPECT_TRUE(isBufferStatus(empty.copyData(source, 2, 0), 2));
  EXPECT_TRUE(isBufferStatus(target.copyData(empty, 2, 0), 7));
  EXPECT_EQ(target.copyData(empty, 0, 0), 0u);
}

TEST(Buffer, CopyDataWithinOneBufferBehavesAsAMove) {
  OrvBuffer buffer = filled({0, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_EQ(buffer.copyData(buffer, 6, 2), 0u);
  EXPECT_EQ(bytesOf(buffer), (std::vector<u8>{2, 3, 4, 5, 6, 7, 6, 7}));
  ASSERT_EQ(buffer.copyData(buffer.getBuffer(), 7, 1), 0u);
  EXPECT_EQ(bytesOf(buffer), (std::vector<u8>{3, 4, 5, 6, 7, 6, 7, 7}));
}

TEST(Buffer, CopyDataFromMemoryChecksPointerAndRange) {
  const u8 bytes[] = {9, 8, 7, 6, 5};
  OrvBuffer target(4, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(target.copyData(bytes, 3, 0), 0u);
  EXPECT_EQ(bytesOf(target), (std::vector<u8>{9, 8, 7, 0}));
  EXPECT_EQ(target.copyData(bytes, 2, 2), 0u);
  EXPECT_EQ(bytesOf(target), (std::vector<u8>{7, 6, 7, 0}));
  EXPECT_TRUE(isBufferStatus(target.copyData(bytes, 5, 0), 7));
  EXPECT_TRUE(isBufferStatus(target.copyData(bytes, 2, 3), 7));
  EXPECT_TRUE(isBufferStatus(target.copyData(bytes, 0xFFFFFFFFu, 1), 7));
  EXPECT_TRUE(isBufferStatus(target.copyData(static_cast<const u8*>(nullptr), 1, 0), 2));
  OrvBuffer empty;
  EXPECT_TRUE(isBufferStatus(empty.copyData(bytes, 1, 0), 2));
  EXPECT_EQ(target.copyData(bytes, 0, 0), 0u);
}

TEST(Buffer, IndexingAndComparisonStayInsideBothBuffers) {
  OrvBuffer buffer = filled({1, 2, 3, 4, 5});
  EXPECT_EQ(buffer[4], 5);
  buffer[0] = 9;
  EXPECT_EQ(buffer.getBuffer()[0], 9);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { buffer[5]; }), 7));

  const u8 same[] = {9, 2, 3, 4, 5};
  EXPECT_TRUE(buffer.compare(same, 5));
  EXPECT_FALSE(buffer.compare(same, 4));

  OrvBuffer other = filled({0, 0, 3, 4, 5});
  EXPECT_TRUE(buffer.compare(other, 2, 3));
  EXPECT_TRUE(buffer.compare(other, 2, 0));
  EXPECT_FALSE(buffer.compare(other, 1, 2));
  EXPECT_FALSE(buffer.compare(other, 5, 1));
  EXPECT_FALSE(buffer.compare(other, 4, 0xFFFFFFFFu));
  EXPECT_FALSE(buffer.compare(other));
  other[0] = 9;
  other[1] = 2;
  EXPECT_TRUE(buffer.compare(other));
  EXPECT_FALSE(buffer.compare(filled({9, 2, 3, 4})));
}

TEST(Buffer, FillsRepeatTheValueLeastSignificantByteFirst) {
  OrvBuffer little(5, ORV_LITTLE_ENDIAN);
  little.setWord(0x1234);
  EXPECT_EQ(bytesOf(little), (std::vector<u8>{0x34, 0x12, 0x34, 0x12, 0x34}));
  little.setDWord(0x11223344);
  EXPECT_EQ(bytesOf(little), (std::vector<u8>{0x44, 0x33, 0x22, 0x11, 0x44}));

  OrvBuffer big(5, ORV_BIG_ENDIAN);
  big.setWord(0x1234);
  EXPECT_EQ(bytesOf(big), (std::vector<u8>{0x34, 0x12, 0x34, 0x12, 0x12}));

  OrvBuffer wide(10, ORV_LITTLE_ENDIAN);
  wide.setQWord(0x0807060504030201ull);
  EXPECT_EQ(bytesOf(wide), (std::vector<u8>{1, 2, 3, 4, 5, 6, 7, 8, 1, 2}));
  wide.setByte(0x5A);
  EXPECT_EQ(bytesOf(wide), std::vector<u8>(10, 0x5A));
  wide.resetZero();
  EXPECT_EQ(bytesOf(wide), std::vector<u8>(10, 0));
}

TEST(Buffer, RandomFillReachesEveryByte) {
  // 13 bytes: a whole draw and a partial one. A byte left untouched stays 0;
  // one random byte in 256 is 0, so 40 rounds hide a missed byte with odds of
  // 1 in 256^40.
  OrvBuffer buffer(13, ORV_LITTLE_ENDIAN);
  std::vector<bool> seenNonZero(13, false);
  for (int round = 0; round < 40; ++round) {
    buffer.resetZero();
    buffer.setRandom();
    for (u32 i = 0; i < 13; ++i) seenNonZero[i] = seenNonZero[i] || buffer[i] != 0;
  }
  EXPECT_EQ(seenNonZero, std::vector<bool>(13, true));
}

TEST(BufferDump, EmptyBuffer) {
  OrvBuffer empty;
  std::stringstream out;
  empty.hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + "Empty Buffer\n" + kSeparator);
}

TEST(BufferDump, ShortRowIsPaddedAndUnprintableBytesShowAsDots) {
  OrvBuffer buffer = filled({0x41, 0x42, 0x00});
  std::stringstream out;
  buffer.hexDump(out);
  std::string blanks;
  for (int i = 0; i < 13; ++i) blanks += "   ";
  EXPECT_EQ(out.str(), kSeparator + "00000000: 41 42 00 " + blanks + "  'AB.'\n" + kSeparator);
}

TEST(BufferDump, FullRowsThenAShortOne) {
  std::vector<u8> bytes;
  for (int i = 0; i < 17; ++i) bytes.push_back(static_cast<u8>(0x1F + i * 7));
  OrvBuffer buffer = filled(bytes);
  std::stringstream out;
  out << "previous contents that must vanish";
  buffer.hexDump(out);
  std::string blanks;
  for (int i = 0; i < 15; ++i) blanks += "   ";
  EXPECT_EQ(out.str(), kSeparator +
                           "00000000: 1f 26 2d 34 3b 42 49 50 57 5e 65 6c 73 7a 81 88   "
                           "'.&-4;BIPW^elsz..'\n"
                           "00000010: 8f " +
                           blanks + "  '.'\n" + kSeparator);

  OrvBuffer sixteen = filled(std::vector<u8>(bytes.begin(), bytes.begin() + 16));
  sixteen.hexDump(out);
  EXPECT_EQ(out.str(), kSeparator +
                           "00000000: 1f 26 2d 34 3b 42 49 50 57 5e 65 6c 73 7a 81 88   "
                           "'.&-4;BIPW^elsz..'\n" +
                           kSeparator);
}

TEST(BufferDump, RowAddressesCountInHex) {
  OrvBuffer buffer(0x120, ORV_LITTLE_ENDIAN);
  std::stringstream out;
  buffer.hexDump(out);
  std::string text = out.str();
  EXPECT_NE(text.find("\n00000110: 00 "), std::string::npos);
  EXPECT_EQ(text.find("00000120"), std::string::npos);
}

std::string readBack(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char chunk[256];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, count);
  return text;
}

TEST(BufferDump, FileFormsWriteTheSameTextAndTheRawBytes) {
  OrvBuffer buffer = filled({0x0A, 0xFF, 0x30});
  std::stringstream expected;
  buffer.hexDump(expected);

  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  buffer.hexDump(file);
  std::string written = readBack(file);
  std::fclose(file);
  // A text-mode stream may end lines with CR LF.
  std::string normalised;
  for (char c : written)
    if (c != '\r') normalised += c;
  EXPECT_EQ(normalised, expected.str());

  file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  buffer.binDump(file);
  EXPECT_EQ(readBack(file), std::string("\x0a\xff\x30", 3));
  std::fclose(file);

  buffer.hexDump(static_cast<void*>(nullptr));
  buffer.binDump(nullptr);
}

TEST(BufferDump, StrDumpAppendsHexPairs) {
  OrvBuffer buffer = filled({0x0A, 0xFF});
  std::stringstream out;
  out << "x:";
  buffer.strDump(out);
  EXPECT_EQ(out.str(), "x:0a ff ");
  OrvBuffer empty;
  empty.strDump(out);
  EXPECT_EQ(out.str(), "x:0a ff Empty Buffer");
}

}  // namespace
