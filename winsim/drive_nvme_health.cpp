// Health and error logs of the NVMe controller. The record's "health" object
// sets fields of the SMART / Health Information log by name (a 128-bit
// counter takes a number or [lower, upper]; "sensors" takes up to eight
// kelvin values); "errorLog" lists the entries of the Error Information log
// from the first, and "errorLogEntries" is the controller's ELPE.
#include <string>

#include "winsim/drive_nvme.h"

namespace winsim {
namespace {

struct HealthField {
  const char* key;
  size_t offset;
  unsigned width;  // bytes; 16 for a 128-bit counter
  uint64_t fallback;
};

constexpr HealthField kHealthFields[] = {
    {"criticalWarning", 0, 1, 0},       {"temperature", 1, 2, 310},
    {"availableSpare", 3, 1, 100},      {"spareThreshold", 4, 1, 10},
    {"percentageUsed", 5, 1, 0},        {"dataUnitsRead", 32, 16, 0},
    {"dataUnitsWritten", 48, 16, 0},    {"hostReads", 64, 16, 0},
    {"hostWrites", 80, 16, 0},          {"busyTime", 96, 16, 0},
    {"powerCycles", 112, 16, 0},        {"powerOnHours", 128, 16, 0},
    {"unsafeShutdowns", 144, 16, 0},    {"mediaErrors", 160, 16, 0},
    {"errorEntries", 176, 16, 0},       {"warningTime", 192, 4, 0},
    {"criticalTime", 196, 4, 0},
};

struct ErrorField {
  const char* key;
  size_t offset;
  unsigned width;
};

constexpr ErrorField kErrorFields[] = {
    {"count", 0, 8},       {"queue", 8, 2},        {"command", 10, 2}, {"status", 12, 2},
    {"location", 14, 2},   {"lba", 16, 8},         {"namespace", 24, 4}, {"vendorInfo", 28, 1},
    {"commandInfo", 32, 8},
};

constexpr size_t ERROR_ENTRY_LENGTH = 64;
constexpr size_t SENSORS_OFFSET = 200;
constexpr unsigned SENSORS = 8;

uint64_t numberOf(const rapidjson::Value* value, uint64_t fallback) {
  return value && value->IsUint64() ? value->GetUint64() : fallback;
}

const rapidjson::Value* field(const rapidjson::Value* object, const char* key) {
  if (!object || !object->IsObject()) return nullptr;
  auto found = object->FindMember(key);
  return found == object->MemberEnd() ? nullptr : &found->value;
}

}  // namespace

uint8_t NvmeDrive::errorLogEntries() const { return static_cast<uint8_t>(number64("errorLogEntries", 63)); }

std::vector<uint8_t> NvmeDrive::healthLog() const {
  std::vector<uint8_t> page(512, 0);
  const rapidjson::Value* health = member("health");
  for (const HealthField& entry : kHealthFields) {
    const rapidjson::Value* value = field(health, entry.key);
    if (entry.width == 16 && value && value->IsArray() && value->Size() == 2) {
      putLittle(page, entry.offset, numberOf(&(*value)[0], 0), 8);
      putLittle(page, entry.offset + 8, numberOf(&(*value)[1], 0), 8);
    } else {
      putLittle(page, entry.offset, numberOf(value, entry.fallback), entry.width == 16 ? 8 : entry.width);
    }
  }
  const rapidjson::Value* sensors = field(health, "sensors");
  if (sensors && sensors->IsArray()) {
    for (unsigned i = 0; i < sensors->Size() && i < SENSORS; ++i)
      putLittle(page, SENSORS_OFFSET + 2 * i, numberOf(&(*sensors)[i], 0), 2);
  }
  return page;
}

std::vector<uint8_t> NvmeDrive::errorLog() const {
  size_t entries = static_cast<size_t>(errorLogEntries()) + 1;
  std::vector<uint8_t> page(entries * ERROR_ENTRY_LENGTH, 0);
  const rapidjson::Value* log = member("errorLog");
  if (!log || !log->IsArray()) return page;
  for (rapidjson::SizeType i = 0; i < log->Size() && i < entries; ++i) {
    for (const ErrorField& entry : kErrorFields)
      putLittle(page, i * ERROR_ENTRY_LENGTH + entry.offset, numberOf(field(&(*log)[i], entry.key), 0), entry.width);
  }
  return page;
}

}  // namespace winsim
