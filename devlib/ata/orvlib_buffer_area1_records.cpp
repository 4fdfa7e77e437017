// Area 1 internal log: the sub-logs that own records, and the records.
#include <cstdio>
#include <string>

#include "devlib/ata/orvlib_buffer_area1.h"
#include "devlib/ata/orvlib_buffer_sata.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {
namespace VazidaRaduruSataInternal {

namespace {

using Area1 = OrvAtaArea1DataQX12;

// Deletes every record through its virtual destructor; a null pointer is
// skipped. Only the owner's destructor, or its constructor failing, calls it.
template <typename Record, size_t N>
void releaseAll(Record* (&records)[N]) {
  for (Record* record : records) delete record;
}

// Makes records[i] at offset first + i * Record::byteLength() of owner,
// numbered i; on a failure the records made so far are released.
template <typename Record, size_t N>
void makeAll(Record* (&records)[N], OrvBuffer* owner, u32 first) {
  try {
    for (u32 i = 0; i < N; ++i) records[i] = new Record(owner, first + i * Record::byteLength(), i);
  } catch (...) {
    releaseAll(records);
    throw;
  }
}

// One item per field of a records' table, named prefix + field name, with
// the table's flag.
void collectPrefixed(OrvDevGenData<_OrvDataItem>& out, const OrvAtaArea1Counters& fields,
                     const std::string& prefix) {
  for (u32 e = 0; e < fields.size(); ++e) {
    const OrvBufField& field = fields.field(e);
    out.addItem(_OrvDataItem(prefix + field.getName(), field, 0, fields.entry(e).flag));
  }
}

}  // namespace

// -------------------------------------------------------------- sense log

namespace {

const OrvAtaArea1Entry kSenseEntry[] = {
    {"Time of occurrence (accumulated time) [sec.]", 4},
    {"Time of occurrence (power-on time) [sec.]", 4},
    {"Sense Key", 1, 0, 0, 1},
    {"ASC(Additional Sense Code)", 1, 0, 0, 1},
    {"ASCQ(Additional Sense Code Qualifier)", 1, 0, 0, 1},
    {"Head Number", 1},
    {"Cylinder Number", 4},
    {"Sector Number", 2},
    {"Error LBA (Long LBA)", 8, 0, 0, 1},
    {"Reassign LBA (Long LBA)", 8, 0, 0, 1},
};

constexpr u32 kCdbLength = 16;
constexpr u32 kCdbTextSize = 128;

}  // namespace

OrvAtaArea1SenseLogContentQX12::OrvAtaArea1SenseLogContentQX12(OrvBuffer* owner, u32 offset, u16 entryNumber)
    : OrvSubBuffer(owner, offset, byteLength()),
      fields(this, 0, kSenseEntry, sizeOf(kSenseEntry)),
      cdb(this, fields.endOffset(), kCdbLength),
      entryNumber(entryNumber) {}

OrvAtaArea1SenseLogContentQX12::~OrvAtaArea1SenseLogContentQX12() = default;

u32 OrvAtaArea1SenseLogContentQX12::byteLength() {
  return OrvAtaArea1Counters::byteLength(kSenseEntry, sizeOf(kSenseEntry)) + kCdbLength;
}

std::string OrvAtaArea1SenseLogContentQX12::prefix() const { return Area1::label("Sense Log [%u] : ", entryNumber); }

std::string OrvAtaArea1SenseLogContentQX12::getCdbText() {
  char text[kCdbTextSize] = {};
  u32 used = 0;
  for (int i = kCdbLength - 1; i >= 0; --i) {
    int written = osl_snprintf(text + used, 6, 6, "0x%02X ", cdb[static_cast<u32>(i)]);
    if (written < 0) break;
    used += static_cast<u32>(written);
  }
  return text;
}

void OrvAtaArea1SenseLogContentQX12::print(void* out) {
  std::string label = prefix();
  fields.print(out, label, label);
  osl_fprintf(static_cast<FILE*>(out), "    %-100s: %s\n", (label + "CDB").c_str(), getCdbText().c_str());
}

void OrvAtaArea1SenseLogContentQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  std::string label = prefix();
  collectPrefixed(out, fields, label);
  out.addItem(_OrvDataItem(label + "CDB", getCdbText()));
}

