// The NVMe sender: one submission entry becomes the platform request that
// carries it on this Windows version, for this queue and opcode.
#include "osl/osl_nvme.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_log.h"
#include "osl/osl_scsi.h"
#include "osl/osl_storage.h"

namespace {

constexpr u8 OP_FIRMWARE_COMMIT = 0x10;
constexpr u8 OP_FIRMWARE_DOWNLOAD = 0x11;
constexpr u8 OP_GET_LOG_PAGE = 0x02;
constexpr u8 OP_IDENTIFY = 0x06;
constexpr u8 OP_SET_FEATURES = 0x09;
constexpr u8 OP_GET_FEATURES = 0x0A;
constexpr u8 OP_FORMAT_NVM = 0x80;
constexpr u8 OP_SECURITY_SEND = 0x81;
constexpr u8 OP_SECURITY_RECEIVE = 0x82;
constexpr u8 OP_VENDOR_FIRST = 0xC0;
constexpr u8 OP_WRITE = 0x01;
constexpr u8 OP_READ = 0x02;
constexpr u8 LOG_FIRMWARE_SLOT = 0x03;
constexpr u8 CNS_NAMESPACE = 0x00;
constexpr u8 CNS_CONTROLLER = 0x01;
constexpr u8 CNS_NAMESPACE_LIST = 0x02;
constexpr u8 FEATURE_TEMPERATURE_THRESHOLD = 0x04;
constexpr u8 FEATURE_WRITE_CACHE = 0x06;
constexpr u8 STATUS_FORMAT_IN_PROGRESS = 0x84;
// How long the tunnel waits, one second at a time, for a drive that answers
// "format in progress": a format that erases the user data of the largest
// drives ends well within a day, so a drive still formatting after that is
// taken to be stuck.
constexpr u32 FORMAT_WAIT_LIMIT_SECONDS = 24 * 60 * 60;
constexpr u8 TUNNEL_PROTOCOL = 0xF0;
constexpr u8 SECURITY_PROTOCOL_OUT = 0xB5;
constexpr u8 SECURITY_PROTOCOL_IN = 0xA2;
constexpr u32 DEFAULT_TIMEOUT_SECONDS = 86400;
constexpr u32 PROBE_LENGTH = 512;
constexpr u32 SCSI_SENSE_LENGTH = 64;
constexpr u16 SHORT_SENSE_LENGTH = 18;
constexpr u16 PROBE_SENSE_LENGTH = 12;

u32 le32(const u8* bytes) {
  return static_cast<u32>(bytes[0]) | static_cast<u32>(bytes[1]) << 8 |
         static_cast<u32>(bytes[2]) << 16 | static_cast<u32>(bytes[3]) << 24;
}

void putBigEndian(u8* out, u64 value, unsigned count) {
  for (unsigned i = 0; i < count; ++i)
    out[i] = static_cast<u8>(value >> (8 * (count - 1 - i)));
}

u32 dword(const u8* command, unsigned index) { return le32(command + 4 * index); }

u32 smaller(u32 a, u32 b) { return a < b ? a : b; }

// Level of the failure lines of a request.
int failureLevel(u64 status, bool ignoreError) {
  return status != 0 && !ignoreError ? OSL_LOG_ERROR : OSL_LOG_INFO;
}

void logFailure(u64 status, bool ignoreError, u32 error) {
  if (error) osl_log_ioctl_failure(failureLevel(status, ignoreError), error);
}

bool windows10() { return osl_windows_at_least(10, 0); }

// The SECURITY PROTOCOL OUT or IN block of the tunnel.
void tunnelBlock(u8 block[12], u8 operation, u32 length) {
  std::memset(block, 0, 12);
  block[0] = operation;
  block[1] = TUNNEL_PROTOCOL;
  putBigEndian(block + 6, length, 4);
}

// The miniport "FIRMWARE" request over a buffer of length bytes.
void fillFirmwareRequest(u8* buffer, u32 length, u32 function, u32 timeoutSeconds) {
  auto* header = reinterpret_cast<SRB_IO_CONTROL*>(buffer);
  header->HeaderLength = sizeof(SRB_IO_CONTROL);
  std::memcpy(header->Signature, "FIRMWARE", 8);
  header->Timeout = timeoutSeconds ? timeoutSeconds : DEFAULT_TIMEOUT_SECONDS;
  header->ControlCode = OSL_FIRMWARE_CONTROL_CODE;
  header->Length = length - sizeof(SRB_IO_CONTROL);
  auto* block = reinterpret_cast<osl_firmware_request_block*>(buffer + OSL_FIRMWARE_REQUEST_OFFSET);
  block->Version = 1;
  block->Size = sizeof(osl_firmware_request_block);
  block->Function = function;
  block->Flags = OSL_HW_FIRMWARE_CONTROLLER;
  block->DataBufferOffset = OSL_FIRMWARE_DATA_OFFSET;
  block->DataBufferLength = header->Length - OSL_FIRMWARE_REQUEST_OFFSET;
}

// The slot a firmware request names: bits 2-0 of Dword 10, 1 when 0.
u8 firmwareSlot(const u8* command) {
  u8 slot = static_cast<u8>(dword(command, 10) & 7);
  return slot ? slot : 1;
}

enum class QueryKind { identify, log, feature };

// What one protocol-specific query asks for.
struct ProtocolRequest {
  QueryKind kind;
  u32 propertyId;
  u32 dataType;
  u32 value;
  u32 subValue;
  u32 subValue2;
  u32 subValue3;
  u32 subValue4;
  u32 dataLength;   // ProtocolDataLength
  bool headerOnly;  // only the query itself goes to the driver
};

// One protocol-specific query; the caller has logged the entry.
u64 protocolQuery(_OSL_PDEV* drive, const ProtocolRequest& asked, void* data, u32 dataLength,
                  u8* response, u16 responseLength, bool ignoreError, bool logCompletion,
                  u8* effectsLog) {
  const u64 total = u64{OSL_PROTOCOL_QUERY_HEADER} + asked.dataLength;
  u8* buffer = total <= 0xFFFFFFFFu ? static_cast<u8*>(std::calloc(1, total)) : nullptr;
  if (!buffer) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  auto* query = reinterpret_cast<osl_protocol_query*>(buffer);
  query->PropertyId = asked.propertyId;
  query->QueryType = PropertyStandardQuery;
  osl_protocol_specific_data& specific = query->ProtocolSpecific;
  specific.ProtocolType = OSL_PROTOCOL_TYPE_NVME;
  specific.DataType = asked.dataType;
  specific.ProtocolDataRequestValue = asked.value;
  specific.ProtocolDataRequestSubValue = asked.subValue;
  specific.ProtocolDataRequestSubValue2 = asked.subValue2;
  specific.ProtocolDataRequestSubValue3 = asked.subValue3;
  specific.ProtocolDataRequestSubValue4 = asked.subValue4;
  specific.ProtocolDataOffset = sizeof(osl_protocol_specific_data);
  specific.ProtocolDataLength = asked.dataLength;

  u32 error = 0;
  u32 inLength = asked.headerOnly ? OSL_PROTOCOL_QUERY_HEADER : static_cast<u32>(total);
  u64 status = osl_ioctl(drive, IOCTL_STORAGE_QUERY_PROPERTY, buffer, inLength, buffer,
                         static_cast<u32>(total), &error);
  if (response && responseLength >= 4)
    std::memcpy(response, &specific.FixedProtocolReturnData, 4);
  if (status == 0) {
    const u32 start = offsetof(osl_protocol_query, ProtocolSpecific);
    u32 offset = specific.ProtocolDataOffset;
    u32 length = specific.ProtocolDataLength;
    // The answer must cover the bytes of a log page asked for, and whole
    // identify or feature data (a feature asked without data is not read).
    u32 covered = asked.kind == QueryKind::log ? asked.dataLength
                  : asked.kind == QueryKind::feature && !data ? 0
                                                               : OSL_PROTOCOL_DATA_LENGTH;
    bool good = query->PropertyId == OSL_PROTOCOL_QUERY_HEADER &&
                query->QueryType == OSL_PROTOCOL_QUERY_HEADER;
    if (good && (covered || asked.kind == QueryKind::log))
      good = offset >= sizeof specific && length != 0 && length >= covered &&
             u64{start} + offset + covered <= total;
    const u8* bytes = buffer + start + offset;
    if (good && asked.kind == QueryKind::identify) {
      if (asked.value == CNS_NAMESPACE) {
        good = le32(bytes) != 0 || le32(bytes + 4) != 0;
      } else if (asked.value == CNS_NAMESPACE_LIST) {
        good = le32(bytes) != 0;
      } else {
        good = (bytes[0] | bytes[1]) != 0 && le32(bytes + 516) != 0;
        if (good && effectsLog) *effectsLog = (bytes[261] >> 1) & 1;
      }
    }
    if (!good)
      status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
    else if (data)
      std::memcpy(data, bytes, smaller(dataLength, covered));
  }
  std::free(buffer);
  logFailure(status, ignoreError, error);
  if (logCompletion && response && responseLength)
    osl_nvme_log_cqe(failureLevel(status, ignoreError), response, responseLength);
  return status;
}

}  // namespace

