// The virtual SAS drive as a host sees it through the SCSI pass-through:
// firmware download by WRITE BUFFER with its checks, unit attention and
// persistence, mode pages, REPORT SUPPORTED OPERATION CODES and START STOP
// UNIT.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "osl/osl_cmd.h"
#include "osl/osl_scsi.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/machine_fixture.h"

namespace {

const char* machine = R"({"drives": [
  {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001",
   "sectors": 1000, "sectorSize": 4096}
]})";

struct Answer {
  u64 status = 0;
  u8 key = 0;
  u16 additionalSense = 0;  // ASC << 8 | ASCQ
  std::vector<u8> data;
};

class SasDriveTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(machine);
    open();
  }
  void TearDown() override {
    osl_close_device(drive_);
    MachineTest::TearDown();
  }
  void open() {
    if (drive_) osl_close_device(drive_);
    drive_ = osl_open_device("PHYSICALDRIVE0");
    ASSERT_NE(drive_, nullptr);
  }

  Answer send(const std::vector<u8>& cdb, std::vector<u8> data = {}, bool dataIn = false) {
    Answer answer;
    u8 sense[64] = {};
    answer.status = osl_scsi_send_direct(drive_, cdb.data(), static_cast<u8>(cdb.size()), dataIn,
                                         data.empty() ? nullptr : data.data(),
                                         static_cast<u32>(data.size()), sense, sizeof sense, 10,
                                         false, true, nullptr);
    answer.key = osl_sense_key(sense, sizeof sense);
    answer.additionalSense = static_cast<u16>(sense[12] << 8 | sense[13]);
    answer.data = data;
    return answer;
  }
  Answer writeBuffer(u8 mode, u32 offset, const std::vector<u8>& data, u8 bufferId = 0) {
    u32 length = static_cast<u32>(data.size());
    return send({0x3B, mode, bufferId, u8(offset >> 16), u8(offset >> 8), u8(offset), u8(length >> 16),
                 u8(length >> 8), u8(length), 0},
                data);
  }
  // Segments of the image at their offsets, in the mode given.
  void sendSegments(u8 mode, const std::vector<u8>& image, u32 segment) {
    for (u32 offset = 0; offset < image.size(); offset += segment) {
      std::vector<u8> piece(image.begin() + offset,
                            image.begin() + std::min<size_t>(image.size(), offset + segment));
      ASSERT_EQ(writeBuffer(mode, offset, piece).status, 0u) << offset;
    }
  }
  std::string revision() {
    Answer answer = send({0x12, 0, 0, 0, 96, 0}, std::vector<u8>(96), true);
    return std::string(answer.data.begin() + 32, answer.data.begin() + 36);
  }
  Answer testUnitReady() { return send({0, 0, 0, 0, 0, 0}); }
  void expectRejected(const Answer& answer, u8 key, u16 additionalSense) {
    EXPECT_NE(answer.status, 0u);
    EXPECT_EQ(answer.key, key);
    EXPECT_EQ(answer.additionalSense, additionalSense) << std::hex << answer.additionalSense;
  }

  _OSL_PDEV* drive_ = nullptr;
};

TEST_F(SasDriveTest, WholeImageActivatesAndPersists) {
  std::vector<u8> image = firmwareImage("R777", 3001);
  ASSERT_EQ(writeBuffer(0x05, 0, image).status, 0u);
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revision(), "R777");
  // The next command other than INQUIRY learns of the change, once.
  expectRejected(testUnitReady(), 0x6, 0x3F01);
  EXPECT_EQ(testUnitReady().status, 0u);

  // Kept in the machine file: the next run's drive runs the new revision.
  EXPECT_NE(scratch_.read("machine.json").find("\"firmware\": \"R777\""), std::string::npos);
  winsim::Machine::load(scratch_.path() + "/machine.json");
  open();
  EXPECT_EQ(revision(), "R777");
}

TEST_F(SasDriveTest, ImagesWithoutTheMarkAreRejected) {
  std::vector<u8> image = firmwareImage("R777", 2048);
  image[3] = 'X';
  expectRejected(writeBuffer(0x05, 0, image), 0x5, 0x2600);
  expectRejected(writeBuffer(0x0E, 0, image), 0x5, 0x2600);
  // The header must come whole in the first segment.
  expectRejected(writeBuffer(0x0E, 0, std::vector<u8>(image.begin(), image.begin() + 15)), 0x5, 0x2600);
  EXPECT_EQ(revision(), "R001");
  EXPECT_TRUE(sasDrive(0).activatedImage().empty());
}

