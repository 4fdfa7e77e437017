// Native ATA commands through the ATA pass-through interface.
#pragma once

#include "osl/osl_cmd.h"

// The 16-byte ATA register block: each register's current value at the even
// byte and its previous (48-bit) value at the odd byte after it. On return
// the same layout carries error, count, LBA, device and status.
enum osl_ata_register : u8 {
  OSL_ATA_FEATURES = 0,  // error on return
  OSL_ATA_COUNT = 2,
  OSL_ATA_LBA_LOW = 4,
  OSL_ATA_LBA_MID = 6,
  OSL_ATA_LBA_HIGH = 8,
  OSL_ATA_DEVICE = 10,
  OSL_ATA_COMMAND = 12,  // status on return; byte 13 non-zero marks a 48-bit command
};
constexpr u32 OSL_ATA_BLOCK_LENGTH = 16;

// The ATA flags of a request (drive ready required and no multiple always).
USHORT osl_ata_flags(const u8* block, u8 blockLength, u8 dataIn, const void* data,
                     u32 dataLength);

// response receives the 16 return-register bytes; responseLength is not read.
u64 osl_ata_send(_OSL_PDEV* drive, const u8* block, u8 blockLength, u8 dataIn, void* data,
                 u32 dataLength, u8* response, u32 responseLength, u32 timeoutSeconds,
                 bool ignoreError);
