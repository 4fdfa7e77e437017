// The ATA and SCSI senders against the simulated drives: what reaches the
// storage stack, what comes back, the status words and the log lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "osl/osl_sata.h"
#include "osl/osl_scsi.h"
#include "unit/log_capture.h"
#include "unit/sim/drive_list_helpers.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

namespace {


// An ATA register block, 48-bit when ext.
std::vector<u8> ataBlock(u8 command, bool ext = false) {
  std::vector<u8> block(16, 0);
  block[OSL_ATA_COMMAND] = command;
  block[OSL_ATA_DEVICE] = 0xA0;
  if (ext) block[OSL_ATA_COMMAND + 1] = command;
  return block;
}

// An ATA PASS-THROUGH (16) of IDENTIFY DEVICE: PIO data-in, one block.
std::vector<u8> passThroughIdentify(bool checkCondition) {
  return {0x85, 0x08, static_cast<u8>(checkCondition ? 0x2E : 0x0E), 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
}

const std::vector<u8> inquiry = {0x12, 0x00, 0x00, 0x00, 0x60, 0x00};

// The text of an ATA IDENTIFY string field.
std::string identifyText(const std::vector<u8>& data, unsigned word, unsigned length) {
  std::string text;
  for (unsigned i = 0; i < length; i += 2) {
    text += static_cast<char>(data[word * 2 + i + 1]);
    text += static_cast<char>(data[word * 2 + i]);
  }
  return text;
}

class Senders : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(kThreeDrives);
  }
  void TearDown() override {
    for (_OSL_PDEV* drive : open_) osl_close_device(drive);
    MachineTest::TearDown();
  }

  _OSL_PDEV* drive(u32 number) {
    _OSL_PDEV* opened = osl_open_device(("PHYSICALDRIVE" + std::to_string(number)).c_str());
    EXPECT_NE(opened, nullptr);
    open_.push_back(opened);
    winsim::clearStorageTrace();
    return opened;
  }

  struct Answer {
    u64 status;
    std::vector<u8> data;
    std::vector<u8> response;
  };

  // One request through the dispatcher; data starts filled with 0xAA and
  // the response with 0xEE, so that what was written shows.
  Answer send(_OSL_PDEV* target, osl_bus_type bus, const std::vector<u8>& block, u8 dataIn, u32 dataLength,
              u16 responseLength, u8 flags = 0, u8 ignoreError = 0) {
    Answer answer{0, std::vector<u8>(dataLength, 0xAA), std::vector<u8>(64, 0xEE)};
    std::vector<u8> command = block;
    _osl_dev_cmd request = {};
    request.command = command.data();
    request.commandLength = static_cast<u8>(command.size());
    request.direction = dataIn;
    request.data = dataLength ? answer.data.data() : nullptr;
    request.dataLength = dataLength;
    request.response = answer.response.data();
    request.responseLength = responseLength;
    request.ignoreError = ignoreError;
    request.flags = flags;
    answer.status = osl_send_command(target, &request, bus, bus == OSL_BUS_SATA ? OSL_CMD_ATA : OSL_CMD_SCSI);
    return answer;
  }

  // The requests sent since the trace was cleared, one a line.
  static std::string sent() {
    std::string lines;
    for (const winsim::StorageRequest& r : winsim::storageTrace())
      lines += r.name.substr(6) + " flags " + std::to_string(r.ataFlags) + " in " + std::to_string(r.dataIn) +
               " data " + std::to_string(r.dataLength) + " timeout " + std::to_string(r.timeout) + " status " +
               std::to_string(r.scsiStatus) + " error " + std::to_string(r.error) + ": " + hex(r.command) + "\n";
    return lines;
  }

 private:
  std::vector<_OSL_PDEV*> open_;
};