TEST_F(SasDriveTest, DeferredSegmentsThenActivation) {
  std::vector<u8> image = firmwareImage("R002", 5000);
  sendSegments(0x0E, image, 1024);
  EXPECT_EQ(revision(), "R001");
  EXPECT_TRUE(sasDrive(0).download().complete());
  EXPECT_EQ(testUnitReady().status, 0u) << "no unit attention before activation";
  ASSERT_EQ(writeBuffer(0x0F, 0, {}).status, 0u);
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revision(), "R002");
  expectRejected(testUnitReady(), 0x6, 0x3F01);
  // Nothing left to activate.
  expectRejected(writeBuffer(0x0F, 0, {}), 0x5, 0x2C00);
}

TEST_F(SasDriveTest, SegmentsActivatedAtTheEndOfTheSet) {
  std::vector<u8> image = firmwareImage("R003", 4096 + 7);
  sendSegments(0x07, image, 2048);
  EXPECT_EQ(revision(), "R001");
  ASSERT_EQ(writeBuffer(0x07, static_cast<u32>(image.size()), {}).status, 0u);
  EXPECT_EQ(sasDrive(0).activatedImage(), image);
  EXPECT_EQ(revision(), "R003");
}

TEST_F(SasDriveTest, SegmentChecks) {
  std::vector<u8> image = firmwareImage("R004", 4096);
  std::vector<u8> piece(512, 0x11);
  // A download begins at offset 0.
  expectRejected(writeBuffer(0x0E, 512, piece), 0x5, 0x2C00);
  ASSERT_EQ(writeBuffer(0x0E, 0, std::vector<u8>(image.begin(), image.begin() + 1024)).status, 0u);
  // Offsets on 512-byte boundaries, inside the 16 MiB buffer, buffer id 0.
  expectRejected(writeBuffer(0x0E, 1000, piece), 0x5, 0x2400);
  EXPECT_TRUE(sasDrive(0).download().empty()) << "a failed segment ends the download";
  ASSERT_EQ(writeBuffer(0x0E, 0, std::vector<u8>(image.begin(), image.begin() + 1024)).status, 0u);
  expectRejected(writeBuffer(0x0E, (16u << 20) - 512, std::vector<u8>(1024)), 0x5, 0x2400);
  ASSERT_EQ(writeBuffer(0x0E, 0, image).status, 0u);
  expectRejected(writeBuffer(0x0E, 0, image, 1), 0x5, 0x2400);
  // Modes are not mixed within one download; a hole leaves nothing to
  // activate.
  ASSERT_EQ(writeBuffer(0x0E, 0, std::vector<u8>(image.begin(), image.begin() + 1024)).status, 0u);
  expectRejected(writeBuffer(0x07, 1024, piece), 0x5, 0x2C00);
  ASSERT_EQ(writeBuffer(0x0E, 0, std::vector<u8>(image.begin(), image.begin() + 1024)).status, 0u);
  ASSERT_EQ(writeBuffer(0x0E, 2048, piece).status, 0u);
  expectRejected(writeBuffer(0x0F, 0, {}), 0x5, 0x2C00);
  // The whole image starts at offset 0; unknown modes are refused.
  expectRejected(writeBuffer(0x05, 512, image), 0x5, 0x2400);
  expectRejected(writeBuffer(0x02, 0, image), 0x5, 0x2400);
  EXPECT_EQ(revision(), "R001");
}

TEST_F(SasDriveTest, InjectedFaultEndsTheDownload) {
  load(std::string(machine).replace(std::string(machine).rfind(']'), 1,
                                    R"(], "faults": [{"scsi": 59, "mode": 14, "after": 2, "times": 1}])"));
  open();
  std::vector<u8> image = firmwareImage("R005", 4096);
  ASSERT_EQ(writeBuffer(0x0E, 0, std::vector<u8>(image.begin(), image.begin() + 1024)).status, 0u);
  ASSERT_EQ(writeBuffer(0x0E, 1024, std::vector<u8>(image.begin() + 1024, image.begin() + 2048)).status, 0u);
  expectRejected(writeBuffer(0x0E, 2048, std::vector<u8>(image.begin() + 2048, image.end())), 0x4, 0x4400);
  EXPECT_TRUE(sasDrive(0).download().empty());
  expectRejected(writeBuffer(0x0F, 0, {}), 0x5, 0x2C00);
  EXPECT_EQ(revision(), "R001");
}

TEST_F(SasDriveTest, DriveWithoutDeferredActivation) {
  load(R"({"drives": [{"bus": "sas", "deferredMicrocode": false}]})");
  open();
  expectRejected(writeBuffer(0x0E, 0, firmwareImage("R006", 1024)), 0x5, 0x2400);
  expectRejected(writeBuffer(0x0F, 0, {}), 0x5, 0x2400);
  // REPORT SUPPORTED OPERATION CODES by mode: one command with a service
  // action.
  auto support = [&](u8 mode) {
    return send({0xA3, 0x0C, 0x03, 0x3B, 0, mode, 0, 0, 0, 20, 0, 0}, std::vector<u8>(20), true).data[1];
  };
  EXPECT_EQ(support(0x05), 0x03);
  EXPECT_EQ(support(0x07), 0x03);
  EXPECT_EQ(support(0x0E), 0x01);
  EXPECT_EQ(support(0x0F), 0x01);
}

