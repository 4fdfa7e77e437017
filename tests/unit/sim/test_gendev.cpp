// The generic device on simulated machines: the factory's choice of class
// and its log mask, opening and closing, what the base class answers for
// the operations a device class leaves to it; and the query library's
// facade and native back-end giving the OS layer's answers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devlib/orvlib_decl.h"
#include "devlib/scsi/orvlib_scsi.h"
#include "osl/osl_sata.h"
#include "unit/fake_device.h"
#include "unit/sim/device_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

const char* machine = R"({"windows": "6.1", "drives": [
  {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001",
   "partitions": {"style": "gpt", "count": 1}},
  {"bus": "sas", "vendor": "NVMe", "model": "MODEL C", "serial": "S4", "firmware": "R001"}]})";

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
    EXPECT_EQ(protocol * 1000 + specific * 10 + option, 1);
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

// The status the factory throws for that path, and the mask it leaves
// behind (read by setting it back).
std::string factory(const std::string& path) {
  u64 status = thrownStatus([&] { delete OrvGenDev::newOrvDevice(path, 0, false, false); });
  return st(status) + " mask " + std::to_string(orvlib_mask_app_log(7));
}

TEST_F(GenericDevice, Factory) {
  DevicePtr device = newDevice(0);
  ASSERT_NE(dynamic_cast<VazidaRaduruScsi::OrvScsiDev*>(device.get()), nullptr);
  EXPECT_EQ(device->getDeviceType(), OSL_DEV_SCSI);
  EXPECT_EQ(device->getBusType(), OSL_BUS_SAS);
  EXPECT_EQ(orvlib_mask_app_log(7), 7);
  device.reset();
  // A missing drive; a RAID store's pseudo handle has no types and never
  // yields a device. The mask is restored either way.
  orvlib_mask_app_log(5);
  EXPECT_EQ(factory("PHYSICALDRIVE7"), "4.103.13 mask 7");
  orvlib_mask_app_log(2);
  EXPECT_EQ(factory("raid_b1:2"), "4.103.43 mask 7");

  // The probe opens and closes the drive under the mask; only the device's
  // own opening shows.
  LogCapture log;
  device = newDevice(0);
  int opened = 0;
  for (const LoggedLine& line : log.all()) opened += line.text.rfind("Info: Opening Physical drive", 0) == 0;
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(log.find("Info: Closing Physical drive"), nullptr);
  device.reset();
  EXPECT_NE(log.find("Info: Closing Physical drive"), nullptr);

  // The probe reads the types; the device's own query fails, and its handle
  // is closed again (the fixture counts open handles).
  load(R"({"drives": [{"bus": "sas"}],
           "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 0, "after": 1}]})");
  expectOslWord(thrownStatus([] { newDevice(0); }), kCmdFile, 19);
}

