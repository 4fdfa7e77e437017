// The generic device for SCSI drives.
#pragma once

#include <string>
#include <vector>

#include "devlib/orvlib_gendev.h"
#include "devlib/scsi/orvlib_buffer_scsi.h"
#include "devlib/scsi/orvlib_cmd_scsi.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {

// What fillDeviceInfo tells of a SCSI drive besides the bits every device
// class shares.
constexpr u8 ORV_SCSI_CAP1_SELF_TEST = 0x04;            // SEND DIAGNOSTIC
constexpr u8 ORV_SCSI_CAP2_DOWNLOAD = 0x04;             // WRITE BUFFER mode 05h or 07h
constexpr u8 ORV_SCSI_CAP2_DEFERRED_DOWNLOAD = 0x08;    // modes 0Eh and 0Fh
constexpr u8 ORV_SCSI_CAP2_LOG_PAGES = 0x20;            // LOG SENSE
constexpr u8 ORV_SCSI_CAP2_DESCRIPTOR_SENSE = 0x40;     // the control page's D_SENSE
constexpr u8 ORV_SCSI_CAP2_CRYPTO_SANITIZE = 0x80;      // SANITIZE, cryptographic erase

class OrvScsiDev : public OrvBasicDev {
 public:
  // Opens the drive and reads its inquiry data, unit serial number and
  // capacity; a failure of the standard inquiry data or the capacity is
  // thrown unless ignoreInitError. A failed serial number page is kept: the
  // identification texts fail with it, the firmware information does not.
  OrvScsiDev(std::string devicePath, bool ignoreInitError);
  ~OrvScsiDev() override = default;

  // Revision, product identification, unit serial number and vendor
  // identification.
  u64 getIdentStrings(char* firmwareRevision, char* model, char* serial,
                      char* componentId) override;
  u64 fillDeviceInfo(_OrvDevProperty& property) override;
  // One slot, holding the running revision.
  u64 getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) override;
  // WRITE BUFFER in a mode the drive offers: the whole image in one command
  // (mode 05h) where it fits one transfer, else segments the drive activates
  // (07h), else segments kept for activation (0Eh) and their activation
  // (0Fh). A deferred download goes in 0Eh segments alone. A drive that
  // does not tell its modes, nor perhaps whether it takes WRITE BUFFER at
  // all, is sent 07h segments. A drive that offers no mode for the download
  // gets nothing: code 90.
  u64 downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired, u8 deferred,
                       bool useDma, u8 slot) override;
  // Activates a deferred image (mode 0Fh); at the next reset the drive
  // activates it by itself, so that asks for nothing.
  u64 activateFirmware(bool* refreshed, bool* rebootRequired, u8 slot, u8 atNextReset) override;
  u64 getCapacity(u64& capacity, u32& sectorSize, u8 perNamespace) override;
  u64 spinUp(u8 option) override;
  u64 spinDown(u8 option) override;
  // 1 unless TEST UNIT READY reports the unit as becoming ready.
  u64 getPowerMode(u8* active) override;
  u64 refresh() override;
  bool isSupportedDrive() override { return true; }

 private:
  // The standard inquiry data and the unit serial number.
  u64 identify();
  // The unit serial number page. A drive that refuses the page as an
  // illegal request, an invalid field in the CDB (ASC 24h, ASCQ 00h), keeps
  // the serial number it showed before ("" when none). Any other failure, or
  // an answer that is not the page, fails.
  u64 readSerialNumber();
  u64 send(VazidaRaduruScsiInternal::OrvScsiCmd& command, void* data, u32 length,
           u8 ignoreError);
  u64 send(VazidaRaduruScsiInternal::OrvScsiCmd& command, void* data = nullptr, u32 length = 0) {
    return send(command, data, length, ignoreErrorCount ? 1 : 0);
  }
  // Whether the drive reports the command (with the service action; -1:
  // none) as supported. False when it did not tell: it refused or failed
  // the query, or answered that the data is not available or a reserved
  // value.
  bool commandSupport(u8 operationCode, int serviceAction, bool& supported);
  // The same where a drive that cannot tell supports nothing.
  bool isSupported(u8 operationCode, int serviceAction);
  // The WRITE BUFFER download modes the drive offers, bit n for mode n: none
  // when it reports WRITE BUFFER as not supported, else those its extended
  // inquiry page tells, else the segmented mode 07h alone. False when the
  // drive said none of it: neither answered the support query nor told its
  // modes.
  bool downloadModes(u32& modes);
  // A bit of a mode page's current values; a page the drive does not return
  // whole throws code 127.
  u64 modeBit(u8 page, u32 byteInPage, u8 bit, const char* name, bool& value);
  // The length of one WRITE BUFFER segment: the transfer limit, kept to
  // whole offset boundaries.
  u32 segmentLength() const;
  // Reads the identification again after the firmware changed.
  u64 refreshAfterFirmwareChange(bool* refreshed);

  VazidaRaduruScsiInternal::OrvScsiInquiryData inquiry;
  std::string serialNumber;
  u64 inquiryStatus;   // of the last standard inquiry data
  u64 identifyStatus;  // of the last identification, the serial number page's included
};

}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
