// The targets a benchmark program checks after its runs. Every miss is
// printed with its figure, value and limit, and the program's exit code is
// non-zero when one was missed.
#pragma once

#include <cstdio>
#include <string>

class Targets {
 public:
  // The figure may not be above the limit.
  bool atMost(const std::string& figure, double value, double limit, const char* unit) {
    return met(value <= limit, figure, value, "at most", limit, unit);
  }
  // The figure must be the expected one.
  bool exactly(const std::string& figure, double value, double expected, const char* unit) {
    return met(value == expected, figure, value, "exactly", expected, unit);
  }

  // Prints the count of misses and returns the program's exit code.
  int conclude() const {
    if (missed == 0)
      std::printf("every target met\n");
    else
      std::printf("%d target%s missed\n", missed, missed == 1 ? "" : "s");
    return missed == 0 ? 0 : 1;
  }

 private:
  bool met(bool ok, const std::string& figure, double value, const char* relation, double limit, const char* unit) {
    if (ok) return true;
    ++missed;
    std::printf("MISSED: %s is %.4g%s, the target is %s %.4g%s\n", figure.c_str(), value, unit, relation, limit, unit);
    return false;
  }

  int missed = 0;
};
