// The NVMe device on simulated machines: identification and firmware
// (downloads in 4096-byte pieces, commits, pending revisions), features,
// logs, health, format, sanitize, capacity, namespaces, sectors, security,
// raw entries, self-test and the device dump.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "devlib/nvme/orvlib_buffer_nvme_logs.h"
#include "devlib/nvme/orvlib_nvme.h"
#include "devlib/orvlib_buffer_devdump.h"
#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {
bool nothrowFails = false;  // every allocation made with std::nothrow fails while set
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (nothrowFails) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme;
using VazidaRaduru::VazidaRaduruNvme::VazidaRaduruNvmeInternal::OrvNvmLogDirectory;

constexpr u32 kNvmeDevFile = 152;
constexpr u32 kNvmeCmdFile = 151;

// Drive 0 activates an image at once; drive 1 needs a reset, has three slots
// and a read-only first slot, and an older image waiting in slot 2.
const char* twoDrives = R"({"windows": "10.0", "drives": [
  {"bus": "nvme", "model": "MODEL C", "serial": "S4", "firmware": "REV00001"},
  {"bus": "nvme", "model": "MODEL D", "serial": "S5", "firmware": "REV00001",
   "activateWithoutReset": false, "firmwareSlots": 3, "firstSlotReadOnly": true, "slot2": "REV00000"}
]})";

// Before Windows 10 the drive's own answers come through the vendor's
// command tunnel.
const char* kTunnel = R"("tunnel": true)";

// The lengths of the Firmware Image Download pieces the driver received.
std::string piecesSent() {
  std::string pieces;
  for (const winsim::StorageRequest& request : winsim::storageTrace())
    if (request.name == "IOCTL_STORAGE_FIRMWARE_DOWNLOAD") pieces += std::to_string(request.dataLength) + " ";
  return pieces;
}

// The commands of that opcode the controller received.
std::vector<winsim::NvmeDrive::Received> receivedOf(u8 opcode) {
  std::vector<winsim::NvmeDrive::Received> found;
  for (const auto& one : nvmeDrive(0).received())
    if (one.command[0] == opcode) found.push_back(one);
  return found;
}

// Whether Identify followed the last command of that opcode.
bool identifiedAfter(u8 opcode) {
  bool after = false;
  for (const auto& one : nvmeDrive(0).received()) {
    if (one.command[0] == opcode) after = false;
    if (one.command[0] == 0x06) after = true;
  }
  return after;
}

// Starts or aborts a command in the controller itself.
void controllerCommand(u8 opcode, u8 dword10) {
  winsim::NvmeIo io;
  io.command[0] = opcode;
  io.command[40] = dword10;
  nvmeDrive(0).execute(io);
  EXPECT_FALSE(io.failed());
}

OrvBuffer filled(u32 length, u8 first) {
  OrvBuffer buffer(length, ORV_LITTLE_ENDIAN);
  for (u32 i = 0; i < length; ++i) buffer.getBuffer()[i] = static_cast<u8>(first + i);
  return buffer;
}

u32 bigEndian32(const std::vector<u8>& bytes, size_t at) {
  return static_cast<u32>(bytes[at]) << 24 | static_cast<u32>(bytes[at + 1]) << 16 |
         static_cast<u32>(bytes[at + 2]) << 8 | bytes[at + 3];
}

// "name=value" of each item, one a line.
std::string itemsText(const OrvDevGenData<_OrvDataItem>& list, size_t from = 0, size_t to = ~size_t{0}) {
  std::ostringstream out;
  for (size_t i = from; i < list.items.size() && i < to; ++i)
    out << list.items[i].name << "=" << list.items[i].value << "\n";
  return out.str();
}

struct Logs {
  std::vector<OrvBuffer*> buffers;
  ~Logs() {
    for (OrvBuffer* buffer : buffers) delete buffer;
  }
};

// The device with its shared operations in reach.
class SharedNvmeDev : public OrvNvmeDev {
 public:
  SharedNvmeDev() : OrvNvmeDev("PHYSICALDRIVE0", 0, false, false) {}
  using OrvNvmeDev::checkInternalLogSupport;
  using OrvNvmeDev::checkThrottleResult;
  using OrvNvmeDev::getFormatParams;
  using OrvNvmeDev::getLogSize;
  using OrvNvmeDev::nvmFeatureOf;
  using OrvNvmeDev::readInternalLogChunk;
  // The first dword of the last completion.
  void setCompletionDword0(u32 value) { response.dword(0, 0, 32).setValue(value); }
};

using NvmeDev = NvmeMachineTest;

TEST_F(NvmeDev, IdentificationAndPropertyRecord) {
  load(twoDrives);
  DevicePtr dev = newDevice(0);
  ASSERT_NE(dynamic_cast<OrvNvmeDev*>(dev.get()), nullptr);
  EXPECT_EQ(dev->getDeviceType(), OSL_DEV_NVME);
  EXPECT_EQ(identText(*dev), "REV00001|MODEL C|S4|");
  u16 controller = 0;
  u8 active = 0;
  EXPECT_EQ(st(dev->getContollerId(controller)) + st(dev->getPowerMode(&active)), "00");
  EXPECT_EQ(controller, 1);
  EXPECT_EQ(active, 1);

  OrvDevGenData<_OrvDataItem> data;
  EXPECT_EQ(dev->getIdentifyData(data, 1), 0u);
  ASSERT_EQ(data.buffers.size(), 1u);
  bool named = false;
  for (const _OrvDataItem& item : data.items)
    named = named || (item.name == "Model number (MN)" && item.text == "MODEL C");
  EXPECT_TRUE(named);
  // The controller refuses the broadcast namespace id: the first namespace
  // stood in, and the data of "all namespaces" was never read.
  EXPECT_TRUE(isLibStatus(dev->getIdentifyData(data, 0), 83, kNvmeDevFile));

  // SMART bits, security enabled kept, locked and frozen cleared, no
  // self-test; write cache reported and enabled, firmware download and
  // activation, deferred download (two slots), the constant bit.
  _OrvDevProperty property = {};
  property.capabilities1 = 0xE0;
  EXPECT_EQ(dev->fillDeviceInfo(property), 0u);
  EXPECT_EQ(propertyText(property), "MODEL C|REV00001|S4| id 1 cap 23/5F state 1");

  // No deferred download before Windows 10, nor with one slot that
  // activates without reset.
  for (const std::string& machine : {nvmeMachine(R"("firmwareSlots": 3, "tunnel": true)", "6.3"),
                                     nvmeMachine(R"("firmwareSlots": 1)")}) {
    load(machine);
    property = {};
    EXPECT_EQ(newDevice(0)->fillDeviceInfo(property), 0u);
    EXPECT_EQ(property.capabilities2 & 0x08, 0) << machine;
  }
}

TEST_F(NvmeDev, DownloadActivatedAtOnceIsReadBackAndKept) {
  load(twoDrives);
  EXPECT_EQ(firmwareText(*newDevice(1)), "REV00001 1>0 [1:REV00001:1 2:REV00000:0 3::0 ] buffers 1");
  DevicePtr dev = newDevice(0);
  winsim::clearStorageTrace();
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00002", 10000), 0), "0 refreshed");
  EXPECT_EQ(piecesSent(), "4096 4096 1808 ");
  EXPECT_EQ(revisionOf(*dev), "REV00002");
  dev.reset();
  reload();
  EXPECT_EQ(revisionOf(*newDevice(0)), "REV00002");

  // The driver's firmware request carries no commit action: a controller
  // that can activates at once even when deferred, and the reboot stays
  // announced.
  EXPECT_EQ(downloadText(*newDevice(0), firmwareImage("REV00003", 4096), 1), "0 refreshed reboot");
  EXPECT_EQ(revisionOf(*newDevice(0)), "REV00003");
}

TEST_F(NvmeDev, DeferredDownloadLeavesAPendingRevision) {
  load(twoDrives);
  DevicePtr dev = newDevice(1);
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00003", 4100), 1, 3), "0 refreshed reboot");
  EXPECT_EQ(revisionOf(*dev), "REV00001");
  dev.reset();
  reload();
  EXPECT_EQ(firmwareText(*newDevice(1)), "REV00001 1>3 [1:REV00001:1 2:REV00000:0 3:REV00003:0 ] buffers 1");
  nvmeDrive(1).reset();
  EXPECT_EQ(revisionOf(*newDevice(1)), "REV00003");
}

TEST_F(NvmeDev, DriveNeedingAResetTakesTheImageForTheNextOne) {
  load(twoDrives);
  DevicePtr dev = newDevice(1);
  LogCapture log;
  // Slot 0 stands for slot 1, which this drive keeps read only.
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00002", 4096), 0), "4.151.147 reboot");
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00002", 4096), 0, 2), "0 refreshed reboot");
  EXPECT_NE(log.find("Info: Firmware Download without reset is not supported by drive, hence trying deferred "
                     "firmware download\n"),
            nullptr);
  EXPECT_EQ(firmwareText(*dev), "REV00001 1>2 [1:REV00001:1 2:REV00002:0 3::0 ] buffers 1");
  // Activating the slot that holds it needs a reset as well: the driver
  // answers that a reboot is required, which counts as success. An empty
  // slot cannot be activated.
  EXPECT_EQ(activateText(*dev, 2, 0), "0 refreshed reboot");
  EXPECT_EQ(activateText(*dev, 3, 1), "4.151.147");
  // The commit logged: slot 3, activated at the next reset (action 2).
  std::string commit = "Info: CDB: 10 ";
  for (int i = 1; i < 64; ++i) commit += i == 40 ? "13 " : "00 ";
  EXPECT_NE(log.find(commit), nullptr);
}

