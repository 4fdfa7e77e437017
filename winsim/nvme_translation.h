// The SCSI side of the NVMe driver in front of an NVMe controller: the
// common commands with the controller's identity, READ (16) and WRITE (16),
// SECURITY PROTOCOL IN of the protocol list, and, when the record's "tunnel"
// is set, the vendor tunnel of security protocol F0h: SECURITY PROTOCOL OUT
// carries a whole submission entry (and outgoing data from byte 64), the
// following SECURITY PROTOCOL IN returns its 16-byte completion (and
// incoming data from byte 64). A RAID driver's translation to an NVMe
// controller answers the same SCSI commands but carries no vendor tunnel:
// security protocols other than 00h are the controller's own.
#pragma once

#include "winsim/drive_nvme.h"
#include "winsim/scsi_target.h"

namespace winsim {

class NvmeTranslation : public ScsiTarget {
 public:
  // nvmeDriver: the platform's NVMe driver, which carries the tunnel; false:
  // a RAID driver's translation.
  NvmeTranslation(NvmeDrive& drive, bool nvmeDriver);

  std::string vendorId() const override { return "NVMe    "; }
  std::string productId() const override { return padded(nvme_.model(), 16); }
  std::string revision() const override { return padded(nvme_.firmware(), 4); }
  std::string unitSerial() const override { return nvme_.serial(); }
  std::vector<std::vector<uint8_t>> designators() const override;

 protected:
  bool command(ScsiIo& io) override;

 private:
  void securityIn(ScsiIo& io);
  void securityOut(ScsiIo& io);
  void readWrite(ScsiIo& io, bool read);
  // Security Send or Receive of a protocol the controller answers itself.
  void toController(ScsiIo& io, uint8_t opcode);

  // The tunnel of protocol F0h is carried (the NVMe driver's, when the record asks).
  bool tunnel() const;

  NvmeDrive& nvme_;
  bool nvmeDriver_;
  // The entry the tunnel took, not yet run (it runs when its completion is
  // asked for, with the data area of that request).
  std::vector<uint8_t> entry_;
  std::vector<uint8_t> completion_;  // of the last entry run
  std::vector<uint8_t> incoming_;    // its data for the host
  uint64_t formatBusy_ = 0;          // answers of "format in progress" still due
};

// The SCSI side a RAID controller's driver gives an NVMe drive it presents
// as a disk of its own: the same commands, and its device identification
// page ends with the driver's vendor-specific designator (ASCII, associated
// with the device): "IntelRSTNVMe" followed by the drive's target number
// and serial number.
class RaidNvmeTranslation : public NvmeTranslation {
 public:
  RaidNvmeTranslation(NvmeDrive& drive, uint8_t target) : NvmeTranslation(drive, false), target_(target) {}
  std::vector<std::vector<uint8_t>> designators() const override;

 private:
  uint8_t target_;
};

}  // namespace winsim
