#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "unit/buffer_helpers.h"

using namespace VazidaRaduru;
using namespace buffer_test;

namespace {

// Bytes 01..08 after a sentinel, and the numbers that 1 to 8 of them form.
const std::vector<u8> kCounting = {0xEE, 1, 2, 3, 4, 5, 6, 7, 8, 0xEE};
const u64 kLittleNumbers[] = {0x01,           0x0201,           0x030201,           0x04030201,
                              0x0504030201ull, 0x060504030201ull, 0x07060504030201ull, 0x0807060504030201ull};
const u64 kBigNumbers[] = {0x01,           0x0102,           0x010203,           0x01020304,
                           0x0102030405ull, 0x010203040506ull, 0x01020304050607ull, 0x0102030405060708ull};

TEST(BitView, ReadsAsManyBytesAsItsLastBitNeedsInEitherOrder) {
  OrvBuffer little = filled(kCounting, ORV_LITTLE_ENDIAN);
  OrvBuffer big = filled(kCounting, ORV_BIG_ENDIAN);
  for (u8 count = 1; count <= 8; ++count) {
    u8 lastBit = static_cast<u8>(8 * count - 1);
    EXPECT_EQ(OrvBufBits(little.getBuffer(), 1, 0, lastBit, ORV_LITTLE_ENDIAN).getValue(), kLittleNumbers[count - 1])
        << int(count) << " bytes";
    EXPECT_EQ(OrvBufBits(big.getBuffer(), 1, 0, lastBit, ORV_BIG_ENDIAN).getValue(), kBigNumbers[count - 1])
        << int(count) << " bytes";
    // Any byte order value other than 2 is big-endian.
    EXPECT_EQ(OrvBufBits(big.getBuffer(), 1, 0, lastBit, static_cast<_OrvByteEndianess>(7)).getValue(),
              kBigNumbers[count - 1]);
  }
}

TEST(BitView, WritesBackOnlyItsOwnBytesInTheirOrder) {
  for (u8 count = 1; count <= 8; ++count) {
    u8 lastBit = static_cast<u8>(8 * count - 1);
    for (_OrvByteEndianess order : {ORV_LITTLE_ENDIAN, ORV_BIG_ENDIAN}) {
      OrvBuffer buffer(10, order);
      buffer.setByte(0xEE);
      OrvBufBits(buffer.getBuffer(), 1, 0, lastBit, order).setValue(0x0807060504030201ull);
      std::vector<u8> expected(10, 0xEE);
      for (u8 i = 0; i < count; ++i)
        expected[1 + i] = order == ORV_LITTLE_ENDIAN ? static_cast<u8>(i + 1) : static_cast<u8>(count - i);
      EXPECT_EQ(bytesOf(buffer), expected) << int(count) << " bytes, order " << order;
    }
  }
}

TEST(BitView, BigEndianByteCountFollowsTheLastBitNotTheWord) {
  OrvBuffer big = filled({0x12, 0x34}, ORV_BIG_ENDIAN);
  OrvBuffer little = filled({0x12, 0x34}, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(little.word(0, 0, 16).getValue(), 0x3412u);
  EXPECT_EQ(big.word(0, 0, 16).getValue(), 0x1234u);
  EXPECT_EQ(big.word(0, 0, 4).getValue(), 0x2u) << "bits 0..3 read only the first byte";
  EXPECT_EQ(big.word(0, 8, 4).getValue(), 0x2u) << "the low half of the first of two bytes";
  EXPECT_EQ(big.word(0, 12, 4).getValue(), 0x1u);
  EXPECT_EQ(little.word(0, 12, 4).getValue(), 0x3u);
}

TEST(BitView, RangesCrossingBytes) {
  OrvBuffer little = filled({0xAB, 0xCD}, ORV_LITTLE_ENDIAN);
  OrvBuffer big = filled({0xAB, 0xCD}, ORV_BIG_ENDIAN);
  EXPECT_EQ(little.word(0, 4, 8).getValue(), 0xDAu);
  EXPECT_EQ(big.word(0, 4, 8).getValue(), 0xBCu);

  big.word(0, 4, 8).setValue(0x12);
  EXPECT_EQ(bytesOf(big), (std::vector<u8>{0xA1, 0x2D})) << "bits outside the field keep their values";
  little.word(0, 4, 8).setValue(0x12);
  EXPECT_EQ(bytesOf(little), (std::vector<u8>{0x2B, 0xC1}));
}

TEST(BitView, SetValueMasksToTheFieldWidth) {
  OrvBuffer buffer = filled({0xA5, 0x00}, ORV_LITTLE_ENDIAN);
  buffer.byte(0, 4, 4).setValue(0x1FF);
  EXPECT_EQ(bytesOf(buffer), (std::vector<u8>{0xF5, 0x00}));
  buffer.byte(0, 0, 1).setValue(0);
  EXPECT_EQ(bytesOf(buffer), (std::vector<u8>{0xF4, 0x00}));

  OrvBuffer wide(8, ORV_BIG_ENDIAN);
  OrvBufBits all = wide.qword(0, 0, 64);
  all.setValue(~0ull);
  EXPECT_EQ(all.getValue(), ~0ull);
  wide.qword(0, 63, 1).setValue(0);
  EXPECT_EQ(wide[0], 0x7F);
  EXPECT_EQ(all.getValue(), 0x7FFFFFFFFFFFFFFFull);
}

TEST(BitView, SubRangesBitsAndComparisons) {
  OrvBuffer buffer = filled({0xAB, 0xCD}, ORV_LITTLE_ENDIAN);  // the number CDABh
  OrvBufBits view(buffer.getBuffer(), 0, 4, 11, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(view.getValue(), 0xDAu);
  EXPECT_EQ(view.getValue(64, 64), 0xDAu) << "64 stands for the field's own bounds";
  EXPECT_EQ(view.getValue(8, 11), 0xDu) << "bit numbers of the number, not of the field";
  EXPECT_EQ(view.getValue(0, 7), 0xAu) << "a bound below the field becomes its first bit";
  EXPECT_EQ(view.getValue(6, 200), 0x36u) << "a bound above the field becomes its last bit";
  EXPECT_EQ(view.mask(64, 64), 0xFFu);

  EXPECT_TRUE(!view.getBit(0) && view.getBit(1) && view.getBit(7));
  EXPECT_FALSE(view.getBit(8) || view.getBit(0xFFFFFFFFu)) << "beyond the field";

  EXPECT_TRUE(view < 0xDB && !(view < 0xDA) && view <= 0xDA && view > 0xD9 && !(view >= 0xDB));
  EXPECT_TRUE(view == 0xDA && view != 0x1DA);
}

TEST(ViewFactory, ClipsTheStartBitAndTheCountToTheWord) {
  u8 bytes[8] = {};
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvBufBits(bytes, 0, 4, 3, ORV_LITTLE_ENDIAN); }), 7));
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvBufField(bytes, 0, 0, 64, "x", ORV_LITTLE_ENDIAN); }), 7));

  OrvBuffer buffer = filled({0xF0, 0x0F, 0xFF, 0x00, 0x11, 0x22, 0x33, 0x44}, ORV_LITTLE_ENDIAN);
  OrvBufBits shifted = buffer.word(0, 20, 4);
  EXPECT_EQ(shifted.getValue(), 0x0u) << "start 20 is beyond the word and becomes 0: bits 0..3";
  EXPECT_EQ(buffer.byte(0, 8, 8).getValue(), 0xF0u);
  EXPECT_EQ(buffer.byte(0, 4, 8).getValue(), 0xFu) << "count cut to bits 4..7";
  EXPECT_EQ(buffer.qword(0, 60, 10).getValue(), 0x4u) << "count cut to bits 60..63";
  EXPECT_EQ(buffer.dword(0, 8, 255).getValue(), 0x00FF0Fu);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { buffer.byte(0, 0, 0); }), 7));
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { buffer.word(0, 5, 0); }), 7));
}

