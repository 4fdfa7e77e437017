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

const char kModel[] = "VNDR QX9 NVMe SSD 2TB WITH A FULL MODEL!";
static_assert(sizeof kModel - 1 == 40, "the model number fills its field");

// A 2 TB drive with three power states.
IdentifyBytes realController() {
  IdentifyBytes image;
  image.value(0, 2, 0x1C5C)
      .value(2, 2, 0x1C5D)
      .text(4, 20, "  S4EVNF0M123456")
      .raw(20, {' ', 0, ' ', 0})  // blanks and NULs behind the serial number
      .text(24, 40, kModel)
      .text(64, 8, "FWREV01")
      .value(72, 1, 6)
      .raw(73, {0x75, 0xA0, 0x00})  // IEEE OUI 00A075
      .value(76, 1, 0x05)
      .value(77, 1, 9)
      .value(78, 2, 0x0021)
      .raw(80, {0x00, 0x03, 0x01, 0x00})  // version 1.3
      .value(84, 4, 500000)
      .value(88, 4, 2000000)
      .value(92, 4, 0x200)
      .value(255, 1, 0x02)
      .value(256, 2, 0x0017)
      .value(258, 1, 3)
      .value(259, 1, 7)
      .value(260, 1, 0x17)
      .value(261, 1, 0x0A)
      .value(262, 1, 63)
      .value(263, 1, 2)
      .value(264, 1, 1)
      .value(265, 1, 1)
      .value(266, 2, 358)
      .value(268, 2, 363)
      .value(270, 2, 100)
      .value(272, 4, 8192)
      .value(276, 4, 1024)
      .value(280, 8, 2000398934016ull)
      .value(296, 8, 12345)
      .raw(312, {0x09, 0x00, 0x02, 0x01})
      .value(328, 4, 0x3)
      .value(512, 1, 0x66)
      .value(513, 1, 0x44)
      .value(516, 4, 1)
      .value(520, 2, 0x1F)
      .value(522, 2, 1)
      .value(524, 1, 0x04)
      .value(525, 1, 1)
      .value(526, 2, 255)
      .value(528, 2, 7)
      .value(530, 1, 1)
      .value(532, 2, 9)
      .value(536, 4, 0x00020001)
      // Power state 0: 25.00 W.
      .raw(2048, {0xC4, 0x09})
      .value(2048 + 22, 1, 0x82)
      .value(2048 + 20, 2, 1800)
      // Power state 1: 18.00 W, some latencies.
      .raw(2080, {0x08, 0x07})
      .value(2080 + 4, 4, 50)
      .value(2080 + 8, 4, 60)
      .value(2080 + 12, 1, 1)
      .value(2080 + 13, 1, 1)
      .value(2080 + 14, 1, 1)
      .value(2080 + 15, 1, 1)
      // Power state 2: non-operational.
      .raw(2112, {0xF4, 0x01, 0x00, 0x02})
      .value(2112 + 16, 2, 30)
      .value(2112 + 18, 1, 0x80)
      .text(3126, 8, "CMP00042");
  return image;
}

std::vector<_OrvDataItem> exported(const OrvNvmIdentify& identify) {
  OrvDevGenData<_OrvDataItem> data;
  identify.collectFields(data);
  EXPECT_TRUE(data.buffers.empty());
  return data.items;
}

template <typename Composite>
std::vector<_OrvDataItem> exportedBits(const Composite& field) {
  OrvDevGenData<_OrvDataItem> data;
  field.collectFields(data);
  return data.items;
}

// ------------------------------------------------------------ identify buffer

TEST(NvmeIdentifyBuffer, NamedZeroedBytesAndTheirDump) {
  OrvNvmIdentify list("Attached namespace list");
  ASSERT_EQ(list.getLength(), 4096u);
  EXPECT_EQ(list.getEndianess(), ORV_LITTLE_ENDIAN);
  for (u32 i = 0; i < 4096; ++i) ASSERT_EQ(list[i], 0) << i;
  EXPECT_EQ(list.getName(), "") << "the name shows only in the dumps";

  OrvBuffer plain(4096, ORV_LITTLE_ENDIAN);
  std::stringstream plainDump;
  plain.hexDump(plainDump);
  std::stringstream dump;
  dump << "text that was in the stream before";
  list.hexDump(dump);
  EXPECT_EQ(dump.str(), "Attached namespace list\n" + plainDump.str());
  EXPECT_EQ(countOf(dump.str(), '\n'), 1u + 256u + 2u);

  // The stream form writes the same text; a null stream nothing.
  EXPECT_EQ(printed(list), "") << "a list buffer prints nothing";
  EXPECT_EQ(writtenTo([&](std::FILE* file) { list.hexDump(static_cast<void*>(file)); }), dump.str());
  list.hexDump(static_cast<void*>(nullptr));
  list.print(nullptr);

  EXPECT_TRUE(exported(list).empty());
}

