// The SATA device on simulated machines, natively (AHCI) and through the
// SCSI-ATA translation: identification, property record, firmware
// information, capacity and power; firmware downloads of every kind, with
// the image compared inside the drive and the revision read back in the
// next run; injected failures at a segment; the segment sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata.h"
#include "devlib/ata/orvlib_sata.h"
#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata;

constexpr u32 kGenDevFile = 103;
constexpr u32 kCmdSataFile = 131;
constexpr u32 kSataFile = 132;

// Drive 0 on an AHCI port, drive 1 behind a SAS adapter's translation.
const char* machine = R"({"drives": [
  {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
  {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001"}
]})";

// One DOWNLOAD MICROCODE as the storage stack received it, in either layout.
struct Segment {
  u8 command;
  u8 subcommand;
  u32 blocks;
  u32 offset;
  u32 dataLength;
};

u32 twoBytes(u8 low, u8 high) { return static_cast<u32>(low | high << 8); }

// The segments that reached the storage stack's drivers.
std::vector<Segment> segmentsSent() {
  std::vector<Segment> segments;
  for (const winsim::StorageRequest& request : winsim::storageTrace()) {
    const std::vector<u8>& c = request.command;
    if (c.size() == 16 && request.name == "IOCTL_ATA_PASS_THROUGH_DIRECT" && (c[12] == 0x92 || c[12] == 0x93))
      segments.push_back({c[12], c[0], twoBytes(c[2], c[4]), twoBytes(c[6], c[8]), request.dataLength});
    else if (c.size() == 12 && c[0] == 0xA1 && (c[9] == 0x92 || c[9] == 0x93))
      segments.push_back({c[9], c[3], twoBytes(c[4], c[5]), twoBytes(c[6], c[7]), request.dataLength});
  }
  return segments;
}

class SataDevice : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(machine);
  }

  static std::unique_ptr<OrvGenDev> open(u32 number) {
    OrvGenDev* device = OrvGenDev::newOrvDevice("PHYSICALDRIVE" + std::to_string(number), 0, false, false);
    EXPECT_NE(dynamic_cast<OrvSataDev*>(device), nullptr);
    return std::unique_ptr<OrvGenDev>(device);
  }

  static std::string revision(OrvGenDev& device) {
    char firmware[9], model[41], serial[21], component[9];
    EXPECT_EQ(device.getIdentStrings(firmware, model, serial, component), 0u);
    return firmware;
  }

  // A download of the whole image; refreshed tells whether the device read
  // IDENTIFY again, and the reboot flag is never set.
  static u64 tryDownload(OrvGenDev& device, std::vector<u8>& image, u8 deferred = 0, bool useDma = false,
                         bool* refreshed = nullptr) {
    bool wasRefreshed = false, reboot = true;
    u64 status = device.downloadFirmware(image.data(), static_cast<u32>(image.size()), &wasRefreshed, &reboot,
                                         deferred, useDma, 0);
    EXPECT_FALSE(reboot);
    if (refreshed) *refreshed = wasRefreshed;
    return status;
  }
  static void download(OrvGenDev& device, std::vector<u8>& image, u8 deferred) {
    bool refreshed = false;
    ASSERT_EQ(tryDownload(device, image, deferred, false, &refreshed), 0u);
    EXPECT_TRUE(refreshed);
  }

  // Downloads an image that one command carries; that command.
  static Segment downloadInOne(OrvGenDev& device, u32 number, std::vector<u8>& image, u8 deferred) {
    winsim::clearStorageTrace();
    download(device, image, deferred);
    std::vector<Segment> segments = segmentsSent();
    EXPECT_EQ(segments.size(), 1u);
    EXPECT_EQ(winsim::receivedFirmwareImage(number), padded(image));
    return segments.empty() ? Segment{} : segments[0];
  }

  // The image as the drive holds it: padded with zeros to a whole block.
  static std::vector<u8> padded(std::vector<u8> image) {
    image.resize((image.size() + 511) / 512 * 512, 0);
    return image;
  }
};

