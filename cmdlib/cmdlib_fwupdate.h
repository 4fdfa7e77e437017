// Firmware commands on one drive: download of an image file or of an image
// in memory, activation, and the firmware-slot information. Each returns the
// device operation's status unchanged.
#pragma once

#include <string>
#include <vector>

#include "cmdlib/cmdlib_gencmd.h"
#include "devlib/orvlib_gendata.h"

namespace DivizuCmdlib {

using VazidaRaduru::_OrvFwInfoItem;
using VazidaRaduru::_OrvFwSlot;

// The firmware-changing commands. After an operation that succeeded without
// the drive's identification being read again, the device is closed (and
// the command's lock given back) at once.
class ORV_EXPORT DivIzuFwUpdate : public DivIzuCmd {
 public:
  // On an NVMe drive a slot of 9 or more is refused (code 35, "firmware_slot").
  DivIzuFwUpdate(std::string deviceId, bool useDma, u8 slot, bool lockDevice, u32 timeout);
  u64 execute() override = 0;
  bool isRebootRequired() const { return rebootRequired; }
  void setUseDmaFlag(bool flag) { useDma = flag; }

 protected:
  u64 finish(u64 status, bool refreshed);

  bool useDma;
  u8 slot;
  bool rebootRequired;
};

class ORV_EXPORT DivIzuFwDownload : public DivIzuFwUpdate {
 public:
  DivIzuFwDownload(std::string deviceId, std::string imagePath, bool deferred, bool useDma, u8 slot,
                   bool lockDevice, u32 timeout);
  // An empty path is refused (code 35, "image_path").
  void setImagePath(std::string path);
  void setDeferredDownloadFlag(bool flag) { deferred = flag; }
  bool isDeferredDownloadSupported() { return device ? device->isDeferredFwDnldSupported() : false; }
  u64 execute() override;

 private:
  std::string imagePath;
  bool deferred;
};

// The image belongs to the caller and must outlive execute.
class ORV_EXPORT DivIzuFwDownloadFromBuffer : public DivIzuFwUpdate {
 public:
  DivIzuFwDownloadFromBuffer(std::string deviceId, u8* image, u32 imageLength);
  void setDeferredDownloadFlag(bool flag) { deferred = flag; }
  bool isDeferredDownloadSupported() { return device ? device->isDeferredFwDnldSupported() : false; }
  u64 execute() override;

 private:
  u8* image;
  u32 imageLength;
  bool deferred;
};

class ORV_EXPORT DivIzuFwActivate : public DivIzuFwUpdate {
 public:
  // The flag is kept; what the activation does belongs to the device class.
  DivIzuFwActivate(std::string deviceId, u8 slot, bool activationFlag, bool lockDevice, u32 timeout);
  u64 execute() override;

 private:
  bool activationFlag;
};

class ORV_EXPORT DivIzuFwInfo : public DivIzuCmd {
 public:
  // Opens the drive for its firmware alone: a drive whose identification
  // texts cannot be read is still asked.
  DivIzuFwInfo(std::string deviceId, u32 timeout);
  u64 execute() override;
  // Of the first item: "Unknown", 0 and an empty range when there is none.
  std::string currFwRev() const;
  u8 slotCount() const;
  u8 currSlot() const;
  u8 nextSlot() const;
  std::vector<_OrvFwSlot>::const_iterator slotBegin() const;
  std::vector<_OrvFwSlot>::const_iterator slotEnd() const;
  u8 bufCount() const { return static_cast<u8>(info.buffers.size()); }
  std::vector<VazidaRaduru::OrvBuffer*>::const_iterator bufBegin() const { return info.buffers.begin(); }
  std::vector<VazidaRaduru::OrvBuffer*>::const_iterator bufEnd() const { return info.buffers.end(); }

 private:
  const std::vector<_OrvFwSlot>& slots() const { return info.items.empty() ? noSlots : info.items[0].slots; }

  std::vector<_OrvFwSlot> noSlots;
  VazidaRaduru::OrvDevGenData<_OrvFwInfoItem> info;
};

}  // namespace DivizuCmdlib
