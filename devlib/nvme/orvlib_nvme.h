// The generic device for NVMe drives: identification from the Identify
// Controller and Identify Namespace data it keeps for its whole life, and
// firmware download in 4096-byte pieces with its commit. Every operation it
// does not offer answers "Feature unsupported".
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "devlib/nvme/orvlib_buffer_nvme.h"
#include "devlib/nvme/orvlib_cmd_nvme.h"
#include "devlib/orvlib_gendev.h"

namespace VazidaRaduru {
namespace VazidaRaduruNvme {

// The capability and state bits of an NVMe drive's property record beside
// the common ones.
constexpr u8 ORV_NVME_CAP1_SELF_TEST = 0x04;     // OACS self-test
constexpr u8 ORV_NVME_CAP1_FORMAT = 0x08;        // OACS format, with the security list
constexpr u8 ORV_NVME_CAP1_CRYPTO_ERASE = 0x10;  // FNA crypto erase, with the security list
constexpr u8 ORV_NVME_CAP2_FW_DOWNLOAD = 0x04;   // OACS firmware commit and download
constexpr u8 ORV_NVME_CAP2_DEFERRED = 0x08;      // deferred download possible
constexpr u8 ORV_NVME_CAP2_FW_ACTIVATE = 0x10;   // as the download bit
constexpr u8 ORV_NVME_CAP2_VENDOR_F7 = 0x20;     // the drive answers vendor feature F7h
constexpr u8 ORV_NVME_CAP2_ALWAYS = 0x40;

constexpr u32 ORV_NVME_ALL_NAMESPACES = 0xFFFFFFFF;

class OrvNvmeDev : public OrvBasicDev {
 public:
  // Opens the drive (and, for a specific namespace, an I/O handle) and
  // identifies it; a failed identification is thrown unless ignoreInitError.
  // allocatedNsMode identifies the namespace as an allocated one (CNS 11h).
  OrvNvmeDev(std::string devicePath, unsigned int namespaceId, bool ignoreInitError, bool allocatedNsMode);
  ~OrvNvmeDev() override;

  // The identify texts (9, 41, 21 and 9 bytes), the fourth the vendor's
  // component id.
  u64 getIdentStrings(char* firmwareRevision, char* model, char* serial, char* componentId) override;
  // A copy of the controller data (selector non-zero) or the namespace data
  // and its named values.
  u64 getIdentifyData(OrvDevGenData<_OrvDataItem>& data, u8 selector) override;
  u64 fillDeviceInfo(_OrvDevProperty& property) override;
  // The running revision, every slot's revision, the active and the next
  // slot.
  u64 getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) override;
  // Firmware Image Download in 4096-byte pieces, then one Firmware Commit
  // (slot 0 means slot 1); useDma is not used.
  u64 downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired, u8 deferred,
                       bool useDma, u8 slot) override;
  // Firmware Commit of the image already in slot, at once or at the next
  // reset.
  u64 activateFirmware(bool* refreshed, bool* rebootRequired, u8 slot, u8 atNextReset) override;
  u64 getContollerId(u16& id) override;
  u64 spinUp(u8) override { return 0; }
  u64 spinDown(u8) override { return 0; }
  u64 getPowerMode(u8* active) override;
  // Identify Controller, the namespace again, the vendor feature probe.
  u64 refresh() override;
  bool isSupportedDrive() override { return true; }

  // Health and error reporting: the SMART / Health Information log as named
  // values (the whole report, the trip check alone, or the wear figures)
  // and the used entries of the Error Information log.
  u64 getSmartReport(OrvDevGenData<_OrvDataItem>& report, u8 reportMode, u8 tripCheckOnly,
                     bool& smartTrip) override;
  u64 getEnduranceInfo(OrvDevGenData<_OrvDataItem>& endurance) override;
  u64 readErrorLog(OrvDevGenData<_OrvErrLogItem>& log) override;

