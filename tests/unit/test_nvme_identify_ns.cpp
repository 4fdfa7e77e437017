#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "devlib/nvme/orvlib_buffer_nvme.h"
#include "unit/nvme_identify_image.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme::VazidaRaduruNvmeInternal;
using namespace nvme_identify_test;

namespace {

// A 2 TB namespace formatted with 512-byte sectors, offering 4096 too.
IdentifyBytes realNamespace() {
  IdentifyBytes image;
  image.value(0, 8, 3907029168ull)
      .value(8, 8, 3907029168ull)
      .value(16, 8, 123456789)
      .value(24, 1, 0x05)
      .value(25, 1, 1)
      .value(26, 1, 0x00)
      .value(27, 1, 0x02)
      .value(28, 1, 0x19)
      .value(29, 1, 0x09)
      .value(30, 1, 0x01)
      .value(31, 1, 0x55)
      .value(32, 1, 0x80)
      .value(34, 2, 7)
      .value(36, 2, 3)
      .value(40, 2, 7)
      .value(44, 2, 3)
      .value(48, 8, 2000398934016ull)
      .raw(104, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10})
      .raw(120, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x00})
      .raw(128, {0x00, 0x00, 0x09, 0x02})
      .raw(132, {0x08, 0x00, 0x0C, 0x00})
      .raw(136, {0x40, 0x00, 0x0C, 0x01});  // beyond NLBAF: never shown
  return image;
}

const std::vector<std::pair<std::string, std::string>> kRealNamespaceLines = {
    {"Namespace size (NSZE)", "3907029168"},
    {"Namespace capacity (NCAP)", "3907029168"},
    {"Namespace utilization (NUSE)", "123456789"},
    {"Namespace features (NSFEAT):Deallocated logical block error supported", "1"},
    {"Namespace features (NSFEAT):Namespace specific atomic operation supported", "0"},
    {"Namespace features (NSFEAT):Namespace thin provisioning supported", "1"},
    {"Number of LBA formats (NLBAF)", "1"},
    {"Formatted LBA size (FLBAS):Metadata as extended data LBA supported", "0"},
    {"Formatted LBA size (FLBAS):Current LBA format", "0"},
    {"Metadata capability (MC):Metadata as separate buffer supported", "1"},
    {"Metadata capability (MC):Metadata as extended data LBA supported", "0"},
    {"End-to-end data protection capability (DPC):Protection info as last 8 bytes of metadata supported", "1"},
    {"End-to-end data protection capability (DPC):Protection info as first 8 bytes of metadata supported", "1"},
    {"End-to-end data protection capability (DPC):Protection info type-3 supported", "0"},
    {"End-to-end data protection capability (DPC):Protection info type-2 supported", "0"},
    {"End-to-end data protection capability (DPC):Protection info type-1 supported", "1"},
    {"End-to-end data protection type settings (DPS):Protection info as first 8 bytes of metadata", "1"},
    {"End-to-end data protection type settings (DPS):Protection info type", "1"},
    {"NS Multi-path I/O and NS sharing capability (NMIC):Namespace sharing supported", "1"},
    {"Reservation capability (RESCAP):Exclusive access all registrants supported", "1"},
    {"Reservation capability (RESCAP):Write exclusive all registrants supported", "0"},
    {"Reservation capability (RESCAP):Exclusive access registrants only supported", "1"},
    {"Reservation capability (RESCAP):Write exclusive registrants only supported", "0"},
    {"Reservation capability (RESCAP):Exclusive access supported", "1"},
    {"Reservation capability (RESCAP):Write exclusive supported", "0"},
    {"Reservation capability (RESCAP):Persist through power loss supported", "1"},
    {"Format progress indicator (FPI):Format progress indicator supported", "1"},
    {"Format progress indicator (FPI):Percentage of the NS remained to be formatted", "0"},
    {"Namespace atomic write unit normal (NAWUN)", "7"},
    {"Namespace atomic write unit power fail (NAWUPF)", "3"},
    {"Namespace atomic compare and write unit (NACWU)", "0"},
    {"Namespace atomic boundary size normal (NABSN)", "7"},
    {"Namespace atomic boundary offset (NABO)", "0"},
    {"Namespace atomic boundary size power fail (NABSPF)", "3"},
    {"NVM capacity (NVMCAP)", "2000398934016"},
    // Printed: the second quadword, then the first, in decimal.
    {"Namespace globally unique identifier (NGUID)", "65134524249499624072623859790382856"},
    {"IEEE extended unique identifier (EUI64)", "77665544332211"},
    {"LBA format 0:Metadata size (MS)", "0"},
    {"LBA format 0:LBA Data size (LBADS)", "9"},
    {"LBA format 0:Relative performance (RP)", "2"},
    {"LBA format 1:Metadata size (MS)", "8"},
    {"LBA format 1:LBA Data size (LBADS)", "12"},
    {"LBA format 1:Relative performance (RP)", "0"},
};

