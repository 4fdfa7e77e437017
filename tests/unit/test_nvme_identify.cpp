// NVMe identify data: the controller and namespace structures over known
// bytes, compared as whole printed texts and exports.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "devlib/nvme/orvlib_buffer_nvme.h"
#include "unit/nvme_identify_image.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme::VazidaRaduruNvmeInternal;
using namespace nvme_identify_test;

namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

const char kModel[] = "VNDR QX9 NVMe SSD 2TB WITH A FULL MODEL!";
static_assert(sizeof kModel - 1 == 40, "the model number fills its field");

// A 2 TB drive with three power states.
IdentifyBytes realController() {
  IdentifyBytes image;
  image.value(0, 2, 0x1C5C).value(2, 2, 0x1C5D).text(4, 20, "  S4EVNF0M123456")
      .raw(20, {' ', 0, ' ', 0})  // blanks and NULs behind the serial number
      .text(24, 40, kModel).text(64, 8, "FWREV01").value(72, 1, 6)
      .raw(73, {0x75, 0xA0, 0x00})  // IEEE OUI 00A075
      .value(76, 1, 0x05).value(77, 1, 9).value(78, 2, 0x0021)
      .raw(80, {0x00, 0x03, 0x01, 0x00})  // version 1.3
      .value(84, 4, 500000).value(88, 4, 2000000).value(92, 4, 0x200).value(255, 1, 0x02).value(256, 2, 0x0017)
      .value(258, 1, 3).value(259, 1, 7).value(260, 1, 0x17).value(261, 1, 0x0A).value(262, 1, 63)
      .value(263, 1, 2).value(264, 1, 1).value(265, 1, 1).value(266, 2, 358).value(268, 2, 363).value(270, 2, 100)
      .value(272, 4, 8192).value(276, 4, 1024).value(280, 8, 2000398934016ull).value(296, 8, 12345)
      .raw(312, {0x09, 0x00, 0x02, 0x01}).value(328, 4, 0x3).value(512, 1, 0x66).value(513, 1, 0x44)
      .value(516, 4, 1).value(520, 2, 0x1F).value(522, 2, 1).value(524, 1, 0x04).value(525, 1, 1)
      .value(526, 2, 255).value(528, 2, 7).value(530, 1, 1).value(532, 2, 9).value(536, 4, 0x00020001)
      // Power state 0: 25.00 W; 1: 18.00 W with latencies; 2: non-operational.
      .raw(2048, {0xC4, 0x09}).value(2048 + 22, 1, 0x82).value(2048 + 20, 2, 1800)
      .raw(2080, {0x08, 0x07}).value(2080 + 4, 4, 50).value(2080 + 8, 4, 60).value(2080 + 12, 4, 0x01010101)
      .raw(2112, {0xF4, 0x01, 0x00, 0x02}).value(2112 + 16, 2, 30).value(2112 + 18, 1, 0x80)
      .text(3126, 8, "CMP00042");
  return image;
}

template <typename Collectable>
std::vector<_OrvDataItem> exported(const Collectable& object) {
  OrvDevGenData<_OrvDataItem> data;
  object.collectFields(data);
  EXPECT_TRUE(data.buffers.empty());
  return data.items;
}

const _OrvDataItem& named(const std::vector<_OrvDataItem>& items, const std::string& name) {
  for (const _OrvDataItem& item : items)
    if (item.name == name) return item;
  ADD_FAILURE() << "no item " << name;
  return items.front();
}

// The value rows of a print: a row without a value opens a group whose label
// prefixes the rows after it, up to a row of an empty label.
Lines expand(std::vector<std::pair<const char*, const char*>> rows) {
  Lines lines;
  std::string group;
  for (const auto& row : rows) {
    if (!row.second) group = row.first;
    else lines.emplace_back(group + row.first, row.second);
  }
  return lines;
}

std::string linesOf(const Lines& lines, const std::string& prefix = "") {
  std::string text;
  for (const auto& entry : lines) text += line(prefix + entry.first, entry.second);
  return text;
}

// ------------------------------------------------------------ identify buffer

