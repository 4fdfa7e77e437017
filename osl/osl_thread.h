// Threads of the OS layer: the system runs on one thread and keeps only the
// failure word for a thread that could not be made.
#pragma once

#include "osl/osl_types.h"

u64 osl_thread_error_status();
