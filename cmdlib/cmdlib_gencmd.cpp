#include "cmdlib/cmdlib_gencmd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_file.h"
#include "osl/osl_log.h"
#include "osl/osl_platform.h"
#include "osl/osl_util.h"

namespace DivizuCmdlib {

namespace {

// Words of this file raised at the line its callers know them by.
u64 cmdStatus(u16 code, u32 line) { return _orv_orvlib_status(code, ORV_SOURCE, line); }

const char kOpenFailed[] = "File: %s couldn't be opened (Error: [%u])\n";

// A lock file holds "F:" for a forced lock, then a process id in decimal.
constexpr u64 kMaxLockText = 12;

// Removes the given characters at both ends; a text of them only becomes empty.
void trimEnds(std::string& text, const char* characters) {
  size_t first = text.find_first_not_of(characters);
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  text = text.substr(first, text.find_last_not_of(characters) - first + 1);
}

// The programs of the system that take drive locks.
bool isOwnerProgram(const char* imageName) {
  return osl_strieq(imageName, "VORMEL") || osl_strieq(imageName, "RARAVID");
}

// The lock text this process writes.
std::string ownLockText(bool forced) {
  char text[16];
  osl_snprintf(text, sizeof text, sizeof text - 1, "%s%d", forced ? "F:" : "",
               static_cast<int>(GetCurrentProcessId()));
  return text;
}

}  // namespace

std::string DivIzuGenCmd::m_lastError;

DivIzuGenCmd::DivIzuGenCmd(std::string id, u32 timeoutSeconds, u32 namespaceId, bool lockDevice,
                           bool allocatedNsMode)
    : DivIzuGenCmd(std::move(id), timeoutSeconds, namespaceId, lockDevice, allocatedNsMode, true) {}

DivIzuGenCmd::DivIzuGenCmd(std::string id, u32 timeoutSeconds, u32 namespaceId, bool lockDevice,
                           bool allocatedNsMode, bool identityNeeded)
    : device(nullptr),
      deviceId(std::move(id)),
      sectorSize(0),
      capacity(0),
      devProperty(),
      lockTaken(false),
      timeout(timeoutSeconds) {
  std::string argument;
  u64 status = initObj(argument, lockDevice, namespaceId, allocatedNsMode, identityNeeded);
  if (status) raiseException(status, argument);
}

DivIzuGenCmd::~DivIzuGenCmd() { closeDevice(); }

void DivIzuGenCmd::closeDevice() {
  delete device;
  device = nullptr;
  if (lockTaken) unlockDevOp();
}

_OrvCmdAbortType DivIzuGenCmd::abort(OrvCmdAbortCallback) {
  if (lockTaken) unlockDevOp();
  return VazidaRaduru::ORV_CMD_ABORTED;
}

std::string DivIzuGenCmd::getLastError() { return m_lastError; }

std::string DivIzuGenCmd::postCmdActionStr(_OrvPostCmdAction action) {
  static const char* const kTexts[] = {"No operation",    "System Reboot",   "Power down",
                                       "Power cycle",     "Full power down", "Full power cycle"};
  return static_cast<u32>(action) < sizeof kTexts / sizeof kTexts[0] ? kTexts[action] : kTexts[0];
}

std::string DivIzuGenCmd::getDeviceIdFName(const std::string& id) {
  std::string name = id;
  for (char special : std::string("\\/:*?\"<>|")) {
    for (size_t at = name.find(special); at != std::string::npos; at = name.find(special)) {
      if (at == 0)
        name.erase(0, 1);
      else if (at + 1 == name.size())
        name.erase(at);
      else
        name[at] = '_';
    }
  }
  return name;
}

std::string DivIzuGenCmd::failureMessage(u64 status, const std::string& argument) {
  char text[256] = {};
  orv_get_status_msg(status, text, sizeof text);
  return argument.empty() ? std::string(text) : text + (" (" + argument + ")");
}

void DivIzuGenCmd::raiseException(u64 status, const std::string& argument) {
  m_lastError = failureMessage(status, argument);
  throw status;
}

u8 DivIzuGenCmd::filledModelField(const _OrvDevProperty& record) {
  return record.deviceType == OSL_DEV_SCSI ? OSL_PRODUCT_ID_FIELD : OSL_MODEL_FIELD;
}

namespace {

// The kept texts that are the drive's, in the order they came in; the drives
// past them are counted after the last text of another disk, so that the
// drive's own texts, when they came last, end the reasons.
void addReasons(const osl_unread_list& unread, std::string& argument, const char* id, bool judged) {
  u32 kept = osl_unread_kept(&unread);
  u32 past = osl_unread_rest_for(&unread);
  std::vector<std::string> reasons;
  size_t afterOthers = 0;
  for (u32 i = 0; i < kept; ++i) {
    if (!judged && !osl_unread_may_be(&unread, i, id)) continue;
    reasons.emplace_back(unread.texts[i]);
    if (!unread.own[i]) afterOthers = reasons.size();
  }
  if (past) reasons.insert(reasons.begin() + afterOthers, std::to_string(past) + " more (see the log)");
  for (const std::string& reason : reasons) argument += (argument.empty() ? "" : "; ") + reason;
}

}  // namespace

u64 DivIzuGenCmd::unreadFailure(const osl_unread_list& gaps, std::string& argument, const char* id) {
  addReasons(gaps, argument, id, false);
  return cmdStatus(ORV_ERR_QUERY_DEVICE, 190);
}

u64 DivIzuGenCmd::lookupFailure(const osl_unread_list& record, std::string& argument) {
  addReasons(record, argument, nullptr, true);
  return cmdStatus(ORV_ERR_QUERY_DEVICE, 190);
}

u64 DivIzuGenCmd::initObj(std::string& argument, bool lockDevice, u32 namespaceId, bool allocatedNsMode,
                          bool identityNeeded) {
  convert2SysDevId(deviceId);
  if (deviceId.empty()) return 0;
  if (deviceId.size() >= 19) return cmdStatus(ORV_ERR_UNSUPPORTED_DEVICE, 109);
  std::string owner;
  u64 status = isDevOpLocked(getDeviceIdFName(), owner);
  if (status) return status;
  status = setDevice(namespaceId, allocatedNsMode, identityNeeded, argument);
  if (status || !lockDevice) return status;
  status = lockDevOp(false);
  if (status) {
    delete device;
    device = nullptr;
    argument = "lock";
  }
  return status;
}

u64 DivIzuGenCmd::setDevice(u32 namespaceId, bool allocatedNsMode, bool identityNeeded, std::string& argument) {
  std::unique_ptr<_osl_dev_info> list(new (std::nothrow) _osl_dev_info());
  if (!list) return cmdStatus(ORV_ERR_NO_MEMORY, 154);
  osl_unread_list unread;
  osl_unread_for_drive(&unread, deviceId.c_str());
  u64 status = osl_list_drives(list.get(), &unread);
  // A drive missing from a list the listing could not complete may be one of
  // those it went past: the listing's failure is the reason, not its type.
  // A RAID set the drive's lookup cannot read may hold it the same way.
  const char* id = deviceId.c_str();
  if (status) return osl_unread_count_for(&unread, id) ? unreadFailure(unread, argument, id) : status;

  devProperty = _OrvDevProperty();
  bool found = false;
  u32 unseen = list->count;
  for (u32 i = 0; i < OSL_MAX_DRIVES && unseen > 0 && !found; ++i) {
    const _osl_dev_entry& entry = list->entries[i];
    if (entry.usable != 1) continue;
    --unseen;
    if (!osl_dev_name_equal(entry.id, deviceId.c_str())) continue;
    found = true;
    devProperty.usable = entry.usable;
    devProperty.commandBus = static_cast<osl_bus_type>(entry.commandBus);
    devProperty.deviceType = static_cast<osl_dev_type>(entry.deviceType);
    std::memcpy(devProperty.deviceName, entry.id, sizeof devProperty.deviceName);
    std::memcpy(devProperty.firmwareRevision, entry.firmware, sizeof devProperty.firmwareRevision);
    std::memcpy(devProperty.modelNumber, entry.model, sizeof devProperty.modelNumber);
    devProperty.modelField = entry.modelField;
    std::memcpy(devProperty.serialNumber, entry.serial, sizeof devProperty.serialNumber);
  }
  list.reset();
  if (!found)
    return osl_unread_count_for(&unread, id) ? unreadFailure(unread, argument, id)
                                             : cmdStatus(ORV_ERR_UNSUPPORTED_DEVICE, 192);

  OrvGenDev* made = nullptr;
  osl_unread_list lookup;
  try {
    osl_lookup_scope openedModel(nullptr, devProperty.modelNumber, devProperty.modelField);
    made = OrvGenDev::newOrvDevice(deviceId, namespaceId, false, allocatedNsMode, &lookup);
    if (identityNeeded) {
      char revision[9], model[41], serial[21], component[9];
      if (u64 identification = made->getIdentStrings(revision, model, serial, component)) throw identification;
    }
    made->setIgnoreError();
    made->getPowerMode(&devProperty.unitStatus);
    made->unsetIgnoreError();
  } catch (u64 thrown) {
    delete made;
    return lookup.count ? lookupFailure(lookup, argument) : thrown;
  } catch (...) {
    delete made;
    return cmdStatus(ORV_ERR_GENERIC, 209);
  }
  made->setIgnoreError();
  if (made->getCapacity(capacity, sectorSize, 0) != 0) sectorSize = 512;
  if (made->fillDeviceInfo(devProperty) == 0) {
    osl_trim(devProperty.firmwareRevision);
    osl_trim(devProperty.modelNumber);
    osl_trim(devProperty.serialNumber);
    osl_trim(devProperty.componentId);
    devProperty.modelField = filledModelField(devProperty);
  }
  delete device;
  device = made;
  if (device->getDeviceType() == OSL_DEV_ATA) device->setFeature(5, 1);
  device->unsetIgnoreError();
  return 0;
}

bool DivIzuGenCmd::hasActivePartition() {
  if (!device) throw cmdStatus(ORV_ERR_NOT_INITIALIZED, 326);
  return device->hasActivePartition();
}

u64 DivIzuGenCmd::getBusDevType(std::string id, osl_bus_type& busType, osl_dev_type& deviceType,
                                bool checkLock) {
  convert2SysDevId(id);
  if (checkLock) {
    std::string owner;
    u64 status = isDevOpLocked(getDeviceIdFName(id), owner);
    if (status) return status;
  }
  _OSL_PDEV* drive = osl_open_device(id.c_str());
  if (!drive) return cmdStatus(ORV_ERR_UNSUPPORTED_DEVICE, 62);
  u64 status = 0;
  if (!osl_is_pseudo_handle(drive->handle)) {
    osl_bus_type physicalBus = OSL_BUS_NONE;
    status = osl_get_bus_dev_type(drive, &busType, &deviceType, &physicalBus);
  }
  osl_close_device(drive);
  return status;
}

void DivIzuGenCmd::trimStr(std::string& text) { trimEnds(text, " \t"); }

u64 DivIzuGenCmd::parseNumericValue(const std::string& text, u64& value) {
  if (text.empty()) return cmdStatus(ORV_ERR_MISSING_PARAMETER, 368);
  u32 base = 10;
  std::string digits = text;
  if (digits.compare(0, 2, "0x") == 0) {
    digits.erase(0, 2);
    base = 16;
  }
  size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? (digits.empty() ? digits : "0") : digits.substr(first);
  for (char c : digits) {
    if ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))
      base = 16;
    else if (c < '0' || c > '9')
      return ORV_LIB_STATUS(ORV_ERR_PARAMETER_VALUE);
  }
  if ((base == 10 && digits.size() >= 16) || (base == 16 && digits.size() >= 13))
    return cmdStatus(ORV_ERR_PARAMETER_VALUE, 401);
  return osl_strtou64(digits.c_str(), base, &value);
}

