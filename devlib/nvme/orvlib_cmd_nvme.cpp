#include "devlib/nvme/orvlib_cmd_nvme.h"

#include <cstdio>
#include <cstring>

#include "devlib/orvlib_guard.h"
#include "osl/osl_file.h"

namespace VazidaRaduru {
namespace VazidaRaduruNvme {

using namespace VazidaRaduruNvmeInternal;

namespace VazidaRaduruNvmeInternal {
namespace {

constexpr u8 OP_FLUSH = 0x00;
constexpr u8 OP_WRITE = 0x01;
constexpr u8 OP_READ = 0x02;
constexpr u8 OP_GET_LOG = 0x02;
constexpr u8 OP_WRITE_UNCORRECTABLE = 0x04;
constexpr u8 OP_COMPARE = 0x05;
constexpr u8 OP_IDENTIFY = 0x06;
constexpr u8 OP_SET_FEATURES = 0x09;
constexpr u8 OP_GET_FEATURES = 0x0A;
constexpr u8 OP_NS_MANAGEMENT = 0x0D;
constexpr u8 OP_FW_COMMIT = 0x10;
constexpr u8 OP_FW_DOWNLOAD = 0x11;
constexpr u8 OP_SELF_TEST = 0x14;
constexpr u8 OP_NS_ATTACHMENT = 0x15;
constexpr u8 OP_FORMAT = 0x80;
constexpr u8 OP_SECURITY_SEND = 0x81;
constexpr u8 OP_SECURITY_RECEIVE = 0x82;
constexpr u8 OP_SANITIZE = 0x84;

constexpr u8 TO_DEVICE = 1;
constexpr u8 FROM_DEVICE = 0;
constexpr u32 DEFAULT_TIMEOUT = 60;
constexpr u32 FORMAT_TIMEOUT = 86400;
constexpr u32 SECURITY_TIMEOUT = 3600;
constexpr u32 ALL_NAMESPACES = 0xFFFFFFFF;
constexpr u32 INTERNAL_LOG_REQUEST = 0x80F3;

u64 addressOf(const OrvBuffer& buffer) { return reinterpret_cast<u64>(buffer.getBuffer()); }

// The zero-based count of whole dwords of a buffer.
u32 dwordsLessOne(const OrvBuffer& buffer) { return buffer.getLength() / 4 - 1; }

OrvBufField entryField(u8* data, u32 byteOffset, u8 firstBit, u8 lastBit, const char* name) {
  return OrvBufField(data, byteOffset, firstBit, lastBit, name, ORV_LITTLE_ENDIAN);
}

}  // namespace

OrvNvmSqEntryBuffer::OrvNvmSqEntryBuffer(u32 transportId)
    : OrvBuffer(ORV_NVM_ENTRY_LENGTH, ORV_LITTLE_ENDIAN),
      opCode(entryField(data, 0, 0, 7, "OpCode")),
      fusedOperation(entryField(data, 0, 8, 9, "Fused operation")),
      dataTransferForm(entryField(data, 0, 14, 15, "PRP or SGL for data transfer")),
      namespaceId(entryField(data, 4, 0, 31, "Namespace identifier")),
      metadataPointer(entryField(data, 16, 0, 63, "Metadata pointer")),
      prpEntry1(entryField(data, 24, 0, 63, "PRP entry 1")),
      prpEntry2(entryField(data, 32, 0, 63, "PRP entry 2")),
      sglAddress(entryField(data, 24, 0, 63, "SGL address")),
      sglLength(entryField(data, 32, 0, 31, "SGL length")),
      sglType(entryField(data, 39, 4, 7, "SGL type")),
      dword10(entryField(data, 40, 0, 31, "Dword 10")),
      dword11(entryField(data, 44, 0, 31, "Dword 11")),
      dword12(entryField(data, 48, 0, 31, "Dword 12")),
      dword13(entryField(data, 52, 0, 31, "Dword 13")),
      dword14(entryField(data, 56, 0, 31, "Dword 14")),
      dword15(entryField(data, 60, 0, 31, "Dword 15")),
      queueKind(255),
      transportId(transportId),
      dataDirection(TO_DEVICE),
      timeoutSeconds(DEFAULT_TIMEOUT) {}

void OrvNvmSqEntryBuffer::print(void* file) {
  FILE* stream = static_cast<FILE*>(file);
  if (!stream) return;
  auto line = [stream](const char* format, const OrvBufField& field) {
    osl_fprintf(stream, format, field.getName().c_str(), static_cast<unsigned long long>(field.getValue()));
  };
  osl_fprintf(stream, "Cmd submission queue entry\n");
  line("%-40s: %02llx\n", opCode);
  line("%-40s: %llx\n", fusedOperation);
  line("%-40s: %llx\n", dataTransferForm);
  const char* wide = "%-40s: %08llx\n";
  line(wide, namespaceId);
  line(wide, metadataPointer);
  if (dataTransferForm.getValue()) {
    line(wide, sglAddress);
    line(wide, sglLength);
    line(wide, sglType);
  } else {
    line(wide, prpEntry1);
    line(wide, prpEntry2);
  }
  for (const OrvBufField* dword : {&dword10, &dword11, &dword12, &dword13, &dword14, &dword15})
    line(wide, *dword);
}

OrvNvmSecProtoSqEntry::OrvNvmSecProtoSqEntry(u32 transportId)
    : OrvNvmSqEntryBuffer(transportId),
      secProtocol(entryField(data, 40, 24, 31, "SecProtocol")),
      secProtoSpec(entryField(data, 40, 8, 23, "secProtoSpec")),
      nvmSecSpec(entryField(data, 40, 0, 7, "NvmSecSpec")),
      allocLen(entryField(data, 44, 0, 31, "AllocLen")) {}

OrvNvmIdentifySqEntry::OrvNvmIdentifySqEntry(u32 transportId, u32 cns, OrvBuffer& data, u32 nsid)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_IDENTIFY);
  namespaceId.setValue(nsid);
  prpEntry1.setValue(addressOf(data));
  dword10.setValue(cns);
  route(OSL_CMD_NVME_ADMIN, FROM_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmIdentifySqEntry::getErrorCode() { return ORV_ERR_NVME_IDENTIFY; }

OrvNvmGetFeatureSqEntry::OrvNvmGetFeatureSqEntry(u32 transportId, u8 featureId, OrvBuffer& data,
                                                 u8 select, u32 dw11, u32 nsid)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_GET_FEATURES);
  namespaceId.setValue(nsid);
  prpEntry1.setValue(data.getLength() ? addressOf(data) : 0);
  dword10.setValue(((select & 7u) << 8) + featureId);
  dword11.setValue(dw11);
  route(OSL_CMD_NVME_ADMIN, FROM_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmGetFeatureSqEntry::getErrorCode() { return ORV_ERR_NVME_GET_FEATURES; }

OrvNvmSetFeatureSqEntry::OrvNvmSetFeatureSqEntry(u32 transportId, u8 featureId, OrvBuffer& data,
                                                 u8 save, u32 dw11)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_SET_FEATURES);
  prpEntry1.setValue(addressOf(data));
  dword10.setValue((static_cast<u32>(save & 1) << 31) | featureId);
  dword11.setValue(dw11);
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmSetFeatureSqEntry::getErrorCode() { return ORV_ERR_NVME_SET_FEATURES; }

OrvNvmFwActivateSqEntry::OrvNvmFwActivateSqEntry(u32 transportId, u8 slot, int commitAction)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_FW_COMMIT);
  dword10.setValue(((static_cast<u32>(commitAction) & 3u) << 3) | (slot & 7u));
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmFwActivateSqEntry::getErrorCode() { return ORV_ERR_NVME_FW_COMMIT; }

OrvNvmFwDownloadSqEntry::OrvNvmFwDownloadSqEntry(u32 transportId, OrvBuffer& piece, u32 byteOffset)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_FW_DOWNLOAD);
  prpEntry1.setValue(addressOf(piece));
  dword10.setValue(dwordsLessOne(piece));
  dword11.setValue(byteOffset / 4);
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmFwDownloadSqEntry::getErrorCode() { return ORV_ERR_NVME_FW_DOWNLOAD; }