u64 osl_nvme_send(_OSL_PDEV* drive, u8* command, u8 commandLength, u8 direction, void* data,
                  u32 dataLength, u8* response, u16 responseLength, osl_cmd_type type,
                  u32 timeoutSeconds, bool ignoreError, bool securityList, bool effectsLog) {
  // Every route reads the entry's Dwords 10 to 15.
  if (!command || commandLength < OSL_NVME_ENTRY_LENGTH) return ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  if (!osl_windows_at_least(6, 2)) return ORV_OSL_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
  if (type != OSL_CMD_NVME_ADMIN)
    return osl_nvme_rw_scsi(drive, command, data, dataLength, response, responseLength,
                            timeoutSeconds, ignoreError);
  bool win10 = windows10();
  switch (command[0]) {
    case OP_FIRMWARE_COMMIT:
      return win10 ? osl_nvme_fw_activate(drive, command)
                   : osl_nvme_miniport_fw_activate(drive, command, timeoutSeconds);
    case OP_FIRMWARE_DOWNLOAD:
      return win10 ? osl_nvme_fw_download(drive, command, data, dataLength)
                   : osl_nvme_miniport_fw_download(drive, command, data, dataLength,
                                                   timeoutSeconds);
    case OP_SECURITY_SEND:
    case OP_SECURITY_RECEIVE:
      return osl_nvme_security_scsi(drive, command, data, dataLength, response, responseLength,
                                    timeoutSeconds, ignoreError);
    default:
      if (win10)
        return osl_nvme_admin_win10(drive, command, commandLength, direction, data, dataLength,
                                    response, responseLength, type, timeoutSeconds, ignoreError,
                                    securityList, effectsLog);
      return osl_nvme_admin_scsi(drive, command, commandLength, direction, data, dataLength,
                                 response, responseLength, type, timeoutSeconds, ignoreError,
                                 securityList, nullptr);
  }
}

