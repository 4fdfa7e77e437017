#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata.h"
#include "unit/ata_identify_image.h"
#include "unit/status_check.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal;
using identify_test::IdentifyImage;
using identify_test::realDrive;

namespace {

TEST(AtaIdentifyData, DecodesARealDrive) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);

  EXPECT_EQ(identify.serialNumber.getValue(), "ZX3A9K21QTS07");
  EXPECT_EQ(identify.firmwareRevision.getValue(), "VX1.2.3");
  EXPECT_EQ(identify.modelNumber.getValue(), "VNDR QX12-8000T");
  EXPECT_EQ(identify.currentMediaSerialNumber.getValue(), "MSN-01");

  // Capacity and sectors.
  EXPECT_EQ(identify.userAddressableSectors28.getValue(), 0x0FFFFFFFu);
  EXPECT_EQ(identify.userAddressableSectors48.getValue(), 15628053168u);
  EXPECT_EQ(identify.extendedUserSectors.getValue(), 15628053168u);
  EXPECT_EQ(identify.extendedSectorsSupported.getValue(), 1u);
  EXPECT_EQ(identify.lbaSupported.getValue(), 1u);
  EXPECT_EQ(identify.logicalSectorLongerThan256Words.getValue(), 1u);
  EXPECT_EQ(identify.multipleLogicalPerPhysical.getValue(), 0u);
  EXPECT_EQ(identify.logicalPerPhysical.getValue(), 0u);
  EXPECT_EQ(identify.logicalSectorSize.getValue(), 2048u) << "in words";

  // SMART, security and write cache.
  EXPECT_EQ(identify.smartSupported.getValue(), 1u);
  EXPECT_EQ(identify.smartEnabled.getValue(), 1u);
  EXPECT_EQ(identify.writeCacheSupported.getValue(), 1u);
  EXPECT_EQ(identify.writeCacheEnabled.getValue(), 0u);
  EXPECT_EQ(identify.readLookAheadSupported.getValue(), 1u);
  EXPECT_EQ(identify.readLookAheadEnabled.getValue(), 0u);
  EXPECT_EQ(identify.securityFeatureSupported.getValue(), 1u);
  EXPECT_EQ(identify.securityFeatureEnabled.getValue(), 0u);
  EXPECT_EQ(identify.securitySupported.getValue(), 1u);
  EXPECT_EQ(identify.securityEnabled.getValue(), 0u);
  EXPECT_EQ(identify.securityLocked.getValue(), 0u);
  EXPECT_EQ(identify.securityFrozen.getValue(), 1u);
  EXPECT_EQ(identify.securityCountExpired.getValue(), 0u);
  EXPECT_EQ(identify.enhancedEraseSupported.getValue(), 1u);
  EXPECT_EQ(identify.masterPasswordCapability.getValue(), 1u);
  EXPECT_EQ(identify.masterPasswordId.getValue(), 0xFFFEu);

  // Firmware download.
  EXPECT_EQ(identify.downloadMicrocodeSupportedW83.getValue(), 1u);
  EXPECT_EQ(identify.downloadMicrocodeSupportedW86.getValue(), 1u);
  EXPECT_EQ(identify.downloadMicrocodeDmaSupported.getValue(), 1u);
  EXPECT_EQ(identify.downloadMicrocodeMode3W119.getValue(), 1u);
  EXPECT_EQ(identify.downloadMicrocodeMode3W120.getValue(), 1u);
  EXPECT_EQ(identify.downloadMicrocodeMinBlocks.getValue(), 1u);
  EXPECT_EQ(identify.downloadMicrocodeMaxBlocks.getValue(), 0x80u);

  // World wide name 5 0014EE 3ABCD1234.
  EXPECT_EQ(identify.wwnSupportedW84.getValue(), 1u);
  EXPECT_EQ(identify.wwnNaa.getValue(), 5u);
  EXPECT_EQ(identify.getWwnOui(), 0x0014EEu);
  EXPECT_EQ(identify.getWwnUniqueId(), 0x3ABCD1234u);

  // Erase times: word 89 in the short form, word 90 in the extended one.
  EXPECT_EQ(identify.normalEraseExtended.getValue(), 0u);
  EXPECT_EQ(identify.normalEraseTime.getValue(), 60u);
  EXPECT_EQ(identify.enhancedEraseExtended.getValue(), 1u);
  EXPECT_EQ(identify.enhancedEraseExtendedTime.getValue(), 0x123u);
  EXPECT_EQ(identify.enhancedEraseTime.getValue(), 0x23u);

  // A few more words, each from its own place.
  EXPECT_EQ(identify.specificConfiguration.getValue(), 0xC837u);
  EXPECT_EQ(identify.currentSectorsPerDrqBlock.getValue(), 0x10u);
  EXPECT_EQ(identify.maximumQueueDepth.getValue(), 31u);
  EXPECT_EQ(identify.currentSignalSpeed.getValue(), 3u);
  EXPECT_EQ(identify.minorVersion.getValue(), 0x011Bu);
  EXPECT_EQ(identify.udma6Selected.getValue(), 1u);
  EXPECT_EQ(identify.udma5Selected.getValue(), 0u);
  EXPECT_EQ(identify.formFactor.getValue(), 3u);
  EXPECT_EQ(identify.rotationRate.getValue(), 7200u);
  EXPECT_EQ(identify.transportType.getValue(), 1u);
  EXPECT_EQ(identify.checksumValidity.getValue(), 0xA5u);
  u8 sum = 0;
  for (u32 i = 0; i < 512; ++i) sum = static_cast<u8>(sum + identify[i]);
  EXPECT_EQ(sum, 0) << "the image is sealed";
  EXPECT_EQ(identify.checksum.getValue(), identify[511]);
}

