// Features of the NVMe controller beyond the temperature threshold and the
// write cache: the record's "features" object names each further feature
// the controller answers by its id in hex ("08", "F3") with its dword 0 at
// start. Set Features replaces the dword for the rest of the run; any other
// id is an invalid field. Interrupt Vector Configuration (09h) is kept per
// vector, as Dword 11 bits 15:0 name it: the listed dword's bits 31:16
// (Coalescing Disable in bit 16) are every vector's at start, and Get
// Features answers the vector asked for in bits 15:0 with its own.
#include <cstdlib>
#include <string>

#include "winsim/drive_nvme.h"

namespace winsim {

void NvmeDrive::otherFeature(NvmeIo& io, bool set) {
  if (!featuresLoaded_) {
    featuresLoaded_ = true;
    const rapidjson::Value* listed = member("features");
    if (listed && listed->IsObject()) {
      for (auto it = listed->MemberBegin(); it != listed->MemberEnd(); ++it) {
        if (!it->value.IsUint()) continue;
        uint8_t id = static_cast<uint8_t>(std::strtoul(it->name.GetString(), nullptr, 16));
        features_[id] = it->value.GetUint();
      }
    }
  }
  auto found = features_.find(static_cast<uint8_t>(io.dword(10) & 0xFF));
  if (found == features_.end()) return nvmeFail(io, NVME_INVALID_FIELD);
  if (found->first == INTERRUPT_VECTOR_CONFIGURATION) {
    uint16_t vector = static_cast<uint16_t>(io.dword(11));
    auto kept = vectors_.find(vector);
    if (set)
      vectors_[vector] = io.dword(11) & 0xFFFF0000;
    else
      io.result = vector | (kept != vectors_.end() ? kept->second : found->second & 0xFFFF0000);
    return;
  }
  if (set) {
    found->second = io.dword(11);
  } else {
    io.result = found->second;
  }
}

}  // namespace winsim
