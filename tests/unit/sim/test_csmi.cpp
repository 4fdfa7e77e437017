// Drives behind a RAID controller of the CSMI kind on simulated machines:
// the listing, opening by id, ATA commands through STP pass-through, NVMe
// RAID members through the RAID driver's NVMe pass-through and firmware
// requests, the device list's rule for a drive seen twice, and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devlib/ata/orvlib_sata.h"
#include "osl/osl_csmi.h"
#include "osl/osl_scsi.h"
#include "unit/log_capture.h"
#include "unit/sim/drive_list_helpers.h"
#include "unit/sim/firmware_image.h"
#include "unit/sim/machine_fixture.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

// Port 0 is a plain storage port, port 1 the RAID controller: a SATA drive
// on phy 3 (number 203 in the machine), a SAS drive on phy 4, and two RAID
// sets that both hold the NVMe drive at SAS address 01 02 03 07.
const char kRaidMachine[] = R"({"drives": [
    {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"}],
  "controllers": [{"kind": "ahci"}, {"kind": "csmi",
     "drives": [
       {"bus": "sata", "phy": 3, "model": "MODEL P", "serial": "SP3", "firmware": "REV00001"},
       {"bus": "sas", "vendor": "MAKER", "model": "MODEL Q", "serial": "SP4", "firmware": "R001"}],
     "raidSets": [
       {"drives": [
         {"model": "NVMe MODEL R", "serial": "  SERIALNUMBER0123456789AB", "firmware": " FW01 ",
          "sasAddress": "0102030700000000"},
         {"model": "SATA MODEL", "serial": "SX", "sasAddress": "0102040800000000"}]},
       {"drives": [
         {"model": "NVMe MODEL R", "serial": "SERIALNUMBER0123456789AB", "sasAddress": "0102030700000000"},
         {"model": "NVMe FAILED", "serial": "SF", "sasAddress": "0102050900000000", "status": 1}]}]}]})";

std::vector<winsim::StorageRequest> miniportRequests(DWORD code) {
  std::vector<winsim::StorageRequest> found;
  for (const winsim::StorageRequest& request : winsim::storageTrace())
    if (request.name == "IOCTL_SCSI_MINIPORT" && request.miniportCode == code) found.push_back(request);
  return found;
}

// The drive query of a drive that cannot be looked up: code 19, and the
// first reason it records.
std::string queryFailure(_OSL_PDEV* drive) {
  std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
  osl_unread_list unread;
  unread.count = 0;
  {
    osl_lookup_scope scope(&unread);
    expectOslWord(osl_drive_query(drive, list.get()), kCmdFile, 19);
  }
  return unread.count ? unread.texts[0] : "";
}

const u8 kIdentify[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0xEC, 0, 0, 0};

using CsmiDrives = MachineTest;

TEST_F(CsmiDrives, ListingWithIdsTypesAndMedia) {
  load(kRaidMachine);
  DriveList drives;
  ASSERT_EQ(drives.status, 0u);
  // The physical drive, the NVMe drive once for both sets (twenty characters
  // of the serial field, then trimmed; not the SATA member nor the failed
  // drive), the two phys.
  EXPECT_EQ(drives.list->count, 4);
  EXPECT_EQ(drives.text(),
            "PHYSICALDRIVE0 #0 1/1/1 'MODEL A' 'REV00001' 'S1' medium 1\n"
            "SCSI1:r7 #7 8/3/8 'NVMe MODEL R' 'FW01' 'SERIALNUMBER012345' medium 1\n"
            "SCSI1:p3 #3 8/1/8 '' '' '' medium 3\n"
            "SCSI1:p4 #4 255/255/255 '' '' '' medium 3\n");
  // Every request carried its signature and the driver's time-out.
  for (const winsim::StorageRequest& request : winsim::storageTrace())
    if (request.name == "IOCTL_SCSI_MINIPORT" && request.device == "Scsi1:") {
      EXPECT_EQ(request.returnCode, 0u) << request.miniportCode;
      EXPECT_EQ(request.timeout, 300u);
    }
  EXPECT_EQ(miniportRequests(OSL_CSMI_RAID_CONFIG_CODE).size(), 2u);

  // Drives told apart by their port and the first three bytes of their SAS
  // addresses. The set's model field holds the whole model.
  load(R"({"controllers": [{"kind": "csmi", "raidSets": [{"drives": [
    {"model": "NVMe A", "serial": "NA", "sasAddress": "8000000700000000"},
    {"model": "NVMe B", "serial": "NB", "sasAddress": "0001000800000000"}]}]}]})");
  DriveList members;
  EXPECT_EQ(members.text(), "SCSI0:r7 #7 8/3/8 'NVMe A' 'REV00001' 'NA' medium 1\n"
                            "SCSI0:r8 #8 8/3/8 'NVMe B' 'REV00001' 'NB' medium 1\n");
  EXPECT_EQ(members.list->entries[1].modelField, 40);

  std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
  load(R"({"controllers": [{"kind": "csmi", "phys": 32}, {"kind": "ahci"}]})");
  expectOslWord(osl_csmi_list_drives(list.get()), kCsmiFile, 5);
  expectOslWord(osl_list_drives(list.get()), kCmdFile, 5);
  load(R"({"controllers": [{"kind": "csmi", "drives": [{"bus": "sata"}]}],
           "faults": [{"setupapi": "SetupDiGetDeviceInterfaceDetailW"}]})");
  expectOslWord(osl_csmi_list_drives(list.get()), kCsmiFile, 14);
  load(R"({"faults": [{"setupapi": "SetupDiGetClassDevsW"}]})");
  expectOslWord(osl_csmi_list_drives(list.get()), kCsmiFile, 15);
  // A port whose driver refuses unknown requests as not supported is no
  // controller either: nothing of the listing is left unread.
  load(R"({"controllers": [{"kind": "ahci", "miniportError": 50}, {"kind": "csmi", "drives": [{"bus": "sata"}]}]})");
  DriveList refused;
  EXPECT_EQ(refused.status, 0u);
  EXPECT_EQ(refused.unread.count, 0u) << refused.unread.texts[0];
  // A controller whose phys cannot be read: its failure, not "no devices".
  load(R"({"controllers": [{"kind": "csmi", "drives": [{"bus": "sata"}]}], "faults": [{"csmi": 20, "returnCode": 3}]})");
  expectOslWord(osl_csmi_list_drives(list.get()), kCsmiFile, 1);
}

