// IDENTIFY DEVICE data: a real drive's words decoded, exported and printed
// as a whole, the flags each on a bit of its own, copies and ATA texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata.h"
#include "unit/ata_identify_image.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal;
using identify_test::IdentifyImage;
using identify_test::realDrive;

namespace {

std::vector<_OrvDataItem> exported(const OrvAtaIdentifyBuffer& identify) {
  OrvDevGenData<_OrvDataItem> data;
  identify.collectFields(data);
  EXPECT_TRUE(data.buffers.empty());
  return data.items;
}

std::vector<std::string> namesOf(const std::vector<_OrvDataItem>& items) {
  std::vector<std::string> names;
  for (const _OrvDataItem& item : items) names.push_back(item.name);
  return names;
}

const _OrvDataItem& named(const std::vector<_OrvDataItem>& items, const std::string& name) {
  for (const _OrvDataItem& item : items)
    if (item.name == name) return item;
  ADD_FAILURE() << "no item " << name;
  return items.front();
}

// The item after the one named name.
const _OrvDataItem& after(const std::vector<_OrvDataItem>& items, const std::string& name) {
  for (size_t i = 0; i + 1 < items.size(); ++i)
    if (items[i].name == name) return items[i + 1];
  ADD_FAILURE() << "no item after " << name;
  return items.front();
}

// The label blank-filled to 100 columns, then ": " and the value.
std::string printLine(const std::string& name, const std::string& value) {
  return name + std::string(name.size() < 100 ? 100 - name.size() : 0, ' ') + ": " + value + "\n";
}
std::string valueOf(const _OrvDataItem& item) {
  return item.kind == ORV_ITEM_TEXT ? item.text : std::to_string(item.value);
}
std::string printedText(OrvAtaIdentifyBuffer& identify) {
  return writtenTo([&](std::FILE* file) { identify.print(file); });
}

// The flags the real drive raises and its other values that are not zero;
// every other item is 0 or empty.
const char* const kRealDriveFlags[] = {
    "Standby timer specific to SAT-3 standard", "IORDY supported", "IORDY enabled", "LBA supported",
    "DMA supported", "Word 88 validity", "Words 64..70 validity", "BLOCK ERASE EXT command supported",
    "CRYPTO SCRAMBLE EXT command supported", "Sanitize feature set supported",
    "Commands allowed during a sanitize operation as per SATA-3",
    "SANITIZE ANTIFREEZE LOCK EXT command supported", "Multiple logical sector setting is valid",
    "Multi-word DMA mode 2 selected", "Multi-word DMA mode 2 and below supported",
    "Multi-word DMA mode 1 and below supported", "Multi-word DMA mode 0 supported",
    "Deterministic data in trimmed LBA range supported", "READ BUFFER DMA supported",
    "WRITE BUFFER DMA supported", "DOWNLOAD MICROCODE DMA supported",
    "Extended user addressable sectors supported", "READ LOG DMA EXT equivalent to READ LOG EXT supported",
    "SATA PHY event counters log supported", "NCQ feature set supported",
    "SATA gen3 signalling speed 6.0Gbps supported", "SATA gen2 signalling speed 3.0Gbps supported",
    "SATA gen1 signalling speed 1.5Gbps supported", "RECEIVE FPDMA QUEUED and SEND FPDMA QUEUED supported",
    "Software settings preservation supported", "Initiating power management supported",
    "DMA setup auto-activation supported", "Software settings preservation enabled",
    "Device initiated power management enabled", "ACS-3 supported", "ACS-2 supported", "ATA8-ACS supported",
    "ATA/ATAPI-7 supported", "ATA/ATAPI-6 supported", "ATA/ATAPI-5 supported", "NOP command supported(Word82)",
    "READ BUFFER command supported(Word82)", "WRITE BUFFER command supported(Word82)",
    "Read look-ahead supported", "Volatile write cache supported", "Security feature set supported",
    "SMART feature set supported", "FLUSH CACHE EXT command supported(Word83)", "FLUSH CACHE command supported)",
    "The 48-bit address feature set supported(Word83)", "DOWNLOAD MICROCODE command supported(Word83)",
    "IDLE IMMEDIATE command with UNLOAD FEATURE supported(Word84)", "World wide name supported(Word84)",
    "WRITE DMA FUA EXT and MULTIPLE FUA EXT command supported", "GPL feature set supported(Word84)",
    "SMART self-test supported(Word84)", "SMART error logging supported(Word84)", "NOP command supported(Word85)",
    "READ BUFFER command supported(Word85)", "WRITE BUFFER command supported(Word85)",
    "SMART feature set enabled", "Words 119..120 validity", "FLUSH CACHE EXT command supported(Word86)",
    "FLUSH CACHE command supported", "The 48-bit address feature set supported(Word86)",
    "DOWNLOAD MICROCODE command supported(Word86)",
    "IDLE IMMEDIATE command with UNLOAD FEATURE supported(Word87)", "World wide name supported(Word87)",
    "WRITE DMA FUA EXT and MULTIPLE FUA EXT commands supported", "GPL feature set supported(Word87)",
    "SMART self-test supported(Word87)", "SMART error logging supported(Word87)", "Ultra DMA mode 6 selected",
    "Ultra DMA mode 6 and below supported", "Ultra DMA mode 5 and below supported",
    "Ultra DMA mode 4 and below supported", "Ultra DMA mode 3 and below supported",
    "Ultra DMA mode 2 and below supported", "Ultra DMA mode 1 and below supported", "Ultra DMA mode 0 supported",
    "Extended time reported for enhanced erase mode", "Logical sector longer than 256 words",
    "Download microcode mode 3 supported(Word119)", "WRITE UNCORRECTABLE EXT command supported(Word119)",
    "Download microcode mode 3 supported(Word120)", "WRITE UNCORRECTABLE EXT command supported(Word120)",
    "Master password capability", "Enhanced security erase supported", "Security frozen", "Security supported",
    "TRIM bit in the DATA SET MANAGEMENT command supported", "SCT data tables command supported",
    "SCT feature control command supported", "SCT error recovery control command supported",
    "SCT write same command supported", "SCT command transport supported", "SATA 30.1 supported",
    "SATA 3 supported", "SATA 20.6 supported", "SATA 20.5 supported", "SATA iI: extensions supported",
    "SATA 1.0a supported", "ATA8-AST supported",
};
const std::map<std::string, std::string> kRealDriveValues = {
    {"Specific configuration", "51255"}, {"Serial number", "ZX3A9K21QTS07"}, {"Firmware revision", "VX1.2.3"},
    {"Model number", "VNDR QX12-8000T"}, {"Maximum logical sectors transferred per DRQ data block", "16"},
    {"Current logical sectors setting transferred per DRQ data block", "16"},
    {"User addressable logical sectors 28-bit", "268435455"}, {"PIO mode 3 and mode 4 supported", "3"},
    {"Minimum multi-word DMA transfer cycle time per word", "120"},
    {"Recommended multi-word DMA transfer cycle time", "120"},
    {"Minimum PIO transfer cycle time without flow control", "120"},
    {"Minimum PIO transfer cycle time with IORDY", "120"}, {"Maximum queue depth", "31"},
    {"Current negotiated serial ATA signal speed", "3"}, {"Minor version number", "283"},
    {"Time required for normal erase mode", "60"}, {"Extended time required for enhanced erase mode", "291"},
    {"Master password identifier", "65534"}, {"User addressable logical sectors", "15628053168"},
    {"World wide name NAA", "5"}, {"World Wide Name IEEE OUI", "5358"},
    {"World Wide Name Unique ID", "15767245364"}, {"Logical sector size", "2048"},
    {"Device nominal form factor", "3"}, {"Current media serial number", "MSN-01"},
    {"Nominal media rotation rate", "7200"}, {"Transport type", "1"},
    {"Extended number of user addressable sectors", "15628053168"},
    {"Minimum number of blocks per download microcode", "1"},
    {"Maximum number of blocks per download microcode", "128"}, {"Checksum", "201"},
    {"Checksum validity indicator", "165"},
};

TEST(AtaIdentifyData, ARealDriveExportsAndPrintsEveryItem) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), 225u);
  std::vector<std::string> raised;
  std::string expected;
  for (const _OrvDataItem& item : items) {
    EXPECT_TRUE(item.id == 0 && item.flag == 0) << item.name;
    auto value = kRealDriveValues.find(item.name);
    bool listed = value != kRealDriveValues.end();
    bool raisedFlag = item.kind == ORV_ITEM_FLAG && item.value == 1;
    if (raisedFlag) raised.push_back(item.name);
    std::string zero = item.kind == ORV_ITEM_TEXT ? "" : "0";
    EXPECT_EQ(valueOf(item), listed ? value->second : raisedFlag ? "1" : zero) << item.name;
    EXPECT_FALSE(listed && item.kind == ORV_ITEM_FLAG) << item.name;
    expected += printLine(item.name, valueOf(item));
  }
  EXPECT_EQ(raised, std::vector<std::string>(std::begin(kRealDriveFlags), std::end(kRealDriveFlags)));
  EXPECT_EQ(printedText(identify), expected);
  for (const char* text : {"Serial number", "Firmware revision", "Model number", "Current media serial number"})
    EXPECT_EQ(named(items, text).kind, ORV_ITEM_TEXT) << text;
  EXPECT_EQ(identify.getWwnOui(), 0x0014EEu);
  EXPECT_EQ(identify.getWwnUniqueId(), 0x3ABCD1234u);
  identify.print(nullptr);

  // The container keeps what it held; each call appends all again.
  OrvDevGenData<_OrvDataItem> data;
  data.addItem(_OrvDataItem("earlier", 7, 1, 1));
  identify.collectFields(data);
  identify.collectFields(data);
  ASSERT_EQ(data.items.size(), 451u);
  EXPECT_EQ(data.items[0].name, "earlier");
  EXPECT_EQ(data.items[226].name, "Non ATA device");
}