TEST(NvmeIdentifyBuffer, CopyIsIndependentAndKeepsTheName) {
  auto* source = new OrvNvmIdentify("Controller list attached to namespace 0x00000001");
  (*source)[0] = 2;
  (*source)[4095] = 0x7F;
  OrvNvmIdentify copy(*source);
  (*source)[0] = 9;
  EXPECT_EQ(copy[0], 2);
  delete source;
  EXPECT_EQ(copy[4095], 0x7F);
  std::stringstream dump;
  copy.hexDump(dump);
  EXPECT_EQ(dump.str().rfind("Controller list attached to namespace 0x00000001\n", 0), 0u);

  OrvNvmIdentify other("All controller list");
  other = copy;
  EXPECT_EQ(other[4095], 0x7F);
  other.hexDump(dump);
  EXPECT_EQ(dump.str().rfind("Controller list attached to namespace 0x00000001\n", 0), 0u);
}

// The fields of the derived structures view these bytes for the buffer's
// whole life: no other length is taken, in any way.
TEST(NvmeIdentifyBuffer, BytesNeverMove) {
  OrvNvmCtrlIdentify identify;
  realController().into(identify);
  const u8* bytes = identify.getBuffer();
  EXPECT_TRUE(isIdentifyStatus(identify.resize(4097), ORV_ERR_BUFFER_LENGTH));
  EXPECT_TRUE(isIdentifyStatus(identify.resize(512), ORV_ERR_BUFFER_LENGTH));
  std::vector<u8> longer(8192, 0x41);
  EXPECT_TRUE(isIdentifyStatus(identify.setBuffer(longer.data(), 8192, ORV_LITTLE_ENDIAN), ORV_ERR_BUFFER_LENGTH));
  EXPECT_TRUE(isIdentifyStatus(identify.setBuffer(longer.data(), 16, ORV_LITTLE_ENDIAN), ORV_ERR_BUFFER_LENGTH));
  OrvBuffer& asBuffer = identify;
  EXPECT_TRUE(isIdentifyStatus(thrownStatus([&] { asBuffer = OrvBuffer(100, ORV_LITTLE_ENDIAN); }),
                               ORV_ERR_BUFFER_LENGTH));
  EXPECT_EQ(identify.getLength(), 4096u);
  EXPECT_EQ(identify.getBuffer(), bytes);
  EXPECT_EQ(identify.mn.getValue(), kModel);

  // New data of the same length lands in place and shows at once.
  EXPECT_EQ(identify.setBuffer(longer.data(), 4096, ORV_LITTLE_ENDIAN), 0u);
  EXPECT_EQ(identify.getBuffer(), bytes);
  EXPECT_EQ(identify.fr.getValue(), "AAAAAAAA");
}

// ------------------------------------------------------------ controller data

