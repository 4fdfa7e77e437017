// SCSI command descriptor blocks and the command function that sends one
// through the OS layer's dispatcher.
#pragma once

#include "devlib/orvlib_buffer.h"
#include "osl/osl_cmd.h"
#include "osl/osl_types.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {

namespace VazidaRaduruScsiInternal {

// Operation codes.
enum orv_scsi_operation : u8 {
  SCSI_TEST_UNIT_READY = 0x00,
  SCSI_INQUIRY = 0x12,
  SCSI_START_STOP_UNIT = 0x1B,
  SCSI_SEND_DIAGNOSTIC = 0x1D,
  SCSI_READ_CAPACITY_10 = 0x25,
  SCSI_WRITE_BUFFER = 0x3B,
  SCSI_SANITIZE = 0x48,
  SCSI_LOG_SENSE = 0x4D,
  SCSI_MODE_SENSE_10 = 0x5A,
  SCSI_SERVICE_ACTION_IN_16 = 0x9E,
  SCSI_MAINTENANCE_IN = 0xA3,
};

enum orv_scsi_sense_key : u8 {
  SCSI_SENSE_NOT_READY = 0x2,
  SCSI_SENSE_ILLEGAL_REQUEST = 0x5,
  SCSI_SENSE_UNIT_ATTENTION = 0x6,
};

// A command descriptor block (big-endian) with the code its command fails
// with when the drive rejects it, and the direction of its data.
class OrvScsiCmd : public OrvBuffer {
 public:
  OrvScsiCmd(u8 length, u8 operationCode, u16 failureCode, bool dataIn);
  OrvScsiCmd(const OrvScsiCmd&) = delete;
  OrvScsiCmd& operator=(const OrvScsiCmd&) = delete;

  u16 failureCode() const { return failure; }
  bool dataIn() const { return toHost; }

  OrvBufField operationCode;

 protected:
  OrvBufField field(u32 byteOffset, u8 firstBit, u8 lastBit, const char* name) {
    return OrvBufField(data, byteOffset, firstBit, lastBit, name, ORV_BIG_ENDIAN);
  }

 private:
  u16 failure;
  bool toHost;
};

class OrvScsiCmdTestUnitReady : public OrvScsiCmd {
 public:
  OrvScsiCmdTestUnitReady();
};

class OrvScsiCmdInquiry : public OrvScsiCmd {
 public:
  // Page 0 without vitalProductData asks for the standard data.
  OrvScsiCmdInquiry(bool vitalProductData, u8 page, u16 allocationLength);
  OrvBufField evpd;
  OrvBufField pageCode;
  OrvBufField allocationLength;
};

class OrvScsiCmdReadCapacity10 : public OrvScsiCmd {
 public:
  OrvScsiCmdReadCapacity10();
};

class OrvScsiCmdReadCapacity16 : public OrvScsiCmd {
 public:
  explicit OrvScsiCmdReadCapacity16(u32 allocationLength);
  OrvBufField serviceAction;
  OrvBufField allocationLength;
};

class OrvScsiCmdModeSense10 : public OrvScsiCmd {
 public:
  // Without block descriptors.
  OrvScsiCmdModeSense10(u8 page, u8 pageControl, u16 allocationLength);
  OrvBufField disableBlockDescriptors;
  OrvBufField pageControl;
  OrvBufField pageCode;
  OrvBufField subpageCode;
  OrvBufField allocationLength;
};

class OrvScsiCmdWriteBuffer : public OrvScsiCmd {
 public:
  static constexpr u8 DOWNLOAD_AND_ACTIVATE = 0x05;
  static constexpr u8 DOWNLOAD_SEGMENTS_AND_ACTIVATE = 0x07;
  static constexpr u8 DOWNLOAD_SEGMENTS_DEFERRED = 0x0E;
  static constexpr u8 ACTIVATE_DEFERRED = 0x0F;
  static constexpr u32 LONGEST_PARAMETER_LIST = 0xFFFFFF;

  OrvScsiCmdWriteBuffer(u8 mode, u32 bufferOffset, u32 parameterListLength);
  OrvBufField mode;
  OrvBufField bufferId;
  OrvBufField bufferOffset;
  OrvBufField parameterListLength;
};

class OrvScsiCmdReportSupportedOpCodes : public OrvScsiCmd {
 public:
  static constexpr u8 ONE_COMMAND = 1;
  // The command and one of its service actions.
  static constexpr u8 ONE_COMMAND_AND_ACTION = 3;

  OrvScsiCmdReportSupportedOpCodes(u8 reportingOptions, u8 operation, u16 action,
                                   u32 allocationLength);
  OrvBufField serviceAction;
  OrvBufField reportingOptions;
  OrvBufField requestedOperationCode;
  OrvBufField requestedServiceAction;
  OrvBufField allocationLength;
};

class OrvScsiCmdStartStopUnit : public OrvScsiCmd {
 public:
  explicit OrvScsiCmdStartStopUnit(bool start);
  OrvBufField startBit;
};

// How the commands of one drive are sent.
struct OrvScsiPath {
  _OSL_PDEV* drive;
  osl_bus_type bus;
  u32 timeout;      // seconds; 0: the OS layer's default
  u8 ignoreError;   // failures are logged as information
  OrvBuffer* sense;  // receives the sense data of a failed command
};

// Sends the command with length bytes of data (none when length is 0). A
// command the drive completes with any status other than GOOD gives the
// command's failure code; a failure to reach the drive gives the OS layer's
// status. A unit attention is answered by sending the command once more.
u64 scsiExecute(const OrvScsiPath& path, OrvScsiCmd& command, void* data, u32 length);

// The sense key and the additional sense code and qualifier (ASC << 8 |
// ASCQ) of fixed or descriptor sense data; 0 when the drive returned none.
u8 scsiSenseKey(const OrvBuffer& sense);
u16 scsiAdditionalSense(const OrvBuffer& sense);

}  // namespace VazidaRaduruScsiInternal
}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