TEST(NvmeIdentifyBuffer, NamedZeroedBytesDumpsAndCopies) {
  OrvNvmIdentify list("Attached namespace list");
  ASSERT_EQ(list.getLength(), 4096u);
  EXPECT_EQ(list.getEndianess(), ORV_LITTLE_ENDIAN);
  for (u32 i = 0; i < 4096; ++i) ASSERT_EQ(list[i], 0) << i;
  EXPECT_EQ(list.getName(), "") << "the name shows only in the dumps";

  OrvBuffer plain(4096, ORV_LITTLE_ENDIAN);
  std::stringstream plainDump, dump;
  plain.hexDump(plainDump);
  dump << "text that was in the stream before";
  list.hexDump(dump);
  EXPECT_EQ(dump.str(), "Attached namespace list\n" + plainDump.str());
  EXPECT_EQ(countOf(dump.str(), '\n'), 1u + 256u + 2u);
  EXPECT_EQ(printed(list), "") << "a list buffer prints nothing";
  EXPECT_EQ(withoutCarriageReturns(writtenTo([&](std::FILE* file) { list.hexDump(static_cast<void*>(file)); })),
            dump.str());
  list.hexDump(static_cast<void*>(nullptr));
  list.print(nullptr);
  EXPECT_TRUE(exported(list).empty());

  // A copy has bytes of its own and keeps the name, also through assignment.
  auto* source = new OrvNvmIdentify("Controller list attached to namespace 0x00000001");
  (*source)[0] = 2;
  (*source)[4095] = 0x7F;
  OrvNvmIdentify copy(*source);
  (*source)[0] = 9;
  EXPECT_EQ(copy[0], 2);
  delete source;
  OrvNvmIdentify other("All controller list");
  other = copy;
  EXPECT_EQ(other[4095], 0x7F);
  for (OrvNvmIdentify* kept : {&copy, &other}) {
    kept->hexDump(dump);
    EXPECT_EQ(dump.str().rfind("Controller list attached to namespace 0x00000001\n", 0), 0u);
  }
}

// The fields of the derived structures view these bytes for the buffer's
// whole life: no other length is taken, in any way.
TEST(NvmeIdentifyBuffer, BytesNeverMove) {
  OrvNvmCtrlIdentify identify;
  realController().into(identify);
  const u8* bytes = identify.getBuffer();
  std::vector<u8> longer(8192, 0x41);
  OrvBuffer& asBuffer = identify;
  for (u64 word : {identify.resize(4097), identify.resize(512),
                   identify.setBuffer(longer.data(), 8192, ORV_LITTLE_ENDIAN),
                   identify.setBuffer(longer.data(), 16, ORV_LITTLE_ENDIAN),
                   thrownStatus([&] { asBuffer = OrvBuffer(100, ORV_LITTLE_ENDIAN); })})
    EXPECT_TRUE(isIdentifyStatus(word, ORV_ERR_BUFFER_LENGTH));
  EXPECT_EQ(identify.getLength(), 4096u);
  EXPECT_EQ(identify.getBuffer(), bytes);
  EXPECT_EQ(identify.mn.getValue(), kModel);

  // New data of the same length lands in place and shows at once.
  EXPECT_EQ(identify.setBuffer(longer.data(), 4096, ORV_LITTLE_ENDIAN), 0u);
  EXPECT_EQ(identify.getBuffer(), bytes);
  EXPECT_EQ(identify.fr.getValue(), "AAAAAAAA");
}

// ------------------------------------------------------------ controller data

