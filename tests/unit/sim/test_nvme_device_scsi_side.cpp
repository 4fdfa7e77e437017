// The NVMe device before Windows 10 on the SCSI side without the vendor's
// tunnel, where Identify Namespace can only answer zeros: the device opens
// without namespace data, refuses what needs it and updates its firmware.
// Zeros from any other route still fail the identification.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

std::string machine(const char* windows, const std::string& keys) {
  return std::string(R"({"windows": ")") + windows +
         R"(", "drives": [{"bus": "nvme", "model": "M", "serial": "S", "firmware": "REV00001")" + keys + "}]}";
}

std::unique_ptr<OrvGenDev> device() {
  return std::unique_ptr<OrvGenDev>(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
}

using NvmeDeviceScsiSide = NvmeMachineTest;

TEST_F(NvmeDeviceScsiSide, OpensWithoutNamespaceData) {
  load(machine("6.3", ""));
  auto dev = device();
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
  for (const auto& operation : needingIt)
    EXPECT_EQ(orv_status_code(operation.second()), 83u) << operation.first;

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

TEST_F(NvmeDeviceScsiSide, NamespaceOfZerosFailsOnOtherRoutes) {
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
    load(machine(one.windows, one.keys));
    EXPECT_EQ(orv_status_code(thrownStatus([] { device(); })), one.code) << one.windows << one.keys;
  }
  // With the tunnel the drive's own namespace data is there.
  u32 size = 0;
  ASSERT_EQ(device()->getSectorSize(size), 0u);
  EXPECT_EQ(size, 512u);
}

}  // namespace
