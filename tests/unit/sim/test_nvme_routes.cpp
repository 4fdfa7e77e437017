// The NVMe device on each route of the simulated machine: the Windows 10
// storage-protocol query (what it carries reaches the controller, what it
// cannot carry is refused before anything is sent, a short answer fails), the
// SCSI side before Windows 10 without the tunnel, the tunnel's wait on a
// formatting drive, the RAID driver's pass-through, and the device at the
// edges of its numbers.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <rapidjson/document.h>

#include "devlib/nvme/orvlib_nvme.h"
#include "devlib/orvlib_buffer_devdump.h"
#include "osl/orv_status.h"
#include "osl/osl_csmi.h"
#include "unit/log_capture.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

// One NVMe drive of 4096 sectors; before Windows 10 with "tunnel" the
// commands travel whole through the command tunnel.
std::string nvmeMachine(const char* windows, const std::string& keys, const std::string& faults = "[]") {
  return std::string(R"({"windows": ")") + windows +
         R"(", "drives": [{"bus": "nvme", "model": "M", "serial": "S", "firmware": "REV00001", "sectors": 4096)" +
         keys + R"(}], "faults": )" + faults + "}";
}

OrvBuffer pattern(u32 length) {
  OrvBuffer buffer(length, ORV_LITTLE_ENDIAN);
  for (u32 i = 0; i < length; ++i) buffer.getBuffer()[i] = static_cast<u8>(i * 7 + i / 256);
  return buffer;
}

// The Dword at `at` of each Get Log Page entry of that log drive 0 received.
std::vector<u32> logPageDwords(u8 log, size_t at) {
  std::vector<u32> found;
  for (const auto& received : nvmeDrive(0).received())
    if (received.command[0] == 0x02 && received.command[40] == log)
      found.push_back(littleEndian32(received.command, at));
  return found;
}

class NvmeRoutes : public NvmeMachineTest {
 protected:
  std::unique_ptr<OrvGenDev> device(const std::string& machine = "", u32 nsid = 0,
                                    const char* path = "PHYSICALDRIVE0") {
    if (!machine.empty()) load(machine);
    std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice(path, nsid, false, false));
    winsim::clearStorageTrace();
    return dev;
  }
};

// ------------------------------------------- Windows 10 storage-protocol query

// The driver moves 4 KiB at a time, so that the device reads longer logs in
// pieces at offsets. Internal-log types by bit (decimal) and length.
const std::string kQueryKeys =
    R"(, "maxTransfer": 4096, "telemetryBlocks": 20, "internalLog": {"1": 24, "2": 16, "8": 520, "16": 12, "32": 12})";

