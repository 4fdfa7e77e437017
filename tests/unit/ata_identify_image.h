// IDENTIFY DEVICE data as a drive returns it, built word by word.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata.h"

namespace identify_test {

class IdentifyImage {
 public:
  IdentifyImage() : bytes(512) {}

  // Each word least significant byte first.
  IdentifyImage& word(unsigned index, u16 value) {
    bytes.at(2 * index) = static_cast<u8>(value);
    bytes.at(2 * index + 1) = static_cast<u8>(value >> 8);
    return *this;
  }
  // count words from index, least significant word first.
  IdentifyImage& words(unsigned index, unsigned count, u64 value) {
    for (unsigned i = 0; i < count; ++i, value >>= 16) word(index + i, static_cast<u16>(value));
    return *this;
  }
  // Text over count words, filled up with pad; the first character of each
  // pair is the word's high byte.
  IdentifyImage& text(unsigned index, unsigned count, std::string value, char pad = ' ') {
    value.resize(2 * count, pad);
    for (unsigned i = 0; i < count; ++i)
      word(index + i, static_cast<u16>(static_cast<u8>(value[2 * i]) << 8 | static_cast<u8>(value[2 * i + 1])));
    return *this;
  }
  // Word 255: the validity mark A5h and the byte that makes all 512 bytes sum to 0.
  IdentifyImage& sealed() {
    bytes[510] = 0xA5;
    u8 sum = 0;
    for (size_t i = 0; i < 511; ++i) sum = static_cast<u8>(sum + bytes[i]);
    bytes[511] = static_cast<u8>(0x100 - sum);
    return *this;
  }

  // The bytes read into a buffer as a device reads them, through its own
  // bytes.
  void into(VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal::OrvAtaIdentifyBuffer& buffer) const {
    EXPECT_EQ(buffer.copyData(bytes.data(), static_cast<u32>(bytes.size()), 0), 0u);
  }

  std::vector<u8> bytes;
};

// An 8 TB SATA hard disk with 4096-byte logical sectors.
inline IdentifyImage realDrive() {
  IdentifyImage image;
  image.word(0, 0x0040).word(2, 0xC837)
      .text(10, 10, "       ZX3A9K21QTS07")  // right-justified behind an odd number of blanks
      .text(23, 4, "VX1.2.3")  // odd length
      .text(27, 20, "VNDR QX12-8000T")  // odd length
      .word(47, 0x8010).word(49, 0x2F00).word(53, 0x0007).word(59, 0xBD10).words(60, 2, 0x0FFFFFFF).word(63, 0x0407)
      .word(64, 0x0003).words(65, 4, 0x0078'0078'0078'0078ull).word(69, 0x4D08).word(75, 0x001F).word(76, 0x850E)
      .word(77, 0x0046).word(78, 0x004C).word(79, 0x0048).word(80, 0x07E0).word(81, 0x011B)
      .word(82, 0x7063)  // SMART, security, write cache supported
      .word(83, 0x7401)  // DOWNLOAD MICROCODE, 48-bit addressing
      .word(84, 0x6163)
      .word(85, 0x7001)  // SMART enabled, write cache and security not
      .word(86, 0xB401).word(87, 0x6163).word(88, 0x407F).word(89, 0x003C).word(90, 0x8123).word(92, 0xFFFE)
      .words(100, 4, 15628053168ull).word(106, 0x5000).words(108, 4, 0x1234'ABCD'4EE3'5001ull).words(117, 2, 2048)
      .word(119, 0x4014)  // download microcode mode 3
      .word(120, 0x4014)
      .word(128, 0x0129)  // security supported and frozen
      .word(168, 0x0003).word(169, 0x0001).text(176, 30, "MSN-01", '\0').word(206, 0x003D).word(217, 0x1C20)
      .word(222, 0x107F).words(230, 4, 15628053168ull).word(234, 0x0001).word(235, 0x0080);
  return image.sealed();
}

}  // namespace identify_test
