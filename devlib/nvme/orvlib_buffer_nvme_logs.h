// NVMe log pages the device reads for its firmware and internal-log work:
// the firmware slot information, one piece of the vendor internal log, and
// the directory of the logs a drive offers with their sizes. Each holds its
// own little-endian bytes and dumps them under a "[Page: 0x..]" header.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

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
// 4 x n, its id in the first byte (0: absent) and its size in bytes in the
// three after it.
class OrvNvmLogDirectory : public OrvNvmLogBuffer {
 public:
  static constexpr u32 kLength = 1024;
  OrvNvmLogDirectory();

  void setEntry(u8 logId, u32 size);
  u64 getLogId(u8 index);
  bool isLogSupported(u8 index);
  u32 getLogSize(u8 index);
};


// ---------------------------------------------- self-test and sanitize logs

// One result descriptor of the Device Self-test log: 28 bytes at
// 4 + index x 28.
class OrvNvmSelfTestResults : public OrvSubBuffer {
 public:
  OrvNvmSelfTestResults(u8 index, OrvBuffer& log);

  u64 selfTestCode() { return byte(0, 4, 4).getValue(); }
  u64 selfTestResult() { return byte(0, 0, 4).getValue(); }
  u64 powerOnHours() { return qword(4, 0, 64).getValue(); }
  u64 namespaceId() { return dword(12, 0, 32).getValue(); }
  u64 failingLba() { return qword(16, 0, 64).getValue(); }
};

// Log 06h: the running operation, its completion percent and the twenty
// newest results.
class OrvNvmSelfTestStatus : public OrvNvmLogBuffer {
 public:
  static constexpr u32 kLength = 564;
  static constexpr u8 kResults = 20;
  OrvNvmSelfTestStatus();

  u64 currentOperation() { return byte(0, 0, 4).getValue(); }
  u64 currentCompletion() { return byte(1, 0, 7).getValue(); }
  OrvNvmSelfTestResults& result(u8 index) { return *results.at(index); }

 private:
  std::vector<std::unique_ptr<OrvNvmSelfTestResults>> results;
};

// Log 81h: progress in 1/65536 of the whole and the latest sanitize's
// status.
class OrvNvmSanitizeStatusLogBuf : public OrvNvmLogBuffer {
 public:
  static constexpr u32 kLength = 512;
  OrvNvmSanitizeStatusLogBuf();

  u64 sanitizeProgress() { return word(0, 0, 16).getValue(); }
  u64 recentStatus() { return byte(2, 0, 3).getValue(); }
};

}  // namespace VazidaRaduruNvmeInternal
}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
