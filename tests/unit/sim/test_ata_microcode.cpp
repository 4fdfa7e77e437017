// The virtual ATA drive's DOWNLOAD MICROCODE, sent register by register:
// the segment rules, the image mark, saved images across runs, and the
// translation's transfer length taken from the SCSI request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "osl/osl_cmd.h"
#include "osl/osl_sata.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/machine_fixture.h"

namespace {

constexpr u8 SEGMENTED = 0x03;
constexpr u8 WHOLE = 0x07;
constexpr u8 DEFERRED = 0x0E;
constexpr u8 ACTIVATE = 0x0F;

class DriveMicrocode : public MachineTest {
 protected:
  void TearDown() override {
    close();
    MachineTest::TearDown();
  }
  void open(u32 number) {
    close();
    drive_ = osl_open_device(("PHYSICALDRIVE" + std::to_string(number)).c_str());
    ASSERT_NE(drive_, nullptr);
  }
  void close() {
    osl_close_device(drive_);
    drive_ = nullptr;
  }

  // DOWNLOAD MICROCODE natively; bytes is a whole number of blocks.
  u64 download(u8 mode, u16 offset, std::vector<u8> bytes, u8 command = 0x92) {
    u16 blocks = static_cast<u16>(bytes.size() / 512);
    std::vector<u8> block(16, 0);
    block[OSL_ATA_FEATURES] = mode;
    block[OSL_ATA_COUNT] = static_cast<u8>(blocks);
    block[OSL_ATA_LBA_LOW] = static_cast<u8>(blocks >> 8);
    block[OSL_ATA_LBA_MID] = static_cast<u8>(offset);
    block[OSL_ATA_LBA_HIGH] = static_cast<u8>(offset >> 8);
    block[OSL_ATA_DEVICE] = 0xA0;
    block[OSL_ATA_COMMAND] = command;
    return send(block, OSL_BUS_SATA, bytes.empty() ? 1 : 0, bytes);
  }

  // One request through the dispatcher: a register block natively, a CDB
  // on the SCSI path.
  u64 send(std::vector<u8> block, osl_bus_type bus, u8 direction, std::vector<u8>& data) {
    u8 response[64];
    _osl_dev_cmd request = {};
    request.command = block.data();
    request.commandLength = static_cast<u8>(block.size());
    request.direction = direction;
    request.data = data.empty() ? nullptr : data.data();
    request.dataLength = static_cast<u32>(data.size());
    request.response = response;
    request.responseLength = sizeof response;
    return osl_send_command(drive_, &request, bus, bus == OSL_BUS_SATA ? OSL_CMD_ATA : OSL_CMD_ATA_IN_SCSI);
  }

  // The running revision, as IDENTIFY DEVICE reports it.
  std::string revision() {
    std::vector<u8> block(16, 0), data(512);
    block[OSL_ATA_COMMAND] = 0xEC;
    EXPECT_EQ(send(block, OSL_BUS_SATA, 1, data), 0u);
    std::string text;
    for (unsigned i = 46; i < 54; i += 2) text += {static_cast<char>(data[i + 1]), static_cast<char>(data[i])};
    return text;
  }

  static std::vector<u8> part(const std::vector<u8>& image, size_t firstBlock, size_t blocks) {
    return std::vector<u8>(image.begin() + firstBlock * 512, image.begin() + (firstBlock + blocks) * 512);
  }

