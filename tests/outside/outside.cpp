#include <cstdio>
#include <cstring>

#include "osl/orv_status.h"

int main() {
  u64 word = _orv_orvlib_status(13, "x/cmdlib_devlist.cpp", 120);
  char text[512];
  orv_get_status_msg(word, text, sizeof text);
  std::printf("%s file=%u line=%u layer=%u\n", text, static_cast<unsigned>(word >> 48),
              static_cast<unsigned>((word >> 32) & 0xFFFF), static_cast<unsigned>((word >> 26) & 31));
  return std::strcmp(text, "ORVERR13: Opening the device failed") == 0 && (word >> 48) == 52 &&
                 ((word >> 32) & 0xFFFF) == 120 && ((word >> 26) & 31) == 4
             ? 0
             : 1;
}
