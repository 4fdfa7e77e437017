// Commands on simulated machines: drive lock files (who holds a drive, which
// files are stale, taking and giving back a lock), commands opening drives
// by id with the last-error text of a constructor that fails, and the
// device-list command's records, filters and locked drives.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cmdlib/cmdlib_devlist.h"
#include "unit/lock_helpers.h"
#include "unit/log_capture.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuCmd;
using DivizuCmdlib::DivIzuDevList;
using DivizuCmdlib::DivIzuDevReady;
using DivizuCmdlib::DivIzuGenCmd;
using VazidaRaduru::_OrvDevProperty;

namespace {

constexpr u32 kGenCmdFile = 51;
constexpr u32 kDevListFile = 52;

u32 lineOf(u64 word) { return static_cast<u32>((word >> 32) & 0xFFFF); }

// Process ids beyond the host's largest: the machine's table decides. A
// SAS drive with a partition and one at number 12.
const char kMachine[] = R"({"processes": [{"pid": 4194400, "image": "C:\\Program Files\\ORVENTA\\Vormel.EXE"},
    {"pid": 4194401, "image": "D:\\tools\\raravid.exe"}, {"pid": 4194402, "image": "D:\\tools\\VORMEL2.exe"}],
  "drives": [
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001",
     "partitions": {"style": "gpt", "count": 1}},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S5", "firmware": "R001", "number": 12}]})";

class Command : public DivIzuGenCmd {
 public:
  explicit Command(const std::string& id, bool lockDevice = false) : DivIzuGenCmd(id, 0, 0, lockDevice, false) {}
  u64 execute() override { return 0; }
};

class DeviceCommand : public DivIzuCmd {
 public:
  explicit DeviceCommand(const std::string& id) : DivIzuCmd(id, 0, 0, false, false) {}
  u64 execute() override { return 0; }
  using DivIzuCmd::closeDevice;
};

class Commands : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(kMachine);
  }
  LockFolder locks() const { return LockFolder(scratch_.path() + "/programdata"); }
  // The test's answer for the lock file of PHYSICALDRIVE0 holding text.
  u64 test(const std::string& text, std::string* owner = nullptr) {
    locks().write("PHYSICALDRIVE0", text);
    std::string holder = "junk";
    u64 status = LockingCommand::isDevOpLocked("PHYSICALDRIVE0", holder);
    if (owner) *owner = holder;
    return status;
  }
  // The word a command's constructor throws, and the last-error text.
  template <typename Make>
  static u64 failure(Make make, std::string& text) {
    u64 status = thrownStatus(make);
    text = DivIzuGenCmd::getLastError();
    return status;
  }
};