u64 osl_nvme_admin_win10(_OSL_PDEV* drive, u8* command, u8 commandLength, u8 direction,
                         void* data, u32 dataLength, u8* response, u16 responseLength,
                         osl_cmd_type type, u32 timeoutSeconds, bool ignoreError,
                         bool securityList, bool effectsLog) {
  u64 pending = 0;
  if (securityList) {
    u32 handled = 0;
    u64 status = osl_nvme_admin_scsi(drive, command, commandLength, direction, data, dataLength,
                                     response, responseLength, type, timeoutSeconds, ignoreError,
                                     true, &handled);
    if (handled) return status;
    pending = status;
  }
  u8 opcode = command[0];
  switch (opcode) {
    case OP_GET_LOG_PAGE:
      return osl_nvme_query_log(drive, command, data, dataLength, response, responseLength,
                                ignoreError);
    case OP_IDENTIFY:
      return osl_nvme_query_identify(drive, command, data, dataLength, response, responseLength,
                                     ignoreError, true, nullptr);
    case OP_SET_FEATURES:
      return osl_nvme_set_feature(drive, command, ignoreError);
    case OP_GET_FEATURES:
      return osl_nvme_query_feature(drive, command, data, dataLength, response, responseLength,
                                    ignoreError);
    default:
      break;
  }
  if (opcode < OP_VENDOR_FIRST && effectsLog) return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  if (pending) return pending;
  if (effectsLog)
    return osl_nvme_protocol_command(drive, command, commandLength, direction, data, dataLength,
                                     response, responseLength, type, timeoutSeconds, ignoreError);
  return osl_nvme_admin_scsi(drive, command, commandLength, direction, data, dataLength, response,
                             responseLength, type, timeoutSeconds, ignoreError, false, nullptr);
}

u64 osl_nvme_protocol_command(_OSL_PDEV* drive, const u8* command, u8 commandLength,
                              u8 direction, void* data, u32 dataLength, u8* response,
                              u16 responseLength, osl_cmd_type type, u32 timeoutSeconds,
                              bool ignoreError) {
  osl_log_cdb(OSL_LOG_INFO, command, commandLength);
  u64 total = static_cast<u64>(dataLength) + OSL_PROTOCOL_DATA_OFFSET;
  u8* buffer = total <= 0xFFFFFFFFu ? static_cast<u8*>(std::calloc(1, total)) : nullptr;
  if (!buffer) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  auto* request = reinterpret_cast<osl_storage_protocol_command*>(buffer);
  request->Version = 1;
  request->Length = OSL_PROTOCOL_COMMAND_LENGTH;
  request->ProtocolType = OSL_PROTOCOL_TYPE_NVME;
  request->Flags = OSL_PROTOCOL_COMMAND_ADAPTER_REQUEST;
  request->CommandLength = OSL_NVME_ENTRY_LENGTH;
  request->ErrorInfoLength = OSL_PROTOCOL_DATA_OFFSET - OSL_PROTOCOL_ERROR_INFO_OFFSET;
  request->ErrorInfoOffset = OSL_PROTOCOL_ERROR_INFO_OFFSET;
  request->TimeOutValue = timeoutSeconds;
  request->CommandSpecific =
      type == OSL_CMD_NVME_ADMIN ? OSL_PROTOCOL_COMMAND_ADMIN : OSL_PROTOCOL_COMMAND_IO;
  bool toDevice = direction == 1 && data && dataLength;
  bool fromDevice = !toDevice && data && dataLength;
  if (toDevice) {
    request->DataToDeviceTransferLength = dataLength;
    request->DataToDeviceBufferOffset = OSL_PROTOCOL_DATA_OFFSET;
    std::memcpy(buffer + OSL_PROTOCOL_DATA_OFFSET, data, dataLength);
  } else if (fromDevice) {
    request->DataFromDeviceTransferLength = dataLength;
    request->DataFromDeviceBufferOffset = OSL_PROTOCOL_DATA_OFFSET;
  }
  u8* entry = buffer + OSL_PROTOCOL_COMMAND_OFFSET;
  entry[0] = command[0];
  entry[1] = command[1] & 0x03;
  std::memcpy(entry + 4, command + 4, 4);
  std::memcpy(entry + 16, command + 16, 8);
  std::memcpy(entry + OSL_NVME_DWORD10, command + OSL_NVME_DWORD10, 24);

  u32 error = 0;
  u64 status = osl_ioctl(drive, OSL_IOCTL_STORAGE_PROTOCOL_COMMAND, buffer,
                         static_cast<u32>(total), buffer, static_cast<u32>(total), &error);
  if (response && responseLength >= 4) std::memcpy(response, &request->FixedProtocolReturnData, 4);
  if (status == 0 && fromDevice) {
    u64 offset = request->DataFromDeviceBufferOffset;
    if (offset + dataLength <= total)
      std::memcpy(data, buffer + offset, dataLength);
    else
      status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
  }
  std::free(buffer);
  logFailure(status, ignoreError, error);
  if (response && responseLength)
    osl_nvme_log_cqe(failureLevel(status, ignoreError), response, responseLength);
  return status;
}