TEST(NvmeControllerIdentify, DecodesARealController) {
  OrvNvmCtrlIdentify identify;
  EXPECT_EQ(identify.vid.getValue(), 0u) << "zeros until identified";
  realController().into(identify);

  EXPECT_EQ(identify.vid.getValue(), 0x1C5Cu);
  EXPECT_EQ(identify.ssvid.getValue(), 0x1C5Du);
  EXPECT_EQ(identify.sn.getValue(), "S4EVNF0M123456");
  EXPECT_EQ(identify.mn.getValue(), kModel);
  EXPECT_EQ(identify.fr.getValue(), "FWREV01");
  EXPECT_EQ(identify.componentId.getValue(), "CMP00042");
  EXPECT_EQ(identify.rab.getValue(), 6u);
  EXPECT_EQ(identify.ieee.getValue(), 0x00A075u);
  EXPECT_EQ(identify.mdts.getValue(), 9u);
  EXPECT_EQ(identify.cntlid.getValue(), 0x21u);
  EXPECT_EQ(identify.rtd3r.getValue(), 500000u);
  EXPECT_EQ(identify.rtd3e.getValue(), 2000000u);
  EXPECT_EQ(identify.acl.getValue(), 3u);
  EXPECT_EQ(identify.aerl.getValue(), 7u);
  EXPECT_EQ(identify.elpe.getValue(), 63u);
  EXPECT_EQ(identify.npss.getValue(), 2u);
  EXPECT_EQ(identify.wctemp.getValue(), 358u);
  EXPECT_EQ(identify.cctemp.getValue(), 363u);
  EXPECT_EQ(identify.mtfa.getValue(), 100u);
  EXPECT_EQ(identify.hmpre.getValue(), 8192u);
  EXPECT_EQ(identify.hmmin.getValue(), 1024u);
  EXPECT_EQ(identify.tnvmcap.getValue(), 2000398934016ull);
  EXPECT_EQ(identify.tnvmcapQword2.getValue(), 0u);
  EXPECT_EQ(identify.unvmcap.getValue(), 12345u);
  EXPECT_EQ(identify.nn.getValue(), 1u);
  EXPECT_EQ(identify.awun.getValue(), 255u);
  EXPECT_EQ(identify.awupf.getValue(), 7u);
  EXPECT_EQ(identify.acwu.getValue(), 9u);

  // What the device asks of the capability fields.
  EXPECT_TRUE(identify.ver >= 0x00010300u);
  EXPECT_EQ(identify.ver.majorVersion.getValue(), 1u);
  EXPECT_EQ(identify.ver.minorVersion.getValue(), 3u);
  EXPECT_EQ(identify.oaes.namespaceAttributeNotice.getValue(), 0u);
  EXPECT_EQ(identify.oaes.firmwareActivationNotice.getValue(), 1u);
  EXPECT_EQ(identify.oacs.securitySendReceive.getValue(), 1u);
  EXPECT_EQ(identify.oacs.formatNvm.getValue(), 1u);
  EXPECT_EQ(identify.oacs.firmwareDownload.getValue(), 1u);
  EXPECT_EQ(identify.oacs.namespaceManagement.getValue(), 0u);
  EXPECT_EQ(identify.oacs.selfTest.getValue(), 1u);
  EXPECT_EQ(identify.frmw.firstSlotReadOnly.getValue(), 1u);
  EXPECT_EQ(identify.frmw.slotCount.getValue(), 3u);
  EXPECT_EQ(identify.frmw.activeWithoutReset.getValue(), 1u);
  EXPECT_EQ(identify.lpa.commandEffectsLog.getValue(), 1u);
  EXPECT_EQ(identify.lpa.telemetryLogs.getValue(), 1u);
  EXPECT_EQ(identify.lpa.smartPerNamespace.getValue(), 0u);
  EXPECT_EQ(identify.apsta.autonomousTransitions.getValue(), 1u);
  EXPECT_EQ(identify.sanicap.cryptoErase.getValue(), 1u);
  EXPECT_EQ(identify.sanicap.blockErase.getValue(), 1u);
  EXPECT_EQ(identify.sanicap.overwrite.getValue(), 0u);
  EXPECT_EQ(identify.oncs.reservations.getValue(), 0u);
  EXPECT_EQ(identify.oncs.writeZeroes.getValue(), 1u);
  EXPECT_EQ(identify.fna.cryptoErase.getValue(), 1u);
  EXPECT_EQ(identify.fna.formatAllNamespaces.getValue(), 0u);
  EXPECT_EQ(identify.vwc.present.getValue(), 1u);
  EXPECT_EQ(identify.cmic.controllerFunction.getValue(), 1u);
  EXPECT_EQ(identify.cmic.multiController.getValue(), 0u);
  EXPECT_EQ(identify.mec.pcieEndpoint.getValue(), 1u);
  EXPECT_EQ(identify.mec.smbusEndpoint.getValue(), 0u);
  EXPECT_EQ(identify.sqes.maximumSize.getValue(), 6u) << "raw, not 64";
  EXPECT_EQ(identify.cqes.requiredSize.getValue(), 4u);
  EXPECT_EQ(identify.fuses.compareAndWrite.getValue(), 1u);
  EXPECT_EQ(identify.sgls.sglSupported.getValue(), 1u);
  EXPECT_EQ(identify.sgls.byteAlignedMetadata.getValue(), 1u);
  EXPECT_EQ(identify.sgls.bitBucketSgl.getValue(), 0u);

  EXPECT_EQ(identify.powerStates[0].maximumPower.getValue(), 2500u);
  EXPECT_EQ(identify.powerStates[0].activePowerScale.getValue(), 2u);
  EXPECT_EQ(identify.powerStates[0].activePowerWorkload.getValue(), 2u);
  EXPECT_EQ(identify.powerStates[1].exitLatency.getValue(), 60u);
  EXPECT_EQ(identify.powerStates[2].nonOperational.getValue(), 1u);
  EXPECT_EQ(identify.powerStates[2].maxPowerScale.getValue(), 0u);

  // New identify data read into the same object shows at once.
  IdentifyBytes().text(64, 8, "FWREV02").value(260, 1, 0x02).into(identify);
  EXPECT_EQ(identify.fr.getValue(), "FWREV02");
  EXPECT_EQ(identify.frmw.slotCount.getValue(), 1u);
  EXPECT_EQ(identify.vid.getValue(), 0u);
}

