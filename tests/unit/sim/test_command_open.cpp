// Commands opening drives on simulated machines: drive ids, the drive list,
// lock files and the last-error text of a constructor that fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cmdlib/cmdlib_gencmd.h"
#include "unit/lock_helpers.h"
#include "unit/log_capture.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuCmd;
using DivizuCmdlib::DivIzuGenCmd;
using VazidaRaduru::_OrvDevProperty;

namespace {

constexpr u32 kGenCmdFile = 51;

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

u32 lineOf(u64 word) { return static_cast<u32>((word >> 32) & 0xFFFF); }

class CommandOpening : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    load(R"({"processes": [{"pid": 4194400, "image": "C:\\Tools\\VORMEL.exe"}],
             "drives": [
               {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S3", "firmware": "R001",
                "partitions": {"style": "gpt", "count": 1}},
               {"bus": "sas", "vendor": "MAKER", "model": "MODEL B", "serial": "S5", "firmware": "R001",
                "number": 12}]})");
  }

  LockFolder locks() const { return LockFolder(scratch_.path() + "/programdata"); }
  std::filesystem::path lockFile(const std::string& name) const { return locks().file(name); }
  void writeLock(const std::string& name, const std::string& text) const { locks().write(name, text); }

  // The word a command's constructor throws, and the last-error text.
  template <typename Make>
  u64 failure(Make make, std::string& text) {
    u64 status = thrownStatus(make);
    text = DivIzuGenCmd::getLastError();
    return status;
  }
};

TEST_F(CommandOpening, DriveIdsAreNormalised) {
  struct Case {
    const char* id;
    const char* normalised;
  } cases[] = {{"0", "PHYSICALDRIVE0"}, {"  12 ", "PHYSICALDRIVE12"}, {"physicaldrive0", "physicaldrive0"}};
  for (const Case& c : cases) {
    Command command(c.id);
    EXPECT_EQ(command.getDeviceId(), c.normalised);
    EXPECT_TRUE(command.hasValidDevice()) << c.id;
    EXPECT_EQ(command.getBusType(), OSL_BUS_SAS);
    EXPECT_EQ(command.getDeviceType(), OSL_DEV_SCSI);
  }
  Command command("12");
  _OrvDevProperty property = command.getDevProperty();
  EXPECT_STREQ(property.deviceName, "PHYSICALDRIVE12");
  EXPECT_STREQ(property.serialNumber, "S5");
  EXPECT_EQ(property.usable, 1);
  EXPECT_EQ(property.commandBus, OSL_BUS_SAS);
  EXPECT_TRUE(command.hasActivePartition() == false);
  EXPECT_TRUE(Command("0").hasActivePartition());
}

TEST_F(CommandOpening, CommandsWithoutADrive) {
  Command blank("   ");
  EXPECT_EQ(blank.getDeviceId(), "");
  EXPECT_FALSE(blank.hasValidDevice());
  EXPECT_EQ(blank.getBusType(), OSL_BUS_NONE);
  EXPECT_EQ(blank.getDeviceType(), OSL_DEV_NONE);
  EXPECT_EQ(blank.setIgnoreError(), 0u);
  u64 status = thrownStatus([&] { blank.hasActivePartition(); });
  EXPECT_TRUE(isLibStatus(status, 2, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 326u);

  std::string text;
  status = failure([] { DeviceCommand command(" "); }, text);
  EXPECT_TRUE(isLibStatus(status, 43, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 629u);
  EXPECT_EQ(text, "ORVERR43: Unsupported device type");

  struct Case {
    const char* id;
    u32 line;
  } cases[] = {{"3", 192}, {"SCSI0:r1", 192}, {"PHYSICALDRIVE123456", 109}, {"PHYSICALDRIVE12345", 192}};
  for (const Case& c : cases) {
    status = failure([&] { Command command(c.id); }, text);
    EXPECT_TRUE(isLibStatus(status, 43, kGenCmdFile)) << c.id;
    EXPECT_EQ(lineOf(status), c.line) << c.id;
  }
}

TEST_F(CommandOpening, LockedDrivesAreRefused) {
  std::string text;
  writeLock("PHYSICALDRIVE0", "4194400");
  u64 status = failure([] { Command command("0"); }, text);
  EXPECT_TRUE(isLibStatus(status, 166, kGenCmdFile));
  EXPECT_EQ(text, "ORVERR166: Device operation is exclusively locked by other command");
  writeLock("PHYSICALDRIVE0", "F:4194400");
  status = failure([] { DeviceCommand command("0"); }, text);
  EXPECT_TRUE(isLibStatus(status, 170, kGenCmdFile));
  EXPECT_EQ(text, "ORVERR170: Parallel operation on NVMe device is not allowed");
  // The lock of another drive does not matter.
  EXPECT_TRUE(Command("12").hasValidDevice());

  // A stale lock is removed and the command goes on.
  writeLock("PHYSICALDRIVE0", "4194403");
  EXPECT_TRUE(Command("0").hasValidDevice());
  EXPECT_FALSE(std::filesystem::exists(lockFile("PHYSICALDRIVE0")));
}

TEST_F(CommandOpening, ACommandThatLocksItsDrive) {
  {
    Command command("12", true);
    ASSERT_TRUE(command.hasValidDevice());
    EXPECT_EQ(locks().read("PHYSICALDRIVE12"), std::to_string(GetCurrentProcessId()));
  }
  EXPECT_FALSE(std::filesystem::exists(lockFile("PHYSICALDRIVE12")));
  {
    DeviceCommand command("12");
    command.closeDevice();
    EXPECT_FALSE(command.hasValidDevice());
  }

  // A folder where the lock file belongs: the drive opens, its lock fails.
  std::filesystem::create_directories(lockFile("PHYSICALDRIVE0"));
  LogCapture log;
  std::string text;
  u64 status = failure([] { Command command("0", true); }, text);
  EXPECT_TRUE(isLibStatus(status, 16, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 464u);
  EXPECT_EQ(text, "ORVERR16: File open failed (lock)");
  EXPECT_NE(log.find("File: "), nullptr);
}

TEST_F(CommandOpening, BusAndDeviceTypeOfADrive) {
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

  writeLock("PHYSICALDRIVE12", "4194400");
  EXPECT_TRUE(isLibStatus(DivIzuGenCmd::getBusDevType("12", bus, type, true), 166, kGenCmdFile));
  EXPECT_EQ(DivIzuGenCmd::getBusDevType("12", bus, type, false), 0u);
}

}  // namespace
