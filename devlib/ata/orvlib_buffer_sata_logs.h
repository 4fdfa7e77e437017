// ATA data structures read from SMART and the standard logs: the SMART READ
// DATA page with its attribute table, the extended self-test and
// comprehensive error log pages, the log directories, the device internal
// status header and the SCT status and feature control pages.
//
// Every field is a view on the page's own bytes. Windows into a page
// (attribute table, entries, descriptors) must not outlive it.
// Repeated structures are numbered from 1; any other index throws code 7.
#pragma once

#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "devlib/orvlib_bufbits.h"
#include "devlib/orvlib_buffer.h"
#include "devlib/orvlib_gendata.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {
namespace VazidaRaduruSataInternal {

// Raised in orvlib_buffer_sata.cpp, which owns the status words of the ATA
// data structures.
[[noreturn]] void orvAtaIndexOutOfBound();
[[noreturn]] void orvAtaNoMemory();
// Resizes buffer without ever moving its bytes: a length above allocated
// returns code 6.
u64 orvAtaResizeInPlace(OrvBuffer& buffer, u32 allocated, u32 newLength);
// One "%-100s: %llu\n" line.
void orvAtaPrintNumber(void* file, const std::string& label, u64 value);

// A copy of source at least length bytes long, zero-filled past source's
// bytes, so that fields declared over it lie inside it.
template <typename Buffer>
Buffer orvAtaPaddedCopy(const Buffer& source, u32 length) {
  Buffer copy(source);
  if (copy.getLength() < length) {
    if (u64 status = copy.resize(length)) throw status;
  }
  return copy;
}

// A page whose fields view its own bytes: it keeps them in place for its
// whole life, so it is not copied and never grows beyond them.
template <typename Base>
class OrvAtaPage : public Base {
 public:
  using Base::Base;
  explicit OrvAtaPage(const Base& bytes) : Base(bytes) {}
  OrvAtaPage(const OrvAtaPage&) = delete;
  OrvAtaPage& operator=(const OrvAtaPage&) = delete;

  // A length above the bytes allocated returns code 6.
  u64 resize(u32 newLength) override { return orvAtaResizeInPlace(*this, this->allocatedLength, newLength); }
};

// A field made of named bits: print and export show one value per named
// bit, labelled with the field's name, ":" and the bit's name.
class OrvAtaBitGroup : public OrvBufField {
 public:
  using OrvBufField::OrvBufField;
  OrvAtaBitGroup(const OrvAtaBitGroup&) = delete;
  OrvAtaBitGroup& operator=(const OrvAtaBitGroup&) = delete;

  // Nothing unless the class names its bits for print and export.
  virtual void print(void* file) const;
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& out) const;

 protected:
  void printBits(void* file, std::initializer_list<const OrvBufField*> bits) const;
  void collectBits(OrvDevGenData<_OrvDataItem>& out, std::initializer_list<const OrvBufField*> bits) const;
};

//   B(member, bit, name), in print order.
#define ORV_ATA_SMART_OFFLINE_CAP_BITS(B) \
  B(selectiveSelfTest, 6, "Selective self-test implemented") \
  B(conveyanceSelfTest, 5, "Conveyance self-test implemented") \
  B(selfTest, 4, "Self-test implemented") \
  B(offlineReadScanning, 3, "Off-line read scanning implemented") \
  B(abortRestartOffline, 2, "Abort/restart off-line by host") \
  B(vendorSpecific, 1, "Vendor specific") \
  B(executeOfflineImmediate, 0, "Execute off-line immediate implemented")

#define ORV_ATA_SMART_CAP_BITS(B) \
  B(saveOnPowerOff, 0, "Smart Save support of Power-off") \
  B(attributeAutosave, 1, "SMART enable/disable attribute autosave command supported")

#define ORV_ATA_SMART_ATTR_FLAG_BITS(B) \
  B(preFailure, 0, "Pre-failure Warranty") \
  B(onlineCollection, 1, "Online Collection") \
  B(performance, 2, "Performance Attribute type") \
  B(errorRate, 3, "Error Rate Attribute type") \
  B(eventCount, 4, "Event Count Attribute type") \
  B(selfPreserving, 5, "Self-Preserving Attribute type")

#define ORV_ATA_BIT_MEMBER(member, ...) OrvBufField member;

