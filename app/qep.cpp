#include "app/qep.h"

#include "app/divizu_applog.h"
#include "app/main.h"

namespace {

const char kQepVersion[] = "01.03.3146";

}  // namespace

u32 runUpdate() {
  applog_empty_slots();
  appPrintf(true, false, "[[[QEP Version : %s]]]", kQepVersion);
  // The package loading, the drive matching and the update of the drives
  // are not part of this program yet: no drive was updated, so the run
  // cannot report success.
  return 1;
}
