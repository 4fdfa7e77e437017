// The query library's facade and back-ends where no drive is involved (the
// RAID stores' pseudo handles and the empty store back-ends), and the generic
// device's operation slots, part of the exported interface on both hosts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "devlib/orvlib_decl.h"
#include "devlib/orvlib_gendev.h"
#include "osl/osl_cmd.h"
#include "unit/status_check.h"

using namespace DivizuQuerylib;

namespace {

struct PseudoDrive {
  explicit PseudoDrive(const char* id) : drive(osl_open_device(id)) {}
  ~PseudoDrive() { osl_close_device(drive); }
  _OSL_PDEV* drive;
};

_osl_dev_cmd request(u8* block) {
  _osl_dev_cmd record = {};
  record.command = block;
  record.commandLength = 16;
  return record;
}

// The vtable index of a virtual operation (both hosts follow the Itanium
// C++ ABI: the destructor takes the first two entries).
template <typename Member>
size_t vtableIndex(Member member) {
  struct {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } raw;
  static_assert(sizeof member == sizeof raw, "pointer to member function");
  std::memcpy(&raw, &member, sizeof raw);
  return (raw.pointer - 1) / sizeof(void*);
}

}  // namespace

TEST(QueryFacade, PseudoHandlesAreAnsweredWithoutTheOperatingSystem) {
  for (const char* id : {"raid_b0:1", "raid_p2:3"}) {
    PseudoDrive pseudo(id);
    ASSERT_NE(pseudo.drive, nullptr) << id;
    ASSERT_TRUE(osl_is_pseudo_handle(pseudo.drive->handle)) << id;
    u8 block[16] = {};
    _osl_dev_cmd record = request(block);
    // A bus the dispatcher refuses shows whether the dispatcher was reached.
    EXPECT_EQ(OrvGenQuery::send_command(pseudo.drive, &record, OSL_BUS_NONE, OSL_CMD_ATA), 0u) << id;
    expectOslWord(OrvNativeQuery().sendCommand(pseudo.drive, &record, OSL_BUS_NONE, OSL_CMD_ATA), kCmdFile, 43);

    EXPECT_EQ(OrvGenQuery::get_maxtranfer_size(pseudo.drive, OSL_BUS_SATA), 0u) << id;

    _osl_dev_info* list = new _osl_dev_info;
    std::memset(list, 0xA5, sizeof *list);
    EXPECT_EQ(OrvGenQuery::drive_query(pseudo.drive, list), 0u) << id;
    EXPECT_EQ(list->count, 0xA5A5) << "the list was touched";
    delete list;

    osl_bus_type commandBus = OSL_BUS_RAID, physicalBus = OSL_BUS_RAID;
    osl_dev_type deviceType = OSL_DEV_SCSI;
    EXPECT_EQ(OrvGenQuery::get_bus_dev_type(pseudo.drive, &commandBus, &deviceType, &physicalBus), 0u);
    EXPECT_EQ(commandBus, OSL_BUS_RAID);
    EXPECT_EQ(deviceType, OSL_DEV_SCSI);
    EXPECT_EQ(physicalBus, OSL_BUS_RAID);
  }
}

TEST(QueryFacade, NoDriveRecordIsTheLayersToRefuse) {
  u8 block[16] = {};
  _osl_dev_cmd record = request(block);
  expectOslWord(OrvGenQuery::send_command(nullptr, &record, OSL_BUS_SATA, OSL_CMD_ATA), kCmdFile, 1);
  EXPECT_EQ(OrvGenQuery::get_maxtranfer_size(nullptr, OSL_BUS_SATA), 0x40000u);
  expectOslWord(OrvGenQuery::drive_query(nullptr, nullptr), kCmdFile, 1);
  osl_bus_type bus = OSL_BUS_NONE;
  osl_dev_type type = OSL_DEV_NONE;
  expectOslWord(OrvGenQuery::get_bus_dev_type(nullptr, &bus, &type, &bus), kCmdFile, 43);
}

TEST(QueryBackEnds, StoresAnswerZeroWhateverTheArguments) {
  PseudoDrive pseudo("raid_p0:0");
  u8 block[16] = {0xEC};
  u8 data[512];
  u8 response[16];
  osl_bus_type bus = OSL_BUS_SATA;
  osl_dev_type type = OSL_DEV_ATA;
  _osl_dev_info* list = new _osl_dev_info;
  list->count = 7;
  OrvPStoreQuery p;
  OrvBStoreQuery b;
  std::vector<u64> words = {OrvPStoreQuery::init(), OrvPStoreQuery::deinit(), OrvBStoreQuery::init(),
                            OrvBStoreQuery::deinit(), OrvNativeQuery::init(), OrvNativeQuery::deinit(),
                            p.driveList(list), b.driveList(nullptr)};
  for (_OSL_PDEV* drive : {pseudo.drive, static_cast<_OSL_PDEV*>(nullptr)}) {
    for (u64 word : {u64{p.getMaxTransferSize(drive)}, u64{b.getMaxTransferSize(drive)},
                     p.sendCommand(drive, OSL_CMD_ATA, block, 16, 1, data, 512, response, 16, 5, 1),
                     b.sendCommand(drive, OSL_CMD_SCSI, nullptr, 0, 0, nullptr, 0, nullptr, 0, 0, 0),
                     p.driveQuery(drive, list), b.driveQuery(drive, nullptr), p.getBusDevtype(drive, &bus, &type, &bus),
                     b.getBusDevtype(drive, nullptr, nullptr, nullptr)})
      words.push_back(word);
  }
  EXPECT_EQ(words, std::vector<u64>(words.size(), 0));
  EXPECT_EQ(list->count, 7) << "a store filled the list";
  EXPECT_TRUE(bus == OSL_BUS_SATA && type == OSL_DEV_ATA);
  OrvGenQuery::init_libs();
  OrvGenQuery::deinit_libs();
  delete list;
}

TEST(GenericDeviceSlots, FixedOrder) {
  using VazidaRaduru::OrvGenDev;
  const std::pair<size_t, size_t> slots[] = {
      {vtableIndex(&OrvGenDev::getIdentStrings), 1},  {vtableIndex(&OrvGenDev::downloadFirmware), 11},
      {vtableIndex(&OrvGenDev::activateFirmware), 13}, {vtableIndex(&OrvGenDev::getCapacity), 21},
      {vtableIndex(&OrvGenDev::readLog), 33},          {vtableIndex(&OrvGenDev::getContollerId), 46},
      {vtableIndex(&OrvGenDev::getPowerMode), 56},     {vtableIndex(&OrvGenDev::refresh), 70},
      {vtableIndex(&OrvGenDev::isSupportedDrive), 74}};
  for (const auto& s : slots) EXPECT_EQ(s.first, s.second + 1) << s.second;
}
