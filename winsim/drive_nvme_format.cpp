// Format NVM, sanitize and the vendor capacity feature of the NVMe
// controller, and the identify bits of these and of self-test. The record
// keeps the namespace's format ("flbas", "dps", the number of LBA formats
// "lbaFormats", all of the drive's sector size), the capabilities
// ("formatNvm", "cryptoErase", "sanitizeCapabilities" as the SANICAP bits,
// "namespaceManagement") and what the commands leave behind:
// "lastSecureErase", "sanitizeStatus", "sanitizeProgress",
// "sanitizeCommand" and "maxCapacity" (present: feature F7h answers).
#include <cstring>

#include "winsim/drive_nvme.h"

namespace winsim {
namespace {

constexpr uint8_t OACS_FORMAT = 0x02;
constexpr uint8_t OACS_NAMESPACE_MANAGEMENT = 0x08;
constexpr uint8_t OACS_SELF_TEST = 0x10;
constexpr uint8_t FNA_CRYPTO_ERASE = 0x04;
constexpr uint8_t CAPACITY_FEATURE = 0xF7;
constexpr uint32_t CAPACITY_RECORD = 12;
constexpr uint64_t NATIVE_CAPACITY = ~uint64_t{0};

enum SanitizeAction : uint8_t { LEAVE_FAILURE = 1, BLOCK_ERASE = 2, OVERWRITE = 3, CRYPTO_ERASE = 4 };
// SANICAP bit of each erase action.
constexpr uint8_t kSanitizeBit[] = {0, 0, 0x02, 0x04, 0x01};

enum SanitizeStatus : uint8_t { NEVER = 0, COMPLETED = 1, IN_PROGRESS = 2, FAILED = 3 };
constexpr uint16_t PROGRESS_DONE = 0xFFFF;

}  // namespace

void NvmeDrive::putFormatFields(std::vector<uint8_t>& controller) const {
  if (!flag("formatNvm", true)) controller[256] &= static_cast<uint8_t>(~OACS_FORMAT);
  if (flag("namespaceManagement", false)) {
    controller[256] |= OACS_NAMESPACE_MANAGEMENT;
    putLittle(controller, 280, sectors() * sectorSize(), 8);
  }
  if (selfTestSupported()) controller[256] |= OACS_SELF_TEST;
  putLittle(controller, 328, number64("sanitizeCapabilities", 0), 4);
  if (flag("cryptoErase", false)) controller[524] |= FNA_CRYPTO_ERASE;
}

// "lbaFormats" as a count of formats like the first; a list of formats is
// described by describeFormats. "flbas" and "dps", which a format writes,
// win over the namespace keys there.
void NvmeDrive::putNamespaceFormat(std::vector<uint8_t>& ns) const {
  const rapidjson::Value* count = member("lbaFormats");
  if (!count || count->IsNumber()) {
    uint64_t formats = number64("lbaFormats", 1);
    formats = formats < 1 ? 1 : formats > 16 ? 16 : formats;
    ns[25] = static_cast<uint8_t>(formats - 1);
    for (size_t index = 1; index < formats; ++index) std::memcpy(&ns[128 + 4 * index], &ns[128], 4);
  }
  if (member("flbas")) ns[26] = static_cast<uint8_t>(number64("flbas", 0));
  if (member("dps")) ns[29] = static_cast<uint8_t>(number64("dps", 0));
}

void NvmeDrive::formatNvm(NvmeIo& io) {
  uint32_t dword10 = io.dword(10);
  uint8_t format = dword10 & 0x0F;
  uint8_t secureErase = (dword10 >> 9) & 7;
  if (!flag("formatNvm", true)) return nvmeFail(io, NVME_INVALID_OPCODE);
  if (format >= number64("lbaFormats", 1)) return nvmeFail(io, NVME_INVALID_FORMAT);
  if (secureErase > 2 || (secureErase == 2 && !flag("cryptoErase", false)))
    return nvmeFail(io, NVME_INVALID_FIELD);
  keepNumber("flbas", format | (dword10 & 0x10));
  keepNumber("dps", (dword10 >> 5) & 0x0F);
  keepNumber("lastSecureErase", secureErase);
}

void NvmeDrive::sanitize(NvmeIo& io) {
  uint64_t capabilities = number64("sanitizeCapabilities", 0);
  uint8_t action = io.dword(10) & 7;
  if (capabilities == 0) return nvmeFail(io, NVME_INVALID_OPCODE);
  if (number64("sanitizeStatus", NEVER) == IN_PROGRESS) return nvmeFail(io, NVME_SANITIZE_IN_PROGRESS);
  bool offered = action == LEAVE_FAILURE || (action <= CRYPTO_ERASE && (capabilities & kSanitizeBit[action]));
  if (action < LEAVE_FAILURE || !offered) return nvmeFail(io, NVME_INVALID_FIELD);
  keepNumber("sanitizeCommand", io.dword(10));
  if (action == LEAVE_FAILURE) {
    if (number64("sanitizeStatus", NEVER) == FAILED) keepNumber("sanitizeStatus", COMPLETED);
    return;
  }
  // A drive told to fail leaves the sanitize failed; otherwise it ends at once.
  keepNumber("sanitizeStatus", flag("sanitizeFails", false) ? FAILED : COMPLETED);
  keepNumber("sanitizeProgress", PROGRESS_DONE);
}

std::vector<uint8_t> NvmeDrive::sanitizeLog() const {
  if (number64("sanitizeCapabilities", 0) == 0) return {};
  std::vector<uint8_t> page(512, 0);
  putLittle(page, 0, number64("sanitizeProgress", PROGRESS_DONE), 2);
  page[2] = static_cast<uint8_t>(number64("sanitizeStatus", NEVER) & 7);
  putLittle(page, 4, number64("sanitizeCommand", 0), 4);
  return page;
}

bool NvmeDrive::capacityFeature(NvmeIo& io, bool set) {
  if ((io.dword(10) & 0xFF) != CAPACITY_FEATURE || !member("maxCapacity")) return false;
  if (!set) {
    std::vector<uint8_t> record(CAPACITY_RECORD, 0);
    putLittle(record, 4, number64("maxCapacity", sectors()), 8);
    nvmeSend(io, record);
    return true;
  }
  if (io.phase != DataPhase::out || !io.data || io.length < CAPACITY_RECORD) {
    nvmeFail(io, NVME_INVALID_FIELD);
    return true;
  }
  uint64_t capacity = 0;
  for (unsigned i = 0; i < 8; ++i) capacity |= static_cast<uint64_t>(io.data[4 + i]) << (8 * i);
  if (capacity == NATIVE_CAPACITY) capacity = sectors();
  if (capacity == 0 || capacity > sectors()) {
    nvmeFail(io, NVME_INVALID_FIELD);
    return true;
  }
  keepNumber("maxCapacity", capacity);
  return true;
}

}  // namespace winsim
