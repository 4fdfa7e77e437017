// The NVMe device's tables of log names and internal-log numbering.
#include <gtest/gtest.h>

#include "devlib/nvme/orvlib_nvme.h"

using VazidaRaduru::VazidaRaduruNvme::OrvNvmeDev;

TEST(NvmeNames, LogPages) {
  std::string name;
  EXPECT_EQ(OrvNvmeDev::logPageName(name, 0x09), "Unknown");
  EXPECT_EQ(OrvNvmeDev::logPageName(name, 0x00), "Unknown");
  EXPECT_EQ(OrvNvmeDev::logPageName(name, 0xC5), "Vendor specific");
  EXPECT_EQ(OrvNvmeDev::logPageName(name, 0xF8), "SMART Data");
  EXPECT_EQ(OrvNvmeDev::logPageName(name, 0xF0), "SMART Data");
  EXPECT_EQ(OrvNvmeDev::logPageName(name, 0x03), "Firmware Slot Information");
  EXPECT_EQ(OrvNvmeDev::logPageName(name, 0x81), "Sanitize Status");
  EXPECT_EQ(OrvNvmeDev::logPageName(name, 0xFE), "Supported Log Page Data");
  EXPECT_EQ(&OrvNvmeDev::logPageName(name, 0xFF), &name);
}

TEST(NvmeNames, InternalLogsMapBothWays) {
  const u8 modes[] = {1, 7, 8, 5, 9};
  const u8 bits[] = {0x01, 0x02, 0x08, 0x10, 0x20};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(OrvNvmeDev::internalLogTypeOf(modes[i]), bits[i]);
    EXPECT_EQ(OrvNvmeDev::internalLogModeOf(bits[i]), modes[i]);
  }
  EXPECT_EQ(OrvNvmeDev::internalLogTypeOf(255), 255);
  EXPECT_EQ(OrvNvmeDev::internalLogModeOf(255), 255);
  EXPECT_EQ(OrvNvmeDev::internalLogTypeOf(2), 0);
  EXPECT_EQ(OrvNvmeDev::internalLogModeOf(0x04), 0);
  std::string name;
  EXPECT_EQ(OrvNvmeDev::internalLogName(name, 0x10), "Extended Drive History Internal Log");
  EXPECT_EQ(OrvNvmeDev::internalLogName(name, 0x08), "NAND Event Internal Log");
  EXPECT_EQ(OrvNvmeDev::internalLogName(name, 0xFF), "Unknown");
  EXPECT_EQ(OrvNvmeDev::internalLogName(name, 0x04), "Unknown");
}
