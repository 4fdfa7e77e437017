#include "devlib/orvlib_gendev.h"

#include <cstdio>
#include <memory>
#include <new>
#include <rapidjson/document.h>
#include <vector>

#include "devlib/ata/orvlib_sata.h"
#include "devlib/nvme/orvlib_nvme.h"
#include "devlib/orvlib_decl.h"
#include "devlib/orvlib_pattern.h"
#include "devlib/scsi/orvlib_scsi.h"
#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"
#include "osl/osl_log.h"

namespace VazidaRaduru {
namespace {

constexpr u8 PROBE_LOG_MASK = OSL_LOG_WARNING;
constexpr u8 FULL_LOG_MASK = OSL_LOG_DEBUG;
constexpr u32 FEATURE_SECURITY_PROTOCOLS = 6;
constexpr u32 PROTOCOL_LIST_LENGTH = 512;
constexpr u32 PROTOCOL_LIST_START = 8;

// Reads the three types of an open drive; a RAID store's pseudo handle has
// none and leaves them unknown.
u64 readTypes(_OSL_PDEV* drive, osl_bus_type* commandBus, osl_dev_type* deviceType,
              osl_bus_type* physicalBus) {
  if (osl_is_pseudo_handle(drive->handle)) return 0;
  return osl_get_bus_dev_type(drive, commandBus, deviceType, physicalBus);
}

}  // namespace

OrvGenDev* OrvGenDev::newOrvDevice(std::string devicePath, u32 namespaceId, bool ignoreInitError,
                                   bool allocatedNsMode, osl_unread_list* unread) {
  osl_lookup_scope lookups(unread);
  // Only warnings and worse reach the application while the drive is probed.
  orvlib_mask_app_log(PROBE_LOG_MASK);
  osl_bus_type commandBus = OSL_BUS_NONE;
  osl_dev_type deviceType = OSL_DEV_NONE;
  osl_bus_type physicalBus = OSL_BUS_NONE;
  u64 status = ORV_LIB_STATUS(ORV_ERR_OPEN_DEVICE);
  if (_OSL_PDEV* drive = osl_open_device(devicePath.c_str())) {
    status = readTypes(drive, &commandBus, &deviceType, &physicalBus);
    osl_close_device(drive);
  }
  orvlib_mask_app_log(FULL_LOG_MASK);
  if (status) throw status;

  OrvGenDev* device = nullptr;
  try {
    switch (deviceType) {
      case OSL_DEV_ATA:
        device = new (std::nothrow) VazidaRaduruSata::OrvSataDev(devicePath, ignoreInitError);
        break;
      case OSL_DEV_SCSI:
        device = new (std::nothrow) VazidaRaduruScsi::OrvScsiDev(devicePath, ignoreInitError);
        break;
      case OSL_DEV_NVME:
        device = new (std::nothrow)
            VazidaRaduruNvme::OrvNvmeDev(devicePath, namespaceId, ignoreInitError, allocatedNsMode);
        break;
      default:
        throw ORV_LIB_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
    }
  } catch (u64) {
    throw;
  } catch (const std::bad_alloc&) {
    throw ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  } catch (...) {
    throw ORV_LIB_STATUS(ORV_ERR_GENERIC);
  }
  if (!device) throw ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  return device;
}

OrvGenDev::OrvGenDev()
    : handle(nullptr),
      deviceType(OSL_DEV_NONE),
      busType(OSL_BUS_NONE),
      physicalBusType(OSL_BUS_NONE),
      response(252, ORV_LITTLE_ENDIAN),
      sectorSize(0),
      maxTransferLength(0),
      timeout(0),
      ignoreErrorCount(0) {}

OrvGenDev::OrvGenDev(std::string devicePath) : OrvGenDev() {
  handle = osl_open_device(devicePath.c_str());
  if (!handle) throw ORV_LIB_STATUS(ORV_ERR_OPEN_DEVICE);
  u64 status = readTypes(handle, &busType, &deviceType, &physicalBusType);
  if (status) {
    osl_close_device(handle);
    handle = nullptr;
    throw status;
  }
  maxTransferLength = osl_is_pseudo_handle(handle->handle) ? 0 : osl_get_max_transfer_size(handle, busType);
}

OrvGenDev::~OrvGenDev() {
  if (handle) osl_close_device(handle);
  handle = nullptr;
}

void OrvBasicDev::addSingleSlotInfo(OrvDevGenData<_OrvFwInfoItem>& info, const std::string& revision) {
  _OrvFwInfoItem item;
  item.currentRevision = revision;
  item.slots.push_back(_OrvFwSlot{1, revision, 0});
  item.currentSlot = 1;
  item.nextSlot = 0;
  info.addItem(std::move(item));
}

u64 OrvGenDev::unsupported() { return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED); }

