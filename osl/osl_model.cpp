#include "osl/osl_model.h"

#include <cctype>
#include <cstring>
#include <string>

#include "osl/osl_clib.h"

namespace {

// The maker's name before a model number, as some drives report it.
const char kMakerPrefix[] = "ORVENTA ";

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

void dropBlanksAfter(std::string& text) {
  while (!text.empty() && isBlank(text.back())) text.pop_back();
}

}  // namespace

void osl_read_model(char* out, u32 size, const char* field, u32 length) {
  if (size == 0) return;
  std::string read(field, strnlen(field, length));
  dropBlanksAfter(read);
  osl_strcpy(out, size, read.c_str());
}

const char* osl_model_start(const char* reading) {
  while (isBlank(*reading)) ++reading;
  return reading;
}

bool osl_is_model(const char* read, const char* model) {
  const char* start = osl_model_start(read);
  const size_t prefix = sizeof kMakerPrefix - 1;
  return std::strcmp(start, model) == 0 ||
         (std::strncmp(start, kMakerPrefix, prefix) == 0 && std::strcmp(start + prefix, model) == 0);
}

bool osl_may_be_model(const char* read, u32 field, const char* model) {
  if (field == 0) return true;
  // The field holds the blanks the drive reported before its model, then as
  // much of the model as fits; a cut just after a blank leaves it as
  // padding.
  const std::string before(read, osl_model_start(read));
  for (const std::string& whole : {std::string(model), kMakerPrefix + std::string(model)}) {
    std::string held = before + whole;
    if (held.size() <= field) continue;
    held.resize(field);
    dropBlanksAfter(held);
    if (held == read) return true;
  }
  return osl_is_model(read, model);
}

bool osl_may_be_one_model(const char* a, u32 fieldA, const char* b, u32 fieldB) {
  return osl_may_be_model(a, fieldA, osl_model_start(b)) || osl_may_be_model(b, fieldB, osl_model_start(a));
}
