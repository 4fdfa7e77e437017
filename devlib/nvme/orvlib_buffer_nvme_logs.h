// NVMe log pages the device reads for its firmware and internal-log work:
// the firmware slot information, one piece of the vendor internal log, and
// the directory of the logs a drive offers with their sizes. Each holds its
// own little-endian bytes and dumps them under a "[Page: 0x..]" header.
#pragma once

#include <sstream>
#include <string>

#include "devlib/orvlib_bufbits.h"
#include "devlib/orvlib_buffer.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {
namespace VazidaRaduruNvme {
namespace VazidaRaduruNvmeInternal {

class OrvNvmLogBuffer : public OrvLogBuffer {
 public:
  OrvNvmLogBuffer(u32 length, u8 pageId, std::string name);

  void hexDump(void* file) override;
  void hexDump(std::stringstream& out) override;
};

// Log 03h: the active slot, the slot active after the next reset and the
// revision held in each of the seven slots.
class OrvNvmFwSlotInfoLog : public OrvNvmLogBuffer {
 public:
  static constexpr u32 kLength = 512;
  OrvNvmFwSlotInfoLog();

  // Slot 1 to 7; any other returns code 25 and leaves revision as it was.
  u64 getSlotRevision(u8 slot, std::string& revision);
  u64 getActiveSlot();
  u64 getNextActiveSlot();
};

// One piece of the vendor internal log (log F3h) at a byte offset of the
// whole log. The drive scrambles its words; descramble undoes it in place.
class OrvNvmInternalLogBuf : public OrvNvmLogBuffer {
 public:
  // A length or offset that is not a multiple of 4 throws code 6.
  OrvNvmInternalLogBuf(u8 parameter, u32 length, u64 offset);

  // Every 32-bit word becomes the complement of itself rotated left by one;
  // the 4-byte header of the first piece is plain and kept.
  void descramble();
  u8 getLogParameter() const { return logParameter; }
  u64 getLogOffset() const { return logOffset; }

 private:
  u8 logParameter;
  u64 logOffset;
};

// The logs a drive offers (vendor log FEh): the entry of log n at byte
// 4 x n, its id in the first byte (0: absent) and its size in dwords (4-byte
// units) in the three after it. A drive's own page counts dwords, and so
// does every directory the library builds.
class OrvNvmLogDirectory : public OrvNvmLogBuffer {
 public:
  static constexpr u32 kLength = 1024;
  OrvNvmLogDirectory();

  // Only the low 24 bits of the size are kept.
  void setEntry(u8 logId, u32 dwords);
  u64 getLogId(u8 index);
  bool isLogSupported(u8 index);
  // The size in dwords; 0 for an absent log.
  u32 getLogSize(u8 index);
  u32 getLogBytes(u8 index) { return 4 * getLogSize(index); }
};

// ---------------------------------------------- health, error, self-test and
// sanitize logs. Their fields view the log's own bytes, so these logs refuse
// any length but the one they were built with.

// Status Field of an error entry: the phase tag and the completion status.
class OrvNvmStatusField : public OrvBufField {
 public:
  OrvNvmStatusField(u8* data, u32 byteOffset);
  OrvBufField doNotRetry;
  OrvBufField more;
  OrvBufField statusCodeType;
  OrvBufField statusCode;
  OrvBufField phaseTag;
};

// Parameter Error Location: the byte of the command and the bit in it.
class OrvNvmErrLocBits : public OrvBufField {
 public:
  OrvNvmErrLocBits(u8* data, u32 byteOffset);
  OrvBufField byteInCommand;
  OrvBufField bitInByte;
};

// One 64-byte entry of the Error Information log.
class OrvNvmErrInfoEntry : public OrvSubBuffer {
 public:
  static constexpr u32 kLength = 64;
  OrvNvmErrInfoEntry(OrvBuffer& log, u32 index);

  OrvBufField errorCount;
  OrvBufField submissionQueueId;
  OrvBufField commandId;
  OrvNvmStatusField statusField;
  OrvNvmErrLocBits parameterErrorLocation;
  OrvBufField lba;
  OrvBufField nameSpace;
  OrvBufField vendorInfoAvailable;
  OrvBufField commandSpecificInfo;
};

// Log 01h: entries of 64 bytes, ELPE + 1 of them (up to 256); 0 entries
// throws code 6.
class OrvNvmErrInfoLog : public OrvNvmLogBuffer {
 public:
  explicit OrvNvmErrInfoLog(u32 entryCount);
  OrvNvmErrInfoLog(const OrvNvmErrInfoLog&) = delete;
  OrvNvmErrInfoLog& operator=(const OrvNvmErrInfoLog&) = delete;
  ~OrvNvmErrInfoLog() override;
  u64 resize(u32 newLength) override;

