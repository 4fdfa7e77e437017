// Data area 1 of the device internal status log of the QX12 hard-disk family:
// the container over the Area 1 bytes and its seventeen sub-logs, each a
// window on its stretch of those bytes that names its counters, prints them
// and exports them as named values.
//
// Byte layout (every number in the container's byte order, little-endian
// unless the caller says otherwise; all offsets relative to the window):
// - The sub-logs lie one after the other in the container's declaration
//   order, each starting on a 512-byte log page; the container is exactly as
//   long as the last sub-log's end (kLength bytes).
// - Every sub-log starts with its 32-bit "Data log category"; its counters
//   follow back to back in print order: single fields of container sub-logs
//   are 64-bit, array elements have the width of their array, and a
//   two-index array stores element (i, j) at (i * columns + j) * width.
// - Owned records follow the counters back to back, record 0 first; each
//   record's fields lie back to back in print order with the widths of the
//   record's table (see the .cpp files).
// - Record numbers are their indices: zone 0..14, log 0..2047, entry
//   0..239, workload sector 0..51 and log 0..13 within the sector.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devlib/orvlib_bufbits.h"
#include "devlib/orvlib_buffer.h"
#include "devlib/orvlib_gendata.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {
namespace VazidaRaduruSataInternal {

// One entry of a layout, in print order: a named field, or a count array
// whose label takes one "%u" per index.
struct OrvAtaArea1Entry {
  const char* name;
  // Bytes of the field or of one array element: 1, 2, 4 or 8.
  u8 width;
  // 0 for a single field, else the count of the first index.
  u16 rows = 0;
  // The count of the second index; 0 for a one-index array.
  u16 columns = 0;
  // The export flag of records that export one.
  u8 flag = 0;
};

// The number of entries of a layout table.
template <size_t N>
constexpr u32 sizeOf(const OrvAtaArea1Entry (&)[N]) {
  return static_cast<u32>(N);
}

// The fields and count arrays of one layout table, laid back to back from an
// offset of a window. Arrays are windows on the same bytes.
class OrvAtaArea1Counters {
 public:
  OrvAtaArea1Counters(OrvBuffer* window, u32 offset, const OrvAtaArea1Entry* table, u32 count);
  OrvAtaArea1Counters(const OrvAtaArea1Counters&) = delete;
  OrvAtaArea1Counters& operator=(const OrvAtaArea1Counters&) = delete;
  ~OrvAtaArea1Counters();

  static u32 byteLength(const OrvAtaArea1Entry* table, u32 count);
  // The first byte after the last entry.
  u32 endOffset() const { return end; }

  // One line per field and per array element; field labels start with
  // fieldPrefix, element labels with arrayPrefix.
  void print(void* out, const std::string& fieldPrefix = std::string(),
             const std::string& arrayPrefix = std::string()) const;
  // One item per printed line: field items from the field, element items as
  // numbers named by their labels.
  void collect(OrvDevGenData<_OrvDataItem>& out) const;

  // Element (i, j) of the array of entry e, widened to 64 bits; an index at
  // or past its count throws code 7 with the accessor's line.
  u64 element(u32 e, u32 i, u32 j, u32 line) const;
  u32 size() const { return count; }
  const OrvAtaArea1Entry& entry(u32 e) const { return table[e]; }
  // The field of single-field entry e.
  const OrvBufField& field(u32 e) const { return fields[slot[e]]; }

 private:
  const OrvAtaArea1Entry* table;
  u32 count;
  u32 end;
  std::vector<OrvBufField> fields;
  std::vector<std::unique_ptr<OrvSubBuffer>> arrays;
  // Per entry, its place in fields or arrays.
  std::vector<u32> slot;
};

// The common base of the container's sub-logs: the window and its base field.
class OrvAtaArea1DataQX12 : public OrvSubBuffer {
 public:
  // The bytes before a sub-log's counters.
  static constexpr u32 kHeaderLength = 4;

  OrvAtaArea1DataQX12(OrvBuffer* parent, u32 offset, u32 length);
  ~OrvAtaArea1DataQX12() override;

  // The base field's line.
  void print(void* out) override;
  // The base field's item.
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& out);

  // "    %-100s: %llu\n"; a null stream writes nothing.
  static void printLine(void* out, const std::string& label, u64 value);
  // The title block "\n\n    %s\n\n".
  static void printTitle(void* out, const char* title);
  // format with one or two numbers, cut to 255 characters.
  static std::string label(const char* format, unsigned first, unsigned second = 0);