u64 osl_nvme_query_identify(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                            u8* response, u16 responseLength, bool ignoreError,
                            bool logCompletion, u8* effectsLog) {
  ProtocolRequest asked = {QueryKind::identify, OSL_PROPERTY_ADAPTER_PROTOCOL_SPECIFIC,
                           OSL_NVME_DATA_TYPE_IDENTIFY, CNS_CONTROLLER, 0, 0, 0, 0,
                           OSL_PROTOCOL_DATA_LENGTH, false};
  if (command) {
    // The query carries a namespace, the controller and the active namespace
    // list; no other identify data.
    u8 cns = command[OSL_NVME_DWORD10];
    if (cns != CNS_NAMESPACE && cns != CNS_CONTROLLER && cns != CNS_NAMESPACE_LIST)
      return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
    osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
    asked.value = cns;
    if (cns == CNS_NAMESPACE) asked.subValue = dword(command, 1);
  }
  return protocolQuery(drive, asked, data, dataLength, response, responseLength, ignoreError,
                       logCompletion, effectsLog);
}

u64 osl_nvme_query_log(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                       u8* response, u16 responseLength, bool ignoreError) {
  u32 dword10 = dword(command, 10);
  // The query carries four of the seven bits of the log-specific field
  // (Dword 10 bits 14-8): a log that needs the others cannot be asked for.
  if ((dword10 >> 12) & 7) return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  u32 options = ((dword10 >> 15) & 1 ? OSL_LOG_PAGE_RETAIN_EVENT : 0) |
                ((dword10 >> 8) & OSL_LOG_PAGE_SPECIFIC_MASK) << OSL_LOG_PAGE_SPECIFIC_SHIFT;
  ProtocolRequest asked = {QueryKind::log, OSL_PROPERTY_DEVICE_PROTOCOL_SPECIFIC,
                           OSL_NVME_DATA_TYPE_LOG_PAGE, command[OSL_NVME_DWORD10],
                           dword(command, 12), dword(command, 13), dword(command, 11) >> 16,
                           options, data ? dataLength : 0, false};
  return protocolQuery(drive, asked, data, dataLength, response, responseLength, ignoreError,
                       true, nullptr);
}

u64 osl_nvme_query_feature(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                           u8* response, u16 responseLength, bool ignoreError) {
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  ProtocolRequest asked = {QueryKind::feature, OSL_PROPERTY_ADAPTER_PROTOCOL_SPECIFIC,
                           OSL_NVME_DATA_TYPE_FEATURE, command[OSL_NVME_DWORD10],
                           (dword(command, 10) >> 8) & 7, 0, 0, 0, OSL_PROTOCOL_DATA_LENGTH, true};
  return protocolQuery(drive, asked, data, dataLength, response, responseLength, ignoreError,
                       true, nullptr);
}

u64 osl_nvme_set_feature(_OSL_PDEV* drive, const u8* command, bool ignoreError) {
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  u32 value = dword(command, 11);
  u32 error = 0;
  u64 status = 0;
  switch (command[OSL_NVME_DWORD10]) {
    case FEATURE_TEMPERATURE_THRESHOLD: {
      osl_temperature_threshold threshold = {};
      threshold.Version = sizeof threshold;
      threshold.Size = sizeof threshold;
      threshold.Flags = OSL_HW_FIRMWARE_CONTROLLER;
      threshold.Index = 0;
      threshold.Threshold = static_cast<s16>(static_cast<u16>((value & 0xFFFF) - 273));
      threshold.OverThreshold = 1;
      status = osl_ioctl(drive, OSL_IOCTL_STORAGE_SET_TEMPERATURE_THRESHOLD, &threshold,
                         sizeof threshold, nullptr, 0, &error);
      break;
    }
    case FEATURE_WRITE_CACHE:
      status = osl_nvme_set_cache(drive, static_cast<u8>(value), &error);
      break;
    default:
      return ORV_OSL_STATUS(ORV_ERR_FEATURE_NOT_CHANGEABLE);
  }
  logFailure(status, ignoreError, error);
  return status;
}

