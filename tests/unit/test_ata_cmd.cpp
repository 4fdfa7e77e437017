// ATA command blocks in both layouts, the registers read back from either
// kind of response, and what the command functions refuse before sending.
#include <gtest/gtest.h>

#include <vector>

#include "devlib/ata/orvlib_cmd_sata.h"
#include "osl/orv_status.h"
#include "osl/osl_sata.h"
#include "unit/status_check.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata;
using namespace VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal;

namespace {

constexpr u32 kCmdSataFile = 131;

std::vector<u8> block(const OrvAtaCmd& cmd) {
  return std::vector<u8>(cmd.getBuffer(), cmd.getBuffer() + cmd.getLength());
}

TEST(AtaCommands, RegisterBlocksProtocolsAndFailureCodes) {
  OrvAtaCmdIdentify identify;
  // 300 blocks at block offset 0x1234: the count is split over count and
  // LBA low, the offset over LBA mid and high.
  OrvAtaCmdDownloadMicrocode segment(ORV_DM_SEGMENTED, 300, 0x1234, false);
  OrvAtaCmdDownloadMicrocode dma(ORV_DM_WHOLE, 2, 0, true);
  OrvAtaCmdDownloadMicrocode activate(ORV_DM_ACTIVATE, 0, 0, false);
  OrvAtaCmdCheckPowerMode checkPower;
  OrvAtaCmdStandbyImmediate standby;
  OrvAtaCmdIdleImmediate idle;
  OrvAtaCmd readLog(0x2F, ORV_ATA_PIO_DATA_IN, true, 0, "READ LOG EXT");
  struct Case {
    OrvAtaCmd& cmd;
    std::vector<u8> block;
    int protocol;
    int dataIn;  // -1: no data, no direction to tell
    int errorCode;
  };
  const Case cases[] = {
      {identify, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0xEC, 0, 0, 0}, ORV_ATA_PIO_DATA_IN, 1, 37},
      {segment, {0x03, 0, 0x2C, 0, 0x01, 0, 0x34, 0, 0x12, 0, 0xA0, 0, 0x92, 0, 0, 0}, ORV_ATA_PIO_DATA_OUT, 0, 38},
      {dma, {0x07, 0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0x93, 0, 0, 0}, ORV_ATA_DMA, 0, 38},
      {activate, {0x0F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0x92, 0, 0, 0}, ORV_ATA_NON_DATA, 0, 40},
      {checkPower, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0xE5, 0, 0, 0}, ORV_ATA_NON_DATA, -1, 142},
      {standby, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0xE0, 0, 0, 0}, ORV_ATA_NON_DATA, -1, 140},
      {idle, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0xE1, 0, 0, 0}, ORV_ATA_NON_DATA, -1, 141},
      {readLog, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0x2F, 0, 0, 0}, ORV_ATA_PIO_DATA_IN, 1, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(block(c.cmd), c.block) << int(c.block[12]);
    EXPECT_EQ(c.cmd.getProtocol(), c.protocol) << int(c.block[12]);
    EXPECT_TRUE(c.dataIn < 0 || c.cmd.isDataIn() == (c.dataIn == 1)) << int(c.block[12]);
    EXPECT_EQ(c.cmd.getErrorCode(), c.errorCode) << int(c.block[12]);
  }
}

TEST(AtaCommands, PassThroughBlocks) {
  // 28-bit commands go in the 12-byte form; data lengths come from the
  // SCSI request (T_LENGTH 3), in blocks, with the direction.
  EXPECT_EQ(OrvAtaCmdIdentify().passThroughCdb(512),
            (std::vector<u8>{0xA1, 0x08, 0x0F, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0}));
  EXPECT_EQ(OrvAtaCmdDownloadMicrocode(ORV_DM_SEGMENTED, 300, 0x1234, false).passThroughCdb(300 * 512),
            (std::vector<u8>{0xA1, 0x0A, 0x07, 0x03, 0x2C, 0x01, 0x34, 0x12, 0xA0, 0x92, 0, 0}));
  EXPECT_EQ(OrvAtaCmdDownloadMicrocode(ORV_DM_WHOLE, 1, 0, true).passThroughCdb(512)[1], 0x0C);
  // Non-data: no length; CHECK POWER MODE asks for the registers back.
  EXPECT_EQ(OrvAtaCmdDownloadMicrocode(ORV_DM_ACTIVATE, 0, 0, false).passThroughCdb(0),
            (std::vector<u8>{0xA1, 0x06, 0x00, 0x0F, 0, 0, 0, 0, 0xA0, 0x92, 0, 0}));
  EXPECT_EQ(OrvAtaCmdCheckPowerMode().passThroughCdb(0)[2], 0x20);

  // A 48-bit command: the 16-byte form with the previous values first.
  OrvAtaCmd readLog(0x2F, ORV_ATA_PIO_DATA_IN, true, 0, "READ LOG EXT");
  readLog.setExtended();
  readLog.setCount(0x0102);
  readLog.setLba(0x0000AABBCCDDEEFFull);
  readLog.setFeatures(0x0304);
  EXPECT_EQ(readLog.passThroughCdb(0x0102 * 512),
            (std::vector<u8>{0x85, 0x09, 0x0F, 0x03, 0x04, 0x01, 0x02, 0xCC, 0xFF, 0xBB, 0xEE, 0xAA,
                             0xDD, 0xA0, 0x2F, 0}));
  // The same values on a 28-bit command lose their high halves.
  OrvAtaCmd plain(0xC8, ORV_ATA_DMA, true, 0, "READ DMA");
  plain.setCount(0x0102);
  plain.setLba(0x0000AABBCCDDEEFFull);
  EXPECT_EQ(block(plain), (std::vector<u8>{0, 0, 0x02, 0, 0xFF, 0, 0xEE, 0, 0xDD, 0, 0xA0, 0, 0xC8, 0, 0, 0}));
}