// Every flag lies on a bit of its own: setting one bit of the data raises at
// most one flag, and every flag is raised by some bit. A flag whose name
// tells its word lies in that word.
TEST(AtaIdentifyData, EveryFlagHasABitOfItsOwn) {
  OrvAtaIdentifyBuffer identify;
  OrvDevGenData<_OrvDataItem> flags;
  identify.collectFields(flags);
  size_t flagCount = 0;
  for (const _OrvDataItem& item : flags.items) flagCount += item.kind == ORV_ITEM_FLAG;
  ASSERT_EQ(flagCount, 175u);

  std::vector<std::string> raised;
  for (u32 word = 0; word < 256; ++word) {
    for (u32 bit = 0; bit < 16; ++bit) {
      identify.resetZero();
      identify[2 * word + bit / 8] = static_cast<u8>(1u << (bit % 8));
      OrvDevGenData<_OrvDataItem> items;
      identify.collectFields(items);
      std::vector<std::string> names;
      for (const _OrvDataItem& item : items.items)
        if (item.kind == ORV_ITEM_FLAG && item.value == 1) names.push_back(item.name);
      ASSERT_LE(names.size(), 1u) << "word " << word << " bit " << bit;
      if (names.empty()) continue;
      raised.push_back(names[0]);
      size_t mark = names[0].find("(Word");
      if (mark != std::string::npos) {
        EXPECT_EQ(names[0].substr(mark), "(Word" + std::to_string(word) + ")");
      }
    }
  }
  EXPECT_EQ(raised.size(), flagCount);
}