// Every label in print order, with the value the real controller shows.
const Lines kRealControllerLines = expand({
    {"PCI vendor ID (VID)", "7260"}, {"PCI subsystem vendor ID (SSVID)", "7261"},
    {"Serial number (SN)", "S4EVNF0M123456"}, {"Model number (MN)", kModel}, {"Firmware revision (FR)", "FWREV01"},
    {"Recommended arbitration burst (RAB)", "6"}, {"IEEE-OUI identifier (IEEE)", "41077"},
    {"Controller capability (CMIC):", nullptr}, {"Controller function", "1"}, {"Multi-controller supported", "0"},
    {"Multi-PCIe port supported", "1"}, {"", nullptr}, {"Maximum data transfer size (MDTS)", "9"},
    {"Controller ID (CNTLID)", "33"}, {"Version (VER):", nullptr}, {"Major Version Number", "1"},
    {"Minor Version Number", "3"}, {"", nullptr}, {"RTD3 resume latency (RTD3R)", "500000"},
    {"RTD3 entry latency (RTD3E)", "2000000"}, {"Optional async events support (OAES):", nullptr},
    {"Namespace attribute changed event supported", "0"}, {"Firmware activation notice event supported", "1"},
    {"Optional admin cmd support (OACS):", nullptr}, {"Doorbell Buffer Config supported", "0"},
    {"Virtualization Management supported", "0"}, {"NVMe-MI Send and NVMe-MI Receive supported", "0"},
    {"Directives supported", "0"}, {"Self-test supported", "1"},
    {"Namespace Management and Attachment supported", "0"},
    {"Firmware Commit and Firmware Image Download supported", "1"}, {"Format NVM supported", "1"},
    {"Security Send and Security Receive supported", "1"}, {"Management endpoint capability (MEC):", nullptr},
    {"Management endpoint on a PCIe port", "1"}, {"Management endpoint on an SMBus/I2C port", "0"}, {"", nullptr},
    {"Abort cmd limit (ACL)", "3"}, {"Asynchronous event request limit (AERL)", "7"},
    {"Firmware updates (FRMW):", nullptr}, {"Firmware active without reset", "1"}, {"Number of firmware slots", "3"},
    {"First slot read only", "1"}, {"Log page attr (LPA):", nullptr}, {"Telemetry logs supported", "1"},
    {"Extended data for log supported", "0"}, {"Cmd effect log supported", "1"},
    {"Smart per namespace supported", "0"}, {"", nullptr}, {"Error log page entries (ELPE)", "63"},
    {"Number of power states support (NPSS)", "2"}, {"Admin vendor specific cmd config (AVSCC):", nullptr},
    {"Admin vendor cmd standard format supported", "1"}, {"Autonomous power state transition attr (APSTA):", nullptr},
    {"Autonomous state trans supported", "1"}, {"", nullptr},
    {"Warning composite temperature threshold (WCTEMP)", "358"},
    {"Critical composite temperature threshold (CCTEMP)", "363"},
    {"Maximum-time for firmware activation (MTFA)", "100"}, {"Host memory buffer preferred size (HMPRE)", "8192"},
    {"Host memory buffer minimum size (HMMIN)", "1024"}, {"Total NVM capacity (TNVMCAP)", "2000398934016"},
    {"Unallocated NVM capacity (UNVMCAP)", "12345"}, {"Replay protected memory block support (RPMBS):", nullptr},
    {"Access size", "1"}, {"Total size", "2"}, {"Authentication method", "1"}, {"Number of RPMB units", "1"},
    {"Sanitize capabilities (SANICAP):", nullptr}, {"Overwrite sanitize support", "0"},
    {"Block Erase sanitize support", "1"}, {"Crypto Erase sanitize support", "1"},
    {"Submission queue entry size (SQES):", nullptr}, {"Maximum SQ entry size", "6"}, {"Required SQ entry size", "6"},
    {"Completion queue entry size (CQES):", nullptr}, {"Maximum CQ entry size", "4"}, {"Required CQ entry size", "4"},
    {"", nullptr}, {"Number of namespaces (NN)", "1"}, {"Optional NVM cmd support (ONCS):", nullptr},
    {"Reservation supported", "0"}, {"Feature Save supported", "1"}, {"Write Zeroes cmd supported", "1"},
    {"DSM cmd supported", "1"}, {"Write Uncorrectable cmd supported", "1"}, {"Compare cmd supported", "1"},
    {"Fused operation support (FUSES):", nullptr}, {"Compare Write Fused supported", "1"},
    {"Format NVM attr (FNA):", nullptr}, {"Crypt erase supported", "1"},
    {"Secure erase all namespace supported", "0"}, {"Format all namespace supported", "0"},
    {"Volatile write cache (VWC):", nullptr}, {"Cache supported", "1"}, {"", nullptr},
    {"Atomic write unit normal (AWUN)", "255"}, {"Atomic write unit power fail (AWUPF)", "7"},
    {"NVM vendor specific cmd config (NVSCC):", nullptr}, {"NVM vendor cmd standard format supported", "1"},
    {"", nullptr}, {"Atomic compare and write unit (ACWU)", "9"}, {"SGL support (SGLS):", nullptr},
    {"Large data SGL supported", "0"}, {"Byte aligned metadata supported", "1"}, {"Bit bucket SGL supported", "0"},
    {"SGL supported", "1"},
});

// The fourteen values of a power state, in print order.
std::string powerStateLines(const std::string& label, std::vector<u64> values) {
  static const char* const names[] = {
      "Active Power Scale",    "Active Power Workload",     "Active Power",          "Idle Power Scale",
      "Idle Power",            "Relative Write Latency",    "Relative Write Throughput",
      "Relative Read Latency", "Relative Read Throughput",  "Exit Latency",          "Entry Latency",
      "Non-Operational State", "Max Power Scale",           "Maximum Power"};
  std::string text;
  for (size_t i = 0; i < 14; ++i) text += line(label + ":" + names[i], std::to_string(values.at(i)));
  return text;
}

