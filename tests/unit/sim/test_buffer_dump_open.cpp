// A dump file that cannot be opened: the event log has the line, nothing is
// written and the object stays usable.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cmdlib/cmdlib_gencmd.h"
#include "unit/sim/machine_fixture.h"

using DivizuCmdlib::OrvDevBufDump;

using BufferDumpOpen = MachineTest;

TEST_F(BufferDumpOpen, FolderGoneBeforeTheFirstDump) {
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