TEST_F(CsmiDrives, OpeningByPortAndQueries) {
  load(R"({"controllers": [{"kind": "ahci"}, {"kind": "ahci"},
    {"kind": "csmi", "drives": [{"bus": "sata", "phy": 1}, {"bus": "sas", "phy": 2}]}]})");
  _OSL_PDEV missing = {};
  missing.port = 5;
  missing.kind = 'r';
  expectOslWord(osl_csmi_open(&missing), kCsmiFile, 43);
  expectOslWord(osl_csmi_open(nullptr), kCsmiFile, 35);
  EXPECT_EQ(osl_open_device("SCSI0:p1"), nullptr) << "a port that is no CSMI controller";

  OpenDrive sata("SCSI2:p1");
  ASSERT_NE(sata.drive, nullptr);
  EXPECT_EQ(std::to_string(sata.drive->port) + static_cast<char>(sata.drive->kind) + std::to_string(sata.drive->target), "2p1");
  EXPECT_EQ(sata.types(), "8/1/8");
  std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
  ASSERT_EQ(osl_drive_query(sata.drive, list.get()), 0u);
  EXPECT_EQ(list->count, 1);
  EXPECT_EQ(describe(list->entries[0]), " #0 8/1/8 '' '' '' medium 3");

  // A SAS drive keeps the caller's device type; an empty phy is unusable.
  OpenDrive sas("SCSI2:p2");
  ASSERT_NE(sas.drive, nullptr);
  EXPECT_EQ(sas.types(OSL_DEV_SCSI), "8/2/8");
  sas.drive->kind = 'x';
  EXPECT_EQ(sas.types(), "failed") << "neither a phy nor a RAID member";
  sas.drive->kind = 'p';
  _osl_dev_entry entry = {};
  entry.usable = 1;
  sas.drive->target = 0;
  EXPECT_EQ(sas.types(OSL_DEV_SCSI), "8/2/8") << "an empty phy keeps it too";
  EXPECT_EQ(osl_csmi_phy_describe(sas.drive, &entry), 0u);
  EXPECT_EQ(entry.usable, 0);
}

TEST_F(CsmiDrives, RaidMemberDescription) {
  load(kRaidMachine);
  OpenDrive raid("SCSI1:r7");
  ASSERT_NE(raid.drive, nullptr);
  _osl_dev_entry entry = {};
  entry.deviceType = OSL_DEV_NONE;
  ASSERT_EQ(osl_csmi_raid_bus_dev_type(raid.drive, &entry), 0u);
  EXPECT_EQ(describe(entry), " #0 8/3/8 '' '' '' medium 1");
  std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
  EXPECT_EQ(osl_drive_query(raid.drive, list.get()), 0u);

  OpenDrive absent("SCSI1:r42");
  ASSERT_NE(absent.drive, nullptr);
  entry = {};
  expectOslWord(osl_csmi_raid_bus_dev_type(absent.drive, &entry), kCsmiFile, 43);
  list.reset(new _osl_dev_info());
  expectOslWord(osl_drive_query(absent.drive, list.get()), kCsmiFile, 43);
  // The query answers only for a member the listing lists: an NVMe drive in
  // good state.
  for (const char* unlisted : {"SCSI1:r8", "SCSI1:r9"}) {
    OpenDrive member(unlisted);
    list.reset(new _osl_dev_info());
    expectOslWord(osl_drive_query(member.drive, list.get()), kCsmiFile, 43);
    EXPECT_EQ(osl_csmi_find_raid_member(member.drive), 0u) << unlisted;
  }
  // A drive in two sets, failed in the first: the listing lists the good
  // entry, and the query answers for that one.
  load(R"({"controllers": [{"kind": "csmi", "raidSets": [
    {"drives": [{"model": "NVMe R", "serial": "FAILED", "sasAddress": "0102030700000000", "status": 1}]},
    {"drives": [{"model": "NVMe R", "serial": "GOOD", "sasAddress": "0102030700000000"}]}]}]})");
  EXPECT_EQ(DriveList().text(), "SCSI0:r7 #7 8/3/8 'NVMe R' 'REV00001' 'GOOD' medium 1\n");
  OpenDrive twice("SCSI0:r7");
  list.reset(new _osl_dev_info());
  ASSERT_EQ(osl_drive_query(twice.drive, list.get()), 0u);
  EXPECT_EQ(describe(list->entries[0]), "SCSI0:r7 #7 8/3/8 'NVMe R' 'REV00001' 'GOOD' medium 1");
  // The good entry in a set that cannot be read: the query names that set.
  load(R"({"controllers": [{"kind": "csmi", "raidSets": [
    {"drives": [{"model": "NVMe R", "serial": "FAILED", "sasAddress": "0102030700000000", "status": 1}]},
    {"drives": [{"model": "NVMe R", "serial": "GOOD", "sasAddress": "0102030700000000"}]}]}],
    "faults": [{"csmi": 11, "set": 1, "returnCode": 3}]})");
  OpenDrive unreadable("SCSI0:r7");
  EXPECT_EQ(queryFailure(unreadable.drive),
            "storage port 0: CSMI RAID configuration of set 1 failed (error: 0, return code: 0x3)");
  // A controller without RAID sets holds no member to look for.
  load(R"({"controllers": [{"kind": "csmi"}]})");
  OpenDrive alone("SCSI0:r7");
  EXPECT_EQ(osl_csmi_find_raid_member(alone.drive), 0u);
  // Commands of unknown types are not sent.
  u8 entryBytes[64] = {6};
  expectOslWord(osl_csmi_nvme_send(raid.drive, entryBytes, 64, 1, nullptr, 0, nullptr, 0, OSL_CMD_REFUSED, 0, false),
                kCsmiFile, 83);
}

