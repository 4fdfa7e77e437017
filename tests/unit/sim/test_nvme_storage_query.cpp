// Log pages and identify data through the Windows 10 driver's
// storage-protocol query, without the vendor's tunnel: what the query
// carries reaches the controller, what it cannot carry is refused before
// anything is sent, and an answer that does not cover the request fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

// The driver moves 4 KiB at a time, so that the device reads longer logs in
// pieces at offsets. Internal-log types by bit (decimal) and length.
const char* kMachine = R"({"windows": "10.0", "drives": [
  {"bus": "nvme", "model": "M", "serial": "S", "firmware": "R1", "maxTransfer": 4096, "telemetryBlocks": 20,
   "internalLog": {"1": 24, "2": 16, "8": 520, "16": 12, "32": 12}}]})";

// The telemetry log as the drive keeps it: byte i holds i / 512, the header
// names block 20 as the end of all three areas.
std::vector<u8> telemetryLog() {
  std::vector<u8> log(21 * 512);
  for (size_t i = 0; i < log.size(); ++i) log[i] = static_cast<u8>(i / 512);
  for (size_t area = 0; area < 3; ++area) {
    log[8 + 2 * area] = 20;
    log[9 + 2 * area] = 0;
  }
  return log;
}

// The Get Log Page entries of log F3h the controller received.
std::vector<u32> internalLogRequests() {
  std::vector<u32> dword10s;
  for (const auto& received : nvmeDrive(0).received())
    if (received.command[0] == 0x02 && received.command[40] == 0xF3)
      dword10s.push_back(littleEndian32(received.command, 40));
  return dword10s;
}

class NvmeStorageQuery : public NvmeMachineTest {
 protected:
  void SetUp() override {
    NvmeMachineTest::SetUp();
    load(kMachine);
  }
  static std::unique_ptr<OrvGenDev> device() {
    return std::unique_ptr<OrvGenDev>(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  }
};

TEST_F(NvmeStorageQuery, TelemetryWholeAndInWindows) {
  const std::vector<u8> whole = telemetryLog();
  auto dev = device();
  struct Window {
    u32 offset, count;   // in blocks; 0, 0: the whole log
    size_t from, length; // in bytes of the log
  } windows[] = {{0, 0, 0, whole.size()}, {1, 2, 512, 1024}, {3, 16, 1536, 8192}, {19, 1, 9728, 512}};
  for (const Window& window : windows) {
    std::vector<OrvBuffer*> buffers;
    u32 format = 0;
    ASSERT_EQ(dev->readLog(0x07, 0, buffers, &format, 0, 0, window.offset, window.count), 0u) << window.offset;
    ASSERT_EQ(buffers.size(), 1u);
    std::unique_ptr<OrvBuffer> read(buffers[0]);
    ASSERT_EQ(read->getLength(), window.length) << window.offset;
    std::vector<u8> expected(whole.begin() + static_cast<long>(window.from),
                             whole.begin() + static_cast<long>(window.from + window.length));
    EXPECT_EQ(std::vector<u8>(read->getBuffer(), read->getBuffer() + read->getLength()), expected)
        << "window from block " << window.offset;
  }
  // The whole log went in 4 KiB pieces, each at its own offset.
  std::vector<u32> offsets;
  for (const auto& received : nvmeDrive(0).received())
    if (received.command[0] == 0x02 && received.command[40] == 0x07)
      offsets.push_back(littleEndian32(received.command, 48));
  EXPECT_EQ(std::vector<u32>(offsets.begin() + 1, offsets.begin() + 4), (std::vector<u32>{0, 4096, 8192}))
      << "after the header read";
}

TEST_F(NvmeStorageQuery, InternalLogOfEveryType) {
  auto dev = device();
  struct Type {
    u32 mode;
    u8 bit;
    u32 length;  // 0: the query cannot carry the type
  } types[] = {{1, 0x01, 24}, {7, 0x02, 16}, {8, 0x08, 520}, {5, 0x10, 0}, {9, 0x20, 0}};
  for (const Type& type : types) {
    nvmeDrive(0).forgetReceived();
    OrvLogBuffer log(16, ORV_LITTLE_ENDIAN, 0, 0, "");
    u64 status = dev->readInternalStatusLog(type.mode, log, 0, 0, 1);
    std::vector<u32> asked = internalLogRequests();
    if (type.length == 0) {
      // Four bits of the log-specific field travel; this type needs a fifth.
      EXPECT_EQ(orv_status_code(status), 83u) << int(type.bit);
      EXPECT_TRUE(asked.empty()) << "nothing of log F3h sent for type " << int(type.bit);
      continue;
    }
    ASSERT_EQ(status, 0u) << int(type.bit);
    ASSERT_EQ(log.getLength(), type.length);
    const u8* bytes = log.getBuffer();
    EXPECT_EQ(bytes[0], type.bit);
    EXPECT_EQ(static_cast<u32>(bytes[1] | bytes[2] << 8), type.length);
    for (u32 i = 4; i < type.length; ++i) ASSERT_EQ(bytes[i], static_cast<u8>(i)) << int(type.bit) << " byte " << i;
    ASSERT_FALSE(asked.empty());
    for (u32 dword10 : asked) EXPECT_EQ(dword10 & 0xFF00, 0x8000u | type.bit << 8) << "retained event, the type";
  }
}

TEST_F(NvmeStorageQuery, RequestsTheDriverCannotSatisfyFail) {
  _OSL_PDEV* drive = open(0);
  // The driver's failure is raised with its request, a short answer or a
  // refusal by the sender.
  struct Case {
    const char* what;
    std::vector<u32> dwords;
    u32 length;
    u32 code;  // 0: success
    u16 file;
  } cases[] = {
      {"a window the log holds", {0x07 | (128 - 1) << 16, 0, 1024}, 512, 0, 0},
      {"more than the driver moves", {0x07 | (2048 - 1) << 16, 0, 0}, 8192, 1, kNvmeFile},
      {"a window past the log's end", {0x07 | (128 - 1) << 16, 0, 21 * 512}, 512, 1, kCmdFile},
      {"a log the drive does not keep", {0x09 | (128 - 1) << 16}, 512, 1, kCmdFile},
      {"a log-specific field of five bits", {0xF3 | 0x1000 | (3 - 1) << 16}, 12, 83, kNvmeFile},
  };
  LogCapture log;
  for (const Case& one : cases) {
    winsim::clearStorageTrace();
    log.clear();
    Answer answer = send(drive, nvmeEntry(0x02, 0, one.dwords), one.length, 0, 0, 1);
    // The entry is logged with the values the query carries; a refused one
    // is not.
    std::string cdb = "Info: CDB: ";
    for (u8 byte : answer.entry) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02x ", byte);
      cdb += hex;
    }
    EXPECT_EQ(log.find(cdb + "\n") != nullptr, one.code != 83) << one.what;
    if (one.code == 0) {
      ASSERT_EQ(answer.status, 0u) << one.what;
      EXPECT_EQ(answer.data, std::vector<u8>(one.length, 2)) << "block 2 of the telemetry log";
      continue;
    }
    expectOslWord(answer.status, one.file, one.code);
    EXPECT_EQ(trace(), one.code == 83 ? "" : "STORAGE_QUERY_PROPERTY:50") << one.what;
  }
}