// Every label in print order, with the value the real controller shows.
const std::vector<std::pair<std::string, std::string>> kRealControllerLines = {
    {"PCI vendor ID (VID)", "7260"},
    {"PCI subsystem vendor ID (SSVID)", "7261"},
    {"Serial number (SN)", "S4EVNF0M123456"},
    {"Model number (MN)", kModel},
    {"Firmware revision (FR)", "FWREV01"},
    {"Recommended arbitration burst (RAB)", "6"},
    {"IEEE-OUI identifier (IEEE)", "41077"},
    {"Controller capability (CMIC):Controller function", "1"},
    {"Controller capability (CMIC):Multi-controller supported", "0"},
    {"Controller capability (CMIC):Multi-PCIe port supported", "1"},
    {"Maximum data transfer size (MDTS)", "9"},
    {"Controller ID (CNTLID)", "33"},
    {"Version (VER):Major Version Number", "1"},
    {"Version (VER):Minor Version Number", "3"},
    {"RTD3 resume latency (RTD3R)", "500000"},
    {"RTD3 entry latency (RTD3E)", "2000000"},
    {"Optional async events support (OAES):Namespace attribute changed event supported", "0"},
    {"Optional async events support (OAES):Firmware activation notice event supported", "1"},
    {"Optional admin cmd support (OACS):Doorbell Buffer Config supported", "0"},
    {"Optional admin cmd support (OACS):Virtualization Management supported", "0"},
    {"Optional admin cmd support (OACS):NVMe-MI Send and NVMe-MI Receive supported", "0"},
    {"Optional admin cmd support (OACS):Directives supported", "0"},
    {"Optional admin cmd support (OACS):Self-test supported", "1"},
    {"Optional admin cmd support (OACS):Namespace Management and Attachment supported", "0"},
    {"Optional admin cmd support (OACS):Firmware Commit and Firmware Image Download supported", "1"},
    {"Optional admin cmd support (OACS):Format NVM supported", "1"},
    {"Optional admin cmd support (OACS):Security Send and Security Receive supported", "1"},
    {"Management endpoint capability (MEC):Management endpoint on a PCIe port", "1"},
    {"Management endpoint capability (MEC):Management endpoint on an SMBus/I2C port", "0"},
    {"Abort cmd limit (ACL)", "3"},
    {"Asynchronous event request limit (AERL)", "7"},
    {"Firmware updates (FRMW):Firmware active without reset", "1"},
    {"Firmware updates (FRMW):Number of firmware slots", "3"},
    {"Firmware updates (FRMW):First slot read only", "1"},
    {"Log page attr (LPA):Telemetry logs supported", "1"},
    {"Log page attr (LPA):Extended data for log supported", "0"},
    {"Log page attr (LPA):Cmd effect log supported", "1"},
    {"Log page attr (LPA):Smart per namespace supported", "0"},
    {"Error log page entries (ELPE)", "63"},
    {"Number of power states support (NPSS)", "2"},
    {"Admin vendor specific cmd config (AVSCC):Admin vendor cmd standard format supported", "1"},
    {"Autonomous power state transition attr (APSTA):Autonomous state trans supported", "1"},
    {"Warning composite temperature threshold (WCTEMP)", "358"},
    {"Critical composite temperature threshold (CCTEMP)", "363"},
    {"Maximum-time for firmware activation (MTFA)", "100"},
    {"Host memory buffer preferred size (HMPRE)", "8192"},
    {"Host memory buffer minimum size (HMMIN)", "1024"},
    {"Total NVM capacity (TNVMCAP)", "2000398934016"},
    {"Unallocated NVM capacity (UNVMCAP)", "12345"},
    {"Replay protected memory block support (RPMBS):Access size", "1"},
    {"Replay protected memory block support (RPMBS):Total size", "2"},
    {"Replay protected memory block support (RPMBS):Authentication method", "1"},
    {"Replay protected memory block support (RPMBS):Number of RPMB units", "1"},
    {"Sanitize capabilities (SANICAP):Overwrite sanitize support", "0"},
    {"Sanitize capabilities (SANICAP):Block Erase sanitize support", "1"},
    {"Sanitize capabilities (SANICAP):Crypto Erase sanitize support", "1"},
    {"Submission queue entry size (SQES):Maximum SQ entry size", "6"},
    {"Submission queue entry size (SQES):Required SQ entry size", "6"},
    {"Completion queue entry size (CQES):Maximum CQ entry size", "4"},
    {"Completion queue entry size (CQES):Required CQ entry size", "4"},
    {"Number of namespaces (NN)", "1"},
    {"Optional NVM cmd support (ONCS):Reservation supported", "0"},
    {"Optional NVM cmd support (ONCS):Feature Save supported", "1"},
    {"Optional NVM cmd support (ONCS):Write Zeroes cmd supported", "1"},
    {"Optional NVM cmd support (ONCS):DSM cmd supported", "1"},
    {"Optional NVM cmd support (ONCS):Write Uncorrectable cmd supported", "1"},
    {"Optional NVM cmd support (ONCS):Compare cmd supported", "1"},
    {"Fused operation support (FUSES):Compare Write Fused supported", "1"},
    {"Format NVM attr (FNA):Crypt erase supported", "1"},
    {"Format NVM attr (FNA):Secure erase all namespace supported", "0"},
    {"Format NVM attr (FNA):Format all namespace supported", "0"},
    {"Volatile write cache (VWC):Cache supported", "1"},
    {"Atomic write unit normal (AWUN)", "255"},
    {"Atomic write unit power fail (AWUPF)", "7"},
    {"NVM vendor specific cmd config (NVSCC):NVM vendor cmd standard format supported", "1"},
    {"Atomic compare and write unit (ACWU)", "9"},
    {"SGL support (SGLS):Large data SGL supported", "0"},
    {"SGL support (SGLS):Byte aligned metadata supported", "1"},
    {"SGL support (SGLS):Bit bucket SGL supported", "0"},
    {"SGL support (SGLS):SGL supported", "1"},
};