TEST_F(NvmeRoutes, QueryReadsTelemetryWholeAndInWindows) {
  // Byte i of the log holds i / 512; the header names block 20 as the end of
  // all three areas.
  std::vector<u8> whole(21 * 512);
  for (size_t i = 0; i < whole.size(); ++i) whole[i] = static_cast<u8>(i / 512);
  for (size_t area = 0; area < 3; ++area) whole[8 + 2 * area] = 20, whole[9 + 2 * area] = 0;
  auto dev = device(nvmeMachine("10.0", kQueryKeys));
  struct Window {
    u32 offset, count;    // in blocks; 0, 0: the whole log
    size_t from, length;  // in bytes of the log; length 0: refused with code 6
    std::string refusal = "";  // the message's window, in bytes
  } windows[] = {{0, 0, 0, whole.size()}, {1, 2, 512, 1024}, {3, 16, 1536, 8192}, {19, 1, 9728, 512},
                 // Up to the log's last block: from a block to the end, the last block alone, all blocks.
                 {5, 0, 2560, 16 * 512}, {20, 1, 10240, 512}, {20, 0, 10240, 512}, {0, 21, 0, whole.size()},
                 // Past the end, by windows of any size.
                 {21, 0, 0, 0, "[Input:Offset = 10752]"},
                 {21, 1, 0, 0, "[Input:Offset = 10752]"},
                 {20, 2, 0, 0, "[Input:Offset = 10240] [Input:Length = 1024]"},
                 {5, 17, 0, 0, "[Input:Offset = 2560] [Input:Length = 8704]"},
                 {0, 22, 0, 0, "[Input:Offset = 0] [Input:Length = 11264]"},
                 {8388608, 0, 0, 0, "[Input:Offset = 4294967296]"},
                 {0xFFFFFFFF, 1, 0, 0, "[Input:Offset = 2199023255040]"},
                 {1, 8388608, 0, 0, "[Input:Offset = 512] [Input:Length = 4294967296]"},
                 {0, 0xFFFFFFFF, 0, 0, "[Input:Offset = 0] [Input:Length = 2199023255040]"}};
  LogCapture log;
  for (const Window& window : windows) {
    std::vector<OrvBuffer*> buffers;
    u32 format = 0;
    log.clear();
    u64 status = dev->readLog(0x07, 0, buffers, &format, 0, 0, window.offset, window.count);
    if (window.length == 0) {
      EXPECT_EQ(orv_status_code(status), 6u) << window.offset << "+" << window.count;
      EXPECT_TRUE(buffers.empty());
      EXPECT_NE(log.find("Critical: Invalid buffer length [Max log size = 10752] " + window.refusal + "\n"), nullptr)
          << window.offset << "+" << window.count << "\n" << log.text();
      continue;
    }
    ASSERT_EQ(status, 0u) << window.offset << "+" << window.count;
    ASSERT_EQ(buffers.size(), 1u);
    std::unique_ptr<OrvBuffer> read(buffers[0]);
    EXPECT_EQ(std::vector<u8>(read->getBuffer(), read->getBuffer() + read->getLength()),
              std::vector<u8>(whole.begin() + static_cast<long>(window.from),
                              whole.begin() + static_cast<long>(window.from + window.length)))
        << "window from block " << window.offset << " of " << window.count;
  }
  // The whole log went in 4 KiB pieces, each at its own offset.
  std::vector<u32> offsets = logPageDwords(0x07, 48);
  EXPECT_EQ(std::vector<u32>(offsets.begin() + 1, offsets.begin() + 4), (std::vector<u32>{0, 4096, 8192}))
      << "after the header read";
}

