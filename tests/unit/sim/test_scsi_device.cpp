// The SCSI device on simulated SAS drives (identification, the device-list
// record, firmware information, WRITE BUFFER downloads whole, segmented,
// deferred, aborted and of odd sizes in the modes a drive offers, power
// answers, unsupported slots) and the segment rules of the virtual SAS
// drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "devlib/scsi/orvlib_scsi.h"
#include "osl/orv_status.h"
#include "osl/osl_scsi.h"
#include "unit/log_capture.h"
#include "unit/sim/device_fixture.h"
#include "unit/sim/firmware_image.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

constexpr u32 kScsiCmdFile = 141;

// A machine of one SAS drive; keys given first take the place of the usual
// ones.
std::string sasMachine(const std::string& keys, const std::string& faults = "") {
  return R"({"drives": [{)" + (keys.empty() ? "" : keys + ", ") +
         R"("bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001"}])" +
         (faults.empty() ? "" : R"(, "faults": )" + faults) + "}";
}

// The WRITE BUFFER blocks sent since the last clear: "mode offset length ".
// Only an activation (0Fh) goes without data.
std::string writeBuffers() {
  std::string blocks;
  for (const winsim::StorageRequest& request : winsim::storageTrace()) {
    const std::vector<u8>& c = request.command;
    if (c.size() != 10 || c[0] != 0x3B) continue;
    EXPECT_EQ(c[2] + c[9], 0);
    EXPECT_TRUE(c[1] == 0x0F || (c[6] | c[7] | c[8]) != 0) << "mode " << int(c[1]) << " without data";
    blocks += std::to_string(c[1]) + " " + std::to_string(c[3] << 16 | c[4] << 8 | c[5]) + " " +
              std::to_string(c[6] << 16 | c[7] << 8 | c[8]) + ", ";
  }
  return blocks;
}

class ScsiDevice : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(sasMachine(""));
  }
  void TearDown() override {
    osl_close_device(drive_);
    MachineTest::TearDown();
  }
  static DevicePtr device(bool ignoreInitError = false) {
    DevicePtr made = newDevice(0, 0, ignoreInitError);
    winsim::clearStorageTrace();
    return made;
  }

  // WRITE BUFFER through the pass-through of the drive: "failed key ASC/ASCQ".
  std::string writeBuffer(u8 mode, u32 offset, std::vector<u8> data, u8 bufferId = 0) {
    if (!drive_) drive_ = osl_open_device("PHYSICALDRIVE0");
    u32 length = static_cast<u32>(data.size());
    const u8 cdb[10] = {0x3B, mode, bufferId, u8(offset >> 16), u8(offset >> 8), u8(offset), u8(length >> 16),
                        u8(length >> 8), u8(length), 0};
    u8 sense[64] = {};
    u64 status = osl_scsi_send_direct(drive_, cdb, 10, false, data.empty() ? nullptr : data.data(), length, sense,
                                      sizeof sense, 10, false, true, nullptr);
    char outcome[32];
    std::snprintf(outcome, sizeof outcome, "%d %X %02X%02X", status != 0, osl_sense_key(sense, sizeof sense),
                  sense[12], sense[13]);
    return outcome;
  }

  _OSL_PDEV* drive_ = nullptr;
};

const char* kOk = "0 0 0000";

