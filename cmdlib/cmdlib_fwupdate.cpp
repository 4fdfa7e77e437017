#include "cmdlib/cmdlib_fwupdate.h"

#include <cstdio>
#include <vector>

#include "osl/orv_status.h"
#include "osl/osl_file.h"

namespace DivizuCmdlib {

namespace {

u64 fwStatus(u16 code, u32 line) { return _orv_orvlib_status(code, ORV_SOURCE, line); }

constexpr u64 kLargestImage = 0xFFFFFFFFull;

}  // namespace

DivIzuFwUpdate::DivIzuFwUpdate(std::string id, bool dma, u8 firmwareSlot, bool lockDevice, u32 timeoutSeconds)
    : DivIzuCmd(std::move(id), timeoutSeconds, 0, lockDevice, false),
      useDma(dma),
      slot(firmwareSlot),
      rebootRequired(false) {
  if (getDeviceType() == OSL_DEV_NVME && slot >= 9)
    raiseException(fwStatus(ORV_ERR_PARAMETER_VALUE, 109), "firmware_slot");
}

u64 DivIzuFwUpdate::finish(u64 status, bool refreshed) {
  if (status == 0 && !refreshed) closeDevice();
  return status;
}

DivIzuFwDownload::DivIzuFwDownload(std::string id, std::string path, bool deferredDownload, bool dma,
                                   u8 firmwareSlot, bool lockDevice, u32 timeoutSeconds)
    : DivIzuFwUpdate(std::move(id), dma, firmwareSlot, lockDevice, timeoutSeconds), deferred(deferredDownload) {
  setImagePath(std::move(path));
}

void DivIzuFwDownload::setImagePath(std::string path) {
  if (path.empty()) raiseException(fwStatus(ORV_ERR_PARAMETER_VALUE, 152), "image_path");
  imagePath = std::move(path);
}

u64 DivIzuFwDownload::execute() {
  startRead();
  if (!device) return fwStatus(ORV_ERR_NOT_INITIALIZED, 171);
  u64 size = 0;
  if (osl_file_size(imagePath.c_str(), &size) != 0) return fwStatus(ORV_ERR_FILE_OPEN, 198);
  if (size == 0) return fwStatus(ORV_ERR_FW_FILE_SIZE, 202);
  // A download carries at most 4 GiB - 1 bytes.
  if (size > kLargestImage) return ORV_LIB_STATUS(ORV_ERR_FW_FILE_SIZE);
  FILE* file = osl_fopen(imagePath.c_str(), OSL_FILE_READ_BINARY);
  if (!file) return ORV_LIB_STATUS(ORV_ERR_FILE_OPEN);
  std::vector<u8> image(static_cast<size_t>(size));
  size_t read = std::fread(image.data(), 1, image.size(), file);
  osl_fclose(file);
  if (read != image.size()) return ORV_LIB_STATUS(ORV_ERR_FILE_READ);
  bool refreshed = false;
  u64 status = readDrive([&] {
    return device->downloadFirmware(image.data(), static_cast<u32>(size), &refreshed, &rebootRequired, deferred,
                                    useDma, slot);
  });
  return finish(status, refreshed);
}

DivIzuFwDownloadFromBuffer::DivIzuFwDownloadFromBuffer(std::string id, u8* imageBytes, u32 length)
    : DivIzuFwUpdate(std::move(id), false, 0, false, 50000), image(imageBytes), imageLength(length), deferred(false) {}

u64 DivIzuFwDownloadFromBuffer::execute() {
  startRead();
  if (!device) return fwStatus(ORV_ERR_NOT_INITIALIZED, 249);
  bool refreshed = false;
  u64 status = readDrive(
      [&] { return device->downloadFirmware(image, imageLength, &refreshed, &rebootRequired, deferred, false, 0); });
  return finish(status, refreshed);
}

DivIzuFwActivate::DivIzuFwActivate(std::string id, u8 firmwareSlot, bool flag, bool lockDevice, u32 timeoutSeconds)
    : DivIzuFwUpdate(std::move(id), false, firmwareSlot, lockDevice, timeoutSeconds), activationFlag(flag) {}

u64 DivIzuFwActivate::execute() {
  startRead();
  if (!device) return fwStatus(ORV_ERR_NOT_INITIALIZED, 293);
  bool refreshed = false;
  u64 status = readDrive([&] { return device->activateFirmware(&refreshed, &rebootRequired, slot, false); });
  return finish(status, refreshed);
}

DivIzuFwInfo::DivIzuFwInfo(std::string id, u32 timeoutSeconds)
    : DivIzuCmd(std::move(id), timeoutSeconds, 0, false, false, false) {}

u64 DivIzuFwInfo::execute() {
  startRead();
  if (!device) return ORV_LIB_STATUS(ORV_ERR_NOT_INITIALIZED);
  info.clear();
  return readDrive([&] { return device->getFirmwareInfo(info); });
}

std::string DivIzuFwInfo::currFwRev() const {
  return info.items.empty() ? "Unknown" : info.items[0].currentRevision;
}

u8 DivIzuFwInfo::slotCount() const { return static_cast<u8>(slots().size()); }

u8 DivIzuFwInfo::currSlot() const { return info.items.empty() ? 0 : info.items[0].currentSlot; }

u8 DivIzuFwInfo::nextSlot() const { return info.items.empty() ? 0 : info.items[0].nextSlot; }

std::vector<_OrvFwSlot>::const_iterator DivIzuFwInfo::slotBegin() const { return slots().begin(); }

std::vector<_OrvFwSlot>::const_iterator DivIzuFwInfo::slotEnd() const { return slots().end(); }

}  // namespace DivizuCmdlib
