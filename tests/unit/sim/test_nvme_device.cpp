// The NVMe device on simulated machines: identification, the property
// record, firmware slot information; downloads in 4096-byte pieces with the
// commit of each kind, the image compared inside the drive and the new or
// pending revision read back in the next run; injected failures and the
// refreshed flag.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme;

constexpr u32 kNvmeDevFile = 152;

// Drive 0 activates an image at once; drive 1 needs a reset, has three slots
// and a read-only first slot, and an older image waiting in slot 2.
const char* machine = R"({"windows": "10.0", "drives": [
  {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001"},
  {"bus": "nvme", "model": "MODEL D", "serial": "S5", "firmware": "REV00001",
   "activateWithoutReset": false, "firmwareSlots": 3, "firstSlotReadOnly": true, "slot2": "REV00000"}
]})";

// Before Windows 10 the drive's own answers come through the vendor's
// command tunnel.
std::string withFaults(const std::string& faults, const char* windows = "10.0") {
  return std::string(R"({"windows": ")") + windows + R"(", "drives": [
    {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001", "tunnel": true}],
    "faults": )" + faults + "}";
}

class NvmeDevice : public NvmeMachineTest {
 protected:
  void SetUp() override {
    NvmeMachineTest::SetUp();
    load(machine);
  }

  static std::unique_ptr<OrvGenDev> device(u32 number) {
    return std::unique_ptr<OrvGenDev>(
        OrvGenDev::newOrvDevice("PHYSICALDRIVE" + std::to_string(number), 0, false, false));
  }

  static std::string runningRevision(OrvGenDev& dev) {
    char revision[9], model[41], serial[21], component[9];
    EXPECT_EQ(dev.getIdentStrings(revision, model, serial, component), 0u);
    return revision;
  }

  static _OrvFwInfoItem firmwareInfo(OrvGenDev& dev) {
    OrvDevGenData<_OrvFwInfoItem> info;
    EXPECT_EQ(dev.getFirmwareInfo(info), 0u);
    EXPECT_EQ(info.buffers.size(), 1u);
    return info.items.empty() ? _OrvFwInfoItem{} : info.items[0];
  }

  // The Firmware Image Download pieces the driver received: (offset, length).
  static std::vector<std::pair<u32, u32>> piecesSent() {
    std::vector<std::pair<u32, u32>> pieces;
    for (const winsim::StorageRequest& request : winsim::storageTrace())
      if (request.name == "IOCTL_STORAGE_FIRMWARE_DOWNLOAD") pieces.emplace_back(0, request.dataLength);
    return pieces;
  }

  struct Download {
    u64 status;
    bool refreshed;
    bool reboot;
  };
  static Download download(OrvGenDev& dev, std::vector<u8> image, u8 deferred, u8 slot = 0) {
    Download result{0, false, true};
    result.status = dev.downloadFirmware(image.data(), static_cast<u32>(image.size()), &result.refreshed,
                                         &result.reboot, deferred, false, slot);
    return result;
  }
};

