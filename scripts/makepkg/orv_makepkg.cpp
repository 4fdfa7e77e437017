// Makes a firmware package from an image file at build time:
//   orv_makepkg --image=FILE --package=FILE --revision=REV --model=MODEL
//               [--component=ID] [--date=DDMMYYYY] [--action=0..5] [--action-flag=0|1]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "cmdlib/cmdlib_pkg.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"

using DivizuCmdlib::DivIzuGenCmd;
using DivizuCmdlib::DivIzuPkg;
using DivizuCmdlib::DivIzuPkgInfo;

namespace {

const char kUsage[] =
    "usage: orv_makepkg --image=FILE --package=FILE --revision=REV --model=MODEL\n"
    "                   [--component=ID] [--date=DDMMYYYY] [--action=0..5] [--action-flag=0|1]\n";

std::string statusText(u64 status) {
  char text[256] = {};
  orv_get_status_msg(status, text, sizeof text);
  return text;
}

int fail(const std::string& text) {
  std::fprintf(stderr, "orv_makepkg: %s\n", text.c_str());
  return 1;
}

// The folder part of a path ("." when it has none) and its file name.
void splitPackagePath(const std::string& path, std::string& folder, std::string& name) {
  size_t separator = path.find_last_of("/\\");
  folder = separator == std::string::npos ? "." : separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
  name = separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options = {{"component", ""}, {"date", ""}, {"action", "0"},
                                                {"action-flag", "0"}};
  for (int i = 1; i < argc; ++i) {
    const char* equals = std::strchr(argv[i], '=');
    if (std::strncmp(argv[i], "--", 2) != 0 || !equals)
      return fail(std::string("bad argument ") + argv[i] + "\n" + kUsage);
    options[std::string(argv[i] + 2, static_cast<size_t>(equals - argv[i] - 2))] = equals + 1;
  }
  for (const char* required : {"image", "package", "revision", "model"})
    if (!options.count(required)) return fail(std::string("--") + required + " is missing\n" + kUsage);
  u64 action = 0;
  u64 flag = 0;
  if (osl_strtou64(options["action"].c_str(), 10, &action) != 0 || action > 5)
    return fail("--action takes 0 to 5");
  if (osl_strtou64(options["action-flag"].c_str(), 10, &flag) != 0 || flag > 1)
    return fail("--action-flag takes 0 or 1");

  std::string folder;
  std::string name;
  splitPackagePath(options["package"], folder, name);
  try {
    DivIzuPkg maker(name, options["image"], options["revision"], static_cast<VazidaRaduru::_OrvPostCmdAction>(action),
                    flag == 1, options["model"], options["date"], options["component"], folder);
    u64 status = maker.execute();
    if (status) return fail(statusText(status) + " (" + maker.getPkgFilePath() + ")");
    // The package is read back as the update application will read it.
    DivIzuPkgInfo info(maker.getPkgFilePath());
    status = info.execute();
    if (status) return fail(statusText(status) + " (" + maker.getPkgFilePath() + ")");
  } catch (u64) {
    return fail(DivIzuGenCmd::getLastError());
  }
  return 0;
}
