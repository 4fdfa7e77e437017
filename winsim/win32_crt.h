// Runtime services of the Windows C library that the simulated machine
// supplies for builds that are not Windows.
#pragma once

typedef int errno_t;

// Fills *randomValue from the system's secure random source; 0 on success.
errno_t rand_s(unsigned int* randomValue);