u64 osl_nvme_set_cache(_OSL_PDEV* drive, u8 value, u32* lastError) {
  osl_disk_cache_information cache = {};
  u64 status = osl_ioctl(drive, OSL_IOCTL_DISK_GET_CACHE_INFORMATION, nullptr, 0, &cache,
                         sizeof cache, lastError);
  if (status) return status;
  cache.ReadCacheEnabled = value;
  cache.WriteCacheEnabled = value;
  return osl_ioctl(drive, OSL_IOCTL_DISK_SET_CACHE_INFORMATION, &cache, sizeof cache, nullptr, 0,
                   lastError);
}

u64 osl_nvme_fw_download(_OSL_PDEV* drive, const u8* command, const void* data, u32 dataLength) {
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  // The request keeps a page behind the image.
  u64 total = static_cast<u64>(dataLength) + 4096 + sizeof(osl_hw_firmware_download);
  u8* buffer = total <= 0xFFFFFFFFu ? static_cast<u8*>(std::calloc(1, total)) : nullptr;
  if (!buffer) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  auto* request = reinterpret_cast<osl_hw_firmware_download*>(buffer);
  request->Version = sizeof(osl_hw_firmware_download);
  request->Size = dataLength + sizeof(osl_hw_firmware_download);
  request->Flags = OSL_HW_FIRMWARE_CONTROLLER;
  if (dword(command, 13)) request->Flags |= OSL_HW_FIRMWARE_LAST_SEGMENT;
  request->Slot = 0;
  request->Offset = static_cast<u32>(dword(command, 11) * 4);
  request->BufferSize = dataLength;
  if (data && dataLength) std::memcpy(buffer + OSL_HW_FIRMWARE_DOWNLOAD_HEADER, data, dataLength);
  u32 error = 0;
  u64 status = osl_ioctl(drive, OSL_IOCTL_STORAGE_FIRMWARE_DOWNLOAD, buffer,
                         static_cast<u32>(total), buffer, static_cast<u32>(total), &error);
  std::free(buffer);
  logFailure(status, false, error);
  return status;
}

u64 osl_nvme_fw_activate(_OSL_PDEV* drive, const u8* command) {
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  const u32 length = 4096;
  u8* buffer = static_cast<u8*>(std::calloc(1, length));
  if (!buffer) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  auto* request = reinterpret_cast<osl_hw_firmware_activate*>(buffer);
  request->Version = sizeof(osl_hw_firmware_activate);
  request->Size = sizeof(osl_hw_firmware_activate);
  request->Flags = OSL_HW_FIRMWARE_CONTROLLER;
  request->Slot = firmwareSlot(command);
  u32 error = 0;
  u64 status = osl_ioctl(drive, OSL_IOCTL_STORAGE_FIRMWARE_ACTIVATE, buffer, length, buffer,
                         length, &error);
  std::free(buffer);
  logFailure(status, false, error);
  if (status && error == OSL_ERROR_FIRMWARE_REBOOT_REQUIRED)
    status = ORV_OSL_STATUS(ORV_ERR_REBOOT_REQUIRED);
  return status;
}

u64 osl_nvme_miniport_fw_download(_OSL_PDEV* drive, const u8* command, const void* data,
                                  u32 dataLength, u32 timeoutSeconds) {
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  u64 total = static_cast<u64>(dataLength) + OSL_FIRMWARE_IMAGE_OFFSET;
  u8* buffer = total <= 0xFFFFFFFFu ? static_cast<u8*>(std::calloc(1, total)) : nullptr;
  if (!buffer) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  fillFirmwareRequest(buffer, static_cast<u32>(total), OSL_FIRMWARE_FUNCTION_DOWNLOAD,
                      timeoutSeconds);
  auto* request = reinterpret_cast<osl_firmware_download*>(buffer + OSL_FIRMWARE_DATA_OFFSET);
  request->Version = 1;
  request->Size = sizeof(osl_firmware_download);
  request->Offset = static_cast<u32>(dword(command, 11) * 4);
  request->BufferSize = dataLength;
  if (data && dataLength) std::memcpy(buffer + OSL_FIRMWARE_IMAGE_OFFSET, data, dataLength);
  u32 error = 0;
  u64 status = osl_ioctl(drive, IOCTL_SCSI_MINIPORT, buffer, static_cast<u32>(total), buffer,
                         static_cast<u32>(total), &error);
  // A segment the driver refused must not pass for one it took.
  if (status == 0 && reinterpret_cast<SRB_IO_CONTROL*>(buffer)->ReturnCode != 0)
    status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
  std::free(buffer);
  logFailure(status, false, error);
  return status;
}

u64 osl_nvme_miniport_fw_activate(_OSL_PDEV* drive, const u8* command, u32 timeoutSeconds) {
  // Replacing an image without activating it has no miniport request.
  if (((dword(command, 10) >> 3) & 7) == 0) return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  const u32 length = 592;
  u8* buffer = static_cast<u8*>(std::calloc(1, length));
  if (!buffer) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  fillFirmwareRequest(buffer, length, OSL_FIRMWARE_FUNCTION_ACTIVATE, timeoutSeconds);
  auto* request = reinterpret_cast<osl_firmware_activate*>(buffer + OSL_FIRMWARE_DATA_OFFSET);
  request->Version = 1;
  request->Size = sizeof(osl_firmware_activate);
  request->SlotToActivate = firmwareSlot(command);
  u32 error = 0;
  u64 status = osl_ioctl(drive, IOCTL_SCSI_MINIPORT, buffer, length, buffer, length, &error);
  u32 returnCode = reinterpret_cast<SRB_IO_CONTROL*>(buffer)->ReturnCode;
  std::free(buffer);
  logFailure(status, false, error);
  if (status) return status;
  if (returnCode == 0) return 0;
  if (returnCode == OSL_FIRMWARE_STATUS_REBOOT_REQUIRED)
    return ORV_OSL_STATUS(ORV_ERR_REBOOT_REQUIRED);
  return ORV_OSL_STATUS(ORV_ERR_GENERIC);
}

