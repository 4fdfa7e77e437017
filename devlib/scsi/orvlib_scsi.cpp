#include "devlib/scsi/orvlib_scsi.h"

#include "devlib/orvlib_guard.h"

#include "osl/orv_status.h"
#include "osl/osl_clib.h"
#include "osl/osl_log.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {

using namespace VazidaRaduruScsiInternal;

namespace {

constexpr u16 SANITIZE_CRYPTOGRAPHIC_ERASE = 0x03;
constexpr u8 CURRENT_VALUES = 0;
constexpr u16 BECOMING_READY = 0x0401;
constexpr u32 REFRESH_TIMEOUT_SECONDS = 5;
// Segments start on whole boundaries of this size, or of the smallest one
// when the transfer limit is below it.
constexpr u32 SEGMENT_BOUNDARY = 4096;
constexpr u32 SMALLEST_BOUNDARY = 512;
constexpr u32 SEGMENT_WITHOUT_LIMIT = 65536;
constexpr u32 LONGEST_SERIAL = 20;
// What a drive answers for a vital product data page it does not have.
constexpr u16 INVALID_FIELD_IN_CDB = 0x2400;
// WRITE BUFFER addresses 24 bits of buffer offset: a longer image cannot be
// placed without cutting its offsets.
constexpr u32 LONGEST_IMAGE = 1u << 24;
// Capability bits this class leaves as it finds them (both belong to ATA
// drives).
constexpr u8 UNTOUCHED_CAP1_BITS = ORV_CAP1_SECURITY_ENABLED;
constexpr u8 UNTOUCHED_CAP2_BITS = 0x10;

void setBit(u8& bits, u8 bit, bool value) { bits = value ? (bits | bit) : (bits & ~bit); }

using WriteBuffer = OrvScsiCmdWriteBuffer;

bool offers(u32 modes, u8 mode) { return (modes >> mode & 1) != 0; }

// The mode a download goes in; 0 when the drive offers none that serves it.
u8 chooseDownloadMode(u32 modes, bool fitsOneTransfer, bool deferred) {
  constexpr u8 WHOLE = WriteBuffer::DOWNLOAD_AND_ACTIVATE;
  constexpr u8 SEGMENTS = WriteBuffer::DOWNLOAD_SEGMENTS_AND_ACTIVATE;
  constexpr u8 KEPT = WriteBuffer::DOWNLOAD_SEGMENTS_DEFERRED;
  constexpr u8 ACTIVATE = WriteBuffer::ACTIVATE_DEFERRED;
  if (deferred) return offers(modes, KEPT) ? KEPT : 0;
  if (fitsOneTransfer && offers(modes, WHOLE)) return WHOLE;
  if (offers(modes, SEGMENTS)) return SEGMENTS;
  if (offers(modes, KEPT) && offers(modes, ACTIVATE)) return KEPT;
  return 0;
}

}  // namespace

OrvScsiDev::OrvScsiDev(std::string devicePath, bool ignoreInitError)
    : OrvBasicDev(devicePath), inquiryStatus(0), identifyStatus(0) {
  identify();
  u64 status = inquiryStatus;
  u64 capacity = 0;
  u32 blockLength = 0;
  if (status == 0) status = getCapacity(capacity, blockLength, 0);
  if (status && !ignoreInitError) throw status;
}

u64 OrvScsiDev::send(OrvScsiCmd& command, void* data, u32 length, u8 ignoreError) {
  OrvScsiPath path = {handle, busType, timeout, ignoreError, &response};
  return scsiExecute(path, command, data, length);
}

u64 OrvScsiDev::identify() {
  OrvScsiInquiryData data;
  OrvScsiCmdInquiry standard(false, 0, OrvScsiInquiryData::LENGTH);
  u64 status = send(standard, data.getBuffer(), data.getLength());
  // An answer that names no drive was not read: the data read before stays.
  if (status == 0 && data.namesNoDrive()) status = ORV_LIB_STATUS(ORV_ERR_SCSI_INQUIRY);
  inquiryStatus = identifyStatus = status;
  if (identifyStatus) return identifyStatus;
  inquiry.copyData(data, 0, 0);
  identifyStatus = readSerialNumber();
  return identifyStatus;
}

