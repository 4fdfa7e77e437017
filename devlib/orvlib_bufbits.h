// Views on a buffer's bytes: bit ranges of a number, named fields of the
// common widths, and text fields.
//
// A view keeps the address of its buffer's bytes, not the buffer: it is
// valid only while the buffer neither frees nor reallocates them.
#pragma once

#include <cstring>
#include <string>

#include "osl/osl_types.h"

namespace VazidaRaduru {

// 2 is little-endian (the default); any other value is big-endian.
enum _OrvByteEndianess : u32 {
  ORV_BIG_ENDIAN = 1,
  ORV_LITTLE_ENDIAN = 2,
};

// Bits firstBit..lastBit of the number formed by the ceil((lastBit + 1) / 8)
// bytes from byteOffset. In little-endian order the byte at byteOffset is the
// least significant, in big-endian order the most significant.
class ORV_EXPORT OrvBufBits {
 public:
  // lastBit below firstBit or above 63 throws status code 7.
  OrvBufBits(u8* data, u32 byteOffset, u8 firstBit, u8 lastBit, _OrvByteEndianess order);
  virtual ~OrvBufBits() = default;

  // (number >> firstBit) and a run of one-bits as wide as the field: the
  // bits above lastBit leave at the top, then firstBit comes down to bit 0.
  virtual u64 getValue() const {
    // Flags and byte fields, the most common, read one byte in either order.
    u64 number = lastBit < 8 ? data[byteOffset] : rawValue();
    return (number << (63 - lastBit)) >> (63 - lastBit + firstBit);
  }
  // Bits from..to of the number, shifted down by from; a bound outside the
  // field (64 for instance) stands for the field's own bound.
  virtual u64 getValue(u8 from, u8 to) const;
  // Bit firstBit + n of the number; 0 outside the field.
  virtual bool getBit(u32 n) const;
  // Replaces the field's bits by the low bits of v; the other bits of the
  // bytes keep their values.
  virtual void setValue(u64 v) {
    u64 bits = fieldMask() << firstBit;
    // A field of whole bytes replaces them without reading them first.
    u64 kept = firstBit == 0 && (lastBit & 7) == 7 ? 0 : rawValue() & ~bits;
    writeRawValue(kept | ((v << firstBit) & bits));
  }
  virtual bool operator<(u64 v) const;
  virtual bool operator<=(u64 v) const;
  virtual bool operator>(u64 v) const;
  virtual bool operator>=(u64 v) const;
  virtual bool operator==(u64 v) const;
  virtual bool operator!=(u64 v) const;

  // The number behind the view.
  u64 rawValue() const;
  // Writes a number back over the same bytes in the view's byte order.
  void writeRawValue(u64 number);
  // A run of to - from + 1 one-bits; 64 in either argument stands for the
  // view's firstBit or lastBit. Empty when to is below from.
  u64 mask(u8 from, u8 to) const {
    if (from == 64) from = firstBit;
    if (to == 64) to = lastBit;
    if (to < from || from > 63 || to > 63) return 0;
    return ~0ull >> (63 - (to - from));
  }

 protected:
  friend struct _OrvDataItem;

  u8* data;
  u32 byteOffset;
  u8 firstBit;
  u8 lastBit;
  _OrvByteEndianess byteOrder;