TEST_F(SataDevice, IdentificationOnBothBuses) {
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    std::unique_ptr<OrvGenDev> device = open(number);
    EXPECT_EQ(device->getBusType(), number == 0 ? OSL_BUS_SATA : OSL_BUS_SAS);
    char firmware[9], model[41], serial[21], component[9];
    std::memset(component, 'x', sizeof component);
    ASSERT_EQ(device->getIdentStrings(firmware, model, serial, component), 0u);
    EXPECT_STREQ(firmware, "REV00001");
    EXPECT_STREQ(model, "MODEL A");
    EXPECT_STREQ(serial, number == 0 ? "S1" : "S2");
    EXPECT_EQ(std::string(component, 9), std::string(9, '\0'));

    OrvDevGenData<_OrvFwInfoItem> info;
    ASSERT_EQ(device->getFirmwareInfo(info), 0u);
    ASSERT_EQ(info.items.size(), 1u);
    const _OrvFwInfoItem& item = info.items[0];
    EXPECT_EQ(item.currentRevision, "REV00001");
    ASSERT_EQ(item.slots.size(), 1u);
    EXPECT_EQ(item.slots[0].slotNumber, 1);
    EXPECT_EQ(item.slots[0].revision, "REV00001");
    EXPECT_EQ(item.currentSlot, 1);
    EXPECT_EQ(item.nextSlot, 0);
    ASSERT_EQ(info.buffers.size(), 1u);
    EXPECT_NE(dynamic_cast<VazidaRaduruSataInternal::OrvAtaIdentifyBuffer*>(info.buffers[0]), nullptr);

    u64 capacity = 0;
    u32 sectorSize = 0;
    ASSERT_EQ(device->getCapacity(capacity, sectorSize, 0), 0u);
    EXPECT_EQ(capacity, 1953525168u);
    EXPECT_EQ(sectorSize, 512u);
    EXPECT_TRUE(device->isSupportedDrive());
  }
}

TEST_F(SataDevice, PropertyRecord) {
  load(R"({"drives": [
    {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
    {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001", "sectorSize": 4096,
     "sectors": 244190646, "identifyWords": {"128": 45, "69": 0}}]})");
  _OrvDevProperty property;
  std::memset(&property, 0xFF, sizeof property);
  ASSERT_EQ(open(0)->fillDeviceInfo(property), 0u);
  EXPECT_STREQ(property.firmwareRevision, "REV00001");
  EXPECT_STREQ(property.modelNumber, "MODEL A");
  EXPECT_STREQ(property.serialNumber, "S1");
  EXPECT_EQ(std::string(property.componentId, 9), std::string(9, '\0'));
  EXPECT_EQ(property.identification, 0);
  // SMART supported and enabled, self-test; no security word, so bits 3 to
  // 7 are cleared whatever they were.
  EXPECT_EQ(property.capabilities1, 0x07);
  // Write cache supported and enabled, DOWNLOAD MICROCODE, segmented, DMA.
  EXPECT_EQ(property.capabilities2, 0x1F);
  EXPECT_EQ(property.state & 0x03, 0x03);  // general purpose logging, filled

  // Word 128 = 2Dh: supported, locked, frozen, enhanced erase; not enabled.
  // Word 69 without DOWNLOAD MICROCODE DMA.
  std::memset(&property, 0, sizeof property);
  std::unique_ptr<OrvGenDev> device = open(1);
  ASSERT_EQ(device->fillDeviceInfo(property), 0u);
  EXPECT_EQ(property.capabilities1, 0x07 | 0x08 | 0x10 | 0x40 | 0x80);
  EXPECT_EQ(property.capabilities2, 0x0F);
  u64 capacity = 0;
  u32 sectorSize = 0;
  ASSERT_EQ(device->getCapacity(capacity, sectorSize, 0), 0u);
  EXPECT_EQ(capacity, 244190646u);
  EXPECT_EQ(sectorSize, 4096u);
}

TEST_F(SataDevice, PowerAndRefusedSlots) {
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    std::unique_ptr<OrvGenDev> device = open(number);
    u8 active = 7;
    ASSERT_EQ(device->getPowerMode(&active), 0u);
    EXPECT_EQ(active, 1);
    ASSERT_EQ(device->spinDown(0), 0u);
    ASSERT_EQ(device->getPowerMode(&active), 0u);
    EXPECT_EQ(active, 0);
    ASSERT_EQ(device->spinUp(0), 0u);
    ASSERT_EQ(device->getPowerMode(&active), 0u);
    EXPECT_EQ(active, 1);

    EXPECT_TRUE(isLibStatus(device->setFeature(5, 1), ORV_ERR_FEATURE_UNSUPPORTED, kGenDevFile));
    OrvDevGenData<_OrvDataItem> items;
    EXPECT_TRUE(isLibStatus(device->getIdentifyData(items, 0), ORV_ERR_FEATURE_UNSUPPORTED, kGenDevFile));
    u32 size = 0;
    EXPECT_TRUE(isLibStatus(device->getSectorSize(size), ORV_ERR_FEATURE_UNSUPPORTED, kGenDevFile));
  }
}