OrvNvmGetLogSqEntry::OrvNvmGetLogSqEntry(u32 transportId, u8 logId, OrvBuffer& data, u32 offset,
                                         u32 nsid)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_GET_LOG);
  namespaceId.setValue(nsid);
  prpEntry1.setValue(addressOf(data));
  u32 count = dwordsLessOne(data);
  dword10.setValue((count << 16) | logId);
  dword11.setValue(count >> 16);
  dword12.setValue(offset);
  route(OSL_CMD_NVME_ADMIN, FROM_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmGetLogSqEntry::getErrorCode() { return ORV_ERR_NVME_GET_LOG; }

OrvNvmGetInternalLog12SqEntry::OrvNvmGetInternalLog12SqEntry(u32 transportId, u8 parameter, u64 offset,
                                                             OrvNvmInternalLogBuf& data)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_GET_LOG);
  prpEntry1.setValue(addressOf(data));
  u32 count = dwordsLessOne(data);
  dword10.setValue(INTERNAL_LOG_REQUEST | ((parameter & 63u) << 8) | (count << 16));
  dword11.setValue(count >> 16);
  dword12.setValue(offset & 0xFFFFFFFF);
  dword13.setValue(offset >> 32);
  route(OSL_CMD_NVME_ADMIN, FROM_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmGetInternalLog12SqEntry::getErrorCode() { return ORV_ERR_NVME_GET_LOG; }

u64 OrvNvmGetInternalLog10SqEntry::getErrorCode() { return ORV_ERR_NVME_GET_LOG; }

OrvNvmNsCreateSqEntry::OrvNvmNsCreateSqEntry(u32 transportId, OrvBuffer& data)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_NS_MANAGEMENT);
  prpEntry1.setValue(addressOf(data));  // select 0, create, is the zeroed dword 10
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmNsCreateSqEntry::getErrorCode() { return ORV_ERR_NVME_NS_MANAGEMENT; }