TEST_F(NvmeDev, DownloadFailures) {
  // Sizes refused before anything is sent.
  DevicePtr dev = device();
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00002", 4097), 0), "4.152.4");
  EXPECT_EQ(downloadText(*dev, {}, 0), "4.152.4");
  EXPECT_TRUE(winsim::storageTrace().empty());
  // An image without the mark: the commit fails and nothing changes;
  // deferred, the reboot is announced before the commit and stays.
  EXPECT_EQ(downloadText(*dev, std::vector<u8>(4096, 0x5A), 0), "4.151.147");
  EXPECT_EQ(downloadText(*dev, std::vector<u8>(4096, 0x5A), 1), "4.151.147 reboot");
  EXPECT_EQ(revisionOf(*dev), "REV00001");

  // The commit fails after two full pieces, no empty third; the drive holds
  // the whole image.
  dev = device(kTunnel, "10.0", R"([{"nvme": 16, "statusType": 0, "statusCode": 6}])");
  std::vector<u8> image = firmwareImage("REV00002", 8192);
  EXPECT_EQ(downloadText(*dev, image, 0), "4.151.147");
  EXPECT_EQ(piecesSent(), "4096 4096 ");
  EXPECT_TRUE(nvmeDrive(0).download().complete());
  EXPECT_EQ(nvmeDrive(0).download().bytes(), image);
  EXPECT_EQ(revisionOf(*dev), "REV00001");

  // The second piece fails; the driver's firmware request hands no
  // completion back, so the drive's reason does not show; no commit.
  dev = device(kTunnel, "10.0", R"([{"nvme": 17, "after": 1, "times": 1, "statusType": 1, "statusCode": 20}])");
  LogCapture log;
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00002", 12288), 0), "4.151.148");
  EXPECT_NE(log.find("Debug: Microcode Download Failed [offset: 4096, segment: 2]\n"), nullptr);
  EXPECT_EQ(trace().find("STORAGE_FIRMWARE_ACTIVATE"), std::string::npos);
  EXPECT_EQ(revisionOf(*dev), "REV00001");

  // Deferred is refused before Windows 10; not deferred, the download goes
  // by the older route and activates.
  dev = device(kTunnel, "6.3");
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00002", 4096), 1), "5.4.83");
  EXPECT_TRUE(winsim::storageTrace().empty());
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00002", 4096), 0), "0 refreshed");
  EXPECT_EQ(revisionOf(*dev), "REV00002");

  // Every Identify Controller after the device's own fails (the OS layer's
  // probe reads the controller data first): the refresh's failure is not
  // the download's.
  dev = device(kTunnel, "10.0", R"([{"nvme": 6, "cns": 1, "after": 2, "statusCode": 6}])");
  EXPECT_EQ(downloadText(*dev, firmwareImage("REV00002", 4096), 0), "0");
  EXPECT_EQ(nvmeDrive(0).slotRevision(1), "REV00002");
}

TEST_F(NvmeDev, UnidentifiedDriveWithIgnoredFailure) {
  load(nvmeMachine(kTunnel, "10.0", R"([{"nvme": 6, "cns": 1, "statusCode": 6}])"));
  EXPECT_TRUE(isLibStatus(thrownStatus([] { newDevice(0); }), 144, kNvmeCmdFile));
  DevicePtr dev = newDevice(0, 0, true);
  OrvDevGenData<_OrvDataItem> data;
  EXPECT_TRUE(isLibStatus(dev->getIdentifyData(data, 1), 83, kNvmeDevFile));
  _OrvDevProperty property = {};
  std::strcpy(property.modelNumber, "KEPT");
  property.state = 3;
  EXPECT_TRUE(isLibStatus(dev->fillDeviceInfo(property), 144, kNvmeDevFile));
  EXPECT_EQ(propertyText(property), "KEPT||| id 0 cap 00/00 state 2");
  OrvDevGenData<_OrvDirEntry> directory;
  EXPECT_TRUE(isLibStatus(dev->getLogDirectory(directory), 149, kNvmeCmdFile)) << "no sizes stand in";
}

TEST_F(NvmeDev, SharedOperations) {
  load(nvmeMachine());
  // Namespace 0 never uses the allocated-namespace identify, whatever asked;
  // the admin handle has the base's limit, a namespace's I/O handle its own.
  u32 limit = 0;
  EXPECT_EQ(newDevice(0, 0, false, true)->getMaxTransferLen(limit), 0u);
  EXPECT_EQ(newDevice(0, 1)->getMaxTransferLen(limit), 0u);
  EXPECT_GT(limit, 0u);

  SharedNvmeDev dev;
  // A version 1.4 controller.
  EXPECT_EQ(dev.nvmFeatureOf(29), 0x10u);
  EXPECT_EQ(dev.nvmFeatureOf(2) | dev.nvmFeatureOf(32), 0u);
  EXPECT_EQ(dev.nvmFeatureOf(16), 0x20F4u);
  EXPECT_EQ(dev.nvmFeatureOf(20), 0xF6u);
  // The drive offers no log directory: the standard sizes stand in; no
  // telemetry header.
  std::string sizes;
  for (u8 id : {0x06, 0x01, 0x09, 0x07}) {
    u32 bytes = 7;
    std::string status = st(dev.getLogSize(id, &bytes));
    sizes += status + ":" + std::to_string(bytes) + " ";
  }
  EXPECT_EQ(sizes, "0:564 0:4096 0:7 4.151.149:7 ");

  EXPECT_TRUE(isLibStatus(dev.checkInternalLogSupport(), 83, kNvmeDevFile));
  OrvBuffer piece(4096, ORV_LITTLE_ENDIAN), odd(6, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(dev.readInternalLogChunk(1, 0, piece, 1), 149, kNvmeCmdFile));
  EXPECT_EQ(orv_status_code(dev.readInternalLogChunk(1, 0, odd, 0)), 6u);

  u8 format = 9, count = 9;
  u32 type = 9, first = 9, atEnd = 9;
  EXPECT_EQ(dev.getFormatParams(&format, &type, &first, &atEnd, &count, 0), 0u);
  EXPECT_EQ(format + count + type + first + atEnd, 0u);
  EXPECT_TRUE(isLibStatus(dev.getFormatParams(&format, &type, &first, &atEnd, &count, 1), 77, kNvmeDevFile));

  // The thermal threshold check: (the drive's changed bits, MT1 in bit 0,
  // status, previous and requested value with MT1 in bits 31:16) -> result
  // and what was logged, all at level 3. A half asked to change that the
  // drive left is a failure; a half left as it was is not.
  const u64 failure = ORV_LIB_STATUS(ORV_ERR_GENERIC);
  const std::string mt1 = "Error: Failed to change MT1 throttle threshold value.\n";
  const std::string mt2 = "Error: Failed to change MT2 throttle threshold value.\n";
  const std::string both = "\nError: Failed to change MT1 and MT2 throttle threshold values.\n\n";
  const struct {
    u32 changed;
    u64 status;
    u32 previous, requested;
    std::string result, logged;
  } throttles[] = {
      {3, 0, 0x01000100, 0x02000200, "0", ""},
      {1, 0, 0x01000100, 0x01000200, "4.152.146", "\n" + mt2 + "\n"},
      {1, 0, 0x01000100, 0x02000100, "0", "\n\n"},
      {2, 0, 0x01000100, 0x02000100, "4.152.146", "\n" + mt1 + "\n"},
      {2, 0, 0x01000100, 0x02000200, "4.152.146", "\n" + mt1 + "\n"},
      {2, 0, 0x01000100, 0x01000200, "0", "\n\n"},
      {0, 0, 1, 2, "4.152.146", both},
      {3, failure, 1, 2, st(failure), both},
  };
  LogCapture log;
  for (const auto& one : throttles) {
    log.clear();
    dev.setCompletionDword0(one.changed);
    EXPECT_EQ(st(dev.checkThrottleResult(one.status, one.previous, one.requested)), one.result) << one.changed;
    EXPECT_EQ(log.text(), one.logged) << one.changed << " " << std::hex << one.requested;
    for (const LoggedLine& line : log.all()) EXPECT_EQ(line.level, OSL_LOG_ERROR);
  }
}