TEST_F(NvmeRoutes, QueryReadsInternalLogOfEveryType) {
  auto dev = device(nvmeMachine("10.0", kQueryKeys));
  struct Type {
    u32 mode;
    u8 bit;
    u32 length;  // 0: four bits of the log-specific field travel, this type needs a fifth
  } types[] = {{1, 0x01, 24}, {7, 0x02, 16}, {8, 0x08, 520}, {5, 0x10, 0}, {9, 0x20, 0}};
  for (const Type& type : types) {
    nvmeDrive(0).forgetReceived();
    OrvLogBuffer log(16, ORV_LITTLE_ENDIAN, 0, 0, "");
    u64 status = dev->readInternalStatusLog(type.mode, log, 0, 0, 1);
    std::vector<u32> asked = logPageDwords(0xF3, 40);
    if (type.length == 0) {
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

TEST_F(NvmeRoutes, QueryRequestsTheDriverCannotSatisfyFail) {
  load(nvmeMachine("10.0", kQueryKeys));
  _OSL_PDEV* drive = open(0);
  // The driver's failure is raised with its request, a short answer or a
  // refusal by the sender.
  struct Case {
    std::string what;
    std::vector<u8> entry;
    u32 length;
    u32 code;  // 0: success
    u16 file;
  };
  std::vector<Case> cases = {
      {"a window the log holds", nvmeEntry(0x02, 0, {0x07 | (128 - 1) << 16, 0, 1024}), 512, 0, 0},
      {"more than the driver moves", nvmeEntry(0x02, 0, {0x07 | (2048 - 1) << 16, 0, 0}), 8192, 1, kNvmeFile},
      {"a window past the log's end", nvmeEntry(0x02, 0, {0x07 | (128 - 1) << 16, 0, 21 * 512}), 512, 1, kCmdFile},
      {"a log the drive does not keep", nvmeEntry(0x02, 0, {0x09 | (128 - 1) << 16}), 512, 1, kCmdFile},
      {"a log-specific field of five bits", nvmeEntry(0x02, 0, {0xF3 | 0x1000 | (3 - 1) << 16}), 12, 83, kNvmeFile},
  };
  // Identify: allocated namespace list and data, the controllers of a
  // namespace, all controllers, a CNS above 0Fh that looks like the controller's.
  for (u32 cns : {0x10u, 0x11u, 0x12u, 0x13u, 0x03u})
    cases.push_back({"Identify CNS " + std::to_string(cns), nvmeEntry(0x06, 1, {cns}), 4096, 83, kNvmeFile});
  LogCapture log;
  for (const Case& one : cases) {
    winsim::clearStorageTrace();
    log.clear();
    Answer answer = send(drive, one.entry, one.length, 0, 0, 1);
    // The entry is logged with the values the query carries; a refused one is not.
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
    if (one.code == 83) {
      EXPECT_EQ(answer.data, std::vector<u8>(one.length, 0xAA)) << one.what;
    }
  }

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

TEST_F(NvmeRoutes, TunnelCarriesTheDrivesLists) {
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme", "tunnel": true}]})");
  _OSL_PDEV* drive = open(0);
  struct Case {
    u32 nsid, cns;
    std::vector<u32> firstDwords;
  } cases[] = {
      {0, 0x10, {1, 0}},               // allocated namespaces: 1
      {1, 0x12, {0x00010001}},         // namespace 1: one controller, id 1
      {0, 0x13, {0x00010001}},         // the subsystem's controllers
      {1, 0x11, {1953525168u}},        // allocated namespace 1: its size
  };
  for (const Case& one : cases) {
    Answer answer = send(drive, nvmeEntry(0x06, one.nsid, {one.cns}), 4096, 0, OSL_CMD_FLAG_NVME_SECLIST);
    ASSERT_EQ(answer.status, 0u) << one.cns;
    for (size_t i = 0; i < one.firstDwords.size(); ++i)
      EXPECT_EQ(littleEndian32(answer.data, 4 * i), one.firstDwords[i]) << one.cns;
  }
  OrvDevGenData<_OrvNvmCtlItem> controllers;
  ASSERT_EQ(device()->getControllerList(controllers), 0u);
  ASSERT_EQ(controllers.items.size(), 1u);
  EXPECT_EQ(controllers.items[0].controllerId, 1u);
  EXPECT_EQ(controllers.items[0].namespaceIds, std::vector<u32>{1});
}

// ------------------------------------ SCSI side before Windows 10, no tunnel

TEST_F(NvmeRoutes, ScsiSideOpensWithoutNamespaceDataAndUpdates) {
  // Identify Namespace answers zeros there: what needs the data is refused.
  auto dev = device(nvmeMachine("6.3", ""));
  OrvDevGenData<_OrvDataItem> identify;
  OrvBuffer block(512, ORV_LITTLE_ENDIAN), metadata;
  u32 size = 0;
  bool atEnd = false, first = false;
  const std::pair<const char*, std::function<u64()>> needingIt[] = {
      {"namespace identify data", [&] { return dev->getIdentifyData(identify, 0); }},
      {"sector size", [&] { return dev->getSectorSize(size); }},
      {"metadata layout", [&] { return dev->getMetaDataConfig(size, atEnd, first); }},
      {"read", [&] { return dev->readSectors(0, block, metadata); }},
  };
  for (const auto& operation : needingIt) EXPECT_EQ(orv_status_code(operation.second()), 83u) << operation.first;

  OrvDevGenData<_OrvFwInfoItem> info;
  ASSERT_EQ(dev->getFirmwareInfo(info), 0u);
  ASSERT_EQ(info.items.size(), 1u);
  EXPECT_EQ(info.items[0].currentRevision, "REV00001");
  bool refreshed = false, reboot = true;
  std::vector<u8> image = firmwareImage("REV00002", 8192);
  ASSERT_EQ(dev->downloadFirmware(image.data(), static_cast<u32>(image.size()), &refreshed, &reboot, 0, false, 0), 0u);
  EXPECT_TRUE(refreshed) << "the identify data read again";
  EXPECT_FALSE(reboot);
  EXPECT_EQ(nvmeDrive(0).firmware(), "REV00002");
}

TEST_F(NvmeRoutes, NamespaceOfZerosFailsOnOtherRoutes) {
  struct Case {
    const char* windows;
    const char* keys;
    u32 code;  // of the construction
  } cases[] = {
      {"6.3", R"(, "blankNamespaceData": true)", 0},
      {"6.3", R"(, "blankNamespaceData": true, "tunnel": true)", 144},
      {"10.0", R"(, "blankNamespaceData": true)", 144},
      {"6.3", R"(, "tunnel": true)", 0},
  };
  for (const Case& one : cases) {
    load(nvmeMachine(one.windows, one.keys));
    EXPECT_EQ(orv_status_code(thrownStatus([this] { device(); })), one.code) << one.windows << one.keys;
  }
  // With the tunnel the drive's own namespace data is there.
  u32 size = 0;
  ASSERT_EQ(device()->getSectorSize(size), 0u);
  EXPECT_EQ(size, 512u);
}

TEST_F(NvmeRoutes, TunnelWaitsForAFormatADayAtMost) {
  // Answers of "format in progress" before the drive completes; one second each.
  constexpr u64 kDay = 24 * 60 * 60;
  const struct {
    u64 busy;
    u32 code;
    u64 waited;
  } cases[] = {{3, 0, 3}, {kDay, 0, kDay}, {~u64{0} >> 1, 167, kDay}};
  for (const auto& one : cases) {
    auto dev = device(nvmeMachine("6.3", R"(, "tunnel": true, "formatBusy": )" + std::to_string(one.busy)));
    unsigned long long before = winsim::Machine::current().clockMs;
    u64 status = dev->formatUnit(0);
    EXPECT_EQ(orv_status_code(status), one.code) << one.busy;
    if (one.code) expectOslWord(status, kNvmeFile, one.code);
    EXPECT_EQ(winsim::Machine::current().clockMs - before, one.waited * 1000) << one.busy;
  }
}

// ------------------------------------------- the RAID driver's pass-through

// Target 7 of the controller: formats of 512 and 4096 bytes, room for four
// namespaces.
const char* kRaidMachine = R"({"windows": "10.0", "controllers": [{"kind": "csmi", "raidSets": [{"drives": [
  {"model": "NVMe MODEL R", "serial": "SR", "sasAddress": "0000000700000000", "namespaceManagement": true,
   "namespaceCount": 4, "unallocatedBytes": 1048576, "lbaFormats": [{"sectorSize": 512}, {"sectorSize": 4096}]}]}]}]})";

