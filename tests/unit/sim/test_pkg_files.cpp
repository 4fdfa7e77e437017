// Package files beyond what every host can make cheaply: images of more than
// 4 GiB and a second name of the input file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cmdlib/cmdlib_pkg.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuGenCmd;
using DivizuCmdlib::DivIzuPkg;

namespace {

constexpr u32 kPkgFile = 54;

TEST(PackageFiles, ImageBeyondFourGibibytesIsRefused) {
  ScratchFolder scratch;
  std::string image = scratch.write("big.bin", "x");
  std::filesystem::resize_file(image, 0x100000000ull);  // sparse
  u64 status = thrownStatus([&] {
    DivIzuPkg maker("", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", "");
  });
  EXPECT_TRUE(isLibStatus(status, 4, kPkgFile));
  EXPECT_EQ(DivIzuGenCmd::getLastError(), "ORVERR4: Invalid Firmware File Size (firmware_image_path)");

  // Grown after the package maker was made: refused when packing.
  std::filesystem::resize_file(image, 16);
  DivIzuPkg maker("p.bin", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", "");
  std::filesystem::resize_file(image, 0x100000001ull);
  EXPECT_TRUE(isLibStatus(maker.execute(), 4, kPkgFile));
  EXPECT_FALSE(scratch.exists("p.bin"));
}

TEST(PackageFiles, AnotherNameOfTheImageIsNotWritten) {
  ScratchFolder scratch;
  std::string image = scratch.write("drive-fw.bin", "VDRVFWIMREV00002 image bytes");
  std::filesystem::create_hard_link(image, std::filesystem::path(scratch.path()) / "alias.bin");
  DivIzuPkg maker("alias.bin", image, "R", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", "");
  EXPECT_TRUE(isLibStatus(maker.execute(), 16, kPkgFile));
  EXPECT_EQ(scratch.read("drive-fw.bin"), "VDRVFWIMREV00002 image bytes");
}

}  // namespace