u64 OrvGenDev::getDriveProperties(_osl_dev_info* list) {
  if (handle && osl_is_pseudo_handle(handle->handle)) return 0;
  return osl_drive_query(handle, list);
}

u64 OrvGenDev::setIgnoreError() {
  if (ignoreErrorCount == 255) return ORV_LIB_STATUS(ORV_ERR_GENERIC);
  ++ignoreErrorCount;
  return 0;
}

void OrvGenDev::unsetIgnoreError() {
  if (ignoreErrorCount > 0) --ignoreErrorCount;
}

bool OrvGenDev::isDeferredFwDnldSupported() {
  if (busType != OSL_BUS_NVME) return true;
  return osl_require_win10() == 0;
}

bool OrvGenDev::isIoSupported() {
  switch (deviceType) {
    case OSL_DEV_ATA:
      return busType == OSL_BUS_SATA || busType == OSL_BUS_ATA || busType == OSL_BUS_SAS ||
             busType == OSL_BUS_SCSI || busType == OSL_BUS_CSMI;
    case OSL_DEV_SCSI:
      return busType == OSL_BUS_SAS || busType == OSL_BUS_SCSI;
    case OSL_DEV_NVME:
      return true;
    default:
      return false;
  }
}

bool OrvGenDev::isSecurityProtocolSupported(u8 protocol) {
  try {
    if (!isFeatureSupported(FEATURE_SECURITY_PROTOCOLS)) return false;
    OrvBuffer list(PROTOCOL_LIST_LENGTH, ORV_BIG_ENDIAN);
    if (securityReceive(0, list, 0, 1) != 0) return false;
    // The list length is a 16-bit count: its end wraps as the count does.
    u16 last = static_cast<u16>(list.word(6, 0, 16).getValue() + PROTOCOL_LIST_START - 1);
    for (u32 offset = PROTOCOL_LIST_START; offset <= last; ++offset)
      if (list.byte(offset, 0, 8).getValue() == protocol) return true;
  } catch (...) {
    // A list that claims more than the buffer holds ends the search.
  }
  return false;
}

bool OrvGenDev::hasActivePartition() { return handle && osl_has_partitions(handle, 0) != 0; }

u64 OrvGenDev::getMaxTransferLen(u32& length) {
  length = maxTransferLength;
  return maxTransferLength ? 0 : ORV_LIB_STATUS(ORV_ERR_OPEN_DEVICE);
}

u64 OrvGenDev::getContollerId(u16& id) {
  id = 0;
  return 0;
}

bool OrvGenDev::requireFormatUnitProgPoll() { return false; }

u64 OrvGenDev::formatUnitProgress(u8& percent, bool&) {
  percent = 100;
  return 0;
}

u64 OrvGenDev::refresh() { return 0; }

