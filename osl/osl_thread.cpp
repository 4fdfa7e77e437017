#include "osl/osl_thread.h"

#include "osl/orv_status.h"

u64 osl_thread_error_status() { return ORV_OSL_STATUS(ORV_ERR_GENERIC); }
