// The application's options, printers and log, in this test's process.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/divizu_applog.h"
#include "app/main.h"
#include "osl/orv_status.h"
#include "osl/osl_log.h"
#include "unit/scratch.h"

namespace {

// First in this program: the log's levels before the log is set up.
TEST(AppLogBeforeInit, DebugLinesReachTheConsole) {
  applog_open_slots();
  testing::internal::CaptureStdout();
  applog_debug("early %d\n", 1);
  applog_empty_slots();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "early 1\n");
}

// parseOptions over a fresh state; the program name comes first.
AppState parsed(std::vector<std::string> options) {
  appState = AppState();
  options.insert(options.begin(), "VORMEL.exe");
  std::vector<char*> arguments;
  for (auto& option : options) arguments.push_back(&option[0]);
  EXPECT_EQ(parseOptions(static_cast<int>(arguments.size()), arguments.data()), 0);
  AppState result = appState;
  appState = AppState();
  return result;
}

TEST(Options, SilentNomodelAndLogPath) {
  const struct {
    std::vector<std::string> options;
    bool silent, nomodel;
    const char* logPath;
  } cases[] = {
      {{"/s"}, true, false, ""}, {{"/S"}, true, false, ""}, {{"/nomodel", "/S"}, true, true, ""},
      {{"/sx"}, false, false, ""}, {{"/s "}, false, false, ""}, {{"/Silent"}, false, false, ""}, {{}, false, false, ""},
      {{"/NoModel"}, false, true, ""}, {{"/NOMODEL"}, false, true, ""}, {{"/nomodels"}, false, false, ""},
      {{"/x", "-s", "nomodel", "/log", "/s=1", "/logx=a.log"}, false, false, ""},
      {{"/log=C:\\logs\\run.log"}, false, false, "C:\\logs\\run.log"}, {{"/LOG=x.log"}, false, false, "x.log"},
      {{"/Log=\"C:\\a b\\run.log\""}, false, false, "C:\\a b\\run.log"},
      // A value whose only quote is its last character loses its first and
      // last; a value left empty selects the default name.
      {{"/log=C:\\dir\\x.log\""}, false, false, ":\\dir\\x.log"}, {{"/log=a\""}, false, false, ""},
      {{"/log="}, false, false, ""}, {{"/log=first.log", "/log=second.log"}, false, false, "second.log"},
  };
  for (const auto& c : cases) {
    AppState state = parsed(c.options);
    std::string label = c.options.empty() ? "" : c.options[0];
    EXPECT_EQ(state.silent, c.silent) << label;
    EXPECT_EQ(state.nomodel, c.nomodel) << label;
    EXPECT_EQ(state.logPath, c.logPath) << label;
  }
  char* none[] = {nullptr};
  EXPECT_EQ(parseOptions(0, none), 1);
}

TEST(TypeNames, BusAndDeviceTypes) {
  const char* buses[] = {"UNKNOWN", "ATA", "ATA", "SCSI", "SCSI", "RAID", "SCSI", "PCIe", "CSMI", "RAID", "UNKNOWN"};
  for (u32 bus = 0; bus <= 10; ++bus) EXPECT_STREQ(busTypeName(bus), buses[bus]) << bus;
  EXPECT_STREQ(busTypeName(255), "UNKNOWN");
  const char* devices[] = {"UNKNOWN", "ATA", "SCSI", "NVMe", "UNKNOWN"};
  for (u32 device = 0; device <= 4; ++device) EXPECT_STREQ(devTypeName(device), devices[device]) << device;
}

// The log of one test, in a scratch folder; closed and emptied afterwards.
class AppLog : public ::testing::Test {
 protected:
  void SetUp() override { appState = AppState(); }
  void TearDown() override {
    applog_empty_slots();
    appState.silent = true;  // nothing more on the console
    applog_close(0);
    appState = AppState();
  }

  std::string logText() const { return scratch_.read("run.log"); }
  std::string logPath() const { return scratch_ / "run.log"; }

  ScratchFolder scratch_;
};

// Text-mode files end their lines with CR LF on Windows.
std::string inFile(const std::string& text) {
  std::string file;
  for (char c : text) {
    if (c == '\n' && !OSL_SIMULATED) file += '\r';
    file += c;
  }
  return file;
}

TEST_F(AppLog, LibraryLinesByLevelAndSlot) {
  ASSERT_EQ(applog_init(6, 6, logPath().c_str()), 0u);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  osl_log(OSL_LOG_ERROR, "Error: slots empty %d\n", 1);
  applog_open_slots();
  osl_log(OSL_LOG_ERROR, "Error: IOCTL Failure: (error: %u)\n", 1117u);
  osl_log(OSL_LOG_INFO, "Info: Opening Physical drive: %s\n", "PHYSICALDRIVE0");
  osl_log(OSL_LOG_DEBUG, "Debug: dropped\n");
  applog_empty_slots();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Info: Opening Physical drive: PHYSICALDRIVE0\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: IOCTL Failure: (error: 1117)\n");
  EXPECT_EQ(logText(), inFile("Error: slots empty 1\nError: IOCTL Failure: (error: 1117)\n"
                              "Info: Opening Physical drive: PHYSICALDRIVE0\n"));
}

