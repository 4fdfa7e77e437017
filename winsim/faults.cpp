#include "winsim/faults.h"

#include <csignal>
#include <cstring>

#include "winsim/machine.h"
#include "winsim/winsim_test.h"

namespace winsim {
namespace {

bool matches(const rapidjson::Value& fault, const FaultRequest& request) {
  auto kind = fault.FindMember(request.kind);
  if (kind == fault.MemberEnd()) return false;
  if (kind->value.IsString()) {
    if (request.name != kind->value.GetString()) return false;
  } else if (!kind->value.IsInt64() || kind->value.GetInt64() != request.code) {
    return false;
  }
  if (faultNumber(fault, "drive", request.drive) != request.drive) return false;
  auto set = fault.FindMember("set");
  if (set != fault.MemberEnd() && (!set->value.IsInt64() || set->value.GetInt64() != request.raidSet))
    return false;
  if (request.detailKey) {
    auto detail = fault.FindMember(request.detailKey);
    if (detail != fault.MemberEnd() &&
        (!detail->value.IsInt64() || detail->value.GetInt64() != request.detail))
      return false;
  }
  return true;
}

}  // namespace

Faults::Faults(Machine& machine) {
  const rapidjson::Value& description = machine.description();
  auto found = description.FindMember("faults");
  if (found == description.MemberEnd() || !found->value.IsArray()) return;
  list_ = &found->value;
  counters_.resize(list_->Size());
}

const rapidjson::Value* Faults::take(const FaultRequest& request) {
  if (!list_) return nullptr;
  for (rapidjson::SizeType i = 0; i < list_->Size(); ++i) {
    const rapidjson::Value& fault = (*list_)[i];
    if (!fault.IsObject() || !matches(fault, request)) continue;
    Counter& counter = counters_[i];
    ++counter.seen;
    if (counter.seen <= static_cast<unsigned>(faultNumber(fault, "after", 0))) continue;
    int times = faultNumber(fault, "times", -1);
    if (times >= 0 && counter.hits >= static_cast<unsigned>(times)) continue;
    ++counter.hits;
    // A signal comes with the request, which goes on as if nothing hit it.
    int signal = faultNumber(fault, "signal", 0);
    if (signal > 0) {
      raise(signal);
      continue;
    }
    return &fault;
  }
  return nullptr;
}

std::vector<unsigned> Faults::matched() const {
  std::vector<unsigned> counts;
  for (const Counter& counter : counters_) counts.push_back(counter.seen);
  return counts;
}

std::vector<unsigned> faultMatches() { return Machine::current().part<Faults>().matched(); }

int faultNumber(const rapidjson::Value& fault, const char* key, int fallback) {
  auto found = fault.FindMember(key);
  return found != fault.MemberEnd() && found->value.IsInt() ? found->value.GetInt() : fallback;
}

}  // namespace winsim