TEST_F(Senders, IdentifyThroughTheAtaInterface) {
  _OSL_PDEV* sata = drive(0);
  LogCapture log;
  Answer answer = send(sata, OSL_BUS_SATA, ataBlock(0xEC), 1, 512, 16);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(identifyText(answer.data, 27, 40), "MODEL A" + std::string(33, ' '));
  EXPECT_EQ(identifyText(answer.data, 23, 8), "REV00001");
  EXPECT_EQ(answer.response[OSL_ATA_COMMAND], 0x50);
  EXPECT_EQ(answer.response[OSL_ATA_DEVICE], 0xA0);
  EXPECT_EQ(answer.response[16], 0xEE);  // 16 bytes written, no more
  EXPECT_EQ(sent(), "ATA_PASS_THROUGH_DIRECT flags 35 in 0 data 512 timeout 86400 status 0 error 0: " +
                        hex(ataBlock(0xEC)) + "\n");
  EXPECT_EQ(log.text(),
            "\nInfo: CDB: 00 00 00 00 00 00 00 00 00 00 a0 00 ec 00 00 00 \n"
            "Info: ATA Flags: 0023; Transfer Length: 512\n"
            "Info: [0:0:0] ATA Status: 80\n"
            "Info: ATA Response [Error : 0x00] [Count : 0x0000] [LBA : 0x000000000000] "
            "[Device : 0xa0] [Status : 0x50]\n\n");

  std::vector<u8> block = ataBlock(0x2F, true);  // READ LOG EXT of the log directory
  block[OSL_ATA_COUNT] = 1;
  block[OSL_ATA_LBA_LOW + 1] = 0xAB;  // LBA bits 31:24 and 39:32 are reserved here
  block[OSL_ATA_LBA_MID + 1] = 0xCD;
  log.clear();
  winsim::clearStorageTrace();
  answer = send(sata, OSL_BUS_SATA, block, 1, 512, 16);
  ASSERT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.data[0], 0x01);  // log directory version
  EXPECT_NE(log.find("Info: ATA Response [Error : 0x00] [Count : 0x0001] [LBA : 0x00cdab000000] "
                     "[Device : 0xa0] [Status : 0x50]\n"),
            nullptr);
  // Data to the drive without data still says so.
  send(sata, OSL_BUS_SATA, ataBlock(0xEF), 0, 0, 16);
  EXPECT_EQ(sent(), "ATA_PASS_THROUGH_DIRECT flags 43 in 0 data 512 timeout 86400 status 0 error 0: " + hex(block) +
                        "\nATA_PASS_THROUGH_DIRECT flags 37 in 0 data 0 timeout 86400 status 0 error 0: " +
                        hex(ataBlock(0xEF)) + "\n");
}

TEST_F(Senders, AtaFailures) {
  load(R"({"drives": [{"bus": "sata"}], "faults": [{"ata": 236}]})");
  _OSL_PDEV* sata = drive(0);
  for (u8 ignore : {u8{0}, u8{1}}) {
    LogCapture log;
    Answer answer = send(sata, OSL_BUS_SATA, ataBlock(0xEC), 1, 512, 16, 0, ignore);
    expectOslWord(answer.status, kSataFile, 1);
    EXPECT_EQ(answer.data, std::vector<u8>(512, 0)) << "cleared before sending";
    EXPECT_EQ(answer.response[OSL_ATA_FEATURES], 0x04);
    EXPECT_EQ(answer.response[OSL_ATA_COMMAND], 0x51);
    EXPECT_EQ(log.levelOf(ignore ? "Info: [0:0:0] ATA Status: 81\n" : "Error: [0:0:0] ATA Status: 81\n"),
              ignore ? 6 : 3);
    EXPECT_NE(log.find(ignore ? "Info: ATA Response [Error : 0x04]" : "Error: ATA Response [Error : 0x04]"), nullptr);
    EXPECT_EQ(log.text().find("IOCTL Failure"), std::string::npos);
  }
  // A call that the driver refuses.
  load(R"({"drives": [{"bus": "sata"}], "faults": [{"ioctl": "IOCTL_ATA_PASS_THROUGH_DIRECT", "error": 1117}]})");
  sata = drive(0);
  for (u8 ignore : {u8{0}, u8{1}}) {
    LogCapture log;
    expectOslWord(send(sata, OSL_BUS_SATA, ataBlock(0xEC), 1, 512, 16, 0, ignore).status, kCmdFile, 1);
    EXPECT_EQ(log.levelOf(ignore ? "Warning: IOCTL Failure: (error: 1117)\n" : "Error: IOCTL Failure: (error: 1117)\n"),
              ignore ? 4 : 3);
    EXPECT_NE(log.find(ignore ? "Info: [0:0:0] ATA Status: " : "Error: [0:0:0] ATA Status: "), nullptr);
  }
  // SAS adapters take no native ATA commands.
  load(kThreeDrives);
  LogCapture log;
  expectOslWord(send(drive(2), OSL_BUS_SATA, ataBlock(0xEC), 1, 512, 16).status, kCmdFile, 1);
  EXPECT_NE(log.find("Error: IOCTL Failure: (error: 50)\n"), nullptr);
}

