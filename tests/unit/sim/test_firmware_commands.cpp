// The firmware commands end to end on the simulated machine's drives: image
// files and packages in memory downloaded, deferred and activated, the
// revision seen by the next run, locks, and the failures returned unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdlib/cmdlib_fwupdate.h"
#include "unit/lock_helpers.h"
#include "unit/sim/drive_list_helpers.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuFwActivate;
using DivizuCmdlib::DivIzuFwDownload;
using DivizuCmdlib::DivIzuFwDownloadFromBuffer;
using DivizuCmdlib::DivIzuFwInfo;
using DivizuCmdlib::DivIzuGenCmd;

namespace {

constexpr u32 kFwUpdateFile = 53;
constexpr u32 kCmdSataFile = 131;

const char* const kAllDrives[] = {"0", "1", "2"};

u32 lineOf(u64 word) { return static_cast<u32>((word >> 32) & 0xFFFF); }

class FirmwareCommands : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(kThreeDrives);
  }

  std::string writeImage(const std::string& name, const std::vector<u8>& image) {
    return scratch_.write(name, std::string(image.begin(), image.end()));
  }
  std::string revision(const std::string& id) {
    DivIzuFwInfo info(id, 0);
    EXPECT_EQ(info.execute(), 0u);
    return info.currFwRev();
  }
  bool lockExists(const std::string& name) const {
    return LockFolder(scratch_.path() + "/programdata").exists(name);
  }
  // DOWNLOAD MICROCODE commands that reached the drivers.
  static size_t microcodeCommands() {
    size_t count = 0;
    for (const winsim::StorageRequest& request : winsim::storageTrace()) {
      const std::vector<u8>& c = request.command;
      if ((c.size() == 16 && (c[12] == 0x92 || c[12] == 0x93)) || (c.size() == 12 && (c[9] == 0x92 || c[9] == 0x93)))
        ++count;
    }
    return count;
  }
};

TEST_F(FirmwareCommands, DownloadOfAnImageFileOnEachBus) {
  std::string path = writeImage("new-fw.bin", firmwareImage("REV00002", 20000));
  std::string sasPath = writeImage("sas-fw.bin", firmwareImage("R002", 20000));
  for (const char* id : kAllDrives) {
    SCOPED_TRACE(id);
    {
      DivIzuFwDownload command(id, id[0] == '2' ? sasPath : path, false, false, 0, true, 0);
      EXPECT_TRUE(lockExists("PHYSICALDRIVE" + std::string(id)));
      ASSERT_EQ(command.execute(), 0u);
      EXPECT_FALSE(command.isRebootRequired());
      // The drive was identified again: the device stays for more questions.
      EXPECT_TRUE(command.hasValidDevice());
    }
    EXPECT_FALSE(lockExists("PHYSICALDRIVE" + std::string(id)));
  }
  DivIzuFwActivate aborted("1", 0, false, true, 0);
  EXPECT_TRUE(lockExists("PHYSICALDRIVE1"));
  EXPECT_EQ(aborted.abort(nullptr), 0u);
  EXPECT_FALSE(lockExists("PHYSICALDRIVE1"));
  reload();
  EXPECT_EQ(revision("0"), "REV00002");
  EXPECT_EQ(revision("1"), "REV00002");
  EXPECT_EQ(revision("2"), "R002");
}

TEST_F(FirmwareCommands, ImageInMemoryDownloadedWithoutALock) {
  // The way the update application goes; a drive already at the image's
  // revision is flashed as well.
  std::vector<u8> image = firmwareImage("REV00001", 3000);
  DivIzuFwDownloadFromBuffer command("0", image.data(), 3000);
  EXPECT_FALSE(lockExists("PHYSICALDRIVE0"));
  EXPECT_TRUE(command.isDeferredDownloadSupported());
  ASSERT_EQ(command.execute(), 0u);
  EXPECT_GT(microcodeCommands(), 0u);
  std::vector<u8> received = winsim::receivedFirmwareImage(0);
  ASSERT_GE(received.size(), 3000u);
  EXPECT_EQ(std::vector<u8>(received.begin(), received.begin() + 3000), image);
}

