// The command base: file names of drive ids, post-command action texts and
// the last-error text of a failed constructor.
#include <gtest/gtest.h>

#include <string>

#include "cmdlib/cmdlib_gencmd.h"

using DivizuCmdlib::DivIzuGenCmd;

namespace {

TEST(DriveIdFileName, SpecialCharactersByPosition) {
  EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName("SCSI1:r0"), "SCSI1_r0");
  EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName("\\PHYSICALDRIVE0"), "PHYSICALDRIVE0");
  EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName("raid_b:"), "raid_b");
  EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName("a*b?c\"d<e>f|g/h"), "a_b_c_d_e_f_g_h");
  // Each change searches again from the start.
  EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName("::a"), "a");
  EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName("a::"), "a_");
  EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName("\\/x"), "x");
  EXPECT_EQ(DivIzuGenCmd::getDeviceIdFName(":"), "");
}

TEST(PostCommandAction, TextsAndUnknownValues) {
  const char* texts[] = {"No operation", "System Reboot", "Power down", "Power cycle", "Full power down",
                         "Full power cycle"};
  for (u32 action = 0; action < 6; ++action)
    EXPECT_EQ(DivIzuGenCmd::postCmdActionStr(static_cast<VazidaRaduru::_OrvPostCmdAction>(action)),
              texts[action]);
  EXPECT_EQ(DivIzuGenCmd::postCmdActionStr(static_cast<VazidaRaduru::_OrvPostCmdAction>(6)), "No operation");
}

}  // namespace