TEST_F(NvmeDev, FeatureSupportAndValues) {
  DevicePtr dev = device(R"("securityCommands": false, "features": {"08": 0})");
  // Numbers that are always there are answered from identify data and have
  // nothing to set; the controller has no feature F8h.
  std::string supported;
  for (u32 number : {24, 27, 2, 6, 3}) supported += dev->isFeatureSupported(number) ? "1" : "0";
  EXPECT_EQ(supported, "11100");
  EXPECT_TRUE(isLibStatus(dev->setFeature(24, 1), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->setFeature(2, 1), 83, kNvmeDevFile));
  EXPECT_TRUE(winsim::storageTrace().empty());
  EXPECT_TRUE(dev->isFeatureSupported(10));
  EXPECT_FALSE(dev->isFeatureSupported(21));
  u8 enabled = 9;
  u32 value = 9;
  EXPECT_EQ(dev->getFeature(6, &enabled, &value), 0u);
  EXPECT_EQ(enabled + value, 0u);
  EXPECT_EQ(orv_status_code(dev->getFeature(3, &enabled, &value)), 83u);
  EXPECT_EQ(orv_status_code(dev->setFeature(6, 1)), 118u);
  EXPECT_EQ(orv_status_code(dev->setFeature(21, 1)), 83u);

  // Set (number, value) then read (number, expected; the value is also the
  // interrupt vector read): the threshold is kept in kelvin, below 273
  // kelvin reads as 0 (0xFFFFFEF8 stored in 16 bits); coalescing time in
  // bits 15:8, threshold in 7:0; vendor bits inverted; coalescing of vector
  // 3 disabled at start, enabled, left alone on vector 4, disabled again;
  // hundredths of the two halves of F9h (100 and 500), the low 16 bits of
  // the product kept (70000 as 4464). Windows 10 itself sets only the
  // threshold and the cache.
  struct Step {
    u32 set, value, read, expected;
  };
  const Step tunnelled[] = {{9, 27, 9, 27},     {9, 0xFFFFFF9B, 9, 0}, {0, 0, 10, 0x0A},  {0, 0, 11, 0x0B},
                            {11, 0x33, 10, 0x0A}, {0, 0, 11, 0x33},    {0, 0, 14, 1},     {0, 0, 15, 0},
                            {14, 0, 14, 0},     {15, 7, 15, 1},       {0, 0, 16, 0},     {0, 0, 17, 0},
                            {0, 0, 18, 0},      {0, 0, 19, 1},        {0, 0, 20, 0},     {0, 0, 22, 1},
                            {0, 0, 23, 5},      {0, 3, 12, 1},        {12, 3, 12, 0},    {0, 4, 13, 1},
                            {13, 3, 13, 1},     {22, 7, 22, 7},       {0, 0, 23, 5},     {23, 3, 23, 3},
                            {22, 700, 22, 44}};
  const Step windows10[] = {{9, 27, 9, 27}, {1, 0, 1, 0}, {0, 0, 11, 0x0B}};
  for (bool tunnel : {true, false}) {
    dev = tunnel ? device(R"("tunnel": true, "features": {"08": 2571, "09": 65536, "F3": 2, "F4": 1, "F5": 1,
                                 "F6": 5, "F9": 32768100})", "6.3")
                 : device(R"("features": {"08": 2571})");
    for (const Step& step : tunnel ? std::vector<Step>(std::begin(tunnelled), std::end(tunnelled))
                                   : std::vector<Step>(std::begin(windows10), std::end(windows10))) {
      if (step.set) {
        ASSERT_EQ(dev->setFeature(step.set, step.value), 0u) << step.set;
      }
      enabled = 0;
      value = step.value;
      EXPECT_EQ(dev->getFeature(step.read, &enabled, &value), 0u) << step.read;
      EXPECT_EQ(enabled, 1u);
      EXPECT_EQ(value, step.expected) << tunnel << " " << step.set << " " << step.read;
    }
    for (const auto& get : receivedOf(0x0A))  // no namespace; no interrupt vector but for feature 09h
      if (get.command[40] != 0x09) {
        EXPECT_EQ(littleEndian32(get.command, 4) | littleEndian32(get.command, 44), 0u) << int(get.command[40]);
      }
    if (!tunnel) continue;
    // What each Set Features carried: the feature and Dword 11.
    std::string written;
    for (const auto& set : receivedOf(0x09)) {
      char one[24];
      std::snprintf(one, sizeof one, "%02X:%X ", set.command[40], littleEndian32(set.command, 44));
      written += one;
    }
    EXPECT_EQ(written, "04:12C 04:AC 08:A33 F3:3 F3:1 09:3 09:10003 F9:1F402BC F9:12C02BC F9:12C1170 ");
  }
  EXPECT_EQ(orv_status_code(dev->setFeature(11, 1)), 185u);
}

TEST_F(NvmeDev, LogDirectoryAndLogReads) {
  DevicePtr dev = device(R"("errorLogEntries": 63, "health": {"temperature": 320})");
  OrvDevGenData<_OrvDirEntry> directory;
  ASSERT_EQ(dev->getLogDirectory(directory), 0u);
  ASSERT_EQ(directory.buffers.size(), 1u);
  std::string listed;
  for (const _OrvDirEntry& entry : directory.items)
    listed += std::to_string(entry.id) + "/" + std::to_string(entry.subIds.size()) + ":" +
              std::to_string(entry.subIds.at(0)) + "/" + std::to_string(entry.info) + " ";
  EXPECT_EQ(listed, "1/1:0/4 2/1:0/4 3/1:0/4 5/1:0/4 ");
  EXPECT_EQ(directory.items[0].name, "Error Information");
  EXPECT_EQ(directory.buffers[0]->dword(4, 0, 32).getValue(), (1024u << 8) | 0x01) << "in dwords";

  Logs logs;
  u32 format = 0;
  LogCapture log;
  EXPECT_EQ(orv_status_code(dev->readLog(0x02, 0, logs.buffers, &format, 0, 0, 1, 0)), 35u);
  EXPECT_NE(log.find("Error: Invalid Parameter [-o]"), nullptr);
  EXPECT_EQ(orv_status_code(dev->readLog(0x02, 0, logs.buffers, &format, 0, 0, 0, 2)), 35u);
  ASSERT_NE(log.find("Error: Invalid Parameter [-c]"), nullptr);
  EXPECT_EQ(log.find("Error: Invalid Parameter [-c]")->level, OSL_LOG_ERROR);
  EXPECT_EQ(orv_status_code(dev->readLog(0x02, 1, logs.buffers, &format, 0, 0, 0, 0)), 149u);
  EXPECT_TRUE(logs.buffers.empty());
  ASSERT_EQ(dev->readLog(0x02, 0, logs.buffers, &format, 0, 0, 0, 0), 0u);
  EXPECT_EQ(format, 4u);

  // The drive's own directory (offered with an internal log) lists log 02h
  // as 128 dwords: the whole 512-byte page is read, for the namespace worked
  // on (the tunnel carries the whole entry).
  dev = device(R"("tunnel": true, "internalLog": {"1": 24}, "health": {"temperature": 320})", "6.3", "[]", 1);
  ASSERT_EQ(dev->readLog(0x02, 0, logs.buffers, &format, 0, 0, 0, 0), 0u);
  EXPECT_EQ(littleEndian32(receivedOf(0x02).back().command, 4), 1u) << "the health of its namespace";
  ASSERT_EQ(logs.buffers.size(), 2u);
  for (OrvBuffer* buffer : logs.buffers) {
    EXPECT_EQ(buffer->getLength(), 512u);
    EXPECT_EQ(buffer->word(1, 0, 16).getValue(), 320u);
  }
}

TEST_F(NvmeDev, InternalStatusLog) {
  DevicePtr dev = device();
  u32 size = 5;
  EXPECT_EQ(orv_status_code(dev->getInternalStatusLogSize(1, &size)), 83u);
  EXPECT_EQ(size, 0u);
  OrvLogBuffer none(512, ORV_LITTLE_ENDIAN, 0, 0, "");
  EXPECT_EQ(orv_status_code(dev->readInternalStatusLog(255, none, 0, 0, 1)), 83u);

  // Types 1 (24 bytes), 2 (16) and 32 (12); the directory from the drive
  // leaves the internal log out.
  dev = device(R"("tunnel": true, "internalLog": {"1": 24, "2": 16, "32": 12})", "6.3");
  OrvDevGenData<_OrvDirEntry> directory;
  ASSERT_EQ(dev->getLogDirectory(directory), 0u);
  std::string ids;
  for (const _OrvDirEntry& entry : directory.items) ids += std::to_string(entry.id) + " ";
  EXPECT_EQ(ids, "1 2 3 ");
  // Mode 9 is type 32; mode 8 (type 8) the drive does not keep; all types:
  // the sizes that can be read add up.
  std::string sizes;
  for (u32 mode : {1, 9, 8, 255}) {
    size = 7;
    std::string status = st(dev->getInternalStatusLogSize(mode, &size));
    sizes += status + ":" + std::to_string(size) + " ";
  }
  EXPECT_EQ(sizes, "0:24 0:12 4.151.149:0 0:52 ");

  // Byte i of a type's log past its header word holds i.
  auto expectTypeLog = [](const u8* bytes, u8 type, u32 length) {
    EXPECT_EQ(bytes[0], type);
    EXPECT_EQ(static_cast<u32>(bytes[1] | bytes[2] << 8 | bytes[3] << 16), length);
    for (u32 i = 4; i < length; ++i) EXPECT_EQ(bytes[i], i) << "type " << int(type) << " byte " << i;
  };
  OrvLogBuffer one(512, ORV_LITTLE_ENDIAN, 0, 0, "");
  ASSERT_EQ(dev->readInternalStatusLog(1, one, 0, 0, 1), 0u);
  ASSERT_EQ(one.getLength(), 24u);
  expectTypeLog(one.getBuffer(), 1, 24);
  EXPECT_EQ(one.getPageId(), 0xF3u);
  EXPECT_EQ(one.getEndianess(), ORV_BIG_ENDIAN);
  ASSERT_EQ(dev->readInternalStatusLog(1, one, 8, 8, 1), 0u);  // a window of the type
  ASSERT_EQ(one.getLength(), 8u);
  EXPECT_EQ(one.getBuffer()[0] * 100 + one.getBuffer()[7], 815);
  OrvLogBuffer all(512, ORV_LITTLE_ENDIAN, 0, 0, "");
  ASSERT_EQ(dev->readInternalStatusLog(255, all, 0, 0, 1), 0u);
  ASSERT_EQ(all.getLength(), 52u);
  expectTypeLog(all.getBuffer(), 1, 24);
  expectTypeLog(all.getBuffer() + 24, 2, 16);
  expectTypeLog(all.getBuffer() + 40, 32, 12);

  LogCapture log;
  EXPECT_EQ(orv_status_code(dev->getInternalStatusLogSize(3, &size)), 35u);
  const LoggedLine* line = log.find("Critical: Invalid mode type [0x03]. Mode type not supported by NVMe.\n");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->level, OSL_LOG_CRITICAL);
  EXPECT_EQ(orv_status_code(dev->readInternalStatusLog(1, one, 16, 12, 1)), 6u);
  EXPECT_NE(log.find("Critical: Invalid buffer length [Max log size = 24] [Input:Offset = 16] [Input:Length = 12]\n"),
            nullptr);
  EXPECT_EQ(one.getLength(), 8u) << "the caller's buffer is left as it was";
}