OrvAtaArea1SenseLogQX12::OrvAtaArea1SenseLogQX12(OrvBuffer* parent, u32 offset)
    : OrvAtaArea1DataQX12(parent, offset, byteLength()) {
  makeAll(entries, this, kHeaderLength);
}

OrvAtaArea1SenseLogQX12::~OrvAtaArea1SenseLogQX12() { releaseAll(entries); }

u32 OrvAtaArea1SenseLogQX12::byteLength() {
  return kHeaderLength + kEntries * OrvAtaArea1SenseLogContentQX12::byteLength();
}

void OrvAtaArea1SenseLogQX12::print(void* out) {
  printTitle(out, "Sense Logs");
  for (auto* entry : entries) entry->print(out);
}

void OrvAtaArea1SenseLogQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  out.addItem(_OrvDataItem("Sense Log", ""));
  for (auto* entry : entries) entry->collectFields(out);
}

OrvAtaArea1SenseLogContentQX12& OrvAtaArea1SenseLogQX12::getEntry(u8 index) {
  if (index >= kEntries) throw orvAtaArea1Status(ORV_ERR_INDEX_OUT_OF_BOUND, __LINE__);
  return *entries[index];
}

// ------------------------------------------------------- blocks event log

namespace {

const OrvAtaArea1Entry kUnrecoveredEntry[] = {
    {"Error LBA", 8, 0, 0, 1},
    {"Error CHS(CCCCCCHHSSSSSSSSh)", 8, 0, 0, 1},
    {"Registed Command", 1, 0, 0, 1},
    {"Temperature", 1},
    {"Total Power on time sec - First", 4},
};

const OrvAtaArea1Entry kBlocksEvent[] = {
    {"Total Re-write Count", 8},
    {"Total Re-write Sectors", 8},
    {"Total Re-assign Count", 8},
    {"Total Re-assign Sectors", 8},
    {"(REASSIGN BLOCKS) byte [%u]", 4, 4},
    {"(Write Auto Reassign - Normal) byte [%u]", 4, 4},
    {"(Write Auto Reassign - Servo) byte [%u]", 4, 4},
    {"(Write Auto Reassign - W&V) byte [%u]", 4, 4},
    {"Unrecovered Log Max Entries(2048=08000h)", 8},
    {"Total Used Entries(Update to current entries)", 8},
};

}  // namespace

OrvAtaArea1UnrecoveredLogsQX12::OrvAtaArea1UnrecoveredLogsQX12(OrvBuffer* owner, u32 offset, u16 logNumber)
    : OrvSubBuffer(owner, offset, byteLength()),
      fields(this, 0, kUnrecoveredEntry, sizeOf(kUnrecoveredEntry)),
      logNumber(logNumber) {}

OrvAtaArea1UnrecoveredLogsQX12::~OrvAtaArea1UnrecoveredLogsQX12() = default;

u32 OrvAtaArea1UnrecoveredLogsQX12::byteLength() {
  return OrvAtaArea1Counters::byteLength(kUnrecoveredEntry, sizeOf(kUnrecoveredEntry));
}

void OrvAtaArea1UnrecoveredLogsQX12::print(void* out) {
  std::string prefix = Area1::label("Un-recovered log [%u]: ", logNumber);
  fields.print(out, prefix, prefix);
}

void OrvAtaArea1UnrecoveredLogsQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  std::string prefix = Area1::label("Log [%u] ", logNumber);
  for (u32 e = 0; e < fields.size(); ++e) {
    const OrvBufField& field = fields.field(e);
    out.addItem(_OrvDataItem(prefix + field.getName(), field.getValue(), 0, fields.entry(e).flag));
  }
}

