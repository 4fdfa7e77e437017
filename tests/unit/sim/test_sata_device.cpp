// The SATA device and the ATA command functions on simulated machines,
// natively (AHCI) and through the SCSI-ATA translation: identification,
// property record, capacity and power; firmware downloads of every kind with
// the image compared inside the drive and the revision read back in the next
// run; failures at a segment; segment sizes; and the virtual drive's own
// DOWNLOAD MICROCODE rules.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata.h"
#include "devlib/ata/orvlib_cmd_sata.h"
#include "devlib/ata/orvlib_sata.h"
#include "osl/orv_status.h"
#include "osl/osl_sata.h"
#include "unit/log_capture.h"
#include "unit/sim/device_fixture.h"
#include "unit/sim/firmware_image.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata;

constexpr u32 kCmdSataFile = 131;

// Drive 0 on an AHCI port, drive 1 behind a SAS adapter's translation.
const char* twoDrives = R"({"drives": [
  {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
  {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001"}]})";

// The DOWNLOAD MICROCODE commands that reached the drivers, in either
// layout: "command/subcommand offset+blocks " with the data length checked.
std::string segmentsSent() {
  std::string segments;
  auto two = [](u8 low, u8 high) { return static_cast<u32>(low | high << 8); };
  for (const winsim::StorageRequest& request : winsim::storageTrace()) {
    const std::vector<u8>& c = request.command;
    u32 blocks = 0;
    if (c.size() == 16 && request.name == "IOCTL_ATA_PASS_THROUGH_DIRECT" && (c[12] == 0x92 || c[12] == 0x93)) {
      blocks = two(c[2], c[4]);
      segments += std::to_string(c[12]) + "/" + std::to_string(c[0]) + " " + std::to_string(two(c[6], c[8]));
    } else if (c.size() == 12 && c[0] == 0xA1 && (c[9] == 0x92 || c[9] == 0x93)) {
      blocks = two(c[4], c[5]);
      segments += std::to_string(c[9]) + "/" + std::to_string(c[3]) + " " + std::to_string(two(c[6], c[7]));
    } else {
      continue;
    }
    segments += "+" + std::to_string(blocks) + (request.dataLength == blocks * 512 ? " " : "! ");
  }
  return segments;
}

// The image as the drive holds it: padded with zeros to a whole block.
std::vector<u8> padded(std::vector<u8> image) {
  image.resize((image.size() + 511) / 512 * 512, 0);
  return image;
}

class SataDevice : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(twoDrives);
  }
  void TearDown() override {
    for (_OSL_PDEV* drive : open_) osl_close_device(drive);
    MachineTest::TearDown();
  }

  static DevicePtr open(u32 number) {
    DevicePtr device = newDevice(number);
    EXPECT_NE(dynamic_cast<OrvSataDev*>(device.get()), nullptr);
    winsim::clearStorageTrace();
    return device;
  }
  // Drive 0 natively, drive 1 through the translation, for the functions.
  OrvAtaHandle target(u32 number) {
    _OSL_PDEV* drive = osl_open_device(("PHYSICALDRIVE" + std::to_string(number)).c_str());
    EXPECT_NE(drive, nullptr);
    open_.push_back(drive);
    return OrvAtaHandle{drive, number == 0 ? OSL_BUS_SATA : OSL_BUS_SAS, &response_};
  }

  // The running revision, as IDENTIFY DEVICE reports it.
  std::string identifyText(u32 number, u32 word, u32 length) {
    OrvBuffer identify(512, ORV_LITTLE_ENDIAN);
    EXPECT_EQ(ataIdentify(target(number), identify, 0, 0), 0u);
    std::string text;
    for (u32 i = word * 2; i < word * 2 + length; i += 2)
      text += {static_cast<char>(identify[i + 1]), static_cast<char>(identify[i])};
    return text;
  }

  OrvBuffer response_{252, ORV_LITTLE_ENDIAN};
  std::vector<_OSL_PDEV*> open_;
};

