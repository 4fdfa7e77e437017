#include "osl/osl_scsi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_log.h"

namespace {

constexpr u32 DEFAULT_TIMEOUT_SECONDS = 86400;
constexpr u32 PROBE_TIMEOUT_SECONDS = 10;
constexpr u8 SCSI_STATUS_GOOD = 0;
constexpr u8 SCSI_STATUS_CHECK_CONDITION = 2;
constexpr u8 SENSE_KEY_RECOVERED_ERROR = 1;
constexpr u8 ATA_PASS_THROUGH_12 = 0xA1;
constexpr u8 ATA_PASS_THROUGH_16 = 0x85;
constexpr u8 CHECK_CONDITION_BIT = 0x20;  // byte 2 of an ATA PASS-THROUGH block

// An ATA PASS-THROUGH block that asks for the ATA registers back as sense
// data: the drive then answers a good command with a recovered error.
bool asksForRegisters(const u8* block, u8 blockLength) {
  return blockLength > 2 && (block[0] == ATA_PASS_THROUGH_12 || block[0] == ATA_PASS_THROUGH_16) &&
         (block[2] & CHECK_CONDITION_BIT);
}

// The fields both header forms share, filled alike.
template <typename Header>
void fillHeader(Header& header, const u8* block, u8 blockLength, u8 dataIn, u32 dataLength,
                u32 timeoutSeconds) {
  header.Length = sizeof(Header);
  header.CdbLength = blockLength;
  header.SenseInfoLength = OSL_SCSI_SENSE_LENGTH;
  header.DataIn = dataIn ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
  header.DataTransferLength = dataLength;
  header.TimeOutValue = timeoutSeconds ? timeoutSeconds : DEFAULT_TIMEOUT_SECONDS;
  header.SenseInfoOffset = OSL_SCSI_SENSE_OFFSET;
  std::memcpy(header.Cdb, block, blockLength);
}

// What both forms do once the driver answered: the status word, the log
// level, the sense data handed to the caller and the status lines.
template <typename Header>
u64 finish(u64 callStatus, u32 error, const Header& header, const osl_scsi_request& area,
           const u8* block, u8 blockLength, u8* sense, u16 senseLength, bool logBlock,
           bool ignoreError, bool* copyData) {
  *copyData = false;
  u64 status = callStatus;
  if (status == 0) {
    if (header.ScsiStatus == SCSI_STATUS_GOOD) {
      *copyData = true;
    } else if (header.ScsiStatus == SCSI_STATUS_CHECK_CONDITION &&
               asksForRegisters(block, blockLength) &&
               osl_sense_key(area.sense, header.SenseInfoLength) == SENSE_KEY_RECOVERED_ERROR) {
      *copyData = true;
    } else {
      status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
    }
  }
  int level = (status != 0 && !ignoreError) ? OSL_LOG_ERROR : OSL_LOG_INFO;
  if (error != 0) osl_log_ioctl_failure(level, error);

  if (sense && senseLength) std::memset(sense, 0, senseLength);
  // A failed call returns nothing: the header still holds what was sent.
  u32 reported = callStatus == 0 ? header.SenseInfoLength : 0;
  if (reported > OSL_SCSI_SENSE_LENGTH) reported = OSL_SCSI_SENSE_LENGTH;
  char text[OSL_SCSI_SENSE_LENGTH * 3 + 1] = "No sense buffer available";
  if (reported != 0) {
    if (sense) std::memcpy(sense, area.sense, senseLength < reported ? senseLength : reported);
    for (u32 i = 0; i < reported; ++i) std::snprintf(text + i * 3, 4, "%02x ", area.sense[i]);
    text[reported * 3] = '\0';
  }
  if (logBlock) {
    osl_log_at(level, "[%u:%u:%u] SCSI Status : %d\n", header.PathId, header.TargetId,
               header.Lun, header.ScsiStatus);
    osl_log_at(level, "Sense Buffer: %s\n", text);
    osl_log(static_cast<osl_log_priority_e>(level), "\n");
  }
  return status;
}

// A request no control call was made for: its status, and the Windows error
// that tells the caller so.
u64 notSent(u64 status, u32 error, u32* lastError) {
  if (lastError) *lastError = error;
  return status;
}

}  // namespace

u8 osl_sense_key(const u8* sense, u32 length) {
  if (!sense || length < 2) return 0;
  u8 responseCode = sense[0] & 0x7F;
  if (responseCode == 0x70 || responseCode == 0x71) return length > 2 ? (sense[2] & 0x0F) : 0;
  return sense[1] & 0x0F;
}

u64 osl_scsi_send(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 dataIn, void* data,
                  u32 dataLength, u8* sense, u16 senseLength, u32 timeoutSeconds, bool logBlock,
                  bool ignoreError, bool buffered, u32* lastError) {
  if (logBlock) osl_log_cdb(OSL_LOG_INFO, block, blockLength);
  if (buffered)
    return osl_scsi_send_buffered(drive, block, blockLength, dataIn, data, dataLength, sense,
                                  senseLength, timeoutSeconds, logBlock, ignoreError, lastError);
  return osl_scsi_send_direct(drive, block, blockLength, dataIn, data, dataLength, sense,
                              senseLength, timeoutSeconds, logBlock, ignoreError, lastError);
}

