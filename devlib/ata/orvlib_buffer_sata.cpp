// ATA data structures. Status words raised here carry this file's number.
#include "devlib/ata/orvlib_buffer_sata.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata_logs.h"
#include "osl/orv_status.h"
#include "osl/osl_file.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {
namespace VazidaRaduruSataInternal {

namespace {

const char kWwnOuiName[] = "World Wide Name IEEE OUI";
const char kWwnUniqueIdName[] = "World Wide Name Unique ID";

struct EntryPrinter {
  FILE* stream;

  void operator()(const OrvBufField& field) const { number(field.getName().c_str(), field.getValue()); }
  void operator()(const OrvBufAtaAsc& field) const {
    osl_fprintf(stream, "%-100s: %s\n", field.getName().c_str(), field.getValue().c_str());
  }
  void number(const char* name, u64 value) const { orvAtaPrintNumber(stream, name, value); }
};

struct EntryCollector {
  OrvDevGenData<_OrvDataItem>& out;

  void operator()(const OrvBufField& field) const { out.addItem(_OrvDataItem(field)); }
  void operator()(const OrvBufAtaAsc& field) const { out.addItem(_OrvDataItem(field)); }
  void number(const char* name, u64 value) const { out.addItem(_OrvDataItem(name, value, 0, 0)); }
};

}  // namespace

// ------------------------------------------ shared by the SMART and log pages

void orvAtaIndexOutOfBound() { throw ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND); }

void orvAtaNoMemory() { throw ORV_LIB_STATUS(ORV_ERR_NO_MEMORY); }

u64 orvAtaResizeInPlace(OrvBuffer& buffer, u32 allocated, u32 newLength) {
  if (newLength > allocated) return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  return buffer.OrvBuffer::resize(newLength);
}

void orvAtaPrintNumber(void* file, const std::string& label, u64 value) {
  osl_fprintf(static_cast<FILE*>(file), "%-100s: %llu\n", label.c_str(), static_cast<unsigned long long>(value));
}

// ------------------------------------------------------------- OrvBufAtaAsc

OrvBufAtaAsc::OrvBufAtaAsc(u8* data, u32 byteOffset, u8 length, std::string name, _OrvByteEndianess order)
    : OrvBufAscFld(data, byteOffset, length, std::move(name), order) {}

std::string OrvBufAtaAsc::getValue() const {
  std::vector<u8> inReadingOrder(data + byteOffset, data + byteOffset + length);
  for (size_t i = 0; i + 1 < inReadingOrder.size(); i += 2) std::swap(inReadingOrder[i], inReadingOrder[i + 1]);
  std::string text = OrvBufAscStr(inReadingOrder.data(), 0, length, byteOrder).getValue();
  if (text.find_first_not_of(' ') == std::string::npos) return std::string();
  return text;
}

// ------------------------------------------------ Area 1 internal log status

u64 orvAtaArea1Status(u16 code, u32 line) { return _orv_orvlib_status(code, ORV_SOURCE, line); }

// ----------------------------------------------------- OrvAtaIdentifyBuffer

OrvAtaIdentifyBuffer::OrvAtaIdentifyBuffer() : OrvAtaIdentifyBuffer(OrvBuffer(kLength, ORV_LITTLE_ENDIAN), false) {}

OrvAtaIdentifyBuffer::OrvAtaIdentifyBuffer(const OrvBuffer& source)
    : OrvAtaIdentifyBuffer(orvAtaPaddedCopy(source, kLength), true) {}

OrvAtaIdentifyBuffer::OrvAtaIdentifyBuffer(const OrvAtaIdentifyBuffer& source)
    : OrvAtaIdentifyBuffer(static_cast<const OrvBuffer&>(source)) {}

#define ORV_IDENTIFY_BITS(member, offset, first, last, name) \
  , member(data, offset, first, last, name, ORV_LITTLE_ENDIAN)
#define ORV_IDENTIFY_RENAMED(member, offset, first, last, name, nameInCopy) \
  , member(data, offset, first, last, copied ? nameInCopy : name, ORV_LITTLE_ENDIAN)
#define ORV_IDENTIFY_TEXT(member, offset, size, name) , member(data, offset, size, name, ORV_LITTLE_ENDIAN)

// bytes is at least kLength long; the fields view this buffer's copy of it.
OrvAtaIdentifyBuffer::OrvAtaIdentifyBuffer(const OrvBuffer& bytes, bool copied)
    : OrvBuffer(bytes) ORV_ATA_IDENTIFY_FIELDS(ORV_IDENTIFY_BITS, ORV_IDENTIFY_RENAMED, ORV_IDENTIFY_TEXT) {}

#undef ORV_IDENTIFY_BITS
#undef ORV_IDENTIFY_RENAMED
#undef ORV_IDENTIFY_TEXT

OrvAtaIdentifyBuffer::~OrvAtaIdentifyBuffer() = default;

OrvAtaIdentifyBuffer& OrvAtaIdentifyBuffer::operator=(const OrvAtaIdentifyBuffer& source) {
  OrvBuffer::operator=(source);
  return *this;
}

u64 OrvAtaIdentifyBuffer::resize(u32 newLength) { return orvAtaResizeInPlace(*this, allocatedLength, newLength); }

u64 OrvAtaIdentifyBuffer::getWwnOui() const { return (wwnOuiHigh.getValue() << 12) | wwnOuiLow.getValue(); }

u64 OrvAtaIdentifyBuffer::getWwnUniqueId() const {
  return (((wwnUniqueIdHigh.getValue() << 16) | wwnUniqueIdMid.getValue()) << 16) | wwnUniqueIdLow.getValue();
}

bool OrvAtaIdentifyBuffer::namesNoDrive() const {
  return modelNumber.isBlank() && serialNumber.isBlank();
}

bool OrvAtaIdentifyBuffer::isShown(const OrvBufField& field) const {
  if (&field == &normalEraseTime) return normalEraseExtended == 0;
  if (&field == &normalEraseExtendedTime) return normalEraseExtended != 0;
  if (&field == &enhancedEraseTime) return enhancedEraseExtended == 0;
  if (&field == &enhancedEraseExtendedTime) return enhancedEraseExtended != 0;
  // The world wide name's parts show as the two numbers after its NAA.
  return &field != &wwnOuiHigh && &field != &wwnOuiLow && &field != &wwnUniqueIdHigh &&
         &field != &wwnUniqueIdMid && &field != &wwnUniqueIdLow;
}

template <typename Sink>
void OrvAtaIdentifyBuffer::forEachEntry(Sink& sink) const {
  auto entry = [&](const auto& field) {
    if (!isShown(field)) return;
    sink(field);
    if (static_cast<const void*>(&field) == &wwnNaa) {
      sink.number(kWwnOuiName, getWwnOui());
      sink.number(kWwnUniqueIdName, getWwnUniqueId());
    }
  };
#define ORV_IDENTIFY_ENTRY(member, ...) entry(member);
  ORV_ATA_IDENTIFY_FIELDS(ORV_IDENTIFY_ENTRY, ORV_IDENTIFY_ENTRY, ORV_IDENTIFY_ENTRY)
#undef ORV_IDENTIFY_ENTRY
}

void OrvAtaIdentifyBuffer::print(void* file) {
  EntryPrinter printer{static_cast<FILE*>(file)};
  forEachEntry(printer);
}

void OrvAtaIdentifyBuffer::collectFields(OrvDevGenData<_OrvDataItem>& out) const {
  EntryCollector collector{out};
  forEachEntry(collector);
}

}  // namespace VazidaRaduruSataInternal
}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
