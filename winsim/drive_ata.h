// A SATA drive: the ATA command set as the drive itself answers it.
#pragma once

#include <array>
#include <optional>

#include "winsim/drive.h"

namespace winsim {

// ATA status and error bits.
constexpr uint8_t ATA_STATUS_ERR = 0x01;
constexpr uint8_t ATA_STATUS_GOOD = 0x50;  // drive ready, seek complete
constexpr uint8_t ATA_ERROR_ABRT = 0x04;

// The mark that starts every firmware image a virtual drive accepts; the
// 8-byte blank-padded revision follows it.
constexpr char FIRMWARE_IMAGE_MARK[] = "VDRVFWIM";

class AtaDrive : public Drive {
 public:
  using Drive::Drive;
  AtaDrive* ata() override { return this; }

  // Runs one command; injected faults of kind "ata" answer in its place.
  void execute(AtaIo& io);
  // The 512 bytes of IDENTIFY DEVICE data.
  std::array<uint8_t, 512> identify() const;

  void abandonDownload() override { transfer_.reset(); }
  // The last whole image the drive took (activated or saved for later
  // activation), as received: whole 512-byte blocks.
  const std::vector<uint8_t>& receivedImage() const { return received_; }

 private:
  // A segmented download (DOWNLOAD MICROCODE 03h or 0Eh) in progress.
  struct Transfer {
    uint8_t mode = 0;
    std::vector<uint8_t> bytes;  // the first segment only, when the image is not kept
    uint64_t length = 0;
    bool shortSegmentSeen = false;  // a segment below the minimum ends the image
  };

  void abort(AtaIo& io);
  void identifyDevice(AtaIo& io);
  void readLog(AtaIo& io);
  void downloadMicrocode(AtaIo& io);
  void downloadSegment(AtaIo& io, uint8_t mode, uint16_t blocks);
  bool continuesTransfer(const AtaIo& io) const;
  // The segmented image is whole when the host turns to anything else.
  void finishTransfer();
  // The image's revision becomes the running one, kept in the machine file.
  void activate(const std::vector<uint8_t>& image);

  // IDENTIFY words 234 and 235: the limits of one segment in 512-byte blocks.
  uint16_t minimumSegment() const { return static_cast<uint16_t>(number64("dmMinBlocks", 1)); }
  uint16_t maximumSegment() const { return static_cast<uint16_t>(number64("dmMaxBlocks", 128)); }
  bool microcodeSupported() const { return flag("downloadMicrocode", true); }
  bool microcodeDmaSupported() const { return microcodeSupported() && flag("downloadMicrocodeDma", true); }
  bool segmentedSupported() const { return microcodeSupported() && flag("segmentedDownload", true); }
  // Whether the drive keeps the images it takes for tests to read back.
  bool keepsImage() const { return flag("keepImage", true); }

  std::optional<Transfer> transfer_;
  std::vector<uint8_t> received_;
  std::vector<uint8_t> pending_;  // saved by mode 0Eh for activation
  bool standby_ = false;
};

std::unique_ptr<Drive> makeAtaDrive(Machine& machine, rapidjson::Value& record, uint32_t number);

}  // namespace winsim