u64 osl_scsi_send_buffered(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 dataIn,
                           void* data, u32 dataLength, u8* sense, u16 senseLength,
                           u32 timeoutSeconds, bool logBlock, bool ignoreError, u32* lastError) {
  if (!block || blockLength > 16)
    return notSent(ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT), ERROR_INVALID_PARAMETER, lastError);
  u64 total = static_cast<u64>(dataLength) + OSL_SCSI_AREA_LENGTH;
  u8* memory = total > 0xFFFFFFFFu ? nullptr : static_cast<u8*>(std::calloc(1, total));
  if (!memory) return notSent(ORV_OSL_STATUS(ORV_ERR_NO_MEMORY), ERROR_NOT_ENOUGH_MEMORY, lastError);
  if (dataIn && data) std::memset(data, 0, dataLength);

  auto* area = reinterpret_cast<osl_scsi_request*>(memory);
  SCSI_PASS_THROUGH& header = area->header.buffered;
  fillHeader(header, block, blockLength, dataIn, dataLength, timeoutSeconds);
  header.DataBufferOffset = OSL_SCSI_DATA_OFFSET;
  if (!dataIn && data) std::memcpy(memory + OSL_SCSI_DATA_OFFSET, data, dataLength);

  u32 error = 0;
  u64 status = osl_ioctl(drive, IOCTL_SCSI_PASS_THROUGH, memory, static_cast<u32>(total), memory,
                         static_cast<u32>(total), &error);
  bool copyData = false;
  status = finish(status, error, header, *area, block, blockLength, sense, senseLength, logBlock,
                  ignoreError, &copyData);
  if (copyData && dataIn && data) std::memcpy(data, memory + OSL_SCSI_DATA_OFFSET, dataLength);
  std::free(memory);
  if (lastError) *lastError = error;
  return status;
}

u64 osl_scsi_send_direct(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 dataIn,
                         void* data, u32 dataLength, u8* sense, u16 senseLength,
                         u32 timeoutSeconds, bool logBlock, bool ignoreError, u32* lastError) {
  if (!block || blockLength > 16)
    return notSent(ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT), ERROR_INVALID_PARAMETER, lastError);
  if (dataIn && data) std::memset(data, 0, dataLength);
  osl_scsi_request area = {};
  SCSI_PASS_THROUGH_DIRECT& header = area.header.direct;
  fillHeader(header, block, blockLength, dataIn, dataLength, timeoutSeconds);
  header.DataBuffer = data;

  u32 error = 0;
  u64 status = osl_ioctl(drive, IOCTL_SCSI_PASS_THROUGH_DIRECT, &area, sizeof area, &area,
                         sizeof area, &error);
  bool copyData = false;
  status = finish(status, error, header, area, block, blockLength, sense, senseLength, logBlock,
                  ignoreError, &copyData);
  if (lastError) *lastError = error;
  return status;
}

namespace {

// TEST UNIT READY in the request area: a 6-byte block of zeros, no data.
template <typename Header>
u64 testUnitReady(_OSL_PDEV* drive, osl_scsi_request* area, Header& header, u32 controlCode) {
  header.Length = sizeof header;
  header.CdbLength = 6;
  header.SenseInfoLength = OSL_SCSI_SENSE_LENGTH;
  header.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
  header.TimeOutValue = PROBE_TIMEOUT_SECONDS;
  header.SenseInfoOffset = OSL_SCSI_SENSE_OFFSET;
  u64 status = osl_ioctl(drive, controlCode, area, sizeof *area, area, sizeof *area, nullptr);
  if (status) return status;
  return header.ScsiStatus == SCSI_STATUS_GOOD ? 0 : ORV_OSL_STATUS(ORV_ERR_GENERIC);
}

}  // namespace

u64 osl_test_unit_ready(_OSL_PDEV* drive, osl_scsi_request* area) {
  std::memset(area, 0, sizeof *area);
  return testUnitReady(drive, area, area->header.direct, IOCTL_SCSI_PASS_THROUGH_DIRECT);
}

u64 osl_test_unit_ready_buffered(_OSL_PDEV* drive, osl_scsi_request* area) {
  std::memset(area, 0, sizeof *area);
  area->header.buffered.DataBufferOffset = OSL_SCSI_DATA_OFFSET;
  return testUnitReady(drive, area, area->header.buffered, IOCTL_SCSI_PASS_THROUGH);
}

u64 osl_scsi_get_address(_OSL_PDEV* drive, u8* pathId, u64, u8* logicalUnit) {
  osl_scsi_request area;
  u64 status = osl_test_unit_ready(drive, &area);
  if (status) status = osl_test_unit_ready_buffered(drive, &area);
  if (status) return status;
  *pathId = area.header.direct.PathId;
  *logicalUnit = area.header.direct.Lun;
  return 0;
}