  // An index not below the entry count throws code 7.
  OrvNvmErrInfoEntry* getEntry(u32 index);
  u32 getEntryCount() const { return entryCount; }

 private:
  void releaseEntries();
  OrvNvmErrInfoEntry** entries = nullptr;
  u32 entryCount = 0;
};

// Critical Warning of the health log, one bit per condition.
class OrvNvmSmartCritWarn : public OrvBufField {
 public:
  OrvNvmSmartCritWarn(u8* data, u32 byteOffset);
  OrvBufField spareBelowThreshold;
  OrvBufField temperatureOutside;
  OrvBufField reliabilityDegraded;
  OrvBufField readOnly;
  OrvBufField backupFailed;
};

// Log 02h. Each 128-bit counter is a lower and an upper 64-bit half.
class OrvNvmSmartHealthLog : public OrvNvmLogBuffer {
 public:
  static constexpr u32 kLength = 512;
  static constexpr unsigned kSensors = 8;
  OrvNvmSmartHealthLog();
  OrvNvmSmartHealthLog(const OrvNvmSmartHealthLog&) = delete;
  OrvNvmSmartHealthLog& operator=(const OrvNvmSmartHealthLog&) = delete;
  u64 resize(u32 newLength) override;

  OrvNvmSmartCritWarn criticalWarning;
  OrvBufField compositeTemperature;
  OrvBufField availableSpare;
  OrvBufField availableSpareThreshold;
  OrvBufField percentageUsed;
  OrvBufField dataUnitsRead[2];
  OrvBufField dataUnitsWritten[2];
  OrvBufField hostReadCommands[2];
  OrvBufField hostWriteCommands[2];
  OrvBufField controllerBusyTime[2];
  OrvBufField powerCycles[2];
  OrvBufField powerOnHours[2];
  OrvBufField unsafeShutdowns[2];
  OrvBufField mediaErrors[2];
  OrvBufField errorLogEntries[2];
  OrvBufField warningTemperatureTime;
  OrvBufField criticalTemperatureTime;
  OrvBufField temperatureSensor[kSensors];
};

// One of the twenty results of the Device Self-test log.
class OrvNvmSelfTestResults : public OrvSubBuffer {
 public:
  static constexpr u32 kLength = 28;
  OrvNvmSelfTestResults(u8 index, OrvBuffer& log);

  OrvBufField selfTestCode;
  OrvBufField selfTestResult;
  OrvBufField segmentNumber;
  OrvBufField validDiagnosticInfo;
  OrvBufField powerOnHours;
  OrvBufField namespaceId;
  OrvBufField failingLba;
  OrvBufField statusCodeType;
  OrvBufField statusCode;
};

// Log 06h (page 0 and no name: its readers give the log id themselves).
class OrvNvmSelfTestStatus : public OrvNvmLogBuffer {
 public:
  static constexpr u32 kLength = 564;
  static constexpr u8 kResults = 20;
  OrvNvmSelfTestStatus();
  OrvNvmSelfTestStatus(const OrvNvmSelfTestStatus&) = delete;
  OrvNvmSelfTestStatus& operator=(const OrvNvmSelfTestStatus&) = delete;
  ~OrvNvmSelfTestStatus() override;
  u64 resize(u32 newLength) override;

  OrvBufField currentOperation;
  OrvBufField currentCompletion;
  OrvNvmSelfTestResults* results[kResults] = {};

 private:
  void releaseResults();
};

// Log 81h.
class OrvNvmSanitizeStatusLogBuf : public OrvNvmLogBuffer {
 public:
  static constexpr u32 kLength = 512;
  OrvNvmSanitizeStatusLogBuf();
  OrvNvmSanitizeStatusLogBuf(const OrvNvmSanitizeStatusLogBuf&) = delete;
  OrvNvmSanitizeStatusLogBuf& operator=(const OrvNvmSanitizeStatusLogBuf&) = delete;
  u64 resize(u32 newLength) override;

  OrvWordField progress;
  OrvBufField recentStatus;
  OrvBufField overwritePasses;
  OrvBufField globalDataErased;
  OrvDwordField commandDword10;
  OrvDwordField overwriteTime;
  OrvDwordField blockEraseTime;
  OrvDwordField cryptoEraseTime;
};

}  // namespace VazidaRaduruNvmeInternal
}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
