#include "osl/osl_model.h"

#include <cstring>
#include <string>

namespace {

// The maker's name before a model number, as some drives report it.
const char kMakerPrefix[] = "ORVENTA ";

}  // namespace

bool osl_is_model(const char* read, const char* model) {
  const size_t prefix = sizeof kMakerPrefix - 1;
  return std::strcmp(read, model) == 0 ||
         (std::strncmp(read, kMakerPrefix, prefix) == 0 && std::strcmp(read + prefix, model) == 0);
}

bool osl_may_be_model(const char* read, u32 field, const char* model) {
  if (field == 0) return true;
  for (std::string whole : {std::string(model), kMakerPrefix + std::string(model)}) {
    if (whole.size() <= field) continue;
    // The field holds the model's start, padded with blanks: a cut just
    // after a blank leaves it as padding.
    whole.resize(field);
    whole.erase(whole.find_last_not_of(' ') + 1);
    if (whole == read) return true;
  }
  return osl_is_model(read, model);
}

bool osl_may_be_one_model(const char* a, u32 fieldA, const char* b, u32 fieldB) {
  return osl_may_be_model(a, fieldA, b) || osl_may_be_model(b, fieldB, a);
}
