// Format NVM, sanitize and capacity of the NVMe device on a simulated
// machine: the entries the controller receives, the identify data read
// again, the refusals that send nothing and the sanitize progress.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruNvme;

constexpr u32 kNvmeDevFile = 152;
constexpr u8 kFormatNvm = 0x80;
constexpr u8 kSanitize = 0x84;
constexpr u8 kIdentify = 0x06;
constexpr u8 kSetFeatures = 0x09;

// One drive on Windows 10 reached through the command tunnel; extra keys
// are added to its record.
std::string machineWith(const std::string& keys) {
  return R"({"windows": "10.0", "drives": [{"bus": "nvme", "model": "MODEL C", "serial": "S4",
    "firmware": "REV00001", "tunnel": true, "sectors": 2000000)" +
         (keys.empty() ? "" : ", " + keys) + "}]}";
}

class NvmeFormat : public NvmeMachineTest {
 protected:
  std::unique_ptr<OrvGenDev> device(const std::string& keys) {
    load(machineWith(keys).c_str());
    std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
    nvmeDrive(0).forgetReceived();
    return dev;
  }

  static const std::vector<winsim::NvmeDrive::Received>& received() { return nvmeDrive(0).received(); }

  // The commands of that opcode the controller received.
  static std::vector<winsim::NvmeDrive::Received> receivedOf(u8 opcode) {
    std::vector<winsim::NvmeDrive::Received> found;
    for (const auto& one : received())
      if (one.command[0] == opcode) found.push_back(one);
    return found;
  }

  // Whether Identify followed the last command of that opcode.
  static bool identifiedAfter(u8 opcode) {
    bool after = false;
    for (const auto& one : received()) {
      if (one.command[0] == opcode) after = false;
      if (one.command[0] == kIdentify) after = true;
    }
    return after;
  }
};

TEST_F(NvmeFormat, SecurityEraseKeepsTheNamespaceSettings) {
  // Metadata at the end of the block and protection type 1 in the first
  // eight bytes of metadata.
  auto dev = device(R"("cryptoErase": true, "lbaFormats": 4, "flbas": 16, "dps": 9)");
  const u32 kept = 1u << 8 | 1u << 5 | 1u << 4;

  EXPECT_EQ(dev->securityErase(1, "ignored"), 0u);
  auto formats = receivedOf(kFormatNvm);
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(littleEndian32(formats[0].command, 40), 2u << 9 | kept) << "cryptographic erase";
  EXPECT_EQ(littleEndian32(formats[0].command, 4), 0xFFFFFFFFu);
  EXPECT_TRUE(identifiedAfter(kFormatNvm)) << "the identify data is read again";
  EXPECT_EQ(nvmeDrive(0).number64("lastSecureErase", 9), 2u);

  for (u32 mode : {0u, 2u}) {
    nvmeDrive(0).forgetReceived();
    EXPECT_EQ(dev->securityErase(mode, ""), 0u);
    formats = receivedOf(kFormatNvm);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(littleEndian32(formats[0].command, 40), 1u << 9 | kept) << "user data erase, mode " << mode;
  }

  u16 time = 7;
  u8 supported = 7;
  u8 enhanced = 7;
  EXPECT_EQ(dev->getSecurityEraseInfo(1, time, supported, enhanced), 0u);
  EXPECT_EQ(time + supported + enhanced, 0);
}

TEST_F(NvmeFormat, FormatUnitChangesOnlyTheLbaFormat) {
  // The drive reports the format in progress twice before it completes.
  auto dev = device(R"("lbaFormats": 4, "flbas": 16, "dps": 9, "formatBusy": 2)");
  EXPECT_EQ(dev->formatUnit(0x13), 0u) << "the high bits of the argument are dropped";
  auto formats = receivedOf(kFormatNvm);
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(littleEndian32(formats[0].command, 40), 1u << 8 | 1u << 5 | 1u << 4 | 3u);
  EXPECT_EQ(nvmeDrive(0).number64("flbas", 0), 0x13u);
  EXPECT_EQ(nvmeDrive(0).number64("dps", 0), 9u);

  // The drive refuses a format it does not have.
  nvmeDrive(0).forgetReceived();
  EXPECT_TRUE(isLibStatus(dev->formatUnit(5), 157, 151));
  EXPECT_EQ(receivedOf(kIdentify).size(), 0u) << "nothing read again after a failure";
}

TEST_F(NvmeFormat, FormatRefusalsSendNothing) {
  auto dev = device("");
  EXPECT_TRUE(isLibStatus(dev->securityErase(1, ""), 77, kNvmeDevFile)) << "no cryptographic erase";
  EXPECT_TRUE(received().empty());

  dev = device(R"("formatNvm": false, "cryptoErase": true)");
  EXPECT_TRUE(isLibStatus(dev->securityErase(0, ""), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->securityErase(1, ""), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->formatUnit(0), 83, kNvmeDevFile));
  EXPECT_TRUE(received().empty());
}

