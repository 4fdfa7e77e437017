// The process entry of a program that runs on the simulated machine: builds
// its command line and calls WinMain, as the Windows runtime does. The host
// keeps only the low 8 bits of an exit code; when WINSIM_EXITCODE names a
// file, the whole code is written there too.
//
// On Windows a console-control handler runs on a thread of its own, while
// the program goes on. Here the termination signals are held from the start
// and let in where the program holds nothing of the machine (winsim/host.h),
// so that a handler never runs in the middle of a call.
#include <string>

#include "winsim/host.h"
#include "winsim/program.h"
#include "winsim/win32.h"

int main(int argc, char** argv) {
  winsim::takeTerminationSignalsAtSafePlaces();
  std::string arguments = winsim::setCommandLine(argc, argv);
  int exitCode = WinMain(GetModuleHandleW(nullptr), nullptr, arguments.data(), SW_SHOWDEFAULT);
  winsim::recordExitCode(exitCode);
  return exitCode;
}