u64 OrvScsiDev::readSerialNumber() {
  OrvScsiSerialPage page;
  OrvScsiCmdInquiry serialPage(true, OrvScsiSerialPage::PAGE, OrvScsiSerialPage::LENGTH);
  u64 status = send(serialPage, page.getBuffer(), page.getLength(), 1);
  // A page the drive does not have is an invalid field in the CDB; any other
  // failure leaves the serial number unknown, not absent. A drive that
  // showed its serial number keeps it: the unit is still the one it was.
  if (status) {
    bool noPage = scsiSenseKey(response) == SCSI_SENSE_ILLEGAL_REQUEST &&
                  scsiAdditionalSense(response) == INVALID_FIELD_IN_CDB;
    return noPage ? 0 : status;
  }
  if (page.pageCode.getValue() != OrvScsiSerialPage::PAGE) return ORV_LIB_STATUS(ORV_ERR_SCSI_INQUIRY);
  serialNumber = page.serialNumber().substr(0, LONGEST_SERIAL);
  return 0;
}

u64 OrvScsiDev::refresh() { return identify(); }

u64 OrvScsiDev::getIdentStrings(char* firmwareRevision, char* model, char* serial,
                                char* componentId) {
  if (identifyStatus) return identifyStatus;
  osl_strcpy(firmwareRevision, 9, inquiry.revision.getValue().c_str());
  osl_strcpy(model, 41, inquiry.product.getValue().c_str());
  osl_strcpy(serial, 21, serialNumber.c_str());
  osl_strcpy(componentId, 9, inquiry.vendor.getValue().c_str());
  return 0;
}

u64 OrvScsiDev::getCapacity(u64& capacity, u32& blockLength, u8) {
  return ORV_GUARDED([&]() -> u64 {
    OrvScsiCapacity10Data short10;
    OrvScsiCmdReadCapacity10 read10;
    u64 status = send(read10, short10.getBuffer(), short10.getLength());
    if (status) return status;
    u64 lastBlock = short10.lastBlock.getValue();
    blockLength = static_cast<u32>(short10.blockLength.getValue());
    // Beyond 32 bits the drive answers all ones and the long form tells.
    if (lastBlock == 0xFFFFFFFFu) {
      OrvScsiCapacity16Data long16;
      OrvScsiCmdReadCapacity16 read16(OrvScsiCapacity16Data::LENGTH);
      status = send(read16, long16.getBuffer(), long16.getLength());
      if (status) return status;
      lastBlock = long16.lastBlock.getValue();
      blockLength = static_cast<u32>(long16.blockLength.getValue());
    }
    capacity = lastBlock + 1;
    sectorSize = blockLength;
    return 0;
  });
}

bool OrvScsiDev::commandSupport(u8 operationCode, int serviceAction, bool& supported) {
  OrvScsiCommandSupport answer;
  u8 options = serviceAction < 0 ? OrvScsiCmdReportSupportedOpCodes::ONE_COMMAND
                                 : OrvScsiCmdReportSupportedOpCodes::ONE_COMMAND_AND_ACTION;
  OrvScsiCmdReportSupportedOpCodes report(options, operationCode,
                                          static_cast<u16>(serviceAction < 0 ? 0 : serviceAction),
                                          answer.getLength());
  bool answered = send(report, answer.getBuffer(), answer.getLength(), 1) == 0;
  supported = answered && answer.supported();
  return answered && answer.told();
}

bool OrvScsiDev::isSupported(u8 operationCode, int serviceAction) {
  bool supported = false;
  commandSupport(operationCode, serviceAction, supported);
  return supported;
}

bool OrvScsiDev::downloadModes(u32& modes) {
  modes = 0;
  // The query is optional: a drive that refuses it, fails it, has no data
  // about the command or answers a reserved value has not said whether it
  // takes WRITE BUFFER.
  bool writeBuffer = false;
  bool answered = commandSupport(SCSI_WRITE_BUFFER, -1, writeBuffer);
  if (answered && !writeBuffer) return true;
  // WRITE BUFFER's mode is no service action: the command's support data
  // cannot tell the modes, the extended inquiry page can.
  OrvScsiExtendedInquiryPage page;
  OrvScsiCmdInquiry ask(true, page.PAGE, page.LENGTH);
  if (send(ask, page.getBuffer(), page.getLength(), 1) == 0 && page.downloadModes(modes)) return true;
  modes = 1u << WriteBuffer::DOWNLOAD_SEGMENTS_AND_ACTIVATE;
  return answered;
}