TEST_F(NvmeDev, TelemetryWindows) {
  DevicePtr dev = device(R"("tunnel": true, "telemetryBlocks": 3)", "6.3");  // 2048 bytes
  Logs logs;
  u32 format = 0;
  LogCapture log;
  // The messages name the first byte of the window and its length.
  EXPECT_EQ(orv_status_code(dev->readLog(0x07, 0, logs.buffers, &format, 0, 0, 4, 0)), 6u);
  const LoggedLine* line = log.find("Critical: Invalid buffer length [Max log size = 2048] [Input:Offset = 2048]\n");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->level, OSL_LOG_CRITICAL);
  EXPECT_EQ(orv_status_code(dev->readLog(0x07, 0, logs.buffers, &format, 0, 0, 1, 4)), 6u);
  EXPECT_NE(log.find("Critical: Invalid buffer length [Max log size = 2048] [Input:Offset = 512] "
                     "[Input:Length = 2048]\n"),
            nullptr);
  EXPECT_TRUE(logs.buffers.empty());
  ASSERT_EQ(dev->readLog(0x07, 0, logs.buffers, &format, 0, 0, 0, 0), 0u);
  ASSERT_EQ(dev->readLog(0x07, 0, logs.buffers, &format, 0, 0, 1, 2), 0u);
  EXPECT_EQ(littleEndian32(receivedOf(0x02).back().command, 4), 0u) << "other logs name no namespace";
  ASSERT_EQ(logs.buffers.size(), 2u);
  // The whole log, then blocks 1 and 2 of it.
  EXPECT_EQ(logs.buffers[0]->getLength(), 2048u);
  EXPECT_EQ(logs.buffers[0]->getBuffer()[1536], 3u);
  EXPECT_EQ(logs.buffers[1]->getLength(), 1024u);
  EXPECT_EQ(logs.buffers[1]->getBuffer()[0], 1u);
  EXPECT_EQ(logs.buffers[1]->getBuffer()[1023], 2u);
}

TEST_F(NvmeDev, HealthReportDecodesEveryField) {
  DevicePtr dev = device(R"("health": {"temperature": 318, "availableSpare": 95, "spareThreshold": 10,
    "percentageUsed": 3, "powerOnHours": [1234, 0], "unsafeShutdowns": [7, 0],
    "dataUnitsWritten": [3, 4], "hostReads": [5, 6], "hostWrites": [7, 8], "busyTime": [9, 10],
    "powerCycles": [11, 12], "mediaErrors": [13, 14], "errorEntries": [15, 16], "dataUnitsRead": [18446744073709551615, 2],
    "warningTime": 7, "criticalTime": 1, "sensors": [300, 301, 302]})");
  OrvDevGenData<_OrvDataItem> report;
  bool trip = true;
  ASSERT_EQ(dev->getSmartReport(report, 0, 0, trip), 0u);
  EXPECT_FALSE(trip);
  ASSERT_EQ(report.items.size(), 40u);
  ASSERT_EQ(report.buffers.size(), 1u);
  EXPECT_EQ(report.buffers[0]->getLength(), 512u);
  std::string ids;
  for (const _OrvDataItem& item : report.items) {
    char id[16];
    std::snprintf(id, sizeof id, "%X%s ", item.id, item.kind == ORV_ITEM_NUMBER && item.flag == 0 ? "" : "*");
    ids += id;
  }
  EXPECT_EQ(ids,
            "20000 20001 20002 20003 20004 20005 20100 20300 20400 20500 22000 22800 23000 23800 24000 24800 "
            "25000 25800 26000 26800 27000 27800 28000 28800 29000 29800 2A000 2A800 2B000 2B800 2C000 2C400 2C800 "
            "2CA00 2CC00 2CE00 2D000 2D200 2D400 2D600 ");
  std::string values;
  for (const _OrvDataItem& item : report.items) values += std::to_string(item.value) + " ";
  EXPECT_EQ(values,
            "0 0 0 0 0 0 318 95 10 3 18446744073709551615 2 3 4 5 6 7 8 9 10 11 12 1234 0 7 0 13 14 15 16 7 1 "
            "300 301 302 0 0 0 0 0 ");
  EXPECT_EQ(itemsText(report, 0, 12),
            "SMART trip-critical Warning:Available Spare Space=0\n"
            "SMART trip-critical Warning:Temperature Threshold=0\n"
            "SMART trip-critical Warning:Subsystem Reliability=0\n"
            "SMART trip-critical Warning:Read Only Mode=0\n"
            "SMART trip-critical Warning:Backup Device Failed=0\n"
            "SMART trip failure=0\n"
            "Composite Temperature=318\n"
            "Available Spare=95\n"
            "Available Spare Threshold=10\n"
            "Percentage Used=3\n"
            "Data Units Read Qword1=18446744073709551615\n"
            "Data Units Read Qword2=2\n");
  EXPECT_EQ(itemsText(report, 22, 26), "Power On Hours Qword1=1234\nPower On Hours Qword2=0\n"
                                       "Unsafe Shutdowns Qword1=7\nUnsafe Shutdowns Qword2=0\n");
  EXPECT_EQ(itemsText(report, 29, 40),
            "Number of Error Information Log Entries Qword2=16\n"
            "Warning Composite Temperature Time=7\n"
            "Critical Composite Temperature Time=1\n"
            "Temperature Sensor1=300\nTemperature Sensor2=301\nTemperature Sensor3=302\nTemperature Sensor4=0\n"
            "Temperature Sensor5=0\nTemperature Sensor6=0\nTemperature Sensor7=0\nTemperature Sensor8=0\n");

  OrvDevGenData<_OrvDataItem> wear;
  ASSERT_EQ(dev->getEnduranceInfo(wear), 0u);
  EXPECT_EQ(wear.buffers.size(), 1u);
  EXPECT_EQ(itemsText(wear), "Available Spare=95\nAvailable Spare Threshold=10\nPercentage Used=3\n");
  EXPECT_EQ(wear.items[1].id, 0x020400u);

  // Operations without an NVMe counterpart send nothing.
  winsim::clearStorageTrace();
  OrvDevGenData<_OrvSmartAttrItem> attributes;
  EXPECT_EQ(orv_status_code(dev->getSmartAttributes(attributes, "parser.txt")), 83u);
  EXPECT_EQ(orv_status_code(dev->getErrorCounters(report, true)), 83u);
  EXPECT_EQ(orv_status_code(dev->getDeviceStatistics(report)), 83u);
  EXPECT_TRUE(winsim::storageTrace().empty());
}

TEST_F(NvmeDev, HealthReportModesAndTrip) {
  // Report mode (no trip item, trip untouched), the trip check alone (the
  // five warning bits and the trip), both at once counting as neither.
  DevicePtr dev = device(R"("health": {"criticalWarning": 1})");
  struct Mode {
    u8 report, trip;
    size_t items;
    bool tripped;
    const char* first;
  } modes[] = {{1, 0, 39, false, "Critical Warning:Available Spare Space=1\n"},
               {0, 1, 6, true, "SMART trip-critical Warning:Available Spare Space=1\n"},
               {1, 1, 40, true, "SMART trip-critical Warning:Available Spare Space=1\n"}};
  for (const Mode& mode : modes) {
    OrvDevGenData<_OrvDataItem> report;
    bool trip = false;
    ASSERT_EQ(dev->getSmartReport(report, mode.report, mode.trip, trip), 0u);
    EXPECT_EQ(report.items.size(), mode.items);
    EXPECT_EQ(trip, mode.tripped);
    EXPECT_EQ(report.buffers.size(), 1u);
    EXPECT_EQ(itemsText(report, 0, 1), mode.first);
    EXPECT_EQ(itemsText(report, 5, 6), mode.report && !mode.trip
                                           ? "Composite Temperature=310\n"
                                           : "SMART trip failure=" + std::to_string(mode.tripped) + "\n");
  }
  // The trip follows the low warning bits only.
  for (u64 warning : {0x02u, 0x10u, 0x20u}) {
    dev = device(R"("health": {"criticalWarning": )" + std::to_string(warning) + "}");
    OrvDevGenData<_OrvDataItem> report;
    bool trip = false;
    ASSERT_EQ(dev->getSmartReport(report, 0, 1, trip), 0u);
    EXPECT_EQ(trip, warning != 0x20) << warning;
  }
  // A failed health read adds nothing.
  dev = device(R"("firmwareSlots": 1)", "10.0", R"([{"nvme": 2, "log": 2, "statusType": 1, "statusCode": 9}])");
  OrvDevGenData<_OrvDataItem> report, wear;
  bool trip = true;
  LogCapture failures;
  EXPECT_EQ(orv_status_code(dev->getSmartReport(report, 0, 0, trip)), 149u);
  EXPECT_NE(failures.find("Error: IOCTL Failure"), nullptr) << "the device ignores no failure it was not told to";
  EXPECT_TRUE(report.items.empty() && report.buffers.empty() && trip);
  EXPECT_EQ(orv_status_code(dev->getEnduranceInfo(wear)), 149u);
  EXPECT_TRUE(wear.buffers.empty());
}

