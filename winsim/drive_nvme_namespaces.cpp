// Namespace management as the controller reports it: OACS bit 3
// ("namespaceManagement"), the version ("nvmeVersion"), the number of
// namespaces ("namespaceCount") and the unallocated capacity
// ("unallocatedBytes"); and the namespace's LBA formats ("lbaFormats", a list
// of {"sectorSize", "metadataSize"}), the current one ("lbaFormat"), metadata
// at the end of the data ("extendedLba"), DPC ("protectionCaps") and DPS
// ("protectionSettings"), and RESCAP ("reservationCaps"). Without "lbaFormats" the namespace has the one
// format of the drive's sectorSize.
#include "winsim/drive_nvme.h"

namespace winsim {
namespace {

constexpr size_t OACS = 256;
constexpr uint8_t OACS_NAMESPACE_MANAGEMENT = 0x08;
constexpr size_t VERSION = 80;
constexpr size_t NAMESPACE_COUNT = 516;
constexpr size_t UNALLOCATED = 296;
constexpr size_t NLBAF = 25;
constexpr size_t FLBAS = 26;
constexpr size_t DPC = 28;
constexpr size_t DPS = 29;
constexpr size_t RESCAP = 31;
constexpr size_t LBA_FORMATS = 128;
constexpr unsigned MAX_FORMATS = 16;

uint32_t shiftOf(uint64_t size) {
  uint32_t shift = 0;
  while ((uint64_t{1} << shift) < size && shift < 31) ++shift;
  return shift;
}

uint64_t numberIn(const rapidjson::Value& object, const char* key) {
  auto found = object.FindMember(key);
  return found != object.MemberEnd() && found->value.IsUint64() ? found->value.GetUint64() : 0;
}

}  // namespace

void NvmeDrive::describeNamespaceManagement(std::vector<uint8_t>& controller) const {
  if (flag("namespaceManagement", false)) controller[OACS] |= OACS_NAMESPACE_MANAGEMENT;
  putLittle(controller, VERSION, number64("nvmeVersion", 0x00010400), 4);
  putLittle(controller, NAMESPACE_COUNT, number64("namespaceCount", 1), 4);
  putLittle(controller, UNALLOCATED, number64("unallocatedBytes", 0), 8);
}

void NvmeDrive::describeFormats(std::vector<uint8_t>& ns) const {
  const rapidjson::Value* formats = member("lbaFormats");
  if (formats && formats->IsArray() && !formats->Empty()) {
    unsigned count = 0;
    for (const rapidjson::Value& format : formats->GetArray()) {
      if (count == MAX_FORMATS || !format.IsObject()) break;
      uint64_t lbads = shiftOf(numberIn(format, "sectorSize"));
      putLittle(ns, LBA_FORMATS + 4 * count, lbads << 16 | (numberIn(format, "metadataSize") & 0xFFFF), 4);
      ++count;
    }
    if (count) ns[NLBAF] = static_cast<uint8_t>(count - 1);
  }
  ns[FLBAS] = static_cast<uint8_t>((number64("lbaFormat", 0) & 0x0F) | (flag("extendedLba", false) ? 0x10 : 0));
  ns[DPC] = static_cast<uint8_t>(number64("protectionCaps", 0));
  ns[DPS] = static_cast<uint8_t>(number64("protectionSettings", 0));
  ns[RESCAP] = static_cast<uint8_t>(number64("reservationCaps", 0));
}

}  // namespace winsim
