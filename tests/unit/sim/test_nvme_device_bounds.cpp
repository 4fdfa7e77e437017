// The NVMe device at the edges of its numbers on a simulated machine: a
// namespace that cannot be identified, a full 256-entry error log, 64 KiB
// transfers, log sizes without the drive's directory, the capacity of an old
// controller and logs read without a transfer length.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devlib/nvme/orvlib_nvme.h"
#include "devlib/orvlib_buffer_devdump.h"
#include "osl/osl_csmi.h"
#include "unit/sim/nvme_fixture.h"

namespace {

using namespace VazidaRaduru;

// Before Windows 10 the commands travel whole through the command tunnel.
std::string nvmeMachine(const std::string& keys, const std::string& faults = "[]", const char* windows = "10.0") {
  return std::string(R"({"windows": ")") + windows + R"(", "drives": [{"bus": "nvme", "sectors": 4096)" + keys +
         R"(}], "faults": )" + faults + "}";
}

OrvBuffer pattern(u32 length) {
  OrvBuffer buffer(length, ORV_LITTLE_ENDIAN);
  for (u32 i = 0; i < length; ++i) buffer.getBuffer()[i] = static_cast<u8>(i * 7 + i / 256);
  return buffer;
}

class NvmeBounds : public NvmeMachineTest {
 protected:
  std::unique_ptr<OrvGenDev> device(const std::string& machine, u32 nsid = 1, const char* path = "PHYSICALDRIVE0") {
    load(machine);
    std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice(path, nsid, false, false));
    winsim::clearStorageTrace();
    return dev;
  }
};

TEST_F(NvmeBounds, NamespaceThatCannotBeIdentifiedLeavesTheFormerOne) {
  auto dev = device(nvmeMachine(R"(, "tunnel": true)", "[]", "6.3"));
  EXPECT_NE(dev->changeNamespace(5, false), 0u) << "the drive has namespace 1 only";
  u32 sectorSize = 0;
  u64 capacity = 0;
  EXPECT_EQ(dev->getSectorSize(sectorSize), 0u);
  EXPECT_EQ(sectorSize, 512u);
  EXPECT_EQ(dev->getCapacity(capacity, sectorSize, 1), 0u);
  EXPECT_EQ(capacity, 4096u);
  OrvDevGenData<_OrvDataItem> data;
  ASSERT_EQ(dev->getIdentifyData(data, 0), 0u);
  EXPECT_EQ(data.buffers[0]->qword(0, 0, 64).getValue(), 4096u) << "NSZE of namespace 1";

  // A 512-byte read is one block.
  winsim::clearStorageTrace();
  OrvBuffer sector(512, ORV_LITTLE_ENDIAN);
  OrvBuffer metadata;
  ASSERT_EQ(dev->readSectors(0, sector, metadata), 0u);
  ASSERT_EQ(winsim::storageTrace().size(), 1u);
  EXPECT_EQ(bigEndian32(winsim::storageTrace()[0].command, 10), 1u);
}

TEST_F(NvmeBounds, ErrorLogOfTwoHundredFiftySixEntriesIsReadWhole) {
  // Every entry used: an unrecovered read error (type 2, code 81h) at LBA i.
  std::string entries;
  for (int i = 0; i < 256; ++i)
    entries += (i ? "," : "") + std::string(R"({"count": )") + std::to_string(i + 1) + R"(, "lba": )" +
               std::to_string(i) + R"(, "status": 1282})";
  auto dev = device(nvmeMachine(R"(, "tunnel": true, "errorLogEntries": 255, "errorLog": [)" + entries + "]", "[]", "6.3"));
  OrvDevGenData<_OrvErrLogItem> log;
  ASSERT_EQ(dev->readErrorLog(log), 0u);
  ASSERT_EQ(log.buffers.size(), 1u);
  EXPECT_EQ(log.buffers[0]->getLength(), 256u * 64);
  ASSERT_EQ(log.items.size(), 256u);
  EXPECT_EQ(log.items[255].errorCount, 256u);
  std::vector<u64> lbas;
  ASSERT_EQ(dev->readErrorLogPages(lbas), 0u);
  ASSERT_EQ(lbas.size(), 256u);
  EXPECT_EQ(lbas[255], 255u);
}

TEST_F(NvmeBounds, SecurityTransfersOf64KiBKeepTheirLength) {
  struct Route {
    const char* machine;
    const char* path;
  };
  const Route routes[] = {
      {R"({"windows": "10.0", "drives": [{"bus": "nvme", "securityProtocols": [1]}]})", "PHYSICALDRIVE0"},
      {R"({"controllers": [{"kind": "csmi", "raidSets": [{"drives": [
         {"model": "NVMe MODEL R", "serial": "SR", "sasAddress": "0102030700000000", "securityProtocols": [1]},
         {"model": "NVMe MODEL S", "serial": "SS", "sasAddress": "0102040800000000"}]}]}]})",
       "SCSI0:r7"},
  };
  for (const Route& route : routes) {
    SCOPED_TRACE(route.path);
    auto dev = device(route.machine, 0, route.path);
    ASSERT_NE(dev, nullptr);
    OrvBuffer sent = pattern(0x10000);
    ASSERT_EQ(dev->securitySend(1, sent, 0x0104, 0), 0u);
    for (const winsim::StorageRequest& request : winsim::storageTrace()) {
      if (request.miniportCode != OSL_RST_NVME_CODE) continue;
      EXPECT_EQ(littleEndian32(request.command, 44), 0x10000u) << "the transfer length";
    }
    OrvBuffer back(0x10000, ORV_LITTLE_ENDIAN);
    ASSERT_EQ(dev->securityReceive(1, back, 0x0104, 0), 0u);
    EXPECT_TRUE(back.compare(sent));
  }
}