TEST_F(FirmwareCommands, DeferredDownloadThenActivation) {
  std::string path = writeImage("new-fw.bin", firmwareImage("REV00003", 5000));
  for (const char* id : {"0", "1"}) {
    SCOPED_TRACE(id);
    {
      DivIzuFwDownload command(id, path, true, false, 0, false, 0);
      ASSERT_EQ(command.execute(), 0u);
    }
    EXPECT_EQ(revision(id), "REV00001") << "saved, not active";
    reload();
    DivIzuFwActivate activate(id, 0, true, true, 0);
    ASSERT_EQ(activate.execute(), 0u);
    EXPECT_FALSE(activate.isRebootRequired());
    EXPECT_EQ(revision(id), "REV00003");
    // Nothing is left to activate: the device's status, unchanged.
    EXPECT_TRUE(isLibStatus(activate.execute(), 40, kCmdSataFile));
  }
  // A SAS drive keeps a pending image until it is activated in the same run.
  std::string sasPath = writeImage("sas-fw.bin", firmwareImage("R003", 5000));
  {
    DivIzuFwDownload command("2", sasPath, true, false, 0, false, 0);
    ASSERT_EQ(command.execute(), 0u);
  }
  EXPECT_EQ(revision("2"), "R001");
  DivIzuFwActivate activate("2", 0, false, true, 0);
  ASSERT_EQ(activate.execute(), 0u);
  EXPECT_FALSE(activate.isRebootRequired());
  EXPECT_EQ(revision("2"), "R003");
}

TEST_F(FirmwareCommands, ImageFilesRefusedBeforeTheDriveIsTouched) {
  std::string empty = scratch_.write("empty.bin", "");
  DivIzuFwDownload command("0", empty, false, false, 9, false, 0);  // slot 9 is no concern of ATA drives
  winsim::clearStorageTrace();
  u64 status = command.execute();
  EXPECT_TRUE(isLibStatus(status, 4, kFwUpdateFile));
  EXPECT_EQ(lineOf(status), 202u);
  command.setImagePath(scratch_ / "none.bin");
  status = command.execute();
  EXPECT_TRUE(isLibStatus(status, 16, kFwUpdateFile));
  EXPECT_EQ(lineOf(status), 198u);
  EXPECT_EQ(winsim::storageTrace().size(), 0u);

  status = thrownStatus([] { DivIzuFwDownload refused("0", "", false, false, 0, true, 0); });
  EXPECT_TRUE(isLibStatus(status, 35, kFwUpdateFile));
  EXPECT_EQ(lineOf(status), 152u);
  EXPECT_EQ(DivIzuGenCmd::getLastError(), "ORVERR35: Invalid parameter value (image_path)");
  EXPECT_FALSE(lockExists("PHYSICALDRIVE0"));

  // An image the drive rejects: its status comes back, the device stays.
  std::string bad = scratch_.write("bad.bin", std::string(1024, 'x'));
  DivIzuFwDownload rejected("1", bad, false, false, 0, false, 0);
  EXPECT_TRUE(isLibStatus(rejected.execute(), 38, kCmdSataFile));
  EXPECT_TRUE(rejected.hasValidDevice());
  load(R"({"drives": [{"bus": "sata", "downloadMicrocode": false}]})");
  DivIzuFwDownload unsupported("0", bad, false, false, 0, false, 0);
  EXPECT_TRUE(isLibStatus(unsupported.execute(), ORV_ERR_DOWNLOAD_UNSUPPORTED, 132));
  load(kThreeDrives);
  DivIzuFwDownload rejectedBySas("2", bad, false, false, 0, false, 0);
  EXPECT_EQ(orv_status_code(rejectedBySas.execute()), ORV_ERR_SCSI_WRITE_BUFFER);
  EXPECT_TRUE(rejectedBySas.hasValidDevice());
  EXPECT_EQ(revision("2"), "R001");
}

