// The generic device for SCSI drives.
#pragma once

#include <string>
#include <vector>

#include "devlib/orvlib_gendev.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {

class OrvScsiDev : public OrvGenDev {
 public:
  // Opens the drive and reads its inquiry data and capacity; a failure is
  // thrown unless ignoreInitError.
  OrvScsiDev(std::string devicePath, bool ignoreInitError);
  ~OrvScsiDev() override = default;

  u64 getIdentStrings(char* firmwareRevision, char* model, char* serial,
                      char* componentId) override;
  u64 fillDeviceInfo(_OrvDevProperty& property) override;
  u64 getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) override;
  u64 downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired, u8 deferred,
                       bool useDma, u8 slot) override;
  u64 activateFirmware(bool* refreshed, bool* rebootRequired, u8 slot, u8 atNextReset) override;
  u64 getCapacity(u64& capacity, u32& sectorSize, u8 perNamespace) override;
  u64 spinUp(u8 option) override;
  u64 spinDown(u8 option) override;
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
};

}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