TEST(NvmeControllerIdentify, PrintsAndExportsEveryValueInItsOrder) {
  OrvNvmCtrlIdentify identify;
  realController().into(identify);
  const std::string expected = "Controller identify data::\n" + linesOf(kRealControllerLines) +
                               powerStateLines("Power State00", {2, 2, 1800, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2500}) +
                               powerStateLines("Power State01", {0, 0, 0, 0, 0, 1, 1, 1, 1, 60, 50, 0, 0, 1800}) +
                               powerStateLines("Power State02", {0, 0, 0, 2, 30, 0, 0, 0, 0, 0, 0, 1, 0, 500}) +
                               line("Component ID", "CMP00042");
  EXPECT_EQ(printed(identify), expected);
  EXPECT_TRUE(identify.ver >= 0x00010300u);

  // The export: one item per line, kinds by width, text for text fields.
  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), kRealControllerLines.size() + 3 * 14 + 1);
  std::string exportedText = "Controller identify data::\n";
  size_t texts = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    const _OrvDataItem& item = items[i];
    EXPECT_TRUE(item.id == 0 && item.flag == 0) << item.name;
    texts += item.kind == ORV_ITEM_TEXT;
    exportedText += line(item.name, item.kind == ORV_ITEM_TEXT ? item.text : std::to_string(item.value));
    if (i >= kRealControllerLines.size() || item.kind == ORV_ITEM_TEXT) continue;
    bool wide = item.name.find(':') == std::string::npos || endsWith(item.name, ":Number of firmware slots") ||
                item.name.find("Version (VER):") == 0 || item.name.find("(RPMBS):") != std::string::npos ||
                endsWith(item.name, " entry size");
    EXPECT_EQ(item.kind, wide ? ORV_ITEM_NUMBER : ORV_ITEM_FLAG) << item.name;
  }
  EXPECT_EQ(exportedText, expected);
  EXPECT_EQ(texts, 4u);
  EXPECT_EQ(items[kRealControllerLines.size() + 14 + 11].kind, ORV_ITEM_FLAG);   // Non-Operational State
  EXPECT_EQ(items[kRealControllerLines.size() + 14 + 13].kind, ORV_ITEM_NUMBER);  // Maximum Power
  EXPECT_EQ(items.back().kind, ORV_ITEM_TEXT);

  // Every call appends everything again.
  OrvDevGenData<_OrvDataItem> twice;
  identify.collectFields(twice);
  identify.collectFields(twice);
  EXPECT_EQ(twice.items.size(), 2 * items.size());
  identify.print(nullptr);

  // New identify data read into the same object shows at once.
  IdentifyBytes().text(64, 8, "FWREV02").value(260, 1, 0x02).into(identify);
  EXPECT_EQ(identify.fr.getValue(), "FWREV02");
  EXPECT_EQ(identify.frmw.slotCount.getValue(), 1u);
  EXPECT_EQ(identify.vid.getValue(), 0u);
}

TEST(NvmeControllerIdentify, PowerStatesUpToNpssAndNoFurther) {
  OrvNvmCtrlIdentify identify;
  std::string text = printed(identify);
  EXPECT_NE(text.find(line("Total NVM capacity (TNVMCAP)", "0")), std::string::npos);
  EXPECT_NE(text.find(line("Unallocated NVM capacity (UNVMCAP)", "0")), std::string::npos);
  EXPECT_EQ(text.find("Qword2"), std::string::npos);
  EXPECT_TRUE(endsWith(text, powerStateLines("Power State00", std::vector<u64>(14, 0)) + line("Component ID", "")));
  size_t flags = 0;
  for (const _OrvDataItem& item : exported(identify)) {
    EXPECT_TRUE(item.value == 0 && item.text.empty()) << item.name;
    flags += item.kind == ORV_ITEM_FLAG;
  }
  EXPECT_EQ(flags, 43u + 2u) << "43 flags among the capabilities, 2 in the power state";

  const std::pair<u8, size_t> cases[] = {{0, 1}, {4, 5}, {31, 32}, {32, 32}, {255, 32}};
  for (const auto& c : cases) {
    IdentifyBytes().value(263, 1, c.first).into(identify);
    EXPECT_EQ(countOf(printed(identify), '\n'), 1u + 80u + 14u * c.second + 1u) << int(c.first);
    std::vector<_OrvDataItem> items = exported(identify);
    ASSERT_EQ(items.size(), 80u + 14u * c.second + 1u) << int(c.first);
    EXPECT_EQ(items[80 + 14 * (c.second - 1)].name,
              (c.second - 1 < 10 ? "Power State0" : "Power State") + std::to_string(c.second - 1) +
                  ":Active Power Scale");
    EXPECT_EQ(items.back().name, "Component ID");
  }
}