TEST_F(FirmwareCommands, DeviceClosedWhenTheDriveWasNotIdentifiedAgain) {
  std::string path = writeImage("new-fw.bin", firmwareImage("REV00004", 2048));
  // A dry run counts the IDENTIFY commands up to the one after the download.
  size_t identifies = 0;
  {
    DivIzuFwDownload command("0", path, false, false, 0, true, 0);
    ASSERT_EQ(command.execute(), 0u);
    for (const winsim::StorageRequest& request : winsim::storageTrace())
      if (request.command.size() == 16 && request.command[12] == 0xEC) ++identifies;
  }
  ASSERT_GT(identifies, 1u);
  load(R"({"drives": [{"bus": "sata", "firmware": "REV00001"}],
           "faults": [{"ata": 236, "after": )" + std::to_string(identifies - 1) + "}]}");
  DivIzuFwDownload command("0", path, false, false, 0, true, 0);
  ASSERT_EQ(command.execute(), 0u);
  EXPECT_FALSE(command.hasValidDevice());
  EXPECT_FALSE(lockExists("PHYSICALDRIVE0"));
  u64 status = command.execute();
  EXPECT_TRUE(isLibStatus(status, 2, kFwUpdateFile));
  EXPECT_EQ(lineOf(status), 171u);
}

TEST_F(FirmwareCommands, FirmwareInformation) {
  DivIzuFwInfo info("1", 0);
  EXPECT_EQ(info.currFwRev(), "Unknown");
  EXPECT_EQ(info.slotCount(), 0u);
  EXPECT_EQ(info.currSlot(), 0u);
  EXPECT_EQ(info.nextSlot(), 0u);
  EXPECT_EQ(info.slotBegin(), info.slotEnd());
  ASSERT_EQ(info.execute(), 0u);
  EXPECT_EQ(info.currFwRev(), "REV00001");
  ASSERT_EQ(info.execute(), 0u);  // read afresh, not added
  EXPECT_EQ(static_cast<size_t>(info.slotEnd() - info.slotBegin()), info.slotCount());
  EXPECT_EQ(static_cast<size_t>(info.bufEnd() - info.bufBegin()), info.bufCount());

  std::string revision, model, serial;
  ASSERT_EQ(info.getDeviceInfo(revision, model, serial), 0u);
  EXPECT_EQ(revision, "REV00001");
  EXPECT_EQ(model, "MODEL A");
  EXPECT_EQ(serial, "S2");
}

TEST_F(FirmwareCommands, FailureTextBelongsToTheLastRead) {
  // A member's set cannot be read once as its image goes out: the download
  // names that request. A later read that ends before reaching the drive
  // names nothing.
  load(R"({"controllers": [{"kind": "csmi", "raidSets": [{"drives": [{"model": "NVMe MODEL A", "serial": "S1"}]}]}],
           "faults": [{"csmi": 11, "after": 3, "times": 1, "returnCode": 3}]})");
  std::string path = writeImage("new-fw.bin", firmwareImage("REV00004", 2048));
  DivIzuFwDownload command("SCSI0:r0", path, false, false, 0, false, 0);
  EXPECT_EQ(orv_status_code(command.execute()), 19u);
  EXPECT_EQ(command.getFailureText(),
            "ORVERR19: Query on device failed (storage port 0: CSMI RAID configuration of set 0 failed (error: 0, "
            "return code: 0x3))");
  command.setImagePath(scratch_ / "none.bin");
  EXPECT_TRUE(isLibStatus(command.execute(), 16, kFwUpdateFile));
  EXPECT_EQ(command.getFailureText(), "");
}

}  // namespace
