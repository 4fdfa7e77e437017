// The SCSI side of the NVMe sender: the command tunnel, the identify data
// and slot log synthesized before Windows 10, the miniport firmware
// requests, and the probe that measures the two routing flags.
#include <gtest/gtest.h>

#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"
#include "winsim/machine.h"

namespace {

const char* windows81 = R"({"windows": "6.3", "drives": [
  {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001"},
  {"bus": "nvme", "model": "MODEL T", "serial": "S6", "firmware": "REV00001", "tunnel": true,
   "formatBusy": 3},
  {"bus": "nvme", "model": "MODEL R", "serial": "S7", "firmware": "REV00001",
   "securityCommands": false, "firmwareSlots": 2, "activateWithoutReset": false}
]})";

constexpr u8 SECLIST = OSL_CMD_FLAG_NVME_SECLIST;

class NvmeScsiSide : public NvmeMachineTest {
 protected:
  void SetUp() override {
    NvmeMachineTest::SetUp();
    load(windows81);
  }
};

TEST_F(NvmeScsiSide, SynthesizedIdentifyController) {
  _OSL_PDEV* drive = open(0);
  Answer answer = send(drive, nvmeEntry(0x06, 0, {1}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(textAt(answer.data, 4, 20), std::string("S4") + std::string(18, '\0'));
  EXPECT_EQ(textAt(answer.data, 24, 8), std::string("MODEL C") + '\0');
  EXPECT_EQ(textAt(answer.data, 64, 8), "REV00001");
  EXPECT_EQ(answer.data[256], 0x05);  // firmware and security commands
  EXPECT_EQ(answer.data[260], 0x04);  // two writable slots
  for (size_t i = 72; i < answer.data.size(); ++i) {
    if (i == 256 || i == 260) continue;
    ASSERT_EQ(answer.data[i], 0) << i;
  }
  EXPECT_EQ(trace(), "STORAGE_QUERY_PROPERTY:0 SCSI_MINIPORT SCSI_PASS_THROUGH_DIRECT "
                     "SCSI_PASS_THROUGH_DIRECT");
  const std::vector<u8> securityList = {0xA2, 0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0, 0};
  EXPECT_EQ(winsim::storageTrace()[2].command, securityList);
  const std::vector<u8> serialPage = {0x12, 0x01, 0x80, 0x02, 0x00, 0x00};
  EXPECT_EQ(winsim::storageTrace()[3].command, serialPage);

  // Security answer failing, two writable slots: OACS 04h and FRMW 04h.
  answer = send(open(2), nvmeEntry(0x06, 0, {1}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data[256], 0x04);
  EXPECT_EQ(answer.data[260], 0x04);

  // Any other identify: success and no data.
  answer = send(drive, nvmeEntry(0x06, 1, {0}), 4096);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data, std::vector<u8>(4096, 0));
}

TEST_F(NvmeScsiSide, SynthesizedFirmwareSlotLog) {
  _OSL_PDEV* drive = open(0);
  Answer answer = send(drive, nvmeEntry(0x02, 0, {0x007F0003}), 512);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data[0], 0x01);  // no pending slot
  EXPECT_EQ(textAt(answer.data, 8, 8), "REV00001");
  EXPECT_EQ(trace(), "SCSI_MINIPORT");

  // Slot 2 pending with slot 1 active gives 21h.
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

TEST_F(NvmeScsiSide, TunnelCarriesWholeEntries) {
  _OSL_PDEV* drive = open(1);
  std::vector<u8> entry = nvmeEntry(0x02, 0xFFFFFFFF, {0x007F0002});
  entry[1] = 0x40;                           // PRP/SGL selection
  for (int i = 24; i < 40; ++i) entry[i] = 0x77;  // data pointers
  LogCapture log;
  Answer answer = send(drive, entry, 512, 0, SECLIST);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data[3], 100);  // available spare of the health log
  EXPECT_EQ(answer.entry[1], 0);
  for (int i = 24; i < 40; ++i) EXPECT_EQ(answer.entry[i], 0) << i;
  ASSERT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT");
  const std::vector<u8> out = {0xB5, 0xF0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 0};
  const std::vector<u8> in = {0xA2, 0xF0, 0, 0, 0, 0, 0, 0, 0x02, 0x40, 0, 0};
  EXPECT_EQ(winsim::storageTrace()[0].command, out);
  EXPECT_EQ(winsim::storageTrace()[1].command, in);
  EXPECT_NE(log.find("Info: NVMe Status code: 0x00, Status: 0x00\n"), nullptr);

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
  const LoggedLine* status = log.find("Error: NVMe Status code: 0x01, Status: 0x09\n");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->level, OSL_LOG_ERROR);
  answer = send(drive, nvmeEntry(0x02, 0, {0x007F0042}), 512, 0, SECLIST, 1);
  EXPECT_NE(log.find("Info: NVMe Status code: 0x01, Status: 0x09\n"), nullptr);

  // A tunnel entry of another length is refused before anything is sent.
  winsim::clearStorageTrace();
  std::vector<u8> shortEntry(32, 0);
  expectOslWord(osl_nvme_tunnel_command(drive, shortEntry.data(), 32, 0, nullptr, 0, nullptr, 0,
                                        0, false),
                kNvmeFile, 6);
  EXPECT_EQ(trace(), "");
}