TEST_F(NvmeDevice, IdentificationAndPropertyRecord) {
  std::unique_ptr<OrvGenDev> dev = device(0);
  ASSERT_NE(dynamic_cast<OrvNvmeDev*>(dev.get()), nullptr);
  EXPECT_EQ(dev->getDeviceType(), OSL_DEV_NVME);
  char revision[9], model[41], serial[21], component[9] = "xxxxxxx";
  EXPECT_EQ(dev->getIdentStrings(revision, model, serial, component), 0u);
  EXPECT_STREQ(revision, "REV00001");
  EXPECT_STREQ(model, "MODEL C");
  EXPECT_STREQ(serial, "S4");
  EXPECT_STREQ(component, "");
  u16 controller = 0;
  EXPECT_EQ(dev->getContollerId(controller), 0u);
  EXPECT_EQ(controller, 1);
  u8 active = 0;
  EXPECT_EQ(dev->getPowerMode(&active), 0u);
  EXPECT_EQ(active, 1);

  OrvDevGenData<_OrvDataItem> data;
  EXPECT_EQ(dev->getIdentifyData(data, 1), 0u);
  ASSERT_EQ(data.buffers.size(), 1u);
  bool named = false;
  for (const _OrvDataItem& item : data.items) named = named || (item.name == "Model number (MN)" && item.text == "MODEL C");
  EXPECT_TRUE(named);
  // The controller refuses the broadcast namespace id: the first namespace
  // stood in, and the data of "all namespaces" was never read.
  EXPECT_TRUE(isLibStatus(dev->getIdentifyData(data, 0), 83, kNvmeDevFile));

  _OrvDevProperty property = {};
  property.capabilities1 = 0xE0;
  EXPECT_EQ(dev->fillDeviceInfo(property), 0u);
  EXPECT_STREQ(property.modelNumber, "MODEL C");
  EXPECT_STREQ(property.firmwareRevision, "REV00001");
  EXPECT_EQ(property.identification, 1);
  // SMART bits, security enabled kept, locked and frozen cleared; no
  // self-test on this controller.
  EXPECT_EQ(property.capabilities1, 0x23);
  // Write cache reported and enabled, firmware download and activation,
  // deferred download (two slots), the constant bit.
  EXPECT_EQ(property.capabilities2, 0x01 | 0x02 | 0x04 | 0x08 | 0x10 | 0x40);
  EXPECT_EQ(property.state & 1, 1);
}

TEST_F(NvmeDevice, DeferredDownloadBitFollowsSlotsAndWindows) {
  load(R"({"windows": "6.3", "drives": [
    {"bus": "nvme", "model": "M", "serial": "S", "firmware": "R1", "firmwareSlots": 3,
     "tunnel": true}]})");
  _OrvDevProperty property = {};
  EXPECT_EQ(device(0)->fillDeviceInfo(property), 0u);
  EXPECT_EQ(property.capabilities2 & 0x08, 0) << "bus 7 before Windows 10";

  load(R"({"windows": "10.0", "drives": [
    {"bus": "nvme", "model": "M", "serial": "S", "firmware": "R1", "firmwareSlots": 1}]})");
  EXPECT_EQ(device(0)->fillDeviceInfo(property), 0u);
  EXPECT_EQ(property.capabilities2 & 0x08, 0) << "one slot, activates without reset";
}

TEST_F(NvmeDevice, FirmwareInformationListsEverySlot) {
  std::unique_ptr<OrvGenDev> dev = device(1);
  _OrvFwInfoItem info = firmwareInfo(*dev);
  EXPECT_EQ(info.currentRevision, "REV00001");
  ASSERT_EQ(info.slots.size(), 3u);
  EXPECT_EQ(info.slots[0].revision, "REV00001");
  EXPECT_EQ(info.slots[0].flag, 1) << "first slot read only";
  EXPECT_EQ(info.slots[1].revision, "REV00000");
  EXPECT_EQ(info.slots[1].flag, 0);
  EXPECT_EQ(info.slots[2].revision, "") << "an empty slot";
  EXPECT_EQ(info.currentSlot, 1);
  EXPECT_EQ(info.nextSlot, 0);
}

TEST_F(NvmeDevice, DownloadActivatedAtOnceIsReadBackAndKept) {
  std::unique_ptr<OrvGenDev> dev = device(0);
  winsim::clearStorageTrace();
  Download result = download(*dev, firmwareImage("REV00002", 10000), 0);
  EXPECT_EQ(result.status, 0u);
  EXPECT_TRUE(result.refreshed);
  EXPECT_FALSE(result.reboot);
  std::vector<std::pair<u32, u32>> pieces = piecesSent();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].second, 4096u);
  EXPECT_EQ(pieces[1].second, 4096u);
  EXPECT_EQ(pieces[2].second, 1808u);
  EXPECT_EQ(runningRevision(*dev), "REV00002");
  dev.reset();

  reload();
  EXPECT_EQ(runningRevision(*device(0)), "REV00002");
}