TEST_F(SataDevice, IdentificationOnBothBuses) {
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    DevicePtr device = open(number);
    EXPECT_EQ(device->getBusType(), number == 0 ? OSL_BUS_SATA : OSL_BUS_SAS);
    EXPECT_EQ(identText(*device), "REV00001|MODEL A|" + std::string(number == 0 ? "S1" : "S2") + "|");
    EXPECT_EQ(firmwareText(*device), "REV00001 1>0 [1:REV00001:0 ] buffers 1");
    OrvDevGenData<_OrvFwInfoItem> info;
    ASSERT_EQ(device->getFirmwareInfo(info), 0u);
    EXPECT_NE(dynamic_cast<VazidaRaduruSataInternal::OrvAtaIdentifyBuffer*>(info.buffers.at(0)), nullptr);
    u64 capacity = 0;
    u32 sectorSize = 0;
    ASSERT_EQ(device->getCapacity(capacity, sectorSize, 0), 0u);
    EXPECT_EQ(std::to_string(capacity) + "/" + std::to_string(sectorSize), "1953525168/512");
    EXPECT_TRUE(device->isSupportedDrive());

    // Power states by the device and by the functions; the slots left to
    // the base refuse.
    std::string states;
    u8 active = 7, count = 0;
    for (auto step : {&OrvGenDev::spinDown, &OrvGenDev::spinUp}) {
      EXPECT_EQ(device->getPowerMode(&active), 0u);
      states += std::to_string(active);
      EXPECT_EQ(((*device).*step)(0), 0u);
    }
    EXPECT_EQ(device->getPowerMode(&active), 0u);
    states += std::to_string(active);
    EXPECT_EQ(states, "101");
    OrvAtaHandle drive = target(number);
    winsim::clearStorageTrace();
    EXPECT_EQ(identifyText(number, 27, 40), "MODEL A" + std::string(33, ' '));
    EXPECT_EQ(winsim::storageTrace().back().name,
              number == 0 ? "IOCTL_ATA_PASS_THROUGH_DIRECT" : "IOCTL_SCSI_PASS_THROUGH_DIRECT");
    EXPECT_EQ(winsim::storageTrace().back().timeout, 30u);
    for (auto step : {&ataStandbyImmediate, &ataIdleImmediate}) {
      ASSERT_EQ(ataCheckPowerMode(drive, count, 0, 0), 0u);
      states += " " + std::to_string(count);
      ASSERT_EQ(step(drive, 0, 0), 0u);
    }
    ASSERT_EQ(ataCheckPowerMode(drive, count, 0, 0), 0u);
    EXPECT_EQ(states + " " + std::to_string(count), "101 255 0 255");

    OrvDevGenData<_OrvDataItem> items;
    u32 size = 0;
    EXPECT_EQ(st(device->setFeature(5, 1)) + " " + st(device->getIdentifyData(items, 0)) + " " +
                  st(device->getSectorSize(size)),
              "4.103.83 4.103.83 4.103.83");
  }
}

TEST_F(SataDevice, PropertyRecord) {
  // Drive 0: SMART supported and enabled, self-test; no security word, so
  // bits 3 to 7 are cleared whatever they were; write cache supported and
  // enabled, DOWNLOAD MICROCODE, segmented, DMA; general purpose logging.
  // Drive 1: word 128 = 2Dh (supported, locked, frozen, enhanced erase, not
  // enabled); word 69 without DOWNLOAD MICROCODE DMA; word 82 without SMART.
  load(R"({"drives": [
    {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
    {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001", "sectorSize": 4096,
     "sectors": 244190646, "identifyWords": {"128": 45, "69": 0, "82": 16490}}]})");
  _OrvDevProperty property;
  std::memset(&property, 0xFF, sizeof property);
  ASSERT_EQ(open(0)->fillDeviceInfo(property), 0u);
  EXPECT_EQ(std::string(property.componentId, 9), std::string(9, '\0'));
  EXPECT_EQ(propertyText(property), "MODEL A|REV00001|S1| id 0 cap 07/1F state 255");
  std::memset(&property, 0, sizeof property);
  DevicePtr device = open(1);
  ASSERT_EQ(device->fillDeviceInfo(property), 0u);
  EXPECT_EQ(propertyText(property), "MODEL A|REV00001|S2| id 0 cap DE/0F state 3");
  u64 capacity = 0;
  u32 sectorSize = 0;
  ASSERT_EQ(device->getCapacity(capacity, sectorSize, 0), 0u);
  EXPECT_EQ(std::to_string(capacity) + "/" + std::to_string(sectorSize), "244190646/4096");
}