u64 osl_nvme_security_scsi(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                           u8* response, u16 responseLength, u32 timeoutSeconds,
                           bool ignoreError) {
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  bool receive = command[0] == OP_SECURITY_RECEIVE;
  u32 value = dword(command, 10);
  u8 block[12] = {};
  block[0] = receive ? SECURITY_PROTOCOL_IN : SECURITY_PROTOCOL_OUT;
  block[1] = static_cast<u8>(value >> 24);
  putBigEndian(block + 2, (value >> 8) & 0xFFFF, 2);
  putBigEndian(block + 6, dataLength, 4);
  return osl_scsi_send_direct(drive, block, sizeof block, receive ? 1 : 0, data, dataLength,
                              response, responseLength, timeoutSeconds, true, ignoreError,
                              nullptr);
}

u64 osl_nvme_rw_scsi(_OSL_PDEV* drive, const u8* command, void* data, u32 dataLength,
                     u8* response, u16 responseLength, u32 timeoutSeconds, bool ignoreError) {
  if (command[0] != OP_WRITE && command[0] != OP_READ)
    return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  bool read = command[0] == OP_READ;
  u8 block[16] = {};
  block[0] = read ? 0x88 : 0x8A;
  u64 lba = static_cast<u64>(dword(command, 10)) | static_cast<u64>(dword(command, 11)) << 32;
  putBigEndian(block + 2, lba, 8);
  putBigEndian(block + 10, static_cast<u32>(dword(command, 12) + 1), 4);
  return osl_scsi_send_direct(drive, block, sizeof block, read ? 1 : 0, data, dataLength,
                              response, responseLength, timeoutSeconds, true, ignoreError,
                              nullptr);
}

void osl_nvme_log_cqe(int level, const u8* completion, u32 length) {
  if (!completion || length == 0) return;
  u32 status = length >= OSL_NVME_COMPLETION_LENGTH ? le32(completion + 12) : 0;
  osl_log_at(level, "NVMe Status code: 0x%02x, Status: 0x%02x\n", (status >> 25) & 7,
             (status >> 17) & 0xFF);
  char text[OSL_NVME_COMPLETION_LENGTH * 3 + 1] = "";
  u32 count = smaller(length, OSL_NVME_COMPLETION_LENGTH);
  for (u32 i = 0; i < count; ++i) std::snprintf(text + 3 * i, 4, "%02x ", completion[i]);
  osl_log_at(level, "NVMe Completion queue entry: %s\n", text);
  int lineLevel = level >= OSL_LOG_ALERT && level <= OSL_LOG_INFO ? level : OSL_LOG_DEBUG;
  osl_log(static_cast<osl_log_priority_e>(lineLevel), "\n");
}

// ---------------------------------------------------------------------------
// The SCSI side.

u64 osl_nvme_admin_scsi(_OSL_PDEV* drive, u8* command, u8 commandLength, u8 direction,
                        void* data, u32 dataLength, u8* response, u16 responseLength,
                        osl_cmd_type type, u32 timeoutSeconds, bool ignoreError,
                        bool securityList, u32* handled) {
  if (handled) *handled = 0;
  if (type != OSL_CMD_NVME_ADMIN) return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  u8 opcode = command[0];
  if (opcode != OP_GET_LOG_PAGE && opcode != OP_IDENTIFY && opcode != OP_SET_FEATURES &&
      opcode != OP_GET_FEATURES && opcode != OP_FORMAT_NVM)
    return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  if (securityList) {
    if (handled) *handled = 1;
    return osl_nvme_tunnel_command(drive, command, commandLength, direction, data, dataLength,
                                   response, responseLength, timeoutSeconds, ignoreError);
  }
  osl_log_cdb(OSL_LOG_INFO, command, commandLength);
  u32 error = 0;
  u64 status = ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  bool taken = false;
  if (opcode == OP_GET_LOG_PAGE && command[OSL_NVME_DWORD10] == LOG_FIRMWARE_SLOT) {
    taken = true;
    status = osl_nvme_synth_fw_slot_log(drive, data, dataLength, &error, timeoutSeconds);
  } else if (opcode == OP_IDENTIFY) {
    taken = true;
    if (command[OSL_NVME_DWORD10] == CNS_CONTROLLER) {
      status = osl_nvme_synth_identify(drive, data, dataLength, &error, timeoutSeconds,
                                       ignoreError);
    } else {
      if (data) std::memset(data, 0, dataLength);
      status = 0;
    }
  }
  if (handled) *handled = taken ? 1 : 0;
  logFailure(status, ignoreError, error);
  return status;
}