TEST_F(NvmeDev, ErrorLog) {
  DevicePtr dev = device(R"("errorLogEntries": 3, "errorLog": [
      {"count": 9, "queue": 1, "command": 77, "status": 32773, "location": 1540, "lba": 4096,
       "namespace": 1, "vendorInfo": 2, "commandInfo": 81985529216486895},
      {"count": 0, "queue": 5}, {"count": 7, "status": 4}])");
  OrvDevGenData<_OrvErrLogItem> log;
  ASSERT_EQ(dev->readErrorLog(log), 0u);
  ASSERT_EQ(log.buffers.size(), 1u);
  EXPECT_EQ(log.buffers[0]->getLength(), 4u * 64);
  // The status with the phase bit; the walk goes past an unused entry.
  std::ostringstream items;
  for (const _OrvErrLogItem& item : log.items)
    items << std::hex << item.errorCount << " " << item.submissionQueueId << " " << item.commandId << " "
          << item.statusField << " " << int(item.parameterErrorByte) << " " << int(item.parameterErrorBit) << " "
          << item.lba << " " << item.nameSpace << " " << int(item.vendorInfoAvailable) << " "
          << item.commandSpecificInfo << "\n";
  EXPECT_EQ(items.str(), "9 1 4d 8005 4 6 1000 1 2 123456789abcdef\n7 0 0 4 0 0 0 0 0 0\n");

  // Sizes: one entry; a failed read keeps nothing.
  struct Case {
    const char* keys;
    const char* faults;
    const char* status;
    int length;  // of the one buffer; -1: none
  } cases[] = {{R"("errorLogEntries": 0)", "[]", "0", 64},
               {R"("errorLogEntries": 1)", R"([{"nvme": 2, "log": 1, "statusType": 1, "statusCode": 9}])", "4.151.149",
                -1}};
  for (const Case& one : cases) {
    dev = device(one.keys, "10.0", one.faults);
    OrvDevGenData<_OrvErrLogItem> sized;
    EXPECT_EQ(st(dev->readErrorLog(sized)), one.status) << one.keys;
    EXPECT_TRUE(sized.items.empty());
    EXPECT_EQ(sized.buffers.empty() ? -1 : static_cast<int>(sized.buffers[0]->getLength()), one.length) << one.keys;
  }
  // No memory for the error or health log: that failure, nothing read.
  OrvDevGenData<_OrvDataItem> wear;
  dev = device();
  nothrowFails = true;
  std::string failed = st(dev->readErrorLog(log)) + " " + st(dev->getEnduranceInfo(wear));
  nothrowFails = false;
  EXPECT_EQ(failed, "4.152.8 4.152.8");
  EXPECT_TRUE(nvmeDrive(0).received().empty());
}

TEST_F(NvmeDev, SecurityEraseAndFormat) {
  // Metadata at the end of the block and protection type 1 in the first
  // eight bytes of metadata, kept by every format.
  const u32 kept = 1u << 8 | 1u << 5 | 1u << 4;
  DevicePtr dev = device(R"("tunnel": true, "sectors": 2000000, "cryptoErase": true, "lbaFormats": 4, "flbas": 16,
    "dps": 9, "formatBusy": 2)");
  // Mode 1 is a cryptographic erase, 0 and 2 a user data erase.
  for (u32 mode : {1u, 0u, 2u}) {
    nvmeDrive(0).forgetReceived();
    EXPECT_EQ(dev->securityErase(mode, "ignored"), 0u);
    auto formats = receivedOf(0x80);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(littleEndian32(formats[0].command, 40), (mode == 1 ? 2u : 1u) << 9 | kept) << mode;
    EXPECT_EQ(littleEndian32(formats[0].command, 4), 0xFFFFFFFFu);
    EXPECT_TRUE(identifiedAfter(0x80)) << "the identify data is read again";
  }
  EXPECT_EQ(nvmeDrive(0).number64("lastSecureErase", 9), 1u);
  u16 time = 7;
  u8 supported = 7, enhanced = 7;
  EXPECT_EQ(dev->getSecurityEraseInfo(1, time, supported, enhanced), 0u);
  EXPECT_EQ(time + supported + enhanced, 0);

  // Format Unit changes only the LBA format; the high bits of the argument
  // are dropped; the drive reports the format in progress twice first.
  nvmeDrive(0).forgetReceived();
  EXPECT_EQ(dev->formatUnit(0x13), 0u);
  auto formats = receivedOf(0x80);
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(littleEndian32(formats[0].command, 40), kept | 3u);
  EXPECT_EQ(nvmeDrive(0).number64("flbas", 0), 0x13u);
  EXPECT_EQ(nvmeDrive(0).number64("dps", 0), 9u);
  // The drive refuses a format it does not have: nothing read again.
  nvmeDrive(0).forgetReceived();
  EXPECT_TRUE(isLibStatus(dev->formatUnit(5), 157, kNvmeCmdFile));
  EXPECT_EQ(receivedOf(0x06).size(), 0u);

  // Refusals that send nothing: no cryptographic erase; no Format NVM.
  dev = device(kTunnel);
  EXPECT_TRUE(isLibStatus(dev->securityErase(1, ""), 77, kNvmeDevFile));
  EXPECT_TRUE(nvmeDrive(0).received().empty());
  dev = device(R"("tunnel": true, "formatNvm": false, "cryptoErase": true)");
  EXPECT_EQ(st(dev->securityErase(0, "")) + st(dev->securityErase(1, "")) + st(dev->formatUnit(0)),
            "4.152.834.152.834.152.83");
  EXPECT_TRUE(nvmeDrive(0).received().empty());
}

TEST_F(NvmeDev, Sanitize) {
  DevicePtr dev = device(kTunnel);
  u32 state = 9;
  u16 percent = 9;
  EXPECT_EQ(st(dev->sanitize(static_cast<_OrvSanitizeMode>(1))) + " " + st(dev->exitSanitizeFailure()) + " " +
                st(dev->getSanitizeProgress(&state, &percent)),
            "4.152.83 4.152.83 4.152.83");
  EXPECT_EQ(state, 9u);
  EXPECT_TRUE(nvmeDrive(0).received().empty());
  // Crypto erase only: the other modes are refused; the platform's driver
  // passes no Sanitize command at all.
  dev = device(R"("tunnel": true, "sanitizeCapabilities": 1)");
  for (u32 mode : {0u, 2u, 3u, 4u})
    EXPECT_TRUE(isLibStatus(dev->sanitize(static_cast<_OrvSanitizeMode>(mode)), 83, kNvmeDevFile)) << mode;
  EXPECT_TRUE(nvmeDrive(0).received().empty());
  u64 status = dev->sanitize(static_cast<_OrvSanitizeMode>(1));
  EXPECT_EQ(orv_status_code(status), 83u);
  EXPECT_EQ(orv_status_layer_of(status), ORV_LAYER_OSL);
  EXPECT_EQ(orv_status_code(dev->exitSanitizeFailure()), 83u);
  EXPECT_TRUE(receivedOf(0x84).empty());

  // Progress from the log: (status, progress) -> (state, percent).
  const u32 cases[][4] = {{2, 0x8000, 0, 50}, {2, 0xFFFF, 0, 99}, {1, 0xFFFF, 2, 100},
                          {0, 0, 2, 100},     {3, 0x1234, 3, 0},  {5, 0x1234, 15, 0}};
  for (const auto& one : cases) {
    dev = device(R"("tunnel": true, "sanitizeCapabilities": 7, "sanitizeStatus": )" + std::to_string(one[0]) +
                 R"(, "sanitizeProgress": )" + std::to_string(one[1]));
    state = percent = 9;
    EXPECT_EQ(dev->getSanitizeProgress(&state, &percent), 0u);
    EXPECT_EQ(std::to_string(state) + " " + std::to_string(percent),
              std::to_string(one[2]) + " " + std::to_string(one[3]))
        << one[0];
  }
  // A sanitize the controller ran leaves it completed.
  dev = device(R"("tunnel": true, "sanitizeCapabilities": 2, "sanitizeStatus": 0, "sanitizeProgress": 0)");
  controllerCommand(0x84, 2);
  state = percent = 9;
  EXPECT_EQ(dev->getSanitizeProgress(&state, &percent), 0u);
  EXPECT_EQ(state * 1000 + percent, 2100u);
  // The log unreadable: the outputs as they were.
  dev = device(R"("tunnel": true, "sanitizeCapabilities": 1)", "10.0", R"([{"nvme": 2, "log": 129}])");
  state = percent = 9;
  EXPECT_TRUE(isLibStatus(dev->getSanitizeProgress(&state, &percent), 149, kNvmeCmdFile));
  EXPECT_EQ(state * 100 + percent, 909u);
}