TEST_F(NvmeStorageQuery, IdentifyOnlyWhatTheQueryCarries) {
  _OSL_PDEV* drive = open(0);
  // Allocated namespace list and data, the controllers of a namespace, all
  // controllers, a CNS above 0Fh that looks like the controller's.
  for (u32 cns : {0x10u, 0x11u, 0x12u, 0x13u, 0x03u}) {
    Answer answer = send(drive, nvmeEntry(0x06, 1, {cns}), 4096);
    expectOslWord(answer.status, kNvmeFile, 83);
    EXPECT_EQ(answer.data, std::vector<u8>(4096, 0xAA)) << "CNS " << cns;
  }
  EXPECT_EQ(trace(), "");

  // The device: no controller list, and no allocated-namespace mode.
  auto dev = device();
  nvmeDrive(0).forgetReceived();
  OrvDevGenData<_OrvNvmCtlItem> controllers;
  EXPECT_EQ(orv_status_code(dev->getControllerList(controllers)), 83u);
  EXPECT_TRUE(controllers.items.empty());
  EXPECT_EQ(orv_status_code(thrownStatus([] { OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 1, false, true); })), 83u);
  for (const auto& received : nvmeDrive(0).received())
    EXPECT_TRUE(received.command[0] != 0x06 || received.command[40] < 0x10) << "CNS " << int(received.command[40]);
}

TEST_F(NvmeStorageQuery, TunnelCarriesTheDrivesLists) {
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme", "tunnel": true}]})");
  _OSL_PDEV* drive = open(0);
  struct Case {
    u32 nsid, cns;
    std::vector<u32> firstDwords;
  } cases[] = {
      {0, 0x10, {1, 0}},        // allocated namespaces: 1
      {1, 0x12, {0x00010001}},  // namespace 1: one controller, id 1
      {0, 0x13, {0x00010001}},  // the subsystem's controllers
  };
  for (const Case& one : cases) {
    Answer answer = send(drive, nvmeEntry(0x06, one.nsid, {one.cns}), 4096, 0, OSL_CMD_FLAG_NVME_SECLIST);
    ASSERT_EQ(answer.status, 0u) << one.cns;
    for (size_t i = 0; i < one.firstDwords.size(); ++i)
      EXPECT_EQ(littleEndian32(answer.data, 4 * i), one.firstDwords[i]) << one.cns;
  }
  Answer allocated = send(drive, nvmeEntry(0x06, 1, {0x11}), 4096, 0, OSL_CMD_FLAG_NVME_SECLIST);
  ASSERT_EQ(allocated.status, 0u);
  EXPECT_EQ(littleEndian32(allocated.data, 0), 1953525168u) << "the namespace's size";

  std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  OrvDevGenData<_OrvNvmCtlItem> controllers;
  ASSERT_EQ(dev->getControllerList(controllers), 0u);
  ASSERT_EQ(controllers.items.size(), 1u);
  EXPECT_EQ(controllers.items[0].controllerId, 1u);
  EXPECT_EQ(controllers.items[0].namespaceIds, std::vector<u32>{1});
}

}  // namespace
