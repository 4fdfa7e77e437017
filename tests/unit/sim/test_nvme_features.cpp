// The NVMe device's feature numbers, log directory, log reads and internal
// status log on a simulated controller.
#include <gtest/gtest.h>

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

// Before Windows 10 every feature reaches the drive through the vendor's
// command tunnel; Windows 10 itself sets only the threshold and the cache.
std::string drive(const std::string& keys, const char* windows = "10.0") {
  return std::string(R"({"windows": ")") + windows + R"(", "drives": [{"bus": "nvme", "model": "M", "serial": "S", "firmware": "R1")" +
         (keys.empty() ? "" : ", " + keys) + "}]}";
}

class NvmeFeatures : public NvmeMachineTest {
 protected:
  std::unique_ptr<OrvGenDev> device() {
    return std::unique_ptr<OrvGenDev>(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  }
  static u32 read(OrvGenDev& dev, u32 number, u32 value = 0) {
    u8 enabled = 0;
    EXPECT_EQ(dev.getFeature(number, &enabled, &value), 0u) << number;
    EXPECT_EQ(enabled, 1u);
    return value;
  }
};

TEST_F(NvmeFeatures, SupportWithAndWithoutCommands) {
  load(drive(R"("securityCommands": false, "features": {"08": 0})"));
  auto dev = device();
  winsim::clearStorageTrace();
  EXPECT_TRUE(dev->isFeatureSupported(24));
  EXPECT_TRUE(dev->isFeatureSupported(27));
  EXPECT_TRUE(dev->isFeatureSupported(2));
  EXPECT_FALSE(dev->isFeatureSupported(6));
  EXPECT_FALSE(dev->isFeatureSupported(3));
  // Numbers that are always there have nothing to set.
  EXPECT_TRUE(isLibStatus(dev->setFeature(24, 1), ORV_ERR_FEATURE_UNSUPPORTED, 152));
  EXPECT_TRUE(isLibStatus(dev->setFeature(2, 1), ORV_ERR_FEATURE_UNSUPPORTED, 152));
  EXPECT_TRUE(winsim::storageTrace().empty()) << "answered from identify data";
  EXPECT_TRUE(dev->isFeatureSupported(10));
  EXPECT_FALSE(dev->isFeatureSupported(21)) << "the controller has no feature F8h";
  u8 enabled = 9;
  u32 value = 9;
  EXPECT_EQ(dev->getFeature(6, &enabled, &value), 0u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(orv_status_code(dev->getFeature(3, &enabled, &value)), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_EQ(orv_status_code(dev->setFeature(6, 1)), ORV_ERR_FEATURE_CHANGE_UNSUPPORTED);
  EXPECT_EQ(orv_status_code(dev->setFeature(21, 1)), ORV_ERR_FEATURE_UNSUPPORTED);
}

TEST_F(NvmeFeatures, ValuesDecodedAndWritten) {
  load(drive(R"("tunnel": true, "features": {"08": 2571, "F3": 2})", "6.3"));
  auto dev = device();
  // The temperature threshold is kept in kelvin.
  ASSERT_EQ(dev->setFeature(9, 27), 0u);
  EXPECT_EQ(read(*dev, 9), 27u);
  ASSERT_EQ(dev->setFeature(9, 0xFFFFFFFF - 100), 0u);  // 0xFFFFFEF8 kelvin, stored in 16 bits
  EXPECT_EQ(read(*dev, 9), 0u) << "below 273 kelvin reads as 0";
  // Interrupt coalescing: time in bits 15:8, threshold in bits 7:0.
  EXPECT_EQ(read(*dev, 10), 0x0Au);
  EXPECT_EQ(read(*dev, 11), 0x0Bu);
  ASSERT_EQ(dev->setFeature(11, 0x33), 0u);
  EXPECT_EQ(read(*dev, 10), 0x0Au);
  EXPECT_EQ(read(*dev, 11), 0x33u);
  // Vendor bits are inverted: 0 sets the bit.
  EXPECT_EQ(read(*dev, 14), 1u);
  EXPECT_EQ(read(*dev, 15), 0u);
  ASSERT_EQ(dev->setFeature(14, 0), 0u);
  EXPECT_EQ(read(*dev, 14), 0u);
  ASSERT_EQ(dev->setFeature(15, 7), 0u);
  EXPECT_EQ(read(*dev, 15), 1u);
}

TEST_F(NvmeFeatures, Windows10SetsOnlyWhatItCarries) {
  load(drive(R"("features": {"08": 2571})"));
  auto dev = device();
  ASSERT_EQ(dev->setFeature(9, 27), 0u);
  EXPECT_EQ(read(*dev, 9), 27u);
  ASSERT_EQ(dev->setFeature(1, 0), 0u);
  EXPECT_EQ(read(*dev, 1), 0u);
  EXPECT_EQ(read(*dev, 11), 0x0Bu);
  EXPECT_EQ(orv_status_code(dev->setFeature(11, 1)), ORV_ERR_FEATURE_NOT_CHANGEABLE);
}

TEST_F(NvmeFeatures, DefaultLogDirectory) {
  load(drive(R"("errorLogEntries": 63)"));
  auto dev = device();
  OrvDevGenData<_OrvDirEntry> directory;
  ASSERT_EQ(dev->getLogDirectory(directory), 0u);
  ASSERT_EQ(directory.buffers.size(), 1u);
  std::vector<u32> ids;
  for (const _OrvDirEntry& entry : directory.items) {
    ids.push_back(entry.id);
    EXPECT_EQ(entry.subIds, std::vector<u16>{0});
    EXPECT_EQ(entry.info, 4u);
  }
  EXPECT_EQ(ids, (std::vector<u32>{0x01, 0x02, 0x03, 0x05}));
  EXPECT_EQ(directory.items[0].name, "Error Information");
  const u8* bytes = directory.buffers[0]->getBuffer();
  EXPECT_EQ(bytes[4] | bytes[5] << 8 | bytes[6] << 16 | bytes[7] << 24, (1024 << 8) | 0x01) << "in dwords";
}

TEST_F(NvmeFeatures, LogReadsAndTheirRefusals) {
  load(drive(R"("health": {"temperature": 320})"));
  auto dev = device();
  std::vector<OrvBuffer*> buffers;
  u32 format = 0;
  {
    LogCapture log;
    EXPECT_EQ(orv_status_code(dev->readLog(0x02, 0, buffers, &format, 0, 0, 1, 0)), ORV_ERR_PARAMETER_VALUE);
    EXPECT_NE(log.find("Error: Invalid Parameter [-o]"), nullptr);
    log.clear();
    EXPECT_EQ(orv_status_code(dev->readLog(0x02, 0, buffers, &format, 0, 0, 0, 2)), ORV_ERR_PARAMETER_VALUE);
    ASSERT_NE(log.find("Error: Invalid Parameter [-c]"), nullptr);
    EXPECT_EQ(log.find("Error: Invalid Parameter [-c]")->level, OSL_LOG_ERROR);
  }
  EXPECT_EQ(orv_status_code(dev->readLog(0x02, 1, buffers, &format, 0, 0, 0, 0)), ORV_ERR_NVME_GET_LOG);
  EXPECT_TRUE(buffers.empty());
  ASSERT_EQ(dev->readLog(0x02, 0, buffers, &format, 0, 0, 0, 0), 0u);
  ASSERT_EQ(buffers.size(), 1u);
  EXPECT_EQ(format, 4u);
  EXPECT_EQ(buffers[0]->getLength(), 512u);
  EXPECT_EQ(buffers[0]->getBuffer()[1] | buffers[0]->getBuffer()[2] << 8, 320);
  for (OrvBuffer* buffer : buffers) delete buffer;
}

TEST_F(NvmeFeatures, LogSizeFromTheDrivesDirectoryIsCountedInDwords) {
  // The drive's own directory (offered with an internal log) lists log 02h
  // as 128 dwords: the whole 512-byte page is read.
  load(drive(R"("internalLog": {"1": 24}, "health": {"temperature": 320})"));
  auto dev = device();
  std::vector<OrvBuffer*> buffers;
  u32 format = 0;
  ASSERT_EQ(dev->readLog(0x02, 0, buffers, &format, 0, 0, 0, 0), 0u);
  ASSERT_EQ(buffers.size(), 1u);
  EXPECT_EQ(buffers[0]->getLength(), 512u);
  EXPECT_EQ(buffers[0]->getBuffer()[1] | buffers[0]->getBuffer()[2] << 8, 320);
  for (OrvBuffer* buffer : buffers) delete buffer;
}

TEST_F(NvmeFeatures, InternalLogNeedsTheDriveToListIt) {
  load(drive(""));
  auto dev = device();
  u32 size = 5;
  EXPECT_EQ(orv_status_code(dev->getInternalStatusLogSize(1, &size)), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_EQ(size, 0u);
  OrvLogBuffer log(512, ORV_LITTLE_ENDIAN, 0, 0, "");
  EXPECT_EQ(orv_status_code(dev->readInternalStatusLog(255, log, 0, 0, 1)), ORV_ERR_FEATURE_UNSUPPORTED);
}

// A drive keeping internal-log types 1 (24 bytes), 2 (16) and 32 (12).
const char* kInternalLogKeys = R"("tunnel": true, "internalLog": {"1": 24, "2": 16, "32": 12})";

// Byte i of a type's log past its header word holds i.
void expectTypeLog(const u8* bytes, u8 type, u32 length) {
  EXPECT_EQ(bytes[0], type);
  EXPECT_EQ(static_cast<u32>(bytes[1] | bytes[2] << 8 | bytes[3] << 16), length);
  for (u32 i = 4; i < length; ++i) EXPECT_EQ(bytes[i], i) << "type " << int(type) << " byte " << i;
}

TEST_F(NvmeFeatures, DirectoryFromTheDriveLeavesOutTheInternalLog) {
  load(drive(kInternalLogKeys, "6.3"));
  auto dev = device();
  OrvDevGenData<_OrvDirEntry> directory;
  ASSERT_EQ(dev->getLogDirectory(directory), 0u);
  std::vector<u32> ids;
  for (const _OrvDirEntry& entry : directory.items) ids.push_back(entry.id);
  EXPECT_EQ(ids, (std::vector<u32>{0x01, 0x02, 0x03}));
}

TEST_F(NvmeFeatures, InternalLogSizesAndReads) {
  load(drive(kInternalLogKeys, "6.3"));
  auto dev = device();
  u32 size = 0;
  ASSERT_EQ(dev->getInternalStatusLogSize(1, &size), 0u);
  EXPECT_EQ(size, 24u);
  // Mode 9 is type 32; mode 8 (type 8) the drive does not keep.
  ASSERT_EQ(dev->getInternalStatusLogSize(9, &size), 0u);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(orv_status_code(dev->getInternalStatusLogSize(8, &size)), ORV_ERR_NVME_GET_LOG);
  EXPECT_EQ(size, 0u);
  // All types: the sizes that can be read add up; the last type's status.
  ASSERT_EQ(dev->getInternalStatusLogSize(255, &size), 0u);
  EXPECT_EQ(size, 52u);

  OrvLogBuffer one(512, ORV_LITTLE_ENDIAN, 0, 0, "");
  ASSERT_EQ(dev->readInternalStatusLog(1, one, 0, 0, 1), 0u);
  ASSERT_EQ(one.getLength(), 24u);
  expectTypeLog(one.getBuffer(), 1, 24);
  EXPECT_EQ(one.getPageId(), 0xF3u);
  EXPECT_EQ(one.getEndianess(), ORV_BIG_ENDIAN);
  // A window of the type.
  ASSERT_EQ(dev->readInternalStatusLog(1, one, 8, 8, 1), 0u);
  ASSERT_EQ(one.getLength(), 8u);
  EXPECT_EQ(one.getBuffer()[0], 8u);
  EXPECT_EQ(one.getBuffer()[7], 15u);

  OrvLogBuffer all(512, ORV_LITTLE_ENDIAN, 0, 0, "");
  ASSERT_EQ(dev->readInternalStatusLog(255, all, 0, 0, 1), 0u);
  ASSERT_EQ(all.getLength(), 52u);
  expectTypeLog(all.getBuffer(), 1, 24);
  expectTypeLog(all.getBuffer() + 24, 2, 16);
  expectTypeLog(all.getBuffer() + 40, 32, 12);
}

TEST_F(NvmeFeatures, InternalLogRefusals) {
  load(drive(kInternalLogKeys, "6.3"));
  auto dev = device();
  LogCapture log;
  u32 size = 0;
  EXPECT_EQ(orv_status_code(dev->getInternalStatusLogSize(3, &size)), ORV_ERR_PARAMETER_VALUE);
  const LoggedLine* line = log.find("Critical: Invalid mode type [0x03]. Mode type not supported by NVMe.\n");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->level, OSL_LOG_CRITICAL);
  OrvLogBuffer one(512, ORV_LITTLE_ENDIAN, 0, 0, "");
  EXPECT_EQ(orv_status_code(dev->readInternalStatusLog(1, one, 16, 12, 1)), ORV_ERR_BUFFER_LENGTH);
  EXPECT_NE(log.find("Critical: Invalid buffer length [Max log size = 24] [Input:Offset = 16] [Input:Length = 12]\n"),
            nullptr);
  EXPECT_EQ(one.getLength(), 512u) << "the caller's buffer is left as it was";
}

TEST_F(NvmeFeatures, TelemetryWindows) {
  load(drive(R"("tunnel": true, "telemetryBlocks": 3)", "6.3"));  // 2048 bytes
  auto dev = device();
  std::vector<OrvBuffer*> buffers;
  u32 format = 0;
  LogCapture log;
  EXPECT_EQ(orv_status_code(dev->readLog(0x07, 0, buffers, &format, 0, 0, 3, 0)), ORV_ERR_BUFFER_LENGTH);
  const LoggedLine* line = log.find("Critical: Invalid buffer length [Max log size = 2048] [Input:Offset = 2048]\n");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->level, OSL_LOG_CRITICAL);
  EXPECT_EQ(orv_status_code(dev->readLog(0x07, 0, buffers, &format, 0, 0, 1, 3)), ORV_ERR_BUFFER_LENGTH);
  EXPECT_NE(log.find("Critical: Invalid buffer length [Max log size = 2048] [Input:Offset = 1024] "
                     "[Input:Length = 1536]\n"),
            nullptr);
  EXPECT_TRUE(buffers.empty());
  ASSERT_EQ(dev->readLog(0x07, 0, buffers, &format, 0, 0, 0, 0), 0u);
  ASSERT_EQ(dev->readLog(0x07, 0, buffers, &format, 0, 0, 1, 2), 0u);
  ASSERT_EQ(buffers.size(), 2u);
  EXPECT_EQ(buffers[0]->getLength(), 2048u);
  EXPECT_EQ(buffers[0]->getBuffer()[1536], 3u);
  EXPECT_EQ(buffers[1]->getLength(), 1024u);
  EXPECT_EQ(buffers[1]->getBuffer()[0], 1u) << "from block 1 of the log";
  EXPECT_EQ(buffers[1]->getBuffer()[1023], 2u);
  for (OrvBuffer* buffer : buffers) delete buffer;
}

}  // namespace