  // Features, logs and the internal status log: the library's feature
  // numbers through Get and Set Features, the log directory, any log in
  // transfer-sized pieces, and the vendor internal log by type.
  bool isFeatureSupported(u32 feature) override;
  u64 getFeature(u32 feature, u8* enabled, u32* value) override;
  u64 setFeature(u32 feature, u32 value) override;
  u64 getLogDirectory(OrvDevGenData<_OrvDirEntry>& directory) override;
  u64 readLog(u8 logId, u16 subPage, std::vector<OrvBuffer*>& buffers, u32* formatCode, u8, u8, u32 offset,
              u32 count) override;
  u64 getInternalStatusLogSize(u32 mode, u32* size) override;
  u64 readInternalStatusLog(u32 mode, OrvLogBuffer& log, u32 offset, u32 length, u8 unscramble) override;
  // Erase, sanitize, format and capacity. Both format operations keep the
  // namespace's metadata and protection settings.
  u64 getSecurityEraseInfo(u32 mode, u16& eraseTime, u8& supported, u8& enhancedSupported) override;
  // Format NVM with a cryptographic (mode 1) or user data erase; the
  // password plays no part.
  u64 securityErase(u32 mode, std::string password) override;
  // Mode 1 crypto erase, 2 block erase, 3 overwrite.
  u64 sanitize(_OrvSanitizeMode mode) override;
  u64 exitSanitizeFailure() override;
  // state 0 running, 2 done, 3 failed, 15 not known.
  u64 getSanitizeProgress(u32* state, u16* percent) override;
  // A byte count (TNVMCAP) with namespace management, otherwise blocks.
  u64 getCapacity(u64& capacity, u32& sectorSize, u8 perNamespace) override;
  u64 getSectorSize(u32& sectorSize) override;
  u64 formatUnit(u8 lbaFormat) override;
  u64 setMaxCapacity(u64 capacity) override;
  u64 restoreMaxCapacity() override;

  // Device self-test: short (1), extended (2), abort (5).
  u64 getSelfTestStatus(u8* remaining, u32* running) override;
  u64 runSelfTest(u32 kind, u32 option) override;
  u64 getSelfTestLog(OrvDevGenData<_OrvSelfTestItem>& log) override;
  u64 getSelfTestTime(u32, u32*) override { return unsupported(); }

  // Namespace management: lists of namespaces and controllers, create,
  // delete, attach, and the metadata layout of the current format.
  u64 getNamespaceList(OrvDevGenData<_OrvNvmNsItem>& list, bool allocated) override;
  u64 getControllerList(OrvDevGenData<_OrvNvmCtlItem>& list) override;
  u64 createNamespace(u64 size, u64 capacity, u32 lbaFormat, bool metadataAtEnd, u8 protectionType,
                      bool protectionFirst, bool shared, u32& createdId) override;
  u64 deleteNamespace(u32 id) override;
  u64 changeNamespace(u32 id, bool allocated) override;
  u64 attachNamespace(_OrvNsAttachAction action, u32 id) override;
  u64 getMetaDataConfig(u32& metadataSize, bool& metadataAtEnd, bool& protectionFirst) override;

  // I/O, security and raw commands: sectors of the namespace the device
  // works on, flush, write uncorrectable, security protocols, a caller's
  // whole entry, and the partition check of the I/O handle.
  u64 readSectors(u64 lba, OrvBuffer& data, OrvBuffer& metadata) override;
  u64 writeSectors(u64 lba, OrvBuffer& data, OrvBuffer& metadata) override;
  u64 verifySectors(u64 lba, OrvBuffer& data) override;
  u64 flushCache() override;
  u64 writeUncorrectable(u64 lba, u32 count) override;
  u64 securitySend(u8 protocol, OrvBuffer& data, u16 protocolSpecific, u8) override;
  u64 securityReceive(u8 protocol, OrvBuffer& data, u16 protocolSpecific, u8) override;
  u64 sendRawCommand(const u8* entry, u8 entryLength, u32 direction, OrvBuffer& data, u8 admin) override;
  bool hasActivePartition() override;
  // The LBAs of the unrecovered read errors in the Error Information log.
  u64 readErrorLogPages(std::vector<u64>& lbas) override;

  // Device dump: identify data, every listed log, the internal logs and
  // the current and saved values of the features, one record each.
  u64 dumpAllLogs(std::vector<_OrvDevDumpItem>& records) override;

  // The name of a log page; "Unknown" for one the library does not know.
  static std::string& logPageName(std::string& out, u8 logId);
  // The name of a vendor internal log by its type bit.
  static std::string& internalLogName(std::string& out, u8 typeBit);
  // A generic internal-log mode type to its type bit and back; 255 stays
  // 255, anything unknown gives 0.
  static u8 internalLogTypeOf(u8 modeType);
  static u8 internalLogModeOf(u8 typeBit);

