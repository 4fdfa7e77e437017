// The platform utilities on simulated machines: the administrator answer, the
// machine's program-data folder, its process table, the event-log reports
// and termination signals that arrive while the log mutex is held.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "osl/orv_status.h"
#include "osl/osl_file.h"
#include "osl/osl_mutex.h"
#include "osl/osl_util.h"
#include "unit/scratch.h"
#include "winsim/machine.h"
#include "winsim/winsim_test.h"

namespace {

class SimulatedMachine : public ::testing::Test {
 protected:
  void SetUp() override { winsim::clearEvents(); }
  void TearDown() override { winsim::Machine::load(""); }

  void load(const std::string& json) {
    winsim::Machine::load(scratch_.write("machine.json", json));
  }

  ScratchFolder scratch_;
};

TEST_F(SimulatedMachine, AdministratorAnswerFromTheDescription) {
  load(R"({"admin": true})");
  EXPECT_EQ(osl_is_not_admin(), 0u);
  load(R"({"admin": false})");
  EXPECT_EQ(osl_is_not_admin(), 1u);
  load("{}");
  EXPECT_EQ(osl_is_not_admin(), 0u);
}

TEST_F(SimulatedMachine, ProgramDataFolderOfItsOwn) {
  load("{}");
  char out[OSL_PATH_SIZE];
  ASSERT_EQ(osl_get_lock_path("PHYSICALDRIVE1", out), 0u);
  std::string folder = (std::filesystem::path(scratch_.path()) / "programdata").string();
  EXPECT_EQ(std::string(out), folder + "\\ORVENTA\\VORMEL\\lock\\PHYSICALDRIVE1");
  EXPECT_TRUE(scratch_.exists("programdata/ORVENTA/VORMEL/lock"));

  load(R"({"programdata": "data/pd"})");
  ASSERT_EQ(osl_get_programdata_path(out), 0u);
  EXPECT_EQ(std::string(out), (std::filesystem::path(scratch_.path()) / "data/pd").string());
  EXPECT_TRUE(scratch_.exists("data/pd"));
}

TEST_F(SimulatedMachine, MissingProgramDataIsReportedToTheEventLog) {
  load(R"({"programdata": null})");
  char out[OSL_PATH_SIZE];
  EXPECT_EQ(orv_status_code(osl_get_lock_path("PHYSICALDRIVE0", out)), 21u);
  ASSERT_EQ(winsim::events().size(), 1u);
  EXPECT_EQ(winsim::events()[0].type, 1);
  EXPECT_EQ(winsim::events()[0].strings[0], "Environment variable (programdata) not found!\n");
}

TEST_F(SimulatedMachine, ProcessNamesFromTheProcessTable) {
  load(R"({"processes": [{"pid": 4194400, "image": "D:\\Tools\\UPDATER.EXE"},
                          {"pid": 4194401, "image": "D:\\x\\tool.bin"},
                          {"pid": 4194402, "image": "RARAVID.exe"}]})");
  char name[256];
  ASSERT_EQ(osl_get_process_name(4194400, name), 0u);
  EXPECT_STREQ(name, "UPDATER");
  ASSERT_EQ(osl_get_process_name(4194401, name), 0u);
  EXPECT_STREQ(name, "tool.bin");
  ASSERT_EQ(osl_get_process_name(4194402, name), 0u);
  EXPECT_STREQ(name, "RARAVID");
  // Beyond the host's largest process id: no such process.
  EXPECT_EQ(orv_status_code(osl_get_process_name(4194403, name)), 1u);
}

TEST_F(SimulatedMachine, FileOpenAndCloseFailuresAreReported) {
  load("{}");
  EXPECT_EQ(osl_fopen((scratch_ / "a.txt").c_str(), 0), nullptr);
  std::string missing = scratch_ / "none\\a.txt";
  EXPECT_EQ(osl_fopen(missing.c_str(), OSL_FILE_READ), nullptr);
  ASSERT_EQ(winsim::events().size(), 2u);
  EXPECT_EQ(winsim::events()[0].type, 1);
  EXPECT_EQ(winsim::events()[0].eventId, 0xC0020001u);
  EXPECT_EQ(winsim::events()[0].strings[0].rfind("File: " + scratch_ / "a.txt" + " couldn't be opened (Error: [", 0), 0u);
  EXPECT_EQ(winsim::events()[1].strings[0], "File: " + missing + " couldn't be opened (Error: [2])\n");
}

// A termination signal that arrives while the log mutex is held waits for its
// release, as a Windows handler thread waits for the owner; the handler can
// then take the mutex itself.
int handlerRuns = 0;
u64 handlerLock = ~0ull;
u64 handlerUnlock = ~0ull;

void onSignal(int) {
  ++handlerRuns;
  handlerLock = osl_mutex_lock();
  handlerUnlock = osl_mutex_unlock();
}

TEST(TerminationSignal, WaitsForTheLogMutex) {
  struct sigaction action = {};
  action.sa_handler = onSignal;
  struct sigaction previous;
  ASSERT_EQ(sigaction(SIGTERM, &action, &previous), 0);
  ASSERT_EQ(osl_mutex_create(), 0u);

  ASSERT_EQ(osl_mutex_lock(), 0u);
  raise(SIGTERM);
  EXPECT_EQ(handlerRuns, 0);
  ASSERT_EQ(osl_mutex_lock(), 0u);
  ASSERT_EQ(osl_mutex_unlock(), 0u);
  EXPECT_EQ(handlerRuns, 0);  // still held once
  ASSERT_EQ(osl_mutex_unlock(), 0u);
  EXPECT_EQ(handlerRuns, 1);
  EXPECT_EQ(handlerLock, 0u);
  EXPECT_EQ(handlerUnlock, 0u);

  raise(SIGTERM);  // with the mutex free the handler runs at once
  EXPECT_EQ(handlerRuns, 2);
  osl_mutex_close();
  sigaction(SIGTERM, &previous, nullptr);
}

}  // namespace