u64 osl_nvme_tunnel_command(_OSL_PDEV* drive, u8* command, u8 commandLength, u8 direction,
                            void* data, u32 dataLength, u8* response, u16 responseLength,
                            u32 timeoutSeconds, bool ignoreError) {
  if (!command || commandLength != OSL_NVME_ENTRY_LENGTH)
    return ORV_OSL_STATUS(ORV_ERR_BUFFER_LENGTH);
  bool outgoing = direction == 1 && data;
  bool incoming = direction == 0 && data;
  u64 sendLength = OSL_NVME_ENTRY_LENGTH + (outgoing ? static_cast<u64>(dataLength) : 0);
  u8* buffer = sendLength <= 0xFFFFFFFFu ? static_cast<u8*>(std::calloc(1, sendLength)) : nullptr;
  if (!buffer) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  // The driver takes no fused operation and no data pointers.
  command[1] = 0;
  std::memset(command + 24, 0, 16);
  std::memcpy(buffer, command, OSL_NVME_ENTRY_LENGTH);
  if (outgoing) std::memcpy(buffer + OSL_NVME_ENTRY_LENGTH, data, dataLength);
  u8 block[12];
  tunnelBlock(block, SECURITY_PROTOCOL_OUT, static_cast<u32>(sendLength));
  u8 sense[SCSI_SENSE_LENGTH];
  u32 error = 0;
  u64 status = osl_scsi_send_direct(drive, block, sizeof block, 0, buffer,
                                    static_cast<u32>(sendLength), sense, sizeof sense,
                                    timeoutSeconds, false, ignoreError, &error);
  std::free(buffer);
  osl_log_cdb(OSL_LOG_INFO, command, OSL_NVME_ENTRY_LENGTH);
  if (status) {
    logFailure(status, ignoreError, error);
    return status;
  }

  u64 receiveLength = OSL_NVME_ENTRY_LENGTH + (incoming ? static_cast<u64>(dataLength) : 0);
  for (u32 waited = 0;; ++waited) {
    buffer = receiveLength <= 0xFFFFFFFFu ? static_cast<u8*>(std::calloc(1, receiveLength))
                                          : nullptr;
    if (!buffer) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
    tunnelBlock(block, SECURITY_PROTOCOL_IN, static_cast<u32>(receiveLength));
    status = osl_scsi_send_direct(drive, block, sizeof block, 1, buffer,
                                  static_cast<u32>(receiveLength), sense, sizeof sense,
                                  timeoutSeconds, false, ignoreError, &error);
    u32 completion = le32(buffer + 12);
    if (status == 0) {
      if (response && responseLength)
        std::memcpy(response, buffer, smaller(responseLength, OSL_NVME_COMPLETION_LENGTH));
      if (incoming) std::memcpy(data, buffer + OSL_NVME_ENTRY_LENGTH, dataLength);
    }
    std::free(buffer);
    if (status) break;
    u32 statusType = (completion >> 25) & 7;
    u32 statusCode = (completion >> 17) & 0xFF;
    if (statusType == 0 && statusCode == STATUS_FORMAT_IN_PROGRESS) {
      if (waited == FORMAT_WAIT_LIMIT_SECONDS) {
        status = ORV_OSL_STATUS(ORV_ERR_FORMAT_ACTIVE);
        break;
      }
      Sleep(1000);
      continue;
    }
    if (statusType != 0 || statusCode != 0) status = ORV_OSL_STATUS(ORV_ERR_GENERIC);
    break;
  }
  int level = failureLevel(status, ignoreError);
  if (error) osl_log_ioctl_failure(level, error);
  if (response && responseLength) osl_nvme_log_cqe(level, response, responseLength);
  return status;
}

u64 osl_nvme_probe_support(_OSL_PDEV* drive, u8* securityList, u8* effectsLog) {
  *securityList = osl_nvme_probe_tunnel(drive);
  *effectsLog = 0;
  if (windows10()) {
    u8 effects = 0;
    if (osl_nvme_query_identify(drive, nullptr, nullptr, 0, nullptr, 0, true, false, &effects) ==
        0)
      *effectsLog = effects;
  }
  return 0;
}

namespace {

// SECURITY PROTOCOL IN of protocol 0: the list of supported protocols.
u64 securityProtocolList(_OSL_PDEV* drive, u8* list, u8* sense, u16 senseLength,
                         bool ignoreError) {
  const u8 block[12] = {SECURITY_PROTOCOL_IN, 0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0, 0};
  return osl_scsi_send_direct(drive, block, sizeof block, 1, list, PROBE_LENGTH, sense,
                              senseLength, 0, false, ignoreError, nullptr);
}

}  // namespace

u8 osl_nvme_probe_tunnel(_OSL_PDEV* drive) {
  u8* list = static_cast<u8*>(std::calloc(1, PROBE_LENGTH));
  if (!list) return 0;
  u8 sense[PROBE_SENSE_LENGTH];
  u8 found = 0;
  if (securityProtocolList(drive, list, sense, sizeof sense, true) == 0)
    found = std::memchr(list, TUNNEL_PROTOCOL, PROBE_LENGTH) ? 1 : 0;
  std::free(list);
  return found;
}

