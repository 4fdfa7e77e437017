// An image file that cannot be written whole when a package is unpacked is
// not left behind under its name.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <string>

#include "cmdlib/cmdlib_pkg.h"
#include "unit/scratch.h"
#include "unit/status_check.h"

using DivizuCmdlib::DivIzuPkg;
using DivizuCmdlib::DivIzuUnPkg;

namespace {

constexpr u32 kPkgFile = 54;

// Runs an action while files of this process may grow to `limit` bytes only.
template <typename Action>
u64 withFileSizeLimit(rlim_t limit, Action action) {
  rlimit before = {};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit bounded = before;
  bounded.rlim_cur = limit;
  auto handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &bounded);
  u64 status = action();
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, handler);
  return status;
}

TEST(UnpackFailure, CutImageIsRemoved) {
  ScratchFolder scratch;
  std::string image = scratch.write("drive-fw.bin", "VDRVFWIMREV00002" + std::string(3 * 8192, 'x'));
  DivIzuPkg maker("drive-pkg.bin", image, "REV00002", VazidaRaduru::ORV_POST_NO_OPERATION, false, "M", "", "", "");
  ASSERT_EQ(maker.execute(), 0u);
  // Nothing of the image fits, or its first piece and some bytes more.
  for (rlim_t limit : {rlim_t{0}, rlim_t{8192 + 100}}) {
    DivIzuUnPkg unpacker("out.bin", scratch / "drive-pkg.bin", "");
    EXPECT_TRUE(isLibStatus(withFileSizeLimit(limit, [&] { return unpacker.execute(); }), 60, kPkgFile)) << limit;
    EXPECT_FALSE(scratch.exists("out.bin")) << limit;
  }
}

}  // namespace
