#include "devlib/scsi/orvlib_buffer_scsi.h"

#include "devlib/scsi/orvlib_cmd_scsi.h"
#include "osl/orv_status.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {
namespace VazidaRaduruScsiInternal {
namespace {

constexpr u32 SERIAL_OFFSET = 4;
constexpr u32 MODE_HEADER_LENGTH = 8;
// The page's bytes up to its download mode flags, header included.
constexpr u32 EXTENDED_INQUIRY_MODES_END = 20;
// The WRITE BUFFER mode each of those flags stands for, from bit 1 up.
constexpr u8 MODE_OF_FLAG[] = {0x0F, 0x0E, 0x0D, 0x07, 0x06, 0x05, 0x04};

}  // namespace

OrvScsiInquiryData::OrvScsiInquiryData()
    : OrvScsiData(LENGTH),
      deviceType(data, 0, 0, 4, "Peripheral device type", ORV_BIG_ENDIAN),
      vendor(data, 8, 8, "Vendor identification", ORV_BIG_ENDIAN),
      product(data, 16, 16, "Product identification", ORV_BIG_ENDIAN),
      revision(data, 32, 4, "Product revision level", ORV_BIG_ENDIAN) {}

bool OrvScsiInquiryData::namesNoDrive() const { return vendor.isBlank() && product.isBlank(); }

OrvScsiSerialPage::OrvScsiSerialPage()
    : OrvScsiData(LENGTH),
      pageCode(data, 1, 0, 7, "Page code", ORV_BIG_ENDIAN),
      pageLength(data, 2, "Page length", ORV_BIG_ENDIAN) {}

std::string OrvScsiSerialPage::serialNumber() const {
  u32 available = pageLength.getValue();
  if (available > LENGTH - SERIAL_OFFSET) available = LENGTH - SERIAL_OFFSET;
  return OrvBufAscStr(data, SERIAL_OFFSET, static_cast<u8>(available), ORV_BIG_ENDIAN).getValue();
}

OrvScsiExtendedInquiryPage::OrvScsiExtendedInquiryPage()
    : OrvScsiData(LENGTH),
      pageCode(data, 1, 0, 7, "Page code", ORV_BIG_ENDIAN),
      pageLength(data, 2, "Page length", ORV_BIG_ENDIAN),
      modesValid(data, 12, 4, 4, "Download microcode support valid (DMS_VALID)",
                 ORV_BIG_ENDIAN),
      modeFlags(data, 19, 1, 7, "Download microcode modes supported (DM_MD)", ORV_BIG_ENDIAN) {}

bool OrvScsiExtendedInquiryPage::downloadModes(u32& modes) const {
  if (pageCode.getValue() != PAGE || pageLength.getValue() + 4 < EXTENDED_INQUIRY_MODES_END ||
      !modesValid.getValue())
    return false;
  modes = 0;
  for (u32 flag = 0; flag < sizeof MODE_OF_FLAG; ++flag)
    if (modeFlags.getBit(flag)) modes |= 1u << MODE_OF_FLAG[flag];
  return true;
}

OrvScsiCapacity10Data::OrvScsiCapacity10Data()
    : OrvScsiData(LENGTH),
      lastBlock(data, 0, "Returned logical block address", ORV_BIG_ENDIAN),
      blockLength(data, 4, "Logical block length in bytes", ORV_BIG_ENDIAN) {}

OrvScsiCapacity16Data::OrvScsiCapacity16Data()
    : OrvScsiData(LENGTH),
      lastBlock(data, 0, 0, 63, "Returned logical block address", ORV_BIG_ENDIAN),
      blockLength(data, 8, "Logical block length in bytes", ORV_BIG_ENDIAN) {}

OrvScsiModeParamList10::OrvScsiModeParamList10()
    : OrvScsiData(LENGTH),
      dataLength(data, 0, "Mode data length", ORV_BIG_ENDIAN),
      descriptorLength(data, 6, "Block descriptor length", ORV_BIG_ENDIAN) {}

OrvBufField OrvScsiModeParamList10::pageBit(u8 page, u32 byteInPage, u8 bit, std::string name) {
  // The list as far as the drive filled it and this buffer holds it.
  u32 end = dataLength.getValue() + 2;
  if (end > length) end = length;
  u32 offset = MODE_HEADER_LENGTH + descriptorLength.getValue();
  while (offset + 2 <= end) {
    u8 code = data[offset] & 0x3F;
    bool subpageFormat = data[offset] & 0x40;
    u32 pageLength = subpageFormat ? (offset + 4 <= end ? (data[offset + 2] << 8 | data[offset + 3]) + 4 : end)
                                   : data[offset + 1] + 2u;
    if (code == page && !subpageFormat) {
      if (byteInPage >= pageLength || offset + byteInPage >= end) break;
      return OrvBufField(data, offset + byteInPage, bit, bit, std::move(name), ORV_BIG_ENDIAN);
    }
    offset += pageLength;
  }
  throw ORV_LIB_STATUS(ORV_ERR_MODE_SENSE_FIELD);
}

OrvScsiCommandSupport::OrvScsiCommandSupport()
    : OrvScsiData(LENGTH),
      support(data, 1, 0, 2, "Support", ORV_BIG_ENDIAN),
      cdbSize(data, 2, "CDB size", ORV_BIG_ENDIAN) {}

}  // namespace VazidaRaduruScsiInternal
}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
