// Injected failures of the simulated machine: the machine description's
// "faults" list (its keys are described in winsim/machines/README.md).
#pragma once

#include <string>
#include <vector>

#include <rapidjson/document.h>

namespace winsim {

class Machine;

// One request a fault may hit.
struct FaultRequest {
  explicit FaultRequest(const char* kindName) : kind(kindName) {}
  const char* kind;            // "ioctl", "setupapi", "ata", "scsi" or "nvme"
  std::string name;            // ioctl and setupapi: the call's name
  long long code = -1;         // ata: the command; scsi: the operation code; csmi: the control code
  int drive = -1;              // the device number, -1 when none
  const char* detailKey = nullptr;  // "property", "page", "feature", "mode", "log" or "cns"
  long long detail = -1;
  long long raidSet = -1;      // a RAID configuration request's set index, -1 for other requests
};

class Faults {
 public:
  explicit Faults(Machine& machine);
  // The fault that hits this request, or null; every matching request is
  // counted, so "after" and "times" see the exact sequence. A fault with a
  // "signal" raises that signal and lets the request go on.
  const rapidjson::Value* take(const FaultRequest& request);
  // How many requests each fault of the list matched so far.
  std::vector<unsigned> matched() const;

 private:
  struct Counter {
    unsigned seen = 0;
    unsigned hits = 0;
  };
  const rapidjson::Value* list_ = nullptr;
  std::vector<Counter> counters_;
};

// A number of a fault, or the fallback when it has none.
int faultNumber(const rapidjson::Value& fault, const char* key, int fallback);

}  // namespace winsim