TEST_F(GenericDevice, OpenDeviceKeepsTypesAndTransferLimit) {
  // The adapter's 257 pages less one; the drive's partition and list entry.
  FakeDevice device("PHYSICALDRIVE0");
  EXPECT_EQ(device.getDeviceType() * 100 + device.getBusType(), OSL_DEV_SCSI * 100 + OSL_BUS_SAS);
  u32 limit = 0;
  EXPECT_EQ(device.getMaxTransferLen(limit), 0u);
  EXPECT_EQ(limit, 256u * 4096);
  EXPECT_TRUE(device.hasActivePartition());
  auto list = std::make_unique<_osl_dev_info>();
  EXPECT_EQ(device.getDriveProperties(list.get()), 0u);
  EXPECT_EQ(list->count, 1);
  EXPECT_STREQ(list->entries[0].serial, "S3");

  // A pseudo handle has no types nor limit, and lists nothing.
  winsim::clearStorageTrace();
  list = std::make_unique<_osl_dev_info>();
  FakeDevice pseudo("raid_p0:1");
  EXPECT_EQ(pseudo.getDeviceType() * 100 + pseudo.getBusType(), OSL_DEV_NONE * 100 + OSL_BUS_NONE);
  limit = 1;
  EXPECT_TRUE(isLibStatus(pseudo.getMaxTransferLen(limit), 13, 103));
  EXPECT_EQ(limit, 0u);
  EXPECT_EQ(pseudo.getDriveProperties(list.get()), 0u);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(trace(), "");
  EXPECT_TRUE(isLibStatus(thrownStatus([] { FakeDevice missing("PHYSICALDRIVE9"); }), 13, 103));
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
  for (u64 status : {device.sanitize(_OrvSanitizeMode(1)), device.securityEnable("pw"),
                     device.securityDisable("pw", true), device.rezero(), device.readModePage(8, 0, modes, false),
                     device.writeModePage(modes), device.flushMediaCache(), device.deleteNamespace(1),
                     device.createNamespace(1, 1, 0, false, 0, false, false, nsid),
                     device.attachNamespace(ORV_NS_DETACH, 1)})
    EXPECT_EQ(st(status), "4.103.83");

  // Deferred download needs Windows 10 only on NVMe (the machine runs 6.1).
  device.setTypes(OSL_DEV_SCSI, OSL_BUS_SAS);
  EXPECT_TRUE(device.isDeferredFwDnldSupported());
  device.setTypes(OSL_DEV_NVME, OSL_BUS_NVME);
  EXPECT_FALSE(device.isDeferredFwDnldSupported());
  load(R"({"windows": "10.0"})");
  EXPECT_TRUE(device.isDeferredFwDnldSupported());

  // Media access by type and bus.
  struct Case {
    osl_dev_type device;
    osl_bus_type bus;
    bool expected;
  } cases[] = {
      {OSL_DEV_ATA, OSL_BUS_SATA, true},   {OSL_DEV_ATA, OSL_BUS_SAS, true},
      {OSL_DEV_ATA, OSL_BUS_CSMI, true},   {OSL_DEV_ATA, OSL_BUS_RAID, false},
      {OSL_DEV_ATA, OSL_BUS_NVME, false},  {OSL_DEV_SCSI, OSL_BUS_SCSI, true},
      {OSL_DEV_SCSI, OSL_BUS_SATA, false}, {OSL_DEV_SCSI, OSL_BUS_RAID_MEMBER, false},
      {OSL_DEV_NVME, OSL_BUS_CSMI, true},  {OSL_DEV_NONE, OSL_BUS_SAS, false},
  };
  for (const Case& one : cases) {
    device.setTypes(one.device, one.bus);
    EXPECT_EQ(device.isIoSupported(), one.expected) << one.device << " on " << one.bus;
  }

  // The ignore-error count nests up to 255.
  device.unsetIgnoreError();
  EXPECT_EQ(device.ignoreCount(), 0);
  for (int i = 0; i < 255; ++i) ASSERT_EQ(device.setIgnoreError(), 0u) << i;
  EXPECT_TRUE(isLibStatus(device.setIgnoreError(), 1, 103));
  EXPECT_EQ(device.ignoreCount(), 255);
  device.unsetIgnoreError();
  EXPECT_EQ(device.ignoreCount(), 254);
}

TEST_F(GenericDevice, SecurityProtocolList) {
  FakeDevice device;
  // (list, receive status, throws, protocol) -> supported. Byte 11 lies
  // beyond the list's length; a length past the buffer runs the search off
  // its end and fails.
  struct Case {
    std::vector<u8> list;
    u64 status;
    bool throws;
    u8 protocol;
    bool supported;
  } cases[] = {
      {{0, 0, 0, 0, 0, 0, 0, 3, 0x00, 0x01, 0xEF, 0x02}, 0, false, 0xEF, true},
      {{0, 0, 0, 0, 0, 0, 0, 3, 0x00, 0x01, 0xEF, 0x02}, 0, false, 0x00, true},
      {{0, 0, 0, 0, 0, 0, 0, 3, 0x00, 0x01, 0xEF, 0x02}, 0, false, 0x02, false},
      {{0, 0, 0, 0, 0, 0, 0, 3, 0x00, 0x01, 0xEF, 0x02}, ORV_LIB_STATUS(ORV_ERR_GENERIC), false, 0xEF, false},
      {{0, 0, 0, 0, 0, 0, 0, 3, 0x00, 0x01, 0xEF, 0x02}, 0, true, 0xEF, false},
      {{0, 0, 0, 0, 0, 0, 0xFF, 0xF0, 0x00}, 0, false, 0x07, false},
  };
  for (const Case& one : cases) {
    device.protocolList = one.list;
    device.receiveStatus = one.status;
    device.receiveThrows = one.throws;
    EXPECT_EQ(device.isSecurityProtocolSupported(one.protocol), one.supported) << int(one.protocol);
  }
  EXPECT_EQ(device.receiveCalls, 6);
  // Without the security feature nothing is asked.
  device.securityFeature = false;
  EXPECT_FALSE(device.isSecurityProtocolSupported(0x00));
  EXPECT_EQ(device.receiveCalls, 6);
}