OrvNvmNsDeleteSqEntry::OrvNvmNsDeleteSqEntry(u32 transportId, u32 nsid) : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_NS_MANAGEMENT);
  namespaceId.setValue(nsid);
  dword10.setValue(1);
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmNsDeleteSqEntry::getErrorCode() { return ORV_ERR_NVME_NS_MANAGEMENT; }

OrvNvmNsAttachmentSqEntry::OrvNvmNsAttachmentSqEntry(u32 transportId, OrvBuffer& data, int select,
                                                     u32 nsid)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_NS_ATTACHMENT);
  namespaceId.setValue(nsid);
  prpEntry1.setValue(addressOf(data));
  dword10.setValue(static_cast<u32>(select));
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmNsAttachmentSqEntry::getErrorCode() { return ORV_ERR_NVME_NS_ATTACHMENT; }

OrvNvmFlushSqEntry::OrvNvmFlushSqEntry(u32 transportId, u32 nsid) : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_FLUSH);
  namespaceId.setValue(nsid);
  route(OSL_CMD_NVME_IO, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmFlushSqEntry::getErrorCode() { return ORV_ERR_NVME_FLUSH; }

OrvNvmWriteSqEntry::OrvNvmWriteSqEntry(u32 transportId, OrvBuffer& data, OrvBuffer& metadata, u64 lba,
                                       u16 blocks, u32 nsid)
    : OrvNvmWriteSqEntry(transportId, OP_WRITE, data, metadata, lba, blocks, nsid) {}

OrvNvmWriteSqEntry::OrvNvmWriteSqEntry(u32 transportId, u8 opcode, OrvBuffer& data, OrvBuffer& metadata,
                                       u64 lba, u16 blocks, u32 nsid)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(opcode);
  namespaceId.setValue(nsid);
  prpEntry1.setValue(addressOf(data));
  metadataPointer.setValue(addressOf(metadata));
  dword10.setValue(lba & 0xFFFFFFFF);
  dword11.setValue(lba >> 32);
  dword12.setValue(blocks);
  route(OSL_CMD_NVME_IO, opcode == OP_READ ? FROM_DEVICE : TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmWriteSqEntry::getErrorCode() { return ORV_ERR_NVME_WRITE; }

OrvNvmReadSqEntry::OrvNvmReadSqEntry(u32 transportId, OrvBuffer& data, OrvBuffer& metadata, u64 lba,
                                     u16 blocks, u32 nsid)
    : OrvNvmWriteSqEntry(transportId, OP_READ, data, metadata, lba, blocks, nsid) {}
u64 OrvNvmReadSqEntry::getErrorCode() { return ORV_ERR_NVME_READ; }

OrvNvmCompareSqEntry::OrvNvmCompareSqEntry(u32 transportId, OrvBuffer& data, u64 lba, u16 blocks, u32 nsid)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_COMPARE);
  namespaceId.setValue(nsid);
  prpEntry1.setValue(addressOf(data));
  dword10.setValue(lba & 0xFFFFFFFF);
  dword11.setValue(lba >> 32);
  dword12.setValue(blocks);
  route(OSL_CMD_NVME_IO, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmCompareSqEntry::getErrorCode() { return ORV_ERR_NVME_COMPARE; }

OrvNvmWriteUncorrectableSqEntry::OrvNvmWriteUncorrectableSqEntry(u32 transportId, u64 lba, u16 blocks,
                                                                 u32 nsid)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_WRITE_UNCORRECTABLE);
  namespaceId.setValue(nsid);
  dword10.setValue(lba & 0xFFFFFFFF);
  dword11.setValue(lba >> 32);
  dword12.setValue(blocks);
  route(OSL_CMD_NVME_IO, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmWriteUncorrectableSqEntry::getErrorCode() { return ORV_ERR_GENERIC; }

OrvNvmFormatNvmSqEntry::OrvNvmFormatNvmSqEntry(u32 transportId, u32 nsid, u32 ses, u8 lbaf, int pi,
                                               u32 pil, int mset)
    : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_FORMAT);
  namespaceId.setValue(nsid);
  dword10.setValue(((ses & 7u) << 9) | ((pil & 1u) << 8) | ((static_cast<u32>(pi) & 7u) << 5) |
                   ((static_cast<u32>(mset) & 1u) << 4) | (lbaf & 15u));
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, FORMAT_TIMEOUT);
}
u64 OrvNvmFormatNvmSqEntry::getErrorCode() { return ORV_ERR_NVME_FORMAT; }

