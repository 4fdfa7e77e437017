// Area 1 internal log: the layout engine, the sub-log base, the sub-logs made
// only of counters, and the container.
#include "devlib/ata/orvlib_buffer_area1.h"

#include <cstdio>
#include <iterator>

#include "devlib/ata/orvlib_buffer_sata.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {
namespace VazidaRaduruSataInternal {

namespace {

constexpr u32 kLabelSize = 256;
constexpr u32 kPageSize = 512;

u32 elementsOf(const OrvAtaArea1Entry& e) { return e.rows * (e.columns ? e.columns : 1u); }

u32 bytesOf(const OrvAtaArea1Entry& e) { return e.rows ? elementsOf(e) * e.width : e.width; }

}  // namespace

// ------------------------------------------------------ OrvAtaArea1Counters

OrvAtaArea1Counters::OrvAtaArea1Counters(OrvBuffer* window, u32 offset, const OrvAtaArea1Entry* table, u32 count)
    : table(table), count(count), end(offset) {
  for (u32 e = 0; e < count; ++e) {
    const OrvAtaArea1Entry& entry = table[e];
    if (entry.rows) {
      slot.push_back(static_cast<u32>(arrays.size()));
      arrays.emplace_back(new OrvSubBuffer(window, end, bytesOf(entry)));
    } else {
      // A field past the window would read foreign bytes: refuse it as a
      // window would.
      if (static_cast<u64>(end) + entry.width > window->getLength())
        throw orvAtaArea1Status(ORV_ERR_INDEX_OUT_OF_BOUND, __LINE__);
      slot.push_back(static_cast<u32>(fields.size()));
      fields.emplace_back(window->getBuffer(), end, 0, static_cast<u8>(entry.width * 8 - 1), entry.name,
                          window->getEndianess());
    }
    end += bytesOf(entry);
  }
}

OrvAtaArea1Counters::~OrvAtaArea1Counters() {
  while (!arrays.empty()) arrays.pop_back();
  while (!fields.empty()) fields.pop_back();
}

u32 OrvAtaArea1Counters::byteLength(const OrvAtaArea1Entry* table, u32 count) {
  u32 length = 0;
  for (u32 e = 0; e < count; ++e) length += bytesOf(table[e]);
  return length;
}

void OrvAtaArea1Counters::print(void* out, const std::string& fieldPrefix, const std::string& arrayPrefix) const {
  for (u32 e = 0; e < count; ++e) {
    const OrvAtaArea1Entry& entry = table[e];
    if (!entry.rows) {
      const OrvBufField& f = field(e);
      OrvAtaArea1DataQX12::printLine(out, fieldPrefix + f.getName(), f.getValue());
      continue;
    }
    for (u32 i = 0; i < entry.rows; ++i)
      for (u32 j = 0; j < (entry.columns ? entry.columns : 1u); ++j)
        OrvAtaArea1DataQX12::printLine(out, arrayPrefix + OrvAtaArea1DataQX12::label(entry.name, i, j),
                                       element(e, i, j, __LINE__));
  }
}

void OrvAtaArea1Counters::collect(OrvDevGenData<_OrvDataItem>& out) const {
  for (u32 e = 0; e < count; ++e) {
    const OrvAtaArea1Entry& entry = table[e];
    if (!entry.rows) {
      out.addItem(_OrvDataItem(field(e)));
      continue;
    }
    for (u32 i = 0; i < entry.rows; ++i)
      for (u32 j = 0; j < (entry.columns ? entry.columns : 1u); ++j)
        out.addItem(_OrvDataItem(OrvAtaArea1DataQX12::label(entry.name, i, j), element(e, i, j, __LINE__), 0, 0));
  }
}

u64 OrvAtaArea1Counters::element(u32 e, u32 i, u32 j, u32 line) const {
  const OrvAtaArea1Entry& entry = table[e];
  u32 columns = entry.columns ? entry.columns : 1u;
  if (i >= entry.rows || j >= columns) throw orvAtaArea1Status(ORV_ERR_INDEX_OUT_OF_BOUND, line);
  OrvSubBuffer& bytes = *arrays[slot[e]];
  u32 at = (i * columns + j) * entry.width;
  switch (entry.width) {
    case 1:
      return bytes.byte(at, 0, 8).getValue();
    case 2:
      return bytes.word(at, 0, 16).getValue();
    case 4:
      return bytes.dword(at, 0, 32).getValue();
    default:
      return bytes.qword(at, 0, 64).getValue();
  }
}

// ------------------------------------------------------ OrvAtaArea1DataQX12

OrvAtaArea1DataQX12::OrvAtaArea1DataQX12(OrvBuffer* parent, u32 offset, u32 length)
    : OrvSubBuffer(parent, offset, length), category(data, 0, 0, 31, "Data log category", byteOrder) {}

OrvAtaArea1DataQX12::~OrvAtaArea1DataQX12() = default;

void OrvAtaArea1DataQX12::print(void* out) { printLine(out, category.getName(), category.getValue()); }

void OrvAtaArea1DataQX12::collectFields(OrvDevGenData<_OrvDataItem>& out) { out.addItem(_OrvDataItem(category)); }

void OrvAtaArea1DataQX12::printLine(void* out, const std::string& label, u64 value) {
  osl_fprintf(static_cast<FILE*>(out), "    %-100s: %llu\n", label.c_str(), static_cast<unsigned long long>(value));
}

void OrvAtaArea1DataQX12::printTitle(void* out, const char* title) {
  osl_fprintf(static_cast<FILE*>(out), "\n\n    %s\n\n", title);
}

std::string OrvAtaArea1DataQX12::label(const char* format, unsigned first, unsigned second) {
  char text[kLabelSize] = {};
  osl_snprintf(text, kLabelSize, kLabelSize, format, first, second);
  return text;
}

void OrvAtaArea1DataQX12::printCounters(void* out, bool withBase, const char* title,
                                        const OrvAtaArea1Counters& counters) {
  if (withBase) OrvAtaArea1DataQX12::print(out);
  printTitle(out, title);
  counters.print(out);
}

void OrvAtaArea1DataQX12::collectCounters(OrvDevGenData<_OrvDataItem>& out, bool withBase, const char* title,
                                          const OrvAtaArea1Counters& counters) {
  if (withBase) OrvAtaArea1DataQX12::collectFields(out);
  out.addItem(_OrvDataItem(title, ""));
  counters.collect(out);
}

// ---------------------------------------------------------- counter tables

namespace {

const OrvAtaArea1Entry kDiskEvent[] = {
    {"The total number of blocks read", 8},
    {"The total number of blocks write", 8},
    {"The total number of seek", 8},
    {"Head by Read number of times [%u]", 8, 18},
    {"Head by Write number of times [%u]", 8, 18},
    {"Head by Seek number of times [%u]", 8, 18},
    {"Seek Length by Write Seek number of times [%u]", 8, 16},
    {"Seek Length by Read Seek number of times [%u]", 8, 16},
    {"Head/Zone by Read number of times [%u:%u]", 8, 18, 32},
    {"Head/Zone by Write number of times [%u:%u]", 8, 18, 32},
    {"Total read errors on a per retry step basis [%u]", 4, 128},
    {"Total write errors on a per retry step basis [%u]", 4, 128},
    {"Total seek errors on a per retry step basis [%u]", 4, 32},
    {"Head by Total read errors on a per retry step basis [%u:%u]", 4, 18, 128},
    {"Head by Total write errors on a per retry step basis [%u:%u]", 4, 18, 128},
    {"Head by Total seek errors on a per retry step basis [%u:%u]", 4, 18, 32},
    {"Read Offtrack Error count by each head [%u]", 4, 18},
    {"Write Offtrack Error count by each head [%u]", 4, 18},
    {"Read Offtrack Error count by each zone [%u]", 4, 32},
    {"Write Offtrack Error count by each zone [%u]", 4, 32},
    {"Number of Write-Offtrack errors by seek difference [%u]", 4, 16},
    {"Relief Count of Offset Read for Forward", 8},
    {"Relief Count of Offset Read for Reverse", 8},
    {"Error Count of 03-15-01(E9)", 8},
    {"Error Count of 04-44-A3", 8},
    {"Error Count of LBA Mismatch", 8},
    {"Error Count of NOSB", 8},
    {"Error Count of NRF of Read", 8},
    {"Error Count of NRF of Write", 8},
    {"Error Count of RG/SG active of Read", 8},
    {"Error Count of ECC Uncorrectable of Read", 8},
    {"Error Count of Positioning of Read", 8},
    {"Error Count of Write UnSafe of Write", 8},
    {"Error Count of Write Offtrack of Write", 8},
    {"Error Count of Other of Read", 8},
    {"Error Count of Other of Write", 8},
    {"Error Count of Sector mismatch", 8},
    {"HardWare Error Count of FMT", 8},
    {"HardWare Error Count of 04-44-A3", 8},
    {"HardWare Error Count of DSP", 8},
    {"HardWare Error Count of Other", 8},
    {"SpinUp Initial Ontrack Processing time", 8},
    {"SpinUp Initial Ontrack Detection time", 8},
    {"Initial Ontrack Ready Processing time", 8},
    {"Initial Ontrack Ready Detection time", 8},
    {"Detected Time of Temperature sensor failure", 8},
    {"Detected Value of Temperature sensor", 8},
    {"Count of DSP Initialize", 8},
    {"Total throttle Time of Low Profile", 8},
    {"Unload Count of Seek Error of DSP", 8},
    {"G-Sensor Information", 8},
    {"Acquisition Time of G-Sensor Information", 8},
    {"DC Motor start-up times", 8},
    {"Error Count of 04-44-A8", 8},
    {"HardWare Error Count of 04-44-A8", 8},
    {"Shock detection Histogram [%u]", 2, 6},
};

const OrvAtaArea1Entry kCmdEvent[] = {
    {"Total Read type command receive", 8},
    {"Total Write type command receive", 8},
    {"Number of Random Reads", 8},
    {"Number of Random Writes", 8},
    {"Total read blocks (for WorkLoad)", 8},
    {"Total write blocks (for WorkLoad)", 8},
    {"Total verify blocks", 8},
    {"Head by total verify blocks [%u]", 8, 18},
    {"Number of verify error user retry", 8},
    {"The number of execution by STOP UNIT", 8},
    {"The number of Stop Unit into Stopped/Standby State", 8},
    {"The number of Stop Unit into Idle State", 8},
    {"Number of execution by WRITE BUFFER (DL)", 8},
    {"Number of execution of Log Clear", 8},
    {"Time Stamp - execution of Log Clear[sec.]", 8},
    {"Number of FORMAT UNIT command receive", 8},
    {"Number of P-List without format", 8},
};

const OrvAtaArea1Entry kRptErrEvent[] = {
    {"Number of write unrecovered error", 8},
    {"Number of write recovered error", 8},
    {"Number of write unrecovered error which did not reach the user retry step", 8},
    {"Time stamp - most recent unrecovered error on Write commands [sec.]", 8},
    {"Number of read unrecovered error", 8},
    {"Number of read recovered error", 8},
    {"Number of read unrecovered error which did not reach the user retry step", 8},
    {"Time stamp - most recent unrecovered error on Read (0x24) commands [sec.]", 8},
    {"Time stamp - most recent unrecovered error on Read (0x28) commands [sec.]", 8},
    {"Number of verify unrecovered error", 8},
    {"Number of verify unrecovered error which did not reach the user retry step", 8},
    {"Time stamp - most recent unrecovered error on Verify (0x34) commands [sec.]", 8},
    {"Time stamp - most recent unrecovered error on Verify (0x38) commands [sec.]", 8},
};

const OrvAtaArea1Entry kSaEvent[] = {
    {"Physical Head by multiplicity read number of times [%u]", 4, 18},
    {"Physical Head by multiplicity read error number of times [%u]", 4, 18},
    {"Physical Head by multiplicity write number of times [%u]", 4, 18},
    {"Physical Head by multiplicity write error number of times [%u]", 4, 18},
    {"Total SA ATI Rewrite process", 8},
    {"Total of error while SA ATI Rewrite process", 8},
    {"Total SA ATI Scan process", 8},
    {"Total retry-out count while SA ATI Scan process", 8},
    {"Number of execution of SA ATI Rewrite per Head [%u]", 4, 18},
    {"Number of error while SA ATI Rewrite per Head [%u]", 4, 18},
    {"Number of execution of SA ATI Scan per Head [%u]", 4, 18},
    {"Number of retry-out while SA ATI Scan per Head [%u]", 4, 18},
};

const OrvAtaArea1Entry kTimeEvent[] = {
    {"Accumulated Powr On Time", 8},
};

const OrvAtaArea1Entry kBootEvent[] = {
    {"Power On Count", 8},
    {"Power On Count Without Firmware DownLoad", 8},
    {"Power Off Retract Count", 8},
    {"Max Spin Up to Initial Ontrac Process Time", 8},
    {"Max Spin Up to Initial Ontrac Process Time", 8},
    {"Max Spin Up to Initial Ontrac Process Time", 8},
    {"Time Stamp Of Max Spin Up to Initial Ontrac Process Time", 8},
    {"Max Initial Ontrack Ready Process Time", 8},
    {"Time Stamp Of Max Init Ontrack Ready Processs Time", 8},
};

const OrvAtaArea1Entry kEnvEvent[] = {
    {"Highest temperature from shipment", 8},
    {"Lowest temperature from shipment", 8},
    {"Highest 12V voltage from shipment", 8},
    {"Lowest 12V voltage from shipment", 8},
    {"Highest 5V voltage from shipment", 8},
    {"Lowest 5V voltage from shipment", 8},
    {"Time stamp that detected highest temperature from shipment", 8},
    {"Time stamp that detected lowest temperature from shipment", 8},
    {"Time stamp that detected highest 12V voltage from shipment", 8},
    {"Time stamp that detected lowest 12V voltage from shipment", 8},
    {"Time stamp that detected highest 5V voltage from shipment", 8},
    {"Time stamp that detected lowest 5V voltage from shipment", 8},
    {"Highest temperature from power on", 8},
    {"Lowest temperature from power on", 8},
    {"Highest 12V voltage from power on", 8},
    {"Lowest 12V voltage from power on", 8},
    {"Time stamp that detected highest temperature from power on", 8},
    {"Time stamp that detected lowest temperature from power on", 8},
    {"Time stamp that detected highest 12V voltage from power on", 8},
    {"Time stamp that detected lowest 12V voltage from power on", 8},
    {" Times worked in an excess of a temperature threshold", 8},
    {"Total time for Over Maximum Operating Temperature in Life Time", 8},
    {"Total time for Over Minimum Operating Temperature in Life Time", 8},
    {"Total time for Over Maximum Operating Temperature in current power on", 8},
    {"Total time for Over Minimum Operating Temperature in current power on", 8},
};

const OrvAtaArea1Entry kMicrocodeEvent[] = {
    {"Cumulative FW FROM Write Failure Time", 8},
    {"Cumulative FW FROM Recovery Failure Time", 8},
    {"Cumulative FW FROM Recovery Success Time", 8},
    {"Cumulative FW FROM/SA Recovery Success Time", 8},
    {"Number of FW Download", 8},
    {"Number of FW Download(FROM) Failures", 8},
    {"Number of FW Download(FROM) Failures after recovery code execution", 8},
    {"Number of FW Download(FROM) Success after recovery code execution", 8},
    {"Number of FW Download(FROM) Success", 8},
    {"Number of FW Download FROM write Failures", 8},
    {"Number of FW Download SA write Failures", 8},
    {"Number of FW Signiture Certification Failures", 8},
    {"Number of CRC Check Failures", 8},
};

const OrvAtaArea1Entry kPowerEvent[] = {
    {"Current Power State", 8},
    {"Unload Count of accumulated transitions to IdleB", 8},
    {"Unload Count of accumulated transitions to IdleC", 8},
    {"Unload Count of accumulated transitions to StandbyY", 8},
    {"Unload Count of accumulated transitions to StandbyZ", 8},
    {"Unload Count of accumulated transitions to Stopped", 8},
    {"Total Count of accumulated transitions to IdleA", 8},
    {"Total Count of accumulated transitions to IdleB", 8},
    {"Total Count of accumulated transitions to IdleC", 8},
    {"Total Count of accumulated transitions to StandbyZ", 8},
    {"Total Count of accumulated transitions to StandbyY", 8},
    {"Total Count of accumulated transitions to Active", 8},
    {"Total Time of IdleA", 8},
    {"Total Time of IdleB", 8},
    {"Total Time of IdleC", 8},
    {"Total Time of StandbyZ", 8},
    {"Total Time of StandbyY", 8},
    {"Total Time of Active", 8},
    {"Total Count of accumulated transitions to Standby by Unload", 8},
    {"Total Count of accumulated transitions to Idle by Unload", 8},
    {"Total Idle Time", 8},
    {"Total Standby Time", 8},
    {"Total Sleep Time", 8},
};

const OrvAtaArea1Entry kWorkloadBase[] = {
    {"Next storing log number", 8},
};

const OrvAtaArea1Entry kMemoryCheckEvent[] = {
    {"Correction Count at SRAM part", 8},
    {"Correction Count at DBA part", 8},
    {"Correction Count at R/W Data part", 8},
};

const OrvAtaArea1Entry kFailurePrediction[] = {
    {"Time Stamp to detect Failure Prediction", 8},
    {"Time Stamp to detect Temperature Alerm", 8},
};

}  // namespace

// A class of counters only: table, whether the base field shows, the two
// titles.
#define ORV_AREA1_COUNTER_LOG(Class, table, withBase, printTitle, itemTitle)                            \
  Class::Class(OrvBuffer* parent, u32 offset)                                                          \
      : OrvAtaArea1DataQX12(parent, offset, byteLength()),                                             \
        counters(this, kHeaderLength, table, sizeOf(table)) {}                                         \
  Class::~Class() = default;                                                                           \
  u32 Class::byteLength() { return kHeaderLength + OrvAtaArea1Counters::byteLength(table, sizeOf(table)); } \
  void Class::print(void* out) { printCounters(out, withBase, printTitle, counters); }                  \
  void Class::collectFields(OrvDevGenData<_OrvDataItem>& out) { collectCounters(out, withBase, itemTitle, counters); }

ORV_AREA1_COUNTER_LOG(OrvAtaArea1DiskEventLogQX12, kDiskEvent, true, "Disk Event Logs", "Disk Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1CmdEventLogQX12, kCmdEvent, false, "Command Event Logs", "Command Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1RptErrEventLogQX12, kRptErrEvent, false, "Report Error Event Logs",
                      "Report Error Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1SA_EventLogQX12, kSaEvent, true, "SA Event Logs", "SA Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1TimeEventLogQX12, kTimeEvent, false, "Time Event Logs", "Time Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1BootEventLogQX12, kBootEvent, false, "Boot Event Logs", "Boot Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1EnvEventLogQX12, kEnvEvent, false, "Environment Event Logs",
                      "Environment Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1MicrocodeEventLogQX12, kMicrocodeEvent, false, "Microcode Event Logs",
                      "Microcode Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1PowerEventLogQX12, kPowerEvent, false, "Power Event Logs", "Power Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1WorkloadBaseDataQX12, kWorkloadBase, false, "Work Load Base Data",
                      "Work Load Base Data")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1MemoryCheckEventLogQX12, kMemoryCheckEvent, false, "Memory Check Event Logs",
                      "Memory Check Event Log")
