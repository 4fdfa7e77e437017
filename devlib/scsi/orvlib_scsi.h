// The generic device for SCSI drives.
#pragma once

#include <string>
#include <vector>

#include "devlib/orvlib_gendev.h"
#include "devlib/scsi/orvlib_buffer_scsi.h"
#include "devlib/scsi/orvlib_cmd_scsi.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {

// What fillDeviceInfo tells of a SCSI drive besides the bits every device
// class shares.
constexpr u8 ORV_SCSI_CAP1_SELF_TEST = 0x04;            // SEND DIAGNOSTIC
constexpr u8 ORV_SCSI_CAP2_DOWNLOAD = 0x04;             // WRITE BUFFER mode 05h or 07h
constexpr u8 ORV_SCSI_CAP2_DEFERRED_DOWNLOAD = 0x08;    // modes 0Eh and 0Fh
constexpr u8 ORV_SCSI_CAP2_LOG_PAGES = 0x20;            // LOG SENSE
constexpr u8 ORV_SCSI_CAP2_DESCRIPTOR_SENSE = 0x40;     // the control page's D_SENSE
constexpr u8 ORV_SCSI_CAP2_CRYPTO_SANITIZE = 0x80;      // SANITIZE, cryptographic erase

class OrvScsiDev : public OrvGenDev {
 public:
  // Opens the drive and reads its inquiry data and capacity; a failure is
  // thrown unless ignoreInitError.
  OrvScsiDev(std::string devicePath, bool ignoreInitError);
  ~OrvScsiDev() override = default;

  // Revision, product identification, unit serial number and vendor
  // identification.
  u64 getIdentStrings(char* firmwareRevision, char* model, char* serial,
                      char* componentId) override;
  u64 fillDeviceInfo(_OrvDevProperty& property) override;
  // One slot, holding the running revision.
  u64 getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) override;
  // WRITE BUFFER: an image that fits one transfer is downloaded and
  // activated in one command (mode 05h); a larger or deferred one goes in
  // segments (mode 0Eh) and, unless deferred, is activated (mode 0Fh).
  u64 downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired, u8 deferred,
                       bool useDma, u8 slot) override;
  // Activates a deferred image (mode 0Fh); at the next reset the drive
  // activates it by itself, so that asks for nothing.
  u64 activateFirmware(bool* refreshed, bool* rebootRequired, u8 slot, u8 atNextReset) override;
  u64 getCapacity(u64& capacity, u32& sectorSize, u8 perNamespace) override;
  u64 spinUp(u8 option) override;
  u64 spinDown(u8 option) override;
  // 1 unless TEST UNIT READY reports the unit as becoming ready.
  u64 getPowerMode(u8* active) override;
  u64 refresh() override;
  bool isSupportedDrive() override { return true; }

  // Not offered for SCSI drives.
  u64 getIdentifyData(OrvDevGenData<_OrvDataItem>&, u8) override { return unsupported(); }
  u64 getSmartAttributes(OrvDevGenData<_OrvSmartAttrItem>&, std::string) override { return unsupported(); }
  u64 getSmartReport(OrvDevGenData<_OrvDataItem>&, u8, u8, bool&) override { return unsupported(); }
  u64 getErrorCounters(OrvDevGenData<_OrvDataItem>&, bool) override { return unsupported(); }
  u64 getDeviceStatistics(OrvDevGenData<_OrvDataItem>&) override { return unsupported(); }
  u64 getEnduranceInfo(OrvDevGenData<_OrvDataItem>&) override { return unsupported(); }
  u64 readErrorLog(OrvDevGenData<_OrvErrLogItem>&) override { return unsupported(); }
  u64 getSecurityEraseInfo(u32, u16&, u8&, u8&) override { return unsupported(); }
  u64 securityErase(u32, std::string) override { return unsupported(); }
  u64 exitSanitizeFailure() override { return unsupported(); }
  u64 getSanitizeProgress(u32*, u16*) override { return unsupported(); }
  u64 getSectorSize(u32&) override { return unsupported(); }
  u64 formatUnit(u8) override { return unsupported(); }
  u64 setMaxCapacity(u64) override { return unsupported(); }
  u64 restoreMaxCapacity() override { return unsupported(); }
  bool isFeatureSupported(u32) override { return false; }
  u64 setFeature(u32, u32) override { return unsupported(); }
  u64 getFeature(u32, u8*, u32*) override { return unsupported(); }
  u64 getLogDirectory(OrvDevGenData<_OrvDirEntry>&) override { return unsupported(); }
  u64 readLog(u8, u16, std::vector<OrvBuffer*>&, u32*, u8, u8, u32, u32) override { return unsupported(); }
  u64 getInternalStatusLogSize(u32, u32*) override { return unsupported(); }
  u64 readInternalStatusLog(u32, OrvLogBuffer&, u32, u32, u8) override { return unsupported(); }
  u64 getSelfTestStatus(u8*, u32*) override { return unsupported(); }
  u64 runSelfTest(u32, u32) override { return unsupported(); }
  u64 getSelfTestLog(OrvDevGenData<_OrvSelfTestItem>&) override { return unsupported(); }
  u64 getSelfTestTime(u32, u32*) override { return unsupported(); }
  u64 readSectors(u64, OrvBuffer&, OrvBuffer&) override { return unsupported(); }
  u64 writeSectors(u64, OrvBuffer&, OrvBuffer&) override { return unsupported(); }
  u64 verifySectors(u64, OrvBuffer&) override { return unsupported(); }
  u64 flushCache() override { return unsupported(); }
  u64 readErrorLogPages(std::vector<u64>&) override { return unsupported(); }
  u64 securitySend(u8, OrvBuffer&, u16, u8) override { return unsupported(); }
  u64 securityReceive(u8, OrvBuffer&, u16, u8) override { return unsupported(); }
  u64 dumpAllLogs(std::vector<_OrvDevDumpItem>&) override { return unsupported(); }
  u64 sendRawCommand(const u8*, u8, u32, OrvBuffer&, u8) override { return unsupported(); }
  u64 writeUncorrectable(u64, u32) override { return unsupported(); }
  u64 getDefectCounts(OrvDevGenData<_OrvDataItem>&) override { return unsupported(); }

 private:
  // The standard inquiry data and the unit serial number.
  u64 identify();
  u64 send(VazidaRaduruScsiInternal::OrvScsiCmd& command, void* data, u32 length,
           u8 ignoreError);
  u64 send(VazidaRaduruScsiInternal::OrvScsiCmd& command, void* data = nullptr, u32 length = 0) {
    return send(command, data, length, ignoreErrorCount ? 1 : 0);
  }
  // Whether the drive reports the command (for WRITE BUFFER: the mode; -1:
  // none) as supported; a drive that cannot tell supports nothing.
  bool isSupported(u8 operationCode, int serviceAction);
  // A bit of a mode page's current values; a page the drive does not return
  // whole throws code 127.
  u64 modeBit(u8 page, u32 byteInPage, u8 bit, const char* name, bool& value);
  // The length of one WRITE BUFFER segment: the transfer limit, kept to
  // whole offset boundaries.
  u32 segmentLength() const;
  // Reads the identification again after the firmware changed.
  u64 refreshAfterFirmwareChange(bool* refreshed);

  VazidaRaduruScsiInternal::OrvScsiInquiryData inquiry;
  std::string serialNumber;
  u64 identifyStatus;  // of the last identification
};

}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
