// A SAS drive: a SCSI target with its own identity, its mode pages
// (caching, control, informational exceptions), the extended inquiry page,
// START STOP UNIT, REPORT SUPPORTED OPERATION CODES (unless the drive refuses
// it, as it may) and firmware download by WRITE BUFFER.
#pragma once

#include "winsim/drive.h"
#include "winsim/firmware_image.h"
#include "winsim/scsi_target.h"

namespace winsim {

class SasDrive : public Drive, public ScsiTarget {
 public:
  SasDrive(Machine& machine, rapidjson::Value& record, uint32_t number);
  ScsiTarget* scsi() override { return this; }
  void abandonDownload() override { download_.clear(); }

  std::string vendorId() const override { return padded(vendor(), 8); }
  std::string productId() const override { return padded(model(), 16); }
  std::string revision() const override { return padded(firmware(), 4); }
  std::string unitSerial() const override { return serial(); }
  std::vector<std::vector<uint8_t>> designators() const override;

  // The image the drive activated last (empty: none since the machine was
  // loaded), and the one it is gathering.
  const std::vector<uint8_t>& activatedImage() const { return activated_; }
  const FirmwareAssembly& download() const { return download_; }

 protected:
  void received(const ScsiIo& io) override;
  bool command(ScsiIo& io) override;
  void faultAnswered(const ScsiIo& io) override;
  bool stopped() const override { return stopped_; }
  bool descriptorSenseData() const override { return flag("descriptorSense", false); }
  std::vector<uint8_t> extraPages() const override { return {EXTENDED_INQUIRY_PAGE}; }
  std::vector<uint8_t> extraPage(uint8_t page) const override;

 private:
  void startStopUnit(ScsiIo& io);
  void modeSense10(ScsiIo& io);
  // A mode page's bytes with the values the page control asks for; empty
  // when the drive has no such page.
  std::vector<uint8_t> modePage(uint8_t page, uint8_t pageControl) const;
  void reportSupportedOperationCodes(ScsiIo& io);
  bool supports(uint8_t operationCode, int serviceAction) const;

  // WRITE BUFFER (drive_sas_download.cpp).
  void writeBuffer(ScsiIo& io);
  void downloadSegment(ScsiIo& io, uint8_t mode, uint32_t offset, uint32_t length);
  void activateDeferred(ScsiIo& io);
  bool continuesSet(const ScsiIo& io) const;
  // A 07h set is whole when the host turns to anything else: activated when
  // it has no hole, else dropped.
  void finishSet();
  void activate(const std::vector<uint8_t>& image);
  // Whether the drive takes WRITE BUFFER in that download mode.
  bool offersMode(uint8_t mode) const;

  static constexpr uint8_t EXTENDED_INQUIRY_PAGE = 0x86;

  FirmwareAssembly download_;
  uint8_t downloadMode_ = 0;  // the mode of the download being gathered
  std::vector<uint8_t> activated_;
  bool stopped_ = false;
};

std::unique_ptr<Drive> makeSasDrive(Machine& machine, rapidjson::Value& record, uint32_t number);

}  // namespace winsim
