// The update flow over the drives that the embedded package is meant for.
#pragma once

#include "osl/osl_types.h"

// Runs the update; returns the process exit code (0, 1, 1602 or 4000).
u32 runUpdate();
