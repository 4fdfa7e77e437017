// RAID controllers of the CSMI kind: requests sent with IOCTL_SCSI_MINIPORT.
// This build answers whether a handle is such a controller; listing the
// drives behind controllers and opening them by their "SCSI%u:%c%u" ids are
// not part of it and answer "Feature unsupported" without sending anything.
#pragma once

#include "osl/osl_cmd.h"

// The 8-byte signature of a control code; an unknown code: code 19.
u64 osl_csmi_signature(u32 controlCode, u8 out[8]);
// Sends one request: buffer (length bytes, the miniport header first) is
// cleared, given its header and sent in and out. A failure is logged unless
// the request only probes for a controller.
u64 osl_csmi_request(_OSL_PDEV* controller, u32 controlCode, void* buffer, u32 length,
                     bool logFailure);
// 0 when a CSMI driver answers on the handle.
u64 osl_csmi_get_driver_info(HANDLE handle);

u64 osl_csmi_list_drives(_osl_dev_info* list);
u64 osl_csmi_open(_OSL_PDEV* drive);
u64 osl_csmi_controller_port(u8* port);
u64 osl_csmi_raid_query(_OSL_PDEV* drive, _osl_dev_info* list);
u64 osl_csmi_raid_bus_dev_type(_OSL_PDEV* drive, _osl_dev_entry* entry);
u64 osl_csmi_phy_describe(_OSL_PDEV* drive, _osl_dev_entry* entry);
