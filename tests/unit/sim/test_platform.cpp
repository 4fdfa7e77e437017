// The platform utilities on simulated machines: the administrator answer, the
// machine's program-data folder, its process table, the event-log reports
// and termination signals that arrive while the log mutex is held.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "cmdlib/cmdlib_pkg.h"
#include "osl/orv_status.h"
#include "osl/osl_file.h"
#include "osl/osl_log.h"
#include "osl/osl_mutex.h"
#include "osl/osl_util.h"
#include "unit/scratch.h"
#include "unit/status_check.h"
#include "winsim/machine.h"
#include "winsim/winsim_test.h"

namespace {

class SimulatedMachine : public ::testing::Test {
 protected:
  void SetUp() override { winsim::clearEvents(); }
  void TearDown() override {
    winsim::Machine::load("");
    winsim::setEventLogAvailable(true);
  }

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

TEST_F(SimulatedMachine, EventLogLevelChoosesTypeAndIdAndTextArrivesWhole) {
  const struct {
    int level;
    WORD type;
    DWORD id;
  } cases[] = {{1, 1, 0xC0020001}, {2, 1, 0xC0020001}, {3, 1, 0xC0020001}, {4, 2, 0x80020002}, {5, 2, 0x80020002},
               {0, 4, 0x40020003}, {6, 4, 0x40020003}, {7, 4, 0x40020003}, {9, 4, 0x40020003}};
  for (const auto& c : cases) {
    winsim::clearEvents();
    osl_event_printf(c.level, "level %d", c.level);
    ASSERT_EQ(winsim::events().size(), 1u) << c.level;
    const winsim::EventRecord& event = winsim::events()[0];
    EXPECT_EQ(event.source, "VEDIZO_DUREVERAZE");
    EXPECT_EQ(event.type, c.type) << c.level;
    EXPECT_EQ(event.eventId, c.id) << c.level;
    EXPECT_EQ(event.category, 0);
    ASSERT_EQ(event.strings.size(), 1u);
    EXPECT_EQ(event.strings[0], "level " + std::to_string(c.level));
  }
  std::string longText(5000, 'z');
  osl_event_printf(6, "%s\xC3\xA9", longText.c_str());
  EXPECT_EQ(winsim::events().back().strings[0], longText + "\xC3\xA9");
  winsim::setEventLogAvailable(false);
  osl_event_printf(3, "lost\n");
  EXPECT_EQ(winsim::events().size(), 2u);
}

// Package files beyond what every host can make cheaply: images of more
// than 4 GiB and a second name of the input file.
TEST_F(SimulatedMachine, PackageFilesBeyondFourGibibytesOrOfTwoNames) {
  using DivizuCmdlib::DivIzuPkg;
  std::string image = scratch_.write("big.bin", "x");
  std::filesystem::resize_file(image, 0x100000000ull);  // sparse
  u64 status = thrownStatus([&] {
    DivIzuPkg maker("", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", "");
  });
  EXPECT_TRUE(isLibStatus(status, 4, 54));
  EXPECT_EQ(DivizuCmdlib::DivIzuGenCmd::getLastError(),
            "ORVERR4: Invalid Firmware File Size (firmware_image_path)");
  // Grown after the package maker was made: refused when packing.
  std::filesystem::resize_file(image, 16);
  DivIzuPkg maker("p.bin", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", "");
  std::filesystem::resize_file(image, 0x100000001ull);
  EXPECT_TRUE(isLibStatus(maker.execute(), 4, 54));
  EXPECT_FALSE(scratch_.exists("p.bin"));

  image = scratch_.write("drive-fw.bin", "VDRVFWIMREV00002 image bytes");
  std::filesystem::create_hard_link(image, std::filesystem::path(scratch_.path()) / "alias.bin");
  DivIzuPkg aliased("alias.bin", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", "");
  EXPECT_TRUE(isLibStatus(aliased.execute(), 16, 54));
  EXPECT_EQ(scratch_.read("drive-fw.bin"), "VDRVFWIMREV00002 image bytes");
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
