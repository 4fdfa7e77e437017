// Drive lock files in a lock folder of the test's own, on either host: taking
// and giving back a lock, stale and odd files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "osl/osl_platform.h"
#include "unit/lock_helpers.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

namespace {

class LockFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    size_t length = 0;
    char value[512] = {};
    if (getenv_s(&length, value, sizeof value, "programdata") == 0) saved_ = value;
    _putenv_s("programdata", scratch_.path().c_str());
  }
  void TearDown() override { _putenv_s("programdata", saved_.c_str()); }

  ScratchFolder scratch_;
  LockFolder locks_{scratch_.path()};
  std::string saved_;
};

TEST_F(LockFiles, TakenAndGivenBack) {
  std::string own = std::to_string(GetCurrentProcessId());
  {
    LockingCommand command("SCSI2:r1");
    ASSERT_EQ(command.forceOpLock(), 0u);
    EXPECT_EQ(locks_.read("SCSI2_r1"), own);
  }
  EXPECT_FALSE(locks_.exists(("SCSI2_r1")));
}

TEST_F(LockFiles, StaleAndOddFilesGiveWay) {
  std::string own = std::to_string(GetCurrentProcessId());
  // This test program is no program of the system, and the other process
  // does not run.
  for (std::string held : {own, std::string("F:2147483644"), std::string("junk"), std::string(""),
                           std::string("1234567890123")}) {
    locks_.write("PHYSICALDRIVE7", held);
    std::string owner;
    EXPECT_EQ(LockingCommand::isDevOpLocked("PHYSICALDRIVE7", owner), 0u) << held;
    LockingCommand command("PHYSICALDRIVE7");
    ASSERT_EQ(command.forceOpLock(), 0u) << held;
    EXPECT_EQ(locks_.read("PHYSICALDRIVE7"), own);
    EXPECT_EQ(command.forceOpUnlock(), 0u);
    EXPECT_FALSE(locks_.exists(("PHYSICALDRIVE7")));
  }
}

}  // namespace