TEST_F(NvmeRoutes, RaidNamespacesCreateAttachDetachDelete) {
  constexpr u32 kNvmeCmdFile = 151;
  constexpr u64 kFree = 1048576;
  auto dev = device(kRaidMachine, 0, "SCSI0:r7");
  // The drive's namespaces as the machine file keeps them ("id:size:a" for an
  // attached one), and its unallocated bytes.
  auto kept = [this](u64* unallocated) {
    rapidjson::Document machine;
    machine.Parse(scratch_.read("machine.json").c_str());
    const rapidjson::Value& drive = machine["controllers"][0]["raidSets"][0]["drives"][0];
    *unallocated = drive["unallocatedBytes"].GetUint64();
    std::string text;
    if (drive.HasMember("namespaces"))
      for (const rapidjson::Value& ns : drive["namespaces"].GetArray())
        text += std::to_string(ns["id"].GetUint()) + ":" + std::to_string(ns["size"].GetUint64()) +
                (ns["attached"].GetBool() ? ":a " : ": ");
    return text;
  };
  u32 created = 0;
  auto create = [&created](u64 size, u32 format) {
    return [&created, size, format](OrvGenDev& d) {
      return d.createNamespace(size, 0, format, false, 0, false, false, created);
    };
  };
  auto attach = [](_OrvNsAttachAction action, u32 id) {
    return [action, id](OrvGenDev& d) { return d.attachNamespace(action, id); };
  };
  auto remove = [](u32 id) { return [id](OrvGenDev& d) { return d.deleteNamespace(id); }; };
  struct Step {
    const char* what;
    std::function<u64(OrvGenDev&)> action;
    u32 code;  // 0: success; else the command's failure code
    u32 createdId;
    const char* namespaces;
    u64 unallocated;
  } steps[] = {
      {"create 100 blocks of 512", create(100, 0), 0, 2, "2:100: ", kFree - 51200},
      {"create 10 blocks of 4096", create(10, 1), 0, 3, "2:100: 3:10: ", kFree - 92160},
      {"create more than is left", create(2000, 0), 150, 3, "2:100: 3:10: ", kFree - 92160},
      {"attach 2", attach(ORV_NS_ATTACH, 2), 0, 3, "2:100:a 3:10: ", kFree - 92160},
      {"attach 2 again", attach(ORV_NS_ATTACH, 2), 151, 3, "2:100:a 3:10: ", kFree - 92160},
      {"detach 3, never attached", attach(ORV_NS_DETACH, 3), 151, 3, "2:100:a 3:10: ", kFree - 92160},
      {"detach 2", attach(ORV_NS_DETACH, 2), 0, 3, "2:100: 3:10: ", kFree - 92160},
      {"delete 2", remove(2), 0, 3, "3:10: ", kFree - 40960},
      {"delete 9, never made", remove(9), 150, 3, "3:10: ", kFree - 40960},
      {"delete 3", remove(3), 0, 3, "", kFree},
  };
  for (const Step& step : steps) {
    u64 status = step.action(*dev);
    if (step.code)
      EXPECT_TRUE(isLibStatus(status, step.code, kNvmeCmdFile)) << step.what;
    else
      EXPECT_EQ(status, 0u) << step.what;
    EXPECT_EQ(created, step.createdId) << step.what;
    u64 unallocated = 0;
    EXPECT_EQ(kept(&unallocated), step.namespaces) << step.what;
    EXPECT_EQ(unallocated, step.unallocated) << step.what;
  }
}

