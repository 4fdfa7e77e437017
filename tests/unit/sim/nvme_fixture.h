// NVMe drives on a simulated machine: submission entries, one request
// through the dispatcher, and what the driver passed to the controller.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "osl/osl_cmd.h"
#include "osl/osl_nvme.h"
#include "unit/sim/machine_fixture.h"

// A submission entry: opcode, namespace id and Dwords 10 to 15.
inline std::vector<u8> nvmeEntry(u8 opcode, u32 nsid = 0, std::vector<u32> dwords = {}) {
  std::vector<u8> entry(64, 0);
  entry[0] = opcode;
  auto put = [&](unsigned at, u32 value) {
    for (unsigned i = 0; i < 4; ++i) entry[at + i] = static_cast<u8>(value >> (8 * i));
  };
  put(4, nsid);
  for (size_t i = 0; i < dwords.size() && i < 6; ++i) put(40 + 4 * static_cast<unsigned>(i), dwords[i]);
  return entry;
}

inline u32 littleEndian32(const std::vector<u8>& bytes, size_t at) {
  return static_cast<u32>(bytes[at]) | static_cast<u32>(bytes[at + 1]) << 8 |
         static_cast<u32>(bytes[at + 2]) << 16 | static_cast<u32>(bytes[at + 3]) << 24;
}

inline std::string textAt(const std::vector<u8>& bytes, size_t at, size_t length) {
  return std::string(reinterpret_cast<const char*>(bytes.data() + at), length);
}

class NvmeMachineTest : public MachineTest {
 protected:
  void TearDown() override {
    for (_OSL_PDEV* drive : open_) osl_close_device(drive);
    open_.clear();
    MachineTest::TearDown();
  }

  _OSL_PDEV* open(u32 number) {
    _OSL_PDEV* opened = osl_open_device(("PHYSICALDRIVE" + std::to_string(number)).c_str());
    EXPECT_NE(opened, nullptr);
    if (opened) open_.push_back(opened);
    winsim::clearStorageTrace();
    return opened;
  }

  struct Answer {
    u64 status = 0;
    std::vector<u8> data;
    std::vector<u8> response;
    std::vector<u8> entry;  // the caller's entry after the call
  };

  // One NVMe request through the dispatcher. Data from the drive (direction
  // 0) starts filled with 0xAA; the completion buffer starts zeroed, as the
  // command layer clears it.
  Answer send(_OSL_PDEV* drive, const std::vector<u8>& entry, u32 dataLength, u8 direction = 0,
              u8 flags = 0, u8 ignoreError = 0, osl_cmd_type kind = OSL_CMD_NVME_ADMIN,
              const std::vector<u8>& outgoing = {}) {
    Answer answer;
    answer.entry = entry;
    answer.data.assign(dataLength, 0xAA);
    if (!outgoing.empty()) answer.data = outgoing;
    answer.response.assign(16, 0);
    _osl_dev_cmd request = {};
    request.command = answer.entry.data();
    request.commandLength = static_cast<u8>(answer.entry.size());
    request.direction = direction;
    request.data = answer.data.empty() ? nullptr : answer.data.data();
    request.dataLength = static_cast<u32>(answer.data.size());
    request.response = answer.response.data();
    request.responseLength = 16;
    request.timeoutSeconds = 10;
    request.ignoreError = ignoreError;
    request.flags = flags;
    answer.status = osl_send_command(drive, &request, OSL_BUS_NVME, kind);
    return answer;
  }

  // The entry the controller received in the index-th request of the trace.
  static const std::vector<u8>& sentEntry(size_t index) {
    return winsim::storageTrace().at(index).command;
  }

 private:
  std::vector<_OSL_PDEV*> open_;
};

#include "winsim/drive_nvme.h"
#include "winsim/storage.h"

// The NVMe controller of the current machine with that device number.
inline winsim::NvmeDrive& nvmeDrive(uint32_t number) {
  for (const auto& disk : winsim::Machine::current().part<winsim::StorageStack>().disks())
    if (disk->number == number && disk->drive->nvme()) return *disk->drive->nvme();
  throw "no such drive";
}

// A SCSI block's big-endian 32-bit field (READ (16)'s transfer length at 10).
inline u32 bigEndian32(const std::vector<u8>& bytes, size_t at) {
  return static_cast<u32>(bytes[at]) << 24 | static_cast<u32>(bytes[at + 1]) << 16 |
         static_cast<u32>(bytes[at + 2]) << 8 | bytes[at + 3];
}