// Capacities of 128 bits print as one decimal number; the export adds the
// hexadecimal digits.
TEST(NvmeIdentifyCapacities, Of128Bits) {
  struct Case {
    u64 low, high;
    std::string printedText, exportedText;
  };
  const Case cases[] = {
      {5, 1, "15", "15 [15]"},
      {0xABCDEF, 0x10, "1611259375", "1611259375 [10abcdef]"},
      {~0ull, ~0ull, "1844674407370955161518446744073709551615",
       "1844674407370955161518446744073709551615 [ffffffffffffffffffffffffffffffff]"},
  };
  for (const Case& c : cases) {
    OrvNvmCtrlIdentify identify;
    IdentifyBytes().value(280, 8, c.low).value(288, 8, c.high).value(296, 8, c.low).value(304, 8, c.high)
        .into(identify);
    OrvNvmNsIdentify ns;
    IdentifyBytes().value(48, 8, c.low).value(56, 8, c.high).into(ns);
    const std::pair<std::string, std::string> where[] = {
        {printed(identify), "Total NVM capacity (TNVMCAP)"},
        {printed(identify), "Unallocated NVM capacity (UNVMCAP)"},
        {printed(ns), "NVM capacity (NVMCAP)"}};
    for (const auto& w : where) EXPECT_NE(w.first.find(line(w.second, c.printedText)), std::string::npos) << w.second;
    std::vector<_OrvDataItem> items = exported(identify);
    items.push_back(named(exported(ns), "NVM capacity (NVMCAP)"));
    size_t found = 0;
    for (const _OrvDataItem& item : items) {
      EXPECT_EQ(item.name.find("Qword2"), std::string::npos);
      if (item.name.find("NVM capacity (") == std::string::npos) continue;
      ++found;
      EXPECT_EQ(item.kind, ORV_ITEM_TEXT) << item.name;
      EXPECT_EQ(item.text, c.exportedText) << item.name;
    }
    EXPECT_EQ(found, 3u);
  }
}

// Copy, destroy the source, read the copy: the copy's fields view its own
// bytes.
TEST(NvmeControllerIdentify, CopyOutlivesItsSource) {
  auto* source = new OrvNvmCtrlIdentify;
  realController().into(*source);
  std::string before = printed(*source);
  OrvNvmCtrlIdentify copy(*source);
  source->setByte(0);
  EXPECT_EQ(copy.mn.getValue(), kModel);
  delete source;
  EXPECT_EQ(printed(copy), before);
  EXPECT_EQ(exported(copy).size(), kRealControllerLines.size() + 3 * 14 + 1);

  // An export container owns a copy the same way.
  OrvDevGenData<_OrvDataItem> data;
  data.addBuffer(new OrvNvmCtrlIdentify(copy));
  copy.setByte(0);
  auto* kept = static_cast<OrvNvmCtrlIdentify*>(data.buffers[0]);
  EXPECT_EQ(printed(*kept), before);

  // Assignment brings bytes only: the fields stay on the target's bytes.
  copy = *kept;
  EXPECT_EQ(copy.cntlid.getValue(), 0x21u);
  copy[78] = 0x22;
  EXPECT_EQ(kept->cntlid.getValue(), 0x21u);
}

// ------------------------------------------------------------ capability bits

TEST(NvmeCapabilityBits, CompositeFieldsAndTheirOwnBytes) {
  OrvNvmCtrlIdentify identify;
  realController().into(identify);
  EXPECT_EQ(printed(identify.frmw), linesOf({{"Firmware active without reset", "1"},
                                             {"Number of firmware slots", "3"},
                                             {"First slot read only", "1"}},
                                            "Firmware updates (FRMW):"));
  identify[536] = 0x02;
  EXPECT_EQ(identify.sgls.sglSupported.getValue(), 0u) << "only bit 0 is declared";

  // The whole field is a view too, never a flag.
  EXPECT_EQ(identify.frmw.getName(), "Firmware updates (FRMW)");
  EXPECT_FALSE(identify.frmw.isFlag() || identify.vwc.isFlag());
  identify.vwc.setValue(0);
  EXPECT_EQ(identify[525], 0x00);
  identify.oacs.setValue(0x0108);
  EXPECT_TRUE(identify[256] == 0x08 && identify[257] == 0x01);
  EXPECT_EQ(identify.oacs.doorbellBufferConfig.getValue(), 1u);
  EXPECT_EQ(identify.oacs.namespaceManagement.getValue(), 1u);

  // A 4-byte field's high sub-fields read from its third and fourth bytes,
  // not from the bytes after it.
  IdentifyBytes().raw(312, {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF}).raw(536, {0, 0, 0, 0, 0xFF}).into(identify);
  EXPECT_EQ(identify.rpmbs.accessSize.getValue() + identify.sgls.largeDataSgl.getValue(), 0u);
  IdentifyBytes().value(312, 4, 0xAB000000).value(536, 4, 0x00040000).into(identify);
  EXPECT_EQ(identify.rpmbs.accessSize.getValue(), 0xABu);
  EXPECT_EQ(identify.rpmbs.totalSize.getValue(), 0u);
  EXPECT_EQ(identify.sgls.largeDataSgl.getValue(), 1u);
}

