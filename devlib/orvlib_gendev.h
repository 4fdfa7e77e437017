// The generic drive: one interface over the three command sets, its factory,
// and the records that its operations exchange with the command library.
//
// Every operation returns a status word (0 success) and throws nothing; the
// constructors and the factory throw the word. The slot order of the
// operations is part of the exported interface: keep it.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "devlib/orvlib_buffer.h"
#include "devlib/orvlib_gendata.h"
#include "osl/osl_cmd.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {

// One drive's record in a device list. The identification texts are
// NUL-terminated and trimmed by the command library, but for the model of a
// record its drive did not fill: that is kept as the listing read it
// (osl_read_model), the blanks before it included.
struct _OrvDevProperty {
  u16 deviceNumber;
  char deviceName[32];
  char firmwareRevision[9];
  char modelNumber[41];
  char componentId[9];
  char serialNumber[21];
  osl_bus_type commandBus;
  osl_dev_type deviceType;
  osl_bus_type physicalBus;
  u16 logicalUnit;
  u32 medium;  // osl_medium
  u8 usable;
  // 0 for ATA and SCSI drives; a field of the identify data for NVMe drives.
  u16 identification;
  u32 maxTransferLength;
  u8 unitStatus;  // 1: the drive is active
  u8 locked;      // 1: another program of the system holds the drive's lock
  u8 capabilities1;
  u8 capabilities2;
  u8 state;
  // The characters of the field the model was read from, as
  // _osl_dev_entry::modelField; set by the device list.
  u8 modelField;
};

// The capability and state bits every device class gives the same meaning;
// the others belong to the device class that sets them.
constexpr u8 ORV_CAP1_SMART_SUPPORTED = 0x01;
constexpr u8 ORV_CAP1_SMART_ENABLED = 0x02;
constexpr u8 ORV_CAP1_SECURITY_ENABLED = 0x20;
constexpr u8 ORV_CAP1_SECURITY_LOCKED = 0x40;
constexpr u8 ORV_CAP1_SECURITY_FROZEN = 0x80;
constexpr u8 ORV_CAP2_WRITE_CACHE_SUPPORTED = 0x01;
constexpr u8 ORV_CAP2_WRITE_CACHE_ENABLED = 0x02;
constexpr u8 ORV_STATE_FILLED = 0x01;  // fillDeviceInfo completed

// Sanitize operations; the device classes give the values their meaning.
enum _OrvSanitizeMode : u32 {};

enum _OrvNsAttachAction : u32 {
  ORV_NS_ATTACH = 0,
  ORV_NS_DETACH = 1,
};

// One item of a device dump. The caller owns data once the record is
// appended to its list.
struct _OrvDevDumpItem {
  u32 kind;
  u64 status;
  u8 id;
  u32 param;
  OrvBuffer* data;
};

class ORV_EXPORT OrvGenDev {
 public:
  // Opens the drive once to learn its device type, then builds the class of
  // that command set. The caller owns the object. unread: where the
  // reason a drive behind a RAID controller cannot be looked up is recorded
  // while the drive is opened and its device built.
  static OrvGenDev* newOrvDevice(std::string devicePath, u32 namespaceId, bool ignoreInitError,
                                 bool allocatedNsMode, osl_unread_list* unread = nullptr);