TEST_F(SataDevice, FailedIdentification) {
  load(R"({"drives": [{"bus": "sata"}], "faults": [{"ata": 236}]})");
  EXPECT_TRUE(isLibStatus(thrownStatus([] { newDevice(0); }), 37, kCmdSataFile));
  // Kept when the caller tolerates it; the operations that need the data
  // then refuse.
  DevicePtr device = newDevice(0, 0, true);
  EXPECT_EQ(identText(*device), "4.132.37");
  u64 capacity = 0;
  u32 sectorSize = 0;
  EXPECT_NE(device->getCapacity(capacity, sectorSize, 0), 0u);
  EXPECT_TRUE(isLibStatus(device->refresh(), 37, kCmdSataFile));

  // A command lost in the driver and one the drive refuses fail with the
  // command's code.
  load(R"({"drives": [{"bus": "sata"}],
           "faults": [{"ioctl": "IOCTL_ATA_PASS_THROUGH_DIRECT", "times": 1}, {"ata": 236, "times": 1}]})");
  OrvAtaHandle drive = target(0);
  OrvBuffer identify(512, ORV_LITTLE_ENDIAN);
  std::string statuses;
  for (int i = 0; i < 3; ++i) statuses += st(ataIdentify(drive, identify, 0, 0)) + " ";
  EXPECT_EQ(statuses, "4.131.37 4.131.37 0 ");
}

TEST_F(SataDevice, SegmentedDeferredAndWholeDownloads) {
  // A download that works: the commands sent and the image the drive holds.
  auto expectDownload = [](OrvGenDev& device, u32 number, const std::vector<u8>& image, u8 deferred,
                           const std::string& segments) {
    EXPECT_EQ(downloadText(device, image, deferred), "0 refreshed");
    EXPECT_EQ(segmentsSent(), segments);
    EXPECT_EQ(winsim::receivedFirmwareImage(number), padded(image));
  };
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    // Two whole segments of 128 blocks and 700 bytes more: the last is sent
    // as two blocks, padded in a copy; the device reads IDENTIFY again.
    std::string revision = "REV0000" + std::to_string(2 + number);
    std::vector<u8> image = firmwareImage(revision, 2 * 65536 + 700);
    DevicePtr device = open(number);
    expectDownload(*device, number, image, 0, "146/3 0+128 146/3 128+128 146/3 256+2 ");
    EXPECT_EQ(revisionOf(*device), revision);
    // The next run finds the new revision.
    device.reset();
    reload();
    EXPECT_EQ(firmwareText(*open(number)), revision + " 1>0 [1:" + revision + ":0 ] buffers 1");

    // Deferred, in one command: saved, not active; the next run activates
    // it, and nothing is left to activate after.
    image = firmwareImage("DEFER00" + std::to_string(number), 1000);
    device = open(number);
    expectDownload(*device, number, image, 1, "146/14 0+2 ");
    EXPECT_EQ(revisionOf(*device), revision);
    device.reset();
    reload();
    device = open(number);
    EXPECT_EQ(activateText(*device, 0, 0), "0 refreshed");
    EXPECT_EQ(revisionOf(*device), "DEFER00" + std::to_string(number));
    EXPECT_EQ(activateText(*device, 0, 0), "4.131.40");
  }

  // Drives without segments take the image whole, and no deferred download.
  load(R"({"drives": [{"bus": "sata", "firmware": "REV00001", "segmentedDownload": false},
                      {"bus": "sat", "firmware": "REV00001", "segmentedDownload": false}]})");
  for (u32 number : {0u, 1u}) {
    std::vector<u8> image = firmwareImage("WHOLE0" + std::to_string(number), 5000);
    DevicePtr device = open(number);
    expectDownload(*device, number, image, 0, "146/7 0+10 ");
    EXPECT_EQ(revisionOf(*device), "WHOLE0" + std::to_string(number));
    EXPECT_EQ(downloadText(*device, image, 1), "4.132.83");
  }
}