TEST_F(SataDevice, FailedIdentification) {
  load(R"({"drives": [{"bus": "sata"}], "faults": [{"ata": 236}]})");
  u64 thrown = thrownStatus([] { delete OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false); });
  EXPECT_TRUE(isLibStatus(thrown, 37, kCmdSataFile));
  // Kept when the caller tolerates it; the operations that need the data
  // then refuse.
  std::unique_ptr<OrvGenDev> device(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, true, false));
  char firmware[9], model[41], serial[21], component[9];
  EXPECT_TRUE(isLibStatus(device->getIdentStrings(firmware, model, serial, component), 37, kSataFile));
  u64 capacity = 0;
  u32 sectorSize = 0;
  EXPECT_NE(device->getCapacity(capacity, sectorSize, 0), 0u);
  EXPECT_TRUE(isLibStatus(device->refresh(), 37, kCmdSataFile));
}

TEST_F(SataDevice, SegmentedDownloadOfAnOddImage) {
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    // Two whole segments of 128 blocks and 700 bytes more: the last is sent
    // as two blocks, padded in a copy (the image itself ends exactly there).
    std::vector<u8> image = firmwareImage("REV0000" + std::to_string(2 + number), 2 * 65536 + 700);
    {
      std::unique_ptr<OrvGenDev> device = open(number);
      winsim::clearStorageTrace();
      download(*device, image, 0);
      std::vector<Segment> segments = segmentsSent();
      ASSERT_EQ(segments.size(), 3u);
      for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(segments[i].command, 0x92);
        EXPECT_EQ(segments[i].subcommand, 0x03);
        EXPECT_EQ(segments[i].offset, i * 128);
        EXPECT_EQ(segments[i].blocks, i < 2 ? 128u : 2u);
        EXPECT_EQ(segments[i].dataLength, segments[i].blocks * 512);
      }
      EXPECT_EQ(winsim::receivedFirmwareImage(number), padded(image));
      EXPECT_EQ(revision(*device), "REV0000" + std::to_string(2 + number)) << "refreshed";
    }
    // The next run finds the new revision.
    reload();
    std::unique_ptr<OrvGenDev> device = open(number);
    OrvDevGenData<_OrvFwInfoItem> info;
    ASSERT_EQ(device->getFirmwareInfo(info), 0u);
    EXPECT_EQ(info.items[0].currentRevision, "REV0000" + std::to_string(2 + number));
  }
}

TEST_F(SataDevice, WholeImageDownload) {
  load(R"({"drives": [
    {"bus": "sata", "firmware": "REV00001", "segmentedDownload": false},
    {"bus": "sat", "firmware": "REV00001", "segmentedDownload": false}]})");
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    std::vector<u8> image = firmwareImage("WHOLE0" + std::to_string(number), 5000);
    std::unique_ptr<OrvGenDev> device = open(number);
    Segment whole = downloadInOne(*device, number, image, 0);
    EXPECT_EQ(whole.subcommand, 0x07);
    EXPECT_EQ(whole.blocks, 10u);
    EXPECT_EQ(revision(*device), "WHOLE0" + std::to_string(number));

    // No segments, so no deferred download either.
    EXPECT_TRUE(isLibStatus(tryDownload(*device, image, 1), ORV_ERR_FEATURE_UNSUPPORTED, kSataFile));
  }
}

TEST_F(SataDevice, DeferredDownloadThenActivation) {
  for (u32 number : {0u, 1u}) {
    SCOPED_TRACE(number);
    std::vector<u8> image = firmwareImage("DEFER00" + std::to_string(number), 1000);
    {
      std::unique_ptr<OrvGenDev> device = open(number);
      EXPECT_EQ(downloadInOne(*device, number, image, 1).subcommand, 0x0E);
      EXPECT_EQ(revision(*device), "REV00001") << "saved, not active";
    }
    // Activated by the next run.
    reload();
    std::unique_ptr<OrvGenDev> device = open(number);
    bool refreshed = false, reboot = true;
    ASSERT_EQ(device->activateFirmware(&refreshed, &reboot, 0, 0), 0u);
    EXPECT_TRUE(refreshed);
    EXPECT_FALSE(reboot);
    EXPECT_EQ(revision(*device), "DEFER00" + std::to_string(number));
    // Nothing is left to activate.
    EXPECT_TRUE(isLibStatus(device->activateFirmware(&refreshed, &reboot, 0, 0), 40, kCmdSataFile));
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
    std::unique_ptr<OrvGenDev> device = open(number);
    LogCapture log;
    bool refreshed = true;
    EXPECT_TRUE(isLibStatus(tryDownload(*device, image, 0, false, &refreshed), ORV_ERR_ATA_DOWNLOAD, kCmdSataFile));
    EXPECT_FALSE(refreshed);
    EXPECT_NE(log.find("Debug: Microcode Download Failed [offset: 2048, segment: 3]\n"), nullptr);
    ASSERT_EQ(device->refresh(), 0u);
    EXPECT_EQ(revision(*device), "REV00001");
    EXPECT_TRUE(winsim::receivedFirmwareImage(number).empty());
  }
  // Drive 0 again: seven requests so far (two IDENTIFY of the device, three
  // segments, a refresh, the new device's IDENTIFY); the second segment of
  // this download is lost in the driver.
  std::unique_ptr<OrvGenDev> device = open(0);
  winsim::clearStorageTrace();
  EXPECT_TRUE(isLibStatus(tryDownload(*device, image), ORV_ERR_ATA_DOWNLOAD, kCmdSataFile));
  EXPECT_EQ(segmentsSent().size(), 1u);
  EXPECT_EQ(winsim::storageTrace().back().name, "IOCTL_ATA_PASS_THROUGH_DIRECT");
  EXPECT_EQ(winsim::storageTrace().back().error, 31u) << "the second, lost";
  ASSERT_EQ(device->refresh(), 0u);
  EXPECT_EQ(revision(*device), "REV00001");
  // Undisturbed, the same image goes through.
  download(*device, image, 0);
  EXPECT_EQ(revision(*device), "REV00009");
}

