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
class OrvBufBits {
 public:
  // lastBit below firstBit or above 63 throws status code 7.
  OrvBufBits(u8* data, u32 byteOffset, u8 firstBit, u8 lastBit, _OrvByteEndianess order);
  virtual ~OrvBufBits() = default;

  // (number >> firstBit) and a run of one-bits as wide as the field.
  virtual u64 getValue() const { return (rawValue() >> firstBit) & mask(firstBit, lastBit); }
  // Bits from..to of the number, shifted down by from; a bound outside the
  // field (64 for instance) stands for the field's own bound.
  virtual u64 getValue(u8 from, u8 to) const;
  // Bit firstBit + n of the number; 0 outside the field.
  virtual bool getBit(u32 n) const;
  // Replaces the field's bits by the low bits of v; the other bits of the
  // bytes keep their values.
  virtual void setValue(u64 v) {
    u64 fieldMask = mask(firstBit, lastBit) << firstBit;
    writeRawValue((rawValue() & ~fieldMask) | ((v << firstBit) & fieldMask));
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
  static u64 loadLittle(const u8* p, unsigned count);
  static void storeLittle(u8* p, unsigned count, u64 number);
};

// Reading and writing the number is the hot path of every field access: the
// common widths load and store in one go.
inline u64 OrvBufBits::loadLittle(const u8* p, unsigned count) {
  switch (count) {
    case 1:
      return p[0];
    case 2: {
      u16 v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case 4: {
      u32 v;
      std::memcpy(&v, p, 4);
      return v;
    }
    case 8: {
      u64 v;
      std::memcpy(&v, p, 8);
      return v;
    }
    default: {
      u64 v = 0;
      for (unsigned i = count; i-- > 0;) v = (v << 8) | p[i];
      return v;
    }
  }
}

inline void OrvBufBits::storeLittle(u8* p, unsigned count, u64 number) {
  switch (count) {
    case 1:
      p[0] = static_cast<u8>(number);
      return;
    case 2: {
      u16 v = static_cast<u16>(number);
      std::memcpy(p, &v, 2);
      return;
    }
    case 4: {
      u32 v = static_cast<u32>(number);
      std::memcpy(p, &v, 4);
      return;
    }
    case 8:
      std::memcpy(p, &number, 8);
      return;
    default:
      for (unsigned i = 0; i < count; ++i, number >>= 8) p[i] = static_cast<u8>(number);
  }
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "both hosts are little-endian");

inline u64 OrvBufBits::rawValue() const {
  unsigned count = (lastBit >> 3) + 1u;
  u64 number = loadLittle(data + byteOffset, count);
  if (byteOrder == ORV_LITTLE_ENDIAN) return number;
  return __builtin_bswap64(number) >> (64 - 8 * count);
}

inline void OrvBufBits::writeRawValue(u64 number) {
  unsigned count = (lastBit >> 3) + 1u;
  if (byteOrder != ORV_LITTLE_ENDIAN) number = __builtin_bswap64(number << (64 - 8 * count));
  storeLittle(data + byteOffset, count, number);
}

// A bit view with a display name.
class OrvBufField : public OrvBufBits {
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

class OrvByteField : public OrvBufField {
 public:
  OrvByteField(u8* data, u32 byteOffset, std::string name);
};

class OrvWordField : public OrvBufField {
 public:
  OrvWordField(u8* data, u32 byteOffset, std::string name, _OrvByteEndianess order);
};

class OrvDwordField : public OrvBufField {
 public:
  OrvDwordField(u8* data, u32 byteOffset, std::string name, _OrvByteEndianess order);
};

class OrvQwordField : public OrvBufField {
 public:
  OrvQwordField(u8* data, u32 byteOffset, std::string name);
};

// A text of up to 255 bytes at byteOffset.
class OrvBufAscStr {
 public:
  OrvBufAscStr(u8* data, u32 byteOffset, u8 length, _OrvByteEndianess order);
  virtual ~OrvBufAscStr() = default;

  // The bytes without any NUL; leading and trailing blanks are removed unless
  // the text is made only of blanks.
  virtual std::string getValue() const;
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
class OrvBufAscFld : public OrvBufAscStr {
 public:
  OrvBufAscFld(u8* data, u32 byteOffset, u8 length, std::string name, _OrvByteEndianess order);

  std::string getName() const { return name; }

 protected:
  std::string name;
};

}  // namespace VazidaRaduru