TEST_F(NvmeDev, Capacity) {
  DevicePtr dev = device(R"("tunnel": true, "sectors": 2000000, "maxCapacity": 1000000, "sectorSize": 4096)");
  u64 capacity = 0;
  u32 size = 0;
  // The vendor feature wins over Identify; per namespace, its NCAP.
  EXPECT_EQ(dev->getCapacity(capacity, size, 0), 0u);
  EXPECT_EQ(std::to_string(capacity) + "/" + std::to_string(size), "1000000/4096");
  EXPECT_EQ(dev->getCapacity(capacity, size, 1), 0u);
  EXPECT_EQ(capacity, 2000000u);
  size = 0;
  EXPECT_EQ(dev->getSectorSize(size), 0u);
  EXPECT_EQ(size, 4096u);

  nvmeDrive(0).forgetReceived();
  EXPECT_EQ(dev->setMaxCapacity(0x123456), 0u);
  auto sets = receivedOf(0x09);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(littleEndian32(sets[0].command, 40), 0x800000F7u) << "saved";
  EXPECT_EQ(nvmeDrive(0).number64("maxCapacity", 0), 0x123456u);
  EXPECT_TRUE(identifiedAfter(0x09));
  // Restoring sends all ones: the native capacity.
  nvmeDrive(0).forgetReceived();
  EXPECT_EQ(dev->restoreMaxCapacity(), 0u);
  sets = receivedOf(0x09);
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_GE(sets[0].data.size(), 12u);
  EXPECT_EQ(std::vector<u8>(sets[0].data.begin(), sets[0].data.begin() + 12),
            std::vector<u8>({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(nvmeDrive(0).number64("maxCapacity", 0), 2000000u);
  // The drive refuses more than it has.
  EXPECT_TRUE(isLibStatus(dev->setMaxCapacity(3000000), 146, kNvmeCmdFile));

  // Without the feature: the active namespaces' sizes, or TNVMCAP in bytes
  // with namespace management; nothing to set.
  dev = device(R"("tunnel": true, "sectors": 2000000)");
  EXPECT_EQ(dev->getCapacity(capacity, size, 0), 0u);
  EXPECT_EQ(std::to_string(capacity) + "/" + std::to_string(size), "2000000/512");
  EXPECT_EQ(st(dev->setMaxCapacity(5)) + " " + st(dev->restoreMaxCapacity()), "4.152.83 4.152.83");
  EXPECT_TRUE(receivedOf(0x09).empty());
  dev = device(R"("tunnel": true, "sectors": 2000000, "namespaceManagement": true)");
  EXPECT_EQ(dev->getCapacity(capacity, size, 0), 0u);
  EXPECT_EQ(capacity, 2000000u * 512u);
}

TEST_F(NvmeDev, NamespaceManagementRefusals) {
  DevicePtr dev = device();
  u32 created = 77;
  EXPECT_TRUE(isLibStatus(dev->createNamespace(100, 0, 0, false, 0, false, false, created), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->deleteNamespace(1), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->attachNamespace(ORV_NS_ATTACH, 1), 83, kNvmeDevFile));
  // A bad action is refused before the capability is looked at.
  EXPECT_TRUE(isLibStatus(dev->attachNamespace(static_cast<_OrvNsAttachAction>(2), 1), 3, kNvmeDevFile));
  dev = device(R"("nvmeVersion": 0)");
  OrvDevGenData<_OrvNvmCtlItem> controllers;
  EXPECT_TRUE(isLibStatus(dev->getControllerList(controllers), 83, kNvmeDevFile));
  EXPECT_TRUE(winsim::storageTrace().empty());

  dev = device(R"("namespaceManagement": true, "unallocatedBytes": 1000000,
    "lbaFormats": [{"sectorSize": 512}, {"sectorSize": 4096, "metadataSize": 8}, {"sectorSize": 1}],
    "protectionCaps": 17)");
  LogCapture log;
  struct Case {
    u64 size, capacity;
    u32 format;
    u8 type;
    bool first;
    const char* message;
  } cases[] = {
      {0, 0, 0, 0, false, "Error: NsSize:0\n"},
      {100, 101, 0, 0, false, "Error: Specified NsCap (101) is more than Specified NsSize(100)\n"},
      {1000001, 0, 0, 0, false, "Error: NsSize (1000001) is more than unallocated size (1000000)\n"},
      {100, 0, 3, 0, false, "Error: Invalid LBA Format (3). Max allowed (2)\n"},
      {100, 0, 2, 0, false, "Error: Invalid LBA Format (2). Not supported\n"},
      {100, 0, 1, 4, false, "Error: Invalid pi value (4). Not supported\n"},
      {100, 0, 0, 1, false, "Error: Invalid pi value (1). Not supported\n"},  // no metadata
      {100, 0, 1, 2, false, "Error: Invalid pi value (2). Not supported\n"},  // type 2 not offered
      {100, 0, 1, 0, true, "Error: Invalid pi value (0). Not supported\n"},   // DPC bit 3 clear
  };
  for (const Case& one : cases) {
    log.clear();
    EXPECT_TRUE(isLibStatus(dev->createNamespace(one.size, one.capacity, one.format, false, one.type, one.first,
                                                 false, created),
                            3, kNvmeDevFile))
        << one.message;
    const LoggedLine* line = log.find(one.message);
    ASSERT_NE(line, nullptr) << one.message;
    EXPECT_EQ(line->level, OSL_LOG_ERROR);
  }
  EXPECT_TRUE(winsim::storageTrace().empty());
  // Type 1 at the end of the metadata, on the format with metadata, passes
  // the checks; the platform's driver does not carry the command.
  log.clear();
  EXPECT_EQ(orv_status_code(dev->createNamespace(100, 0, 1, true, 1, false, true, created)), 83u);
  EXPECT_EQ(log.find("Error: "), nullptr);
  EXPECT_EQ(created, 77u);
  // The RAID driver's pass-through carries every admin command: a crypto
  // erase on a drive offering only that, the protection type in DPS.
  load(R"({"windows": "10.0", "controllers": [{"kind": "csmi", "raidSets": [{"drives": [{"model": "NVMe MODEL R",
    "serial": "SR", "sasAddress": "0000000700000000", "namespaceCount": 2,
    "sanitizeCapabilities": 1, "namespaceManagement": true, "unallocatedBytes": 1048576,
    "lbaFormats": [{"sectorSize": 512}, {"sectorSize": 4096, "metadataSize": 8}], "protectionCaps": 17}]}]}]})");
  dev.reset(OrvGenDev::newOrvDevice("SCSI0:r7", 0, false, false));
  EXPECT_EQ(st(dev->sanitize(static_cast<_OrvSanitizeMode>(1))) + " " +
                st(dev->createNamespace(100, 0, 1, true, 1, false, true, created)),
            "0 0");
  EXPECT_NE(scratch_.read("machine.json").find(R"("dps": 1,)"), std::string::npos) << "type 1, protection last";

  // Protection first with its capability passes; the LBA format index
  // equal to NLBAF (0 here) is a valid one.
  dev = device(R"("namespaceManagement": true, "unallocatedBytes": 1000, "protectionCaps": 8)");
  EXPECT_EQ(orv_status_code(dev->createNamespace(1000, 0, 0, false, 0, true, false, created)), 83u);
  EXPECT_EQ(log.find("Error: "), nullptr);
  EXPECT_NE(orv_status_code(dev->createNamespace(1000, 500, 0, false, 0, false, false, created)), 3u);
}

TEST_F(NvmeDev, NamespaceLists) {
  // An old controller: the ids counted up, no command sent.
  DevicePtr dev = device(R"("nvmeVersion": 0, "namespaceCount": 3)");
  OrvDevGenData<_OrvNvmNsItem> list;
  ASSERT_EQ(dev->getNamespaceList(list, true), 0u);
  std::string items;
  for (const _OrvNvmNsItem& item : list.items)
    items += std::to_string(item.namespaceId) + ":" + std::to_string(item.controllerIds.size()) + "/" +
             std::to_string(item.controllerIds.at(0)) + " ";
  EXPECT_EQ(items, "1:1/1 2:1/1 3:1/1 ");
  ASSERT_EQ(list.buffers.size(), 1u);
  for (u32 i = 0; i < 4; ++i) EXPECT_EQ(list.buffers[0]->dword(4 * i, 0, 32).getValue(), i < 3 ? i + 1 : 0u);
  EXPECT_TRUE(winsim::storageTrace().empty());
  // Working on namespace 1 lists only it, whatever the allocated argument.
  EXPECT_EQ(dev->changeNamespace(1, false), 0u);
  OrvDevGenData<_OrvNvmNsItem> one;
  ASSERT_EQ(dev->getNamespaceList(one, true), 0u);
  ASSERT_EQ(one.items.size(), 1u);
  EXPECT_EQ(one.items[0].namespaceId, 1u);

  // Without namespace management no allocated list and no controller
  // lists: the active list, named in its dump, and namespace 1 on this
  // controller.
  dev = device(R"("tunnel": true)");
  OrvDevGenData<_OrvNvmNsItem> read;
  ASSERT_EQ(dev->getNamespaceList(read, true), 0u);
  ASSERT_EQ(read.items.size(), 1u);
  EXPECT_EQ(read.items[0].namespaceId, 1u);
  EXPECT_EQ(read.items[0].controllerIds, std::vector<u16>{1});
  ASSERT_EQ(read.buffers.size(), 1u);
  std::stringstream out;
  read.buffers[0]->hexDump(out);
  std::string name;
  std::getline(out, name);
  EXPECT_EQ(name, "Attached namespace list");

  // A failed identify keeps nothing.
  dev = device("", "10.0", R"([{"nvme": 6, "cns": 2}])");
  OrvDevGenData<_OrvNvmNsItem> failed;
  EXPECT_TRUE(isLibStatus(dev->getNamespaceList(failed, false), 144, kNvmeCmdFile));
  EXPECT_TRUE(failed.items.empty() && failed.buffers.empty());
}