TEST_F(CsmiDrives, EveryCsmiRequestFollowsOneRule) {
  // A SATA drive on phy 0; set 0 holds another drive, set 1 the member
  // (target 7). A request succeeds when Windows carries it and the driver
  // answers ReturnCode 0; a failed one is recorded as the controller's by the
  // listing and, asked about one drive, is that drive's answer, code 19,
  // recorded in the opener's record and logged. An unreadable set is the
  // answer only when no readable set holds the member.
  const std::string machine = R"({"controllers": [{"kind": "csmi", "drives": [{"bus": "sata"}], "raidSets": [
      {"drives": [{"model": "NVMe OTHER", "sasAddress": "0000000500000000"}]},
      {"drives": [{"model": "NVMe MEMBER", "sasAddress": "0000010700000000"}]}]}], "faults": [)";
  auto reason = [](const std::string& request, const char* answer) {
    return "CSMI " + request + " failed (" + answer + ")";
  };
  const char* refused = "error: 0, return code: 0x3";
  const char* lost = "error: 31, return code: 0x0";
  const struct {
    u32 code;
    const char* fault;      // without its closing brace
    std::string listed;     // what the listing records
    std::string looked;     // the lookups' answer; empty: the drive is found
  } rows[] = {
      {11, "", "", ""},
      {11, R"({"csmi": 11, "set": 0, "returnCode": 3)", reason("RAID configuration of set 0", refused), ""},
      {11, R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 11, "set": 0)",
       reason("RAID configuration of set 0", lost), ""},
      {11, R"({"csmi": 11, "set": 1, "returnCode": 3)", reason("RAID configuration of set 1", refused),
       reason("RAID configuration of set 1", refused)},
      {11, R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 11, "set": 1)",
       reason("RAID configuration of set 1", lost), reason("RAID configuration of set 1", lost)},
      // Neither set can be read: the first one names the reason.
      {11, R"({"csmi": 11, "returnCode": 3)", reason("RAID configuration of set 0", refused),
       reason("RAID configuration of set 0", refused)},
      {10, R"({"csmi": 10, "returnCode": 3)", reason("RAID information", refused), reason("RAID information", refused)},
      {10, R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 10)", reason("RAID information", lost),
       reason("RAID information", lost)},
      {20, R"({"csmi": 20, "returnCode": 3)", reason("phy information", refused), reason("phy information", refused)},
      {20, R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 20)", reason("phy information", lost),
       reason("phy information", lost)},
      {1, R"({"csmi": 1, "returnCode": 3)", reason("driver information", refused),
       reason("driver information", refused)},
      {1, R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 1)", reason("driver information", lost),
       reason("driver information", lost)},
  };
  const std::vector<u8> image = firmwareImage("REV00002", 512);
  const std::vector<u8> piece = nvmeEntry(0x11, 0, {127, 0});
  const std::vector<u8> commit = nvmeEntry(0x10, 0, {3 << 3 | 1});
  auto typeOf = [](_OSL_PDEV* drive) {
    osl_bus_type command = OSL_BUS_NONE, physical = OSL_BUS_NONE;
    osl_dev_type device = OSL_DEV_NONE;
    return osl_get_bus_dev_type(drive, &command, &device, &physical);
  };
  auto query = [](_OSL_PDEV* drive) {
    std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
    return osl_drive_query(drive, list.get());
  };
  // Each path that sends the request, on a drive opened before it.
  const struct {
    const char* name;
    const char* drive;
    std::vector<u32> codes;
    std::function<u64(_OSL_PDEV*)> run;
  } paths[] = {
      {"member types", "SCSI0:r7", {1, 10, 11}, typeOf},
      {"member query", "SCSI0:r7", {1, 10, 11}, query},
      {"member lookup", "SCSI0:r7", {10, 11}, osl_csmi_find_raid_member},
      {"download piece", "SCSI0:r7", {10, 11},
       [&](_OSL_PDEV* drive) {
         return osl_csmi_fw_download(drive, piece.data(), const_cast<u8*>(image.data()), 512, 0, false);
       }},
      {"activation", "SCSI0:r7", {10, 11},
       [&](_OSL_PDEV* drive) {
         {
           osl_unread_list downloaded;
           downloaded.count = 0;
           osl_lookup_scope scope(&downloaded);
           osl_csmi_fw_download(drive, piece.data(), const_cast<u8*>(image.data()), 512, 0, false);
         }
         return osl_csmi_fw_activate(drive, commit.data(), 0, false);
       }},
      {"phy types", "SCSI0:p0", {1, 20}, typeOf},
      {"phy query", "SCSI0:p0", {1, 20}, query},
      {"STP pass-through", "SCSI0:p0", {20},
       [](_OSL_PDEV* drive) {
         u8 data[512];
         return osl_csmi_stp_send(drive, kIdentify, 16, 1, data, sizeof data, nullptr, 0, 0, false);
       }},
  };
  auto expectFailure = [](u64 answer, const osl_unread_list& record, const LogCapture& log, const std::string& why) {
    std::string recorded = record.count ? record.texts[0] : "";
    EXPECT_EQ(recorded, why.empty() ? "" : "storage port 0: " + why);
    EXPECT_EQ(record.count, why.empty() ? 0u : 1u);
    if (why.empty()) {
      EXPECT_EQ(answer, 0u);
      EXPECT_EQ(log.find("Error: Could not read"), nullptr);
    } else {
      expectOslWord(answer, kCmdFile, 19);
      EXPECT_EQ(log.levelOf("Error: Could not read storage port 0: " + why + "\n"), 3);
    }
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    const std::string fault = *row.fault ? std::string(row.fault) + "}" : "";
    load(machine + fault + "]}");
    std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
    osl_unread_list unread;
    osl_list_drives(list.get(), &unread);
    EXPECT_EQ(unread.count ? unread.texts[0] : "", row.listed.empty() ? "" : "storage port 0: " + row.listed);

    // Opening asks for the driver information; its failure is the answer.
    if (row.code == 1) {
      osl_unread_list record;
      record.count = 0;
      LogCapture log;
      osl_lookup_scope scope(&record);
      _OSL_PDEV opened = {};
      opened.kind = 'r';
      opened.target = 7;
      expectFailure(osl_csmi_open(&opened), record, log, row.looked);
      EXPECT_EQ(opened.handle, nullptr);
    }
    for (const auto& path : paths) {
      if (std::find(path.codes.begin(), path.codes.end(), row.code) == path.codes.end()) continue;
      SCOPED_TRACE(path.name);
      // The driver information of the opening passes.
      load(machine + (row.code == 1 ? std::string(row.fault) + R"(, "after": 1})" : fault) + "]}");
      OpenDrive drive(path.drive);
      ASSERT_NE(drive.drive, nullptr);
      osl_unread_list record;
      record.count = 0;
      LogCapture log;
      u64 answer = 0;
      {
        osl_lookup_scope scope(&record);
        answer = path.run(drive.drive);
      }
      expectFailure(answer, record, log, row.looked);
      if (row.looked.empty() && &path == &paths[4]) {
        EXPECT_STREQ(DriveList().find("SCSI0:r7")->firmware, "REV00002");
      }
    }
  }

  // Without a scope a lookup's reason is only logged.
  load(machine + R"({"csmi": 10, "returnCode": 3}]})");
  OpenDrive member("SCSI0:r7");
  LogCapture log;
  expectOslWord(osl_csmi_find_raid_member(member.drive), kCmdFile, 19);
  EXPECT_EQ(log.levelOf("Error: Could not read storage port 0: " + reason("RAID information", refused) + "\n"), 3);

  // A set too large to allocate names the set.
  load(R"({"controllers": [{"kind": "csmi", "maxDrivesPerSet": 4294967295, "raidSets": [
      {"drives": [{"model": "NVMe MEMBER", "sasAddress": "0000010700000000"}]}]}]})");
  std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
  osl_unread_list unread;
  osl_list_drives(list.get(), &unread);
  const std::string tooLarge =
      "CSMI RAID configuration of set 0 failed (4294967295 drives a set: 584115552184 bytes cannot be allocated)";
  EXPECT_EQ(unread.count ? unread.texts[0] : "", "storage port 0: " + tooLarge);
  OpenDrive large("SCSI0:r7");
  osl_unread_list record;
  record.count = 0;
  osl_lookup_scope scope(&record);
  expectOslWord(osl_csmi_find_raid_member(large.drive), kCmdFile, 19);
  EXPECT_EQ(record.count ? record.texts[0] : "", "storage port 0: " + tooLarge);
}