std::vector<_OrvDataItem> exported(const OrvNvmNsIdentify& identify) {
  OrvDevGenData<_OrvDataItem> data;
  identify.collectFields(data);
  EXPECT_TRUE(data.buffers.empty());
  return data.items;
}

const _OrvDataItem& named(const std::vector<_OrvDataItem>& items, const std::string& name) {
  for (const _OrvDataItem& item : items)
    if (item.name == name) return item;
  ADD_FAILURE() << "no item " << name;
  return items.front();
}

// ------------------------------------------------------------ namespace data

TEST(NvmeNamespaceIdentify, DecodesARealNamespace) {
  OrvNvmNsIdentify identify;
  realNamespace().into(identify);
  EXPECT_EQ(identify.nsze.getValue(), 3907029168ull);
  EXPECT_EQ(identify.ncap.getValue(), 3907029168ull);
  EXPECT_EQ(identify.nuse.getValue(), 123456789u);
  EXPECT_EQ(identify.nlbaf.getValue(), 1u);
  EXPECT_EQ(identify.nsfeat.thinProvisioning.getValue(), 1u);
  EXPECT_EQ(identify.flbas.currentLbaFormat.getValue(), 0u);
  EXPECT_EQ(identify.flbas.metadataAtEnd.getValue(), 0u);
  EXPECT_EQ(identify.mc.separateMetadata.getValue(), 1u);
  EXPECT_EQ(identify.dpc.protectionType1.getValue(), 1u);
  EXPECT_EQ(identify.dpc.protectionType2.getValue(), 0u);
  EXPECT_EQ(identify.dpc.protectionFirst.getValue(), 1u);
  EXPECT_EQ(identify.dpc.protectionLast.getValue(), 1u);
  EXPECT_EQ(identify.dps.protectionType.getValue(), 1u);
  EXPECT_EQ(identify.dps.protectionFirst.getValue(), 1u);
  EXPECT_EQ(identify.nmic.sharedNamespace.getValue(), 1u);
  EXPECT_EQ(identify.rescap.persistThroughPowerLoss.getValue(), 1u);
  EXPECT_EQ(identify.rescap.writeExclusive.getValue(), 0u);
  EXPECT_EQ(identify.fpi.supported.getValue(), 1u);
  EXPECT_EQ(identify.nawun.getValue(), 7u);
  EXPECT_EQ(identify.nabspf.getValue(), 3u);
  EXPECT_EQ(identify.nvmcap.getValue(), 2000398934016ull);
  EXPECT_EQ(identify.nguid.getValue(), 0x0102030405060708ull) << "big-endian";
  EXPECT_EQ(identify.nguidQword2.getValue(), 0x090A0B0C0D0E0F10ull);
  EXPECT_EQ(identify.eui64.getValue(), 0x0077665544332211ull) << "little-endian";

  // The sector size the device takes: 2 to the power LBADS of the current
  // format.
  OrvNvmLbaFmtFld* current = identify.getLbaFormat(static_cast<u8>(identify.flbas.currentLbaFormat.getValue()));
  EXPECT_EQ(1u << current->dataSize.getValue(), 512u);
  EXPECT_EQ(current->relativePerformance.getValue(), 2u);
  EXPECT_EQ(identify.getLbaFormat(1)->dataSize.getValue(), 12u);
  EXPECT_EQ(identify.getLbaFormat(1)->metadataSize.getValue(), 8u);

  // A new byte shows at once.
  identify[26] = 0x13;
  EXPECT_EQ(identify.flbas.currentLbaFormat.getValue(), 3u);
  EXPECT_EQ(identify.flbas.metadataAtEnd.getValue(), 1u);
}