TEST_F(ScsiDevice, IdentificationCapacityAndRecord) {
  load(sasMachine(R"("serial": "  SERIAL-OF-TWENTY-FOUR-C", "sectors": 8589934592, "sectorSize": 4096)"));
  DevicePtr dev = newDevice(0);
  EXPECT_EQ(identText(*dev), "R001|MODEL B|SERIAL-OF-TWENTY-FOU|MAKER");
  // Beyond 32 bits of blocks the long READ CAPACITY tells.
  EXPECT_EQ(trace(), "SCSI_MINIPORT STORAGE_QUERY_PROPERTY:0 SCSI_MINIPORT STORAGE_QUERY_PROPERTY:0 "
                     "STORAGE_QUERY_PROPERTY:1 SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT "
                     "SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT");
  u64 capacity = 0;
  u32 blockLength = 0;
  ASSERT_EQ(dev->getCapacity(capacity, blockLength, 0), 0u);
  EXPECT_EQ(std::to_string(capacity) + "/" + std::to_string(blockLength), "8589934592/4096");
  const auto& sent = winsim::storageTrace();
  EXPECT_EQ(sent[sent.size() - 2].command[0] * 256 + sent.back().command[0], 0x259E);
  // After a reset: no long form, the reset was reported before.
  load(sasMachine(R"("sectors": 2000, "sectorSize": 520, "unitAttention": true)"));
  ASSERT_EQ(device()->getCapacity(capacity, blockLength, 0), 0u);
  EXPECT_EQ(std::to_string(capacity) + "/" + std::to_string(blockLength), "2000/520");
  EXPECT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT");

  // The record: SMART supported and enabled; bits 3, 4, 6 and 7 cleared, 5
  // kept; no SEND DIAGNOSTIC. Write cache supported and enabled, download
  // and deferred download, no log pages, fixed sense, no cryptographic
  // sanitize; bit 4 kept.
  load(sasMachine(""));
  _OrvDevProperty record = {};
  record.capabilities1 = record.capabilities2 = 0xFF;
  record.identification = 7;
  ASSERT_EQ(device()->fillDeviceInfo(record), 0u);
  EXPECT_EQ(propertyText(record), "MODEL B|R001|S3|MAKER id 0 cap 23/1F state 1");
  EXPECT_EQ(firmwareText(*device()), "R001 1>0 [1:R001:0 ] buffers 0");
  EXPECT_EQ(trace(), "") << "read from the identification the device holds";
  load(sasMachine(R"("writeCache": false, "smart": false, "descriptorSense": true, "deferredMicrocode": false,
                     "wholeMicrocode": false, "selfTest": true)"));
  record = {};
  ASSERT_EQ(device()->fillDeviceInfo(record), 0u);
  EXPECT_EQ(record.capabilities1, ORV_CAP1_SMART_SUPPORTED | VazidaRaduruScsi::ORV_SCSI_CAP1_SELF_TEST);
  EXPECT_EQ(record.capabilities2, ORV_CAP2_WRITE_CACHE_SUPPORTED | VazidaRaduruScsi::ORV_SCSI_CAP2_DOWNLOAD |
                                      VazidaRaduruScsi::ORV_SCSI_CAP2_DESCRIPTOR_SENSE);

  // The SMART settings cannot be read: the failure, not filled; the final
  // query fails after the other bits were set; a drive that cannot tell its
  // commands supports none of them, but the download modes its extended
  // inquiry page tells.
  struct Case {
    const char* faults;
    const char* expected;
  } cases[] = {{R"([{"scsi": 90, "times": 1}])", "4.141.113 cap 00/00 state 0"},
               {R"([{"scsi": 90, "after": 2}])", "4.141.113 cap 03/0F state 0"},
               {R"([{"scsi": 163}])", "0 cap 03/0F state 1"}};
  for (const Case& one : cases) {
    load(sasMachine("", one.faults));
    record = {};
    std::string status = st(device()->fillDeviceInfo(record));
    std::string text = propertyText(record);
    EXPECT_EQ(status + text.substr(text.find(" cap")), one.expected) << one.faults;
  }
}

TEST_F(ScsiDevice, FailedIdentification) {
  // INQUIRY without vital product data carries no page: the fault's page -1
  // matches it only.
  load(sasMachine("", R"([{"scsi": 18, "page": -1, "times": 2}])"));
  EXPECT_TRUE(isLibStatus(thrownStatus([&] { device(); }), 109, kScsiCmdFile));
  DevicePtr dev = device(true);
  EXPECT_EQ(identText(*dev), "4.141.109");
  EXPECT_EQ(firmwareText(*dev), "4.141.109 items 0");
  // The next identification works again.
  EXPECT_EQ(dev->refresh(), 0u);
  EXPECT_EQ(revisionOf(*dev), "R001");
}

TEST_F(ScsiDevice, SerialNumberPage) {
  // Only a drive that refuses page 80h as an illegal request, an invalid
  // field in the CDB (24h/00h, in fixed or descriptor sense), has no serial
  // number; any other failure of the first identification's page 80h, with
  // sense data or without (BUSY, RESERVATION CONFLICT), fails it (kept, the
  // record unfilled) until the next one, the INQUIRY's failure named. It is
  // not thrown, and the firmware information reads the revision all the
  // same. A fault of the page matches no standard INQUIRY: once per
  // identification. A drive that showed its serial number and then refuses
  // the page keeps it.
  const char* failing = "0 R001|4.141.109|4.141.109  state 0|0, R001|MODEL B|S3|MAKER";
  const char* noSerial = "0 R001|R001|MODEL B||MAKER|0  state 1|0, R001|MODEL B||MAKER";
  auto once = [](const char* answer) {
    return std::string(R"([{"scsi": 18, "page": 128, "times": 1, )") + answer + "}]";
  };
  struct Case {
    std::string keys, faults;
    const char* expected;
    unsigned matched;
  } cases[] = {
      {"", "", "0 R001|R001|MODEL B|S3|MAKER|0 S3 state 1|0, R001|MODEL B|S3|MAKER", 0},
      {R"("unitSerialPage": false)", "", noSerial, 0},
      {"", R"([{"scsi": 18, "page": 128, "sense": [5, 36, 0]}])", noSerial, 2},
      {R"("descriptorSense": true)", R"([{"scsi": 18, "page": 128, "sense": [5, 36, 0]}])", noSerial, 2},
      {"", R"([{"scsi": 18, "page": 128, "times": 1}])", failing, 2},
      {"", once(R"("sense": [5, 44, 0])"), failing, 2},
      {"", once(R"("sense": [5, 37, 0])"), failing, 2},
      {"", once(R"("sense": [5, 32, 0])"), failing, 2},
      {"", once(R"("sense": [5, 36, 1])"), failing, 2},
      {R"("descriptorSense": true)", once(R"("sense": [5, 44, 0])"), failing, 2},
      {"", once(R"("scsiStatus": 8)"), failing, 2},
      {"", once(R"("scsiStatus": 24)"), failing, 2},
      {"", R"([{"scsi": 18, "page": 128, "scsiStatus": 0, "times": 1}])",
       "0 R001|4.142.109|4.142.109  state 0|0, R001|MODEL B|S3|MAKER", 2},
      {"", R"([{"ioctl": "IOCTL_SCSI_PASS_THROUGH_DIRECT", "after": 2, "times": 1, "error": 1117}])",
       "0 R001|5.4.1|5.4.1  state 0|0, R001|MODEL B|S3|MAKER", 0},
      // Read whole by the identification, refused by the refresh.
      {"", R"([{"scsi": 18, "page": 128, "after": 1, "sense": [5, 36, 0]}])",
       "0 R001|R001|MODEL B|S3|MAKER|0 S3 state 1|0, R001|MODEL B|S3|MAKER", 2},
  };
  for (const Case& one : cases) {
    load(sasMachine(one.keys, one.faults));
    std::string thrown = st(thrownStatus([] { device(); }));
    load(sasMachine(one.keys, one.faults));
    DevicePtr dev = device(true);
    std::string firmware = firmwareText(*dev);
    _OrvDevProperty record = {};
    std::string filled = st(dev->fillDeviceInfo(record));
    std::string text = thrown + " " + firmware.substr(0, firmware.find(' ')) + "|" + identText(*dev) + "|" +
                       filled + " " + record.serialNumber + " state " + std::to_string(record.state);
    text += "|" + inOrder({st(dev->refresh()), identText(*dev)});
    EXPECT_EQ(text, one.expected) << one.keys << one.faults;
    if (one.matched) {
      EXPECT_EQ(winsim::faultMatches()[0], one.matched) << one.faults;
    }
  }
}

TEST_F(ScsiDevice, WholeImageInOneCommand) {
  DevicePtr dev = device();
  std::vector<u8> image = firmwareImage("R002", 5001);
  EXPECT_EQ(downloadText(*dev, image, 0), "0 refreshed");
  EXPECT_EQ(writeBuffers(), "5 0 5001, ");
  EXPECT_EQ(winsim::storageTrace().back().timeout, 5u) << "the identification is read again";
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revisionOf(*dev), "R002");
  // The unit attention of the change is answered by sending once more.
  winsim::clearStorageTrace();
  u8 active = 0;
  EXPECT_EQ(dev->getPowerMode(&active), 0u);
  EXPECT_EQ(active, 1);
  ASSERT_EQ(winsim::storageTrace().size(), 2u);
  EXPECT_EQ(winsim::storageTrace()[0].scsiStatus * 10 + winsim::storageTrace()[1].scsiStatus, 20);
  // A fresh device, and the next run, see the new revision.
  EXPECT_EQ(firmwareText(*device()), "R002 1>0 [1:R002:0 ] buffers 0");
  reload();
  EXPECT_EQ(revisionOf(*device()), "R002");
}

