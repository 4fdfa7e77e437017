// The host beneath the simulated machine: paths, error numbers and the
// signals that a Windows program would see on a thread of their own.
#pragma once

#include <signal.h>

#include <string>

#include "winsim/win32_base.h"

namespace winsim {

// Windows separators ("\") name the same folders as the host's "/".
std::string hostPath(const std::string& path);
// A host path in the form Windows shows it (every "/" becomes "\").
std::string windowsPath(const std::string& path);

// The Windows error number closest to a host errno value.
DWORD win32ErrorOf(int hostError);

// A console-control handler runs on a thread of its own on Windows and waits
// for whatever lock the main thread holds. Here the termination signals
// arrive on the main thread, so they wait while the simulated machine holds
// a lock on it: the handler runs as soon as the lock is let go.
sigset_t holdTerminationSignals();
void releaseTerminationSignals(const sigset_t& previous);

// A program's main holds the termination signals for good: they arrive only
// where the program holds nothing of the machine (the last hold let go, a
// Sleep), as if a handler thread had waited for that moment.
void takeTerminationSignalsAtSafePlaces();
// Runs the handlers of the termination signals that came meanwhile, unless
// a hold is still in force.
void deliverTerminationSignals();

class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld() : previous_(holdTerminationSignals()) {}
  ~TerminationSignalsHeld() { releaseTerminationSignals(previous_); }
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace winsim
