// The command library's base: a command is built for one drive id, opens the
// drive as a generic device under the drive's lock file, runs through
// execute and releases device and lock when it is destroyed. A constructor
// that fails leaves a readable text in getLastError and throws the status.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "devlib/orvlib_gendev.h"
#include "osl/osl_cmd.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {

// What a drive needs after a firmware operation.
enum _OrvPostCmdAction : u32 {
  ORV_POST_NO_OPERATION = 0,
  ORV_POST_SYSTEM_REBOOT = 1,
  ORV_POST_POWER_DOWN = 2,
  ORV_POST_POWER_CYCLE = 3,
  ORV_POST_FULL_POWER_DOWN = 4,
  ORV_POST_FULL_POWER_CYCLE = 5,
};

// A command's answer to an abort request.
enum _OrvCmdAbortType : u32 {
  ORV_CMD_ABORTED = 0,
};
typedef _OrvCmdAbortType (*OrvCmdAbortCallback)();

}  // namespace VazidaRaduru

namespace DivizuCmdlib {

using VazidaRaduru::_OrvCmdAbortType;
using VazidaRaduru::_OrvDevProperty;
using VazidaRaduru::_OrvPostCmdAction;
using VazidaRaduru::OrvCmdAbortCallback;
using VazidaRaduru::OrvGenDev;

class ORV_EXPORT DivIzuGenCmd {
 public:
  // An empty (or all-blank) id makes a command without a device.
  DivIzuGenCmd(std::string deviceId, u32 timeout, u32 namespaceId, bool lockDevice,
               bool allocatedNsMode);
  virtual ~DivIzuGenCmd();
  DivIzuGenCmd(const DivIzuGenCmd&) = delete;
  DivIzuGenCmd& operator=(const DivIzuGenCmd&) = delete;

  virtual u64 execute() = 0;
  // Removes the command's own lock; the callback is not called.
  virtual _OrvCmdAbortType abort(OrvCmdAbortCallback callback);

  // The text of the last constructor failure of any command of the process.
  static std::string getLastError();
  // Why this command's last read of its drive failed, told as getLastError
  // tells a constructor's failure, when the calls that failed named
  // themselves (a controller's requests, a disk's queries); empty otherwise.
  const std::string& getFailureText() const { return failureText; }
  static std::string postCmdActionStr(_OrvPostCmdAction action);

  std::string getDeviceId() const { return deviceId; }
  // The id made fit for a file name: each of \ / : * ? " < > | is dropped at
  // the first position, ends the name at the last, and becomes "_" elsewhere.
  std::string getDeviceIdFName() const { return getDeviceIdFName(deviceId); }
  static std::string getDeviceIdFName(const std::string& id);
  bool hasValidDevice() const { return device != nullptr; }
  osl_bus_type getBusType() const { return device ? device->getBusType() : OSL_BUS_NONE; }
  osl_dev_type getDeviceType() const { return device ? device->getDeviceType() : OSL_DEV_NONE; }
  u64 getDiskCapacity() const { return capacity; }
  u32 getSectorSize() const { return sectorSize; }
  _OrvDevProperty getDevProperty() const { return devProperty; }
  u64 setIgnoreError() { return device ? device->setIgnoreError() : 0; }
  void unsetIgnoreError() {
    if (device) device->unsetIgnoreError();
  }
  // Throws code 2 without a device.
  bool hasActivePartition();

  // The command bus and device type of a drive, opened for the question
  // only; with checkLock a drive held by a program of the system is refused.
  static u64 getBusDevType(std::string id, osl_bus_type& busType, osl_dev_type& deviceType,
                           bool checkLock);

 protected:
  // Deletes the device and gives the command's lock back.
  void closeDevice();
  // Removes blanks and tabs at both ends.
  static void trimStr(std::string& text);
  // Decimal, or hexadecimal with "0x" or with a letter A to F.
  static u64 parseNumericValue(const std::string& text, u64& value);

  // identityNeeded false opens a drive whose identification texts cannot be
  // read (a SCSI drive whose serial number page failed), for a command that
  // reads no more than its firmware; by default the opening fails with that
  // failure.
  DivIzuGenCmd(std::string deviceId, u32 timeout, u32 namespaceId, bool lockDevice, bool allocatedNsMode,
               bool identityNeeded);

