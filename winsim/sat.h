// The SCSI-ATA translation in front of an ATA drive: a SAS adapter's for a
// drive on bus "sat", the AHCI driver's own for SCSI commands to a drive on
// bus "sata". Besides the common commands it carries ATA PASS-THROUGH (12)
// and (16) and answers the ATA information page.
#pragma once

#include "winsim/drive_ata.h"
#include "winsim/scsi_target.h"

namespace winsim {

class SatTranslation : public ScsiTarget {
 public:
  explicit SatTranslation(AtaDrive& drive);

  std::string vendorId() const override { return "ATA     "; }
  std::string productId() const override;
  std::string revision() const override;
  std::string unitSerial() const override;
  std::vector<std::vector<uint8_t>> designators() const override;

 protected:
  bool command(ScsiIo& io) override;
  void faulted(const ScsiIo& io) override;
  std::vector<uint8_t> extraPages() const override { return {0x89}; }
  std::vector<uint8_t> extraPage(uint8_t page) const override;

 private:
  void passThrough(ScsiIo& io, bool sixteen);
  // An identification text as the drive reports it in IDENTIFY DEVICE.
  std::string identifyText(unsigned word, unsigned length) const;

  AtaDrive& ata_;
};

}  // namespace winsim
