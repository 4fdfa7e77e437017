// The generic device on simulated machines: the factory's choice of class
// and its log mask, opening and closing, and what the base class answers
// for the operations a device class leaves to it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devlib/orvlib_gendev.h"
#include "devlib/scsi/orvlib_scsi.h"
#include "osl/orv_status.h"
#include "unit/fake_device.h"
#include "unit/log_capture.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

namespace {

using VazidaRaduru::OrvBuffer;
using VazidaRaduru::OrvDevGenData;
using VazidaRaduru::OrvGenDev;
using VazidaRaduru::_OrvDataItem;
using VazidaRaduru::_OrvModeItem;
using VazidaRaduru::VazidaRaduruScsi::OrvScsiDev;

constexpr u32 kGenDevFile = 103;

const char* machine = R"({"windows": "6.1", "drives": [
  {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001",
   "partitions": {"style": "gpt", "count": 1}},
  {"bus": "sas", "vendor": "NVMe", "model": "MODEL C", "serial": "S4", "firmware": "R001"}
]})";

// A device class that answers what a test tells it; every slot the base
// does not define refuses.
class FakeDevice : public RefusingDevice {
 public:
  FakeDevice() = default;
  explicit FakeDevice(const std::string& path) : RefusingDevice(path) {}

  void setTypes(osl_dev_type device, osl_bus_type bus) {
    deviceType = device;
    busType = bus;
  }
  u8 ignoreCount() const { return ignoreErrorCount; }

  bool securityFeature = true;
  std::vector<u8> protocolList;  // the bytes securityReceive answers with
  u64 receiveStatus = 0;
  bool receiveThrows = false;
  int receiveCalls = 0;

  bool isFeatureSupported(u32 feature) override { return feature == 6 && securityFeature; }
  u64 securityReceive(u8 protocol, OrvBuffer& data, u16 specific, u8 option) override {
    ++receiveCalls;
    EXPECT_EQ(protocol, 0);
    EXPECT_EQ(specific, 0);
    EXPECT_EQ(option, 1);
    EXPECT_EQ(data.getLength(), 512u);
    if (receiveThrows) throw ORV_LIB_STATUS(ORV_ERR_GENERIC);
    std::memcpy(data.getBuffer(), protocolList.data(), protocolList.size());
    return receiveStatus;
  }

};

class GenericDevice : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(machine);
  }
};

// The mask newOrvDevice leaves behind, read by setting it back.
u8 logMaskAfterwards() { return orvlib_mask_app_log(7); }

u64 factoryStatus(const std::string& path) {
  return thrownStatus([&] { delete OrvGenDev::newOrvDevice(path, 0, false, false); });
}