TEST_F(Senders, InquiryAndIdentifyOnBothScsiPaths) {
  _OSL_PDEV* sas = drive(2);
  _OSL_PDEV* sat = drive(1);
  for (u8 flags : {u8{0}, OSL_CMD_FLAG_BUFFERED}) {
    const std::string name = flags ? "SCSI_PASS_THROUGH" : "SCSI_PASS_THROUGH_DIRECT";
    winsim::clearStorageTrace();
    LogCapture log;
    Answer answer = send(sas, OSL_BUS_SAS, inquiry, 1, 96, 64, flags);
    ASSERT_EQ(answer.status, 0u);
    EXPECT_EQ(std::string(answer.data.begin() + 8, answer.data.begin() + 36), "MAKER   MODEL B         R001");
    EXPECT_EQ(answer.response, std::vector<u8>(64, 0)) << "sense cleared";
    EXPECT_EQ(log.text(),
              "\nInfo: CDB: 12 00 00 00 60 00 \nInfo: [0:2:0] SCSI Status : 0\n"
              "Info: Sense Buffer: No sense buffer available\n\n");

    Answer identify = send(sat, OSL_BUS_SAS, passThroughIdentify(false), 1, 512, 64, flags);
    ASSERT_EQ(identify.status, 0u);
    EXPECT_EQ(identifyText(identify.data, 10, 20), "S2" + std::string(18, ' '));
    answer = send(sat, OSL_BUS_SAS, inquiry, 1, 96, 64, flags);
    ASSERT_EQ(answer.status, 0u);
    EXPECT_EQ(std::string(answer.data.begin() + 8, answer.data.begin() + 36), "ATA     MODEL A         0001");

    const std::string common = " flags 0 in 1 data ";
    const std::string tail = " timeout 86400 status 0 error 0: ";
    EXPECT_EQ(sent(), name + common + "96" + tail + hex(inquiry) + "\n" + name + common + "512" + tail +
                          hex(passThroughIdentify(false)) + "\n" + name + common + "96" + tail + hex(inquiry) + "\n");
  }
}

TEST_F(Senders, RegistersComeBackAsSense) {
  _OSL_PDEV* sat = drive(1);
  const std::vector<u8> registers = {0x72, 0x01, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x0E, 0x09, 0x0C, 0x00,
                                     0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x50};
  for (u8 flags : {u8{0}, OSL_CMD_FLAG_BUFFERED}) {
    LogCapture log;
    Answer answer = send(sat, OSL_BUS_SAS, passThroughIdentify(true), 1, 512, 64, flags);
    ASSERT_EQ(answer.status, 0u) << int(flags);
    std::vector<u8> expected = registers;
    expected.resize(64, 0);
    EXPECT_EQ(answer.response, expected);
    // The data came with the recovered error, on the buffered path too.
    EXPECT_EQ(identifyText(answer.data, 27, 8), "MODEL A ") << int(flags);
    EXPECT_NE(log.find("Info: [0:1:0] SCSI Status : 2\n"), nullptr);
    EXPECT_NE(log.find("Info: Sense Buffer: " + hex(registers) + "\n"), nullptr);
  }
  // A caller's shorter sense buffer receives only its length.
  Answer shortSense = send(sat, OSL_BUS_SAS, passThroughIdentify(true), 1, 512, 18);
  ASSERT_EQ(shortSense.status, 0u);
  std::vector<u8> expected(registers.begin(), registers.begin() + 18);
  expected.resize(64, 0xEE);
  EXPECT_EQ(shortSense.response, expected);
}

TEST_F(Senders, OnlyARecoveredPassThroughIsASuccess) {
  load(R"({"drives": [{"bus": "sat", "unitAttention": true}],
           "faults": [{"ata": 236, "after": 1, "times": 1}, {"scsi": 18, "sense": [1, 0, 0]}]})");
  _OSL_PDEV* sat = drive(0);
  {
    // The unit attention says the command did not run.
    LogCapture log;
    Answer attention = send(sat, OSL_BUS_SAS, passThroughIdentify(true), 1, 512, 64, OSL_CMD_FLAG_BUFFERED);
    expectOslWord(attention.status, kScsiFile, 1);
    EXPECT_EQ(attention.response[0], 0x70);
    EXPECT_EQ(attention.response[2], 0x06);
    EXPECT_EQ(attention.data, std::vector<u8>(512, 0));
    EXPECT_EQ(log.levelOf("Error: [0:0:0] SCSI Status : 2\n"), 3);
  }
  ASSERT_EQ(send(sat, OSL_BUS_SAS, passThroughIdentify(true), 1, 512, 64).status, 0u);
  // The drive aborts the command: the translation answers an aborted command.
  Answer aborted = send(sat, OSL_BUS_SAS, passThroughIdentify(true), 1, 512, 64, 0, 1);
  expectOslWord(aborted.status, kScsiFile, 1);
  EXPECT_EQ(aborted.response[1], 0x0B);
  EXPECT_EQ(aborted.response[8 + 3], 0x04);   // error register
  EXPECT_EQ(aborted.response[8 + 13], 0x51);  // status register
  // A recovered error of any other command is not the register answer.
  expectOslWord(send(sat, OSL_BUS_SAS, inquiry, 1, 96, 64).status, kScsiFile, 1);
}