// The fourteen values of a power state, in print order.
std::string powerStateLines(const std::string& label, std::vector<u64> values) {
  static const char* const names[] = {
      "Active Power Scale",       "Active Power Workload",     "Active Power",          "Idle Power Scale",
      "Idle Power",               "Relative Write Latency",    "Relative Write Throughput",
      "Relative Read Latency",    "Relative Read Throughput",  "Exit Latency",          "Entry Latency",
      "Non-Operational State",    "Max Power Scale",           "Maximum Power"};
  std::string text;
  for (size_t i = 0; i < 14; ++i) text += line(label + ":" + names[i], std::to_string(values.at(i)));
  return text;
}

TEST(NvmeControllerIdentify, PrintsEveryValueInItsOrder) {
  OrvNvmCtrlIdentify identify;
  realController().into(identify);
  std::string expected = "Controller identify data::\n";
  for (const auto& entry : kRealControllerLines) expected += line(entry.first, entry.second);
  expected += powerStateLines("Power State00", {2, 2, 1800, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2500});
  expected += powerStateLines("Power State01", {0, 0, 0, 0, 0, 1, 1, 1, 1, 60, 50, 0, 0, 1800});
  expected += powerStateLines("Power State02", {0, 0, 0, 2, 30, 0, 0, 0, 0, 0, 0, 1, 0, 500});
  expected += line("Component ID", "CMP00042");
  EXPECT_EQ(printed(identify), expected);

  // The export: one item per line, kinds by width, text for text fields.
  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), kRealControllerLines.size() + 3 * 14 + 1);
  for (size_t i = 0; i < kRealControllerLines.size(); ++i) {
    const _OrvDataItem& item = items[i];
    EXPECT_EQ(item.name, kRealControllerLines[i].first);
    EXPECT_EQ(item.id, 0u);
    EXPECT_EQ(item.flag, 0u);
    if (item.kind == ORV_ITEM_TEXT) {
      EXPECT_EQ(item.text, kRealControllerLines[i].second);
    } else {
      EXPECT_EQ(std::to_string(item.value), kRealControllerLines[i].second) << item.name;
      bool wide = item.name.find(':') == std::string::npos || endsWith(item.name, ":Number of firmware slots") ||
                  item.name.find("Version (VER):") == 0 || item.name.find("(RPMBS):") != std::string::npos ||
                  endsWith(item.name, " entry size");
      EXPECT_EQ(item.kind, wide ? ORV_ITEM_NUMBER : ORV_ITEM_FLAG) << item.name;
    }
  }
  size_t texts = 0;
  for (const _OrvDataItem& item : items) texts += item.kind == ORV_ITEM_TEXT;
  EXPECT_EQ(texts, 4u);
  EXPECT_EQ(items[kRealControllerLines.size()].name, "Power State00:Active Power Scale");
  EXPECT_EQ(items[kRealControllerLines.size() + 14 + 11].name, "Power State01:Non-Operational State");
  EXPECT_EQ(items[kRealControllerLines.size() + 14 + 11].kind, ORV_ITEM_FLAG);
  EXPECT_EQ(items[kRealControllerLines.size() + 14 + 13].kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(items.back().name, "Component ID");
  EXPECT_EQ(items.back().text, "CMP00042");

  // Every call appends everything again.
  OrvDevGenData<_OrvDataItem> twice;
  identify.collectFields(twice);
  identify.collectFields(twice);
  EXPECT_EQ(twice.items.size(), 2 * items.size());
  identify.print(nullptr);
}

