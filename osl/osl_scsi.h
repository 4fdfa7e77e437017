// SCSI commands through the SCSI pass-through interface, direct or with the
// data carried inside the request.
#pragma once

#include "osl/osl_cmd.h"
#include "osl/osl_storage.h"

u64 osl_scsi_send(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 dataIn, void* data,
                  u32 dataLength, u8* sense, u16 senseLength, u32 timeoutSeconds, bool logBlock,
                  bool ignoreError, bool buffered, u32* lastError);
// logBlock here controls the status and sense lines; lastError, when given,
// receives the Windows error of the control call: 0 when it succeeded (the
// drive completed the command, whatever its status), ERROR_INVALID_PARAMETER
// or ERROR_NOT_ENOUGH_MEMORY when no call was made.
u64 osl_scsi_send_buffered(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 dataIn,
                           void* data, u32 dataLength, u8* sense, u16 senseLength,
                           u32 timeoutSeconds, bool logBlock, bool ignoreError, u32* lastError);
u64 osl_scsi_send_direct(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 dataIn,
                         void* data, u32 dataLength, u8* sense, u16 senseLength,
                         u32 timeoutSeconds, bool logBlock, bool ignoreError, u32* lastError);

// The sense key of fixed (70h, 71h) or descriptor sense data.
u8 osl_sense_key(const u8* sense, u32 length);

// TEST UNIT READY probes; the area keeps the returned header (the drive's
// path, target and logical unit).
u64 osl_test_unit_ready(_OSL_PDEV* drive, osl_scsi_request* area);
u64 osl_test_unit_ready_buffered(_OSL_PDEV* drive, osl_scsi_request* area);
u64 osl_scsi_get_address(_OSL_PDEV* drive, u8* pathId, u64 ignored, u8* logicalUnit);