TEST_F(Senders, ScsiCallThatTheDriverRefuses) {
  for (u8 flags : {u8{0}, OSL_CMD_FLAG_BUFFERED}) {
    const char* failing = flags ? "IOCTL_SCSI_PASS_THROUGH" : "IOCTL_SCSI_PASS_THROUGH_DIRECT";
    SCOPED_TRACE(failing);
    load(std::string(R"({"drives": [{"bus": "sas"}], "faults": [{"ioctl": ")") + failing + R"(", "error": 1117}]})");
    _OSL_PDEV* sas = drive(0);
    {
      LogCapture log;
      expectOslWord(send(sas, OSL_BUS_SAS, inquiry, 1, 96, 64, flags).status, kCmdFile, 1);
      EXPECT_EQ(log.levelOf("Error: IOCTL Failure: (error: 1117)\n"), 3);
      EXPECT_NE(log.find("Error: [0:0:0] SCSI Status : 0\n"), nullptr);
      EXPECT_NE(log.find("Error: Sense Buffer: No sense buffer available\n"), nullptr);
    }
    {
      LogCapture log;
      expectOslWord(send(sas, OSL_BUS_SAS, inquiry, 1, 96, 64, flags, 1).status, kCmdFile, 1);
      EXPECT_EQ(log.levelOf("Warning: IOCTL Failure: (error: 1117)\n"), 4);
      EXPECT_NE(log.find("Info: [0:0:0] SCSI Status : 0\n"), nullptr);
    }
    u32 lastError = 0;
    u8 sense[32];
    EXPECT_NE(osl_scsi_send(sas, inquiry.data(), 6, 1, nullptr, 0, sense, sizeof sense, 0, false, true, flags != 0,
                            &lastError),
              0u);
    EXPECT_EQ(lastError, 1117u);
    // The other form is another control code: it still works.
    EXPECT_EQ(send(sas, OSL_BUS_SAS, inquiry, 1, 96, 64, flags ? 0 : OSL_CMD_FLAG_BUFFERED).status, 0u);
  }
}

TEST_F(Senders, UnitReadyProbesAddressAndRefusals) {
  _OSL_PDEV* sat = drive(1);
  osl_scsi_request area;
  ASSERT_EQ(osl_test_unit_ready(sat, &area), 0u);
  EXPECT_EQ(area.header.direct.TargetId, 1);
  ASSERT_EQ(osl_test_unit_ready_buffered(sat, &area), 0u);
  u8 pathId = 9, lun = 9;
  ASSERT_EQ(osl_scsi_get_address(sat, &pathId, 0, &lun), 0u);
  EXPECT_EQ(pathId, 0);
  EXPECT_EQ(lun, 0);
  const std::string probe = " flags 0 in 2 data 0 timeout 10 status 0 error 0: 00 00 00 00 00 00 \n";
  // The address comes from a TEST UNIT READY of the direct form.
  EXPECT_EQ(sent(), "SCSI_PASS_THROUGH_DIRECT" + probe + "SCSI_PASS_THROUGH" + probe + "SCSI_PASS_THROUGH_DIRECT" + probe);
  // A refused kind or a short NVMe entry sends nothing.
  winsim::clearStorageTrace();
  _osl_dev_cmd request = {};
  std::vector<u8> block = inquiry;
  request.command = block.data();
  request.commandLength = 6;
  expectOslWord(osl_send_command(sat, &request, OSL_BUS_SAS, OSL_CMD_REFUSED), kCmdFile, 83);
  expectOslWord(osl_send_command(sat, &request, OSL_BUS_NVME, OSL_CMD_NVME_ADMIN), kNvmeFile, 6);
  EXPECT_TRUE(winsim::storageTrace().empty());
}

}  // namespace