TEST(NvmeControllerIdentify, ZeroDataShowsOnePowerState) {
  OrvNvmCtrlIdentify identify;
  std::string text = printed(identify);
  EXPECT_EQ(countOf(text, '\n'), 1u + 80u + 14u + 1u);
  EXPECT_EQ(text.find("Power State01"), std::string::npos);
  EXPECT_NE(text.find(line("Total NVM capacity (TNVMCAP)", "0")), std::string::npos);
  EXPECT_NE(text.find(line("Unallocated NVM capacity (UNVMCAP)", "0")), std::string::npos);
  EXPECT_EQ(text.find("Qword2"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 103), line("Component ID", ""));

  std::vector<_OrvDataItem> items = exported(identify);
  ASSERT_EQ(items.size(), 80u + 14u + 1u);
  size_t flags = 0;
  for (const _OrvDataItem& item : items) {
    EXPECT_EQ(item.value, 0u) << item.name;
    EXPECT_EQ(item.text, "") << item.name;
    flags += item.kind == ORV_ITEM_FLAG;
  }
  // 54 capability lines, 43 of them flags; two flags of the power state.
  EXPECT_EQ(flags, 43u + 2u);
}

TEST(NvmeControllerIdentify, PowerStatesUpToNpssAndNoFurther) {
  OrvNvmCtrlIdentify identify;
  const std::pair<u8, size_t> cases[] = {{0, 1}, {4, 5}, {31, 32}, {32, 32}, {255, 32}};
  for (const auto& c : cases) {
    IdentifyBytes().value(263, 1, c.first).into(identify);
    std::string text = printed(identify);
    EXPECT_EQ(countOf(text, '\n'), 1u + 80u + 14u * c.second + 1u) << int(c.first);
    std::vector<_OrvDataItem> items = exported(identify);
    ASSERT_EQ(items.size(), 80u + 14u * c.second + 1u) << int(c.first);
    EXPECT_EQ(items[80 + 14 * (c.second - 1)].name,
              (c.second - 1 < 10 ? "Power State0" : "Power State") + std::to_string(c.second - 1) +
                  ":Active Power Scale");
    EXPECT_EQ(items.back().name, "Component ID");
  }
}

