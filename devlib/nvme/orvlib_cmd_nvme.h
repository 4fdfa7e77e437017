// NVMe commands and the functions that send them. A command is its 64-byte
// submission-queue entry with named fields, plus the queue, data direction
// and time-out it travels with; the drive's answer is a 16-byte completion
// entry. The command functions build one entry, hand it with its data to the
// OS layer's dispatcher and turn a drive's refusal into the command's own
// failure code.
#pragma once

#include "devlib/nvme/orvlib_buffer_nvme_logs.h"
#include "devlib/orvlib_buffer.h"
#include "osl/orv_status.h"
#include "osl/osl_cmd.h"

namespace VazidaRaduru {
namespace VazidaRaduruNvme {
namespace VazidaRaduruNvmeInternal {

class OrvNvmSqEntryBuffer : public OrvBuffer {
 public:
  explicit OrvNvmSqEntryBuffer(u32 transportId);
  OrvNvmSqEntryBuffer(const OrvNvmSqEntryBuffer&) = delete;
  OrvNvmSqEntryBuffer& operator=(const OrvNvmSqEntryBuffer&) = delete;
  ~OrvNvmSqEntryBuffer() override = default;

  // The entry's fields, to a FILE* passed untyped; nothing without one.
  void print(void* file) override;
  // The library code of the command's failure when the drive refuses it;
  // 1 keeps the OS layer's word.
  virtual u64 getErrorCode() = 0;

  u32 getQueueKind() const { return queueKind; }
  u32 getTransportId() const { return transportId; }
  u8 getDataDirection() const { return dataDirection; }
  u32 getTimeoutSeconds() const { return timeoutSeconds; }

  OrvBufField opCode;
  OrvBufField fusedOperation;
  OrvBufField dataTransferForm;  // PSDT: 0 PRP, otherwise SGL
  OrvBufField namespaceId;
  OrvBufField metadataPointer;
  OrvBufField prpEntry1;
  OrvBufField prpEntry2;
  OrvBufField sglAddress;
  OrvBufField sglLength;
  OrvBufField sglType;
  OrvBufField dword10;
  OrvBufField dword11;
  OrvBufField dword12;
  OrvBufField dword13;
  OrvBufField dword14;
  OrvBufField dword15;

 protected:
  // Sets the three members every command class decides.
  void route(u32 kind, u8 direction, u32 seconds) {
    queueKind = kind;
    dataDirection = direction;
    timeoutSeconds = seconds;
  }

  u32 queueKind;  // osl_cmd_type: 4 admin, 5 I/O; 255 unset
  u32 transportId;
  u8 dataDirection;  // 1 to the device or no data, 0 from the device
  u32 timeoutSeconds;
};

// Security Send and Security Receive.
class OrvNvmSecProtoSqEntry : public OrvNvmSqEntryBuffer {
 public:
  explicit OrvNvmSecProtoSqEntry(u32 transportId);

