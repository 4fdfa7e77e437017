// The data SCSI drives return: standard INQUIRY data, the unit serial
// number and extended inquiry pages, READ CAPACITY data, mode parameter lists and the command
// support data of REPORT SUPPORTED OPERATION CODES. All big-endian; a field
// keeps the address of its buffer's bytes, so these buffers are neither
// copied nor resized.
#pragma once

#include <string>

#include "devlib/orvlib_buffer.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {
namespace VazidaRaduruScsiInternal {

// A buffer whose fields point into its own bytes.
class OrvScsiData : public OrvBuffer {
 public:
  explicit OrvScsiData(u32 length) : OrvBuffer(length, ORV_BIG_ENDIAN) {}
  OrvScsiData(const OrvScsiData&) = delete;
  OrvScsiData& operator=(const OrvScsiData&) = delete;
};

class OrvScsiInquiryData : public OrvScsiData {
 public:
  static constexpr u32 LENGTH = 96;
  OrvScsiInquiryData();

  // The data names no drive: neither the vendor nor the product
  // identification, which every target reports, holds a character but
  // blanks. A target that completed INQUIRY without sending its data leaves
  // it so.
  bool namesNoDrive() const;

  OrvBufField deviceType;
  OrvBufAscFld vendor;
  OrvBufAscFld product;
  OrvBufAscFld revision;
};

// Vital product data page 80h.
class OrvScsiSerialPage : public OrvScsiData {
 public:
  static constexpr u32 LENGTH = 252;
  static constexpr u8 PAGE = 0x80;
  OrvScsiSerialPage();

  // The serial number the page holds, without the blanks around it.
  std::string serialNumber() const;

  OrvBufField pageCode;
  OrvWordField pageLength;
};

// Vital product data page 86h (Extended INQUIRY Data), read for the WRITE
// BUFFER download modes the drive offers.
class OrvScsiExtendedInquiryPage : public OrvScsiData {
 public:
  static constexpr u32 LENGTH = 64;
  static constexpr u8 PAGE = 0x86;
  OrvScsiExtendedInquiryPage();

  // Whether the page tells the download modes (drives before SPC-5 leave
  // DMS_VALID 0); if so, modes holds them, bit n for mode n.
  bool downloadModes(u32& modes) const;

  OrvBufField pageCode;
  OrvWordField pageLength;
  OrvBufField modesValid;
  OrvBufField modeFlags;
};

class OrvScsiCapacity10Data : public OrvScsiData {
 public:
  static constexpr u32 LENGTH = 8;
  OrvScsiCapacity10Data();

  OrvDwordField lastBlock;
  OrvDwordField blockLength;
};

class OrvScsiCapacity16Data : public OrvScsiData {
 public:
  static constexpr u32 LENGTH = 32;
  OrvScsiCapacity16Data();

  OrvBufField lastBlock;
  OrvDwordField blockLength;
};

// The parameter list of MODE SENSE (10): header, block descriptors, pages.
class OrvScsiModeParamList10 : public OrvScsiData {
 public:
  static constexpr u32 LENGTH = 256;
  static constexpr u8 CACHING_PAGE = 0x08;
  static constexpr u8 CONTROL_PAGE = 0x0A;
  static constexpr u8 INFORMATIONAL_EXCEPTIONS_PAGE = 0x1C;
  OrvScsiModeParamList10();

  // A bit of a page's byte at that offset from the page's start; throws code
  // 127 ("Invalid field in received Mode Sense buffer") when the list holds
  // no such page or the byte lies beyond the page.
  OrvBufField pageBit(u8 page, u32 byteInPage, u8 bit, std::string name);

  OrvWordField dataLength;
  OrvWordField descriptorLength;
};

// The one-command answer of REPORT SUPPORTED OPERATION CODES.
class OrvScsiCommandSupport : public OrvScsiData {
 public:
  static constexpr u32 LENGTH = 20;
  OrvScsiCommandSupport();

  // SUPPORT 011b (as the standard defines the command) and 101b (in a
  // vendor-specific manner): the drive takes the command; 001b: it does not.
  // 000b (no data about the command available) and the reserved values tell
  // neither.
  bool supported() const { return support.getValue() == 3 || support.getValue() == 5; }
  bool told() const { return supported() || support.getValue() == 1; }

  OrvBufField support;
  OrvWordField cdbSize;
};

}  // namespace VazidaRaduruScsiInternal
}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