OrvNvmSecSendSqEntry::OrvNvmSecSendSqEntry(u32 transportId, u8 protocol, u32 length, u16 protocolSpecific)
    : OrvNvmSecSendSqEntry(transportId, OP_SECURITY_SEND, protocol, length, protocolSpecific) {}

OrvNvmSecSendSqEntry::OrvNvmSecSendSqEntry(u32 transportId, u8 opcode, u8 protocol, u32 length,
                                           u16 protocolSpecific)
    : OrvNvmSecProtoSqEntry(transportId) {
  opCode.setValue(opcode);
  secProtocol.setValue(protocol);
  secProtoSpec.setValue(protocolSpecific);
  nvmSecSpec.setValue(0);
  allocLen.setValue(length);
  route(OSL_CMD_NVME_ADMIN, opcode == OP_SECURITY_RECEIVE ? FROM_DEVICE : TO_DEVICE, SECURITY_TIMEOUT);
}
u64 OrvNvmSecSendSqEntry::getErrorCode() { return ORV_ERR_NVME_SECURITY_SEND; }

OrvNvmSecRecvSqEntry::OrvNvmSecRecvSqEntry(u32 transportId, u8 protocol, u32 length, u16 protocolSpecific)
    : OrvNvmSecSendSqEntry(transportId, OP_SECURITY_RECEIVE, protocol, length, protocolSpecific) {}
u64 OrvNvmSecRecvSqEntry::getErrorCode() { return ORV_ERR_NVME_SECURITY_RECEIVE; }