// ------------------------------------------------------------ power states

TEST(NvmePowerState, WindowOfItsDescriptor) {
  OrvNvmCtrlIdentify identify;
  EXPECT_EQ(identify.powerStates[0].getBuffer(), identify.getBuffer() + 2048);
  EXPECT_EQ(identify.powerStates[31].getBuffer(), identify.getBuffer() + 3040);
  EXPECT_EQ(identify.powerStates[31].getLength(), 32u);
  EXPECT_EQ(identify.powerStates[10].getName(), "Power State10");

  IdentifyBytes().raw(3040, {0xC4, 0x09, 0x00, 0x02}).value(3040 + 22, 1, 0x82).into(identify);
  OrvNvmPState& last = identify.powerStates[31];
  EXPECT_EQ(printed(last), powerStateLines("Power State31", {2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2500}));
  std::vector<_OrvDataItem> items = exported(last);
  ASSERT_EQ(items.size(), 14u);
  for (const _OrvDataItem& item : items) {
    bool flag = item.name == "Power State31:Non-Operational State" || item.name == "Power State31:Max Power Scale";
    EXPECT_EQ(item.kind, flag ? ORV_ITEM_FLAG : ORV_ITEM_NUMBER) << item.name;
  }

  // A window cannot be refilled or resized, nor assigned, nor lie past its parent.
  EXPECT_TRUE(isLibStatus(last.resize(64), ORV_ERR_GENERIC, 102));
  EXPECT_TRUE(isLibStatus(last.setBuffer(identify.getBuffer(), 32, ORV_LITTLE_ENDIAN), ORV_ERR_GENERIC, 102));
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { identify.powerStates[0] = identify.powerStates[1]; }), ORV_ERR_GENERIC,
                          102));
  OrvNvmIdentify parent("Controller identify data");
  OrvNvmPState highest(&parent, 63);
  EXPECT_EQ(highest.getBuffer(), parent.getBuffer() + 4064);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvNvmPState outside(&parent, 64); }), ORV_ERR_INDEX_OUT_OF_BOUND, 102));
}

// ------------------------------------------------------------ namespace data

// A 2 TB namespace formatted with 512-byte sectors, offering 4096 too.
IdentifyBytes realNamespace() {
  IdentifyBytes image;
  image.value(0, 8, 3907029168ull).value(8, 8, 3907029168ull).value(16, 8, 123456789)
      .raw(24, {0x05, 1, 0x00, 0x02, 0x19, 0x09, 0x01, 0x55, 0x80})
      .value(34, 2, 7).value(36, 2, 3).value(40, 2, 7).value(44, 2, 3).value(48, 8, 2000398934016ull)
      .raw(104, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10})
      .raw(120, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x00})
      .raw(128, {0x00, 0x00, 0x09, 0x02, 0x08, 0x00, 0x0C, 0x00})
      .raw(136, {0x40, 0x00, 0x0C, 0x01});  // beyond NLBAF: never shown
  return image;
}

const Lines kRealNamespaceLines = expand({
    {"Namespace size (NSZE)", "3907029168"}, {"Namespace capacity (NCAP)", "3907029168"},
    {"Namespace utilization (NUSE)", "123456789"}, {"Namespace features (NSFEAT):", nullptr},
    {"Deallocated logical block error supported", "1"}, {"Namespace specific atomic operation supported", "0"},
    {"Namespace thin provisioning supported", "1"}, {"", nullptr}, {"Number of LBA formats (NLBAF)", "1"},
    {"Formatted LBA size (FLBAS):", nullptr}, {"Metadata as extended data LBA supported", "0"},
    {"Current LBA format", "0"}, {"Metadata capability (MC):", nullptr},
    {"Metadata as separate buffer supported", "1"}, {"Metadata as extended data LBA supported", "0"},
    {"End-to-end data protection capability (DPC):", nullptr},
    {"Protection info as last 8 bytes of metadata supported", "1"},
    {"Protection info as first 8 bytes of metadata supported", "1"}, {"Protection info type-3 supported", "0"},
    {"Protection info type-2 supported", "0"}, {"Protection info type-1 supported", "1"},
    {"End-to-end data protection type settings (DPS):", nullptr},
    {"Protection info as first 8 bytes of metadata", "1"}, {"Protection info type", "1"},
    {"NS Multi-path I/O and NS sharing capability (NMIC):", nullptr}, {"Namespace sharing supported", "1"},
    {"Reservation capability (RESCAP):", nullptr}, {"Exclusive access all registrants supported", "1"},
    {"Write exclusive all registrants supported", "0"}, {"Exclusive access registrants only supported", "1"},
    {"Write exclusive registrants only supported", "0"}, {"Exclusive access supported", "1"},
    {"Write exclusive supported", "0"}, {"Persist through power loss supported", "1"},
    {"Format progress indicator (FPI):", nullptr}, {"Format progress indicator supported", "1"},
    {"Percentage of the NS remained to be formatted", "0"}, {"", nullptr},
    {"Namespace atomic write unit normal (NAWUN)", "7"}, {"Namespace atomic write unit power fail (NAWUPF)", "3"},
    {"Namespace atomic compare and write unit (NACWU)", "0"}, {"Namespace atomic boundary size normal (NABSN)", "7"},
    {"Namespace atomic boundary offset (NABO)", "0"}, {"Namespace atomic boundary size power fail (NABSPF)", "3"},
    {"NVM capacity (NVMCAP)", "2000398934016"},
    // Printed: the second quadword, then the first, in decimal.
    {"Namespace globally unique identifier (NGUID)", "65134524249499624072623859790382856"},
    {"IEEE extended unique identifier (EUI64)", "77665544332211"}, {"LBA format 0:", nullptr},
    {"Metadata size (MS)", "0"}, {"LBA Data size (LBADS)", "9"}, {"Relative performance (RP)", "2"},
    {"LBA format 1:", nullptr}, {"Metadata size (MS)", "8"}, {"LBA Data size (LBADS)", "12"},
    {"Relative performance (RP)", "0"},
});

