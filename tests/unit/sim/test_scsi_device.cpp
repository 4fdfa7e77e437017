// The SCSI device on simulated SAS drives: identification, the device-list
// record, firmware information, WRITE BUFFER downloads (whole, segmented,
// deferred then activated, aborted, odd sizes), power answers and the slots
// it leaves unsupported.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devlib/scsi/orvlib_scsi.h"
#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using VazidaRaduru::OrvDevGenData;
using VazidaRaduru::OrvGenDev;
using VazidaRaduru::_OrvDevProperty;
using VazidaRaduru::_OrvFwInfoItem;
using namespace VazidaRaduru::VazidaRaduruScsi;

constexpr u32 kGenDevFile = 103;
constexpr u32 kScsiCmdFile = 141;
constexpr u8 kWriteBuffer = 0x3B;

// A machine of one SAS drive; keys given first take the place of the usual
// ones.
std::string sasMachine(const std::string& keys, const std::string& faults = "") {
  return R"({"drives": [{)" + (keys.empty() ? "" : keys + ", ") +
         R"("bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001"}])" +
         (faults.empty() ? "" : R"(, "faults": )" + faults) + "}";
}

struct Texts {
  char revision[9] = {};
  char model[41] = {};
  char serial[21] = {};
  char component[9] = {};
};

class ScsiDevice : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(sasMachine(""));
  }

  std::unique_ptr<OrvGenDev> device(bool ignoreInitError = false) {
    std::unique_ptr<OrvGenDev> made(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, ignoreInitError, false));
    winsim::clearStorageTrace();
    return made;
  }
  static std::string revisionOf(OrvGenDev& dev) {
    Texts texts;
    EXPECT_EQ(dev.getIdentStrings(texts.revision, texts.model, texts.serial, texts.component), 0u);
    return texts.revision;
  }
  // The WRITE BUFFER blocks sent since the last clear.
  static std::vector<std::vector<u8>> writeBuffers() {
    std::vector<std::vector<u8>> blocks;
    for (const winsim::StorageRequest& request : winsim::storageTrace())
      if (!request.command.empty() && request.command[0] == kWriteBuffer) blocks.push_back(request.command);
    return blocks;
  }
  static u32 field24(const std::vector<u8>& cdb, size_t at) {
    return static_cast<u32>(cdb[at] << 16 | cdb[at + 1] << 8 | cdb[at + 2]);
  }

  struct Download {
    u64 status;
    bool refreshed;
    bool reboot;
  };
  static Download download(OrvGenDev& dev, std::vector<u8>& image, u8 deferred) {
    Download result = {0, false, true};
    result.status = dev.downloadFirmware(image.data(), static_cast<u32>(image.size()), &result.refreshed,
                                         &result.reboot, deferred, false, 0);
    return result;
  }
  // A download that worked: identification read again, no reboot asked.
  static void expectDone(const Download& result) {
    EXPECT_EQ(result.status, 0u);
    EXPECT_TRUE(result.refreshed);
    EXPECT_FALSE(result.reboot);
  }
};

TEST_F(ScsiDevice, IdentificationAndCapacity) {
  load(sasMachine(R"("serial": "  SERIAL-OF-TWENTY-FOUR-C", "sectors": 8589934592, "sectorSize": 4096)"));
  std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  Texts texts;
  ASSERT_EQ(dev->getIdentStrings(texts.revision, texts.model, texts.serial, texts.component), 0u);
  EXPECT_STREQ(texts.revision, "R001");
  EXPECT_STREQ(texts.model, "MODEL B");
  EXPECT_STREQ(texts.serial, "SERIAL-OF-TWENTY-FOU");
  EXPECT_STREQ(texts.component, "MAKER");

  // Beyond 32 bits of blocks the long READ CAPACITY tells.
  EXPECT_EQ(trace(), "SCSI_MINIPORT STORAGE_QUERY_PROPERTY:0 SCSI_MINIPORT STORAGE_QUERY_PROPERTY:0 "
                     "STORAGE_QUERY_PROPERTY:1 SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT "
                     "SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT");
  u64 capacity = 0;
  u32 blockLength = 0;
  ASSERT_EQ(dev->getCapacity(capacity, blockLength, 0), 0u);
  EXPECT_EQ(capacity, 8589934592u);
  EXPECT_EQ(blockLength, 4096u);
  const auto& sent = winsim::storageTrace();
  EXPECT_EQ(sent[sent.size() - 2].command[0], 0x25);
  EXPECT_EQ(sent.back().command[0], 0x9E);
}

