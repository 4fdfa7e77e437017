// Bit views and fields over a buffer's bytes, in either byte order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "unit/buffer_helpers.h"

using namespace VazidaRaduru;
using namespace buffer_test;

namespace {

using Bytes = std::vector<u8>;

TEST(BitView, ReadsAndWritesAsManyBytesAsItsLastBitNeedsInEitherOrder) {
  // Bytes 01..08 after a sentinel, and the numbers that 1 to 8 of them form.
  const Bytes counting = {0xEE, 1, 2, 3, 4, 5, 6, 7, 8, 0xEE};
  OrvBuffer little = filled(counting, ORV_LITTLE_ENDIAN);
  OrvBuffer big = filled(counting, ORV_BIG_ENDIAN);
  u64 littleNumber = 0, bigNumber = 0;
  for (u8 count = 1; count <= 8; ++count) {
    littleNumber |= u64{count} << (8 * (count - 1));
    bigNumber = bigNumber << 8 | count;
    u8 lastBit = static_cast<u8>(8 * count - 1);
    EXPECT_EQ(OrvBufBits(little.getBuffer(), 1, 0, lastBit, ORV_LITTLE_ENDIAN).getValue(), littleNumber) << int(count);
    EXPECT_EQ(OrvBufBits(big.getBuffer(), 1, 0, lastBit, ORV_BIG_ENDIAN).getValue(), bigNumber) << int(count);
    // Any byte order value other than 2 is big-endian.
    EXPECT_EQ(OrvBufBits(big.getBuffer(), 1, 0, lastBit, static_cast<_OrvByteEndianess>(7)).getValue(), bigNumber);

    // Writing touches only the view's own bytes, in their order.
    for (_OrvByteEndianess order : {ORV_LITTLE_ENDIAN, ORV_BIG_ENDIAN}) {
      OrvBuffer buffer(10, order);
      buffer.setByte(0xEE);
      OrvBufBits(buffer.getBuffer(), 1, 0, lastBit, order).setValue(0x0807060504030201ull);
      Bytes expected(10, 0xEE);
      for (u8 i = 0; i < count; ++i)
        expected[1 + i] = order == ORV_LITTLE_ENDIAN ? static_cast<u8>(i + 1) : static_cast<u8>(count - i);
      EXPECT_EQ(bytesOf(buffer), expected) << int(count) << " bytes, order " << order;
    }
  }
}

TEST(BitView, RangesWithinAndAcrossBytes) {
  OrvBuffer big = filled({0x12, 0x34}, ORV_BIG_ENDIAN);
  OrvBuffer little = filled({0x12, 0x34}, ORV_LITTLE_ENDIAN);
  OrvBuffer crossLittle = filled({0xAB, 0xCD}, ORV_LITTLE_ENDIAN);  // the number CDABh
  OrvBuffer crossBig = filled({0xAB, 0xCD}, ORV_BIG_ENDIAN);
  // A big-endian view's byte count follows its last bit, not the word.
  expectValues({{little.word(0, 0, 16).getValue(), 0x3412}, {big.word(0, 0, 16).getValue(), 0x1234},
                {big.word(0, 0, 4).getValue(), 0x2},  // bits 0..3 read only the first byte
                {big.word(0, 8, 4).getValue(), 0x2},  // the low half of the first of two bytes
                {big.word(0, 12, 4).getValue(), 0x1}, {little.word(0, 12, 4).getValue(), 0x3},
                {crossLittle.word(0, 4, 8).getValue(), 0xDA}, {crossBig.word(0, 4, 8).getValue(), 0xBC}});

  // Bits outside the field keep their values; values are cut to the width.
  crossBig.word(0, 4, 8).setValue(0x12);
  EXPECT_EQ(bytesOf(crossBig), (Bytes{0xA1, 0x2D}));
  crossLittle.word(0, 4, 8).setValue(0x12);
  EXPECT_EQ(bytesOf(crossLittle), (Bytes{0x2B, 0xC1}));
  OrvBuffer buffer = filled({0xA5, 0x00}, ORV_LITTLE_ENDIAN);
  buffer.byte(0, 4, 4).setValue(0x1FF);
  EXPECT_EQ(bytesOf(buffer), (Bytes{0xF5, 0x00}));
  buffer.byte(0, 0, 1).setValue(0);
  EXPECT_EQ(bytesOf(buffer), (Bytes{0xF4, 0x00}));
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
  expectValues({{view.getValue(), 0xDA},
                {view.getValue(64, 64), 0xDA},  // 64 stands for the field's own bounds
                {view.getValue(8, 11), 0xD},    // bit numbers of the number, not of the field
                {view.getValue(0, 7), 0xA},     // a bound below the field becomes its first bit
                {view.getValue(6, 200), 0x36},  // a bound above the field becomes its last bit
                {view.mask(64, 64), 0xFF}});
  EXPECT_TRUE(!view.getBit(0) && view.getBit(1) && view.getBit(7));
  EXPECT_FALSE(view.getBit(8) || view.getBit(0xFFFFFFFFu)) << "beyond the field";
  EXPECT_TRUE(view < 0xDB && !(view < 0xDA) && view <= 0xDA && view > 0xD9 && !(view >= 0xDB));
  EXPECT_TRUE(view == 0xDA && view != 0x1DA);
}

TEST(ViewFactory, ClipsToTheWordAndNeverReachesPastTheBuffer) {
  u8 bytes[8] = {};
  OrvBuffer buffer = filled({0xF0, 0x0F, 0xFF, 0x00, 0x11, 0x22, 0x33, 0x44}, ORV_LITTLE_ENDIAN);
  expectValues({{buffer.word(0, 20, 4).getValue(), 0x0},  // start 20 is beyond the word: bits 0..3
                {buffer.byte(0, 8, 8).getValue(), 0xF0}, {buffer.byte(0, 4, 8).getValue(), 0xF},  // bits 4..7
                {buffer.qword(0, 60, 10).getValue(), 0x4},                                         // bits 60..63
                {buffer.dword(0, 8, 255).getValue(), 0x00FF0F}});

  // The buffer's memory is exactly six bytes: the sanitizers catch a view
  // that reads or writes a seventh.
  OrvBuffer six = filled({1, 2, 3, 4, 0xFF, 0xFF}, ORV_BIG_ENDIAN);
  EXPECT_EQ(six.byte(5, 0, 8).getValue(), 0xFFu);
  for (u64 word : {thrownStatus([&] { OrvBufBits(bytes, 0, 4, 3, ORV_LITTLE_ENDIAN); }),
                   thrownStatus([&] { OrvBufField(bytes, 0, 0, 64, "x", ORV_LITTLE_ENDIAN); }),
                   thrownStatus([&] { buffer.byte(0, 0, 0); }), thrownStatus([&] { buffer.word(0, 5, 0); }),
                   thrownStatus([&] { six.byte(6, 0, 8); }), thrownStatus([&] { six.qword(0xFFFFFFFFu, 0, 8); }),
                   thrownStatus([&] { six.dword(5, 16, 8); })})  // no bits left from bit 16
    EXPECT_TRUE(isBufferStatus(word, 7));
  OrvBufBits cut = six.dword(4, 0, 32);
  EXPECT_EQ(cut.getValue(), 0xFFFFu) << "a 16-bit view of the two bytes left";
  cut.setValue(0x1234);
  EXPECT_EQ(bytesOf(six), (Bytes{1, 2, 3, 4, 0x12, 0x34}));
  EXPECT_EQ(six.qword(2, 8, 64).getValue(), 0x030412u) << "bits 8..31 of the four bytes left";
}

TEST(Fields, TypedFieldsFixWidthAndByteOrder) {
  u8 bytes[9] = {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  expectValues({{OrvByteField(bytes, 1, "b").getValue(), 0x12},
                {OrvWordField(bytes, 1, "w", ORV_BIG_ENDIAN).getValue(), 0x1234},
                {OrvDwordField(bytes, 1, "d", ORV_BIG_ENDIAN).getValue(), 0x12345678},
                {OrvDwordField(bytes, 1, "d", ORV_LITTLE_ENDIAN).getValue(), 0x78563412},
                {OrvQwordField(bytes, 1, "q").getValue(), 0xF0DEBC9A78563412ull}});
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
  void hold(const std::string& text) {
    bytes[0] = bytes[9] = 0x7E;
    std::memcpy(bytes + 1, text.data(), 8);
  }
  std::string fieldBytes() const { return std::string(reinterpret_cast<const char*>(bytes) + 1, 8); }
};

TEST_F(AsciiField, ReadsWritesAndCompares) {
  const std::pair<std::string, std::string> reads[] = {
      {std::string("AB\0\0\0\0\0\0", 8), "AB"},
      {std::string("  AB  \0\0", 8), "AB"},
      {std::string("A\0B\0 C\0 ", 8), "AB C"},  // every NUL is dropped, wherever it stands
      {std::string("\0 \0 X\0 \0", 8), "X"},
      {"        ", "        "},  // a text of blanks only is returned unchanged
      {"\tAB \n   ", "\tAB \n"},   // only blanks are trimmed
  };
  for (const auto& r : reads) {
    hold(r.first);
    EXPECT_EQ(field.getValue(), r.second);
  }
  EXPECT_EQ(field.getName(), "Model number (MN)");

  // Writing cuts, pads with NULs and stays inside the field; nothing changes
  // for an empty text.
  hold("zzzzzzzz");
  field.setValue("ABCDEFGHIJ");
  EXPECT_EQ(fieldBytes(), "ABCDEFGH");
  field.setValue("AB");
  EXPECT_EQ(fieldBytes(), std::string("AB\0\0\0\0\0\0", 8));
  field.setValue("");
  EXPECT_EQ(fieldBytes(), std::string("AB\0\0\0\0\0\0", 8));
  EXPECT_TRUE(bytes[0] == 0x7E && bytes[9] == 0x7E);

  // Equality compares the whole range, whatever follows, nothing trimmed.
  EXPECT_TRUE(!(field == "AB") && field != "AB");
  EXPECT_TRUE(field == std::string("AB\0\0\0\0\0\0", 8));
  hold("ABCDEFGH");
  EXPECT_TRUE(field == "ABCDEFGH");
  EXPECT_FALSE(field == "ABCDEFGX" || field == "ABCDEFGHI");
  hold("  AB    ");
  EXPECT_FALSE(field == "AB");
}

}  // namespace