TEST_F(NvmeBounds, RawReadOf64KiBIsCountedInBlocks) {
  auto dev = device(nvmeMachine(""));
  OrvBuffer metadata;
  OrvBuffer written = pattern(0x10000);
  ASSERT_EQ(dev->writeSectors(0, written, metadata), 0u);
  std::vector<u8> read = nvmeEntry(0x02, 1, {0, 0, 127});
  OrvBuffer whole(0x10000, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->sendRawCommand(read.data(), 64, 2, whole, 0), 0u);
  EXPECT_TRUE(whole.compare(written));
  std::vector<u8> tooMany = nvmeEntry(0x02, 1, {0, 0, 128});
  winsim::clearStorageTrace();
  EXPECT_EQ(orv_status_code(dev->sendRawCommand(tooMany.data(), 64, 2, whole, 0)), ORV_ERR_BUFFER_LENGTH);
  EXPECT_TRUE(winsim::storageTrace().empty());
}

TEST_F(NvmeBounds, DumpWithoutTheDrivesDirectoryReadsEachLogAtItsSize) {
  auto dev = device(nvmeMachine(R"(, "errorLogEntries": 63, "selfTest": true)"));
  std::vector<_OrvDevDumpItem> records;
  ASSERT_EQ(dev->dumpAllLogs(records), 0u);
  struct Expected {
    u8 log;
    u32 bytes;
  };
  const Expected logs[] = {{0x01, 4096}, {0x02, 512}, {0x03, 512}, {0x05, 4096}, {0x06, 564}};
  for (const Expected& expected : logs) {
    const _OrvDevDumpItem* found = nullptr;
    for (const _OrvDevDumpItem& record : records)
      if (record.kind == 3 && record.id == expected.log) found = &record;
    ASSERT_NE(found, nullptr) << int(expected.log);
    EXPECT_EQ(found->status, 0u) << int(expected.log);
    ASSERT_NE(found->data, nullptr);
    EXPECT_EQ(found->data->getLength(), expected.bytes) << int(expected.log);
  }
  for (_OrvDevDumpItem& record : records) delete record.data;
}

TEST_F(NvmeBounds, CapacityOfAControllerWithoutNamespaceLists) {
  // A controller before version 1.2 reports VER 0; this one refuses CNS 02h.
  const std::string old = nvmeMachine(R"(, "nvmeVersion": 0, "namespaceCount": 3)",
                                      R"([{"nvme": 6, "cns": 2, "statusCode": 2}])");
  const std::string one = nvmeMachine(R"(, "nvmeVersion": 0)", R"([{"nvme": 6, "cns": 2, "statusCode": 2}])");
  struct Case {
    const std::string& machine;
    u32 nsid;
  };
  for (const Case& c : {Case{old, 1}, Case{one, 0}}) {
    auto dev = device(c.machine, c.nsid);
    u64 capacity = 0;
    u32 sectorSize = 0;
    EXPECT_EQ(dev->getCapacity(capacity, sectorSize, 0), 0u) << c.nsid;
    EXPECT_EQ(capacity, 4096u) << c.nsid;
    EXPECT_EQ(sectorSize, 512u);
  }
}

TEST_F(NvmeBounds, LogsReadWithoutATransferLength) {
  // Opened for all namespaces: no I/O handle, no transfer length.
  auto dev = device(nvmeMachine(R"(, "internalLog": {"1": 24}, "tunnel": true)", "[]", "6.3"), 0);
  std::vector<OrvBuffer*> buffers;
  u32 format = 0;
  ASSERT_EQ(dev->readLog(0x02, 0, buffers, &format, 0, 0, 0, 0), 0u);
  ASSERT_EQ(buffers.size(), 1u);
  EXPECT_EQ(buffers[0]->getLength(), 512u);
  delete buffers[0];
  OrvLogBuffer internal;
  ASSERT_EQ(dev->readInternalStatusLog(1, internal, 0, 0, 1), 0u);
  EXPECT_EQ(internal.getLength(), 24u);
}

}  // namespace
