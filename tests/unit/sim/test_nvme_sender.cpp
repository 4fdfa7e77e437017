// The NVMe sender on Windows 10: the storage driver's protocol-specific
// queries, protocol command, set-feature requests and firmware requests.
#include <gtest/gtest.h>

#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

const char* windows10 = R"({"windows": "10.0", "drives": [
  {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001",
   "vendorOpcodes": [193]},
  {"bus": "nvme", "model": "MODEL D", "serial": "S5", "firmware": "REV00001",
   "activateWithoutReset": false, "firmwareSlots": 3, "firstSlotReadOnly": true}
]})";

constexpr u8 SECLIST = OSL_CMD_FLAG_NVME_SECLIST;
constexpr u8 EFFECTS = OSL_CMD_FLAG_NVME_EFFECTS;

class NvmeSender : public NvmeMachineTest {
 protected:
  void SetUp() override {
    NvmeMachineTest::SetUp();
    load(windows10);
    drive_ = open(0);
  }
  _OSL_PDEV* drive_ = nullptr;
};

TEST_F(NvmeSender, IdentifyThroughTheProtocolQuery) {
  LogCapture log;
  Answer answer = send(drive_, nvmeEntry(0x06, 0, {1}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(textAt(answer.data, 4, 20), "S4                  ");
  EXPECT_EQ(textAt(answer.data, 24, 7), "MODEL C");
  EXPECT_EQ(textAt(answer.data, 64, 8), "REV00001");
  EXPECT_EQ(littleEndian32(answer.data, 516), 1u);
  EXPECT_EQ(trace(), "STORAGE_QUERY_PROPERTY:49");
  EXPECT_EQ(sentEntry(0)[0], 0x06);
  EXPECT_EQ(sentEntry(0)[40], 0x01);
  EXPECT_NE(log.find("Info: NVMe Status code: 0x00, Status: 0x00\n"), nullptr);
  const LoggedLine* entry = log.find("Info: NVMe Completion queue entry: ");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text, "Info: NVMe Completion queue entry: " + std::string(16 * 3, ' ').replace(0, 48, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ") + "\n");

  // A namespace: CNS 0 with its id, the controller's namespace data.
  winsim::clearStorageTrace();
  answer = send(drive_, nvmeEntry(0x06, 1, {0}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(littleEndian32(answer.data, 0), 1953525168u);
  EXPECT_EQ(littleEndian32(sentEntry(0), 4), 1u);
  // A namespace the drive does not have fails the query (the wrapper of
  // every request raises the failure).
  answer = send(drive_, nvmeEntry(0x06, 7, {0}), 4096, 0, 0, 1);
  expectOslWord(answer.status, kCmdFile, 1);
}

TEST_F(NvmeSender, LogPageQueryCarriesTheOffset) {
  // Log 03h asked from byte 8 on: the query carries the offset.
  Answer answer = send(drive_, nvmeEntry(0x02, 0xFFFFFFFF, {0x007F0003, 0, 8, 0}), 512);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(trace(), "STORAGE_QUERY_PROPERTY:50");
  EXPECT_EQ(textAt(answer.data, 0, 8), "REV00001");  // slot 1
  EXPECT_EQ(sentEntry(0)[40], 0x03);
  EXPECT_EQ(littleEndian32(sentEntry(0), 48), 8u);
}

TEST_F(NvmeSender, FeatureQueryCarriesTheResultInTheResponse) {
  Answer answer = send(drive_, nvmeEntry(0x0A, 0, {0x04}), 0);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(littleEndian32(answer.response, 0), 343u);
  for (size_t i = 4; i < 16; ++i) EXPECT_EQ(answer.response[i], 0) << i;
  // The select field goes with the query.
  answer = send(drive_, nvmeEntry(0x0A, 0, {0x0306}), 0);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(sentEntry(1)[41], 0x03);
  EXPECT_EQ(littleEndian32(answer.response, 0), 1u);
}

TEST_F(NvmeSender, SetFeaturesThroughTheStorageRequests) {
  Answer answer = send(drive_, nvmeEntry(0x09, 0, {0x06, 0}), 0, 1);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_FALSE(nvmeDrive(0).writeCache());
  winsim::clearStorageTrace();
  answer = send(drive_, nvmeEntry(0x09, 0, {0x06, 1}), 0, 1);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(trace(), "DISK_GET_CACHE_INFORMATION DISK_SET_CACHE_INFORMATION");
  const std::vector<u8>& cache = winsim::storageTrace()[1].command;
  EXPECT_EQ(cache[1], 1);  // read cache
  EXPECT_EQ(cache[2], 1);  // write cache
  EXPECT_TRUE(nvmeDrive(0).writeCache());

  // 343 K is sent as 70 degrees; the controller sees 343 K again.
  winsim::clearStorageTrace();
  answer = send(drive_, nvmeEntry(0x09, 0, {0x04, 0x00010157}), 0, 1);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(trace(), "STORAGE_SET_TEMPERATURE_THRESHOLD");
  EXPECT_EQ(littleEndian32(sentEntry(0), 44) & 0xFFFF, 343u);
  answer = send(drive_, nvmeEntry(0x0A, 0, {0x04}), 0);
  EXPECT_EQ(littleEndian32(answer.response, 0), 343u);

  // Any other feature is refused before anything is sent.
  winsim::clearStorageTrace();
  expectOslWord(send(drive_, nvmeEntry(0x09, 0, {0x02, 1}), 0, 1).status, kNvmeFile, 185);
  EXPECT_EQ(trace(), "");
}

TEST_F(NvmeSender, RoutesOfOtherAdminCommands) {
  // A vendor command goes out as a protocol command only with the effects
  // flag and without the tunnel flag.
  LogCapture log;
  Answer answer = send(drive_, nvmeEntry(0xC1, 1, {5}), 512, 0, EFFECTS);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(trace(), "STORAGE_PROTOCOL_COMMAND");
  EXPECT_EQ(winsim::storageTrace()[0].timeout, 10u);
  EXPECT_EQ(sentEntry(0)[0], 0xC1);
  EXPECT_EQ(littleEndian32(sentEntry(0), 40), 5u);
  EXPECT_EQ(littleEndian32(answer.response, 0), 0xC1u);  // FixedProtocolReturnData
  EXPECT_NE(log.find("Info: NVMe Status code: 0x00, Status: 0x00\n"), nullptr);

  winsim::clearStorageTrace();
  expectOslWord(send(drive_, nvmeEntry(0xC1), 0, 1, EFFECTS | SECLIST).status, kNvmeFile, 83);
  expectOslWord(send(drive_, nvmeEntry(0xC1), 0, 1, 0).status, kNvmeFile, 83);
  expectOslWord(send(drive_, nvmeEntry(0x0C), 0, 1, EFFECTS).status, kNvmeFile, 83);
  expectOslWord(send(drive_, nvmeEntry(0x80, 1), 0, 1, 0).status, kNvmeFile, 83);
  EXPECT_EQ(trace(), "");

  // Firmware Commit with commit action 0 is sent on Windows 10.
  ASSERT_EQ(send(drive_, nvmeEntry(0x10, 0, {1}), 0, 1).status, 0u);
  EXPECT_EQ(trace(), "STORAGE_FIRMWARE_ACTIVATE");
}

TEST_F(NvmeSender, IoCommandsThroughScsi) {
  // A Read of 8 blocks becomes READ (16) with transfer length 8.
  Answer answer = send(drive_, nvmeEntry(0x02, 1, {0x1000, 0, 7}), 4096, 0, 0, 0, OSL_CMD_NVME_IO);
  ASSERT_EQ(answer.status, 0u);
  ASSERT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT");
  const std::vector<u8> cdb = {0x88, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 8, 0, 0};
  EXPECT_EQ(winsim::storageTrace()[0].command, cdb);
  // Flush has no SCSI counterpart.
  winsim::clearStorageTrace();
  expectOslWord(send(drive_, nvmeEntry(0x00, 1), 0, 1, 0, 0, OSL_CMD_NVME_IO).status, kNvmeFile, 83);
  EXPECT_EQ(trace(), "");
}

TEST_F(NvmeSender, FirmwareDownloadAndActivation) {
  std::vector<u8> image = firmwareImage("REV00002", 8192);
  for (u32 offset = 0; offset < image.size(); offset += 4096) {
    std::vector<u8> segment(image.begin() + offset, image.begin() + offset + 4096);
    Answer answer = send(drive_, nvmeEntry(0x11, 0, {4096 / 4 - 1, offset / 4}), 0, 1, 0, 0,
                         OSL_CMD_NVME_ADMIN, segment);
    ASSERT_EQ(answer.status, 0u);
  }
  EXPECT_EQ(trace(), "STORAGE_FIRMWARE_DOWNLOAD STORAGE_FIRMWARE_DOWNLOAD");
  EXPECT_EQ(littleEndian32(sentEntry(1), 44), 1024u);  // the second segment's dword offset
  EXPECT_EQ(littleEndian32(sentEntry(1), 40), 1023u);

  winsim::clearStorageTrace();
  Answer answer = send(drive_, nvmeEntry(0x10, 0, {(3u << 3) | 2}), 0, 1);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(trace(), "STORAGE_FIRMWARE_ACTIVATE");
  EXPECT_EQ(sentEntry(0)[40], (3u << 3) | 2);
  EXPECT_EQ(nvmeDrive(0).firmware(), "REV00002");
  EXPECT_EQ(nvmeDrive(0).activeSlot(), 2);
  EXPECT_EQ(nvmeDrive(0).slotRevision(1), "REV00001");

  // The next run sees the new revision in the descriptor.
  reload();
  _OSL_PDEV* again = open(0);
  alignas(8) u8 descriptor[OSL_DESCRIPTOR_LENGTH];
  ASSERT_EQ(osl_query_device_descriptor(again, descriptor), 0u);
  char revision[9];
  ASSERT_TRUE(osl_descriptor_text(descriptor, sizeof descriptor,
                                  reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(descriptor)->ProductRevisionOffset,
                                  8, revision));
  EXPECT_STREQ(revision, "REV00002");
}

TEST_F(NvmeSender, ActivationAtResetIsRebootRequired) {
  _OSL_PDEV* second = open(1);
  std::vector<u8> image = firmwareImage("REV00003", 4096);
  ASSERT_EQ(send(second, nvmeEntry(0x11, 0, {1023, 0}), 0, 1, 0, 0, OSL_CMD_NVME_ADMIN, image).status, 0u);
  LogCapture log;
  Answer answer = send(second, nvmeEntry(0x10, 0, {(1u << 3) | 2}), 0, 1);
  expectOslWord(answer.status, kNvmeFile, 45);
  const LoggedLine* failure = log.find("Error: IOCTL Failure: (error: 197127)\n");
  ASSERT_NE(failure, nullptr);
  EXPECT_EQ(failure->level, OSL_LOG_ERROR);
  EXPECT_EQ(nvmeDrive(1).firmware(), "REV00001");
  EXPECT_EQ(nvmeDrive(1).pendingSlot(), 2);

  // The pending activation is kept across runs, and a reset applies it.
  reload();
  EXPECT_EQ(nvmeDrive(1).pendingSlot(), 2);
  EXPECT_EQ(nvmeDrive(1).slotRevision(2), "REV00003");
  nvmeDrive(1).reset();
  EXPECT_EQ(nvmeDrive(1).firmware(), "REV00003");
  EXPECT_EQ(nvmeDrive(1).pendingSlot(), 0);
}

TEST_F(NvmeSender, FailuresAndTheirLogLevels) {
  // Commit of an image that was never downloaded: the request fails.
  LogCapture log;
  expectOslWord(send(drive_, nvmeEntry(0x10, 0, {(3u << 3) | 2}), 0, 1).status, kCmdFile, 1);
  EXPECT_NE(log.find("Error: IOCTL Failure: (error: 1117)\n"), nullptr);

  // A query the controller fails: logged at Error, or as a Warning when
  // the failure was expected; the completion lines follow at Error or Info.
  load(R"({"drives": [{"bus": "nvme"}],
           "faults": [{"nvme": 6, "cns": 1, "statusCode": 6},
                      {"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 50, "error": 21}]})");
  drive_ = open(0);
  log.clear();
  Answer answer = send(drive_, nvmeEntry(0x06, 0, {1}), 4096);
  expectOslWord(answer.status, kCmdFile, 1);
  const LoggedLine* failure = log.find("Error: IOCTL Failure: (error: 1117)\n");
  ASSERT_NE(failure, nullptr);
  EXPECT_EQ(failure->level, OSL_LOG_ERROR);
  const LoggedLine* status = log.find("Error: NVMe Status code: 0x00, Status: 0x00\n");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->level, OSL_LOG_ERROR);

  log.clear();
  answer = send(drive_, nvmeEntry(0x02, 0, {0x007F0002}), 512, 0, 0, 1);
  expectOslWord(answer.status, kCmdFile, 1);
  failure = log.find("Warning: IOCTL Failure: (error: 21)\n");
  ASSERT_NE(failure, nullptr);
  EXPECT_EQ(failure->level, OSL_LOG_WARNING);
  status = log.find("Info: NVMe Status code: ");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->level, OSL_LOG_INFO);
}

TEST_F(NvmeSender, FirmwareRequestFailuresAreAlwaysErrors) {
  load(R"({"drives": [{"bus": "nvme"}],
           "faults": [{"ioctl": "IOCTL_STORAGE_FIRMWARE_DOWNLOAD", "times": 1}]})");
  drive_ = open(0);
  std::vector<u8> image = firmwareImage("REV00002", 4096);
  LogCapture log;
  // The firmware requests have no ignore flag.
  Answer answer = send(drive_, nvmeEntry(0x11, 0, {1023, 0}), 0, 1, 0, 1, OSL_CMD_NVME_ADMIN, image);
  expectOslWord(answer.status, kCmdFile, 1);
  const LoggedLine* failure = log.find("Error: IOCTL Failure: (error: 31)\n");
  ASSERT_NE(failure, nullptr);
  EXPECT_EQ(failure->level, OSL_LOG_ERROR);
  EXPECT_TRUE(nvmeDrive(0).download().empty());
}

TEST_F(NvmeSender, DriverReportsTheFirmwareSlots) {
  HANDLE handle = CreateFileW(OSL_W("\\\\.\\PHYSICALDRIVE1"), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  STORAGE_HW_FIRMWARE_INFO_QUERY query = {sizeof query, sizeof query, 0, 0};
  alignas(8) u8 answer[1024] = {};
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(handle, IOCTL_STORAGE_FIRMWARE_GET_INFO, &query, sizeof query, answer,
                              sizeof answer, &returned, nullptr));
  const auto* info = reinterpret_cast<const STORAGE_HW_FIRMWARE_INFO*>(answer);
  EXPECT_EQ(info->SlotCount, 3);
  EXPECT_EQ(info->ActiveSlot, 1);
  EXPECT_EQ(info->PendingActivateSlot, 0xFF);
  EXPECT_EQ(info->Slot[0].ReadOnly, 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info->Slot[0].Revision), 8), "REV00001");
  EXPECT_EQ(info->Slot[1].Revision[0], 0);
  EXPECT_EQ(returned, offsetof(STORAGE_HW_FIRMWARE_INFO, Slot) + 3 * sizeof(STORAGE_HW_FIRMWARE_SLOT_INFO));
  CloseHandle(handle);
}

TEST_F(NvmeSender, NothingIsSentBeforeWindows8) {
  load(R"({"windows": "6.1", "drives": [{"bus": "nvme"}]})");
  drive_ = open(0);
  for (u8 opcode : {0x06, 0x02, 0x10, 0x11, 0x81})
    expectOslWord(send(drive_, nvmeEntry(opcode, 0, {1}), 512).status, kNvmeFile, 43);
  expectOslWord(send(drive_, nvmeEntry(0x02, 1), 512, 0, 0, 0, OSL_CMD_NVME_IO).status, kNvmeFile, 43);
  EXPECT_EQ(trace(), "");
}

}  // namespace