TEST(AtaIdentifyData, WorldWideNameParts) {
  OrvAtaIdentifyBuffer identify;
  IdentifyImage().word(108, 0x5000).word(109, 0xC500).word(110, 0x1234).word(111, 0x5678).into(identify);
  EXPECT_EQ(identify.wwnNaa.getValue(), 5u);
  EXPECT_EQ(identify.wwnOuiHigh.getValue(), 0x000u);
  EXPECT_EQ(identify.wwnOuiLow.getValue(), 0xC50u);
  EXPECT_EQ(identify.getWwnOui(), 0x000C50u);
  EXPECT_EQ(identify.wwnUniqueIdHigh.getValue(), 0u);
  EXPECT_EQ(identify.wwnUniqueIdMid.getValue(), 0x1234u);
  EXPECT_EQ(identify.wwnUniqueIdLow.getValue(), 0x5678u);
  EXPECT_EQ(identify.getWwnUniqueId(), 0x012345678u);

  // Every bit of the OUI and of the unique id is kept.
  IdentifyImage().words(108, 4, 0xFFFF'FFFF'FFFF'FFFFull).into(identify);
  EXPECT_EQ(identify.wwnNaa.getValue(), 0xFu);
  EXPECT_EQ(identify.getWwnOui(), 0xFFFFFFu);
  EXPECT_EQ(identify.getWwnUniqueId(), 0xFFFFFFFFFu);
}

TEST(AtaIdentifyData, EraseTimesOfBothForms) {
  OrvAtaIdentifyBuffer identify;
  IdentifyImage().word(89, 0x8005).word(90, 0x0105).into(identify);
  EXPECT_EQ(identify.normalEraseExtended.getValue(), 1u);
  EXPECT_EQ(identify.normalEraseTime.getValue(), 5u);
  EXPECT_EQ(identify.normalEraseExtendedTime.getValue(), 5u);
  EXPECT_EQ(identify.enhancedEraseExtended.getValue(), 0u);
  EXPECT_EQ(identify.enhancedEraseTime.getValue(), 5u);
  EXPECT_EQ(identify.enhancedEraseExtendedTime.getValue(), 261u);
}

// ------------------------------------------------------------ copies

TEST(AtaIdentifyData, CopyHasBytesAndFieldsOfItsOwn) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  OrvAtaIdentifyBuffer copy(identify);
  IdentifyImage().text(23, 4, "NEWREV01").into(identify);
  EXPECT_EQ(identify.firmwareRevision.getValue(), "NEWREV01");
  EXPECT_EQ(copy.firmwareRevision.getValue(), "VX1.2.3");
  EXPECT_EQ(copy.modelNumber.getValue(), "VNDR QX12-8000T");

  // Assignment brings the bytes over; the fields stay on the target's bytes.
  copy = identify;
  EXPECT_EQ(copy.firmwareRevision.getValue(), "NEWREV01");
  copy[46] = 'X';
  EXPECT_EQ(identify.firmwareRevision.getValue(), "NEWREV01");
}

TEST(AtaIdentifyData, CopyOfAnyBufferNamesFourFieldsItsOwnWay) {
  OrvBuffer raw(512, ORV_BIG_ENDIAN);
  raw[166] = 0x41;  // word 83 bits 0 and 6
  OrvAtaIdentifyBuffer copy(raw);
  EXPECT_EQ(copy.getEndianess(), ORV_BIG_ENDIAN) << "the buffer keeps the source's order";
  EXPECT_EQ(copy.downloadMicrocodeSupportedW83.getValue(), 1u) << "fields read little-endian all the same";
  EXPECT_EQ(copy.spinUpSetFeaturesW83.getValue(), 1u);

  EXPECT_EQ(copy.address48SupportedW83.getName(), "The 48-bit address feature set supported");
  EXPECT_EQ(copy.spinUpSetFeaturesW83.getName(), "SET FEATURES subcommand  required to spin-up");
  EXPECT_EQ(copy.address48SupportedW86.getName(), "The 48-bit address features set supported");
  EXPECT_EQ(copy.spinUpSetFeaturesW86.getName(), "SET FEATURES subcommand required to spin-up");
  EXPECT_EQ(copy.downloadMicrocodeSupportedW83.getName(), "DOWNLOAD MICROCODE command supported(Word83)");

  OrvAtaIdentifyBuffer fresh;
  EXPECT_EQ(fresh.address48SupportedW83.getName(), "The 48-bit address feature set supported(Word83)");
  EXPECT_EQ(fresh.spinUpSetFeaturesW83.getName(), "SET FEATURES subcommand  required to spin-up(Word83)");
  EXPECT_EQ(fresh.address48SupportedW86.getName(), "The 48-bit address feature set supported(Word86)");
  EXPECT_EQ(fresh.spinUpSetFeaturesW86.getName(), "SET FEATURES subcommand required to spin-up(Word86)");

  OrvAtaIdentifyBuffer copyOfCopy(copy);
  EXPECT_EQ(copyOfCopy.address48SupportedW86.getName(), "The 48-bit address features set supported");
}

TEST(AtaIdentifyData, ShortSourceIsFilledUpAndEmptySourceRefused) {
  OrvBuffer shortSource(100, ORV_LITTLE_ENDIAN);
  shortSource[94] = 0x10;
  OrvAtaIdentifyBuffer copy(shortSource);
  EXPECT_EQ(copy.getLength(), 512u);
  EXPECT_EQ(copy.maxSectorsPerDrqBlock.getValue(), 0x10u);
  EXPECT_EQ(copy.checksumValidity.getValue(), 0u);

  EXPECT_TRUE(isLibStatus(thrownStatus([] { OrvAtaIdentifyBuffer empty{OrvBuffer()}; }), ORV_ERR_BUFFER_LENGTH, 102));
}

