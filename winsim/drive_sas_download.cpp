// Firmware download by WRITE BUFFER, as the SAS drive answers it:
//   05h  the whole image in one command, saved and activated at once;
//   07h  segments at byte offsets, saved and activated when the host turns
//        to any other command (as an ATA drive completes a segmented
//        download);
//   0Eh  segments at byte offsets, saved and kept for activation;
//   0Fh  activates the image of a finished 0Eh download.
// A download begins at offset 0 with a segment that holds the image's whole
// header; offsets are multiples of 512 and stay within the drive's 16 MiB
// buffer; buffer id 0 is the only one. A segment that fails, an injected
// fault included, ends the download. After an activation the drive reports
// a unit attention (microcode changed) and keeps the image's revision in
// the machine file. A pass-through lost on the way drops the download.
#include <cstring>

#include "winsim/drive_sas.h"

namespace winsim {
namespace {

constexpr uint8_t DOWNLOAD_AND_ACTIVATE = 0x05;
constexpr uint8_t DOWNLOAD_SEGMENTS_AND_ACTIVATE = 0x07;
constexpr uint8_t DOWNLOAD_SEGMENTS_DEFERRED = 0x0E;
constexpr uint8_t ACTIVATE_DEFERRED = 0x0F;
constexpr uint32_t OFFSET_BOUNDARY = 512;
constexpr uint32_t BUFFER_CAPACITY = 16u << 20;

}  // namespace

void SasDrive::writeBuffer(ScsiIo& io) {
  uint8_t mode = io.cdb[1] & 0x1F;
  uint8_t bufferId = io.cdb[2];
  uint32_t offset = readBigEndian(io.cdb + 3, 3);
  uint32_t length = readBigEndian(io.cdb + 6, 3);

  if (!offersMode(mode) || (mode != ACTIVATE_DEFERRED && bufferId != 0)) {
    checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  } else if (mode != ACTIVATE_DEFERRED && length &&
             (io.phase != DataPhase::out || !io.data || io.length < length)) {
    checkCondition(io, SENSE_ABORTED_COMMAND, ASC_DATA_PHASE_ERROR);
  } else if (mode == ACTIVATE_DEFERRED) {
    activateDeferred(io);
  } else if (mode == DOWNLOAD_AND_ACTIVATE) {
    if (offset != 0 || length == 0 || length > BUFFER_CAPACITY) {
      checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
    } else if (!isFirmwareImage(io.data, length)) {
      checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_PARAMETER_LIST);
    } else {
      activate(std::vector<uint8_t>(io.data, io.data + length));
    }
  } else {
    downloadSegment(io, mode, offset, length);
  }
  if (io.status != SCSI_STATUS_GOOD) download_.clear();
}

bool SasDrive::offersMode(uint8_t mode) const {
  switch (mode) {
    case DOWNLOAD_AND_ACTIVATE:
      return flag("wholeMicrocode", true);
    case DOWNLOAD_SEGMENTS_AND_ACTIVATE:
      return flag("segmentedMicrocode", true);
    case DOWNLOAD_SEGMENTS_DEFERRED:
    case ACTIVATE_DEFERRED:
      return flag("deferredMicrocode", true);
    default:
      return false;
  }
}

void SasDrive::downloadSegment(ScsiIo& io, uint8_t mode, uint32_t offset, uint32_t length) {
  if (offset % OFFSET_BOUNDARY != 0 || offset + static_cast<uint64_t>(length) > BUFFER_CAPACITY)
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_CDB);
  if (length == 0) return;
  if (offset == 0) {
    download_.clear();
    downloadMode_ = mode;
    if (!isFirmwareImage(io.data, length))
      return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_INVALID_FIELD_IN_PARAMETER_LIST);
  } else if (download_.empty() || downloadMode_ != mode) {
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_COMMAND_SEQUENCE_ERROR);
  }
  download_.put(offset, io.data, length);
}

void SasDrive::received(const ScsiIo& io) {
  if (!download_.empty() && downloadMode_ == DOWNLOAD_SEGMENTS_AND_ACTIVATE && !continuesSet(io)) finishSet();
}

bool SasDrive::continuesSet(const ScsiIo& io) const {
  return io.cdbLength >= 10 && io.cdb[0] == WRITE_BUFFER && (io.cdb[1] & 0x1F) == downloadMode_ &&
         readBigEndian(io.cdb + 3, 3) != 0;
}

void SasDrive::finishSet() {
  if (download_.complete()) return activate(download_.bytes());
  download_.clear();
}

void SasDrive::activateDeferred(ScsiIo& io) {
  if (download_.empty() || downloadMode_ != DOWNLOAD_SEGMENTS_DEFERRED || !download_.complete())
    return checkCondition(io, SENSE_ILLEGAL_REQUEST, ASC_COMMAND_SEQUENCE_ERROR);
  activate(download_.bytes());
}

void SasDrive::activate(const std::vector<uint8_t>& image) {
  activated_ = image;
  download_.clear();
  keep("firmware", firmwareRevision(image));
  raiseUnitAttention(ASC_MICROCODE_CHANGED);
}

void SasDrive::faultAnswered(const ScsiIo& io) {
  if (io.cdb[0] == WRITE_BUFFER) download_.clear();
}

}  // namespace winsim
