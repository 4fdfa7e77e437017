// NVMe commands to drives on the PCIe bus through the storage interfaces of
// the platform's NVMe driver, and the SCSI side that carries them where
// those interfaces do not: the vendor command tunnel, the drive probe and the
// identify data synthesized from what the platform can tell.
#pragma once

#include "osl/osl_cmd.h"

// Byte 0 of a submission entry, and where its Dwords 10 to 15 begin.
constexpr u32 OSL_NVME_ENTRY_LENGTH = 64;
constexpr u32 OSL_NVME_COMPLETION_LENGTH = 16;
constexpr u32 OSL_NVME_DWORD10 = 40;

// direction: 0 data from the drive, 1 data to the drive or none.
u64 osl_nvme_send(_OSL_PDEV* drive, u8* command, u8 commandLength, u8 direction, void* data,
                  u32 dataLength, u8* response, u16 responseLength, osl_cmd_type type,
                  u32 timeoutSeconds, bool ignoreError, bool securityList, bool effectsLog);

// The routes.
u64 osl_nvme_admin_win10(_OSL_PDEV* drive, u8* command, u8 commandLength, u8 direction,
                         void* data, u32 dataLength, u8* response, u16 responseLength,
                         osl_cmd_type type, u32 timeoutSeconds, bool ignoreError,
                         bool securityList, bool effectsLog);
u64 osl_nvme_protocol_command(_OSL_PDEV* drive, const u8* command, u8 commandLength,
                              u8 direction, void* data, u32 dataLength, u8* response,
                              u16 responseLength, osl_cmd_type type, u32 timeoutSeconds,
                              bool ignoreError);
// command may be null (the probe: controller data); effectsLog, when given,
// receives bit 1 of the controller data's byte 261.
u64 osl_nvme_query_identify(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                            u8* response, u16 responseLength, bool ignoreError,
                            bool logCompletion, u8* effectsLog);
u64 osl_nvme_query_log(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                       u8* response, u16 responseLength, bool ignoreError);
u64 osl_nvme_query_feature(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                           u8* response, u16 responseLength, bool ignoreError);
u64 osl_nvme_set_feature(_OSL_PDEV* drive, const u8* command, bool ignoreError);
u64 osl_nvme_set_cache(_OSL_PDEV* drive, u8 value, u32* lastError);
u64 osl_nvme_fw_download(_OSL_PDEV* drive, const u8* command, const void* data, u32 dataLength);
u64 osl_nvme_fw_activate(_OSL_PDEV* drive, const u8* command);
u64 osl_nvme_miniport_fw_download(_OSL_PDEV* drive, const u8* command, const void* data,
                                  u32 dataLength, u32 timeoutSeconds);
u64 osl_nvme_miniport_fw_activate(_OSL_PDEV* drive, const u8* command, u32 timeoutSeconds);
u64 osl_nvme_security_scsi(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                           u8* response, u16 responseLength, u32 timeoutSeconds,
                           bool ignoreError);
u64 osl_nvme_rw_scsi(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                     u8* response, u16 responseLength, u32 timeoutSeconds, bool ignoreError);
void osl_nvme_log_cqe(int level, const u8* completion, u32 length);

// The SCSI side. handled (may be null) tells whether the command was taken.
u64 osl_nvme_admin_scsi(_OSL_PDEV* drive, u8* command, u8 commandLength, u8 direction,
                        void* data, u32 dataLength, u8* response, u16 responseLength,
                        osl_cmd_type type, u32 timeoutSeconds, bool ignoreError,
                        bool securityList, u32* handled);
u64 osl_nvme_tunnel_command(_OSL_PDEV* drive, u8* command, u8 commandLength, u8 direction,
                            void* data, u32 dataLength, u8* response, u16 responseLength,
                            u32 timeoutSeconds, bool ignoreError);
u64 osl_nvme_probe_support(_OSL_PDEV* drive, u8* securityList, u8* effectsLog);
u8 osl_nvme_probe_tunnel(_OSL_PDEV* drive);
u64 osl_nvme_synth_identify(_OSL_PDEV* drive, void* data, u32 dataLength, u32* lastError,
                            u32 timeoutSeconds, bool ignoreError);
u64 osl_nvme_synth_fw_slot_log(_OSL_PDEV* drive, void* data, u32 dataLength, u32* lastError,
                               u32 timeoutSeconds);
// info: 512 bytes, the miniport's STORAGE_FIRMWARE_INFO at its data offset.
u64 osl_nvme_miniport_fw_info(_OSL_PDEV* drive, u8* info, u32* lastError, u32 timeoutSeconds);