TEST_F(SataDevice, SegmentSizeFallsBackToASafeSize) {
  struct Case {
    const char* drive;
    u32 blocks;  // of every segment but the last; 0: refused
  } cases[] = {
      {R"("dmMaxBlocks": 0)", 64},
      {R"("dmMaxBlocks": 65535)", 64},
      {R"("dmMaxBlocks": 200, "maxTransfer": 16384)", 32},   // above the transfer limit
      {R"("dmMaxBlocks": 0, "dmMinBlocks": 80)", 80},        // raised to the minimum
      {R"("dmMinBlocks": 64, "maxTransfer": 16384)", 0},     // the minimum cannot be sent
  };
  std::vector<u8> image = firmwareImage("REV00005", 100 * 512 + 1);
  for (const Case& one : cases) {
    SCOPED_TRACE(one.drive);
    load(std::string(R"({"drives": [{"bus": "sata", "firmware": "REV00001", )") + one.drive + "}]}");
    std::unique_ptr<OrvGenDev> device = open(0);
    winsim::clearStorageTrace();
    u64 status = tryDownload(*device, image);
    if (one.blocks == 0) {
      EXPECT_TRUE(isLibStatus(status, ORV_ERR_SEGMENTED_UNSAFE, kSataFile));
      EXPECT_TRUE(segmentsSent().empty());
      continue;
    }
    ASSERT_EQ(status, 0u);
    std::vector<Segment> segments = segmentsSent();
    ASSERT_EQ(segments.size(), (101 + one.blocks - 1) / one.blocks);
    for (size_t i = 0; i + 1 < segments.size(); ++i) EXPECT_EQ(segments[i].blocks, one.blocks);
    EXPECT_EQ(winsim::receivedFirmwareImage(0), padded(image));
    EXPECT_EQ(revision(*device), "REV00005");
  }
}

TEST_F(SataDevice, DownloadsRefusedBeforeSending) {
  load(R"({"drives": [
    {"bus": "sata", "downloadMicrocode": false},
    {"bus": "sata", "downloadMicrocodeDma": false},
    {"bus": "sata"}]})");
  std::vector<u8> image = firmwareImage("REV00002", 1024);
  winsim::clearStorageTrace();
  EXPECT_TRUE(isLibStatus(tryDownload(*open(0), image), ORV_ERR_DOWNLOAD_UNSUPPORTED, kSataFile));
  EXPECT_TRUE(isLibStatus(tryDownload(*open(1), image, 0, true), ORV_ERR_DMA_UNSUPPORTED, kSataFile));
  std::unique_ptr<OrvGenDev> device = open(2);
  bool refreshed = false, reboot = false;
  EXPECT_TRUE(isLibStatus(device->downloadFirmware(image.data(), 0, &refreshed, &reboot, 0, false, 0),
                          ORV_ERR_FW_FILE_SIZE, kSataFile));
  EXPECT_TRUE(isLibStatus(device->downloadFirmware(nullptr, 1024, &refreshed, &reboot, 0, false, 0),
                          ORV_ERR_FW_FILE_SIZE, kSataFile));
  EXPECT_TRUE(segmentsSent().empty());

  // A DMA download where the drive has it; an image without the mark is
  // refused by the drive.
  download(*device, image, 0);  // PIO
  image[0] = 'X';
  winsim::clearStorageTrace();
  EXPECT_TRUE(isLibStatus(tryDownload(*device, image, 0, true), ORV_ERR_ATA_DOWNLOAD, kCmdSataFile));
  ASSERT_EQ(segmentsSent().size(), 1u);
  EXPECT_EQ(segmentsSent()[0].command, 0x93);
}

}  // namespace