TEST_F(NvmeRoutes, RaidListsOfTheDrive) {
  auto dev = device(kRaidMachine, 0, "SCSI0:r7");
  u32 created = 0;
  ASSERT_EQ(dev->createNamespace(100, 0, 0, false, 0, false, false, created), 0u);
  ASSERT_EQ(dev->createNamespace(100, 0, 0, false, 0, false, false, created), 0u);
  ASSERT_EQ(dev->attachNamespace(ORV_NS_ATTACH, 3), 0u);
  // Allocated namespace 2 is attached to no controller.
  OrvDevGenData<_OrvNvmNsItem> namespaces;
  ASSERT_EQ(dev->getNamespaceList(namespaces, true), 0u);
  ASSERT_EQ(namespaces.items.size(), 3u);
  const std::pair<u32, std::vector<u16>> expected[] = {{1, {1}}, {3, {1}}, {2, {}}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(namespaces.items[i].namespaceId, expected[i].first) << i;
    EXPECT_EQ(namespaces.items[i].controllerIds, expected[i].second) << i;
  }
  std::stringstream dump;
  namespaces.buffers.back()->hexDump(dump);
  EXPECT_EQ(dump.str().substr(0, dump.str().find('\n')), "Controller list attached to namespace 0x00000003");
  OrvDevGenData<_OrvNvmCtlItem> controllers;
  ASSERT_EQ(dev->getControllerList(controllers), 0u);
  ASSERT_EQ(controllers.items.size(), 1u);
  EXPECT_EQ(controllers.items[0].controllerId, 1u);
  EXPECT_EQ(controllers.items[0].namespaceIds, (std::vector<u32>{1, 3}));
}

TEST_F(NvmeRoutes, RaidActivationFillsTheSlotItActivates) {
  // (keys, slot) -> status (147: the commit failed), Identify's revision,
  // the slot log's active slot and its revision, and slot1, slot2,
  // activeSlot and pendingSlot as the machine file keeps them.
  const std::tuple<const char*, u8, const char*> cases[] = {
      {"", 2, "0 REV00002 2:REV00002 REV00001 REV00002 2 -"},
      {"", 1, "0 REV00002 1:REV00002 REV00002 - 1 -"},
      {R"(, "firstSlotReadOnly": true)", 1, "147 REV00001 1:REV00001 REV00001 - 1 -"},
      {"", 4, "147 REV00001 1:REV00001 REV00001 - 1 -"},
      // Activated at once: an activation the drive held for its reset is gone.
      {R"(, "slot2": "REV00003", "pendingSlot": 2)", 1, "0 REV00002 1:REV00002 REV00002 REV00003 1 -"},
      // A driver that asks for a reboot leaves the image for the reset.
      {R"(, "rebootToActivate": true)", 2, "0 REV00001 1:REV00001 REV00001 REV00002 1 2"},
  };
  std::vector<u8> image = firmwareImage("REV00002", 8192);
  for (const auto& [keys, slot, expected] : cases) {
    load(R"({"controllers": [{"kind": "csmi", "raidSets": [{"drives": [{"model": "NVMe R", "sasAddress": )"
         R"("0000000700000000", "slot1": "REV00001", "activeSlot": 1, "firmwareSlots": 3)" + std::string(keys) +
         "}]}]}]}");
    bool refreshed = false, reboot = false;
    u64 status = device("", 0, "SCSI0:r7")->downloadFirmware(image.data(), 8192, &refreshed, &reboot, 0, false, slot);
    OrvDevGenData<_OrvFwInfoItem> info;
    ASSERT_EQ(device("", 0, "SCSI0:r7")->getFirmwareInfo(info), 0u);
    const _OrvFwInfoItem& item = info.items.at(0);
    rapidjson::Document machine;
    machine.Parse(scratch_.read("machine.json").c_str());
    const rapidjson::Value& kept = machine["controllers"][0]["raidSets"][0]["drives"][0];
    EXPECT_EQ(std::to_string(orv_status_code(status)) + " " + item.currentRevision + " " +
                  std::to_string(item.currentSlot) + ":" + item.slots.at(item.currentSlot - 1).revision + " " +
                  kept["slot1"].GetString() + " " + (kept.HasMember("slot2") ? kept["slot2"].GetString() : "-") +
                  " " + std::to_string(kept["activeSlot"].GetUint()) + " " +
                  (kept.HasMember("pendingSlot") ? std::to_string(kept["pendingSlot"].GetUint()) : "-"),
              expected)
        << keys << " slot " << int{slot};
  }
}