  OrvBufField secProtocol;
  OrvBufField secProtoSpec;
  OrvBufField nvmSecSpec;
  OrvBufField allocLen;
};

class OrvNvmIdentifySqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmIdentifySqEntry(u32 transportId, u32 cns, OrvBuffer& data, u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmGetFeatureSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmGetFeatureSqEntry(u32 transportId, u8 featureId, OrvBuffer& data, u8 select, u32 dw11,
                          u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmSetFeatureSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmSetFeatureSqEntry(u32 transportId, u8 featureId, OrvBuffer& data, u8 save, u32 dw11);
  u64 getErrorCode() override;
};

class OrvNvmFwActivateSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmFwActivateSqEntry(u32 transportId, u8 slot, int commitAction);
  u64 getErrorCode() override;
};

class OrvNvmFwDownloadSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmFwDownloadSqEntry(u32 transportId, OrvBuffer& piece, u32 byteOffset);
  u64 getErrorCode() override;
};

class OrvNvmGetLogSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmGetLogSqEntry(u32 transportId, u8 logId, OrvBuffer& data, u32 offset, u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmGetInternalLog12SqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmGetInternalLog12SqEntry(u32 transportId, u8 parameter, u64 offset, OrvNvmInternalLogBuf& data);
  u64 getErrorCode() override;
};

// The older form of the internal-log request: never built.
class OrvNvmGetInternalLog10SqEntry {
 public:
  u64 getErrorCode();
};

class OrvNvmNsCreateSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmNsCreateSqEntry(u32 transportId, OrvBuffer& data);
  u64 getErrorCode() override;
};

class OrvNvmNsDeleteSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmNsDeleteSqEntry(u32 transportId, u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmNsAttachmentSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmNsAttachmentSqEntry(u32 transportId, OrvBuffer& data, int select, u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmFlushSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmFlushSqEntry(u32 transportId, u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmWriteSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmWriteSqEntry(u32 transportId, OrvBuffer& data, OrvBuffer& metadata, u64 lba, u16 blocks,
                     u32 nsid);
  u64 getErrorCode() override;

 protected:
  // The read shares the layout.
  OrvNvmWriteSqEntry(u32 transportId, u8 opcode, OrvBuffer& data, OrvBuffer& metadata, u64 lba,
                     u16 blocks, u32 nsid);
};

class OrvNvmReadSqEntry : public OrvNvmWriteSqEntry {
 public:
  OrvNvmReadSqEntry(u32 transportId, OrvBuffer& data, OrvBuffer& metadata, u64 lba, u16 blocks,
                    u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmCompareSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmCompareSqEntry(u32 transportId, OrvBuffer& data, u64 lba, u16 blocks, u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmWriteUncorrectableSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmWriteUncorrectableSqEntry(u32 transportId, u64 lba, u16 blocks, u32 nsid);
  u64 getErrorCode() override;
};

class OrvNvmFormatNvmSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmFormatNvmSqEntry(u32 transportId, u32 nsid, u32 ses, u8 lbaf, int pi, u32 pil, int mset);
  u64 getErrorCode() override;
};

class OrvNvmSecSendSqEntry : public OrvNvmSecProtoSqEntry {
 public:
  OrvNvmSecSendSqEntry(u32 transportId, u8 protocol, u32 length, u16 protocolSpecific);
  u64 getErrorCode() override;

 protected:
  // The receive shares the layout.
  OrvNvmSecSendSqEntry(u32 transportId, u8 opcode, u8 protocol, u32 length, u16 protocolSpecific);
};

class OrvNvmSecRecvSqEntry : public OrvNvmSecSendSqEntry {
 public:
  OrvNvmSecRecvSqEntry(u32 transportId, u8 protocol, u32 length, u16 protocolSpecific);
  u64 getErrorCode() override;
};

class OrvNvmexecuteSelfTest : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmexecuteSelfTest(u32 transportId, int code);
  u64 getErrorCode() override;
};

// The failure code of a self-test operation, for the device's own checks.
class OrvNvmSelfTestSqEntry {
 public:
  u64 getErrorCode();
};

class OrvNvmSanitizeNvmSqEntry : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmSanitizeNvmSqEntry(u32 transportId, int action, u8 noDeallocate);
  u64 getErrorCode() override;

  OrvBufField sanitizeAction;
  OrvBufField allowUnrestrictedExit;
  OrvBufField overwritePassCount;
  OrvBufField overwriteInvertPattern;
  OrvBufField noDeallocateAfter;
};

// A whole entry given by the caller.
class OrvNvmRawCdb : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmRawCdb(u32 transportId, const u8* entry, u8 direction, u8 admin, u32 seconds);
  u64 getErrorCode() override;
};

// An entry the caller fills with copyData; sent through the raw command.
class OrvNvmSqEntryRaw : public OrvNvmSqEntryBuffer {
 public:
  OrvNvmSqEntryRaw() : OrvNvmSqEntryBuffer(0) {}
  u64 getErrorCode() override;
};

// The status half of a completion entry: a window on its last two bytes.
class OrvNvmCqEntryStatus : public OrvSubBuffer {
 public:
  explicit OrvNvmCqEntryStatus(OrvBuffer& entry);