TEST_F(AppLog, LowerLevelsKeepLinesFromFileAndConsole) {
  ASSERT_EQ(applog_init(9, 2, logPath().c_str()), 0u);  // the file level stops at 6
  applog_open_slots();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  osl_log(OSL_LOG_ERROR, "Error: file only\n");
  osl_log(OSL_LOG_CRITICAL, "Critical: both\n");
  applog_empty_slots();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Critical: both\n");
  EXPECT_EQ(logText(), inFile("Error: file only\nCritical: both\n"));
}

TEST_F(AppLog, PrintersHandTextOnAsData) {
  ASSERT_EQ(applog_init(6, 6, logPath().c_str()), 0u);
  testing::internal::CaptureStdout();
  appPrintf(true, false, "%s", "100%d %s\n");  // slots empty: the file only
  applog_open_slots();
  appPrintf(true, false, "line %d\n", 2);
  EXPECT_EQ(appPrintText("as is %s\n", true, false, false), 9);
  applog_printf_file("file %s\n", "only");
  applog_empty_slots();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "line 2\nas is %s\n");
  EXPECT_EQ(logText(), inFile("100%d %s\nline 2\nas is %s\nfile only\n"));
}

TEST_F(AppLog, LongTextIsCutAt1023Characters) {
  ASSERT_EQ(applog_init(6, 6, logPath().c_str()), 0u);
  std::string longText(3000, 'w');
  appPrintf(true, false, "%s", longText.c_str());
  EXPECT_EQ(logText(), std::string(1023, 'w'));
}

TEST_F(AppLog, DebugLinesAndCompletedCommands) {
  ASSERT_EQ(applog_init(6, 6, logPath().c_str()), 0u);
  testing::internal::CaptureStdout();
  applog_debug("%-8s : %s\n", "Model", "MODEL A");
  applog_cmd_completed(true, "PHYSICALDRIVE0", "Firmware download", 0, false);
  applog_open_slots();
  applog_debug("shown\n");
  applog_cmd_completed(true, "PHYSICALDRIVE1", "Firmware download and activation", 0, true);
  applog_print_status(0);
  applog_empty_slots();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "shown\n\nPHYSICALDRIVE1: Firmware download and activation command completed successfully.\n\n"
            "Command completed successfully\n");
  EXPECT_EQ(logText(), inFile("Model    : MODEL A\n\nPHYSICALDRIVE0: Firmware download command completed "
                              "successfully.\n\nshown\n\nPHYSICALDRIVE1: Firmware download and activation "
                              "command completed successfully.\n\nCommand completed successfully\n"));
}

TEST_F(AppLog, TimedLinesAndSilentMessageBoxes) {
  ASSERT_EQ(applog_init(3, 2, logPath().c_str()), 0u);
  applog_printf_level(3, "Error: Error parsing command line argument! Terminating...\n");
  appState.silent = true;  // a box would stop an unattended run: the text is logged
  showMessageBox("Error loading resource");
  std::string text = logText();
  EXPECT_TRUE(std::regex_match(text, std::regex("\\[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4}\\] "
                                                "Error: Error parsing command line argument! Terminating...\r?\n"
                                                "Error loading resource\r?\n")))
      << text;
}

TEST_F(AppLog, LogFileThatCannotBeOpened) {
  applog_open_slots();
  testing::internal::CaptureStderr();
  u64 status = applog_init(6, 6, (scratch_ / "missing\\run.log").c_str());
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(orv_status_layer_of(status), 4u);
  EXPECT_EQ(orv_status_code(status), 16u);
  EXPECT_EQ((status >> 32) & 0xFFFF, 140u);
  EXPECT_EQ(status >> 48, 0u);  // the application's files are not in the table
  EXPECT_NE(errors.find("File: " + (scratch_ / "missing\\run.log") + " couldn't be opened (Error: ["),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("Error opening log file. No log will be generated.\n"), std::string::npos);
  // The run goes on: the printers still reach the console.
  testing::internal::CaptureStdout();
  appPrintf(true, false, "still here\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "still here\n");
}

TEST_F(AppLog, ClosingNamesTheLogFileUnlessSilent) {
  ASSERT_EQ(applog_init(6, 6, logPath().c_str()), 0u);
  testing::internal::CaptureStdout();
  applog_close(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nSee log file '" + logPath() + "' for details.\n");
  appState.silent = true;
  ASSERT_EQ(applog_init(6, 6, logPath().c_str()), 0u);
  testing::internal::CaptureStdout();
  applog_close(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(scratch_.exists("run.log"));  // never deleted
}

TEST(Window, NoneWithoutAModuleInstance) {
  appState = AppState();
  EXPECT_FALSE(createProgressDialog());
  EXPECT_EQ(appState.progressWindow, nullptr);
  appendDialogText("nothing to append to\n");
  destroyProgressDialog();
}

}  // namespace
