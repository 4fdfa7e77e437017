#include "devlib/ata/orvlib_sata.h"

#include <cstring>
#include <new>

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_log.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {

using VazidaRaduruSataInternal::OrvAtaIdentifyBuffer;

namespace {

constexpr u32 REVISION_SIZE = 9;
constexpr u32 MODEL_SIZE = 41;
constexpr u32 SERIAL_SIZE = 21;
constexpr u32 COMPONENT_ID_SIZE = 9;
constexpr u32 REFRESH_TIMEOUT = 5;
constexpr u32 MAX_BLOCKS = 0xFFFF;

// CHECK POWER MODE counts of a drive that is active or idle.
bool isActiveOrIdle(u8 count) { return (count >= 0x80 && count <= 0x83) || count == 0xFF; }

// A limit of IDENTIFY words 234 and 235: 0 and FFFFh report none.
bool reported(u64 limit) { return limit != 0 && limit != 0xFFFF; }

void putText(char* out, u32 size, const std::string& text) {
  if (out) osl_strncpy(out, text.c_str(), size);
}

u8 bit(const OrvBufField& field, u8 mask) { return field.getValue() ? mask : 0; }
}  // namespace

OrvSataDev::OrvSataDev(std::string devicePath, bool ignoreInitError) : OrvBasicDev(std::move(devicePath)) {
  u64 status = refresh();
  if (status && !ignoreInitError) throw status;
}

u64 OrvSataDev::refresh() {
  return ORV_GUARDED([&] {
    // The drive's answer replaces the data only when it came whole and names
    // the drive: one without a model and a serial number was not read.
    OrvAtaIdentifyBuffer answer;
    u64 status = ataIdentify(target(), answer, timeout, ignoreErrorCount);
    if (status == 0 && answer.namesNoDrive()) status = ORV_LIB_STATUS(ORV_ERR_ATA_IDENTIFY);
    if (status) return status;
    identifyData = answer;
    identified = true;
    u64 words = identifyData.logicalSectorSize.getValue();
    bool longSectors = identifyData.logicalSectorLongerThan256Words.getValue() && words >= 256;
    sectorSize = longSectors ? static_cast<u32>(words * 2) : ORV_ATA_BLOCK;
    return u64{0};
  });
}

u64 OrvSataDev::getIdentStrings(char* firmwareRevision, char* model, char* serial,
                                char* componentId) {
  if (!identified) return ORV_LIB_STATUS(ORV_ERR_ATA_IDENTIFY);
  return ORV_GUARDED([&] {
    putText(firmwareRevision, REVISION_SIZE, identifyData.firmwareRevision.getValue());
    putText(model, MODEL_SIZE, identifyData.modelNumber.getValue());
    putText(serial, SERIAL_SIZE, identifyData.serialNumber.getValue());
    if (componentId) std::memset(componentId, 0, COMPONENT_ID_SIZE);
    return u64{0};
  });
}

u64 OrvSataDev::fillDeviceInfo(_OrvDevProperty& property) {
  property.state &= static_cast<u8>(~ORV_STATE_FILLED);
  if (!identified) return ORV_LIB_STATUS(ORV_ERR_ATA_IDENTIFY);
  return ORV_GUARDED([&] {
    const OrvAtaIdentifyBuffer& id = identifyData;
    putText(property.firmwareRevision, sizeof property.firmwareRevision, id.firmwareRevision.getValue());
    putText(property.modelNumber, sizeof property.modelNumber, id.modelNumber.getValue());
    putText(property.serialNumber, sizeof property.serialNumber, id.serialNumber.getValue());
    std::memset(property.componentId, 0, sizeof property.componentId);
    property.identification = 0;

    u8 caps = bit(id.smartSupported, ORV_CAP1_SMART_SUPPORTED) |
              bit(id.smartEnabled, ORV_CAP1_SMART_ENABLED) |
              bit(id.smartSelfTestSupportedW84, ORV_SATA_CAP1_SELF_TEST);
    // The security state means something only where security is supported.
    if (id.securitySupported.getValue())
      caps |= ORV_SATA_CAP1_SECURITY | bit(id.enhancedEraseSupported, ORV_SATA_CAP1_ENHANCED_ERASE) |
              bit(id.securityEnabled, ORV_CAP1_SECURITY_ENABLED) |
              bit(id.securityLocked, ORV_CAP1_SECURITY_LOCKED) |
              bit(id.securityFrozen, ORV_CAP1_SECURITY_FROZEN);
    property.capabilities1 = caps;

    bool words119Valid = id.words119To120Valid.getValue() != 0;
    caps = bit(id.writeCacheSupported, ORV_CAP2_WRITE_CACHE_SUPPORTED) |
           bit(id.writeCacheEnabled, ORV_CAP2_WRITE_CACHE_ENABLED) |
           bit(id.downloadMicrocodeSupportedW83, ORV_SATA_CAP2_DOWNLOAD) |
           bit(id.downloadMicrocodeDmaSupported, ORV_SATA_CAP2_DOWNLOAD_DMA) |
           bit(id.cryptoScrambleExtSupported, ORV_SATA_CAP2_CRYPTO_SANITIZE);
    if (words119Valid)
      caps |= bit(id.downloadMicrocodeMode3W119, ORV_SATA_CAP2_SEGMENTED_DOWNLOAD) |
              bit(id.readWriteLogDmaExtSupportedW119, ORV_SATA_CAP2_LOG_DMA) |
              bit(id.senseDataSupported, ORV_SATA_CAP2_SENSE_DATA);
    property.capabilities2 = caps;

    u8 state = static_cast<u8>(property.state & ~ORV_SATA_STATE_GPL);
    property.state = state | bit(id.gplSupportedW84, ORV_SATA_STATE_GPL) | ORV_STATE_FILLED;
    return u64{0};
  });
}

u64 OrvSataDev::getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) {
  if (!identified) return ORV_LIB_STATUS(ORV_ERR_ATA_IDENTIFY);
  return ORV_GUARDED([&] {
    auto* copy = new (std::nothrow) OrvAtaIdentifyBuffer(identifyData);
    if (!copy) return ORV_LIB_STATUS(ORV_ERR_NO_MEMORY);
    info.addBuffer(copy);
    std::string revision = copy->firmwareRevision.getValue();
    addSingleSlotInfo(info, revision);
    return u64{0};
  });
}