TEST(NvmeNamespaceIdentify, PrintsAndExportsEveryValueInItsOrder) {
  OrvNvmNsIdentify identify;
  realNamespace().into(identify);
  EXPECT_EQ(printed(identify), "Namespace identify data::\n" + linesOf(kRealNamespaceLines));
  EXPECT_EQ(identify.nguid.getValue(), 0x0102030405060708ull) << "big-endian";
  EXPECT_EQ(identify.nguidQword2.getValue(), 0x090A0B0C0D0E0F10ull);
  EXPECT_EQ(identify.eui64.getValue(), 0x0077665544332211ull) << "little-endian";

  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), kRealNamespaceLines.size());
  const std::string wide[] = {":Current LBA format", ":Protection info type",
                              ":Percentage of the NS remained to be formatted", ":Metadata size (MS)",
                              ":LBA Data size (LBADS)", ":Relative performance (RP)"};
  size_t flags = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    const _OrvDataItem& item = items[i];
    EXPECT_EQ(item.name, kRealNamespaceLines[i].first);
    EXPECT_TRUE(item.id == 0 && item.flag == 0) << item.name;
    if (item.kind == ORV_ITEM_TEXT) continue;
    EXPECT_EQ(std::to_string(item.value), kRealNamespaceLines[i].second) << item.name;
    bool isWide = item.name.find(':') == std::string::npos;
    for (const std::string& name : wide) isWide = isWide || endsWith(item.name, name);
    EXPECT_EQ(item.kind, isWide ? ORV_ITEM_NUMBER : ORV_ITEM_FLAG) << item.name;
    flags += item.kind == ORV_ITEM_FLAG;
  }
  EXPECT_EQ(flags, 3u + 1u + 2u + 5u + 1u + 1u + 7u + 1u);
  // The export writes NGUID's first quadword first, in hexadecimal.
  EXPECT_EQ(named(items, "Namespace globally unique identifier (NGUID)").text, "10203040506070890a0b0c0d0e0f10");
  EXPECT_EQ(named(items, "IEEE extended unique identifier (EUI64)").text, "77665544332211");
  EXPECT_EQ(named(items, "NVM capacity (NVMCAP)").kind, ORV_ITEM_NUMBER);
  identify.print(nullptr);

  // The sector size the device takes: 2 to the power LBADS of the current format.
  EXPECT_EQ(1u << identify.getLbaFormat(0)->dataSize.getValue(), 512u);
  identify[26] = 0x13;
  EXPECT_EQ(identify.flbas.currentLbaFormat.getValue(), 3u);
  EXPECT_EQ(identify.flbas.metadataAtEnd.getValue(), 1u);
}