OrvAtaArea1BlocksEventLogQX12::OrvAtaArea1BlocksEventLogQX12(OrvBuffer* parent, u32 offset)
    : OrvAtaArea1DataQX12(parent, offset, byteLength()),
      counters(this, kHeaderLength, kBlocksEvent, sizeOf(kBlocksEvent)) {
  makeAll(entries, this, counters.endOffset());
}

OrvAtaArea1BlocksEventLogQX12::~OrvAtaArea1BlocksEventLogQX12() { releaseAll(entries); }

u32 OrvAtaArea1BlocksEventLogQX12::byteLength() {
  return kHeaderLength + OrvAtaArea1Counters::byteLength(kBlocksEvent, sizeOf(kBlocksEvent)) +
         kEntries * OrvAtaArea1UnrecoveredLogsQX12::byteLength();
}

void OrvAtaArea1BlocksEventLogQX12::print(void* out) {
  printCounters(out, false, "Blocks Event Logs", counters);
  for (auto* entry : entries) entry->print(out);
}

void OrvAtaArea1BlocksEventLogQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  collectCounters(out, false, "Blocks Event Log", counters);
  for (auto* entry : entries) entry->collectFields(out);
}

u32 OrvAtaArea1BlocksEventLogQX12::getReassignBlocks(u8 index) const {
  return static_cast<u32>(counters.element(4, index, 0, __LINE__));
}
u32 OrvAtaArea1BlocksEventLogQX12::getWriteAutoReassignNormal(u8 index) const {
  return static_cast<u32>(counters.element(5, index, 0, __LINE__));
}
u32 OrvAtaArea1BlocksEventLogQX12::getWriteAutoReassignServo(u8 index) const {
  return static_cast<u32>(counters.element(6, index, 0, __LINE__));
}
u32 OrvAtaArea1BlocksEventLogQX12::getWriteAutoReassignWv(u8 index) const {
  return static_cast<u32>(counters.element(7, index, 0, __LINE__));
}

// ------------------------------------------- spindle motor current event

namespace {

const OrvAtaArea1Entry kSpmZone[] = {
    {"Time stamp when detecting the highest current", 4},
    {"Highest Current value", 2},
    {"Voltage value when detecting the highest current", 2},
    {"Time stamp when detecting the lowest current", 4},
    {"Lowest Current value", 2},
    {"Voltage value when detecting the lowest current", 2},
};

const OrvAtaArea1Entry kSpindleMotorCurrent[] = {
    {"Maximum Current value", 8},
    {"Time Stamp - detection Maximum Current Value", 8},
    {"Time Stamp - detection an excess of Current value slice", 8},
    {"Maximum Current value differece", 8},
    {"Time Stamp - detection Maximum Current difference", 8},
    {"Time Stamp - detection an excess of Current value difference slice", 8},
    {"Maximum Difference Value Sum", 8},
    {"Time Stamp - detection Maximum Difference Value Sum", 8},
    {"Time Stamp - detection an excess of Difference Value Sum Slice", 8},
    {"Recent SA write offtrack error heads data", 8},
    {"Error heads data when number of SA write offtrack error heads", 8},
    {"Timestamp when number of SA write offtrack error heads", 8},
};

}  // namespace

OrvAtaArea1SPMCurrentForZoneQX12::OrvAtaArea1SPMCurrentForZoneQX12(OrvBuffer* owner, u32 offset, u8 zoneNumber)
    : OrvSubBuffer(owner, offset, byteLength()), fields(this, 0, kSpmZone, sizeOf(kSpmZone)), zoneNumber(zoneNumber) {}

OrvAtaArea1SPMCurrentForZoneQX12::~OrvAtaArea1SPMCurrentForZoneQX12() = default;