TEST_F(ScsiDevice, ShortCapacityAfterAReset) {
  load(sasMachine(R"("sectors": 2000, "sectorSize": 520, "unitAttention": true)"));
  std::unique_ptr<OrvGenDev> dev = device();
  u64 capacity = 0;
  u32 blockLength = 0;
  ASSERT_EQ(dev->getCapacity(capacity, blockLength, 0), 0u);
  EXPECT_EQ(capacity, 2000u);
  EXPECT_EQ(blockLength, 520u);
  EXPECT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT") << "no long form; the reset was reported before";
}

TEST_F(ScsiDevice, FailedIdentification) {
  load(sasMachine("", R"([{"scsi": 18, "page": -1, "times": 2}])"));
  // INQUIRY without vital product data carries no page: the fault's page -1
  // matches it only.
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { device(); }), ORV_ERR_SCSI_INQUIRY, kScsiCmdFile));
  std::unique_ptr<OrvGenDev> dev = device(true);
  Texts texts;
  EXPECT_TRUE(isLibStatus(dev->getIdentStrings(texts.revision, texts.model, texts.serial, texts.component),
                          ORV_ERR_SCSI_INQUIRY, kScsiCmdFile));
  OrvDevGenData<_OrvFwInfoItem> info;
  EXPECT_NE(dev->getFirmwareInfo(info), 0u);
  EXPECT_TRUE(info.items.empty());
  // The next identification works again.
  EXPECT_EQ(dev->refresh(), 0u);
  EXPECT_EQ(revisionOf(*dev), "R001");
}