TEST_F(SataDevice, AbortAtASegmentKeepsTheOldFirmware) {
  // The third segment aborted by the drive, on either bus; then the fourth
  // lost on the way to the drive.
  load(R"({"drives": [
    {"bus": "sata", "firmware": "REV00001", "dmMaxBlocks": 2},
    {"bus": "sat", "firmware": "REV00001", "dmMaxBlocks": 2}],
    "faults": [{"ata": 146, "feature": 3, "after": 2, "times": 1, "drive": 0},
               {"ata": 146, "feature": 3, "after": 2, "times": 1, "drive": 1},
               {"ioctl": "IOCTL_ATA_PASS_THROUGH_DIRECT", "drive": 0, "after": 7, "times": 1}]})");
  std::vector<u8> image = firmwareImage("REV00009", 5 * 1024);
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    DevicePtr device = newDevice(number);
    LogCapture log;
    EXPECT_EQ(downloadText(*device, image, 0), "4.131.38");
    EXPECT_NE(log.find("Debug: Microcode Download Failed [offset: 2048, segment: 3]\n"), nullptr);
    ASSERT_EQ(device->refresh(), 0u);
    EXPECT_EQ(revisionOf(*device), "REV00001");
    EXPECT_TRUE(winsim::receivedFirmwareImage(number).empty());
  }
  // Drive 0 again: seven requests so far (two IDENTIFY of the device, three
  // segments, a refresh, the new device's IDENTIFY); the second segment of
  // this download is lost in the driver.
  DevicePtr device = open(0);
  EXPECT_EQ(downloadText(*device, image, 0), "4.131.38");
  EXPECT_EQ(segmentsSent(), "146/3 0+2 ");
  EXPECT_EQ(winsim::storageTrace().back().name, "IOCTL_ATA_PASS_THROUGH_DIRECT");
  EXPECT_EQ(winsim::storageTrace().back().error, 31u) << "the second, lost";
  ASSERT_EQ(device->refresh(), 0u);
  EXPECT_EQ(revisionOf(*device), "REV00001");
  // Undisturbed, the same image goes through.
  EXPECT_EQ(downloadText(*device, image, 0), "0 refreshed");
  EXPECT_EQ(revisionOf(*device), "REV00009");
}

TEST_F(SataDevice, SegmentSizeFallsBackToASafeSize) {
  struct Case {
    const char* drive;
    const char* outcome;
    u32 blocks;  // of every segment but the last
  } cases[] = {
      {R"("dmMaxBlocks": 0)", "0 refreshed", 64},
      {R"("dmMaxBlocks": 65535)", "0 refreshed", 64},
      {R"("dmMaxBlocks": 200, "maxTransfer": 16384)", "0 refreshed", 32},  // above the transfer limit
      {R"("dmMaxBlocks": 0, "dmMinBlocks": 80)", "0 refreshed", 80},       // raised to the minimum
      {R"("dmMinBlocks": 64, "maxTransfer": 16384)", "4.132.98", 0},       // the minimum cannot be sent
  };
  std::vector<u8> image = firmwareImage("REV00005", 100 * 512 + 1);
  for (const Case& one : cases) {
    SCOPED_TRACE(one.drive);
    load(std::string(R"({"drives": [{"bus": "sata", "firmware": "REV00001", )") + one.drive + "}]}");
    DevicePtr device = open(0);
    EXPECT_EQ(downloadText(*device, image, 0), one.outcome);
    std::string expected;
    for (u32 at = 0; one.blocks && at < 101; at += one.blocks)
      expected += "146/3 " + std::to_string(at) + "+" + std::to_string(std::min(one.blocks, 101 - at)) + " ";
    EXPECT_EQ(segmentsSent(), expected);
    if (one.blocks) {
      EXPECT_EQ(winsim::receivedFirmwareImage(0), padded(image));
      EXPECT_EQ(revisionOf(*device), "REV00005");
    }
  }
}

TEST_F(SataDevice, DownloadsRefusedBeforeSending) {
  load(R"({"drives": [{"bus": "sata", "downloadMicrocode": false}, {"bus": "sata", "downloadMicrocodeDma": false},
                      {"bus": "sata"}]})");
  std::vector<u8> image = firmwareImage("REV00002", 1024);
  EXPECT_EQ(downloadText(*open(0), image, 0), "4.132.90");
  EXPECT_EQ(downloadText(*open(1), image, 0, 0, true), "4.132.86");
  DevicePtr device = open(2);
  bool refreshed = false, reboot = false;
  EXPECT_EQ(st(device->downloadFirmware(image.data(), 0, &refreshed, &reboot, 0, false, 0)) + " " +
                st(device->downloadFirmware(nullptr, 1024, &refreshed, &reboot, 0, false, 0)),
            "4.132.4 4.132.4");
  EXPECT_EQ(segmentsSent(), "");
  // A DMA download where the drive has it; an image without the mark is
  // refused by the drive.
  EXPECT_EQ(downloadText(*device, image, 0), "0 refreshed");
  image[0] = 'X';
  winsim::clearStorageTrace();
  EXPECT_EQ(downloadText(*device, image, 0, 0, true), "4.131.38");
  EXPECT_EQ(segmentsSent(), "147/3 0+2 ");
}