// Byte 367 of the SMART page.
class OrvAtaSmartOfflineCap : public OrvAtaBitGroup {
 public:
  explicit OrvAtaSmartOfflineCap(u8* data);
  void print(void* file) const override;
  void collectFields(OrvDevGenData<_OrvDataItem>& out) const override;

  ORV_ATA_SMART_OFFLINE_CAP_BITS(ORV_ATA_BIT_MEMBER)
};

// Bytes 368 and 369 of the SMART page.
class OrvAtaSmartCap : public OrvAtaBitGroup {
 public:
  explicit OrvAtaSmartCap(u8* data);
  void print(void* file) const override;
  void collectFields(OrvDevGenData<_OrvDataItem>& out) const override;

  ORV_ATA_SMART_CAP_BITS(ORV_ATA_BIT_MEMBER)
};

// The flag word of an attribute entry; it neither prints nor exports.
class OrvAtaSmartAttrFlags : public OrvAtaBitGroup {
 public:
  // data is the entry's first byte.
  explicit OrvAtaSmartAttrFlags(u8* data);

  ORV_ATA_SMART_ATTR_FLAG_BITS(ORV_ATA_BIT_MEMBER)
};

// The 512-byte SMART READ DATA page.
class OrvAtaSmartData : public OrvAtaPage<OrvBuffer> {
 public:
  static constexpr u32 kLength = 512;

  OrvAtaSmartData();
  ~OrvAtaSmartData() override;

  // "SMART data Hex-Dump" and the dump of all bytes; out is emptied first.
  void hexDump(std::stringstream& out) override;
  void hexDump(void* file) override;
  // Both vendor areas as dumps and every field as a line labelled
  // getName() + ":" + the field's name.
  void print(void* file) override;

  OrvSubBuffer firstVendorArea;
  OrvBufField offlineCollectionStatus;
  OrvBufField selfTestExecutionStatus;
  OrvBufField vendorWord364;
  OrvBufField vendorByte366;
  OrvAtaSmartOfflineCap offlineCollectionCapability;
  OrvAtaSmartCap smartCapability;
  OrvBufField errorLoggingSupported;
  OrvBufField vendorByte371;
  OrvBufField shortSelfTestPollingTime;
  OrvBufField extendedSelfTestPollingTimeByte;
  OrvBufField conveyanceSelfTestPollingTime;
  OrvBufField extendedSelfTestPollingTimeWord;
  OrvSubBuffer secondVendorArea;
};

// One 12-byte attribute entry.
class OrvAtaSmartAttr : public OrvSubBuffer {
 public:
  // Entry index (1 to 30) of the attribute table; an entry outside the
  // table throws code 7.
  OrvAtaSmartAttr(OrvBuffer* table, u8 index);
  ~OrvAtaSmartAttr() override;

  OrvBufField attributeId;
  OrvAtaSmartAttrFlags flags;
  OrvBufField value;
  OrvBufField worstValue;
  OrvBufField rawValue;
  OrvBufField reserved;
};

// The 30 attribute entries in bytes 0 to 361 of a SMART page.
class OrvAtaSmartAttrBuf : public OrvSubBuffer {
 public:
  static constexpr u8 kCount = 30;

  explicit OrvAtaSmartAttrBuf(OrvBuffer* smartData);
  ~OrvAtaSmartAttrBuf() override;

  // Builds the entries anew; no memory throws code 8 and leaves none.
  void createAttrs();
  // Entry index, owned by the table.
  OrvAtaSmartAttr* getAttr(u8 index);

 private:
  std::vector<std::unique_ptr<OrvAtaSmartAttr>> attrs;
};

// The status byte of a self-test descriptor.
class OrvAtaExtSmartSelfExecStatus : public OrvByteField {
 public:
  // data is the descriptor's first byte.
  explicit OrvAtaExtSmartSelfExecStatus(u8* data);
  ~OrvAtaExtSmartSelfExecStatus() override;

  OrvBufField percentRemaining;
  OrvBufField executionStatus;
};

// One 26-byte descriptor of the extended self-test log.
class OrvAtaExtSmartSelfTestDesc : public OrvSubBuffer {
 public:
  OrvAtaExtSmartSelfTestDesc(OrvBuffer* page, u8 index);
  ~OrvAtaExtSmartSelfTestDesc() override;