u32 OrvAtaArea1SPMCurrentForZoneQX12::byteLength() {
  return OrvAtaArea1Counters::byteLength(kSpmZone, sizeOf(kSpmZone));
}

void OrvAtaArea1SPMCurrentForZoneQX12::print(void* out) {
  std::string prefix = Area1::label("Temp Zone [%u] : ", zoneNumber);
  fields.print(out, prefix, prefix);
}

void OrvAtaArea1SPMCurrentForZoneQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  collectPrefixed(out, fields, Area1::label("Temp Zone [%u] : ", zoneNumber));
}

OrvAtaArea1SpindleMotorCurrentEventQX12::OrvAtaArea1SpindleMotorCurrentEventQX12(OrvBuffer* parent, u32 offset)
    : OrvAtaArea1DataQX12(parent, offset, byteLength()),
      counters(this, kHeaderLength, kSpindleMotorCurrent, sizeOf(kSpindleMotorCurrent)) {
  makeAll(zones, this, counters.endOffset());
}

OrvAtaArea1SpindleMotorCurrentEventQX12::~OrvAtaArea1SpindleMotorCurrentEventQX12() { releaseAll(zones); }

u32 OrvAtaArea1SpindleMotorCurrentEventQX12::byteLength() {
  return kHeaderLength + OrvAtaArea1Counters::byteLength(kSpindleMotorCurrent, sizeOf(kSpindleMotorCurrent)) +
         kZones * OrvAtaArea1SPMCurrentForZoneQX12::byteLength();
}

void OrvAtaArea1SpindleMotorCurrentEventQX12::print(void* out) {
  printCounters(out, false, "Spindle Motor Current Event", counters);
  for (auto* zone : zones) zone->print(out);
}

void OrvAtaArea1SpindleMotorCurrentEventQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  collectCounters(out, false, "Spindle Motor Current Event Log", counters);
  for (auto* zone : zones) zone->collectFields(out);
}

// ---------------------------------------------------------- workload logs