// NVMe drives the RAID driver presents as disks outside every set: listed
// by the physical listing, told by the driver's identifier and the path id
// of TEST UNIT READY, and reached through the driver by target number, also
// when a RAID set or the RAID information cannot be read. The member has
// target 7; the disks count on from 8 unless they name theirs; D2's device
// number leaves a gap in the physical listing. The controller is port 2: the
// driver keeps the first controller's port for the life of the process.
TEST_F(CsmiDrives, NvmeDisksOutsideTheSets) {
  const std::string alone = R"({"controllers": [{"kind": "ahci"}, {"kind": "ahci"}, {"kind": "csmi", "drives": [
      {"bus": "nvme", "model": "NVMe DISK", "serial": "D1"}]}], "faults": []})";
  const std::string withSets = R"({"drives": [{"bus": "sata", "serial": "S0"}],
    "controllers": [{"kind": "ahci"}, {"kind": "ahci"}, {"kind": "csmi", "drives": [
      {"bus": "sata", "serial": "P0"}, {"bus": "nvme", "model": "NVMe DISK", "serial": "D1"},
      {"bus": "nvme", "serial": "D2", "target": 20, "number": 5}, {"bus": "nvme", "serial": "D3"}],
    "raidSets": [{"drives": [{"model": "NVMe A", "serial": "NA", "sasAddress": "0000010700000000"}]}]}], "faults": [)";
  const std::vector<std::string> threeDisks = {"SCSI2:r8 #8 8/3/8 'NVMe DISK' 'REV0' 'D1' medium 1",
                                               "SCSI2:r20 #20 8/3/8 'VIRTUAL DRIVE' 'REV0' 'D2' medium 1",
                                               "SCSI2:r21 #21 8/3/8 'VIRTUAL DRIVE' 'REV0' 'D3' medium 1"};
  const struct {
    std::string machine;
    std::vector<std::string> listed;  // the disks as the listing shows them
    u32 member;                       // what the lookup of target 7 answers
    u32 absent;                       // the drive query of target 30
    size_t pieceRequests;             // the requests of a disk's lookup before a firmware request
  } cases[] = {
      {alone, {"SCSI2:r0 #0 8/3/8 'NVMe DISK' 'REV0' 'D1' medium 1"}, 0, 43, 1},
      {withSets + "]}", threeDisks, 0, 43, 2},
      {withSets + R"({"csmi": 11, "set": 0, "returnCode": 3}]})", threeDisks, 19, 19, 2},
      {withSets + R"({"csmi": 10, "returnCode": 3}]})", threeDisks, 19, 19, 1},
  };
  const std::vector<u8> image = firmwareImage("REV00002", 4096);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.machine);
    load(c.machine);
    DriveList drives;
    size_t checked = 0;
    for (const std::string& line : c.listed) EXPECT_NE(drives.text().find(line + "\n"), std::string::npos) << drives.text();
    for (const _osl_dev_entry& listed : drives.list->entries) {
      if (std::strncmp(listed.id, "SCSI2:r", 7) != 0 || listed.deviceNumber == 7) continue;
      const u32 target = listed.deviceNumber;
      const u32 number = static_cast<u32>(&listed - drives.list->entries);
      SCOPED_TRACE(listed.id);
      // The disk as Windows presents it: on the RAID bus, with the driver's
      // identifier last, and the target number as TEST UNIT READY's path id.
      OpenDrive disk(("PHYSICALDRIVE" + std::to_string(number)).c_str());
      ASSERT_NE(disk.drive, nullptr);
      EXPECT_EQ(disk.types(), "8/3/8");
      // Described from its handle alone, it is named by its controller too.
      std::unique_ptr<_osl_dev_info> described(new _osl_dev_info());
      ASSERT_EQ(osl_drive_query(disk.drive, described.get()), 0u);
      EXPECT_STREQ(described->entries[number].id, listed.id);
      alignas(8) u8 descriptor[OSL_DESCRIPTOR_LENGTH];
      ASSERT_EQ(osl_query_device_descriptor(disk.drive, descriptor), 0u);
      EXPECT_EQ(reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(descriptor)->BusType, BusTypeRAID);
      std::vector<u8> ids(OSL_DEVICE_ID_LENGTH);
      ASSERT_EQ(osl_query_device_ids(disk.drive, ids.data()), 0u);
      const auto* header = reinterpret_cast<const STORAGE_DEVICE_ID_DESCRIPTOR*>(ids.data());
      ASSERT_EQ(header->NumberOfIdentifiers, 2u);
      const auto* eui = reinterpret_cast<const STORAGE_IDENTIFIER*>(header->Identifiers);
      const auto* own = reinterpret_cast<const STORAGE_IDENTIFIER*>(header->Identifiers + eui->NextOffset);
      EXPECT_EQ(std::to_string(own->CodeSet) + "/" + std::to_string(own->Type) + "/" + std::to_string(own->Association) +
                    " " + std::string(reinterpret_cast<const char*>(own->Identifier), own->IdentifierSize),
                "2/0/0 IntelRSTNVMe" + std::to_string(target) + "_" + listed.serial);
      for (bool direct : {true, false}) {
        osl_scsi_request area = {};
        ASSERT_EQ(direct ? osl_test_unit_ready(disk.drive, &area) : osl_test_unit_ready_buffered(disk.drive, &area), 0u);
        EXPECT_EQ(direct ? area.header.direct.PathId : area.header.buffered.PathId, target);
      }

      // Opened by its id: described with no reason recorded, found before
      // each firmware request, and updated through the driver.
      OpenDrive drive(listed.id);
      ASSERT_NE(drive.drive, nullptr);
      EXPECT_EQ(drive.types(), "8/3/8");
      osl_unread_list unread;
      unread.count = 0;
      _osl_dev_entry entry = {};
      {
        osl_lookup_scope scope(&unread);
        EXPECT_EQ(osl_csmi_raid_bus_dev_type(drive.drive, &entry), 0u);
      }
      EXPECT_EQ(unread.count, 0u);
      std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
      ASSERT_EQ(osl_drive_query(drive.drive, list.get()), 0u);
      EXPECT_EQ(describe(list->entries[0]), describe(listed));
      // Before each firmware request the sets are read, as for a member,
      // and no disk is opened again: the disk the opening found stands.
      winsim::clearStorageTrace();
      EXPECT_EQ(osl_csmi_find_raid_member(drive.drive), 0u);
      EXPECT_EQ(winsim::storageTrace().size(), c.pieceRequests) << trace();
      std::vector<u8> identify(4096);
      ASSERT_EQ(osl_csmi_nvme_send(drive.drive, nvmeEntry(0x06, 0, {1}).data(), 64, 0, identify.data(), 4096, nullptr,
                                   0, OSL_CMD_NVME_ADMIN, 0, false),
                0u);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(identify.data()) + 4, 2), listed.serial);
      ASSERT_EQ(osl_csmi_nvme_send(drive.drive, nvmeEntry(0x11, 0, {1023, 0}).data(), 64, 1,
                                   const_cast<u8*>(image.data()), 4096, nullptr, 0, OSL_CMD_NVME_ADMIN, 0, false),
                0u);
      ASSERT_EQ(osl_csmi_nvme_send(drive.drive, nvmeEntry(0x10, 0, {3 << 3 | 1}).data(), 64, 1, nullptr, 0, nullptr, 0,
                                   OSL_CMD_NVME_ADMIN, 0, false),
                0u);
      EXPECT_EQ(nvmeDrive(number).firmware(), "REV00002");
      ++checked;
    }
    EXPECT_EQ(checked, c.listed.size());
    // The member, and a target that neither a set nor a disk holds.
    OpenDrive member("SCSI2:r7");
    EXPECT_EQ(orv_status_code(osl_csmi_find_raid_member(member.drive)), c.member);
    OpenDrive absent("SCSI2:r30");
    std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
    EXPECT_EQ(orv_status_code(osl_drive_query(absent.drive, list.get())), c.absent);
  }
}