u64 OrvSataDev::segmentBlocks(u16& blocks) const {
  u32 limit = maxTransferLength ? maxTransferLength / ORV_ATA_BLOCK : MAX_BLOCKS;
  if (limit > MAX_BLOCKS) limit = MAX_BLOCKS;
  u32 safe = limit < ORV_SATA_SAFE_SEGMENT_BLOCKS ? limit : ORV_SATA_SAFE_SEGMENT_BLOCKS;
  u64 maximum = identifyData.downloadMicrocodeMaxBlocks.getValue();
  u64 minimum = identifyData.downloadMicrocodeMinBlocks.getValue();
  u64 chosen = maximum;
  if (!reported(maximum) || maximum > limit) {
    osl_log(OSL_LOG_INFO,
            "Info: Download microcode segment of %u blocks (drive maximum %u, transfer limit %u)\n", safe,
            static_cast<unsigned>(maximum), limit);
    chosen = safe;
  }
  if (reported(minimum) && chosen < minimum) chosen = minimum;
  if (chosen == 0 || chosen > limit) return ORV_LIB_STATUS(ORV_ERR_SEGMENTED_UNSAFE);
  blocks = static_cast<u16>(chosen);
  return 0;
}

u64 OrvSataDev::sendImage(const u8* image, u32 length, u8 subcommand, bool useDma) {
  u64 totalBlocks = (static_cast<u64>(length) + ORV_ATA_BLOCK - 1) / ORV_ATA_BLOCK;
  u16 blocks = 0;
  if (subcommand == ORV_DM_WHOLE) {
    u32 limit = maxTransferLength ? maxTransferLength / ORV_ATA_BLOCK : MAX_BLOCKS;
    if (totalBlocks > limit || totalBlocks > MAX_BLOCKS) return ORV_LIB_STATUS(ORV_ERR_FW_FILE_SIZE);
    blocks = static_cast<u16>(totalBlocks);
  } else {
    u64 status = segmentBlocks(blocks);
    if (status) return status;
    // Segment offsets count blocks in 16 bits.
    if (totalBlocks > MAX_BLOCKS + 1ull - blocks) return ORV_LIB_STATUS(ORV_ERR_FW_FILE_SIZE);
  }

  // Each segment is copied into a buffer of whole blocks; the last one of an
  // image that does not end on a block is padded with zeros there.
  u32 segmentLength = static_cast<u32>(blocks) * ORV_ATA_BLOCK;
  OrvBuffer segment(segmentLength, ORV_LITTLE_ENDIAN);
  u32 number = 1;
  for (u32 offset = 0; offset < length; offset += segmentLength, ++number) {
    u32 part = length - offset < segmentLength ? length - offset : segmentLength;
    u64 status = segment.resize((part + ORV_ATA_BLOCK - 1) / ORV_ATA_BLOCK * ORV_ATA_BLOCK);
    if (status == 0) {
      segment.resetZero();
      status = segment.copyData(image + offset, part, 0);
    }
    if (status == 0)
      status = ataDownloadMicrocode(target(), subcommand, segment, static_cast<u16>(offset / ORV_ATA_BLOCK),
                                    useDma, timeout, ignoreErrorCount);
    if (status) {
      osl_log(OSL_LOG_DEBUG, "\n");
      osl_log(OSL_LOG_DEBUG, "Debug: Microcode Download Failed [offset: %u, segment: %u]\n", offset, number);
      return status;
    }
  }
  return 0;
}