TEST_F(NvmeDev, MetadataLayout) {
  // (keys) -> size, at the end, protection information first; a separate
  // buffer leaves the last as it was.
  struct Case {
    const char* keys;
    const char* expected;
  } cases[] = {
      {"", "0 1 1"},
      {R"("lbaFormats": [{"sectorSize": 512, "metadataSize": 16}], "protectionSettings": 9)", "16 0 1"},
      {R"("lbaFormats": [{"sectorSize": 512}, {"sectorSize": 512, "metadataSize": 8}], "lbaFormat": 1,
          "extendedLba": true, "protectionSettings": 1)",
       "8 1 0"},
  };
  for (const Case& one : cases) {
    DevicePtr dev = device(one.keys);
    u32 size = 9;
    bool atEnd = true, first = true;
    EXPECT_EQ(dev->getMetaDataConfig(size, atEnd, first), 0u);
    EXPECT_EQ(std::to_string(size) + " " + std::to_string(atEnd) + " " + std::to_string(first), one.expected);
  }
}

TEST_F(NvmeDev, SectorsRoundTripWithTheirBlockCount) {
  DevicePtr dev = device(R"("sectors": 4096)", "10.0", "[]", 1);
  OrvBuffer metadata;
  OrvBuffer written = filled(4096, 3);
  ASSERT_EQ(dev->writeSectors(8, written, metadata), 0u);
  ASSERT_EQ(winsim::storageTrace().size(), 1u);
  EXPECT_EQ(sentEntry(0)[0], 0x8A);
  EXPECT_EQ(bigEndian32(sentEntry(0), 10), 8u) << "NLB 7 on 512-byte sectors";
  OrvBuffer read(4096, ORV_LITTLE_ENDIAN), next(512, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->readSectors(8, read, metadata), 0u);
  EXPECT_TRUE(read.compare(written.getBuffer(), 4096));
  ASSERT_EQ(dev->readSectors(16, next, metadata), 0u);
  EXPECT_EQ(next.getBuffer()[0], 0) << "a block never written";

  // Less than a sector or more blocks than one command carries; compare,
  // flush and write uncorrectable have no route through the platform's
  // driver: nothing reaches the drive.
  winsim::clearStorageTrace();
  OrvBuffer tiny(100, ORV_LITTLE_ENDIAN), data(512, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(st(dev->readSectors(0, tiny, metadata)) + " " + st(dev->writeUncorrectable(0, 0)) + " " +
                st(dev->writeUncorrectable(0, 0x10001)),
            "4.152.6 4.152.3 4.152.3");
  EXPECT_EQ(orv_status_code(dev->verifySectors(0, data)), 83u);
  EXPECT_EQ(orv_status_code(dev->flushCache()), 83u);
  EXPECT_EQ(orv_status_code(dev->writeUncorrectable(0, 1)), 83u);
  EXPECT_TRUE(winsim::storageTrace().empty());

  // 4096-byte sectors move whole blocks only: the sender clears a whole
  // incoming buffer first; the drive fills only the one block.
  dev = device(R"("sectors": 4096, "sectorSize": 4096)", "10.0", "[]", 1);
  written = filled(4096, 1);
  ASSERT_EQ(dev->writeSectors(2, written, metadata), 0u);
  OrvBuffer large(4100, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->readSectors(2, large, metadata), 0u);
  EXPECT_EQ(bigEndian32(sentEntry(1), 10), 1u) << "NLB 0";
  EXPECT_TRUE(large.compare(written, 0, 4096));
  EXPECT_EQ(large.getBuffer()[4099], 0);

  // Partitions are looked for only through the I/O handle.
  dev = device();
  EXPECT_FALSE(dev->hasActivePartition());
  EXPECT_TRUE(winsim::storageTrace().empty());
}

TEST_F(NvmeDev, SecurityProtocolsAndRawEntries) {
  DevicePtr dev = device(R"("sectors": 4096, "securityProtocols": [2, 1])", "10.0", "[]", 1);
  OrvBuffer list(16, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->securityReceive(0, list, 0, 0), 0u);
  EXPECT_EQ(std::vector<u8>(list.getBuffer() + 6, list.getBuffer() + 11), (std::vector<u8>{0, 3, 0, 1, 2}));
  OrvBuffer sent = filled(512, 9);
  ASSERT_EQ(dev->securitySend(1, sent, 0x0104, 0), 0u);
  EXPECT_EQ(std::vector<u8>(sentEntry(1).begin(), sentEntry(1).begin() + 10),
            (std::vector<u8>{0xB5, 1, 0x01, 0x04, 0, 0, 0, 0, 2, 0}));
  OrvBuffer back(512, ORV_LITTLE_ENDIAN), other(512, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->securityReceive(1, back, 0x0104, 0), 0u);
  EXPECT_TRUE(back.compare(sent.getBuffer(), 512));
  ASSERT_EQ(dev->securityReceive(1, other, 0x0105, 0), 0u);
  EXPECT_EQ(other.getBuffer()[0], 0) << "nothing kept for another value";
  EXPECT_TRUE(isLibStatus(dev->securityReceive(5, back, 0, 0), 159, kNvmeCmdFile));
  EXPECT_TRUE(isLibStatus(dev->securitySend(5, sent, 0, 0), 158, kNvmeCmdFile));

  // An admin Identify Controller into a 512-byte buffer goes through a
  // 4096-byte one and comes back.
  std::vector<u8> identify = nvmeEntry(0x06, 0, {1});
  OrvBuffer data(512, ORV_LITTLE_ENDIAN);
  ASSERT_EQ(dev->sendRawCommand(identify.data(), 64, 2, data, 1), 0u);
  EXPECT_EQ(data.word(0, 0, 16).getValue(), 0x1D79u);
  EXPECT_EQ(winsim::storageTrace().back().dataLength, 4096u);
  // An I/O Read of 8 blocks needs 8 blocks of buffer; a write direction
  // without data is refused too.
  OrvBuffer metadata;
  OrvBuffer written = filled(4096, 5);
  ASSERT_EQ(dev->writeSectors(0, written, metadata), 0u);
  winsim::clearStorageTrace();
  std::vector<u8> read = nvmeEntry(0x02, 1, {0, 0, 7}), uncorrectable = nvmeEntry(0x04, 1, {0, 0, 0});
  OrvBuffer small(2048, ORV_LITTLE_ENDIAN), whole(4096, ORV_LITTLE_ENDIAN);
  EXPECT_TRUE(isLibStatus(dev->sendRawCommand(read.data(), 64, 2, small, 0), 6, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->sendRawCommand(uncorrectable.data(), 64, 1, small, 0), 1, kNvmeDevFile));
  EXPECT_TRUE(winsim::storageTrace().empty());
  ASSERT_EQ(dev->sendRawCommand(read.data(), 64, 2, whole, 0), 0u);
  EXPECT_TRUE(whole.compare(written.getBuffer(), 4096));
}

TEST_F(NvmeDev, UnrecoveredReadErrorsFromTheErrorLog) {
  // "status" is the entry's Status Field: type << 9 | code << 1. ELPE 0
  // reads one entry.
  struct Case {
    const char* keys;
    const char* faults;
    const char* status;
    std::vector<u64> lbas;
  } cases[] = {
      {R"("errorLog": [{"count": 1, "lba": 100, "status": 1282}, {"count": 2, "lba": 200, "status": 1280},
         {"count": 3, "lba": 300, "status": 258}, {"count": 4, "lba": 4294967396, "status": 1282}])",
       "[]", "0", {100, 4294967396ull}},
      {R"("errorLogEntries": 0, "errorLog": [{"count": 1, "lba": 5, "status": 1282},
         {"count": 2, "lba": 6, "status": 1282}])",
       "[]", "0", {5}},
      {"", R"([{"nvme": 2, "log": 1}])", "4.151.149", {}},
  };
  for (const Case& one : cases) {
    DevicePtr dev = device(one.keys, "10.0", one.faults, 1);
    std::vector<u64> lbas = {7};
    EXPECT_EQ(st(dev->readErrorLogPages(lbas)), one.status) << one.keys;
    EXPECT_EQ(lbas, one.lbas) << one.keys;
  }
}