TEST_F(NvmeFormat, SanitizeRefusals) {
  auto dev = device("");
  u32 state = 9;
  u16 percent = 9;
  EXPECT_TRUE(isLibStatus(dev->sanitize(static_cast<_OrvSanitizeMode>(1)), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->exitSanitizeFailure(), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->getSanitizeProgress(&state, &percent), 83, kNvmeDevFile));
  EXPECT_EQ(state, 9u);
  EXPECT_TRUE(received().empty());

  // Crypto erase only.
  dev = device(R"("sanitizeCapabilities": 1)");
  for (u32 mode : {0u, 2u, 3u, 4u})
    EXPECT_TRUE(isLibStatus(dev->sanitize(static_cast<_OrvSanitizeMode>(mode)), 83, kNvmeDevFile)) << mode;
  EXPECT_TRUE(received().empty());

  // The platform's driver passes no Sanitize command at all.
  u64 status = dev->sanitize(static_cast<_OrvSanitizeMode>(1));
  EXPECT_EQ(orv_status_code(status), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_EQ(orv_status_layer_of(status), ORV_LAYER_OSL);
  EXPECT_EQ(orv_status_code(dev->exitSanitizeFailure()), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_TRUE(receivedOf(kSanitize).empty());
}

TEST_F(NvmeFormat, SanitizeProgressFromTheLog) {
  struct Case {
    u32 status;
    u32 progress;
    u32 state;
    u16 percent;
  };
  const Case cases[] = {{2, 0x8000, 0, 50}, {2, 0xFFFF, 0, 99}, {1, 0xFFFF, 2, 100},
                        {0, 0, 2, 100},     {3, 0x1234, 3, 0},  {5, 0x1234, 15, 0}};
  for (const Case& one : cases) {
    auto dev = device(R"("sanitizeCapabilities": 7, "sanitizeStatus": )" + std::to_string(one.status) +
                      R"(, "sanitizeProgress": )" + std::to_string(one.progress));
    u32 state = 9;
    u16 percent = 9;
    EXPECT_EQ(dev->getSanitizeProgress(&state, &percent), 0u);
    EXPECT_EQ(state, one.state) << one.status;
    EXPECT_EQ(percent, one.percent) << one.status;
  }

  // A sanitize the controller ran leaves it completed.
  auto dev = device(R"("sanitizeCapabilities": 2, "sanitizeStatus": 0, "sanitizeProgress": 0)");
  winsim::NvmeIo io;
  io.command[0] = kSanitize;
  io.command[40] = 2;
  nvmeDrive(0).execute(io);
  EXPECT_FALSE(io.failed());
  u32 state = 9;
  u16 percent = 9;
  EXPECT_EQ(dev->getSanitizeProgress(&state, &percent), 0u);
  EXPECT_EQ(state, 2u);
  EXPECT_EQ(percent, 100u);
}

TEST_F(NvmeFormat, SanitizeLogUnreadable) {
  load(R"({"windows": "10.0", "drives": [{"bus": "nvme", "tunnel": true, "sanitizeCapabilities": 1}],
    "faults": [{"nvme": 2, "log": 129}]})");
  std::unique_ptr<OrvGenDev> dev(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  u32 state = 9;
  u16 percent = 9;
  EXPECT_TRUE(isLibStatus(dev->getSanitizeProgress(&state, &percent), 149, 151));
  EXPECT_EQ(state, 9u);
  EXPECT_EQ(percent, 9u);
}

TEST_F(NvmeFormat, CapacityFromTheVendorFeature) {
  auto dev = device(R"("maxCapacity": 1000000, "sectorSize": 4096)");
  u64 capacity = 0;
  u32 size = 0;
  EXPECT_EQ(dev->getCapacity(capacity, size, 0), 0u);
  EXPECT_EQ(capacity, 1000000u) << "the feature wins over Identify";
  EXPECT_EQ(size, 4096u);
  EXPECT_EQ(dev->getCapacity(capacity, size, 1), 0u);
  EXPECT_EQ(capacity, 2000000u) << "the namespace's NCAP";
  EXPECT_EQ(dev->getSectorSize(size), 0u);
  EXPECT_EQ(size, 4096u);

  nvmeDrive(0).forgetReceived();
  EXPECT_EQ(dev->setMaxCapacity(0x123456), 0u);
  auto sets = receivedOf(kSetFeatures);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(littleEndian32(sets[0].command, 40), 0x800000F7u) << "saved";
  EXPECT_EQ(nvmeDrive(0).number64("maxCapacity", 0), 0x123456u);
  EXPECT_TRUE(identifiedAfter(kSetFeatures));

  nvmeDrive(0).forgetReceived();
  EXPECT_EQ(dev->restoreMaxCapacity(), 0u);
  sets = receivedOf(kSetFeatures);
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_GE(sets[0].data.size(), 12u);
  EXPECT_EQ(std::vector<u8>(sets[0].data.begin(), sets[0].data.begin() + 12),
            std::vector<u8>({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(nvmeDrive(0).number64("maxCapacity", 0), 2000000u) << "the native capacity";

  // The drive refuses more than it has.
  EXPECT_TRUE(isLibStatus(dev->setMaxCapacity(3000000), 146, 151));
}

TEST_F(NvmeFormat, CapacityWithoutTheVendorFeature) {
  auto dev = device("");
  u64 capacity = 0;
  u32 size = 0;
  EXPECT_EQ(dev->getCapacity(capacity, size, 0), 0u);
  EXPECT_EQ(capacity, 2000000u) << "the active namespaces' sizes";
  EXPECT_EQ(size, 512u);
  EXPECT_TRUE(isLibStatus(dev->setMaxCapacity(5), 83, kNvmeDevFile));
  EXPECT_TRUE(isLibStatus(dev->restoreMaxCapacity(), 83, kNvmeDevFile));
  EXPECT_TRUE(receivedOf(kSetFeatures).empty());

  dev = device(R"("namespaceManagement": true)");
  EXPECT_EQ(dev->getCapacity(capacity, size, 0), 0u);
  EXPECT_EQ(capacity, 2000000u * 512u) << "TNVMCAP, in bytes";
}

}  // namespace
