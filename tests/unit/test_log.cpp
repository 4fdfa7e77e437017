#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "osl/osl_log.h"

namespace {

struct Line {
  int level;
  std::string text;
};

std::vector<Line>& received() {
  static std::vector<Line> lines;
  return lines;
}

int recordingLogger(osl_log_priority_e level, const char* format, va_list arguments) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  received().push_back({static_cast<int>(level), text});
  return 42;
}

// Logging state is process-wide: every test leaves it as it found it.
class Logging : public ::testing::Test {
 protected:
  void SetUp() override { received().clear(); }
  void TearDown() override {
    orvlib_unregister_app_logger();
    orvlib_unmask_app_log();
    received().clear();
  }
};

TEST_F(Logging, RegistrationPriorityAndMask) {
  EXPECT_EQ(osl_log(OSL_LOG_ALERT, "Alert: %s\n", "x"), 0u);  // nothing before registration
  EXPECT_EQ(osl_log_at(3, "line\n"), 0u);
  EXPECT_TRUE(received().empty());

  orvlib_register_app_logger(recordingLogger, OSL_LOG_INFO);
  EXPECT_EQ(osl_log(OSL_LOG_DEBUG, "Debug: dropped\n"), 0u);
  EXPECT_EQ(osl_log(OSL_LOG_INFO, "Info: Opening Physical drive: %s\n", "PHYSICALDRIVE0"), 42u);
  EXPECT_EQ(orvlib_mask_app_log(3), 7u);
  osl_log(OSL_LOG_WARNING, "Warning: masked\n");
  osl_log(OSL_LOG_ERROR, "Error: IOCTL Failure: (error: %u)\n", 1117u);
  EXPECT_EQ(orvlib_unmask_app_log(), 3u);
  ASSERT_EQ(received().size(), 2u);
  EXPECT_EQ(received()[0].level, 6);
  EXPECT_EQ(received()[0].text, "Info: Opening Physical drive: PHYSICALDRIVE0\n");
  EXPECT_EQ(received()[1].text, "Error: IOCTL Failure: (error: 1117)\n");

  // Level 8 and above are never delivered.
  received().clear();
  orvlib_register_app_logger(recordingLogger, static_cast<osl_log_priority_e>(255));
  orvlib_mask_app_log(255);
  EXPECT_EQ(osl_log(static_cast<osl_log_priority_e>(8), "x\n"), 0u);
  EXPECT_EQ(osl_log(static_cast<osl_log_priority_e>(7), "Debug: y\n"), 42u);
  ASSERT_EQ(received().size(), 1u);
  EXPECT_EQ(received()[0].text, "Debug: y\n");

  // Unregistering keeps the hook but delivers nothing.
  orvlib_unregister_app_logger();
  EXPECT_EQ(osl_log(OSL_LOG_ALERT, "Alert: x\n"), 0u);
  EXPECT_EQ(received().size(), 1u);
  EXPECT_EQ(osl_install_log_hook(), &orvlib_app_log);
}

TEST_F(Logging, CallerChosenLevelsTakeTheirPrefixedCopy) {
  orvlib_register_app_logger(recordingLogger, static_cast<osl_log_priority_e>(7));
  const char* expected[] = {"Debug: ", "Alert: ", "Critical: ", "Error: ", "Warning: ", "Notice: ", "Info: ",
                            "Debug: ", "Debug: ", "Debug: "};
  for (int level = 0; level <= 9; ++level) {
    received().clear();
    EXPECT_EQ(osl_log_at(level, "SCSI Status : %d\n", 2), 42u);
    ASSERT_EQ(received().size(), 1u) << level;
    EXPECT_EQ(received()[0].text, std::string(expected[level]) + "SCSI Status : 2\n");
    EXPECT_EQ(received()[0].level, level >= 1 && level <= 6 ? level : 7);
  }
}

TEST(EventLog, ReportingNeverFails) {
  osl_event_printf(3, "File: %s couldn't be opened (Error: [%u])\n", "x.bin", 2u);
  osl_event_printf(6, "%s", "");
  osl_report_event_w("plain text", EVENTLOG_INFORMATION_TYPE, OSL_EVENT_ID_INFO);
}

}  // namespace