ORV_AREA1_COUNTER_LOG(OrvAtaArea1FailurePredictiondataQX12, kFailurePrediction, false, "Failure Prediction Data",
                      "Failure Prediction Data")

#undef ORV_AREA1_COUNTER_LOG

// Accessors: entry numbers are the rows of the tables above.
u64 OrvAtaArea1DiskEventLogQX12::getHeadReadCount(u8 head) const { return counters.element(3, head, 0, __LINE__); }
u64 OrvAtaArea1DiskEventLogQX12::getHeadWriteCount(u8 head) const { return counters.element(4, head, 0, __LINE__); }
u64 OrvAtaArea1DiskEventLogQX12::getHeadSeekCount(u8 head) const { return counters.element(5, head, 0, __LINE__); }
u64 OrvAtaArea1DiskEventLogQX12::getWriteSeekLengthCount(u8 index) const {
  return counters.element(6, index, 0, __LINE__);
}
u64 OrvAtaArea1DiskEventLogQX12::getReadSeekLengthCount(u8 index) const {
  return counters.element(7, index, 0, __LINE__);
}
u64 OrvAtaArea1DiskEventLogQX12::getHeadZoneReadCount(u8 head, u8 zone) const {
  return counters.element(8, head, zone, __LINE__);
}
u64 OrvAtaArea1DiskEventLogQX12::getHeadZoneWriteCount(u8 head, u8 zone) const {
  return counters.element(9, head, zone, __LINE__);
}
u32 OrvAtaArea1DiskEventLogQX12::getReadRetryStepErrors(u8 step) const {
  return static_cast<u32>(counters.element(10, step, 0, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getWriteRetryStepErrors(u8 step) const {
  return static_cast<u32>(counters.element(11, step, 0, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getSeekRetryStepErrors(u8 step) const {
  return static_cast<u32>(counters.element(12, step, 0, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getHeadReadRetryStepErrors(u8 head, u8 step) const {
  return static_cast<u32>(counters.element(13, head, step, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getHeadWriteRetryStepErrors(u8 head, u8 step) const {
  return static_cast<u32>(counters.element(14, head, step, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getHeadSeekRetryStepErrors(u8 head, u8 step) const {
  return static_cast<u32>(counters.element(15, head, step, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getHeadReadOfftrackErrors(u8 head) const {
  return static_cast<u32>(counters.element(16, head, 0, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getHeadWriteOfftrackErrors(u8 head) const {
  return static_cast<u32>(counters.element(17, head, 0, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getZoneReadOfftrackErrors(u8 zone) const {
  return static_cast<u32>(counters.element(18, zone, 0, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getZoneWriteOfftrackErrors(u8 zone) const {
  return static_cast<u32>(counters.element(19, zone, 0, __LINE__));
}
u32 OrvAtaArea1DiskEventLogQX12::getSeekDiffWriteOfftrackErrors(u8 index) const {
  return static_cast<u32>(counters.element(20, index, 0, __LINE__));
}
u16 OrvAtaArea1DiskEventLogQX12::getShockHistogram(u8 bin) const {
  return static_cast<u16>(counters.element(55, bin, 0, __LINE__));
}

u64 OrvAtaArea1CmdEventLogQX12::getHeadVerifyBlocks(u8 head) const { return counters.element(7, head, 0, __LINE__); }

u32 OrvAtaArea1SA_EventLogQX12::getHeadReadCount(u8 head) const {
  return static_cast<u32>(counters.element(0, head, 0, __LINE__));
}
u32 OrvAtaArea1SA_EventLogQX12::getHeadReadErrorCount(u8 head) const {
  return static_cast<u32>(counters.element(1, head, 0, __LINE__));
}
u32 OrvAtaArea1SA_EventLogQX12::getHeadWriteCount(u8 head) const {
  return static_cast<u32>(counters.element(2, head, 0, __LINE__));
}
u32 OrvAtaArea1SA_EventLogQX12::getHeadWriteErrorCount(u8 head) const {
  return static_cast<u32>(counters.element(3, head, 0, __LINE__));
}
u32 OrvAtaArea1SA_EventLogQX12::getAtiRewriteCount(u8 head) const {
  return static_cast<u32>(counters.element(8, head, 0, __LINE__));
}
u32 OrvAtaArea1SA_EventLogQX12::getAtiRewriteErrorCount(u8 head) const {
  return static_cast<u32>(counters.element(9, head, 0, __LINE__));
}
u32 OrvAtaArea1SA_EventLogQX12::getAtiScanCount(u8 head) const {
  return static_cast<u32>(counters.element(10, head, 0, __LINE__));
}
u32 OrvAtaArea1SA_EventLogQX12::getAtiScanRetryOutCount(u8 head) const {
  return static_cast<u32>(counters.element(11, head, 0, __LINE__));
}

// --------------------------------------------------------- OrvAtaIntArea1Log

namespace {

// The sub-logs' lengths in declaration order.
u32 subLogLength(unsigned row) {
  switch (row) {
    case 0: return OrvAtaArea1DiskEventLogQX12::byteLength();
    case 1: return OrvAtaArea1CmdEventLogQX12::byteLength();
    case 2: return OrvAtaArea1RptErrEventLogQX12::byteLength();
    case 3: return OrvAtaArea1SenseLogQX12::byteLength();
    case 4: return OrvAtaArea1SA_EventLogQX12::byteLength();
    case 5: return OrvAtaArea1TimeEventLogQX12::byteLength();
    case 6: return OrvAtaArea1BootEventLogQX12::byteLength();
    case 7: return OrvAtaArea1EnvEventLogQX12::byteLength();
    case 8: return OrvAtaArea1MicrocodeEventLogQX12::byteLength();
    case 9: return OrvAtaArea1PowerEventLogQX12::byteLength();
    case 10: return OrvAtaArea1BlocksEventLogQX12::byteLength();
    case 11: return OrvAtaArea1WorkloadBaseDataQX12::byteLength();
    case 12: return OrvAtaArea1SpindleMotorCurrentEventQX12::byteLength();
    case 13: return OrvAtaArea1MemoryCheckEventLogQX12::byteLength();
    case 14: return OrvAtaArea1FailurePredictiondataQX12::byteLength();
    case 15: return OrvAtaArea1WorkloadLogsQX12::byteLength();
    default: return OrvAtaArea1ZoneLogsQX12::byteLength();
  }
}

constexpr unsigned kSubLogs = 17;

}  // namespace

u32 OrvAtaIntArea1Log::offsetOf(unsigned row) {
  u32 offset = 0;
  for (unsigned r = 0; r < row && r < kSubLogs; ++r) offset += (subLogLength(r) + kPageSize - 1) / kPageSize * kPageSize;
  return offset;
}

const u32 OrvAtaIntArea1Log::kLength = OrvAtaIntArea1Log::offsetOf(kSubLogs - 1) + subLogLength(kSubLogs - 1);

OrvAtaIntArea1Log::OrvAtaIntArea1Log(_OrvByteEndianess order) : OrvAtaIntArea1Log(kLength, order) {}

OrvAtaIntArea1Log::OrvAtaIntArea1Log(const OrvBuffer& area1)
    : OrvAtaIntArea1Log(area1.getLength(), area1.getEndianess()) {
  if (u64 status = copyData(area1, 0, 0)) throw status;
}

OrvAtaIntArea1Log::OrvAtaIntArea1Log(u32 length, _OrvByteEndianess order)
    : OrvLogBuffer(length, order, kPageId, 0, "Device Internal Status Log Data Area 1"),
      diskEventLog(this, offsetOf(0)),
      cmdEventLog(this, offsetOf(1)),
      rptErrEventLog(this, offsetOf(2)),
      senseLog(this, offsetOf(3)),
      saEventLog(this, offsetOf(4)),
      timeEventLog(this, offsetOf(5)),
      bootEventLog(this, offsetOf(6)),
      envEventLog(this, offsetOf(7)),
      microcodeEventLog(this, offsetOf(8)),
      powerEventLog(this, offsetOf(9)),
      blocksEventLog(this, offsetOf(10)),
      workloadBaseData(this, offsetOf(11)),
      spindleMotorCurrentEvent(this, offsetOf(12)),
      memoryCheckEventLog(this, offsetOf(13)),
      failurePredictionData(this, offsetOf(14)),
      workloadLogs(this, offsetOf(15)),
      zoneLogs(this, offsetOf(16)) {}

OrvAtaIntArea1Log::~OrvAtaIntArea1Log() = default;

u64 OrvAtaIntArea1Log::resize(u32 newLength) {
  if (newLength != length) return orvAtaArea1Status(ORV_ERR_BUFFER_LENGTH, __LINE__);
  return 0;
}

void OrvAtaIntArea1Log::print(void* out) {
  printEventLogs(out);
  printWorkloadLogs(out);
}

void OrvAtaIntArea1Log::printEventLogs(void* out) {
  OrvBuffer* rows[] = {&diskEventLog,      &cmdEventLog,      &rptErrEventLog, &senseLog,
                       &saEventLog,        &timeEventLog,     &bootEventLog,   &envEventLog,
                       &microcodeEventLog, &powerEventLog,    &blocksEventLog, &workloadBaseData,
                       &spindleMotorCurrentEvent, &memoryCheckEventLog, &failurePredictionData};
  for (OrvBuffer* row : rows) row->print(out);
}

void OrvAtaIntArea1Log::printWorkloadLogs(void* out) { workloadLogs.print(out); }

}  // namespace VazidaRaduruSataInternal
}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
