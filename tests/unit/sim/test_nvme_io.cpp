// Sectors, security protocols and raw entries of the NVMe device on a
// simulated machine: what reaches the drive, data that comes back, and the
// refusals made before anything is sent.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme;

constexpr u32 kNvmeDevFile = 152;
constexpr u32 kNvmeCmdFile = 151;

std::string machineWith(const std::string& keys) {
  return R"({"windows": "10.0", "drives": [{"bus": "nvme", "model": "MODEL I", "serial": "S7",
    "sectors": 4096)" + keys + "}]}";
}

OrvBuffer filled(u32 length, u8 first) {
  OrvBuffer buffer(length, ORV_LITTLE_ENDIAN);
  for (u32 i = 0; i < length; ++i) buffer.getBuffer()[i] = static_cast<u8>(first + i);
  return buffer;
}

u32 bigEndian32(const std::vector<u8>& bytes, size_t at) {
  return static_cast<u32>(bytes[at]) << 24 | static_cast<u32>(bytes[at + 1]) << 16 |
         static_cast<u32>(bytes[at + 2]) << 8 | bytes[at + 3];
}

class NvmeIoTest : public NvmeMachineTest {
 protected:
  // The device working on namespace 1 (with its I/O handle).
  std::unique_ptr<OrvGenDev> open(const std::string& keys, u32 nsid = 1) {
    load(machineWith(keys));
    std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", nsid, false, false));
    winsim::clearStorageTrace();
    return dev;
  }
};

TEST_F(NvmeIoTest, SectorsRoundTripWithTheirBlockCount) {
  auto dev = open("");
  OrvBuffer metadata;
  OrvBuffer written = filled(4096, 3);
  ASSERT_EQ(dev->writeSectors(8, written, metadata), 0u);
  ASSERT_EQ(winsim::storageTrace().size(), 1u);
  EXPECT_EQ(sentEntry(0)[0], 0x8A);
  EXPECT_EQ(bigEndian32(sentEntry(0), 10), 8u) << "NLB 7 on 512-byte sectors";
  OrvBuffer read(4096, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->readSectors(8, read, metadata), 0u);
  EXPECT_TRUE(read.compare(written.getBuffer(), 4096));
  OrvBuffer next(512, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->readSectors(16, next, metadata), 0u);
  EXPECT_EQ(next.getBuffer()[0], 0) << "a block never written";

  // Less than a sector, or more blocks than one command carries: nothing sent.
  winsim::clearStorageTrace();
  OrvBuffer tiny(100, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(dev->readSectors(0, tiny, metadata), 6, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->writeUncorrectable(0, 0), 3, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->writeUncorrectable(0, 0x10001), 3, kNvmeDevFile));
  EXPECT_TRUE(winsim::storageTrace().empty());
}

TEST_F(NvmeIoTest, LargeSectorsMoveWholeBlocksOnly) {
  auto dev = open(R"(, "sectorSize": 4096)");
  OrvBuffer metadata;
  OrvBuffer written = filled(4096, 1);
  ASSERT_EQ(dev->writeSectors(2, written, metadata), 0u);
  // The sender clears a whole incoming buffer first; the drive fills only
  // the one block.
  OrvBuffer read(4100, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->readSectors(2, read, metadata), 0u);
  EXPECT_EQ(bigEndian32(sentEntry(1), 10), 1u) << "NLB 0";
  EXPECT_TRUE(read.compare(written, 0, 4096));
  EXPECT_EQ(read.getBuffer()[4099], 0);
}