namespace {

const OrvAtaArea1Entry kWorkloadRecord[] = {
    {"Log Number", 4},
    {"Time of a measurement start [sec.]", 4},
    {"Poweron Count", 4},
    {"Low RPM time [min.]", 4},
    {"Throttle time[min]", 4},
    {"Process IDLE Time [sec.]", 4},
    {"Process IDLE Time with Standby (motor not ready) [sec.]", 4},
    {"IDLE time [min.]", 4},
    {"Process IDLE Time with Standby (motor not ready) [sec.]", 4},
    {"Standby Time percentage / PORT", 4},
    {"Number of LBAs read", 4},
    {"Number of LBAs write", 4},
    {"Number of LBAs specified for Read Type Commands", 4},
    {"Number of LBAs specified for Write Type Commands", 4},
    {"Number of READ commands", 4},
    {"Number of WRITE commands", 4},
    {"Number of WRITE AND VERIFY commands", 4},
    {"Number of Random Read Commands", 4},
    {"Number of Random Write Commands", 4},
    {"Number of read seeks", 4},
    {"Number of write seeks", 4},
    {"Number of reads exceeding default error recovery limit", 4},
    {"Number of writes exceeding default error recovery limit", 4},
    {"Number of unrecoverable read errors", 4},
    {"Number of unrecoverable write errors", 4},
    {"Number of other commands", 4},
    {"Number of task management operation", 4},
    {"Maximum temperature", 4},
    {"Minimum temperature", 4},
    {"Maximum 12V voltage", 4},
    {"Minimum 12V voltage", 4},
    {"Maximum 5V voltage", 4},
    {"Minimum 5V voltage", 4},
    {"Starting SPM current", 4},
    {"Power State when measured starting SPM current", 4},
    {"Temperature when measured starting SPM current", 4},
    {"12V voltage when measured starting SPM current", 4},
    {"Maximum SPM current", 4},
    {"Raw data when measured Maximum SPM current", 4},
    {"Temperature when detected Maximum SPM current", 4},
    {"12V voltage when measured Maximum SPM current", 4},
    {"Minimum SPM current", 4},
    {"Raw data when measured Minimum SPM current", 4},
    {"Temperature when measured Minimum SPM current", 4},
    {"12V voltage when measured Minimum SPM current", 4},
    {"Slope value for He leak", 4},
    {"Fly Height when Power On [nm]", 4},
    {"Fly Height [nm]", 4},
    {"Fly Height Measured Head Number", 4},
    {"Temperature when measured Fly Height [℃]", 4},
    {"VMM value", 4},
    {"VMM Measured Head Number", 4},
    {"RV max value", 4},
    {"RV average value", 4},
    {"LV max value", 4},
    {"LV average value", 4},
    {"Temperature and humidity sensor – Temperature [unit 0.1℃]", 4},
    {"Temperature and humidity sensor – Relative Humidity [unit 0.1%]", 4},
    {"Average Fly Height for He leak [nm]", 4},
    {"Head Number of DSA calibration carried out periodically", 4},
    {"Head Number of DSA calibration carried out periodically", 4},
    {"12V voltage of DSA calibration carried out periodically", 4},
    {"Gain of DSA calibration carried out periodically", 4},
    {"Phase of DSA calibration carried out periodically", 4},
    {"Drive Health check – Head Numer", 4},
    {"Drive Health check – Result", 4},
    {"Drive Health check – Average VMM value", 4},
    {"Drive Health check – Max VMM value", 4},
    {"Drive Health check – Delta VMM value", 4},
    {"Seek Count Per Head [%u]", 2, 18},
    {"Shock count over 1.5G during media write access", 4},
    {"Motor Start Count", 4},
};

constexpr u32 kSeekCountEntry = 69;
constexpr u32 kEmptyLogNumber = 0xFFFFFFFFu;

}  // namespace

OrvAtaArea1WorkloadLogContentQX12::OrvAtaArea1WorkloadLogContentQX12(OrvBuffer* owner, u32 offset, u8 sectorNumber,
                                                                     u8 logNumber)
    : OrvSubBuffer(owner, offset, byteLength()),
      fields(this, 0, kWorkloadRecord, sizeOf(kWorkloadRecord)),
      sectorNumber(sectorNumber),
      logNumber(logNumber) {}

OrvAtaArea1WorkloadLogContentQX12::~OrvAtaArea1WorkloadLogContentQX12() = default;

u32 OrvAtaArea1WorkloadLogContentQX12::byteLength() {
  return OrvAtaArea1Counters::byteLength(kWorkloadRecord, sizeOf(kWorkloadRecord));
}

u32 OrvAtaArea1WorkloadLogContentQX12::getSeekCountPerHead(u8 head) const {
  return static_cast<u32>(fields.element(kSeekCountEntry, head, 0, __LINE__));
}

const OrvBufField& OrvAtaArea1WorkloadLogContentQX12::getLogNumberField() const { return fields.field(0); }

void OrvAtaArea1WorkloadLogContentQX12::print(void* out) {
  std::string label = Area1::label("Workload Sector [%u] Log [%u] : ", sectorNumber, logNumber);
  osl_fprintf(static_cast<FILE*>(out), "\n");
  fields.print(out, label, label + " ");
}

void OrvAtaArea1WorkloadLogContentQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  out.addItem(_OrvDataItem(Area1::label("Sector Number [%u] Log Number [%u]", sectorNumber, logNumber), ""));
  fields.collect(out);
}

OrvAtaArea1WorkloadLogSectorQX12::OrvAtaArea1WorkloadLogSectorQX12(OrvBuffer* owner, u32 offset, u8 sectorNumber)
    : OrvSubBuffer(owner, offset, byteLength()), sectorNumber(sectorNumber) {
  try {
    for (u32 i = 0; i < kRecords; ++i)
      records[i] = new OrvAtaArea1WorkloadLogContentQX12(
          this, i * OrvAtaArea1WorkloadLogContentQX12::byteLength(), sectorNumber, static_cast<u8>(i));
  } catch (...) {
    releaseAll(records);
    throw;
  }
}

