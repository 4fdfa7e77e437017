// The process entry of a program that runs on the simulated machine: builds
// its command line and calls WinMain, as the Windows runtime does. The host
// keeps only the low 8 bits of an exit code; when WINSIM_EXITCODE names a
// file, the whole code is written there too.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "winsim/program.h"
#include "winsim/win32.h"

int main(int argc, char** argv) {
  std::string arguments = winsim::setCommandLine(argc, argv);
  int exitCode = WinMain(GetModuleHandleW(nullptr), nullptr, arguments.data(), SW_SHOWDEFAULT);
  if (const char* path = std::getenv("WINSIM_EXITCODE")) {
    if (FILE* file = std::fopen(path, "w")) {
      std::fprintf(file, "%d\n", exitCode);
      std::fclose(file);
    }
  }
  return exitCode;
}
