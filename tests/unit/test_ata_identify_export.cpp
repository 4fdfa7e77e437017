#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata.h"
#include "unit/scratch.h"
#include "unit/ata_identify_image.h"

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

// The item after the one named name.
const _OrvDataItem& after(const std::vector<_OrvDataItem>& items, const std::string& name) {
  for (size_t i = 0; i + 1 < items.size(); ++i)
    if (items[i].name == name) return items[i + 1];
  ADD_FAILURE() << "no item after " << name;
  return items.front();
}

const _OrvDataItem& named(const std::vector<_OrvDataItem>& items, const std::string& name) {
  for (const _OrvDataItem& item : items)
    if (item.name == name) return item;
  ADD_FAILURE() << "no item " << name;
  return items.front();
}

std::vector<std::string> printedLines(OrvAtaIdentifyBuffer& identify) {
  std::string text = writtenTo([&](std::FILE* file) { identify.print(file); });
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    line.push_back(c);
    if (c == '\n') lines.push_back(std::move(line)), line.clear();
  }
  EXPECT_EQ(line, "") << "the text ends with a newline";
  return lines;
}

// The label blank-filled to 100 columns, then ": " and the value.
std::string printLine(const std::string& name, const std::string& value) {
  return name + std::string(name.size() < 100 ? 100 - name.size() : 0, ' ') + ": " + value + "\n";
}

bool hasLine(const std::vector<std::string>& lines, const std::string& name, const std::string& value) {
  return std::find(lines.begin(), lines.end(), printLine(name, value)) != lines.end();
}

std::string printLine(const _OrvDataItem& item) {
  return printLine(item.name, item.kind == ORV_ITEM_TEXT ? item.text : std::to_string(item.value));
}

TEST(AtaIdentifyExport, FullBufferGives225EntriesInTableOrder) {
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
  for (const std::string& name : names) EXPECT_EQ(name.find("World wide name OUI"), std::string::npos);
  for (const std::string& name : names) EXPECT_EQ(name.find("World wide name Unique"), std::string::npos);

  // Each erase time in its short form, since bit 15 of words 89 and 90 is clear.
  EXPECT_EQ(after(items, "Extended time reported for normal erase mode").name, "Time required for normal erase mode");
  EXPECT_EQ(after(items, "Extended time reported for enhanced erase mode").name,
            "Time required for enhanced erase mode");
  EXPECT_EQ(std::count(names.begin(), names.end(), "Extended time required for normal erase mode"), 0);

  for (const _OrvDataItem& item : items) {
    EXPECT_EQ(item.value, 0u) << item.name;
    EXPECT_EQ(item.text, "") << item.name;
    EXPECT_EQ(item.id, 0u) << item.name;
    EXPECT_EQ(item.flag, 0u) << item.name;
  }
}

TEST(AtaIdentifyExport, ItemsOfARealDrive) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), 225u);

  const _OrvDataItem& model = named(items, "Model number");
  EXPECT_EQ(model.kind, ORV_ITEM_TEXT);
  EXPECT_EQ(model.text, "VNDR QX12-8000T");
  EXPECT_EQ(named(items, "Current media serial number").text, "MSN-01");

  const _OrvDataItem& oui = named(items, "World Wide Name IEEE OUI");
  EXPECT_EQ(oui.kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(oui.value, 0x0014EEu);
  EXPECT_EQ(named(items, "World Wide Name Unique ID").value, 0x3ABCD1234u);
  EXPECT_EQ(named(items, "World wide name NAA").value, 5u);

  // Word 89 short, word 90 extended.
  const _OrvDataItem& normal = after(items, "Extended time reported for normal erase mode");
  EXPECT_EQ(normal.name, "Time required for normal erase mode");
  EXPECT_EQ(normal.value, 60u);
  const _OrvDataItem& enhanced = after(items, "Extended time reported for enhanced erase mode");
  EXPECT_EQ(enhanced.name, "Extended time required for enhanced erase mode");
  EXPECT_EQ(enhanced.value, 0x123u);
  EXPECT_EQ(named(items, "Extended time reported for enhanced erase mode").value, 1u);

  EXPECT_EQ(named(items, "Logical sector size").value, 2048u);
  EXPECT_EQ(named(items, "Maximum number of blocks per download microcode").value, 128u);
  const _OrvDataItem& frozen = named(items, "Security frozen");
  EXPECT_EQ(frozen.kind, ORV_ITEM_FLAG);
  EXPECT_EQ(frozen.value, 1u);
  EXPECT_EQ(named(items, "Security enabled").kind, ORV_ITEM_FLAG);
}

