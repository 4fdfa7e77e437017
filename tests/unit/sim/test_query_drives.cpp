// The query library on a simulated machine: the facade and the native
// back-end give the OS layer's answers for real drives.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "devlib/orvlib_decl.h"
#include "osl/osl_cmd.h"
#include "osl/osl_sata.h"
#include "unit/sim/machine_fixture.h"

using namespace DivizuQuerylib;

namespace {

const char* twoDrives = R"({"drives": [
  {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
  {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001"}
]})";

struct OpenDrive {
  explicit OpenDrive(const char* id) : drive(osl_open_device(id)) {}
  ~OpenDrive() { osl_close_device(drive); }
  _OSL_PDEV* drive;
};

using QueryDrives = MachineTest;

}  // namespace

TEST_F(QueryDrives, FacadeAndNativeBackEndReachTheDrives) {
  load(twoDrives);
  OpenDrive sata("PHYSICALDRIVE0");
  OpenDrive sas("PHYSICALDRIVE1");
  ASSERT_NE(sata.drive, nullptr);
  ASSERT_NE(sas.drive, nullptr);
  OrvNativeQuery native;

  u8 block[16] = {};
  block[OSL_ATA_COMMAND] = 0xEC;
  block[OSL_ATA_DEVICE] = 0xA0;
  u8 identify[512] = {};
  u8 registers[16] = {};
  _osl_dev_cmd record = {};
  record.command = block;
  record.commandLength = 16;
  record.direction = 1;
  record.data = identify;
  record.dataLength = sizeof identify;
  record.response = registers;
  record.responseLength = sizeof registers;
  winsim::clearStorageTrace();
  EXPECT_EQ(OrvGenQuery::send_command(sata.drive, &record, OSL_BUS_SATA, OSL_CMD_ATA), 0u);
  EXPECT_EQ(native.sendCommand(sata.drive, &record, OSL_BUS_SATA, OSL_CMD_ATA), 0u);
  EXPECT_EQ(trace(), "ATA_PASS_THROUGH_DIRECT ATA_PASS_THROUGH_DIRECT");
  EXPECT_EQ(registers[OSL_ATA_COMMAND], 0x50);
  EXPECT_EQ(std::memcmp(identify + 54, "OMED L A", 8), 0);  // "MODEL A" in swapped byte pairs

  for (_OSL_PDEV* drive : {sata.drive, sas.drive}) {
    osl_bus_type bus = OSL_BUS_NONE, physical = OSL_BUS_NONE, nativeBus = OSL_BUS_NONE,
                 nativePhysical = OSL_BUS_NONE, expectedBus = OSL_BUS_NONE,
                 expectedPhysical = OSL_BUS_NONE;
    osl_dev_type type = OSL_DEV_NONE, nativeType = OSL_DEV_NONE, expectedType = OSL_DEV_NONE;
    ASSERT_EQ(osl_get_bus_dev_type(drive, &expectedBus, &expectedType, &expectedPhysical), 0u);
    EXPECT_EQ(OrvGenQuery::get_bus_dev_type(drive, &bus, &type, &physical), 0u);
    EXPECT_EQ(native.getBusDevtype(drive, &nativeBus, &nativeType, &nativePhysical), 0u);
    EXPECT_EQ(bus, expectedBus);
    EXPECT_EQ(type, expectedType);
    EXPECT_EQ(physical, expectedPhysical);
    EXPECT_EQ(nativeBus, expectedBus);
    EXPECT_EQ(nativeType, expectedType);
    EXPECT_EQ(nativePhysical, expectedPhysical);

    u32 limit = osl_get_max_transfer_size(drive, expectedBus);
    EXPECT_NE(limit, 0u);
    EXPECT_EQ(OrvGenQuery::get_maxtranfer_size(drive, expectedBus), limit);
    EXPECT_EQ(native.getMaxTransferSize(drive, expectedBus), limit);

    std::unique_ptr<_osl_dev_info> expected(new _osl_dev_info()), viaFacade(new _osl_dev_info()),
        viaNative(new _osl_dev_info());
    ASSERT_EQ(osl_drive_query(drive, expected.get()), 0u);
    EXPECT_EQ(OrvGenQuery::drive_query(drive, viaFacade.get()), 0u);
    EXPECT_EQ(native.driveQuery(drive, viaNative.get()), 0u);
    EXPECT_EQ(std::memcmp(expected.get(), viaFacade.get(), sizeof(_osl_dev_info)), 0);
    EXPECT_EQ(std::memcmp(expected.get(), viaNative.get(), sizeof(_osl_dev_info)), 0);
  }
}

TEST_F(QueryDrives, DriveListsOfBothWaysAreTheLayersList) {
  load(twoDrives);
  std::unique_ptr<_osl_dev_info> expected(new _osl_dev_info()), viaFacade(new _osl_dev_info()),
      viaNative(new _osl_dev_info());
  ASSERT_EQ(osl_list_drives(expected.get()), 0u);
  EXPECT_EQ(expected->count, 2);
  EXPECT_EQ(OrvGenQuery::list_drives(viaFacade.get()), 0u);
  EXPECT_EQ(OrvNativeQuery().driveList(viaNative.get()), 0u);
  EXPECT_EQ(std::memcmp(expected.get(), viaFacade.get(), sizeof(_osl_dev_info)), 0);
  EXPECT_EQ(std::memcmp(expected.get(), viaNative.get(), sizeof(_osl_dev_info)), 0);
}