TEST(AtaIdentifyData, ZeroDataInTableOrder) {
  OrvAtaIdentifyBuffer identify;
  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), 225u);
  std::vector<std::string> names = namesOf(items);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 6),
            (std::vector<std::string>{"Non ATA device", "Incomplete response", "Specific configuration", "Serial number",
                                      "Firmware revision", "Model number"}));
  EXPECT_EQ(names[223], "Checksum");
  EXPECT_EQ(names[224], "Checksum validity indicator");
  // The world wide name as two numbers right after its NAA, without its parts.
  auto naa = std::find(names.begin(), names.end(), "World wide name NAA");
  ASSERT_NE(naa, names.end());
  EXPECT_EQ(std::vector<std::string>(naa - 1, naa + 4),
            (std::vector<std::string>{"Inter-seek delay", "World wide name NAA", "World Wide Name IEEE OUI",
                                      "World Wide Name Unique ID", "Logical sector size"}));
  for (const std::string& name : names) {
    EXPECT_EQ(name.find("World wide name OUI"), std::string::npos);
    EXPECT_EQ(name.find("World wide name Unique"), std::string::npos);
  }
  std::string text = printedText(identify);
  EXPECT_EQ(text.substr(0, 104), printLine("Non ATA device", "0"));
  EXPECT_NE(text.find(printLine("Model number", "")), std::string::npos);
}