OrvNvmexecuteSelfTest::OrvNvmexecuteSelfTest(u32 transportId, int code) : OrvNvmSqEntryBuffer(transportId) {
  opCode.setValue(OP_SELF_TEST);
  namespaceId.setValue(ALL_NAMESPACES);
  dword10.setValue(static_cast<u32>(code));
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmexecuteSelfTest::getErrorCode() { return ORV_ERR_NVME_SELF_TEST; }

u64 OrvNvmSelfTestSqEntry::getErrorCode() { return ORV_ERR_NVME_SELF_TEST; }

OrvNvmSanitizeNvmSqEntry::OrvNvmSanitizeNvmSqEntry(u32 transportId, int action, u8 noDeallocate)
    : OrvNvmSqEntryBuffer(transportId),
      sanitizeAction(entryField(data, 40, 0, 2, "Sanitize Action")),
      allowUnrestrictedExit(entryField(data, 40, 3, 3, "Allow Unrestricted Sanitize Exit")),
      overwritePassCount(entryField(data, 40, 4, 7, "Overwrite Pass Count")),
      overwriteInvertPattern(entryField(data, 40, 8, 8, "Overwrite Invert Pattern Between Passes")),
      noDeallocateAfter(entryField(data, 40, 9, 9, "No Deallocate After Sanitize")) {
  opCode.setValue(OP_SANITIZE);
  sanitizeAction.setValue(static_cast<u32>(action));
  allowUnrestrictedExit.setValue(1);
  overwriteInvertPattern.setValue(1);
  noDeallocateAfter.setValue(noDeallocate ? 1 : 0);
  dword11.setValue(0);
  route(OSL_CMD_NVME_ADMIN, TO_DEVICE, DEFAULT_TIMEOUT);
}
u64 OrvNvmSanitizeNvmSqEntry::getErrorCode() { return ORV_ERR_NVME_SANITIZE; }

OrvNvmRawCdb::OrvNvmRawCdb(u32 transportId, const u8* entry, u8 direction, u8 admin, u32 seconds)
    : OrvNvmSqEntryBuffer(transportId) {
  std::memcpy(data, entry, ORV_NVM_ENTRY_LENGTH);
  route(admin > 0 ? OSL_CMD_NVME_ADMIN : OSL_CMD_NVME_IO, direction, seconds);
}
u64 OrvNvmRawCdb::getErrorCode() { return ORV_ERR_GENERIC; }

u64 OrvNvmSqEntryRaw::getErrorCode() { return ORV_ERR_GENERIC; }

OrvNvmCqEntryStatus::OrvNvmCqEntryStatus(OrvBuffer& entry)
    : OrvSubBuffer(entry, 14, 2),
      statusCode(entryField(data, 0, 1, 8, "Status Code")),
      statusCodeType(entryField(data, 0, 9, 11, "Status Code Type")),
      more(entryField(data, 0, 14, 14, "More")),
      doNotRetry(entryField(data, 0, 15, 15, "Do Not Retry")) {}

namespace {
// The completion's length is checked before any field views its bytes.
u32 completionLength(const OrvBuffer& completion) {
  if (completion.getLength() < ORV_NVM_COMPLETION_LENGTH) throw ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  return ORV_NVM_COMPLETION_LENGTH;
}
}  // namespace

OrvNvmCqEntryBuffer::OrvNvmCqEntryBuffer(const OrvBuffer& completion)
    : OrvBuffer(completionLength(completion), ORV_LITTLE_ENDIAN),
      commandSpecific(entryField(data, 0, 0, 31, "Command specific")),
      reservedDword1(entryField(data, 4, 0, 31, "Reserved DWord1")),
      sqHeadPointer(entryField(data, 8, 0, 15, "SQ Head Pointer")),
      sqIdentifier(entryField(data, 10, 0, 15, "SQ Identifier")),
      commandIdentifier(entryField(data, 12, 0, 15, "Command Identifier")),
      phaseBit(entryField(data, 14, 0, 0, "Phase bit")),
      status(*this) {
  std::memcpy(data, completion.getBuffer(), ORV_NVM_COMPLETION_LENGTH);
}

}  // namespace VazidaRaduruNvmeInternal

// ---------------------------------------------------------------- handles

namespace {

bool isPseudoHandle(const _OSL_PDEV* drive) {
  return drive->handle == OSL_RAID_B_HANDLE || drive->handle == OSL_RAID_P_HANDLE;
}


// Builds an entry of the given class with the pair's transport and sends
// it with data.
template <typename Entry, typename... Arguments>
u64 sendEntry(OrvNvmHandlePair& pair, OrvBuffer& data, u32 timeoutSeconds, u8 ignore,
              Arguments&&... arguments) {
  Entry entry(pair.busType, std::forward<Arguments>(arguments)...);
  return sendNvmCmd(pair, entry, data, timeoutSeconds, ignore);
}

// Interrupt Vector Configuration (09h) is here for the device's generic
// feature numbers that clear and set its coalescing bit.
constexpr u32 kFeatureDescriptors[] = {
    0x01,  0x02,  0x04,  0x05,  0x06,  0x07,  0x08,   0x09,   0x0A,     0x0B, 0x10, 0x80, 0x82,
    0x83,  0xD4,  0xF0,  0xF1,  0xF5,  0xF6,  0xF9,   0x881,  0x8F3,    0x8F8, 0xCF7, 0x20F4,
    0x1000C, 0x100003};

u64 checkLogBuffer(const OrvBuffer& data) {
  u32 length = data.getLength();
  return length == 0 || length % 4 != 0 ? ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH) : 0;
}

}  // namespace