u64 osl_nvme_synth_identify(_OSL_PDEV* drive, void* data, u32 dataLength, u32* lastError,
                            u32 timeoutSeconds, bool ignoreError) {
  alignas(8) u8 descriptor[OSL_DESCRIPTOR_LENGTH];
  u64 status = osl_query_device_descriptor(drive, descriptor);
  if (status) return status;
  u8* info = static_cast<u8*>(std::calloc(1, PROBE_LENGTH));
  if (!info) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  status = osl_nvme_miniport_fw_info(drive, info, lastError, timeoutSeconds);
  if (status) {
    std::free(info);
    return status;
  }
  u8 list[PROBE_LENGTH];
  u8 sense[SHORT_SENSE_LENGTH];
  bool security = securityProtocolList(drive, list, sense, sizeof sense, ignoreError) == 0;

  u8* bytes = static_cast<u8*>(data);
  if (bytes) std::memset(bytes, 0, dataLength);
  auto put = [&](u32 at, const void* from, u32 length) {
    if (bytes && at < dataLength) std::memcpy(bytes + at, from, smaller(length, dataLength - at));
  };
  const auto* fixed = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(descriptor);
  struct Text {
    u32 offset;
    u32 at;
    u32 limit;
  };
  const Text texts[] = {{fixed->SerialNumberOffset, 4, 20},
                        {fixed->ProductIdOffset, 24, 40},
                        {fixed->ProductRevisionOffset, 64, 8}};
  for (const Text& text : texts) {
    char value[41];
    if (osl_descriptor_text(descriptor, sizeof descriptor, text.offset, text.limit, value))
      put(text.at, value, static_cast<u32>(std::strlen(value)));
  }
  const u8 inquiry[6] = {0x12, 0x01, 0x80, 0x02, 0x00, 0x00};
  if (osl_scsi_send_direct(drive, inquiry, sizeof inquiry, 1, list, PROBE_LENGTH, sense,
                           sizeof sense, timeoutSeconds, true, ignoreError, lastError) == 0)
    put(4, list + 4, 20);

  u32 firmwareOffset = le32(info + OSL_FIRMWARE_REQUEST_OFFSET + 16);
  u8 oacs = 0x04 | (security ? 0x01 : 0x00);
  u8 frmw = 0;
  if (firmwareOffset <= PROBE_LENGTH - OSL_FIRMWARE_INFO_HEADER - sizeof(osl_firmware_slot_info)) {
    const auto* firmware = reinterpret_cast<const osl_firmware_info*>(info + firmwareOffset);
    frmw = static_cast<u8>((firmware->Slot[0].ReadOnly ? 1 : 0) | (firmware->SlotCount & 7) << 1);
  }
  put(256, &oacs, 1);
  put(260, &frmw, 1);
  std::free(info);
  return 0;
}

u64 osl_nvme_synth_fw_slot_log(_OSL_PDEV* drive, void* data, u32 dataLength, u32* lastError,
                               u32 timeoutSeconds) {
  u8* info = static_cast<u8*>(std::calloc(1, PROBE_LENGTH));
  if (!info) return ORV_OSL_STATUS(ORV_ERR_NO_MEMORY);
  u64 status = osl_nvme_miniport_fw_info(drive, info, lastError, timeoutSeconds);
  u32 firmwareOffset = le32(info + OSL_FIRMWARE_REQUEST_OFFSET + 16);
  if (status == 0 && data && firmwareOffset <= PROBE_LENGTH - OSL_FIRMWARE_INFO_HEADER) {
    const auto* firmware = reinterpret_cast<const osl_firmware_info*>(info + firmwareOffset);
    u8* bytes = static_cast<u8*>(data);
    std::memset(bytes, 0, dataLength);
    u8 active = firmware->ActiveSlot & 7;
    if (firmware->PendingActivateSlot < 255) active |= (firmware->PendingActivateSlot & 7) << 4;
    if (dataLength) bytes[0] = active;
    // Slots beyond the information buffer are not read.
    u32 room = (PROBE_LENGTH - firmwareOffset - OSL_FIRMWARE_INFO_HEADER) /
               sizeof(osl_firmware_slot_info);
    u32 count = smaller(smaller(firmware->SlotCount, 7), room);
    for (u32 i = 0; i < count && 8 + 8 * i + 8 <= dataLength; ++i)
      std::memcpy(bytes + 8 + 8 * i, firmware->Slot[i].Revision, 8);
  }
  std::free(info);
  return status;
}

u64 osl_nvme_miniport_fw_info(_OSL_PDEV* drive, u8* info, u32* lastError, u32 timeoutSeconds) {
  std::memset(info, 0, PROBE_LENGTH);
  fillFirmwareRequest(info, PROBE_LENGTH, OSL_FIRMWARE_FUNCTION_GET_INFO, timeoutSeconds);
  return osl_ioctl(drive, IOCTL_SCSI_MINIPORT, info, PROBE_LENGTH, info, PROBE_LENGTH, lastError);
}