  OrvByteField testType;
  OrvAtaExtSmartSelfExecStatus status;
  OrvWordField lifeTimestamp;
  OrvByteField failureCheckpoint;
  OrvBufField lba;
  OrvSubBuffer vendorArea;
};

// One page of the extended SMART self-test log (07h).
class OrvAtaExtSmartSelfTestLog : public OrvAtaPage<OrvLogBuffer> {
 public:
  static constexpr u32 kLength = 512;
  static constexpr u8 kDescriptors = 19;

  OrvAtaExtSmartSelfTestLog();
  ~OrvAtaExtSmartSelfTestLog() override;

  // Descriptor index (1 to 19), owned by the page.
  OrvAtaExtSmartSelfTestDesc* getDescriptor(u8 index);

  OrvByteField revisionNumber;
  OrvWordField descriptorIndex;

 private:
  std::vector<std::unique_ptr<OrvAtaExtSmartSelfTestDesc>> descriptors;
};

// A 48-bit LBA stored in ATA register order: bytes 0 to 5 hold LBA bits
// 7:0, 31:24, 15:8, 39:32, 23:16 and 47:40.
class OrvAtaCompErrLba : public OrvBufField {
 public:
  OrvAtaCompErrLba(u8* data, u32 offset);

  using OrvBufField::getValue;
  u64 getValue() const override;
  // Writes in the same register order that getValue reads.
  void setValue(u64 lba) override;
};

// One command data structure (18 bytes) of an error log data structure.
class OrvAtaExtComprSmartCmdDs : public OrvSubBuffer {
 public:
  OrvAtaExtComprSmartCmdDs(OrvBuffer* errLogDs, u8 index);
  ~OrvAtaExtComprSmartCmdDs() override;

  OrvBufField control;
  OrvBufField feature;
  OrvBufField count;
  OrvAtaCompErrLba lba;
  OrvBufField dev;
  OrvBufField cmd;
  OrvBufField timestamp;
};

// The error data structure (34 bytes) at byte 90 of an error log data
// structure.
class OrvAtaExtComprSmartErrDs : public OrvSubBuffer {
 public:
  explicit OrvAtaExtComprSmartErrDs(OrvBuffer* errLogDs);
  ~OrvAtaExtComprSmartErrDs() override;

  OrvBufField transport;
  OrvBufField err;
  OrvBufField count;
  OrvAtaCompErrLba lba;
  OrvBufField dev;
  OrvBufField status;
  OrvSubBuffer extendedErrorInfo;
  OrvBufField powerStatus;
  OrvBufField timestamp;
};

// One error log data structure (124 bytes): five commands and the error.
class OrvAtaExtComprSmartErrLogDs : public OrvSubBuffer {
 public:
  static constexpr u8 kCommands = 5;

  OrvAtaExtComprSmartErrLogDs(OrvBuffer* page, u8 index);
  ~OrvAtaExtComprSmartErrLogDs() override;

  // Command data structure index (1 to 5).
  OrvAtaExtComprSmartCmdDs* getCmdDs(u8 index);

 private:
  std::vector<std::unique_ptr<OrvAtaExtComprSmartCmdDs>> commands;

 public:
  OrvAtaExtComprSmartErrDs errDs;
};

// One page of the extended comprehensive SMART error log (03h).
class OrvAtaExtComprSmartErrLogPage : public OrvAtaPage<OrvLogBuffer> {
 public:
  static constexpr u32 kLength = 512;
  static constexpr u8 kErrLogDs = 4;

  explicit OrvAtaExtComprSmartErrLogPage(u16 pageNumber);
  // Bytes and identification of source; the fields view the copy's bytes.
  OrvAtaExtComprSmartErrLogPage(const OrvAtaExtComprSmartErrLogPage& source);
  ~OrvAtaExtComprSmartErrLogPage() override;

  // Error log data structure index (1 to 4), owned by the page.
  OrvAtaExtComprSmartErrLogDs* getErrLogDs(u8 index);

  OrvBufField errorLogVersion;
  OrvBufField errorLogIndex;

 private:
  // bytes is at least kLength long.
  explicit OrvAtaExtComprSmartErrLogPage(const OrvLogBuffer& bytes);

  std::vector<std::unique_ptr<OrvAtaExtComprSmartErrLogDs>> errLogDs;

 public:
  OrvBufField deviceErrorCount;
  OrvBufField checksum;
};