u64 OrvGenDev::sanitize(_OrvSanitizeMode) { return unsupported(); }
u64 OrvGenDev::securityEnable(std::string) { return unsupported(); }
u64 OrvGenDev::securityDisable(std::string, bool) { return unsupported(); }
u64 OrvGenDev::rezero() { return unsupported(); }
u64 OrvGenDev::readModeDir(OrvDevGenData<_OrvDirEntry>&) { return unsupported(); }
u64 OrvGenDev::readModePage(u8, u8, OrvDevGenData<_OrvModeItem>&, bool) { return unsupported(); }
u64 OrvGenDev::readModeDesc(OrvDevGenData<_OrvModeItem>&, bool) { return unsupported(); }
u64 OrvGenDev::writeModePage(OrvDevGenData<_OrvModeItem>&) { return unsupported(); }
u64 OrvGenDev::flushMediaCache() { return unsupported(); }
u64 OrvGenDev::initMediaCache() { return unsupported(); }
u64 OrvGenDev::getMediaCacheUsage(u16&) { return unsupported(); }
u64 OrvGenDev::getNamespaceList(OrvDevGenData<_OrvNvmNsItem>&, bool) { return unsupported(); }
u64 OrvGenDev::getControllerList(OrvDevGenData<_OrvNvmCtlItem>&) { return unsupported(); }
u64 OrvGenDev::createNamespace(u64, u64, u32, bool, u8, bool, bool, u32&) { return unsupported(); }
u64 OrvGenDev::deleteNamespace(u32) { return unsupported(); }
u64 OrvGenDev::changeNamespace(u32, bool) { return unsupported(); }
u64 OrvGenDev::attachNamespace(_OrvNsAttachAction, u32) { return unsupported(); }
u64 OrvGenDev::getMetaDataConfig(u32&, bool&, bool&) { return unsupported(); }

// ------------------------------------------------- SMART attribute names

namespace {

using JsonValue = rapidjson::Value;

bool matchesPattern(const char* pattern, const char* text) {
  bool found = false;
  return orvSearchPattern(pattern, text, found) && found;
}

const JsonValue* memberOf(const JsonValue& object, const char* name) {
  JsonValue::ConstMemberIterator member = object.FindMember(name);
  return member == object.MemberEnd() ? nullptr : &member->value;
}

std::string trimmedText(char* text) {
  osl_trim(text);
  return text;
}

// Whether a device entry names the drive; false with a format error.
bool entryMatches(const JsonValue& entry, const std::string& model, const std::string& firmware,
                  bool& matches) {
  if (!entry.IsObject()) return false;
  bool hasModel = false, modelFound = false, hasFirmware = false, firmwareFound = false;
  for (JsonValue::ConstMemberIterator member = entry.MemberBegin(); member != entry.MemberEnd(); ++member) {
    bool isModel = member->name == "model";
    if (!isModel && member->name != "firmware") continue;
    if (!member->value.IsString()) return false;
    // A key given twice: the later one counts.
    bool& found = isModel ? modelFound : firmwareFound;
    if (!orvSearchPattern(member->value.GetString(), isModel ? model.c_str() : firmware.c_str(), found))
      return false;
    (isModel ? hasModel : hasFirmware) = true;
  }
  if (hasModel)
    matches = modelFound && (!hasFirmware || firmwareFound);
  else if (hasFirmware)
    matches = firmwareFound;
  else
    return false;
  return true;
}

bool parserIndexOf(const JsonValue& entry, u16& index) {
  const JsonValue* text = memberOf(entry, "parser_index");
  if (!text || !text->IsString() || !matchesPattern("^[0-9]{1,3}$", text->GetString())) return false;
  return osl_strtou16(text->GetString(), 10, &index) == 0 && index < 256;
}

// The id of an attribute (a string, as the caller made sure): hexadecimal,
// "0x" or "x" before it allowed.
bool attributeId(const JsonValue& attribute, u8& id) {
  const JsonValue* text = memberOf(attribute, "id");
  if (!text || !matchesPattern("^0?x?[0-9A-Fa-f]{1,2}$", text->GetString())) return false;
  const char* digits = text->GetString();
  if (*digits == 'x') ++digits;
  u16 value = 0;
  if (osl_strtou16(digits, 16, &value) != 0 || value > 255) return false;
  id = static_cast<u8>(value);
  return true;
}

}  // namespace