  // Sets the last-error text from the status (and the argument's name when
  // one is given), then throws the status.
  [[noreturn]] static void raiseException(u64 status, const std::string& argument);
  // The status's message, then " (argument)" when one is given.
  static std::string failureMessage(u64 status, const std::string& argument);
  // Runs one read of the command's drive (a device operation); when it
  // fails, what the calls that failed in it named of themselves is kept for
  // getFailureText. A read of an open drive asks for no disk a listing
  // could not read: what it keeps is the drive's own.
  template <typename Read>
  u64 readDrive(Read read) {
    startRead();
    osl_unread_list lookup;
    u64 status;
    {
      osl_lookup_scope scope(&lookup);
      status = read();
    }
    std::string reasons;
    if (status && lookup.count) lookupFailure(lookup, reasons);
    if (!reasons.empty()) failureText = failureMessage(status, reasons);
    return status;
  }
  // Every read of the drive starts without the failure text of an earlier
  // one, also a read that ends before it reaches the drive.
  void startRead() { failureText.clear(); }
  // The field the model of a record its drive filled came from: a SCSI
  // product identification, or a model number.
  static u8 filledModelField(const _OrvDevProperty& record);
  // A drive left unread for what its listing or its lookup could not read:
  // code 19, with those reasons that may be the drive with this id (null:
  // any) by the models the lookup scopes open name (osl_unread_may_be), the
  // texts met at the drive's own place judged alike, added to argument, and
  // how many drives past the kept texts may be it, counted after the last
  // reason that is not the drive's own.
  static u64 unreadFailure(const osl_unread_list& gaps, std::string& argument, const char* id = nullptr);
  // The same for a drive whose lookup kept its reasons in its own record
  // (osl_lookup_scope): each was judged the drive's as it was kept, its own
  // texts too, under every scope open at that moment, and is added as it is.
  static u64 lookupFailure(const osl_unread_list& record, std::string& argument);

  // 0 when the drive is free or its lock file was stale (and is gone now);
  // 166, or 170 for a forced lock, when a program of the system holds it,
  // with that program's process id in owner.
  static u64 isDevOpLocked(const std::string& fileName, std::string& owner);
  u64 forceOpLock();
  u64 forceOpUnlock();

  OrvGenDev* device;
  std::string deviceId;
  u32 sectorSize;
  u64 capacity;
  _OrvDevProperty devProperty;
  bool lockTaken;
  u32 timeout;

 private:
  u64 initObj(std::string& argument, bool lockDevice, u32 namespaceId, bool allocatedNsMode, bool identityNeeded);
  static void convert2SysDevId(std::string& id);
  // argument: what the listing could not read, when the drive is missing
  // from an incomplete list.
  u64 setDevice(u32 namespaceId, bool allocatedNsMode, bool identityNeeded, std::string& argument);
  u64 lockDevOp(bool forced);
  u64 unlockDevOp();

  static std::string m_lastError;
  std::string failureText;
};

// A command that always has a device, and reads the drive's identification.
class ORV_EXPORT DivIzuCmd : public DivIzuGenCmd {
 public:
  // Throws code 43 when the id names no drive.
  DivIzuCmd(std::string deviceId, u32 timeout, u32 namespaceId, bool lockDevice, bool allocatedNsMode);
  // The drive's current texts, trimmed.
  u64 getDeviceInfo(std::string& firmwareRevision, std::string& modelNumber, std::string& serialNumber);

 protected:
  DivIzuCmd(std::string deviceId, u32 timeout, u32 namespaceId, bool lockDevice, bool allocatedNsMode,
            bool identityNeeded);
};

// Log buffers read from one drive, written out as raw bytes or hex dumps into
// one dump file per object, or as compact hex text. The file is named after
// the system, the time the object was made and the drive:
// <folder>\VORMEL-<seconds>-<drive>[-<tag1>][-<tag2>].bin, whatever the form.
class ORV_EXPORT OrvDevBufDump {
 public:
  // An all-blank folder stands for "."; a folder that does not exist throws
  // code 57. Nothing reads the number.
  OrvDevBufDump(std::string folder, std::string deviceId, unsigned int reserved);
  // Deletes the buffers still listed and closes the dump file.
  ~OrvDevBufDump();
  OrvDevBufDump(const OrvDevBufDump&) = delete;
  OrvDevBufDump& operator=(const OrvDevBufDump&) = delete;

  // Made on the first call, then fixed.
  std::string getDumpFileName();
  // To file, or to the dump file when file is null (the first such dump
  // opens it, in the mode of its form, for the object's life).
  void binDump(void* file);
  void hexDump(void* file);
  // "%02x " per byte of every buffer, or "Empty Buffer" for one without
  // bytes; out is emptied first.
  void strDump(std::stringstream& out);

  // The object owns what it lists, null entries included.
  void addBuffer(VazidaRaduru::OrvLogBuffer* buffer) { buffers.push_back(buffer); }
  void clearBuffers();
  unsigned int bufCount() const { return static_cast<unsigned int>(buffers.size()); }
  std::vector<VazidaRaduru::OrvLogBuffer*>::iterator bufBegin() { return buffers.begin(); }
  std::vector<VazidaRaduru::OrvLogBuffer*>::iterator bufEnd() { return buffers.end(); }

 protected:
  // Taken only when set before the file name is first made.
  void setFileTag(std::string tag1, std::string tag2);

 private:
  u64 setBasePath(std::string folder, std::string deviceId);
  void* getDumpFile(bool binary);

  std::vector<VazidaRaduru::OrvLogBuffer*> buffers;
  std::string basePath;
  std::string fileTag1;
  std::string fileTag2;
  std::string dumpFileName;
  FILE* dumpFile;
};

}  // namespace DivizuCmdlib
