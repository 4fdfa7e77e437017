#include "winsim/drive.h"

#include <cstdlib>
#include <cstring>

#include "winsim/drive_ata.h"
#include "winsim/drive_nvme.h"
#include "winsim/drive_sas.h"
#include "winsim/machine.h"

namespace winsim {

Drive::Drive(Machine& machine, rapidjson::Value& record, uint32_t number)
    : machine_(machine), record_(record), number_(number), bus_(text("bus", "")) {}

const rapidjson::Value* Drive::member(const char* key) const {
  if (!record_.IsObject()) return nullptr;
  auto found = record_.FindMember(key);
  return found == record_.MemberEnd() ? nullptr : &found->value;
}

std::string Drive::text(const char* key, const char* fallback) const {
  const rapidjson::Value* value = member(key);
  return value && value->IsString() ? value->GetString() : fallback;
}

uint64_t Drive::number64(const char* key, uint64_t fallback) const {
  const rapidjson::Value* value = member(key);
  return value && value->IsUint64() ? value->GetUint64() : fallback;
}

bool Drive::flag(const char* key, bool fallback) const {
  const rapidjson::Value* value = member(key);
  return value && value->IsBool() ? value->GetBool() : fallback;
}

uint64_t Drive::worldWideName() const {
  std::string given = text("wwn", "");
  if (!given.empty()) return std::strtoull(given.c_str(), nullptr, 16);
  uint64_t hash = 1469598103934665603ull;  // FNV-1a of the serial number
  for (unsigned char c : serial()) hash = (hash ^ c) * 1099511628211ull;
  return (0x5ull << 60) | (hash & 0x0FFFFFFFFFFFFFFFull);
}

void Drive::keep(const char* key, const std::string& value) {
  rapidjson::Document::AllocatorType& allocator = machine_.description().GetAllocator();
  rapidjson::Value text(value.c_str(), static_cast<rapidjson::SizeType>(value.size()), allocator);
  auto found = record_.FindMember(key);
  if (found != record_.MemberEnd())
    found->value = text;
  else
    record_.AddMember(rapidjson::Value(key, allocator), text, allocator);
  machine_.save();
}

void Drive::keepNumber(const char* key, uint64_t value) {
  rapidjson::Document::AllocatorType& allocator = machine_.description().GetAllocator();
  auto found = record_.FindMember(key);
  if (found != record_.MemberEnd())
    found->value.SetUint64(value);
  else
    record_.AddMember(rapidjson::Value(key, allocator), rapidjson::Value().SetUint64(value), allocator);
  machine_.save();
}

void Drive::forget(const char* key) {
  if (!record_.IsObject() || !record_.HasMember(key)) return;
  record_.RemoveMember(key);
  machine_.save();
}

std::unique_ptr<Drive> makeDrive(Machine& machine, rapidjson::Value& record, uint32_t number) {
  // One line per bus: a new kind of drive adds its class and its line here.
  struct Kind {
    const char* bus;
    std::unique_ptr<Drive> (*make)(Machine&, rapidjson::Value&, uint32_t);
  };
  static const Kind kinds[] = {
      {"sata", &makeAtaDrive},
      {"sat", &makeAtaDrive},
      {"sas", &makeSasDrive},
      {"nvme", &makeNvmeDrive},
  };
  auto bus = record.IsObject() ? record.FindMember("bus") : record.MemberEnd();
  if (!record.IsObject() || bus == record.MemberEnd() || !bus->value.IsString()) return nullptr;
  for (const Kind& kind : kinds)
    if (std::strcmp(kind.bus, bus->value.GetString()) == 0) return kind.make(machine, record, number);
  return nullptr;
}

std::string padded(const std::string& text, size_t length) {
  std::string result = text.substr(0, length);
  result.resize(length, ' ');
  return result;
}

}  // namespace winsim