TEST_F(SataDevice, FunctionsDownloadAndActivateOnBothLayouts) {
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
    // Nothing left to activate: the activation's own failure; a segment out
    // of order: the download's failure.
    EXPECT_TRUE(isLibStatus(ataActivateMicrocode(drive, 0, 1), 40, kCmdSataFile));
    EXPECT_TRUE(isLibStatus(ataDownloadMicrocode(drive, ORV_DM_SEGMENTED, image, 5, false, 0, 0), 38,
                            kCmdSataFile));
  }
  EXPECT_EQ(identifyText(1, 23, 8), "REV00003");
}

TEST_F(SataDevice, VirtualDriveMicrocodeRules) {
  load(R"({"drives": [{"bus": "sata", "firmware": "REV00001", "dmMinBlocks": 2, "dmMaxBlocks": 4}]})");
  OrvAtaHandle drive = target(0);
  auto microcode = [&](u8 mode, u16 offset, const std::vector<u8>& bytes) {
    OrvBuffer data(static_cast<u32>(bytes.size()), ORV_LITTLE_ENDIAN);
    data.copyData(bytes.data(), static_cast<u32>(bytes.size()), 0);
    return ataDownloadMicrocode(drive, mode, data, offset, false, 0, 1);
  };
  std::vector<u8> image = firmwareImage("REV00002", 5 * 512), unmarked = image;
  unmarked[0] = 'X';
  auto part = [](const std::vector<u8>& from, size_t first, size_t blocks) {
    return std::vector<u8>(from.begin() + first * 512, from.begin() + (first + blocks) * 512);
  };
  // (offset, first block, blocks, accepted): no mark; above the maximum; no
  // image begun; out of order; after a short segment, which is the last.
  struct Step {
    u16 offset;
    size_t first, blocks;
    bool accepted;
  } steps[] = {{0, 0, 5, false}, {4, 4, 1, false}, {0, 0, 4, true}, {3, 4, 1, false},
               {0, 0, 2, true},  {2, 2, 1, true},  {3, 3, 2, false}};
  EXPECT_NE(microcode(0x03, 0, part(unmarked, 0, 4)), 0u);
  for (const Step& step : steps)
    EXPECT_EQ(microcode(0x03, step.offset, part(image, step.first, step.blocks)) == 0, step.accepted)
        << step.offset << " " << step.blocks;
  EXPECT_EQ(identifyText(0, 23, 8), "REV00001") << "the broken download is dropped";
  EXPECT_TRUE(winsim::receivedFirmwareImage(0).empty());
  ASSERT_EQ(microcode(0x03, 0, part(image, 0, 4)), 0u);
  ASSERT_EQ(microcode(0x03, 4, part(image, 4, 1)), 0u);
  EXPECT_EQ(identifyText(0, 23, 8), "REV00002") << "whole once the host turns to IDENTIFY";
  EXPECT_EQ(winsim::receivedFirmwareImage(0), image);
  EXPECT_NE(scratch_.read("machine.json").find(R"("firmware": "REV00002")"), std::string::npos);

  // A whole image keeps the revision without its blanks, padded by
  // IDENTIFY.
  ASSERT_EQ(microcode(0x07, 0, firmwareImage("R2", 3 * 512)), 0u);
  EXPECT_EQ(identifyText(0, 23, 8), "R2      ");

  // Through the translation the transfer length comes from the request:
  // ATA PASS-THROUGH (12), PIO data-out, T_LENGTH 3; 300 blocks do not fit
  // the count register alone.
  load(R"({"drives": [{"bus": "sat", "firmware": "REV00001"}]})");
  image = firmwareImage("REV00004", 300 * 512);
  std::vector<u8> cdb = {0xA1, 5 << 1, 0x07, 0x07, 300 & 0xFF, 300 >> 8, 0, 0, 0xA0, 0x92, 0, 0};
  u8 sense[64];
  _osl_dev_cmd request = {};
  request.command = cdb.data();
  request.commandLength = 12;
  request.data = image.data();
  request.dataLength = static_cast<u32>(image.size());
  request.response = sense;
  request.responseLength = sizeof sense;
  ASSERT_EQ(osl_send_command(target(0).handle, &request, OSL_BUS_SAS, OSL_CMD_ATA_IN_SCSI), 0u);
  EXPECT_EQ(winsim::receivedFirmwareImage(0), image);
}

}  // namespace