u64 OrvGenDev::loadSmartParser(OrvGenDev* device, std::map<u8, std::string>& names, std::string path) {
  bool matched = false;
  if (path.empty()) return device->loadSmartParser(names, orvlib_smart_attr_config, matched, true);

  FILE* file = osl_fopen(path.c_str(), OSL_FILE_READ);
  if (!file) return ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
  u64 size = 0;
  u64 status = osl_file_size(path.c_str(), &size);
  if (status) {
    osl_fclose(file);
    return status;
  }
  std::unique_ptr<char[]> text(size < SIZE_MAX ? new (std::nothrow) char[size + 1] : nullptr);
  if (!text) {
    osl_fclose(file);
    return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  }
  // Text mode reads a line end of two characters as one: the text may come
  // out shorter than the file, but not with a read error.
  size_t read = std::fread(text.get(), 1, size, file);
  if (std::ferror(file)) {
    osl_fclose(file);
    return ORV_LIB_STATUS(ORV_ERR_FILE_READ);
  }
  text[read] = '\0';
  status = device->loadSmartParser(names, text.get(), matched, false);
  text.reset();
  osl_fclose(file);
  return status;
}

u64 OrvGenDev::loadSmartParser(std::map<u8, std::string>& names, const char* text, bool& matched,
                               bool isDefault) {
  matched = false;
  u16 parserIndex = 0;
  char firmwareText[9] = {}, modelText[41] = {}, serialText[21] = {}, componentText[9] = {};
  getIdentStrings(firmwareText, modelText, serialText, componentText);
  firmwareText[8] = modelText[40] = '\0';
  std::string firmware = trimmedText(firmwareText);
  std::string model = trimmedText(modelText);

  const u64 parseError = ORV_LIB_STATUS(ORV_ERR_FILE_PARSING);
  rapidjson::MemoryPoolAllocator<> pool(65536);
  rapidjson::Document document(&pool, 1024);
  // Nesting however deep costs no stack.
  document.Parse<rapidjson::kParseIterativeFlag>(text);
  if (document.HasParseError() || !document.IsObject()) return parseError;
  const JsonValue* devices = memberOf(document, "devices");
  const JsonValue* parsers = memberOf(document, "parsers");
  if (!devices || !parsers || !devices->IsArray() || !parsers->IsArray()) return parseError;

  for (const JsonValue& entry : devices->GetArray()) {
    bool matches = false;
    if (!entryMatches(entry, model, firmware, matches)) return parseError;
    if (!matches) continue;
    if (!parserIndexOf(entry, parserIndex)) return parseError;
    matched = true;
    break;
  }
  if (!matched && !isDefault) return parseError;
  if (parsers->Empty()) return parseError;
  if (parserIndex >= parsers->Size()) return 0;

  const JsonValue& parser = (*parsers)[parserIndex];
  const JsonValue* attributes = parser.IsObject() ? memberOf(parser, "attributes") : nullptr;
  if (!attributes || !attributes->IsArray()) return parseError;
  // Nothing enters the map unless the whole parser is sound.
  std::vector<std::pair<u8, std::string>> found;
  for (const JsonValue& attribute : attributes->GetArray()) {
    if (!attribute.IsObject()) return parseError;
    const JsonValue* name = memberOf(attribute, "name");
    const JsonValue* idText = memberOf(attribute, "id");
    if ((name && !name->IsString()) || (idText && !idText->IsString())) return parseError;
    u8 id = 0;
    // An attribute without a usable id or a name adds nothing.
    if (!attributeId(attribute, id) || !name || id == 0 || name->GetStringLength() == 0) continue;
    found.emplace_back(id, std::string(name->GetString(), name->GetStringLength()));
  }
  for (std::pair<u8, std::string>& entry : found) names.emplace(entry.first, std::move(entry.second));
  return 0;
}

}  // namespace VazidaRaduru