TEST_F(NvmeDev, SelfTest) {
  // A drive without self-test refuses everything, sending nothing.
  DevicePtr dev = device();
  u8 remaining = 9;
  u32 running = 9, seconds = 9;
  EXPECT_TRUE(isLibStatus(dev->getSelfTestStatus(&remaining, &running), 83, kNvmeDevFile));
  for (u32 kind : {1u, 2u, 3u, 5u}) EXPECT_TRUE(isLibStatus(dev->runSelfTest(kind, 0), 83, kNvmeDevFile)) << kind;
  OrvDevGenData<_OrvSelfTestItem> log;
  EXPECT_TRUE(isLibStatus(dev->getSelfTestLog(log), 83, kNvmeDevFile));
  EXPECT_TRUE(log.items.empty() && nvmeDrive(0).received().empty());
  EXPECT_EQ(remaining + running, 18u);

  // The status of the running test: (keys, faults) -> status remaining running;
  // a vendor's own test gets no answer and leaves the outputs.
  struct Case {
    const char* keys;
    const char* faults;
    const char* expected;
  } cases[] = {
      {R"("selfTest": true, "selfTestOperation": 2, "selfTestCompletion": 30)", "[]", "0 70 1"},
      {R"("selfTest": true)", "[]", "0 0 0"},
      {R"("selfTest": true, "selfTestOperation": 14, "selfTestCompletion": 30)", "[]", "4.152.83 9 9"},
      {R"("selfTest": true)", R"([{"nvme": 2, "log": 6}])", "4.152.195 9 9"},
  };
  for (const Case& one : cases) {
    dev = device(one.keys, "10.0", one.faults);
    remaining = 9;
    running = 9;
    u64 status = dev->getSelfTestStatus(&remaining, &running);
    EXPECT_EQ(st(status) + " " + std::to_string(remaining) + " " + std::to_string(running), one.expected);
  }
  dev = device(R"("selfTest": true)");
  EXPECT_EQ(orv_status_code(dev->getSelfTestTime(1, &seconds)), 83u);
  EXPECT_EQ(seconds, 9u);
  controllerCommand(0x14, 1);
  EXPECT_EQ(dev->getSelfTestStatus(&remaining, &running), 0u);
  EXPECT_EQ(remaining * 10 + running, 1001u);

  // An empty log: every descriptor unused, with no result.
  OrvDevGenData<_OrvSelfTestItem> empty;
  ASSERT_EQ(dev->getSelfTestLog(empty), 0u);
  EXPECT_EQ(empty.items.at(0).testKind * 100 + empty.items.at(0).result, 1500u);

  // Kinds refused; nothing to abort; the platform's driver passes no Device
  // Self-test command, the abort is tried.
  dev = device(R"("selfTest": true)");
  for (u32 kind : {0u, 3u, 4u, 6u}) EXPECT_TRUE(isLibStatus(dev->runSelfTest(kind, 0), 126, kNvmeDevFile)) << kind;
  EXPECT_TRUE(isLibStatus(dev->runSelfTest(5, 0), 125, kNvmeDevFile));
  EXPECT_TRUE(receivedOf(0x14).empty());
  u64 status = dev->runSelfTest(1, 0);
  EXPECT_EQ(orv_status_code(status), 83u);
  EXPECT_EQ(orv_status_layer_of(status), ORV_LAYER_OSL);
  controllerCommand(0x14, 1);
  EXPECT_EQ(orv_status_layer_of(dev->runSelfTest(5, 0)), ORV_LAYER_OSL);
  EXPECT_EQ(receivedOf(0x14).size(), 1u) << "only the test's own start";
}

TEST_F(NvmeDev, SelfTestLogListsAllTwentyDescriptors) {
  DevicePtr dev = device(R"("selfTest": true, "selfTestResults": [
      {"code": 2, "result": 7, "namespace": 1, "hours": 4294967301, "lba": 1234},
      {"code": 1, "result": 0, "namespace": 1, "hours": 10}])");
  controllerCommand(0x14, 2);
  controllerCommand(0x14, 15);  // aborted by command: newest
  OrvDevGenData<_OrvSelfTestItem> log;
  for (u32 i = 1; i <= 3; ++i) log.addItem(_OrvSelfTestItem{i, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(dev->getSelfTestLog(log), 0u);
  ASSERT_EQ(log.items.size(), 23u);
  ASSERT_EQ(log.buffers.size(), 1u);
  auto* buffer = dynamic_cast<OrvLogBuffer*>(log.buffers[0]);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->getPageId(), 6u);
  EXPECT_EQ(buffer->getLength(), 564u);
  // Number, kind, result (4: failed segments), LBA, the low 32 bits of the
  // hours, namespace; unused descriptors are kind 15 with the result before.
  std::string items;
  for (size_t i = 3; i < 23; ++i) {
    const _OrvSelfTestItem& item = log.items[i];
    items += std::to_string(item.entryNumber) + ":" + std::to_string(item.testKind) + "/" +
             std::to_string(item.result) + "/" + std::to_string(item.failingLba) + "/" +
             std::to_string(item.powerOnHours) + "/" + std::to_string(item.namespaceId) + " ";
  }
  EXPECT_EQ(items,
            "4:2/5/0/0/0 5:2/4/1234/5/1 6:1/0/0/10/1 7:15/0/0/0/0 8:15/0/0/0/0 9:15/0/0/0/0 10:15/0/0/0/0 "
            "11:15/0/0/0/0 12:15/0/0/0/0 13:15/0/0/0/0 14:15/0/0/0/0 15:15/0/0/0/0 16:15/0/0/0/0 17:15/0/0/0/0 "
            "18:15/0/0/0/0 19:15/0/0/0/0 20:15/0/0/0/0 21:15/0/0/0/0 22:15/0/0/0/0 23:15/0/0/0/0 ");

  dev = device(R"("selfTest": true)", "10.0", R"([{"nvme": 2, "log": 6}])");
  OrvDevGenData<_OrvSelfTestItem> none;
  EXPECT_TRUE(isLibStatus(dev->getSelfTestLog(none), 149, kNvmeCmdFile));
  EXPECT_TRUE(none.items.empty() && none.buffers.empty());
}

// A device whose log directory lists the health, error and firmware slot
// logs and the vendor internal log.
class ListingNvmeDev : public OrvNvmeDev {
 public:
  explicit ListingNvmeDev(unsigned namespaceId = 1) : OrvNvmeDev("PHYSICALDRIVE0", namespaceId, false, false) {}
  u64 getLogDirectory(OrvDevGenData<_OrvDirEntry>& directory) override {
    auto* logs = new OrvNvmLogDirectory();
    logs->setEntry(0x01, 0);
    logs->setEntry(0x02, 128);
    logs->setEntry(0x03, 128);
    logs->setEntry(0xF3, 1024);
    directory.addBuffer(logs);
    return 0;
  }
};

struct DumpRecords {
  std::vector<_OrvDevDumpItem> records;
  ~DumpRecords() {
    for (_OrvDevDumpItem& record : records) delete record.data;
  }
  // kind:id:param:status:data-length of each record.
  std::string text() const {
    std::string all;
    for (const _OrvDevDumpItem& r : records)
      all += std::to_string(r.kind) + ":" + std::to_string(r.id) + ":" + std::to_string(r.param) + ":" +
             st(r.status) + ":" + (r.data ? std::to_string(r.data->getLength()) : "-") + " ";
    return all;
  }
  OrvDevDumpFeatureBuffer* feature(u8 id) const {
    for (const _OrvDevDumpItem& r : records)
      if (r.kind == 6 && r.id == id) return static_cast<OrvDevDumpFeatureBuffer*>(r.data);
    return nullptr;
  }
};

TEST_F(NvmeDev, DumpRecordsInOrderWithTheirFailures) {
  // Identify: the controller (kept data), the active list, the common
  // namespace data (refused by this drive), then namespace 1 from the kept
  // data. Logs: the directory, then 02h and 03h; 01h has no size, F3h is
  // not read from the directory. Internal logs: this device reads none.
  // Features in order; 80h failed and left no record.
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme", "model": "MODEL D", "serial": "S3", "tunnel": true}]})");
  ListingNvmeDev dev;
  DumpRecords dump;
  ASSERT_EQ(dev.dumpAllLogs(dump.records), 0u);
  EXPECT_EQ(dump.text(),
            "1:1:0:0:4096 1:2:0:0:4096 1:0:4294967295:4.151.144:4096 1:0:1:0:4096 3:254:0:0:1024 3:2:0:0:512 "
            "3:3:0:0:512 7:1:0:4.152.83:- 7:16:0:4.152.83:- 7:2:0:4.152.83:- 7:8:0:4.152.83:- 7:32:0:4.152.83:- "
            "6:1:0:4.151.145:- 6:2:0:4.151.145:- 6:4:0:0:16 6:5:0:4.151.145:- 6:6:0:0:16 6:7:0:0:16 "
            "6:8:0:4.151.145:- 6:10:0:4.151.145:- 6:11:0:4.151.145:- ");
  EXPECT_EQ(dump.records[0].data->word(0, 0, 16).getValue(), 0x1D79u);
  EXPECT_EQ(dump.records[1].data->dword(0, 0, 32).getValue(), 1u);
  ASSERT_NE(dynamic_cast<OrvLogBuffer*>(dump.records[4].data), nullptr);
  EXPECT_EQ(dump.records[4].data->getBuffer()[8], 0x02) << "the directory's entry of log 02h";
  EXPECT_EQ(dump.records[5].data->getBuffer()[3], 100) << "available spare";
  OrvDevDumpFeatureBuffer* threshold = dump.feature(0x04);
  ASSERT_NE(threshold, nullptr);
  EXPECT_EQ(threshold->getCurrent().validity.getValue(), 1u);
  EXPECT_EQ(threshold->getCurrent().featureValue.getValue(), 343u);
  EXPECT_EQ(threshold->getSaved().validity.getValue(), 1u);

  // The saved value failing keeps the current one.
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme"}],
    "faults": [{"nvme": 10, "feature": 4, "after": 1, "times": 1}]})");
  ListingNvmeDev failing;
  DumpRecords saved;
  ASSERT_EQ(failing.dumpAllLogs(saved.records), 0u);
  threshold = saved.feature(0x04);
  ASSERT_NE(threshold, nullptr);
  EXPECT_EQ(threshold->getCurrent().validity.getValue(), 1u);
  EXPECT_EQ(threshold->getSaved().validity.getValue(), 0u);

  // The reservation features of a namespace that has them come last.
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme", "reservationCaps": 1, "tunnel": true}]})");
  ListingNvmeDev reserving(0);  // every namespace: each one's data is read
  DumpRecords reservations;
  ASSERT_EQ(reserving.dumpAllLogs(reservations.records), 0u);
  std::string text = reservations.text();
  EXPECT_EQ(text.substr(text.find("6:11:")), "6:11:0:4.151.145:- 6:130:1:4.151.145:- 6:131:1:4.151.145:- ");
}

}  // namespace