TEST(NvmeNamespaceIdentify, PrintsAndExportsEveryValueInItsOrder) {
  OrvNvmNsIdentify identify;
  realNamespace().into(identify);
  std::string expected = "Namespace identify data::\n";
  for (const auto& entry : kRealNamespaceLines) expected += line(entry.first, entry.second);
  EXPECT_EQ(printed(identify), expected);

  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), kRealNamespaceLines.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const _OrvDataItem& item = items[i];
    EXPECT_EQ(item.name, kRealNamespaceLines[i].first);
    EXPECT_EQ(item.id, 0u);
    EXPECT_EQ(item.flag, 0u);
  }
  // The export writes NGUID's first quadword first, in hexadecimal.
  const _OrvDataItem& nguid = named(items, "Namespace globally unique identifier (NGUID)");
  EXPECT_EQ(nguid.kind, ORV_ITEM_TEXT);
  EXPECT_EQ(nguid.text, "10203040506070890a0b0c0d0e0f10");
  const _OrvDataItem& eui = named(items, "IEEE extended unique identifier (EUI64)");
  EXPECT_EQ(eui.kind, ORV_ITEM_TEXT);
  EXPECT_EQ(eui.text, "77665544332211");
  const _OrvDataItem& nvmcap = named(items, "NVM capacity (NVMCAP)");
  EXPECT_EQ(nvmcap.kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(nvmcap.value, 2000398934016ull);

  const std::string wide[] = {":Current LBA format",    ":Protection info type",
                               ":Percentage of the NS remained to be formatted", ":Metadata size (MS)",
                               ":LBA Data size (LBADS)", ":Relative performance (RP)"};
  size_t flags = 0;
  for (const _OrvDataItem& item : items) {
    if (item.kind == ORV_ITEM_TEXT) continue;
    bool isWide = item.name.find(':') == std::string::npos;
    for (const std::string& name : wide) isWide = isWide || endsWith(item.name, name);
    EXPECT_EQ(item.kind, isWide ? ORV_ITEM_NUMBER : ORV_ITEM_FLAG) << item.name;
    flags += item.kind == ORV_ITEM_FLAG;
  }
  EXPECT_EQ(flags, 3u + 1u + 2u + 5u + 1u + 1u + 7u + 1u);
  identify.print(nullptr);
}

TEST(NvmeNamespaceIdentify, ZeroDataShowsOneLbaFormat) {
  OrvNvmNsIdentify identify;
  std::string text = printed(identify);
  EXPECT_EQ(text.rfind("Namespace identify data::\n", 0), 0u);
  EXPECT_EQ(countOf(text, '\n'), 1u + 37u + 3u);
  EXPECT_NE(text.find(line("NVM capacity (NVMCAP)", "0")), std::string::npos);
  EXPECT_NE(text.find(line("Namespace globally unique identifier (NGUID)", "0")), std::string::npos);
  EXPECT_NE(text.find(line("IEEE extended unique identifier (EUI64)", "0")), std::string::npos);
  EXPECT_NE(text.find("LBA format 0:"), std::string::npos);
  EXPECT_EQ(text.find("LBA format 1:"), std::string::npos);
  EXPECT_EQ(text.find("qword2"), std::string::npos);
  EXPECT_EQ(text.find("QWord2"), std::string::npos);

  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), 37u + 3u);
  EXPECT_EQ(named(items, "Namespace globally unique identifier (NGUID)").kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(named(items, "IEEE extended unique identifier (EUI64)").text, "0");
}