TEST(AtaIdentifyExport, KindFollowsTheFieldsWidth) {
  OrvAtaIdentifyBuffer identify;
  IdentifyImage().word(49, 0x0001).word(106, 0x6001).word(89, 0x8001).into(identify);
  std::vector<_OrvDataItem> items = exported(identify);
  EXPECT_EQ(named(items, "Long physical sector alignment error reporting").kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(named(items, "Long physical sector alignment error reporting").value, 1u);
  EXPECT_EQ(named(items, "Logical sectors per physical sector").kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(named(items, "Logical sectors per physical sector").value, 1u);
  EXPECT_EQ(named(items, "Multiple logical sectors per physical sector").kind, ORV_ITEM_FLAG);
  EXPECT_EQ(named(items, "Extended time required for normal erase mode").kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(named(items, "Extended time required for normal erase mode").value, 1u);
}

TEST(AtaIdentifyExport, EraseTimeChosenByBit15AndShownRaw) {
  OrvAtaIdentifyBuffer identify;
  IdentifyImage().word(89, 0x8005).word(90, 0x0105).into(identify);
  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), 225u);
  const _OrvDataItem& normal = after(items, "Extended time reported for normal erase mode");
  EXPECT_EQ(normal.name, "Extended time required for normal erase mode");
  EXPECT_EQ(normal.value, 5u);
  const _OrvDataItem& enhanced = after(items, "Extended time reported for enhanced erase mode");
  EXPECT_EQ(enhanced.name, "Time required for enhanced erase mode");
  EXPECT_EQ(enhanced.value, 5u) << "bits 8-14 are not shown";
  EXPECT_EQ(after(items, enhanced.name).name, "Current APM level value");

  std::vector<std::string> lines = printedLines(identify);
  ASSERT_EQ(lines.size(), 225u);
  EXPECT_TRUE(hasLine(lines, "Extended time required for normal erase mode", "5"));
  EXPECT_TRUE(hasLine(lines, "Time required for enhanced erase mode", "5"));
}

TEST(AtaIdentifyExport, AppendsToWhatTheContainerHolds) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  OrvDevGenData<_OrvDataItem> data;
  data.addItem(_OrvDataItem("earlier", 7, 1, 1));
  identify.collectFields(data);
  identify.collectFields(data);
  ASSERT_EQ(data.items.size(), 451u);
  EXPECT_EQ(data.items[0].name, "earlier");
  EXPECT_EQ(data.items[1].name, "Non ATA device");
  EXPECT_EQ(data.items[226].name, "Non ATA device");
  EXPECT_EQ(data.items[450].name, "Checksum validity indicator");
  EXPECT_TRUE(data.buffers.empty());
}

TEST(AtaIdentifyExport, CopyExportsItsOwnNames) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  OrvAtaIdentifyBuffer copy(identify);
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

  std::vector<std::string> lines = printedLines(copy);
  EXPECT_TRUE(hasLine(lines, "The 48-bit address features set supported", "1"));
}

// ------------------------------------------------------------ print

TEST(AtaIdentifyPrint, OneLinePerItemInTheSameOrder) {
  OrvAtaIdentifyBuffer identify;
  std::vector<std::string> lines = printedLines(identify);
  ASSERT_EQ(lines.size(), 225u);
  EXPECT_EQ(lines[0], printLine("Non ATA device", "0"));
  EXPECT_EQ(lines[5], printLine("Model number", ""));
  EXPECT_EQ(lines[5].substr(98), "  : \n");

  realDrive().into(identify);
  lines = printedLines(identify);
  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(lines.size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(lines[i], printLine(items[i]));

  EXPECT_EQ(lines[3], printLine("Serial number", "ZX3A9K21QTS07"));
  EXPECT_EQ(lines[5], std::string("Model number") + std::string(88, ' ') + ": VNDR QX12-8000T\n");
  EXPECT_TRUE(hasLine(lines, "World Wide Name Unique ID", "15767245364"));
  EXPECT_TRUE(hasLine(lines, "User addressable logical sectors", "15628053168"));
}

TEST(AtaIdentifyPrint, NoStreamWritesNothing) {
  OrvAtaIdentifyBuffer identify;
  realDrive().into(identify);
  identify.print(nullptr);
  EXPECT_EQ(identify.modelNumber.getValue(), "VNDR QX12-8000T");
}

}  // namespace