bool OrvSataDev::refreshAfterChange() {
  timeout = REFRESH_TIMEOUT;
  setIgnoreError();
  bool done = refresh() == 0;
  unsetIgnoreError();
  timeout = 0;
  return done;
}

u64 OrvSataDev::downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired, u8 deferred,
                                 bool useDma, u8) {
  if (rebootRequired) *rebootRequired = false;
  if (!image || length == 0) return ORV_LIB_STATUS(ORV_ERR_FW_FILE_SIZE);
  if (!identified) return ORV_LIB_STATUS(ORV_ERR_ATA_IDENTIFY);
  const OrvAtaIdentifyBuffer& id = identifyData;
  if (!id.downloadMicrocodeSupportedW83.getValue()) return ORV_LIB_STATUS(ORV_ERR_DOWNLOAD_UNSUPPORTED);
  if (useDma && !id.downloadMicrocodeDmaSupported.getValue()) return ORV_LIB_STATUS(ORV_ERR_DMA_UNSUPPORTED);
  bool segmented = id.words119To120Valid.getValue() && id.downloadMicrocodeMode3W119.getValue();
  // A deferred image goes in segments to be saved; without them it cannot be.
  if (deferred && !segmented) return ORV_LIB_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
  u8 subcommand = deferred ? ORV_DM_DEFERRED : segmented ? ORV_DM_SEGMENTED : ORV_DM_WHOLE;

  u64 status = ORV_GUARDED([&] { return sendImage(image, length, subcommand, useDma); });
  if (status) return status;
  bool done = refreshAfterChange();
  if (refreshed) *refreshed = done;
  return 0;
}

u64 OrvSataDev::activateFirmware(bool* refreshed, bool* rebootRequired, u8, u8) {
  if (rebootRequired) *rebootRequired = false;
  u64 status = ataActivateMicrocode(target(), timeout, ignoreErrorCount);
  if (status) return status;
  bool done = refreshAfterChange();
  if (refreshed) *refreshed = done;
  return 0;
}

u64 OrvSataDev::getCapacity(u64& capacity, u32& sectorSize, u8) {
  if (!identified) return ORV_LIB_STATUS(ORV_ERR_ATA_IDENTIFY);
  const OrvAtaIdentifyBuffer& id = identifyData;
  u64 sectors = id.userAddressableSectors28.getValue();
  if (id.address48SupportedW83.getValue()) sectors = id.userAddressableSectors48.getValue();
  if (id.extendedSectorsSupported.getValue()) sectors = id.extendedUserSectors.getValue();
  capacity = sectors;
  sectorSize = this->sectorSize;
  return 0;
}

u64 OrvSataDev::setFeature(u32, u32) { return unsupported(); }

u64 OrvSataDev::spinUp(u8) { return ataIdleImmediate(target(), timeout, ignoreErrorCount); }

u64 OrvSataDev::spinDown(u8) { return ataStandbyImmediate(target(), timeout, ignoreErrorCount); }

u64 OrvSataDev::getPowerMode(u8* active) {
  u8 count = 0;
  u64 status = ataCheckPowerMode(target(), count, timeout, ignoreErrorCount);
  if (status == 0 && active) *active = isActiveOrIdle(count) ? 1 : 0;
  return status;
}

}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