TEST(NvmeNamespaceIdentify, LbaFormatsUpToNlbafAndNoFurther) {
  OrvNvmNsIdentify identify;
  const std::pair<u8, size_t> cases[] = {{0, 1}, {15, 16}, {16, 16}, {63, 16}, {255, 16}};
  for (const auto& c : cases) {
    identify[25] = c.first;
    std::string text = printed(identify);
    EXPECT_EQ(countOf(text, '\n'), 1u + 37u + 3u * c.second) << int(c.first);
    std::vector<_OrvDataItem> items = exported(identify);
    ASSERT_EQ(items.size(), 37u + 3u * c.second) << int(c.first);
    EXPECT_EQ(items.back().name, "LBA format " + std::to_string(c.second - 1) + ":Relative performance (RP)");
  }
}

// The device asks only for the 16 formats held; any other index is refused
// rather than answered with no object.
TEST(NvmeNamespaceIdentify, LbaFormatByIndex) {
  OrvNvmNsIdentify identify;
  for (u8 i = 0; i < 16; ++i) {
    OrvNvmLbaFmtFld* format = identify.getLbaFormat(i);
    ASSERT_EQ(format, &identify.lbaFormats[i]);
    EXPECT_EQ(format->getName(), "LBA format " + std::to_string(i));
  }
  identify[188] = 0x10;
  identify[189] = 0x00;
  identify[190] = 0x0C;
  EXPECT_EQ(identify.getLbaFormat(15)->metadataSize.getValue(), 16u);
  EXPECT_EQ(identify.getLbaFormat(15)->dataSize.getValue(), 12u);
  for (unsigned index : {16u, 31u, 32u, 255u}) {
    EXPECT_TRUE(isIdentifyStatus(thrownStatus([&] { identify.getLbaFormat(static_cast<u8>(index)); }),
                                 ORV_ERR_INVALID_ARGUMENT))
        << index;
  }
}