OrvNvmHandlePair::OrvNvmHandlePair(_OSL_PDEV* adminHandle, OrvBuffer* completion, u32 busType)
    : adminHandle(adminHandle),
      ioHandle(nullptr),
      completion(completion),
      altCompletion(nullptr),
      busType(busType),
      securityListFlag(0),
      effectsLogFlag(0) {
  if (adminHandle)
    osl_get_nvme_support_flags(adminHandle, static_cast<osl_bus_type>(busType), &securityListFlag, &effectsLogFlag);
}

void OrvNvmHandlePair::closeIoHandle() {
  if (!ioHandle) return;
  osl_close_device(ioHandle);
  ioHandle = nullptr;
}

void OrvNvmHandlePair::reopenIoHandle() {
  closeIoHandle();
  ioHandle = osl_dup_device(adminHandle);
}

u32 OrvNvmHandlePair::getMaxTransferSize() const {
  if (!ioHandle || isPseudoHandle(ioHandle)) return 0;
  return osl_get_max_transfer_size(ioHandle, static_cast<osl_bus_type>(busType));
}

u64 sendNvmCmd(OrvNvmHandlePair& pair, OrvNvmSqEntryBuffer& entry, OrvBuffer& data, u32 timeoutSeconds,
               u8 ignore) {
  _OSL_PDEV* handle = entry.getQueueKind() == OSL_CMD_NVME_ADMIN ? pair.adminHandle : pair.ioHandle;
  if (!handle || !pair.completion || pair.busType == OSL_BUS_NONE)
    return ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  OrvBuffer* response = pair.altCompletion ? pair.altCompletion : pair.completion;
  response->resetZero();

  _osl_dev_cmd request = {};
  request.command = entry.getBuffer();
  request.commandLength = static_cast<u8>(entry.getLength());
  request.direction = entry.getDataDirection();
  request.data = data.getLength() ? data.getBuffer() : nullptr;
  request.dataLength = data.getLength();
  request.response = response->getBuffer();
  request.responseLength = static_cast<u16>(response->getLength());
  request.timeoutSeconds = timeoutSeconds ? timeoutSeconds : entry.getTimeoutSeconds();
  request.ignoreError = ignore ? 1 : 0;
  request.flags = static_cast<u8>((pair.securityListFlag ? OSL_CMD_FLAG_NVME_SECLIST : 0) |
                                  (pair.effectsLogFlag ? OSL_CMD_FLAG_NVME_EFFECTS : 0));
  if (isPseudoHandle(handle)) return 0;

  u64 status = osl_send_command(handle, &request, static_cast<osl_bus_type>(entry.getTransportId()),
                                static_cast<osl_cmd_type>(entry.getQueueKind()));
  if (status == 0 || orv_status_code(status) != ORV_ERR_GENERIC) return status;
  u64 code = entry.getErrorCode();
  if (code == 0) return 0;
  if (code == ORV_ERR_GENERIC) return status;
  return ORV_LIB_STATUS(static_cast<u16>(code));
}

u64 checkFeatureId(OrvNvmHandlePair&, u32 descriptor, u32* featureId, OrvBuffer& data) {
  bool known = false;
  for (u32 candidate : kFeatureDescriptors) known = known || candidate == descriptor;
  if (!known) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  *featureId = descriptor & 0xFF;
  return data.getLength() < (descriptor >> 8) ? ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH) : 0;
}

u64 nvmIdentify(OrvNvmHandlePair& pair, u32 cns, OrvBuffer& data, u32 timeoutSeconds, u32 nsid, u8 ignore) {
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmIdentifySqEntry>(pair, data, timeoutSeconds, ignore, cns, data, nsid);
  });
}