void DivIzuGenCmd::convert2SysDevId(std::string& id) {
  trimEnds(id, " ");
  if (id.empty()) return;
  char name[32];
  osl_dev_name(id.c_str(), name);
  id = name;
}

namespace {

// Reads a lock file of a lock's size into text: 0 with text empty when there
// is no such file or its size is no lock's, else 0 with the text, or the
// open (16) or read (59) failure.
u64 readLockText(const char* path, std::string& text) {
  text.clear();
  u64 size = 0;
  if (osl_file_size(path, &size) != 0 || size == 0 || size > kMaxLockText) return 0;
  FILE* file = osl_fopen(path, OSL_FILE_READ);
  if (!file) {
    osl_log(OSL_LOG_ERROR, kOpenFailed, path, static_cast<u32>(errno));
    return cmdStatus(ORV_ERR_FILE_OPEN, 518);
  }
  char bytes[kMaxLockText + 1] = {};
  size_t read = std::fread(bytes, 1, kMaxLockText, file);
  bool failed = std::ferror(file) != 0;
  osl_fclose(file);
  if (failed) return cmdStatus(ORV_ERR_FILE_READ, 524);
  text.assign(bytes, read);
  return 0;
}

}  // namespace

u64 DivIzuGenCmd::isDevOpLocked(const std::string& fileName, std::string& owner) {
  owner.clear();
  char path[OSL_PATH_SIZE] = {};
  u64 status = osl_get_lock_path(fileName.c_str(), path);
  if (status) return status;
  std::string text;
  status = readLockText(path, text);
  if (status || text.empty()) return status;

  bool forced = osl_strnieq(text.c_str(), "F:", 2);
  u32 processId = 0;
  char image[256] = {};
  if (osl_strtou32(text.c_str() + (forced ? 2 : 0), &processId) == 0 &&
      osl_get_process_name(processId, image) == 0 && isOwnerProgram(image)) {
    char number[16];
    osl_snprintf(number, sizeof number, sizeof number - 1, "%d", static_cast<int>(processId));
    owner = number;
    return forced ? cmdStatus(ORV_ERR_PARALLEL_NVME, 543) : cmdStatus(ORV_ERR_DEVICE_LOCKED, 546);
  }
  // Stale: its owner is gone or is no program of the system.
  osl_remove_file(path);
  return 0;
}