TEST_F(CsmiDrives, DisksOfSeveralControllers) {
  // Disks at target 4 on two controllers, port 0 no controller: each is
  // named by its own controller's port and reached through it.
  const std::string machine = R"({"windows": "10.0", "controllers": [{"kind": "ahci"},
    {"kind": "csmi", "drives": [{"bus": "nvme", "model": "NVMe ONE", "serial": "D1", "target": 4}]},
    {"kind": "csmi", "drives": [{"bus": "nvme", "model": "NVMe TWO", "serial": "D2", "target": 4},
                                {"bus": "nvme", "model": "NVMe TWO", "serial": "0000_0000", "target": 6}]}], "faults": [)";
  load(machine + "]}");
  DriveList drives;
  const std::string second = "SCSI2:r4 #4 8/3/8 'NVMe TWO' 'REV0' 'D2' medium 1\n"
                             "SCSI2:r6 #6 8/3/8 'NVMe TWO' 'REV0' '0000_0000' medium 1 unusable\n";
  EXPECT_EQ(drives.text(), "SCSI1:r4 #4 8/3/8 'NVMe ONE' 'REV0' 'D1' medium 1\n" + second);
  for (const char* id : {"SCSI1:r4", "SCSI2:r4"}) {
    OpenDrive disk(id);
    std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
    ASSERT_EQ(osl_drive_query(disk.drive, list.get()), 0u) << id;
    EXPECT_EQ(list->entries[0].id, std::string(id));
    std::vector<u8> identify(4096);
    ASSERT_EQ(osl_csmi_nvme_send(disk.drive, nvmeEntry(0x06, 0, {1}).data(), 64, 0, identify.data(), 4096, nullptr, 0,
                                 OSL_CMD_NVME_ADMIN, 0, false),
              0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(identify.data()) + 4, 2), id[4] == '1' ? "D1" : "D2");
  }
  // The disk with Windows 10's placeholder serial number is no drive to use.
  OpenDrive placeholder("SCSI2:r6");
  std::unique_ptr<_osl_dev_info> list(new _osl_dev_info());
  expectOslWord(osl_drive_query(placeholder.drive, list.get()), kCsmiFile, 43);
  EXPECT_EQ(placeholder.types(), "failed");

  // What keeps a disk's controller from being told, and a disk the lookup
  // cannot read or tell: named, never put under another port.
  const struct {
    const char* fault;
    const char* first;   // the listing's entry of the first disk
    const char* reason;  // what the listing and the lookup of SCSI1:r4 record
  } cases[] = {
      {R"({"cfgmgr32": "CM_Get_Parent", "drive": 0})", "PHYSICALDRIVE0 #0 8/3/8 'NVMe ONE' 'REV0' 'D1' medium 1 unusable\n",
       "#4&0&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: its RAID controller cannot be told (CM_Get_Parent "
       "failed (CONFIGRET: 13))"},
      {R"({"ioctl": "CreateFileW", "drive": 0})", "",
       "#4&0&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: CreateFileW failed (error: 31)"},
      {R"({"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 2, "drive": 0})",
       "PHYSICALDRIVE0 #0 255/255/5 'NVMe ONE' 'REV0' 'D1' medium 3 unusable\n",
       "#4&0&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}: IOCTL_STORAGE_QUERY_PROPERTY failed (error: 31)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    load(machine + c.fault + "]}");
    DriveList partial;
    EXPECT_EQ(partial.text(), c.first + second);
    ASSERT_GE(partial.unread.count, 1u);
    EXPECT_NE(std::string(partial.unread.texts[0]).find(c.reason), std::string::npos) << partial.unread.texts[0];
    OpenDrive disk("SCSI1:r4");
    std::string recorded = queryFailure(disk.drive);
    EXPECT_NE(recorded.find(c.reason), std::string::npos) << recorded;
  }
}

TEST_F(CsmiDrives, IdentifyThroughStp) {
  load(kRaidMachine);
  OpenDrive drive("SCSI1:p3");
  ASSERT_NE(drive.drive, nullptr);
  winsim::clearStorageTrace();
  u8 data[512] = {};
  u8 response[16];
  std::memset(response, 0xEE, sizeof response);
  LogCapture log;
  ASSERT_EQ(osl_csmi_stp_send(drive.drive, kIdentify, 16, 1, data, sizeof data, response, 16, 0, false), 0u);
  EXPECT_EQ(log.find("Error: "), nullptr) << log.text();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data) + 54, 2), "OM");  // the model, bytes swapped
  // The registers: error, count, LBA, device, status; 13 bytes at most.
  EXPECT_EQ(hex(std::vector<u8>(response, response + 16)), "00 00 00 00 00 00 00 00 00 00 a0 00 50 ee ee ee ");
  // The phy information is asked first for the phy's address.
  ASSERT_EQ(winsim::storageTrace().size(), 2u);
  EXPECT_EQ(winsim::storageTrace()[0].miniportCode, static_cast<DWORD>(OSL_CSMI_PHY_INFO_CODE));
  EXPECT_EQ(describe(winsim::storageTrace()[1]),
            "Scsi1: code 19 rc 0 flags 17 data 512 at 0 queue 0 timeout 300: "
            "27 80 ec 00 00 00 00 a0 00 00 00 00 00 00 00 00 00 00 00 00 ");
  drive.drive->target = 9;  // on no phy of the controller
  expectOslWord(osl_csmi_stp_send(drive.drive, kIdentify, 16, 1, data, sizeof data, response, 16, 0, false),
                kCsmiFile, 43);
}