TEST_F(NvmeIoTest, CommandsTheDriverDoesNotCarry) {
  // Compare, flush and write uncorrectable have no route through the
  // platform's driver: its refusal comes back and the drive sees nothing.
  auto dev = open("");
  OrvBuffer data(512, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(orv_status_code(dev->verifySectors(0, data)), 83u);
  EXPECT_EQ(orv_status_code(dev->flushCache()), 83u);
  EXPECT_EQ(orv_status_code(dev->writeUncorrectable(0, 1)), 83u);
  EXPECT_TRUE(winsim::storageTrace().empty());
}

TEST_F(NvmeIoTest, SecurityProtocols) {
  auto dev = open(R"(, "securityProtocols": [2, 1])");
  OrvBuffer list(16, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->securityReceive(0, list, 0, 0), 0u);
  EXPECT_EQ(list.getBuffer()[7], 3);
  EXPECT_EQ(list.getBuffer()[8], 0x00);
  EXPECT_EQ(list.getBuffer()[9], 0x01);
  EXPECT_EQ(list.getBuffer()[10], 0x02);

  OrvBuffer sent = filled(512, 9);
  ASSERT_EQ(dev->securitySend(1, sent, 0x0104, 0), 0u);
  const std::vector<u8>& block = sentEntry(1);
  EXPECT_EQ(block[0], 0xB5);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0x01);
  EXPECT_EQ(block[3], 0x04);
  EXPECT_EQ(bigEndian32(block, 6), 512u);
  OrvBuffer back(512, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->securityReceive(1, back, 0x0104, 0), 0u);
  EXPECT_TRUE(back.compare(sent.getBuffer(), 512));
  OrvBuffer other(512, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->securityReceive(1, other, 0x0105, 0), 0u);
  EXPECT_EQ(other.getBuffer()[0], 0) << "nothing kept for another value";

  EXPECT_TRUE(isLibStatus(dev->securityReceive(5, back, 0, 0), 159, kNvmeCmdFile));
  EXPECT_TRUE(isLibStatus(dev->securitySend(5, sent, 0, 0), 158, kNvmeCmdFile));
}

TEST_F(NvmeIoTest, RawEntries) {
  auto dev = open("");
  // An admin Identify Controller into a 512-byte buffer goes through a
  // 4096-byte one and comes back.
  std::vector<u8> identify = nvmeEntry(0x06, 0, {1});
  OrvBuffer data(512, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->sendRawCommand(identify.data(), 64, 2, data, 1), 0u);
  EXPECT_EQ(data.getBuffer()[0], 0x79);
  EXPECT_EQ(data.getBuffer()[1], 0x1D);
  EXPECT_EQ(winsim::storageTrace().back().dataLength, 4096u);

  // An I/O Read of 8 blocks needs 8 blocks of buffer.
  OrvBuffer metadata;
  OrvBuffer written = filled(4096, 5);
  ASSERT_EQ(dev->writeSectors(0, written, metadata), 0u);
  winsim::clearStorageTrace();
  std::vector<u8> read = nvmeEntry(0x02, 1, {0, 0, 7});
  OrvBuffer small(2048, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(dev->sendRawCommand(read.data(), 64, 2, small, 0), 6, kNvmeDevFile));
  std::vector<u8> uncorrectable = nvmeEntry(0x04, 1, {0, 0, 0});
  EXPECT_TRUE(isLibStatus(dev->sendRawCommand(uncorrectable.data(), 64, 1, small, 0), 1, kNvmeDevFile));
  EXPECT_TRUE(winsim::storageTrace().empty());
  OrvBuffer whole(4096, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->sendRawCommand(read.data(), 64, 2, whole, 0), 0u);
  EXPECT_TRUE(whole.compare(written.getBuffer(), 4096));
}

TEST_F(NvmeIoTest, UnrecoveredReadErrorsFromTheErrorLog) {
  // "status" is the entry's Status Field: type << 9 | code << 1.
  auto dev = open(R"(, "errorLog": [{"count": 1, "lba": 100, "status": 1282},
    {"count": 2, "lba": 200, "status": 1280}, {"count": 3, "lba": 300, "status": 258},
    {"count": 4, "lba": 4294967396, "status": 1282}])");
  std::vector<u64> lbas = {7};
  ASSERT_EQ(dev->readErrorLogPages(lbas), 0u);
  EXPECT_EQ(lbas, (std::vector<u64>{100, 4294967396ull}));

  // ELPE 0: one entry read.
  auto one = open(R"(, "errorLogEntries": 0, "errorLog": [{"count": 1, "lba": 5, "status": 1282},
    {"count": 2, "lba": 6, "status": 1282}])");
  ASSERT_EQ(one->readErrorLogPages(lbas), 0u);
  EXPECT_EQ(lbas, std::vector<u64>{5});

  load(R"({"windows": "10.0", "drives": [{"bus": "nvme"}], "faults": [{"nvme": 2, "log": 1}]})");
  std::unique_ptr<OrvGenDev> dev2(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 1, false, false));
  EXPECT_TRUE(isLibStatus(dev2->readErrorLogPages(lbas), 149, kNvmeCmdFile));
}

TEST_F(NvmeIoTest, PartitionsOnlyThroughTheIoHandle) {
  auto dev = open("", 0);
  EXPECT_FALSE(dev->hasActivePartition());
  EXPECT_TRUE(winsim::storageTrace().empty());
}

}  // namespace
