#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "osl/orv_status.h"
#include "osl/osl_file.h"
#include "osl/osl_mutex.h"
#include "osl/osl_thread.h"
#include "osl/osl_util.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

namespace {

void expectUtilWord(u64 word, u32 code) { expectOslWord(word, kUtilFile, code); }

TEST(ProcessName, ImageBaseNameWithoutExe) {
  char name[256];
  ASSERT_EQ(osl_get_process_name(GetCurrentProcessId(), name), 0u);
  EXPECT_STREQ(name, "test_util");
  expectUtilWord(osl_get_process_name(0, name), 1);
}

// The program-data folder of a test: set for its lifetime, then restored.
class ProgramData : public ::testing::Test {
 protected:
  void SetUp() override {
    size_t length = 0;
    getenv_s(&length, saved_, sizeof saved_, "programdata");
    _putenv_s("programdata", scratch_.path().c_str());
  }
  void TearDown() override { _putenv_s("programdata", saved_); }

  ScratchFolder scratch_;
  char saved_[OSL_PATH_SIZE] = {};
};

TEST_F(ProgramData, LockPathMadeLevelByLevel) {
  char out[OSL_PATH_SIZE];
  ASSERT_EQ(osl_get_lock_path("x\\y\\PHYSICALDRIVE0", out), 0u);
  std::string lockFolder = scratch_ / "ORVENTA\\VORMEL\\lock";
  EXPECT_EQ(std::string(out), lockFolder + "\\PHYSICALDRIVE0");
  EXPECT_EQ(osl_dir_exists((scratch_ / "ORVENTA").c_str()), 0u);
  EXPECT_EQ(osl_dir_exists((scratch_ / "ORVENTA\\VORMEL").c_str()), 0u);
  EXPECT_EQ(osl_dir_exists(lockFolder.c_str()), 0u);
  ASSERT_EQ(osl_get_lock_path("SCSI0:r1", out), 0u);  // the folders exist now
  EXPECT_EQ(std::string(out), lockFolder + "\\SCSI0:r1");
  EXPECT_EQ(osl_make_lock_dir(out), 0u);
  EXPECT_EQ(std::string(out), lockFolder);
  // The longest name that fits leaves room for the terminator.
  std::string longest(254 - lockFolder.size(), 'n');
  ASSERT_EQ(osl_get_lock_path(longest.c_str(), out), 0u);
  EXPECT_EQ(std::string(out), lockFolder + "\\" + longest);
  expectUtilWord(osl_get_lock_path((longest + "n").c_str(), out), 6);
}

TEST_F(ProgramData, TextsThatDoNotFitAreRefused) {
  char out[OSL_PATH_SIZE];
  expectUtilWord(osl_get_lock_path(std::string(255, 'n').c_str(), out), 6);
  std::string deep(256 - 20 - scratch_.path().size(), 'd');
  _putenv_s("programdata", (scratch_ / deep).c_str());
  expectUtilWord(osl_make_lock_dir(out), 6);
  std::string tooLong(300, 'p');
  _putenv_s("programdata", tooLong.c_str());
  expectUtilWord(osl_get_programdata_path(out), 6);
}

TEST_F(ProgramData, MissingVariable) {
  _putenv_s("programdata", "");
  char out[OSL_PATH_SIZE];
  expectUtilWord(osl_get_programdata_path(out), 21);
  expectUtilWord(osl_make_lock_dir(out), 21);
}

TEST(SystemErrorText, TextOfTheOperatingSystem) {
  char text[256];
  ASSERT_EQ(osl_get_sys_error_text(5, text, sizeof text), 0u);
  EXPECT_NE(std::strstr(text, "denied"), nullptr) << text;
  expectUtilWord(osl_get_sys_error_text(5, text, 255), 6);
}

TEST(ProcessMutex, NoneUntilCreatedThenRecursiveForItsOwner) {
  expectOslWord(osl_thread_error_status(), kThreadFile, 1);
  for (u64 (*call)() : {osl_mutex_lock, osl_mutex_unlock, osl_mutex_error_status}) expectOslWord(call(), kMutexFile, 1);
  ASSERT_EQ(osl_mutex_create(), 0u);
  EXPECT_EQ(osl_mutex_lock(), 0u);
  EXPECT_EQ(osl_mutex_lock(), 0u);
  EXPECT_EQ(osl_mutex_unlock(), 0u);
  EXPECT_EQ(osl_mutex_unlock(), 0u);
  expectOslWord(osl_mutex_unlock(), kMutexFile, 1);  // not held any more
  osl_mutex_close();
  expectOslWord(osl_mutex_lock(), kMutexFile, 1);
}

}  // namespace