TEST(NvmeNamespaceIdentify, LbaFormatsUpToNlbafAndNoFurther) {
  OrvNvmNsIdentify identify;
  std::string text = printed(identify);
  for (const char* zero : {"NVM capacity (NVMCAP)", "Namespace globally unique identifier (NGUID)",
                           "IEEE extended unique identifier (EUI64)"})
    EXPECT_NE(text.find(line(zero, "0")), std::string::npos) << zero;
  EXPECT_EQ(text.find("word2"), std::string::npos);
  EXPECT_EQ(text.find("Word2"), std::string::npos);
  std::vector<_OrvDataItem> items = exported(identify);
  EXPECT_EQ(named(items, "Namespace globally unique identifier (NGUID)").kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(named(items, "IEEE extended unique identifier (EUI64)").text, "0");

  const std::pair<u8, size_t> cases[] = {{0, 1}, {15, 16}, {16, 16}, {63, 16}, {255, 16}};
  for (const auto& c : cases) {
    identify[25] = c.first;
    EXPECT_EQ(countOf(printed(identify), '\n'), 1u + 37u + 3u * c.second) << int(c.first);
    items = exported(identify);
    ASSERT_EQ(items.size(), 37u + 3u * c.second) << int(c.first);
    EXPECT_EQ(items.back().name, "LBA format " + std::to_string(c.second - 1) + ":Relative performance (RP)");
  }

  // The device asks only for the 16 formats held; any other index is refused
  // rather than answered with no object.
  for (u8 i = 0; i < 16; ++i) ASSERT_EQ(identify.getLbaFormat(i), &identify.lbaFormats[i]);
  IdentifyBytes().raw(188, {0x10, 0x00, 0x0C}).raw(152, {0x00, 0x00, 0x0C, 0xFF}).into(identify);
  EXPECT_EQ(printed(identify.lbaFormats[15]), linesOf({{"Metadata size (MS)", "16"}, {"LBA Data size (LBADS)", "12"},
                                                       {"Relative performance (RP)", "0"}},
                                                      "LBA format 15:"));
  EXPECT_EQ(exported(identify.lbaFormats[6])[2].value, 3u) << "bits 26 to 31 are not part of RP";
  for (unsigned index : {16u, 31u, 32u, 255u})
    EXPECT_TRUE(isIdentifyStatus(thrownStatus([&] { identify.getLbaFormat(static_cast<u8>(index)); }),
                                 ORV_ERR_INVALID_ARGUMENT))
        << index;
}

TEST(NvmeNamespaceIdentify, IdentifiersOfOneQuadword) {
  // Only the first quadword of NGUID set: one big-endian number.
  OrvNvmNsIdentify identify;
  IdentifyBytes().raw(104, {0, 0, 0, 0, 0, 0, 0x01, 0x02}).raw(120, {1, 2, 3, 4, 5, 6, 7, 8}).into(identify);
  std::string text = printed(identify);
  EXPECT_NE(text.find(line("Namespace globally unique identifier (NGUID)", "258")), std::string::npos);
  EXPECT_NE(text.find(line("IEEE extended unique identifier (EUI64)", "807060504030201")), std::string::npos);
  std::vector<_OrvDataItem> items = exported(identify);
  EXPECT_EQ(named(items, "Namespace globally unique identifier (NGUID)").kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(named(items, "Namespace globally unique identifier (NGUID)").value, 258u);
  EXPECT_EQ(named(items, "IEEE extended unique identifier (EUI64)").text, "807060504030201");
}

TEST(NvmeNamespaceIdentify, CopyOutlivesItsSourceAndSubFieldsStayInTheirByte) {
  auto* source = new OrvNvmNsIdentify;
  realNamespace().into(*source);
  std::string before = printed(*source);
  OrvNvmNsIdentify copy(*source);
  source->resetZero();
  EXPECT_EQ(copy.nsze.getValue(), 3907029168ull);
  delete source;
  EXPECT_EQ(printed(copy), before);

  OrvNvmNsIdentify fresh;
  EXPECT_FALSE(fresh.compare(copy)) << "a fresh object tells an all-zero namespace";
  fresh = copy;
  EXPECT_TRUE(fresh.compare(copy));
  fresh[0] = 1;
  EXPECT_EQ(copy.nsze.getValue(), 3907029168ull);
  EXPECT_EQ(fresh.nsze.getValue() & 0xFF, 1u);

  IdentifyBytes().value(26, 1, 0x13).value(29, 1, 0x0A).value(30, 1, 0xFE).value(32, 1, 0x85).into(fresh);
  EXPECT_EQ(printed(fresh.flbas), linesOf({{"Metadata as extended data LBA supported", "1"},
                                           {"Current LBA format", "3"}},
                                          "Formatted LBA size (FLBAS):"));
  EXPECT_EQ(printed(fresh.fpi), linesOf({{"Format progress indicator supported", "1"},
                                         {"Percentage of the NS remained to be formatted", "5"}},
                                        "Format progress indicator (FPI):"));
  EXPECT_EQ(printed(fresh.dps), linesOf({{"Protection info as first 8 bytes of metadata", "1"},
                                         {"Protection info type", "2"}},
                                        "End-to-end data protection type settings (DPS):"));
  EXPECT_EQ(printed(fresh.nmic),
            line("NS Multi-path I/O and NS sharing capability (NMIC):Namespace sharing supported", "0"))
      << "undeclared bits show nowhere";
}

}  // namespace
