// NVMe submission and completion entries, the log buffers they carry, and
// the checks the command functions make before anything is sent.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "devlib/nvme/orvlib_cmd_nvme.h"
#include "unit/ata_page_helpers.h"
#include "unit/status_check.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme;
using namespace VazidaRaduru::VazidaRaduruNvme::VazidaRaduruNvmeInternal;

namespace {

constexpr u32 kNvmeCmdFile = 151;
constexpr u32 kTransport = 7;

u32 dw(const OrvBuffer& entry, u32 offset) {
  u32 value;
  std::memcpy(&value, entry.getBuffer() + offset, 4);
  return value;
}
u64 qw(const OrvBuffer& entry, u32 offset) {
  u64 value;
  std::memcpy(&value, entry.getBuffer() + offset, 8);
  return value;
}
u64 addressOf(const OrvBuffer& buffer) { return reinterpret_cast<u64>(buffer.getBuffer()); }

// One command entry: its opcode, the dwords the command sets, and its route
// (queue, data direction, timeout in seconds, failure code).
struct EntryCase {
  OrvNvmSqEntryBuffer* entry;
  u8 opcode;
  std::vector<std::pair<u32, u64>> dwords;  // byte offset, value (qwords at 16 and 24)
  u32 queue;
  u8 direction;
  u32 seconds;
  u64 code;
};

void expectEntries(const std::vector<EntryCase>& cases) {
  for (const EntryCase& c : cases) {
    OrvNvmSqEntryBuffer& entry = *c.entry;
    SCOPED_TRACE("opcode " + std::to_string(c.opcode) + ", code " + std::to_string(c.code));
    EXPECT_EQ(entry.getBuffer()[0], c.opcode);
    for (const auto& d : c.dwords)
      EXPECT_EQ(d.first == 16 || d.first == 24 ? qw(entry, d.first) : dw(entry, d.first), d.second) << d.first;
    // The namespace and command dwords not listed stay 0.
    for (u32 offset : {4u, 8u, 12u, 40u, 44u, 48u, 52u, 56u, 60u}) {
      bool listed = false;
      for (const auto& d : c.dwords) listed = listed || d.first == offset;
      EXPECT_TRUE(listed || dw(entry, offset) == 0) << offset << " holds " << std::hex << dw(entry, offset);
    }
    EXPECT_EQ(entry.getQueueKind(), c.queue);
    EXPECT_EQ(entry.getDataDirection(), c.direction);
    EXPECT_EQ(entry.getTimeoutSeconds(), c.seconds);
    EXPECT_EQ(entry.getErrorCode(), c.code);
    EXPECT_EQ(entry.getTransportId(), kTransport);
    EXPECT_EQ(entry.getLength(), 64u);
    EXPECT_EQ(entry.getBuffer()[2] | entry.getBuffer()[3], 0) << "command identifier stays 0";
  }
}

}  // namespace