u64 DivIzuGenCmd::lockDevOp(bool forced) {
  std::string fileName = getDeviceIdFName();
  char path[OSL_PATH_SIZE] = {};
  u64 status = osl_get_lock_path(fileName.c_str(), path);
  if (status) return status;
  std::string text = ownLockText(forced);
  // The file is only ever created where none exists, so that of two programs
  // reaching for one drive only one holds it; a live holder's lock stands.
  for (int attempt = 0; attempt < 2; ++attempt) {
    u32 error = 0;
    if (osl_create_new_file(path, text.data(), static_cast<u32>(text.size()), &error) == 0) {
      lockTaken = true;
      return 0;
    }
    if (error != ERROR_FILE_EXISTS) {
      osl_log(OSL_LOG_ERROR, kOpenFailed, path, error);
      return cmdStatus(ORV_ERR_FILE_OPEN, 464);
    }
    std::string owner;
    status = isDevOpLocked(fileName, owner);
    if (status) return status;
    // No live holder: a stale file is gone already. Only a file of no lock's
    // size is cleared before the next try; a lock another program made since
    // the test stands, and the next try finds it.
    u64 size = 0;
    if (osl_file_size(path, &size) == 0 && (size == 0 || size > kMaxLockText)) osl_remove_file(path);
  }
  return ORV_LIB_STATUS(ORV_ERR_DEVICE_LOCKED);
}