OrvAtaArea1WorkloadLogSectorQX12::~OrvAtaArea1WorkloadLogSectorQX12() { releaseAll(records); }

u32 OrvAtaArea1WorkloadLogSectorQX12::byteLength() {
  return kRecords * OrvAtaArea1WorkloadLogContentQX12::byteLength();
}

void OrvAtaArea1WorkloadLogSectorQX12::print(void* out) {
  for (auto* record : records) record->print(out);
}

void OrvAtaArea1WorkloadLogSectorQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  u8 exportZeroLogNumber = 1;
  collectFields(out, exportZeroLogNumber);
}

void OrvAtaArea1WorkloadLogSectorQX12::collectFields(OrvDevGenData<_OrvDataItem>& out, u8& exportZeroLogNumber) {
  for (auto* record : records) {
    u64 logNumber = record->getLogNumberField().getValue();
    if (logNumber == kEmptyLogNumber) continue;
    if (exportZeroLogNumber == 1) {
      record->collectFields(out);
      if (exportZeroLogNumber == 1 && sectorNumber == 0 && logNumber == 0) exportZeroLogNumber = 0;
    } else if (exportZeroLogNumber == 0 && logNumber != 0) {
      record->collectFields(out);
    }
  }
}

OrvAtaArea1WorkloadLogContentQX12& OrvAtaArea1WorkloadLogSectorQX12::getRecord(u8 index) {
  if (index >= kRecords) throw orvAtaArea1Status(ORV_ERR_INDEX_OUT_OF_BOUND, __LINE__);
  return *records[index];
}

OrvAtaArea1WorkloadLogsQX12::OrvAtaArea1WorkloadLogsQX12(OrvBuffer* parent, u32 offset)
    : OrvAtaArea1DataQX12(parent, offset, byteLength()) {
  makeAll(sectors, this, kHeaderLength);
}

OrvAtaArea1WorkloadLogsQX12::~OrvAtaArea1WorkloadLogsQX12() { releaseAll(sectors); }

u32 OrvAtaArea1WorkloadLogsQX12::byteLength() {
  return kHeaderLength + kSectors * OrvAtaArea1WorkloadLogSectorQX12::byteLength();
}

void OrvAtaArea1WorkloadLogsQX12::print(void* out) {
  printTitle(out, "Workload Logs");
  for (auto* sector : sectors) sector->print(out);
  osl_fprintf(static_cast<FILE*>(out), "\n");
}

void OrvAtaArea1WorkloadLogsQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  u8 exportZeroLogNumber = 1;
  for (auto* sector : sectors) sector->collectFields(out, exportZeroLogNumber);
}

OrvAtaArea1WorkloadLogSectorQX12& OrvAtaArea1WorkloadLogsQX12::getSector(u8 index) {
  if (index >= kSectors) throw orvAtaArea1Status(ORV_ERR_INDEX_OUT_OF_BOUND, __LINE__);
  return *sectors[index];
}

// -------------------------------------------------------------- zone logs

namespace {

constexpr u32 kZoneValueWidth = 4;

}  // namespace

OrvAtaArea1ZoneLogQX12::OrvAtaArea1ZoneLogQX12(OrvBuffer* owner, u32 offset, u8 zoneNumber)
    : OrvSubBuffer(owner, offset, byteLength()) {
  for (u32 j = 0; j < kValues; ++j) {
    cylinders[j].reset(new OrvBufField(data, j * kZoneValueWidth, 0, 31,
                                       Area1::label("Zone [%u] Cylinder [%u]", zoneNumber, j), byteOrder));
    sectors[j].reset(new OrvBufField(data, (kValues + j) * kZoneValueWidth, 0, 31,
                                     Area1::label("Zone [%u] Sector [%u]", zoneNumber, j), byteOrder));
  }
}