TEST_F(ScsiDevice, SegmentedByTheTransferLimit) {
  // 70000 bytes a transfer: segments of 17 pages, the image's alone; the
  // drive activates them at the next command, the identification.
  load(sasMachine(R"("maxTransfer": 70000)"));
  DevicePtr dev = device();
  std::vector<u8> image = firmwareImage("R003", 3 * 69632 + 4001);
  EXPECT_EQ(downloadText(*dev, image, 0), "0 refreshed");
  EXPECT_EQ(writeBuffers(), "7 0 69632, 7 69632 69632, 7 139264 69632, 7 208896 4001, ");
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revisionOf(*dev), "R003");

  // Odd sizes: one command up to the limit, else the segments.
  load(sasMachine(R"("maxTransfer": 8192)"));
  for (size_t size : {size_t{17}, size_t{8191}, size_t{8193}, size_t{3 * 8192}, size_t{3 * 8192 + 1}}) {
    dev = device();
    std::vector<u8> odd = firmwareImage("R" + std::to_string(size % 1000), size);
    ASSERT_EQ(downloadText(*dev, odd, 0), "0 refreshed") << size;
    EXPECT_EQ(sasDrive(0).activatedImage(), odd) << size;
    std::string blocks = writeBuffers();
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), ','), (size + 8191) / 8192) << size;
  }
}