// The sixteen output registers, every one set: what the response gives, 0
// for what it does not.
TEST(AtaCommands, OutputRegistersFromEitherResponse) {
  using Registers = std::vector<u8>;
  OrvBuffer response(252, ORV_LITTLE_ENDIAN);
  Registers registers(16, 0xEE);
  OrvAtaHandle native{nullptr, OSL_BUS_SATA, &response};
  Registers block;
  for (u8 i = 0; i < 16; ++i) block.push_back(static_cast<u8>(0x10 + i));
  response.copyData(block.data(), 16, 0);
  ASSERT_TRUE(ataOutputRegisters(native, registers.data()));
  EXPECT_EQ(registers, block);
  OrvBuffer cut(15, ORV_LITTLE_ENDIAN);
  EXPECT_FALSE(ataOutputRegisters(OrvAtaHandle{nullptr, OSL_BUS_SATA, &cut}, registers.data()));

  // Descriptor sense with another descriptor before the ATA status return:
  // error, count, LBA low, mid and high with their previous values, device, status.
  OrvAtaHandle translated{nullptr, OSL_BUS_SAS, &response};
  response.resetZero();
  const u8 sense[] = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 26,
                      0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // information
                      0x09, 0x0C, 0x01, 0x04, 0x12, 0x34, 0xA1, 0xB1, 0xA2, 0xB2, 0xA3, 0xB3, 0x40, 0x51};
  response.copyData(sense, sizeof sense, 0);
  registers.assign(16, 0xEE);
  ASSERT_TRUE(ataOutputRegisters(translated, registers.data()));
  EXPECT_EQ(registers, (Registers{0x04, 0, 0x34, 0x12, 0xB1, 0xA1, 0xB2, 0xA2, 0xB3, 0xA3, 0x40, 0, 0x51, 0, 0, 0}));
  response[22] = 0x00;  // not extended: no previous values
  ASSERT_TRUE(ataOutputRegisters(translated, registers.data()));
  EXPECT_EQ(registers, (Registers{0x04, 0, 0x34, 0, 0xB1, 0, 0xB2, 0, 0xB3, 0, 0x40, 0, 0x51, 0, 0, 0}));

  // Fixed-format sense, or a descriptor cut off by the additional length.
  response[7] = 20;
  registers.assign(16, 0xEE);
  EXPECT_FALSE(ataOutputRegisters(translated, registers.data()));
  EXPECT_EQ(registers, Registers(16, 0));
  response.resetZero();
  response[0] = 0x70;
  EXPECT_FALSE(ataOutputRegisters(translated, registers.data()));
}

TEST(AtaCommands, RefusedBeforeSending) {
  OrvBuffer response(252, ORV_LITTLE_ENDIAN);
  OrvBuffer odd(700, ORV_LITTLE_ENDIAN);
  OrvBuffer small(256, ORV_LITTLE_ENDIAN);
  OrvAtaHandle unopened{nullptr, OSL_BUS_SATA, &response};
  EXPECT_TRUE(isLibStatus(ataDownloadMicrocode(unopened, ORV_DM_WHOLE, odd, 0, false, 0, 0), 6, kCmdSataFile));
  EXPECT_TRUE(isLibStatus(ataIdentify(unopened, small, 0, 0), 6, kCmdSataFile));
  EXPECT_TRUE(isLibStatus(ataIdleImmediate(unopened, 0, 0), 2, kCmdSataFile));

  // Only the native task file and the translation carry ATA commands.
  _OSL_PDEV drive = {};
  drive.handle = INVALID_HANDLE_VALUE;
  OrvAtaHandle nvme{&drive, OSL_BUS_NVME, &response};
  EXPECT_TRUE(isLibStatus(ataStandbyImmediate(nvme, 0, 0), 43, kCmdSataFile));
  u8 count = 0x77;
  EXPECT_NE(ataCheckPowerMode(nvme, count, 0, 0), 0u);
  EXPECT_EQ(count, 0x77);
}

}  // namespace