 private:
  // As many one-bits as the field is wide (the constructor keeps
  // firstBit <= lastBit <= 63).
  u64 fieldMask() const { return ~0ull >> (63 - (lastBit - firstBit)); }
};

// Reading and writing the number is the hot path of every field access: the
// widths of whole words load and store in one instruction; 3, 5, 6 and 7
// bytes go byte by byte.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "both hosts are little-endian");

template <typename Word>
inline Word orvLoad(const u8* p) {
  Word v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename Word>
inline void orvStore(u8* p, Word v) {
  std::memcpy(p, &v, sizeof v);
}

inline u64 OrvBufBits::rawValue() const {
  const u8* p = data + byteOffset;
  bool little = byteOrder == ORV_LITTLE_ENDIAN;
  switch (lastBit >> 3) {
    case 0:
      return p[0];
    case 1:
      return little ? orvLoad<u16>(p) : __builtin_bswap16(orvLoad<u16>(p));
    case 3:
      return little ? orvLoad<u32>(p) : __builtin_bswap32(orvLoad<u32>(p));
    case 7:
      return little ? orvLoad<u64>(p) : __builtin_bswap64(orvLoad<u64>(p));
    default: {
      unsigned count = (lastBit >> 3) + 1u;
      u64 number = 0;
      for (unsigned i = 0; i < count; ++i) number = (number << 8) | p[little ? count - 1 - i : i];
      return number;
    }
  }
}

inline void OrvBufBits::writeRawValue(u64 number) {
  u8* p = data + byteOffset;
  bool little = byteOrder == ORV_LITTLE_ENDIAN;
  switch (lastBit >> 3) {
    case 0:
      p[0] = static_cast<u8>(number);
      return;
    case 1:
      orvStore<u16>(p, little ? static_cast<u16>(number) : __builtin_bswap16(static_cast<u16>(number)));
      return;
    case 3:
      orvStore<u32>(p, little ? static_cast<u32>(number) : __builtin_bswap32(static_cast<u32>(number)));
      return;
    case 7:
      orvStore<u64>(p, little ? number : __builtin_bswap64(number));
      return;
    default: {
      unsigned count = (lastBit >> 3) + 1u;
      for (unsigned i = 0; i < count; ++i, number >>= 8) p[little ? i : count - 1 - i] = static_cast<u8>(number);
    }
  }
}

// A bit view with a display name.
class ORV_EXPORT OrvBufField : public OrvBufBits {
 public:
  OrvBufField(u8* data, u32 byteOffset, u8 firstBit, u8 lastBit, std::string name,
              _OrvByteEndianess order);
  OrvBufField(const OrvBufField&) = default;
  OrvBufField& operator=(const OrvBufField&) = default;
  ~OrvBufField() override = default;

  virtual std::string getName() const { return name; }
  // One bit wide.
  virtual bool isFlag() const { return firstBit == lastBit; }

 protected:
  std::string name;
};

class ORV_EXPORT OrvByteField : public OrvBufField {
 public:
  OrvByteField(u8* data, u32 byteOffset, std::string name);
};

class ORV_EXPORT OrvWordField : public OrvBufField {
 public:
  OrvWordField(u8* data, u32 byteOffset, std::string name, _OrvByteEndianess order);
};

class ORV_EXPORT OrvDwordField : public OrvBufField {
 public:
  OrvDwordField(u8* data, u32 byteOffset, std::string name, _OrvByteEndianess order);
};

class ORV_EXPORT OrvQwordField : public OrvBufField {
 public:
  OrvQwordField(u8* data, u32 byteOffset, std::string name);
};

// A text of up to 255 bytes at byteOffset.
class ORV_EXPORT OrvBufAscStr {
 public:
  OrvBufAscStr(u8* data, u32 byteOffset, u8 length, _OrvByteEndianess order);
  virtual ~OrvBufAscStr() = default;

  // The bytes without any NUL; leading and trailing blanks are removed unless
  // the text is made only of blanks.
  virtual std::string getValue() const;
  // Whether the field holds nothing but blanks and NULs: it tells nothing.
  bool isBlank() const { return getValue().find_first_not_of(' ') == std::string::npos; }
  // Writes the text cut to the field's length and NUL-fills the rest of the
  // field; an empty text changes nothing.
  virtual void setValue(std::string text);
  // Exactly length characters, equal byte for byte to the whole field.
  virtual bool operator==(std::string text) const;
  virtual bool operator!=(std::string text) const;

 protected:
  u8* data;
  u32 byteOffset;
  u8 length;
  // Kept for the command sets' own text fields; no operation here reads it.
  _OrvByteEndianess byteOrder;
};

// A text field with a display name.
class ORV_EXPORT OrvBufAscFld : public OrvBufAscStr {
 public:
  OrvBufAscFld(u8* data, u32 byteOffset, u8 length, std::string name, _OrvByteEndianess order);

  std::string getName() const { return name; }

 protected:
  std::string name;
};

}  // namespace VazidaRaduru