TEST_F(ScsiDevice, DeviceListRecord) {
  _OrvDevProperty record = {};
  record.capabilities1 = 0xFF;
  record.capabilities2 = 0xFF;
  record.identification = 7;
  ASSERT_EQ(device()->fillDeviceInfo(record), 0u);
  EXPECT_STREQ(record.firmwareRevision, "R001");
  EXPECT_STREQ(record.modelNumber, "MODEL B");
  EXPECT_STREQ(record.serialNumber, "S3");
  EXPECT_STREQ(record.componentId, "MAKER");
  EXPECT_EQ(record.identification, 0);
  // SMART supported and enabled; bits 3, 4, 6 and 7 cleared, 5 kept; no
  // SEND DIAGNOSTIC.
  EXPECT_EQ(record.capabilities1, 0x23);
  // Write cache supported and enabled, download and deferred download, no
  // log pages, fixed sense, no cryptographic sanitize; bit 4 kept.
  EXPECT_EQ(record.capabilities2, 0x1F);
  EXPECT_EQ(record.state & 0x01, 0x01);

  load(sasMachine(R"("writeCache": false, "smart": false, "descriptorSense": true,
                      "deferredMicrocode": false)"));
  record = {};
  ASSERT_EQ(device()->fillDeviceInfo(record), 0u);
  EXPECT_EQ(record.capabilities1, ORV_CAP1_SMART_SUPPORTED);
  EXPECT_EQ(record.capabilities2,
            ORV_CAP2_WRITE_CACHE_SUPPORTED | ORV_SCSI_CAP2_DOWNLOAD | ORV_SCSI_CAP2_DESCRIPTOR_SENSE);
}

TEST_F(ScsiDevice, DeviceListRecordFailures) {
  // The SMART settings cannot be read: the failure is returned, the record
  // is not marked filled.
  load(sasMachine("", R"([{"scsi": 90, "times": 1}])"));
  _OrvDevProperty record = {};
  EXPECT_TRUE(isLibStatus(device()->fillDeviceInfo(record), ORV_ERR_SCSI_MODE_SENSE, kScsiCmdFile));
  EXPECT_EQ(record.state & 0x01, 0);

  // The final query fails: returned too, after the other bits were set.
  load(sasMachine("", R"([{"scsi": 90, "after": 2}])"));
  record = {};
  EXPECT_TRUE(isLibStatus(device()->fillDeviceInfo(record), ORV_ERR_SCSI_MODE_SENSE, kScsiCmdFile));
  EXPECT_EQ(record.capabilities2, 0x0F);
  EXPECT_EQ(record.state & 0x01, 0);

  // A drive that cannot tell its commands supports none of them.
  load(sasMachine("", R"([{"scsi": 163}])"));
  record = {};
  ASSERT_EQ(device()->fillDeviceInfo(record), 0u);
  EXPECT_EQ(record.capabilities2, 0x03);
}

TEST_F(ScsiDevice, FirmwareInformation) {
  OrvDevGenData<_OrvFwInfoItem> info;
  ASSERT_EQ(device()->getFirmwareInfo(info), 0u);
  ASSERT_EQ(info.items.size(), 1u);
  const _OrvFwInfoItem& item = info.items[0];
  EXPECT_EQ(item.currentRevision, "R001");
  ASSERT_EQ(item.slots.size(), 1u);
  EXPECT_EQ(item.slots[0].slotNumber, 1);
  EXPECT_EQ(item.slots[0].revision, "R001");
  EXPECT_EQ(item.currentSlot, 1);
  EXPECT_EQ(item.nextSlot, 0);
  EXPECT_EQ(trace(), "") << "read from the identification the device holds";
}

TEST_F(ScsiDevice, WholeImageInOneCommand) {
  std::unique_ptr<OrvGenDev> dev = device();
  std::vector<u8> image = firmwareImage("R002", 5001);
  expectDone(download(*dev, image, 0));
  ASSERT_EQ(writeBuffers().size(), 1u);
  EXPECT_EQ(writeBuffers()[0], (std::vector<u8>{0x3B, 0x05, 0, 0, 0, 0, 0x00, 0x13, 0x89, 0}));
  EXPECT_EQ(winsim::storageTrace().back().timeout, 5u) << "the identification is read again";
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revisionOf(*dev), "R002");

  // The unit attention of the change is answered by sending once more.
  winsim::clearStorageTrace();
  u8 active = 0;
  EXPECT_EQ(dev->getPowerMode(&active), 0u);
  EXPECT_EQ(active, 1);
  ASSERT_EQ(winsim::storageTrace().size(), 2u);
  EXPECT_EQ(winsim::storageTrace()[0].scsiStatus, 2);
  EXPECT_EQ(winsim::storageTrace()[1].scsiStatus, 0);

  // A fresh device, and the next run, see the new revision.
  OrvDevGenData<_OrvFwInfoItem> info;
  ASSERT_EQ(device()->getFirmwareInfo(info), 0u);
  EXPECT_EQ(info.items.at(0).slots.at(0).revision, "R002");
  winsim::Machine::load(scratch_.path() + "/machine.json");
  EXPECT_EQ(revisionOf(*device()), "R002");
}

