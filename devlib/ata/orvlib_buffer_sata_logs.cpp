// The SMART and log pages of ATA drives. Their status words are raised by
// the functions of orvlib_buffer_sata.cpp.
#include "devlib/ata/orvlib_buffer_sata_logs.h"

#include <cstdio>
#include <new>
#include <utility>

#include "osl/osl_clib.h"
#include "osl/osl_file.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {
namespace VazidaRaduruSataInternal {

namespace {

// Every SMART and log field is little-endian.
constexpr _OrvByteEndianess kOrder = ORV_LITTLE_ENDIAN;

void replaceStream(std::stringstream& out, const std::string& text) {
  out.str(std::string());
  out.clear();
  out << text;
}

// Entry index of 1..count.
template <typename Entry>
Entry* entryAt(std::vector<std::unique_ptr<Entry>>& entries, u8 index) {
  if (index == 0 || index > entries.size()) orvAtaIndexOutOfBound();
  return entries[index - 1].get();
}

// Entries 1..count over parent. No memory throws code 8 and leaves the
// list empty; a failure of a window leaves it empty as well.
template <typename Entry>
void buildEntries(std::vector<std::unique_ptr<Entry>>& entries, OrvBuffer* parent, u8 count) {
  entries.clear();
  try {
    entries.reserve(count);
    for (u8 index = 1; index <= count; ++index) entries.emplace_back(new Entry(parent, index));
  } catch (const std::bad_alloc&) {
    entries.clear();
    orvAtaNoMemory();
  } catch (...) {
    entries.clear();
    throw;
  }
}

// "%-25s: %llx [%llu]\n" per field: the value in hexadecimal and decimal.
void printHexLines(void* file, std::initializer_list<const OrvBufField*> fields) {
  for (const OrvBufField* field : fields) {
    unsigned long long value = field->getValue();
    osl_fprintf(static_cast<FILE*>(file), "%-25s: %llx [%llu]\n", field->getName().c_str(), value, value);
  }
}

}  // namespace

// ----------------------------------------------------------- OrvAtaBitGroup

void OrvAtaBitGroup::print(void*) const {}

void OrvAtaBitGroup::collectFields(OrvDevGenData<_OrvDataItem>&) const {}

void OrvAtaBitGroup::printBits(void* file, std::initializer_list<const OrvBufField*> bits) const {
  for (const OrvBufField* bit : bits) orvAtaPrintNumber(file, name + ":" + bit->getName(), bit->getValue());
}

void OrvAtaBitGroup::collectBits(OrvDevGenData<_OrvDataItem>& out,
                                 std::initializer_list<const OrvBufField*> bits) const {
  for (const OrvBufField* bit : bits) out.addItem(_OrvDataItem(name + ":" + bit->getName(), *bit, 0, 0));
}

// Named bits over the group's own byte offset.
#define ORV_ATA_BIT_INIT(member, bit, bitName) , member(data, byteOffset, bit, bit, bitName, kOrder)
#define ORV_ATA_BIT_ADDRESS(member, ...) &member,

OrvAtaSmartOfflineCap::OrvAtaSmartOfflineCap(u8* data)
    : OrvAtaBitGroup(data, 367, 0, 7, "Off-line data collection capability", kOrder)
          ORV_ATA_SMART_OFFLINE_CAP_BITS(ORV_ATA_BIT_INIT) {}

void OrvAtaSmartOfflineCap::print(void* file) const {
  printBits(file, {ORV_ATA_SMART_OFFLINE_CAP_BITS(ORV_ATA_BIT_ADDRESS)});
}

void OrvAtaSmartOfflineCap::collectFields(OrvDevGenData<_OrvDataItem>& out) const {
  collectBits(out, {ORV_ATA_SMART_OFFLINE_CAP_BITS(ORV_ATA_BIT_ADDRESS)});
}

OrvAtaSmartCap::OrvAtaSmartCap(u8* data)
    : OrvAtaBitGroup(data, 368, 0, 15, "SMART capability", kOrder) ORV_ATA_SMART_CAP_BITS(ORV_ATA_BIT_INIT) {}

void OrvAtaSmartCap::print(void* file) const { printBits(file, {ORV_ATA_SMART_CAP_BITS(ORV_ATA_BIT_ADDRESS)}); }

void OrvAtaSmartCap::collectFields(OrvDevGenData<_OrvDataItem>& out) const {
  collectBits(out, {ORV_ATA_SMART_CAP_BITS(ORV_ATA_BIT_ADDRESS)});
}

OrvAtaSmartAttrFlags::OrvAtaSmartAttrFlags(u8* data)
    : OrvAtaBitGroup(data, 1, 0, 15, "SMART attribute flags", kOrder) ORV_ATA_SMART_ATTR_FLAG_BITS(ORV_ATA_BIT_INIT) {}

#undef ORV_ATA_BIT_INIT
#undef ORV_ATA_BIT_ADDRESS

// ---------------------------------------------------------- OrvAtaSmartData

OrvAtaSmartData::OrvAtaSmartData()
    : OrvAtaPage(kLength, kOrder),
      firstVendorArea(*this, 0, 362),
      offlineCollectionStatus(data, 362, 0, 7, "Off-line data collection status", kOrder),
      selfTestExecutionStatus(data, 363, 0, 7, "Self-test execution status byte", kOrder),
      vendorWord364(data, 364, 0, 15, "Vendor specific(Word364)", kOrder),
      vendorByte366(data, 366, 0, 7, "Vendor specific(Byte366)", kOrder),
      offlineCollectionCapability(data),
      smartCapability(data),
      errorLoggingSupported(data, 370, 0, 0, "Device error logging supported", kOrder),
      vendorByte371(data, 371, 0, 7, "Vendor specific(Byte371)", kOrder),
      shortSelfTestPollingTime(data, 372, 0, 7, "Short self-test routine recommended polling time", kOrder),
      extendedSelfTestPollingTimeByte(data, 373, 0, 7,
                                      "Extended self-test routine recommended polling time(Byte)", kOrder),
      conveyanceSelfTestPollingTime(data, 374, 0, 7, "Conveyance self-test routine recommended polling time",
                                    kOrder),
      extendedSelfTestPollingTimeWord(data, 375, 0, 15,
                                      "Extended self-test routine recommended polling time(Word)", kOrder),
      secondVendorArea(*this, 386, 125) {}

OrvAtaSmartData::~OrvAtaSmartData() = default;


void OrvAtaSmartData::hexDump(std::stringstream& out) { replaceStream(out, "SMART data Hex-Dump\n" + hexDumpText()); }

void OrvAtaSmartData::hexDump(void* file) {
  std::stringstream text;
  hexDump(text);
  osl_fprintf(static_cast<FILE*>(file), "%s", text.str().c_str());
}

void OrvAtaSmartData::print(void* file) {
  auto lines = [&](std::initializer_list<const OrvBufField*> fields) {
    for (const OrvBufField* field : fields) orvAtaPrintNumber(file, getName() + ":" + field->getName(), field->getValue());
  };
  osl_fprintf(static_cast<FILE*>(file), "Vendor specific buffer (Byte 0:361) hex-dump\n");
  firstVendorArea.hexDump(file);
  lines({&offlineCollectionStatus, &selfTestExecutionStatus, &vendorWord364, &vendorByte366});
  offlineCollectionCapability.print(file);
  smartCapability.print(file);
  lines({&errorLoggingSupported, &vendorByte371, &shortSelfTestPollingTime, &extendedSelfTestPollingTimeByte,
         &conveyanceSelfTestPollingTime, &extendedSelfTestPollingTimeWord});
  osl_fprintf(static_cast<FILE*>(file), "Vendor specific buffer (Byte 386:510) hex-dump\n");
  secondVendorArea.hexDump(file);
}

// ------------------------------------------------- attribute table and entry

OrvAtaSmartAttr::OrvAtaSmartAttr(OrvBuffer* table, u8 index)
    : OrvSubBuffer(table, 12u * index - 10u, 12),
      attributeId(data, 0, 0, 7, "Attribute ID", kOrder),
      flags(data),
      value(data, 3, 0, 7, "Value", kOrder),
      worstValue(data, 4, 0, 7, "Worst Value", kOrder),
      rawValue(data, 5, 0, 47, "Raw Value", kOrder),
      reserved(data, 11, 0, 7, "Reserved", kOrder) {}

OrvAtaSmartAttr::~OrvAtaSmartAttr() = default;

OrvAtaSmartAttrBuf::OrvAtaSmartAttrBuf(OrvBuffer* smartData) : OrvSubBuffer(smartData, 0, 362) { createAttrs(); }

OrvAtaSmartAttrBuf::~OrvAtaSmartAttrBuf() = default;

void OrvAtaSmartAttrBuf::createAttrs() { buildEntries(attrs, this, kCount); }

OrvAtaSmartAttr* OrvAtaSmartAttrBuf::getAttr(u8 index) { return entryAt(attrs, index); }

// ------------------------------------------------------- extended self-test

OrvAtaExtSmartSelfExecStatus::OrvAtaExtSmartSelfExecStatus(u8* data)
    : OrvByteField(data, 1, "Self test status"),
      percentRemaining(data, 1, 0, 3, "Percent Self-Test Remaining", kOrder),
      executionStatus(data, 1, 4, 7, "Self-test Execution Status", kOrder) {}

OrvAtaExtSmartSelfExecStatus::~OrvAtaExtSmartSelfExecStatus() = default;

OrvAtaExtSmartSelfTestDesc::OrvAtaExtSmartSelfTestDesc(OrvBuffer* page, u8 index)
    : OrvSubBuffer(page, 26u * index - 22u, 26),
      testType(data, 0, "Test type"),
      status(data),
      lifeTimestamp(data, 2, "Life timestamp", kOrder),
      failureCheckpoint(data, 4, "Failure checkpoint"),
      lba(data, 5, 0, 47, "LBA", kOrder),
      vendorArea(*this, 11, 15) {}

OrvAtaExtSmartSelfTestDesc::~OrvAtaExtSmartSelfTestDesc() = default;

OrvAtaExtSmartSelfTestLog::OrvAtaExtSmartSelfTestLog()
    : OrvAtaPage(kLength, kOrder, 7, 0, ""),
      revisionNumber(data, 0, "Revision number"),
      descriptorIndex(data, 2, "Descriptor index", kOrder) {
  buildEntries(descriptors, this, kDescriptors);
}

OrvAtaExtSmartSelfTestLog::~OrvAtaExtSmartSelfTestLog() = default;


OrvAtaExtSmartSelfTestDesc* OrvAtaExtSmartSelfTestLog::getDescriptor(u8 index) { return entryAt(descriptors, index); }

// ------------------------------------------- extended comprehensive error log

OrvAtaCompErrLba::OrvAtaCompErrLba(u8* data, u32 offset) : OrvBufField(data, offset, 0, 47, "LBA", kOrder) {}

namespace {
// The LBA bits each byte of the field holds, from byte 0 on.
constexpr unsigned kLbaShift[6] = {0, 24, 8, 32, 16, 40};
}  // namespace

u64 OrvAtaCompErrLba::getValue() const {
  u64 lba = 0;
  for (unsigned i = 0; i < 6; ++i) lba |= static_cast<u64>(data[byteOffset + i]) << kLbaShift[i];
  return lba;
}

void OrvAtaCompErrLba::setValue(u64 lba) {
  for (unsigned i = 0; i < 6; ++i) data[byteOffset + i] = static_cast<u8>(lba >> kLbaShift[i]);
}

OrvAtaExtComprSmartCmdDs::OrvAtaExtComprSmartCmdDs(OrvBuffer* errLogDs, u8 index)
    : OrvSubBuffer(errLogDs, 18u * index - 18u, 18),
      control(data, 0, 0, 7, "Control", byteOrder),
      feature(data, 1, 0, 15, "Feature", byteOrder),
      count(data, 3, 0, 15, "Count", byteOrder),
      lba(data, 5),
      dev(data, 11, 0, 7, "Dev", byteOrder),
      cmd(data, 12, 0, 7, "Cmd", byteOrder),
      timestamp(data, 14, 0, 31, "Timestamp", byteOrder) {}

OrvAtaExtComprSmartCmdDs::~OrvAtaExtComprSmartCmdDs() = default;

OrvAtaExtComprSmartErrDs::OrvAtaExtComprSmartErrDs(OrvBuffer* errLogDs)
    : OrvSubBuffer(errLogDs, 90, 34),
      transport(data, 0, 0, 7, "Transport", byteOrder),
      err(data, 1, 0, 7, "Err", byteOrder),
      count(data, 2, 0, 15, "Count", byteOrder),
      lba(data, 4),
      dev(data, 10, 0, 7, "Dev", byteOrder),
      status(data, 11, 0, 7, "Status", byteOrder),
      extendedErrorInfo(*this, 12, 19),
      powerStatus(data, 31, 0, 7, "Power Status", byteOrder),
      timestamp(data, 32, 0, 15, "Timestamp", byteOrder) {}

OrvAtaExtComprSmartErrDs::~OrvAtaExtComprSmartErrDs() = default;

OrvAtaExtComprSmartErrLogDs::OrvAtaExtComprSmartErrLogDs(OrvBuffer* page, u8 index)
    : OrvSubBuffer(page, 124u * index - 120u, 124), errDs(this) {
  buildEntries(commands, this, kCommands);
}

OrvAtaExtComprSmartErrLogDs::~OrvAtaExtComprSmartErrLogDs() = default;

OrvAtaExtComprSmartCmdDs* OrvAtaExtComprSmartErrLogDs::getCmdDs(u8 index) { return entryAt(commands, index); }

OrvAtaExtComprSmartErrLogPage::OrvAtaExtComprSmartErrLogPage(u16 pageNumber)
    : OrvAtaExtComprSmartErrLogPage(OrvLogBuffer(kLength, kOrder, 0, 0, "")) {
  char suffix[8];
  osl_snprintf(suffix, sizeof suffix, sizeof suffix - 1, "%x", pageNumber);
  setIdentification(3, pageNumber, std::string("Extended Comprehensive SMART Error log page ") + suffix);
}

OrvAtaExtComprSmartErrLogPage::OrvAtaExtComprSmartErrLogPage(const OrvAtaExtComprSmartErrLogPage& source)
    : OrvAtaExtComprSmartErrLogPage(orvAtaPaddedCopy(static_cast<const OrvLogBuffer&>(source), kLength)) {}

OrvAtaExtComprSmartErrLogPage::OrvAtaExtComprSmartErrLogPage(const OrvLogBuffer& bytes)
    : OrvAtaPage(bytes),
      errorLogVersion(data, 0, 0, 7, "SMART error log version", kOrder),
      errorLogIndex(data, 2, 0, 15, "Error Log Index", kOrder),
      deviceErrorCount(data, 500, 0, 15, "Device error count", kOrder),
      checksum(data, 511, 0, 7, "Data structure checksum", kOrder) {
  buildEntries(errLogDs, this, kErrLogDs);
}

OrvAtaExtComprSmartErrLogPage::~OrvAtaExtComprSmartErrLogPage() = default;


OrvAtaExtComprSmartErrLogDs* OrvAtaExtComprSmartErrLogPage::getErrLogDs(u8 index) { return entryAt(errLogDs, index); }

// ---------------------------------------------------- directories and header

OrvAtaGplLogDir::OrvAtaGplLogDir() : OrvLogBuffer(512, kOrder, 0, 0, "GPL Log directory") {}

OrvAtaGplLogDir::~OrvAtaGplLogDir() = default;

u16 OrvAtaGplLogDir::getPageCount(u8 logAddress) {
  return static_cast<u16>(word(2u * logAddress, 0, 16).getValue());
}

OrvAtaSlLogDir::OrvAtaSlLogDir() : OrvLogBuffer(512, kOrder, 0, 0, "SMART Log directory") {}

OrvAtaSlLogDir::~OrvAtaSlLogDir() = default;

u8 OrvAtaSlLogDir::getPageCount(u8 logAddress) { return static_cast<u8>(byte(2u * logAddress, 0, 8).getValue()); }

OrvAtaIntStatusHdrLog::OrvAtaIntStatusHdrLog()
    : OrvAtaPage(kLength, kOrder, 0x24, 0, ""),
      logAddress(data, 0, "Log address"),
      ieeeOui(data, 4, 0, 23, "IEEE OUI", kOrder),
      area1LastLogPage(data, 8, "Area 1 last log page", kOrder),
      area2LastLogPage(data, 10, "Area 2 last log page", kOrder),
      area3LastLogPage(data, 12, "Area 3 last log page", kOrder),
      savedDataAvailable(data, 382, "Saved data available"),
      savedDataGenerationNumber(data, 383, "Saved data generation number"),
      reasonIdentifier(*this, 384, 128) {}

OrvAtaIntStatusHdrLog::~OrvAtaIntStatusHdrLog() = default;


// ------------------------------------------------------------------------ SCT

#define ORV_ATA_FIELD_INIT(member, offset, lastBit, fieldName) , member(data, offset, 0, lastBit, fieldName, kOrder)
#define ORV_ATA_FIELD_ADDRESS(member, ...) &member,

OrvAtaSctStatus::OrvAtaSctStatus()
    : OrvAtaPage(kLength, kOrder, 0xE0, 0, "SCT Status Response")
          ORV_ATA_SCT_STATUS_FIELDS(ORV_ATA_FIELD_INIT),
      vendorArea(*this, 480, 32) {}

OrvAtaSctStatus::~OrvAtaSctStatus() = default;


bool OrvAtaSctStatus::isTemperature(const OrvBufField& field) const {
  for (const OrvBufField* temperature : {&currentTemp, &minTemp, &maxTemp, &lifeMinTemp, &lifeMaxTemp})
    if (temperature == &field) return true;
  return false;
}

void OrvAtaSctStatus::print(void* file) {
  for (const OrvBufField* field : {ORV_ATA_SCT_STATUS_FIELDS(ORV_ATA_FIELD_ADDRESS)}) {
    if (!isTemperature(*field)) {
      printHexLines(file, {field});
      continue;
    }
    osl_fprintf(static_cast<FILE*>(file), "%-25s: %llx [%d]\n", field->getName().c_str(),
                static_cast<unsigned long long>(field->getValue()), celsius(*field));
  }
  osl_fprintf(static_cast<FILE*>(file), "SCT Vendor specific data:\n");
  vendorArea.hexDump(file);
}

void OrvAtaSctStatus::collectFields(OrvDevGenData<_OrvDataItem>& out) const {
  for (const OrvBufField* field : {ORV_ATA_SCT_STATUS_FIELDS(ORV_ATA_FIELD_ADDRESS)}) {
    _OrvDataItem item(*field);
    if (isTemperature(*field)) item.value = static_cast<u64>(static_cast<s64>(celsius(*field)));
    out.addItem(std::move(item));
  }
}

OrvAtaSctFtrCtlCmdBuf::OrvAtaSctFtrCtlCmdBuf()
    : OrvAtaPage(kLength, kOrder) ORV_ATA_SCT_FEATURE_CONTROL_FIELDS(ORV_ATA_FIELD_INIT) {}

OrvAtaSctFtrCtlCmdBuf::~OrvAtaSctFtrCtlCmdBuf() = default;


void OrvAtaSctFtrCtlCmdBuf::print(void* file) {
  printHexLines(file, {ORV_ATA_SCT_FEATURE_CONTROL_FIELDS(ORV_ATA_FIELD_ADDRESS)});
}

#undef ORV_ATA_FIELD_INIT
#undef ORV_ATA_FIELD_ADDRESS

}  // namespace VazidaRaduruSataInternal
}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
