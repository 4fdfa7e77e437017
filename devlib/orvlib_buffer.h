// The device library's byte buffers: the owning buffer every command block,
// response and data structure is built on, windows on another buffer's
// bytes, and log pages that know which log they hold.
//
// Constructors, assignment and indexing throw the status word (a bare u64);
// resize, setBuffer and copyData return it (0 on success). Codes: 1 refused
// on a window, 2 no memory to copy into, 6 length 0, 7 index or range out of
// bounds, 8 allocation failure.
#pragma once

#include <sstream>
#include <string>

#include "devlib/orvlib_bufbits.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {

class ORV_EXPORT OrvBuffer {
 public:
  // Empty: no bytes, little-endian.
  OrvBuffer();
  // length zeroed bytes of its own; length 0 throws code 6, no memory code 8.
  OrvBuffer(u32 length, _OrvByteEndianess order);
  // A private copy of src's bytes and byte order; an empty src throws code 6.
  OrvBuffer(const OrvBuffer& src);

  virtual ~OrvBuffer();
  virtual OrvBuffer& operator=(const OrvBuffer& src);
  // Replaces the contents by len bytes of src.
  virtual u64 setBuffer(const u8* src, u32 len, _OrvByteEndianess order);
  // Copies len bytes of src from srcOffset to the start of this buffer; len 0
  // copies min(this length, src length) - srcOffset bytes.
  virtual u64 copyData(const OrvBuffer& src, u32 len, u32 srcOffset);
  // Copies len bytes from src + srcOffset to the start of this buffer.
  virtual u64 copyData(const u8* src, u32 len, u32 srcOffset);
  // Shrinking keeps the allocation and zeroes the bytes given up; growing
  // beyond it reallocates and keeps the old bytes.
  virtual u64 resize(u32 newLength);
  virtual u8* getBuffer() const { return data; }
  virtual u32 getLength() const { return length; }
  // Fill with a repeated value, each whole group least significant byte first.
  virtual void setByte(u8 value);
  virtual void setWord(u16 value);
  virtual void setDWord(u32 value);
  virtual void setQWord(u64 value);
  // The hex dump, to a runtime FILE* passed untyped.
  virtual void hexDump(void* file);
  // The hex dump into out, which is emptied first.
  virtual void hexDump(std::stringstream& out);
  // Prints the decoded fields; data-structure classes supply it.
  virtual void print(void* file);
  virtual std::string getName() const;

  // The byte at index; index >= length throws code 7.
  u8& operator[](u32 index);
  // len equals this length and the bytes are equal.
  bool compare(const u8* bytes, u32 len) const;
  // The range offset..offset+len-1 lies in both buffers and is equal in both.
  bool compare(const OrvBuffer& other, u32 offset, u32 len) const;
  // Same length, same bytes.
  bool compare(const OrvBuffer& other) const;

  // count bits from startBit of the 8-, 16-, 32- or 64-bit word at byteOffset,
  // in this buffer's byte order. A start bit beyond the word is taken as 0;
  // the count is cut to the word and to the bytes left in the buffer. An
  // offset at or past the end, or nothing left to view, throws code 7.
  OrvBufBits byte(u32 byteOffset, u8 startBit, u8 count);
  OrvBufBits word(u32 byteOffset, u8 startBit, u8 count);
  OrvBufBits dword(u32 byteOffset, u8 startBit, u8 count);
  OrvBufBits qword(u32 byteOffset, u8 startBit, u8 count);

  _OrvByteEndianess getEndianess() const { return byteOrder; }
  // Changes no byte.
  void setEndianess(_OrvByteEndianess order) { byteOrder = order; }
  // Every byte from the secure random source.
  void setRandom();
  void resetZero();
  // Appends "%02x " per byte, or "Empty Buffer"; out is not emptied.
  void strDump(std::stringstream& out) const;
  // The raw bytes, in one write.
  void binDump(void* file) const;

 protected:
  OrvBufBits bitsValue(u32 byteOffset, u8 startBit, u8 count, u8 width);
  // The dump text, as both hexDump forms of this class write it.
  std::string hexDumpText() const;

  u8* data;
  u32 length;
  // Bytes this buffer allocated itself; 0 when it owns no memory.
  u32 allocatedLength;
  _OrvByteEndianess byteOrder;

 private:
  void fill(u64 value, unsigned size);
  // Resizes through the slot to len and copies len bytes of src.
  u64 replaceContents(const u8* src, u32 len);
};

// A window on bytes offset..offset+length-1 of another buffer. It shares the
// parent's memory (it never frees) and cannot be resized, refilled, copied or
// assigned. It does not notice when the parent frees or reallocates: the
// parent's owner keeps the parent unchanged in size while windows exist.
class ORV_EXPORT OrvSubBuffer : public OrvBuffer {
 public:
  // A range outside the parent throws code 7; this form also prints the
  // offsets and the parent's length to standard output first.
  OrvSubBuffer(OrvBuffer* parent, u32 offset, u32 length);
  OrvSubBuffer(OrvBuffer& parent, u32 offset, u32 length);
  ~OrvSubBuffer() override = default;

  u64 setBuffer(const u8* src, u32 len, _OrvByteEndianess order) override;
  u64 resize(u32 newLength) override;
  // Throws code 1.
  virtual OrvSubBuffer& operator=(const OrvSubBuffer& src);

 protected:
  // Throws code 1.
  OrvSubBuffer(const OrvSubBuffer& src);

 private:
  void attach(OrvBuffer& parent, u32 offset, u32 length, bool report);
};

// An owning buffer holding one log page, with its page and subpage ids and a
// display name in the header of its hex dump.
class ORV_EXPORT OrvLogBuffer : public OrvBuffer {
 public:
  OrvLogBuffer();
  OrvLogBuffer(u32 length, _OrvByteEndianess order, u8 pageId, u16 subPageId, std::string name);
  // Copies the bytes, ids and name; the copy shows its ids.
  OrvLogBuffer(const OrvLogBuffer& src);
  ~OrvLogBuffer() override = default;

  void hexDump(void* file) override;
  void hexDump(std::stringstream& out) override;
  std::string getName() const override { return name; }
  virtual OrvLogBuffer& operator=(const OrvLogBuffer& src);

  // Name only: the ids read as 0 and the dump header shows none.
  void setIdentification(std::string name);
  void setIdentification(u8 pageId, u16 subPageId, std::string name);
  u8 getPageId() const { return noIdentification ? 0 : pageId; }
  u16 getSubPageId() const { return noIdentification ? 0 : subPageId; }

 protected:
  bool noIdentification;
  u16 subPageId;
  u8 pageId;
  std::string name;

 private:
  std::string logDumpText() const;
};

}  // namespace VazidaRaduru