// ------------------------------------------ a RAID driver's SCSI translation

TEST_F(NvmeRoutes, RaidDriverCarriesTheScsiSideWithoutTheTunnel) {
  // The same controller on the NVMe driver and behind a RAID driver: the
  // latter answers none of the NVMe driver's own requests, and security
  // protocol F0h is not its to list.
  for (bool raid : {false, true}) {
    load(nvmeMachine("10.0", std::string(R"(, "tunnel": true, "raid": )") + (raid ? "true" : "false")));
    _OSL_PDEV* drive = open(0);
    EXPECT_EQ(osl_nvme_probe_tunnel(drive), raid ? 0 : 1) << raid;
    send(drive, nvmeEntry(0x06, 0, {1}), 4096);
    u8 info[512];
    u32 error = 0;
    osl_nvme_miniport_fw_info(drive, info, &error, 10);
    std::string answered;
    for (const winsim::StorageRequest& request : winsim::storageTrace())
      answered += request.name.substr(6) + " " + std::to_string(request.error) + "; ";
    EXPECT_EQ(answered, raid ? "SCSI_PASS_THROUGH_DIRECT 0; STORAGE_QUERY_PROPERTY 50; SCSI_MINIPORT 1; "
                             : "SCSI_PASS_THROUGH_DIRECT 0; STORAGE_QUERY_PROPERTY 0; SCSI_MINIPORT 0; ");
  }
}

// ------------------------------------------------- edges of the numbers

TEST_F(NvmeRoutes, NamespaceThatCannotBeIdentifiedLeavesTheFormerOne) {
  auto dev = device(nvmeMachine("6.3", R"(, "tunnel": true)"), 1);
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
  OrvBuffer sector(512, ORV_LITTLE_ENDIAN), metadata;
  ASSERT_EQ(dev->readSectors(0, sector, metadata), 0u);
  ASSERT_EQ(winsim::storageTrace().size(), 1u);
  EXPECT_EQ(bigEndian32(winsim::storageTrace()[0].command, 10), 1u);
}