TEST_F(CsmiDrives, SataDeviceUpdatedThroughStp) {
  load(kRaidMachine);
  std::unique_ptr<OrvGenDev> device(OrvGenDev::newOrvDevice("SCSI1:p3", 0, false, false));
  ASSERT_NE(dynamic_cast<VazidaRaduruSata::OrvSataDev*>(device.get()), nullptr);
  EXPECT_EQ(device->getBusType(), OSL_BUS_CSMI);
  char firmware[9], model[41], serial[21], component[9];
  ASSERT_EQ(device->getIdentStrings(firmware, model, serial, component), 0u);
  EXPECT_EQ(std::string(model) + "|" + serial + "|" + firmware, "MODEL P|SP3|REV00001");

  winsim::clearStorageTrace();
  std::vector<u8> image = firmwareImage("REV00002", 200 * 512);
  bool refreshed = false, reboot = true;
  ASSERT_EQ(device->downloadFirmware(image.data(), static_cast<u32>(image.size()), &refreshed, &reboot, 0, false, 0),
            0u);
  EXPECT_TRUE(refreshed);
  EXPECT_FALSE(reboot);
  EXPECT_EQ(winsim::receivedFirmwareImage(203), image);
  ASSERT_EQ(device->refresh(), 0u);
  ASSERT_EQ(device->getIdentStrings(firmware, model, serial, component), 0u);
  EXPECT_STREQ(firmware, "REV00002");
}

TEST_F(CsmiDrives, BlankIdentifyAtARefreshKeepsTheDataReadBefore) {
  // The driver carries the refresh's Identify Controller without its data:
  // a failed Identify, the texts read before kept; the next one works.
  const std::string machine = R"({"controllers": [{"kind": "csmi", "raidSets": [{"drives": [
      {"model": "NVMe MODEL A", "serial": "M1", "firmware": "REV00001"}]}]}], "faults": [)";
  load(machine + "]}");
  winsim::clearStorageTrace();
  std::unique_ptr<OrvGenDev> device(OrvGenDev::newOrvDevice("SCSI0:r0", 0, false, false));
  size_t opening = miniportRequests(OSL_RST_NVME_CODE).size();
  device.reset();
  load(machine + R"({"csmi": 4026542088, "times": 1, "after": )" + std::to_string(opening) + "}]}");
  device.reset(OrvGenDev::newOrvDevice("SCSI0:r0", 0, false, false));
  EXPECT_EQ(orv_status_code(device->refresh()), ORV_ERR_NVME_IDENTIFY);
  char firmware[9], model[41], serial[21], component[9];
  ASSERT_EQ(device->getIdentStrings(firmware, model, serial, component), 0u);
  EXPECT_EQ(std::string(model) + "|" + serial + "|" + firmware, "NVMe MODEL A|M1|REV00001");
  EXPECT_EQ(device->refresh(), 0u);
}

TEST_F(CsmiDrives, DownloadLostOnTheWayLeavesTheFirmware) {
  // The third STP request (the second segment) never reaches the drive.
  load(R"({"controllers": [{"kind": "csmi", "drives": [
             {"bus": "sata", "phy": 0, "serial": "S1", "firmware": "REV00001", "dmMaxBlocks": 16}]}],
           "faults": [{"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 25, "after": 2, "times": 1}]})");
  std::unique_ptr<OrvGenDev> device(OrvGenDev::newOrvDevice("SCSI0:p0", 0, false, false));
  ASSERT_NE(device, nullptr);
  std::vector<u8> image = firmwareImage("REV00002", 64 * 512);
  bool refreshed = false, reboot = false;
  LogCapture log;
  u64 status =
      device->downloadFirmware(image.data(), static_cast<u32>(image.size()), &refreshed, &reboot, 0, false, 0);
  EXPECT_TRUE(isLibStatus(status, ORV_ERR_ATA_DOWNLOAD, 131)) << std::hex << status;
  EXPECT_NE(log.find("Error: IOCTL Failure: (error: 31)\n"), nullptr);
  EXPECT_TRUE(winsim::receivedFirmwareImage(100).empty());
  char firmware[9], model[41], serial[21], component[9];
  ASSERT_EQ(device->refresh(), 0u);
  ASSERT_EQ(device->getIdentStrings(firmware, model, serial, component), 0u);
  EXPECT_STREQ(firmware, "REV00001");
}

TEST_F(CsmiDrives, StpFailures) {
  const std::string base =
      R"({"controllers": [{"kind": "csmi", "drives": [{"bus": "sata", "phy": 0}]}], "faults": [)";
  struct Case {
    const char* fault;
    bool ignoreError;
    u16 file;
    u32 code;
    std::vector<std::pair<const char*, int>> lines;  // each with its level; -1: not logged
    bool stpSent;
  } cases[] = {
      // The request fails on its way: the Windows error and the return code.
      {R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 25, "error": 1117})", false, kCmdFile, 1,
       {{"Error: IOCTL Failure: (error: 1117)\n", 3}, {"Error: CSMI Return code: 0x0\n", 3},
        {"Error: ATA Response [Error : 0x00]", 3}}, true},
      {R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 25, "error": 1117})", true, kCmdFile, 1,
       {{"Warning: CSMI Return code: 0x0\n", 4}, {"Info: ATA Response", 6}}, true},
      // The controller answers a failing return code: nothing logged as a
      // Windows failure.
      {R"({"csmi": 25, "returnCode": 3})", false, kCsmiFile, 1, {{"Error: IOCTL Failure", -1}}, true},
      // The drive aborts the command: the registers come back.
      {R"({"ata": 236, "drive": 100})", false, kCsmiFile, 1,
       {{"Error: ATA Response [Error : 0x04] [Count : 0x0000] [LBA : 0x000000000000] [Device : 0xa0] "
         "[Status : 0x51]\n\n", 3}}, true},
      // The phy information fails: logged, and the command is not sent.
      {R"({"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 20})", false, kCmdFile, 19,
       {{"Error: IOCTL Failure: (error: 31)\n", 3}, {"Error: CSMI Return code: 0x0\n", 3}}, false},
      {R"({"csmi": 20, "returnCode": 1})", false, kCmdFile, 19, {{"Error: CSMI Return code: 0x1\n", 3}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    load(base + c.fault + "]}");
    OpenDrive drive("SCSI0:p0");
    ASSERT_NE(drive.drive, nullptr);
    winsim::clearStorageTrace();
    LogCapture log;
    std::vector<u8> data(512, 0xCC);
    u8 response[13] = {};
    expectOslWord(
        osl_csmi_stp_send(drive.drive, kIdentify, 16, 1, data.data(), 512, response, 13, 0, c.ignoreError),
        c.file, c.code);
    EXPECT_EQ(data, std::vector<u8>(512, 0xCC)) << "no data from a failed command";
    for (const auto& line : c.lines) EXPECT_EQ(log.levelOf(line.first), line.second) << line.first;
    std::vector<winsim::StorageRequest> stp = miniportRequests(OSL_CSMI_STP_PASSTHRU_CODE);
    EXPECT_EQ(!stp.empty(), c.stpSent);
    if (std::strstr(c.fault, "returnCode\": 3")) {
      EXPECT_EQ(stp.back().returnCode, 3u);
    }
    if (std::strstr(c.fault, "\"ata\"")) {
      EXPECT_EQ(response[0] | response[12] << 8, 0x5104);  // error and status registers
    }
  }
}