TEST_F(SasDriveTest, SupportedOperationCodes) {
  // One command: supported with its block length and usage data, or not.
  Answer inquiry = send({0xA3, 0x0C, 0x01, 0x12, 0, 0, 0, 0, 0, 20, 0, 0}, std::vector<u8>(20), true);
  ASSERT_EQ(inquiry.status, 0u);
  EXPECT_EQ(std::vector<u8>(inquiry.data.begin(), inquiry.data.begin() + 10),
            (std::vector<u8>{0, 0x03, 0, 6, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
  Answer sendDiagnostic = send({0xA3, 0x0C, 0x01, 0x1D, 0, 0, 0, 0, 0, 20, 0, 0}, std::vector<u8>(20), true);
  EXPECT_EQ(sendDiagnostic.data[1], 0x01);
  // Commands with service actions are asked for with one.
  expectRejected(send({0xA3, 0x0C, 0x01, 0x9E, 0, 0, 0, 0, 0, 20, 0, 0}, std::vector<u8>(20), true), 0x5,
                 0x2400);
  EXPECT_EQ(send({0xA3, 0x0C, 0x02, 0x9E, 0, 0x10, 0, 0, 0, 20, 0, 0}, std::vector<u8>(20), true).data[1],
            0x03);

  // All commands: WRITE BUFFER once, service actions marked.
  Answer all = send({0xA3, 0x0C, 0x00, 0, 0, 0, 0, 0, 1, 0, 0, 0}, std::vector<u8>(256), true);
  ASSERT_EQ(all.status, 0u);
  u32 length = static_cast<u32>(all.data[2] << 8 | all.data[3]);
  ASSERT_EQ(length % 8, 0u);
  int writeBuffers = 0;
  for (u32 at = 4; at < 4 + length; at += 8) {
    writeBuffers += all.data[at] == 0x3B;
    EXPECT_EQ(all.data[at + 5], all.data[at] == 0x9E || all.data[at] == 0xA3 ? 0x01 : 0x00);
  }
  EXPECT_EQ(writeBuffers, 1);
  EXPECT_EQ(length, 9u * 8);
}

TEST_F(SasDriveTest, ModePages) {
  load(R"({"drives": [{"bus": "sas", "sectors": 1000, "sectorSize": 4096,
                       "writeCache": false, "smart": false, "descriptorSense": true}]})");
  open();
  auto modeSense = [&](u8 byte1, u8 byte2) {
    return send({0x5A, byte1, byte2, 0, 0, 0, 0, 1, 0, 0}, std::vector<u8>(256), true);
  };
  // All pages with the block descriptor: header, 8 descriptor bytes, pages.
  Answer all = modeSense(0x00, 0x3F);
  ASSERT_EQ(all.status, 0u);
  EXPECT_EQ(all.data[1], 6 + 8 + 20 + 12 + 12);
  EXPECT_EQ(all.data[7], 8);
  EXPECT_EQ(std::vector<u8>(all.data.begin() + 8, all.data.begin() + 16),
            (std::vector<u8>{0, 0, 0x03, 0xE8, 0, 0, 0x10, 0x00}));
  EXPECT_EQ(all.data[16], 0x88);
  EXPECT_EQ(all.data[18] & 0x04, 0) << "write cache off";
  EXPECT_EQ(all.data[36], 0x8A);
  EXPECT_EQ(all.data[38] & 0x04, 0x04) << "descriptor sense";
  EXPECT_EQ(all.data[48], 0x9C);
  EXPECT_EQ(all.data[50] & 0x08, 0x08) << "exceptions disabled";

  // Changeable values, without the descriptor.
  Answer changeable = modeSense(0x08, 0x40 | 0x1C);
  ASSERT_EQ(changeable.status, 0u);
  EXPECT_EQ(changeable.data[7], 0);
  EXPECT_EQ(changeable.data[10], 0x08);
  EXPECT_EQ(changeable.data[11], 0x0F);
  // Default values: the factory's.
  EXPECT_EQ(modeSense(0x08, 0x80 | 0x08).data[10], 0x04);

  expectRejected(modeSense(0x08, 0x19), 0x5, 0x2400);
}

TEST_F(SasDriveTest, StoppedUnitIsNotReady) {
  ASSERT_EQ(send({0x1B, 0, 0, 0, 0x00, 0}).status, 0u);
  expectRejected(testUnitReady(), 0x2, 0x0402);
  ASSERT_EQ(send({0x1B, 0, 0, 0, 0x01, 0}).status, 0u);
  EXPECT_EQ(testUnitReady().status, 0u);
}

}  // namespace