TEST_F(GenericDevice, FactoryBuildsTheClassOfTheDeviceType) {
  std::unique_ptr<OrvGenDev> device(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  ASSERT_NE(dynamic_cast<OrvScsiDev*>(device.get()), nullptr);
  EXPECT_EQ(device->getDeviceType(), OSL_DEV_SCSI);
  EXPECT_EQ(device->getBusType(), OSL_BUS_SAS);
  EXPECT_EQ(logMaskAfterwards(), 7);
}

TEST_F(GenericDevice, FactoryRefusals) {
  orvlib_mask_app_log(5);
  EXPECT_TRUE(isLibStatus(factoryStatus("PHYSICALDRIVE7"), ORV_ERR_OPEN_DEVICE, kGenDevFile));
  EXPECT_EQ(logMaskAfterwards(), 7);

  orvlib_mask_app_log(2);
  // A RAID store's pseudo handle has no types and never yields a device.
  EXPECT_TRUE(isLibStatus(factoryStatus("raid_b1:2"), ORV_ERR_UNSUPPORTED_DEVICE, kGenDevFile));
}

TEST_F(GenericDevice, FactoryProbesQuietly) {
  LogCapture log;
  std::unique_ptr<OrvGenDev> device(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  // The probe opens and closes the drive under the mask; only the device's
  // own opening shows.
  int opened = 0;
  for (const LoggedLine& line : log.all()) opened += line.text.rfind("Info: Opening Physical drive", 0) == 0;
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(log.find("Info: Closing Physical drive"), nullptr);
  device.reset();
  EXPECT_NE(log.find("Info: Closing Physical drive"), nullptr);
}

TEST_F(GenericDevice, TypeQueryFailureClosesTheDrive) {
  load(R"({"drives": [{"bus": "sas"}],
           "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 0, "after": 1}]})");
  // The probe reads the types; the device's own query fails, and its handle
  // is closed again (the fixture counts open handles).
  u64 status = factoryStatus("PHYSICALDRIVE0");
  expectOslWord(status, kCmdFile, ORV_ERR_QUERY_DEVICE);
}

TEST_F(GenericDevice, OpenDeviceKeepsTypesAndTransferLimit) {
  FakeDevice device("PHYSICALDRIVE0");
  EXPECT_EQ(device.getDeviceType(), OSL_DEV_SCSI);
  EXPECT_EQ(device.getBusType(), OSL_BUS_SAS);
  u32 limit = 0;
  EXPECT_EQ(device.getMaxTransferLen(limit), 0u);
  EXPECT_EQ(limit, 256u * 4096);  // the adapter's 257 pages less one
  EXPECT_TRUE(device.hasActivePartition());

  auto list = std::make_unique<_osl_dev_info>();
  EXPECT_EQ(device.getDriveProperties(list.get()), 0u);
  EXPECT_EQ(list->count, 1);
  EXPECT_STREQ(list->entries[0].serial, "S3");
}

TEST_F(GenericDevice, PseudoHandleHasNoTypesNorLimit) {
  FakeDevice device("raid_p0:1");
  EXPECT_EQ(device.getDeviceType(), OSL_DEV_NONE);
  EXPECT_EQ(device.getBusType(), OSL_BUS_NONE);
  u32 limit = 1;
  EXPECT_TRUE(isLibStatus(device.getMaxTransferLen(limit), ORV_ERR_OPEN_DEVICE, kGenDevFile));
  EXPECT_EQ(limit, 0u);
  auto list = std::make_unique<_osl_dev_info>();
  EXPECT_EQ(device.getDriveProperties(list.get()), 0u);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(trace(), "");
}

TEST_F(GenericDevice, OpeningFails) {
  EXPECT_TRUE(isLibStatus(thrownStatus([] { FakeDevice device("PHYSICALDRIVE9"); }),
                          ORV_ERR_OPEN_DEVICE, kGenDevFile));
}

TEST_F(GenericDevice, BaseAnswers) {
  FakeDevice device;
  EXPECT_FALSE(device.hasActivePartition());
  EXPECT_FALSE(device.requireFormatUnitProgPoll());
  u8 percent = 0;
  bool inProgress = true;
  EXPECT_EQ(device.formatUnitProgress(percent, inProgress), 0u);
  EXPECT_EQ(percent, 100);
  EXPECT_TRUE(inProgress);
  u16 controller = 9;
  EXPECT_EQ(device.getContollerId(controller), 0u);
  EXPECT_EQ(controller, 0);
  EXPECT_EQ(device.refresh(), 0u);

  OrvDevGenData<_OrvModeItem> modes;
  u32 nsid = 0;
  for (u64 status : {device.sanitize(VazidaRaduru::_OrvSanitizeMode(1)), device.securityEnable("pw"),
                     device.securityDisable("pw", true), device.rezero(),
                     device.readModePage(8, 0, modes, false), device.writeModePage(modes),
                     device.flushMediaCache(), device.deleteNamespace(1),
                     device.createNamespace(1, 1, 0, false, 0, false, false, nsid),
                     device.attachNamespace(VazidaRaduru::ORV_NS_DETACH, 1)})
    EXPECT_TRUE(isLibStatus(status, ORV_ERR_FEATURE_UNSUPPORTED, kGenDevFile));
}

TEST_F(GenericDevice, DeferredDownloadNeedsWindows10OnlyOnNvme) {
  FakeDevice device;
  device.setTypes(OSL_DEV_SCSI, OSL_BUS_SAS);
  EXPECT_TRUE(device.isDeferredFwDnldSupported());  // the machine runs 6.1
  device.setTypes(OSL_DEV_NVME, OSL_BUS_NVME);
  EXPECT_FALSE(device.isDeferredFwDnldSupported());
  load(R"({"windows": "10.0"})");
  EXPECT_TRUE(device.isDeferredFwDnldSupported());
}

TEST_F(GenericDevice, MediaAccessByTypeAndBus) {
  struct Case {
    osl_dev_type device;
    osl_bus_type bus;
    bool expected;
  };
  const Case cases[] = {
      {OSL_DEV_ATA, OSL_BUS_SATA, true},  {OSL_DEV_ATA, OSL_BUS_SAS, true},
      {OSL_DEV_ATA, OSL_BUS_CSMI, true},  {OSL_DEV_ATA, OSL_BUS_RAID, false},
      {OSL_DEV_ATA, OSL_BUS_NVME, false}, {OSL_DEV_SCSI, OSL_BUS_SCSI, true},
      {OSL_DEV_SCSI, OSL_BUS_SATA, false}, {OSL_DEV_SCSI, OSL_BUS_RAID_MEMBER, false},
      {OSL_DEV_NVME, OSL_BUS_CSMI, true}, {OSL_DEV_NONE, OSL_BUS_SAS, false},
  };
  FakeDevice device;
  for (const Case& one : cases) {
    device.setTypes(one.device, one.bus);
    EXPECT_EQ(device.isIoSupported(), one.expected) << one.device << " on " << one.bus;
  }
}

TEST_F(GenericDevice, IgnoreErrorNesting) {
  FakeDevice device;
  device.unsetIgnoreError();
  EXPECT_EQ(device.ignoreCount(), 0);
  for (int i = 0; i < 255; ++i) ASSERT_EQ(device.setIgnoreError(), 0u) << i;
  EXPECT_TRUE(isLibStatus(device.setIgnoreError(), ORV_ERR_GENERIC, kGenDevFile));
  EXPECT_EQ(device.ignoreCount(), 255);
  device.unsetIgnoreError();
  EXPECT_EQ(device.ignoreCount(), 254);
}

TEST_F(GenericDevice, SecurityProtocolList) {
  FakeDevice device;
  device.protocolList = {0, 0, 0, 0, 0, 0, 0, 3, 0x00, 0x01, 0xEF, 0x02};
  EXPECT_TRUE(device.isSecurityProtocolSupported(0xEF));
  EXPECT_TRUE(device.isSecurityProtocolSupported(0x00));
  // Byte 11 lies beyond the list's length.
  EXPECT_FALSE(device.isSecurityProtocolSupported(0x02));

  device.receiveStatus = ORV_LIB_STATUS(ORV_ERR_GENERIC);
  EXPECT_FALSE(device.isSecurityProtocolSupported(0xEF));
  device.receiveStatus = 0;
  device.receiveThrows = true;
  EXPECT_FALSE(device.isSecurityProtocolSupported(0xEF));
  device.receiveThrows = false;

  // A length past the buffer: the search runs off its end and fails.
  device.protocolList = {0, 0, 0, 0, 0, 0, 0xFF, 0xF0, 0x00};
  EXPECT_FALSE(device.isSecurityProtocolSupported(0x07));
  // Its end wraps at 16 bits: nothing is read.
  device.protocolList = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x07};
  EXPECT_FALSE(device.isSecurityProtocolSupported(0x07));

  device.securityFeature = false;
  device.receiveCalls = 0;
  EXPECT_FALSE(device.isSecurityProtocolSupported(0x00));
  EXPECT_EQ(device.receiveCalls, 0);
}

}  // namespace