// The General Purpose log directory: word n counts the pages of log n.
class OrvAtaGplLogDir : public OrvLogBuffer {
 public:
  OrvAtaGplLogDir();
  ~OrvAtaGplLogDir() override;

  u16 getPageCount(u8 logAddress);
};

// The SMART log directory: byte 2n counts the pages of log n.
class OrvAtaSlLogDir : public OrvLogBuffer {
 public:
  OrvAtaSlLogDir();
  ~OrvAtaSlLogDir() override;

  u8 getPageCount(u8 logAddress);
};

// Page 0 of the current device internal status data log (24h).
class OrvAtaIntStatusHdrLog : public OrvAtaPage<OrvLogBuffer> {
 public:
  static constexpr u32 kLength = 512;

  OrvAtaIntStatusHdrLog();
  ~OrvAtaIntStatusHdrLog() override;


  OrvByteField logAddress;
  OrvBufField ieeeOui;
  OrvWordField area1LastLogPage;
  OrvWordField area2LastLogPage;
  OrvWordField area3LastLogPage;
  OrvByteField savedDataAvailable;
  OrvByteField savedDataGenerationNumber;
  OrvSubBuffer reasonIdentifier;
};

//   F(member, byte offset, last bit, name), in print order.
#define ORV_ATA_SCT_STATUS_FIELDS(F) \
  F(formatVersion, 0, 15, "Format Version") \
  F(sctVersion, 2, 15, "SCT Version") \
  F(statusFlags, 6, 31, "Status Flags") \
  F(deviceState, 10, 7, "Device State") \
  F(extendedStatusCode, 14, 15, "Extended Status Code") \
  F(actionCode, 16, 15, "Action Code") \
  F(functionCode, 18, 15, "Function Code") \
  F(lba, 40, 63, "LBA") \
  F(currentTemp, 200, 7, "Current Temp") \
  F(minTemp, 201, 7, "Min Temp") \
  F(maxTemp, 202, 7, "Max Temp") \
  F(lifeMinTemp, 203, 7, "Life Min Temp") \
  F(lifeMaxTemp, 204, 7, "Life Max Temp") \
  F(overLimitCount, 206, 31, "Over Limit Count") \
  F(underLimitCount, 210, 31, "Under Limit Count")

#define ORV_ATA_SCT_FEATURE_CONTROL_FIELDS(F) \
  F(actionCode, 0, 15, "Action Code") \
  F(functionCode, 2, 15, "Function Code") \
  F(featureCode, 4, 15, "Feature Code") \
  F(state, 6, 15, "State") \
  F(optionFlags, 8, 15, "Option Flags")

#define ORV_ATA_FIELD_MEMBER(member, ...) OrvBufField member;

// The SCT status response (log E0h).
class OrvAtaSctStatus : public OrvAtaPage<OrvLogBuffer> {
 public:
  static constexpr u32 kLength = 512;

  OrvAtaSctStatus();
  ~OrvAtaSctStatus() override;

  // "%-25s: %llx [%llu]" per field, then the vendor area as a dump; a
  // temperature shows its byte and its signed value ("fb [-5]").
  void print(void* file) override;
  // Every field as a named value, the temperatures signed: their 64-bit
  // values read back as s64.
  void collectFields(OrvDevGenData<_OrvDataItem>& out) const;

  // The five temperatures are two's complement degrees Celsius.
  bool isTemperature(const OrvBufField& field) const;
  static s8 celsius(const OrvBufField& temperature) { return static_cast<s8>(temperature.getValue()); }

  ORV_ATA_SCT_STATUS_FIELDS(ORV_ATA_FIELD_MEMBER)
  OrvSubBuffer vendorArea;
};

// The key page of an SCT feature control command.
class OrvAtaSctFtrCtlCmdBuf : public OrvAtaPage<OrvBuffer> {
 public:
  static constexpr u32 kLength = 512;

  OrvAtaSctFtrCtlCmdBuf();
  ~OrvAtaSctFtrCtlCmdBuf() override;

  void print(void* file) override;

  ORV_ATA_SCT_FEATURE_CONTROL_FIELDS(ORV_ATA_FIELD_MEMBER)
};

#undef ORV_ATA_BIT_MEMBER
#undef ORV_ATA_FIELD_MEMBER

}  // namespace VazidaRaduruSataInternal
}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