// Each erase time shows in the form bit 15 of its word chooses, raw.
TEST(AtaIdentifyData, EraseTimesAndWorldWideNameParts) {
  struct Case {
    u16 word89, word90;
    std::string normalName;
    u64 normal;
    std::string enhancedName;
    u64 enhanced;
  };
  const Case cases[] = {
      {0, 0, "Time required for normal erase mode", 0, "Time required for enhanced erase mode", 0},
      {0x8005, 0x0105, "Extended time required for normal erase mode", 5, "Time required for enhanced erase mode", 5},
      {0x003C, 0x8123, "Time required for normal erase mode", 60, "Extended time required for enhanced erase mode",
       0x123},
  };
  for (const Case& c : cases) {
    OrvAtaIdentifyBuffer identify;
    IdentifyImage().word(89, c.word89).word(90, c.word90).into(identify);
    std::vector<_OrvDataItem> items = exported(identify);
    ASSERT_EQ(items.size(), 225u);
    const _OrvDataItem& normal = after(items, "Extended time reported for normal erase mode");
    const _OrvDataItem& enhanced = after(items, "Extended time reported for enhanced erase mode");
    EXPECT_EQ(normal.name, c.normalName);
    EXPECT_EQ(normal.value, c.normal);
    EXPECT_EQ(normal.kind, ORV_ITEM_NUMBER);
    EXPECT_EQ(enhanced.name, c.enhancedName);
    EXPECT_EQ(enhanced.value, c.enhanced);
    EXPECT_EQ(after(items, enhanced.name).name, "Current APM level value");
    std::string text = printedText(identify);
    EXPECT_NE(text.find(printLine(c.normalName, std::to_string(c.normal))), std::string::npos);
    EXPECT_NE(text.find(printLine(c.enhancedName, std::to_string(c.enhanced))), std::string::npos);
  }
  OrvAtaIdentifyBuffer identify;
  IdentifyImage().word(89, 0x8005).word(90, 0x0105).into(identify);
  EXPECT_EQ(identify.normalEraseTime.getValue(), 5u);
  EXPECT_EQ(identify.enhancedEraseExtendedTime.getValue(), 261u);

  // Every bit of the OUI and of the unique id is kept, each part in its place.
  IdentifyImage().word(108, 0x5000).word(109, 0xC500).word(110, 0x1234).word(111, 0x5678).into(identify);
  EXPECT_EQ(identify.getWwnOui(), 0x000C50u);
  EXPECT_EQ(identify.getWwnUniqueId(), 0x012345678u);
  IdentifyImage().words(108, 4, 0xFFFF'FFFF'FFFF'FFFFull).into(identify);
  EXPECT_EQ(identify.wwnNaa.getValue(), 0xFu);
  EXPECT_EQ(identify.getWwnOui(), 0xFFFFFFu);
  EXPECT_EQ(identify.getWwnUniqueId(), 0xFFFFFFFFFu);

  // Items wider than one bit are numbers, whatever their value.
  IdentifyImage().word(49, 0x0001).word(106, 0x6001).into(identify);
  std::vector<_OrvDataItem> items = exported(identify);
  for (const char* number : {"Long physical sector alignment error reporting", "Logical sectors per physical sector"})
    EXPECT_TRUE(named(items, number).kind == ORV_ITEM_NUMBER && named(items, number).value == 1) << number;
  EXPECT_EQ(named(items, "Multiple logical sectors per physical sector").kind, ORV_ITEM_FLAG);
}

// Every flag lies on a bit of its own: setting one bit of the data raises at
// most one flag, and every flag is raised by some bit. A flag whose name
// tells its word lies in that word.
TEST(AtaIdentifyData, EveryFlagHasABitOfItsOwn) {
  OrvAtaIdentifyBuffer identify;
  size_t flagCount = 0;
  for (const _OrvDataItem& item : exported(identify)) flagCount += item.kind == ORV_ITEM_FLAG;
  ASSERT_EQ(flagCount, 175u);

  std::vector<std::string> raised;
  for (u32 word = 0; word < 256; ++word) {
    for (u32 bit = 0; bit < 16; ++bit) {
      identify.resetZero();
      identify[2 * word + bit / 8] = static_cast<u8>(1u << (bit % 8));
      std::vector<std::string> names;
      for (const _OrvDataItem& item : exported(identify))
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

// ------------------------------------------------------------ copies

TEST(AtaIdentifyData, CopiesHaveBytesFieldsAndNamesOfTheirOwn) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  OrvAtaIdentifyBuffer copy(identify);
  // A copy names four fields its own way, in the export and the print.
  std::vector<std::string> names = namesOf(exported(copy));
  std::vector<std::string> original = namesOf(exported(identify));
  ASSERT_EQ(names.size(), original.size());
  std::vector<std::pair<std::string, std::string>> renamed;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] != original[i]) renamed.emplace_back(original[i], names[i]);
  EXPECT_EQ(renamed, (std::vector<std::pair<std::string, std::string>>{
                         {"The 48-bit address feature set supported(Word83)", "The 48-bit address feature set supported"},
                         {"SET FEATURES subcommand  required to spin-up(Word83)",
                          "SET FEATURES subcommand  required to spin-up"},
                         {"The 48-bit address feature set supported(Word86)", "The 48-bit address features set supported"},
                         {"SET FEATURES subcommand required to spin-up(Word86)",
                          "SET FEATURES subcommand required to spin-up"},
                     }));
  EXPECT_NE(printedText(copy).find(printLine("The 48-bit address features set supported", "1")), std::string::npos);
  OrvAtaIdentifyBuffer copyOfCopy(copy);
  EXPECT_EQ(copyOfCopy.address48SupportedW86.getName(), "The 48-bit address features set supported");

  IdentifyImage().text(23, 4, "NEWREV01").into(identify);
  EXPECT_EQ(identify.firmwareRevision.getValue(), "NEWREV01");
  EXPECT_EQ(copy.firmwareRevision.getValue(), "VX1.2.3");

  // Assignment brings the bytes over; the fields stay on the target's bytes.
  copy = identify;
  EXPECT_EQ(copy.firmwareRevision.getValue(), "NEWREV01");
  copy[46] = 'X';
  EXPECT_EQ(identify.firmwareRevision.getValue(), "NEWREV01");

  // A copy of any buffer keeps its byte order but reads little-endian.
  OrvBuffer raw(512, ORV_BIG_ENDIAN);
  raw[166] = 0x41;  // word 83 bits 0 and 6
  OrvAtaIdentifyBuffer fromRaw(raw);
  EXPECT_EQ(fromRaw.getEndianess(), ORV_BIG_ENDIAN);
  EXPECT_EQ(fromRaw.downloadMicrocodeSupportedW83.getValue() + fromRaw.spinUpSetFeaturesW83.getValue(), 2u);
  EXPECT_EQ(fromRaw.address48SupportedW86.getName(), "The 48-bit address features set supported");

  // A short source is filled up; an empty one is refused.
  OrvBuffer shortSource(100, ORV_LITTLE_ENDIAN);
  shortSource[94] = 0x10;
  OrvAtaIdentifyBuffer fromShort(shortSource);
  EXPECT_EQ(fromShort.getLength(), 512u);
  EXPECT_EQ(fromShort.maxSectorsPerDrqBlock.getValue(), 0x10u);
  EXPECT_EQ(fromShort.checksumValidity.getValue(), 0u);
  EXPECT_TRUE(isLibStatus(thrownStatus([] { OrvAtaIdentifyBuffer empty{OrvBuffer()}; }), ORV_ERR_BUFFER_LENGTH, 102));
}

// The fields view the buffer's bytes for its whole life, so the bytes never
// move: a longer content is refused and the fields still read the old bytes.
TEST(AtaIdentifyData, BytesNeverMove) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  std::vector<u8> longer(1024, 0x20);
  OrvBuffer& asBuffer = identify;
  for (u64 word : {identify.setBuffer(longer.data(), 1024, ORV_LITTLE_ENDIAN), identify.resize(513),
                   thrownStatus([&] { asBuffer = OrvBuffer(1024, ORV_LITTLE_ENDIAN); })})
    EXPECT_TRUE(isLibStatus(word, ORV_ERR_BUFFER_LENGTH, 130));
  EXPECT_EQ(identify.getLength(), 512u);
  EXPECT_EQ(identify.modelNumber.getValue(), "VNDR QX12-8000T");

  // Content of the same length replaces the bytes in place.
  std::vector<u8> same(512, 0);
  EXPECT_EQ(identify.setBuffer(same.data(), 512, ORV_LITTLE_ENDIAN), 0u);
  EXPECT_EQ(identify.modelNumber.getValue(), "");
}

