// Runtime services of the Windows C library on the simulated machine.
#include <sys/random.h>

#include <cerrno>

#include "winsim/win32.h"

errno_t rand_s(unsigned int* randomValue) {
  if (!randomValue) return EINVAL;
  unsigned int value = 0;
  if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
    *randomValue = 0;
    return EIO;
  }
  *randomValue = value;
  return 0;
}