u64 nvmGetLogPage(OrvNvmHandlePair& pair, u8 logId, OrvBuffer& data, u32 timeoutSeconds, u8 ignore,
                  u32 nsid, u32 offset) {
  if (u64 status = checkLogBuffer(data)) return status;
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmGetLogSqEntry>(pair, data, timeoutSeconds, ignore, logId, data, offset, nsid);
  });
}

u64 nvmGetInternalLog(OrvNvmHandlePair& pair, u8 parameter, u64 offset, OrvNvmInternalLogBuf& data,
                      u32 timeoutSeconds, u8 ignore) {
  if (u64 status = checkLogBuffer(data)) return status;
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmGetInternalLog12SqEntry>(pair, data, timeoutSeconds, ignore, parameter, offset,
                                                    data);
  });
}

u64 nvmGetInternalLog10(OrvNvmHandlePair&) { return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED); }

u64 nvmGetFeature(OrvNvmHandlePair& pair, u32 descriptor, u8 select, u32 dw11, OrvBuffer& data,
                  u32 timeoutSeconds, u8 ignore, u32 nsid) {
  u32 featureId = 0;
  if (u64 status = checkFeatureId(pair, descriptor, &featureId, data)) return status;
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmGetFeatureSqEntry>(pair, data, timeoutSeconds, ignore, static_cast<u8>(featureId),
                                              data, select, dw11, nsid);
  });
}

u64 nvmSetFeature(OrvNvmHandlePair& pair, u32 descriptor, u8 save, u32 value, OrvBuffer& data,
                  u32 timeoutSeconds, u8 ignore) {
  u32 featureId = 0;
  if (u64 status = checkFeatureId(pair, descriptor, &featureId, data)) return status;
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmSetFeatureSqEntry>(pair, data, timeoutSeconds, ignore, static_cast<u8>(featureId),
                                              data, save, value);
  });
}

u64 nvmFwDownload(OrvNvmHandlePair& pair, OrvBuffer& piece, u32 byteOffset, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmFwDownloadSqEntry>(pair, piece, timeoutSeconds, ignore, piece, byteOffset);
  });
}

u64 nvmFwCommit(OrvNvmHandlePair& pair, u32 commitAction, u8 slot, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    OrvBuffer none;
    return sendEntry<OrvNvmFwActivateSqEntry>(pair, none, timeoutSeconds, ignore, slot,
                                              static_cast<int>(commitAction));
  });
}

u64 nvmSelfTest(OrvNvmHandlePair& pair, int code, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    OrvBuffer none;
    return sendEntry<OrvNvmexecuteSelfTest>(pair, none, timeoutSeconds, ignore, code);
  });
}

namespace {
constexpr u32 ERASE_NONE = 0;
constexpr u32 ERASE_USER_DATA = 1;
constexpr u32 ERASE_CRYPTOGRAPHIC = 2;

u64 sendFormat(OrvNvmHandlePair& pair, u32 nsid, u32 ses, u8 lbaf, u32 pi, u32 pil, u32 mset,
               u32 timeoutSeconds, u8 ignore) {
  OrvBuffer none;
  return sendEntry<OrvNvmFormatNvmSqEntry>(pair, none, timeoutSeconds, ignore, nsid, ses, lbaf,
                                           static_cast<int>(pi), pil, static_cast<int>(mset));
}
}  // namespace

u64 nvmFormat(OrvNvmHandlePair& pair, u32 nsid, u8 lbaf, u32 pi, u32 pil, u32 mset, u32 timeoutSeconds,
              u8 ignore) {
  return ORV_GUARDED(
      [&] { return sendFormat(pair, nsid, ERASE_NONE, lbaf, pi, pil, mset, timeoutSeconds, ignore); });
}

u64 nvmFormatErase(OrvNvmHandlePair& pair, u32 nsid, bool cryptographic, u8 lbaf, u32 pi, u32 pil, u32 mset,
                   u32 timeoutSeconds, u8 ignore) {
  u32 ses = cryptographic ? ERASE_CRYPTOGRAPHIC : ERASE_USER_DATA;
  return ORV_GUARDED(
      [&] { return sendFormat(pair, nsid, ses, lbaf, pi, pil, mset, timeoutSeconds, ignore); });
}