  _OSL_PDEV* drive_ = nullptr;
};

TEST_F(DriveMicrocode, SegmentsFollowTheLimitsAndTheOrder) {
  load(R"({"drives": [{"bus": "sata", "firmware": "REV00001", "dmMinBlocks": 2, "dmMaxBlocks": 4}]})");
  open(0);
  std::vector<u8> image = firmwareImage("REV00002", 5 * 512);
  std::vector<u8> unmarked = image;
  unmarked[0] = 'X';
  EXPECT_NE(download(SEGMENTED, 0, part(unmarked, 0, 4)), 0u) << "no mark";
  EXPECT_NE(download(SEGMENTED, 0, part(image, 0, 5)), 0u) << "above the maximum";
  EXPECT_NE(download(SEGMENTED, 4, part(image, 4, 1)), 0u) << "no image begun";

  ASSERT_EQ(download(SEGMENTED, 0, part(image, 0, 4)), 0u);
  EXPECT_NE(download(SEGMENTED, 3, part(image, 4, 1)), 0u) << "out of order";
  EXPECT_EQ(revision(), "REV00001") << "the broken download is dropped";

  ASSERT_EQ(download(SEGMENTED, 0, part(image, 0, 2)), 0u);
  ASSERT_EQ(download(SEGMENTED, 2, part(image, 2, 1)), 0u);  // short: the last one
  EXPECT_NE(download(SEGMENTED, 3, part(image, 3, 2)), 0u) << "after the short segment";
  EXPECT_EQ(revision(), "REV00001");
  EXPECT_TRUE(winsim::receivedFirmwareImage(0).empty());

  ASSERT_EQ(download(SEGMENTED, 0, part(image, 0, 4)), 0u);
  ASSERT_EQ(download(SEGMENTED, 4, part(image, 4, 1)), 0u);
  EXPECT_EQ(revision(), "REV00002") << "whole once the host turns to IDENTIFY";
  EXPECT_EQ(winsim::receivedFirmwareImage(0), image);
  EXPECT_NE(scratch_.read("machine.json").find(R"("firmware": "REV00002")"), std::string::npos);
}

TEST_F(DriveMicrocode, WholeImagesAndTheirMark) {
  load(R"({"drives": [{"bus": "sata", "firmware": "REV00001", "downloadMicrocodeDma": false}]})");
  open(0);
  std::vector<u8> image = firmwareImage("R2", 3 * 512);
  EXPECT_NE(download(WHOLE, 0, image, 0x93), 0u) << "no DMA download on this drive";
  std::vector<u8> unmarked = image;
  unmarked[7] = 'X';
  EXPECT_NE(download(WHOLE, 0, unmarked), 0u);
  EXPECT_EQ(revision(), "REV00001");
  ASSERT_EQ(download(WHOLE, 0, image), 0u);
  EXPECT_EQ(revision(), "R2      ") << "the revision without its blanks, padded by IDENTIFY";
}

TEST_F(DriveMicrocode, SavedImageWaitsForActivationAcrossRuns) {
  load(R"({"drives": [{"bus": "sata", "firmware": "REV00001"}]})");
  open(0);
  EXPECT_NE(download(ACTIVATE, 0, {}), 0u) << "nothing saved";
  std::vector<u8> image = firmwareImage("REV00003", 2 * 512);
  ASSERT_EQ(download(DEFERRED, 0, part(image, 0, 1)), 0u);
  ASSERT_EQ(download(DEFERRED, 1, part(image, 1, 1)), 0u);
  EXPECT_EQ(revision(), "REV00001");
  EXPECT_EQ(winsim::receivedFirmwareImage(0), image);
  std::string file = scratch_.read("machine.json");
  EXPECT_NE(file.find(R"("pendingFirmware": "REV00003")"), std::string::npos) << file;

  // The next run activates it.
  close();
  reload();
  open(0);
  ASSERT_EQ(download(ACTIVATE, 0, {}), 0u);
  EXPECT_EQ(revision(), "REV00003");
  file = scratch_.read("machine.json");
  EXPECT_EQ(file.find("pendingFirmware"), std::string::npos) << file;
  EXPECT_NE(download(ACTIVATE, 0, {}), 0u) << "activated once";
}

TEST_F(DriveMicrocode, TranslationTakesTheLengthOfTheRequest) {
  load(R"({"drives": [{"bus": "sat", "firmware": "REV00001"}]})");
  open(0);
  std::vector<u8> image = firmwareImage("REV00004", 300 * 512);
  // ATA PASS-THROUGH (12): PIO data-out, T_LENGTH 3; 300 blocks do not fit
  // the count register alone.
  std::vector<u8> cdb = {0xA1, 5 << 1, 0x07, WHOLE, 300 & 0xFF, 300 >> 8, 0, 0, 0xA0, 0x92, 0, 0};
  ASSERT_EQ(send(cdb, OSL_BUS_SAS, 0, image), 0u);
  EXPECT_EQ(winsim::receivedFirmwareImage(0), image);
}

}  // namespace