// ------------------------------------------------------------ ATA text

TEST(AtaText, ReadsEachStoredWordInReadingOrder) {
  const std::pair<std::vector<u8>, std::string> cases[] = {
      {{'X', 'W', 'Z', 'Y', ' ', ' ', ' ', ' '}, "WXYZ"},
      {{'Y', 'X', ' ', 'Z', ' ', ' ', ' ', ' '}, "XYZ"},    // odd length behind blanks
      {{'Y', 'X', 0, 'Z', 0, 0, 0, 0}, "XYZ"},              // odd length behind NULs
      {{' ', ' ', ' ', ' ', 'B', 'A', 'D', 'C'}, "ABCD"},   // even number of leading blanks
      {{' ', ' ', 'A', ' ', 'C', 'B', 'E', 'D'}, "ABCDE"},  // odd number of leading blanks
      {{'B', 'A', 'C', 0, 'E', 'D', ' ', ' '}, "ABCDE"},    // a NUL inside the text
      {{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}, ""},
      {{0, 0, 0, 0, 0, 0, 0, 0}, ""},
      {{' ', 0, 0, ' ', ' ', ' ', 0, ' '}, ""},
      {{'2', '1', '4', '3', '6', '5', '8', '7'}, "12345678"},
      {{'B', 'A', 'C'}, "ABC"},  // an odd range keeps its last byte where it is
  };
  for (const auto& c : cases) {
    std::vector<u8> bytes(2);
    bytes.insert(bytes.end(), c.first.begin(), c.first.end());
    OrvBufAtaAsc text(bytes.data(), 2, static_cast<u8>(c.first.size()), "Firmware revision", ORV_LITTLE_ENDIAN);
    EXPECT_EQ(text.getValue(), c.second) << std::string(c.first.begin(), c.first.end());
    EXPECT_EQ(text.getName(), "Firmware revision");
  }

  // Written as given, read swapped; compared with the stored bytes.
  u8 bytes[12];
  std::memset(bytes, '#', sizeof bytes);
  OrvBufAtaAsc password(bytes, 2, 8, "Password", ORV_LITTLE_ENDIAN);
  password.setValue("ABCDE");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 12), std::string("##ABCDE\0\0\0##", 12));
  EXPECT_EQ(password.getValue(), "BADCE");
  EXPECT_TRUE(password == std::string("ABCDE\0\0\0", 8));
  EXPECT_TRUE(password != "BADCE");
}

}  // namespace