  OrvBufField statusCode;
  OrvBufField statusCodeType;
  OrvBufField more;
  OrvBufField doNotRetry;
};

class OrvNvmCqEntryBuffer : public OrvBuffer {
 public:
  // The first 16 bytes of completion; fewer throw code 6.
  explicit OrvNvmCqEntryBuffer(const OrvBuffer& completion);
  OrvNvmCqEntryBuffer(const OrvNvmCqEntryBuffer&) = delete;
  OrvNvmCqEntryBuffer& operator=(const OrvNvmCqEntryBuffer&) = delete;

  OrvBufField commandSpecific;
  OrvBufField reservedDword1;
  OrvBufField sqHeadPointer;
  OrvBufField sqIdentifier;
  OrvBufField commandIdentifier;
  OrvBufField phaseBit;
  OrvNvmCqEntryStatus status;
};

}  // namespace VazidaRaduruNvmeInternal

constexpr u32 ORV_NVM_ENTRY_LENGTH = 64;
constexpr u32 ORV_NVM_COMPLETION_LENGTH = 16;

// Where an NVMe device's commands go: its open drive for admin commands, a
// second handle for I/O commands, and the buffer that receives completions.
class OrvNvmHandlePair {
 public:
  // The admin handle and the completion buffer are borrowed; the two probe
  // flags are read from the OS layer for an open drive.
  OrvNvmHandlePair(_OSL_PDEV* adminHandle, OrvBuffer* completion, u32 busType);
  OrvNvmHandlePair(const OrvNvmHandlePair&) = delete;
  OrvNvmHandlePair& operator=(const OrvNvmHandlePair&) = delete;

  // Replaces the I/O handle by a duplicate of the admin handle.
  void reopenIoHandle();
  void closeIoHandle();
  // 0 without a real I/O handle.
  u32 getMaxTransferSize() const;

  _OSL_PDEV* adminHandle;
  _OSL_PDEV* ioHandle;
  OrvBuffer* completion;
  OrvBuffer* altCompletion;
  u32 busType;
  u8 securityListFlag;
  u8 effectsLogFlag;
};

// Feature descriptors: (minimum data length << 8) | feature identifier.
constexpr u32 ORV_NVM_FEATURE_LBA_RANGE = 0x100003;
constexpr u32 ORV_NVM_FEATURE_WRITE_CACHE = 0x06;
constexpr u32 ORV_NVM_FEATURE_VENDOR_F7 = 0xCF7;

// Identify CNS values.
constexpr u32 ORV_NVM_CNS_NAMESPACE = 0x00;
constexpr u32 ORV_NVM_CNS_CONTROLLER = 0x01;
constexpr u32 ORV_NVM_CNS_ALLOCATED_NAMESPACE = 0x11;

// Every function returns the status word: 0, the OS layer's word, or the
// command's failure code when the drive refused it. A time-out of 0 takes
// the entry's own; ignore non-zero logs failures at a lower level.
u64 sendNvmCmd(OrvNvmHandlePair& pair, VazidaRaduruNvmeInternal::OrvNvmSqEntryBuffer& entry,
               OrvBuffer& data, u32 timeoutSeconds, u8 ignore);
// Code 83 for a descriptor not in the table, code 6 when data is shorter
// than the descriptor asks.
u64 checkFeatureId(OrvNvmHandlePair& pair, u32 descriptor, u32* featureId, OrvBuffer& data);

u64 nvmIdentify(OrvNvmHandlePair& pair, u32 cns, OrvBuffer& data, u32 timeoutSeconds, u32 nsid,
                u8 ignore);