 protected:
  // [base field line,] title block, counters.
  void printCounters(void* out, bool withBase, const char* title, const OrvAtaArea1Counters& counters);
  // [base field item,] title item, counter items.
  void collectCounters(OrvDevGenData<_OrvDataItem>& out, bool withBase, const char* title,
                       const OrvAtaArea1Counters& counters);

  OrvBufField category;
};

// A sub-log of nothing but counters, shown under a title.
#define ORV_AREA1_COUNTER_LOG_MEMBERS(Class)                 \
 public:                                                     \
  Class(OrvBuffer* parent, u32 offset);                      \
  ~Class() override;                                         \
  static u32 byteLength();                                   \
  void print(void* out) override;                            \
  void collectFields(OrvDevGenData<_OrvDataItem>& out) override; \
                                                             \
 private:                                                    \
  OrvAtaArea1Counters counters;                              \
                                                             \
 public:

class OrvAtaArea1DiskEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1DiskEventLogQX12)
  u64 getHeadReadCount(u8 head) const;
  u64 getHeadWriteCount(u8 head) const;
  u64 getHeadSeekCount(u8 head) const;
  u64 getWriteSeekLengthCount(u8 index) const;
  u64 getReadSeekLengthCount(u8 index) const;
  u64 getHeadZoneReadCount(u8 head, u8 zone) const;
  u64 getHeadZoneWriteCount(u8 head, u8 zone) const;
  u32 getReadRetryStepErrors(u8 step) const;
  u32 getWriteRetryStepErrors(u8 step) const;
  u32 getSeekRetryStepErrors(u8 step) const;
  u32 getHeadReadRetryStepErrors(u8 head, u8 step) const;
  u32 getHeadWriteRetryStepErrors(u8 head, u8 step) const;
  u32 getHeadSeekRetryStepErrors(u8 head, u8 step) const;
  u32 getHeadReadOfftrackErrors(u8 head) const;
  u32 getHeadWriteOfftrackErrors(u8 head) const;
  u32 getZoneReadOfftrackErrors(u8 zone) const;
  u32 getZoneWriteOfftrackErrors(u8 zone) const;
  u32 getSeekDiffWriteOfftrackErrors(u8 index) const;
  u16 getShockHistogram(u8 bin) const;
};

class OrvAtaArea1CmdEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1CmdEventLogQX12)
  u64 getHeadVerifyBlocks(u8 head) const;
};

class OrvAtaArea1RptErrEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1RptErrEventLogQX12)
};

class OrvAtaArea1SA_EventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1SA_EventLogQX12)
  u32 getHeadReadCount(u8 head) const;
  u32 getHeadReadErrorCount(u8 head) const;
  u32 getHeadWriteCount(u8 head) const;
  u32 getHeadWriteErrorCount(u8 head) const;
  u32 getAtiRewriteCount(u8 head) const;
  u32 getAtiRewriteErrorCount(u8 head) const;
  u32 getAtiScanCount(u8 head) const;
  u32 getAtiScanRetryOutCount(u8 head) const;
};

class OrvAtaArea1TimeEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1TimeEventLogQX12)
};

class OrvAtaArea1BootEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1BootEventLogQX12)
};

class OrvAtaArea1EnvEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1EnvEventLogQX12)
};

class OrvAtaArea1MicrocodeEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1MicrocodeEventLogQX12)
};

class OrvAtaArea1PowerEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1PowerEventLogQX12)
};

class OrvAtaArea1WorkloadBaseDataQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1WorkloadBaseDataQX12)
};

class OrvAtaArea1MemoryCheckEventLogQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1MemoryCheckEventLogQX12)
};

class OrvAtaArea1FailurePredictiondataQX12 : public OrvAtaArea1DataQX12 {
  ORV_AREA1_COUNTER_LOG_MEMBERS(OrvAtaArea1FailurePredictiondataQX12)
};

#undef ORV_AREA1_COUNTER_LOG_MEMBERS

// ------------------------------------------------------------------ records

// Each record is a window on its stretch of the owner's bytes.

// One error report of the sense log.
class OrvAtaArea1SenseLogContentQX12 : public OrvSubBuffer {
 public:
  OrvAtaArea1SenseLogContentQX12(OrvBuffer* owner, u32 offset, u16 entryNumber);
  ~OrvAtaArea1SenseLogContentQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& out);
  // "0x%02X " per byte of the command descriptor block, byte 15 first.
  std::string getCdbText();
  u16 getEntryNumber() const { return entryNumber; }

 private:
  std::string prefix() const;

  OrvAtaArea1Counters fields;
  OrvSubBuffer cdb;
  u16 entryNumber;
};

class OrvAtaArea1SenseLogQX12 : public OrvAtaArea1DataQX12 {
 public:
  static constexpr u32 kEntries = 240;

