// A device class for tests: every slot the generic device leaves to its
// command sets refuses; a test overrides what it needs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "devlib/orvlib_decl.h"
#include "devlib/orvlib_gendev.h"

class RefusingDevice : public VazidaRaduru::OrvGenDev {
 public:
  using OrvBuffer = VazidaRaduru::OrvBuffer;
  template <typename Item>
  using OrvDevGenData = VazidaRaduru::OrvDevGenData<Item>;
  using _OrvDataItem = VazidaRaduru::_OrvDataItem;

  RefusingDevice() = default;
  explicit RefusingDevice(const std::string& path) : OrvGenDev(path) {}

  u64 getIdentStrings(char*, char*, char*, char*) override { return unsupported(); }
  bool isFeatureSupported(u32) override { return false; }
  u64 getIdentifyData(OrvDevGenData<_OrvDataItem>&, u8) override { return unsupported(); }
  u64 fillDeviceInfo(VazidaRaduru::_OrvDevProperty&) override { return unsupported(); }
  u64 getSmartAttributes(OrvDevGenData<VazidaRaduru::_OrvSmartAttrItem>&, std::string) override { return unsupported(); }
  u64 getSmartReport(OrvDevGenData<_OrvDataItem>&, u8, u8, bool&) override { return unsupported(); }
  u64 getErrorCounters(OrvDevGenData<_OrvDataItem>&, bool) override { return unsupported(); }
  u64 getDeviceStatistics(OrvDevGenData<_OrvDataItem>&) override { return unsupported(); }
  u64 getEnduranceInfo(OrvDevGenData<_OrvDataItem>&) override { return unsupported(); }
  u64 readErrorLog(OrvDevGenData<VazidaRaduru::_OrvErrLogItem>&) override { return unsupported(); }
  u64 getFirmwareInfo(OrvDevGenData<VazidaRaduru::_OrvFwInfoItem>&) override { return unsupported(); }
  u64 downloadFirmware(u8*, u32, bool*, bool*, u8, bool, u8) override { return unsupported(); }
  u64 activateFirmware(bool*, bool*, u8, u8) override { return unsupported(); }
  u64 getSecurityEraseInfo(u32, u16&, u8&, u8&) override { return unsupported(); }
  u64 securityErase(u32, std::string) override { return unsupported(); }
  u64 exitSanitizeFailure() override { return unsupported(); }
  u64 getSanitizeProgress(u32*, u16*) override { return unsupported(); }
  u64 getCapacity(u64&, u32&, u8) override { return unsupported(); }
  u64 getSectorSize(u32&) override { return unsupported(); }
  u64 formatUnit(u8) override { return unsupported(); }
  u64 setMaxCapacity(u64) override { return unsupported(); }
  u64 restoreMaxCapacity() override { return unsupported(); }
  u64 getFeature(u32, u8*, u32*) override { return unsupported(); }
  u64 setFeature(u32, u32) override { return unsupported(); }
  u64 getLogDirectory(OrvDevGenData<VazidaRaduru::_OrvDirEntry>&) override { return unsupported(); }
  u64 readLog(u8, u16, std::vector<OrvBuffer*>&, u32*, u8, u8, u32, u32) override { return unsupported(); }
  u64 getInternalStatusLogSize(u32, u32*) override { return unsupported(); }
  u64 readInternalStatusLog(u32, VazidaRaduru::OrvLogBuffer&, u32, u32, u8) override { return unsupported(); }
  u64 getSelfTestStatus(u8*, u32*) override { return unsupported(); }
  u64 runSelfTest(u32, u32) override { return unsupported(); }
  u64 getSelfTestLog(OrvDevGenData<VazidaRaduru::_OrvSelfTestItem>&) override { return unsupported(); }
  u64 getSelfTestTime(u32, u32*) override { return unsupported(); }
  u64 readSectors(u64, OrvBuffer&, OrvBuffer&) override { return unsupported(); }
  u64 writeSectors(u64, OrvBuffer&, OrvBuffer&) override { return unsupported(); }
  u64 verifySectors(u64, OrvBuffer&) override { return unsupported(); }
  u64 flushCache() override { return unsupported(); }
  u64 spinUp(u8) override { return unsupported(); }
  u64 spinDown(u8) override { return unsupported(); }
  u64 getPowerMode(u8*) override { return unsupported(); }
  u64 readErrorLogPages(std::vector<u64>&) override { return unsupported(); }
  u64 securitySend(u8, OrvBuffer&, u16, u8) override { return unsupported(); }
  u64 securityReceive(u8, OrvBuffer&, u16, u8) override { return unsupported(); }
  u64 dumpAllLogs(std::vector<VazidaRaduru::_OrvDevDumpItem>&) override { return unsupported(); }
  u64 sendRawCommand(const u8*, u8, u32, OrvBuffer&, u8) override { return unsupported(); }
  u64 writeUncorrectable(u64, u32) override { return unsupported(); }
  u64 getDefectCounts(OrvDevGenData<_OrvDataItem>&) override { return unsupported(); }
  bool isSupportedDrive() override { return false; }

  // The SMART attribute names of a device, from the built-in configuration
  // (empty path) or a file.
  static u64 loadNames(OrvGenDev* device, std::map<u8, std::string>& names, const std::string& path) {
    return loadSmartParser(device, names, path);
  }
};