TEST(NvmeEntry, CommandsCarryTheirOpcodesDwordsAndRoutes) {
  OrvBuffer data(4096, ORV_LITTLE_ENDIAN), none, page(512, ORV_LITTLE_ENDIAN), meta(16, ORV_LITTLE_ENDIAN);
  OrvNvmIdentifySqEntry identify(kTransport, 0x11, data, 5);
  OrvNvmNsCreateSqEntry create(kTransport, data);
  OrvNvmFwDownloadSqEntry download(kTransport, data, 8192);
  OrvNvmFwActivateSqEntry commit(kTransport, 9, 7);  // action 4..7 and slots above 7 keep their low bits
  OrvNvmSetFeatureSqEntry setNoSave(kTransport, 0x06, data, 2, 1);  // only bit 0 of save counts
  OrvNvmSetFeatureSqEntry setSave(kTransport, 0x06, data, 1, 1);
  OrvNvmGetFeatureSqEntry get(kTransport, 0xF7, none, 0x0F, 0x1234, 3);  // no bytes, no address
  OrvNvmGetFeatureSqEntry getData(kTransport, 0x0C, data, 0, 0, 0);
  OrvNvmFormatNvmSqEntry format(kTransport, 1, 2, 0x1F, 9, 3, 3);
  OrvNvmexecuteSelfTest selfTest(kTransport, 2);  // the self-test addresses every namespace
  OrvNvmGetLogSqEntry log(kTransport, 0x03, page, 0x200, 0xFFFFFFFF);  // counts split over two dwords
  OrvNvmInternalLogBuf piece(65, 4096, 0x100000000ull + 8);
  OrvNvmGetInternalLog12SqEntry internal(kTransport, 65, piece.getLogOffset(), piece);
  OrvNvmReadSqEntry read(kTransport, data, meta, 0x123456789ull, 7, 1);
  OrvNvmWriteSqEntry write(kTransport, data, meta, 1, 0, 1);
  OrvNvmWriteUncorrectableSqEntry uncorrectable(kTransport, 0x100000005ull, 1, 1);
  OrvNvmFlushSqEntry flush(kTransport, 1);
  OrvNvmCompareSqEntry compare(kTransport, data, 0x100000002ull, 3, 4);
  OrvNvmSecRecvSqEntry receive(kTransport, 0xEF, 512, 0x1234);
  OrvNvmSecSendSqEntry send(kTransport, 1, 16, 0);
  OrvNvmSanitizeNvmSqEntry sanitize(kTransport, 2, 1);
  u8 bytes[64] = {0x99};
  OrvNvmRawCdb raw(kTransport, bytes, 0, 0, 7);
  expectEntries({
      {&identify, 0x06, {{4, 5}, {24, addressOf(data)}, {40, 0x11}}, 4, 0, 60, 144},
      {&create, 0x0D, {{24, addressOf(data)}}, 4, 1, 60, 150},
      {&download, 0x11, {{24, addressOf(data)}, {40, 1023}, {44, 2048}}, 4, 1, 60, 148},
      {&commit, 0x10, {{40, (3u << 3) | 1u}}, 4, 1, 60, 147},
      {&setNoSave, 0x09, {{40, 0x06}, {44, 1}}, 4, 1, 60, 146},
      {&setSave, 0x09, {{40, 0x80000006u}, {44, 1}}, 4, 1, 60, 146},
      {&get, 0x0A, {{24, 0}, {40, (7u << 8) + 0xF7}, {44, 0x1234}, {4, 3}}, 4, 0, 60, 145},
      {&getData, 0x0A, {{24, addressOf(data)}, {40, 0x0C}}, 4, 0, 60, 145},
      {&format, 0x80, {{4, 1}, {40, (2u << 9) | (1u << 8) | (1u << 5) | (1u << 4) | 0xFu}}, 4, 1, 86400, 157},
      {&selfTest, 0x14, {{4, 0xFFFFFFFFu}, {40, 2}}, 4, 1, 60, 195},
      {&log, 0x02, {{4, 0xFFFFFFFFu}, {40, 0x007F0003u}, {44, 0}, {48, 0x200}}, 4, 0, 60, 149},
      {&internal, 0x02, {{40, (0x3FFu << 16) | (1u << 8) | 0x80F3u}, {44, 0}, {48, 8}, {52, 1}}, 4, 0, 60, 149},
      {&read, 0x02, {{4, 1}, {16, addressOf(meta)}, {40, 0x23456789u}, {44, 1}, {48, 7}}, 5, 0, 60, 155},
      {&write, 0x01, {{4, 1}, {40, 1}}, 5, 1, 60, 154},
      {&uncorrectable, 0x04, {{4, 1}, {40, 5}, {44, 1}, {48, 1}}, 5, 1, 60, 1},
      {&flush, 0x00, {{4, 1}}, 5, 1, 60, 153},
      {&compare, 0x05, {{4, 4}, {24, addressOf(data)}, {40, 2}, {44, 1}, {48, 3}}, 5, 1, 60, 156},
      {&receive, 0x82, {{40, 0xEF123400u}, {44, 512}}, 4, 0, 3600, 159},
      {&send, 0x81, {{40, 0x01000000u}, {44, 16}}, 4, 1, 3600, 158},
      {&sanitize, 0x84, {{40, 2u | (1u << 3) | (1u << 8) | (1u << 9)}}, 4, 1, 60, 196},
      {&raw, 0x99, {}, 5, 0, 7, 1},
  });
}

