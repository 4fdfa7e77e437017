// What the simulated machine's main sets up for the program it runs.
#pragma once

namespace winsim {

// The command line that GetCommandLineW returns, quoted from the arguments
// so that CommandLineToArgvW gives them back unchanged.
void setCommandLine(int argc, char** argv);

}  // namespace winsim
