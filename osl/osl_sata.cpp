#include "osl/osl_sata.h"

#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_log.h"
#include "osl/osl_storage.h"

namespace {

constexpr u32 DEFAULT_TIMEOUT_SECONDS = 86400;

bool is48Bit(const u8* block, u8 blockLength) {
  return blockLength > OSL_ATA_COMMAND + 1 && block[OSL_ATA_COMMAND + 1] != 0;
}

}  // namespace

USHORT osl_ata_flags(const u8* block, u8 blockLength, u8 dataIn, const void* data,
                     u32 dataLength) {
  USHORT flags = ATA_FLAGS_DRDY_REQUIRED | OSL_ATA_FLAGS_NO_MULTIPLE;
  if (!dataIn)
    flags |= ATA_FLAGS_DATA_OUT;
  else if (data && dataLength)
    flags |= ATA_FLAGS_DATA_IN;
  if (is48Bit(block, blockLength)) flags |= ATA_FLAGS_48BIT_COMMAND;
  return flags;
}

u64 osl_ata_send(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 dataIn, void* data,
                 u32 dataLength, u8* response, u32, u32 timeoutSeconds, bool ignoreError) {
  if (!block) return ORV_OSL_STATUS(ORV_ERR_INVALID_ARGUMENT);
  if (blockLength > OSL_ATA_BLOCK_LENGTH) blockLength = OSL_ATA_BLOCK_LENGTH;
  osl_log_cdb(OSL_LOG_INFO, block, blockLength);
  if (dataIn && data) std::memset(data, 0, dataLength);

  ATA_PASS_THROUGH_DIRECT request = {};
  request.Length = sizeof request;
  request.AtaFlags = osl_ata_flags(block, blockLength, dataIn, data, dataLength);
  request.DataTransferLength = dataLength;
  request.TimeOutValue = timeoutSeconds ? timeoutSeconds : DEFAULT_TIMEOUT_SECONDS;
  request.DataBuffer = data;
  osl_log(OSL_LOG_INFO, "Info: ATA Flags: %04x; Transfer Length: %u\n",
          static_cast<unsigned>(request.AtaFlags), dataLength);
  for (u8 i = 0; i < blockLength; ++i) {
    if (i % 2 == 0)
      request.CurrentTaskFile[i / 2] = block[i];
    else
      request.PreviousTaskFile[i / 2] = block[i];
  }

  u32 error = 0;
  u64 status = osl_ioctl(drive, IOCTL_ATA_PASS_THROUGH_DIRECT, &request, sizeof request, &request,
                         sizeof request, &error);
  int level = OSL_LOG_INFO;
  const UCHAR* current = request.CurrentTaskFile;
  const UCHAR* previous = request.PreviousTaskFile;
  if (status == 0 && (current[6] & 0x01)) status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
  if (status != 0 && !ignoreError) level = OSL_LOG_ERROR;
  if (error != 0) osl_log_ioctl_failure(level, error);

  if (response) {
    for (u32 i = 0; i < 8; ++i) {
      response[2 * i] = current[i];
      response[2 * i + 1] = previous[i];
    }
  }

  bool extended = (request.AtaFlags & ATA_FLAGS_48BIT_COMMAND) != 0;
  unsigned count = current[1];
  unsigned long long lba = current[2] | (current[3] << 8) | (current[4] << 16);
  if (extended) {
    count += previous[1] * 256u;
    lba |= static_cast<unsigned long long>(previous[2] | (previous[3] << 8) | (previous[4] << 16))
           << 24;
  }
  osl_log_at(level, "[%u:%u:%u] ATA Status: %u\n", request.PathId, request.TargetId, request.Lun,
             current[6]);
  osl_log_at(level,
             "ATA Response [Error : 0x%02x] [Count : 0x%04x] [LBA : 0x%012llx] [Device : 0x%02x] "
             "[Status : 0x%02x]\n",
             current[0], count, lba, current[5], current[6]);
  osl_log(static_cast<osl_log_priority_e>(level), "\n");
  return status;
}
