// ATA data structures: the IDENTIFY DEVICE data with its named fields, and
// the text field of ATA data.
//
// Every field is a view on the structure's own bytes, so bytes read into the
// structure show at the next read of any field.
#pragma once

#include <string>

#include "devlib/orvlib_bufbits.h"
#include "devlib/orvlib_buffer.h"
#include "devlib/orvlib_gendata.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {
namespace VazidaRaduruSataInternal {

// A text of ATA data. The drive stores two characters in each 16-bit word,
// least significant byte first, so each stored pair holds the second
// character first.
class OrvBufAtaAsc : public OrvBufAscFld {
 public:
  OrvBufAtaAsc(u8* data, u32 byteOffset, u8 length, std::string name, _OrvByteEndianess order);

  // Each stored pair swapped back into reading order (a last odd byte stays
  // where it is), then NUL bytes left out and leading and trailing blanks
  // removed: a text of blanks only is empty.
  std::string getValue() const override;
  // The inherited setValue and comparisons take the bytes as they are
  // stored: a text written with setValue reads back with each pair swapped.
};

// The Area 1 internal log classes raise their status words as this file, with
// the line of the raising accessor.
u64 orvAtaArea1Status(u16 code, u32 line);

// The fields of the 512-byte IDENTIFY DEVICE data, in the order they are
// printed and exported. Bit numbers count within the little-endian number
// that starts at the byte offset, so bits 16..31 lie in the next word.
//   F(member, byte offset, first bit, last bit, name)
//   R(member, byte offset, first bit, last bit, name, name in a copy):
//     a field named differently when the data is built from another buffer
//   S(member, byte offset, length in bytes, name): an ATA text
// "Logical sector size" counts 16-bit words.
#define ORV_ATA_IDENTIFY_FIELDS(F, R, S) \
  F(nonAtaDevice, 0, 15, 15, "Non ATA device") \
  F(incompleteResponse, 0, 2, 2, "Incomplete response") \
  F(specificConfiguration, 4, 0, 15, "Specific configuration") \
  S(serialNumber, 20, 20, "Serial number") \
  S(firmwareRevision, 46, 8, "Firmware revision") \
  S(modelNumber, 54, 40, "Model number") \
  F(maxSectorsPerDrqBlock, 94, 0, 7, "Maximum logical sectors transferred per DRQ data block") \
  F(trustedComputingBit15, 96, 15, 15, "Trusted computing feature set options Bit 15") \
  F(trustedComputingBit14, 96, 14, 14, "Trusted computing feature set options Bit 14") \
  F(trustedComputingReserved, 96, 1, 13, "Trusted computing feature reserved options") \
  F(trustedComputingSupported, 96, 0, 0, "Trusted computing feature support") \
  F(standbyTimerSat3, 98, 13, 13, "Standby timer specific to SAT-3 standard") \
  F(iordySupported, 98, 11, 11, "IORDY supported") \
  F(iordyEnabled, 98, 10, 10, "IORDY enabled") \
  F(lbaSupported, 98, 9, 9, "LBA supported") \
  F(dmaSupported, 98, 8, 8, "DMA supported") \
  F(longSectorAlignmentErrorReporting, 98, 0, 1, "Long physical sector alignment error reporting") \
  F(minimumStandbyTimerSupported, 100, 0, 0, "Minimum standby vendor specific time value supported") \
  F(freeFallSensitivity, 106, 8, 15, "Free-fall control sensitivity") \
  F(word88Valid, 106, 2, 2, "Word 88 validity") \
  F(words64To70Valid, 106, 1, 1, "Words 64..70 validity") \
  F(blockEraseExtSupported, 118, 15, 15, "BLOCK ERASE EXT command supported") \
  F(overwriteExtSupported, 118, 14, 14, "OVERWRITE EXT command supported") \
  F(cryptoScrambleExtSupported, 118, 13, 13, "CRYPTO SCRAMBLE EXT command supported") \
  F(sanitizeSupported, 118, 12, 12, "Sanitize feature set supported") \
  F(sanitizeCommandsAllowedSata3, 118, 11, 11, "Commands allowed during a sanitize operation as per SATA-3") \
  F(sanitizeAntifreezeLockSupported, 118, 10, 10, "SANITIZE ANTIFREEZE LOCK EXT command supported") \
  F(multipleSectorSettingValid, 118, 8, 8, "Multiple logical sector setting is valid") \
  F(currentSectorsPerDrqBlock, 118, 0, 7, "Current logical sectors setting transferred per DRQ data block") \
  F(userAddressableSectors28, 120, 0, 31, "User addressable logical sectors 28-bit") \
  F(multiWordDma2Selected, 126, 10, 10, "Multi-word DMA mode 2 selected") \
  F(multiWordDma1Selected, 126, 9, 9, "Multi-word DMA mode 1 selected") \
  F(multiWordDma0Selected, 126, 8, 8, "Multi-word DMA mode 0 selected") \
  F(multiWordDma2Supported, 126, 2, 2, "Multi-word DMA mode 2 and below supported") \
  F(multiWordDma1Supported, 126, 1, 1, "Multi-word DMA mode 1 and below supported") \
  F(multiWordDma0Supported, 126, 0, 0, "Multi-word DMA mode 0 supported") \
  F(pioMode3And4Supported, 128, 0, 1, "PIO mode 3 and mode 4 supported") \
  F(minMultiWordDmaCycleTime, 130, 0, 15, "Minimum multi-word DMA transfer cycle time per word") \
  F(recommendedMultiWordDmaCycleTime, 132, 0, 15, "Recommended multi-word DMA transfer cycle time") \
  F(minPioCycleTime, 134, 0, 15, "Minimum PIO transfer cycle time without flow control") \
  F(minPioCycleTimeIordy, 136, 0, 15, "Minimum PIO transfer cycle time with IORDY") \
  F(deterministicTrimSupported, 138, 14, 14, "Deterministic data in trimmed LBA range supported") \
  F(longSectorAlignmentControlSupported, 138, 13, 13, "Long physical sector alignment error reporting control supported") \
  F(readBufferDmaSupported, 138, 11, 11, "READ BUFFER DMA supported") \
  F(writeBufferDmaSupported, 138, 10, 10, "WRITE BUFFER DMA supported") \
  F(downloadMicrocodeDmaSupported, 138, 8, 8, "DOWNLOAD MICROCODE DMA supported") \
  F(optional28BitCommandsDisabled, 138, 6, 6, "Optional ATA device 28-bit commands supported disabled") \
  F(trimReturnsZeroesSupported, 138, 5, 5, "Trimmed LBA range returning zeroed data is supported") \
  F(allUserDataEncrypted, 138, 4, 4, "All user data encryption active") \
  F(extendedSectorsSupported, 138, 3, 3, "Extended user addressable sectors supported") \
  F(writeCacheNonVolatile, 138, 2, 2, "All write cache non-volatile") \
  F(maximumQueueDepth, 150, 0, 4, "Maximum queue depth") \
  F(readLogDmaExtSupported, 152, 15, 15, "READ LOG DMA EXT equivalent to READ LOG EXT supported") \
  F(deviceAutoPartialToSlumberSupported, 152, 14, 14, "Device auto partial to slumber transition supported") \
  F(hostAutoPartialToSlumberSupported, 152, 13, 13, "Host auto partial to slumber transition supported") \
  F(ncqPrioritySupported, 152, 12, 12, "NCQ priority info supported") \
  F(unloadWhileNcqOutstandingSupported, 152, 11, 11, "Unload while NCQ commands outstanding supported") \
  F(phyEventCountersSupported, 152, 10, 10, "SATA PHY event counters log supported") \
  F(hostPowerManagementSupported, 152, 9, 9, "Host initiated power management requests supported") \
  F(ncqSupported, 152, 8, 8, "NCQ feature set supported") \
  F(sataGen3Supported, 152, 3, 3, "SATA gen3 signalling speed 6.0Gbps supported") \
  F(sataGen2Supported, 152, 2, 2, "SATA gen2 signalling speed 3.0Gbps supported") \
  F(sataGen1Supported, 152, 1, 1, "SATA gen1 signalling speed 1.5Gbps supported") \
  F(fpdmaQueuedSupported, 154, 6, 6, "RECEIVE FPDMA QUEUED and SEND FPDMA QUEUED supported") \
  F(ncqQueueManagementSupported, 154, 5, 5, "NCQ queue management supported") \
  F(ncqStreamingSupported, 154, 4, 4, "NCQ streaming supported") \
  F(currentSignalSpeed, 154, 1, 3, "Current negotiated serial ATA signal speed") \
  F(ncqAutoSenseSupported, 156, 7, 7, "NCQ auto-sense supported") \
  F(settingsPreservationSupported, 156, 6, 6, "Software settings preservation supported") \
  F(hardwareFeatureControlSupported, 156, 5, 5, "Hardware feature control supported") \
  F(inOrderDeliverySupported, 156, 4, 4, "In-order data delivery supported") \
  F(devicePowerManagementSupported, 156, 3, 3, "Initiating power management supported") \
  F(dmaSetupAutoActivationSupported, 156, 2, 2, "DMA setup auto-activation supported") \
  F(nonZeroOffsetsSupported, 156, 1, 1, "Non-zero buffer offsets supported") \
  F(autoPartialToSlumberEnabled, 158, 7, 7, "Auto partial to slumber transitions enabled") \
  F(settingsPreservationEnabled, 158, 6, 6, "Software settings preservation enabled") \
  F(hardwareFeatureControlEnabled, 158, 5, 5, "Hardware feature control is enabled") \
  F(inOrderDeliveryEnabled, 158, 4, 4, "In-order data delivery enabled") \
  F(devicePowerManagementEnabled, 158, 3, 3, "Device initiated power management enabled") \
  F(dmaSetupAutoActivationEnabled, 158, 2, 2, "DMA setup auto-activation enabled") \
  F(nonZeroOffsetsEnabled, 158, 1, 1, "Non-zero buffer offsets enabled") \
  F(acs3Supported, 160, 10, 10, "ACS-3 supported") \
  F(acs2Supported, 160, 9, 9, "ACS-2 supported") \
  F(ata8AcsSupported, 160, 8, 8, "ATA8-ACS supported") \
  F(ataAtapi7Supported, 160, 7, 7, "ATA/ATAPI-7 supported") \
  F(ataAtapi6Supported, 160, 6, 6, "ATA/ATAPI-6 supported") \
  F(ataAtapi5Supported, 160, 5, 5, "ATA/ATAPI-5 supported") \
  F(minorVersion, 162, 0, 15, "Minor version number") \
  F(nopSupportedW82, 164, 14, 14, "NOP command supported(Word82)") \
  F(readBufferSupportedW82, 164, 13, 13, "READ BUFFER command supported(Word82)") \
  F(writeBufferSupportedW82, 164, 12, 12, "WRITE BUFFER command supported(Word82)") \
  F(deviceResetSupported, 164, 9, 9, "DEVICE RESET command supported") \
  F(readLookAheadSupported, 164, 6, 6, "Read look-ahead supported") \
  F(writeCacheSupported, 164, 5, 5, "Volatile write cache supported") \
  F(packetSupported, 164, 4, 4, "PACKET feature set supported") \
  F(powerManagementSupportedW82, 164, 3, 3, "Power management feature set supported(Word82)") \
  F(securityFeatureSupported, 164, 1, 1, "Security feature set supported") \
  F(smartSupported, 164, 0, 0, "SMART feature set supported") \
  F(flushCacheExtSupportedW83, 166, 13, 13, "FLUSH CACHE EXT command supported(Word83)") \
  F(flushCacheSupportedW83, 166, 12, 12, "FLUSH CACHE command supported)") \
  F(dcoSupported, 166, 11, 11, "DCO feature set supported") \
  R(address48SupportedW83, 166, 10, 10, "The 48-bit address feature set supported(Word83)", \
    "The 48-bit address feature set supported") \
  R(spinUpSetFeaturesW83, 166, 6, 6, "SET FEATURES subcommand  required to spin-up(Word83)", \
    "SET FEATURES subcommand  required to spin-up") \
  F(puisSupported, 166, 5, 5, "PUIS feature set supported") \
  F(apmSupported, 166, 3, 3, "APM feature set supported") \
  F(downloadMicrocodeSupportedW83, 166, 0, 0, "DOWNLOAD MICROCODE command supported(Word83)") \
  F(idleUnloadSupportedW84, 168, 13, 13, "IDLE IMMEDIATE command with UNLOAD FEATURE supported(Word84)") \
  F(wwnSupportedW84, 168, 8, 8, "World wide name supported(Word84)") \
  F(writeFuaExtSupportedW84, 168, 6, 6, "WRITE DMA FUA EXT and MULTIPLE FUA EXT command supported") \
  F(gplSupportedW84, 168, 5, 5, "GPL feature set supported(Word84)") \
  F(streamingSupported, 168, 4, 4, "Streaming feature set supported") \
  F(smartSelfTestSupportedW84, 168, 1, 1, "SMART self-test supported(Word84)") \
  F(smartErrorLoggingSupportedW84, 168, 0, 0, "SMART error logging supported(Word84)") \
  F(nopSupportedW85, 170, 14, 14, "NOP command supported(Word85)") \
  F(readBufferSupportedW85, 170, 13, 13, "READ BUFFER command supported(Word85)") \
  F(writeBufferSupportedW85, 170, 12, 12, "WRITE BUFFER command supported(Word85)") \
  F(deviceResetNotSupported, 170, 9, 9, "DEVICE RESET command not supported") \
  F(readLookAheadEnabled, 170, 6, 6, "Read look-ahead enabled") \
  F(writeCacheEnabled, 170, 5, 5, "Volatile write cache enabled") \
  F(packetNotSupported, 170, 4, 4, "PACKET feature set not supported") \
  F(powerManagementSupportedW85, 170, 3, 3, "Power management feature set supported(Word85)") \
  F(securityFeatureEnabled, 170, 1, 1, "Security feature set enabled") \
  F(smartEnabled, 170, 0, 0, "SMART feature set enabled") \
  F(words119To120Valid, 172, 15, 15, "Words 119..120 validity") \
  F(flushCacheExtSupportedW86, 172, 13, 13, "FLUSH CACHE EXT command supported(Word86)") \
  F(flushCacheSupportedW86, 172, 12, 12, "FLUSH CACHE command supported") \
  R(address48SupportedW86, 172, 10, 10, "The 48-bit address feature set supported(Word86)", \
    "The 48-bit address features set supported") \
  R(spinUpSetFeaturesW86, 172, 6, 6, "SET FEATURES subcommand required to spin-up(Word86)", \
    "SET FEATURES subcommand required to spin-up") \
  F(puisEnabled, 172, 5, 5, "PUIS feature set enabled") \
  F(apmEnabled, 172, 3, 3, "APM feature set enabled") \
  F(downloadMicrocodeSupportedW86, 172, 0, 0, "DOWNLOAD MICROCODE command supported(Word86)") \
  F(idleUnloadSupportedW87, 174, 13, 13, "IDLE IMMEDIATE command with UNLOAD FEATURE supported(Word87)") \
  F(wwnSupportedW87, 174, 8, 8, "World wide name supported(Word87)") \
  F(writeFuaExtSupportedW87, 174, 6, 6, "WRITE DMA FUA EXT and MULTIPLE FUA EXT commands supported") \
  F(gplSupportedW87, 174, 5, 5, "GPL feature set supported(Word87)") \
  F(mediaSerialNumberValid, 174, 2, 2, "Media serial number valid") \
  F(smartSelfTestSupportedW87, 174, 1, 1, "SMART self-test supported(Word87)") \
  F(smartErrorLoggingSupportedW87, 174, 0, 0, "SMART error logging supported(Word87)") \
  F(udma6Selected, 176, 14, 14, "Ultra DMA mode 6 selected") \
  F(udma5Selected, 176, 13, 13, "Ultra DMA mode 5 selected") \
  F(udma4Selected, 176, 12, 12, "Ultra DMA mode 4 selected") \
  F(udma3Selected, 176, 11, 11, "Ultra DMA mode 3 selected") \
  F(udma2Selected, 176, 10, 10, "Ultra DMA mode 2 selected") \
  F(udma1Selected, 176, 9, 9, "Ultra DMA mode 1 selected") \
  F(udma0Selected, 176, 8, 8, "Ultra DMA mode 0 selected") \
  F(udma6Supported, 176, 6, 6, "Ultra DMA mode 6 and below supported") \
  F(udma5Supported, 176, 5, 5, "Ultra DMA mode 5 and below supported") \
  F(udma4Supported, 176, 4, 4, "Ultra DMA mode 4 and below supported") \
  F(udma3Supported, 176, 3, 3, "Ultra DMA mode 3 and below supported") \
  F(udma2Supported, 176, 2, 2, "Ultra DMA mode 2 and below supported") \
  F(udma1Supported, 176, 1, 1, "Ultra DMA mode 1 and below supported") \
  F(udma0Supported, 176, 0, 0, "Ultra DMA mode 0 supported") \
  F(normalEraseExtended, 178, 15, 15, "Extended time reported for normal erase mode") \
  F(normalEraseTime, 178, 0, 7, "Time required for normal erase mode") \
  F(normalEraseExtendedTime, 178, 0, 14, "Extended time required for normal erase mode") \
  F(enhancedEraseExtended, 180, 15, 15, "Extended time reported for enhanced erase mode") \
  F(enhancedEraseTime, 180, 0, 7, "Time required for enhanced erase mode") \
  F(enhancedEraseExtendedTime, 180, 0, 14, "Extended time required for enhanced erase mode") \
  F(currentApmLevel, 182, 0, 7, "Current APM level value") \
  F(masterPasswordId, 184, 0, 15, "Master password identifier") \
  F(streamMinRequestSize, 190, 0, 15, "Stream minimum request size") \
  F(dmaStreamingTransferTime, 192, 0, 15, "DMA streaming transfer time") \
  F(streamingAccessLatency, 194, 0, 15, "DMA and PIO streaming access latency") \
  F(streamingGranularity, 196, 0, 31, "Streaming performance granularity") \
  F(userAddressableSectors48, 200, 0, 63, "User addressable logical sectors") \
  F(pioStreamingTransferTime, 208, 0, 15, "PIO streaming transfer time") \
  F(maxDataSetManagementBlocks, 210, 0, 15, "Maximum blocks per DATA SET MANAGEMENT command") \
  F(multipleLogicalPerPhysical, 212, 13, 13, "Multiple logical sectors per physical sector") \
  F(logicalSectorLongerThan256Words, 212, 12, 12, "Logical sector longer than 256 words") \
  F(logicalPerPhysical, 212, 0, 3, "Logical sectors per physical sector") \
  F(interSeekDelay, 214, 0, 15, "Inter-seek delay") \
  F(wwnNaa, 216, 12, 15, "World wide name NAA") \
  F(wwnOuiHigh, 216, 0, 11, "World wide name OUI High") \
  F(wwnOuiLow, 216, 20, 31, "World wide name OUI Low") \
  F(wwnUniqueIdHigh, 216, 16, 19, "World wide name Unique ID High") \
  F(wwnUniqueIdMid, 216, 32, 47, "World wide name Unique ID Mid") \
  F(wwnUniqueIdLow, 216, 48, 63, "World wide name Unique ID Low") \
  F(logicalSectorSize, 234, 0, 31, "Logical sector size") \
  F(dsnSupported, 238, 9, 9, "DSN feature set supported") \
  F(amaxSupported, 238, 8, 8, "Accessible maximum address configuration feature set supported") \
  F(epcSupported, 238, 7, 7, "EPC feature set supported") \
  F(senseDataSupported, 238, 6, 6, "Sense data reporting feature set supported") \
  F(freeFallSupported, 238, 5, 5, "Free-fall control feature set supported") \
  F(downloadMicrocodeMode3W119, 238, 4, 4, "Download microcode mode 3 supported(Word119)") \
  F(readWriteLogDmaExtSupportedW119, 238, 3, 3, "READ and WRITE LOG DMA EXT commands supported") \
  F(writeUncorrectableSupportedW119, 238, 2, 2, "WRITE UNCORRECTABLE EXT command supported(Word119)") \
  F(writeReadVerifySupported, 238, 1, 1, "Write-Read-Verify feature set supported") \
  F(dsnEnabled, 240, 9, 9, "DSN feature set enabled") \
  F(epcEnabled, 240, 7, 7, "EPC feature set enabled") \
  F(senseDataEnabled, 240, 6, 6, "Sense data reporting feature set enabled") \
  F(freeFallEnabled, 240, 5, 5, "Free-fall control feature set enabled") \
  F(downloadMicrocodeMode3W120, 240, 4, 4, "Download microcode mode 3 supported(Word120)") \
  F(readWriteLogDmaExtSupportedW120, 240, 3, 3, "READ LOG DMA EXT command and WRITE LOG DMA EXT command supported") \
  F(writeUncorrectableSupportedW120, 240, 2, 2, "WRITE UNCORRECTABLE EXT command supported(Word120)") \
  F(writeReadVerifyEnabled, 240, 1, 1, "Write-Read-Verify feature set enabled") \
  F(masterPasswordCapability, 256, 8, 8, "Master password capability") \
  F(enhancedEraseSupported, 256, 5, 5, "Enhanced security erase supported") \
  F(securityCountExpired, 256, 4, 4, "Security count expired") \
  F(securityFrozen, 256, 3, 3, "Security frozen") \
  F(securityLocked, 256, 2, 2, "Security locked") \
  F(securityEnabled, 256, 1, 1, "Security enabled") \
  F(securitySupported, 256, 0, 0, "Security supported") \
  F(formFactor, 336, 0, 3, "Device nominal form factor") \
  F(trimSupported, 338, 0, 0, "TRIM bit in the DATA SET MANAGEMENT command supported") \
  F(additionalProductId, 340, 0, 63, "Additional product identifier") \
  S(currentMediaSerialNumber, 352, 60, "Current media serial number") \
  F(sctDataTablesSupported, 412, 5, 5, "SCT data tables command supported") \
  F(sctFeatureControlSupported, 412, 4, 4, "SCT feature control command supported") \
  F(sctErrorRecoverySupported, 412, 3, 3, "SCT error recovery control command supported") \
  F(sctWriteSameSupported, 412, 2, 2, "SCT write same command supported") \
  F(sctTransportSupported, 412, 0, 0, "SCT command transport supported") \
  F(logicalSectorOffset, 418, 0, 13, "Logical sector offset within first physical sector") \
  F(writeReadVerifyMode3Count, 420, 0, 31, "Write-Read-Verify sector mode 3 count") \
  F(writeReadVerifyMode2Count, 424, 0, 31, "Write-Read-Verify sector mode 2 count") \
  F(rotationRate, 434, 0, 15, "Nominal media rotation rate") \
  F(writeReadVerifyMode, 440, 0, 7, "Write-Read-Verify feature set current mode") \
  F(transportType, 444, 12, 15, "Transport type") \
  F(sata301Supported, 444, 6, 6, "SATA 30.1 supported") \
  F(sata3Supported, 444, 5, 5, "SATA 3 supported") \
  F(sata206Supported, 444, 4, 4, "SATA 20.6 supported") \
  F(sata205Supported, 444, 3, 3, "SATA 20.5 supported") \
  F(sataIIExtensionsSupported, 444, 2, 2, "SATA iI: extensions supported") \
  F(sata10aSupported, 444, 1, 1, "SATA 1.0a supported") \
  F(ata8AstSupported, 444, 0, 0, "ATA8-AST supported") \
  F(transportMinorVersion, 446, 0, 15, "Transport minor version number") \
  F(extendedUserSectors, 460, 0, 63, "Extended number of user addressable sectors") \
  F(downloadMicrocodeMinBlocks, 468, 0, 15, "Minimum number of blocks per download microcode") \
  F(downloadMicrocodeMaxBlocks, 470, 0, 15, "Maximum number of blocks per download microcode") \
  F(checksum, 510, 8, 15, "Checksum") \
  F(checksumValidity, 510, 0, 7, "Checksum validity indicator") \
  /* end of the fields */

class OrvAtaIdentifyBuffer : public OrvBuffer {
 public:
  static constexpr u32 kLength = 512;

