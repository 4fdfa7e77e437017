// The NVMe sender: on Windows 10 the storage driver's protocol-specific
// queries, protocol command, set-feature and firmware requests; before it
// the command tunnel, the identify data and slot log made up from SCSI
// answers, the miniport firmware requests and the probe of the routing flags.
#include <gtest/gtest.h>

#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"
#include "winsim/machine.h"

namespace {

const char* windows10 = R"({"windows": "10.0", "drives": [
  {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001", "vendorOpcodes": [193]},
  {"bus": "nvme", "model": "MODEL D", "serial": "S5", "firmware": "REV00001",
   "activateWithoutReset": false, "firmwareSlots": 3, "firstSlotReadOnly": true}]})";

const char* windows81 = R"({"windows": "6.3", "drives": [
  {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001"},
  {"bus": "nvme", "model": "MODEL T", "serial": "S6", "firmware": "REV00001", "tunnel": true, "formatBusy": 3},
  {"bus": "nvme", "model": "MODEL R", "serial": "S7", "firmware": "REV00001",
   "securityCommands": false, "firmwareSlots": 2, "activateWithoutReset": false}]})";

constexpr u8 SECLIST = OSL_CMD_FLAG_NVME_SECLIST;
constexpr u8 EFFECTS = OSL_CMD_FLAG_NVME_EFFECTS;

// Serial, model and revision of Identify Controller data.
std::string identifyNames(const std::vector<u8>& data) {
  return textAt(data, 4, 20) + "|" + textAt(data, 24, 8) + "|" + textAt(data, 64, 8);
}

std::string command(size_t index) {
  const std::vector<u8>& bytes = winsim::storageTrace().at(index).command;
  std::string text;
  for (u8 byte : bytes) text += (text.empty() ? "" : " ") + std::to_string(byte);
  return text;
}

class NvmeSender : public NvmeMachineTest {
 protected:
  u64 download(_OSL_PDEV* drive, const std::vector<u8>& piece, u32 offset, u8 ignoreError = 0) {
    return send(drive, nvmeEntry(0x11, 0, {static_cast<u32>(piece.size() / 4 - 1), offset / 4}), 0, 1, 0,
                ignoreError, OSL_CMD_NVME_ADMIN, piece)
        .status;
  }
};