TEST_F(NvmeDevice, ImageReassembledInTheDrive) {
  load(withFaults(R"([{"nvme": 16, "statusType": 0, "statusCode": 6}])"));
  std::unique_ptr<OrvGenDev> dev = device(0);
  std::vector<u8> image = firmwareImage("REV00002", 8192);
  winsim::clearStorageTrace();
  Download result = download(*dev, image, 0);
  EXPECT_TRUE(isLibStatus(result.status, 147, 151)) << "the commit failed";
  EXPECT_EQ(piecesSent().size(), 2u) << "two full pieces, no empty third";
  EXPECT_FALSE(result.refreshed) << "untouched when the operation fails";
  EXPECT_TRUE(nvmeDrive(0).download().complete());
  EXPECT_EQ(nvmeDrive(0).download().bytes(), image);
  EXPECT_EQ(runningRevision(*dev), "REV00001");
}

TEST_F(NvmeDevice, DeferredDownloadLeavesAPendingRevision) {
  std::unique_ptr<OrvGenDev> dev = device(1);
  Download result = download(*dev, firmwareImage("REV00003", 4100), 1, 3);
  EXPECT_EQ(result.status, 0u);
  EXPECT_TRUE(result.reboot);
  EXPECT_TRUE(result.refreshed);
  EXPECT_EQ(runningRevision(*dev), "REV00001");
  dev.reset();

  reload();
  dev = device(1);
  _OrvFwInfoItem info = firmwareInfo(*dev);
  EXPECT_EQ(info.currentRevision, "REV00001");
  EXPECT_EQ(info.currentSlot, 1);
  EXPECT_EQ(info.nextSlot, 3);
  ASSERT_EQ(info.slots.size(), 3u);
  EXPECT_EQ(info.slots[2].revision, "REV00003");
  dev.reset();

  nvmeDrive(1).reset();
  EXPECT_EQ(runningRevision(*device(1)), "REV00003");
}

TEST_F(NvmeDevice, DeferredOnADriveThatActivatesAtOnce) {
  // The driver's firmware request carries no commit action: a controller
  // that can activates at once, and the reboot stays announced.
  std::unique_ptr<OrvGenDev> dev = device(0);
  Download result = download(*dev, firmwareImage("REV00003", 4096), 1);
  EXPECT_EQ(result.status, 0u);
  EXPECT_TRUE(result.reboot);
  EXPECT_EQ(runningRevision(*dev), "REV00003");
}

TEST_F(NvmeDevice, DriveNeedingAResetTakesTheImageForTheNextOne) {
  std::unique_ptr<OrvGenDev> dev = device(1);
  LogCapture log;
  // Slot 0 stands for slot 1, which this drive keeps read only.
  EXPECT_TRUE(isLibStatus(download(*dev, firmwareImage("REV00002", 4096), 0).status, 147, 151));
  Download result = download(*dev, firmwareImage("REV00002", 4096), 0, 2);
  EXPECT_EQ(result.status, 0u);
  EXPECT_TRUE(result.reboot);
  EXPECT_NE(log.find("Info: Firmware Download without reset is not supported by drive, hence trying deferred "
                     "firmware download\n"),
            nullptr);
  _OrvFwInfoItem info = firmwareInfo(*dev);
  EXPECT_EQ(info.currentRevision, "REV00001");
  EXPECT_EQ(info.nextSlot, 2);
  EXPECT_EQ(info.slots[1].revision, "REV00002");

  // Activating the slot that holds it needs a reset as well: the driver
  // answers that a reboot is required, which counts as success.
  bool refreshed = false, reboot = false;
  EXPECT_EQ(dev->activateFirmware(&refreshed, &reboot, 2, 0), 0u);
  EXPECT_TRUE(refreshed);
  EXPECT_TRUE(reboot);
  // An empty slot cannot be activated.
  EXPECT_TRUE(isLibStatus(dev->activateFirmware(&refreshed, &reboot, 3, 1), 147, 151));
  EXPECT_FALSE(reboot);
}