TEST(NvmeEntry, PrintShowsPrpOrSglFormsByPsdt) {
  OrvBuffer data(4096, ORV_LITTLE_ENDIAN);
  OrvNvmFwActivateSqEntry commit(kTransport, 1, 3);
  std::string text = printedText([&](void* file) { commit.print(file); });
  EXPECT_EQ(text.rfind("Cmd submission queue entry\n", 0), 0u);
  EXPECT_NE(text.find("OpCode                                  : 10\n"), std::string::npos);
  EXPECT_NE(text.find("Fused operation                         : 0\n"), std::string::npos);
  EXPECT_NE(text.find("Dword 10                                : 00000019\n"), std::string::npos);
  EXPECT_NE(text.find("PRP entry 1"), std::string::npos);
  EXPECT_EQ(text.find("SGL address"), std::string::npos);

  commit.dataTransferForm.setValue(3);
  EXPECT_EQ(commit.getBuffer()[1], 0xC0) << "bits 14 and 15 of the first dword";
  text = printedText([&](void* file) { commit.print(file); });
  EXPECT_NE(text.find("SGL address"), std::string::npos);
  EXPECT_NE(text.find("SGL type"), std::string::npos);
  EXPECT_EQ(text.find("PRP entry 1"), std::string::npos);
  commit.print(nullptr);
}

TEST(NvmeCompletion, StatusFieldsAndShortBuffers) {
  OrvBuffer response(252, ORV_LITTLE_ENDIAN);
  response[0] = response[4] = 0x01;
  response[10] = 0x03;
  // Status code type 1, status code 14h, do-not-retry: bits 9-11, 1-8, 15.
  u16 status = static_cast<u16>((1u << 9) | (0x14u << 1) | 0x8000u | 1u);
  response[14] = static_cast<u8>(status);
  response[15] = static_cast<u8>(status >> 8);
  OrvNvmCqEntryBuffer entry(response);
  expectValues({{entry.getLength(), 16}, {entry.commandSpecific.getValue(), 1}, {entry.phaseBit.getValue(), 1},
                {entry.reservedDword1.getValue(), 1}, {entry.sqIdentifier.getValue(), 3},
                {entry.status.statusCodeType.getValue(), 1}, {entry.status.statusCode.getValue(), 0x14},
                {entry.status.doNotRetry.getValue(), 1}, {entry.status.more.getValue(), 0}});

  OrvBuffer shortOne(15, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { OrvNvmCqEntryBuffer e(shortOne); }), 6, kNvmeCmdFile));
}