TEST_F(CsmiDrives, NvmeFirmwareThroughTheRaidDriver) {
  load(R"({"controllers": [{"kind": "csmi", "raidSets": [
    {"drives": [{"model": "NVMe A", "serial": "NA", "sasAddress": "0000010700000000"}]},
    {"drives": [{"model": "NVMe B", "serial": "NB", "sasAddress": "0000020900000000", "rebootToActivate": true},
                {"model": "NVMe C", "serial": "NC", "sasAddress": "0000030B00000000"}]}]}]})");
  LogCapture log;
  OpenDrive drive("SCSI0:r9");
  ASSERT_NE(drive.drive, nullptr);
  std::vector<u8> image = firmwareImage("REV00002", 6000);
  winsim::clearStorageTrace();
  for (u32 offset : {0u, 4096u}) {
    u32 length = std::min<u32>(4096, static_cast<u32>(image.size()) - offset);
    ASSERT_EQ(osl_csmi_nvme_send(drive.drive, nvmeEntry(0x11, 0, {length / 4 - 1, offset / 4}).data(), 64, 1,
                                 image.data() + offset, length, nullptr, 0, OSL_CMD_NVME_ADMIN, 0, false),
              0u);
  }
  // Each request first looks for the drive in the RAID sets.
  std::string sent;
  for (const winsim::StorageRequest& request : winsim::storageTrace()) sent += describe(request) + "\n";
  const std::string find = "Scsi0: code a rc 0 flags 0 data 0 at 0 queue 0 timeout 300: \n"
                           "Scsi0: code b rc 0 flags 0 data 0 at 0 queue 0 timeout 300: \n"
                           "Scsi0: code b rc 0 flags 0 data 0 at 0 queue 0 timeout 300: \n";
  EXPECT_EQ(sent, find + "Scsi0: code f0000040 rc 0 flags 0 data 4096 at 0 queue 0 timeout 86400: \n" + find +
                      "Scsi0: code f0000040 rc 0 flags 0 data 1904 at 0 queue 0 timeout 86400: \n");

  // Commit action 0 is not sent; commit action 2 activates, and the driver
  // asks for a reboot: the image waits for the controller's reset.
  winsim::clearStorageTrace();
  expectOslWord(osl_csmi_nvme_send(drive.drive, nvmeEntry(0x10, 0, {1}).data(), 64, 1, nullptr, 0, nullptr, 0,
                                   OSL_CMD_NVME_ADMIN, 0, false),
                kCsmiFile, 83);
  EXPECT_TRUE(miniportRequests(OSL_RST_FIRMWARE_CODE).empty());
  std::vector<u8> commit = nvmeEntry(0x10, 0, {2 << 3 | 1});
  expectOslWord(osl_csmi_nvme_send(drive.drive, commit.data(), 64, 1, nullptr, 0, nullptr, 0, OSL_CMD_NVME_ADMIN, 0,
                                   false),
                kCsmiFile, 45);
  EXPECT_STREQ(DriveList().find("SCSI0:r9")->firmware, "REV00001");

  // Nothing downloaded: the driver refuses the activation; a piece out of
  // order fails the download; a drive in no RAID set is not found.
  OpenDrive other("SCSI0:r11");
  log.clear();
  expectOslWord(osl_csmi_fw_activate(other.drive, commit.data(), 0, false), kCsmiFile, 1);
  EXPECT_NE(log.find("Warning: Invalid return code from IOCTL : 1\n"), nullptr);
  log.clear();
  expectOslWord(osl_csmi_fw_download(other.drive, nvmeEntry(0x11, 0, {0, 1024}).data(), image.data(), 512, 0, false),
                kCsmiFile, 1);
  EXPECT_NE(log.find("Warning: Invalid return code from IOCTL : 3\n"), nullptr);
  OpenDrive absent("SCSI0:r5");
  expectOslWord(osl_csmi_fw_activate(absent.drive, commit.data(), 0, false), kCsmiFile, 43);
  expectOslWord(osl_csmi_fw_download(absent.drive, commit.data(), image.data(), 512, 0, false), kCsmiFile, 43);
}

// Only the opcode, the namespace and Dwords 10 to 15 travel, and the data
// area (4096 bytes without data) ends a request of whole Dwords that begins
// with the 164-byte request.
TEST_F(CsmiDrives, NvmeMemberThroughThePassThrough) {
  load(kRaidMachine);
  LogCapture log;
  OpenDrive drive("SCSI1:r7");
  ASSERT_NE(drive.drive, nullptr);
  std::vector<u8> entry = nvmeEntry(0x06, 0, {1, 0, 0, 0, 0, 0});
  std::fill(entry.begin() + 1, entry.begin() + 4, 0xEE);
  std::fill(entry.begin() + 8, entry.begin() + 40, 0xEE);
  std::vector<u8> data(4096, 0xCC);
  std::vector<u8> completion(16, 0xCC);
  _osl_dev_cmd request = {};
  request.command = entry.data();
  request.commandLength = 64;
  request.data = data.data();
  request.dataLength = 4096;
  request.response = completion.data();
  request.responseLength = 16;
  winsim::clearStorageTrace();
  log.clear();
  ASSERT_EQ(osl_send_command(drive.drive, &request, OSL_BUS_CSMI, OSL_CMD_NVME_ADMIN), 0u);
  ASSERT_EQ(trace(), "SCSI_MINIPORT");
  EXPECT_EQ(describe(winsim::storageTrace()[0]),
            "Scsi1: code f0002808 rc 1 flags 0 data 4096 at 164 queue 0 timeout 86400: " + hex(nvmeEntry(0x06, 0, {1})));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data()) + 24, 40), "NVMe MODEL R" + std::string(28, ' '));
  EXPECT_EQ(completion, std::vector<u8>(16, 0));
  EXPECT_EQ(log.levelOf("Info: NVMe Status code: 0x00, Status: 0x00\n"), 6);
  EXPECT_NE(log.find("Info: NVMe Completion queue entry: " + hex(completion) + "\n"), nullptr);

  // Identify Namespace into 510 bytes: a 676-byte request, the data at 166.
  std::vector<u8> identifyNamespace = nvmeEntry(0x06, 1);
  winsim::clearStorageTrace();
  ASSERT_EQ(osl_csmi_nvme_send(drive.drive, identifyNamespace.data(), 64, 0, data.data(), 510, completion.data(), 16,
                               OSL_CMD_NVME_ADMIN, 30, false),
            0u);
  EXPECT_EQ(describe(winsim::storageTrace().back()),
            "Scsi1: code f0002808 rc 1 flags 0 data 510 at 166 queue 0 timeout 30: " + hex(identifyNamespace));
  EXPECT_EQ(littleEndian32(data, 0) | u64{littleEndian32(data, 4)} << 32, 1953525168u);
  // A command without data: Set Features turns the write cache off, and Get
  // Features answers it in Dword 0 of the completion.
  std::vector<u8> setCache = nvmeEntry(0x09, 0, {0x06});
  winsim::clearStorageTrace();
  ASSERT_EQ(osl_csmi_nvme_send(drive.drive, setCache.data(), 64, 1, nullptr, 0, nullptr, 0, OSL_CMD_NVME_ADMIN, 0,
                               false),
            0u);
  EXPECT_EQ(describe(winsim::storageTrace().back()),
            "Scsi1: code f0002808 rc 1 flags 0 data 4096 at 164 queue 0 timeout 86400: " + hex(setCache));
  completion.assign(16, 0xFF);
  ASSERT_EQ(osl_csmi_nvme_send(drive.drive, nvmeEntry(0x0A, 0, {0x06}).data(), 64, 1, nullptr, 0, completion.data(),
                               4, OSL_CMD_NVME_ADMIN, 0, false),
            0u);
  EXPECT_EQ(littleEndian32(completion, 0), 0u);
}