u64 OrvScsiDev::modeBit(u8 page, u32 byteInPage, u8 bit, const char* name, bool& value) {
  OrvScsiModeParamList10 list;
  OrvScsiCmdModeSense10 modeSense(page, CURRENT_VALUES, static_cast<u16>(list.getLength()));
  if (u64 status = send(modeSense, list.getBuffer(), list.getLength())) return status;
  value = list.pageBit(page, byteInPage, bit, name).getValue() != 0;
  return 0;
}

u64 OrvScsiDev::fillDeviceInfo(_OrvDevProperty& property) {
  return ORV_GUARDED([&]() -> u64 {
    property.state &= static_cast<u8>(~ORV_STATE_FILLED);
    u64 status = getIdentStrings(property.firmwareRevision, property.modelNumber,
                                 property.serialNumber, property.componentId);
    if (status) return status;
    property.identification = 0;

    bool exceptionsDisabled = false;
    bool writeCache = false;
    bool descriptorSense = false;
    if ((status = modeBit(OrvScsiModeParamList10::INFORMATIONAL_EXCEPTIONS_PAGE, 2, 3,
                          "Disable exception control (DEXCPT)", exceptionsDisabled)) ||
        (status = modeBit(OrvScsiModeParamList10::CACHING_PAGE, 2, 2, "Write cache enable (WCE)",
                          writeCache)))
      return status;
    u8 bits1 = property.capabilities1 & UNTOUCHED_CAP1_BITS;
    u8 bits2 = property.capabilities2 & UNTOUCHED_CAP2_BITS;
    setBit(bits1, ORV_CAP1_SMART_SUPPORTED, true);
    setBit(bits1, ORV_CAP1_SMART_ENABLED, !exceptionsDisabled);
    setBit(bits2, ORV_CAP2_WRITE_CACHE_SUPPORTED, true);
    setBit(bits2, ORV_CAP2_WRITE_CACHE_ENABLED, writeCache);
    setBit(bits1, ORV_SCSI_CAP1_SELF_TEST, isSupported(SCSI_SEND_DIAGNOSTIC, -1));
    property.capabilities1 = bits1;

    u32 modes = 0;
    if (!downloadModes(modes)) modes = 0;
    setBit(bits2, ORV_SCSI_CAP2_DOWNLOAD,
           offers(modes, WriteBuffer::DOWNLOAD_AND_ACTIVATE) ||
               offers(modes, WriteBuffer::DOWNLOAD_SEGMENTS_AND_ACTIVATE));
    setBit(bits2, ORV_SCSI_CAP2_DEFERRED_DOWNLOAD,
           offers(modes, WriteBuffer::DOWNLOAD_SEGMENTS_DEFERRED) &&
               offers(modes, WriteBuffer::ACTIVATE_DEFERRED));
    setBit(bits2, ORV_SCSI_CAP2_LOG_PAGES, isSupported(SCSI_LOG_SENSE, -1));
    setBit(bits2, ORV_SCSI_CAP2_CRYPTO_SANITIZE, isSupported(SCSI_SANITIZE, SANITIZE_CRYPTOGRAPHIC_ERASE));
    status = modeBit(OrvScsiModeParamList10::CONTROL_PAGE, 2, 2,
                     "Descriptor format sense data (D_SENSE)", descriptorSense);
    setBit(bits2, ORV_SCSI_CAP2_DESCRIPTOR_SENSE, descriptorSense);
    property.capabilities2 = bits2;
    if (status) return status;

    property.state |= ORV_STATE_FILLED;
    return 0;
  });
}

