// Namespace management as the controller reports it: OACS bit 3
// ("namespaceManagement"), the version ("nvmeVersion"), the number of
// namespaces ("namespaceCount") and the unallocated capacity
// ("unallocatedBytes"); and the namespace's LBA formats ("lbaFormats", a list
// of {"sectorSize", "metadataSize"}), the current one ("lbaFormat"), metadata
// at the end of the data ("extendedLba"), DPC ("protectionCaps") and DPS
// ("protectionSettings"), and RESCAP ("reservationCaps"). Without "lbaFormats" the namespace has the one
// format of the drive's sectorSize.
// With namespace management the controller takes Namespace Management
// (create, delete) and Namespace Attachment (attach, detach to itself, the
// only controller of its subsystem) for namespaces beside namespace 1, which
// holds the drive's own data and stays; what they make is kept in the
// record's "namespaces", their bytes taken from "unallocatedBytes".
#include <algorithm>

#include "winsim/drive_nvme.h"
#include "winsim/machine.h"

namespace winsim {
namespace {

constexpr uint32_t OWN_NAMESPACE = 1;
constexpr uint32_t ALL_NAMESPACES = 0xFFFFFFFF;
constexpr size_t LIST_LENGTH = 4096;
constexpr uint8_t SELECT_CREATE = 0;  // and attach
constexpr uint8_t SELECT_DELETE = 1;  // and detach
constexpr uint32_t CREATE_DATA = 384;
constexpr uint64_t VERSION_1_2 = 0x00010200;

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

uint64_t littleAt(const uint8_t* bytes, unsigned count) {
  uint64_t value = 0;
  for (unsigned i = 0; i < count; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

// LBADS of the format FLBAS selects; 0 for one the namespace data does not
// offer or a block size a namespace cannot have.
uint8_t blockShift(const std::vector<uint8_t>& ns, uint8_t flbas) {
  uint8_t format = flbas & 0x0F;
  uint8_t lbads = format <= ns[NLBAF] ? ns[LBA_FORMATS + 4 * format + 2] : 0;
  return lbads >= 9 && lbads <= 16 ? lbads : 0;
}

// The bytes of size blocks of that format; 0 when they cannot be counted.
uint64_t bytesOf(const std::vector<uint8_t>& ns, uint64_t size, uint8_t flbas) {
  uint8_t lbads = blockShift(ns, flbas);
  return lbads && size <= (~uint64_t{0} >> lbads) ? size << lbads : 0;
}

}  // namespace

std::vector<NvmeDrive::MadeNamespace> NvmeDrive::madeNamespaces() const {
  std::vector<MadeNamespace> made;
  const rapidjson::Value* kept = member("namespaces");
  if (!kept || !kept->IsArray()) return made;
  for (const rapidjson::Value& one : kept->GetArray()) {
    if (!one.IsObject()) continue;
    MadeNamespace ns;
    ns.id = static_cast<uint32_t>(numberIn(one, "id"));
    ns.size = numberIn(one, "size");
    ns.capacity = numberIn(one, "capacity");
    ns.flbas = static_cast<uint8_t>(numberIn(one, "flbas"));
    ns.dps = static_cast<uint8_t>(numberIn(one, "dps"));
    ns.nmic = static_cast<uint8_t>(numberIn(one, "nmic"));
    auto attached = one.FindMember("attached");
    ns.attached = attached != one.MemberEnd() && attached->value.IsBool() && attached->value.GetBool();
    if (ns.id > OWN_NAMESPACE) made.push_back(ns);
  }
  return made;
}

void NvmeDrive::keepNamespaces(const std::vector<MadeNamespace>& made) {
  rapidjson::Document::AllocatorType& allocator = machine().description().GetAllocator();
  rapidjson::Value list(rapidjson::kArrayType);
  for (const MadeNamespace& ns : made) {
    rapidjson::Value one(rapidjson::kObjectType);
    one.AddMember("id", ns.id, allocator);
    one.AddMember("size", ns.size, allocator);
    one.AddMember("capacity", ns.capacity, allocator);
    one.AddMember("flbas", ns.flbas, allocator);
    one.AddMember("dps", ns.dps, allocator);
    one.AddMember("nmic", ns.nmic, allocator);
    one.AddMember("attached", ns.attached, allocator);
    list.PushBack(one, allocator);
  }
  auto found = record().FindMember("namespaces");
  if (found != record().MemberEnd())
    found->value = list;
  else
    record().AddMember("namespaces", list, allocator);
  machine().save();
}

std::vector<uint8_t> NvmeDrive::namespaceIdentify(NvmeIo& io) const {
  uint32_t nsid = io.dword(1);
  uint8_t cns = io.dword(10) & 0xFF;
  if (cns >= 0x10 && number64("nvmeVersion", 0x00010400) < VERSION_1_2) {
    nvmeFail(io, NVME_INVALID_FIELD);
    return {};
  }
  std::vector<MadeNamespace> made = madeNamespaces();
  auto madeOne = std::find_if(made.begin(), made.end(), [&](const MadeNamespace& ns) { return ns.id == nsid; });
  bool allocated = nsid == OWN_NAMESPACE || madeOne != made.end();
  bool active = nsid == OWN_NAMESPACE || (madeOne != made.end() && madeOne->attached);
  switch (cns) {
    case 0x00:
    case 0x11: {
      if (!allocated) break;
      // An allocated namespace that is not attached reads as zeros.
      if (cns == 0x00 && !active) return std::vector<uint8_t>(4096, 0);
      std::vector<uint8_t> data = namespaceData();
      if (nsid == OWN_NAMESPACE) return data;
      putLittle(data, 0, madeOne->size, 8);
      putLittle(data, 8, madeOne->capacity, 8);
      putLittle(data, 16, 0, 8);
      data[FLBAS] = madeOne->flbas;
      data[DPS] = madeOne->dps;
      data[30] = madeOne->nmic;
      return data;
    }
    case 0x02:
    case 0x10: {
      std::vector<uint32_t> ids{OWN_NAMESPACE};
      for (const MadeNamespace& ns : made)
        if (cns == 0x10 || ns.attached) ids.push_back(ns.id);
      std::sort(ids.begin(), ids.end());
      std::vector<uint8_t> list(LIST_LENGTH, 0);
      size_t at = 0;
      for (uint32_t id : ids) {
        if (id <= nsid || at == LIST_LENGTH) continue;
        putLittle(list, at, id, 4);
        at += 4;
      }
      return list;
    }
    case 0x12:
    case 0x13: {
      // A count, then the ids from the one Dword 10 names.
      std::vector<uint8_t> list(LIST_LENGTH, 0);
      if ((cns == 0x13 || active) && CONTROLLER_ID >= (io.dword(10) >> 16)) {
        putLittle(list, 0, 1, 2);
        putLittle(list, 2, CONTROLLER_ID, 2);
      }
      return list;
    }
    default:
      nvmeFail(io, NVME_INVALID_FIELD);
      return {};
  }
  nvmeFail(io, NVME_INVALID_NAMESPACE);
  return {};
}

void NvmeDrive::manageNamespace(NvmeIo& io) {
  if (!flag("namespaceManagement", false)) return nvmeFail(io, NVME_INVALID_OPCODE);
  std::vector<MadeNamespace> made = madeNamespaces();
  std::vector<uint8_t> ns = namespaceData();
  uint64_t unallocated = number64("unallocatedBytes", 0);
  uint8_t select = io.dword(10) & 0x0F;
  if (select == SELECT_DELETE) {
    uint32_t nsid = io.dword(1);
    std::vector<MadeNamespace> kept;
    for (const MadeNamespace& one : made) {
      if (nsid == ALL_NAMESPACES || one.id == nsid)
        unallocated += bytesOf(ns, one.size, one.flbas);
      else
        kept.push_back(one);
    }
    if (kept.size() == made.size() && nsid != ALL_NAMESPACES) return nvmeFail(io, NVME_INVALID_NAMESPACE);
    keepNumber("unallocatedBytes", unallocated);
    return keepNamespaces(kept);
  }
  if (select != SELECT_CREATE || io.phase != DataPhase::out || !io.data || io.length < CREATE_DATA)
    return nvmeFail(io, NVME_INVALID_FIELD);
  MadeNamespace one;
  one.size = littleAt(io.data, 8);
  one.capacity = littleAt(io.data + 8, 8);
  one.flbas = io.data[FLBAS];
  one.dps = io.data[DPS];
  one.nmic = io.data[30];
  if (!blockShift(ns, one.flbas)) return nvmeFail(io, NVME_INVALID_FORMAT);
  if (one.size == 0 || one.capacity > one.size) return nvmeFail(io, NVME_INVALID_FIELD);
  uint64_t bytes = bytesOf(ns, one.size, one.flbas);
  if (bytes == 0 || bytes > unallocated) return nvmeFail(io, NVME_INSUFFICIENT_CAPACITY);
  uint64_t limit = number64("namespaceCount", 1);
  for (one.id = OWN_NAMESPACE + 1; one.id <= limit; ++one.id)
    if (std::none_of(made.begin(), made.end(), [&](const MadeNamespace& ns) { return ns.id == one.id; })) break;
  if (one.id > limit) return nvmeFail(io, NVME_NAMESPACE_ID_UNAVAILABLE);
  keepNumber("unallocatedBytes", unallocated - bytes);
  made.push_back(one);
  keepNamespaces(made);
  io.result = one.id;
}

void NvmeDrive::attachNamespace(NvmeIo& io) {
  if (!flag("namespaceManagement", false)) return nvmeFail(io, NVME_INVALID_OPCODE);
  uint8_t select = io.dword(10) & 0x0F;
  if (select > SELECT_DELETE || io.phase != DataPhase::out || !io.data || io.length < 4)
    return nvmeFail(io, NVME_INVALID_FIELD);
  // The list may name only this controller, the one of its subsystem.
  uint64_t count = littleAt(io.data, 2);
  if (count == 0 || count > io.length / 2 - 1) return nvmeFail(io, NVME_CONTROLLER_LIST_INVALID);
  for (uint64_t i = 1; i <= count; ++i)
    if (littleAt(io.data + 2 * i, 2) != CONTROLLER_ID) return nvmeFail(io, NVME_CONTROLLER_LIST_INVALID);
  uint32_t nsid = io.dword(1);
  if (nsid == OWN_NAMESPACE)
    return nvmeFail(io, select == SELECT_CREATE ? NVME_NAMESPACE_ATTACHED : NVME_INVALID_FIELD);
  std::vector<MadeNamespace> made = madeNamespaces();
  auto one = std::find_if(made.begin(), made.end(), [&](const MadeNamespace& ns) { return ns.id == nsid; });
  if (one == made.end()) return nvmeFail(io, NVME_INVALID_NAMESPACE);
  bool attach = select == SELECT_CREATE;
  if (attach && one->attached) return nvmeFail(io, NVME_NAMESPACE_ATTACHED);
  if (!attach && !one->attached) return nvmeFail(io, NVME_NAMESPACE_NOT_ATTACHED);
  one->attached = attach;
  keepNamespaces(made);
}

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
