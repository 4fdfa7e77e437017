// Results of device operations: a list of items of one record type plus the
// raw buffers the items were decoded from, and the item records.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {

// Filled by one device operation, read and then cleared or destroyed by its
// creator. It owns the buffers handed to it: they are heap objects deleted
// through their virtual destructors. It can be moved but not copied, since
// two containers must never own the same buffers.
template <typename T>
class OrvDevGenData {
 public:
  OrvDevGenData() = default;
  OrvDevGenData(const OrvDevGenData&) = delete;
  OrvDevGenData& operator=(const OrvDevGenData&) = delete;
  OrvDevGenData(OrvDevGenData&& src) noexcept
      : items(std::move(src.items)), buffers(std::move(src.buffers)) {}
  OrvDevGenData& operator=(OrvDevGenData&& src) noexcept {
    if (this != &src) {
      clear();
      items.swap(src.items);
      buffers.swap(src.buffers);
    }
    return *this;
  }
  ~OrvDevGenData() { clear(); }

  void addItem(T item) { items.push_back(std::move(item)); }
  // The container owns the buffer from now on.
  void addBuffer(OrvBuffer* buffer) { buffers.push_back(buffer); }
  void clear() {
    for (OrvBuffer*& buffer : buffers) {
      delete buffer;
      buffer = nullptr;
    }
    buffers.clear();
    items.clear();
  }

  std::vector<T> items;
  std::vector<OrvBuffer*> buffers;
};

// Kinds of a named value.
constexpr u8 ORV_ITEM_NUMBER = 0;
constexpr u8 ORV_ITEM_TEXT = 1;
constexpr u8 ORV_ITEM_FLAG = 2;

// A named value, as every data-structure class exports its fields.
struct _OrvDataItem {
  _OrvDataItem(std::string name, u64 value, u32 id, u8 flag);
  _OrvDataItem(std::string name, std::string text);
  _OrvDataItem(std::string name, const char* text);
  // A flag when the view is one bit wide, else a number. The third argument
  // is accepted and not used.
  _OrvDataItem(std::string name, const OrvBufBits& bits, u32 unused, u8 flag);
  _OrvDataItem(const OrvBufField& field);
  _OrvDataItem(const OrvBufAscFld& field);

  u32 id;
  std::string name;
  u8 kind;
  std::string text;
  u64 value;
  u8 flag;
};

struct _OrvFwSlot {
  u8 slotNumber;
  std::string revision;
  u8 flag;
};

struct _OrvFwInfoItem {
  std::string currentRevision;
  std::vector<_OrvFwSlot> slots;
  u8 currentSlot;
  u8 nextSlot;
};

struct _OrvErrLogItem {
  u64 errorCount;
  u16 submissionQueueId;
  u16 commandId;
  u16 statusField;
  u8 parameterErrorByte;
  u8 parameterErrorBit;
  u64 lba;
  u32 nameSpace;
  u8 vendorInfoAvailable;
  u64 commandSpecificInfo;
};

struct _OrvSmartAttrItem {
  u8 id;
  std::string name;
  u64 rawValue;
};

// A log or mode-page directory entry; the producer gives the trailing value
// its meaning.
struct _OrvDirEntry {
  u32 id;
  std::vector<u16> subIds;
  std::string name;
  u32 info;
};

// A mode-page parameter; the producer gives the numbers their meaning.
struct _OrvModeItem {
  std::string name;
  std::string text;
  u64 value1;
  u64 value2;
  u8 reserved[16];
  u8 attribute;
  u8 flag;
};

struct _OrvSelfTestItem {
  u32 entryNumber;
  u32 testKind;
  // Not every device fills it.
  u32 extra;
  u32 result;
  u64 failingLba;
  u32 powerOnHours;
  u32 namespaceId;
};

struct _OrvNvmNsItem {
  u32 namespaceId;
  std::vector<u16> controllerIds;
};

struct _OrvNvmCtlItem {
  u16 controllerId;
  std::vector<u32> namespaceIds;
};

}  // namespace VazidaRaduru