TEST(NvmeNamespaceIdentify, WideValues) {
  OrvNvmNsIdentify identify;
  IdentifyBytes().value(48, 8, 5).value(56, 8, 1).into(identify);
  EXPECT_NE(printed(identify).find(line("NVM capacity (NVMCAP)", "15")), std::string::npos);
  const _OrvDataItem capacity = named(exported(identify), "NVM capacity (NVMCAP)");
  EXPECT_EQ(capacity.kind, ORV_ITEM_TEXT);
  EXPECT_EQ(capacity.text, "15 [15]");

  // Only the first quadword of NGUID set: one big-endian number.
  IdentifyBytes().raw(104, {0, 0, 0, 0, 0, 0, 0x01, 0x02}).raw(120, {1, 2, 3, 4, 5, 6, 7, 8}).into(identify);
  std::string text = printed(identify);
  EXPECT_NE(text.find(line("Namespace globally unique identifier (NGUID)", "258")), std::string::npos);
  EXPECT_NE(text.find(line("IEEE extended unique identifier (EUI64)", "807060504030201")), std::string::npos);
  std::vector<_OrvDataItem> items = exported(identify);
  EXPECT_EQ(named(items, "Namespace globally unique identifier (NGUID)").kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(named(items, "Namespace globally unique identifier (NGUID)").value, 258u);
  EXPECT_EQ(named(items, "IEEE extended unique identifier (EUI64)").text, "807060504030201");

  // The longest capacity text keeps every digit.
  IdentifyBytes().value(48, 8, ~0ull).value(56, 8, ~0ull).into(identify);
  EXPECT_EQ(named(exported(identify), "NVM capacity (NVMCAP)").text,
            "1844674407370955161518446744073709551615 [ffffffffffffffffffffffffffffffff]");
}

// Copy, destroy the source, read the copy.
TEST(NvmeNamespaceIdentify, CopyOutlivesItsSource) {
  auto* source = new OrvNvmNsIdentify;
  realNamespace().into(*source);
  std::string before = printed(*source);
  OrvNvmNsIdentify copy(*source);
  source->resetZero();
  EXPECT_EQ(copy.nsze.getValue(), 3907029168ull);
  delete source;

  EXPECT_EQ(printed(copy), before);
  EXPECT_EQ(copy.getLbaFormat(1)->dataSize.getValue(), 12u);
  EXPECT_EQ(copy.flbas.currentLbaFormat.getValue(), 0u);
  EXPECT_EQ(exported(copy).size(), kRealNamespaceLines.size());

  OrvNvmNsIdentify fresh;
  EXPECT_FALSE(fresh.compare(copy)) << "a fresh object tells an all-zero namespace";
  fresh = copy;
  EXPECT_TRUE(fresh.compare(copy));
  fresh[0] = 1;
  EXPECT_EQ(copy.nsze.getValue(), 3907029168ull);
  EXPECT_EQ(fresh.nsze.getValue() & 0xFF, 1u);
}

// ------------------------------------------------------------ field classes

TEST(NvmeNamespaceFields, SubFieldsOfTheirByte) {
  OrvNvmNsIdentify identify;
  IdentifyBytes().value(26, 1, 0x13).value(29, 1, 0x0A).value(30, 1, 0xFE).value(32, 1, 0x85).into(identify);

  EXPECT_EQ(printed(identify.flbas), line("Formatted LBA size (FLBAS):Metadata as extended data LBA supported", "1") +
                                         line("Formatted LBA size (FLBAS):Current LBA format", "3"));
  OrvDevGenData<_OrvDataItem> data;
  identify.flbas.collectFields(data);
  ASSERT_EQ(data.items.size(), 2u);
  EXPECT_EQ(data.items[0].kind, ORV_ITEM_FLAG);
  EXPECT_EQ(data.items[1].kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(data.items[1].value, 3u);

  EXPECT_EQ(identify.fpi.supported.getValue(), 1u);
  EXPECT_EQ(identify.fpi.percentRemaining.getValue(), 5u);
  EXPECT_EQ(identify.dps.protectionFirst.getValue(), 1u);
  EXPECT_EQ(identify.dps.protectionType.getValue(), 2u);
  EXPECT_EQ(printed(identify.nmic),
            line("NS Multi-path I/O and NS sharing capability (NMIC):Namespace sharing supported", "0"))
      << "undeclared bits show nowhere";

  // One line per sub-field of a zero byte.
  EXPECT_EQ(countOf(printed(identify.rescap), '\n'), 7u);
  EXPECT_EQ(countOf(printed(identify.mc), '\n'), 2u);
  EXPECT_EQ(identify.nsfeat.getName(), "Namespace features (NSFEAT)");
}

TEST(NvmeNamespaceFields, LbaFormatDescriptor) {
  OrvNvmNsIdentify identify;
  IdentifyBytes().raw(128, {0x08, 0x00, 0x09, 0x02}).raw(152, {0x00, 0x00, 0x0C, 0xFF}).into(identify);
  OrvNvmLbaFmtFld& first = identify.lbaFormats[0];
  EXPECT_EQ(first.getValue(), 0x02090008u);
  EXPECT_EQ(printed(first), line("LBA format 0:Metadata size (MS)", "8") +
                                line("LBA format 0:LBA Data size (LBADS)", "9") +
                                line("LBA format 0:Relative performance (RP)", "2"));
  OrvDevGenData<_OrvDataItem> data;
  identify.lbaFormats[6].collectFields(data);
  ASSERT_EQ(data.items.size(), 3u);
  EXPECT_EQ(data.items[0].name, "LBA format 6:Metadata size (MS)");
  EXPECT_EQ(data.items[1].value, 12u);
  EXPECT_EQ(data.items[2].value, 3u) << "bits 26 to 31 are not part of RP";
  for (const _OrvDataItem& item : data.items) EXPECT_EQ(item.kind, ORV_ITEM_NUMBER);
}

}  // namespace
