// The catch of every device operation and command function: a status word
// thrown on the way is returned, any other exception becomes code 1 raised
// at the caller's line.
#pragma once

#include "osl/orv_status.h"

namespace VazidaRaduru {

template <typename Operation>
u64 orvGuarded(const char* source, u32 line, Operation operation) {
  try {
    return operation();
  } catch (u64 status) {
    return status;
  } catch (...) {
    return _orv_orvlib_status(ORV_ERR_GENERIC, source, line);
  }
}
#define ORV_GUARDED(operation) ::VazidaRaduru::orvGuarded(ORV_SOURCE, __LINE__, operation)

}  // namespace VazidaRaduru
