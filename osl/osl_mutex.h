// The process mutex: one unnamed mutex that serialises every write to the
// application's log file and console streams.
#pragma once

#include "osl/osl_types.h"

// Creates the mutex (unnamed, not owned); osl_mutex_error_status when the
// system refuses.
u64 osl_mutex_create();
// Closes it; lock and unlock then answer code 1.
void osl_mutex_close();

u64 osl_mutex_lock();    // waits without time limit
u64 osl_mutex_unlock();

u64 osl_mutex_error_status();