TEST_F(ScsiDevice, DeferredThenActivated) {
  load(sasMachine(R"("maxTransfer": 16384)"));
  DevicePtr dev = device();
  std::vector<u8> image = firmwareImage("R004", 40000);
  EXPECT_EQ(downloadText(*dev, image, 1), "0 refreshed");
  EXPECT_EQ(writeBuffers(), "14 0 16384, 14 16384 16384, 14 32768 7232, ");
  EXPECT_EQ(revisionOf(*dev), "R001") << "pending until activated";
  EXPECT_EQ(sasDrive(0).download().bytes(), image);
  // Deferred even when the image fits one transfer.
  winsim::clearStorageTrace();
  EXPECT_EQ(downloadText(*dev, firmwareImage("R005", 100), 1), "0 refreshed");
  EXPECT_EQ(writeBuffers(), "14 0 100, ");
  EXPECT_EQ(downloadText(*dev, image, 1), "0 refreshed");

  winsim::clearStorageTrace();
  EXPECT_EQ(activateText(*dev, 0, 0), "0 refreshed");
  EXPECT_EQ(writeBuffers(), "15 0 0, ");
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revisionOf(*dev), "R004");
  // Nothing is pending any more: the drive refuses a second activation. At
  // the next reset asks the drive for nothing.
  EXPECT_EQ(activateText(*dev, 0, 0), "4.141.112");
  winsim::clearStorageTrace();
  EXPECT_EQ(activateText(*dev, 0, 1), "0");
  EXPECT_EQ(trace(), "");
}

