// Byte buffers, windows, log buffers, bit views, fields, named values and
// the device-dump records.
// Every status word of the buffer family is raised in this file.
#include "devlib/orvlib_buffer.h"

#include <utility>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "devlib/orvlib_buffer_devdump.h"
#include "devlib/orvlib_gendata.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"

namespace VazidaRaduru {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kDumpSeparator[] = "---------------------------------------------------------\n";
constexpr size_t kSeparatorSize = sizeof kDumpSeparator - 1;
constexpr char kEmptyBuffer[] = "Empty Buffer";
// "%08x: ", 16 x "%02x ", "  '", 16 characters, "'\n".
constexpr size_t kDumpRowSize = 10 + 16 * 3 + 3 + 16 + 2;

inline char* putHexByte(char* out, u8 value) {
  out[0] = kHexDigits[value >> 4];
  out[1] = kHexDigits[value & 15];
  return out + 2;
}

inline char* putText(char* out, const char* text, size_t size) {
  std::memcpy(out, text, size);
  return out + size;
}

// Whether [bytes, bytes + size) overlaps [base, base + baseSize).
bool overlaps(const u8* bytes, u64 size, const u8* base, u64 baseSize) {
  auto first = reinterpret_cast<std::uintptr_t>(bytes);
  auto start = reinterpret_cast<std::uintptr_t>(base);
  return base && bytes && first < start + baseSize && start < first + size;
}

void replaceStream(std::stringstream& out, const std::string& text) {
  out.str(std::string());
  out.clear();
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

// ---------------------------------------------------------------- OrvBuffer

OrvBuffer::OrvBuffer() : data(nullptr), length(0), allocatedLength(0), byteOrder(ORV_LITTLE_ENDIAN) {}

OrvBuffer::OrvBuffer(u32 length, _OrvByteEndianess order) : OrvBuffer() {
  byteOrder = order;
  if (u64 status = OrvBuffer::resize(length)) throw status;
}

OrvBuffer::OrvBuffer(const OrvBuffer& src) : OrvBuffer() {
  byteOrder = src.byteOrder;
  if (!src.data || src.length == 0) throw ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  if (u64 status = OrvBuffer::resize(src.length)) throw status;
  std::memcpy(data, src.data, length);
}

OrvBuffer::~OrvBuffer() {
  if (allocatedLength > 0) std::free(data);
  data = nullptr;
  length = 0;
}

u64 OrvBuffer::resize(u32 newLength) {
  if (newLength == 0) return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  if (newLength <= allocatedLength) {
    // The allocation stays; bytes given up are zeroed so that growing within
    // it again shows zeros.
    if (newLength < length) std::memset(data + newLength, 0, length - newLength);
    length = newLength;
    return 0;
  }
  u8* grown = static_cast<u8*>(std::calloc(newLength, 1));
  if (!grown) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  if (data && length > 0) std::memcpy(grown, data, length < newLength ? length : newLength);
  if (allocatedLength > 0) std::free(data);
  data = grown;
  length = newLength;
  allocatedLength = newLength;
  return 0;
}

// Resizing may zero or free the very bytes being copied when they lie in this
// buffer (a window on it, or a pointer into it): such a source is copied
// aside first.
u64 OrvBuffer::replaceContents(const u8* src, u32 len) {
  std::unique_ptr<u8[]> aside;
  if (overlaps(src, len, data, allocatedLength > length ? allocatedLength : length)) {
    aside.reset(new (std::nothrow) u8[len]);
    if (!aside) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    std::memcpy(aside.get(), src, len);
    src = aside.get();
  }
  if (u64 status = resize(len)) return status;
  std::memmove(data, src, len);
  return 0;
}

OrvBuffer& OrvBuffer::operator=(const OrvBuffer& src) {
  if (!src.data || src.length == 0) throw ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  if (this == &src) return *this;
  if (u64 status = replaceContents(src.data, src.length)) throw status;
  byteOrder = src.byteOrder;
  return *this;
}

u64 OrvBuffer::setBuffer(const u8* src, u32 len, _OrvByteEndianess order) {
  if (len == 0) return ORV_LIB_STATUS(ORV_ERR_BUFFER_LENGTH);
  if (!src) return ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  if (u64 status = replaceContents(src, len)) return status;
  byteOrder = order;
  return 0;
}

u64 OrvBuffer::copyData(const OrvBuffer& src, u32 len, u32 srcOffset) {
  if (!data) return ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  u64 count = len;
  if (len > 0) {
    if (src.length < static_cast<u64>(srcOffset) + len || length < len)
      return ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
  } else {
    // min(both lengths) - srcOffset bytes; an offset past the shorter buffer
    // is out of bounds.
    u32 shorter = length < src.length ? length : src.length;
    if (srcOffset > shorter) return ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
    count = shorter - srcOffset;
  }
  if (count > 0) std::memmove(data, src.data + srcOffset, count);
  return 0;
}

u64 OrvBuffer::copyData(const u8* src, u32 len, u32 srcOffset) {
  if (!src || !data) return ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  if (length < static_cast<u64>(srcOffset) + len) return ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
  if (len > 0) std::memmove(data, src + srcOffset, len);
  return 0;
}

u8& OrvBuffer::operator[](u32 index) {
  if (index >= length) throw ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
  return data[index];
}

bool OrvBuffer::compare(const u8* bytes, u32 len) const {
  if (len != length) return false;
  return len == 0 || (bytes && data && std::memcmp(bytes, data, len) == 0);
}

bool OrvBuffer::compare(const OrvBuffer& other, u32 offset, u32 len) const {
  u64 end = static_cast<u64>(offset) + len;
  if (offset >= length || end > length || offset >= other.length || end > other.length) return false;
  return len == 0 || std::memcmp(data + offset, other.data + offset, len) == 0;
}

bool OrvBuffer::compare(const OrvBuffer& other) const {
  if (length != other.length) return false;
  return length == 0 || std::memcmp(data, other.data, length) == 0;
}

// Whole groups least significant byte first. The bytes after the last whole
// group continue the pattern in little-endian order; in big-endian order they
// take the value's most significant bytes.
void OrvBuffer::fill(u64 value, unsigned size) {
  if (!data) return;
  u32 whole = length - length % size;
  for (u32 i = 0; i < whole; ++i) data[i] = static_cast<u8>(value >> (8 * (i % size)));
  u32 rest = length - whole;
  for (u32 k = 0; k < rest; ++k) {
    unsigned byteOfValue = byteOrder == ORV_LITTLE_ENDIAN ? k : size - rest + k;
    data[whole + k] = static_cast<u8>(value >> (8 * byteOfValue));
  }
}

void OrvBuffer::setByte(u8 value) {
  if (data) std::memset(data, value, length);
}
void OrvBuffer::setWord(u16 value) { fill(value, 2); }
void OrvBuffer::setDWord(u32 value) { fill(value, 4); }
void OrvBuffer::setQWord(u64 value) { fill(value, 8); }

void OrvBuffer::setRandom() {
  for (u32 i = 0; i < length; i += 8) {
    u64 number = 0;
    osl_random64(&number);
    for (u32 k = i; k < length && k < i + 8; ++k, number >>= 8) data[k] = static_cast<u8>(number);
  }
}

void OrvBuffer::resetZero() {
  if (data) std::memset(data, 0, length);
}

std::string OrvBuffer::hexDumpText() const {
  std::string text;
  if (!data || length == 0) {
    text.reserve(2 * kSeparatorSize + sizeof kEmptyBuffer);
    text.append(kDumpSeparator).append(kEmptyBuffer).append("\n").append(kDumpSeparator);
    return text;
  }
  u64 rows = (static_cast<u64>(length) + 15) / 16;
  text.resize(2 * kSeparatorSize + rows * kDumpRowSize);
  char* out = putText(&text[0], kDumpSeparator, kSeparatorSize);
  for (u64 row = 0; row < rows; ++row) {
    u32 offset = static_cast<u32>(row * 16);
    u32 count = length - offset < 16 ? length - offset : 16;
    const u8* bytes = data + offset;
    for (int shift = 28; shift >= 0; shift -= 4) *out++ = kHexDigits[(offset >> shift) & 15];
    out = putText(out, ": ", 2);
    for (u32 i = 0; i < count; ++i) {
      out = putHexByte(out, bytes[i]);
      *out++ = ' ';
    }
    for (u32 i = count; i < 16; ++i) out = putText(out, "   ", 3);
    out = putText(out, "  '", 3);
    for (u32 i = 0; i < count; ++i) *out++ = bytes[i] >= 32 && bytes[i] <= 126 ? static_cast<char>(bytes[i]) : '.';
    out = putText(out, "'\n", 2);
  }
  out = putText(out, kDumpSeparator, kSeparatorSize);
  // A short last row has fewer characters in its character column.
  text.resize(static_cast<size_t>(out - text.data()));
  return text;
}

void OrvBuffer::hexDump(std::stringstream& out) { replaceStream(out, hexDumpText()); }

void OrvBuffer::hexDump(void* file) {
  osl_fprintf(static_cast<FILE*>(file), "%s", hexDumpText().c_str());
}

void OrvBuffer::print(void*) {}

std::string OrvBuffer::getName() const { return std::string(); }

void OrvBuffer::strDump(std::stringstream& out) const {
  if (!data || length == 0) {
    out << kEmptyBuffer;
    return;
  }
  std::string text(static_cast<size_t>(length) * 3, ' ');
  for (u32 i = 0; i < length; ++i) putHexByte(&text[i * 3], data[i]);
  out << text;
}

void OrvBuffer::binDump(void* file) const {
  if (data && length > 0 && file) std::fwrite(data, 1, length, static_cast<FILE*>(file));
}

OrvBufBits OrvBuffer::bitsValue(u32 byteOffset, u8 startBit, u8 count, u8 width) {
  if (byteOffset >= length) throw ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
  unsigned start = startBit < width ? startBit : 0;
  unsigned bits = start + count > width ? width - start : count;
  u64 bitsLeft = 8ull * (length - byteOffset);
  if (start + bits > bitsLeft) bits = start < bitsLeft ? static_cast<unsigned>(bitsLeft - start) : 0;
  // Nothing left to view: a last bit below the first (or 255 for a start of
  // 0), which the view refuses with code 7.
  return OrvBufBits(data, byteOffset, static_cast<u8>(start), static_cast<u8>(start + bits - 1), byteOrder);
}

OrvBufBits OrvBuffer::byte(u32 byteOffset, u8 startBit, u8 count) {
  return bitsValue(byteOffset, startBit, count, 8);
}
OrvBufBits OrvBuffer::word(u32 byteOffset, u8 startBit, u8 count) {
  return bitsValue(byteOffset, startBit, count, 16);
}
OrvBufBits OrvBuffer::dword(u32 byteOffset, u8 startBit, u8 count) {
  return bitsValue(byteOffset, startBit, count, 32);
}
OrvBufBits OrvBuffer::qword(u32 byteOffset, u8 startBit, u8 count) {
  return bitsValue(byteOffset, startBit, count, 64);
}

// ------------------------------------------------------------- OrvSubBuffer

OrvSubBuffer::OrvSubBuffer(OrvBuffer* parent, u32 offset, u32 length) : OrvBuffer() {
  if (!parent) throw ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  attach(*parent, offset, length, true);
}

OrvSubBuffer::OrvSubBuffer(OrvBuffer& parent, u32 offset, u32 length) : OrvBuffer() {
  attach(parent, offset, length, false);
}

void OrvSubBuffer::attach(OrvBuffer& parent, u32 offset, u32 windowLength, bool report) {
  u32 parentLength = parent.getLength();
  u64 end = static_cast<u64>(offset) + windowLength;
  if (offset < parentLength && end <= parentLength) {
    data = parent.getBuffer() + offset;
    length = windowLength;
    allocatedLength = 0;
    byteOrder = parent.getEndianess();
    return;
  }
  if (report) {
    std::printf("Offset =%u    Offset + Length = %llu\n Parent Length = %u\n", offset,
                static_cast<unsigned long long>(end), parentLength);
    std::fflush(stdout);
  }
  throw ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
}

OrvSubBuffer::OrvSubBuffer(const OrvSubBuffer&) : OrvBuffer() { throw ORV_LIB_STATUS(ORV_ERR_GENERIC); }

OrvSubBuffer& OrvSubBuffer::operator=(const OrvSubBuffer&) { throw ORV_LIB_STATUS(ORV_ERR_GENERIC); }

u64 OrvSubBuffer::setBuffer(const u8*, u32, _OrvByteEndianess) { return ORV_LIB_STATUS(ORV_ERR_GENERIC); }

u64 OrvSubBuffer::resize(u32) { return ORV_LIB_STATUS(ORV_ERR_GENERIC); }

// ------------------------------------------------------------- OrvLogBuffer

OrvLogBuffer::OrvLogBuffer() : OrvBuffer(), noIdentification(false), subPageId(0), pageId(0) {}

OrvLogBuffer::OrvLogBuffer(u32 length, _OrvByteEndianess order, u8 pageId, u16 subPageId, std::string name)
    : OrvBuffer(length, order),
      noIdentification(false),
      subPageId(subPageId),
      pageId(pageId),
      name(std::move(name)) {}

OrvLogBuffer::OrvLogBuffer(const OrvLogBuffer& src)
    : OrvBuffer(src), noIdentification(false), subPageId(src.subPageId), pageId(src.pageId), name(src.name) {}

OrvLogBuffer& OrvLogBuffer::operator=(const OrvLogBuffer& src) {
  OrvBuffer::operator=(src);
  noIdentification = src.noIdentification;
  subPageId = src.subPageId;
  pageId = src.pageId;
  name = src.name;
  return *this;
}

void OrvLogBuffer::setIdentification(std::string newName) {
  noIdentification = true;
  name = std::move(newName);
}

void OrvLogBuffer::setIdentification(u8 newPageId, u16 newSubPageId, std::string newName) {
  noIdentification = false;
  pageId = newPageId;
  subPageId = newSubPageId;
  name = std::move(newName);
}

std::string OrvLogBuffer::logDumpText() const {
  char header[256];
  if (noIdentification)
    std::snprintf(header, sizeof header, "%s Hex-Dump\n", name.c_str());
  else
    std::snprintf(header, sizeof header, "%s [Page: 0x%02X, SubPage: 0x%04X] Hex-Dump\n", name.c_str(), pageId,
                  subPageId);
  return header + hexDumpText();
}

void OrvLogBuffer::hexDump(std::stringstream& out) { replaceStream(out, logDumpText()); }

void OrvLogBuffer::hexDump(void* file) {
  osl_fprintf(static_cast<FILE*>(file), "%s", logDumpText().c_str());
}

// --------------------------------------------------------------- OrvBufBits

OrvBufBits::OrvBufBits(u8* data, u32 byteOffset, u8 firstBit, u8 lastBit, _OrvByteEndianess order)
    : data(data), byteOffset(byteOffset), firstBit(firstBit), lastBit(lastBit), byteOrder(order) {
  if (lastBit < firstBit || lastBit > 63) throw ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
}

u64 OrvBufBits::getValue(u8 from, u8 to) const {
  if (from < firstBit || from > lastBit) from = firstBit;
  if (to < firstBit || to > lastBit) to = lastBit;
  return (rawValue() >> from) & mask(from, to);
}

bool OrvBufBits::getBit(u32 n) const {
  u64 bit = firstBit + static_cast<u64>(n);
  return bit <= lastBit && ((rawValue() >> bit) & 1) != 0;
}

bool OrvBufBits::operator<(u64 v) const { return getValue() < v; }
bool OrvBufBits::operator<=(u64 v) const { return getValue() <= v; }
bool OrvBufBits::operator>(u64 v) const { return getValue() > v; }
bool OrvBufBits::operator>=(u64 v) const { return getValue() >= v; }
bool OrvBufBits::operator==(u64 v) const { return getValue() == v; }
bool OrvBufBits::operator!=(u64 v) const { return getValue() != v; }

OrvBufField::OrvBufField(u8* data, u32 byteOffset, u8 firstBit, u8 lastBit, std::string name,
                         _OrvByteEndianess order)
    : OrvBufBits(data, byteOffset, firstBit, lastBit, order), name(std::move(name)) {}

OrvByteField::OrvByteField(u8* data, u32 byteOffset, std::string name)
    : OrvBufField(data, byteOffset, 0, 7, std::move(name), ORV_LITTLE_ENDIAN) {}

OrvWordField::OrvWordField(u8* data, u32 byteOffset, std::string name, _OrvByteEndianess order)
    : OrvBufField(data, byteOffset, 0, 15, std::move(name), order) {}

OrvDwordField::OrvDwordField(u8* data, u32 byteOffset, std::string name, _OrvByteEndianess order)
    : OrvBufField(data, byteOffset, 0, 31, std::move(name), order) {}

OrvQwordField::OrvQwordField(u8* data, u32 byteOffset, std::string name)
    : OrvBufField(data, byteOffset, 0, 63, std::move(name), ORV_LITTLE_ENDIAN) {}

// ------------------------------------------------------------- OrvBufAscStr

OrvBufAscStr::OrvBufAscStr(u8* data, u32 byteOffset, u8 length, _OrvByteEndianess order)
    : data(data), byteOffset(byteOffset), length(length), byteOrder(order) {}

std::string OrvBufAscStr::getValue() const {
  std::string text;
  text.reserve(length);
  for (const u8* p = data + byteOffset; p != data + byteOffset + length; ++p)
    if (*p != 0) text.push_back(static_cast<char>(*p));
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return text;
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void OrvBufAscStr::setValue(std::string text) {
  if (text.empty()) return;
  size_t count = text.size() < length ? text.size() : length;
  std::memcpy(data + byteOffset, text.data(), count);
  std::memset(data + byteOffset + count, 0, length - count);
}

bool OrvBufAscStr::operator==(std::string text) const {
  return text.size() == length && std::memcmp(data + byteOffset, text.data(), length) == 0;
}

bool OrvBufAscStr::operator!=(std::string text) const { return !(*this == text); }

OrvBufAscFld::OrvBufAscFld(u8* data, u32 byteOffset, u8 length, std::string name, _OrvByteEndianess order)
    : OrvBufAscStr(data, byteOffset, length, order), name(std::move(name)) {}

// ------------------------------------------------------------- _OrvDataItem

_OrvDataItem::_OrvDataItem(std::string name, u64 value, u32 id, u8 flag)
    : id(id), name(std::move(name)), kind(ORV_ITEM_NUMBER), value(value), flag(flag) {}

_OrvDataItem::_OrvDataItem(std::string name, std::string text)
    : id(0), name(std::move(name)), kind(ORV_ITEM_TEXT), text(std::move(text)), value(0), flag(0) {}

_OrvDataItem::_OrvDataItem(std::string name, const char* text)
    : _OrvDataItem(std::move(name), std::string(text ? text : "")) {}

_OrvDataItem::_OrvDataItem(std::string name, const OrvBufBits& bits, u32, u8 flag)
    : id(0),
      name(std::move(name)),
      kind(bits.firstBit == bits.lastBit ? ORV_ITEM_FLAG : ORV_ITEM_NUMBER),
      value(bits.getValue()),
      flag(flag) {}

_OrvDataItem::_OrvDataItem(const OrvBufField& field)
    : id(0),
      name(field.getName()),
      kind(field.isFlag() ? ORV_ITEM_FLAG : ORV_ITEM_NUMBER),
      value(field.getValue()),
      flag(0) {}

_OrvDataItem::_OrvDataItem(const OrvBufAscFld& field)
    : id(0), name(field.getName()), kind(ORV_ITEM_TEXT), text(field.getValue()), value(0), flag(0) {}

// ------------------------------------------------------- device-dump records

namespace {

// Memory the standard containers of the records could not get is reported
// as the buffers report theirs.
template <typename Make>
auto orNoMemory(Make make) -> decltype(make()) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    throw ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  }
}

// Both records of a feature; a length that does not fit is refused as
// length 0 is.
u32 featureBufferLength(u32 dataLength) {
  u64 total = 2 * (static_cast<u64>(dataLength) + OrvDevDumpFeatureHeader::kSize);
  return total > 0xFFFFFFFFull ? 0 : static_cast<u32>(total);
}

}  // namespace

OrvDevDumpFeatureHeader::OrvDevDumpFeatureHeader(OrvBuffer* parent, u32 offset, u32 dataLength)
    : OrvSubBuffer(*parent, offset, kSize),
      validity(data, 0, 0, 7, "Validity", ORV_LITTLE_ENDIAN),
      featureValue(data, 1, 0, 31, "Feature Value", ORV_LITTLE_ENDIAN),
      dataLength(data, 5, 0, 15, "Data Length", ORV_LITTLE_ENDIAN) {
  if (dataLength) dataView.emplace(*parent, offset + kSize, dataLength);
}

OrvDevDumpFeatureHeader::~OrvDevDumpFeatureHeader() = default;

OrvDevDumpFeatureBuffer::OrvDevDumpFeatureBuffer(u32 dataLength)
    : OrvBuffer(featureBufferLength(dataLength), ORV_LITTLE_ENDIAN) {
  current.emplace(this, 0, dataLength);
  saved.emplace(this, dataLength + OrvDevDumpFeatureHeader::kSize, dataLength);
}

OrvDevDumpFeatureBuffer::~OrvDevDumpFeatureBuffer() {
  saved.reset();
  current.reset();
}

void OrvDevDumpFeatureBuffer::dropCurrentData() {
  if (!current->dataView) return;
  u32 dropped = current->dataView->getLength();
  u32 savedData = saved->dataView ? saved->dataView->getLength() : 0;
  constexpr u32 kHeader = OrvDevDumpFeatureHeader::kSize;
  std::memmove(data + kHeader, data + kHeader + dropped, kHeader + savedData);
  current->dataView.reset();
  // The saved record's views follow its bytes.
  saved.reset();
  saved.emplace(this, kHeader, savedData);
  resize(length - dropped);
}

void OrvDevDumpFeatureBuffer::dropSavedData() {
  if (!saved->dataView) return;
  u32 dropped = saved->dataView->getLength();
  saved->dataView.reset();
  resize(length - dropped);
}

OrvDevDumpFileHeader::OrvDevDumpFileHeader(u32 count)
    : OrvBuffer(kSize, ORV_LITTLE_ENDIAN),
      signature(data, 0, 16, "Signature", ORV_LITTLE_ENDIAN),
      version(data, 16, 0, 31, "Version", ORV_LITTLE_ENDIAN),
      headerLength(data, 20, 0, 31, "Header Length", ORV_LITTLE_ENDIAN),
      entryCount(data, 24, 0, 31, "Entry Count", ORV_LITTLE_ENDIAN),
      entries(orNoMemory([count] { return std::vector<OrvBuffer*>(count, nullptr); })) {
  headerLength.setValue(kSize);
  entryCount.setValue(count);
}

OrvDevDumpFileHeader::~OrvDevDumpFileHeader() {
  for (OrvBuffer* record : entries) delete record;
}

OrvBuffer*& OrvDevDumpFileHeader::entry(u32 index) {
  if (index >= entries.size()) throw ORV_LIB_STATUS(ORV_ERR_INDEX_OUT_OF_BOUND);
  return entries[index];
}

OrvDevDumpDataHeader::OrvDevDumpDataHeader(OrvBuffer* parent, u32 offset)
    : OrvSubBuffer(*parent, offset, kSize),
      dataType(data, 0, 0, 31, "Data Type", ORV_LITTLE_ENDIAN),
      dataId(data, 4, 0, 31, "Data Id", ORV_LITTLE_ENDIAN),
      parameter(data, 8, 0, 31, "Parameter", ORV_LITTLE_ENDIAN),
      status(data, 12, 0, 31, "Status", ORV_LITTLE_ENDIAN),
      dataOffset(data, 16, 0, 31, "Data Offset", ORV_LITTLE_ENDIAN),
      dataSize(data, 20, 0, 31, "Data Length", ORV_LITTLE_ENDIAN) {}

OrvDevDumpDataHeader::~OrvDevDumpDataHeader() = default;

namespace {

constexpr u32 kInfoNumbersAt = 68;
const char* const kInfoNumberNames[OrvDevDumpInfoBuffer::kNumberCount] = {
    "Bus Type",   "Device Type",  "Physical Bus Type", "Sector Size",   "Max Transfer Length",
    "Namespace Id", "Record Count", "Status",          "Dump Time Low", "Dump Time High"};

std::vector<OrvBufField> infoNumbers(u8* bytes) {
  std::vector<OrvBufField> fields;
  fields.reserve(OrvDevDumpInfoBuffer::kNumberCount);
  for (u32 i = 0; i < OrvDevDumpInfoBuffer::kNumberCount; ++i)
    fields.emplace_back(bytes, kInfoNumbersAt + 4 * i, 0, 31, kInfoNumberNames[i], ORV_LITTLE_ENDIAN);
  return fields;
}

}  // namespace

OrvDevDumpInfoBuffer::OrvDevDumpInfoBuffer()
    : OrvBuffer(kSize, ORV_LITTLE_ENDIAN),
      modelNumber(data, 0, 40, "Model Number", ORV_LITTLE_ENDIAN),
      serialNumber(data, 40, 20, "Serial Number", ORV_LITTLE_ENDIAN),
      firmwareRevision(data, 60, 8, "Firmware Revision", ORV_LITTLE_ENDIAN),
      numbers(orNoMemory([this] { return infoNumbers(data); })) {}

OrvDevDumpInfoBuffer::~OrvDevDumpInfoBuffer() = default;

}  // namespace VazidaRaduru