u64 DivIzuGenCmd::unlockDevOp() {
  char path[OSL_PATH_SIZE] = {};
  u64 status = osl_get_lock_path(getDeviceIdFName().c_str(), path);
  if (status) return status;
  std::string text;
  // Only this process's own lock is removed: a file another program made
  // after ours was found stale stays. A lock file that cannot be read is
  // one that could not be removed.
  if (readLockText(path, text) != 0) return cmdStatus(ORV_ERR_FILE_CLOSE, 489);
  if (text == ownLockText(false) || text == ownLockText(true)) {
    if (osl_remove_file(path) != 0) return cmdStatus(ORV_ERR_FILE_CLOSE, 489);
  }
  lockTaken = false;
  return 0;
}

u64 DivIzuGenCmd::forceOpLock() { return lockTaken ? 0 : lockDevOp(false); }

u64 DivIzuGenCmd::forceOpUnlock() { return lockTaken ? unlockDevOp() : 0; }

DivIzuCmd::DivIzuCmd(std::string id, u32 timeoutSeconds, u32 namespaceId, bool lockDevice, bool allocatedNsMode)
    : DivIzuCmd(std::move(id), timeoutSeconds, namespaceId, lockDevice, allocatedNsMode, true) {}

DivIzuCmd::DivIzuCmd(std::string id, u32 timeoutSeconds, u32 namespaceId, bool lockDevice, bool allocatedNsMode,
                     bool identityNeeded)
    : DivIzuGenCmd(std::move(id), timeoutSeconds, namespaceId, lockDevice, allocatedNsMode, identityNeeded) {
  if (!device) raiseException(cmdStatus(ORV_ERR_UNSUPPORTED_DEVICE, 629), "");
}

