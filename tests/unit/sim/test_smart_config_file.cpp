// A SMART attribute-name configuration file that cannot be opened is
// reported to the event log.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "unit/fake_device.h"
#include "unit/sim/machine_fixture.h"
#include "unit/status_check.h"

namespace {

class Drive : public RefusingDevice {
 public:
  static u64 load(OrvGenDev* device, std::map<u8, std::string>& names, const std::string& path) {
    return OrvGenDev::loadSmartParser(device, names, path);
  }
};

using SmartConfigFile = MachineTest;

}  // namespace

TEST_F(SmartConfigFile, MissingFileGoesToTheEventLog) {
  load("{}");
  winsim::clearEvents();
  Drive drive;
  std::map<u8, std::string> names;
  std::string path = scratch_ / "missing.json";
  EXPECT_TRUE(isLibStatus(Drive::load(&drive, names, path), 16, 103));
  ASSERT_EQ(winsim::events().size(), 1u);
  EXPECT_EQ(winsim::events()[0].eventId, 0xC0020001u);
  EXPECT_EQ(winsim::events()[0].strings[0], "File: " + path + " couldn't be opened (Error: [2])\n");
}