TEST_F(GenericDevice, QueryFacadeAndNativeBackEndGiveTheLayersAnswers) {
  load(R"({"drives": [{"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001"}]})");
  _OSL_PDEV* sata = osl_open_device("PHYSICALDRIVE0");
  _OSL_PDEV* sas = osl_open_device("PHYSICALDRIVE1");
  ASSERT_TRUE(sata && sas);
  DivizuQuerylib::OrvNativeQuery native;
  using DivizuQuerylib::OrvGenQuery;

  u8 block[16] = {}, identify[512] = {}, registers[16] = {};
  block[OSL_ATA_COMMAND] = 0xEC;
  block[OSL_ATA_DEVICE] = 0xA0;
  _osl_dev_cmd record = {};
  record.command = block;
  record.commandLength = 16;
  record.direction = 1;
  record.data = identify;
  record.dataLength = sizeof identify;
  record.response = registers;
  record.responseLength = sizeof registers;
  winsim::clearStorageTrace();
  EXPECT_EQ(OrvGenQuery::send_command(sata, &record, OSL_BUS_SATA, OSL_CMD_ATA), 0u);
  EXPECT_EQ(native.sendCommand(sata, &record, OSL_BUS_SATA, OSL_CMD_ATA), 0u);
  EXPECT_EQ(trace(), "ATA_PASS_THROUGH_DIRECT ATA_PASS_THROUGH_DIRECT");
  EXPECT_EQ(registers[OSL_ATA_COMMAND], 0x50);
  EXPECT_EQ(std::memcmp(identify + 54, "OMED L A", 8), 0);  // "MODEL A" in swapped byte pairs

  auto same = [](const _osl_dev_info& a, const _osl_dev_info& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (_OSL_PDEV* drive : {sata, sas}) {
    // Bus, device type and physical bus, three ways.
    osl_bus_type bus[3] = {}, physical[3] = {};
    osl_dev_type type[3] = {};
    ASSERT_EQ(osl_get_bus_dev_type(drive, &bus[0], &type[0], &physical[0]), 0u);
    EXPECT_EQ(OrvGenQuery::get_bus_dev_type(drive, &bus[1], &type[1], &physical[1]), 0u);
    EXPECT_EQ(native.getBusDevtype(drive, &bus[2], &type[2], &physical[2]), 0u);
    for (int i = 1; i < 3; ++i)
      EXPECT_EQ(bus[i] * 10000 + type[i] * 100 + physical[i], bus[0] * 10000 + type[0] * 100 + physical[0]);
    u32 limit = osl_get_max_transfer_size(drive, bus[0]);
    EXPECT_NE(limit, 0u);
    EXPECT_EQ(OrvGenQuery::get_maxtranfer_size(drive, bus[0]), limit);
    EXPECT_EQ(native.getMaxTransferSize(drive, bus[0]), limit);
    std::unique_ptr<_osl_dev_info[]> info(new _osl_dev_info[3]());
    ASSERT_EQ(osl_drive_query(drive, &info[0]), 0u);
    EXPECT_EQ(OrvGenQuery::drive_query(drive, &info[1]), 0u);
    EXPECT_EQ(native.driveQuery(drive, &info[2]), 0u);
    EXPECT_TRUE(same(info[0], info[1]) && same(info[0], info[2]));
  }
  osl_close_device(sata);
  osl_close_device(sas);

  // The drive list, three ways.
  std::unique_ptr<_osl_dev_info[]> lists(new _osl_dev_info[3]());
  ASSERT_EQ(osl_list_drives(&lists[0]), 0u);
  EXPECT_EQ(lists[0].count, 2);
  EXPECT_EQ(OrvGenQuery::list_drives(&lists[1]), 0u);
  EXPECT_EQ(native.driveList(&lists[2]), 0u);
  EXPECT_TRUE(same(lists[0], lists[1]) && same(lists[0], lists[2]));
}

}  // namespace