 protected:
  // The NVMe feature descriptor of a generic feature id; 0 for none.
  u32 nvmFeatureOf(u32 feature);
  // The bytes to read of a log: from the telemetry header, the log
  // directory, or the standard sizes when the directory cannot be read.
  u64 getLogSize(u8 logId, u32* bytes);
  // One piece of the vendor internal log into out, descrambled on request.
  u64 readInternalLogChunk(u8 parameter, u64 offset, OrvBuffer& out, u8 unscramble);
  u64 checkInternalLogSupport();
  // The current format of the namespace; code 83 without Format NVM, 77 for
  // a cryptographic erase (eraseMode 1) the drive cannot do.
  u64 getFormatParams(u8* lbaFormat, u32* protectionType, u32* protectionFirst, u32* metadataAtEnd,
                      u8* formatCount, int eraseMode);
  // After the vendor thermal feature was written: whether the drive changed
  // the thresholds it was asked to.
  u64 checkThrottleResult(u64 status, u32 previous, u32 requested);

  // Features, logs and the internal status log.
  // Dword 0 of a feature's current value (select 0).
  u64 readFeatureDword(u32 descriptor, u32 dword11, OrvBuffer& scratch, u32* dword0);
  // The type bit of a generic internal-log mode, once the drive offers the log.
  u64 checkedInternalLogType(u32 mode, u8* type);
  // A type's length from its header.
  u64 internalLogTypeSize(u8 type, u32* size);
  u64 readInternalLogType(u8 type, u32 size, OrvLogBuffer& log, u32 offset, u32 length, u8 unscramble);
  // Erase, sanitize, format, capacity and self-test.
  // Format NVM keeping the current settings; a negative lbaFormat keeps
  // the current format too.
  u64 formatNamespace(int eraseMode, bool erase, int lbaFormat);
  u64 writeMaxCapacity(u64 capacity);
  // The sizes of the active namespaces added up.
  u64 sumNamespaceSizes(u64& capacity, u32& sectorSize);
  // Log 06h of the namespace; code 8 when there is no memory for it.
  u64 readSelfTestLog(std::unique_ptr<VazidaRaduruNvmeInternal::OrvNvmSelfTestStatus>& log);

  // The 0-based block count of a transfer of data: code 6 for less than a
  // sector or more than one command carries, code 3 without a usable
  // sector size.
  u64 blockCountOf(const OrvBuffer& data, u16* nlb);
  // One feature's current and saved values as a dump record; an unrecorded
  // failure appends nothing. The status of the entry.
  u64 dumpFeature(u32 descriptor, u32 nsid, bool recorded, std::vector<_OrvDevDumpItem>& records);

 private:
  // The identification of construction: controller, namespace, vendor probe.
  u64 identify(u32 requestedNamespace);
  // Identify Controller; an answer that names no drive fails as the
  // command does and leaves the data read before.
  u64 identifyController();
  // Before Windows 10 without the tunnel, the NVMe driver's Identify
  // Controller is made up from what Windows reports, with no PCI vendor id.
  bool identityFromWindows() const;
  // Identify Controller data that names no drive: no PCI vendor id, where
  // the drive itself answered.
  bool namesNoDrive(const VazidaRaduruNvmeInternal::OrvNvmCtrlIdentify& ctrl) const;
  u64 identifyNamespace(bool force, u32 requestedNamespace, bool allocatedMode);
  void probeVendorFeature();
  // 2 to the power LBADS of the current LBA format.
  u32 getCurrentSectorSize();
  // Code 83 when the drive's route gave no namespace data, else 0.
  u64 namespaceDataStatus();
  void getWriteCacheState(u8* supported, u8* enabled);
  // The identify data read again after a firmware change, tolerating
  // failures; refreshed tells whether it worked.
  void refreshAfterChange(bool* refreshed);
  // A completion the drive answered with this status code type and code.
  bool completionIs(u8 codeType, std::initializer_list<u8> codes);

  OrvNvmHandlePair handles;
  u32 namespaceId;
  bool nsIdentifyValid;
  // The SCSI side without the tunnel has no Identify Namespace to give.
  bool nsDataUnavailable;
  std::unique_ptr<VazidaRaduruNvmeInternal::OrvNvmCtrlIdentify> ctrlIdentify;
  std::unique_ptr<VazidaRaduruNvmeInternal::OrvNvmNsIdentify> nsIdentify;
  bool vendorFeatureF7;
  bool allocatedNsMode;
};

}  // namespace VazidaRaduruNvme
}  // namespace VazidaRaduru
