// Drive lock files on simulated machines: who holds a drive, which files are
// stale, taking and releasing a lock.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cmdlib/cmdlib_gencmd.h"
#include "osl/osl_platform.h"
#include "unit/lock_helpers.h"
#include "unit/log_capture.h"
#include "unit/scratch.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuGenCmd;

namespace {

constexpr u32 kGenCmdFile = 51;

class DriveLocks : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    // Process ids beyond the host's largest: the machine's table decides.
    load(R"({"processes": [{"pid": 4194400, "image": "C:\\Program Files\\ORVENTA\\Vormel.EXE"},
                            {"pid": 4194401, "image": "D:\\tools\\raravid.exe"},
                            {"pid": 4194402, "image": "D:\\tools\\VORMEL2.exe"}]})");
  }

  LockFolder locks() const { return LockFolder(scratch_.path() + "/programdata"); }
  void writeLock(const std::string& name, const std::string& text) const { locks().write(name, text); }
  std::string readLock(const std::string& name) const { return locks().read(name); }
  bool exists(const std::string& name) const { return locks().exists(name); }

  // The test's answer for the lock file of PHYSICALDRIVE0 holding text.
  u64 test(const std::string& text, std::string* owner = nullptr) {
    writeLock("PHYSICALDRIVE0", text);
    std::string holder = "junk";
    u64 status = LockingCommand::isDevOpLocked("PHYSICALDRIVE0", holder);
    if (owner) *owner = holder;
    return status;
  }

  static u32 lineOf(u64 word) { return static_cast<u32>((word >> 32) & 0xFFFF); }
};

TEST_F(DriveLocks, LiveProgramsOfTheSystemHoldTheirDrives) {
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
  EXPECT_EQ(readLock("PHYSICALDRIVE0"), "4194401");
}

TEST_F(DriveLocks, TheCurrentProcessIsListedByItsImage) {
  // This test program is no program of the system: its own lock is stale.
  std::string own = std::to_string(GetCurrentProcessId());
  EXPECT_EQ(test(own), 0u);
  EXPECT_FALSE(exists("PHYSICALDRIVE0"));
  // The machine's table may give it the system's image name.
  load(R"({"processes": [{"pid": )" + own + R"(, "image": "C:\\x\\VORMEL.exe"}]})");
  EXPECT_TRUE(isLibStatus(test(own), 166, kGenCmdFile));
}

TEST_F(DriveLocks, StaleFilesAreRemovedAndOddSizesLeftAlone) {
  struct Case {
    const char* what;
    std::string text;
    bool kept;
  } cases[] = {
      {"ended process", "4194403", false},
      {"another program", "4194402", false},
      {"no number", "abc", false},
      {"prefix alone", "F:", false},
      {"number and text", "4194400x", false},
      {"empty file", "", true},
      {"thirteen bytes", "4194400123456", true},
  };
  for (const Case& c : cases) {
    std::string owner;
    EXPECT_EQ(test(c.text, &owner), 0u) << c.what;
    EXPECT_EQ(owner, "") << c.what;
    EXPECT_EQ(exists("PHYSICALDRIVE0"), c.kept) << c.what;
  }
  std::string owner;
  std::filesystem::remove(locks().file("PHYSICALDRIVE0"));
  EXPECT_EQ(LockingCommand::isDevOpLocked("PHYSICALDRIVE0", owner), 0u);
}

TEST_F(DriveLocks, UnreadableLockFileFailsTheTest) {
  LogCapture log;
  writeLock("PHYSICALDRIVE0", "4194400");
  std::string path = locks().file("PHYSICALDRIVE0").string();
  FILE* holder = _fsopen(path.c_str(), "r", _SH_DENYRW);
  ASSERT_NE(holder, nullptr);
  std::string owner;
  u64 status = LockingCommand::isDevOpLocked("PHYSICALDRIVE0", owner);
  std::fclose(holder);
  EXPECT_TRUE(isLibStatus(status, 16, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 518u);
  std::string shown = scratch_.path() + "/programdata\\ORVENTA\\VORMEL\\lock\\PHYSICALDRIVE0";
  const LoggedLine* line = log.find("File: " + shown + " couldn't be opened (Error: [");
  ASSERT_NE(line, nullptr) << log.text();
  EXPECT_EQ(line->level, 3);
}

TEST_F(DriveLocks, TakingALockAndGivingItBack) {
  std::string own = std::to_string(GetCurrentProcessId());
  {
    LockingCommand command("SCSI1:r0");
    ASSERT_EQ(command.forceOpLock(), 0u);
    EXPECT_TRUE(command.holdsLock());
    EXPECT_EQ(readLock("SCSI1_r0"), own);
    EXPECT_EQ(command.forceOpLock(), 0u);  // held already
  }
  EXPECT_FALSE(exists("SCSI1_r0"));

  LockingCommand aborted("PHYSICALDRIVE3");
  ASSERT_EQ(aborted.forceOpLock(), 0u);
  EXPECT_EQ(aborted.abort(nullptr), 0u);
  EXPECT_FALSE(exists("PHYSICALDRIVE3"));
}

TEST_F(DriveLocks, ALiveHoldersLockIsNeverOverwritten) {
  for (std::string held : {"4194400", "F:4194401"}) {
    writeLock("PHYSICALDRIVE1", held);
    LockingCommand command("PHYSICALDRIVE1");
    u64 status = command.forceOpLock();
    EXPECT_TRUE(isLibStatus(status, held[0] == 'F' ? 170 : 166, kGenCmdFile)) << held;
    EXPECT_FALSE(command.holdsLock());
    EXPECT_EQ(readLock("PHYSICALDRIVE1"), held);
  }
  // Leaving does not remove the holder's file either.
  EXPECT_EQ(readLock("PHYSICALDRIVE1"), "F:4194401");
}

TEST_F(DriveLocks, OnlyTheOwnLockIsRemoved) {
  {
    LockingCommand command("PHYSICALDRIVE4");
    ASSERT_EQ(command.forceOpLock(), 0u);
    // Meanwhile another program found the lock stale and took the drive.
    writeLock("PHYSICALDRIVE4", "4194400");
  }
  EXPECT_EQ(readLock("PHYSICALDRIVE4"), "4194400");
}

TEST_F(DriveLocks, AnOwnLockThatCannotBeRemovedStaysTaken) {
  LockingCommand command("PHYSICALDRIVE5");
  ASSERT_EQ(command.forceOpLock(), 0u);
  std::string path = locks().file("PHYSICALDRIVE5").string();
  FILE* holder = _fsopen(path.c_str(), "r", _SH_DENYRW);
  ASSERT_NE(holder, nullptr);
  u64 status = command.forceOpUnlock();
  std::fclose(holder);
  EXPECT_TRUE(isLibStatus(status, 17, kGenCmdFile));
  EXPECT_EQ(lineOf(status), 489u);
  EXPECT_TRUE(command.holdsLock());
  EXPECT_TRUE(exists("PHYSICALDRIVE5"));
  EXPECT_EQ(command.forceOpUnlock(), 0u);
  EXPECT_FALSE(command.holdsLock());
  EXPECT_FALSE(exists("PHYSICALDRIVE5"));
}

TEST_F(DriveLocks, LockFolderFailureIsReturned) {
  load(R"({"programdata": null})");
  LockingCommand command("PHYSICALDRIVE0");
  EXPECT_EQ(orv_status_code(command.forceOpLock()), 21u);
  std::string owner;
  EXPECT_EQ(orv_status_code(LockingCommand::isDevOpLocked("PHYSICALDRIVE0", owner)), 21u);
}

}  // namespace
