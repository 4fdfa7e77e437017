#include "devlib/nvme/orvlib_buffer_nvme_logs.h"

#include <cstdio>

#include "devlib/nvme/orvlib_buffer_nvme.h"
#include "osl/orv_status.h"
#include "osl/osl_file.h"

namespace VazidaRaduru {
namespace VazidaRaduruNvme {
namespace VazidaRaduruNvmeInternal {

OrvNvmLogBuffer::OrvNvmLogBuffer(u32 length, u8 pageId, std::string name)
    : OrvLogBuffer(length, ORV_LITTLE_ENDIAN, pageId, 0, std::move(name)) {}

void OrvNvmLogBuffer::hexDump(std::stringstream& out) {
  char header[256];
  std::snprintf(header, sizeof header, "%s [Page: 0x%02X] Hex-Dump\n", name.c_str(), getPageId());
  out.str("");
  out.clear();
  out << header << hexDumpText();
}

void OrvNvmLogBuffer::hexDump(void* file) {
  std::stringstream text;
  hexDump(text);
  osl_fprintf(static_cast<FILE*>(file), "%s", text.str().c_str());
}

constexpr u8 FW_SLOT_PAGE = 0x03;
constexpr u8 SLOT_REVISION_LENGTH = 8;
constexpr u8 LAST_SLOT = 7;

OrvNvmFwSlotInfoLog::OrvNvmFwSlotInfoLog() : OrvNvmLogBuffer(kLength, 0, "") {
  setIdentification(FW_SLOT_PAGE, 0, "Firmware Slot Information");
}

u64 OrvNvmFwSlotInfoLog::getSlotRevision(u8 slot, std::string& revision) {
  if (slot == 0 || slot > LAST_SLOT) return orvNvmeBufferStatus(ORV_ERR_INVALID_ARGUMENT, __LINE__);
  revision = OrvBufAscFld(data, slot * SLOT_REVISION_LENGTH, SLOT_REVISION_LENGTH, "", byteOrder).getValue();
  return 0;
}

u64 OrvNvmFwSlotInfoLog::getActiveSlot() { return byte(0, 0, 3).getValue(); }

u64 OrvNvmFwSlotInfoLog::getNextActiveSlot() { return byte(0, 4, 3).getValue(); }

OrvNvmInternalLogBuf::OrvNvmInternalLogBuf(u8 parameter, u32 length, u64 offset)
    : OrvNvmLogBuffer(length, 0, ""), logParameter(parameter), logOffset(offset) {
  if (length % 4 != 0 || offset % 4 != 0) throw orvNvmeBufferStatus(ORV_ERR_BUFFER_LENGTH, __LINE__);
}

void OrvNvmInternalLogBuf::descramble() {
  u32 position = logOffset == 0 && data[0] == logParameter ? 4 : 0;
  for (; position + 4 <= length; position += 4) {
    u32 word = orvLoad<u32>(data + position);
    orvStore<u32>(data + position, ~((word << 1) | (word >> 31)));
  }
}

OrvNvmLogDirectory::OrvNvmLogDirectory() : OrvNvmLogBuffer(kLength, 0, "") {}

void OrvNvmLogDirectory::setEntry(u8 logId, u32 dwords) {
  dword(logId * 4u, 0, 32).setValue((static_cast<u64>(dwords & 0xFFFFFF) << 8) | logId);
}

u64 OrvNvmLogDirectory::getLogId(u8 index) { return data[index * 4u]; }

bool OrvNvmLogDirectory::isLogSupported(u8 index) { return data[index * 4u] != 0; }

u32 OrvNvmLogDirectory::getLogSize(u8 index) {
  return isLogSupported(index) ? static_cast<u32>(dword(index * 4u, 8, 24).getValue()) : 0;
}

// ------------------------------------------------ health, error, self-test and
// sanitize logs

namespace {

OrvBufField bits(u8* data, u32 byteOffset, u8 firstBit, u8 lastBit) {
  return OrvBufField(data, byteOffset, firstBit, lastBit, "", ORV_LITTLE_ENDIAN);
}

// The fields of these logs view their bytes where they are now.
u64 keepLength(OrvBuffer& log, u32 newLength) {
  if (newLength != log.getLength()) return orvNvmeBufferStatus(ORV_ERR_BUFFER_LENGTH, __LINE__);
  return 0;
}

constexpr u8 ERROR_INFO_PAGE = 0x01;
constexpr u8 SMART_HEALTH_PAGE = 0x02;
constexpr u8 SANITIZE_PAGE = 0x81;

}  // namespace

OrvNvmStatusField::OrvNvmStatusField(u8* data, u32 byteOffset)
    : OrvBufField(data, byteOffset, 0, 15, "", ORV_LITTLE_ENDIAN),
      doNotRetry(bits(data, byteOffset, 15, 15)),
      more(bits(data, byteOffset, 14, 14)),
      statusCodeType(bits(data, byteOffset, 9, 11)),
      statusCode(bits(data, byteOffset, 1, 8)),
      phaseTag(bits(data, byteOffset, 0, 0)) {}

OrvNvmErrLocBits::OrvNvmErrLocBits(u8* data, u32 byteOffset)
    : OrvBufField(data, byteOffset, 0, 15, "", ORV_LITTLE_ENDIAN),
      byteInCommand(bits(data, byteOffset, 0, 7)),
      bitInByte(bits(data, byteOffset, 8, 10)) {}

OrvNvmErrInfoEntry::OrvNvmErrInfoEntry(OrvBuffer& log, u32 index)
    : OrvSubBuffer(log, index * kLength, kLength),
      errorCount(bits(data, 0, 0, 63)),
      submissionQueueId(bits(data, 8, 0, 15)),
      commandId(bits(data, 10, 0, 15)),
      statusField(data, 12),
      parameterErrorLocation(data, 14),
      lba(bits(data, 16, 0, 63)),
      nameSpace(bits(data, 24, 0, 31)),
      vendorInfoAvailable(bits(data, 28, 0, 7)),
      commandSpecificInfo(bits(data, 32, 0, 63)) {}

// A log of no entries is refused before any bytes are allocated.
static u32 errorLogLength(u32 count) {
  if (count == 0 || count > 0xFFFFFFFFu / OrvNvmErrInfoEntry::kLength)
    throw orvNvmeBufferStatus(ORV_ERR_BUFFER_LENGTH, __LINE__);
  return count * OrvNvmErrInfoEntry::kLength;
}

OrvNvmErrInfoLog::OrvNvmErrInfoLog(u32 count) : OrvNvmLogBuffer(errorLogLength(count), 0, "") {
  entries = new OrvNvmErrInfoEntry*[count]();
  try {
    for (u32 index = 0; index < count; ++index) {
      entries[index] = new OrvNvmErrInfoEntry(*this, index);
      entryCount = index + 1;
    }
  } catch (...) {
    releaseEntries();
    throw;
  }
  setIdentification(ERROR_INFO_PAGE, 0, "Error Information Log");
}

OrvNvmErrInfoLog::~OrvNvmErrInfoLog() { releaseEntries(); }

void OrvNvmErrInfoLog::releaseEntries() {
  for (u32 index = 0; index < entryCount; ++index) delete entries[index];
  delete[] entries;
  entries = nullptr;
  entryCount = 0;
}

u64 OrvNvmErrInfoLog::resize(u32 newLength) { return keepLength(*this, newLength); }

OrvNvmErrInfoEntry* OrvNvmErrInfoLog::getEntry(u32 index) {
  if (!entries) throw orvNvmeBufferStatus(ORV_ERR_NOT_INITIALIZED, __LINE__);
  if (index >= entryCount) throw orvNvmeBufferStatus(ORV_ERR_INDEX_OUT_OF_BOUND, __LINE__);
  return entries[index];
}

OrvNvmSmartCritWarn::OrvNvmSmartCritWarn(u8* data, u32 byteOffset)
    : OrvBufField(data, byteOffset, 0, 7, "", ORV_LITTLE_ENDIAN),
      spareBelowThreshold(bits(data, byteOffset, 0, 0)),
      temperatureOutside(bits(data, byteOffset, 1, 1)),
      reliabilityDegraded(bits(data, byteOffset, 2, 2)),
      readOnly(bits(data, byteOffset, 3, 3)),
      backupFailed(bits(data, byteOffset, 4, 4)) {}

#define ORV_NVM_COUNTER(offset) {bits(data, offset, 0, 63), bits(data, (offset) + 8, 0, 63)}

OrvNvmSmartHealthLog::OrvNvmSmartHealthLog()
    : OrvNvmLogBuffer(kLength, 0, ""),
      criticalWarning(data, 0),
      compositeTemperature(bits(data, 1, 0, 15)),
      availableSpare(bits(data, 3, 0, 7)),
      availableSpareThreshold(bits(data, 4, 0, 7)),
      percentageUsed(bits(data, 5, 0, 7)),
      dataUnitsRead ORV_NVM_COUNTER(32),
      dataUnitsWritten ORV_NVM_COUNTER(48),
      hostReadCommands ORV_NVM_COUNTER(64),
      hostWriteCommands ORV_NVM_COUNTER(80),
      controllerBusyTime ORV_NVM_COUNTER(96),
      powerCycles ORV_NVM_COUNTER(112),
      powerOnHours ORV_NVM_COUNTER(128),
      unsafeShutdowns ORV_NVM_COUNTER(144),
      mediaErrors ORV_NVM_COUNTER(160),
      errorLogEntries ORV_NVM_COUNTER(176),
      warningTemperatureTime(bits(data, 192, 0, 31)),
      criticalTemperatureTime(bits(data, 196, 0, 31)),
      temperatureSensor{bits(data, 200, 0, 15), bits(data, 202, 0, 15), bits(data, 204, 0, 15),
                        bits(data, 206, 0, 15), bits(data, 208, 0, 15), bits(data, 210, 0, 15),
                        bits(data, 212, 0, 15), bits(data, 214, 0, 15)} {
  setIdentification(SMART_HEALTH_PAGE, 0, "SMART/Health Log");
}

#undef ORV_NVM_COUNTER

u64 OrvNvmSmartHealthLog::resize(u32 newLength) { return keepLength(*this, newLength); }

OrvNvmSelfTestResults::OrvNvmSelfTestResults(u8 index, OrvBuffer& log)
    : OrvSubBuffer(log, 4 + index * kLength, kLength),
      selfTestCode(bits(data, 0, 4, 7)),
      selfTestResult(bits(data, 0, 0, 3)),
      segmentNumber(bits(data, 1, 0, 7)),
      validDiagnosticInfo(bits(data, 2, 0, 7)),
      powerOnHours(bits(data, 4, 0, 63)),
      namespaceId(bits(data, 12, 0, 31)),
      failingLba(bits(data, 16, 0, 63)),
      statusCodeType(bits(data, 24, 0, 7)),
      statusCode(bits(data, 25, 0, 7)) {}

OrvNvmSelfTestStatus::OrvNvmSelfTestStatus()
    : OrvNvmLogBuffer(kLength, 0, ""), currentOperation(bits(data, 0, 0, 7)), currentCompletion(bits(data, 1, 0, 6)) {
  try {
    for (u8 index = 0; index < kResults; ++index) results[index] = new OrvNvmSelfTestResults(index, *this);
  } catch (...) {
    releaseResults();
    throw;
  }
}

OrvNvmSelfTestStatus::~OrvNvmSelfTestStatus() { releaseResults(); }

void OrvNvmSelfTestStatus::releaseResults() {
  for (OrvNvmSelfTestResults*& result : results) {
    delete result;
    result = nullptr;
  }
}

u64 OrvNvmSelfTestStatus::resize(u32 newLength) { return keepLength(*this, newLength); }

OrvNvmSanitizeStatusLogBuf::OrvNvmSanitizeStatusLogBuf()
    : OrvNvmLogBuffer(kLength, SANITIZE_PAGE, "Sanitize Status"),
      progress(data, 0, "", ORV_LITTLE_ENDIAN),
      recentStatus(bits(data, 2, 0, 2)),
      overwritePasses(bits(data, 2, 3, 7)),
      globalDataErased(bits(data, 2, 8, 8)),
      commandDword10(data, 4, "", ORV_LITTLE_ENDIAN),
      overwriteTime(data, 8, "", ORV_LITTLE_ENDIAN),
      blockEraseTime(data, 12, "", ORV_LITTLE_ENDIAN),
      cryptoEraseTime(data, 16, "", ORV_LITTLE_ENDIAN) {}

u64 OrvNvmSanitizeStatusLogBuf::resize(u32 newLength) { return keepLength(*this, newLength); }

}  // namespace VazidaRaduruNvmeInternal
}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