TEST(ViewFactory, NeverReachesPastTheBuffer) {
  // The buffer's memory is exactly six bytes: the sanitizers catch a view
  // that reads or writes a seventh.
  OrvBuffer buffer = filled({1, 2, 3, 4, 0xFF, 0xFF}, ORV_BIG_ENDIAN);
  EXPECT_EQ(buffer.byte(5, 0, 8).getValue(), 0xFFu);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { buffer.byte(6, 0, 8); }), 7));
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { buffer.qword(0xFFFFFFFFu, 0, 8); }), 7));

  OrvBufBits cut = buffer.dword(4, 0, 32);
  EXPECT_EQ(cut.getValue(), 0xFFFFu) << "a 16-bit view of the two bytes left";
  cut.setValue(0x1234);
  EXPECT_EQ(bytesOf(buffer), (std::vector<u8>{1, 2, 3, 4, 0x12, 0x34}));
  EXPECT_EQ(buffer.qword(2, 8, 64).getValue(), 0x030412u) << "bits 8..31 of the four bytes left";
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { buffer.dword(5, 16, 8); }), 7)) << "no bits left from bit 16";
}

TEST(Fields, TypedFieldsFixWidthAndByteOrder) {
  u8 bytes[9] = {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  EXPECT_EQ(OrvByteField(bytes, 1, "b").getValue(), 0x12u);
  EXPECT_EQ(OrvWordField(bytes, 1, "w", ORV_BIG_ENDIAN).getValue(), 0x1234u);
  EXPECT_EQ(OrvDwordField(bytes, 1, "d", ORV_BIG_ENDIAN).getValue(), 0x12345678u);
  EXPECT_EQ(OrvDwordField(bytes, 1, "d", ORV_LITTLE_ENDIAN).getValue(), 0x78563412u);
  EXPECT_EQ(OrvQwordField(bytes, 1, "q").getValue(), 0xF0DEBC9A78563412ull);

  OrvWordField word(bytes, 1, "Controller ID (CNTLID)", ORV_BIG_ENDIAN);
  word.setValue(0x10ABCD);
  EXPECT_TRUE(bytes[1] == 0xAB && bytes[2] == 0xCD && bytes[3] == 0x56);
  EXPECT_EQ(word.getName(), "Controller ID (CNTLID)");
  EXPECT_FALSE(word.isFlag());

  OrvBufField flag(bytes, 0, 5, 5, "Cache supported", ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(flag.isFlag());
  OrvBufField copy(flag);
  flag.setValue(1);
  EXPECT_EQ(copy.getValue(), 1u) << "a copied field views the same bytes";
  EXPECT_EQ(copy.getName(), "Cache supported");
  EXPECT_EQ(bytes[0], 0x20);
}

// An ASCII field of 8 bytes at offset 1, between two sentinel bytes.
struct AsciiField : ::testing::Test {
  u8 bytes[10];
  OrvBufAscFld field{bytes, 1, 8, "Model number (MN)", ORV_LITTLE_ENDIAN};
  void hold(const char* text) {
    bytes[0] = bytes[9] = 0x7E;
    std::memcpy(bytes + 1, text, 8);
  }
  std::string fieldBytes() const { return std::string(reinterpret_cast<const char*>(bytes) + 1, 8); }
};

TEST_F(AsciiField, ReadingDropsNulsAndTrimsBlanks) {
  hold("AB\0\0\0\0\0\0");
  EXPECT_EQ(field.getValue(), "AB");
  hold("  AB  \0\0");
  EXPECT_EQ(field.getValue(), "AB");
  hold("A\0B\0 C\0 ");
  EXPECT_EQ(field.getValue(), "AB C") << "every NUL is dropped, wherever it stands";
  hold("\0 \0 X\0 \0");
  EXPECT_EQ(field.getValue(), "X");
  hold("        ");
  EXPECT_EQ(field.getValue(), "        ") << "a text of blanks only is returned unchanged";
  hold("\tAB \n   ");
  EXPECT_EQ(field.getValue(), "\tAB \n") << "only blanks are trimmed";
  EXPECT_EQ(field.getName(), "Model number (MN)");
}

TEST_F(AsciiField, WritingCutsPadsAndStaysInsideTheField) {
  hold("zzzzzzzz");
  field.setValue("ABCDEFGHIJ");
  EXPECT_EQ(fieldBytes(), "ABCDEFGH");
  EXPECT_EQ(bytes[9], 0x7E);
  field.setValue("AB");
  EXPECT_EQ(fieldBytes(), std::string("AB\0\0\0\0\0\0", 8));
  EXPECT_TRUE(bytes[0] == 0x7E && bytes[9] == 0x7E);
  field.setValue("");
  EXPECT_EQ(fieldBytes(), std::string("AB\0\0\0\0\0\0", 8)) << "an empty text changes nothing";
}

TEST_F(AsciiField, EqualityComparesTheWholeRange) {
  hold("AB\0\0\0\0\0\0");
  EXPECT_TRUE(!(field == "AB") && field != "AB");
  EXPECT_TRUE(field == std::string("AB\0\0\0\0\0\0", 8));
  hold("ABCDEFGH");
  EXPECT_TRUE(field == "ABCDEFGH") << "whatever follows the field";
  EXPECT_FALSE(field == "ABCDEFGX" || field == "ABCDEFGHI");
  hold("  AB    ");
  EXPECT_FALSE(field == "AB") << "nothing is trimmed";
}

}  // namespace