  OrvAtaArea1SenseLogQX12(OrvBuffer* parent, u32 offset);
  ~OrvAtaArea1SenseLogQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  void collectFields(OrvDevGenData<_OrvDataItem>& out) override;
  OrvAtaArea1SenseLogContentQX12& getEntry(u8 index);

 private:
  OrvAtaArea1SenseLogContentQX12* entries[kEntries] = {};
};

// One entry of the unrecovered-error table of the blocks event log.
class OrvAtaArea1UnrecoveredLogsQX12 : public OrvSubBuffer {
 public:
  OrvAtaArea1UnrecoveredLogsQX12(OrvBuffer* owner, u32 offset, u16 logNumber);
  ~OrvAtaArea1UnrecoveredLogsQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& out);
  u16 getLogNumber() const { return logNumber; }

 private:
  OrvAtaArea1Counters fields;
  u16 logNumber;
};

class OrvAtaArea1BlocksEventLogQX12 : public OrvAtaArea1DataQX12 {
 public:
  static constexpr u32 kEntries = 2048;

  OrvAtaArea1BlocksEventLogQX12(OrvBuffer* parent, u32 offset);
  ~OrvAtaArea1BlocksEventLogQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  void collectFields(OrvDevGenData<_OrvDataItem>& out) override;
  u32 getReassignBlocks(u8 index) const;
  u32 getWriteAutoReassignNormal(u8 index) const;
  u32 getWriteAutoReassignServo(u8 index) const;
  u32 getWriteAutoReassignWv(u8 index) const;

 private:
  OrvAtaArea1Counters counters;
  OrvAtaArea1UnrecoveredLogsQX12* entries[kEntries] = {};
};

// The spindle motor current extremes of one temperature zone.
class OrvAtaArea1SPMCurrentForZoneQX12 : public OrvSubBuffer {
 public:
  OrvAtaArea1SPMCurrentForZoneQX12(OrvBuffer* owner, u32 offset, u8 zoneNumber);
  ~OrvAtaArea1SPMCurrentForZoneQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& out);
  u8 getZoneNumber() const { return zoneNumber; }

 private:
  OrvAtaArea1Counters fields;
  u8 zoneNumber;
};

class OrvAtaArea1SpindleMotorCurrentEventQX12 : public OrvAtaArea1DataQX12 {
 public:
  static constexpr u32 kZones = 15;

  OrvAtaArea1SpindleMotorCurrentEventQX12(OrvBuffer* parent, u32 offset);
  ~OrvAtaArea1SpindleMotorCurrentEventQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  void collectFields(OrvDevGenData<_OrvDataItem>& out) override;

 private:
  OrvAtaArea1Counters counters;
  OrvAtaArea1SPMCurrentForZoneQX12* zones[kZones] = {};
};

// One workload record.
class OrvAtaArea1WorkloadLogContentQX12 : public OrvSubBuffer {
 public:
  OrvAtaArea1WorkloadLogContentQX12(OrvBuffer* owner, u32 offset, u8 sectorNumber, u8 logNumber);
  ~OrvAtaArea1WorkloadLogContentQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& out);
  u32 getSeekCountPerHead(u8 head) const;
  // Field 1, which decides whether the record is exported.
  const OrvBufField& getLogNumberField() const;
  u8 getSectorNumber() const { return sectorNumber; }
  u8 getLogNumber() const { return logNumber; }

 private:
  OrvAtaArea1Counters fields;
  u8 sectorNumber;
  u8 logNumber;
};

// 14 workload records. Exporting follows a switch that lives for one
// export: records numbered 0 are exported until the first one of sector 0
// has been.
class OrvAtaArea1WorkloadLogSectorQX12 : public OrvSubBuffer {
 public:
  static constexpr u32 kRecords = 14;

  OrvAtaArea1WorkloadLogSectorQX12(OrvBuffer* owner, u32 offset, u8 sectorNumber);
  ~OrvAtaArea1WorkloadLogSectorQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  // An export of this sector alone, its switch on at the start.
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& out);
  // One sector of a longer export: exportZeroLogNumber is 1 until the first
  // exported zero-numbered record of a sector 0, then 0.
  void collectFields(OrvDevGenData<_OrvDataItem>& out, u8& exportZeroLogNumber);
  OrvAtaArea1WorkloadLogContentQX12& getRecord(u8 index);

 private:
  u8 sectorNumber;
  OrvAtaArea1WorkloadLogContentQX12* records[kRecords] = {};
};

class OrvAtaArea1WorkloadLogsQX12 : public OrvAtaArea1DataQX12 {
 public:
  static constexpr u32 kSectors = 52;

