// The generic device for ATA drives, native (command bus 1) or behind a
// SCSI-ATA translation (command bus 3): identification from IDENTIFY
// DEVICE, firmware download with DOWNLOAD MICROCODE and its activation,
// capacity and power. Every other operation answers "Feature unsupported".
#pragma once

#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata.h"
#include "devlib/ata/orvlib_cmd_sata.h"
#include "devlib/orvlib_gendev.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {

// The capability and state bits of an ATA drive's property record beside
// the common ones, each from IDENTIFY DEVICE.
constexpr u8 ORV_SATA_CAP1_SELF_TEST = 0x04;           // SMART self-test (word 84 bit 1)
constexpr u8 ORV_SATA_CAP1_SECURITY = 0x08;            // security supported (word 128 bit 0)
constexpr u8 ORV_SATA_CAP1_ENHANCED_ERASE = 0x10;      // enhanced security erase (word 128 bit 5)
constexpr u8 ORV_SATA_CAP2_DOWNLOAD = 0x04;            // DOWNLOAD MICROCODE (word 83 bit 0)
constexpr u8 ORV_SATA_CAP2_SEGMENTED_DOWNLOAD = 0x08;  // segmented and deferred (word 119 bit 4)
constexpr u8 ORV_SATA_CAP2_DOWNLOAD_DMA = 0x10;        // DOWNLOAD MICROCODE DMA (word 69 bit 8)
constexpr u8 ORV_SATA_CAP2_LOG_DMA = 0x20;             // READ/WRITE LOG DMA EXT (word 119 bit 3)
constexpr u8 ORV_SATA_CAP2_SENSE_DATA = 0x40;          // sense data reporting (word 119 bit 6)
constexpr u8 ORV_SATA_CAP2_CRYPTO_SANITIZE = 0x80;     // CRYPTO SCRAMBLE EXT (word 59 bit 13)
constexpr u8 ORV_SATA_STATE_GPL = 0x02;                // general purpose logging (word 84 bit 5)

// Segments of a DOWNLOAD MICROCODE image when the drive reports no usable
// maximum: 64 blocks (32 KiB), within the transfer limit.
constexpr u16 ORV_SATA_SAFE_SEGMENT_BLOCKS = 64;

class OrvSataDev : public OrvBasicDev {
 public:
  // Opens the drive and identifies it; a failed identification is thrown
  // unless ignoreInitError.
  OrvSataDev(std::string devicePath, bool ignoreInitError);
  ~OrvSataDev() override = default;

  // The texts of the IDENTIFY data (9, 41 and 21 bytes); the fourth (9
  // bytes) is empty: ATA drives have no component id.
  u64 getIdentStrings(char* firmwareRevision, char* model, char* serial,
                      char* componentId) override;
  u64 fillDeviceInfo(_OrvDevProperty& property) override;
  // One item: the running revision, in the one slot an ATA drive has.
  u64 getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) override;
  // DOWNLOAD MICROCODE of the image: segmented (03h) when the drive offers
  // it, else whole (07h); deferred saves it (0Eh) for activateFirmware.
  // A reboot is never required; refreshed tells whether IDENTIFY could be
  // read again afterwards.
  u64 downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired, u8 deferred,
                       bool useDma, u8 slot) override;
  // DOWNLOAD MICROCODE 0Fh: the saved image becomes the running one.
  u64 activateFirmware(bool* refreshed, bool* rebootRequired, u8 slot, u8 atNextReset) override;
  // The user addressable sectors and the logical sector size.
  u64 getCapacity(u64& capacity, u32& sectorSize, u8 perNamespace) override;
  // No feature of the library's numbering has an ATA meaning here.
  u64 setFeature(u32 feature, u32 value) override;
  u64 spinUp(u8 option) override;
  u64 spinDown(u8 option) override;
  // 1 when CHECK POWER MODE reports the drive active or idle, else 0.
  u64 getPowerMode(u8* active) override;
  // Reads IDENTIFY DEVICE again; a failure keeps the former data.
  u64 refresh() override;
  bool isSupportedDrive() override { return true; }

 private:
  // The blocks of one DOWNLOAD MICROCODE segment: the drive's maximum (word
  // 235), or the safe size when it reports none (0 or FFFFh) or one beyond
  // the transfer limit, raised to its minimum (word 234). Code 98 when no
  // segment fits both the drive and the transfer limit.
  u64 segmentBlocks(u16& blocks) const;

  VazidaRaduruSataInternal::OrvAtaIdentifyBuffer identifyData;
  // IDENTIFY has been read at least once.
  bool identified = false;

  OrvAtaHandle target() { return OrvAtaHandle{handle, busType, &response}; }
  // Sends the image in segments of the given subcommand, or whole.
  u64 sendImage(const u8* image, u32 length, u8 subcommand, bool useDma);
  // Re-reads IDENTIFY after a firmware change, tolerating its failure.
  bool refreshAfterChange();
};

}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