  // 512 zeroed bytes of its own.
  OrvAtaIdentifyBuffer();
  // A copy of source's bytes and byte order, zero-filled up to 512 bytes when
  // shorter; four fields of words 83 and 86 carry the names given in the
  // table for a copy. An empty source throws code 6.
  explicit OrvAtaIdentifyBuffer(const OrvBuffer& source);
  // As from any other buffer: the copy's fields view the copy's bytes.
  OrvAtaIdentifyBuffer(const OrvAtaIdentifyBuffer& source);
  // Copies the bytes; the fields keep viewing this buffer's own bytes.
  OrvAtaIdentifyBuffer& operator=(const OrvAtaIdentifyBuffer& source);
  ~OrvAtaIdentifyBuffer() override;

  // Every field may be viewed at any time: the bytes are never moved, so a
  // length above the allocation is refused with code 6.
  u64 resize(u32 newLength) override;
  // One line per entry to a runtime FILE* passed untyped; nothing when it is
  // null.
  void print(void* file) override;
  // Appends one item per entry, in the order print writes them.
  void collectFields(OrvDevGenData<_OrvDataItem>& out) const;

  // The 24-bit IEEE OUI of the world wide name.
  u64 getWwnOui() const;
  // The 36-bit unique id of the world wide name.
  u64 getWwnUniqueId() const;
  // The data names no drive: neither a model number nor a serial number,
  // which every ATA device reports, holds a character. A device that
  // completed IDENTIFY DEVICE without sending its data leaves it so.
  bool namesNoDrive() const;

  // One public member per row of the table, named in its first column.
#define ORV_IDENTIFY_BITS(member, ...) OrvBufField member;
#define ORV_IDENTIFY_TEXT(member, ...) OrvBufAtaAsc member;
  ORV_ATA_IDENTIFY_FIELDS(ORV_IDENTIFY_BITS, ORV_IDENTIFY_BITS, ORV_IDENTIFY_TEXT)
#undef ORV_IDENTIFY_BITS
#undef ORV_IDENTIFY_TEXT

 private:
  OrvAtaIdentifyBuffer(const OrvBuffer& bytes, bool copied);

  // The entries of print and export: every field, except that each erase
  // time shows in the form its bit 15 chooses and the world wide name shows
  // as its NAA, OUI and unique id.
  template <typename Sink>
  void forEachEntry(Sink& sink) const;
  bool isShown(const OrvBufField& field) const;
  static bool isShown(const OrvBufAtaAsc&) { return true; }
};

}  // namespace VazidaRaduruSataInternal
}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