TEST_F(Commands, LiveProgramsOfTheSystemHoldTheirDrives) {
  std::string owner;
  u64 status = test("4194400", &owner);
  EXPECT_TRUE(isLibStatus(status, 166, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 546u);
  EXPECT_EQ(owner, "4194400");
  status = test("F:4194400", &owner);
  EXPECT_TRUE(isLibStatus(status, 170, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 543u);
  EXPECT_TRUE(isLibStatus(test("f:4194401"), 170, kGenCmdFile));
  EXPECT_TRUE(isLibStatus(test("4194401"), 166, kGenCmdFile));
  EXPECT_EQ(locks().read("PHYSICALDRIVE0"), "4194401");
  EXPECT_TRUE(isLibStatus(test("F:0004194400"), 170, kGenCmdFile)) << "twelve bytes, the most a lock holds";
  // This test program is no program of the system: its own lock is stale,
  // unless the machine's table gives it the system's image name.
  std::string own = std::to_string(GetCurrentProcessId());
  EXPECT_EQ(test(own), 0u);
  EXPECT_FALSE(locks().exists("PHYSICALDRIVE0"));
  load(R"({"processes": [{"pid": )" + own + R"(, "image": "C:\\x\\VORMEL.exe"}]})");
  EXPECT_TRUE(isLibStatus(test(own), 166, kGenCmdFile));
}

TEST_F(Commands, StaleFilesAreRemovedAndOddSizesLeftAlone) {
  const struct {
    const char* what;
    std::string text;
    bool kept;
  } cases[] = {{"ended process", "4194403", false}, {"another program", "4194402", false},
               {"no number", "abc", false},         {"prefix alone", "F:", false},
               {"number and text", "4194400x", false}, {"empty file", "", true},
               {"thirteen bytes", "4194400123456", true}};
  for (const auto& c : cases) {
    std::string owner;
    EXPECT_EQ(test(c.text, &owner), 0u) << c.what;
    EXPECT_EQ(owner, "") << c.what;
    EXPECT_EQ(locks().exists("PHYSICALDRIVE0"), c.kept) << c.what;
  }
  std::string owner;
  std::filesystem::remove(locks().file("PHYSICALDRIVE0"));
  EXPECT_EQ(LockingCommand::isDevOpLocked("PHYSICALDRIVE0", owner), 0u);

  // A lock file that cannot be read fails the test.
  LogCapture log;
  locks().write("PHYSICALDRIVE0", "4194400");
  FILE* holder = _fsopen(locks().file("PHYSICALDRIVE0").string().c_str(), "r", _SH_DENYRW);
  ASSERT_NE(holder, nullptr);
  u64 status = LockingCommand::isDevOpLocked("PHYSICALDRIVE0", owner);
  std::fclose(holder);
  EXPECT_TRUE(isLibStatus(status, 16, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 518u);
  std::string shown = scratch_.path() + "/programdata\\ORVENTA\\VORMEL\\lock\\PHYSICALDRIVE0";
  EXPECT_EQ(log.levelOf("File: " + shown + " couldn't be opened (Error: ["), 3) << log.text();
}

TEST_F(Commands, TakingALockAndGivingItBack) {
  std::string own = std::to_string(GetCurrentProcessId());
  {
    LockingCommand command("SCSI1:r0");
    ASSERT_EQ(command.forceOpLock(), 0u);
    EXPECT_TRUE(command.holdsLock());
    EXPECT_EQ(locks().read("SCSI1_r0"), own);
    EXPECT_EQ(command.forceOpLock(), 0u);  // held already
  }
  EXPECT_FALSE(locks().exists("SCSI1_r0"));
  LockingCommand aborted("PHYSICALDRIVE3");
  ASSERT_EQ(aborted.forceOpLock(), 0u);
  EXPECT_EQ(aborted.abort(nullptr), 0u);
  EXPECT_FALSE(locks().exists("PHYSICALDRIVE3"));

  // A live holder's lock is never overwritten, nor removed on leaving.
  for (std::string held : {"4194400", "F:4194401"}) {
    locks().write("PHYSICALDRIVE1", held);
    LockingCommand command("PHYSICALDRIVE1");
    EXPECT_TRUE(isLibStatus(command.forceOpLock(), held[0] == 'F' ? 170 : 166, kGenCmdFile)) << held;
    EXPECT_FALSE(command.holdsLock());
    EXPECT_EQ(locks().read("PHYSICALDRIVE1"), held);
  }
  EXPECT_EQ(locks().read("PHYSICALDRIVE1"), "F:4194401");
  // Only the own lock is removed: meanwhile another program took the drive.
  {
    LockingCommand command("PHYSICALDRIVE4");
    ASSERT_EQ(command.forceOpLock(), 0u);
    locks().write("PHYSICALDRIVE4", "4194400");
  }
  EXPECT_EQ(locks().read("PHYSICALDRIVE4"), "4194400");

  // An own lock that cannot be removed stays taken.
  LockingCommand command("PHYSICALDRIVE5");
  ASSERT_EQ(command.forceOpLock(), 0u);
  FILE* holder = _fsopen(locks().file("PHYSICALDRIVE5").string().c_str(), "r", _SH_DENYRW);
  ASSERT_NE(holder, nullptr);
  u64 status = command.forceOpUnlock();
  std::fclose(holder);
  EXPECT_TRUE(isLibStatus(status, 17, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 489u);
  EXPECT_TRUE(command.holdsLock());
  EXPECT_TRUE(locks().exists("PHYSICALDRIVE5"));
  EXPECT_EQ(command.forceOpUnlock(), 0u);
  EXPECT_FALSE(command.holdsLock());
  EXPECT_FALSE(locks().exists("PHYSICALDRIVE5"));

  load(R"({"programdata": null})");
  LockingCommand noFolder("PHYSICALDRIVE0");
  EXPECT_EQ(orv_status_code(noFolder.forceOpLock()), 21u);
  std::string owner;
  EXPECT_EQ(orv_status_code(LockingCommand::isDevOpLocked("PHYSICALDRIVE0", owner)), 21u);
}

TEST_F(Commands, DriveIdsAreNormalised) {
  const std::pair<const char*, const char*> ids[] = {
      {"0", "PHYSICALDRIVE0"}, {"  12 ", "PHYSICALDRIVE12"}, {"physicaldrive0", "physicaldrive0"}};
  for (const auto& id : ids) {
    Command command(id.first);
    EXPECT_EQ(command.getDeviceId(), id.second);
    EXPECT_TRUE(command.hasValidDevice()) << id.first;
    EXPECT_EQ(command.getBusType(), OSL_BUS_SAS);
    EXPECT_EQ(command.getDeviceType(), OSL_DEV_SCSI);
  }
  Command command("12");
  _OrvDevProperty property = command.getDevProperty();
  EXPECT_STREQ(property.deviceName, "PHYSICALDRIVE12");
  EXPECT_STREQ(property.serialNumber, "S5");
  EXPECT_EQ(property.usable, 1);
  EXPECT_EQ(property.commandBus, OSL_BUS_SAS);
  EXPECT_FALSE(command.hasActivePartition());
  EXPECT_TRUE(Command("0").hasActivePartition());
}

TEST_F(Commands, CommandsWithoutADrive) {
  Command blank("   ");
  EXPECT_EQ(blank.getDeviceId(), "");
  EXPECT_FALSE(blank.hasValidDevice());
  EXPECT_EQ(blank.getBusType(), OSL_BUS_NONE);
  EXPECT_EQ(blank.getDeviceType(), OSL_DEV_NONE);
  EXPECT_EQ(blank.setIgnoreError(), 0u);
  EXPECT_EQ(blank.getSectorSize(), 0u);
  u64 status = thrownStatus([&] { blank.hasActivePartition(); });
  EXPECT_TRUE(isLibStatus(status, 2, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 326u);
  std::string text;
  status = failure([] { DeviceCommand command(" "); }, text);
  EXPECT_TRUE(isLibStatus(status, 43, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 629u);
  EXPECT_EQ(text, "ORVERR43: Unsupported device type");
  const std::pair<const char*, u32> cases[] = {
      {"3", 192}, {"SCSI0:r1", 192}, {"PHYSICALDRIVE123456", 109}, {"PHYSICALDRIVE12345", 192}};
  for (const auto& c : cases) {
    status = failure([&] { Command command(c.first); }, text);
    EXPECT_TRUE(isLibStatus(status, 43, kGenCmdFile)) << c.first;
    EXPECT_EQ(lineOf(status), c.second) << c.first;
  }
}

TEST_F(Commands, LockedDrivesAreRefusedAndLockingCommandsLock) {
  std::string text;
  locks().write("PHYSICALDRIVE0", "4194400");
  EXPECT_TRUE(isLibStatus(failure([] { Command command("0"); }, text), 166, kGenCmdFile));
  EXPECT_EQ(text, "ORVERR166: Device operation is exclusively locked by other command");
  locks().write("PHYSICALDRIVE0", "F:4194400");
  EXPECT_TRUE(isLibStatus(failure([] { DeviceCommand command("0"); }, text), 170, kGenCmdFile));
  EXPECT_EQ(text, "ORVERR170: Parallel operation on NVMe device is not allowed");
  EXPECT_TRUE(Command("12").hasValidDevice()) << "the lock of another drive does not matter";
  locks().write("PHYSICALDRIVE0", "4194403");  // stale: removed, and the command goes on
  EXPECT_TRUE(Command("0").hasValidDevice());
  EXPECT_FALSE(locks().exists("PHYSICALDRIVE0"));

  {
    Command command("12", true);
    ASSERT_TRUE(command.hasValidDevice());
    EXPECT_EQ(locks().read("PHYSICALDRIVE12"), std::to_string(GetCurrentProcessId()));
  }
  EXPECT_FALSE(locks().exists("PHYSICALDRIVE12"));
  {
    DeviceCommand command("12");
    EXPECT_EQ(command.getSectorSize(), 512u);
    command.closeDevice();
    EXPECT_FALSE(command.hasValidDevice());
    std::string revision, model, serial;
    u64 status = command.getDeviceInfo(revision, model, serial);
    EXPECT_TRUE(isLibStatus(status, 2, kGenCmdFile));
    EXPECT_EQ(lineOf(status), 642u);
  }
  // A folder where the lock file belongs: the drive opens, its lock fails.
  std::filesystem::create_directories(locks().file("PHYSICALDRIVE0"));
  LogCapture log;
  u64 status = failure([] { Command command("0", true); }, text);
  EXPECT_TRUE(isLibStatus(status, 16, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 464u);
  EXPECT_EQ(text, "ORVERR16: File open failed (lock)");
  EXPECT_NE(log.find("File: "), nullptr);
}

TEST_F(Commands, BusAndDeviceTypeOfADrive) {
  osl_bus_type bus = OSL_BUS_NONE;
  osl_dev_type type = OSL_DEV_NONE;
  LogCapture log;
  EXPECT_EQ(DivIzuGenCmd::getBusDevType(" 12", bus, type, true), 0u);
  EXPECT_EQ(bus, OSL_BUS_SAS);
  EXPECT_EQ(type, OSL_DEV_SCSI);
  EXPECT_NE(log.find("Info: Closing Physical drive\n"), nullptr);
  u64 status = DivIzuGenCmd::getBusDevType("5", bus, type, false);
  EXPECT_TRUE(isLibStatus(status, 43, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 62u);
  locks().write("PHYSICALDRIVE12", "4194400");
  EXPECT_TRUE(isLibStatus(DivIzuGenCmd::getBusDevType("12", bus, type, true), 166, kGenCmdFile));
  EXPECT_EQ(DivIzuGenCmd::getBusDevType("12", bus, type, false), 0u);
}

// The records of a device list, one a line: name, number, serial, bus,
// type, medium, usable, locked, filled, unit status, model and revision.
std::string listed(DivIzuDevList& command, u64& status) {
  status = command.execute();
  std::string text;
  for (auto r = command.devBegin(); r != command.devEnd(); ++r)
    text += std::string(r->deviceName) + " #" + std::to_string(r->deviceNumber) + " " + r->serialNumber + " " +
            std::to_string(r->commandBus) + "/" + std::to_string(r->deviceType) + " m" + std::to_string(r->medium) +
            " u" + std::to_string(r->usable) + " l" + std::to_string(r->locked) + " f" +
            std::to_string((r->state & VazidaRaduru::ORV_STATE_FILLED) != 0) + " s" + std::to_string(r->unitStatus) +
            " " + r->modelNumber + " " + r->firmwareRevision + (r->maxTransferLength ? "" : " no-transfer") + "\n";
  return text;
}

const char kMixedDrives[] = R"({"processes": [{"pid": 4194400, "image": "C:\\Tools\\RARAVID.exe"}],
  "drives": [
    {"bus": "sata", "model": "MODEL A", "serial": "S1", "firmware": "REV00001"},
    {"bus": "sat", "model": "MODEL A", "serial": "S2", "firmware": "REV00001", "rotational": true},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001", "number": 5}]})";

TEST_F(Commands, DeviceListInDeviceNumberOrder) {
  load(kMixedDrives);
  DivIzuDevList command;
  u64 status = 1;
  // The drives were probed: their records are filled from IDENTIFY and INQUIRY.
  const std::string all =
      "PHYSICALDRIVE0 #0 S1 1/1 m1 u1 l0 f1 s1 MODEL A REV00001\n"
      "PHYSICALDRIVE1 #1 S2 3/1 m2 u1 l0 f1 s1 MODEL A REV00001\n"
      "PHYSICALDRIVE5 #5 S3 3/2 m1 u1 l0 f1 s1 MODEL B R001\n";
  EXPECT_EQ(listed(command, status), all);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(command.devCount(), 3u);
  // The probes take the senders' own time-outs, besides the list's.
  std::set<ULONG> timeouts;
  for (const winsim::StorageRequest& request : winsim::storageTrace())
    if (request.name.find("PASS_THROUGH") != std::string::npos) timeouts.insert(request.timeout);
  EXPECT_EQ(timeouts, (std::set<ULONG>{5, 10, 30, 86400}));
  EXPECT_FALSE(command.isSupportedDrive());
  EXPECT_EQ(listed(command, status), all) << "each run lists afresh";

  // Filtered by type or by name.
  DivIzuDevList ata("", OSL_DEV_ATA, 5);
  EXPECT_EQ(listed(ata, status), all.substr(0, all.rfind("PHYSICALDRIVE5")));
  EXPECT_EQ(status, 0u);
  DivIzuDevList nvme("", OSL_DEV_NVME, 5);
  EXPECT_EQ(listed(nvme, status), "");
  EXPECT_EQ(status, 0u);
  DivIzuDevList named("5", OSL_DEV_NONE, 5);
  EXPECT_EQ(listed(named, status), all.substr(all.rfind("PHYSICALDRIVE5")));
  DivIzuDevList missing("4", OSL_DEV_NONE, 5);
  EXPECT_EQ(listed(missing, status), "");
  EXPECT_TRUE(isLibStatus(status, 43, kDevListFile));
  EXPECT_EQ(lineOf(status), 236u);
  // A named drive that could not be read answers that failure.
  load(std::string(kMixedDrives, sizeof kMixedDrives - 2) + R"(, "faults": [{"scsi": 18, "page": 128, "times": 1}]})");
  DivIzuDevList unread("5", OSL_DEV_NONE, 5);
  EXPECT_EQ(listed(unread, status), "PHYSICALDRIVE5 #5 S3 3/2 m1 u1 l0 f0 s1 MODEL B R001 no-transfer\n");
  EXPECT_EQ(orv_status_code(status), ORV_ERR_SCSI_INQUIRY);
  load(kMixedDrives);

  // A locked drive is listed without a probe; a forced lock does not keep
  // the drive from being probed.
  locks().write("PHYSICALDRIVE5", "4194400");
  locks().write("PHYSICALDRIVE1", "F:4194400");
  LogCapture log;
  EXPECT_EQ(listed(command, status), all.substr(0, all.rfind("PHYSICALDRIVE5")) +
                                         "PHYSICALDRIVE5 #5 S3 3/2 m1 u1 l1 f0 s0 MODEL B R001 no-transfer\n");
  EXPECT_EQ(log.find("Info: Opening Physical drive: PHYSICALDRIVE5"), nullptr) << log.text();
  EXPECT_NE(log.find("Info: Opening Physical drive: PHYSICALDRIVE1"), nullptr) << log.text();
}

TEST_F(Commands, DeviceListNamesTheDrivesItCouldNotRead) {
  // Drive 0's IDENTIFY is refused, drive 1 is locked by a live program;
  // the record of each keeps what the listing said.
  load(std::string(kMixedDrives).replace(std::string(kMixedDrives).rfind("]}"), 2,
                                         R"(], "faults": [{"ata": 236, "drive": 1, "times": 1},
                                                          {"setupapi": "SetupDiEnumDeviceInterfaces", "after": 2, "times": 1}]})"));
  locks().write("PHYSICALDRIVE0", "4194400");
  DivIzuDevList command;
  u64 status = 1;
  EXPECT_EQ(listed(command, status), "PHYSICALDRIVE0 #0 S1 1/1 m1 u1 l1 f0 s0 MODEL A REV00001 no-transfer\n"
                                     "PHYSICALDRIVE1 #1 S2 3/1 m2 u1 l0 f0 s0 MODEL A 0001 no-transfer\n");
  EXPECT_EQ(status, 0u);
  const std::string locked = "Device operation is exclusively locked by other command (process 4194400)";
  std::vector<std::string> records;
  for (const DivIzuDevList::UnreadDrive& drive : command.unreadRecords())
    records.push_back(drive.deviceName + "|" + drive.listedModel + "|" + std::to_string(drive.modelField) + "|" +
                      drive.reason);
  // The AHCI driver lists the whole model, the translation its 16 characters.
  EXPECT_EQ(records, (std::vector<std::string>{"PHYSICALDRIVE0|MODEL A|40|" + locked,
                                               "PHYSICALDRIVE1|MODEL A|16|ATA Identify failed"}));
  // The listing's own gap comes first.
  EXPECT_EQ(command.unreadListingCount(), 1u);
  ASSERT_EQ(command.unreadDrives().count, 3u);
  EXPECT_STREQ(command.unreadDrives().texts[0], "disk interface 2: SetupDiEnumDeviceInterfaces failed (error: 31)");
  EXPECT_EQ(command.unreadDrives().texts[1], "PHYSICALDRIVE0: " + locked);
  // The next run starts afresh.
  load(kMixedDrives);
  std::filesystem::remove(locks().file("PHYSICALDRIVE0"));
  listed(command, status);
  EXPECT_EQ(command.unreadDrives().count + command.unreadListingCount() + command.unreadRecords().size(), 0u);
}

TEST_F(Commands, DiskOfAnotherModelIsNoReasonForADrive) {
  // Two NVMe disks of a RAID driver whose controller can no longer be told
  // once the device tree fails: SCSI0:r0 is the disk of model A. Opened or
  // probed, each drive is named only with the disk that may be it.
  auto machine = [](int after) {
    return R"({"controllers": [{"kind": "csmi", "drives": [
        {"bus": "nvme", "model": "NVMe MODEL A", "serial": "D5-A", "number": 5},
        {"bus": "nvme", "model": "NVMe MODEL B", "serial": "D200-B", "number": 200}]}],
        "faults": [{"cfgmgr32": "CM_Get_Device_IDW", "after": )" +
           std::to_string(after) + "}]}";
  };
  auto disks = [](const std::string& text) {
    std::string named;
    for (const char* model : {"model_a", "model_b"})
      if (text.find(std::string("prod_nvme_") + model) != std::string::npos) named += model;
    return named;
  };
  LogCapture log;
  load(machine(2));
  u64 status = thrownStatus([] { DeviceCommand opened("SCSI0:r0"); });
  EXPECT_EQ(orv_status_code(status), 19u);
  EXPECT_EQ(disks(DivIzuGenCmd::getLastError()), "model_a") << DivIzuGenCmd::getLastError();
  // The opening and the probe judge every text, the disk at the drive's own
  // target too, by the model of every scope open: their own listing's and
  // the caller's.
  for (const char* callerModel : {"NVMe MODEL A", "NVMe MODEL B"}) {
    load(machine(3));
    osl_lookup_scope caller(nullptr, callerModel, OSL_MODEL_FIELD);
    thrownStatus([] { DeviceCommand opened("SCSI0:r0"); });
    EXPECT_EQ(disks(DivIzuGenCmd::getLastError()), callerModel[11] == 'A' ? "model_a" : "")
        << callerModel << ": " << DivIzuGenCmd::getLastError();
  }
  const struct {
    const char* callerModel;
    const char* named;
  } probes[] = {{nullptr, "SCSI0:r0 model_a\nSCSI0:r1 model_b\n"},
                {"NVMe MODEL A", "SCSI0:r0 model_a\nSCSI0:r1 \n"},
                {"NVMe MODEL C", "SCSI0:r0 \nSCSI0:r1 \n"}};
  for (const auto& probe : probes) {
    load(machine(4));
    osl_lookup_scope caller(nullptr, probe.callerModel, OSL_MODEL_FIELD);
    DivIzuDevList list;
    list.execute();
    std::string named;
    for (const DivIzuDevList::UnreadDrive& drive : list.unreadRecords())
      named += drive.deviceName + " " + disks(drive.reason) + "\n";
    EXPECT_EQ(named, probe.named) << (probe.callerModel ? probe.callerModel : "no scope");
  }

  // The opening's listing cannot tell the drive's own disk, past 16 other
  // disks of its model: its text is kept, after the count of the rest.
  std::string untoldDisks, untoldFaults;
  for (int i = 0; i < 17; ++i) {
    untoldDisks += R"({"bus": "nvme", "model": "NVMe MODEL A", "serial": "U)" + std::to_string(i) + R"(", "number": )" +
                   std::to_string(20 + i) + R"(, "target": )" + std::to_string(40 + i) + "}, ";
    untoldFaults += R"({"cfgmgr32": "CM_Get_Parent", "drive": )" + std::to_string(20 + i) + "}, ";
  }
  load(R"({"controllers": [{"kind": "csmi", "drives": [)" + untoldDisks +
       R"({"bus": "nvme", "model": "NVMe MODEL A", "serial": "S0", "number": 10, "target": 5}]}], "faults": [)" +
       untoldFaults + R"({"cfgmgr32": "CM_Get_Parent", "drive": 10, "times": 1}]})");
  thrownStatus([] { DeviceCommand opened("SCSI0:r5"); });
  std::string opening = DivIzuGenCmd::getLastError();
  EXPECT_NE(opening.find("; 2 more (see the log); \\\\?\\scsi#disk&ven_nvme&prod_nvme_model_a#4&10&"),
            std::string::npos) << opening;

  // A drive read whole tells its model from the field its identification
  // holds, not from the translation's 16 characters the listing had.
  load(R"({"drives": [{"bus": "sat", "model": "VIRTUAL DRIVE LONG NAME", "serial": "S2"}]})");
  DeviceCommand sat("0");
  EXPECT_STREQ(sat.getDevProperty().modelNumber, "VIRTUAL DRIVE LONG NAME");
  EXPECT_EQ(sat.getDevProperty().modelField, OSL_MODEL_FIELD);
}

TEST_F(Commands, FailureTextIsTheLastReadsOnly) {
  // Windows 8.1 makes the Identify Controller up from the device descriptor,
  // which fails once as the drive is read again: that read names the query.
  // A read without a device names nothing.
  load(R"({"windows": "6.3", "drives": [{"bus": "nvme", "model": "NVMe MODEL A", "serial": "N0"}],
           "faults": [{"ioctl": "IOCTL_STORAGE_QUERY_PROPERTY", "property": 0, "times": 1, "after": 4}]})");
  LogCapture log;
  DeviceCommand command("0");
  std::string revision, model, serial;
  EXPECT_EQ(orv_status_code(command.getDeviceInfo(revision, model, serial)), 19u);
  EXPECT_EQ(command.getFailureText(),
            "ORVERR19: Query on device failed (PHYSICALDRIVE0: IOCTL_STORAGE_QUERY_PROPERTY failed (error: 31))");
  command.closeDevice();
  EXPECT_EQ(lineOf(command.getDeviceInfo(revision, model, serial)), 642u);
  EXPECT_EQ(command.getFailureText(), "");
}

TEST_F(Commands, DeviceListLeavesOutUnusableDrivesAndShowsStandby) {
  // An NVMe drive whose serial number is a placeholder, on Windows 10.
  load(R"({"windows": "10.0", "drives": [{"bus": "sata", "model": "MODEL A", "serial": "S1"},
    {"bus": "sas", "vendor": "NVMe", "model": "MODEL C", "serial": "0000_0000.", "number": 1},
    {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "number": 2}]})");
  DivIzuDevList command;
  u64 status = 1;
  std::string records = listed(command, status);
  ASSERT_EQ(status, 0u);
  EXPECT_EQ(records.find("PHYSICALDRIVE1"), std::string::npos) << records;
  EXPECT_EQ(command.devCount(), 2u);
  DivIzuDevList named("1", OSL_DEV_NONE, 5);
  listed(named, status);
  EXPECT_TRUE(isLibStatus(status, 43, kDevListFile));

  // A drive that stands by is listed as not active.
  ASSERT_EQ(DivIzuDevReady("PHYSICALDRIVE0", true, 5).execute(), 0u);
  DivIzuDevList first("0", OSL_DEV_NONE, 5);
  EXPECT_EQ(listed(first, status).substr(0, 35), "PHYSICALDRIVE0 #0 S1 1/1 m1 u1 l0 f");
  EXPECT_EQ(first.devBegin()->unitStatus, 0);
  ASSERT_EQ(DivIzuDevReady("PHYSICALDRIVE0", false, 5).execute(), 0u);
  listed(first, status);
  EXPECT_EQ(first.devBegin()->unitStatus, 1);
  // Its id is taken as it is given: digits alone name no drive.
  EXPECT_EQ(orv_status_code(thrownStatus([] { DivIzuDevReady ready("0", false, 5); })), 13u);

  load("{}");
  DivIzuDevList none;
  EXPECT_EQ(orv_status_code(none.execute()), 5u);
  EXPECT_EQ(none.devCount(), 0u);
}

}  // namespace