TEST(NvmeControllerIdentify, CapacitiesOf128Bits) {
  OrvNvmCtrlIdentify identify;
  IdentifyBytes().value(280, 8, 5).value(288, 8, 1).value(296, 8, 0xABCDEF).value(304, 8, 0x10).into(identify);
  std::string text = printed(identify);
  EXPECT_NE(text.find(line("Total NVM capacity (TNVMCAP)", "15")), std::string::npos);
  EXPECT_NE(text.find(line("Unallocated NVM capacity (UNVMCAP)", "1611259375")), std::string::npos);
  std::vector<_OrvDataItem> items = exported(identify);
  size_t found = 0;
  for (const _OrvDataItem& item : items) {
    if (item.name == "Total NVM capacity (TNVMCAP)") {
      ++found;
      EXPECT_EQ(item.kind, ORV_ITEM_TEXT);
      EXPECT_EQ(item.text, "15 [15]");
    }
    if (item.name == "Unallocated NVM capacity (UNVMCAP)") {
      ++found;
      EXPECT_EQ(item.kind, ORV_ITEM_TEXT);
      EXPECT_EQ(item.text, "1611259375 [10abcdef]");
    }
    EXPECT_EQ(item.name.find("Qword2"), std::string::npos);
  }
  EXPECT_EQ(found, 2u);

  // Both halves all ones: every digit is kept.
  IdentifyBytes().value(280, 8, ~0ull).value(288, 8, ~0ull).into(identify);
  for (const _OrvDataItem& item : exported(identify)) {
    if (item.name == "Total NVM capacity (TNVMCAP)") {
      EXPECT_EQ(item.text, "1844674407370955161518446744073709551615 [ffffffffffffffffffffffffffffffff]");
    }
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
  EXPECT_EQ(copy.frmw.slotCount.getValue(), 3u);
  EXPECT_EQ(copy.powerStates[2].nonOperational.getValue(), 1u);
  EXPECT_EQ(exported(copy).size(), kRealControllerLines.size() + 3 * 14 + 1);

  // An export container owns a copy the same way.
  OrvDevGenData<_OrvDataItem> data;
  data.addBuffer(new OrvNvmCtrlIdentify(copy));
  copy.setByte(0);
  auto* kept = static_cast<OrvNvmCtrlIdentify*>(data.buffers[0]);
  EXPECT_EQ(kept->componentId.getValue(), "CMP00042");
  EXPECT_EQ(printed(*kept), before);

  // Assignment brings bytes only: the fields stay on the target's bytes.
  copy = *kept;
  EXPECT_EQ(copy.cntlid.getValue(), 0x21u);
  copy[78] = 0x22;
  EXPECT_EQ(kept->cntlid.getValue(), 0x21u);
}

// ------------------------------------------------------------ capability bits

TEST(NvmeCapabilityBits, SubFieldsOfTheirBytes) {
  IdentifyBytes image;
  image.value(260, 1, 0x17).raw(80, {0x00, 0x03, 0x01, 0x00}).raw(312, {0x09, 0x00, 0x02, 0x01});
  image.raw(536, {0x01, 0x00, 0x07, 0x00}).value(92, 4, 0x100);
  OrvNvmCtrlIdentify identify;
  image.into(identify);

  EXPECT_EQ(printed(identify.frmw), line("Firmware updates (FRMW):Firmware active without reset", "1") +
                                        line("Firmware updates (FRMW):Number of firmware slots", "3") +
                                        line("Firmware updates (FRMW):First slot read only", "1"));
  std::vector<_OrvDataItem> items = exportedBits(identify.frmw);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].kind, ORV_ITEM_FLAG);
  EXPECT_EQ(items[1].kind, ORV_ITEM_NUMBER);
  EXPECT_EQ(items[2].kind, ORV_ITEM_FLAG);
  EXPECT_EQ(items[1].name, "Firmware updates (FRMW):Number of firmware slots");
  EXPECT_EQ(items[0].value + items[1].value + items[2].value, 5u);

  EXPECT_EQ(printed(identify.ver),
            line("Version (VER):Major Version Number", "1") + line("Version (VER):Minor Version Number", "3"));
  EXPECT_EQ(identify.ver.getValue(), 0x00010300u);

  items = exportedBits(identify.rpmbs);
  ASSERT_EQ(items.size(), 4u);
  for (const _OrvDataItem& item : items) {
    EXPECT_EQ(item.value, item.name.find("Total size") != std::string::npos ? 2u : 1u) << item.name;
    EXPECT_EQ(item.kind, ORV_ITEM_NUMBER);
  }

  items = exportedBits(identify.sgls);
  ASSERT_EQ(items.size(), 4u);
  for (const _OrvDataItem& item : items) EXPECT_EQ(item.value, 1u) << item.name;
  identify[536] = 0x02;
  EXPECT_EQ(identify.sgls.sglSupported.getValue(), 0u) << "only bit 0 is declared";

  // OAES lists bit 8 before bit 9.
  items = exportedBits(identify.oaes);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, "Optional async events support (OAES):Namespace attribute changed event supported");
  EXPECT_EQ(items[0].value, 1u);
  EXPECT_EQ(items[1].value, 0u);

  // The whole field is a view too, never a flag.
  EXPECT_EQ(identify.frmw.getName(), "Firmware updates (FRMW)");
  EXPECT_FALSE(identify.frmw.isFlag());
  EXPECT_FALSE(identify.vwc.isFlag());
  identify.vwc.setValue(0x01);
  EXPECT_EQ(identify[525], 0x01);
  EXPECT_EQ(identify.vwc.present.getValue(), 1u);
  EXPECT_TRUE(identify.oacs == 0);
  identify.oacs.setValue(0x0108);
  EXPECT_EQ(identify[256], 0x08);
  EXPECT_EQ(identify[257], 0x01);
  EXPECT_EQ(identify.oacs.doorbellBufferConfig.getValue(), 1u);
  EXPECT_EQ(identify.oacs.namespaceManagement.getValue(), 1u);
}