TEST_F(NvmeRoutes, ErrorLogOfTwoHundredFiftySixEntriesIsReadWhole) {
  // Every entry used: an unrecovered read error (type 2, code 81h) at LBA i.
  std::string entries;
  for (int i = 0; i < 256; ++i)
    entries += (i ? "," : "") + std::string(R"({"count": )") + std::to_string(i + 1) + R"(, "lba": )" +
               std::to_string(i) + R"(, "status": 1282})";
  auto dev = device(nvmeMachine("6.3", R"(, "tunnel": true, "errorLogEntries": 255, "errorLog": [)" + entries + "]"),
                    1);
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

TEST_F(NvmeRoutes, SecurityTransfersOf64KiBKeepTheirLength) {
  const std::pair<const char*, const char*> routes[] = {
      {R"({"windows": "10.0", "drives": [{"bus": "nvme", "securityProtocols": [1]}]})", "PHYSICALDRIVE0"},
      {R"({"controllers": [{"kind": "csmi", "raidSets": [{"drives": [
         {"model": "NVMe MODEL R", "serial": "SR", "sasAddress": "0102030700000000", "securityProtocols": [1]},
         {"model": "NVMe MODEL S", "serial": "SS", "sasAddress": "0102040800000000"}]}]}]})",
       "SCSI0:r7"},
  };
  for (const auto& [machine, path] : routes) {
    SCOPED_TRACE(path);
    auto dev = device(machine, 0, path);
    ASSERT_NE(dev, nullptr);
    OrvBuffer sent = pattern(0x10000);
    ASSERT_EQ(dev->securitySend(1, sent, 0x0104, 0), 0u);
    for (const winsim::StorageRequest& request : winsim::storageTrace())
      EXPECT_TRUE(request.miniportCode != OSL_RST_NVME_CODE || littleEndian32(request.command, 44) == 0x10000u);
    OrvBuffer back(0x10000, ORV_LITTLE_ENDIAN);
    ASSERT_EQ(dev->securityReceive(1, back, 0x0104, 0), 0u);
    EXPECT_TRUE(back.compare(sent));
  }
}

TEST_F(NvmeRoutes, RawReadOf64KiBIsCountedInBlocks) {
  auto dev = device(nvmeMachine("10.0", ""), 1);
  OrvBuffer metadata, written = pattern(0x10000), whole(0x10000, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->writeSectors(0, written, metadata), 0u);
  std::vector<u8> read = nvmeEntry(0x02, 1, {0, 0, 127});
  ASSERT_EQ(dev->sendRawCommand(read.data(), 64, 2, whole, 0), 0u);
  EXPECT_TRUE(whole.compare(written));
  std::vector<u8> tooMany = nvmeEntry(0x02, 1, {0, 0, 128});
  winsim::clearStorageTrace();
  EXPECT_EQ(orv_status_code(dev->sendRawCommand(tooMany.data(), 64, 2, whole, 0)), ORV_ERR_BUFFER_LENGTH);
  EXPECT_TRUE(winsim::storageTrace().empty());
}

TEST_F(NvmeRoutes, DumpWithoutTheDrivesDirectoryReadsEachLogAtItsSize) {
  auto dev = device(nvmeMachine("10.0", R"(, "errorLogEntries": 63, "selfTest": true)"), 1);
  std::vector<_OrvDevDumpItem> records;
  ASSERT_EQ(dev->dumpAllLogs(records), 0u);
  const std::pair<u8, u32> logs[] = {{0x01, 4096}, {0x02, 512}, {0x03, 512}, {0x05, 4096}, {0x06, 564}};
  for (const auto& [id, bytes] : logs) {
    const _OrvDevDumpItem* found = nullptr;
    for (const _OrvDevDumpItem& record : records)
      if (record.kind == 3 && record.id == id) found = &record;
    ASSERT_NE(found, nullptr) << int(id);
    EXPECT_EQ(found->status, 0u) << int(id);
    ASSERT_NE(found->data, nullptr);
    EXPECT_EQ(found->data->getLength(), bytes) << int(id);
  }
  for (_OrvDevDumpItem& record : records) delete record.data;
}

TEST_F(NvmeRoutes, CapacityOfAControllerWithoutNamespaceLists) {
  // A controller before version 1.2 reports VER 0; this one refuses CNS 02h.
  const char* refused = R"([{"nvme": 6, "cns": 2, "statusCode": 2}])";
  const std::pair<const char*, u32> cases[] = {{R"(, "nvmeVersion": 0, "namespaceCount": 3)", 1},
                                               {R"(, "nvmeVersion": 0)", 0}};
  for (const auto& [keys, nsid] : cases) {
    auto dev = device(nvmeMachine("10.0", keys, refused), nsid);
    u64 capacity = 0;
    u32 sectorSize = 0;
    EXPECT_EQ(dev->getCapacity(capacity, sectorSize, 0), 0u) << nsid;
    EXPECT_EQ(capacity, 4096u) << nsid;
    EXPECT_EQ(sectorSize, 512u);
  }
}

TEST_F(NvmeRoutes, LogsReadWithoutATransferLength) {
  // Opened for all namespaces: no I/O handle, no transfer length.
  auto dev = device(nvmeMachine("6.3", R"(, "internalLog": {"1": 24}, "tunnel": true)"), 0);
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