  virtual ~OrvGenDev();
  virtual u64 getIdentStrings(char* firmwareRevision, char* model, char* serial,
                              char* componentId) = 0;
  virtual u64 getIdentifyData(OrvDevGenData<_OrvDataItem>& data, u8 selector) = 0;
  virtual u64 fillDeviceInfo(_OrvDevProperty& property) = 0;
  virtual u64 getSmartAttributes(OrvDevGenData<_OrvSmartAttrItem>& attributes,
                                 std::string parserFile) = 0;
  virtual u64 getSmartReport(OrvDevGenData<_OrvDataItem>& report, u8 reportMode,
                             u8 tripCheckOnly, bool& smartTrip) = 0;
  virtual u64 getErrorCounters(OrvDevGenData<_OrvDataItem>& counters, bool reset) = 0;
  virtual u64 getDeviceStatistics(OrvDevGenData<_OrvDataItem>& statistics) = 0;
  virtual u64 getEnduranceInfo(OrvDevGenData<_OrvDataItem>& endurance) = 0;
  virtual u64 readErrorLog(OrvDevGenData<_OrvErrLogItem>& log) = 0;
  virtual u64 getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) = 0;
  // refreshed: set when the identification could be read again afterwards.
  virtual u64 downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired,
                               u8 deferred, bool useDma, u8 slot) = 0;
  virtual bool isDeferredFwDnldSupported();
  virtual u64 activateFirmware(bool* refreshed, bool* rebootRequired, u8 slot,
                               u8 atNextReset) = 0;
  virtual u64 getSecurityEraseInfo(u32 mode, u16& eraseTime, u8& supported,
                                   u8& enhancedSupported) = 0;
  virtual u64 securityErase(u32 mode, std::string password) = 0;
  virtual u64 sanitize(_OrvSanitizeMode mode);
  virtual u64 exitSanitizeFailure() = 0;
  virtual u64 securityEnable(std::string password);
  virtual u64 securityDisable(std::string password, bool master);
  virtual u64 getSanitizeProgress(u32* state, u16* percent) = 0;
  virtual u64 getCapacity(u64& capacity, u32& sectorSize, u8 perNamespace) = 0;
  virtual u64 getSectorSize(u32& sectorSize) = 0;
  virtual u64 formatUnit(u8 lbaFormat) = 0;
  virtual bool requireFormatUnitProgPoll();
  virtual u64 formatUnitProgress(u8& percent, bool& inProgress);
  virtual u64 setMaxCapacity(u64 blocks) = 0;
  virtual u64 restoreMaxCapacity() = 0;
  virtual bool isFeatureSupported(u32 feature) = 0;
  virtual u64 getFeature(u32 feature, u8* enabled, u32* value) = 0;
  virtual u64 setFeature(u32 feature, u32 value) = 0;
  virtual u64 getLogDirectory(OrvDevGenData<_OrvDirEntry>& directory) = 0;
  virtual u64 rezero();
  virtual u64 readLog(u8 logId, u16 subPage, std::vector<OrvBuffer*>& buffers, u32* formatCode,
                      u8 useGpl, u8 useDma, u32 offset, u32 count) = 0;
  virtual u64 getInternalStatusLogSize(u32 modeType, u32* size) = 0;
  virtual u64 readInternalStatusLog(u32 mode, OrvLogBuffer& log, u32 offset, u32 length,
                                    u8 unscramble) = 0;
  virtual u64 readModeDir(OrvDevGenData<_OrvDirEntry>& directory);
  virtual u64 readModePage(u8 page, u8 subpage, OrvDevGenData<_OrvModeItem>& items,
                           bool savedValues);
  virtual u64 readModeDesc(OrvDevGenData<_OrvModeItem>& items, bool savedValues);
  virtual u64 writeModePage(OrvDevGenData<_OrvModeItem>& items);
  virtual u64 getSelfTestStatus(u8* remaining, u32* running) = 0;
  virtual u64 runSelfTest(u32 type, u32 option) = 0;
  virtual u64 getSelfTestLog(OrvDevGenData<_OrvSelfTestItem>& log) = 0;
  virtual u64 getSelfTestTime(u32 testType, u32* seconds) = 0;
  virtual bool isIoSupported();
  virtual u64 getMaxTransferLen(u32& length);
  virtual u64 getContollerId(u16& id);
  virtual u64 readSectors(u64 lba, OrvBuffer& data, OrvBuffer& metadata) = 0;
  virtual u64 writeSectors(u64 lba, OrvBuffer& data, OrvBuffer& metadata) = 0;
  virtual u64 verifySectors(u64 lba, OrvBuffer& data) = 0;
  virtual u64 flushCache() = 0;
  virtual u64 flushMediaCache();
  virtual u64 initMediaCache();
  virtual u64 getMediaCacheUsage(u16& percent);
  virtual u64 spinUp(u8 option) = 0;
  virtual u64 spinDown(u8 option) = 0;
  virtual u64 getPowerMode(u8* active) = 0;
  virtual u64 readErrorLogPages(std::vector<u64>& lbas) = 0;
  virtual bool isSecurityProtocolSupported(u8 protocol);
  virtual u64 securitySend(u8 protocol, OrvBuffer& data, u16 protocolSpecific, u8 option) = 0;
  virtual u64 securityReceive(u8 protocol, OrvBuffer& data, u16 protocolSpecific,
                              u8 option) = 0;
  virtual u64 dumpAllLogs(std::vector<_OrvDevDumpItem>& records) = 0;
  virtual u64 sendRawCommand(const u8* commandBlock, u8 length, u32 direction, OrvBuffer& data,
                             u8 admin) = 0;
  virtual u64 getNamespaceList(OrvDevGenData<_OrvNvmNsItem>& list, bool allocated);
  virtual u64 getControllerList(OrvDevGenData<_OrvNvmCtlItem>& list);
  virtual u64 createNamespace(u64 size, u64 capacity, u32 lbaFormat, bool metadataAtEnd,
                              u8 protectionInfo, bool protectionFirst, bool shared,
                              u32& namespaceId);
  virtual u64 deleteNamespace(u32 namespaceId);
  virtual u64 changeNamespace(u32 namespaceId, bool allocated);
  virtual u64 attachNamespace(_OrvNsAttachAction action, u32 namespaceId);
  virtual u64 getMetaDataConfig(u32& metadataSize, bool& metadataAtEnd, bool& protectionFirst);
  virtual u64 refresh();
  virtual bool hasActivePartition();
  virtual u64 writeUncorrectable(u64 lba, u32 count) = 0;
  virtual u64 getDefectCounts(OrvDevGenData<_OrvDataItem>& counts) = 0;
  virtual bool isSupportedDrive() = 0;

  void setTimeout(u32 seconds) { timeout = seconds; }
  // Appends this drive's description to the list; nothing for a RAID
  // store's pseudo handle.
  u64 getDriveProperties(_osl_dev_info* list);
  // Nested requests to tolerate failures; the device classes read the count.
  u64 setIgnoreError();
  void unsetIgnoreError();
  osl_bus_type getBusType() const { return busType; }
  osl_dev_type getDeviceType() const { return deviceType; }

  OrvGenDev(const OrvGenDev&) = delete;
  OrvGenDev& operator=(const OrvGenDev&) = delete;

 protected:
  OrvGenDev();
  // Opens the drive and reads its types and transfer limit; throws.
  explicit OrvGenDev(std::string devicePath);

  // The word of code 83, raised in this file, that every refusing slot
  // answers.
  static u64 unsupported();

  // Names of SMART attributes by id for device's drive, from the
  // configuration file at path, or from the built-in configuration when path
  // is empty. Names already in the map stay.
  static u64 loadSmartParser(OrvGenDev* device, std::map<u8, std::string>& names, std::string path);

  _OSL_PDEV* handle;
  osl_dev_type deviceType;
  osl_bus_type busType;
  osl_bus_type physicalBusType;
  OrvBuffer response;
  u32 sectorSize;
  u32 maxTransferLength;
  u32 timeout;
  u8 ignoreErrorCount;

 private:
  // The work on one configuration text; matched tells whether a device entry
  // chose the parser. Without a match the built-in text uses parser 0.
  u64 loadSmartParser(std::map<u8, std::string>& names, const char* text, bool& matched,
                      bool isDefault);
};

// A device of a command set that offers identification, firmware download,
// capacity and power only: every other operation its class must provide
// answers "Feature unsupported".
class OrvBasicDev : public OrvGenDev {
 public:
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

 protected:
  explicit OrvBasicDev(std::string devicePath) : OrvGenDev(std::move(devicePath)) {}
  // The firmware information of a drive with one slot: the running revision
  // in slot 1, which is also the next.
  static void addSingleSlotInfo(OrvDevGenData<_OrvFwInfoItem>& info, const std::string& revision);
};

}  // namespace VazidaRaduru