u64 OrvScsiDev::getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>& info) {
  if (inquiryStatus) return inquiryStatus;
  return ORV_GUARDED([&]() -> u64 {
    std::string revision = inquiry.revision.getValue();
    addSingleSlotInfo(info, revision);
    return 0;
  });
}

u32 OrvScsiDev::segmentLength() const {
  u32 limit = maxTransferLength ? maxTransferLength : SEGMENT_WITHOUT_LIMIT;
  if (limit > OrvScsiCmdWriteBuffer::LONGEST_PARAMETER_LIST)
    limit = OrvScsiCmdWriteBuffer::LONGEST_PARAMETER_LIST;
  u32 boundary = limit >= SEGMENT_BOUNDARY ? SEGMENT_BOUNDARY : SMALLEST_BOUNDARY;
  limit -= limit % boundary;
  return limit ? limit : SMALLEST_BOUNDARY;
}

u64 OrvScsiDev::refreshAfterFirmwareChange(bool* refreshed) {
  timeout = REFRESH_TIMEOUT_SECONDS;
  bool raised = setIgnoreError() == 0;
  u64 status = refresh();
  if (refreshed) *refreshed = status == 0;
  if (raised) unsetIgnoreError();
  timeout = 0;
  return 0;
}

u64 OrvScsiDev::downloadFirmware(u8* image, u32 length, bool* refreshed, bool* rebootRequired,
                                 u8 deferred, bool, u8 slot) {
  if (rebootRequired) *rebootRequired = false;
  if (!image || length == 0 || length > LONGEST_IMAGE) return ORV_LIB_STATUS(ORV_ERR_FW_FILE_SIZE);
  return ORV_GUARDED([&]() -> u64 {
    u32 modes = 0;
    downloadModes(modes);
    u32 segment = segmentLength();
    u8 mode = chooseDownloadMode(modes, length <= segment, deferred != 0);
    if (mode == 0) return ORV_LIB_STATUS(ORV_ERR_DOWNLOAD_UNSUPPORTED);
    if (mode == WriteBuffer::DOWNLOAD_AND_ACTIVATE) {
      WriteBuffer whole(mode, 0, length);
      if (u64 status = send(whole, image, length)) return status;
      return refreshAfterFirmwareChange(refreshed);
    }
    u32 number = 1;
    for (u32 offset = 0; offset < length; offset += segment, ++number) {
      u32 piece = length - offset < segment ? length - offset : segment;
      WriteBuffer write(mode, offset, piece);
      if (u64 status = send(write, image + offset, piece)) {
        osl_log(OSL_LOG_DEBUG, "\n");
        osl_log(OSL_LOG_DEBUG, "Debug: Microcode Download Failed [offset: %u, segment: %u]\n", offset,
                number);
        return status;
      }
    }
    // Segments kept for activation are activated now unless the caller
    // defers it; a 07h set activates on its own.
    if (mode == WriteBuffer::DOWNLOAD_SEGMENTS_DEFERRED && !deferred)
      return activateFirmware(refreshed, rebootRequired, slot, 0);
    return refreshAfterFirmwareChange(refreshed);
  });
}

u64 OrvScsiDev::activateFirmware(bool* refreshed, bool* rebootRequired, u8, u8 atNextReset) {
  if (rebootRequired) *rebootRequired = false;
  if (atNextReset) return 0;
  return ORV_GUARDED([&]() -> u64 {
    WriteBuffer activate(WriteBuffer::ACTIVATE_DEFERRED, 0, 0);
    if (u64 status = send(activate)) return status;
    return refreshAfterFirmwareChange(refreshed);
  });
}

u64 OrvScsiDev::spinUp(u8) {
  OrvScsiCmdStartStopUnit start(true);
  return send(start);
}

u64 OrvScsiDev::spinDown(u8) {
  OrvScsiCmdStartStopUnit stop(false);
  return send(stop);
}

u64 OrvScsiDev::getPowerMode(u8* active) {
  OrvScsiCmdTestUnitReady test;
  u64 status = send(test);
  if (active)
    *active = status && scsiSenseKey(response) == SCSI_SENSE_NOT_READY &&
                      scsiAdditionalSense(response) == BECOMING_READY
                  ? 0
                  : 1;
  return status;
}

}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
