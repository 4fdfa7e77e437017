// NVMe identify data. Status words raised here carry this file's number.
#include "devlib/nvme/orvlib_buffer_nvme.h"

#include <cstdarg>
#include <cstdio>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"

namespace VazidaRaduru {
namespace VazidaRaduruNvme {
namespace VazidaRaduruNvmeInternal {

namespace {

// Room for the longest 128-bit value text, "%llu%llu [%llx%llx]" with all
// bits set (75 characters): cut to 63, it would lose digits.
constexpr u32 kValueTextSize = 96;

std::string valueText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string valueText(const char* format, ...) {
  char text[kValueTextSize] = {};
  va_list arguments;
  va_start(arguments, format);
  osl_vsnprintf(text, sizeof text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

unsigned long long ull(u64 value) { return static_cast<unsigned long long>(value); }

void printNumber(FILE* stream, const std::string& name, u64 value) {
  osl_fprintf(stream, "%-100s: %llu\n", name.c_str(), ull(value));
}

void printText(FILE* stream, const std::string& name, const std::string& text) {
  osl_fprintf(stream, "%-100s: %s\n", name.c_str(), text.c_str());
}

// Sub-fields show under "owner:name".
template <typename Fields>
void printLabelled(void* file, const std::string& owner, const Fields& fields) {
  for (const OrvBufField* field : fields)
    printNumber(static_cast<FILE*>(file), owner + ":" + field->getName(), field->getValue());
}

template <typename Fields>
void collectLabelled(OrvDevGenData<_OrvDataItem>& list, const std::string& owner, const Fields& fields) {
  for (const OrvBufField* field : fields) list.addItem(_OrvDataItem(owner + ":" + field->getName(), *field, 0, 0));
}

// What the identify structures show of each kind of member. A 128-bit
// number is held as two 64-bit halves; while its upper half is 0 it shows as
// its lower half alone.
struct EntryPrinter {
  FILE* stream;

  void operator()(const OrvBufField& field) const { printNumber(stream, field.getName(), field.getValue()); }
  void operator()(const OrvBufAscFld& field) const { printText(stream, field.getName(), field.getValue()); }
  void operator()(const OrvNvmCompositeFld& field) const { field.print(stream); }
  void operator()(OrvNvmPState& state) const { state.print(stream); }
  // The decimal digits of both halves run together.
  void wide(const OrvBufField& upper, const OrvBufField& lower) const {
    if (upper == 0) return (*this)(lower);
    osl_fprintf(stream, "%-100s: %llu%llu\n", lower.getName().c_str(), ull(upper.getValue()),
                ull(lower.getValue()));
  }
  void guid(const OrvBufField& second, const OrvBufField& first) const { wide(second, first); }
  void hex(const OrvBufField& field) const {
    printText(stream, field.getName(), valueText("%llx", ull(field.getValue())));
  }
};

struct EntryCollector {
  OrvDevGenData<_OrvDataItem>& list;

  void operator()(const OrvBufField& field) const { list.addItem(_OrvDataItem(field)); }
  void operator()(const OrvBufAscFld& field) const { list.addItem(_OrvDataItem(field)); }
  void operator()(const OrvNvmCompositeFld& field) const { field.collectFields(list); }
  void operator()(const OrvNvmPState& state) const { state.collectFields(list); }
  // A text: the decimal digits of both halves, a blank and their
  // hexadecimal digits in brackets.
  void wide(const OrvBufField& upper, const OrvBufField& lower) const {
    if (upper == 0) return (*this)(lower);
    u64 high = upper.getValue();
    u64 low = lower.getValue();
    std::string text = valueText("%llu%llu [%llx%llx]", ull(high), ull(low), ull(high), ull(low));
    list.addItem(_OrvDataItem(lower.getName(), text));
  }
  // The first quadword's hexadecimal digits, then the second's.
  void guid(const OrvBufField& second, const OrvBufField& first) const {
    if (second == 0) return (*this)(first);
    list.addItem(_OrvDataItem(first.getName(), valueText("%llx%llx", ull(first.getValue()), ull(second.getValue()))));
  }
  void hex(const OrvBufField& field) const {
    list.addItem(_OrvDataItem(field.getName(), valueText("%llx", ull(field.getValue()))));
  }
};

}  // namespace

// ----------------------------------------------------------- OrvNvmIdentify

OrvNvmIdentify::OrvNvmIdentify(std::string name)
    : OrvBuffer(kLength, ORV_LITTLE_ENDIAN), displayName(std::move(name)) {}

OrvNvmIdentify::OrvNvmIdentify(const OrvNvmIdentify& src) : OrvBuffer(src), displayName(src.displayName) {}

OrvNvmIdentify& OrvNvmIdentify::operator=(const OrvNvmIdentify& src) {
  OrvBuffer::operator=(src);
  displayName = src.displayName;
  return *this;
}

OrvNvmIdentify::~OrvNvmIdentify() = default;

u64 OrvNvmIdentify::resize(u32 newLength) {
  if (newLength != kLength) return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  return OrvBuffer::resize(newLength);
}

std::string OrvNvmIdentify::identifyDumpText() const { return displayName + "\n" + hexDumpText(); }

void OrvNvmIdentify::hexDump(std::stringstream& out) {
  out.str(std::string());
  out.clear();
  out << identifyDumpText();
}

void OrvNvmIdentify::hexDump(void* file) {
  osl_fprintf(static_cast<FILE*>(file), "%s", identifyDumpText().c_str());
}

void OrvNvmIdentify::collectFields(OrvDevGenData<_OrvDataItem>&) const {}

// ------------------------------------------------------- OrvNvmCompositeFld

OrvNvmCompositeFld::OrvNvmCompositeFld(u8* data, u32 byteOffset, u8 lastBit, std::string title)
    : OrvBufField(data, byteOffset, 0, lastBit, std::move(title), ORV_LITTLE_ENDIAN) {}

OrvNvmCompositeFld::~OrvNvmCompositeFld() = default;

void OrvNvmCompositeFld::print(void* file) const { printLabelled(file, getName(), subFields); }

void OrvNvmCompositeFld::collectFields(OrvDevGenData<_OrvDataItem>& list) const {
  collectLabelled(list, getName(), subFields);
}

// The sub-fields view the whole field's bytes, from the offset it keeps.
#define ORV_NVM_SUBFIELD_INIT(member, first, last, name) \
  , member(data, byteOffset, first, last, name, ORV_LITTLE_ENDIAN)
#define ORV_NVM_SUBFIELD_ADDRESS(member, ...) &member,
#define ORV_NVM_DEFINE_COMPOSITE(Class, offset, last, title, BITS)                                \
  Class::Class(u8* data) : OrvNvmCompositeFld(data, offset, last, title) BITS(ORV_NVM_SUBFIELD_INIT) { \
    subFields = {BITS(ORV_NVM_SUBFIELD_ADDRESS)};                                                 \
  }                                                                                               \
  Class::~Class() = default;
ORV_NVM_CTRL_BIT_CLASSES(ORV_NVM_DEFINE_COMPOSITE)
ORV_NVM_NS_BIT_CLASSES(ORV_NVM_DEFINE_COMPOSITE)
#undef ORV_NVM_DEFINE_COMPOSITE

OrvNvmLbaFmtFld::OrvNvmLbaFmtFld(u8* data, u8 index)
    : OrvNvmCompositeFld(data, 128 + 4u * index, 31, std::string()) ORV_NVM_LBAF_BITS(ORV_NVM_SUBFIELD_INIT),
      index(index) {
  subFields = {ORV_NVM_LBAF_BITS(ORV_NVM_SUBFIELD_ADDRESS)};
}

#undef ORV_NVM_SUBFIELD_INIT
#undef ORV_NVM_SUBFIELD_ADDRESS

OrvNvmLbaFmtFld::~OrvNvmLbaFmtFld() = default;

std::string OrvNvmLbaFmtFld::getName() const {
  char name[32] = {};
  osl_snprintf(name, sizeof name, sizeof name - 1, "LBA format %u", static_cast<unsigned>(index));
  return name;
}

// ------------------------------------------------------------- OrvNvmPState

#define ORV_NVM_PSTATE_INIT(member, byte, first, last, name) \
  , member(data, byte, first, last, name, ORV_LITTLE_ENDIAN)

OrvNvmPState::OrvNvmPState(OrvBuffer* parent, u8 index)
    : OrvSubBuffer(parent, (index + 64u) * 32u, 32) ORV_NVM_PSTATE_FIELDS(ORV_NVM_PSTATE_INIT), index(index) {}

#undef ORV_NVM_PSTATE_INIT

OrvNvmPState::~OrvNvmPState() = default;

std::string OrvNvmPState::getName() const {
  char name[32] = {};
  osl_snprintf(name, sizeof name, sizeof name - 1, "Power State%02u", static_cast<unsigned>(index));
  return name;
}

#define ORV_NVM_PSTATE_ADDRESS(member, ...) &member,

void OrvNvmPState::print(void* file) {
  const OrvBufField* const fields[] = {ORV_NVM_PSTATE_FIELDS(ORV_NVM_PSTATE_ADDRESS)};
  printLabelled(file, getName(), fields);
}

void OrvNvmPState::collectFields(OrvDevGenData<_OrvDataItem>& list) const {
  const OrvBufField* const fields[] = {ORV_NVM_PSTATE_FIELDS(ORV_NVM_PSTATE_ADDRESS)};
  collectLabelled(list, getName(), fields);
}

#undef ORV_NVM_PSTATE_ADDRESS

// ------------------------------------------------------- OrvNvmCtrlIdentify

OrvNvmCtrlIdentify::OrvNvmCtrlIdentify() : OrvNvmIdentify("Controller identify data") {}

OrvNvmCtrlIdentify::OrvNvmCtrlIdentify(const OrvNvmCtrlIdentify& src) : OrvNvmIdentify(src) {}

OrvNvmCtrlIdentify& OrvNvmCtrlIdentify::operator=(const OrvNvmCtrlIdentify& src) {
  OrvNvmIdentify::operator=(src);
  return *this;
}

OrvNvmCtrlIdentify::~OrvNvmCtrlIdentify() = default;

// The rows in member order, except that MEC shows after OACS; then the
// descriptors the controller has (NPSS counts from 0) and the component id.
template <typename Self, typename Sink>
void OrvNvmCtrlIdentify::forEachEntry(Self& self, Sink& sink) {
  auto entry = [&](auto& field) {
    const void* at = &field;
    if (at == &self.mec || at == &self.tnvmcapQword2 || at == &self.unvmcapQword2) return;
    if (at == &self.tnvmcap) return sink.wide(self.tnvmcapQword2, self.tnvmcap);
    if (at == &self.unvmcap) return sink.wide(self.unvmcapQword2, self.unvmcap);
    sink(field);
    if (at == &self.oacs) sink(self.mec);
  };
#define ORV_NVM_CTRL_ENTRY(member, ...) entry(self.member);
  ORV_NVM_CTRL_FIELDS(ORV_NVM_CTRL_ENTRY, ORV_NVM_CTRL_ENTRY, ORV_NVM_CTRL_ENTRY)
#undef ORV_NVM_CTRL_ENTRY
  u64 last = self.npss.getValue();
  if (last >= kPowerStates) last = kPowerStates - 1;
  for (u64 n = 0; n <= last; ++n) sink(self.powerStates[n]);
  sink(self.componentId);
}

void OrvNvmCtrlIdentify::print(void* file) {
  FILE* stream = static_cast<FILE*>(file);
  osl_fprintf(stream, "%s::\n", displayName.c_str());
  EntryPrinter printer{stream};
  forEachEntry(*this, printer);
}

void OrvNvmCtrlIdentify::collectFields(OrvDevGenData<_OrvDataItem>& list) const {
  EntryCollector collector{list};
  forEachEntry(*this, collector);
}

// --------------------------------------------------------- OrvNvmNsIdentify

OrvNvmNsIdentify::OrvNvmNsIdentify() : OrvNvmIdentify("Namespace identify data") {}

OrvNvmNsIdentify::OrvNvmNsIdentify(const OrvNvmNsIdentify& src) : OrvNvmIdentify(src) {}

OrvNvmNsIdentify& OrvNvmNsIdentify::operator=(const OrvNvmNsIdentify& src) {
  OrvNvmIdentify::operator=(src);
  return *this;
}

OrvNvmNsIdentify::~OrvNvmNsIdentify() = default;

OrvNvmLbaFmtFld* OrvNvmNsIdentify::getLbaFormat(u8 index) {
  if (index >= kLbaFormats) throw ORV_LIB_STATUS(ORV_ERR_INVALID_ARGUMENT);
  return &lbaFormats[index];
}

// The rows in member order, each 128-bit value once; then the LBA formats
// the namespace has (NLBAF counts from 0), as far as the 16 held go.
template <typename Self, typename Sink>
void OrvNvmNsIdentify::forEachEntry(Self& self, Sink& sink) {
  auto entry = [&](auto& field) {
    const void* at = &field;
    if (at == &self.nvmcapQword2 || at == &self.nguidQword2) return;
    if (at == &self.nvmcap) return sink.wide(self.nvmcapQword2, self.nvmcap);
    if (at == &self.nguid) return sink.guid(self.nguidQword2, self.nguid);
    if (at == &self.eui64) return sink.hex(self.eui64);
    sink(field);
  };
#define ORV_NVM_NS_ENTRY(member, ...) entry(self.member);
  ORV_NVM_NS_FIELDS(ORV_NVM_NS_ENTRY, ORV_NVM_NS_ENTRY)
#undef ORV_NVM_NS_ENTRY
  u64 last = self.nlbaf.getValue();
  if (last >= kLbaFormats) last = kLbaFormats - 1;
  for (u64 n = 0; n <= last; ++n) sink(self.lbaFormats[n]);
}

void OrvNvmNsIdentify::print(void* file) {
  FILE* stream = static_cast<FILE*>(file);
  osl_fprintf(stream, "%s::\n", displayName.c_str());
  EntryPrinter printer{stream};
  forEachEntry(*this, printer);
}

void OrvNvmNsIdentify::collectFields(OrvDevGenData<_OrvDataItem>& list) const {
  EntryCollector collector{list};
  forEachEntry(*this, collector);
}

u64 orvNvmeBufferStatus(u16 code, u32 line) { return _orv_orvlib_status(code, ORV_SOURCE, line); }

}  // namespace VazidaRaduruNvmeInternal
}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
