// What the NVMe driver answers: the protocol-specific property queries, the
// storage protocol command, temperature threshold and firmware requests of
// Windows 10, the miniport "FIRMWARE" requests, and the disk cache
// information. Each request becomes a submission entry to the controller;
// the trace keeps that entry as the request's command. A command the
// controller completes with an error fails the request with
// ERROR_IO_DEVICE (the miniport requests: with a return code instead).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "osl/osl_storage.h"
#include "winsim/drive_nvme.h"
#include "winsim/machine.h"
#include "winsim/storage.h"
#include "winsim/winsim_test.h"

namespace winsim {
namespace {

constexpr uint32_t ALL_NAMESPACES = 0xFFFFFFFF;
// Miniport return codes.
constexpr ULONG FIRMWARE_STATUS_SUCCESS = 0;
constexpr ULONG FIRMWARE_STATUS_ERROR = 1;

bool windows10() { return std::atoi(Machine::current().windowsVersion().c_str()) >= 10; }

void putDword(NvmeIo& io, unsigned index, uint32_t value) {
  for (unsigned i = 0; i < 4; ++i) io.command[4 * index + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Runs an entry on the disk's controller and traces it.
void run(Call& call, NvmeDrive& nvme, NvmeIo& io) {
  call.trace.command.assign(io.command, io.command + sizeof io.command);
  call.trace.dataLength = io.length;
  nvme.execute(io);
}

NvmeDrive* controllerOf(Call& call) { return call.disk.nvmeDriver(); }

bool isCommitForReset(const NvmeIo& io) {
  uint8_t action = static_cast<uint8_t>((io.dword(10) >> 3) & 7);
  return (!io.failed() && (action == 1 || action == 2)) ||
         (io.statusType == (NVME_REQUIRES_CONVENTIONAL_RESET >> 8) &&
          io.statusCode == (NVME_REQUIRES_CONVENTIONAL_RESET & 0xFF));
}

// The commit the driver sends to activate a slot: the waiting image goes
// into it first; at once when the controller can, else at the next reset.
NvmeIo activation(NvmeDrive& nvme, uint8_t slot) {
  bool image = nvme.download().complete() && !nvme.download().empty();
  uint8_t action = nvme.activatesWithoutReset() ? 3 : image ? 1 : 2;
  NvmeIo io;
  io.command[0] = FIRMWARE_COMMIT;
  putDword(io, 10, static_cast<uint32_t>(slot & 7) | static_cast<uint32_t>(action) << 3);
  return io;
}

NvmeIo imageDownload(const uint8_t* data, uint64_t offset, uint64_t length) {
  NvmeIo io;
  io.command[0] = FIRMWARE_DOWNLOAD;
  putDword(io, 10, static_cast<uint32_t>(length / 4 - 1));
  putDword(io, 11, static_cast<uint32_t>(offset / 4));
  io.phase = DataPhase::out;
  io.data = const_cast<uint8_t*>(data);
  io.length = static_cast<uint32_t>(length);
  return io;
}

bool validSegment(uint64_t offset, uint64_t length) {
  return length != 0 && length % 4 == 0 && offset % 4 == 0 && length <= 0x1000000;
}

}  // namespace

DWORD nvmeProtocolQuery(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  if (!nvme || !windows10()) return ERROR_NOT_SUPPORTED;
  if (call.inSize < OSL_PROTOCOL_QUERY_HEADER) return ERROR_INVALID_PARAMETER;
  osl_protocol_query query;
  std::memcpy(&query, call.in, sizeof query);
  const osl_protocol_specific_data& asked = query.ProtocolSpecific;
  const uint32_t start = offsetof(osl_protocol_query, ProtocolSpecific);
  if (query.QueryType != PropertyStandardQuery || asked.ProtocolType != OSL_PROTOCOL_TYPE_NVME ||
      asked.ProtocolDataOffset < sizeof(osl_protocol_specific_data))
    return ERROR_INVALID_PARAMETER;
  uint64_t needed = uint64_t{start} + asked.ProtocolDataOffset + asked.ProtocolDataLength;
  if (!call.out || call.outSize < needed) return ERROR_INSUFFICIENT_BUFFER;

  // The driver moves at most what its adapter moves in one transfer, and
  // says so in the ProtocolDataLength it hands back.
  std::vector<uint8_t> data(std::min<uint64_t>(asked.ProtocolDataLength, maximumTransfer(call.disk)), 0);
  NvmeIo io;
  io.phase = data.empty() ? DataPhase::none : DataPhase::in;
  io.data = data.data();
  io.length = static_cast<uint32_t>(data.size());
  switch (asked.DataType) {
    case OSL_NVME_DATA_TYPE_IDENTIFY:
      // A namespace, the controller or the active namespace list only.
      if (asked.ProtocolDataRequestValue > 2) return ERROR_NOT_SUPPORTED;
      if (data.size() < 4096) return ERROR_INVALID_PARAMETER;
      io.command[0] = IDENTIFY;
      putDword(io, 1, asked.ProtocolDataRequestValue == 0 ? asked.ProtocolDataRequestSubValue : 0);
      putDword(io, 10, asked.ProtocolDataRequestValue);
      break;
    case OSL_NVME_DATA_TYPE_LOG_PAGE: {
      if (data.size() < 4 || data.size() % 4) return ERROR_INVALID_PARAMETER;
      // SubValue and SubValue2 the byte offset, SubValue3 the log-specific
      // identifier, SubValue4 the retain-event bit and log-specific field.
      uint32_t dwords = static_cast<uint32_t>(data.size() / 4 - 1);
      uint32_t options = asked.ProtocolDataRequestSubValue4;
      io.command[0] = GET_LOG_PAGE;
      putDword(io, 1, ALL_NAMESPACES);
      putDword(io, 10, (asked.ProtocolDataRequestValue & 0xFF) |
                           ((options >> OSL_LOG_PAGE_SPECIFIC_SHIFT) & OSL_LOG_PAGE_SPECIFIC_MASK) << 8 |
                           (options & OSL_LOG_PAGE_RETAIN_EVENT) << 15 | (dwords & 0xFFFF) << 16);
      putDword(io, 11, dwords >> 16 | asked.ProtocolDataRequestSubValue3 << 16);
      putDword(io, 12, asked.ProtocolDataRequestSubValue);
      putDword(io, 13, asked.ProtocolDataRequestSubValue2);
      break;
    }
    case OSL_NVME_DATA_TYPE_FEATURE:
      io.command[0] = GET_FEATURES;
      putDword(io, 10, (asked.ProtocolDataRequestValue & 0xFF) |
                           (asked.ProtocolDataRequestSubValue & 7) << 8);
      break;
    default:
      return ERROR_INVALID_PARAMETER;
  }
  run(call, *nvme, io);
  if (io.failed()) return ERROR_IO_DEVICE;
  osl_protocol_query answer = query;
  answer.PropertyId = OSL_PROTOCOL_QUERY_HEADER;  // Version
  answer.QueryType = OSL_PROTOCOL_QUERY_HEADER;   // Size
  answer.ProtocolSpecific.ProtocolDataLength = static_cast<uint32_t>(data.size());
  answer.ProtocolSpecific.FixedProtocolReturnData = io.result;
  std::memset(call.out, 0, static_cast<size_t>(needed));
  std::memcpy(call.out, &answer, sizeof answer);
  if (!data.empty()) std::memcpy(call.out + start + asked.ProtocolDataOffset, data.data(), data.size());
  call.returned = static_cast<DWORD>(needed);
  return ERROR_SUCCESS;
}

DWORD nvmeProtocolCommand(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  if (!nvme || !windows10()) return ERROR_INVALID_FUNCTION;
  const uint32_t entryEnd = OSL_PROTOCOL_COMMAND_OFFSET + 64;
  if (call.inSize < entryEnd || call.outSize < entryEnd) return ERROR_INVALID_PARAMETER;
  std::vector<uint8_t> system(std::max(call.inSize, call.outSize), 0);
  std::memcpy(system.data(), call.in, call.inSize);
  auto* request = reinterpret_cast<osl_storage_protocol_command*>(system.data());
  call.trace.timeout = request->TimeOutValue;
  auto within = [](uint64_t offset, uint64_t length, uint64_t size) {
    return length == 0 || (offset >= OSL_PROTOCOL_COMMAND_OFFSET + 64 && offset + length <= size);
  };
  if (request->Version != 1 || request->Length != OSL_PROTOCOL_COMMAND_LENGTH ||
      request->ProtocolType != OSL_PROTOCOL_TYPE_NVME || request->CommandLength != 64 ||
      (request->DataToDeviceTransferLength && request->DataFromDeviceTransferLength) ||
      !within(request->DataToDeviceBufferOffset, request->DataToDeviceTransferLength, call.inSize) ||
      !within(request->DataFromDeviceBufferOffset, request->DataFromDeviceTransferLength,
              call.outSize) ||
      !within(request->ErrorInfoOffset, request->ErrorInfoLength, call.outSize) ||
      request->TimeOutValue == 0)
    return ERROR_INVALID_PARAMETER;
  NvmeIo io;
  std::memcpy(io.command, system.data() + OSL_PROTOCOL_COMMAND_OFFSET, 64);
  // The driver passes only vendor commands, and only for a controller that
  // reports their effects.
  if (request->CommandSpecific == OSL_PROTOCOL_COMMAND_ADMIN &&
      (io.opcode() < VENDOR_FIRST || !nvme->effectsLog()))
    return ERROR_NOT_SUPPORTED;
  if (request->DataToDeviceTransferLength) {
    io.phase = DataPhase::out;
    io.data = system.data() + request->DataToDeviceBufferOffset;
    io.length = request->DataToDeviceTransferLength;
  } else if (request->DataFromDeviceTransferLength) {
    io.phase = DataPhase::in;
    io.data = system.data() + request->DataFromDeviceBufferOffset;
    io.length = request->DataFromDeviceTransferLength;
  }
  run(call, *nvme, io);
  request->ReturnStatus = io.failed() ? 2 : 1;
  request->ErrorCode = static_cast<uint32_t>(io.statusType) << 8 | io.statusCode;
  request->FixedProtocolReturnData = io.result;
  if (request->ErrorInfoLength >= 16) {
    std::vector<uint8_t> entry = io.completion();
    std::memcpy(system.data() + request->ErrorInfoOffset, entry.data(), entry.size());
  }
  std::memcpy(call.out, system.data(), call.outSize);
  call.returned = call.outSize;
  return io.failed() ? ERROR_IO_DEVICE : ERROR_SUCCESS;
}

DWORD nvmeFirmwareInfo(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  if (!nvme || !windows10()) return ERROR_INVALID_FUNCTION;
  if (call.inSize < sizeof(STORAGE_HW_FIRMWARE_INFO_QUERY)) return ERROR_INVALID_PARAMETER;
  const size_t header = offsetof(STORAGE_HW_FIRMWARE_INFO, Slot);
  size_t needed = header + nvme->slotCount() * sizeof(STORAGE_HW_FIRMWARE_SLOT_INFO);
  if (!call.out || call.outSize < needed) return ERROR_INSUFFICIENT_BUFFER;
  std::vector<uint8_t> bytes(needed, 0);
  auto* info = reinterpret_cast<STORAGE_HW_FIRMWARE_INFO*>(bytes.data());
  info->Version = sizeof(STORAGE_HW_FIRMWARE_INFO);
  info->Size = static_cast<DWORD>(needed);
  info->SupportUpgrade = 1;
  info->SlotCount = nvme->slotCount();
  info->ActiveSlot = nvme->activeSlot();
  info->PendingActivateSlot = nvme->pendingSlot() ? nvme->pendingSlot() : 0xFF;
  info->ImagePayloadAlignment = 4;
  info->ImagePayloadMaxSize = 0x20000;
  for (uint8_t slot = 1; slot <= nvme->slotCount(); ++slot) {
    auto* one = reinterpret_cast<STORAGE_HW_FIRMWARE_SLOT_INFO*>(
        bytes.data() + header + (slot - 1) * sizeof(STORAGE_HW_FIRMWARE_SLOT_INFO));
    one->Version = sizeof(STORAGE_HW_FIRMWARE_SLOT_INFO);
    one->Size = sizeof(STORAGE_HW_FIRMWARE_SLOT_INFO);
    one->SlotNumber = slot;
    one->ReadOnly = slot == 1 && nvme->firstSlotReadOnly();
    std::string revision = nvme->slotRevision(slot);
    std::memcpy(one->Revision, revision.data(), std::min<size_t>(revision.size(), 16));
  }
  std::memcpy(call.out, bytes.data(), needed);
  call.returned = static_cast<DWORD>(needed);
  return ERROR_SUCCESS;
}

DWORD nvmeFirmwareDownload(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  if (!nvme || !windows10()) return ERROR_INVALID_FUNCTION;
  if (call.inSize < OSL_HW_FIRMWARE_DOWNLOAD_HEADER) return ERROR_INVALID_PARAMETER;
  osl_hw_firmware_download request;
  std::memcpy(&request, call.in, OSL_HW_FIRMWARE_DOWNLOAD_HEADER);
  // An NVMe drive's firmware is its controller's: a request for the device
  // object itself finds none.
  if (!(request.Flags & OSL_HW_FIRMWARE_CONTROLLER)) return ERROR_NOT_SUPPORTED;
  if (request.Version < sizeof request || !validSegment(request.Offset, request.BufferSize) ||
      request.BufferSize > call.inSize - OSL_HW_FIRMWARE_DOWNLOAD_HEADER)
    return ERROR_INVALID_PARAMETER;
  NvmeIo io = imageDownload(call.in + OSL_HW_FIRMWARE_DOWNLOAD_HEADER, request.Offset,
                            request.BufferSize);
  run(call, *nvme, io);
  return io.failed() ? ERROR_IO_DEVICE : ERROR_SUCCESS;
}

DWORD nvmeFirmwareActivate(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  if (!nvme || !windows10()) return ERROR_INVALID_FUNCTION;
  if (call.inSize < sizeof(osl_hw_firmware_activate)) return ERROR_INVALID_PARAMETER;
  osl_hw_firmware_activate request;
  std::memcpy(&request, call.in, sizeof request);
  if (request.Version < sizeof request) return ERROR_INVALID_PARAMETER;
  if (!(request.Flags & OSL_HW_FIRMWARE_CONTROLLER)) return ERROR_NOT_SUPPORTED;
  NvmeIo io = activation(*nvme, request.Slot);
  run(call, *nvme, io);
  if (isCommitForReset(io)) return OSL_ERROR_FIRMWARE_REBOOT_REQUIRED;
  return io.failed() ? ERROR_IO_DEVICE : ERROR_SUCCESS;
}

DWORD nvmeTemperatureThreshold(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  if (!nvme || !windows10()) return ERROR_INVALID_FUNCTION;
  if (call.inSize < sizeof(osl_temperature_threshold)) return ERROR_INVALID_PARAMETER;
  osl_temperature_threshold request;
  std::memcpy(&request, call.in, sizeof request);
  if (request.Version != sizeof request || request.Size != sizeof request)
    return ERROR_INVALID_PARAMETER;
  NvmeIo io;
  io.command[0] = SET_FEATURES;
  putDword(io, 10, 0x04);
  putDword(io, 11, static_cast<uint16_t>(request.Threshold + 273) |
                       static_cast<uint32_t>(request.Index & 0xF) << 16 |
                       (request.OverThreshold ? 0u : 1u) << 20);
  run(call, *nvme, io);
  return io.failed() ? ERROR_IO_DEVICE : ERROR_SUCCESS;
}

DWORD nvmeMiniportFirmware(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  const uint32_t dataOffset = OSL_FIRMWARE_DATA_OFFSET;
  if (call.inSize < dataOffset || call.outSize < call.inSize) return ERROR_INVALID_PARAMETER;
  std::vector<uint8_t> system(call.outSize, 0);
  std::memcpy(system.data(), call.in, call.inSize);
  auto* header = reinterpret_cast<SRB_IO_CONTROL*>(system.data());
  auto* block = reinterpret_cast<osl_firmware_request_block*>(system.data() + OSL_FIRMWARE_REQUEST_OFFSET);
  call.trace.timeout = header->Timeout;
  if (header->HeaderLength != sizeof(SRB_IO_CONTROL) || header->ControlCode != OSL_FIRMWARE_CONTROL_CODE ||
      uint64_t{header->Length} + sizeof(SRB_IO_CONTROL) > call.inSize || block->Version != 1 ||
      block->Size != sizeof(osl_firmware_request_block) || block->DataBufferOffset < dataOffset ||
      uint64_t{block->DataBufferOffset} + block->DataBufferLength > call.inSize)
    return ERROR_INVALID_PARAMETER;
  uint8_t* area = system.data() + block->DataBufferOffset;
  ULONG returnCode = FIRMWARE_STATUS_SUCCESS;
  switch (block->Function) {
    case OSL_FIRMWARE_FUNCTION_GET_INFO: {
      size_t needed = OSL_FIRMWARE_INFO_HEADER + nvme->slotCount() * sizeof(osl_firmware_slot_info);
      if (block->DataBufferLength < needed) return ERROR_INSUFFICIENT_BUFFER;
      auto* info = reinterpret_cast<osl_firmware_info*>(area);
      info->Version = 1;
      info->Size = static_cast<u32>(needed);
      info->UpgradeSupport = 1;
      info->SlotCount = nvme->slotCount();
      info->ActiveSlot = nvme->activeSlot();
      info->PendingActivateSlot = nvme->pendingSlot() ? nvme->pendingSlot() : 0xFF;
      for (uint8_t slot = 1; slot <= nvme->slotCount(); ++slot) {
        osl_firmware_slot_info& one = info->Slot[slot - 1];
        one.SlotNumber = slot;
        one.ReadOnly = slot == 1 && nvme->firstSlotReadOnly();
        std::string revision = nvme->slotRevision(slot);
        std::memcpy(one.Revision, revision.data(), std::min<size_t>(revision.size(), 8));
      }
      break;
    }
    case OSL_FIRMWARE_FUNCTION_DOWNLOAD: {
      if (block->DataBufferLength < sizeof(osl_firmware_download)) return ERROR_INVALID_PARAMETER;
      osl_firmware_download request;
      std::memcpy(&request, area, sizeof request);
      if (!validSegment(request.Offset, request.BufferSize) ||
          request.BufferSize > block->DataBufferLength - sizeof request)
        return ERROR_INVALID_PARAMETER;
      NvmeIo io = imageDownload(area + sizeof request, request.Offset, request.BufferSize);
      run(call, *nvme, io);
      if (io.failed()) returnCode = FIRMWARE_STATUS_ERROR;
      break;
    }
    case OSL_FIRMWARE_FUNCTION_ACTIVATE: {
      if (block->DataBufferLength < sizeof(osl_firmware_activate)) return ERROR_INVALID_PARAMETER;
      osl_firmware_activate request;
      std::memcpy(&request, area, sizeof request);
      NvmeIo io = activation(*nvme, request.SlotToActivate);
      run(call, *nvme, io);
      if (isCommitForReset(io))
        returnCode = OSL_FIRMWARE_STATUS_REBOOT_REQUIRED;
      else if (io.failed())
        returnCode = FIRMWARE_STATUS_ERROR;
      break;
    }
    default:
      return ERROR_INVALID_PARAMETER;
  }
  header->ReturnCode = returnCode;
  std::memcpy(call.out, system.data(), call.outSize);
  call.returned = call.outSize;
  return ERROR_SUCCESS;
}

DWORD getCacheInformation(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  if (!nvme) return ERROR_INVALID_FUNCTION;
  if (!call.out || call.outSize < sizeof(osl_disk_cache_information)) return ERROR_INSUFFICIENT_BUFFER;
  osl_disk_cache_information cache = {};
  cache.ReadCacheEnabled = 1;
  cache.WriteCacheEnabled = nvme->writeCache() ? 1 : 0;
  std::memcpy(call.out, &cache, sizeof cache);
  call.returned = sizeof cache;
  return ERROR_SUCCESS;
}

DWORD setCacheInformation(Call& call) {
  NvmeDrive* nvme = controllerOf(call);
  if (!nvme) return ERROR_INVALID_FUNCTION;
  if (call.inSize < sizeof(osl_disk_cache_information)) return ERROR_INVALID_PARAMETER;
  osl_disk_cache_information cache;
  std::memcpy(&cache, call.in, sizeof cache);
  call.trace.command.assign(call.in, call.in + sizeof cache);
  nvme->setWriteCache(cache.WriteCacheEnabled != 0);
  return ERROR_SUCCESS;
}

}  // namespace winsim