TEST_F(ScsiDevice, DownloadTakesAModeTheDriveOffers) {
  // The modes a drive offers (its keys), an image of 5000 bytes (one
  // transfer of 8 KiB) or 9000, deferred or not: the WRITE BUFFER blocks,
  // the outcome and the record's download (4) and deferred download (8)
  // bits. A drive that does not tell its modes takes 07h. One that refuses
  // REPORT SUPPORTED OPERATION CODES, or answers that it has no data about
  // WRITE BUFFER or a reserved value, has not said whether it takes it: it
  // takes what its page tells, else 07h, and its record claims only what the
  // page tells. Supported in a vendor-specific manner (5) is supported.
  struct Case {
    const char* keys;
    u32 size;
    u8 deferred;
    const char* blocks;
    const char* outcome;
    u8 bits;
  } cases[] = {
      {"", 5000, 0, "5 0 5000, ", "0 refreshed", 0x0C},
      {R"("wholeMicrocode": false)", 5000, 0, "7 0 5000, ", "0 refreshed", 0x0C},
      {R"("wholeMicrocode": false, "deferredMicrocode": false)", 9000, 0, "7 0 8192, 7 8192 808, ",
       "0 refreshed", 0x04},
      {R"("segmentedMicrocode": false, "deferredMicrocode": false)", 5000, 0, "5 0 5000, ", "0 refreshed", 0x04},
      {R"("segmentedMicrocode": false, "deferredMicrocode": false)", 9000, 0, "", "4.142.90", 0x04},
      {R"("wholeMicrocode": false, "segmentedMicrocode": false)", 5000, 0, "14 0 5000, 15 0 0, ", "0 refreshed",
       0x08},
      {R"("wholeMicrocode": false, "segmentedMicrocode": false)", 9000, 1, "14 0 8192, 14 8192 808, ",
       "0 refreshed", 0x08},
      {R"("deferredMicrocode": false)", 5000, 1, "", "4.142.90", 0x04},
      {R"("wholeMicrocode": false, "segmentedMicrocode": false, "deferredMicrocode": false)", 5000, 0, "",
       "4.142.90", 0x00},
      {R"("reportsDownloadModes": false)", 5000, 0, "7 0 5000, ", "0 refreshed", 0x04},
      {R"("reportsDownloadModes": false)", 5000, 1, "", "4.142.90", 0x04},
      {R"("reportsSupportedOpcodes": false)", 5000, 0, "5 0 5000, ", "0 refreshed", 0x0C},
      {R"("reportsSupportedOpcodes": false, "wholeMicrocode": false)", 9000, 1, "14 0 8192, 14 8192 808, ",
       "0 refreshed", 0x0C},
      {R"("reportsSupportedOpcodes": false, "wholeMicrocode": false, "segmentedMicrocode": false,
          "deferredMicrocode": false)", 5000, 0, "", "4.142.90", 0x00},
      {R"("reportsSupportedOpcodes": false, "reportsDownloadModes": false)", 9000, 0, "7 0 8192, 7 8192 808, ",
       "0 refreshed", 0x00},
      {R"("reportsSupportedOpcodes": false, "reportsDownloadModes": false)", 5000, 1, "", "4.142.90", 0x00},
      {R"("supportDataAvailable": false, "wholeMicrocode": false)", 9000, 0, "7 0 8192, 7 8192 808, ",
       "0 refreshed", 0x0C},
      {R"("supportDataAvailable": false, "reportsDownloadModes": false)", 5000, 0, "7 0 5000, ", "0 refreshed",
       0x00},
      {R"("writeBufferSupport": 5, "reportsDownloadModes": false)", 5000, 0, "7 0 5000, ", "0 refreshed", 0x04},
      {R"("writeBufferSupport": 1)", 5000, 0, "", "4.142.90", 0x00},
      {R"("writeBufferSupport": 0, "wholeMicrocode": false)", 9000, 1, "14 0 8192, 14 8192 808, ", "0 refreshed",
       0x0C},
      {R"("writeBufferSupport": 6)", 5000, 0, "5 0 5000, ", "0 refreshed", 0x0C},
      {R"("writeBufferSupport": 2, "reportsDownloadModes": false)", 9000, 0, "7 0 8192, 7 8192 808, ",
       "0 refreshed", 0x00},
      {R"("writeBufferSupport": 4, "reportsDownloadModes": false)", 5000, 0, "7 0 5000, ", "0 refreshed", 0x00},
      {R"("writeBufferSupport": 7, "reportsDownloadModes": false)", 5000, 0, "7 0 5000, ", "0 refreshed", 0x00},
  };
  for (const Case& one : cases) {
    load(sasMachine(std::string(one.keys) + (*one.keys ? ", " : "") + R"("maxTransfer": 8192)"));
    _OrvDevProperty record = {};
    ASSERT_EQ(device()->fillDeviceInfo(record), 0u) << one.keys;
    EXPECT_EQ(record.capabilities2 & 0x0C, one.bits) << one.keys;
    DevicePtr dev = device();
    std::vector<u8> image = firmwareImage("R009", one.size);
    EXPECT_EQ(downloadText(*dev, image, one.deferred), one.outcome) << one.keys << " " << one.size;
    EXPECT_EQ(writeBuffers(), one.blocks) << one.keys << " " << one.size;
    bool activated = !one.deferred && std::string(one.outcome) == "0 refreshed";
    EXPECT_EQ(revisionOf(*dev), activated ? "R009" : "R001") << one.keys << " " << one.size;
  }
}