OrvAtaArea1ZoneLogQX12::~OrvAtaArea1ZoneLogQX12() = default;

u32 OrvAtaArea1ZoneLogQX12::byteLength() { return 2 * kValues * kZoneValueWidth; }

const OrvBufField& OrvAtaArea1ZoneLogQX12::getCylinder(u8 index) const {
  if (index >= kValues) throw orvAtaArea1Status(ORV_ERR_INDEX_OUT_OF_BOUND, __LINE__);
  return *cylinders[index];
}

const OrvBufField& OrvAtaArea1ZoneLogQX12::getSector(u8 index) const {
  if (index >= kValues) throw orvAtaArea1Status(ORV_ERR_INDEX_OUT_OF_BOUND, __LINE__);
  return *sectors[index];
}

void OrvAtaArea1ZoneLogQX12::print(void* out) {
  osl_fprintf(static_cast<FILE*>(out), "\n");
  for (auto& field : cylinders) Area1::printLine(out, field->getName(), field->getValue());
  for (auto& field : sectors) Area1::printLine(out, field->getName(), field->getValue());
}

void OrvAtaArea1ZoneLogQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  for (auto& field : cylinders) out.addItem(_OrvDataItem(*field));
  for (auto& field : sectors) out.addItem(_OrvDataItem(*field));
}

OrvAtaArea1ZoneLogsQX12::OrvAtaArea1ZoneLogsQX12(OrvBuffer* parent, u32 offset)
    : OrvAtaArea1DataQX12(parent, offset, byteLength()) {
  makeAll(zones, this, kHeaderLength);
}

OrvAtaArea1ZoneLogsQX12::~OrvAtaArea1ZoneLogsQX12() { releaseAll(zones); }

u32 OrvAtaArea1ZoneLogsQX12::byteLength() { return kHeaderLength + kZones * OrvAtaArea1ZoneLogQX12::byteLength(); }

void OrvAtaArea1ZoneLogsQX12::print(void* out) {
  for (auto* zone : zones) {
    std::string line;
    for (u8 j = 0; j < OrvAtaArea1ZoneLogQX12::kValues; ++j)
      line += std::to_string(zone->getCylinder(j).getValue()) + ",";
    for (u8 j = 0; j < OrvAtaArea1ZoneLogQX12::kValues; ++j)
      line += std::to_string(zone->getSector(j).getValue()) + (j + 1u < OrvAtaArea1ZoneLogQX12::kValues ? "," : "\n");
    osl_fprintf(static_cast<FILE*>(out), "%s", line.c_str());
  }
}

void OrvAtaArea1ZoneLogsQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) {
  for (u32 z = 0; z < kZones; ++z) {
    for (u8 j = 0; j < OrvAtaArea1ZoneLogQX12::kValues; ++j)
      out.addItem(_OrvDataItem("Cylinder [" + std::to_string(j) + "]", zones[z]->getCylinder(j).getValue(),
                               (z + 1) * 65536 + (j + 1u) * 256, 0));
    for (u8 j = 0; j < OrvAtaArea1ZoneLogQX12::kValues; ++j)
      out.addItem(_OrvDataItem("Sector [" + std::to_string(j) + "]", zones[z]->getSector(j).getValue(),
                               (z + 1) * 65536 + (j + 1u), 0));
  }
}

OrvAtaArea1ZoneLogQX12& OrvAtaArea1ZoneLogsQX12::getZoneLog(u8 zone) {
  if (zone >= kZones) throw orvAtaArea1Status(ORV_ERR_INDEX_OUT_OF_BOUND, __LINE__);
  return *zones[zone];
}

}  // namespace VazidaRaduruSataInternal
}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
