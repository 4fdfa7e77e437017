// What the simulated machine's main and the program's build set up for the
// program it runs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace winsim {

// The command line that GetCommandLineW returns, quoted from the arguments
// so that CommandLineToArgvW gives them back unchanged. Returns its part after
// the program name, as WinMain receives it.
std::string setCommandLine(int argc, char** argv);

// Writes the whole exit code to the file WINSIM_EXITCODE names, when it
// names one: the host keeps only its low 8 bits.
void recordExitCode(int exitCode);

// Resources linked into the program (by number): the bytes of a type, and the
// resource script whose dialogs CreateDialogParamW builds.
void addResource(unsigned type, unsigned id, const void* data, size_t size);
void setResourceScript(const char* text, size_t size);

// A dialog of the resource script: its caption and its controls.
struct DialogTemplate {
  struct Control {
    std::string kind;  // the script's keyword: EDITTEXT, LTEXT, CONTROL, ...
    int id = 0;
  };
  std::string caption;
  std::vector<Control> controls;
};
// False when the script has no dialog of that number.
bool findDialog(unsigned id, DialogTemplate* dialog);

}  // namespace winsim