  OrvAtaArea1WorkloadLogsQX12(OrvBuffer* parent, u32 offset);
  ~OrvAtaArea1WorkloadLogsQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  void collectFields(OrvDevGenData<_OrvDataItem>& out) override;
  OrvAtaArea1WorkloadLogSectorQX12& getSector(u8 index);

 private:
  OrvAtaArea1WorkloadLogSectorQX12* sectors[kSectors] = {};
};

// The 18 cylinder and 18 sector values of one zone.
class OrvAtaArea1ZoneLogQX12 : public OrvSubBuffer {
 public:
  static constexpr u32 kValues = 18;

  OrvAtaArea1ZoneLogQX12(OrvBuffer* owner, u32 offset, u8 zoneNumber);
  ~OrvAtaArea1ZoneLogQX12() override;
  static u32 byteLength();

  void print(void* out) override;
  virtual void collectFields(OrvDevGenData<_OrvDataItem>& out);
  const OrvBufField& getCylinder(u8 index) const;
  const OrvBufField& getSector(u8 index) const;

 private:
  std::unique_ptr<OrvBufField> cylinders[kValues];
  std::unique_ptr<OrvBufField> sectors[kValues];
};

class OrvAtaArea1ZoneLogsQX12 : public OrvAtaArea1DataQX12 {
 public:
  static constexpr u32 kZones = 33;

  OrvAtaArea1ZoneLogsQX12(OrvBuffer* parent, u32 offset);
  ~OrvAtaArea1ZoneLogsQX12() override;
  static u32 byteLength();

  // One line of 36 comma-separated values per zone.
  void print(void* out) override;
  void collectFields(OrvDevGenData<_OrvDataItem>& out) override;
  OrvAtaArea1ZoneLogQX12& getZoneLog(u8 zone);

 private:
  OrvAtaArea1ZoneLogQX12* zones[kZones] = {};
};

// ---------------------------------------------------------------- container

// The Area 1 bytes and the seventeen sub-logs over them.
class OrvAtaIntArea1Log : public OrvLogBuffer {
 public:
  static const u32 kLength;
  static constexpr u8 kPageId = 0x24;

  // kLength zeroed bytes.
  explicit OrvAtaIntArea1Log(_OrvByteEndianess order = ORV_LITTLE_ENDIAN);
  // A copy of area1's bytes and byte order; fewer than kLength bytes throw
  // code 7 (a sub-log would run past them).
  explicit OrvAtaIntArea1Log(const OrvBuffer& area1);
  OrvAtaIntArea1Log(const OrvAtaIntArea1Log&) = delete;
  ~OrvAtaIntArea1Log() override;

  // The sub-logs view these bytes: a length other than the current one is
  // refused with code 6, so assignment copies bytes only in place.
  u64 resize(u32 newLength) override;
  // printEventLogs, then printWorkloadLogs; the zone logs are not printed.
  void print(void* out) override;
  void printEventLogs(void* out);
  void printWorkloadLogs(void* out);

  OrvAtaArea1DiskEventLogQX12 diskEventLog;
  OrvAtaArea1CmdEventLogQX12 cmdEventLog;
  OrvAtaArea1RptErrEventLogQX12 rptErrEventLog;
  OrvAtaArea1SenseLogQX12 senseLog;
  OrvAtaArea1SA_EventLogQX12 saEventLog;
  OrvAtaArea1TimeEventLogQX12 timeEventLog;
  OrvAtaArea1BootEventLogQX12 bootEventLog;
  OrvAtaArea1EnvEventLogQX12 envEventLog;
  OrvAtaArea1MicrocodeEventLogQX12 microcodeEventLog;
  OrvAtaArea1PowerEventLogQX12 powerEventLog;
  OrvAtaArea1BlocksEventLogQX12 blocksEventLog;
  OrvAtaArea1WorkloadBaseDataQX12 workloadBaseData;
  OrvAtaArea1SpindleMotorCurrentEventQX12 spindleMotorCurrentEvent;
  OrvAtaArea1MemoryCheckEventLogQX12 memoryCheckEventLog;
  OrvAtaArea1FailurePredictiondataQX12 failurePredictionData;
  OrvAtaArea1WorkloadLogsQX12 workloadLogs;
  OrvAtaArea1ZoneLogsQX12 zoneLogs;

  // Where the sub-log of row 0..16 (declaration order) starts.
  static u32 offsetOf(unsigned row);

 private:
  OrvAtaIntArea1Log(u32 length, _OrvByteEndianess order);
};

}  // namespace VazidaRaduruSataInternal
}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