TEST(NvmeLogBuffers, SlotRevisionsDirectoryAndDescrambling) {
  OrvNvmFwSlotInfoLog slots;
  slots[0] = 0x21;
  std::memcpy(slots.getBuffer() + 8, "ABCD    ", 8);
  std::string revision = "kept";
  EXPECT_EQ(slots.getSlotRevision(2, revision), 0u);
  EXPECT_EQ(revision, "") << "eight NUL bytes";
  EXPECT_EQ(slots.getSlotRevision(1, revision), 0u);
  EXPECT_EQ(revision, "ABCD");
  EXPECT_EQ(orv_status_code(slots.getSlotRevision(8, revision)), 25u);
  EXPECT_EQ(orv_status_code(slots.getSlotRevision(0, revision)), 25u);
  EXPECT_EQ(slots.getSlotRevision(0, revision) >> 48, 150u) << "raised for the NVMe data family";
  EXPECT_EQ(revision, "ABCD");
  EXPECT_EQ(slots.getActiveSlot(), 1u);
  EXPECT_EQ(slots.getNextActiveSlot(), 2u);
  std::stringstream dump;
  slots.hexDump(dump);
  EXPECT_EQ(dump.str().rfind("Firmware Slot Information [Page: 0x03] Hex-Dump\n", 0), 0u);
  EXPECT_EQ(printedText([&](void* file) { slots.hexDump(file); }), dump.str());

  OrvNvmLogDirectory directory;
  directory.setEntry(0x06, 564);
  directory.setEntry(0x07, 1u << 24);
  directory.setEntry(0, 100);
  expectValues({{directory.getLogSize(0x06), 564}, {directory.getLogBytes(0x06), 2256} /* sizes count dwords */,
                {directory.isLogSupported(0x07), 1}, {directory.getLogSize(0x07), 0}, {directory.getLogBytes(0x07), 0},
                {directory.isLogSupported(0), 0}, {directory.getLogSize(0), 0}});

  OrvNvmInternalLogBuf first(0x05, 12, 0);
  u32 words[3] = {0x00000005u, 0x00000000u, 0x80000000u};
  std::memcpy(first.getBuffer(), words, 12);
  first.descramble();
  expectValues({{dw(first, 0), 5} /* the header of the first piece */, {dw(first, 4), 0xFFFFFFFFu},
                {dw(first, 8), 0xFFFFFFFEu}});
  OrvNvmInternalLogBuf later(0x05, 4, 4096);
  later[0] = 0x05;
  later.descramble();
  EXPECT_EQ(dw(later, 0), ~(0x05u << 1));
  EXPECT_TRUE(isLibStatus(thrownStatus([] { OrvNvmInternalLogBuf b(1, 6, 0); }), 6, 150));
  EXPECT_TRUE(isLibStatus(thrownStatus([] { OrvNvmInternalLogBuf b(1, 8, 2); }), 6, 150));
}

TEST(NvmeCommandFunctions, ChecksComeBeforeAnythingIsSent) {
  OrvBuffer response(252, ORV_LITTLE_ENDIAN);
  OrvNvmHandlePair nothing(nullptr, &response, 7);
  OrvBuffer small(512, ORV_LITTLE_ENDIAN);
  OrvBuffer big(4096, ORV_LITTLE_ENDIAN);
  OrvBuffer odd(510, ORV_LITTLE_ENDIAN);
  OrvBuffer none;
  EXPECT_TRUE(isLibStatus(nvmSetFeature(nothing, 0x100003, 0, 0, small, 0, 0), 6, kNvmeCmdFile));
  EXPECT_TRUE(isLibStatus(nvmGetFeature(nothing, 0x03, 0, 0, big, 0, 0, 0), 83, kNvmeCmdFile));
  EXPECT_TRUE(isLibStatus(nvmGetFeature(nothing, 0x0C, 0, 0, big, 0, 0, 0), 83, kNvmeCmdFile));
  EXPECT_TRUE(isLibStatus(nvmGetLogPage(nothing, 2, odd, 0, 0, 0, 0), 6, kNvmeCmdFile));
  EXPECT_TRUE(isLibStatus(nvmGetInternalLog10(nothing), 83, kNvmeCmdFile));
  // Past the checks there is no handle to send on.
  EXPECT_TRUE(isLibStatus(nvmSetFeature(nothing, 0x100003, 0, 0, big, 0, 0), 2, kNvmeCmdFile));
  u32 feature = 0;
  EXPECT_EQ(checkFeatureId(nothing, 0xCF7, &feature, small), 0u);
  EXPECT_EQ(feature, 0xF7u);

  _OSL_PDEV store = {};
  store.handle = OSL_RAID_B_HANDLE;
  OrvNvmHandlePair pseudo(&store, &response, 7);
  response.setByte(0xAA);
  EXPECT_EQ(nvmIdentify(pseudo, 1, big, 0, 0, 0), 0u) << "a store back-end answers nothing";
  EXPECT_TRUE(response.compare(OrvBuffer(252, ORV_LITTLE_ENDIAN)));
  EXPECT_TRUE(isLibStatus(nvmFlush(pseudo, 1, 0, 0), 2, kNvmeCmdFile)) << "no I/O handle was opened";
  OrvNvmHandlePair unusable(&store, &response, 255);
  EXPECT_TRUE(isLibStatus(nvmFwCommit(unusable, 1, 1, 0, 0), 2, kNvmeCmdFile));
}