TEST_F(ScsiDevice, VirtualDriveReportsCommandsAndModesAsTheStandardHas) {
  // REPORT SUPPORTED OPERATION CODES of WRITE BUFFER (no service actions):
  // supported on its own and with service action 0, not with a mode as its
  // service action, refused as a command with service actions. The extended
  // inquiry page's DMS_VALID and DM_MD bits.
  drive_ = osl_open_device("PHYSICALDRIVE0");
  u8 refusal = 0;  // the sense key of the last command refused
  u8 sense[32] = {};
  auto ask = [&](std::vector<u8> cdb, u32 length) {
    std::vector<u8> data(length);
    std::fill(std::begin(sense), std::end(sense), 0);
    refusal = osl_scsi_send_direct(drive_, cdb.data(), static_cast<u8>(cdb.size()), true, data.data(), length,
                                   sense, sizeof sense, 10, false, true, nullptr)
                  ? osl_sense_key(sense, sizeof sense)
                  : 0;
    return data;
  };
  auto support = [&](u8 options, u8 action) {
    std::vector<u8> data = ask({0xA3, 0x0C, options, 0x3B, 0, action, 0, 0, 0, 20, 0, 0}, 20);
    return refusal ? "key " + std::to_string(refusal) + " " + std::to_string(sense[12] << 8 | sense[13])
                   : std::to_string(data[1] & 0x07);
  };
  EXPECT_EQ(inOrder({support(1, 0), support(3, 0), support(3, 5), support(3, 7), support(2, 5)}),
            "3, 3, 1, 1, key 5 9216");
  std::vector<u8> page = ask({0x12, 1, 0x86, 0, 64, 0}, 64);
  EXPECT_EQ(inOrder({std::to_string(page[1]), std::to_string(page[12]), std::to_string(page[19])}),
            "134, 16, 86");  // 05h, 07h, 0Eh, 0Fh
  osl_close_device(drive_);
  load(sasMachine(R"("wholeMicrocode": false, "deferredMicrocode": false)"));
  drive_ = osl_open_device("PHYSICALDRIVE0");
  EXPECT_EQ(ask({0x12, 1, 0x86, 0, 64, 0}, 64)[19], 0x10);
  osl_close_device(drive_);
  load(sasMachine(R"("reportsDownloadModes": false)"));
  drive_ = osl_open_device("PHYSICALDRIVE0");
  page = ask({0x12, 1, 0x86, 0, 64, 0}, 64);
  EXPECT_EQ(page[12] | page[19], 0);
  // A drive without REPORT SUPPORTED OPERATION CODES: invalid command
  // operation code (20h/00h), the page unchanged.
  osl_close_device(drive_);
  load(sasMachine(R"("reportsSupportedOpcodes": false)"));
  drive_ = osl_open_device("PHYSICALDRIVE0");
  EXPECT_EQ(inOrder({support(3, 0), support(1, 0)}), "key 5 8192, key 5 8192");
  EXPECT_EQ(ask({0x12, 1, 0x86, 0, 64, 0}, 64)[19], 86);
}