u64 DivIzuCmd::getDeviceInfo(std::string& firmwareRevision, std::string& modelNumber,
                             std::string& serialNumber) {
  startRead();
  if (!device) return cmdStatus(ORV_ERR_NOT_INITIALIZED, 642);
  char revision[9] = {};
  char model[41] = {};
  char serial[21] = {};
  char component[9] = {};
  u64 status = readDrive([&] {
    u64 refreshed = device->refresh();
    return refreshed ? refreshed : device->getIdentStrings(revision, model, serial, component);
  });
  if (status) return status;
  osl_trim(revision);
  osl_trim(model);
  osl_trim(serial);
  firmwareRevision = revision;
  modelNumber = model;
  serialNumber = serial;
  return 0;
}

}  // namespace DivizuCmdlib

namespace DivizuCmdlib {

OrvDevBufDump::OrvDevBufDump(std::string folder, std::string deviceId, unsigned int)
    : dumpFile(nullptr) {
  u64 status = setBasePath(std::move(folder), std::move(deviceId));
  if (status) throw status;
}

OrvDevBufDump::~OrvDevBufDump() {
  clearBuffers();
  if (dumpFile) osl_fclose(dumpFile);
}

u64 OrvDevBufDump::setBasePath(std::string folder, std::string deviceId) {
  trimEnds(folder, " \t");
  if (folder.empty()) folder = ".";
  if (folder != "." && folder != ".." && osl_dir_exists(folder.c_str()) != 0)
    return ORV_LIB_STATUS(ORV_ERR_NOT_DIRECTORY);

  std::string driveName = DivIzuGenCmd::getDeviceIdFName(deviceId);
  size_t lastSeparator = driveName.find_last_of("\\/");
  if (lastSeparator != std::string::npos) driveName.erase(0, lastSeparator + 1);
  std::string baseName = "VORMEL-" + std::to_string(static_cast<long long>(std::time(nullptr))) + "-" + driveName;

  // Room for the folder, the separator and the whole base name, however long
  // the drive's id.
  u32 size = static_cast<u32>(folder.size() + baseName.size() + 128);
  std::unique_ptr<char[]> path(new (std::nothrow) char[size]);
  if (!path) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
  u64 status = osl_path_join(folder.c_str(), baseName.c_str(), path.get(), size);
  basePath = path.get();
  return status;
}

void OrvDevBufDump::setFileTag(std::string tag1, std::string tag2) {
  fileTag1 = std::move(tag1);
  fileTag2 = std::move(tag2);
}

std::string OrvDevBufDump::getDumpFileName() {
  if (basePath.empty()) return std::string();
  if (dumpFileName.empty()) {
    dumpFileName = basePath;
    if (!fileTag1.empty()) dumpFileName += "-" + fileTag1;
    if (!fileTag2.empty()) dumpFileName += "-" + fileTag2;
    dumpFileName += ".bin";
  }
  return dumpFileName;
}

void* OrvDevBufDump::getDumpFile(bool binary) {
  if (!dumpFile) {
    std::string name = getDumpFileName();
    if (!name.empty()) dumpFile = osl_fopen(name.c_str(), binary ? OSL_FILE_WRITE_BINARY : OSL_FILE_WRITE_TEXT);
  }
  return dumpFile;
}

void OrvDevBufDump::binDump(void* file) {
  if (!file) file = getDumpFile(true);
  if (!file) return;
  for (VazidaRaduru::OrvLogBuffer* buffer : buffers)
    if (buffer) buffer->binDump(file);
}

void OrvDevBufDump::hexDump(void* file) {
  if (!file) file = getDumpFile(false);
  if (!file) return;
  for (VazidaRaduru::OrvLogBuffer* buffer : buffers)
    if (buffer) buffer->hexDump(file);
}

void OrvDevBufDump::strDump(std::stringstream& out) {
  out.str(std::string());
  out.clear();
  for (VazidaRaduru::OrvLogBuffer* buffer : buffers)
    if (buffer) buffer->strDump(out);
}

void OrvDevBufDump::clearBuffers() {
  for (VazidaRaduru::OrvLogBuffer* buffer : buffers) delete buffer;
  buffers.clear();
}

}  // namespace DivizuCmdlib