u64 nvmSanitize(OrvNvmHandlePair& pair, int action, u8 noDeallocate, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    OrvBuffer none;
    return sendEntry<OrvNvmSanitizeNvmSqEntry>(pair, none, timeoutSeconds, ignore, action, noDeallocate);
  });
}

u64 nvmSecuritySend(OrvNvmHandlePair& pair, u8 protocol, u16 protocolSpecific, OrvBuffer& data,
                    u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmSecSendSqEntry>(pair, data, timeoutSeconds, ignore, protocol,
                                           data.getLength(), protocolSpecific);
  });
}

u64 nvmSecurityReceive(OrvNvmHandlePair& pair, u8 protocol, u16 protocolSpecific, OrvBuffer& data,
                       u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmSecRecvSqEntry>(pair, data, timeoutSeconds, ignore, protocol,
                                           data.getLength(), protocolSpecific);
  });
}

u64 nvmNamespaceCreate(OrvNvmHandlePair& pair, OrvBuffer& data, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED(
      [&] { return sendEntry<OrvNvmNsCreateSqEntry>(pair, data, timeoutSeconds, ignore, data); });
}

u64 nvmNamespaceDelete(OrvNvmHandlePair& pair, u32 nsid, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    OrvBuffer none;
    return sendEntry<OrvNvmNsDeleteSqEntry>(pair, none, timeoutSeconds, ignore, nsid);
  });
}

u64 nvmNamespaceAttach(OrvNvmHandlePair& pair, OrvBuffer& controllers, int select, u32 nsid,
                       u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmNsAttachmentSqEntry>(pair, controllers, timeoutSeconds, ignore, controllers,
                                                select, nsid);
  });
}

u64 nvmFlush(OrvNvmHandlePair& pair, u32 nsid, u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    OrvBuffer none;
    return sendEntry<OrvNvmFlushSqEntry>(pair, none, timeoutSeconds, ignore, nsid);
  });
}

namespace {
template <typename Entry>
u64 sendTransfer(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks, OrvBuffer& data, OrvBuffer* metadata,
                 u32 timeoutSeconds, u8 ignore) {
  OrvBuffer none;
  return sendEntry<Entry>(pair, data, timeoutSeconds, ignore, data, metadata ? *metadata : none, lba, blocks,
                          nsid);
}
}  // namespace

u64 nvmWrite(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks, OrvBuffer& data, OrvBuffer* metadata,
             u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    return sendTransfer<OrvNvmWriteSqEntry>(pair, nsid, lba, blocks, data, metadata, timeoutSeconds, ignore);
  });
}

u64 nvmRead(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks, OrvBuffer& data, OrvBuffer* metadata,
            u32 timeoutSeconds, u8 ignore) {
  return ORV_GUARDED([&] {
    return sendTransfer<OrvNvmReadSqEntry>(pair, nsid, lba, blocks, data, metadata, timeoutSeconds, ignore);
  });
}

u64 nvmCompare(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks, OrvBuffer& data, u32 timeoutSeconds,
               u8 ignore) {
  return ORV_GUARDED([&] {
    return sendEntry<OrvNvmCompareSqEntry>(pair, data, timeoutSeconds, ignore, data, lba, blocks, nsid);
  });
}

u64 nvmWriteUncorrectable(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks, u32 timeoutSeconds,
                          u8 ignore) {
  return ORV_GUARDED([&] {
    OrvBuffer none;
    return sendEntry<OrvNvmWriteUncorrectableSqEntry>(pair, none, timeoutSeconds, ignore, lba, blocks, nsid);
  });
}

u64 nvmRawCommand(OrvNvmHandlePair& pair, OrvNvmSqEntryBuffer& entry, OrvBuffer& data, u32 direction,
                  u8 admin, u32 timeoutSeconds) {
  constexpr u32 DIRECTION_FROM_DEVICE = 2;
  return ORV_GUARDED([&] {
    u8 sendDirection = direction == DIRECTION_FROM_DEVICE ? 0 : 1;
    return sendEntry<OrvNvmRawCdb>(pair, data, timeoutSeconds, 0, entry.getBuffer(), sendDirection, admin,
                                   timeoutSeconds);
  });
}

}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
