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

void OrvNvmLogDirectory::setEntry(u8 logId, u32 size) {
  dword(logId * 4u, 0, 32).setValue((static_cast<u64>(size & 0xFFFFFF) << 8) | logId);
}

u64 OrvNvmLogDirectory::getLogId(u8 index) { return data[index * 4u]; }

bool OrvNvmLogDirectory::isLogSupported(u8 index) { return data[index * 4u] != 0; }

u32 OrvNvmLogDirectory::getLogSize(u8 index) {
  return isLogSupported(index) ? static_cast<u32>(dword(index * 4u, 8, 24).getValue()) : 0;
}


// ---------------------------------------------- self-test and sanitize logs

constexpr u32 SELF_TEST_RESULT_LENGTH = 28;
constexpr u32 SELF_TEST_FIRST_RESULT = 4;
constexpr u8 SANITIZE_PAGE = 0x81;

OrvNvmSelfTestResults::OrvNvmSelfTestResults(u8 index, OrvBuffer& log)
    : OrvSubBuffer(log, SELF_TEST_FIRST_RESULT + index * SELF_TEST_RESULT_LENGTH, SELF_TEST_RESULT_LENGTH) {}

OrvNvmSelfTestStatus::OrvNvmSelfTestStatus() : OrvNvmLogBuffer(kLength, 0, "") {
  for (u8 index = 0; index < kResults; ++index) results.emplace_back(new OrvNvmSelfTestResults(index, *this));
}

OrvNvmSanitizeStatusLogBuf::OrvNvmSanitizeStatusLogBuf() : OrvNvmLogBuffer(kLength, SANITIZE_PAGE, "Sanitize Status") {}

}  // namespace VazidaRaduruNvmeInternal
}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