// A 4-byte field's high sub-fields read from its third and fourth bytes,
// not from the bytes after it.
TEST(NvmeCapabilityBits, WideFieldsReadTheirOwnBytes) {
  OrvNvmCtrlIdentify identify;
  IdentifyBytes().raw(312, {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF}).raw(536, {0, 0, 0, 0, 0xFF}).into(identify);
  EXPECT_EQ(identify.rpmbs.accessSize.getValue(), 0u);
  EXPECT_EQ(identify.sgls.largeDataSgl.getValue(), 0u);
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
  EXPECT_EQ(identify.powerStates[7].getName(), "Power State07");
  EXPECT_EQ(identify.powerStates[10].getName(), "Power State10");

  identify[3040] = 0xC4;
  identify[3041] = 0x09;
  identify[3043] = 0x02;
  identify[3040 + 22] = 0x82;
  OrvNvmPState& last = identify.powerStates[31];
  EXPECT_EQ(last.maximumPower.getValue(), 2500u);
  EXPECT_EQ(last.nonOperational.getValue(), 1u);
  EXPECT_EQ(last.maxPowerScale.getValue(), 0u);
  std::string text = printed(last);
  EXPECT_EQ(text, powerStateLines("Power State31", {2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2500}));
  OrvDevGenData<_OrvDataItem> data;
  last.collectFields(data);
  ASSERT_EQ(data.items.size(), 14u);
  for (const _OrvDataItem& item : data.items) {
    bool flag = item.name == "Power State31:Non-Operational State" || item.name == "Power State31:Max Power Scale";
    EXPECT_EQ(item.kind, flag ? ORV_ITEM_FLAG : ORV_ITEM_NUMBER) << item.name;
  }

  // A window cannot be refilled or resized, nor assigned.
  EXPECT_TRUE(isLibStatus(last.resize(64), ORV_ERR_GENERIC, 102));
  EXPECT_TRUE(isLibStatus(last.setBuffer(identify.getBuffer(), 32, ORV_LITTLE_ENDIAN), ORV_ERR_GENERIC, 102));
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { identify.powerStates[0] = identify.powerStates[1]; }), ORV_ERR_GENERIC,
                          102));
}

TEST(NvmePowerState, NoWindowPastTheParent) {
  OrvNvmIdentify parent("Controller identify data");
  OrvNvmPState highest(&parent, 63);
  EXPECT_EQ(highest.getBuffer(), parent.getBuffer() + 4064);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvNvmPState outside(&parent, 64); }), ORV_ERR_INDEX_OUT_OF_BOUND, 102));
}

}  // namespace
