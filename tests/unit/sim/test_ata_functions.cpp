// The ATA command functions against the virtual drives, natively and
// through the SCSI-ATA translation: what the drive receives, what comes
// back, and the failure codes of refused commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devlib/ata/orvlib_cmd_sata.h"
#include "osl/orv_status.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata;

namespace {

constexpr u32 kCmdSataFile = 131;

class AtaFunctions : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(R"({"drives": [
      {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
      {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001"}]})");
  }
  void TearDown() override {
    for (_OSL_PDEV* drive : open_) osl_close_device(drive);
    MachineTest::TearDown();
  }

  // Drive 0 natively, drive 1 through the translation.
  OrvAtaHandle target(u32 number) {
    _OSL_PDEV* drive = osl_open_device(("PHYSICALDRIVE" + std::to_string(number)).c_str());
    EXPECT_NE(drive, nullptr);
    open_.push_back(drive);
    return OrvAtaHandle{drive, number == 0 ? OSL_BUS_SATA : OSL_BUS_SAS, &response_};
  }

  OrvBuffer response_{252, ORV_LITTLE_ENDIAN};

 private:
  std::vector<_OSL_PDEV*> open_;
};

// An IDENTIFY text: two characters a word, the first in the high byte.
std::string identifyText(OrvBuffer& identify, u32 word, u32 length) {
  std::string text;
  for (u32 i = word * 2; i < word * 2 + length; i += 2)
    text += {static_cast<char>(identify[i + 1]), static_cast<char>(identify[i])};
  return text;
}

TEST_F(AtaFunctions, IdentifyAndPowerOnBothLayouts) {
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    OrvAtaHandle drive = target(number);
    winsim::clearStorageTrace();
    OrvBuffer identify(512, ORV_LITTLE_ENDIAN);
    ASSERT_EQ(ataIdentify(drive, identify, 0, 0), 0u);
    EXPECT_EQ(identifyText(identify, 27, 40), "MODEL A" + std::string(33, ' '));
    const winsim::StorageRequest& sent = winsim::storageTrace().back();
    EXPECT_EQ(sent.name, number == 0 ? "IOCTL_ATA_PASS_THROUGH_DIRECT" : "IOCTL_SCSI_PASS_THROUGH_DIRECT");
    EXPECT_EQ(sent.timeout, 30u);

    u8 count = 0;
    ASSERT_EQ(ataCheckPowerMode(drive, count, 0, 0), 0u);
    EXPECT_EQ(count, 0xFF);
    ASSERT_EQ(ataStandbyImmediate(drive, 0, 0), 0u);
    ASSERT_EQ(ataCheckPowerMode(drive, count, 0, 0), 0u);
    EXPECT_EQ(count, 0x00);
    ASSERT_EQ(ataIdleImmediate(drive, 0, 0), 0u);
    ASSERT_EQ(ataCheckPowerMode(drive, count, 0, 0), 0u);
    EXPECT_EQ(count, 0xFF);
  }
}

TEST_F(AtaFunctions, DownloadAndActivationOnBothLayouts) {
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    OrvAtaHandle drive = target(number);
    std::vector<u8> bytes = firmwareImage("REV0000" + std::to_string(number + 2), 2 * 512);
    OrvBuffer image(2 * 512, ORV_LITTLE_ENDIAN);
    image.copyData(bytes.data(), 2 * 512, 0);
    ASSERT_EQ(ataDownloadMicrocode(drive, ORV_DM_DEFERRED, image, 0, true, 0, 0), 0u);
    EXPECT_EQ(winsim::storageTrace().back().timeout, 300u);
    ASSERT_EQ(ataActivateMicrocode(drive, 0, 0), 0u);
    EXPECT_EQ(winsim::receivedFirmwareImage(number), bytes);
    // Nothing left to activate: the activation's own failure.
    EXPECT_TRUE(isLibStatus(ataActivateMicrocode(drive, 0, 1), 40, kCmdSataFile));
    // A segment out of order: the download's failure.
    EXPECT_TRUE(isLibStatus(ataDownloadMicrocode(drive, ORV_DM_SEGMENTED, image, 5, false, 0, 0), 38,
                            kCmdSataFile));
  }
  OrvBuffer identify(512, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(ataIdentify(target(1), identify, 0, 0), 0u);
  EXPECT_EQ(identifyText(identify, 23, 8), "REV00003");
}

TEST_F(AtaFunctions, LostAndRefusedCommandsFailWithTheCommandsCode) {
  load(R"({"drives": [{"bus": "sata"}],
           "faults": [{"ioctl": "IOCTL_ATA_PASS_THROUGH_DIRECT", "times": 1},
                      {"ata": 236, "times": 1}]})");
  OrvAtaHandle drive = target(0);
  OrvBuffer identify(512, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(ataIdentify(drive, identify, 0, 0), 37, kCmdSataFile));
  EXPECT_TRUE(isLibStatus(ataIdentify(drive, identify, 0, 0), 37, kCmdSataFile));
  EXPECT_EQ(ataIdentify(drive, identify, 0, 0), 0u);
}

}  // namespace