TEST_F(ScsiDevice, DownloadFailures) {
  // The drive aborts segment k + 1: no segment after it, no activation.
  for (int k : {0, 1, 3}) {
    load(sasMachine(R"("maxTransfer": 8192)", R"([{"scsi": 59, "mode": 7, "after": )" + std::to_string(k) + "}]"));
    DevicePtr dev = device();
    LogCapture log;
    EXPECT_EQ(downloadText(*dev, firmwareImage("R006", 5 * 8192 + 100), 0),
              "4.141.112");
    std::string blocks = writeBuffers();
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), ','), k + 1);
    std::string line = "Debug: Microcode Download Failed [offset: " + std::to_string(k * 8192) +
                       ", segment: " + std::to_string(k + 1) + "]\n";
    EXPECT_NE(log.find(line), nullptr) << line;
    EXPECT_TRUE(sasDrive(0).activatedImage().empty());
    EXPECT_TRUE(sasDrive(0).download().empty());
    EXPECT_EQ(revisionOf(*dev), "R001");
    EXPECT_NE(scratch_.read("machine.json").find("\"firmware\": \"R001\""), std::string::npos);
  }
  // The adapter fails the call of the last segment: the OS layer's status
  // comes back, and the drive drops the set rather than activate its start
  // at the next command.
  load(sasMachine(R"("maxTransfer": 8192)",
                  R"([{"ioctl": "IOCTL_SCSI_PASS_THROUGH_DIRECT", "after": 9, "times": 1, "error": 1117}])"));
  DevicePtr dev = device();
  EXPECT_EQ(downloadText(*dev, firmwareImage("R007", 4 * 8192), 0), "5.4.1");
  EXPECT_EQ(writeBuffers(), "7 0 8192, 7 8192 8192, 7 16384 8192, ");
  EXPECT_EQ(revisionOf(*device()), "R001");
  EXPECT_TRUE(sasDrive(0).activatedImage().empty());

  // An image without the mark; no image; beyond 16 MiB the 24-bit buffer
  // offsets could not place the segments, and nothing of it is read.
  load(sasMachine(""));
  dev = device();
  std::vector<u8> image = firmwareImage("R008", 4096);
  image[0] = 'W';
  EXPECT_EQ(downloadText(*dev, image, 0), "4.141.112");
  EXPECT_EQ(revisionOf(*dev), "R001");
  winsim::clearStorageTrace();
  bool refreshed = false, reboot = true;
  EXPECT_EQ(st(dev->downloadFirmware(image.data(), 0, &refreshed, &reboot, 0, false, 0)) + " " +
                st(dev->downloadFirmware(image.data(), (16u << 20) + 1, &refreshed, &reboot, 0, false, 0)),
            "4.142.4 4.142.4");
  EXPECT_FALSE(reboot);
  EXPECT_EQ(trace(), "");
}