u64 nvmGetLogPage(OrvNvmHandlePair& pair, u8 logId, OrvBuffer& data, u32 timeoutSeconds, u8 ignore,
                  u32 nsid, u32 offset);
u64 nvmGetInternalLog(OrvNvmHandlePair& pair, u8 parameter, u64 offset,
                      VazidaRaduruNvmeInternal::OrvNvmInternalLogBuf& data, u32 timeoutSeconds,
                      u8 ignore);
u64 nvmGetInternalLog10(OrvNvmHandlePair& pair);
u64 nvmGetFeature(OrvNvmHandlePair& pair, u32 descriptor, u8 select, u32 dw11, OrvBuffer& data,
                  u32 timeoutSeconds, u8 ignore, u32 nsid);
u64 nvmSetFeature(OrvNvmHandlePair& pair, u32 descriptor, u8 save, u32 value, OrvBuffer& data,
                  u32 timeoutSeconds, u8 ignore);
u64 nvmFwDownload(OrvNvmHandlePair& pair, OrvBuffer& piece, u32 byteOffset, u32 timeoutSeconds,
                  u8 ignore);
u64 nvmFwCommit(OrvNvmHandlePair& pair, u32 commitAction, u8 slot, u32 timeoutSeconds, u8 ignore);
u64 nvmSelfTest(OrvNvmHandlePair& pair, int code, u32 timeoutSeconds, u8 ignore);
u64 nvmFormat(OrvNvmHandlePair& pair, u32 nsid, u8 lbaf, u32 pi, u32 pil, u32 mset,
              u32 timeoutSeconds, u8 ignore);
u64 nvmFormatErase(OrvNvmHandlePair& pair, u32 nsid, bool cryptographic, u8 lbaf, u32 pi, u32 pil,
                   u32 mset, u32 timeoutSeconds, u8 ignore);
u64 nvmSanitize(OrvNvmHandlePair& pair, int action, u8 noDeallocate, u32 timeoutSeconds, u8 ignore);
u64 nvmSecuritySend(OrvNvmHandlePair& pair, u8 protocol, u16 protocolSpecific, OrvBuffer& data,
                    u32 timeoutSeconds, u8 ignore);
u64 nvmSecurityReceive(OrvNvmHandlePair& pair, u8 protocol, u16 protocolSpecific, OrvBuffer& data,
                       u32 timeoutSeconds, u8 ignore);
u64 nvmNamespaceCreate(OrvNvmHandlePair& pair, OrvBuffer& data, u32 timeoutSeconds, u8 ignore);
u64 nvmNamespaceDelete(OrvNvmHandlePair& pair, u32 nsid, u32 timeoutSeconds, u8 ignore);
u64 nvmNamespaceAttach(OrvNvmHandlePair& pair, OrvBuffer& controllers, int select, u32 nsid,
                       u32 timeoutSeconds, u8 ignore);
u64 nvmFlush(OrvNvmHandlePair& pair, u32 nsid, u32 timeoutSeconds, u8 ignore);
u64 nvmWrite(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks, OrvBuffer& data,
             OrvBuffer* metadata, u32 timeoutSeconds, u8 ignore);
u64 nvmRead(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks, OrvBuffer& data,
            OrvBuffer* metadata, u32 timeoutSeconds, u8 ignore);
u64 nvmCompare(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks, OrvBuffer& data,
               u32 timeoutSeconds, u8 ignore);
u64 nvmWriteUncorrectable(OrvNvmHandlePair& pair, u32 nsid, u64 lba, u16 blocks,
                          u32 timeoutSeconds, u8 ignore);
// direction 2: data from the device.
u64 nvmRawCommand(OrvNvmHandlePair& pair, VazidaRaduruNvmeInternal::OrvNvmSqEntryBuffer& entry,
                  OrvBuffer& data, u32 direction, u8 admin, u32 timeoutSeconds);

}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