TEST_F(CsmiDrives, NvmePassThroughErrorsAndFailures) {
  LogCapture log;
  const std::string base = R"({"controllers": [{"kind": "csmi", "raidSets": [{"drives": [
    {"model": "NVMe A", "sasAddress": "0000010700000000"},
    {"model": "SATA B", "sasAddress": "0000020800000000"}]}]}], "faults": )";
  const std::vector<u8> identify = nvmeEntry(0x06, 0, {1});
  std::vector<u8> data(4096);
  u8 completion[16];
  auto send = [&](const char* id, const std::vector<u8>& entry, osl_cmd_type kind, bool ignore) {
    OpenDrive drive(id);
    std::fill(data.begin(), data.end(), 0xCC);
    std::memset(completion, 0xCC, sizeof completion);
    log.clear();
    winsim::clearStorageTrace();
    return osl_csmi_nvme_send(drive.drive, entry.data(), 64, 0, data.data(), 4096, completion, 16, kind, 0, ignore);
  };
  auto untouched = [&] { return std::all_of(data.begin(), data.end(), [](u8 b) { return b == 0xCC; }); };

  load(base + "[]}");
  // The drive refuses an unknown CNS: invalid field in the completion.
  const std::vector<u8> badCns = nvmeEntry(0x06, 0, {0x55});
  expectOslWord(send("SCSI0:r7", badCns, OSL_CMD_NVME_ADMIN, false), kCsmiFile, 1);
  EXPECT_EQ(completion[14] | completion[15] << 8, 0x04);
  EXPECT_TRUE(untouched());
  EXPECT_EQ(miniportRequests(OSL_RST_NVME_CODE).back().returnCode, 1u);
  EXPECT_EQ(log.levelOf("Error: NVMe Status code: 0x00, Status: 0x02\n"), 3);
  EXPECT_NE(log.find("Error: NVMe Completion queue entry: "), nullptr);
  EXPECT_EQ(log.find("IOCTL Failure"), nullptr);
  expectOslWord(send("SCSI0:r7", badCns, OSL_CMD_NVME_ADMIN, true), kCsmiFile, 1);
  EXPECT_NE(log.find("Info: NVMe Status code: 0x00, Status: 0x02\n"), nullptr);
  EXPECT_EQ(log.find("Error: NVMe"), nullptr);
  // I/O commands travel on the I/O queue; this controller has none.
  expectOslWord(send("SCSI0:r7", nvmeEntry(0x02, 1), OSL_CMD_NVME_IO, false), kCsmiFile, 1);
  EXPECT_EQ(miniportRequests(OSL_RST_NVME_CODE).back().queueType, 1);
  EXPECT_NE(log.find("Error: NVMe Status code: 0x00, Status: 0x01\n"), nullptr);
  // A member that is no NVMe drive, and a target in no set: the driver
  // refuses the request.
  expectOslWord(send("SCSI0:r8", identify, OSL_CMD_NVME_ADMIN, false), kCsmiFile, 1);
  EXPECT_EQ(miniportRequests(OSL_RST_NVME_CODE).back().returnCode, 3u);
  expectOslWord(send("SCSI0:r5", identify, OSL_CMD_NVME_ADMIN, false), kCsmiFile, 1);

  // A completion with Status Code 0 but a Status Code Type is an error.
  load(base + R"([{"nvme": 6, "drive": 1007, "statusType": 1, "statusCode": 0, "times": 1}]})");
  expectOslWord(send("SCSI0:r7", identify, OSL_CMD_NVME_ADMIN, false), kCsmiFile, 1);
  EXPECT_EQ(completion[15], 0x02);
  EXPECT_TRUE(untouched());
  EXPECT_NE(log.find("Error: NVMe Status code: 0x01, Status: 0x00\n"), nullptr);
  EXPECT_EQ(send("SCSI0:r7", identify, OSL_CMD_NVME_ADMIN, false), 0u);

  // The request fails on its way: the Windows error, the return code and
  // the completion, as errors or, with the ignore-error flag, as a warning.
  load(base + R"([{"ioctl": "IOCTL_SCSI_MINIPORT", "controlCode": 4026542088, "error": 1117}]})");
  expectOslWord(send("SCSI0:r7", identify, OSL_CMD_NVME_ADMIN, false), kCmdFile, 1);
  EXPECT_EQ(log.levelOf("Error: IOCTL Failure: (error: 1117)\n"), 3);
  EXPECT_EQ(log.levelOf("Error: CSMI NVMe Status: 0x0\n"), 3);
  EXPECT_NE(log.find("Error: NVMe Status code: 0x00, Status: 0x00\n"), nullptr);
  EXPECT_TRUE(untouched());
  expectOslWord(send("SCSI0:r7", identify, OSL_CMD_NVME_ADMIN, true), kCmdFile, 1);
  EXPECT_NE(log.find("Warning: IOCTL Failure: (error: 1117)\n"), nullptr);
  EXPECT_EQ(log.levelOf("Warning: CSMI NVMe Status: 0x0\n"), 4);
  EXPECT_NE(log.find("Info: NVMe Status code: 0x00, Status: 0x00\n"), nullptr);

  // A return code other than 1, or a data offset outside the request: the
  // command failed and nothing is read.
  for (const char* fault : {R"("returnCode": 0)", R"("dataOffset": 100000)", R"("dataOffset": 4200)",
                            R"("dataOffset": 8)"}) {
    load(base + R"([{"csmi": 4026542088, )" + fault + "}]}");
    expectOslWord(send("SCSI0:r7", identify, OSL_CMD_NVME_ADMIN, false), kCsmiFile, 1);
    EXPECT_EQ(log.find("IOCTL Failure"), nullptr) << fault;
    EXPECT_TRUE(untouched()) << fault;
  }
}

}  // namespace