TEST_F(NvmeScsiSide, TunnelWaitsWhileTheDriveFormats) {
  _OSL_PDEV* drive = open(1);
  unsigned long long before = winsim::Machine::current().clockMs;
  Answer answer = send(drive, nvmeEntry(0x80, 1, {0}), 0, 1, SECLIST);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(winsim::Machine::current().clockMs - before, 3000u);
  EXPECT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT "
                     "SCSI_PASS_THROUGH_DIRECT SCSI_PASS_THROUGH_DIRECT");
}

TEST_F(NvmeScsiSide, MiniportFirmwareRequests) {
  _OSL_PDEV* drive = open(2);
  std::vector<u8> image = firmwareImage("REV00002", 4096);
  ASSERT_EQ(send(drive, nvmeEntry(0x11, 0, {1023, 0}), 0, 1, 0, 0, OSL_CMD_NVME_ADMIN, image).status,
            0u);
  EXPECT_EQ(trace(), "SCSI_MINIPORT");
  EXPECT_EQ(winsim::storageTrace()[0].timeout, 10u);
  EXPECT_EQ(sentEntry(0)[0], 0x11);

  // Commit action 0 has no miniport request.
  winsim::clearStorageTrace();
  expectOslWord(send(drive, nvmeEntry(0x10, 0, {2}), 0, 1).status, kNvmeFile, 83);
  EXPECT_EQ(trace(), "");

  // This drive activates only at reset: return code 20h, code 45.
  Answer answer = send(drive, nvmeEntry(0x10, 0, {(1u << 3) | 2}), 0, 1);
  expectOslWord(answer.status, kNvmeFile, 45);
  EXPECT_EQ(nvmeDrive(2).pendingSlot(), 2);
  EXPECT_EQ(nvmeDrive(2).slotRevision(2), "REV00002");

  // A segment the controller refuses comes back as the driver's return code,
  // and fails.
  load(R"({"windows": "6.3", "drives": [{"bus": "nvme"}],
           "faults": [{"nvme": 17, "statusType": 1, "statusCode": 20}]})");
  drive = open(0);
  expectOslWord(send(drive, nvmeEntry(0x11, 0, {1023, 0}), 0, 1, 0, 0, OSL_CMD_NVME_ADMIN, image).status,
                kNvmeFile, 1);
}

TEST_F(NvmeScsiSide, ProbeMeasuresTheTwoFlags) {
  u8 securityList = 9;
  u8 effectsLog = 9;
  osl_get_nvme_support_flags(open(1), OSL_BUS_NVME, &securityList, &effectsLog);
  EXPECT_EQ(securityList, 1);
  EXPECT_EQ(effectsLog, 0);  // not before Windows 10
  osl_get_nvme_support_flags(open(0), OSL_BUS_NVME, &securityList, &effectsLog);
  EXPECT_EQ(securityList, 0);
  osl_get_nvme_support_flags(open(2), OSL_BUS_NVME, &securityList, &effectsLog);
  EXPECT_EQ(securityList, 0);  // SECURITY PROTOCOL IN rejected
  securityList = effectsLog = 9;
  osl_get_nvme_support_flags(open(1), OSL_BUS_SAS, &securityList, &effectsLog);
  EXPECT_EQ(securityList, 9);
  EXPECT_EQ(effectsLog, 9);

  load(R"({"windows": "10.0", "drives": [{"bus": "nvme"}, {"bus": "nvme", "effectsLog": false}]})");
  osl_get_nvme_support_flags(open(0), OSL_BUS_NVME, &securityList, &effectsLog);
  EXPECT_EQ(effectsLog, 1);
  EXPECT_EQ(trace(), "SCSI_PASS_THROUGH_DIRECT STORAGE_QUERY_PROPERTY:49");
  osl_get_nvme_support_flags(open(1), OSL_BUS_NVME, &securityList, &effectsLog);
  EXPECT_EQ(effectsLog, 0);
}

TEST_F(NvmeScsiSide, DrivesAreListedOnBus7) {
  load(R"({"windows": "10.0", "drives": [{"bus": "sata"}, {"bus": "nvme", "serial": "S4"},
           {"bus": "nvme", "serial": "0000_0000"}]})");
  static _osl_dev_info list;
  list = {};
  ASSERT_EQ(osl_list_drives(&list), 0u);
  EXPECT_EQ(list.count, 3);
  const _osl_dev_entry& nvme = list.entries[1];
  EXPECT_STREQ(nvme.id, "PHYSICALDRIVE1");
  EXPECT_EQ(nvme.commandBus, 7u);
  EXPECT_EQ(nvme.deviceType, 3u);
  EXPECT_EQ(nvme.physicalBus, 7u);
  EXPECT_EQ(nvme.medium, 1u);
  EXPECT_EQ(nvme.logicalUnit, 0);
  EXPECT_EQ(nvme.usable, 1);
  EXPECT_STREQ(nvme.serial, "S4");
  EXPECT_EQ(list.entries[2].usable, 0);  // a placeholder serial on Windows 10
}

}  // namespace