// The fields view the buffer's bytes for its whole life, so the bytes never
// move: a longer content is refused and the fields still read the old bytes.
TEST(AtaIdentifyData, BytesNeverMove) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  std::vector<u8> longer(1024, 0x20);
  EXPECT_TRUE(isLibStatus(identify.setBuffer(longer.data(), 1024, ORV_LITTLE_ENDIAN), ORV_ERR_BUFFER_LENGTH, 130));
  EXPECT_TRUE(isLibStatus(identify.resize(513), ORV_ERR_BUFFER_LENGTH, 130));
  OrvBuffer& asBuffer = identify;
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { asBuffer = OrvBuffer(1024, ORV_LITTLE_ENDIAN); }), ORV_ERR_BUFFER_LENGTH,
                          130));
  EXPECT_EQ(identify.getLength(), 512u);
  EXPECT_EQ(identify.modelNumber.getValue(), "VNDR QX12-8000T");

  // Content of the same length replaces the bytes in place.
  std::vector<u8> same(512, 0);
  EXPECT_EQ(identify.setBuffer(same.data(), 512, ORV_LITTLE_ENDIAN), 0u);
  EXPECT_EQ(identify.modelNumber.getValue(), "");
}

// ------------------------------------------------------------ ATA text

struct TextCase {
  std::vector<u8> stored;
  std::string reads;
};

TEST(AtaText, ReadsEachStoredWordInReadingOrder) {
  const TextCase cases[] = {
      {{'X', 'W', 'Z', 'Y', ' ', ' ', ' ', ' '}, "WXYZ"},
      {{'Y', 'X', ' ', 'Z', ' ', ' ', ' ', ' '}, "XYZ"},           // odd length behind blanks
      {{'Y', 'X', 0, 'Z', 0, 0, 0, 0}, "XYZ"},                     // odd length behind NULs
      {{' ', ' ', ' ', ' ', 'B', 'A', 'D', 'C'}, "ABCD"},          // even number of leading blanks
      {{' ', ' ', 'A', ' ', 'C', 'B', 'E', 'D'}, "ABCDE"},         // odd number of leading blanks
      {{'B', 'A', 'C', 0, 'E', 'D', ' ', ' '}, "ABCDE"},           // a NUL inside the text
      {{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}, ""},
      {{0, 0, 0, 0, 0, 0, 0, 0}, ""},
      {{' ', 0, 0, ' ', ' ', ' ', 0, ' '}, ""},
      {{'2', '1', '4', '3', '6', '5', '8', '7'}, "12345678"},
  };
  for (const TextCase& c : cases) {
    std::vector<u8> bytes(2);
    bytes.insert(bytes.end(), c.stored.begin(), c.stored.end());
    OrvBufAtaAsc text(bytes.data(), 2, static_cast<u8>(c.stored.size()), "Firmware revision", ORV_LITTLE_ENDIAN);
    EXPECT_EQ(text.getValue(), c.reads) << std::string(c.stored.begin(), c.stored.end());
    EXPECT_EQ(text.getName(), "Firmware revision");
  }

  // An odd range keeps its last byte where it is.
  u8 odd[] = {'B', 'A', 'C'};
  EXPECT_EQ(OrvBufAtaAsc(odd, 0, 3, "odd", ORV_LITTLE_ENDIAN).getValue(), "ABC");
}

TEST(AtaText, WritesAndComparesTheStoredBytes) {
  u8 bytes[12];
  std::memset(bytes, '#', sizeof bytes);
  OrvBufAtaAsc password(bytes, 2, 8, "Password", ORV_LITTLE_ENDIAN);
  password.setValue("ABCDE");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 12), std::string("##ABCDE\0\0\0##", 12));
  EXPECT_EQ(password.getValue(), "BADCE") << "written as given, read swapped";
  EXPECT_TRUE(password == std::string("ABCDE\0\0\0", 8));
  EXPECT_TRUE(password != "BADCE");
}

}  // namespace
