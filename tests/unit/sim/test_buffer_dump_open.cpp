// Files that cannot be opened: a dump file whose folder is gone and a SMART
// attribute-name configuration file that is missing. The event log has the
// line; a dump writes nothing and stays usable.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "cmdlib/cmdlib_gencmd.h"
#include "unit/fake_device.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

namespace {

using DivizuCmdlib::OrvDevBufDump;
using UnopenableFile = MachineTest;

TEST_F(UnopenableFile, DumpFolderGoneBeforeTheFirstDump) {
  load("{}");
  std::filesystem::create_directories(scratch_.path() + "/gone");
  OrvDevBufDump dump(scratch_ / "gone", "PHYSICALDRIVE2", 0);
  std::filesystem::remove(scratch_.path() + "/gone");
  dump.addBuffer(new VazidaRaduru::OrvLogBuffer(4, VazidaRaduru::ORV_LITTLE_ENDIAN, 1, 0, "Errors"));
  winsim::clearEvents();
  dump.binDump(nullptr);
  dump.hexDump(nullptr);
  ASSERT_EQ(winsim::events().size(), 2u) << "each attempt is reported";
  EXPECT_EQ(winsim::events()[0].eventId, 0xC0020001u);
  EXPECT_EQ(winsim::events()[0].strings[0].rfind("File: " + dump.getDumpFileName() + " couldn't be opened (Error: [", 0), 0u);
  std::stringstream out;
  dump.strDump(out);
  EXPECT_EQ(out.str(), "00 00 00 00 ");
}

TEST_F(UnopenableFile, MissingSmartConfigurationGoesToTheEventLog) {
  load("{}");
  winsim::clearEvents();
  RefusingDevice drive;
  std::map<u8, std::string> names;
  std::string path = scratch_ / "missing.json";
  EXPECT_TRUE(isLibStatus(RefusingDevice::loadNames(&drive, names, path), 16, 103));
  ASSERT_EQ(winsim::events().size(), 1u);
  EXPECT_EQ(winsim::events()[0].eventId, 0xC0020001u);
  EXPECT_EQ(winsim::events()[0].strings[0], "File: " + path + " couldn't be opened (Error: [2])\n");
}

}  // namespace
