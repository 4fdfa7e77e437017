#include "devlib/scsi/orvlib_cmd_scsi.h"

#include "osl/orv_status.h"
#include "osl/osl_log.h"
#include "osl/osl_scsi.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {
namespace VazidaRaduruScsiInternal {
namespace {

constexpr u8 READ_CAPACITY_16 = 0x10;
constexpr u8 REPORT_SUPPORTED_OPERATION_CODES = 0x0C;

// Sense data the drive returned: fixed (70h, 71h) or descriptor (72h, 73h).
bool driveAnswered(const OrvBuffer& sense) {
  u8 responseCode = sense.getLength() ? sense.getBuffer()[0] & 0x7F : 0;
  return responseCode >= 0x70 && responseCode <= 0x73;
}

bool isFixedFormat(const u8* sense) { return (sense[0] & 0x7F) == 0x70 || (sense[0] & 0x7F) == 0x71; }

}  // namespace

OrvScsiCmd::OrvScsiCmd(u8 length, u8 opCode, u16 failureCode, bool dataIn)
    : OrvBuffer(length, ORV_BIG_ENDIAN),
      operationCode(data, 0, 0, 7, "Operation code", ORV_BIG_ENDIAN),
      failure(failureCode),
      toHost(dataIn) {
  operationCode.setValue(opCode);
}

OrvScsiCmdTestUnitReady::OrvScsiCmdTestUnitReady()
    : OrvScsiCmd(6, SCSI_TEST_UNIT_READY, ORV_ERR_SCSI_TEST_UNIT_READY, false) {}

OrvScsiCmdInquiry::OrvScsiCmdInquiry(bool vitalProductData, u8 page, u16 allocation)
    : OrvScsiCmd(6, SCSI_INQUIRY, ORV_ERR_SCSI_INQUIRY, true),
      evpd(field(1, 0, 0, "Enable vital product data (EVPD)")),
      pageCode(field(2, 0, 7, "Page code")),
      allocationLength(field(3, 0, 15, "Allocation length")) {
  evpd.setValue(vitalProductData);
  pageCode.setValue(page);
  allocationLength.setValue(allocation);
}

OrvScsiCmdReadCapacity10::OrvScsiCmdReadCapacity10()
    : OrvScsiCmd(10, SCSI_READ_CAPACITY_10, ORV_ERR_SCSI_READ_CAPACITY, true) {}

OrvScsiCmdReadCapacity16::OrvScsiCmdReadCapacity16(u32 allocation)
    : OrvScsiCmd(16, SCSI_SERVICE_ACTION_IN_16, ORV_ERR_SCSI_READ_CAPACITY, true),
      serviceAction(field(1, 0, 4, "Service action")),
      allocationLength(field(10, 0, 31, "Allocation length")) {
  serviceAction.setValue(READ_CAPACITY_16);
  allocationLength.setValue(allocation);
}

OrvScsiCmdModeSense10::OrvScsiCmdModeSense10(u8 page, u8 control, u16 allocation)
    : OrvScsiCmd(10, SCSI_MODE_SENSE_10, ORV_ERR_SCSI_MODE_SENSE, true),
      disableBlockDescriptors(field(1, 3, 3, "Disable block descriptors (DBD)")),
      pageControl(field(2, 6, 7, "Page control (PC)")),
      pageCode(field(2, 0, 5, "Page code")),
      subpageCode(field(3, 0, 7, "Subpage code")),
      allocationLength(field(7, 0, 15, "Allocation length")) {
  disableBlockDescriptors.setValue(1);
  pageControl.setValue(control);
  pageCode.setValue(page);
  allocationLength.setValue(allocation);
}

OrvScsiCmdWriteBuffer::OrvScsiCmdWriteBuffer(u8 downloadMode, u32 offset, u32 length)
    : OrvScsiCmd(10, SCSI_WRITE_BUFFER, ORV_ERR_SCSI_WRITE_BUFFER, false),
      mode(field(1, 0, 4, "Mode")),
      bufferId(field(2, 0, 7, "Buffer ID")),
      bufferOffset(field(3, 0, 23, "Buffer offset")),
      parameterListLength(field(6, 0, 23, "Parameter list length")) {
  mode.setValue(downloadMode);
  bufferOffset.setValue(offset);
  parameterListLength.setValue(length);
}

OrvScsiCmdReportSupportedOpCodes::OrvScsiCmdReportSupportedOpCodes(u8 options, u8 operation,
                                                                   u16 action, u32 allocation)
    : OrvScsiCmd(12, SCSI_MAINTENANCE_IN, ORV_ERR_SCSI_SUPPORTED_OPCODES, true),
      serviceAction(field(1, 0, 4, "Service action")),
      reportingOptions(field(2, 0, 2, "Reporting options")),
      requestedOperationCode(field(3, 0, 7, "Requested operation code")),
      requestedServiceAction(field(4, 0, 15, "Requested service action")),
      allocationLength(field(6, 0, 31, "Allocation length")) {
  serviceAction.setValue(REPORT_SUPPORTED_OPERATION_CODES);
  reportingOptions.setValue(options);
  requestedOperationCode.setValue(operation);
  requestedServiceAction.setValue(action);
  allocationLength.setValue(allocation);
}

OrvScsiCmdStartStopUnit::OrvScsiCmdStartStopUnit(bool start)
    : OrvScsiCmd(6, SCSI_START_STOP_UNIT, ORV_ERR_SCSI_START_STOP_UNIT, false),
      startBit(field(4, 0, 0, "Start")) {
  startBit.setValue(start);
}

u64 scsiExecute(const OrvScsiPath& path, OrvScsiCmd& command, void* data, u32 length) {
  OrvBuffer& sense = *path.sense;
  for (int attempt = 0;; ++attempt) {
    sense.resetZero();
    _osl_dev_cmd request = {};
    request.command = command.getBuffer();
    request.commandLength = static_cast<u8>(command.getLength());
    request.direction = command.dataIn() ? 1 : 0;
    request.data = length ? data : nullptr;
    request.dataLength = length;
    request.response = sense.getBuffer();
    request.responseLength = static_cast<u16>(sense.getLength());
    request.timeoutSeconds = path.timeout;
    request.ignoreError = path.ignoreError;
    u64 status = osl_send_command(path.drive, &request, path.bus, OSL_CMD_SCSI);
    if (status == 0) return 0;
    // A call that failed keeps its reason; a command the drive completed with
    // any status but GOOD failed, with sense data or without (BUSY,
    // RESERVATION CONFLICT).
    if (!request.reachedDrive) return status;
    if (attempt == 0 && scsiSenseKey(sense) == SCSI_SENSE_UNIT_ATTENTION) {
      osl_log(OSL_LOG_INFO, "Info: Unit attention (%04x), sending the command again\n",
              scsiAdditionalSense(sense));
      continue;
    }
    return ORV_LIB_STATUS(command.failureCode());
  }
}

u8 scsiSenseKey(const OrvBuffer& sense) {
  return driveAnswered(sense) ? osl_sense_key(sense.getBuffer(), sense.getLength()) : 0;
}

u16 scsiAdditionalSense(const OrvBuffer& sense) {
  const u8* bytes = sense.getBuffer();
  if (!driveAnswered(sense) || sense.getLength() < 14) return 0;
  u32 at = isFixedFormat(bytes) ? 12 : 2;
  return static_cast<u16>(bytes[at] << 8 | bytes[at + 1]);
}

}  // namespace VazidaRaduruScsiInternal
}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