TEST_F(NvmeSender, IdentifyAndLogsThroughTheProtocolQuery) {
  load(windows10);
  _OSL_PDEV* drive = open(0);
  LogCapture log;
  Answer answer = send(drive, nvmeEntry(0x06, 0, {1}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(identifyNames(answer.data), "S4                  |MODEL C |REV00001");
  EXPECT_EQ(littleEndian32(answer.data, 516), 1u);
  EXPECT_EQ(trace(), "STORAGE_QUERY_PROPERTY:49");
  EXPECT_EQ(sentEntry(0)[0] * 256 + sentEntry(0)[40], 0x0601);
  auto zeros = [](int count) {
    std::string text;
    while (count-- > 0) text += "00 ";
    return text;
  };
  EXPECT_EQ(log.text(), "\nInfo: CDB: 06 " + zeros(39) + "01 " + zeros(23) +
                            "\nInfo: NVMe Status code: 0x00, Status: 0x00\n"
                            "Info: NVMe Completion queue entry: " + zeros(16) + "\n\n");

  // A namespace: CNS 0 with its id, the controller's namespace data; one the
  // drive does not have fails the query.
  winsim::clearStorageTrace();
  answer = send(drive, nvmeEntry(0x06, 1, {0}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(littleEndian32(answer.data, 0), 1953525168u);
  EXPECT_EQ(littleEndian32(sentEntry(0), 4), 1u);
  expectOslWord(send(drive, nvmeEntry(0x06, 7, {0}), 4096, 0, 0, 1).status, kCmdFile, 1);

  // Log 03h asked from byte 8 on: the query carries the offset, so the
  // answer starts with slot 1's revision.
  winsim::clearStorageTrace();
  answer = send(drive, nvmeEntry(0x02, 0xFFFFFFFF, {0x007F0003, 0, 8, 0}), 512);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(trace(), "STORAGE_QUERY_PROPERTY:50");
  EXPECT_EQ(textAt(answer.data, 0, 8), "REV00001");
  EXPECT_EQ(sentEntry(0)[40], 0x03);
  EXPECT_EQ(littleEndian32(sentEntry(0), 48), 8u);

  // A feature query carries the result in the response; the select field
  // goes with it.
  answer = send(drive, nvmeEntry(0x0A, 0, {0x04}), 0);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.response, (std::vector<u8>{0x57, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  answer = send(drive, nvmeEntry(0x0A, 0, {0x0306}), 0);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(sentEntry(2)[41], 0x03);
  EXPECT_EQ(littleEndian32(answer.response, 0), 1u);
}

TEST_F(NvmeSender, SetFeaturesThroughTheStorageRequests) {
  load(windows10);
  _OSL_PDEV* drive = open(0);
  ASSERT_EQ(send(drive, nvmeEntry(0x09, 0, {0x06, 0}), 0, 1).status, 0u);
  EXPECT_FALSE(nvmeDrive(0).writeCache());
  winsim::clearStorageTrace();
  ASSERT_EQ(send(drive, nvmeEntry(0x09, 0, {0x06, 1}), 0, 1).status, 0u);
  EXPECT_EQ(trace(), "DISK_GET_CACHE_INFORMATION DISK_SET_CACHE_INFORMATION");
  const std::vector<u8>& cache = winsim::storageTrace()[1].command;
  EXPECT_EQ(cache[1] * 10 + cache[2], 11) << "read and write cache";
  EXPECT_TRUE(nvmeDrive(0).writeCache());

  // 343 K is sent as 70 degrees; the controller sees 343 K again.
  winsim::clearStorageTrace();
  ASSERT_EQ(send(drive, nvmeEntry(0x09, 0, {0x04, 0x00010157}), 0, 1).status, 0u);
  EXPECT_EQ(trace(), "STORAGE_SET_TEMPERATURE_THRESHOLD");
  EXPECT_EQ(littleEndian32(sentEntry(0), 44) & 0xFFFF, 343u);
  EXPECT_EQ(littleEndian32(send(drive, nvmeEntry(0x0A, 0, {0x04}), 0).response, 0), 343u);

  // Any other feature is refused before anything is sent.
  winsim::clearStorageTrace();
  expectOslWord(send(drive, nvmeEntry(0x09, 0, {0x02, 1}), 0, 1).status, kNvmeFile, 185);
  EXPECT_EQ(trace(), "");
}

TEST_F(NvmeSender, RoutesOfOtherCommands) {
  load(windows10);
  _OSL_PDEV* drive = open(0);
  // A vendor command goes out as a protocol command only with the effects
  // flag and without the tunnel flag.
  LogCapture log;
  Answer answer = send(drive, nvmeEntry(0xC1, 1, {5}), 512, 0, EFFECTS);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(trace(), "STORAGE_PROTOCOL_COMMAND");
  EXPECT_EQ(winsim::storageTrace()[0].timeout, 10u);
  EXPECT_EQ(sentEntry(0)[0], 0xC1);
  EXPECT_EQ(littleEndian32(sentEntry(0), 40), 5u);
  EXPECT_EQ(littleEndian32(answer.response, 0), 0xC1u);  // FixedProtocolReturnData
  EXPECT_EQ(levelOf(log, "Info: NVMe Status code: 0x00, Status: 0x00\n"), OSL_LOG_INFO);
  // Data to the drive travels with the entry and reaches the controller whole.
  std::vector<u8> outgoing(520);
  for (size_t i = 0; i < outgoing.size(); ++i) outgoing[i] = static_cast<u8>(i * 7 + 1);
  nvmeDrive(0).forgetReceived();
  answer = send(drive, nvmeEntry(0xC1, 1, {6}), 0, 1, EFFECTS, 0, OSL_CMD_NVME_ADMIN, outgoing);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(winsim::storageTrace().back().dataLength, 520u);
  ASSERT_EQ(nvmeDrive(0).received().size(), 1u);
  EXPECT_EQ(nvmeDrive(0).received()[0].data, outgoing);
  EXPECT_EQ(littleEndian32(nvmeDrive(0).received()[0].command, 40), 6u);
  EXPECT_EQ(answer.data, outgoing) << "the caller's data is left as it was";

  winsim::clearStorageTrace();
  expectOslWord(send(drive, nvmeEntry(0xC1), 0, 1, EFFECTS | SECLIST).status, kNvmeFile, 83);
  expectOslWord(send(drive, nvmeEntry(0xC1), 0, 1, 0).status, kNvmeFile, 83);
  expectOslWord(send(drive, nvmeEntry(0x0C), 0, 1, EFFECTS).status, kNvmeFile, 83);
  expectOslWord(send(drive, nvmeEntry(0x80, 1), 0, 1, 0).status, kNvmeFile, 83);
  // Flush has no SCSI counterpart.
  expectOslWord(send(drive, nvmeEntry(0x00, 1), 0, 1, 0, 0, OSL_CMD_NVME_IO).status, kNvmeFile, 83);
  EXPECT_EQ(trace(), "");

  // A Read of 8 blocks becomes READ (16) with transfer length 8.
  ASSERT_EQ(send(drive, nvmeEntry(0x02, 1, {0x1000, 0, 7}), 4096, 0, 0, 0, OSL_CMD_NVME_IO).status, 0u);
  ASSERT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT");
  EXPECT_EQ(command(0), "136 0 0 0 0 0 0 0 16 0 0 0 0 8 0 0");

  // Firmware Commit with commit action 0 is sent on Windows 10.
  winsim::clearStorageTrace();
  ASSERT_EQ(send(drive, nvmeEntry(0x10, 0, {1}), 0, 1).status, 0u);
  EXPECT_EQ(trace(), "STORAGE_FIRMWARE_ACTIVATE");

  // Nothing at all is sent before Windows 8.
  load(R"({"windows": "6.1", "drives": [{"bus": "nvme"}]})");
  drive = open(0);
  for (u8 opcode : {0x06, 0x02, 0x10, 0x11, 0x81})
    expectOslWord(send(drive, nvmeEntry(opcode, 0, {1}), 512).status, kNvmeFile, 43);
  expectOslWord(send(drive, nvmeEntry(0x02, 1), 512, 0, 0, 0, OSL_CMD_NVME_IO).status, kNvmeFile, 43);
  EXPECT_EQ(trace(), "");
}

TEST_F(NvmeSender, FirmwareDownloadAndActivation) {
  load(windows10);
  _OSL_PDEV* drive = open(0);
  std::vector<u8> image = firmwareImage("REV00002", 8192);
  for (u32 offset = 0; offset < image.size(); offset += 4096)
    ASSERT_EQ(download(drive, std::vector<u8>(image.begin() + offset, image.begin() + offset + 4096), offset), 0u);
  EXPECT_EQ(trace(), "STORAGE_FIRMWARE_DOWNLOAD STORAGE_FIRMWARE_DOWNLOAD");
  // The second segment's dword count and offset.
  EXPECT_EQ(littleEndian32(sentEntry(1), 40) * 10000 + littleEndian32(sentEntry(1), 44), 10231024u);

  winsim::clearStorageTrace();
  ASSERT_EQ(send(drive, nvmeEntry(0x10, 0, {(3u << 3) | 2}), 0, 1).status, 0u);
  EXPECT_EQ(trace(), "STORAGE_FIRMWARE_ACTIVATE");
  EXPECT_EQ(sentEntry(0)[40], (3u << 3) | 2);
  EXPECT_EQ(nvmeDrive(0).firmware() + nvmeDrive(0).slotRevision(1), "REV00002REV00001");
  EXPECT_EQ(nvmeDrive(0).activeSlot(), 2);

  // The next run sees the new revision in the descriptor.
  reload();
  alignas(8) u8 descriptor[OSL_DESCRIPTOR_LENGTH];
  ASSERT_EQ(osl_query_device_descriptor(open(0), descriptor), 0u);
  char revision[9];
  ASSERT_TRUE(osl_descriptor_text(descriptor, sizeof descriptor,
                                  reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(descriptor)->ProductRevisionOffset,
                                  8, revision));
  EXPECT_STREQ(revision, "REV00002");

  // Activation at reset is "reboot required": kept across runs, applied by
  // a reset.
  _OSL_PDEV* second = open(1);
  ASSERT_EQ(download(second, firmwareImage("REV00003", 4096), 0), 0u);
  LogCapture log;
  expectOslWord(send(second, nvmeEntry(0x10, 0, {(1u << 3) | 2}), 0, 1).status, kNvmeFile, 45);
  EXPECT_EQ(levelOf(log, "Error: IOCTL Failure: (error: 197127)\n"), OSL_LOG_ERROR);
  EXPECT_EQ(nvmeDrive(1).firmware(), "REV00001");
  EXPECT_EQ(nvmeDrive(1).pendingSlot(), 2);
  reload();
  EXPECT_EQ(nvmeDrive(1).pendingSlot(), 2);
  EXPECT_EQ(nvmeDrive(1).slotRevision(2), "REV00003");
  nvmeDrive(1).reset();
  EXPECT_EQ(nvmeDrive(1).firmware(), "REV00003");
  EXPECT_EQ(nvmeDrive(1).pendingSlot(), 0);

}

TEST_F(NvmeSender, FailuresAndTheirLogLevels) {
  // Commit of an image that was never downloaded: the request fails.
  load(windows10);
  LogCapture log;
  expectOslWord(send(open(0), nvmeEntry(0x10, 0, {(3u << 3) | 2}), 0, 1).status, kCmdFile, 1);
  EXPECT_NE(log.find("Error: IOCTL Failure: (error: 1117)\n"), nullptr);

  // A query the controller fails: logged at Error, or as a Warning when the
  // failure was expected; the completion lines follow at Error or Info.
  load(R"({"drives": [{"bus": "nvme"}],
           "faults": [{"nvme": 6, "cns": 1, "statusCode": 6},
                      {"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 50, "error": 21},
                      {"ioctl": "IOCTL_STORAGE_FIRMWARE_DOWNLOAD", "times": 1}]})");
  _OSL_PDEV* drive = open(0);
  log.clear();
  expectOslWord(send(drive, nvmeEntry(0x06, 0, {1}), 4096).status, kCmdFile, 1);
  EXPECT_EQ(levelOf(log, "Error: IOCTL Failure: (error: 1117)\n"), OSL_LOG_ERROR);
  EXPECT_EQ(levelOf(log, "Error: NVMe Status code: 0x00, Status: 0x00\n"), OSL_LOG_ERROR);
  log.clear();
  expectOslWord(send(drive, nvmeEntry(0x02, 0, {0x007F0002}), 512, 0, 0, 1).status, kCmdFile, 1);
  EXPECT_EQ(levelOf(log, "Warning: IOCTL Failure: (error: 21)\n"), OSL_LOG_WARNING);
  EXPECT_EQ(levelOf(log, "Info: NVMe Status code: "), OSL_LOG_INFO);

  // The firmware requests have no ignore flag: always errors.
  log.clear();
  expectOslWord(download(drive, firmwareImage("REV00002", 4096), 0, 1), kCmdFile, 1);
  EXPECT_EQ(levelOf(log, "Error: IOCTL Failure: (error: 31)\n"), OSL_LOG_ERROR);
  EXPECT_TRUE(nvmeDrive(0).download().empty());
}

TEST_F(NvmeSender, IdentifyAndSlotLogMadeUpBeforeWindows10) {
  load(windows81);
  _OSL_PDEV* drive = open(0);
  Answer answer = send(drive, nvmeEntry(0x06, 0, {1}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(identifyNames(answer.data), std::string("S4") + std::string(18, '\0') + "|MODEL C" + '\0' + "|REV00001");
  // Firmware and security commands, two writable slots; nothing else.
  EXPECT_EQ(answer.data[256] * 256 + answer.data[260], 0x0504);
  answer.data[256] = answer.data[260] = 0;
  EXPECT_EQ(std::vector<u8>(answer.data.begin() + 72, answer.data.end()), std::vector<u8>(4096 - 72, 0));
  EXPECT_EQ(trace(), "STORAGE_QUERY_PROPERTY:0 SCSI_MINIPORT SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT");
  EXPECT_EQ(command(2), "162 0 0 0 0 0 0 0 2 0 0 0") << "the security protocol list";
  EXPECT_EQ(winsim::storageTrace()[2].timeout, 86400u) << "the probe waits as long as it takes";
  EXPECT_EQ(winsim::storageTrace()[2].dataLength, 512u);
  EXPECT_EQ(command(3), "18 1 128 2 0 0") << "the serial number page";
  // Security answer failing, two writable slots: OACS 04h and FRMW 04h.
  answer = send(open(2), nvmeEntry(0x06, 0, {1}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data[256] * 256 + answer.data[260], 0x0404);
  // Any other identify: success and no data.
  answer = send(drive, nvmeEntry(0x06, 1, {0}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data, std::vector<u8>(4096, 0));

  // The slot log: no pending slot; slot 2 pending with slot 1 active gives 21h.
  winsim::clearStorageTrace();
  answer = send(drive, nvmeEntry(0x02, 0, {0x007F0003}), 512);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data[0], 0x01);
  EXPECT_EQ(textAt(answer.data, 8, 8), "REV00001");
  EXPECT_EQ(trace(), "SCSI_MINIPORT");
  nvmeDrive(0).keepNumber("pendingSlot", 2);
  nvmeDrive(0).keep("slot2", "REV00009");
  answer = send(drive, nvmeEntry(0x02, 0, {0x007F0003}), 512);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data[0], 0x21);
  EXPECT_EQ(textAt(answer.data, 16, 8), "REV00009");
  // Other logs and other admin commands need the tunnel.
  winsim::clearStorageTrace();
  expectOslWord(send(drive, nvmeEntry(0x02, 0, {0x007F0002}), 512).status, kNvmeFile, 83);
  expectOslWord(send(drive, nvmeEntry(0x0A, 0, {0x06}), 0).status, kNvmeFile, 83);
  EXPECT_EQ(trace(), "");
}

TEST_F(NvmeSender, TunnelCarriesWholeEntries) {
  load(windows81);
  _OSL_PDEV* drive = open(1);
  std::vector<u8> entry = nvmeEntry(0x02, 0xFFFFFFFF, {0x007F0002});
  entry[1] = 0x40;                                // PRP/SGL selection
  for (int i = 24; i < 40; ++i) entry[i] = 0x77;  // data pointers
  LogCapture log;
  Answer answer = send(drive, entry, 512, 0, SECLIST);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data[3], 100);  // available spare of the health log
  EXPECT_EQ(std::vector<u8>(answer.entry.begin() + 24, answer.entry.begin() + 40), std::vector<u8>(16, 0));
  EXPECT_EQ(answer.entry[1], 0);
  ASSERT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT");
  EXPECT_EQ(command(0), "181 240 0 0 0 0 0 0 0 64 0 0");
  EXPECT_EQ(command(1), "162 240 0 0 0 0 0 0 2 64 0 0");
  EXPECT_EQ(levelOf(log, "Info: NVMe Status code: 0x00, Status: 0x00\n"), OSL_LOG_INFO);

  // Set Features with no data and Get Features through the tunnel.
  ASSERT_EQ(send(drive, nvmeEntry(0x09, 0, {0x06, 0}), 0, 1, SECLIST).status, 0u);
  answer = send(drive, nvmeEntry(0x0A, 0, {0x06}), 0, 1, SECLIST);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(littleEndian32(answer.response, 0), 0u);

  // A completion with an error: code 1, and the completion stays.
  log.clear();
  answer = send(drive, nvmeEntry(0x02, 0, {0x007F0042}), 512, 0, SECLIST);
  expectOslWord(answer.status, kNvmeFile, 1);
  EXPECT_EQ(littleEndian32(answer.response, 12) >> 17, 0x109u);
  EXPECT_EQ(levelOf(log, "Error: NVMe Status code: 0x01, Status: 0x09\n"), OSL_LOG_ERROR);
  send(drive, nvmeEntry(0x02, 0, {0x007F0042}), 512, 0, SECLIST, 1);
  EXPECT_EQ(levelOf(log, "Info: NVMe Status code: 0x01, Status: 0x09\n"), OSL_LOG_INFO);

  // A tunnel entry of another length is refused before anything is sent.
  winsim::clearStorageTrace();
  std::vector<u8> shortEntry(32, 0);
  expectOslWord(osl_nvme_tunnel_command(drive, shortEntry.data(), 32, 0, nullptr, 0, nullptr, 0, 0, false),
                kNvmeFile, 6);
  EXPECT_EQ(trace(), "");

  // The tunnel waits while the drive formats.
  unsigned long long before = winsim::Machine::current().clockMs;
  ASSERT_EQ(send(drive, nvmeEntry(0x80, 1, {0}), 0, 1, SECLIST).status, 0u);
  EXPECT_EQ(winsim::Machine::current().clockMs - before, 3000u);
  EXPECT_EQ(winsim::storageTrace().size(), 5u);
}

TEST_F(NvmeSender, MiniportFirmwareRequests) {
  load(windows81);
  _OSL_PDEV* drive = open(2);
  std::vector<u8> image = firmwareImage("REV00002", 4096);
  ASSERT_EQ(download(drive, image, 0), 0u);
  EXPECT_EQ(trace(), "SCSI_MINIPORT");
  EXPECT_EQ(winsim::storageTrace()[0].timeout, 10u);
  EXPECT_EQ(sentEntry(0)[0], 0x11);
  // Commit action 0 has no miniport request.
  winsim::clearStorageTrace();
  expectOslWord(send(drive, nvmeEntry(0x10, 0, {2}), 0, 1).status, kNvmeFile, 83);
  EXPECT_EQ(trace(), "");
  // This drive activates only at reset: return code 20h, code 45.
  expectOslWord(send(drive, nvmeEntry(0x10, 0, {(1u << 3) | 2}), 0, 1).status, kNvmeFile, 45);
  EXPECT_EQ(nvmeDrive(2).pendingSlot(), 2);
  EXPECT_EQ(nvmeDrive(2).slotRevision(2), "REV00002");

  // A segment the controller refuses comes back as the driver's return
  // code, and fails.
  load(R"({"windows": "6.3", "drives": [{"bus": "nvme"}],
           "faults": [{"nvme": 17, "statusType": 1, "statusCode": 20}]})");
  expectOslWord(download(open(0), image, 0), kNvmeFile, 1);
}

TEST_F(NvmeSender, ProbeMeasuresTheTwoFlags) {
  load(windows81);
  // (drive, bus) -> security list flag, effects log flag; no effects log
  // before Windows 10; SECURITY PROTOCOL IN rejected by drive 2; other
  // buses untouched.
  auto probe = [&](u32 number, osl_bus_type bus) {
    u8 securityList = 9, effectsLog = 9;
    osl_get_nvme_support_flags(open(number), bus, &securityList, &effectsLog);
    return std::to_string(securityList) + std::to_string(effectsLog);
  };
  EXPECT_EQ(probe(1, OSL_BUS_NVME) + probe(0, OSL_BUS_NVME) + probe(2, OSL_BUS_NVME) + probe(1, OSL_BUS_SAS),
            "10000099");
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme"}, {"bus": "nvme", "effectsLog": false}]})");
  EXPECT_EQ(probe(0, OSL_BUS_NVME).substr(1), "1");
  EXPECT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT STORAGE_QUERY_PROPERTY:49");
  EXPECT_EQ(probe(1, OSL_BUS_NVME).substr(1), "0");
}

TEST_F(NvmeSender, DrivesAreListedOnBus7) {
  load(R"({"windows": "10.0", "drives": [{"bus": "sata"}, {"bus": "nvme", "serial": "S4"},
           {"bus": "nvme", "serial": "0000_0000"}]})");
  static _osl_dev_info list;
  list = {};
  ASSERT_EQ(osl_list_drives(&list), 0u);
  EXPECT_EQ(list.count, 3);
  const _osl_dev_entry& nvme = list.entries[1];
  EXPECT_STREQ(nvme.id, "PHYSICALDRIVE1");
  EXPECT_STREQ(nvme.serial, "S4");
  EXPECT_EQ(std::to_string(nvme.commandBus) + " " + std::to_string(nvme.deviceType) + " " +
                std::to_string(nvme.physicalBus) + " " + std::to_string(nvme.medium) + " " +
                std::to_string(nvme.logicalUnit) + " " + std::to_string(nvme.usable),
            "7 3 7 1 0 1");
  EXPECT_EQ(list.entries[2].usable, 0) << "a placeholder serial on Windows 10";
}

}  // namespace
