// Records of a device dump that are not log pages. A feature buffer holds one
// feature's current and saved value, each behind an 8-byte header:
//   0 "Validity" (1 read, 0 failed), 1..4 "Feature Value", 5..6 "Data Length",
//   7 reserved, then the feature's data block.
// The file, data and information records describe dump files; nothing in the
// system makes them yet.
#pragma once

#include <optional>
#include <vector>

#include "devlib/orvlib_bufbits.h"
#include "devlib/orvlib_buffer.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {

class OrvDevDumpFeatureBuffer;

class OrvDevDumpFeatureHeader : public OrvSubBuffer {
 public:
  static constexpr u32 kSize = 8;

  // The header window at offset of parent, and a view on the dataLength bytes
  // after it unless dataLength is 0.
  OrvDevDumpFeatureHeader(OrvBuffer* parent, u32 offset, u32 dataLength);
  ~OrvDevDumpFeatureHeader() override;
  OrvDevDumpFeatureHeader(const OrvDevDumpFeatureHeader&) = delete;

  // The data view; null when there is none (no data block, or dropped).
  OrvSubBuffer* getDataView() { return dataView ? &*dataView : nullptr; }

  OrvBufField validity;
  OrvBufField featureValue;
  OrvBufField dataLength;

 private:
  friend class OrvDevDumpFeatureBuffer;
  std::optional<OrvSubBuffer> dataView;
};

class OrvDevDumpFeatureBuffer : public OrvBuffer {
 public:
  // 2 x (dataLength + 8) zero bytes: the current value's header and data,
  // then the saved value's.
  explicit OrvDevDumpFeatureBuffer(u32 dataLength);
  ~OrvDevDumpFeatureBuffer() override;
  OrvDevDumpFeatureBuffer(const OrvDevDumpFeatureBuffer&) = delete;

  OrvDevDumpFeatureHeader& getCurrent() { return *current; }
  OrvDevDumpFeatureHeader& getSaved() { return *saved; }
  // After a failed read: the value's data leaves the buffer, which shrinks
  // without reallocating; its header stays. Dropping the current value's
  // data moves the saved record up behind the current header.
  void dropCurrentData();
  void dropSavedData();

 private:
  std::optional<OrvDevDumpFeatureHeader> current;
  std::optional<OrvDevDumpFeatureHeader> saved;
};

// Heads a dump file: 32 bytes, "Signature" (16 characters), "Version",
// "Header Length" and "Entry Count", and the records the file holds.
class OrvDevDumpFileHeader : public OrvBuffer {
 public:
  static constexpr u32 kSize = 32;

  explicit OrvDevDumpFileHeader(u32 entryCount);
  // Deletes every record still held.
  ~OrvDevDumpFileHeader() override;
  OrvDevDumpFileHeader(const OrvDevDumpFileHeader&) = delete;

  // The record at index, owned by the header; an index at or beyond the
  // count the header was made with throws code 7.
  OrvBuffer*& entry(u32 index);

  OrvBufAscFld signature;
  OrvBufField version;
  OrvBufField headerLength;
  OrvBufField entryCount;

 private:
  // Sized when made: "Entry Count" may be rewritten, the array stays.
  std::vector<OrvBuffer*> entries;
};

// Describes one record of a dump file: a 24-byte window of six numbers.
class OrvDevDumpDataHeader : public OrvSubBuffer {
 public:
  static constexpr u32 kSize = 24;

  OrvDevDumpDataHeader(OrvBuffer* parent, u32 offset);
  ~OrvDevDumpDataHeader() override;

  OrvBufField dataType;
  OrvBufField dataId;
  OrvBufField parameter;
  OrvBufField status;
  OrvBufField dataOffset;
  OrvBufField dataSize;
};

// The drive a dump file was taken from: model number, serial number and
// firmware revision, then ten numbers.
class OrvDevDumpInfoBuffer : public OrvBuffer {
 public:
  static constexpr u32 kSize = 108;
  static constexpr u32 kNumberCount = 10;

  OrvDevDumpInfoBuffer();
  ~OrvDevDumpInfoBuffer() override;
  OrvDevDumpInfoBuffer(const OrvDevDumpInfoBuffer&) = delete;

  OrvBufAscFld modelNumber;
  OrvBufAscFld serialNumber;
  OrvBufAscFld firmwareRevision;
  // "Bus Type", "Device Type", "Physical Bus Type", "Sector Size",
  // "Max Transfer Length", "Namespace Id", "Record Count", "Status",
  // "Dump Time Low", "Dump Time High", in that order.
  std::vector<OrvBufField> numbers;
};

}  // namespace VazidaRaduru