TEST_F(NvmeDevice, RefusedImagesAndSizes) {
  std::unique_ptr<OrvGenDev> dev = device(0);
  winsim::clearStorageTrace();
  EXPECT_TRUE(isLibStatus(download(*dev, firmwareImage("REV00002", 4097), 0).status, 4, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(download(*dev, {}, 0).status, 4, kNvmeDevFile));
  EXPECT_TRUE(winsim::storageTrace().empty());

  // An image without the mark: the commit fails and nothing changes.
  std::vector<u8> bad(4096, 0x5A);
  Download result = download(*dev, bad, 0);
  EXPECT_TRUE(isLibStatus(result.status, 147, 151));
  EXPECT_FALSE(result.reboot);
  // Deferred, the reboot is announced before the commit and stays.
  result = download(*dev, bad, 1);
  EXPECT_TRUE(isLibStatus(result.status, 147, 151));
  EXPECT_TRUE(result.reboot);
  EXPECT_EQ(runningRevision(*dev), "REV00001");
}

TEST_F(NvmeDevice, PieceFailures) {
  // The second piece fails; the driver's firmware request hands no
  // completion back, so the drive's reason does not show.
  load(withFaults(R"([{"nvme": 17, "after": 1, "times": 1, "statusType": 1, "statusCode": 20}])"));
  std::unique_ptr<OrvGenDev> dev = device(0);
  LogCapture log;
  winsim::clearStorageTrace();
  Download result = download(*dev, firmwareImage("REV00002", 12288), 0);
  EXPECT_TRUE(isLibStatus(result.status, 148, 151));
  EXPECT_FALSE(result.reboot);
  EXPECT_NE(log.find("Debug: Microcode Download Failed [offset: 4096, segment: 2]\n"), nullptr);
  EXPECT_EQ(trace().find("STORAGE_FIRMWARE_ACTIVATE"), std::string::npos) << "no commit after a failed piece";
  EXPECT_EQ(runningRevision(*dev), "REV00001");
}

TEST_F(NvmeDevice, DeferredRefusedBeforeWindows10) {
  load(withFaults("[]", "6.3"));
  std::unique_ptr<OrvGenDev> dev = device(0);
  winsim::clearStorageTrace();
  Download result = download(*dev, firmwareImage("REV00002", 4096), 1);
  EXPECT_EQ(orv_status_code(result.status), 83u);
  EXPECT_EQ(orv_status_layer_of(result.status), 5u);
  EXPECT_FALSE(result.reboot);
  EXPECT_TRUE(winsim::storageTrace().empty());
  // Not deferred, the download goes by the older route and activates.
  result = download(*dev, firmwareImage("REV00002", 4096), 0);
  EXPECT_EQ(result.status, 0u);
  EXPECT_EQ(runningRevision(*dev), "REV00002");
}

TEST_F(NvmeDevice, RefreshedFlagTellsWhetherTheIdentifyCameBack) {
  // Every Identify Controller after the device's own fails (the OS layer's
  // probe reads the controller data first).
  load(withFaults(R"([{"nvme": 6, "cns": 1, "after": 2, "statusCode": 6}])"));
  std::unique_ptr<OrvGenDev> dev = device(0);
  Download result = download(*dev, firmwareImage("REV00002", 4096), 0);
  EXPECT_EQ(result.status, 0u) << "the refresh's failure is not the download's";
  EXPECT_FALSE(result.refreshed);
  EXPECT_EQ(nvmeDrive(0).slotRevision(1), "REV00002");
}

TEST_F(NvmeDevice, UnidentifiedDriveWithIgnoredFailure) {
  load(withFaults(R"([{"nvme": 6, "cns": 1, "statusCode": 6}])"));
  EXPECT_TRUE(isLibStatus(thrownStatus([] { device(0); }), 144, 151));
  std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, true, false));
  OrvDevGenData<_OrvDataItem> data;
  EXPECT_TRUE(isLibStatus(dev->getIdentifyData(data, 1), 83, kNvmeDevFile));
  _OrvDevProperty property = {};
  std::strcpy(property.modelNumber, "KEPT");
  property.state = 3;
  EXPECT_EQ(dev->fillDeviceInfo(property), 0u);
  EXPECT_STREQ(property.modelNumber, "KEPT");
  EXPECT_EQ(property.state, 2);
}

}  // namespace