TEST_F(ScsiDevice, SegmentedByTheTransferLimit) {
  // 70000 bytes a transfer: segments of 17 pages.
  load(sasMachine(R"("maxTransfer": 70000)"));
  std::unique_ptr<OrvGenDev> dev = device();
  std::vector<u8> image = firmwareImage("R003", 3 * 69632 + 4001);
  expectDone(download(*dev, image, 0));

  std::vector<std::vector<u8>> blocks = writeBuffers();
  ASSERT_EQ(blocks.size(), 5u);
  for (u32 i = 0; i < 4; ++i) {
    EXPECT_EQ(blocks[i][1], 0x0E) << i;
    EXPECT_EQ(field24(blocks[i], 3), i * 69632) << i;
    EXPECT_EQ(field24(blocks[i], 6), i < 3 ? 69632u : 4001u) << i;
  }
  EXPECT_EQ(blocks[4], (std::vector<u8>{0x3B, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revisionOf(*dev), "R003");
}

TEST_F(ScsiDevice, OddImageSizes) {
  load(sasMachine(R"("maxTransfer": 8192)"));
  for (size_t size : {size_t{17}, size_t{8191}, size_t{8193}, size_t{3 * 8192}, size_t{3 * 8192 + 1}}) {
    std::unique_ptr<OrvGenDev> dev = device();
    std::vector<u8> image = firmwareImage("R" + std::to_string(size % 1000), size);
    ASSERT_EQ(download(*dev, image, 0).status, 0u) << size;
    EXPECT_EQ(sasDrive(0).activatedImage(), image) << size;
    size_t segments = size <= 8192 ? 1 : (size + 8191) / 8192 + 1;
    EXPECT_EQ(writeBuffers().size(), segments) << size;
  }
}

TEST_F(ScsiDevice, DeferredThenActivated) {
  load(sasMachine(R"("maxTransfer": 16384)"));
  std::unique_ptr<OrvGenDev> dev = device();
  std::vector<u8> image = firmwareImage("R004", 40000);
  expectDone(download(*dev, image, 1));
  std::vector<std::vector<u8>> blocks = writeBuffers();
  ASSERT_EQ(blocks.size(), 3u);
  for (const std::vector<u8>& block : blocks) EXPECT_EQ(block[1], 0x0E);
  EXPECT_EQ(revisionOf(*dev), "R001") << "pending until activated";
  EXPECT_EQ(sasDrive(0).download().bytes(), image);

  // Deferred even when the image fits one transfer.
  std::vector<u8> small = firmwareImage("R005", 100);
  winsim::clearStorageTrace();
  ASSERT_EQ(download(*dev, small, 1).status, 0u);
  EXPECT_EQ(writeBuffers().at(0)[1], 0x0E);
  ASSERT_EQ(download(*dev, image, 1).status, 0u);

  winsim::clearStorageTrace();
  bool refreshed = false;
  bool reboot = true;
  ASSERT_EQ(dev->activateFirmware(&refreshed, &reboot, 0, 0), 0u);
  EXPECT_TRUE(refreshed);
  EXPECT_FALSE(reboot);
  EXPECT_EQ(writeBuffers(), (std::vector<std::vector<u8>>{{0x3B, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revisionOf(*dev), "R004");

  // Nothing is pending any more: the drive refuses a second activation.
  EXPECT_TRUE(isLibStatus(dev->activateFirmware(&refreshed, &reboot, 0, 0), ORV_ERR_SCSI_WRITE_BUFFER,
                          kScsiCmdFile));
  // At the next reset asks the drive for nothing.
  winsim::clearStorageTrace();
  refreshed = false;
  EXPECT_EQ(dev->activateFirmware(&refreshed, &reboot, 0, 1), 0u);
  EXPECT_FALSE(refreshed);
  EXPECT_EQ(trace(), "");
}

TEST_F(ScsiDevice, AbortAtSegmentKeepsTheOldFirmware) {
  for (int k : {0, 1, 3}) {
    load(sasMachine(R"("maxTransfer": 8192)",
                    R"([{"scsi": 59, "mode": 14, "after": )" + std::to_string(k) + "}]"));
    std::unique_ptr<OrvGenDev> dev = device();
    std::vector<u8> image = firmwareImage("R006", 5 * 8192 + 100);
    LogCapture log;
    Download result = download(*dev, image, 0);
    EXPECT_TRUE(isLibStatus(result.status, ORV_ERR_SCSI_WRITE_BUFFER, kScsiCmdFile)) << k;
    EXPECT_FALSE(result.refreshed);
    std::vector<std::vector<u8>> blocks = writeBuffers();
    ASSERT_EQ(blocks.size(), static_cast<size_t>(k + 1)) << "no segment after the failed one, no activation";
    std::string line = "Debug: Microcode Download Failed [offset: " + std::to_string(k * 8192) +
                       ", segment: " + std::to_string(k + 1) + "]\n";
    EXPECT_NE(log.find(line), nullptr) << line;
    EXPECT_TRUE(sasDrive(0).activatedImage().empty());
    EXPECT_TRUE(sasDrive(0).download().empty());
    EXPECT_EQ(revisionOf(*dev), "R001");
    EXPECT_NE(scratch_.read("machine.json").find("\"firmware\": \"R001\""), std::string::npos);
  }
}

TEST_F(ScsiDevice, DriverFailureAtSegment) {
  // The adapter fails the call itself: the OS layer's status comes back.
  load(sasMachine(R"("maxTransfer": 8192)",
                  R"([{"ioctl": "IOCTL_SCSI_PASS_THROUGH_DIRECT", "after": 7, "error": 1117}])"));
  std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  winsim::clearStorageTrace();
  std::vector<u8> image = firmwareImage("R007", 4 * 8192);
  u64 status = download(*dev, image, 0).status;
  expectOslWord(status, kCmdFile, ORV_ERR_GENERIC);
  EXPECT_TRUE(sasDrive(0).activatedImage().empty());
}

TEST_F(ScsiDevice, RejectedImages) {
  std::unique_ptr<OrvGenDev> dev = device();
  std::vector<u8> image = firmwareImage("R008", 4096);
  image[0] = 'W';
  EXPECT_TRUE(isLibStatus(download(*dev, image, 0).status, ORV_ERR_SCSI_WRITE_BUFFER, kScsiCmdFile));
  EXPECT_EQ(revisionOf(*dev), "R001");

  winsim::clearStorageTrace();
  bool refreshed = false;
  bool reboot = true;
  EXPECT_TRUE(isLibStatus(dev->downloadFirmware(image.data(), 0, &refreshed, &reboot, 0, false, 0),
                          ORV_ERR_FW_FILE_SIZE, 142));
  EXPECT_FALSE(reboot);
  // Beyond 16 MiB the 24-bit buffer offsets could not place the segments;
  // nothing of the image is read.
  EXPECT_TRUE(isLibStatus(dev->downloadFirmware(image.data(), (16u << 20) + 1, &refreshed, &reboot, 0,
                                                false, 0),
                          ORV_ERR_FW_FILE_SIZE, 142));
  EXPECT_EQ(trace(), "");
}

TEST_F(ScsiDevice, PowerAnswers) {
  std::unique_ptr<OrvGenDev> dev = device();
  u8 active = 0;
  EXPECT_EQ(dev->getPowerMode(&active), 0u);
  EXPECT_EQ(active, 1);
  // Stopped: not ready, but not becoming ready either.
  ASSERT_EQ(dev->spinDown(0), 0u);
  EXPECT_TRUE(isLibStatus(dev->getPowerMode(&active), ORV_ERR_SCSI_TEST_UNIT_READY, kScsiCmdFile));
  EXPECT_EQ(active, 1);
  ASSERT_EQ(dev->spinUp(0), 0u);
  EXPECT_EQ(dev->getPowerMode(&active), 0u);

  load(sasMachine("", R"([{"scsi": 0, "sense": [2, 4, 1], "after": 1}])"));
  dev = device();
  EXPECT_NE(dev->getPowerMode(&active), 0u);
  EXPECT_EQ(active, 0);
}

TEST_F(ScsiDevice, SlotsLeftUnsupported) {
  std::unique_ptr<OrvGenDev> dev = device();
  OrvDevGenData<VazidaRaduru::_OrvDataItem> items;
  bool trip = false;
  std::vector<VazidaRaduru::OrvBuffer*> buffers;
  u32 format = 0;
  u32 size = 0;
  for (u64 status : {dev->getSmartReport(items, 0, 0, trip), dev->setFeature(5, 1),
                     dev->readLog(2, 0, buffers, &format, 0, 0, 0, 0), dev->getSectorSize(size),
                     dev->formatUnit(0), dev->flushCache(), dev->getIdentifyData(items, 1)})
    EXPECT_TRUE(isLibStatus(status, ORV_ERR_FEATURE_UNSUPPORTED, kGenDevFile));
  EXPECT_FALSE(dev->isFeatureSupported(6));
  EXPECT_TRUE(dev->isSupportedDrive());
  EXPECT_EQ(trace(), "");
}

}  // namespace