TEST_F(ScsiDevice, PowerAnswersAndUnsupportedSlots) {
  DevicePtr dev = device();
  // Stopped: not ready, but not becoming ready either; the answer kept.
  u8 active = 0;
  auto power = [&] {
    std::string status = st(dev->getPowerMode(&active));
    return status + ":" + std::to_string(active);
  };
  EXPECT_EQ(inOrder({power(), st(dev->spinDown(0)), power(), st(dev->spinUp(0)), power()}),
            "0:1, 0, 4.141.138:1, 0, 0:1");

  OrvDevGenData<_OrvDataItem> items;
  bool trip = false;
  std::vector<OrvBuffer*> buffers;
  u32 format = 0, size = 0;
  winsim::clearStorageTrace();
  for (u64 status : {dev->getSmartReport(items, 0, 0, trip), dev->setFeature(5, 1),
                     dev->readLog(2, 0, buffers, &format, 0, 0, 0, 0), dev->getSectorSize(size), dev->formatUnit(0),
                     dev->flushCache(), dev->getIdentifyData(items, 1)})
    EXPECT_EQ(st(status), "4.103.83");
  EXPECT_FALSE(dev->isFeatureSupported(6));
  EXPECT_TRUE(dev->isSupportedDrive());
  EXPECT_EQ(trace(), "");

  load(sasMachine("", R"([{"scsi": 0, "sense": [2, 4, 1], "after": 1}])"));
  dev = device();
  EXPECT_NE(dev->getPowerMode(&active), 0u);
  EXPECT_EQ(active, 0);
}

TEST_F(ScsiDevice, VirtualDriveWriteBufferRules) {
  // The segment rules real drives keep: each step after a fresh first
  // segment where begun.
  std::vector<u8> image = firmwareImage("R003", 4096), piece(512, 0x11);
  EXPECT_EQ(writeBuffer(0x0E, 0, std::vector<u8>(image.begin(), image.begin() + 15)), "1 5 2600")
      << "the header comes whole in the first segment";
  // A download begins at offset 0; offsets on 512-byte boundaries, inside
  // the 16 MiB buffer, buffer id 0; modes are not mixed; a hole leaves
  // nothing to activate; the whole image starts at offset 0; unknown modes
  // are refused.
  std::vector<u8> head(image.begin(), image.begin() + 1024);
  struct Step {
    bool begin;
    u8 mode;
    u32 offset;
    std::vector<u8> data;
    u8 bufferId;
    const char* outcome;
  } steps[] = {
      {false, 0x0E, 512, piece, 0, "1 5 2C00"},           {true, 0x0E, 1000, piece, 0, "1 5 2400"},
      {true, 0x0E, (16u << 20) - 512, std::vector<u8>(1024), 0, "1 5 2400"},
      {false, 0x0E, 0, image, 1, "1 5 2400"},              {true, 0x07, 1024, piece, 0, "1 5 2C00"},
      {true, 0x0E, 2048, piece, 0, kOk},                   {false, 0x0F, 0, {}, 0, "1 5 2C00"},
      {false, 0x05, 512, image, 0, "1 5 2400"},            {false, 0x02, 0, image, 0, "1 5 2400"},
  };
  for (const Step& step : steps) {
    if (step.begin) {
      ASSERT_EQ(writeBuffer(0x0E, 0, head), kOk);
    }
    EXPECT_EQ(writeBuffer(step.mode, step.offset, step.data, step.bufferId), step.outcome)
        << int(step.mode) << " at " << step.offset;
  }
  EXPECT_TRUE(sasDrive(0).download().empty()) << "a failed segment ends the download";
  EXPECT_EQ(revisionOf(*device()), "R001");

  // A 07h set is whole at the first command that does not continue it, not
  // at its last segment: dropped with a hole, else activated.
  for (u32 second : {2048u, 1024u}) {
    ASSERT_EQ(writeBuffer(0x07, 0, head), kOk);
    ASSERT_EQ(writeBuffer(0x07, second, piece), kOk);
    EXPECT_TRUE(sasDrive(0).activatedImage().empty()) << second;
    EXPECT_EQ(revisionOf(*device()), second == 1024 ? "R003" : "R001") << second;
    EXPECT_TRUE(sasDrive(0).download().empty()) << second;
  }
  EXPECT_EQ(sasDrive(0).activatedImage().size(), 1536u);
}

}  // namespace
